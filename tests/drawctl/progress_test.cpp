// The progress bars: the text progress control's messages, text, segment mode and painting; the percent control
// with its text, its lower bound and its calls from a worker thread; the progress popup and its remembered place.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

#include "controls/PercentProgressCtrl.h"
#include "controls/ProgressPopupWnd.h"
#include "controls/TextProgressCtrl.h"
#include "drawctl.h"
#include "platform/win32/sync.h"

namespace {

using drawtest::ClientPixel;

class ProgressTest : public drawtest::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    host_ = drawtest::MakeHost(400, 200);
    ASSERT_NE(host_, nullptr);
  }
  // A text progress bar of 200 x 20 at (10, 10) of the host.
  void MakeBar(CTextProgressCtrl& bar, DWORD style = 0) {
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | style, CRect(10, 10, 210, 30), CWnd::FromHandle(host_), 100));
  }
  // Whether some pixel of the bar's client rectangle [x0, x1) has exactly this colour.
  static bool Shows(HWND hwnd, int x0, int x1, COLORREF colour) {
    UpdateWindow(hwnd);
    CRect client;
    GetClientRect(hwnd, &client);
    for (int x = x0; x < x1; ++x)
      for (int y = 0; y < client.Height(); ++y)
        if (ClientPixel(hwnd, x, y) == colour) return true;
    return false;
  }
  HWND host_ = nullptr;
};

TEST_F(ProgressTest, AnswersTheProgressBarMessages) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  EXPECT_EQ(bar.SendMessage(PBM_SETRANGE32, 50, 10), MAKELONG(0, 100));  // old bounds; new ones put in order
  int bounds[2] = {0, 0};
  EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(bounds)), 10);
  EXPECT_EQ(bounds[0], 10);
  EXPECT_EQ(bounds[1], 50);
  EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, FALSE, 0), 50);
  EXPECT_EQ(bar.GetPos(), 10);  // clamped into the new range
  EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 99), 10);
  EXPECT_EQ(bar.GetPos(), 50);
  EXPECT_EQ(bar.SendMessage(PBM_SETSTEP, 7), 10);
  EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 20), 50);
  EXPECT_EQ(bar.SendMessage(PBM_STEPIT), 20);
  EXPECT_EQ(bar.SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(-5)), 27);
  EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 22);
  EXPECT_EQ(bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 200)), MAKELONG(10, 50));
  EXPECT_EQ(bar.SendMessage(PBM_SETBARCOLOR, 0, RGB(1, 2, 3)), static_cast<LRESULT>(CLR_DEFAULT));
}

TEST_F(ProgressTest, TextShowsPercentageOrPositionInTheGivenFormat) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  bar.SetRange32(0, 200);
  bar.SetPos(37);
  struct Case {
    const char* format;
    DWORD mode;
    const char* text;
  } cases[] = {
      {"", PBS_SHOW_PERCENT, "18%"},  // 18.5 cut to a whole number
      {"", PBS_SHOW_POSITION, "37"},
      {"%d of 200", PBS_SHOW_POSITION, "37 of 200"},
      {"%d of 100", PBS_SHOW_PERCENT, "18 of 100"},
      {"%s %n %d%%", PBS_SHOW_PERCENT, "%s %n 18%"},  // only one number is ever read
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    // Without a format the mode bits alone choose the text.
    bar.SetTextFormat(c.format, c.mode);
    bar.ModifyStyle(PBS_TEXT_MODE_MASK, c.mode);
    bar.SetWindowText(c.format);
    ProgressDrawState state{nullptr, bar.GetStyle(), CRect(), 37, 0, 200};
    EXPECT_EQ(std::string(bar.FormatText(state, bar.GetTextFormat())), c.text) << c.format;
  }
}

TEST_F(ProgressTest, GetTextAlwaysTerminatesWithinTheBuffer) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  CPercentProgressCtrl percent;
  ASSERT_TRUE(percent.Create(WS_CHILD | WS_VISIBLE, CRect(10, 40, 210, 60), CWnd::FromHandle(host_), 101));
  bar.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("%d done"));
  percent.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("7 done"));
  for (CWnd* w : {static_cast<CWnd*>(&bar), static_cast<CWnd*>(&percent)}) {
    char buffer[8];
    memset(buffer, 'X', sizeof buffer);
    const LRESULT n = w->SendMessage(WM_GETTEXT, 4, reinterpret_cast<LPARAM>(buffer));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(std::string(buffer), std::string(w == &bar ? "%d " : "7 d"));
    EXPECT_EQ(buffer[4], 'X') << "nothing written past the buffer";
    EXPECT_EQ(w->SendMessage(WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
  }
}

TEST_F(ProgressTest, SegmentRunsAlongTheBarAndTurnsAtTheEnd) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  bar.SetSegmentStyle(TRUE);
  ASSERT_TRUE(bar.GetStyle() & PBS_SEGMENT);
  int head = 0;
  for (int step = 1; step <= 14; ++step) {
    bar.OffsetPos(10);
    head += 10;
    EXPECT_EQ(bar.GetPos(), std::min(head, 100)) << "step " << step;
    EXPECT_EQ(bar.GetSegmentTail(), std::max(head - 40, 0)) << "step " << step;
  }
  EXPECT_FALSE(bar.GetStyle() & PBS_REVERSE);
  bar.OffsetPos(10);  // the head passes 140: the segment starts again from the other end
  EXPECT_EQ(bar.GetPos(), 10);
  EXPECT_EQ(bar.GetSegmentTail(), 0);
  EXPECT_TRUE(bar.GetStyle() & PBS_REVERSE);
}

