// Text in other scripts in edits and labels: CJK and emoji found in fallback fonts, Arabic shaped and ordered
// right to left, combining accents kept with their letters, widths as drawn.
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/internal.h"
#include "ui/ui_test_util.h"

using namespace uitest;

namespace {

const char* const kCjk = "文件名称";
const char* const kArabic = "سلام عليكم";
const char* const kAccents = "Cafe\u0301 re\u0301sume\u0301";
const char* const kSalam = "سلام";

struct Shot {
  int w = 0, h = 0;
  std::vector<COLORREF> px;
  RECT ink{0, 0, 0, 0};  // box of the pixels unlike the background
  bool Empty() const { return ink.right <= ink.left; }
};

class ScriptsTest : public UiTest {
 protected:
  // Shows `text` in a borderless control of class `cls` and reads back its pixels.
  Shot Render(const char* cls, const std::string& text, DWORD style = 0) {
    Shot s;
    s.w = 200;
    s.h = 24;
    HWND hwnd = CreateWindowEx(0, cls, text.c_str(), WS_POPUP | WS_VISIBLE | style, 10, 10, s.w, s.h, nullptr,
                               nullptr, nullptr, nullptr);
    EXPECT_NE(hwnd, nullptr);
    if (!hwnd) return s;
    SetFocus(nullptr);  // no caret in the picture
    SendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    PumpPending();
    HDC dc = GetDC(hwnd);
    COLORREF bg = GetPixel(dc, s.w - 1, s.h - 1);
    s.ink = RECT{s.w, s.h, 0, 0};
    for (int y = 0; y < s.h; ++y)
      for (int x = 0; x < s.w; ++x) {
        COLORREF c = GetPixel(dc, x, y);
        s.px.push_back(c);
        if (c == bg) continue;
        s.ink.left = std::min<LONG>(s.ink.left, x);
        s.ink.top = std::min<LONG>(s.ink.top, y);
        s.ink.right = std::max<LONG>(s.ink.right, x + 1);
        s.ink.bottom = std::max<LONG>(s.ink.bottom, y + 1);
      }
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
    return s;
  }

  static LOGFONTA GuiFont() {
    LOGFONTA lf{};
    GetObject(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    return lf;
  }

  static SIZE Extent(const std::string& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE sz{0, 0};
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &sz);
    SelectObject(dc, old);
    DeleteDC(dc);
    return sz;
  }

  // As many characters as `text` has, none of which any font draws.
  static std::string Unassigned(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) out += "\u0378";
    return out;
  }
};

TEST_F(ScriptsTest, CjkArabicAndAccentsAreDrawnWithGlyphsInEditsAndLabels) {
  LOGFONTA lf = GuiFont();
  for (const char* text : {kCjk, kArabic, kAccents, "\U0001F600"}) {
    SCOPED_TRACE(text);
    // Pango finds a font with a glyph for every character; the unassigned ones stay boxes.
    EXPECT_EQ(kx::gdi::UnknownGlyphs(lf, text, std::strlen(text)), 0);
    std::string missing = Unassigned(text);
    EXPECT_GT(kx::gdi::UnknownGlyphs(lf, missing.data(), missing.size()), 0);
    for (const char* cls : {"Edit", "Static"}) {
      SCOPED_TRACE(cls);
      Shot shown = Render(cls, text), boxes = Render(cls, missing);
      ASSERT_FALSE(shown.Empty());
      ASSERT_FALSE(boxes.Empty());
      EXPECT_NE(shown.px, boxes.px);
      // The ink stays within the width measured for the text.
      int left = cls[0] == 'E' ? 2 : 0;  // the edit's margin
      EXPECT_GE(shown.ink.left, left);
      EXPECT_LE(shown.ink.right, left + Extent(text).cx + 1);
      EXPECT_GE(shown.ink.right - shown.ink.left, Extent(text).cx / 2);
    }
  }
  // Ideographs are an em wide, not the width of a missing glyph.
  int em = -lf.lfHeight;
  EXPECT_GE(Extent(kCjk).cx, 4 * (em - 1));
  // Arabic letters join: the word is not as wide as its letters set apart.
  int apart = 0;
  for (const char* letter : {"س", "ل", "ا", "م"}) apart += Extent(letter).cx;
  EXPECT_NE(Extent(kSalam).cx, apart);
  // A combining accent adds no width to its letter.
  EXPECT_EQ(Extent("e\u0301").cx, Extent("e").cx);
}

