// Lines and shapes (exact, no antialiasing), and the user-level drawing helpers: DrawEdge, DrawFrameControl,
// DrawFocusRect, DrawState.
#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/gdi/internal.h"

namespace kx::gdi {

CairoCtx::CairoCtx(Dc& dc) {
  cr = cairo_create(dc.surface->cs);
  clip = dc.Clip();
  for (const RECT& r : clip.Rects()) cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
  cairo_clip(cr);
  if (clip.Empty()) {
    cairo_rectangle(cr, 0, 0, 0, 0);
    cairo_clip(cr);
  }
}

CairoCtx::~CairoCtx() {
  cairo_surface_t* s = cairo_get_target(cr);
  cairo_destroy(cr);
  cairo_surface_flush(s);
}

void SetSourcePixel(cairo_t* cr, uint32_t p) {
  cairo_set_source_rgb(cr, ((p >> 16) & 0xFF) / 255.0, ((p >> 8) & 0xFF) / 255.0, (p & 0xFF) / 255.0);
}

// The glyphs of the Marlett symbol font the system uses, as filled paths in a square cell.
void MarlettPath(cairo_t* cr, unsigned ch, double x, double y, double s) {
  auto poly = [&](std::initializer_list<std::pair<double, double>> pts) {
    bool first = true;
    for (auto [px, py] : pts) {
      if (first) cairo_move_to(cr, x + px * s, y + py * s);
      else cairo_line_to(cr, x + px * s, y + py * s);
      first = false;
    }
    cairo_close_path(cr);
  };
  auto rect = [&](double l, double t, double r, double b) { cairo_rectangle(cr, x + l * s, y + t * s, (r - l) * s, (b - t) * s); };
  auto frame = [&](double l, double t, double r, double b, double top, double side) {
    rect(l, t, r, t + top);
    rect(l, b - side, r, b);
    rect(l, t, l + side, b);
    rect(r - side, t, r, b);
  };
  switch (ch) {
    case 'a':
    case 'b':  // check mark
      poly({{0.18, 0.50}, {0.38, 0.68}, {0.80, 0.24}, {0.80, 0.42}, {0.38, 0.86}, {0.18, 0.68}});
      break;
    case 'h':  // small bullet
      cairo_new_sub_path(cr);
      cairo_arc(cr, x + 0.5 * s, y + 0.5 * s, 0.14 * s, 0, 2 * M_PI);
      break;
    case 'i':  // radio dot
      cairo_new_sub_path(cr);
      cairo_arc(cr, x + 0.5 * s, y + 0.5 * s, 0.2 * s, 0, 2 * M_PI);
      break;
    case 'r':  // close
      poly({{0.22, 0.30}, {0.30, 0.22}, {0.78, 0.70}, {0.70, 0.78}});
      poly({{0.70, 0.22}, {0.78, 0.30}, {0.30, 0.78}, {0.22, 0.70}});
      break;
    case '0':  // minimise
      rect(0.22, 0.66, 0.62, 0.78);
      break;
    case '1':  // maximise
      frame(0.18, 0.18, 0.82, 0.80, 0.14, 0.07);
      break;
    case '2':  // restore
      frame(0.34, 0.16, 0.84, 0.60, 0.12, 0.07);
      cairo_fill(cr);
      frame(0.16, 0.40, 0.66, 0.84, 0.12, 0.07);
      break;
    case '3': poly({{0.62, 0.24}, {0.62, 0.76}, {0.36, 0.50}}); break;
    case '4': poly({{0.38, 0.24}, {0.38, 0.76}, {0.64, 0.50}}); break;
    case '5': poly({{0.24, 0.62}, {0.76, 0.62}, {0.50, 0.36}}); break;
    case '6':
    case 'u': poly({{0.24, 0.38}, {0.76, 0.38}, {0.50, 0.64}}); break;
    case '8': poly({{0.40, 0.28}, {0.40, 0.72}, {0.62, 0.50}}); break;
    default: break;
  }
  cairo_fill(cr);
}

namespace {

RECT PointsBox(const std::vector<POINT>& pts, int margin) {
  RECT b{pts[0].x, pts[0].y, pts[0].x + 1, pts[0].y + 1};
  for (const POINT& p : pts) {
    b.left = std::min(b.left, p.x);
    b.top = std::min(b.top, p.y);
    b.right = std::max(b.right, p.x + 1);
    b.bottom = std::max(b.bottom, p.y + 1);
  }
  InflateRect(&b, margin, margin);
  return b;
}

// Renders a Cairo path into a mask (no antialiasing). `draw` builds the path and fills or strokes it.
void CairoMask(Mask& mask, const RECT& box, const std::function<void(cairo_t*)>& draw) {
  mask.Init(box);
  int w = box.right - box.left, h = box.bottom - box.top;
  if (w <= 0 || h <= 0) return;
  cairo_surface_t* a8 = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* cr = cairo_create(a8);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_translate(cr, -box.left, -box.top);
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  draw(cr);
  cairo_destroy(cr);
  cairo_surface_flush(a8);
  const unsigned char* data = cairo_image_surface_get_data(a8);
  int stride = cairo_image_surface_get_stride(a8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (data[y * stride + x] >= 128) mask.bits[static_cast<size_t>(y) * w + x] = 1;
  cairo_surface_destroy(a8);
}

void Subtract(Mask& a, const Mask& b) {
  for (int y = a.box.top; y < a.box.bottom; ++y)
    for (int x = a.box.left; x < a.box.right; ++x) {
      if (x < b.box.left || x >= b.box.right || y < b.box.top || y >= b.box.bottom) continue;
      if (b.bits[static_cast<size_t>(y - b.box.top) * b.Width() + (x - b.box.left)])
        a.bits[static_cast<size_t>(y - a.box.top) * a.Width() + (x - a.box.left)] = 0;
    }
}

// Lengths of the on/off runs of styled cosmetic pens.
std::vector<int> StylePattern(UINT style) {
  switch (style) {
    case PS_DASH: return {18, 6};
    case PS_DOT: return {3, 3};
    case PS_DASHDOT: return {9, 6, 3, 6};
    case PS_DASHDOTDOT: return {9, 3, 3, 3, 3, 3};
    default: return {};
  }
}

int PenWidth(const Dc& dc) {
  if (!dc.st.pen) return 1;
  int w = dc.st.pen->width;
  if (w <= 1) return 1;
  return std::max(1, static_cast<int>(std::lround(w * std::fabs(dc.ScaleX()))));
}

uint32_t PenPixel(const Dc& dc) {
  const PenObj& p = *dc.st.pen;
  return ToPixel(p.dcPen ? dc.st.dcPenColor : p.color);
}

bool PenVisible(const Dc& dc) { return dc.st.pen && dc.st.pen->style != PS_NULL; }

// Draws a polyline (surface coordinates) with the current pen; the last point is not drawn unless `closed`
// (a closed figure ends where it started).
void StrokePolyline(Dc& dc, const std::vector<POINT>& pts, bool closeFigure) {
  if (!PenVisible(dc) || pts.empty()) return;
  std::vector<POINT> path = pts;
  if (closeFigure && (path.front().x != path.back().x || path.front().y != path.back().y)) path.push_back(path.front());
  int width = PenWidth(dc);
  RECT box = PointsBox(path, width + 1);
  Region clipBox(dc.Clip().Box());
  Mask on, gap;
  if (width == 1) {
    on.Init(box);
    std::vector<int> pattern = StylePattern(dc.st.pen->style);
    bool styled = !pattern.empty();
    if (styled) gap.Init(box);
    size_t run = 0;
    int left = styled ? pattern[0] : 0;
    auto plot = [&](int x, int y) {
      if (!styled) {
        on.Set(x, y);
        return;
      }
      if (run % 2 == 0) on.Set(x, y);
      else gap.Set(x, y);
      if (--left == 0) {
        run = (run + 1) % pattern.size();
        left = pattern[run];
      }
    };
    if (path.size() == 1) plot(path[0].x, path[0].y);
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      int x0 = path[i].x, y0 = path[i].y, x1 = path[i + 1].x, y1 = path[i + 1].y;
      int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
      int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
      int err = dx + dy;
      while (!(x0 == x1 && y0 == y1)) {  // the end point belongs to the next segment
        plot(x0, y0);
        int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x0 += sx; }
        if (e2 <= dx) { err += dx; y0 += sy; }
      }
    }
  } else {
    CairoMask(on, box, [&](cairo_t* cr) {
      cairo_set_line_width(cr, width);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      cairo_move_to(cr, path[0].x + 0.5, path[0].y + 0.5);
      for (size_t i = 1; i < path.size(); ++i) cairo_line_to(cr, path[i].x + 0.5, path[i].y + 0.5);
      if (path.size() == 1) cairo_line_to(cr, path[0].x + 0.5, path[0].y + 0.5);
      cairo_stroke(cr);
    });
  }
  ApplyMaskColor(dc, on, PenPixel(dc), dc.st.rop2);
  if (!gap.bits.empty() && dc.st.bkMode == OPAQUE) ApplyMaskColor(dc, gap, ToPixel(dc.st.bkColor), dc.st.rop2);
}

std::vector<POINT> ToSurfacePoints(const Dc& dc, const POINT* pts, int count) {
  std::vector<POINT> out;
  out.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) out.push_back(dc.ToSurface(pts[i].x, pts[i].y));
  return out;
}

