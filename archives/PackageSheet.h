// The package wizard: self-extracting packages.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "signing/ProtectWizardData.h"

class CPackageSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CPackageSheet)
  DECLARE_SHEET_CLASS(CPackageSheet)
 public:
  CPackageSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CProtectWizardData m_WizardData;
  CFinishPage m_FinishPage;
};
