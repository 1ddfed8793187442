// The mail profile wizard: creates a mail protection profile or edits an existing one. It is the Signer
// Wizard with four pages of its own around the Signer Wizard's certificate, signing and cipher pages, and a
// finish page that saves the profile and writes its three one-click presets.
//
// Launch: create "CXQProfileWizard" through the sheet registry, title it (resource string 300), and for an
// existing profile copy it into m_Profile, set m_nProfileIndex and call LoadProfile; run it only when
// LoadProfile answered 0.
#pragma once

#include "settings/MailProfile.h"
#include "settings/XQProfilePages.h"
#include "signing/SignSheet.h"

class CXQProfileWizard : public CSignSheet {
  DECLARE_DYNAMIC(CXQProfileWizard)
  DECLARE_SHEET_CLASS(CXQProfileWizard)
 public:
  // Page indexes of the wizard's own pages (the Signer Wizard's pages sit at their places 1 to 9).
  enum { kProfileMainPage = 0, kUserPage = 10, kConfigPage = 11, kProfileFinishPage = 12, kFooterPage = 13 };

  CXQProfileWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  // Loads the working profile and its sign-and-encrypt preset into the wizard; 0 when loaded. An incomplete
  // profile, or one whose folder holds no such preset, is refused with a message (the box's result).
  int LoadProfile();
  // Whether an existing profile and its preset were loaded.
  BYTE HasLoadedProfile() const { return m_bProfileLoaded; }

  // The Signer Wizard's pages work for a mail profile in this wizard: its signers carry the profile's
  // address and are its recipients too.
  BOOL IsProfileLoaded() const override { return TRUE; }
  BOOL UseProfileCertificate() const override { return m_bUseMyCertificate; }
  CString GetProfileMailAddress() const override { return m_Profile.m_strEmailName; }

  CXQProfileMainPage m_ProfileMainPage;
  CXQUserPage m_UserPage;
  CXQConfigPage m_ConfigPage;
  CMPFinishPage m_ProfileFinishPage;
  CXQFooterPage m_FooterPage;
  CMailProfileSettings m_Profile;
  CMailProfileSettings m_LoadedProfile;
  BYTE m_bProfileLoaded = 0;
  int m_nProfileIndex = -1;
  BOOL m_bUseMyCertificate = TRUE;
};

// The launch: the wizard over the parent on the profile of that list index, or on a new profile when the
// index is negative or beyond the list. 1 when the wizard ran; 0 when it could not be made or the profile
// was refused.
int RunProfileWizard(CWnd* parent, int index);
