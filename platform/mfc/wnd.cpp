// CWnd: the handle map, creation hook, window procedure, message dispatch with reflection, modal loop and the
// thin wrappers of the window functions.
#include "platform/mfc/wnd.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <mutex>
#include <set>
#include <string>

#include "platform/mfc/afxcmn.h"
#include "platform/mfc/afxstate.h"
#include "platform/mfc/dialog.h"
#include "platform/mfc/exceptions.h"
#include "platform/mfc/menu.h"

namespace kx::afx {

namespace {

template <typename T>
CWnd* Make() {
  return new T;
}

// A temporary wrapper is of the class the window is, so that a caller who knows what kind of control it asked
// for (a combo box by its id) may use it as one. Window class names compare without case.
CWnd* NewWrapperFor(HWND h) {
  static constexpr struct {
    const char* windowClass;
    CWnd* (*make)();
  } kKinds[] = {
      {WC_BUTTONA, Make<CButton>},           {WC_STATICA, Make<CStatic>},
      {WC_EDITA, Make<CEdit>},               {WC_COMBOBOXA, Make<CComboBox>},
      {WC_LISTBOXA, Make<CListBox>},         {"ScrollBar", Make<CScrollBar>},
      {WC_TABCONTROLA, Make<CTabCtrl>},      {TOOLTIPS_CLASSA, Make<CToolTipCtrl>},
      {WC_HEADERA, Make<CHeaderCtrl>},       {WC_LISTVIEWA, Make<CListCtrl>},
      {WC_TREEVIEWA, Make<CTreeCtrl>},       {PROGRESS_CLASSA, Make<CProgressCtrl>},
      {DATETIMEPICK_CLASSA, Make<CDateTimeCtrl>}, {UPDOWN_CLASSA, Make<CSpinButtonCtrl>},
      {WC_IPADDRESSA, Make<CIPAddressCtrl>}, {STATUSCLASSNAMEA, Make<CStatusBarCtrl>},
  };
  char name[64] = "";
  if (::GetClassName(h, name, sizeof name) > 0)
    for (const auto& kind : kKinds)
      if (strcasecmp(name, kind.windowClass) == 0) return kind.make();
  return new CWnd;
}

}  // namespace

HandleMap<HWND, CWnd>& WindowMap() {
  static auto* m = new HandleMap<HWND, CWnd>(
      [](HWND h) {
        CWnd* w = NewWrapperFor(h);
        w->m_hWnd = h;
        w->m_nFlags |= WF_TEMPOBJECT;
        return w;
      },
      [](CWnd* w) { w->m_hWnd = nullptr; });
  return *m;
}

namespace {

// Runs a message through a permanent window object under the object's module state. Exceptions stop here: a
// framework exception is reported, anything else is noted, and the message counts as handled.
LRESULT CallWndProc(CWnd* pWnd, HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  ThreadState& ts = Thread();
  MSG old = ts.lastSent;
  ts.lastSent = MSG{hWnd, nMsg, wParam, lParam, 0, {0, 0}};
  ++ts.dispatchDepth;
  AFX_MODULE_STATE* prevState = ts.current;
  if (pWnd->m_pModuleState) ts.current = pWnd->m_pModuleState;
  LRESULT result = 0;
  try {
    result = pWnd->WindowProc(nMsg, wParam, lParam);
  } catch (CException* e) {
    if (nMsg == WM_CREATE || nMsg == WM_NCCREATE) result = nMsg == WM_CREATE ? -1 : FALSE;
    else if (nMsg == WM_PAINT) ::ValidateRect(hWnd, nullptr);
    if (nMsg != WM_CREATE && nMsg != WM_NCCREATE) e->ReportError(MB_ICONSTOP);
    e->Delete();
  } catch (const std::exception& e) {
    fprintf(stderr, "window procedure: message 0x%04x: %s\n", nMsg, e.what());
    if (nMsg == WM_CREATE) result = -1;
  } catch (...) {
    fprintf(stderr, "window procedure: message 0x%04x: unknown exception\n", nMsg);
    if (nMsg == WM_CREATE) result = -1;
  }
  ts.current = prevState;
  --ts.dispatchDepth;
  ts.lastSent = old;
  return result;
}

LRESULT CbtFilterHook(int code, WPARAM wParam, LPARAM lParam) {
  ThreadState& ts = Thread();
  HHOOK hook = ts.cbtHook;
  if (code == HCBT_CREATEWND && ts.wndInit) {
    HWND hWnd = reinterpret_cast<HWND>(wParam);
    CWnd* pWnd = ts.wndInit;
    ts.wndInit = nullptr;
    pWnd->Attach(hWnd);
    pWnd->PreSubclassWindow();
    auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtr(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (old != &AfxWndProc) pWnd->m_pfnSuper = old;
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

bool IsChildStyle(HWND h) { return (GetWindowLongPtr(h, GWL_STYLE) & WS_CHILD) != 0; }

}  // namespace
}  // namespace kx::afx

using kx::afx::Thread;
using kx::afx::WindowMap;

LRESULT AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = WindowMap().LookupPermanent(hWnd);
  if (!pWnd || pWnd->m_hWnd != hWnd) return ::DefWindowProc(hWnd, nMsg, wParam, lParam);
  return kx::afx::CallWndProc(pWnd, hWnd, nMsg, wParam, lParam);
}

void AfxHookWindowCreate(CWnd* pWnd) {
  kx::afx::ThreadState& ts = Thread();
  if (!ts.cbtHook) ts.cbtHook = SetWindowsHookEx(WH_CBT, &kx::afx::CbtFilterHook, nullptr, GetCurrentThreadId());
  ts.wndInit = pWnd;
}

BOOL AfxUnhookWindowCreate() {
  kx::afx::ThreadState& ts = Thread();
  if (ts.cbtHook) {
    UnhookWindowsHookEx(ts.cbtHook);
    ts.cbtHook = nullptr;
  }
  if (ts.wndInit) {
    ts.wndInit = nullptr;
    return FALSE;
  }
  return TRUE;
}

LPCSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
  static std::mutex lock;
  static auto* names = new std::set<std::string>();
  char name[96];
  snprintf(name, sizeof name, "Afx:%x:%p:%p:%p", nClassStyle, static_cast<void*>(hCursor),
           static_cast<void*>(hbrBackground), static_cast<void*>(hIcon));
  std::lock_guard<std::mutex> guard(lock);
  auto it = names->find(name);
  if (it != names->end()) return it->c_str();
  WNDCLASSA wc{};
  wc.style = nClassStyle | CS_GLOBALCLASS;
  wc.lpfnWndProc = &::DefWindowProc;
  wc.hCursor = hCursor;
  wc.hbrBackground = hbrBackground;
  wc.hIcon = hIcon;
  wc.lpszClassName = name;
  if (!RegisterClass(&wc)) {
    WNDCLASSA existing{};
    if (!GetClassInfo(nullptr, name, &existing)) return nullptr;
  }
  return names->insert(name).first->c_str();
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
  for (HWND h = pMsg->hwnd; h; h = kx::afx::IsChildStyle(h) ? ::GetParent(h) : nullptr) {
    CWnd* w = FromHandlePermanent(h);
    if (w && w->PreTranslateMessage(pMsg)) return TRUE;
    if (h == hWndStop) break;
  }
  return FALSE;
}

BOOL AfxPreTranslateMessage(MSG* pMsg) {
  if (!pMsg->hwnd) return FALSE;
  return CWnd::WalkPreTranslateTree(GetAncestor(pMsg->hwnd, GA_ROOT), pMsg);
}

BOOL AfxPumpMessage() {
  MSG msg;
  if (!::GetMessage(&msg, nullptr, 0, 0)) return FALSE;
  if (!AfxPreTranslateMessage(&msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessage(&msg);
  }
  return TRUE;
}

// ---------------------------------------------------------------------------------------------------------------
// Handle map, attach and subclass
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
  ON_WM_NCDESTROY()
  ON_WM_CTLCOLOR()
  ON_WM_DRAWITEM()
  ON_WM_MEASUREITEM()
  ON_WM_COMPAREITEM()
  ON_WM_DELETEITEM()
  ON_WM_HSCROLL()
  ON_WM_VSCROLL()
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_hWnd && !(m_nFlags & WF_TEMPOBJECT) && WindowMap().LookupPermanent(m_hWnd) == this) {
    // The window goes with its object; its WM_NCDESTROY detaches it.
    CWnd::DestroyWindow();
  }
  if (m_hWnd) Detach();
}

