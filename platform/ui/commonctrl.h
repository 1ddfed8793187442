// The other common controls: list view with its header, tree view, progress bar, date-time picker, status bar,
// up-down control, and the custom-draw protocol they share. Their window classes register themselves; a window
// of one of these classes works once the window system is up (InitCommonControls is kept for callers).
#pragma once

#include "platform/ui/commctrl.h"

#define ODT_HEADER 100
#define ODT_TAB 101
#define ODT_LISTVIEW 102

struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
using LPINITCOMMONCONTROLSEX = INITCOMMONCONTROLSEX*;
#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_DATE_CLASSES 0x00000100
#define ICC_WIN95_CLASSES 0x000000FF
inline void InitCommonControls() {}
inline BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX*) { return TRUE; }

// ---------------------------------------------------------------------------------------------------------------
// Shared by the common controls
// ---------------------------------------------------------------------------------------------------------------
#define CCM_FIRST 0x2000
#define CCM_SETBKCOLOR (CCM_FIRST + 1)
#define CCM_SETUNICODEFORMAT (CCM_FIRST + 5)
#define CCM_GETUNICODEFORMAT (CCM_FIRST + 6)
#define CCM_SETVERSION (CCM_FIRST + 7)
#define CCM_GETVERSION (CCM_FIRST + 8)

#define CCS_TOP 0x00000001L
#define CCS_NOMOVEY 0x00000002L
#define CCS_BOTTOM 0x00000003L
#define CCS_NORESIZE 0x00000004L
#define CCS_NOPARENTALIGN 0x00000008L
#define CCS_ADJUSTABLE 0x00000020L
#define CCS_NODIVIDER 0x00000040L
#define CCS_VERT 0x00000080L

// Custom draw (NM_CUSTOMDRAW).
#define CDRF_DODEFAULT 0x00000000
#define CDRF_NEWFONT 0x00000002
#define CDRF_SKIPDEFAULT 0x00000004
#define CDRF_NOTIFYPOSTPAINT 0x00000010
#define CDRF_NOTIFYITEMDRAW 0x00000020
#define CDRF_NOTIFYSUBITEMDRAW 0x00000020
#define CDRF_NOTIFYPOSTERASE 0x00000040
#define CDDS_PREPAINT 0x00000001
#define CDDS_POSTPAINT 0x00000002
#define CDDS_PREERASE 0x00000003
#define CDDS_POSTERASE 0x00000004
#define CDDS_ITEM 0x00010000
#define CDDS_ITEMPREPAINT (CDDS_ITEM | CDDS_PREPAINT)
#define CDDS_ITEMPOSTPAINT (CDDS_ITEM | CDDS_POSTPAINT)
#define CDDS_SUBITEM 0x00020000
#define CDIS_SELECTED 0x0001
#define CDIS_GRAYED 0x0002
#define CDIS_DISABLED 0x0004
#define CDIS_CHECKED 0x0008
#define CDIS_FOCUS 0x0010
#define CDIS_DEFAULT 0x0020
#define CDIS_HOT 0x0040
#define CDIS_MARKED 0x0080
#define CDIS_INDETERMINATE 0x0100

struct NMCUSTOMDRAW {
  NMHDR hdr;
  DWORD dwDrawStage;
  HDC hdc;
  RECT rc;
  DWORD_PTR dwItemSpec;
  UINT uItemState;
  LPARAM lItemlParam;
};
using LPNMCUSTOMDRAW = NMCUSTOMDRAW*;

struct NMMOUSE {
  NMHDR hdr;
  DWORD_PTR dwItemSpec;
  DWORD_PTR dwItemData;
  POINT pt;
  LPARAM dwHitInfo;
};
using LPNMMOUSE = NMMOUSE*;

struct NMKEY {
  NMHDR hdr;
  UINT nVKey;
  UINT uFlags;
};

#define I_IMAGECALLBACK (-1)
#define I_IMAGENONE (-2)
#define I_CHILDRENCALLBACK (-1)

// The parts of a combo box (the list holds its items, the edit its text).
#define CB_GETCOMBOBOXINFO 0x0164
#define STATE_SYSTEM_PRESSED 0x00000008
#define STATE_SYSTEM_INVISIBLE 0x00008000
struct COMBOBOXINFO {
  DWORD cbSize;
  RECT rcItem;
  RECT rcButton;
  DWORD stateButton;
  HWND hwndCombo;
  HWND hwndItem;
  HWND hwndList;
};
using PCOMBOBOXINFO = COMBOBOXINFO*;
KXAPI BOOL GetComboBoxInfo(HWND combo, COMBOBOXINFO* info);

