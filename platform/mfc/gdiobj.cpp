#include "platform/mfc/gdiobj.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/mfc/afxstate.h"
#include "platform/mfc/winapp.h"
#include "platform/win32/errors.h"

namespace {

// A temporary wrapper is of the class the object is, so that CFont::FromHandle and the like give a real CFont.
CGdiObject* NewWrapperFor(HGDIOBJ h) {
  switch (::GetObjectType(h)) {
    case OBJ_PEN:
    case OBJ_EXTPEN: return new CPen;
    case OBJ_BRUSH: return new CBrush;
    case OBJ_FONT: return new CFont;
    case OBJ_BITMAP: return new CBitmap;
    case OBJ_PAL: return new CPalette;
    case OBJ_REGION: return new CRgn;
    default: return new CGdiObject;
  }
}

kx::afx::HandleMap<HGDIOBJ, CGdiObject>& GdiMap() {
  static auto* m = new kx::afx::HandleMap<HGDIOBJ, CGdiObject>(
      [](HGDIOBJ h) {
        CGdiObject* o = NewWrapperFor(h);
        o->m_hObject = h;
        return o;
      },
      [](CGdiObject* o) { o->m_hObject = nullptr; });
  return *m;
}

kx::afx::HandleMap<HDC, CDC>& DcMap() {
  static auto* m = new kx::afx::HandleMap<HDC, CDC>(
      [](HDC h) {
        auto* dc = new CDC;
        dc->m_hDC = dc->m_hAttribDC = h;
        return dc;
      },
      [](CDC* dc) { dc->m_hDC = dc->m_hAttribDC = nullptr; });
  return *m;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// GDI objects
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNCREATE(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CPalette, CGdiObject)
IMPLEMENT_DYNAMIC(CRgn, CGdiObject)

CGdiObject::~CGdiObject() { DeleteObject(); }

HGDIOBJ CGdiObject::GetSafeHandle() const { return kx::afx::SafeGdi(this); }

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h) { return GdiMap().FromHandle(h); }

BOOL CGdiObject::Attach(HGDIOBJ h) {
  if (!h || m_hObject) return FALSE;
  m_hObject = h;
  GdiMap().SetPermanent(h, this);
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  if (h) GdiMap().RemovePermanent(h, this);
  m_hObject = nullptr;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  return ::DeleteObject(Detach());
}

int CGdiObject::GetObject(int nCount, LPVOID lpObject) const { return ::GetObject(m_hObject, nCount, lpObject); }
UINT CGdiObject::GetObjectType() const { return static_cast<UINT>(::GetObjectType(m_hObject)); }
BOOL CGdiObject::CreateStockObject(int nIndex) { return Attach(::GetStockObject(nIndex)); }
BOOL CGdiObject::UnrealizeObject() { return ::UnrealizeObject(m_hObject); }

CPen::CPen(int nPenStyle, int nWidth, COLORREF crColor) { CreatePen(nPenStyle, nWidth, crColor); }
BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF crColor) {
  return Attach(::CreatePen(nPenStyle, nWidth, crColor));
}
BOOL CPen::CreatePenIndirect(LOGPEN* lpLogPen) { return Attach(::CreatePenIndirect(lpLogPen)); }

CBrush::CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
CBrush::CBrush(int nIndex, COLORREF crColor) { CreateHatchBrush(nIndex, crColor); }
CBrush::CBrush(CBitmap* pBitmap) { CreatePatternBrush(pBitmap); }
BOOL CBrush::CreateSolidBrush(COLORREF crColor) { return Attach(::CreateSolidBrush(crColor)); }
BOOL CBrush::CreateHatchBrush(int nIndex, COLORREF crColor) { return Attach(::CreateHatchBrush(nIndex, crColor)); }
BOOL CBrush::CreateBrushIndirect(const LOGBRUSH* lpLogBrush) { return Attach(::CreateBrushIndirect(lpLogBrush)); }
BOOL CBrush::CreatePatternBrush(CBitmap* pBitmap) {
  return pBitmap ? Attach(::CreatePatternBrush(static_cast<HBITMAP>(pBitmap->m_hObject))) : FALSE;
}
BOOL CBrush::CreateSysColorBrush(int nIndex) { return Attach(::CreateSolidBrush(::GetSysColor(nIndex))); }

