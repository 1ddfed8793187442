#include "platform/com/guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/com/combase.h"

namespace kx {

std::string GuidToString(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return text;
}

std::u16string GuidToWide(const GUID& g) {
  std::string s = GuidToString(g);
  return std::u16string(s.begin(), s.end());
}

}  // namespace kx

namespace {

// The ASCII text of a wide string, or false when it holds anything else (or is too long for a GUID).
bool NarrowAscii(LPCOLESTR s, std::string& out, size_t maxLen) {
  out.clear();
  for (; *s; ++s) {
    if (*s > 0x7F || out.size() >= maxLen) return false;
    out.push_back(static_cast<char>(*s));
  }
  return true;
}

bool ParseBraced(LPCOLESTR s, GUID* g) {
  std::string text;
  if (!s || !NarrowAscii(s, text, 38) || text.size() != 38) return false;
  return kx::ParseGuid(text, *g);
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  std::u16string w = kx::GuidToWide(rguid);
  if (!lpsz || cchMax < static_cast<int>(w.size()) + 1) return 0;
  std::memcpy(lpsz, w.c_str(), (w.size() + 1) * sizeof(OLECHAR));
  return static_cast<int>(w.size()) + 1;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
  if (!lplpsz) return E_INVALIDARG;
  *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
  if (!*lplpsz) return E_OUTOFMEMORY;
  StringFromGUID2(rclsid, *lplpsz, 39);
  return S_OK;
}

HRESULT StringFromIID(REFIID riid, LPOLESTR* lplpsz) { return StringFromCLSID(riid, lplpsz); }

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  *pclsid = GUID_NULL;
  if (!lpsz) return S_OK;  // a null text is the null class, as on the platform
  if (lpsz[0] == u'{') return ParseBraced(lpsz, pclsid) ? S_OK : CO_E_CLASSSTRING;
  return SUCCEEDED(CLSIDFromProgID(lpsz, pclsid)) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (!lpiid) return E_INVALIDARG;
  *lpiid = GUID_NULL;
  if (!lpsz) return S_OK;
  return ParseBraced(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT CoCreateGuid(GUID* pguid) {
  if (!pguid) return E_INVALIDARG;
  uint8_t b[16];
  size_t got = 0;
  while (got < sizeof b) {
    ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return E_FAIL;
    }
    got += static_cast<size_t>(n);
  }
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // variant 10xx
  pguid->Data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  pguid->Data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
  pguid->Data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
  std::memcpy(pguid->Data4, b + 8, 8);
  return S_OK;
}

}  // extern "C"