// ---------------------------------------------------------------------------------------------------------------
// Header control ("SysHeader32")
// ---------------------------------------------------------------------------------------------------------------
#define WC_HEADERA "SysHeader32"
#define WC_HEADER WC_HEADERA

#define HDS_HORZ 0x0000
#define HDS_BUTTONS 0x0002
#define HDS_HOTTRACK 0x0004
#define HDS_HIDDEN 0x0008
#define HDS_DRAGDROP 0x0040
#define HDS_FULLDRAG 0x0080
#define HDS_FLAT 0x0200

#define HDI_WIDTH 0x0001
#define HDI_HEIGHT HDI_WIDTH
#define HDI_TEXT 0x0002
#define HDI_FORMAT 0x0004
#define HDI_LPARAM 0x0008
#define HDI_BITMAP 0x0010
#define HDI_IMAGE 0x0020
#define HDI_DI_SETITEM 0x0040
#define HDI_ORDER 0x0080

#define HDF_LEFT 0x0000
#define HDF_RIGHT 0x0001
#define HDF_CENTER 0x0002
#define HDF_JUSTIFYMASK 0x0003
#define HDF_RTLREADING 0x0004
#define HDF_SORTDOWN 0x0200
#define HDF_SORTUP 0x0400
#define HDF_IMAGE 0x0800
#define HDF_BITMAP_ON_RIGHT 0x1000
#define HDF_BITMAP 0x2000
#define HDF_STRING 0x4000
#define HDF_OWNERDRAW 0x8000

#define HDM_FIRST 0x1200
#define HDM_GETITEMCOUNT (HDM_FIRST + 0)
#define HDM_INSERTITEMA (HDM_FIRST + 1)
#define HDM_INSERTITEM HDM_INSERTITEMA
#define HDM_DELETEITEM (HDM_FIRST + 2)
#define HDM_GETITEMA (HDM_FIRST + 3)
#define HDM_GETITEM HDM_GETITEMA
#define HDM_SETITEMA (HDM_FIRST + 4)
#define HDM_SETITEM HDM_SETITEMA
#define HDM_LAYOUT (HDM_FIRST + 5)
#define HDM_HITTEST (HDM_FIRST + 6)
#define HDM_GETITEMRECT (HDM_FIRST + 7)
#define HDM_SETIMAGELIST (HDM_FIRST + 8)
#define HDM_GETIMAGELIST (HDM_FIRST + 9)
#define HDM_ORDERTOINDEX (HDM_FIRST + 15)
#define HDM_GETORDERARRAY (HDM_FIRST + 17)
#define HDM_SETORDERARRAY (HDM_FIRST + 18)

#define HHT_NOWHERE 0x0001
#define HHT_ONHEADER 0x0002
#define HHT_ONDIVIDER 0x0004
#define HHT_ONDIVOPEN 0x0008
#define HHT_ABOVE 0x0100
#define HHT_BELOW 0x0200
#define HHT_TORIGHT 0x0400
#define HHT_TOLEFT 0x0800

#define HDN_FIRST (0u - 300u)
#define HDN_ITEMCHANGINGA (HDN_FIRST - 0)
#define HDN_ITEMCHANGING HDN_ITEMCHANGINGA
#define HDN_ITEMCHANGEDA (HDN_FIRST - 1)
#define HDN_ITEMCHANGED HDN_ITEMCHANGEDA
#define HDN_ITEMCLICKA (HDN_FIRST - 2)
#define HDN_ITEMCLICK HDN_ITEMCLICKA
#define HDN_ITEMDBLCLICKA (HDN_FIRST - 3)
#define HDN_ITEMDBLCLICK HDN_ITEMDBLCLICKA
#define HDN_DIVIDERDBLCLICKA (HDN_FIRST - 5)
#define HDN_DIVIDERDBLCLICK HDN_DIVIDERDBLCLICKA
#define HDN_BEGINTRACKA (HDN_FIRST - 6)
#define HDN_BEGINTRACK HDN_BEGINTRACKA
#define HDN_ENDTRACKA (HDN_FIRST - 7)
#define HDN_ENDTRACK HDN_ENDTRACKA
#define HDN_TRACKA (HDN_FIRST - 8)
#define HDN_TRACK HDN_TRACKA

struct HDITEMA {
  UINT mask;
  int cxy;
  LPSTR pszText;
  HBITMAP hbm;
  int cchTextMax;
  int fmt;
  LPARAM lParam;
  int iImage;
  int iOrder;
};
using HDITEM = HDITEMA;
using LPHDITEM = HDITEMA*;
using HD_ITEM = HDITEMA;

struct HDLAYOUT {
  RECT* prc;
  WINDOWPOS* pwpos;
};
using LPHDLAYOUT = HDLAYOUT*;

