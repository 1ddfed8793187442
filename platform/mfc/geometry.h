// CPoint, CSize and CRect: the framework's value wrappers of POINT, SIZE and RECT. Rectangles follow the
// platform's rules: right and bottom are exclusive, an empty rectangle has no width or no height.
#pragma once

#include "platform/win32/types.h"

class CSize;
class CRect;

class CPoint : public POINT {
 public:
  CPoint() : POINT{0, 0} {}
  CPoint(int x0, int y0) : POINT{x0, y0} {}
  CPoint(POINT p) : POINT(p) {}  // NOLINT
  CPoint(SIZE s) : POINT{s.cx, s.cy} {}  // NOLINT
  explicit CPoint(LPARAM packed) : POINT{static_cast<SHORT>(LOWORD(packed)), static_cast<SHORT>(HIWORD(packed))} {}

  void Offset(int dx, int dy) { x += dx; y += dy; }
  void Offset(POINT p) { Offset(p.x, p.y); }
  void Offset(SIZE s) { Offset(s.cx, s.cy); }
  void SetPoint(int x0, int y0) { x = x0; y = y0; }

  bool operator==(POINT p) const { return x == p.x && y == p.y; }
  bool operator!=(POINT p) const { return !(*this == p); }
  void operator+=(SIZE s) { Offset(s); }
  void operator-=(SIZE s) { Offset(-s.cx, -s.cy); }
  void operator+=(POINT p) { Offset(p); }
  void operator-=(POINT p) { Offset(-p.x, -p.y); }
  CPoint operator+(SIZE s) const { return CPoint(x + s.cx, y + s.cy); }
  CPoint operator-(SIZE s) const { return CPoint(x - s.cx, y - s.cy); }
  CPoint operator-() const { return CPoint(-x, -y); }
  CPoint operator+(POINT p) const { return CPoint(x + p.x, y + p.y); }
  inline CSize operator-(POINT p) const;
  inline CRect operator+(const RECT* r) const;
  inline CRect operator-(const RECT* r) const;
};

class CSize : public SIZE {
 public:
  CSize() : SIZE{0, 0} {}
  CSize(int cx0, int cy0) : SIZE{cx0, cy0} {}
  CSize(SIZE s) : SIZE(s) {}  // NOLINT
  CSize(POINT p) : SIZE{p.x, p.y} {}  // NOLINT
  explicit CSize(DWORD packed) : SIZE{static_cast<SHORT>(LOWORD(packed)), static_cast<SHORT>(HIWORD(packed))} {}

  void SetSize(int cx0, int cy0) { cx = cx0; cy = cy0; }
  bool operator==(SIZE s) const { return cx == s.cx && cy == s.cy; }
  bool operator!=(SIZE s) const { return !(*this == s); }
  void operator+=(SIZE s) { cx += s.cx; cy += s.cy; }
  void operator-=(SIZE s) { cx -= s.cx; cy -= s.cy; }
  CSize operator+(SIZE s) const { return CSize(cx + s.cx, cy + s.cy); }
  CSize operator-(SIZE s) const { return CSize(cx - s.cx, cy - s.cy); }
  CSize operator-() const { return CSize(-cx, -cy); }
  CPoint operator+(POINT p) const { return CPoint(cx + p.x, cy + p.y); }
  CPoint operator-(POINT p) const { return CPoint(cx - p.x, cy - p.y); }
};

inline CSize CPoint::operator-(POINT p) const { return CSize(x - p.x, y - p.y); }

