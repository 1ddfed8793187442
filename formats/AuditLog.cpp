#include "formats/AuditLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "core/SettingsStore.h"
#include "core/Win32File.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/sync.h"

namespace {

const char kBaseKey[] = "Software\\Kesmora\\OfficeTolvex";
const char kSubkey[] = "Audit_Event_Log";
const char kPathValue[] = "AUDIT_LOG_FILE";
const char kDefaultName[] = "OfficeTolvex.Alf";
// How long a writer waits for another one; a writer stuck that long is not waited for any more (the log is
// still replaced whole, so at worst one of the two entries is lost).
constexpr DWORD kLockWaitMs = 30000;

CHiveSettings UserSettings() {
  CHiveSettings hive(kBaseKey);
  hive.UseCurrentUser();
  return hive;
}

void StorePath(const CString& path) { UserSettings().SetString(kSubkey, kPathValue, path); }

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::mutex& LogMutex() {
  static std::mutex m;
  return m;
}

// Holds the writers of this process and of every other one off the log while an entry is appended: a lock
// file in the user's state folder opened without sharing (the open fails while another writer holds it).
class AuditLogLock {
 public:
  AuditLogLock() : m_guard(LogMutex()) {
    std::string path = kx::UserStateDir() + "/AuditLog.lock";
    for (DWORD waited = 0, pause = 1;; waited += pause, pause = pause < 20 ? pause * 2 : 20) {
      HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE && h) {
        m_hFile = h;
        return;
      }
      if (::GetLastError() != ERROR_SHARING_VIOLATION || waited >= kLockWaitMs) return;
      Sleep(pause);
    }
  }
  ~AuditLogLock() {
    if (m_hFile) CloseHandle(m_hFile);
  }
  AuditLogLock(const AuditLogLock&) = delete;
  AuditLogLock& operator=(const AuditLogLock&) = delete;

 private:
  std::lock_guard<std::mutex> m_guard;
  HANDLE m_hFile = nullptr;
};

// Writes the whole log in place of the file at path, its owner's alone from the start.
bool SaveLog(CBaseKesmoraFile& log, const char* path) {
  CByteBuffer image;
  return log.SaveToBuffer(image) && kx::formats::ReplaceFile(path, image, 0600);
}

// The log at path, or null when it does not open as an audit log.
CAuditLogFile* OpenLog(CFileManager& manager, const char* path) {
  CBaseKesmoraFile* object = manager.OpenFile(path);
  CAuditLogFile* log = dynamic_cast<CAuditLogFile*>(object);
  if (!log) delete object;
  return log;
}

