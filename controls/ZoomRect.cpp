#include "controls/ZoomRect.h"

#include "platform/gdi/gdi.h"
#include "platform/win32/sync.h"

void AnimateRect(const RECT* from, const RECT* to, DWORD delay) {
  GdiFlush();
  Sleep(50);
  HDC dc = GetDC(nullptr);
  if (!dc) return;
  HPEN pen = CreatePen(PS_SOLID, 2, RGB(0, 0, 0));
  int oldRop = SetROP2(dc, R2_NOT);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  for (int s = 0; s < 10; ++s) {
    double t = s / 10.0;
    auto edge = [t](LONG a, LONG b) { return static_cast<LONG>(a + (b - a) * t); };
    LONG l = edge(from->left, to->left), tp = edge(from->top, to->top);
    LONG r = edge(from->right, to->right), bt = edge(from->bottom, to->bottom);
    POINT outline[5] = {{l, tp}, {r, tp}, {r, bt}, {l, bt}, {l, tp}};
    Polyline(dc, outline, 5);
    GdiFlush();
    Sleep(delay);
    Polyline(dc, outline, 5);
    GdiFlush();
  }
  SetROP2(dc, oldRop);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  ReleaseDC(nullptr, dc);
}

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
