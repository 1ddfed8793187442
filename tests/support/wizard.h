// Pressing a wizard's buttons as a person does: once the page shows and enables them. A page enables Next when
// what it waits for has come (a list filled, a choice taken back from a dialog), which on a busy machine can be a
// moment after the action that brings it.
#pragma once

#include <string>

#include "platform/ui/driver.h"
#include "platform/ui/prsht.h"

namespace kxtest {

// The sheet's button (ID_WIZNEXT, ID_WIZBACK, ID_WIZFINISH...) once it is visible and enabled.
inline HWND WizardButton(kx::UiDriver& d, HWND sheet, int id) {
  HWND button = d.Control(sheet, id);
  d.WaitUntil([&] { return d.IsVisible(button) && d.IsEnabled(button); }, "wizard button " + std::to_string(id));
  return button;
}

inline void PressWizardButton(kx::UiDriver& d, HWND sheet, int id) { d.Click(WizardButton(d, sheet, id)); }

inline void PressNext(kx::UiDriver& d, HWND sheet) { PressWizardButton(d, sheet, ID_WIZNEXT); }

}  // namespace kxtest
