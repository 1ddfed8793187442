#include "controls/LineEffect.h"

#include <cmath>
#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/win32/crt.h"
#include "platform/win32/errors.h"
#include "platform/win32/sync.h"

using Fixed = CLineEffect::Fixed;
using Matrix = CLineEffect::Matrix;
using PlayState = CLineEffect::PlayState;

Fixed CLineEffect::Mul(Fixed a, Fixed b) { return MulDiv(a, b, kOne); }

Fixed CLineEffect::Div(Fixed a, Fixed b) { return a == 0 || b == 0 ? 0 : MulDiv(kOne, a, b); }

Matrix CLineEffect::Identity() { return Matrix{{{kOne, 0, 0}, {0, kOne, 0}, {0, 0, kOne}}}; }

Matrix CLineEffect::Multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = Mul(a.m[i][0], b.m[0][j]) + Mul(a.m[i][1], b.m[1][j]) + Mul(a.m[i][2], b.m[2][j]);
  return r;
}

Matrix CLineEffect::Translate(int tx, int ty) {
  Matrix r = Identity();
  r.m[2][0] = tx;
  r.m[2][1] = ty;
  return r;
}

Matrix CLineEffect::Scale(Fixed sx, Fixed sy, POINT about) {
  Matrix s = Identity();
  s.m[0][0] = sx;
  s.m[1][1] = sy;
  return Multiply(Multiply(Translate(-about.x, -about.y), s), Translate(about.x, about.y));
}

Matrix CLineEffect::Rotate(Fixed degrees, POINT about) {
  double radians = degrees / 65536.0 * 3.141592654 / 180.0;
  Fixed c = static_cast<Fixed>(std::cos(radians) * kOne);
  Fixed s = static_cast<Fixed>(std::sin(radians) * kOne);
  Matrix r = Identity();
  r.m[0][0] = c;
  r.m[0][1] = s;
  r.m[1][0] = -s;
  r.m[1][1] = c;
  return Multiply(Multiply(Translate(-about.x, -about.y), r), Translate(about.x, about.y));
}

Matrix CLineEffect::Interpolate(const Matrix& a, const Matrix& b, Fixed t) {
  Matrix r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = Mul(a.m[i][j], t) + Mul(b.m[i][j], kOne - t);
  return r;
}

POINT CLineEffect::Interpolate(POINT a, POINT b, Fixed t) {
  return POINT{Mul(a.x, t) + Mul(b.x, kOne - t), Mul(a.y, t) + Mul(b.y, kOne - t)};
}

POINT CLineEffect::Apply(POINT p, const Matrix& m) {
  return POINT{Mul(p.x, m.m[0][0]) + Mul(p.y, m.m[1][0]) + m.m[2][0],
               Mul(p.x, m.m[0][1]) + Mul(p.y, m.m[1][1]) + m.m[2][1]};
}

