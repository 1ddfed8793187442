#include <gtest/gtest.h>

namespace kxtest {
void InstallRootListener();
void ShareSanitizerOptions();
}

int main(int argc, char** argv) {
  kxtest::ShareSanitizerOptions();
  ::testing::InitGoogleTest(&argc, argv);
  kxtest::InstallRootListener();
  return RUN_ALL_TESTS();
}
