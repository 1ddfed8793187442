// The archive wizard: signed or signed-and-encrypted zip archives.
#pragma once

#include "app/BaseSheet.h"

class CArchiveSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CArchiveSheet)
  DECLARE_SHEET_CLASS(CArchiveSheet)
 public:
  CArchiveSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
