// Window objects: message maps and default handling, reflection of control messages to subclassed controls,
// dialog data exchange with validation, temporary objects.
#include <atomic>
#include <string>
#include <thread>

#include "framework/fwtest.h"
#include "support/testroot.h"

using fwtest::FrameworkTest;

namespace {

// ---- reflection ----
class CReflectButton : public CButton {
 public:
  int reflected = 0;
  BOOL passOn = FALSE;

 protected:
  afx_msg BOOL OnClicked() {
    ++reflected;
    return !passOn;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectButton, CButton)
  ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
END_MESSAGE_MAP()

class CColorStatic : public CStatic {
 public:
  int colours = 0;
  UINT lastType = 99;
  CBrush brush{RGB(255, 255, 0)};

 protected:
  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor) {
    ++colours;
    lastType = nCtlColor;
    pDC->SetTextColor(RGB(255, 0, 0));
    pDC->SetBkColor(RGB(255, 255, 0));
    return brush;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColorStatic, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

class CReflectTab : public CTabCtrl {
 public:
  int changes = 0;

 protected:
  afx_msg void OnSelChange(NMHDR*, LRESULT* pResult) {
    ++changes;
    *pResult = 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectTab, CTabCtrl)
  ON_NOTIFY_REFLECT(TCN_SELCHANGE, OnSelChange)
END_MESSAGE_MAP()

class CReflectDialog : public CDialog {
 public:
  CReflectDialog() : CDialog(9300u) {}
  CReflectButton m_button;
  CColorStatic m_static;
  CReflectTab m_tab;
  std::atomic<int> parentClicks{0}, plainClicks{0}, parentSelChanges{0};

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, 1301, m_button);
    DDX_Control(pDX, 1302, m_static);
    DDX_Control(pDX, 1304, m_tab);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_tab.InsertItem(0, "One");
    m_tab.InsertItem(1, "Two");
    return TRUE;
  }
  afx_msg void OnParentClick() { ++parentClicks; }
  afx_msg void OnPlain() { ++plainClicks; }
  afx_msg void OnParentSel(NMHDR*, LRESULT*) { ++parentSelChanges; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectDialog, CDialog)
  ON_BN_CLICKED(1301, OnParentClick)
  ON_BN_CLICKED(1303, OnPlain)
  ON_NOTIFY(TCN_SELCHANGE, 1304, OnParentSel)
END_MESSAGE_MAP()

class Windows : public FrameworkTest {};

TEST_F(Windows, ControlMessagesAreReflectedToTheSubclassedControl) {
  CReflectDialog* dlg = nullptr;
  INT_PTR result = kx::RunWithUi(
      [&] {
        CReflectDialog d;
        dlg = &d;
        return d.DoModal();
      },
      [&](kx::UiDriver& drv) {
        HWND h = drv.WaitForTitle("Reflection");
        // The control's own handler takes the click; the parent does not see it.
        drv.Click(drv.Control(h, 1301));
        drv.Sync(h);
        EXPECT_EQ(dlg->m_button.reflected, 1);
        EXPECT_EQ(dlg->parentClicks.load(), 0);
        // An _EX handler that passes the message on lets the parent see it too.
        drv.Invoke(h, [&] { dlg->m_button.passOn = TRUE; });
        drv.Click(drv.Control(h, 1301));
        drv.Sync(h);
        EXPECT_EQ(dlg->m_button.reflected, 2);
        EXPECT_EQ(dlg->parentClicks.load(), 1);
        // A control without an object goes to the parent's map.
        drv.Click(drv.Control(h, 1303));
        drv.Sync(h);
        EXPECT_EQ(dlg->plainClicks.load(), 1);
        // Notifications: the tab control's own map answers its TCN_SELCHANGE.
        HWND tab = drv.Control(h, 1304);
        RECT item{};
        drv.Invoke(tab, [&] { SendMessage(tab, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)); });
        drv.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
        drv.Sync(h);
        EXPECT_EQ(dlg->m_tab.changes, 1);
        EXPECT_EQ(dlg->parentSelChanges.load(), 0);
        EXPECT_EQ(static_cast<int>(drv.Send(tab, TCM_GETCURSEL)), 1);
        // The static's colours come from its own reflected handler.
        std::string shot = fwtest::ShotPath("reflection");
        drv.SavePng(h, shot);
        EXPECT_GT(dlg->m_static.colours, 0);
        EXPECT_EQ(dlg->m_static.lastType, static_cast<UINT>(CTLCOLOR_STATIC));
        RECT sr{};
        HWND st = drv.Control(h, 1302);
        GetWindowRect(st, &sr);
        RECT wr{};
        GetWindowRect(h, &wr);
        EXPECT_EQ(fwtest::PngPixel(shot, sr.right - wr.left - 2, (sr.top + sr.bottom) / 2 - wr.top),
                  RGB(255, 255, 0));
        drv.Click(drv.Control(h, IDCANCEL));
        drv.WaitForGone(h);
      });
  EXPECT_EQ(result, IDCANCEL);
}

// ---- data exchange ----
class CExchangeDialog : public CDialog {
 public:
  CExchangeDialog() : CDialog(9200u) {}
  CString m_text = "abc";
  int m_number = 42;
  int m_check = 1;
  int m_radio = 1;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, 1001, m_text);
    DDV_MaxChars(pDX, m_text, 10);
    DDX_Text(pDX, 1002, m_number);
    DDV_MinMaxInt(pDX, m_number, 1, 99);
    DDX_Check(pDX, 1003, m_check);
    DDX_Radio(pDX, 1004, m_radio);
  }
};

