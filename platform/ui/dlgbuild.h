// Building the platform's own dialogs (the common dialogs) from in-memory templates.
#pragma once

#include <string>

#include "platform/ui/dlgtemplate.h"

namespace kx::dlg {

inline DialogItemTemplate Item(const char* cls, const std::string& text, int id, short x, short y, short cx, short cy,
                               DWORD style) {
  DialogItemTemplate it;
  it.className = cls;
  it.text = text;
  it.id = id;
  it.x = x;
  it.y = y;
  it.cx = cx;
  it.cy = cy;
  it.style = WS_CHILD | WS_VISIBLE | style;
  return it;
}

inline DialogTemplate Dialog(const std::string& title, short cx, short cy) {
  DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
  t.title = title;
  t.cx = cx;
  t.cy = cy;
  return t;
}

// The error code of the last common dialog of the calling thread.
void SetCommonDialogError(DWORD code);

}  // namespace kx::dlg
