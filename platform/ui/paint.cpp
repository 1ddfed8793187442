// Painting: update regions, device contexts of windows, the non-client frame, scroll bars, composition of the
// top-level windows onto the headless screen, rendering to PNG.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

Region g_screenDirty;

RECT ClientSize(const Window& w) { return RECT{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top}; }

bool NeedsPaint(const Window& w) { return !w.update.Empty() || w.ncPending || w.internalPaint; }

}  // namespace

void ScreenDirty(const RECT& r) {
  g_screenDirty = g_screenDirty.Union(Region(r));
}

void EnsureSurface(Window& w) {
  int cw = std::max<int>(w.rect.right - w.rect.left, 1), ch = std::max<int>(w.rect.bottom - w.rect.top, 1);
  if (w.surface && w.surface->width == cw && w.surface->height == ch) return;
  w.surface = std::make_shared<kx::gdi::Surface>(cw, ch);
  w.surface->Fill(kx::gdi::SysPixel(COLOR_BTNFACE));
}

void InvalidateLocked(Window& w, const Region& clientRgn, bool erase, bool children) {
  KX_ASSERT_LOCKED();
  if (w.destroyed || !VisibleChain(w)) return;
  Region rgn = clientRgn.IntersectRect(ClientSize(w));
  if (!rgn.Empty()) {
    w.update = w.update.Union(rgn);
    w.erasePending = w.erasePending || erase;
    if (w.queue) WakeLocked(*w.queue);
  }
  if (!children && (w.style & WS_CLIPCHILDREN)) return;
  for (HWND c : w.children) {
    WindowPtr cw = FindLocked(c);
    if (!cw || !(cw->style & WS_VISIBLE)) continue;
    Region part = clientRgn.IntersectRect(cw->rect);
    if (part.Empty()) continue;
    RECT cl{cw->rect.left + cw->client.left, cw->rect.top + cw->client.top, cw->rect.left + cw->client.right,
            cw->rect.top + cw->client.bottom};
    if (!part.Subtract(Region(cl)).Empty()) {
      cw->ncPending = true;
      if (cw->queue) WakeLocked(*cw->queue);
    }
    part.Offset(-cl.left, -cl.top);
    // What the parent paints over must be painted again by the child, background included.
    InvalidateLocked(*cw, part, true, children);
  }
}

void InvalidateWindowArea(Window& w) {
  if (!VisibleChain(w)) return;
  w.ncPending = true;
  InvalidateLocked(w, Region(ClientSize(w)), true, true);
  if (w.queue) WakeLocked(*w.queue);
}

void InvalidateParentArea(Window& w, const RECT& rectInParent) {
  WindowPtr p = FindLocked(w.parent);
  if (!p) return;
  InvalidateLocked(*p, Region(rectInParent), true, false);
  for (HWND s : p->children) {
    if (s == w.handle) continue;
    WindowPtr sw = FindLocked(s);
    if (!sw || !(sw->style & WS_VISIBLE)) continue;
    RECT i;
    if (!IntersectRect(&i, &sw->rect, &rectInParent)) continue;
    Region part(i);
    RECT cl{sw->rect.left + sw->client.left, sw->rect.top + sw->client.top, sw->rect.left + sw->client.right,
            sw->rect.top + sw->client.bottom};
    if (!part.Subtract(Region(cl)).Empty()) sw->ncPending = true;
    part.Offset(-cl.left, -cl.top);
    InvalidateLocked(*sw, part, true, true);
  }
}

HWND NextPaintWindowLocked(Queue& q, HWND filter) {
  KX_ASSERT_LOCKED();
  std::function<HWND(HWND)> walk = [&](HWND h) -> HWND {
    WindowPtr w = FindLocked(h);
    if (!w || !(w->style & WS_VISIBLE) || w->destroyed) return nullptr;
    if (w->threadId == q.threadId && NeedsPaint(*w)) {
      if (!filter || filter == h) return h;
      if (WindowPtr f = FindLocked(filter); f && IsChildOf(*f, *w)) return h;
    }
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
      if (HWND r = walk(*it)) return r;
    return nullptr;
  };
  for (auto it = TopLevels().rbegin(); it != TopLevels().rend(); ++it) {
    WindowPtr w = FindLocked(*it);
    if (!w || w->threadId != q.threadId) continue;
    if (HWND r = walk(*it)) return r;
  }
  return nullptr;
}

