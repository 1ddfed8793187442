#include "settings/SettingsSheet.h"

#include "certificates/SelTrustPointsSheet.h"

IMPLEMENT_DYNAMIC(CSettingsSheet, CBaseSheet)

CSettingsSheet::CSettingsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

void CSettingsSheet::CreatePageImageLists() { CreateSheetImageLists(*this); }
