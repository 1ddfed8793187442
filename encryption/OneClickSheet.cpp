#include "encryption/OneClickSheet.h"

IMPLEMENT_DYNAMIC(COneClickSheet, CSignSheet)
IMPLEMENT_SHEET_CLASS(COneClickSheet, SHEET_CLASS(CSignSheet), "One Click Forms", 1, 1010, 8255)

COneClickSheet::COneClickSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 105;
}

BOOL COneClickSheet::AddPages() {
  // The preset pages come before the finish page.
  AddTabPage(&m_FinishPage);
  return TRUE;
}
