// Device contexts: creation, attributes, selected objects, coordinate spaces, clipping.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <strings.h>
#include <unordered_map>

#include "platform/gdi/internal.h"

namespace kx::gdi {

namespace {
std::atomic<int> g_screenDpi{96};
}  // namespace

int ScreenDpi() { return g_screenDpi.load(); }
void SetScreenDpi(int dpi) { g_screenDpi = std::clamp(dpi, 48, 480); }
int Scaled(int length) {
  int dpi = ScreenDpi();
  if (dpi == 96) return length;
  return static_cast<int>(std::lround(length * dpi / 96.0));
}

namespace {

std::mutex g_dcMutex;
std::unordered_map<uintptr_t, DcPtr>& DcTable() {
  static auto* t = new std::unordered_map<uintptr_t, DcPtr>();
  return *t;
}

void (*g_composer)() = nullptr;

HDC Register(DcPtr dc) {
  uintptr_t h = NewHandleValue();
  dc->handle = reinterpret_cast<HDC>(h);
  std::lock_guard<std::mutex> lock(g_dcMutex);
  DcTable()[h] = std::move(dc);
  return reinterpret_cast<HDC>(h);
}

// The 1x1 monochrome bitmap every memory DC starts with.
HBITMAP DefaultBitmap() {
  static HBITMAP h = [] {
    auto b = NewBitmap(1, 1, 1);
    b->stock = true;
    return static_cast<HBITMAP>(AddObject(b));
  }();
  return h;
}

long Round(double v) { return std::lround(v); }

}  // namespace

DcPtr GetDc(HDC h) {
  if (!h) return nullptr;
  std::lock_guard<std::mutex> lock(g_dcMutex);
  auto it = DcTable().find(reinterpret_cast<uintptr_t>(h));
  return it == DcTable().end() ? nullptr : it->second;
}

BOOL SetDcPoint(HDC h, POINT DcState::*field, POINT value, LPPOINT old) {
  DcPtr dc = GetDc(h);
  if (!dc) return FALSE;
  if (old) *old = dc->st.*field;
  dc->st.*field = value;
  return TRUE;
}

BOOL GetDcPoint(HDC h, POINT DcState::*field, LPPOINT out) {
  DcPtr dc = GetDc(h);
  if (!dc || !out) return FALSE;
  *out = dc->st.*field;
  return TRUE;
}

BOOL OffsetDcPoint(HDC h, POINT DcState::*field, int dx, int dy, LPPOINT old) {
  DcPtr dc = GetDc(h);
  if (!dc) return FALSE;
  POINT p = dc->st.*field;
  if (old) *old = p;
  dc->st.*field = POINT{p.x + dx, p.y + dy};
  return TRUE;
}

int CopyText(const std::string& text, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  size_t k = std::min(text.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, text.data(), k);
  buffer[k] = 0;
  return static_cast<int>(k);
}

void ResetDcState(Dc& dc) {
  BitmapPtr bitmap = dc.st.bitmap;
  HGDIOBJ bitmapH = dc.st.bitmapH;
  dc.st = DcState();
  dc.saved.clear();
  dc.st.penH = GetStockObject(BLACK_PEN);
  dc.st.pen = Get<PenObj>(dc.st.penH, ObjKind::Pen);
  dc.st.brushH = GetStockObject(WHITE_BRUSH);
  dc.st.brush = Get<BrushObj>(dc.st.brushH, ObjKind::Brush);
  dc.st.fontH = GetStockObject(SYSTEM_FONT);
  dc.st.font = Get<FontObj>(dc.st.fontH, ObjKind::Font);
  dc.st.paletteH = GetStockObject(DEFAULT_PALETTE);
  dc.st.palette = Get<PaletteObj>(dc.st.paletteH, ObjKind::Palette);
  dc.st.bitmap = bitmap;
  dc.st.bitmapH = bitmapH;
}

HDC CreateSurfaceDc(DcKind kind, SurfacePtr surface, POINT origin, const Region& visible, HWND hwnd, bool windowDc) {
  auto dc = std::make_shared<Dc>();
  dc->kind = kind;
  dc->surface = std::move(surface);
  dc->origin = origin;
  dc->visible = visible;
  dc->hwnd = hwnd;
  dc->windowDc = windowDc;
  ResetDcState(*dc);
  return Register(dc);
}

void RetargetDc(HDC h, SurfacePtr surface, POINT origin, const Region& visible) {
  DcPtr dc = GetDc(h);
  if (!dc) return;
  dc->surface = std::move(surface);
  dc->origin = origin;
  dc->visible = visible;
}

void DeleteSurfaceDc(HDC h) {
  std::lock_guard<std::mutex> lock(g_dcMutex);
  DcTable().erase(reinterpret_cast<uintptr_t>(h));
}

SurfacePtr ScreenSurface() {
  static SurfacePtr screen = [] {
    auto s = std::make_shared<Surface>(1280, 1024);
    s->Fill(SysPixel(COLOR_BACKGROUND));
    return s;
  }();
  return screen;
}

void SetScreenComposer(void (*compose)()) { g_composer = compose; }
void ComposeScreen() {
  if (g_composer) g_composer();
}

// ----- Dc -----
Region Dc::Clip() const {
  Region r = visible;
  if (st.clip) {
    Region c = *st.clip;
    c.Offset(origin.x, origin.y);
    r = r.Intersect(c);
  }
  if (surface) r = r.IntersectRect(RECT{0, 0, surface->width, surface->height});
  return r;
}

double Dc::ScaleX() const {
  return st.winExt.cx ? static_cast<double>(st.vpExt.cx) / st.winExt.cx : 1.0;
}
double Dc::ScaleY() const {
  return st.winExt.cy ? static_cast<double>(st.vpExt.cy) / st.winExt.cy : 1.0;
}

POINT Dc::ToDevice(int x, int y) const {
  if (st.mapMode == MM_TEXT)
    return POINT{x - st.winOrg.x + st.vpOrg.x, y - st.winOrg.y + st.vpOrg.y};
  return POINT{static_cast<LONG>(Round((x - st.winOrg.x) * ScaleX())) + st.vpOrg.x,
               static_cast<LONG>(Round((y - st.winOrg.y) * ScaleY())) + st.vpOrg.y};
}

POINT Dc::ToLogical(int dx, int dy) const {
  if (st.mapMode == MM_TEXT)
    return POINT{dx - st.vpOrg.x + st.winOrg.x, dy - st.vpOrg.y + st.winOrg.y};
  double sx = ScaleX(), sy = ScaleY();
  return POINT{static_cast<LONG>(Round((dx - st.vpOrg.x) / (sx ? sx : 1))) + st.winOrg.x,
               static_cast<LONG>(Round((dy - st.vpOrg.y) / (sy ? sy : 1))) + st.winOrg.y};
}

RECT Dc::ToSurfaceRect(const RECT& rc) const {
  POINT a = ToSurface(rc.left, rc.top), b = ToSurface(rc.right, rc.bottom);
  RECT r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  return r;
}

// ----- pixel access -----
PixelAccess::PixelAccess(Dc& d, bool w) : dc(d), s(d.surface.get()), write(w) {
  if (d.kind == DcKind::Screen) ComposeScreen();
  if (BitmapObj* b = d.TargetBitmap()) b->SyncFromBits();
  if (s) cairo_surface_flush(s->cs);
}

PixelAccess::~PixelAccess() {
  if (!s || !write) return;
  cairo_surface_mark_dirty(s->cs);
  if (BitmapObj* b = dc.TargetBitmap()) {
    b->Normalize();
    b->SyncToBits();
  }
}

void PixelAccess::Damage(const RECT& rc) {
  if (!s || !write) return;
  if (!clipKnown) {
    clipBox = dc.Clip().Box();
    clipKnown = true;
  }
  RECT r;
  if (IntersectRect(&r, &rc, &clipBox)) s->AddDamage(r);
}

}  // namespace kx::gdi

