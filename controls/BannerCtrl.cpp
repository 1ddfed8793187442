#include "controls/BannerCtrl.h"

#include <algorithm>

BEGIN_MESSAGE_MAP(CBannerCtrl, CWnd)
  ON_WM_ERASEBKGND()
  ON_WM_PAINT()
END_MESSAGE_MAP()

CBannerCtrl::CBannerCtrl()
    : m_cxIcon(GetSystemMetrics(SM_CXICON)),
      m_cyIcon(GetSystemMetrics(SM_CYICON)),
      m_nBottomStrip(GetSystemMetrics(SM_CXEDGE)),
      m_crBackground(GetSysColor(COLOR_WINDOW)) {}

CBannerCtrl::~CBannerCtrl() {
  if (m_hWnd) DestroyWindow();
}

void CBannerCtrl::Attach(CWnd* sheet) {
  if (!sheet || !sheet->GetSafeHwnd()) return;
  SetHeight(m_nHeight);
  CRect rc;
  sheet->GetWindowRect(&rc);
  sheet->SetWindowPos(nullptr, 0, 0, rc.Width(), rc.Height() + m_nHeight,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CreateEx(0, AfxRegisterWndClass(0), "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, -1, -1, rc.Width(),
           m_nHeight, sheet->GetSafeHwnd(), nullptr);
}

int CBannerCtrl::GetMinimumHeight() const {
  return std::max(m_cyIcon + 2 * m_nMargin + m_nBorder,
                  m_nTitleFontHeight + 2 * m_nMargin + m_nSubtitleFontHeight + m_nBorder + 2);
}

void CBannerCtrl::SetHeight(int height) {
  m_nHeight = std::max(height, GetMinimumHeight());
  Repaint();
}

void CBannerCtrl::SetContent(HICON icon, LPCSTR title, LPCSTR subtitle) {
  m_hIcon = icon;
  m_strTitle = title;
  m_strSubtitle = subtitle;
  // The title is also the window's text, so that it can be read (and spoken) as the page's name.
  if (GetSafeHwnd()) SetWindowText(title ? title : "");
  Repaint();
}

void CBannerCtrl::SetBkColour(COLORREF colour) {
  m_crBackground = colour;
  Repaint();
}

void CBannerCtrl::SetAlignment(int alignment) {
  m_nAlignment = alignment >= 0 && alignment <= 2 ? alignment : 0;
  Repaint();
}

void CBannerCtrl::Repaint() {
  if (m_hWnd) Invalidate();
}

void CBannerCtrl::CreateBannerFont(CFont& font, int weight, int height) {
  font.DeleteObject();
  font.CreateFont(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, 0, 0, 0, 2, 6, "Tahoma");
}

BOOL CBannerCtrl::OnEraseBkgnd(CDC*) { return TRUE; }

void CBannerCtrl::GetTextRects(const RECT& client, RECT* title, RECT* subtitle) const {
  CRect t;
  t.left = client.left + m_nTitleIndent;
  if (m_hIcon || m_bReserveIconSpace) t.left += m_cxIcon + m_nMargin;
  t.top = client.top + m_nMargin;
  t.right = client.right - m_nMargin - m_nBorder;
  t.bottom = t.top + m_nTitleFontHeight;
  if (m_nAlignment == 1) t.right -= t.left - client.left;
  CRect s(t.left, t.bottom, t.right, client.bottom);
  if (m_nAlignment == 0) s.left += m_nSubtitleIndent;
  if (m_nAlignment == 2) s.right -= m_nSubtitleIndent;
  if (title) *title = t;
  if (subtitle) *subtitle = s;
}

void CBannerCtrl::OnPaint() {
  CPaintDC dc(this);
  CreateBannerFont(m_fontSubtitle, 400, m_nSubtitleFontHeight);
  CreateBannerFont(m_fontTitle, 700, m_nTitleFontHeight);
  CRect client;
  GetClientRect(&client);
  dc.Draw3dRect(&client, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  dc.FillSolidRect(client.left, client.top, client.Width(), client.Height() - m_nBottomStrip, m_crBackground);
  if (m_hIcon) dc.DrawIcon(m_nMargin, m_nMargin, m_hIcon);

  static const UINT kAlign[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
  UINT flags = kAlign[m_nAlignment] | DT_END_ELLIPSIS | DT_EDITCONTROL | DT_WORDBREAK;
  CRect title, subtitle;
  GetTextRects(client, &title, &subtitle);
  int oldMode = dc.SetBkMode(TRANSPARENT);
  CFont* oldFont = dc.SelectObject(&m_fontTitle);
  dc.DrawText(m_strTitle, &title, flags);
  dc.SelectObject(&m_fontSubtitle);
  dc.DrawText(m_strSubtitle, &subtitle, flags);
  dc.SelectObject(oldFont);
  dc.SetBkMode(oldMode);
}
