// The certificate selection sheet: the user gathers certificates from the personal store, the directory, the
// address-book store and the smart card into one list, m_Selected, which the creator reads after OK. A plain
// property sheet, made on the creator's stack with (caption, parent, start page).
//
// The creator may set, before DoModal: m_bRestricted (only the personal and smart-card pages, for a signing
// choice), m_rcOrigin (screen rectangle the sheet zooms open from and back into; empty: no animation),
// m_bOwnAnimation (the sheet's own outline zoom instead of the window manager's), m_Selected (certificates
// already chosen, shown as selected on every page) and m_Use (what the certificates are chosen for: recipients
// are offered without certificate authorities and taken only when they can decrypt and pass the validity
// verdict; signers only when their key may sign).
#pragma once

#include "certificates/CertSelPages.h"
#include "certificates/CertificateArray.h"
#include "certificates/CertificateRows.h"
#include "platform/mfc/propsheet.h"

class CSelCertSheet : public CPropertySheet {
  DECLARE_DYNAMIC(CSelCertSheet)
 public:
  CSelCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CSelCertSheet() override;

  CPersonalCertSelPage m_PersonalPage;
  CADCertSelPage m_DirectoryPage;
  CABCertSelPage m_AddressBookPage;
  CSmartcardSelPage m_SmartcardPage;
  // In the order the certificates were added.
  CCertificateArray m_Selected;
  BYTE m_bRestricted = 0;
  CertificateUse m_Use = CertificateUse::Any;
  BYTE m_bOwnAnimation = 0;
  RECT m_rcOrigin{0, 0, 0, 0};

  BOOL OnInitDialog() override;

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};
