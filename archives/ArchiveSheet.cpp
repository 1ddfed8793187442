#include "archives/ArchiveSheet.h"

IMPLEMENT_DYNAMIC(CArchiveSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CArchiveSheet, SHEET_CLASS(CBaseSheet), "Archive Wizard", 1, 8258, 8255)

CArchiveSheet::CArchiveSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CArchiveSheet::AddPages() { return TRUE; }
