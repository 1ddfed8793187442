// CPropertySheet and CPropertyPage: the framework's sheets and wizards over the platform's property sheet.
//
// DoModal shows the sheet (tabbed, classic wizard with PSH_WIZARD, or the Wizard97 frame with PSH_WIZARD97)
// and runs the framework's modal loop; it returns IDOK or IDCANCEL for a tabbed sheet, ID_WIZFINISH or IDCANCEL
// for a wizard, and -1 when the sheet cannot be made (no pages, a missing template).
//
// The page protocol: OnSetActive (FALSE skips the page), OnKillActive (FALSE keeps the page, after
// UpdateData(TRUE) fails), OnWizardNext / OnWizardBack (0 goes on, -1 stays, a page's template id jumps to it),
// OnWizardFinish (FALSE keeps the wizard open), OnApply, OnQueryCancel (FALSE keeps the sheet open), OnReset.
#pragma once

#include <vector>

#include "platform/mfc/collections.h"
#include "platform/mfc/controls.h"
#include "platform/mfc/dialog.h"
#include "platform/ui/prsht.h"

class CPropertySheet;

class KXAPI CPropertyPage : public CDialog {
  DECLARE_DYNAMIC(CPropertyPage)
 public:
  CPropertyPage();
  explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0, UINT nIDHeaderTitle = 0, UINT nIDHeaderSubTitle = 0);
  explicit CPropertyPage(LPCSTR lpszTemplateName, UINT nIDCaption = 0, UINT nIDHeaderTitle = 0,
                         UINT nIDHeaderSubTitle = 0);
  ~CPropertyPage() override;
  void Construct(UINT nIDTemplate, UINT nIDCaption = 0, UINT nIDHeaderTitle = 0, UINT nIDHeaderSubTitle = 0);
  void Construct(LPCSTR lpszTemplateName, UINT nIDCaption = 0, UINT nIDHeaderTitle = 0, UINT nIDHeaderSubTitle = 0);

  PROPSHEETPAGE m_psp{};
  CString m_strCaption;
  CString m_strHeaderTitle;
  CString m_strHeaderSubTitle;
  BOOL m_bFirstSetActive = TRUE;

  // The page's data changed (the sheet enables Apply) or is as it was.
  void SetModified(BOOL bChanged = TRUE);
  LRESULT QuerySiblings(WPARAM wParam, LPARAM lParam);

  virtual BOOL OnApply();
  virtual void OnReset();
  void OnOK() override;
  void OnCancel() override;
  virtual BOOL OnSetActive();
  virtual BOOL OnKillActive();
  virtual BOOL OnQueryCancel();
  virtual LRESULT OnWizardBack();
  virtual LRESULT OnWizardNext();
  virtual BOOL OnWizardFinish();

  // Pages run inside their sheet: no modal run of their own, and keys go to the sheet.
  INT_PTR DoModal() override { return -1; }
  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  CPropertySheet* GetParentSheet();

  // The page record the sheet gets, with the strings it points to.
  void PreparePage(PROPSHEETPAGE& out);

 protected:
  void CommonConstruct(LPCSTR lpszTemplateName, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle);
  DECLARE_MESSAGE_MAP()
};

class KXAPI CPropertySheet : public CWnd {
  DECLARE_DYNAMIC(CPropertySheet)
 public:
  CPropertySheet();
  explicit CPropertySheet(UINT nIDCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  explicit CPropertySheet(LPCSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                 HPALETTE hpalWatermark = nullptr, HBITMAP hbmHeader = nullptr);
  CPropertySheet(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                 HPALETTE hpalWatermark = nullptr, HBITMAP hbmHeader = nullptr);
  ~CPropertySheet() override;

  void Construct(UINT nIDCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  void Construct(LPCSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  void Construct(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                 HPALETTE hpalWatermark = nullptr, HBITMAP hbmHeader = nullptr);
  void Construct(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                 HPALETTE hpalWatermark = nullptr, HBITMAP hbmHeader = nullptr);

  PROPSHEETHEADER m_psh{};
  BOOL m_bModeless = FALSE;
  CString m_strCaption;
  CWnd* m_pParentWnd = nullptr;

  virtual INT_PTR DoModal();
  // Modeless sheets (the caller pumps messages).
  virtual BOOL Create(CWnd* pParentWnd = nullptr, DWORD dwStyle = static_cast<DWORD>(-1), DWORD dwExStyle = 0);

  void AddPage(CPropertyPage* pPage);
  void RemovePage(CPropertyPage* pPage);
  void RemovePage(int nPage);
  int GetPageCount() const;
  CPropertyPage* GetPage(int nPage) const;
  int GetPageIndex(CPropertyPage* pPage);
  int GetActiveIndex() const;
  CPropertyPage* GetActivePage() const;
  BOOL SetActivePage(int nPage);
  BOOL SetActivePage(CPropertyPage* pPage);
  CTabCtrl* GetTabControl() const;
  void SetTitle(LPCSTR lpszText, UINT nStyle = 0);
  void SetWizardMode();
  void SetWizardButtons(DWORD dwFlags);
  void SetFinishText(LPCSTR lpszText);
  BOOL PressButton(int nButton);
  void EnableStackedTabs(BOOL bStacked) { m_bStacked = bStacked; }
  void EndDialog(int nEndID);

  virtual BOOL OnInitDialog();
  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL ContinueModal() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 protected:
  void CommonConstruct(CWnd* pParentWnd, UINT iSelectPage);
  // Fills m_psh with the pages' records for the platform's sheet.
  void BuildPropPageArray();
  afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
  afx_msg void OnClose();
  afx_msg void OnNcDestroy();
  DECLARE_MESSAGE_MAP()

  CPtrArray m_pages;
  std::vector<PROPSHEETPAGE> m_pageRecords;
  BOOL m_bStacked = TRUE;
  int m_nResult = -1;
};