BOOL CFont::CreateFontIndirect(const LOGFONTA* lpLogFont) { return Attach(::CreateFontIndirect(lpLogFont)); }
BOOL CFont::CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                       BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                       BYTE nQuality, BYTE nPitchAndFamily, LPCSTR lpszFacename) {
  return Attach(::CreateFont(nHeight, nWidth, nEscapement, nOrientation, nWeight, bItalic, bUnderline, cStrikeOut,
                             nCharSet, nOutPrecision, nClipPrecision, nQuality, nPitchAndFamily, lpszFacename));
}
BOOL CFont::CreatePointFont(int nPointSize, LPCSTR lpszFaceName, CDC* pDC) {
  LOGFONTA lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfHeight = nPointSize;
  if (lpszFaceName) {
    size_t n = std::min(strlen(lpszFaceName), sizeof lf.lfFaceName - 1);
    memcpy(lf.lfFaceName, lpszFaceName, n);
  }
  return CreatePointFontIndirect(&lf, pDC);
}
BOOL CFont::CreatePointFontIndirect(const LOGFONTA* lpLogFont, CDC* pDC) {
  HDC hdc = pDC ? pDC->m_hAttribDC : ::GetDC(nullptr);
  LOGFONTA lf = *lpLogFont;
  // Tenths of a point to device pixels, then a character height.
  POINT pt{0, MulDiv(::GetDeviceCaps(hdc, LOGPIXELSY), lf.lfHeight, 720)};
  POINT org{0, 0};
  ::DPtoLP(hdc, &pt, 1);
  ::DPtoLP(hdc, &org, 1);
  lf.lfHeight = -std::abs(pt.y - org.y);
  if (!pDC) ::ReleaseDC(nullptr, hdc);
  return CreateFontIndirect(&lf);
}

BOOL CBitmap::LoadBitmap(LPCSTR lpszResourceName) {
  return Attach(::LoadBitmap(AfxFindResourceHandle(lpszResourceName, RT_BITMAP), lpszResourceName));
}
BOOL CBitmap::CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits) {
  return Attach(::CreateBitmap(nWidth, nHeight, nPlanes, nBitcount, lpBits));
}
BOOL CBitmap::CreateBitmapIndirect(LPBITMAP lpBitmap) { return Attach(::CreateBitmapIndirect(lpBitmap)); }
BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight) {
  return Attach(::CreateCompatibleBitmap(pDC ? pDC->m_hDC : nullptr, nWidth, nHeight));
}
DWORD CBitmap::SetBitmapBits(DWORD dwCount, const void* lpBits) {
  return static_cast<DWORD>(::SetBitmapBits(static_cast<HBITMAP>(m_hObject), dwCount, lpBits));
}
DWORD CBitmap::GetBitmapBits(DWORD dwCount, LPVOID lpBits) const {
  return static_cast<DWORD>(::GetBitmapBits(static_cast<HBITMAP>(m_hObject), static_cast<LONG>(dwCount), lpBits));
}
CSize CBitmap::GetBitmapDimension() const { return CSize(0, 0); }

BOOL CPalette::CreatePalette(LPLOGPALETTE lpLogPalette) { return Attach(::CreatePalette(lpLogPalette)); }
BOOL CPalette::CreateHalftonePalette(CDC* pDC) { return Attach(::CreateHalftonePalette(pDC ? pDC->m_hDC : nullptr)); }
int CPalette::GetEntryCount() {
  WORD n = 0;
  ::GetObject(m_hObject, sizeof n, &n);
  return n;
}
UINT CPalette::GetPaletteEntries(UINT nStartIndex, UINT nNumEntries, LPPALETTEENTRY lpPaletteColors) const {
  return ::GetPaletteEntries(static_cast<HPALETTE>(m_hObject), nStartIndex, nNumEntries, lpPaletteColors);
}
UINT CPalette::SetPaletteEntries(UINT nStartIndex, UINT nNumEntries, LPPALETTEENTRY lpPaletteColors) {
  return ::SetPaletteEntries(static_cast<HPALETTE>(m_hObject), nStartIndex, nNumEntries, lpPaletteColors);
}
UINT CPalette::GetNearestPaletteIndex(COLORREF crColor) const {
  return ::GetNearestPaletteIndex(static_cast<HPALETTE>(m_hObject), crColor);
}

