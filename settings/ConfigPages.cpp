#include "settings/ConfigPages.h"

#include "app/ResString.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SecurityPolicy.h"
#include "settings/ConfigRecords.h"
#include "app/DiskTolvexSettings.h"
#include "settings/EmbeddedConfigMgr.h"
#include "app/MailTolvexSettings.h"
#include "app/SettingsPageTools.h"

namespace {

// Item lists of the pages' combo boxes (one item a line).
constexpr UINT kSigningPreferenceItems = 31501;
constexpr UINT kPhraseItems = 31502;
constexpr UINT kOccurenceItems = 31503;
constexpr UINT kInsertItems = 31504;

}  // namespace

// ---- shared ----

void CSettingsPageBase::OnSettingChanged() {
  UpdateData(TRUE);
  SetModified(TRUE);
}

void CSettingsPageBase::ApplyConfigurationLock() {
  ApplyPolicySwitch(this, CSecurityPolicy::ConfigurationManager, false);
}

// ---- general ----

IMPLEMENT_DYNCREATE(CGeneralSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CGeneralSettingsPage, CSettingsPageBase)
  ON_CBN_SELCHANGE(1007, OnSettingChanged)
  ON_BN_CLICKED(1004, OnSettingChanged)
  ON_BN_CLICKED(1000, OnSettingChanged)
  ON_BN_CLICKED(1001, OnSettingChanged)
  ON_BN_CLICKED(1002, OnSettingChanged)
  ON_BN_CLICKED(1003, OnSettingChanged)
  ON_BN_CLICKED(1008, OnShredTemporaryFiles)
  ON_BN_CLICKED(1197, OnSettingChanged)
  ON_BN_CLICKED(1256, OnSettingChanged)
END_MESSAGE_MAP()

CGeneralSettingsPage::CGeneralSettingsPage() : CSettingsPageBase(IDD) {}

void CGeneralSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1117, m_lblTitle);
  DDX_Control(pDX, 1059, m_lblPolicy);
  DDX_Control(pDX, 1005, m_lblNote);
  DDX_CBIndex(pDX, 1007, m_nSigningPreferencesDialog);
  DDX_Check(pDX, 1004, m_bOnlineCertificateValidation);
  DDX_Check(pDX, 1000, m_bShowPolicySelection);
  DDX_Check(pDX, 1001, m_bShowProfileSelection);
  DDX_Check(pDX, 1002, m_bShowEncryptionPreferences);
  DDX_Check(pDX, 1003, m_bShowExpiredCertificates);
  DDX_Check(pDX, 1008, m_bShredTemporaryFiles);
  DDX_Check(pDX, 1197, m_bLaunchMultipleInstance);
  DDX_Check(pDX, 1256, m_bRegisterAddins);
}

BOOL CGeneralSettingsPage::OnInitDialog() {
  if (CPropertySheet* sheet = GetParentSheet()) {
    sheet->m_psh.dwFlags &= ~PSH_HASHELP;
    if (CWnd* help = sheet->GetDlgItem(IDHELP)) help->ShowWindow(SW_HIDE);
  }
  COfficeTolvexConfig config;
  config.LoadGeneralOptions();
  m_nSigningPreferencesDialog = static_cast<int>(config.SigningPreferencesDialog);
  m_bOnlineCertificateValidation = static_cast<int>(config.OnlineCertificateValidation);
  m_bShowPolicySelection = static_cast<int>(config.ShowPolicySelection);
  m_bShowProfileSelection = static_cast<int>(config.ShowProfileSelection);
  m_bShowEncryptionPreferences = static_cast<int>(config.ShowEncryptionPreferences);
  m_bShowExpiredCertificates = static_cast<int>(config.ShowExpiredCertificates);
  m_bShredTemporaryFiles = static_cast<int>(config.ShredTemporaryFiles);
  m_bLaunchMultipleInstance = static_cast<int>(config.LaunchMultipleInstance);
  m_bRegisterAddins = static_cast<int>(config.RegisterAddins);
  FillComboFromString(GetDlgItem(1007), kSigningPreferenceItems);
  CPropertyPage::OnInitDialog();
  m_lblPolicy.ShowWindow(SW_HIDE);
  return TRUE;
}