// Fills `fill` minus `outline` with the brush, then the outline with the pen (both with the ROP2 mode), so that
// no pixel is touched twice.
void PaintFigure(Dc& dc, Mask& fill, const Mask* outline) {
  if (outline) Subtract(fill, *outline);
  if (dc.st.brush) ApplyMaskBrush(dc, fill, *dc.st.brush, dc.st.rop2);
  if (outline) ApplyMaskColor(dc, *outline, PenPixel(dc), dc.st.rop2);
}

RECT NormalizedSurfaceRect(const Dc& dc, int l, int t, int r, int b) {
  RECT rc = dc.ToSurfaceRect(RECT{l, t, r, b});
  return rc;
}

// An ellipse-cornered figure: corner ellipse size (cw, ch); a full ellipse when they equal the box.
void RoundFigure(Dc& dc, RECT rc, int cw, int ch) {
  if (rc.right - rc.left < 1 || rc.bottom - rc.top < 1) return;
  int width = PenVisible(dc) ? PenWidth(dc) : 0;
  double l = rc.left + 0.5, t = rc.top + 0.5, r = rc.right - 0.5, b = rc.bottom - 0.5;
  double rx = std::min(std::max(cw - 1, 0) / 2.0, (r - l) / 2), ry = std::min(std::max(ch - 1, 0) / 2.0, (b - t) / 2);
  auto path = [&](cairo_t* cr, double grow) {
    double L = l - grow, T = t - grow, R = r + grow, B = b + grow;
    double ax = rx > 0 ? rx + grow : 0, ay = ry > 0 ? ry + grow : 0;
    cairo_new_path(cr);
    if (ax <= 0 || ay <= 0) {
      cairo_rectangle(cr, L, T, R - L, B - T);
      return;
    }
    auto corner = [&](double cx, double cy, double a0, double a1) {
      cairo_save(cr);
      cairo_translate(cr, cx, cy);
      cairo_scale(cr, ax, ay);
      cairo_arc(cr, 0, 0, 1, a0, a1);
      cairo_restore(cr);
    };
    corner(R - ax, T + ay, -M_PI / 2, 0);
    corner(R - ax, B - ay, 0, M_PI / 2);
    corner(L + ax, B - ay, M_PI / 2, M_PI);
    corner(L + ax, T + ay, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
  };
  RECT box = rc;
  InflateRect(&box, width + 1, width + 1);
  Mask fill;
  CairoMask(fill, box, [&](cairo_t* cr) {
    path(cr, width > 0 ? 0 : 0.5);
    cairo_fill(cr);
  });
  if (width > 0) {
    Mask outline;
    CairoMask(outline, box, [&](cairo_t* cr) {
      path(cr, 0);
      cairo_set_line_width(cr, width);
      cairo_stroke(cr);
    });
    PaintFigure(dc, fill, &outline);
  } else {
    PaintFigure(dc, fill, nullptr);
  }
}

}  // namespace

}  // namespace kx::gdi

