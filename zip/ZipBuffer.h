// A plain byte buffer owned by the zip library: entry names, extra fields, comments, passwords and the
// data buffers of an entry in progress. Bytes are wiped when released (a buffer may hold a password or
// plain data of an encrypted entry).
#pragma once

#include <cstring>
#include <memory>

#include "platform/win32/types.h"

class CZipBuffer {
 public:
  CZipBuffer() = default;
  explicit CZipBuffer(DWORD size) { Allocate(size); }
  CZipBuffer(const CZipBuffer& other) { Assign(other.GetBuffer(), other.GetSize()); }
  CZipBuffer& operator=(const CZipBuffer& other) {
    if (this != &other) Assign(other.GetBuffer(), other.GetSize());
    return *this;
  }
  ~CZipBuffer() { Release(); }

  // Makes the buffer exactly size bytes long, zero-filled; existing content is discarded.
  void Allocate(DWORD size) {
    Reserve(size);
    if (size) std::memset(m_bytes.get(), 0, size);
  }
  // Makes the buffer exactly size bytes long without filling it: for data buffers that are always written
  // before they are read. An allocation of that size already there is kept as it is.
  void Reserve(DWORD size) {
    if (size == m_size && m_bytes) return;
    Release();
    if (size) m_bytes.reset(new BYTE[size]);
    m_size = size;
  }
  void Assign(const void* data, DWORD size) {
    Release();
    if (!size) return;
    m_bytes.reset(new BYTE[size]);
    m_size = size;
    std::memcpy(m_bytes.get(), data, size);
  }
  void Release() {
    if (m_bytes) std::memset(m_bytes.get(), 0, m_size);
    m_bytes.reset();
    m_size = 0;
  }
  DWORD GetSize() const { return m_size; }
  bool IsAllocated() const { return m_size != 0; }
  BYTE* GetBuffer() { return m_bytes.get(); }
  const BYTE* GetBuffer() const { return m_bytes.get(); }
  operator BYTE*() { return m_bytes.get(); }              // NOLINT: buffer access as a pointer
  operator const BYTE*() const { return m_bytes.get(); }  // NOLINT

 private:
  std::unique_ptr<BYTE[]> m_bytes;
  DWORD m_size = 0;
};