TEST_F(ProgressTest, EmptyAndHugeRangesPaintWithoutFault) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  bar.SendMessage(PBM_SETBARCOLOR, 0, RGB(255, 0, 0));
  bar.SendMessage(CCM_SETBKCOLOR, 0, RGB(255, 255, 255));
  bar.ModifyStyle(0, PBS_SHOW_PERCENT);
  bar.SetRange32(5, 5);
  bar.SetPos(5);
  bar.StartAnimation(10, 3);
  bar.SendMessage(WM_TIMER, CTextProgressCtrl::kAnimationTimer);  // the animation modulus is 0 here
  bar.StopAnimation();
  EXPECT_EQ(bar.GetAnimationOffset(), 0);
  EXPECT_FALSE(Shows(bar, 0, 200, RGB(255, 0, 0))) << "an empty range shows an empty bar";
  ProgressDrawState state{nullptr, bar.GetStyle(), CRect(), 5, 5, 5};
  EXPECT_EQ(std::string(bar.FormatText(state, "")), "0%");

  // The whole 32-bit range: the products are worked out in 64 bits.
  bar.SetTextFormat(nullptr, 0);
  bar.SetRange32(INT_MIN, INT_MAX);
  bar.SetPos(INT_MAX - 1);
  EXPECT_EQ(ClientPixel(bar, 198, 10), RGB(255, 0, 0));
  bar.SetPos(0);
  EXPECT_EQ(ClientPixel(bar, 98, 10), RGB(255, 0, 0));
  EXPECT_EQ(ClientPixel(bar, 102, 10), RGB(255, 255, 255));

  CPercentProgressCtrl percent;
  ASSERT_TRUE(percent.Create(WS_CHILD | WS_VISIBLE, CRect(10, 40, 210, 60), CWnd::FromHandle(host_), 101));
  percent.SetColours(RGB(0, 0, 255), RGB(255, 255, 255));
  percent.SetShowText(FALSE);
  percent.SetPosition(100);
  EXPECT_EQ(ClientPixel(percent.m_hWnd, 150, 10), RGB(0, 0, 255));
  percent.SetRange(9, 9);
  EXPECT_EQ(percent.SetPosition(9), 100);
  EXPECT_EQ(std::string(percent.GetText()), "0.00 %");
  // An empty range shows the background, not what the last paint left.
  percent.Invalidate();
  EXPECT_EQ(ClientPixel(percent.m_hWnd, 150, 10), RGB(255, 255, 255));
  percent.SetRange(INT_MIN, INT_MAX);
  percent.SetPosition(INT_MAX);
  percent.UpdateWindow();
  EXPECT_EQ(std::string(percent.GetText()), "100.00 %");
}

TEST_F(ProgressTest, SolidBarWithTextInTwoColours) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  CFont font;
  font.CreateFont(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, "Arial");
  bar.SetFont(&font);
  bar.SendMessage(PBM_SETBARCOLOR, 0, RGB(200, 0, 0));  // wParam 0: one colour
  bar.SendMessage(CCM_SETBKCOLOR, 0, RGB(255, 255, 255));
  bar.SetBarTextColour(RGB(255, 255, 0));
  bar.SetTextColour(RGB(0, 0, 255));
  bar.SetTextFormat("%d percent done", PBS_SHOW_PERCENT);
  bar.SetPos(50);
  bar.UpdateWindow();
  kx::RenderWindowToPng(host_, frametest::Shot("text-progress").c_str());
  // Left of the text the bar is solid; the text is in the bar text colour over the bar, the other beside it.
  EXPECT_EQ(ClientPixel(bar, 2, 2), RGB(200, 0, 0));
  EXPECT_EQ(ClientPixel(bar, 197, 2), RGB(255, 255, 255));
  EXPECT_TRUE(Shows(bar, 0, 100, RGB(255, 255, 0)));
  EXPECT_FALSE(Shows(bar, 0, 100, RGB(0, 0, 255)));
  EXPECT_TRUE(Shows(bar, 100, 200, RGB(0, 0, 255)));
  EXPECT_FALSE(Shows(bar, 100, 200, RGB(255, 255, 0)));
}

