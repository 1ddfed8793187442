// Pixel work: raster operations, brushes, block transfers, fills, pixels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/gdi/internal.h"

namespace kx::gdi {

uint32_t Rop2(int rop2, uint32_t p, uint32_t d) {
  uint32_t r;
  switch (rop2) {
    case R2_BLACK: r = 0; break;
    case R2_NOTMERGEPEN: r = ~(p | d); break;
    case R2_MASKNOTPEN: r = ~p & d; break;
    case R2_NOTCOPYPEN: r = ~p; break;
    case R2_MASKPENNOT: r = p & ~d; break;
    case R2_NOT: r = ~d; break;
    case R2_XORPEN: r = p ^ d; break;
    case R2_NOTMASKPEN: r = ~(p & d); break;
    case R2_MASKPEN: r = p & d; break;
    case R2_NOTXORPEN: r = ~(p ^ d); break;
    case R2_NOP: r = d; break;
    case R2_MERGENOTPEN: r = ~p | d; break;
    case R2_MERGEPENNOT: r = p | ~d; break;
    case R2_MERGEPEN: r = p | d; break;
    case R2_WHITE: r = 0xFFFFFF; break;
    default: r = p; break;  // R2_COPYPEN
  }
  return r & 0xFFFFFF;
}

uint32_t Rop3(DWORD rop, uint32_t p, uint32_t s, uint32_t d) {
  BYTE code = static_cast<BYTE>((rop >> 16) & 0xFF);
  switch (code) {
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFF;
    case 0xCC: return s & 0xFFFFFF;
    case 0xF0: return p & 0xFFFFFF;
    case 0x55: return ~d & 0xFFFFFF;
    case 0x66: return (s ^ d) & 0xFFFFFF;
    case 0x88: return s & d & 0xFFFFFF;
    case 0xEE: return (s | d) & 0xFFFFFF;
    case 0x5A: return (p ^ d) & 0xFFFFFF;
    case 0x33: return ~s & 0xFFFFFF;
    case 0xC0: return p & s & 0xFFFFFF;
    case 0xBB: return (~s | d) & 0xFFFFFF;
    case 0xAA: return d & 0xFFFFFF;
    default: break;
  }
  // General form: the code byte is the truth table indexed by (pattern, source, destination) bits.
  uint32_t out = 0;
  for (int m = 0; m < 8; ++m) {
    if (!(code & (1 << m))) continue;
    uint32_t term = ((m & 4) ? p : ~p) & ((m & 2) ? s : ~s) & ((m & 1) ? d : ~d);
    out |= term;
  }
  return out & 0xFFFFFF;
}

namespace {

bool RopUsesSource(DWORD rop) { return (((rop >> 2) ^ rop) & 0x330000) != 0; }
bool RopUsesPattern(DWORD rop) { return (((rop >> 4) ^ rop) & 0x0F0000) != 0; }

}  // namespace

bool BrushPixel(const Dc& dc, const BrushObj& brush, int x, int y, uint32_t* out) {
  switch (brush.style) {
    case BS_NULL: return false;
    case BS_SOLID:
      *out = ToPixel(brush.dcBrush ? dc.st.dcBrushColor : brush.color);
      return true;
    case BS_HATCHED: {
      int px = (x - dc.origin.x - dc.st.brushOrg.x) & 7;
      int py = (y - dc.origin.y - dc.st.brushOrg.y) & 7;
      bool on = false;
      switch (brush.hatch) {
        case HS_HORIZONTAL: on = py == 0; break;
        case HS_VERTICAL: on = px == 0; break;
        case HS_FDIAGONAL: on = px == py; break;
        case HS_BDIAGONAL: on = px == 7 - py; break;
        case HS_CROSS: on = px == 0 || py == 0; break;
        case HS_DIAGCROSS: on = px == py || px == 7 - py; break;
      }
      if (on) {
        *out = ToPixel(brush.color);
        return true;
      }
      if (dc.st.bkMode == OPAQUE) {
        *out = ToPixel(dc.st.bkColor);
        return true;
      }
      return false;
    }
    case BS_PATTERN: {
      if (!brush.pattern || brush.pattern->width() <= 0 || brush.pattern->height() <= 0) return false;
      int w = brush.pattern->width(), h = brush.pattern->height();
      int px = ((x - dc.origin.x - dc.st.brushOrg.x) % w + w) % w;
      int py = ((y - dc.origin.y - dc.st.brushOrg.y) % h + h) % h;
      uint32_t v = brush.pattern->surface->Row(py)[px] & 0xFFFFFF;
      if (brush.pattern->bpp == 1) v = v ? ToPixel(dc.st.bkColor) : ToPixel(dc.st.textColor);
      *out = v;
      return true;
    }
    default: return false;
  }
}

void Mask::Init(const RECT& rc) {
  box = rc;
  if (box.right < box.left) box.right = box.left;
  if (box.bottom < box.top) box.bottom = box.top;
  bits.assign(static_cast<size_t>(box.right - box.left) * static_cast<size_t>(box.bottom - box.top), 0);
}

namespace {

template <typename SourceFn>
void ApplyMask(Dc& dc, const Mask& mask, int rop2, SourceFn source) {
  if (!dc.surface || mask.bits.empty()) return;
  PixelAccess pa(dc, true);
  Region clip = dc.Clip().IntersectRect(mask.box);
  for (const RECT& r : clip.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      uint32_t* row = pa.s->Row(y);
      const uint8_t* m = mask.bits.data() + static_cast<size_t>(y - mask.box.top) * mask.Width();
      for (int x = r.left; x < r.right; ++x) {
        if (!m[x - mask.box.left]) continue;
        uint32_t src;
        if (!source(x, y, &src)) continue;
        row[x] = Rop2(rop2, src, row[x] & 0xFFFFFF);
      }
    }
    pa.Damage(r);
  }
}

}  // namespace

