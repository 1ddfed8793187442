#include "controls/TextureButton.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/win32/crt.h"

// ---------------------------------------------------------------------------------------------------------------
// CDibSurface
// ---------------------------------------------------------------------------------------------------------------

CDibSurface::~CDibSurface() { delete[] m_pBlock; }

BYTE* CDibSurface::Create(int width, int height, int bitsPerPixel) {
  delete[] m_pBlock;
  m_pBlock = nullptr;
  int bits;
  if (bitsPerPixel <= 1) bits = 1;
  else if (bitsPerPixel <= 4) bits = 4;
  else if (bitsPerPixel <= 8) bits = 8;
  else bits = 24;
  m_nColours = bits == 24 ? 0 : static_cast<WORD>(1u << bits);
  m_nStride = ((bits * std::max(width, 0) + 31) / 32) * 4;
  m_header = BITMAPINFOHEADER{};
  m_header.biSize = sizeof(BITMAPINFOHEADER);
  m_header.biWidth = width;
  m_header.biHeight = height;
  m_header.biPlanes = 1;
  m_header.biBitCount = static_cast<WORD>(bits);
  m_header.biCompression = BI_RGB;
  m_header.biSizeImage = static_cast<DWORD>(m_nStride) * static_cast<DWORD>(std::max(height, 0));
  m_pBlock = new (std::nothrow) BYTE[GetTotalSize()]();
  if (m_pBlock) memcpy(m_pBlock, &m_header, sizeof m_header);
  return m_pBlock;
}

DWORD CDibSurface::GetTotalSize() const { return m_header.biSize + m_header.biSizeImage + GetColorTableSize(); }

BYTE* CDibSurface::GetBits() const {
  if (!m_pBlock) return nullptr;
  DWORD headerSize;
  memcpy(&headerSize, m_pBlock, sizeof headerSize);
  return m_pBlock + headerSize + GetColorTableSize();
}

BOOL CDibSurface::Draw(HDC hdc, int x, int y) const {
  if (!m_pBlock || !hdc) return FALSE;
  SetStretchBltMode(hdc, COLORONCOLOR);
  SetDIBitsToDevice(hdc, x, y, static_cast<DWORD>(GetWidth()), static_cast<DWORD>(GetHeight()), 0, 0, 0,
                    static_cast<UINT>(GetHeight()), GetBits(), reinterpret_cast<const BITMAPINFO*>(m_pBlock),
                    DIB_RGB_COLORS);
  return TRUE;
}

void CDibSurface::SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue) {
  if (!m_pBlock || m_nColours == 0 || index >= m_nColours) return;
  BYTE* entry = m_pBlock + m_header.biSize + index * 4;
  entry[0] = blue;
  entry[1] = green;
  entry[2] = red;
  entry[3] = 0;
}

COLORREF CDibSurface::GetPaletteEntry(int index) const {
  if (!m_pBlock || index < 0 || index >= m_nColours) return 0;
  const BYTE* entry = m_pBlock + m_header.biSize + index * 4;
  return RGB(entry[2], entry[1], entry[0]);
}

void CDibSurface::SetPixel(int x, int y, BYTE value) {
  if (!m_pBlock || m_nColours == 0 || m_header.biBitCount != 8) return;
  if (x < 0 || x >= GetWidth() || y < 0 || y >= GetHeight()) return;
  GetBits()[(GetHeight() - 1 - y) * m_nStride + x] = value;
}

BYTE CDibSurface::GetPixel(int x, int y) const {
  if (!m_pBlock || m_header.biBitCount != 8 || x < 0 || x >= GetWidth() || y < 0 || y >= GetHeight()) return 0;
  return GetBits()[(GetHeight() - 1 - y) * m_nStride + x];
}

