// The popup-menu hook and its styles: which windows it restyles, what it gives back, a hook the system refuses,
// the frame geometry, and the owner-drawn menu's measures and glyphs.
#include <gtest/gtest.h>

#include <thread>

#include "controls/MenuHook.h"
#include "controls/NewMenu.h"
#include "drawctl.h"
#include "platform/ui/driver.h"
#include "platform/ui/menu.h"
#include "platform/win32/system.h"

namespace {

HWND MakeMenuWindow(const char* cls = "#32768") {
  return CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE, cls, "", WS_POPUP | WS_BORDER,
                        50, 50, 120, 80, nullptr, nullptr, nullptr, nullptr);
}

bool Subclassed(HWND hwnd) { return FindMenuWindowRecord(hwnd) && GetPropA(hwnd, "OldMenuProc"); }

class MenuTest : public drawtest::FrameTest {};

TEST_F(MenuTest, HookCatchesThisThreadsMenuWindowsOnly) {
  ASSERT_NE(CMenuHook::GetHook(), nullptr) << "installed when the library's objects were built";
  ASSERT_NE(GetCurrentMenuStyle(), nullptr);
  EXPECT_EQ(GetCurrentMenuStyle()->m_nId, 2);

  HWND mine = MakeMenuWindow();
  ASSERT_NE(mine, nullptr);
  EXPECT_TRUE(Subclassed(mine));
  EXPECT_EQ(GetWindowLongA(mine, GWL_STYLE) & WS_BORDER, 0);
  EXPECT_EQ(GetWindowLongA(mine, GWL_EXSTYLE) & (WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE), 0);

  HWND other = nullptr;
  std::thread([&] {
    other = MakeMenuWindow();
    EXPECT_FALSE(Subclassed(other)) << "a menu window of another thread";
    DestroyWindow(other);
  }).join();

  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "#32768x";
  RegisterClassA(&wc);
  HWND longer = MakeMenuWindow("#32768x");
  ASSERT_NE(longer, nullptr);
  EXPECT_FALSE(Subclassed(longer));
  EXPECT_FALSE(SubclassMenuWindow(longer, FALSE));

  // Hiding gives the window back its procedure and styles; a second hide changes nothing.
  ShowWindow(mine, SW_SHOWNA);
  ShowWindow(mine, SW_HIDE);
  EXPECT_FALSE(Subclassed(mine));
  EXPECT_EQ(GetWindowLongA(mine, GWL_STYLE) & (WS_BORDER | WS_VISIBLE), WS_BORDER);
  EXPECT_TRUE(GetWindowLongA(mine, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  ShowWindow(mine, SW_SHOWNA);
  ShowWindow(mine, SW_HIDE);
  EXPECT_EQ(GetWindowLongA(mine, GWL_STYLE) & WS_BORDER, WS_BORDER);
  DestroyWindow(mine);
  DestroyWindow(longer);
}

TEST_F(MenuTest, WindowCaughtWhenSizedKeepsItsVisibilityAndAPropertyWinsOverTheHook) {
  CMenuHook::RemoveHook();
  HWND shown = MakeMenuWindow();
  HWND marked = MakeMenuWindow();
  ASSERT_TRUE(CMenuHook::InstallHook(&MenuCallWndProc));
  ShowWindow(shown, SW_SHOWNA);
  SendMessage(shown, MN_SIZEWINDOW, 0, 0);
  ASSERT_TRUE(Subclassed(shown));
  EXPECT_TRUE(FindMenuWindowRecord(shown)->flags & MenuWindowRecord::kAlreadyShown);
  DestroyWindow(shown);
  EXPECT_EQ(FindMenuWindowRecord(shown), nullptr) << "destroying gives the record back";

  SetPropA(marked, "OldMenuProc", reinterpret_cast<HANDLE>(1));
  EXPECT_FALSE(SubclassMenuWindow(marked, TRUE));
  EXPECT_EQ(FindMenuWindowRecord(marked), nullptr);
  RemovePropA(marked, "OldMenuProc");
  DestroyWindow(marked);
}

TEST_F(MenuTest, RefusedHookIsLoggedAndMenusKeepTheSystemLook) {
  CMenuHook::RemoveHook();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(CMenuHook::InstallHook(nullptr));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("could not be installed"), std::string::npos) << log;
  HWND plain = MakeMenuWindow();
  EXPECT_FALSE(Subclassed(plain));
  EXPECT_TRUE(GetWindowLongA(plain, GWL_STYLE) & WS_BORDER);
  DestroyWindow(plain);
  ASSERT_TRUE(CMenuHook::InstallHook(&MenuCallWndProc));
}

TEST_F(MenuTest, FrameInsetsAndPlacementFollowTheShadowSetting) {
  SystemParametersInfoA(SPI_SETDROPSHADOW, 0, nullptr, 0);
  CMenuStyle own(9, CMenuStyle::kFrameEffects, &CNewMenu::MeasureStandard, &CNewMenu::DrawStandard,
                 &CNewMenu::DrawTitle);
  SystemParametersInfoA(SPI_SETDROPSHADOW, 0, reinterpret_cast<PVOID>(1), 0);
  CMenuStyle system(8, CMenuStyle::kFrameEffects, &CNewMenu::MeasureStandard, &CNewMenu::DrawStandard,
                    &CNewMenu::DrawTitle);
  RECT r{0, 0, 100, 100};
  system.OnNcCalcSize(nullptr, &r);
  EXPECT_EQ(CRect(r), CRect(2, 2, 98, 98));
  r = RECT{0, 0, 100, 100};
  own.OnNcCalcSize(nullptr, &r);
  EXPECT_EQ(CRect(r), CRect(2, 2, 95, 94));
  WINDOWPOS pos{nullptr, nullptr, 10, 20, 100, 50, 0};
  system.OnWindowPosChanging(nullptr, &pos);
  EXPECT_EQ(pos.cx, 98);
  EXPECT_EQ(pos.y, 19);
  SystemParametersInfoA(SPI_SETDROPSHADOW, 0, nullptr, 0);
  pos = WINDOWPOS{nullptr, nullptr, 10, 20, 100, 50, SWP_NOMOVE};
  own.OnWindowPosChanging(nullptr, &pos);
  EXPECT_EQ(pos.cx, 102);
  EXPECT_EQ(pos.cy, 52);
  EXPECT_EQ(pos.y, 20) << "a call that does not move the window is not made to";
  SystemParametersInfoA(SPI_SETDROPSHADOW, 0, reinterpret_cast<PVOID>(1), 0);
  CMenuStyle none(7, 0, &CNewMenu::MeasureStandard, &CNewMenu::DrawStandard, &CNewMenu::DrawTitle);
  r = RECT{0, 0, 100, 100};
  none.OnNcCalcSize(nullptr, &r);
  EXPECT_EQ(CRect(r), CRect(0, 0, 100, 100));
}

TEST_F(MenuTest, PrintGivesTheRingsAndTheClientShifted) {
  HWND menu = MakeMenuWindow();
  ASSERT_TRUE(Subclassed(menu));
  drawtest::MemoryCanvas canvas(200, 200);
  SendMessage(menu, WM_PRINT, reinterpret_cast<WPARAM>(canvas.dc()->GetSafeHdc()), PRF_NONCLIENT | PRF_CLIENT);
  EXPECT_EQ(canvas.Pixel(0, 0), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(canvas.Pixel(1, 1), GetSysColor(COLOR_WINDOW));  // the flat style's inner ring
  EXPECT_EQ(canvas.Pixel(2, 2), GetSysColor(COLOR_MENU));    // the client area, erased, at (2, 2)
  DestroyWindow(menu);
}

TEST_F(MenuTest, TrackedMenuIsRestyledAndGivenBack) {
  CWnd* owner = CWnd::FromHandle(drawtest::MakeHost(300, 200));
  CNewMenu menu;
  menu.AppendItem(MF_STRING, 101, "&Open\tCtrl+O");
  menu.AppendItem(MF_STRING | MF_CHECKED, 102, "Checked");
  menu.AppendItem(MF_SEPARATOR, 0, nullptr);
  menu.AppendItem(MF_STRING | MF_GRAYED, 103, "Greyed");
  menu.AppendItem(MF_STRING, SC_CLOSE, "Close");
  HWND shown = nullptr;
  bool restyled = false;
  const INT_PTR chosen = kx::RunWithUiHere(
      [&] { return static_cast<INT_PTR>(menu.TrackPopupMenu(TPM_RETURNCMD, 150, 150, owner)); },
      [&](kx::UiDriver& d) {
        kx::WindowQuery q;
        q.className = "#32768";
        shown = d.WaitForWindow(q);
        d.Invoke(shown, [&] {
          restyled = Subclassed(shown) && !(GetWindowLongA(shown, GWL_STYLE) & WS_BORDER);
          CRect client;
          GetClientRect(shown, &client);
          RECT item{};
          // The items keep their room inside the restyled frame.
          GetMenuItemRect(nullptr, menu.GetSafeHmenu(), 4, &item);
          CRect window;
          GetWindowRect(shown, &window);
          restyled = restyled && item.bottom <= window.bottom - 2;
        });
        d.SavePng(shown, frametest::Shot("restyled-menu"));
        d.PressKey(VK_DOWN);
        d.PressKey(VK_DOWN);
        // The last key ends the menu and with it the UI thread's loop: it is posted without waiting.
        d.Post(shown, WM_KEYDOWN, VK_RETURN);
      });
  EXPECT_TRUE(restyled);
  EXPECT_EQ(chosen, 102);
  EXPECT_EQ(FindMenuWindowRecord(shown), nullptr);
}

TEST_F(MenuTest, MeasuresFollowTheGlyphsAndTheText) {
  CNewMenu menu;
  CNewMenuItemData* plain = menu.AppendItem(MF_STRING, 1, "Open file");
  CNewMenuItemData* tab = menu.AppendItem(MF_STRING, 2, "Open file\tX");
  CNewMenuItemData* noTab = menu.AppendItem(MF_STRING, 3, "Open fileX");
  CNewMenuItemData* separator = menu.AppendItem(MF_SEPARATOR, 0, "ignored text");
  CNewMenuItemData* title = menu.AppendItem(MF_SEPARATOR, 0, "Title", CNewMenuItemData::kTitle | CNewMenuItemData::kVertical);
  CNewMenuItemData* lined = menu.AppendItem(MF_SEPARATOR, 0, "Title",
                                            CNewMenuItemData::kTitle | CNewMenuItemData::kVertical | CNewMenuItemData::kLines);
  CNewMenuItemData* close = menu.AppendItem(MF_STRING, SC_CLOSE + 1, "X");
  CNewMenuItemData* after = menu.AppendItem(MF_STRING, 7, "A much longer item after it");
  auto measure = [&](CNewMenuItemData* data, bool flat) {
    MEASUREITEMSTRUCT m{ODT_MENU, 0, data->m_nCmd, 0, 0, reinterpret_cast<ULONG_PTR>(data)};
    if (flat) menu.MeasureFlat(&m, FALSE);
    else menu.MeasureStandard(&m, FALSE);
    return m;
  };
  ASSERT_EQ(GetSystemMetrics(SM_CYMENU), 19);
  EXPECT_EQ(measure(plain, false).itemHeight, 20u);
  EXPECT_EQ(measure(plain, true).itemHeight, 24u);
  menu.m_nGlyphWidth = menu.m_nGlyphHeight = 8;
  EXPECT_EQ(measure(plain, false).itemHeight, 19u);
  EXPECT_EQ(measure(plain, true).itemHeight, 19u);
  EXPECT_EQ(measure(tab, false).itemWidth, measure(noTab, false).itemWidth + 15);
  EXPECT_EQ(measure(separator, false).itemHeight, 3u);
  EXPECT_EQ(measure(lined, false).itemWidth, measure(title, false).itemWidth + 6);
  EXPECT_EQ(measure(title, false).itemHeight, 0u);
  const MEASUREITEMSTRUCT system = measure(close, false);
  EXPECT_EQ(system.itemWidth, measure(after, false).itemWidth);
  EXPECT_EQ(system.itemHeight, 19u);
  EXPECT_EQ(system.itemData, reinterpret_cast<ULONG_PTR>(close));
}

TEST(MenuRoutines, GlyphsColoursAndWindowsKinds) {
  EXPECT_EQ(SystemGlyph(0xF060), 'r');
  EXPECT_EQ(SystemGlyph(0xF061), 'r');
  EXPECT_EQ(SystemGlyph(0xF120), '2');
  EXPECT_EQ(SystemGlyph(0xF020), '0');
  EXPECT_EQ(SystemGlyph(0xF030), '1');
  EXPECT_EQ(SystemGlyph(0xF100), 0);
  EXPECT_EQ(DarkenColor(15, RGB(255, 128, 0)), RGB(240, 120, 0));
  EXPECT_EQ(ShadeSelection(RGB(100, 200, 10)), RGB(70, 140, 46));
  EXPECT_EQ(BlendColors86(RGB(255, 255, 255), RGB(0, 0, 0)), RGB(219, 219, 219));
  EXPECT_EQ(BlendColors70(RGB(100, 0, 0), RGB(0, 100, 0)), RGB(70, 30, 0));
  struct Case {
    DWORD platform, major, minor;
    int kind;
  } cases[] = {{2, 5, 1, 7}, {2, 5, 0, 6}, {2, 4, 0, 5}, {2, 5, 2, 1}, {2, 6, 0, 1}, {2, 3, 51, 1},
               {1, 4, 10, 3}, {1, 4, 90, 4}, {1, 4, 0, 2}, {1, 3, 10, 0}};
  for (const Case& c : cases) {
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwPlatformId = c.platform;
    v.dwMajorVersion = c.major;
    v.dwMinorVersion = c.minor;
    kx::SetVersionForTests(&v);
    EXPECT_EQ(GetWindowsKind(), c.kind) << c.major << "." << c.minor;
  }
  kx::SetVersionForTests(nullptr);
  EXPECT_EQ(GetWindowsKind(), 7);
  EXPECT_TRUE(IsKnownWindowsKind());
}

TEST(MenuDrawing, SelectedItemTextColoursDifferByStyle) {
  CNewMenu menu;
  CNewMenuItemData* item = menu.AppendItem(MF_STRING, 5, "MMMM WWWW");
  auto draw = [&](bool flat, UINT state, COLORREF wanted, int onlyX = -1) {
    drawtest::MemoryCanvas canvas(200, 24);
    DRAWITEMSTRUCT d{ODT_MENU, 0, 5, ODA_DRAWENTIRE, state, nullptr, canvas.dc()->GetSafeHdc(), {0, 0, 200, 24},
                     reinterpret_cast<ULONG_PTR>(item)};
    if (flat) menu.DrawFlat(&d, FALSE);
    else menu.DrawStandard(&d, FALSE);
    if (onlyX >= 0) return canvas.Pixel(onlyX, 12) == wanted;
    for (int x = 40; x < 200; ++x)
      for (int y = 0; y < 24; ++y)
        if (canvas.Pixel(x, y) == wanted) return true;
    return false;
  };
  EXPECT_TRUE(draw(false, ODS_SELECTED, GetSysColor(COLOR_HIGHLIGHTTEXT)));
  EXPECT_TRUE(draw(true, ODS_SELECTED, GetSysColor(COLOR_MENUTEXT)));
  EXPECT_TRUE(draw(false, ODS_SELECTED, GetSysColor(COLOR_HIGHLIGHT), 190));
  EXPECT_TRUE(draw(true, ODS_SELECTED, BlendColors70(GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_HIGHLIGHT)), 190))
      << "the flat selection is a blended box";
  EXPECT_TRUE(draw(false, ODS_SELECTED | ODS_GRAYED, GetSysColor(COLOR_MENU)));
}

}  // namespace
