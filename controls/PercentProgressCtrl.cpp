#include "controls/PercentProgressCtrl.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "controls/ControlHelpers.h"
#include "controls/MemoryDC.h"
#include "platform/win32/sync.h"

namespace {

// The private message through which other threads reach the owner thread: wParam the call, lParam its argument.
UINT CallMessage() {
  static const UINT message = RegisterWindowMessage("KxPercentProgressCall");
  return message;
}

}  // namespace

CPercentProgressCtrl::CPercentProgressCtrl() : m_crBar(CLR_DEFAULT), m_crBackground(CLR_DEFAULT) {}

CPercentProgressCtrl::~CPercentProgressCtrl() = default;

void CPercentProgressCtrl::SetRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
}

LRESULT CPercentProgressCtrl::OnOwner(Call call, int argument) {
  if (m_hWnd && GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId())
    return SendMessage(CallMessage(), static_cast<WPARAM>(call), argument);
  return Run(call, argument);
}

LRESULT CPercentProgressCtrl::Run(Call call, int argument) {
  switch (call) {
    case Call::kSetPosition: {
      if (!m_hWnd) return -1;
      const int old = m_nPosition;
      m_nPosition = argument;
      UpdateText();
      CRect client;
      GetClientRect(&client);
      const int length = RangePixels(m_nPosition, m_nLower, m_nUpper, client.Width());
      if (length != m_nLastBarLength) {
        m_nLastBarLength = length;
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
      }
      return old;
    }
    case Call::kStart:
      if (argument == 0) return 0;
      if (m_hWnd) ShowWindow(SW_SHOW);
      SetRange(0, argument);
      Run(Call::kSetPosition, 0);
      return 0;
    case Call::kHide:
      if (m_hWnd) ShowWindow(argument ? SW_HIDE : SW_SHOW);
      return 0;
  }
  return 0;
}

int CPercentProgressCtrl::SetPosition(int position) {
  return static_cast<int>(OnOwner(Call::kSetPosition, position));
}

void CPercentProgressCtrl::Start(int count) { OnOwner(Call::kStart, count); }

void CPercentProgressCtrl::Hide(int flag) { OnOwner(Call::kHide, flag); }

void CPercentProgressCtrl::UpdateText() {
  // The share of the range covered, so that a range not starting at 0 reads right.
  float percent = 0.0f;
  if (m_nUpper > m_nLower)
    percent = static_cast<float>((static_cast<double>(m_nPosition) - m_nLower) * 100.0 /
                                 (static_cast<double>(m_nUpper) - m_nLower));
  CString text;
  text.Format("%.2f %%", static_cast<double>(percent));
  if (m_hWnd) SetWindowText(text);
}

void CPercentProgressCtrl::Paint(CDC* target) {
  CPaintDC* painting = target ? nullptr : new CPaintDC(this);
  CDC& paint = target ? *target : *painting;
  std::unique_ptr<CPaintDC> done(painting);
  const COLORREF bar = m_crBar == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : m_crBar;
  const COLORREF background = m_crBackground == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : m_crBackground;
  CRect client;
  GetClientRect(&client);
  CMemoryDC dc(&paint, &client);
  if (m_nLower >= m_nUpper) {
    // An empty range has no bar and no text, but the old picture must not stay (the background is not erased).
    dc.FillSolidRect(client, background);
    return;
  }
  const double f = (static_cast<double>(m_nPosition) - m_nLower) / (static_cast<double>(m_nUpper) - m_nLower);
  CRect barRect(client), rest(client);
  const bool vertical = (CWnd::GetStyle() & PBS_VERTICAL) != 0;
  if (vertical) {
    barRect.top = client.bottom - static_cast<int>(client.Height() * f);
    rest.bottom = barRect.top;
  } else {
    barRect.right = client.left + static_cast<int>(client.Width() * f);
    rest.left = barRect.right;
  }
  dc.FillSolidRect(barRect, bar);
  dc.FillSolidRect(rest, background);
  if (m_bShowText && !vertical) {
    CString text = m_strText;
    if (text.IsEmpty()) text.Format("%d%%", static_cast<int>(f * 100.0));
    CFont* oldFont = dc.SelectObject(GetFont());
    const int oldMode = dc.SetBkMode(TRANSPARENT);
    CRgn clip;
    clip.CreateRectRgnIndirect(barRect);
    dc.SelectClipRgn(&clip);
    dc.SetTextColor(background);
    dc.DrawText(text, client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    clip.SetRectRgn(rest);
    dc.SelectClipRgn(&clip);
    dc.SetTextColor(bar);
    dc.DrawText(text, client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    dc.SelectClipRgn(nullptr);
    dc.SetBkMode(oldMode);
    if (oldFont) dc.SelectObject(oldFont);
  }
}

LRESULT CPercentProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CallMessage()) return Run(static_cast<Call>(wParam), static_cast<int>(lParam));
  switch (message) {
    case WM_ERASEBKGND:
      return TRUE;
    case WM_PAINT:
      Paint(nullptr);
      return 0;
    case WM_PRINTCLIENT:
      Paint(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));
      return 0;
    case WM_SIZE:
      m_nLastBarLength = -1;
      break;
    case WM_SETTEXT: {
      const LRESULT result = CProgressCtrl::WindowProc(message, wParam, lParam);
      const char* text = reinterpret_cast<const char*>(lParam);
      const bool differs = text ? m_strText != text : !m_strText.IsEmpty();
      if (differs) {
        m_strText = text ? text : "";
        Invalidate();
      }
      return result;
    }
    case WM_GETTEXT:
      // Room for the terminator: at most wParam - 1 characters are copied.
      return CopyControlText(m_strText, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return m_strText.GetLength();
    default:
      break;
  }
  return CProgressCtrl::WindowProc(message, wParam, lParam);
}
