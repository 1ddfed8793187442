// The trust points sheet.
#pragma once

#include "app/BaseSheet.h"

class CSelTrustPointsSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSelTrustPointsSheet)
  DECLARE_SHEET_CLASS(CSelTrustPointsSheet)
 public:
  CSelTrustPointsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
