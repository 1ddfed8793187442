#include "platform/mfc/cfile.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/errors.h"
#include "platform/win32/heap.h"

IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CMemFile, CFile)
IMPLEMENT_DYNAMIC(CStdioFile, CFile)
IMPLEMENT_DYNAMIC(CFileFind, CObject)

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

namespace {

CString FullPathOf(LPCTSTR name) {
  char buf[4096];
  DWORD n = GetFullPathName(name, sizeof buf, buf, nullptr);
  return n > 0 && n < sizeof buf ? CString(buf) : CString(name);
}

CString NamePart(const CString& path) {
  int slash = path.ReverseFind('/');
  return slash < 0 ? path : path.Mid(slash + 1);
}

CString TitleOf(const CString& name) {
  int dot = name.ReverseFind('.');
  return dot <= 0 ? name : name.Left(dot);
}

CTime TimeOrZero(const FILETIME& ft) {
  if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0) return CTime();
  return CTime(ft);
}

}  // namespace

CFile::CFile() : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(HANDLE hFile) : m_hFile(hFile), m_bCloseOnDelete(TRUE) {}

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags) : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {
  CFileException e;
  if (!Open(lpszFileName, nOpenFlags, &e)) AfxThrowFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
}

CFile::~CFile() {
  if (m_hFile != hFileNull && m_bCloseOnDelete) Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
  if (m_hFile != hFileNull) Abort();
  m_strFileName = lpszFileName ? FullPathOf(lpszFileName) : CString();
  DWORD access;
  switch (nOpenFlags & 3) {
    case modeRead: access = GENERIC_READ; break;
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: access = GENERIC_READ; break;
  }
  DWORD share;
  switch (nOpenFlags & 0x70) {
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: share = 0; break;  // shareCompat, shareExclusive
  }
  DWORD disposition = (nOpenFlags & modeCreate) ? ((nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS)
                                                : OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (nOpenFlags & osWriteThrough) flags |= FILE_FLAG_WRITE_THROUGH;
  HANDLE h = lpszFileName ? CreateFile(lpszFileName, access, share, nullptr, disposition, flags, nullptr)
                          : INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = lpszFileName ? GetLastError() : ERROR_PATH_NOT_FOUND;
    if (pError) {
      pError->m_lOsError = static_cast<LONG>(err);
      pError->m_cause = CFileException::OsErrorToException(static_cast<LONG>(err));
      pError->m_strFileName = lpszFileName;
    }
    return FALSE;
  }
  m_hFile = h;
  m_bCloseOnDelete = TRUE;
  return TRUE;
}

void CFile::Close() {
  BOOL ok = TRUE;
  if (m_hFile != hFileNull) ok = CloseHandle(m_hFile);
  m_hFile = hFileNull;
  m_bCloseOnDelete = FALSE;
  m_strFileName.Empty();
  if (!ok) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
}

void CFile::Abort() {
  if (m_hFile != hFileNull) CloseHandle(m_hFile);
  m_hFile = hFileNull;
  m_bCloseOnDelete = FALSE;
  m_strFileName.Empty();
}

CFile* CFile::Duplicate() const {
  // Kernel handles are not duplicated here: open the same path again with shared access.
  if (m_hFile == hFileNull) return nullptr;
  auto* f = new CFile();
  if (!f->Open(m_strFileName, modeReadWrite | shareDenyNone)) {
    delete f;
    AfxThrowFileException(CFileException::genericException, -1, m_strFileName);
  }
  f->Seek(static_cast<LONGLONG>(GetPosition()), begin);
  return f;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
  if (nCount == 0) return 0;
  DWORD read = 0;
  if (!ReadFile(m_hFile, lpBuf, nCount, &read, nullptr))
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
  return read;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
  if (nCount == 0) return;
  DWORD written = 0;
  if (!WriteFile(m_hFile, lpBuf, nCount, &written, nullptr))
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
  if (written != nCount) AfxThrowFileException(CFileException::diskFull, -1, m_strFileName);
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
  LARGE_INTEGER d, pos;
  d.QuadPart = lOff;
  if (!SetFilePointerEx(m_hFile, d, &pos, nFrom))
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
  return static_cast<ULONGLONG>(pos.QuadPart);
}

