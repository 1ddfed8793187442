// Thread error codes, system message texts and MulDiv.
#pragma once

#include <cstdarg>

#include "platform/win32/types.h"

// Each thread has its own last-error code, as on the platform.
KXAPI DWORD GetLastError();
KXAPI void SetLastError(DWORD code);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((WORD)((((WORD)(s)) << 10) | (WORD)(p)))

// FROM_SYSTEM knows the texts of the codes this platform reports (and HRESULTs of facility WIN32); each text
// ends with "\r\n" as the platform's do. FROM_STRING copies the text; inserts %1..%99 take string arguments
// (or "%n!d!"-style printf specs) unless IGNORE_INSERTS is given, in which case they stay as written.
// With ALLOCATE_BUFFER, *(char**)buffer receives a LocalAlloc block (free with LocalFree).
// Returns the number of characters stored, without the terminator; 0 and a last error on failure.
KXAPI DWORD FormatMessage(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                          va_list* arguments);
inline constexpr auto& FormatMessageA = FormatMessage;

// a * b / c computed in 64 bits, rounded half away from zero; -1 when c is 0 or the result does not fit.
KXAPI int MulDiv(int a, int b, int c);

namespace kx {
// The platform code for an errno value (ENOENT -> 2, EACCES -> 5, ...).
KXAPI DWORD Win32ErrorFromErrno(int err);
// Sets the last error from errno and returns FALSE, for the common failure path.
KXAPI BOOL FailWithErrno(int err);
// The system text of a code without the trailing line break, or "" when unknown.
KXAPI const char* SystemMessageText(DWORD code);
}  // namespace kx
