#include "certificates/PfxWizard.h"

IMPLEMENT_DYNAMIC(CPfxWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CPfxWizard, SHEET_CLASS(CBaseSheet), "Certificate Importer", 1, 1131, 1130)

CPfxWizard::CPfxWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 110;
}

BOOL CPfxWizard::AddPages() {
  // The wizard's own pages come before its finish page.
  AddTabPage(&m_FinishPage);
  return TRUE;
}
