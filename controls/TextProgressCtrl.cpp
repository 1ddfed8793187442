#include "controls/TextProgressCtrl.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "controls/ControlHelpers.h"
#include "controls/MemoryDC.h"
#include "platform/win32/sync.h"

namespace {

constexpr COLORREF kNoBackground = 0xFFFFFFFFu;

int ClampToInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

}  // namespace

CString FormatProgressNumber(const char* format, int value) {
  // Copy the format, keeping "%%" and the first integer conversion; every other '%' becomes "%%".
  std::string safe;
  bool used = false;
  for (size_t i = 0; format && format[i]; ++i) {
    if (format[i] != '%') {
      safe += format[i];
      continue;
    }
    if (format[i + 1] == '%') {
      safe += "%%";
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (format[j] && strchr("-+ #0", format[j])) ++j;
    while (format[j] >= '0' && format[j] <= '9') ++j;
    if (format[j] == '.') {
      ++j;
      while (format[j] >= '0' && format[j] <= '9') ++j;
    }
    if (!used && format[j] && strchr("diuxXoc", format[j]) && j - i < 16) {
      safe.append(format + i, j - i + 1);
      used = true;
      i = j;
    } else {
      safe += "%%";
    }
  }
  int n = snprintf(nullptr, 0, safe.c_str(), value);
  if (n < 0) return CString();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  snprintf(out.data(), out.size(), safe.c_str(), value);
  out.resize(static_cast<size_t>(n));
  return CString(out.c_str());
}

// ---------------------------------------------------------------------------------------------------------------
// CProgressPainter
// ---------------------------------------------------------------------------------------------------------------

CProgressPainter::CProgressPainter()
    : m_crBackground(GetSysColor(COLOR_BTNFACE)),
      m_crBarText(GetSysColor(COLOR_CAPTIONTEXT)),
      m_crText(GetSysColor(COLOR_BTNTEXT)) {
  const COLORREF caption = GetSysColor(COLOR_ACTIVECAPTION);
  SetColours(2, caption, caption);
}

CProgressPainter::~CProgressPainter() = default;

void CProgressPainter::SetRange(int a, int b) {
  m_nLower = std::min(a, b);
  m_nUpper = std::max(a, b);
  SetPosInternal(m_nPosition, FALSE);
}

int CProgressPainter::SetStep(int step) {
  int old = m_nStep;
  m_nStep = step;
  return old;
}

int CProgressPainter::SetPos(int pos) {
  int old = m_nPosition;
  if (!SetSegmentPos(pos, FALSE)) SetPosInternal(pos, FALSE);
  return old;
}

int CProgressPainter::OffsetPos(int delta) {
  int old = m_nPosition;
  if (!SetSegmentPos(delta, TRUE)) SetPosInternal(ClampToInt(static_cast<long long>(m_nPosition) + delta), FALSE);
  return old;
}

void CProgressPainter::SetPosInternal(int pos, BOOL force) {
  pos = std::clamp(pos, m_nLower, m_nUpper);
  if (pos == m_nPosition) return;
  if (!force && !OnPosChanging(m_nPosition, pos)) return;
  m_nPosition = pos;
  OnPosChanged(pos);
}

void CProgressPainter::SetTextFormat(const char* format, DWORD mode) {
  if (!format || !*format || !(mode & PBS_TEXT_MODE_MASK)) {
    ModifyStyle(PBS_TEXT_MODE_MASK, 0);
    m_strFormat.Empty();
  } else {
    ModifyStyle(PBS_TEXT_MODE_MASK, mode & PBS_TEXT_MODE_MASK);
    m_strFormat = format;
  }
}

void CProgressPainter::SetClipRegion(HRGN region) {
  m_clipRegion.DeleteObject();
  if (region) m_clipRegion.Attach(region);
}

void CProgressPainter::SetMargins(const int* values) {
  if (values) std::copy(values, values + 4, m_margins);
}

BOOL CProgressPainter::ModifyStyle(DWORD remove, DWORD add) {
  m_dwStyle = (m_dwStyle & ~remove) | add;
  return TRUE;
}

double CProgressPainter::GetValue(const ProgressDrawState& state) {
  switch (state.style & PBS_TEXT_MODE_MASK) {
    case PBS_SHOW_PERCENT:
      if (state.upper <= state.lower) return 0.0;
      return (static_cast<double>(state.position) - state.lower) * 100.0 /
             (static_cast<double>(state.upper) - state.lower);
    case PBS_SHOW_POSITION:
      return state.position;
    default:
      return 0.0;
  }
}

CString CProgressPainter::FormatText(const ProgressDrawState& state, const CString& format) {
  const int value = static_cast<int>(GetValue(state));
  if (!format.IsEmpty()) return FormatProgressNumber(format, value);
  switch (state.style & PBS_TEXT_MODE_MASK) {
    case PBS_SHOW_PERCENT: return FormatProgressNumber("%d%%", value);
    case PBS_SHOW_POSITION: return FormatProgressNumber("%d", value);
    default: return CString();
  }
}

BOOL CProgressPainter::SetSegmentPos(int value, BOOL relative) {
  if (!(GetStyle() & PBS_SEGMENT)) return FALSE;
  long long head;
  if (relative) {
    long long p = m_nPosition;
    if (m_nPosition == m_nUpper && static_cast<long long>(m_nPosition) - m_nSegmentTail < m_nSegmentLength)
      p = static_cast<long long>(m_nSegmentTail) + m_nSegmentLength;
    head = std::llabs(static_cast<long long>(value)) + p;
  } else {
    head = value;
  }
  const long long limit = static_cast<long long>(m_nUpper) + m_nSegmentLength;
  if (head > limit) {
    head -= (static_cast<long long>(m_nUpper) - m_nLower) + m_nSegmentLength;
    if (head > limit) head = limit;
    if (GetStyle() & PBS_REVERSE) ModifyStyle(PBS_REVERSE, 0);
    else ModifyStyle(0, PBS_REVERSE);
  }
  m_nSegmentTail = ClampToInt(std::max<long long>(head - m_nSegmentLength, m_nLower));
  SetPosInternal(ClampToInt(head), FALSE);
  return TRUE;
}

CRect CProgressPainter::GetBarRect(const ProgressDrawState& state, int from, int to) const {
  CRect r(state.rect);
  const bool reverse = (state.style & PBS_REVERSE) != 0;
  if (state.style & PBS_VERTICAL) {
    if (reverse) { r.top = state.rect.top + from; r.bottom = state.rect.top + to; }
    else { r.top = state.rect.bottom - to; r.bottom = state.rect.bottom - from; }
  } else {
    if (reverse) { r.left = state.rect.right - to; r.right = state.rect.right - from; }
    else { r.left = state.rect.left + from; r.right = state.rect.left + to; }
  }
  return r;
}

void CProgressPainter::DrawBar(CDC* pDC, const CRect& rect, BOOL direct) {
  if (!pDC) return;
  const int saved = pDC->SaveDC();
  if (m_clipRegion.GetSafeHandle()) {
    pDC->SelectClipRgn(&m_clipRegion);
    pDC->OffsetClipRgn(rect.left, rect.top);
  }
  {
    const bool transparent = !m_hBackgroundBrush && m_crBackground == kNoBackground;
    CMemoryDC memory(pDC, &rect, transparent && !direct);
    CDC* dc = direct ? pDC : &memory;
    if (m_hBackgroundBrush) dc->FillRect(rect, CBrush::FromHandle(m_hBackgroundBrush));
    else if (m_crBackground != kNoBackground) dc->FillSolidRect(rect, m_crBackground);

    ProgressDrawState state{dc, GetStyle(), rect, m_nPosition, m_nLower, m_nUpper};
    state.rect.left += m_margins[0];
    state.rect.top += m_margins[1];
    state.rect.right -= m_margins[2];
    state.rect.bottom -= m_margins[3];
    if (m_nPosition >= m_nLower && m_nPosition <= m_nUpper) {
      const bool vertical = (state.style & PBS_VERTICAL) != 0;
      const bool reverse = (state.style & PBS_REVERSE) != 0;
      const int extent = std::max(0, vertical ? state.rect.Height() : state.rect.Width());
      const int barEnd = RangePixels(m_nPosition, m_nLower, m_nUpper, extent);
      const int tailEnd = (state.style & PBS_SEGMENT) ? RangePixels(m_nSegmentTail, m_nLower, m_nUpper, extent) : 0;
      if (m_hBarBrush) {
        dc->FillRect(GetBarRect(state, tailEnd, barEnd), CBrush::FromHandle(m_hBarBrush));
      } else if (barEnd > tailEnd) {
        SetDirection(vertical ? (reverse ? kTopToBottom : kBottomToTop) : (reverse ? kRightToLeft : kLeftToRight));
        const bool onBar = (state.style & PBS_RAMP_ON_BAR) != 0;
        const int rangeStart = onBar ? tailEnd : 0, rangeEnd = onBar ? barEnd : extent;
        const long long span = static_cast<long long>(m_nUpper) - m_nLower;
        const int shift = span > 0 ? ClampToInt((rangeEnd - rangeStart) * static_cast<long long>(m_nAnimationOffset) / span) : 0;
        const CRect range = GetBarRect(state, rangeStart, rangeEnd);
        Draw(dc, range.left, range.top, range.right, range.bottom, tailEnd - rangeStart, barEnd - rangeStart, shift);
      }
      DrawText(state, GetBarRect(state, 0, extent), GetBarRect(state, tailEnd, barEnd));
    }
  }
  pDC->RestoreDC(saved);
}

void CProgressPainter::DrawClippedText(const ProgressDrawState& state, const CRect& clip, const CString& text, int x,
                                       int y) {
  CDC* dc = state.pDC;
  const int saved = dc->SaveDC();
  dc->IntersectClipRect(clip);
  dc->TextOut(x, y, text);
  dc->RestoreDC(saved);
}

void CProgressPainter::DrawText(const ProgressDrawState& state, const CRect& whole, const CRect& bar) {
  if (!(state.style & PBS_TEXT_MODE_MASK)) return;
  const CString text = FormatText(state, m_strFormat);
  if (text.IsEmpty()) return;
  CDC* dc = state.pDC;
  CFont* oldFont = m_hFont ? dc->SelectObject(CFont::FromHandle(m_hFont)) : nullptr;
  const COLORREF oldColour = dc->SetTextColor(m_crBarText);
  const int oldMode = dc->SetBkMode(TRANSPARENT);
  const UINT oldAlign = dc->SetTextAlign(TA_CENTER | TA_BOTTOM);

  const CSize extent = dc->GetTextExtent(text);
  int rotation = 0;
  if (m_hFont) {
    LOGFONTA lf{};
    GetObject(m_hFont, sizeof lf, &lf);
    rotation = lf.lfEscapement / 10;
  }
  CSize box(0, 0), offset(0, 0);
  switch (rotation) {
    case 0: box = CSize(extent.cx, extent.cy); offset = CSize(0, extent.cy); break;
    case 90: box = CSize(extent.cy, extent.cx); offset = CSize(extent.cy, 0); break;
    case 180: box = CSize(extent.cx, extent.cy); offset = CSize(0, -extent.cy); break;
    case 270: box = CSize(extent.cy, extent.cx); offset = CSize(-extent.cy, 0); break;
    default: break;
  }
  auto place = [&](const CRect& r, int* x, int* y) {
    const int w = r.Width(), h = r.Height();
    int dx = offset.cx, dy = offset.cy;
    if (state.style & PBS_TEXT_LEFT) dx -= w - box.cx;
    if (state.style & PBS_TEXT_RIGHT) dx += w - box.cx;
    if (state.style & PBS_TEXT_TOP) dy -= h - box.cy;
    if (state.style & PBS_TEXT_BOTTOM) dy += h - box.cy;
    *x = r.left + (w + dx) / 2;
    *y = r.top + (h + dy) / 2;
  };
  int x = 0, y = 0;
  if (!(state.style & PBS_TEXT_ON_BAR)) {
    place(whole, &x, &y);
    dc->SetTextColor(m_crText);
    DrawClippedText(state, whole, text, x, y);
    if (m_crBarText != m_crText) {
      dc->SetTextColor(m_crBarText);
      DrawClippedText(state, bar, text, x, y);
    }
  } else {
    place(bar, &x, &y);
    const bool fits = (state.style & PBS_VERTICAL) ? box.cy <= bar.Height() : box.cx <= bar.Width();
    if (fits) DrawClippedText(state, bar, text, x, y);
  }
  dc->SetTextAlign(oldAlign);
  dc->SetBkMode(oldMode);
  dc->SetTextColor(oldColour);
  if (oldFont) dc->SelectObject(oldFont);
}

// ---------------------------------------------------------------------------------------------------------------
// CTextProgressCtrl
// ---------------------------------------------------------------------------------------------------------------

CTextProgressCtrl::CTextProgressCtrl() = default;

CTextProgressCtrl::~CTextProgressCtrl() {
  if (m_toolTip.GetSafeHwnd()) m_toolTip.DestroyWindow();
}

bool CTextProgressCtrl::OnOwnerThread() const {
  return !m_hWnd || GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId();
}

DWORD CTextProgressCtrl::GetStyle() const { return m_hWnd ? CWnd::GetStyle() : CProgressPainter::GetStyle(); }

BOOL CTextProgressCtrl::ModifyStyle(DWORD remove, DWORD add) {
  if (!m_hWnd) return CProgressPainter::ModifyStyle(remove, add);
  BOOL changed = CWnd::ModifyStyle(remove, add, 0);
  Invalidate();
  return changed;
}

int CTextProgressCtrl::SetPos(int pos) {
  if (m_hWnd && !OnOwnerThread()) return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)));
  int old = CProgressPainter::SetPos(pos);
  if (m_hWnd) Invalidate();
  return old;
}

