// Drawing: device contexts over Cairo image surfaces, pens, brushes, fonts, bitmaps and DIB sections, regions,
// raster operations, text, and the user-level drawing helpers (DrawText, DrawEdge, DrawFrameControl, ...).
//
// Every device context draws into a 32-bit true-colour image. Lines, shapes and fills are drawn without
// antialiasing so that raster operations are exact (drawing a figure twice with R2_NOT restores the pixels);
// text is antialiased. Tahoma, Arial, MS Sans Serif and the other faces map to DejaVu Sans; the Marlett symbol
// glyphs are drawn as paths.
#pragma once

#include "platform/win32/types.h"

// ---------------------------------------------------------------------------------------------------------------
// Structures
// ---------------------------------------------------------------------------------------------------------------

#define LF_FACESIZE 32

struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
};
using LOGFONT = LOGFONTA;
using PLOGFONT = LOGFONTA*;
using LPLOGFONT = LOGFONTA*;
using LPLOGFONTA = LOGFONTA*;

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};
using TEXTMETRIC = TEXTMETRICA;
using LPTEXTMETRIC = TEXTMETRICA*;
using LPTEXTMETRICA = TEXTMETRICA*;

struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
};
struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
};
using LPLOGBRUSH = LOGBRUSH*;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
using LPBITMAP = BITMAP*;
using PBITMAP = BITMAP*;

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;
using PBITMAPINFOHEADER = BITMAPINFOHEADER*;

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
using LPBITMAPINFO = BITMAPINFO*;
using PBITMAPINFO = BITMAPINFO*;

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header is 14 bytes on disk");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "info header is 40 bytes on disk");

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
using LPPALETTEENTRY = PALETTEENTRY*;
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};
using LPLOGPALETTE = LOGPALETTE*;

struct ICONINFO {
  BOOL fIcon;
  DWORD xHotspot;
  DWORD yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
};
using PICONINFO = ICONINFO*;

struct DRAWTEXTPARAMS {
  UINT cbSize;
  int iTabLength;
  int iLeftMargin;
  int iRightMargin;
  UINT uiLengthDrawn;
};
using LPDRAWTEXTPARAMS = DRAWTEXTPARAMS*;

struct BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
};

using COLOR16 = USHORT;
struct TRIVERTEX {
  LONG x;
  LONG y;
  COLOR16 Red;
  COLOR16 Green;
  COLOR16 Blue;
  COLOR16 Alpha;
};
struct GRADIENT_RECT {
  ULONG UpperLeft;
  ULONG LowerRight;
};
#define GRADIENT_FILL_RECT_H 0x00000000
#define GRADIENT_FILL_RECT_V 0x00000001

// Callback of DrawState for DST_COMPLEX.
using DRAWSTATEPROC = BOOL (*)(HDC hdc, LPARAM lData, WPARAM wData, int cx, int cy);

// ---------------------------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------------------------

// Object types (GetObjectType).
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_METADC 4
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_METAFILE 9
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// Pen styles.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_STYLE_MASK 0x0000000F
#define PS_ENDCAP_ROUND 0x00000000
#define PS_ENDCAP_SQUARE 0x00000100
#define PS_ENDCAP_FLAT 0x00000200
#define PS_JOIN_ROUND 0x00000000
#define PS_JOIN_BEVEL 0x00001000
#define PS_JOIN_MITER 0x00002000
#define PS_COSMETIC 0x00000000
#define PS_GEOMETRIC 0x00010000

// Brush styles and hatches.
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_DIBPATTERN 5
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

// Font weights, character sets, precisions, qualities, pitch and families.
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define OEM_CHARSET 255
#define OUT_DEFAULT_PRECIS 0
#define OUT_TT_PRECIS 4
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define FF_SCRIPT 0x40
#define FF_DECORATIVE 0x50

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Binary raster operations (SetROP2).
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

// Ternary raster operations (BitBlt, PatBlt, StretchBlt).
#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define SRCERASE 0x00440328u
#define NOTSRCCOPY 0x00330008u
#define NOTSRCERASE 0x001100A6u
#define MERGECOPY 0x00C000CAu
#define MERGEPAINT 0x00BB0226u
#define PATCOPY 0x00F00021u
#define PATPAINT 0x00FB0A09u
#define PATINVERT 0x005A0049u
#define DSTINVERT 0x00550009u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
#define NOMIRRORBITMAP 0x80000000u
#define CAPTUREBLT 0x40000000u

