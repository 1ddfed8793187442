#include "certificates/SelTrustPointsSheet.h"

IMPLEMENT_DYNAMIC(CSelTrustPointsSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSelTrustPointsSheet, SHEET_CLASS(CBaseSheet), "Trust Points", 0, 0, 0)

CSelTrustPointsSheet::CSelTrustPointsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CSelTrustPointsSheet::AddPages() { return TRUE; }
