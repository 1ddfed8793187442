#include "settings/MyProfilesPage.h"

#include "core/SecurityPolicy.h"
#include "platform/mfc/afxwin.h"
#include "settings/ProfileListDlg.h"
#include "app/SettingsPageTools.h"

IMPLEMENT_DYNCREATE(CSysProfMyProfilesPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSysProfMyProfilesPage, CPropertyPage)
  ON_BN_CLICKED(IDC_PROFILES, OnProfiles)
END_MESSAGE_MAP()

CSysProfMyProfilesPage::CSysProfMyProfilesPage() : CPropertyPage(IDD) {}

void CSysProfMyProfilesPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1160, m_lblFirst);
  DDX_Control(pDX, 1187, m_lblTitle);
  DDX_Control(pDX, 1162, m_lblSecond);
  DDX_Control(pDX, 1161, m_lblThird);
  DDX_Control(pDX, IDC_FIRST, m_btnFirst);
  DDX_Control(pDX, IDC_PROFILES, m_btnProfiles);
  DDX_Control(pDX, IDC_THIRD, m_btnThird);
  DDX_Control(pDX, IDC_FOURTH, m_btnFourth);
}

BOOL CSysProfMyProfilesPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  SetUpTextureButton(m_btnFirst, 1088);
  SetUpTextureButton(m_btnProfiles, 1092);
  SetUpTextureButton(m_btnFourth, 1078);
  m_btnFirst.EnableWindow(FALSE);
  m_btnFourth.EnableWindow(FALSE);
  return TRUE;
}

BOOL CSysProfMyProfilesPage::OnSetActive() {
  // A policy that unlocks the page leaves the two buttons without a use as they are.
  ApplyPolicySwitch(this, CSecurityPolicy::SystemProfile, true);
  m_btnFirst.EnableWindow(FALSE);
  m_btnFourth.EnableWindow(FALSE);
  return CPropertyPage::OnSetActive();
}

void CSysProfMyProfilesPage::OnProfiles() {
  CProfileListDlg dialog(this);
  dialog.DoModal();
}
