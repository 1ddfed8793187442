// Base of the settings sheets: a tabbed sheet with the header banner and the certificate sheets' icons.
#pragma once

#include "app/BaseSheet.h"

class CSettingsSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSettingsSheet)
 public:
  CSettingsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);

 protected:
  // The image lists of the page icons: 16 x 16 and 32 x 32.
  void CreatePageImageLists();
};