int CTextProgressCtrl::StepIt() {
  if (m_hWnd && !OnOwnerThread()) return static_cast<int>(SendMessage(PBM_STEPIT));
  int old = CProgressPainter::StepIt();
  if (m_hWnd) Invalidate();
  return old;
}

void CTextProgressCtrl::SetSegmentStyle(BOOL on) {
  if (on) ModifyStyle(0, PBS_SEGMENT | PBS_RAMP_ON_BAR);
  else ModifyStyle(PBS_SEGMENT | PBS_RAMP_ON_BAR, 0);
}

void CTextProgressCtrl::StartAnimation(UINT period, int step) {
  m_nAnimationStep = step;
  if (!m_hWnd) return;
  KillTimer(kAnimationTimer);
  SetTimer(kAnimationTimer, period);
}

void CTextProgressCtrl::StopAnimation() {
  if (m_hWnd) KillTimer(kAnimationTimer);
}

void CTextProgressCtrl::SetTooltipFormat(const char* format, DWORD mode) {
  m_strTooltipFormat = format ? format : "";
  m_dwTooltipMode = mode & PBS_TEXT_MODE_MASK;
  if (!m_strTooltipFormat.IsEmpty() && m_dwTooltipMode) {
    if (!m_toolTip.GetSafeHwnd() && m_hWnd) {
      if (m_toolTip.Create(this, TTS_ALWAYSTIP | TTS_NOPREFIX)) {
        CRect client;
        GetClientRect(&client);
        m_toolTip.AddTool(this, "", &client, 1);
      }
    }
    UpdateTooltipText(m_nPosition);
    if (m_toolTip.GetSafeHwnd()) m_toolTip.Activate(TRUE);
  } else if (m_toolTip.GetSafeHwnd()) {
    m_toolTip.Activate(FALSE);
  }
}

