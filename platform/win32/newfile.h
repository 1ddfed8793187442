// A new file written in its target folder where a crash or a kill leaves nothing behind: an unnamed file
// (O_TMPFILE, readable by its owner only) that gets its name only when whole. Where the file system cannot
// make unnamed files, a hidden temporary of our own kind (".~kx<pid>-<start>-<n>.kxpart") stands in; those of a
// process that is gone are swept from a folder whenever a new file is made there.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/win32/types.h"

namespace kx {

class KXAPI CNewFile {
 public:
  CNewFile() = default;
  // An unnamed file goes with its owner; a temporary is removed.
  ~CNewFile() { Discard(); }
  CNewFile(const CNewFile&) = delete;
  CNewFile& operator=(const CNewFile&) = delete;

  // Makes the empty file in folder ("" is the current folder), mode 0600; false with errno set when it cannot.
  bool Create(const std::string& folder);
  bool IsCreated() const { return m_fd >= 0; }
  // A path this process can open the file by, for writers that take a path (/proc/self/fd/N for an unnamed
  // file); only good until Name or Discard.
  const std::string& Path() const { return m_path; }
  int Fd() const { return m_fd; }
  // True when the file has no name (the fallback temporary is false).
  bool IsUnnamed() const { return m_temporary.empty() && m_fd >= 0; }

  // Gives the file its name with the given permission bits (write bits dropped when the writer made the
  // file read-only). Without replace an existing name is never replaced: false with errno EEXIST. With
  // replace the file takes an existing file's place at once. False, errno set, the file kept, on failure.
  bool Name(const std::string& name, mode_t mode, bool replace = false);
  bool IsNamed() const { return m_named; }
  // Removes what was made (nothing after Name).
  void Discard();

 private:
  bool LinkTo(const std::string& name);
  int m_fd = -1;
  std::string m_path;
  std::string m_temporary;
  bool m_named = false;
};

// The permission bits of a new file under the process's umask (0666 less the umask).
KXAPI mode_t ModeFromUmask();
// True for a name (last path component) of this platform's own temporary kind.
KXAPI bool IsNewFileTemporary(const std::string& name);
// Removes folder's temporaries of our own kind whose process is gone (owned by this user, regular files).
KXAPI void SweepStaleTemporaries(const std::string& folder);
// Tests: false makes Create act as on a file system without unnamed files.
KXAPI void SetUnnamedFilesForTests(bool allowed);

}  // namespace kx
