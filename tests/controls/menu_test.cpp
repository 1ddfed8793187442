// Popup menus: the "#32768" window seen by a call hook before it shows, choices by mouse and keyboard with
// WM_COMMAND to the owner, owner-drawn items, WM_PRINT, a picture of an open menu.
#include <string>
#include <vector>

#include "controls/ctltest.h"
#include "platform/ui/menu.h"
#include "platform/win32/sync.h"
#include "support/testroot.h"

using namespace ctltest;
using Strings = std::vector<std::string>;

namespace {

constexpr int kMenuButton = 300;
constexpr UINT kOpen = 401, kProps = 402, kDrawn = 403, kFirst = 411, kSecond = 412;

HHOOK g_hook = nullptr;
WNDPROC g_menuProc = nullptr;
HWND g_subclassed = nullptr;
UINT g_trackFlags = TPM_LEFTALIGN | TPM_RIGHTBUTTON;

std::string ClassOf(HWND h) {
  char cls[32] = {0};
  GetClassName(h, cls, sizeof cls);
  return cls;
}

// The first menu window is subclassed as a menu-style library does it, to watch what reaches the window.
LRESULT CALLBACK MenuSubclass(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  WNDPROC old = g_menuProc;
  if (msg == WM_PRINT) {
    LRESULT r = CallWindowProc(old, h, msg, wp, lp);
    RECT c;
    GetClientRect(h, &c);
    POINT o{0, 0};
    ClientToScreen(h, &o);
    RECT w;
    GetWindowRect(h, &w);
    // The picture has the frame and, inside it, the menu's background.
    COLORREF inside = GetPixel(reinterpret_cast<HDC>(wp), o.x - w.left + c.right - 2, o.y - w.top + 2);
    Events().Add(std::string("print ") + (inside == GetSysColor(COLOR_MENU) ? "menu colour" : "other colour"));
    return r;
  }
  if (msg == WM_KEYDOWN && wp == VK_ESCAPE) Events().Add("escape seen");
  if (msg == WM_SHOWWINDOW && !wp) {
    SetWindowLongPtr(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    g_subclassed = nullptr;
    Events().Add("unsubclassed");
  }
  return CallWindowProc(old, h, msg, wp, lp);
}

LRESULT CALLBACK CallHook(int code, WPARAM wp, LPARAM lp) {
  auto* cwp = reinterpret_cast<CWPSTRUCT*>(lp);
  if (code == HC_ACTION && ClassOf(cwp->hwnd) == "#32768") {
    const char* name = cwp->message == WM_CREATE ? "create" : cwp->message == MN_SIZEWINDOW ? "0x1e2"
                       : cwp->message == WM_PRINT  ? "WM_PRINT"
                                                   : nullptr;
    if (name) Events().Add(std::string("hook ") + name + (IsWindowVisible(cwp->hwnd) ? " shown" : " hidden"));
    if (cwp->message == WM_CREATE && !g_subclassed) {
      g_subclassed = cwp->hwnd;
      g_menuProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtr(cwp->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuSubclass)));
    }
  }
  return CallNextHookEx(g_hook, code, wp, lp);
}