void CTextProgressCtrl::UpdateTooltipText(int position) {
  if (!m_toolTip.GetSafeHwnd()) return;
  ProgressDrawState state{nullptr, m_dwTooltipMode, CRect(), position, m_nLower, m_nUpper};
  m_toolTip.UpdateTipText(FormatText(state, m_strTooltipFormat), this, 1);
}

BOOL CTextProgressCtrl::PreTranslateMessage(MSG* pMsg) {
  if (m_toolTip.GetSafeHwnd() && pMsg->message == WM_MOUSEMOVE) m_toolTip.RelayEvent(pMsg);
  return CProgressCtrl::PreTranslateMessage(pMsg);
}

void CTextProgressCtrl::Paint(CDC* target) {
  std::unique_ptr<CPaintDC> paint(target ? nullptr : new CPaintDC(this));
  CDC& dc = target ? *target : *paint;
  CRect client;
  GetClientRect(&client);
  CPalette* oldPalette = nullptr;
  bool selected = false;
  if (m_bUsePalette) {
    CPalette* palette = GetPalette();
    if (palette->GetSafeHandle()) {
      oldPalette = dc.SelectPalette(palette, FALSE);
      dc.RealizePalette();
      selected = true;
    }
  }
  DrawBar(&dc, client, FALSE);
  if (selected) dc.SelectPalette(oldPalette, FALSE);
}

