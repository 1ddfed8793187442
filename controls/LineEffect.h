// A short animated figure of lines played on the screen over a rectangle, before a window shows (in) and
// after it closes (out). Everything is drawn with R2_NOT, so every frame drawn is erased by drawing it again
// and the screen is left as it was.
#pragma once

#include "platform/win32/types.h"
#include "platform/ui/ui.h"

class CLineEffect {
 public:
  // 16.16 fixed-point helpers and affine matrices in row-vector form (point x matrix). The linear part is
  // fixed point, the translation row is in pixels, the last column is (0, 0, 1.0).
  using Fixed = int;
  static constexpr Fixed kOne = 65536;
  struct Matrix {
    Fixed m[3][3];
  };
  static Fixed Mul(Fixed a, Fixed b);
  static Fixed Div(Fixed a, Fixed b);  // 0 when a or b is 0
  static Matrix Identity();
  static Matrix Multiply(const Matrix& a, const Matrix& b);
  static Matrix Translate(int tx, int ty);
  static Matrix Scale(Fixed sx, Fixed sy, POINT about);
  static Matrix Rotate(Fixed degrees, POINT about);
  static Matrix Interpolate(const Matrix& a, const Matrix& b, Fixed t);  // a*t + b*(1-t)
  static POINT Interpolate(POINT a, POINT b, Fixed t);
  static POINT Apply(POINT p, const Matrix& m);

  // The play state handed to a figure for each call.
  enum Phase { kStart = 0, kDraw = 1, kErase = 2, kEnd = 3 };
  struct PlayState {
    BOOL in = TRUE;
    RECT rect{};
    int steps = 0;
    int trail = 0;
    int frames = 0;
    int frame = 0;
    POINT corner{};  // from the centre to the top-right corner
    POINT centre{};
    HDC dc = nullptr;
    int phase = kStart;
    // Data the figures prepare in their start phase.
    Matrix turn{};            // figure 1: one fifth of a turn about the centre
    POINT shard[16][3]{};     // figure 3: the triangles
    POINT pivot[16]{};        // figure 3: their centroids
    Matrix shardMove[16]{};   // figure 3: from the start point to the place
    POINT start[10]{};        // figure 4: start points of the ten outlines
  };
  using Figure = void (*)(PlayState& state);
  // The drawing function of figure 0 to 4, or null.
  static Figure GetFigure(int mode);

  CLineEffect();
  virtual ~CLineEffect();
  CLineEffect(const CLineEffect&) = delete;
  CLineEffect& operator=(const CLineEffect&) = delete;

  // A figure 0 to 4, or -1 for a random figure at each play.
  void SetMode(int mode);
  int GetMode() const { return m_nMode; }
  int GetStepCount() const { return m_nSteps; }
  void AnimateIn(const RECT& rect);
  void AnimateOut(const RECT& rect);

 private:
  void Play(const RECT& rect, BOOL in);

  RECT m_rcScreen;
  int m_nSteps = 0;
  int m_nTrail = 6;
  int m_nFrames = 50;
  int m_nDelay = 5;
  int m_nMode = -1;
  Figure m_pfnFigure = nullptr;
  HDC m_hDC;
  HPEN m_hPen;
};
