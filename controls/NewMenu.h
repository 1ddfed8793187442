// The owner-drawn menu: a CMenu that keeps one CNewMenuItemData per item and measures and draws its items in
// the look of the current menu style (standard 3D, flat with blended colours, solid menu-bar blocks), with
// caption strips for title separators. Items added with AppendItem are owner-drawn; the window system asks the
// attached CNewMenu to measure and draw them, and it hands the work to the current style's operations.
#pragma once

#include <memory>
#include <vector>

#include "platform/mfc/afxwin.h"

class CNewMenuItemData {
 public:
  // Title flags.
  enum {
    kTitle = 0x01,
    kVertical = 0x02,
    kGradient = 0x04,
    kFrame = 0x08,
    kLines = 0x10,
    kRounded = 0x20,
    kCentred = 0x40
  };
  const char* GetString() const { return m_strText; }

  CString m_strText;
  DWORD m_dwTitleFlags = 0;
  UINT m_nFlags = 0;  // the menu item's flags: MF_SEPARATOR; 0x20 makes the text bold
  UINT m_nCmd = 0;
  int m_nImageIndex = -1;
  CImageList* m_pImageList = nullptr;
};

using CNewMenuItemArray = std::vector<CNewMenuItemData*>;

class CNewMenu : public CMenu {
  DECLARE_DYNCREATE(CNewMenu)
 public:
  CNewMenu();
  ~CNewMenu() override;

  // Appends an owner-drawn item (flags as AppendMenu's, plus title flags for a separator); the menu owns the item
  // data. Returns the data, or null when the item cannot be added.
  CNewMenuItemData* AppendItem(UINT flags, UINT id, const char* text, DWORD titleFlags = 0);
  const CNewMenuItemArray& Items() const { return m_items; }

  void MeasureStandard(LPMEASUREITEMSTRUCT lpMIS, BOOL menuBar);
  void MeasureFlat(LPMEASUREITEMSTRUCT lpMIS, BOOL menuBar);
  void DrawStandard(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar);
  void DrawFlat(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar);
  void DrawSolidMenuBar(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar);
  void DrawTitle(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar);

  void RememberItemRect(HDC hdc, const RECT& item);
  CRect GetItemRect() const { return m_itemRect; }
  BOOL IsRectLocked() const { return m_bRectLocked; }
  void LockRect(BOOL lock) { m_bRectLocked = lock; }

  // The window system's owner-draw requests go to the current style's operations.
  void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

  int m_nGlyphWidth = 16;
  int m_nGlyphHeight = 16;
  CImageList* m_pCheckImages = nullptr;
  int m_nSelectedCheckImages = 0;  // check images for selected items when at least 1
  int m_nCheckImages = 0;          // check images for items when above 0
  BOOL m_bPressedLook = TRUE;

 private:
  void Measure(LPMEASUREITEMSTRUCT lpMIS, BOOL menuBar, int extraHeight);
  // The item's data and the state to draw (a selected menu-bar item without the pressed look is hot); null when
  // there is nothing more to draw (no data, or a title separator, which the title operation has drawn).
  CNewMenuItemData* BeginItem(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar, UINT* state);
  BOOL HasCheckImage(const CNewMenuItemData* data, UINT state) const;
  // Whether the item asks for the radio mark (its checked-state bitmap is set).
  BOOL IsRadioItem(UINT id) const;
  void DrawPicture(CDC* dc, const CNewMenuItemData* data, CPoint at, UINT state, BOOL selected);

  CNewMenuItemArray m_items;
  std::vector<std::unique_ptr<CNewMenuItemData>> m_owned;
  CRect m_itemRect{0, 0, 0, 0};
  BOOL m_bRectLocked = FALSE;
};

// Colour and glyph routines the menu drawing shares.
COLORREF ShadeSelection(COLORREF colour);
COLORREF BlendColors86(COLORREF first, COLORREF second);
COLORREF BlendColors70(COLORREF first, COLORREF second);
void DrawMarlettGlyph(CDC* dc, const CRect& rect, char glyph, BOOL bold);
void DrawStateGlyph(CDC* dc, const CRect& rect, char glyph, UINT state);
void DrawCheckGlyph(CDC* dc, CRect rect, BOOL radio, UINT state);
// The glyph of a system command ("r" close, "0" minimise, "1" maximise, "2" restore), 0 for any other.
char SystemGlyph(UINT id);
void DrawSystemGlyph(CDC* dc, const CRect& rect, UINT id, UINT state);
void DrawSystemGlyphEmbossed(CDC* dc, const CRect& rect, UINT id, UINT state);
