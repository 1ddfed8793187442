// The list view ("SysListView32"). Report view is the full control: columns through a header child (id 0),
// items with sub-items, small, state and overlay images, selection and focus states with LVN_ITEMCHANGING /
// LVN_ITEMCHANGED, sorting through the caller's comparison, hit tests and item rectangles, column auto-size,
// colours, owner drawing (LVS_OWNERDRAWFIXED, WM_DRAWITEM with ODT_LISTVIEW) and custom drawing (NM_CUSTOMDRAW).
// The other views show the same items as a single column of rows.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/access.h"
#include "platform/ui/ctlcommon.h"
#include "platform/ui/truncatedtip.h"

namespace {

struct SubItem {
  std::string text;
  bool callback = false;
};

struct LvItem {
  std::vector<SubItem> sub{1};  // [0] is the item's own text
  int image = 0;
  UINT state = 0;
  LPARAM param = 0;
  int indent = 0;
};

struct LvColumn {
  int fmt = LVCFMT_LEFT;
  int width = 0;
  int subItem = 0;
  int image = -1;
  std::string text;
};

struct LvData {
  std::vector<LvItem> items;
  std::vector<LvColumn> columns;
  std::vector<int> order;  // display position -> column
  HWND header = nullptr;
  HIMAGELIST normal = nullptr, small = nullptr, state = nullptr;
  COLORREF bk = 0, text = 0, textBk = 0;
  HFONT font = nullptr;
  DWORD exStyle = 0;
  UINT callbackMask = 0;
  int top = 0;
  int mark = -1;
  int ownerRowHeight = 0;  // from WM_MEASUREITEM
  bool focus = false;
  bool inLayout = false;
  // Mouse.
  int downItem = -2;
  bool rightDown = false;
  // Type-ahead.
  std::string search;
  DWORD searchTime = 0;
  // The whole text of a cell drawn cut short, under the pointer.
  kx::ctl::TruncatedTip tip;
};

LvData* Data(HWND hwnd) { return kx::ControlData<LvData>(hwnd); }

DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }
bool IsReport(HWND hwnd) { return (Style(hwnd) & LVS_TYPEMASK) == LVS_REPORT; }
int Count(LvData* d) { return static_cast<int>(d->items.size()); }
bool Valid(LvData* d, int i) { return i >= 0 && i < Count(d); }

LRESULT Notify(HWND hwnd, NMHDR* hdr, UINT code) { return kx::NotifyParentNm(hwnd, hdr, code); }

// ----- geometry -----
int IconWidth(HIMAGELIST il) {
  int cx = 0, cy = 0;
  return il && ImageList_GetIconSize(il, &cx, &cy) ? cx : 0;
}
int IconHeight(HIMAGELIST il) {
  int cx = 0, cy = 0;
  return il && ImageList_GetIconSize(il, &cx, &cy) ? cy : 0;
}

int HeaderHeight(HWND, LvData* d) {
  if (!d->header || !IsWindowVisible(d->header)) return 0;
  RECT r;
  GetWindowRect(d->header, &r);
  return r.bottom - r.top;
}

int RowHeight(HWND hwnd, LvData* d) {
  if ((Style(hwnd) & LVS_OWNERDRAWFIXED) && IsReport(hwnd) && d->ownerRowHeight > 0) return d->ownerRowHeight;
  int h = kx::ctl::FontHeight(hwnd, d->font) + 3;
  h = std::max(h, IconHeight(d->small) + 1);
  h = std::max(h, IconHeight(d->state) + 1);
  return h;
}

int PageRows(HWND hwnd, LvData* d) {
  RECT c;
  GetClientRect(hwnd, &c);
  return std::max(1, (c.bottom - HeaderHeight(hwnd, d)) / std::max(1, RowHeight(hwnd, d)));
}

int ClientWidth(HWND hwnd) {
  RECT c;
  GetClientRect(hwnd, &c);
  return c.right;
}

// Left edge and width of a column (by column index) in display order.
int ColumnLeft(LvData* d, int col) {
  int x = 0;
  for (int c : d->order) {
    if (c == col) return x;
    x += d->columns[static_cast<size_t>(c)].width;
  }
  return x;
}

int TotalWidth(HWND hwnd, LvData* d) {
  if (!IsReport(hwnd)) return ClientWidth(hwnd);
  int w = 0;
  for (const LvColumn& c : d->columns) w += c.width;
  return w;
}

int Column0Width(HWND hwnd, LvData* d) {
  if (!IsReport(hwnd)) return ClientWidth(hwnd);
  return d->columns.empty() ? 0 : d->columns[0].width;
}

struct ItemGeometry {
  RECT bounds, state, icon, label, select;
};

ItemGeometry Geometry(HWND hwnd, LvData* d, int i) {
  ItemGeometry g{};
  int rowH = RowHeight(hwnd, d);
  int y = HeaderHeight(hwnd, d) + (i - d->top) * rowH;
  int x0 = IsReport(hwnd) ? ColumnLeft(d, 0) : 0;
  g.bounds = RECT{IsReport(hwnd) ? 0 : 0, y, TotalWidth(hwnd, d), y + rowH};
  int indent = Valid(d, i) ? d->items[static_cast<size_t>(i)].indent * IconWidth(d->small) : 0;
  int left = x0 + indent;
  int stateW = d->state ? IconWidth(d->state) : 0;
  g.state = RECT{left, y, left + stateW, y + rowH};
  int iconW = IconWidth(IsReport(hwnd) ? d->small : (d->small ? d->small : d->normal));
  g.icon = RECT{g.state.right, y, g.state.right + iconW, y + rowH};
  int col0Right = x0 + Column0Width(hwnd, d);
  g.label = RECT{g.icon.right, y, std::max(g.icon.right, col0Right), y + rowH};
  g.select = g.label;
  g.select.left = g.icon.left;
  if (d->exStyle & LVS_EX_FULLROWSELECT) g.select.right = g.bounds.right;
  return g;
}

RECT SubItemRect(HWND hwnd, LvData* d, int i, int col) {
  ItemGeometry g = Geometry(hwnd, d, i);
  if (col <= 0 || !IsReport(hwnd)) {
    RECT r = g.bounds;
    if (IsReport(hwnd) && !d->columns.empty()) r.right = ColumnLeft(d, 0) + d->columns[0].width;
    return r;
  }
  int left = ColumnLeft(d, col);
  return RECT{left, g.bounds.top, left + d->columns[static_cast<size_t>(col)].width, g.bounds.bottom};
}

void InvalidateItem(HWND hwnd, LvData* d, int i) {
  if (!Valid(d, i)) return;
  RECT r = Geometry(hwnd, d, i).bounds;
  r.left = 0;
  r.right = std::max(r.right, ClientWidth(hwnd));
  InvalidateRect(hwnd, &r, TRUE);
}

