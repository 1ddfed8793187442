// The framework's drawing classes: GDI object wrappers (CPen, CBrush, CFont, CBitmap, CRgn, CPalette) and
// device contexts (CDC, CPaintDC, CClientDC, CWindowDC). FromHandle gives a temporary object for a handle that
// no wrapper owns; temporary objects live until the thread next idles in a message loop.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"
#include "platform/mfc/cobject.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/geometry.h"

class CWnd;

class KXAPI CGdiObject : public CObject {
  DECLARE_DYNCREATE(CGdiObject)
 public:
  HGDIOBJ m_hObject = nullptr;

  CGdiObject() = default;
  ~CGdiObject() override;
  operator HGDIOBJ() const { return m_hObject; }  // NOLINT
  HGDIOBJ GetSafeHandle() const;
  static CGdiObject* FromHandle(HGDIOBJ h);
  BOOL Attach(HGDIOBJ h);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  int GetObject(int nCount, LPVOID lpObject) const;
  UINT GetObjectType() const;
  BOOL CreateStockObject(int nIndex);
  BOOL UnrealizeObject();
  bool operator==(const CGdiObject& o) const { return m_hObject == o.m_hObject; }
  bool operator!=(const CGdiObject& o) const { return m_hObject != o.m_hObject; }
};

class KXAPI CPen : public CGdiObject {
  DECLARE_DYNAMIC(CPen)
 public:
  CPen() = default;
  CPen(int nPenStyle, int nWidth, COLORREF crColor);
  static CPen* FromHandle(HPEN h) { return static_cast<CPen*>(CGdiObject::FromHandle(h)); }
  operator HPEN() const { return static_cast<HPEN>(GetSafeHandle()); }  // NOLINT
  BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);
  BOOL CreatePenIndirect(LOGPEN* lpLogPen);
  int GetLogPen(LOGPEN* pLogPen) { return GetObject(sizeof(LOGPEN), pLogPen); }
};

class KXAPI CBrush : public CGdiObject {
  DECLARE_DYNAMIC(CBrush)
 public:
  CBrush() = default;
  explicit CBrush(COLORREF crColor);
  CBrush(int nIndex, COLORREF crColor);
  explicit CBrush(class CBitmap* pBitmap);
  static CBrush* FromHandle(HBRUSH h) { return static_cast<CBrush*>(CGdiObject::FromHandle(h)); }
  operator HBRUSH() const { return static_cast<HBRUSH>(GetSafeHandle()); }  // NOLINT
  BOOL CreateSolidBrush(COLORREF crColor);
  BOOL CreateHatchBrush(int nIndex, COLORREF crColor);
  BOOL CreateBrushIndirect(const LOGBRUSH* lpLogBrush);
  BOOL CreatePatternBrush(class CBitmap* pBitmap);
  BOOL CreateSysColorBrush(int nIndex);
  int GetLogBrush(LOGBRUSH* pLogBrush) { return GetObject(sizeof(LOGBRUSH), pLogBrush); }
};

class KXAPI CFont : public CGdiObject {
  DECLARE_DYNAMIC(CFont)
 public:
  static CFont* FromHandle(HFONT h) { return static_cast<CFont*>(CGdiObject::FromHandle(h)); }
  operator HFONT() const { return static_cast<HFONT>(GetSafeHandle()); }  // NOLINT
  BOOL CreateFontIndirect(const LOGFONTA* lpLogFont);
  BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                  BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                  BYTE nQuality, BYTE nPitchAndFamily, LPCSTR lpszFacename);
  // Size in tenths of a point, measured for the DC (the screen when NULL).
  BOOL CreatePointFont(int nPointSize, LPCSTR lpszFaceName, class CDC* pDC = nullptr);
  BOOL CreatePointFontIndirect(const LOGFONTA* lpLogFont, class CDC* pDC = nullptr);
  int GetLogFont(LOGFONTA* pLogFont) { return GetObject(sizeof(LOGFONTA), pLogFont); }
};

