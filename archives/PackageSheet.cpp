#include "archives/PackageSheet.h"

IMPLEMENT_DYNAMIC(CPackageSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CPackageSheet, SHEET_CLASS(CBaseSheet), "Package Wizard", 1, 1129, 1128)

CPackageSheet::CPackageSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 109;
}

BOOL CPackageSheet::AddPages() {
  // The wizard's own pages come before its finish page.
  AddTabPage(&m_FinishPage);
  return TRUE;
}
