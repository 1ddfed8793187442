// Slow work (a directory search) on a thread of its own while the calling window thread keeps answering: after
// a moment a small window says what is going on and offers Stop.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "platform/win32/types.h"

namespace kx {

// The caption of the window that offers Stop, and the control id of its text.
inline constexpr char kOffThreadCaption[] = "Please Wait";
inline constexpr int kOffThreadText = 100;

// Runs work on a new thread and returns true when it has ended, false when the user pressed Stop (or closed the
// window). work is told to stop through the flag it is given; after a Stop it is left to end by itself, so it
// must own (or share) everything it touches.
KXAPI bool RunOffThread(HWND owner, const std::string& text, std::function<void(const std::atomic<bool>& stop)> work);

}  // namespace kx
