// The archive's file: an abstract interface and its implementation over the framework's file.
#pragma once

#include "platform/mfc/cfile.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CZipFileBase {
 public:
  enum SeekFrom { begin = 0, current = 1, end = 2 };

  virtual bool Open(LPCTSTR path, UINT flags, bool throwException) = 0;
  virtual void Close() = 0;
  virtual void Flush() = 0;
  virtual ULONGLONG GetPosition() const = 0;
  virtual void SeekToBegin() { Seek(0, begin); }
  virtual ULONGLONG SeekToEnd() { return Seek(0, end); }
  virtual CString GetFilePath() const = 0;
  virtual void SetLength(ULONGLONG length) = 0;
  virtual UINT Read(void* buf, UINT count) = 0;
  virtual void Write(const void* buf, UINT count) = 0;
  virtual ULONGLONG Seek(LONGLONG offset, int from) = 0;
  virtual bool IsClosed() const = 0;
  virtual ULONGLONG GetLength() const = 0;
  virtual ~CZipFileBase() = default;
};

class CZipFile : public CZipFileBase {
 public:
  CZipFile() = default;
  ~CZipFile() override;

  // Failure: false, or the framework's file exception when throwException is set.
  bool Open(LPCTSTR path, UINT flags, bool throwException) override;
  void Close() override;
  void Flush() override;
  ULONGLONG GetPosition() const override;
  CString GetFilePath() const override;
  void SetLength(ULONGLONG length) override;
  UINT Read(void* buf, UINT count) override;
  void Write(const void* buf, UINT count) override;
  ULONGLONG Seek(LONGLONG offset, int from) override;
  bool IsClosed() const override;
  ULONGLONG GetLength() const override;

 private:
  CFile m_file;
};
