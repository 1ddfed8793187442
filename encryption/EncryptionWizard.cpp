#include "encryption/EncryptionWizard.h"

IMPLEMENT_DYNAMIC(CEncryptionWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CEncryptionWizard, SHEET_CLASS(CBaseSheet), "Certificate Importer", 1, 1127, 8260)

CEncryptionWizard::CEncryptionWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 108;
}

BOOL CEncryptionWizard::AddPages() {
  // The wizard's pages 0 to 3 come before the finish page, the one-click page after it.
  AddTabPage(&m_FinishPage);
  return TRUE;
}
