// The welcome, file, cipher and one-click pages of the encryption wizard.
#include "encryption/EncryptionPages.h"

#include "app/ResString.h"
#include "encryption/EncryptionWizard.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"

namespace {

enum {
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_FIRST = 1059,
  IDC_LINK_SECOND = 1275,
  IDC_OPTION = 1213,
  IDC_FIRST_OPERATION = 1022,
  IDC_OPTIONS_BUTTON = 1221,
  IDC_PASSWORD_CAPTION = 1220,
  IDC_CONFIRM_CAPTION = 1219,
  IDC_PASSWORD = 1218,
  IDC_CONFIRM = 1071,
  IDC_CIPHER_CAPTION = 1062,
  IDC_KEY_CAPTION = 1061,
  IDC_SAVE_DEFAULTS = 1041,
  IDC_USE_DEFAULTS = 1040,
  IDC_CIPHER = 1038,
  IDC_KEY_LENGTH = 1039,
  IDC_DERIVATION = 1223,
  IDC_DERIVATION_MD5 = 1224
};

void Enable(CWnd* page, int id, BOOL on) {
  if (CWnd* control = page->GetDlgItem(id)) control->EnableWindow(on);
}

// The cipher entries in the order of the combo, with their item codes.
const char* const kCiphers[] = {"DES", "Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)", "AES", "Blowfish", "Twofish"};

struct KeyLengths {
  int bits[4];
  int codes[4];
  int count;
  int selected;
};
// By cipher item code: the key-length entries (bits and item code) and the entry selected after a fill.
const KeyLengths kKeyLengths[] = {
    {{56, 40}, {0, 2}, 2, 0},
    {{128}, {1}, 1, 0},
    {{40, 128}, {2, 1}, 2, 1},
    {{40, 128}, {2, 1}, 2, 0},
    {{128, 192}, {1, 4}, 2, 1},
    {{128, 192, 256}, {1, 4, 5}, 3, 2},
    {{128, 192, 256, 448}, {1, 4, 5, 6}, 4, 2},
    {{128, 192, 256}, {1, 4, 5}, 3, 1},
};

}  // namespace

// ---- page 0 ----

IMPLEMENT_DYNCREATE(CEncryptMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CEncryptMainPage, CPropertyPage)
END_MESSAGE_MAP()

CEncryptMainPage::CEncryptMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CEncryptMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LINK_FIRST, m_linkFirst);
  DDX_Control(pDX, IDC_LINK_SECOND, m_linkSecond);
  DDX_Check(pDX, IDC_OPTION, m_nOption);
  DDX_Radio(pDX, IDC_FIRST_OPERATION, m_nOperation);
}

BOOL CEncryptMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  kx::encryption::SetUpWelcomePage(m_lblTitle, m_lblText, m_linkFirst, m_linkSecond);
  return TRUE;
}

BOOL CEncryptMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT CEncryptMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (auto* sheet = dynamic_cast<CEncryptionWizard*>(GetParentSheet()))
    sheet->m_WizardData.m_nMode = m_nOperation == 1 ? 4 : 0;
  return CPropertyPage::OnWizardNext();
}

// ---- page 1 ----

IMPLEMENT_DYNCREATE(EncFileSel, CFileChoicePageBase)

EncFileSel::EncFileSel() : CFileChoicePageBase(IDD) {}

CEncryptionWizard* EncFileSel::Sheet() { return dynamic_cast<CEncryptionWizard*>(GetParentSheet()); }

CProtectWizardData* EncFileSel::WizardData() {
  CEncryptionWizard* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

CSystemProfile* EncFileSel::SystemProfile() {
  CEncryptionWizard* sheet = Sheet();
  return sheet ? &sheet->m_SystemProfile : nullptr;
}

CString EncFileSel::SeveralFilesText() { return "Multiple Selected Files..."; }

CFileChoicePageBase::InputChoice EncFileSel::InputDialogs() {
  const CString title = LoadResString(565);
  if (m_bProtectedInput) return {"*.ETV", 584, title, false};
  return {"*.*", 268, title, false};
}

// ---- page 2 ----

IMPLEMENT_DYNCREATE(EncyptInfoPage, CPropertyPage)

BEGIN_MESSAGE_MAP(EncyptInfoPage, CPropertyPage)
  ON_CBN_SELCHANGE(IDC_CIPHER, FillKeyLengths)
  ON_BN_CLICKED(IDC_USE_DEFAULTS, OnUseDefaults)
END_MESSAGE_MAP()

EncyptInfoPage::EncyptInfoPage() : CPropertyPage(IDD, 0, 112, 109) {}

CEncryptionWizard* EncyptInfoPage::Sheet() { return dynamic_cast<CEncryptionWizard*>(GetParentSheet()); }

void EncyptInfoPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_OPTIONS_BUTTON, m_btnOptions);
  DDX_Control(pDX, IDC_PASSWORD_CAPTION, m_stcPassword);
  DDX_Control(pDX, IDC_CONFIRM_CAPTION, m_stcConfirm);
  DDX_Text(pDX, IDC_PASSWORD, m_strPassword);
  DDX_Text(pDX, IDC_CONFIRM, m_strConfirm);
  DDX_Control(pDX, IDC_CIPHER_CAPTION, m_lblCipher);
  DDX_Control(pDX, IDC_KEY_CAPTION, m_lblKeyLength);
  DDX_Check(pDX, IDC_SAVE_DEFAULTS, m_nSaveAsDefault);
  DDX_Check(pDX, IDC_USE_DEFAULTS, m_nUseDefaults);
  DDX_CBIndex(pDX, IDC_CIPHER, m_nCipherSel);
  DDX_CBIndex(pDX, IDC_KEY_LENGTH, m_nKeyLengthSel);
  DDX_Radio(pDX, IDC_DERIVATION, m_nDerivation);
}

