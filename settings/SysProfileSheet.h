// The system profile sheet: the default one-click presets, cipher and output folder, the enrolment service,
// verification options, the enrolment service's transport and the user's mail profiles, all on the sheet's
// one system profile record (m_SystemProfile of the base, read when the sheet is made; each page writes it in
// its own apply step). m_bSmartCard selects the
// smart-card variant (set before AddPages). The sheet owns the enrolment service client that its pages test
// the connection with.
#pragma once

#include "encryption/OneClickManagerPage.h"
#include "enrolment/VorlindPage.h"
#include "settings/MyProfilesPage.h"
#include "settings/ProxySettingsPage.h"
#include "settings/SettingsSheet.h"
#include "settings/SysProfilePages.h"

class CVorlindEnrolmentProxy;

class CSysProfileSheet : public CSettingsSheet {
  DECLARE_DYNAMIC(CSysProfileSheet)
  DECLARE_SHEET_CLASS(CSysProfileSheet)
 public:
  CSysProfileSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CSysProfileSheet() override;
  BOOL AddPages() override;

  BYTE m_bSmartCard = 0;
  // Null when it could not be made; the pages then make their own.
  CVorlindEnrolmentProxy* m_pProxy = nullptr;
  CSysProfileMainPage m_MainPage;
  CSysSettingPage m_SettingPage;
  CVorlindPage m_VorlindPage;
  CSysMiscPage m_MiscPage;
  CSysProfileProxyPgae m_ProxyPage;
  CSysProfMyProfilesPage m_MyProfilesPage;
  COneClickManagerPage m_OneClickPage;
};