// Stretch modes.
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE

// Polygon fill modes.
#define ALTERNATE 1
#define WINDING 2

// Text alignment.
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define TA_RTLREADING 256
#define TA_MASK (TA_BASELINE + TA_CENTER + TA_UPDATECP + TA_RTLREADING)

// ExtTextOut options.
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

// Mapping modes.
#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

#define GDI_ERROR 0xFFFFFFFFu

// Region results and combination modes.
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

// Device capabilities.
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMFONTS 22
#define NUMCOLORS 24
#define ASPECTX 40
#define ASPECTY 42
#define ASPECTXY 44
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define RASTERCAPS 38
#define CURVECAPS 28
#define LINECAPS 30
#define POLYGONALCAPS 32
#define TEXTCAPS 34
#define CLIPCAPS 36
#define VREFRESH 116
#define DESKTOPVERTRES 117
#define DESKTOPHORZRES 118
#define DT_RASDISPLAY 1
#define RC_BITBLT 1
#define RC_BANDING 2
#define RC_SCALING 4
#define RC_BITMAP64 8
#define RC_GDI20_OUTPUT 0x0010
#define RC_DI_BITMAP 0x0080
#define RC_PALETTE 0x0100
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_FLOODFILL 0x1000
#define RC_STRETCHDIB 0x2000

// DIB formats.
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define CBM_INIT 0x04

// Palette entry flags and system palette use.
#define PC_RESERVED 0x01
#define PC_EXPLICIT 0x02
#define PC_NOCOLLAPSE 0x04
#define SYSPAL_ERROR 0
#define SYSPAL_STATIC 1
#define SYSPAL_NOSTATIC 2

// DrawText formats.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_PATH_ELLIPSIS 0x00004000
#define DT_END_ELLIPSIS 0x00008000
#define DT_MODIFYSTRING 0x00010000
#define DT_RTLREADING 0x00020000
#define DT_WORD_ELLIPSIS 0x00040000
#define DT_NOFULLWIDTHCHARBREAK 0x00080000
#define DT_HIDEPREFIX 0x00100000
#define DT_PREFIXONLY 0x00200000

// DrawEdge.
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define BDR_OUTER (BDR_RAISEDOUTER | BDR_SUNKENOUTER)
#define BDR_INNER (BDR_RAISEDINNER | BDR_SUNKENINNER)
#define BDR_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define BDR_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_TOPLEFT (BF_TOP | BF_LEFT)
#define BF_TOPRIGHT (BF_TOP | BF_RIGHT)
#define BF_BOTTOMLEFT (BF_BOTTOM | BF_LEFT)
#define BF_BOTTOMRIGHT (BF_BOTTOM | BF_RIGHT)
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_DIAGONAL 0x0010
#define BF_MIDDLE 0x0800
#define BF_SOFT 0x1000
#define BF_ADJUST 0x2000
#define BF_FLAT 0x4000
#define BF_MONO 0x8000

// DrawFrameControl.
#define DFC_CAPTION 1
#define DFC_MENU 2
#define DFC_SCROLL 3
#define DFC_BUTTON 4
#define DFC_POPUPMENU 5
#define DFCS_CAPTIONCLOSE 0x0000
#define DFCS_CAPTIONMIN 0x0001
#define DFCS_CAPTIONMAX 0x0002
#define DFCS_CAPTIONRESTORE 0x0003
#define DFCS_CAPTIONHELP 0x0004
#define DFCS_MENUARROW 0x0000
#define DFCS_MENUCHECK 0x0001
#define DFCS_MENUBULLET 0x0002
#define DFCS_MENUARROWRIGHT 0x0004
#define DFCS_SCROLLUP 0x0000
#define DFCS_SCROLLDOWN 0x0001
#define DFCS_SCROLLLEFT 0x0002
#define DFCS_SCROLLRIGHT 0x0003
#define DFCS_SCROLLCOMBOBOX 0x0005
#define DFCS_SCROLLSIZEGRIP 0x0008
#define DFCS_BUTTONCHECK 0x0000
#define DFCS_BUTTONRADIOIMAGE 0x0001
#define DFCS_BUTTONRADIOMASK 0x0002
#define DFCS_BUTTONRADIO 0x0004
#define DFCS_BUTTON3STATE 0x0008
#define DFCS_BUTTONPUSH 0x0010
#define DFCS_INACTIVE 0x0100
#define DFCS_PUSHED 0x0200
#define DFCS_CHECKED 0x0400
#define DFCS_TRANSPARENT 0x0800
#define DFCS_HOT 0x1000
#define DFCS_ADJUSTRECT 0x2000
#define DFCS_FLAT 0x4000
#define DFCS_MONO 0x8000

