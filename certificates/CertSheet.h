// The certificate manager: one sheet with every certificate page (personal, smart card, directory, address-book
// store, options, LDAP, trusted roots, restricted trust). As manager it shows them and saves the certificate
// manager settings; in a selection role (m_bSelectionMode set by the creator, or the "Select Certificate" form of
// the second constructor) OK copies the current certificate of the active list page into m_ResultCertificate
// with its three texts. The constructors add the pages.
#pragma once

#include "app/BaseSheet.h"
#include "certificates/CertMgrPages.h"
#include "certificates/CertOptionsPages.h"
#include "certificates/TrustPages.h"
#include "engine/CapicomCertificate.h"
#include "engine/CertificateManagerSettings.h"

struct ICertFileComponent;

class CCertSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CCertSheet)
  DECLARE_SHEET_CLASS(CCertSheet)
 public:
  // The manager construction (the registry's factory).
  CCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  // The "Select Certificate" sheet; with the selection-sheet flag its reduced page set.
  CCertSheet(CWnd* pParentWnd, BYTE selectionSheet);
  ~CCertSheet() override;

  BOOL AddPages() override;
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  // Runs the PFX import wizard over this sheet.
  void ImportCertificate();

  // Set on OK in a selection role.
  CString m_strSubjectName;
  CString m_strIssuerName;
  CString m_strValidTo;
  // The certificate chosen in a selection role; empty when nothing was chosen.
  CCapicomCertificate m_ResultCertificate{kx::engine::EmptyTag{}};
  BYTE m_bSelectionMode = 0;
  // The personal page lists only certificates whose e-mail name is m_strMailFilter.
  BYTE m_bMailFilter = 0;
  BYTE m_bSelectionSheet = 0;
  CString m_strMailFilter;
  // 1: the sheet's own zoom outline on opening and closing; 0: the platform's caption animation.
  BYTE m_bOwnAnimation = 0;
  // Screen rectangle the sheet opens from and closes into; empty: no animation.
  RECT m_rcOrigin{0, 0, 0, 0};
  CCertificateManagerSettings m_Settings;

  CPersonalCertPage m_PersonalPage;
  CADirCertPage m_DirectoryPage;
  CCAStoreCertPage m_CAStorePage;
  CCertMgrOptionsPage m_OptionsPage;
  CCertLdapPage m_LdapPage;
  CSmartCertSorePage m_SmartcardPage;
  CTrustedRootPage m_TrustedRootPage;
  CRestrictedTrustPage m_RestrictedTrustPage;
  // The certificate file component; null when it cannot be made.
  ICertFileComponent* m_pFileComponent = nullptr;

  // Hands a file path to the component's method (7 certificate file, 13 and 14 revocation list files);
  // nothing without the component.
  void PassFileToComponent(int method, const CString& path);

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void Construct();
  // The list page that is active, or null for the pages without a certificate list.
  CCertListPage* ActiveListPage() const;
  bool m_bPagesAdded = false;
};