TEST_F(ProgressTest, TooltipFollowsThePosition) {
  CTextProgressCtrl bar;
  MakeBar(bar);
  bar.SetTooltipFormat("%d items", PBS_SHOW_POSITION);
  ASSERT_NE(bar.GetToolTip().GetSafeHwnd(), nullptr);
  bar.SetPos(42);
  CString tip;
  bar.GetToolTip().GetText(tip, &bar, 1);
  EXPECT_EQ(std::string(tip), "42 items");
}

TEST_F(ProgressTest, PercentTextCountsFromTheLowerBound) {
  CPercentProgressCtrl percent;
  ASSERT_TRUE(percent.Create(WS_CHILD | WS_VISIBLE, CRect(10, 40, 210, 60), CWnd::FromHandle(host_), 101));
  percent.Start(0);
  EXPECT_EQ(std::string(percent.GetText()), "") << "Start(0) leaves the control as it was";
  percent.Start(200);
  EXPECT_EQ(percent.SetPosition(37), 0);
  EXPECT_EQ(std::string(percent.GetText()), "18.50 %");
  percent.SetColours(RGB(0, 128, 0), RGB(255, 255, 255));
  percent.SetShowText(FALSE);
  percent.Invalidate();
  EXPECT_EQ(ClientPixel(percent, 36, 10), RGB(0, 128, 0));  // 18.5 % of 200 pixels
  EXPECT_EQ(ClientPixel(percent, 37, 10), RGB(255, 255, 255));
  percent.SetRange(100, 300);
  percent.SetPosition(150);
  EXPECT_EQ(std::string(percent.GetText()), "25.00 %");
}

// Records on which thread the control's calls from other threads are carried out.
class CWatchedPercentCtrl : public CPercentProgressCtrl {
 public:
  std::atomic<int> foreignCalls{0};
  DWORD owner = 0;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == RegisterWindowMessage("KxPercentProgressCall") && GetCurrentThreadId() != owner) ++foreignCalls;
    return CPercentProgressCtrl::WindowProc(message, wParam, lParam);
  }
};

