#include "platform/mfc/menu.h"

#include <vector>

#include "platform/mfc/afxstate.h"
#include "platform/mfc/gdiobj.h"
#include "platform/mfc/wnd.h"

namespace {

kx::afx::HandleMap<HMENU, CMenu>& MenuMap() {
  static auto* m = new kx::afx::HandleMap<HMENU, CMenu>(
      [](HMENU h) {
        auto* menu = new CMenu;
        menu->m_hMenu = h;
        return menu;
      },
      [](CMenu* menu) { menu->m_hMenu = nullptr; });
  return *m;
}

// The attached menus, for finding the one an owner-drawn item belongs to.
std::mutex& AttachedLock() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<CMenu*>& Attached() {
  static auto* v = new std::vector<CMenu*>;
  return *v;
}

bool HasOwnerDrawItem(HMENU menu, UINT id, int depth = 0) {
  if (!menu || depth > 8) return false;
  int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    UINT state = ::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    if (state == static_cast<UINT>(-1)) continue;
    HMENU sub = ::GetSubMenu(menu, i);
    if (sub) {
      if (HasOwnerDrawItem(sub, id, depth + 1)) return true;
    } else if ((state & MF_OWNERDRAW) && ::GetMenuItemID(menu, i) == id) {
      return true;
    }
  }
  return false;
}

}  // namespace

IMPLEMENT_DYNCREATE(CMenu, CObject)

CMenu::~CMenu() { DestroyMenu(); }

HMENU CMenu::GetSafeHmenu() const { return kx::afx::SafeHmenu(this); }

CMenu* CMenu::FromHandle(HMENU hMenu) { return MenuMap().FromHandle(hMenu); }
CMenu* CMenu::FromHandlePermanent(HMENU hMenu) { return hMenu ? MenuMap().LookupPermanent(hMenu) : nullptr; }
void CMenu::DeleteTempMap() { kx::afx::DeleteTempObjects(); }

BOOL CMenu::Attach(HMENU hMenu) {
  if (!hMenu || m_hMenu) return FALSE;
  MenuMap().ForgetTemporary(hMenu);
  m_hMenu = hMenu;
  MenuMap().SetPermanent(hMenu, this);
  std::lock_guard<std::mutex> lock(AttachedLock());
  Attached().push_back(this);
  return TRUE;
}

HMENU CMenu::Detach() {
  HMENU h = m_hMenu;
  if (h) {
    MenuMap().RemovePermanent(h, this);
    std::lock_guard<std::mutex> lock(AttachedLock());
    auto& v = Attached();
    for (auto it = v.begin(); it != v.end(); ++it) {
      if (*it == this) {
        v.erase(it);
        break;
      }
    }
  }
  m_hMenu = nullptr;
  return h;
}

BOOL CMenu::CreateMenu() { return Attach(::CreateMenu()); }
BOOL CMenu::CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  return ::DestroyMenu(Detach());
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCSTR lpszNewItem) {
  return ::AppendMenu(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}
BOOL CMenu::InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem, LPCSTR lpszNewItem) {
  return ::InsertMenu(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem);
}
BOOL CMenu::ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem, LPCSTR lpszNewItem) {
  return ::ModifyMenu(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem);
}
BOOL CMenu::InsertMenuItem(UINT uItem, LPMENUITEMINFO lpMenuItemInfo, BOOL fByPos) {
  return ::InsertMenuItem(m_hMenu, uItem, fByPos, lpMenuItemInfo);
}
BOOL CMenu::GetMenuItemInfo(UINT uItem, LPMENUITEMINFO lpMenuItemInfo, BOOL fByPos) {
  return ::GetMenuItemInfo(m_hMenu, uItem, fByPos, lpMenuItemInfo);
}
BOOL CMenu::SetMenuItemInfo(UINT uItem, LPMENUITEMINFO lpMenuItemInfo, BOOL fByPos) {
  return ::SetMenuItemInfo(m_hMenu, uItem, fByPos, lpMenuItemInfo);
}
BOOL CMenu::RemoveMenu(UINT nPosition, UINT nFlags) { return ::RemoveMenu(m_hMenu, nPosition, nFlags); }
BOOL CMenu::DeleteMenu(UINT nPosition, UINT nFlags) { return ::DeleteMenu(m_hMenu, nPosition, nFlags); }
UINT CMenu::EnableMenuItem(UINT nIDEnableItem, UINT nEnable) {
  return static_cast<UINT>(::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable));
}
UINT CMenu::CheckMenuItem(UINT nIDCheckItem, UINT nCheck) {
  return static_cast<UINT>(::CheckMenuItem(m_hMenu, nIDCheckItem, nCheck));
}
BOOL CMenu::CheckMenuRadioItem(UINT nIDFirst, UINT nIDLast, UINT nIDItem, UINT nFlags) {
  return ::CheckMenuRadioItem(m_hMenu, nIDFirst, nIDLast, nIDItem, nFlags);
}
BOOL CMenu::SetDefaultItem(UINT uItem, BOOL fByPos) { return ::SetMenuDefaultItem(m_hMenu, uItem, fByPos); }
UINT CMenu::GetDefaultItem(UINT gmdiFlags, BOOL fByPos) {
  return ::GetMenuDefaultItem(m_hMenu, fByPos, gmdiFlags);
}
BOOL CMenu::SetMenuItemBitmaps(UINT nPosition, UINT nFlags, const CBitmap* pBmpUnchecked,
                               const CBitmap* pBmpChecked) {
  return ::SetMenuItemBitmaps(m_hMenu, nPosition, nFlags,
                              static_cast<HBITMAP>(kx::afx::SafeGdi(pBmpUnchecked)),
                              static_cast<HBITMAP>(kx::afx::SafeGdi(pBmpChecked)));
}

UINT CMenu::GetMenuItemCount() const { return static_cast<UINT>(::GetMenuItemCount(m_hMenu)); }
UINT CMenu::GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
UINT CMenu::GetMenuState(UINT nID, UINT nFlags) const { return ::GetMenuState(m_hMenu, nID, nFlags); }
int CMenu::GetMenuString(UINT nIDItem, LPSTR lpString, int nMaxCount, UINT nFlags) const {
  return ::GetMenuString(m_hMenu, nIDItem, lpString, nMaxCount, nFlags);
}
int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const {
  int n = ::GetMenuString(m_hMenu, nIDItem, nullptr, 0, nFlags);
  if (n <= 0) {
    rString.Empty();
    return 0;
  }
  n = ::GetMenuString(m_hMenu, nIDItem, rString.GetBuffer(n + 1), n + 1, nFlags);
  rString.ReleaseBuffer();
  return n;
}
CMenu* CMenu::GetSubMenu(int nPos) const { return FromHandle(::GetSubMenu(m_hMenu, nPos)); }

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect) {
  return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, kx::afx::SafeHwnd(pWnd), lpRect);
}

void CMenu::MeasureItem(LPMEASUREITEMSTRUCT) {}
void CMenu::DrawItem(LPDRAWITEMSTRUCT) {}

CMenu* CMenu::FindOwnerDrawMenu(UINT nItemID) {
  std::vector<CMenu*> menus;
  {
    std::lock_guard<std::mutex> lock(AttachedLock());
    menus = Attached();
  }
  // The most recently attached menu first: the one being tracked is usually the newest.
  for (auto it = menus.rbegin(); it != menus.rend(); ++it) {
    if (HasOwnerDrawItem((*it)->m_hMenu, nItemID)) return *it;
  }
  return nullptr;
}
