#include "controls/GradientColours.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <memory>

namespace {

// The palette flag of a colour that is to be matched in the selected palette.
constexpr COLORREF kPaletteRgb = 0x02000000;

int Channel(COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

}  // namespace

CGradientColours::CGradientColours() = default;
CGradientColours::~CGradientColours() = default;

void CGradientColours::SetColours(int count, COLORREF colour1, COLORREF colour2, ...) {
  if (count < 1) return;
  m_colours.clear();
  m_colours.push_back(colour1);
  if (count >= 2) m_colours.push_back(colour2);
  va_list args;
  va_start(args, colour2);
  for (int i = 2; i < count; ++i) m_colours.push_back(va_arg(args, COLORREF));
  va_end(args);
  m_shares.assign(static_cast<size_t>(count - 1), 100.0 / (count > 1 ? count - 1 : 1));
  m_palette.DeleteObject();
}

void CGradientColours::AddSegmentBands(CGradientBandList& list, COLORREF from, COLORREF to, int length, int start,
                                       int end, UINT maxSteps) {
  if (end == -1) end = length;
  const int dR = Channel(to, 0) - Channel(from, 0);
  const int dG = Channel(to, 8) - Channel(from, 8);
  const int dB = Channel(to, 16) - Channel(from, 16);
  long long steps = std::max({std::abs(dR), std::abs(dG), std::abs(dB)});
  steps = std::min<long long>(steps, maxSteps);
  steps = std::min<long long>(steps, length);
  if (steps <= 0) steps = 1;
  // Increments and the pixels of one step are single precision; their products are formed in double.
  const float incR = static_cast<float>(dR) / static_cast<float>(steps);
  const float incG = static_cast<float>(dG) / static_cast<float>(steps);
  const float incB = static_cast<float>(dB) / static_cast<float>(steps);
  const float perStep = static_cast<float>(length) / static_cast<float>(steps);
  for (long long i = 0; i < steps; ++i) {
    int a = static_cast<int>(static_cast<double>(i) * perStep);
    int b = i + 1 == steps ? length : static_cast<int>(static_cast<double>(i + 1) * perStep);
    if (b <= start) continue;
    a = std::max(a, start);
    b = std::min(b, end);
    const int r = (static_cast<int>(static_cast<double>(i) * incR) + Channel(from, 0)) & 0xFF;
    const int g = (static_cast<int>(static_cast<double>(i) * incG) + Channel(from, 8)) & 0xFF;
    const int bl = (static_cast<int>(static_cast<double>(i) * incB) + Channel(from, 16)) & 0xFF;
    if (b > a) list.push_back(GradientBand{RGB(r, g, bl), b - a});
    if (b >= end) break;
  }
}

void CGradientColours::MakeBands(CGradientBandList& list, int length, int start, int end, UINT maxSteps) {
  if (end == -1) end = length;
  if (m_colours.empty()) return;
  if (m_colours.size() == 1) {
    if (end > start) list.push_back(GradientBand{m_colours[0], end - start});
    return;
  }
  const size_t segments = m_colours.size() - 1;
  const UINT perSegment = maxSteps / static_cast<UINT>(segments);
  double covered = 0.0;
  for (size_t i = 0; i < segments; ++i) {
    const int segStart = static_cast<int>(length * covered / 100.0);
    covered += m_shares[i];
    const int segEnd = i + 1 == segments ? length : static_cast<int>(length * covered / 100.0);
    if (segEnd <= start) continue;
    const int clippedEnd = std::min(segEnd, end);
    AddSegmentBands(list, m_colours[i], m_colours[i + 1], segEnd - segStart, std::max(segStart, start) - segStart,
                    clippedEnd - segStart, perSegment);
    if (clippedEnd == end) break;
  }
}

void CGradientColours::MakeShiftedBands(CGradientBandList& list, int shift, int length, int start, int end,
                                        UINT maxSteps) {
  if (end == -1) end = length;
  if (length <= 0) {
    shift = 0;
  } else {
    // The remainder at once: a far negative shift must not cost one pass per length.
    shift %= length;
    if (shift < 0) shift += length;
  }
  if (shift == 0 || m_colours.size() < 2) {
    MakeBands(list, length, start, end, maxSteps);
    return;
  }
  CGradientBandList full;
  MakeBands(full, length, 0, length, maxSteps);
  if (full.size() < 2) {
    if (end > start) list.push_back(GradientBand{m_colours[0], end - start});
    return;
  }
  // The last shift pixels of the ramp move to its front.
  CGradientBandList front;
  int remaining = shift;
  while (remaining > 0 && !full.empty()) {
    GradientBand& last = full.back();
    if (last.width <= remaining) {
      remaining -= last.width;
      front.insert(front.begin(), last);
      full.pop_back();
    } else {
      front.insert(front.begin(), GradientBand{last.colour, remaining});
      last.width -= remaining;
      remaining = 0;
    }
  }
  front.insert(front.end(), full.begin(), full.end());
  int p = 0;
  for (const GradientBand& band : front) {
    const int a = std::max(p, start), b = std::min(p + band.width, end);
    if (b > a) list.push_back(GradientBand{band.colour, b - a});
    p += band.width;
    if (p >= end) break;
  }
}

CRect CGradientColours::GetBandRect(const CRect& rect, int from, int to) const {
  CRect r(rect);
  const bool vertical = m_nDirection == kTopToBottom || m_nDirection == kBottomToTop;
  if (to == -1) to = vertical ? rect.Height() : rect.Width();
  switch (m_nDirection) {
    case kRightToLeft: r.left = rect.right - to; r.right = rect.right - from; break;
    case kTopToBottom: r.top = rect.top + from; r.bottom = rect.top + to; break;
    case kBottomToTop: r.top = rect.bottom - to; r.bottom = rect.bottom - from; break;
    default: r.left = rect.left + from; r.right = rect.left + to; break;
  }
  return r;
}

CPalette* CGradientColours::GetPalette() {
  CreatePalette();
  return &m_palette;
}

void CGradientColours::CreatePalette() {
  if (!m_bUsePalette || m_palette.GetSafeHandle()) return;
  CGradientBandList bands;
  MakeBands(bands, 236, 0, 236, 236);
  if (bands.empty()) return;
  const size_t bytes = sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * bands.size();
  std::unique_ptr<unsigned char[]> block(new unsigned char[bytes]());
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.get());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(bands.size());
  for (size_t i = 0; i < bands.size(); ++i) {
    lp->palPalEntry[i].peRed = static_cast<BYTE>(Channel(bands[i].colour, 0));
    lp->palPalEntry[i].peGreen = static_cast<BYTE>(Channel(bands[i].colour, 8));
    lp->palPalEntry[i].peBlue = static_cast<BYTE>(Channel(bands[i].colour, 16));
    lp->palPalEntry[i].peFlags = 0;
  }
  m_palette.CreatePalette(lp);
}

