#include "formats/FieldIo.h"

#include <cstring>

namespace kx::formats {

bool FieldReader::Skip(DWORD n) {
  if (n > Remaining()) return false;
  m_nOffset += n;
  return true;
}

bool FieldReader::Byte(BYTE& out) {
  if (Remaining() < 1) return false;
  out = m_p[m_nOffset++];
  return true;
}

bool FieldReader::Flag(BYTE& out) {
  BYTE b = 0;
  if (!Byte(b)) return false;
  out = b == 1 ? 1 : 0;
  return true;
}

bool FieldReader::UInt16(WORD& out) {
  if (Remaining() < 2) return false;
  out = static_cast<WORD>((m_p[m_nOffset] << 8) | m_p[m_nOffset + 1]);
  m_nOffset += 2;
  return true;
}

bool FieldReader::UInt32(DWORD& out) {
  if (Remaining() < 4) return false;
  BytesToUInt32BE(out, m_p + m_nOffset, 4);
  m_nOffset += 4;
  return true;
}

bool FieldReader::Bytes(void* out, DWORD n) {
  if (n > Remaining()) return false;
  if (n) std::memcpy(out, m_p + m_nOffset, n);
  m_nOffset += n;
  return true;
}

bool FieldReader::Buffer(CByteBuffer& out, DWORD n) {
  if (n > Remaining()) return false;
  out.Free(false);
  if (n && !out.SetAt(n, m_p + m_nOffset, 0)) return false;
  m_nOffset += n;
  return true;
}

bool FieldReader::Text(CString& out, DWORD width) {
  if (width > Remaining()) return false;
  out = GetFixedText(m_p + m_nOffset, width);
  m_nOffset += width;
  return true;
}

bool FieldReader::Block(DWORD n, FieldReader& out) {
  if (n > Remaining()) return false;
  out = FieldReader(m_p + m_nOffset, n);
  m_nOffset += n;
  return true;
}

void FieldWriter::UInt16(WORD value) {
  m_bytes.push_back(static_cast<BYTE>(value >> 8));
  m_bytes.push_back(static_cast<BYTE>(value));
}

void FieldWriter::UInt32(DWORD value) {
  BYTE b[4];
  UInt32ToBytesBE(b, 4, value);
  m_bytes.insert(m_bytes.end(), b, b + 4);
}

void FieldWriter::Bytes(const void* data, DWORD n) {
  if (!n) return;
  const BYTE* p = static_cast<const BYTE*>(data);
  m_bytes.insert(m_bytes.end(), p, p + n);
}

void FieldWriter::SizedBuffer(const CByteBuffer& buffer) {
  UInt32(buffer.GetLength());
  Buffer(buffer);
}

void FieldWriter::Text(const char* text, DWORD width) {
  DWORD n = FittedTextLength(text, width);
  Bytes(text, n);
  Zeros(width - n);
}

DWORD FittedTextLength(const char* text, DWORD width) {
  if (!text) return 0;
  DWORD n = static_cast<DWORD>(strnlen(text, width));
  if (n == width && text[n] != 0) {
    // Cut: step back over continuation bytes so that no character is split.
    while (n > 0 && (static_cast<BYTE>(text[n]) & 0xC0) == 0x80) --n;
  }
  return n;
}

void SetFixedText(void* field, DWORD width, const char* text) {
  std::memset(field, 0, width);
  if (text) std::memcpy(field, text, FittedTextLength(text, width));
}

CString GetFixedText(const void* field, DWORD width) {
  const char* p = static_cast<const char*>(field);
  return CString(p, static_cast<int>(strnlen(p, width)));
}

}  // namespace kx::formats

bool BytesToUInt32BE(DWORD& out, const BYTE* p, DWORD n) {
  if (!p || n > 4) return false;
  DWORD v = 0;
  for (DWORD i = 0; i < n; ++i) v = (v << 8) | p[i];
  out = v;
  return true;
}

bool UInt32ToBytesBE(BYTE* p, DWORD n, DWORD value) {
  if (!p || n < 1 || n > 4) return false;
  std::memset(p, 0, n);
  for (DWORD i = 0; i < n; ++i) p[n - 1 - i] = static_cast<BYTE>(value >> (8 * i));
  return true;
}
