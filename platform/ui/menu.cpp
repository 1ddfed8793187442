// Menus and the popup-menu window "#32768". TrackPopupMenu runs a modal loop of its own: the innermost menu window
// holds the mouse capture, key messages are sent to it, and its window procedure acts on both; messages for other
// windows are dispatched as usual, so timers and sent messages keep working while a menu is open.
#include "platform/ui/display.h"
#include "platform/ui/menu.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi/internal.h"
#include "platform/ui/control.h"
#include "platform/ui/ctlcommon.h"
#include "platform/win32/errors.h"

namespace {

struct Menu;

struct MenuItem {
  UINT type = MFT_STRING;
  UINT state = 0;
  UINT id = 0;
  Menu* sub = nullptr;
  HBITMAP checked = nullptr, unchecked = nullptr;
  HBITMAP bitmap = nullptr;  // MFT_BITMAP's picture or hbmpItem
  ULONG_PTR data = 0;
  std::string text;
  RECT rect{0, 0, 0, 0};  // client coordinates of the shown menu window
};

struct Menu {
  bool popup = true;
  std::vector<MenuItem> items;
  HWND window = nullptr;
  UINT defaultItem = static_cast<UINT>(-1);
};

std::recursive_mutex& Lock() {
  static auto* m = new std::recursive_mutex();
  return *m;
}
using Guard = std::lock_guard<std::recursive_mutex>;

std::set<Menu*>& Menus() {
  static auto* s = new std::set<Menu*>();
  return *s;
}

Menu* Get(HMENU h) {
  auto* m = reinterpret_cast<Menu*>(h);
  return Menus().count(m) ? m : nullptr;
}
HMENU Handle(Menu* m) { return reinterpret_cast<HMENU>(m); }

bool IsSeparator(const MenuItem& it) { return (it.type & MFT_SEPARATOR) != 0; }
bool IsGrayed(const MenuItem& it) { return (it.state & MFS_GRAYED) != 0; }

// Finds an item by position, or by command id searching submenus too.
bool Locate(Menu* m, UINT item, UINT flags, Menu** owner, size_t* index) {
  if (!m) return false;
  if (flags & MF_BYPOSITION) {
    if (item >= m->items.size()) return false;
    *owner = m;
    *index = item;
    return true;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem& it = m->items[i];
    if (it.sub && Get(Handle(it.sub)) && Locate(it.sub, item, flags, owner, index)) return true;
    if (!it.sub && it.id == item) {
      *owner = m;
      *index = i;
      return true;
    }
  }
  // A popup item can also be named by its submenu's handle.
  for (size_t i = 0; i < m->items.size(); ++i)
    if (m->items[i].sub && reinterpret_cast<UINT_PTR>(m->items[i].sub) == item) {
      *owner = m;
      *index = i;
      return true;
    }
  return false;
}

// An item from the old-style flags.
bool FromFlags(MenuItem& it, UINT flags, UINT_PTR item, LPCSTR text) {
  it.type = flags & (MFT_BITMAP | MFT_MENUBARBREAK | MFT_MENUBREAK | MFT_OWNERDRAW | MFT_SEPARATOR | MFT_RIGHTJUSTIFY);
  it.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
  if (flags & MF_POPUP) {
    Menu* sub = Get(reinterpret_cast<HMENU>(item));
    if (!sub) return false;
    it.sub = sub;
    it.id = static_cast<UINT>(item);
  } else {
    it.sub = nullptr;
    it.id = static_cast<UINT>(item);
  }
  if (it.type & MFT_OWNERDRAW) it.data = reinterpret_cast<ULONG_PTR>(text);
  else if (it.type & MFT_BITMAP) it.bitmap = reinterpret_cast<HBITMAP>(const_cast<char*>(text));
  else if (!(it.type & MFT_SEPARATOR)) it.text = text ? text : "";
  return true;
}

void FromInfo(MenuItem& it, const MENUITEMINFOA& mi) {
  if (mi.fMask & MIIM_TYPE) {
    it.type = mi.fType;
    if (mi.fType & MFT_BITMAP) it.bitmap = reinterpret_cast<HBITMAP>(mi.dwTypeData);
    else if (!(mi.fType & (MFT_SEPARATOR | MFT_OWNERDRAW))) it.text = mi.dwTypeData ? mi.dwTypeData : "";
  }
  if (mi.fMask & MIIM_FTYPE) it.type = (it.type & MFT_BITMAP) | (mi.fType & ~static_cast<UINT>(MFT_BITMAP));
  if (mi.fMask & MIIM_STRING) it.text = mi.dwTypeData ? mi.dwTypeData : "";
  if (mi.fMask & MIIM_BITMAP) it.bitmap = mi.hbmpItem;
  if (mi.fMask & MIIM_STATE) it.state = mi.fState;
  if (mi.fMask & MIIM_ID) it.id = mi.wID;
  if (mi.fMask & MIIM_SUBMENU) it.sub = Get(mi.hSubMenu);
  if (mi.fMask & MIIM_CHECKMARKS) {
    it.checked = mi.hbmpChecked;
    it.unchecked = mi.hbmpUnchecked;
  }
  if (mi.fMask & MIIM_DATA) it.data = mi.dwItemData;
}

void DestroyTree(Menu* m) {
  if (!Get(Handle(m))) return;
  Menus().erase(m);
  for (MenuItem& it : m->items)
    if (it.sub) DestroyTree(it.sub);
  delete m;
}

// ----- tracking -----
struct Level {
  Menu* menu = nullptr;
  HWND wnd = nullptr;
  int hot = -1;
};

struct Tracking {
  HWND owner = nullptr;
  UINT flags = 0;
  std::vector<Level> levels;
  bool done = false;
  UINT chosen = 0;
  bool chose = false;
};

thread_local Tracking* g_track = nullptr;

HFONT MenuFont(bool bold) {
  // A pair for each resolution the screen has had.
  static std::mutex lock;
  static auto* fonts = new std::map<int, std::pair<HFONT, HFONT>>();
  std::lock_guard<std::mutex> g(lock);
  auto& pair = (*fonts)[kx::gdi::ScreenDpi()];
  if (!pair.first) {
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    pair.first = CreateFontIndirect(&ncm.lfMenuFont);
    ncm.lfMenuFont.lfWeight = FW_BOLD;
    pair.second = CreateFontIndirect(&ncm.lfMenuFont);
  }
  return bold ? pair.second : pair.first;
}

int CheckColumn() { return GetSystemMetrics(SM_CXMENUCHECK) + 6; }
constexpr int kArrowColumn = 16;
constexpr int kSeparatorHeight = 9;

// Measures the items of a menu (asking the owner for owner-drawn ones) and lays them out; returns the client
// size. Runs without the menu lock while it sends messages.
SIZE Layout(Menu* m, HWND owner) {
  std::vector<MenuItem> items;
  {
    Guard g(Lock());
    if (!Get(Handle(m))) return SIZE{0, 0};
    items = m->items;
  }
  HDC hdc = GetDC(nullptr);
  TEXTMETRICA tm{};
  HGDIOBJ of = SelectObject(hdc, MenuFont(false));
  GetTextMetrics(hdc, &tm);
  int textH = std::max<int>(tm.tmHeight + 6, GetSystemMetrics(SM_CYMENUCHECK) + 6);
  int widest = 0, widestAccel = 0;
  std::vector<SIZE> sizes(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    MenuItem& it = items[i];
    if (IsSeparator(it)) {
      sizes[i] = SIZE{0, kSeparatorHeight};
      continue;
    }
    if (it.type & MFT_OWNERDRAW) {
      MEASUREITEMSTRUCT mis{};
      mis.CtlType = ODT_MENU;
      mis.itemID = it.id;
      mis.itemHeight = static_cast<UINT>(textH);
      mis.itemData = it.data;
      if (owner) SendMessage(owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
      // The check-mark column comes on top of what the owner asked for.
      sizes[i] = SIZE{static_cast<LONG>(mis.itemWidth) + GetSystemMetrics(SM_CXMENUCHECK) - 1,
                      static_cast<LONG>(mis.itemHeight)};
      widest = std::max(widest, static_cast<int>(sizes[i].cx));
      continue;
    }
    if ((it.type & MFT_BITMAP) && it.bitmap) {
      BITMAP bm{};
      GetObject(it.bitmap, sizeof bm, &bm);
      sizes[i] = SIZE{bm.bmWidth + CheckColumn(), std::max<LONG>(bm.bmHeight + 2, textH)};
      widest = std::max(widest, static_cast<int>(sizes[i].cx));
      continue;
    }
    SelectObject(hdc, MenuFont((it.state & MFS_DEFAULT) != 0));
    std::string label = it.text, accel;
    size_t tab = label.find('\t');
    if (tab != std::string::npos) {
      accel = label.substr(tab + 1);
      label = label.substr(0, tab);
    }
    label = kx::ctl::StripMnemonics(label);
    SIZE s{0, 0}, a{0, 0};
    GetTextExtentPoint32(hdc, label.c_str(), static_cast<int>(label.size()), &s);
    if (!accel.empty()) GetTextExtentPoint32(hdc, accel.c_str(), static_cast<int>(accel.size()), &a);
    widest = std::max(widest, static_cast<int>(s.cx) + CheckColumn());
    widestAccel = std::max(widestAccel, static_cast<int>(a.cx));
    sizes[i] = SIZE{s.cx, textH};
  }
  SelectObject(hdc, of);
  ReleaseDC(nullptr, hdc);
  int width = widest + (widestAccel ? widestAccel + 16 : 0) + kArrowColumn;
  width = std::max(width, 60);
  int y = 0;
  {
    Guard g(Lock());
    if (!Get(Handle(m))) return SIZE{0, 0};
    for (size_t i = 0; i < m->items.size() && i < sizes.size(); ++i) {
      m->items[i].rect = RECT{0, y, width, y + sizes[i].cy};
      y += sizes[i].cy;
    }
  }
  return SIZE{width, y};
}

// Draws a menu glyph (check mark, bullet, submenu arrow) of size s at (x, y) in a colour.
void Glyph(HDC hdc, int x, int y, int s, UINT which, COLORREF colour) {
  HDC mem = CreateCompatibleDC(hdc);
  HBITMAP bm = CreateCompatibleBitmap(hdc, s, s);
  HGDIOBJ old = SelectObject(mem, bm);
  RECT z{0, 0, s, s};
  FillRect(mem, &z, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawFrameControl(mem, &z, DFC_MENU, which);
  for (int yy = 0; yy < s; ++yy)
    for (int xx = 0; xx < s; ++xx)
      if (GetPixel(mem, xx, yy) != RGB(255, 255, 255)) SetPixel(hdc, x + xx, y + yy, colour);
  SelectObject(mem, old);
  DeleteObject(bm);
  DeleteDC(mem);
}

void DrawMenuItem(HWND wnd, Menu* m, HWND owner, HDC hdc, size_t index, bool hot, UINT action) {
  MenuItem it;
  {
    Guard g(Lock());
    if (!Get(Handle(m)) || index >= m->items.size()) return;
    it = m->items[index];
  }
  RECT r = it.rect;
  if (it.type & MFT_OWNERDRAW) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_MENU;
    dis.itemID = it.id;
    dis.itemAction = action;
    dis.itemState = (hot ? ODS_SELECTED : 0) | ((it.state & MF_GRAYED) ? ODS_GRAYED : 0) |
                    ((it.state & MF_DISABLED) ? ODS_DISABLED : 0) | ((it.state & MFS_CHECKED) ? ODS_CHECKED : 0) |
                    ((it.state & MFS_DEFAULT) ? ODS_DEFAULT : 0);
    dis.hwndItem = reinterpret_cast<HWND>(Handle(m));
    dis.hDC = hdc;
    dis.rcItem = r;
    dis.itemData = it.data;
    int saved = SaveDC(hdc);
    // The owner draws with the menu's font and colours in the DC, as for the other items.
    SelectObject(hdc, MenuFont(false));
    SetTextColor(hdc, GetSysColor(hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    SetBkColor(hdc, GetSysColor(hot ? COLOR_HIGHLIGHT : COLOR_MENU));
    if (owner) SendMessage(owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
    RestoreDC(hdc, saved);
    return;
  }
  (void)wnd;
  FillRect(hdc, &r, GetSysColorBrush(hot && !IsSeparator(it) ? COLOR_HIGHLIGHT : COLOR_MENU));
  if (IsSeparator(it)) {
    RECT line{r.left + 1, (r.top + r.bottom) / 2 - 1, r.right - 1, (r.top + r.bottom) / 2 + 1};
    DrawEdge(hdc, &line, EDGE_ETCHED, BF_TOP);
    return;
  }
  bool grayed = IsGrayed(it);
  COLORREF text = GetSysColor(grayed ? COLOR_GRAYTEXT : hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
  // Check mark or the item's own check bitmaps.
  RECT check{r.left, r.top, r.left + CheckColumn(), r.bottom};
  HBITMAP mark = (it.state & MFS_CHECKED) ? it.checked : it.unchecked;
  if (mark) {
    BITMAP bm{};
    GetObject(mark, sizeof bm, &bm);
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mem, mark);
    BitBlt(hdc, check.left + (CheckColumn() - bm.bmWidth) / 2, check.top + (check.bottom - check.top - bm.bmHeight) / 2,
           bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
  } else if (it.state & MFS_CHECKED) {
    int s = GetSystemMetrics(SM_CXMENUCHECK);
    Glyph(hdc, check.left + (CheckColumn() - s) / 2, check.top + (check.bottom - check.top - s) / 2, s,
          (it.type & MFT_RADIOCHECK) ? DFCS_MENUBULLET : DFCS_MENUCHECK, text);
  }
  if ((it.type & MFT_BITMAP) && it.bitmap) {
    BITMAP bm{};
    GetObject(it.bitmap, sizeof bm, &bm);
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mem, it.bitmap);
    BitBlt(hdc, r.left + CheckColumn(), r.top + (r.bottom - r.top - bm.bmHeight) / 2, bm.bmWidth, bm.bmHeight, mem, 0, 0,
           SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
  } else {
    HGDIOBJ of = SelectObject(hdc, MenuFont((it.state & MFS_DEFAULT) != 0));
    SetBkMode(hdc, TRANSPARENT);
    std::string label = it.text, accel;
    size_t tab = label.find('\t');
    if (tab != std::string::npos) {
      accel = label.substr(tab + 1);
      label = label.substr(0, tab);
    }
    RECT t{r.left + CheckColumn(), r.top, r.right - kArrowColumn, r.bottom};
    auto draw = [&](COLORREF c, int dx) {
      SetTextColor(hdc, c);
      RECT a = t;
      OffsetRect(&a, dx, dx);
      DrawText(hdc, label.c_str(), -1, &a, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
      if (!accel.empty()) DrawText(hdc, accel.c_str(), -1, &a, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
    };
    if (grayed && !hot) draw(GetSysColor(COLOR_BTNHIGHLIGHT), 1);
    draw(text, 0);
    SelectObject(hdc, of);
  }
  if (it.sub) {
    int s = GetSystemMetrics(SM_CXMENUCHECK);
    Glyph(hdc, r.right - kArrowColumn + (kArrowColumn - s) / 2, r.top + (r.bottom - r.top - s) / 2, s, DFCS_MENUARROW,
          text);
  }
}

Level* LevelOf(HWND wnd) {
  if (!g_track) return nullptr;
  for (Level& l : g_track->levels)
    if (l.wnd == wnd) return &l;
  return nullptr;
}

void PaintMenu(HWND wnd, HDC hdc) {
  auto* m = kx::ControlData<Menu>(wnd);
  if (!m) return;
  RECT c;
  GetClientRect(wnd, &c);
  FillRect(hdc, &c, GetSysColorBrush(COLOR_MENU));
  Level* l = LevelOf(wnd);
  size_t n;
  {
    Guard g(Lock());
    if (!Get(Handle(m))) return;
    n = m->items.size();
  }
  HWND owner = g_track ? g_track->owner : nullptr;
  for (size_t i = 0; i < n; ++i) DrawMenuItem(wnd, m, owner, hdc, i, l && l->hot == static_cast<int>(i), ODA_DRAWENTIRE);
}

void InvalidateItem(HWND wnd, Menu* m, int index) {
  if (index < 0) return;
  RECT r;
  {
    Guard g(Lock());
    if (!Get(Handle(m)) || static_cast<size_t>(index) >= m->items.size()) return;
    r = m->items[static_cast<size_t>(index)].rect;
  }
  InvalidateRect(wnd, &r, TRUE);
}

void SendMenuSelect(Menu* m, int index, bool mouse) {
  if (!g_track || !g_track->owner || (g_track->flags & TPM_NONOTIFY)) return;
  UINT idOrPos = 0, flags = 0;
  {
    Guard g(Lock());
    if (!Get(Handle(m)) || index < 0 || static_cast<size_t>(index) >= m->items.size()) return;
    const MenuItem& it = m->items[static_cast<size_t>(index)];
    flags = (it.state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_DEFAULT)) | (it.type & (MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR)) | MF_HILITE;
    if (it.sub) {
      flags |= MF_POPUP;
      idOrPos = static_cast<UINT>(index);
    } else {
      idOrPos = it.id;
    }
  }
  if (mouse) flags |= MF_MOUSESELECT;
  SendMessage(g_track->owner, WM_MENUSELECT, MAKEWPARAM(idOrPos, flags), reinterpret_cast<LPARAM>(Handle(m)));
}

void SetHot(size_t level, int index, bool mouse) {
  if (!g_track || level >= g_track->levels.size()) return;
  Level& l = g_track->levels[level];
  if (l.hot == index) return;
  int old = l.hot;
  l.hot = index;
  InvalidateItem(l.wnd, l.menu, old);
  InvalidateItem(l.wnd, l.menu, index);
  if (index >= 0) SendMenuSelect(l.menu, index, mouse);
}

void CloseLevelsFrom(size_t level) {
  if (!g_track) return;
  while (g_track->levels.size() > level) {
    Level l = g_track->levels.back();
    g_track->levels.pop_back();
    if (l.wnd && IsWindow(l.wnd)) {
      ShowWindow(l.wnd, SW_HIDE);
      DestroyWindow(l.wnd);
    }
    {
      Guard g(Lock());
      if (Get(Handle(l.menu))) l.menu->window = nullptr;
    }
    if (g_track->owner && !(g_track->flags & TPM_NONOTIFY))
      SendMessage(g_track->owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(Handle(l.menu)), 0);
  }
  if (!g_track->levels.empty() && IsWindow(g_track->levels.back().wnd)) SetCapture(g_track->levels.back().wnd);
}

// Creates, sizes and shows the window of a menu at a screen point.
HWND ShowMenuWindow(size_t level, int x, int y, UINT flags, const RECT* besideItem) {
  HWND owner = g_track ? g_track->owner : nullptr;
  Menu* m = g_track->levels[level].menu;
  HWND wnd = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE, "#32768", "",
                            WS_POPUP | WS_CLIPSIBLINGS | WS_BORDER, x, y, 10, 10, owner, nullptr, nullptr,
                            reinterpret_cast<LPVOID>(Handle(m)));
  if (!wnd) return nullptr;
  {
    Guard g(Lock());
    if (Get(Handle(m))) m->window = wnd;
  }
  if (!g_track || level >= g_track->levels.size()) return nullptr;
  g_track->levels[level].wnd = wnd;
  SendMessage(wnd, MN_SIZEWINDOW, 0, 0);
  if (!IsWindow(wnd)) return nullptr;
  RECT wr;
  GetWindowRect(wnd, &wr);
  int w = wr.right - wr.left, h = wr.bottom - wr.top;
  if (!besideItem) {
    if (flags & TPM_CENTERALIGN) x -= w / 2;
    else if (flags & TPM_RIGHTALIGN) x -= w;
    if (flags & TPM_VCENTERALIGN) y -= h / 2;
    else if (flags & TPM_BOTTOMALIGN) y -= h;
    if (x + w > kx::ui::ScreenWidth()) x -= w;
    if (y + h > kx::ui::ScreenHeight()) y -= h;
  } else {
    // A submenu opens right of its item, or left of the parent when there is no room.
    if (x + w > kx::ui::ScreenWidth()) x = besideItem->left - w + 3;
    if (y + h > kx::ui::ScreenHeight()) y = kx::ui::ScreenHeight() - h;
  }
  x = std::clamp(x, 0, std::max(0, kx::ui::ScreenWidth() - w));
  y = std::clamp(y, 0, std::max(0, kx::ui::ScreenHeight() - h));
  SetWindowPos(wnd, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  if (!(flags & TPM_NOANIMATION)) {
    // The menu's picture for the opening animation, taken as the platform does through WM_PRINT.
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bm);
    SendMessage(wnd, WM_PRINT, reinterpret_cast<WPARAM>(mem), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
  }
  if (!IsWindow(wnd)) return nullptr;
  SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  return wnd;
}

void OpenSubmenu(size_t level, int index, bool selectFirst) {
  if (!g_track || level >= g_track->levels.size()) return;
  Level parent = g_track->levels[level];
  Menu* sub = nullptr;
  RECT itemRect{};
  {
    Guard g(Lock());
    if (!Get(Handle(parent.menu)) || index < 0 || static_cast<size_t>(index) >= parent.menu->items.size()) return;
    const MenuItem& it = parent.menu->items[static_cast<size_t>(index)];
    if (!it.sub || IsGrayed(it) || !Get(Handle(it.sub))) return;
    sub = it.sub;
    itemRect = it.rect;
  }
  if (g_track->levels.size() > level + 1 && g_track->levels[level + 1].menu == sub) return;
  CloseLevelsFrom(level + 1);
  if (g_track->owner && !(g_track->flags & TPM_NONOTIFY))
    SendMessage(g_track->owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Handle(sub)), MAKELPARAM(index, FALSE));
  if (!g_track || g_track->done) return;
  MapWindowPoints(parent.wnd, nullptr, reinterpret_cast<POINT*>(&itemRect), 2);
  RECT pw;
  GetWindowRect(parent.wnd, &pw);
  g_track->levels.push_back(Level{sub, nullptr, -1});
  size_t mine = g_track->levels.size() - 1;
  HWND wnd = ShowMenuWindow(mine, pw.right - 3, itemRect.top - 3, g_track->flags, &pw);
  if (!g_track || mine >= g_track->levels.size()) return;
  if (!wnd) {
    CloseLevelsFrom(mine);
    return;
  }
  SetCapture(wnd);
  if (selectFirst) {
    Guard g(Lock());
    for (size_t i = 0; i < sub->items.size(); ++i)
      if (!IsSeparator(sub->items[i])) {
        g_track->levels[mine].hot = static_cast<int>(i);
        break;
      }
  }
}

void EndTracking(bool chose, UINT id) {
  if (!g_track || g_track->done) return;
  g_track->done = true;
  g_track->chose = chose;
  g_track->chosen = id;
}

// Acts on an item: a submenu opens, an enabled command ends the menu with it.
void Activate(size_t level, int index, bool byMouse) {
  if (!g_track || level >= g_track->levels.size() || index < 0) return;
  Menu* m = g_track->levels[level].menu;
  bool sub = false, grayed = false, sep = false;
  UINT id = 0;
  {
    Guard g(Lock());
    if (!Get(Handle(m)) || static_cast<size_t>(index) >= m->items.size()) return;
    const MenuItem& it = m->items[static_cast<size_t>(index)];
    sub = it.sub != nullptr;
    grayed = IsGrayed(it);
    sep = IsSeparator(it);
    id = it.id;
  }
  if (sep) return;
  if (sub) {
    OpenSubmenu(level, index, !byMouse);
    return;
  }
  if (grayed) {
    if (!byMouse) EndTracking(false, 0);
    return;
  }
  EndTracking(true, id);
}

// The level and item under a screen point; false when the point is on no menu.
bool HitMenu(POINT screen, size_t* level, int* index) {
  if (!g_track) return false;
  for (size_t k = g_track->levels.size(); k-- > 0;) {
    Level& l = g_track->levels[k];
    RECT wr;
    if (!l.wnd || !GetWindowRect(l.wnd, &wr) || !PtInRect(&wr, screen)) continue;
    *level = k;
    *index = -1;
    POINT p = screen;
    ScreenToClient(l.wnd, &p);
    Guard g(Lock());
    if (!Get(Handle(l.menu))) return true;
    for (size_t i = 0; i < l.menu->items.size(); ++i)
      if (PtInRect(&l.menu->items[i].rect, p)) *index = static_cast<int>(i);
    return true;
  }
  return false;
}

void MouseMessage(HWND wnd, UINT msg, LPARAM lp) {
  if (!g_track || g_track->done) return;
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  if (msg >= WM_NCMOUSEMOVE && msg <= WM_NCMBUTTONDBLCLK) msg = msg - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
  else ClientToScreen(wnd, &p);
  size_t level = 0;
  int index = -1;
  bool on = HitMenu(p, &level, &index);
  bool rightOk = (g_track->flags & TPM_RIGHTBUTTON) != 0;
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!on) return;
      SetHot(level, index, true);
      if (index >= 0) {
        bool isSub;
        {
          Guard g(Lock());
          Menu* m = g_track->levels[level].menu;
          isSub = Get(Handle(m)) && static_cast<size_t>(index) < m->items.size() && m->items[static_cast<size_t>(index)].sub;
        }
        if (isSub) OpenSubmenu(level, index, false);
        else CloseLevelsFrom(level + 1);
      }
      return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
      if (!on) {
        EndTracking(false, 0);
        return;
      }
      SetHot(level, index, true);
      if (index >= 0) {
        Guard g(Lock());
        Menu* m = g_track->levels[level].menu;
        if (!(Get(Handle(m)) && static_cast<size_t>(index) < m->items.size() && m->items[static_cast<size_t>(index)].sub))
          return;
      }
      OpenSubmenu(level, index, false);
      return;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      if (msg == WM_RBUTTONUP && !rightOk) return;
      if (on && index >= 0) Activate(level, index, true);
      return;
    default:
      return;
  }
}

int NextItem(Menu* m, int from, int step) {
  Guard g(Lock());
  int n = static_cast<int>(m->items.size());
  if (n == 0) return -1;
  int i = from;
  for (int k = 0; k < n; ++k) {
    i = i < 0 ? (step > 0 ? 0 : n - 1) : (i + step + n) % n;
    if (!IsSeparator(m->items[static_cast<size_t>(i)])) return i;
  }
  return -1;
}

void KeyMessage(UINT msg, WPARAM wp) {
  if (!g_track || g_track->done || g_track->levels.empty()) return;
  size_t level = g_track->levels.size() - 1;
  Level& l = g_track->levels[level];
  if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
    switch (wp) {
      case VK_DOWN: SetHot(level, NextItem(l.menu, l.hot, 1), false); return;
      case VK_UP: SetHot(level, NextItem(l.menu, l.hot, -1), false); return;
      case VK_HOME: SetHot(level, NextItem(l.menu, -1, 1), false); return;
      case VK_END: SetHot(level, NextItem(l.menu, -1, -1), false); return;
      case VK_RIGHT: {
        int hot = l.hot;
        bool sub;
        {
          Guard g(Lock());
          sub = Get(Handle(l.menu)) && hot >= 0 && static_cast<size_t>(hot) < l.menu->items.size() &&
                l.menu->items[static_cast<size_t>(hot)].sub;
        }
        if (sub) OpenSubmenu(level, hot, true);
        return;
      }
      case VK_LEFT:
        if (level > 0) CloseLevelsFrom(level);
        return;
      case VK_ESCAPE:
        if (level > 0) CloseLevelsFrom(level);
        else EndTracking(false, 0);
        return;
      case VK_RETURN:
        if (l.hot >= 0) Activate(level, l.hot, false);
        else EndTracking(false, 0);
        return;
      case VK_MENU:
      case VK_F10:
        EndTracking(false, 0);
        return;
      default:
        return;
    }
  }
  if (msg == WM_CHAR || msg == WM_SYSCHAR) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(wp)));
    std::vector<int> matches;
    {
      Guard g(Lock());
      for (size_t i = 0; i < l.menu->items.size(); ++i) {
        const std::string& t = l.menu->items[i].text;
        for (size_t k = 0; k + 1 < t.size(); ++k) {
          if (t[k] == '&' && t[k + 1] == '&') {
            ++k;
            continue;
          }
          if (t[k] == '&') {
            if (std::tolower(static_cast<unsigned char>(t[k + 1])) == c) matches.push_back(static_cast<int>(i));
            break;
          }
        }
      }
    }
    if (matches.size() == 1) {
      SetHot(level, matches[0], false);
      Activate(level, matches[0], false);
    } else if (matches.size() > 1) {
      auto next = std::upper_bound(matches.begin(), matches.end(), l.hot);
      SetHot(level, next == matches.end() ? matches.front() : *next, false);
    } else if (g_track->owner) {
      LRESULT r = SendMessage(g_track->owner, WM_MENUCHAR, MAKEWPARAM(static_cast<WORD>(wp), MF_POPUP),
                              reinterpret_cast<LPARAM>(Handle(l.menu)));
      if (!g_track || g_track->done) return;
      int idx = LOWORD(r);
      switch (HIWORD(r)) {
        case MNC_CLOSE: EndTracking(false, 0); break;
        case MNC_EXECUTE: SetHot(level, idx, false); Activate(level, idx, false); break;
        case MNC_SELECT: SetHot(level, idx, false); break;
        default: MessageBeep(0); break;
      }
    }
  }
}

