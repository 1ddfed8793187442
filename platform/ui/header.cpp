// The header control ("SysHeader32"): a row of column headings. A click on a heading (with HDS_BUTTONS) sends
// HDN_ITEMCLICK; dragging a divider resizes the column with HDN_BEGINTRACK / HDN_TRACK / HDN_ENDTRACK; every
// change of an item goes through HDN_ITEMCHANGING (the parent may refuse) and HDN_ITEMCHANGED. Headings with
// HDF_OWNERDRAW are drawn by the parent through WM_DRAWITEM (ODT_HEADER).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/ctlcommon.h"
#include "platform/ui/truncatedtip.h"

namespace {

struct HeaderItem {
  std::string text;
  int width = 0;
  int fmt = HDF_LEFT | HDF_STRING;
  LPARAM param = 0;
  int image = -1;
  HBITMAP bitmap = nullptr;
};

struct HeaderData {
  std::vector<HeaderItem> items;
  std::vector<int> order;  // display position -> item index
  HFONT font = nullptr;
  HIMAGELIST images = nullptr;
  int pressed = -1;      // item whose heading is held down
  bool pressedIn = false;
  int tracking = -1;     // item whose divider is dragged
  int trackStartX = 0;
  int trackStartWidth = 0;
  bool downOnItem = false;
  kx::ctl::TruncatedTip tip;  // the whole text of a heading drawn cut short
};


constexpr int kDivider = 4;  // half width of the grip around a divider

int HeaderHeight(HWND hwnd, HeaderData* d) { return kx::ctl::FontHeight(hwnd, d->font) + 7; }

// Rectangle of the item at its display position.
RECT ItemRect(HWND hwnd, HeaderData* d, int index) {
  RECT client;
  GetClientRect(hwnd, &client);
  int x = 0;
  for (int pos : d->order) {
    const HeaderItem& it = d->items[static_cast<size_t>(pos)];
    if (pos == index) return RECT{x, 0, x + it.width, client.bottom};
    x += it.width;
  }
  return RECT{0, 0, 0, 0};
}

LRESULT Notify(HWND hwnd, UINT code, int item, int button, HDITEMA* hdi) {
  NMHEADERA nm{};
  nm.iItem = item;
  nm.iButton = button;
  nm.pitem = hdi;
  return kx::NotifyParentNm(hwnd, &nm.hdr, code);
}

void FillItem(const HeaderItem& it, HDITEMA* out, int order) {
  if (out->mask & HDI_WIDTH) out->cxy = it.width;
  if (out->mask & HDI_TEXT) kx::ctl::CopyOut(it.text, out->pszText, out->cchTextMax);
  if (out->mask & HDI_FORMAT) out->fmt = it.fmt;
  if (out->mask & HDI_LPARAM) out->lParam = it.param;
  if (out->mask & HDI_IMAGE) out->iImage = it.image;
  if (out->mask & HDI_BITMAP) out->hbm = it.bitmap;
  if (out->mask & HDI_ORDER) out->iOrder = order;
}

void Apply(HeaderItem& it, const HDITEMA& in) {
  if (in.mask & HDI_WIDTH) it.width = std::max(0, in.cxy);
  if ((in.mask & HDI_TEXT) && in.pszText != LPSTR_TEXTCALLBACKA) it.text = kx::ctl::TextOf(in.pszText);
  if (in.mask & HDI_FORMAT) it.fmt = in.fmt;
  if (in.mask & HDI_LPARAM) it.param = in.lParam;
  if (in.mask & HDI_IMAGE) it.image = in.iImage;
  if (in.mask & HDI_BITMAP) it.bitmap = in.hbm;
}

int OrderOf(HeaderData* d, int index) {
  for (size_t i = 0; i < d->order.size(); ++i)
    if (d->order[i] == index) return static_cast<int>(i);
  return -1;
}

// Sets an item with the notifications around it; false when the parent refused.
bool SetItem(HWND hwnd, HeaderData* d, int index, const HDITEMA& in) {
  if (index < 0 || index >= static_cast<int>(d->items.size())) return false;
  HDITEMA copy = in;
  if (Notify(hwnd, HDN_ITEMCHANGINGA, index, 0, &copy)) return false;
  if (!IsWindow(hwnd) || index >= static_cast<int>(d->items.size())) return false;
  Apply(d->items[static_cast<size_t>(index)], in);
  if ((in.mask & HDI_ORDER) && in.iOrder >= 0 && in.iOrder < static_cast<int>(d->order.size())) {
    d->order.erase(d->order.begin() + OrderOf(d, index));
    d->order.insert(d->order.begin() + in.iOrder, index);
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  Notify(hwnd, HDN_ITEMCHANGEDA, index, 0, &copy);
  return true;
}

void HitTest(HWND hwnd, HeaderData* d, HDHITTESTINFO* ht) {
  RECT client;
  GetClientRect(hwnd, &client);
  ht->iItem = -1;
  ht->flags = 0;
  POINT p = ht->pt;
  if (p.y < client.top) ht->flags |= HHT_ABOVE;
  if (p.y >= client.bottom) ht->flags |= HHT_BELOW;
  if (p.x < client.left) ht->flags |= HHT_TOLEFT;
  if (p.x >= client.right) ht->flags |= HHT_TORIGHT;
  if (ht->flags) return;
  int x = 0;
  for (size_t k = 0; k < d->order.size(); ++k) {
    int idx = d->order[k];
    int w = d->items[static_cast<size_t>(idx)].width;
    int right = x + w;
    if (std::abs(p.x - right) <= kDivider && (p.x >= right - kDivider)) {
      // A divider belongs to the item on its left; a zero-width item right of it opens it.
      ht->iItem = idx;
      ht->flags = HHT_ONDIVIDER;
      if (k + 1 < d->order.size() && d->items[static_cast<size_t>(d->order[k + 1])].width == 0 && p.x > right) {
        ht->iItem = d->order[k + 1];
        ht->flags = HHT_ONDIVOPEN;
      }
      return;
    }
    if (p.x >= x && p.x < right) {
      ht->iItem = idx;
      ht->flags = HHT_ONHEADER;
      return;
    }
    x = right;
  }
  ht->flags = HHT_NOWHERE;
}

// Where a heading's parts go: its text, and the image and sort mark beside it. The tip of a cut-short heading
// measures the same text room that the drawing uses.
struct HeadingParts {
  RECT text;
  bool image = false;
  int imageX = 0, icx = 0, icy = 0;
  int sortX = 0;  // the sort mark's centre
};
constexpr int kSortMark = 4;

HeadingParts LayOutHeading(HeaderData* d, const HeaderItem& it, const RECT& r, bool down) {
  HeadingParts p;
  p.text = r;
  InflateRect(&p.text, -6, 0);
  if (down) OffsetRect(&p.text, 1, 1);
  if ((it.fmt & HDF_IMAGE) && d->images && it.image >= 0 && ImageList_GetIconSize(d->images, &p.icx, &p.icy)) {
    p.image = true;
    if (it.fmt & HDF_BITMAP_ON_RIGHT) {
      p.imageX = p.text.right - p.icx;
      p.text.right -= p.icx + 3;
    } else {
      p.imageX = p.text.left;
      p.text.left += p.icx + 3;
    }
  }
  if (it.fmt & (HDF_SORTUP | HDF_SORTDOWN)) {
    p.sortX = p.text.right - 5;
    p.text.right -= 2 * kSortMark + 6;
  }
  return p;
}

void DrawHeading(HWND hwnd, HeaderData* d, HDC hdc, int index, const RECT& r) {
  const HeaderItem& it = d->items[static_cast<size_t>(index)];
  bool down = d->pressed == index && d->pressedIn;
  if (it.fmt & HDF_OWNERDRAW) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_HEADER;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    dis.itemID = static_cast<UINT>(index);
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = down ? ODS_SELECTED : 0;
    dis.hwndItem = hwnd;
    dis.hDC = hdc;
    dis.rcItem = r;
    dis.itemData = static_cast<ULONG_PTR>(it.param);
    int saved = SaveDC(hdc);
    // The owner draws on the heading's face: text goes on it without a background box of its own.
    SetBkMode(hdc, TRANSPARENT);
    SetBkColor(hdc, GetSysColor(COLOR_BTNFACE));
    SendMessage(GetParent(hwnd), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    RestoreDC(hdc, saved);
    return;
  }
  RECT e = r;
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  FillRect(hdc, &e, GetSysColorBrush(COLOR_BTNFACE));
  if (down) DrawEdge(hdc, &e, BDR_SUNKENOUTER, BF_RECT);
  else if (style & HDS_FLAT) DrawEdge(hdc, &e, BDR_RAISEDINNER, BF_RIGHT | BF_BOTTOM);
  else DrawEdge(hdc, &e, EDGE_RAISED, BF_RECT | BF_SOFT);
  HeadingParts parts = LayOutHeading(d, it, r, down);
  RECT t = parts.text;
  if (parts.image)
    ImageList_Draw(d->images, it.image, hdc, parts.imageX, r.top + (r.bottom - r.top - parts.icy) / 2, ILD_TRANSPARENT);
  if (it.fmt & (HDF_SORTUP | HDF_SORTDOWN)) {
    // A small triangle at the right edge shows the sort direction.
    int h = kSortMark, cx = parts.sortX, cy = (r.top + r.bottom) / 2;
    POINT pts[3];
    if (it.fmt & HDF_SORTUP) {
      pts[0] = POINT{cx - h, cy + h / 2};
      pts[1] = POINT{cx + h, cy + h / 2};
      pts[2] = POINT{cx, cy - h / 2};
    } else {
      pts[0] = POINT{cx - h, cy - h / 2};
      pts[1] = POINT{cx + h, cy - h / 2};
      pts[2] = POINT{cx, cy + h / 2};
    }
    HGDIOBJ ob = SelectObject(hdc, GetSysColorBrush(COLOR_BTNSHADOW));
    HGDIOBJ op = SelectObject(hdc, GetStockObject(NULL_PEN));
    Polygon(hdc, pts, 3);
    SelectObject(hdc, ob);
    SelectObject(hdc, op);
  }
  if (t.right > t.left && !it.text.empty()) {
    UINT fmt = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    int j = it.fmt & HDF_JUSTIFYMASK;
    fmt |= j == HDF_CENTER ? DT_CENTER : j == HDF_RIGHT ? DT_RIGHT : DT_LEFT;
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawText(hdc, it.text.c_str(), -1, &t, fmt);
  }
}

void Paint(HWND hwnd, HeaderData* d, HDC hdc, const RECT& client) {
  HGDIOBJ old = SelectObject(hdc, kx::ControlFont(d->font));
  int x = 0;
  for (int idx : d->order) {
    RECT r{x, 0, x + d->items[static_cast<size_t>(idx)].width, client.bottom};
    x = r.right;
    if (r.right > r.left) DrawHeading(hwnd, d, hdc, idx, r);
    SelectObject(hdc, kx::ControlFont(d->font));
  }
  if (x < client.right) {
    RECT rest{x, 0, client.right, client.bottom};
    FillRect(hdc, &rest, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(hdc, &rest, EDGE_RAISED, BF_RECT | BF_SOFT);
  }
  SelectObject(hdc, old);
}

void EndTrack(HWND hwnd, HeaderData* d, bool commit) {
  int item = d->tracking;
  d->tracking = -1;
  if (GetCapture() == hwnd) ReleaseCapture();
  if (item < 0 || item >= static_cast<int>(d->items.size())) return;
  HDITEMA hdi{};
  hdi.mask = HDI_WIDTH;
  hdi.cxy = d->items[static_cast<size_t>(item)].width;
  Notify(hwnd, HDN_ENDTRACKA, item, 0, &hdi);
  if (!commit) {
    hdi.cxy = d->trackStartWidth;
    SetItem(hwnd, d, item, hdi);
  }
}

// Room for a heading's text, as the drawing lays it out.
int TextRoom(HeaderData* d, const HeaderItem& it, const RECT& r) {
  RECT t = LayOutHeading(d, it, r, false).text;
  return t.right - t.left;
}

// The whole text of the heading under the pointer, shown in a tip when the heading draws it cut short.
void HeadingTip(HWND hwnd, HeaderData* d, UINT msg, WPARAM wp, LPARAM lp) {
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  if (msg == WM_MOUSEMOVE && d->tracking < 0 && d->pressed < 0)
    for (int index : d->order) {
      const HeaderItem& it = d->items[static_cast<size_t>(index)];
      RECT r = ItemRect(hwnd, d, index);
      if (!PtInRect(&r, p) || (it.fmt & HDF_OWNERDRAW)) continue;
      d->tip.Hover(hwnd, msg, wp, lp, r, it.text, kx::ctl::TextWidth(hwnd, d->font, it.text) > TextRoom(d, it, r));
      return;
    }
  d->tip.Leave(hwnd, msg, wp, lp);
}

LRESULT CALLBACK HeaderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT early = 0;
  HeaderData* d = kx::ctl::Lifetime<HeaderData>(hwnd, msg, wp, lp, &early);
  if (!d) return early;
  if (msg == WM_MOUSEMOVE || msg == WM_MOUSELEAVE || msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN ||
      msg == WM_LBUTTONDBLCLK)
    HeadingTip(hwnd, d, msg, wp, lp);
  switch (msg) {
    case WM_DESTROY:
      d->tip.Destroy();
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case HDM_GETITEMCOUNT:
      return static_cast<LRESULT>(d->items.size());
    case HDM_INSERTITEMA: {
      auto* in = reinterpret_cast<const HDITEMA*>(lp);
      if (!in) return -1;
      int index = std::clamp(static_cast<int>(wp), 0, static_cast<int>(d->items.size()));
      HeaderItem it;
      Apply(it, *in);
      for (int& o : d->order)
        if (o >= index) ++o;
      d->items.insert(d->items.begin() + index, it);
      int pos = (in->mask & HDI_ORDER) ? std::clamp(in->iOrder, 0, static_cast<int>(d->order.size()))
                                       : std::clamp(index, 0, static_cast<int>(d->order.size()));
      d->order.insert(d->order.begin() + pos, index);
      InvalidateRect(hwnd, nullptr, TRUE);
      return index;
    }
    case HDM_DELETEITEM: {
      int index = static_cast<int>(wp);
      if (index < 0 || index >= static_cast<int>(d->items.size())) return FALSE;
      d->items.erase(d->items.begin() + index);
      d->order.erase(d->order.begin() + OrderOf(d, index));
      for (int& o : d->order)
        if (o > index) --o;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case HDM_GETITEMA: {
      auto* out = reinterpret_cast<HDITEMA*>(lp);
      int index = static_cast<int>(wp);
      if (!out || index < 0 || index >= static_cast<int>(d->items.size())) return FALSE;
      FillItem(d->items[static_cast<size_t>(index)], out, OrderOf(d, index));
      return TRUE;
    }
    case HDM_SETITEMA: {
      auto* in = reinterpret_cast<const HDITEMA*>(lp);
      return in && SetItem(hwnd, d, static_cast<int>(wp), *in) ? TRUE : FALSE;
    }
    case HDM_LAYOUT: {
      auto* lay = reinterpret_cast<HDLAYOUT*>(lp);
      if (!lay || !lay->prc || !lay->pwpos) return FALSE;
      DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
      int h = (style & HDS_HIDDEN) ? 0 : HeaderHeight(hwnd, d);
      RECT* r = lay->prc;
      *lay->pwpos = WINDOWPOS{hwnd, nullptr, r->left, r->top, r->right - r->left, h, SWP_NOZORDER | SWP_NOACTIVATE};
      r->top += h;
      return TRUE;
    }
    case HDM_HITTEST: {
      auto* ht = reinterpret_cast<HDHITTESTINFO*>(lp);
      if (!ht) return -1;
      HitTest(hwnd, d, ht);
      return ht->iItem;
    }
    case HDM_GETITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      int index = static_cast<int>(wp);
      if (!r || index < 0 || index >= static_cast<int>(d->items.size())) return FALSE;
      *r = ItemRect(hwnd, d, index);
      return TRUE;
    }
    case HDM_SETIMAGELIST: {
      HIMAGELIST old = d->images;
      d->images = reinterpret_cast<HIMAGELIST>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case HDM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(d->images);
    case HDM_ORDERTOINDEX: {
      int pos = static_cast<int>(wp);
      return pos >= 0 && pos < static_cast<int>(d->order.size()) ? d->order[static_cast<size_t>(pos)] : pos;
    }
    case HDM_GETORDERARRAY: {
      auto* out = reinterpret_cast<int*>(lp);
      if (!out || wp != d->order.size()) return FALSE;
      std::copy(d->order.begin(), d->order.end(), out);
      return TRUE;
    }
    case HDM_SETORDERARRAY: {
      auto* in = reinterpret_cast<const int*>(lp);
      if (!in || wp != d->order.size()) return FALSE;
      std::vector<int> order(in, in + wp);
      if (!kx::ctl::IsPermutation(order)) return FALSE;
      d->order = order;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      HDHITTESTINFO ht{};
      ht.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      HitTest(hwnd, d, &ht);
      if (ht.flags & (HHT_ONDIVIDER | HHT_ONDIVOPEN)) {
        if (msg == WM_LBUTTONDBLCLK) {
          Notify(hwnd, HDN_DIVIDERDBLCLICKA, ht.iItem, 0, nullptr);
          return 0;
        }
        HDITEMA hdi{};
        hdi.mask = HDI_WIDTH;
        hdi.cxy = d->items[static_cast<size_t>(ht.iItem)].width;
        if (Notify(hwnd, HDN_BEGINTRACKA, ht.iItem, 0, &hdi)) return 0;
        d->tracking = ht.iItem;
        d->trackStartX = ht.pt.x;
        d->trackStartWidth = hdi.cxy;
        SetCapture(hwnd);
        return 0;
      }
      if (ht.flags & HHT_ONHEADER) {
        // A double click is announced, and its second press is a click as well.
        if (msg == WM_LBUTTONDBLCLK) Notify(hwnd, HDN_ITEMDBLCLICKA, ht.iItem, 0, nullptr);
        if (!IsWindow(hwnd)) return 0;
        if (GetWindowLongPtr(hwnd, GWL_STYLE) & HDS_BUTTONS) {
          d->pressed = ht.iItem;
          d->pressedIn = true;
          SetCapture(hwnd);
          RECT r = ItemRect(hwnd, d, ht.iItem);
          InvalidateRect(hwnd, &r, TRUE);
        }
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (d->tracking >= 0) {
        HDITEMA hdi{};
        hdi.mask = HDI_WIDTH;
        hdi.cxy = std::max(0, d->trackStartWidth + p.x - d->trackStartX);
        if (!Notify(hwnd, HDN_TRACKA, d->tracking, 0, &hdi)) SetItem(hwnd, d, d->tracking, hdi);
        return 0;
      }
      if (d->pressed >= 0) {
        RECT r = ItemRect(hwnd, d, d->pressed);
        bool in = PtInRect(&r, p) != FALSE;
        if (in != d->pressedIn) {
          d->pressedIn = in;
          InvalidateRect(hwnd, &r, TRUE);
        }
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (d->tracking >= 0) {
        EndTrack(hwnd, d, true);
        return 0;
      }
      if (d->pressed >= 0) {
        int item = d->pressed;
        bool in = d->pressedIn;
        d->pressed = -1;
        d->pressedIn = false;
        if (GetCapture() == hwnd) ReleaseCapture();
        RECT r = ItemRect(hwnd, d, item);
        InvalidateRect(hwnd, &r, TRUE);
        if (in) Notify(hwnd, HDN_ITEMCLICKA, item, 0, nullptr);
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != hwnd) {
        if (d->tracking >= 0) EndTrack(hwnd, d, false);
        if (d->pressed >= 0) {
          d->pressed = -1;
          InvalidateRect(hwnd, nullptr, TRUE);
        }
      }
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_ESCAPE && d->tracking >= 0) EndTrack(hwnd, d, false);
      return 0;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterHeader() { kx::RegisterControlClass(WC_HEADERA, HeaderProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

const bool kRegistered = kx::AddSystemClass(&RegisterHeader);

}  // namespace