namespace {

// What a window may draw on, in its top-level surface's coordinates.
Region VisibleRegion(const Window& w, bool whole, bool clipChildren, bool clipSiblings) {
  if (!VisibleChain(w)) return Region();
  POINT off = OffsetInTop(w);
  RECT r = whole ? RECT{off.x, off.y, off.x + (w.rect.right - w.rect.left), off.y + (w.rect.bottom - w.rect.top)}
                 : RECT{off.x + w.client.left, off.y + w.client.top, off.x + w.client.right, off.y + w.client.bottom};
  Region rgn(r);
  const Window* cur = &w;
  bool siblings = clipSiblings;
  while (cur->parent) {
    WindowPtr p = FindLocked(cur->parent);
    if (!p) break;
    POINT po = OffsetInTop(*p);
    rgn = rgn.IntersectRect(RECT{po.x + p->client.left, po.y + p->client.top, po.x + p->client.right,
                                 po.y + p->client.bottom});
    if (siblings) {
      for (HWND s : p->children) {
        if (s == cur->handle) break;
        WindowPtr sw = FindLocked(s);
        if (!sw || !(sw->style & WS_VISIBLE)) continue;
        RECT sr = sw->rect;
        OffsetRect(&sr, po.x + p->client.left, po.y + p->client.top);
        rgn = rgn.Subtract(Region(sr));
      }
    }
    cur = p.get();
    siblings = (cur->style & WS_CLIPSIBLINGS) != 0;
  }
  if (clipChildren) {
    for (HWND c : w.children) {
      WindowPtr cw = FindLocked(c);
      if (!cw || !(cw->style & WS_VISIBLE)) continue;
      RECT cr = cw->rect;
      OffsetRect(&cr, off.x + w.client.left, off.y + w.client.top);
      rgn = rgn.Subtract(Region(cr));
    }
  }
  return rgn;
}

HDC WindowDc(HWND hwnd, bool whole, const Region* extra, bool intersect, DWORD flags) {
  if (!hwnd || IsDesktop(hwnd)) {
    kx::gdi::SurfacePtr s = kx::gdi::ScreenSurface();
    return kx::gdi::CreateSurfaceDc(kx::gdi::DcKind::Screen, s, POINT{0, 0}, Region(RECT{0, 0, s->width, s->height}),
                                    hwnd, true);
  }
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w) return nullptr;
  Window* top = TopOf(w.get());
  EnsureSurface(*top);
  bool clipChildren = (w->style & WS_CLIPCHILDREN) || (flags & DCX_CLIPCHILDREN);
  bool clipSiblings = (w->style & WS_CLIPSIBLINGS) || (flags & DCX_CLIPSIBLINGS);
  Region vis = VisibleRegion(*w, whole, clipChildren, clipSiblings);
  if (extra) {
    // The extra region is in screen coordinates.
    Region e = *extra;
    e.Offset(-top->rect.left, -top->rect.top);
    vis = intersect ? vis.Intersect(e) : vis.Subtract(e);
  }
  POINT off = OffsetInTop(*w);
  POINT origin = whole ? off : POINT{off.x + w->client.left, off.y + w->client.top};
  return kx::gdi::CreateSurfaceDc(kx::gdi::DcKind::Window, top->surface, origin, vis, hwnd, whole);
}

}  // namespace

// ----- the frame -----
RECT FrameInsets(DWORD style, DWORD exStyle, bool vs, bool hs) {
  RECT in{0, 0, 0, 0};
  int b = 0;
  if (style & WS_THICKFRAME) b = GetSystemMetrics(SM_CXFRAME);
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) b = GetSystemMetrics(SM_CXDLGFRAME);
  else if (style & WS_BORDER) b = 1;
  if (exStyle & WS_EX_CLIENTEDGE) b += 2;
  if (exStyle & WS_EX_STATICEDGE) b += 1;
  in = RECT{b, b, b, b};
  if ((style & WS_CAPTION) == WS_CAPTION)
    in.top += (exStyle & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION);
  if (vs) in.right += GetSystemMetrics(SM_CXVSCROLL);
  if (hs) in.bottom += GetSystemMetrics(SM_CYHSCROLL);
  return in;
}

