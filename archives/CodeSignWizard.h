// The code-signing wizard: signed executables.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "signing/ProtectWizardData.h"

class CCodeSignWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CCodeSignWizard)
  DECLARE_SHEET_CLASS(CCodeSignWizard)
 public:
  CCodeSignWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CProtectWizardData m_WizardData;
  CFinishPage m_FinishPage;
};
