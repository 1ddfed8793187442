#include "archives/CodeSignWizard.h"

IMPLEMENT_DYNAMIC(CCodeSignWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CCodeSignWizard, SHEET_CLASS(CBaseSheet), "Code Signer Wizard", 1, 1133, 1132)

CCodeSignWizard::CCodeSignWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 111;
}

BOOL CCodeSignWizard::AddPages() {
  // The wizard's own pages come before its finish page.
  AddTabPage(&m_FinishPage);
  return TRUE;
}