LRESULT CALLBACK MenuWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      kx::SetControlData(wnd, cs ? reinterpret_cast<Menu*>(cs->lpCreateParams) : nullptr);
      return DefWindowProc(wnd, msg, wp, lp);
    }
    case WM_CREATE:
      return 0;
    case MN_SIZEWINDOW: {
      auto* m = kx::ControlData<Menu>(wnd);
      if (!m) return 0;
      SIZE s = Layout(m, g_track ? g_track->owner : nullptr);
      RECT r{0, 0, s.cx, s.cy};
      AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtr(wnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(GetWindowLongPtr(wnd, GWL_EXSTYLE)));
      SetWindowPos(wnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      return MAKELONG(r.right - r.left, r.bottom - r.top);
    }
    case MN_GETHMENU:
      return reinterpret_cast<LRESULT>(Handle(kx::ControlData<Menu>(wnd)));
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(wnd, &ps);
      if (hdc) PaintMenu(wnd, hdc);
      EndPaint(wnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintMenu(wnd, reinterpret_cast<HDC>(wp));
      return 0;
    case WM_ERASEBKGND: {
      RECT c;
      GetClientRect(wnd, &c);
      FillRect(reinterpret_cast<HDC>(wp), &c, GetSysColorBrush(COLOR_MENU));
      return 1;
    }
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR:
      KeyMessage(msg, wp);
      return 0;
    case WM_CANCELMODE:
      EndTracking(false, 0);
      return 0;
    case WM_CAPTURECHANGED:
      // Losing the capture to something that is not one of the menu's windows ends the menu.
      if (g_track && !g_track->done && !LevelOf(reinterpret_cast<HWND>(lp)) && LevelOf(wnd)) EndTracking(false, 0);
      return 0;
    default:
      if ((msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) || (msg >= WM_NCMOUSEMOVE && msg <= WM_NCMBUTTONDBLCLK)) {
        if (msg != WM_MOUSEWHEEL) MouseMessage(wnd, msg, lp);
        return 0;
      }
      return DefWindowProc(wnd, msg, wp, lp);
  }
}

