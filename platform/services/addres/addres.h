// The suite's resource-string module "KXAddRes.DLL" (libkxaddres.so): a string table of its own, read by number
// through its one export, LoadStringAddResID. The certificate policy takes its verdict texts from it and the
// one-click runner its two messages. Its table is resources/addres/strings.kxr.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

// The module's export: copies string id into the buffer (cut to size - 1 bytes, terminated) and returns its
// length; 0 and an empty buffer when the module has no such string.
extern "C" {
using LoadStringAddResIDFn = int (*)(UINT id, LPSTR buffer, int size);
}

inline constexpr const char* kAddResModuleName = "KXAddRes.DLL";
inline constexpr const char* kAddResExportName = "LoadStringAddResID";

namespace kx {
// String id of the module, loaded by name on first use (and kept loaded); an empty text when the module or
// its export cannot be found or it has no such string.
KXAPI CString LoadAddResString(UINT id);
}  // namespace kx