void ApplyMaskColor(Dc& dc, const Mask& mask, uint32_t pixel, int rop2) {
  ApplyMask(dc, mask, rop2, [pixel](int, int, uint32_t* out) {
    *out = pixel;
    return true;
  });
}

void ApplyMaskBrush(Dc& dc, const Mask& mask, const BrushObj& brush, int rop2) {
  if (brush.style == BS_NULL) return;
  ApplyMask(dc, mask, rop2, [&](int x, int y, uint32_t* out) { return BrushPixel(dc, brush, x, y, out); });
}

void PatBltSurface(Dc& dc, const RECT& rc, const BrushObj* brush, DWORD rop) {
  if (!dc.surface) return;
  PixelAccess pa(dc, true);
  Region clip = dc.Clip().IntersectRect(rc);
  bool usesPattern = RopUsesPattern(rop);
  for (const RECT& r : clip.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      uint32_t* row = pa.s->Row(y);
      for (int x = r.left; x < r.right; ++x) {
        uint32_t p = 0;
        if (usesPattern) {
          if (!brush || !BrushPixel(dc, *brush, x, y, &p)) {
            if (rop == PATCOPY) continue;  // a null brush paints nothing
            p = 0;
          }
        }
        row[x] = Rop3(rop, p, 0, row[x] & 0xFFFFFF);
      }
    }
    pa.Damage(r);
  }
}

namespace {

// Resolves "(HBRUSH)(COLOR_x + 1)" and real brush handles.
std::shared_ptr<BrushObj> ResolveBrush(HBRUSH h) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v > 0 && v <= COLOR_MENUBAR + 1) h = GetSysColorBrush(static_cast<int>(v - 1));
  return Get<BrushObj>(h, ObjKind::Brush);
}

RECT NormRect(const Dc& dc, const RECT& rc) { return dc.ToSurfaceRect(rc); }

// Source pixels of a block transfer, converted to the destination's colour form.
struct SourceView {
  DcPtr src;
  Dc* dst = nullptr;
  bool srcMono = false;
  bool dstMono = false;
  std::vector<uint32_t> copy;  // a private copy when source and destination share a surface
  RECT copyBox{0, 0, 0, 0};

  bool Fetch(int sx, int sy, uint32_t* out) const {
    Surface* s = src->surface.get();
    if (sx < 0 || sy < 0 || sx >= s->width || sy >= s->height) return false;
    uint32_t v;
    if (!copy.empty() && sx >= copyBox.left && sx < copyBox.right && sy >= copyBox.top && sy < copyBox.bottom)
      v = copy[static_cast<size_t>(sy - copyBox.top) * (copyBox.right - copyBox.left) + (sx - copyBox.left)];
    else
      v = s->Row(sy)[sx] & 0xFFFFFF;
    if (srcMono && !dstMono)
      v = v ? ToPixel(dst->st.bkColor) : ToPixel(dst->st.textColor);
    else if (!srcMono && dstMono)
      v = (v == ToPixel(src->st.bkColor)) ? 0xFFFFFF : 0;
    *out = v;
    return true;
  }
};

