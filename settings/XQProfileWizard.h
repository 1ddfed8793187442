// The mail profile wizard: creates a mail protection profile or edits an existing one, on the signer
// wizard's pages.
#pragma once

#include "settings/MailProfile.h"
#include "signing/SignSheet.h"

class CXQProfileWizard : public CSignSheet {
  DECLARE_DYNAMIC(CXQProfileWizard)
  DECLARE_SHEET_CLASS(CXQProfileWizard)
 public:
  CXQProfileWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
  // Loads the working profile (and its one-click preset) into the wizard; an incomplete profile is refused
  // with a message. The message box's result, or 0.
  int LoadProfile();

  CMailProfileSettings m_Profile;
  CMailProfileSettings m_LoadedProfile;
  int m_nProfileIndex = -1;
  BOOL m_bProfileLoaded = FALSE;
};
