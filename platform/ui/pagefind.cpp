#include "platform/ui/pagefind.h"

#include <string>

namespace {

struct Search {
  ULONG_PTR id;
  HWND found = nullptr;
};

// Visible means the window and all its ancestors are.
bool Showing(HWND h) {
  for (HWND w = h; w; w = (GetWindowLongPtr(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
    if (!IsWindowVisible(w)) return false;
  return true;
}

BOOL CheckChild(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  if (kx::GetDialogTemplateId(h) == s->id && Showing(h)) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

BOOL CheckTop(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  if (!CheckChild(h, lp)) return FALSE;
  EnumChildWindows(h, &CheckChild, lp);
  return s->found ? FALSE : TRUE;
}

}  // namespace

HWND kx::FindVisibleDialog(ULONG_PTR templateId) {
  Search s{templateId};
  EnumWindows(&CheckTop, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND kx::WaitForPage(UiDriver& driver, ULONG_PTR templateId, int timeoutMs) {
  HWND page = nullptr;
  driver.WaitUntil([&] { return (page = FindVisibleDialog(templateId)) != nullptr; },
                   "a page or dialog made from template " + std::to_string(templateId), timeoutMs);
  return page;
}