bool IsMonoDc(const Dc& dc) { return dc.kind == DcKind::Memory && dc.st.bitmap && dc.st.bitmap->bpp == 1; }

void PrepareSource(SourceView& sv, Dc& dst, DcPtr src, const RECT& srcBox) {
  sv.src = std::move(src);
  sv.dst = &dst;
  sv.srcMono = IsMonoDc(*sv.src);
  sv.dstMono = IsMonoDc(dst);
  if (sv.src->surface == dst.surface) {
    RECT b{std::max<LONG>(srcBox.left, 0), std::max<LONG>(srcBox.top, 0),
           std::min<LONG>(srcBox.right, sv.src->surface->width), std::min<LONG>(srcBox.bottom, sv.src->surface->height)};
    if (b.right > b.left && b.bottom > b.top) {
      sv.copyBox = b;
      sv.copy.resize(static_cast<size_t>(b.right - b.left) * (b.bottom - b.top));
      for (int y = b.top; y < b.bottom; ++y)
        for (int x = b.left; x < b.right; ++x)
          sv.copy[static_cast<size_t>(y - b.top) * (b.right - b.left) + (x - b.left)] =
              sv.src->surface->Row(y)[x] & 0xFFFFFF;
    }
  }
}

// Core of BitBlt/StretchBlt: destination rectangle and source rectangle in surface coordinates (widths may be
// negative for mirroring).
bool Transfer(Dc& dst, int dx, int dy, int dw, int dh, DcPtr src, int sx, int sy, int sw, int sh, DWORD rop,
              const std::function<bool(uint32_t)>* skip = nullptr) {
  rop &= ~(NOMIRRORBITMAP | CAPTUREBLT);
  bool usesSource = RopUsesSource(rop);
  if (usesSource && (!src || !src->surface)) return false;
  if (!dst.surface) return false;
  bool mirrorX = (dw < 0) != (sw < 0);
  bool mirrorY = (dh < 0) != (sh < 0);
  // A negative extent runs leftwards (upwards) from its origin pixel, which it includes.
  if (dw < 0) { dx += dw + 1; dw = -dw; }
  if (dh < 0) { dy += dh + 1; dh = -dh; }
  if (sw < 0) { sx += sw + 1; sw = -sw; }
  if (sh < 0) { sy += sh + 1; sh = -sh; }
  if (dw == 0 || dh == 0) return true;
  std::unique_ptr<PixelAccess> srcAccess;
  SourceView sv;
  if (usesSource) {
    if (src.get() != &dst) srcAccess = std::make_unique<PixelAccess>(*src, false);
  }
  PixelAccess pa(dst, true);
  if (usesSource) PrepareSource(sv, dst, src, RECT{sx, sy, sx + sw, sy + sh});
  const BrushObj* brush = dst.st.brush.get();
  bool usesPattern = RopUsesPattern(rop);
  Region clip = dst.Clip().IntersectRect(RECT{dx, dy, dx + dw, dy + dh});
  for (const RECT& r : clip.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      uint32_t* row = pa.s->Row(y);
      int oy = y - dy;
      int syy = sh == dh ? oy : static_cast<int>(std::floor((oy + 0.5) * sh / static_cast<double>(dh)));
      if (mirrorY) syy = sh - 1 - syy;
      for (int x = r.left; x < r.right; ++x) {
        int ox = x - dx;
        uint32_t s = 0, p = 0;
        if (usesSource) {
          int sxx = sw == dw ? ox : static_cast<int>(std::floor((ox + 0.5) * sw / static_cast<double>(dw)));
          if (mirrorX) sxx = sw - 1 - sxx;
          if (!sv.Fetch(sx + sxx, sy + syy, &s)) continue;
          if (skip && (*skip)(s)) continue;
        }
        if (usesPattern && (!brush || !BrushPixel(dst, *brush, x, y, &p))) p = 0;
        row[x] = Rop3(rop, p, s, row[x] & 0xFFFFFF);
      }
    }
    pa.Damage(r);
  }
  return true;
}

}  // namespace

}  // namespace kx::gdi