TEST_F(ScriptsTest, RightToLeftTextIsOrderedRightToLeft) {
  // In a right-to-left line a Latin word written last stands at the left end.
  const std::string mixed = std::string(kSalam) + " A";
  for (const char* cls : {"Edit", "Static"}) {
    SCOPED_TRACE(cls);
    Shot a = Render(cls, "A"), line = Render(cls, mixed);
    ASSERT_FALSE(a.Empty());
    EXPECT_EQ(line.ink.left, a.ink.left);
    for (int y = 0; y < a.h; ++y)
      for (int x = 0; x < a.ink.right; ++x)
        ASSERT_EQ(line.px[static_cast<size_t>(y * a.w + x)], a.px[static_cast<size_t>(y * a.w + x)])
            << "at " << x << "," << y;
    EXPECT_GT(line.ink.right, a.ink.right + 10);
  }
}

TEST_F(ScriptsTest, AnEllipsisLabelShortensItsLineInsteadOfWrappingIt) {
  const std::string text = "C:\\Users\\someone\\Documents\\a rather long folder name\\report for the year.doc";
  Shot wrapped = Render("Static", text), shortened = Render("Static", text, SS_ENDELLIPSIS),
       path = Render("Static", text, SS_PATHELLIPSIS);
  int line = 0;
  {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA tm{};
    GetTextMetrics(dc, &tm);
    line = tm.tmHeight;
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  ASSERT_GT(Extent(text).cx, 200);
  EXPECT_GT(wrapped.ink.bottom, line);  // the plain label wraps to a second line
  for (const Shot* s : {&shortened, &path}) {
    EXPECT_LE(s->ink.bottom, line);
    EXPECT_GT(s->ink.right, 150);
    EXPECT_LE(s->ink.right, 200);
  }
  EXPECT_NE(shortened.px, path.px);
}

TEST_F(ScriptsTest, AnEditsCaretInRightToLeftTextStandsWhereTheCharacterWasDrawn) {
  HWND edit = CreateWindowEx(0, "Edit", kSalam, WS_POPUP | WS_VISIBLE, 10, 10, 200, 24, nullptr, nullptr, nullptr,
                             nullptr);
  ASSERT_NE(edit, nullptr);
  auto x = [&](size_t at) { return GET_X_LPARAM(SendMessage(edit, EM_POSFROMCHAR, at, 0)); };
  size_t end = std::strlen(kSalam);
  // The word's first letter is at its right end, its last at the left.
  EXPECT_GT(x(0), x(end));
  EXPECT_GT(x(0), x(2));
  EXPECT_NEAR(x(0) - x(end), Extent(kSalam).cx, 1);
  SetWindowText(edit, "abc");
  EXPECT_LT(x(0), x(3));
  DestroyWindow(edit);
}

TEST_F(ScriptsTest, EditCaretStepsOverWholeGraphemes) {
  // e + combining acute, a flag of two regional indicators, then a plain letter.
  const std::string text = "e\u0301\U0001F1EB\U0001F1F7x";
  HWND edit = CreateWindowEx(0, "Edit", text.c_str(), WS_POPUP | WS_VISIBLE, 10, 10, 200, 24, nullptr, nullptr,
                             nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);
  SendMessage(edit, EM_SETSEL, 0, 0);
  std::vector<DWORD> stops;
  for (int i = 0; i < 4; ++i) {
    SendMessage(edit, WM_KEYDOWN, VK_RIGHT, 0);
    DWORD s = 0, e = 0;
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    stops.push_back(e);
  }
  EXPECT_EQ(stops, (std::vector<DWORD>{3, 11, 12, 12}));
  SendMessage(edit, WM_KEYDOWN, VK_LEFT, 0);
  SendMessage(edit, WM_KEYDOWN, VK_LEFT, 0);
  DWORD s = 0, e = 0;
  SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  EXPECT_EQ(e, 3u);
  // Delete takes the whole flag.
  SendMessage(edit, WM_KEYDOWN, VK_DELETE, 0);
  char buf[64] = {};
  GetWindowText(edit, buf, sizeof buf);
  EXPECT_EQ(std::string(buf), "e\u0301x");
  DestroyWindow(edit);
}

}  // namespace
