#include "certificates/CWizard.h"

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/VorlindEnrolSettings.h"
#include "platform/com/bstr.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"
#include "platform/win32/textconv.h"

namespace {

constexpr const char kMakerAddress[] = "https://kesmora.example/";
constexpr const char kSupportAddress[] = "https://kesmora.example/support/";

enum { kMainPage = 0, kPurposePage, kIdentifyPage, kKeyGenOptPage, kKeyUsagePage, kFinishPage };

CCWizard* SheetOf(CPropertyPage* page) { return dynamic_cast<CCWizard*>(page->GetParentSheet()); }

void PostButtons(CPropertyPage* page, DWORD flags) {
  if (CPropertySheet* sheet = page->GetParentSheet()) sheet->PostMessage(PSM_SETWIZBUTTONS, 0, flags);
}

void Tell(UINT id) { AfxMessageBox(LoadResString(id), MB_OK); }

// The enrolment settings as the purpose page reads them: loaded, and saved back so that missing values are written.
DWORD EnrolmentSkipsPurpose() {
  CVorlindEnrolSettings settings(HKEY_LOCAL_MACHINE, "%s", CVorlindEnrolSettings::kKeyPath);
  settings.Load();
  settings.Save();
  return settings.m_bETRUST;
}

// The purpose page stays hidden under the enrolment setting, except while a request to be saved still has no
// file: only that page asks for it.
bool PurposePageSkipped(const CCertCreationInfo& info) {
  if (info.m_nMode == 2 && info.m_strRequestFile.IsEmpty()) return false;
  return EnrolmentSkipsPurpose() == 1;
}

}  // namespace

// ---- the sheet ----

IMPLEMENT_DYNAMIC(CCWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CCWizard, SHEET_CLASS(CBaseSheet), "Certificate Generator", 1, 8259, 8260)

CCWizard::CCWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage) : CBaseSheet(caption, pParentWnd, selectPage) {}

CCWizard::~CCWizard() { WaitForWorker(); }

BOOL CCWizard::AddPages() {
  CPropertyPage* pages[] = {&m_MainPage, &m_PurposePage, &m_IdentifyPage, &m_KeyGenOptPage, &m_KeyUsagePage,
                            &m_FinishPage};
  CString title = LoadResString(5274);
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_USETITLE;
    AddPageWithIcon(page, 128, title, "");
  }
  return TRUE;
}

void CCWizard::StartWorker() { m_Worker.Start(CreateCertificateThread, this); }

void CCWizard::WaitForWorker() { m_Worker.Wait(); }

// ---- main page ----

IMPLEMENT_DYNCREATE(CCWMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCWMainPage, CPropertyPage)
  ON_BN_CLICKED(1022, OnModeClicked)
  ON_BN_CLICKED(1014, OnModeClicked)
  ON_BN_CLICKED(1015, OnModeClicked)
  ON_BN_CLICKED(1016, OnModeClicked)
  ON_BN_CLICKED(1017, OnModeClicked)
END_MESSAGE_MAP()

CCWMainPage::CCWMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CCWMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1001, m_lblTitle);
  DDX_Control(pDX, 1002, m_lblText);
  DDX_Control(pDX, 1003, m_lnkMaker);
  DDX_Control(pDX, 1004, m_lnkSupport);
  DDX_Radio(pDX, 1022, m_nMode);
}

BOOL CCWMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (CLabelCtrl* label : {&m_lblTitle, &m_lblText}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  m_lnkMaker.SetUrl(kMakerAddress);
  m_lnkSupport.SetUrl(kSupportAddress);
  if (CWnd* option = GetDlgItem(1014)) option->EnableWindow(FALSE);
  return TRUE;
}

BOOL CCWMainPage::OnSetActive() {
  PostButtons(this, PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

void CCWMainPage::OnModeClicked() { UpdateData(TRUE); }

LRESULT CCWMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (CCWizard* sheet = SheetOf(this)) sheet->m_Info.m_nMode = static_cast<DWORD>(m_nMode);
  return CPropertyPage::OnWizardNext();
}

// ---- purpose page ----

IMPLEMENT_DYNCREATE(CCWPurposePage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCWPurposePage, CPropertyPage)
  ON_LBN_SELCHANGE(1017, OnPurposeChanged)
  ON_BN_CLICKED(1008, OnBrowse)
  ON_BN_CLICKED(1188, OnSettings)
END_MESSAGE_MAP()

CCWPurposePage::CCWPurposePage() : CPropertyPage(IDD, 0, 154, 155) {}

void CCWPurposePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1017, m_lstPurposes);
  DDX_Control(pDX, 1188, m_btnSettings);
  DDX_Check(pDX, 1029, m_bAdvanced);
  DDX_Check(pDX, 1018, m_bSecondPurpose);
  DDX_LBIndex(pDX, 1017, m_nPurpose);
  DDX_Text(pDX, 209, m_strRequestFile);
  DDX_Text(pDX, 1049, m_strPurpose);
}