using namespace kx::gdi;

namespace {

template <typename T>
T SetAttr(HDC hdc, T DcState::*field, T value, T fail) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return fail;
  T old = dc->st.*field;
  dc->st.*field = value;
  return old;
}
template <typename T>
T GetAttr(HDC hdc, T DcState::*field, T fail) {
  DcPtr dc = GetDc(hdc);
  return dc ? dc->st.*field : fail;
}

// The DC's drawing area in device coordinates (used when a clip operation needs "everything").
Region DeviceArea(const Dc& dc) {
  Region r = dc.visible;
  r.Offset(-dc.origin.x, -dc.origin.y);
  return r;
}

}  // namespace

HDC CreateCompatibleDC(HDC hdc) {
  auto bm = GetBitmap(DefaultBitmap());
  auto dc = std::make_shared<Dc>();
  dc->kind = DcKind::Memory;
  dc->surface = bm->surface;
  dc->visible = Region(RECT{0, 0, 1, 1});
  dc->st.bitmap = bm;
  dc->st.bitmapH = DefaultBitmap();
  ResetDcState(*dc);
  (void)hdc;
  return Register(dc);
}

HDC CreateDC(LPCSTR driver, LPCSTR device, LPCSTR, const void*) {
  const char* name = driver ? driver : device;
  if (!name || strcasecmp(name, "DISPLAY") != 0) return nullptr;
  SurfacePtr screen = ScreenSurface();
  return CreateSurfaceDc(DcKind::Screen, screen, POINT{0, 0}, Region(RECT{0, 0, screen->width, screen->height}),
                         nullptr, true);
}

