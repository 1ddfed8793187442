#include "encryption/OneClickViewSheet.h"

IMPLEMENT_DYNAMIC(COneClickViewSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(COneClickViewSheet, SHEET_CLASS(CBaseSheet), "One Click Information", 0, 0, 0)

COneClickViewSheet::COneClickViewSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_bHosted = 0;
}

BOOL COneClickViewSheet::AddPages() { return TRUE; }
