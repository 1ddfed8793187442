// The screen's scale: read from the session's settings, and applied to metrics, dialog units, fonts and pictures
// at 100, 125, 150 and 200 %.
#include <cstdlib>
#include <string>

#include "platform/gdi/internal.h"
#include "platform/ui/display.h"
#include "ui/ui_test_util.h"

using namespace uitest;

namespace {

// Sets or clears an environment variable for the life of the object.
struct Env {
  std::string name;
  std::string old;
  bool had;
  Env(const char* n, const char* value) : name(n) {
    const char* o = getenv(n);
    had = o != nullptr;
    if (o) old = o;
    if (value) setenv(n, value, 1);
    else unsetenv(n);
  }
  ~Env() {
    if (had) setenv(name.c_str(), old.c_str(), 1);
    else unsetenv(name.c_str());
  }
};

TEST(ScreenScale, TheResolutionComesFromXftDpiThenGdkThenQtScale) {
  struct Case {
    const char* xft;
    const char* gdk;
    const char* qt;
    int dpi;
  } cases[] = {
      {nullptr, nullptr, nullptr, 96}, {"192", "1", "3", 192},     {"120.0", nullptr, nullptr, 120},
      {"", "2", "1.5", 192},           {nullptr, nullptr, "1.25", 120}, {nullptr, "abc", "1.5", 144},
      {"0", nullptr, nullptr, 96},     {"9999", nullptr, nullptr, 96}, {nullptr, "2x", nullptr, 96},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.xft ? c.xft : "-") + " " + (c.gdk ? c.gdk : "-") + " " + (c.qt ? c.qt : "-"));
    Env gdk("GDK_SCALE", c.gdk), qt("QT_SCALE_FACTOR", c.qt);
    EXPECT_EQ(kx::ui::DpiFromSettings(c.xft), c.dpi);
  }
}

class ScaleTest : public UiTest {
 protected:
  void TearDown() override {
    kx::gdi::SetScreenDpi(96);
    UiTest::TearDown();
  }
};

TEST_F(ScaleTest, MetricsDialogUnitsAndFontsGrowWithTheScale) {
  kx::DialogTemplate t = Dialog("Scaled", 100, 50, {Item("Static", "Label", 100, 7, 7, 86, 8)});
  auto measure = [&](int dpi, RECT* unit, int* caption, int* fontHeight, int* check) {
    kx::gdi::SetScreenDpi(dpi);
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, nullptr, nullptr, 0);
    ASSERT_NE(dlg, nullptr);
    *unit = RECT{0, 0, 100, 50};
    MapDialogRect(dlg, unit);
    *caption = GetSystemMetrics(SM_CYCAPTION);
    *check = GetSystemMetrics(SM_CXMENUCHECK);
    HDC dc = GetDC(dlg);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessage(dlg, WM_GETFONT, 0, 0)));
    TEXTMETRICA tm{};
    GetTextMetrics(dc, &tm);
    *fontHeight = tm.tmHeight;
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), dpi);
    SelectObject(dc, old);
    ReleaseDC(dlg, dc);
    DestroyWindow(dlg);
  };
  RECT base;
  int caption0, font0, check0;
  measure(96, &base, &caption0, &font0, &check0);
  for (int dpi : {120, 144, 192}) {
    SCOPED_TRACE(dpi);
    RECT unit;
    int caption, font, check;
    measure(dpi, &unit, &caption, &font, &check);
    double f = dpi / 96.0;
    // Dialog units: the 96-dpi base units scaled, each rounded once.
    EXPECT_NEAR(unit.right, base.right * f, f * 2);
    EXPECT_NEAR(unit.bottom, base.bottom * f, f * 2);
    EXPECT_NEAR(caption, caption0 * f, 1);
    EXPECT_NEAR(check, check0 * f, 1);
    EXPECT_NEAR(font, font0 * f, 2);
  }
}

TEST_F(ScaleTest, IconsAreResampledSmoothlyNotPixelDoubled) {
  // A 2 x 2 checkerboard icon drawn at 8 x 8: its own size stays pixel for pixel, a larger one is blended.
  uint32_t argb[] = {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000};
  HICON icon = kx::CreateIconFromArgb(2, 2, argb, true, 0, 0);
  ASSERT_NE(icon, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  DrawIconEx(dc, 0, 0, icon, 2, 2, 0, nullptr, DI_NORMAL);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  DrawIconEx(dc, 4, 4, icon, 8, 8, 0, nullptr, DI_NORMAL);
  int between = 0;
  for (int y = 4; y < 12; ++y)
    for (int x = 4; x < 12; ++x) {
      int r = GetRValue(GetPixel(dc, x, y));
      if (r > 20 && r < 235) ++between;
    }
  EXPECT_GT(between, 8);  // a pixel-doubled checkerboard would have none
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  DestroyIcon(icon);
}

}  // namespace
