// Internal structures of the drawing layer, shared with the window system (platform/ui). Not for other folders.
#pragma once

#include <cairo.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace kx::gdi {

// ---------------------------------------------------------------------------------------------------------------
// Regions: y-x banded lists of non-overlapping rectangles.
// ---------------------------------------------------------------------------------------------------------------
class Region {
 public:
  Region() = default;
  explicit Region(const RECT& rc);
  static Region FromRects(const std::vector<RECT>& rects);  // any rectangles, overlapping or not

  bool Empty() const { return rects_.empty(); }
  RECT Box() const;
  int Kind() const { return rects_.empty() ? NULLREGION : rects_.size() == 1 ? SIMPLEREGION : COMPLEXREGION; }
  const std::vector<RECT>& Rects() const { return rects_; }
  bool Contains(int x, int y) const;
  bool Intersects(const RECT& rc) const;
  void Offset(int dx, int dy);
  Region Combine(const Region& other, int mode) const;
  Region Intersect(const Region& other) const { return Combine(other, RGN_AND); }
  Region Union(const Region& other) const { return Combine(other, RGN_OR); }
  Region Subtract(const Region& other) const { return Combine(other, RGN_DIFF); }
  Region IntersectRect(const RECT& rc) const { return Combine(Region(rc), RGN_AND); }
  bool operator==(const Region& other) const;

 private:
  std::vector<RECT> rects_;
};

Region PolygonRegion(const POINT* pts, int count, int fillMode);
Region EllipseRegion(int left, int top, int right, int bottom);
Region RoundRectRegion(int left, int top, int right, int bottom, int width, int height);

// ---------------------------------------------------------------------------------------------------------------
// Pixel surfaces: 32-bit 0x00RRGGBB images (Cairo RGB24).
// ---------------------------------------------------------------------------------------------------------------
struct Surface {
  Surface(int width, int height);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  cairo_surface_t* cs = nullptr;
  int width = 0;
  int height = 0;
  // Damage since the window system last composed this surface onto the screen (surface coordinates).
  bool damaged = false;
  RECT damage{0, 0, 0, 0};
  // Damage since the display last sent this surface to its window on the screen.
  bool shownDamaged = false;
  RECT shownDamage{0, 0, 0, 0};

  uint32_t* Row(int y);
  void AddDamage(const RECT& rc);
  void Fill(uint32_t pixel);
};
using SurfacePtr = std::shared_ptr<Surface>;

inline uint32_t ToPixel(COLORREF c) {
  return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}
