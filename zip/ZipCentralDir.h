// What the archive knows about its entries: the end of central directory record, the archive comment and
// one header per entry in archive order.
#pragma once

#include <memory>
#include <vector>

#include "platform/win32/types.h"
#include "zip/ZipBuffer.h"
#include "zip/ZipFileHeader.h"

class CZipStorage;

class CZipCentralDirectory {
 public:
  struct EndRecord {
    char m_szSignature[4] = {'P', 'K', 5, 6};
    WORD m_uThisDisk = 0;
    WORD m_uDiskWithCD = 0;
    WORD m_uDiskEntriesNo = 0;
    WORD m_uEntriesNumber = 0;
    DWORD m_uSize = 0;
    DWORD m_uOffset = 0;
  };
  static constexpr DWORD kEndRecordSize = 22;
  static constexpr DWORD kDescriptorSize = 16;

  CZipCentralDirectory() = default;
  virtual ~CZipCentralDirectory();

  void Init();
  void Read();
  ULONGLONG LocateEndRecord();
  void OpenFile(WORD index);
  void CloseFile();
  void AddNewFile(const CZipFileHeader& header);
  void CloseNewFile();
  void RemoveFile(WORD index);
  void CutOff();
  void Write();
  ULONGLONG GetSize(bool whole) const;
  void Clear(bool everything = true);
  CZipFileHeader* GetHeader(WORD index) const;
  bool IsValidIndex(int index) const { return index >= 0 && index < static_cast<int>(m_headers.size()); }
  WORD GetCount() const { return static_cast<WORD>(m_headers.size()); }
  [[noreturn]] void ThrowError(int cause) const;

  EndRecord m_info;
  CZipFileHeader* m_pOpenedFile = nullptr;
  CZipStorage* m_pStorage = nullptr;
  ULONGLONG m_uEndOffset = 0;
  ULONGLONG m_uBytesBeforeZip = 0;
  int m_iBufferSize = 32768;
  std::vector<std::unique_ptr<CZipFileHeader>> m_headers;
  CZipBuffer m_pLocalExtraField;
  CZipBuffer m_pszComment;
  bool m_bOnDisk = false;

 private:
  void CheckLayout() const;
  bool ConvertSpan();
  void WriteHeaders();
  void WriteEndRecord();
  void PatchLocal(ULONGLONG position, const CZipFileHeader& header, bool withFlag);
  void ReadAt(ULONGLONG position, BYTE* buf, DWORD size);
  void WriteAt(ULONGLONG position, const BYTE* buf, DWORD size);
};
