// The object table (pens, brushes, fonts, bitmaps, regions, palettes, icons), stock objects, palettes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>

#include "platform/gdi/internal.h"

namespace kx::gdi {

// ----- surfaces -----
Surface::Surface(int w, int h) : width(std::max(w, 0)), height(std::max(h, 0)) {
  cs = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1), std::max(height, 1));
  Fill(0);
}
Surface::~Surface() {
  if (cs) cairo_surface_destroy(cs);
}
uint32_t* Surface::Row(int y) {
  unsigned char* data = cairo_image_surface_get_data(cs);
  int stride = cairo_image_surface_get_stride(cs);
  return reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y);
}
void Surface::AddDamage(const RECT& rc) {
  RECT r{std::max<LONG>(rc.left, 0), std::max<LONG>(rc.top, 0), std::min<LONG>(rc.right, width),
         std::min<LONG>(rc.bottom, height)};
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (!damaged) {
    damage = r;
    damaged = true;
  } else {
    UnionRect(&damage, &damage, &r);
  }
  if (!shownDamaged) {
    shownDamage = r;
    shownDamaged = true;
  } else {
    UnionRect(&shownDamage, &shownDamage, &r);
  }
}
void Surface::Fill(uint32_t pixel) {
  cairo_surface_flush(cs);
  for (int y = 0; y < std::max(height, 1); ++y) {
    uint32_t* row = Row(y);
    std::fill(row, row + std::max(width, 1), pixel);
  }
  cairo_surface_mark_dirty(cs);
}

// ----- handle table -----
namespace {

std::mutex g_tableMutex;
std::unordered_map<uintptr_t, ObjectPtr>& Table() {
  static auto* t = new std::unordered_map<uintptr_t, ObjectPtr>();
  return *t;
}
// Handles are never reused: a stale handle finds nothing.
std::atomic<uintptr_t> g_nextHandle{0x10000};

}  // namespace

uintptr_t NewHandleValue() { return g_nextHandle.fetch_add(8); }

HGDIOBJ AddObject(ObjectPtr obj) {
  uintptr_t h = NewHandleValue();
  std::lock_guard<std::mutex> lock(g_tableMutex);
  Table()[h] = std::move(obj);
  return reinterpret_cast<HGDIOBJ>(h);
}

ObjectPtr GetObjectPtr(HGDIOBJ h) {
  if (!h) return nullptr;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = Table().find(reinterpret_cast<uintptr_t>(h));
  return it == Table().end() ? nullptr : it->second;
}

bool RemoveObject(HGDIOBJ h) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = Table().find(reinterpret_cast<uintptr_t>(h));
  if (it == Table().end() || it->second->stock) return false;
  Table().erase(it);
  return true;
}

std::shared_ptr<IconObj> GetIcon(HICON h) { return Get<IconObj>(h, ObjKind::Icon); }
BitmapPtr GetBitmap(HBITMAP h) { return Get<BitmapObj>(h, ObjKind::Bitmap); }

BitmapPtr NewBitmap(int width, int height, int bpp) {
  auto b = std::make_shared<BitmapObj>();
  b->surface = std::make_shared<Surface>(width, height);
  b->bpp = bpp;
  if (bpp == 1) b->surface->Fill(0xFFFFFF);
  return b;
}

IconObj::~IconObj() {
  if (image) cairo_surface_destroy(image);
}

