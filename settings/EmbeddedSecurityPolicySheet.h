// The machine-wide security policy sheet.
#pragma once

#include "app/BaseSheet.h"

class CEmbeddedSecurityPolicySheet : public CBaseSheet {
  DECLARE_DYNAMIC(CEmbeddedSecurityPolicySheet)
  DECLARE_SHEET_CLASS(CEmbeddedSecurityPolicySheet)
 public:
  CEmbeddedSecurityPolicySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
