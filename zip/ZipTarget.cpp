#include "zip/ZipTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/mfc/exceptions.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "zip/ZipPlatform.h"

namespace {

[[noreturn]] void ThrowErrno(int err, const CString& path) {
  CFileException::ThrowOsError(static_cast<LONG>(kx::Win32ErrorFromErrno(err)), path);
}

// A name of this process's own: a random prefix drawn once, then a counter.
std::string NextTempName() {
  static const unsigned prefix = [] {
    BYTE random[4];
    ZipRandomBytes(random, sizeof random);
    return (unsigned(random[0]) << 24 | unsigned(random[1]) << 16 | unsigned(random[2]) << 8 | random[3]) ^
           static_cast<unsigned>(getpid());
  }();
  static std::atomic<unsigned> counter{0};
  char name[48];
  std::snprintf(name, sizeof name, "~kx%08X%06X.tmp", prefix, counter.fetch_add(1) & 0xFFFFFF);
  return name;
}

}  // namespace

bool CZipTargetFile::Create(const CString& target) {
  Discard();
  std::string t = target.str();
  size_t slash = t.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : t.substr(0, slash + 1);
  struct stat st;
  bool replacing = ::stat(t.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = folder + NextTempName();
    int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // A replaced file keeps who may read it; the entry's attributes then decide the write bits.
    if (replacing) ::fchmod(fd, st.st_mode & 07777);
    m_fd = fd;
    m_temp = path.c_str();
    m_target = target;
    return true;
  }
  return false;
}

void CZipTargetFile::Write(const void* data, DWORD size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(m_fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, m_target);
    }
    p += n;
    size -= static_cast<DWORD>(n);
  }
}

bool CZipTargetFile::SetTimeAndAttributes(time_t modified, DWORD attributes) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = modified;
  times[1].tv_nsec = 0;
  bool ok = ::futimens(m_fd, times) == 0;
  struct stat st;
  if (::fstat(m_fd, &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode_t want = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                                                       : ((mode & S_IWUSR) ? mode : (mode | S_IWUSR));
  if (want != mode && ::fchmod(m_fd, want) != 0) ok = false;
  return ok;
}

void CZipTargetFile::Commit() {
  int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) {
    int err = errno;
    Discard();
    ThrowErrno(err, m_target);
  }
  // A new target takes the file's place directly; an existing one is replaced as the platform replaces
  // files (it refuses a target that someone holds open without letting it go).
  if (::renameat2(AT_FDCWD, m_temp, AT_FDCWD, m_target, RENAME_NOREPLACE) == 0) {
    m_temp.Empty();
    return;
  }
  if (!::MoveFileExA(m_temp, m_target, MOVEFILE_REPLACE_EXISTING)) {
    DWORD code = ::GetLastError();
    Discard();
    CFileException::ThrowOsError(static_cast<LONG>(code), m_target);
  }
  m_temp.Empty();
}

void CZipTargetFile::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_temp.IsEmpty()) ::unlink(m_temp);
  m_temp.Empty();
}
