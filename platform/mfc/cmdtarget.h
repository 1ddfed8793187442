// CCmdTarget and message maps. A class's message map is a table of entries, each naming a message (or a
// command or notification of a control, or one reflected back to the control) and a small function that
// unpacks the message's parameters and calls the class's handler. BEGIN_MESSAGE_MAP opens the table inside the
// class's scope, so the entries may name protected handlers; each table links to its base class's table.
//
//   BEGIN_MESSAGE_MAP(CMyPage, CPropertyPage)
//     ON_WM_TIMER()
//     ON_BN_CLICKED(1050, OnAdd)
//     ON_NOTIFY(LVN_ITEMCHANGED, 1033, OnItemChanged)
//   END_MESSAGE_MAP()
//
// The ON_WM_* entries expect the handler signatures of the framework (OnTimer(UINT_PTR), OnSize(UINT, int, int),
// ...), and the files that use them include platform/mfc/afxwin.h.
#pragma once

#include "platform/mfc/cobject.h"
#include "platform/ui/ui.h"

class CCmdTarget;

#define afx_msg

// The old combined colour message; handlers of all WM_CTLCOLOR* messages are entered under it.
#define WM_CTLCOLOR 0x0019
// A message reflected back to the control that sent it arrives as WM_REFLECT_BASE + the message.
#define WM_REFLECT_BASE 0xBC00
// Sent to a window's own class procedure while the framework idles (RunModalLoop).
#define WM_KICKIDLE 0x036A

namespace kx {
// One message on its way through a message map.
struct AfxMsg {
  UINT message = 0;      // window message, or WM_COMMAND / WM_NOTIFY (possibly + WM_REFLECT_BASE)
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  UINT nID = 0;          // control id of a command or notification
  UINT nCode = 0;        // notification code; CTLCOLOR_* type for colour messages
  LRESULT* pResult = nullptr;  // result of a notification
  BOOL handled = TRUE;   // the _EX handlers clear it to let the message go on
};
using AfxHandler = LRESULT (*)(CCmdTarget*, AfxMsg&);
}  // namespace kx

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;    // low word compared
  UINT nID;
  UINT nLastID;
  kx::AfxHandler pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

struct AFX_CMDHANDLERINFO {
  CCmdTarget* pTarget;
};

class KXAPI CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
 public:
  CCmdTarget();
  ~CCmdTarget() override;

  // Routes a command (nCode: notification code in the low word, WM_NOTIFY or a reflected message in the high
  // word; pExtra: the kx::AfxMsg of a notification) to this object's map. TRUE when a handler took it.
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);
  // Called when the last reference of an automation object goes; deletes the object.
  virtual void OnFinalRelease();

  void BeginWaitCursor();
  void EndWaitCursor();
  void RestoreWaitCursor();

  // Finds the first entry for the message (and code and id range) in this object's maps, starting after
  // `after` when given; the matching entry's function is called by the caller.
  static const AFX_MSGMAP_ENTRY* FindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id,
                                                  const AFX_MSGMAP_ENTRY* after = nullptr);
  // Calls every matching entry until one leaves msg.handled set; TRUE when one did.
  BOOL DispatchToMap(kx::AfxMsg& msg, LRESULT* result);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

#define DECLARE_MESSAGE_MAP()                        \
 protected:                                          \
  static const AFX_MSGMAP* GetThisMessageMap();      \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                   \
    using ThisClass [[maybe_unused]] = theClass;                                      \
    using TheBaseClass [[maybe_unused]] = baseClass;                                  \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                            \
  {0, 0, 0, 0, nullptr}};                                                                            \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};      \
  return &messageMap;                                                                                \
  }

// One entry: the body runs with `self` (the object as ThisClass) and `kxMsg` (the kx::AfxMsg) and returns the
// message's result.
#define KX_MSG_ENTRY(msg, code, id, lastId, ...)                                                      \
  {static_cast<UINT>(msg), static_cast<UINT>(static_cast<WORD>(code)), static_cast<UINT>(id),       \
   static_cast<UINT>(lastId), [](CCmdTarget* kxTarget, kx::AfxMsg& kxMsg) -> LRESULT {               \
     [[maybe_unused]] ThisClass* self = static_cast<ThisClass*>(kxTarget);                           \
     (void)kxMsg;                                                                                    \
     __VA_ARGS__                                                                                     \
   }},
