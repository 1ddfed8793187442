// DefWindowProc: what a window does with the messages its procedure passes on.
#include <algorithm>
#include <cstring>

#include "platform/ui/display.h"
#include "platform/ui/access.h"
#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

LRESULT HitTest(HWND hwnd, POINT pt) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return HTNOWHERE;
  RECT wr = ScreenRect(*w);
  if (!PtInRect(&wr, pt)) return HTNOWHERE;
  RECT cr = ScreenClient(*w);
  if (PtInRect(&cr, pt)) return HTCLIENT;
  POINT wp{pt.x - wr.left, pt.y - wr.top};
  RECT close;
  if (CaptionCloseRect(*w, &close) && PtInRect(&close, wp)) return HTCLOSE;
  RECT in = FrameInsets(w->style, w->exStyle, false, false);
  if ((w->style & WS_VSCROLL) && pt.x >= cr.right && pt.x < cr.right + GetSystemMetrics(SM_CXVSCROLL) &&
      pt.y >= cr.top && pt.y < cr.bottom)
    return HTVSCROLL;
  if ((w->style & WS_HSCROLL) && pt.y >= cr.bottom && pt.y < cr.bottom + GetSystemMetrics(SM_CYHSCROLL) &&
      pt.x >= cr.left && pt.x < cr.right)
    return HTHSCROLL;
  if ((w->style & WS_CAPTION) == WS_CAPTION && wp.y >= in.left && wp.y < in.top) return HTCAPTION;
  return HTBORDER;
}

// A click on a scroll bar of the frame: line or page moves, as the platform's scroll bars send them.
void ScrollClick(HWND hwnd, bool vertical, POINT pt) {
  int part = SB_LINEDOWN;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return;
    RECT cr = ScreenClient(*w);
    int arrow = vertical ? GetSystemMetrics(SM_CYVSCROLL) : GetSystemMetrics(SM_CXHSCROLL);
    int a = vertical ? pt.y - cr.top : pt.x - cr.left;
    int len = vertical ? cr.bottom - cr.top : cr.right - cr.left;
    const Window::ScrollBar& sb = vertical ? w->vscroll : w->hscroll;
    if (a < arrow) part = SB_LINEUP;
    else if (a >= len - arrow) part = SB_LINEDOWN;
    else {
      int range = sb.max - sb.min + 1;
      int track = len - 2 * arrow;
      int thumb = sb.page ? std::max(8, track * sb.page / std::max(range, 1)) : arrow;
      int span = range - std::max(sb.page, 1);
      int tpos = arrow + (span > 0 ? (track - thumb) * (sb.pos - sb.min) / span : 0);
      part = a < tpos ? SB_PAGEUP : a >= tpos + thumb ? SB_PAGEDOWN : SB_ENDSCROLL;
    }
  }
  UINT msg = vertical ? WM_VSCROLL : WM_HSCROLL;
  if (part != SB_ENDSCROLL) SendMessage(hwnd, msg, MAKEWPARAM(part, 0), 0);
  SendMessage(hwnd, msg, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

LRESULT CtlColor(HDC hdc, UINT msg) {
  if (msg == WM_CTLCOLORSCROLLBAR) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_SCROLLBAR));
  if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX) {
    SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(hdc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(hdc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void PrintWindowTo(HWND hwnd, HDC hdc, LPARAM flags) {
  if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(hwnd)) return;
  RECT client;
  RECT wr;
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return;
    client = w->client;
    wr = w->rect;
    kids.assign(w->children.rbegin(), w->children.rend());
  }
  if (flags & PRF_NONCLIENT) {
    int s = SaveDC(hdc);
    DrawFrame(hwnd, hdc);
    RestoreDC(hdc, s);
  }
  int s = SaveDC(hdc);
  if (flags & PRF_NONCLIENT) OffsetViewportOrgEx(hdc, client.left, client.top, nullptr);
  IntersectClipRect(hdc, 0, 0, client.right - client.left, client.bottom - client.top);
  if (flags & PRF_ERASEBKGND) SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  if (flags & PRF_CLIENT) SendMessage(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), flags);
  if (flags & PRF_CHILDREN) {
    for (HWND c : kids) {
      RECT cr;
      {
        Guard g(Lock());
        WindowPtr cw = Find(c);
        if (!cw || !(cw->style & WS_VISIBLE)) continue;
        cr = cw->rect;
      }
      int cs = SaveDC(hdc);
      OffsetViewportOrgEx(hdc, cr.left, cr.top, nullptr);
      IntersectClipRect(hdc, 0, 0, cr.right - cr.left, cr.bottom - cr.top);
      SendMessage(c, WM_PRINT, reinterpret_cast<WPARAM>(hdc), (flags | PRF_NONCLIENT) & ~PRF_CHECKVISIBLE);
      RestoreDC(hdc, cs);
    }
  }
  RestoreDC(hdc, s);
  (void)wr;
}

}  // namespace

}  // namespace kx::ui