// ----- stock objects -----
namespace {

struct Stock {
  HGDIOBJ objs[DC_PEN + 1] = {};
};

std::shared_ptr<BrushObj> MakeBrush(UINT style, COLORREF c) {
  auto b = std::make_shared<BrushObj>();
  b->style = style;
  b->color = c;
  return b;
}
std::shared_ptr<PenObj> MakePen(UINT style, COLORREF c) {
  auto p = std::make_shared<PenObj>();
  p->style = style;
  p->color = c;
  return p;
}
std::shared_ptr<FontObj> MakeFont(const char* face, int height, int weight, BYTE pitch) {
  auto f = std::make_shared<FontObj>();
  f->lf.lfHeight = height;
  f->lf.lfWeight = weight;
  f->lf.lfCharSet = DEFAULT_CHARSET;
  f->lf.lfPitchAndFamily = pitch;
  std::strncpy(f->lf.lfFaceName, face, LF_FACESIZE - 1);
  return f;
}

const Stock& Stocks() {
  static const Stock* stock = [] {
    auto* s = new Stock();
    auto add = [&](int index, ObjectPtr o) {
      o->stock = true;
      s->objs[index] = AddObject(std::move(o));
    };
    add(WHITE_BRUSH, MakeBrush(BS_SOLID, RGB(255, 255, 255)));
    add(LTGRAY_BRUSH, MakeBrush(BS_SOLID, RGB(192, 192, 192)));
    add(GRAY_BRUSH, MakeBrush(BS_SOLID, RGB(128, 128, 128)));
    add(DKGRAY_BRUSH, MakeBrush(BS_SOLID, RGB(64, 64, 64)));
    add(BLACK_BRUSH, MakeBrush(BS_SOLID, RGB(0, 0, 0)));
    add(NULL_BRUSH, MakeBrush(BS_NULL, 0));
    add(WHITE_PEN, MakePen(PS_SOLID, RGB(255, 255, 255)));
    add(BLACK_PEN, MakePen(PS_SOLID, RGB(0, 0, 0)));
    add(NULL_PEN, MakePen(PS_NULL, 0));
    add(OEM_FIXED_FONT, MakeFont("Terminal", 12, FW_NORMAL, FIXED_PITCH | FF_MODERN));
    add(ANSI_FIXED_FONT, MakeFont("Courier", 13, FW_NORMAL, FIXED_PITCH | FF_MODERN));
    add(ANSI_VAR_FONT, MakeFont("MS Sans Serif", 13, FW_NORMAL, VARIABLE_PITCH | FF_SWISS));
    add(SYSTEM_FONT, MakeFont("System", 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS));
    add(DEVICE_DEFAULT_FONT, MakeFont("System", 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS));
    auto pal = std::make_shared<PaletteObj>();
    // The 20 static colours of the platform's default palette.
    static const BYTE kStatic[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (auto& c : kStatic) pal->entries.push_back(PALETTEENTRY{c[0], c[1], c[2], 0});
    add(DEFAULT_PALETTE, pal);
    add(SYSTEM_FIXED_FONT, MakeFont("Fixedsys", 15, FW_NORMAL, FIXED_PITCH | FF_MODERN));
    add(DEFAULT_GUI_FONT, MakeFont("MS Shell Dlg", -11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS));
    auto dcBrush = MakeBrush(BS_SOLID, RGB(255, 255, 255));
    dcBrush->dcBrush = true;
    add(DC_BRUSH, dcBrush);
    auto dcPen = MakePen(PS_SOLID, 0);
    dcPen->dcPen = true;
    add(DC_PEN, dcPen);
    return s;
  }();
  return *stock;
}

std::atomic<bool> g_paletteDevice{false};

}  // namespace

LOGFONTA DefaultGuiFont() { return MakeFont("MS Shell Dlg", -11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS)->lf; }

}  // namespace kx::gdi

using namespace kx::gdi;

void kx::SetPaletteDeviceForTesting(bool on) { g_paletteDevice = on; }
bool kx::IsPaletteDevice() { return g_paletteDevice; }

HGDIOBJ GetStockObject(int index) {
  if (index < 0 || index > DC_PEN || index == 9) return nullptr;
  return Stocks().objs[index];
}

BOOL DeleteObject(HGDIOBJ obj) {
  ObjectPtr p = GetObjectPtr(obj);
  if (!p) return FALSE;
  if (p->stock) return TRUE;  // deleting a stock object is harmless
  if (p->kind == ObjKind::Icon) return FALSE;
  return RemoveObject(obj) ? TRUE : FALSE;
}

DWORD GetObjectType(HGDIOBJ obj) {
  if (GetDc(static_cast<HDC>(obj))) {
    DcPtr dc = GetDc(static_cast<HDC>(obj));
    return dc->kind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
  }
  ObjectPtr p = GetObjectPtr(obj);
  if (!p) return 0;
  switch (p->kind) {
    case ObjKind::Pen: return OBJ_PEN;
    case ObjKind::Brush: return OBJ_BRUSH;
    case ObjKind::Font: return OBJ_FONT;
    case ObjKind::Bitmap: return OBJ_BITMAP;
    case ObjKind::Region: return OBJ_REGION;
    case ObjKind::Palette: return OBJ_PAL;
    case ObjKind::Icon: return 0;
  }
  return 0;
}