namespace {

int OuterBorder(DWORD style, DWORD exStyle) {
  if (style & WS_THICKFRAME) return GetSystemMetrics(SM_CXFRAME);
  if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) return GetSystemMetrics(SM_CXDLGFRAME);
  if (style & WS_BORDER) return 1;
  return 0;
}

HFONT CaptionFont() {
  // One for each resolution the screen has had.
  static std::mutex lock;
  static auto* fonts = new std::map<int, HFONT>();
  std::lock_guard<std::mutex> g(lock);
  HFONT& f = (*fonts)[kx::gdi::ScreenDpi()];
  if (!f) {
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    f = CreateFontIndirect(&ncm.lfCaptionFont);
  }
  return f;
}

void FillRectColor(HDC hdc, const RECT& rc, int sysColor) { FillRect(hdc, &rc, GetSysColorBrush(sysColor)); }

}  // namespace

bool CaptionCloseRect(const Window& w, RECT* rc) {
  if ((w.style & WS_CAPTION) != WS_CAPTION || !(w.style & WS_SYSMENU)) return false;
  int b = OuterBorder(w.style, w.exStyle);
  int width = w.rect.right - w.rect.left;
  int cap = (w.exStyle & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION);
  int bh = cap - 5, bw = bh + 2;
  *rc = RECT{width - b - 2 - bw, b + 2, width - b - 2, b + 2 + bh};
  return true;
}

