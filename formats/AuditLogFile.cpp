#include "formats/AuditLogFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "core/Hashes.h"
#include "formats/FieldIo.h"
#include "formats/FileClass.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"

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

void CAuditLogFile::WriteEntry(const CAuditLogEntry& e, BYTE* out) {
  std::memcpy(out, e.m_szOperation, CAuditLogEntry::kOperationWidth);
  out += CAuditLogEntry::kOperationWidth;
  std::memcpy(out, e.m_szDateTime, CAuditLogEntry::kDateTimeWidth);
  out += CAuditLogEntry::kDateTimeWidth;
  std::memcpy(out, e.m_szSeverity, CAuditLogEntry::kSeverityWidth);
  out += CAuditLogEntry::kSeverityWidth;
  std::memcpy(out, e.m_szMessage, CAuditLogEntry::kMessageWidth);
}

bool CAuditLogFile::Serialize() {
  FieldWriter w;
  w.UInt32(m_entries.GetCount());
  BYTE bytes[CAuditLogEntry::GetSize()];
  for (DWORD i = 0; i < m_entries.GetCount(); ++i) {
    WriteEntry(m_entries.GetAt(i), bytes);
    w.Bytes(bytes, sizeof bytes);
  }
  return FinishBody(w);
}

void (*CAuditLogFile::s_appendStepHook)(int) = nullptr;

namespace {

constexpr DWORD kHeaderSize = 21;
constexpr DWORD kDigestSize = 20;
constexpr DWORD kEntrySize = CAuditLogEntry::GetSize();
constexpr ULONGLONG kEntriesOffset = kHeaderSize + 4;

class LogHandle {
 public:
  // Opened for reading and writing, no one else reading or writing meanwhile; a reader holding the log
  // for a moment is waited for.
  explicit LogHandle(const char* path) {
    for (int attempt = 0;; ++attempt) {
      HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE && h) {
        m_h = h;
        return;
      }
      if (::GetLastError() != ERROR_SHARING_VIOLATION || attempt >= 200) return;
      Sleep(10);
    }
  }
  ~LogHandle() {
    if (m_h) CloseHandle(m_h);
  }
  LogHandle(const LogHandle&) = delete;
  LogHandle& operator=(const LogHandle&) = delete;
  HANDLE get() const { return m_h; }

  bool Size(ULONGLONG& out) const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_h, &size)) return false;
    out = static_cast<ULONGLONG>(size.QuadPart);
    return true;
  }
  bool Seek(ULONGLONG offset) const {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(m_h, at, nullptr, FILE_BEGIN);
  }
  bool ReadAt(ULONGLONG offset, BYTE* p, DWORD n) const {
    DWORD got = 0;
    return Seek(offset) && ReadFile(m_h, p, n, &got, nullptr) && got == n;
  }
  bool WriteAt(ULONGLONG offset, const BYTE* p, DWORD n) const {
    DWORD put = 0;
    return Seek(offset) && WriteFile(m_h, p, n, &put, nullptr) && put == n;
  }
  bool Truncate(ULONGLONG size) const { return Seek(size) && SetEndOfFile(m_h); }

 private:
  HANDLE m_h = nullptr;
};

void PutCount(BYTE* p, DWORD count) {
  p[0] = static_cast<BYTE>(count >> 24);
  p[1] = static_cast<BYTE>(count >> 16);
  p[2] = static_cast<BYTE>(count >> 8);
  p[3] = static_cast<BYTE>(count);
}

