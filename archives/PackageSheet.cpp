#include "archives/PackageSheet.h"

#include "app/ResString.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CPackageSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CPackageSheet, SHEET_CLASS(CBaseSheet), "Package Wizard", 1, 1129, 1128)

CPackageSheet::CPackageSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 109;
}

CPackageSheet::~CPackageSheet() { m_Worker.End(); }

BOOL CPackageSheet::AddPages() {
  AddWizardTabPages({&m_MainPage, &m_InfoPage, &m_FilesPage, &m_ProcessPage, &m_FinishPage}, 128, LoadResString(323));
  return TRUE;
}