void InvalidateAll(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

// Header position, scroll bar and top row after a change of size or content.
void Layout(HWND hwnd, LvData* d) {
  if (d->inLayout) return;
  d->inLayout = true;
  if (d->header) {
    bool show = IsReport(hwnd) && !(Style(hwnd) & LVS_NOCOLUMNHEADER);
    RECT c;
    GetClientRect(hwnd, &c);
    WINDOWPOS wp{};
    HDLAYOUT lay{&c, &wp};
    SendMessage(d->header, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&lay));
    SetWindowPos(d->header, nullptr, wp.x, wp.y, std::max(wp.cx, TotalWidth(hwnd, d)), wp.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  }
  int page = PageRows(hwnd, d);
  d->top = std::clamp(d->top, 0, std::max(0, Count(d) - page));
  if (!(Style(hwnd) & LVS_NOSCROLL)) kx::ctl::UpdateVScroll(hwnd, Count(d), page, d->top);
  d->inLayout = false;
}

void SetTop(HWND hwnd, LvData* d, int top) {
  int page = PageRows(hwnd, d);
  top = std::clamp(top, 0, std::max(0, Count(d) - page));
  if (top == d->top) return;
  d->top = top;
  SetScrollPos(hwnd, SB_VERT, top, TRUE);
  InvalidateAll(hwnd);
}

void EnsureVisible(HWND hwnd, LvData* d, int i) {
  if (!Valid(d, i)) return;
  int page = PageRows(hwnd, d);
  if (i < d->top) SetTop(hwnd, d, i);
  else if (i >= d->top + page) SetTop(hwnd, d, i - page + 1);
}

// ----- items -----
std::string ItemText(HWND hwnd, LvData* d, int i, int sub) {
  if (!Valid(d, i)) return std::string();
  LvItem& it = d->items[static_cast<size_t>(i)];
  if (sub < 0 || sub >= static_cast<int>(it.sub.size())) return std::string();
  if (!it.sub[static_cast<size_t>(sub)].callback) return it.sub[static_cast<size_t>(sub)].text;
  char buf[260] = {0};
  NMLVDISPINFOA di{};
  di.item.mask = LVIF_TEXT;
  di.item.iItem = i;
  di.item.iSubItem = sub;
  di.item.lParam = it.param;
  di.item.pszText = buf;
  di.item.cchTextMax = sizeof buf;
  Notify(hwnd, &di.hdr, LVN_GETDISPINFOA);
  if (di.item.pszText && di.item.pszText != buf) return std::string(di.item.pszText);
  return std::string(buf);
}

int ItemImage(HWND hwnd, LvData* d, int i) {
  LvItem& it = d->items[static_cast<size_t>(i)];
  if (it.image != I_IMAGECALLBACK) return it.image;
  NMLVDISPINFOA di{};
  di.item.mask = LVIF_IMAGE;
  di.item.iItem = i;
  di.item.lParam = it.param;
  Notify(hwnd, &di.hdr, LVN_GETDISPINFOA);
  return di.item.iImage;
}

// Changes an item's state with LVN_ITEMCHANGING / LVN_ITEMCHANGED; false when refused or unchanged.
bool ChangeState(HWND hwnd, LvData* d, int i, UINT state, UINT mask) {
  if (!Valid(d, i)) return false;
  UINT old = d->items[static_cast<size_t>(i)].state;
  UINT now = (old & ~mask) | (state & mask);
  if (now == old) return false;
  NMLISTVIEW nm{};
  nm.iItem = i;
  nm.uNewState = now;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = d->items[static_cast<size_t>(i)].param;
  if (Notify(hwnd, &nm.hdr, LVN_ITEMCHANGING)) return false;
  if (!IsWindow(hwnd) || !Valid(d, i)) return false;
  d->items[static_cast<size_t>(i)].state = now;
  InvalidateItem(hwnd, d, i);
  if ((old ^ now) & (LVIS_SELECTED | LVIS_FOCUSED)) kx::ui::Announce(hwnd, kx::ui::Access::Selection);
  nm = NMLISTVIEW{};
  nm.iItem = i;
  nm.uNewState = now;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = d->items[static_cast<size_t>(i)].param;
  Notify(hwnd, &nm.hdr, LVN_ITEMCHANGED);
  return true;
}

// Sets states the way the control keeps them: one focused item, and one selected item with LVS_SINGLESEL.
void SetState(HWND hwnd, LvData* d, int i, UINT state, UINT mask) {
  if (i < 0) {
    for (int k = 0; k < Count(d); ++k) SetState(hwnd, d, k, state, mask & ~LVIS_FOCUSED);
    return;
  }
  if (!Valid(d, i)) return;
  if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
    for (int k = 0; k < Count(d); ++k)
      if (k != i && (d->items[static_cast<size_t>(k)].state & LVIS_FOCUSED)) ChangeState(hwnd, d, k, 0, LVIS_FOCUSED);
  if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && (Style(hwnd) & LVS_SINGLESEL))
    for (int k = 0; k < Count(d); ++k)
      if (k != i && (d->items[static_cast<size_t>(k)].state & LVIS_SELECTED)) ChangeState(hwnd, d, k, 0, LVIS_SELECTED);
  ChangeState(hwnd, d, i, state, mask);
}

int FocusedItem(LvData* d) {
  for (int k = 0; k < Count(d); ++k)
    if (d->items[static_cast<size_t>(k)].state & LVIS_FOCUSED) return k;
  return -1;
}

