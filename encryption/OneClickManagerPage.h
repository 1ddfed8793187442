// The system profile sheet's page of the one-click presets: lists the presets of the preset folder (every one
// the user can run), makes a new one with the one-click wizard, shows one in the viewer, deletes one and
// refreshes the list.
//
// A sheet embeds it as a member and adds it like its other pages, for example
//     COneClickManagerPage m_OneClickPage;          // member of the sheet
//     AddPageWithIcon(&m_OneClickPage, icon, caption, description);
// The page needs nothing set: it reads the preset folder (value OneClickFolder of the user's
// "Software\Kesmora\OfficeTolvex\OneClickManager") each time it is shown or refreshed.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "controls/TextureButton.h"
#include "encryption/OneClickPresetList.h"
#include "platform/mfc/propsheet.h"

class COneClickManagerPage : public CPropertyPage, public COneClickPresetList {
  DECLARE_DYNCREATE(COneClickManagerPage)
 public:
  enum { IDD = 30066 };
  // The viewer tells the page that it deleted a preset.
  static constexpr UINT WM_PRESET_DELETED = WM_USER + 1001;
  COneClickManagerPage();

  CReportListCtrl m_List;           // 1033
  CTextureButton m_NewButton;       // 1050
  CTextureButton m_ViewButton;      // 1012
  CTextureButton m_DeleteButton;    // 1051
  CColorLabel m_Caption;            // 1095
  CTextureButton m_RefreshButton;   // 1053

  BOOL OnInitDialog() override;
  // Refills the list.
  BOOL OnSetActive() override;

  afx_msg void OnNewPreset();
  afx_msg void OnViewPreset();
  afx_msg void OnDeletePreset();
  afx_msg void OnRefresh();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDoubleClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg LRESULT OnPresetDeleted(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};
