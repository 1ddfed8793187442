// Mouse hit testing: windows are asked with WM_NCHITTEST, and one that answers HTTRANSPARENT passes the mouse on
// to the window below it, whatever the z-order.
#include <atomic>

#include "platform/ui/commctrl.h"
#include "ui/ui_test_util.h"

using namespace uitest;

namespace {

class HitTestTest : public UiTest {};

struct Press {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  POINT pt;
};

// Presses recorded after the first `from` messages.
std::vector<Press> Presses(size_t from) {
  std::vector<Press> out;
  std::vector<Msg> all = Recorder::Get().All();
  for (size_t i = from; i < all.size(); ++i)
    if (const Msg& m = all[i]; m.msg == WM_LBUTTONDOWN || m.msg == WM_NCLBUTTONDOWN)
      out.push_back(Press{m.hwnd, m.msg, m.wp, POINT{GET_X_LPARAM(m.lp), GET_Y_LPARAM(m.lp)}});
  return out;
}

TEST_F(HitTestTest, TransparentWindowsPassTheMouseToTheWindowBelow) {
  // In the top window: `cover` lies above `page` (children made first are on top). The cover takes the mouse only
  // in its top strip; the page lets its right edge through to the top window; at one spot the cover answers
  // HTBORDER, which makes the press a non-client one.
  HWND top = nullptr, cover = nullptr, page = nullptr;
  kx::RunWithUi(
      [&] {
        Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM, LPARAM lp, LRESULT* r) {
          if (msg == WM_CLOSE) PostQuitMessage(0);
          if (msg != WM_NCHITTEST || (hwnd != cover && hwnd != page)) return false;
          POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
          ScreenToClient(hwnd, &p);
          if (hwnd == cover) *r = p.y < 30 ? HTCLIENT : (p.x < 10 && p.y < 40) ? HTBORDER : HTTRANSPARENT;
          else *r = p.x >= 250 ? HTTRANSPARENT : HTCLIENT;
          return true;
        };
        top = CreateWindowEx(0, RecorderClass(), "Hit", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, nullptr, nullptr,
                             nullptr, nullptr);
        cover = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 1);
        page = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 2);
        MoveWindow(cover, 0, 0, 300, 200, FALSE);
        MoveWindow(page, 0, 0, 300, 200, FALSE);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
        return INT_PTR{0};
      },
      [&](kx::UiDriver& d) {
        kx::WindowQuery q;
        q.parent = d.WaitForTitle("Hit");
        q.controlId = 2;
        d.WaitForWindow(q);
        d.Sync(top);
        EXPECT_EQ(GetWindow(top, GW_CHILD), cover);

        struct Case {
          HWND clicked;
          POINT at;  // in the clicked window's client area
          HWND expected;
          UINT msg;
          WPARAM wp;
          POINT pt;  // client coordinates, or screen ones for non-client presses
        } cases[] = {
            {page, {50, 100}, page, WM_LBUTTONDOWN, MK_LBUTTON, {50, 100}},
            {cover, {50, 10}, cover, WM_LBUTTONDOWN, MK_LBUTTON, {50, 10}},
            {top, {270, 100}, top, WM_LBUTTONDOWN, MK_LBUTTON, {270, 100}},
            {cover, {5, 35}, cover, WM_NCLBUTTONDOWN, HTBORDER, {105, 135}},
        };
        for (const Case& c : cases) {
          size_t before = Recorder::Get().All().size();
          d.ClickAt(c.clicked, c.at.x, c.at.y);
          std::vector<Press> got = Presses(before);
          ASSERT_EQ(got.size(), 1u) << "click at " << c.at.x << "," << c.at.y;
          EXPECT_EQ(got[0].hwnd, c.expected);
          EXPECT_EQ(got[0].msg, c.msg);
          EXPECT_EQ(got[0].wp, c.wp);
          EXPECT_EQ(got[0].pt.x, c.pt.x);
          EXPECT_EQ(got[0].pt.y, c.pt.y);
        }

        // WindowFromPoint asks the same way on the windows' own thread.
        HWND under[3] = {};
        d.Invoke(top, [&] {
          under[0] = WindowFromPoint(POINT{150, 200});
          under[1] = WindowFromPoint(POINT{150, 105});
          under[2] = WindowFromPoint(POINT{380, 200});
        });
        EXPECT_EQ(under[0], page);
        EXPECT_EQ(under[1], cover);
        EXPECT_EQ(under[2], top);
        d.Post(top, WM_CLOSE);
      });
}

TEST_F(HitTestTest, TabControlAboveAPageLetsClicksThroughOutsideItsTabs) {
  // The tab control is above the page in z-order and covers it; only its tabs take the mouse.
  HWND top = nullptr, tab = nullptr, button = nullptr;
  std::atomic<int> clicked{0};
  kx::RunWithUi(
      [&] {
        Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM wp, LPARAM, LRESULT*) {
          if (hwnd == top && msg == WM_COMMAND && LOWORD(wp) == 7 && HIWORD(wp) == BN_CLICKED) ++clicked;
          if (msg == WM_CLOSE) PostQuitMessage(0);
          return false;
        };
        top = CreateWindowEx(0, RecorderClass(), "Tabs", WS_POPUP | WS_VISIBLE, 50, 50, 320, 240, nullptr, nullptr,
                             nullptr, nullptr);
        tab = CreateWindowEx(0, WC_TABCONTROL, "", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, top, nullptr, nullptr,
                             nullptr);
        for (const char* name : {"General", "Details"}) {
          TCITEM item{};
          item.mask = TCIF_TEXT;
          item.pszText = const_cast<char*>(name);
          SendMessage(tab, TCM_INSERTITEM, static_cast<WPARAM>(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0)),
                      reinterpret_cast<LPARAM>(&item));
        }
        button = CreateWindowEx(0, "Button", "Press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 40, 80, 100, 30, top,
                                reinterpret_cast<HMENU>(7), nullptr, nullptr);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
        return INT_PTR{0};
      },
      [&](kx::UiDriver& d) {
        kx::WindowQuery q;
        q.parent = d.WaitForTitle("Tabs");
        q.controlId = 7;
        d.WaitForWindow(q);
        d.Sync(top);
        EXPECT_EQ(GetWindow(top, GW_CHILD), tab);
        d.Click(button);
        EXPECT_EQ(clicked.load(), 1);
        // The tabs themselves still take the mouse.
        RECT second{};
        d.Send(tab, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
        d.ClickAt(tab, (second.left + second.right) / 2, (second.top + second.bottom) / 2);
        EXPECT_EQ(d.Send(tab, TCM_GETCURSEL), 1);
        d.Post(top, WM_CLOSE);
      });
}

}  // namespace
