// The signature manager: draws, stores and reuses hand-drawn signature images. Its pages use the sheet's
// drawing document (m_pDocument) when there is one.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"

class CSignManagerSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSignManagerSheet)
  DECLARE_SHEET_CLASS(CSignManagerSheet)
 public:
  CSignManagerSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CFinishPage m_FinishPage;
};
