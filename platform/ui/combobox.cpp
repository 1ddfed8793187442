// The combo box ("ComboBox"): simple (edit over a list), drop-down (edit and a drop-down list) and drop-down list
// (a face showing the selection). The items live in the list window (class "ComboLBox", id 1000); the edit is
// an "Edit" child (id 1001). CBN_* notifications go to the parent; changes made by messages are quiet, as with
// the platform's control.
#include <algorithm>
#include <string>

#include "platform/ui/display.h"
#include "platform/ui/ctlcommon.h"

namespace {

constexpr int kListId = 1000;
constexpr int kEditId = 1001;

struct CbData {
  HWND list = nullptr;
  HWND edit = nullptr;
  WNDPROC editProc = nullptr;
  HFONT font = nullptr;
  int droppedHeight = 100;
  int droppedWidth = 0;
  int closedHeight = 0;
  bool dropped = false;
  bool focus = false;
  bool quietEdit = false;  // the combo box itself is changing the edit's text
  bool extendedUi = false;
  int selAtDrop = -1;
  bool inSize = false;
};

CbData* Data(HWND hwnd) { return kx::ControlData<CbData>(hwnd); }
DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }
UINT Kind(HWND hwnd) { return Style(hwnd) & 3; }
bool IsDropList(HWND hwnd) { return Kind(hwnd) == CBS_DROPDOWNLIST; }
bool IsSimple(HWND hwnd) { return Kind(hwnd) == CBS_SIMPLE; }

void Notify(HWND hwnd, UINT code) { kx::NotifyParent(hwnd, code); }

int ListCount(CbData* d) { return static_cast<int>(SendMessage(d->list, LB_GETCOUNT, 0, 0)); }
int ListSel(CbData* d) { return static_cast<int>(SendMessage(d->list, LB_GETCURSEL, 0, 0)); }

