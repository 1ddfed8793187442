// Fields of the marker-keyed files: big-endian integers and fixed-width, zero-padded texts. The reader never
// looks past the bytes it was given; the writer appends to a growing block.
#pragma once

#include <vector>

#include "core/ByteBuffer.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

namespace kx::formats {

class FieldReader {
 public:
  FieldReader(const BYTE* data, DWORD length) : m_p(data), m_nLength(data ? length : 0) {}

  DWORD Offset() const { return m_nOffset; }
  DWORD Remaining() const { return m_nLength - m_nOffset; }
  const BYTE* Here() const { return m_p + m_nOffset; }

  bool Skip(DWORD n);
  bool Byte(BYTE& out);
  // A flag byte: set (1) only when the stored byte is 1.
  bool Flag(BYTE& out);
  bool UInt16(WORD& out);
  bool UInt32(DWORD& out);
  bool Bytes(void* out, DWORD n);
  // n bytes into out (out emptied for n = 0).
  bool Buffer(CByteBuffer& out, DWORD n);
  // A text field of width bytes: the text stops at its first zero byte.
  bool Text(CString& out, DWORD width);
  // A sub-reader over the next n bytes, which this reader passes.
  bool Block(DWORD n, FieldReader& out);

 private:
  const BYTE* m_p;
  DWORD m_nLength;
  DWORD m_nOffset = 0;
};

class FieldWriter {
 public:
  FieldWriter() = default;

  DWORD Size() const { return static_cast<DWORD>(m_bytes.size()); }
  const BYTE* Data() const { return m_bytes.data(); }

  void Byte(BYTE value) { m_bytes.push_back(value); }
  // 1 for any non-zero value.
  void Flag(BYTE value) { m_bytes.push_back(value ? 1 : 0); }
  void UInt16(WORD value);
  void UInt32(DWORD value);
  void Bytes(const void* data, DWORD n);
  void Buffer(const CByteBuffer& buffer) { Bytes(buffer.GetData(), buffer.GetLength()); }
  // A length word followed by the bytes.
  void SizedBuffer(const CByteBuffer& buffer);
  void Zeros(DWORD n) { m_bytes.insert(m_bytes.end(), n, 0); }
  // The text cut to width bytes (never inside a character), zero-padded; a text that fills the width keeps
  // no terminator.
  void Text(const char* text, DWORD width);

 private:
  std::vector<BYTE> m_bytes;
};

// The number of bytes of text that fit width without cutting a character in two.
DWORD FittedTextLength(const char* text, DWORD width);
// A fixed-width field held in memory: zero-filled, then the text cut to fit; read back up to its first zero.
void SetFixedText(void* field, DWORD width, const char* text);
CString GetFixedText(const void* field, DWORD width);

}  // namespace kx::formats

// n bytes, most significant first (n at most 4).
bool BytesToUInt32BE(DWORD& out, const BYTE* p, DWORD n);
// value into n bytes (1 to 4), most significant first; the bytes are zeroed first. False for other n.
bool UInt32ToBytesBE(BYTE* p, DWORD n, DWORD value);