HWND CWnd::GetSafeHwnd() const { return kx::afx::SafeHwnd(this); }

CWnd* CWnd::FromHandle(HWND hWnd) { return WindowMap().FromHandle(hWnd); }

CWnd* CWnd::FromHandlePermanent(HWND hWnd) { return hWnd ? WindowMap().LookupPermanent(hWnd) : nullptr; }

void CWnd::DeleteTempMap() { kx::afx::DeleteTempObjects(); }

BOOL CWnd::Attach(HWND hWndNew) {
  if (!hWndNew || m_hWnd) return FALSE;
  m_hWnd = hWndNew;
  m_nFlags &= ~WF_TEMPOBJECT;
  if (!m_pModuleState) m_pModuleState = AfxGetModuleState();
  WindowMap().SetPermanent(hWndNew, this);
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h && !(m_nFlags & WF_TEMPOBJECT)) WindowMap().RemovePermanent(h, this);
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!hWnd || !Attach(hWnd)) return FALSE;
  PreSubclassWindow();
  auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtr(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  if (!old) {
    Detach();
    return FALSE;
  }
  if (old != &AfxWndProc) m_pfnSuper = old;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  HWND h = pParent ? ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)) : nullptr;
  return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd) return nullptr;
  if (m_pfnSuper) SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  m_pfnSuper = nullptr;
  return Detach();
}