// DrawState.
#define DST_COMPLEX 0x0000
#define DST_TEXT 0x0001
#define DST_PREFIXTEXT 0x0002
#define DST_ICON 0x0003
#define DST_BITMAP 0x0004
#define DSS_NORMAL 0x0000
#define DSS_UNION 0x0010
#define DSS_DISABLED 0x0020
#define DSS_MONO 0x0080
#define DSS_HIDEPREFIX 0x0200
#define DSS_PREFIXONLY 0x0400
#define DSS_RIGHT 0x8000

// DrawIconEx.
#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
#define DI_COMPAT 0x0004
#define DI_DEFAULTSIZE 0x0008

// AlphaBlend.
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

// System colours (GetSysColor). The theme is fixed: the classic grey look of the platform.
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_DESKTOP COLOR_BACKGROUND
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_BTNSHADOW 16
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_BTNHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_GRADIENTACTIVECAPTION 27
#define COLOR_GRADIENTINACTIVECAPTION 28
#define COLOR_MENUHILIGHT 29
#define COLOR_MENUBAR 30

// ---------------------------------------------------------------------------------------------------------------
// Rectangles (user-level helpers)
// ---------------------------------------------------------------------------------------------------------------
KXAPI BOOL SetRect(LPRECT rc, int left, int top, int right, int bottom);
KXAPI BOOL SetRectEmpty(LPRECT rc);
KXAPI BOOL CopyRect(LPRECT dst, const RECT* src);
KXAPI BOOL InflateRect(LPRECT rc, int dx, int dy);
KXAPI BOOL OffsetRect(LPRECT rc, int dx, int dy);
KXAPI BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b);
KXAPI BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b);
KXAPI BOOL SubtractRect(LPRECT dst, const RECT* a, const RECT* b);
KXAPI BOOL EqualRect(const RECT* a, const RECT* b);
KXAPI BOOL IsRectEmpty(const RECT* rc);
KXAPI BOOL PtInRect(const RECT* rc, POINT pt);

// ---------------------------------------------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------------------------------------------
KXAPI HGDIOBJ GetStockObject(int index);
KXAPI BOOL DeleteObject(HGDIOBJ obj);
KXAPI int GetObject(HGDIOBJ obj, int size, LPVOID out);
inline int GetObjectA(HGDIOBJ obj, int size, LPVOID out) { return GetObject(obj, size, out); }
KXAPI DWORD GetObjectType(HGDIOBJ obj);
KXAPI BOOL UnrealizeObject(HGDIOBJ obj);

KXAPI HPEN CreatePen(int style, int width, COLORREF color);
KXAPI HPEN CreatePenIndirect(const LOGPEN* lp);
KXAPI HBRUSH CreateSolidBrush(COLORREF color);
KXAPI HBRUSH CreateHatchBrush(int hatch, COLORREF color);
KXAPI HBRUSH CreatePatternBrush(HBITMAP bitmap);
KXAPI HBRUSH CreateBrushIndirect(const LOGBRUSH* lb);
KXAPI HFONT CreateFontIndirect(const LOGFONTA* lf);
inline HFONT CreateFontIndirectA(const LOGFONTA* lf) { return CreateFontIndirect(lf); }
KXAPI HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                       DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                       DWORD quality, DWORD pitchAndFamily, LPCSTR face);
inline HFONT CreateFontA(int h, int w, int e, int o, int wt, DWORD i, DWORD u, DWORD s, DWORD cs, DWORD op, DWORD cp,
                         DWORD q, DWORD pf, LPCSTR face) {
  return CreateFont(h, w, e, o, wt, i, u, s, cs, op, cp, q, pf, face);
}

// Palettes: the screen is a true-colour device; palette calls succeed and map to the nearest entry.
KXAPI HPALETTE CreatePalette(const LOGPALETTE* lp);
KXAPI HPALETTE CreateHalftonePalette(HDC hdc);
KXAPI HPALETTE SelectPalette(HDC hdc, HPALETTE pal, BOOL forceBackground);
KXAPI UINT RealizePalette(HDC hdc);
KXAPI UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, LPPALETTEENTRY out);
KXAPI UINT SetPaletteEntries(HPALETTE pal, UINT start, UINT count, const PALETTEENTRY* in);
KXAPI UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF color);
KXAPI COLORREF GetNearestColor(HDC hdc, COLORREF color);
KXAPI UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, LPPALETTEENTRY out);
KXAPI UINT GetSystemPaletteUse(HDC hdc);

