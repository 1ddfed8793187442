// The tab control ("SysTabControl32"): one row of tabs above a display area. A click or the arrow keys change
// the selection with TCN_SELCHANGING (the parent may refuse) and TCN_SELCHANGE; TCM_SETCURSEL changes it quietly.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/access.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/control.h"

namespace {

struct TabItem {
  std::string text;
  int image = -1;
  LPARAM param = 0;
  DWORD state = 0;
};

struct TabData {
  std::vector<TabItem> items;
  int cur = -1;
  int focus = -1;
  HIMAGELIST images = nullptr;
  HFONT font = nullptr;
  HWND tooltips = nullptr;
  int padX = 6, padY = 3;
  int fixedW = 0, fixedH = 0;
  int minWidth = -1;
  DWORD exStyle = 0;
  bool hasFocus = false;
};

TabData* Data(HWND hwnd) { return kx::ControlData<TabData>(hwnd); }

int RowHeight(HWND hwnd, TabData* d) {
  if (d->fixedH > 0) return d->fixedH;
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(hdc, kx::ControlFont(d->font));
  TEXTMETRICA tm{};
  GetTextMetrics(hdc, &tm);
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  int h = tm.tmHeight + 2 * d->padY + 2;
  int icx = 0, icy = 0;
  if (d->images && ImageList_GetIconSize(d->images, &icx, &icy)) h = std::max(h, icy + 2 * d->padY + 2);
  return h;
}

// Rectangles of the tabs in the one row, the selected one not yet enlarged.
std::vector<RECT> Layout(HWND hwnd, TabData* d) {
  std::vector<RECT> out;
  int h = RowHeight(hwnd, d);
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(hdc, kx::ControlFont(d->font));
  int icx = 0, icy = 0;
  bool imgs = d->images && ImageList_GetIconSize(d->images, &icx, &icy);
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  int x = 2;
  for (const TabItem& it : d->items) {
    int w;
    if ((style & TCS_FIXEDWIDTH) && d->fixedW > 0) {
      w = d->fixedW;
    } else {
      SIZE s{0, 0};
      GetTextExtentPoint32(hdc, it.text.c_str(), static_cast<int>(it.text.size()), &s);
      w = s.cx + 2 * d->padX;
      if (imgs && it.image >= 0) w += icx + 3;
      int minW = d->minWidth >= 0 ? d->minWidth : 42;
      w = std::max(w, minW);
    }
    out.push_back(RECT{x, 2, x + w, 2 + h});
    x += w;
  }
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  return out;
}

void DisplayRect(HWND hwnd, TabData* d, RECT* rc, bool larger) {
  int h = RowHeight(hwnd, d) + 2;
  if (larger) {
    rc->left -= 4;
    rc->right += 4;
    rc->top -= h + 2;
    rc->bottom += 4;
  } else {
    rc->left += 4;
    rc->right -= 4;
    rc->top += h + 2;
    rc->bottom -= 4;
  }
}

int HitTest(HWND hwnd, TabData* d, POINT pt, UINT* flags) {
  std::vector<RECT> r = Layout(hwnd, d);
  for (size_t i = 0; i < r.size(); ++i) {
    RECT t = r[i];
    if (static_cast<int>(i) == d->cur) InflateRect(&t, 2, 0), t.top -= 2;
    if (PtInRect(&t, pt)) {
      if (flags) *flags = TCHT_ONITEMLABEL;
      return static_cast<int>(i);
    }
  }
  if (flags) *flags = TCHT_NOWHERE;
  return -1;
}

LRESULT Notify(HWND hwnd, UINT code) {
  NMHDR nm{};
  return kx::NotifyParentNm(hwnd, &nm, code);
}

// A selection change the user asked for: the parent may refuse it.
void UserSelect(HWND hwnd, TabData* d, int index) {
  if (index < 0 || index >= static_cast<int>(d->items.size()) || index == d->cur) return;
  if (Notify(hwnd, TCN_SELCHANGING)) return;
  if (!IsWindow(hwnd)) return;
  d->cur = index;
  d->focus = index;
  InvalidateRect(hwnd, nullptr, TRUE);
  Notify(hwnd, TCN_SELCHANGE);
}

void Paint(HWND hwnd, HDC hdc, const RECT& client, TabData* d) {
  HBRUSH bg = reinterpret_cast<HBRUSH>(
      SendMessage(GetParent(hwnd), WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd)));
  if (!bg) bg = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(hdc, &client, bg);
  std::vector<RECT> tabs = Layout(hwnd, d);
  int rowBottom = 2 + RowHeight(hwnd, d);
  RECT panel{client.left, rowBottom, client.right, client.bottom};
  DrawEdge(hdc, &panel, EDGE_RAISED, BF_RECT | BF_SOFT);
  HGDIOBJ oldFont = SelectObject(hdc, kx::ControlFont(d->font));
  SetBkMode(hdc, TRANSPARENT);
  int icx = 0, icy = 0;
  bool imgs = d->images && ImageList_GetIconSize(d->images, &icx, &icy);
  HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HPEN dark = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW));
  HGDIOBJ oldPen = SelectObject(hdc, light);
  // Unselected tabs first, then the selected one over the panel's top edge.
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < tabs.size(); ++i) {
      bool sel = static_cast<int>(i) == d->cur;
      if (sel != (pass == 1)) continue;
      RECT t = tabs[i];
      if (sel) {
        t.left -= 2;
        t.right += 2;
        t.top -= 2;
        t.bottom += 1;
      }
      RECT fill{t.left + 1, t.top + 1, t.right - 1, t.bottom};
      FillRect(hdc, &fill, bg);
      SelectObject(hdc, light);
      MoveToEx(hdc, t.left, t.bottom - 1, nullptr);
      LineTo(hdc, t.left, t.top + 2);
      LineTo(hdc, t.left + 2, t.top);
      LineTo(hdc, t.right - 2, t.top);
      SelectObject(hdc, shadow);
      MoveToEx(hdc, t.right - 2, t.top + 1, nullptr);
      LineTo(hdc, t.right - 2, t.bottom);
      SelectObject(hdc, dark);
      MoveToEx(hdc, t.right - 1, t.top + 2, nullptr);
      LineTo(hdc, t.right - 1, t.bottom);
      const TabItem& it = d->items[i];
      RECT tr{t.left + d->padX, t.top + 1, t.right - d->padX, t.bottom};
      if (sel) OffsetRect(&tr, 0, -1);
      if (imgs && it.image >= 0) {
        ImageList_Draw(d->images, it.image, hdc, tr.left, tr.top + (tr.bottom - tr.top - icy) / 2, ILD_TRANSPARENT);
        tr.left += icx + 3;
      }
      bool enabled = IsWindowEnabled(hwnd);
      SetTextColor(hdc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
      if (it.state & TCIS_HIGHLIGHTED) SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHT));
      DrawText(hdc, it.text.c_str(), static_cast<int>(it.text.size()), &tr,
               DT_SINGLELINE | DT_VCENTER | ((imgs && it.image >= 0) ? DT_LEFT : DT_CENTER));
      if (sel && d->hasFocus) {
        RECT fr = t;
        InflateRect(&fr, -3, -3);
        DrawFocusRect(hdc, &fr);
      }
    }
  }
  SelectObject(hdc, oldPen);
  DeleteObject(light);
  DeleteObject(shadow);
  DeleteObject(dark);
  SelectObject(hdc, oldFont);
}

