// Loading the library as a host does and calling its exports by name.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "platform/mfc/cstring.h"
#include "platform/ui/driver.h"
#include "platform/win32/modules.h"
#include "support/testroot.h"

namespace libtest {

// The library loaded through the platform's loader for the test case, unloaded after it.
class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibrary("Brinmoor.DLL");
    ASSERT_NE(module_, nullptr) << "the library did not load";
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  template <class Fn>
  Fn* Export(const char* name) {
    auto* fn = reinterpret_cast<Fn*>(GetProcAddress(module_, name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  // The folder of the library, with its separator.
  static std::string LibraryFolder() { return kxtest::BuildDir() + "/lib/"; }

  HMODULE module_ = nullptr;
};

}  // namespace libtest
