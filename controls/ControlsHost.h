// What the controls need of the application, which sits floors above them: the application object hands it
// over when it is made. Until then (a program without one) texts are empty and colour labels transparent.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

struct ControlsHost {
  // The text of a string id of the resource library; empty when there is none.
  CString (*text)(UINT id) = nullptr;
  // Whether colour labels paint their background (Windows XP-class systems).
  bool (*opaqueLabels)() = nullptr;
};

void SetControlsHost(const ControlsHost& host);
// The host's text of that id, or an empty string.
CString ControlText(UINT id);
bool OpaqueLabels();