void DrawFrame(HWND hwnd, HDC hdc) {
  DWORD style, ex;
  RECT wr;
  std::string text;
  bool active;
  bool vs, hs;
  Window::ScrollBar vsb, hsb;
  RECT closeRc{};
  bool hasClose;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return;
    style = w->style;
    ex = w->exStyle;
    wr = w->rect;
    text = w->text;
    active = w->ncActive;
    vs = (style & WS_VSCROLL) != 0;
    hs = (style & WS_HSCROLL) != 0;
    vsb = w->vscroll;
    hsb = w->hscroll;
    hasClose = CaptionCloseRect(*w, &closeRc);
  }
  RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
  int b = OuterBorder(style, ex);
  if (b >= 3) {
    DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    for (int i = 2; i < b; ++i) {
      FrameRect(hdc, &r, GetSysColorBrush((style & WS_THICKFRAME) ? (active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER)
                                                                  : COLOR_BTNFACE));
      InflateRect(&r, -1, -1);
    }
  } else if (b == 1) {
    FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
  }
  if ((style & WS_CAPTION) == WS_CAPTION) {
    int cap = (ex & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION);
    RECT c{r.left, r.top, r.right, r.top + cap - 1};
    COLORREF c1 = GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    COLORREF c2 = GetSysColor(active ? COLOR_GRADIENTACTIVECAPTION : COLOR_GRADIENTINACTIVECAPTION);
    TRIVERTEX v[2] = {{c.left, c.top, static_cast<COLOR16>(GetRValue(c1) << 8), static_cast<COLOR16>(GetGValue(c1) << 8),
                       static_cast<COLOR16>(GetBValue(c1) << 8), 0},
                      {c.right, c.bottom, static_cast<COLOR16>(GetRValue(c2) << 8), static_cast<COLOR16>(GetGValue(c2) << 8),
                       static_cast<COLOR16>(GetBValue(c2) << 8), 0}};
    GRADIENT_RECT gr{0, 1};
    GradientFill(hdc, v, 2, &gr, 1, GRADIENT_FILL_RECT_H);
    FillRectColor(hdc, RECT{r.left, c.bottom, r.right, c.bottom + 1}, COLOR_BTNFACE);
    RECT tr{c.left + 3, c.top, (hasClose ? closeRc.left : c.right) - 2, c.bottom};
    HGDIOBJ of = SelectObject(hdc, CaptionFont());
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    DrawText(hdc, text.c_str(), -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(hdc, of);
    if (hasClose) {
      RECT cr = closeRc;
      DrawFrameControl(hdc, &cr, DFC_CAPTION, DFCS_CAPTIONCLOSE);
      if (style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) {
        int bw = cr.right - cr.left;
        RECT mr{cr.left - 2 - bw, cr.top, cr.left - 2, cr.bottom};
        DrawFrameControl(hdc, &mr, DFC_CAPTION, (style & WS_MAXIMIZE) ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX);
        RECT nr{mr.left - bw, cr.top, mr.left, cr.bottom};
        DrawFrameControl(hdc, &nr, DFC_CAPTION, DFCS_CAPTIONMIN);
      }
    }
    r.top += cap;
  }
  if (ex & WS_EX_CLIENTEDGE) DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  if (ex & WS_EX_STATICEDGE) DrawEdge(hdc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  int sw = GetSystemMetrics(SM_CXVSCROLL), sh = GetSystemMetrics(SM_CYHSCROLL);
  auto bar = [&](RECT area, const Window::ScrollBar& sb, bool vertical) {
    int len = vertical ? area.bottom - area.top : area.right - area.left;
    int arrow = std::min(vertical ? sw : sh, len / 2);
    RECT a1 = area, a2 = area;
    if (vertical) { a1.bottom = a1.top + arrow; a2.top = a2.bottom - arrow; }
    else { a1.right = a1.left + arrow; a2.left = a2.right - arrow; }
    bool disabled = sb.max <= sb.min || sb.disabled == ESB_DISABLE_BOTH;
    DrawFrameControl(hdc, &a1, DFC_SCROLL, (vertical ? DFCS_SCROLLUP : DFCS_SCROLLLEFT) | (disabled ? DFCS_INACTIVE : 0));
    DrawFrameControl(hdc, &a2, DFC_SCROLL, (vertical ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT) | (disabled ? DFCS_INACTIVE : 0));
    RECT track = area;
    if (vertical) { track.top = a1.bottom; track.bottom = a2.top; }
    else { track.left = a1.right; track.right = a2.left; }
    FillRectColor(hdc, track, COLOR_SCROLLBAR);
    int tlen = vertical ? track.bottom - track.top : track.right - track.left;
    if (!disabled && tlen > 8) {
      int range = sb.max - sb.min + 1;
      int thumb = sb.page ? std::max(8, static_cast<int>(static_cast<long long>(tlen) * sb.page / range)) : arrow;
      thumb = std::min(thumb, tlen);
      int span = range - std::max(sb.page, 1) ;
      int pos = span > 0 ? static_cast<int>(static_cast<long long>(tlen - thumb) * (sb.pos - sb.min) / span) : 0;
      RECT t = track;
      if (vertical) { t.top += pos; t.bottom = t.top + thumb; }
      else { t.left += pos; t.right = t.left + thumb; }
      DrawEdge(hdc, &t, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
  };
  if (vs) bar(RECT{r.right - sw, r.top, r.right, r.bottom - (hs ? sh : 0)}, vsb, true);
  if (hs) bar(RECT{r.left, r.bottom - sh, r.right - (vs ? sw : 0), r.bottom}, hsb, false);
  if (vs && hs) FillRectColor(hdc, RECT{r.right - sw, r.bottom - sh, r.right, r.bottom}, COLOR_BTNFACE);
}

// ----- composition -----
void ComposeScreen() {
  kx::gdi::SurfacePtr screen = kx::gdi::ScreenSurface();
  Guard g(Lock());
  Region dirty = g_screenDirty;
  g_screenDirty = Region();
  std::vector<WindowPtr> visible;
  for (auto it = TopLevels().rbegin(); it != TopLevels().rend(); ++it) {
    WindowPtr w = FindLocked(*it);
    if (!w || !(w->style & WS_VISIBLE) || w->messageOnly || !w->surface) continue;
    visible.push_back(w);
    if (w->surface->damaged) {
      RECT d = w->surface->damage;
      OffsetRect(&d, w->rect.left, w->rect.top);
      dirty = dirty.Union(Region(d));
      w->surface->damaged = false;
    }
  }
  dirty = dirty.IntersectRect(RECT{0, 0, screen->width, screen->height});
  if (dirty.Empty()) return;
  cairo_surface_flush(screen->cs);
  uint32_t desk = kx::gdi::SysPixel(COLOR_BACKGROUND);
  for (const RECT& r : dirty.Rects())
    for (int y = r.top; y < r.bottom; ++y) std::fill(screen->Row(y) + r.left, screen->Row(y) + r.right, desk);
  for (const WindowPtr& w : visible) {
    cairo_surface_flush(w->surface->cs);
    Region part = dirty.IntersectRect(w->rect);
    for (const RECT& r : part.Rects())
      for (int y = r.top; y < r.bottom; ++y) {
        int sy = y - w->rect.top;
        if (sy < 0 || sy >= w->surface->height) continue;
        for (int x = r.left; x < r.right; ++x) {
          int sx = x - w->rect.left;
          if (sx >= 0 && sx < w->surface->width) screen->Row(y)[x] = w->surface->Row(sy)[sx] & 0xFFFFFF;
        }
      }
  }
  cairo_surface_mark_dirty(screen->cs);
}

namespace {
struct ComposerInstall {
  ComposerInstall() { kx::gdi::SetScreenComposer(&ComposeScreen); }
} g_composerInstall;
}  // namespace

}  // namespace kx::ui

using namespace kx::ui;

HDC GetDC(HWND hwnd) { return WindowDc(hwnd, false, nullptr, false, 0); }
HDC GetWindowDC(HWND hwnd) { return WindowDc(hwnd, true, nullptr, false, 0); }

HDC GetDCEx(HWND hwnd, HRGN clip, DWORD flags) {
  std::shared_ptr<kx::gdi::RegionObj> r;
  if (clip && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN))) r = kx::gdi::Get<kx::gdi::RegionObj>(clip, kx::gdi::ObjKind::Region);
  Region extra = r ? r->rgn : Region();
  bool use = r && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN));
  return WindowDc(hwnd, (flags & DCX_WINDOW) != 0, use ? &extra : nullptr, (flags & DCX_INTERSECTRGN) != 0, flags);
}