// ---------------------------------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------------------------------
KXAPI HDC CreateCompatibleDC(HDC hdc);
KXAPI HDC CreateDC(LPCSTR driver, LPCSTR device, LPCSTR output, const void* initData);
inline HDC CreateDCA(LPCSTR d, LPCSTR dev, LPCSTR o, const void* i) { return CreateDC(d, dev, o, i); }
KXAPI BOOL DeleteDC(HDC hdc);
KXAPI int SaveDC(HDC hdc);
KXAPI BOOL RestoreDC(HDC hdc, int saved);
KXAPI int GetDeviceCaps(HDC hdc, int index);
KXAPI HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
KXAPI HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
KXAPI BOOL GdiFlush();

KXAPI COLORREF SetTextColor(HDC hdc, COLORREF color);
KXAPI COLORREF GetTextColor(HDC hdc);
KXAPI COLORREF SetBkColor(HDC hdc, COLORREF color);
KXAPI COLORREF GetBkColor(HDC hdc);
KXAPI int SetBkMode(HDC hdc, int mode);
KXAPI int GetBkMode(HDC hdc);
KXAPI int SetROP2(HDC hdc, int rop2);
KXAPI int GetROP2(HDC hdc);
KXAPI UINT SetTextAlign(HDC hdc, UINT align);
KXAPI UINT GetTextAlign(HDC hdc);
KXAPI int SetStretchBltMode(HDC hdc, int mode);
KXAPI int GetStretchBltMode(HDC hdc);
KXAPI int SetPolyFillMode(HDC hdc, int mode);
KXAPI int GetPolyFillMode(HDC hdc);
KXAPI COLORREF SetDCBrushColor(HDC hdc, COLORREF color);
KXAPI COLORREF GetDCBrushColor(HDC hdc);
KXAPI COLORREF SetDCPenColor(HDC hdc, COLORREF color);
KXAPI COLORREF GetDCPenColor(HDC hdc);
KXAPI BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT old);
KXAPI BOOL GetBrushOrgEx(HDC hdc, LPPOINT out);
KXAPI int SetTextCharacterExtra(HDC hdc, int extra);
KXAPI int GetTextCharacterExtra(HDC hdc);

// Coordinate spaces.
KXAPI int SetMapMode(HDC hdc, int mode);
KXAPI int GetMapMode(HDC hdc);
KXAPI BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old);
KXAPI BOOL GetViewportOrgEx(HDC hdc, LPPOINT out);
KXAPI BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old);
KXAPI BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT old);
KXAPI BOOL GetWindowOrgEx(HDC hdc, LPPOINT out);
KXAPI BOOL OffsetWindowOrgEx(HDC hdc, int dx, int dy, LPPOINT old);
KXAPI BOOL SetViewportExtEx(HDC hdc, int cx, int cy, LPSIZE old);
KXAPI BOOL GetViewportExtEx(HDC hdc, LPSIZE out);
KXAPI BOOL SetWindowExtEx(HDC hdc, int cx, int cy, LPSIZE old);
KXAPI BOOL GetWindowExtEx(HDC hdc, LPSIZE out);
KXAPI BOOL DPtoLP(HDC hdc, LPPOINT pts, int count);
KXAPI BOOL LPtoDP(HDC hdc, LPPOINT pts, int count);

// Clipping.
KXAPI int SelectClipRgn(HDC hdc, HRGN rgn);
KXAPI int ExtSelectClipRgn(HDC hdc, HRGN rgn, int mode);
KXAPI int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
KXAPI int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
KXAPI int OffsetClipRgn(HDC hdc, int dx, int dy);
KXAPI int GetClipBox(HDC hdc, LPRECT rc);
KXAPI int GetClipRgn(HDC hdc, HRGN rgn);
KXAPI BOOL PtVisible(HDC hdc, int x, int y);
KXAPI BOOL RectVisible(HDC hdc, const RECT* rc);

