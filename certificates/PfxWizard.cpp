#include "certificates/PfxWizard.h"

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "certificates/CertSheet.h"
#include "engine/CapicomStore.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"

namespace {

constexpr const char kMakerAddress[] = "https://kesmora.example/";
constexpr const char kSupportAddress[] = "https://kesmora.example/support/";
// Entries of the two drop-down lists, in the order of the values they stand for.
constexpr UINT kStoreNames[] = {30019, 30020, 30021};
constexpr UINT kIncludeNames[] = {30032, 30033, 30034};
enum { kWelcome = 0, kFilePage = 1, kSelectPage = 2, kFinish = 3 };

CPfxWizard* WizardOf(CPropertyPage* page) { return dynamic_cast<CPfxWizard*>(page->GetParentSheet()); }

void SetButtons(CPropertyPage* page, DWORD flags) {
  if (CPropertySheet* sheet = page->GetParentSheet()) sheet->SetWizardButtons(flags);
}

int Tell(const CString& text, UINT type = MB_OK) { return AfxMessageBox(text, type); }

// Adds the certificate to the current user's store; the outcome as its message.
void AddToStore(const char* storeName, const CCapicomCertificate& certificate) {
  try {
    CCapicomStore store;
    if (FAILED(store.Open(CAPICOM_CURRENT_USER_STORE, storeName, CAPICOM_STORE_OPEN_READ_WRITE))) {
      Tell(LoadResString(577));
      return;
    }
    store.Add(certificate);
    Tell(LoadResString(575));
  } catch (const _com_error&) {
    Tell(LoadResString(576));
  }
}

}  // namespace

// ---- sheet ----

IMPLEMENT_DYNAMIC(CPfxWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CPfxWizard, SHEET_CLASS(CBaseSheet), "Certificate Importer", 1, 1131, 1130)

CPfxWizard::CPfxWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage) : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 110;
}

BOOL CPfxWizard::AddPages() {
  CString text = LoadResString(5307);
  for (CPropertyPage* page : std::initializer_list<CPropertyPage*>{&m_MainPage, &m_FilePage, &m_SelCertPage,
                                                                   &m_FinishPage}) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddPageWithIcon(page, 128, text, "");
  }
  m_imlSmall.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
  m_imlLarge.Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1);
  return TRUE;
}

// ---- welcome page ----

IMPLEMENT_DYNCREATE(PfxMainPage, CPropertyPage)

PfxMainPage::PfxMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void PfxMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1037, m_lblTitle);
  DDX_Control(pDX, 1058, m_lblText);
  DDX_Control(pDX, 1059, m_lnkMaker);
  DDX_Control(pDX, 1275, m_lnkSupport);
  DDX_Control(pDX, 1139, m_stcStore);
  DDX_Control(pDX, 1202, m_cmbStore);
  DDX_CBIndex(pDX, 1202, m_nStore);
  DDX_Radio(pDX, 1198, m_nMode);
}

BOOL PfxMainPage::OnInitDialog() {
  // The store names first, so that the exchange of the dialog's set-up finds its entry.
  if (CWnd* combo = GetDlgItem(1202))
    for (UINT id : kStoreNames) combo->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(id).GetString()));
  CPropertyPage::OnInitDialog();
  for (CLabelCtrl* label : {&m_lblTitle, &m_lblText}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  m_lnkMaker.UseParentBackground(TRUE);
  m_lnkSupport.UseParentBackground(TRUE);
  m_lnkMaker.SetUrl(kMakerAddress);
  m_lnkSupport.SetUrl(kSupportAddress);
  return TRUE;
}