// Selects one item alone and focuses it, as a click or an arrow key does.
void SelectOnly(HWND hwnd, LvData* d, int i) {
  for (int k = 0; k < Count(d); ++k)
    if (k != i && (d->items[static_cast<size_t>(k)].state & LVIS_SELECTED)) ChangeState(hwnd, d, k, 0, LVIS_SELECTED);
  if (Valid(d, i)) {
    SetState(hwnd, d, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    d->mark = i;
    EnsureVisible(hwnd, d, i);
  }
}

void SelectRange(HWND hwnd, LvData* d, int from, int to) {
  if (from > to) std::swap(from, to);
  for (int k = 0; k < Count(d); ++k) ChangeState(hwnd, d, k, (k >= from && k <= to) ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

int CompareText(const std::string& a, const std::string& b) {
  int r = lstrcmpi(a.c_str(), b.c_str());
  return r;
}

int InsertItem(HWND hwnd, LvData* d, const LVITEMA& in) {
  if (in.iSubItem != 0) return -1;
  LvItem it;
  if (in.mask & LVIF_TEXT) {
    it.sub[0].callback = in.pszText == LPSTR_TEXTCALLBACKA;
    if (!it.sub[0].callback) it.sub[0].text = kx::ctl::TextOf(in.pszText);
  }
  if (in.mask & LVIF_IMAGE) it.image = in.iImage;
  if (in.mask & LVIF_PARAM) it.param = in.lParam;
  if (in.mask & LVIF_STATE) it.state = in.state & in.stateMask;
  if (in.mask & LVIF_INDENT) it.indent = in.iIndent;
  if (it.sub.size() < d->columns.size()) it.sub.resize(std::max<size_t>(1, d->columns.size()));
  int index = std::clamp(in.iItem, 0, Count(d));
  DWORD style = Style(hwnd);
  if (style & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) {
    // After the rows that sort equal to it: a halving search of the sorted rows.
    bool desc = style & LVS_SORTDESCENDING;
    int lo = 0, hi = Count(d);
    while (lo < hi) {
      int mid = lo + (hi - lo) / 2;
      int c = CompareText(it.sub[0].text, d->items[static_cast<size_t>(mid)].sub[0].text);
      if (desc ? c > 0 : c < 0) hi = mid;
      else lo = mid + 1;
    }
    index = lo;
  }
  // The focus and, in single selection, the selection stay unique.
  if (it.state & LVIS_FOCUSED)
    for (auto& o : d->items) o.state &= ~LVIS_FOCUSED;
  if ((it.state & LVIS_SELECTED) && (style & LVS_SINGLESEL))
    for (auto& o : d->items) o.state &= ~LVIS_SELECTED;
  d->items.insert(d->items.begin() + index, std::move(it));
  if (d->mark >= index) ++d->mark;
  Layout(hwnd, d);
  InvalidateAll(hwnd);
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.lParam = d->items[static_cast<size_t>(index)].param;
  Notify(hwnd, &nm.hdr, LVN_INSERTITEM);
  return index;
}

BOOL SetItem(HWND hwnd, LvData* d, const LVITEMA& in) {
  if (!Valid(d, in.iItem) || in.iSubItem < 0) return FALSE;
  if (in.iSubItem > 0 && IsReport(hwnd) && in.iSubItem >= static_cast<int>(std::max<size_t>(d->columns.size(), 1)))
    return FALSE;
  LvItem& it = d->items[static_cast<size_t>(in.iItem)];
  if (in.iSubItem > 0) {
    // Sub-items hold text only; the change is shown without notifications.
    if (!(in.mask & LVIF_TEXT)) return TRUE;
    if (it.sub.size() <= static_cast<size_t>(in.iSubItem)) it.sub.resize(static_cast<size_t>(in.iSubItem) + 1);
    SubItem& s = it.sub[static_cast<size_t>(in.iSubItem)];
    s.callback = in.pszText == LPSTR_TEXTCALLBACKA;
    s.text = s.callback ? std::string() : kx::ctl::TextOf(in.pszText);
    InvalidateItem(hwnd, d, in.iItem);
    return TRUE;
  }
  UINT changed = 0;
  if (in.mask & LVIF_TEXT) changed |= LVIF_TEXT;
  if ((in.mask & LVIF_IMAGE) && in.iImage != it.image) changed |= LVIF_IMAGE;
  if ((in.mask & LVIF_PARAM) && in.lParam != it.param) changed |= LVIF_PARAM;
  if (changed) {
    NMLISTVIEW nm{};
    nm.iItem = in.iItem;
    nm.uChanged = changed;
    nm.lParam = it.param;
    if (Notify(hwnd, &nm.hdr, LVN_ITEMCHANGING)) return FALSE;
    if (!Valid(d, in.iItem)) return FALSE;
    LvItem& cur = d->items[static_cast<size_t>(in.iItem)];
    if (in.mask & LVIF_TEXT) {
      cur.sub[0].callback = in.pszText == LPSTR_TEXTCALLBACKA;
      cur.sub[0].text = cur.sub[0].callback ? std::string() : kx::ctl::TextOf(in.pszText);
    }
    if (in.mask & LVIF_IMAGE) cur.image = in.iImage;
    if (in.mask & LVIF_PARAM) cur.param = in.lParam;
    InvalidateItem(hwnd, d, in.iItem);
    nm = NMLISTVIEW{};
    nm.iItem = in.iItem;
    nm.uChanged = changed;
    nm.lParam = cur.param;
    Notify(hwnd, &nm.hdr, LVN_ITEMCHANGED);
  }
  if (in.mask & LVIF_INDENT) {
    d->items[static_cast<size_t>(in.iItem)].indent = in.iIndent;
    InvalidateItem(hwnd, d, in.iItem);
  }
  if (in.mask & LVIF_STATE) SetState(hwnd, d, in.iItem, in.state, in.stateMask);
  return TRUE;
}

BOOL GetItem(HWND hwnd, LvData* d, LVITEMA* out) {
  if (!out || !Valid(d, out->iItem)) return FALSE;
  LvItem& it = d->items[static_cast<size_t>(out->iItem)];
  if (out->mask & LVIF_TEXT) {
    std::string t = ItemText(hwnd, d, out->iItem, out->iSubItem);
    kx::ctl::CopyOut(t, out->pszText, out->cchTextMax);
  }
  if (out->iSubItem == 0) {
    if (out->mask & LVIF_IMAGE) out->iImage = ItemImage(hwnd, d, out->iItem);
    if (out->mask & LVIF_PARAM) out->lParam = it.param;
    if (out->mask & LVIF_INDENT) out->iIndent = it.indent;
  }
  if (out->mask & LVIF_STATE) out->state = it.state & out->stateMask;
  return TRUE;
}

void DeleteItem(HWND hwnd, LvData* d, int i) {
  NMLISTVIEW nm{};
  nm.iItem = i;
  nm.lParam = d->items[static_cast<size_t>(i)].param;
  Notify(hwnd, &nm.hdr, LVN_DELETEITEM);
  if (!Valid(d, i)) return;
  d->items.erase(d->items.begin() + i);
  if (d->mark == i) d->mark = -1;
  else if (d->mark > i) --d->mark;
}

BOOL DeleteAll(HWND hwnd, LvData* d) {
  NMLISTVIEW nm{};
  nm.iItem = -1;
  bool quiet = Notify(hwnd, &nm.hdr, LVN_DELETEALLITEMS) != 0;
  // From the last row up, each announced at its index and then taken off the end: erasing at the front
  // moved every row behind it, once per row.
  if (!quiet)
    while (!d->items.empty()) {
      const size_t last = d->items.size() - 1;
      nm = NMLISTVIEW{};
      nm.iItem = static_cast<int>(last);
      nm.lParam = d->items[last].param;
      Notify(hwnd, &nm.hdr, LVN_DELETEITEM);
      // A handler may have taken rows itself.
      if (d->items.size() > last) d->items.resize(last);
    }
  d->items.clear();
  d->mark = -1;
  d->top = 0;
  Layout(hwnd, d);
  InvalidateAll(hwnd);
  return TRUE;
}

// ----- columns -----
void SyncHeaderItem(LvData* d, int col, UINT mask) {
  if (!d->header) return;
  const LvColumn& c = d->columns[static_cast<size_t>(col)];
  HDITEMA hdi{};
  hdi.mask = mask;
  hdi.cxy = c.width;
  hdi.pszText = const_cast<char*>(c.text.c_str());
  hdi.fmt = (c.fmt & LVCFMT_JUSTIFYMASK) | HDF_STRING;
  hdi.iImage = c.image;
  SendMessage(d->header, HDM_SETITEMA, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&hdi));
}

int InsertColumn(HWND hwnd, LvData* d, int index, const LVCOLUMNA& in) {
  index = std::clamp(index, 0, static_cast<int>(d->columns.size()));
  LvColumn c;
  if (in.mask & LVCF_FMT) c.fmt = in.fmt;
  if (in.mask & LVCF_WIDTH) c.width = std::max(0, in.cx);
  if (in.mask & LVCF_TEXT) c.text = kx::ctl::TextOf(in.pszText);
  c.subItem = (in.mask & LVCF_SUBITEM) ? in.iSubItem : index;
  if (in.mask & LVCF_IMAGE) c.image = in.iImage;
  // Column 0 is always left aligned.
  if (index == 0) c.fmt &= ~LVCFMT_JUSTIFYMASK;
  // Sub-items at and right of a new column move one place on.
  for (LvItem& it : d->items)
    if (index > 0 && static_cast<size_t>(index) < it.sub.size()) it.sub.insert(it.sub.begin() + index, SubItem{});
  d->columns.insert(d->columns.begin() + index, c);
  for (int& o : d->order)
    if (o >= index) ++o;
  d->order.insert(d->order.begin() + std::min<size_t>(static_cast<size_t>(index), d->order.size()), index);
  if (d->header) {
    HDITEMA hdi{};
    hdi.mask = HDI_WIDTH | HDI_TEXT | HDI_FORMAT;
    hdi.cxy = c.width;
    hdi.pszText = const_cast<char*>(c.text.c_str());
    hdi.fmt = (c.fmt & LVCFMT_JUSTIFYMASK) | HDF_STRING;
    if ((in.mask & LVCF_IMAGE) && (c.fmt & LVCFMT_IMAGE)) {
      hdi.mask |= HDI_IMAGE;
      hdi.iImage = c.image;
      hdi.fmt |= HDF_IMAGE;
    }
    SendMessage(d->header, HDM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&hdi));
  }
  Layout(hwnd, d);
  InvalidateAll(hwnd);
  return index;
}

int ContentWidth(HWND hwnd, LvData* d, int col) {
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(hdc, kx::ControlFont(d->font));
  int w = 0;
  for (int i = 0; i < Count(d); ++i) {
    std::string t = ItemText(hwnd, d, i, col);
    SIZE s{0, 0};
    GetTextExtentPoint32(hdc, t.c_str(), static_cast<int>(t.size()), &s);
    w = std::max(w, static_cast<int>(s.cx));
  }
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  if (col == 0) return w + 6 + IconWidth(d->state) + IconWidth(d->small);
  return w + 12;
}

BOOL SetColumnWidth(HWND hwnd, LvData* d, int col, int cx) {
  if (!IsReport(hwnd)) {
    // Other views have one column as wide as the control.
    return TRUE;
  }
  if (col < 0 || col >= static_cast<int>(d->columns.size())) return FALSE;
  if (cx == LVSCW_AUTOSIZE) {
    cx = ContentWidth(hwnd, d, col);
  } else if (cx == LVSCW_AUTOSIZE_USEHEADER) {
    // The heading's width, or the contents' when they are wider.
    int head = kx::ctl::TextWidth(hwnd, d->font, d->columns[static_cast<size_t>(col)].text) + 12;
    cx = std::max(head, Count(d) ? ContentWidth(hwnd, d, col) : 0);
  }
  if (cx < 0) return FALSE;
  d->columns[static_cast<size_t>(col)].width = cx;
  SyncHeaderItem(d, col, HDI_WIDTH);
  Layout(hwnd, d);
  InvalidateAll(hwnd);
  return TRUE;
}

// ----- painting -----
struct RowColours {
  COLORREF text, back;
  bool fill;
};

RowColours Colours(HWND hwnd, LvData* d, UINT state) {
  bool selected = (state & LVIS_SELECTED) && (d->focus || (Style(hwnd) & LVS_SHOWSELALWAYS));
  if (state & LVIS_DROPHILITED) selected = true;
  if (selected && d->focus) return {GetSysColor(COLOR_HIGHLIGHTTEXT), GetSysColor(COLOR_HIGHLIGHT), true};
  if (selected || (state & LVIS_DROPHILITED)) {
    if (state & LVIS_DROPHILITED) return {GetSysColor(COLOR_HIGHLIGHTTEXT), GetSysColor(COLOR_HIGHLIGHT), true};
    return {GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNFACE), true};
  }
  return {d->text, d->textBk, d->textBk != CLR_NONE};
}

// The margin a cell's text keeps on each side: the painter and the tip of a cut-short cell both use it.
int CellMargin(int column) { return column == 0 ? 2 : 6; }

