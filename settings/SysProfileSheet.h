// The system profile sheet; m_bSmartCard selects the smart-card variant (set before AddPages).
#pragma once

#include "app/BaseSheet.h"

class CSysProfileSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSysProfileSheet)
  DECLARE_SHEET_CLASS(CSysProfileSheet)
 public:
  CSysProfileSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  BYTE m_bSmartCard = 0;
};
