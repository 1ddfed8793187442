#include "controls/MenuHook.h"

#include <cstdio>
#include <list>
#include <map>

#include "controls/NewMenu.h"
#include "platform/mfc/afxstate.h"
#include "platform/ui/menu.h"
#include "platform/win32/errors.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"

int g_menuColorIndex = COLOR_MENU;

namespace {

constexpr char kOldProcProperty[] = "OldMenuProc";
constexpr char kMenuClass[] = "#32768";

HHOOK g_menuHook = nullptr;
CMenuStyle* g_currentMenuStyle = nullptr;
HMENU g_pendingMenu = nullptr;

// The style registry owns its styles.
std::list<std::unique_ptr<CMenuStyle>>& MenuStyles() {
  static std::list<std::unique_ptr<CMenuStyle>> styles;
  return styles;
}

std::map<HWND, std::unique_ptr<MenuWindowRecord>>& MenuWindows() {
  static std::map<HWND, std::unique_ptr<MenuWindowRecord>> windows;
  return windows;
}

WNDPROC OldProc(HWND hwnd) { return reinterpret_cast<WNDPROC>(GetPropA(hwnd, kOldProcProperty)); }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Small routines
// ---------------------------------------------------------------------------------------------------------------

int GetWindowsKind() {
  const DWORD version = GetVersion();
  int kind;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (version < 0x80000000u) {
    kind = 1;
    if (!GetVersionExA(&info)) ShowLastError();
    if (info.dwMajorVersion == 4) kind = 5;
    else if (info.dwMajorVersion == 5 && info.dwMinorVersion == 0) kind = 6;
    else if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) kind = 7;
  } else if ((version & 0xFF) >= 4) {
    kind = 2;
    GetVersionExA(&info);
    if (info.dwMajorVersion == 4 && info.dwMinorVersion == 10) kind = 3;
    else if (info.dwMajorVersion == 4 && info.dwMinorVersion == 90) kind = 4;
  } else {
    kind = 0;
  }
  return kind;
}

void ShowLastError() {
  const DWORD error = GetLastError();
  if (error == 0) return;
  char text[512] = "";
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  // A box shown from inside a menu's window procedure would stop the menu: the error is logged instead.
  if (n) fprintf(stderr, "Brinmoor menu: Error: %s", text);
  else fprintf(stderr, "Brinmoor menu: Error message 0x%lx not found\n", static_cast<unsigned long>(error));
  fflush(stderr);
}

BOOL IsDropShadowOn() {
  BOOL on = FALSE;
  return SystemParametersInfoA(SPI_GETDROPSHADOW, 0, &on, 0) ? on : FALSE;
}

COLORREF DarkenColor(int amount, COLORREF colour) {
  const int keep = 255 - amount;
  return RGB(MulDiv(GetRValue(colour), keep, 255), MulDiv(GetGValue(colour), keep, 255),
             MulDiv(GetBValue(colour), keep, 255));
}

// ---------------------------------------------------------------------------------------------------------------
// Styles
// ---------------------------------------------------------------------------------------------------------------

CMenuStyle::CMenuStyle(int id, DWORD flags, MenuMeasureOp measure, MenuDrawOp draw, MenuDrawOp title)
    : m_nId(id),
      m_dwFlags(flags),
      m_pfnMeasure(measure),
      m_pfnDraw(draw),
      m_pfnTitle(title),
      m_szTopLeft(2, 2),
      m_szBottomRight(IsDropShadowOn() ? CSize(2, 2) : CSize(5, 6)) {}

CMenuStyle::~CMenuStyle() = default;
CMenuStyleEx::~CMenuStyleEx() = default;

BOOL CMenuStyle::HasFrameEffects() { return (m_dwFlags & kFrameEffects) != 0; }

