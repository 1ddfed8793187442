#include "settings/AuditSheet.h"

IMPLEMENT_DYNAMIC(CAuditSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CAuditSheet, SHEET_CLASS(CBaseSheet), "Auditing And Event Log", 0, 0, 0)

CAuditSheet::CAuditSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CAuditSheet::AddPages() { return TRUE; }
