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

// A positive number that is all of the text (blanks around it allowed), or 0.
double Number(const char* s) {
  if (!s) return 0;
  char* end = nullptr;
  double v = strtod(s, &end);
  if (end == s) return 0;
  while (*end == ' ' || *end == '\t' || *end == '\n') ++end;
  return *end == 0 && v > 0 && v < 100000 ? v : 0;
}

}  // namespace

int DpiFromSettings(const char* xftDpi) {
  double dpi = Number(xftDpi);
  if (dpi <= 0) {
    if (double gdk = Number(getenv("GDK_SCALE")); gdk > 0) dpi = 96 * gdk;
    else if (double qt = Number(getenv("QT_SCALE_FACTOR")); qt > 0) dpi = 96 * qt;
    else dpi = 96;
  }
  // Below 50 % or above 500 % is a mistaken setting, not a screen.
  return dpi < 48 || dpi > 480 ? 96 : static_cast<int>(dpi + 0.5);
}

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
      if (std::unique_ptr<Display> x = g_maker(name)) {
        c.display = x.release();
        kx::gdi::SetScreenDpi(c.display->Dpi());
      } else {
        c.error = std::string("cannot open the X display \"") + name + "\"";
      }
      return c;
    }
    c.display = new HeadlessDisplay();
    kx::gdi::SetScreenDpi(c.display->Dpi());
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