// SHA-1 of a payload whose count word is count: the first stored entries of the file, then extra.
bool PayloadDigest(const LogHandle& file, DWORD count, DWORD stored, const BYTE* extra, DWORD extraLength,
                   BYTE* digest) {
  CSha1Stream sha;
  BYTE word[4];
  PutCount(word, count);
  sha.Update(word, sizeof word);
  constexpr DWORD kChunk = 256 * kEntrySize;
  std::unique_ptr<BYTE[]> buffer(new BYTE[kChunk]);
  ULONGLONG offset = kEntriesOffset, left = static_cast<ULONGLONG>(stored) * kEntrySize;
  while (left) {
    DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(left, kChunk));
    if (!file.ReadAt(offset, buffer.get(), n)) return false;
    sha.Update(buffer.get(), n);
    offset += n;
    left -= n;
  }
  if (extraLength) sha.Update(extra, extraLength);
  sha.Final(digest);
  return true;
}

void Step(int step) {
  if (CAuditLogFile::s_appendStepHook) CAuditLogFile::s_appendStepHook(step);
}

}  // namespace

namespace {

// Opens the log, finishes an append that stopped before its count was written (when its entries and digest are
// whole) and cuts away anything else past the entries: count and end are then the log's own. False when the
// file is not a log this can extend, or cannot be written.
bool Settle(const LogHandle& file, DWORD& count, ULONGLONG& end) {
  ULONGLONG size = 0;
  BYTE head[kEntriesOffset];
  if (!file.get() || !file.Size(size) || !file.ReadAt(0, head, sizeof head) || std::memcmp(head, "KALF", 4) != 0)
    return false;
  count = (DWORD(head[21]) << 24) | (DWORD(head[22]) << 16) | (DWORD(head[23]) << 8) | head[24];
  if (count >= CAuditLogEntryList::kMaxCount) return false;
  end = kEntriesOffset + static_cast<ULONGLONG>(count) * kEntrySize;
  // Fewer bytes than the count claims: a damaged log, left to the caller.
  if (size < end) return false;
  if (size > end + kDigestSize && (size - end - kDigestSize) % kEntrySize == 0) {
    ULONGLONG more = (size - end - kDigestSize) / kEntrySize;
    BYTE stored[kDigestSize], digest[kDigestSize];
    if (count + more < CAuditLogEntryList::kMaxCount &&
        file.ReadAt(size - kDigestSize, stored, kDigestSize) &&
        PayloadDigest(file, static_cast<DWORD>(count + more), static_cast<DWORD>(count + more), nullptr, 0, digest) &&
        std::memcmp(stored, digest, kDigestSize) == 0) {
      BYTE word[4];
      PutCount(word, static_cast<DWORD>(count + more));
      if (!file.WriteAt(kHeaderSize, word, 4)) return false;
      count += static_cast<DWORD>(more);
      end = size - kDigestSize;
    }
  }
  // Anything else past the entries is what is left of an append cut short: it goes, and the next digest is
  // taken afresh from the entries themselves.
  return size <= end + kDigestSize || file.Truncate(end + kDigestSize);
}

}  // namespace

bool CAuditLogFile::SettledCount(const char* path, DWORD& count) {
  LogHandle file(path);
  ULONGLONG end = 0;
  return Settle(file, count, end);
}

bool CAuditLogFile::ReadEntryBytes(const char* path, DWORD first, DWORD n, std::string& out) {
  LogHandle file(path);
  DWORD count = 0;
  ULONGLONG end = 0;
  if (!Settle(file, count, end) || first > count || n > count - first) return false;
  out.resize(static_cast<size_t>(n) * kEntrySize);
  return n == 0 || file.ReadAt(kEntriesOffset + static_cast<ULONGLONG>(first) * kEntrySize,
                               reinterpret_cast<BYTE*>(out.data()), static_cast<DWORD>(out.size()));
}

void CAuditLogFile::ReadEntry(const BYTE* in, CAuditLogEntry& e) {
  std::memcpy(e.m_szOperation, in, CAuditLogEntry::kOperationWidth);
  in += CAuditLogEntry::kOperationWidth;
  std::memcpy(e.m_szDateTime, in, CAuditLogEntry::kDateTimeWidth);
  in += CAuditLogEntry::kDateTimeWidth;
  std::memcpy(e.m_szSeverity, in, CAuditLogEntry::kSeverityWidth);
  in += CAuditLogEntry::kSeverityWidth;
  std::memcpy(e.m_szMessage, in, CAuditLogEntry::kMessageWidth);
}

