// A static text with its own text colour, background brush and font, which can blink its text and, with the
// SS_NOTIFY style, opens its own text (a file, folder or web address) when clicked.
#pragma once

#include "platform/mfc/controls.h"

class CLabelCtrl : public CStatic {
 public:
  CLabelCtrl();
  ~CLabelCtrl() override;

  void SetTextColor(COLORREF colour);
  void SetFontBold(BOOL bold);
  // Character height in logical units.
  void SetFontSize(int size);
  // A face name of at most 31 characters.
  void SetFontName(const CString& face);
  // Starts blinking (500 ms shown, 500 ms hidden) or stops it with the text shown.
  void FlashText(BOOL on);
  // From now on the label paints no background of its own.
  void UseParentBackground();
  void SetLabelCursor(HCURSOR cursor) { m_hCursor = cursor; }

  COLORREF GetTextColour() const { return m_crText; }
  const LOGFONTA& GetFontDescription() const { return m_lf; }
  BOOL IsBlinking() const { return m_bBlinking; }

 protected:
  void PreSubclassWindow() override;
  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);

 private:
  void Redraw();
  void RemakeFont();

  COLORREF m_crText;
  HBRUSH m_hBrush;
  LOGFONTA m_lf{};
  CFont m_font;
  CString m_strSaved;
  BOOL m_bBlinkPhase = FALSE;
  BOOL m_bBlinking = FALSE;
  HCURSOR m_hCursor = nullptr;
  bool m_bParentBackground = false;

  DECLARE_MESSAGE_MAP()
};