// ---------------------------------------------------------------------------------------------------------------
// Lines, shapes, fills
// ---------------------------------------------------------------------------------------------------------------
KXAPI BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old);
KXAPI BOOL GetCurrentPositionEx(HDC hdc, LPPOINT out);
KXAPI BOOL LineTo(HDC hdc, int x, int y);
KXAPI BOOL Polyline(HDC hdc, const POINT* pts, int count);
KXAPI BOOL PolylineTo(HDC hdc, const POINT* pts, DWORD count);
KXAPI BOOL Polygon(HDC hdc, const POINT* pts, int count);
KXAPI BOOL PolyPolygon(HDC hdc, const POINT* pts, const INT* counts, int polygons);
KXAPI BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
KXAPI BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
KXAPI BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
KXAPI BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);
KXAPI BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);
KXAPI int FillRect(HDC hdc, const RECT* rc, HBRUSH brush);
KXAPI int FrameRect(HDC hdc, const RECT* rc, HBRUSH brush);
KXAPI BOOL InvertRect(HDC hdc, const RECT* rc);
KXAPI BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);
KXAPI COLORREF GetPixel(HDC hdc, int x, int y);
KXAPI COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
KXAPI BOOL SetPixelV(HDC hdc, int x, int y, COLORREF color);

// ---------------------------------------------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------------------------------------------
KXAPI HRGN CreateRectRgn(int left, int top, int right, int bottom);
KXAPI HRGN CreateRectRgnIndirect(const RECT* rc);
KXAPI HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
KXAPI HRGN CreateEllipticRgnIndirect(const RECT* rc);
KXAPI HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
KXAPI HRGN CreatePolygonRgn(const POINT* pts, int count, int fillMode);
KXAPI int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
KXAPI BOOL SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);
KXAPI int OffsetRgn(HRGN rgn, int dx, int dy);
KXAPI int GetRgnBox(HRGN rgn, LPRECT rc);
KXAPI BOOL PtInRegion(HRGN rgn, int x, int y);
KXAPI BOOL RectInRegion(HRGN rgn, const RECT* rc);
KXAPI BOOL EqualRgn(HRGN a, HRGN b);
KXAPI BOOL FillRgn(HDC hdc, HRGN rgn, HBRUSH brush);
KXAPI BOOL FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int width, int height);
KXAPI BOOL InvertRgn(HDC hdc, HRGN rgn);
KXAPI BOOL PaintRgn(HDC hdc, HRGN rgn);

// ---------------------------------------------------------------------------------------------------------------
// Bitmaps and DIBs
// ---------------------------------------------------------------------------------------------------------------
KXAPI HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
KXAPI HBITMAP CreateBitmapIndirect(const BITMAP* bm);
KXAPI HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
KXAPI HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section,
                               DWORD offset);
KXAPI HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                             const BITMAPINFO* bmi, UINT usage);
KXAPI int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi, UINT usage);
KXAPI int SetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi,
                    UINT usage);
KXAPI int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                            UINT startScan, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage);
KXAPI int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                        int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop);
KXAPI LONG GetBitmapBits(HBITMAP bitmap, LONG size, LPVOID bits);
KXAPI LONG SetBitmapBits(HBITMAP bitmap, DWORD size, const void* bits);
KXAPI BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
KXAPI BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth,
                      int srcHeight, DWORD rop);
KXAPI BOOL TransparentBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth,
                          int srcHeight, UINT transparent);
KXAPI BOOL GradientFill(HDC hdc, const TRIVERTEX* vertices, ULONG nVertices, const void* mesh, ULONG nMesh,
                        ULONG mode);
KXAPI BOOL AlphaBlend(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth,
                      int srcHeight, BLENDFUNCTION blend);

// ---------------------------------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------------------------------
KXAPI BOOL TextOut(HDC hdc, int x, int y, LPCSTR text, int count);
inline BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count) { return TextOut(hdc, x, y, text, count); }
KXAPI BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCSTR text, UINT count,
                      const INT* dx);
