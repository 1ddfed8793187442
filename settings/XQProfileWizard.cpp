#include "settings/XQProfileWizard.h"

#include "platform/mfc/afxstate.h"

IMPLEMENT_DYNAMIC(CXQProfileWizard, CSignSheet)
IMPLEMENT_SHEET_CLASS(CXQProfileWizard, SHEET_CLASS(CSignSheet), "MailTolvex Profile", 1, 1140, 1141)

CXQProfileWizard::CXQProfileWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {}

// The profile pages come with the wizard's own pages.
BOOL CXQProfileWizard::AddPages() { return TRUE; }

int CXQProfileWizard::LoadProfile() {
  if (!IsProfileComplete(m_Profile)) return AfxMessageBox("This Profile is invalid and cannot be edited.");
  m_LoadedProfile = m_Profile;
  m_WizardData.m_nMode = 2;
  return 0;
}