void CGeneralSettingsPage::OnShredTemporaryFiles() {
  if (IsDlgButtonChecked(1008) && MessageBox(LoadResString(479), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    CheckDlgButton(1008, BST_UNCHECKED);
    return;
  }
  OnSettingChanged();
}

BOOL CGeneralSettingsPage::OnApply() {
  if (!GetSafeHwnd()) return CPropertyPage::OnApply();
  UpdateData(TRUE);
  COfficeTolvexConfig config;
  config.LoadGeneralOptions();
  auto* combo = static_cast<CComboBox*>(GetDlgItem(1007));
  int selection = combo ? combo->GetCurSel() : m_nSigningPreferencesDialog;
  // No selection keeps the stored choice.
  if (selection >= 0) config.SigningPreferencesDialog = static_cast<DWORD>(selection);
  config.OnlineCertificateValidation = static_cast<DWORD>(m_bOnlineCertificateValidation);
  config.ShowPolicySelection = static_cast<DWORD>(m_bShowPolicySelection);
  config.ShowProfileSelection = static_cast<DWORD>(m_bShowProfileSelection);
  config.ShowEncryptionPreferences = static_cast<DWORD>(m_bShowEncryptionPreferences);
  config.ShowExpiredCertificates = static_cast<DWORD>(m_bShowExpiredCertificates);
  config.ShredTemporaryFiles = static_cast<DWORD>(m_bShredTemporaryFiles);
  config.LaunchMultipleInstance = static_cast<DWORD>(m_bLaunchMultipleInstance);
  config.RegisterAddins = static_cast<DWORD>(m_bRegisterAddins);
  config.SaveGeneralOptions();
  SetModified(FALSE);
  return CPropertyPage::OnApply();
}

BOOL CGeneralSettingsPage::OnSetActive() {
  ApplyConfigurationLock();
  return CPropertyPage::OnSetActive();
}

// ---- office add-in ----

IMPLEMENT_DYNCREATE(COfficeSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(COfficeSettingsPage, CSettingsPageBase)
  ON_CBN_SELCHANGE(1015, OnSettingChanged)
  ON_CBN_SELCHANGE(1017, OnSettingChanged)
  ON_CBN_SELCHANGE(1016, OnSettingChanged)
  ON_BN_CLICKED(1011, OnSettingChanged)
  ON_BN_CLICKED(1012, OnSettingChanged)
  ON_BN_CLICKED(1091, OnSettingChanged)
  ON_BN_CLICKED(1116, OnSettingChanged)
  ON_BN_CLICKED(1092, OnSettingChanged)
  ON_BN_CLICKED(1093, OnSettingChanged)
  ON_BN_CLICKED(1270, OnSettingChanged)
  ON_BN_CLICKED(1014, OnPositionBelow)
  ON_BN_CLICKED(1013, OnPositionAbove)
END_MESSAGE_MAP()

COfficeSettingsPage::COfficeSettingsPage() : CSettingsPageBase(IDD) {}

void COfficeSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1059, m_lblPolicy);
  DDX_Control(pDX, 1005, m_lblNote);
  DDX_CBIndex(pDX, 1015, m_nPhrase);
  DDX_CBIndex(pDX, 1017, m_nOccurences);
  DDX_CBIndex(pDX, 1016, m_nInsert);
  DDX_Check(pDX, 1011, m_bAutoVerification);
  DDX_Check(pDX, 1012, m_bInsertSignatureBlock);
  DDX_Check(pDX, 1091, m_bAllowBrastel);
  DDX_Check(pDX, 1116, m_bAutoLoad);
  DDX_Check(pDX, 1092, m_bCounterSign);
  DDX_Check(pDX, 1093, m_bVerifyAllSigs);
  DDX_Check(pDX, 1270, m_bConfirmContinueRevision);
}

