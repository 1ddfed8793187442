// Placing a dialog that lays itself out in code (property sheets, HTML pages): its window gets the size that
// holds the given client area and is centred over its owner when the owner is shown, else on the screen, kept
// on the screen either way.
#pragma once

#include "platform/ui/ui.h"

namespace kx {

KXAPI void SizeAndCenterDialog(HWND dlg, int clientWidth, int clientHeight);
// The dialog base units a font gives as drawn now: average letter width and line height, in pixels.
KXAPI void DialogFontUnits(HFONT font, int* x, int* y);

}  // namespace kx
