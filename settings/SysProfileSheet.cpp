#include "settings/SysProfileSheet.h"

IMPLEMENT_DYNAMIC(CSysProfileSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSysProfileSheet, SHEET_CLASS(CBaseSheet), "System Profile", 0, 0, 0)

CSysProfileSheet::CSysProfileSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CSysProfileSheet::AddPages() { return TRUE; }
