// Common controls: the tab control and image lists, and the messages, styles and notifications of the combo box,
// list box and tooltip controls (their windows are separate controls; the framework's wrappers send these).
#pragma once

#include "platform/ui/ui.h"

// ---------------------------------------------------------------------------------------------------------------
// Image lists
// ---------------------------------------------------------------------------------------------------------------
#define ILC_MASK 0x0001
#define ILC_COLOR 0x0000
#define ILC_COLORDDB 0x00FE
#define ILC_COLOR4 0x0004
#define ILC_COLOR8 0x0008
#define ILC_COLOR16 0x0010
#define ILC_COLOR24 0x0018
#define ILC_COLOR32 0x0020
#define ILC_PALETTE 0x0800
#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001
#define ILD_BLEND25 0x0002
#define ILD_BLEND50 0x0004
#define ILD_MASK 0x0010
#define ILD_IMAGE 0x0020
#define ILD_OVERLAYMASK 0x0F00
#define ILD_SELECTED ILD_BLEND50
#define ILD_FOCUS ILD_BLEND25
#define ILD_BLEND ILD_BLEND50
#define INDEXTOOVERLAYMASK(i) ((i) << 8)
#define CLR_NONE 0xFFFFFFFFu
#define CLR_DEFAULT 0xFF000000u
#define CLR_HILIGHT CLR_DEFAULT

struct IMAGEINFO {
  HBITMAP hbmImage;
  HBITMAP hbmMask;
  int Unused1;
  int Unused2;
  RECT rcImage;
};

// Images are kept with their transparency (from the mask, the mask colour or an icon's alpha).
KXAPI HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
KXAPI BOOL ImageList_Destroy(HIMAGELIST himl);
KXAPI int ImageList_GetImageCount(HIMAGELIST himl);
KXAPI BOOL ImageList_SetImageCount(HIMAGELIST himl, UINT count);
// Adds a strip of images (as many as the bitmap's width holds); returns the index of the first, or -1.
KXAPI int ImageList_Add(HIMAGELIST himl, HBITMAP image, HBITMAP mask);
KXAPI int ImageList_AddMasked(HIMAGELIST himl, HBITMAP image, COLORREF maskColor);
// index -1 appends; returns the index, or -1.
KXAPI int ImageList_ReplaceIcon(HIMAGELIST himl, int index, HICON icon);
inline int ImageList_AddIcon(HIMAGELIST himl, HICON icon) { return ImageList_ReplaceIcon(himl, -1, icon); }
KXAPI BOOL ImageList_Replace(HIMAGELIST himl, int index, HBITMAP image, HBITMAP mask);
// index -1 removes all.
KXAPI BOOL ImageList_Remove(HIMAGELIST himl, int index);
inline BOOL ImageList_RemoveAll(HIMAGELIST himl) { return ImageList_Remove(himl, -1); }
KXAPI BOOL ImageList_Draw(HIMAGELIST himl, int index, HDC hdc, int x, int y, UINT style);
KXAPI BOOL ImageList_DrawEx(HIMAGELIST himl, int index, HDC hdc, int x, int y, int dx, int dy, COLORREF bk,
                            COLORREF fg, UINT style);
// A new icon the caller destroys.
KXAPI HICON ImageList_GetIcon(HIMAGELIST himl, int index, UINT flags);
inline HICON ImageList_ExtractIcon(HINSTANCE, HIMAGELIST himl, int index) { return ImageList_GetIcon(himl, index, 0); }
KXAPI BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy);
KXAPI BOOL ImageList_SetIconSize(HIMAGELIST himl, int cx, int cy);
KXAPI BOOL ImageList_GetImageInfo(HIMAGELIST himl, int index, IMAGEINFO* info);
KXAPI COLORREF ImageList_SetBkColor(HIMAGELIST himl, COLORREF color);
KXAPI COLORREF ImageList_GetBkColor(HIMAGELIST himl);
KXAPI BOOL ImageList_SetOverlayImage(HIMAGELIST himl, int image, int overlay);
KXAPI HIMAGELIST ImageList_Duplicate(HIMAGELIST himl);
// A bitmap strip from a module's resources (type IMAGE_BITMAP), split into images cx wide.
KXAPI HIMAGELIST ImageList_LoadImage(HINSTANCE instance, LPCSTR name, int cx, int grow, COLORREF maskColor,
                                     UINT type, UINT flags);
