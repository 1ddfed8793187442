#include "platform/win32/newfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/win32/errors.h"
#include "platform/win32/files.h"

namespace kx {
namespace {

std::atomic<bool> g_unnamedAllowed{true};

// Field 22 of /proc/<pid>/stat (clock ticks after boot): with the pid it names one process for good.
bool StartTimeOf(long pid, unsigned long long& start) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
  FILE* f = std::fopen(path, "re");
  if (!f) return false;
  char line[1024];
  const size_t n = std::fread(line, 1, sizeof line - 1, f);
  std::fclose(f);
  line[n] = 0;
  // The command name may hold blanks and parentheses: the fields start after its last ')'.
  const char* p = std::strrchr(line, ')');
  if (!p) return false;
  ++p;
  for (int field = 3; field < 22 && p; ++field) {
    p = std::strchr(p + 1, ' ');
  }
  if (!p) return false;
  char* end = nullptr;
  start = std::strtoull(p + 1, &end, 10);
  return end != p + 1;
}

unsigned long long OwnStartTime() {
  static const unsigned long long start = [] {
    unsigned long long s = 0;
    StartTimeOf(static_cast<long>(getpid()), s);
    return s;
  }();
  return start;
}

std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  char name[96];
  std::snprintf(name, sizeof name, ".~kx%ld-%llu-%u.kxpart", static_cast<long>(getpid()), OwnStartTime(),
                counter.fetch_add(1) + 1);
  return name;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Parses ".~kx<pid>-<start>-<n>.kxpart" (or the older ".~kx<pid>-<n>.kxpart", without a start time).
bool ParseTemporary(const char* name, long& pid, bool& hasStart, unsigned long long& start) {
  if (std::strncmp(name, ".~kx", 4) != 0) return false;
  const size_t length = std::strlen(name);
  if (length < 4 + 7 || std::strcmp(name + length - 7, ".kxpart") != 0) return false;
  unsigned long long numbers[3];
  int count = 0;
  const char* p = name + 4;
  const char* end = name + length - 7;
  while (p < end) {
    if (count == 3 || *p < '0' || *p > '9') return false;
    char* after = nullptr;
    numbers[count++] = std::strtoull(p, &after, 10);
    p = after;
    if (p < end) {
      if (*p != '-') return false;
      ++p;
      if (p == end) return false;
    }
  }
  if (count < 2) return false;
  pid = static_cast<long>(numbers[0]);
  hasStart = count == 3;
  start = hasStart ? numbers[1] : 0;
  return pid > 0;
}

bool ProcessGone(long pid, bool hasStart, unsigned long long start) {
  unsigned long long now = 0;
  if (!StartTimeOf(pid, now)) return errno == ENOENT || errno == ESRCH;
  // The pid was given to another process since the temporary was made.
  return hasStart && now != start;
}

bool Fail(int err) {
  errno = err;
  SetLastError(Win32ErrorFromErrno(err));
  return false;
}

}  // namespace

mode_t ModeFromUmask() {
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned mask = 0;
      if (std::sscanf(line, "Umask: %o", &mask) == 1) {
        std::fclose(f);
        return 0666 & ~static_cast<mode_t>(mask);
      }
    }
    std::fclose(f);
  }
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  const mode_t mask = ::umask(077);
  ::umask(mask);
  return 0666 & ~mask;
}

bool IsNewFileTemporary(const std::string& name) {
  const size_t slash = name.rfind('/');
  long pid = 0;
  bool hasStart = false;
  unsigned long long start = 0;
  return ParseTemporary(name.c_str() + (slash == std::string::npos ? 0 : slash + 1), pid, hasStart, start);
}

void SweepStaleTemporaries(const std::string& folder) {
  // Without /proc no process can be told gone.
  if (OwnStartTime() == 0) return;
  const int dirfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) return;
  DIR* dir = ::fdopendir(dirfd);
  if (!dir) {
    ::close(dirfd);
    return;
  }
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    long pid = 0;
    bool hasStart = false;
    unsigned long long start = 0;
    if (!ParseTemporary(entry->d_name, pid, hasStart, start)) continue;
    if (!ProcessGone(pid, hasStart, start)) continue;
    struct stat st;
    if (::fstatat(dirfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != me) continue;
    ::unlinkat(dirfd, entry->d_name, 0);
  }
  ::closedir(dir);
}

void SetUnnamedFilesForTests(bool allowed) { g_unnamedAllowed = allowed; }

bool CNewFile::Create(const std::string& folder) {
  Discard();
  m_named = false;
  const std::string dir = folder.empty() ? std::string(".") : folder;
  SweepStaleTemporaries(dir);
  if (g_unnamedAllowed) {
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      const std::string path = "/proc/self/fd/" + std::to_string(fd);
      struct stat st;
      // Writers reach the file by that path; without /proc it is of no use to them.
      if (::fchmod(fd, 0600) == 0 && ::stat(path.c_str(), &st) == 0) {
        m_fd = fd;
        m_path = path;
        return true;
      }
      ::close(fd);
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOSYS) {
      return Fail(errno);
    }
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = Join(folder, TemporaryName());
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Fail(errno);
    }
    ::fchmod(fd, 0600);
    m_fd = fd;
    m_path = path;
    m_temporary = path;
    return true;
  }
  return Fail(EEXIST);
}

bool CNewFile::LinkTo(const std::string& name) {
  if (m_temporary.empty()) {
    return ::linkat(AT_FDCWD, m_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
#ifdef SYS_renameat2
  if (::syscall(SYS_renameat2, AT_FDCWD, m_temporary.c_str(), AT_FDCWD, name.c_str(), 1 /* RENAME_NOREPLACE */) ==
      0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // A hard link refuses an existing name as the rename would.
  if (::link(m_temporary.c_str(), name.c_str()) != 0) return false;
  ::unlink(m_temporary.c_str());
  return true;
}

bool CNewFile::Name(const std::string& name, mode_t mode, bool replace) {
  if (m_fd < 0 || m_named) return Fail(EINVAL);
  struct stat st;
  if (::fstat(m_fd, &st) != 0) return Fail(errno);
  if (!(st.st_mode & S_IWUSR)) mode &= ~static_cast<mode_t>(0222);
  if (::fchmod(m_fd, mode & 07777) != 0) return Fail(errno);
  bool named = LinkTo(name);
  int err = named ? 0 : errno;
  if (!named && err == EEXIST && replace) {
    // Named beside the target first, then moved over it as the platform replaces files (refused while someone
    // holds the target open without letting it go). A kill in between leaves a whole temporary, swept later.
    std::string temporary = m_temporary;
    if (temporary.empty()) {
      for (int attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
        const std::string candidate = Join(FolderOf(name), TemporaryName());
        if (::linkat(AT_FDCWD, m_path.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          temporary = candidate;
        } else if (errno != EEXIST) {
          break;
        }
      }
    }
    if (temporary.empty()) {
      err = errno;
    } else if (::MoveFileExA(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      named = true;
    } else {
      const DWORD code = GetLastError();
      if (temporary != m_temporary) ::unlink(temporary.c_str());
      ::fchmod(m_fd, 0600);
      errno = EACCES;
      SetLastError(code);
      return false;
    }
  }
  if (!named) {
    ::fchmod(m_fd, 0600);
    return Fail(err);
  }
  m_named = true;
  m_temporary.clear();
  Discard();
  return true;
}

void CNewFile::Discard() {
  const int saved = errno;
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_path.clear();
  errno = saved;
}

}  // namespace kx