struct HDHITTESTINFO {
  POINT pt;
  UINT flags;
  int iItem;
};
using LPHDHITTESTINFO = HDHITTESTINFO*;

struct NMHEADERA {
  NMHDR hdr;
  int iItem;
  int iButton;
  HDITEMA* pitem;
};
using NMHEADER = NMHEADERA;
using LPNMHEADER = NMHEADERA*;
using HD_NOTIFY = NMHEADERA;

// ---------------------------------------------------------------------------------------------------------------
// List view ("SysListView32")
// ---------------------------------------------------------------------------------------------------------------
#define WC_LISTVIEWA "SysListView32"
#define WC_LISTVIEW WC_LISTVIEWA

#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_TYPEMASK 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_SORTASCENDING 0x0010
#define LVS_SORTDESCENDING 0x0020
#define LVS_SHAREIMAGELISTS 0x0040
#define LVS_NOLABELWRAP 0x0080
#define LVS_AUTOARRANGE 0x0100
#define LVS_EDITLABELS 0x0200
#define LVS_OWNERDRAWFIXED 0x0400
#define LVS_ALIGNTOP 0x0000
#define LVS_ALIGNLEFT 0x0800
#define LVS_OWNERDATA 0x1000
#define LVS_NOSCROLL 0x2000
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000

#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_SUBITEMIMAGES 0x00000002
#define LVS_EX_CHECKBOXES 0x00000004
#define LVS_EX_TRACKSELECT 0x00000008
#define LVS_EX_HEADERDRAGDROP 0x00000010
#define LVS_EX_FULLROWSELECT 0x00000020
#define LVS_EX_ONECLICKACTIVATE 0x00000040
#define LVS_EX_TWOCLICKACTIVATE 0x00000080
#define LVS_EX_FLATSB 0x00000100
#define LVS_EX_INFOTIP 0x00000400
#define LVS_EX_LABELTIP 0x00004000

#define LVM_FIRST 0x1000
#define LVM_GETBKCOLOR (LVM_FIRST + 0)
#define LVM_SETBKCOLOR (LVM_FIRST + 1)
#define LVM_GETIMAGELIST (LVM_FIRST + 2)
#define LVM_SETIMAGELIST (LVM_FIRST + 3)
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_GETITEMA (LVM_FIRST + 5)
#define LVM_GETITEM LVM_GETITEMA
#define LVM_SETITEMA (LVM_FIRST + 6)
#define LVM_SETITEM LVM_SETITEMA
#define LVM_INSERTITEMA (LVM_FIRST + 7)
#define LVM_INSERTITEM LVM_INSERTITEMA
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETCALLBACKMASK (LVM_FIRST + 10)
#define LVM_SETCALLBACKMASK (LVM_FIRST + 11)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_FINDITEMA (LVM_FIRST + 13)
#define LVM_FINDITEM LVM_FINDITEMA
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_SETITEMPOSITION (LVM_FIRST + 15)
#define LVM_GETITEMPOSITION (LVM_FIRST + 16)
#define LVM_GETSTRINGWIDTHA (LVM_FIRST + 17)
#define LVM_GETSTRINGWIDTH LVM_GETSTRINGWIDTHA
#define LVM_HITTEST (LVM_FIRST + 18)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_SCROLL (LVM_FIRST + 20)
#define LVM_REDRAWITEMS (LVM_FIRST + 21)
#define LVM_ARRANGE (LVM_FIRST + 22)
#define LVM_EDITLABELA (LVM_FIRST + 23)
#define LVM_EDITLABEL LVM_EDITLABELA
#define LVM_GETEDITCONTROL (LVM_FIRST + 24)
#define LVM_GETCOLUMNA (LVM_FIRST + 25)
#define LVM_GETCOLUMN LVM_GETCOLUMNA
#define LVM_SETCOLUMNA (LVM_FIRST + 26)
#define LVM_SETCOLUMN LVM_SETCOLUMNA
#define LVM_INSERTCOLUMNA (LVM_FIRST + 27)
#define LVM_INSERTCOLUMN LVM_INSERTCOLUMNA
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_GETHEADER (LVM_FIRST + 31)
#define LVM_GETVIEWRECT (LVM_FIRST + 34)
#define LVM_GETTEXTCOLOR (LVM_FIRST + 35)
#define LVM_SETTEXTCOLOR (LVM_FIRST + 36)
#define LVM_GETTEXTBKCOLOR (LVM_FIRST + 37)
#define LVM_SETTEXTBKCOLOR (LVM_FIRST + 38)
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#define LVM_GETORIGIN (LVM_FIRST + 41)
#define LVM_UPDATE (LVM_FIRST + 42)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETITEMTEXTA (LVM_FIRST + 45)
#define LVM_GETITEMTEXT LVM_GETITEMTEXTA
#define LVM_SETITEMTEXTA (LVM_FIRST + 46)
#define LVM_SETITEMTEXT LVM_SETITEMTEXTA
#define LVM_SETITEMCOUNT (LVM_FIRST + 47)
#define LVM_SORTITEMS (LVM_FIRST + 48)
#define LVM_SETITEMPOSITION32 (LVM_FIRST + 49)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_GETITEMSPACING (LVM_FIRST + 51)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETSUBITEMRECT (LVM_FIRST + 56)
#define LVM_SUBITEMHITTEST (LVM_FIRST + 57)
#define LVM_SETCOLUMNORDERARRAY (LVM_FIRST + 58)
#define LVM_GETCOLUMNORDERARRAY (LVM_FIRST + 59)
#define LVM_SETHOTITEM (LVM_FIRST + 60)
#define LVM_GETHOTITEM (LVM_FIRST + 61)
#define LVM_GETSELECTIONMARK (LVM_FIRST + 66)
#define LVM_SETSELECTIONMARK (LVM_FIRST + 67)
#define LVM_SORTITEMSEX (LVM_FIRST + 81)

