// CMenu: the framework's wrapper of a menu handle (popup menus built in code and tracked with
// TrackPopupMenu; the window system draws no menu bars). Owner-drawn items are measured and drawn by the
// menu object's MeasureItem/DrawItem when the menu is attached to a CMenu: the owner window's CWnd passes
// WM_MEASUREITEM/WM_DRAWITEM of type ODT_MENU on to it.
#pragma once

#include "platform/mfc/cobject.h"
#include "platform/mfc/cstring.h"
#include "platform/ui/menu.h"

class CWnd;

class KXAPI CMenu : public CObject {
  DECLARE_DYNCREATE(CMenu)
 public:
  CMenu() = default;
  ~CMenu() override;  // destroys an attached menu
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  HMENU m_hMenu = nullptr;
  operator HMENU() const { return m_hMenu; }  // NOLINT
  HMENU GetSafeHmenu() const;
  // A wrapper of any menu handle: the attached CMenu, or a temporary one deleted when the thread idles.
  static CMenu* FromHandle(HMENU hMenu);
  static CMenu* FromHandlePermanent(HMENU hMenu);
  static void DeleteTempMap();
  BOOL Attach(HMENU hMenu);
  HMENU Detach();

  BOOL CreateMenu();
  BOOL CreatePopupMenu();
  BOOL DestroyMenu();

  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr);
  BOOL InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr);
  BOOL ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr);
  BOOL InsertMenuItem(UINT uItem, LPMENUITEMINFO lpMenuItemInfo, BOOL fByPos = FALSE);
  BOOL GetMenuItemInfo(UINT uItem, LPMENUITEMINFO lpMenuItemInfo, BOOL fByPos = FALSE);
  BOOL SetMenuItemInfo(UINT uItem, LPMENUITEMINFO lpMenuItemInfo, BOOL fByPos = FALSE);
  BOOL RemoveMenu(UINT nPosition, UINT nFlags);
  BOOL DeleteMenu(UINT nPosition, UINT nFlags);
  UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
  UINT CheckMenuItem(UINT nIDCheckItem, UINT nCheck);
  BOOL CheckMenuRadioItem(UINT nIDFirst, UINT nIDLast, UINT nIDItem, UINT nFlags);
  BOOL SetDefaultItem(UINT uItem, BOOL fByPos = FALSE);
  UINT GetDefaultItem(UINT gmdiFlags, BOOL fByPos = FALSE);
  BOOL SetMenuItemBitmaps(UINT nPosition, UINT nFlags, const class CBitmap* pBmpUnchecked,
                          const class CBitmap* pBmpChecked);

  UINT GetMenuItemCount() const;
  UINT GetMenuItemID(int nPos) const;
  UINT GetMenuState(UINT nID, UINT nFlags) const;
  int GetMenuString(UINT nIDItem, LPSTR lpString, int nMaxCount, UINT nFlags) const;
  int GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const;
  CMenu* GetSubMenu(int nPos) const;

  // Shows the menu at a screen point for the owner window; see ::TrackPopupMenu.
  BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr);

  // Owner-drawn items (MF_OWNERDRAW): overridden by menus that draw their items.
  virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  // The attached menu (or one of its submenus) that has an owner-drawn item with this id.
  static CMenu* FindOwnerDrawMenu(UINT nItemID);
};