using namespace kx::gdi;

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old) { return SetDcPoint(hdc, &DcState::curPos, POINT{x, y}, old); }
BOOL GetCurrentPositionEx(HDC hdc, LPPOINT out) { return GetDcPoint(hdc, &DcState::curPos, out); }

BOOL LineTo(HDC hdc, int x, int y) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  std::vector<POINT> pts{dc->ToSurface(dc->st.curPos.x, dc->st.curPos.y), dc->ToSurface(x, y)};
  StrokePolyline(*dc, pts, false);
  dc->st.curPos = POINT{x, y};
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* pts, int count) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !pts || count < 2) return FALSE;
  StrokePolyline(*dc, ToSurfacePoints(*dc, pts, count), false);
  return TRUE;
}

BOOL PolylineTo(HDC hdc, const POINT* pts, DWORD count) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !pts || count == 0) return FALSE;
  std::vector<POINT> all{dc->st.curPos};
  all.insert(all.end(), pts, pts + count);
  StrokePolyline(*dc, ToSurfacePoints(*dc, all.data(), static_cast<int>(all.size())), false);
  dc->st.curPos = pts[count - 1];
  return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* pts, int count) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !pts || count < 2) return FALSE;
  std::vector<POINT> sp = ToSurfacePoints(*dc, pts, count);
  RECT box = PointsBox(sp, PenWidth(*dc) + 1);
  Mask fill;
  CairoMask(fill, box, [&](cairo_t* cr) {
    cairo_set_fill_rule(cr, dc->st.polyFill == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_move_to(cr, sp[0].x + 0.5, sp[0].y + 0.5);
    for (size_t i = 1; i < sp.size(); ++i) cairo_line_to(cr, sp[i].x + 0.5, sp[i].y + 0.5);
    cairo_close_path(cr);
    cairo_fill(cr);
  });
  if (dc->st.brush) {
    // The outline is drawn after the fill; keep the fill off the outline's pixels.
    Mask outline;
    outline.Init(box);
    std::vector<POINT> closed = sp;
    closed.push_back(sp.front());
    for (size_t i = 0; i + 1 < closed.size(); ++i) {
      int x0 = closed[i].x, y0 = closed[i].y, x1 = closed[i + 1].x, y1 = closed[i + 1].y;
      int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1,
          err = dx + dy;
      while (!(x0 == x1 && y0 == y1)) {
        outline.Set(x0, y0);
        int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x0 += sx; }
        if (e2 <= dx) { err += dx; y0 += sy; }
      }
    }
    if (PenVisible(*dc)) Subtract(fill, outline);
    ApplyMaskBrush(*dc, fill, *dc->st.brush, dc->st.rop2);
  }
  StrokePolyline(*dc, sp, true);
  return TRUE;
}

