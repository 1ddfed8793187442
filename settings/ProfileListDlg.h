// Lists the current user's mail protection profiles: new, edit, delete and choose the default one; in
// selection mode the user picks one profile and its index is handed back.
#pragma once

#include <vector>

#include "controls/ReportListCtrl.h"
#include "controls/TextureButton.h"
#include "platform/mfc/dialog.h"
#include "settings/MailProfile.h"

class CProfileListDlg : public CDialog {
 public:
  enum { IDD = 30041 };
  enum { IDC_LIST = 1033, IDC_SET_DEFAULT = 1051, IDC_EDIT = 1012, IDC_DELETE = 1237, IDC_NEW = 1050 };
  explicit CProfileListDlg(CWnd* pParentWnd = nullptr);

  // The row last selected in the list.
  int m_nSelected = 0;
  // The index of the profile chosen with OK in selection mode; -1 when none.
  int m_nSelectedIndex = -1;
  // 1 hides the editing buttons and shows the selection button.
  BYTE m_bSelectionMode = 0;

  CReportListCtrl m_List;
  CTextureButton m_btnSetDefault, m_btnCancel, m_btnEdit, m_btnDelete, m_btnNew, m_btnOK;
  // The profiles as the list showed them at its last refresh.
  std::vector<CMailProfileSettings> m_Profiles;

  BOOL OnInitDialog() override;
  void OnOK() override;
  // Reads the profiles again and fills the list.
  void Refresh();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // The machine's policy allows editing mail profiles; otherwise tells so with the text of messageId.
  bool EditingAllowed(UINT messageId);
  afx_msg void OnNew();
  afx_msg void OnEdit();
  afx_msg void OnDelete();
  afx_msg void OnSetDefault();
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};
