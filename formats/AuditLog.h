// The user's audit settings (HKCU "Software\Kesmora\OfficeTolvex\Audit_Event_Log") and the writer that
// appends one entry at a time to the audit log file.
//
// An entry is on disk when AppendEntry returns: it is appended to a journal beside the log and flushed, and the
// journal is folded into the log (its format unchanged) in groups, by the writer whose entry fills a group and
// by whoever asks for the log's path to read it. A process that stopped before folding leaves its entries in the
// journal for the next fold. Writers of every thread and process are serialised on the journal (a flock) and on
// the log (a lock file in the user's state folder). A log that no longer parses is set aside with its bytes
// kept and a new one is started; a file at the log's path that is not a log is never overwritten. The log and
// its journal are their owner's alone (0600), and so is the default log's folder (0700), whatever the umask.
#pragma once

#include <vector>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CAuditLogEntry;

class CAuditLog {
 public:
  // Severity codes of AppendEntry.
  enum { kInformation = 0, kWarning = 1, kFatalError = 2 };

  CAuditLog() = default;
  virtual ~CAuditLog() = default;

  // The five settings over their defaults; always true.
  bool Load();
  // Writes the five settings; always true.
  bool Save();
  // The log file's path; when none is stored (or the stored file is gone or unreadable), the default log
  // "OfficeTolvex.Alf" in the one-click folder is made and its path stored. False when no path is given back
  // (out then holds the one-click folder, or nothing).
  bool GetLogFilePath(CString& out);
  // Stores an empty path: the next entry starts a fresh default log.
  void ClearLogFilePath();
  // An entry of severity "Information" when logging is on.
  void LogInformation(const char* operation, const char* message);
  // An entry of severity "Fatal Error" when logging and error reporting are on.
  void LogError(const char* operation, const char* message);
  void AppendEntry(int severity, const char* operation, const char* message);

  // "ENABLE_LOG", "EXCLUDE_BRASTEL_LOG", "REPORT_ERRORS", "MONITOR_LDAP_ERRORS", "AUDIT_STAMP_OPTION".
  DWORD m_nEnableLog = 1;
  DWORD m_nExcludeBrastelLog = 1;
  DWORD m_nReportErrors = 1;
  DWORD m_nMonitorLdapErrors = 1;
  DWORD m_nStampOption = 0;

  static const char* SeverityText(int severity);

 private:
  // Appends the entries to the log at path, under the log's lock.
  void WriteEntries(CString path, const std::vector<CAuditLogEntry>& entries);
  // The same with the lock held; false when no log took them.
  bool WriteEntriesLocked(CString path, const std::vector<CAuditLogEntry>& entries);
  // Moves the journal's entries into the log at path, with the lock held; false (the entries kept in the
  // journal) when the log does not take them.
  bool Fold(const CString& path);
  // The log 0600, the default log's folder 0700.
  void TightenLog(const CString& path);
  // GetLogFilePath without the lock; keepDefaultLog keeps a valid default log even when no path is stored.
  bool ResolveLogPath(CString& out, bool keepDefaultLog = false);
};
