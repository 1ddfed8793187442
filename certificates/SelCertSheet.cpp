#include "certificates/SelCertSheet.h"

#include "controls/ZoomRect.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CSelCertSheet, CPropertySheet)

BEGIN_MESSAGE_MAP(CSelCertSheet, CPropertySheet)
  ON_WM_CREATE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CSelCertSheet::CSelCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CPropertySheet(caption, pParentWnd, selectPage) {
  AddPage(&m_PersonalPage);
  AddPage(&m_DirectoryPage);
  AddPage(&m_AddressBookPage);
  AddPage(&m_SmartcardPage);
}

CSelCertSheet::~CSelCertSheet() { m_Selected.RemoveAll(); }

BOOL CSelCertSheet::OnInitDialog() {
  BOOL result = CPropertySheet::OnInitDialog();
  if (m_bRestricted) {
    // The directory page, then the address-book page, which has moved up to its place.
    RemovePage(1);
    RemovePage(1);
  }
  return result;
}

int CSelCertSheet::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CPropertySheet::OnCreate(lpCreateStruct) == -1) return -1;
  ZoomOpen(CRect(m_rcOrigin), this, lpCreateStruct, m_bOwnAnimation != 0);
  return 0;
}

void CSelCertSheet::OnDestroy() {
  CPropertySheet::OnDestroy();
  ZoomClose(CRect(m_rcOrigin), this, m_bOwnAnimation != 0);
}
