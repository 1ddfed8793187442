// The Signer Wizard on a screen of twice the resolution: every control twice the size, no text cut off, the
// picture of the window twice as large.
#include <cairo.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/frame_fixture.h"
#include "app/pages.h"
#include "platform/gdi/internal.h"
#include "platform/ui/control.h"
#include "platform/ui/prsht.h"
#include "signing/signing_test.h"

extern "C" int DisplaySignerWizard(HWND parent);

using namespace signtest;

namespace {

struct Placed {
  std::string cls;
  int id = 0;
  std::string text;
  RECT rc{0, 0, 0, 0};   // in the sheet's client area
  bool clipped = false;  // its text needs more room than the control has
};

bool Clipped(HWND hwnd, const std::string& cls, const std::string& text) {
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  bool label = false, button = false;
  UINT type = style & 0x1F;
  if (cls == "Static")
    label = (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE) &&
            !(style & SS_ELLIPSISMASK);
  else if (cls == "Button")
    button = (style & 0xF) != BS_GROUPBOX && (style & 0xF) != BS_OWNERDRAW;
  type = style & 0xF;
  if (text.empty() || !(label || button)) return false;
  RECT client;
  GetClientRect(hwnd, &client);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, kx::ControlFont(reinterpret_cast<HFONT>(SendMessage(hwnd, WM_GETFONT, 0, 0))));
  RECT need{0, 0, client.right, 0};
  bool clipped;
  if (label) {
    DrawText(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    clipped = need.bottom > client.bottom;
  } else {
    DrawText(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
    // Check boxes and radio buttons give the box and a gap of their width to the left of the text.
    bool boxed = type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON;
    int room = client.right - (boxed ? kx::gdi::Scaled(13) + kx::gdi::Scaled(4) : 0);
    clipped = need.right > room || need.bottom > client.bottom;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return clipped;
}

// The sheet's visible controls, its page's included, in z-order.
std::vector<Placed> Layout(kx::UiDriver& d, HWND sheet) {
  std::vector<Placed> out;
  d.Invoke(sheet, [&] {
    struct Walk {
      HWND sheet;
      std::vector<Placed>* out;
    } walk{sheet, &out};
    EnumChildWindows(
        sheet,
        [](HWND hwnd, LPARAM lp) -> BOOL {
          auto* w = reinterpret_cast<Walk*>(lp);
          if (!IsWindowVisible(hwnd)) return TRUE;
          Placed p;
          char buf[512] = {};
          GetClassName(hwnd, buf, sizeof buf);
          p.cls = buf;
          GetWindowText(hwnd, buf, sizeof buf);
          p.text = buf;
          p.id = GetDlgCtrlID(hwnd);
          GetWindowRect(hwnd, &p.rc);
          MapWindowPoints(nullptr, w->sheet, reinterpret_cast<POINT*>(&p.rc), 2);
          p.clipped = Clipped(hwnd, p.cls, p.text);
          w->out->push_back(p);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
  });
  return out;
}

bool PngSize(const std::string& path, int* w, int* h) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    *w = cairo_image_surface_get_width(s);
    *h = cairo_image_surface_get_height(s);
  }
  cairo_surface_destroy(s);
  return ok;
}

class ScaledWizard : public SigningTest {
 protected:
  void TearDown() override {
    kx::gdi::SetScreenDpi(96);
    SigningTest::TearDown();
  }

  struct Seen {
    std::vector<Placed> controls;
    RECT window{0, 0, 0, 0};
    int shotW = 0, shotH = 0;
  };

  // The welcome page at a resolution: its layout and a picture of it.
  Seen At(int dpi) {
    kx::gdi::SetScreenDpi(dpi);
    Seen seen;
    std::string shot = frametest::Shot(("welcome-" + std::to_string(dpi)).c_str());
    kx::RunWithUiHere([] { return INT_PTR(DisplaySignerWizard(nullptr)); }, [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Signer Wizard");
      kxtest::Page(d, sheet, 104);
      seen.controls = Layout(d, sheet);
      d.Invoke(sheet, [&] { GetWindowRect(sheet, &seen.window); });
      d.SavePng(sheet, shot);
      d.Click(d.Control(sheet, IDCANCEL));
      kxtest::AnswerPage(d, "Yes");
      d.WaitForGone(sheet);
    });
    EXPECT_TRUE(PngSize(shot, &seen.shotW, &seen.shotH)) << shot;
    return seen;
  }
};

TEST_F(ScaledWizard, AtTwiceTheResolutionEveryControlIsTwiceTheSizeAndNoTextIsCutOff) {
  Seen small = At(96), large = At(192);
  ASSERT_FALSE(small.controls.empty());
  ASSERT_EQ(small.controls.size(), large.controls.size());
  // Twice as far from the sheet's corner and twice as large, give or take a rounding; a control sized to its own
  // text (a link) may differ by what the larger font's rounding gives its text.
  auto twice = [](LONG a, LONG b, LONG slack) { return std::abs(b - 2 * a) <= slack; };
  for (size_t i = 0; i < small.controls.size(); ++i) {
    const Placed &a = small.controls[i], &b = large.controls[i];
    SCOPED_TRACE(a.cls + " " + std::to_string(a.id) + " \"" + a.text + "\"");
    ASSERT_EQ(a.cls, b.cls);
    LONG w = a.rc.right - a.rc.left, h = a.rc.bottom - a.rc.top;
    EXPECT_TRUE(twice(a.rc.left, b.rc.left, 2) && twice(a.rc.top, b.rc.top, 2) &&
                twice(w, b.rc.right - b.rc.left, std::max<LONG>(2, w / 12)) &&
                twice(h, b.rc.bottom - b.rc.top, std::max<LONG>(2, h / 12)))
        << a.rc.left << "," << a.rc.top << "," << a.rc.right << "," << a.rc.bottom << " at 96 dpi; " << b.rc.left
        << "," << b.rc.top << "," << b.rc.right << "," << b.rc.bottom << " at 192";
    EXPECT_FALSE(b.clipped && !a.clipped) << "cut off at 192 dpi only";
    EXPECT_FALSE(a.clipped) << "cut off at 96 dpi";
  }
  int w = small.window.right - small.window.left, h = small.window.bottom - small.window.top;
  EXPECT_NEAR(large.window.right - large.window.left, 2 * w, 4);
  EXPECT_NEAR(large.window.bottom - large.window.top, 2 * h, 4);
  EXPECT_NEAR(large.shotW, 2 * small.shotW, 4);
  EXPECT_NEAR(large.shotH, 2 * small.shotH, 4);
}

}  // namespace
