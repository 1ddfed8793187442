// Bitmaps and DIBs (1/4/8/16/24/32 bits), icons, DrawState, PNG output.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/gdi/internal.h"

namespace kx::gdi {

namespace {

int DibStride(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

int ColorCount(const BITMAPINFOHEADER& h) {
  if (h.biBitCount > 8) return (h.biCompression == BI_BITFIELDS) ? 0 : static_cast<int>(std::min<DWORD>(h.biClrUsed, 256));
  int max = 1 << h.biBitCount;
  return h.biClrUsed ? static_cast<int>(std::min<DWORD>(h.biClrUsed, static_cast<DWORD>(max))) : max;
}

bool ValidHeader(const BITMAPINFOHEADER& h) {
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0) return false;
  if (h.biWidth > 32768 || std::abs(h.biHeight) > 32768) return false;
  switch (h.biBitCount) {
    case 1: case 4: case 8: case 24:
      return h.biCompression == BI_RGB;
    case 16: case 32:
      return h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    default:
      return false;
  }
}

// The colour table of a DIB as pixels (DIB_PAL_COLORS entries index the DC's palette).
std::vector<uint32_t> Table(const BITMAPINFO* bmi, UINT usage, const Dc* dc) {
  std::vector<uint32_t> t;
  int n = ColorCount(bmi->bmiHeader);
  const BYTE* p = reinterpret_cast<const BYTE*>(bmi) + bmi->bmiHeader.biSize;
  for (int i = 0; i < n; ++i) {
    if (usage == DIB_PAL_COLORS) {
      WORD idx;
      std::memcpy(&idx, p + i * 2, 2);
      uint32_t v = 0;
      if (dc && dc->st.palette && idx < dc->st.palette->entries.size()) {
        const auto& e = dc->st.palette->entries[idx];
        v = (static_cast<uint32_t>(e.peRed) << 16) | (e.peGreen << 8) | e.peBlue;
      }
      t.push_back(v);
    } else {
      RGBQUAD q;
      std::memcpy(&q, p + i * 4, 4);
      t.push_back((static_cast<uint32_t>(q.rgbRed) << 16) | (q.rgbGreen << 8) | q.rgbBlue);
    }
  }
  return t;
}

void Masks(const BITMAPINFOHEADER& h, const BITMAPINFO* bmi, DWORD m[3]) {
  if (h.biCompression == BI_BITFIELDS && bmi) {
    std::memcpy(m, reinterpret_cast<const BYTE*>(bmi) + h.biSize, 12);
  } else if (h.biBitCount == 16) {
    m[0] = 0x7C00; m[1] = 0x03E0; m[2] = 0x001F;
  } else {
    m[0] = 0xFF0000; m[1] = 0x00FF00; m[2] = 0x0000FF;
  }
}

// Position and width of a colour mask's bits; false unless the mask is one run of set bits. Both loops stay
// inside the 32 bits: a shift by 32 is undefined (and on x86 a shift by 0, so an all-ones mask never ended).
bool MaskBits(DWORD mask, int* shift, int* bits) {
  *shift = 0;
  *bits = 0;
  if (!mask) return false;
  while (*shift < 32 && !((mask >> *shift) & 1)) ++*shift;
  while (*shift + *bits < 32 && ((mask >> (*shift + *bits)) & 1)) ++*bits;
  return *shift + *bits == 32 || !(mask >> (*shift + *bits));
}

// A BI_BITFIELDS header's three masks must each be one run of bits; other headers have fixed masks.
bool ValidMasks(const BITMAPINFOHEADER& h, const BITMAPINFO* bmi) {
  if (h.biCompression != BI_BITFIELDS) return true;
  DWORD m[3];
  Masks(h, bmi, m);
  int shift, bits;
  for (DWORD mask : m)
    if (!MaskBits(mask, &shift, &bits)) return false;
  return true;
}

bool ValidInfo(const BITMAPINFO* bmi) { return bmi && ValidHeader(bmi->bmiHeader) && ValidMasks(bmi->bmiHeader, bmi); }

uint32_t FromMask(DWORD v, DWORD mask) {
  int shift, bits;
  if (!MaskBits(mask, &shift, &bits)) return 0;
  DWORD c = (v & mask) >> shift;
  if (bits >= 8) return (c >> (bits - 8)) & 0xFF;
  return (c * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1);
}

uint32_t ToMask(uint32_t c8, DWORD mask) {
  int shift, bits;
  if (!MaskBits(mask, &shift, &bits)) return 0;
  DWORD c = bits >= 8 ? (c8 << (bits - 8)) : (c8 >> (8 - bits));
  return (c << shift) & mask;
}

// Reads row `row` (0 = first row in memory) of a DIB into pixels.
void DecodeRow(const BYTE* src, int width, int bpp, const std::vector<uint32_t>& table, const DWORD masks[3],
               uint32_t* out) {
  for (int x = 0; x < width; ++x) {
    uint32_t v = 0;
    switch (bpp) {
      case 1: {
        int idx = (src[x >> 3] >> (7 - (x & 7))) & 1;
        v = idx < static_cast<int>(table.size()) ? table[static_cast<size_t>(idx)] : (idx ? 0xFFFFFF : 0);
        break;
      }
      case 4: {
        int idx = (x & 1) ? (src[x >> 1] & 0xF) : (src[x >> 1] >> 4);
        v = idx < static_cast<int>(table.size()) ? table[static_cast<size_t>(idx)] : 0;
        break;
      }
      case 8: {
        int idx = src[x];
        v = idx < static_cast<int>(table.size()) ? table[static_cast<size_t>(idx)] : 0;
        break;
      }
      case 16: {
        WORD w;
        std::memcpy(&w, src + x * 2, 2);
        v = (FromMask(w, masks[0]) << 16) | (FromMask(w, masks[1]) << 8) | FromMask(w, masks[2]);
        break;
      }
      case 24:
        v = (static_cast<uint32_t>(src[x * 3 + 2]) << 16) | (src[x * 3 + 1] << 8) | src[x * 3];
        break;
      case 32: {
        DWORD d;
        std::memcpy(&d, src + x * 4, 4);
        v = (FromMask(d, masks[0]) << 16) | (FromMask(d, masks[1]) << 8) | FromMask(d, masks[2]);
        break;
      }
    }
    out[x] = v;
  }
}

int Nearest(const std::vector<uint32_t>& table, uint32_t v) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < table.size(); ++i) {
    long dr = static_cast<long>((table[i] >> 16) & 0xFF) - ((v >> 16) & 0xFF);
    long dg = static_cast<long>((table[i] >> 8) & 0xFF) - ((v >> 8) & 0xFF);
    long db = static_cast<long>(table[i] & 0xFF) - (v & 0xFF);
    long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

void EncodeRow(const uint32_t* in, int width, int bpp, const std::vector<uint32_t>& table, const DWORD masks[3],
               BYTE* dst) {
  std::vector<int> cacheKeys;
  int stride = DibStride(width, bpp);
  std::memset(dst, 0, static_cast<size_t>(stride));
  uint32_t lastV = 0xFFFFFFFF;
  int lastIdx = 0;
  for (int x = 0; x < width; ++x) {
    uint32_t v = in[x] & 0xFFFFFF;
    switch (bpp) {
      case 1: case 4: case 8: {
        int idx = v == lastV ? lastIdx : Nearest(table, v);
        lastV = v;
        lastIdx = idx;
        if (bpp == 1) dst[x >> 3] |= static_cast<BYTE>((idx & 1) << (7 - (x & 7)));
        else if (bpp == 4) dst[x >> 1] |= static_cast<BYTE>((x & 1) ? (idx & 0xF) : ((idx & 0xF) << 4));
        else dst[x] = static_cast<BYTE>(idx);
        break;
      }
      case 16: {
        WORD w = static_cast<WORD>(ToMask((v >> 16) & 0xFF, masks[0]) | ToMask((v >> 8) & 0xFF, masks[1]) |
                                   ToMask(v & 0xFF, masks[2]));
        std::memcpy(dst + x * 2, &w, 2);
        break;
      }
      case 24:
        dst[x * 3] = static_cast<BYTE>(v & 0xFF);
        dst[x * 3 + 1] = static_cast<BYTE>((v >> 8) & 0xFF);
        dst[x * 3 + 2] = static_cast<BYTE>((v >> 16) & 0xFF);
        break;
      case 32: {
        DWORD d = ToMask((v >> 16) & 0xFF, masks[0]) | ToMask((v >> 8) & 0xFF, masks[1]) | ToMask(v & 0xFF, masks[2]);
        std::memcpy(dst + x * 4, &d, 4);
        break;
      }
    }
  }
}

// Default colour tables when a DIB is read from a device bitmap.
std::vector<uint32_t> DefaultTable(int bpp, const Dc* dc) {
  std::vector<uint32_t> t;
  if (bpp == 1) return {0x000000, 0xFFFFFF};
  if (dc && dc->st.palette && !dc->st.palette->stock) {
    for (const auto& e : dc->st.palette->entries)
      t.push_back((static_cast<uint32_t>(e.peRed) << 16) | (e.peGreen << 8) | e.peBlue);
    t.resize(static_cast<size_t>(1 << bpp), 0);
    return t;
  }
  if (bpp == 4) {
    static const uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                     0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    return std::vector<uint32_t>(vga, vga + 16);
  }
  // 8 bits: the system palette.
  PALETTEENTRY pe[256];
  HDC screen = CreateDC("DISPLAY", nullptr, nullptr, nullptr);
  GetSystemPaletteEntries(screen, 0, 256, pe);
  DeleteDC(screen);
  for (auto& e : pe) t.push_back((static_cast<uint32_t>(e.peRed) << 16) | (e.peGreen << 8) | e.peBlue);
  return t;
}

// Decodes a whole DIB into top-down pixels.
bool DecodeDib(const BITMAPINFO* bmi, const void* bits, UINT usage, const Dc* dc, std::vector<uint32_t>* out,
               int* w, int* h) {
  if (!bits || !ValidInfo(bmi)) return false;
  const BITMAPINFOHEADER& hd = bmi->bmiHeader;
  *w = hd.biWidth;
  *h = std::abs(hd.biHeight);
  auto table = Table(bmi, usage, dc);
  DWORD masks[3];
  Masks(hd, bmi, masks);
  int stride = DibStride(*w, hd.biBitCount);
  out->assign(static_cast<size_t>(*w) * *h, 0);
  const BYTE* src = static_cast<const BYTE*>(bits);
  for (int row = 0; row < *h; ++row) {
    int y = hd.biHeight > 0 ? *h - 1 - row : row;
    DecodeRow(src + static_cast<size_t>(row) * stride, *w, hd.biBitCount, table, masks,
              out->data() + static_cast<size_t>(y) * *w);
  }
  return true;
}

}  // namespace

BitmapObj::~BitmapObj() { std::free(bits); }

int BitmapObj::Stride() const { return DibStride(width(), dib ? bih.biBitCount : bpp); }

void BitmapObj::SyncFromBits() {
  if (!dib || !bits || !surface) return;
  cairo_surface_flush(surface->cs);
  std::vector<uint32_t> table;
  for (const RGBQUAD& q : colors) table.push_back((static_cast<uint32_t>(q.rgbRed) << 16) | (q.rgbGreen << 8) | q.rgbBlue);
  int w = width(), h = height();
  int stride = Stride();
  for (int row = 0; row < h; ++row) {
    int y = bih.biHeight > 0 ? h - 1 - row : row;
    DecodeRow(bits + static_cast<size_t>(row) * stride, w, bih.biBitCount, table, masks, surface->Row(y));
  }
  cairo_surface_mark_dirty(surface->cs);
}

void BitmapObj::SyncToBits() {
  if (!dib || !bits || !surface) return;
  cairo_surface_flush(surface->cs);
  std::vector<uint32_t> table;
  for (const RGBQUAD& q : colors) table.push_back((static_cast<uint32_t>(q.rgbRed) << 16) | (q.rgbGreen << 8) | q.rgbBlue);
  int w = width(), h = height(), stride = Stride();
  for (int row = 0; row < h; ++row) {
    int y = bih.biHeight > 0 ? h - 1 - row : row;
    BYTE* dst = bits + static_cast<size_t>(row) * stride;
    if (bih.biBitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF) {
      // Keep the alpha bytes the caller wrote; GDI drawing leaves them alone.
      const uint32_t* src = surface->Row(y);
      for (int x = 0; x < w; ++x) {
        dst[x * 4] = static_cast<BYTE>(src[x] & 0xFF);
        dst[x * 4 + 1] = static_cast<BYTE>((src[x] >> 8) & 0xFF);
        dst[x * 4 + 2] = static_cast<BYTE>((src[x] >> 16) & 0xFF);
      }
      continue;
    }
    EncodeRow(surface->Row(y), w, bih.biBitCount, table, masks, dst);
  }
}

void BitmapObj::Normalize() {
  if (bpp != 1 || !surface) return;
  cairo_surface_flush(surface->cs);
  for (int y = 0; y < height(); ++y) {
    uint32_t* row = surface->Row(y);
    for (int x = 0; x < width(); ++x) {
      uint32_t v = row[x];
      int lum = (((v >> 16) & 0xFF) + ((v >> 8) & 0xFF) + (v & 0xFF)) / 3;
      row[x] = lum >= 128 ? 0xFFFFFF : 0;
    }
  }
  cairo_surface_mark_dirty(surface->cs);
}

bool WritePng(Surface& s, const RECT& area, const char* path) {
  RECT r{std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0), std::min<LONG>(area.right, s.width),
         std::min<LONG>(area.bottom, s.height)};
  if (!path || r.right <= r.left || r.bottom <= r.top) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  cairo_surface_flush(s.cs);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  unsigned char* data = cairo_image_surface_get_data(out);
  int stride = cairo_image_surface_get_stride(out);
  for (int y = 0; y < h; ++y) {
    uint32_t* dst = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y);
    const uint32_t* src = s.Row(r.top + y) + r.left;
    for (int x = 0; x < w; ++x) dst[x] = src[x] | 0xFF000000;
  }
  cairo_surface_mark_dirty(out);
  // Written beside the target and renamed, so that no half-written file is left behind.
  std::string tmp = std::string(path) + ".part";
  cairo_status_t st = cairo_surface_write_to_png(out, tmp.c_str());
  cairo_surface_destroy(out);
  if (st != CAIRO_STATUS_SUCCESS) {
    unlink(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

namespace {

HBITMAP NewDib(const BITMAPINFO* bmi, UINT usage, const Dc* dc, void** bitsOut) {
  if (!ValidInfo(bmi)) return nullptr;
  const BITMAPINFOHEADER& h = bmi->bmiHeader;
  auto b = std::make_shared<BitmapObj>();
  b->dib = true;
  b->bih = h;
  b->bih.biSize = sizeof(BITMAPINFOHEADER);
  b->bpp = h.biBitCount;
  b->surface = std::make_shared<Surface>(h.biWidth, std::abs(h.biHeight));
  Masks(h, bmi, b->masks);
  for (uint32_t v : Table(bmi, usage, dc))
    b->colors.push_back(RGBQUAD{static_cast<BYTE>(v & 0xFF), static_cast<BYTE>((v >> 8) & 0xFF),
                                static_cast<BYTE>((v >> 16) & 0xFF), 0});
  b->bitsSize = static_cast<size_t>(DibStride(h.biWidth, h.biBitCount)) * std::abs(h.biHeight);
  b->bih.biSizeImage = static_cast<DWORD>(b->bitsSize);
  b->bits = static_cast<BYTE*>(std::calloc(b->bitsSize ? b->bitsSize : 1, 1));
  if (!b->bits) return nullptr;
  if (bitsOut) *bitsOut = b->bits;
  return static_cast<HBITMAP>(AddObject(b));
}

// A temporary memory DC holding decoded DIB pixels.
struct TempDc {
  HDC hdc = nullptr;
  HBITMAP bmp = nullptr;
  ~TempDc() {
    if (hdc) DeleteDC(hdc);
    if (bmp) DeleteObject(bmp);
  }
};

bool MakeTemp(TempDc& t, const std::vector<uint32_t>& px, int w, int h) {
  auto b = NewBitmap(w, h, 32);
  cairo_surface_flush(b->surface->cs);
  for (int y = 0; y < h; ++y) std::memcpy(b->surface->Row(y), px.data() + static_cast<size_t>(y) * w, static_cast<size_t>(w) * 4);
  cairo_surface_mark_dirty(b->surface->cs);
  t.bmp = static_cast<HBITMAP>(AddObject(b));
  t.hdc = CreateCompatibleDC(nullptr);
  SelectObject(t.hdc, t.bmp);
  return true;
}

}  // namespace

}  // namespace kx::gdi

using namespace kx::gdi;

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bpp, const void* bits) {
  if (width < 0 || height < 0 || planes != 1) return nullptr;
  if (width == 0 || height == 0) { width = 1; height = 1; bpp = 1; }
  int depth = bpp == 1 ? 1 : 32;
  auto b = NewBitmap(width, height, depth);
  if (bits) {
    const BYTE* src = static_cast<const BYTE*>(bits);
    cairo_surface_flush(b->surface->cs);
    if (depth == 1) {
      int stride = ((width + 15) / 16) * 2;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          b->surface->Row(y)[x] = ((src[y * stride + (x >> 3)] >> (7 - (x & 7))) & 1) ? 0xFFFFFF : 0;
    } else if (bpp == 32 || bpp == 24) {
      int bytes = static_cast<int>(bpp / 8);
      int stride = ((width * bytes + 1) / 2) * 2;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          const BYTE* p = src + y * stride + x * bytes;
          b->surface->Row(y)[x] = (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
        }
    }
    cairo_surface_mark_dirty(b->surface->cs);
  }
  return static_cast<HBITMAP>(AddObject(b));
}

