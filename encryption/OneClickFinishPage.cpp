#include "encryption/OneClickFinishPage.h"

#include <memory>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/CertSheet.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SettingsStore.h"
#include "encryption/OneClickPresets.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "signing/EncryptionOptionsDialog.h"
#include "signing/SignSheet.h"

namespace {

enum {
  IDC_CERT_LABEL = 1019,
  IDC_CERT_NAME = 1017,
  IDC_CERT_PICK = 1014,
  IDC_CERT_NONE = 1015,
  IDC_CHECK1 = 1018,
  IDC_CHECK2 = 1062,
  IDC_CHECK3 = 1063,
  IDC_SELECT_CERT = 1008,
  IDC_OPTIONS = 1064,
  IDC_LIST = 1067,
  IDC_SPIN = 1072,
  IDC_COUNT_LABEL = 1069,
  IDC_LIST_LABEL = 1068,
  IDC_COUNT = 1070,
  IDC_COUNT_CHECK = 1065,
  IDC_LIST_CHECK = 1066
};

constexpr int kFinishCode = 105;
// A reset or raced counter must not make a save overwrite a preset: numbers already taken are passed over.
constexpr DWORD kNumbersTried = 10000;

void Enable(CWnd* window, int id, BOOL on) {
  if (CWnd* control = window->GetDlgItem(id)) control->EnableWindow(on);
}

}  // namespace

// ---- options dialog ----

BEGIN_MESSAGE_MAP(OneClickOptionsDialog, CDialog)
  ON_BN_CLICKED(IDC_COUNT_CHECK, OnCountCheck)
  ON_BN_CLICKED(IDC_LIST_CHECK, OnListCheck)
END_MESSAGE_MAP()

OneClickOptionsDialog::OneClickOptionsDialog(CWnd* pParent) : CDialog(IDD, pParent) {}

void OneClickOptionsDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LIST, m_cboList);
  DDX_Control(pDX, IDC_SPIN, m_spnCount);
  DDX_Control(pDX, IDC_COUNT_LABEL, m_lblCount);
  DDX_Control(pDX, IDC_LIST_LABEL, m_lblList);
  DDX_Text(pDX, IDC_COUNT, m_nCount);
  DDV_MinMaxUInt(pDX, m_nCount, 1, 1000);
  DDX_CBIndex(pDX, IDC_LIST, m_nListIndex);
  DDX_Check(pDX, IDC_COUNT_CHECK, m_bCount);
  DDX_Check(pDX, IDC_LIST_CHECK, m_bList);
}

BOOL OneClickOptionsDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  OnCountCheck();
  OnListCheck();
  return TRUE;
}

void OneClickOptionsDialog::OnCountCheck() {
  UpdateData(TRUE);
  for (int id : {IDC_SPIN, IDC_COUNT, IDC_COUNT_LABEL}) Enable(this, id, m_bCount);
}

void OneClickOptionsDialog::OnListCheck() {
  UpdateData(TRUE);
  for (int id : {IDC_LIST, IDC_LIST_LABEL}) Enable(this, id, m_bList);
}

// ---- finish page ----

IMPLEMENT_DYNCREATE(COneClickFinishPage, CPropertyPage)

BEGIN_MESSAGE_MAP(COneClickFinishPage, CPropertyPage)
  ON_BN_CLICKED(IDC_CERT_PICK, OnCertChoicePick)
  ON_BN_CLICKED(IDC_CERT_NONE, OnCertChoiceNone)
  ON_BN_CLICKED(IDC_SELECT_CERT, OnSelectCertificate)
  ON_BN_CLICKED(IDC_OPTIONS, OnOptions)
END_MESSAGE_MAP()

COneClickFinishPage::COneClickFinishPage() : CPropertyPage(IDD, 0, 144, 145) {}

CSignSheet* COneClickFinishPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

void COneClickFinishPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CERT_LABEL, m_lblCertificate);
  DDX_Text(pDX, IDC_CERT_NAME, m_strCertName);
  DDX_Radio(pDX, IDC_CERT_PICK, m_nCertChoice);
  DDX_Check(pDX, IDC_CHECK1, m_bCheck1);
  DDX_Check(pDX, IDC_CHECK2, m_bCheck2);
  DDX_Check(pDX, IDC_CHECK3, m_bCheck3);
}

void COneClickFinishPage::SetButtons(bool allowOn) {
  CPropertySheet* sheet = GetParentSheet();
  if (!sheet) return;
  if (!allowOn) {
    sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_DISABLEDFINISH);
    return;
  }
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  sheet->SetWizardButtons(config.ShowFinishPage ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK | PSWIZB_FINISH);
}

BOOL COneClickFinishPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  OnCertChoicePick();
  return TRUE;
}

void COneClickFinishPage::OnCertChoicePick() {
  UpdateData(TRUE);
  Enable(this, IDC_SELECT_CERT, TRUE);
  Enable(this, IDC_CERT_LABEL, TRUE);
  SetButtons(!m_strCertName.IsEmpty());
}

