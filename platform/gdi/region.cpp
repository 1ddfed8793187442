// Regions (banded rectangle lists), the HRGN calls, and the rectangle helpers.
#include <algorithm>
#include <cmath>

#include "platform/gdi/internal.h"

namespace kx::gdi {

namespace {

bool EmptyRect(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

struct Interval {
  LONG a, b;
};

// The x intervals of a rectangle list that cover the band [y0, y1) (every rectangle either covers it or not).
std::vector<Interval> BandIntervals(const std::vector<RECT>& rects, LONG y0, LONG y1) {
  std::vector<Interval> out;
  for (const RECT& r : rects)
    if (r.top <= y0 && r.bottom >= y1) out.push_back({r.left, r.right});
  std::sort(out.begin(), out.end(), [](const Interval& p, const Interval& q) { return p.a < q.a; });
  // Merge overlaps.
  std::vector<Interval> merged;
  for (const Interval& iv : out) {
    if (!merged.empty() && iv.a <= merged.back().b)
      merged.back().b = std::max(merged.back().b, iv.b);
    else
      merged.push_back(iv);
  }
  return merged;
}

bool Apply(int mode, bool a, bool b) {
  switch (mode) {
    case RGN_AND: return a && b;
    case RGN_OR: return a || b;
    case RGN_XOR: return a != b;
    case RGN_DIFF: return a && !b;
    default: return a;
  }
}

std::vector<Interval> CombineIntervals(const std::vector<Interval>& a, const std::vector<Interval>& b, int mode) {
  std::vector<LONG> xs;
  for (const auto& iv : a) { xs.push_back(iv.a); xs.push_back(iv.b); }
  for (const auto& iv : b) { xs.push_back(iv.a); xs.push_back(iv.b); }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  auto inside = [](const std::vector<Interval>& v, LONG x) {
    for (const auto& iv : v)
      if (x >= iv.a && x < iv.b) return true;
    return false;
  };
  std::vector<Interval> out;
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    if (!Apply(mode, inside(a, xs[i]), inside(b, xs[i]))) continue;
    if (!out.empty() && out.back().b == xs[i])
      out.back().b = xs[i + 1];
    else
      out.push_back({xs[i], xs[i + 1]});
  }
  return out;
}

// Builds the banded list from per-band interval lists, merging equal neighbouring bands.
std::vector<RECT> BuildBands(const std::vector<LONG>& ys, const std::vector<std::vector<Interval>>& bands) {
  std::vector<RECT> out;
  size_t prevStart = 0, prevCount = 0;
  const std::vector<Interval>* prev = nullptr;
  for (size_t i = 0; i < bands.size(); ++i) {
    const auto& iv = bands[i];
    bool same = prev && !iv.empty() && prev->size() == iv.size() && out.size() >= prevCount && prevCount > 0 &&
                out[prevStart].bottom == ys[i];
    if (same) {
      for (size_t k = 0; k < iv.size() && same; ++k)
        if ((*prev)[k].a != iv[k].a || (*prev)[k].b != iv[k].b) same = false;
    }
    if (same) {
      for (size_t k = 0; k < prevCount; ++k) out[prevStart + k].bottom = ys[i + 1];
      continue;
    }
    prevStart = out.size();
    prevCount = iv.size();
    prev = &iv;
    for (const auto& v : iv) out.push_back(RECT{v.a, ys[i], v.b, ys[i + 1]});
    if (iv.empty()) prev = nullptr;
  }
  return out;
}

}  // namespace

Region::Region(const RECT& rc) {
  if (!EmptyRect(rc)) rects_.push_back(rc);
}

Region Region::FromRects(const std::vector<RECT>& rects) {
  Region r;
  std::vector<RECT> valid;
  for (const RECT& rc : rects)
    if (!EmptyRect(rc)) valid.push_back(rc);
  if (valid.empty()) return r;
  std::vector<LONG> ys;
  for (const RECT& rc : valid) { ys.push_back(rc.top); ys.push_back(rc.bottom); }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<std::vector<Interval>> bands;
  for (size_t i = 0; i + 1 < ys.size(); ++i) bands.push_back(BandIntervals(valid, ys[i], ys[i + 1]));
  r.rects_ = BuildBands(ys, bands);
  return r;
}

RECT Region::Box() const {
  if (rects_.empty()) return RECT{0, 0, 0, 0};
  RECT b = rects_[0];
  for (const RECT& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  return b;
}

bool Region::Contains(int x, int y) const {
  for (const RECT& r : rects_)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

bool Region::Intersects(const RECT& rc) const {
  for (const RECT& r : rects_)
    if (std::max(r.left, rc.left) < std::min(r.right, rc.right) &&
        std::max(r.top, rc.top) < std::min(r.bottom, rc.bottom))
      return true;
  return false;
}

void Region::Offset(int dx, int dy) {
  for (RECT& r : rects_) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
  }
}

Region Region::Combine(const Region& other, int mode) const {
  if (mode == RGN_COPY) return *this;
  // Quick answers for common cases.
  if (mode == RGN_AND && (Empty() || other.Empty())) return Region();
  if ((mode == RGN_OR || mode == RGN_XOR) && other.Empty()) return *this;
  if ((mode == RGN_OR || mode == RGN_XOR) && Empty()) return other;
  if (mode == RGN_DIFF && (Empty() || other.Empty())) return *this;
  if (mode == RGN_AND && rects_.size() == 1 && other.rects_.size() == 1) {
    RECT a = rects_[0], b = other.rects_[0];
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return Region(r);
  }
  std::vector<LONG> ys;
  for (const RECT& r : rects_) { ys.push_back(r.top); ys.push_back(r.bottom); }
  for (const RECT& r : other.rects_) { ys.push_back(r.top); ys.push_back(r.bottom); }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<std::vector<Interval>> bands;
  for (size_t i = 0; i + 1 < ys.size(); ++i)
    bands.push_back(CombineIntervals(BandIntervals(rects_, ys[i], ys[i + 1]),
                                     BandIntervals(other.rects_, ys[i], ys[i + 1]), mode));
  Region out;
  out.rects_ = BuildBands(ys, bands);
  return out;
}

bool Region::operator==(const Region& other) const {
  if (rects_.size() != other.rects_.size()) return false;
  for (size_t i = 0; i < rects_.size(); ++i)
    if (!EqualRect(&rects_[i], &other.rects_[i])) return false;
  return true;
}

namespace {

// Scanline region of an ellipse or rounded rectangle inside [l, r) x [t, b).
Region RoundedRegion(int l, int t, int r, int b, int rw, int rh) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  std::vector<RECT> rows;
  int w = r - l, h = b - t;
  rw = std::min(std::abs(rw), w);
  rh = std::min(std::abs(rh), h);
  if (rw < 2 || rh < 2) return Region(RECT{l, t, r, b});
  double a = rw / 2.0, c = rh / 2.0;
  for (int y = t; y < b; ++y) {
    double cy = y + 0.5;
    double dy = 0;
    if (cy < t + c)
      dy = (t + c) - cy;
    else if (cy > b - c)
      dy = cy - (b - c);
    double dx = 0;
    if (dy > 0) {
      double q = 1.0 - (dy * dy) / (c * c);
      dx = q > 0 ? a * (1.0 - std::sqrt(q)) : a;
    }
    int x0 = l + static_cast<int>(std::lround(dx));
    int x1 = r - static_cast<int>(std::lround(dx));
    if (x1 > x0) rows.push_back(RECT{x0, y, x1, y + 1});
  }
  return Region::FromRects(rows);
}

}  // namespace

Region PolygonRegion(const POINT* pts, int count, int fillMode) {
  std::vector<RECT> rows;
  if (count < 3) return Region();
  LONG top = pts[0].y, bottom = pts[0].y;
  for (int i = 0; i < count; ++i) {
    top = std::min(top, pts[i].y);
    bottom = std::max(bottom, pts[i].y);
  }
  for (LONG y = top; y < bottom; ++y) {
    double cy = y + 0.5;
    std::vector<std::pair<double, int>> xs;
    for (int i = 0; i < count; ++i) {
      POINT p = pts[i], q = pts[(i + 1) % count];
      if (p.y == q.y) continue;
      int dir = q.y > p.y ? 1 : -1;
      if (p.y > q.y) std::swap(p, q);
      if (cy < p.y || cy >= q.y) continue;
      double x = p.x + (cy - p.y) * (q.x - p.x) / static_cast<double>(q.y - p.y);
      xs.push_back({x, dir});
    }
    std::sort(xs.begin(), xs.end());
    int wind = 0;
    for (size_t k = 0; k + 1 < xs.size(); ++k) {
      wind += xs[k].second;
      bool in = fillMode == WINDING ? wind != 0 : (k % 2) == 0;
      if (!in) continue;
      LONG x0 = static_cast<LONG>(std::lround(xs[k].first));
      LONG x1 = static_cast<LONG>(std::lround(xs[k + 1].first));
      if (x1 > x0) rows.push_back(RECT{x0, y, x1, y + 1});
    }
  }
  return Region::FromRects(rows);
}

Region EllipseRegion(int l, int t, int r, int b) { return RoundedRegion(l, t, r, b, r - l, b - t); }
Region RoundRectRegion(int l, int t, int r, int b, int w, int h) { return RoundedRegion(l, t, r, b, w, h); }

}  // namespace kx::gdi

