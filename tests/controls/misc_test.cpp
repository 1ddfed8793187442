// The progress bar, status bar, tooltip, date-time picker, up-down control and image lists.
#include <string>
#include <vector>

#include "controls/ctltest.h"

using namespace ctltest;
using Strings = std::vector<std::string>;

namespace {

// A plain top-level window of the test thread to hold controls.
HWND Frame(int w = 400, int h = 300) {
  return CreateWindowEx(0, "#32770", "Frame", WS_POPUP | WS_VISIBLE, 100, 100, w, h, nullptr, nullptr, nullptr, nullptr);
}

void Pump() {
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessage(&m);
  }
}

}  // namespace

class MiscControlsTest : public ControlsTest {
 protected:
  void TearDown() override {
    kx::DestroyThreadWindows();
    ControlsTest::TearDown();
  }
};

TEST_F(MiscControlsTest, ProgressRangePositionStepAndColours) {
  HWND frame = Frame();
  HWND bar = CreateWindowEx(0, PROGRESS_CLASS, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 10, 10, 202, 20, frame, nullptr,
                            nullptr, nullptr);
  ASSERT_NE(bar, nullptr);
  // The old range comes back packed in 16 bits; the 32-bit range holds large values.
  EXPECT_EQ(SendMessage(bar, PBM_SETRANGE32, 0, 200), MAKELONG(0, 100));
  EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 37, 0), 0);
  EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 37);
  EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 500, 0), 37);  // clamped
  EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 200);
  SendMessage(bar, PBM_SETRANGE32, static_cast<WPARAM>(-100000), 100000);
  PBRANGE r{};
  EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&r)), -100000);
  EXPECT_EQ(r.iHigh, 100000);
  SendMessage(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessage(bar, PBM_SETPOS, 90, 0);
  EXPECT_EQ(SendMessage(bar, PBM_SETSTEP, 30, 0), 10);
  EXPECT_EQ(SendMessage(bar, PBM_STEPIT, 0, 0), 90);  // past the end it starts over
  EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 20);
  EXPECT_EQ(SendMessage(bar, PBM_DELTAPOS, 5, 0), 20);
  EXPECT_EQ(SendMessage(bar, PBM_SETBARCOLOR, 0, RGB(0, 200, 0)), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(SendMessage(bar, PBM_SETBKCOLOR, 0, RGB(250, 250, 250)), static_cast<LRESULT>(CLR_DEFAULT));
  SendMessage(bar, PBM_SETPOS, 50, 0);
  Picture pic(bar);
  EXPECT_EQ(pic.At(20, 10), RGB(0, 200, 0));
  EXPECT_EQ(pic.At(180, 10), RGB(250, 250, 250));
  // Vertical: the bar grows from the bottom.
  SetWindowLongPtr(bar, GWL_STYLE, GetWindowLongPtr(bar, GWL_STYLE) | PBS_VERTICAL);
  SetWindowPos(bar, nullptr, 0, 0, 20, 102, SWP_NOMOVE | SWP_NOZORDER);
  Picture up(bar);
  EXPECT_EQ(up.At(10, 90), RGB(0, 200, 0));
  EXPECT_EQ(up.At(10, 10), RGB(250, 250, 250));
  // An empty range draws no bar and divides by nothing.
  SendMessage(bar, PBM_SETRANGE32, 5, 5);
  Picture empty(bar);
  EXPECT_EQ(empty.At(10, 90), RGB(250, 250, 250));
}

