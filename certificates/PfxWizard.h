// The PFX import wizard.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"

class CPfxWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CPfxWizard)
  DECLARE_SHEET_CLASS(CPfxWizard)
 public:
  CPfxWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CFinishPage m_FinishPage;
};
