#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "support/testroot.h"

namespace {

std::string LibDir() { return kx::PlatformLibraryDir(); }

TEST(Modules, NameRule) {
  std::string d = LibDir();
  EXPECT_EQ(kx::ModuleFileForName("Brinmoor.DLL"), d + "/libbrinmoor.so");
  EXPECT_EQ(kx::ModuleFileForName("KXRes.DLL"), d + "/libkxres.so");
  EXPECT_EQ(kx::ModuleFileForName("CAPICOM.dll"), d + "/libcapicom.so");
  EXPECT_EQ(kx::ModuleFileForName("cryptui"), d + "/libcryptui.so");
  EXPECT_EQ(kx::ModuleFileForName("/opt/x/KXRes.DLL"), "/opt/x/libkxres.so");
  EXPECT_EQ(kx::ModuleFileForName("libz.so.1"), d + "/libz.so.1");
  EXPECT_EQ(kx::ModuleFileForName("/w/winhlp32.exe"), "/w/winhlp32.exe");
  // The platform library itself sits in that folder.
  EXPECT_EQ(access((d + "/libkxplatform.so").c_str(), F_OK), 0);
}

class AttachModule : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = kxtest::Root() + "/attach.log";
    setenv("KXTEST_ATTACH_LOG", log_.c_str(), 1);
    unsetenv("KXTEST_ATTACH_FAIL");
  }
  void TearDown() override {
    unsetenv("KXTEST_ATTACH_LOG");
    unsetenv("KXTEST_ATTACH_FAIL");
  }
  std::string Log() { return kxtest::ReadFile(log_); }
  bool StillLoaded() {
    void* h = dlopen((LibDir() + "/libkxtestattach.so").c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
  }
  std::string log_;
};

TEST_F(AttachModule, RefusedWhenTheAttachRoutineFails) {
  setenv("KXTEST_ATTACH_FAIL", "1", 1);
  SetLastError(0);
  EXPECT_EQ(LoadLibrary("KXTestAttach.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(Log(), "attach\ndetach\n");
  EXPECT_FALSE(StillLoaded());
  EXPECT_EQ(GetModuleHandle("KXTestAttach.DLL"), nullptr);
  // A later load that succeeds attaches afresh.
  unsetenv("KXTEST_ATTACH_FAIL");
  HMODULE m = LoadLibrary("kxtestattach");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Log(), "attach\ndetach\nattach\n");
  EXPECT_TRUE(FreeLibrary(m));
}

TEST_F(AttachModule, CountedLoadsAndDetachAtTheLastFree) {
  HMODULE a = LoadLibrary("KXTestAttach.DLL");
  ASSERT_NE(a, nullptr);
  HMODULE b = LoadLibrary("kxtestattach.dll");
  EXPECT_EQ(a, b);
  EXPECT_EQ(GetModuleHandle("KXTESTATTACH.DLL"), a);
  EXPECT_EQ(Log(), "attach\n");
  auto fn = reinterpret_cast<int (*)()>(GetProcAddress(a, "kxtest_value"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 42);
  EXPECT_EQ(GetProcAddress(a, "no_such_entry"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  char path[MAX_PATH];
  DWORD n = GetModuleFileName(a, path, sizeof path);
  EXPECT_EQ(std::string(path, n), LibDir() + "/libkxtestattach.so");
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(Log(), "attach\n");
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(Log(), "attach\ndetach\n");
  EXPECT_FALSE(StillLoaded());
  EXPECT_EQ(LoadLibrary("NoSuchModule.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

int FourteenEntry() { return 14; }
int NamedEntry() { return 7; }

TEST(Modules, BuiltinModulesAndMissingOnes) {
  static const kx::BuiltinExport exports[] = {
      {"HtmlHelpA", 14, reinterpret_cast<void*>(&FourteenEntry)},
      {"ShowThing", 0, reinterpret_cast<void*>(&NamedEntry)},
  };
  kx::RegisterBuiltinModule("kxtestbuiltin.ocx", exports, 2);
  EXPECT_EQ(GetModuleHandle("KXTESTBUILTIN.OCX"), nullptr);  // not loaded yet
  HMODULE m = LoadLibrary("KxTestBuiltin.ocx");
  ASSERT_NE(m, nullptr);
  auto byOrdinal = reinterpret_cast<int (*)()>(GetProcAddress(m, MAKEINTRESOURCE(14)));
  ASSERT_NE(byOrdinal, nullptr);
  EXPECT_EQ(byOrdinal(), 14);
  auto byName = reinterpret_cast<int (*)()>(GetProcAddress(m, "ShowThing"));
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName(), 7);
  EXPECT_EQ(GetProcAddress(m, MAKEINTRESOURCE(15)), nullptr);
  EXPECT_TRUE(FreeLibrary(m));

  kx::SetBuiltinModuleMissing("KXTESTBUILTIN.OCX", true);
  EXPECT_EQ(LoadLibrary("kxtestbuiltin.ocx"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  kx::SetBuiltinModuleMissing("KXTESTBUILTIN.OCX", false);
  m = LoadLibrary("kxtestbuiltin.ocx");
  EXPECT_NE(m, nullptr);
  FreeLibrary(m);

  // The kernel module is always there and serves the version query.
  HMODULE k = GetModuleHandle("KERNEL32.DLL");
  ASSERT_NE(k, nullptr);
  auto getVersionEx = reinterpret_cast<BOOL (*)(OSVERSIONINFOA*)>(GetProcAddress(k, "GetVersionExA"));
  ASSERT_NE(getVersionEx, nullptr);
  OSVERSIONINFOEXA v{};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&v)));
  EXPECT_EQ(v.dwMajorVersion, 5u);
}

TEST(Modules, TheProgramItself) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileName(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(path, n), kxtest::BuildDir() + "/bin/test_win32");
  char small[5];
  EXPECT_EQ(GetModuleFileName(nullptr, small, sizeof small), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(strlen(small), 4u);
  EXPECT_NE(GetModuleHandle(nullptr), nullptr);
  // A library linked by the program is found without LoadLibrary.
  HMODULE platform = GetModuleHandle("libkxplatform.so");
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(kx::ModuleFromAddress(reinterpret_cast<void*>(&GetLastError)), platform);
}

}  // namespace
