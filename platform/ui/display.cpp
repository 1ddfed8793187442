// Choice of the display at the first use.
#include "platform/ui/display.h"

#include <atomic>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/ui/access.h"

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

namespace {

struct Choice {
  Display* display = nullptr;
  std::string error;  // why the X server named by DISPLAY could not be opened
};

const Choice& Chosen() {
  static const Choice choice = [] {
    Choice c;
    const char* name = getenv("DISPLAY");
    const char* headless = getenv("KX_HEADLESS");
    bool wantX = name && *name && !(headless && strcmp(headless, "1") == 0);
    if (wantX && g_maker) {
      if (std::unique_ptr<Display> x = g_maker(name)) c.display = x.release();
      else c.error = std::string("cannot open the X display \"") + name + "\"";
      return c;
    }
    c.display = new HeadlessDisplay();
    return c;
  }();
  return choice;
}

}  // namespace

bool DisplayOpened(std::string* error) {
  const Choice& c = Chosen();
  if (!c.display && error) *error = c.error;
  return c.display != nullptr;
}

Display& CurrentDisplay() {
  const Choice& c = Chosen();
  if (!c.display) {
    // A host asked for the screen and cannot have it: better a clear end than windows nobody sees.
    fprintf(stderr, "brinmoor: %s (set KX_HEADLESS=1 to run without a screen)\n", c.error.c_str());
    fflush(stderr);
    _exit(1);
  }
  return *c.display;
}

namespace {
std::atomic<AccessListener> g_access{nullptr};
}  // namespace

bool RegisterAccessListener(AccessListener listener) {
  g_access.store(listener);
  return true;
}

void Announce(HWND hwnd, Access what) {
  if (AccessListener l = g_access.load(std::memory_order_relaxed)) l(hwnd, what);
}

int ScreenWidth() { return static_cast<int>(CurrentDisplay().ScreenSize().cx); }
int ScreenHeight() { return static_cast<int>(CurrentDisplay().ScreenSize().cy); }

}  // namespace kx::ui
