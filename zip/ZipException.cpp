#include "zip/ZipException.h"

#include <zlib.h>

IMPLEMENT_DYNAMIC(CZipException, CException)

CZipException::CZipException(int cause, LPCTSTR zipName) : CException(TRUE), m_iCause(cause), m_szFileName(zipName) {}

CZipException::~CZipException() = default;

void CZipException::Throw(int cause, LPCTSTR zipName) { throw new CZipException(cause, zipName); }

int CZipException::ZlibToCause(int zlibErr) {
  switch (zlibErr) {
    case Z_STREAM_END: return streamEnd;
    case Z_NEED_DICT: return needDict;
    case Z_ERRNO: return errNo;
    case Z_STREAM_ERROR: return streamError;
    case Z_DATA_ERROR: return dataError;
    case Z_MEM_ERROR: return memError;
    case Z_BUF_ERROR: return bufError;
    case Z_VERSION_ERROR: return versionError;
    default: return generic;
  }
}
