// A drop-down combo box whose edit field completes what the user types from its list, the completed tail
// selected so that typing on replaces it; and the one-field text dialog of the zip archive page.
#pragma once

#include "platform/mfc/afxwin.h"

class CAutoCompleteCombo : public CComboBox {
 public:
  CAutoCompleteCombo() = default;

  BOOL PreTranslateMessage(MSG* pMsg) override;

  // Cleared by Delete and Backspace, so that what they remove is not completed again at once.
  BOOL m_bComplete = TRUE;

 protected:
  afx_msg void OnEditUpdate();

  DECLARE_MESSAGE_MAP()
};

class CArchiveTextDlg : public CDialog {
 public:
  enum { IDD = 135 };
  static constexpr int IDC_TEXT = 1070;

  explicit CArchiveTextDlg(CWnd* pParent = nullptr) : CDialog(IDD, pParent) {}

  CString m_strText;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};
