#include "controls/ProgressPopupWnd.h"

#include <cstdarg>
#include <cstdio>

#include "controls/ControlsHost.h"

BEGIN_MESSAGE_MAP(CProgressPopupWnd, CWnd)
  ON_WM_ERASEBKGND()
  ON_BN_CLICKED(CProgressPopupWnd::kCancelId, OnCancel)
END_MESSAGE_MAP()

namespace {
constexpr int kMargin = 10;
constexpr int kWidth = 390, kHeight = 130;
constexpr char kSection[] = "Settings";
}  // namespace

CProgressPopupWnd::CProgressPopupWnd(CWnd* pOwner, LPCSTR caption, BOOL smooth)
    : m_hDisabled(pOwner ? pOwner->GetSafeHwnd() : nullptr),
      m_strCaption(ControlText(262)),
      m_strButton(ControlText(263)) {
  if (caption) m_strCaption = caption;
  CreatePopup(pOwner, m_strCaption, smooth);
}

CProgressPopupWnd::~CProgressPopupWnd() { DestroyPopup(); }

BOOL CProgressPopupWnd::CreatePopup(CWnd* pOwner, LPCSTR caption, BOOL smooth) {
  LPCSTR cls = AfxRegisterWndClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, LoadCursor(nullptr, IDC_APPSTARTING),
                                   reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  m_font.DeleteObject();
  m_font.CreateFontIndirect(&ncm.lfMessageFont);

  CWnd* owner = pOwner ? pOwner : AfxGetMainWnd();
  if (!CreateEx(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, cls, caption, WS_POPUP | WS_CAPTION, 0, 0, kWidth, kHeight,
                owner ? owner->GetSafeHwnd() : nullptr, nullptr))
    return FALSE;
  const CRect small(0, 0, 10, 10);
  if (!m_text.Create("", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, small, this, kTextId) ||
      !m_bar.Create(WS_CHILD | WS_VISIBLE | (smooth ? PBS_SMOOTH : 0), small, this, kBarId) ||
      !m_cancel.Create(m_strButton, WS_CHILD | WS_VISIBLE | WS_TABSTOP, small, this, kCancelId))
    return FALSE;
  m_text.SetFont(&m_font);
  m_cancel.SetFont(&m_font);
  Layout(m_nTextLines, kWidth);
  if (m_bRememberPosition) RestorePosition();
  else CenterWindow(owner);
  Show();
  return TRUE;
}

BOOL CProgressPopupWnd::Create(LPCSTR caption, BOOL smooth) {
  if (!m_hWnd && !CreatePopup(CWnd::FromHandle(m_hDisabled), caption, smooth)) return FALSE;
  if (!m_hWnd) return FALSE;
  // The top-most enabled window of the owner chain.
  HWND top = m_hWnd;
  for (HWND next = ::GetParent(top); next && ::IsWindowEnabled(next); next = ::GetParent(top)) top = next;
  ::EnableWindow(top, FALSE);
  ::EnableWindow(m_hWnd, TRUE);
  m_hDisabled = top;
  m_bOwnerDisabled = TRUE;
  return TRUE;
}