void RegisterMenuClass() { kx::RegisterControlClass("#32768", MenuWindowProc, CS_DBLCLKS | CS_SAVEBITS | CS_DROPSHADOW); }

const bool kRegistered = kx::AddSystemClass(&RegisterMenuClass);

constexpr char kMenuProp[] = "KxMenu";

}  // namespace

// ----- building menus -----
HMENU CreateMenu() {
  auto* m = new Menu();
  m->popup = false;
  Guard g(Lock());
  Menus().insert(m);
  return Handle(m);
}

HMENU CreatePopupMenu() {
  auto* m = new Menu();
  Guard g(Lock());
  Menus().insert(m);
  return Handle(m);
}

BOOL DestroyMenu(HMENU menu) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m) {
    ::SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  DestroyTree(m);
  return TRUE;
}

BOOL IsMenu(HMENU menu) {
  Guard g(Lock());
  return Get(menu) ? TRUE : FALSE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, LPCSTR text) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m) {
    ::SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  MenuItem it;
  if (!FromFlags(it, flags, item, text)) return FALSE;
  // Position -1 appends. (MF_APPEND has the value of MF_OWNERDRAW and is not looked at.)
  Menu* owner = m;
  size_t index = m->items.size();
  if (position != static_cast<UINT>(-1)) {
    if (!Locate(m, position, flags & MF_BYPOSITION, &owner, &index)) {
      if (!(flags & MF_BYPOSITION)) return FALSE;
      owner = m;
      index = m->items.size();
    }
  }
  owner->items.insert(owner->items.begin() + static_cast<std::ptrdiff_t>(index), it);
  return TRUE;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR item, LPCSTR text) {
  return InsertMenu(menu, static_cast<UINT>(-1), flags | MF_BYPOSITION, item, text);
}

BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, LPCSTR text) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), position, flags, &owner, &index)) return FALSE;
  MenuItem it;
  if (!FromFlags(it, flags, item, text)) return FALSE;
  MenuItem& cur = owner->items[index];
  if (cur.sub && cur.sub != it.sub) DestroyTree(cur.sub);
  it.checked = cur.checked;
  it.unchecked = cur.unchecked;
  cur = it;
  return TRUE;
}

BOOL InsertMenuItem(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFO info) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m || !info) return FALSE;
  MenuItem it;
  FromInfo(it, *info);
  Menu* owner = m;
  size_t index = m->items.size();
  if (!Locate(m, item, byPosition ? MF_BYPOSITION : 0, &owner, &index)) {
    owner = m;
    index = m->items.size();
  }
  owner->items.insert(owner->items.begin() + static_cast<std::ptrdiff_t>(index), it);
  return TRUE;
}

BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFO info) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!info || !Locate(Get(menu), item, byPosition ? MF_BYPOSITION : 0, &owner, &index)) return FALSE;
  const MenuItem& it = owner->items[index];
  if (info->fMask & (MIIM_TYPE | MIIM_FTYPE)) info->fType = it.type;
  if (info->fMask & MIIM_STATE) info->fState = it.state;
  if (info->fMask & MIIM_ID) info->wID = it.id;
  if (info->fMask & MIIM_SUBMENU) info->hSubMenu = it.sub ? Handle(it.sub) : nullptr;
  if (info->fMask & MIIM_CHECKMARKS) {
    info->hbmpChecked = it.checked;
    info->hbmpUnchecked = it.unchecked;
  }
  if (info->fMask & MIIM_DATA) info->dwItemData = it.data;
  if (info->fMask & MIIM_BITMAP) info->hbmpItem = it.bitmap;
  bool wantText = (info->fMask & MIIM_STRING) || ((info->fMask & MIIM_TYPE) && !(it.type & (MFT_BITMAP | MFT_SEPARATOR | MFT_OWNERDRAW)));
  if ((info->fMask & MIIM_TYPE) && (it.type & MFT_BITMAP)) info->dwTypeData = reinterpret_cast<LPSTR>(it.bitmap);
  if (wantText) {
    if (info->dwTypeData && info->cch > 0) {
      size_t n = std::min<size_t>(it.text.size(), info->cch - 1);
      std::copy(it.text.begin(), it.text.begin() + static_cast<std::ptrdiff_t>(n), info->dwTypeData);
      info->dwTypeData[n] = '\0';
      info->cch = static_cast<UINT>(n);
    } else {
      info->cch = static_cast<UINT>(it.text.size());
    }
  }
  return TRUE;
}

BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFO info) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!info || !Locate(Get(menu), item, byPosition ? MF_BYPOSITION : 0, &owner, &index)) return FALSE;
  FromInfo(owner->items[index], *info);
  return TRUE;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), position, flags, &owner, &index)) return FALSE;
  owner->items.erase(owner->items.begin() + static_cast<std::ptrdiff_t>(index));
  return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), position, flags, &owner, &index)) return FALSE;
  Menu* sub = owner->items[index].sub;
  owner->items.erase(owner->items.begin() + static_cast<std::ptrdiff_t>(index));
  if (sub) DestroyTree(sub);
  return TRUE;
}

int GetMenuItemCount(HMENU menu) {
  Guard g(Lock());
  Menu* m = Get(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return static_cast<UINT>(-1);
  const MenuItem& it = m->items[static_cast<size_t>(position)];
  return it.sub ? static_cast<UINT>(-1) : it.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return nullptr;
  Menu* sub = m->items[static_cast<size_t>(position)].sub;
  return sub && Get(Handle(sub)) ? Handle(sub) : nullptr;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), item, flags, &owner, &index)) return static_cast<UINT>(-1);
  const MenuItem& it = owner->items[index];
  UINT r = it.state | (it.type & (MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK));
  if (it.sub) r = (r & 0xFF) | MF_POPUP | (static_cast<UINT>(it.sub->items.size()) << 8);
  return r;
}