void COneClickFinishPage::OnCertChoiceNone() {
  UpdateData(TRUE);
  m_strCertName.Empty();
  UpdateData(FALSE);
  SetButtons(true);
  Enable(this, IDC_SELECT_CERT, FALSE);
  Enable(this, IDC_CERT_LABEL, FALSE);
}

BOOL COneClickFinishPage::OnSetActive() {
  // Arriving from another page: Back returns there. The page being left is still the active one.
  if (CPropertySheet* sheet = GetParentSheet()) {
    CPropertyPage* active = sheet->GetActivePage();
    if (active && active != this) m_pCameFrom = active;
  }
  SetButtons(!(m_nCertChoice == 0 && m_strCertName.IsEmpty()));
  return CPropertyPage::OnSetActive();
}

LRESULT COneClickFinishPage::OnWizardBack() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardBack();
  if (m_pCameFrom && sheet->GetPageIndex(m_pCameFrom) >= 0) {
    sheet->SetActivePage(m_pCameFrom);
  } else {
    sheet->GoToPage(sheet->m_WizardData.m_nMode == 0 ? CSignSheet::kRecipientsPage : 8);
  }
  return -1;
}

void COneClickFinishPage::OnSelectCertificate() {
  CFormsObjectProvider provider;
  CBaseSheet* made = nullptr;
  provider.CreateSheetByName("CCertSheet", this, &made);
  std::unique_ptr<CBaseSheet> owner(made);
  if (auto* picker = dynamic_cast<CCertSheet*>(made)) {
    picker->SetTitle(LoadResString(298), 0);
    picker->m_bHosted = 0;
    picker->m_bSelectionMode = 1;
    for (int i = 0; i < 2 && picker->GetPageCount() > 2; ++i) picker->RemovePage(2);
    if (picker->DoModal() == IDOK) {
      CEncryptionOptionsDialog options(this);
      if (options.DoModal() == IDOK) {
        m_nCipherIndex = options.m_nAlgorithmIndex;
        m_nKeyLengthIndex = options.m_nKeyLengthIndex;
        m_certPicked = picker->m_ResultCertificate;
        m_strCertName = picker->m_strSubjectName;
        m_strCertIssuer = picker->m_strIssuerName;
        m_strCertValidTo = picker->m_strValidTo;
        UpdateData(FALSE);
        SetButtons(true);
      } else {
        AfxMessageBox("Selection Cancelled.", MB_OK);
      }
    }
  }
  owner.reset();
  ResetSheetRegistry();
}

void COneClickFinishPage::OnOptions() {
  // Its choices are the dialog's own: nothing reads them afterwards.
  OneClickOptionsDialog options(nullptr);
  options.DoModal();
}

bool COneClickFinishPage::SavePreset() {
  UpdateData(TRUE);
  CSignSheet* sheet = Sheet();
  if (!sheet) return true;
  const CProtectWizardData& data = sheet->m_WizardData;
  if (m_nCertChoice == 0 && !data.m_strSignatureImagePath.IsEmpty() && m_strCertName.IsEmpty()) {
    AfxMessageBox(LoadResString(298), MB_OK);
    return false;
  }
  CFileManager files;
  CBaseKesmoraFile* made = files.CreateFileObject("KCLK");
  std::unique_ptr<COneClickFile> preset(dynamic_cast<COneClickFile*>(made));
  if (!preset) {
    delete made;
    return true;
  }
  CHiveSettings settings("Software\\Kesmora\\OfficeTolvex");
  settings.UseCurrentUser();
  CString folder;
  settings.GetString("OneClickManager", "OneClickFolder", folder, "");
  if (folder.IsEmpty() || (GetFileAttributes(folder) == INVALID_FILE_ATTRIBUTES && !CreateDirectory(folder, nullptr))) {
    AfxMessageBox(LoadResString(317), MB_OK);
    return false;
  }
  // The next number, written back at once: numbers are never reused, also when the save fails.
  DWORD number = 0;
  settings.GetDword("OneClickManager", "OneClickID", &number, 0);
  CString path;
  bool reserved = false;
  for (DWORD tries = 0; tries < kNumbersTried && !reserved; ++tries) {
    ++number;
    path = kx::oneclick::PresetPath(folder, number);
    HANDLE h = CreateFile(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      reserved = true;
    } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  settings.SetDword("OneClickManager", "OneClickID", number);
  m_strSavedPath.Empty();
  if (reserved && kx::oneclick::FillPreset(*preset, data) && preset->Save(path)) {
    m_strSavedPath = path;
    AfxMessageBox(LoadResString(550) + " " + LoadResString(551), MB_OK);
  } else if (reserved) {
    // Nothing half-written stays under the number.
    DeleteFile(path);
  }
  return true;
}

LRESULT COneClickFinishPage::OnWizardNext() {
  if (!SavePreset()) return -1;
  return CPropertyPage::OnWizardNext();
}

BOOL COneClickFinishPage::OnWizardFinish() {
  if (!SavePreset()) return FALSE;
  CWnd* main = AfxGetMainWnd();
  if (main && main->GetSafeHwnd()) main->PostMessage(WM_USER + 1000, kFinishCode, 0);
  return CPropertyPage::OnWizardFinish();
}
