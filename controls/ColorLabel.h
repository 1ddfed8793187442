// A coloured static text of the pages and dialogs: its own text colour and font (never underlined) on a light
// background colour, which is painted behind the text on Windows XP-class systems only.
#pragma once

#include "platform/mfc/controls.h"

class CColorLabel : public CStatic {
 public:
  CColorLabel();
  ~CColorLabel() override;

  // Shown at the next repaint.
  void SetTextColor(COLORREF colour);
  COLORREF GetTextColor() const { return m_crText; }
  // The font made for the label (null before its first paint).
  CFont* GetLabelFont() { return m_font.GetSafeHandle() ? &m_font : nullptr; }

  COLORREF m_crText;
  COLORREF m_crBackground;
  CFont m_font;
  // The object deletes itself once its window is gone.
  BOOL m_bAutoDelete = FALSE;
  // Replace the window font's height, width and face where set (before the first paint).
  int m_nFontHeight = 0;
  int m_nFontWidth = 0;
  CString m_strFaceName;

 protected:
  void PostNcDestroy() override;
  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
  afx_msg LRESULT OnSetText(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()
};
