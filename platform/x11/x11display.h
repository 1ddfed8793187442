// The X11 display back end of the window system (see platform/ui/display.h). Measures for the benchmarks.
#pragma once

#include <cstdint>

#include "platform/ui/ui.h"

namespace kx {

// Bytes of pixels (and copy requests) sent to the X server, and the number of pieces sent, since the start.
KXAPI uint64_t X11BytesSent();
KXAPI uint64_t X11FramesSent();
// Waits until the X server has handled every request sent so far (false without an X display).
KXAPI bool X11Sync();

}  // namespace kx
