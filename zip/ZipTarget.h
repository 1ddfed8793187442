// The file an entry is extracted to: an unnamed file in the target's folder (readable by its owner only, see
// kx::CNewFile), written through its own descriptor, given the entry's time there, and given the target's name
// (and its mode) only once it is whole, so that a failed, stopped or killed extraction leaves no partial output,
// no plaintext for others to read, and an existing target as it was.
#pragma once

#include <ctime>

#include "platform/mfc/cstring.h"
#include "platform/win32/newfile.h"
#include "platform/win32/types.h"

class CZipTargetFile {
 public:
  CZipTargetFile() = default;
  // An unfinished file is removed.
  ~CZipTargetFile() { Discard(); }
  CZipTargetFile(const CZipTargetFile&) = delete;
  CZipTargetFile& operator=(const CZipTargetFile&) = delete;

  // Makes the new file in target's folder (an existing target's permissions are kept for it); false, nothing
  // made, when it cannot be made.
  bool Create(const CString& target);
  // Raises a CFileException when the data cannot be written.
  void Write(const void* data, DWORD size);
  // The entry's modification time and MS-DOS attributes (read-only clears the write bits, applied when the file
  // is named); false when the time could not be set.
  bool SetTimeAndAttributes(time_t modified, DWORD attributes);
  // Puts the file in the target's place; raises a CFileException when that fails (the new file is then
  // removed).
  void Commit();
  void Discard();

 private:
  kx::CNewFile m_file;
  CString m_target;
  mode_t m_mode = 0;
};