void CDibSurface::Tint(COLORREF colour, BYTE percent) {
  if (!m_pBlock || m_nColours == 0) return;
  const int p = std::min<int>(percent, 100);
  const int tint[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
  BYTE* entry = m_pBlock + m_header.biSize;
  for (int i = 0; i < m_nColours; ++i, entry += 4)
    for (int c = 0; c < 3; ++c) entry[c] = static_cast<BYTE>((entry[c] * (100 - p) + tint[c] * p) / 100);
}

void CDibSurface::CopyFrom(const CDibSurface& other) {
  if (Create(other.GetWidth(), other.GetHeight(), other.GetBitCount()) && other.m_pBlock)
    memcpy(m_pBlock, other.m_pBlock, GetTotalSize());
}

void CDibSurface::Fill(BYTE value) {
  if (m_pBlock) memset(GetBits(), value, m_header.biSizeImage);
}

// ---------------------------------------------------------------------------------------------------------------
// Texture patterns
// ---------------------------------------------------------------------------------------------------------------

namespace {

int Cubic(int t) { return (t * t * t / 128) / 128; }

}  // namespace

void PaintTexturePattern(CDibSurface& surface, UINT pattern, int noise) {
  BYTE* bits = surface.GetBits();
  const int w = surface.GetWidth(), h = surface.GetHeight(), stride = surface.GetStride();
  if (!bits || w <= 0 || h <= 0) return;
  const int q = 32767 / std::max(2 * noise, 1);
  auto grain = [&] { return kx_rand() / q - noise; };
  auto at = [&](int r, int x) -> BYTE& { return bits[r * stride + x]; };
  auto rows = [&](auto&& f) {
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) at(r, x) = static_cast<BYTE>(f(r, x));
  };
  auto columns = [&](auto&& f) {
    for (int x = 0; x < w; ++x)
      for (int r = 0; r < h; ++r) at(r, x) = static_cast<BYTE>(f(r, x));
  };
  switch (pattern) {
    case 1: {
      const int d = (255 - 2 * noise) / 2;
      rows([&](int r, int x) { return noise + (d * r) / h + (d * (w - x)) / w + grain(); });
      break;
    }
    case 2: {
      const int d = 255 - 2 * noise;
      rows([&](int r, int x) { return noise + (d * r) / h + grain(); });
      break;
    }
    case 3: {
      const int d = 255 - 2 * noise;
      columns([&](int r, int x) { return noise + (d * (w - x)) / w + grain(); });
      break;
    }
    case 4:
      rows([&](int r, int x) { return 128 + ((128 - noise) * Cubic((r * 255) / h - 127)) / 128 + grain(); });
      break;
    case 5:
      columns([&](int r, int x) { return 128 + ((128 - noise) * Cubic(((w - x) * 255) / w - 127)) / 128 + grain(); });
      break;
    case 6:
      rows([&](int r, int x) {
        int v = 128 + ((128 - noise) * (Cubic((r * 255) / h - 127) + Cubic(((w - x) * 255) / w - 127))) / 128;
        v = std::clamp(v, noise, 255 - noise);
        return v + grain();
      });
      break;
    case 7: {
      const int k = std::min(w / 6, 16);
      // A button under two pixels high has no room for the curve: treat its height as 2.
      const int s = std::max((h * h) / 4, 1);
      rows([&](int r, int x) {
        int v = 128 + ((128 - 2 * noise) * Cubic((r * 255) / h - 127)) / 128 + grain();
        const int dy = r - h / 2, dx = x - w / 2;
        const int lim = (w / 2 - k) + (dy * dy * k) / s;
        if (k > 0 && dx > lim) v = noise + (((w - x) * 128 / k) & 0xFF);
        else if (k > 0 && dx + lim < 0) v = (255 - noise) - ((x * 128 / k) & 0xFF);
        return v + grain();
      });
      break;
    }
    case 8: {
      surface.Fill(0);
      const int m = std::min(w, h);
      const int perW = std::max(32767 / w, 1), perH = std::max(32767 / h, 1), perM = std::max(32767 / m, 1);
      for (int stroke = 0; stroke < 200; ++stroke) {
        const int x0 = kx_rand() / perW;
        const int y0 = kx_rand() / perH;
        const int len = (kx_rand() / perM) / 2;
        const BYTE value = static_cast<BYTE>(kx_rand() / 819);
        for (int i = 0; i < len; ++i) {
          if (x0 - i > 0 && y0 + i < h) surface.SetPixel(x0 - i, y0 + i, value);
          if (x0 + i < w && y0 - i > 0) surface.SetPixel(w - x0 + i, y0 - i, value);
        }
      }
      const int d = (255 - 2 * noise - 40) / 2;
      rows([&](int r, int x) { return at(r, x) + (d * r) / h + (d * (w - x)) / w + kx_rand() / q; });
      break;
    }
    default:
      rows([&](int, int) { return 128 - noise + kx_rand() / q; });
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// CTextureButton
// ---------------------------------------------------------------------------------------------------------------

CTextureButton::CTextureButton() = default;
CTextureButton::~CTextureButton() = default;

void CTextureButton::CreateTexture(UINT pattern, BYTE noise, BYTE hoverTint, BYTE tintPercent, COLORREF tintColour) {
  if (!m_hWnd) return;
  CRect window;
  GetWindowRect(&window);
  const int w = window.Width(), h = window.Height();
  // An empty button has no face to texture (and its patterns would divide by its size).
  if (w <= 0 || h <= 0) return;
  CDibSurface& normal = m_surfaces[kNormal];
  CDibSurface& across = m_surfaces[kHorizontalDots];
  CDibSurface& down = m_surfaces[kVerticalDots];
  across.Create(std::max(w, 1), 1, 8);
  down.Create(1, std::max(h, 1), 8);
  normal.Create(w, h, 8);

  const COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), face = GetSysColor(COLOR_BTNFACE);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  auto ramp = [](COLORREF a, COLORREF b, int i, int shift) {
    return static_cast<BYTE>(((128 - i) * static_cast<int>((a >> shift) & 0xFF) +
                              i * static_cast<int>((b >> shift) & 0xFF)) / 128);
  };
  auto entry = [&](int index, COLORREF a, COLORREF b, int i) {
    for (CDibSurface* s : {&normal, &across, &down})
      s->SetPaletteEntry(static_cast<BYTE>(index), ramp(a, b, i, 0), ramp(a, b, i, 8), ramp(a, b, i, 16));
  };
  for (int i = 0; i <= 128; ++i) entry(i, shadow, face, i);
  for (int j = 1; j <= 128; ++j) entry(127 + j, face, hi, j);

  normal.Tint(tintColour, tintPercent);
  for (int x = 0; x < across.GetWidth(); ++x) across.SetPixel(x, 0, static_cast<BYTE>(255 * (x % 2)));
  if (BYTE* bits = down.GetBits())
    for (int y = 0; y < down.GetHeight(); ++y) bits[y * down.GetStride()] = static_cast<BYTE>(255 * (y % 2));

  PaintTexturePattern(normal, pattern, noise);

  m_surfaces[kNormalCopy].CopyFrom(normal);
  m_surfaces[kHover].CopyFrom(normal);
  m_surfaces[kHover].Tint(hi, hoverTint);
  m_surfaces[kHoverCopy].CopyFrom(m_surfaces[kHover]);
}

DWORD CTextureButton::DrawBackground(CDC* pDC, CRect*) {
  if (!m_bMouseOnButton) m_surfaces[kNormal].Draw(pDC->GetSafeHdc(), 0, 0);
  else if (m_bIsPressed) m_surfaces[kHover].Draw(pDC->GetSafeHdc(), 1, 1);
  else m_surfaces[kHover].Draw(pDC->GetSafeHdc(), 0, 0);
  return 0;
}

DWORD CTextureButton::DrawBorder(CDC* pDC, CRect* pRect) { return CIconButton::DrawBorder(pDC, pRect); }
