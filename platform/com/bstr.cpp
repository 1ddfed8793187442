#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

namespace {

// Layout: [uint32 byte length][bytes][two zero bytes]; the BSTR points at the bytes.
BSTR AllocBytes(const void* src, UINT byteLen) {
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(uint32_t) + byteLen + 2));
  if (!block) return nullptr;
  uint32_t n = byteLen;
  std::memcpy(block, &n, sizeof n);
  unsigned char* data = block + sizeof(uint32_t);
  if (src) {
    std::memcpy(data, src, byteLen);
  } else {
    std::memset(data, 0, byteLen);
  }
  data[byteLen] = 0;
  data[byteLen + 1] = 0;
  return reinterpret_cast<BSTR>(data);
}

UINT WideLen(const OLECHAR* s) {
  UINT n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* s) { return s ? SysAllocStringLen(s, WideLen(s)) : nullptr; }

BSTR SysAllocStringLen(const OLECHAR* s, UINT len) { return AllocBytes(s, len * sizeof(OLECHAR)); }

BSTR SysAllocStringByteLen(const char* bytes, UINT len) { return AllocBytes(bytes, len); }

int SysReAllocString(BSTR* target, const OLECHAR* s) {
  if (!target) return FALSE;
  BSTR n = SysAllocString(s);
  if (s && !n) return FALSE;
  SysFreeString(*target);
  *target = n;
  return TRUE;
}

int SysReAllocStringLen(BSTR* target, const OLECHAR* s, UINT len) {
  if (!target) return FALSE;
  BSTR n = SysAllocStringLen(s, len);
  if (!n) return FALSE;
  SysFreeString(*target);
  *target = n;
  return TRUE;
}

void SysFreeString(BSTR s) {
  if (s) std::free(reinterpret_cast<unsigned char*>(s) - sizeof(uint32_t));
}

UINT SysStringByteLen(BSTR s) {
  if (!s) return 0;
  uint32_t n;
  std::memcpy(&n, reinterpret_cast<unsigned char*>(s) - sizeof(uint32_t), sizeof n);
  return n;
}

UINT SysStringLen(BSTR s) { return SysStringByteLen(s) / sizeof(OLECHAR); }

}  // extern "C"
