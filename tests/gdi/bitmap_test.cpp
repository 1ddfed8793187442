// Bitmaps and DIBs of 1, 4, 8 and 24 bits, DIB sections shared with their caller, icons, PNG output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/ui/ui.h"
#include "support/testroot.h"

namespace {

struct Info8 {
  BITMAPINFOHEADER h;
  RGBQUAD colors[256];
};

Info8 Header(int w, int h, int bpp, int colors) {
  Info8 i{};
  i.h.biSize = sizeof(BITMAPINFOHEADER);
  i.h.biWidth = w;
  i.h.biHeight = h;
  i.h.biPlanes = 1;
  i.h.biBitCount = static_cast<WORD>(bpp);
  i.h.biCompression = BI_RGB;
  i.h.biClrUsed = static_cast<DWORD>(colors);
  return i;
}

TEST(BitmapTest, DibSectionBitsAndDrawingStayInStep) {
  Info8 info = Header(4, 2, 8, 3);
  info.colors[0] = RGBQUAD{0, 0, 0, 0};
  info.colors[1] = RGBQUAD{0, 0, 255, 0};    // red
  info.colors[2] = RGBQUAD{255, 255, 255, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP dib = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(dib);
  ASSERT_TRUE(bits);
  auto* p = static_cast<BYTE*>(bits);
  // Bottom-up: the first row in memory is the bottom row of the picture.
  p[0] = 1;
  p[4 + 3] = 2;
  HGDIOBJ old = SelectObject(dc, dib);
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 3, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 0));
  // Drawing maps to the nearest colour of the table and shows in the bits.
  SetPixel(dc, 2, 0, RGB(250, 10, 10));
  EXPECT_EQ(p[4 + 2], 1);
  DIBSECTION ds{};
  EXPECT_EQ(GetObject(dib, sizeof ds, &ds), static_cast<int>(sizeof ds));
  EXPECT_EQ(ds.dsBm.bmBits, bits);
  EXPECT_EQ(ds.dsBm.bmWidthBytes, 4);
  EXPECT_EQ(ds.dsBmih.biBitCount, 8);
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
}

