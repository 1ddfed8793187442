#include "controls/LabelCtrl.h"

#include <cstring>

#include "controls/ShellOpen.h"

BEGIN_MESSAGE_MAP(CLabelCtrl, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_WM_TIMER()
  ON_WM_LBUTTONDOWN()
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()

namespace {
constexpr UINT_PTR kBlinkTimer = 1;
}

CLabelCtrl::CLabelCtrl()
    : m_crText(GetSysColor(COLOR_WINDOWTEXT)), m_hBrush(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))) {
  GetObject(GetStockObject(DEFAULT_GUI_FONT), sizeof m_lf, &m_lf);
  m_font.CreateFontIndirect(&m_lf);
}

CLabelCtrl::~CLabelCtrl() {
  if (m_hBrush) DeleteObject(m_hBrush);
}

void CLabelCtrl::Redraw() {
  if (m_hWnd) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CLabelCtrl::RemakeFont() {
  m_font.DeleteObject();
  m_font.CreateFontIndirect(&m_lf);
  // The static paints with its own font too: give it the label's.
  if (m_hWnd) SetFont(&m_font, FALSE);
  Redraw();
}

void CLabelCtrl::PreSubclassWindow() {
  SetFont(&m_font, FALSE);
  CStatic::PreSubclassWindow();
}

void CLabelCtrl::SetTextColor(COLORREF colour) {
  m_crText = colour;
  Redraw();
}

void CLabelCtrl::SetFontBold(BOOL bold) {
  m_lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  RemakeFont();
}

void CLabelCtrl::SetFontSize(int size) {
  m_lf.lfHeight = -size;
  RemakeFont();
}

void CLabelCtrl::SetFontName(const CString& face) {
  strncpy(m_lf.lfFaceName, face, sizeof m_lf.lfFaceName - 1);
  m_lf.lfFaceName[sizeof m_lf.lfFaceName - 1] = 0;
  RemakeFont();
}

void CLabelCtrl::UseParentBackground() { m_bParentBackground = true; }

void CLabelCtrl::FlashText(BOOL on) {
  if (m_bBlinking) {
    SetWindowText(m_strSaved);
    KillTimer(kBlinkTimer);
    // A later start must save the text shown then, not this one.
    m_bBlinking = FALSE;
  }
  if (!on) return;
  GetWindowText(m_strSaved);
  m_bBlinkPhase = FALSE;
  m_bBlinking = TRUE;
  SetTimer(kBlinkTimer, 500);
}

HBRUSH CLabelCtrl::CtlColor(CDC* pDC, UINT nCtlColor) {
  if (nCtlColor == CTLCOLOR_STATIC) {
    pDC->SelectObject(&m_font);
    pDC->SetTextColor(m_crText);
    pDC->SetBkMode(OPAQUE);
  }
  return m_bParentBackground ? nullptr : m_hBrush;
}

void CLabelCtrl::OnTimer(UINT_PTR) {
  m_bBlinkPhase = !m_bBlinkPhase;
  SetWindowText(m_bBlinkPhase ? "" : static_cast<LPCSTR>(m_strSaved));
  Default();
}

void CLabelCtrl::OnLButtonDown(UINT, CPoint) {
  CString text;
  GetWindowText(text);
  ShellOpen(text);
  Default();
}

BOOL CLabelCtrl::OnSetCursor(CWnd*, UINT, UINT) {
  if (m_hCursor) {
    ::SetCursor(m_hCursor);
    return TRUE;
  }
  return static_cast<BOOL>(Default());
}