BOOL DeleteDC(HDC hdc) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  DeleteSurfaceDc(hdc);
  return TRUE;
}

int SaveDC(HDC hdc) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  int n = static_cast<int>(dc->saved.size());
  int level = saved < 0 ? n + 1 + saved : saved;
  if (level < 1 || level > n) return FALSE;
  dc->st = dc->saved[static_cast<size_t>(level - 1)];
  dc->saved.resize(static_cast<size_t>(level - 1));
  if (dc->kind == DcKind::Memory && dc->st.bitmap) {
    dc->surface = dc->st.bitmap->surface;
    dc->visible = Region(RECT{0, 0, dc->surface->width, dc->surface->height});
  }
  return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
  if (!GetDc(hdc)) return 0;
  bool pal = kx::IsPaletteDevice();
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return 339;
    case VERTSIZE: return 271;
    case HORZRES:
    case DESKTOPHORZRES: return 1280;
    case VERTRES:
    case DESKTOPVERTRES: return 1024;
    case BITSPIXEL: return pal ? 8 : 32;
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS: return -1;
    case NUMFONTS: return 0;
    case NUMCOLORS: return pal ? 20 : -1;
    case ASPECTX:
    case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case LOGPIXELSX:
    case LOGPIXELSY: return ScreenDpi();
    case SIZEPALETTE: return pal ? 256 : 0;
    case NUMRESERVED: return pal ? 20 : 0;
    case COLORRES: return pal ? 18 : 24;
    case RASTERCAPS:
      return RC_BITBLT | RC_BITMAP64 | RC_GDI20_OUTPUT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT |
             RC_STRETCHDIB | RC_FLOODFILL | (pal ? RC_PALETTE : 0);
    case CURVECAPS: return 0xFF;
    case LINECAPS: return 0xFE;
    case POLYGONALCAPS: return 0xFF;
    case TEXTCAPS: return 0x7800;
    case CLIPCAPS: return 1;
    case VREFRESH: return 60;
    default: return 0;
  }
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  DcPtr dc = GetDc(hdc);
  ObjectPtr p = GetObjectPtr(obj);
  if (!dc || !p) return nullptr;
  HGDIOBJ old = nullptr;
  switch (p->kind) {
    case ObjKind::Pen:
      old = dc->st.penH;
      dc->st.pen = std::static_pointer_cast<PenObj>(p);
      dc->st.penH = obj;
      return old;
    case ObjKind::Brush:
      old = dc->st.brushH;
      dc->st.brush = std::static_pointer_cast<BrushObj>(p);
      dc->st.brushH = obj;
      return old;
    case ObjKind::Font:
      old = dc->st.fontH;
      dc->st.font = std::static_pointer_cast<FontObj>(p);
      dc->st.fontH = obj;
      return old;
    case ObjKind::Bitmap: {
      if (dc->kind != DcKind::Memory) return nullptr;
      auto bm = std::static_pointer_cast<BitmapObj>(p);
      old = dc->st.bitmapH;
      dc->st.bitmap = bm;
      dc->st.bitmapH = obj;
      dc->surface = bm->surface;
      dc->origin = POINT{0, 0};
      dc->visible = Region(RECT{0, 0, bm->width(), bm->height()});
      return old;
    }
    case ObjKind::Region: {
      int kind = SelectClipRgn(hdc, static_cast<HRGN>(obj));
      return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(kind));
    }
    default:
      return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->st.penH;
    case OBJ_BRUSH: return dc->st.brushH;
    case OBJ_FONT: return dc->st.fontH;
    case OBJ_PAL: return dc->st.paletteH;
    case OBJ_BITMAP: return dc->st.bitmapH;
    default: return nullptr;
  }
}