HBITMAP CreateBitmapIndirect(const BITMAP* bm) {
  if (!bm) return nullptr;
  return CreateBitmap(bm->bmWidth, bm->bmHeight, bm->bmPlanes, bm->bmBitsPixel, bm->bmBits);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  DcPtr dc = GetDc(hdc);
  if (width < 0 || height < 0) return nullptr;
  bool mono = dc && dc->kind == DcKind::Memory && dc->st.bitmap && dc->st.bitmap->bpp == 1;
  if (width == 0 || height == 0) return CreateBitmap(1, 1, 1, 1, nullptr);
  auto b = NewBitmap(width, height, mono ? 1 : 32);
  if (!mono) b->surface->Fill(0);
  return static_cast<HBITMAP>(AddObject(b));
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE, DWORD) {
  DcPtr dc = GetDc(hdc);
  if (bits) *bits = nullptr;
  HBITMAP h = NewDib(bmi, usage, dc.get(), bits);
  if (h) GetBitmap(h)->SyncFromBits();
  return h;
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* bmi,
                       UINT usage) {
  if (!header || header->biWidth <= 0 || header->biHeight == 0) return nullptr;
  HBITMAP h = CreateCompatibleBitmap(hdc, header->biWidth, std::abs(header->biHeight));
  if (h && (init & CBM_INIT) && bits && bmi) SetDIBits(hdc, h, 0, static_cast<UINT>(std::abs(header->biHeight)), bits, bmi, usage);
  return h;
}

int SetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage) {
  BitmapPtr b = GetBitmap(bitmap);
  DcPtr dc = GetDc(hdc);
  if (!b || !bits || !ValidInfo(bmi)) return 0;
  const BITMAPINFOHEADER& hd = bmi->bmiHeader;
  auto table = Table(bmi, usage, dc.get());
  DWORD masks[3];
  Masks(hd, bmi, masks);
  int w = std::min<int>(hd.biWidth, b->width());
  int h = std::abs(hd.biHeight);
  int stride = DibStride(hd.biWidth, hd.biBitCount);
  std::vector<uint32_t> row(static_cast<size_t>(hd.biWidth));
  b->SyncFromBits();
  cairo_surface_flush(b->surface->cs);
  int done = 0;
  const BYTE* src = static_cast<const BYTE*>(bits);
  for (UINT i = 0; i < lines; ++i) {
    int scan = static_cast<int>(start + i);  // scan 0 is the bottom row of a bottom-up DIB
    if (scan >= h) break;
    int y = hd.biHeight > 0 ? h - 1 - scan : scan;
    if (y < 0 || y >= b->height()) continue;
    DecodeRow(src + static_cast<size_t>(i) * stride, hd.biWidth, hd.biBitCount, table, masks, row.data());
    std::memcpy(b->surface->Row(y), row.data(), static_cast<size_t>(w) * 4);
    ++done;
  }
  cairo_surface_mark_dirty(b->surface->cs);
  b->Normalize();
  b->SyncToBits();
  return done;
}

