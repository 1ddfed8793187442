// Placing a dialog that lays itself out in code (property sheets, HTML pages): its window gets the size that
// holds the given client area and is centred over its owner when the owner is shown, else on the screen, kept
// on the screen either way.
#pragma once

#include "platform/ui/ui.h"

namespace kx {

KXAPI void SizeAndCenterDialog(HWND dlg, int clientWidth, int clientHeight);

}  // namespace kx
