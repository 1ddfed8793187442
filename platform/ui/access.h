// What an assistive technology (a screen reader) hears of the windows: the window system announces each change
// here, and the accessibility back end (platform/a11y), when one is built in and a bus runs, passes it on.
#pragma once

#include "platform/ui/ui.h"

namespace kx::ui {

enum class Access {
  Created,    // a window exists (shown or not)
  Shown,
  Hidden,
  Destroyed,
  Focus,      // the window took the keyboard focus
  State,      // enabled, checked, pressed...
  Name,       // its caption or label text
  Text,       // an edit's text
  Value,      // a progress bar's or spin's position
  Selection,  // the selected rows, items or tab
  Page,       // a property sheet or wizard shows another page
};

// Called on the thread that changed the window, without the window system's lock; it must not wait for anything.
using AccessListener = void (*)(HWND, Access);
bool RegisterAccessListener(AccessListener listener);
// Tells the listener, if any.
void Announce(HWND hwnd, Access what);

}  // namespace kx::ui