void GetItem(const TabItem& it, TCITEMA* out) {
  if (out->mask & TCIF_TEXT) {
    if (out->pszText && out->cchTextMax > 0) {
      size_t n = std::min(it.text.size(), static_cast<size_t>(out->cchTextMax - 1));
      std::copy(it.text.begin(), it.text.begin() + static_cast<std::ptrdiff_t>(n), out->pszText);
      out->pszText[n] = 0;
    }
  }
  if (out->mask & TCIF_IMAGE) out->iImage = it.image;
  if (out->mask & TCIF_PARAM) out->lParam = it.param;
  if (out->mask & TCIF_STATE) out->dwState = it.state & out->dwStateMask;
}

void SetItem(TabItem& it, const TCITEMA* in) {
  if ((in->mask & TCIF_TEXT) && in->pszText) it.text = in->pszText;
  if (in->mask & TCIF_IMAGE) it.image = in->iImage;
  if (in->mask & TCIF_PARAM) it.param = in->lParam;
  if (in->mask & TCIF_STATE) it.state = (it.state & ~in->dwStateMask) | (in->dwState & in->dwStateMask);
}

LRESULT CALLBACK_TabProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TabData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      kx::SetControlData(hwnd, new TabData);
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_NCDESTROY:
      delete d;
      kx::SetControlData<TabData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
    default:
      break;
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  int count = static_cast<int>(d->items.size());
  auto inRange = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, hdc, rc, d); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_NCHITTEST: {
      // Only the tabs take the mouse; the display area lets it through to the page shown there.
      POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ScreenToClient(hwnd, &pt);
      return pt.y < 2 + RowHeight(hwnd, d) + 2 ? HTCLIENT : HTTRANSPARENT;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      d->hasFocus = msg == WM_SETFOCUS;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN: {
      POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      int i = HitTest(hwnd, d, pt, nullptr);
      DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
      if (i >= 0 && !(style & TCS_FOCUSNEVER) && GetFocus() != hwnd) SetFocus(hwnd);
      if (i >= 0) UserSelect(hwnd, d, i);
      return 0;
    }
    case WM_KEYDOWN: {
      NMTCKEYDOWN kd{};
      kd.wVKey = static_cast<WORD>(wp);
      kd.flags = static_cast<UINT>(lp);
      kx::NotifyParentNm(hwnd, &kd.hdr, TCN_KEYDOWN);
      if (!IsWindow(hwnd)) return 0;
      if (wp == VK_LEFT && d->cur > 0) UserSelect(hwnd, d, d->cur - 1);
      else if (wp == VK_RIGHT && d->cur + 1 < count) UserSelect(hwnd, d, d->cur + 1);
      else if (wp == VK_HOME) UserSelect(hwnd, d, 0);
      else if (wp == VK_END) UserSelect(hwnd, d, count - 1);
      return 0;
    }
    case TCM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(d->images);
    case TCM_SETIMAGELIST: {
      HIMAGELIST old = d->images;
      d->images = reinterpret_cast<HIMAGELIST>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case TCM_GETITEMCOUNT:
      return count;
    case TCM_GETITEM: {
      auto* it = reinterpret_cast<TCITEMA*>(lp);
      if (!it || !inRange(wp)) return FALSE;
      GetItem(d->items[wp], it);
      return TRUE;
    }
    case TCM_SETITEM: {
      auto* it = reinterpret_cast<const TCITEMA*>(lp);
      if (!it || !inRange(wp)) return FALSE;
      SetItem(d->items[wp], it);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TCM_INSERTITEM: {
      auto* it = reinterpret_cast<const TCITEMA*>(lp);
      if (!it || static_cast<int>(wp) < 0) return -1;
      int at = std::min(static_cast<int>(wp), count);
      TabItem item;
      SetItem(item, it);
      d->items.insert(d->items.begin() + at, item);
      if (d->cur >= at) ++d->cur;
      if (d->cur < 0) d->cur = 0;
      if (d->focus >= at) ++d->focus;
      InvalidateRect(hwnd, nullptr, TRUE);
      return at;
    }
    case TCM_DELETEITEM: {
      if (!inRange(wp)) return FALSE;
      int i = static_cast<int>(wp);
      d->items.erase(d->items.begin() + i);
      if (d->cur == i) d->cur = -1;
      else if (d->cur > i) --d->cur;
      if (d->focus == i) d->focus = -1;
      else if (d->focus > i) --d->focus;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TCM_DELETEALLITEMS:
      d->items.clear();
      d->cur = d->focus = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_GETITEMRECT: {
      auto* rc = reinterpret_cast<RECT*>(lp);
      if (!rc || !inRange(wp)) return FALSE;
      *rc = Layout(hwnd, d)[wp];
      return TRUE;
    }
    case TCM_GETCURSEL:
      return d->cur;
    case TCM_SETCURSEL: {
      if (!inRange(wp)) return -1;
      int old = d->cur;
      d->cur = static_cast<int>(wp);
      d->focus = d->cur;
      InvalidateRect(hwnd, nullptr, TRUE);
      if (old != d->cur) kx::ui::Announce(hwnd, kx::ui::Access::Selection);
      return old;
    }
    case TCM_GETCURFOCUS:
      return d->focus;
    case TCM_SETCURFOCUS:
      if (inRange(wp)) UserSelect(hwnd, d, static_cast<int>(wp));
      return 0;
    case TCM_HITTEST: {
      auto* ht = reinterpret_cast<TCHITTESTINFO*>(lp);
      return ht ? HitTest(hwnd, d, ht->pt, &ht->flags) : -1;
    }
    case TCM_SETITEMEXTRA:
      return TRUE;
    case TCM_ADJUSTRECT: {
      auto* rc = reinterpret_cast<RECT*>(lp);
      if (rc) DisplayRect(hwnd, d, rc, wp != 0);
      return 0;
    }
    case TCM_SETITEMSIZE: {
      int oldW = d->fixedW, oldH = d->fixedH;
      d->fixedW = LOWORD(lp);
      d->fixedH = HIWORD(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return MAKELONG(oldW, oldH);
    }
    case TCM_SETMINTABWIDTH: {
      int old = d->minWidth;
      d->minWidth = static_cast<int>(lp);
      return old;
    }
    case TCM_REMOVEIMAGE:
      for (TabItem& it : d->items) {
        if (it.image == static_cast<int>(wp)) it.image = -1;
        else if (it.image > static_cast<int>(wp)) --it.image;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TCM_SETPADDING:
      d->padX = LOWORD(lp);
      d->padY = HIWORD(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TCM_GETROWCOUNT:
      return count ? 1 : 0;
    case TCM_GETTOOLTIPS:
      return reinterpret_cast<LRESULT>(d->tooltips);
    case TCM_SETTOOLTIPS:
      d->tooltips = reinterpret_cast<HWND>(wp);
      return 0;
    case TCM_DESELECTALL:
      for (TabItem& it : d->items) it.state &= ~TCIS_BUTTONPRESSED;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TCM_HIGHLIGHTITEM:
      if (!inRange(wp)) return FALSE;
      if (LOWORD(lp)) d->items[wp].state |= TCIS_HIGHLIGHTED;
      else d->items[wp].state &= ~TCIS_HIGHLIGHTED;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_SETEXTENDEDSTYLE: {
      DWORD old = d->exStyle;
      DWORD mask = wp ? static_cast<DWORD>(wp) : 0xFFFFFFFFu;
      d->exStyle = (d->exStyle & ~mask) | (static_cast<DWORD>(lp) & mask);
      return old;
    }
    case TCM_GETEXTENDEDSTYLE:
      return d->exStyle;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterTabControl() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
  wc.lpfnWndProc = CALLBACK_TabProc;
  wc.cbWndExtra = sizeof(void*);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = WC_TABCONTROLA;
  kx::RegisterSystemClass(wc);
}

const bool kRegistered = kx::AddSystemClass(&RegisterTabControl);

}  // namespace
