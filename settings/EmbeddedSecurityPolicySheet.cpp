#include "settings/EmbeddedSecurityPolicySheet.h"

#include "app/ResString.h"

// ---- pages ----

BEGIN_MESSAGE_MAP(CPolicyPageBase, CPropertyPage)
  ON_CONTROL_RANGE(BN_CLICKED, 1000, 1006, OnSwitchClicked)
END_MESSAGE_MAP()

CPolicyPageBase::CPolicyPageBase(UINT templateId, const int* buttons, BYTE* const* switches, int count)
    : CPropertyPage(templateId), m_pButtons(buttons), m_pSwitches(switches), m_nCount(count) {}

BOOL CPolicyPageBase::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (int i = 0; i < m_nCount; ++i) CheckDlgButton(m_pButtons[i], *m_pSwitches[i] > 0 ? BST_CHECKED : BST_UNCHECKED);
  // Windows 98 and Me count every user as an administrator.
  if (!IsUserInAdminGroup()) EnableChildControls(this, TRUE);
  return TRUE;
}

void CPolicyPageBase::ReadSwitches() {
  for (int i = 0; i < m_nCount; ++i) *m_pSwitches[i] = IsDlgButtonChecked(m_pButtons[i]) ? 1 : 0;
}

void CPolicyPageBase::OnSwitchClicked(UINT) {
  ReadSwitches();
  SetModified(TRUE);
}

namespace {
const int kOfficeButtons[] = {1000, 1001, 1002, 1005};
const int kDiskButtons[] = {1003, 1004};
const int kMailButtons[] = {1006};
}  // namespace

IMPLEMENT_DYNCREATE(COfficeTolvexPolicyPage, CPropertyPage)

COfficeTolvexPolicyPage::COfficeTolvexPolicyPage()
    : CPolicyPageBase(IDD, kOfficeButtons, m_switches, 4),
      m_switches{&m_bConfigurationManager, &m_bCertificateCreationWizard, &m_bSystemProfile, &m_bOneClickSettings} {}

IMPLEMENT_DYNCREATE(CDiskTolvexPolicyPage, CPropertyPage)

CDiskTolvexPolicyPage::CDiskTolvexPolicyPage()
    : CPolicyPageBase(IDD, kDiskButtons, m_switches, 2), m_switches{&m_bDiskTolvexProfile, &m_bShredderProfile} {}

void CDiskTolvexPolicyPage::DoDataExchange(CDataExchange* pDX) {
  CPolicyPageBase::DoDataExchange(pDX);
  DDX_Check(pDX, 1005, m_nSmartcardProfile);
}

void CDiskTolvexPolicyPage::ReadSwitches() {
  UpdateData(TRUE);
  CPolicyPageBase::ReadSwitches();
}

IMPLEMENT_DYNCREATE(CMailTolvexPolicyPage, CPropertyPage)

CMailTolvexPolicyPage::CMailTolvexPolicyPage()
    : CPolicyPageBase(IDD, kMailButtons, m_switches, 1), m_switches{&m_bMailTolvexProfile} {}

// ---- sheet ----

IMPLEMENT_DYNAMIC(CEmbeddedSecurityPolicySheet, CSettingsSheet)
IMPLEMENT_SHEET_CLASS(CEmbeddedSecurityPolicySheet, SHEET_CLASS(CBaseSheet), "Vorlind Intelligence Policy Manager", 0,
                      0, 0)

CEmbeddedSecurityPolicySheet::CEmbeddedSecurityPolicySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSettingsSheet(caption, pParentWnd, selectPage) {
  EnableButtonArrange(TRUE);
  EnableHeader(TRUE);
  // A machine without the policy key gets it, with every switch on.
  if (!m_Policy.Load()) m_Policy.CreateKey();
  ExchangeSwitches(true);
}

void CEmbeddedSecurityPolicySheet::ExchangeSwitches(bool toPages) {
  struct Link {
    BYTE& policy;
    BYTE& page;
  } links[] = {
      {m_Policy.m_bConfigurationManager, m_OfficePage.m_bConfigurationManager},
      {m_Policy.m_bCertificateCreationWizard, m_OfficePage.m_bCertificateCreationWizard},
      {m_Policy.m_bSystemProfile, m_OfficePage.m_bSystemProfile},
      {m_Policy.m_bOneClickSettings, m_OfficePage.m_bOneClickSettings},
      {m_Policy.m_bMailTolvexProfile, m_MailPage.m_bMailTolvexProfile},
      {m_Policy.m_bDiskTolvexProfile, m_DiskPage.m_bDiskTolvexProfile},
      {m_Policy.m_bShredderProfile, m_DiskPage.m_bShredderProfile},
  };
  for (Link& link : links) (toPages ? link.page : link.policy) = toPages ? link.policy : link.page;
  // The smart-card switch is the disk page's check box.
  if (toPages)
    m_DiskPage.m_nSmartcardProfile = m_Policy.m_bSmartcardProfile;
  else
    m_Policy.m_bSmartcardProfile = m_DiskPage.m_nSmartcardProfile ? 1 : 0;
}

BOOL CEmbeddedSecurityPolicySheet::AddPages() {
  CreatePageImageLists();
  AddPageWithIcon(&m_OfficePage, 141, LoadResString(5240), LoadResString(5249));
  AddPageWithIcon(&m_DiskPage, 1078, LoadResString(188), LoadResString(5250));
  AddPageWithIcon(&m_MailPage, 30018, LoadResString(5244), LoadResString(5251));
  return TRUE;
}

BOOL CEmbeddedSecurityPolicySheet::OnInitDialog() {
  BOOL result = CSettingsSheet::OnInitDialog();
  // Windows 98 and Me count every user as an administrator.
  if (!IsUserInAdminGroup()) {
    MessageBox(LoadResString(194), nullptr, MB_OK | MB_ICONSTOP);
    PressButton(PSBTN_CANCEL);
  }
  return result;
}

bool CEmbeddedSecurityPolicySheet::SavePolicy() {
  ExchangeSwitches(false);
  return m_Policy.Save();
}

BOOL CEmbeddedSecurityPolicySheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  if (id == IDOK || id == ID_APPLY_NOW) {
    // A policy that cannot be written is reported, and the sheet stays open with the user's choices.
    if (!SavePolicy()) {
      MessageBox(LoadResString(193), nullptr, MB_OK | MB_ICONSTOP);
      return TRUE;
    }
    if (id == ID_APPLY_NOW) {
      m_OfficePage.SetModified(FALSE);
      m_DiskPage.SetModified(FALSE);
      m_MailPage.SetModified(FALSE);
    }
  }
  return CSettingsSheet::OnCommand(wParam, lParam);
}