int GetMenuString(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), item, flags, &owner, &index)) return 0;
  const std::string& t = owner->items[index].text;
  if (!buffer || size <= 0) return static_cast<int>(t.size());
  int n = std::min(static_cast<int>(t.size()), size - 1);
  std::copy(t.begin(), t.begin() + n, buffer);
  buffer[n] = '\0';
  return n;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), item, check & MF_BYPOSITION, &owner, &index)) return static_cast<DWORD>(-1);
  MenuItem& it = owner->items[index];
  DWORD old = it.state & MF_CHECKED;
  it.state = (it.state & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
  return old;
}

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m) return FALSE;
  bool found = false;
  if (flags & MF_BYPOSITION) {
    for (UINT i = first; i <= last && i < m->items.size(); ++i) {
      MenuItem& it = m->items[i];
      bool on = i == check;
      it.state = (it.state & ~static_cast<UINT>(MF_CHECKED)) | (on ? MF_CHECKED : 0);
      if (on) {
        it.type |= MFT_RADIOCHECK;
        found = true;
      }
    }
  } else {
    for (MenuItem& it : m->items) {
      if (it.sub || it.id < first || it.id > last) continue;
      bool on = it.id == check;
      it.state = (it.state & ~static_cast<UINT>(MF_CHECKED)) | (on ? MF_CHECKED : 0);
      if (on) {
        it.type |= MFT_RADIOCHECK;
        found = true;
      }
    }
  }
  return found ? TRUE : FALSE;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), item, enable & MF_BYPOSITION, &owner, &index)) return -1;
  MenuItem& it = owner->items[index];
  UINT old = it.state & (MF_GRAYED | MF_DISABLED);
  it.state = (it.state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  if (owner->window) InvalidateRect(owner->window, &it.rect, TRUE);
  return static_cast<BOOL>(old);
}

BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m) return FALSE;
  for (MenuItem& it : m->items) it.state &= ~static_cast<UINT>(MFS_DEFAULT);
  if (item == static_cast<UINT>(-1)) return TRUE;
  Menu* owner;
  size_t index;
  if (!Locate(m, item, byPosition ? MF_BYPOSITION : 0, &owner, &index) || owner != m) return FALSE;
  m->items[index].state |= MFS_DEFAULT;
  return TRUE;
}

UINT GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m) return static_cast<UINT>(-1);
  for (size_t i = 0; i < m->items.size(); ++i)
    if (m->items[i].state & MFS_DEFAULT) return byPosition ? static_cast<UINT>(i) : m->items[i].id;
  return static_cast<UINT>(-1);
}

BOOL SetMenuItemBitmaps(HMENU menu, UINT item, UINT flags, HBITMAP unchecked, HBITMAP checked) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), item, flags, &owner, &index)) return FALSE;
  owner->items[index].checked = checked;
  owner->items[index].unchecked = unchecked;
  return TRUE;
}

LONG GetMenuCheckMarkDimensions() {
  return MAKELONG(GetSystemMetrics(SM_CXMENUCHECK), GetSystemMetrics(SM_CYMENUCHECK));
}

BOOL HiliteMenuItem(HWND, HMENU menu, UINT item, UINT hilite) {
  Guard g(Lock());
  Menu* owner;
  size_t index;
  if (!Locate(Get(menu), item, hilite & MF_BYPOSITION, &owner, &index)) return FALSE;
  MenuItem& it = owner->items[index];
  it.state = (it.state & ~static_cast<UINT>(MF_HILITE)) | (hilite & MF_HILITE);
  return TRUE;
}