class KXAPI CBitmap : public CGdiObject {
  DECLARE_DYNAMIC(CBitmap)
 public:
  static CBitmap* FromHandle(HBITMAP h) { return static_cast<CBitmap*>(CGdiObject::FromHandle(h)); }
  operator HBITMAP() const { return static_cast<HBITMAP>(GetSafeHandle()); }  // NOLINT
  // From the resources of the module that serves them (AfxGetResourceHandle).
  BOOL LoadBitmap(LPCSTR lpszResourceName);
  BOOL LoadBitmap(UINT nIDResource) { return LoadBitmap(MAKEINTRESOURCE(nIDResource)); }
  BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits);
  BOOL CreateBitmapIndirect(LPBITMAP lpBitmap);
  BOOL CreateCompatibleBitmap(class CDC* pDC, int nWidth, int nHeight);
  int GetBitmap(BITMAP* pBitMap) { return GetObject(sizeof(BITMAP), pBitMap); }
  DWORD SetBitmapBits(DWORD dwCount, const void* lpBits);
  DWORD GetBitmapBits(DWORD dwCount, LPVOID lpBits) const;
  CSize GetBitmapDimension() const;
};

class KXAPI CPalette : public CGdiObject {
  DECLARE_DYNAMIC(CPalette)
 public:
  static CPalette* FromHandle(HPALETTE h) { return static_cast<CPalette*>(CGdiObject::FromHandle(h)); }
  operator HPALETTE() const { return static_cast<HPALETTE>(GetSafeHandle()); }  // NOLINT
  BOOL CreatePalette(LPLOGPALETTE lpLogPalette);
  BOOL CreateHalftonePalette(class CDC* pDC);
  int GetEntryCount();
  UINT GetPaletteEntries(UINT nStartIndex, UINT nNumEntries, LPPALETTEENTRY lpPaletteColors) const;
  UINT SetPaletteEntries(UINT nStartIndex, UINT nNumEntries, LPPALETTEENTRY lpPaletteColors);
  UINT GetNearestPaletteIndex(COLORREF crColor) const;
};

class KXAPI CRgn : public CGdiObject {
  DECLARE_DYNAMIC(CRgn)
 public:
  static CRgn* FromHandle(HRGN h) { return static_cast<CRgn*>(CGdiObject::FromHandle(h)); }
  operator HRGN() const { return static_cast<HRGN>(GetSafeHandle()); }  // NOLINT
  BOOL CreateRectRgn(int x1, int y1, int x2, int y2);
  BOOL CreateRectRgnIndirect(LPCRECT lpRect);
  BOOL CreateEllipticRgn(int x1, int y1, int x2, int y2);
  BOOL CreateEllipticRgnIndirect(LPCRECT lpRect);
  BOOL CreateRoundRectRgn(int x1, int y1, int x2, int y2, int x3, int y3);
  BOOL CreatePolygonRgn(LPPOINT lpPoints, int nCount, int nMode);
  void SetRectRgn(int x1, int y1, int x2, int y2);
  void SetRectRgn(LPCRECT lpRect);
  int CombineRgn(CRgn* pRgn1, CRgn* pRgn2, int nCombineMode);
  int CopyRgn(CRgn* pRgnSrc);
  BOOL EqualRgn(CRgn* pRgn) const;
  int OffsetRgn(int x, int y);
  int OffsetRgn(POINT point) { return OffsetRgn(point.x, point.y); }
  int GetRgnBox(LPRECT lpRect) const;
  BOOL PtInRegion(int x, int y) const;
  BOOL PtInRegion(POINT point) const { return PtInRegion(point.x, point.y); }
  BOOL RectInRegion(LPCRECT lpRect) const;
};

class KXAPI CDC : public CObject {
  DECLARE_DYNCREATE(CDC)
 public:
  HDC m_hDC = nullptr;
  HDC m_hAttribDC = nullptr;
  BOOL m_bPrinting = FALSE;

  CDC() = default;
  ~CDC() override;
  operator HDC() const { return m_hDC; }  // NOLINT
  HDC GetSafeHdc() const;
  static CDC* FromHandle(HDC hDC);
  BOOL Attach(HDC hDC);
  HDC Detach();
  void SetAttribDC(HDC hDC) { m_hAttribDC = hDC; }
  void SetOutputDC(HDC hDC) { m_hDC = hDC; }
  void ReleaseAttribDC() { m_hAttribDC = nullptr; }
  void ReleaseOutputDC() { m_hDC = nullptr; }
  BOOL IsPrinting() const { return m_bPrinting; }
  CWnd* GetWindow() const;

