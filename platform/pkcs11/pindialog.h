// The PIN dialog of smart cards and tokens: a masked edit under the token's label, with the token's own word on
// attempts left. A normal dialog of the window system, so that a person (or the UI driver) answers it.
#pragma once

#include <string>

#include "platform/pkcs11/internal.h"

namespace kx::p11 {

inline constexpr const char* kPinDialogTitle = "Smart Card PIN";
inline constexpr int kPinEdit = 1001, kPinLabel = 1002, kPinAttempts = 1003;

// Shows the dialog on the calling thread. False when the user cancelled; otherwise *pin holds what was typed,
// which the caller wipes once used.
bool AskPin(const PinRequest& request, std::string* pin);

// Tells the user that the token's PIN is locked.
void ReportLocked(const std::string& tokenLabel);
// Tells the user once that the module cannot be loaded.
void ReportModuleFailure(const std::string& text);

// The three above, as the module is given them.
Prompts DialogPrompts();

}  // namespace kx::p11
