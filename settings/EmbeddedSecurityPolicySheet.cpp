#include "settings/EmbeddedSecurityPolicySheet.h"

IMPLEMENT_DYNAMIC(CEmbeddedSecurityPolicySheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CEmbeddedSecurityPolicySheet, SHEET_CLASS(CBaseSheet), "Vorlind Intelligence Policy Manager", 0, 0, 0)

CEmbeddedSecurityPolicySheet::CEmbeddedSecurityPolicySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CEmbeddedSecurityPolicySheet::AddPages() { return TRUE; }