void CMenuStyle::OnSubclass(HWND hwnd) {
  if (!HasFrameEffects()) return;
  MenuWindowRecord* record = FindMenuWindowRecord(hwnd);
  if (!record) return;
  record->flags |= MenuWindowRecord::kFrameChanged;
  const DWORD style = record->savedStyle & ~WS_BORDER;
  const DWORD exStyle = record->savedExStyle & ~(WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME);
  RECT before{0, 0, 0, 0}, after{0, 0, 0, 0};
  AdjustWindowRectEx(&before, record->savedStyle, FALSE, record->savedExStyle);
  AdjustWindowRectEx(&after, style, FALSE, exStyle);
  record->lostFrame.cx = (before.right - before.left) - (after.right - after.left);
  record->lostFrame.cy = (before.bottom - before.top) - (after.bottom - after.top);
  SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
  SetWindowLongA(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
}

BOOL CMenuStyle::OnUnsubclass(HWND hwnd) {
  MenuWindowRecord* record = FindMenuWindowRecord(hwnd);
  if (record && (record->flags & MenuWindowRecord::kFrameChanged)) {
    SetLastError(0);
    DWORD style = record->savedStyle;
    if (record->flags & MenuWindowRecord::kAlreadyShown) style |= WS_VISIBLE;
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    ShowLastError();
    SetWindowLongA(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(record->savedExStyle));
    ShowLastError();
  }
  return TRUE;
}

BOOL CMenuStyle::OnNcCalcSize(HWND hwnd, RECT* rect) {
  if (HasFrameEffects() && rect) {
    rect->left += m_szTopLeft.cx;
    rect->top += m_szTopLeft.cy;
    rect->right -= m_szBottomRight.cx;
    rect->bottom -= m_szBottomRight.cy;
  }
  return FALSE;
}

BOOL CMenuStyle::OnWindowPosChanging(HWND hwnd, WINDOWPOS* pos) {
  if (!HasFrameEffects() || !pos) return FALSE;
  // Only what the call changes: a size with SWP_NOSIZE, or a place with SWP_NOMOVE, would be taken as a change.
  if (!(pos->flags & SWP_NOSIZE)) {
    const int grow = IsDropShadowOn() ? -2 : 2;
    pos->cx += grow;
    pos->cy += grow;
    if (MenuWindowRecord* record = FindMenuWindowRecord(hwnd)) {
      pos->cx += record->lostFrame.cx;
      pos->cy += record->lostFrame.cy;
    }
  }
  if (!(pos->flags & SWP_NOMOVE)) pos->y -= 1;
  return TRUE;
}

BOOL CMenuStyle::PaintRings(HWND hwnd, HDC hdc, COLORREF inner) {
  if (!HasFrameEffects() || !FindMenuWindowRecord(hwnd)) return FALSE;
  MenuWindowRecord* record = FindMenuWindowRecord(hwnd);
  CRect window;
  GetWindowRect(hwnd, &window);
  const int w = window.Width(), h = window.Height();
  CDC* dc = CDC::FromHandle(hdc);
  const COLORREF outer = GetSysColor(COLOR_HIGHLIGHT);
  if (!IsDropShadowOn()) {
    dc->Draw3dRect(1, 1, w - 6, h - 6, inner, inner);
    dc->Draw3dRect(0, 0, w - 4, h - 4, outer, outer);
    DrawShadow(hwnd, hdc, record->x, record->y);
  } else {
    dc->Draw3dRect(1, 1, w - 2, h - 2, inner, inner);
    dc->Draw3dRect(0, 0, w, h, outer, outer);
  }
  return TRUE;
}

BOOL CMenuStyle::OnNcPaint(HWND hwnd, HDC hdc) { return PaintRings(hwnd, hdc, GetSysColor(g_menuColorIndex)); }

BOOL CMenuStyleEx::OnNcPaint(HWND hwnd, HDC hdc) { return PaintRings(hwnd, hdc, GetSysColor(COLOR_WINDOW)); }

BOOL CMenuStyle::OnEraseBkgnd(HWND hwnd, HDC hdc) {
  CRect client;
  GetClientRect(hwnd, &client);
  CDC::FromHandle(hdc)->FillSolidRect(client, GetSysColor(COLOR_MENU));
  return TRUE;
}

BOOL CMenuStyleEx::OnEraseBkgnd(HWND hwnd, HDC hdc) {
  MenuWindowRecord* record = FindMenuWindowRecord(hwnd);
  if (record && record->menu) {
    CRect client;
    GetClientRect(hwnd, &client);
    CDC::FromHandle(hdc)->FillSolidRect(client, GetSysColor(g_menuColorIndex));
    return TRUE;
  }
  return CMenuStyle::OnEraseBkgnd(hwnd, hdc);
}

void CMenuStyle::DrawShadow(HWND hwnd, HDC hdc, int x, int y) {
  if (IsDropShadowOn()) return;
  CRect window;
  GetWindowRect(hwnd, &window);
  const int w = window.Width(), h = window.Height();
  HDC screen = GetWindowDC(nullptr);
  if (!screen) return;
  auto copy = [&](int column, int row, int amount) {
    const COLORREF under = GetPixel(screen, x + column, y + row);
    ::SetPixel(hdc, column, row, amount ? DarkenColor(amount, under) : under);
  };
  for (int i = 1; i <= 4; ++i) {
    const int column = w - i;
    for (int row = 0; row < h; ++row) {
      int amount;
      if (row < 4) amount = 0;
      else if (row < 8) amount = i * 3 * (row - 3);
      else if (row < h - 4) amount = i * 15;
      else amount = i * 3 * (h - row);
      copy(column, row, amount);
    }
  }
  for (int j = 1; j <= 4; ++j) {
    const int row = h - j;
    for (int column = 0; column < w - 4; ++column) {
      int amount;
      if (column < 4) amount = 0;
      else if (column < 8) amount = (column - 3) * 3 * j;
      else amount = j * 15;
      copy(column, row, amount);
    }
  }
  ReleaseDC(nullptr, screen);
}

// ---------------------------------------------------------------------------------------------------------------
// Registry of styles and windows
// ---------------------------------------------------------------------------------------------------------------

BOOL AddMenuStyle(CMenuStyle* style) {
  auto& styles = MenuStyles();
  for (const auto& s : styles)
    if (s.get() == style) return FALSE;
  styles.emplace_back(style);
  return TRUE;
}

CMenuStyle* FindMenuStyle(int id) {
  for (const auto& s : MenuStyles())
    if (s->m_nId == id) return s.get();
  return nullptr;
}

CMenuStyle* GetCurrentMenuStyle() { return g_currentMenuStyle; }

MenuWindowRecord* FindMenuWindowRecord(HWND hwnd) {
  auto& windows = MenuWindows();
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : it->second.get();
}

// ---------------------------------------------------------------------------------------------------------------
// The hook
// ---------------------------------------------------------------------------------------------------------------

CMenuHook::CMenuHook() {
  BOOL flat = FALSE;
  if (GetWindowsKind() == 7 && SystemParametersInfoA(SPI_GETFLATMENU, 0, &flat, 0) && flat == 1)
    g_menuColorIndex = COLOR_MENUBAR;
  struct Entry {
    bool ex;
    DWORD flags;
    MenuMeasureOp measure;
    MenuDrawOp draw;
  };
  const Entry entries[6] = {
      {false, CMenuStyle::kFrameEffects, &CNewMenu::MeasureStandard, &CNewMenu::DrawStandard},
      {false, 0, &CNewMenu::MeasureStandard, &CNewMenu::DrawStandard},
      {true, CMenuStyle::kFrameEffects, &CNewMenu::MeasureFlat, &CNewMenu::DrawFlat},
      {true, 0, &CNewMenu::MeasureFlat, &CNewMenu::DrawFlat},
      {false, CMenuStyle::kFrameEffects, &CNewMenu::MeasureStandard, &CNewMenu::DrawSolidMenuBar},
      {false, 0, &CNewMenu::MeasureStandard, &CNewMenu::DrawSolidMenuBar},
  };
  for (int id = 0; id < 6; ++id) {
    const Entry& e = entries[id];
    CMenuStyle* style = e.ex ? new (std::nothrow) CMenuStyleEx(id, e.flags, e.measure, e.draw, &CNewMenu::DrawTitle)
                             : new (std::nothrow) CMenuStyle(id, e.flags, e.measure, e.draw, &CNewMenu::DrawTitle);
    if (style) AddMenuStyle(style);
  }
  g_currentMenuStyle = FindMenuStyle(2);
  InstallHook(&MenuCallWndProc);
}

CMenuHook::~CMenuHook() {
  RemoveHook();
  g_currentMenuStyle = nullptr;
  auto& styles = MenuStyles();
  while (!styles.empty()) styles.pop_back();
}

BOOL CMenuHook::InstallHook(HOOKPROC proc) {
  if (g_menuHook) return TRUE;
  g_menuHook = SetWindowsHookExA(WH_CALLWNDPROC, proc, nullptr, GetCurrentThreadId());
  if (!g_menuHook) {
    ShowLastError();
    fprintf(stderr, "Brinmoor menu: the popup-menu hook could not be installed; menus keep the system's look\n");
    fflush(stderr);
    return FALSE;
  }
  return TRUE;
}

void CMenuHook::RemoveHook() {
  if (!g_menuHook) return;
  if (!UnhookWindowsHookEx(g_menuHook)) ShowLastError();
  g_menuHook = nullptr;
}

HHOOK CMenuHook::GetHook() { return g_menuHook; }

LRESULT CALLBACK MenuCallWndProc(int code, WPARAM wParam, LPARAM lParam) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  if (code == HC_ACTION && lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (call->message == WM_CREATE || call->message == MN_SIZEWINDOW)
      SubclassMenuWindow(call->hwnd, call->message == MN_SIZEWINDOW);
  }
  return CallNextHookEx(g_menuHook, code, wParam, lParam);
}