// Renames the file beside itself so that its bytes are kept; false when it cannot be moved.
bool SetAside(const char* path) {
  SYSTEMTIME now = CLocalTime().m_time;
  for (int n = 0; n < 100; ++n) {
    CString aside;
    aside.Format("%s.unreadable-%04u%02u%02u-%02u%02u%02u", path, now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond);
    if (n) aside.AppendFormat("-%d", n);
    if (MoveFileExA(path, aside, 0)) return true;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// An empty log at path. A valid log already there is replaced only when replaceLog is set; any other file
// there is set aside first, never overwritten.
bool StartNewLog(const char* path, bool replaceLog) {
  CFileManager manager;
  if (Exists(path)) {
    std::unique_ptr<CAuditLogFile> existing(OpenLog(manager, path));
    if (existing && !replaceLog) return true;
    if (!existing && !SetAside(path)) return false;
  }
  std::unique_ptr<CBaseKesmoraFile> log(manager.CreateFileObject("KALF"));
  if (!log) return false;
  log->SetCreationDate();
  log->SetCreationTime();
  bool ok = SaveLog(*log, path);
  log.reset();
  manager.Reset();
  return ok;
}

}  // namespace

// The journal beside a log ("<log>.journal", its owner's alone): an 8-byte head ("KALJ" and the log's count
// when the journal was last emptied), then one record per entry: its 1584 bytes in file order and their
// FNV-1a-64. Writers append under an exclusive flock of the journal and flush before they return; a fold, under
// the log's lock and the same flock, appends the journal's whole records to the log in one step (one digest
// for the group), flushes the log, and only then empties the journal. A fold cut short before the journal was
// emptied is recognised at the next fold: the log then holds the journal's first entries from the head's count
// on, byte for byte, and they are not appended twice.
namespace journal {

constexpr size_t kHead = 8;
constexpr size_t kEntry = CAuditLogEntry::GetSize();
constexpr size_t kRecord = kEntry + 8;
// A log is folded once an eighth of its count waits (a small log at once): the pass over the log that a fold
// takes is then shared by enough entries that an entry's cost does not grow with the log.
constexpr DWORD kGroupShare = 8;

std::string PathOf(const char* log) { return std::string(log) + ".journal"; }

uint64_t Checksum(const BYTE* p, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

void PutWord(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 24);
  p[1] = static_cast<BYTE>(v >> 16);
  p[2] = static_cast<BYTE>(v >> 8);
  p[3] = static_cast<BYTE>(v);
}

DWORD WordAt(const BYTE* p) { return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | p[3]; }

// The count word of the log as it stands, without taking the log; 0 when it cannot be read or the file's size
// does not match it (a log to be settled by a fold at once).
DWORD LogCount(const char* log) {
  BYTE word[4] = {};
  const int fd = ::open(log, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st;
  const bool ok = ::pread(fd, word, 4, CBaseKesmoraFile::kHeaderSize) == 4 && ::fstat(fd, &st) == 0;
  ::close(fd);
  if (!ok) return 0;
  const DWORD count = WordAt(word);
  const off_t whole = CBaseKesmoraFile::kHeaderSize + 4 + static_cast<off_t>(count) * kEntry + 20;
  return st.st_size == whole ? count : 0;
}

// A file that starts as a log does: only such a file gets a journal beside it.
bool IsLog(const char* log) {
  char marker[4] = {};
  const int fd = ::open(log, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::pread(fd, marker, 4, 0) == 4;
  ::close(fd);
  return ok && std::memcmp(marker, "KALF", 4) == 0;
}

bool WriteAll(int fd, const BYTE* p, size_t n, off_t at) {
  while (n > 0) {
    const ssize_t done = ::pwrite(fd, p, n, at);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    n -= static_cast<size_t>(done);
    at += done;
  }
  return true;
}

// An open journal held under an exclusive flock.
class Held {
 public:
  Held(const std::string& path, bool create) {
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    if (m_fd < 0) return;
    while (::flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(m_fd);
        m_fd = -1;
        return;
      }
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(m_fd);
      m_fd = -1;
      return;
    }
    if ((st.st_mode & 07777) != 0600) ::fchmod(m_fd, 0600);
    m_size = st.st_size;
  }
  ~Held() {
    if (m_fd >= 0) ::close(m_fd);  // lets the flock go
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  int fd() const { return m_fd; }
  off_t size() const { return m_size; }

  // Empties the journal and starts it again from the log's count base.
  bool Restart(DWORD base) {
    BYTE head[kHead] = {'K', 'A', 'L', 'J'};
    PutWord(head + 4, base);
    // Emptied first: a stop in between leaves an empty journal, which the next writer starts afresh.
    if (::ftruncate(m_fd, 0) != 0 || !WriteAll(m_fd, head, kHead, 0) || ::fdatasync(m_fd) != 0) return false;
    m_size = kHead;
    return true;
  }

 private:
  int m_fd = -1;
  off_t m_size = 0;
};

// Appends the entry to the log's journal and flushes it; the number of entries waiting there with it, or -1
// when the journal cannot be written (nothing of the entry is then acknowledged).
long Append(const char* log, const CAuditLogEntry& entry) {
  Held held(PathOf(log), true);
  if (held.fd() < 0) return -1;
  off_t size = held.size();
  if (size < static_cast<off_t>(kHead)) {
    if (!held.Restart(LogCount(log))) return -1;
    // A journal just made: its name is on disk too before an entry in it is acknowledged.
    const std::string path = log;
    const size_t slash = path.rfind('/');
    const int folder = ::open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }
  size = std::max<off_t>(size, kHead);
  // A record cut short by a writer that stopped half-way was never acknowledged: it goes.
  const off_t whole = kHead + (size - kHead) / kRecord * kRecord;
  if (whole != size && ::ftruncate(held.fd(), whole) != 0) return -1;
  BYTE record[kRecord];
  CAuditLogFile::WriteEntry(entry, record);
  const uint64_t sum = Checksum(record, kEntry);
  for (int i = 0; i < 8; ++i) record[kEntry + i] = static_cast<BYTE>(sum >> (56 - 8 * i));
  if (!WriteAll(held.fd(), record, kRecord, whole) || ::fdatasync(held.fd()) != 0) {
    // Not acknowledged: what was written of it goes again.
    if (::ftruncate(held.fd(), whole) != 0) {
      // The next writer cuts it away as a record cut short, or the fold skips it by its checksum.
    }
    return -1;
  }
  return static_cast<long>((whole - kHead) / kRecord + 1);
}

bool ShouldFold(const char* log, long waiting) {
  return waiting >= static_cast<long>(std::max<DWORD>(1, LogCount(log) / kGroupShare));
}

}  // namespace journal

const char* CAuditLog::SeverityText(int severity) {
  const char* word = CAuditLogEntry::SeverityText(severity);
  return word ? word : "Information";
}

bool CAuditLog::Load() {
  m_nEnableLog = 1;
  m_nExcludeBrastelLog = 1;
  m_nReportErrors = 1;
  m_nMonitorLdapErrors = 1;
  m_nStampOption = 0;
  CHiveSettings hive = UserSettings();
  hive.GetDword(kSubkey, "ENABLE_LOG", &m_nEnableLog, 1);
  hive.GetDword(kSubkey, "EXCLUDE_BRASTEL_LOG", &m_nExcludeBrastelLog, 1);
  hive.GetDword(kSubkey, "REPORT_ERRORS", &m_nReportErrors, 1);
  hive.GetDword(kSubkey, "MONITOR_LDAP_ERRORS", &m_nMonitorLdapErrors, 1);
  hive.GetDword(kSubkey, "AUDIT_STAMP_OPTION", &m_nStampOption, 0);
  return true;
}

bool CAuditLog::Save() {
  CHiveSettings hive = UserSettings();
  hive.SetDword(kSubkey, "ENABLE_LOG", m_nEnableLog);
  hive.SetDword(kSubkey, "EXCLUDE_BRASTEL_LOG", m_nExcludeBrastelLog);
  hive.SetDword(kSubkey, "REPORT_ERRORS", m_nReportErrors);
  hive.SetDword(kSubkey, "MONITOR_LDAP_ERRORS", m_nMonitorLdapErrors);
  hive.SetDword(kSubkey, "AUDIT_STAMP_OPTION", m_nStampOption);
  return true;
}

void CAuditLog::ClearLogFilePath() {
  AuditLogLock lock;
  // Entries made before the clearing belong to the log being cleared.
  CString path;
  UserSettings().GetString(kSubkey, kPathValue, path, CString());
  if (!path.IsEmpty()) Fold(path);
  StorePath(CString());
}

bool CAuditLog::GetLogFilePath(CString& out) {
  AuditLogLock lock;
  if (!ResolveLogPath(out)) return false;
  // Whoever asks is about to read the log: it holds every entry acknowledged so far.
  Fold(out);
  return true;
}

bool CAuditLog::Fold(const CString& path) {
  journal::Held held(journal::PathOf(path), false);
  if (held.fd() < 0) return true;
  std::string bytes(static_cast<size_t>(std::max<off_t>(held.size(), 0)), '\0');
  if (!bytes.empty() && ::pread(held.fd(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
    return false;
  const BYTE* data = reinterpret_cast<const BYTE*>(bytes.data());
  if (bytes.size() < journal::kHead || std::memcmp(data, "KALJ", 4) != 0) {
    DWORD count = 0;
    return held.Restart(CAuditLogFile::SettledCount(path, count) ? count : 0);
  }
  const DWORD base = journal::WordAt(data + 4);
  std::vector<CAuditLogEntry> entries;
  std::string raw;
  for (size_t at = journal::kHead; at + journal::kRecord <= bytes.size(); at += journal::kRecord) {
    uint64_t sum = 0;
    for (int i = 0; i < 8; ++i) sum = sum << 8 | data[at + journal::kEntry + i];
    // A record whose bytes do not match its checksum was never acknowledged.
    if (sum != journal::Checksum(data + at, journal::kEntry)) continue;
    CAuditLogEntry e;
    CAuditLogFile::ReadEntry(data + at, e);
    entries.push_back(e);
    raw.append(bytes, at, journal::kEntry);
  }
  DWORD count = 0;
  const bool isLog = CAuditLogFile::SettledCount(path, count);
  // A fold stopped after the log took the entries and before the journal was emptied: they are there already.
  size_t skip = 0;
  if (isLog && count >= base && count - base <= entries.size() && count > base) {
    std::string there;
    if (CAuditLogFile::ReadEntryBytes(path, base, count - base, there) &&
        there.compare(0, there.size(), raw, 0, there.size()) == 0) {
      skip = count - base;
    }
  }
  if (skip < entries.size()) {
    const std::vector<CAuditLogEntry> rest(entries.begin() + static_cast<std::ptrdiff_t>(skip), entries.end());
    // Kept in the journal when no log takes them.
    if (!WriteEntriesLocked(path, rest)) return false;
  }
  TightenLog(path);
  count = 0;
  return held.Restart(CAuditLogFile::SettledCount(path, count) ? count : 0);
}

void CAuditLog::TightenLog(const CString& path) {
  // The log names every document protected or opened: its owner's alone, whatever the umask, and so is the
  // folder of the default log.
  struct stat st;
  if (::stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077))
    ::chmod(path, st.st_mode & 0700);
  CString folder;
  UserSettings().GetString("OneClickManager", "OneClickFolder", folder, CString());
  if (!folder.IsEmpty() && path == folder + "/" + kDefaultName && ::stat(folder, &st) == 0 && S_ISDIR(st.st_mode) &&
      st.st_uid == ::geteuid() && (st.st_mode & 077)) {
    ::chmod(folder, st.st_mode & 0700);
  }
}

bool CAuditLog::ResolveLogPath(CString& out, bool keepDefaultLog) {
  Load();
  CHiveSettings hive = UserSettings();
  CString path;
  hive.GetString(kSubkey, kPathValue, path, CString());
  bool stored = !path.IsEmpty();
  if (stored) {
    CWin32File file(path);
    if (file.IsOpen()) {
      // Too short to be a log: go on in the default log; the file itself is not ours to delete.
      if (FAILED(file.ReadAll(4))) path.Empty();
    } else if (!Exists(path)) {
      path.Empty();
    }
  }
  if (!path.IsEmpty()) {
    out = path;
    return true;
  }
  CString folder;
  hive.GetString("OneClickManager", "OneClickFolder", folder, CString());
  if (!Exists(folder) && !CreateDirectoryA(folder, nullptr)) {
    out = folder;
    return false;
  }
  path = folder + "/" + kDefaultName;
  StorePath(path);
  // Without a stored path the user cleared the log: an old default log gives way to an empty one.
  if (!StartNewLog(path, !stored && !keepDefaultLog)) {
    out = path;
    return false;
  }
  TightenLog(path);
  out = path;
  return true;
}

void CAuditLog::LogInformation(const char* operation, const char* message) {
  if (m_nEnableLog) AppendEntry(kInformation, operation, message);
}

void CAuditLog::LogError(const char* operation, const char* message) {
  if (m_nEnableLog && m_nReportErrors) AppendEntry(kFatalError, operation, message);
}

void CAuditLog::AppendEntry(int severity, const char* operation, const char* message) {
  try {
    char when[256];
    CDateTime(CLocalTime().m_time).Format(when, sizeof when, 0, 1024);
    const CAuditLogEntry entry(operation, when, SeverityText(severity), message);
    CString path;
    {
      AuditLogLock lock;
      if (!ResolveLogPath(path)) return;
    }
    // On disk in the journal before the call returns; folded into the log in groups.
    const long waiting = journal::IsLog(path) ? journal::Append(path, entry) : -1;
    if (waiting < 0) {
      // No journal beside this file: the entry goes into the log itself (or where the log's damage sends it).
      WriteEntries(path, std::vector<CAuditLogEntry>(1, entry));
      return;
    }
    if (journal::ShouldFold(path, waiting)) {
      AuditLogLock lock;
      Fold(path);
    }
  } catch (...) {
    // An entry that cannot be written is dropped; the caller goes on.
  }
}

void CAuditLog::WriteEntries(CString path, const std::vector<CAuditLogEntry>& entries) {
  AuditLogLock lock;
  WriteEntriesLocked(path, entries);
  TightenLog(path);
}

bool CAuditLog::WriteEntriesLocked(CString path, const std::vector<CAuditLogEntry>& entries) {
  // The usual way: the entries go on the end of the file, whatever the log's size.
  if (CAuditLogFile::AppendToFile(path, entries.data(), static_cast<DWORD>(entries.size()))) return true;
  CFileManager manager;
  std::unique_ptr<CAuditLogFile> log(OpenLog(manager, path));
  if (!log) {
    CString marker;
    if (ReadFileMarker(path, marker) && marker.CompareNoCase("KALF") == 0) {
      // A log that no longer parses: its bytes are kept beside it and a new log starts in its place.
      if (StartNewLog(path, false)) log.reset(OpenLog(manager, path));
    } else {
      // Not a log at all: leave that file alone and go on in the default log.
      StorePath(CString());
      if (ResolveLogPath(path, true)) log.reset(OpenLog(manager, path));
    }
    if (!log) return false;
  }
  for (const auto& e : entries) log->m_entries.Add(e);
  return SaveLog(*log, path);
}
