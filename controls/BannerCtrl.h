// The header strip a sheet shows above its pages: the active page's icon, a bold title and a smaller
// subtitle on a band in the window colour, with the frame's shadow line at its bottom.
#pragma once

#include "platform/mfc/wnd.h"

class CBannerCtrl : public CWnd {
 public:
  CBannerCtrl();
  ~CBannerCtrl() override;

  using CWnd::Attach;
  // Makes the sheet taller by the banner's height and creates the banner at its top.
  void Attach(CWnd* sheet);
  // The larger of the height and the least height that holds the icon or both texts.
  void SetHeight(int height);
  int GetHeight() const { return m_nHeight; }
  int GetMinimumHeight() const;
  void SetContent(HICON icon, LPCSTR title, LPCSTR subtitle);
  void SetBkColour(COLORREF colour);
  // 0 left, 1 centre, 2 right; anything else is left.
  void SetAlignment(int alignment);
  int GetAlignment() const { return m_nAlignment; }
  const CString& GetTitle() const { return m_strTitle; }
  static void CreateBannerFont(CFont& font, int weight, int height);

  // Where the title and the subtitle go in the client rectangle.
  void GetTextRects(const RECT& client, RECT* title, RECT* subtitle) const;

 protected:
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnPaint();

 private:
  void Repaint();

  int m_nTitleFontHeight = 15;
  int m_nSubtitleFontHeight = 13;
  int m_nHeight = 60;
  int m_cxIcon;
  int m_cyIcon;
  int m_nBottomStrip;
  int m_nBorder = 1;
  int m_nMargin = 5;
  int m_nTitleIndent = 10;
  int m_nSubtitleIndent = 10;
  int m_nAlignment = 0;
  BOOL m_bReserveIconSpace = TRUE;
  HICON m_hIcon = nullptr;
  CFont m_fontTitle;
  CFont m_fontSubtitle;
  CString m_strTitle;
  CString m_strSubtitle;
  COLORREF m_crBackground;

  DECLARE_MESSAGE_MAP()
};