COLORREF SetTextColor(HDC hdc, COLORREF c) { return SetAttr(hdc, &DcState::textColor, c & 0x00FFFFFF, CLR_INVALID); }
COLORREF GetTextColor(HDC hdc) { return GetAttr(hdc, &DcState::textColor, CLR_INVALID); }
COLORREF SetBkColor(HDC hdc, COLORREF c) { return SetAttr(hdc, &DcState::bkColor, c & 0x00FFFFFF, CLR_INVALID); }
COLORREF GetBkColor(HDC hdc) { return GetAttr(hdc, &DcState::bkColor, CLR_INVALID); }
int SetBkMode(HDC hdc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return SetAttr(hdc, &DcState::bkMode, mode, 0);
}
int GetBkMode(HDC hdc) { return GetAttr(hdc, &DcState::bkMode, 0); }
int SetROP2(HDC hdc, int rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
  return SetAttr(hdc, &DcState::rop2, rop2, 0);
}
int GetROP2(HDC hdc) { return GetAttr(hdc, &DcState::rop2, 0); }
UINT SetTextAlign(HDC hdc, UINT a) { return SetAttr(hdc, &DcState::textAlign, a, static_cast<UINT>(GDI_ERROR)); }
UINT GetTextAlign(HDC hdc) { return GetAttr(hdc, &DcState::textAlign, static_cast<UINT>(GDI_ERROR)); }
int SetStretchBltMode(HDC hdc, int mode) {
  if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return SetAttr(hdc, &DcState::stretchMode, mode, 0);
}
int GetStretchBltMode(HDC hdc) { return GetAttr(hdc, &DcState::stretchMode, 0); }
int SetPolyFillMode(HDC hdc, int mode) {
  if (mode != ALTERNATE && mode != WINDING) return 0;
  return SetAttr(hdc, &DcState::polyFill, mode, 0);
}
int GetPolyFillMode(HDC hdc) { return GetAttr(hdc, &DcState::polyFill, 0); }
COLORREF SetDCBrushColor(HDC hdc, COLORREF c) { return SetAttr(hdc, &DcState::dcBrushColor, c & 0xFFFFFF, CLR_INVALID); }
COLORREF GetDCBrushColor(HDC hdc) { return GetAttr(hdc, &DcState::dcBrushColor, CLR_INVALID); }
COLORREF SetDCPenColor(HDC hdc, COLORREF c) { return SetAttr(hdc, &DcState::dcPenColor, c & 0xFFFFFF, CLR_INVALID); }
COLORREF GetDCPenColor(HDC hdc) { return GetAttr(hdc, &DcState::dcPenColor, CLR_INVALID); }
int SetTextCharacterExtra(HDC hdc, int extra) { return SetAttr(hdc, &DcState::charExtra, extra, static_cast<int>(0x80000000)); }
int GetTextCharacterExtra(HDC hdc) { return GetAttr(hdc, &DcState::charExtra, static_cast<int>(0x80000000)); }

BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT old) { return SetDcPoint(hdc, &DcState::brushOrg, POINT{x, y}, old); }
BOOL GetBrushOrgEx(HDC hdc, LPPOINT out) { return GetDcPoint(hdc, &DcState::brushOrg, out); }

// ----- coordinate spaces -----
namespace {

void FixIsotropic(DcState& st) {
  if (st.mapMode != MM_ISOTROPIC || !st.winExt.cx || !st.winExt.cy) return;
  double sx = std::fabs(static_cast<double>(st.vpExt.cx) / st.winExt.cx);
  double sy = std::fabs(static_cast<double>(st.vpExt.cy) / st.winExt.cy);
  if (sx < sy) {
    long v = std::lround(std::fabs(static_cast<double>(st.winExt.cy)) * sx);
    st.vpExt.cy = st.vpExt.cy < 0 ? -v : v;
  } else if (sy < sx) {
    long v = std::lround(std::fabs(static_cast<double>(st.winExt.cx)) * sy);
    st.vpExt.cx = st.vpExt.cx < 0 ? -v : v;
  }
}

}  // namespace

int SetMapMode(HDC hdc, int mode) {
  DcPtr dc = GetDc(hdc);
  if (!dc || mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
  int old = dc->st.mapMode;
  dc->st.mapMode = mode;
  auto set = [&](LONG w, LONG v) {
    dc->st.winExt = SIZE{w, w};
    dc->st.vpExt = SIZE{v, -v};
  };
  switch (mode) {
    case MM_TEXT:
      dc->st.winExt = SIZE{1, 1};
      dc->st.vpExt = SIZE{1, 1};
      break;
    case MM_LOMETRIC: set(254, 96); break;
    case MM_HIMETRIC: set(2540, 96); break;
    case MM_LOENGLISH: set(100, 96); break;
    case MM_HIENGLISH: set(1000, 96); break;
    case MM_TWIPS: set(1440, 96); break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
      if (old == MM_TEXT) {
        dc->st.winExt = SIZE{1, 1};
        dc->st.vpExt = SIZE{1, 1};
      }
      FixIsotropic(dc->st);
      break;
  }
  return old;
}
int GetMapMode(HDC hdc) { return GetAttr(hdc, &DcState::mapMode, 0); }

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old) { return SetDcPoint(hdc, &DcState::vpOrg, POINT{x, y}, old); }
BOOL GetViewportOrgEx(HDC hdc, LPPOINT out) { return GetDcPoint(hdc, &DcState::vpOrg, out); }
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old) { return OffsetDcPoint(hdc, &DcState::vpOrg, dx, dy, old); }
BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT old) { return SetDcPoint(hdc, &DcState::winOrg, POINT{x, y}, old); }
BOOL GetWindowOrgEx(HDC hdc, LPPOINT out) { return GetDcPoint(hdc, &DcState::winOrg, out); }
BOOL OffsetWindowOrgEx(HDC hdc, int dx, int dy, LPPOINT old) { return OffsetDcPoint(hdc, &DcState::winOrg, dx, dy, old); }

namespace {

// Extents count only in the two scalable mapping modes; the isotropic one keeps both scales equal.
BOOL SetExtent(HDC hdc, SIZE DcState::*field, int cx, int cy, LPSIZE old) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  if (old) *old = dc->st.*field;
  if (dc->st.mapMode != MM_ISOTROPIC && dc->st.mapMode != MM_ANISOTROPIC) return TRUE;
  if (cx == 0 || cy == 0) return FALSE;
  dc->st.*field = SIZE{cx, cy};
  FixIsotropic(dc->st);
  return TRUE;
}

BOOL GetExtent(HDC hdc, SIZE DcState::*field, LPSIZE out) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !out) return FALSE;
  *out = dc->st.*field;
  return TRUE;
}

}  // namespace