class CRect : public RECT {
 public:
  CRect() : RECT{0, 0, 0, 0} {}
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  CRect(const RECT& r) : RECT(r) {}  // NOLINT
  CRect(const RECT* r) : RECT(r ? *r : RECT{0, 0, 0, 0}) {}  // NOLINT
  CRect(POINT p, SIZE s) : RECT{p.x, p.y, p.x + s.cx, p.y + s.cy} {}
  CRect(POINT topLeft, POINT bottomRight) : RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y} {}

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return CSize(Width(), Height()); }
  CPoint& TopLeft() { return *reinterpret_cast<CPoint*>(&left); }
  CPoint& BottomRight() { return *reinterpret_cast<CPoint*>(&right); }
  const CPoint& TopLeft() const { return *reinterpret_cast<const CPoint*>(&left); }
  const CPoint& BottomRight() const { return *reinterpret_cast<const CPoint*>(&right); }
  CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  void SwapLeftRight() { LONG t = left; left = right; right = t; }

  operator LPRECT() { return this; }              // NOLINT
  operator LPCRECT() const { return this; }        // NOLINT

  BOOL IsRectEmpty() const { return right <= left || bottom <= top; }
  BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  BOOL PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  BOOL EqualRect(const RECT* r) const {
    return left == r->left && top == r->top && right == r->right && bottom == r->bottom;
  }

  void SetRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
  void SetRect(POINT topLeft, POINT bottomRight) { SetRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y); }
  void SetRectEmpty() { SetRect(0, 0, 0, 0); }
  void CopyRect(const RECT* r) { *static_cast<RECT*>(this) = *r; }

  void InflateRect(int x, int y) { left -= x; top -= y; right += x; bottom += y; }
  void InflateRect(SIZE s) { InflateRect(s.cx, s.cy); }
  void InflateRect(const RECT* r) { left -= r->left; top -= r->top; right += r->right; bottom += r->bottom; }
  void InflateRect(int l, int t, int r, int b) { left -= l; top -= t; right += r; bottom += b; }
  void DeflateRect(int x, int y) { InflateRect(-x, -y); }
  void DeflateRect(SIZE s) { InflateRect(-s.cx, -s.cy); }
  void DeflateRect(const RECT* r) { left += r->left; top += r->top; right -= r->right; bottom -= r->bottom; }
  void DeflateRect(int l, int t, int r, int b) { InflateRect(-l, -t, -r, -b); }

  void OffsetRect(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
  void OffsetRect(POINT p) { OffsetRect(p.x, p.y); }
  void OffsetRect(SIZE s) { OffsetRect(s.cx, s.cy); }
  void MoveToX(int x) { right = x + Width(); left = x; }
  void MoveToY(int y) { bottom = y + Height(); top = y; }
  void MoveToXY(int x, int y) { MoveToX(x); MoveToY(y); }
  void MoveToXY(POINT p) { MoveToXY(p.x, p.y); }

  void NormalizeRect() {
    if (left > right) SwapLeftRight();
    if (top > bottom) { LONG t = top; top = bottom; bottom = t; }
  }

  // The common part; an empty result leaves this rectangle all zeros and answers FALSE.
  BOOL IntersectRect(const RECT* a, const RECT* b) {
    CRect r(kx_max(a->left, b->left), kx_max(a->top, b->top), kx_min(a->right, b->right),
            kx_min(a->bottom, b->bottom));
    if (r.IsRectEmpty() || CRect(a).IsRectEmpty() || CRect(b).IsRectEmpty()) {
      SetRectEmpty();
      return FALSE;
    }
    *this = r;
    return TRUE;
  }
  // The smallest rectangle holding both; empty rectangles take no part. FALSE when the result is empty.
  BOOL UnionRect(const RECT* a, const RECT* b) {
    CRect ra(a), rb(b);
    if (ra.IsRectEmpty()) {
      if (rb.IsRectEmpty()) {
        SetRectEmpty();
        return FALSE;
      }
      *this = rb;
      return TRUE;
    }
    if (rb.IsRectEmpty()) {
      *this = ra;
      return TRUE;
    }
    SetRect(kx_min(ra.left, rb.left), kx_min(ra.top, rb.top), kx_max(ra.right, rb.right),
            kx_max(ra.bottom, rb.bottom));
    return TRUE;
  }
  // a minus b, when b covers a whole side of a; otherwise a unchanged. FALSE when the result is empty.
  BOOL SubtractRect(const RECT* a, const RECT* b) {
    CRect r(a);
    CRect cut;
    if (r.IsRectEmpty()) {
      SetRectEmpty();
      return FALSE;
    }
    if (cut.IntersectRect(a, b)) {
      if (cut.left == r.left && cut.right == r.right) {
        if (cut.top == r.top) r.top = cut.bottom;
        else if (cut.bottom == r.bottom) r.bottom = cut.top;
      } else if (cut.top == r.top && cut.bottom == r.bottom) {
        if (cut.left == r.left) r.left = cut.right;
        else if (cut.right == r.right) r.right = cut.left;
      }
    }
    *this = r;
    if (r.IsRectEmpty()) {
      SetRectEmpty();
      return FALSE;
    }
    return TRUE;
  }

  bool operator==(const RECT& r) const { return EqualRect(&r) != FALSE; }
  bool operator!=(const RECT& r) const { return !(*this == r); }
  void operator+=(POINT p) { OffsetRect(p); }
  void operator+=(SIZE s) { OffsetRect(s); }
  void operator+=(const RECT* r) { InflateRect(r); }
  void operator-=(POINT p) { OffsetRect(-p.x, -p.y); }
  void operator-=(SIZE s) { OffsetRect(-s.cx, -s.cy); }
  void operator-=(const RECT* r) { DeflateRect(r); }
  void operator&=(const RECT& r) { CRect a(*this); IntersectRect(&a, &r); }
  void operator|=(const RECT& r) { CRect a(*this); UnionRect(&a, &r); }
  CRect operator+(POINT p) const { CRect r(*this); r.OffsetRect(p); return r; }
  CRect operator-(POINT p) const { CRect r(*this); r.OffsetRect(-p.x, -p.y); return r; }
  CRect operator+(SIZE s) const { CRect r(*this); r.OffsetRect(s); return r; }
  CRect operator-(SIZE s) const { CRect r(*this); r.OffsetRect(-s.cx, -s.cy); return r; }
  CRect operator+(const RECT* d) const { CRect r(*this); r.InflateRect(d); return r; }
  CRect operator-(const RECT* d) const { CRect r(*this); r.DeflateRect(d); return r; }
  CRect operator&(const RECT& o) const { CRect r; r.IntersectRect(this, &o); return r; }
  CRect operator|(const RECT& o) const { CRect r; r.UnionRect(this, &o); return r; }
};

inline CRect CPoint::operator+(const RECT* r) const { CRect c(r); c.OffsetRect(x, y); return c; }
inline CRect CPoint::operator-(const RECT* r) const { CRect c(r); c.OffsetRect(-x, -y); return c; }