namespace {

// A closed outline: from the last point through all of them. Nothing when it is not closed by its points.
void DrawPolygon(HDC dc, const POINT* pts, int n) {
  if (pts[n - 1].x == pts[0].x && pts[n - 1].y == pts[0].y) return;
  POINT ring[8];
  ring[0] = pts[n - 1];
  for (int i = 0; i < n; ++i) ring[i + 1] = pts[i];
  Polyline(dc, ring, n + 1);
}

// A box of half-size h about p; nothing for a box of no size.
void DrawBox(HDC dc, POINT p, POINT h) {
  if (h.x == 0 && h.y == 0) return;
  POINT ring[5] = {{p.x - h.x, p.y - h.y},
                   {p.x - h.x, p.y + h.y},
                   {p.x + h.x, p.y + h.y},
                   {p.x + h.x, p.y - h.y},
                   {p.x - h.x, p.y - h.y}};
  Polyline(dc, ring, 5);
}

// n * k / d in 16.16 (angles in degrees, scale factors).
Fixed Ratio(int64_t n, int64_t k, int64_t d) { return static_cast<Fixed>(n * k * 65536 / d); }

bool Drawing(const PlayState& s) { return s.phase == CLineEffect::kDraw || s.phase == CLineEffect::kErase; }

POINT Offset(POINT c, POINT v, int sign = 1) { return POINT{c.x + sign * v.x, c.y + sign * v.y}; }

// The outline turns one whole turn while growing from nothing to full size.
void Figure0(PlayState& s) {
  if (!Drawing(s)) return;
  const POINT origin{0, 0};
  Fixed t = CLineEffect::Div(s.frame, s.frames);
  Matrix m = CLineEffect::Multiply(CLineEffect::Scale(t, t, origin),
                                   CLineEffect::Rotate(Ratio(s.frame - s.frames, s.steps, s.frames), origin));
  POINT a = CLineEffect::Apply(s.corner, m);
  POINT b = CLineEffect::Apply(POINT{s.corner.x, -s.corner.y}, m);
  POINT pts[4] = {Offset(s.centre, a), Offset(s.centre, b), Offset(s.centre, a, -1), Offset(s.centre, b, -1)};
  DrawPolygon(s.dc, pts, 4);
}

// Five boxes circling in towards the centre while they grow.
void Figure1(PlayState& s) {
  if (s.phase == CLineEffect::kStart) {
    s.turn = CLineEffect::Rotate(0x480000, s.centre);
    return;
  }
  if (!Drawing(s)) return;
  int i = s.frame, f = s.frames;
  POINT half{s.corner.x * i / f, s.corner.y * i / f};
  Matrix m = CLineEffect::Multiply(
      CLineEffect::Multiply(CLineEffect::Translate(s.corner.x, s.corner.y),
                            CLineEffect::Scale(Ratio(f - i, 4, 3LL * f), Ratio(f - i, 4, 3LL * f), s.centre)),
      CLineEffect::Rotate(Ratio(i, s.steps, f), s.centre));
  POINT p = CLineEffect::Apply(s.centre, m);
  for (int k = 0; k < 5; ++k) {
    DrawBox(s.dc, p, half);
    p = CLineEffect::Apply(p, s.turn);
  }
}

// A grid of boxes closing in from three times the size.
void Figure2(PlayState& s) {
  if (!Drawing(s)) return;
  int i = s.frame, f = s.frames, n = s.steps;
  POINT half{s.corner.x * i / (f * n), s.corner.y * i / (f * n)};
  Fixed k = CLineEffect::Div(3 * f - 2 * i, f);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      POINT offset{(2 * r - n + 1) * s.corner.x / n, (2 * c - n + 1) * s.corner.y / n};
      POINT p{s.centre.x + CLineEffect::Mul(offset.x, k), s.centre.y + CLineEffect::Mul(offset.y, k)};
      DrawBox(s.dc, p, half);
    }
}

// Sixteen triangles spin and grow at their start points, then fly into place.
void Figure3(PlayState& s) {
  if (s.phase == CLineEffect::kStart) {
    const RECT& r = s.rect;
    int w = r.right - r.left, h = r.bottom - r.top;
    POINT border[16];
    for (int k = 0; k < 4; ++k) {
      border[k] = POINT{r.left + k * w / 4, r.bottom};
      border[4 + k] = POINT{r.right, r.bottom - k * h / 4};
      border[8 + k] = POINT{r.right - k * w / 4, r.top};
      border[12 + k] = POINT{r.left, r.top + k * h / 4};
    }
    POINT base{s.centre.x, s.centre.y + (s.corner.x + s.corner.y) * 4 / 5};
    for (int k = 0; k < 16; ++k) {
      s.shard[k][0] = s.centre;
      s.shard[k][1] = border[k];
      s.shard[k][2] = border[(k + 1) % 16];
      s.pivot[k] = POINT{(s.shard[k][0].x + s.shard[k][1].x + s.shard[k][2].x) / 3,
                         (s.shard[k][0].y + s.shard[k][1].y + s.shard[k][2].y) / 3};
      POINT q = CLineEffect::Apply(base, CLineEffect::Rotate(0x210000 - k * 0x160000, s.centre));
      s.shardMove[k] = CLineEffect::Translate(q.x - s.pivot[k].x, q.y - s.pivot[k].y);
    }
    return;
  }
  if (!Drawing(s)) return;
  int i = s.frame, f = s.frames;
  Fixed t = CLineEffect::Div(i, f);
  for (int k = 0; k < 16; ++k) {
    Matrix grow = CLineEffect::Scale(t, t, s.pivot[k]);
    Matrix m;
    if (i < f / 2) {
      m = CLineEffect::Multiply(CLineEffect::Multiply(grow, CLineEffect::Rotate(Ratio(f - 2 * i, s.steps, f), s.pivot[k])),
                                s.shardMove[k]);
    } else {
      Fixed u = CLineEffect::Div(2 * i - f, f);
      m = CLineEffect::Multiply(grow, CLineEffect::Interpolate(CLineEffect::Identity(), s.shardMove[k], u));
    }
    POINT pts[3];
    for (int j = 0; j < 3; ++j) pts[j] = CLineEffect::Apply(s.shard[k][j], m);
    DrawPolygon(s.dc, pts, 3);
  }
}

