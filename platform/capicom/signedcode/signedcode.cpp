// File-level signing, time-stamping and verification. A file is read whole, changed in memory and written
// back through a temporary file in the same folder renamed over it, so that a failure never leaves a
// half-written executable.
#include "platform/capicom/signedcode/signedcode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/win32/newfile.h"

namespace kxsc {

HRESULT ReadSignatureImage(const Bytes& image, SignatureInfo* info, std::string* detail);

namespace {

HRESULT FromErrno(int err, const std::string& what, std::string* detail) {
  if (detail) *detail = what + ": " + std::strerror(err);
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    case ENOSPC:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

HRESULT ReadImage(const std::string& path, Bytes* out, std::string* detail) {
  if (path.empty()) {
    if (detail) *detail = "no file name";
    return E_INVALIDARG;
  }
  Fd f;
  f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (f.fd < 0) return FromErrno(errno, path, detail);
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) return FromErrno(errno, path, detail);
  if (!S_ISREG(st.st_mode)) {
    if (detail) *detail = path + ": not a regular file";
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  }
  if (static_cast<uint64_t>(st.st_size) > 0xFFFFFFFFull) {
    if (detail) *detail = path + ": larger than a PE image can be";
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  }
  out->resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < out->size()) {
    ssize_t n = ::read(f.fd, out->data() + done, out->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FromErrno(errno, path, detail);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  out->resize(done);
  return S_OK;
}

// A file no one else can see yet (an output still without its name, or our own temporary) is written in
// place: a kill leaves nothing under a name that matters, and a temporary beside it would.
HRESULT RewriteInPlace(const std::string& path, const Bytes& data, std::string* detail) {
  Fd f;
  f.fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (f.fd < 0) return FromErrno(errno, path, detail);
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(f.fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FromErrno(errno, path, detail);
    done += static_cast<size_t>(n);
  }
  const int fd = f.fd;
  f.fd = -1;
  if (::close(fd) != 0) return FromErrno(errno, path, detail);
  return S_OK;
}

HRESULT ReplaceFile(const std::string& path, const Bytes& data, std::string* detail) {
  struct stat own {};
  if (::stat(path.c_str(), &own) == 0 && S_ISREG(own.st_mode) &&
      (own.st_nlink == 0 || kx::IsNewFileTemporary(path))) {
    return RewriteInPlace(path, data, detail);
  }
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return FromErrno(errno, path, detail);
  std::string target = resolved;
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return FromErrno(errno, path, detail);
  const size_t slash = target.rfind('/');
  std::string tmp = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";

  Fd f;
  f.fd = ::mkstemp(tmp.data());
  if (f.fd < 0) return FromErrno(errno, target, detail);
  auto fail = [&](int err) {
    ::unlink(tmp.c_str());
    return FromErrno(err, target, detail);
  };
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(f.fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno);
    done += static_cast<size_t>(n);
  }
  if (::fchmod(f.fd, st.st_mode & 07777) != 0) return fail(errno);
  if (::fchown(f.fd, st.st_uid, st.st_gid) != 0) {
    // Only the owner and root may give a file away; the mode is what matters.
  }
  if (::fsync(f.fd) != 0) return fail(errno);
  if (::close(f.fd) != 0) {
    f.fd = -1;
    return fail(errno);
  }
  f.fd = -1;
  if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno);
  return S_OK;
}

// Reads the file, changes the image, and puts the result in the file's place.
template <class Change>
HRESULT ChangeFile(const std::string& path, std::string* detail, Change change) {
  Bytes image;
  HRESULT hr = ReadImage(path, &image, detail);
  if (SUCCEEDED(hr)) hr = change(image);
  if (SUCCEEDED(hr)) hr = ReplaceFile(path, image, detail);
  return hr;
}

}  // namespace

HRESULT SignFile(const std::string& path, const SignParams& params, std::string* detail) {
  return ChangeFile(path, detail, [&](Bytes& image) { return SignImage(image, params, detail); });
}

HRESULT TimestampFile(const std::string& path, const TimestampParams& params, std::string* detail) {
  return ChangeFile(path, detail, [&](Bytes& image) { return TimestampImage(image, params, detail); });
}

HRESULT VerifyFile(const std::string& path, const VerifyParams& params, SignatureInfo* info, std::string* detail) {
  if (info) *info = SignatureInfo();
  Bytes image;
  HRESULT hr = ReadImage(path, &image, detail);
  return SUCCEEDED(hr) ? VerifyImage(image, params, info, detail) : hr;
}

HRESULT ReadSignature(const std::string& path, SignatureInfo* info, std::string* detail) {
  if (info) *info = SignatureInfo();
  Bytes image;
  HRESULT hr = ReadImage(path, &image, detail);
  return SUCCEEDED(hr) ? ReadSignatureImage(image, info, detail) : hr;
}

}  // namespace kxsc