int ReleaseDC(HWND, HDC hdc) {
  kx::gdi::DcPtr dc = kx::gdi::GetDc(hdc);
  if (!dc || dc->kind == kx::gdi::DcKind::Memory) return 0;
  DeleteDC(hdc);
  return 1;
}

HWND WindowFromDC(HDC hdc) {
  kx::gdi::DcPtr dc = kx::gdi::GetDc(hdc);
  if (!dc) return nullptr;
  if (dc->kind == kx::gdi::DcKind::Screen) return dc->hwnd ? dc->hwnd : GetDesktopWindow();
  return dc->hwnd;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) return nullptr;
  std::memset(ps, 0, sizeof *ps);
  Region rgn;
  bool erase, nc;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return nullptr;
    rgn = w->update;
    erase = w->erasePending;
    nc = w->ncPending;
    w->update = Region();
    w->erasePending = false;
    w->ncPending = false;
    w->internalPaint = false;
  }
  if (nc) SendMessage(hwnd, WM_NCPAINT, 1, 0);
  HDC hdc = GetDC(hwnd);
  if (!hdc) return nullptr;
  kx::gdi::DcPtr dc = kx::gdi::GetDc(hdc);
  Region surfaceRgn = rgn;
  surfaceRgn.Offset(dc->origin.x, dc->origin.y);
  dc->visible = dc->visible.Intersect(surfaceRgn);
  ps->hdc = hdc;
  ps->rcPaint = rgn.Box();
  ps->fErase = erase ? (SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE) : FALSE;
  return hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  ReleaseDC(hwnd, ps->hdc);
  return TRUE;
}

namespace {

// Invalidates part of a window's client area (all of it when `area` is empty), or every window for no window.
BOOL Invalidate(HWND hwnd, const Region* area, BOOL erase) {
  Guard g(Lock());
  if (!hwnd) {
    for (HWND t : TopLevels())
      if (WindowPtr w = FindLocked(t)) InvalidateWindowArea(*w);
    return TRUE;
  }
  WindowPtr w = FindLocked(hwnd);
  if (!w) return FALSE;
  Region all(RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top});
  InvalidateLocked(*w, area ? *area : all, erase != FALSE, false);
  return TRUE;
}

}  // namespace

BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
  if (!rgn) return Invalidate(hwnd, nullptr, erase);
  auto obj = kx::gdi::Get<kx::gdi::RegionObj>(rgn, kx::gdi::ObjKind::Region);
  if (!obj) return FALSE;
  return Invalidate(hwnd, &obj->rgn, erase);
}

BOOL InvalidateRect(HWND hwnd, const RECT* rc, BOOL erase) {
  if (!rc) return Invalidate(hwnd, nullptr, erase);
  Region r(*rc);
  return Invalidate(hwnd, &r, erase);
}

BOOL ValidateRgn(HWND hwnd, HRGN rgn) {
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w) return FALSE;
  if (!rgn) {
    w->update = Region();
    w->erasePending = false;
    return TRUE;
  }
  auto obj = kx::gdi::Get<kx::gdi::RegionObj>(rgn, kx::gdi::ObjKind::Region);
  if (obj) w->update = w->update.Subtract(obj->rgn);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rc) {
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w) return FALSE;
  if (!rc) {
    w->update = Region();
    w->erasePending = false;
  } else {
    w->update = w->update.Subtract(Region(*rc));
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rc, BOOL erase) {
  bool needErase;
  RECT box;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return FALSE;
    box = w->update.Box();
    needErase = erase && w->erasePending && !w->update.Empty();
  }
  if (needErase) {
    HDC hdc = GetDC(hwnd);
    SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    ReleaseDC(hwnd, hdc);
    Guard g(Lock());
    if (WindowPtr w = FindLocked(hwnd)) w->erasePending = false;
  }
  if (rc) *rc = box;
  return IsRectEmpty(&box) ? FALSE : TRUE;
}

int GetUpdateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
  RECT dummy;
  GetUpdateRect(hwnd, &dummy, erase);
  auto obj = kx::gdi::Get<kx::gdi::RegionObj>(rgn, kx::gdi::ObjKind::Region);
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w || !obj) return ERROR;
  obj->rgn = w->update;
  return obj->rgn.Kind();
}

int ExcludeUpdateRgn(HDC hdc, HWND hwnd) {
  kx::gdi::DcPtr dc = kx::gdi::GetDc(hdc);
  if (!dc) return ERROR;
  Region upd;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return ERROR;
    upd = w->update;
  }
  upd.Offset(dc->origin.x, dc->origin.y);
  dc->visible = dc->visible.Subtract(upd);
  return dc->Clip().Kind();
}

BOOL UpdateWindow(HWND hwnd) {
  bool need;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return FALSE;
    need = (w->style & WS_VISIBLE) && NeedsPaint(*w);
  }
  if (need) SendMessage(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

namespace {

void PaintTree(HWND hwnd) {
  UpdateWindow(hwnd);
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return;
    kids.assign(w->children.rbegin(), w->children.rend());
  }
  for (HWND c : kids) PaintTree(c);
}

void EraseNow(HWND hwnd, bool children) {
  bool nc, erase;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return;
    nc = w->ncPending;
    erase = w->erasePending && !w->update.Empty();
    w->ncPending = false;
    w->erasePending = false;
  }
  if (nc) SendMessage(hwnd, WM_NCPAINT, 1, 0);
  if (erase) {
    HDC hdc = GetDC(hwnd);
    SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    ReleaseDC(hwnd, hdc);
  }
  if (!children) return;
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return;
    kids = w->children;
  }
  for (HWND c : kids) EraseNow(c, true);
}

void ValidateTree(Window& w, const Region& rgn, UINT flags) {
  w.update = w.update.Subtract(rgn);
  if (flags & RDW_NOERASE) w.erasePending = false;
  if (flags & RDW_NOFRAME) w.ncPending = false;
  if (flags & RDW_NOINTERNALPAINT) w.internalPaint = false;
  if (!(flags & RDW_ALLCHILDREN)) return;
  for (HWND c : w.children) {
    WindowPtr cw = FindLocked(c);
    if (!cw) continue;
    Region part = rgn;
    part.Offset(-(cw->rect.left + cw->client.left), -(cw->rect.top + cw->client.top));
    ValidateTree(*cw, part, flags);
  }
}

}  // namespace

