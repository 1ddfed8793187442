// Property sheets: a tabbed sheet of pages with OK, Cancel, Apply and Help, or a wizard (Back, Next, Finish) in
// the classic or the Wizard97 frame (watermark on exterior pages, header with title, subtitle and bitmap on
// interior pages). Pages are dialogs made from templates; the sheet talks to them with PSN_* notifications and
// is driven with PSM_* messages, from any thread.
#pragma once

#include "platform/ui/commctrl.h"

struct _PSP;
using HPROPSHEETPAGE = _PSP*;
struct PROPSHEETPAGEA;
using LPFNPSPCALLBACKA = UINT (*)(HWND hwnd, UINT msg, PROPSHEETPAGEA* page);
using LPFNPSPCALLBACK = LPFNPSPCALLBACKA;
using PFNPROPSHEETCALLBACK = int (*)(HWND hwnd, UINT msg, LPARAM lParam);

#define PSP_DEFAULT 0x00000000
#define PSP_DLGINDIRECT 0x00000001
#define PSP_USEHICON 0x00000002
#define PSP_USEICONID 0x00000004
#define PSP_USETITLE 0x00000008
#define PSP_RTLREADING 0x00000010
#define PSP_HASHELP 0x00000020
#define PSP_USEREFPARENT 0x00000040
#define PSP_USECALLBACK 0x00000080
#define PSP_PREMATURE 0x00000400
#define PSP_HIDEHEADER 0x00000800
#define PSP_USEHEADERTITLE 0x00001000
#define PSP_USEHEADERSUBTITLE 0x00002000

#define PSPCB_ADDREF 0
#define PSPCB_RELEASE 1
#define PSPCB_CREATE 2

struct PROPSHEETPAGEA {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  union {
    LPCSTR pszTemplate;
    LPCDLGTEMPLATE pResource;  // with PSP_DLGINDIRECT
  };
  union {
    HICON hIcon;
    LPCSTR pszIcon;
  };
  LPCSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKA pfnCallback;
  UINT* pcRefParent;
  LPCSTR pszHeaderTitle;
  LPCSTR pszHeaderSubTitle;
};
using PROPSHEETPAGE = PROPSHEETPAGEA;
using LPPROPSHEETPAGE = PROPSHEETPAGEA*;
using LPCPROPSHEETPAGE = const PROPSHEETPAGEA*;

#define PSH_DEFAULT 0x00000000
#define PSH_PROPTITLE 0x00000001
#define PSH_USEHICON 0x00000002
#define PSH_USEICONID 0x00000004
#define PSH_PROPSHEETPAGE 0x00000008
#define PSH_WIZARDHASFINISH 0x00000010
#define PSH_WIZARD 0x00000020
#define PSH_USEPSTARTPAGE 0x00000040
#define PSH_NOAPPLYNOW 0x00000080
#define PSH_USECALLBACK 0x00000100
#define PSH_HASHELP 0x00000200
#define PSH_MODELESS 0x00000400
#define PSH_RTLREADING 0x00000800
#define PSH_WIZARDCONTEXTHELP 0x00001000
#define PSH_WATERMARK 0x00008000
#define PSH_USEHBMWATERMARK 0x00010000
#define PSH_USEHPLWATERMARK 0x00020000
#define PSH_STRETCHWATERMARK 0x00040000
#define PSH_HEADER 0x00080000
#define PSH_USEHBMHEADER 0x00100000
#define PSH_USEPAGELANG 0x00200000
#define PSH_WIZARD_LITE 0x00400000
#define PSH_WIZARD97 0x01000000
#define PSH_NOCONTEXTHELP 0x02000000

#define PSCB_INITIALIZED 1
#define PSCB_PRECREATE 2

struct PROPSHEETHEADERA {
  DWORD dwSize;
  DWORD dwFlags;
  HWND hwndParent;
  HINSTANCE hInstance;
  union {
    HICON hIcon;
    LPCSTR pszIcon;
  };
  LPCSTR pszCaption;
  UINT nPages;
  union {
    UINT nStartPage;
    LPCSTR pStartPage;
  };
  union {
    LPCPROPSHEETPAGE ppsp;  // with PSH_PROPSHEETPAGE
    HPROPSHEETPAGE* phpage;
  };
  PFNPROPSHEETCALLBACK pfnCallback;
  union {
    HBITMAP hbmWatermark;  // with PSH_USEHBMWATERMARK
    LPCSTR pszbmWatermark;
  };
  HPALETTE hplWatermark;
  union {
    HBITMAP hbmHeader;  // with PSH_USEHBMHEADER
    LPCSTR pszbmHeader;
  };
};
using PROPSHEETHEADER = PROPSHEETHEADERA;
using LPPROPSHEETHEADER = PROPSHEETHEADERA*;
using LPCPROPSHEETHEADER = const PROPSHEETHEADERA*;

// Notifications to the pages (WM_NOTIFY with a PSHNOTIFY).
#define PSN_FIRST (0u - 200u)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_HELP (PSN_FIRST - 5)
#define PSN_WIZBACK (PSN_FIRST - 6)
#define PSN_WIZNEXT (PSN_FIRST - 7)
#define PSN_WIZFINISH (PSN_FIRST - 8)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)
#define PSN_GETOBJECT (PSN_FIRST - 10)
#define PSN_TRANSLATEACCELERATOR (PSN_FIRST - 12)
#define PSN_QUERYINITIALFOCUS (PSN_FIRST - 13)

