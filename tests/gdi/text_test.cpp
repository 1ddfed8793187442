// Fonts and text: the face mapping, metrics, DrawText formats (CALCRECT, prefixes, wrapping, ellipses), TextOut
// alignment and rotation, the Marlett glyphs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/ui/ui.h"

namespace {

struct TextDc {
  HDC dc;
  HBITMAP bmp;
  HGDIOBJ oldBmp, oldFont;
  explicit TextDc(HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), int w = 300, int h = 200) {
    dc = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    oldBmp = SelectObject(dc, bmp);
    oldFont = SelectObject(dc, font);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~TextDc() {
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBmp);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
  int Width(const char* s) {
    SIZE sz;
    GetTextExtentPoint32(dc, s, static_cast<int>(std::strlen(s)), &sz);
    return sz.cx;
  }
  int Height() {
    TEXTMETRICA tm;
    GetTextMetrics(dc, &tm);
    return tm.tmHeight;
  }
  // The box of the pixels that are not white.
  RECT Ink(int w = 300, int h = 200) {
    RECT r{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (GetPixel(dc, x, y) != RGB(255, 255, 255)) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
};

TEST(TextTest, DialogFontMetricsAndFaceMapping) {
  TextDc t;
  EXPECT_EQ(t.Height(), 13);  // 8 points at 96 dots per inch
  char face[LF_FACESIZE];
  GetTextFace(t.dc, sizeof face, face);
  EXPECT_STREQ(face, "MS Shell Dlg");
  int w = t.Width("Certificate");
  HFONT tahoma = CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
  HFONT arial = CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  HFONT bold = CreateFont(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
  SelectObject(t.dc, tahoma);
  EXPECT_EQ(t.Width("Certificate"), w);
  SelectObject(t.dc, arial);
  EXPECT_EQ(t.Width("Certificate"), w);
  SelectObject(t.dc, bold);
  EXPECT_GT(t.Width("Certificate"), w);
  SelectObject(t.dc, GetStockObject(DEFAULT_GUI_FONT));
  for (HFONT f : {tahoma, arial, bold}) DeleteObject(f);
  // Width adds up from the characters.
  EXPECT_EQ(t.Width(""), 0);
  EXPECT_GT(t.Width("WW"), t.Width("W"));
}

struct CalcCase {
  const char* name;
  const char* text;
  UINT format;
  int width;             // of the rectangle given
  const char* sameWidthAs;  // the result's width equals this text's width on one line (nullptr: not checked)
  int lines;             // the result's height in lines
};

TEST(TextTest, DrawTextCalcRectTable) {
  TextDc t;
  int lh = t.Height();
  const CalcCase cases[] = {
      {"one line", "Signer Wizard", DT_SINGLELINE, 300, "Signer Wizard", 1},
      {"prefix removed", "&File", DT_SINGLELINE, 300, "File", 1},
      {"double ampersand", "Save && Exit", DT_SINGLELINE, 300, "Save & Exit", 1},
      {"no prefix keeps it", "&File", DT_SINGLELINE | DT_NOPREFIX, 300, "&File", 1},
      {"line breaks", "first\nsecond line\r\nthird", 0, 300, "second line", 3},
      {"single line ignores breaks", "a\nb", DT_SINGLELINE, 300, "ab", 1},
      {"wraps at words", "alpha beta gamma delta", DT_WORDBREAK, 0, nullptr, 0},
      {"empty multi-line", "", 0, 300, "", 0},
      {"empty single line", "", DT_SINGLELINE, 300, "", 1},
  };
  for (const CalcCase& c : cases) {
    SCOPED_TRACE(c.name);
    int width = c.width ? c.width : t.Width("alpha beta gamma") + 2;
    RECT r{10, 20, 10 + width, 25};
    int h = DrawText(t.dc, c.text, -1, &r, c.format | DT_CALCRECT);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    if (c.sameWidthAs) {
      EXPECT_EQ(r.right - r.left, t.Width(c.sameWidthAs));
    }
    if (c.width) {
      EXPECT_EQ(r.bottom - r.top, c.lines * lh);
      EXPECT_EQ(h, c.lines * lh);
    } else {
      // "alpha beta gamma" fits on the first line, "delta" goes to the next.
      EXPECT_EQ(r.bottom - r.top, 2 * lh);
      EXPECT_LE(r.right - r.left, width);
    }
  }
  // A word longer than the line is broken between characters.
  RECT r{0, 0, t.Width("abcd"), 0};
  DrawText(t.dc, "abcdefghijkl", -1, &r, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(r.bottom, 3 * lh);
  // Tabs widen the line when expanded.
  RECT a{0, 0, 300, 0}, b{0, 0, 300, 0};
  DrawText(t.dc, "a\tb", -1, &a, DT_SINGLELINE | DT_CALCRECT);
  DrawText(t.dc, "a\tb", -1, &b, DT_SINGLELINE | DT_EXPANDTABS | DT_CALCRECT);
  EXPECT_GT(b.right, a.right);
}

TEST(TextTest, EllipsesKeepTheTextInsideTheRectangle) {
  TextDc t;
  char text[] = "A long title that cannot fit in the banner";
  int width = t.Width("A long title");
  RECT r{0, 0, width, t.Height()};
  DrawText(t.dc, text, -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
  std::string shown = text;
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "...");
  EXPECT_LE(t.Width(shown.c_str()), width);
  EXPECT_EQ(shown.rfind("A long", 0), 0u);
  char path[] = "/home/user/Documents/reports/summary.tvx";
  width = t.Width("/home/.../summary.tvx") + 1;
  r = RECT{0, 0, width, t.Height()};
  DrawText(t.dc, path, -1, &r, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
  shown = path;
  EXPECT_NE(shown.find("..."), std::string::npos);
  EXPECT_NE(shown.find("/summary.tvx"), std::string::npos);
  EXPECT_LE(t.Width(shown.c_str()), width);
  // Word-wrapped text with an end ellipsis ends its last whole line with the ellipsis.
  TextDc fresh;
  RECT box{0, 0, fresh.Width("alpha beta gamma"), 2 * fresh.Height() + 3};
  DrawText(fresh.dc, "alpha beta gamma delta epsilon zeta eta theta iota", -1, &box,
           DT_WORDBREAK | DT_END_ELLIPSIS | DT_EDITCONTROL);
  RECT ink = fresh.Ink();
  EXPECT_LE(ink.bottom, 2 * fresh.Height());
  EXPECT_LE(ink.right, box.right);
  EXPECT_GT(ink.bottom, fresh.Height());  // two lines shown
}

TEST(TextTest, DrawTextAlignsAndClips) {
  TextDc t;
  RECT r{0, 0, 200, 40};
  SetBkMode(t.dc, TRANSPARENT);
  int h = DrawText(t.dc, "Mid", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_GT(h, 20);  // with DT_VCENTER the result is the offset of the text's bottom
  RECT ink = t.Ink();
  int cx = (ink.left + ink.right) / 2, cy = (ink.top + ink.bottom) / 2;
  EXPECT_NEAR(cx, 100, 3);
  EXPECT_NEAR(cy, 20, 4);
  TextDc u;
  RECT small{0, 0, 10, 40};
  DrawText(u.dc, "Clipped text", -1, &small, DT_SINGLELINE);
  EXPECT_LE(u.Ink().right, 10);
  TextDc v;
  DrawText(v.dc, "Not clipped", -1, &small, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(v.Ink().right, 10);
}

TEST(TextTest, TextOutAlignmentAndRotation) {
  TextDc t;
  SetBkMode(t.dc, TRANSPARENT);
  SetTextAlign(t.dc, TA_CENTER | TA_BOTTOM);
  TextOut(t.dc, 150, 100, "Centred", 7);
  RECT ink = t.Ink();
  EXPECT_NEAR((ink.left + ink.right) / 2, 150, 3);
  EXPECT_LE(ink.bottom, 100);
  EXPECT_GT(ink.bottom, 90);
  HFONT up = CreateFont(-14, 0, 900, 900, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  TextDc r(up);
  SetBkMode(r.dc, TRANSPARENT);
  TextOut(r.dc, 50, 150, "Vertical text", 13);
  RECT vink = r.Ink();
  EXPECT_GT(vink.bottom - vink.top, 3 * (vink.right - vink.left));
  EXPECT_LE(vink.bottom, 151);  // escapement 900 runs upwards from the reference point
  SelectObject(r.dc, GetStockObject(DEFAULT_GUI_FONT));
  DeleteObject(up);
  // An opaque background fills the text's cell.
  TextDc o;
  SetBkColor(o.dc, RGB(0, 0, 255));
  TextOut(o.dc, 10, 10, "x", 1);
  EXPECT_EQ(GetPixel(o.dc, 10, 10), RGB(0, 0, 255));
}

TEST(TextTest, MarlettGlyphsAreDrawn) {
  HFONT marlett = CreateFont(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SYMBOL_CHARSET, 0, 0, 0, 0, "Marlett");
  for (char ch : {'b', 'i', 'r', '0', '1', '2'}) {
    SCOPED_TRACE(ch);
    TextDc t(marlett, 40, 40);
    SetBkMode(t.dc, TRANSPARENT);
    RECT cell{10, 10, 26, 26};
    char s[2] = {ch, 0};
    DrawText(t.dc, s, 1, &cell, DT_CENTER | DT_SINGLELINE);
    RECT ink = t.Ink(40, 40);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 26);
    EXPECT_GE(ink.top, 10);
    EXPECT_LE(ink.bottom, 26);
    EXPECT_GT(ink.right - ink.left, 2);
    SelectObject(t.dc, GetStockObject(DEFAULT_GUI_FONT));
  }
  DeleteObject(marlett);
}

}  // namespace