LRESULT CTextProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint(nullptr);
      return 0;
    case WM_PRINTCLIENT:
      // The window's picture into another DC (a print of the window).
      Paint(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));
      return 0;
    case WM_ERASEBKGND:
      return TRUE;
    case PBM_SETBARCOLOR:
      SetBarColours(static_cast<COLORREF>(lParam), wParam ? static_cast<COLORREF>(wParam) : static_cast<COLORREF>(lParam));
      Invalidate();
      return CLR_DEFAULT;
    case CCM_SETBKCOLOR:
      SetBackgroundColour(static_cast<COLORREF>(lParam));
      Invalidate();
      return CLR_DEFAULT;
    case PBM_SETRANGE:
      return WindowProc(PBM_SETRANGE32, static_cast<WPARAM>(static_cast<int>(LOWORD(lParam))),
                        static_cast<LPARAM>(static_cast<int>(HIWORD(lParam))));
    case PBM_SETRANGE32: {
      const LRESULT old = MAKELONG(static_cast<WORD>(m_nLower), static_cast<WORD>(m_nUpper));
      CProgressPainter::SetRange(static_cast<int>(wParam), static_cast<int>(lParam));
      Invalidate();
      return old;
    }
    case PBM_GETRANGE: {
      if (lParam) {
        auto* out = reinterpret_cast<int*>(lParam);
        out[0] = m_nLower;
        out[1] = m_nUpper;
      }
      return wParam ? m_nLower : m_nUpper;
    }
    case PBM_SETPOS:
      return SetPos(static_cast<int>(wParam));
    case PBM_DELTAPOS: {
      int old = CProgressPainter::OffsetPos(static_cast<int>(wParam));
      Invalidate();
      return old;
    }
    case PBM_SETSTEP:
      return CProgressPainter::SetStep(static_cast<int>(wParam));
    case PBM_STEPIT:
      return StepIt();
    case PBM_GETPOS:
      return m_nPosition;
    case WM_SETTEXT:
      m_strFormat = reinterpret_cast<const char*>(lParam);
      Invalidate();
      return TRUE;
    case WM_GETTEXT:
      // Room for the terminator: at most wParam - 1 characters are copied.
      return CopyControlText(m_strFormat, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return m_strFormat.GetLength();
    case WM_SETFONT:
      m_hFont = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(m_hFont);
    case WM_TIMER:
      if (wParam == kStepTimer) {
        StepIt();
        UpdateWindow();
      } else if (wParam == kAnimationTimer) {
        m_nAnimationOffset += m_nAnimationStep;
        const long long modulus = static_cast<long long>(m_fScale * (static_cast<double>(m_nUpper) - m_nLower));
        // An empty range (or a scale that makes it empty) has nothing to animate.
        m_nAnimationOffset = modulus > 0 ? static_cast<int>(m_nAnimationOffset % modulus) : 0;
        Invalidate();
        UpdateWindow();
      }
      return CProgressCtrl::WindowProc(message, wParam, lParam);
    default:
      return CProgressCtrl::WindowProc(message, wParam, lParam);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// CStatusProgressCtrl
// ---------------------------------------------------------------------------------------------------------------

BOOL CStatusProgressCtrl::SetRange(int lower, int upper, int step) {
  if (!m_hWnd) return FALSE;
  SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
  SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step));
  return TRUE;
}