// ----- tracking -----
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS) {
  Menu* m;
  {
    Guard g(Lock());
    m = Get(menu);
  }
  if (!m) {
    ::SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  if (!owner || !IsWindow(owner)) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (g_track && !(flags & TPM_RECURSE)) return FALSE;
  Tracking track;
  track.owner = owner;
  track.flags = flags;
  Tracking* outer = g_track;
  g_track = &track;
  SendMessage(owner, WM_ENTERMENULOOP, TRUE, 0);
  if (!(flags & TPM_NONOTIFY)) SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, FALSE));
  track.levels.push_back(Level{m, nullptr, -1});
  HWND top = track.done ? nullptr : ShowMenuWindow(0, x, y, flags, nullptr);
  if (top) SetCapture(top);
  else track.done = true;
  MSG msg{};
  while (!track.done) {
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      EndTracking(false, 0);
      break;
    }
    if (CallMsgFilter(&msg, MSGF_MENU)) continue;
    bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
    bool mouse = (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
                 (msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCMBUTTONDBLCLK);
    if (key) {
      // Keys go to the innermost menu window, whichever window has the focus.
      if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) TranslateMessage(&msg);
      if (!track.levels.empty() && IsWindow(track.levels.back().wnd))
        SendMessage(track.levels.back().wnd, msg.message, msg.wParam, msg.lParam);
      continue;
    }
    if (mouse && !LevelOf(msg.hwnd)) {
      // Input that reached another window (the capture was lost): a press there ends the menu.
      if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN || msg.message == WM_NCLBUTTONDOWN ||
          msg.message == WM_NCRBUTTONDOWN)
        EndTracking(false, 0);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
    if (!IsWindow(owner)) EndTracking(false, 0);
  }
  CloseLevelsFrom(0);
  if (GetCapture() && LevelOf(GetCapture())) ReleaseCapture();
  if (IsWindow(owner)) {
    if (!(flags & TPM_NONOTIFY)) SendMessage(owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    SendMessage(owner, WM_EXITMENULOOP, TRUE, 0);
  }
  g_track = outer;
  if (!track.chose) return FALSE;
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(track.chosen);
  if (!(flags & TPM_NONOTIFY) && IsWindow(owner)) PostMessage(owner, WM_COMMAND, MAKEWPARAM(track.chosen, 0), 0);
  return TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

BOOL EndMenu() {
  if (!g_track) return FALSE;
  EndTracking(false, 0);
  if (!g_track->levels.empty() && IsWindow(g_track->levels.front().wnd))
    PostMessage(g_track->levels.front().wnd, WM_NULL, 0, 0);
  return TRUE;
}

BOOL GetMenuItemRect(HWND, HMENU menu, UINT item, LPRECT rect) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m || !rect || item >= m->items.size() || !m->window) return FALSE;
  *rect = m->items[item].rect;
  HWND wnd = m->window;
  MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(rect), 2);
  return TRUE;
}

int MenuItemFromPoint(HWND, HMENU menu, POINT screen) {
  Guard g(Lock());
  Menu* m = Get(menu);
  if (!m || !m->window) return -1;
  POINT p = screen;
  ScreenToClient(m->window, &p);
  for (size_t i = 0; i < m->items.size(); ++i)
    if (PtInRect(&m->items[i].rect, p)) return static_cast<int>(i);
  return -1;
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
  if (!IsWindow(hwnd)) return FALSE;
  if (menu && !IsMenu(menu)) return FALSE;
  if (menu) SetProp(hwnd, kMenuProp, reinterpret_cast<HANDLE>(menu));
  else RemoveProp(hwnd, kMenuProp);
  return TRUE;
}

HMENU GetMenu(HWND hwnd) {
  HMENU m = reinterpret_cast<HMENU>(GetProp(hwnd, kMenuProp));
  return m && IsMenu(m) ? m : nullptr;
}

BOOL DrawMenuBar(HWND hwnd) { return IsWindow(hwnd); }

HMENU GetSystemMenu(HWND, BOOL) { return nullptr; }
