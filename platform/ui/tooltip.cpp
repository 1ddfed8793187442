// The tooltip control ("tooltips_class32"): a pop-up that shows the text of the tool under the pointer. The owner
// relays mouse messages (TTM_RELAYEVENT), or the tool window is subclassed (TTF_SUBCLASS); after the initial
// delay the tip shows below the pointer, and it goes when the pointer leaves the tool or a button is pressed.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/display.h"
#include "platform/mfc/resource.h"
#include "platform/ui/ctlcommon.h"

namespace {

struct Tool {
  UINT flags = 0;
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  RECT rect{0, 0, 0, 0};
  HINSTANCE inst = nullptr;
  std::string text;
  bool callback = false;
  LPARAM param = 0;
};

struct TipData {
  std::vector<Tool> tools;
  bool active = true;
  int maxWidth = -1;
  int delays[4] = {0, 100, 5000, 500};  // automatic, reshow, autopop, initial
  COLORREF bk = CLR_DEFAULT, text = CLR_DEFAULT;
  RECT margin{0, 0, 0, 0};
  HFONT font = nullptr;
  int hot = -1;      // tool under the pointer
  int shown = -1;    // tool whose tip is shown
  bool tracking = false;
  POINT trackPos{0, 0};
  std::string shownText;
};

constexpr UINT_PTR kShowTimer = 1, kPopTimer = 2;
constexpr char kSubclassProp[] = "KxTooltip";
constexpr char kSubclassProcProp[] = "KxTooltipProc";

TipData* Data(HWND hwnd) { return kx::ControlData<TipData>(hwnd); }

bool SameTool(const Tool& t, HWND hwnd, UINT_PTR id) { return t.hwnd == hwnd && t.id == id; }

int FindTool(TipData* d, const TOOLINFOA* ti) {
  if (!ti) return -1;
  for (size_t i = 0; i < d->tools.size(); ++i)
    if (SameTool(d->tools[i], ti->hwnd, ti->uId)) return static_cast<int>(i);
  return -1;
}

void SetText(Tool& t, const TOOLINFOA& ti) {
  t.callback = ti.lpszText == LPSTR_TEXTCALLBACKA;
  t.inst = ti.hinst;
  if (t.callback) {
    t.text.clear();
  } else if (ti.lpszText && IS_INTRESOURCE(ti.lpszText)) {
    char buf[512] = {0};
    LoadString(ti.hinst, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(ti.lpszText)), buf, sizeof buf);
    t.text = buf;
  } else {
    t.text = kx::ctl::TextOf(ti.lpszText);
  }
}

std::string TextOf(HWND hwnd, Tool& t) {
  if (!t.callback) return t.text;
  NMTTDISPINFOA di{};
  di.hdr.hwndFrom = hwnd;
  di.hdr.idFrom = t.id;
  di.hdr.code = TTN_GETDISPINFOA;
  di.uFlags = t.flags;
  di.lParam = t.param;
  HWND to = t.hwnd ? t.hwnd : GetParent(hwnd);
  if (to) SendMessage(to, WM_NOTIFY, t.id, reinterpret_cast<LPARAM>(&di));
  if (di.lpszText && IS_INTRESOURCE(di.lpszText)) {
    char buf[512] = {0};
    LoadString(di.hinst, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(di.lpszText)), buf, sizeof buf);
    return buf;
  }
  if (di.lpszText && di.lpszText != LPSTR_TEXTCALLBACKA) return di.lpszText;
  return di.szText;
}

