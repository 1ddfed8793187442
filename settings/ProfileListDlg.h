// Lists the current user's mail protection profiles; in selection mode the user picks one and its index is
// handed back.
#pragma once

#include "platform/mfc/dialog.h"

class CProfileListDlg : public CDialog {
 public:
  enum { IDD = 30041 };
  explicit CProfileListDlg(CWnd* pParentWnd = nullptr);

  int m_nSelected = 0;
  // The index of the profile chosen with OK in selection mode; -1 when none.
  int m_nSelectedIndex = -1;
  // 1 hides the editing buttons and shows the selection button.
  BYTE m_bSelectionMode = 0;
};
