// The common base of the library's property sheets and wizards: the sheet registry's creation protocol, the
// hosted mode in which a host drives the sheet, the confirmation before a wizard is cancelled, the Help
// button, page switching with PageUp and PageDown, tab icons, and an optional header banner and column
// layout of the buttons.
#pragma once

#include <vector>

#include "app/SheetRegistry.h"
#include "controls/BannerCtrl.h"
#include "core/SystemProfile.h"
#include "platform/mfc/propsheet.h"

class COfficeTolvexDoc;

class CBaseSheet : public CPropertySheet {
  DECLARE_DYNAMIC(CBaseSheet)
 public:
  CBaseSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CBaseSheet() override;

  static const SheetClassRecord sheetClassCBaseSheet;
  static CBaseSheet* CreateSheetObject(CWnd* pParentWnd);

  // The sheet's registration record.
  virtual const SheetClassRecord* GetSheetClass() const;
  // Makes and adds the sheet's pages; the base adds nothing.
  virtual BOOL AddPages();
  virtual BOOL OnPagesAdded();
  // Gives the tab control its images and the texts of m_astrTabTitles.
  virtual void UpdateTabs();
  virtual void AddTabPage(CPropertyPage* page);

  void EnableHeader(BOOL enable) { m_bHeader = enable; }
  void EnableButtonArrange(BOOL enable) { m_bArrangeButtons = enable; }
  // A wizard's pages: makes the tab and page-icon image lists, then adds each page with the help flag, the
  // application's icon iconId on its tab and the one tab title.
  void AddWizardTabPages(const std::vector<CPropertyPage*>& pages, UINT iconId, LPCSTR tabTitle);
  // Adds the page with its icon, banner title and banner text.
  void AddPageWithIcon(CPropertyPage* page, UINT iconId, LPCSTR caption, LPCSTR description);
  // Refreshes the banner for the active page.
  void UpdateHeader();
  // MB_OK and MB_YESNO as the library's message pages owned by the sheet; any other type shows nothing and
  // answers 0.
  int ShowMessage(LPCSTR text, UINT type);
  BOOL IsWizard() const { return (m_psh.dwFlags & (PSH_WIZARD | PSH_WIZARD97)) != 0; }

  BOOL DestroyWindow() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnInitDialog() override;

  CImageList m_imlPageIcons;
  BOOL m_bHeader = FALSE;
  BOOL m_bArrangeButtons = FALSE;
  BOOL m_bPageKeys = TRUE;
  CBannerCtrl m_Banner;
  COfficeTolvexDoc* m_pDocument = nullptr;
  CSystemProfile m_SystemProfile;
  BYTE m_bHosted = 1;
  int m_nStartPage = 0;
  BYTE m_bSystemMenu = 0;
  CImageList m_imlTabs;
  CStringArray m_astrPageCaptions;
  CBitmap m_bmpWatermark;
  CBitmap m_bmpHeader;
  CStringArray m_astrTabTitles;
  CStringArray m_astrPageDescriptions;

 protected:
  // Puts the buttons into a column at the right-hand side.
  void ArrangeButtons();
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);

  DECLARE_MESSAGE_MAP()
};

// Enables (lock FALSE) or disables (lock TRUE) the window's children; static texts stay enabled, and edits
// are read-only while locked. 0 for a null window.
BOOL EnableChildControls(CWnd* window, BOOL lock);
