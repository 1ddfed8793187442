#include "ziptest.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

namespace ziptest {
namespace {
// DOS times are local times: every zip test runs in UTC.
struct UtcZone {
  UtcZone() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
} g_utc;

void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& dirs,
          std::vector<std::string>& files) {
  DIR* d = opendir((root + "/" + rel).c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const auto& n : names) {
    std::string r = rel.empty() ? n : rel + "/" + n;
    struct stat st;
    if (lstat((root + "/" + r).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      dirs.push_back(r);
      Walk(root, r, dirs, files);
    } else {
      files.push_back(r);
    }
  }
}
}  // namespace

std::string Text(size_t size, unsigned seed) {
  static const char* words[] = {"archive ", "volume ", "entry ", "deflate ", "header ", "central ",
                                "directory ", "record ", "signature\n", "password ", "stored "};
  std::string s;
  unsigned x = seed * 2654435761u + 1;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 11];
  }
  s.resize(size);
  return s;
}

std::string Noise(size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned long long x = 0x9E3779B97F4A7C15ull * (seed + 1);
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

int Sh(const std::string& command, std::string* out) { return kxtest::Run(command, out); }

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

int Field(const std::string& zipinfo, const std::string& label, const std::string& value) {
  int count = 0;
  for (size_t at = zipinfo.find(label + ":"); at != std::string::npos; at = zipinfo.find(label + ":", at + 1)) {
    size_t v = zipinfo.find_first_not_of(' ', at + label.size() + 1);
    if (v != std::string::npos && zipinfo.compare(v, value.size(), value) == 0 &&
        (v + value.size() == zipinfo.size() || zipinfo[v + value.size()] == '\n'))
      ++count;
  }
  return count;
}

int CauseOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (CZipException* e) {
    int cause = e->m_iCause;
    e->Delete();
    return cause;
  } catch (CFileException* e) {
    e->Delete();
    return -1;
  }
  return 0;
}

std::vector<std::string> MakeTree(const std::string& root, size_t scale) {
  std::vector<std::string> files = {"readme.txt", "noise.bin", "empty.dat", "docs/a.txt", "docs/deep/b.txt",
                                    "docs/deep/c.bin", "media/one.bin"};
  for (const char* d : {"docs", "docs/deep", "media", "hollow"}) mkdir((root + "/" + d).c_str(), 0755);
  unsigned seed = 1;
  for (const auto& f : files) {
    std::string data;
    if (f == "empty.dat")
      data = "";
    else if (f.find(".bin") != std::string::npos)
      data = Noise(3000 * scale + seed * 17, seed);
    else
      data = Text(20000 * scale + seed * 31, seed);
    kxtest::WriteFile(root + "/" + f, data);
    ++seed;
  }
  return files;
}

bool SameFiles(const std::string& a, const std::string& b, const std::vector<std::string>& files, std::string* why) {
  for (const auto& f : files) {
    if (!Exists(b + "/" + f) || kxtest::ReadFile(a + "/" + f) != kxtest::ReadFile(b + "/" + f)) {
      if (why) *why = f;
      return false;
    }
  }
  return true;
}

void AddTree(CZipArchive& zip, const std::string& root, int level) {
  std::vector<std::string> dirs, files;
  Walk(root, "", dirs, files);
  zip.SetRootPath(root.c_str());
  for (const auto& d : dirs) ASSERT_TRUE(zip.AddNewFile((root + "/" + d).c_str(), 0, false)) << d;
  for (const auto& f : files) ASSERT_TRUE(zip.AddNewFile((root + "/" + f).c_str(), level, false)) << f;
}

void Delete(CZipArchive& zip, std::initializer_list<WORD> indexes) {
  CZipWordArray array;
  for (WORD i : indexes) array.Add(i);
  zip.DeleteFiles(array);
}

bool ExtractAll(CZipArchive& zip, const std::string& dest) {
  bool ok = true;
  for (int i = 0; i < zip.GetCount(); ++i) ok = zip.ExtractFile(static_cast<WORD>(i), dest.c_str()) && ok;
  return ok;
}

std::string Bytes(const std::string& path) { return kxtest::ReadFile(path); }
void Put(const std::string& path, const std::string& bytes) { kxtest::WriteFile(path, bytes); }
size_t Find(const std::string& bytes, const std::string& what, size_t from) { return bytes.find(what, from); }

void Put16(std::string& b, size_t at, unsigned v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, unsigned v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
unsigned Get16(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
unsigned Get32(const std::string& b, size_t at) {
  unsigned v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

}  // namespace ziptest