#define LVIF_TEXT 0x0001
#define LVIF_IMAGE 0x0002
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008
#define LVIF_INDENT 0x0010
#define LVIF_NORECOMPUTE 0x0800
#define LVIF_DI_SETITEM 0x1000

#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_CUT 0x0004
#define LVIS_DROPHILITED 0x0008
#define LVIS_ACTIVATING 0x0020
#define LVIS_OVERLAYMASK 0x0F00
#define LVIS_STATEIMAGEMASK 0xF000
#define INDEXTOSTATEIMAGEMASK(i) ((i) << 12)

#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVNI_CUT 0x0004
#define LVNI_DROPHILITED 0x0008
#define LVNI_ABOVE 0x0100
#define LVNI_BELOW 0x0200
#define LVNI_TOLEFT 0x0400
#define LVNI_TORIGHT 0x0800

#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2
#define LVIR_SELECTBOUNDS 3

#define LVSIL_NORMAL 0
#define LVSIL_SMALL 1
#define LVSIL_STATE 2

#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008
#define LVCF_IMAGE 0x0010
#define LVCF_ORDER 0x0020

#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003
#define LVCFMT_IMAGE 0x0800
#define LVCFMT_BITMAP_ON_RIGHT 0x1000
#define LVCFMT_COL_HAS_IMAGES 0x8000

#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)

#define LVHT_NOWHERE 0x0001
#define LVHT_ONITEMICON 0x0002
#define LVHT_ONITEMLABEL 0x0004
#define LVHT_ONITEMSTATEICON 0x0008
#define LVHT_ONITEM (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)
#define LVHT_ABOVE 0x0008
#define LVHT_BELOW 0x0010
#define LVHT_TORIGHT 0x0020
#define LVHT_TOLEFT 0x0040

#define LVFI_PARAM 0x0001
#define LVFI_STRING 0x0002
#define LVFI_PARTIAL 0x0008
#define LVFI_WRAP 0x0020
#define LVFI_NEARESTXY 0x0040

#define LVA_DEFAULT 0x0000

#define LPSTR_TEXTCALLBACKA_LV LPSTR_TEXTCALLBACKA

#define LVN_FIRST (0u - 100u)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#define LVN_INSERTITEM (LVN_FIRST - 2)
#define LVN_DELETEITEM (LVN_FIRST - 3)
#define LVN_DELETEALLITEMS (LVN_FIRST - 4)
#define LVN_BEGINLABELEDITA (LVN_FIRST - 5)
#define LVN_BEGINLABELEDIT LVN_BEGINLABELEDITA
#define LVN_ENDLABELEDITA (LVN_FIRST - 6)
#define LVN_ENDLABELEDIT LVN_ENDLABELEDITA
#define LVN_COLUMNCLICK (LVN_FIRST - 8)
#define LVN_BEGINDRAG (LVN_FIRST - 9)
#define LVN_BEGINRDRAG (LVN_FIRST - 11)
#define LVN_ITEMACTIVATE (LVN_FIRST - 14)
#define LVN_HOTTRACK (LVN_FIRST - 21)
#define LVN_GETDISPINFOA (LVN_FIRST - 50)
#define LVN_GETDISPINFO LVN_GETDISPINFOA
#define LVN_SETDISPINFOA (LVN_FIRST - 51)
#define LVN_SETDISPINFO LVN_SETDISPINFOA
#define LVN_KEYDOWN (LVN_FIRST - 55)
#define LVN_GETINFOTIPA (LVN_FIRST - 57)

