// The resource-string module: found by its name, its export reading its own table.
#include <cstring>

#include "platform/services/addres/addres.h"
#include "platform/win32/modules.h"
#include "policy/policy_test.h"

using namespace kxtest;

TEST(AddResModule, ExportReadsTheModulesOwnTable) {
  HMODULE module = LoadLibrary("KXAddRes.DLL");
  ASSERT_NE(module, nullptr);
  auto load = reinterpret_cast<LoadStringAddResIDFn>(GetProcAddress(module, "LoadStringAddResID"));
  ASSERT_NE(load, nullptr);

  char buffer[256];
  int n = load(6129, buffer, sizeof buffer);
  EXPECT_GT(n, 0);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buffer));
  EXPECT_EQ(std::string(buffer), static_cast<const char*>(kx::LoadAddResString(6129)));

  // A short buffer cuts the text and keeps it terminated; an unknown id gives nothing.
  char small[8];
  EXPECT_EQ(load(6129, small, sizeof small), 7);
  EXPECT_EQ(std::strlen(small), 7u);
  buffer[0] = 'x';
  EXPECT_EQ(load(6099, buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  // The library's own resource strings are not this module's.
  EXPECT_EQ(load(178, buffer, sizeof buffer), 0);
  FreeLibrary(module);
}

TEST(AddResModule, EveryTextTheCallersAskForExists) {
  std::vector<UINT> ids = {2000, 2001, 5124};
  for (UINT id = 6100; id <= 6178; ++id) ids.push_back(id);
  for (UINT id : ids) EXPECT_FALSE(kx::LoadAddResString(id).IsEmpty()) << id;
  EXPECT_NE(std::string(kx::LoadAddResString(5124)).find("%1"), std::string::npos);
}
