#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/win32.h"

namespace {

TEST(System, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    int a, b, c, r;
  } cases[] = {
      {3, 1, 2, 2},   {-3, 1, 2, -2}, {5, 1, 2, 3},    {-5, 1, 2, -3},  {1, 1, 3, 0},   {2, 1, 3, 1},
      {-2, 1, 3, -1}, {3, 1, -2, -2}, {-3, -1, -2, -2}, {7, 86, 100, 6}, {255, 200, 255, 200},
      {65536, 65536, 65536, 65536},   {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},  {0x7FFFFFFF, 2, 1, -1},
      {-0x7FFFFFFF, 2, 1, -1},        {1, 1, 0, -1},   {0, -1, 2, 0},   {-2147483647 - 1, 1, 1, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.r) << c.a << "*" << c.b << "/" << c.c;
}

TEST(System, FormatMessageSystemTexts) {
  char* text = nullptr;
  DWORD n = FormatMessage(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                          nullptr, ERROR_ACCESS_DENIED, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                          reinterpret_cast<LPSTR>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, n), "Access is denied.\r\n");
  EXPECT_EQ(LocalFree(text), nullptr);
  char buf[256];
  n = FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 0,
                    buf, sizeof buf, nullptr);
  EXPECT_EQ(std::string(buf, n), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x12345, 0, buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  const char* args[] = {"alpha", "beta"};
  n = FormatMessage(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%2 and %1%%", 0, 0, buf, sizeof buf,
                    reinterpret_cast<va_list*>(args));
  EXPECT_EQ(std::string(buf, n), "beta and alpha%");
}

TEST(System, Atoms) {
  ATOM a = GlobalAddAtom("OldMenuProc");
  ASSERT_GE(a, 0xC000);
  EXPECT_EQ(GlobalAddAtom("oldmenuproc"), a);  // one more reference to the same atom
  EXPECT_EQ(GlobalFindAtom("OLDMENUPROC"), a);
  char name[32];
  EXPECT_EQ(GlobalGetAtomName(a, name, sizeof name), 11u);
  EXPECT_STREQ(name, "OldMenuProc");
  EXPECT_EQ(GlobalDeleteAtom(a), 0);
  EXPECT_EQ(GlobalFindAtom("OldMenuProc"), a);
  EXPECT_EQ(GlobalDeleteAtom(a), 0);
  EXPECT_EQ(GlobalFindAtom("OldMenuProc"), 0);
  EXPECT_EQ(GlobalAddAtom("#123"), 123);
  EXPECT_EQ(GlobalAddAtom(MAKEINTATOM(77)), 77);
  EXPECT_EQ(FindAtom("OldMenuProc"), 0);  // the local table is another one
}

TEST(System, Environment) {
  ASSERT_TRUE(SetEnvironmentVariable("KX_TEST_VAR", "value"));
  char buf[64];
  EXPECT_EQ(GetEnvironmentVariable("KX_TEST_VAR", buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "value");
  EXPECT_EQ(GetEnvironmentVariable("KX_TEST_VAR", buf, 3), 6u);
  EXPECT_EQ(ExpandEnvironmentStrings("a%KX_TEST_VAR%b%KX_UNSET%c", buf, sizeof buf), 19u);
  EXPECT_STREQ(buf, "avalueb%KX_UNSET%c");
  ASSERT_TRUE(SetEnvironmentVariable("KX_TEST_VAR", nullptr));
  EXPECT_EQ(GetEnvironmentVariable("KX_TEST_VAR", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST(System, OneFixedWindowsVersion) {
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 5u);
  EXPECT_EQ(ex.dwMinorVersion, 1u);
  EXPECT_EQ(ex.dwBuildNumber, 2600u);
  EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_STREQ(ex.szCSDVersion, "Service Pack 2");
  EXPECT_EQ(ex.wServicePackMajor, 2);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
  EXPECT_EQ(GetVersion(), 0x0A280105u);
  OSVERSIONINFOA basic{};
  basic.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionEx(&basic));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // Tests may answer another version, and make the extended query fail.
  OSVERSIONINFOEXA me{};
  me.dwMajorVersion = 4;
  me.dwMinorVersion = 90;
  me.dwBuildNumber = 3000;
  me.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  kx::SetVersionForTests(&me, true);
  EXPECT_FALSE(GetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
  basic.dwOSVersionInfoSize = sizeof basic;
  ASSERT_TRUE(GetVersionEx(&basic));
  EXPECT_EQ(basic.dwMinorVersion, 90u);
  EXPECT_EQ(basic.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  EXPECT_EQ(GetVersion() & 0x80000000u, 0x80000000u);
  kx::SetVersionForTests(nullptr);
  EXPECT_EQ(GetVersion(), 0x0A280105u);
}

TEST(System, StringsAndRand) {
  EXPECT_LT(lstrcmp("apple", "Banana"), 0);  // word order, not byte order
  EXPECT_LT(lstrcmp("abc", "ABC"), 0);       // lower case first when only case differs
  EXPECT_EQ(lstrcmp("abc", "abc"), 0);
  EXPECT_EQ(lstrcmpi("abc", "ABC"), 0);
  EXPECT_EQ(lstrcmpi("abc", "abd"), -1);
  char buf[4];
  lstrcpyn(buf, "abcdef", sizeof buf);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(lstrlen(nullptr), 0);
  // The platform runtime's generator from its default seed 1, and after srand.
  std::vector<int> seq;
  std::thread([&] {
    for (int i = 0; i < 5; ++i) seq.push_back(kx_rand());
  }).join();
  EXPECT_EQ(seq, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  kx_srand(1);
  EXPECT_EQ(kx_rand(), 41);
  kx_srand(12345);
  EXPECT_EQ(kx_rand(), 7584);
}

TEST(System, GlobalAndLocalMemory) {
  HGLOBAL h = GlobalAlloc(GHND, 100);
  ASSERT_NE(h, nullptr);
  auto* p = static_cast<BYTE*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(GlobalSize(h), 100u);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), 0u);
  h = GlobalReAlloc(h, 200, GMEM_ZEROINIT);
  EXPECT_EQ(GlobalSize(h), 200u);
  EXPECT_EQ(GlobalFree(h), nullptr);
  HLOCAL l = LocalAlloc(LPTR, 8);
  EXPECT_EQ(LocalFree(l), nullptr);
}

TEST(System, TokenGroupsAndAdministrators) {
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                       &admins));
  EXPECT_EQ(kx::SidToString(admins), "S-1-5-32-544");
  for (int admin : {1, 0}) {
    kx::SetAdministratorForTests(admin);
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD needed = 0;
    BYTE small[16];
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, small, sizeof small, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(GetTokenInformation(token, TokenGroups, buf.data(), needed, &needed));
    CloseHandle(token);
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buf.data());
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount; ++i) found = found || EqualSid(groups->Groups[i].Sid, admins);
    EXPECT_EQ(found, admin == 1);
    BOOL member = FALSE;
    ASSERT_TRUE(CheckTokenMembership(nullptr, admins, &member));
    EXPECT_EQ(member, admin);
  }
  kx::SetAdministratorForTests(-1);
  FreeSid(admins);
  std::vector<BYTE> sid = kx::SidFromString("S-1-5-32-544");
  ASSERT_FALSE(sid.empty());
  EXPECT_EQ(kx::SidToString(sid.data()), "S-1-5-32-544");
  EXPECT_TRUE(kx::SidFromString("S-1-x").empty());
}

}  // namespace