int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi, UINT usage) {
  BitmapPtr b = GetBitmap(bitmap);
  DcPtr dc = GetDc(hdc);
  if (!b || !bmi || !dc) return 0;
  BITMAPINFOHEADER& hd = bmi->bmiHeader;
  if (hd.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  int w = b->width(), h = b->height();
  if (!bits && hd.biBitCount == 0) {
    // Describe the bitmap.
    hd.biWidth = w;
    hd.biHeight = h;
    hd.biPlanes = 1;
    hd.biBitCount = static_cast<WORD>(b->dib ? b->bih.biBitCount : b->bpp);
    hd.biCompression = BI_RGB;
    hd.biSizeImage = static_cast<DWORD>(DibStride(w, hd.biBitCount) * h);
    hd.biClrUsed = 0;
    return 1;
  }
  if (hd.biBitCount != 1 && hd.biBitCount != 4 && hd.biBitCount != 8 && hd.biBitCount != 16 && hd.biBitCount != 24 &&
      hd.biBitCount != 32)
    return 0;
  if (hd.biWidth <= 0) hd.biWidth = w;
  if (hd.biHeight == 0) hd.biHeight = h;
  int bpp = hd.biBitCount;
  hd.biSizeImage = static_cast<DWORD>(DibStride(hd.biWidth, bpp) * std::abs(hd.biHeight));
  std::vector<uint32_t> table;
  if (bpp <= 8) {
    if (b->dib && b->bih.biBitCount == bpp && !b->colors.empty()) {
      for (const RGBQUAD& q : b->colors) table.push_back((static_cast<uint32_t>(q.rgbRed) << 16) | (q.rgbGreen << 8) | q.rgbBlue);
    } else {
      table = DefaultTable(bpp, dc.get());
    }
    table.resize(static_cast<size_t>(1 << bpp), 0);
    if (usage == DIB_RGB_COLORS) {
      RGBQUAD* q = bmi->bmiColors;
      for (size_t i = 0; i < table.size(); ++i)
        q[i] = RGBQUAD{static_cast<BYTE>(table[i] & 0xFF), static_cast<BYTE>((table[i] >> 8) & 0xFF),
                       static_cast<BYTE>((table[i] >> 16) & 0xFF), 0};
    }
    hd.biClrUsed = 0;
  }
  if (!bits) return 1;
  if (!ValidMasks(hd, bmi)) return 0;
  DWORD masks[3];
  Masks(hd, bmi, masks);
  if (hd.biCompression != BI_BITFIELDS) Masks(BITMAPINFOHEADER{40, 0, 0, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0}, nullptr, masks);
  b->SyncFromBits();
  cairo_surface_flush(b->surface->cs);
  int dh = std::abs(hd.biHeight);
  int stride = DibStride(hd.biWidth, bpp);
  std::vector<uint32_t> row(static_cast<size_t>(hd.biWidth), 0);
  int done = 0;
  BYTE* dst = static_cast<BYTE*>(bits);
  for (UINT i = 0; i < lines; ++i) {
    int scan = static_cast<int>(start + i);
    if (scan >= dh) break;
    int y = hd.biHeight > 0 ? dh - 1 - scan : scan;
    std::fill(row.begin(), row.end(), 0);
    if (y >= 0 && y < h) std::memcpy(row.data(), b->surface->Row(y), static_cast<size_t>(std::min(w, static_cast<int>(hd.biWidth))) * 4);
    EncodeRow(row.data(), hd.biWidth, bpp, table, masks, dst + static_cast<size_t>(i) * stride);
    ++done;
  }
  return done;
}

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                      UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !bits || !ValidInfo(bmi)) return 0;
  const BITMAPINFOHEADER& hd = bmi->bmiHeader;
  int w = hd.biWidth, h = std::abs(hd.biHeight);
  // Only the supplied scan lines are known; build a full-height picture from them.
  std::vector<uint32_t> px(static_cast<size_t>(w) * h, 0);
  auto table = Table(bmi, usage, dc.get());
  DWORD masks[3];
  Masks(hd, bmi, masks);
  int stride = DibStride(w, hd.biBitCount);
  std::vector<bool> known(static_cast<size_t>(h), false);
  for (UINT i = 0; i < lines; ++i) {
    int scan = static_cast<int>(startScan + i);
    if (scan >= h) break;
    int y = hd.biHeight > 0 ? h - 1 - scan : scan;
    DecodeRow(static_cast<const BYTE*>(bits) + static_cast<size_t>(i) * stride, w, hd.biBitCount, table, masks,
              px.data() + static_cast<size_t>(y) * w);
    known[static_cast<size_t>(y)] = true;
  }
  // Bottom-up DIBs measure the source rectangle from the lower-left corner.
  int top = hd.biHeight > 0 ? h - (ySrc + static_cast<int>(height)) : ySrc;
  TempDc t;
  MakeTemp(t, px, w, h);
  int drawn = 0;
  for (DWORD r = 0; r < height; ++r) {
    int sy = top + static_cast<int>(r);
    if (sy < 0 || sy >= h || !known[static_cast<size_t>(sy)]) continue;
    BitBlt(hdc, xDest, yDest + static_cast<int>(r), static_cast<int>(width), 1, t.hdc, xSrc, sy, SRCCOPY);
    ++drawn;
  }
  return drawn ? static_cast<int>(lines) : 0;
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop) {
  DcPtr dc = GetDc(hdc);
  std::vector<uint32_t> px;
  int w, h;
  if (!dc || !DecodeDib(bmi, bits, usage, dc.get(), &px, &w, &h)) return 0;
  int top = bmi->bmiHeader.biHeight > 0 ? h - (ySrc + srcHeight) : ySrc;
  TempDc t;
  MakeTemp(t, px, w, h);
  if (!StretchBlt(hdc, xDest, yDest, destWidth, destHeight, t.hdc, xSrc, top, srcWidth, srcHeight, rop)) return 0;
  return std::abs(srcHeight);
}