WNDPROC* CWnd::GetSuperWndProcAddr() { return &m_pfnSuper; }

void CWnd::PreSubclassWindow() {}

// ---------------------------------------------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------------------------------------------
BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass) cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, LoadCursor(nullptr, IDC_ARROW));
  return TRUE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam) {
  CREATESTRUCT cs{lpParam, AfxGetInstanceHandle(), nIDorHMenu, hWndParent, nHeight, nWidth, y, x,
                  static_cast<LONG>(dwStyle), lpszWindowName, lpszClassName, dwExStyle};
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }
  AfxHookWindowCreate(this);
  HWND hWnd = ::CreateWindowEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x, cs.y,
                               cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  if (!AfxUnhookWindowCreate()) PostNcDestroy();  // the window was never attached
  return hWnd != nullptr;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                    CWnd* pParentWnd, UINT nID, LPVOID lpParam) {
  return CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, kx::afx::SafeHwnd(pParentWnd),
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), lpParam);
}

BOOL CWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                  UINT nID, CCreateContext* pContext) {
  return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect, pParentWnd, nID, pContext);
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  HWND h = m_hWnd;
  bool permanent = !(m_nFlags & WF_TEMPOBJECT) && WindowMap().LookupPermanent(h) == this;
  BOOL result = ::DestroyWindow(h);
  // A permanent object was let go by its WM_NCDESTROY and may be gone now; any other one lets go here.
  if (!permanent) m_hWnd = nullptr;
  return result;
}

void CWnd::PostNcDestroy() {}

void CWnd::OnNcDestroy() {
  CWinThread* thread = AfxGetThread();
  if (thread && thread->m_pMainWnd == this) {
    // The main window of a program ends its message loop; a library's does not.
    if (!AfxGetModuleState()->m_bDLL && thread == AfxGetApp()) AfxPostQuitMessage(0);
    thread->m_pMainWnd = nullptr;
  }
  if (thread && thread->m_pActiveWnd == this) thread->m_pActiveWnd = nullptr;
  auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(m_hWnd, GWLP_WNDPROC));
  Default();
  if (m_hWnd && m_pfnSuper && reinterpret_cast<WNDPROC>(GetWindowLongPtr(m_hWnd, GWLP_WNDPROC)) == proc)
    SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  Detach();
  PostNcDestroy();
}

// ---------------------------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------------------------
LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT result = 0;
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    if (pResult) *pResult = 1;
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header || !header->hwndFrom || !OnNotify(wParam, lParam, &result)) return FALSE;
    if (pResult) *pResult = result;
    return TRUE;
  }
  kx::AfxMsg msg;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    msg.message = WM_CTLCOLOR;
    msg.nCode = message - WM_CTLCOLORMSGBOX;
  }
  if (!DispatchToMap(msg, &result)) return FALSE;
  if (pResult) *pResult = result;
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return ::CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  const MSG& m = Thread().lastSent;
  return DefWindowProc(m.message, m.wParam, m.lParam);
}

const MSG* CWnd::GetCurrentMessage() { return &Thread().lastSent; }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT nID = LOWORD(wParam);
  auto hWndCtrl = reinterpret_cast<HWND>(lParam);
  int nCode = HIWORD(wParam);
  // The control's own object has the first say.
  if (hWndCtrl && ReflectLastMsg(hWndCtrl)) return TRUE;
  kx::AfxMsg msg;
  msg.wParam = wParam;
  msg.lParam = lParam;
  return OnCmdMsg(nID, nCode, &msg, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (ReflectLastMsg(header->hwndFrom, pResult)) return TRUE;
  kx::AfxMsg msg;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.pResult = pResult;
  return OnCmdMsg(static_cast<UINT>(header->idFrom), static_cast<int>(MAKELONG(LOWORD(header->code), WM_NOTIFY)),
                  &msg, nullptr);
}

BOOL CWnd::ReflectLastMsg(HWND hWndChild, LRESULT* pResult) {
  CWnd* child = FromHandlePermanent(hWndChild);
  return child ? child->SendChildNotifyLastMsg(pResult) : FALSE;
}