std::string ItemText(CbData* d, int i) {
  LRESULT n = SendMessage(d->list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
  if (n < 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  SendMessage(d->list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
  s.resize(static_cast<size_t>(n));
  return s;
}

int ItemHeight(HWND hwnd, CbData* d) { return kx::ctl::FontHeight(hwnd, d->font) + 2; }

int ButtonWidth() { return GetSystemMetrics(SM_CXVSCROLL); }

RECT ButtonRect(HWND hwnd) {
  RECT c;
  GetClientRect(hwnd, &c);
  return RECT{c.right - ButtonWidth() - 2, 2, c.right - 2, c.bottom - 2};
}

// The edit shows the selected item; its text is selected, as after a choice.
void ShowSelectionInEdit(HWND hwnd, CbData* d) {
  if (!d->edit) {
    InvalidateRect(hwnd, nullptr, TRUE);
    return;
  }
  int sel = ListSel(d);
  d->quietEdit = true;
  SetWindowText(d->edit, sel >= 0 ? ItemText(d, sel).c_str() : "");
  SendMessage(d->edit, EM_SETSEL, 0, -1);
  d->quietEdit = false;
}

void Layout(HWND hwnd, CbData* d) {
  RECT c;
  GetClientRect(hwnd, &c);
  int h = d->closedHeight;
  if (d->edit) {
    int right = IsSimple(hwnd) ? c.right : c.right - ButtonWidth() - 2;
    MoveWindow(d->edit, 3, 3, std::max(0, right - 4), std::max(0, h - 6), TRUE);
  }
  if (IsSimple(hwnd) && d->list) MoveWindow(d->list, 0, h, c.right, std::max(0, c.bottom - h), TRUE);
}

void CloseUp(HWND hwnd, CbData* d, bool ok);

void DropDown(HWND hwnd, CbData* d) {
  if (d->dropped || IsSimple(hwnd)) return;
  Notify(hwnd, CBN_DROPDOWN);
  if (!IsWindow(hwnd)) return;
  d->dropped = true;
  d->selAtDrop = ListSel(d);
  RECT wr;
  GetWindowRect(hwnd, &wr);
  int count = ListCount(d);
  int rows = std::clamp(count, 1, 30);
  int ih = static_cast<int>(SendMessage(d->list, LB_GETITEMHEIGHT, 0, 0));
  int want = rows * ih + 2;
  int h = std::max(ih + 2, std::min(want, d->droppedHeight - d->closedHeight));
  if (count <= 0) h = ih + 2;
  int w = std::max(static_cast<int>(wr.right - wr.left), d->droppedWidth);
  int y = wr.bottom;
  if (y + h > kx::ui::ScreenHeight()) y = wr.top - h;
  DWORD ls = static_cast<DWORD>(GetWindowLongPtr(d->list, GWL_STYLE));
  bool scroll = count * ih + 2 > h;
  SetWindowLongPtr(d->list, GWL_STYLE, scroll ? (ls | WS_VSCROLL) : (ls & ~static_cast<DWORD>(WS_VSCROLL)));
  SetWindowPos(d->list, HWND_TOPMOST, wr.left, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  int sel = ListSel(d);
  if (sel >= 0) SendMessage(d->list, LB_SETTOPINDEX, static_cast<WPARAM>(sel), 0);
  SetCapture(d->list);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void CloseUp(HWND hwnd, CbData* d, bool ok) {
  if (!d->dropped) return;
  d->dropped = false;
  if (GetCapture() == d->list) ReleaseCapture();
  ShowWindow(d->list, SW_HIDE);
  InvalidateRect(hwnd, nullptr, TRUE);
  int sel = ListSel(d);
  if (!ok) {
    // A cancelled drop-down puts the selection back.
    SendMessage(d->list, LB_SETCURSEL, static_cast<WPARAM>(d->selAtDrop), 0);
  } else if (sel != d->selAtDrop) {
    ShowSelectionInEdit(hwnd, d);
    Notify(hwnd, CBN_SELCHANGE);
    if (!IsWindow(hwnd)) return;
  }
  Notify(hwnd, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
  if (!IsWindow(hwnd)) return;
  Notify(hwnd, CBN_CLOSEUP);
}

// A selection made with the keyboard: shown at once and announced.
void KeySelect(HWND hwnd, CbData* d, int i) {
  int n = ListCount(d);
  if (n <= 0) return;
  i = std::clamp(i, 0, n - 1);
  if (i == ListSel(d)) return;
  SendMessage(d->list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
  ShowSelectionInEdit(hwnd, d);
  if (!d->dropped) {
    Notify(hwnd, CBN_SELCHANGE);
    if (IsWindow(hwnd) && !d->dropped) Notify(hwnd, CBN_SELENDOK);
  } else {
    // Announced now; closing the list does not announce it again.
    d->selAtDrop = i;
    Notify(hwnd, CBN_SELCHANGE);
  }
}

// Keys the combo box takes from its edit or its face; true when taken.
bool HandleKey(HWND hwnd, CbData* d, WPARAM vk) {
  bool alt = GetKeyState(VK_MENU) < 0;
  int sel = ListSel(d);
  switch (vk) {
    case VK_F4:
      if (d->dropped) CloseUp(hwnd, d, true);
      else DropDown(hwnd, d);
      return true;
    case VK_DOWN:
    case VK_UP:
      if (alt) {
        if (d->dropped) CloseUp(hwnd, d, true);
        else DropDown(hwnd, d);
        return true;
      }
      if (d->extendedUi && !d->dropped && vk == VK_DOWN) {
        DropDown(hwnd, d);
        return true;
      }
      KeySelect(hwnd, d, sel < 0 ? 0 : sel + (vk == VK_DOWN ? 1 : -1));
      return true;
    case VK_PRIOR:
    case VK_NEXT:
      KeySelect(hwnd, d, sel + (vk == VK_NEXT ? 8 : -8));
      return true;
    case VK_RETURN:
      if (d->dropped) {
        CloseUp(hwnd, d, true);
        return true;
      }
      return false;
    case VK_ESCAPE:
      if (d->dropped) {
        CloseUp(hwnd, d, false);
        return true;
      }
      return false;
    case VK_HOME:
    case VK_END:
      if (d->edit) return false;
      KeySelect(hwnd, d, vk == VK_HOME ? 0 : ListCount(d) - 1);
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK EditSubclass(HWND edit, UINT msg, WPARAM wp, LPARAM lp) {
  HWND combo = GetParent(edit);
  CbData* d = combo ? Data(combo) : nullptr;
  WNDPROC base = d ? d->editProc : nullptr;
  if (!base) return DefWindowProc(edit, msg, wp, lp);
  switch (msg) {
    case WM_KEYDOWN:
      if (HandleKey(combo, d, wp)) return 0;
      break;
    case WM_CHAR:
      if (d->dropped && (wp == '\r' || wp == 27)) return 0;
      break;
    case WM_GETDLGCODE: {
      LRESULT r = CallWindowProc(base, edit, msg, wp, lp);
      // While dropped, Enter and Escape end the drop-down instead of pressing the dialog's buttons.
      if (d->dropped) r |= DLGC_WANTALLKEYS;
      return r | DLGC_WANTARROWS;
    }
    case WM_SETFOCUS:
      if (!d->focus) {
        d->focus = true;
        Notify(combo, CBN_SETFOCUS);
      }
      break;
    case WM_KILLFOCUS: {
      LRESULT r = CallWindowProc(base, edit, msg, wp, lp);
      HWND to = reinterpret_cast<HWND>(wp);
      if (to != combo && d->focus) {
        if (d->dropped) CloseUp(combo, d, false);
        d->focus = false;
        if (IsWindow(combo)) Notify(combo, CBN_KILLFOCUS);
      }
      return r;
    }
    default:
      break;
  }
  return CallWindowProc(base, edit, msg, wp, lp);
}

void Paint(HWND hwnd, CbData* d, HDC hdc, const RECT& client) {
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  RECT face{0, 0, client.right, IsSimple(hwnd) ? d->closedHeight : client.bottom};
  HBRUSH bg = kx::ControlColors(hwnd, hdc, IsDropList(hwnd) ? WM_CTLCOLORLISTBOX : WM_CTLCOLOREDIT);
  FillRect(hdc, &face, IsWindowEnabled(hwnd) ? (bg ? bg : GetSysColorBrush(COLOR_WINDOW)) : GetSysColorBrush(COLOR_BTNFACE));
  RECT edge = face;
  DrawEdge(hdc, &edge, EDGE_SUNKEN, BF_RECT);
  if (!IsSimple(hwnd)) {
    RECT b = ButtonRect(hwnd);
    DrawFrameControl(hdc, &b, DFC_SCROLL,
                     DFCS_SCROLLCOMBOBOX | (d->dropped ? DFCS_PUSHED : 0) | (IsWindowEnabled(hwnd) ? 0 : DFCS_INACTIVE));
  }
  if (IsDropList(hwnd)) {
    RECT item{3, 3, ButtonRect(hwnd).left - 1, face.bottom - 3};
    int sel = ListSel(d);
    DWORD style = Style(hwnd);
    if (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) {
      DRAWITEMSTRUCT dis{};
      dis.CtlType = ODT_COMBOBOX;
      dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
      dis.itemID = static_cast<UINT>(sel);
      dis.itemAction = ODA_DRAWENTIRE;
      dis.itemState = ODS_COMBOBOXEDIT | (d->focus && !d->dropped ? ODS_SELECTED | ODS_FOCUS : 0) |
                      (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
      dis.hwndItem = hwnd;
      dis.hDC = hdc;
      dis.rcItem = item;
      dis.itemData = sel >= 0 ? static_cast<ULONG_PTR>(SendMessage(d->list, LB_GETITEMDATA, static_cast<WPARAM>(sel), 0)) : 0;
      int saved = SaveDC(hdc);
      SendMessage(GetParent(hwnd), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
      RestoreDC(hdc, saved);
    } else {
      bool hi = d->focus && !d->dropped;
      if (hi) {
        FillRect(hdc, &item, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
      } else if (!IsWindowEnabled(hwnd)) {
        SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
      }
      SetBkMode(hdc, TRANSPARENT);
      if (sel >= 0) {
        RECT t = item;
        t.left += 2;
        std::string s = ItemText(d, sel);
        DrawText(hdc, s.c_str(), -1, &t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
      }
      if (hi) DrawFocusRect(hdc, &item);
    }
  }
  SelectObject(hdc, of);
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CbData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      kx::SetControlData(hwnd, new CbData());
      // Scroll bars asked for belong to the list, not to the box.
      LONG_PTR st = GetWindowLongPtr(hwnd, GWL_STYLE);
      if (st & (WS_VSCROLL | WS_HSCROLL))
        SetWindowLongPtr(hwnd, GWL_STYLE, st & ~static_cast<LONG_PTR>(WS_VSCROLL | WS_HSCROLL));
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case WM_NCDESTROY:
      delete d;
      kx::SetControlData<CbData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      DWORD style = Style(hwnd);
      HINSTANCE inst = reinterpret_cast<HINSTANCE>(GetWindowLongPtr(hwnd, GWLP_HINSTANCE));
      d->closedHeight = ItemHeight(hwnd, d) + 6;
      d->droppedHeight = std::max(cs ? cs->cy : 0, d->closedHeight);
      DWORD ls = WS_BORDER | LBS_NOTIFY | LBS_HASSTRINGS | (style & CBS_SORT ? LBS_SORT : 0) |
                 (style & CBS_OWNERDRAWFIXED ? LBS_OWNERDRAWFIXED : 0) |
                 (style & CBS_OWNERDRAWVARIABLE ? LBS_OWNERDRAWVARIABLE : 0);
      if ((style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) && !(style & CBS_HASSTRINGS)) ls &= ~LBS_HASSTRINGS;
      if (IsSimple(hwnd)) {
        d->list = CreateWindowEx(0, "ComboLBox", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ls, 0, 0, 0, 0, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<intptr_t>(kListId)), inst, nullptr);
      } else {
        d->list = CreateWindowEx(WS_EX_TOOLWINDOW, "ComboLBox", "", WS_POPUP | ls, 0, 0, 0, 0, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<intptr_t>(kListId)), inst, hwnd);
        if (d->list) SetWindowLongPtr(d->list, GWLP_ID, kListId);
      }
      if (!d->list) return -1;
      if (!IsDropList(hwnd)) {
        DWORD es = WS_CHILD | WS_VISIBLE | ES_LEFT | (style & CBS_AUTOHSCROLL ? ES_AUTOHSCROLL : 0) |
                   (style & CBS_UPPERCASE ? ES_UPPERCASE : 0) | (style & CBS_LOWERCASE ? ES_LOWERCASE : 0);
        d->edit = CreateWindowEx(0, WC_EDITA, "", es, 0, 0, 0, 0, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<intptr_t>(kEditId)), inst, nullptr);
        if (!d->edit) return -1;
        d->editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtr(d->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditSubclass)));
      }
      if (!IsSimple(hwnd) && cs) {
        d->inSize = true;
        SetWindowPos(hwnd, nullptr, 0, 0, cs->cx, d->closedHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        d->inSize = false;
      }
      Layout(hwnd, d);
      return 0;
    }
    case WM_DESTROY:
      if (d->dropped && GetCapture() == d->list) ReleaseCapture();
      if (d->list && !IsSimple(hwnd)) DestroyWindow(d->list);
      d->list = nullptr;
      return 0;
    case WM_WINDOWPOSCHANGING: {
      // The height given to a drop-down combo box is its dropped height; the box itself keeps one line.
      auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
      if (pos && !(pos->flags & SWP_NOSIZE) && !IsSimple(hwnd) && !d->inSize && d->closedHeight > 0 &&
          pos->cy != d->closedHeight) {
        d->droppedHeight = std::max(pos->cy, d->closedHeight);
        pos->cy = d->closedHeight;
      }
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case WM_SIZE:
      Layout(hwnd, d);
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (d->edit) SendMessage(d->edit, WM_SETFONT, wp, lp);
      if (d->list) SendMessage(d->list, WM_SETFONT, wp, lp);
      d->closedHeight = ItemHeight(hwnd, d) + 6;
      if (!IsSimple(hwnd)) {
        RECT wr;
        GetWindowRect(hwnd, &wr);
        d->inSize = true;
        SetWindowPos(hwnd, nullptr, 0, 0, wr.right - wr.left, d->closedHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        d->inSize = false;
      }
      Layout(hwnd, d);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_ENABLE:
      if (d->edit) EnableWindow(d->edit, wp != 0);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE: {
      LRESULT r = DLGC_WANTARROWS | DLGC_WANTCHARS;
      if (d->dropped) r |= DLGC_WANTALLKEYS;
      return r;
    }
    case WM_SETFOCUS:
      if (d->edit) {
        SetFocus(d->edit);
        SendMessage(d->edit, EM_SETSEL, 0, -1);
        return 0;
      }
      if (!d->focus) {
        d->focus = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        Notify(hwnd, CBN_SETFOCUS);
      }
      return 0;
    case WM_KILLFOCUS:
      if (!d->edit && d->focus) {
        if (d->dropped) CloseUp(hwnd, d, false);
        d->focus = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        if (IsWindow(hwnd)) Notify(hwnd, CBN_KILLFOCUS);
      }
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      RECT b = ButtonRect(hwnd);
      bool onButton = PtInRect(&b, p) != FALSE;
      if (IsDropList(hwnd) || onButton) {
        SetFocus(d->edit ? d->edit : hwnd);
        if (!IsWindow(hwnd)) return 0;
        if (d->dropped) CloseUp(hwnd, d, true);
        else DropDown(hwnd, d);
      }
      return 0;
    }
    case WM_KEYDOWN:
      HandleKey(hwnd, d, wp);
      return 0;
    case WM_CHAR:
      if (IsDropList(hwnd) && wp >= 0x20 && wp != 0x7F) {
        char prefix[2] = {static_cast<char>(wp), 0};
        int i = static_cast<int>(SendMessage(d->list, LB_FINDSTRING, static_cast<WPARAM>(ListSel(d)),
                                             reinterpret_cast<LPARAM>(prefix)));
        if (i >= 0) KeySelect(hwnd, d, i);
      }
      return 0;
    case WM_MOUSEWHEEL:
      if (!d->dropped) KeySelect(hwnd, d, ListSel(d) + (static_cast<short>(HIWORD(wp)) > 0 ? -1 : 1));
      return 0;
    case WM_COMMAND: {
      HWND from = reinterpret_cast<HWND>(lp);
      UINT code = HIWORD(wp);
      if (from == d->edit && d->edit) {
        if (d->quietEdit) return 0;
        if (code == EN_UPDATE) Notify(hwnd, CBN_EDITUPDATE);
        else if (code == EN_CHANGE) Notify(hwnd, CBN_EDITCHANGE);
        return 0;
      }
      if (from == d->list && d->list && IsSimple(hwnd)) {
        if (code == LBN_SELCHANGE) {
          ShowSelectionInEdit(hwnd, d);
          Notify(hwnd, CBN_SELCHANGE);
        } else if (code == LBN_DBLCLK) {
          Notify(hwnd, CBN_DBLCLK);
        }
      }
      return 0;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
      return SendMessage(GetParent(hwnd), msg, wp, lp);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
      return SendMessage(GetParent(hwnd), msg, wp, lp);
    case WM_SETTEXT: {
      LPCSTR t = reinterpret_cast<LPCSTR>(lp);
      if (d->edit) {
        d->quietEdit = true;
        SetWindowText(d->edit, t ? t : "");
        d->quietEdit = false;
        return TRUE;
      }
      int i = t && *t ? static_cast<int>(SendMessage(d->list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), lp)) : -1;
      SendMessage(d->list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      InvalidateRect(hwnd, nullptr, TRUE);
      return i >= 0 || !(t && *t) ? TRUE : CB_ERR;
    }
    case WM_GETTEXT: {
      if (d->edit) return SendMessage(d->edit, WM_GETTEXT, wp, lp);
      int sel = ListSel(d);
      return kx::ctl::CopyOut(sel >= 0 ? ItemText(d, sel) : std::string(), reinterpret_cast<char*>(lp),
                              static_cast<int>(wp));
    }
    case WM_GETTEXTLENGTH: {
      if (d->edit) return SendMessage(d->edit, WM_GETTEXTLENGTH, 0, 0);
      int sel = ListSel(d);
      return sel >= 0 ? static_cast<LRESULT>(ItemText(d, sel).size()) : 0;
    }
    case kx::ctl::kComboDropCancel:
      CloseUp(hwnd, d, false);
      return 0;
    case kx::ctl::kComboDropChoose:
      CloseUp(hwnd, d, true);
      return 0;
    case CB_ADDSTRING:
      return SendMessage(d->list, LB_ADDSTRING, wp, lp);
    case CB_INSERTSTRING:
      return SendMessage(d->list, LB_INSERTSTRING, wp, lp);
    case CB_DELETESTRING:
      return SendMessage(d->list, LB_DELETESTRING, wp, lp);
    case CB_RESETCONTENT:
      SendMessage(d->list, LB_RESETCONTENT, 0, 0);
      if (d->edit) {
        d->quietEdit = true;
        SetWindowText(d->edit, "");
        d->quietEdit = false;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return CB_OKAY;
    case CB_GETCOUNT:
      return ListCount(d);
    case CB_GETCURSEL:
      return ListSel(d);
    case CB_SETCURSEL: {
      LRESULT r = SendMessage(d->list, LB_SETCURSEL, wp, 0);
      ShowSelectionInEdit(hwnd, d);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case CB_GETLBTEXT:
      return SendMessage(d->list, LB_GETTEXT, wp, lp);
    case CB_GETLBTEXTLEN:
      return SendMessage(d->list, LB_GETTEXTLEN, wp, lp);
    case CB_FINDSTRING:
      return SendMessage(d->list, LB_FINDSTRING, wp, lp);
    case CB_FINDSTRINGEXACT:
      return SendMessage(d->list, LB_FINDSTRINGEXACT, wp, lp);
    case CB_SELECTSTRING: {
      LRESULT r = SendMessage(d->list, LB_SELECTSTRING, wp, lp);
      if (r != LB_ERR) {
        ShowSelectionInEdit(hwnd, d);
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return r;
    }
    case CB_GETITEMDATA:
      return SendMessage(d->list, LB_GETITEMDATA, wp, 0);
    case CB_SETITEMDATA:
      return SendMessage(d->list, LB_SETITEMDATA, wp, lp);
    case CB_SHOWDROPDOWN:
      if (wp) DropDown(hwnd, d);
      else CloseUp(hwnd, d, false);
      return TRUE;
    case CB_GETDROPPEDSTATE:
      return d->dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      if (!r) return CB_ERR;
      GetWindowRect(hwnd, r);
      r->bottom = r->top + d->droppedHeight;
      r->right = std::max(r->right, r->left + d->droppedWidth);
      return CB_OKAY;
    }
    case CB_GETEDITSEL: {
      if (!d->edit) return CB_ERR;
      DWORD s = 0, e = 0;
      SendMessage(d->edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
      if (wp) *reinterpret_cast<DWORD*>(wp) = s;
      if (lp) *reinterpret_cast<DWORD*>(lp) = e;
      return MAKELONG(static_cast<WORD>(s), static_cast<WORD>(e));
    }
    case CB_SETEDITSEL: {
      if (!d->edit) return CB_ERR;
      int s = static_cast<short>(LOWORD(lp)), e = static_cast<short>(HIWORD(lp));
      SendMessage(d->edit, EM_SETSEL, static_cast<WPARAM>(s), static_cast<LPARAM>(e));
      return TRUE;
    }
    case CB_LIMITTEXT:
      if (!d->edit) return CB_ERR;
      SendMessage(d->edit, EM_LIMITTEXT, wp, 0);
      return TRUE;
    case CB_GETITEMHEIGHT:
      if (static_cast<int>(wp) == -1) return d->closedHeight - 6;
      return SendMessage(d->list, LB_GETITEMHEIGHT, wp, 0);
    case CB_SETITEMHEIGHT:
      if (static_cast<int>(wp) == -1) {
        d->closedHeight = static_cast<int>(lp) + 6;
        Layout(hwnd, d);
        return 0;
      }
      return SendMessage(d->list, LB_SETITEMHEIGHT, wp, lp);
    case CB_SETEXTENDEDUI:
      d->extendedUi = wp != 0;
      return CB_OKAY;
    case CB_GETEXTENDEDUI:
      return d->extendedUi ? TRUE : FALSE;
    case CB_GETTOPINDEX:
      return SendMessage(d->list, LB_GETTOPINDEX, 0, 0);
    case CB_SETTOPINDEX:
      return SendMessage(d->list, LB_SETTOPINDEX, wp, 0);
    case CB_GETDROPPEDWIDTH: {
      RECT wr;
      GetWindowRect(hwnd, &wr);
      return std::max(static_cast<int>(wr.right - wr.left), d->droppedWidth);
    }
    case CB_SETDROPPEDWIDTH:
      d->droppedWidth = static_cast<int>(wp);
      return d->droppedWidth;
    case CB_INITSTORAGE:
      return SendMessage(d->list, LB_INITSTORAGE, wp, lp);
    case CB_GETCOMBOBOXINFO: {
      auto* info = reinterpret_cast<COMBOBOXINFO*>(lp);
      if (!info) return FALSE;
      RECT c;
      GetClientRect(hwnd, &c);
      info->rcItem = RECT{3, 3, ButtonRect(hwnd).left - 1, d->closedHeight - 3};
      info->rcButton = IsSimple(hwnd) ? RECT{0, 0, 0, 0} : ButtonRect(hwnd);
      info->stateButton = d->dropped ? STATE_SYSTEM_PRESSED : 0;
      info->hwndCombo = hwnd;
      info->hwndItem = d->edit ? d->edit : hwnd;
      info->hwndList = d->list;
      return TRUE;
    }
    case CB_GETLOCALE:
    case CB_SETLOCALE:
      return 0x0409;
    case CB_DIR:
      return CB_ERR;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterComboBox() { kx::RegisterControlClass(WC_COMBOBOXA, ComboProc, CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW); }

const bool kRegistered = kx::AddSystemClass(&RegisterComboBox);

}  // namespace

BOOL GetComboBoxInfo(HWND combo, COMBOBOXINFO* info) {
  return static_cast<BOOL>(SendMessage(combo, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(info)));
}
