// The framework's file classes over the kernel layer: CFile (with share modes), CMemFile, CStdioFile,
// CFileStatus and CFileFind. Failures of Read/Write/Seek/SetLength/Flush/Close raise CFileException (thrown as
// a pointer, as the framework does); Open answers FALSE and fills the exception it is given.
#pragma once

#include <vector>

#include "platform/mfc/cobject.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/datetime.h"
#include "platform/mfc/exceptions.h"
#include "platform/win32/files.h"

struct CFileStatus {
  CTime m_ctime;          // creation time
  CTime m_mtime;          // last write time
  CTime m_atime;          // last access time
  ULONGLONG m_size;       // bytes
  BYTE m_attribute;       // CFile::Attribute bits
  BYTE m_padding;
  TCHAR m_szFullName[MAX_PATH];
};

class KXAPI CFile : public CObject {
  DECLARE_DYNAMIC(CFile)
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000,
    osNoBuffer = 0x10000,
    osWriteThrough = 0x20000,
    osRandomAccess = 0x40000,
    osSequentialScan = 0x80000,
  };
  enum Attribute { normal = 0x00, readOnly = 0x01, hidden = 0x02, system = 0x04, volume = 0x08, directory = 0x10,
                   archive = 0x20 };
  enum SeekPosition { begin = 0x0, current = 0x1, end = 0x2 };
  static const HANDLE hFileNull;

  CFile();
  explicit CFile(HANDLE hFile);  // takes an open handle; closes it when destroyed
  CFile(LPCTSTR lpszFileName, UINT nOpenFlags);  // raises CFileException on failure
  ~CFile() override;  // closes the file; errors are swallowed

  operator HANDLE() const { return m_hFile; }

  // Access modeRead/modeWrite/modeReadWrite; shareCompat and shareExclusive share nothing, shareDenyWrite
  // shares reading, shareDenyRead writing, shareDenyNone both; modeCreate makes a new file (truncating an
  // existing one unless modeNoTruncate).
  virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
  virtual void Close();
  virtual void Abort();  // closes without raising
  virtual CFile* Duplicate() const;

  virtual UINT Read(void* lpBuf, UINT nCount);
  virtual void Write(const void* lpBuf, UINT nCount);
  virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
  void SeekToBegin() { Seek(0, begin); }
  ULONGLONG SeekToEnd() { return Seek(0, end); }
  virtual ULONGLONG GetPosition() const;
  virtual ULONGLONG GetLength() const;
  virtual void SetLength(ULONGLONG dwNewLen);
  virtual void Flush();

  virtual CString GetFileName() const;   // the name with extension
  virtual CString GetFileTitle() const;  // the name without extension
  virtual CString GetFilePath() const;   // the full path
  virtual void SetFilePath(LPCTSTR lpszNewName);

  BOOL GetStatus(CFileStatus& rStatus) const;
  // FALSE when the file does not exist.
  static BOOL GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus);
  static void Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName);
  static void Remove(LPCTSTR lpszFileName);

  HANDLE m_hFile;

 protected:
  BOOL m_bCloseOnDelete;
  CString m_strFileName;
};

// A file in memory that grows by nGrowBytes (a fixed buffer when attached with nGrowBytes 0).
class KXAPI CMemFile : public CFile {
  DECLARE_DYNAMIC(CMemFile)
 public:
  explicit CMemFile(UINT nGrowBytes = 1024);
  CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
  ~CMemFile() override;

  void Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
  // Gives the memory to the caller (who frees it with free()) and empties the file.
  BYTE* Detach();

  BOOL Open(LPCTSTR, UINT, CFileException* = nullptr) override { return FALSE; }
  void Close() override;
  void Abort() override { Close(); }
  CFile* Duplicate() const override;
  UINT Read(void* lpBuf, UINT nCount) override;
  void Write(const void* lpBuf, UINT nCount) override;
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
  ULONGLONG GetPosition() const override { return m_nPosition; }
  ULONGLONG GetLength() const override { return m_nFileSize; }
  void SetLength(ULONGLONG dwNewLen) override;
  void Flush() override {}

 protected:
  void GrowFile(SIZE_T dwNewLen);
  UINT m_nGrowBytes;
  SIZE_T m_nPosition;
  SIZE_T m_nBufferSize;
  SIZE_T m_nFileSize;
  BYTE* m_lpBuffer;
  BOOL m_bAutoDelete;
};

// Text lines. Lines end with "\n" when written; ReadString accepts "\n" and "\r\n".
class KXAPI CStdioFile : public CFile {
  DECLARE_DYNAMIC(CStdioFile)
 public:
  CStdioFile() = default;
  CStdioFile(LPCTSTR lpszFileName, UINT nOpenFlags) : CFile(lpszFileName, nOpenFlags) {}
  virtual void WriteString(LPCTSTR lpsz);
  // Reads one line without its end; FALSE at the end of the file.
  virtual BOOL ReadString(CString& rString);
  // Reads up to nMax-1 characters or through the line feed (kept, as the C runtime's fgets does); null at the end.
  virtual LPTSTR ReadString(LPTSTR lpsz, UINT nMax);
};

// Walks the entries that match a DOS wildcard pattern. FindFile opens the search; each FindNextFile makes the
// next entry current and answers whether another one follows.
class KXAPI CFileFind : public CObject {
  DECLARE_DYNAMIC(CFileFind)
 public:
  CFileFind();
  ~CFileFind() override;

  virtual BOOL FindFile(LPCTSTR pstrName = nullptr, DWORD dwUnused = 0);
  virtual BOOL FindNextFile();
  void Close();

  ULONGLONG GetLength() const;
  virtual CString GetFileName() const;
  virtual CString GetFilePath() const;
  virtual CString GetFileTitle() const;
  virtual CString GetFileURL() const;
  virtual CString GetRoot() const;
  BOOL GetLastWriteTime(FILETIME* pTimeStamp) const;
  BOOL GetLastAccessTime(FILETIME* pTimeStamp) const;
  BOOL GetCreationTime(FILETIME* pTimeStamp) const;
  BOOL GetLastWriteTime(CTime& refTime) const;
  BOOL GetLastAccessTime(CTime& refTime) const;
  BOOL GetCreationTime(CTime& refTime) const;
  virtual BOOL IsDots() const;
  virtual BOOL MatchesMask(DWORD dwMask) const;
  BOOL IsReadOnly() const { return MatchesMask(FILE_ATTRIBUTE_READONLY); }
  BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
  BOOL IsArchived() const { return MatchesMask(FILE_ATTRIBUTE_ARCHIVE); }
  BOOL IsNormal() const { return MatchesMask(FILE_ATTRIBUTE_NORMAL); }
  BOOL IsHidden() const { return MatchesMask(FILE_ATTRIBUTE_HIDDEN); }
  BOOL IsSystem() const { return MatchesMask(FILE_ATTRIBUTE_SYSTEM); }

 protected:
  WIN32_FIND_DATAA* m_pFoundInfo;
  WIN32_FIND_DATAA* m_pNextInfo;
  HANDLE m_hContext;
  CString m_strRoot;
};
