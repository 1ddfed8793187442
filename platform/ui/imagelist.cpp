// Image lists: equal-sized images kept as 32-bit pixels with their transparency, drawn through icons.
#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/ui/commctrl.h"

namespace {

struct ImageList {
  int cx = 16, cy = 16;
  UINT flags = 0;
  int grow = 4;
  COLORREF bk = CLR_NONE;
  std::vector<std::vector<uint32_t>> images;  // ARGB, top-down, cx * cy each
  std::vector<HICON> icons;                   // drawing cache, made on demand
  int overlays[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

  void DropIcon(size_t i) {
    if (i < icons.size() && icons[i]) {
      DestroyIcon(icons[i]);
      icons[i] = nullptr;
    }
  }
  void DropAll() {
    for (size_t i = 0; i < icons.size(); ++i) DropIcon(i);
  }
  HICON Icon(size_t i) {
    if (icons.size() < images.size()) icons.resize(images.size(), nullptr);
    if (!icons[i]) icons[i] = kx::CreateIconFromArgb(cx, cy, images[i].data());
    return icons[i];
  }
};

std::mutex g_lock;
std::set<ImageList*>& Lists() {
  static auto* s = new std::set<ImageList*>();
  return *s;
}

// Image lists are used by the thread that owns the control; the registry only guards against stale handles.
ImageList* Get(HIMAGELIST h) {
  std::lock_guard<std::mutex> lock(g_lock);
  auto* p = reinterpret_cast<ImageList*>(h);
  return Lists().count(p) ? p : nullptr;
}

// The pixels of a bitmap as top-down ARGB with full alpha.
bool BitmapPixels(HBITMAP bm, std::vector<uint32_t>* px, int* w, int* h) {
  BITMAP info{};
  if (!bm || !GetObject(bm, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return false;
  *w = info.bmWidth;
  *h = info.bmHeight;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = *w;
  bmi.bmiHeader.biHeight = -*h;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  px->assign(static_cast<size_t>(*w) * *h, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  int lines = GetDIBits(dc, bm, 0, static_cast<UINT>(*h), px->data(), &bmi, DIB_RGB_COLORS);
  DeleteDC(dc);
  if (lines <= 0) return false;
  for (auto& v : *px) v = 0xFF000000u | (v & 0xFFFFFF);
  return true;
}

// The pixels of an icon at cx x cy, alpha recovered by drawing it on black and on white.
bool IconPixels(HICON icon, int cx, int cy, std::vector<uint32_t>* px) {
  if (!icon) return false;
  std::vector<uint32_t> onBlack, onWhite;
  for (int pass = 0; pass < 2; ++pass) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
      if (dib) DeleteObject(dib);
      DeleteDC(dc);
      return false;
    }
    HGDIOBJ old = SelectObject(dc, dib);
    RECT rc{0, 0, cx, cy};
    HBRUSH b = static_cast<HBRUSH>(GetStockObject(pass ? WHITE_BRUSH : BLACK_BRUSH));
    FillRect(dc, &rc, b);
    DrawIconEx(dc, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    (pass ? onWhite : onBlack).assign(p, p + static_cast<size_t>(cx) * cy);
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
  }
  px->resize(onBlack.size());
  for (size_t i = 0; i < onBlack.size(); ++i) {
    int a = 255;
    uint32_t pb = onBlack[i], pw = onWhite[i];
    int r = 0, g = 0, bl = 0;
    // White minus black is 255 - alpha on every channel; take the green one, the least rounded.
    int diff = static_cast<int>((pw >> 8) & 0xFF) - static_cast<int>((pb >> 8) & 0xFF);
    a = std::clamp(255 - diff, 0, 255);
    if (a) {
      r = std::min(255, static_cast<int>((pb >> 16) & 0xFF) * 255 / a);
      g = std::min(255, static_cast<int>((pb >> 8) & 0xFF) * 255 / a);
      bl = std::min(255, static_cast<int>(pb & 0xFF) * 255 / a);
    }
    (*px)[i] = (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
               static_cast<uint32_t>(bl);
  }
  return true;
}

// Cuts a strip into images; transparent where the mask bitmap is white, or where the colour equals maskColor.
int AddStrip(ImageList* il, HBITMAP image, HBITMAP mask, COLORREF maskColor) {
  std::vector<uint32_t> px, mpx;
  int w, h, mw = 0, mh = 0;
  if (!BitmapPixels(image, &px, &w, &h)) return -1;
  bool haveMask = mask && BitmapPixels(mask, &mpx, &mw, &mh);
  bool useMask = (il->flags & ILC_MASK) != 0;
  uint32_t key = 0xFF000000u | (GetRValue(maskColor) << 16) | (GetGValue(maskColor) << 8) | GetBValue(maskColor);
  int count = std::max(1, w / il->cx);
  int first = static_cast<int>(il->images.size());
  for (int k = 0; k < count; ++k) {
    std::vector<uint32_t> img(static_cast<size_t>(il->cx) * il->cy, 0);
    for (int y = 0; y < il->cy && y < h; ++y)
      for (int x = 0; x < il->cx && k * il->cx + x < w; ++x) {
        int sx = k * il->cx + x;
        uint32_t v = px[static_cast<size_t>(y) * w + sx];
        bool clear = false;
        if (useMask && haveMask && sx < mw && y < mh) clear = (mpx[static_cast<size_t>(y) * mw + sx] & 0xFFFFFF) != 0;
        else if (useMask && maskColor != CLR_NONE && !haveMask) clear = v == key;
        img[static_cast<size_t>(y) * il->cx + x] = clear ? 0 : v;
      }
    il->images.push_back(std::move(img));
  }
  return first;
}

COLORREF Blend(COLORREF a, COLORREF b, int percentB) {
  auto ch = [&](int ca, int cb) { return (ca * (100 - percentB) + cb * percentB) / 100; };
  return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)), ch(GetBValue(a), GetBValue(b)));
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
  if (cx <= 0 || cy <= 0 || cx > 4096 || cy > 4096) return nullptr;
  auto* il = new ImageList;
  il->cx = cx;
  il->cy = cy;
  il->flags = flags;
  il->grow = std::max(1, grow);
  il->images.reserve(static_cast<size_t>(std::max(0, initial)));
  std::lock_guard<std::mutex> lock(g_lock);
  Lists().insert(il);
  return reinterpret_cast<HIMAGELIST>(il);
}

BOOL ImageList_Destroy(HIMAGELIST himl) {
  ImageList* il = Get(himl);
  if (!il) return FALSE;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    Lists().erase(il);
  }
  il->DropAll();
  delete il;
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST himl) {
  ImageList* il = Get(himl);
  return il ? static_cast<int>(il->images.size()) : 0;
}

BOOL ImageList_SetImageCount(HIMAGELIST himl, UINT count) {
  ImageList* il = Get(himl);
  if (!il) return FALSE;
  il->DropAll();
  il->images.resize(count, std::vector<uint32_t>(static_cast<size_t>(il->cx) * il->cy, 0));
  return TRUE;
}

int ImageList_Add(HIMAGELIST himl, HBITMAP image, HBITMAP mask) {
  ImageList* il = Get(himl);
  return il ? AddStrip(il, image, mask, CLR_NONE) : -1;
}

int ImageList_AddMasked(HIMAGELIST himl, HBITMAP image, COLORREF maskColor) {
  ImageList* il = Get(himl);
  return il ? AddStrip(il, image, nullptr, maskColor) : -1;
}

int ImageList_ReplaceIcon(HIMAGELIST himl, int index, HICON icon) {
  ImageList* il = Get(himl);
  if (!il || index < -1 || index >= static_cast<int>(il->images.size())) return -1;
  std::vector<uint32_t> px;
  if (!IconPixels(icon, il->cx, il->cy, &px)) return -1;
  if (index == -1) {
    il->images.push_back(std::move(px));
    return static_cast<int>(il->images.size()) - 1;
  }
  il->DropIcon(static_cast<size_t>(index));
  il->images[static_cast<size_t>(index)] = std::move(px);
  return index;
}

BOOL ImageList_Replace(HIMAGELIST himl, int index, HBITMAP image, HBITMAP mask) {
  ImageList* il = Get(himl);
  if (!il || index < 0 || index >= static_cast<int>(il->images.size())) return FALSE;
  ImageList tmp;
  tmp.cx = il->cx;
  tmp.cy = il->cy;
  tmp.flags = il->flags;
  if (AddStrip(&tmp, image, mask, CLR_NONE) < 0) return FALSE;
  il->DropIcon(static_cast<size_t>(index));
  il->images[static_cast<size_t>(index)] = std::move(tmp.images[0]);
  return TRUE;
}

BOOL ImageList_Remove(HIMAGELIST himl, int index) {
  ImageList* il = Get(himl);
  if (!il) return FALSE;
  il->DropAll();
  if (index == -1) {
    il->images.clear();
    return TRUE;
  }
  if (index < 0 || index >= static_cast<int>(il->images.size())) return FALSE;
  il->images.erase(il->images.begin() + index);
  return TRUE;
}

BOOL ImageList_DrawEx(HIMAGELIST himl, int index, HDC hdc, int x, int y, int dx, int dy, COLORREF bk, COLORREF fg,
                      UINT style) {
  ImageList* il = Get(himl);
  if (!il || !hdc || index < 0 || index >= static_cast<int>(il->images.size())) return FALSE;
  int w = dx > 0 ? std::min(dx, il->cx) : il->cx;
  int h = dy > 0 ? std::min(dy, il->cy) : il->cy;
  if (bk == CLR_DEFAULT) bk = il->bk;
  // The background shows through transparent pixels unless the image is drawn transparently.
  if (!(style & ILD_TRANSPARENT) && bk != CLR_NONE && (il->flags & ILC_MASK)) {
    HBRUSH b = CreateSolidBrush(bk);
    RECT rc{x, y, x + w, y + h};
    FillRect(hdc, &rc, b);
    DeleteObject(b);
  }
  const std::vector<uint32_t>& src = il->images[static_cast<size_t>(index)];
  int blend = (style & ILD_BLEND50) ? 50 : (style & ILD_BLEND25) ? 25 : 0;
  if (style & ILD_MASK) {
    std::vector<uint32_t> m(src.size());
    for (size_t i = 0; i < src.size(); ++i) m[i] = (src[i] >> 24) >= 128 ? 0xFF000000u : 0xFFFFFFFFu;
    HICON icon = kx::CreateIconFromArgb(il->cx, il->cy, m.data());
    DrawIconEx(hdc, x, y, icon, il->cx, il->cy, 0, nullptr, DI_NORMAL);
    DestroyIcon(icon);
  } else if (blend) {
    COLORREF with = (fg == CLR_DEFAULT || fg == CLR_NONE) ? GetSysColor(COLOR_HIGHLIGHT) : fg;
    std::vector<uint32_t> b(src.size());
    for (size_t i = 0; i < src.size(); ++i) {
      uint32_t v = src[i];
      COLORREF c = Blend(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF), with, blend);
      b[i] = (v & 0xFF000000u) | (static_cast<uint32_t>(GetRValue(c)) << 16) |
             (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
    }
    HICON icon = kx::CreateIconFromArgb(il->cx, il->cy, b.data());
    DrawIconEx(hdc, x, y, icon, il->cx, il->cy, 0, nullptr, DI_NORMAL);
    DestroyIcon(icon);
  } else {
    HICON icon = il->Icon(static_cast<size_t>(index));
    if (w == il->cx && h == il->cy) {
      DrawIconEx(hdc, x, y, icon, il->cx, il->cy, 0, nullptr, DI_NORMAL);
    } else {
      int saved = SaveDC(hdc);
      IntersectClipRect(hdc, x, y, x + w, y + h);
      DrawIconEx(hdc, x, y, icon, il->cx, il->cy, 0, nullptr, DI_NORMAL);
      RestoreDC(hdc, saved);
    }
  }
  int overlay = static_cast<int>((style & ILD_OVERLAYMASK) >> 8);
  if (overlay > 0 && overlay < 16 && il->overlays[overlay] >= 0 &&
      il->overlays[overlay] < static_cast<int>(il->images.size()))
    DrawIconEx(hdc, x, y, il->Icon(static_cast<size_t>(il->overlays[overlay])), il->cx, il->cy, 0, nullptr, DI_NORMAL);
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST himl, int index, HDC hdc, int x, int y, UINT style) {
  return ImageList_DrawEx(himl, index, hdc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

HICON ImageList_GetIcon(HIMAGELIST himl, int index, UINT) {
  ImageList* il = Get(himl);
  if (!il || index < 0 || index >= static_cast<int>(il->images.size())) return nullptr;
  return kx::CreateIconFromArgb(il->cx, il->cy, il->images[static_cast<size_t>(index)].data());
}

BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
  ImageList* il = Get(himl);
  if (!il || !cx || !cy) return FALSE;
  *cx = il->cx;
  *cy = il->cy;
  return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST himl, int cx, int cy) {
  ImageList* il = Get(himl);
  if (!il || cx <= 0 || cy <= 0) return FALSE;
  il->DropAll();
  il->images.clear();
  il->cx = cx;
  il->cy = cy;
  return TRUE;
}

BOOL ImageList_GetImageInfo(HIMAGELIST himl, int index, IMAGEINFO* info) {
  ImageList* il = Get(himl);
  if (!il || !info || index < 0 || index >= static_cast<int>(il->images.size())) return FALSE;
  *info = IMAGEINFO{};
  info->rcImage = RECT{0, 0, il->cx, il->cy};
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST himl, COLORREF color) {
  ImageList* il = Get(himl);
  if (!il) return CLR_NONE;
  COLORREF old = il->bk;
  il->bk = color;
  return old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST himl) {
  ImageList* il = Get(himl);
  return il ? il->bk : CLR_NONE;
}

BOOL ImageList_SetOverlayImage(HIMAGELIST himl, int image, int overlay) {
  ImageList* il = Get(himl);
  if (!il || overlay < 1 || overlay > 15 || image < -1) return FALSE;
  il->overlays[overlay] = image;
  return TRUE;
}

HIMAGELIST ImageList_Duplicate(HIMAGELIST himl) {
  ImageList* il = Get(himl);
  if (!il) return nullptr;
  HIMAGELIST copy = ImageList_Create(il->cx, il->cy, il->flags, 0, il->grow);
  ImageList* c = Get(copy);
  c->images = il->images;
  c->bk = il->bk;
  std::copy(std::begin(il->overlays), std::end(il->overlays), std::begin(c->overlays));
  return copy;
}

HIMAGELIST ImageList_LoadImage(HINSTANCE instance, LPCSTR name, int cx, int grow, COLORREF maskColor, UINT type,
                               UINT flags) {
  if (type != IMAGE_BITMAP) return nullptr;
  HBITMAP bm = static_cast<HBITMAP>(LoadImage(instance, name, IMAGE_BITMAP, 0, 0, flags & ~LR_SHARED));
  if (!bm) return nullptr;
  BITMAP info{};
  GetObject(bm, sizeof info, &info);
  if (cx <= 0) cx = info.bmHeight;
  HIMAGELIST himl = ImageList_Create(cx, info.bmHeight, maskColor == CLR_NONE ? ILC_COLOR : ILC_MASK, 0, grow);
  if (himl && ImageList_AddMasked(himl, bm, maskColor) < 0) {
    ImageList_Destroy(himl);
    himl = nullptr;
  }
  DeleteObject(bm);
  return himl;
}
