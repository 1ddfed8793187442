// The DIB surface, the texture patterns against their rules worked out in Python with the same generator, the
// texture button's faces, and the icon button's icons, colours and check-box clicks.
#include <gtest/gtest.h>

#include "app/BrinmoorApp.h"
#include "controls/TextureButton.h"
#include "drawctl.h"
#include "platform/win32/crt.h"
#include "platform/win32/modules.h"
#include "support/testroot.h"

namespace {

std::string Hex(const BYTE* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

TEST(DibSurface, DepthsStridesTablesAndBounds) {
  struct Case {
    int asked, bits, colours, stride;
  } cases[] = {{0, 1, 2, 4}, {1, 1, 2, 4}, {2, 4, 16, 8}, {4, 4, 16, 8}, {5, 8, 256, 12}, {8, 8, 256, 12},
               {9, 24, 0, 36}, {32, 24, 0, 36}};
  for (const Case& c : cases) {
    CDibSurface s;
    ASSERT_NE(s.Create(11, 3, c.asked), nullptr);
    EXPECT_EQ(s.GetBitCount(), c.bits) << c.asked;
    EXPECT_EQ(s.GetColourCount(), c.colours) << c.asked;
    EXPECT_EQ(s.GetStride(), c.stride) << c.asked;
    EXPECT_EQ(s.GetTotalSize(), 40u + c.colours * 4u + static_cast<DWORD>(c.stride) * 3u) << c.asked;
    EXPECT_EQ(s.GetBits(), s.GetBlock() + 40 + c.colours * 4);
  }
  CDibSurface s;
  s.Create(5, 4, 8);
  s.SetPixel(1, 0, 9);  // y counts from the top: the last stored row
  EXPECT_EQ(s.GetBits()[3 * s.GetStride() + 1], 9);
  const std::string before = Hex(s.GetBlock(), s.GetTotalSize());
  for (auto [x, y] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 4}}) s.SetPixel(x, y, 7);
  s.SetPaletteEntry(255, 1, 2, 3);  // in range for 8 bits
  EXPECT_EQ(s.GetPaletteEntry(255), RGB(1, 2, 3));
  s.SetPaletteEntry(255, 0, 0, 0);
  EXPECT_EQ(Hex(s.GetBlock(), s.GetTotalSize()), before);
  CDibSurface four;
  four.Create(4, 1, 4);
  four.SetPaletteEntry(16, 9, 9, 9);  // at the entry count: nothing
  EXPECT_EQ(four.GetPaletteEntry(15), RGB(0, 0, 0));
  CDibSurface truecolour;
  truecolour.Create(3, 3, 24);
  truecolour.SetPaletteEntry(0, 1, 1, 1);
  truecolour.SetPixel(0, 0, 5);
  truecolour.Tint(RGB(255, 0, 0), 50);
  EXPECT_EQ(Hex(truecolour.GetBits(), 27), std::string(54, '0'));
}

TEST(DibSurface, TintMixesTheTable) {
  CDibSurface s;
  s.Create(2, 2, 8);
  s.SetPaletteEntry(3, 100, 50, 0);
  s.Tint(RGB(200, 200, 200), 0);
  EXPECT_EQ(s.GetPaletteEntry(3), RGB(100, 50, 0));
  s.Tint(RGB(200, 100, 255), 30);  // (c x 70 + t x 30) / 100
  EXPECT_EQ(s.GetPaletteEntry(3), RGB(130, 65, 76));
  s.Tint(RGB(1, 2, 3), 150);  // taken as 100
  EXPECT_EQ(s.GetPaletteEntry(3), RGB(1, 2, 3));
  EXPECT_EQ(s.GetPaletteEntry(200), RGB(1, 2, 3));
}

