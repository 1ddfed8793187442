// Finding pages for the UI driver: a page of a property sheet is a child dialog, which a wait for top-level
// windows does not see.
#pragma once

#include "platform/ui/driver.h"

namespace kx {

// A visible dialog made from this template, top-level or a child of any window (a sheet's page); or nullptr.
KXAPI HWND FindVisibleDialog(ULONG_PTR templateId);
// Waits until such a dialog is shown; throws UiDriverError (listing the windows) when none appears in time.
KXAPI HWND WaitForPage(UiDriver& driver, ULONG_PTR templateId, int timeoutMs = 0);

}  // namespace kx
