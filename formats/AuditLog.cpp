#include "formats/AuditLog.h"

#include <memory>
#include <mutex>

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

// Holds the writers of this process and of every other one off the log while an entry is appended: a lock
// file in the user's state folder opened without sharing (the open fails while another writer holds it).
class AuditLogLock {
 public:
  AuditLogLock() : m_guard(Mutex()) {
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
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
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

void CAuditLog::ClearLogFilePath() { StorePath(CString()); }

bool CAuditLog::GetLogFilePath(CString& out) {
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
    AuditLogLock lock;
    CString path;
    if (!ResolveLogPath(path)) return;
    char when[256];
    CDateTime(CLocalTime().m_time).Format(when, sizeof when, 0, 1024);
    CAuditLogEntry entry(operation, when, SeverityText(severity), message);
    // The usual way: the entry goes on the end of the file, whatever the log's size.
    if (CAuditLogFile::AppendToFile(path, entry)) return;
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
    log->m_entries.Add(entry);
    log->Save(path);
  } catch (...) {
    // An entry that cannot be written is dropped; the caller goes on.
  }
}