TEST(DibSurface, PatternsFollowTheirRules) {
  const std::string script = kxtest::ReadFile(kxtest::SourceDir() + "/tests/drawctl/texture_patterns.py");
  struct Case {
    UINT pattern;
    int w, h, noise;
  } cases[] = {{0, 23, 11, 8}, {0, 9, 5, 0}, {1, 31, 7, 8}, {4, 17, 12, 3}, {5, 13, 9, 8},
               {6, 20, 14, 8}, {7, 40, 10, 8}, {7, 5, 1, 2}, {8, 37, 21, 8}};
  for (const Case& c : cases) {
    CDibSurface s;
    s.Create(c.w, c.h, 8);
    kx_srand(4321);
    PaintTexturePattern(s, c.pattern, c.noise);
    const std::string args = std::to_string(c.pattern) + " " + std::to_string(c.w) + " " + std::to_string(c.h) +
                             " " + std::to_string(c.noise) + " 4321";
    EXPECT_EQ(Hex(s.GetBits(), static_cast<size_t>(s.GetStride()) * c.h) + "\n", drawtest::Python(script, args))
        << "pattern " << c.pattern;
  }
  // Pattern 0 is the face colour with a grain of at most the noise.
  CDibSurface flat;
  flat.Create(50, 20, 8);
  PaintTexturePattern(flat, 0, 8);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 50; ++x) {
      EXPECT_GE(flat.GetPixel(x, y), 120);
      EXPECT_LE(flat.GetPixel(x, y), 136);
    }
}

class ButtonTest : public drawtest::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    host_ = drawtest::MakeHost(300, 200);
  }
  HWND host_ = nullptr;
};

TEST_F(ButtonTest, TextureFacesComeFromTheButtonColours) {
  CTextureButton button;
  ASSERT_TRUE(button.Create("Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(10, 10, 90, 40),
                            CWnd::FromHandle(host_), 200));
  button.SetTrackWhenInactive(TRUE);
  button.CreateTexture(0, 8, 10, 0, RGB(0, 0, 0));
  const CDibSurface& normal = button.Surface(CTextureButton::kNormal);
  const CDibSurface& hover = button.Surface(CTextureButton::kHover);
  ASSERT_EQ(normal.GetWidth(), 80);
  ASSERT_EQ(normal.GetHeight(), 30);
  const COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), face = GetSysColor(COLOR_BTNFACE);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  EXPECT_EQ(normal.GetPaletteEntry(0), shadow);
  EXPECT_EQ(normal.GetPaletteEntry(255), hi);
  auto mix = [](int a, int b) { return (127 * a + b) / 128; };
  EXPECT_EQ(normal.GetPaletteEntry(128), RGB(mix(GetRValue(face), GetRValue(hi)), mix(GetGValue(face), GetGValue(hi)),
                                             mix(GetBValue(face), GetBValue(hi))));
  const COLORREF e = normal.GetPaletteEntry(100);
  auto tint = [](int c, int t) { return (c * 90 + t * 10) / 100; };
  EXPECT_EQ(hover.GetPaletteEntry(100), RGB(tint(GetRValue(e), GetRValue(hi)), tint(GetGValue(e), GetGValue(hi)),
                                            tint(GetBValue(e), GetBValue(hi))));
  EXPECT_EQ(button.Surface(CTextureButton::kHorizontalDots).GetPixel(1, 0), 255);
  EXPECT_EQ(button.Surface(CTextureButton::kVerticalDots).GetBits()[4], 255);

  // The face shows the normal texture with the mouse away and the hover one while it is over the button.
  button.Invalidate();
  EXPECT_EQ(drawtest::ClientPixel(button, 40, 3), normal.GetPaletteEntry(normal.GetPixel(40, 3)));
  button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(40, 3));
  ASSERT_TRUE(button.IsOver());
  EXPECT_EQ(drawtest::ClientPixel(button, 40, 3), hover.GetPaletteEntry(hover.GetPixel(40, 3)));
  kx::RenderWindowToPng(host_, frametest::Shot("texture-button").c_str());
}

