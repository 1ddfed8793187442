// The cipher page: the content cipher and key length of the encrypting operations, as the security engine's
// codes. Entries the protected-file format in use cannot write are not offered.
#include "app/ResString.h"
#include "core/TvxFormatSettings.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/registry.h"
#include "signing/SignSheet.h"
#include "signing/SignerPages.h"

namespace {

enum { IDC_CIPHER = 1038, IDC_KEY_LENGTH = 1039, IDC_USE_PROFILE = 1040, IDC_SAVE_DEFAULT = 1041 };

struct KeyLength {
  const char* bits;
  int code;
};

struct CipherEntry {
  const char* name;
  int code;
  KeyLength lengths[3];
  int preselected;  // the code chosen when the cipher is picked
  bool needsOwnFormat;
};

// The engine's codes: ciphers 0 RC2, 1 RC4, 2 DES, 3 triple DES, 4 AES; key lengths 0 maximum, 1 40 bits,
// 2 56, 3 128, 4 192, 5 256. The 168-bit key of three-key triple DES is the engine's maximum.
const CipherEntry kCiphers[] = {
    {"DES", 2, {{"56 ", 2}, {"40 ", 1}, {nullptr, 0}}, 2, false},
    {"Triple DES (2-Key)", 3, {{"128 ", 3}, {nullptr, 0}, {nullptr, 0}}, 3, false},
    {"RC2", 0, {{"40 ", 1}, {"128 ", 3}, {nullptr, 0}}, 3, false},
    {"RC4", 1, {{"40 ", 1}, {"128 ", 3}, {nullptr, 0}}, 1, false},
    {"Triple DES (3-Key)", 3, {{"128 ", 3}, {"168 ", 0}, {"192 ", 4}}, 4, false},
    {"AES", 4, {{"128 ", 3}, {"256 ", 5}, {nullptr, 0}}, 5, true},
};
constexpr int kCipherCount = sizeof kCiphers / sizeof kCiphers[0];

// The system's own cipher (format version 2) takes keys of 128, 192 and 256 bits only.
bool OwnFormatKey(int code) { return code >= 3 && code <= 5; }

int FormatVersion() {
  CTvxFormatSettings settings(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence");
  settings.Load();
  return settings.m_nFormatVersion;
}

}  // namespace

IMPLEMENT_DYNCREATE(CPWProgressPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWProgressPage, CPropertyPage)
  ON_CBN_SELCHANGE(IDC_CIPHER, FillKeyLengths)
  ON_BN_CLICKED(IDC_USE_PROFILE, OnUseDefaults)
END_MESSAGE_MAP()

CPWProgressPage::CPWProgressPage() : CPropertyPage(IDD, 0, 112, 109) {}

void CPWProgressPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1062, m_lblCipher);
  DDX_Control(pDX, 1061, m_lblKeyLength);
  DDX_Check(pDX, IDC_SAVE_DEFAULT, m_bSaveAsDefault);
  DDX_Check(pDX, IDC_USE_PROFILE, m_bUseProfileCipher);
  DDX_CBIndex(pDX, IDC_CIPHER, m_nCipherSel);
  DDX_CBIndex(pDX, IDC_KEY_LENGTH, m_nKeyLengthSel);
}

BOOL CPWProgressPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (lengths) lengths->ResetContent();
  auto* ciphers = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER));
  if (!ciphers) return TRUE;
  ciphers->ResetContent();
  const bool ownFormat = FormatVersion() > 1;
  for (int i = 0; i < kCipherCount; ++i) {
    const CipherEntry& entry = kCiphers[i];
    if (entry.needsOwnFormat && !ownFormat) continue;
    // A cipher none of whose key lengths the format can write is left out.
    bool usable = !ownFormat;
    for (const KeyLength& length : entry.lengths) usable = usable || (length.bits && OwnFormatKey(length.code));
    if (!usable) continue;
    int item = ciphers->AddString(entry.name);
    ciphers->SetItemData(item, static_cast<DWORD_PTR>(i));
  }
  int first = ciphers->FindStringExact(-1, "Triple DES (2-Key)");
  ciphers->SetCurSel(first >= 0 ? first : 0);
  m_nCipherSel = ciphers->GetCurSel();
  UpdateData(FALSE);
  FillKeyLengths();
  return TRUE;
}

