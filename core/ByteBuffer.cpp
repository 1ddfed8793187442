#include "core/ByteBuffer.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>
#include <string.h>

#include "platform/com/bstr.h"

void WipeBytes(void* p, size_t n) {
  if (p && n) explicit_bzero(p, n);
}

namespace {

BYTE* NewBlock(DWORD n) { return new (std::nothrow) BYTE[n]; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

BYTE MirrorByte(BYTE b) {
  BYTE r = 0;
  for (int k = 0; k < 8; ++k)
    if (b & (1u << k)) r |= static_cast<BYTE>(0x80u >> k);
  return r;
}

}  // namespace

CByteBuffer::CByteBuffer(DWORD size, bool wipe) : m_bWipe(wipe) {
  if (size) Allocate(size, wipe);
}

CByteBuffer::CByteBuffer(DWORD size, const void* source, bool wipe) : m_bWipe(wipe) {
  SetAt(size, source, 0);
}

CByteBuffer::CByteBuffer(const CByteBuffer& other, bool wipe) : m_bWipe(wipe) { *this = other; }

CByteBuffer::CByteBuffer(CByteBuffer&& other) noexcept
    : m_nLength(other.m_nLength), m_pData(other.m_pData), m_bWipe(other.m_bWipe) {
  other.m_nLength = 0;
  other.m_pData = nullptr;
}

CByteBuffer::~CByteBuffer() { Free(false); }

void CByteBuffer::Release(BYTE* block, DWORD length, bool wipe) const {
  if (!block) return;
  if (wipe || m_bWipe) WipeBytes(block, length);
  delete[] block;
}

BYTE* CByteBuffer::GetPointerAt(DWORD offset) const {
  if (!m_pData || offset >= m_nLength) return nullptr;
  return m_pData + offset;
}

BYTE CByteBuffer::GetByteAt(DWORD index) const {
  if (!m_pData || index >= m_nLength) return 0;
  return m_pData[index];
}

bool CByteBuffer::Grow(DWORD n) {
  if (n <= m_nLength) return true;
  BYTE* block = NewBlock(n);
  if (!block) return false;
  if (m_nLength) std::memcpy(block, m_pData, m_nLength);
  std::memset(block + m_nLength, 0, n - m_nLength);
  Release(m_pData, m_nLength, false);
  m_pData = block;
  m_nLength = n;
  return true;
}

bool CByteBuffer::Allocate(DWORD n, bool zero) {
  if (m_nLength != 0 || n == 0) return false;
  BYTE* block = NewBlock(n);
  if (!block) return false;
  if (zero || m_bWipe) std::memset(block, 0, n);
  m_pData = block;
  m_nLength = n;
  return true;
}

bool CByteBuffer::Reuse(DWORD n) {
  if (n == m_nLength && m_pData) return true;
  Free(false);
  if (n == 0) return true;
  BYTE* block = NewBlock(n);
  if (!block) return false;
  m_pData = block;
  m_nLength = n;
  return true;
}

bool CByteBuffer::CopyFrom(const void* source, DWORD n) {
  if (n == 0 || !source) {
    Free(false);
    return n == 0;
  }
  // A source inside this block must survive the reallocation.
  const auto at = reinterpret_cast<uintptr_t>(source), own = reinterpret_cast<uintptr_t>(m_pData);
  if (m_pData && n != m_nLength && at >= own && at < own + m_nLength) {
    CByteBuffer copy(n, source, m_bWipe);
    return CopyFrom(copy.m_pData, n);
  }
  if (!Reuse(n)) return false;
  std::memmove(m_pData, source, n);
  return true;
}

bool CByteBuffer::Free(bool wipe) {
  if (!m_pData) return false;
  Release(m_pData, m_nLength, wipe);
  m_pData = nullptr;
  m_nLength = 0;
  return true;
}

bool CByteBuffer::Zero() {
  if (m_pData) WipeBytes(m_pData, m_nLength);
  return true;
}

bool CByteBuffer::SetAt(DWORD n, const void* source, DWORD offset) {
  uint64_t end = static_cast<uint64_t>(offset) + n;
  if (end > 0xFFFFFFFFu) return false;
  if (end > m_nLength && !Grow(static_cast<DWORD>(end))) return false;
  if (source && n) std::memmove(m_pData + offset, source, n);
  return true;
}

bool CByteBuffer::SetBufferAt(const CByteBuffer& other, DWORD offset) {
  if (&other == this) {
    CByteBuffer copy(other);
    return SetAt(copy.m_nLength, copy.m_pData, offset);
  }
  return SetAt(other.m_nLength, other.m_pData, offset);
}

bool CByteBuffer::SetBstrAt(BSTR bstr, DWORD offset, bool release) {
  DWORD n = bstr ? SysStringByteLen(bstr) : 0;
  bool ok = SetAt(n, bstr, offset);
  if (release && bstr) SysFreeString(bstr);
  return ok;
}

bool CByteBuffer::FillAt(BYTE value, DWORD offset, DWORD count) {
  if (count == 0) return false;
  uint64_t end = static_cast<uint64_t>(offset) + count;
  if (end > 0xFFFFFFFFu) return false;
  if (end > m_nLength && !Grow(static_cast<DWORD>(end))) return false;
  std::memset(m_pData + offset, value, count);
  return true;
}

bool CByteBuffer::Append(DWORD n, const void* source) {
  if (n == 0) return true;
  DWORD old = m_nLength;
  if (static_cast<uint64_t>(old) + n > 0xFFFFFFFFu) return false;
  if (!Grow(old + n)) return false;
  if (source) std::memcpy(m_pData + old, source, n);
  return true;
}

bool CByteBuffer::AppendByte(BYTE value, DWORD count) {
  if (count == 1) return Append(1, &value);
  return FillAt(value, m_nLength, count);
}

CByteBuffer& CByteBuffer::operator+=(BYTE value) {
  AppendByte(value, 1);
  return *this;
}

CByteBuffer& CByteBuffer::operator+=(const CByteBuffer& other) {
  if (&other == this) {
    CByteBuffer copy(other);
    Append(copy.m_nLength, copy.m_pData);
  } else {
    Append(other.m_nLength, other.m_pData);
  }
  return *this;
}

bool CByteBuffer::InsertAt(const CByteBuffer& other, DWORD offset) {
  if (offset > m_nLength) return false;
  CByteBuffer joined(0, m_bWipe);
  if (!joined.SetAt(offset, m_pData, 0) || !joined.Append(other.m_nLength, other.m_pData) ||
      !joined.Append(m_nLength - offset, m_pData ? m_pData + offset : nullptr))
    return false;
  return Swap(joined);
}

CByteBuffer& CByteBuffer::operator=(const CByteBuffer& other) {
  if (&other == this) return *this;
  CopyFrom(other.m_pData, other.m_nLength);
  return *this;
}

bool CByteBuffer::Swap(CByteBuffer& other) {
  std::swap(m_nLength, other.m_nLength);
  std::swap(m_pData, other.m_pData);
  return true;
}

bool CByteBuffer::GetTail(CByteBuffer& dest, DWORD offset) const {
  if (!m_pData || offset >= m_nLength) return false;
  if (&dest == this) {
    CByteBuffer tail(m_nLength - offset, m_pData + offset, m_bWipe);
    return dest.SetAt(tail.m_nLength, tail.m_pData, 0);
  }
  return dest.SetAt(m_nLength - offset, m_pData + offset, 0);
}

bool CByteBuffer::ToBstr(BSTR* out, DWORD offset) const {
  if (!out || !m_pData || offset >= m_nLength) return false;
  *out = SysAllocStringByteLen(reinterpret_cast<const char*>(m_pData + offset), m_nLength - offset);
  return *out != nullptr;
}

bool CByteBuffer::ToUInt32(uint32_t* out, bool bigEndian) const {
  *out = 0;
  if (m_nLength > 4) return false;
  if (bigEndian) {
    uint32_t v = 0;
    for (DWORD i = 0; i < m_nLength; ++i) v = (v << 8) | m_pData[i];
    *out = v;
  } else if (m_nLength) {
    std::memcpy(out, m_pData, m_nLength);
  }
  return true;
}

void CByteBuffer::SetUInt32(uint32_t value, bool minimalBigEndian) {
  Free(false);
  if (!minimalBigEndian) {
    SetAt(4, &value, 0);
    return;
  }
  BYTE bytes[4] = {static_cast<BYTE>(value >> 24), static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 8),
                   static_cast<BYTE>(value)};
  int first = 0;
  while (first < 4 && bytes[first] == 0) ++first;
  if (first < 4) SetAt(static_cast<DWORD>(4 - first), bytes + first, 0);
}