BOOL PfxMainPage::OnSetActive() {
  SetButtons(this, PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT PfxMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (CPfxWizard* wizard = WizardOf(this)) {
    wizard->m_Data.m_nStore = m_nStore;
    wizard->m_Data.m_nMode = m_nMode;
  }
  return CPropertyPage::OnWizardNext();
}

// ---- file page ----

IMPLEMENT_DYNCREATE(PfxFilePage, CPropertyPage)

BEGIN_MESSAGE_MAP(PfxFilePage, CPropertyPage)
  ON_BN_CLICKED(1008, OnBrowse)
  ON_BN_CLICKED(1199, OnFileTypeChanged)
  ON_BN_CLICKED(1200, OnFileTypeChanged)
END_MESSAGE_MAP()

PfxFilePage::PfxFilePage() : CPropertyPage(IDD, 0, 170, 171) {}

void PfxFilePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1201, m_lblFile);
  DDX_Control(pDX, 1060, m_lblPassword);
  DDX_Text(pDX, 1031, m_strFile);
  DDX_Radio(pDX, 1199, m_nFileType);
  DDX_Text(pDX, 1218, m_strPassword);
}

BOOL PfxFilePage::OnSetActive() {
  UpdateData(TRUE);
  SetButtons(this, PSWIZB_BACK | PSWIZB_NEXT);
  CPfxWizard* wizard = WizardOf(this);
  CWnd* pfx = GetDlgItem(1199);
  CWnd* password = GetDlgItem(1218);
  if (wizard && wizard->m_Data.m_nStore != 0) {
    // Address book and authority stores take certificates only.
    m_nFileType = 1;
    if (pfx) pfx->EnableWindow(FALSE);
    if (password) password->EnableWindow(FALSE);
    UpdateData(FALSE);
  } else if (pfx) {
    pfx->EnableWindow(TRUE);
    if (password) password->EnableWindow(m_nFileType == 0);
  }
  return CPropertyPage::OnSetActive();
}

void PfxFilePage::OnFileTypeChanged() {
  UpdateData(TRUE);
  if (CWnd* password = GetDlgItem(1218)) password->EnableWindow(m_nFileType == 0);
}

void PfxFilePage::OnBrowse() {
  UpdateData(TRUE);
  CPfxWizard* wizard = WizardOf(this);
  bool open = !wizard || wizard->m_Data.m_nMode == 0;
  CString filter = m_nFileType == 1 ? LoadResString(581) + LoadResString(580) + "|"
                                    : LoadResString(580) + LoadResString(581) + "|";
  CFileDialog dialog(open ? TRUE : FALSE, m_nFileType == 1 ? "cer" : "pfx", nullptr,
                     OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, this);
  CString title = LoadResString(565);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  m_strFile = dialog.GetPathName();
  UpdateData(FALSE);
}

LRESULT PfxFilePage::OnWizardNext() {
  UpdateData(TRUE);
  CPfxWizard* wizard = WizardOf(this);
  if (!wizard) return -1;
  CPfxWizardData& data = wizard->m_Data;
  data.m_strFileName = m_strFile;
  // A certificate file carries no key: text left in the disabled password box does not count.
  data.m_strPassword = m_nFileType == 0 ? m_strPassword : CString();
  if (m_nFileType == 0 && m_strPassword.IsEmpty()) return Tell(LoadResString(572)), -1;
  if (m_strFile.IsEmpty()) return Tell(LoadResString(data.m_nMode == 1 ? 574 : 573)), -1;
  if (data.m_nMode == 1) return PfxSelCertPage::IDD;

  CCapicomCertificate certificate;
  bool personal = data.m_nStore == 0;
  HRESULT hr = certificate.Load(data.m_strFileName, personal ? data.m_strPassword.GetString() : "",
                                CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY);
  if (FAILED(hr)) {
    Tell(LoadResString(578) + " " + LoadResString(579));
    return CFinishPage::IDD;
  }
  if (personal) {
    if (m_nFileType == 1 && !certificate.HasPrivateKey()) return Tell(LoadResString(5332)), -1;
    AddToStore("My", certificate);
  } else if (data.m_nStore == 1 || data.m_nStore == 2) {
    AddToStore(data.m_nStore == 1 ? "AddressBook" : "Ca", certificate);
  } else {
    return Tell(LoadResString(5332)), -1;
  }
  return CFinishPage::IDD;
}

