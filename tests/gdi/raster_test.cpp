// Raster operations, lines and shapes, regions and clipping, block transfers, coordinate spaces.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/ui/ui.h"

namespace {

// A memory DC over a 32-bit bitmap, filled with a busy pattern so that inversions show.
struct Canvas {
  HDC dc;
  HBITMAP bmp;
  HGDIOBJ old;
  int w, h;
  Canvas(int width, int height) : w(width), h(height) {
    dc = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    old = SelectObject(dc, bmp);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) SetPixel(dc, x, y, RGB((x * 37) & 0xFF, (y * 53) & 0xFF, ((x + y) * 11) & 0xFF));
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
};

std::vector<COLORREF> Pixels(HDC dc, int w, int h) {
  std::vector<COLORREF> out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.push_back(GetPixel(dc, x, y));
  return out;
}

int Differences(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
  int n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
  return n;
}

struct Figure {
  const char* name;
  std::function<void(HDC)> draw;
};

std::vector<Figure> Figures() {
  return {
      {"line", [](HDC dc) { MoveToEx(dc, 3, 4, nullptr); LineTo(dc, 57, 33); }},
      {"closed outline", [](HDC dc) {
         POINT p[5] = {{5, 5}, {50, 5}, {50, 40}, {5, 40}, {5, 5}};
         Polyline(dc, p, 5);
       }},
      {"self-crossing polyline", [](HDC dc) {
         POINT p[4] = {{0, 0}, {40, 40}, {40, 0}, {0, 40}};
         Polyline(dc, p, 4);
       }},
      {"rectangle with brush", [](HDC dc) { Rectangle(dc, 4, 6, 44, 36); }},
      {"ellipse", [](HDC dc) { Ellipse(dc, 2, 2, 58, 41); }},
      {"round rectangle", [](HDC dc) { RoundRect(dc, 3, 3, 50, 40, 10, 10); }},
      {"polygon", [](HDC dc) {
         POINT p[4] = {{30, 1}, {59, 20}, {30, 43}, {1, 20}};
         Polygon(dc, p, 4);
       }},
      {"dotted line", [](HDC dc) {
         HPEN pen = CreatePen(PS_DOT, 1, RGB(255, 0, 0));
         HGDIOBJ o = SelectObject(dc, pen);
         MoveToEx(dc, 0, 10, nullptr);
         LineTo(dc, 60, 30);
         SelectObject(dc, o);
         DeleteObject(pen);
       }},
      {"wide pen", [](HDC dc) {
         HPEN pen = CreatePen(PS_SOLID, 2, RGB(0, 0, 0));
         HGDIOBJ o = SelectObject(dc, pen);
         POINT p[5] = {{6, 6}, {40, 8}, {44, 30}, {10, 35}, {6, 6}};
         Polyline(dc, p, 5);
         SelectObject(dc, o);
         DeleteObject(pen);
       }},
  };
}

TEST(RasterTest, NotModeDrawnTwiceRestoresEveryPixel) {
  for (const Figure& f : Figures()) {
    SCOPED_TRACE(f.name);
    Canvas c(60, 44);
    auto before = Pixels(c.dc, c.w, c.h);
    SetROP2(c.dc, R2_NOT);
    f.draw(c.dc);
    auto once = Pixels(c.dc, c.w, c.h);
    EXPECT_GT(Differences(before, once), 20);
    f.draw(c.dc);
    EXPECT_EQ(Differences(before, Pixels(c.dc, c.w, c.h)), 0);
  }
}

TEST(RasterTest, NotModeOnTheScreenRestoresTheScreen) {
  // The zoom outline of the sheets: a 2-pixel pen, R2_NOT, drawn and drawn again on the screen DC.
  HWND w = CreateWindowEx(0, "Static", "under", WS_POPUP | WS_VISIBLE | WS_BORDER, 100, 100, 200, 120, nullptr,
                          nullptr, nullptr, nullptr);
  UpdateWindow(w);
  HDC screen = GetDC(nullptr);
  auto region = [&] {
    std::vector<COLORREF> v;
    for (int y = 90; y < 240; ++y)
      for (int x = 90; x < 320; ++x) v.push_back(GetPixel(screen, x, y));
    return v;
  };
  auto before = region();
  HPEN pen = CreatePen(PS_SOLID, 2, RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(screen, pen);
  int oldRop = SetROP2(screen, R2_NOT);
  EXPECT_EQ(oldRop, R2_COPYPEN);
  for (int s = 0; s < 10; ++s) {
    double t = s / 10.0;
    int l = 95 + static_cast<int>((130 - 95) * t), top = 95 + static_cast<int>((130 - 95) * t);
    int r = 310 - static_cast<int>((310 - 250) * t), b = 230 - static_cast<int>((230 - 200) * t);
    POINT p[5] = {{l, top}, {r, top}, {r, b}, {l, b}, {l, top}};
    Polyline(screen, p, 5);
    EXPECT_GT(Differences(before, region()), 0);
    Polyline(screen, p, 5);
    EXPECT_EQ(Differences(before, region()), 0) << "step " << s;
  }
  SetROP2(screen, oldRop);
  SelectObject(screen, oldPen);
  DeleteObject(pen);
  ReleaseDC(nullptr, screen);
  DestroyWindow(w);
}

TEST(RasterTest, LinesLeaveOutTheirLastPointAndRectanglesStayInside) {
  Canvas c(12, 8);
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RECT all{0, 0, 12, 8};
  FillRect(c.dc, &all, white);
  MoveToEx(c.dc, 1, 1, nullptr);
  LineTo(c.dc, 6, 1);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(GetPixel(c.dc, x, 1), (x >= 1 && x <= 5) ? RGB(0, 0, 0) : RGB(255, 255, 255)) << x;
  FillRect(c.dc, &all, white);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ ob = SelectObject(c.dc, red);
  Rectangle(c.dc, 2, 2, 7, 6);
  SelectObject(c.dc, ob);
  DeleteObject(red);
  EXPECT_EQ(GetPixel(c.dc, 2, 2), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 6, 5), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 7, 5), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(c.dc, 3, 3), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 5, 4), RGB(255, 0, 0));
  // FillRect fills left/top inclusive, right/bottom exclusive; a system colour index + 1 is a brush too.
  FillRect(c.dc, &all, white);
  RECT r{1, 1, 3, 2};
  FillRect(c.dc, &r, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1));
  EXPECT_EQ(GetPixel(c.dc, 2, 1), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(GetPixel(c.dc, 3, 1), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(c.dc, 1, 2), RGB(255, 255, 255));
}

