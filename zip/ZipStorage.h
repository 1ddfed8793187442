// The archive's file layer: opens or creates the archive file, buffers writes, and spreads a spanned
// archive over volumes (same-named files on removable disks, or numbered volume files).
#pragma once

#include <memory>

#include "platform/mfc/cstring.h"
#include "platform/win32/newfile.h"
#include "platform/win32/types.h"
#include "zip/ZipBuffer.h"
#include "zip/ZipFile.h"

// Called for every disk change of a removable-disk span: (volume number counted from 1, code, user data).
// Codes: -1 insert this disk (reading); a positive count: insert a new disk with at least that many free
// bytes (writing); -2 the disk already holds a file or folder of the archive's name; -3 the disk could not be
// labelled; -4 the archive file could not be created on it. False stops the operation.
using ZipSpanCallback = bool (*)(DWORD volume, int code, void* userData);

class CZipStorage {
 public:
  enum SpanMode { noSpan = 0, pkzipSpan = 1, tdSpan = 2, suggestedAuto = 3, suggestedTd = 4 };
  enum OpenMode { zipOpen = 0, zipOpenReadOnly = 1, zipCreate = 2, zipCreateSpan = 3 };

  CZipStorage();
  virtual ~CZipStorage();

  void Open(LPCTSTR path, int mode, int volumeSize);
  void SetSpanMode(int lastDisk);
  // 0 not spanned, 1 a span being created, -1 an existing span.
  int GetSpanMode() const;
  bool IsSpanMode() const { return m_iSpanMode == pkzipSpan || m_iSpanMode == tdSpan; }
  DWORD Read(void* buf, DWORD size, bool whole);
  void Write(const void* buf, DWORD size, bool whole);
  void Flush();
  ULONGLONG GetPosition() const;
  DWORD GetFreeInBuffer() const;
  ULONGLONG GetFreeVolumeSpace() const;
  // Makes room for a record of size bytes that must not be split, changing volumes as writing would.
  void AssureFree(DWORD size);
  void ChangeDisk(int disk);
  void NextVolume(DWORD needed, LPCTSTR path = nullptr);
  int GetCurrentDisk() const { return m_iCurrentDisk; }
  void Close(bool afterException);

  CString GetFilePath() const;
  bool IsReadOnly() const { return m_bReadOnly; }
  bool IsClosed(bool archive) const;
  void SetCallback(ZipSpanCallback fn, void* userData) {
    m_pChangeDiskFunc = fn;
    m_pCallbackData = userData;
  }
  [[noreturn]] void ThrowError(int cause) const;

  int m_iWriteBufferSize = 65535;
  void* m_pCallbackData = nullptr;
  CZipFile m_internalFile;
  CZipBuffer m_pWriteBuffer;
  DWORD m_uBytesInWriteBuffer = 0;
  CZipFileBase* m_pFile = nullptr;
  int m_iSpanMode = noSpan;
  ZipSpanCallback m_pChangeDiskFunc = nullptr;
  // Creating a numbered span: bytes per volume. Reading a span: number of its last volume.
  DWORD m_uSplitData = 0;
  ULONGLONG m_uCurrentVolSize = 0;
  ULONGLONG m_uBytesWritten = 0;
  bool m_bNewSpan = false;
  int m_iCurrentDisk = -1;

 private:
  void WriteInternal(const BYTE* buf, DWORD size);
  CString VolumeName(int disk, bool last, LPCTSTR path = nullptr) const;
  void OpenVolume(LPCTSTR path, UINT flags);
  bool CallCallback(int code);

  bool m_bReadOnly = false;
  CString m_szCurrentPath;
  // A new archive (not spanned) is written unnamed and takes its name only when closed whole.
  kx::CNewFile m_newFile;
};