LONG GetBitmapBits(HBITMAP bitmap, LONG size, LPVOID bits) {
  BitmapPtr b = GetBitmap(bitmap);
  if (!b || !bits || size <= 0) return 0;
  b->SyncFromBits();
  cairo_surface_flush(b->surface->cs);
  int w = b->width(), h = b->height();
  BYTE* dst = static_cast<BYTE*>(bits);
  LONG n = 0;
  if (b->bpp == 1) {
    int stride = ((w + 15) / 16) * 2;
    for (int y = 0; y < h && (y + 1) * stride <= size; ++y) {
      std::memset(dst + y * stride, 0, static_cast<size_t>(stride));
      for (int x = 0; x < w; ++x)
        if (b->surface->Row(y)[x] & 0xFFFFFF) dst[y * stride + (x >> 3)] |= static_cast<BYTE>(1 << (7 - (x & 7)));
      n += stride;
    }
    return n;
  }
  for (int y = 0; y < h && (y + 1) * w * 4 <= size; ++y) {
    std::memcpy(dst + static_cast<size_t>(y) * w * 4, b->surface->Row(y), static_cast<size_t>(w) * 4);
    n += w * 4;
  }
  return n;
}

LONG SetBitmapBits(HBITMAP bitmap, DWORD size, const void* bits) {
  BitmapPtr b = GetBitmap(bitmap);
  if (!b || !bits) return 0;
  cairo_surface_flush(b->surface->cs);
  int w = b->width(), h = b->height();
  const BYTE* src = static_cast<const BYTE*>(bits);
  LONG n = 0;
  if (b->bpp == 1) {
    int stride = ((w + 15) / 16) * 2;
    for (int y = 0; y < h && static_cast<DWORD>((y + 1) * stride) <= size; ++y) {
      for (int x = 0; x < w; ++x)
        b->surface->Row(y)[x] = ((src[y * stride + (x >> 3)] >> (7 - (x & 7))) & 1) ? 0xFFFFFF : 0;
      n += stride;
    }
  } else {
    for (int y = 0; y < h && static_cast<DWORD>((y + 1) * w * 4) <= size; ++y) {
      const uint32_t* s = reinterpret_cast<const uint32_t*>(src + static_cast<size_t>(y) * w * 4);
      for (int x = 0; x < w; ++x) b->surface->Row(y)[x] = s[x] & 0xFFFFFF;
      n += w * 4;
    }
  }
  cairo_surface_mark_dirty(b->surface->cs);
  b->SyncToBits();
  return n;
}

bool kx::SaveBitmapPng(HBITMAP bitmap, const char* path) {
  BitmapPtr b = GetBitmap(bitmap);
  if (!b) return false;
  b->SyncFromBits();
  return WritePng(*b->surface, RECT{0, 0, b->width(), b->height()}, path);
}

HBITMAP kx::CreateBitmapFromBmpFile(const void* data, size_t size) {
  const BYTE* p = static_cast<const BYTE*>(data);
  if (!p || size < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return nullptr;
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, p, sizeof fh);
  if (fh.bfType != 0x4D42) return nullptr;
  BITMAPINFOHEADER ih;
  std::memcpy(&ih, p + sizeof fh, sizeof ih);
  if (!ValidHeader(ih) || ih.biSize > size - sizeof fh) return nullptr;
  size_t tableBytes = static_cast<size_t>(ColorCount(ih)) * 4 + (ih.biCompression == BI_BITFIELDS ? 12 : 0);
  size_t infoEnd = sizeof fh + ih.biSize + tableBytes;
  size_t bitsBytes = static_cast<size_t>(DibStride(ih.biWidth, ih.biBitCount)) * std::abs(ih.biHeight);
  if (fh.bfOffBits < infoEnd || fh.bfOffBits > size || size - fh.bfOffBits < bitsBytes || infoEnd > size) return nullptr;
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + tableBytes);
  std::memcpy(info.data(), &ih, sizeof ih);
  reinterpret_cast<BITMAPINFOHEADER*>(info.data())->biSize = sizeof(BITMAPINFOHEADER);
  std::memcpy(info.data() + sizeof ih, p + sizeof fh + ih.biSize, tableBytes);
  const BITMAPINFO* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
  void* bits = nullptr;
  HBITMAP h = NewDib(bmi, DIB_RGB_COLORS, nullptr, &bits);
  if (!h) return nullptr;
  std::memcpy(bits, p + fh.bfOffBits, bitsBytes);
  GetBitmap(h)->SyncFromBits();
  return h;
}

// ----- icons -----
namespace {

HICON AddIcon(std::shared_ptr<IconObj> icon) { return static_cast<HICON>(AddObject(std::move(icon))); }

std::shared_ptr<IconObj> IconFromArgb(int w, int h, const uint32_t* argb) {
  auto icon = std::make_shared<IconObj>();
  icon->width = w;
  icon->height = h;
  icon->image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(w, 1), std::max(h, 1));
  cairo_surface_flush(icon->image);
  unsigned char* data = cairo_image_surface_get_data(icon->image);
  int stride = cairo_image_surface_get_stride(icon->image);
  for (int y = 0; y < h; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y);
    for (int x = 0; x < w; ++x) {
      uint32_t v = argb[static_cast<size_t>(y) * w + x];
      uint32_t a = v >> 24;
      uint32_t r = ((v >> 16) & 0xFF) * a / 255, g = ((v >> 8) & 0xFF) * a / 255, b = (v & 0xFF) * a / 255;
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(icon->image);
  return icon;
}

}  // namespace

void kx::gdi::ResizeIcon(HICON h, int cx, int cy) {
  auto icon = GetIcon(h);
  if (!icon || !icon->image || cx <= 0 || cy <= 0 || icon->width <= 0 || icon->height <= 0) return;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cx, cy);
  cairo_t* cr = cairo_create(image);
  cairo_scale(cr, static_cast<double>(cx) / icon->width, static_cast<double>(cy) / icon->height);
  cairo_set_source_surface(cr, icon->image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  icon->xHot = icon->xHot * cx / icon->width;
  icon->yHot = icon->yHot * cy / icon->height;
  cairo_surface_destroy(icon->image);
  icon->image = image;
  icon->width = cx;
  icon->height = cy;
}