#define KX_WM(msg, ...) KX_MSG_ENTRY(msg, 0, 0, 0, __VA_ARGS__)
#define KX_WP kxMsg.wParam
#define KX_LP kxMsg.lParam
#define KX_PT CPoint(GET_X_LPARAM(KX_LP), GET_Y_LPARAM(KX_LP))
#define KX_WND(h) CWnd::FromHandle(reinterpret_cast<HWND>(h))

// ---- commands and notifications ----
#define ON_COMMAND(id, memberFxn) KX_MSG_ENTRY(WM_COMMAND, 0, id, id, self->memberFxn(); return 0;)
#define ON_COMMAND_EX(id, memberFxn) \
  KX_MSG_ENTRY(WM_COMMAND, 0, id, id, kxMsg.handled = self->memberFxn(kxMsg.nID); return 0;)
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
  KX_MSG_ENTRY(WM_COMMAND, 0, id, idLast, self->memberFxn(kxMsg.nID); return 0;)
#define ON_CONTROL(code, id, memberFxn) KX_MSG_ENTRY(WM_COMMAND, code, id, id, self->memberFxn(); return 0;)
#define ON_CONTROL_RANGE(code, id, idLast, memberFxn) \
  KX_MSG_ENTRY(WM_COMMAND, code, id, idLast, self->memberFxn(kxMsg.nID); return 0;)
#define ON_NOTIFY(code, id, memberFxn)                                                                   \
  KX_MSG_ENTRY(WM_NOTIFY, code, id, id, self->memberFxn(reinterpret_cast<NMHDR*>(KX_LP), kxMsg.pResult); \
               return 0;)
#define ON_NOTIFY_RANGE(code, id, idLast, memberFxn)                                                          \
  KX_MSG_ENTRY(WM_NOTIFY, code, id, idLast,                                                                    \
               self->memberFxn(kxMsg.nID, reinterpret_cast<NMHDR*>(KX_LP), kxMsg.pResult); return 0;)
#define ON_NOTIFY_EX(code, id, memberFxn)                                                                       \
  KX_MSG_ENTRY(WM_NOTIFY, code, id, id,                                                                          \
               kxMsg.handled = self->memberFxn(kxMsg.nID, reinterpret_cast<NMHDR*>(KX_LP), kxMsg.pResult); return 0;)
// Reflected to the control that sent them; the _EX forms return FALSE to let the parent see them too.
#define ON_NOTIFY_REFLECT(code, memberFxn)                                                                     \
  KX_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, code, 0, 0,                                                        \
               self->memberFxn(reinterpret_cast<NMHDR*>(KX_LP), kxMsg.pResult); return 0;)
#define ON_NOTIFY_REFLECT_EX(code, memberFxn)                                                                  \
  KX_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, code, 0, 0,                                                        \
               kxMsg.handled = self->memberFxn(reinterpret_cast<NMHDR*>(KX_LP), kxMsg.pResult); return 0;)
#define ON_CONTROL_REFLECT(code, memberFxn) \
  KX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, self->memberFxn(); return 0;)
#define ON_CONTROL_REFLECT_EX(code, memberFxn) \
  KX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, kxMsg.handled = self->memberFxn(); return 0;)
#define ON_MESSAGE(message, memberFxn) KX_WM(message, return self->memberFxn(KX_WP, KX_LP);)

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_BN_SETFOCUS(id, memberFxn) ON_CONTROL(BN_SETFOCUS, id, memberFxn)
#define ON_BN_KILLFOCUS(id, memberFxn) ON_CONTROL(BN_KILLFOCUS, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_UPDATE(id, memberFxn) ON_CONTROL(EN_UPDATE, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_EN_MAXTEXT(id, memberFxn) ON_CONTROL(EN_MAXTEXT, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(1 /* CBN_SELCHANGE */, id, memberFxn)
#define ON_CBN_DBLCLK(id, memberFxn) ON_CONTROL(2 /* CBN_DBLCLK */, id, memberFxn)
#define ON_CBN_SETFOCUS(id, memberFxn) ON_CONTROL(3 /* CBN_SETFOCUS */, id, memberFxn)
#define ON_CBN_KILLFOCUS(id, memberFxn) ON_CONTROL(4 /* CBN_KILLFOCUS */, id, memberFxn)
#define ON_CBN_EDITCHANGE(id, memberFxn) ON_CONTROL(5 /* CBN_EDITCHANGE */, id, memberFxn)
#define ON_CBN_EDITUPDATE(id, memberFxn) ON_CONTROL(6 /* CBN_EDITUPDATE */, id, memberFxn)
#define ON_CBN_DROPDOWN(id, memberFxn) ON_CONTROL(7 /* CBN_DROPDOWN */, id, memberFxn)
#define ON_CBN_CLOSEUP(id, memberFxn) ON_CONTROL(8 /* CBN_CLOSEUP */, id, memberFxn)
#define ON_CBN_SELENDOK(id, memberFxn) ON_CONTROL(9 /* CBN_SELENDOK */, id, memberFxn)
#define ON_CBN_SELENDCANCEL(id, memberFxn) ON_CONTROL(10 /* CBN_SELENDCANCEL */, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(1 /* LBN_SELCHANGE */, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(2 /* LBN_DBLCLK */, id, memberFxn)
#define ON_LBN_SETFOCUS(id, memberFxn) ON_CONTROL(4 /* LBN_SETFOCUS */, id, memberFxn)
#define ON_LBN_KILLFOCUS(id, memberFxn) ON_CONTROL(5 /* LBN_KILLFOCUS */, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
#define ON_STN_DBLCLK(id, memberFxn) ON_CONTROL(STN_DBLCLK, id, memberFxn)

