#include "certificates/SelCertSheet.h"

// The selection pages are added here by the constructor.
CSelCertSheet::CSelCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CPropertySheet(caption, pParentWnd, selectPage) {}
