#include "controls/ColorLabel.h"

#include <cstring>

#include "controls/ControlsHost.h"
#include "platform/mfc/afxwin.h"

BEGIN_MESSAGE_MAP(CColorLabel, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_MAP()


CColorLabel::CColorLabel() : m_crText(RGB(0, 70, 213)), m_crBackground(GetSysColor(COLOR_3DLIGHT)) {}

CColorLabel::~CColorLabel() = default;

void CColorLabel::SetTextColor(COLORREF colour) { m_crText = colour; }

void CColorLabel::PostNcDestroy() {
  if (m_bAutoDelete) delete this;
}

HBRUSH CColorLabel::CtlColor(CDC* pDC, UINT) {
  const bool opaque = OpaqueLabels();
  // Only the text styles are coloured; icons, frames and rectangles keep the default.
  if ((GetStyle() & 0xFF) > SS_RIGHT) return nullptr;
  if (!m_font.GetSafeHandle()) {
    LOGFONTA lf{};
    HGDIOBJ current = reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT));
    ::GetObject(current ? current : GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfUnderline = FALSE;
    if (m_nFontHeight) lf.lfHeight = m_nFontHeight;
    if (m_nFontWidth) lf.lfWidth = m_nFontWidth;
    if (!m_strFaceName.IsEmpty()) {
      std::strncpy(lf.lfFaceName, m_strFaceName, sizeof lf.lfFaceName - 1);
      lf.lfFaceName[sizeof lf.lfFaceName - 1] = 0;
    }
    m_font.CreateFontIndirect(&lf);
    // The window system's static draws with the font it was given: give it the label's.
    SetFont(&m_font, FALSE);
  }
  pDC->SelectObject(m_font.GetSafeHandle());
  pDC->SetTextColor(m_crText);
  pDC->SetBkColor(m_crBackground);
  pDC->SetBkMode(opaque ? OPAQUE : TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

LRESULT CColorLabel::OnSetText(WPARAM, LPARAM) {
  const LRESULT result = Default();
  // The label paints no background of its own: the parent repaints what lies under it first, or a shorter new
  // text would leave the end of the old one on the screen.
  CWnd* parent = GetParent();
  if (parent && IsWindowVisible()) {
    CRect area;
    GetWindowRect(&area);
    parent->ScreenToClient(&area);
    parent->InvalidateRect(&area, TRUE);
  }
  return result;
}
