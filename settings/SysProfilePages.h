// Pages of the system profile sheet that edit its profile record: the default one-click presets per operation
// (main page), the verification options (misc page) and the default cipher, output folder and memory cache
// (settings page). They work on the sheet's one CSystemProfile, which the sheet reads when it is made; each
// page writes the record in its own apply step.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "core/SystemProfile.h"
#include "platform/mfc/propsheet.h"
#include "settings/ConfigPages.h"

// The assigned one-click presets (template 4230).
class CSysProfileMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSysProfileMainPage)
 public:
  enum { IDD = 4230 };
  // Operation kinds of a preset (byte 0 of its options block).
  enum { kEncrypt = 0, kSign = 1, kSignEncrypt = 2, kCountersign = 3, kKinds = 4 };
  CSysProfileMainPage();

  CColorLabel m_label;
  CReportListCtrl m_list;
  // The listed presets' paths and the profile value each came from (a kind), one per row.
  CStringArray m_Paths;
  CUIntArray m_RowKinds;
  int m_nSelected = 0;
  BYTE m_bSignEncryptAssigned = 0;
  BYTE m_bSignAssigned = 0;
  BYTE m_bEncryptAssigned = 0;
  BYTE m_bCountersignAssigned = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  void OnOK() override;
  // Checks the assigned presets, drops those that are gone from the profile, and lists the others.
  void Refresh();

 protected:
  afx_msg void OnAdd();
  afx_msg void OnRemove();
  afx_msg void OnView();
  afx_msg void OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  void UpdateButtons();
  CSystemProfile* Profile();
  BYTE& Assigned(int kind);
  DECLARE_MESSAGE_MAP()
};

// The verification options (template 4233).
class CSysMiscPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(CSysMiscPage)
 public:
  enum { IDD = 4233 };
  CSysMiscPage();

  int m_bVerifyBeforeCosign = 1;
  int m_bEnableDirOperation = 1;
  int m_bBrastel = 1;
  int m_bVerifyHash = 1;
  int m_bVerifyAllSig = 1;
  int m_bVerifyCert = 1;
  int m_nVerifyIndex = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;
  void OnOK() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// The default cipher and key length, the output folder and the memory cache (template 4231).
class CSysSettingPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSysSettingPage)
 public:
  enum { IDD = 4231 };
  CSysSettingPage();

  CColorLabel m_lblCipher;
  CColorLabel m_lblFolder;
  CColorLabel m_lblAlgorithm;
  CColorLabel m_lblKeyLength;
  int m_nOutputOption = 0;
  int m_nAlgoIndex = 0;
  int m_nKeyLenIndex = 0;
  CString m_strOutputFolder;
  int m_nMemoryIndex = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;
  void OnOK() override;

  // The profile's numbers for the combo boxes' item data: the engine's algorithm and key-length numbers;
  // -1 for an unknown item.
  static int AlgorithmForItem(DWORD_PTR item);
  static int KeyLengthForItem(DWORD_PTR item);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnBrowse();
  afx_msg void OnAlgorithmChanged();
  afx_msg void OnOutputOptionChanged();
  afx_msg void OnSelectionChanged();
  // Refills the key lengths for the algorithm position; selectDefault picks that algorithm's usual length.
  void FillKeyLengths(bool selectDefault);
  void UpdateFolderControls();
  DECLARE_MESSAGE_MAP()
};