inline COLORREF ToColorRef(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// ---------------------------------------------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------------------------------------------
enum class ObjKind { Pen, Brush, Font, Bitmap, Region, Palette, Icon };

struct Object {
  explicit Object(ObjKind k) : kind(k) {}
  virtual ~Object() = default;
  ObjKind kind;
  bool stock = false;
};
using ObjectPtr = std::shared_ptr<Object>;

struct PenObj : Object {
  PenObj() : Object(ObjKind::Pen) {}
  UINT style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
  bool dcPen = false;  // the DC_PEN stock pen: colour from the DC
};

struct BitmapObj;
struct BrushObj : Object {
  BrushObj() : Object(ObjKind::Brush) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
  int hatch = 0;
  std::shared_ptr<BitmapObj> pattern;
  bool dcBrush = false;  // the DC_BRUSH stock brush: colour from the DC
};

struct FontObj : Object {
  FontObj() : Object(ObjKind::Font) {}
  LOGFONTA lf{};
};

struct BitmapObj : Object {
  BitmapObj() : Object(ObjKind::Bitmap) {}
  ~BitmapObj() override;
  SurfacePtr surface;
  int bpp = 32;  // reported depth: 1 for monochrome, 32 for screen-compatible, the DIB's depth for DIB sections
  // DIB sections keep their bits in the DIB layout, in memory the caller writes to directly.
  bool dib = false;
  BITMAPINFOHEADER bih{};
  std::vector<RGBQUAD> colors;
  DWORD masks[3] = {0, 0, 0};
  BYTE* bits = nullptr;
  size_t bitsSize = 0;
  int Stride() const;  // bytes per DIB row
  void SyncFromBits();  // DIB bits -> surface (before the surface is read)
  void SyncToBits();    // surface -> DIB bits (after the surface was written)
  void Normalize();     // monochrome bitmaps keep only black and white
  int width() const { return surface ? surface->width : 0; }
  int height() const { return surface ? surface->height : 0; }
};
using BitmapPtr = std::shared_ptr<BitmapObj>;

struct RegionObj : Object {
  RegionObj() : Object(ObjKind::Region) {}
  Region rgn;
};

struct PaletteObj : Object {
  PaletteObj() : Object(ObjKind::Palette) {}
  std::vector<PALETTEENTRY> entries;
};

struct IconObj : Object {
  IconObj() : Object(ObjKind::Icon) {}
  ~IconObj() override;
  cairo_surface_t* image = nullptr;  // ARGB32, premultiplied
  int width = 0;
  int height = 0;
  bool isIcon = true;
  int xHot = 0;
  int yHot = 0;
  bool shared = false;  // standard icons and cursors: DestroyIcon leaves them alone
};

// Handle table. Handles of objects and DCs come from one counter and are never reused.
uintptr_t NewHandleValue();
HGDIOBJ AddObject(ObjectPtr obj);
ObjectPtr GetObjectPtr(HGDIOBJ h);
template <typename T>
std::shared_ptr<T> Get(HGDIOBJ h, ObjKind kind) {
  ObjectPtr p = GetObjectPtr(h);
  if (!p || p->kind != kind) return nullptr;
  return std::static_pointer_cast<T>(p);
}
bool RemoveObject(HGDIOBJ h);
std::shared_ptr<IconObj> GetIcon(HICON h);
BitmapPtr GetBitmap(HBITMAP h);
// Makes a bitmap object of a size and depth, white for monochrome, black otherwise.
BitmapPtr NewBitmap(int width, int height, int bpp);

// ---------------------------------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------------------------------
enum class DcKind { Window, Memory, Screen, Info };

struct DcState {
  std::shared_ptr<PenObj> pen;
  std::shared_ptr<BrushObj> brush;
  std::shared_ptr<FontObj> font;
  std::shared_ptr<PaletteObj> palette;
  BitmapPtr bitmap;
  HGDIOBJ penH = nullptr, brushH = nullptr, fontH = nullptr, paletteH = nullptr, bitmapH = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  UINT textAlign = TA_LEFT | TA_TOP;
  int stretchMode = BLACKONWHITE;
  int polyFill = ALTERNATE;
  COLORREF dcBrushColor = RGB(255, 255, 255);
  COLORREF dcPenColor = RGB(0, 0, 0);
  POINT brushOrg{0, 0};
  int charExtra = 0;
  int mapMode = MM_TEXT;
  POINT vpOrg{0, 0};
  POINT winOrg{0, 0};
  SIZE vpExt{1, 1};
  SIZE winExt{1, 1};
  POINT curPos{0, 0};
  std::optional<Region> clip;  // device coordinates
};

struct Dc {
  HDC handle = nullptr;
  DcKind kind = DcKind::Memory;
  SurfacePtr surface;    // where pixels go (the selected bitmap's surface for memory DCs)
  POINT origin{0, 0};    // device (0,0) in surface coordinates
  Region visible;        // what the DC may touch, in surface coordinates
  HWND hwnd = nullptr;   // the window of a window DC
  bool windowDc = false; // covers the whole window (GetWindowDC) rather than the client area
  DcState st;
  std::vector<DcState> saved;

  // Effective clip in surface coordinates.
  Region Clip() const;
  // Logical -> device -> surface.
  POINT ToDevice(int x, int y) const;
  POINT ToSurface(int x, int y) const {
    POINT p = ToDevice(x, y);
    return POINT{p.x + origin.x, p.y + origin.y};
  }
  RECT ToSurfaceRect(const RECT& rc) const;
  POINT ToLogical(int dx, int dy) const;  // device -> logical
  double ScaleX() const;
  double ScaleY() const;
  // The surface bitmap, when the DC draws into a bitmap (memory DCs), for DIB syncing.
  BitmapObj* TargetBitmap() const { return kind == DcKind::Memory ? st.bitmap.get() : nullptr; }
};
using DcPtr = std::shared_ptr<Dc>;

DcPtr GetDc(HDC h);
// A point attribute of a DC (origins, current position): set with the old value returned, read, or offset.
BOOL SetDcPoint(HDC h, POINT DcState::*field, POINT value, LPPOINT old);
BOOL GetDcPoint(HDC h, POINT DcState::*field, LPPOINT out);
BOOL OffsetDcPoint(HDC h, POINT DcState::*field, int dx, int dy, LPPOINT old);
// Makes a DC drawing into a surface. The window system sets origin, visible region and window.
HDC CreateSurfaceDc(DcKind kind, SurfacePtr surface, POINT origin, const Region& visible, HWND hwnd, bool windowDc);
// Points an existing window DC at a new surface/origin/visible region (after the window moved).
void RetargetDc(HDC h, SurfacePtr surface, POINT origin, const Region& visible);
void DeleteSurfaceDc(HDC h);
// Resets a DC's attributes and selected objects to the defaults (for DCs taken again from the window system).
void ResetDcState(Dc& dc);

// The screen's surface (the window system composes windows onto it); created on first use.
SurfacePtr ScreenSurface();
// Called before the screen's pixels are read or drawn, so that the window system can bring them up to date.
void SetScreenComposer(void (*compose)());
void ComposeScreen();

// Begin/end direct pixel access of a DC's target: syncs DIB bits and records damage.
struct PixelAccess {
  explicit PixelAccess(Dc& dc, bool write);
  ~PixelAccess();
  void Damage(const RECT& surfaceRect);  // kept within the DC's clip: nothing is drawn beyond it
  Dc& dc;
  Surface* s;
  bool write;
  bool clipKnown = false;
  RECT clipBox{0, 0, 0, 0};
};

// A Cairo context on a DC's surface, clipped to the DC's clip (use inside a PixelAccess).
struct CairoCtx {
  explicit CairoCtx(Dc& dc);
  ~CairoCtx();
  CairoCtx(const CairoCtx&) = delete;
  CairoCtx& operator=(const CairoCtx&) = delete;
  cairo_t* cr = nullptr;
  Region clip;
};
void SetSourcePixel(cairo_t* cr, uint32_t pixel);
// Fills the path of a Marlett symbol glyph in a square cell of `size` pixels at (x, y).
void MarlettPath(cairo_t* cr, unsigned ch, double x, double y, double size);

// Raster helpers.
uint32_t Rop2(int rop2, uint32_t pen, uint32_t dst);
uint32_t Rop3(DWORD rop, uint32_t pat, uint32_t src, uint32_t dst);
// A pixel of a brush at surface position (x, y); returns false when the brush leaves the pixel alone.
bool BrushPixel(const Dc& dc, const BrushObj& brush, int x, int y, uint32_t* out);
// Applies a coverage mask (bbox in surface coordinates, one byte per pixel) with a colour or a brush and ROP2.
struct Mask {
  RECT box{0, 0, 0, 0};
  std::vector<uint8_t> bits;
  int Width() const { return box.right - box.left; }
  void Init(const RECT& rc);
  void Set(int x, int y) {
    if (x >= box.left && x < box.right && y >= box.top && y < box.bottom)
      bits[static_cast<size_t>(y - box.top) * Width() + (x - box.left)] = 1;
  }
};
void ApplyMaskColor(Dc& dc, const Mask& mask, uint32_t pixel, int rop2);
void ApplyMaskBrush(Dc& dc, const Mask& mask, const BrushObj& brush, int rop2);
// Fills a surface rectangle with a brush using a ternary raster operation (PatBlt's core).
void PatBltSurface(Dc& dc, const RECT& surfaceRect, const BrushObj* brush, DWORD rop);

// Text.
struct FontMetrics {
  int height = 0, ascent = 0, descent = 0, internalLeading = 0, externalLeading = 0, aveCharWidth = 0,
      maxCharWidth = 0, weight = FW_NORMAL;
  bool italic = false, underline = false, strikeOut = false, symbol = false;
};
FontMetrics MetricsOf(const LOGFONTA& lf, double scale = 1.0);
// Advance widths of UTF-8 text with a font (pixels, device units).
int TextWidth(const LOGFONTA& lf, const char* text, size_t len, double scale = 1.0);
// The screen's resolution in dots per inch, 96 being 100 %: the window system sizes its metrics, fonts, icons and
// dialog units by it. Set by the display when it opens (96 until then).
int ScreenDpi();
void SetScreenDpi(int dpi);
// A length given at 96 dots per inch, at the screen's resolution.
int Scaled(int length);

// Resamples an icon's picture smoothly to another size.
void ResizeIcon(HICON icon, int cx, int cy);
// Draws a bitmap into a rectangle: copied pixel for pixel at its own size, else resampled smoothly.
BOOL DrawBitmapSmooth(HDC hdc, int x, int y, int cx, int cy, HBITMAP bitmap);

// Glyphs of UTF-8 text that no installed font has (drawn as boxes), after fallback.
int UnknownGlyphs(const LOGFONTA& lf, const char* text, size_t len);
// The byte offset of the next/previous place a caret may stand in UTF-8 text: between graphemes, so that an
// accent typed as a combining mark moves with its letter.
size_t NextCursorPos(const char* text, size_t len, size_t i);
size_t PrevCursorPos(const char* text, size_t len, size_t i);
// Where a caret before byte `index` stands, in pixels from the start of the line drawn from `text`, or -1 when
// the text holds no right-to-left character (then the widths of what comes before tell it).
int RightToLeftCaretX(const LOGFONTA& lf, const char* text, size_t len, size_t index);
// Every such offset of the text, in order, its start and end included.
std::vector<size_t> CursorStops(const char* text, size_t len);
// The DC's current font (the stock default when none is selected).
LOGFONTA CurrentFont(const Dc& dc);
// A font's description; the stock fonts' sizes follow the screen's scale.
LOGFONTA FontOf(const FontObj& font);
// Default GUI font description ("MS Shell Dlg", 8 points).
LOGFONTA DefaultGuiFont();

// Copies text into a caller's buffer of `size` bytes, cut to fit and terminated; returns the bytes copied.
int CopyText(const std::string& text, char* buffer, int size);

// PNG.
bool WritePng(Surface& s, const RECT& area, const char* path);

// System colours as pixels.
uint32_t SysPixel(int index);

}  // namespace kx::gdi