void DrawCellText(HDC hdc, const std::string& text, RECT r, int fmt, int margin) {
  r.left += margin;
  r.right -= margin;
  if (r.right <= r.left || text.empty()) return;
  UINT f = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  int j = fmt & LVCFMT_JUSTIFYMASK;
  f |= j == LVCFMT_RIGHT ? DT_RIGHT : j == LVCFMT_CENTER ? DT_CENTER : DT_LEFT;
  DrawText(hdc, text.c_str(), -1, &r, f);
}

LRESULT CustomDraw(HWND hwnd, NMLVCUSTOMDRAW* cd, DWORD stage) {
  cd->nmcd.dwDrawStage = stage;
  return Notify(hwnd, &cd->nmcd.hdr, NM_CUSTOMDRAW);
}

void DrawItemDefault(HWND hwnd, LvData* d, HDC hdc, int i, NMLVCUSTOMDRAW* cd, LRESULT itemResult) {
  const LvItem& it = d->items[static_cast<size_t>(i)];
  ItemGeometry g = Geometry(hwnd, d, i);
  RowColours col = Colours(hwnd, d, it.state);
  bool selected = col.fill && col.back != d->textBk;
  // Colours a custom-draw handler gave for an unselected item.
  if (cd && !selected) {
    col.text = cd->clrText;
    if (cd->clrTextBk != CLR_NONE && cd->clrTextBk != CLR_DEFAULT) {
      col.back = cd->clrTextBk;
      col.fill = true;
    }
  }
  int cols = IsReport(hwnd) ? std::max<int>(1, static_cast<int>(d->columns.size())) : 1;
  // Backgrounds: the selection bar, and the text background of the other cells.
  RECT hi = g.select;
  if (col.fill) {
    HBRUSH b = CreateSolidBrush(col.back);
    if (selected) {
      FillRect(hdc, &hi, b);
    } else {
      RECT all = g.label;
      all.right = g.bounds.right;
      FillRect(hdc, &all, b);
    }
    DeleteObject(b);
  }
  // State image and small icon.
  UINT ov = it.state & LVIS_OVERLAYMASK;
  if (d->state && (it.state & LVIS_STATEIMAGEMASK))
    ImageList_Draw(d->state, static_cast<int>((it.state & LVIS_STATEIMAGEMASK) >> 12) - 1, hdc, g.state.left,
                   g.state.top + (g.state.bottom - g.state.top - IconHeight(d->state)) / 2, ILD_TRANSPARENT);
  HIMAGELIST icons = IsReport(hwnd) ? d->small : (d->small ? d->small : d->normal);
  if (icons && g.icon.right > g.icon.left) {
    UINT flags = ILD_TRANSPARENT | ov;
    COLORREF fg = CLR_DEFAULT;
    if (it.state & LVIS_CUT) {
      flags |= ILD_BLEND50;
      fg = d->bk;
    } else if (selected && d->focus) {
      flags |= ILD_BLEND50;
    }
    ImageList_DrawEx(icons, ItemImage(hwnd, d, i), hdc, g.icon.left,
                     g.icon.top + (g.icon.bottom - g.icon.top - IconHeight(icons)) / 2, 0, 0, d->bk, fg, flags);
  }
  SetBkMode(hdc, TRANSPARENT);
  for (int c = 0; c < cols; ++c) {
    LRESULT subResult = CDRF_DODEFAULT;
    COLORREF text = selected ? col.text : (cd ? cd->clrText : d->text);
    if (cd && (itemResult & CDRF_NOTIFYSUBITEMDRAW)) {
      cd->iSubItem = c;
      cd->nmcd.rc = c == 0 ? g.label : SubItemRect(hwnd, d, i, c);
      cd->clrText = text;
      subResult = CustomDraw(hwnd, cd, CDDS_ITEMPREPAINT | CDDS_SUBITEM);
      if (subResult & CDRF_SKIPDEFAULT) continue;
      if (!selected) {
        text = cd->clrText;
        if (cd->clrTextBk != CLR_NONE && cd->clrTextBk != CLR_DEFAULT && c > 0) {
          RECT sr = SubItemRect(hwnd, d, i, c);
          HBRUSH b = CreateSolidBrush(cd->clrTextBk);
          FillRect(hdc, &sr, b);
          DeleteObject(b);
        }
      }
    }
    bool inBar = c == 0 || (d->exStyle & LVS_EX_FULLROWSELECT);
    SetTextColor(hdc, inBar ? text : (cd ? cd->clrText : d->text));
    std::string t = ItemText(hwnd, d, i, c);
    if (c == 0) DrawCellText(hdc, t, g.label, LVCFMT_LEFT, CellMargin(c));
    else DrawCellText(hdc, t, SubItemRect(hwnd, d, i, c), d->columns[static_cast<size_t>(c)].fmt, CellMargin(c));
    if (cd && (subResult & CDRF_NOTIFYPOSTPAINT)) CustomDraw(hwnd, cd, CDDS_ITEMPOSTPAINT | CDDS_SUBITEM);
  }
  if ((it.state & LVIS_FOCUSED) && d->focus) DrawFocusRect(hdc, &hi);
}