  BOOL CreateDC(LPCSTR lpszDriverName, LPCSTR lpszDeviceName, LPCSTR lpszOutput, const void* lpInitData);
  BOOL CreateCompatibleDC(CDC* pDC);
  BOOL DeleteDC();
  virtual int SaveDC();
  virtual BOOL RestoreDC(int nSavedDC);
  int GetDeviceCaps(int nIndex) const;

  // Selecting returns the wrapper of the object it replaced (a temporary one).
  CPen* SelectObject(CPen* pPen);
  CBrush* SelectObject(CBrush* pBrush);
  virtual CFont* SelectObject(CFont* pFont);
  CBitmap* SelectObject(CBitmap* pBitmap);
  int SelectObject(CRgn* pRgn);
  CGdiObject* SelectObject(CGdiObject* pObject);
  HGDIOBJ SelectObject(HGDIOBJ hObject);
  virtual CGdiObject* SelectStockObject(int nIndex);
  CPalette* SelectPalette(CPalette* pPalette, BOOL bForceBackground);
  UINT RealizePalette();
  CPen* GetCurrentPen() const;
  CBrush* GetCurrentBrush() const;
  CFont* GetCurrentFont() const;
  CBitmap* GetCurrentBitmap() const;
  CPalette* GetCurrentPalette() const;

  COLORREF GetTextColor() const;
  virtual COLORREF SetTextColor(COLORREF crColor);
  COLORREF GetBkColor() const;
  virtual COLORREF SetBkColor(COLORREF crColor);
  int GetBkMode() const;
  int SetBkMode(int nBkMode);
  int GetROP2() const;
  int SetROP2(int nDrawMode);
  UINT GetTextAlign() const;
  UINT SetTextAlign(UINT nFlags);
  int SetStretchBltMode(int nStretchMode);
  int GetStretchBltMode() const;
  int SetPolyFillMode(int nPolyFillMode);
  CPoint GetBrushOrg() const;
  CPoint SetBrushOrg(int x, int y);

  int GetMapMode() const;
  virtual int SetMapMode(int nMapMode);
  CPoint GetViewportOrg() const;
  virtual CPoint SetViewportOrg(int x, int y);
  CPoint SetViewportOrg(POINT point) { return SetViewportOrg(point.x, point.y); }
  virtual CPoint OffsetViewportOrg(int nWidth, int nHeight);
  CSize GetViewportExt() const;
  virtual CSize SetViewportExt(int cx, int cy);
  CSize SetViewportExt(SIZE size) { return SetViewportExt(size.cx, size.cy); }
  CPoint GetWindowOrg() const;
  CPoint SetWindowOrg(int x, int y);
  CPoint SetWindowOrg(POINT point) { return SetWindowOrg(point.x, point.y); }
  CPoint OffsetWindowOrg(int nWidth, int nHeight);
  CSize GetWindowExt() const;
  virtual CSize SetWindowExt(int cx, int cy);
  CSize SetWindowExt(SIZE size) { return SetWindowExt(size.cx, size.cy); }
  void DPtoLP(LPPOINT lpPoints, int nCount = 1) const;
  void DPtoLP(LPRECT lpRect) const;
  void DPtoLP(LPSIZE lpSize) const;
  void LPtoDP(LPPOINT lpPoints, int nCount = 1) const;
  void LPtoDP(LPRECT lpRect) const;
  void LPtoDP(LPSIZE lpSize) const;

  virtual int GetClipBox(LPRECT lpRect) const;
  BOOL PtVisible(int x, int y) const;
  BOOL RectVisible(LPCRECT lpRect) const;
  int SelectClipRgn(CRgn* pRgn);
  int SelectClipRgn(CRgn* pRgn, int nMode);
  int ExcludeClipRect(int x1, int y1, int x2, int y2);
  int ExcludeClipRect(LPCRECT lpRect);
  int IntersectClipRect(int x1, int y1, int x2, int y2);
  int IntersectClipRect(LPCRECT lpRect);
  int OffsetClipRgn(int x, int y);