void CProgressPopupWnd::Layout(int lines, int width) {
  const int cx = GetSystemMetrics(SM_CXEDGE), cy = GetSystemMetrics(SM_CYEDGE);
  CRect text(kMargin, kMargin, width - 2 * kMargin, 2 * kMargin + 100);
  CSize button;
  {
    CClientDC dc(this);
    CFont* old = dc.SelectObject(&m_font);
    CString sample = "M";
    for (int i = 1; i < lines; ++i) sample += "\nM";
    dc.DrawText(sample, text, DT_CALCRECT | DT_NOPREFIX | DT_NOCLIP);
    text.right = text.left + width;
    button = dc.GetTextExtent(m_strButton + "  ");
    if (old) dc.SelectObject(old);
  }
  button.cx += 4 * cx;
  button.cy += 3 * cy;
  const CRect buttonRect(text.right - button.cx, text.bottom + kMargin, text.right, text.bottom + kMargin + button.cy);
  const CRect barRect(text.left, buttonRect.top + cy, buttonRect.left - kMargin, buttonRect.bottom - cy);

  CRect frame(0, 0, text.Width() + 2 * kMargin, text.Height() + 2 * kMargin + button.cy + kMargin);
  AdjustWindowRectEx(&frame, CWnd::GetStyle(), FALSE, GetExStyle());
  SetWindowPos(nullptr, 0, 0, frame.Width(), frame.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_bar.MoveWindow(barRect);
  m_cancel.MoveWindow(buttonRect);
  m_text.MoveWindow(text);
}

void CProgressPopupWnd::SetRange(int lower, int upper, int step) {
  if (!m_hWnd) return;
  m_bar.SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
  m_nLower = lower;
  m_nUpper = upper;
  m_nStep = step;
  m_bar.SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step));
}

int CProgressPopupWnd::SetPos(int position) {
  if (!m_hWnd) return m_nPosition;
  Show();
  m_nPosition = position;
  return static_cast<int>(m_bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressPopupWnd::OffsetPos(int delta) { return SetPos(m_nPosition + delta); }

int CProgressPopupWnd::StepIt() { return SetPos(m_nPosition + m_nStep); }

void CProgressPopupWnd::SetText(const char* format, ...) {
  if (!m_hWnd || !format) return;
  // A text longer than the buffer is cut, never written past it.
  char buffer[kMaxText + 1];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  m_text.SetWindowText(buffer);
}

void CProgressPopupWnd::Show() {
  if (!m_hWnd || IsWindowVisible()) return;
  CWnd::ModifyStyle(0, WS_VISIBLE, 0);
  ShowWindow(SW_SHOWNA);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

void CProgressPopupWnd::Hide() {
  if (!m_hWnd || !IsWindowVisible()) return;
  ShowWindow(SW_HIDE);
  CWnd::ModifyStyle(WS_VISIBLE, 0, 0);
}

BOOL CProgressPopupWnd::OnEraseBkgnd(CDC* pDC) {
  CBrush brush(GetSysColor(COLOR_BTNFACE));
  CBrush* old = pDC->SelectObject(&brush);
  CRect client;
  GetClientRect(&client);
  pDC->PatBlt(client.left, client.top, client.Width(), client.Height(), PATCOPY);
  pDC->SelectObject(old);
  return TRUE;
}

void CProgressPopupWnd::OnCancel() {
  m_bCancelled = TRUE;
  Hide();
  if (m_bOwnerDisabled) SendMessage(WM_CLOSE);
  if (CWnd* main = AfxGetMainWnd(); main && main->GetSafeHwnd()) main->SetForegroundWindow();
}

void CProgressPopupWnd::DestroyPopup() {
  if (m_bRememberPosition) SavePosition();
  if (m_bOwnerDisabled) {
    m_bOwnerDisabled = FALSE;
    if (::IsWindow(m_hDisabled)) ::EnableWindow(m_hDisabled, TRUE);
  }
  if (m_hWnd) DestroyWindow();
}

void CProgressPopupWnd::SavePosition() {
  CWinApp* app = AfxGetApp();
  if (!m_hWnd || !app) return;
  CRect r;
  GetWindowRect(&r);
  app->WriteProfileInt(kSection, "X", r.left);
  app->WriteProfileInt(kSection, "Y", r.top);
}

void CProgressPopupWnd::RestorePosition() {
  CWinApp* app = AfxGetApp();
  const int x = app ? static_cast<int>(app->GetProfileInt(kSection, "X", -1)) : -1;
  const int y = app ? static_cast<int>(app->GetProfileInt(kSection, "Y", -1)) : -1;
  if (x >= 0 && x < GetSystemMetrics(SM_CXSCREEN) && y >= 0 && y < GetSystemMetrics(SM_CYSCREEN))
    SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  else
    CenterWindow(GetOwner());
}