BOOL PolyPolygon(HDC hdc, const POINT* pts, const INT* counts, int polygons) {
  if (!pts || !counts) return FALSE;
  const POINT* p = pts;
  for (int i = 0; i < polygons; ++i) {
    Polygon(hdc, p, counts[i]);
    p += counts[i];
  }
  return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  RECT rc = NormalizedSurfaceRect(*dc, left, top, right, bottom);
  if (rc.right - rc.left < 1 || rc.bottom - rc.top < 1) return TRUE;
  bool pen = PenVisible(*dc);
  int w = pen ? PenWidth(*dc) : 0;
  Mask fill, outline;
  if (!pen) {
    // Without a pen the figure is one pixel smaller.
    RECT in{rc.left, rc.top, rc.right - 1, rc.bottom - 1};
    fill.Init(in);
    std::fill(fill.bits.begin(), fill.bits.end(), 1);
    PaintFigure(*dc, fill, nullptr);
    return TRUE;
  }
  RECT outer = rc;
  if (w > 1 && dc->st.pen->style != PS_INSIDEFRAME) {
    outer.left -= w / 2;
    outer.top -= w / 2;
    outer.right += (w - 1) / 2;
    outer.bottom += (w - 1) / 2;
  }
  RECT inner{outer.left + w, outer.top + w, outer.right - w, outer.bottom - w};
  fill.Init(outer);
  outline.Init(outer);
  for (int y = outer.top; y < outer.bottom; ++y)
    for (int x = outer.left; x < outer.right; ++x) {
      bool in = x >= inner.left && x < inner.right && y >= inner.top && y < inner.bottom;
      if (in) fill.Set(x, y);
      else outline.Set(x, y);
    }
  if (w == 1 && !StylePattern(dc->st.pen->style).empty()) {
    PaintFigure(*dc, fill, nullptr);
    std::vector<POINT> pts{{rc.left, rc.top}, {rc.right - 1, rc.top}, {rc.right - 1, rc.bottom - 1},
                           {rc.left, rc.bottom - 1}};
    StrokePolyline(*dc, pts, true);
    return TRUE;
  }
  PaintFigure(*dc, fill, &outline);
  return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  RECT rc = NormalizedSurfaceRect(*dc, left, top, right, bottom);
  int cw = static_cast<int>(std::lround(std::abs(width) * std::fabs(dc->ScaleX())));
  int ch = static_cast<int>(std::lround(std::abs(height) * std::fabs(dc->ScaleY())));
  RoundFigure(*dc, rc, cw, ch);
  return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  RECT rc = NormalizedSurfaceRect(*dc, left, top, right, bottom);
  RoundFigure(*dc, rc, rc.right - rc.left, rc.bottom - rc.top);
  return TRUE;
}

