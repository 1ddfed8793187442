// The configuration manager sheet: the suite's settings on one page each. m_bSmartCard selects the smart-card
// variant, which leaves out the disk protection, shredder and mail protection pages (set before AddPages).
#pragma once

#include "settings/SettingsSheet.h"
#include "settings/ApplicationSettingsPage.h"
#include "settings/ConfigPages.h"
#include "settings/MailTolvexSettingsPage.h"

class CEmbeddedConfigMgr : public CSettingsSheet {
  DECLARE_DYNAMIC(CEmbeddedConfigMgr)
  DECLARE_SHEET_CLASS(CEmbeddedConfigMgr)
 public:
  CEmbeddedConfigMgr(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CApplicationSettingsPage m_ApplicationPage;
  COfficeSettingsPage m_OfficePage;
  CGeneralSettingsPage m_GeneralPage;
  CDiskTolvexSettingsPage m_DiskPage;
  CShredSettingsPage m_ShredPage;
  CMailTolvexSettingsPage m_MailPage;
  CHummingbirdSettingsPage m_HummingbirdPage;
  BYTE m_bSmartCard = 0;
};
