// Module states: a library's application object starts with the load and ends with the last free, its calls
// switch to its own state and back (also through an exception), workers inherit the state, and a failed start
// refuses the load.
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/mfc/afxwin.h"
#include "platform/win32/errors.h"
#include "support/testroot.h"

namespace {

class ModuleState : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = kxtest::Root() + "/app.log";
    setenv("KXTEST_APP_LOG", log_.c_str(), 1);
    unsetenv("KXTEST_APP_FAIL");
    // The program's resources are its own (which hold no strings).
    AfxSetResourceHandle(nullptr);
  }
  void TearDown() override {
    unsetenv("KXTEST_APP_LOG");
    unsetenv("KXTEST_APP_FAIL");
  }
  template <typename F>
  F Entry(HMODULE m, const char* name) {
    auto f = reinterpret_cast<F>(GetProcAddress(m, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  std::string Log() { return kxtest::ReadFile(log_); }
  std::string log_;
};

TEST_F(ModuleState, TheLibrarysApplicationRunsUnderItsOwnState) {
  HMODULE m = LoadLibrary("kxtestapp");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Log(), "init in own state\n");
  auto app = Entry<int (*)(int)>(m, "kxtestapp_app");
  auto name = Entry<int (*)(CString*)>(m, "kxtestapp_name");
  auto text = Entry<int (*)(UINT, CString*)>(m, "kxtestapp_string");
  auto worker = Entry<int (*)()>(m, "kxtestapp_worker");
  auto thrower = Entry<void (*)()>(m, "kxtestapp_throw");
  auto instance = Entry<HINSTANCE (*)()>(m, "kxtestapp_instance");

  EXPECT_EQ(app(1), 1);
  EXPECT_EQ(app(0), 0);  // without the switch the program's state is current
  EXPECT_EQ(AfxGetApp(), nullptr);
  CString s;
  name(&s);
  EXPECT_EQ(s, "TestApp");
  // The library's resources are the tests' pages; the program's are its own (which hold no strings).
  EXPECT_TRUE(text(103, &s));
  EXPECT_EQ(s, "Test Wizard");
  CString mine;
  EXPECT_FALSE(mine.LoadString(103));
  EXPECT_EQ(instance(), m);
  EXPECT_EQ(worker(), 1);
  EXPECT_THROW(thrower(), int);
  EXPECT_EQ(AfxGetApp(), nullptr);
  EXPECT_EQ(AfxGetModuleState(), AfxGetAppModuleState());

  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_EQ(Log(), "init in own state\nexit in own state\n");
}

TEST_F(ModuleState, AFailedStartRefusesTheLoad) {
  setenv("KXTEST_APP_FAIL", "1", 1);
  SetLastError(0);
  EXPECT_EQ(LoadLibrary("kxtestapp"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DLL_INIT_FAILED);
  EXPECT_EQ(Log(), "init refused\nexit in own state\n");
  unsetenv("KXTEST_APP_FAIL");
  HMODULE m = LoadLibrary("kxtestapp");
  ASSERT_NE(m, nullptr);
  FreeLibrary(m);
}

TEST(ModuleStateSwitch, NestedSwitchesAreUndoneInOrder) {
  AFX_MODULE_STATE a, b;
  AFX_MODULE_STATE* program = AfxGetModuleState();
  {
    AFX_MANAGE_STATE(&a);
    EXPECT_EQ(AfxGetModuleState(), &a);
    {
      AFX_MANAGE_STATE(&b);
      EXPECT_EQ(AfxGetModuleState(), &b);
    }
    EXPECT_EQ(AfxGetModuleState(), &a);
  }
  EXPECT_EQ(AfxGetModuleState(), program);
  // Each thread has its own current state.
  AFX_MANAGE_STATE(&a);
  AFX_MODULE_STATE* seen = nullptr;
  std::thread([&] { seen = AfxGetModuleState(); }).join();
  EXPECT_EQ(seen, program);
}

}  // namespace