BOOL CCWPurposePage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  static const struct {
    UINT text;
    const char* oid;
  } kPurposes[] = {{5158, "1.3.6.1.5.5.7.3.4"},
                   {5159, "1.3.6.1.5.5.7.3.1"},
                   {5160, "1.3.6.1.5.5.7.3.2"},
                   {5161, "1.3.6.1.5.5.7.3.3"},
                   {5162, "1.3.6.1.5.5.7.3.8"}};
  for (const auto& p : kPurposes) {
    int row = m_lstPurposes.AddString(LoadResString(p.text));
    m_lstPurposes.SetItemDataPtr(row, const_cast<char*>(p.oid));
  }
  m_lstPurposes.SetCurSel(0);
  m_btnSettings.SetIcons(1923);
  m_btnSettings.SetButtonCursor(135);
  m_btnSettings.CreateTexture(0, 8, 10, 0, 0);
  m_btnSettings.SetColor(1, 0xFF0000);
  m_btnSettings.EnableWindow(FALSE);
  return TRUE;
}

void CCWPurposePage::OnPurposeChanged() {
  UpdateData(TRUE);
  int row = m_lstPurposes.GetCurSel();
  if (row < 0) return;
  m_strPurpose = static_cast<const char*>(m_lstPurposes.GetItemDataPtr(row));
  UpdateData(FALSE);
}

BOOL CCWPurposePage::OnSetActive() {
  CCWizard* sheet = SheetOf(this);
  PostButtons(this, PSWIZB_BACK | PSWIZB_NEXT);
  DWORD mode = sheet ? sheet->m_Info.m_nMode : 0;
  for (int id : {1008, 1048})
    if (CWnd* control = GetDlgItem(id)) control->EnableWindow(mode == 1 || mode == 2);
  // Under the enrolment setting the page is passed over (the identity page sends Back to the main page).
  if (sheet && PurposePageSkipped(sheet->m_Info)) return FALSE;
  return CPropertyPage::OnSetActive();
}

void CCWPurposePage::OnBrowse() {
  UpdateData(TRUE);
  CCWizard* sheet = SheetOf(this);
  bool save = sheet && sheet->m_Info.m_nMode == 2;
  CFileDialog dialog(save ? FALSE : TRUE, "p10", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(5163),
                     this);
  if (dialog.DoModal() != IDOK) return;
  m_strRequestFile = dialog.GetPathName();
  if (sheet) sheet->m_Info.m_strRequestFile = m_strRequestFile;
  UpdateData(FALSE);
}

void CCWPurposePage::OnSettings() {
  CFormsObjectProvider provider;
  CBaseSheet* profile = nullptr;
  provider.CreateSheetByName("CSysProfileSheet", this, &profile);
  if (!profile) return;
  profile->SetTitle(LoadResString(5164));
  profile->DoModal();
  delete profile;
}

LRESULT CCWPurposePage::OnWizardNext() {
  UpdateData(TRUE);
  CCWizard* sheet = SheetOf(this);
  if (!sheet) return -1;
  CCertCreationInfo& info = sheet->m_Info;
  info.m_nAdvanced = static_cast<DWORD>(m_bAdvanced);
  info.m_nSecondPurpose = static_cast<DWORD>(m_bSecondPurpose);
  info.m_strPurpose = m_strPurpose;
  // A path typed into the box counts as much as a browsed one.
  m_strRequestFile.Trim();
  info.m_strRequestFile = m_strRequestFile;
  if (info.m_nMode == 2 && m_strRequestFile.IsEmpty()) {
    Tell(5157);
    return -1;
  }
  if (info.m_nMode == 1 && !m_strRequestFile.IsEmpty()) return CCWFinishPage::IDD;
  return CPropertyPage::OnWizardNext();
}

LRESULT CCWPurposePage::OnWizardBack() { return CPropertyPage::OnWizardBack(); }

// ---- identity page ----

IMPLEMENT_DYNCREATE(CCWIdentifyPage, CPropertyPage)

CCWIdentifyPage::CCWIdentifyPage() : CPropertyPage(IDD, 0, 156, 157) {}

void CCWIdentifyPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Text(pDX, 1001, m_strLocality);
  DDX_Text(pDX, 1002, m_strCountry);
  DDX_Text(pDX, 1003, m_strOrgUnit);
  DDX_Text(pDX, 1004, m_strEmail);
  DDX_Text(pDX, 1005, m_strCommonName);
  DDX_Text(pDX, 1006, m_strOrganisation);
  DDX_Text(pDX, 1007, m_strState);
}

