// The user set-up wizard: creates a mail protection profile, a certificate and the one-click presets of a new
// user. Start page 1 skips the welcome page.
#pragma once

#include "app/BaseSheet.h"
#include "settings/MailProfile.h"
#include "signing/ProtectWizardData.h"

class CUserProfileSetupWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CUserProfileSetupWizard)
  DECLARE_SHEET_CLASS(CUserProfileSetupWizard)
 public:
  CUserProfileSetupWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  // The profile being created.
  CMailProfileSettings m_Profile;
  CProtectWizardData m_WizardData;
};