struct LVITEMA {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
};
using LVITEM = LVITEMA;
using LPLVITEM = LVITEMA*;
using LV_ITEM = LVITEMA;

struct LVCOLUMNA {
  UINT mask;
  int fmt;
  int cx;
  LPSTR pszText;
  int cchTextMax;
  int iSubItem;
  int iImage;
  int iOrder;
};
using LVCOLUMN = LVCOLUMNA;
using LPLVCOLUMN = LVCOLUMNA*;
using LV_COLUMN = LVCOLUMNA;

struct LVHITTESTINFO {
  POINT pt;
  UINT flags;
  int iItem;
  int iSubItem;
};
using LPLVHITTESTINFO = LVHITTESTINFO*;
using LV_HITTESTINFO = LVHITTESTINFO;

struct LVFINDINFOA {
  UINT flags;
  LPCSTR psz;
  LPARAM lParam;
  POINT pt;
  UINT vkDirection;
};
using LVFINDINFO = LVFINDINFOA;
using LV_FINDINFO = LVFINDINFOA;

struct NMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
};
using LPNMLISTVIEW = NMLISTVIEW*;
using NM_LISTVIEW = NMLISTVIEW;

struct NMITEMACTIVATE {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
  UINT uKeyFlags;
};
using LPNMITEMACTIVATE = NMITEMACTIVATE*;
#define LVKF_ALT 0x0001
#define LVKF_CONTROL 0x0002
#define LVKF_SHIFT 0x0004

struct NMLVDISPINFOA {
  NMHDR hdr;
  LVITEMA item;
};
using NMLVDISPINFO = NMLVDISPINFOA;
using LV_DISPINFO = NMLVDISPINFOA;

struct NMLVKEYDOWN {
  NMHDR hdr;
  WORD wVKey;
  UINT flags;
};
using LPNMLVKEYDOWN = NMLVKEYDOWN*;
using LV_KEYDOWN = NMLVKEYDOWN;

struct NMLVCUSTOMDRAW {
  NMCUSTOMDRAW nmcd;
  COLORREF clrText;
  COLORREF clrTextBk;
  int iSubItem;
};
using LPNMLVCUSTOMDRAW = NMLVCUSTOMDRAW*;

using PFNLVCOMPARE = int (*)(LPARAM, LPARAM, LPARAM);

// ---------------------------------------------------------------------------------------------------------------
// Tree view ("SysTreeView32")
// ---------------------------------------------------------------------------------------------------------------
#define WC_TREEVIEWA "SysTreeView32"
#define WC_TREEVIEW WC_TREEVIEWA

#define TVS_HASBUTTONS 0x0001
#define TVS_HASLINES 0x0002
#define TVS_LINESATROOT 0x0004
#define TVS_EDITLABELS 0x0008
#define TVS_DISABLEDRAGDROP 0x0010
#define TVS_SHOWSELALWAYS 0x0020
#define TVS_RTLREADING 0x0040
#define TVS_NOTOOLTIPS 0x0080
#define TVS_CHECKBOXES 0x0100
#define TVS_TRACKSELECT 0x0200
#define TVS_SINGLEEXPAND 0x0400
#define TVS_INFOTIP 0x0800
#define TVS_FULLROWSELECT 0x1000
#define TVS_NOSCROLL 0x2000
#define TVS_NONEVENHEIGHT 0x4000
#define TVS_NOHSCROLL 0x8000

#define TVIF_TEXT 0x0001
#define TVIF_IMAGE 0x0002
#define TVIF_PARAM 0x0004
#define TVIF_STATE 0x0008
#define TVIF_HANDLE 0x0010
#define TVIF_SELECTEDIMAGE 0x0020
#define TVIF_CHILDREN 0x0040
#define TVIF_INTEGRAL 0x0080

#define TVIS_SELECTED 0x0002
#define TVIS_CUT 0x0004
#define TVIS_DROPHILITED 0x0008
#define TVIS_BOLD 0x0010
#define TVIS_EXPANDED 0x0020
#define TVIS_EXPANDEDONCE 0x0040
#define TVIS_EXPANDPARTIAL 0x0080
#define TVIS_OVERLAYMASK 0x0F00
#define TVIS_STATEIMAGEMASK 0xF000
#define TVIS_USERMASK 0xF000

#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x10000)))
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFE)))
#define TVI_SORT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFD)))

#define TVE_COLLAPSE 0x0001
#define TVE_EXPAND 0x0002
#define TVE_TOGGLE 0x0003
#define TVE_EXPANDPARTIAL 0x4000
#define TVE_COLLAPSERESET 0x8000