LRESULT CCWIdentifyPage::OnWizardNext() {
  UpdateData(TRUE);
  CCWizard* sheet = SheetOf(this);
  if (!sheet) return -1;
  CString* fields[] = {&m_strLocality, &m_strCountry, &m_strOrgUnit, &m_strEmail, &m_strCommonName,
                       &m_strOrganisation, &m_strState};
  for (CString* f : fields) {
    if (f->IsEmpty()) {
      Tell(5170);
      return -1;
    }
  }
  CCertCreationInfo& info = sheet->m_Info;
  info.m_strLocality = m_strLocality;
  info.m_strCountry = m_strCountry;
  info.m_strOrgUnit = m_strOrgUnit;
  info.m_strEmail = m_strEmail;
  info.m_strCommonName = m_strCommonName;
  info.m_strOrganisation = m_strOrganisation;
  info.m_strState = m_strState;
  if (info.m_nAdvanced == 0) return CCWFinishPage::IDD;
  return CPropertyPage::OnWizardNext();
}

LRESULT CCWIdentifyPage::OnWizardBack() {
  // The purpose page would pass itself over at once: Back goes to the main page instead.
  CCWizard* sheet = SheetOf(this);
  if (sheet && PurposePageSkipped(sheet->m_Info)) return CCWMainPage::IDD;
  return CPropertyPage::OnWizardBack();
}

// ---- key options page ----

IMPLEMENT_DYNCREATE(CCWKeyGenOptPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCWKeyGenOptPage, CPropertyPage)
  ON_BN_CLICKED(1033, OnFamilyClicked)
  ON_BN_CLICKED(1034, OnFamilyClicked)
  ON_BN_CLICKED(1044, OnFamilyClicked)
  ON_BN_CLICKED(1045, OnDssClicked)
  ON_CBN_SELCHANGE(1019, OnProviderChanged)
END_MESSAGE_MAP()

CCWKeyGenOptPage::CCWKeyGenOptPage() : CPropertyPage(IDD, 0, 158, 159) {}

void CCWKeyGenOptPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1038, m_cmbHash);
  DDX_Control(pDX, 1019, m_cmbProvider);
  DDX_Control(pDX, 1020, m_cmbKeyLength);
  DDX_Radio(pDX, 1033, m_nFamily);
  DDX_Check(pDX, 1045, m_bDssSignature);
  DDX_CBString(pDX, 1038, m_strHash);
  DDX_CBString(pDX, 1019, m_strProvider);
  DDX_CBString(pDX, 1020, m_strKeyLength);
}

BOOL CCWKeyGenOptPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  FillProviders();
  return TRUE;
}

void CCWKeyGenOptPage::FillProviders() {
  CCWizard* sheet = SheetOf(this);
  ICEnroll3* enroll = sheet ? sheet->m_Info.m_Enroll.GetInterfacePtr() : nullptr;
  m_cmbProvider.ResetContent();
  auto listType = [&](LONG type) {
    if (FAILED(enroll->put_ProviderType(type))) return;
    for (LONG i = 0;; ++i) {
      BSTR name = nullptr;
      if (FAILED(enroll->enumProviders(i, 0, &name))) break;
      int row = m_cmbProvider.AddString(kx::Utf16ToUtf8(name, SysStringLen(name)).c_str());
      m_cmbProvider.SetItemData(row, static_cast<DWORD_PTR>(type));
      SysFreeString(name);
    }
  };
  if (enroll) {
    if (m_nFamily == 0) {
      listType(1);
    } else if (m_nFamily == 1) {
      listType(13);
    } else {
      LONG previous = 1;
      enroll->get_ProviderType(&previous);
      for (LONG type = 1; type <= 24; ++type) listType(type);
      enroll->put_ProviderType(previous);
    }
  }
  if (m_cmbProvider.GetCount() == 0) Tell(5169);
  else m_cmbProvider.SetCurSel(0);

  m_cmbHash.ResetContent();
  if (m_nFamily == 0) m_cmbHash.AddString("MD5");
  m_cmbHash.AddString("SHA-1");
  m_cmbHash.SelectString(-1, "SHA-1");
  FillKeyLengths();
}

void CCWKeyGenOptPage::FillKeyLengths() {
  m_cmbKeyLength.ResetContent();
  CCWizard* sheet = SheetOf(this);
  ICEnroll3* enroll = sheet ? sheet->m_Info.m_Enroll.GetInterfacePtr() : nullptr;
  int row = m_cmbProvider.GetCurSel();
  if (!enroll || row < 0) return;
  CString name;
  m_cmbProvider.GetLBText(row, name);
  enroll->put_ProviderType(static_cast<LONG>(m_cmbProvider.GetItemData(row)));
  enroll->put_ProviderName(_bstr_t(name.GetString()));
  LONG smallest = 0, largest = 0;
  if (FAILED(enroll->GetKeyLen(TRUE, TRUE, &smallest))) smallest = 0;
  if (FAILED(enroll->GetKeyLen(FALSE, TRUE, &largest))) {
    smallest = 512;
    largest = 4096;
  }
  LONG length = 128;
  while (length < smallest) length *= 2;
  for (; length <= largest; length *= 2) {
    CString text;
    text.Format("%ld", static_cast<long>(length));
    int at = m_cmbKeyLength.AddString(text);
    m_cmbKeyLength.SetItemData(at, static_cast<DWORD_PTR>(length));
  }
  m_cmbKeyLength.SetCurSel(0);
}

