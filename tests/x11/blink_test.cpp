// The caret of an edit on the X server blinks, and a blink costs the caret's pixels only.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "platform/ui/ui.h"
#include "platform/x11/x11display.h"
#include "x11/xtest_util.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

void Pump() {
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessage(&m);
  }
}

uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A focused edit on the X server, its blink timer driven by the manual clock: each blink marks the caret's
// rectangle alone for painting, its pixel turns off and on again on the surface and on the server, and a blink
// sends far less than the edit. A key restarts the blink; focus loss stops it. Runs in a process of its own (the display is chosen once per process); ends with
// 0, or 1 and the reason on standard error.
[[noreturn]] void BlinkOnTheServer(const std::string& display) {
  auto fail = [](const std::string& why) {
    fprintf(stderr, "%s\n", why.c_str());
    _exit(1);
  };
  // A server that stops answering ends the process (SIGALRM) instead of holding the test.
  alarm(120);
  setenv("DISPLAY", display.c_str(), 1);
  unsetenv("KX_HEADLESS");
  kx::UseManualClock(true);
  HWND top = CreateWindowEx(0, "Static", "Blink", WS_POPUP | WS_VISIBLE, 40, 40, 220, 64, nullptr, nullptr, nullptr,
                            nullptr);
  HWND edit = CreateWindowEx(0, "Edit", "caret", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 160, 24, top, nullptr,
                             nullptr, nullptr);
  SetFocus(edit);
  SendMessage(edit, EM_SETSEL, 2, 2);
  Pump();
  if (!kx::X11Sync()) fail("the window system is not on the X server");
  Pump();
  if (GetFocus() != edit) fail("the edit has no focus");
  LRESULT pos = SendMessage(edit, EM_POSFROMCHAR, 2, 0);
  POINT caret{GET_X_LPARAM(pos), GET_Y_LPARAM(pos) + 3};  // inside the caret's rectangle
  RECT client;
  GetClientRect(edit, &client);
  ::Display* x = XOpenDisplay(display.c_str());
  if (!x) fail("no connection of the test's own");
  auto onServer = [&] {
    POINT p = caret;
    MapWindowPoints(edit, nullptr, &p, 1);
    XImage* img = XGetImage(x, DefaultRootWindow(x), p.x, p.y, 1, 1, AllPlanes, ZPixmap);
    uint32_t v = static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF;
    XDestroyImage(img);
    return v;
  };
  auto onSurface = [&] {
    HDC dc = GetDC(edit);
    COLORREF c = GetPixel(dc, caret.x, caret.y);
    ReleaseDC(edit, dc);
    return c;
  };
  const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
  if (onSurface() != ink) fail("no caret before the first blink");
  for (int step = 0; step < 2; ++step) {
    kx::AdvanceManualClock(GetCaretBlinkTime());
    MSG m;
    if (!PeekMessage(&m, edit, WM_TIMER, WM_TIMER, PM_REMOVE)) fail("no blink timer on the X server");
    uint64_t bytes = kx::X11BytesSent();
    DispatchMessage(&m);
    RECT u;
    if (!GetUpdateRect(edit, &u, FALSE)) fail("the blink marked nothing for painting");
    if (u.left != caret.x || u.right != caret.x + 1 || u.top != GET_Y_LPARAM(pos) || u.bottom <= u.top ||
        u.bottom - u.top >= client.bottom)
      fail("the blink marked " + std::to_string(u.left) + "," + std::to_string(u.top) + "-" +
           std::to_string(u.right) + "," + std::to_string(u.bottom) + ", not the caret at " +
           std::to_string(caret.x) + "," + std::to_string(GET_Y_LPARAM(pos)));
    Pump();
    kx::X11Sync();
    COLORREF now = onSurface();
    if ((now == ink) != (step == 1)) fail("blink " + std::to_string(step) + " left the caret's pixel as it was");
    if (onServer() != Rgb(now)) fail("the server shows another pixel than the surface");
    uint64_t sent = kx::X11BytesSent() - bytes;
    if (sent == 0 || sent * 8 > static_cast<uint64_t>(client.right * client.bottom * 4))
      fail("a blink sent " + std::to_string(sent) + " bytes");
  }
  // A key shows the caret at once and starts the blink over; without the focus nothing blinks.
  auto blinkDue = [&](DWORD ms) {
    kx::AdvanceManualClock(ms);
    MSG m;
    return PeekMessage(&m, edit, WM_TIMER, WM_TIMER, PM_NOREMOVE) != FALSE;
  };
  if (!blinkDue(GetCaretBlinkTime())) fail("the blink stopped");
  Pump();
  if (onSurface() == ink) fail("the caret did not go off");
  SendMessage(edit, WM_KEYDOWN, VK_LEFT, 0);
  caret.x = GET_X_LPARAM(SendMessage(edit, EM_POSFROMCHAR, 1, 0));
  Pump();
  if (onSurface() != ink) fail("the caret is not shown after a key");
  if (blinkDue(GetCaretBlinkTime() - 1)) fail("a key did not start the blink over");
  SetFocus(top);
  Pump();
  if (blinkDue(GetCaretBlinkTime() * 4)) fail("the blink goes on without the focus");
  XCloseDisplay(x);
  _exit(0);
}

}  // namespace

TEST(OwnScreen, AFocusedEditsCaretBlinksByItsOwnRectangle) {
  xtest::Xvfb server("640x480x24");
  if (server.Missing()) GTEST_SKIP() << server.Problem();
  ASSERT_TRUE(server.Running()) << server.Problem();
  EXPECT_EXIT(BlinkOnTheServer(server.Name()), ::testing::ExitedWithCode(0), "");
}
