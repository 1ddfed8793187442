#include "formats/AuditLog.h"

#include <pthread.h>
#include <sys/stat.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "core/DateTime.h"
#include "core/SettingsStore.h"
#include "core/Win32File.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
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
  bool ok = log->Save(path);
  log.reset();
  manager.Reset();
  return ok;
}

}  // namespace

// Entries for a large log are handed to a thread of this process that writes them, and the caller goes on. The
// log's digest covers its count, which comes first, so each append is a pass over the whole log; entries that
// arrive while one pass runs go in together with the next pass. A small log is written by the caller itself.
// Every queued entry is in the log before the process ends or the library is unloaded, and before this process
// gives the log's path to anyone who reads it.
class AuditLogWriter {
 public:
  static constexpr off_t kQueueFrom = 256 * 1024;
  static constexpr size_t kMaxQueued = 256;

  static AuditLogWriter& Get() {
    static AuditLogWriter writer;
    return writer;
  }

  // Entries go behind those already waiting for the same log; with none waiting, an entry is queued only for a
  // large log, and with behindOthers only when some are waiting. False when the caller is to write the entry.
  bool Queue(const CString& path, const CAuditLogEntry& entry, bool behindOthers) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto same = [&] { return m_path == path.GetString(); };
    if (behindOthers && (Idle() || !same())) return false;
    // Entries for another log, or too many waiting: the thread catches up first.
    m_changed.wait(lock, [&] { return Idle() || (same() && m_queue.size() < kMaxQueued); });
    if (Idle()) {
      struct stat st;
      if (behindOthers || stat(path, &st) != 0 || st.st_size < kQueueFrom) return false;
      m_path = path.GetString();
    }
    if (!m_thread) {
      try {
        m_thread = new std::thread([this] { Run(); });
      } catch (...) {
        return false;
      }
    }
    m_queue.push_back(entry);
    m_changed.notify_all();
    return true;
  }

  void Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return Idle(); });
  }

 private:
  AuditLogWriter() { pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild); }
  ~AuditLogWriter() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
      m_changed.notify_all();
    }
    if (m_thread) {
      m_thread->join();
      delete m_thread;
    }
  }

  bool Idle() const { return m_queue.empty() && !m_busy; }

  void Run() {
    for (;;) {
      std::vector<CAuditLogEntry> entries;
      CString path;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) return;
        entries.swap(m_queue);
        path = m_path.c_str();
        m_busy = true;
        m_changed.notify_all();
      }
      try {
        CAuditLog().WriteEntries(path, entries);
      } catch (...) {
        // Dropped as the caller's own write would drop them.
      }
      std::lock_guard<std::mutex> lock(m_mutex);
      m_busy = false;
      m_changed.notify_all();
    }
  }

  // A forked child has no writing thread: the locks are taken across the fork so that the child does not
  // inherit them held by a thread it lacks, and the parent's waiting entries stay the parent's to write.
  static void BeforeFork() {
    LogMutex().lock();
    Get().m_mutex.lock();
  }
  static void AfterForkInParent() {
    Get().m_mutex.unlock();
    LogMutex().unlock();
  }
  static void AfterForkInChild() {
    AuditLogWriter& w = Get();
    w.m_parentsThread = w.m_thread;  // not the child's to join
    w.m_thread = nullptr;
    w.m_queue.clear();
    w.m_busy = false;
    // The parent's thread may have been waiting on it: a fresh one, without that waiter.
    new (&w.m_changed) std::condition_variable();
    w.m_mutex.unlock();
    LogMutex().unlock();
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::string m_path;
  std::vector<CAuditLogEntry> m_queue;
  bool m_busy = false;
  bool m_stop = false;
  std::thread* m_thread = nullptr;
  std::thread* m_parentsThread = nullptr;
};

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
  // Entries made before the clearing belong to the log being cleared.
  AuditLogWriter::Get().Drain();
  StorePath(CString());
}

bool CAuditLog::GetLogFilePath(CString& out) {
  // Whoever asks is about to read the log: it holds every entry made so far.
  AuditLogWriter::Get().Drain();
  AuditLogLock lock;
  return ResolveLogPath(out);
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
    std::vector<CAuditLogEntry> entry(1, CAuditLogEntry(operation, when, SeverityText(severity), message));
    // While entries wait for the stored log, this one goes behind them without taking the log's lock, which
    // their writing holds.
    CString path;
    UserSettings().GetString(kSubkey, kPathValue, path, CString());
    if (!path.IsEmpty() && AuditLogWriter::Get().Queue(path, entry[0], true)) return;
    {
      AuditLogLock lock;
      if (!ResolveLogPath(path)) return;
    }
    if (AuditLogWriter::Get().Queue(path, entry[0], false)) return;
    WriteEntries(path, entry);
  } catch (...) {
    // An entry that cannot be written is dropped; the caller goes on.
  }
}

void CAuditLog::WriteEntries(CString path, const std::vector<CAuditLogEntry>& entries) {
  AuditLogLock lock;
  // The usual way: the entries go on the end of the file, whatever the log's size.
  if (CAuditLogFile::AppendToFile(path, entries.data(), static_cast<DWORD>(entries.size()))) return;
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
    if (!log) return;
  }
  for (const auto& e : entries) log->m_entries.Add(e);
  log->Save(path);
}
