#include <gtest/gtest.h>

namespace kxtest {
void InstallRootListener();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  kxtest::InstallRootListener();
  return RUN_ALL_TESTS();
}