int CStatusProgressCtrl::Send(UINT message, WPARAM wParam) {
  if (!m_hWnd) return 0;
  CWnd::ModifyStyle(m_hWnd, 0, WS_VISIBLE, 0);
  return static_cast<int>(SendMessage(message, wParam));
}

int CStatusProgressCtrl::SetPos(int pos) { return Send(PBM_SETPOS, static_cast<WPARAM>(pos)); }
int CStatusProgressCtrl::OffsetPos(int delta) { return Send(PBM_DELTAPOS, static_cast<WPARAM>(delta)); }
int CStatusProgressCtrl::SetStep(int step) { return Send(PBM_SETSTEP, static_cast<WPARAM>(step)); }
int CStatusProgressCtrl::StepIt() { return Send(PBM_STEPIT, 0); }

void CStatusProgressCtrl::SetText(const char* text) {
  m_strText = text ? text : "";
  Reposition();
}

CStatusBar* CStatusProgressCtrl::GetStatusBar() {
  CWnd* main = AfxGetMainWnd();
  if (!main || !main->GetSafeHwnd()) return nullptr;
  CWnd* bar = nullptr;
  if (auto* frame = dynamic_cast<CFrameWnd*>(main)) bar = frame->GetMessageBar();
  else bar = main->GetDescendantWindow(0xE801);
  return static_cast<CStatusBar*>(bar);
}

BOOL CStatusProgressCtrl::Reposition() {
  if (!m_hWnd) return FALSE;
  CStatusBar* bar = GetStatusBar();
  if (!bar || !bar->GetSafeHwnd()) return FALSE;
  if (IsWindowVisible()) {
    bar->SetPaneText(m_nPane, m_strText, TRUE);
    bar->UpdateWindow();
  }
  int textWidth = 0, spaceWidth = 0;
  {
    CClientDC dc(bar);
    CFont* old = dc.SelectObject(bar->GetFont());
    textWidth = dc.GetTextExtent(m_strText).cx;
    spaceWidth = dc.GetTextExtent(" ", 1).cx;
    if (old) dc.SelectObject(old);
  }
  CRect r;
  bar->GetItemRect(m_nPane, &r);
  if (!m_strText.IsEmpty()) r.left += textWidth + 4 * spaceWidth;
  r.right -= (r.right - r.left) * (100 - m_nShare) / 100;
  if (r.right < r.left) r.right = r.left;
  const int inset = r.Height() / 10;
  r.top += inset;
  r.bottom -= inset;
  if (r != m_lastRect) {
    MoveWindow(&r, TRUE);
    m_lastRect = r;
  }
  return TRUE;
}
