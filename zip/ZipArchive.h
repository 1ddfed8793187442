// The zip archive object: opens or creates an archive (single file, spanned over removable disks or over
// numbered volume files), adds files and folders stored or deflated, encrypts entries with the traditional
// zip encryption when a password is set, extracts, tests and deletes entries, and writes the central
// directory when it closes. Format, data, volume and file-system failures raise CZipException*; calls in
// the wrong state return false or 0. After an exception the caller closes with the after-exception flag.
#pragma once

#include <zlib.h>

#include <string>
#include <unordered_set>

#include "platform/mfc/collections.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"
#include "zip/ZipBuffer.h"
#include "zip/ZipCentralDir.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipException.h"
#include "zip/ZipFileHeader.h"
#include "zip/ZipPlatform.h"
#include "zip/ZipStorage.h"

// (total bytes, bytes done so far, user data); false stops the data loop.
using ZipProgressCallback = bool (*)(DWORD total, DWORD done, void* userData);
using CZipWordArray = CWordArray;

class CZipArchive {
 public:
  enum OpenMode { zipOpen = 0, zipOpenReadOnly = 1, zipCreate = 2, zipCreateSpan = 3 };
  enum EntryState { nothing = 0, compress = 1, extract = -1 };

  CZipArchive();
  virtual ~CZipArchive();

  // Only while closed. Modes 0/1: a non-zero volume size says a numbered-volume span is expected. Mode 3:
  // a volume size of 0 or less spans over removable disks, a positive one over numbered volume files.
  void Open(LPCTSTR path, int mode = zipOpen, int volumeSize = 0);
  bool IsClosed(bool archive = true) const;
  void Close(bool afterException = false);
  int GetCount() const;
  bool GetFileInfo(CZipFileHeader& header, WORD index) const;
  void SetSpanCallback(ZipSpanCallback callback, void* userData = nullptr);
  void SetAdvanced(int writeBuffer = 65535, int generalBuffer = 16384, int searchBuffer = 32768);
  bool SetPassword(LPCTSTR password = nullptr);
  CString GetPassword() const;
  void SetRootPath(LPCTSTR path = nullptr);

  // The most entries an archive holds: the end record counts them in 16 bits. OpenNewFile and AddNewFile
  // refuse one more (false); a caller that adds says so.
  static constexpr int kMaxEntries = 0xFFFF;
  bool IsFull() const;
  // A lower limit than kMaxEntries, so that a test reaches it cheaply; 0 or less restores it.
  static void SetEntryLimitForTests(int limit);

  bool OpenNewFile(CZipFileHeader& header, int level = Z_DEFAULT_COMPRESSION, LPCTSTR filePath = nullptr);
  bool WriteNewFile(const void* data, DWORD size);
  bool CloseNewFile();
  bool AddNewFile(LPCTSTR path, int level = Z_DEFAULT_COMPRESSION, bool fullPath = true,
                  ZipProgressCallback callback = nullptr, void* userData = nullptr, DWORD bufferSize = 65535);

  bool OpenFile(WORD index);
  DWORD ReadFile(void* buf, DWORD size);
  // 1 success, -1 not all data was read, -2 the written file's time or attributes could not be set, 0 when
  // nothing is being extracted.
  int CloseFile(LPCTSTR path = nullptr, bool afterException = false);
  bool ExtractFile(WORD index, LPCTSTR folder, bool fullPath = true, LPCTSTR newName = nullptr,
                   ZipProgressCallback callback = nullptr, void* userData = nullptr, DWORD bufferSize = 65535);
  bool TestFile(WORD index, ZipProgressCallback callback = nullptr, void* userData = nullptr,
                DWORD bufferSize = 65535);
  void DeleteFiles(const CZipWordArray& indexes);

  // 0 not spanned, 1 a span being created, -1 an existing span.
  int GetSpanMode() const { return m_storage.GetSpanMode(); }
  CString GetArchivePath() const { return m_storage.GetFilePath(); }
  CString GetGlobalComment() const;
  bool SetGlobalComment(LPCTSTR comment);
  bool SetFileComment(WORD index, LPCTSTR comment);

 private:
  // One deflate and one inflate state serve every entry of the archive (reset between entries), and the
  // data buffers are made once; all of them go when the archive closes.
  struct StreamState {
    z_stream& stream() { return *current; }
    z_stream plain{};  // the counters of a stored entry
    z_stream deflater{};
    z_stream inflater{};
    z_stream* current = &plain;
    bool deflaterReady = false;
    int deflaterLevel = 0;
    bool inflaterReady = false;
    DWORD uncomprLeft = 0;
    DWORD comprLeft = 0;
    DWORD crc = 0;
    DWORD bufferSize = 16384;
    CZipBuffer buffer;
    // The file data of AddNewFile, ExtractFile and TestFile.
    CZipBuffer fileBuffer;
  };

  void OpenInternal(int mode);
  [[noreturn]] void ThrowError(int cause) const;
  void CheckForError(int zlibResult) const;
  void EndStream();
  // The stream of an entry: the shared deflater (level) or inflater reset for it, or the plain counters.
  void StartStream(bool deflated, bool compressing, int level);
  BYTE* FileBuffer(DWORD size);
  void FlushOutput();
  void CryptHeaderWrite(const CZipFileHeader& header);
  bool CryptHeaderCheck(const CZipFileHeader& header);
  CString EntryNameFor(LPCTSTR path, bool fullPath) const;
  bool UnsafeName(const CString& name) const;
  void DeleteInternal(WORD index);
  bool IsWritable() const;

  StreamState m_info;
  CZipStorage m_storage;
  CZipCentralDirectory m_centralDir;
  CString m_szRootPath;
  int m_iArchiveSystCompatib;
  int m_iFileOpened = nothing;
  CZipBuffer m_pszPassword;
  CZipCryptKeys m_keys;
  // Folders below an extraction folder that this archive made or found to be plain folders.
  std::unordered_set<std::string> m_checkedFolders;
};