BOOL CWnd::SendChildNotifyLastMsg(LRESULT* pResult) {
  const MSG m = Thread().lastSent;
  return OnChildNotify(m.message, m.wParam, m.lParam, pResult);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  switch (message) {
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_PARENTNOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
      return CWnd::OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, pResult);
    case WM_COMMAND: {
      kx::AfxMsg msg;
      msg.wParam = wParam;
      msg.lParam = lParam;
      if (!CCmdTarget::OnCmdMsg(0, static_cast<int>(MAKELONG(HIWORD(wParam), WM_REFLECT_BASE + WM_COMMAND)), &msg,
                                nullptr))
        return FALSE;
      if (pResult) *pResult = 1;
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      LRESULT local = 0;
      kx::AfxMsg msg;
      msg.wParam = wParam;
      msg.lParam = lParam;
      msg.pResult = pResult ? pResult : &local;
      return CCmdTarget::OnCmdMsg(0, static_cast<int>(MAKELONG(LOWORD(header->code), WM_REFLECT_BASE + WM_NOTIFY)),
                                  &msg, nullptr);
    }
    default:
      if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        kx::AfxMsg msg;
        msg.message = WM_REFLECT_BASE + WM_CTLCOLOR;
        msg.wParam = wParam;
        msg.lParam = lParam;
        msg.nCode = message - WM_CTLCOLORMSGBOX;
        LRESULT result = 0;
        if (!DispatchToMap(msg, &result)) return FALSE;
        if (pResult) *pResult = result;
        return TRUE;
      }
      return FALSE;
  }
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::SendNotifyMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendNotifyMessage(m_hWnd, message, wParam, lParam);
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL bDeep, BOOL bOnlyPerm) {
  for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (bOnlyPerm) {
      if (CWnd* w = FromHandlePermanent(child)) w->SendMessage(message, wParam, lParam);
    } else {
      ::SendMessage(child, message, wParam, lParam);
    }
    if (bDeep && ::GetWindow(child, GW_CHILD)) {
      CWnd tmp;
      tmp.m_hWnd = child;
      tmp.m_nFlags |= WF_TEMPOBJECT;
      tmp.SendMessageToDescendants(message, wParam, lParam, bDeep, bOnlyPerm);
      tmp.m_hWnd = nullptr;
    }
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Dialog data, modal loop, help
// ---------------------------------------------------------------------------------------------------------------
void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (CUserException* e) {
    e->Delete();
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::ContinueModal() { return (m_nFlags & WF_CONTINUEMODAL) != 0; }

void CWnd::EndModalLoop(int nResult) {
  m_nModalResult = nResult;
  if (m_nFlags & WF_CONTINUEMODAL) {
    m_nFlags &= ~WF_CONTINUEMODAL;
    PostMessage(WM_NULL);
  }
}

int CWnd::RunModalLoop(DWORD dwFlags) {
  BOOL idle = TRUE;
  LONG idleCount = 0;
  BOOL showIdle = (dwFlags & MLF_SHOWONIDLE) && !(GetStyle() & WS_VISIBLE);
  HWND parent = ::GetParent(m_hWnd);
  m_nFlags |= WF_MODALLOOP | WF_CONTINUEMODAL;
  MSG msg;
  for (;;) {
    while (idle && !::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (showIdle) {
        ShowWindow(SW_SHOWNORMAL);
        UpdateWindow();
        showIdle = FALSE;
      }
      if (!(dwFlags & MLF_NOIDLEMSG) && parent && idleCount == 0)
        ::SendMessage(parent, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(m_hWnd));
      if (!ContinueModal()) goto done;
      if (idleCount == 0) kx::afx::DeleteTempObjects();
      ++idleCount;
      idle = FALSE;
    }
    do {
      if (!ContinueModal()) goto done;
      if (!AfxPumpMessage()) {
        AfxPostQuitMessage(0);
        m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
        return -1;
      }
      if (showIdle) {
        ShowWindow(SW_SHOWNORMAL);
        UpdateWindow();
        showIdle = FALSE;
      }
      if (!ContinueModal()) goto done;
      idle = TRUE;
      idleCount = 0;
    } while (::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  }
done:
  m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
  return m_nModalResult;
}

void CWnd::WinHelp(DWORD_PTR dwData, UINT nCmd) {
  if (CWinApp* app = AfxGetApp()) app->WinHelp(dwData, nCmd);
}

void CWnd::HtmlHelp(DWORD_PTR dwData, UINT nCmd) {
  if (CWinApp* app = AfxGetApp()) app->HtmlHelp(dwData, nCmd);
}

void CWnd::CalcWindowRect(LPRECT lpClientRect, UINT) {
  ::AdjustWindowRectEx(lpClientRect, GetStyle(), FALSE, GetExStyle());
}

BOOL CWnd::ExecuteDlgInit(LPCSTR) { return TRUE; }

// ---------------------------------------------------------------------------------------------------------------
// Default handlers: pass the message on, after offering it to the control concerned
// ---------------------------------------------------------------------------------------------------------------
int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
BOOL CWnd::OnNcCreate(LPCREATESTRUCT) { return static_cast<BOOL>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnNcPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
void CWnd::OnActivateApp(BOOL, DWORD) { Default(); }
void CWnd::OnEnable(BOOL) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnMButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnMButtonUp(UINT, CPoint) { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseLeave() { Default(); }
int CWnd::OnMouseActivate(CWnd*, UINT, UINT) { return static_cast<int>(Default()); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnCancelMode() { Default(); }
void CWnd::OnCaptureChanged(CWnd*) { Default(); }
UINT CWnd::OnGetDlgCode() { return static_cast<UINT>(Default()); }
void CWnd::OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*) { Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnWindowPosChanging(WINDOWPOS*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
void CWnd::OnContextMenu(CWnd*, CPoint) { Default(); }
void CWnd::OnSysColorChange() { Default(); }
void CWnd::OnSettingChange(UINT, LPCSTR) { Default(); }
BOOL CWnd::OnQueryNewPalette() { return static_cast<BOOL>(Default()); }
void CWnd::OnPaletteChanged(CWnd*) { Default(); }
BOOL CWnd::OnHelpInfo(HELPINFO*) { return static_cast<BOOL>(Default()); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnParentNotify(UINT, LPARAM) { Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnNcMouseMove(UINT, CPoint) { Default(); }
BOOL CWnd::OnCopyData(CWnd*, COPYDATASTRUCT*) { return static_cast<BOOL>(Default()); }

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* pWnd, UINT) {
  LRESULT result = 0;
  if (pWnd && ReflectLastMsg(pWnd->m_hWnd, &result)) return reinterpret_cast<HBRUSH>(result);
  return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT lpDrawItemStruct) {
  if (lpDrawItemStruct && lpDrawItemStruct->CtlType == ODT_MENU) {
    // An item of a menu attached to a CMenu: that object draws it.
    if (CMenu* menu = CMenu::FromHandlePermanent(reinterpret_cast<HMENU>(lpDrawItemStruct->hwndItem))) {
      menu->DrawItem(lpDrawItemStruct);
      return;
    }
  } else if (lpDrawItemStruct && ReflectLastMsg(lpDrawItemStruct->hwndItem)) {
    return;
  }
  Default();
}

void CWnd::OnMeasureItem(int, LPMEASUREITEMSTRUCT lpMeasureItemStruct) {
  if (lpMeasureItemStruct && lpMeasureItemStruct->CtlType == ODT_MENU) {
    if (CMenu* menu = CMenu::FindOwnerDrawMenu(lpMeasureItemStruct->itemID)) {
      menu->MeasureItem(lpMeasureItemStruct);
      return;
    }
  } else if (lpMeasureItemStruct) {
    CWnd* child = GetDescendantWindow(static_cast<int>(lpMeasureItemStruct->CtlID), TRUE);
    if (child && child->SendChildNotifyLastMsg()) return;
  }
  Default();
}

int CWnd::OnCompareItem(int, LPCOMPAREITEMSTRUCT lpCompareItemStruct) {
  LRESULT result = 0;
  if (lpCompareItemStruct && ReflectLastMsg(lpCompareItemStruct->hwndItem, &result)) return static_cast<int>(result);
  return static_cast<int>(Default());
}

void CWnd::OnDeleteItem(int, LPDELETEITEMSTRUCT lpDeleteItemStruct) {
  if (lpDeleteItemStruct && ReflectLastMsg(lpDeleteItemStruct->hwndItem)) return;
  Default();
}

void CWnd::OnHScroll(UINT, UINT, CScrollBar* pScrollBar) {
  if (pScrollBar && ReflectLastMsg(reinterpret_cast<CWnd*>(pScrollBar)->m_hWnd)) return;
  Default();
}

void CWnd::OnVScroll(UINT, UINT, CScrollBar* pScrollBar) {
  if (pScrollBar && ReflectLastMsg(reinterpret_cast<CWnd*>(pScrollBar)->m_hWnd)) return;
  Default();
}

// ---------------------------------------------------------------------------------------------------------------
// Wrappers
// ---------------------------------------------------------------------------------------------------------------
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtr(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtr(m_hWnd, GWL_EXSTYLE)); }

namespace {
BOOL ModifyLong(HWND hWnd, int index, DWORD remove, DWORD add, UINT nFlags) {
  DWORD style = static_cast<DWORD>(::GetWindowLongPtr(hWnd, index));
  DWORD changed = (style & ~remove) | add;
  if (style == changed) return FALSE;
  ::SetWindowLongPtr(hWnd, index, static_cast<LONG_PTR>(changed));
  if (nFlags)
    ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  return TRUE;
}
}  // namespace

BOOL CWnd::ModifyStyle(HWND hWnd, DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return ModifyLong(hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}
BOOL CWnd::ModifyStyleEx(HWND hWnd, DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return ModifyLong(hWnd, GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
}
BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) { return ModifyStyle(m_hWnd, dwRemove, dwAdd, nFlags); }
BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return ModifyStyleEx(m_hWnd, dwRemove, dwAdd, nFlags);
}

void CWnd::SetWindowText(LPCSTR lpszString) { ::SetWindowText(m_hWnd, lpszString); }
int CWnd::GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const {
  return ::GetWindowText(m_hWnd, lpszStringBuf, nMaxCount);
}
void CWnd::GetWindowText(CString& rString) const {
  int n = ::GetWindowTextLength(m_hWnd);
  std::string buf(static_cast<size_t>(n) + 1, '\0');
  int got = ::GetWindowText(m_hWnd, buf.data(), n + 1);
  rString = CString(buf.data(), got > 0 ? got : 0);
}
int CWnd::GetWindowTextLength() const { return ::GetWindowTextLength(m_hWnd); }
void CWnd::SetFont(CFont* pFont, BOOL bRedraw) {
  SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(pFont ? pFont->m_hObject : nullptr), bRedraw);
}
CFont* CWnd::GetFont() const { return CFont::FromHandle(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))); }
HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}
HICON CWnd::GetIcon(BOOL bBigIcon) const {
  return reinterpret_cast<HICON>(SendMessage(WM_GETICON, bBigIcon ? ICON_BIG : ICON_SMALL));
}
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
int CWnd::SetDlgCtrlID(int nID) { return ::SetDlgCtrlID(m_hWnd, nID); }

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::SetParent(CWnd* pWndNewParent) { return FromHandle(::SetParent(m_hWnd, kx::afx::SafeHwnd(pWndNewParent))); }
CWnd* CWnd::GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
void CWnd::SetOwner(CWnd* pOwnerWnd) {
  ::SetWindowLongPtr(m_hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(kx::afx::SafeHwnd(pOwnerWnd)));
}
CWnd* CWnd::GetTopLevelParent() const { return m_hWnd ? FromHandle(::GetAncestor(m_hWnd, GA_ROOT)) : nullptr; }
CWnd* CWnd::GetTopLevelOwner() const { return m_hWnd ? FromHandle(::GetAncestor(m_hWnd, GA_ROOTOWNER)) : nullptr; }
CWnd* CWnd::GetWindow(UINT nCmd) const { return FromHandle(::GetWindow(m_hWnd, nCmd)); }
CWnd* CWnd::GetNextWindow(UINT nFlag) const { return FromHandle(::GetWindow(m_hWnd, nFlag)); }
CWnd* CWnd::GetTopWindow() const { return FromHandle(::GetTopWindow(m_hWnd)); }
CWnd* CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
void CWnd::GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
CWnd* CWnd::GetDescendantWindow(int nID, BOOL bOnlyPerm) const {
  for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::GetDlgCtrlID(child) == nID) {
      CWnd* w = bOnlyPerm ? FromHandlePermanent(child) : FromHandle(child);
      if (w) return w;
    }
    if (::GetWindow(child, GW_CHILD)) {
      CWnd tmp;
      tmp.m_hWnd = child;
      tmp.m_nFlags |= WF_TEMPOBJECT;
      CWnd* found = tmp.GetDescendantWindow(nID, bOnlyPerm);
      tmp.m_hWnd = nullptr;
      if (found) return found;
    }
  }
  return nullptr;
}
CWnd* CWnd::GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious) const {
  return FromHandle(::GetNextDlgTabItem(m_hWnd, kx::afx::SafeHwnd(pWndCtl), bPrevious));
}
CWnd* CWnd::GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious) const {
  return FromHandle(::GetNextDlgGroupItem(m_hWnd, kx::afx::SafeHwnd(pWndCtl), bPrevious));
}
CWnd* CWnd::GetLastActivePopup() const { return FromHandle(::GetLastActivePopup(m_hWnd)); }
BOOL CWnd::IsChild(const CWnd* pWnd) const { return ::IsChild(m_hWnd, kx::afx::SafeHwnd(pWnd)); }