TEST(BitmapTest, DibsOfEveryDepthRoundTrip) {
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 9, 5);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  const COLORREF colors[4] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 255)};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) SetPixel(dc, x, y, colors[(x + 2 * y) % 4]);
  for (int bpp : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(bpp);
    Info8 info = Header(9, 5, bpp, 0);
    ASSERT_TRUE(GetDIBits(dc, bmp, 0, 5, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS));
    std::vector<BYTE> bits(info.h.biSizeImage);
    ASSERT_EQ(GetDIBits(dc, bmp, 0, 5, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 5);
    HBITMAP copy = CreateCompatibleBitmap(screen, 9, 5);
    HDC cdc = CreateCompatibleDC(screen);
    HGDIOBJ co = SelectObject(cdc, copy);
    SetDIBitsToDevice(cdc, 0, 0, 9, 5, 0, 0, 0, 5, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 9; ++x) {
        COLORREF want = colors[(x + 2 * y) % 4];
        if (bpp == 1) want = (want == RGB(255, 255, 255)) ? want : RGB(0, 0, 0);
        EXPECT_EQ(GetPixel(cdc, x, y), want) << x << "," << y;
      }
    SelectObject(cdc, co);
    DeleteObject(copy);
    DeleteDC(cdc);
  }
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

TEST(BitmapTest, SourceRectangleOfABottomUpDibCountsFromTheBottom) {
  // A 10 x 50 picture whose row y has the colour y; source (0, 10)-(10, 30) of the picture is asked for with the
  // bottom-up y of 50 - 30 = 20.
  Info8 info = Header(10, 50, 24, 0);
  int stride = ((10 * 24 + 31) / 32) * 4;
  std::vector<BYTE> bits(static_cast<size_t>(stride) * 50);
  for (int row = 0; row < 50; ++row) {
    int y = 49 - row;
    for (int x = 0; x < 10; ++x) bits[static_cast<size_t>(row) * stride + x * 3 + 1] = static_cast<BYTE>(y);
  }
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 10, 20);
  HGDIOBJ old = SelectObject(dc, bmp);
  SetDIBitsToDevice(dc, 0, 0, 10, 20, 0, 20, 0, 50, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  EXPECT_EQ(GetGValue(GetPixel(dc, 0, 0)), 10);
  EXPECT_EQ(GetGValue(GetPixel(dc, 0, 19)), 29);
  StretchDIBits(dc, 0, 0, 10, 20, 0, 20, 10, 20, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(GetGValue(GetPixel(dc, 5, 0)), 10);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

TEST(BitmapTest, BmpFilesAreReadAndMalformedOnesRefused) {
  // A 3 x 2, 24-bit file written by hand.
  std::string file;
  auto put = [&](const void* p, size_t n) { file.append(static_cast<const char*>(p), n); };
  BITMAPFILEHEADER fh{0x4D42, 14 + 40 + 24, 0, 0, 14 + 40};
  Info8 info = Header(3, 2, 24, 0);
  put(&fh, sizeof fh);
  put(&info.h, sizeof info.h);
  const BYTE rows[24] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,  // bottom row: red green blue
                         255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0};
  put(rows, sizeof rows);
  std::string path = kxtest::MakeTempDir("bmp") + "/small.bmp";
  kxtest::WriteFile(path, file);
  std::string out;
  kxtest::Run("file -b '" + path + "'", &out);
  EXPECT_NE(out.find("PC bitmap"), std::string::npos) << out;
  HBITMAP b = kx::CreateBitmapFromBmpFile(file.data(), file.size());
  ASSERT_TRUE(b);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(b);
  // Offsets pointing before the header or past the end, and truncated bits, are refused.
  std::string bad = file;
  reinterpret_cast<BITMAPFILEHEADER*>(bad.data())->bfOffBits = 10;
  EXPECT_EQ(kx::CreateBitmapFromBmpFile(bad.data(), bad.size()), nullptr);
  bad = file;
  reinterpret_cast<BITMAPFILEHEADER*>(bad.data())->bfOffBits = 5000;
  EXPECT_EQ(kx::CreateBitmapFromBmpFile(bad.data(), bad.size()), nullptr);
  EXPECT_EQ(kx::CreateBitmapFromBmpFile(file.data(), file.size() - 4), nullptr);
  bad = file;
  bad[0] = 'X';
  EXPECT_EQ(kx::CreateBitmapFromBmpFile(bad.data(), bad.size()), nullptr);
}

// Bit-field masks: all 32 bits set once hung the loader (a shift by 32); masks that are not one run of bits,
// or empty, are refused rather than guessed at.
TEST(BitmapTest, BitFieldMasksAreOneRunOfBitsOrRefused) {
  const std::string file = kxtest::ReadFile(kxtest::SourceDir() + "/fuzz/regress/bmp/bitfields-all-ones-mask.bmp");
  ASSERT_EQ(file.size(), 70u);
  HBITMAP b = kx::CreateBitmapFromBmpFile(file.data(), file.size());
  ASSERT_TRUE(b);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0x44, 0x44, 0x44));  // the top byte of the one 32-bit pixel
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(b);
  struct Case {
    DWORD red;
    bool loads;
  } cases[] = {{0x00FF0000, true}, {0xFF000000, true}, {0x00000001, true}, {0x00FF00FF, false},
               {0x80000001, false}, {0, false}};
  for (const Case& c : cases) {
    std::string bad = file;
    std::memcpy(bad.data() + 14 + 40, &c.red, 4);
    HBITMAP h = kx::CreateBitmapFromBmpFile(bad.data(), bad.size());
    EXPECT_EQ(h != nullptr, c.loads) << std::hex << c.red;
    if (h) DeleteObject(h);
    // Drawn straight from memory, the same masks take the same answer.
    HDC screen = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateBitmap(1, 1, 1, 32, nullptr);
    HGDIOBJ prev = SelectObject(screen, target);
    // The header and masks at their own aligned place, as a caller's BITMAPINFO is.
    std::vector<DWORD> info((bad.size() - 14 + 3) / 4);
    std::memcpy(info.data(), bad.data() + 14, bad.size() - 14);
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
    EXPECT_EQ(SetDIBitsToDevice(screen, 0, 0, 1, 1, 0, 0, 0, 1, bad.data() + 66, bmi, DIB_RGB_COLORS) != 0, c.loads);
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 2, 2, 0, 0, 1, 1, bad.data() + 66, bmi, DIB_RGB_COLORS, SRCCOPY) != 0,
              c.loads);
    SelectObject(screen, prev);
    DeleteObject(target);
    DeleteDC(screen);
  }
}