int GetObject(HGDIOBJ obj, int size, LPVOID out) {
  ObjectPtr p = GetObjectPtr(obj);
  if (!p) return 0;
  switch (p->kind) {
    case ObjKind::Pen: {
      auto pen = std::static_pointer_cast<PenObj>(p);
      if (!out) return sizeof(LOGPEN);
      if (size < static_cast<int>(sizeof(LOGPEN))) return 0;
      LOGPEN lp{pen->style, POINT{pen->width, 0}, pen->color};
      std::memcpy(out, &lp, sizeof lp);
      return sizeof(LOGPEN);
    }
    case ObjKind::Brush: {
      auto b = std::static_pointer_cast<BrushObj>(p);
      if (!out) return sizeof(LOGBRUSH);
      if (size < static_cast<int>(sizeof(LOGBRUSH))) return 0;
      LOGBRUSH lb{b->style, b->color, static_cast<ULONG_PTR>(b->hatch)};
      std::memcpy(out, &lb, sizeof lb);
      return sizeof(LOGBRUSH);
    }
    case ObjKind::Font: {
      auto f = std::static_pointer_cast<FontObj>(p);
      if (!out) return sizeof(LOGFONTA);
      int n = std::min<int>(size, sizeof(LOGFONTA));
      LOGFONTA lf = FontOf(*f);
      std::memcpy(out, &lf, static_cast<size_t>(std::max(n, 0)));
      return n;
    }
    case ObjKind::Bitmap: {
      auto b = std::static_pointer_cast<BitmapObj>(p);
      BITMAP bm{};
      bm.bmWidth = b->width();
      bm.bmHeight = b->height();
      bm.bmPlanes = 1;
      bm.bmBitsPixel = static_cast<WORD>(b->bpp);
      bm.bmWidthBytes = b->dib ? b->Stride() : ((b->width() * b->bpp + 15) / 16) * 2;
      bm.bmBits = b->dib ? b->bits : nullptr;
      if (!out) return b->dib ? sizeof(DIBSECTION) : sizeof(BITMAP);
      if (b->dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
        DIBSECTION ds{};
        ds.dsBm = bm;
        ds.dsBmih = b->bih;
        std::memcpy(ds.dsBitfields, b->masks, sizeof ds.dsBitfields);
        std::memcpy(out, &ds, sizeof ds);
        return sizeof(DIBSECTION);
      }
      if (size < static_cast<int>(sizeof(BITMAP))) return 0;
      std::memcpy(out, &bm, sizeof bm);
      return sizeof(BITMAP);
    }
    case ObjKind::Palette: {
      auto pal = std::static_pointer_cast<PaletteObj>(p);
      if (!out || size < 2) return 2;
      WORD n = static_cast<WORD>(pal->entries.size());
      std::memcpy(out, &n, 2);
      return 2;
    }
    default:
      return 0;
  }
}

BOOL UnrealizeObject(HGDIOBJ obj) { return GetObjectPtr(obj) ? TRUE : FALSE; }

HPEN CreatePen(int style, int width, COLORREF color) {
  auto p = std::make_shared<PenObj>();
  int s = style & PS_STYLE_MASK;
  if (s > PS_INSIDEFRAME) s = PS_SOLID;
  p->style = static_cast<UINT>(s);
  p->width = std::max(width, 1);
  // Styled pens wider than one pixel draw solid, as on the platform.
  if (p->width > 1 && s >= PS_DASH && s <= PS_DASHDOTDOT) p->style = PS_SOLID;
  p->color = color & 0x00FFFFFF;
  return static_cast<HPEN>(AddObject(p));
}

HPEN CreatePenIndirect(const LOGPEN* lp) {
  if (!lp) return nullptr;
  return CreatePen(static_cast<int>(lp->lopnStyle), lp->lopnWidth.x, lp->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto b = MakeBrush(BS_SOLID, color & 0x00FFFFFF);
  return static_cast<HBRUSH>(AddObject(b));
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
  if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return nullptr;
  auto b = MakeBrush(BS_HATCHED, color & 0x00FFFFFF);
  b->hatch = hatch;
  return static_cast<HBRUSH>(AddObject(b));
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
  BitmapPtr bm = GetBitmap(bitmap);
  if (!bm) return nullptr;
  auto b = MakeBrush(BS_PATTERN, 0);
  // The brush keeps its own copy of the pattern, so the bitmap may be deleted.
  bm->SyncFromBits();
  auto copy = NewBitmap(bm->width(), bm->height(), bm->bpp == 1 ? 1 : 32);
  cairo_surface_flush(bm->surface->cs);
  for (int y = 0; y < bm->height(); ++y)
    std::memcpy(copy->surface->Row(y), bm->surface->Row(y), static_cast<size_t>(bm->width()) * 4);
  cairo_surface_mark_dirty(copy->surface->cs);
  b->pattern = copy;
  return static_cast<HBRUSH>(AddObject(b));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
  if (!lb) return nullptr;
  switch (lb->lbStyle) {
    case BS_SOLID: return CreateSolidBrush(lb->lbColor);
    case BS_NULL: return static_cast<HBRUSH>(AddObject(MakeBrush(BS_NULL, 0)));
    case BS_HATCHED: return CreateHatchBrush(static_cast<int>(lb->lbHatch), lb->lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(lb->lbHatch));
    default: return nullptr;
  }
}

HFONT CreateFontIndirect(const LOGFONTA* lf) {
  if (!lf) return nullptr;
  auto f = std::make_shared<FontObj>();
  f->lf = *lf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(AddObject(f));
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                 DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                 DWORD pitchAndFamily, LPCSTR face) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic != 0);
  lf.lfUnderline = static_cast<BYTE>(underline != 0);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut != 0);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirect(&lf);
}