// ---- window messages ----
#define ON_WM_CREATE() KX_WM(WM_CREATE, return self->OnCreate(reinterpret_cast<LPCREATESTRUCT>(KX_LP));)
#define ON_WM_NCCREATE() KX_WM(WM_NCCREATE, return self->OnNcCreate(reinterpret_cast<LPCREATESTRUCT>(KX_LP));)
#define ON_WM_DESTROY() KX_WM(WM_DESTROY, self->OnDestroy(); return 0;)
#define ON_WM_NCDESTROY() KX_WM(WM_NCDESTROY, self->OnNcDestroy(); return 0;)
#define ON_WM_CLOSE() KX_WM(WM_CLOSE, self->OnClose(); return 0;)
#define ON_WM_SIZE() \
  KX_WM(WM_SIZE, self->OnSize(static_cast<UINT>(KX_WP), GET_X_LPARAM(KX_LP), GET_Y_LPARAM(KX_LP)); return 0;)
#define ON_WM_MOVE() KX_WM(WM_MOVE, self->OnMove(GET_X_LPARAM(KX_LP), GET_Y_LPARAM(KX_LP)); return 0;)
#define ON_WM_PAINT() KX_WM(WM_PAINT, self->OnPaint(); return 0;)
#define ON_WM_NCPAINT() KX_WM(WM_NCPAINT, self->OnNcPaint(); return 0;)
#define ON_WM_ERASEBKGND() KX_WM(WM_ERASEBKGND, return self->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(KX_WP)));)
#define ON_WM_TIMER() KX_WM(WM_TIMER, self->OnTimer(static_cast<UINT_PTR>(KX_WP)); return 0;)
#define ON_WM_SHOWWINDOW() \
  KX_WM(WM_SHOWWINDOW, self->OnShowWindow(static_cast<BOOL>(KX_WP), static_cast<UINT>(KX_LP)); return 0;)
#define ON_WM_ACTIVATE()                                                                                     \
  KX_WM(WM_ACTIVATE, self->OnActivate(LOWORD(KX_WP), KX_WND(KX_LP), static_cast<BOOL>(HIWORD(KX_WP)));       \
        return 0;)
#define ON_WM_ACTIVATEAPP() \
  KX_WM(WM_ACTIVATEAPP, self->OnActivateApp(static_cast<BOOL>(KX_WP), static_cast<DWORD>(KX_LP)); return 0;)
#define ON_WM_ENABLE() KX_WM(WM_ENABLE, self->OnEnable(static_cast<BOOL>(KX_WP)); return 0;)
#define ON_WM_SETFOCUS() KX_WM(WM_SETFOCUS, self->OnSetFocus(KX_WND(KX_WP)); return 0;)
#define ON_WM_KILLFOCUS() KX_WM(WM_KILLFOCUS, self->OnKillFocus(KX_WND(KX_WP)); return 0;)
#define ON_WM_SETCURSOR() \
  KX_WM(WM_SETCURSOR, return self->OnSetCursor(KX_WND(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP));)