BOOL SubclassMenuWindow(HWND hwnd, BOOL alreadyShown) {
  char name[20] = "";
  if (GetClassNameA(hwnd, name, sizeof name) != 6 || strcmp(name, kMenuClass) != 0) return FALSE;
  BOOL result = FALSE;
  // Each check leads on to the pending-menu step when it fails.
  if (!FindMenuWindowRecord(hwnd)) {
    const auto oldProc = reinterpret_cast<WNDPROC>(GetWindowLongA(hwnd, GWL_WNDPROC));
    if (oldProc && !GetPropA(hwnd, kOldProcProperty)) {
      if (!SetPropA(hwnd, kOldProcProperty, reinterpret_cast<HANDLE>(oldProc))) ShowLastError();
      if (OldProc(hwnd) == oldProc) {
        GlobalAddAtomA(kOldProcProperty);
        auto record = std::make_unique<MenuWindowRecord>();
        record->window = hwnd;
        record->savedStyle = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
        record->savedExStyle = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE));
        record->flags = alreadyShown ? MenuWindowRecord::kAlreadyShown : 0;
        MenuWindows()[hwnd] = std::move(record);
        SetLastError(0);
        if (!SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuWindowProc))) ShowLastError();
        result = TRUE;
        if (g_currentMenuStyle) g_currentMenuStyle->OnSubclass(hwnd);
      }
    }
  }
  if (g_pendingMenu) {
    if (MenuWindowRecord* record = FindMenuWindowRecord(hwnd)) {
      record->menu = g_pendingMenu;
      g_pendingMenu = nullptr;
    }
  }
  return result;
}

