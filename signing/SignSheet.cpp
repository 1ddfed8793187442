#include "signing/SignSheet.h"

#include "app/ResString.h"
#include "platform/mfc/afxstate.h"

IMPLEMENT_DYNAMIC(CSignSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSignSheet, SHEET_CLASS(CBaseSheet), "Signer Wizard", 1, 129, 8255)
IMPLEMENT_DYNAMIC(CUniversalSignSheet, CSignSheet)
IMPLEMENT_SHEET_CLASS(CUniversalSignSheet, SHEET_CLASS(CSignSheet), "Universal Signer Wizard", 1, 129, 8255)

CSignSheet::CSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 101;
}

void CSignSheet::AddWizardPages(LPCSTR tabTitle) {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  // The operation pages (indexes 0 to 9) come before the finish page.
  CPropertyPage* pages[] = {&m_FinishPage};
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(144) : nullptr;
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add(tabTitle);
  }
}

BOOL CSignSheet::AddPages() {
  AddWizardPages(LoadResString(177));
  return TRUE;
}

CUniversalSignSheet::CUniversalSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 107;
}

BOOL CUniversalSignSheet::AddPages() {
  AddWizardPages("Universal Signer Wizard");
  return TRUE;
}
