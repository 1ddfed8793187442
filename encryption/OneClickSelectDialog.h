// Lists the one-click presets of the preset folder so that the user can pick one (SelectOneClickSettings, the
// package and archive wizards), or so that a caller can look a preset up by name without showing anything
// (DisplayOneClickSetting: ScanPresetFolder, LoadPresetList, FindPresetPath).
#pragma once

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "encryption/OneClickPresetList.h"
#include "platform/mfc/dialog.h"

class COneClickSelectDialog : public CDialog, public COneClickPresetList {
 public:
  enum { IDD = 1020 };
  explicit COneClickSelectDialog(CWnd* pParentWnd = nullptr);

  CColorLabel m_Caption;  // 1118
  CReportListCtrl m_List;  // 1033

  BOOL OnInitDialog() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDoubleClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnView();
  DECLARE_MESSAGE_MAP()
};
