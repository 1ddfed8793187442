#include "platform/mfc/exceptions.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

std::atomic<kx::ExceptionReporterFn> g_reporter{nullptr};

// A message naming the file; "%s" stands for it.
BOOL FileMessage(const char* pattern, const CString& fileName, LPTSTR buffer, UINT maxChars) {
  CString text;
  text.Format(pattern, fileName.IsEmpty() ? "an unnamed file" : fileName.GetString());
  return kx::CopyMessage(text, buffer, maxChars);
}

}  // namespace

namespace kx {
void SetExceptionReporter(ExceptionReporterFn fn) { g_reporter.store(fn); }

BOOL CopyMessage(const char* text, LPTSTR buffer, UINT maxChars) {
  if (!buffer || maxChars == 0) return FALSE;
  size_t n = std::strlen(text);
  if (n > maxChars - 1) n = maxChars - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
  return TRUE;
}
}  // namespace kx

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CSimpleException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CSimpleException)
IMPLEMENT_DYNAMIC(CUserException, CSimpleException)
IMPLEMENT_DYNAMIC(CResourceException, CSimpleException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)
IMPLEMENT_DYNAMIC(COleException, CException)

CException::~CException() = default;
CSimpleException::~CSimpleException() = default;
CMemoryException::~CMemoryException() = default;
CNotSupportedException::~CNotSupportedException() = default;
CInvalidArgException::~CInvalidArgException() = default;
CUserException::~CUserException() = default;
CResourceException::~CResourceException() = default;
CFileException::~CFileException() = default;
CArchiveException::~CArchiveException() = default;
COleException::~COleException() = default;

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

BOOL CException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) const {
  if (pnHelpContext) *pnHelpContext = 0;
  if (lpszError && nMaxError) *lpszError = 0;
  return FALSE;
}

int CException::ReportError(UINT nType, UINT) const {
  char text[512];
  if (!GetErrorMessage(text, sizeof text)) kx::CopyMessage("An unknown error occurred.", text, sizeof text);
  if (kx::ExceptionReporterFn fn = g_reporter.load()) return fn(text, nType);
  std::fprintf(stderr, "%s\n", text);
  return 1;
}

BOOL CMemoryException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  return kx::CopyMessage("Out of memory.", s, n);
}

BOOL CNotSupportedException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  return kx::CopyMessage("The operation is not supported.", s, n);
}

BOOL CInvalidArgException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  return kx::CopyMessage("Encountered an improper argument.", s, n);
}

BOOL CResourceException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  return kx::CopyMessage("A required resource was unavailable.", s, n);
}

BOOL CFileException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  static const char* const kTexts[] = {
      "No error occurred while accessing %s.",
      "An unexpected error occurred while accessing %s.",
      "%s was not found.",
      "%s contains an incorrect path.",
      "Could not open %s because there are too many open files.",
      "Access to %s was denied.",
      "An incorrect file handle was associated with %s.",
      "Could not remove %s because it is the current directory.",
      "Could not create %s because the directory is full.",
      "Seek failed on %s.",
      "A hardware input/output error was reported while accessing %s.",
      "A sharing violation occurred while accessing %s.",
      "A locking violation occurred while accessing %s.",
      "Disk full while accessing %s.",
      "An attempt was made to access %s past its end.",
  };
  int cause = (m_cause >= 0 && m_cause <= endOfFile) ? m_cause : genericException;
  return FileMessage(kTexts[cause], m_strFileName, s, n);
}

int CFileException::OsErrorToException(LONG err) {
  switch (err) {
    case 0: return none;
    case 2: return fileNotFound;                       // ERROR_FILE_NOT_FOUND
    case 3: case 15: case 123: case 161: case 206:     // path, drive, name, bad path, too long
      return badPath;
    case 4: return tooManyOpenFiles;
    case 5: case 19: case 80: case 183: case 82:       // denied, write protect, exists, cannot make
      return err == 82 ? directoryFull : accessDenied;
    case 6: return invalidFile;
    case 16: return removeCurrentDir;
    case 25: case 131: return badSeek;
    case 21: case 23: case 27: case 29: case 30: case 31: case 1117: return hardIO;
    case 32: return sharingViolation;
    case 33: return lockViolation;
    case 39: case 112: return diskFull;
    case 38: return endOfFile;
    default: return genericException;
  }
}

int CFileException::ErrnoToException(int e) {
  switch (e) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR: case ENAMETOOLONG: case ELOOP: return badPath;
    case EMFILE: case ENFILE: return tooManyOpenFiles;
    case EACCES: case EPERM: case EROFS: case EEXIST: case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case ESPIPE: case EOVERFLOW: return badSeek;
    case EIO: return hardIO;
    case EBUSY: case ETXTBSY: return sharingViolation;
    case EDEADLK: case ENOLCK: return lockViolation;
    case ENOSPC: case EDQUOT: case EFBIG: return diskFull;
    default: return genericException;
  }
}

void CFileException::ThrowOsError(LONG err, LPCTSTR name) {
  throw new CFileException(OsErrorToException(err), err, name);
}

void CFileException::ThrowErrno(int e, LPCTSTR name) { throw new CFileException(ErrnoToException(e), e, name); }

BOOL CArchiveException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  static const char* const kTexts[] = {
      "No error occurred while accessing %s.",
      "An unexpected error occurred while accessing %s.",
      "Tried to write to %s, which is open for reading.",
      "An attempt was made to read %s past its end.",
      "Tried to read from %s, which is open for writing.",
      "%s has an incorrect format.",
      "%s contains an unexpected object.",
      "%s contains an incorrect schema.",
      "The archive buffer of %s is full.",
  };
  int cause = (m_cause >= 0 && m_cause <= bufferFull) ? m_cause : genericException;
  return FileMessage(kTexts[cause], m_strFileName, s, n);
}

BOOL COleException::GetErrorMessage(LPTSTR s, UINT n, UINT* help) const {
  if (help) *help = 0;
  CString text;
  text.Format("The operation failed with status 0x%08X.", static_cast<unsigned>(m_sc));
  return kx::CopyMessage(text, s, n);
}

HRESULT COleException::Process(const CException* e) {
  if (!e) return S_OK;
  if (e->IsKindOf(RUNTIME_CLASS(COleException))) return static_cast<const COleException*>(e)->m_sc;
  if (e->IsKindOf(RUNTIME_CLASS(CMemoryException))) return E_OUTOFMEMORY;
  if (e->IsKindOf(RUNTIME_CLASS(CNotSupportedException))) return E_NOTIMPL;
  if (e->IsKindOf(RUNTIME_CLASS(CInvalidArgException))) return E_INVALIDARG;
  return E_UNEXPECTED;
}

void AfxThrowMemoryException() {
  // Must not need memory of its own: one static object, never deleted.
  static CMemoryException* const instance = new (std::nothrow) CMemoryException(FALSE);
  if (!instance) std::terminate();
  throw instance;
}
void AfxThrowNotSupportedException() { throw new CNotSupportedException; }
void AfxThrowInvalidArgException() { throw new CInvalidArgException; }
void AfxThrowUserException() { throw new CUserException; }
void AfxThrowResourceException() { throw new CResourceException; }
void AfxThrowFileException(int cause, LONG err, LPCTSTR name) { throw new CFileException(cause, err, name); }
void AfxThrowArchiveException(int cause, LPCTSTR name) { throw new CArchiveException(cause, name); }
void AfxThrowOleException(HRESULT sc) { throw new COleException(sc); }