BOOL CRgn::CreateRectRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateRectRgn(x1, y1, x2, y2)); }
BOOL CRgn::CreateRectRgnIndirect(LPCRECT lpRect) { return Attach(::CreateRectRgnIndirect(lpRect)); }
BOOL CRgn::CreateEllipticRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateEllipticRgn(x1, y1, x2, y2)); }
BOOL CRgn::CreateEllipticRgnIndirect(LPCRECT lpRect) { return Attach(::CreateEllipticRgnIndirect(lpRect)); }
BOOL CRgn::CreateRoundRectRgn(int x1, int y1, int x2, int y2, int x3, int y3) {
  return Attach(::CreateRoundRectRgn(x1, y1, x2, y2, x3, y3));
}
BOOL CRgn::CreatePolygonRgn(LPPOINT lpPoints, int nCount, int nMode) {
  return Attach(::CreatePolygonRgn(lpPoints, nCount, nMode));
}
void CRgn::SetRectRgn(int x1, int y1, int x2, int y2) { ::SetRectRgn(static_cast<HRGN>(m_hObject), x1, y1, x2, y2); }
void CRgn::SetRectRgn(LPCRECT r) { SetRectRgn(r->left, r->top, r->right, r->bottom); }
int CRgn::CombineRgn(CRgn* pRgn1, CRgn* pRgn2, int nCombineMode) {
  return ::CombineRgn(static_cast<HRGN>(m_hObject), pRgn1 ? static_cast<HRGN>(pRgn1->m_hObject) : nullptr,
                      pRgn2 ? static_cast<HRGN>(pRgn2->m_hObject) : nullptr, nCombineMode);
}
int CRgn::CopyRgn(CRgn* pRgnSrc) { return CombineRgn(pRgnSrc, nullptr, RGN_COPY); }
BOOL CRgn::EqualRgn(CRgn* pRgn) const {
  return ::EqualRgn(static_cast<HRGN>(m_hObject), static_cast<HRGN>(pRgn->m_hObject));
}
int CRgn::OffsetRgn(int x, int y) { return ::OffsetRgn(static_cast<HRGN>(m_hObject), x, y); }
int CRgn::GetRgnBox(LPRECT lpRect) const { return ::GetRgnBox(static_cast<HRGN>(m_hObject), lpRect); }
BOOL CRgn::PtInRegion(int x, int y) const { return ::PtInRegion(static_cast<HRGN>(m_hObject), x, y); }
BOOL CRgn::RectInRegion(LPCRECT lpRect) const { return ::RectInRegion(static_cast<HRGN>(m_hObject), lpRect); }

// ---------------------------------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNCREATE(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)
IMPLEMENT_DYNAMIC(CWindowDC, CDC)

CDC::~CDC() {
  if (m_hDC) DeleteDC();
}

HDC CDC::GetSafeHdc() const { return kx::afx::SafeHdc(this); }

CDC* CDC::FromHandle(HDC hDC) { return DcMap().FromHandle(hDC); }

BOOL CDC::Attach(HDC hDC) {
  if (!hDC || m_hDC) return FALSE;
  m_hDC = m_hAttribDC = hDC;
  DcMap().SetPermanent(hDC, this);
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  if (h) DcMap().RemovePermanent(h, this);
  m_hDC = m_hAttribDC = nullptr;
  return h;
}

CWnd* CDC::GetWindow() const { return CWnd::FromHandle(::WindowFromDC(m_hDC)); }

BOOL CDC::CreateDC(LPCSTR lpszDriverName, LPCSTR lpszDeviceName, LPCSTR lpszOutput, const void* lpInitData) {
  return Attach(::CreateDC(lpszDriverName, lpszDeviceName, lpszOutput, lpInitData));
}
BOOL CDC::CreateCompatibleDC(CDC* pDC) { return Attach(::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr)); }
BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  return ::DeleteDC(Detach());
}
int CDC::SaveDC() { return ::SaveDC(m_hDC); }
BOOL CDC::RestoreDC(int nSavedDC) { return ::RestoreDC(m_hDC, nSavedDC); }
int CDC::GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hAttribDC, nIndex); }

