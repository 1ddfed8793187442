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

}  // namespace

bool CZipTargetFile::Create(const CString& target) {
  Discard();
  const std::string t = target.str();
  const size_t slash = t.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : t.substr(0, slash + 1);
  // A replaced file keeps who may read it; the entry's attributes then decide the write bits.
  struct stat st;
  const bool replacing = ::stat(t.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (!m_file.Create(folder)) return false;
  m_mode = replacing ? (st.st_mode & 07777) : kx::ModeFromUmask();
  m_target = target;
  return true;
}

void CZipTargetFile::Write(const void* data, DWORD size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(m_file.Fd(), p, size);
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
  const bool ok = ::futimens(m_file.Fd(), times) == 0;
  m_mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (m_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (m_mode | S_IWUSR);
  return ok;
}

void CZipTargetFile::Commit() {
  // A new target takes the file directly; an existing one is replaced as the platform replaces files (it
  // refuses a target that someone holds open without letting it go).
  if (m_file.Name(m_target.str(), m_mode, true)) return;
  const DWORD code = ::GetLastError();
  Discard();
  CFileException::ThrowOsError(static_cast<LONG>(code), m_target);
}

void CZipTargetFile::Discard() { m_file.Discard(); }
