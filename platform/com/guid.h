// GUIDs: text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", constants written from their text, and the
// platform's conversion functions.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/types.h"

namespace kx {

constexpr int HexDigit(char c) {
  return (c >= '0' && c <= '9') ? c - '0'
         : (c >= 'a' && c <= 'f') ? c - 'a' + 10
         : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                  : -1;
}

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces; false for anything else.
constexpr bool ParseGuid(std::string_view s, GUID& out) {
  if (s.size() == 38) {
    if (s.front() != '{' || s.back() != '}') return false;
    s = s.substr(1, 36);
  }
  if (s.size() != 36) return false;
  uint8_t bytes[16] = {};
  int b = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (s[i] != '-') return false;
      ++i;
      continue;
    }
    int hi = HexDigit(s[i]);
    int lo = HexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[b++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  if (b != 16) return false;
  out.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
  out.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  out.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) out.Data4[i] = bytes[8 + i];
  return true;
}

// A GUID constant from its text; a malformed text stops the compilation when used in a constant.
consteval GUID MakeGuid(std::string_view s) {
  GUID g{};
  if (!ParseGuid(s, g)) throw "malformed GUID text";
  return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
KXAPI std::string GuidToString(const GUID& g);
KXAPI std::u16string GuidToWide(const GUID& g);

// Interface identifiers by type: KX_DEFINE_IID(IFoo, "...") at global scope makes KX_IIDOF(IFoo) and the
// smart pointers work for IFoo.
template <class I>
struct IidOf;

}  // namespace kx

// Defines a named GUID constant from its text: KX_DEFINE_GUID(CLSID_Certificate, "{E38FD381-...}").
#define KX_DEFINE_GUID(name, text) inline constexpr GUID name = kx::MakeGuid(text)

#define KX_DEFINE_IID(Interface, text)                           \
  template <>                                                    \
  struct kx::IidOf<Interface> {                                  \
    static constexpr GUID value = kx::MakeGuid(text);            \
  };                                                             \
  inline constexpr GUID IID_##Interface = kx::IidOf<Interface>::value

#define KX_IIDOF(Interface) (kx::IidOf<Interface>::value)

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID IID_NULL = GUID_NULL;
inline constexpr GUID CLSID_NULL = GUID_NULL;

using LPCLSID = CLSID*;
using LPIID = IID*;
using LPGUID = GUID*;

extern "C" {
// Writes the braced text and its terminator; answers the characters written including the terminator, or 0
// when cchMax is too small.
KXAPI int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Allocates the braced text with CoTaskMemAlloc.
KXAPI HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
KXAPI HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// Braced text, or a registered ProgID; CO_E_CLASSSTRING when it is neither.
KXAPI HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// Braced text only; E_INVALIDARG otherwise.
KXAPI HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// A random (version 4) GUID from the system's random source.
KXAPI HRESULT CoCreateGuid(GUID* pguid);
}
