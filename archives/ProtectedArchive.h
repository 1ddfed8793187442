// Opening a protected archive (what the archive wizard's run writes): its zip archive is verified and
// decrypted through the signer wizard's own reading path into a plain copy in a temporary folder of its own,
// which the caller opens and removes again.
#pragma once

#include "platform/mfc/cstring.h"

namespace kx::archives {

// 0: the file is no protected file (it is opened as it is); 1: its zip archive was written to copy; -1: it is
// a protected file that could not be read (or not verified), reason says why. Call with COM initialised.
int OpenProtectedArchive(const CString& path, CString& copy, CString& reason);
// Removes the copy and its temporary folder.
void RemoveProtectedCopy(const CString& copy);

}  // namespace kx::archives
