// The framework's exceptions. They are raised as pointers (`throw new CFileException(...)`, or through the
// AfxThrow functions) and the catcher disposes of them with Delete().
#pragma once

#include "platform/mfc/cobject.h"
#include "platform/mfc/cstring.h"

class KXAPI CException : public CObject {
  DECLARE_DYNAMIC(CException)
 public:
  // Auto-deleting exceptions (the default) are freed by Delete(); others (static ones) are left alone.
  explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
  ~CException() override;

  void Delete();
  // Copies the message text (truncated to maxChars - 1 bytes) and answers whether there was one.
  virtual BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const;
  // Shows the message in a message box; the window layer installs the box (until then it goes to stderr).
  virtual int ReportError(UINT nType = 0, UINT nMessageID = 0) const;

  BOOL m_bAutoDelete;
};

class KXAPI CSimpleException : public CException {
  DECLARE_DYNAMIC(CSimpleException)
 public:
  explicit CSimpleException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}
  ~CSimpleException() override;
};

class KXAPI CMemoryException : public CSimpleException {
  DECLARE_DYNAMIC(CMemoryException)
 public:
  explicit CMemoryException(BOOL bAutoDelete = TRUE) : CSimpleException(bAutoDelete) {}
  ~CMemoryException() override;
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;
};

class KXAPI CNotSupportedException : public CSimpleException {
  DECLARE_DYNAMIC(CNotSupportedException)
 public:
  explicit CNotSupportedException(BOOL bAutoDelete = TRUE) : CSimpleException(bAutoDelete) {}
  ~CNotSupportedException() override;
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;
};

class KXAPI CInvalidArgException : public CSimpleException {
  DECLARE_DYNAMIC(CInvalidArgException)
 public:
  explicit CInvalidArgException(BOOL bAutoDelete = TRUE) : CSimpleException(bAutoDelete) {}
  ~CInvalidArgException() override;
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;
};

class KXAPI CUserException : public CSimpleException {
  DECLARE_DYNAMIC(CUserException)
 public:
  explicit CUserException(BOOL bAutoDelete = TRUE) : CSimpleException(bAutoDelete) {}
  ~CUserException() override;
};

class KXAPI CResourceException : public CSimpleException {
  DECLARE_DYNAMIC(CResourceException)
 public:
  explicit CResourceException(BOOL bAutoDelete = TRUE) : CSimpleException(bAutoDelete) {}
  ~CResourceException() override;
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;
};

class KXAPI CFileException : public CException {
  DECLARE_DYNAMIC(CFileException)
 public:
  enum {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14,
  };

  explicit CFileException(int cause = none, LONG lOsError = -1, LPCTSTR lpszArchiveName = nullptr)
      : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszArchiveName) {}
  ~CFileException() override;

  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;

  // Maps a Win32 error code (GetLastError) or a C errno value to a cause.
  static int OsErrorToException(LONG lOsError);
  static int ErrnoToException(int nErrno);
  [[noreturn]] static void ThrowOsError(LONG lOsError, LPCTSTR lpszFileName = nullptr);
  [[noreturn]] static void ThrowErrno(int nErrno, LPCTSTR lpszFileName = nullptr);

  int m_cause;
  LONG m_lOsError;
  CString m_strFileName;
};

class KXAPI CArchiveException : public CException {
  DECLARE_DYNAMIC(CArchiveException)
 public:
  enum {
    none = 0,
    genericException = 1,
    readOnly = 2,
    endOfFile = 3,
    writeOnly = 4,
    badIndex = 5,
    badClass = 6,
    badSchema = 7,
    bufferFull = 8,
  };

  explicit CArchiveException(int cause = none, LPCTSTR lpszArchiveName = nullptr)
      : m_cause(cause), m_strFileName(lpszArchiveName) {}
  ~CArchiveException() override;

  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;

  int m_cause;
  CString m_strFileName;
};

// An OLE failure carrying its status code (from COleVariant and the OLE date classes).
class KXAPI COleException : public CException {
  DECLARE_DYNAMIC(COleException)
 public:
  explicit COleException(HRESULT sc = 0) : m_sc(sc) {}
  ~COleException() override;
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;
  static HRESULT Process(const CException* e);

  HRESULT m_sc;
};

[[noreturn]] KXAPI void AfxThrowMemoryException();
[[noreturn]] KXAPI void AfxThrowNotSupportedException();
[[noreturn]] KXAPI void AfxThrowInvalidArgException();
[[noreturn]] KXAPI void AfxThrowUserException();
[[noreturn]] KXAPI void AfxThrowResourceException();
[[noreturn]] KXAPI void AfxThrowFileException(int cause, LONG lOsError = -1, LPCTSTR lpszFileName = nullptr);
[[noreturn]] KXAPI void AfxThrowArchiveException(int cause, LPCTSTR lpszArchiveName = nullptr);
[[noreturn]] KXAPI void AfxThrowOleException(HRESULT sc);

namespace kx {
// Where CException::ReportError shows its text; the window layer installs AfxMessageBox here.
using ExceptionReporterFn = int (*)(const char* text, UINT type);
KXAPI void SetExceptionReporter(ExceptionReporterFn fn);
// Copies text into a caller's buffer of maxChars bytes (terminated, truncated); FALSE for a null buffer.
KXAPI BOOL CopyMessage(const char* text, LPTSTR buffer, UINT maxChars);
}  // namespace kx