using namespace kx::gdi;

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  RECT rc = NormRect(*dc, RECT{x, y, x + width, y + height});
  PatBltSurface(*dc, rc, dc->st.brush.get(), rop);
  return TRUE;
}

int FillRect(HDC hdc, const RECT* rc, HBRUSH brush) {
  DcPtr dc = GetDc(hdc);
  auto b = ResolveBrush(brush);
  if (!dc || !rc || !b) return 0;
  PatBltSurface(*dc, NormRect(*dc, *rc), b.get(), PATCOPY);
  return 1;
}

int FrameRect(HDC hdc, const RECT* rc, HBRUSH brush) {
  DcPtr dc = GetDc(hdc);
  auto b = ResolveBrush(brush);
  if (!dc || !rc || !b) return 0;
  RECT r = NormRect(*dc, *rc);
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  PatBltSurface(*dc, RECT{r.left, r.top, r.right, r.top + 1}, b.get(), PATCOPY);
  PatBltSurface(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, b.get(), PATCOPY);
  PatBltSurface(*dc, RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1}, b.get(), PATCOPY);
  PatBltSurface(*dc, RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1}, b.get(), PATCOPY);
  return 1;
}

BOOL InvertRect(HDC hdc, const RECT* rc) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !rc) return FALSE;
  PatBltSurface(*dc, NormRect(*dc, *rc), nullptr, DSTINVERT);
  return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !dc->surface) return CLR_INVALID;
  POINT p = dc->ToSurface(x, y);
  if (!dc->Clip().Contains(p.x, p.y)) return CLR_INVALID;
  PixelAccess pa(*dc, false);
  return ToColorRef(pa.s->Row(p.y)[p.x] & 0xFFFFFF);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !dc->surface) return CLR_INVALID;
  POINT p = dc->ToSurface(x, y);
  if (!dc->Clip().Contains(p.x, p.y)) return CLR_INVALID;
  PixelAccess pa(*dc, true);
  uint32_t v = ToPixel(color);
  if (IsMonoDc(*dc)) v = (v == 0xFFFFFF || (GetRValue(color) + GetGValue(color) + GetBValue(color)) / 3 >= 128) ? 0xFFFFFF : 0;
  pa.s->Row(p.y)[p.x] = v;
  pa.Damage(RECT{p.x, p.y, p.x + 1, p.y + 1});
  return ToColorRef(v);
}

BOOL SetPixelV(HDC hdc, int x, int y, COLORREF color) { return SetPixel(hdc, x, y, color) != CLR_INVALID; }

BOOL BitBlt(HDC hdst, int x, int y, int width, int height, HDC hsrc, int xSrc, int ySrc, DWORD rop) {
  DcPtr dst = GetDc(hdst);
  if (!dst) return FALSE;
  DcPtr src = GetDc(hsrc);
  RECT d = dst->ToSurfaceRect(RECT{x, y, x + width, y + height});
  if (!src) {
    if (RopUsesSource(rop)) return FALSE;
    PatBltSurface(*dst, d, dst->st.brush.get(), rop);
    return TRUE;
  }
  RECT s = src->ToSurfaceRect(RECT{xSrc, ySrc, xSrc + width, ySrc + height});
  return Transfer(*dst, d.left, d.top, d.right - d.left, d.bottom - d.top, src, s.left, s.top, s.right - s.left,
                  s.bottom - s.top, rop)
             ? TRUE
             : FALSE;
}

BOOL StretchBlt(HDC hdst, int x, int y, int width, int height, HDC hsrc, int xSrc, int ySrc, int srcWidth,
                int srcHeight, DWORD rop) {
  DcPtr dst = GetDc(hdst);
  if (!dst) return FALSE;
  DcPtr src = GetDc(hsrc);
  POINT d0 = dst->ToSurface(x, y), d1 = dst->ToSurface(x + width, y + height);
  if (!src) {
    if (RopUsesSource(rop)) return FALSE;
    PatBltSurface(*dst, RECT{std::min(d0.x, d1.x), std::min(d0.y, d1.y), std::max(d0.x, d1.x), std::max(d0.y, d1.y)},
                  dst->st.brush.get(), rop);
    return TRUE;
  }
  POINT s0 = src->ToSurface(xSrc, ySrc), s1 = src->ToSurface(xSrc + srcWidth, ySrc + srcHeight);
  return Transfer(*dst, d0.x, d0.y, d1.x - d0.x, d1.y - d0.y, src, s0.x, s0.y, s1.x - s0.x, s1.y - s0.y, rop) ? TRUE
                                                                                                             : FALSE;
}

