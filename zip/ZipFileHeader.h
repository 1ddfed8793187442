// One entry's header: the fields of its central directory record, with its name, extra field and comment.
// Names are held in the running system's form ("\" separators, "ANSI" text) and converted when records
// are read and written.
#pragma once

#include <ctime>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"
#include "zip/ZipBuffer.h"

class CZipStorage;

class CZipFileHeader {
 public:
  enum : WORD {
    flagEncrypted = 0x0001,
    flagDescriptor = 0x0008,
    flagUtf8 = 0x0800,  // name (and comment) are UTF-8
  };
  static constexpr DWORD kCentralSize = 46;
  static constexpr DWORD kLocalSize = 30;

  CZipFileHeader();
  CZipFileHeader(const CZipFileHeader&) = default;
  CZipFileHeader& operator=(const CZipFileHeader&) = default;
  virtual ~CZipFileHeader();

  // False when the signature differs or the volume changed while reading.
  bool ReadCentral(CZipStorage* storage);
  // Writes the record in one piece; returns its length.
  DWORD WriteCentral(CZipStorage* storage);
  // Reads and checks the local header against this one; on success gives the local extra field's length
  // and leaves the storage after the name.
  bool CheckLocal(CZipStorage* storage, WORD& extraLength);
  void WriteLocal(CZipStorage* storage);
  bool PrepareData(int level, bool descriptor, bool encrypted);
  // Central record length with the name in its stored form.
  DWORD GetSize() const;

  time_t GetTime() const;
  void SetTime(time_t time);
  CString GetFileName() const;
  void SetFileName(LPCTSTR name);
  CString GetComment() const;
  void SetComment(LPCTSTR comment);
  bool IsEncrypted() const { return (m_uFlag & flagEncrypted) != 0; }
  bool IsDataDescriptor() const { return (m_uFlag & flagDescriptor) != 0; }
  int GetSystemCompatibility() const { return m_uVersionMadeBy >> 8; }
  // The attributes in the running system's form.
  DWORD GetSystemAttr() const;
  // Stores attributes given in the running system's form for the host system, and that host in the
  // version-made-by field.
  void SetSystemAttr(DWORD attr, int system);
  bool IsDirectory() const;

  // The name as the archive stores it ("/" separators, OEM code page unless flagged UTF-8).
  CZipBuffer GetStoredName() const;
  void SetStoredName(const CZipBuffer& stored);
  // Picks the stored form of a new entry's name: ASCII as it is, any other name UTF-8 with the flag (the OEM
  // form is only read).
  void ChooseNameEncoding();

  char m_szSignature[4];
  WORD m_uVersionMadeBy = 20;
  WORD m_uVersionNeeded = 20;
  WORD m_uFlag = 0;
  WORD m_uMethod = 8;
  WORD m_uModTime = 0;
  WORD m_uModDate = 0;
  DWORD m_uCrc32 = 0;
  DWORD m_uComprSize = 0;
  DWORD m_uUncomprSize = 0;
  WORD m_uDiskStart = 0;
  WORD m_uInternalAttr = 0;
  DWORD m_uExternalAttr = 0;
  DWORD m_uOffset = 0;
  CZipBuffer m_pExtraField;
  CZipBuffer m_pszFileName;
  CZipBuffer m_pszComment;
};

// Little-endian field access used by every record.
inline void ZipPut16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
inline void ZipPut32(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
inline WORD ZipGet16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD ZipGet32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}
