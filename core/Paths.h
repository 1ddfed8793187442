// Path helpers shared by the file-handling code: a path split into its parts, a wildcard walk of a folder,
// length-prefixed values inside a flat byte array, and the loader of the HTML Help viewer.
#pragma once

#include "core/BstrString.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

struct WIN32_FIND_DATAA;
class CByteBuffer;

// Sizes of the C runtime's path parts.
constexpr size_t kMaxPath = 260, kMaxDrive = 3, kMaxDir = 256, kMaxFname = 256, kMaxExt = 256;

// The separator is "/" and there are no drive letters: the drive part is always empty.
class CPathParts {
 public:
  explicit CPathParts(const char* path = nullptr);
  // Copies at most 259 bytes of path (never half a character) and splits it.
  bool Split(const char* path);
  CString GetDrive() const { return m_szDrive; }
  // With its leading and trailing separators ("/a/" of "/a/b.txt").
  CString GetDirectory() const { return m_szDir; }
  CString GetFileName() const { return m_szFname; }
  // With its dot, or empty.
  CString GetExtension() const { return m_szExt; }

 private:
  char m_szPath[kMaxPath];
  char m_szDrive[kMaxDrive];
  char m_szDir[kMaxDir];
  char m_szFname[kMaxFname];
  char m_szExt[kMaxExt];
};

// FindFile, then FindNextFile until it answers false; each call makes the next entry current (the last one
// is current after the call that answers false).
class CFileFinder {
 public:
  CFileFinder();
  virtual ~CFileFinder();
  CFileFinder(const CFileFinder&) = delete;
  CFileFinder& operator=(const CFileFinder&) = delete;

  void Close();
  // A null pattern means "*.*". On failure the thread's last error says why.
  bool FindFile(const char* pattern = nullptr);
  bool FindNextFile();
  CString GetFileName() const;
  CString GetFilePath() const;
  CString GetFileTitle() const;
  CString GetFileURL() const;
  CBstrString GetRoot() const { return m_root; }
  DWORD GetLength() const;
  bool MatchesMask(DWORD attributeMask) const;
  bool IsDots() const;
  bool IsDirectory() const;
  bool GetCreationTime(FILETIME* out) const;
  bool GetLastAccessTime(FILETIME* out) const;
  bool GetLastWriteTime(FILETIME* out) const;

 private:
  WIN32_FIND_DATAA* m_pCurrent = nullptr;
  WIN32_FIND_DATAA* m_pNext = nullptr;
  HANDLE m_hFind = nullptr;
  CBstrString m_root;  // folder of the pattern's full path, without a trailing separator
  char m_chSeparator = '/';
};

// Cursor functions: each value must fit whole between *cursor and total, else false and nothing changes.
// Lengths are unsigned 32-bit little-endian.
bool CursorReadBuffer(DWORD total, const BYTE* array, CByteBuffer& out, DWORD* cursor);
bool CursorReadBstr(DWORD total, const BYTE* array, BSTR* out, DWORD* cursor);
bool CursorReadUInt32(DWORD total, const BYTE* array, DWORD* out, DWORD* cursor);
bool CursorReadByte(DWORD total, const BYTE* array, BYTE* out, DWORD* cursor);
bool CursorWriteBuffer(DWORD total, BYTE* array, const CByteBuffer& value, DWORD* cursor);
bool CursorWriteBstr(DWORD total, BYTE* array, BSTR value, DWORD* cursor);
bool CursorWriteUInt32(DWORD total, BYTE* array, DWORD value, DWORD* cursor);
bool CursorWriteByte(DWORD total, BYTE* array, BYTE value, DWORD* cursor);

// Calls the HTML Help viewer's entry (loaded on first use); 0 when it cannot be loaded, then and later.
HWND HtmlHelpLoader(HWND owner, const char* file, UINT command, DWORD_PTR data);
