#include "tools/extractor/extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archives/SfxTrailer.h"

namespace kx::sfx {

namespace {

bool ReadExact(int fd, uint64_t offset, void* out, size_t n) {
  auto* p = static_cast<unsigned char*>(out);
  while (n > 0) {
    ssize_t got = pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    offset += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t put = write(fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

// Inflates the entry's stream into out; false (with the reason) when the stream is not whole or its size
// differs from the trailer's. Nothing past the index's size is written: a stream that inflates to more is
// refused as soon as it passes it, not once gigabytes are on the disk.
bool Inflate(int package, const TrailerEntry& e, int out, std::string& why) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    why = "cannot start decompression";
    return false;
  }
  std::vector<unsigned char> in(16384), buffer(65536);
  uint64_t position = e.streamOffset, left = e.compressedSize;
  int rc = Z_OK;
  for (;;) {
    if (z.avail_in == 0 && left > 0) {
      size_t n = left < in.size() ? static_cast<size_t>(left) : in.size();
      if (!ReadExact(package, position, in.data(), n)) {
        why = "cannot read the package";
        rc = Z_ERRNO;
        break;
      }
      position += n;
      left -= n;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    rc = inflate(&z, Z_NO_FLUSH);
    size_t produced = buffer.size() - z.avail_out;
    if (z.total_out > e.size) {
      why = "it inflates to more than the package's index says";
      rc = Z_ERRNO;
      break;
    }
    if (!WriteAll(out, buffer.data(), produced)) {
      why = std::string("cannot write: ") + strerror(errno);
      rc = Z_ERRNO;
      break;
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && left == 0) {
      why = "the stream is cut short";
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
  }
  const bool whole = rc == Z_STREAM_END && z.total_out == e.size;
  if (rc == Z_STREAM_END && !whole) why = "its size does not match the package's index";
  if (rc == Z_DATA_ERROR) why = "the stream is damaged";
  inflateEnd(&z);
  return whole;
}

bool Extract(int package, const TrailerEntry& e, const std::string& folder) {
  const std::string target = folder + "/" + e.name;
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) {
    fprintf(stderr, "%s: exists, kept as it is\n", target.c_str());
    return false;
  }
  std::string temp = folder + "/.extract-XXXXXX";
  int out = mkstemp(temp.data());
  if (out < 0) {
    fprintf(stderr, "%s: cannot create: %s\n", target.c_str(), strerror(errno));
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  fchmod(out, 0666 & ~mask);
  std::string why;
  bool ok = Inflate(package, e, out, why);
  if (close(out) != 0 && ok) {
    ok = false;
    why = strerror(errno);
  }
  // link() refuses an existing name, so nothing that appeared meanwhile is replaced.
  if (ok && link(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    why = strerror(errno);
  }
  unlink(temp.c_str());
  if (!ok) fprintf(stderr, "%s: not extracted: %s\n", target.c_str(), why.c_str());
  return ok;
}

}  // namespace

int ExtractPackage(int package, uint64_t length, const std::string& folder) {
  std::vector<TrailerEntry> entries;
  uint64_t trailerLength = 0;
  auto read = [&](uint64_t back, void* out, uint32_t n) { return ReadExact(package, length - back, out, n); };
  switch (ParseTrailer(length, read, entries, trailerLength)) {
    case TrailerStatus::Ok:
      break;
    case TrailerStatus::Empty:
      return 0;
    case TrailerStatus::NotPackage:
      fprintf(stderr, "this program carries no package\n");
      return 1;
    case TrailerStatus::Damaged:
      fprintf(stderr, "the package is damaged\n");
      return 1;
  }
  int failed = 0;
  for (const TrailerEntry& e : entries) {
    if (Extract(package, e, folder)) printf("%s\n", e.name.c_str());
    else ++failed;
  }
  return failed ? 2 : 0;
}

}  // namespace kx::sfx
