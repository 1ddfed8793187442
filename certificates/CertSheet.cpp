#include "certificates/CertSheet.h"

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "certificates/CertDetailsDlg.h"
#include "certificates/CertFileComponent.h"
#include "certificates/SelTrustPointsSheet.h"
#include "engine/CapicomObjectSet.h"
#include "platform/com/bstr.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CCertSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CCertSheet, SHEET_CLASS(CBaseSheet), "Certificate Manager", 0, 0, 0)

BEGIN_MESSAGE_MAP(CCertSheet, CBaseSheet)
  ON_WM_CREATE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

namespace {

// What the library offers beside its sheets when it loads: the engine's certificate dialog and the
// certificate file component.
// Registered while the library is loaded; the engine and the class registry outlive it, so both
// registrations are undone before its code goes away.
struct CertificateServices {
  CertificateServices() {
    RegisterCertificateDisplay();
    RegisterCertFileComponent();
  }
  ~CertificateServices() {
    UnregisterCertFileComponent();
    UnregisterCertificateDisplay();
  }
} g_services;

}  // namespace

CCertSheet::CCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage) : CBaseSheet(caption, pParentWnd, selectPage) {
  Construct();
}

CCertSheet::CCertSheet(CWnd* pParentWnd, BYTE selectionSheet) : CBaseSheet("Select Certificate", pParentWnd, 0) {
  m_bSelectionSheet = selectionSheet;
  Construct();
}

void CCertSheet::Construct() {
  EnableHeader(TRUE);
  AddPages();
  m_strMailFilter = "";
}

CCertSheet::~CCertSheet() {
  try {
    if (m_pFileComponent) m_pFileComponent->Release();
  } catch (...) {
    // The sheet is going away: the component is let go as far as it goes, nothing to show.
  }
  m_pFileComponent = nullptr;
}

BOOL CCertSheet::AddPages() {
  if (m_bPagesAdded) return TRUE;
  m_bPagesAdded = true;
  CreateSheetImageLists(*this);
  struct Entry {
    CPropertyPage* page;
    UINT icon, caption, description;
    bool inSelectionSheet;
  };
  const Entry entries[] = {
      {&m_PersonalPage, 141, 5257, 5263, true},      {&m_SmartcardPage, 1102, 5258, 5264, true},
      {&m_DirectoryPage, 1017, 5259, 5265, true},    {&m_CAStorePage, 1016, 5260, 5266, true},
      {&m_OptionsPage, 1918, 5261, 5267, false},     {&m_LdapPage, 171, 5262, 5268, false},
      {&m_TrustedRootPage, 1083, 5271, 5269, true},  {&m_RestrictedTrustPage, 1088, 5272, 5270, false},
  };
  for (const Entry& e : entries) {
    if (m_bSelectionSheet && !e.inSelectionSheet) continue;
    AddPageWithIcon(e.page, e.icon, LoadResString(e.caption), LoadResString(e.description));
    m_astrTabTitles.Add(LoadResString(e.caption));
  }
  return TRUE;
}

BOOL CCertSheet::OnInitDialog() {
  BOOL result = CBaseSheet::OnInitDialog();
  ModifyStyleEx(0, WS_EX_CONTROLPARENT);
  if (!m_pFileComponent) {
    ICertFileComponent* component = nullptr;
    if (FAILED(CoCreateInstance(CLSID_CertFileComponent, nullptr, kx::engine::kCreationContext,
                                KX_IIDOF(ICertFileComponent), reinterpret_cast<void**>(&component))))
      component = nullptr;
    m_pFileComponent = component;
  }
  if (m_bSelectionMode) {
    // Without the directory and address-book store pages (the second moves up to the first's place).
    RemovePage(2);
    RemovePage(2);
  } else if (!m_bHosted) {
    for (int id : {IDOK, ID_APPLY_NOW, IDCANCEL, IDHELP})
      if (CWnd* button = GetDlgItem(id)) button->ShowWindow(SW_SHOW);
  }
  return result;
}

CCertListPage* CCertSheet::ActiveListPage() const {
  CPropertyPage* active = GetActivePage();
  CPropertyPage* lists[] = {&const_cast<CCertSheet*>(this)->m_PersonalPage,
                            &const_cast<CCertSheet*>(this)->m_SmartcardPage,
                            &const_cast<CCertSheet*>(this)->m_DirectoryPage,
                            &const_cast<CCertSheet*>(this)->m_CAStorePage,
                            &const_cast<CCertSheet*>(this)->m_TrustedRootPage};
  for (CPropertyPage* page : lists)
    if (page == active) return static_cast<CCertListPage*>(page);
  return nullptr;
}

BOOL CCertSheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) == IDOK && (m_bSelectionMode || m_bSelectionSheet)) {
    if (CCertListPage* page = ActiveListPage()) {
      CCapicomCertificate current = page->CurrentCertificate();
      // A page without a listed row holds nothing to return (an engine object without a certificate).
      if (page->m_List.GetItemCount() > 0 && !current.IsEmpty()) m_ResultCertificate = current;
    }
    try {
      if (!m_ResultCertificate.IsEmpty() && !m_ResultCertificate.GetThumbprint().IsEmpty()) {
        m_strSubjectName = certmgr::InfoText(m_ResultCertificate, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME);
        m_strIssuerName = certmgr::InfoText(m_ResultCertificate, CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME);
        m_strValidTo = certmgr::DateText(m_ResultCertificate.GetValidToDate());
      } else {
        // Nothing was chosen: the creator sees an empty result, as after Cancel.
        m_ResultCertificate = CCapicomCertificate(kx::engine::kEmpty);
      }
    } catch (const _com_error&) {
      MessageBox("PKI Certificate Selection Exception", nullptr, MB_OK);
    }
  }
  return CBaseSheet::OnCommand(wParam, lParam);
}

void CCertSheet::ImportCertificate() {
  try {
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName("CPfxWizard", this, &made);
    std::unique_ptr<CBaseSheet> wizard(made);
    if (!wizard) return;
    wizard->m_bHosted = 0;
    wizard->SetTitle("");
    wizard->m_bSystemMenu = 0;
    wizard->DoModal();
  } catch (...) {
    kx::LogFailure("Certificate Import", "The import wizard could not be shown.");
  }
}

void CCertSheet::PassFileToComponent(int method, const CString& path) {
  if (!m_pFileComponent) return;
  BSTR name = path.AllocSysString();
  switch (method) {
    case 7: m_pFileComponent->InstallCertificateFile(name); break;
    case 13: m_pFileComponent->ViewCrlFile(name); break;
    case 14: m_pFileComponent->InstallCrlFile(name); break;
    default: break;
  }
  SysFreeString(name);
}

int CCertSheet::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CBaseSheet::OnCreate(lpCreateStruct) == -1) return -1;
  AnimateSheetOpening(*this, m_rcOrigin, m_bOwnAnimation, lpCreateStruct);
  return 0;
}

void CCertSheet::OnDestroy() {
  CWnd::OnDestroy();
  AnimateSheetClosing(*this, m_rcOrigin, m_bOwnAnimation);
}
