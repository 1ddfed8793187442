// BSTR: 16-bit characters behind a 4-byte byte-length prefix, always followed by a zero character.
// Binary BSTRs (SysAllocStringByteLen) carry raw bytes; their length may be odd.
#pragma once

#include "platform/win32/types.h"

extern "C" {
KXAPI BSTR SysAllocString(const OLECHAR* s);
KXAPI BSTR SysAllocStringLen(const OLECHAR* s, UINT len);
KXAPI BSTR SysAllocStringByteLen(const char* bytes, UINT len);
KXAPI int SysReAllocString(BSTR* target, const OLECHAR* s);
KXAPI int SysReAllocStringLen(BSTR* target, const OLECHAR* s, UINT len);
KXAPI void SysFreeString(BSTR s);
KXAPI UINT SysStringLen(BSTR s);
KXAPI UINT SysStringByteLen(BSTR s);
}