HGDIOBJ CDC::SelectObject(HGDIOBJ hObject) { return hObject ? ::SelectObject(m_hDC, hObject) : nullptr; }
CGdiObject* CDC::SelectObject(CGdiObject* pObject) {
  return pObject ? CGdiObject::FromHandle(SelectObject(pObject->m_hObject)) : nullptr;
}
CPen* CDC::SelectObject(CPen* pPen) { return static_cast<CPen*>(SelectObject(static_cast<CGdiObject*>(pPen))); }
CBrush* CDC::SelectObject(CBrush* pBrush) {
  return static_cast<CBrush*>(SelectObject(static_cast<CGdiObject*>(pBrush)));
}
CFont* CDC::SelectObject(CFont* pFont) { return static_cast<CFont*>(SelectObject(static_cast<CGdiObject*>(pFont))); }
CBitmap* CDC::SelectObject(CBitmap* pBitmap) {
  return static_cast<CBitmap*>(SelectObject(static_cast<CGdiObject*>(pBitmap)));
}
int CDC::SelectObject(CRgn* pRgn) {
  return pRgn ? static_cast<int>(reinterpret_cast<INT_PTR>(::SelectObject(m_hDC, pRgn->m_hObject))) : ERROR;
}
CGdiObject* CDC::SelectStockObject(int nIndex) { return CGdiObject::FromHandle(SelectObject(::GetStockObject(nIndex))); }
CPalette* CDC::SelectPalette(CPalette* pPalette, BOOL bForceBackground) {
  return CPalette::FromHandle(
      ::SelectPalette(m_hDC, pPalette ? static_cast<HPALETTE>(pPalette->m_hObject) : nullptr, bForceBackground));
}
UINT CDC::RealizePalette() { return ::RealizePalette(m_hDC); }
CPen* CDC::GetCurrentPen() const { return CPen::FromHandle(static_cast<HPEN>(::GetCurrentObject(m_hDC, OBJ_PEN))); }
CBrush* CDC::GetCurrentBrush() const {
  return CBrush::FromHandle(static_cast<HBRUSH>(::GetCurrentObject(m_hDC, OBJ_BRUSH)));
}
CFont* CDC::GetCurrentFont() const { return CFont::FromHandle(static_cast<HFONT>(::GetCurrentObject(m_hDC, OBJ_FONT))); }
CBitmap* CDC::GetCurrentBitmap() const {
  return CBitmap::FromHandle(static_cast<HBITMAP>(::GetCurrentObject(m_hDC, OBJ_BITMAP)));
}
CPalette* CDC::GetCurrentPalette() const {
  return CPalette::FromHandle(static_cast<HPALETTE>(::GetCurrentObject(m_hDC, OBJ_PAL)));
}

COLORREF CDC::GetTextColor() const { return ::GetTextColor(m_hAttribDC); }
COLORREF CDC::SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }
COLORREF CDC::GetBkColor() const { return ::GetBkColor(m_hAttribDC); }
COLORREF CDC::SetBkColor(COLORREF crColor) { return ::SetBkColor(m_hDC, crColor); }
int CDC::GetBkMode() const { return ::GetBkMode(m_hAttribDC); }
int CDC::SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
int CDC::GetROP2() const { return ::GetROP2(m_hAttribDC); }
int CDC::SetROP2(int nDrawMode) { return ::SetROP2(m_hDC, nDrawMode); }
UINT CDC::GetTextAlign() const { return ::GetTextAlign(m_hAttribDC); }
UINT CDC::SetTextAlign(UINT nFlags) { return ::SetTextAlign(m_hDC, nFlags); }
int CDC::SetStretchBltMode(int nStretchMode) { return ::SetStretchBltMode(m_hDC, nStretchMode); }
int CDC::GetStretchBltMode() const { return ::GetStretchBltMode(m_hAttribDC); }
int CDC::SetPolyFillMode(int nPolyFillMode) { return ::SetPolyFillMode(m_hDC, nPolyFillMode); }
CPoint CDC::GetBrushOrg() const {
  POINT p{0, 0};
  ::GetBrushOrgEx(m_hDC, &p);
  return p;
}
CPoint CDC::SetBrushOrg(int x, int y) {
  POINT p{0, 0};
  ::SetBrushOrgEx(m_hDC, x, y, &p);
  return p;
}

