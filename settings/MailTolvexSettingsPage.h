// The mail protection page of the configuration manager (template 30049): three switches of the mail
// protection's general settings, and the buttons that open the compression and e-signature dialogs.
#pragma once

#include "settings/ConfigPages.h"

class CMailTolvexSettingsPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(CMailTolvexSettingsPage)
 public:
  enum { IDD = 30049 };
  CMailTolvexSettingsPage();

  int m_bEnableAddin = 0;
  int m_bShredTemp = 0;
  int m_bVerifyProfile = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnCompression();
  afx_msg void OnESign();
  DECLARE_MESSAGE_MAP()
};
