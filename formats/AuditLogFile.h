// The audit log file ("KALF"): a counted list of fixed-size entries.
#pragma once

#include <vector>

#include "formats/FieldIo.h"
#include "formats/KesmoraFile.h"

// One entry: four zero-padded texts.
class CAuditLogEntry {
 public:
  static constexpr DWORD kOperationWidth = 255;
  static constexpr DWORD kSeverityWidth = 50;
  static constexpr DWORD kDateTimeWidth = 255;
  static constexpr DWORD kMessageWidth = 1024;

  CAuditLogEntry() = default;
  CAuditLogEntry(const char* operation, const char* dateTime, const char* severity, const char* message);

  // Bytes of one entry in the file.
  static constexpr DWORD GetSize() { return kOperationWidth + kSeverityWidth + kDateTimeWidth + kMessageWidth; }

  // A longer text is cut to its field.
  void SetOperation(const char* text) { kx::formats::SetFixedText(m_szOperation, kOperationWidth, text); }
  void SetSeverity(const char* text) { kx::formats::SetFixedText(m_szSeverity, kSeverityWidth, text); }
  void SetDateTime(const char* text) { kx::formats::SetFixedText(m_szDateTime, kDateTimeWidth, text); }
  void SetMessage(const char* text) { kx::formats::SetFixedText(m_szMessage, kMessageWidth, text); }
  CString GetOperation() const { return kx::formats::GetFixedText(m_szOperation, kOperationWidth); }
  CString GetSeverity() const { return kx::formats::GetFixedText(m_szSeverity, kSeverityWidth); }
  CString GetDateTime() const { return kx::formats::GetFixedText(m_szDateTime, kDateTimeWidth); }
  CString GetMessage() const { return kx::formats::GetFixedText(m_szMessage, kMessageWidth); }

  char m_szOperation[kOperationWidth] = {};
  char m_szSeverity[kSeverityWidth] = {};
  char m_szDateTime[kDateTimeWidth] = {};
  char m_szMessage[kMessageWidth] = {};
};

class CAuditLogEntryList {
 public:
  CAuditLogEntryList() { m_items.reserve(10); }
  virtual ~CAuditLogEntryList() = default;
  void Add(const CAuditLogEntry& entry) { m_items.push_back(entry); }
  // Entry index; callers keep it below the count.
  const CAuditLogEntry& GetAt(DWORD index) const { return m_items[index]; }
  DWORD GetCount() const { return static_cast<DWORD>(m_items.size()); }
  void RemoveAll() { m_items.clear(); }

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

  CAuditLogEntryList m_entries;

 private:
  BYTE m_abStoredDigest[20] = {};
};