namespace {

BOOL ArcFigure(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye, bool pie) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  RECT rc = NormalizedSurfaceRect(*dc, left, top, right, bottom);
  POINT s = dc->ToSurface(xs, ys), e = dc->ToSurface(xe, ye);
  double cx = (rc.left + rc.right) / 2.0, cy = (rc.top + rc.bottom) / 2.0;
  double rx = std::max((rc.right - rc.left - 1) / 2.0, 0.5), ry = std::max((rc.bottom - rc.top - 1) / 2.0, 0.5);
  double a0 = std::atan2((s.y + 0.5 - cy) / ry, (s.x + 0.5 - cx) / rx);
  double a1 = std::atan2((e.y + 0.5 - cy) / ry, (e.x + 0.5 - cx) / rx);
  auto path = [&](cairo_t* cr) {
    cairo_new_path(cr);
    if (pie) cairo_move_to(cr, cx, cy);
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc_negative(cr, 0, 0, 1, a0, a1);  // counter-clockwise on the screen
    cairo_restore(cr);
    if (pie) cairo_close_path(cr);
  };
  int width = PenVisible(*dc) ? PenWidth(*dc) : 0;
  RECT box = rc;
  InflateRect(&box, width + 1, width + 1);
  Mask outline;
  if (width > 0)
    CairoMask(outline, box, [&](cairo_t* cr) {
      path(cr);
      cairo_set_line_width(cr, width);
      cairo_stroke(cr);
    });
  if (pie) {
    Mask fill;
    CairoMask(fill, box, [&](cairo_t* cr) {
      path(cr);
      cairo_fill(cr);
    });
    PaintFigure(*dc, fill, width > 0 ? &outline : nullptr);
  } else if (width > 0) {
    ApplyMaskColor(*dc, outline, PenPixel(*dc), dc->st.rop2);
  }
  return TRUE;
}

}  // namespace

BOOL Arc(HDC hdc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcFigure(hdc, l, t, r, b, xs, ys, xe, ye, false);
}
BOOL Pie(HDC hdc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcFigure(hdc, l, t, r, b, xs, ys, xe, ye, true);
}

