// The certificate creation wizard.
#pragma once

#include "app/BaseSheet.h"

class CCWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CCWizard)
  DECLARE_SHEET_CLASS(CCWizard)
 public:
  CCWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
