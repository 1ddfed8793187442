// For writers of controls: registration of built-in window classes and the helpers the controls share.
//
// A control is a window class with its own window procedure. A new control goes into its own source file and
// registers itself once, before the first window is made:
//
//   static void RegisterListView() { WNDCLASSEXA wc{...}; kx::RegisterSystemClass(wc); }
//   static const bool kRegistered = kx::AddSystemClass(&RegisterListView);
#pragma once

#include "platform/ui/ui.h"

namespace kx {

using SystemClassRegistrar = void (*)();
// Adds a function that registers a window class; each runs once, before the first window is made.
KXAPI bool AddSystemClass(SystemClassRegistrar registrar);
// Registers a class that every module sees (as the platform's own control classes).
KXAPI ATOM RegisterSystemClass(const WNDCLASSEXA& wc);
// The usual form of a control's class: its own data pointer in the window's extra bytes, the arrow cursor.
KXAPI ATOM RegisterControlClass(const char* name, WNDPROC proc, UINT style = CS_DBLCLKS | CS_PARENTDC,
                                LPCSTR cursor = IDC_ARROW, int extraBytes = sizeof(void*));

// Sends WM_COMMAND (control id, code, control) to the control's parent.
KXAPI void NotifyParent(HWND control, UINT code);
// Sends WM_NOTIFY with an NMHDR (or a larger structure starting with one) to the parent; fills the header.
KXAPI LRESULT NotifyParentNm(HWND control, NMHDR* header, UINT code);
// Asks the parent for the colours of a control (a WM_CTLCOLOR* message); sets them in the DC and returns the
// brush for the background (the default of the platform when the parent gives none).
KXAPI HBRUSH ControlColors(HWND control, HDC hdc, UINT ctlColorMessage);
// The font a control draws with: the one it was given by WM_SETFONT, else the default dialog font.
KXAPI HFONT ControlFont(HFONT given);

// A control's own data kept in its first window-extra slot (cbWndExtra >= sizeof(void*)).
template <typename T>
T* ControlData(HWND hwnd) {
  return reinterpret_cast<T*>(GetWindowLongPtr(hwnd, 0));
}
template <typename T>
void SetControlData(HWND hwnd, T* data) {
  SetWindowLongPtr(hwnd, 0, reinterpret_cast<LONG_PTR>(data));
}

// Paints through WM_PAINT or WM_PRINTCLIENT: calls `paint` with the DC to draw on and the client rectangle.
template <typename F>
void PaintControl(HWND hwnd, UINT msg, WPARAM wParam, F paint) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (msg == WM_PRINTCLIENT) {
    paint(reinterpret_cast<HDC>(wParam), rc);
    return;
  }
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  if (hdc) paint(hdc, rc);
  EndPaint(hwnd, &ps);
}

}  // namespace kx