TEST_F(ProgressTest, WorkerCallsAreCarriedOutByTheOwnerThread) {
  CWatchedPercentCtrl percent;
  percent.owner = GetCurrentThreadId();
  ASSERT_TRUE(percent.Create(WS_CHILD | WS_VISIBLE, CRect(10, 40, 210, 60), CWnd::FromHandle(host_), 101));
  std::atomic<bool> done{false};
  std::atomic<DWORD> workerThread{0};
  std::thread worker([&] {
    workerThread = GetCurrentThreadId();
    percent.Start(1000);
    for (int i = 1; i <= 1000; ++i) percent.SetPosition(i);
    percent.Hide(TRUE);
    done = true;
  });
  // The owner keeps answering while the worker works.
  while (!done) {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  worker.join();
  EXPECT_NE(workerThread.load(), percent.owner);
  EXPECT_EQ(percent.foreignCalls.load(), 0);
  EXPECT_EQ(percent.GetPosition(), 1000);
  EXPECT_EQ(std::string(percent.GetText()), "100.00 %");
  EXPECT_FALSE(percent.IsWindowVisible());
}

// ---------------------------------------------------------------------------------------------------------------

class PopupTest : public ProgressTest {
 protected:
  void SetUp() override {
    ProgressTest::SetUp();
    owner_ = CWnd::FromHandle(host_);
    SetWindowPos(host_, nullptr, 300, 300, 400, 200, SWP_NOZORDER);
  }
  CWnd* owner_ = nullptr;
};

TEST_F(PopupTest, DisablesItsOwnerAndRemembersItsPlace) {
  CWinApp* app = AfxGetApp();
  ASSERT_NE(app, nullptr);
  {
    auto* popup = new CProgressPopupWnd(owner_, "Progress");
    ASSERT_TRUE(popup->Create("Progress"));
    EXPECT_FALSE(IsWindowEnabled(host_));
    EXPECT_TRUE(popup->IsWindowEnabled());
    popup->SetRange(0, 10, 2);
    popup->StepIt();
    EXPECT_EQ(popup->SetPos(5), 2);
    popup->SetWindowPos(nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    delete popup;
  }
  EXPECT_TRUE(IsWindowEnabled(host_));
  EXPECT_EQ(static_cast<int>(app->GetProfileInt("Settings", "X", -1)), 123);
  EXPECT_EQ(static_cast<int>(app->GetProfileInt("Settings", "Y", -1)), 77);

  CProgressPopupWnd again(owner_, "Progress");
  CRect r;
  again.GetWindowRect(&r);
  EXPECT_EQ(r.TopLeft(), CPoint(123, 77));

  // A remembered place off the screen is not used: the popup is centred on its owner.
  again.DestroyWindow();
  app->WriteProfileInt("Settings", "X", 2000);
  CProgressPopupWnd centred(owner_, "Progress");
  centred.GetWindowRect(&r);
  CRect o;
  owner_->GetWindowRect(&o);
  EXPECT_NEAR(r.CenterPoint().x, o.CenterPoint().x, 1);
  EXPECT_NEAR(r.CenterPoint().y, o.CenterPoint().y, 1);
}

TEST_F(PopupTest, CancelClosesAtOnceAndTheOwnerWaitsForTheObject) {
  auto* popup = new CProgressPopupWnd(owner_, "Progress");
  ASSERT_TRUE(popup->Create("Progress"));
  AfxGetApp()->WriteProfileInt("Settings", "X", 5);
  popup->SendMessage(WM_COMMAND, MAKEWPARAM(CProgressPopupWnd::kCancelId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(popup->GetDlgItem(CProgressPopupWnd::kCancelId)->GetSafeHwnd()));
  EXPECT_TRUE(popup->IsCancelled());
  EXPECT_EQ(popup->GetSafeHwnd(), nullptr);
  EXPECT_FALSE(IsWindowEnabled(host_));
  EXPECT_EQ(popup->SetPos(3), 0) << "without a window the stored position comes back";
  delete popup;
  EXPECT_TRUE(IsWindowEnabled(host_));
  EXPECT_EQ(static_cast<int>(AfxGetApp()->GetProfileInt("Settings", "X", -1)), 5) << "no window, no place saved";
}

TEST_F(PopupTest, AnAlreadyDisabledOwnerStaysAsItWasAndLongTextIsCut) {
  EnableWindow(host_, FALSE);
  {
    CProgressPopupWnd popup(owner_, "Progress");
    ASSERT_TRUE(popup.Create("Progress"));
    EXPECT_TRUE(popup.IsWindowEnabled());
    const std::string path(2000, 'p');
    popup.SetText("Processing %s\n\nPlease wait.", path.c_str());
    CString text;
    popup.GetDlgItem(CProgressPopupWnd::kTextId)->GetWindowText(text);
    EXPECT_EQ(text.GetLength(), CProgressPopupWnd::kMaxText);
    kx::RenderWindowToPng(popup, frametest::Shot("progress-popup").c_str());
  }
  EXPECT_FALSE(IsWindowEnabled(host_));
}

TEST_F(ProgressTest, StatusBarProgressTakesItsShareOfThePaneBesideTheText) {
  CWinApp* app = AfxGetApp();
  ASSERT_NE(app, nullptr);
  CWnd* const formerMain = app->m_pMainWnd;
  CStatusBar status;
  ASSERT_TRUE(status.Create(CWnd::FromHandle(host_)));
  const UINT panes[] = {ID_SEPARATOR};
  ASSERT_TRUE(status.SetIndicators(panes, 1));
  CStatusProgressCtrl bar(0, 50);
  ASSERT_TRUE(bar.Create(WS_CHILD, CRect(0, 0, 10, 10), &status, 1));
  app->m_pMainWnd = nullptr;
  EXPECT_FALSE(bar.Reposition()) << "no main window, no status bar";
  app->m_pMainWnd = CWnd::FromHandle(host_);
  CRect pane;
  status.GetItemRect(0, &pane);
  ASSERT_GT(pane.Width(), 100);
  auto placed = [&] {
    CRect r;
    bar.GetWindowRect(&r);
    status.ScreenToClient(&r);
    return r;
  };
  EXPECT_EQ(bar.SetPos(10), 0);
  EXPECT_TRUE(bar.IsWindowVisible()) << "a position shows the bar";
  ASSERT_TRUE(bar.Reposition());
  const int inset = pane.Height() / 10;
  EXPECT_EQ(placed(), CRect(pane.left, pane.top + inset, pane.right - pane.Width() / 2, pane.bottom - inset));
  // A pane text pushes the bar right by its width and four spaces; the share is taken of what is left.
  bar.SetText("Files");
  int textWidth = 0, spaceWidth = 0;
  {
    CClientDC dc(&status);
    CFont* old = dc.SelectObject(status.GetFont());
    textWidth = dc.GetTextExtent("Files").cx;
    spaceWidth = dc.GetTextExtent(" ").cx;
    if (old) dc.SelectObject(old);
  }
  const int left = pane.left + textWidth + 4 * spaceWidth;
  EXPECT_EQ(placed(), CRect(left, pane.top + inset, pane.right - (pane.right - left) / 2, pane.bottom - inset));
  EXPECT_EQ(std::string(status.GetPaneText(0)), "Files");
  app->m_pMainWnd = formerMain;
}

}  // namespace
