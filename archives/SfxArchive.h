// Self-extracting packages: the extractor stub followed by one zlib stream per file and a trailer that
// indexes them, read backwards from the end of the file:
//   per entry, in table order: stream offset, size, compressed size (u32 LE each), the name's bytes, the
//   name's length (u32 LE); then the entry count (u32 LE), "1.10" and "!ZUNT_SFX!" (the file's last 10 bytes).
// Offsets count from the start of the file, the stub included. Names are a file's name without its folder.
#pragma once

#include <zlib.h>

#include "archives/SfxTrailer.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CFile;

class CSfxFileEntry {
 public:
  // Opens the file to take its length; FALSE when it is not a readable regular file (the entry unchanged).
  BOOL SetFile(LPCSTR path);
  void Clear();

  CString m_strName;  // the text after the path's last separator
  CString m_strPath;  // empty for entries read back from a package
  DWORD m_nSize = 0;  // length before compression
  DWORD m_nCompressedSize = 0;
  DWORD m_nStreamOffset = 0;
};

// Progress: (code, data, caller's argument); the result is ignored. Codes: kEntryStarted and kEntryDone with
// the entry, kPercent with a pointer to the current file's percentage (a DWORD).
using SfxProgressCallback = int (*)(UINT code, void* data, void* argument);

class CSfxArchive {
 public:
  static constexpr int kMaxEntries = kx::sfx::kMaxEntries;
  static constexpr DWORD kSliceSize = 4096;

  enum Result : DWORD {
    kCannotOpen = 1000,      // read: the package cannot be opened
    kNotPackage = 1001,      // read: the marker or the version does not match
    kDone = 1002,            // build, read
    kStubCopyFailed = 1003,  // build
    kNoEntries = 1004,       // build: nothing to pack; read: the trailer counts 0 entries
    kOutputOpenFailed = 1005,
    kSourceOpenFailed = 1006,  // payload: a source cannot be opened or read
    kWriteFailed = 1007,       // payload: a write failed, or a size or offset does not fit 32 bits
    kPayloadWritten = 1008,
    kDamaged = 1009,  // read: a trailer field points outside the file or past the table's limits
  };
  enum Progress : UINT { kEntryStarted = 1000, kEntryDone = 1001, kPercent = 1002 };

  CSfxArchive();
  virtual ~CSfxArchive();
  CSfxArchive(const CSfxArchive&) = delete;
  CSfxArchive& operator=(const CSfxArchive&) = delete;

  // FALSE when the table is full or the file cannot be taken; the count grows only on success.
  BOOL AddFile(LPCSTR path);
  void Reset();
  // Copies the stub to the output and appends the payload. A build that does not complete removes the
  // output again and answers the payload's failure.
  DWORD Build(LPCSTR stubPath, LPCSTR outputPath, SfxProgressCallback callback, void* argument);
  // Every entry's stream, then the trailer, at the file's position: kPayloadWritten, or the failure.
  DWORD WritePayload(CFile& output, SfxProgressCallback callback, void* argument);
  // Fills the table from a package; a damaged one leaves it empty.
  DWORD ReadTrailer(LPCSTR packagePath);

  DWORD GetPercentDone() const;
  int GetCount() const { return m_nCount; }
  int GetTrailerLength() const { return m_nTrailerLength; }
  // A copy of entry i (an empty entry outside the table).
  CSfxFileEntry GetEntry(int i) const;

 protected:
  UINT FillInput(CFile& source);
  UINT FlushOutput(CFile& output);

 private:
  DWORD CompressEntry(CSfxFileEntry& entry, CFile& output, SfxProgressCallback callback, void* argument);

  z_stream m_stream{};
  CSfxFileEntry m_entries[kMaxEntries];
  int m_nCount = 0;
  int m_nTrailerLength = 0;
  BYTE m_abInput[kSliceSize];
  BYTE m_abOutput[kSliceSize];
  DWORD m_nCurrentLength = 0;
};
