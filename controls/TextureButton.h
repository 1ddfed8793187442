// The texture button of the wizard and settings pages: an icon button whose face is a generated 8-bit texture
// shaded from the system's button colours, with a lighter variant while the pointer is over it. The texture
// lives in CDibSurface, a packed device-independent bitmap in one memory block (header, colour table, rows).
#pragma once

#include "controls/IconButton.h"

class CDibSurface {
 public:
  CDibSurface() = default;
  virtual ~CDibSurface();
  CDibSurface(const CDibSurface&) = delete;
  CDibSurface& operator=(const CDibSurface&) = delete;

  // Depth is taken up to 1, 4, 8 or 24 bits; the colour table and the rows are the caller's to fill. The block,
  // or null when it cannot be allocated.
  BYTE* Create(int width, int height, int bitsPerPixel);
  BYTE* GetBits() const;
  DWORD GetColorTableSize() const { return static_cast<DWORD>(m_nColours) * 4; }
  DWORD GetTotalSize() const;
  int GetBitCount() const { return m_header.biBitCount; }
  int GetWidth() const { return m_header.biWidth; }
  int GetHeight() const { return m_header.biHeight; }
  int GetStride() const { return m_nStride; }
  WORD GetColourCount() const { return m_nColours; }
  const BYTE* GetBlock() const { return m_pBlock; }
  BOOL Draw(HDC hdc, int x, int y) const;
  void SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue);
  // The entry's colour as a COLORREF (0 when there is none).
  COLORREF GetPaletteEntry(int index) const;
  // 8-bit surfaces; y counts from the top of the image.
  void SetPixel(int x, int y, BYTE value);
  BYTE GetPixel(int x, int y) const;
  void Tint(COLORREF colour, BYTE percent);
  void CopyFrom(const CDibSurface& other);
  void Fill(BYTE value);

 private:
  BYTE* m_pBlock = nullptr;
  BITMAPINFOHEADER m_header{};
  int m_nStride = 0;
  WORD m_nColours = 0;
};

class CTextureButton : public CIconButton {
 public:
  // The surfaces, in the order of the button's members.
  enum { kNormal = 0, kHoverCopy, kNormalCopy, kHover, kHorizontalDots, kVerticalDots, kSurfaces };

  CTextureButton();
  ~CTextureButton() override;

  // Builds the six surfaces for the button's present size (nothing for a button of no width or height).
  void CreateTexture(UINT pattern, BYTE noise, BYTE hoverTint, BYTE tintPercent, COLORREF tintColour);
  const CDibSurface& Surface(int index) const { return m_surfaces[index]; }

  DWORD DrawBackground(CDC* pDC, CRect* pRect) override;
  DWORD DrawBorder(CDC* pDC, CRect* pRect) override;

 private:
  CDibSurface m_surfaces[kSurfaces];
};

// Fills an 8-bit surface with a texture pattern (brightness values, see CTextureButton::CreateTexture); the
// platform's rand supplies the grain.
void PaintTexturePattern(CDibSurface& surface, UINT pattern, int noise);
