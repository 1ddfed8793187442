#include "settings/EmbeddedConfigMgr.h"

IMPLEMENT_DYNAMIC(CEmbeddedConfigMgr, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CEmbeddedConfigMgr, SHEET_CLASS(CBaseSheet), "Configuration Manager", 0, 0, 0)

CEmbeddedConfigMgr::CEmbeddedConfigMgr(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CEmbeddedConfigMgr::AddPages() { return TRUE; }
