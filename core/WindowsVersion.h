// The Windows version the library runs on, and the questions asked about it.
#pragma once

#include "platform/win32/types.h"

// Platform values of the record.
constexpr DWORD kPlatformWin32s = 1, kPlatform9x = 2, kPlatformNT = 3, kPlatformCE = 4;

struct WindowsVersionRecord {
  DWORD dwMajor;
  DWORD dwMinor;
  DWORD dwBuild;
  DWORD dwPlatform;
  char szServicePack[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  DWORD dwUnderlyingMajor;
  DWORD dwUnderlyingMinor;
  DWORD dwUnderlyingBuild;
  DWORD dwUnderlyingPlatform;
  char szUnderlyingServicePack[128];
  WORD wUnderlyingServicePackMajor;
  WORD wUnderlyingServicePackMinor;
  DWORD dwSuites;       // 0x001 Small Business ... 0x200 single-user Terminal Services
  DWORD dwProductType;  // 0 workstation, 1 server, 2 domain controller
};

class CWindowsVersion {
 public:
  // Fills the record; FALSE when the kernel module is missing or both version queries fail.
  static BOOL GetVersionInfo(WindowsVersionRecord* record);
  static BOOL IsWindows98(const WindowsVersionRecord* record);
  static BOOL IsWindows98SE(const WindowsVersionRecord* record);
  static BOOL IsWindowsMe(const WindowsVersionRecord* record);
  static BOOL IsWindowsNT4(const WindowsVersionRecord* record);
  static BOOL IsWindowsXPOr2003(const WindowsVersionRecord* record);
};
