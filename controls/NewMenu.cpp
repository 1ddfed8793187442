#include "controls/NewMenu.h"

#include <algorithm>
#include <cmath>

#include "controls/GradientColours.h"
#include "controls/MenuHook.h"
#include "platform/ui/menu.h"
#include "platform/win32/errors.h"

IMPLEMENT_DYNCREATE(CNewMenu, CMenu)

namespace {

BYTE Cut(int v) { return static_cast<BYTE>(v & 0xFF); }

bool IsSystemCommand(UINT id) {
  const UINT masked = id & 0xFFF0;
  return masked >= 0xF000 && masked <= 0xF150;
}

void MakeMenuFont(CFont& font, BOOL bold) {
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  if (bold) ncm.lfMenuFont.lfWeight = FW_BOLD;
  font.CreateFontIndirect(&ncm.lfMenuFont);
}

// The label (before the first tab) and the accelerator (after the last one).
void SplitText(const CString& text, CString* label, CString* accelerator) {
  const int first = text.Find('\t');
  if (first < 0) {
    *label = text;
    accelerator->Empty();
    return;
  }
  *label = text.Left(first);
  *accelerator = text.Mid(text.ReverseFind('\t') + 1);
}

COLORREF MenuColour() { return GetSysColor(g_menuColorIndex); }

// A darkened copy of a colour for the flat menu bar's shadow (as the frame shadow fades in at the top).
int ShadowAmount(int i, int row) {
  if (row < 4) return 0;
  if (row < 8) return i * 3 * (row - 3);
  return i * 15;
}

}  // namespace

COLORREF ShadeSelection(COLORREF colour) {
  return RGB(Cut(MulDiv(GetRValue(colour), 7, 10)), Cut(MulDiv(GetGValue(colour), 7, 10)),
             Cut(MulDiv(GetBValue(colour) + 55, 7, 10)));
}

COLORREF BlendColors86(COLORREF first, COLORREF second) {
  auto mix = [&](int shift) {
    return Cut(MulDiv(86, (first >> shift) & 0xFF, 100) + MulDiv(14, (second >> shift) & 0xFF, 100));
  };
  return RGB(mix(0), mix(8), mix(16));
}

COLORREF BlendColors70(COLORREF first, COLORREF second) {
  auto mix = [&](int shift) {
    return Cut(MulDiv(7, (first >> shift) & 0xFF, 10) + MulDiv(3, (second >> shift) & 0xFF, 10));
  };
  return RGB(mix(0), mix(8), mix(16));
}