BOOL EncyptInfoPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (auto* combo = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER))) {
    combo->ResetContent();
    for (int code = 0; code < 8; ++code) combo->SetItemData(combo->AddString(kCiphers[code]), code);
  }
  m_nCipherSel = 5;
  UpdateData(FALSE);
  FillKeyLengths();
  return TRUE;
}

void EncyptInfoPage::FillKeyLengths() {
  UpdateData(TRUE);
  auto* ciphers = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!ciphers || !lengths) return;
  lengths->ResetContent();
  const int sel = ciphers->GetCurSel();
  if (sel < 0) return;
  const KeyLengths& entries = kKeyLengths[ciphers->GetItemData(sel) & 7];
  const CString unit = LoadResString(429);
  for (int i = 0; i < entries.count; ++i) {
    CString text;
    text.Format("%d %s", entries.bits[i], static_cast<const char*>(unit));
    lengths->SetItemData(lengths->AddString(text), entries.codes[i]);
  }
  m_nKeyLengthSel = entries.selected;
  UpdateData(FALSE);
}

void EncyptInfoPage::OnUseDefaults() {
  UpdateData(TRUE);
  Enable(this, IDC_CIPHER, !m_nUseDefaults);
  Enable(this, IDC_KEY_LENGTH, !m_nUseDefaults);
}

BOOL EncyptInfoPage::OnSetActive() {
  CEncryptionWizard* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnSetActive();
  sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  // Decrypting takes the cipher the file records.
  const BOOL choose = sheet->m_WizardData.m_nMode != 4;
  for (int id : {IDC_CIPHER, IDC_KEY_LENGTH, IDC_DERIVATION, IDC_DERIVATION_MD5, IDC_USE_DEFAULTS}) Enable(this, id, choose);
  return CPropertyPage::OnSetActive();
}

LRESULT EncyptInfoPage::OnWizardNext() {
  CEncryptionWizard* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  UpdateData(TRUE);
  auto* ciphers = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!ciphers || ciphers->GetCurSel() < 0) {
    AfxMessageBox(LoadResString(427), MB_OK);
    return -1;
  }
  if (!lengths || lengths->GetCurSel() < 0) {
    AfxMessageBox(LoadResString(428), MB_OK);
    return -1;
  }
  if (m_strPassword.IsEmpty() || m_strConfirm.IsEmpty()) {
    AfxMessageBox(LoadResString(582), MB_OK);
    return -1;
  }
  // The key is made from the password's bytes as typed: a confirmation that differs in letter case is a
  // different password.
  if (m_strPassword != m_strConfirm) {
    AfxMessageBox(LoadResString(583) + " " + LoadResString(582), MB_OK);
    return -1;
  }
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_nSymmetricOption = m_nDerivation;
  data.m_strPassword = m_strPassword;
  // Engine codes of the cipher item codes (-1: the engine does not take part) and own indexes.
  static const int kEngineCipher[] = {2, 3, 0, 1, 3, 3, -1, -1};
  const int cipher = static_cast<int>(ciphers->GetItemData(ciphers->GetCurSel()) & 7);
  if (kEngineCipher[cipher] >= 0) data.m_nCipher = kEngineCipher[cipher];
  data.m_nSymmetricCipher = cipher;
  // Engine key-length codes of the key item codes (-1: not an engine key length).
  static const int kEngineKeyLength[] = {2, 3, 1, -1, 4, -1, -1};
  const int key = static_cast<int>(lengths->GetItemData(lengths->GetCurSel()) % 7);
  if (kEngineKeyLength[key] >= 0) data.m_nKeyLength = kEngineKeyLength[key];
  data.m_nSymmetricKeySize = key;
  data.m_bUseProfileCipher = 0;
  CSystemProfile& profile = sheet->m_SystemProfile;
  if (m_nUseDefaults) {
    data.m_bUseProfileCipher = 1;
    data.m_nKeyLength = profile.KeyLength;
    data.m_nCipher = profile.Algorithm;
  }
  if (m_nSaveAsDefault) {
    profile.KeyLength = data.m_nKeyLength;
    profile.Algorithm = data.m_nCipher;
  }
  return CPropertyPage::OnWizardNext();
}

BOOL EncyptInfoPage::OnWizardFinish() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_FINISH);
  return CPropertyPage::OnWizardFinish();
}

// ---- page 5 ----

IMPLEMENT_DYNCREATE(EncOneClickPage, CPropertyPage)

EncOneClickPage::EncOneClickPage() : CPropertyPage(IDD, 0, 168, 169) {}

void EncOneClickPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1037, m_stcFirst);
  DDX_Control(pDX, 1220, m_stcSecond);
  DDX_Control(pDX, 1219, m_stcThird);
  DDX_Control(pDX, 1060, m_stcFourth);
  DDX_Text(pDX, 1031, m_strPath);
  DDX_Text(pDX, 1218, m_strPassword);
  DDX_Text(pDX, 1071, m_strConfirm);
  DDX_Text(pDX, 1032, m_strFolder);
  DDX_Check(pDX, 1035, m_bOption);
}
