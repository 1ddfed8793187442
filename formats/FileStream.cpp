#include "formats/FileStream.h"

#include <cstdio>

#include "core/OutputFile.h"

#include "formats/FieldIo.h"
#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"

namespace {

// Reads until n bytes came or the file ends; the count read.
bool ReadUpTo(HANDLE file, void* data, DWORD n, DWORD& got) {
  got = 0;
  BYTE* p = static_cast<BYTE*>(data);
  while (got < n) {
    DWORD read = 0;
    if (!ReadFile(file, p + got, n - got, &read, nullptr)) return false;
    if (read == 0) break;
    got += read;
  }
  return true;
}

bool ReadExactly(HANDLE file, void* data, DWORD n) {
  DWORD got = 0;
  return ReadUpTo(file, data, n, got) && got == n;
}

bool WriteExactly(HANDLE file, const void* data, DWORD n) {
  const BYTE* p = static_cast<const BYTE*>(data);
  DWORD done = 0;
  while (done < n) {
    DWORD written = 0;
    if (!WriteFile(file, p + done, n - done, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

CFileStream::~CFileStream() {
  if (IsOpen()) Close();
  m_trailingBlock.Free(false);
}

bool CFileStream::SeekTo(uint64_t position) {
  if (!IsOpen() || position > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER to, now;
  to.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(m_hFile, to, &now, FILE_BEGIN)) return false;
  m_nPosition = static_cast<uint64_t>(now.QuadPart);
  return true;
}

bool CFileStream::Seek(int origin, LONG offset) {
  if (!IsOpen() || origin < 0 || origin > 2) return false;
  static const DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER to, now;
  to.QuadPart = offset;
  if (!SetFilePointerEx(m_hFile, to, &now, kMethods[origin])) return false;
  m_nPosition = static_cast<uint64_t>(now.QuadPart);
  return true;
}

uint64_t CFileStream::GetSize64() {
  if (!IsOpen()) return 0;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_hFile, &size) || size.QuadPart < 0) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

DWORD CFileStream::GetSize() {
  uint64_t size = GetSize64();
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

bool CFileStream::Open(const char* path, bool readMode, bool verify, DWORD recordSize) {
  if (IsOpen()) Close();
  HANDLE h = readMode ? CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)
                      : CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    m_nLastError = ::GetLastError();
    m_hFile = nullptr;
    return false;
  }
  m_hFile = h;
  m_nPosition = 0;
  if (!verify || !readMode || recordSize == 0) return true;
  m_nRecordSize = recordSize;
  DWORD count = 0;
  return VerifyLayout(recordSize, &count) && IsOpen();
}

std::string CFileStream::GetLastOpenErrorText() const {
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, m_nLastError,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
  if (n == 0) snprintf(text, sizeof text, "Error %lu.", static_cast<unsigned long>(m_nLastError));
  return text;
}

bool CFileStream::Close() {
  bool ok = false;
  if (m_hFile) ok = CloseHandle(m_hFile) != FALSE;
  m_hFile = nullptr;
  m_trailingBlock.Free(false);
  m_nBlocksRead = 0;
  m_nRecordCount = 0;
  m_nFileSize = 0;
  m_nRemainder = 0;
  m_nPosition = 0;
  m_nTrailingLength = 0;
  m_nTrailingOffset = 0;
  return ok;
}

bool CFileStream::ParseTrailer(const CByteBuffer& buffer) {
  if (buffer.GetLength() < kTrailerSize) return false;
  const BYTE* p = buffer.GetData();
  BytesToUInt32BE(m_nTrailingLength, p, 4);
  BytesToUInt32BE(m_nRecordSize, p + 4, 4);
  BytesToUInt32BE(m_nRecordCount, p + 8, 4);
  return true;
}

bool CFileStream::BuildTrailer(CByteBuffer& buffer, bool append) {
  BYTE trailer[kTrailerSize] = {};
  UInt32ToBytesBE(trailer, 4, m_nTrailingLength);
  UInt32ToBytesBE(trailer + 4, 4, m_nRecordSize);
  bool ok = UInt32ToBytesBE(trailer + 8, 4, m_nRecordCount);
  if (append && buffer.GetLength() != 0) ok = buffer.Append(kTrailerSize, trailer) && ok;
  return ok;
}

bool CFileStream::ReadTrailingBlock(CByteBuffer& out) {
  m_nBlocksRead = 0;
  if (!IsOpen() || !SeekToEnd()) return false;
  m_nFileSize = GetSize64();
  if (m_nFileSize < kTrailerSize || !SeekTo(m_nFileSize - kTrailerSize)) return false;
  CByteBuffer trailer(kTrailerSize);
  if (!ReadExactly(m_hFile, trailer.GetData(), kTrailerSize) || !ParseTrailer(trailer)) return false;
  // The trailer comes from the file: the object it announces must lie inside it.
  if (m_nTrailingLength == 0 || m_nTrailingLength > m_nFileSize - kTrailerSize) return false;
  m_nTrailingOffset = m_nFileSize - m_nTrailingLength - kTrailerSize;
  if (!SeekTo(m_nTrailingOffset)) return false;
  if (m_trailingBlock.GetLength() != 0 || !m_trailingBlock.Allocate(m_nTrailingLength, true)) return false;
  if (!ReadExactly(m_hFile, m_trailingBlock.GetData(), m_nTrailingLength)) {
    m_trailingBlock.Free(false);
    return false;
  }
  m_nPosition = m_nTrailingOffset + m_nTrailingLength;
  out.Free(false);
  out = m_trailingBlock;
  return true;
}

CBaseKesmoraFile* CFileStream::ReadTrailingObject() {
  CByteBuffer image;
  if (!ReadTrailingBlock(image) || image.GetLength() == 0) return nullptr;
  CFileManager manager;
  CBaseKesmoraFile* object = manager.OpenBuffer(image, true, nullptr);
  // The manager and its content handler end here; the object must not point at them.
  if (object) object->SetContentHandler(nullptr, false);
  return object;
}

bool CFileStream::ReadChunk(DWORD n, CByteBuffer& out) {
  if (!IsOpen() || n == 0 || !SeekTo(m_nPosition)) return false;
  // A reader going through a file in equal chunks keeps one block; the read fills what is used.
  if (!out.Reuse(n)) return false;
  DWORD got = 0;
  if (!ReadUpTo(m_hFile, out.GetData(), n, got) || got == 0) {
    out.Free(false);
    return false;
  }
  m_nPosition += got;
  if (got < n) {
    CByteBuffer cut(got, out.GetData(), false);
    out = cut;
  }
  return true;
}

bool CFileStream::ReadUInt32Block(CByteBuffer& out) {
  if (!IsOpen()) return false;
  if (!SeekTo(m_nBlocksRead == 0 ? 0 : m_nPosition)) return false;
  // Blocks end where the trailing object starts; a length that runs into it is refused.
  if (m_nPosition >= m_nTrailingOffset || m_nTrailingOffset - m_nPosition < 4) return false;
  BYTE word[4];
  if (!ReadExactly(m_hFile, word, 4)) return false;
  DWORD length = 0;
  BytesToUInt32BE(length, word, 4);
  m_nPosition += 4;
  if (length == 0 || length > m_nTrailingOffset - m_nPosition) return false;
  if (!out.Reuse(length)) return false;
  if (!ReadExactly(m_hFile, out.GetData(), length)) {
    out.Free(false);
    return false;
  }
  m_nPosition += length;
  ++m_nBlocksRead;
  return true;
}

bool CFileStream::WriteAll(const void* data, DWORD n) {
  if (!SeekToEnd() || !WriteExactly(m_hFile, data, n)) return false;
  m_nPosition += n;
  return true;
}

bool CFileStream::AppendRaw(const CByteBuffer& buffer) {
  if (buffer.GetLength() == 0 || !IsOpen()) return false;
  return WriteAll(buffer.GetData(), buffer.GetLength());
}

bool CFileStream::WriteUInt32Block(const CByteBuffer& buffer) {
  if (buffer.GetLength() == 0 || !IsOpen()) return false;
  BYTE word[4];
  UInt32ToBytesBE(word, 4, buffer.GetLength());
  return WriteAll(word, 4) && WriteAll(buffer.GetData(), buffer.GetLength());
}

bool CFileStream::WriteTrailingObject(CBaseKesmoraFile* object) {
  if (!object) return false;
  CByteBuffer image;
  if (!object->SaveToBuffer(image) || image.GetLength() == 0) return false;
  m_nTrailingLength = image.GetLength();
  if (!BuildTrailer(image, true)) return false;
  return AppendRaw(image);
}

bool CFileStream::VerifyLayout(DWORD recordSize, DWORD* outCount) {
  m_nRecordCount = 0;
  m_nFileSize = 0;
  m_nRemainder = 0;
  if (!IsOpen()) return false;
  m_nRecordSize = recordSize;
  m_nFileSize = GetSize64();
  uint64_t size = m_nFileSize;
  CByteBuffer block;
  bool ok = ReadTrailingBlock(block);
  if (ok && size != 0 && m_nRecordSize != 0 && m_nRecordCount > 2) {
    m_nRemainder = (size - m_nTrailingLength) % m_nRecordSize;
    ok = uint64_t(m_nRecordCount) * m_nRecordSize + m_nRemainder + m_nTrailingLength == size;
    if (ok && outCount) *outCount = m_nRecordCount;
  }
  return ok;
}

bool CFileStream::AppendFile(const char* source, const char* destination) {
  HANDLE in = CreateFileA(source, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE || !in) return false;
  HANDLE out = CreateFileA(destination, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE || !out) {
    CloseHandle(in);
    return false;
  }
  CByteBuffer chunk(kCopyChunk);
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadUpTo(in, chunk.GetData(), kCopyChunk, got)) {
      ok = false;
      break;
    }
    LARGE_INTEGER zero, end;
    zero.QuadPart = 0;
    if (got && (!SetFilePointerEx(out, zero, &end, FILE_END) || !WriteExactly(out, chunk.GetData(), got))) {
      ok = false;
      break;
    }
    if (got < kCopyChunk) break;
  }
  CloseHandle(in);
  CloseHandle(out);
  return ok;
}

bool CommitStream(std::unique_ptr<CFileStream>& out, COutputFile& pending) {
  const bool closed = !out || !out->IsOpen() || out->Close();
  out.reset();
  if (closed && pending.Commit()) return true;
  pending.Discard();
  return false;
}
