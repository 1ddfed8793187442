#include "controls/HyperlinkCtrl.h"

#include <cstring>
#include <string>

#include "controls/ControlsHost.h"
#include "controls/ShellOpen.h"
#include "platform/mfc/afxstate.h"
#include "platform/win32/registry.h"

BEGIN_MESSAGE_MAP(CHyperlinkCtrl, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_WM_SETCURSOR()
  ON_WM_MOUSEMOVE()
  ON_WM_TIMER()
  ON_CONTROL_REFLECT(STN_CLICKED, OnClicked)
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CHyperlinkCtrl::CHyperlinkCtrl() = default;

CHyperlinkCtrl::~CHyperlinkCtrl() {
  if (m_hWnd) DestroyWindow();
}

void CHyperlinkCtrl::SetUrl(const CString& address) {
  m_strUrl = address;
  if (!m_hWnd) return;
  FitToText();
  if (m_ToolTip.GetSafeHwnd()) m_ToolTip.UpdateTipText(m_strUrl, this, 1);
}

COLORREF CHyperlinkCtrl::CurrentColour() const {
  return m_bOver ? m_crHover : m_bVisited ? m_crVisited : m_crLink;
}

void CHyperlinkCtrl::PreSubclassWindow() {
  ModifyStyle(0, SS_NOTIFY);
  CString text;
  GetWindowText(text);
  if (m_strUrl.IsEmpty()) m_strUrl = text;
  if (text.IsEmpty()) SetWindowText(m_strUrl);

  CFont* font = GetFont();
  HGDIOBJ source = font ? font->GetSafeHandle() : GetStockObject(DEFAULT_GUI_FONT);
  if (!source) source = GetStockObject(SYSTEM_FONT);
  LOGFONTA lf{};
  GetObject(source, sizeof lf, &lf);
  m_fontPlain.CreateFontIndirect(&lf);
  lf.lfUnderline = TRUE;
  m_fontUnderlined.CreateFontIndirect(&lf);

  FitToText();
  if (!m_hLinkCursor) m_hLinkCursor = LoadCursor(nullptr, IDC_HAND);
  m_nUnderline = -1;

  CRect client;
  GetClientRect(&client);
  if (m_ToolTip.Create(this)) m_ToolTip.AddTool(this, m_strUrl, &client, 1);
  CStatic::PreSubclassWindow();
}

void CHyperlinkCtrl::FitToText() {
  if (!m_hWnd || !m_bFitToText) return;
  CWnd* parent = GetParent();
  CRect w, client;
  GetWindowRect(&w);
  GetClientRect(&client);
  if (parent) parent->ScreenToClient(&w);
  CString text;
  GetWindowText(text);
  CSize e;
  {
    CClientDC dc(this);
    CFont* old = dc.SelectObject(&m_fontUnderlined);
    e = dc.GetTextExtent(text);
    dc.SelectObject(old);
  }
  e.cx += w.Width() - client.Width();
  e.cy += w.Height() - client.Height();
  DWORD style = GetStyle();
  if (style & SS_CENTERIMAGE) {
    int d = (w.Height() - e.cy) / 2;
    w.top += d;
    w.bottom -= d;
  } else {
    w.bottom = w.top + e.cy;
  }
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: {
      int d = (w.Width() - e.cx) / 2;
      w.left += d;
      w.right -= d;
      break;
    }
    case SS_RIGHT: w.left = w.right - e.cx; break;
    default: w.right = w.left + e.cx; break;
  }
  SetWindowPos(nullptr, w.left, w.top, w.Width(), w.Height(), SWP_NOZORDER);
}

BOOL CHyperlinkCtrl::DestroyWindow() {
  KillTimer(m_nTimerId);
  return CStatic::DestroyWindow();
}

BOOL CHyperlinkCtrl::PreTranslateMessage(MSG* pMsg) {
  if (m_ToolTip.GetSafeHwnd()) m_ToolTip.RelayEvent(pMsg);
  return CStatic::PreTranslateMessage(pMsg);
}

HBRUSH CHyperlinkCtrl::CtlColor(CDC* pDC, UINT) {
  pDC->SetTextColor(CurrentColour());
  pDC->SetBkMode(TRANSPARENT);
  return m_bParentBackground ? nullptr : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

BOOL CHyperlinkCtrl::OnEraseBkgnd(CDC* pDC) {
  CRect rc;
  GetClientRect(&rc);
  pDC->FillSolidRect(&rc, RGB(255, 255, 255));
  return TRUE;
}

BOOL CHyperlinkCtrl::OnSetCursor(CWnd*, UINT, UINT) {
  if (!m_hLinkCursor) return FALSE;
  ::SetCursor(m_hLinkCursor);
  return TRUE;
}

void CHyperlinkCtrl::OnMouseMove(UINT, CPoint) {
  if (!m_bOver) {
    m_bOver = TRUE;
    if (m_nUnderline == -1) SetFont(&m_fontUnderlined);
    Invalidate(TRUE);
    SetTimer(m_nTimerId, 100);
  }
  Default();
}

void CHyperlinkCtrl::OnTimer(UINT_PTR) {
  CPoint pt(GetCurrentMessage()->pt);
  ScreenToClient(&pt);
  CRect rc;
  GetClientRect(&rc);
  if (!rc.PtInRect(pt)) {
    m_bOver = FALSE;
    KillTimer(m_nTimerId);
    if (m_nUnderline != 1) SetFont(&m_fontPlain);
    rc.bottom += 10;
    InvalidateRect(&rc, TRUE);
  }
  Default();
}

void CHyperlinkCtrl::OnClicked() {
  m_bOver = FALSE;
  int r = OpenUrl(m_strUrl, SW_SHOW);
  m_bVisited = r > 32;
  if (!m_bVisited) {
    MessageBeep(MB_ICONEXCLAMATION);
    ReportError(r);
  } else {
    Invalidate(TRUE);
  }
}

int CHyperlinkCtrl::OpenUrl(const char* address, int) {
  int r = ShellOpen(address);
  if (r > 32) return r;
  char value[261] = {0};
  LONG size = sizeof value - 1;
  if (RegQueryValue(HKEY_CLASSES_ROOT, ".htm", value, &size) != ERROR_SUCCESS) return r;
  std::string key = std::string(value) + "\\shell\\open\\command";
  size = sizeof value - 1;
  memset(value, 0, sizeof value);
  if (RegQueryValue(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS) return r;
  std::string command = value;
  size_t at = command.find("\"%1\"");
  if (at == std::string::npos) at = command.find("%1");
  if (at != std::string::npos) command.resize(at);
  // The address goes to the handler as one argument: no shell sees it.
  std::vector<std::string> argv = SplitCommand(command);
  if (argv.empty()) return r;
  argv.push_back(address ? address : "");
  return RunProgram(argv);
}

CString CHyperlinkCtrl::ErrorText(int result) {
  static const struct {
    int result;
    UINT id;
  } kTexts[] = {{0, 245},  {2, 247},  {3, 246},  {5, 249},  {8, 256},  {11, 248}, {26, 257},
                {27, 250}, {28, 253}, {29, 252}, {30, 251}, {31, 255}, {32, 254}};
  for (const auto& t : kTexts)
    if (t.result == result) return ControlText(t.id);
  CString text;
  text.Format("Unknown Error (%d) occurred.", result);
  return text;
}

void CHyperlinkCtrl::ReportError(int result) {
  CString message = ControlText(258) + ":\n\n" + ErrorText(result);
  AfxMessageBox(message, MB_ICONEXCLAMATION);
}
