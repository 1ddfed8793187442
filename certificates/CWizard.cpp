#include "certificates/CWizard.h"

IMPLEMENT_DYNAMIC(CCWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CCWizard, SHEET_CLASS(CBaseSheet), "Certificate Generator", 1, 8259, 8260)

CCWizard::CCWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

BOOL CCWizard::AddPages() { return TRUE; }
