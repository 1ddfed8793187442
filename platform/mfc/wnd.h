// CWnd: the framework's window object. A CWnd made by Create/CreateEx, attached or subclassed is "permanent":
// the window's messages run through its message map (AfxWndProc), unhandled ones reach the window's former
// procedure. CWnd::FromHandle wraps any other window in a temporary object.
//
// Dispatch order: WM_COMMAND and WM_NOTIFY from a control are first reflected to the control's own object
// (ON_CONTROL_REFLECT / ON_NOTIFY_REFLECT entries, OnChildNotify), then go through the parent's map;
// WM_CTLCOLOR*, WM_DRAWITEM, WM_MEASUREITEM, WM_COMPAREITEM, WM_DELETEITEM and the scroll messages are offered to
// the control by the parent's default handlers (CWnd::OnCtlColor, ...).
#pragma once

#include "platform/mfc/cmdtarget.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/gdiobj.h"
#include "platform/mfc/geometry.h"

class CWnd;
class CScrollBar;
class CDataExchange;
struct AFX_MODULE_STATE;
struct CCreateContext;

// m_nFlags
#define WF_MODALLOOP 0x0002
#define WF_CONTINUEMODAL 0x0004
#define WF_TEMPOBJECT 0x0100  // a temporary wrapper from FromHandle

// RunModalLoop flags
#define MLF_NOIDLEMSG 0x0001
#define MLF_NOKICKIDLE 0x0002
#define MLF_SHOWONIDLE 0x0004

// The window procedure of every permanent CWnd.
KXAPI LRESULT AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
// The dialog procedure of the framework's dialogs: WM_INITDIALOG goes to CDialog::OnInitDialog.
KXAPI INT_PTR AfxDlgProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
// The next window created on this thread is attached to pWnd as it is created (before WM_NCCREATE).
KXAPI void AfxHookWindowCreate(CWnd* pWnd);
// FALSE when the hooked window was not created.
KXAPI BOOL AfxUnhookWindowCreate();
// Registers (once) and names a window class with DefWindowProc as its procedure.
KXAPI LPCSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr, HBRUSH hbrBackground = nullptr,
                                 HICON hIcon = nullptr);
// Runs the PreTranslateMessage chain from the message's window up to its top-level window.
KXAPI BOOL AfxPreTranslateMessage(MSG* pMsg);
// Gets, pre-translates and dispatches one message; FALSE when it was WM_QUIT.
KXAPI BOOL AfxPumpMessage();

class KXAPI CWnd : public CCmdTarget {
  DECLARE_DYNCREATE(CWnd)
 public:
  HWND m_hWnd = nullptr;

  CWnd();
  ~CWnd() override;
  operator HWND() const { return m_hWnd; }  // NOLINT
  bool operator==(const CWnd& wnd) const { return m_hWnd == wnd.m_hWnd; }
  bool operator!=(const CWnd& wnd) const { return m_hWnd != wnd.m_hWnd; }
  // The window handle, or NULL for a null CWnd pointer.
  HWND GetSafeHwnd() const;

  // ---- the handle map ----
  static CWnd* FromHandle(HWND hWnd);
  static CWnd* FromHandlePermanent(HWND hWnd);
  static void DeleteTempMap();
  BOOL Attach(HWND hWndNew);
  HWND Detach();
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  HWND UnsubclassWindow();

