// Page 2 of the code-signing wizard: the signing certificate and the time-stamping server.
#include <memory>

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "archives/CodeSignWizard.h"
#include "certificates/CertSheet.h"
#include "certificates/SelCertSheet.h"
#include "engine/CapicomStore.h"
#include "platform/mfc/afxwin.h"

namespace {

enum {
  IDC_SERVER_KIND_CAPTION = 1209,
  IDC_SERVER_CAPTION = 1171,
  IDC_ADDRESS = 1172,
  IDC_SERVER_KIND = 1210,
  IDC_SERVER_URL = 1112,
  IDC_LIST = 1033,
  IDC_LIST_CAPTION = 1046,
  IDC_COUNTERSIGN = 1034,
  IDC_SELECT = 1043,
  IDC_VIEW = 1012,
  IDC_REMOVE = 1053
};

CString Ansi(const CBstrString& text) { return CString(text.GetAnsi() ? text.GetAnsi() : ""); }

CString SubjectOf(const CCapicomCertificate& certificate) {
  return Ansi(certificate.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME));
}

// The mark shows the certificate's validity verdict, the same as every other list.
UINT TrustState(const CCapicomCertificate& certificate) { return IsCertificateValid(certificate) ? 1 : 0; }

}  // namespace

IMPLEMENT_DYNCREATE(CCodeSignPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCodeSignPage, CPropertyPage)
  ON_CBN_SELCHANGE(IDC_SERVER_KIND, OnServerKindChanged)
  ON_BN_CLICKED(IDC_SELECT, OnSelectCertificate)
  ON_BN_CLICKED(IDC_COUNTERSIGN, OnCountersign)
  ON_BN_CLICKED(IDC_VIEW, OnViewCertificate)
  ON_BN_CLICKED(IDC_REMOVE, OnRemoveCertificates)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnListItemChanged)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnListDblClk)
END_MESSAGE_MAP()

CCodeSignPage::CCodeSignPage() : CPropertyPage(IDD, 0, 166, 167) {}

CCodeSignWizard* CCodeSignPage::Sheet() { return dynamic_cast<CCodeSignWizard*>(GetParentSheet()); }

void CCodeSignPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_SERVER_KIND_CAPTION, m_lblServerKind);
  DDX_Control(pDX, IDC_SERVER_CAPTION, m_lblServer);
  DDX_Control(pDX, IDC_ADDRESS, m_ctlAddress);
  DDX_Control(pDX, IDC_LIST, m_lstCertificates);
  DDX_Control(pDX, IDC_LIST_CAPTION, m_lblList);
  DDX_CBIndex(pDX, IDC_SERVER_KIND, m_nServerKind);
  DDX_Text(pDX, IDC_SERVER_URL, m_strServerUrl);
  DDX_Check(pDX, IDC_COUNTERSIGN, m_bCountersign);
}

BOOL CCodeSignPage::OnInitDialog() {
  if (CComboBox* kinds = static_cast<CComboBox*>(GetDlgItem(IDC_SERVER_KIND))) {
    kinds->ResetContent();
    kinds->AddString("URL");
    kinds->AddString("IP address");
  }
  CPropertyPage::OnInitDialog();
  m_lstCertificates.SetFullRowDraw(TRUE);
  OnServerKindChanged();
  return TRUE;
}

void CCodeSignPage::OnServerKindChanged() {
  auto* kinds = static_cast<CComboBox*>(GetDlgItem(IDC_SERVER_KIND));
  const int kind = kinds ? kinds->GetCurSel() : 0;
  m_nServerKind = kind > 0 ? kind : 0;
  const bool address = m_nServerKind != 0;
  if (m_ctlAddress.GetSafeHwnd()) m_ctlAddress.ShowWindow(address ? SW_SHOW : SW_HIDE);
  if (CWnd* url = GetDlgItem(IDC_SERVER_URL)) url->ShowWindow(address ? SW_HIDE : SW_SHOW);
  kx::archives::SetLabelText(m_lblServer, LoadResString(address ? 497 : 496));
}