BOOL COfficeSettingsPage::OnInitDialog() {
  COfficeTolvexConfig config;
  config.LoadOfficeOptions();
  m_nPhrase = static_cast<int>(config.Phrase);
  m_nOccurences = static_cast<int>(config.Occurences);
  m_nInsert = static_cast<int>(config.Insert);
  m_bAutoVerification = static_cast<int>(config.AutoVerification);
  m_bInsertSignatureBlock = static_cast<int>(config.InsertSignatureBlock);
  m_nSignatureBlockPosition = static_cast<int>(config.SignatureBlockPosition);
  m_bAllowBrastel = static_cast<int>(config.AllowBrastel);
  m_bAutoLoad = static_cast<int>(config.AutoLoad);
  m_bCounterSign = static_cast<int>(config.CounterSign);
  m_bVerifyAllSigs = static_cast<int>(config.VerifyAllSigs);
  m_bConfirmContinueRevision = static_cast<int>(config.ConfirmContinueRevision);
  FillComboFromString(GetDlgItem(1015), kPhraseItems);
  FillComboFromString(GetDlgItem(1017), kOccurenceItems);
  FillComboFromString(GetDlgItem(1016), kInsertItems);
  if (auto* sheet = dynamic_cast<CEmbeddedConfigMgr*>(GetParentSheet()); sheet && sheet->m_bSmartCard)
    m_bInsertSignatureBlock = 0;
  CPropertyPage::OnInitDialog();
  ApplySmartCardRule();
  // The buttons show where the block goes now.
  ShowPosition();
  m_lblPolicy.ShowWindow(SW_HIDE);
  return TRUE;
}

void COfficeSettingsPage::ApplySmartCardRule() {
  auto* sheet = dynamic_cast<CEmbeddedConfigMgr*>(GetParentSheet());
  if (!sheet || !sheet->m_bSmartCard) return;
  m_bInsertSignatureBlock = 0;
  CheckDlgButton(1012, BST_UNCHECKED);
  EnableDlgControl(this, 1012, FALSE);
}

void COfficeSettingsPage::ShowPosition() {
  CheckDlgButton(1014, m_nSignatureBlockPosition == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(1013, m_nSignatureBlockPosition == 0 ? BST_CHECKED : BST_UNCHECKED);
}

void COfficeSettingsPage::OnPositionBelow() {
  m_nSignatureBlockPosition = 1;
  SetModified(TRUE);
}

void COfficeSettingsPage::OnPositionAbove() {
  m_nSignatureBlockPosition = 0;
  SetModified(TRUE);
}

BOOL COfficeSettingsPage::OnSetActive() {
  ApplyConfigurationLock();
  ApplySmartCardRule();
  return CPropertyPage::OnSetActive();
}

BOOL COfficeSettingsPage::OnApply() {
  if (!GetSafeHwnd()) return CPropertyPage::OnApply();
  UpdateData(TRUE);
  COfficeTolvexConfig config;
  config.LoadOfficeOptions();
  struct Choice {
    int id;
    DWORD* field;
  } choices[] = {{1015, &config.Phrase}, {1017, &config.Occurences}, {1016, &config.Insert}};
  for (const Choice& c : choices) {
    auto* combo = static_cast<CComboBox*>(GetDlgItem(c.id));
    int selection = combo ? combo->GetCurSel() : -1;
    // No selection keeps the stored choice.
    if (selection >= 0) *c.field = static_cast<DWORD>(selection);
  }
  config.AutoVerification = static_cast<DWORD>(m_bAutoVerification);
  config.InsertSignatureBlock = static_cast<DWORD>(m_bInsertSignatureBlock);
  config.SignatureBlockPosition = static_cast<DWORD>(m_nSignatureBlockPosition);
  config.AllowBrastel = static_cast<DWORD>(m_bAllowBrastel);
  config.AutoLoad = static_cast<DWORD>(m_bAutoLoad);
  config.CounterSign = static_cast<DWORD>(m_bCounterSign);
  config.VerifyAllSigs = static_cast<DWORD>(m_bVerifyAllSigs);
  config.ConfirmContinueRevision = static_cast<DWORD>(m_bConfirmContinueRevision);
  config.SaveOfficeOptions();
  SetModified(FALSE);
  return CPropertyPage::OnApply();
}

// ---- disk protection ----

IMPLEMENT_DYNCREATE(CDiskTolvexSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CDiskTolvexSettingsPage, CSettingsPageBase)
  ON_BN_CLICKED(1255, OnSettingChanged)
  ON_BN_CLICKED(1253, OnSettingChanged)
  ON_BN_CLICKED(1254, OnSettingChanged)
  ON_BN_CLICKED(1257, OnSettingChanged)
END_MESSAGE_MAP()

CDiskTolvexSettingsPage::CDiskTolvexSettingsPage() : CSettingsPageBase(IDD) {}

void CDiskTolvexSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, 1255, m_bMountStartup);
  DDX_Check(pDX, 1253, m_bQuickFormat);
  DDX_Check(pDX, 1254, m_bShredCache);
  DDX_Check(pDX, 1257, m_bAutoDetectSmartCard);
}

