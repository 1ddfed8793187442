#include "settings/SettingsSheet.h"

#include "certificates/SelTrustPointsSheet.h"

namespace {
// Posted when the page may have changed, to follow it once it is the active one.
constexpr UINT kPageShown = WM_APP + 0x3E2;
}  // namespace

IMPLEMENT_DYNAMIC(CSettingsSheet, CBaseSheet)

BEGIN_MESSAGE_MAP(CSettingsSheet, CBaseSheet)
  ON_MESSAGE(kPageShown, OnPageShown)
END_MESSAGE_MAP()

CSettingsSheet::CSettingsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

void CSettingsSheet::CreatePageImageLists() { CreateSheetImageLists(*this); }

BOOL CSettingsSheet::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  BOOL handled = CBaseSheet::OnNotify(wParam, lParam, pResult);
  if (reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(TCN_SELCHANGE)) PostMessage(kPageShown);
  return handled;
}

BOOL CSettingsSheet::PreTranslateMessage(MSG* pMsg) {
  // The page keys turn the pages as well.
  if (pMsg->message == WM_KEYDOWN && GetSafeHwnd()) PostMessage(kPageShown);
  return CBaseSheet::PreTranslateMessage(pMsg);
}

LRESULT CSettingsSheet::OnPageShown(WPARAM, LPARAM) {
  CPropertyPage* page = GetActivePage();
  if (page && page->GetSafeHwnd()) {
    CRect now;
    page->GetWindowRect(&now);
    ScreenToClient(&now);
    WINDOWPOS pos{};
    pos.hwnd = page->GetSafeHwnd();
    pos.x = now.left;
    pos.y = now.top;
    pos.cx = now.Width();
    pos.cy = now.Height();
    KeepPageInTabs(page, &pos);
    if (pos.x != now.left || pos.y != now.top || pos.cx != now.Width() || pos.cy != now.Height())
      page->SetWindowPos(nullptr, pos.x, pos.y, pos.cx, pos.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  UpdateHeader();
  return 0;
}
