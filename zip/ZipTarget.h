// The file an entry is extracted to: a new file beside the target, written through its own descriptor,
// given the entry's time and attributes there, and renamed over the target only once it is whole, so that a
// failed or stopped extraction leaves no partial output and an existing target as it was.
#pragma once

#include <ctime>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CZipTargetFile {
 public:
  CZipTargetFile() = default;
  // An unfinished file is removed.
  ~CZipTargetFile() { Discard(); }
  CZipTargetFile(const CZipTargetFile&) = delete;
  CZipTargetFile& operator=(const CZipTargetFile&) = delete;

  // Makes the new file beside target (an existing target's permissions are kept); false, nothing made, when
  // it cannot be made.
  bool Create(const CString& target);
  // Raises a CFileException when the data cannot be written.
  void Write(const void* data, DWORD size);
  // The entry's modification time and MS-DOS attributes (read-only clears the write bits); false when either
  // could not be set.
  bool SetTimeAndAttributes(time_t modified, DWORD attributes);
  // Closes the file and puts it in the target's place; raises a CFileException when that fails (the new file
  // is then removed).
  void Commit();
  void Discard();

 private:
  int m_fd = -1;
  CString m_target;
  CString m_temp;
};