void UnsubclassMenuWindow(HWND hwnd) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  const WNDPROC oldProc = OldProc(hwnd);
  SetLastError(0);
  if (oldProc && !SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc))) ShowLastError();
  RemovePropA(hwnd, kOldProcProperty);
  if (ATOM atom = GlobalFindAtomA(kOldProcProperty)) GlobalDeleteAtom(atom);
  if (FindMenuWindowRecord(hwnd)) {
    if (g_currentMenuStyle) g_currentMenuStyle->OnUnsubclass(hwnd);
    MenuWindows().erase(hwnd);
  }
}

LRESULT CALLBACK MenuWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  // Read first: a message that gives the window back can still be passed on.
  const WNDPROC oldProc = OldProc(hwnd);
  auto passOn = [&]() -> LRESULT {
    return oldProc ? CallWindowProcA(oldProc, hwnd, message, wParam, lParam) : DefWindowProcA(hwnd, message, wParam, lParam);
  };
  CMenuStyle* style = g_currentMenuStyle;
  MenuWindowRecord* record = FindMenuWindowRecord(hwnd);
  switch (message) {
    case WM_NCPAINT: {
      BOOL painted = FALSE;
      if (record && record->paintFrame && style) {
        HDC hdc = wParam == 1 ? GetWindowDC(hwnd)
                              : GetDCEx(hwnd, reinterpret_cast<HRGN>(wParam), DCX_WINDOW | DCX_INTERSECTRGN);
        if (hdc) {
          painted = style->OnNcPaint(hwnd, hdc);
          ReleaseDC(hwnd, hdc);
        }
      }
      if (record) record->paintFrame = TRUE;
      return painted ? 0 : passOn();
    }
    case WM_PRINT: {
      HDC target = reinterpret_cast<HDC>(wParam);
      if (record && style && target && style->OnNcPaint(hwnd, target)) {
        // The platform keeps nothing of this picture on the window, so the next frame paint is still ours.
        CRect client;
        GetClientRect(hwnd, &client);
        HDC memory = CreateCompatibleDC(target);
        HBITMAP bitmap = CreateCompatibleBitmap(target, client.Width(), client.Height());
        HGDIOBJ old = SelectObject(memory, bitmap);
        IntersectClipRect(memory, 0, 0, client.Width(), client.Height());
        SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
        SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), lParam);
        BitBlt(target, style->m_szTopLeft.cx, style->m_szTopLeft.cy, client.Width(), client.Height(), memory, 0, 0,
               SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        return 0;
      }
      return passOn();
    }
    case WM_ERASEBKGND:
      if (style && style->OnEraseBkgnd(hwnd, reinterpret_cast<HDC>(wParam))) return 1;
      return passOn();
    case WM_NCCALCSIZE:
      if (style && style->OnNcCalcSize(hwnd, reinterpret_cast<RECT*>(lParam))) return 0;
      return passOn();
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      const bool placed = pos && (pos->x != 0 || pos->y != 0);
      if (style && pos) style->OnWindowPosChanging(hwnd, pos);
      if (placed && record) {
        record->x = pos->x;
        record->y = pos->y;
      }
      return passOn();
    }
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (pos && record && (pos->x != 0 || pos->y != 0)) {
        record->x = pos->x;
        record->y = pos->y;
      }
      return passOn();
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE && record) record->flags |= MenuWindowRecord::kClosedByEscape;
      return passOn();
    case WM_SHOWWINDOW:
      if (!wParam) UnsubclassMenuWindow(hwnd);
      return passOn();
    case WM_NCDESTROY:
      UnsubclassMenuWindow(hwnd);
      return passOn();
    default:
      return passOn();
  }
}

// Built when the library is loaded, on the loading thread: the menus of that thread get the current style.
namespace {
CMenuHook g_theMenuHook;
}  // namespace

static const int g_nWindowsKind = GetWindowsKind();

BOOL IsKnownWindowsKind() { return g_nWindowsKind >= 2; }
