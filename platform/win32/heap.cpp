#include "platform/win32/heap.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/errors.h"

namespace {

// Header in front of every block; the handle is the address right after it.
struct alignas(16) BlockHeader {
  uint64_t magic;
  size_t size;
  int locks;
};
constexpr uint64_t kMagic = 0x4B58424C4F434B21ull;  // "KXBLOCK!"

BlockHeader* HeaderOf(const void* p) {
  if (!p) return nullptr;
  auto* h = reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(p)) - sizeof(BlockHeader));
  return h->magic == kMagic ? h : nullptr;
}

void* AllocBlock(size_t bytes, bool zero) {
  auto* h = static_cast<BlockHeader*>(malloc(sizeof(BlockHeader) + (bytes ? bytes : 1)));
  if (!h) { SetLastError(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
  h->magic = kMagic;
  h->size = bytes;
  h->locks = 0;
  if (zero) memset(h + 1, 0, bytes);
  return h + 1;
}

void* ReAllocBlock(void* p, size_t bytes, bool zero) {
  BlockHeader* h = HeaderOf(p);
  if (!h) { SetLastError(ERROR_INVALID_HANDLE); return nullptr; }
  size_t old = h->size;
  auto* n = static_cast<BlockHeader*>(realloc(h, sizeof(BlockHeader) + (bytes ? bytes : 1)));
  if (!n) { SetLastError(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
  n->size = bytes;
  if (zero && bytes > old) memset(reinterpret_cast<char*>(n + 1) + old, 0, bytes - old);
  return n + 1;
}

void* FreeBlock(void* p) {
  if (!p) return nullptr;
  BlockHeader* h = HeaderOf(p);
  if (!h) { SetLastError(ERROR_INVALID_HANDLE); return p; }
  h->magic = 0;
  free(h);
  return nullptr;
}

int g_processHeap;

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return AllocBlock(bytes, flags & GMEM_ZEROINIT); }
HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) { return ReAllocBlock(mem, bytes, flags & GMEM_ZEROINIT); }
LPVOID GlobalLock(HGLOBAL mem) {
  BlockHeader* h = HeaderOf(mem);
  if (!h) { SetLastError(ERROR_INVALID_HANDLE); return nullptr; }
  ++h->locks;
  return mem;
}
BOOL GlobalUnlock(HGLOBAL mem) {
  BlockHeader* h = HeaderOf(mem);
  if (!h) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
  if (h->locks > 0) --h->locks;
  if (h->locks == 0) { SetLastError(NO_ERROR); return FALSE; }
  return TRUE;
}
SIZE_T GlobalSize(HGLOBAL mem) {
  BlockHeader* h = HeaderOf(mem);
  if (!h) { SetLastError(ERROR_INVALID_HANDLE); return 0; }
  return h->size;
}
HGLOBAL GlobalFree(HGLOBAL mem) { return FreeBlock(mem); }
HGLOBAL GlobalHandle(LPCVOID p) { return HeaderOf(p) ? const_cast<void*>(p) : nullptr; }

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) { return AllocBlock(bytes, flags & LMEM_ZEROINIT); }
HLOCAL LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags) { return ReAllocBlock(mem, bytes, flags & LMEM_ZEROINIT); }
LPVOID LocalLock(HLOCAL mem) { return GlobalLock(mem); }
BOOL LocalUnlock(HLOCAL mem) { return GlobalUnlock(mem); }
SIZE_T LocalSize(HLOCAL mem) { return GlobalSize(mem); }
HLOCAL LocalFree(HLOCAL mem) { return FreeBlock(mem); }

HANDLE GetProcessHeap() { return &g_processHeap; }
LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) { return AllocBlock(bytes, flags & HEAP_ZERO_MEMORY); }
LPVOID HeapReAlloc(HANDLE, DWORD flags, LPVOID p, SIZE_T bytes) { return ReAllocBlock(p, bytes, flags & HEAP_ZERO_MEMORY); }
BOOL HeapFree(HANDLE, DWORD, LPVOID p) { return FreeBlock(p) == nullptr; }
SIZE_T HeapSize(HANDLE, DWORD, LPCVOID p) {
  BlockHeader* h = HeaderOf(p);
  return h ? h->size : static_cast<SIZE_T>(-1);
}

PVOID SecureZeroMemory(PVOID p, SIZE_T bytes) {
  volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
  for (SIZE_T i = 0; i < bytes; ++i) v[i] = 0;
  return p;
}

namespace kx {
void WipeString(std::string& s) {
  s.resize(s.capacity());
  SecureZeroMemory(s.data(), s.size());
  s.clear();
}
}  // namespace kx