BOOL RedrawWindow(HWND hwnd, const RECT* rc, HRGN rgn, UINT flags) {
  if (!hwnd) {
    std::vector<HWND> tops;
    {
      Guard g(Lock());
      tops = TopLevels();
    }
    for (HWND t : tops) RedrawWindow(t, nullptr, nullptr, flags | RDW_ALLCHILDREN | RDW_FRAME);
    return TRUE;
  }
  Region area;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return FALSE;
    RECT all{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    if (rgn) {
      auto obj = kx::gdi::Get<kx::gdi::RegionObj>(rgn, kx::gdi::ObjKind::Region);
      area = obj ? obj->rgn : Region(all);
    } else {
      area = Region(rc ? *rc : all);
    }
    if (flags & RDW_INVALIDATE) {
      if (flags & RDW_FRAME) w->ncPending = VisibleChain(*w);
      InvalidateLocked(*w, area, (flags & RDW_ERASE) != 0, (flags & RDW_ALLCHILDREN) != 0);
      if ((flags & RDW_FRAME) && (flags & RDW_ALLCHILDREN))
        for (HWND c : w->children)
          if (WindowPtr cw = FindLocked(c)) cw->ncPending = VisibleChain(*cw);
    }
    if (flags & RDW_INTERNALPAINT) {
      w->internalPaint = VisibleChain(*w);
      if (w->queue) WakeLocked(*w->queue);
    }
    if (flags & RDW_VALIDATE) ValidateTree(*w, area, flags);
  }
  if (flags & RDW_ERASENOW) EraseNow(hwnd, (flags & RDW_ALLCHILDREN) != 0);
  if (flags & RDW_UPDATENOW) {
    if (flags & RDW_NOCHILDREN) UpdateWindow(hwnd);
    else PaintTree(hwnd);
  }
  return TRUE;
}

BOOL LockWindowUpdate(HWND) { return TRUE; }

BOOL ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT*) {
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return FALSE;
    if (!scroll) kids = w->children;
  }
  for (HWND c : kids) {
    RECT r;
    {
      Guard g(Lock());
      WindowPtr cw = FindLocked(c);
      if (!cw) continue;
      r = cw->rect;
    }
    SetWindowPos(c, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(hwnd, scroll, TRUE);
  return TRUE;
}

BOOL PrintWindow(HWND hwnd, HDC hdc, UINT flags) {
  if (!IsWindow(hwnd)) return FALSE;
  LPARAM what = PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN | ((flags & 1) ? 0 : PRF_NONCLIENT);
  SendMessage(hwnd, WM_PRINT, reinterpret_cast<WPARAM>(hdc), what);
  return TRUE;
}

bool kx::RenderWindowToPng(HWND hwnd, const char* path) {
  if (!IsWindow(hwnd) || !path) return false;
  if (!OnThreadOf(hwnd)) return RunOn(hwnd, [=] { return static_cast<LRESULT>(kx::RenderWindowToPng(hwnd, path)); }) != 0;
  if (!IsWindowVisible(hwnd)) {
    // A hidden window has no pixels of its own on screen: it prints itself into a bitmap.
    RECT wr;
    GetWindowRect(hwnd, &wr);
    int w = std::max<int>(wr.right - wr.left, 1), h = std::max<int>(wr.bottom - wr.top, 1);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    PrintWindow(hwnd, mem, 0);
    SelectObject(mem, old);
    DeleteDC(mem);
    bool ok = kx::SaveBitmapPng(bmp, path);
    DeleteObject(bmp);
    return ok;
  }
  HWND top = GetAncestor(hwnd, GA_ROOT);
  PaintTree(top);
  kx::gdi::SurfacePtr surface;
  RECT area;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    WindowPtr t = FindLocked(top);
    if (!w || !t) return false;
    EnsureSurface(*t);
    surface = t->surface;
    POINT off = OffsetInTop(*w);
    area = RECT{off.x, off.y, off.x + (w->rect.right - w->rect.left), off.y + (w->rect.bottom - w->rect.top)};
  }
  return kx::gdi::WritePng(*surface, area, path);
}

