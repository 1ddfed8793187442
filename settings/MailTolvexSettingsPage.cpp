#include "settings/MailTolvexSettingsPage.h"

#include "core/SecurityPolicy.h"
#include "settings/ConfigRecords.h"
#include "settings/MailOptionDialogs.h"
#include "app/MailTolvexSettings.h"
#include "app/SettingsPageTools.h"

IMPLEMENT_DYNCREATE(CMailTolvexSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CMailTolvexSettingsPage, CSettingsPageBase)
  ON_BN_CLICKED(1109, OnSettingChanged)
  ON_BN_CLICKED(1250, OnSettingChanged)
  ON_BN_CLICKED(1249, OnSettingChanged)
  ON_BN_CLICKED(1252, OnCompression)
  ON_BN_CLICKED(1253, OnESign)
END_MESSAGE_MAP()

CMailTolvexSettingsPage::CMailTolvexSettingsPage() : CSettingsPageBase(IDD) {}

void CMailTolvexSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, 1109, m_bEnableAddin);
  DDX_Check(pDX, 1250, m_bShredTemp);
  DDX_Check(pDX, 1249, m_bVerifyProfile);
}

BOOL CMailTolvexSettingsPage::OnInitDialog() {
  CMailGeneralSettings settings(HKEY_CURRENT_USER, kMailGeneralKey);
  settings.Load();
  m_bEnableAddin = static_cast<int>(settings.m_bEnableAddin);
  m_bShredTemp = static_cast<int>(settings.m_bShredTemp);
  m_bVerifyProfile = static_cast<int>(settings.m_bVerifyProfile);
  CPropertyPage::OnInitDialog();
  return TRUE;
}

BOOL CMailTolvexSettingsPage::OnSetActive() {
  ApplyPolicySwitch(this, CSecurityPolicy::ConfigurationManager, true);
  return CPropertyPage::OnSetActive();
}

BOOL CMailTolvexSettingsPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  // Loaded again so that the value without a control keeps what is stored.
  CMailGeneralSettings settings(HKEY_CURRENT_USER, kMailGeneralKey);
  settings.Load();
  settings.m_bEnableAddin = static_cast<DWORD>(m_bEnableAddin);
  settings.m_bShredTemp = static_cast<DWORD>(m_bShredTemp);
  settings.m_bVerifyProfile = static_cast<DWORD>(m_bVerifyProfile);
  settings.Save();
  return CPropertyPage::OnApply();
}

void CMailTolvexSettingsPage::OnCompression() {
  CCompressionDlg dialog(GetParentSheet());
  dialog.DoModal();
}

void CMailTolvexSettingsPage::OnESign() {
  CESignDlg dialog(GetParentSheet());
  dialog.DoModal();
}
