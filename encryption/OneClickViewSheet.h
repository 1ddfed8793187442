// Shows one saved one-click preset read-only: its summary page with the preset's report, and, for a preset
// that signs, the two pages of its signers. Opened from the view buttons of the chooser and the manager page
// (title resource 548, out of the button) and by DisplayOneClickSetting ("One Click Settings").
#pragma once

#include "app/BaseSheet.h"
#include "encryption/OneClickSummaryPages.h"

class COneClickFile;

class COneClickViewSheet : public CBaseSheet {
  DECLARE_DYNAMIC(COneClickViewSheet)
  DECLARE_SHEET_CLASS(COneClickViewSheet)
 public:
  COneClickViewSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~COneClickViewSheet() override;

  // The pages are the constructor's: the registry's call finds them there.
  BOOL AddPages() override;
  BOOL OnInitDialog() override;

  // The preset's name (its description); loads the preset on first use (empty when it cannot be opened).
  CString GetPresetName();
  // The plain-text report of the loaded preset (lines end in CR LF); empty when none is loaded.
  CString BuildReportText();
  COneClickFile* GetPreset() const { return m_pPreset; }

  // The sheet's own outline zoom (set) or the system's caption animation (clear) out of m_rcOrigin.
  BYTE m_bAnimate = 0;
  BYTE& m_bOwnAnimation = m_bAnimate;
  // Screen rectangle of the control that opened the sheet; empty: no animation.
  CRect m_rcOrigin;
  COneClickSummaryPage m_pageSummary;
  COneClickSignSumPage m_pageSign;
  COneClickGenSumPage m_pageGen;
  // The preset's signature-block flag once it is loaded.
  int m_bSigns = 0;
  // The preset file shown (set by the opener).
  CString m_strPresetPath;
  // Shown in red on the summary page when not empty.
  CString m_strStatusText;
  COneClickFile* m_pPreset = nullptr;
  // Told with WM_USER+1001 after the preset was deleted; none when null.
  HWND m_hNotifyWnd = nullptr;
  // The summary page offers deletion.
  BYTE m_bDeleteAllowed = 1;

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  DECLARE_MESSAGE_MAP()
};
