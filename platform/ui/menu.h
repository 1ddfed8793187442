// Menus: popup menus built in code, tracked by TrackPopupMenu in windows of the class "#32768". A menu window
// receives WM_CREATE and then MN_SIZEWINDOW (0x01E2) before it is shown, draws through WM_PAINT and
// WM_PRINTCLIENT (WM_PRINT gives its picture), asks its owner for owner-drawn items (WM_MEASUREITEM,
// WM_DRAWITEM with ODT_MENU), and follows the mouse and the keyboard; the chosen command goes to the owner as
// WM_COMMAND. Windows keep a menu handle (SetMenu/GetMenu) but draw no menu bar.
#pragma once

#include "platform/ui/ui.h"

#define MF_INSERT 0x00000000L
#define MF_CHANGE 0x00000080L
#define MF_APPEND 0x00000100L
#define MF_DELETE 0x00000200L
#define MF_REMOVE 0x00001000L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_USECHECKBITMAPS 0x00000200L
#define MF_STRING 0x00000000L
#define MF_BITMAP 0x00000004L
#define MF_OWNERDRAW 0x00000100L
#define MF_POPUP 0x00000010L
#define MF_MENUBARBREAK 0x00000020L
#define MF_MENUBREAK 0x00000040L
#define MF_UNHILITE 0x00000000L
#define MF_HILITE 0x00000080L
#define MF_DEFAULT 0x00001000L
#define MF_SYSMENU 0x00002000L
#define MF_HELP 0x00004000L
#define MF_RIGHTJUSTIFY 0x00004000L
#define MF_MOUSESELECT 0x00008000L

#define MFT_STRING MF_STRING
#define MFT_BITMAP MF_BITMAP
#define MFT_MENUBARBREAK MF_MENUBARBREAK
#define MFT_MENUBREAK MF_MENUBREAK
#define MFT_OWNERDRAW MF_OWNERDRAW
#define MFT_RADIOCHECK 0x00000200L
#define MFT_SEPARATOR MF_SEPARATOR
#define MFT_RIGHTORDER 0x00002000L
#define MFT_RIGHTJUSTIFY MF_RIGHTJUSTIFY

#define MFS_GRAYED 0x00000003L
#define MFS_DISABLED MFS_GRAYED
#define MFS_CHECKED MF_CHECKED
#define MFS_HILITE MF_HILITE
#define MFS_ENABLED MF_ENABLED
#define MFS_UNCHECKED MF_UNCHECKED
#define MFS_UNHILITE MF_UNHILITE
#define MFS_DEFAULT MF_DEFAULT

#define MIIM_STATE 0x00000001
#define MIIM_ID 0x00000002
#define MIIM_SUBMENU 0x00000004
#define MIIM_CHECKMARKS 0x00000008
#define MIIM_TYPE 0x00000010
#define MIIM_DATA 0x00000020
#define MIIM_STRING 0x00000040
#define MIIM_BITMAP 0x00000080
#define MIIM_FTYPE 0x00000100

#define TPM_LEFTBUTTON 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_LEFTALIGN 0x0000L
#define TPM_CENTERALIGN 0x0004L
#define TPM_RIGHTALIGN 0x0008L
#define TPM_TOPALIGN 0x0000L
#define TPM_VCENTERALIGN 0x0010L
#define TPM_BOTTOMALIGN 0x0020L
#define TPM_HORIZONTAL 0x0000L
#define TPM_VERTICAL 0x0040L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L
#define TPM_RECURSE 0x0001L
#define TPM_HORPOSANIMATION 0x0400L
#define TPM_HORNEGANIMATION 0x0800L
#define TPM_VERPOSANIMATION 0x1000L
#define TPM_VERNEGANIMATION 0x2000L
#define TPM_NOANIMATION 0x4000L

// The menu window's private messages.
#define MN_SIZEWINDOW 0x01E2
#define MN_SELECTITEM 0x01E5

#define MNC_IGNORE 0
#define MNC_CLOSE 1
#define MNC_EXECUTE 2
#define MNC_SELECT 3

#define HBMMENU_CALLBACK (reinterpret_cast<HBITMAP>(static_cast<intptr_t>(-1)))