TEST_F(ButtonTest, FlatButtonShowsItsBorderOnlyWhileHoveredAndNotWhenDraggedOnto) {
  CIconButton button;
  ASSERT_TRUE(button.Create("Go", WS_CHILD | WS_VISIBLE, CRect(100, 60, 160, 100), CWnd::FromHandle(host_), 203));
  const COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), face = GetSysColor(COLOR_BTNFACE);
  ASSERT_NE(hi, face);
  button.Invalidate();
  EXPECT_EQ(drawtest::ClientPixel(button, 0, 10), face) << "no border while the mouse is away";
  // Dragging in with the left button held does not hover.
  button.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_FALSE(button.IsOver());
  button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(button.IsOver());
  EXPECT_EQ(drawtest::ClientPixel(button, 0, 10), hi) << "the raised border while hovered";
  // Leaving the window or deactivating the dialog takes the border away.
  button.SendMessage(WM_MOUSELEAVE);
  EXPECT_FALSE(button.IsOver());
  EXPECT_EQ(drawtest::ClientPixel(button, 0, 10), face);
  button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(button.IsOver());
  button.SendMessage(WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(button.IsOver());
  // A classic button does not track the mouse at all.
  button.SetFlat(FALSE, TRUE);
  button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_FALSE(button.IsOver());
}

TEST_F(ButtonTest, EmptyButtonGetsNoTexture) {
  CTextureButton button;
  ASSERT_TRUE(button.Create("", WS_CHILD | WS_VISIBLE, CRect(10, 10, 10, 40), CWnd::FromHandle(host_), 201));
  for (UINT pattern : {0u, 3u, 7u, 8u}) button.CreateTexture(pattern, 8, 10, 0, 0);
  EXPECT_EQ(button.Surface(CTextureButton::kNormal).GetBlock(), nullptr);
  button.UpdateWindow();
}

TEST_F(ButtonTest, IconButtonColoursIconsAndCheckBoxClicks) {
  HMODULE testres = LoadLibrary("kxtestres");
  ASSERT_NE(testres, nullptr);
  CIconButton button;
  ASSERT_TRUE(button.Create("Two words", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, CRect(10, 60, 70, 100),
                            CWnd::FromHandle(host_), 202));
  EXPECT_TRUE(button.IsCheckBox());
  EXPECT_EQ(button.SetColor(6, RGB(1, 2, 3)), 3u);
  EXPECT_EQ(button.GetColor(CIconButton::kForegroundFocus), GetSysColor(COLOR_BTNTEXT));
  EXPECT_EQ(button.SetColor(CIconButton::kBackgroundOut, RGB(0, 128, 0)), 0u);

  SetResourceModule(testres);
  EXPECT_EQ(button.SetIcons(9, 9), 0u);
  EXPECT_EQ(button.SetIcons(9, 4242), 1u) << "an away icon that cannot be read";
  EXPECT_EQ(button.ShownIcon(), -1);
  EXPECT_EQ(button.SetIcons(9, 9), 0u);
  EXPECT_TRUE(button.SetButtonCursor(4242));
  EXPECT_FALSE(button.SetButtonCursor(11));
  SetResourceModule(frametest::App().m_hResourceModule);
  EXPECT_EQ(button.ShownIcon(), 1) << "not pressed: the away icon";

  // Every click turns the pressed look over; a double click turns it twice.
  auto click = [&](bool twice) {
    button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    if (twice) {
      button.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
      button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
  };
  click(false);
  EXPECT_TRUE(button.IsChecked());
  button.UpdateWindow();
  EXPECT_EQ(button.ShownIcon(), 0) << "pressed: the main icon";
  click(true);
  EXPECT_TRUE(button.IsChecked());
  click(false);
  EXPECT_FALSE(button.IsChecked());
  kx::RenderWindowToPng(host_, frametest::Shot("icon-button").c_str());
  button.DestroyWindow();
  FreeLibrary(testres);
}

}  // namespace