HWND CWnd::GetSafeOwner_(HWND hParent, HWND* pWndTop) {
  HWND hWnd = hParent;
  if (!hWnd) {
    CWnd* main = AfxGetMainWnd();
    hWnd = kx::afx::SafeHwnd(main);
    if (hWnd && !::IsWindow(hWnd)) hWnd = nullptr;
    if (!hWnd) hWnd = ::GetActiveWindow();
  }
  // A popup cannot be owned by a child window.
  while (hWnd && (::GetWindowLongPtr(hWnd, GWL_STYLE) & WS_CHILD)) hWnd = ::GetParent(hWnd);
  HWND top = hWnd;
  for (HWND t = hWnd; t; t = ::GetParent(t)) top = t;
  if (!hParent && hWnd) hWnd = ::GetLastActivePopup(hWnd);
  if (pWndTop) *pWndTop = top != hWnd ? top : nullptr;
  return hWnd;
}
CWnd* CWnd::GetSafeOwner(CWnd* pParent, HWND* pWndTop) {
  return FromHandle(GetSafeOwner_(kx::afx::SafeHwnd(pParent), pWndTop));
}
CWnd* CWnd::GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }
CWnd* CWnd::GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
CWnd* CWnd::GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }
CWnd* CWnd::GetCapture() { return FromHandle(::GetCapture()); }
CWnd* CWnd::FindWindow(LPCSTR lpszClassName, LPCSTR lpszWindowName) {
  return FromHandle(::FindWindow(lpszClassName, lpszWindowName));
}
CWnd* CWnd::WindowFromPoint(POINT point) { return FromHandle(::WindowFromPoint(point)); }
CWnd* CWnd::ChildWindowFromPoint(POINT point) const { return FromHandle(::ChildWindowFromPoint(m_hWnd, point)); }
CWnd* CWnd::SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }

BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
BOOL CWnd::IsZoomed() const { return ::IsZoomed(m_hWnd); }
void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
void CWnd::ScreenToClient(LPPOINT lpPoint) const { ::ScreenToClient(m_hWnd, lpPoint); }
void CWnd::ScreenToClient(LPRECT lpRect) const {
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(lpRect));
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(lpRect) + 1);
}
void CWnd::ClientToScreen(LPPOINT lpPoint) const { ::ClientToScreen(m_hWnd, lpPoint); }
void CWnd::ClientToScreen(LPRECT lpRect) const {
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(lpRect));
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(lpRect) + 1);
}
void CWnd::MapWindowPoints(CWnd* pwndTo, LPPOINT lpPoint, UINT nCount) const {
  ::MapWindowPoints(m_hWnd, kx::afx::SafeHwnd(pwndTo), lpPoint, nCount);
}
void CWnd::MapWindowPoints(CWnd* pwndTo, LPRECT lpRect) const {
  ::MapWindowPoints(m_hWnd, kx::afx::SafeHwnd(pwndTo), reinterpret_cast<LPPOINT>(lpRect), 2);
}
void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}
void CWnd::MoveWindow(LPCRECT lpRect, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top,
               bRepaint);
}
BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  HWND after = pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr;
  return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, nFlags);
}
void CWnd::CenterWindow(CWnd* pAlternateOwner) {
  RECT me;
  ::GetWindowRect(m_hWnd, &me);
  RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  RECT center = area;
  HWND around = pAlternateOwner ? pAlternateOwner->m_hWnd
                                : ((GetStyle() & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER));
  if (around && ::IsWindow(around) && ::IsWindowVisible(around) && !::IsIconic(around)) {
    ::GetWindowRect(around, &center);
  }
  int w = me.right - me.left, h = me.bottom - me.top;
  int x = (center.left + center.right) / 2 - w / 2;
  int y = (center.top + center.bottom) / 2 - h / 2;
  if (GetStyle() & WS_CHILD) {
    POINT p{x, y};
    ::ScreenToClient(::GetParent(m_hWnd), &p);
    x = p.x;
    y = p.y;
  } else {
    x = std::max<int>(area.left, std::min<int>(x, area.right - w));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - h));
  }
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
void CWnd::BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* lpwndpl) const { return ::GetWindowPlacement(m_hWnd, lpwndpl); }
BOOL CWnd::SetWindowPlacement(const WINDOWPLACEMENT* lpwndpl) { return ::SetWindowPlacement(m_hWnd, lpwndpl); }

