// Exactly-sized byte block with an optional wipe-on-release flag: the common currency for raw bytes
// (file images, digests, keys, encoded certificates, data for the engine).
#pragma once

#include <string>
#include <vector>

#include "platform/win32/types.h"

class CByteBuffer {
 public:
  CByteBuffer() = default;
  explicit CByteBuffer(DWORD size, bool wipe = false);
  CByteBuffer(DWORD size, const void* source, bool wipe);
  // Copies take the flag given here, never the source's.
  CByteBuffer(const CByteBuffer& other, bool wipe = false);
  // A moved-from buffer hands over its block and keeps nothing; the flag travels with the block.
  CByteBuffer(CByteBuffer&& other) noexcept;
  virtual ~CByteBuffer();

  DWORD GetLength() const { return m_nLength; }
  BYTE* GetData() const { return m_pData; }
  BYTE* GetPointerAt(DWORD offset) const;
  BYTE GetByteAt(DWORD index) const;
  bool IsWiped() const { return m_bWipe; }

  bool Grow(DWORD n);
  bool Allocate(DWORD n, bool zero);
  // Exactly n bytes for the caller to fill (not zeroed): the block stays when it has n bytes already, so a
  // loop over equal chunks allocates once. False, the buffer empty, when no block can be had.
  bool Reuse(DWORD n);
  // The buffer becomes a copy of n bytes at source (empty for n = 0), in its own block when that has n
  // bytes already.
  bool CopyFrom(const void* source, DWORD n);
  bool Free(bool wipe);
  bool Zero();

  bool SetAt(DWORD n, const void* source, DWORD offset);
  bool SetBufferAt(const CByteBuffer& other, DWORD offset);
  bool SetBstrAt(BSTR bstr, DWORD offset, bool release);
  bool FillAt(BYTE value, DWORD offset, DWORD count);
  bool Append(DWORD n, const void* source);
  bool AppendByte(BYTE value, DWORD count);
  CByteBuffer& operator+=(BYTE value);
  CByteBuffer& operator+=(const CByteBuffer& other);
  bool InsertAt(const CByteBuffer& other, DWORD offset);
  CByteBuffer& operator=(const CByteBuffer& other);
  bool Swap(CByteBuffer& other);

  bool GetTail(CByteBuffer& dest, DWORD offset) const;
  bool ToBstr(BSTR* out, DWORD offset) const;
  bool ToUInt32(uint32_t* out, bool bigEndian) const;
  void SetUInt32(uint32_t value, bool minimalBigEndian);
  bool ToHex(std::string& text) const;
  bool FromHex(char* text);
  BYTE XorChecksum() const;

  bool operator==(const CByteBuffer& other) const;
  bool operator!=(const CByteBuffer& other) const { return !(*this == other); }
  bool operator<(const CByteBuffer& other) const;
  bool operator>(const CByteBuffer& other) const { return other < *this; }

  bool SetBitMsb(DWORD i);
  bool ClearBitMsb(DWORD i);
  bool SetBitLsb(DWORD i);
  bool ClearBitLsb(DWORD i);
  bool Xor(const CByteBuffer& a, const CByteBuffer& b);
  bool Invert();
  bool ReverseBits();

 private:
  void Release(BYTE* block, DWORD length, bool wipe) const;

  DWORD m_nLength = 0;
  BYTE* m_pData = nullptr;
  bool m_bWipe = false;
};

// Zeroes memory in a way the compiler may not drop.
void WipeBytes(void* p, size_t n);

class CByteBufferList {
 public:
  CByteBufferList();
  virtual ~CByteBufferList();
  void Add(const CByteBuffer& buffer);
  // A copy of element index; an empty buffer for an index past the end.
  CByteBuffer GetAt(DWORD index) const;
  DWORD GetCount() const { return static_cast<DWORD>(m_items.size()); }
  void RemoveAll();

 private:
  std::vector<CByteBuffer> m_items;
};

class CByteBufferListPair {
 public:
  CByteBufferList m_first;
  CByteBufferList m_second;
};