  CPoint GetCurrentPosition() const;
  CPoint MoveTo(int x, int y);
  CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
  BOOL LineTo(int x, int y);
  BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }
  BOOL Polyline(const POINT* lpPoints, int nCount);
  BOOL Polygon(const POINT* lpPoints, int nCount);
  BOOL Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  BOOL Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  BOOL Rectangle(int x1, int y1, int x2, int y2);
  BOOL Rectangle(LPCRECT lpRect);
  BOOL RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  BOOL RoundRect(LPCRECT lpRect, POINT point);
  BOOL Ellipse(int x1, int y1, int x2, int y2);
  BOOL Ellipse(LPCRECT lpRect);
  void FillRect(LPCRECT lpRect, CBrush* pBrush);
  void FrameRect(LPCRECT lpRect, CBrush* pBrush);
  void InvertRect(LPCRECT lpRect);
  void FillSolidRect(LPCRECT lpRect, COLORREF clr);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF clr);
  void Draw3dRect(LPCRECT lpRect, COLORREF clrTopLeft, COLORREF clrBottomRight);
  void Draw3dRect(int x, int y, int cx, int cy, COLORREF clrTopLeft, COLORREF clrBottomRight);
  BOOL DrawEdge(LPRECT lpRect, UINT nEdge, UINT nFlags);
  BOOL DrawFrameControl(LPRECT lpRect, UINT nType, UINT nState);
  void DrawFocusRect(LPCRECT lpRect);
  BOOL DrawIcon(int x, int y, HICON hIcon);
  BOOL DrawIcon(POINT point, HICON hIcon) { return DrawIcon(point.x, point.y, hIcon); }
  BOOL DrawState(CPoint pt, CSize size, HICON hIcon, UINT nFlags, HBRUSH hBrush = nullptr);
  BOOL DrawState(CPoint pt, CSize size, HBITMAP hBitmap, UINT nFlags, HBRUSH hBrush = nullptr);
  BOOL DrawState(CPoint pt, CSize size, LPCSTR lpszText, UINT nFlags, BOOL bPrefixText = TRUE, int nTextLen = 0,
                 HBRUSH hBrush = nullptr);
  BOOL FillRgn(CRgn* pRgn, CBrush* pBrush);
  BOOL FrameRgn(CRgn* pRgn, CBrush* pBrush, int nWidth, int nHeight);
  BOOL PaintRgn(CRgn* pRgn);
  BOOL InvertRgn(CRgn* pRgn);

  BOOL PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop);
  BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop);
  BOOL StretchBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, int nSrcWidth,
                  int nSrcHeight, DWORD dwRop);
  COLORREF GetPixel(int x, int y) const;
  COLORREF GetPixel(POINT point) const { return GetPixel(point.x, point.y); }
  COLORREF SetPixel(int x, int y, COLORREF crColor);
  COLORREF SetPixel(POINT point, COLORREF crColor) { return SetPixel(point.x, point.y, crColor); }
  BOOL SetPixelV(int x, int y, COLORREF crColor);

  virtual BOOL TextOut(int x, int y, LPCSTR lpszString, int nCount);
  BOOL TextOut(int x, int y, const CString& str) { return TextOut(x, y, str, str.GetLength()); }
  virtual BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, LPCSTR lpszString, UINT nCount,
                          LPINT lpDxWidths);
  virtual int DrawText(LPCSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat);
  int DrawText(const CString& str, LPRECT lpRect, UINT nFormat) { return DrawText(str, str.GetLength(), lpRect, nFormat); }
  CSize GetTextExtent(LPCSTR lpszString, int nCount) const;
  CSize GetTextExtent(const CString& str) const { return GetTextExtent(str, str.GetLength()); }
  CSize GetOutputTextExtent(LPCSTR lpszString, int nCount) const { return GetTextExtent(lpszString, nCount); }
  CSize GetOutputTextExtent(const CString& str) const { return GetTextExtent(str); }
  BOOL GetTextMetrics(LPTEXTMETRICA lpMetrics) const;
  BOOL GetOutputTextMetrics(LPTEXTMETRICA lpMetrics) const { return GetTextMetrics(lpMetrics); }
  int GetTextFace(CString& rString) const;
  int SetTextCharacterExtra(int nCharExtra);
};

class KXAPI CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};

class KXAPI CClientDC : public CDC {
  DECLARE_DYNAMIC(CClientDC)
 public:
  explicit CClientDC(CWnd* pWnd);
  ~CClientDC() override;

 protected:
  HWND m_hWnd = nullptr;
};

class KXAPI CWindowDC : public CDC {
  DECLARE_DYNAMIC(CWindowDC)
 public:
  explicit CWindowDC(CWnd* pWnd);
  ~CWindowDC() override;

 protected:
  HWND m_hWnd = nullptr;
};