ULONGLONG CFile::GetPosition() const {
  LARGE_INTEGER d, pos;
  d.QuadPart = 0;
  if (!SetFilePointerEx(m_hFile, d, &pos, FILE_CURRENT))
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
  return static_cast<ULONGLONG>(pos.QuadPart);
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_hFile, &size)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
  return static_cast<ULONGLONG>(size.QuadPart);
}

void CFile::SetLength(ULONGLONG dwNewLen) {
  ULONGLONG keep = GetPosition();
  Seek(static_cast<LONGLONG>(dwNewLen), begin);
  if (!SetEndOfFile(m_hFile)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
  if (keep < dwNewLen) Seek(static_cast<LONGLONG>(keep), begin);
}

void CFile::Flush() {
  if (m_hFile == hFileNull) return;
  if (!FlushFileBuffers(m_hFile)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName);
}

CString CFile::GetFileName() const { return NamePart(m_strFileName); }
CString CFile::GetFileTitle() const { return TitleOf(GetFileName()); }
CString CFile::GetFilePath() const { return m_strFileName; }
void CFile::SetFilePath(LPCTSTR lpszNewName) { m_strFileName = lpszNewName; }

BOOL CFile::GetStatus(CFileStatus& rStatus) const {
  memset(&rStatus.m_size, 0, sizeof rStatus.m_size);
  rStatus.m_attribute = 0;
  rStatus.m_szFullName[0] = 0;
  if (m_strFileName.GetLength() < MAX_PATH)
    memcpy(rStatus.m_szFullName, m_strFileName.GetString(), static_cast<size_t>(m_strFileName.GetLength()) + 1);
  if (m_hFile == hFileNull) return FALSE;
  FILETIME c, a, w;
  if (!GetFileTime(m_hFile, &c, &a, &w)) return FALSE;
  rStatus.m_ctime = TimeOrZero(c);
  rStatus.m_atime = TimeOrZero(a);
  rStatus.m_mtime = TimeOrZero(w);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_hFile, &size)) return FALSE;
  rStatus.m_size = static_cast<ULONGLONG>(size.QuadPart);
  DWORD attr = m_strFileName.IsEmpty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributes(m_strFileName);
  rStatus.m_attribute = attr == INVALID_FILE_ATTRIBUTES ? 0 : static_cast<BYTE>(attr & ~FILE_ATTRIBUTE_NORMAL);
  return TRUE;
}

BOOL CFile::GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus) {
  if (!lpszFileName) return FALSE;
  CString full = FullPathOf(lpszFileName);
  if (full.GetLength() >= MAX_PATH) return FALSE;
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesEx(lpszFileName, GetFileExInfoStandard, &d)) return FALSE;
  memcpy(rStatus.m_szFullName, full.GetString(), static_cast<size_t>(full.GetLength()) + 1);
  rStatus.m_attribute = static_cast<BYTE>(d.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL);
  rStatus.m_size = (static_cast<ULONGLONG>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  rStatus.m_ctime = TimeOrZero(d.ftCreationTime);
  rStatus.m_atime = TimeOrZero(d.ftLastAccessTime);
  rStatus.m_mtime = TimeOrZero(d.ftLastWriteTime);
  return TRUE;
}

void CFile::Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName) {
  if (!MoveFile(lpszOldName, lpszNewName)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), lpszOldName);
}

void CFile::Remove(LPCTSTR lpszFileName) {
  if (!DeleteFile(lpszFileName)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), lpszFileName);
}

// CMemFile

CMemFile::CMemFile(UINT nGrowBytes)
    : m_nGrowBytes(nGrowBytes), m_nPosition(0), m_nBufferSize(0), m_nFileSize(0), m_lpBuffer(nullptr),
      m_bAutoDelete(TRUE) {}

CMemFile::CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) : CMemFile(nGrowBytes) {
  Attach(lpBuffer, nBufferSize, nGrowBytes);
}

CMemFile::~CMemFile() {
  if (m_lpBuffer) Close();
}

void CMemFile::Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) {
  if (m_lpBuffer && m_bAutoDelete) free(m_lpBuffer);
  m_nGrowBytes = nGrowBytes;
  m_nPosition = 0;
  m_nBufferSize = nBufferSize;
  m_nFileSize = nGrowBytes == 0 ? nBufferSize : 0;
  m_lpBuffer = lpBuffer;
  m_bAutoDelete = FALSE;
}

