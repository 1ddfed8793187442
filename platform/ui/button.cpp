// The button control: push buttons, check boxes, radio buttons, group boxes, owner-drawn buttons.
#include <algorithm>
#include <string>

#include "platform/ui/access.h"
#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

struct ButtonData {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool focus = false;
  bool tracking = false;
  HFONT font = nullptr;
  HANDLE image = nullptr;
  UINT imageType = IMAGE_BITMAP;
};

UINT Type(HWND hwnd) { return static_cast<UINT>(GetWindowLongPtr(hwnd, GWL_STYLE) & BS_TYPEMASK); }

bool IsCheck(UINT t) { return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE; }
bool IsRadio(UINT t) { return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON; }
bool IsPush(UINT t) { return t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_USERBUTTON || t == BS_PUSHBOX; }

std::string TextOf(HWND hwnd) {
  char buf[1024];
  InternalGetWindowText(hwnd, buf, sizeof buf);
  return buf;
}

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

void DrawItem(HWND hwnd, HDC hdc, const RECT& rc, ButtonData* d, UINT action) {
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_BUTTON;
  dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
  dis.itemAction = action;
  dis.itemState = (d->pushed ? ODS_SELECTED : 0) | (d->focus ? ODS_FOCUS : 0) | (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
  dis.hwndItem = hwnd;
  dis.hDC = hdc;
  dis.rcItem = rc;
  // The framework reflects this to the button itself; a plain parent draws it.
  HWND parent = GetParent(hwnd);
  if (parent) SendMessage(parent, WM_DRAWITEM, static_cast<WPARAM>(dis.CtlID), reinterpret_cast<LPARAM>(&dis));
}

// Text or image in a rectangle, aligned as the style says.
void DrawLabel(HWND hwnd, HDC hdc, RECT r, ButtonData* d, UINT defaultAlign, bool focusRect) {
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  bool enabled = IsWindowEnabled(hwnd);
  if ((style & (BS_ICON | BS_BITMAP)) && d->image) {
    int w = 0, h = 0;
    if (d->imageType == IMAGE_ICON) {
      ICONINFO ii{};
      if (GetIconInfo(static_cast<HICON>(d->image), &ii)) {
        BITMAP bm{};
        GetObject(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof bm, &bm);
        w = bm.bmWidth;
        h = bm.bmHeight;
        DeleteObject(ii.hbmColor);
        DeleteObject(ii.hbmMask);
      }
    } else {
      BITMAP bm{};
      GetObject(d->image, sizeof bm, &bm);
      w = bm.bmWidth;
      h = bm.bmHeight;
    }
    int x = r.left + (r.right - r.left - w) / 2, y = r.top + (r.bottom - r.top - h) / 2;
    UINT flags = (d->imageType == IMAGE_ICON ? DST_ICON : DST_BITMAP) | (enabled ? 0 : DSS_DISABLED);
    DrawState(hdc, nullptr, nullptr, reinterpret_cast<LPARAM>(d->image), 0, x, y, w, h, flags);
    return;
  }
  std::string text = TextOf(hwnd);
  UINT fmt = DT_NOCLIP;
  UINT h = style & BS_CENTER;
  if (h == BS_LEFT) fmt |= DT_LEFT;
  else if (h == BS_RIGHT) fmt |= DT_RIGHT;
  else if (h == BS_CENTER) fmt |= DT_CENTER;
  else fmt |= defaultAlign;
  if (style & BS_MULTILINE) {
    fmt |= DT_WORDBREAK;
    RECT calc = r;
    int th = DrawText(hdc, text.c_str(), -1, &calc, fmt | DT_CALCRECT);
    UINT v = style & BS_VCENTER;
    if (v == BS_TOP) {
    } else if (v == BS_BOTTOM) {
      r.top = r.bottom - th;
    } else {
      r.top += (r.bottom - r.top - th) / 2;
    }
  } else {
    UINT v = style & BS_VCENTER;
    fmt |= DT_SINGLELINE | (v == BS_TOP ? DT_TOP : v == BS_BOTTOM ? DT_BOTTOM : DT_VCENTER);
  }
  SetBkMode(hdc, TRANSPARENT);
  if (enabled) {
    DrawText(hdc, text.c_str(), -1, &r, fmt);
  } else {
    // Disabled text is embossed.
    RECT sh = r;
    OffsetRect(&sh, 1, 1);
    COLORREF old = SetTextColor(hdc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawText(hdc, text.c_str(), -1, &sh, fmt);
    SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    DrawText(hdc, text.c_str(), -1, &r, fmt);
    SetTextColor(hdc, old);
  }
  if (focusRect && d->focus && !text.empty()) {
    RECT calc = r;
    DrawText(hdc, text.c_str(), -1, &calc, (fmt & ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)) | DT_CALCRECT);
    int tw = calc.right - calc.left, th = calc.bottom - calc.top;
    RECT f{r.left, r.top + (r.bottom - r.top - th) / 2, r.left + tw, 0};
    if (fmt & DT_CENTER) f.left = r.left + (r.right - r.left - tw) / 2;
    else if (fmt & DT_RIGHT) f.left = r.right - tw;
    f.right = f.left + tw;
    f.bottom = f.top + th;
    InflateRect(&f, 1, 1);
    IntersectRect(&f, &f, &r);
    InflateRect(&f, 1, 0);
    DrawFocusRect(hdc, &f);
  }
}

void Paint(HWND hwnd, HDC hdc, const RECT& rc, ButtonData* d) {
  UINT t = Type(hwnd);
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  HGDIOBJ oldFont = SelectObject(hdc, kx::ControlFont(d->font));
  if (t == BS_OWNERDRAW) {
    DrawItem(hwnd, hdc, rc, d, ODA_DRAWENTIRE);
    SelectObject(hdc, oldFont);
    return;
  }
  if (IsPush(t) || (style & BS_PUSHLIKE)) {
    HBRUSH bg = kx::ControlColors(hwnd, hdc, WM_CTLCOLORBTN);
    (void)bg;
    RECT r = rc;
    bool def = t == BS_DEFPUSHBUTTON;
    bool down = d->pushed || ((style & BS_PUSHLIKE) && d->check);
    if (def) {
      FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
      InflateRect(&r, -1, -1);
    }
    if (down && !(style & BS_PUSHLIKE && !d->pushed)) {
      FrameRect(hdc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
      RECT in = r;
      InflateRect(&in, -1, -1);
      FillRect(hdc, &in, GetSysColorBrush(COLOR_BTNFACE));
    } else {
      RECT e = r;
      DrawFrameControl(hdc, &e, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0) | ((style & BS_FLAT) ? DFCS_FLAT : 0));
    }
    RECT label = r;
    InflateRect(&label, -4, -3);
    if (down) OffsetRect(&label, 1, 1);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    DrawLabel(hwnd, hdc, label, d, DT_CENTER, false);
    if (d->focus) {
      RECT f = r;
      InflateRect(&f, -3, -3);
      DrawFocusRect(hdc, &f);
    }
  } else if (IsCheck(t) || IsRadio(t)) {
    HBRUSH bg = kx::ControlColors(hwnd, hdc, WM_CTLCOLORSTATIC);
    FillRect(hdc, &rc, bg);
    int box = kx::gdi::Scaled(13);
    bool leftText = (style & BS_LEFTTEXT) != 0;
    RECT b{leftText ? rc.right - box : rc.left, rc.top + (rc.bottom - rc.top - box) / 2, 0, 0};
    b.right = b.left + box;
    b.bottom = b.top + box;
    UINT state = IsRadio(t) ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
    if (d->check == BST_CHECKED) state |= DFCS_CHECKED;
    if (d->check == BST_INDETERMINATE) state |= DFCS_CHECKED | DFCS_BUTTON3STATE;
    if (d->pushed) state |= DFCS_PUSHED;
    if (!IsWindowEnabled(hwnd)) state |= DFCS_INACTIVE;
    if (style & BS_FLAT) state |= DFCS_FLAT;
    DrawFrameControl(hdc, &b, DFC_BUTTON, state);
    RECT label = rc;
    if (leftText) label.right = b.left - 4;
    else label.left = b.right + 4;
    DrawLabel(hwnd, hdc, label, d, DT_LEFT, true);
  } else if (t == BS_GROUPBOX) {
    HBRUSH bg = kx::ControlColors(hwnd, hdc, WM_CTLCOLORSTATIC);
    TEXTMETRICA tm{};
    GetTextMetrics(hdc, &tm);
    RECT frame = rc;
    frame.top += tm.tmHeight / 2;
    DrawEdge(hdc, &frame, EDGE_ETCHED, BF_RECT);
    std::string text = TextOf(hwnd);
    if (!text.empty()) {
      RECT tr{rc.left + 8, rc.top, rc.right - 8, rc.top + tm.tmHeight};
      RECT calc = tr;
      DrawText(hdc, text.c_str(), -1, &calc, DT_SINGLELINE | DT_CALCRECT);
      tr.right = std::min(tr.right, calc.right + 2);
      tr.left -= 2;
      FillRect(hdc, &tr, bg);
      tr.left += 2;
      SetBkMode(hdc, TRANSPARENT);
      if (!IsWindowEnabled(hwnd)) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
      DrawText(hdc, text.c_str(), -1, &tr, DT_SINGLELINE | DT_LEFT | DT_TOP);
    }
  }
  SelectObject(hdc, oldFont);
}

void UncheckGroup(HWND hwnd) {
  HWND parent = GetParent(hwnd);
  if (!parent) return;
  // The other auto radio buttons of the group lose their check.
  HWND cur = hwnd;
  for (int guard = 0; guard < 1000; ++guard) {
    cur = GetNextDlgGroupItem(parent, cur, FALSE);
    if (!cur || cur == hwnd) break;
    if (Type(cur) == BS_AUTORADIOBUTTON && static_cast<UINT>(SendMessage(cur, BM_GETCHECK, 0, 0)) != BST_UNCHECKED)
      SendMessage(cur, BM_SETCHECK, BST_UNCHECKED, 0);
  }
  // Controls hidden or disabled are skipped by the group walk; clear them too.
  std::vector<HWND> sibs;
  {
    Guard g(Lock());
    WindowPtr p = FindLocked(parent);
    if (p) sibs = p->children;
  }
  auto pos = std::find(sibs.begin(), sibs.end(), hwnd);
  if (pos == sibs.end()) return;
  auto start = pos;
  while (start != sibs.begin() && !(GetWindowLongPtr(*start, GWL_STYLE) & WS_GROUP)) --start;
  for (auto it = start; it != sibs.end(); ++it) {
    if (it != start && (GetWindowLongPtr(*it, GWL_STYLE) & WS_GROUP)) break;
    if (*it != hwnd && Type(*it) == BS_AUTORADIOBUTTON && SendMessage(*it, BM_GETCHECK, 0, 0))
      SendMessage(*it, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

void Click(HWND hwnd) {
  UINT t = Type(hwnd);
  ButtonData* d = kx::ControlData<ButtonData>(hwnd);
  if (!d) return;
  if (t == BS_AUTOCHECKBOX) SendMessage(hwnd, BM_SETCHECK, d->check ? BST_UNCHECKED : BST_CHECKED, 0);
  else if (t == BS_AUTO3STATE) SendMessage(hwnd, BM_SETCHECK, (d->check + 1) % 3, 0);
  else if (t == BS_AUTORADIOBUTTON) {
    SendMessage(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    UncheckGroup(hwnd);
  }
  kx::NotifyParent(hwnd, BN_CLICKED);
}

void SetPushed(HWND hwnd, ButtonData* d, bool pushed) {
  if (d->pushed == pushed) return;
  d->pushed = pushed;
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  if (Type(hwnd) == BS_OWNERDRAW) {
    HDC hdc = GetDC(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
    DrawItem(hwnd, hdc, rc, d, ODA_SELECT);
    SelectObject(hdc, of);
    ReleaseDC(hwnd, hdc);
  } else {
    Redraw(hwnd);
  }
  if (style & BS_NOTIFY) kx::NotifyParent(hwnd, pushed ? BN_HILITE : BN_UNHILITE);
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  ButtonData* d = kx::ControlData<ButtonData>(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      kx::SetControlData(hwnd, new ButtonData());
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_NCDESTROY:
      delete d;
      kx::SetControlData<ButtonData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_CREATE:
      if (IsRadio(Type(hwnd)) && !(GetWindowLongPtr(hwnd, GWL_STYLE) & WS_GROUP)) {
      }
      return 0;
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, hdc, rc, d); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProc(hwnd, msg, wp, lp);
      if (Type(hwnd) == BS_GROUPBOX) {
        // The old label may have been wider than the new one.
        RECT rc;
        GetWindowRect(hwnd, &rc);
        HWND parent = GetParent(hwnd);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
        InvalidateRect(parent, &rc, TRUE);
      }
      Redraw(hwnd);
      return r;
    }
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (lp) Redraw(hwnd);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_ENABLE:
      Redraw(hwnd);
      return 0;
    case WM_SYSCOLORCHANGE:
      Redraw(hwnd);
      return 0;
    case WM_GETDLGCODE: {
      UINT t = Type(hwnd);
      if (t == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (IsPush(t)) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (IsRadio(t)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      if (t == BS_GROUPBOX) return DLGC_STATIC;
      return DLGC_BUTTON;
    }
    case BM_GETCHECK:
      return d->check;
    case BM_SETCHECK: {
      UINT t = Type(hwnd);
      UINT v = static_cast<UINT>(wp);
      if (!(t == BS_3STATE || t == BS_AUTO3STATE) && v == BST_INDETERMINATE) v = BST_CHECKED;
      if (!IsCheck(t) && !IsRadio(t)) return 0;
      if (IsRadio(t)) {
        // The checked radio button of a group is the one Tab reaches.
        LONG_PTR st = GetWindowLongPtr(hwnd, GWL_STYLE);
        SetWindowLongPtr(hwnd, GWL_STYLE, v ? (st | WS_TABSTOP) : (st & ~static_cast<LONG_PTR>(WS_TABSTOP)));
      }
      if (d->check != v) {
        d->check = v;
        Redraw(hwnd);
        kx::ui::Announce(hwnd, kx::ui::Access::State);
      }
      return 0;
    }
    case BM_GETSTATE:
      return d->check | (d->pushed ? BST_PUSHED : 0) | (d->focus ? BST_FOCUS : 0);
    case BM_SETSTATE:
      SetPushed(hwnd, d, wp != 0);
      return 0;
    case BM_SETSTYLE: {
      LONG_PTR st = GetWindowLongPtr(hwnd, GWL_STYLE);
      st = (st & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | (wp & BS_TYPEMASK);
      SetWindowLongPtr(hwnd, GWL_STYLE, st);
      if (lp) Redraw(hwnd);
      return 0;
    }
    case BM_CLICK:
      if (!IsWindowEnabled(hwnd)) return 0;
      SendMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessage(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case BM_GETIMAGE:
      return reinterpret_cast<LRESULT>(d->image);
    case BM_SETIMAGE: {
      HANDLE old = d->image;
      d->image = reinterpret_cast<HANDLE>(lp);
      d->imageType = static_cast<UINT>(wp);
      Redraw(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_LBUTTONDBLCLK: {
      UINT t = Type(hwnd);
      DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
      if ((style & BS_NOTIFY) || IsRadio(t) || t == BS_OWNERDRAW) {
        kx::NotifyParent(hwnd, BN_DOUBLECLICKED);
        return 0;
      }
      [[fallthrough]];
    }
    case WM_LBUTTONDOWN:
      if (Type(hwnd) == BS_GROUPBOX) return 0;
      SetFocus(hwnd);
      SetCapture(hwnd);
      d->tracking = true;
      SetPushed(hwnd, d, true);
      return 0;
    case WM_MOUSEMOVE:
      if (d->tracking && GetCapture() == hwnd) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        SetPushed(hwnd, d, PtInRect(&rc, p));
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!d->tracking) return 0;
      RECT rc;
      GetClientRect(hwnd, &rc);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      bool inside = PtInRect(&rc, p) && d->pushed;
      d->tracking = false;
      if (GetCapture() == hwnd) ReleaseCapture();
      SetPushed(hwnd, d, false);
      if (inside) Click(hwnd);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (d->tracking) {
        d->tracking = false;
        SetPushed(hwnd, d, false);
      }
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_SPACE && !d->tracking) SetPushed(hwnd, d, true);
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE && d->pushed && !d->tracking) {
        SetPushed(hwnd, d, false);
        Click(hwnd);
      }
      return 0;
    case WM_CHAR: {
      UINT t = Type(hwnd);
      if (IsCheck(t)) {
        if (wp == '+' || wp == '=') { if (d->check != BST_CHECKED) Click(hwnd); }
        else if (wp == '-') { if (d->check != BST_UNCHECKED) Click(hwnd); }
      }
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      d->focus = msg == WM_SETFOCUS;
      if (!d->focus) {
        if (d->pushed && !d->tracking) SetPushed(hwnd, d, false);
        if (d->tracking && GetCapture() == hwnd) ReleaseCapture();
      }
      if (Type(hwnd) == BS_OWNERDRAW) {
        HDC hdc = GetDC(hwnd);
        RECT rc;
        GetClientRect(hwnd, &rc);
        DrawItem(hwnd, hdc, rc, d, ODA_FOCUS);
        ReleaseDC(hwnd, hdc);
      } else {
        Redraw(hwnd);
      }
      if (GetWindowLongPtr(hwnd, GWL_STYLE) & BS_NOTIFY) kx::NotifyParent(hwnd, d->focus ? BN_SETFOCUS : BN_KILLFOCUS);
      return 0;
    case WM_NCHITTEST:
      if (Type(hwnd) == BS_GROUPBOX) return HTTRANSPARENT;
      return DefWindowProc(hwnd, msg, wp, lp);
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterButtonClass() { kx::RegisterControlClass("Button", ButtonProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_PARENTDC, IDC_ARROW); }

}  // namespace kx::ui
