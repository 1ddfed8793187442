// The one-click preset wizard: the Signer Wizard's pages, used to set up an operation and save it as a preset
// instead of running it. Its own welcome page replaces the Signer Wizard's, and its preset finish page
// (place 10) stands before the generic finish page (index 11).
#pragma once

#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "encryption/OneClickFinishPage.h"
#include "signing/SignSheet.h"

// Page 0: the operation to preset and its description.
class COneClickMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(COneClickMainPage)
 public:
  enum { IDD = 4229 };
  // The description is at most this long.
  static constexpr int kMaxDescription = 50;
  COneClickMainPage();

  CStatic m_stcPicture;
  CLabelCtrl m_lblTitle;
  CLabelCtrl m_lblText;
  CHyperlinkCtrl m_linkFirst;
  CHyperlinkCtrl m_linkSecond;
  // 0 encrypt, 1 sign, 2 sign and encrypt, 3 countersign (radio group from 1022).
  int m_nOperation = 0;
  CString m_strDescription;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

class COneClickSheet : public CSignSheet {
  DECLARE_DYNAMIC(COneClickSheet)
  DECLARE_SHEET_CLASS(COneClickSheet)
 public:
  enum { kPresetFinishPage = 10 };
  COneClickSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  BOOL IsOneClick() override { return TRUE; }

  COneClickMainPage m_OneClickMainPage;
  COneClickFinishPage m_OneClickFinishPage;

 protected:
  // The Signer Wizard's pages ask for the finish place and the welcome place by their own pages: in this
  // wizard those places are the preset finish page and this wizard's welcome page.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  DECLARE_MESSAGE_MAP()
};
