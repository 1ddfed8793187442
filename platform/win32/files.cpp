#include "platform/win32/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/win32/errors.h"
#include "platform/win32/handles.h"
#include "platform/win32/newfile.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/wintime.h"

using namespace kx;

namespace {

// Share-mode bytes, far past the end of any real file.
constexpr off_t kLockBase = static_cast<off_t>(1) << 62;
enum LockByte { kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3, kDeniesDelete = 4 };

bool SomeoneHolds(int fd, LockByte b) {
  struct flock fl{};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + b;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool Hold(int fd, LockByte b) {
  struct flock fl{};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + b;
  fl.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Serialises the check-then-hold of share modes between openers of one file.
struct Gate {
  int fd;
  explicit Gate(int f) : fd(f) {
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~Gate() { flock(fd, LOCK_UN); }
};

// True when opening with this access and share mode conflicts with an existing open.
bool ShareConflict(int fd, bool read, bool write, DWORD share) {
  if (read && SomeoneHolds(fd, kDeniesRead)) return true;
  if (write && SomeoneHolds(fd, kDeniesWrite)) return true;
  if (!(share & FILE_SHARE_READ) && SomeoneHolds(fd, kHasRead)) return true;
  if (!(share & FILE_SHARE_WRITE) && SomeoneHolds(fd, kHasWrite)) return true;
  return false;
}

void HoldShare(int fd, bool read, bool write, DWORD share) {
  if (read) Hold(fd, kHasRead);
  if (write) Hold(fd, kHasWrite);
  if (!(share & FILE_SHARE_READ)) Hold(fd, kDeniesRead);
  if (!(share & FILE_SHARE_WRITE)) Hold(fd, kDeniesWrite);
  if (!(share & FILE_SHARE_DELETE)) Hold(fd, kDeniesDelete);
}

// True when an open handle of the file refuses deletion (or renaming).
bool DeleteDenied(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool denied;
  {
    Gate gate(fd);
    denied = SomeoneHolds(fd, kDeniesDelete);
  }
  close(fd);
  return denied;
}

class FileObject : public KernelObject {
 public:
  ~FileObject() override {
    if (deleteOnClose) unlink(path.c_str());
    if (lockFd >= 0 && lockFd != fd) close(lockFd);
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  int lockFd = -1;
  bool canRead = false;
  bool canWrite = false;
  bool deleteOnClose = false;
  std::string path;
};

class FindObject : public KernelObject {
 public:
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

std::shared_ptr<FileObject> FileOf(HANDLE h) {
  auto f = LookupHandleAs<FileObject>(h);
  if (!f) SetLastError(ERROR_INVALID_HANDLE);
  return f;
}

bool ReadOnlyMode(mode_t mode) { return !(mode & S_IWUSR); }

DWORD AttributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD a = FILE_ATTRIBUTE_ARCHIVE;
  if (ReadOnlyMode(st.st_mode)) a |= FILE_ATTRIBUTE_READONLY;
  return a;
}

FILETIME CreationTimeOf(const char* path, int fd, const struct stat& st) {
  struct statx sx{};
  int r = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) : statx(AT_FDCWD, path, 0, STATX_BTIME, &sx);
  if (r == 0 && (sx.stx_mask & STATX_BTIME)) return FileTimeFromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
  return FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

// The fields that the platform's file records share, in their order: attributes, three times, size.
WIN32_FILE_ATTRIBUTE_DATA InfoOf(const char* path, int fd, const struct stat& st) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  d.dwFileAttributes = AttributesOf(st);
  d.ftCreationTime = CreationTimeOf(path, fd, st);
  d.ftLastAccessTime = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  d.ftLastWriteTime = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  d.nFileSizeLow = static_cast<DWORD>(size);
  return d;
}

void FillFindData(const std::string& name, const std::string& full, const struct stat& st, WIN32_FIND_DATAA* d) {
  memset(d, 0, sizeof *d);
  WIN32_FILE_ATTRIBUTE_DATA i = InfoOf(full.c_str(), -1, st);
  d->dwFileAttributes = i.dwFileAttributes;
  d->ftCreationTime = i.ftCreationTime;
  d->ftLastAccessTime = i.ftLastAccessTime;
  d->ftLastWriteTime = i.ftLastWriteTime;
  d->nFileSizeHigh = i.nFileSizeHigh;
  d->nFileSizeLow = i.nFileSizeLow;
  memcpy(d->cFileName, name.c_str(), name.size() + 1);
}

int FoldChar(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

int CompareNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int x = FoldChar(static_cast<unsigned char>(a[i])), y = FoldChar(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Matching with the platform's DOS wildcard forms: '<' (star up to the last dot), '>' (question mark that
// also matches nothing before a dot or the end), '"' (a dot, or nothing at the end).
bool MatchExpr(const char* e, const char* n, const char* lastDot) {
  for (;;) {
    char c = *e;
    if (c == 0) return *n == 0;
    if (c == '*') {
      for (const char* p = n;; ++p) {
        if (MatchExpr(e + 1, p, lastDot)) return true;
        if (*p == 0) return false;
      }
    }
    if (c == '<') {
      for (const char* p = n;; ++p) {
        if (MatchExpr(e + 1, p, lastDot)) return true;
        if (*p == 0 || (lastDot && p >= lastDot)) return false;
      }
    }
    if (c == '>') {
      if (*n == 0 || *n == '.') {
        ++e;
        continue;
      }
      ++e;
      ++n;
      continue;
    }
    if (c == '"') {
      if (*n == '.') {
        ++e;
        ++n;
        continue;
      }
      if (*n == 0) {
        ++e;
        continue;
      }
      return false;
    }
    if (*n == 0 || FoldChar(static_cast<unsigned char>(c)) != FoldChar(static_cast<unsigned char>(*n))) return false;
    ++e;
    ++n;
  }
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD ErrorForPath(int err, const char* path) {
  if (err == ENOENT) return NotFoundError(path);
  return Win32ErrorFromErrno(err);
}

// Making a name (a folder, a move's target): an existing name and a missing folder have codes of their own.
BOOL FailCreating(int err) {
  SetLastError(err == EEXIST ? ERROR_ALREADY_EXISTS : err == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(err));
  return FALSE;
}

BOOL FailPath(int err, const char* path) {
  SetLastError(ErrorForPath(err, path));
  return FALSE;
}

DWORD CopyOut(const std::string& s, DWORD size, LPSTR buffer) {
  if (!buffer || size < s.size() + 1) return static_cast<DWORD>(s.size() + 1);
  memcpy(buffer, s.c_str(), s.size() + 1);
  return static_cast<DWORD>(s.size());
}

bool RenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
  if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1 /* RENAME_NOREPLACE */) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  struct stat st;
  if (lstat(to, &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from, to) == 0;
}

}  // namespace

namespace kx {

bool MatchDosPattern(const char* pattern, const char* name) {
  std::string p = pattern ? pattern : "";
  if (p == "*.*") p = "*";
  std::string e;
  for (size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    char next = i + 1 < p.size() ? p[i + 1] : 0;
    if (c == '?') e.push_back('>');
    else if (c == '*' && next == '.') e.push_back('<');
    else if (c == '.' && (next == '?' || next == '*' || next == 0)) e.push_back('"');
    else e.push_back(c);
  }
  const char* lastDot = strrchr(name, '.');
  return MatchExpr(e.c_str(), name, lastDot);
}

DWORD NotFoundError(const char* path) {
  std::string p = path ? path : "";
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return IsDir(ParentOf(p)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace kx

HANDLE CreateFile(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                  DWORD flagsAndAttributes, HANDLE) {
  if (!path || !*path || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(!path || !*path ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  bool read = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
  bool write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
  if (disposition == TRUNCATE_EXISTING && !write) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  bool exists = stat(path, &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_NEW ||
          disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        SetLastError(disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
      }
    } else if (disposition == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
      return INVALID_HANDLE_VALUE;
    } else if ((write || disposition == CREATE_ALWAYS) && ReadOnlyMode(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    SetLastError(ErrorForPath(errno, path));
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  bool dir = exists && S_ISDIR(st.st_mode);
  if (dir) flags |= O_RDONLY | O_DIRECTORY;
  else if (write) flags |= O_RDWR;  // read access too, so that the share locks can be held
  else flags |= O_RDONLY;
  if (!exists) flags |= O_CREAT | (disposition == CREATE_NEW ? O_EXCL : 0);
  mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = open(path, flags, mode);
  if (fd < 0 && write && !dir && errno == EACCES) fd = open(path, (flags & ~O_RDWR) | O_WRONLY, mode);
  if (fd < 0) {
    int err = errno;
    SetLastError(err == EEXIST ? ERROR_FILE_EXISTS : ErrorForPath(err, path));
    return INVALID_HANDLE_VALUE;
  }
  auto f = std::make_shared<FileObject>();
  f->fd = fd;
  f->path = path;
  f->canRead = read;
  f->canWrite = write;
  f->deleteOnClose = flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE;
  int accmode = fcntl(fd, F_GETFL) & O_ACCMODE;
  f->lockFd = accmode == O_WRONLY ? open(path, O_RDONLY | O_CLOEXEC) : fd;
  if (f->lockFd >= 0 && !dir) {
    bool conflict;
    {
      Gate gate(f->lockFd);
      conflict = ShareConflict(f->lockFd, read, write, shareMode);
      if (!conflict) HoldShare(f->lockFd, read, write, shareMode);
    }
    if (conflict) {
      f->deleteOnClose = false;
      f.reset();
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (exists && !dir && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
    if (ftruncate(fd, 0) != 0) {
      SetLastError(Win32ErrorFromErrno(errno));
      return INVALID_HANDLE_VALUE;
    }
  }
  HANDLE h = InsertHandle(f);
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS);
  return h;
}

namespace {

// ReadFile and WriteFile: the whole count unless the end of the file (reading) or an error stops it.
template <bool kWrite, typename Buffer>
BOOL Transfer(HANDLE file, Buffer buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped) {
  if (done) *done = 0;
  auto f = FileOf(file);
  if (!f) return FALSE;
  if (overlapped) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (!(kWrite ? f->canWrite : f->canRead)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD moved = 0;
  auto* p = static_cast<std::conditional_t<kWrite, const char*, char*>>(buffer);
  while (moved < count) {
    ssize_t n = kWrite ? ::write(f->fd, p + moved, count - moved) : ::read(f->fd, const_cast<char*>(p) + moved, count - moved);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (done) *done = moved;
      return FailWithErrno(errno);
    }
    if (n == 0) break;
    moved += static_cast<DWORD>(n);
  }
  if (done) *done = moved;
  return TRUE;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
  return Transfer<false>(file, buffer, count, read, overlapped);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
  return Transfer<true>(file, buffer, count, written, overlapped);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  off_t base = 0;
  if (whence == SEEK_CUR) base = lseek(f->fd, 0, SEEK_CUR);
  if (whence == SEEK_END) {
    struct stat st;
    base = fstat(f->fd, &st) == 0 ? st.st_size : 0;
  }
  if (base + distance.QuadPart < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return FALSE;
  }
  off_t r = lseek(f->fd, base + distance.QuadPart, SEEK_SET);
  if (r < 0) return FailWithErrno(errno);
  if (newPosition) newPosition->QuadPart = r;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  LARGE_INTEGER d, out;
  if (distanceHigh) {
    d.LowPart = static_cast<DWORD>(distance);
    d.HighPart = *distanceHigh;
  } else {
    d.QuadPart = distance;
  }
  if (!SetFilePointerEx(file, d, &out, method)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) {
    *distanceHigh = out.HighPart;
  } else if (out.QuadPart > 0xFFFFFFFFll) {
    // The position does not fit the 32-bit answer; the pointer stays where it was asked to go.
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  SetLastError(ERROR_SUCCESS);
  return out.LowPart;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  struct stat st;
  if (fstat(f->fd, &st) != 0) return FailWithErrno(errno);
  if (size) size->QuadPart = st.st_size;
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(file, &s)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(s.HighPart);
  SetLastError(ERROR_SUCCESS);
  return s.LowPart;
}

BOOL SetEndOfFile(HANDLE file) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  if (!f->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t pos = lseek(f->fd, 0, SEEK_CUR);
  if (pos < 0 || ftruncate(f->fd, pos) != 0) return FailWithErrno(errno);
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  if (fsync(f->fd) != 0 && errno != EINVAL) return FailWithErrno(errno);
  return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  struct stat st;
  if (fstat(f->fd, &st) != 0) return FailWithErrno(errno);
  if (creation) *creation = CreationTimeOf(nullptr, f->fd, st);
  if (lastAccess) *lastAccess = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  if (lastWrite) *lastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess, const FILETIME* lastWrite) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  struct timespec ts[2];
  ts[0].tv_nsec = UTIME_OMIT;
  ts[1].tv_nsec = UTIME_OMIT;
  const FILETIME* in[2] = {lastAccess, lastWrite};
  for (int i = 0; i < 2; ++i) {
    if (!in[i] || (in[i]->dwLowDateTime == 0 && in[i]->dwHighDateTime == 0)) continue;
    int64_t s, ns;
    UnixFromFileTime(*in[i], &s, &ns);
    ts[i].tv_sec = s;
    ts[i].tv_nsec = ns;
  }
  if (futimens(f->fd, ts) != 0) return FailWithErrno(errno);
  return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  auto f = FileOf(file);
  if (!f) return FALSE;
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (fstat(f->fd, &st) != 0) return FailWithErrno(errno);
  memset(info, 0, sizeof *info);
  WIN32_FILE_ATTRIBUTE_DATA i = InfoOf(nullptr, f->fd, st);
  info->dwFileAttributes = i.dwFileAttributes;
  info->ftCreationTime = i.ftCreationTime;
  info->ftLastAccessTime = i.ftLastAccessTime;
  info->ftLastWriteTime = i.ftLastWriteTime;
  info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
  info->nFileSizeHigh = i.nFileSizeHigh;
  info->nFileSizeLow = i.nFileSizeLow;
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
  info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
  return TRUE;
}

DWORD GetFileAttributes(LPCSTR path) {
  struct stat st;
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (stat(path, &st) != 0) {
    SetLastError(ErrorForPath(errno, path));
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(st);
}

BOOL GetFileAttributesEx(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
  if (level != GetFileExInfoStandard || !info || !path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (stat(path, &st) != 0) return FailPath(errno, path);
  *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info) = InfoOf(path, -1, st);
  return TRUE;
}

BOOL SetFileAttributes(LPCSTR path, DWORD attributes) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return FailPath(path ? errno : ENOENT, path ? path : "");
  if (S_ISDIR(st.st_mode)) return TRUE;
  mode_t mode = st.st_mode & 07777;
  mode_t want = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                                                       : (ReadOnlyMode(mode) ? (mode | S_IWUSR) : mode);
  if (want != mode && chmod(path, want) != 0) return FailWithErrno(errno);
  return TRUE;
}

BOOL CreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (mkdir(path, 0777) == 0) return TRUE;
  int err = errno;
  return FailCreating(err);
}

BOOL RemoveDirectory(LPCSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  struct stat st;
  if (lstat(path, &st) != 0) return FailPath(errno, path);
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (rmdir(path) != 0) return FailWithErrno(errno);
  return TRUE;
}

BOOL DeleteFile(LPCSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  struct stat st;
  if (lstat(path, &st) != 0) return FailPath(errno, path);
  if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && ReadOnlyMode(st.st_mode))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (S_ISREG(st.st_mode) && DeleteDenied(path)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (unlink(path) != 0) return FailWithErrno(errno);
  return TRUE;
}

BOOL CopyFile(LPCSTR from, LPCSTR to, BOOL failIfExists) {
  if (!from || !to) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE src = CreateFile(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (src == INVALID_HANDLE_VALUE) return FALSE;
  struct stat st;
  auto sf = FileOf(src);
  fstat(sf->fd, &st);
  auto fail = [&](DWORD err) {
    CloseHandle(src);
    SetLastError(err);
    return FALSE;
  };
  struct stat old;
  const bool exists = stat(to, &old) == 0;
  // A file that has no name yet (an output being written) or a temporary of ours is written in place; any other
  // copy is made unnamed in the target's folder and takes the name only when whole, so that a copy stopped
  // half-way leaves nothing.
  const bool inPlace = exists && S_ISREG(old.st_mode) && (old.st_nlink == 0 || IsNewFileTemporary(to));
  if (exists && !inPlace) {
    if (failIfExists) return fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(old.st_mode) || ReadOnlyMode(old.st_mode)) return fail(ERROR_ACCESS_DENIED);
  }
  CNewFile copy;
  std::string target = to;
  if (!inPlace) {
    const size_t slash = target.rfind('/');
    if (!copy.Create(slash == std::string::npos ? std::string() : target.substr(0, slash + 1)))
      return fail(ErrorForPath(errno, to));
  }
  HANDLE dst = CreateFile(inPlace ? to : copy.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (dst == INVALID_HANDLE_VALUE) return fail(GetLastError());
  std::vector<char> buf(1 << 16);
  BOOL ok = TRUE;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(src, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr)) { ok = FALSE; break; }
    if (n == 0) break;
    DWORD w = 0;
    if (!WriteFile(dst, buf.data(), n, &w, nullptr)) { ok = FALSE; break; }
  }
  DWORD err = GetLastError();
  if (ok) {
    FILETIME mtime = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    SetFileTime(dst, nullptr, nullptr, &mtime);
  }
  CloseHandle(dst);
  CloseHandle(src);
  if (!ok) {
    SetLastError(err);
    return FALSE;
  }
  if (!inPlace) {
    // A replaced file keeps who may read it; a new one gets what the umask gives.
    mode_t mode = exists ? (old.st_mode & 07777) : ModeFromUmask();
    if (ReadOnlyMode(st.st_mode)) mode &= ~static_cast<mode_t>(0222);
    if (!copy.Name(target, mode, !failIfExists)) {
      err = errno == EEXIST && failIfExists ? ERROR_FILE_EXISTS : GetLastError();
      SetLastError(err);
      return FALSE;
    }
  } else if (ReadOnlyMode(st.st_mode)) {
    SetFileAttributes(to, FILE_ATTRIBUTE_READONLY);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileEx(LPCSTR from, LPCSTR to, DWORD flags) {
  if (!from || !to) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st, dst;
  if (lstat(from, &st) != 0) return FailPath(errno, from);
  if (S_ISREG(st.st_mode) && DeleteDenied(from)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  bool targetExists = lstat(to, &dst) == 0;
  if (targetExists) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(dst.st_mode) || ReadOnlyMode(dst.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (DeleteDenied(to)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  bool ok = (flags & MOVEFILE_REPLACE_EXISTING) ? rename(from, to) == 0 : RenameNoReplace(from, to);
  if (ok) return TRUE;
  int err = errno;
  if (err == EXDEV) {
    if (!(flags & MOVEFILE_COPY_ALLOWED) || S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_NOT_SAME_DEVICE);
      return FALSE;
    }
    if (!CopyFile(from, to, !(flags & MOVEFILE_REPLACE_EXISTING))) return FALSE;
    if (ReadOnlyMode(st.st_mode)) chmod(from, st.st_mode | S_IWUSR);
    unlink(from);
    return TRUE;
  }
  return FailCreating(err);
}

BOOL MoveFile(LPCSTR from, LPCSTR to) { return MoveFileEx(from, to, MOVEFILE_COPY_ALLOWED); }

HANDLE FindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (!pattern || !*pattern || !data) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string p = pattern;
  size_t slash = p.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
  std::string mask = slash == std::string::npos ? p : p.substr(slash + 1);
  if (mask.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DIR* d = opendir(dir.c_str());
  if (!d) {
    int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(err));
    return INVALID_HANDLE_VALUE;
  }
  auto f = std::make_shared<FindObject>();
  std::string prefix = dir == "/" ? "/" : dir + "/";
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.size() >= MAX_PATH || !MatchDosPattern(mask.c_str(), name.c_str())) continue;
    std::string full = prefix + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    WIN32_FIND_DATAA fd;
    FillFindData(name, full, st, &fd);
    f->entries.push_back(fd);
  }
  closedir(d);
  std::sort(f->entries.begin(), f->entries.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
    int c = CompareNoCase(a.cFileName, b.cFileName);
    return c != 0 ? c < 0 : strcmp(a.cFileName, b.cFileName) < 0;
  });
  if (f->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = f->entries[0];
  f->next = 1;
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(f);
}

BOOL FindNextFile(HANDLE find, LPWIN32_FIND_DATAA data) {
  auto f = LookupHandleAs<FindObject>(find);
  if (!f || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (f->next >= f->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = f->entries[f->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!LookupHandleAs<FindObject>(find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RemoveHandle(find);
  return TRUE;
}

DWORD GetTempPath(DWORD size, LPSTR buffer) { return CopyOut(TempDir(), size, buffer); }

UINT GetTempFileName(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer) {
  if (!path || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string dir = path;
  if (dir.empty() || dir.back() != '/') dir += '/';
  std::string pre = prefix ? std::string(prefix).substr(0, 3) : std::string();
  if (dir.size() + pre.size() + 4 + 4 >= MAX_PATH) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  auto nameFor = [&](UINT n) {
    char hex[16];
    snprintf(hex, sizeof hex, "%X", n);
    return dir + pre + hex + ".tmp";
  };
  if (unique != 0) {
    unique &= 0xFFFF;
    std::string name = nameFor(unique);
    memcpy(buffer, name.c_str(), name.size() + 1);
    return unique;
  }
  if (!IsDir(dir)) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  UINT start = (GetTickCount() + static_cast<UINT>(getpid())) & 0xFFFF;
  if (start == 0) start = 1;
  UINT n = start;
  do {
    std::string name = nameFor(n);
    int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      memcpy(buffer, name.c_str(), name.size() + 1);
      SetLastError(ERROR_SUCCESS);
      return n;
    }
    if (errno != EEXIST) {
      FailWithErrno(errno);
      return 0;
    }
    n = (n + 1) & 0xFFFF;
    if (n == 0) n = 1;
  } while (n != start);
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

DWORD GetFullPathName(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (filePart) *filePart = nullptr;
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::string in = path;
  if (in[0] != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return static_cast<DWORD>(FailWithErrno(errno));
    in = std::string(cwd) + "/" + in;
  }
  bool trailing = in.back() == '/';
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < in.size()) {
    size_t j = in.find('/', i);
    if (j == std::string::npos) j = in.size();
    std::string part = in.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (auto& p : parts) out += "/" + p;
  if (out.empty() || trailing) out += "/";
  DWORD r = CopyOut(out, size, buffer);
  if (r == out.size() && filePart && out.back() != '/') *filePart = buffer + out.rfind('/') + 1;
  return r;
}

DWORD GetCurrentDirectory(DWORD size, LPSTR buffer) {
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return static_cast<DWORD>(FailWithErrno(errno));
  return CopyOut(cwd, size, buffer);
}

BOOL SetCurrentDirectory(LPCSTR path) {
  if (!path || chdir(path) != 0) return FailPath(path ? errno : ENOENT, path ? path : "");
  return TRUE;
}

UINT GetWindowsDirectory(LPSTR buffer, UINT size) { return CopyOut(WindowsDir(), size, buffer); }

UINT GetSystemDirectory(LPSTR buffer, UINT size) {
  std::string dir = WindowsDir() + "/system32";
  mkdir(dir.c_str(), 0755);
  return CopyOut(dir, size, buffer);
}

namespace {

std::string SpecialFolder(int csidl) {
  switch (csidl & 0xFF) {
    case CSIDL_PERSONAL: return DocumentsDir();
    case CSIDL_APPDATA: return UserStateDir() + "/appdata";
    case CSIDL_LOCAL_APPDATA: return UserStateDir() + "/localappdata";
    case CSIDL_INTERNET_CACHE: return CacheDir() + "/urlcache";
    case CSIDL_COMMON_APPDATA: return MachineStateDir() + "/appdata";
    case CSIDL_WINDOWS: return WindowsDir();
    case CSIDL_SYSTEM: return WindowsDir() + "/system32";
    default: return {};
  }
}

}  // namespace

BOOL SHGetSpecialFolderPath(HWND, LPSTR path, int csidl, BOOL create) {
  std::string dir = SpecialFolder(csidl);
  if (dir.empty() || !path || dir.size() >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!IsDir(dir)) {
    if (!create && !(csidl & CSIDL_FLAG_CREATE)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return FailWithErrno(errno);
  }
  memcpy(path, dir.c_str(), dir.size() + 1);
  return TRUE;
}

HRESULT SHGetFolderPath(HWND owner, int csidl, HANDLE, DWORD, LPSTR path) {
  if (SpecialFolder(csidl).empty()) return E_INVALIDARG;
  if (!SHGetSpecialFolderPath(owner, path, csidl & 0xFF, (csidl & CSIDL_FLAG_CREATE) != 0))
    return HRESULT_FROM_WIN32(GetLastError());
  return S_OK;
}

UINT GetDriveType(LPCSTR rootPath) {
  char cwd[4096];
  const char* p = rootPath && *rootPath ? rootPath : (getcwd(cwd, sizeof cwd) ? cwd : "/");
  return IsDir(p) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

BOOL GetDiskFreeSpaceEx(LPCSTR path, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
  struct statvfs sv;
  if (statvfs(path && *path ? path : ".", &sv) != 0) return FailPath(errno, path ? path : ".");
  if (freeToCaller) freeToCaller->QuadPart = static_cast<ULONGLONG>(sv.f_bavail) * sv.f_frsize;
  if (total) total->QuadPart = static_cast<ULONGLONG>(sv.f_blocks) * sv.f_frsize;
  if (totalFree) totalFree->QuadPart = static_cast<ULONGLONG>(sv.f_bfree) * sv.f_frsize;
  return TRUE;
}

BOOL GetDiskFreeSpace(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                      LPDWORD totalClusters) {
  ULARGE_INTEGER avail, total;
  if (!GetDiskFreeSpaceEx(rootPath, &avail, &total, nullptr)) return FALSE;
  uint64_t cluster = 4096;
  while (total.QuadPart / cluster > 0xFFFFFFFFull) cluster *= 2;
  if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(cluster / 512);
  if (bytesPerSector) *bytesPerSector = 512;
  if (freeClusters) *freeClusters = static_cast<DWORD>(avail.QuadPart / cluster);
  if (totalClusters) *totalClusters = static_cast<DWORD>(total.QuadPart / cluster);
  return TRUE;
}

BOOL SetVolumeLabel(LPCSTR, LPCSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

namespace {

class MappingObject : public KernelObject {
 public:
  ~MappingObject() override {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  bool writable = false;
  uint64_t size = 0;
};

std::mutex g_viewsMutex;
std::map<const void*, size_t>& Views() {
  static auto* v = new std::map<const void*, size_t>();
  return *v;
}

}  // namespace

HANDLE CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD sizeHigh, DWORD sizeLow, LPCSTR) {
  auto f = FileOf(file);
  if (!f) return nullptr;
  bool writable = (protect & 0xFF) == PAGE_READWRITE;
  if (writable && !f->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  struct stat st;
  if (fstat(f->fd, &st) != 0) {
    FailWithErrno(errno);
    return nullptr;
  }
  uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  if (size == 0) size = static_cast<uint64_t>(st.st_size);
  if (size == 0) {
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  if (size > static_cast<uint64_t>(st.st_size)) {
    if (!writable) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    if (ftruncate(f->fd, static_cast<off_t>(size)) != 0) {
      FailWithErrno(errno);
      return nullptr;
    }
  }
  auto m = std::make_shared<MappingObject>();
  m->fd = dup(f->fd);
  m->writable = writable;
  m->size = size;
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(m);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  auto m = LookupHandleAs<MappingObject>(mapping);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool write = access & FILE_MAP_WRITE;
  if (write && !m->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
  if (offset % static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) != 0 || offset >= m->size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes == 0) bytes = static_cast<SIZE_T>(m->size - offset);
  if (offset + bytes > m->size) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  void* p = mmap(nullptr, bytes, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED, m->fd, static_cast<off_t>(offset));
  if (p == MAP_FAILED) {
    FailWithErrno(errno);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_viewsMutex);
  Views()[p] = bytes;
  return p;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  size_t bytes;
  {
    std::lock_guard<std::mutex> lock(g_viewsMutex);
    auto it = Views().find(view);
    if (it == Views().end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    bytes = it->second;
    Views().erase(it);
  }
  munmap(const_cast<void*>(view), bytes);
  return TRUE;
}

BOOL FlushViewOfFile(LPCVOID view, SIZE_T bytes) {
  size_t whole;
  {
    std::lock_guard<std::mutex> lock(g_viewsMutex);
    auto it = Views().find(view);
    if (it == Views().end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    whole = it->second;
  }
  if (msync(const_cast<void*>(view), bytes == 0 || bytes > whole ? whole : bytes, MS_SYNC) != 0) return FailWithErrno(errno);
  return TRUE;
}