BOOL SetViewportExtEx(HDC hdc, int cx, int cy, LPSIZE old) { return SetExtent(hdc, &DcState::vpExt, cx, cy, old); }
BOOL GetViewportExtEx(HDC hdc, LPSIZE out) { return GetExtent(hdc, &DcState::vpExt, out); }
BOOL SetWindowExtEx(HDC hdc, int cx, int cy, LPSIZE old) { return SetExtent(hdc, &DcState::winExt, cx, cy, old); }
BOOL GetWindowExtEx(HDC hdc, LPSIZE out) { return GetExtent(hdc, &DcState::winExt, out); }
BOOL DPtoLP(HDC hdc, LPPOINT pts, int count) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !pts) return FALSE;
  for (int i = 0; i < count; ++i) pts[i] = dc->ToLogical(pts[i].x, pts[i].y);
  return TRUE;
}
BOOL LPtoDP(HDC hdc, LPPOINT pts, int count) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !pts) return FALSE;
  for (int i = 0; i < count; ++i) pts[i] = dc->ToDevice(pts[i].x, pts[i].y);
  return TRUE;
}

// ----- clipping -----
int ExtSelectClipRgn(HDC hdc, HRGN rgn, int mode) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return ERROR;
  if (!rgn) {
    if (mode != RGN_COPY) return ERROR;
    dc->st.clip.reset();
  } else {
    auto r = Get<RegionObj>(rgn, ObjKind::Region);
    if (!r) return ERROR;
    if (mode == RGN_COPY) {
      dc->st.clip = r->rgn;
    } else {
      Region cur = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
      dc->st.clip = cur.Combine(r->rgn, mode);
    }
  }
  return dc->Clip().Kind();
}

int SelectClipRgn(HDC hdc, HRGN rgn) { return ExtSelectClipRgn(hdc, rgn, RGN_COPY); }

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return ERROR;
  POINT a = dc->ToDevice(left, top), b = dc->ToDevice(right, bottom);
  RECT r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  Region cur = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
  dc->st.clip = cur.IntersectRect(r);
  return dc->Clip().Kind();
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return ERROR;
  POINT a = dc->ToDevice(left, top), b = dc->ToDevice(right, bottom);
  RECT r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  Region cur = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
  dc->st.clip = cur.Subtract(Region(r));
  return dc->Clip().Kind();
}

int OffsetClipRgn(HDC hdc, int dx, int dy) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return ERROR;
  if (dc->st.clip) {
    int ddx = static_cast<int>(std::lround(dx * dc->ScaleX()));
    int ddy = static_cast<int>(std::lround(dy * dc->ScaleY()));
    dc->st.clip->Offset(ddx, ddy);
  }
  return dc->Clip().Kind();
}

int GetClipBox(HDC hdc, LPRECT rc) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !rc) return ERROR;
  Region clip = dc->Clip();
  RECT box = clip.Box();
  if (clip.Empty()) {
    *rc = RECT{0, 0, 0, 0};
    return NULLREGION;
  }
  POINT a = dc->ToLogical(box.left - dc->origin.x, box.top - dc->origin.y);
  POINT b = dc->ToLogical(box.right - dc->origin.x, box.bottom - dc->origin.y);
  *rc = RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  return clip.Kind();
}

int GetClipRgn(HDC hdc, HRGN rgn) {
  DcPtr dc = GetDc(hdc);
  auto r = Get<RegionObj>(rgn, ObjKind::Region);
  if (!dc || !r) return -1;
  if (!dc->st.clip) return 0;
  r->rgn = *dc->st.clip;
  return 1;
}

BOOL PtVisible(HDC hdc, int x, int y) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  POINT p = dc->ToSurface(x, y);
  return dc->Clip().Contains(p.x, p.y);
}

BOOL RectVisible(HDC hdc, const RECT* rc) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !rc) return FALSE;
  return dc->Clip().Intersects(dc->ToSurfaceRect(*rc));
}
