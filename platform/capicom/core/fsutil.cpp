#include "platform/capicom/core/fsutil.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kx::capi {

bool ReadWholeFile(const std::string& path, Bytes& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t buf[16384];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  ::close(fd);
  return ok;
}

bool WriteFileAtomic(const std::string& path, const void* data, size_t len, unsigned mode) {
  std::string tmpl = path + ".tmpXXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0;
  const char* p = static_cast<const char*>(data);
  size_t left = len;
  while (ok && left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmpl.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmpl.c_str());
  return ok;
}

bool MakeDirs(const std::string& path, unsigned mode) {
  std::string cur;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!cur.empty() && ::mkdir(cur.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    if (i < path.size()) cur += path[i];
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool CanWriteDir(const std::string& path) { return ::access(path.c_str(), W_OK | X_OK) == 0; }

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = ::opendir(path.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ::closedir(d);
  return names;
}

FolderLock::FolderLock(const std::string& dir, bool exclusive) {
  std::string path = dir + "/.lock";
  m_fd = ::open(path.c_str(), (exclusive ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644);
  if (m_fd < 0 && !exclusive) m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (m_fd < 0) return;  // a folder we cannot lock is one we only read; go on without the lock
  while (::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
  }
}

FolderLock::~FolderLock() {
  if (m_fd >= 0) ::close(m_fd);
}

}  // namespace kx::capi