// ----- user-level helpers -----
namespace {

void FillSurface(Dc& dc, const RECT& rc, uint32_t pixel) {
  BrushObj b;
  b.style = BS_SOLID;
  b.color = ToColorRef(pixel);
  PatBltSurface(dc, rc, &b, PATCOPY);
}

// One ring of DrawEdge: top/left in `tl`, bottom/right in `br`, on the sides named by `flags`.
void EdgeRing(Dc& dc, const RECT& r, uint32_t tl, uint32_t br, UINT flags) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (flags & BF_TOP) FillSurface(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, tl);
  if (flags & BF_LEFT) FillSurface(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, tl);
  if (flags & BF_BOTTOM) FillSurface(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, br);
  if (flags & BF_RIGHT) FillSurface(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, br);
}

void GlyphOn(Dc& dc, const RECT& cell, unsigned ch, uint32_t pixel, int dx = 0, int dy = 0) {
  PixelAccess pa(dc, true);
  {
    CairoCtx c(dc);
    cairo_set_antialias(c.cr, CAIRO_ANTIALIAS_NONE);
    SetSourcePixel(c.cr, pixel);
    double size = std::min(cell.right - cell.left, cell.bottom - cell.top);
    double x = cell.left + (cell.right - cell.left - size) / 2 + dx;
    double y = cell.top + (cell.bottom - cell.top - size) / 2 + dy;
    MarlettPath(c.cr, ch, x, y, size);
  }
  pa.Damage(cell);
}

void Circle(Dc& dc, double cx, double cy, double r, uint32_t pixel, double a0, double a1, bool fill) {
  PixelAccess pa(dc, true);
  {
    CairoCtx c(dc);
    cairo_set_antialias(c.cr, CAIRO_ANTIALIAS_NONE);
    SetSourcePixel(c.cr, pixel);
    cairo_new_path(c.cr);
    if (fill) {
      cairo_arc(c.cr, cx, cy, r, 0, 2 * M_PI);
      cairo_fill(c.cr);
    } else {
      cairo_arc(c.cr, cx, cy, r, a0, a1);
      cairo_set_line_width(c.cr, 1);
      cairo_stroke(c.cr);
    }
  }
  pa.Damage(RECT{static_cast<LONG>(cx - r - 2), static_cast<LONG>(cy - r - 2), static_cast<LONG>(cx + r + 2),
                 static_cast<LONG>(cy + r + 2)});
}

}  // namespace

BOOL DrawEdge(HDC hdc, LPRECT lrc, UINT edge, UINT flags) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !lrc) return FALSE;
  RECT rc = dc->ToSurfaceRect(*lrc);
  uint32_t light = SysPixel(COLOR_3DLIGHT), hi = SysPixel(COLOR_BTNHIGHLIGHT), sh = SysPixel(COLOR_BTNSHADOW),
           dk = SysPixel(COLOR_3DDKSHADOW), face = SysPixel(COLOR_BTNFACE), frame = SysPixel(COLOR_WINDOWFRAME);
  UINT outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
  uint32_t otl = 0, obr = 0, itl = 0, ibr = 0;
  if (flags & BF_MONO) {
    otl = obr = itl = ibr = frame;
  } else if (flags & BF_FLAT) {
    otl = obr = sh;
    itl = ibr = face;
  } else {
    if (outer == BDR_RAISEDOUTER) { otl = (flags & BF_SOFT) ? hi : light; obr = dk; }
    if (outer == BDR_SUNKENOUTER) { otl = (flags & BF_SOFT) ? dk : sh; obr = hi; }
    if (inner == BDR_RAISEDINNER) { itl = (flags & BF_SOFT) ? light : hi; ibr = sh; }
    if (inner == BDR_SUNKENINNER) { itl = (flags & BF_SOFT) ? sh : dk; ibr = light; }
  }
  RECT r = rc;
  if (outer && outer != BDR_OUTER) {
    EdgeRing(*dc, r, otl, obr, flags);
    if (flags & BF_LEFT) r.left++;
    if (flags & BF_TOP) r.top++;
    if (flags & BF_RIGHT) r.right--;
    if (flags & BF_BOTTOM) r.bottom--;
  } else if ((flags & (BF_MONO | BF_FLAT)) && edge) {
    EdgeRing(*dc, r, otl, obr, flags);
    if (flags & BF_LEFT) r.left++;
    if (flags & BF_TOP) r.top++;
    if (flags & BF_RIGHT) r.right--;
    if (flags & BF_BOTTOM) r.bottom--;
  }
  if (inner && inner != BDR_INNER && !(flags & (BF_MONO | BF_FLAT))) {
    EdgeRing(*dc, r, itl, ibr, flags);
    if (flags & BF_LEFT) r.left++;
    if (flags & BF_TOP) r.top++;
    if (flags & BF_RIGHT) r.right--;
    if (flags & BF_BOTTOM) r.bottom--;
  }
  if (flags & BF_MIDDLE) FillSurface(*dc, r, (flags & BF_MONO) ? SysPixel(COLOR_WINDOW) : face);
  if (flags & BF_ADJUST) {
    POINT a = dc->ToLogical(r.left - dc->origin.x, r.top - dc->origin.y);
    POINT b = dc->ToLogical(r.right - dc->origin.x, r.bottom - dc->origin.y);
    *lrc = RECT{a.x, a.y, b.x, b.y};
  }
  return TRUE;
}

