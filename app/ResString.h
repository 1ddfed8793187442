// User-visible texts of the resource library, by string id.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

// The text of that id in the resource library's string table (at most 1047 characters), or an empty string
// when the id is missing or the resource library is not loaded. out receives it too.
CString LoadResString(CString& out, UINT id);
// The same, for callers that only want the text.
CString LoadResString(UINT id);
