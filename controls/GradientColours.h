// A colour ramp made of colour stops: it turns the stops into solid bands and paints them into a rectangle in
// one of four directions, optionally rotated so that the colours flow along the rectangle. On palette displays
// the ramp uses a palette of at most 236 colours of its own.
#pragma once

#include <vector>

#include "platform/mfc/gdiobj.h"

// One band of a ramp: a colour and its width in pixels.
struct GradientBand {
  COLORREF colour;
  int width;
};
using CGradientBandList = std::vector<GradientBand>;

class CGradientColours {
 public:
  // Directions: the first stop's colour is at the start of the direction.
  enum { kLeftToRight = 0, kRightToLeft = 1, kTopToBottom = 2, kBottomToTop = 3 };
  static constexpr UINT kNoBound = 0xFFFFFFFFu;

  CGradientColours();
  virtual ~CGradientColours();
  CGradientColours(const CGradientColours&) = delete;
  CGradientColours& operator=(const CGradientColours&) = delete;

  // count stops from the arguments (colour 1, colour 2, then count - 2 further COLORREFs), each segment an
  // equal share of the length. A count below 1 leaves the ramp as it was; a count of 1 makes it one colour.
  void SetColours(int count, COLORREF colour1, COLORREF colour2, ...);

  // Paints the part [start, end) of the ramp (pixels along the direction from the rectangle's start side; end -1
  // is the whole extent), rotated by shift pixels.
  virtual void Draw(CDC* pDC, int left, int top, int right, int bottom, int start, int end, int shift);
  // The bands of [start, end) of a ramp of the given length rotated by shift; end -1 means the length.
  virtual void MakeShiftedBands(CGradientBandList& list, int shift, int length, int start, int end, UINT maxSteps);
  virtual void MakeBands(CGradientBandList& list, int length, int start, int end, UINT maxSteps);
  // Appends the bands of one segment from one colour toward another.
  virtual void AddSegmentBands(CGradientBandList& list, COLORREF from, COLORREF to, int length, int start, int end,
                               UINT maxSteps);

  // The part of the rectangle that the pixel range [from, to) covers in the present direction (to -1: to the
  // end).
  CRect GetBandRect(const CRect& rect, int from, int to) const;
  // The ramp's palette (made on first use; empty unless use palette is set).
  CPalette* GetPalette();
  void CreatePalette();

  void SetDirection(int direction) { m_nDirection = direction; }
  int GetDirection() const { return m_nDirection; }
  void SetScale(float scale) { m_fScale = scale; }
  float GetScale() const { return m_fScale; }
  void SetUsePalette(BOOL use) { m_bUsePalette = use; }
  const std::vector<COLORREF>& GetColours() const { return m_colours; }

 protected:
  std::vector<COLORREF> m_colours;
  BOOL m_bUsePalette = FALSE;
  CPalette m_palette;
  std::vector<double> m_shares;
  int m_nDirection = kLeftToRight;
  float m_fScale = 1.0f;
};