struct MENUITEMINFOA {
  UINT cbSize;
  UINT fMask;
  UINT fType;
  UINT fState;
  UINT wID;
  HMENU hSubMenu;
  HBITMAP hbmpChecked;
  HBITMAP hbmpUnchecked;
  ULONG_PTR dwItemData;
  LPSTR dwTypeData;
  UINT cch;
  HBITMAP hbmpItem;
};
using MENUITEMINFO = MENUITEMINFOA;
using LPMENUITEMINFO = MENUITEMINFOA*;
using LPCMENUITEMINFO = const MENUITEMINFOA*;

struct TPMPARAMS {
  UINT cbSize;
  RECT rcExclude;
};
using LPTPMPARAMS = TPMPARAMS*;

KXAPI HMENU CreateMenu();
KXAPI HMENU CreatePopupMenu();
KXAPI BOOL DestroyMenu(HMENU menu);
KXAPI BOOL IsMenu(HMENU menu);
// `item` is an id (a string, a separator) or the HMENU of a submenu (MF_POPUP); `text` a string, an HBITMAP
// (MF_BITMAP) or the item data (MF_OWNERDRAW).
KXAPI BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR item, LPCSTR text);
inline BOOL AppendMenuA(HMENU m, UINT f, UINT_PTR i, LPCSTR t) { return AppendMenu(m, f, i, t); }
KXAPI BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, LPCSTR text);
inline BOOL InsertMenuA(HMENU m, UINT p, UINT f, UINT_PTR i, LPCSTR t) { return InsertMenu(m, p, f, i, t); }
KXAPI BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, LPCSTR text);
inline BOOL ModifyMenuA(HMENU m, UINT p, UINT f, UINT_PTR i, LPCSTR t) { return ModifyMenu(m, p, f, i, t); }
KXAPI BOOL InsertMenuItem(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFO info);
inline BOOL InsertMenuItemA(HMENU m, UINT i, BOOL b, LPCMENUITEMINFO info) { return InsertMenuItem(m, i, b, info); }
KXAPI BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFO info);
inline BOOL GetMenuItemInfoA(HMENU m, UINT i, BOOL b, LPMENUITEMINFO info) { return GetMenuItemInfo(m, i, b, info); }
KXAPI BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFO info);
inline BOOL SetMenuItemInfoA(HMENU m, UINT i, BOOL b, LPCMENUITEMINFO info) { return SetMenuItemInfo(m, i, b, info); }
// RemoveMenu keeps a submenu alive; DeleteMenu destroys it.
KXAPI BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
KXAPI BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);
KXAPI int GetMenuItemCount(HMENU menu);
KXAPI UINT GetMenuItemID(HMENU menu, int position);
KXAPI HMENU GetSubMenu(HMENU menu, int position);
KXAPI UINT GetMenuState(HMENU menu, UINT item, UINT flags);
KXAPI int GetMenuString(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags);
inline int GetMenuStringA(HMENU m, UINT i, LPSTR b, int s, UINT f) { return GetMenuString(m, i, b, s, f); }
KXAPI DWORD CheckMenuItem(HMENU menu, UINT item, UINT check);
KXAPI BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags);
KXAPI BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable);
KXAPI BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition);
KXAPI UINT GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT flags);
KXAPI BOOL SetMenuItemBitmaps(HMENU menu, UINT item, UINT flags, HBITMAP unchecked, HBITMAP checked);
KXAPI LONG GetMenuCheckMarkDimensions();
KXAPI BOOL HiliteMenuItem(HWND hwnd, HMENU menu, UINT item, UINT hilite);

// Shows the menu at a screen point and tracks it until a choice or a cancel. With TPM_RETURNCMD the chosen id
// is returned (0: none) and nothing is posted; otherwise WM_COMMAND is posted to the owner and TRUE returned.
KXAPI BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* reservedRect);
KXAPI BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params);
// Ends the menu tracked on the calling thread.
KXAPI BOOL EndMenu();
// The screen rectangle of an item of a menu that is shown.
KXAPI BOOL GetMenuItemRect(HWND hwnd, HMENU menu, UINT item, LPRECT rect);
KXAPI int MenuItemFromPoint(HWND hwnd, HMENU menu, POINT screenPoint);

KXAPI BOOL SetMenu(HWND hwnd, HMENU menu);
KXAPI HMENU GetMenu(HWND hwnd);
KXAPI BOOL DrawMenuBar(HWND hwnd);
KXAPI HMENU GetSystemMenu(HWND hwnd, BOOL revert);