// ---- selection page ----

IMPLEMENT_DYNCREATE(PfxSelCertPage, CPropertyPage)

BEGIN_MESSAGE_MAP(PfxSelCertPage, CPropertyPage)
  ON_BN_CLICKED(1043, OnSelectCertificate)
  ON_BN_CLICKED(1034, OnConfirmClicked)
  ON_BN_CLICKED(1012, OnView)
  ON_BN_CLICKED(1053, OnClear)
  ON_NOTIFY(LVN_ITEMCHANGED, 1033, OnItemChanged)
  ON_NOTIFY(NM_DBLCLK, 1033, OnDblClk)
END_MESSAGE_MAP()

PfxSelCertPage::PfxSelCertPage() : CPropertyPage(IDD, 0, 172, 173) {}

void PfxSelCertPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1211, m_stcInclude);
  DDX_Control(pDX, 1212, m_cmbInclude);
  DDX_Control(pDX, 1033, m_lstCertificates);
  DDX_Control(pDX, 1046, m_lblNote);
  DDX_CBIndex(pDX, 1212, m_nIncludeOption);
  DDX_Check(pDX, 1034, m_bConfirmSelect);
}

BOOL PfxSelCertPage::OnInitDialog() {
  if (CWnd* combo = GetDlgItem(1212))
    for (UINT id : kIncludeNames)
      combo->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(id).GetString()));
  CPropertyPage::OnInitDialog();
  m_lstCertificates.SetFullRowDraw(TRUE);
  return TRUE;
}

