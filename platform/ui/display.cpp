// Choice of the display at the first use.
#include "platform/ui/display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace kx::ui {

namespace {

// The headless desktop: windows live in their surfaces and the window system's screen only.
class HeadlessDisplay : public Display {};

DisplayMaker g_maker = nullptr;

}  // namespace

bool RegisterDisplayMaker(DisplayMaker maker) {
  g_maker = maker;
  return true;
}

Display& CurrentDisplay() {
  static Display* d = [] () -> Display* {
    const char* name = getenv("DISPLAY");
    const char* headless = getenv("KX_HEADLESS");
    bool wantX = name && *name && !(headless && strcmp(headless, "1") == 0);
    if (wantX && g_maker) {
      if (std::unique_ptr<Display> x = g_maker(name)) return x.release();
      // A host asked for the screen and cannot have it: better a clear end than windows nobody sees.
      fprintf(stderr, "brinmoor: cannot open the X display \"%s\" (set KX_HEADLESS=1 to run without a screen)\n",
              name);
      fflush(stderr);
      _exit(1);
    }
    return new HeadlessDisplay();
  }();
  return *d;
}

int ScreenWidth() { return static_cast<int>(CurrentDisplay().ScreenSize().cx); }
int ScreenHeight() { return static_cast<int>(CurrentDisplay().ScreenSize().cy); }

}  // namespace kx::ui