  // ---- creation and destruction ----
  virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                      CWnd* pParentWnd, UINT nID, CCreateContext* pContext = nullptr);
  virtual BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                        int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam = nullptr);
  BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd, UINT nID, LPVOID lpParam = nullptr);
  virtual BOOL DestroyWindow();
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  virtual void PreSubclassWindow();
  virtual void PostNcDestroy();

  // ---- messages ----
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The message being handled, passed on to DefWindowProc.
  LRESULT Default();
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  static BOOL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = nullptr);
  BOOL SendChildNotifyLastMsg(LRESULT* pResult = nullptr);
  static const MSG* GetCurrentMessage();
  static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL SendNotifyMessage(UINT message, WPARAM wParam, LPARAM lParam) const;
  void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, BOOL bDeep = TRUE,
                                BOOL bOnlyPerm = FALSE);

  // ---- dialog data and modal loops ----
  virtual void DoDataExchange(CDataExchange* pDX);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  virtual int RunModalLoop(DWORD dwFlags = 0);
  virtual BOOL ContinueModal();
  virtual void EndModalLoop(int nResult);
  virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = 0x0001);
  virtual void HtmlHelp(DWORD_PTR dwData, UINT nCmd = 0x000F);
  virtual void CalcWindowRect(LPRECT lpClientRect, UINT nAdjustType = 0);

  // ---- styles and text ----
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  static BOOL ModifyStyle(HWND hWnd, DWORD dwRemove, DWORD dwAdd, UINT nFlags);
  static BOOL ModifyStyleEx(HWND hWnd, DWORD dwRemove, DWORD dwAdd, UINT nFlags);
  void SetWindowText(LPCSTR lpszString);
  int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;
  void GetWindowText(CString& rString) const;
  int GetWindowTextLength() const;
  void SetFont(CFont* pFont, BOOL bRedraw = TRUE);
  CFont* GetFont() const;
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  HICON GetIcon(BOOL bBigIcon) const;
  int GetDlgCtrlID() const;
  int SetDlgCtrlID(int nID);

  // ---- relatives ----
  CWnd* GetParent() const;
  CWnd* SetParent(CWnd* pWndNewParent);
  CWnd* GetOwner() const;
  void SetOwner(CWnd* pOwnerWnd);
  CWnd* GetTopLevelParent() const;
  CWnd* GetTopLevelOwner() const;
  CWnd* GetWindow(UINT nCmd) const;
  CWnd* GetNextWindow(UINT nFlag = GW_HWNDNEXT) const;
  CWnd* GetTopWindow() const;
  CWnd* GetDlgItem(int nID) const;
  void GetDlgItem(int nID, HWND* phWnd) const;
  CWnd* GetDescendantWindow(int nID, BOOL bOnlyPerm = FALSE) const;
  CWnd* GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
  CWnd* GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
  CWnd* GetLastActivePopup() const;
  BOOL IsChild(const CWnd* pWnd) const;
  // The window that should own a dialog started from pParent: its top-level window, else the active one.
  static CWnd* GetSafeOwner(CWnd* pParent = nullptr, HWND* pWndTop = nullptr);
  static HWND GetSafeOwner_(HWND hParent, HWND* pWndTop);
  static CWnd* GetDesktopWindow();
  static CWnd* GetActiveWindow();
  static CWnd* GetForegroundWindow();
  static CWnd* GetFocus();
  static CWnd* GetCapture();
  static CWnd* FindWindow(LPCSTR lpszClassName, LPCSTR lpszWindowName);
  static CWnd* WindowFromPoint(POINT point);
  CWnd* ChildWindowFromPoint(POINT point) const;
  CWnd* SetActiveWindow();
  BOOL SetForegroundWindow();
  CWnd* SetFocus();
  CWnd* SetCapture();

  // ---- state and geometry ----
  BOOL IsWindowVisible() const;
  BOOL IsWindowEnabled() const;
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL ShowWindow(int nCmdShow);
  BOOL IsIconic() const;
  BOOL IsZoomed() const;
  void GetWindowRect(LPRECT lpRect) const;
  void GetClientRect(LPRECT lpRect) const;
  void ScreenToClient(LPPOINT lpPoint) const;
  void ScreenToClient(LPRECT lpRect) const;
  void ClientToScreen(LPPOINT lpPoint) const;
  void ClientToScreen(LPRECT lpRect) const;
  void MapWindowPoints(CWnd* pwndTo, LPPOINT lpPoint, UINT nCount) const;
  void MapWindowPoints(CWnd* pwndTo, LPRECT lpRect) const;
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void CenterWindow(CWnd* pAlternateOwner = nullptr);
  void BringWindowToTop();
  BOOL GetWindowPlacement(WINDOWPLACEMENT* lpwndpl) const;
  BOOL SetWindowPlacement(const WINDOWPLACEMENT* lpwndpl);

  // ---- painting ----
  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
  void InvalidateRgn(CRgn* pRgn, BOOL bErase = TRUE);
  void ValidateRect(LPCRECT lpRect);
  void UpdateWindow();
  BOOL RedrawWindow(LPCRECT lpRectUpdate = nullptr, CRgn* prgnUpdate = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  BOOL GetUpdateRect(LPRECT lpRect, BOOL bErase = FALSE);
  void SetRedraw(BOOL bRedraw = TRUE);
  BOOL LockWindowUpdate();
  void UnlockWindowUpdate();
  CDC* GetDC();
  CDC* GetWindowDC();
  int ReleaseDC(CDC* pDC);
  void Print(CDC* pDC, DWORD dwFlags) const;
  void PrintClient(CDC* pDC, DWORD dwFlags) const;
  BOOL FlashWindow(BOOL bInvert);

  // ---- timers, scrolling, dialog items ----
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = nullptr);
  BOOL KillTimer(UINT_PTR nIDEvent);
  int GetScrollPos(int nBar) const;
  int SetScrollPos(int nBar, int nPos, BOOL bRedraw = TRUE);
  void GetScrollRange(int nBar, LPINT lpMinPos, LPINT lpMaxPos) const;
  void SetScrollRange(int nBar, int nMinPos, int nMaxPos, BOOL bRedraw = TRUE);
  BOOL GetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, UINT nMask = SIF_ALL);
  BOOL SetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, BOOL bRedraw = TRUE);
  void ShowScrollBar(UINT nBar, BOOL bShow = TRUE);
  void ScrollWindow(int xAmount, int yAmount, LPCRECT lpRect = nullptr, LPCRECT lpClipRect = nullptr);
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void SetDlgItemText(int nID, LPCSTR lpszString);
  int GetDlgItemText(int nID, LPSTR lpStr, int nMaxCount) const;
  int GetDlgItemText(int nID, CString& rString) const;
  void SetDlgItemInt(int nID, UINT nValue, BOOL bSigned = TRUE);
  UINT GetDlgItemInt(int nID, BOOL* lpTrans = nullptr, BOOL bSigned = TRUE) const;
  void CheckDlgButton(int nIDButton, UINT nCheck);
  UINT IsDlgButtonChecked(int nIDButton) const;
  void CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton);
  int GetCheckedRadioButton(int nIDFirstButton, int nIDLastButton);
  // A message box owned by this window, captioned with the application's name when none is given.
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK);

  // ---- default handlers (each passes the message on); derived maps name their own ----
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg BOOL OnNcCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnNcDestroy();
  afx_msg void OnClose();
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnMove(int x, int y);
  afx_msg void OnPaint();
  afx_msg void OnNcPaint();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  afx_msg void OnActivateApp(BOOL bActive, DWORD dwThreadID);
  afx_msg void OnEnable(BOOL bEnable);
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
  afx_msg void OnRButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnRButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnRButtonDblClk(UINT nFlags, CPoint point);
  afx_msg void OnMButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnMButtonUp(UINT nFlags, CPoint point);
  afx_msg BOOL OnMouseWheel(UINT nFlags, short zDelta, CPoint pt);
  afx_msg void OnMouseLeave();
  afx_msg int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnKeyUp(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnSysKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnSysChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg void OnCancelMode();
  afx_msg void OnCaptureChanged(CWnd* pWnd);
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
  afx_msg void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  afx_msg int OnCompareItem(int nIDCtl, LPCOMPAREITEMSTRUCT lpCompareItemStruct);
  afx_msg void OnDeleteItem(int nIDCtl, LPDELETEITEMSTRUCT lpDeleteItemStruct);
  afx_msg UINT OnGetDlgCode();
  afx_msg void OnNcCalcSize(BOOL bCalcValidRects, NCCALCSIZE_PARAMS* lpncsp);
  afx_msg LRESULT OnNcHitTest(CPoint point);
  afx_msg void OnWindowPosChanging(WINDOWPOS* lpwndpos);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnContextMenu(CWnd* pWnd, CPoint pos);
  afx_msg void OnSysColorChange();
  afx_msg void OnSettingChange(UINT uFlags, LPCSTR lpszSection);
  afx_msg BOOL OnQueryNewPalette();
  afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
  afx_msg BOOL OnHelpInfo(HELPINFO* lpHelpInfo);
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnParentNotify(UINT message, LPARAM lParam);
  afx_msg void OnNcLButtonDown(UINT nHitTest, CPoint point);
  afx_msg void OnNcMouseMove(UINT nHitTest, CPoint point);
  afx_msg BOOL OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct);

  UINT m_nFlags = 0;
  WNDPROC m_pfnSuper = nullptr;
  // The module state the window was made under; its messages run under it.
  AFX_MODULE_STATE* m_pModuleState = nullptr;
  int m_nModalResult = 0;

 protected:
  virtual WNDPROC* GetSuperWndProcAddr();
  BOOL ExecuteDlgInit(LPCSTR lpszResourceName);

  DECLARE_MESSAGE_MAP()

  friend LRESULT AfxWndProc(HWND, UINT, WPARAM, LPARAM);
  friend class kxWndAccess;
};

// Temporary CWnd objects of other threads or windows that no CWnd owns are CWnd itself.
struct CCreateContext {
  CRuntimeClass* m_pNewViewClass = nullptr;
  class CDocument* m_pCurrentDoc = nullptr;
  class CDocTemplate* m_pNewDocTemplate = nullptr;
  class CView* m_pLastView = nullptr;
  class CFrameWnd* m_pCurrentFrame = nullptr;
};