BOOL CDiskTolvexSettingsPage::OnInitDialog() {
  CDiskTolvexSettings settings(HKEY_CURRENT_USER, kDiskTolvexKey);
  settings.Load();
  m_bMountStartup = static_cast<int>(settings.m_bMountStartup);
  m_bQuickFormat = static_cast<int>(settings.m_bQuickFormat);
  m_bShredCache = static_cast<int>(settings.m_bShredCache);
  m_bAutoDetectSmartCard = static_cast<int>(settings.m_bAutoDetectSmartCard);
  CPropertyPage::OnInitDialog();
  return TRUE;
}

BOOL CDiskTolvexSettingsPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  // Loaded again so that the value without a control keeps what is stored.
  CDiskTolvexSettings settings(HKEY_CURRENT_USER, kDiskTolvexKey);
  settings.Load();
  settings.m_bMountStartup = static_cast<DWORD>(m_bMountStartup);
  settings.m_bQuickFormat = static_cast<DWORD>(m_bQuickFormat);
  settings.m_bShredCache = static_cast<DWORD>(m_bShredCache);
  settings.m_bAutoDetectSmartCard = static_cast<DWORD>(m_bAutoDetectSmartCard);
  settings.Save();
  return CPropertyPage::OnApply();
}

BOOL CDiskTolvexSettingsPage::OnSetActive() {
  ApplyConfigurationLock();
  return CPropertyPage::OnSetActive();
}

// ---- shredder ----

IMPLEMENT_DYNCREATE(CShredSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CShredSettingsPage, CSettingsPageBase)
  ON_BN_CLICKED(1052, OnSettingChanged)
  ON_BN_CLICKED(1053, OnSettingChanged)
  ON_BN_CLICKED(1045, OnSettingChanged)
  ON_BN_CLICKED(1043, OnSettingChanged)
  ON_BN_CLICKED(1044, OnSettingChanged)
  ON_BN_CLICKED(1039, OnSettingChanged)
  ON_BN_CLICKED(1040, OnSettingChanged)
END_MESSAGE_MAP()

CShredSettingsPage::CShredSettingsPage() : CSettingsPageBase(IDD) {}

void CShredSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, 1052, m_bDesktopAddinEnabled);
  DDX_Check(pDX, 1053, m_bSlowPollEnabled);
  DDX_Check(pDX, 1045, m_bResultsForUnusedSpace);
  DDX_Check(pDX, 1043, m_bResultsOnlyWhenFailed);
  DDX_Check(pDX, 1044, m_bResultsForFiles);
  DDX_Check(pDX, 1039, m_bClearSwap);
  DDX_Check(pDX, 1040, m_bResultsDesktopAddin);
}

BOOL CShredSettingsPage::OnInitDialog() {
  CShredderSettings settings(HKEY_CURRENT_USER, kShredderKey);
  settings.Load();
  m_bDesktopAddinEnabled = static_cast<int>(settings.ShredderDesktopAddinEnabled);
  m_bSlowPollEnabled = 0;
  m_bResultsForUnusedSpace = static_cast<int>(settings.ShredResultsForUnusedSpace);
  m_bResultsOnlyWhenFailed = static_cast<int>(settings.ShredResultsOnlyWhenFailed);
  m_bResultsForFiles = static_cast<int>(settings.ShredResultsForFiles);
  m_bClearSwap = static_cast<int>(settings.ClearSwap);
  m_bResultsDesktopAddin = static_cast<int>(settings.ResultsShredderDesktopAddin);
  CPropertyPage::OnInitDialog();
  // Only an administrator may change the machine's page-file switch.
  EnableDlgControl(this, 1039, IsNtPlatform() && IsUserInAdminGroup());
  return TRUE;
}

