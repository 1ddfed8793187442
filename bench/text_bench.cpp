// Text through Pango on the headless desktop: a wizard-like page's first frame and its Next to the other page,
// with Latin labels and with CJK and Arabic ones; and the same page's strings drawn by Pango (DrawText) against
// Cairo's toy text calls (the earlier drawing), as a ratio, with the first frame's estimated ratio against the
// earlier drawing. Run by hand: KX_HEADLESS=1 build/bin/bench_text
#include <cairo.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/ui/dlgbuild.h"
#include "platform/ui/ui.h"

namespace {

constexpr int kFirst = 200, kSecond = 300;

using kx::dlg::Item;

struct Texts {
  const char* name;
  const char* heading;
  const char* label;
  const char* value;
  const char* button;
};

const Texts kLatin{"Latin", "Files and Output Folder", "Label of a field:", "/home/user/documents/report.doc",
                   "&Browse..."};
const Texts kScripts{"CJK and Arabic", "文件和输出文件夹", "اسم الملف:", "/home/user/文件/تقرير.doc", "浏览(&B)..."};

kx::DialogTemplate Page(const Texts& t) {
  kx::DialogTemplate d;
  d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_VISIBLE;
  d.cx = 317;
  d.cy = 193;
  d.title = "Text bench";
  for (int page = 0; page < 2; ++page) {
    int base = page ? kSecond : kFirst;
    auto add = [&](kx::DialogItemTemplate i) {
      if (page) i.style &= ~WS_VISIBLE;
      d.items.push_back(i);
    };
    add(Item("Static", t.heading, base, 7, 7, 300, 10, 0));
    for (int r = 0; r < 6; ++r) {
      add(Item("Static", t.label, base + 1 + r * 3, 7, static_cast<short>(26 + r * 22), 80, 8, 0));
      add(Item("Edit", t.value, base + 2 + r * 3, 90, static_cast<short>(24 + r * 22), 160, 14,
               WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP));
      add(Item("Button", t.button, base + 3 + r * 3, 256, static_cast<short>(24 + r * 22), 54, 14, WS_TABSTOP));
    }
  }
  return d;
}

void Pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
}

void SwitchPages(HWND dlg) {
  bool second = IsWindowVisible(GetDlgItem(dlg, kFirst)) != FALSE;
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    int id = GetDlgCtrlID(c);
    if (id >= kFirst && id < kFirst + 100) ShowWindow(c, second ? SW_HIDE : SW_SHOW);
    if (id >= kSecond && id < kSecond + 100) ShowWindow(c, second ? SW_SHOW : SW_HIDE);
  }
}

// The strings one page shows, each drawn once: through DrawText (Pango), and with Cairo's toy calls.
double PangoStrings(const Texts& t, int times) {
  HDC dc = CreateCompatibleDC(nullptr);
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 600, 40);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  double start = kxbench::Now();
  for (int i = 0; i < times; ++i) {
    RECT r{0, 0, 600, 40};
    DrawText(dc, t.heading, -1, &r, DT_SINGLELINE);
    for (int k = 0; k < 6; ++k) {
      DrawText(dc, t.label, -1, &r, DT_WORDBREAK);
      DrawText(dc, t.value, -1, &r, DT_SINGLELINE | DT_NOPREFIX);
      DrawText(dc, t.button, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
  }
  double took = kxbench::Now() - start;
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBmp);
  DeleteObject(bmp);
  DeleteDC(dc);
  return took / times;
}

double ToyStrings(const Texts& t, int times) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 600, 40);
  cairo_t* cr = cairo_create(s);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 11);
  auto show = [&](const char* text) {
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);  // the earlier drawing measured before it drew
    cairo_move_to(cr, 0, 11);
    cairo_show_text(cr, text);
  };
  double start = kxbench::Now();
  for (int i = 0; i < times; ++i) {
    show(t.heading);
    for (int k = 0; k < 6; ++k) {
      show(t.label);
      show(t.value);
      show(t.button);
    }
  }
  double took = kxbench::Now() - start;
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return took / times;
}

void Run(const Texts& t) {
  std::vector<double> first, next;
  for (int i = -1; i < kxbench::Runs() * 4; ++i) {  // the first round warms the fonts up and is not counted
    kx::DialogTemplate d = Page(t);
    double start = kxbench::Now();
    HWND dlg = CreateDialogIndirectParam(nullptr, &d, nullptr, nullptr, 0);
    Pump();
    if (i >= 0) first.push_back(kxbench::Now() - start);
    start = kxbench::Now();
    SwitchPages(dlg);
    Pump();
    if (i >= 0) next.push_back(kxbench::Now() - start);
    DestroyWindow(dlg);
    Pump();
  }
  double pango = PangoStrings(t, 200), toy = ToyStrings(t, 200);
  double f = kxbench::Median(first), n = kxbench::Median(next);
  // A page paints its strings once (and its edits' again for their caret): the text's share of each frame.
  double withToyFirst = f - pango + toy, withToyNext = n - pango + toy;
  std::printf("%s labels: first frame %.2f ms (%.2fx the earlier text drawing's estimate), Next to the page "
              "%.2f ms (%.2fx); the page's strings: Pango %.3f ms, toy text %.3f ms (%.2fx)\n",
              t.name, f * 1e3, withToyFirst > 0 ? f / withToyFirst : 0, n * 1e3,
              withToyNext > 0 ? n / withToyNext : 0, pango * 1e3, toy * 1e3, toy > 0 ? pango / toy : 0);
}

}  // namespace

int main() {
  Run(kLatin);
  Run(kScripts);
  return 0;
}
