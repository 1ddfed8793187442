// The signer page: the signing certificate, or several signers with the multiple-signers box.
#include <memory>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/CertSheet.h"
#include "certificates/CertificateRows.h"
#include "certificates/SelCertSheet.h"
#include "engine/CertPolicy.h"
#include "platform/mfc/afxwin.h"
#include "platform/capicom/capicom_defs.h"
#include "signing/SignSheet.h"
#include "signing/SignerPages.h"

namespace {

enum {
  IDC_LIST = 1033,
  IDC_LABEL = 1046,
  IDC_MULTIPLE = 1034,
  IDC_CHOOSE = 1043,
  IDC_VIEW = 1012,
  IDC_CLEAR = 1053
};

CString Info(const CCapicomCertificate& certificate, LONG type) {
  const CBstrString info = certificate.GetInfo(type);
  return info.GetAnsi() ? info.GetAnsi() : "";
}

CString SerialOf(const CCapicomCertificate& certificate) {
  const CBstrString serial = certificate.GetSerialNumber();
  return serial.GetAnsi() ? serial.GetAnsi() : "";
}

}  // namespace

IMPLEMENT_DYNCREATE(CPWSelectSignerPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWSelectSignerPage, CPropertyPage)
  ON_BN_CLICKED(IDC_MULTIPLE, OnMultipleSigners)
  ON_BN_CLICKED(IDC_CHOOSE, OnChooseSigners)
  ON_BN_CLICKED(IDC_VIEW, OnViewCertificate)
  ON_BN_CLICKED(IDC_CLEAR, OnClearSigners)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnItemChanged)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnDoubleClick)
END_MESSAGE_MAP()

CPWSelectSignerPage::CPWSelectSignerPage() : CPropertyPage(IDD, 0, 133, 134) {}

CSignSheet* CPWSelectSignerPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

void CPWSelectSignerPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LIST, m_List);
  DDX_Control(pDX, IDC_LABEL, m_Label);
  DDX_Check(pDX, IDC_MULTIPLE, m_bMultipleSigners);
}

BOOL CPWSelectSignerPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_List.SetFullRowDraw(TRUE);
  return TRUE;
}

void CPWSelectSignerPage::RefillList() {
  if (!m_List.GetSafeHwnd()) return;
  m_List.DeleteAllItems();
  CStringList subjects, issuers, roles, validTo, headings;
  CUIntArray images, valid;
  kx::capi::ListingScope scope;
  for (size_t i = 0; i < m_Certificates.size(); ++i) {
    const CCapicomCertificate& certificate = m_Certificates[i];
    valid.Add(IsCertificateValid(certificate) ? 1 : 0);
    subjects.AddTail(Info(certificate, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME));
    issuers.AddTail(Info(certificate, CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME));
    roles.AddTail(LoadResString(i == 0 ? 433 : 434));
    char date[255] = {};
    certificate.GetValidToDate().Format(date, sizeof date, 0, 0x400);
    validTo.AddTail(date);
    images.Add(2);
  }
  for (UINT id : {199u, 200u, 435u, 201u}) headings.AddTail(LoadResString(id));
  m_List.SetHeadings(headings);
  m_List.SetColumnData(0, subjects);
  m_List.SetColumnData(1, issuers);
  m_List.SetColumnData(2, roles);
  m_List.SetColumnData(3, validTo);
  m_List.SetItemStates(images);
  m_List.SetItemImages(images);
  m_List.Populate();
  const int widths[4] = {110, 150, 120, 120};
  for (int c = 0; c < 4; ++c) m_List.SetColumnWidth(c, widths[c]);
  // Each signer's mark is its validity verdict, as in every certificate list.
  for (int i = 0; i < static_cast<int>(m_Certificates.size()); ++i) m_List.SetRowMark(i, valid[i] == 1, 0, 0);
  m_List.SetFocus();
}

void CPWSelectSignerPage::SetButtons() {
  if (CPropertySheet* sheet = GetParentSheet())
    sheet->SetWizardButtons(m_Certificates.empty() ? PSWIZB_BACK : PSWIZB_BACK | PSWIZB_NEXT);
}

void CPWSelectSignerPage::StoreChoice() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return;
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_arrSignerCerts = m_Certificates;
  if (sheet->IsProfileLoaded()) data.m_arrRecipientCerts = m_Certificates;
}

BOOL CPWSelectSignerPage::OnSetActive() {
  BeginWaitCursor();
  CSignSheet* sheet = Sheet();
  if (sheet && sheet->IsProfileLoaded() && sheet->UseProfileCertificate() && m_Certificates.empty()) {
    CCapicomCertificate found(kx::engine::kEmpty);
    if (CCertPolicy().FindCertificateByMail(sheet->GetProfileMailAddress(), true, found, false, nullptr)) {
      m_Certificates.push_back(found);
      StoreChoice();
    } else {
      AfxMessageBox(LoadResString(432), MB_OK);
    }
  }
  RefillList();
  SetButtons();
  EndWaitCursor();
  return CPropertyPage::OnSetActive();
}

LRESULT CPWSelectSignerPage::OnWizardBack() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardBack();
  if (sheet->IsOneClick()) sheet->GoToPage(CSignSheet::kMainPage);
  else if (sheet->IsProfileLoaded()) sheet->SetActivePage(11);
  else sheet->GoToPage(CSignSheet::kFilePage);
  return -1;
}