// The tool's area in screen coordinates.
RECT ToolScreenRect(const Tool& t) {
  RECT r{0, 0, 0, 0};
  if (t.flags & TTF_IDISHWND) {
    GetWindowRect(reinterpret_cast<HWND>(t.id), &r);
  } else if (t.hwnd) {
    r = t.rect;
    MapWindowPoints(t.hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

int ToolAt(TipData* d, POINT screen) {
  for (size_t i = 0; i < d->tools.size(); ++i) {
    RECT r = ToolScreenRect(d->tools[i]);
    if (PtInRect(&r, screen)) return static_cast<int>(i);
  }
  return -1;
}

SIZE TipSize(HWND hwnd, TipData* d, const std::string& text) {
  HDC hdc = GetDC(hwnd);
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  RECT r{0, 0, d->maxWidth > 0 ? d->maxWidth : 10000, 0};
  UINT fmt = DT_CALCRECT | DT_NOPREFIX | (d->maxWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  DrawText(hdc, text.c_str(), -1, &r, fmt);
  SelectObject(hdc, of);
  ReleaseDC(hwnd, hdc);
  return SIZE{r.right + 8 + d->margin.left + d->margin.right, r.bottom + 4 + d->margin.top + d->margin.bottom};
}

void Notify(HWND hwnd, TipData* d, UINT code, int tool) {
  if (tool < 0 || tool >= static_cast<int>(d->tools.size())) return;
  NMHDR nm{hwnd, d->tools[static_cast<size_t>(tool)].id, code};
  HWND to = d->tools[static_cast<size_t>(tool)].hwnd ? d->tools[static_cast<size_t>(tool)].hwnd : GetParent(hwnd);
  if (to) SendMessage(to, WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
}

void Pop(HWND hwnd, TipData* d) {
  KillTimer(hwnd, kPopTimer);
  if (d->shown < 0) return;
  int was = d->shown;
  d->shown = -1;
  ShowWindow(hwnd, SW_HIDE);
  Notify(hwnd, d, TTN_POP, was);
}

void Show(HWND hwnd, TipData* d, int tool, POINT at) {
  if (tool < 0 || tool >= static_cast<int>(d->tools.size())) return;
  std::string text = TextOf(hwnd, d->tools[static_cast<size_t>(tool)]);
  if (!IsWindow(hwnd) || tool >= static_cast<int>(d->tools.size())) return;
  if (text.empty()) {
    Pop(hwnd, d);
    return;
  }
  d->shownText = text;
  d->shown = tool;
  Notify(hwnd, d, TTN_SHOW, tool);
  SIZE s = TipSize(hwnd, d, text);
  int x = std::clamp(static_cast<int>(at.x), 0, std::max(0, kx::ui::ScreenWidth() - static_cast<int>(s.cx)));
  int y = at.y;
  if (y + s.cy > kx::ui::ScreenHeight()) y = at.y - s.cy - 24;
  SetWindowPos(hwnd, HWND_TOPMOST, x, y, s.cx, s.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(hwnd, nullptr, TRUE);
  if (d->delays[TTDT_AUTOPOP] > 0) SetTimer(hwnd, kPopTimer, static_cast<UINT>(d->delays[TTDT_AUTOPOP]), nullptr);
}

void Relay(HWND hwnd, TipData* d, const MSG& m) {
  if (!d->active || d->tracking) return;
  switch (m.message) {
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
      ClientToScreen(m.hwnd, &p);
      int tool = ToolAt(d, p);
      if (tool == d->hot) return;
      d->hot = tool;
      KillTimer(hwnd, kShowTimer);
      if (d->shown >= 0 && tool != d->shown) Pop(hwnd, d);
      if (tool >= 0) {
        int delay = d->shown >= 0 ? d->delays[TTDT_RESHOW] : d->delays[TTDT_INITIAL];
        SetTimer(hwnd, kShowTimer, static_cast<UINT>(std::max(delay, 1)), nullptr);
      }
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_MOUSELEAVE:
      KillTimer(hwnd, kShowTimer);
      Pop(hwnd, d);
      if (m.message == WM_MOUSELEAVE) d->hot = -1;
      return;
    default:
      return;
  }
}

LRESULT CALLBACK ToolSubclass(HWND tool, UINT msg, WPARAM wp, LPARAM lp) {
  HWND tip = static_cast<HWND>(GetProp(tool, kSubclassProp));
  auto base = reinterpret_cast<WNDPROC>(GetProp(tool, kSubclassProcProp));
  if (tip && IsWindow(tip) && ((msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) || msg == WM_MOUSELEAVE)) {
    MSG m{tool, msg, wp, lp, 0, POINT{0, 0}};
    SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
  }
  if (msg == WM_NCDESTROY && base) {
    SetWindowLongPtr(tool, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
    RemoveProp(tool, kSubclassProp);
    RemoveProp(tool, kSubclassProcProp);
  }
  return base ? CallWindowProc(base, tool, msg, wp, lp) : DefWindowProc(tool, msg, wp, lp);
}

void Subclass(HWND tip, const Tool& t) {
  HWND w = (t.flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(t.id) : t.hwnd;
  if (!w || GetProp(w, kSubclassProcProp)) return;
  SetProp(w, kSubclassProp, tip);
  SetProp(w, kSubclassProcProp,
          reinterpret_cast<HANDLE>(SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ToolSubclass))));
}

void Unsubclass(HWND tip, const Tool& t) {
  HWND w = (t.flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(t.id) : t.hwnd;
  if (!w || GetProp(w, kSubclassProp) != tip) return;
  auto base = GetProp(w, kSubclassProcProp);
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtr(w, GWLP_WNDPROC)) == &ToolSubclass && base)
    SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
  RemoveProp(w, kSubclassProp);
  RemoveProp(w, kSubclassProcProp);
}

void FillInfo(const Tool& t, TOOLINFOA* ti) {
  ti->uFlags = t.flags;
  ti->hwnd = t.hwnd;
  ti->uId = t.id;
  ti->rect = t.rect;
  ti->hinst = t.inst;
  ti->lParam = t.param;
  if (ti->lpszText && !t.callback) {
    // The caller's buffer is meant to hold the text (80 characters at least).
    kx::ctl::CopyOut(t.text, ti->lpszText, 80);
  } else if (t.callback) {
    ti->lpszText = LPSTR_TEXTCALLBACKA;
  }
}

void Paint(HWND hwnd, TipData* d, HDC hdc, const RECT& c) {
  HBRUSH bk = CreateSolidBrush(d->bk == CLR_DEFAULT ? GetSysColor(COLOR_INFOBK) : d->bk);
  FillRect(hdc, &c, bk);
  DeleteObject(bk);
  FrameRect(hdc, &c, GetSysColorBrush(COLOR_WINDOWFRAME));
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, d->text == CLR_DEFAULT ? GetSysColor(COLOR_INFOTEXT) : d->text);
  RECT t{c.left + 4 + d->margin.left, c.top + 2 + d->margin.top, c.right - 4 - d->margin.right, c.bottom - 2 - d->margin.bottom};
  DrawText(hdc, d->shownText.c_str(), -1, &t, DT_NOPREFIX | (d->maxWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(hdc, of);
}

LRESULT CALLBACK TooltipProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TipData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      kx::SetControlData(hwnd, new TipData());
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_NCDESTROY:
      if (d)
        for (const Tool& t : d->tools)
          if (t.flags & TTF_SUBCLASS) Unsubclass(hwnd, t);
      delete d;
      kx::SetControlData<TipData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_TIMER:
      if (wp == kShowTimer) {
        KillTimer(hwnd, kShowTimer);
        POINT p;
        GetCursorPos(&p);
        if (d->active && d->hot >= 0 && ToolAt(d, p) == d->hot) Show(hwnd, d, d->hot, POINT{p.x, p.y + 20});
      } else if (wp == kPopTimer) {
        Pop(hwnd, d);
      }
      return 0;
    case TTM_ACTIVATE:
      d->active = wp != 0;
      if (!d->active) {
        KillTimer(hwnd, kShowTimer);
        Pop(hwnd, d);
      }
      return 0;
    case TTM_ADDTOOLA: {
      auto* ti = reinterpret_cast<const TOOLINFOA*>(lp);
      if (!ti) return FALSE;
      Tool t;
      t.flags = ti->uFlags;
      t.hwnd = ti->hwnd;
      t.id = ti->uId;
      t.rect = ti->rect;
      t.param = ti->cbSize >= sizeof(TOOLINFOA) ? ti->lParam : 0;
      SetText(t, *ti);
      int existing = FindTool(d, ti);
      if (existing >= 0) d->tools[static_cast<size_t>(existing)] = t;
      else d->tools.push_back(t);
      if (t.flags & TTF_SUBCLASS) Subclass(hwnd, t);
      return TRUE;
    }
    case TTM_DELTOOLA: {
      int i = FindTool(d, reinterpret_cast<const TOOLINFOA*>(lp));
      if (i < 0) return 0;
      if (d->shown == i) Pop(hwnd, d);
      if (d->tools[static_cast<size_t>(i)].flags & TTF_SUBCLASS) Unsubclass(hwnd, d->tools[static_cast<size_t>(i)]);
      d->tools.erase(d->tools.begin() + i);
      if (d->shown > i) --d->shown;
      if (d->hot == i) d->hot = -1;
      else if (d->hot > i) --d->hot;
      return 0;
    }
    case TTM_NEWTOOLRECTA: {
      auto* ti = reinterpret_cast<const TOOLINFOA*>(lp);
      int i = FindTool(d, ti);
      if (i >= 0) d->tools[static_cast<size_t>(i)].rect = ti->rect;
      return 0;
    }
    case TTM_GETTOOLINFOA: {
      auto* ti = reinterpret_cast<TOOLINFOA*>(lp);
      int i = FindTool(d, ti);
      if (i < 0) return FALSE;
      FillInfo(d->tools[static_cast<size_t>(i)], ti);
      return TRUE;
    }
    case TTM_SETTOOLINFOA: {
      auto* ti = reinterpret_cast<const TOOLINFOA*>(lp);
      int i = FindTool(d, ti);
      if (i < 0) return 0;
      Tool& t = d->tools[static_cast<size_t>(i)];
      t.flags = ti->uFlags;
      t.rect = ti->rect;
      t.param = ti->lParam;
      SetText(t, *ti);
      return 0;
    }
    case TTM_UPDATETIPTEXTA: {
      auto* ti = reinterpret_cast<const TOOLINFOA*>(lp);
      int i = FindTool(d, ti);
      if (i < 0) return 0;
      SetText(d->tools[static_cast<size_t>(i)], *ti);
      if (d->shown == i) {
        d->shownText = TextOf(hwnd, d->tools[static_cast<size_t>(i)]);
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    }
    case TTM_GETTEXTA: {
      auto* ti = reinterpret_cast<TOOLINFOA*>(lp);
      int i = FindTool(d, ti);
      if (i < 0 || !ti->lpszText) return 0;
      std::string text = TextOf(hwnd, d->tools[static_cast<size_t>(i)]);
      int size = wp ? static_cast<int>(wp) : 80;
      kx::ctl::CopyOut(text, ti->lpszText, size);
      return static_cast<LRESULT>(std::min<size_t>(text.size(), static_cast<size_t>(size - 1)));
    }
    case TTM_GETTOOLCOUNT:
      return static_cast<LRESULT>(d->tools.size());
    case TTM_RELAYEVENT: {
      auto* m = reinterpret_cast<const MSG*>(lp);
      if (m) Relay(hwnd, d, *m);
      return 0;
    }
    case TTM_WINDOWFROMPOINT:
      return reinterpret_cast<LRESULT>(WindowFromPoint(*reinterpret_cast<const POINT*>(lp)));
    case TTM_TRACKACTIVATE: {
      auto* ti = reinterpret_cast<const TOOLINFOA*>(lp);
      int i = FindTool(d, ti);
      d->tracking = wp && i >= 0;
      if (d->tracking) Show(hwnd, d, i, d->trackPos);
      else Pop(hwnd, d);
      return 0;
    }
    case TTM_TRACKPOSITION:
      d->trackPos = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (d->tracking && d->shown >= 0) SetWindowPos(hwnd, nullptr, d->trackPos.x, d->trackPos.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    case TTM_SETDELAYTIME: {
      int v = static_cast<short>(LOWORD(lp));
      if (wp == TTDT_AUTOMATIC) {
        int base = v < 0 ? 500 : v;
        d->delays[TTDT_INITIAL] = base;
        d->delays[TTDT_RESHOW] = base / 5;
        d->delays[TTDT_AUTOPOP] = base * 10;
      } else if (wp <= TTDT_INITIAL) {
        static const int kDefault[4] = {500, 100, 5000, 500};
        d->delays[wp] = v < 0 ? kDefault[wp] : v;
      }
      return 0;
    }
    case TTM_GETDELAYTIME:
      return wp <= TTDT_INITIAL ? d->delays[wp == TTDT_AUTOMATIC ? TTDT_INITIAL : wp] : 0;
    case TTM_SETTIPBKCOLOR:
      d->bk = static_cast<COLORREF>(wp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TTM_SETTIPTEXTCOLOR:
      d->text = static_cast<COLORREF>(wp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TTM_GETTIPBKCOLOR:
      return d->bk == CLR_DEFAULT ? GetSysColor(COLOR_INFOBK) : d->bk;
    case TTM_GETTIPTEXTCOLOR:
      return d->text == CLR_DEFAULT ? GetSysColor(COLOR_INFOTEXT) : d->text;
    case TTM_SETMAXTIPWIDTH: {
      int old = d->maxWidth;
      d->maxWidth = static_cast<int>(lp);
      return old;
    }
    case TTM_GETMAXTIPWIDTH:
      return d->maxWidth;
    case TTM_SETMARGIN:
      if (lp) d->margin = *reinterpret_cast<const RECT*>(lp);
      return 0;
    case TTM_GETMARGIN:
      if (lp) *reinterpret_cast<RECT*>(lp) = d->margin;
      return 0;
    case TTM_POP:
      KillTimer(hwnd, kShowTimer);
      Pop(hwnd, d);
      return 0;
    case TTM_UPDATE:
      if (d->shown >= 0) {
        d->shownText = TextOf(hwnd, d->tools[static_cast<size_t>(d->shown)]);
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterTooltip() { kx::RegisterControlClass(TOOLTIPS_CLASSA, TooltipProc, CS_DBLCLKS | CS_SAVEBITS); }

const bool kRegistered = kx::AddSystemClass(&RegisterTooltip);

}  // namespace
