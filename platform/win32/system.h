// Atoms, environment, version, strings and the small process facts.
#pragma once

#include "platform/win32/types.h"

// Atoms: integer atoms (below 0xC000, also written "#123") stand for themselves; string atoms are counted
// references to a case-insensitive table (0xC000 upwards). The global table is per process here.
KXAPI ATOM GlobalAddAtom(LPCSTR name);
inline constexpr auto& GlobalAddAtomA = GlobalAddAtom;
KXAPI ATOM GlobalFindAtom(LPCSTR name);
inline constexpr auto& GlobalFindAtomA = GlobalFindAtom;
KXAPI ATOM GlobalDeleteAtom(ATOM atom);  // 0 on success
KXAPI UINT GlobalGetAtomName(ATOM atom, LPSTR buffer, int size);
inline constexpr auto& GlobalGetAtomNameA = GlobalGetAtomName;
KXAPI ATOM AddAtom(LPCSTR name);
inline constexpr auto& AddAtomA = AddAtom;
KXAPI ATOM FindAtom(LPCSTR name);
inline constexpr auto& FindAtomA = FindAtom;
KXAPI ATOM DeleteAtom(ATOM atom);
KXAPI UINT GetAtomName(ATOM atom, LPSTR buffer, int size);
inline constexpr auto& GetAtomNameA = GetAtomName;
#define MAKEINTATOM(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))

// Returns the length without terminator when it fits, else the size needed with it; 0 and
// ERROR_ENVVAR_NOT_FOUND for an unset variable.
KXAPI DWORD GetEnvironmentVariable(LPCSTR name, LPSTR buffer, DWORD size);
inline constexpr auto& GetEnvironmentVariableA = GetEnvironmentVariable;
KXAPI BOOL SetEnvironmentVariable(LPCSTR name, LPCSTR value);  // value null removes it
inline constexpr auto& SetEnvironmentVariableA = SetEnvironmentVariable;
// "%NAME%" replaced by its value (unset names stay as written); returns the size with terminator.
KXAPI DWORD ExpandEnvironmentStrings(LPCSTR source, LPSTR buffer, DWORD size);
inline constexpr auto& ExpandEnvironmentStringsA = ExpandEnvironmentStrings;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
using OSVERSIONINFO = OSVERSIONINFOA;
using OSVERSIONINFOEX = OSVERSIONINFOEXA;
using LPOSVERSIONINFOA = OSVERSIONINFOA*;
using LPOSVERSIONINFO = OSVERSIONINFOA*;
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA layout");
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 1
#define VER_NT_DOMAIN_CONTROLLER 2
#define VER_NT_SERVER 3
#define VER_SUITE_SINGLEUSERTS 0x0100

// One fixed version: Windows XP 5.1.2600, service pack 2, NT family, workstation. dwOSVersionInfoSize must be
// 148 or 156 (ERROR_INSUFFICIENT_BUFFER otherwise). The module "KERNEL32.DLL" is built in and exports
// "GetVersionExA" and "GetVersion".
KXAPI BOOL GetVersionEx(LPOSVERSIONINFOA info);
inline constexpr auto& GetVersionExA = GetVersionEx;
// major in the low byte, minor in the next, build in the high word (bit 31 clear for the NT family).
KXAPI DWORD GetVersion();

KXAPI int lstrlen(LPCSTR s);
inline constexpr auto& lstrlenA = lstrlen;
KXAPI LPSTR lstrcpy(LPSTR to, LPCSTR from);
inline constexpr auto& lstrcpyA = lstrcpy;
KXAPI LPSTR lstrcpyn(LPSTR to, LPCSTR from, int max);  // at most max-1 characters and the terminator
inline constexpr auto& lstrcpynA = lstrcpyn;
KXAPI LPSTR lstrcat(LPSTR to, LPCSTR from);
inline constexpr auto& lstrcatA = lstrcat;
// Word order as the platform's: letters compare without case first, then lower case before upper case at the
// first difference. Results are -1, 0 or 1.
KXAPI int lstrcmp(LPCSTR a, LPCSTR b);
inline constexpr auto& lstrcmpA = lstrcmp;
KXAPI int lstrcmpi(LPCSTR a, LPCSTR b);
inline constexpr auto& lstrcmpiA = lstrcmpi;

namespace kx {
// Tests: answer another version (for example Windows Me or Windows 2000); null returns to the fixed one.
// extendedFails makes the 156-byte form of GetVersionEx fail so that callers take their fallback path.
KXAPI void SetVersionForTests(const OSVERSIONINFOEXA* version, bool extendedFails = false);
}  // namespace kx