bool CByteBuffer::ToHex(std::string& text) const {
  static const char digits[] = "0123456789ABCDEF";
  for (DWORD i = 0; i < m_nLength; ++i) {
    text += digits[m_pData[i] >> 4];
    text += digits[m_pData[i] & 0xF];
  }
  return m_nLength != 0;
}

bool CByteBuffer::FromHex(char* text) {
  if (!text) return false;
  for (char* p = text; *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  size_t len = std::strlen(text);
  if (len / 2 > 0xFFFFFFFFu || !Allocate(static_cast<DWORD>(len / 2), true)) return false;
  for (DWORD i = 0; i < m_nLength; ++i) {
    int hi = HexDigit(text[2 * i]);
    if (hi < 0) return false;
    int lo = HexDigit(text[2 * i + 1]);
    if (lo < 0) return false;
    m_pData[i] = static_cast<BYTE>((hi << 4) | lo);
  }
  return true;
}

BYTE CByteBuffer::XorChecksum() const {
  BYTE x = 0;
  for (DWORD i = 0; i < m_nLength; ++i) x ^= m_pData[i];
  return x;
}

bool CByteBuffer::operator==(const CByteBuffer& other) const {
  if (&other == this) return true;
  if (m_nLength != other.m_nLength) return false;
  if (m_nLength == 0) return true;
  return std::memcmp(m_pData, other.m_pData, m_nLength) == 0;
}

bool CByteBuffer::operator<(const CByteBuffer& other) const {
  if (&other == this) return false;
  if (m_nLength != other.m_nLength) return m_nLength < other.m_nLength;
  if (m_nLength == 0) return false;
  return std::memcmp(m_pData, other.m_pData, m_nLength) < 0;
}

bool CByteBuffer::SetBitMsb(DWORD i) {
  if (static_cast<uint64_t>(i) >= static_cast<uint64_t>(m_nLength) * 8) return false;
  m_pData[i / 8] |= static_cast<BYTE>(0x80u >> (i % 8));
  return true;
}

bool CByteBuffer::ClearBitMsb(DWORD i) {
  if (static_cast<uint64_t>(i) >= static_cast<uint64_t>(m_nLength) * 8) return false;
  m_pData[i / 8] &= static_cast<BYTE>(~(0x80u >> (i % 8)));
  return true;
}

bool CByteBuffer::SetBitLsb(DWORD i) {
  if (static_cast<uint64_t>(i) >= static_cast<uint64_t>(m_nLength) * 8) return false;
  m_pData[m_nLength - 1 - i / 8] |= static_cast<BYTE>(1u << (i % 8));
  return true;
}

bool CByteBuffer::ClearBitLsb(DWORD i) {
  if (static_cast<uint64_t>(i) >= static_cast<uint64_t>(m_nLength) * 8) return false;
  m_pData[m_nLength - 1 - i / 8] &= static_cast<BYTE>(~(1u << (i % 8)));
  return true;
}

bool CByteBuffer::Xor(const CByteBuffer& a, const CByteBuffer& b) {
  if (a.m_nLength != b.m_nLength) return false;
  DWORD n = a.m_nLength;
  if (!Grow(n)) return false;  // a and b keep their blocks: when either is this one, n <= length already
  for (DWORD k = 0; k < n; ++k) m_pData[k] = a.m_pData[k] ^ b.m_pData[k];
  return true;
}

bool CByteBuffer::Invert() {
  for (DWORD i = 0; i < m_nLength; ++i) m_pData[i] = static_cast<BYTE>(~m_pData[i]);
  return true;
}

bool CByteBuffer::ReverseBits() {
  if (m_nLength == 0) return true;
  BYTE* copy = NewBlock(m_nLength);
  if (!copy) return false;
  std::memcpy(copy, m_pData, m_nLength);
  for (DWORD i = 0; i < m_nLength; ++i) m_pData[i] = MirrorByte(copy[m_nLength - 1 - i]);
  Release(copy, m_nLength, true);
  return true;
}

CByteBufferList::CByteBufferList() { m_items.reserve(10); }

CByteBufferList::~CByteBufferList() = default;

void CByteBufferList::Add(const CByteBuffer& buffer) { m_items.emplace_back(buffer, false); }

CByteBuffer CByteBufferList::GetAt(DWORD index) const {
  if (index >= m_items.size()) return CByteBuffer();
  return CByteBuffer(m_items[index], false);
}

void CByteBufferList::RemoveAll() { m_items.clear(); }
