// The popup-menu hook and the menu frame styles. A static CMenuHook, built when the library is loaded, installs a
// WH_CALLWNDPROC hook for the loading thread; the hook catches every popup-menu window ("#32768") of that thread
// when it is created or sized (message 0x01E2), subclasses it and lets the current menu style paint its frame:
// no system border, two one-pixel rings and, when the system draws no drop shadow, a four-pixel shadow of its
// own. Hiding or destroying the menu window gives it back its procedure and styles.
//
// The six styles also carry the measure, draw and title operations of the owner-drawn menu CNewMenu.
// Failures of the window calls are logged (standard error) and the menu goes on; a hook that cannot be
// installed is logged and the library loads without restyled menus.
#pragma once

#include <memory>

#include "platform/mfc/afxwin.h"

class CNewMenu;
using MenuMeasureOp = void (CNewMenu::*)(LPMEASUREITEMSTRUCT, BOOL);
using MenuDrawOp = void (CNewMenu::*)(LPDRAWITEMSTRUCT, BOOL);

// 0 old non-NT, 2-4 the later non-NT releases, 1 NT (and anything newer than 5.1), 5 NT 4, 6 5.0, 7 5.1.
int GetWindowsKind();
// The kind was found to be 2 or more when the library was loaded.
BOOL IsKnownWindowsKind();
// Logs the system's text for the last error (nothing when it is 0).
void ShowLastError();
BOOL IsDropShadowOn();
// Each channel scaled by (255 - amount) / 255.
COLORREF DarkenColor(int amount, COLORREF colour);
// The system colour index the menu painting calls "the menu colour": COLOR_MENU, or COLOR_MENUBAR with flat menus.
extern int g_menuColorIndex;

// One subclassed menu window.
struct MenuWindowRecord {
  enum { kAlreadyShown = 1, kFrameChanged = 2, kClosedByEscape = 4 };
  HWND window = nullptr;
  DWORD savedStyle = 0;
  DWORD savedExStyle = 0;
  int x = 0;
  int y = 0;
  DWORD flags = 0;
  BOOL paintFrame = TRUE;
  HMENU menu = nullptr;
  // The frame the window's first styles gave it: the menu sizes itself for the styles it has now, so the frame
  // taken away is given back when it is sized.
  SIZE lostFrame{0, 0};
};

class CMenuStyle {
 public:
  enum { kFrameEffects = 1 };
  CMenuStyle(int id, DWORD flags, MenuMeasureOp measure, MenuDrawOp draw, MenuDrawOp title);
  virtual ~CMenuStyle();
  CMenuStyle(const CMenuStyle&) = delete;
  CMenuStyle& operator=(const CMenuStyle&) = delete;

  virtual void OnSubclass(HWND hwnd);
  virtual BOOL OnUnsubclass(HWND hwnd);
  virtual BOOL HasFrameEffects();
  virtual BOOL OnNcPaint(HWND hwnd, HDC hdc);
  virtual BOOL OnEraseBkgnd(HWND hwnd, HDC hdc);
  virtual BOOL OnNcCalcSize(HWND hwnd, RECT* rect);
  virtual BOOL OnWindowPosChanging(HWND hwnd, WINDOWPOS* pos);
  // The own shadow: the screen under the right and bottom edges, darkened toward the outside.
  void DrawShadow(HWND hwnd, HDC hdc, int x, int y);

  int m_nId;
  DWORD m_dwFlags;
  MenuMeasureOp m_pfnMeasure;
  MenuDrawOp m_pfnDraw;
  MenuDrawOp m_pfnTitle;
  CSize m_szTopLeft;
  CSize m_szBottomRight;

 protected:
  BOOL PaintRings(HWND hwnd, HDC hdc, COLORREF inner);
};

class CMenuStyleEx : public CMenuStyle {
 public:
  using CMenuStyle::CMenuStyle;
  ~CMenuStyleEx() override;
  BOOL OnNcPaint(HWND hwnd, HDC hdc) override;
  BOOL OnEraseBkgnd(HWND hwnd, HDC hdc) override;
};

class CMenuHook {
 public:
  CMenuHook();
  ~CMenuHook();
  CMenuHook(const CMenuHook&) = delete;
  CMenuHook& operator=(const CMenuHook&) = delete;

  // Installs the hook procedure for the calling thread unless one is installed; logs and answers FALSE when the
  // system refuses it.
  static BOOL InstallHook(HOOKPROC proc);
  static void RemoveHook();
  static HHOOK GetHook();
};

BOOL AddMenuStyle(CMenuStyle* style);
CMenuStyle* FindMenuStyle(int id);
CMenuStyle* GetCurrentMenuStyle();
MenuWindowRecord* FindMenuWindowRecord(HWND hwnd);
LRESULT CALLBACK MenuCallWndProc(int code, WPARAM wParam, LPARAM lParam);
BOOL SubclassMenuWindow(HWND hwnd, BOOL alreadyShown);
void UnsubclassMenuWindow(HWND hwnd);
LRESULT CALLBACK MenuWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