void CGradientColours::Draw(CDC* pDC, int left, int top, int right, int bottom, int start, int end, int shift) {
  if (!pDC || m_colours.empty()) return;
  const CRect rect(left, top, right, bottom);
  const bool paletteDevice = (pDC->GetDeviceCaps(RASTERCAPS) & RC_PALETTE) != 0;
  if (!paletteDevice && pDC->GetDeviceCaps(BITSPIXEL) * pDC->GetDeviceCaps(PLANES) < 8) {
    pDC->FillSolidRect(GetBandRect(rect, start, end), m_colours[0]);
    return;
  }
  const bool vertical = m_nDirection == kTopToBottom || m_nDirection == kBottomToTop;
  const int extent = vertical ? rect.Height() : rect.Width();
  if (end == -1) end = extent;
  const int length = static_cast<int>(static_cast<float>(extent) * m_fScale);
  CGradientBandList bands;
  MakeShiftedBands(bands, shift, length, start, end, paletteDevice ? 236 : kNoBound);

  CPalette* oldPalette = nullptr;
  bool paletteSelected = false;
  if (paletteDevice && m_bUsePalette) {
    CPalette* palette = GetPalette();
    if (palette->GetSafeHandle()) {
      oldPalette = pDC->SelectPalette(palette, FALSE);
      pDC->RealizePalette();
      paletteSelected = true;
    }
  }
  int p = start;
  for (const GradientBand& band : bands) {
    const CRect part = GetBandRect(rect, p, p + band.width);
    if (paletteDevice) {
      CBrush brush(paletteSelected ? (band.colour | kPaletteRgb) : band.colour);
      pDC->FillRect(part, &brush);
    } else {
      pDC->FillSolidRect(part, band.colour);
    }
    p += band.width;
  }
  if (paletteSelected) pDC->SelectPalette(oldPalette, TRUE);
}
