// The desktop's scale as an X session sets it: the server's Xft.dpi resource sizes the host's windows.
#include <gtest/gtest.h>

#include <string>

#include "x11/xtest_util.h"

using namespace xtest;

namespace {

// The Signer Wizard's window size on the display; false when it did not show.
bool WizardSize(const std::string& display, int* w, int* h, std::string* output) {
  Host host(display, {"DisplaySignerWizard", "null"});
  Screen screen(display);
  if (!screen.Open()) {
    *output = "the test cannot connect to " + display;
    return false;
  }
  unsigned long sheet = screen.WaitForWindow("Signer Wizard");
  *output = host.Output();
  if (!sheet) return false;
  int x = 0, y = 0;
  screen.Geometry(sheet, &x, &y, w, h);
  return true;
}

}  // namespace

TEST(OwnScreen, TheServersXftDpiScalesTheWindows) {
  Xvfb server("1920x1440x24");
  if (server.Missing()) GTEST_SKIP() << server.Problem();
  ASSERT_TRUE(server.Running()) << server.Problem();
  int w96 = 0, h96 = 0, w192 = 0, h192 = 0;
  std::string out;
  ASSERT_TRUE(WizardSize(server.Name(), &w96, &h96, &out)) << out;
  std::string why;
  ASSERT_EQ(Client(server.Name(), "sh -c 'echo \"Xft.dpi: 192\" | xrdb -nocpp -merge'", &why), 0) << why;
  ASSERT_TRUE(WizardSize(server.Name(), &w192, &h192, &out)) << out;
  // Twice the size, give or take the rounding of each dialog unit's pixels.
  EXPECT_NEAR(w192, 2 * w96, 6) << w96 << "x" << h96 << " at 96 dpi, " << w192 << "x" << h192 << " at 192";
  EXPECT_NEAR(h192, 2 * h96, 6) << w96 << "x" << h96 << " at 96 dpi, " << w192 << "x" << h192 << " at 192";
}
