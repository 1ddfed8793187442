#include "signing/SignManagerSheet.h"

IMPLEMENT_DYNAMIC(CSignManagerSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSignManagerSheet, SHEET_CLASS(CBaseSheet), "Sign Man Forms", 1, 166, 8256)

CSignManagerSheet::CSignManagerSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 104;
}

BOOL CSignManagerSheet::AddPages() {
  // The wizard's own pages come before its finish page.
  AddTabPage(&m_FinishPage);
  return TRUE;
}
