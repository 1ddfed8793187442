// The audit log file ("KALF"): a counted list of fixed-size entries.
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "formats/FieldIo.h"
#include "formats/KesmoraFile.h"

// One entry: four zero-padded texts (1584 bytes, zero-filled when made).
class CAuditLogEntry {
 public:
  // Severity codes of Set.
  enum { kInformation = 0, kWarning = 1, kFatalError = 2 };

  static constexpr DWORD kOperationWidth = 255;
  static constexpr DWORD kSeverityWidth = 50;
  static constexpr DWORD kDateTimeWidth = 255;
  static constexpr DWORD kMessageWidth = 1024;

  CAuditLogEntry() = default;
  CAuditLogEntry(const char* operation, const char* dateTime, const char* severity, const char* message);

  // Bytes of one entry in the file.
  static constexpr DWORD GetSize() { return kOperationWidth + kSeverityWidth + kDateTimeWidth + kMessageWidth; }

  // A longer text is cut so that it fits its field with its terminating zero.
  void SetOperation(const char* text) { SetText(m_szOperation, kOperationWidth, text); }
  void SetSeverity(const char* text) { SetText(m_szSeverity, kSeverityWidth, text); }
  void SetDateTime(const char* text) { SetText(m_szDateTime, kDateTimeWidth, text); }
  void SetMessage(const char* text) { SetText(m_szMessage, kMessageWidth, text); }
  CString GetOperation() const { return kx::formats::GetFixedText(m_szOperation, kOperationWidth); }
  CString GetSeverity() const { return kx::formats::GetFixedText(m_szSeverity, kSeverityWidth); }
  CString GetDateTime() const { return kx::formats::GetFixedText(m_szDateTime, kDateTimeWidth); }
  CString GetMessage() const { return kx::formats::GetFixedText(m_szMessage, kMessageWidth); }

  // Each given text replaces its field (null leaves it); severity 0, 1 and 2 write "Information", "Warning"
  // and "Fatal Error", any other code leaves the severity as it was.
  void Set(const char* operation, const char* dateTime, const char* message, int severity);
  void Get(CString& operation, CString& dateTime, CString& message, CString& severity) const;
  // The severity word of a code, or null for an unknown code.
  static const char* SeverityText(int severity);

  char m_szOperation[kOperationWidth] = {};
  char m_szSeverity[kSeverityWidth] = {};
  char m_szDateTime[kDateTimeWidth] = {};
  char m_szMessage[kMessageWidth] = {};

 private:
  static void SetText(char* field, DWORD width, const char* text) {
    field[width - 1] = 0;
    kx::formats::SetFixedText(field, width - 1, text);
  }
};

class CAuditLogEntryList {
 public:
  CAuditLogEntryList() { m_items.reserve(10); }
  virtual ~CAuditLogEntryList() = default;
  // The most entries whose bytes a 32-bit size can count.
  static constexpr DWORD kMaxCount = 0xFFFFFFFFu / CAuditLogEntry::GetSize();

  // Appends a copy; false when the list is full.
  bool Add(const CAuditLogEntry& entry) {
    if (m_items.size() >= kMaxCount) return false;
    m_items.push_back(entry);
    return true;
  }
  // A copy of the entry at index; false (out unchanged) for an index not below the count.
  bool GetAt(CAuditLogEntry& out, DWORD index) const {
    if (index >= m_items.size()) return false;
    out = m_items[index];
    return true;
  }
  // Entry index; callers keep it below the count.
  const CAuditLogEntry& GetAt(DWORD index) const { return m_items[index]; }
  DWORD GetCount() const { return static_cast<DWORD>(m_items.size()); }
  void RemoveAll() { m_items.clear(); }
  // Room for count entries in all, so that reading a log moves none of them again.
  void Reserve(DWORD count) { m_items.reserve(std::min(count, kMaxCount)); }

 private:
  std::vector<CAuditLogEntry> m_items;
};

class CAuditLogFile : public CBaseKesmoraFile {
 public:
  CAuditLogFile() : CBaseKesmoraFile(1, 2) {}
  static CBaseKesmoraFile* CreateObject();
  const CFileClass* GetFileClass() const override;
  bool Serialize() override;
  // A count that claims more entries than the file holds fails; the entries read before stay.
  bool Deserialize(int flag) override;
  const BYTE* GetStoredDigest() const override { return m_abStoredDigest; }

  // The entry's 1584 bytes in file order (operation, date-time, severity, message).
  static void WriteEntry(const CAuditLogEntry& entry, BYTE* out);
  // Appends one entry to the log at path without reading the entries into memory or rewriting them: the
  // entry and the new digest go where the old digest was, are flushed, and the count is written last. An
  // append cut short is finished (when its entry and digest are whole) or undone by the next append. False,
  // with the file's entries untouched, when the file is not a log this can extend or cannot be written.
  static bool AppendToFile(const char* path, const CAuditLogEntry& entry) { return AppendToFile(path, &entry, 1); }
  // Appends count entries in one step: one pass over the log for the new digest, whatever their number.
  static bool AppendToFile(const char* path, const CAuditLogEntry* entries, DWORD count);
  // The log's entry count once an append cut short is finished or undone (as AppendToFile does first); false
  // when the file is not a log this can extend.
  static bool SettledCount(const char* path, DWORD& count);
  // The bytes of n entries of the log from entry first on, in file order (see WriteEntry).
  static bool ReadEntryBytes(const char* path, DWORD first, DWORD n, std::string& out);
  // The entry from its 1584 bytes in file order.
  static void ReadEntry(const BYTE* in, CAuditLogEntry& entry);
  // Visits the entries of the log at path in file order, a fixed number of entries' bytes read at a time, so
  // that a reader of a large log never holds its whole file. Load's checks: false, with nothing visited, when
  // the file is no log (marker "KALF") or its count claims more entries than it holds before its digest.
  static bool ForEachEntryInFile(const char* path, const std::function<void(const CAuditLogEntry&)>& visit);
  // Called between the steps of AppendToFile (1: entry written, 2: digest written and flushed) so that a
  // test can stop the process there.
  static void (*s_appendStepHook)(int step);

  CAuditLogEntryList m_entries;

 private:
  BYTE m_abStoredDigest[20] = {};
};