#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_PREVIOUS 0x0002
#define TVGN_PARENT 0x0003
#define TVGN_CHILD 0x0004
#define TVGN_FIRSTVISIBLE 0x0005
#define TVGN_NEXTVISIBLE 0x0006
#define TVGN_PREVIOUSVISIBLE 0x0007
#define TVGN_DROPHILITE 0x0008
#define TVGN_CARET 0x0009
#define TVGN_LASTVISIBLE 0x000A

#define TVSIL_NORMAL 0
#define TVSIL_STATE 2

#define TVC_UNKNOWN 0x0000
#define TVC_BYMOUSE 0x0001
#define TVC_BYKEYBOARD 0x0002

#define TVHT_NOWHERE 0x0001
#define TVHT_ONITEMICON 0x0002
#define TVHT_ONITEMLABEL 0x0004
#define TVHT_ONITEMINDENT 0x0008
#define TVHT_ONITEMBUTTON 0x0010
#define TVHT_ONITEMRIGHT 0x0020
#define TVHT_ONITEMSTATEICON 0x0040
#define TVHT_ONITEM (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON)
#define TVHT_ABOVE 0x0100
#define TVHT_BELOW 0x0200
#define TVHT_TORIGHT 0x0400
#define TVHT_TOLEFT 0x0800

#define TV_FIRST 0x1100
#define TVM_INSERTITEMA (TV_FIRST + 0)
#define TVM_INSERTITEM TVM_INSERTITEMA
#define TVM_DELETEITEM (TV_FIRST + 1)
#define TVM_EXPAND (TV_FIRST + 2)
#define TVM_GETITEMRECT (TV_FIRST + 4)
#define TVM_GETCOUNT (TV_FIRST + 5)
#define TVM_GETINDENT (TV_FIRST + 6)
#define TVM_SETINDENT (TV_FIRST + 7)
#define TVM_GETIMAGELIST (TV_FIRST + 8)
#define TVM_SETIMAGELIST (TV_FIRST + 9)
#define TVM_GETNEXTITEM (TV_FIRST + 10)
#define TVM_SELECTITEM (TV_FIRST + 11)
#define TVM_GETITEMA (TV_FIRST + 12)
#define TVM_GETITEM TVM_GETITEMA
#define TVM_SETITEMA (TV_FIRST + 13)
#define TVM_SETITEM TVM_SETITEMA
#define TVM_EDITLABELA (TV_FIRST + 14)
#define TVM_GETEDITCONTROL (TV_FIRST + 15)
#define TVM_GETVISIBLECOUNT (TV_FIRST + 16)
#define TVM_HITTEST (TV_FIRST + 17)
#define TVM_SORTCHILDREN (TV_FIRST + 19)
#define TVM_ENSUREVISIBLE (TV_FIRST + 20)
#define TVM_SORTCHILDRENCB (TV_FIRST + 21)
#define TVM_SETITEMHEIGHT (TV_FIRST + 27)
#define TVM_GETITEMHEIGHT (TV_FIRST + 28)
#define TVM_SETBKCOLOR (TV_FIRST + 29)
#define TVM_SETTEXTCOLOR (TV_FIRST + 30)
#define TVM_GETBKCOLOR (TV_FIRST + 31)
#define TVM_GETTEXTCOLOR (TV_FIRST + 32)
#define TVM_GETITEMSTATE (TV_FIRST + 39)

#define TVN_FIRST (0u - 400u)
#define TVN_SELCHANGINGA (TVN_FIRST - 1)
#define TVN_SELCHANGING TVN_SELCHANGINGA
#define TVN_SELCHANGEDA (TVN_FIRST - 2)
#define TVN_SELCHANGED TVN_SELCHANGEDA
#define TVN_GETDISPINFOA (TVN_FIRST - 3)
#define TVN_GETDISPINFO TVN_GETDISPINFOA
#define TVN_SETDISPINFOA (TVN_FIRST - 4)
#define TVN_ITEMEXPANDINGA (TVN_FIRST - 5)
#define TVN_ITEMEXPANDING TVN_ITEMEXPANDINGA
#define TVN_ITEMEXPANDEDA (TVN_FIRST - 6)
#define TVN_ITEMEXPANDED TVN_ITEMEXPANDEDA
#define TVN_BEGINDRAGA (TVN_FIRST - 7)
#define TVN_BEGINDRAG TVN_BEGINDRAGA
#define TVN_DELETEITEMA (TVN_FIRST - 9)
#define TVN_DELETEITEM TVN_DELETEITEMA
#define TVN_BEGINLABELEDITA (TVN_FIRST - 10)
#define TVN_ENDLABELEDITA (TVN_FIRST - 11)
#define TVN_KEYDOWN (TVN_FIRST - 12)

struct TVITEMA {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
};
using TVITEM = TVITEMA;
using LPTVITEM = TVITEMA*;
using TV_ITEM = TVITEMA;