using kx::gdi::Region;
using kx::gdi::RegionObj;

namespace {

std::shared_ptr<RegionObj> Rgn(HRGN h) { return kx::gdi::Get<RegionObj>(h, kx::gdi::ObjKind::Region); }

HRGN NewRegion(Region r) {
  auto obj = std::make_shared<RegionObj>();
  obj->rgn = std::move(r);
  return static_cast<HRGN>(kx::gdi::AddObject(obj));
}

}  // namespace

// ----- rectangles -----
BOOL SetRect(LPRECT rc, int left, int top, int right, int bottom) {
  if (!rc) return FALSE;
  *rc = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(LPRECT rc) { return SetRect(rc, 0, 0, 0, 0); }
BOOL CopyRect(LPRECT dst, const RECT* src) {
  if (!dst || !src) return FALSE;
  *dst = *src;
  return TRUE;
}
BOOL InflateRect(LPRECT rc, int dx, int dy) {
  if (!rc) return FALSE;
  rc->left -= dx;
  rc->right += dx;
  rc->top -= dy;
  rc->bottom += dy;
  return TRUE;
}
BOOL OffsetRect(LPRECT rc, int dx, int dy) {
  if (!rc) return FALSE;
  rc->left += dx;
  rc->right += dx;
  rc->top += dy;
  rc->bottom += dy;
  return TRUE;
}
BOOL IsRectEmpty(const RECT* rc) { return !rc || rc->right <= rc->left || rc->bottom <= rc->top; }
BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = r;
  return TRUE;
}
BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    if (IsRectEmpty(b)) {
      SetRectEmpty(dst);
      return FALSE;
    }
    *dst = *b;
    return TRUE;
  }
  if (IsRectEmpty(b)) {
    *dst = *a;
    return TRUE;
  }
  *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
              std::max(a->bottom, b->bottom)};
  return TRUE;
}
BOOL SubtractRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  RECT r = *a;
  RECT i;
  if (IntersectRect(&i, a, b)) {
    if (i.top == r.top && i.bottom == r.bottom) {
      if (i.left == r.left) r.left = i.right;
      else if (i.right == r.right) r.right = i.left;
    } else if (i.left == r.left && i.right == r.right) {
      if (i.top == r.top) r.top = i.bottom;
      else if (i.bottom == r.bottom) r.bottom = i.top;
    }
  }
  if (IsRectEmpty(&r)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = r;
  return TRUE;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  if (!a || !b) return FALSE;
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL PtInRect(const RECT* rc, POINT pt) {
  return rc && pt.x >= rc->left && pt.x < rc->right && pt.y >= rc->top && pt.y < rc->bottom;
}

// ----- regions -----
HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  return NewRegion(Region(RECT{left, top, right, bottom}));
}
HRGN CreateRectRgnIndirect(const RECT* rc) {
  if (!rc) return nullptr;
  return CreateRectRgn(rc->left, rc->top, rc->right, rc->bottom);
}
HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
  return NewRegion(kx::gdi::EllipseRegion(left, top, right, bottom));
}
HRGN CreateEllipticRgnIndirect(const RECT* rc) {
  if (!rc) return nullptr;
  return CreateEllipticRgn(rc->left, rc->top, rc->right, rc->bottom);
}
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height) {
  return NewRegion(kx::gdi::RoundRectRegion(left, top, right, bottom, width, height));
}
HRGN CreatePolygonRgn(const POINT* pts, int count, int fillMode) {
  if (!pts || count < 0) return nullptr;
  return NewRegion(kx::gdi::PolygonRegion(pts, count, fillMode));
}
int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode) {
  auto d = Rgn(dst);
  auto ra = Rgn(a);
  if (!d || !ra || mode < RGN_AND || mode > RGN_COPY) return ERROR;
  if (mode == RGN_COPY) {
    d->rgn = ra->rgn;
    return d->rgn.Kind();
  }
  auto rb = Rgn(b);
  if (!rb) return ERROR;
  d->rgn = ra->rgn.Combine(rb->rgn, mode);
  return d->rgn.Kind();
}
BOOL SetRectRgn(HRGN rgn, int left, int top, int right, int bottom) {
  auto r = Rgn(rgn);
  if (!r) return FALSE;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  r->rgn = Region(RECT{left, top, right, bottom});
  return TRUE;
}
int OffsetRgn(HRGN rgn, int dx, int dy) {
  auto r = Rgn(rgn);
  if (!r) return ERROR;
  r->rgn.Offset(dx, dy);
  return r->rgn.Kind();
}
int GetRgnBox(HRGN rgn, LPRECT rc) {
  auto r = Rgn(rgn);
  if (!r || !rc) return ERROR;
  *rc = r->rgn.Box();
  return r->rgn.Kind();
}
BOOL PtInRegion(HRGN rgn, int x, int y) {
  auto r = Rgn(rgn);
  return r && r->rgn.Contains(x, y);
}
BOOL RectInRegion(HRGN rgn, const RECT* rc) {
  auto r = Rgn(rgn);
  return r && rc && r->rgn.Intersects(*rc);
}
BOOL EqualRgn(HRGN a, HRGN b) {
  auto ra = Rgn(a), rb = Rgn(b);
  return ra && rb && ra->rgn == rb->rgn;
}