LRESULT CPWSelectSignerPage::OnWizardNext() {
  CSignSheet* sheet = Sheet();
  // While the signing pages are not part of the wizard, the signer page leads to what follows them.
  if (sheet && !sheet->GetWizardPage(CSignSheet::kTimeStampPage)) {
    sheet->GoToPage(sheet->GetPlaceAfterSigningPages());
    return -1;
  }
  return CPropertyPage::OnWizardNext();
}

void CPWSelectSignerPage::OnMultipleSigners() {
  UpdateData(TRUE);
  if (m_bMultipleSigners) {
    if (AfxMessageBox(LoadResString(566) + " " + LoadResString(553), MB_YESNO) != IDYES) {
      m_bMultipleSigners = FALSE;
      UpdateData(FALSE);
      return;
    }
  } else if (m_Certificates.size() > 1) {
    m_Certificates.clear();
    StoreChoice();
    RefillList();
  }
  SetButtons();
  if (m_bMultipleSigners) OnChooseSigners();
}

bool CPWSelectSignerPage::IsChosen(const CCapicomCertificate& candidate) {
  const CString serial = SerialOf(candidate);
  const CString subject = Info(candidate, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME);
  for (const CCapicomCertificate& chosen : m_Certificates) {
    if (SerialOf(chosen).CompareNoCase(serial) == 0 &&
        Info(chosen, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).CompareNoCase(subject) == 0)
      return true;
  }
  return false;
}

void CPWSelectSignerPage::OnChooseSigners() {
  UpdateData(TRUE);
  CWnd* button = GetDlgItem(IDC_CHOOSE);
  CRect origin(0, 0, 0, 0);
  if (button && button->IsWindowVisible()) button->GetWindowRect(&origin);
  if (m_bMultipleSigners) {
    CSelCertSheet picker(LoadResString(299), this, 0);
    picker.m_Use = CertificateUse::Signer;
    picker.m_rcOrigin = origin;
    for (const CCapicomCertificate& certificate : m_Certificates) picker.m_Selected.Add(certificate);
    if (picker.DoModal() == IDOK && Sheet()) {
      m_Certificates.clear();
      for (INT_PTR i = 0; i < picker.m_Selected.GetSize(); ++i)
        if (!picker.m_Selected[i].IsEmpty()) m_Certificates.push_back(picker.m_Selected[i]);
      Sheet()->m_WizardData.m_arrRecipientCerts.clear();
      StoreChoice();
      RefillList();
    }
  } else if (m_Certificates.size() == 1) {
    AfxMessageBox(LoadResString(431), MB_OK);
    return;
  } else {
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName("CCertSheet", this, &made);
    std::unique_ptr<CBaseSheet> owner(made);
    if (auto* picker = dynamic_cast<CCertSheet*>(made)) {
      picker->SetTitle(LoadResString(298), 0);
      picker->m_bHosted = 0;
      picker->m_bSelectionMode = 1;
      for (int i = 0; i < 4 && picker->GetPageCount() > 2; ++i) picker->RemovePage(2);
      if (picker->DoModal() == IDOK && !picker->m_ResultCertificate.IsEmpty()) {
        CCapicomCertificate chosen = picker->m_ResultCertificate;
        if (IsChosen(chosen)) {
          CString text;
          text.Format(437, static_cast<const char*>(Info(chosen, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME)));
          AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
        } else {
          m_Certificates.assign(1, chosen);
          UpdateData(FALSE);
          StoreChoice();
          RefillList();
        }
      }
    }
    owner.reset();
    ResetSheetRegistry();
  }
  SetButtons();
  CheckProfileAddresses();
}

void CPWSelectSignerPage::CheckProfileAddresses() {
  CSignSheet* sheet = Sheet();
  if (!sheet || !sheet->IsProfileLoaded()) return;
  const CString address = sheet->GetProfileMailAddress();
  for (size_t i = 0; i < m_Certificates.size(); ++i) {
    if (CCertPolicy::MailMatches(m_Certificates[i], address)) continue;
    AfxMessageBox(LoadResString(432), MB_OK);
    m_Certificates.erase(m_Certificates.begin() + static_cast<std::ptrdiff_t>(i));
    StoreChoice();
    RefillList();
    SetButtons();
    break;
  }
}

void CPWSelectSignerPage::OnViewCertificate() {
  if (m_nSelected < 0 || m_Certificates.empty() || m_nSelected >= static_cast<int>(m_Certificates.size())) return;
  m_Certificates[static_cast<size_t>(m_nSelected)].Display();
}

void CPWSelectSignerPage::OnClearSigners() {
  if (AfxMessageBox(LoadResString(436), MB_YESNO) != IDYES) return;
  m_Certificates.clear();
  StoreChoice();
  RefillList();
  SetButtons();
}

void CPWSelectSignerPage::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (item->iItem >= 0) m_nSelected = item->iItem;
  if (pResult) *pResult = 0;
}

void CPWSelectSignerPage::OnDoubleClick(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
  if (item->iItem >= 0) m_nSelected = item->iItem;
  OnViewCertificate();
  if (pResult) *pResult = 0;
}