struct TVITEMEXA {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
  int iIntegral;
};
using TVITEMEX = TVITEMEXA;

struct TVINSERTSTRUCTA {
  HTREEITEM hParent;
  HTREEITEM hInsertAfter;
  union {
    TVITEMEXA itemex;
    TVITEMA item;
  };
};
using TVINSERTSTRUCT = TVINSERTSTRUCTA;
using LPTVINSERTSTRUCT = TVINSERTSTRUCTA*;
using TV_INSERTSTRUCT = TVINSERTSTRUCTA;

struct TVHITTESTINFO {
  POINT pt;
  UINT flags;
  HTREEITEM hItem;
};
using LPTVHITTESTINFO = TVHITTESTINFO*;

struct NMTREEVIEWA {
  NMHDR hdr;
  UINT action;
  TVITEMA itemOld;
  TVITEMA itemNew;
  POINT ptDrag;
};
using NMTREEVIEW = NMTREEVIEWA;
using LPNMTREEVIEW = NMTREEVIEWA*;
using NM_TREEVIEW = NMTREEVIEWA;

struct NMTVDISPINFOA {
  NMHDR hdr;
  TVITEMA item;
};
using NMTVDISPINFO = NMTVDISPINFOA;
using TV_DISPINFO = NMTVDISPINFOA;

struct NMTVKEYDOWN {
  NMHDR hdr;
  WORD wVKey;
  UINT flags;
};

struct NMTVCUSTOMDRAW {
  NMCUSTOMDRAW nmcd;
  COLORREF clrText;
  COLORREF clrTextBk;
  int iLevel;
};
using LPNMTVCUSTOMDRAW = NMTVCUSTOMDRAW*;

using PFNTVCOMPARE = int (*)(LPARAM, LPARAM, LPARAM);
struct TVSORTCB {
  HTREEITEM hParent;
  PFNTVCOMPARE lpfnCompare;
  LPARAM lParam;
};
using LPTVSORTCB = TVSORTCB*;

// ---------------------------------------------------------------------------------------------------------------
// Progress bar ("msctls_progress32")
// ---------------------------------------------------------------------------------------------------------------
#define PROGRESS_CLASSA "msctls_progress32"
#define PROGRESS_CLASS PROGRESS_CLASSA
#define PBS_SMOOTH 0x01
#define PBS_VERTICAL 0x04
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
#define PBM_SETBARCOLOR (WM_USER + 9)
#define PBM_SETBKCOLOR CCM_SETBKCOLOR

struct PBRANGE {
  int iLow;
  int iHigh;
};
using PPBRANGE = PBRANGE*;

// ---------------------------------------------------------------------------------------------------------------
// Status bar ("msctls_statusbar32")
// ---------------------------------------------------------------------------------------------------------------
#define STATUSCLASSNAMEA "msctls_statusbar32"
#define STATUSCLASSNAME STATUSCLASSNAMEA
#define SBARS_SIZEGRIP 0x0100
#define SBARS_TOOLTIPS 0x0800
#define SB_SETTEXTA (WM_USER + 1)
#define SB_SETTEXT SB_SETTEXTA
#define SB_GETTEXTA (WM_USER + 2)
#define SB_GETTEXT SB_GETTEXTA
#define SB_GETTEXTLENGTHA (WM_USER + 3)
#define SB_GETTEXTLENGTH SB_GETTEXTLENGTHA
#define SB_SETPARTS (WM_USER + 4)
#define SB_GETPARTS (WM_USER + 6)
#define SB_GETBORDERS (WM_USER + 7)
#define SB_SETMINHEIGHT (WM_USER + 8)
#define SB_SIMPLE (WM_USER + 9)
#define SB_GETRECT (WM_USER + 10)
#define SB_ISSIMPLE (WM_USER + 14)
#define SB_SETICON (WM_USER + 15)
#define SB_GETICON (WM_USER + 20)
#define SB_SETBKCOLOR CCM_SETBKCOLOR
#define SBT_NOBORDERS 0x0100
#define SBT_POPOUT 0x0200
#define SBT_RTLREADING 0x0400
#define SBT_NOTABPARSING 0x0800
#define SBT_OWNERDRAW 0x1000
#define SB_SIMPLEID 0x00FF

KXAPI HWND CreateStatusWindow(LONG style, LPCSTR text, HWND parent, UINT id);
inline HWND CreateStatusWindowA(LONG s, LPCSTR t, HWND p, UINT id) { return CreateStatusWindow(s, t, p, id); }