int CDC::GetMapMode() const { return ::GetMapMode(m_hAttribDC); }
int CDC::SetMapMode(int nMapMode) { return ::SetMapMode(m_hDC, nMapMode); }
CPoint CDC::GetViewportOrg() const {
  POINT p{0, 0};
  ::GetViewportOrgEx(m_hAttribDC, &p);
  return p;
}
CPoint CDC::SetViewportOrg(int x, int y) {
  POINT p{0, 0};
  ::SetViewportOrgEx(m_hDC, x, y, &p);
  return p;
}
CPoint CDC::OffsetViewportOrg(int nWidth, int nHeight) {
  POINT p{0, 0};
  ::OffsetViewportOrgEx(m_hDC, nWidth, nHeight, &p);
  return p;
}
CSize CDC::GetViewportExt() const {
  SIZE s{0, 0};
  ::GetViewportExtEx(m_hAttribDC, &s);
  return s;
}
CSize CDC::SetViewportExt(int cx, int cy) {
  SIZE s{0, 0};
  ::SetViewportExtEx(m_hDC, cx, cy, &s);
  return s;
}
CPoint CDC::GetWindowOrg() const {
  POINT p{0, 0};
  ::GetWindowOrgEx(m_hAttribDC, &p);
  return p;
}
CPoint CDC::SetWindowOrg(int x, int y) {
  POINT p{0, 0};
  ::SetWindowOrgEx(m_hDC, x, y, &p);
  return p;
}
CPoint CDC::OffsetWindowOrg(int nWidth, int nHeight) {
  POINT p{0, 0};
  ::OffsetWindowOrgEx(m_hDC, nWidth, nHeight, &p);
  return p;
}
CSize CDC::GetWindowExt() const {
  SIZE s{0, 0};
  ::GetWindowExtEx(m_hAttribDC, &s);
  return s;
}
CSize CDC::SetWindowExt(int cx, int cy) {
  SIZE s{0, 0};
  ::SetWindowExtEx(m_hDC, cx, cy, &s);
  return s;
}
void CDC::DPtoLP(LPPOINT lpPoints, int nCount) const { ::DPtoLP(m_hAttribDC, lpPoints, nCount); }
void CDC::DPtoLP(LPRECT lpRect) const { ::DPtoLP(m_hAttribDC, reinterpret_cast<LPPOINT>(lpRect), 2); }
void CDC::DPtoLP(LPSIZE lpSize) const {
  POINT pts[2] = {{0, 0}, {lpSize->cx, lpSize->cy}};
  ::DPtoLP(m_hAttribDC, pts, 2);
  lpSize->cx = pts[1].x - pts[0].x;
  lpSize->cy = pts[1].y - pts[0].y;
}
void CDC::LPtoDP(LPPOINT lpPoints, int nCount) const { ::LPtoDP(m_hAttribDC, lpPoints, nCount); }
void CDC::LPtoDP(LPRECT lpRect) const { ::LPtoDP(m_hAttribDC, reinterpret_cast<LPPOINT>(lpRect), 2); }
void CDC::LPtoDP(LPSIZE lpSize) const {
  POINT pts[2] = {{0, 0}, {lpSize->cx, lpSize->cy}};
  ::LPtoDP(m_hAttribDC, pts, 2);
  lpSize->cx = pts[1].x - pts[0].x;
  lpSize->cy = pts[1].y - pts[0].y;
}

int CDC::GetClipBox(LPRECT lpRect) const { return ::GetClipBox(m_hDC, lpRect); }
BOOL CDC::PtVisible(int x, int y) const { return ::PtVisible(m_hDC, x, y); }
BOOL CDC::RectVisible(LPCRECT lpRect) const { return ::RectVisible(m_hDC, lpRect); }
int CDC::SelectClipRgn(CRgn* pRgn) {
  return ::SelectClipRgn(m_hDC, pRgn ? static_cast<HRGN>(pRgn->m_hObject) : nullptr);
}
int CDC::SelectClipRgn(CRgn* pRgn, int nMode) {
  return ::ExtSelectClipRgn(m_hDC, pRgn ? static_cast<HRGN>(pRgn->m_hObject) : nullptr, nMode);
}
int CDC::ExcludeClipRect(int x1, int y1, int x2, int y2) { return ::ExcludeClipRect(m_hDC, x1, y1, x2, y2); }
int CDC::ExcludeClipRect(LPCRECT r) { return ExcludeClipRect(r->left, r->top, r->right, r->bottom); }
int CDC::IntersectClipRect(int x1, int y1, int x2, int y2) { return ::IntersectClipRect(m_hDC, x1, y1, x2, y2); }
int CDC::IntersectClipRect(LPCRECT r) { return IntersectClipRect(r->left, r->top, r->right, r->bottom); }
int CDC::OffsetClipRgn(int x, int y) { return ::OffsetClipRgn(m_hDC, x, y); }