void CPWProgressPage::FillKeyLengths() {
  UpdateData(TRUE);
  auto* ciphers = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!ciphers || !lengths) return;
  lengths->ResetContent();
  if (m_nCipherSel < 0 || m_nCipherSel >= ciphers->GetCount()) return;
  const CipherEntry& entry = kCiphers[ciphers->GetItemData(m_nCipherSel)];
  const bool ownFormat = FormatVersion() > 1;
  const CString bits = LoadResString(429);
  int preselected = -1;
  for (const KeyLength& length : entry.lengths) {
    if (!length.bits || (ownFormat && !OwnFormatKey(length.code))) continue;
    int item = lengths->AddString(CString(length.bits) + bits);
    lengths->SetItemData(item, static_cast<DWORD_PTR>(length.code));
    if (length.code == entry.preselected) preselected = item;
  }
  lengths->SetCurSel(preselected >= 0 ? preselected : 0);
  m_nKeyLengthSel = lengths->GetCurSel();
}

void CPWProgressPage::OnUseDefaults() {
  UpdateData(TRUE);
  const BOOL enable = m_bUseProfileCipher ? FALSE : TRUE;
  if (CWnd* w = GetDlgItem(IDC_CIPHER)) w->EnableWindow(enable);
  if (CWnd* w = GetDlgItem(IDC_KEY_LENGTH)) w->EnableWindow(enable);
}

BOOL CPWProgressPage::OnSetActive() {
  if (auto* sheet = dynamic_cast<CSignSheet*>(GetParentSheet())) {
    sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    // Arriving from the page before (not back from the recipients): Back returns there. The page being left
    // is still the active one.
    CPropertyPage* active = sheet->GetActivePage();
    if (active && active != this && active != sheet->GetWizardPage(CSignSheet::kRecipientsPage))
      m_nCameFrom = sheet->GetWizardPlace(active);
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CPWProgressPage::OnWizardBack() {
  auto* sheet = dynamic_cast<CSignSheet*>(GetParentSheet());
  if (!sheet) return CPropertyPage::OnWizardBack();
  int place = m_nCameFrom;
  // The preset wizard passes over its file page.
  if (place == CSignSheet::kFilePage && sheet->IsOneClick()) place = CSignSheet::kMainPage;
  if (place < 0) place = sheet->IsOneClick() || sheet->IsProfileLoaded() ? CSignSheet::kSignersPage : CSignSheet::kFilePage;
  if (!sheet->GoToPage(place)) return CPropertyPage::OnWizardBack();
  return -1;
}

bool CPWProgressPage::GetSelectedCodes(int& cipher, int& keyLength) {
  auto* ciphers = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!ciphers || !lengths) return false;
  if (m_nCipherSel < 0 || m_nCipherSel >= ciphers->GetCount()) return false;
  if (m_nKeyLengthSel < 0 || m_nKeyLengthSel >= lengths->GetCount()) return false;
  cipher = kCiphers[ciphers->GetItemData(m_nCipherSel)].code;
  keyLength = static_cast<int>(lengths->GetItemData(m_nKeyLengthSel));
  return true;
}

LRESULT CPWProgressPage::OnWizardNext() {
  UpdateData(TRUE);
  auto* sheet = dynamic_cast<CSignSheet*>(GetParentSheet());
  auto* ciphers = static_cast<CComboBox*>(GetDlgItem(IDC_CIPHER));
  if (!ciphers || m_nCipherSel < 0 || m_nCipherSel >= ciphers->GetCount()) {
    AfxMessageBox(LoadResString(427), MB_OK);
    return -1;
  }
  int cipher = -1, keyLength = -1;
  if (!GetSelectedCodes(cipher, keyLength)) {
    AfxMessageBox(LoadResString(428), MB_OK);
    return -1;
  }
  if (!sheet) return CPropertyPage::OnWizardNext();
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_nCipher = cipher;
  data.m_nKeyLength = keyLength;
  data.m_bUseProfileCipher = 0;
  CSystemProfile& profile = sheet->m_SystemProfile;
  if (m_bUseProfileCipher) {
    profile.Load();
    data.m_bUseProfileCipher = 1;
    data.m_nKeyLength = profile.KeyLength;
    data.m_nCipher = profile.Algorithm;
  }
  if (m_bSaveAsDefault) {
    profile.KeyLength = data.m_nKeyLength;
    profile.Algorithm = data.m_nCipher;
    profile.Save();
  }
  if (sheet->IsProfileLoaded()) {
    data.m_arrRecipientCerts = data.m_arrSignerCerts;
    return CPropertyPage::OnWizardNext();
  }
  return CPropertyPage::OnWizardNext();
}
