// The HTML Help entry (built-in module "hhctrl.ocx", entry "HtmlHelpA", ordinal 14). The help file of this
// platform is an HTML document; a request to show it opens it with the desktop's opener when there is a display.
// Every request is recorded, so that a host without a display (and tests) can see what was asked.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/types.h"

#define HH_DISPLAY_TOPIC 0x0000
#define HH_HELP_FINDER 0x0000
#define HH_DISPLAY_TOC 0x0001
#define HH_DISPLAY_INDEX 0x0002
#define HH_DISPLAY_SEARCH 0x0003
#define HH_HELP_CONTEXT 0x000F
#define HH_CLOSE_ALL 0x0012

// Shows the help file (file may carry "::/topic" and ">window" parts, which name the same document here).
// Returns no window: the document is shown by the desktop.
KXAPI HWND HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

namespace kx {

struct HelpRequest {
  std::string file;  // the help file's path, without topic or window parts
  UINT command = 0;
  DWORD_PTR data = 0;
  bool opened = false;  // handed to the desktop's opener
};
KXAPI std::vector<HelpRequest> HelpRequests();
KXAPI void ClearHelpRequests();

}  // namespace kx
