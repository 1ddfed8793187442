#include "certificates/SelTrustPointsSheet.h"

#include "app/ResString.h"
#include "controls/ZoomRect.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CSelTrustPointsSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSelTrustPointsSheet, SHEET_CLASS(CBaseSheet), "Trust Points", 0, 0, 0)

BEGIN_MESSAGE_MAP(CSelTrustPointsSheet, CBaseSheet)
  ON_WM_CREATE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

void CreateSheetImageLists(CBaseSheet& sheet) {
  if (!sheet.m_imlTabs.GetSafeHandle()) sheet.m_imlTabs.Create(16, 16, ILC_COLOR, 1, 1);
  if (!sheet.m_imlPageIcons.GetSafeHandle()) sheet.m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
}

void AnimateSheetOpening(CBaseSheet& sheet, const RECT& origin, BYTE outline, const CREATESTRUCT* cs) {
  if (sheet.m_bHosted) return;
  ZoomOpen(CRect(origin), &sheet, cs, outline != 0);
}

void AnimateSheetClosing(CBaseSheet& sheet, const RECT& origin, BYTE outline) {
  if (sheet.m_bHosted) return;
  ZoomClose(CRect(origin), &sheet, outline != 0);
}

void KeepPageInTabs(CPropertyPage* page, WINDOWPOS* pos) {
  if (!pos || (pos->flags & SWP_NOMOVE)) return;
  CPropertySheet* sheet = page->GetParentSheet();
  CTabCtrl* tabs = sheet ? sheet->GetTabControl() : nullptr;
  if (!tabs || !tabs->GetSafeHwnd()) return;
  CRect area;
  tabs->GetWindowRect(&area);
  sheet->ScreenToClient(&area);
  RECT display{0, 0, area.Width(), area.Height()};
  tabs->SendMessage(TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  pos->x = area.left + display.left;
  pos->y = area.top + display.top;
  pos->cx = display.right - display.left;
  pos->cy = display.bottom - display.top;
  pos->flags &= ~static_cast<UINT>(SWP_NOSIZE);
}

CSelTrustPointsSheet::CSelTrustPointsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  EnableHeader(TRUE);
}

CSelTrustPointsSheet::~CSelTrustPointsSheet() { m_Certificates.RemoveAll(); }

BOOL CSelTrustPointsSheet::AddPages() {
  CreateSheetImageLists(*this);
  const bool backup = m_TrustPointsPage.m_bBackup != 0;
  AddPageWithIcon(&m_TrustPointsPage, 1077, LoadResString(backup ? 5308 : 5310), LoadResString(backup ? 5309 : 5311));
  m_astrTabTitles.Add(LoadResString(backup ? 5308 : 5310));
  return TRUE;
}

BOOL CSelTrustPointsSheet::OnInitDialog() {
  BOOL result = CBaseSheet::OnInitDialog();
  ModifyStyleEx(0, WS_EX_CONTROLPARENT);
  if (!m_bHosted) {
    for (int id : {IDOK, ID_APPLY_NOW, IDCANCEL, IDHELP})
      if (CWnd* button = GetDlgItem(id)) button->ShowWindow(SW_SHOW);
  }
  return result;
}

int CSelTrustPointsSheet::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CBaseSheet::OnCreate(lpCreateStruct) == -1) return -1;
  AnimateSheetOpening(*this, m_rcOrigin, m_bOwnAnimation, lpCreateStruct);
  return 0;
}

void CSelTrustPointsSheet::OnDestroy() {
  CWnd::OnDestroy();
  AnimateSheetClosing(*this, m_rcOrigin, m_bOwnAnimation);
}
