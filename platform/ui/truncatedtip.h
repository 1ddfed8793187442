// The tip a list view or a header shows over an item drawn cut short: the item's whole text.
#pragma once

#include <string>

#include "platform/ui/commonctrl.h"

namespace kx::ctl {

// One tooltip per control, whose one tool is the item under the pointer: it is replaced when the pointer moves
// to another item, and removed over an item shown whole.
class TruncatedTip {
 public:
  // A mouse message of the owner (client coordinates in lp) over part (client coordinates), an item whose
  // whole text is text; cut tells whether it is drawn cut short.
  void Hover(HWND owner, UINT msg, WPARAM wp, LPARAM lp, const RECT& part, const std::string& text, bool cut);
  // A mouse message over no item, a button or the pointer leaving: no tip.
  void Leave(HWND owner, UINT msg, WPARAM wp, LPARAM lp);
  // With the owner's WM_DESTROY.
  void Destroy();
  HWND Window() const { return m_tip; }

 private:
  void Relay(HWND owner, UINT msg, WPARAM wp, LPARAM lp);
  void RemoveTool(HWND owner);

  HWND m_tip = nullptr;
  bool m_tool = false;
  RECT m_part{0, 0, 0, 0};
  std::string m_text;
};

}  // namespace kx::ctl
