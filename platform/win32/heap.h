// Memory blocks of the platform's allocators (global, local and process heap).
#pragma once

#include <string>

#include "platform/win32/types.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define HEAP_ZERO_MEMORY 0x00000008

// A handle of either kind is the address of the block itself, so fixed blocks may be used directly and
// GlobalLock returns the same address. Blocks never move; the lock count is kept for GlobalFlags-style callers.
KXAPI HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
KXAPI HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
KXAPI LPVOID GlobalLock(HGLOBAL mem);
KXAPI BOOL GlobalUnlock(HGLOBAL mem);   // FALSE with last error 0 once the lock count reaches 0
KXAPI SIZE_T GlobalSize(HGLOBAL mem);
KXAPI HGLOBAL GlobalFree(HGLOBAL mem);  // NULL on success, the handle when it is not a block of ours
KXAPI HGLOBAL GlobalHandle(LPCVOID p);
KXAPI HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
KXAPI HLOCAL LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags);
KXAPI LPVOID LocalLock(HLOCAL mem);
KXAPI BOOL LocalUnlock(HLOCAL mem);
KXAPI SIZE_T LocalSize(HLOCAL mem);
KXAPI HLOCAL LocalFree(HLOCAL mem);

KXAPI HANDLE GetProcessHeap();
KXAPI LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
KXAPI LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T bytes);
KXAPI BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID p);
KXAPI SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID p);

// Overwrites memory that held a secret; unlike a plain memset, never dropped as a dead store.
KXAPI PVOID SecureZeroMemory(PVOID p, SIZE_T bytes);

namespace kx {
// Overwrites the whole buffer of a string that held a secret (its spare capacity too) and empties it.
KXAPI void WipeString(std::string& s);
}  // namespace kx