TEST_F(MiscControlsTest, StatusBarPartsTextsAndRectangles) {
  HWND frame = Frame();
  HWND sb = CreateStatusWindow(WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, "Ready", frame, 0xE801);
  ASSERT_NE(sb, nullptr);
  RECT fc, sr;
  GetClientRect(frame, &fc);
  GetWindowRect(sb, &sr);
  MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&sr), 2);
  EXPECT_EQ(sr.bottom, fc.bottom);
  EXPECT_EQ(sr.right - sr.left, fc.right);
  int parts[] = {100, 250, -1};
  EXPECT_TRUE(SendMessage(sb, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts)));
  EXPECT_TRUE(SendMessage(sb, SB_SETTEXT, 1 | SBT_POPOUT, reinterpret_cast<LPARAM>("Signing")));
  char buf[64] = {0};
  LRESULT got = SendMessage(sb, SB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf));
  EXPECT_STREQ(buf, "Signing");
  EXPECT_EQ(LOWORD(got), 7);
  EXPECT_EQ(HIWORD(got), SBT_POPOUT);
  RECT p1{};
  EXPECT_TRUE(SendMessage(sb, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&p1)));
  EXPECT_EQ(p1.left, 102);
  EXPECT_EQ(p1.right, 250);
  EXPECT_FALSE(SendMessage(sb, SB_GETRECT, 3, reinterpret_cast<LPARAM>(&p1)));
  // The parent forwards its size: the bar follows.
  SetWindowPos(frame, nullptr, 0, 0, 500, 350, SWP_NOMOVE | SWP_NOZORDER);
  SendMessage(sb, WM_SIZE, 0, 0);
  GetClientRect(frame, &fc);
  GetWindowRect(sb, &sr);
  MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&sr), 2);
  EXPECT_EQ(sr.bottom, fc.bottom);
  EXPECT_EQ(sr.right, fc.right);
}

TEST_F(MiscControlsTest, TooltipShowsAfterTheDelayAndFollowsItsText) {
  HWND frame = Frame();
  HWND button = CreateWindowEx(0, WC_BUTTONA, "Sign", WS_CHILD | WS_VISIBLE, 20, 20, 80, 24, frame, nullptr, nullptr, nullptr);
  HWND tip = CreateWindowEx(WS_EX_TOPMOST, TOOLTIPS_CLASS, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0,
                            frame, nullptr, nullptr, nullptr);
  ASSERT_NE(tip, nullptr);
  kx::UseManualClock(true);
  TOOLINFOA ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = frame;
  ti.uId = reinterpret_cast<UINT_PTR>(button);
  ti.lpszText = const_cast<char*>("Signs the selected files");
  EXPECT_TRUE(SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti)));
  EXPECT_EQ(SendMessage(tip, TTM_SETMAXTIPWIDTH, 0, 400), -1);
  EXPECT_EQ(SendMessage(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  // The owner relays a mouse move over the button; the tip comes after the initial delay.
  POINT p{10, 10};
  ClientToScreen(button, &p);
  SetCursorPos(p.x, p.y);
  MSG m{button, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10), 0, p};
  SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
  Pump();
  EXPECT_FALSE(IsWindowVisible(tip));
  kx::AdvanceManualClock(600);
  Pump();
  EXPECT_TRUE(IsWindowVisible(tip));
  ti.lpszText = const_cast<char*>("Now something else");
  SendMessage(tip, TTM_UPDATETIPTEXT, 0, reinterpret_cast<LPARAM>(&ti));
  char buf[80] = {0};
  ti.lpszText = buf;
  SendMessage(tip, TTM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(&ti));
  EXPECT_STREQ(buf, "Now something else");
  // Another window taking the keyboard (a message box opened over the frame) takes the tip away.
  HWND box = CreateWindowEx(0, "#32770", "Question", WS_POPUP | WS_VISIBLE, 120, 120, 200, 100, frame, nullptr,
                            nullptr, nullptr);
  EXPECT_EQ(GetActiveWindow(), box);
  EXPECT_FALSE(IsWindowVisible(tip));
  DestroyWindow(box);
  SetActiveWindow(frame);
  // A press pops it; a deactivated tooltip shows nothing.
  m.message = WM_LBUTTONDOWN;
  SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
  EXPECT_FALSE(IsWindowVisible(tip));
  SendMessage(tip, TTM_ACTIVATE, FALSE, 0);
  m.message = WM_MOUSEMOVE;
  m.lParam = MAKELPARAM(11, 11);
  SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
  kx::AdvanceManualClock(600);
  Pump();
  EXPECT_FALSE(IsWindowVisible(tip));
  kx::UseManualClock(false);
}