// Ten outlines fly from around the rectangle into the centre, turning and growing.
void Figure4(PlayState& s) {
  if (s.phase == CLineEffect::kStart) {
    POINT base{s.centre.x, s.centre.y + (s.corner.x + s.corner.y) * 5 / 3};
    for (int k = 0; k < 10; ++k) s.start[k] = CLineEffect::Apply(base, CLineEffect::Rotate(k * 0x240000, s.centre));
    return;
  }
  if (!Drawing(s)) return;
  const POINT origin{0, 0};
  Fixed t = CLineEffect::Div(s.frame, s.frames);
  Matrix turn = CLineEffect::Multiply(CLineEffect::Scale(t, t, origin),
                                      CLineEffect::Rotate((CLineEffect::kOne - t) * s.steps, origin));
  const POINT outline[4] = {{-s.corner.x, s.corner.y}, {s.corner.x, s.corner.y}, {s.corner.x, -s.corner.y},
                            {-s.corner.x, -s.corner.y}};
  for (int k = 0; k < 10; ++k) {
    POINT to = CLineEffect::Interpolate(s.centre, s.start[k], t);
    Matrix m = CLineEffect::Multiply(turn, CLineEffect::Translate(to.x, to.y));
    POINT pts[4];
    for (int j = 0; j < 4; ++j) pts[j] = CLineEffect::Apply(outline[j], m);
    DrawPolygon(s.dc, pts, 4);
  }
}

const CLineEffect::Figure kFigures[5] = {Figure0, Figure1, Figure2, Figure3, Figure4};

}  // namespace

CLineEffect::Figure CLineEffect::GetFigure(int mode) { return mode >= 0 && mode < 5 ? kFigures[mode] : nullptr; }

CLineEffect::CLineEffect()
    : m_rcScreen{0, 0, GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN)},
      m_hDC(GetDC(nullptr)),
      m_hPen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0))) {}

CLineEffect::~CLineEffect() {
  if (m_hPen) DeleteObject(m_hPen);
  if (m_hDC) ReleaseDC(nullptr, m_hDC);
}

void CLineEffect::SetMode(int mode) {
  switch (mode) {
    case 0:
    case 4: m_nSteps = 360; break;
    case 1:
    case 3: m_nSteps = 180; break;
    case 2: m_nSteps = 4; break;
    default: break;
  }
  m_nMode = mode;
  m_pfnFigure = GetFigure(mode);
}

void CLineEffect::AnimateIn(const RECT& rect) { Play(rect, TRUE); }

void CLineEffect::AnimateOut(const RECT& rect) { Play(rect, FALSE); }

void CLineEffect::Play(const RECT& rect, BOOL in) {
  if (!m_hDC) return;
  HGDIOBJ oldPen = SelectObject(m_hDC, m_hPen);
  int oldRop = SetROP2(m_hDC, R2_NOT);
  bool random = m_nMode == -1;
  if (random) SetMode(kx_rand() % 5);
  Figure figure = m_pfnFigure;

  PlayState s;
  s.in = in;
  s.rect = rect;
  s.steps = m_nSteps;
  s.trail = m_nTrail;
  s.frames = m_nFrames;
  s.dc = m_hDC;
  s.centre = POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  s.corner = POINT{rect.right - s.centre.x, rect.top - s.centre.y};
  auto call = [&](int frame, int phase) {
    s.frame = frame;
    s.phase = phase;
    if (figure) figure(s);
    if (phase == kDraw || phase == kErase) GdiFlush();
  };

  const int f = m_nFrames, l = m_nTrail;
  call(0, kStart);
  if (in) {
    for (int i = 0; i < f + l; ++i) {
      if (i < f) call(i, kDraw);
      Sleep(m_nDelay);
      if (i >= l) call(i - l, kErase);
    }
  } else {
    for (int i = f + l - 1; i >= 0; --i) {
      if (i >= l) call(i - l, kDraw);
      Sleep(m_nDelay);
      if (i < f) call(i, kErase);
    }
  }
  call(0, kEnd);
  if (random) SetMode(-1);
  SetROP2(m_hDC, oldRop);
  SelectObject(m_hDC, oldPen);
}
