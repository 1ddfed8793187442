// The tree view ("SysTreeView32"): items with children under a hidden root, expanded and collapsed with
// TVN_ITEMEXPANDING / TVN_ITEMEXPANDED, one selected item (the caret) changed with TVN_SELCHANGING /
// TVN_SELCHANGED, normal and state images, lines and buttons, sorting, hit tests, custom drawing.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/ctlcommon.h"

namespace {

// The item behind an HTREEITEM.
struct TreeItem {
  std::string text;
  bool textCallback = false;
  int image = 0;
  int selImage = 0;
  UINT state = 0;
  LPARAM param = 0;
  int children = 0;  // cChildren as set (1: has children even without any; I_CHILDRENCALLBACK: ask)
  bool childrenSet = false;
  TreeItem* parent = nullptr;
  std::vector<TreeItem*> kids;
};

using Item = TreeItem;
Item* AsItem(HTREEITEM h) { return reinterpret_cast<Item*>(h); }
HTREEITEM AsHandle(Item* it) { return reinterpret_cast<HTREEITEM>(it); }

struct TvData {
  Item root;
  std::set<Item*> live;
  Item* caret = nullptr;
  Item* drop = nullptr;
  HIMAGELIST normal = nullptr, state = nullptr;
  HFONT font = nullptr, bold = nullptr;
  COLORREF bk = CLR_NONE, text = CLR_NONE, line = CLR_DEFAULT;
  int indent = 19;
  int itemHeight = 0;  // 0: from the font and images
  int top = 0;         // first visible row
  bool focus = false;
  bool inLayout = false;
  std::string search;
  DWORD searchTime = 0;
};

TvData* Data(HWND hwnd) { return kx::ControlData<TvData>(hwnd); }
DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

LRESULT Notify(HWND hwnd, NMHDR* hdr, UINT code) { return kx::NotifyParentNm(hwnd, hdr, code); }

Item* Resolve(TvData* d, HTREEITEM h) {
  if (!h || h == TVI_ROOT) return nullptr;
  return d->live.count(AsItem(h)) ? AsItem(h) : nullptr;
}

COLORREF BkColour(TvData* d) { return d->bk == CLR_NONE ? GetSysColor(COLOR_WINDOW) : d->bk; }
COLORREF TextColour(TvData* d) { return d->text == CLR_NONE ? GetSysColor(COLOR_WINDOWTEXT) : d->text; }

int IconSize(HIMAGELIST il, bool height) {
  int cx = 0, cy = 0;
  if (!il || !ImageList_GetIconSize(il, &cx, &cy)) return 0;
  return height ? cy : cx;
}

int RowHeight(HWND hwnd, TvData* d) {
  if (d->itemHeight > 0) return d->itemHeight;
  int h = kx::ctl::FontHeight(hwnd, d->font) + 3;
  h = std::max(h, IconSize(d->normal, true) + 1);
  h = std::max(h, IconSize(d->state, true) + 1);
  return h;
}

int Level(const Item* it) {
  int l = 0;
  for (const Item* p = it->parent; p && p->parent; p = p->parent) ++l;
  return l;
}

bool HasChildren(const Item* it) {
  if (!it->kids.empty()) return true;
  return it->childrenSet && it->children != 0;
}

// Visible items in display order: every item whose ancestors are all expanded.
void CollectVisible(const Item* parent, std::vector<Item*>& out) {
  for (Item* k : parent->kids) {
    out.push_back(k);
    if (k->state & TVIS_EXPANDED) CollectVisible(k, out);
  }
}

std::vector<Item*> Visible(TvData* d) {
  std::vector<Item*> v;
  CollectVisible(&d->root, v);
  return v;
}

int RowOf(TvData* d, const Item* it) {
  std::vector<Item*> v = Visible(d);
  auto pos = std::find(v.begin(), v.end(), it);
  return pos == v.end() ? -1 : static_cast<int>(pos - v.begin());
}

int PageRows(HWND hwnd, TvData* d) {
  RECT c;
  GetClientRect(hwnd, &c);
  return std::max(1, c.bottom / std::max(1, RowHeight(hwnd, d)));
}

std::string ItemText(HWND hwnd, Item* it) {
  if (!it->textCallback) return it->text;
  char buf[260] = {0};
  NMTVDISPINFOA di{};
  di.item.mask = TVIF_TEXT;
  di.item.hItem = AsHandle(it);
  di.item.lParam = it->param;
  di.item.pszText = buf;
  di.item.cchTextMax = sizeof buf;
  Notify(hwnd, &di.hdr, TVN_GETDISPINFOA);
  return di.item.pszText && di.item.pszText != buf ? std::string(di.item.pszText) : std::string(buf);
}

HFONT FontFor(HWND hwnd, TvData* d, const Item* it) {
  (void)hwnd;
  if (!(it->state & TVIS_BOLD)) return kx::ControlFont(d->font);
  if (!d->bold) {
    LOGFONTA lf{};
    GetObject(kx::ControlFont(d->font), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    d->bold = CreateFontIndirect(&lf);
  }
  return d->bold;
}

struct Geometry {
  RECT row, button, state, icon, text;
};

Geometry GeometryOf(HWND hwnd, TvData* d, Item* it, int row) {
  Geometry g{};
  int h = RowHeight(hwnd, d);
  int y = (row - d->top) * h;
  RECT c;
  GetClientRect(hwnd, &c);
  g.row = RECT{0, y, c.right, y + h};
  DWORD style = Style(hwnd);
  int level = Level(it) + ((style & TVS_LINESATROOT) && (style & (TVS_HASLINES | TVS_HASBUTTONS)) ? 1 : 0);
  int x = level * d->indent;
  g.button = RECT{x - d->indent, y, x, y + h};
  int sw = d->state && (it->state & TVIS_STATEIMAGEMASK) ? IconSize(d->state, false) : 0;
  g.state = RECT{x, y, x + sw, y + h};
  int iw = d->normal ? IconSize(d->normal, false) + 3 : 0;
  g.icon = RECT{g.state.right, y, g.state.right + iw, y + h};
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(hdc, FontFor(hwnd, d, it));
  std::string t = ItemText(hwnd, it);
  SIZE s{0, 0};
  GetTextExtentPoint32(hdc, t.c_str(), static_cast<int>(t.size()), &s);
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  g.text = RECT{g.icon.right, y, g.icon.right + s.cx + 4, y + h};
  return g;
}

void Layout(HWND hwnd, TvData* d) {
  if (d->inLayout) return;
  d->inLayout = true;
  int n = static_cast<int>(Visible(d).size());
  int page = PageRows(hwnd, d);
  d->top = std::clamp(d->top, 0, std::max(0, n - page));
  if (!(Style(hwnd) & TVS_NOSCROLL)) kx::ctl::UpdateVScroll(hwnd, n, page, d->top);
  d->inLayout = false;
  InvalidateRect(hwnd, nullptr, TRUE);
}

void SetTop(HWND hwnd, TvData* d, int top) {
  int n = static_cast<int>(Visible(d).size());
  top = std::clamp(top, 0, std::max(0, n - PageRows(hwnd, d)));
  if (top == d->top) return;
  d->top = top;
  SetScrollPos(hwnd, SB_VERT, top, TRUE);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void FillItem(HWND hwnd, Item* it, TVITEMA* out, UINT mask) {
  out->mask = mask;
  out->hItem = AsHandle(it);
  if (!it) return;
  if (mask & TVIF_TEXT) kx::ctl::CopyOut(ItemText(hwnd, it), out->pszText, out->cchTextMax);
  if (mask & TVIF_IMAGE) out->iImage = it->image;
  if (mask & TVIF_SELECTEDIMAGE) out->iSelectedImage = it->selImage;
  if (mask & TVIF_PARAM) out->lParam = it->param;
  if (mask & TVIF_STATE) {
    out->state = it->state;
    out->stateMask = 0xFFFF;
  }
  if (mask & TVIF_CHILDREN) out->cChildren = it->childrenSet ? it->children : (it->kids.empty() ? 0 : 1);
}

LRESULT TreeNotify(HWND hwnd, UINT code, UINT action, Item* oldItem, Item* newItem) {
  NMTREEVIEWA nm{};
  nm.action = action;
  UINT mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  if (oldItem) FillItem(hwnd, oldItem, &nm.itemOld, mask);
  if (newItem) FillItem(hwnd, newItem, &nm.itemNew, mask);
  DWORD pos = GetMessagePos();
  nm.ptDrag = POINT{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
  return Notify(hwnd, &nm.hdr, code);
}

void EnsureVisible(HWND hwnd, TvData* d, Item* it);

// Moves the caret with the notifications; false when the parent refused.
bool SelectCaret(HWND hwnd, TvData* d, Item* it, UINT action) {
  if (it == d->caret) {
    if (it) EnsureVisible(hwnd, d, it);
    return true;
  }
  Item* old = d->caret;
  if (TreeNotify(hwnd, TVN_SELCHANGINGA, action, old, it)) return false;
  if (!IsWindow(hwnd)) return false;
  if (it && !d->live.count(it)) return false;
  if (old && d->live.count(old)) old->state &= ~TVIS_SELECTED;
  d->caret = it;
  if (it) {
    it->state |= TVIS_SELECTED;
    EnsureVisible(hwnd, d, it);
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  TreeNotify(hwnd, TVN_SELCHANGEDA, action, old && d->live.count(old) ? old : nullptr, it);
  return true;
}

bool Contains(const Item* ancestor, const Item* it) {
  for (const Item* p = it; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

// Expands or collapses; `notify` says whether TVN_ITEMEXPANDING / TVN_ITEMEXPANDED go out.
bool Expand(HWND hwnd, TvData* d, Item* it, UINT code, bool byUser) {
  if (!it) return false;
  UINT action = code & 3;
  bool expanded = it->state & TVIS_EXPANDED;
  bool want = action == TVE_EXPAND ? true : action == TVE_COLLAPSE ? false : !expanded;
  if (action == 0) return false;
  if (want && !HasChildren(it)) return false;
  if (want == expanded && !(code & TVE_COLLAPSERESET)) return byUser ? false : true;
  // A message announces only the first expansion of an item; the user's actions are always announced.
  bool notify = byUser || (want && !(it->state & TVIS_EXPANDEDONCE));
  if (notify && TreeNotify(hwnd, TVN_ITEMEXPANDINGA, want ? TVE_EXPAND : TVE_COLLAPSE, nullptr, it)) return false;
  if (!IsWindow(hwnd) || !d->live.count(it)) return false;
  if (want) it->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
  else it->state &= ~TVIS_EXPANDED;
  if (!want && (code & TVE_COLLAPSERESET)) {
    it->state &= ~TVIS_EXPANDEDONCE;
  }
  // A selection inside the collapsed branch moves to the collapsed item.
  if (!want && d->caret && d->caret != it && Contains(it, d->caret)) SelectCaret(hwnd, d, it, TVC_UNKNOWN);
  Layout(hwnd, d);
  if (notify) TreeNotify(hwnd, TVN_ITEMEXPANDEDA, want ? TVE_EXPAND : TVE_COLLAPSE, nullptr, it);
  return true;
}

void EnsureVisible(HWND hwnd, TvData* d, Item* it) {
  for (Item* p = it->parent; p && p != &d->root; p = p->parent)
    if (!(p->state & TVIS_EXPANDED)) Expand(hwnd, d, p, TVE_EXPAND, false);
  int row = RowOf(d, it);
  if (row < 0) return;
  int page = PageRows(hwnd, d);
  if (row < d->top) SetTop(hwnd, d, row);
  else if (row >= d->top + page) SetTop(hwnd, d, row - page + 1);
}

int CompareText(const std::string& a, const std::string& b) { return lstrcmpi(a.c_str(), b.c_str()); }

Item* Insert(HWND hwnd, TvData* d, const TVINSERTSTRUCTA& ins) {
  Item* parent = &d->root;
  if (ins.hParent && ins.hParent != TVI_ROOT) {
    parent = Resolve(d, ins.hParent);
    if (!parent) return nullptr;
  }
  auto* it = new Item();
  const TVITEMA& in = ins.item;
  if (in.mask & TVIF_TEXT) {
    it->textCallback = in.pszText == LPSTR_TEXTCALLBACKA;
    if (!it->textCallback) it->text = kx::ctl::TextOf(in.pszText);
  }
  if (in.mask & TVIF_IMAGE) it->image = in.iImage;
  if (in.mask & TVIF_SELECTEDIMAGE) it->selImage = in.iSelectedImage;
  if (in.mask & TVIF_PARAM) it->param = in.lParam;
  if (in.mask & TVIF_STATE) it->state = in.state & in.stateMask & ~TVIS_SELECTED;
  if (in.mask & TVIF_CHILDREN) {
    it->children = in.cChildren;
    it->childrenSet = true;
  }
  it->parent = parent;
  auto& kids = parent->kids;
  HTREEITEM after = ins.hInsertAfter;
  size_t pos = kids.size();
  if (after == TVI_FIRST) {
    pos = 0;
  } else if (after == TVI_SORT) {
    pos = 0;
    while (pos < kids.size() && CompareText(ItemText(hwnd, kids[pos]), ItemText(hwnd, it)) <= 0) ++pos;
  } else if (after && after != TVI_LAST) {
    auto f = std::find(kids.begin(), kids.end(), AsItem(after));
    if (f != kids.end()) pos = static_cast<size_t>(f - kids.begin()) + 1;
  }
  kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(pos), it);
  d->live.insert(it);
  Layout(hwnd, d);
  return it;
}

void FreeTree(HWND hwnd, TvData* d, Item* it) {
  for (Item* k : std::vector<Item*>(it->kids)) FreeTree(hwnd, d, k);
  NMTREEVIEWA nm{};
  FillItem(hwnd, it, &nm.itemOld, TVIF_HANDLE | TVIF_PARAM);
  nm.action = TVC_UNKNOWN;
  if (hwnd) Notify(hwnd, &nm.hdr, TVN_DELETEITEMA);
  if (d->caret == it) d->caret = nullptr;
  if (d->drop == it) d->drop = nullptr;
  d->live.erase(it);
  delete it;
}

bool Delete(HWND hwnd, TvData* d, HTREEITEM h) {
  if (!h || h == TVI_ROOT) {
    for (Item* k : std::vector<Item*>(d->root.kids)) FreeTree(hwnd, d, k);
    d->root.kids.clear();
    d->caret = nullptr;
    d->top = 0;
    Layout(hwnd, d);
    return true;
  }
  Item* it = Resolve(d, h);
  if (!it) return false;
  bool hadCaret = d->caret && Contains(it, d->caret);
  Item* parent = it->parent;
  auto& sib = parent->kids;
  auto pos = std::find(sib.begin(), sib.end(), it);
  Item* next = nullptr;
  if (hadCaret) {
    if (pos + 1 != sib.end()) next = *(pos + 1);
    else if (pos != sib.begin()) next = *(pos - 1);
    else if (parent != &d->root) next = parent;
  }
  sib.erase(pos);
  FreeTree(hwnd, d, it);
  if (parent != &d->root && parent->kids.empty() && !parent->childrenSet) parent->state &= ~TVIS_EXPANDED;
  Layout(hwnd, d);
  if (hadCaret) SelectCaret(hwnd, d, next, TVC_UNKNOWN);
  return true;
}

Item* NextItem(HWND hwnd, TvData* d, UINT code, Item* it) {
  switch (code) {
    case TVGN_ROOT: return d->root.kids.empty() ? nullptr : d->root.kids.front();
    case TVGN_CARET: return d->caret;
    case TVGN_DROPHILITE: return d->drop;
    case TVGN_FIRSTVISIBLE: {
      std::vector<Item*> v = Visible(d);
      return d->top < static_cast<int>(v.size()) ? v[static_cast<size_t>(d->top)] : nullptr;
    }
    case TVGN_LASTVISIBLE: {
      std::vector<Item*> v = Visible(d);
      return v.empty() ? nullptr : v.back();
    }
    default: break;
  }
  if (!it) return nullptr;
  switch (code) {
    case TVGN_NEXT:
    case TVGN_PREVIOUS: {
      auto& sib = it->parent->kids;
      auto pos = std::find(sib.begin(), sib.end(), it);
      if (code == TVGN_NEXT) return pos + 1 != sib.end() ? *(pos + 1) : nullptr;
      return pos != sib.begin() ? *(pos - 1) : nullptr;
    }
    case TVGN_PARENT: return it->parent == &d->root ? nullptr : it->parent;
    case TVGN_CHILD: return it->kids.empty() ? nullptr : it->kids.front();
    case TVGN_NEXTVISIBLE:
    case TVGN_PREVIOUSVISIBLE: {
      std::vector<Item*> v = Visible(d);
      auto pos = std::find(v.begin(), v.end(), it);
      if (pos == v.end()) return nullptr;
      if (code == TVGN_NEXTVISIBLE) return pos + 1 != v.end() ? *(pos + 1) : nullptr;
      return pos != v.begin() ? *(pos - 1) : nullptr;
    }
    default: (void)hwnd; return nullptr;
  }
}

Item* HitTest(HWND hwnd, TvData* d, TVHITTESTINFO* ht) {
  RECT c;
  GetClientRect(hwnd, &c);
  ht->hItem = nullptr;
  ht->flags = 0;
  POINT p = ht->pt;
  if (p.y < 0) ht->flags |= TVHT_ABOVE;
  if (p.y >= c.bottom) ht->flags |= TVHT_BELOW;
  if (p.x < 0) ht->flags |= TVHT_TOLEFT;
  if (p.x >= c.right) ht->flags |= TVHT_TORIGHT;
  if (ht->flags) return nullptr;
  std::vector<Item*> v = Visible(d);
  int row = d->top + p.y / std::max(1, RowHeight(hwnd, d));
  if (row < 0 || row >= static_cast<int>(v.size())) {
    ht->flags = TVHT_NOWHERE;
    return nullptr;
  }
  Item* it = v[static_cast<size_t>(row)];
  Geometry g = GeometryOf(hwnd, d, it, row);
  ht->hItem = AsHandle(it);
  if (p.x >= g.button.left && p.x < g.button.right && HasChildren(it) && (Style(hwnd) & TVS_HASBUTTONS))
    ht->flags = TVHT_ONITEMBUTTON;
  else if (p.x < g.state.left) ht->flags = TVHT_ONITEMINDENT;
  else if (p.x < g.state.right) ht->flags = TVHT_ONITEMSTATEICON;
  else if (p.x < g.icon.right) ht->flags = TVHT_ONITEMICON;
  else if (p.x < g.text.right) ht->flags = TVHT_ONITEMLABEL;
  else ht->flags = TVHT_ONITEMRIGHT;
  return it;
}

void SortKids(HWND hwnd, Item* parent, const std::function<int(Item*, Item*)>& cmp, bool recurse) {
  std::vector<int> order(parent->kids.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
  std::vector<Item*> kids = parent->kids;
  kx::ctl::MergeSort(order, [&](int a, int b) { return cmp(kids[static_cast<size_t>(a)], kids[static_cast<size_t>(b)]); });
  for (size_t k = 0; k < order.size(); ++k) parent->kids[k] = kids[static_cast<size_t>(order[k])];
  if (recurse)
    for (Item* k : parent->kids) SortKids(hwnd, k, cmp, true);
}

// ----- painting -----
LRESULT CustomDraw(HWND hwnd, NMTVCUSTOMDRAW* cd, DWORD stage) {
  cd->nmcd.dwDrawStage = stage;
  return Notify(hwnd, &cd->nmcd.hdr, NM_CUSTOMDRAW);
}

void DrawItem(HWND hwnd, TvData* d, HDC hdc, Item* it, int row, NMTVCUSTOMDRAW* cd) {
  Geometry g = GeometryOf(hwnd, d, it, row);
  DWORD style = Style(hwnd);
  COLORREF lineColour = d->line == CLR_DEFAULT ? GetSysColor(COLOR_GRAYTEXT) : d->line;
  int midY = (g.row.top + g.row.bottom) / 2;
  if (style & TVS_HASLINES) {
    HPEN pen = CreatePen(PS_SOLID, 1, lineColour);
    HGDIOBJ op = SelectObject(hdc, pen);
    int cx = (g.button.left + g.button.right) / 2;
    bool rootLines = (style & TVS_LINESATROOT) || it->parent != &d->root;
    if (rootLines) {
      MoveToEx(hdc, cx, midY, nullptr);
      LineTo(hdc, g.button.right, midY);
      bool last = it->parent->kids.back() == it;
      bool first = it->parent == &d->root && it->parent->kids.front() == it;
      MoveToEx(hdc, cx, first ? midY : g.row.top, nullptr);
      LineTo(hdc, cx, last ? midY + 1 : g.row.bottom);
      // The lines of the ancestors that have later siblings pass through this row.
      int x = cx;
      for (Item* a = it->parent; a && a != &d->root; a = a->parent) {
        x -= d->indent;
        if (a->parent->kids.back() != a && (a->parent != &d->root || (style & TVS_LINESATROOT))) {
          MoveToEx(hdc, x, g.row.top, nullptr);
          LineTo(hdc, x, g.row.bottom);
        }
      }
    }
    SelectObject(hdc, op);
    DeleteObject(pen);
  }
  if ((style & TVS_HASBUTTONS) && HasChildren(it) && ((style & TVS_LINESATROOT) || it->parent != &d->root)) {
    int cx = (g.button.left + g.button.right) / 2;
    RECT b{cx - 4, midY - 4, cx + 5, midY + 5};
    FillRect(hdc, &b, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(hdc, &b, GetSysColorBrush(COLOR_BTNSHADOW));
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ op = SelectObject(hdc, pen);
    MoveToEx(hdc, cx - 2, midY, nullptr);
    LineTo(hdc, cx + 3, midY);
    if (!(it->state & TVIS_EXPANDED)) {
      MoveToEx(hdc, cx, midY - 2, nullptr);
      LineTo(hdc, cx, midY + 3);
    }
    SelectObject(hdc, op);
    DeleteObject(pen);
  }
  if (d->state && (it->state & TVIS_STATEIMAGEMASK))
    ImageList_Draw(d->state, static_cast<int>((it->state & TVIS_STATEIMAGEMASK) >> 12) - 1, hdc, g.state.left,
                   g.state.top + (g.state.bottom - g.state.top - IconSize(d->state, true)) / 2, ILD_TRANSPARENT);
  if (d->normal) {
    int img = (it->state & TVIS_SELECTED) ? it->selImage : it->image;
    ImageList_Draw(d->normal, img, hdc, g.icon.left,
                   g.icon.top + (g.icon.bottom - g.icon.top - IconSize(d->normal, true)) / 2,
                   ILD_TRANSPARENT | (it->state & TVIS_OVERLAYMASK));
  }
  bool selected = ((it->state & TVIS_SELECTED) && (d->focus || (style & TVS_SHOWSELALWAYS))) ||
                  (it->state & TVIS_DROPHILITED);
  COLORREF text = cd ? cd->clrText : TextColour(d);
  RECT tr = g.text;
  if (style & TVS_FULLROWSELECT) tr.right = g.row.right;
  if (selected) {
    bool active = d->focus || (it->state & TVIS_DROPHILITED);
    FillRect(hdc, &tr, GetSysColorBrush(active ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    text = GetSysColor(active ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
  } else if (cd && cd->clrTextBk != CLR_NONE && cd->clrTextBk != CLR_DEFAULT && cd->clrTextBk != BkColour(d)) {
    HBRUSH b = CreateSolidBrush(cd->clrTextBk);
    FillRect(hdc, &tr, b);
    DeleteObject(b);
  }
  HGDIOBJ of = SelectObject(hdc, FontFor(hwnd, d, it));
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, text);
  RECT t = g.text;
  t.left += 2;
  std::string s = ItemText(hwnd, it);
  DrawText(hdc, s.c_str(), -1, &t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  SelectObject(hdc, of);
  if (it == d->caret && d->focus) DrawFocusRect(hdc, &tr);
}

void Paint(HWND hwnd, TvData* d, HDC hdc, const RECT& client) {
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  HBRUSH bk = CreateSolidBrush(BkColour(d));
  FillRect(hdc, &client, bk);
  DeleteObject(bk);
  NMTVCUSTOMDRAW cd{};
  cd.nmcd.hdc = hdc;
  cd.nmcd.rc = client;
  LRESULT pre = CustomDraw(hwnd, &cd, CDDS_PREPAINT);
  if (!(pre & CDRF_SKIPDEFAULT)) {
    std::vector<Item*> v = Visible(d);
    int rows = client.bottom / std::max(1, RowHeight(hwnd, d)) + 1;
    for (int r = d->top; r < static_cast<int>(v.size()) && r < d->top + rows; ++r) {
      Item* it = v[static_cast<size_t>(r)];
      if (!d->live.count(it)) break;
      bool notify = (pre & CDRF_NOTIFYITEMDRAW) != 0;
      LRESULT ir = CDRF_DODEFAULT;
      if (notify) {
        cd = NMTVCUSTOMDRAW{};
        cd.nmcd.hdc = hdc;
        cd.nmcd.rc = GeometryOf(hwnd, d, it, r).row;
        cd.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(it);
        cd.nmcd.uItemState = ((it->state & TVIS_SELECTED) ? CDIS_SELECTED : 0) | (it == d->caret && d->focus ? CDIS_FOCUS : 0);
        cd.nmcd.lItemlParam = it->param;
        cd.clrText = TextColour(d);
        cd.clrTextBk = BkColour(d);
        cd.iLevel = Level(it);
        ir = CustomDraw(hwnd, &cd, CDDS_ITEMPREPAINT);
        if (ir & CDRF_SKIPDEFAULT) continue;
        if (!d->live.count(it)) break;
      }
      DrawItem(hwnd, d, hdc, it, r, notify ? &cd : nullptr);
      if (notify && (ir & CDRF_NOTIFYPOSTPAINT)) CustomDraw(hwnd, &cd, CDDS_ITEMPOSTPAINT);
    }
    if (pre & CDRF_NOTIFYPOSTPAINT) {
      cd = NMTVCUSTOMDRAW{};
      cd.nmcd.hdc = hdc;
      cd.nmcd.rc = client;
      CustomDraw(hwnd, &cd, CDDS_POSTPAINT);
    }
  }
  SelectObject(hdc, of);
}

void KeyDown(HWND hwnd, TvData* d, WPARAM vk) {
  NMTVKEYDOWN kd{};
  kd.wVKey = static_cast<WORD>(vk);
  Notify(hwnd, &kd.hdr, TVN_KEYDOWN);
  if (!IsWindow(hwnd)) return;
  std::vector<Item*> v = Visible(d);
  if (v.empty()) return;
  Item* cur = d->caret;
  int row = cur ? RowOf(d, cur) : -1;
  int page = PageRows(hwnd, d);
  auto go = [&](int r) { SelectCaret(hwnd, d, v[static_cast<size_t>(std::clamp(r, 0, static_cast<int>(v.size()) - 1))], TVC_BYKEYBOARD); };
  switch (vk) {
    case VK_UP: go(row < 0 ? 0 : row - 1); break;
    case VK_DOWN: go(row < 0 ? 0 : row + 1); break;
    case VK_HOME: go(0); break;
    case VK_END: go(static_cast<int>(v.size()) - 1); break;
    case VK_PRIOR: go(row - page + 1); break;
    case VK_NEXT: go(row + page - 1); break;
    case VK_LEFT:
      if (cur && (cur->state & TVIS_EXPANDED)) Expand(hwnd, d, cur, TVE_COLLAPSE, true);
      else if (cur && cur->parent != &d->root) SelectCaret(hwnd, d, cur->parent, TVC_BYKEYBOARD);
      break;
    case VK_RIGHT:
      if (cur && !(cur->state & TVIS_EXPANDED) && HasChildren(cur)) Expand(hwnd, d, cur, TVE_EXPAND, true);
      else if (cur && !cur->kids.empty()) SelectCaret(hwnd, d, cur->kids.front(), TVC_BYKEYBOARD);
      break;
    case VK_ADD:
      if (cur) Expand(hwnd, d, cur, TVE_EXPAND, true);
      break;
    case VK_SUBTRACT:
      if (cur) Expand(hwnd, d, cur, TVE_COLLAPSE, true);
      break;
    case VK_RETURN: {
      NMHDR nm{};
      Notify(hwnd, &nm, NM_RETURN);
      break;
    }
    default: break;
  }
}

void TypeAhead(HWND hwnd, TvData* d, char ch) {
  DWORD now = GetMessageTime();
  if (now - d->searchTime > 1000) d->search.clear();
  d->searchTime = now;
  d->search += ch;
  std::vector<Item*> v = Visible(d);
  if (v.empty()) return;
  int start = d->caret ? RowOf(d, d->caret) : -1;
  if (d->search.size() == 1) ++start;
  start = std::max(start, 0);
  for (size_t k = 0; k < v.size(); ++k) {
    Item* it = v[(static_cast<size_t>(start) + k) % v.size()];
    if (kx::ctl::StartsWithNoCase(ItemText(hwnd, it), d->search)) {
      SelectCaret(hwnd, d, it, TVC_BYKEYBOARD);
      return;
    }
  }
}

LRESULT CALLBACK TreeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TvData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      kx::SetControlData(hwnd, new TvData());
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_NCDESTROY:
      if (d) {
        for (Item* k : std::vector<Item*>(d->root.kids)) FreeTree(nullptr, d, k);
        if (d->bold) DeleteObject(d->bold);
      }
      delete d;
      kx::SetControlData<TvData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_DESTROY:
      for (Item* k : std::vector<Item*>(d->root.kids)) FreeTree(hwnd, d, k);
      d->root.kids.clear();
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
    case WM_STYLECHANGED:
      Layout(hwnd, d);
      return 0;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (d->bold) {
        DeleteObject(d->bold);
        d->bold = nullptr;
      }
      Layout(hwnd, d);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS: {
      d->focus = true;
      InvalidateRect(hwnd, nullptr, TRUE);
      NMHDR nm{};
      Notify(hwnd, &nm, NM_SETFOCUS);
      return 0;
    }
    case WM_KILLFOCUS: {
      d->focus = false;
      InvalidateRect(hwnd, nullptr, TRUE);
      NMHDR nm{};
      Notify(hwnd, &nm, NM_KILLFOCUS);
      return 0;
    }
    case WM_VSCROLL:
      SetTop(hwnd, d, kx::ctl::VScrollTop(hwnd, wp, d->top, static_cast<int>(Visible(d).size()), PageRows(hwnd, d)));
      return 0;
    case WM_MOUSEWHEEL:
      SetTop(hwnd, d, d->top - 3 * static_cast<short>(HIWORD(wp)) / 120);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      SetFocus(hwnd);
      if (!IsWindow(hwnd)) return 0;
      TVHITTESTINFO ht{};
      ht.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      Item* it = HitTest(hwnd, d, &ht);
      if (msg == WM_RBUTTONDOWN) {
        NMHDR nm{};
        Notify(hwnd, &nm, NM_RCLICK);
        return 0;
      }
      if (it && (ht.flags & TVHT_ONITEMBUTTON)) {
        Expand(hwnd, d, it, TVE_TOGGLE, true);
        return 0;
      }
      if (it && (ht.flags & (TVHT_ONITEM | TVHT_ONITEMRIGHT))) SelectCaret(hwnd, d, it, TVC_BYMOUSE);
      if (!IsWindow(hwnd)) return 0;
      NMHDR nm{};
      if (msg == WM_LBUTTONDBLCLK) {
        if (!Notify(hwnd, &nm, NM_DBLCLK) && IsWindow(hwnd) && it && d->live.count(it) &&
            (ht.flags & (TVHT_ONITEM | TVHT_ONITEMRIGHT)))
          Expand(hwnd, d, it, TVE_TOGGLE, true);
      } else {
        Notify(hwnd, &nm, NM_CLICK);
      }
      return 0;
    }
    case WM_KEYDOWN:
      KeyDown(hwnd, d, wp);
      return 0;
    case WM_CHAR:
      if (wp > 0x20 && wp != 0x7F && wp != '+' && wp != '-') TypeAhead(hwnd, d, static_cast<char>(wp));
      return 0;
    case TVM_INSERTITEMA: {
      auto* ins = reinterpret_cast<const TVINSERTSTRUCTA*>(lp);
      return ins ? reinterpret_cast<LRESULT>(Insert(hwnd, d, *ins)) : 0;
    }
    case TVM_DELETEITEM:
      return Delete(hwnd, d, reinterpret_cast<HTREEITEM>(lp)) ? TRUE : FALSE;
    case TVM_EXPAND:
      return Expand(hwnd, d, Resolve(d, reinterpret_cast<HTREEITEM>(lp)), static_cast<UINT>(wp), false) ? TRUE : FALSE;
    case TVM_GETITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      if (!r) return FALSE;
      Item* it = Resolve(d, *reinterpret_cast<HTREEITEM*>(lp));
      if (!it) return FALSE;
      int row = RowOf(d, it);
      if (row < 0) return FALSE;
      Geometry g = GeometryOf(hwnd, d, it, row);
      *r = wp ? g.text : g.row;
      return TRUE;
    }
    case TVM_GETCOUNT:
      return static_cast<LRESULT>(d->live.size());
    case TVM_GETINDENT:
      return d->indent;
    case TVM_SETINDENT:
      d->indent = std::max(static_cast<int>(wp), 4);
      Layout(hwnd, d);
      return 0;
    case TVM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(wp == TVSIL_STATE ? d->state : wp == TVSIL_NORMAL ? d->normal : nullptr);
    case TVM_SETIMAGELIST: {
      HIMAGELIST* slot = wp == TVSIL_STATE ? &d->state : wp == TVSIL_NORMAL ? &d->normal : nullptr;
      if (!slot) return 0;
      HIMAGELIST old = *slot;
      *slot = reinterpret_cast<HIMAGELIST>(lp);
      Layout(hwnd, d);
      return reinterpret_cast<LRESULT>(old);
    }
    case TVM_GETNEXTITEM:
      return reinterpret_cast<LRESULT>(NextItem(hwnd, d, static_cast<UINT>(wp), Resolve(d, reinterpret_cast<HTREEITEM>(lp))));
    case TVM_SELECTITEM: {
      Item* it = Resolve(d, reinterpret_cast<HTREEITEM>(lp));
      if (lp && !it) return FALSE;
      switch (wp & 0xFF) {
        case TVGN_CARET: return SelectCaret(hwnd, d, it, TVC_UNKNOWN) ? TRUE : FALSE;
        case TVGN_DROPHILITE:
          if (d->drop) d->drop->state &= ~TVIS_DROPHILITED;
          d->drop = it;
          if (it) it->state |= TVIS_DROPHILITED;
          InvalidateRect(hwnd, nullptr, TRUE);
          return TRUE;
        case TVGN_FIRSTVISIBLE:
          if (it) {
            EnsureVisible(hwnd, d, it);
            SetTop(hwnd, d, RowOf(d, it));
          }
          return TRUE;
        default: return FALSE;
      }
    }
    case TVM_GETITEMA: {
      auto* out = reinterpret_cast<TVITEMA*>(lp);
      if (!out) return FALSE;
      Item* it = Resolve(d, out->hItem);
      if (!it) return FALSE;
      UINT mask = out->mask;
      if (mask & TVIF_TEXT) kx::ctl::CopyOut(ItemText(hwnd, it), out->pszText, out->cchTextMax);
      if (mask & TVIF_IMAGE) out->iImage = it->image;
      if (mask & TVIF_SELECTEDIMAGE) out->iSelectedImage = it->selImage;
      if (mask & TVIF_PARAM) out->lParam = it->param;
      if (mask & TVIF_STATE) out->state = it->state & out->stateMask;
      if (mask & TVIF_CHILDREN) out->cChildren = it->childrenSet ? it->children : (it->kids.empty() ? 0 : 1);
      return TRUE;
    }
    case TVM_SETITEMA: {
      auto* in = reinterpret_cast<const TVITEMA*>(lp);
      if (!in) return FALSE;
      Item* it = Resolve(d, in->hItem);
      if (!it) return FALSE;
      if (in->mask & TVIF_TEXT) {
        it->textCallback = in->pszText == LPSTR_TEXTCALLBACKA;
        it->text = it->textCallback ? std::string() : kx::ctl::TextOf(in->pszText);
      }
      if (in->mask & TVIF_IMAGE) it->image = in->iImage;
      if (in->mask & TVIF_SELECTEDIMAGE) it->selImage = in->iSelectedImage;
      if (in->mask & TVIF_PARAM) it->param = in->lParam;
      if (in->mask & TVIF_STATE) {
        // The selection is the caret's; setting TVIS_SELECTED here only marks the item.
        it->state = (it->state & ~in->stateMask) | (in->state & in->stateMask);
        if (it == d->caret) it->state |= TVIS_SELECTED;
      }
      if (in->mask & TVIF_CHILDREN) {
        it->children = in->cChildren;
        it->childrenSet = true;
      }
      Layout(hwnd, d);
      return TRUE;
    }
    case TVM_EDITLABELA:
    case TVM_GETEDITCONTROL:
      return 0;
    case TVM_GETVISIBLECOUNT:
      return PageRows(hwnd, d);
    case TVM_HITTEST: {
      auto* ht = reinterpret_cast<TVHITTESTINFO*>(lp);
      return ht ? reinterpret_cast<LRESULT>(HitTest(hwnd, d, ht)) : 0;
    }
    case TVM_SORTCHILDREN: {
      Item* parent = lp && reinterpret_cast<HTREEITEM>(lp) != TVI_ROOT ? Resolve(d, reinterpret_cast<HTREEITEM>(lp)) : &d->root;
      if (!parent) return FALSE;
      SortKids(hwnd, parent, [&](Item* a, Item* b) { return CompareText(ItemText(hwnd, a), ItemText(hwnd, b)); }, wp != 0);
      Layout(hwnd, d);
      return TRUE;
    }
    case TVM_SORTCHILDRENCB: {
      auto* cb = reinterpret_cast<const TVSORTCB*>(lp);
      if (!cb || !cb->lpfnCompare) return FALSE;
      Item* parent = cb->hParent && cb->hParent != TVI_ROOT ? Resolve(d, cb->hParent) : &d->root;
      if (!parent) return FALSE;
      SortKids(hwnd, parent, [&](Item* a, Item* b) { return cb->lpfnCompare(a->param, b->param, cb->lParam); }, false);
      Layout(hwnd, d);
      return TRUE;
    }
    case TVM_ENSUREVISIBLE: {
      Item* it = Resolve(d, reinterpret_cast<HTREEITEM>(lp));
      if (!it) return FALSE;
      EnsureVisible(hwnd, d, it);
      return TRUE;
    }
    case TVM_SETITEMHEIGHT: {
      int old = RowHeight(hwnd, d);
      d->itemHeight = static_cast<int>(static_cast<short>(LOWORD(wp)));
      if (d->itemHeight < 0) d->itemHeight = 0;
      Layout(hwnd, d);
      return old;
    }
    case TVM_GETITEMHEIGHT:
      return RowHeight(hwnd, d);
    case TVM_SETBKCOLOR: {
      COLORREF old = d->bk;
      d->bk = static_cast<COLORREF>(lp) == CLR_DEFAULT ? CLR_NONE : static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return static_cast<LRESULT>(old == CLR_NONE ? static_cast<COLORREF>(-1) : old);
    }
    case TVM_SETTEXTCOLOR: {
      COLORREF old = d->text;
      d->text = static_cast<COLORREF>(lp) == CLR_DEFAULT ? CLR_NONE : static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return static_cast<LRESULT>(old == CLR_NONE ? static_cast<COLORREF>(-1) : old);
    }
    case TVM_GETBKCOLOR:
      return static_cast<LRESULT>(d->bk == CLR_NONE ? static_cast<COLORREF>(-1) : d->bk);
    case TVM_GETTEXTCOLOR:
      return static_cast<LRESULT>(d->text == CLR_NONE ? static_cast<COLORREF>(-1) : d->text);
    case TVM_GETITEMSTATE: {
      Item* it = Resolve(d, reinterpret_cast<HTREEITEM>(wp));
      return it ? (it->state & static_cast<UINT>(lp)) : 0;
    }
    case CCM_SETUNICODEFORMAT:
    case CCM_GETUNICODEFORMAT:
      return FALSE;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterTreeView() { kx::RegisterControlClass(WC_TREEVIEWA, TreeProc, CS_DBLCLKS); }

const bool kRegistered = kx::AddSystemClass(&RegisterTreeView);

}  // namespace
