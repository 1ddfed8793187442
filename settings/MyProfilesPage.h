// The system profile sheet's page that leads to the user's mail protection profiles: its one active button
// opens the profile list.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/TextureButton.h"
#include "platform/mfc/propsheet.h"

class CSysProfMyProfilesPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSysProfMyProfilesPage)
 public:
  enum { IDD = 30039 };
  enum { IDC_FIRST = 1228, IDC_PROFILES = 1227, IDC_THIRD = 1229, IDC_FOURTH = 1226 };
  CSysProfMyProfilesPage();

  CColorLabel m_lblFirst, m_lblTitle, m_lblSecond, m_lblThird;
  CTextureButton m_btnFirst, m_btnProfiles, m_btnThird, m_btnFourth;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnProfiles();
  DECLARE_MESSAGE_MAP()
};
