// The configuration manager sheet; m_bSmartCard selects the smart-card variant (set before AddPages).
#pragma once

#include "app/BaseSheet.h"

class CEmbeddedConfigMgr : public CBaseSheet {
  DECLARE_DYNAMIC(CEmbeddedConfigMgr)
  DECLARE_SHEET_CLASS(CEmbeddedConfigMgr)
 public:
  CEmbeddedConfigMgr(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  BYTE m_bSmartCard = 0;
};