inline HIMAGELIST ImageList_LoadImageA(HINSTANCE i, LPCSTR n, int cx, int g, COLORREF m, UINT t, UINT f) {
  return ImageList_LoadImage(i, n, cx, g, m, t, f);
}
inline HIMAGELIST ImageList_LoadBitmap(HINSTANCE i, LPCSTR n, int cx, int grow, COLORREF mask) {
  return ImageList_LoadImage(i, n, cx, grow, mask, IMAGE_BITMAP, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Tab control ("SysTabControl32")
// ---------------------------------------------------------------------------------------------------------------
#define WC_TABCONTROLA "SysTabControl32"
#define WC_TABCONTROL WC_TABCONTROLA

#define TCS_SCROLLOPPOSITE 0x0001
#define TCS_BOTTOM 0x0002
#define TCS_RIGHT 0x0002
#define TCS_MULTISELECT 0x0004
#define TCS_FLATBUTTONS 0x0008
#define TCS_FORCEICONLEFT 0x0010
#define TCS_FORCELABELLEFT 0x0020
#define TCS_HOTTRACK 0x0040
#define TCS_VERTICAL 0x0080
#define TCS_TABS 0x0000
#define TCS_BUTTONS 0x0100
#define TCS_SINGLELINE 0x0000
#define TCS_MULTILINE 0x0200
#define TCS_RIGHTJUSTIFY 0x0000
#define TCS_FIXEDWIDTH 0x0400
#define TCS_RAGGEDRIGHT 0x0800
#define TCS_FOCUSONBUTTONDOWN 0x1000
#define TCS_OWNERDRAWFIXED 0x2000
#define TCS_TOOLTIPS 0x4000
#define TCS_FOCUSNEVER 0x8000

#define TCM_FIRST 0x1300
#define TCM_GETIMAGELIST (TCM_FIRST + 2)
#define TCM_SETIMAGELIST (TCM_FIRST + 3)
#define TCM_GETITEMCOUNT (TCM_FIRST + 4)
#define TCM_GETITEMA (TCM_FIRST + 5)
#define TCM_GETITEM TCM_GETITEMA
#define TCM_SETITEMA (TCM_FIRST + 6)
#define TCM_SETITEM TCM_SETITEMA
#define TCM_INSERTITEMA (TCM_FIRST + 7)
#define TCM_INSERTITEM TCM_INSERTITEMA
#define TCM_DELETEITEM (TCM_FIRST + 8)
#define TCM_DELETEALLITEMS (TCM_FIRST + 9)
#define TCM_GETITEMRECT (TCM_FIRST + 10)
#define TCM_GETCURSEL (TCM_FIRST + 11)
#define TCM_SETCURSEL (TCM_FIRST + 12)
#define TCM_HITTEST (TCM_FIRST + 13)
#define TCM_SETITEMEXTRA (TCM_FIRST + 14)
#define TCM_ADJUSTRECT (TCM_FIRST + 40)
#define TCM_SETITEMSIZE (TCM_FIRST + 41)
#define TCM_REMOVEIMAGE (TCM_FIRST + 42)
#define TCM_SETPADDING (TCM_FIRST + 43)
#define TCM_GETROWCOUNT (TCM_FIRST + 44)
#define TCM_GETTOOLTIPS (TCM_FIRST + 45)
#define TCM_SETTOOLTIPS (TCM_FIRST + 46)
#define TCM_GETCURFOCUS (TCM_FIRST + 47)
#define TCM_SETCURFOCUS (TCM_FIRST + 48)
#define TCM_SETMINTABWIDTH (TCM_FIRST + 49)
#define TCM_DESELECTALL (TCM_FIRST + 50)
#define TCM_HIGHLIGHTITEM (TCM_FIRST + 51)
#define TCM_SETEXTENDEDSTYLE (TCM_FIRST + 52)
#define TCM_GETEXTENDEDSTYLE (TCM_FIRST + 53)

#define TCIF_TEXT 0x0001
#define TCIF_IMAGE 0x0002
#define TCIF_RTLREADING 0x0004
#define TCIF_PARAM 0x0008
#define TCIF_STATE 0x0010
#define TCIS_BUTTONPRESSED 0x0001
#define TCIS_HIGHLIGHTED 0x0002
#define TCHT_NOWHERE 0x0001
#define TCHT_ONITEMICON 0x0002
#define TCHT_ONITEMLABEL 0x0004
#define TCHT_ONITEM (TCHT_ONITEMICON | TCHT_ONITEMLABEL)

#define TCN_FIRST (0u - 550u)
#define TCN_KEYDOWN (TCN_FIRST - 0)
#define TCN_SELCHANGE (TCN_FIRST - 1)
#define TCN_SELCHANGING (TCN_FIRST - 2)

struct TCITEMA {
  UINT mask;
  DWORD dwState;
  DWORD dwStateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
};
using TCITEM = TCITEMA;
using LPTCITEM = TCITEMA*;
using TC_ITEM = TCITEMA;

struct TCHITTESTINFO {
  POINT pt;
  UINT flags;
};
using LPTCHITTESTINFO = TCHITTESTINFO*;

struct NMTCKEYDOWN {
  NMHDR hdr;
  WORD wVKey;
  UINT flags;
};

// ---------------------------------------------------------------------------------------------------------------
// Combo box ("ComboBox")
// ---------------------------------------------------------------------------------------------------------------
#define WC_COMBOBOXA "ComboBox"
#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_OWNERDRAWFIXED 0x0010L
#define CBS_OWNERDRAWVARIABLE 0x0020L
#define CBS_AUTOHSCROLL 0x0040L
#define CBS_OEMCONVERT 0x0080L
#define CBS_SORT 0x0100L
#define CBS_HASSTRINGS 0x0200L
#define CBS_NOINTEGRALHEIGHT 0x0400L
#define CBS_DISABLENOSCROLL 0x0800L
#define CBS_UPPERCASE 0x2000L
#define CBS_LOWERCASE 0x4000L

#define CB_GETEDITSEL 0x0140
#define CB_LIMITTEXT 0x0141
#define CB_SETEDITSEL 0x0142
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_DIR 0x0145
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_FINDSTRING 0x014C
#define CB_SELECTSTRING 0x014D
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_GETDROPPEDCONTROLRECT 0x0152
#define CB_SETITEMHEIGHT 0x0153
#define CB_GETITEMHEIGHT 0x0154
#define CB_SETEXTENDEDUI 0x0155
#define CB_GETEXTENDEDUI 0x0156
#define CB_GETDROPPEDSTATE 0x0157
#define CB_FINDSTRINGEXACT 0x0158
#define CB_SETLOCALE 0x0159
#define CB_GETLOCALE 0x015A
#define CB_GETTOPINDEX 0x015B
#define CB_SETTOPINDEX 0x015C
#define CB_GETHORIZONTALEXTENT 0x015D
#define CB_SETHORIZONTALEXTENT 0x015E
#define CB_GETDROPPEDWIDTH 0x015F
#define CB_SETDROPPEDWIDTH 0x0160
#define CB_INITSTORAGE 0x0161
#define CB_OKAY 0
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)

#define CBN_ERRSPACE (-1)
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9
#define CBN_SELENDCANCEL 10

// ---------------------------------------------------------------------------------------------------------------
// List box ("ListBox")
// ---------------------------------------------------------------------------------------------------------------
#define WC_LISTBOXA "ListBox"
#define LBS_NOTIFY 0x0001L
#define LBS_SORT 0x0002L
#define LBS_NOREDRAW 0x0004L
#define LBS_MULTIPLESEL 0x0008L
#define LBS_OWNERDRAWFIXED 0x0010L
#define LBS_OWNERDRAWVARIABLE 0x0020L
#define LBS_HASSTRINGS 0x0040L
#define LBS_USETABSTOPS 0x0080L
#define LBS_NOINTEGRALHEIGHT 0x0100L
#define LBS_MULTICOLUMN 0x0200L
#define LBS_WANTKEYBOARDINPUT 0x0400L
#define LBS_EXTENDEDSEL 0x0800L
#define LBS_DISABLENOSCROLL 0x1000L
#define LBS_NODATA 0x2000L
#define LBS_NOSEL 0x4000L
#define LBS_STANDARD (LBS_NOTIFY | LBS_SORT | WS_VSCROLL | WS_BORDER)

#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_SELITEMRANGEEX 0x0183
#define LB_RESETCONTENT 0x0184
#define LB_SETSEL 0x0185
#define LB_SETCURSEL 0x0186
#define LB_GETSEL 0x0187
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_SELECTSTRING 0x018C
#define LB_DIR 0x018D
#define LB_GETTOPINDEX 0x018E
#define LB_FINDSTRING 0x018F
#define LB_GETSELCOUNT 0x0190
#define LB_GETSELITEMS 0x0191
#define LB_SETTABSTOPS 0x0192
#define LB_GETHORIZONTALEXTENT 0x0193
#define LB_SETHORIZONTALEXTENT 0x0194
#define LB_SETCOLUMNWIDTH 0x0195
#define LB_ADDFILE 0x0196
#define LB_SETTOPINDEX 0x0197
#define LB_GETITEMRECT 0x0198
#define LB_GETITEMDATA 0x0199
#define LB_SETITEMDATA 0x019A
#define LB_SELITEMRANGE 0x019B
#define LB_SETANCHORINDEX 0x019C
#define LB_GETANCHORINDEX 0x019D
#define LB_SETCARETINDEX 0x019E
#define LB_GETCARETINDEX 0x019F
#define LB_SETITEMHEIGHT 0x01A0
#define LB_GETITEMHEIGHT 0x01A1
#define LB_FINDSTRINGEXACT 0x01A2
#define LB_SETLOCALE 0x01A5
#define LB_GETLOCALE 0x01A6
#define LB_SETCOUNT 0x01A7
#define LB_INITSTORAGE 0x01A8
#define LB_ITEMFROMPOINT 0x01A9
#define LB_OKAY 0
#define LB_ERR (-1)
#define LB_ERRSPACE (-2)

#define LBN_ERRSPACE (-2)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define LBN_SELCANCEL 3
#define LBN_SETFOCUS 4
#define LBN_KILLFOCUS 5

// ---------------------------------------------------------------------------------------------------------------
// Tooltips ("tooltips_class32")
// ---------------------------------------------------------------------------------------------------------------
#define TOOLTIPS_CLASSA "tooltips_class32"
#define TOOLTIPS_CLASS TOOLTIPS_CLASSA
#define TTS_ALWAYSTIP 0x01
#define TTS_NOPREFIX 0x02
#define TTS_NOANIMATE 0x10
#define TTS_NOFADE 0x20
#define TTS_BALLOON 0x40

#define TTF_IDISHWND 0x0001
#define TTF_CENTERTIP 0x0002
#define TTF_RTLREADING 0x0004
#define TTF_SUBCLASS 0x0010
#define TTF_TRACK 0x0020
#define TTF_ABSOLUTE 0x0080
#define TTF_TRANSPARENT 0x0100

#define TTDT_AUTOMATIC 0
#define TTDT_RESHOW 1
#define TTDT_AUTOPOP 2
#define TTDT_INITIAL 3

#define TTM_ACTIVATE (WM_USER + 1)
#define TTM_SETDELAYTIME (WM_USER + 3)
#define TTM_ADDTOOLA (WM_USER + 4)
#define TTM_ADDTOOL TTM_ADDTOOLA
#define TTM_DELTOOLA (WM_USER + 5)
#define TTM_DELTOOL TTM_DELTOOLA
#define TTM_NEWTOOLRECTA (WM_USER + 6)
#define TTM_NEWTOOLRECT TTM_NEWTOOLRECTA
#define TTM_RELAYEVENT (WM_USER + 7)
#define TTM_GETTOOLINFOA (WM_USER + 8)
#define TTM_GETTOOLINFO TTM_GETTOOLINFOA
#define TTM_SETTOOLINFOA (WM_USER + 9)
#define TTM_SETTOOLINFO TTM_SETTOOLINFOA
#define TTM_GETTEXTA (WM_USER + 11)
#define TTM_GETTEXT TTM_GETTEXTA
#define TTM_UPDATETIPTEXTA (WM_USER + 12)
#define TTM_UPDATETIPTEXT TTM_UPDATETIPTEXTA
#define TTM_GETTOOLCOUNT (WM_USER + 13)
#define TTM_WINDOWFROMPOINT (WM_USER + 16)
#define TTM_TRACKACTIVATE (WM_USER + 17)
#define TTM_TRACKPOSITION (WM_USER + 18)
#define TTM_SETTIPBKCOLOR (WM_USER + 19)
#define TTM_SETTIPTEXTCOLOR (WM_USER + 20)
#define TTM_GETDELAYTIME (WM_USER + 21)
#define TTM_GETTIPBKCOLOR (WM_USER + 22)
#define TTM_GETTIPTEXTCOLOR (WM_USER + 23)
#define TTM_SETMAXTIPWIDTH (WM_USER + 24)
#define TTM_GETMAXTIPWIDTH (WM_USER + 25)
#define TTM_SETMARGIN (WM_USER + 26)
#define TTM_GETMARGIN (WM_USER + 27)
#define TTM_POP (WM_USER + 28)
#define TTM_UPDATE (WM_USER + 29)

#define TTN_FIRST (0u - 520u)
#define TTN_GETDISPINFOA (TTN_FIRST - 0)
#define TTN_GETDISPINFO TTN_GETDISPINFOA
#define TTN_SHOW (TTN_FIRST - 1)
#define TTN_POP (TTN_FIRST - 2)
#define TTN_NEEDTEXT TTN_GETDISPINFO
#define LPSTR_TEXTCALLBACKA (reinterpret_cast<LPSTR>(static_cast<LONG_PTR>(-1)))
#define LPSTR_TEXTCALLBACK LPSTR_TEXTCALLBACKA

struct TOOLINFOA {
  UINT cbSize;
  UINT uFlags;
  HWND hwnd;
  UINT_PTR uId;
  RECT rect;
  HINSTANCE hinst;
  LPSTR lpszText;
  LPARAM lParam;
};
using TOOLINFO = TOOLINFOA;
using LPTOOLINFO = TOOLINFOA*;
using TTTOOLINFO = TOOLINFOA;

struct NMTTDISPINFOA {
  NMHDR hdr;
  LPSTR lpszText;
  char szText[80];
  HINSTANCE hinst;
  UINT uFlags;
  LPARAM lParam;
};
using NMTTDISPINFO = NMTTDISPINFOA;
using TOOLTIPTEXT = NMTTDISPINFOA;

// ---------------------------------------------------------------------------------------------------------------
// Date and time picker ("SysDateTimePick32"): the messages of the framework's data exchange
// ---------------------------------------------------------------------------------------------------------------
#define DATETIMEPICK_CLASSA "SysDateTimePick32"
#define DTM_FIRST 0x1000
#define DTM_GETSYSTEMTIME (DTM_FIRST + 1)
#define DTM_SETSYSTEMTIME (DTM_FIRST + 2)
#define GDT_ERROR (-1)
#define GDT_VALID 0
#define GDT_NONE 1
