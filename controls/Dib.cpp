#include "controls/Dib.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/mfc/exceptions.h"
#include "platform/win32/heap.h"

IMPLEMENT_DYNAMIC(CDib, CObject)

namespace {

constexpr WORD kBitmapType = 0x4D42;  // "BM"
// Room for a full 256-entry colour table after whatever the file holds.
constexpr DWORD kTableRoom = 1010;

BYTE* AllocLocked(SIZE_T bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  return h ? static_cast<BYTE*>(GlobalLock(h)) : nullptr;
}

void FreeLocked(BYTE*& p) {
  if (!p) return;
  HGLOBAL h = GlobalHandle(p);
  GlobalUnlock(h);
  GlobalFree(h);
  p = nullptr;
}

// Bytes of one stored row: bitCount x width bits padded to whole 32-bit words.
unsigned long long RowBytes(unsigned bitCount, long long width) {
  return ((static_cast<unsigned long long>(bitCount) * static_cast<unsigned long long>(width) + 31) / 32) * 4;
}

bool IsRle(const BITMAPINFOHEADER& h) { return h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4; }

// Reads exactly n bytes; false on a short read or a failing file.
bool ReadAll(CFile* file, void* to, DWORD n) {
  try {
    return file->Read(to, n) == n;
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

}  // namespace

CDib::CDib() = default;

CDib::~CDib() { Free(); }

LONG CDib::Width() const { return m_pInfo ? reinterpret_cast<const BITMAPINFOHEADER*>(m_pInfo)->biWidth : 0; }

LONG CDib::Height() const { return m_pInfo ? reinterpret_cast<const BITMAPINFOHEADER*>(m_pInfo)->biHeight : 0; }

DWORD CDib::NumColors() const {
  if (!m_pInfo) return 0;
  const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(m_pInfo);
  if (h->biClrUsed) return h->biClrUsed;
  switch (h->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

DWORD CDib::TableBytes() const {
  if (!m_pInfo) return 0;
  const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(m_pInfo);
  // A 40-byte header of a bit-field bitmap is followed by its three colour masks.
  const DWORD masks = (h->biCompression == BI_BITFIELDS && h->biSize == 40) ? 12 : 0;
  return PaletteSize() + masks;
}

void CDib::Free() {
  FreeLocked(m_pBits);
  FreeLocked(m_pInfo);
  delete m_pPalette;
  m_pPalette = nullptr;
}

BOOL CDib::CreatePalette() {
  if (!m_pInfo) return FALSE;
  const DWORD colours = NumColors();
  if (colours == 0) return TRUE;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(m_pInfo);
  std::vector<BYTE> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * colours);
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(colours);
  for (DWORD i = 0; i < colours; ++i) {
    lp->palPalEntry[i].peRed = info->bmiColors[i].rgbRed;
    lp->palPalEntry[i].peGreen = info->bmiColors[i].rgbGreen;
    lp->palPalEntry[i].peBlue = info->bmiColors[i].rgbBlue;
    lp->palPalEntry[i].peFlags = 0;
  }
  delete m_pPalette;
  m_pPalette = new CPalette;
  return m_pPalette->CreatePalette(lp);
}

BOOL CDib::Paint(HDC hdc, const RECT* dest, const RECT* source) {
  if (!m_pInfo || !hdc || !dest || !source) return FALSE;
  HPALETTE oldPalette = nullptr;
  if (m_pPalette && m_pPalette->GetSafeHandle()) oldPalette = SelectPalette(hdc, *m_pPalette, TRUE);
  SetStretchBltMode(hdc, COLORONCOLOR);
  const int dw = dest->right - dest->left, dh = dest->bottom - dest->top;
  const int sw = source->right - source->left, sh = source->bottom - source->top;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(m_pInfo);
  const LONG height = std::labs(Height());
  int result;
  if (dw == sw && dh == sh) {
    // Rows are stored bottom-up: the source's top row is counted from the bottom.
    const int sourceY = Height() > 0 ? static_cast<int>(height) - source->top - sh : source->top;
    result = SetDIBitsToDevice(hdc, dest->left, dest->top, static_cast<DWORD>(dw), static_cast<DWORD>(dh),
                               source->left, sourceY, 0, static_cast<UINT>(height), m_pBits, info, DIB_RGB_COLORS);
  } else {
    result = StretchDIBits(hdc, dest->left, dest->top, dw, dh, source->left, source->top, sw, sh, m_pBits, info,
                           DIB_RGB_COLORS, SRCCOPY);
  }
  if (oldPalette) SelectPalette(hdc, oldPalette, TRUE);
  return result;
}

DWORD CDib::Read(CFile* file) {
  Free();
  if (!file) return 0;
  ULONGLONG start = 0, length = 0;
  try {
    start = file->GetPosition();
    length = file->GetLength();
  } catch (CException* e) {
    e->Delete();
    return 0;
  }
  const ULONGLONG available = length > start ? length - start : 0;
  BITMAPFILEHEADER fh{};
  if (!ReadAll(file, &fh, sizeof fh) || fh.bfType != kBitmapType) return 0;
  // The bits must start after a full header and inside the file.
  if (fh.bfOffBits < sizeof fh + sizeof(BITMAPINFOHEADER) || fh.bfOffBits > available) return 0;
  const DWORD headerBytes = fh.bfOffBits - static_cast<DWORD>(sizeof fh);
  m_pInfo = AllocLocked(fh.bfOffBits + kTableRoom);
  if (!m_pInfo || !ReadAll(file, m_pInfo, headerBytes)) {
    Free();
    return 0;
  }
  const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(m_pInfo);
  const unsigned bits = h->biBitCount;
  const bool knownDepth = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
  const bool knownCompression = h->biCompression == BI_RGB || (h->biCompression == BI_RLE8 && bits == 8) ||
                                (h->biCompression == BI_RLE4 && bits == 4) ||
                                (h->biCompression == BI_BITFIELDS && (bits == 16 || bits == 32));
  const bool sound = h->biSize >= sizeof(BITMAPINFOHEADER) && h->biSize <= headerBytes && h->biWidth > 0 &&
                     h->biHeight != 0 && h->biHeight != LONG(0x80000000) && knownDepth && knownCompression &&
                     h->biClrUsed <= 256 && (bits > 8 || h->biClrUsed <= (1u << bits)) &&
                     static_cast<ULONGLONG>(h->biSize) + TableBytes() <= headerBytes;
  if (!sound) {
    Free();
    return 0;
  }
  const ULONGLONG bitsBytes = available - fh.bfOffBits;
  const ULONGLONG needed = IsRle(*h) ? h->biSizeImage : RowBytes(bits, h->biWidth) * std::llabs(h->biHeight);
  if (needed == 0 || bitsBytes < needed || bitsBytes > 0x7FFFFFFF) {
    Free();
    return 0;
  }
  m_pBits = AllocLocked(static_cast<SIZE_T>(bitsBytes));
  if (!m_pBits || !ReadAll(file, m_pBits, static_cast<DWORD>(bitsBytes))) {
    Free();
    return 0;
  }
  CreatePalette();
  return fh.bfOffBits + static_cast<DWORD>(bitsBytes);
}

DWORD CDib::Save(CFile* file) {
  if (!m_pInfo || !m_pBits || !file) return 0;
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(m_pInfo);
  const LONG height = std::labs(h->biHeight);
  const DWORD rowBytes = static_cast<DWORD>(RowBytes(h->biBitCount, h->biWidth));
  DWORD imageSize;
  if (IsRle(*h)) {
    imageSize = h->biSizeImage;
  } else {
    imageSize = rowBytes * static_cast<DWORD>(height);
    h->biSizeImage = imageSize;
  }
  // The header as read (its own size) with its table, so that the offset written is where the bits are.
  const DWORD headerBytes = h->biSize + TableBytes();
  BITMAPFILEHEADER fh{};
  fh.bfType = kBitmapType;
  fh.bfSize = static_cast<DWORD>(sizeof fh) + headerBytes + imageSize;
  fh.bfOffBits = static_cast<DWORD>(sizeof fh) + headerBytes;
  try {
    file->Write(&fh, sizeof fh);
    file->Write(m_pInfo, headerBytes);
    file->Write(m_pBits, imageSize);
  } catch (CException* e) {
    e->Delete();
    return 0;
  }
  return fh.bfSize;
}

void CDib::Serialize(CArchive& ar) {
  ar.Flush();
  m_dwSerialized = ar.IsStoring() ? Save(ar.GetFile()) : Read(ar.GetFile());
}