INT_PTR CALLBACK OwnerProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      g_hook = SetWindowsHookEx(WH_CALLWNDPROC, CallHook, nullptr, GetCurrentThreadId());
      g_subclassed = nullptr;
      return TRUE;
    case WM_DESTROY:
      UnhookWindowsHookEx(g_hook);
      return FALSE;
    case WM_INITMENUPOPUP:
      Events().Add("init popup " + std::to_string(GetMenuItemCount(reinterpret_cast<HMENU>(wp))));
      return TRUE;
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (mis->CtlType != ODT_MENU) return FALSE;
      Events().Add("measure " + std::to_string(mis->itemID) + " data " + std::to_string(mis->itemData));
      mis->itemWidth = 90;
      mis->itemHeight = 22;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      if (dis->CtlType != ODT_MENU) return FALSE;
      Events().Add("draw " + std::to_string(dis->itemID) + " data " + std::to_string(dis->itemData) +
                   ((dis->itemState & ODS_SELECTED) ? " selected" : "") + " h " +
                   std::to_string(dis->rcItem.bottom - dis->rcItem.top));
      HBRUSH b = CreateSolidBrush((dis->itemState & ODS_SELECTED) ? RGB(0, 128, 0) : RGB(200, 230, 200));
      FillRect(dis->hDC, &dis->rcItem, b);
      DeleteObject(b);
      SetBkMode(dis->hDC, TRANSPARENT);
      RECT t = dis->rcItem;
      t.left += 20;
      DrawText(dis->hDC, "Drawn by the owner", -1, &t, DT_SINGLELINE | DT_VCENTER);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == kMenuButton && HIWORD(wp) == BN_CLICKED) {
        HMENU more = CreatePopupMenu();
        AppendMenu(more, MF_STRING, kFirst, "Fir&st");
        AppendMenu(more, MF_STRING, kSecond, "Seco&nd");
        HMENU menu = CreatePopupMenu();
        AppendMenu(menu, MF_STRING, kOpen, "&Open\tCtrl+O");
        AppendMenu(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenu(menu, MF_STRING | MF_GRAYED, kProps, "&Properties");
        AppendMenu(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "&More");
        MENUITEMINFOA mi{};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
        mi.fType = MFT_OWNERDRAW;
        mi.wID = kDrawn;
        mi.dwItemData = 0x1234;
        InsertMenuItem(menu, 4, TRUE, &mi);
        CheckMenuItem(menu, kOpen, MF_CHECKED);
        RECT br;
        GetWindowRect(reinterpret_cast<HWND>(lp), &br);
        BOOL r = TrackPopupMenu(menu, g_trackFlags, br.left, br.bottom, 0, dlg, nullptr);
        Events().Add("returned " + std::to_string(r));
        DestroyMenu(menu);
        return TRUE;
      }
      if (LOWORD(wp) >= kOpen && LOWORD(wp) <= kSecond) Events().Add("command " + std::to_string(LOWORD(wp)));
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dlg, LOWORD(wp));
      return TRUE;
    default:
      return FALSE;
  }
}

kx::DialogTemplate OwnerDialog() {
  kx::DialogTemplate t = Dialog("Owner", 200, 100);
  t.items.push_back(Item(WC_BUTTONA, "Menu", kMenuButton, 7, 7, 60, 14, WS_TABSTOP));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 143, 79, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  return t;
}

void RunOwner(const Script& script) {
  RunDialog(OwnerDialog(), OwnerProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Owner");
    script(d, c);
    d.WaitUntil([&] { return !Events().With("returned").empty(); }, "the menu to end");
    d.Click(d.Control(dlg, IDOK));
  });
}

}  // namespace

class MenuTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    g_trackFlags = TPM_LEFTALIGN | TPM_RIGHTBUTTON;
  }
};

TEST_F(MenuTest, TheHookCatchesTheMenuWindowBeforeItShowsAndTheMouseChooses) {
  RunOwner([&](kx::UiDriver& d, kx::ControlDriver& c) {
    d.Click(d.ControlByText(d.WaitForTitle("Owner"), "Menu"));
    HWND menu = c.WaitForMenu();
    EXPECT_EQ(c.MenuItems(menu), (Strings{"Open", "", "Properties", "More", ""}));
    c.ChooseMenuPath({"More", "Second"});
  });
  Strings hook = Events().With("hook");
  ASSERT_GE(hook.size(), 6u);
  // Each menu window (the menu and its submenu) is seen at WM_CREATE and 0x01E2, then printed, all hidden.
  EXPECT_EQ(Strings(hook.begin(), hook.begin() + 6),
            (Strings{"hook create hidden", "hook 0x1e2 hidden", "hook WM_PRINT hidden", "hook create hidden",
                     "hook 0x1e2 hidden", "hook WM_PRINT hidden"}));
  EXPECT_EQ(Events().With("print"), Strings{"print menu colour"});
  EXPECT_EQ(Events().With("unsubclassed"), Strings{"unsubclassed"});
  EXPECT_EQ(Events().With("init popup"), (Strings{"init popup 5", "init popup 2"}));
  EXPECT_EQ(Events().With("measure"), Strings{"measure 403 data 4660"});
  EXPECT_FALSE(Events().With("draw 403 data 4660 h 22").empty());
  EXPECT_EQ(Events().With("command"), Strings{"command 412"});
  EXPECT_EQ(Events().With("returned"), Strings{"returned 1"});
}

