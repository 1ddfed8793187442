// The list box ("ListBox") and the drop-down list of a combo box ("ComboLBox"). Single, multiple and extended
// selection, sorted insertion, owner drawing (WM_MEASUREITEM, WM_DRAWITEM, WM_DELETEITEM, WM_COMPAREITEM), type-
// ahead, LBN_* notifications (user actions only, with LBS_NOTIFY). A "ComboLBox" reports to its combo box: it
// tracks the pointer while the list is dropped and ends the drop-down with a click.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/ctlcommon.h"
#include "platform/win32/textconv.h"

namespace {

struct LbItem {
  std::string text;
  ULONG_PTR data = 0;
  bool selected = false;
  int height = 0;  // owner-draw variable
};

struct LbData {
  std::vector<LbItem> items;
  int cur = -1;     // single selection
  int caret = -1;   // focus rectangle
  int anchor = -1;  // extended selection
  int top = 0;
  int itemHeight = 0;
  HFONT font = nullptr;
  bool focus = false;
  bool inLayout = false;
  bool tracking = false;
  HWND combo = nullptr;  // the combo box of a drop-down list
  std::vector<int> tabs;
  std::string search;
  DWORD searchTime = 0;
};

LbData* Data(HWND hwnd) { return kx::ControlData<LbData>(hwnd); }
DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }
int Count(LbData* d) { return static_cast<int>(d->items.size()); }
bool Valid(LbData* d, int i) { return i >= 0 && i < Count(d); }
bool Multi(HWND hwnd) { return (Style(hwnd) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }
bool OwnerDraw(HWND hwnd) { return (Style(hwnd) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0; }
bool HasStrings(HWND hwnd) { return !OwnerDraw(hwnd) || (Style(hwnd) & LBS_HASSTRINGS); }

// Owner drawing and notifications go to the combo box's parent for a drop-down list.
HWND NotifyTarget(HWND hwnd, LbData* d) { return d->combo ? d->combo : GetParent(hwnd); }
HWND OwnerDrawTarget(HWND hwnd, LbData* d) { return d->combo ? GetParent(d->combo) : GetParent(hwnd); }
UINT OwnerDrawId(HWND hwnd, LbData* d) { return static_cast<UINT>(GetDlgCtrlID(d->combo ? d->combo : hwnd)); }
UINT OwnerDrawType(LbData* d) { return d->combo ? ODT_COMBOBOX : ODT_LISTBOX; }

void NotifyLb(HWND hwnd, LbData* d, UINT code) {
  if (!d->combo && !(Style(hwnd) & LBS_NOTIFY)) return;
  HWND target = NotifyTarget(hwnd, d);
  if (target)
    SendMessage(target, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

int DefaultItemHeight(HWND hwnd, LbData* d) { return kx::ctl::FontHeight(hwnd, d->font) + 2; }

int ItemHeight(HWND hwnd, LbData* d, int i) {
  if ((Style(hwnd) & LBS_OWNERDRAWVARIABLE) && Valid(d, i) && d->items[static_cast<size_t>(i)].height > 0)
    return d->items[static_cast<size_t>(i)].height;
  return d->itemHeight > 0 ? d->itemHeight : DefaultItemHeight(hwnd, d);
}

int ClientHeight(HWND hwnd) {
  RECT c;
  GetClientRect(hwnd, &c);
  return c.bottom;
}

int PageRows(HWND hwnd, LbData* d) {
  int h = ClientHeight(hwnd), rows = 0, y = 0;
  for (int i = d->top; i < Count(d); ++i) {
    y += ItemHeight(hwnd, d, i);
    if (y > h) break;
    ++rows;
  }
  if (rows == 0) rows = std::max(1, h / std::max(1, ItemHeight(hwnd, d, -1)));
  return rows;
}

RECT ItemRect(HWND hwnd, LbData* d, int i) {
  RECT c;
  GetClientRect(hwnd, &c);
  int y = 0;
  if (i >= d->top)
    for (int k = d->top; k < i; ++k) y += ItemHeight(hwnd, d, k);
  else
    for (int k = i; k < d->top; ++k) y -= ItemHeight(hwnd, d, k);
  return RECT{0, y, c.right, y + ItemHeight(hwnd, d, i)};
}

void Layout(HWND hwnd, LbData* d) {
  if (d->inLayout) return;
  d->inLayout = true;
  int page = PageRows(hwnd, d);
  d->top = std::clamp(d->top, 0, std::max(0, Count(d) - page));
  if (Style(hwnd) & WS_VSCROLL) kx::ctl::UpdateVScroll(hwnd, Count(d), page, d->top);
  d->inLayout = false;
  InvalidateRect(hwnd, nullptr, TRUE);
}

void SetTop(HWND hwnd, LbData* d, int top) {
  top = std::clamp(top, 0, std::max(0, Count(d) - PageRows(hwnd, d)));
  if (top == d->top) return;
  d->top = top;
  SetScrollPos(hwnd, SB_VERT, top, TRUE);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void EnsureVisible(HWND hwnd, LbData* d, int i) {
  if (!Valid(d, i)) return;
  if (i < d->top) SetTop(hwnd, d, i);
  else if (i >= d->top + PageRows(hwnd, d)) SetTop(hwnd, d, i - PageRows(hwnd, d) + 1);
}

bool IsSelected(HWND hwnd, LbData* d, int i) {
  if (!Valid(d, i)) return false;
  return Multi(hwnd) ? d->items[static_cast<size_t>(i)].selected : d->cur == i;
}

int Compare(HWND hwnd, LbData* d, const LbItem& a, const LbItem& b) {
  if (HasStrings(hwnd)) return lstrcmpi(a.text.c_str(), b.text.c_str());
  COMPAREITEMSTRUCT cis{};
  cis.CtlType = OwnerDrawType(d);
  cis.CtlID = OwnerDrawId(hwnd, d);
  cis.hwndItem = d->combo ? d->combo : hwnd;
  cis.itemID1 = static_cast<UINT>(-1);
  cis.itemData1 = a.data;
  cis.itemData2 = b.data;
  return static_cast<int>(SendMessage(OwnerDrawTarget(hwnd, d), WM_COMPAREITEM, cis.CtlID, reinterpret_cast<LPARAM>(&cis)));
}

void MeasureItem(HWND hwnd, LbData* d, int i) {
  MEASUREITEMSTRUCT mis{};
  mis.CtlType = OwnerDrawType(d);
  mis.CtlID = OwnerDrawId(hwnd, d);
  mis.itemID = static_cast<UINT>(i);
  mis.itemHeight = static_cast<UINT>(DefaultItemHeight(hwnd, d));
  if (Valid(d, i)) mis.itemData = d->items[static_cast<size_t>(i)].data;
  SendMessage(OwnerDrawTarget(hwnd, d), WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
  if (i < 0) d->itemHeight = static_cast<int>(mis.itemHeight);
  else if (Valid(d, i)) d->items[static_cast<size_t>(i)].height = static_cast<int>(mis.itemHeight);
}

int Insert(HWND hwnd, LbData* d, int index, LPARAM lp, bool sorted) {
  LbItem it;
  if (HasStrings(hwnd)) it.text = kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp));
  else it.data = static_cast<ULONG_PTR>(lp);
  if (HasStrings(hwnd) && OwnerDraw(hwnd)) it.data = 0;
  if (sorted && (Style(hwnd) & LBS_SORT)) {
    index = 0;
    while (index < Count(d) && Compare(hwnd, d, d->items[static_cast<size_t>(index)], it) <= 0) ++index;
    if (!IsWindow(hwnd)) return LB_ERR;
  } else if (index < 0 || index > Count(d)) {
    index = Count(d);
  }
  d->items.insert(d->items.begin() + index, it);
  if (d->cur >= index) ++d->cur;
  if (d->caret >= index) ++d->caret;
  if (d->anchor >= index) ++d->anchor;
  if (Style(hwnd) & LBS_OWNERDRAWVARIABLE) MeasureItem(hwnd, d, index);
  Layout(hwnd, d);
  return index;
}

void Delete(HWND hwnd, LbData* d, int i) {
  if (OwnerDraw(hwnd)) {
    DELETEITEMSTRUCT dis{};
    dis.CtlType = OwnerDrawType(d);
    dis.CtlID = OwnerDrawId(hwnd, d);
    dis.itemID = static_cast<UINT>(i);
    dis.hwndItem = hwnd;
    dis.itemData = d->items[static_cast<size_t>(i)].data;
    SendMessage(OwnerDrawTarget(hwnd, d), WM_DELETEITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    if (!Valid(d, i)) return;
  }
  d->items.erase(d->items.begin() + i);
  auto fix = [&](int& v) {
    if (v == i) v = -1;
    else if (v > i) --v;
  };
  fix(d->cur);
  fix(d->caret);
  fix(d->anchor);
}

int Find(HWND hwnd, LbData* d, int start, const std::string& text, bool exact) {
  int n = Count(d);
  for (int k = 0; k < n; ++k) {
    int i = (start + 1 + k) % n;
    if (i < 0) i += n;
    const LbItem& it = d->items[static_cast<size_t>(i)];
    if (!HasStrings(hwnd)) {
      if (it.data == reinterpret_cast<ULONG_PTR>(text.c_str())) return i;
      continue;
    }
    if (exact ? kx::EqualNoCase(it.text, text) : kx::ctl::StartsWithNoCase(it.text, text)) return i;
  }
  return LB_ERR;
}

void SetCurSel(HWND hwnd, LbData* d, int i) {
  if (d->cur == i && d->caret == i) return;
  d->cur = i;
  d->caret = i;
  d->anchor = i;
  if (Valid(d, i)) EnsureVisible(hwnd, d, i);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void SetSel(HWND hwnd, LbData* d, int i, bool on) {
  if (i < 0) {
    for (LbItem& it : d->items) it.selected = on;
  } else if (Valid(d, i)) {
    d->items[static_cast<size_t>(i)].selected = on;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
}

void DrawItem(HWND hwnd, LbData* d, HDC hdc, int i, const RECT& r, UINT action) {
  bool selected = IsSelected(hwnd, d, i);
  bool focus = d->focus && d->caret == i;
  if (OwnerDraw(hwnd)) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = OwnerDrawType(d);
    dis.CtlID = OwnerDrawId(hwnd, d);
    dis.itemID = static_cast<UINT>(i);
    dis.itemAction = action;
    dis.itemState = (selected ? ODS_SELECTED : 0) | (focus ? ODS_FOCUS : 0) | (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
    dis.hwndItem = hwnd;
    dis.hDC = hdc;
    dis.rcItem = r;
    dis.itemData = Valid(d, i) ? d->items[static_cast<size_t>(i)].data : 0;
    int saved = SaveDC(hdc);
    SendMessage(OwnerDrawTarget(hwnd, d), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    RestoreDC(hdc, saved);
    return;
  }
  if (!Valid(d, i)) return;
  COLORREF oldText = GetTextColor(hdc), oldBk = GetBkColor(hdc);
  if (selected) {
    FillRect(hdc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
  }
  SetBkMode(hdc, TRANSPARENT);
  RECT t = r;
  t.left += 2;
  const std::string& text = d->items[static_cast<size_t>(i)].text;
  if ((Style(hwnd) & LBS_USETABSTOPS) && text.find('\t') != std::string::npos) {
    // Tab stops are in dialog units (a quarter of the average character width); the default is every 32.
    int unit = std::max(1, static_cast<int>(LOWORD(GetDialogBaseUnits())));
    size_t start = 0;
    int x = t.left, k = 0;
    for (;;) {
      size_t tab = text.find('\t', start);
      std::string part = text.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
      RECT pr{x, t.top, t.right, t.bottom};
      DrawText(hdc, part.c_str(), -1, &pr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
      if (tab == std::string::npos) break;
      int stop = k < static_cast<int>(d->tabs.size()) ? d->tabs[static_cast<size_t>(k)]
                 : d->tabs.size() == 1                ? d->tabs[0] * (k + 1)
                                                      : 32 * (k + 1);
      x = t.left + stop * unit / 4;
      ++k;
      start = tab + 1;
    }
  } else {
    DrawText(hdc, text.c_str(), -1, &t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  }
  SetTextColor(hdc, oldText);
  SetBkColor(hdc, oldBk);
  if (focus) DrawFocusRect(hdc, &r);
}

void Paint(HWND hwnd, LbData* d, HDC hdc, const RECT& client) {
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  HWND colourFrom = d->combo ? d->combo : hwnd;
  HBRUSH bg = kx::ControlColors(colourFrom, hdc, WM_CTLCOLORLISTBOX);
  FillRect(hdc, &client, bg ? bg : GetSysColorBrush(COLOR_WINDOW));
  if (!IsWindowEnabled(hwnd)) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  int y = 0;
  for (int i = d->top; i < Count(d) && y < client.bottom; ++i) {
    RECT r{0, y, client.right, y + ItemHeight(hwnd, d, i)};
    DrawItem(hwnd, d, hdc, i, r, ODA_DRAWENTIRE);
    y = r.bottom;
    SelectObject(hdc, kx::ControlFont(d->font));
  }
  // An empty owner-drawn list with the focus still shows where the focus is.
  if (Count(d) == 0 && d->focus && OwnerDraw(hwnd)) {
    RECT r{0, 0, client.right, ItemHeight(hwnd, d, -1)};
    DrawItem(hwnd, d, hdc, -1, r, ODA_FOCUS);
  }
  SelectObject(hdc, of);
}

int ItemFromPoint(HWND hwnd, LbData* d, POINT p, bool* outside) {
  RECT c;
  GetClientRect(hwnd, &c);
  *outside = !PtInRect(&c, p);
  if (Count(d) == 0) return -1;
  if (p.y < 0) return std::max(0, d->top - 1);
  int y = 0;
  for (int i = d->top; i < Count(d); ++i) {
    int h = ItemHeight(hwnd, d, i);
    if (p.y < y + h) return i;
    y += h;
  }
  *outside = true;
  return Count(d) - 1;
}

// A selection the user made: the states change and LBN_SELCHANGE goes out.
void UserSelect(HWND hwnd, LbData* d, int i, WPARAM keys, bool notify) {
  if (!Valid(d, i) || (Style(hwnd) & LBS_NOSEL)) return;
  DWORD style = Style(hwnd);
  if (style & LBS_MULTIPLESEL) {
    d->items[static_cast<size_t>(i)].selected = !d->items[static_cast<size_t>(i)].selected;
    d->caret = i;
  } else if (style & LBS_EXTENDEDSEL) {
    if ((keys & MK_SHIFT) && Valid(d, d->anchor)) {
      int a = std::min(d->anchor, i), b = std::max(d->anchor, i);
      if (!(keys & MK_CONTROL))
        for (LbItem& it : d->items) it.selected = false;
      for (int k = a; k <= b; ++k) d->items[static_cast<size_t>(k)].selected = true;
    } else if (keys & MK_CONTROL) {
      d->items[static_cast<size_t>(i)].selected = !d->items[static_cast<size_t>(i)].selected;
      d->anchor = i;
    } else {
      for (LbItem& it : d->items) it.selected = false;
      d->items[static_cast<size_t>(i)].selected = true;
      d->anchor = i;
    }
    d->caret = i;
  } else {
    bool changed = d->cur != i;
    d->cur = d->caret = d->anchor = i;
    if (!changed) {
      EnsureVisible(hwnd, d, i);
      InvalidateRect(hwnd, nullptr, TRUE);
      return;
    }
  }
  EnsureVisible(hwnd, d, i);
  InvalidateRect(hwnd, nullptr, TRUE);
  if (notify) NotifyLb(hwnd, d, LBN_SELCHANGE);
}

void KeyMove(HWND hwnd, LbData* d, WPARAM vk) {
  int n = Count(d);
  if (!n) return;
  int from = Multi(hwnd) ? d->caret : d->cur;
  int page = PageRows(hwnd, d);
  int to = from;
  switch (vk) {
    case VK_UP: to = from < 0 ? 0 : from - 1; break;
    case VK_DOWN: to = from < 0 ? 0 : from + 1; break;
    case VK_HOME: to = 0; break;
    case VK_END: to = n - 1; break;
    case VK_PRIOR: to = from - page + 1; break;
    case VK_NEXT: to = from + page - 1; break;
    case VK_SPACE:
      if (Multi(hwnd) && Valid(d, d->caret)) UserSelect(hwnd, d, d->caret, MK_CONTROL, true);
      return;
    default: return;
  }
  to = std::clamp(to, 0, n - 1);
  if (Style(hwnd) & LBS_MULTIPLESEL) {
    d->caret = to;
    EnsureVisible(hwnd, d, to);
    InvalidateRect(hwnd, nullptr, TRUE);
    return;
  }
  WPARAM keys = GetKeyState(VK_SHIFT) < 0 ? MK_SHIFT : 0;
  UserSelect(hwnd, d, to, keys, true);
}

void TypeAhead(HWND hwnd, LbData* d, char ch) {
  if (!HasStrings(hwnd) || !Count(d)) return;
  DWORD now = GetMessageTime();
  if (now - d->searchTime > 1000) d->search.clear();
  d->searchTime = now;
  d->search += ch;
  int from = Multi(hwnd) ? d->caret : d->cur;
  int start = d->search.size() == 1 ? from : from - 1;
  int i = Find(hwnd, d, start, d->search, false);
  if (i != LB_ERR) UserSelect(hwnd, d, i, 0, true);
}

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LbData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      auto* nd = new LbData();
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      char cls[32] = {0};
      GetClassName(hwnd, cls, sizeof cls);
      if (kx::EqualNoCase(cls, "ComboLBox") && cs) nd->combo = reinterpret_cast<HWND>(cs->lpCreateParams);
      kx::SetControlData(hwnd, nd);
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case WM_NCDESTROY:
      delete d;
      kx::SetControlData<LbData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE:
      if (Style(hwnd) & LBS_OWNERDRAWFIXED) MeasureItem(hwnd, d, -1);
      Layout(hwnd, d);
      return 0;
    case WM_DESTROY:
      while (!d->items.empty()) {
        size_t before = d->items.size();
        Delete(hwnd, d, Count(d) - 1);
        if (d->items.size() == before) d->items.pop_back();
      }
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      Layout(hwnd, d);
      return 0;
    case WM_SETREDRAW: {
      LRESULT r = DefWindowProc(hwnd, msg, wp, lp);
      if (wp) Layout(hwnd, d);
      return r;
    }
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      Layout(hwnd, d);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_MOUSEACTIVATE:
      if (d->combo) return MA_NOACTIVATE;
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_SETFOCUS:
      d->focus = true;
      if (d->caret < 0 && Count(d)) d->caret = std::max(0, d->cur);
      InvalidateRect(hwnd, nullptr, TRUE);
      NotifyLb(hwnd, d, LBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      d->focus = false;
      InvalidateRect(hwnd, nullptr, TRUE);
      NotifyLb(hwnd, d, LBN_KILLFOCUS);
      return 0;
    case WM_VSCROLL:
      SetTop(hwnd, d, kx::ctl::VScrollTop(hwnd, wp, d->top, Count(d), PageRows(hwnd, d)));
      return 0;
    case WM_MOUSEWHEEL:
      SetTop(hwnd, d, d->top - 3 * static_cast<short>(HIWORD(wp)) / 120);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      bool outside = false;
      int i = ItemFromPoint(hwnd, d, p, &outside);
      if (d->combo) {
        // Dropped: a click outside the list ends the drop-down without a choice.
        if (outside) {
          POINT sp = p;
          ClientToScreen(hwnd, &sp);
          SendMessage(d->combo, kx::ctl::kComboDropCancel, 0, MAKELPARAM(sp.x, sp.y));
          return 0;
        }
        d->tracking = true;
        if (Valid(d, i)) SetCurSel(hwnd, d, i);
        return 0;
      }
      SetFocus(hwnd);
      if (!IsWindow(hwnd) || outside) return 0;
      if (msg == WM_LBUTTONDBLCLK) {
        NotifyLb(hwnd, d, LBN_DBLCLK);
        return 0;
      }
      UserSelect(hwnd, d, i, wp, true);
      d->tracking = true;
      SetCapture(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      bool outside = false;
      int i = ItemFromPoint(hwnd, d, p, &outside);
      if (d->combo) {
        if (!outside && Valid(d, i) && i != d->cur) SetCurSel(hwnd, d, i);
        return 0;
      }
      if (d->tracking && GetCapture() == hwnd && !Multi(hwnd) && Valid(d, i) && i != d->cur)
        UserSelect(hwnd, d, i, 0, true);
      return 0;
    }
    case WM_LBUTTONUP: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      bool outside = false;
      int i = ItemFromPoint(hwnd, d, p, &outside);
      bool was = d->tracking;
      d->tracking = false;
      if (d->combo) {
        // The button-up of the click that opened the list is not a choice.
        if (was && !outside && Valid(d, i)) {
          SetCurSel(hwnd, d, i);
          SendMessage(d->combo, kx::ctl::kComboDropChoose, static_cast<WPARAM>(i), 0);
        }
        return 0;
      }
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    }
    case WM_KEYDOWN:
      KeyMove(hwnd, d, wp);
      return 0;
    case WM_CHAR:
      if (wp >= 0x20 && wp != 0x7F) TypeAhead(hwnd, d, static_cast<char>(wp));
      return 0;
    case LB_ADDSTRING:
      return Insert(hwnd, d, -1, lp, true);
    case LB_INSERTSTRING:
      return Insert(hwnd, d, static_cast<int>(static_cast<INT_PTR>(wp)), lp, false);
    case LB_DELETESTRING: {
      int i = static_cast<int>(wp);
      if (!Valid(d, i)) return LB_ERR;
      Delete(hwnd, d, i);
      Layout(hwnd, d);
      return Count(d);
    }
    case LB_RESETCONTENT:
      while (!d->items.empty()) {
        size_t before = d->items.size();
        Delete(hwnd, d, Count(d) - 1);
        if (d->items.size() == before) d->items.pop_back();
      }
      d->cur = d->caret = d->anchor = -1;
      d->top = 0;
      Layout(hwnd, d);
      return 0;
    case LB_GETCOUNT:
      return Count(d);
    case LB_SETCURSEL: {
      if (Multi(hwnd)) return LB_ERR;
      int i = static_cast<int>(static_cast<INT_PTR>(wp));
      if (!Valid(d, i)) {
        SetCurSel(hwnd, d, -1);
        return LB_ERR;
      }
      SetCurSel(hwnd, d, i);
      return i;
    }
    case LB_GETCURSEL:
      if (Multi(hwnd)) return d->caret;
      return Valid(d, d->cur) ? d->cur : LB_ERR;
    case LB_SETSEL: {
      if (!Multi(hwnd)) return LB_ERR;
      int i = static_cast<int>(static_cast<INT_PTR>(lp));
      if (i >= 0 && !Valid(d, i)) return LB_ERR;
      SetSel(hwnd, d, i, wp != 0);
      if (i >= 0) d->caret = i;
      return 0;
    }
    case LB_GETSEL: {
      int i = static_cast<int>(wp);
      if (!Valid(d, i)) return LB_ERR;
      return IsSelected(hwnd, d, i) ? 1 : 0;
    }
    case LB_GETSELCOUNT: {
      if (!Multi(hwnd)) return LB_ERR;
      return std::count_if(d->items.begin(), d->items.end(), [](const LbItem& it) { return it.selected; });
    }
    case LB_GETSELITEMS: {
      if (!Multi(hwnd)) return LB_ERR;
      auto* out = reinterpret_cast<INT*>(lp);
      int n = 0;
      for (int i = 0; i < Count(d) && n < static_cast<int>(wp); ++i)
        if (d->items[static_cast<size_t>(i)].selected) {
          if (out) out[n] = i;
          ++n;
        }
      return n;
    }
    case LB_SELITEMRANGE:
    case LB_SELITEMRANGEEX: {
      if (!Multi(hwnd)) return LB_ERR;
      int a, b;
      bool on;
      if (msg == LB_SELITEMRANGE) {
        on = wp != 0;
        a = LOWORD(lp);
        b = HIWORD(lp);
      } else {
        a = static_cast<int>(wp);
        b = static_cast<int>(lp);
        on = a <= b;
      }
      if (a > b) std::swap(a, b);
      for (int i = std::max(a, 0); i <= b && i < Count(d); ++i) d->items[static_cast<size_t>(i)].selected = on;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case LB_GETTEXT: {
      int i = static_cast<int>(wp);
      if (!Valid(d, i)) return LB_ERR;
      if (!HasStrings(hwnd)) {
        if (lp) *reinterpret_cast<ULONG_PTR*>(lp) = d->items[static_cast<size_t>(i)].data;
        return sizeof(ULONG_PTR);
      }
      const std::string& t = d->items[static_cast<size_t>(i)].text;
      if (lp) {
        std::copy(t.begin(), t.end(), reinterpret_cast<char*>(lp));
        reinterpret_cast<char*>(lp)[t.size()] = '\0';
      }
      return static_cast<LRESULT>(t.size());
    }
    case LB_GETTEXTLEN: {
      int i = static_cast<int>(wp);
      if (!Valid(d, i)) return LB_ERR;
      return HasStrings(hwnd) ? static_cast<LRESULT>(d->items[static_cast<size_t>(i)].text.size())
                              : static_cast<LRESULT>(sizeof(ULONG_PTR));
    }
    case LB_SELECTSTRING: {
      if (Multi(hwnd)) return LB_ERR;
      int i = Count(d) ? Find(hwnd, d, static_cast<int>(static_cast<INT_PTR>(wp)),
                              HasStrings(hwnd) ? kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp)) : std::string(), false)
                       : LB_ERR;
      if (!HasStrings(hwnd) && Count(d)) {
        i = LB_ERR;
        for (int k = 0; k < Count(d); ++k)
          if (d->items[static_cast<size_t>(k)].data == static_cast<ULONG_PTR>(lp)) i = k;
      }
      if (i == LB_ERR) return LB_ERR;
      SetCurSel(hwnd, d, i);
      return i;
    }
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT: {
      if (!Count(d)) return LB_ERR;
      if (!HasStrings(hwnd)) {
        for (int k = 0; k < Count(d); ++k)
          if (d->items[static_cast<size_t>(k)].data == static_cast<ULONG_PTR>(lp)) return k;
        return LB_ERR;
      }
      return Find(hwnd, d, static_cast<int>(static_cast<INT_PTR>(wp)), kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp)),
                  msg == LB_FINDSTRINGEXACT);
    }
    case LB_GETTOPINDEX:
      return d->top;
    case LB_SETTOPINDEX:
      if (!Valid(d, static_cast<int>(wp)) && wp != 0) return LB_ERR;
      SetTop(hwnd, d, static_cast<int>(wp));
      return 0;
    case LB_GETITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      int i = static_cast<int>(wp);
      if (!r || (!Valid(d, i) && !(i == 0 && Count(d) == 0))) return LB_ERR;
      *r = ItemRect(hwnd, d, i);
      return 1;
    }
    case LB_GETITEMDATA: {
      int i = static_cast<int>(wp);
      return Valid(d, i) ? static_cast<LRESULT>(d->items[static_cast<size_t>(i)].data) : LB_ERR;
    }
    case LB_SETITEMDATA: {
      int i = static_cast<int>(static_cast<INT_PTR>(wp));
      if (i == -1) {
        for (LbItem& it : d->items) it.data = static_cast<ULONG_PTR>(lp);
        return TRUE;
      }
      if (!Valid(d, i)) return LB_ERR;
      d->items[static_cast<size_t>(i)].data = static_cast<ULONG_PTR>(lp);
      return TRUE;
    }
    case LB_SETANCHORINDEX:
      if (!Valid(d, static_cast<int>(wp))) return LB_ERR;
      d->anchor = static_cast<int>(wp);
      return 0;
    case LB_GETANCHORINDEX:
      return d->anchor;
    case LB_SETCARETINDEX:
      if (!Valid(d, static_cast<int>(wp))) return LB_ERR;
      d->caret = static_cast<int>(wp);
      EnsureVisible(hwnd, d, d->caret);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case LB_GETCARETINDEX:
      return Multi(hwnd) ? d->caret : d->cur;
    case LB_SETITEMHEIGHT: {
      int h = LOWORD(lp);
      if (h <= 0 || h > 255) return LB_ERR;
      if ((Style(hwnd) & LBS_OWNERDRAWVARIABLE) && Valid(d, static_cast<int>(wp))) d->items[wp].height = h;
      else d->itemHeight = h;
      Layout(hwnd, d);
      return 0;
    }
    case LB_GETITEMHEIGHT:
      return ItemHeight(hwnd, d, static_cast<int>(wp));
    case LB_ITEMFROMPOINT: {
      bool outside = false;
      int i = ItemFromPoint(hwnd, d, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, &outside);
      return MAKELONG(static_cast<WORD>(i < 0 ? 0xFFFF : i), outside ? 1 : 0);
    }
    case LB_SETTABSTOPS: {
      d->tabs.clear();
      auto* stops = reinterpret_cast<const INT*>(lp);
      if (wp == 1 && stops) d->tabs.push_back(stops[0]);
      else
        for (WPARAM k = 0; k < wp && stops; ++k) d->tabs.push_back(stops[k]);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case LB_INITSTORAGE:
      d->items.reserve(d->items.size() + wp);
      return static_cast<LRESULT>(d->items.capacity());
    case LB_SETCOUNT:
    case LB_DIR:
    case LB_ADDFILE:
      return LB_ERR;
    case LB_GETHORIZONTALEXTENT:
    case LB_SETHORIZONTALEXTENT:
    case LB_SETCOLUMNWIDTH:
      return 0;
    case LB_GETLOCALE:
    case LB_SETLOCALE:
      return 0x0409;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterListBoxes() {
  kx::RegisterControlClass(WC_LISTBOXA, ListBoxProc, CS_DBLCLKS | CS_PARENTDC);
  kx::RegisterControlClass("ComboLBox", ListBoxProc, CS_DBLCLKS | CS_SAVEBITS);
}

const bool kRegistered = kx::AddSystemClass(&RegisterListBoxes);

}  // namespace
