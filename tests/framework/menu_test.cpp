// CMenu: building and reading a popup menu through the wrapper, temporary wrappers of submenus, and owner-drawn
// items measured and drawn by the CMenu object the owner window's CWnd hands them to.
#include <gtest/gtest.h>

#include "platform/mfc/afxwin.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/driver.h"

namespace {

TEST(Menus, BuildReadAndTemporaryWrappers) {
  CMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  CMenu sub;
  ASSERT_TRUE(sub.CreatePopupMenu());
  sub.AppendMenu(MF_STRING, 21, "Inner");
  menu.AppendMenu(MF_STRING, 11, "&Open");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(sub.Detach()), "More");
  EXPECT_EQ(menu.GetMenuItemCount(), 3u);
  EXPECT_EQ(menu.GetMenuItemID(0), 11u);
  CString text;
  menu.GetMenuString(11, text, MF_BYCOMMAND);
  EXPECT_EQ(text, "&Open");
  menu.CheckMenuItem(11, MF_CHECKED | MF_BYCOMMAND);
  menu.EnableMenuItem(11, MF_GRAYED | MF_BYCOMMAND);
  UINT state = menu.GetMenuState(11, MF_BYCOMMAND);
  EXPECT_TRUE(state & MF_CHECKED);
  EXPECT_TRUE(state & MF_GRAYED);
  CMenu* more = menu.GetSubMenu(2);
  ASSERT_NE(more, nullptr);
  EXPECT_EQ(CMenu::FromHandlePermanent(more->m_hMenu), nullptr);  // a temporary wrapper
  EXPECT_EQ(menu.GetSubMenu(2), more);
  EXPECT_EQ(more->GetMenuItemID(0), 21u);
  EXPECT_EQ(CMenu::FromHandle(menu.m_hMenu), &menu);
  CMenu::DeleteTempMap();
  HMENU h = menu.m_hMenu;
  menu.DestroyMenu();
  EXPECT_FALSE(IsMenu(h));
}

class COwnerMenu : public CMenu {
 public:
  int measured = 0, drawn = 0;
  UINT lastDrawnId = 0;
  void MeasureItem(LPMEASUREITEMSTRUCT mis) override {
    ++measured;
    mis->itemWidth = 120;
    mis->itemHeight = 24;
  }
  void DrawItem(LPDRAWITEMSTRUCT dis) override {
    ++drawn;
    lastDrawnId = dis->itemID;
    CDC* dc = CDC::FromHandle(dis->hDC);
    dc->FillSolidRect(&dis->rcItem, (dis->itemState & ODS_SELECTED) ? RGB(0, 0, 128) : RGB(230, 230, 255));
  }
};

TEST(Menus, OwnerDrawnItemsGoToTheMenuObject) {
  COwnerMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  menu.AppendMenu(MF_OWNERDRAW, 31, reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(0x1234)));
  menu.AppendMenu(MF_STRING, 32, "Plain");
  std::vector<std::string> items;
  INT_PTR chosen = kx::RunWithUi(
      [&]() -> INT_PTR {
        CWnd owner;
        if (!owner.CreateEx(0, AfxRegisterWndClass(0), "Menu owner", WS_POPUP | WS_VISIBLE, 20, 20, 200, 100, nullptr,
                            nullptr))
          return -1;
        INT_PTR id = menu.TrackPopupMenu(TPM_RETURNCMD | TPM_LEFTALIGN, 40, 40, &owner);
        owner.DestroyWindow();
        return id;
      },
      [&](kx::UiDriver& d) {
        kx::ControlDriver c(d);
        HWND shown = c.WaitForMenu();
        items = c.MenuItems(shown);
        c.ChooseMenuItem("Plain");
      });
  EXPECT_EQ(chosen, 32);
  EXPECT_EQ(items.size(), 2u);
  EXPECT_EQ(menu.measured, 1);
  EXPECT_GE(menu.drawn, 1);
  EXPECT_EQ(menu.lastDrawnId, 31u);
}

}  // namespace