BOOL CShredSettingsPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  CShredderSettings settings(HKEY_CURRENT_USER, kShredderKey);
  settings.Load();
  settings.ShredderDesktopAddinEnabled = static_cast<DWORD>(m_bDesktopAddinEnabled);
  settings.ShredderSlowPollEnabled = 0;
  settings.ShredResultsForUnusedSpace = static_cast<DWORD>(m_bResultsForUnusedSpace);
  settings.ShredResultsOnlyWhenFailed = static_cast<DWORD>(m_bResultsOnlyWhenFailed);
  settings.ShredResultsForFiles = static_cast<DWORD>(m_bResultsForFiles);
  settings.ClearSwap = static_cast<DWORD>(m_bClearSwap);
  settings.ResultsShredderDesktopAddin = static_cast<DWORD>(m_bResultsDesktopAddin);
  settings.Save();
  if (IsNtPlatform()) {
    // A user without the right to write it changes nothing.
    CPageFileSettings pageFile(HKEY_LOCAL_MACHINE, kPageFileKey);
    pageFile.Load();
    pageFile.ClearPageFileAtShutdown = static_cast<DWORD>(m_bClearSwap);
    pageFile.Save();
  }
  return CPropertyPage::OnApply();
}

BOOL CShredSettingsPage::OnSetActive() {
  ApplyConfigurationLock();
  return CPropertyPage::OnSetActive();
}

// ---- document management ----

IMPLEMENT_DYNCREATE(CHummingbirdSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CHummingbirdSettingsPage, CSettingsPageBase)
  ON_BN_CLICKED(1273, OnSettingChanged)
  ON_BN_CLICKED(1274, OnSettingChanged)
  ON_BN_CLICKED(1271, OnSettingChanged)
  ON_BN_CLICKED(1272, OnSettingChanged)
END_MESSAGE_MAP()

CHummingbirdSettingsPage::CHummingbirdSettingsPage() : CSettingsPageBase(IDD) {}

void CHummingbirdSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1005, m_lblNote);
  DDX_Check(pDX, 1273, m_bOfficeIntegration);
  DDX_Check(pDX, 1274, m_bExplorerIntegration);
  DDX_Check(pDX, 1271, m_bAutoDetect);
  DDX_Check(pDX, 1272, m_bRegister);
}

BOOL CHummingbirdSettingsPage::OnInitDialog() {
  CHummingbirdSettings settings(HKEY_CURRENT_USER, kHummingbirdKey);
  settings.Load();
  // Missing values are written with their defaults at once.
  settings.Save();
  m_bOfficeIntegration = static_cast<int>(settings.m_bHM_OfficeIntegration);
  m_bExplorerIntegration = static_cast<int>(settings.m_bHM_ExplorerIntegration);
  m_bAutoDetect = static_cast<int>(settings.m_bHM_AutoDetect);
  m_bRegister = static_cast<int>(settings.m_bHM_Register);
  CPropertyPage::OnInitDialog();
  return TRUE;
}

void CHummingbirdSettingsPage::Store() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  CHummingbirdSettings settings(HKEY_CURRENT_USER, kHummingbirdKey);
  settings.Load();
  settings.m_bHM_OfficeIntegration = static_cast<DWORD>(m_bOfficeIntegration);
  settings.m_bHM_ExplorerIntegration = static_cast<DWORD>(m_bExplorerIntegration);
  settings.m_bHM_AutoDetect = static_cast<DWORD>(m_bAutoDetect);
  settings.m_bHM_Register = static_cast<DWORD>(m_bRegister);
  settings.Save();
}

BOOL CHummingbirdSettingsPage::OnApply() {
  Store();
  // The framework's apply ends in OnOK, which would store the same values again.
  CPropertyPage::OnOK();
  return TRUE;
}

void CHummingbirdSettingsPage::OnOK() {
  Store();
  CPropertyPage::OnOK();
}
