#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/WindowsVersion.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"

namespace {

OSVERSIONINFOEXA Version(DWORD major, DWORD minor, DWORD build, DWORD platformId, const char* sp = "") {
  OSVERSIONINFOEXA v = {};
  v.dwOSVersionInfoSize = sizeof v;
  v.dwMajorVersion = major;
  v.dwMinorVersion = minor;
  v.dwBuildNumber = build;
  v.dwPlatformId = platformId;
  std::strncpy(v.szCSDVersion, sp, sizeof v.szCSDVersion - 1);
  return v;
}

void PutMachine(const char* path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), 0);
  RegCloseKey(k);
}

const char kOptions[] = "System\\CurrentControlSet\\Control\\ProductOptions";

struct VersionOverride {
  VersionOverride(const OSVERSIONINFOEXA& v, bool extendedFails) { kx::SetVersionForTests(&v, extendedFails); }
  ~VersionOverride() { kx::SetVersionForTests(nullptr); }
};

}  // namespace

TEST(WindowsVersion, ThePlatformsFixedVersionIsXpSp2) {
  WindowsVersionRecord r;
  ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
  EXPECT_EQ(r.dwMajor, 5u);
  EXPECT_EQ(r.dwMinor, 1u);
  EXPECT_EQ(r.dwPlatform, kPlatformNT);
  EXPECT_EQ(r.wServicePackMajor, 2);
  EXPECT_EQ(r.dwProductType, 0u);
  EXPECT_EQ(r.dwUnderlyingMajor, 5u);
  EXPECT_TRUE(CWindowsVersion::IsWindowsXPOr2003(&r));
  EXPECT_FALSE(CWindowsVersion::IsWindowsNT4(&r));
  EXPECT_FALSE(CWindowsVersion::IsWindowsMe(&r));
}

TEST(WindowsVersion, QuestionsAboutOtherVersions) {
  struct {
    OSVERSIONINFOEXA v;
    bool extendedFails;
    bool xp, nt4, w98, w98se, me;
  } cases[] = {
      {Version(5, 0, 2195, 2, "Service Pack 4"), false, false, false, false, false, false},  // Windows 2000
      {Version(5, 2, 3790, 2), false, true, false, false, false, false},                      // Server 2003
      {Version(4, 0, 1381, 2, "Service Pack 6"), true, false, true, false, false, false},     // NT 4
      {Version(4, 10, 1998, 1), true, false, false, true, false, false},                      // 98
      {Version(4, 10, 2222, 1), true, false, false, false, true, false},                      // 98 SE
      {Version(4, 90, 3000, 1), false, false, false, false, false, true},                     // Me
  };
  for (auto& c : cases) {
    VersionOverride o(c.v, c.extendedFails);
    WindowsVersionRecord r;
    ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
    SCOPED_TRACE(std::to_string(c.v.dwMajorVersion) + "." + std::to_string(c.v.dwMinorVersion) + "." +
                 std::to_string(c.v.dwBuildNumber));
    EXPECT_EQ(CWindowsVersion::IsWindowsXPOr2003(&r), c.xp);
    EXPECT_EQ(CWindowsVersion::IsWindowsNT4(&r), c.nt4);
    EXPECT_EQ(CWindowsVersion::IsWindows98(&r), c.w98);
    EXPECT_EQ(CWindowsVersion::IsWindows98SE(&r), c.w98se);
    EXPECT_EQ(CWindowsVersion::IsWindowsMe(&r), c.me);
  }
}

TEST(WindowsVersion, BasicQueryTakesServicePackAndSuitesFromTextAndRegistry) {
  {
    VersionOverride o(Version(4, 0, 1381, 2, "Service Pack 3"), true);
    WindowsVersionRecord r;
    ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
    EXPECT_EQ(r.wServicePackMajor, 3);
    EXPECT_EQ(r.dwSuites, 0u);
  }
  {
    VersionOverride o(Version(4, 0, 1381, 2, ""), true);
    WindowsVersionRecord r;
    ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
    EXPECT_EQ(r.wServicePackMajor, 0);
  }
  {
    VersionOverride o(Version(4, 0, 1100, 1), true);  // Windows 95 OSR2: service pack 2 by build
    WindowsVersionRecord r;
    ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
    EXPECT_EQ(r.wServicePackMajor, 2);
    EXPECT_EQ(r.dwPlatform, kPlatform9x);
  }
  const char suites[] = "Terminal Server\0Enterprise\0";
  PutMachine(kOptions, "ProductSuite", REG_MULTI_SZ, suites, sizeof suites);
  PutMachine(kOptions, "ProductType", REG_SZ, "ServerNT", 9);
  DWORD one = 1;
  PutMachine("System\\CurrentControlSet\\Control\\Terminal Server", "TSAppCompat", REG_DWORD, &one, 4);
  {
    VersionOverride o(Version(5, 0, 2195, 2, "Service Pack 1"), true);
    WindowsVersionRecord r;
    ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
    EXPECT_EQ(r.dwSuites, 0x012u);
    EXPECT_EQ(r.dwProductType, 1u);
  }
  DWORD zero = 0;
  PutMachine("System\\CurrentControlSet\\Control\\Terminal Server", "TSAppCompat", REG_DWORD, &zero, 4);
  PutMachine(kOptions, "ProductType", REG_SZ, "LANMANNT", 9);
  {
    VersionOverride o(Version(5, 0, 2195, 2), true);
    WindowsVersionRecord r;
    ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
    EXPECT_EQ(r.dwSuites, 0x216u);
    EXPECT_EQ(r.dwProductType, 2u);
  }
  // The extended query takes only the suite bit of the registry's product type.
  WindowsVersionRecord r;
  ASSERT_TRUE(CWindowsVersion::GetVersionInfo(&r));
  EXPECT_EQ(r.dwSuites & 0x004, 0x004u);
  EXPECT_EQ(r.dwProductType, 0u);
}

TEST(WindowsVersion, FallbacksWithoutTheExtendedEntryOrTheModule) {
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  ASSERT_NE(kernel, nullptr);
  void* getVersionEx = reinterpret_cast<void*>(GetProcAddress(kernel, "GetVersionExA"));
  void* getVersion = reinterpret_cast<void*>(GetProcAddress(kernel, "GetVersion"));
  ASSERT_NE(getVersionEx, nullptr);
  const char sp[] = "Service Pack 5";
  PutMachine("Software\\Microsoft\\Windows NT\\CurrentVersion", "CSDVersion", REG_SZ, sp, sizeof sp);
  kx::BuiltinExport only[] = {{"GetVersion", 0, getVersion}};
  kx::RegisterBuiltinModule("KERNEL32.DLL", only, 1, true);
  WindowsVersionRecord r;
  BOOL ok = CWindowsVersion::GetVersionInfo(&r);
  kx::BuiltinExport both[] = {{"GetVersionExA", 0, getVersionEx}, {"GetVersion", 0, getVersion}};
  kx::RegisterBuiltinModule("KERNEL32.DLL", both, 2, true);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.dwMajor, 5u);
  EXPECT_EQ(r.dwMinor, 1u);
  EXPECT_EQ(r.dwBuild, 0u);
  EXPECT_EQ(r.dwPlatform, kPlatformNT);
  EXPECT_EQ(r.wServicePackMajor, 5);

  kx::SetBuiltinModuleMissing("KERNEL32.DLL", true);
  EXPECT_FALSE(CWindowsVersion::GetVersionInfo(&r));
  kx::SetBuiltinModuleMissing("KERNEL32.DLL", false);
  EXPECT_TRUE(CWindowsVersion::GetVersionInfo(&r));
}
