// A plain byte buffer owned by the zip library: entry names, extra fields, comments, passwords and the
// data buffers of an entry in progress. Bytes are wiped when released (a buffer may hold a password or
// plain data of an encrypted entry).
#pragma once

#include <cstring>
#include <vector>

#include "platform/win32/types.h"

class CZipBuffer {
 public:
  CZipBuffer() = default;
  explicit CZipBuffer(DWORD size) { Allocate(size); }
  CZipBuffer(const CZipBuffer& other) = default;
  CZipBuffer& operator=(const CZipBuffer& other) {
    if (this != &other) {
      Release();
      m_bytes = other.m_bytes;
    }
    return *this;
  }
  ~CZipBuffer() { Release(); }

  // Makes the buffer exactly size bytes long, zero-filled; existing content is discarded.
  void Allocate(DWORD size) {
    Release();
    m_bytes.assign(size, 0);
  }
  void Assign(const void* data, DWORD size) {
    Release();
    const BYTE* p = static_cast<const BYTE*>(data);
    m_bytes.assign(p, p + size);
  }
  void Release() {
    if (!m_bytes.empty()) std::memset(m_bytes.data(), 0, m_bytes.size());
    m_bytes.clear();
    m_bytes.shrink_to_fit();
  }
  DWORD GetSize() const { return static_cast<DWORD>(m_bytes.size()); }
  bool IsAllocated() const { return !m_bytes.empty(); }
  BYTE* GetBuffer() { return m_bytes.data(); }
  const BYTE* GetBuffer() const { return m_bytes.data(); }
  operator BYTE*() { return m_bytes.data(); }              // NOLINT: buffer access as a pointer
  operator const BYTE*() const { return m_bytes.data(); }  // NOLINT

 private:
  std::vector<BYTE> m_bytes;
};
