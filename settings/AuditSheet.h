// The audit sheet: the audit settings and the audit event log.
#pragma once

#include "app/BaseSheet.h"

class CAuditSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CAuditSheet)
  DECLARE_SHEET_CLASS(CAuditSheet)
 public:
  CAuditSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