BYTE* CMemFile::Detach() {
  BYTE* p = m_lpBuffer;
  m_lpBuffer = nullptr;
  m_nFileSize = m_nBufferSize = m_nPosition = 0;
  return p;
}

void CMemFile::Close() {
  if (m_lpBuffer && m_bAutoDelete) free(m_lpBuffer);
  m_lpBuffer = nullptr;
  m_nGrowBytes = 1024;
  m_nPosition = m_nBufferSize = m_nFileSize = 0;
}

CFile* CMemFile::Duplicate() const { AfxThrowNotSupportedException(); }

void CMemFile::GrowFile(SIZE_T dwNewLen) {
  if (dwNewLen <= m_nBufferSize) return;
  if (m_nGrowBytes == 0) AfxThrowMemoryException();
  SIZE_T size = m_nBufferSize;
  while (size < dwNewLen) size += m_nGrowBytes;
  BYTE* p;
  if (m_lpBuffer && !m_bAutoDelete) {
    p = static_cast<BYTE*>(malloc(size));
    if (p) memcpy(p, m_lpBuffer, m_nFileSize);
  } else {
    p = static_cast<BYTE*>(realloc(m_lpBuffer, size));
  }
  if (!p) AfxThrowMemoryException();
  m_lpBuffer = p;
  m_bAutoDelete = TRUE;
  m_nBufferSize = size;
}

UINT CMemFile::Read(void* lpBuf, UINT nCount) {
  if (m_nPosition >= m_nFileSize || nCount == 0) return 0;
  SIZE_T n = m_nFileSize - m_nPosition;
  if (n > nCount) n = nCount;
  memcpy(lpBuf, m_lpBuffer + m_nPosition, n);
  m_nPosition += n;
  return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount) {
  if (nCount == 0) return;
  if (m_nPosition + nCount > m_nBufferSize) GrowFile(m_nPosition + nCount);
  if (m_nPosition > m_nFileSize) memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
  memcpy(m_lpBuffer + m_nPosition, lpBuf, nCount);
  m_nPosition += nCount;
  if (m_nPosition > m_nFileSize) m_nFileSize = m_nPosition;
}

ULONGLONG CMemFile::Seek(LONGLONG lOff, UINT nFrom) {
  LONGLONG base = nFrom == begin ? 0 : nFrom == current ? static_cast<LONGLONG>(m_nPosition)
                                                          : static_cast<LONGLONG>(m_nFileSize);
  if (nFrom > end || base + lOff < 0) AfxThrowFileException(CFileException::badSeek);
  m_nPosition = static_cast<SIZE_T>(base + lOff);
  return m_nPosition;
}

void CMemFile::SetLength(ULONGLONG dwNewLen) {
  if (dwNewLen > m_nBufferSize) GrowFile(static_cast<SIZE_T>(dwNewLen));
  if (dwNewLen > m_nFileSize) memset(m_lpBuffer + m_nFileSize, 0, static_cast<SIZE_T>(dwNewLen) - m_nFileSize);
  if (dwNewLen < m_nPosition) m_nPosition = static_cast<SIZE_T>(dwNewLen);
  m_nFileSize = static_cast<SIZE_T>(dwNewLen);
}

// CStdioFile

void CStdioFile::WriteString(LPCTSTR lpsz) {
  if (!lpsz) AfxThrowInvalidArgException();
  Write(lpsz, static_cast<UINT>(strlen(lpsz)));
}

LPTSTR CStdioFile::ReadString(LPTSTR lpsz, UINT nMax) {
  if (!lpsz || nMax == 0) return nullptr;
  UINT n = 0;
  char c;
  while (n + 1 < nMax && Read(&c, 1) == 1) {
    lpsz[n++] = c;
    if (c == '\n') break;
  }
  lpsz[n] = 0;
  return n == 0 ? nullptr : lpsz;
}

