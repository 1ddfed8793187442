#include "platform/ui/dlgplace.h"

#include <algorithm>

#include "platform/ui/display.h"

void kx::SizeAndCenterDialog(HWND dlg, int clientWidth, int clientHeight) {
  RECT wr{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&wr, static_cast<DWORD>(GetWindowLongPtr(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtr(dlg, GWL_EXSTYLE)));
  int w = wr.right - wr.left, h = wr.bottom - wr.top;
  RECT around{0, 0, kx::ui::ScreenWidth(), kx::ui::ScreenHeight()};
  HWND owner = GetWindow(dlg, GW_OWNER);
  if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &around);
  int x = std::clamp<int>((around.left + around.right - w) / 2, 0, std::max(0, kx::ui::ScreenWidth() - w));
  int y = std::clamp<int>((around.top + around.bottom - h) / 2, 0, std::max(0, kx::ui::ScreenHeight() - h));
  SetWindowPos(dlg, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}
