// A device-independent bitmap read from a ".bmp" file, with its own palette, drawn into a device context
// stretched or not. Read checks the file before it trusts any size in it: a file that does not hold what its
// headers promise leaves the bitmap empty.
#pragma once

#include "platform/mfc/afxwin.h"
#include "platform/mfc/carchive.h"
#include "platform/mfc/cfile.h"

class CDib : public CObject {
  DECLARE_DYNAMIC(CDib)
 public:
  CDib();
  ~CDib() override;
  CDib(const CDib&) = delete;
  CDib& operator=(const CDib&) = delete;

  BOOL IsValid() const { return m_pInfo != nullptr; }
  // biWidth and biHeight of the header (a negative height is a top-down bitmap); 0 when empty.
  LONG Width() const;
  LONG Height() const;
  // biClrUsed, else 2, 16 or 256 for 1, 4 and 8 bits per pixel, else 0.
  DWORD NumColors() const;
  DWORD PaletteSize() const { return NumColors() * 4; }
  BOOL CreatePalette();
  CPalette* GetPalette() const { return m_pPalette; }
  BOOL Paint(HDC hdc, const RECT* dest, const RECT* source);
  // The bytes read; 0 (and an empty bitmap) for anything that is not a sound bitmap file.
  DWORD Read(CFile* file);
  // The bytes written; 0 when empty.
  DWORD Save(CFile* file);
  // Save when storing, Read when loading; the byte count is kept in GetSerializedBytes.
  void Serialize(CArchive& ar) override;
  DWORD GetSerializedBytes() const { return m_dwSerialized; }
  void Free();

  const BITMAPINFO* GetInfo() const { return reinterpret_cast<const BITMAPINFO*>(m_pInfo); }
  const BYTE* GetBits() const { return m_pBits; }

 private:
  // Bytes of the colour table and of the colour masks that follow the header.
  DWORD TableBytes() const;

  BYTE* m_pBits = nullptr;
  BYTE* m_pInfo = nullptr;
  CPalette* m_pPalette = nullptr;
  DWORD m_dwSerialized = 0;
};