BOOL CStdioFile::ReadString(CString& rString) {
  std::string line;
  char chunk[256];
  bool any = false;
  for (;;) {
    ULONGLONG start = GetPosition();
    UINT got = Read(chunk, sizeof chunk);
    if (got == 0) break;
    any = true;
    const char* nl = static_cast<const char*>(memchr(chunk, '\n', got));
    if (nl) {
      line.append(chunk, static_cast<size_t>(nl - chunk));
      Seek(static_cast<LONGLONG>(start + static_cast<ULONGLONG>(nl - chunk) + 1), begin);
      break;
    }
    line.append(chunk, got);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  rString = CString(line);
  return any;
}

// CFileFind

CFileFind::CFileFind() : m_pFoundInfo(nullptr), m_pNextInfo(nullptr), m_hContext(nullptr) {}

CFileFind::~CFileFind() { Close(); }

void CFileFind::Close() {
  delete m_pFoundInfo;
  delete m_pNextInfo;
  m_pFoundInfo = m_pNextInfo = nullptr;
  if (m_hContext && m_hContext != INVALID_HANDLE_VALUE) ::FindClose(m_hContext);
  m_hContext = nullptr;
}

BOOL CFileFind::FindFile(LPCTSTR pstrName, DWORD) {
  Close();
  if (!pstrName) pstrName = "*.*";
  m_pNextInfo = new WIN32_FIND_DATAA;
  m_hContext = ::FindFirstFile(pstrName, m_pNextInfo);
  if (m_hContext == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    Close();
    SetLastError(err);
    return FALSE;
  }
  CString full = FullPathOf(pstrName);
  int slash = full.ReverseFind('/');
  m_strRoot = slash < 0 ? full : (slash == 0 ? CString("/") : full.Left(slash));
  return TRUE;
}

BOOL CFileFind::FindNextFile() {
  if (!m_hContext) return FALSE;
  if (!m_pFoundInfo) m_pFoundInfo = new WIN32_FIND_DATAA;
  std::swap(m_pFoundInfo, m_pNextInfo);
  return ::FindNextFile(m_hContext, m_pNextInfo);
}

ULONGLONG CFileFind::GetLength() const {
  return m_pFoundInfo ? ((static_cast<ULONGLONG>(m_pFoundInfo->nFileSizeHigh) << 32) | m_pFoundInfo->nFileSizeLow) : 0;
}

CString CFileFind::GetFileName() const { return m_pFoundInfo ? CString(m_pFoundInfo->cFileName) : CString(); }

CString CFileFind::GetFilePath() const {
  CString path = m_strRoot;
  if (path.IsEmpty() || path[path.GetLength() - 1] != '/') path += '/';
  return path + GetFileName();
}

CString CFileFind::GetFileTitle() const { return TitleOf(GetFileName()); }
CString CFileFind::GetFileURL() const { return CString("file://") + GetFilePath(); }
CString CFileFind::GetRoot() const { return m_strRoot; }

BOOL CFileFind::GetLastWriteTime(FILETIME* p) const {
  if (!m_pFoundInfo || !p) return FALSE;
  *p = m_pFoundInfo->ftLastWriteTime;
  return TRUE;
}
BOOL CFileFind::GetLastAccessTime(FILETIME* p) const {
  if (!m_pFoundInfo || !p) return FALSE;
  *p = m_pFoundInfo->ftLastAccessTime;
  return TRUE;
}
BOOL CFileFind::GetCreationTime(FILETIME* p) const {
  if (!m_pFoundInfo || !p) return FALSE;
  *p = m_pFoundInfo->ftCreationTime;
  return TRUE;
}
BOOL CFileFind::GetLastWriteTime(CTime& t) const {
  if (!m_pFoundInfo) return FALSE;
  t = TimeOrZero(m_pFoundInfo->ftLastWriteTime);
  return TRUE;
}
BOOL CFileFind::GetLastAccessTime(CTime& t) const {
  if (!m_pFoundInfo) return FALSE;
  t = TimeOrZero(m_pFoundInfo->ftLastAccessTime);
  return TRUE;
}
BOOL CFileFind::GetCreationTime(CTime& t) const {
  if (!m_pFoundInfo) return FALSE;
  t = TimeOrZero(m_pFoundInfo->ftCreationTime);
  return TRUE;
}

BOOL CFileFind::IsDots() const {
  if (!m_pFoundInfo || !(m_pFoundInfo->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return FALSE;
  const char* n = m_pFoundInfo->cFileName;
  return (n[0] == '.' && n[1] == 0) || (n[0] == '.' && n[1] == '.' && n[2] == 0);
}

BOOL CFileFind::MatchesMask(DWORD dwMask) const {
  return m_pFoundInfo && (m_pFoundInfo->dwFileAttributes & dwMask) != 0;
}
