// Handing a file or an address to the desktop, as the shell's "open" does.
#pragma once

#include <string>

#include "platform/win32/types.h"

namespace kx {

// True when a desktop can show something: $DISPLAY or $WAYLAND_DISPLAY is set.
KXAPI bool HaveDisplay();
// Runs the desktop's opener ("xdg-open"; $KX_DESKTOP_OPENER names another program) with the target as its one
// argument, detached (no shell is involved). False when there is no display or the opener cannot be started.
KXAPI bool OpenWithDesktop(const std::string& target);

}  // namespace kx