inline BOOL ExtTextOutA(HDC hdc, int x, int y, UINT o, const RECT* rc, LPCSTR t, UINT c, const INT* dx) {
  return ExtTextOut(hdc, x, y, o, rc, t, c, dx);
}
// Draws or measures formatted text; count -1 means a zero-terminated text. Returns the text height.
KXAPI int DrawText(HDC hdc, LPCSTR text, int count, LPRECT rc, UINT format);
inline int DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rc, UINT format) {
  return DrawText(hdc, text, count, rc, format);
}
KXAPI int DrawTextEx(HDC hdc, LPSTR text, int count, LPRECT rc, UINT format, LPDRAWTEXTPARAMS params);
KXAPI BOOL GetTextExtentPoint32(HDC hdc, LPCSTR text, int count, LPSIZE size);
inline BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR t, int c, LPSIZE s) { return GetTextExtentPoint32(hdc, t, c, s); }
inline BOOL GetTextExtentPoint(HDC hdc, LPCSTR t, int c, LPSIZE s) { return GetTextExtentPoint32(hdc, t, c, s); }
inline BOOL GetTextExtentPointA(HDC hdc, LPCSTR t, int c, LPSIZE s) { return GetTextExtentPoint32(hdc, t, c, s); }
// Fits characters into maxExtent: *fit gets how many fit, dx[i] the extent of the first i+1 characters.
KXAPI BOOL GetTextExtentExPoint(HDC hdc, LPCSTR text, int count, int maxExtent, LPINT fit, LPINT dx,
                                LPSIZE size);
KXAPI BOOL GetTextMetrics(HDC hdc, LPTEXTMETRICA tm);
inline BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) { return GetTextMetrics(hdc, tm); }
KXAPI int GetTextFace(HDC hdc, int count, LPSTR face);
KXAPI BOOL GetCharWidth32(HDC hdc, UINT first, UINT last, LPINT widths);
KXAPI DWORD GetTabbedTextExtent(HDC hdc, LPCSTR text, int count, int tabPositions, const INT* tabStops);

// ---------------------------------------------------------------------------------------------------------------
// User-level drawing helpers
// ---------------------------------------------------------------------------------------------------------------
KXAPI DWORD GetSysColor(int index);
KXAPI HBRUSH GetSysColorBrush(int index);
KXAPI BOOL SetSysColors(int count, const INT* indexes, const COLORREF* colors);
KXAPI BOOL DrawEdge(HDC hdc, LPRECT rc, UINT edge, UINT flags);
KXAPI BOOL DrawFrameControl(HDC hdc, LPRECT rc, UINT type, UINT state);
KXAPI BOOL DrawFocusRect(HDC hdc, const RECT* rc);
KXAPI BOOL DrawState(HDC hdc, HBRUSH brush, DRAWSTATEPROC proc, LPARAM data, WPARAM wData, int x, int y, int cx,
                     int cy, UINT flags);
inline BOOL DrawStateA(HDC hdc, HBRUSH b, DRAWSTATEPROC p, LPARAM d, WPARAM w, int x, int y, int cx, int cy,
                       UINT f) {
  return DrawState(hdc, b, p, d, w, x, y, cx, cy, f);
}
KXAPI BOOL DrawIcon(HDC hdc, int x, int y, HICON icon);
KXAPI BOOL DrawIconEx(HDC hdc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH flicker, UINT flags);

// Icons and cursors as objects (an icon is a colour image with a mask or an alpha channel).
KXAPI HICON CreateIconIndirect(const ICONINFO* info);
KXAPI BOOL GetIconInfo(HICON icon, PICONINFO info);
KXAPI HICON CopyIcon(HICON icon);
KXAPI BOOL DestroyIcon(HICON icon);
KXAPI BOOL DestroyCursor(HICON cursor);

// ---------------------------------------------------------------------------------------------------------------
// Extensions of this platform
// ---------------------------------------------------------------------------------------------------------------
namespace kx {

// The screen reports a palette device (8 bits, RC_PALETTE) while this is on; for tests of palette paths.
KXAPI void SetPaletteDeviceForTesting(bool on);
KXAPI bool IsPaletteDevice();

// Writes the selected bitmap of a memory DC, or any bitmap, as a PNG file. Returns false on failure.
KXAPI bool SaveBitmapPng(HBITMAP bitmap, const char* path);
// Makes an icon from 32-bit ARGB pixels (top-down, non-premultiplied, width*height values 0xAARRGGBB).
KXAPI HICON CreateIconFromArgb(int width, int height, const uint32_t* argb, bool isIcon = true, int xHot = 0,
                               int yHot = 0);
// Decodes a BMP file image (file header + info header + bits) into a bitmap; NULL when malformed.
KXAPI HBITMAP CreateBitmapFromBmpFile(const void* data, size_t size);
// Decodes an ICO/CUR file image (picks the entry closest to cx x cy; 0 means the first entry).
KXAPI HICON CreateIconFromIcoFile(const void* data, size_t size, int cx, int cy, bool isIcon);

}  // namespace kx
