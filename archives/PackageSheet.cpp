#include "archives/PackageSheet.h"

#include "app/ResString.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CPackageSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CPackageSheet, SHEET_CLASS(CBaseSheet), "Package Wizard", 1, 1129, 1128)

CPackageSheet::CPackageSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 109;
}

CPackageSheet::~CPackageSheet() { m_Worker.Wait(); }

BOOL CPackageSheet::AddPages() {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  const CString title = LoadResString(323);
  HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(128) : nullptr;
  CPropertyPage* pages[] = {&m_MainPage, &m_InfoPage, &m_FilesPage, &m_ProcessPage, &m_FinishPage};
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add(title);
  }
  return TRUE;
}