namespace {

// Reads pixel (x, y) of an icon as non-premultiplied ARGB.
uint32_t IconPixel(const IconObj& icon, int x, int y) {
  unsigned char* data = cairo_image_surface_get_data(icon.image);
  int stride = cairo_image_surface_get_stride(icon.image);
  uint32_t v = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y)[x];
  uint32_t a = v >> 24;
  if (a == 0) return 0;
  uint32_t r = ((v >> 16) & 0xFF) * 255 / a, g = ((v >> 8) & 0xFF) * 255 / a, b = (v & 0xFF) * 255 / a;
  return (a << 24) | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
}

}  // namespace

HICON kx::CreateIconFromArgb(int width, int height, const uint32_t* argb, bool isIcon, int xHot, int yHot) {
  if (width <= 0 || height <= 0 || !argb) return nullptr;
  auto icon = IconFromArgb(width, height, argb);
  icon->isIcon = isIcon;
  icon->xHot = xHot;
  icon->yHot = yHot;
  return AddIcon(icon);
}

HICON CreateIconIndirect(const ICONINFO* info) {
  if (!info || !info->hbmMask) return nullptr;
  BitmapPtr mask = GetBitmap(info->hbmMask);
  BitmapPtr color = info->hbmColor ? GetBitmap(info->hbmColor) : nullptr;
  if (!mask) return nullptr;
  mask->SyncFromBits();
  if (color) color->SyncFromBits();
  int w = color ? color->width() : mask->width();
  int h = color ? color->height() : mask->height() / 2;
  if (w <= 0 || h <= 0) return nullptr;
  // A 32-bit colour bitmap with any alpha carries its own transparency.
  bool alpha = false;
  if (color && color->dib && color->bih.biBitCount == 32) {
    for (size_t i = 3; i < color->bitsSize && !alpha; i += 4) alpha = color->bits[i] != 0;
  }
  std::vector<uint32_t> argb(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      bool transparent = x < mask->width() && y < mask->height() && (mask->surface->Row(y)[x] & 0xFFFFFF) != 0;
      uint32_t rgb;
      if (color) {
        rgb = color->surface->Row(y)[x] & 0xFFFFFF;
      } else {
        bool xr = y + h < mask->height() && (mask->surface->Row(y + h)[x] & 0xFFFFFF) != 0;
        rgb = xr ? 0xFFFFFF : 0;
      }
      uint32_t a = transparent ? 0 : 255;
      if (alpha) {
        int row = color->bih.biHeight > 0 ? h - 1 - y : y;
        a = color->bits[static_cast<size_t>(row) * color->Stride() + static_cast<size_t>(x) * 4 + 3];
      }
      argb[static_cast<size_t>(y) * w + x] = (a << 24) | rgb;
    }
  auto icon = IconFromArgb(w, h, argb.data());
  icon->isIcon = info->fIcon;
  icon->xHot = static_cast<int>(info->xHotspot);
  icon->yHot = static_cast<int>(info->yHotspot);
  return AddIcon(icon);
}

BOOL GetIconInfo(HICON h, PICONINFO info) {
  auto icon = GetIcon(h);
  if (!icon || !info) return FALSE;
  info->fIcon = icon->isIcon;
  info->xHotspot = static_cast<DWORD>(icon->isIcon ? icon->width / 2 : icon->xHot);
  info->yHotspot = static_cast<DWORD>(icon->isIcon ? icon->height / 2 : icon->yHot);
  auto color = NewBitmap(icon->width, icon->height, 32);
  auto mask = NewBitmap(icon->width, icon->height, 1);
  cairo_surface_flush(icon->image);
  for (int y = 0; y < icon->height; ++y)
    for (int x = 0; x < icon->width; ++x) {
      uint32_t v = IconPixel(*icon, x, y);
      bool opaque = (v >> 24) >= 128;
      color->surface->Row(y)[x] = opaque ? (v & 0xFFFFFF) : 0;
      mask->surface->Row(y)[x] = opaque ? 0 : 0xFFFFFF;
    }
  cairo_surface_mark_dirty(color->surface->cs);
  cairo_surface_mark_dirty(mask->surface->cs);
  info->hbmColor = static_cast<HBITMAP>(AddObject(color));
  info->hbmMask = static_cast<HBITMAP>(AddObject(mask));
  return TRUE;
}

HICON CopyIcon(HICON h) {
  auto icon = GetIcon(h);
  if (!icon) return nullptr;
  std::vector<uint32_t> argb(static_cast<size_t>(icon->width) * icon->height);
  cairo_surface_flush(icon->image);
  for (int y = 0; y < icon->height; ++y)
    for (int x = 0; x < icon->width; ++x) argb[static_cast<size_t>(y) * icon->width + x] = IconPixel(*icon, x, y);
  auto copy = IconFromArgb(icon->width, icon->height, argb.data());
  copy->isIcon = icon->isIcon;
  copy->xHot = icon->xHot;
  copy->yHot = icon->yHot;
  return AddIcon(copy);
}

BOOL DestroyIcon(HICON h) {
  auto icon = GetIcon(h);
  if (!icon) return FALSE;
  if (icon->shared || icon->stock) return TRUE;
  return RemoveObject(h) ? TRUE : FALSE;
}

BOOL DestroyCursor(HICON h) { return DestroyIcon(h); }