CPoint CDC::GetCurrentPosition() const {
  POINT p{0, 0};
  ::GetCurrentPositionEx(m_hAttribDC, &p);
  return p;
}
CPoint CDC::MoveTo(int x, int y) {
  POINT p{0, 0};
  ::MoveToEx(m_hDC, x, y, &p);
  return p;
}
BOOL CDC::LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
BOOL CDC::Polyline(const POINT* lpPoints, int nCount) { return ::Polyline(m_hDC, lpPoints, nCount); }
BOOL CDC::Polygon(const POINT* lpPoints, int nCount) { return ::Polygon(m_hDC, lpPoints, nCount); }
BOOL CDC::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  return ::Arc(m_hDC, x1, y1, x2, y2, x3, y3, x4, y4);
}
BOOL CDC::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  return ::Pie(m_hDC, x1, y1, x2, y2, x3, y3, x4, y4);
}
BOOL CDC::Rectangle(int x1, int y1, int x2, int y2) { return ::Rectangle(m_hDC, x1, y1, x2, y2); }
BOOL CDC::Rectangle(LPCRECT r) { return Rectangle(r->left, r->top, r->right, r->bottom); }
BOOL CDC::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) { return ::RoundRect(m_hDC, x1, y1, x2, y2, x3, y3); }
BOOL CDC::RoundRect(LPCRECT r, POINT point) { return RoundRect(r->left, r->top, r->right, r->bottom, point.x, point.y); }
BOOL CDC::Ellipse(int x1, int y1, int x2, int y2) { return ::Ellipse(m_hDC, x1, y1, x2, y2); }
BOOL CDC::Ellipse(LPCRECT r) { return Ellipse(r->left, r->top, r->right, r->bottom); }
void CDC::FillRect(LPCRECT lpRect, CBrush* pBrush) {
  ::FillRect(m_hDC, lpRect, pBrush ? static_cast<HBRUSH>(pBrush->m_hObject) : nullptr);
}
void CDC::FrameRect(LPCRECT lpRect, CBrush* pBrush) {
  ::FrameRect(m_hDC, lpRect, pBrush ? static_cast<HBRUSH>(pBrush->m_hObject) : nullptr);
}
void CDC::InvertRect(LPCRECT lpRect) { ::InvertRect(m_hDC, lpRect); }
void CDC::FillSolidRect(LPCRECT lpRect, COLORREF clr) {
  ::SetBkColor(m_hDC, clr);
  ::ExtTextOut(m_hDC, 0, 0, ETO_OPAQUE, lpRect, nullptr, 0, nullptr);
}
void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF clr) {
  RECT r{x, y, x + cx, y + cy};
  FillSolidRect(&r, clr);
}
void CDC::Draw3dRect(LPCRECT r, COLORREF clrTopLeft, COLORREF clrBottomRight) {
  Draw3dRect(r->left, r->top, r->right - r->left, r->bottom - r->top, clrTopLeft, clrBottomRight);
}
void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF clrTopLeft, COLORREF clrBottomRight) {
  FillSolidRect(x, y, cx - 1, 1, clrTopLeft);
  FillSolidRect(x, y, 1, cy - 1, clrTopLeft);
  FillSolidRect(x + cx, y, -1, cy, clrBottomRight);
  FillSolidRect(x, y + cy, cx, -1, clrBottomRight);
}
BOOL CDC::DrawEdge(LPRECT lpRect, UINT nEdge, UINT nFlags) { return ::DrawEdge(m_hDC, lpRect, nEdge, nFlags); }
BOOL CDC::DrawFrameControl(LPRECT lpRect, UINT nType, UINT nState) {
  return ::DrawFrameControl(m_hDC, lpRect, nType, nState);
}
void CDC::DrawFocusRect(LPCRECT lpRect) { ::DrawFocusRect(m_hDC, lpRect); }
BOOL CDC::DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
BOOL CDC::DrawState(CPoint pt, CSize size, HICON hIcon, UINT nFlags, HBRUSH hBrush) {
  return ::DrawState(m_hDC, hBrush, nullptr, reinterpret_cast<LPARAM>(hIcon), 0, pt.x, pt.y, size.cx, size.cy,
                     nFlags | DST_ICON);
}
BOOL CDC::DrawState(CPoint pt, CSize size, HBITMAP hBitmap, UINT nFlags, HBRUSH hBrush) {
  return ::DrawState(m_hDC, hBrush, nullptr, reinterpret_cast<LPARAM>(hBitmap), 0, pt.x, pt.y, size.cx, size.cy,
                     nFlags | DST_BITMAP);
}
BOOL CDC::DrawState(CPoint pt, CSize size, LPCSTR lpszText, UINT nFlags, BOOL bPrefixText, int nTextLen,
                    HBRUSH hBrush) {
  return ::DrawState(m_hDC, hBrush, nullptr, reinterpret_cast<LPARAM>(lpszText), static_cast<WPARAM>(nTextLen), pt.x,
                     pt.y, size.cx, size.cy, nFlags | (bPrefixText ? DST_PREFIXTEXT : DST_TEXT));
}
BOOL CDC::FillRgn(CRgn* pRgn, CBrush* pBrush) {
  return ::FillRgn(m_hDC, static_cast<HRGN>(pRgn->m_hObject), static_cast<HBRUSH>(pBrush->m_hObject));
}
BOOL CDC::FrameRgn(CRgn* pRgn, CBrush* pBrush, int nWidth, int nHeight) {
  return ::FrameRgn(m_hDC, static_cast<HRGN>(pRgn->m_hObject), static_cast<HBRUSH>(pBrush->m_hObject), nWidth, nHeight);
}
BOOL CDC::PaintRgn(CRgn* pRgn) { return ::PaintRgn(m_hDC, static_cast<HRGN>(pRgn->m_hObject)); }
BOOL CDC::InvertRgn(CRgn* pRgn) { return ::InvertRgn(m_hDC, static_cast<HRGN>(pRgn->m_hObject)); }