BOOL DrawFrameControl(HDC hdc, LPRECT lrc, UINT type, UINT state) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !lrc) return FALSE;
  RECT rc = dc->ToSurfaceRect(*lrc);
  bool inactive = state & DFCS_INACTIVE, pushed = state & DFCS_PUSHED, checked = state & DFCS_CHECKED;
  bool flat = state & (DFCS_FLAT | DFCS_MONO);
  uint32_t face = SysPixel(COLOR_BTNFACE), text = SysPixel(COLOR_BTNTEXT), gray = SysPixel(COLOR_GRAYTEXT),
           hi = SysPixel(COLOR_BTNHIGHLIGHT), sh = SysPixel(COLOR_BTNSHADOW), window = SysPixel(COLOR_WINDOW),
           wtext = SysPixel(COLOR_WINDOWTEXT);
  auto pushButton = [&](bool down) {
    if (flat) {
      EdgeRing(*dc, rc, sh, sh, BF_RECT);
      RECT in = rc;
      InflateRect(&in, -1, -1);
      FillSurface(*dc, in, face);
    } else {
      RECT r = rc;
      DrawEdge(hdc, lrc, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | (down ? BF_SOFT : 0));
      (void)r;
    }
  };
  auto glyph = [&](unsigned ch, int shrink) {
    RECT cell = rc;
    InflateRect(&cell, -shrink, -shrink);
    int off = pushed ? 1 : 0;
    if (inactive) {
      GlyphOn(*dc, cell, ch, hi, off + 1, off + 1);
      GlyphOn(*dc, cell, ch, gray, off, off);
    } else {
      GlyphOn(*dc, cell, ch, text, off, off);
    }
  };
  switch (type) {
    case DFC_BUTTON: {
      UINT kind = state & 0xFF;
      if (kind & DFCS_BUTTONPUSH) {
        pushButton(pushed || checked);
        return TRUE;
      }
      int size = std::min(rc.right - rc.left, rc.bottom - rc.top);
      RECT box{rc.left, rc.top + (rc.bottom - rc.top - size) / 2, rc.left + size, 0};
      box.bottom = box.top + size;
      if (kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
        double cx = box.left + size / 2.0, cy = box.top + size / 2.0, r = size / 2.0;
        Circle(*dc, cx, cy, r - 1, (inactive || pushed) ? face : window, 0, 0, true);
        Circle(*dc, cx, cy, r - 0.5, sh, 3 * M_PI / 4, 7 * M_PI / 4, false);
        Circle(*dc, cx, cy, r - 0.5, hi, -M_PI / 4, 3 * M_PI / 4, false);
        Circle(*dc, cx, cy, r - 1.5, SysPixel(COLOR_3DDKSHADOW), 3 * M_PI / 4, 7 * M_PI / 4, false);
        Circle(*dc, cx, cy, r - 1.5, SysPixel(COLOR_3DLIGHT), -M_PI / 4, 3 * M_PI / 4, false);
        if (checked) Circle(*dc, cx, cy, std::max(size / 6.0, 1.5), inactive ? gray : wtext, 0, 0, true);
        return TRUE;
      }
      // Check box (also 3-state).
      RECT lbox = *lrc;
      lbox.right = lbox.left + (box.right - box.left);
      lbox.top += box.top - rc.top;
      lbox.bottom = lbox.top + size;
      if (flat) {
        EdgeRing(*dc, box, sh, sh, BF_RECT);
        RECT in = box;
        InflateRect(&in, -1, -1);
        FillSurface(*dc, in, (inactive || pushed) ? face : window);
      } else {
        DrawEdge(hdc, &lbox, EDGE_SUNKEN, BF_RECT);
        RECT in = box;
        InflateRect(&in, -2, -2);
        FillSurface(*dc, in, (inactive || pushed || (state & DFCS_BUTTON3STATE && checked)) ? face : window);
      }
      if (checked) {
        RECT cell = box;
        InflateRect(&cell, -2, -2);
        GlyphOn(*dc, cell, 'b', (inactive || (state & DFCS_BUTTON3STATE)) ? gray : wtext);
      }
      return TRUE;
    }
    case DFC_CAPTION: {
      pushButton(pushed);
      static const unsigned kGlyph[] = {'r', '0', '1', '2', 's'};
      UINT g = state & 0xF;
      if (g <= DFCS_CAPTIONRESTORE) glyph(kGlyph[g], 2);
      return TRUE;
    }
    case DFC_SCROLL: {
      UINT g = state & 0xF;
      if (g == DFCS_SCROLLSIZEGRIP) {
        FillSurface(*dc, rc, face);
        return TRUE;
      }
      if (pushed && !flat) {
        EdgeRing(*dc, rc, sh, sh, BF_RECT);
        RECT in = rc;
        InflateRect(&in, -1, -1);
        FillSurface(*dc, in, face);
      } else {
        pushButton(false);
      }
      unsigned ch = g == DFCS_SCROLLUP ? '5' : g == DFCS_SCROLLLEFT ? '3' : g == DFCS_SCROLLRIGHT ? '4' : '6';
      glyph(ch, 1);
      return TRUE;
    }
    case DFC_MENU:
    case DFC_POPUPMENU: {
      UINT g = state & 0xF;
      unsigned ch = g == DFCS_MENUCHECK ? 'b' : g == DFCS_MENUBULLET ? 'h' : '8';
      GlyphOn(*dc, rc, ch, inactive ? gray : SysPixel(COLOR_MENUTEXT));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

BOOL DrawFocusRect(HDC hdc, const RECT* lrc) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !lrc) return FALSE;
  RECT rc = dc->ToSurfaceRect(*lrc);
  if (rc.right <= rc.left || rc.bottom <= rc.top) return TRUE;
  // A dotted frame inverted on every other pixel: drawing it twice removes it.
  Mask m;
  m.Init(rc);
  for (int x = rc.left; x < rc.right; ++x) {
    if (((x + rc.top) & 1) == 0) m.Set(x, rc.top);
    if (rc.bottom - 1 > rc.top && ((x + rc.bottom - 1) & 1) == 0) m.Set(x, rc.bottom - 1);
  }
  for (int y = rc.top + 1; y < rc.bottom - 1; ++y) {
    if (((rc.left + y) & 1) == 0) m.Set(rc.left, y);
    if (rc.right - 1 > rc.left && ((rc.right - 1 + y) & 1) == 0) m.Set(rc.right - 1, y);
  }
  ApplyMaskColor(*dc, m, 0, R2_NOT);
  return TRUE;
}