struct RgnCase {
  int mode;
  RECT expectBox;
  int expectKind;
  POINT in, out;
};

TEST(RasterTest, RegionCombinations) {
  const RgnCase cases[] = {
      {RGN_AND, {5, 5, 10, 10}, SIMPLEREGION, {7, 7}, {2, 2}},
      {RGN_OR, {0, 0, 15, 15}, COMPLEXREGION, {12, 12}, {12, 2}},
      {RGN_XOR, {0, 0, 15, 15}, COMPLEXREGION, {2, 2}, {7, 7}},
      {RGN_DIFF, {0, 0, 10, 10}, COMPLEXREGION, {2, 7}, {7, 7}},
  };
  for (const RgnCase& c : cases) {
    SCOPED_TRACE(c.mode);
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.expectKind);
    RECT box;
    GetRgnBox(d, &box);
    EXPECT_TRUE(EqualRect(&box, &c.expectBox));
    EXPECT_TRUE(PtInRegion(d, c.in.x, c.in.y));
    EXPECT_FALSE(PtInRegion(d, c.out.x, c.out.y));
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(d);
  }
  // A region made of two pieces equals the same pieces combined in another order.
  HRGN x = CreateRectRgn(0, 0, 4, 4), y = CreateRectRgn(4, 0, 8, 4), z = CreateRectRgn(0, 0, 8, 4), u = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(u, x, y, RGN_OR), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(u, z));
  EXPECT_EQ(OffsetRgn(u, 3, 1), SIMPLEREGION);
  EXPECT_TRUE(PtInRegion(u, 10, 4));
  HRGN e = CreateEllipticRgn(0, 0, 20, 20);
  EXPECT_TRUE(PtInRegion(e, 10, 10));
  EXPECT_FALSE(PtInRegion(e, 1, 1));
  for (HRGN h : {x, y, z, u, e}) DeleteObject(h);
}

TEST(RasterTest, ClippingAndSavedStates) {
  Canvas c(20, 20);
  RECT all{0, 0, 20, 20};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  int saved = SaveDC(c.dc);
  IntersectClipRect(c.dc, 5, 5, 10, 10);
  SetViewportOrgEx(c.dc, 2, 0, nullptr);
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RECT box;
  EXPECT_EQ(GetClipBox(c.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 3);  // the clip is in device units; the box in logical ones
  RestoreDC(c.dc, saved);
  EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 9, 9), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 10, 9), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(c.dc, 4, 5), RGB(255, 255, 255));
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.right, 20);
  HRGN r = CreateRectRgn(0, 0, 3, 3);
  SelectClipRgn(c.dc, r);
  EXPECT_EQ(GetPixel(c.dc, 5, 5), CLR_INVALID);  // outside the clip
  SelectClipRgn(c.dc, nullptr);
  DeleteObject(r);
}