void Paint(HWND hwnd, LvData* d, HDC hdc, const RECT& client) {
  HGDIOBJ oldFont = SelectObject(hdc, kx::ControlFont(d->font));
  int headerH = HeaderHeight(hwnd, d);
  RECT body{0, headerH, client.right, client.bottom};
  HBRUSH bk = CreateSolidBrush(d->bk);
  FillRect(hdc, &body, bk);
  DeleteObject(bk);
  int rowH = RowHeight(hwnd, d);
  int last = std::min(Count(d), d->top + (client.bottom - headerH) / std::max(1, rowH) + 1);
  DWORD style = Style(hwnd);
  if ((style & LVS_OWNERDRAWFIXED) && IsReport(hwnd)) {
    for (int i = d->top; i < last; ++i) {
      const LvItem& it = d->items[static_cast<size_t>(i)];
      DRAWITEMSTRUCT dis{};
      dis.CtlType = ODT_LISTVIEW;
      dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
      dis.itemID = static_cast<UINT>(i);
      dis.itemAction = ODA_DRAWENTIRE;
      dis.itemState = ((it.state & LVIS_SELECTED) ? ODS_SELECTED : 0) |
                      ((it.state & LVIS_FOCUSED) && d->focus ? ODS_FOCUS : 0) |
                      (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
      dis.hwndItem = hwnd;
      dis.hDC = hdc;
      dis.rcItem = Geometry(hwnd, d, i).bounds;
      dis.itemData = static_cast<ULONG_PTR>(it.param);
      int saved = SaveDC(hdc);
      SendMessage(GetParent(hwnd), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
      RestoreDC(hdc, saved);
      if (!IsWindow(hwnd) || last > Count(d)) break;
    }
  } else {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.hdc = hdc;
    cd.nmcd.rc = client;
    LRESULT pre = CustomDraw(hwnd, &cd, CDDS_PREPAINT);
    if (!(pre & CDRF_SKIPDEFAULT)) {
      for (int i = d->top; i < last && i < Count(d); ++i) {
        const LvItem& it = d->items[static_cast<size_t>(i)];
        LRESULT ir = CDRF_DODEFAULT;
        bool notify = (pre & CDRF_NOTIFYITEMDRAW) != 0;
        if (notify) {
          cd = NMLVCUSTOMDRAW{};
          cd.nmcd.hdc = hdc;
          cd.nmcd.rc = Geometry(hwnd, d, i).bounds;
          cd.nmcd.dwItemSpec = static_cast<DWORD_PTR>(i);
          cd.nmcd.uItemState = ((it.state & LVIS_SELECTED) ? CDIS_SELECTED : 0) |
                               ((it.state & LVIS_FOCUSED) && d->focus ? CDIS_FOCUS : 0);
          cd.nmcd.lItemlParam = it.param;
          cd.clrText = d->text;
          cd.clrTextBk = d->textBk;
          ir = CustomDraw(hwnd, &cd, CDDS_ITEMPREPAINT);
          if (!(ir & CDRF_NEWFONT)) SelectObject(hdc, kx::ControlFont(d->font));
          if (ir & CDRF_SKIPDEFAULT) continue;
        }
        if (!Valid(d, i)) break;
        DrawItemDefault(hwnd, d, hdc, i, notify ? &cd : nullptr, ir);
        if (notify && (ir & CDRF_NOTIFYPOSTPAINT)) CustomDraw(hwnd, &cd, CDDS_ITEMPOSTPAINT);
        SelectObject(hdc, kx::ControlFont(d->font));
      }
      if ((d->exStyle & LVS_EX_GRIDLINES) && IsReport(hwnd)) {
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
        HGDIOBJ op = SelectObject(hdc, pen);
        int total = TotalWidth(hwnd, d);
        for (int y = headerH + rowH - 1; y < client.bottom; y += rowH) {
          MoveToEx(hdc, 0, y, nullptr);
          LineTo(hdc, total, y);
        }
        int x = 0;
        for (int c : d->order) {
          x += d->columns[static_cast<size_t>(c)].width;
          MoveToEx(hdc, x - 1, headerH, nullptr);
          LineTo(hdc, x - 1, client.bottom);
        }
        SelectObject(hdc, op);
        DeleteObject(pen);
      }
      cd = NMLVCUSTOMDRAW{};
      cd.nmcd.hdc = hdc;
      cd.nmcd.rc = client;
      if (pre & CDRF_NOTIFYPOSTPAINT) CustomDraw(hwnd, &cd, CDDS_POSTPAINT);
    }
  }
  SelectObject(hdc, oldFont);
}

// ----- hit tests -----
int HitTest(HWND hwnd, LvData* d, LVHITTESTINFO* ht, bool subItem) {
  RECT c;
  GetClientRect(hwnd, &c);
  ht->iItem = -1;
  ht->iSubItem = 0;
  ht->flags = 0;
  POINT p = ht->pt;
  int headerH = HeaderHeight(hwnd, d);
  if (p.y < headerH) ht->flags |= LVHT_ABOVE;
  if (p.y >= c.bottom) ht->flags |= LVHT_BELOW;
  if (p.x < 0) ht->flags |= LVHT_TOLEFT;
  if (p.x >= c.right) ht->flags |= LVHT_TORIGHT;
  if (ht->flags) return -1;
  int rowH = RowHeight(hwnd, d);
  int i = d->top + (p.y - headerH) / std::max(1, rowH);
  if (!Valid(d, i)) {
    ht->flags = LVHT_NOWHERE;
    return -1;
  }
  ItemGeometry g = Geometry(hwnd, d, i);
  if (p.x >= g.bounds.right) {
    ht->flags = LVHT_NOWHERE;
    return -1;
  }
  ht->iItem = i;
  if (p.x >= g.state.left && p.x < g.state.right) ht->flags = LVHT_ONITEMSTATEICON;
  else if (p.x >= g.icon.left && p.x < g.icon.right) ht->flags = LVHT_ONITEMICON;
  else ht->flags = LVHT_ONITEMLABEL;
  if (subItem && IsReport(hwnd)) {
    int x = 0;
    for (int col : d->order) {
      int w = d->columns[static_cast<size_t>(col)].width;
      if (p.x >= x && p.x < x + w) ht->iSubItem = col;
      x += w;
    }
  }
  return i;
}

void SendActivate(HWND hwnd, LvData* d, UINT code, int item, int sub, POINT pt) {
  NMITEMACTIVATE nm{};
  nm.iItem = item;
  nm.iSubItem = sub;
  nm.ptAction = pt;
  if (Valid(d, item)) nm.lParam = d->items[static_cast<size_t>(item)].param;
  nm.uKeyFlags = (GetKeyState(VK_SHIFT) < 0 ? LVKF_SHIFT : 0) | (GetKeyState(VK_CONTROL) < 0 ? LVKF_CONTROL : 0) |
                 (GetKeyState(VK_MENU) < 0 ? LVKF_ALT : 0);
  Notify(hwnd, &nm.hdr, code);
}

void ClickSelect(HWND hwnd, LvData* d, int i, WPARAM keys) {
  bool single = Style(hwnd) & LVS_SINGLESEL;
  if (i < 0) {
    if (!(keys & (MK_CONTROL | MK_SHIFT)))
      for (int k = 0; k < Count(d); ++k) ChangeState(hwnd, d, k, 0, LVIS_SELECTED);
    return;
  }
  if (!single && (keys & MK_CONTROL)) {
    UINT s = d->items[static_cast<size_t>(i)].state;
    ChangeState(hwnd, d, i, (s & LVIS_SELECTED) ? 0 : LVIS_SELECTED, LVIS_SELECTED);
    SetState(hwnd, d, i, LVIS_FOCUSED, LVIS_FOCUSED);
    d->mark = i;
  } else if (!single && (keys & MK_SHIFT) && Valid(d, d->mark)) {
    SelectRange(hwnd, d, d->mark, i);
    SetState(hwnd, d, i, LVIS_FOCUSED, LVIS_FOCUSED);
  } else {
    SelectOnly(hwnd, d, i);
  }
}

void MoveFocusTo(HWND hwnd, LvData* d, int i) {
  if (!Count(d)) return;
  i = std::clamp(i, 0, Count(d) - 1);
  bool shift = GetKeyState(VK_SHIFT) < 0 && !(Style(hwnd) & LVS_SINGLESEL);
  bool ctrl = GetKeyState(VK_CONTROL) < 0 && !(Style(hwnd) & LVS_SINGLESEL);
  if (ctrl) {
    SetState(hwnd, d, i, LVIS_FOCUSED, LVIS_FOCUSED);
  } else if (shift && Valid(d, d->mark)) {
    SelectRange(hwnd, d, d->mark, i);
    SetState(hwnd, d, i, LVIS_FOCUSED, LVIS_FOCUSED);
  } else {
    SelectOnly(hwnd, d, i);
  }
  EnsureVisible(hwnd, d, i);
}

void KeyDown(HWND hwnd, LvData* d, WPARAM vk) {
  NMLVKEYDOWN kd{};
  kd.wVKey = static_cast<WORD>(vk);
  Notify(hwnd, &kd.hdr, LVN_KEYDOWN);
  if (!IsWindow(hwnd)) return;
  int f = FocusedItem(d);
  int page = PageRows(hwnd, d);
  switch (vk) {
    case VK_UP: MoveFocusTo(hwnd, d, f < 0 ? 0 : f - 1); break;
    case VK_DOWN: MoveFocusTo(hwnd, d, f < 0 ? 0 : f + 1); break;
    case VK_HOME: MoveFocusTo(hwnd, d, 0); break;
    case VK_END: MoveFocusTo(hwnd, d, Count(d) - 1); break;
    case VK_PRIOR: MoveFocusTo(hwnd, d, f < 0 ? 0 : f - page + 1); break;
    case VK_NEXT: MoveFocusTo(hwnd, d, f < 0 ? 0 : f + page - 1); break;
    case VK_SPACE:
      if (Valid(d, f)) {
        if (GetKeyState(VK_CONTROL) < 0) {
          UINT s = d->items[static_cast<size_t>(f)].state;
          SetState(hwnd, d, f, (s & LVIS_SELECTED) ? 0 : LVIS_SELECTED, LVIS_SELECTED);
        } else {
          SetState(hwnd, d, f, LVIS_SELECTED, LVIS_SELECTED);
        }
      }
      break;
    case VK_RETURN: {
      NMHDR nm{};
      Notify(hwnd, &nm, NM_RETURN);
      if (IsWindow(hwnd) && Valid(d, f)) SendActivate(hwnd, d, LVN_ITEMACTIVATE, f, 0, POINT{0, 0});
      break;
    }
    default: break;
  }
}

void TypeAhead(HWND hwnd, LvData* d, char ch) {
  DWORD now = GetMessageTime();
  if (now - d->searchTime > 1000) d->search.clear();
  d->searchTime = now;
  d->search += ch;
  int n = Count(d);
  if (!n) return;
  int f = std::max(0, FocusedItem(d));
  int start = d->search.size() == 1 ? f + 1 : f;
  for (int k = 0; k < n; ++k) {
    int i = (start + k) % n;
    if (kx::ctl::StartsWithNoCase(ItemText(hwnd, d, i, 0), d->search)) {
      SelectOnly(hwnd, d, i);
      return;
    }
  }
}

int GetNextItem(HWND hwnd, LvData* d, int start, UINT flags) {
  UINT need = flags & (LVNI_FOCUSED | LVNI_SELECTED | LVNI_CUT | LVNI_DROPHILITED);
  auto ok = [&](int i) {
    UINT s = d->items[static_cast<size_t>(i)].state;
    return (s & need) == need;
  };
  if (flags & (LVNI_ABOVE | LVNI_TOLEFT)) {
    for (int i = std::min(start, Count(d)) - 1; i >= 0; --i)
      if (ok(i)) return i;
    return -1;
  }
  if (flags & (LVNI_BELOW | LVNI_TORIGHT)) {
    for (int i = std::max(start + 1, 0); i < Count(d); ++i)
      if (ok(i)) return i;
    return -1;
  }
  (void)hwnd;
  for (int i = std::max(start + 1, 0); i < Count(d); ++i)
    if (ok(i)) return i;
  return -1;
}

int FindItem(HWND hwnd, LvData* d, int start, const LVFINDINFOA& fi) {
  int n = Count(d);
  for (int k = 0; k < n; ++k) {
    int i = start + 1 + k;
    if (i >= n) {
      if (!(fi.flags & LVFI_WRAP)) return -1;
      i -= n;
    }
    if (fi.flags & LVFI_PARAM) {
      if (d->items[static_cast<size_t>(i)].param == fi.lParam) return i;
    } else if (fi.flags & (LVFI_STRING | LVFI_PARTIAL)) {
      std::string t = ItemText(hwnd, d, i, 0), s = kx::ctl::TextOf(fi.psz);
      if ((fi.flags & LVFI_PARTIAL) ? kx::ctl::StartsWithNoCase(t, s) : kx::ctl::EqualsNoCase(t, s)) return i;
    }
  }
  return -1;
}

BOOL Sort(HWND hwnd, LvData* d, WPARAM param, LPARAM fn, bool byIndex) {
  auto compare = reinterpret_cast<PFNLVCOMPARE>(fn);
  if (!compare) return FALSE;
  std::vector<int> order(d->items.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
  std::vector<LPARAM> params;
  for (const LvItem& it : d->items) params.push_back(it.param);
  kx::ctl::MergeSort(order, [&](int a, int b) {
    return byIndex ? compare(a, b, static_cast<LPARAM>(param))
                   : compare(params[static_cast<size_t>(a)], params[static_cast<size_t>(b)], static_cast<LPARAM>(param));
  });
  if (!IsWindow(hwnd) || order.size() != d->items.size()) return FALSE;
  std::vector<LvItem> sorted;
  sorted.reserve(order.size());
  int mark = -1;
  for (size_t k = 0; k < order.size(); ++k) {
    sorted.push_back(std::move(d->items[static_cast<size_t>(order[k])]));
    if (order[k] == d->mark) mark = static_cast<int>(k);
  }
  d->items.swap(sorted);
  d->mark = mark;
  InvalidateAll(hwnd);
  return TRUE;
}

void CreateHeader(HWND hwnd, LvData* d) {
  DWORD style = Style(hwnd);
  DWORD hs = WS_CHILD | (style & LVS_NOSORTHEADER ? 0 : HDS_BUTTONS);
  d->header = CreateWindowEx(0, WC_HEADERA, "", hs, 0, 0, 0, 0, hwnd, nullptr,
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtr(hwnd, GWLP_HINSTANCE)), nullptr);
  if (d->header && d->font) SendMessage(d->header, WM_SETFONT, reinterpret_cast<WPARAM>(d->font), FALSE);
}

void MeasureOwnerRows(HWND hwnd, LvData* d) {
  if (!(Style(hwnd) & LVS_OWNERDRAWFIXED)) return;
  MEASUREITEMSTRUCT mis{};
  mis.CtlType = ODT_LISTVIEW;
  mis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
  d->ownerRowHeight = 0;
  mis.itemHeight = static_cast<UINT>(RowHeight(hwnd, d));
  HWND parent = GetParent(hwnd);
  if (parent) SendMessage(parent, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
  d->ownerRowHeight = static_cast<int>(mis.itemHeight);
}

HIMAGELIST* ImageListSlot(LvData* d, WPARAM which) {
  switch (which) {
    case LVSIL_NORMAL: return &d->normal;
    case LVSIL_SMALL: return &d->small;
    case LVSIL_STATE: return &d->state;
    default: return nullptr;
  }
}

// The whole text of the cell under the pointer, shown in a tip when the cell draws it cut short.
void CellTip(HWND hwnd, LvData* d, UINT msg, WPARAM wp, LPARAM lp) {
  LVHITTESTINFO ht{};
  ht.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  int i = msg == WM_MOUSEMOVE && d->downItem == -2 ? HitTest(hwnd, d, &ht, true) : -1;
  if (!Valid(d, i) || ht.iSubItem < 0 || (IsReport(hwnd) && ht.iSubItem >= static_cast<int>(d->columns.size()))) {
    d->tip.Leave(hwnd, msg, wp, lp);
    return;
  }
  const int c = IsReport(hwnd) ? ht.iSubItem : 0;
  const RECT r = c == 0 ? Geometry(hwnd, d, i).label : SubItemRect(hwnd, d, i, c);
  const int margin = CellMargin(c);
  const std::string text = ItemText(hwnd, d, i, c);
  const bool cut = kx::ctl::TextWidth(hwnd, d->font, text) > r.right - r.left - 2 * margin;
  d->tip.Hover(hwnd, msg, wp, lp, r, text, cut);
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LvData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      auto* nd = new LvData();
      nd->bk = nd->textBk = GetSysColor(COLOR_WINDOW);
      nd->text = GetSysColor(COLOR_WINDOWTEXT);
      kx::SetControlData(hwnd, nd);
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case WM_NCDESTROY: {
      if (d && !(Style(hwnd) & LVS_SHAREIMAGELISTS)) {
        for (HIMAGELIST il : {d->normal, d->small, d->state})
          if (il) ImageList_Destroy(il);
      }
      delete d;
      kx::SetControlData<LvData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
    }
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE:
      CreateHeader(hwnd, d);
      MeasureOwnerRows(hwnd, d);
      Layout(hwnd, d);
      return 0;
    case WM_DESTROY: {
      d->tip.Destroy();
      // Every item is announced before it goes.
      NMLISTVIEW nm{};
      nm.iItem = -1;
      if (!d->items.empty() && !Notify(hwnd, &nm.hdr, LVN_DELETEALLITEMS))
        for (int i = 0; i < Count(d); ++i) {
          NMLISTVIEW one{};
          one.iItem = i;
          one.lParam = d->items[static_cast<size_t>(i)].param;
          Notify(hwnd, &one.hdr, LVN_DELETEITEM);
        }
      d->items.clear();
      return 0;
    }
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      Layout(hwnd, d);
      InvalidateAll(hwnd);
      return 0;
    case WM_STYLECHANGED:
      if (wp == static_cast<WPARAM>(GWL_STYLE)) {
        auto* ss = reinterpret_cast<STYLESTRUCT*>(lp);
        if ((ss->styleNew & LVS_OWNERDRAWFIXED) && !(ss->styleOld & LVS_OWNERDRAWFIXED)) MeasureOwnerRows(hwnd, d);
        if (d->header) {
          LONG_PTR hs = GetWindowLongPtr(d->header, GWL_STYLE);
          hs = (ss->styleNew & LVS_NOSORTHEADER) ? (hs & ~static_cast<LONG_PTR>(HDS_BUTTONS)) : (hs | HDS_BUTTONS);
          SetWindowLongPtr(d->header, GWL_STYLE, hs);
        }
        Layout(hwnd, d);
      }
      return 0;
    case WM_SETREDRAW: {
      LRESULT r = DefWindowProc(hwnd, msg, wp, lp);
      if (wp) {
        Layout(hwnd, d);
        InvalidateAll(hwnd);
      }
      return r;
    }
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (d->header) SendMessage(d->header, WM_SETFONT, wp, lp);
      MeasureOwnerRows(hwnd, d);
      Layout(hwnd, d);
      if (lp) InvalidateAll(hwnd);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS: {
      d->focus = true;
      InvalidateAll(hwnd);
      NMHDR nm{};
      Notify(hwnd, &nm, NM_SETFOCUS);
      return 0;
    }
    case WM_KILLFOCUS: {
      d->focus = false;
      InvalidateAll(hwnd);
      NMHDR nm{};
      Notify(hwnd, &nm, NM_KILLFOCUS);
      return 0;
    }
    case WM_VSCROLL:
      SetTop(hwnd, d, kx::ctl::VScrollTop(hwnd, wp, d->top, Count(d), PageRows(hwnd, d)));
      return 0;
    case WM_MOUSEWHEEL:
      SetTop(hwnd, d, d->top - 3 * static_cast<short>(HIWORD(wp)) / 120);
      return 0;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
      CellTip(hwnd, d, msg, wp, lp);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK: {
      d->tip.Leave(hwnd, msg, wp, lp);
      SetFocus(hwnd);
      if (!IsWindow(hwnd)) return 0;
      LVHITTESTINFO ht{};
      ht.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      int i = HitTest(hwnd, d, &ht, true);
      bool right = msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK;
      if (right) {
        if (Valid(d, i) && !(d->items[static_cast<size_t>(i)].state & LVIS_SELECTED)) SelectOnly(hwnd, d, i);
        else if (Valid(d, i)) SetState(hwnd, d, i, LVIS_FOCUSED, LVIS_FOCUSED);
      } else {
        ClickSelect(hwnd, d, i, wp);
      }
      if (!IsWindow(hwnd)) return 0;
      if (msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK) {
        SendActivate(hwnd, d, right ? NM_RDBLCLK : NM_DBLCLK, i, ht.iSubItem, ht.pt);
        if (!right && IsWindow(hwnd) && Valid(d, i)) SendActivate(hwnd, d, LVN_ITEMACTIVATE, i, ht.iSubItem, ht.pt);
        d->downItem = -2;
        return 0;
      }
      d->downItem = i;
      d->rightDown = right;
      SetCapture(hwnd);
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      if (GetCapture() == hwnd) ReleaseCapture();
      if (d->downItem == -2) return 0;
      bool right = msg == WM_RBUTTONUP;
      if (right != d->rightDown) return 0;
      LVHITTESTINFO ht{};
      ht.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      HitTest(hwnd, d, &ht, true);
      int item = d->downItem;
      d->downItem = -2;
      SendActivate(hwnd, d, right ? NM_RCLICK : NM_CLICK, item, ht.iSubItem, ht.pt);
      return 0;
    }
    case WM_KEYDOWN:
      KeyDown(hwnd, d, wp);
      return 0;
    case WM_CHAR:
      if (wp >= 0x20 && wp != 0x7F) TypeAhead(hwnd, d, static_cast<char>(wp));
      return 0;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (!hdr || hdr->hwndFrom != d->header) return 0;
      auto* nh = reinterpret_cast<NMHEADERA*>(lp);
      LRESULT r = SendMessage(GetParent(hwnd), WM_NOTIFY, wp, lp);
      if (!IsWindow(hwnd)) return r;
      if (hdr->code == HDN_ITEMCHANGEDA && nh->pitem && (nh->pitem->mask & HDI_WIDTH) && nh->iItem >= 0 &&
          nh->iItem < static_cast<int>(d->columns.size())) {
        d->columns[static_cast<size_t>(nh->iItem)].width = nh->pitem->cxy;
        Layout(hwnd, d);
        InvalidateAll(hwnd);
      } else if (hdr->code == HDN_ITEMCLICKA && !(Style(hwnd) & LVS_NOSORTHEADER)) {
        NMLISTVIEW nm{};
        nm.iItem = -1;
        nm.iSubItem = nh->iItem;
        Notify(hwnd, &nm.hdr, LVN_COLUMNCLICK);
      } else if (hdr->code == HDN_DIVIDERDBLCLICKA && !r) {
        SetColumnWidth(hwnd, d, nh->iItem, LVSCW_AUTOSIZE);
      }
      return r;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
      // Owner-drawn headings are the parent's to draw.
      return SendMessage(GetParent(hwnd), msg, wp, lp);
    case LVM_GETBKCOLOR:
      return d->bk;
    case LVM_SETBKCOLOR:
      d->bk = static_cast<COLORREF>(lp);
      InvalidateAll(hwnd);
      return TRUE;
    case LVM_GETTEXTCOLOR:
      return d->text;
    case LVM_SETTEXTCOLOR:
      d->text = static_cast<COLORREF>(lp);
      InvalidateAll(hwnd);
      return TRUE;
    case LVM_GETTEXTBKCOLOR:
      return d->textBk;
    case LVM_SETTEXTBKCOLOR:
      d->textBk = static_cast<COLORREF>(lp);
      InvalidateAll(hwnd);
      return TRUE;
    case LVM_GETIMAGELIST: {
      HIMAGELIST* slot = ImageListSlot(d, wp);
      return slot ? reinterpret_cast<LRESULT>(*slot) : 0;
    }
    case LVM_SETIMAGELIST: {
      HIMAGELIST* slot = ImageListSlot(d, wp);
      if (!slot) return 0;
      HIMAGELIST old = *slot;
      *slot = reinterpret_cast<HIMAGELIST>(lp);
      if (wp == LVSIL_SMALL && d->header) SendMessage(d->header, HDM_SETIMAGELIST, 0, lp);
      MeasureOwnerRows(hwnd, d);
      Layout(hwnd, d);
      InvalidateAll(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETITEMCOUNT:
      return Count(d);
    case LVM_SETITEMCOUNT:
      d->items.reserve(static_cast<size_t>(std::max<WPARAM>(wp, 0)));
      return TRUE;
    case LVM_GETITEMA:
      return GetItem(hwnd, d, reinterpret_cast<LVITEMA*>(lp));
    case LVM_SETITEMA: {
      auto* in = reinterpret_cast<const LVITEMA*>(lp);
      return in ? SetItem(hwnd, d, *in) : FALSE;
    }
    case LVM_INSERTITEMA: {
      auto* in = reinterpret_cast<const LVITEMA*>(lp);
      return in ? InsertItem(hwnd, d, *in) : -1;
    }
    case LVM_DELETEITEM: {
      int i = static_cast<int>(wp);
      if (!Valid(d, i)) return FALSE;
      DeleteItem(hwnd, d, i);
      Layout(hwnd, d);
      InvalidateAll(hwnd);
      return TRUE;
    }
    case LVM_DELETEALLITEMS:
      return DeleteAll(hwnd, d);
    case LVM_GETCALLBACKMASK:
      return d->callbackMask;
    case LVM_SETCALLBACKMASK:
      d->callbackMask = static_cast<UINT>(wp);
      return TRUE;
    case LVM_GETNEXTITEM:
      return GetNextItem(hwnd, d, static_cast<int>(static_cast<INT_PTR>(wp)), static_cast<UINT>(LOWORD(lp)));
    case LVM_FINDITEMA: {
      auto* fi = reinterpret_cast<const LVFINDINFOA*>(lp);
      return fi ? FindItem(hwnd, d, static_cast<int>(static_cast<INT_PTR>(wp)), *fi) : -1;
    }
    case LVM_GETITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      int i = static_cast<int>(wp);
      if (!r || !Valid(d, i)) return FALSE;
      ItemGeometry g = Geometry(hwnd, d, i);
      switch (r->left) {
        case LVIR_BOUNDS: *r = g.bounds; break;
        case LVIR_ICON: *r = g.icon; break;
        case LVIR_LABEL: *r = g.label; break;
        case LVIR_SELECTBOUNDS: *r = g.select; break;
        default: return FALSE;
      }
      return TRUE;
    }
    case LVM_GETSUBITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      int i = static_cast<int>(wp);
      if (!r || !Valid(d, i) || r->top < 0 || r->top >= std::max<int>(1, static_cast<int>(d->columns.size())))
        return FALSE;
      int code = r->left, sub = r->top;
      if (sub == 0) {
        ItemGeometry g = Geometry(hwnd, d, i);
        *r = code == LVIR_ICON ? g.icon : code == LVIR_LABEL ? g.label : g.bounds;
      } else {
        *r = SubItemRect(hwnd, d, i, sub);
      }
      return TRUE;
    }
    case LVM_GETITEMPOSITION: {
      auto* p = reinterpret_cast<POINT*>(lp);
      if (!p || !Valid(d, static_cast<int>(wp))) return FALSE;
      ItemGeometry g = Geometry(hwnd, d, static_cast<int>(wp));
      *p = POINT{g.icon.left, g.bounds.top};
      return TRUE;
    }
    case LVM_SETITEMPOSITION:
    case LVM_SETITEMPOSITION32:
      return FALSE;
    case LVM_GETSTRINGWIDTHA:
      return kx::ctl::TextWidth(hwnd, d->font, kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp)));
    case LVM_HITTEST:
    case LVM_SUBITEMHITTEST: {
      auto* ht = reinterpret_cast<LVHITTESTINFO*>(lp);
      return ht ? HitTest(hwnd, d, ht, msg == LVM_SUBITEMHITTEST) : -1;
    }
    case LVM_ENSUREVISIBLE:
      if (!Valid(d, static_cast<int>(wp))) return FALSE;
      EnsureVisible(hwnd, d, static_cast<int>(wp));
      return TRUE;
    case LVM_SCROLL:
      SetTop(hwnd, d, d->top + static_cast<int>(lp) / std::max(1, RowHeight(hwnd, d)));
      return TRUE;
    case LVM_REDRAWITEMS:
      for (int i = static_cast<int>(wp); i <= static_cast<int>(lp); ++i) InvalidateItem(hwnd, d, i);
      return TRUE;
    case LVM_UPDATE:
      InvalidateItem(hwnd, d, static_cast<int>(wp));
      return TRUE;
    case LVM_ARRANGE:
      return TRUE;
    case LVM_EDITLABELA:
    case LVM_GETEDITCONTROL:
      return 0;
    case LVM_GETCOLUMNA: {
      auto* out = reinterpret_cast<LVCOLUMNA*>(lp);
      int c = static_cast<int>(wp);
      if (!out || c < 0 || c >= static_cast<int>(d->columns.size())) return FALSE;
      const LvColumn& col = d->columns[static_cast<size_t>(c)];
      if (out->mask & LVCF_FMT) out->fmt = col.fmt;
      if (out->mask & LVCF_WIDTH) out->cx = col.width;
      if (out->mask & LVCF_TEXT) {
        std::string text = col.text;
        if (d->header) {
          char buf[260] = {0};
          HDITEMA hdi{};
          hdi.mask = HDI_TEXT;
          hdi.pszText = buf;
          hdi.cchTextMax = sizeof buf;
          if (SendMessage(d->header, HDM_GETITEMA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&hdi))) text = buf;
        }
        kx::ctl::CopyOut(text, out->pszText, out->cchTextMax);
      }
      if (out->mask & LVCF_SUBITEM) out->iSubItem = col.subItem;
      if (out->mask & LVCF_IMAGE) out->iImage = col.image;
      if (out->mask & LVCF_ORDER) {
        for (size_t k = 0; k < d->order.size(); ++k)
          if (d->order[k] == c) out->iOrder = static_cast<int>(k);
      }
      return TRUE;
    }
    case LVM_SETCOLUMNA: {
      auto* in = reinterpret_cast<const LVCOLUMNA*>(lp);
      int c = static_cast<int>(wp);
      if (!in || c < 0 || c >= static_cast<int>(d->columns.size())) return FALSE;
      LvColumn& col = d->columns[static_cast<size_t>(c)];
      UINT hmask = 0;
      if (in->mask & LVCF_FMT) {
        col.fmt = c == 0 ? (in->fmt & ~LVCFMT_JUSTIFYMASK) : in->fmt;
        hmask |= HDI_FORMAT;
      }
      if (in->mask & LVCF_WIDTH) {
        col.width = std::max(0, in->cx);
        hmask |= HDI_WIDTH;
      }
      if (in->mask & LVCF_TEXT) {
        col.text = kx::ctl::TextOf(in->pszText);
        hmask |= HDI_TEXT;
      }
      if (in->mask & LVCF_SUBITEM) col.subItem = in->iSubItem;
      if (in->mask & LVCF_IMAGE) col.image = in->iImage;
      if (hmask) SyncHeaderItem(d, c, hmask);
      Layout(hwnd, d);
      InvalidateAll(hwnd);
      return TRUE;
    }
    case LVM_INSERTCOLUMNA: {
      auto* in = reinterpret_cast<const LVCOLUMNA*>(lp);
      return in ? InsertColumn(hwnd, d, static_cast<int>(wp), *in) : -1;
    }
    case LVM_DELETECOLUMN: {
      int c = static_cast<int>(wp);
      if (c < 0 || c >= static_cast<int>(d->columns.size())) return FALSE;
      d->columns.erase(d->columns.begin() + c);
      d->order.erase(std::find(d->order.begin(), d->order.end(), c));
      for (int& o : d->order)
        if (o > c) --o;
      for (LvItem& it : d->items)
        if (c > 0 && static_cast<size_t>(c) < it.sub.size()) it.sub.erase(it.sub.begin() + c);
      if (d->header) SendMessage(d->header, HDM_DELETEITEM, wp, 0);
      Layout(hwnd, d);
      InvalidateAll(hwnd);
      return TRUE;
    }
    case LVM_GETCOLUMNWIDTH: {
      int c = static_cast<int>(wp);
      if (!IsReport(hwnd)) return ClientWidth(hwnd);
      return c >= 0 && c < static_cast<int>(d->columns.size()) ? d->columns[static_cast<size_t>(c)].width : 0;
    }
    case LVM_SETCOLUMNWIDTH:
      return SetColumnWidth(hwnd, d, static_cast<int>(wp), static_cast<int>(static_cast<short>(LOWORD(lp))));
    case LVM_GETHEADER:
      return reinterpret_cast<LRESULT>(d->header);
    case LVM_GETCOLUMNORDERARRAY: {
      auto* out = reinterpret_cast<int*>(lp);
      if (!out || wp != d->order.size()) return FALSE;
      std::copy(d->order.begin(), d->order.end(), out);
      return TRUE;
    }
    case LVM_SETCOLUMNORDERARRAY: {
      auto* in = reinterpret_cast<const int*>(lp);
      if (!in || wp != d->columns.size()) return FALSE;
      std::vector<int> order(in, in + wp);
      if (!kx::ctl::IsPermutation(order)) return FALSE;
      d->order = order;
      if (d->header) SendMessage(d->header, HDM_SETORDERARRAY, wp, lp);
      InvalidateAll(hwnd);
      return TRUE;
    }
    case LVM_GETVIEWRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      if (!r) return FALSE;
      *r = RECT{0, 0, TotalWidth(hwnd, d), Count(d) * RowHeight(hwnd, d)};
      return TRUE;
    }
    case LVM_GETORIGIN: {
      auto* p = reinterpret_cast<POINT*>(lp);
      if (!p) return FALSE;
      *p = POINT{0, d->top * RowHeight(hwnd, d)};
      return TRUE;
    }
    case LVM_GETTOPINDEX:
      return d->top;
    case LVM_GETCOUNTPERPAGE:
      return PageRows(hwnd, d);
    case LVM_SETITEMSTATE: {
      auto* in = reinterpret_cast<const LVITEMA*>(lp);
      if (!in) return FALSE;
      int i = static_cast<int>(static_cast<INT_PTR>(wp));
      if (i >= 0 && !Valid(d, i)) return FALSE;
      SetState(hwnd, d, i, in->state, in->stateMask);
      return TRUE;
    }
    case LVM_GETITEMSTATE: {
      int i = static_cast<int>(wp);
      return Valid(d, i) ? (d->items[static_cast<size_t>(i)].state & static_cast<UINT>(lp)) : 0;
    }
    case LVM_GETITEMTEXTA: {
      auto* io = reinterpret_cast<LVITEMA*>(lp);
      int i = static_cast<int>(wp);
      if (!io || !Valid(d, i)) return 0;
      return kx::ctl::CopyOut(ItemText(hwnd, d, i, io->iSubItem), io->pszText, io->cchTextMax);
    }
    case LVM_SETITEMTEXTA: {
      auto* in = reinterpret_cast<const LVITEMA*>(lp);
      if (!in) return FALSE;
      LVITEMA copy = *in;
      copy.iItem = static_cast<int>(wp);
      copy.mask = LVIF_TEXT;
      return SetItem(hwnd, d, copy);
    }
    case LVM_SORTITEMS:
      return Sort(hwnd, d, wp, lp, false);
    case LVM_SORTITEMSEX:
      return Sort(hwnd, d, wp, lp, true);
    case LVM_GETSELECTEDCOUNT: {
      int n = 0;
      for (const LvItem& it : d->items)
        if (it.state & LVIS_SELECTED) ++n;
      return n;
    }
    case LVM_GETITEMSPACING:
      return MAKELONG(IconWidth(d->normal) + 43, RowHeight(hwnd, d));
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = d->exStyle;
      DWORD mask = wp ? static_cast<DWORD>(wp) : 0xFFFFFFFFu;
      d->exStyle = (old & ~mask) | (static_cast<DWORD>(lp) & mask);
      InvalidateAll(hwnd);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return d->exStyle;
    case LVM_GETSELECTIONMARK:
      return d->mark;
    case LVM_SETSELECTIONMARK: {
      int old = d->mark;
      d->mark = static_cast<int>(lp);
      return old;
    }
    case LVM_GETHOTITEM:
      return -1;
    case LVM_SETHOTITEM:
      return -1;
    case CCM_SETUNICODEFORMAT:
    case CCM_GETUNICODEFORMAT:
      return FALSE;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterListView() { kx::RegisterControlClass(WC_LISTVIEWA, ListViewProc, CS_DBLCLKS); }

const bool kRegistered = kx::AddSystemClass(&RegisterListView);

}  // namespace
