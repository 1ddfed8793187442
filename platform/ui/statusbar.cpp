// The status bar ("msctls_statusbar32"): a strip along the bottom of its parent with parts of text, or one
// simple text. It places itself again whenever it receives WM_SIZE (its parent forwards its own).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/ctlcommon.h"

namespace {

struct SbPart {
  std::string text;
  UINT flags = 0;
  int right = -1;  // -1: to the right edge
  HICON icon = nullptr;
  LPARAM ownerData = 0;
  UINT id = 0;
};

struct SbData {
  std::vector<SbPart> parts{1};
  SbPart simplePart;
  bool simple = false;
  int minHeight = 0;
  HFONT font = nullptr;
  COLORREF bk = CLR_DEFAULT;
};

DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

constexpr int kBorderX = 0, kBorderY = 2, kBetween = 2;

int BarHeight(HWND hwnd, SbData* d) {
  return std::max(kx::ctl::FontHeight(hwnd, d->font) + 2 * kBorderY + 4, d->minHeight + 2 * kBorderY);
}

// Places the bar along the bottom (or top) of its parent's client area.
void Place(HWND hwnd, SbData* d) {
  DWORD style = Style(hwnd);
  HWND parent = GetParent(hwnd);
  if (!parent) return;
  RECT pc;
  GetClientRect(parent, &pc);
  int h = BarHeight(hwnd, d);
  if (style & CCS_NORESIZE) {
    RECT wr;
    GetWindowRect(hwnd, &wr);
    h = wr.bottom - wr.top;
  }
  if (style & CCS_NOPARENTALIGN) return;
  bool top = (style & 3) == CCS_TOP;
  int y = top ? 0 : pc.bottom - h;
  SetWindowPos(hwnd, nullptr, 0, y, pc.right, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT PartRect(HWND hwnd, SbData* d, int part) {
  RECT c;
  GetClientRect(hwnd, &c);
  if (d->simple) return RECT{kBorderX, kBorderY, c.right - kBorderX, c.bottom};
  int left = kBorderX;
  for (int i = 0; i < static_cast<int>(d->parts.size()); ++i) {
    int right = d->parts[static_cast<size_t>(i)].right;
    if (right < 0 || right > c.right) right = c.right;
    if (i == part) return RECT{left, kBorderY, std::max(left, right), c.bottom};
    left = right + kBetween;
  }
  return RECT{0, 0, 0, 0};
}

void DrawPart(HWND hwnd, HDC hdc, const SbPart& p, int index, RECT r, UINT id) {
  if (!(p.flags & SBT_NOBORDERS)) DrawEdge(hdc, &r, (p.flags & SBT_POPOUT) ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
  InflateRect(&r, -1, -1);
  if (p.flags & SBT_OWNERDRAW) {
    DRAWITEMSTRUCT dis{};
    dis.CtlID = id;
    dis.itemID = static_cast<UINT>(index);
    dis.itemAction = ODA_DRAWENTIRE;
    dis.hwndItem = hwnd;
    dis.hDC = hdc;
    dis.rcItem = r;
    dis.itemData = static_cast<ULONG_PTR>(p.ownerData);
    SendMessage(GetParent(hwnd), WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&dis));
    return;
  }
  if (p.icon) {
    int s = r.bottom - r.top;
    DrawIconEx(hdc, r.left + 1, r.top, p.icon, s, s, 0, nullptr, DI_NORMAL);
    r.left += s + 3;
  }
  // Tabs split the text into left, centred and right-aligned pieces.
  std::vector<std::string> pieces{std::string()};
  for (char c : p.text) {
    if (c == '\t' && !(p.flags & SBT_NOTABPARSING) && pieces.size() < 3) pieces.emplace_back();
    else pieces.back() += c;
  }
  static const UINT kAlign[] = {DT_LEFT, DT_CENTER, DT_RIGHT};
  RECT t = r;
  t.left += 2;
  t.right -= 2;
  for (size_t k = 0; k < pieces.size(); ++k)
    if (!pieces[k].empty())
      DrawText(hdc, pieces[k].c_str(), -1, &t, kAlign[k] | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void Paint(HWND hwnd, SbData* d, HDC hdc, const RECT& client) {
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  HBRUSH bk = CreateSolidBrush(d->bk == CLR_DEFAULT ? GetSysColor(COLOR_BTNFACE) : d->bk);
  FillRect(hdc, &client, bk);
  DeleteObject(bk);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
  UINT id = static_cast<UINT>(GetDlgCtrlID(hwnd));
  if (d->simple) {
    DrawPart(hwnd, hdc, d->simplePart, SB_SIMPLEID, PartRect(hwnd, d, 0), id);
  } else {
    for (size_t i = 0; i < d->parts.size(); ++i) DrawPart(hwnd, hdc, d->parts[i], static_cast<int>(i), PartRect(hwnd, d, static_cast<int>(i)), id);
  }
  if (Style(hwnd) & SBARS_SIZEGRIP) {
    RECT g{client.right - 14, client.bottom - 14, client.right, client.bottom};
    DrawFrameControl(hdc, &g, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
  }
  SelectObject(hdc, of);
}

SbPart* PartOf(SbData* d, int index) {
  if (index == SB_SIMPLEID) return &d->simplePart;
  if (index < 0 || index >= static_cast<int>(d->parts.size())) return nullptr;
  return &d->parts[static_cast<size_t>(index)];
}

LRESULT CALLBACK StatusProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT early = 0;
  SbData* d = kx::ctl::Lifetime<SbData>(hwnd, msg, wp, lp, &early);
  if (!d) return early;
  switch (msg) {
    case WM_CREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      if (cs && cs->lpszName) d->parts[0].text = cs->lpszName;
      Place(hwnd, d);
      return 0;
    }
    case WM_SIZE:
      // The parent forwards its own WM_SIZE; the bar follows the parent.
      if (!(Style(hwnd) & CCS_NOPARENTALIGN)) {
        static thread_local bool placing = false;
        if (!placing) {
          placing = true;
          Place(hwnd, d);
          placing = false;
        }
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      Place(hwnd, d);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_SETTEXT:
      d->parts[0].text = kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp));
      DefWindowProc(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case WM_GETTEXT:
      return kx::ctl::CopyOut(d->parts[0].text, reinterpret_cast<char*>(lp), static_cast<int>(wp));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(d->parts[0].text.size());
    case WM_NCHITTEST: {
      if (Style(hwnd) & SBARS_SIZEGRIP) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(hwnd, &p);
        RECT c;
        GetClientRect(hwnd, &c);
        if (p.x >= c.right - 14 && p.y >= c.bottom - 14) return HTBOTTOMRIGHT;
      }
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case SB_SETTEXTA: {
      int part = static_cast<int>(wp & 0xFF);
      SbPart* p = PartOf(d, part);
      if (!p) return FALSE;
      p->flags = static_cast<UINT>(wp & 0xFF00);
      if (p->flags & SBT_OWNERDRAW) {
        p->ownerData = lp;
        p->text.clear();
      } else {
        p->text = kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp));
      }
      RECT r = PartRect(hwnd, d, part == SB_SIMPLEID ? 0 : part);
      InvalidateRect(hwnd, &r, TRUE);
      return TRUE;
    }
    case SB_GETTEXTA:
    case SB_GETTEXTLENGTHA: {
      SbPart* p = PartOf(d, static_cast<int>(wp));
      if (!p) return 0;
      if (p->flags & SBT_OWNERDRAW) return p->ownerData;
      if (msg == SB_GETTEXTA && lp) {
        char* out = reinterpret_cast<char*>(lp);
        std::copy(p->text.begin(), p->text.end(), out);
        out[p->text.size()] = '\0';
      }
      return MAKELONG(static_cast<WORD>(p->text.size()), static_cast<WORD>(p->flags));
    }
    case SB_SETPARTS: {
      auto* rights = reinterpret_cast<const INT*>(lp);
      int n = static_cast<int>(wp);
      if (n <= 0 || n > 256 || !rights) return FALSE;
      d->parts.resize(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) d->parts[static_cast<size_t>(i)].right = rights[i];
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case SB_GETPARTS: {
      auto* out = reinterpret_cast<INT*>(lp);
      if (out)
        for (size_t i = 0; i < d->parts.size() && i < wp; ++i) out[i] = d->parts[i].right;
      return static_cast<LRESULT>(d->parts.size());
    }
    case SB_GETBORDERS: {
      auto* out = reinterpret_cast<INT*>(lp);
      if (!out) return FALSE;
      out[0] = kBorderX;
      out[1] = kBorderY;
      out[2] = kBetween;
      return TRUE;
    }
    case SB_SETMINHEIGHT:
      d->minHeight = static_cast<int>(wp);
      return 0;
    case SB_SIMPLE:
      d->simple = wp != 0;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case SB_ISSIMPLE:
      return d->simple ? TRUE : FALSE;
    case SB_GETRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      int part = static_cast<int>(wp);
      if (!r || (!d->simple && (part < 0 || part >= static_cast<int>(d->parts.size())))) return FALSE;
      *r = PartRect(hwnd, d, part);
      return TRUE;
    }
    case SB_SETICON: {
      SbPart* p = PartOf(d, static_cast<int>(static_cast<INT_PTR>(wp) == -1 ? SB_SIMPLEID : wp));
      if (!p) return FALSE;
      p->icon = reinterpret_cast<HICON>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case SB_GETICON: {
      SbPart* p = PartOf(d, static_cast<int>(wp));
      return p ? reinterpret_cast<LRESULT>(p->icon) : 0;
    }
    case kx::ctl::kSbSetPaneId: {
      SbPart* p = PartOf(d, static_cast<int>(wp));
      if (!p || wp == SB_SIMPLEID) return FALSE;
      p->id = static_cast<UINT>(lp);
      return TRUE;
    }
    case kx::ctl::kSbGetPaneId: {
      SbPart* p = PartOf(d, static_cast<int>(wp));
      return p && wp != SB_SIMPLEID ? static_cast<LRESULT>(p->id) : -1;
    }
    case CCM_SETBKCOLOR: {
      COLORREF old = d->bk;
      d->bk = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return old;
    }
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterStatusBar() { kx::RegisterControlClass(STATUSCLASSNAMEA, StatusProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

const bool kRegistered = kx::AddSystemClass(&RegisterStatusBar);

}  // namespace

HWND CreateStatusWindow(LONG style, LPCSTR text, HWND parent, UINT id) {
  return CreateWindowEx(0, STATUSCLASSNAMEA, text, static_cast<DWORD>(style), 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
}