BOOL DrawIconEx(HDC hdc, int x, int y, HICON h, int cx, int cy, UINT, HBRUSH flicker, UINT flags) {
  DcPtr dc = GetDc(hdc);
  auto icon = GetIcon(h);
  if (!dc || !icon) return FALSE;
  if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? Scaled(32) : icon->width;
  if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? Scaled(32) : icon->height;
  if (!(flags & DI_NORMAL)) flags |= DI_NORMAL;
  POINT p = dc->ToSurface(x, y);
  POINT q = dc->ToSurface(x + cx, y + cy);
  double w = q.x - p.x, hh = q.y - p.y;
  if (w <= 0 || hh <= 0) return TRUE;
  if (flicker) {
    RECT rc{x, y, x + cx, y + cy};
    FillRect(hdc, &rc, flicker);
  }
  PixelAccess pa(*dc, true);
  {
    CairoCtx c(*dc);
    cairo_translate(c.cr, p.x, p.y);
    cairo_scale(c.cr, w / icon->width, hh / icon->height);
    if ((flags & DI_NORMAL) == DI_MASK) {
      cairo_set_source_rgb(c.cr, 0, 0, 0);
      cairo_mask_surface(c.cr, icon->image, 0, 0);
    } else {
      cairo_set_source_surface(c.cr, icon->image, 0, 0);
      // Enlarged (a scaled screen's) smoothly, not in blocks of pixels; at its size or smaller pixel for pixel.
      bool larger = std::lround(w) > icon->width || std::lround(hh) > icon->height;
      cairo_pattern_set_filter(cairo_get_source(c.cr), larger ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
      if ((flags & DI_NORMAL) == DI_IMAGE) cairo_set_operator(c.cr, CAIRO_OPERATOR_SOURCE);
      cairo_paint(c.cr);
    }
  }
  pa.Damage(RECT{p.x, p.y, q.x, q.y});
  return TRUE;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON h) { return DrawIconEx(hdc, x, y, h, 0, 0, 0, nullptr, DI_NORMAL); }

HICON kx::CreateIconFromIcoFile(const void* data, size_t size, int cx, int cy, bool isIcon) {
  const BYTE* p = static_cast<const BYTE*>(data);
  if (!p || size < 6) return nullptr;
  WORD reserved, type, count;
  std::memcpy(&reserved, p, 2);
  std::memcpy(&type, p + 2, 2);
  std::memcpy(&count, p + 4, 2);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0 || size < 6 + 16u * count) return nullptr;
  int best = 0;
  long bestScore = -1;
  for (int i = 0; i < count; ++i) {
    const BYTE* e = p + 6 + 16 * i;
    int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    long score = (cx == 0 && cy == 0) ? (i == 0 ? 0 : 1) : std::labs(w - cx) + std::labs(h - cy);
    WORD bits;
    std::memcpy(&bits, e + 6, 2);
    score = score * 64 + (32 - std::min<int>(bits, 32));
    if (bestScore < 0 || score < bestScore) {
      bestScore = score;
      best = i;
    }
  }
  const BYTE* e = p + 6 + 16 * best;
  WORD hotX, hotY;
  std::memcpy(&hotX, e + 4, 2);
  std::memcpy(&hotY, e + 6, 2);
  DWORD bytes, offset;
  std::memcpy(&bytes, e + 8, 4);
  std::memcpy(&offset, e + 12, 4);
  if (offset > size || bytes > size - offset || bytes < sizeof(BITMAPINFOHEADER)) return nullptr;
  const BYTE* img = p + offset;
  BITMAPINFOHEADER ih;
  std::memcpy(&ih, img, sizeof ih);
  // The DIB's height covers the colour picture and the AND mask.
  BITMAPINFOHEADER ch = ih;
  ch.biHeight = ih.biHeight / 2;
  if (!ValidHeader(ch) || ch.biHeight <= 0) return nullptr;
  size_t tableBytes = static_cast<size_t>(ColorCount(ch)) * 4;
  int w = ch.biWidth, h = ch.biHeight;
  size_t colorBytes = static_cast<size_t>(DibStride(w, ch.biBitCount)) * h;
  size_t maskBytes = static_cast<size_t>(DibStride(w, 1)) * h;
  if (ih.biSize + tableBytes + colorBytes > bytes) return nullptr;
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + tableBytes);
  ch.biSize = sizeof(BITMAPINFOHEADER);
  std::memcpy(info.data(), &ch, sizeof ch);
  std::memcpy(info.data() + sizeof ch, img + ih.biSize, tableBytes);
  std::vector<uint32_t> px;
  int dw, dh;
  const BYTE* colorBits = img + ih.biSize + tableBytes;
  if (!DecodeDib(reinterpret_cast<const BITMAPINFO*>(info.data()), colorBits, DIB_RGB_COLORS, nullptr, &px, &dw, &dh))
    return nullptr;
  bool haveMask = ih.biSize + tableBytes + colorBytes + maskBytes <= bytes;
  const BYTE* maskBits = colorBits + colorBytes;
  bool alpha = false;
  if (ch.biBitCount == 32)
    for (size_t i = 3; i < colorBytes && !alpha; i += 4) alpha = colorBits[i] != 0;
  std::vector<uint32_t> argb(static_cast<size_t>(w) * h);
  int mstride = DibStride(w, 1);
  for (int y = 0; y < h; ++y) {
    int row = h - 1 - y;
    for (int x = 0; x < w; ++x) {
      uint32_t a = 255;
      if (alpha) a = colorBits[static_cast<size_t>(row) * DibStride(w, 32) + static_cast<size_t>(x) * 4 + 3];
      else if (haveMask && ((maskBits[static_cast<size_t>(row) * mstride + (x >> 3)] >> (7 - (x & 7))) & 1)) a = 0;
      argb[static_cast<size_t>(y) * w + x] = (a << 24) | (px[static_cast<size_t>(y) * w + x] & 0xFFFFFF);
    }
  }
  HICON made = kx::CreateIconFromArgb(w, h, argb.data(), isIcon && type == 1, type == 2 ? hotX : w / 2,
                                      type == 2 ? hotY : h / 2);
  // A size the file does not hold (a scaled screen's) is resampled smoothly from the nearest picture.
  if (made && cx > 0 && cy > 0 && (cx != w || cy != h)) ResizeIcon(made, cx, cy);
  return made;
}