#define ON_WM_MOUSEMOVE() KX_WM(WM_MOUSEMOVE, self->OnMouseMove(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_LBUTTONDOWN() KX_WM(WM_LBUTTONDOWN, self->OnLButtonDown(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_LBUTTONUP() KX_WM(WM_LBUTTONUP, self->OnLButtonUp(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_LBUTTONDBLCLK() \
  KX_WM(WM_LBUTTONDBLCLK, self->OnLButtonDblClk(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_RBUTTONDOWN() KX_WM(WM_RBUTTONDOWN, self->OnRButtonDown(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_RBUTTONUP() KX_WM(WM_RBUTTONUP, self->OnRButtonUp(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_RBUTTONDBLCLK() \
  KX_WM(WM_RBUTTONDBLCLK, self->OnRButtonDblClk(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_MBUTTONDOWN() KX_WM(WM_MBUTTONDOWN, self->OnMButtonDown(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_MBUTTONUP() KX_WM(WM_MBUTTONUP, self->OnMButtonUp(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_MOUSEWHEEL()                                                                                     \
  KX_WM(WM_MOUSEWHEEL, return self->OnMouseWheel(LOWORD(KX_WP), static_cast<short>(HIWORD(KX_WP)), KX_PT);)
#define ON_WM_MOUSELEAVE() KX_WM(WM_MOUSELEAVE, self->OnMouseLeave(); return 0;)
#define ON_WM_MOUSEACTIVATE() \
  KX_WM(WM_MOUSEACTIVATE, return self->OnMouseActivate(KX_WND(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP));)
#define ON_WM_KEYDOWN()                                                                                        \
  KX_WM(WM_KEYDOWN, self->OnKeyDown(static_cast<UINT>(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP)); return 0;)
#define ON_WM_KEYUP() KX_WM(WM_KEYUP, self->OnKeyUp(static_cast<UINT>(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP)); return 0;)
#define ON_WM_CHAR() KX_WM(WM_CHAR, self->OnChar(static_cast<UINT>(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP)); return 0;)
#define ON_WM_SYSKEYDOWN()                                                                                     \
  KX_WM(WM_SYSKEYDOWN, self->OnSysKeyDown(static_cast<UINT>(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP)); return 0;)
#define ON_WM_SYSCHAR()                                                                                        \
  KX_WM(WM_SYSCHAR, self->OnSysChar(static_cast<UINT>(KX_WP), LOWORD(KX_LP), HIWORD(KX_LP)); return 0;)
#define ON_WM_SYSCOMMAND() KX_WM(WM_SYSCOMMAND, self->OnSysCommand(static_cast<UINT>(KX_WP), KX_LP); return 0;)
#define ON_WM_CANCELMODE() KX_WM(WM_CANCELMODE, self->OnCancelMode(); return 0;)
#define ON_WM_CAPTURECHANGED() KX_WM(WM_CAPTURECHANGED, self->OnCaptureChanged(KX_WND(KX_LP)); return 0;)
#define ON_WM_CTLCOLOR()                                                                                       \
  KX_WM(WM_CTLCOLOR, return reinterpret_cast<LRESULT>(self->OnCtlColor(                                       \
                         CDC::FromHandle(reinterpret_cast<HDC>(KX_WP)), KX_WND(KX_LP), kxMsg.nCode));)
#define ON_WM_CTLCOLOR_REFLECT()                                                                               \
  KX_WM(WM_REFLECT_BASE + WM_CTLCOLOR,                                                                         \
        HBRUSH kxBrush = self->CtlColor(CDC::FromHandle(reinterpret_cast<HDC>(KX_WP)), kxMsg.nCode);          \
        kxMsg.handled = kxBrush != nullptr; return reinterpret_cast<LRESULT>(kxBrush);)
#define ON_WM_DRAWITEM()                                                                                       \
  KX_WM(WM_DRAWITEM,                                                                                           \
        self->OnDrawItem(static_cast<int>(KX_WP), reinterpret_cast<LPDRAWITEMSTRUCT>(KX_LP)); return TRUE;)
#define ON_WM_DRAWITEM_REFLECT() \
  KX_WM(WM_REFLECT_BASE + WM_DRAWITEM, self->DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(KX_LP)); return TRUE;)
#define ON_WM_MEASUREITEM()                                                                                    \
  KX_WM(WM_MEASUREITEM,                                                                                        \
        self->OnMeasureItem(static_cast<int>(KX_WP), reinterpret_cast<LPMEASUREITEMSTRUCT>(KX_LP)); return TRUE;)
#define ON_WM_MEASUREITEM_REFLECT()                                                                            \
  KX_WM(WM_REFLECT_BASE + WM_MEASUREITEM, self->MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(KX_LP));     \
        return TRUE;)
#define ON_WM_COMPAREITEM()                                                                                    \
  KX_WM(WM_COMPAREITEM,                                                                                        \
        return self->OnCompareItem(static_cast<int>(KX_WP), reinterpret_cast<LPCOMPAREITEMSTRUCT>(KX_LP));)
#define ON_WM_DELETEITEM()                                                                                     \
  KX_WM(WM_DELETEITEM,                                                                                         \
        self->OnDeleteItem(static_cast<int>(KX_WP), reinterpret_cast<LPDELETEITEMSTRUCT>(KX_LP)); return TRUE;)
#define ON_WM_GETDLGCODE() KX_WM(WM_GETDLGCODE, return self->OnGetDlgCode();)
#define ON_WM_NCCALCSIZE()                                                                                     \
  KX_WM(WM_NCCALCSIZE,                                                                                         \
        self->OnNcCalcSize(static_cast<BOOL>(KX_WP), reinterpret_cast<NCCALCSIZE_PARAMS*>(KX_LP)); return 0;)
#define ON_WM_NCHITTEST() KX_WM(WM_NCHITTEST, return self->OnNcHitTest(KX_PT);)
#define ON_WM_WINDOWPOSCHANGING() \
  KX_WM(WM_WINDOWPOSCHANGING, self->OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(KX_LP)); return 0;)
#define ON_WM_WINDOWPOSCHANGED() \
  KX_WM(WM_WINDOWPOSCHANGED, self->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(KX_LP)); return 0;)
#define ON_WM_GETMINMAXINFO() \
  KX_WM(WM_GETMINMAXINFO, self->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(KX_LP)); return 0;)
#define ON_WM_HSCROLL()                                                                                        \
  KX_WM(WM_HSCROLL, self->OnHScroll(LOWORD(KX_WP), static_cast<short>(HIWORD(KX_WP)),                         \
                                    reinterpret_cast<CScrollBar*>(KX_WND(KX_LP))); return 0;)
#define ON_WM_VSCROLL()                                                                                        \
  KX_WM(WM_VSCROLL, self->OnVScroll(LOWORD(KX_WP), static_cast<short>(HIWORD(KX_WP)),                         \
                                    reinterpret_cast<CScrollBar*>(KX_WND(KX_LP))); return 0;)
#define ON_WM_HSCROLL_REFLECT() \
  KX_WM(WM_REFLECT_BASE + WM_HSCROLL, self->HScroll(LOWORD(KX_WP), static_cast<short>(HIWORD(KX_WP))); return 0;)
#define ON_WM_VSCROLL_REFLECT() \
  KX_WM(WM_REFLECT_BASE + WM_VSCROLL, self->VScroll(LOWORD(KX_WP), static_cast<short>(HIWORD(KX_WP))); return 0;)
#define ON_WM_CONTEXTMENU() KX_WM(WM_CONTEXTMENU, self->OnContextMenu(KX_WND(KX_WP), KX_PT); return 0;)
#define ON_WM_SYSCOLORCHANGE() KX_WM(WM_SYSCOLORCHANGE, self->OnSysColorChange(); return 0;)
#define ON_WM_SETTINGCHANGE() \
  KX_WM(WM_SETTINGCHANGE, self->OnSettingChange(static_cast<UINT>(KX_WP), reinterpret_cast<LPCSTR>(KX_LP)); return 0;)
#define ON_WM_QUERYNEWPALETTE() KX_WM(WM_QUERYNEWPALETTE, return self->OnQueryNewPalette();)
#define ON_WM_PALETTECHANGED() KX_WM(WM_PALETTECHANGED, self->OnPaletteChanged(KX_WND(KX_WP)); return 0;)
#define ON_WM_HELPINFO() KX_WM(WM_HELP, return self->OnHelpInfo(reinterpret_cast<HELPINFO*>(KX_LP));)
#define ON_WM_QUERYDRAGICON() KX_WM(WM_QUERYDRAGICON, return reinterpret_cast<LRESULT>(self->OnQueryDragIcon());)
#define ON_WM_PARENTNOTIFY() KX_WM(WM_PARENTNOTIFY, self->OnParentNotify(LOWORD(KX_WP), KX_LP); return 0;)
#define ON_WM_NCLBUTTONDOWN() \
  KX_WM(WM_NCLBUTTONDOWN, self->OnNcLButtonDown(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_NCMOUSEMOVE() KX_WM(WM_NCMOUSEMOVE, self->OnNcMouseMove(static_cast<UINT>(KX_WP), KX_PT); return 0;)
#define ON_WM_COPYDATA() \
  KX_WM(WM_COPYDATA, return self->OnCopyData(KX_WND(KX_WP), reinterpret_cast<COPYDATASTRUCT*>(KX_LP));)