void PfxSelCertPage::UpdateButtons() {
  SetButtons(this, m_Certificates.GetSize() ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
}

BOOL PfxSelCertPage::OnSetActive() {
  BeginWaitCursor();
  FillCertificateList();
  EndWaitCursor();
  UpdateButtons();
  return CPropertyPage::OnSetActive();
}

void PfxSelCertPage::FillCertificateList() {
  m_lstCertificates.DeleteAllItems();
  CStringList headings, subjects, issuers, roles, expiry;
  for (UINT id : {199u, 200u, 435u, 201u}) headings.AddTail(LoadResString(id));
  CUIntArray images, states;
  for (INT_PTR i = 0; i < m_Certificates.GetSize(); ++i) {
    const CCapicomCertificate& c = m_Certificates[i];
    subjects.AddTail(CString(c.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi()));
    issuers.AddTail(CString(c.GetInfo(CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME).GetAnsi()));
    roles.AddTail(LoadResString(i == 0 ? 433 : 434));
    char date[255];
    expiry.AddTail(c.GetValidToDate().Format(date, sizeof date, 0, 0x400));
    images.Add(2);
    states.Add(2);
  }
  m_lstCertificates.SetHeadings(headings);
  m_lstCertificates.SetColumnData(0, subjects);
  m_lstCertificates.SetColumnData(1, issuers);
  m_lstCertificates.SetColumnData(2, roles);
  m_lstCertificates.SetColumnData(3, expiry);
  m_lstCertificates.SetItemStates(states);
  m_lstCertificates.SetItemImages(images);
  m_lstCertificates.Populate();
  int widths[] = {110, 150, 120, 120};
  for (int c = 0; c < 4; ++c) m_lstCertificates.SetColumnWidth(c, widths[c]);
  for (int row = 0; row < m_lstCertificates.GetItemCount(); ++row) m_lstCertificates.SetRowMark(row, FALSE, FALSE, FALSE);
  m_lstCertificates.SetFocus();
}

bool PfxSelCertPage::IsAlreadyListed(const CCapicomCertificate& certificate) const {
  CString serial(certificate.GetSerialNumber().GetAnsi()), subject(certificate.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi());
  for (INT_PTR i = 0; i < m_Certificates.GetSize(); ++i) {
    const CCapicomCertificate& c = m_Certificates[i];
    if (serial.CompareNoCase(CString(c.GetSerialNumber().GetAnsi())) == 0 &&
        subject.CompareNoCase(CString(c.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi())) == 0)
      return true;
  }
  return false;
}

void PfxSelCertPage::OnSelectCertificate() {
  UpdateData(TRUE);
  m_bConfirmSelect = 0;
  if (m_Certificates.GetSize()) {
    Tell(LoadResString(568));
    UpdateData(FALSE);
    return;
  }
  // The "Select Certificate" form of the manager, opening from the select button.
  CCertSheet chooser(this, 1);
  chooser.m_bHosted = 0;
  chooser.m_bOwnAnimation = 1;
  if (CWnd* button = GetDlgItem(1043)) button->GetWindowRect(&chooser.m_rcOrigin);
  chooser.SetTitle(LoadResString(298));
  if (chooser.DoModal() != IDOK || chooser.m_ResultCertificate.IsEmpty()) {
    UpdateData(FALSE);
    UpdateButtons();
    return;
  }
  CCapicomCertificate chosen = chooser.m_ResultCertificate;
  if (IsAlreadyListed(chosen)) {
    CString text;
    text.Format(LoadResString(437), CString(chosen.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi()).GetString());
    AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
  } else {
    m_Certificates.RemoveAll();
    m_Certificates.Add(chosen);
    UpdateData(FALSE);
    if (CPfxWizard* wizard = WizardOf(this)) wizard->m_Data.m_Certificate = chosen;
    FillCertificateList();
  }
  UpdateButtons();
}

void PfxSelCertPage::OnConfirmClicked() {
  UpdateData(TRUE);
  if (m_bConfirmSelect && Tell(LoadResString(566) + " " + LoadResString(553), MB_YESNO) != IDYES) {
    m_bConfirmSelect = 0;
    UpdateData(FALSE);
    return;
  }
  UpdateButtons();
  if (m_bConfirmSelect) OnSelectCertificate();
}

void PfxSelCertPage::OnView() {
  if (m_Certificates.GetSize() == 0 || m_nSelected < 0 || m_nSelected >= m_Certificates.GetSize()) return;
  try {
    m_Certificates[m_nSelected].Display();
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Certificate Display", kx::EngineText(e));
  }
}

void PfxSelCertPage::OnClear() {
  if (Tell(LoadResString(436), MB_YESNO) != IDYES) return;
  m_Certificates.RemoveAll();
  FillCertificateList();
  UpdateButtons();
}

void PfxSelCertPage::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if ((change->uNewState & LVIS_SELECTED) && change->iItem >= 0) m_nSelected = change->iItem;
  *pResult = 0;
}

void PfxSelCertPage::OnDblClk(NMHDR*, LRESULT* pResult) {
  OnView();
  *pResult = 0;
}

LRESULT PfxSelCertPage::OnWizardNext() {
  UpdateData(TRUE);
  CPfxWizard* wizard = WizardOf(this);
  if (!wizard || m_Certificates.GetSize() == 0) return -1;
  const CPfxWizardData& data = wizard->m_Data;
  LONG saveAs = data.m_strPassword.IsEmpty() ? CAPICOM_CERTIFICATE_SAVE_AS_CER : CAPICOM_CERTIFICATE_SAVE_AS_PFX;
  HRESULT hr = m_Certificates[0].Save(data.m_strFileName, data.m_strPassword, saveAs, m_nIncludeOption);
  if (hr == CAPICOM_E_PRIVATE_KEY_NOT_ACCESSIBLE) {
    Tell(LoadResString(569) + "\n" + LoadResString(570));
    return -1;
  }
  Tell(LoadResString(FAILED(hr) ? 571 : 212));
  return CFinishPage::IDD;
}

LRESULT PfxSelCertPage::OnWizardBack() { return PfxFilePage::IDD; }