bool CAuditLogFile::ForEachEntryInFile(const char* path, const std::function<void(const CAuditLogEntry&)>& visit) {
  // Shared with other readers as a whole load is; writers wait for it.
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE || !h) return false;
  std::unique_ptr<void, BOOL (*)(HANDLE)> owned(h, CloseHandle);
  LARGE_INTEGER size;
  BYTE head[kEntriesOffset];
  DWORD got = 0;
  if (!GetFileSizeEx(h, &size) || size.QuadPart < static_cast<LONGLONG>(kEntriesOffset + kDigestSize) ||
      !ReadFile(h, head, sizeof head, &got, nullptr) || got != sizeof head || std::memcmp(head, "KALF", 4) != 0)
    return false;
  const DWORD count = (DWORD(head[21]) << 24) | (DWORD(head[22]) << 16) | (DWORD(head[23]) << 8) | head[24];
  // The entries end before the digest.
  const ULONGLONG room = static_cast<ULONGLONG>(size.QuadPart) - kEntriesOffset - kDigestSize;
  if (static_cast<ULONGLONG>(count) * kEntrySize > room) return false;
  constexpr DWORD kChunkEntries = 256;
  std::unique_ptr<BYTE[]> buffer(new BYTE[kChunkEntries * kEntrySize]);
  CAuditLogEntry entry;
  for (DWORD done = 0; done < count;) {
    const DWORD n = std::min(kChunkEntries, count - done);
    if (!ReadFile(h, buffer.get(), n * kEntrySize, &got, nullptr) || got != n * kEntrySize) return false;
    for (DWORD i = 0; i < n; ++i) {
      ReadEntry(buffer.get() + i * kEntrySize, entry);
      visit(entry);
    }
    done += n;
  }
  return true;
}

bool CAuditLogFile::AppendToFile(const char* path, const CAuditLogEntry* entries, DWORD added) {
  if (!added) return true;
  LogHandle file(path);
  DWORD count = 0;
  ULONGLONG end = 0;
  if (!Settle(file, count, end)) return false;
  if (static_cast<ULONGLONG>(count) + added >= CAuditLogEntryList::kMaxCount) return false;

  const DWORD length = added * kEntrySize;
  std::unique_ptr<BYTE[]> tail(new BYTE[length + kDigestSize]);
  for (DWORD i = 0; i < added; ++i) WriteEntry(entries[i], tail.get() + i * kEntrySize);
  if (!PayloadDigest(file, count + added, count, tail.get(), length, tail.get() + length)) return false;
  if (!file.WriteAt(end, tail.get(), length)) return false;
  Step(1);
  // The count is written only once the entries and the digest are on disk.
  if (!file.WriteAt(end + length, tail.get() + length, kDigestSize) || !FlushFileBuffers(file.get())) return false;
  Step(2);
  BYTE word[4];
  PutCount(word, count + added);
  // On disk too before anyone lets go of the entries' other copy.
  return file.WriteAt(kHeaderSize, word, 4) && FlushFileBuffers(file.get());
}

bool CAuditLogFile::Deserialize(int) {
  m_entries.RemoveAll();
  std::memset(m_abStoredDigest, 0, sizeof m_abStoredDigest);
  DWORD payloadLength = 0, count = 0;
  if (!ParseHeader(nullptr) || m_body.GetLength() == 0 || !GetPayloadLength(payloadLength)) return false;
  FieldReader r(m_body.GetData(), payloadLength);
  if (!r.UInt32(count)) return false;
  // Never more room than the payload has entries for, whatever the count claims.
  m_entries.Reserve(std::min<DWORD>(count, payloadLength / CAuditLogEntry::GetSize()));
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