using namespace kx::ui;

namespace {

// The caption pressed: the window follows the pointer until the button is let go.
void MoveByCaption(HWND hwnd, POINT start) {
  HWND top = GetAncestor(hwnd, GA_ROOT);
  RECT from;
  if (!top || !GetWindowRect(top, &from)) return;
  SetCapture(top);
  MSG m;
  while (GetCapture() == top) {
    if (!GetMessage(&m, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
      if (m.pt.x != start.x || m.pt.y != start.y)
        SetWindowPos(top, nullptr, from.left + m.pt.x - start.x, from.top + m.pt.y - start.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      if (m.message == WM_LBUTTONUP) break;
      continue;
    }
    if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
      SetWindowPos(top, nullptr, from.left, from.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    TranslateMessage(&m);
    DispatchMessage(&m);
  }
  if (GetCapture() == top) ReleaseCapture();
}

}  // namespace

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
        Guard g(Lock());
        if (WindowPtr w = Find(hwnd)) w->text = cs->lpszName;
      }
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      RECT* r = reinterpret_cast<RECT*>(lp);
      if (!r) return 0;
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return 0;
      RECT in = FrameInsets(w->style, w->exStyle, (w->style & WS_VSCROLL) != 0, (w->style & WS_HSCROLL) != 0);
      r->left += in.left;
      r->top += in.top;
      r->right -= in.right;
      r->bottom -= in.bottom;
      if (r->right < r->left) r->right = r->left;
      if (r->bottom < r->top) r->bottom = r->top;
      return 0;
    }
    case WM_NCHITTEST:
      return HitTest(hwnd, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
    case WM_NCPAINT: {
      HDC hdc = GetWindowDC(hwnd);
      if (hdc) {
        // Only the frame: the client area is the window procedure's.
        RECT c;
        {
          Guard g(Lock());
          WindowPtr w = Find(hwnd);
          c = w ? w->client : RECT{0, 0, 0, 0};
        }
        ExcludeClipRect(hdc, c.left, c.top, c.right, c.bottom);
        DrawFrame(hwnd, hdc);
        ReleaseDC(hwnd, hdc);
      }
      return 0;
    }
    case WM_NCACTIVATE: {
      {
        Guard g(Lock());
        WindowPtr w = Find(hwnd);
        if (!w) return TRUE;
        w->ncActive = wp != 0;
        if ((w->style & WS_CAPTION) == WS_CAPTION && VisibleChain(*w)) {
          w->ncPending = true;
          if (w->queue) Wake(*w->queue);
        }
      }
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH b;
      {
        Guard g(Lock());
        WindowPtr w = Find(hwnd);
        if (!w) return 0;
        b = w->cls->background;
      }
      if (!b) return 0;
      HDC hdc = reinterpret_cast<HDC>(wp);
      RECT rc;
      GetClipBox(hdc, &rc);
      FillRect(hdc, &rc, b);
      return 1;
    }
    case WM_PRINT:
      PrintWindowTo(hwnd, reinterpret_cast<HDC>(wp), lp);
      return 0;
    case WM_PRINTCLIENT:
      return 0;
    case WM_SETTEXT: {
      const char* t = reinterpret_cast<const char*>(lp);
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return FALSE;
      w->text = t ? t : "";
      if ((w->style & WS_CAPTION) == WS_CAPTION && VisibleChain(*w)) {
        w->ncPending = true;
        if (w->queue) Wake(*w->queue);
      }
      bool top = !w->parent;
      g.unlock();
      if (top) CurrentDisplay().WindowChanged(hwnd);
      Announce(hwnd, Access::Name);
      return TRUE;
    }
    case WM_GETTEXT: {
      char* buf = reinterpret_cast<char*>(lp);
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      return kx::gdi::CopyText(w ? w->text : std::string(), buf, static_cast<int>(std::min<WPARAM>(wp, INT32_MAX)));
    }
    case WM_GETTEXTLENGTH: {
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      switch (wp & 0xFFF0) {
        case SC_CLOSE: SendMessage(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(hwnd, SW_MAXIMIZE); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_NCLBUTTONDOWN: {
      if (wp == HTCAPTION) {
        MoveByCaption(hwnd, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
      }
      Guard g(Lock());
      if (WindowPtr w = Find(hwnd)) w->closeTracking = wp == HTCLOSE;
      if (wp == HTVSCROLL || wp == HTHSCROLL) {
        g.unlock();
        ScrollClick(hwnd, wp == HTVSCROLL, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      }
      return 0;
    }
    case WM_NCLBUTTONUP: {
      bool close = false;
      {
        Guard g(Lock());
        if (WindowPtr w = Find(hwnd)) {
          close = w->closeTracking && wp == HTCLOSE;
          w->closeTracking = false;
        }
      }
      if (close) SendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, lp);
      return 0;
    }
    case WM_NCLBUTTONDBLCLK:
      if (wp == HTVSCROLL || wp == HTHSCROLL) ScrollClick(hwnd, wp == HTVSCROLL, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      return 0;
    case WM_MOUSEACTIVATE: {
      HWND parent = nullptr;
      {
        Guard g(Lock());
        WindowPtr w = Find(hwnd);
        if (w && (w->style & WS_CHILD)) parent = w->parent;
      }
      if (parent) {
        LRESULT r = SendMessage(parent, WM_MOUSEACTIVATE, wp, lp);
        if (r) return r;
      }
      return MA_ACTIVATE;
    }
    case WM_SETCURSOR: {
      HWND parent = nullptr;
      HCURSOR cursor = nullptr;
      {
        Guard g(Lock());
        WindowPtr w = Find(hwnd);
        if (!w) return FALSE;
        if (w->style & WS_CHILD) parent = w->parent;
        cursor = w->cls->cursor;
      }
      if (parent && SendMessage(parent, WM_SETCURSOR, wp, lp)) return TRUE;
      if (LOWORD(lp) == HTCLIENT) SetCursor(cursor ? cursor : LoadCursor(nullptr, IDC_ARROW));
      else SetCursor(LoadCursor(nullptr, IDC_ARROW));
      return FALSE;
    }
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
      if (!pos) return 0;
      RECT client, wr;
      {
        Guard g(Lock());
        WindowPtr w = Find(hwnd);
        if (!w) return 0;
        client = w->client;
        wr = w->rect;
      }
      if (!(pos->flags & SWP_NOMOVE)) SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(wr.left + client.left, wr.top + client.top));
      if (!(pos->flags & SWP_NOSIZE) || (pos->flags & SWP_FRAMECHANGED)) {
        DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        WPARAM type = (style & WS_MINIMIZE) ? SIZE_MINIMIZED : (style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        SendMessage(hwnd, WM_SIZE, type, MAKELPARAM(client.right - client.left, client.bottom - client.top));
      }
      return 0;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return CtlColor(reinterpret_cast<HDC>(wp), msg);
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && !HIWORD(wp)) SetFocus(hwnd);
      return 0;
    case WM_SETICON: {
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return 0;
      HICON& slot = wp == ICON_BIG ? w->iconBig : w->iconSmall;
      HICON old = slot;
      slot = reinterpret_cast<HICON>(lp);
      if (!w->parent) {
        g.unlock();
        CurrentDisplay().WindowChanged(hwnd);
      }
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON: {
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return 0;
      return reinterpret_cast<LRESULT>(wp == ICON_BIG ? w->iconBig : w->iconSmall);
    }
    case WM_SETREDRAW: {
      // Drawing off hides the window from painting without hiding it, as the platform does.
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return 0;
      if (wp) w->style |= WS_VISIBLE;
      else w->style &= ~WS_VISIBLE;
      return 0;
    }
    case WM_QUERYENDSESSION:
    case WM_QUERYOPEN:
      return TRUE;
    case WM_NOTIFYFORMAT:
      return 1;  // NFR_ANSI
    case WM_CANCELMODE:
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
    case WM_HELP: {
      HWND parent = nullptr;
      {
        Guard g(Lock());
        WindowPtr w = Find(hwnd);
        if (w && (w->style & WS_CHILD)) parent = w->parent;
      }
      if (parent) return SendMessage(parent, msg, wp, lp);
      return 0;
    }
    case WM_SYSKEYDOWN:
      // Alt+F4 closes the top-level window, whichever of its controls has the focus.
      if (wp == VK_F4) PostMessage(GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    default:
      return 0;
  }
}

// ----- helpers for controls -----
void kx::NotifyParent(HWND control, UINT code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

LRESULT kx::NotifyParentNm(HWND control, NMHDR* header, UINT code) {
  HWND parent = GetParent(control);
  if (!parent || !header) return 0;
  header->hwndFrom = control;
  header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
  header->code = code;
  return SendMessage(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

HBRUSH kx::ControlColors(HWND control, HDC hdc, UINT ctlColorMessage) {
  HWND parent = GetParent(control);
  HBRUSH b = nullptr;
  if (parent) b = reinterpret_cast<HBRUSH>(SendMessage(parent, ctlColorMessage, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(control)));
  if (!b) b = reinterpret_cast<HBRUSH>(DefWindowProc(parent ? parent : control, ctlColorMessage, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(control)));
  return b;
}

HFONT kx::ControlFont(HFONT given) { return given ? given : kx::ui::DefaultDialogFont(); }