TEST_F(Windows, DataExchangeRoundTripsAndValidates) {
  CExchangeDialog dlg;
  INT_PTR result = kx::RunWithUi([&] { return dlg.DoModal(); }, [&](kx::UiDriver& d) {
    HWND h = d.WaitForTitle("Exchange");
    HWND text = d.Control(h, 1001), number = d.Control(h, 1002);
    EXPECT_EQ(d.Text(text), "abc");
    EXPECT_EQ(d.Text(number), "42");
    EXPECT_TRUE(d.IsChecked(d.Control(h, 1003)));
    EXPECT_FALSE(d.IsChecked(d.Control(h, 1004)));
    EXPECT_TRUE(d.IsChecked(d.Control(h, 1005)));
    // Each refusal names the problem and leaves the focus on the control.
    struct Case {
      const char* number;
      const char* text;
      const char* message;
      HWND focus;
    };
    for (const Case& c : {Case{"x", "abc", "Please enter an integer.", number},
                          Case{"150", "abc", "Please enter an integer between 1 and 99.", number}}) {
      d.SetText(number, c.number);
      d.SetText(text, c.text);
      d.Click(d.Control(h, IDOK));
      EXPECT_EQ(d.AnswerMessageBox(IDOK), c.message);
      EXPECT_EQ(d.FocusedWindow(h), c.focus) << c.message;
    }
    // The length check limits typing; a longer text set by the program is refused on OK.
    d.SetText(number, "7");
    d.SetText(text, "abcdefghijkl");
    EXPECT_EQ(d.Text(text), "abcdefghij");
    d.Send(text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abcdefghijkl"));
    d.Click(d.Control(h, IDOK));
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "Enter no more than 10 characters.");
    EXPECT_EQ(d.FocusedWindow(h), text);
    d.SetText(text, "short");
    d.SetCheck(d.Control(h, 1003), false);
    d.Click(d.Control(h, 1006));
    d.Click(d.Control(h, IDOK));
    d.WaitForGone(h);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dlg.m_text, "short");
  EXPECT_EQ(dlg.m_number, 7);
  EXPECT_EQ(dlg.m_check, 0);
  EXPECT_EQ(dlg.m_radio, 2);
}

TEST_F(Windows, CancelKeepsTheMembers) {
  CExchangeDialog dlg;
  INT_PTR result = kx::RunWithUi([&] { return dlg.DoModal(); }, [&](kx::UiDriver& d) {
    HWND h = d.WaitForTitle("Exchange");
    d.SetText(d.Control(h, 1001), "changed");
    d.PressKey(VK_ESCAPE);
    d.WaitForGone(h);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dlg.m_text, "abc");
}

TEST_F(Windows, MissingTemplateIsMinusOne) {
  CDialog dlg(9999u);
  EXPECT_EQ(dlg.DoModal(), -1);
}

// ---- windows of our own: creation, default handling, self-deleting objects, temporary objects ----
class CCounterWnd : public CWnd {
 public:
  int creates = 0, timers = 0;
  bool* deleted = nullptr;
  ~CCounterWnd() override {
    if (deleted) *deleted = true;
  }

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT cs) {
    ++creates;
    return CWnd::OnCreate(cs);
  }
  afx_msg void OnTimer(UINT_PTR id) {
    ++timers;
    KillTimer(id);
  }
  void PostNcDestroy() override { delete this; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CCounterWnd, CWnd)
  ON_WM_CREATE()
  ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(WindowObjects, CreateDefaultHandlingAndSelfDelete) {
  bool deleted = false;
  auto* w = new CCounterWnd;
  w->deleted = &deleted;
  ASSERT_TRUE(w->CreateEx(0, AfxRegisterWndClass(0), "counter", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr));
  HWND h = w->m_hWnd;
  EXPECT_EQ(w->creates, 1);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), w);
  // Messages without a handler reach the class's procedure: the text is kept.
  ::SetWindowText(h, "renamed");
  CString t;
  w->GetWindowText(t);
  EXPECT_EQ(t, "renamed");
  w->SetTimer(5, 10);
  MSG msg;
  for (int i = 0; i < 200 && w->timers == 0; ++i) {
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    else Sleep(2);
  }
  EXPECT_EQ(w->timers, 1);
  ::DestroyWindow(h);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

TEST(WindowObjects, TemporaryObjectsLiveUntilIdle) {
  HWND h = CreateWindowEx(0, "Static", "plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  CWnd* temp = CWnd::FromHandle(h);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
  EXPECT_EQ(CWnd::FromHandle(h), temp);
  temp->m_nModalResult = 77;  // a mark that a new object would not have
  CWnd::DeleteTempMap();
  EXPECT_EQ(CWnd::FromHandle(h)->m_nModalResult, 0);
  // Attaching makes the window's object permanent; the window outlives the object's detach.
  CWnd owner;
  owner.Attach(h);
  EXPECT_EQ(CWnd::FromHandle(h), &owner);
  EXPECT_EQ(owner.Detach(), h);
  EXPECT_TRUE(IsWindow(h));
  DestroyWindow(h);
  CWnd::DeleteTempMap();
}

// ---- the library's hidden main window ----
class CHiddenMain : public CWnd {
 public:
  std::atomic<int> finished{0};
  WPARAM code = 0;

 protected:
  afx_msg LRESULT OnFinished(WPARAM wParam, LPARAM) {
    code = wParam;
    ++finished;
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CHiddenMain, CWnd)
  ON_MESSAGE(WM_USER + 1000, OnFinished)
END_MESSAGE_MAP()

TEST(WindowObjects, HiddenMainWindowWithEveryStyleBitButVisible) {
  // WS_CHILD together with WS_POPUP and no parent: a top-level window, hidden and disabled, that takes posted
  // messages through its message map and can own popups.
  CHiddenMain main;
  ASSERT_TRUE(main.CreateEx(0, "STATIC", "KX", 0xEFFFFFFF, 0, 0, 0, 0, nullptr, nullptr, nullptr));
  HWND h = main.GetSafeHwnd();
  EXPECT_EQ(main.GetStyle(), 0xEFFFFFFFu);
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_EQ(GetParent(h), nullptr);
  EXPECT_EQ(GetAncestor(h, GA_ROOT), h);
  HWND popup = CreateWindowEx(0, "Static", "owned", WS_POPUP, 0, 0, 10, 10, h, nullptr, nullptr, nullptr);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(GetWindow(popup, GW_OWNER), h);
  DestroyWindow(popup);
  std::thread worker([h] { PostMessage(h, WM_USER + 1000, 101, 0); });
  worker.join();
  MSG msg;
  for (int i = 0; i < 500 && !main.finished; ++i) {
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    else Sleep(2);
  }
  EXPECT_EQ(main.finished.load(), 1);
  EXPECT_EQ(main.code, 101u);
  main.DestroyWindow();
}

TEST(WindowObjects, DrawingWrappers) {
  CDC dc;
  ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
  CBitmap bm;
  ASSERT_TRUE(bm.CreateBitmap(20, 10, 1, 32, nullptr));
  CBitmap* old = dc.SelectObject(&bm);
  ASSERT_NE(old, nullptr);
  dc.FillSolidRect(0, 0, 20, 10, RGB(10, 20, 30));
  CPen pen(PS_SOLID, 1, RGB(200, 0, 0));
  CPen* oldPen = dc.SelectObject(&pen);
  dc.MoveTo(0, 5);
  dc.LineTo(20, 5);
  EXPECT_EQ(dc.GetPixel(3, 5), RGB(200, 0, 0));
  EXPECT_EQ(dc.GetPixel(3, 2), RGB(10, 20, 30));
  // What SelectObject handed back wraps the DC's previous object.
  EXPECT_EQ(dc.SelectObject(oldPen), &pen);
  EXPECT_EQ(CDC::FromHandle(dc.m_hDC), &dc);
  dc.SelectObject(old);
  BITMAP info{};
  EXPECT_GT(bm.GetBitmap(&info), 0);
  EXPECT_EQ(info.bmWidth, 20);
  CBitmap loaded;
  EXPECT_FALSE(loaded.LoadBitmap(424242u));
}

}  // namespace