void CCWKeyGenOptPage::OnFamilyClicked() {
  UpdateData(TRUE);
  FillProviders();
}

void CCWKeyGenOptPage::OnProviderChanged() { FillKeyLengths(); }

void CCWKeyGenOptPage::OnDssClicked() {
  UpdateData(TRUE);
  if (m_bDssSignature) {
    if (AfxMessageBox(LoadResString(5168), MB_YESNO) == IDYES) {
      m_nFamily = 2;
      UpdateData(FALSE);
      for (int id : {1033, 1034})
        if (CWnd* radio = GetDlgItem(id)) radio->EnableWindow(FALSE);
      FillProviders();
    } else {
      m_bDssSignature = 0;
      UpdateData(FALSE);
    }
  } else {
    for (int id : {1033, 1034})
      if (CWnd* radio = GetDlgItem(id)) radio->EnableWindow(TRUE);
  }
}

LRESULT CCWKeyGenOptPage::OnWizardNext() {
  UpdateData(TRUE);
  CCWizard* sheet = SheetOf(this);
  if (!sheet) return -1;
  if (m_strHash.IsEmpty()) return Tell(5165), -1;
  if (m_strProvider.IsEmpty()) return Tell(5166), -1;
  if (m_strKeyLength.IsEmpty()) return Tell(5167), -1;
  CCertCreationInfo& info = sheet->m_Info;
  info.m_nKeyChoice = m_bDssSignature ? 2 : m_strHash.CompareNoCase("SHA-1") == 0 ? 0 : m_strHash.CompareNoCase("MD5") == 0 ? 1 : info.m_nKeyChoice;
  info.m_strProviderName = m_strProvider;
  info.m_nKeyLength = static_cast<DWORD>(std::strtoul(m_strKeyLength, nullptr, 10));
  int row = m_cmbProvider.GetCurSel();
  if (row >= 0) info.m_nProviderType = static_cast<DWORD>(m_cmbProvider.GetItemData(row));
  return CPropertyPage::OnWizardNext();
}

// ---- key usage page ----

IMPLEMENT_DYNCREATE(CCWKeyUsagePage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCWKeyUsagePage, CPropertyPage)
  ON_BN_CLICKED(1021, OnOptionClicked)
  ON_BN_CLICKED(1022, OnOptionClicked)
  ON_BN_CLICKED(1023, OnOptionClicked)
  ON_BN_CLICKED(1030, OnOptionClicked)
  ON_BN_CLICKED(1026, OnOptionClicked)
  ON_BN_CLICKED(1027, OnOptionClicked)
  ON_BN_CLICKED(1028, OnOptionClicked)
END_MESSAGE_MAP()

CCWKeyUsagePage::CCWKeyUsagePage() : CPropertyPage(IDD, 0, 160, 161) {}

void CCWKeyUsagePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, 1022, m_bUsage1);
  DDX_Check(pDX, 1023, m_bUsage2);
  DDX_Check(pDX, 1021, m_bUsage3);
  DDX_Check(pDX, 1030, m_bCustom);
  DDX_Radio(pDX, 1026, m_nKey);
}

void CCWKeyUsagePage::OnOptionClicked() {
  UpdateData(TRUE);
  if (!m_bCustom) {
    m_bUsage1 = 1;
    m_bUsage2 = m_bUsage3 = 0;
    m_nKey = 2;
    UpdateData(FALSE);
  }
}

LRESULT CCWKeyUsagePage::OnWizardNext() {
  UpdateData(TRUE);
  CCWizard* sheet = SheetOf(this);
  if (!sheet) return -1;
  CCertCreationInfo& info = sheet->m_Info;
  info.m_nKeyUsage1 = static_cast<DWORD>(m_bUsage1);
  info.m_nKeyUsage2 = static_cast<DWORD>(m_bUsage2);
  info.m_nKeyUsage3 = static_cast<DWORD>(m_bUsage3);
  info.m_nCustomKeyUsage = static_cast<DWORD>(m_bCustom);
  info.m_nKeySpec = m_nKey == 1 ? AT_SIGNATURE : AT_KEYEXCHANGE;
  return CPropertyPage::OnWizardNext();
}
