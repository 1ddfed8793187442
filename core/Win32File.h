// A whole file read into a byte buffer, or a whole byte buffer written out as a file, one call each.
// The reading constructor opens an existing file (shared with other readers); the writing constructor
// creates or truncates a file (not shared) and copies the bytes to write.
#pragma once

#include "core/ByteBuffer.h"

class CWin32File {
 public:
  explicit CWin32File(const char* path);
  CWin32File(const char* path, const CByteBuffer& buffer);
  virtual ~CWin32File();
  CWin32File(const CWin32File&) = delete;
  CWin32File& operator=(const CWin32File&) = delete;

  virtual bool IsOpen() const { return m_hFile != nullptr; }
  // n bytes (0: the whole file) into the empty buffer; S_OK only when exactly n bytes were read.
  virtual HRESULT ReadAll(DWORD n = 0);
  // The first n bytes of the buffer (0: all of it); S_OK only when exactly n bytes were written.
  virtual HRESULT WriteAll(DWORD n = 0);
  void Close();

  CByteBuffer m_buffer;

 private:
  HANDLE m_hFile = nullptr;
};