namespace {

constexpr int kDate = 100, kTime = 101, kSpinEdit = 102, kSpin = 103;

INT_PTR CALLBACK PickerProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (EndsOnButton(dlg, msg, wp)) return TRUE;
  switch (msg) {
    case WM_INITDIALOG: {
      SYSTEMTIME st{2004, 3, 0, 5, 10, 20, 30, 0};
      SendDlgItemMessage(dlg, kDate, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
      SendDlgItemMessage(dlg, kTime, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
      SendDlgItemMessage(dlg, kSpin, UDM_SETRANGE32, 1, 7);
      SendDlgItemMessage(dlg, kSpin, UDM_SETPOS32, 0, 5);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->code == DTN_DATETIMECHANGE) Events().Add("change " + std::to_string(hdr->idFrom));
      if (hdr->code == UDN_DELTAPOS) {
        auto* ud = reinterpret_cast<NMUPDOWN*>(lp);
        Events().Add("delta " + std::to_string(ud->iPos) + " " + std::to_string(ud->iDelta));
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

TEST_F(MiscControlsTest, DateTimePickersTakeTypedDatesAndTimes) {
  kx::DialogTemplate t = Dialog("When", 200, 100);
  t.items.push_back(Item(DATETIMEPICK_CLASS, "", kDate, 7, 7, 100, 14, WS_TABSTOP | DTS_SHORTDATEFORMAT));
  t.items.push_back(Item(DATETIMEPICK_CLASS, "", kTime, 7, 27, 100, 14, WS_TABSTOP | DTS_TIMEFORMAT));
  t.items.push_back(Item(WC_EDITA, "", kSpinEdit, 7, 47, 40, 14, WS_BORDER | WS_TABSTOP | ES_NUMBER));
  t.items.push_back(Item(UPDOWN_CLASS, "", kSpin, 47, 47, 10, 14,
                         UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_AUTOBUDDY));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 143, 79, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  RunDialog(t, PickerProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("When");
    HWND date = d.Control(dlg, kDate), time = d.Control(dlg, kTime);
    EXPECT_EQ(d.Text(date), "3/5/2004");
    EXPECT_EQ(d.Text(time), "10:20:30 AM");
    c.SetDateTime(date, SYSTEMTIME{2010, 12, 0, 31, 0, 0, 0, 0});
    EXPECT_EQ(d.Text(date), "12/31/2010");
    SYSTEMTIME got = c.GetDateTime(date);
    EXPECT_EQ(got.wYear, 2010);
    EXPECT_EQ(got.wDay, 31);
    EXPECT_EQ(got.wDayOfWeek, 5);  // a Friday
    c.SetDateTime(time, SYSTEMTIME{2004, 3, 0, 5, 23, 5, 9, 0});
    EXPECT_EQ(d.Text(time), "11:05:09 PM");
    // A date that does not exist is refused.
    SYSTEMTIME bad{2004, 2, 0, 30, 0, 0, 0, 0};
    EXPECT_FALSE(d.Send(date, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&bad)));
    // The up-down control steps its buddy and stops at the end of its range.
    HWND spin = d.Control(dlg, kSpin), edit = d.Control(dlg, kSpinEdit);
    EXPECT_EQ(d.Text(edit), "5");
    RECT sr;
    GetClientRect(spin, &sr);
    d.ClickAt(spin, sr.right / 2, 2);
    EXPECT_EQ(d.Text(edit), "6");
    d.Focus(edit);
    d.PressKey(VK_UP);
    d.PressKey(VK_UP);
    EXPECT_EQ(d.Text(edit), "7");
    EXPECT_EQ(d.Send(spin, UDM_GETPOS32), 7);
    d.Click(d.Control(dlg, IDOK));
  });
  EXPECT_GE(Events().With("change 100").size(), 3u);  // each typed digit that changes a field
  EXPECT_FALSE(Events().With("change 101").empty());
  EXPECT_EQ(Events().With("delta"), (Strings{"delta 5 1", "delta 6 1", "delta 7 1"}));
}

TEST_F(MiscControlsTest, ImageListsFromAMaskedStripDrawTransparentBlendedAndWithOverlays) {
  // A strip of two 16x16 images on a magenta mask colour: a red square and a small blue dot in a corner.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP strip = CreateCompatibleBitmap(screen, 32, 16);
  HGDIOBJ old = SelectObject(dc, strip);
  RECT all{0, 0, 32, 16}, sq{2, 2, 14, 14}, dot{16, 0, 20, 4};
  HBRUSH mag = CreateSolidBrush(RGB(255, 0, 255)), red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(dc, &all, mag);
  FillRect(dc, &sq, red);
  FillRect(dc, &dot, blue);
  SelectObject(dc, old);
  HIMAGELIST il = ImageList_Create(16, 16, ILC_MASK | ILC_COLOR24, 2, 1);
  EXPECT_EQ(ImageList_AddMasked(il, strip, RGB(255, 0, 255)), 0);
  EXPECT_EQ(ImageList_GetImageCount(il), 2);
  EXPECT_TRUE(ImageList_SetOverlayImage(il, 1, 1));
  HBITMAP target = CreateCompatibleBitmap(screen, 64, 16);
  old = SelectObject(dc, target);
  RECT t{0, 0, 64, 16};
  HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
  FillRect(dc, &t, green);
  // Transparent: the background shows around the square; with a background colour it is filled.
  ImageList_Draw(il, 0, dc, 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 128, 0));
  EXPECT_EQ(GetPixel(dc, 8, 8), RGB(255, 0, 0));
  ImageList_DrawEx(il, 0, dc, 16, 0, 16, 16, RGB(255, 255, 255), CLR_NONE, ILD_NORMAL);
  EXPECT_EQ(GetPixel(dc, 16, 0), RGB(255, 255, 255));
  // Blended half with the highlight colour; overlay 1 puts the dot on top.
  ImageList_DrawEx(il, 0, dc, 32, 0, 16, 16, CLR_NONE, RGB(0, 0, 0), ILD_TRANSPARENT | ILD_BLEND50 | INDEXTOOVERLAYMASK(1));
  COLORREF blended = GetPixel(dc, 40, 8);
  EXPECT_NEAR(GetRValue(blended), 127, 2);
  EXPECT_EQ(GetPixel(dc, 33, 1), RGB(0, 0, 255));
  // An icon taken from the list draws the same picture.
  HICON icon = ImageList_ExtractIcon(nullptr, il, 0);
  ASSERT_NE(icon, nullptr);
  DrawIconEx(dc, 48, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
  EXPECT_EQ(GetPixel(dc, 56, 8), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 48, 0), RGB(0, 128, 0));
  DestroyIcon(icon);
  SelectObject(dc, old);
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(strip), static_cast<HGDIOBJ>(target), static_cast<HGDIOBJ>(mag),
                    static_cast<HGDIOBJ>(red), static_cast<HGDIOBJ>(blue), static_cast<HGDIOBJ>(green)})
    DeleteObject(o);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  ImageList_Destroy(il);
}

