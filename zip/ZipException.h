// The one error type of the zip library: a cause code and the name of the file concerned. Raised as a
// pointer; the catcher deletes it with Delete().
#pragma once

#include "platform/mfc/exceptions.h"
#include "platform/mfc/cstring.h"

class CZipException : public CException {
  DECLARE_DYNAMIC(CZipException)
 public:
  enum {
    generic = 100,          // bytes moved while deleting differ; a zlib result without code of its own
    badZipFile = 101,       // unsupported method, inconsistent or truncated records, unsafe entry name
    badCrc = 102,           // the extracted data's CRC-32 differs from the header's
    noCallback = 103,       // removable-disk span without span callback
    aborted = 104,          // the span callback said stop
    nonRemovable = 105,     // removable-disk span on a fixed drive
    tooManyVolumes = 106,   // a 1000th volume would be needed
    tooLongFileName = 107,  // name, extra field or comment of 65536 bytes or more
    badPassword = 108,      // the password does not match the entry's encryption header
    dirWithSize = 109,      // a folder entry holds data
    internal = 110,         // entry index out of range
    notRemoved = 111,       // a file could not be removed
    notRenamed = 112,       // a file could not be renamed
    platfNotSupp = 113,     // host system without attribute converter
    cdirNotFound = 114,     // no end of central directory record in the last 65557 bytes
    tooBig = 115,           // a size or offset would pass the 4 GiB the format's 32-bit fields hold
    streamEnd = 500,
    needDict = 501,
    errNo = 502,
    streamError = 503,
    dataError = 504,
    memError = 505,
    bufError = 506,
    versionError = 507,
  };

  explicit CZipException(int cause = generic, LPCTSTR zipName = nullptr);
  ~CZipException() override;

  [[noreturn]] static void Throw(int cause = generic, LPCTSTR zipName = nullptr);
  static int ZlibToCause(int zlibErr);

  int m_iCause;
  CString m_szFileName;
};