#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2
#define PSNRET_MESSAGEHANDLED 3

struct PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;  // PSN_APPLY: TRUE when OK was pressed; PSN_RESET: TRUE when the sheet was closed by the x
};
using LPPSHNOTIFY = PSHNOTIFY*;

// Messages to the sheet.
#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_REMOVEPAGE (WM_USER + 102)
#define PSM_ADDPAGE (WM_USER + 103)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_RESTARTWINDOWS (WM_USER + 105)
#define PSM_REBOOTSYSTEM (WM_USER + 106)
#define PSM_CANCELTOCLOSE (WM_USER + 107)
#define PSM_QUERYSIBLINGS (WM_USER + 108)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_SETTITLEA (WM_USER + 111)
#define PSM_SETTITLE PSM_SETTITLEA
#define PSM_SETWIZBUTTONS (WM_USER + 112)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_SETCURSELID (WM_USER + 114)
#define PSM_SETFINISHTEXTA (WM_USER + 115)
#define PSM_SETFINISHTEXT PSM_SETFINISHTEXTA
#define PSM_GETTABCONTROL (WM_USER + 116)
#define PSM_ISDIALOGMESSAGE (WM_USER + 117)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)
#define PSM_INSERTPAGE (WM_USER + 119)
#define PSM_SETHEADERTITLEA (WM_USER + 125)
#define PSM_SETHEADERTITLE PSM_SETHEADERTITLEA
#define PSM_SETHEADERSUBTITLEA (WM_USER + 127)
#define PSM_SETHEADERSUBTITLE PSM_SETHEADERSUBTITLEA
#define PSM_HWNDTOINDEX (WM_USER + 129)
#define PSM_INDEXTOHWND (WM_USER + 130)
#define PSM_PAGETOINDEX (WM_USER + 131)
#define PSM_INDEXTOPAGE (WM_USER + 132)
#define PSM_IDTOINDEX (WM_USER + 133)
#define PSM_INDEXTOID (WM_USER + 134)
#define PSM_GETRESULT (WM_USER + 135)
#define PSM_RECALCPAGESIZES (WM_USER + 136)

#define PSWIZB_BACK 0x00000001
#define PSWIZB_NEXT 0x00000002
#define PSWIZB_FINISH 0x00000004
#define PSWIZB_DISABLEDFINISH 0x00000008

#define PSBTN_BACK 0
#define PSBTN_NEXT 1
#define PSBTN_FINISH 2
#define PSBTN_OK 3
#define PSBTN_APPLYNOW 4
#define PSBTN_CANCEL 5
#define PSBTN_HELP 6
#define PSBTN_MAX 6

// Control ids of the sheet's own windows.
#define ID_PSRESTARTWINDOWS 0x2
#define ID_PSREBOOTSYSTEM (ID_PSRESTARTWINDOWS | 0x1)
#define KX_ID_TABCONTROL 0x3020
#define ID_APPLY_NOW 0x3021
#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024
#define ID_WIZFINISH 0x3025

#define PropSheet_SetWizButtons(hDlg, dwFlags) PostMessage((hDlg), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(dwFlags))
#define PropSheet_PressButton(hDlg, iButton) PostMessage((hDlg), PSM_PRESSBUTTON, static_cast<WPARAM>(iButton), 0)
#define PropSheet_SetCurSel(hDlg, hpage, index) \
  SendMessage((hDlg), PSM_SETCURSEL, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(hpage))
#define PropSheet_GetCurrentPageHwnd(hDlg) reinterpret_cast<HWND>(SendMessage((hDlg), PSM_GETCURRENTPAGEHWND, 0, 0))
#define PropSheet_GetTabControl(hDlg) reinterpret_cast<HWND>(SendMessage((hDlg), PSM_GETTABCONTROL, 0, 0))
#define PropSheet_Changed(hDlg, hwnd) SendMessage((hDlg), PSM_CHANGED, reinterpret_cast<WPARAM>(hwnd), 0)
#define PropSheet_UnChanged(hDlg, hwnd) SendMessage((hDlg), PSM_UNCHANGED, reinterpret_cast<WPARAM>(hwnd), 0)

KXAPI HPROPSHEETPAGE CreatePropertySheetPage(LPCPROPSHEETPAGE page);
inline HPROPSHEETPAGE CreatePropertySheetPageA(LPCPROPSHEETPAGE page) { return CreatePropertySheetPage(page); }
KXAPI BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);
// Modal: runs the sheet and returns 1 when changes were applied (or Finish was pressed), 0 when cancelled, -1
// on failure. With PSH_MODELESS: returns the sheet's window (as INT_PTR) and the caller pumps messages,
// letting PSM_ISDIALOGMESSAGE see them; the sheet is done when PSM_GETCURRENTPAGEHWND answers NULL.
KXAPI INT_PTR PropertySheet(LPCPROPSHEETHEADER header);
inline INT_PTR PropertySheetA(LPCPROPSHEETHEADER header) { return PropertySheet(header); }
