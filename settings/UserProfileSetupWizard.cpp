#include "settings/UserProfileSetupWizard.h"

IMPLEMENT_DYNAMIC(CUserProfileSetupWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CUserProfileSetupWizard, SHEET_CLASS(CBaseSheet), "User Setup", 1, 1150, 1141)

CUserProfileSetupWizard::CUserProfileSetupWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CUserProfileSetupWizard::AddPages() { return TRUE; }