// ----- palettes -----
namespace {
std::shared_ptr<PaletteObj> Pal(HPALETTE h) { return Get<PaletteObj>(h, ObjKind::Palette); }
}  // namespace

HPALETTE CreatePalette(const LOGPALETTE* lp) {
  if (!lp || lp->palNumEntries == 0) return nullptr;
  auto p = std::make_shared<PaletteObj>();
  p->entries.assign(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries);
  return static_cast<HPALETTE>(AddObject(p));
}

HPALETTE CreateHalftonePalette(HDC) {
  auto p = std::make_shared<PaletteObj>();
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        p->entries.push_back(PALETTEENTRY{static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51),
                                          static_cast<BYTE>(b * 51), 0});
  return static_cast<HPALETTE>(AddObject(p));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE pal, BOOL) {
  DcPtr dc = GetDc(hdc);
  auto p = Pal(pal);
  if (!dc || !p) return nullptr;
  HPALETTE old = static_cast<HPALETTE>(dc->st.paletteH ? dc->st.paletteH : GetStockObject(DEFAULT_PALETTE));
  dc->st.palette = p;
  dc->st.paletteH = pal;
  return old;
}

UINT RealizePalette(HDC hdc) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return static_cast<UINT>(-1);
  if (!kx::IsPaletteDevice() || !dc->st.palette) return 0;
  return static_cast<UINT>(std::min<size_t>(dc->st.palette->entries.size(), 236));
}

UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, LPPALETTEENTRY out) {
  auto p = Pal(pal);
  if (!p) return 0;
  if (!out) return static_cast<UINT>(p->entries.size());
  UINT n = 0;
  for (UINT i = start; i < p->entries.size() && n < count; ++i, ++n) out[n] = p->entries[i];
  return n;
}

UINT SetPaletteEntries(HPALETTE pal, UINT start, UINT count, const PALETTEENTRY* in) {
  auto p = Pal(pal);
  if (!p || !in || p->stock) return 0;
  UINT n = 0;
  for (UINT i = start; i < p->entries.size() && n < count; ++i, ++n) p->entries[i] = in[n];
  return n;
}

UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF color) {
  auto p = Pal(pal);
  if (!p || p->entries.empty()) return CLR_INVALID;
  UINT best = 0;
  long bestD = -1;
  for (UINT i = 0; i < p->entries.size(); ++i) {
    const auto& e = p->entries[i];
    long dr = e.peRed - GetRValue(color), dg = e.peGreen - GetGValue(color), db = e.peBlue - GetBValue(color);
    long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

COLORREF GetNearestColor(HDC hdc, COLORREF color) {
  if (!GetDc(hdc)) return CLR_INVALID;
  return color & 0x00FFFFFF;
}

UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, LPPALETTEENTRY out) {
  if (!GetDc(hdc)) return 0;
  // 256 entries: the default palette's 20 static colours at both ends, a colour cube in between.
  std::vector<PALETTEENTRY> sys(256, PALETTEENTRY{0, 0, 0, 0});
  auto def = Pal(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
  for (int i = 0; i < 10; ++i) {
    sys[i] = def->entries[i];
    sys[246 + i] = def->entries[10 + i];
  }
  int k = 10;
  for (int r = 0; r < 6 && k < 246; ++r)
    for (int g = 0; g < 6 && k < 246; ++g)
      for (int b = 0; b < 6 && k < 246; ++b)
        sys[k++] = PALETTEENTRY{static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51), 0};
  if (!out) return 256;
  UINT n = 0;
  for (UINT i = start; i < 256 && n < count; ++i, ++n) out[n] = sys[i];
  return n;
}

UINT GetSystemPaletteUse(HDC hdc) { return GetDc(hdc) ? SYSPAL_STATIC : SYSPAL_ERROR; }

BOOL GdiFlush() { return TRUE; }
