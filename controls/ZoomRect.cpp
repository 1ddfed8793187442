#include "controls/ZoomRect.h"

#include "app/BaseSheet.h"

namespace {

constexpr DWORD kZoomStepMs = 20;

void Zoom(HWND window, const CRect& from, const CRect& to, bool byOutline) {
  if (byOutline) AnimateRect(&from, &to, kZoomStepMs);
  else DrawAnimatedRects(window, IDANI_CAPTION, &from, &to);
}

}  // namespace

void ZoomOpen(const CRect& source, const CWnd* window, const CREATESTRUCT* cs, bool byOutline) {
  if (source.IsRectEmpty() || !cs) return;
  CRect target(cs->x, cs->y, cs->x + cs->cx, cs->y + cs->cy);
  Zoom(window ? window->m_hWnd : nullptr, source, target, byOutline);
}

void ZoomClose(const CRect& source, const CWnd* window, bool byOutline) {
  if (source.IsRectEmpty() || !window) return;
  CRect from;
  window->GetWindowRect(&from);
  if (byOutline) from.DeflateRect(2, 2);
  Zoom(window->m_hWnd, from, source, byOutline);
}