BOOL kx::gdi::DrawBitmapSmooth(HDC hdc, int x, int y, int cx, int cy, HBITMAP bitmap) {
  DcPtr dc = GetDc(hdc);
  BitmapPtr b = GetBitmap(bitmap);
  if (!dc || !b || !b->surface || cx <= 0 || cy <= 0) return FALSE;
  if (cx == b->width() && cy == b->height()) {
    HDC src = CreateCompatibleDC(hdc);
    HGDIOBJ o = SelectObject(src, bitmap);
    BOOL ok = BitBlt(hdc, x, y, cx, cy, src, 0, 0, SRCCOPY);
    SelectObject(src, o);
    DeleteDC(src);
    return ok;
  }
  if (b->dib) b->SyncFromBits();
  POINT p = dc->ToSurface(x, y), q = dc->ToSurface(x + cx, y + cy);
  if (q.x <= p.x || q.y <= p.y) return TRUE;
  PixelAccess pa(*dc, true);
  {
    CairoCtx c(*dc);
    cairo_translate(c.cr, p.x, p.y);
    cairo_scale(c.cr, static_cast<double>(q.x - p.x) / b->width(), static_cast<double>(q.y - p.y) / b->height());
    cairo_set_source_surface(c.cr, b->surface->cs, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c.cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(c.cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(c.cr, 0, 0, b->width(), b->height());
    cairo_fill(c.cr);
  }
  pa.Damage(RECT{p.x, p.y, q.x, q.y});
  return TRUE;
}

// ----- DrawState -----
BOOL DrawState(HDC hdc, HBRUSH brush, DRAWSTATEPROC proc, LPARAM data, WPARAM wData, int x, int y, int cx, int cy,
               UINT flags) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  UINT type = flags & 0xF;
  UINT state = flags & 0x7FF0;
  std::string text;
  if (type == DST_TEXT || type == DST_PREFIXTEXT) {
    const char* t = reinterpret_cast<const char*>(data);
    if (!t) return FALSE;
    int n = wData ? static_cast<int>(wData) : static_cast<int>(std::strlen(t));
    text.assign(t, static_cast<size_t>(n));
    if (cx == 0 || cy == 0) {
      RECT rc{0, 0, 0, 0};
      DrawText(hdc, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE |
               (type == DST_TEXT ? DT_NOPREFIX : 0));
      if (cx == 0) cx = rc.right;
      if (cy == 0) cy = rc.bottom;
    }
  } else if (type == DST_ICON) {
    auto icon = GetIcon(reinterpret_cast<HICON>(data));
    if (!icon) return FALSE;
    if (cx == 0) cx = icon->width;
    if (cy == 0) cy = icon->height;
  } else if (type == DST_BITMAP) {
    BitmapPtr b = GetBitmap(reinterpret_cast<HBITMAP>(data));
    if (!b) return FALSE;
    if (cx == 0) cx = b->width();
    if (cy == 0) cy = b->height();
  } else if (!proc) {
    return FALSE;
  }
  if (cx <= 0 || cy <= 0) return TRUE;
  // Render the picture into a scratch bitmap: white background, the picture itself in black for masks.
  HDC mem = CreateCompatibleDC(hdc);
  HBITMAP bmp = CreateCompatibleBitmap(hdc, cx, cy);
  HGDIOBJ oldBmp = SelectObject(mem, bmp);
  RECT all{0, 0, cx, cy};
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  auto render = [&](bool asMask) {
    FillRect(mem, &all, white);
    SelectObject(mem, GetCurrentObject(hdc, OBJ_FONT));
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, asMask ? RGB(0, 0, 0) : GetTextColor(hdc));
    switch (type) {
      case DST_TEXT:
      case DST_PREFIXTEXT:
        DrawText(mem, text.c_str(), static_cast<int>(text.size()), &all,
                 DT_SINGLELINE | (type == DST_TEXT ? DT_NOPREFIX : 0) | ((state & DSS_HIDEPREFIX) ? DT_HIDEPREFIX : 0));
        break;
      case DST_ICON:
        if (asMask) DrawIconEx(mem, 0, 0, reinterpret_cast<HICON>(data), cx, cy, 0, nullptr, DI_MASK);
        else DrawIconEx(mem, 0, 0, reinterpret_cast<HICON>(data), cx, cy, 0, nullptr, DI_NORMAL);
        break;
      case DST_BITMAP:
        DrawBitmapSmooth(mem, 0, 0, cx, cy, reinterpret_cast<HBITMAP>(data));
        break;
      default:
        proc(mem, data, wData, cx, cy);
        break;
    }
  };
  bool plain = !(state & (DSS_DISABLED | DSS_MONO | DSS_UNION));
  if (plain && (type == DST_TEXT || type == DST_PREFIXTEXT)) {
    RECT rc{x, y, x + cx, y + cy};
    int mode = SetBkMode(hdc, TRANSPARENT);
    DrawText(hdc, text.c_str(), static_cast<int>(text.size()), &rc, DT_SINGLELINE | (type == DST_TEXT ? DT_NOPREFIX : 0));
    SetBkMode(hdc, mode);
  } else if (plain && type == DST_ICON) {
    DrawIconEx(hdc, x, y, reinterpret_cast<HICON>(data), cx, cy, 0, nullptr, DI_NORMAL);
  } else if (plain) {
    render(false);
    BitBlt(hdc, x, y, cx, cy, mem, 0, 0, SRCCOPY);
  } else {
    // Disabled pictures are embossed from the picture itself (its dark pixels), not from its silhouette, which
    // would be one grey blob; monochrome pictures and text take their shape.
    render(!(state & DSS_DISABLED) || type == DST_TEXT || type == DST_PREFIXTEXT);
    // Coverage: pixels of the picture that are not light.
    DcPtr m = GetDc(mem);
    std::vector<uint8_t> cover(static_cast<size_t>(cx) * cy);
    {
      PixelAccess pa(*m, false);
      for (int yy = 0; yy < cy; ++yy)
        for (int xx = 0; xx < cx; ++xx) {
          uint32_t v = pa.s->Row(yy)[xx];
          int lum = (((v >> 16) & 0xFF) * 3 + ((v >> 8) & 0xFF) * 6 + (v & 0xFF)) / 10;
          cover[static_cast<size_t>(yy) * cx + xx] = lum < 192;
        }
    }
    auto paint = [&](int ox, int oy, uint32_t pixel, const BrushObj* b) {
      Mask mk;
      POINT s = dc->ToSurface(x + ox, y + oy);
      mk.Init(RECT{s.x, s.y, s.x + cx, s.y + cy});
      for (int yy = 0; yy < cy; ++yy)
        for (int xx = 0; xx < cx; ++xx)
          if (cover[static_cast<size_t>(yy) * cx + xx]) mk.Set(s.x + xx, s.y + yy);
      if (b) ApplyMaskBrush(*dc, mk, *b, R2_COPYPEN);
      else ApplyMaskColor(*dc, mk, pixel, R2_COPYPEN);
    };
    if (state & DSS_DISABLED) {
      paint(1, 1, SysPixel(COLOR_3DHILIGHT), nullptr);
      paint(0, 0, SysPixel(COLOR_3DSHADOW), nullptr);
    } else if (state & DSS_MONO) {
      std::shared_ptr<BrushObj> b;
      uintptr_t v = reinterpret_cast<uintptr_t>(brush);
      if (v > 0 && v <= COLOR_MENUBAR + 1) brush = GetSysColorBrush(static_cast<int>(v - 1));
      b = Get<BrushObj>(brush, ObjKind::Brush);
      paint(0, 0, ToPixel(GetTextColor(hdc)), b.get());
    } else {
      // Union: the picture, then every other pixel in the highlight colour.
      render(false);
      BitBlt(hdc, x, y, cx, cy, mem, 0, 0, SRCCOPY);
      Mask mk;
      POINT s = dc->ToSurface(x, y);
      mk.Init(RECT{s.x, s.y, s.x + cx, s.y + cy});
      for (int yy = 0; yy < cy; ++yy)
        for (int xx = 0; xx < cx; ++xx)
          if (((xx + yy) & 1) == 0) mk.Set(s.x + xx, s.y + yy);
      ApplyMaskColor(*dc, mk, SysPixel(COLOR_HIGHLIGHT), R2_COPYPEN);
    }
  }
  SelectObject(mem, oldBmp);
  DeleteObject(bmp);
  DeleteDC(mem);
  return TRUE;
}