void DrawMarlettGlyph(CDC* dc, const CRect& rect, char glyph, BOOL bold) {
  CRect r(rect);
  r.DeflateRect(2, 2);
  CFont font;
  font.CreateFont(-r.Height(), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Marlett");
  CFont* old = dc->SelectObject(&font);
  const int mode = dc->SetBkMode(TRANSPARENT);
  const char text[2] = {glyph, 0};
  dc->DrawText(text, 1, r, DT_CENTER | DT_SINGLELINE);
  dc->SetBkMode(mode);
  dc->SelectObject(old);
}

void DrawStateGlyph(CDC* dc, const CRect& rect, char glyph, UINT state) {
  dc->SetTextColor(GetSysColor((state & (ODS_GRAYED | ODS_INACTIVE)) ? COLOR_GRAYTEXT : COLOR_MENUTEXT));
  DrawMarlettGlyph(dc, rect, glyph, (state & ODS_DEFAULT) != 0);
}

void DrawCheckGlyph(CDC* dc, CRect rect, BOOL radio, UINT state) {
  rect.DeflateRect(1, 1);
  if (IsKnownWindowsKind()) dc->DrawEdge(rect, BDR_SUNKENOUTER, BF_RECT);
  rect.InflateRect(2, 2);
  if (!radio) rect.OffsetRect(1, 2);
  DrawStateGlyph(dc, rect, radio ? 'i' : 'b', state);
}

char SystemGlyph(UINT id) {
  switch (id & 0xFFF0) {
    case SC_CLOSE: return 'r';
    case SC_MINIMIZE: return '0';
    case SC_MAXIMIZE: return '1';
    case SC_RESTORE: return '2';
    default: return 0;
  }
}

void DrawSystemGlyph(CDC* dc, const CRect& rect, UINT id, UINT state) {
  const char glyph = SystemGlyph(id);
  if (!glyph) return;
  int colour = COLOR_MENUTEXT;
  if (state & (ODS_GRAYED | ODS_INACTIVE)) colour = COLOR_GRAYTEXT;
  else if (state & ODS_SELECTED) colour = COLOR_HIGHLIGHTTEXT;
  dc->SetTextColor(GetSysColor(colour));
  DrawMarlettGlyph(dc, rect, glyph, (state & ODS_DEFAULT) != 0);
}

void DrawSystemGlyphEmbossed(CDC* dc, const CRect& rect, UINT id, UINT state) {
  const char glyph = SystemGlyph(id);
  if (!glyph) return;
  const BOOL bold = (state & ODS_DEFAULT) != 0;
  if (state & (ODS_GRAYED | ODS_INACTIVE)) {
    dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    DrawMarlettGlyph(dc, rect, glyph, bold);
  } else if (state & ODS_SELECTED) {
    dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    DrawMarlettGlyph(dc, rect, glyph, bold);
    CRect lifted(rect);
    lifted.OffsetRect(-2, -2);
    dc->SetTextColor(GetSysColor(COLOR_MENUTEXT));
    DrawMarlettGlyph(dc, lifted, glyph, bold);
  } else {
    dc->SetTextColor(GetSysColor(COLOR_MENUTEXT));
    DrawMarlettGlyph(dc, rect, glyph, bold);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// CNewMenu
// ---------------------------------------------------------------------------------------------------------------

CNewMenu::CNewMenu() = default;
CNewMenu::~CNewMenu() = default;

CNewMenuItemData* CNewMenu::AppendItem(UINT flags, UINT id, const char* text, DWORD titleFlags) {
  if (!m_hMenu && !CreatePopupMenu()) return nullptr;
  auto data = std::make_unique<CNewMenuItemData>();
  data->m_strText = text ? text : "";
  data->m_nFlags = flags;
  data->m_nCmd = (flags & MF_SEPARATOR) ? 0 : id;
  data->m_dwTitleFlags = titleFlags;
  // The bold flag is the item's own; the menu is told only what the window system knows.
  const UINT menuFlags = (flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED | MF_CHECKED)) | MF_OWNERDRAW;
  if (!CMenu::AppendMenu(menuFlags, (flags & MF_SEPARATOR) ? 0 : id, reinterpret_cast<LPCSTR>(data.get())))
    return nullptr;
  m_items.push_back(data.get());
  m_owned.push_back(std::move(data));
  return m_items.back();
}

// The operation is chosen into a variable of its own: a conditional expression of member-function pointers is
// built through a temporary that the compiler, instrumented, may read before it is set, and jumps to garbage.
void CNewMenu::MeasureItem(LPMEASUREITEMSTRUCT lpMIS) {
  MenuMeasureOp measure = &CNewMenu::MeasureStandard;
  if (const CMenuStyle* style = GetCurrentMenuStyle()) measure = style->m_pfnMeasure;
  if (measure) (this->*measure)(lpMIS, FALSE);
}

void CNewMenu::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  MenuDrawOp draw = &CNewMenu::DrawStandard;
  if (const CMenuStyle* style = GetCurrentMenuStyle()) draw = style->m_pfnDraw;
  if (draw) (this->*draw)(lpDIS, FALSE);
}

void CNewMenu::MeasureStandard(LPMEASUREITEMSTRUCT lpMIS, BOOL menuBar) { Measure(lpMIS, menuBar, 4); }

void CNewMenu::MeasureFlat(LPMEASUREITEMSTRUCT lpMIS, BOOL menuBar) { Measure(lpMIS, menuBar, 8); }

void CNewMenu::Measure(LPMEASUREITEMSTRUCT lpMIS, BOOL menuBar, int extraHeight) {
  auto* data = reinterpret_cast<CNewMenuItemData*>(lpMIS->itemData);
  if (!data) return;
  HDC desktop = GetDC(nullptr);
  CDC* dc = CDC::FromHandle(desktop);
  if (data->m_nFlags & MF_SEPARATOR) {
    if (data->m_dwTitleFlags & CNewMenuItemData::kTitle) {
      CFont font;
      font.CreatePointFont(160, "Arial", dc);
      CFont* old = dc->SelectObject(&font);
      SIZE extent{0, 0};
      GetTextExtentPoint32A(desktop, data->m_strText, data->m_strText.GetLength(), &extent);
      dc->SelectObject(old);
      const bool lines = (data->m_dwTitleFlags & CNewMenuItemData::kLines) != 0;
      if (data->m_dwTitleFlags & CNewMenuItemData::kVertical) {
        lpMIS->itemWidth = static_cast<UINT>(extent.cy * 3 / 4 - GetSystemMetrics(SM_CXMENUCHECK) + (lines ? 6 : 0));
        lpMIS->itemHeight = 0;
      } else {
        lpMIS->itemWidth = static_cast<UINT>(extent.cx * 3 / 4);
        lpMIS->itemHeight = static_cast<UINT>(extent.cy * 3 / 4 + (lines ? 6 : 0));
      }
    } else {
      lpMIS->itemHeight = 3;
    }
    ReleaseDC(nullptr, desktop);
    return;
  }
  CFont font;
  MakeMenuFont(font, (data->m_nFlags & 0x20) != 0);
  CFont* old = dc->SelectObject(&font);
  // The tab is no character of the text: its room is the fixed 15 pixels below.
  CString text = data->m_strText;
  const bool tab = text.Find('\t') >= 0;
  text.Remove('\t');
  const int textWidth = dc->GetTextExtent(text).cx;
  dc->SelectObject(old);
  ReleaseDC(nullptr, desktop);
  int width = textWidth + (menuBar ? 0 : 2 * m_nGlyphWidth + 2);
  if (tab) width += 15;
  lpMIS->itemWidth = static_cast<UINT>(std::max(width, 0));
  lpMIS->itemHeight = static_cast<UINT>(std::max(GetSystemMetrics(SM_CYMENU), m_nGlyphHeight + extraHeight));

  if (IsSystemCommand(data->m_nCmd)) {
    // A system command takes the width of the next item with a command id.
    auto it = std::find(m_items.begin(), m_items.end(), data);
    if (it != m_items.end()) {
      for (++it; it != m_items.end(); ++it) {
        if ((*it)->m_nCmd == 0) continue;
        MEASUREITEMSTRUCT next = *lpMIS;
        next.itemData = reinterpret_cast<ULONG_PTR>(*it);
        next.itemID = (*it)->m_nCmd;
        Measure(&next, menuBar, extraHeight);
        lpMIS->itemWidth = std::max(lpMIS->itemWidth, next.itemWidth);
        break;
      }
    }
    lpMIS->itemHeight = static_cast<UINT>(GetSystemMetrics(SM_CYMENU));
  }
}

void CNewMenu::RememberItemRect(HDC hdc, const RECT& item) {
  if (m_bRectLocked) return;
  HWND window = WindowFromDC(hdc);
  if (!window) return;
  CRect screen;
  ::GetWindowRect(window, &screen);
  m_itemRect = item;
  m_itemRect.OffsetRect(screen.left, screen.top);
}

BOOL CNewMenu::HasCheckImage(const CNewMenuItemData* data, UINT state) const {
  if (!m_pCheckImages || !(state & ODS_CHECKED) || data->m_nImageIndex >= 0) return FALSE;
  return ((state & ODS_SELECTED) && m_nSelectedCheckImages >= 1) || m_nCheckImages > 0;
}

BOOL CNewMenu::IsRadioItem(UINT id) const {
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_CHECKMARKS;
  if (!m_hMenu || !GetMenuItemInfoA(m_hMenu, id, FALSE, &info)) return FALSE;
  return info.hbmpChecked != nullptr;
}

void CNewMenu::DrawPicture(CDC* dc, const CNewMenuItemData* data, CPoint at, UINT state, BOOL selected) {
  CImageList* images = data->m_pImageList;
  int index = data->m_nImageIndex;
  if (!(images && index >= 0)) {
    if (!HasCheckImage(data, state)) return;
    images = m_pCheckImages;
    index = selected ? 1 : 0;
  }
  if (state & ODS_DISABLED) {
    HICON icon = images->ExtractIcon(index);
    if (icon) {
      int cx = m_nGlyphWidth, cy = m_nGlyphHeight;
      ImageList_GetIconSize(images->GetSafeHandle(), &cx, &cy);
      dc->DrawState(at, CSize(cx, cy), icon, DSS_DISABLED, static_cast<HBRUSH>(nullptr));
      DestroyIcon(icon);
    }
  } else {
    images->Draw(dc, index, at, ILD_TRANSPARENT);
  }
}

CNewMenuItemData* CNewMenu::BeginItem(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar, UINT* state) {
  auto* data = reinterpret_cast<CNewMenuItemData*>(lpDIS->itemData);
  if (!data) return nullptr;
  if ((data->m_nFlags & MF_SEPARATOR) && (data->m_dwTitleFlags & CNewMenuItemData::kTitle)) {
    DrawTitle(lpDIS, menuBar);
    return nullptr;
  }
  *state = lpDIS->itemState;
  if (menuBar && !m_bPressedLook && (*state & ODS_SELECTED)) *state = (*state & ~ODS_SELECTED) | ODS_HOTLIGHT;
  return data;
}

void CNewMenu::DrawStandard(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar) {
  UINT state = 0;
  CNewMenuItemData* data = BeginItem(lpDIS, menuBar, &state);
  if (!data) return;
  CDC* dc = CDC::FromHandle(lpDIS->hDC);
  CRect rect(lpDIS->rcItem);
  const bool selected = (state & ODS_SELECTED) != 0;
  const COLORREF background = GetSysColor(menuBar ? g_menuColorIndex : COLOR_MENU);
  if (!menuBar) {
    dc->FillSolidRect(rect.left + 1, rect.top, 8 + m_nGlyphWidth, rect.Height(), background);
    dc->FillSolidRect(rect, background);
  } else {
    rect.right -= 5;
    rect.OffsetRect(1, -1);
    RememberItemRect(lpDIS->hDC, rect);
  }
  if (data->m_nFlags & MF_SEPARATOR) {
    CRect line(rect);
    line.left += 1;
    dc->FillSolidRect(line, background);
    dc->DrawEdge(line, EDGE_ETCHED, BF_TOP);
    return;
  }
  const bool picture = data->m_pImageList && data->m_nImageIndex >= 0;
  const bool checkImage = HasCheckImage(data, state) != 0;
  const bool checked = (state & ODS_CHECKED) != 0;
  if (!menuBar) {
    if (selected) {
      CRect fill(rect);
      if (picture || checkImage || checked) fill.left += 6 + m_nGlyphWidth;
      dc->FillSolidRect(fill, GetSysColor(COLOR_HIGHLIGHT));
    }
  } else if (selected) {
    dc->Draw3dRect(rect, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DHILIGHT));
  } else if ((state & ODS_HOTLIGHT) && !(state & ODS_INACTIVE)) {
    dc->Draw3dRect(rect, GetSysColor(COLOR_3DHILIGHT), GetSysColor(COLOR_3DSHADOW));
  }

  if (!menuBar) {
    const int dy = static_cast<int>(std::floor((rect.Height() - m_nGlyphHeight) / 4.0));
    CRect cell(rect.left + 3, rect.top + dy + 1, rect.left + 3 + m_nGlyphWidth, rect.top + dy + 1 + m_nGlyphHeight);
    const CPoint corner = cell.TopLeft();
    cell.InflateRect(2, 2);
    if (picture || checkImage) {
      if (IsKnownWindowsKind() && picture) {
        if (checked) dc->Draw3dRect(cell, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DHILIGHT));
        else if (selected) dc->Draw3dRect(cell, GetSysColor(COLOR_3DHILIGHT), GetSysColor(COLOR_3DSHADOW));
      }
      DrawPicture(dc, data, corner, state, selected);
    } else if (checked) {
      DrawCheckGlyph(dc, cell, IsRadioItem(data->m_nCmd), state);
    } else if (IsSystemCommand(data->m_nCmd)) {
      DrawSystemGlyph(dc, cell, data->m_nCmd, state);
    }
  }

  CString label, accelerator;
  SplitText(data->m_strText, &label, &accelerator);
  CFont font;
  MakeMenuFont(font, (data->m_nFlags & 0x20) != 0);
  CFont* oldFont = dc->SelectObject(&font);
  const int oldMode = dc->SetBkMode(TRANSPARENT);
  CRect text(rect);
  text.OffsetRect(0, -1);
  if (menuBar) {
    text.left += 6;
    if (selected) text.OffsetRect(1, 1);
  } else {
    text.left += 12 + m_nGlyphWidth;
  }
  const UINT labelFormat = menuBar ? (DT_CENTER | DT_VCENTER | DT_SINGLELINE) : (DT_VCENTER | DT_SINGLELINE);
  const UINT accelFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
  CRect accelRect(text);
  accelRect.right -= m_nGlyphWidth;
  auto draw = [&](const CRect& at, COLORREF colour) {
    CRect l(at), a(accelRect);
    a.OffsetRect(at.left - text.left, at.top - text.top);
    dc->SetTextColor(colour);
    dc->DrawText(label, l, labelFormat);
    if (!accelerator.IsEmpty()) dc->DrawText(accelerator, a, accelFormat);
  };
  if (state & ODS_GRAYED) {
    if (selected) {
      draw(text, background);
    } else {
      CRect raised(text);
      raised.OffsetRect(1, 1);
      draw(raised, GetSysColor(COLOR_3DHILIGHT));
      draw(text, GetSysColor(COLOR_GRAYTEXT));
    }
  } else {
    int colour = COLOR_MENUTEXT;
    if (!menuBar && selected) colour = COLOR_HIGHLIGHTTEXT;
    else if (menuBar && (state & ODS_INACTIVE)) colour = COLOR_GRAYTEXT;
    draw(text, GetSysColor(colour));
  }
  dc->SetBkMode(oldMode);
  dc->SelectObject(oldFont);
}