BOOL TransparentBlt(HDC hdst, int x, int y, int width, int height, HDC hsrc, int xSrc, int ySrc, int srcWidth,
                    int srcHeight, UINT transparent) {
  DcPtr dst = GetDc(hdst);
  DcPtr src = GetDc(hsrc);
  if (!dst || !src || width < 0 || height < 0 || srcWidth < 0 || srcHeight < 0) return FALSE;
  POINT d0 = dst->ToSurface(x, y), d1 = dst->ToSurface(x + width, y + height);
  POINT s0 = src->ToSurface(xSrc, ySrc), s1 = src->ToSurface(xSrc + srcWidth, ySrc + srcHeight);
  uint32_t key = ToPixel(transparent);
  std::function<bool(uint32_t)> skip = [key](uint32_t v) { return v == key; };
  return Transfer(*dst, d0.x, d0.y, d1.x - d0.x, d1.y - d0.y, src, s0.x, s0.y, s1.x - s0.x, s1.y - s0.y, SRCCOPY,
                  &skip)
             ? TRUE
             : FALSE;
}

BOOL AlphaBlend(HDC hdst, int x, int y, int width, int height, HDC hsrc, int xSrc, int ySrc, int srcWidth,
                int srcHeight, BLENDFUNCTION blend) {
  DcPtr dst = GetDc(hdst);
  DcPtr src = GetDc(hsrc);
  if (!dst || !src || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return FALSE;
  BitmapObj* sb = src->TargetBitmap();
  RECT d = dst->ToSurfaceRect(RECT{x, y, x + width, y + height});
  RECT s = src->ToSurfaceRect(RECT{xSrc, ySrc, xSrc + srcWidth, ySrc + srcHeight});
  PixelAccess sa(*src, false);
  PixelAccess pa(*dst, true);
  bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) && sb && sb->dib && sb->bih.biBitCount == 32;
  int dw = d.right - d.left, dh = d.bottom - d.top, sw = s.right - s.left, sh = s.bottom - s.top;
  int sbStride = sb && sb->dib ? sb->Stride() : 0;
  Region clip = dst->Clip().IntersectRect(d);
  for (const RECT& r : clip.Rects()) {
    for (int yy = r.top; yy < r.bottom; ++yy) {
      uint32_t* row = pa.s->Row(yy);
      int sy = s.top + (yy - d.top) * sh / dh;
      for (int xx = r.left; xx < r.right; ++xx) {
        int sx = s.left + (xx - d.left) * sw / dw;
        if (sx < 0 || sy < 0 || sx >= sa.s->width || sy >= sa.s->height) continue;
        uint32_t sp = sa.s->Row(sy)[sx] & 0xFFFFFF;
        unsigned a = blend.SourceConstantAlpha;
        unsigned pixA = 255;
        if (perPixel) {
          int dibRow = sb->bih.biHeight > 0 ? sb->height() - 1 - sy : sy;
          pixA = sb->bits[static_cast<size_t>(dibRow) * sbStride + static_cast<size_t>(sx) * 4 + 3];
        }
        uint32_t dp = row[xx] & 0xFFFFFF;
        uint32_t out = 0;
        for (int sh2 = 0; sh2 < 24; sh2 += 8) {
          unsigned sc = (sp >> sh2) & 0xFF, dc = (dp >> sh2) & 0xFF;
          unsigned v;
          if (perPixel) {
            // Premultiplied source: dst = src*a/255 + dst*(1 - pixA*a/255/255).
            unsigned sa2 = pixA * a / 255;
            v = (sc * a + dc * (255 - sa2)) / 255;
          } else {
            v = (sc * a + dc * (255 - a)) / 255;
          }
          out |= std::min(v, 255u) << sh2;
        }
        row[xx] = out;
      }
    }
    pa.Damage(r);
  }
  return TRUE;
}