bool kx::RenderScreenToPng(const char* path) {
  std::vector<HWND> tops;
  {
    Guard g(Lock());
    for (HWND t : TopLevels())
      if (WindowPtr w = FindLocked(t); w && w->threadId == ThreadId()) tops.push_back(t);
  }
  for (HWND t : tops) PaintTree(t);
  kx::ui::ComposeScreen();
  kx::gdi::SurfacePtr s = kx::gdi::ScreenSurface();
  return kx::gdi::WritePng(*s, RECT{0, 0, s->width, s->height}, path);
}

// ----- scroll bars -----
namespace {

Window::ScrollBar* Bar(Window& w, int bar) {
  if (bar == SB_VERT) return &w.vscroll;
  if (bar == SB_HORZ) return &w.hscroll;
  return nullptr;
}

void RedrawFrame(HWND hwnd) {
  Guard g(Lock());
  if (WindowPtr w = FindLocked(hwnd); w && VisibleChain(*w)) {
    w->ncPending = true;
    if (w->queue) WakeLocked(*w->queue);
  }
}

}  // namespace

int SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw) {
  if (!info) return 0;
  if (bar == SB_CTL) return static_cast<int>(SendMessage(hwnd, 0x00E9 /* SBM_SETSCROLLINFO */, redraw, reinterpret_cast<LPARAM>(info)));
  int pos;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return 0;
    Window::ScrollBar* sb = Bar(*w, bar);
    if (!sb) return 0;
    if (info->fMask & SIF_RANGE) {
      sb->min = info->nMin;
      sb->max = info->nMax;
    }
    if (info->fMask & SIF_PAGE) sb->page = static_cast<int>(std::min<UINT>(info->nPage, static_cast<UINT>(std::max(sb->max - sb->min + 1, 0))));
    if (info->fMask & SIF_POS) sb->pos = info->nPos;
    int maxPos = sb->max - std::max(sb->page - 1, 0);
    sb->pos = std::clamp(sb->pos, sb->min, std::max(sb->min, maxPos));
    pos = sb->pos;
  }
  if (redraw) RedrawFrame(hwnd);
  return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info) {
  if (!info) return FALSE;
  if (bar == SB_CTL) return static_cast<BOOL>(SendMessage(hwnd, 0x00EA /* SBM_GETSCROLLINFO */, 0, reinterpret_cast<LPARAM>(info)));
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w) return FALSE;
  Window::ScrollBar* sb = Bar(*w, bar);
  if (!sb) return FALSE;
  if (info->fMask & SIF_RANGE) {
    info->nMin = sb->min;
    info->nMax = sb->max;
  }
  if (info->fMask & SIF_PAGE) info->nPage = static_cast<UINT>(sb->page);
  if (info->fMask & SIF_POS) info->nPos = sb->pos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = sb->pos;
  return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
  int old = GetScrollPos(hwnd, bar);
  SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return old;
}

int GetScrollPos(HWND hwnd, int bar) {
  SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 0, 0};
  return GetScrollInfo(hwnd, bar, &si) ? si.nPos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
  SCROLLINFO si{sizeof si, SIF_RANGE, minPos, maxPos, 0, 0, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, LPINT minPos, LPINT maxPos) {
  SCROLLINFO si{sizeof si, SIF_RANGE, 0, 0, 0, 0, 0};
  if (!GetScrollInfo(hwnd, bar, &si)) return FALSE;
  if (minPos) *minPos = si.nMin;
  if (maxPos) *maxPos = si.nMax;
  return TRUE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
  DWORD bits = bar == SB_VERT ? WS_VSCROLL : bar == SB_HORZ ? WS_HSCROLL : bar == SB_BOTH ? (WS_VSCROLL | WS_HSCROLL) : 0;
  if (!bits) return FALSE;
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  DWORD next = show ? (style | bits) : (style & ~bits);
  if (next == style) return TRUE;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return FALSE;
    w->style = next;
  }
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return TRUE;
}

BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return FALSE;
    if (bar == SB_VERT || bar == SB_BOTH) w->vscroll.disabled = arrows;
    if (bar == SB_HORZ || bar == SB_BOTH) w->hscroll.disabled = arrows;
  }
  RedrawFrame(hwnd);
  return TRUE;
}
