#include "controls/AutoCompleteCombo.h"

BEGIN_MESSAGE_MAP(CAutoCompleteCombo, CComboBox)
  ON_CONTROL_REFLECT(CBN_EDITUPDATE, OnEditUpdate)
END_MESSAGE_MAP()

BOOL CAutoCompleteCombo::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN) m_bComplete = pMsg->wParam != VK_DELETE && pMsg->wParam != VK_BACK;
  return CComboBox::PreTranslateMessage(pMsg);
}

void CAutoCompleteCombo::OnEditUpdate() {
  if (!m_bComplete) return;
  CString text;
  GetWindowText(text);
  const int length = text.GetLength();
  const DWORD selection = GetEditSel();
  const bool hasSelection = selection != static_cast<DWORD>(CB_ERR);
  const int start = LOWORD(selection), end = HIWORD(selection);
  if (SelectString(-1, text) == CB_ERR) {
    // No entry begins with the text: it stays as typed, the caret where it was.
    SetWindowText(text);
    if (hasSelection) SetEditSel(start, end);
    return;
  }
  if (end < length && hasSelection) SetEditSel(start, end);
  else SetEditSel(length, -1);
}

void CArchiveTextDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_TEXT, m_strText);
}