BOOL FillRgn(HDC hdc, HRGN rgn, HBRUSH brush) {
  DcPtr dc = GetDc(hdc);
  auto r = Get<RegionObj>(rgn, ObjKind::Region);
  auto b = ResolveBrush(brush);
  if (!dc || !r || !b) return FALSE;
  for (const RECT& rc : r->rgn.Rects()) PatBltSurface(*dc, NormRect(*dc, rc), b.get(), PATCOPY);
  return TRUE;
}

BOOL FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int width, int height) {
  DcPtr dc = GetDc(hdc);
  auto r = Get<RegionObj>(rgn, ObjKind::Region);
  auto b = ResolveBrush(brush);
  if (!dc || !r || !b) return FALSE;
  Region inner = r->rgn;
  const int offsets[4][2] = {{width, 0}, {-width, 0}, {0, height}, {0, -height}};
  for (const auto& o : offsets) {
    Region moved = r->rgn;
    moved.Offset(o[0], o[1]);
    inner = inner.Intersect(moved);
  }
  Region frame = r->rgn.Subtract(inner);
  for (const RECT& rc : frame.Rects()) PatBltSurface(*dc, NormRect(*dc, rc), b.get(), PATCOPY);
  return TRUE;
}

BOOL InvertRgn(HDC hdc, HRGN rgn) {
  DcPtr dc = GetDc(hdc);
  auto r = Get<RegionObj>(rgn, ObjKind::Region);
  if (!dc || !r) return FALSE;
  for (const RECT& rc : r->rgn.Rects()) PatBltSurface(*dc, NormRect(*dc, rc), nullptr, DSTINVERT);
  return TRUE;
}

BOOL PaintRgn(HDC hdc, HRGN rgn) {
  DcPtr dc = GetDc(hdc);
  auto r = Get<RegionObj>(rgn, ObjKind::Region);
  if (!dc || !r || !dc->st.brush) return FALSE;
  Region dev;
  std::vector<RECT> rects;
  for (const RECT& rc : r->rgn.Rects()) rects.push_back(NormRect(*dc, rc));
  dev = Region::FromRects(rects);
  Mask m;
  m.Init(dev.Box());
  for (const RECT& rc : dev.Rects())
    for (int y = rc.top; y < rc.bottom; ++y)
      for (int x = rc.left; x < rc.right; ++x) m.Set(x, y);
  ApplyMaskBrush(*dc, m, *dc->st.brush, dc->st.rop2);
  return TRUE;
}

BOOL GradientFill(HDC hdc, const TRIVERTEX* v, ULONG nVertices, const void* mesh, ULONG nMesh, ULONG mode) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !v || !mesh || (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V)) return FALSE;
  const GRADIENT_RECT* rects = static_cast<const GRADIENT_RECT*>(mesh);
  PixelAccess pa(*dc, true);
  for (ULONG i = 0; i < nMesh; ++i) {
    if (rects[i].UpperLeft >= nVertices || rects[i].LowerRight >= nVertices) return FALSE;
    TRIVERTEX a = v[rects[i].UpperLeft], b = v[rects[i].LowerRight];
    if (a.x > b.x) std::swap(a.x, b.x);
    if (a.y > b.y) std::swap(a.y, b.y);
    RECT rc = dc->ToSurfaceRect(RECT{a.x, a.y, b.x, b.y});
    bool horiz = mode == GRADIENT_FILL_RECT_H;
    int span = horiz ? rc.right - rc.left : rc.bottom - rc.top;
    TRIVERTEX c0 = v[rects[i].UpperLeft], c1 = v[rects[i].LowerRight];
    Region clip = dc->Clip().IntersectRect(rc);
    for (const RECT& r : clip.Rects()) {
      for (int y = r.top; y < r.bottom; ++y) {
        uint32_t* row = pa.s->Row(y);
        for (int x = r.left; x < r.right; ++x) {
          int k = horiz ? x - rc.left : y - rc.top;
          double t = span > 1 ? static_cast<double>(k) / (span - 1) : 0;
          auto mix = [&](COLOR16 p, COLOR16 q) {
            return static_cast<uint32_t>(std::lround(((p >> 8) * (1 - t) + (q >> 8) * t)));
          };
          row[x] = (mix(c0.Red, c1.Red) << 16) | (mix(c0.Green, c1.Green) << 8) | mix(c0.Blue, c1.Blue);
        }
      }
      pa.Damage(r);
    }
  }
  return TRUE;
}
