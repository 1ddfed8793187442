// A small always-on-top window with a caption, a few lines of text, a progress bar and a Cancel button, shown
// while a wizard's worker runs. While it is up, the window chain that owns it is disabled, so that it acts as a
// modal box without a modal loop of its own: the owner moves the bar from its timer and reads the cancelled
// flag. Its position is remembered in the application's profile (section "Settings", values "X" and "Y").
// Every call comes from the owner's thread.
#pragma once

#include "platform/mfc/afxcmn.h"
#include "platform/mfc/afxwin.h"

class CProgressPopupWnd : public CWnd {
 public:
  static constexpr UINT kCancelId = 10, kTextId = 11, kBarId = 12;
  // The longest text SetText keeps (longer text is cut).
  static constexpr int kMaxText = 515;

  // Creates the window at once (hidden until shown); owner null: the thread's main window.
  CProgressPopupWnd(CWnd* pOwner, LPCSTR caption, BOOL smooth = FALSE);
  ~CProgressPopupWnd() override;

  // Disables the owner chain; FALSE when the window cannot be made.
  BOOL Create(LPCSTR caption, BOOL smooth = FALSE);
  void SetRange(int lower, int upper, int step = 1);
  int SetPos(int position);
  int OffsetPos(int delta);
  int StepIt();
  void SetText(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Show();
  void Hide();

  BOOL IsCancelled() const { return m_bCancelled; }
  void SetRememberPosition(BOOL remember) { m_bRememberPosition = remember; }

 protected:
  BOOL CreatePopup(CWnd* pOwner, LPCSTR caption, BOOL smooth);
  void Layout(int lines, int width);
  void DestroyPopup();
  void SavePosition();
  void RestorePosition();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnCancel();

  CStatic m_text;
  CProgressCtrl m_bar;
  CButton m_cancel;
  BOOL m_bCancelled = FALSE;
  BOOL m_bOwnerDisabled = FALSE;
  BOOL m_bRememberPosition = TRUE;
  int m_nPosition = 0;
  int m_nStep = 1;
  int m_nUpper = 100;
  int m_nLower = 0;
  int m_nTextLines = 4;
  HWND m_hDisabled = nullptr;
  CString m_strCaption;
  CString m_strButton;
  CFont m_font;

  DECLARE_MESSAGE_MAP()
};
