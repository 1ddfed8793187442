// Base of the settings sheets: a tabbed sheet with the header banner, which follows every change of page so
// that the banner names the page shown and the page sits in the tabs' display area (the banner moves the tabs
// down after the sheet has laid out where its pages go).
#pragma once

#include "app/BaseSheet.h"

class CSettingsSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSettingsSheet)
 public:
  CSettingsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);

  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  // The image lists of the page icons: 16 x 16 and 32 x 32.
  void CreatePageImageLists();
  afx_msg LRESULT OnPageShown(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
};