TEST(RasterTest, BlockTransfersWithRasterOperations) {
  Canvas src(16, 16), dst(16, 16);
  auto before = Pixels(dst.dc, 16, 16);
  BitBlt(dst.dc, 0, 0, 16, 16, src.dc, 0, 0, SRCINVERT);
  BitBlt(dst.dc, 0, 0, 16, 16, src.dc, 0, 0, SRCINVERT);
  EXPECT_EQ(Differences(before, Pixels(dst.dc, 16, 16)), 0);
  BitBlt(dst.dc, 2, 3, 4, 4, src.dc, 8, 8, SRCCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 2, 3), GetPixel(src.dc, 8, 8));
  EXPECT_EQ(GetPixel(dst.dc, 5, 6), GetPixel(src.dc, 11, 11));
  PatBlt(dst.dc, 0, 0, 16, 16, BLACKNESS);
  EXPECT_EQ(GetPixel(dst.dc, 7, 7), RGB(0, 0, 0));
  PatBlt(dst.dc, 0, 0, 16, 16, DSTINVERT);
  EXPECT_EQ(GetPixel(dst.dc, 7, 7), RGB(255, 255, 255));
  // Stretching doubles pixels; a negative width mirrors.
  StretchBlt(dst.dc, 0, 0, 16, 16, src.dc, 0, 0, 8, 8, SRCCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), GetPixel(src.dc, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 1, 1), GetPixel(src.dc, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 15, 15), GetPixel(src.dc, 7, 7));
  StretchBlt(dst.dc, 15, 0, -16, 16, src.dc, 0, 0, 16, 16, SRCCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 15, 4), GetPixel(src.dc, 0, 4));
  EXPECT_EQ(GetPixel(dst.dc, 0, 4), GetPixel(src.dc, 15, 4));
  // Monochrome to colour: black pixels take the text colour, white ones the background colour.
  HDC mono = CreateCompatibleDC(nullptr);
  HBITMAP mb = CreateBitmap(4, 1, 1, 1, nullptr);
  HGDIOBJ om = SelectObject(mono, mb);
  SetPixel(mono, 1, 0, RGB(0, 0, 0));
  SetTextColor(dst.dc, RGB(255, 0, 0));
  SetBkColor(dst.dc, RGB(0, 0, 255));
  BitBlt(dst.dc, 0, 0, 4, 1, mono, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 0, 0));
  SelectObject(mono, om);
  DeleteObject(mb);
  DeleteDC(mono);
}

TEST(RasterTest, AnisotropicMappingScalesBothWays) {
  Canvas c(40, 40);
  SetMapMode(c.dc, MM_ANISOTROPIC);
  SetWindowExtEx(c.dc, 100, 100, nullptr);
  SetViewportExtEx(c.dc, 40, 20, nullptr);
  POINT p[2] = {{50, 50}, {100, 100}};
  LPtoDP(c.dc, p, 2);
  EXPECT_EQ(p[0].x, 20);
  EXPECT_EQ(p[0].y, 10);
  EXPECT_EQ(p[1].x, 40);
  DPtoLP(c.dc, p, 2);
  EXPECT_EQ(p[0].x, 50);
  EXPECT_EQ(p[1].y, 100);
  RECT all{0, 0, 100, 100};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SetMapMode(c.dc, MM_TEXT);
  EXPECT_EQ(GetPixel(c.dc, 39, 19), RGB(0, 0, 0));
  EXPECT_NE(GetPixel(c.dc, 39, 21), RGB(0, 0, 0));
}

TEST(RasterTest, PaletteCallsSucceedOnTheTrueColourScreen) {
  HDC screen = GetDC(nullptr);
  EXPECT_FALSE(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  struct {
    LOGPALETTE lp;
    PALETTEENTRY more[1];
  } pal{{0x300, 2, {{255, 0, 0, 0}}}, {{0, 0, 255, 0}}};
  HPALETTE p = CreatePalette(&pal.lp);
  ASSERT_TRUE(p);
  HPALETTE old = SelectPalette(screen, p, FALSE);
  EXPECT_TRUE(old);
  EXPECT_EQ(GetNearestPaletteIndex(p, RGB(10, 0, 200)), 1u);
  RealizePalette(screen);
  SelectPalette(screen, old, FALSE);
  kx::SetPaletteDeviceForTesting(true);
  EXPECT_TRUE(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE);
  EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 256);
  kx::SetPaletteDeviceForTesting(false);
  DeleteObject(p);
  ReleaseDC(nullptr, screen);
}

}  // namespace
