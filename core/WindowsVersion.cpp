#include "core/WindowsVersion.h"

#include <cctype>
#include <cstring>
#include <strings.h>

#include "platform/win32/modules.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"

namespace {

using GetVersionExFn = BOOL (*)(OSVERSIONINFOA*);

// Closes its key when it goes out of scope.
struct Key {
  HKEY h = nullptr;
  explicit Key(const char* path) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &h) != ERROR_SUCCESS) h = nullptr;
  }
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

const char kProductOptions[] = "System\\CurrentControlSet\\Control\\ProductOptions";

WORD FirstNumber(const char* text, size_t len) {
  size_t i = 0;
  while (i < len && text[i] && !std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  unsigned value = 0;
  while (i < len && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (value > 0xFFFF) value = 0xFFFF;
    ++i;
  }
  return static_cast<WORD>(value);
}

// ProductType of the registry: suites only, or product type and suites.
void ReadProductType(WindowsVersionRecord* r, bool suitesOnly) {
  Key key(kProductOptions);
  if (!key.h) return;
  char text[1025] = {};
  DWORD size = 1024;
  if (RegQueryValueExA(key.h, "ProductType", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
    return;
  text[kx_min<DWORD>(size, 1024)] = 0;
  if (strcasecmp(text, "LANMANNT") == 0) {
    r->dwSuites |= 0x004;
    if (!suitesOnly) r->dwProductType = 2;
  } else if (strcasecmp(text, "LANSECNT") == 0) {
    r->dwSuites |= 0x008;
    if (!suitesOnly) r->dwProductType = 2;
  } else if (!suitesOnly && strcasecmp(text, "SERVERNT") == 0) {
    r->dwProductType = 1;
  } else if (!suitesOnly && strcasecmp(text, "WinNT") == 0) {
    r->dwProductType = 0;
  }
}

void ReadSuites(WindowsVersionRecord* r) {
  {
    Key key(kProductOptions);
    char buffer[4096] = {};
    DWORD size = sizeof buffer - 2;
    DWORD type = 0;
    if (key.h &&
        RegQueryValueExA(key.h, "ProductSuite", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
      size = kx_min<DWORD>(size, sizeof buffer - 2);
      for (const char* s = buffer; s < buffer + size && *s; s += std::strlen(s) + 1) {
        if (strcasecmp(s, "Terminal Server") == 0) r->dwSuites |= 0x010;
        else if (strcasecmp(s, "SBS") == 0 || strcasecmp(s, "Small Business") == 0) r->dwSuites |= 0x001;
        else if (strcasecmp(s, "Enterprise") == 0) r->dwSuites |= 0x002;
        else if (strcasecmp(s, "Personal") == 0) r->dwSuites |= 0x040;
      }
    }
  }
  Key ts("System\\CurrentControlSet\\Control\\Terminal Server");
  BYTE value[4];
  DWORD size = sizeof value;
  if (ts.h && RegQueryValueExA(ts.h, "TSAppCompat", nullptr, nullptr, value, &size) == ERROR_SUCCESS && size == 4 &&
      value[0] == 0 && value[1] == 0 && value[2] == 0 && value[3] == 0)
    r->dwSuites |= 0x200;
}

// The service-pack number recorded in the registry.
WORD RegistryServicePack() {
  Key key("Software\\Microsoft\\Windows NT\\CurrentVersion");
  if (!key.h) return 0;
  char value[129] = {};
  DWORD size = 128;
  DWORD type = 0;
  if (RegQueryValueExA(key.h, "CSDVersion", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
    return 0;
  if (type == REG_SZ || type == REG_EXPAND_SZ) return FirstNumber(value, kx_min<DWORD>(size, 128));
  if (type == REG_DWORD) return static_cast<BYTE>(value[1]);
  return 0;
}

void CopyUnderlying(WindowsVersionRecord* r) {
  r->dwUnderlyingMajor = r->dwMajor;
  r->dwUnderlyingMinor = r->dwMinor;
  r->dwUnderlyingBuild = r->dwBuild;
  r->dwUnderlyingPlatform = r->dwPlatform;
  std::memcpy(r->szUnderlyingServicePack, r->szServicePack, sizeof r->szServicePack);
  r->wUnderlyingServicePackMajor = r->wServicePackMajor;
  r->wUnderlyingServicePackMinor = r->wServicePackMinor;
}

bool Is9xServicePack1(const WindowsVersionRecord* r) {
  return r->dwMajor == 4 && r->dwBuild >= 951 && r->dwBuild <= 1080;
}
bool Is9xServicePack2(const WindowsVersionRecord* r) {
  return r->dwMajor == 4 && r->dwMinor < 10 && r->dwBuild > 1080;
}
bool Is98ServicePack1(const WindowsVersionRecord* r) {
  return r->dwMajor == 4 && r->dwMinor == 10 && r->dwBuild >= 1999 && r->dwBuild <= 2182;
}

}  // namespace

BOOL CWindowsVersion::GetVersionInfo(WindowsVersionRecord* r) {
  if (!r) return FALSE;
  std::memset(r, 0, sizeof *r);
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  if (!kernel) return FALSE;
  auto getVersionEx = reinterpret_cast<GetVersionExFn>(GetProcAddress(kernel, "GetVersionExA"));
  if (!getVersionEx) {
    DWORD v = GetVersion();
    r->dwMajor = LOBYTE(LOWORD(v));
    r->dwMinor = HIBYTE(LOWORD(v));
    r->dwBuild = 0;
    r->dwPlatform = kPlatformNT;
    r->wServicePackMajor = RegistryServicePack();
    CopyUnderlying(r);
    return TRUE;
  }

  OSVERSIONINFOEXA ex;
  std::memset(&ex, 0, sizeof ex);
  ex.dwOSVersionInfoSize = sizeof ex;
  if (getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&ex))) {
    r->dwMajor = ex.dwMajorVersion;
    r->dwMinor = ex.dwMinorVersion;
    r->dwBuild = ex.dwBuildNumber;
    std::memcpy(r->szServicePack, ex.szCSDVersion, sizeof r->szServicePack);
    r->szServicePack[sizeof r->szServicePack - 1] = 0;
    r->wServicePackMajor = ex.wServicePackMajor;
    r->wServicePackMinor = ex.wServicePackMinor;
    static const struct { WORD mask; DWORD suite; } suites[] = {
        {0x1, 0x001}, {0x2, 0x002}, {0x10, 0x010}, {0x80, 0x020},
        {0x200, 0x040}, {0x400, 0x080}, {0x40, 0x100}, {0x100, 0x200},
    };
    for (auto& s : suites)
      if (ex.wSuiteMask & s.mask) r->dwSuites |= s.suite;
    switch (ex.wProductType) {
      case 1: r->dwProductType = 0; break;
      case 2: r->dwProductType = 2; break;
      case 3: r->dwProductType = 1; break;
      default: break;
    }
    ReadProductType(r, true);
    r->dwPlatform = ex.dwPlatformId + 1;  // 9x (1) -> 2, NT (2) -> 3, CE (3) -> 4
    CopyUnderlying(r);
    return TRUE;
  }

  OSVERSIONINFOA basic;
  std::memset(&basic, 0, sizeof basic);
  basic.dwOSVersionInfoSize = sizeof basic;
  if (!getVersionEx(&basic)) return FALSE;
  r->dwMajor = basic.dwMajorVersion;
  r->dwMinor = basic.dwMinorVersion;
  r->dwBuild = basic.dwBuildNumber;
  std::memcpy(r->szServicePack, basic.szCSDVersion, sizeof r->szServicePack);
  r->szServicePack[sizeof r->szServicePack - 1] = 0;
  switch (basic.dwPlatformId) {
    case 1:  // 9x
      r->dwPlatform = kPlatform9x;
      r->dwProductType = 0;
      if (Is9xServicePack1(r))
        r->wServicePackMajor = 1;
      else if (Is9xServicePack2(r))
        r->wServicePackMajor = 2;
      else if (Is98ServicePack1(r))
        r->wServicePackMajor = 1;
      CopyUnderlying(r);
      break;
    case 2:  // NT
      r->dwPlatform = kPlatformNT;
      r->wServicePackMajor = FirstNumber(r->szServicePack, sizeof r->szServicePack);
      ReadProductType(r, false);
      ReadSuites(r);
      CopyUnderlying(r);
      break;
    case 3:  // CE
      r->dwPlatform = kPlatformCE;
      r->dwProductType = 0;
      CopyUnderlying(r);
      break;
    case 0:  // Win32s on Windows 3.1
      r->dwPlatform = kPlatform9x;
      r->dwUnderlyingMajor = 3;
      r->dwUnderlyingMinor = 10;
      r->dwUnderlyingBuild = 0;
      r->dwUnderlyingPlatform = kPlatformWin32s;
      r->szUnderlyingServicePack[0] = 0;
      break;
    default:
      CopyUnderlying(r);
      break;
  }
  return TRUE;
}

BOOL CWindowsVersion::IsWindows98(const WindowsVersionRecord* r) {
  return r->dwUnderlyingPlatform == kPlatform9x && r->dwUnderlyingMajor == 4 && r->dwUnderlyingMinor == 10 &&
         r->dwUnderlyingBuild == 1998;
}

BOOL CWindowsVersion::IsWindows98SE(const WindowsVersionRecord* r) {
  return r->dwUnderlyingPlatform == kPlatform9x && r->dwUnderlyingMajor == 4 && r->dwUnderlyingMinor == 10 &&
         r->dwUnderlyingBuild >= 2183;
}

BOOL CWindowsVersion::IsWindowsMe(const WindowsVersionRecord* r) {
  return r->dwUnderlyingPlatform == kPlatform9x && r->dwUnderlyingMajor == 4 && r->dwUnderlyingMinor == 90;
}

BOOL CWindowsVersion::IsWindowsNT4(const WindowsVersionRecord* r) {
  return r->dwUnderlyingPlatform == kPlatformNT && r->dwUnderlyingMajor == 4;
}

BOOL CWindowsVersion::IsWindowsXPOr2003(const WindowsVersionRecord* r) {
  return r->dwUnderlyingPlatform == kPlatformNT && r->dwUnderlyingMajor == 5 && r->dwUnderlyingMinor != 0;
}
