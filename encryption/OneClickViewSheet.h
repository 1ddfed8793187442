// Shows one stored one-click preset; also constructed directly with (caption, parent, start page).
#pragma once

#include "app/BaseSheet.h"

class COneClickViewSheet : public CBaseSheet {
  DECLARE_DYNAMIC(COneClickViewSheet)
  DECLARE_SHEET_CLASS(COneClickViewSheet)
 public:
  COneClickViewSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  // The preset file shown.
  CString m_strPresetPath;
  BYTE m_bOwnAnimation = 0;
};
