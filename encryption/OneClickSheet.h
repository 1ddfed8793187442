// The one-click preset wizard: the signer wizard's pages, used to set up and save a preset.
#pragma once

#include "signing/SignSheet.h"

class COneClickSheet : public CSignSheet {
  DECLARE_DYNAMIC(COneClickSheet)
  DECLARE_SHEET_CLASS(COneClickSheet)
 public:
  COneClickSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
