// The static control: text, icon, bitmap, rectangles, frames, etched lines, owner-drawn.
#include <cstdlib>
#include <string>

#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

struct StaticData {
  HFONT font = nullptr;
  HICON icon = nullptr;
  HBITMAP bitmap = nullptr;
};

UINT Type(DWORD style) { return style & SS_TYPEMASK; }

SIZE ImageSize(HANDLE image, bool icon) {
  SIZE s{0, 0};
  if (!image) return s;
  if (icon) {
    ICONINFO ii{};
    if (!GetIconInfo(static_cast<HICON>(image), &ii)) return s;
    BITMAP bm{};
    GetObject(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof bm, &bm);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    return SIZE{bm.bmWidth, bm.bmHeight};
  }
  // Bitmaps grow with the screen's scale (icons are loaded at the scaled size).
  BITMAP bm{};
  GetObject(image, sizeof bm, &bm);
  return SIZE{kx::gdi::Scaled(bm.bmWidth), kx::gdi::Scaled(bm.bmHeight)};
}

// Icon and bitmap statics take the control's size from the picture unless told otherwise.
void FitToImage(HWND hwnd, SIZE s) {
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  if ((style & (SS_CENTERIMAGE | SS_REALSIZECONTROL)) || s.cx <= 0) return;
  SetWindowPos(hwnd, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Paint(HWND hwnd, HDC hdc, const RECT& rc, StaticData* d) {
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  UINT t = Type(style);
  if (t == SS_OWNERDRAW) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_STATIC;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED;
    dis.hwndItem = hwnd;
    dis.hDC = hdc;
    dis.rcItem = rc;
    SendMessage(GetParent(hwnd), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    return;
  }
  switch (t) {
    case SS_BLACKRECT: FillRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME)); return;
    case SS_GRAYRECT: FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNSHADOW)); return;
    case SS_WHITERECT: FillRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOW)); return;
    case SS_BLACKFRAME: FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME)); return;
    case SS_GRAYFRAME: FrameRect(hdc, &rc, GetSysColorBrush(COLOR_BTNSHADOW)); return;
    case SS_WHITEFRAME: FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOW)); return;
    case SS_ETCHEDHORZ: {
      RECT r = rc;
      DrawEdge(hdc, &r, EDGE_ETCHED, BF_TOP);
      return;
    }
    case SS_ETCHEDVERT: {
      RECT r = rc;
      DrawEdge(hdc, &r, EDGE_ETCHED, BF_LEFT);
      return;
    }
    case SS_ETCHEDFRAME: {
      RECT r = rc;
      DrawEdge(hdc, &r, EDGE_ETCHED, BF_RECT);
      return;
    }
    default:
      break;
  }
  HBRUSH bg = kx::ControlColors(hwnd, hdc, WM_CTLCOLORSTATIC);
  RECT r = rc;
  if (bg) FillRect(hdc, &r, bg);
  if (style & SS_SUNKEN) DrawEdge(hdc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  if (t == SS_ICON || t == SS_BITMAP) {
    bool icon = t == SS_ICON;
    HANDLE image = icon ? static_cast<HANDLE>(d->icon) : static_cast<HANDLE>(d->bitmap);
    if (!image) return;
    SIZE s = ImageSize(image, icon);
    int x = r.left, y = r.top;
    if (style & SS_CENTERIMAGE) {
      x = r.left + (r.right - r.left - s.cx) / 2;
      y = r.top + (r.bottom - r.top - s.cy) / 2;
    }
    DrawState(hdc, nullptr, nullptr, reinterpret_cast<LPARAM>(image), 0, x, y, s.cx, s.cy,
              (icon ? DST_ICON : DST_BITMAP) | (IsWindowEnabled(hwnd) ? 0 : DSS_DISABLED));
    return;
  }
  char buf[4096];
  InternalGetWindowText(hwnd, buf, sizeof buf);
  UINT fmt = DT_EXPANDTABS;
  switch (t) {
    case SS_CENTER: fmt |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: fmt |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_SIMPLE: fmt |= DT_SINGLELINE | DT_NOCLIP; break;
    case SS_LEFTNOWORDWRAP: fmt |= DT_LEFT; break;
    default: fmt |= DT_LEFT | DT_WORDBREAK; break;
  }
  if (style & SS_NOPREFIX) fmt |= DT_NOPREFIX;
  if (style & SS_CENTERIMAGE) fmt = (fmt & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
  switch (style & SS_ELLIPSISMASK) {
    case SS_ENDELLIPSIS: fmt |= DT_END_ELLIPSIS; break;
    case SS_PATHELLIPSIS: fmt |= DT_PATH_ELLIPSIS; break;
    case SS_WORDELLIPSIS: fmt |= DT_WORD_ELLIPSIS; break;
  }
  // A label that shortens its text with an ellipsis keeps each line whole instead of wrapping it.
  if (style & SS_ELLIPSISMASK) fmt &= ~DT_WORDBREAK;
  if (style & SS_EDITCONTROL) fmt |= DT_EDITCONTROL;
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  SetBkMode(hdc, TRANSPARENT);
  if (!IsWindowEnabled(hwnd)) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  DrawText(hdc, buf, -1, &r, fmt);
  SelectObject(hdc, of);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  StaticData* d = kx::ControlData<StaticData>(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      kx::SetControlData(hwnd, new StaticData());
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      UINT t = Type(static_cast<DWORD>(cs->style));
      if ((t == SS_ICON || t == SS_BITMAP) && cs->lpszName) {
        // The window name names the picture: "#123", an integer resource, or a resource name.
        LPCSTR res = cs->lpszName;
        if (!IS_INTRESOURCE(res) && res[0] == '#') res = MAKEINTRESOURCE(std::atoi(res + 1));
        else if (!IS_INTRESOURCE(res) && !res[0]) res = nullptr;
        StaticData* sd = kx::ControlData<StaticData>(hwnd);
        if (res) {
          if (t == SS_ICON) sd->icon = LoadIcon(cs->hInstance, res);
          else sd->bitmap = LoadBitmap(cs->hInstance, res);
        }
        CREATESTRUCTA copy = *cs;
        copy.lpszName = "";
        return DefWindowProc(hwnd, msg, wp, reinterpret_cast<LPARAM>(&copy));
      }
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case WM_CREATE: {
      DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
      if (d && Type(style) == SS_ICON && d->icon) FitToImage(hwnd, ImageSize(d->icon, true));
      if (d && Type(style) == SS_BITMAP && d->bitmap) FitToImage(hwnd, ImageSize(d->bitmap, false));
      return 0;
    }
    case WM_NCDESTROY:
      delete d;
      kx::SetControlData<StaticData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
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
      DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
      if (Type(style) == SS_ICON || Type(style) == SS_BITMAP) return TRUE;
      LRESULT r = DefWindowProc(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_ENABLE:
      if (GetWindowLongPtr(hwnd, GWL_STYLE) & SS_NOTIFY) kx::NotifyParent(hwnd, wp ? STN_ENABLE : STN_DISABLE);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_NCHITTEST:
      if (!(GetWindowLongPtr(hwnd, GWL_STYLE) & SS_NOTIFY)) return HTTRANSPARENT;
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      if (GetWindowLongPtr(hwnd, GWL_STYLE) & SS_NOTIFY) kx::NotifyParent(hwnd, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDBLCLK:
      if (GetWindowLongPtr(hwnd, GWL_STYLE) & SS_NOTIFY) kx::NotifyParent(hwnd, STN_DBLCLK);
      return 0;
    case STM_SETICON: {
      HICON old = d->icon;
      d->icon = reinterpret_cast<HICON>(wp);
      if (Type(static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE))) == SS_ICON) FitToImage(hwnd, ImageSize(d->icon, true));
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
      return reinterpret_cast<LRESULT>(d->icon);
    case STM_SETIMAGE: {
      HANDLE old;
      if (wp == IMAGE_ICON || wp == IMAGE_CURSOR) {
        old = d->icon;
        d->icon = reinterpret_cast<HICON>(lp);
      } else if (wp == IMAGE_BITMAP) {
        old = d->bitmap;
        d->bitmap = reinterpret_cast<HBITMAP>(lp);
      } else {
        return 0;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
      if (wp == IMAGE_ICON || wp == IMAGE_CURSOR) return reinterpret_cast<LRESULT>(d->icon);
      if (wp == IMAGE_BITMAP) return reinterpret_cast<LRESULT>(d->bitmap);
      return 0;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterStaticClass() { kx::RegisterControlClass("Static", StaticProc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW); }

}  // namespace kx::ui
