#include "certificates/CertSheet.h"

IMPLEMENT_DYNAMIC(CCertSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CCertSheet, SHEET_CLASS(CBaseSheet), "Certificate Manager", 0, 0, 0)

// The certificate pages are added here by the constructor.
CCertSheet::CCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}