void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
void CWnd::InvalidateRgn(CRgn* pRgn, BOOL bErase) {
  ::InvalidateRgn(m_hWnd, pRgn ? static_cast<HRGN>(pRgn->m_hObject) : nullptr, bErase);
}
void CWnd::ValidateRect(LPCRECT lpRect) { ::ValidateRect(m_hWnd, lpRect); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
BOOL CWnd::RedrawWindow(LPCRECT lpRectUpdate, CRgn* prgnUpdate, UINT flags) {
  return ::RedrawWindow(m_hWnd, lpRectUpdate, prgnUpdate ? static_cast<HRGN>(prgnUpdate->m_hObject) : nullptr, flags);
}
BOOL CWnd::GetUpdateRect(LPRECT lpRect, BOOL bErase) { return ::GetUpdateRect(m_hWnd, lpRect, bErase); }
void CWnd::SetRedraw(BOOL bRedraw) { SendMessage(WM_SETREDRAW, bRedraw); }
BOOL CWnd::LockWindowUpdate() { return ::LockWindowUpdate(m_hWnd); }
void CWnd::UnlockWindowUpdate() { ::LockWindowUpdate(nullptr); }
CDC* CWnd::GetDC() { return CDC::FromHandle(::GetDC(m_hWnd)); }
CDC* CWnd::GetWindowDC() { return CDC::FromHandle(::GetWindowDC(m_hWnd)); }
int CWnd::ReleaseDC(CDC* pDC) { return pDC ? ::ReleaseDC(m_hWnd, pDC->m_hDC) : 0; }
void CWnd::Print(CDC* pDC, DWORD dwFlags) const {
  SendMessage(WM_PRINT, reinterpret_cast<WPARAM>(kx::afx::SafeHdc(pDC)), static_cast<LPARAM>(dwFlags));
}
void CWnd::PrintClient(CDC* pDC, DWORD dwFlags) const {
  SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(kx::afx::SafeHdc(pDC)), static_cast<LPARAM>(dwFlags));
}
BOOL CWnd::FlashWindow(BOOL bInvert) { return ::FlashWindow(m_hWnd, bInvert); }

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}
BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
int CWnd::GetScrollPos(int nBar) const { return ::GetScrollPos(m_hWnd, nBar); }
int CWnd::SetScrollPos(int nBar, int nPos, BOOL bRedraw) { return ::SetScrollPos(m_hWnd, nBar, nPos, bRedraw); }
void CWnd::GetScrollRange(int nBar, LPINT lpMinPos, LPINT lpMaxPos) const {
  ::GetScrollRange(m_hWnd, nBar, lpMinPos, lpMaxPos);
}
void CWnd::SetScrollRange(int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
  ::SetScrollRange(m_hWnd, nBar, nMinPos, nMaxPos, bRedraw);
}
BOOL CWnd::GetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, UINT nMask) {
  lpScrollInfo->cbSize = sizeof(SCROLLINFO);
  lpScrollInfo->fMask = nMask;
  return ::GetScrollInfo(m_hWnd, nBar, lpScrollInfo);
}
BOOL CWnd::SetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, BOOL bRedraw) {
  lpScrollInfo->cbSize = sizeof(SCROLLINFO);
  ::SetScrollInfo(m_hWnd, nBar, lpScrollInfo, bRedraw);
  return TRUE;
}
void CWnd::ShowScrollBar(UINT nBar, BOOL bShow) { ::ShowScrollBar(m_hWnd, static_cast<int>(nBar), bShow); }
void CWnd::ScrollWindow(int xAmount, int yAmount, LPCRECT lpRect, LPCRECT lpClipRect) {
  ::ScrollWindow(m_hWnd, xAmount, yAmount, lpRect, lpClipRect);
}
LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendDlgItemMessage(m_hWnd, nID, message, wParam, lParam);
}
void CWnd::SetDlgItemText(int nID, LPCSTR lpszString) { ::SetDlgItemText(m_hWnd, nID, lpszString); }
int CWnd::GetDlgItemText(int nID, LPSTR lpStr, int nMaxCount) const {
  return static_cast<int>(::GetDlgItemText(m_hWnd, nID, lpStr, nMaxCount));
}
int CWnd::GetDlgItemText(int nID, CString& rString) const {
  HWND item = ::GetDlgItem(m_hWnd, nID);
  rString.Empty();
  if (!item) return 0;
  int n = ::GetWindowTextLength(item);
  std::string buf(static_cast<size_t>(n) + 1, '\0');
  int got = ::GetWindowText(item, buf.data(), n + 1);
  rString = CString(buf.data(), got > 0 ? got : 0);
  return rString.GetLength();
}
void CWnd::SetDlgItemInt(int nID, UINT nValue, BOOL bSigned) { ::SetDlgItemInt(m_hWnd, nID, nValue, bSigned); }
UINT CWnd::GetDlgItemInt(int nID, BOOL* lpTrans, BOOL bSigned) const {
  return ::GetDlgItemInt(m_hWnd, nID, lpTrans, bSigned);
}
void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
UINT CWnd::IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
void CWnd::CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  ::CheckRadioButton(m_hWnd, nIDFirstButton, nIDLastButton, nIDCheckButton);
}
int CWnd::GetCheckedRadioButton(int nIDFirstButton, int nIDLastButton) {
  for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
    if (::IsDlgButtonChecked(m_hWnd, id)) return id;
  return 0;
}
int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) {
  return ::MessageBox(m_hWnd, lpszText, lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}
