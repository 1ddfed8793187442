#include "formats/AuditLogFile.h"

#include <cstring>

#include "formats/FieldIo.h"
#include "formats/FileClass.h"

using kx::formats::FieldReader;
using kx::formats::FieldWriter;

CAuditLogEntry::CAuditLogEntry(const char* operation, const char* dateTime, const char* severity,
                               const char* message) {
  SetOperation(operation);
  SetDateTime(dateTime);
  SetSeverity(severity);
  SetMessage(message);
}

const char* CAuditLogEntry::SeverityText(int severity) {
  switch (severity) {
    case kInformation: return "Information";
    case kWarning: return "Warning";
    case kFatalError: return "Fatal Error";
    default: return nullptr;
  }
}

void CAuditLogEntry::Set(const char* operation, const char* dateTime, const char* message, int severity) {
  if (operation) SetOperation(operation);
  if (dateTime) SetDateTime(dateTime);
  if (message) SetMessage(message);
  if (const char* word = SeverityText(severity)) SetSeverity(word);
}

void CAuditLogEntry::Get(CString& operation, CString& dateTime, CString& message, CString& severity) const {
  operation = GetOperation();
  dateTime = GetDateTime();
  message = GetMessage();
  severity = GetSeverity();
}

CBaseKesmoraFile* CAuditLogFile::CreateObject() { return new CAuditLogFile; }
const CFileClass* CAuditLogFile::GetFileClass() const { return &g_fileClassAuditLog; }

bool CAuditLogFile::Serialize() {
  FieldWriter w;
  w.UInt32(m_entries.GetCount());
  // File order: operation, date-time, severity, message.
  for (DWORD i = 0; i < m_entries.GetCount(); ++i) {
    const CAuditLogEntry& e = m_entries.GetAt(i);
    w.Bytes(e.m_szOperation, CAuditLogEntry::kOperationWidth);
    w.Bytes(e.m_szDateTime, CAuditLogEntry::kDateTimeWidth);
    w.Bytes(e.m_szSeverity, CAuditLogEntry::kSeverityWidth);
    w.Bytes(e.m_szMessage, CAuditLogEntry::kMessageWidth);
  }
  return FinishBody(w);
}

bool CAuditLogFile::Deserialize(int) {
  m_entries.RemoveAll();
  std::memset(m_abStoredDigest, 0, sizeof m_abStoredDigest);
  DWORD payloadLength = 0, count = 0;
  if (!ParseHeader(nullptr) || m_body.GetLength() == 0 || !GetPayloadLength(payloadLength)) return false;
  FieldReader r(m_body.GetData(), payloadLength);
  if (!r.UInt32(count)) return false;
  for (DWORD i = 0; i < count; ++i) {
    CAuditLogEntry e;
    if (!r.Bytes(e.m_szOperation, CAuditLogEntry::kOperationWidth) ||
        !r.Bytes(e.m_szDateTime, CAuditLogEntry::kDateTimeWidth) ||
        !r.Bytes(e.m_szSeverity, CAuditLogEntry::kSeverityWidth) ||
        !r.Bytes(e.m_szMessage, CAuditLogEntry::kMessageWidth))
      return false;
    m_entries.Add(e);
  }
  return CopyStoredDigest(m_abStoredDigest);
}
