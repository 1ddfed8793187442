#include <gtest/gtest.h>

#include <cstdlib>

namespace kxtest {
void InstallRootListener();
void ShareSanitizerOptions();
}

int main(int argc, char** argv) {
  // Tests draw on the headless desktop, whatever screen the machine has; the display tests start their own.
  setenv("KX_HEADLESS", "1", 1);
  // Nor does the machine's directory setup (ldap.conf, ~/.ldaprc, LDAPURI) reach them; a test that wants an
  // ldap.conf writes its own.
  setenv("LDAPNOINIT", "1", 1);
  kxtest::ShareSanitizerOptions();
  ::testing::InitGoogleTest(&argc, argv);
  kxtest::InstallRootListener();
  return RUN_ALL_TESTS();
}