CString CCodeSignPage::ServerText() {
  if (m_nServerKind == 0) {
    CString url = m_strServerUrl;
    url.Trim();
    return url;
  }
  // The address control holds four numbers; the service is reached over HTTP at that address.
  if (!m_ctlAddress.GetSafeHwnd() || m_ctlAddress.IsBlank()) return CString();
  BYTE a = 0, b = 0, c = 0, d = 0;
  m_ctlAddress.GetAddress(a, b, c, d);
  CString text;
  text.Format("http://%u.%u.%u.%u/", a, b, c, d);
  return text;
}

BOOL CCodeSignPage::OnSetActive() {
  {
    kx::archives::WaitCursor wait(this);
    RefillList();
    SetButtons();
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CCodeSignPage::OnWizardBack() { return CCodeFileSel::IDD; }

LRESULT CCodeSignPage::OnWizardNext() {
  if (!UpdateData(TRUE)) return -1;
  m_strTimeStampServer = ServerText();
  if (CCodeSignWizard* sheet = Sheet(); sheet && !m_Certificates.empty()) {
    // The first certificate signs; the list follows the page, however often the user came back.
    StoreSigners();
    sheet->m_WizardData.m_strCodeSignSetting = m_strTimeStampServer;
  }
  return CPropertyPage::OnWizardNext();
}

void CCodeSignPage::SetButtons() {
  if (CPropertySheet* sheet = GetParentSheet())
    sheet->SetWizardButtons(m_Certificates.empty() ? PSWIZB_BACK : PSWIZB_BACK | PSWIZB_NEXT);
}

void CCodeSignPage::StoreSigners() {
  if (CCodeSignWizard* sheet = Sheet()) sheet->m_WizardData.m_arrSignerCerts = m_Certificates;
}

bool CCodeSignPage::IsListed(const CCapicomCertificate& candidate) const {
  const CString serial = Ansi(candidate.GetSerialNumber());
  const CString subject = SubjectOf(candidate);
  for (const CCapicomCertificate& listed : m_Certificates)
    if (Ansi(listed.GetSerialNumber()) == serial && SubjectOf(listed) == subject) return true;
  return false;
}

void CCodeSignPage::RefillList() {
  if (!m_lstCertificates.GetSafeHwnd()) return;
  m_lstCertificates.DeleteAllItems();
  CStringList subjects, issuers, roles, validTo, headings;
  CUIntArray states, images;
  for (size_t i = 0; i < m_Certificates.size(); ++i) {
    const CCapicomCertificate& certificate = m_Certificates[i];
    // Subject under "Issued To", issuer under "Issued By", as in every other certificate list.
    subjects.AddTail(SubjectOf(certificate));
    issuers.AddTail(Ansi(certificate.GetInfo(CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME)));
    roles.AddTail(i == 0 ? "Signer ID" : "Countersign ID");
    char date[255] = {};
    certificate.GetValidToDate().Format(date, sizeof date, 0, 0x400);
    validTo.AddTail(date);
    images.Add(2);
    states.Add(TrustState(certificate));
  }
  for (UINT id : {199u, 200u, 435u, 201u}) headings.AddTail(LoadResString(id));
  m_lstCertificates.SetHeadings(headings);
  m_lstCertificates.SetColumnData(0, subjects);
  m_lstCertificates.SetColumnData(1, issuers);
  m_lstCertificates.SetColumnData(2, roles);
  m_lstCertificates.SetColumnData(3, validTo);
  m_lstCertificates.SetItemStates(states);
  m_lstCertificates.SetItemImages(images);
  m_lstCertificates.Populate();
  m_lstCertificates.SetColumnWidth(2, 120);
  m_lstCertificates.SetColumnWidth(3, 120);
  for (int row = 0; row < m_lstCertificates.GetItemCount(); ++row) m_lstCertificates.SetRowMark(row, FALSE, FALSE, FALSE);
  if (m_nSelected >= static_cast<int>(m_Certificates.size())) m_nSelected = 0;
  m_lstCertificates.SetFocus();
}

CCapicomCertificate CCodeSignPage::ChooseOne(const CRect& origin) {
  CCapicomCertificate chosen(kx::engine::kEmpty);
  CFormsObjectProvider provider;
  CBaseSheet* made = nullptr;
  provider.CreateSheetByName("CCertSheet", this, &made);
  std::unique_ptr<CBaseSheet> owner(made);
  auto* manager = dynamic_cast<CCertSheet*>(made);
  if (!manager) return chosen;
  manager->SetTitle(LoadResString(298));
  manager->m_bHosted = 0;
  // The selection role leaves out the directory and the address-book store: a signer needs its own key.
  manager->m_bSelectionMode = 1;
  manager->m_rcOrigin = origin;
  manager->m_bOwnAnimation = origin.IsRectEmpty() ? 0 : 1;
  if (manager->DoModal() == IDOK) chosen = manager->m_ResultCertificate;
  return chosen;
}

void CCodeSignPage::OnSelectCertificate() {
  UpdateData(TRUE);
  CRect origin(0, 0, 0, 0);
  if (CWnd* button = GetDlgItem(IDC_SELECT); button && button->IsWindowVisible()) button->GetWindowRect(&origin);
  if (m_bCountersign) {
    CSelCertSheet picker(LoadResString(299), this, 0);
    picker.m_Use = CertificateUse::CodeSigner;
    picker.m_bRestricted = 1;
    picker.m_rcOrigin = origin;
    for (const CCapicomCertificate& certificate : m_Certificates) picker.m_Selected.Add(certificate);
    if (picker.DoModal() == IDOK) {
      m_Certificates.clear();
      for (INT_PTR i = 0; i < picker.m_Selected.GetSize(); ++i)
        if (!picker.m_Selected[i].IsEmpty()) m_Certificates.push_back(picker.m_Selected[i]);
      StoreSigners();
      RefillList();
    }
  } else if (m_Certificates.size() == 1) {
    AfxMessageBox(LoadResString(431), MB_OK);
    return;
  } else {
    CCapicomCertificate chosen = ChooseOne(origin);
    if (!chosen.IsEmpty()) {
      if (IsListed(chosen)) {
        CString text;
        text.Format(437, static_cast<const char*>(SubjectOf(chosen)));
        AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
      } else {
        m_Certificates.assign(1, chosen);
        StoreSigners();
        RefillList();
      }
    }
  }
  SetButtons();
}

void CCodeSignPage::OnCountersign() {
  UpdateData(TRUE);
  if (m_bCountersign) {
    if (AfxMessageBox(LoadResString(566) + " " + LoadResString(553), MB_YESNO) != IDYES) {
      m_bCountersign = 0;
      UpdateData(FALSE);
      return;
    }
  } else if (m_Certificates.size() > 1) {
    m_Certificates.clear();
    StoreSigners();
    RefillList();
  }
  SetButtons();
  if (m_bCountersign) OnSelectCertificate();
}

void CCodeSignPage::OnViewCertificate() {
  if (m_Certificates.empty() || m_nSelected < 0 || m_nSelected >= static_cast<int>(m_Certificates.size())) return;
  try {
    m_Certificates[static_cast<size_t>(m_nSelected)].Display();
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Certificate Display", kx::EngineText(e));
  }
}

void CCodeSignPage::OnRemoveCertificates() {
  if (AfxMessageBox(LoadResString(436), MB_YESNO) != IDYES) return;
  m_Certificates.clear();
  m_nSelected = 0;
  StoreSigners();
  RefillList();
  SetButtons();
}

void CCodeSignPage::OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (item && item->iItem >= 0 && (item->uNewState & LVIS_SELECTED)) m_nSelected = item->iItem;
  if (pResult) *pResult = 0;
}

void CCodeSignPage::OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
  if (item && item->iItem >= 0) {
    m_nSelected = item->iItem;
    OnViewCertificate();
  }
  if (pResult) *pResult = 0;
}