namespace {

constexpr int kIp = 110;

INT_PTR CALLBACK IpProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (EndsOnButton(dlg, msg, wp)) return TRUE;
  if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == IPN_FIELDCHANGED) {
    auto* nm = reinterpret_cast<NMIPADDRESS*>(lp);
    Events().Add("field " + std::to_string(nm->iField) + " " + std::to_string(nm->iValue));
  }
  return msg == WM_INITDIALOG;
}

}  // namespace

TEST_F(MiscControlsTest, IpAddressTypedFieldByField) {
  kx::DialogTemplate t = Dialog("Server", 200, 60);
  t.items.push_back(Item(WC_IPADDRESS, "", kIp, 7, 7, 100, 14, WS_TABSTOP));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 143, 39, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  RunDialog(t, IpProc, [&](kx::UiDriver& d, kx::ControlDriver&) {
    HWND dlg = d.WaitForTitle("Server");
    HWND ip = d.Control(dlg, kIp);
    EXPECT_TRUE(d.Send(ip, IPM_ISBLANK));
    // Three digits move on by themselves; a dot ends a shorter field.
    d.SetText(ip, "10.0.12.255");
    EXPECT_EQ(d.Text(ip), "10.0.12.255");
    DWORD a = 0;
    EXPECT_EQ(d.Send(ip, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&a)), 4);
    EXPECT_EQ(a, static_cast<DWORD>(MAKEIPADDRESS(10, 0, 12, 255)));
    // A field keeps to its range; text that is no address is refused.
    d.Send(ip, IPM_SETRANGE, 0, MAKEIPRANGE(1, 100));
    EXPECT_EQ(d.Text(ip), "10.0.12.255");
    d.SetText(ip, "300");
    EXPECT_EQ(d.Text(ip), "100.0.0.0");
    EXPECT_FALSE(d.Send(ip, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("1.2.x.4")));
    d.Click(d.Control(dlg, IDOK));
  });
  Strings ev = Events().With("field");
  ASSERT_GE(ev.size(), 4u);
  EXPECT_EQ(ev.back(), "field 0 100");
}