void CNewMenu::DrawFlat(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar) {
  UINT state = 0;
  CNewMenuItemData* data = BeginItem(lpDIS, menuBar, &state);
  if (!data) return;
  CDC* dc = CDC::FromHandle(lpDIS->hDC);
  CRect rect(lpDIS->rcItem);
  const COLORREF window = GetSysColor(COLOR_WINDOW), menu = MenuColour();
  COLORREF background = BlendColors86(window, menu);
  const COLORREF band = BlendColors86(menu, window);
  COLORREF selection = BlendColors70(window, GetSysColor(COLOR_HIGHLIGHT));
  const bool hot = (state & ODS_HOTLIGHT) != 0, inactive = (state & ODS_INACTIVE) != 0;
  if (menuBar) {
    background = menu;
    if (!hot) selection = band;
  }
  CPen highlight(PS_SOLID, 0, GetSysColor(COLOR_HIGHLIGHT));
  CRect textArea(rect);
  const CRect whole(rect);
  if (!menuBar) {
    const int bandRight = rect.left + 8 + m_nGlyphWidth;
    dc->FillSolidRect(rect.left, rect.top, bandRight - rect.left, rect.Height(), band);
    dc->FillSolidRect(bandRight, rect.top, rect.right - bandRight, rect.Height(), background);
    textArea.left = bandRight + 4;
    textArea.right = rect.right - 15;
  } else {
    rect.right -= 4;
    textArea = rect;
  }
  if (data->m_nFlags & MF_SEPARATOR) {
    const int y = rect.top + rect.Height() / 2;
    dc->FillSolidRect(textArea.left, y, rect.right + 1 - textArea.left, 1, GetSysColor(COLOR_GRAYTEXT));
    return;
  }
  const bool selected = (state & ODS_SELECTED) || hot || inactive;
  if (menuBar && selected && !inactive) {
    RememberItemRect(lpDIS->hDC, rect);
    if (!hot) {
      // The shadow in the four pixels the selection box leaves at the item's right edge.
      for (int i = 1; i <= 4; ++i)
        for (int row = 0; row < whole.Height(); ++row)
          dc->SetPixel(whole.right - i, whole.top + row, DarkenColor(ShadowAmount(i, row), menu));
    }
  }
  if (selected && !inactive) {
    CBrush brush(selection);
    CPen* oldPen = dc->SelectObject(&highlight);
    CBrush* oldBrush = dc->SelectObject(&brush);
    dc->Rectangle(rect);
    dc->SelectObject(oldBrush);
    dc->SelectObject(oldPen);
  }

  CString label, accelerator;
  SplitText(data->m_strText, &label, &accelerator);
  CFont font;
  MakeMenuFont(font, (data->m_nFlags & 0x20) != 0);
  CFont* oldFont = dc->SelectObject(&font);
  const int oldMode = dc->SetBkMode(TRANSPARENT);
  const bool grey = (state & ODS_GRAYED) || (menuBar && inactive);
  dc->SetTextColor(GetSysColor(grey ? COLOR_GRAYTEXT : COLOR_MENUTEXT));
  if (menuBar) {
    CRect at(rect);
    dc->DrawText(label, at, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  } else {
    CRect at(textArea);
    dc->DrawText(label, at, DT_VCENTER | DT_SINGLELINE);
    if (!accelerator.IsEmpty()) dc->DrawText(accelerator, at, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  }
  dc->SetBkMode(oldMode);
  dc->SelectObject(oldFont);

  if (menuBar) return;
  CRect cell(rect.left + 3, rect.top + 4, rect.left + 3 + m_nGlyphWidth, rect.top + 4 + m_nGlyphHeight);
  const bool picture = data->m_pImageList && data->m_nImageIndex >= 0;
  const bool checked = (state & ODS_CHECKED) != 0;
  auto box = [&](CRect r) {
    r.DeflateRect(1, 1);
    CBrush brush((state & ODS_SELECTED) ? ShadeSelection(selection) : background);
    CPen* oldPen = dc->SelectObject(&highlight);
    CBrush* oldBrush = dc->SelectObject(&brush);
    dc->Rectangle(r);
    dc->SelectObject(oldBrush);
    dc->SelectObject(oldPen);
  };
  if (picture) {
    if (checked) box(cell);
    if ((state & ODS_SELECTED) && !checked && !(state & ODS_DISABLED)) {
      HICON icon = data->m_pImageList->ExtractIcon(data->m_nImageIndex);
      if (icon) {
        CBrush shade(ShadeSelection(selection));
        dc->DrawState(cell.TopLeft() + CPoint(1, 1), CSize(m_nGlyphWidth, m_nGlyphHeight), icon, DSS_MONO,
                      static_cast<HBRUSH>(shade));
        DestroyIcon(icon);
      }
      DrawPicture(dc, data, cell.TopLeft() - CPoint(1, 1), state, TRUE);
    } else {
      DrawPicture(dc, data, cell.TopLeft(), state, (state & ODS_SELECTED) != 0);
    }
  } else if (HasCheckImage(data, state)) {
    DrawPicture(dc, data, cell.TopLeft(), state, (state & ODS_SELECTED) != 0);
  } else if (checked) {
    box(cell);
    CRect mark(cell);
    mark.DeflateRect(2, 2);
    DrawStateGlyph(dc, mark, IsRadioItem(data->m_nCmd) ? 'i' : 'b', state);
  } else if (IsSystemCommand(data->m_nCmd)) {
    DrawSystemGlyphEmbossed(dc, cell, data->m_nCmd, state);
  }
}

void CNewMenu::DrawSolidMenuBar(LPDRAWITEMSTRUCT lpDIS, BOOL menuBar) {
  if (!menuBar) {
    DrawStandard(lpDIS, menuBar);
    return;
  }
  auto* data = reinterpret_cast<CNewMenuItemData*>(lpDIS->itemData);
  if (!data) return;
  CDC* dc = CDC::FromHandle(lpDIS->hDC);
  CRect rect(lpDIS->rcItem);
  const UINT state = lpDIS->itemState;
  const bool lit = (state & (ODS_SELECTED | ODS_HOTLIGHT)) != 0;
  if (lit) {
    dc->FillSolidRect(rect, GetSysColor(COLOR_HIGHLIGHT));
    RememberItemRect(lpDIS->hDC, rect);
  } else {
    dc->FillSolidRect(rect, MenuColour());
  }
  int colour = COLOR_MENUTEXT;
  if (state & ODS_GRAYED) colour = COLOR_GRAYTEXT;
  else if (lit) colour = COLOR_HIGHLIGHTTEXT;
  CFont font;
  MakeMenuFont(font, (data->m_nFlags & 0x20) != 0);
  CFont* oldFont = dc->SelectObject(&font);
  const int oldMode = dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(GetSysColor(colour));
  dc->DrawText(data->m_strText, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  dc->SetBkMode(oldMode);
  dc->SelectObject(oldFont);
}

void CNewMenu::DrawTitle(LPDRAWITEMSTRUCT lpDIS, BOOL) {
  auto* data = reinterpret_cast<CNewMenuItemData*>(lpDIS->itemData);
  if (!data) return;
  CDC* dc = CDC::FromHandle(lpDIS->hDC);
  const DWORD flags = data->m_dwTitleFlags;
  const bool vertical = (flags & CNewMenuItemData::kVertical) != 0;
  const COLORREF caption = GetSysColor(COLOR_ACTIVECAPTION);
  const COLORREF second = BlendColors86(GetSysColor(COLOR_WINDOW), MenuColour());
  CRect rect(lpDIS->rcItem);
  CFont font;
  const int escapement = vertical ? 900 : 0;
  font.CreateFont(16, 0, escapement, escapement, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  CPoint origin;
  if (vertical) {
    CRect clip;
    dc->GetClipBox(&clip);
    rect.top = clip.top;
    rect.bottom = clip.bottom;
    rect.right += GetSystemMetrics(SM_CXMENUCHECK);
    origin = CPoint(rect.left + 2, rect.bottom - 4);
  } else {
    origin = CPoint(rect.left + 2, rect.top);
  }
  if (flags & CNewMenuItemData::kGradient) {
    // The two colours run along the strip.
    CGradientColours ramp;
    if (vertical) {
      ramp.SetColours(2, second, caption);
      ramp.SetDirection(CGradientColours::kLeftToRight);
    } else {
      ramp.SetColours(2, caption, second);
      ramp.SetDirection(CGradientColours::kRightToLeft);
    }
    ramp.Draw(dc, rect.left, rect.top, rect.right, rect.bottom, 0, -1, 0);
  } else if (flags & CNewMenuItemData::kRounded) {
    CRect round(rect);
    if (vertical) {
      round.right = round.left + 21;
      origin.y -= 2;
    } else {
      origin.x += 10;
    }
    CBrush brush(caption);
    CBrush* oldBrush = dc->SelectObject(&brush);
    CGdiObject* oldPen = dc->SelectStockObject(WHITE_PEN);
    dc->RoundRect(round, CPoint(10, 10));
    dc->SelectObject(oldPen);
    dc->SelectObject(oldBrush);
  } else {
    dc->FillSolidRect(rect, caption);
  }
  if (flags & CNewMenuItemData::kFrame) dc->Draw3dRect(rect, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DHILIGHT));

  CFont* oldFont = dc->SelectObject(&font);
  const COLORREF oldColour = dc->SetTextColor(GetSysColor(COLOR_CAPTIONTEXT));
  const int oldMode = dc->SetBkMode(TRANSPARENT);
  const CSize extent = dc->GetTextExtent(data->m_strText);
  if (flags & CNewMenuItemData::kCentred) {
    if (vertical) origin.y = rect.bottom - (rect.Height() - extent.cx) / 2;
    else origin.x = rect.left + (rect.Width() - extent.cx) / 2;
  }
  dc->TextOut(origin.x, origin.y, data->m_strText);
  if (flags & CNewMenuItemData::kLines) {
    const COLORREF hi = GetSysColor(COLOR_3DHILIGHT), shadow = GetSysColor(COLOR_3DSHADOW);
    if (vertical) {
      dc->Draw3dRect(CRect(rect.left + 20, rect.top + 5, rect.left + 22, rect.bottom - 5), shadow, hi);
      dc->Draw3dRect(CRect(rect.left + 23, rect.top + 15, rect.left + 25, rect.bottom - 15), shadow, hi);
    } else {
      dc->Draw3dRect(CRect(rect.left + 2, rect.bottom - 7, rect.right - 2, rect.bottom - 5), hi, shadow);
      dc->Draw3dRect(CRect(rect.left + 12, rect.bottom - 4, rect.right - 12, rect.bottom - 2), shadow, hi);
    }
  }
  dc->SetBkMode(oldMode);
  dc->SetTextColor(oldColour);
  dc->SelectObject(oldFont);
}