TEST(BitmapTest, IconsKeepTheirTransparency) {
  std::vector<uint32_t> argb(16 * 16, 0);
  for (int y = 4; y < 12; ++y)
    for (int x = 4; x < 12; ++x) argb[static_cast<size_t>(y) * 16 + x] = 0xFF00FF00;
  HICON icon = kx::CreateIconFromArgb(16, 16, argb.data());
  ASSERT_TRUE(icon);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(16, 16, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all{0, 0, 16, 16};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIcon(dc, 0, 0, icon);
  EXPECT_EQ(GetPixel(dc, 8, 8), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));
  ICONINFO ii{};
  ASSERT_TRUE(GetIconInfo(icon, &ii));
  BITMAP bm{};
  GetObject(ii.hbmMask, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  HICON again = CreateIconIndirect(&ii);
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DrawIcon(dc, 0, 0, again);
  EXPECT_EQ(GetPixel(dc, 8, 8), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 0));
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  DestroyIcon(again);
  DestroyIcon(icon);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

// A disabled picture is embossed from its own dark pixels: a light-filled icon with a dark outline shows the
// outline in the shadow colour (and the highlight beside it), its light inside and transparent border not at all.
TEST(BitmapTest, DisabledPicturesAreEmbossedFromTheirDarkPixels) {
  std::vector<uint32_t> argb(16 * 16, 0);
  for (int y = 2; y < 14; ++y)
    for (int x = 2; x < 14; ++x)
      argb[static_cast<size_t>(y) * 16 + x] = (x == 2 || x == 13 || y == 2 || y == 13) ? 0xFF000080 : 0xFFFFE080;
  HICON icon = kx::CreateIconFromArgb(16, 16, argb.data());
  ASSERT_TRUE(icon);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(16, 16, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  const COLORREF face = RGB(212, 208, 200);
  HBRUSH faceBrush = CreateSolidBrush(face);
  RECT all{0, 0, 16, 16};
  FillRect(dc, &all, faceBrush);
  ASSERT_TRUE(DrawState(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, 0, 0, 16, 16, DST_ICON | DSS_DISABLED));
  EXPECT_EQ(GetPixel(dc, 2, 8), GetSysColor(COLOR_3DSHADOW));   // the outline
  EXPECT_EQ(GetPixel(dc, 8, 8), face);                          // the light inside: no blob
  EXPECT_EQ(GetPixel(dc, 0, 0), face);                          // transparent
  EXPECT_EQ(GetPixel(dc, 14, 8), GetSysColor(COLOR_3DHILIGHT));  // the highlight beside the outline
  // A bitmap the same way: its dark pixels only.
  HBITMAP picture = CreateBitmap(16, 16, 1, 32, nullptr);
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ oldSrc = SelectObject(src, picture);
  FillRect(src, &all, faceBrush);
  RECT bar{4, 4, 12, 6};
  FillRect(src, &bar, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SelectObject(src, oldSrc);
  FillRect(dc, &all, faceBrush);
  ASSERT_TRUE(DrawState(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(picture), 0, 0, 0, 16, 16,
                        DST_BITMAP | DSS_DISABLED));
  EXPECT_EQ(GetPixel(dc, 5, 4), GetSysColor(COLOR_3DSHADOW));
  EXPECT_EQ(GetPixel(dc, 8, 10), face);
  DeleteDC(src);
  DeleteObject(picture);
  DeleteObject(faceBrush);
  DestroyIcon(icon);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST(BitmapTest, PngOfAWindowReadsBackWithItsPixels) {
  HWND w = CreateWindowEx(0, "Static", "", WS_POPUP | WS_VISIBLE | SS_BLACKRECT, 0, 0, 30, 20, nullptr, nullptr,
                          nullptr, nullptr);
  std::string path = kxtest::MakeTempDir("png") + "/black.png";
  ASSERT_TRUE(kx::RenderWindowToPng(w, path.c_str()));
  DestroyWindow(w);
  // Decoded by Python's own zlib: width, height and the first pixel of the image data.
  std::string script =
      "import struct,sys,zlib\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "assert d[:8]==b'\\x89PNG\\r\\n\\x1a\\n'\n"
      "w,h,bits,ct=struct.unpack('>IIBB',d[16:26])\n"
      "i=8;raw=b''\n"
      "while i<len(d):\n"
      "  n=struct.unpack('>I',d[i:i+4])[0];t=d[i+4:i+8]\n"
      "  if t==b'IDAT': raw+=d[i+8:i+8+n]\n"
      "  i+=12+n\n"
      "px=zlib.decompress(raw)\n"
      "print(w,h,bits,ct,px[1],px[2],px[3])\n";
  std::string spath = kxtest::MakeTempDir("py") + "/png.py";
  kxtest::WriteFile(spath, script);
  std::string out;
  ASSERT_EQ(kxtest::Run("python3 '" + spath + "' '" + path + "'", &out), 0) << out;
  // 30 x 20, 8 bits per channel, RGB (type 2) or RGBA (type 6); the first pixel is black.
  EXPECT_TRUE(out.rfind("30 20 8 ", 0) == 0) << out;
  EXPECT_NE(out.find(" 0 0 0"), std::string::npos) << out;
}

}  // namespace