// ---------------------------------------------------------------------------------------------------------------
// Up-down control ("msctls_updown32")
// ---------------------------------------------------------------------------------------------------------------
#define UPDOWN_CLASSA "msctls_updown32"
#define UPDOWN_CLASS UPDOWN_CLASSA
#define UD_MAXVAL 0x7FFF
#define UD_MINVAL (-UD_MAXVAL)
#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_HORZ 0x0040
#define UDS_NOTHOUSANDS 0x0080
#define UDS_HOTTRACK 0x0100
#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETACCEL (WM_USER + 107)
#define UDM_GETACCEL (WM_USER + 108)
#define UDM_SETBASE (WM_USER + 109)
#define UDM_GETBASE (WM_USER + 110)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)
#define UDN_FIRST (0u - 721u)
#define UDN_DELTAPOS (UDN_FIRST - 1)

struct UDACCEL {
  UINT nSec;
  UINT nInc;
};
using LPUDACCEL = UDACCEL*;

struct NMUPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
};
using LPNMUPDOWN = NMUPDOWN*;
using NM_UPDOWN = NMUPDOWN;

// ---------------------------------------------------------------------------------------------------------------
// Date-time picker ("SysDateTimePick32")
// ---------------------------------------------------------------------------------------------------------------
#define DATETIMEPICK_CLASSA "SysDateTimePick32"
#define DATETIMEPICK_CLASS DATETIMEPICK_CLASSA
#define DTS_UPDOWN 0x0001
#define DTS_SHOWNONE 0x0002
#define DTS_SHORTDATEFORMAT 0x0000
#define DTS_LONGDATEFORMAT 0x0004
#define DTS_SHORTDATECENTURYFORMAT 0x000C
#define DTS_TIMEFORMAT 0x0009
#define DTS_APPCANPARSE 0x0010
#define DTS_RIGHTALIGN 0x0020

#define DTM_FIRST 0x1000
#define DTM_GETSYSTEMTIME (DTM_FIRST + 1)
#define DTM_SETSYSTEMTIME (DTM_FIRST + 2)
#define DTM_GETRANGE (DTM_FIRST + 3)
#define DTM_SETRANGE (DTM_FIRST + 4)
#define DTM_SETFORMATA (DTM_FIRST + 5)
#define DTM_SETFORMAT DTM_SETFORMATA
#define DTM_SETMCCOLOR (DTM_FIRST + 6)
#define DTM_GETMCCOLOR (DTM_FIRST + 7)
#define DTM_GETMONTHCAL (DTM_FIRST + 8)
#define DTM_SETMCFONT (DTM_FIRST + 9)
#define DTM_GETMCFONT (DTM_FIRST + 10)

#define GDT_ERROR (-1)
#define GDT_VALID 0
#define GDT_NONE 1
#define GDTR_MIN 0x0001
#define GDTR_MAX 0x0002

#define DTN_FIRST (0u - 760u)
#define DTN_DATETIMECHANGE (DTN_FIRST + 1)
#define DTN_DROPDOWN (DTN_FIRST + 6)
#define DTN_CLOSEUP (DTN_FIRST + 7)

struct NMDATETIMECHANGE {
  NMHDR nmhdr;
  DWORD dwFlags;
  SYSTEMTIME st;
};
using LPNMDATETIMECHANGE = NMDATETIMECHANGE*;

// ---------------------------------------------------------------------------------------------------------------
// IP address control ("SysIPAddress32")
// ---------------------------------------------------------------------------------------------------------------
#define WC_IPADDRESSA "SysIPAddress32"
#define WC_IPADDRESS WC_IPADDRESSA
#define IPM_CLEARADDRESS (WM_USER + 100)
#define IPM_SETADDRESS (WM_USER + 101)
#define IPM_GETADDRESS (WM_USER + 102)
#define IPM_SETRANGE (WM_USER + 103)
#define IPM_SETFOCUS (WM_USER + 104)
#define IPM_ISBLANK (WM_USER + 105)
#define IPN_FIRST (0u - 860u)
#define IPN_FIELDCHANGED (IPN_FIRST - 0)
#define MAKEIPADDRESS(b1, b2, b3, b4) \
  ((LPARAM)(((DWORD)(b1) << 24) + ((DWORD)(b2) << 16) + ((DWORD)(b3) << 8) + ((DWORD)(b4))))
#define MAKEIPRANGE(low, high) ((LPARAM)(WORD)(((BYTE)(high) << 8) + (BYTE)(low)))
#define FIRST_IPADDRESS(x) (((x) >> 24) & 0xff)
#define SECOND_IPADDRESS(x) (((x) >> 16) & 0xff)
#define THIRD_IPADDRESS(x) (((x) >> 8) & 0xff)
#define FOURTH_IPADDRESS(x) ((x) & 0xff)

struct NMIPADDRESS {
  NMHDR hdr;
  int iField;
  int iValue;
};
using LPNMIPADDRESS = NMIPADDRESS*;
