// A clickable link made of a dialog's static text: it shows its address in the link, visited or hover colour,
// underlines it while the mouse is over it, shows a hand cursor and a tool tip, sizes itself to its text and
// opens the address when clicked.
#pragma once

#include "platform/mfc/controls.h"

class CHyperlinkCtrl : public CStatic {
 public:
  CHyperlinkCtrl();
  ~CHyperlinkCtrl() override;

  void SetUrl(const CString& address);
  const CString& GetUrl() const { return m_strUrl; }
  void UseParentBackground(BOOL flag) { m_bParentBackground = flag; }
  // 1 always underlined, 0 never, -1 underlined while hovered.
  void SetUnderline(int mode) { m_nUnderline = mode; }
  // Opens the address; when nothing opens it, the program registered for ".htm" files gets it as its one
  // argument. The result is the shell's (above 32 is success).
  static int OpenUrl(const char* address, int showCommand);
  // The text reported for an open that failed with this result.
  static CString ErrorText(int result);

  COLORREF CurrentColour() const;
  BOOL IsOver() const { return m_bOver; }
  BOOL IsVisited() const { return m_bVisited; }

  BOOL DestroyWindow() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  void PreSubclassWindow() override;
  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnClicked();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);

 private:
  void FitToText();
  void ReportError(int result);

  COLORREF m_crLink = RGB(0, 0, 238);
  COLORREF m_crVisited = RGB(85, 26, 139);
  COLORREF m_crHover = RGB(255, 0, 0);
  BOOL m_bOver = FALSE;
  BOOL m_bVisited = FALSE;
  int m_nUnderline = -1;
  BOOL m_bFitToText = TRUE;
  CString m_strUrl;
  CFont m_fontUnderlined;
  CFont m_fontPlain;
  HCURSOR m_hLinkCursor = nullptr;
  CToolTipCtrl m_ToolTip;
  UINT_PTR m_nTimerId = 100;
  BOOL m_bParentBackground = FALSE;

  DECLARE_MESSAGE_MAP()
};