TEST_F(MenuTest, TheKeyboardMovesOverSeparatorsOpensSubmenusAndChooses) {
  RunOwner([&](kx::UiDriver& d, kx::ControlDriver& c) {
    d.Click(d.ControlByText(d.WaitForTitle("Owner"), "Menu"));
    c.WaitForMenu();
    d.PressKey(VK_DOWN);  // Open
    d.PressKey(VK_DOWN);  // Properties (the separator is passed over)
    d.PressKey(VK_DOWN);  // More
    d.PressKey(VK_DOWN);  // the owner-drawn item, drawn selected
    d.WaitUntil([&] { return !Events().With("draw 403 data 4660 selected").empty(); }, "the owner-drawn item lit");
    d.PressKey(VK_UP);
    d.PressKey(VK_RIGHT);  // opens More with its first item lit
    d.PressKey(VK_DOWN);
    d.PressKey(VK_RETURN);
  });
  EXPECT_EQ(Events().With("command"), Strings{"command 412"});
}

TEST_F(MenuTest, MnemonicsChooseAGrayedItemDoesNothingAndEscapeCancels) {
  RunOwner([&](kx::UiDriver& d, kx::ControlDriver& c) {
    d.Click(d.ControlByText(d.WaitForTitle("Owner"), "Menu"));
    c.WaitForMenu();
    d.Type("m");  // opens More
    d.Type("s");  // First
  });
  EXPECT_EQ(Events().With("command"), Strings{"command 411"});
  Events().Clear();
  RunOwner([&](kx::UiDriver& d, kx::ControlDriver& c) {
    d.Click(d.ControlByText(d.WaitForTitle("Owner"), "Menu"));
    HWND menu = c.WaitForMenu();
    c.ChooseMenuItem("Properties");  // grayed: the menu stays open
    EXPECT_TRUE(IsWindowVisible(menu));
    d.PressKey(VK_ESCAPE);
  });
  EXPECT_TRUE(Events().With("command").empty());
  EXPECT_EQ(Events().With("returned"), Strings{"returned 0"});
  EXPECT_EQ(Events().With("escape seen"), Strings{"escape seen"});
}

TEST_F(MenuTest, AClickOutsideTheMenuCancelsIt) {
  g_trackFlags = TPM_RETURNCMD;
  RunOwner([&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Owner");
    d.Click(d.ControlByText(dlg, "Menu"));
    HWND menu = c.WaitForMenu();
    // The menu holds the capture: a press anywhere else ends it.
    RECT mr;
    GetWindowRect(menu, &mr);
    d.ClickAt(menu, -30, (mr.bottom - mr.top) / 2);
  });
  EXPECT_EQ(Events().With("returned"), Strings{"returned 0"});
}

TEST_F(MenuTest, AnOpenMenuRendersToAPicture) {
  std::string png = PngPath("popup-menu.png");
  RunOwner([&](kx::UiDriver& d, kx::ControlDriver& c) {
    d.Click(d.ControlByText(d.WaitForTitle("Owner"), "Menu"));
    HWND menu = c.WaitForMenu();
    d.PressKey(VK_DOWN);
    HMENU h = reinterpret_cast<HMENU>(d.Send(menu, MN_GETHMENU));
    RECT item;
    ASSERT_TRUE(GetMenuItemRect(nullptr, h, 0, &item));
    POINT p{item.right - 4, (item.top + item.bottom) / 2};
    ScreenToClient(menu, &p);
    EXPECT_EQ(Pixel(d, menu, p.x, p.y), GetSysColor(COLOR_HIGHLIGHT));
    d.SavePng(menu, png);
    d.PressKey(VK_ESCAPE);
  });
  EXPECT_EQ(kxtest::ReadFile(png).substr(1, 3), "PNG");
}
