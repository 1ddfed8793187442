// The display the window system shows its top-level windows on: the headless desktop (the window system's own
// screen surface, nothing more) or an X server (platform/x11). The window system tells the display what changed;
// the display turns its own input into the input messages of the window system.
#pragma once

#include <memory>
#include <string>

#include "platform/gdi/internal.h"
#include "platform/ui/ui.h"

namespace kx::ui {

enum class PointerShape { Arrow, IBeam, Hand, Wait, SizeWE, SizeNS };

// The desktop's resolution as the session sets it: the X resource Xft.dpi when given (its value, nullptr when
// the server has none), else GDK_SCALE, else QT_SCALE_FACTOR (each times 96), else 96.
KXAPI int DpiFromSettings(const char* xftDpi);

class Display {
 public:
  virtual ~Display() = default;
  virtual bool Live() const { return false; }  // windows appear on a screen people see
  virtual SIZE ScreenSize() const { return SIZE{kx::kScreenWidth, kx::kScreenHeight}; }
  // The screen's resolution in dots per inch (the desktop's scale: 96 is 100 %).
  virtual int Dpi() const { return DpiFromSettings(nullptr); }
  // A top-level window changed: shown, hidden, moved, sized, restacked, its title, owner or icon. Called without the
  // window system's lock, on any thread.
  virtual void WindowChanged(HWND) {}
  virtual void WindowGone(HWND) {}
  // The calling thread's painting is done for now: send what its windows' surfaces have new.
  virtual void Present() {}
  // The calling thread's top-level window became active (takes the keyboard).
  virtual void Activated(HWND) {}
  virtual void SetPointerShape(PointerShape) {}
  virtual void Beep() {}
  // The text clipboard of edit controls.
  virtual void SetClipboardText(const std::string& text) { clipboard_ = text; }
  virtual std::string ClipboardText() { return clipboard_; }

 private:
  std::string clipboard_;
};

// The display chosen at the first use: an X server when DISPLAY is set and KX_HEADLESS is not 1 and a back end
// is built in, else the headless desktop. An X server that cannot be opened ends the process with a clear error.
Display& CurrentDisplay();
// Chooses the display as CurrentDisplay does, but answers false with the reason instead of ending the process, so
// that a host can refuse to start.
KXAPI bool DisplayOpened(std::string* error);

// Size of the screen windows are placed on: the X screen, or the headless desktop.
int ScreenWidth();
int ScreenHeight();

// The X back end registers its maker here (its object file is linked into the platform library).
using DisplayMaker = std::unique_ptr<Display> (*)(const char* name);
bool RegisterDisplayMaker(DisplayMaker maker);

}  // namespace kx::ui
