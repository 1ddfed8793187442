// Resources of modules: string tables, dialog templates, bitmaps, icons and cursors of a library built from
// resources/ (see platform/mfc/resfile.h). A resource name is an integer id (MAKEINTRESOURCE), "#<number>", or a
// name. The window system's image and dialog loaders find their bytes here too (the loader installs itself as
// the window system's resource source when the platform loads).
#pragma once

#include "platform/win32/types.h"

// Copies the string into the buffer (cut to size - 1 bytes, never inside a UTF-8 sequence, terminated) and
// returns its length; 0 when the module has no such string. With size 0 the buffer receives a pointer to the
// read-only text and the result is its full length.
KXAPI int LoadString(HINSTANCE module, UINT id, LPSTR buffer, int size);
inline int LoadStringA(HINSTANCE m, UINT id, LPSTR b, int s) { return LoadString(m, id, b, s); }

KXAPI HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type);
inline HRSRC FindResourceA(HMODULE m, LPCSTR n, LPCSTR t) { return FindResource(m, n, t); }
KXAPI HGLOBAL LoadResource(HMODULE module, HRSRC resource);
KXAPI LPVOID LockResource(HGLOBAL data);
KXAPI DWORD SizeofResource(HMODULE module, HRSRC resource);
inline BOOL FreeResource(HGLOBAL) { return FALSE; }

constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

namespace kx {
// The raw bytes of a resource, or false when the module has none of that type and name.
KXAPI bool FindResourceBytes(HMODULE module, LPCSTR name, UINT type, const unsigned char** data, size_t* size);
}  // namespace kx