BOOL CDC::PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop) {
  return ::PatBlt(m_hDC, x, y, nWidth, nHeight, dwRop);
}
BOOL CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop) {
  return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
}
BOOL CDC::StretchBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, int nSrcWidth,
                     int nSrcHeight, DWORD dwRop) {
  return ::StretchBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, nSrcWidth,
                      nSrcHeight, dwRop);
}
COLORREF CDC::GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
COLORREF CDC::SetPixel(int x, int y, COLORREF crColor) { return ::SetPixel(m_hDC, x, y, crColor); }
BOOL CDC::SetPixelV(int x, int y, COLORREF crColor) { return ::SetPixelV(m_hDC, x, y, crColor); }

BOOL CDC::TextOut(int x, int y, LPCSTR lpszString, int nCount) { return ::TextOut(m_hDC, x, y, lpszString, nCount); }
BOOL CDC::ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, LPCSTR lpszString, UINT nCount, LPINT lpDxWidths) {
  return ::ExtTextOut(m_hDC, x, y, nOptions, lpRect, lpszString, nCount, lpDxWidths);
}
int CDC::DrawText(LPCSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat) {
  return ::DrawText(m_hDC, lpszString, nCount, lpRect, nFormat);
}
CSize CDC::GetTextExtent(LPCSTR lpszString, int nCount) const {
  SIZE s{0, 0};
  ::GetTextExtentPoint32(m_hAttribDC, lpszString, nCount, &s);
  return s;
}
BOOL CDC::GetTextMetrics(LPTEXTMETRICA lpMetrics) const { return ::GetTextMetrics(m_hAttribDC, lpMetrics); }
int CDC::GetTextFace(CString& rString) const {
  char face[LF_FACESIZE] = {};
  int n = ::GetTextFace(m_hAttribDC, LF_FACESIZE, face);
  rString = face;
  return n;
}
int CDC::SetTextCharacterExtra(int nCharExtra) { return ::SetTextCharacterExtra(m_hDC, nCharExtra); }

// CPaintDC and the window DCs: the DC of a window, given back when the object goes.
CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(kx::afx::SafeHwnd(pWnd)) { Attach(::BeginPaint(m_hWnd, &m_ps)); }
CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  Detach();
}
CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(kx::afx::SafeHwnd(pWnd)) { Attach(::GetDC(m_hWnd)); }
CClientDC::~CClientDC() { ::ReleaseDC(m_hWnd, Detach()); }
CWindowDC::CWindowDC(CWnd* pWnd) : m_hWnd(kx::afx::SafeHwnd(pWnd)) { Attach(::GetWindowDC(m_hWnd)); }
CWindowDC::~CWindowDC() { ::ReleaseDC(m_hWnd, Detach()); }
