#include "controls/IconButton.h"

#include <cstdint>
#include <vector>

#include "platform/mfc/resource.h"

namespace {

// A disabled button's picture: its own shapes in light grey over what is under it. An embossed picture keeps
// only the outline of what is dark, which turns a mostly solid icon (a globe) into a plain disc.
void DrawFadedIcon(HDC target, int x, int y, int cx, int cy, HICON icon) {
  if (!target || !icon || cx <= 0 || cy <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = cx;
  info.bmiHeader.biHeight = -cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(target, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(target);
  if (!picture || !memory || !bits) {
    if (picture) DeleteObject(picture);
    if (memory) DeleteDC(memory);
    return;
  }
  HGDIOBJ old = SelectObject(memory, picture);
  const size_t n = static_cast<size_t>(cx) * cy;
  auto* pixels = static_cast<uint32_t*>(bits);
  // What lies under the picture, then the picture over it: a pixel the picture changed is faded towards grey.
  BitBlt(memory, 0, 0, cx, cy, target, x, y, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> under(pixels, pixels + n);
  DrawIconEx(memory, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL);
  GdiFlush();
  auto lum = [](uint32_t v) { return (((v >> 16) & 0xFF) * 3 + ((v >> 8) & 0xFF) * 6 + (v & 0xFF)) / 10; };
  for (size_t i = 0; i < n; ++i) {
    if (pixels[i] == under[i]) continue;
    const uint32_t grey = (lum(pixels[i]) * 2 + 255) / 3;
    const uint32_t back = lum(under[i]);
    // Half the picture's grey over the ground: light, but its lines and shapes stay apart.
    const uint32_t out = (grey + back) / 2;
    pixels[i] = (pixels[i] & 0xFF000000u) | (out << 16) | (out << 8) | out;
  }
  BitBlt(target, x, y, cx, cy, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(picture);
}

}  // namespace

BEGIN_MESSAGE_MAP(CIconButton, CButton)
  ON_WM_SETCURSOR()
  ON_WM_MOUSEMOVE()
  ON_WM_SYSCOLORCHANGE()
  ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
  ON_WM_ENABLE()
  ON_WM_KILLFOCUS()
  ON_WM_ACTIVATE()
  ON_WM_CANCELMODE()
  ON_WM_GETDLGCODE()
  ON_WM_CTLCOLOR_REFLECT()
  ON_MESSAGE(BM_SETSTYLE, OnSetStyle)
  ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

namespace {

constexpr int kToolId = 1;
constexpr int kMaxTipWidth = 400;

// An icon's size: twice its hot spot (the info bitmaps are let go at once). False when it cannot be read.
bool IconSize(HICON icon, int* width, int* height) {
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return false;
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  *width = static_cast<int>(info.xHotspot * 2);
  *height = static_cast<int>(info.yHotspot * 2);
  return true;
}

}  // namespace

CIconButton::CIconButton() {
  m_colours[kBackgroundIn] = m_colours[kBackgroundOut] = m_colours[kBackgroundFocus] = GetSysColor(COLOR_BTNFACE);
  m_colours[kForegroundIn] = m_colours[kForegroundOut] = m_colours[kForegroundFocus] = GetSysColor(COLOR_BTNTEXT);
}

CIconButton::~CIconButton() {
  FreeIcons();
  if (m_hCursor) DestroyCursor(m_hCursor);
  FreeParentBackground();
  if (m_toolTip.GetSafeHwnd()) m_toolTip.DestroyWindow();
}

void CIconButton::FreeIcons() {
  for (IconSlot& slot : m_icons) {
    if (slot.icon) DestroyIcon(slot.icon);
    slot = IconSlot{};
  }
}

DWORD CIconButton::SetIcons(WORD mainId, WORD awayId) {
  auto load = [](WORD id) -> HICON {
    if (!id) return nullptr;
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_GROUP_ICON);
    return static_cast<HICON>(LoadImage(module, MAKEINTRESOURCE(id), IMAGE_ICON, 0, 0, 0));
  };
  HICON main = load(mainId);
  HICON away = load(awayId);
  if (awayId && !away) {
    // The away icon was asked for and cannot be read: show none.
    if (main) DestroyIcon(main);
    FreeIcons();
    return 1;
  }
  return SetIconHandles(main, away);
}

DWORD CIconButton::SetIconHandles(HICON mainIcon, HICON awayIcon) {
  FreeIcons();
  m_icons[0].icon = mainIcon;
  bool ok = IconSize(mainIcon, &m_icons[0].width, &m_icons[0].height);
  if (ok && awayIcon) {
    m_icons[1].icon = awayIcon;
    ok = IconSize(awayIcon, &m_icons[1].width, &m_icons[1].height);
  } else if (awayIcon) {
    DestroyIcon(awayIcon);
  }
  if (!ok) {
    FreeIcons();
    return 1;
  }
  if (m_hWnd) Invalidate();
  return 0;
}

DWORD CIconButton::SetFlat(BOOL flat, BOOL repaint) {
  m_bIsFlat = flat;
  if (repaint && m_hWnd) Invalidate();
  return 0;
}

DWORD CIconButton::SetColor(BYTE slot, COLORREF colour, BOOL repaint) {
  if (slot >= kColourSlots) return 3;
  m_colours[slot] = colour;
  if (repaint && m_hWnd) Invalidate();
  return 0;
}

BOOL CIconButton::SetButtonCursor(WORD cursorId, BOOL repaint) {
  if (m_hCursor) DestroyCursor(m_hCursor);
  m_hCursor = nullptr;
  if (cursorId) {
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(cursorId), RT_GROUP_CURSOR);
    m_hCursor = static_cast<HCURSOR>(LoadImage(module, MAKEINTRESOURCE(cursorId), IMAGE_CURSOR, 0, 0, 0));
  }
  if (repaint && m_hWnd) Invalidate();
  return cursorId && !m_hCursor;
}

void CIconButton::InitToolTip() {
  if (m_toolTip.GetSafeHwnd() || !m_hWnd) return;
  if (!m_toolTip.Create(this)) return;
  m_toolTip.Activate(FALSE);
  m_toolTip.SetMaxTipWidth(kMaxTipWidth);
}

void CIconButton::SetTooltipText(const char* text, BOOL activate) {
  if (!text) return;
  InitToolTip();
  if (!m_toolTip.GetSafeHwnd()) return;
  if (m_toolTip.GetToolCount() == 0) {
    CRect client;
    GetClientRect(&client);
    m_toolTip.AddTool(this, text, &client, kToolId);
  }
  m_toolTip.UpdateTipText(text, this, kToolId);
  m_toolTip.Activate(activate);
}

BOOL CIconButton::PreTranslateMessage(MSG* pMsg) {
  InitToolTip();
  if (m_toolTip.GetSafeHwnd()) m_toolTip.RelayEvent(pMsg);
  return CButton::PreTranslateMessage(pMsg);
}

void CIconButton::PreSubclassWindow() {
  const UINT style = static_cast<UINT>(CWnd::GetStyle());
  m_nTypeStyle = style & 0x1F;
  if (m_nTypeStyle & BS_CHECKBOX) m_bIsCheckBox = TRUE;
  if (m_nTypeStyle == BS_DEFPUSHBUTTON) {
    m_bIsDefault = TRUE;
    m_nTypeStyle = BS_PUSHBUTTON;
  }
  ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW, SWP_FRAMECHANGED);
  CButton::PreSubclassWindow();
}

LRESULT CIconButton::OnSetStyle(WPARAM wParam, LPARAM lParam) {
  const UINT type = static_cast<UINT>(wParam) & BS_TYPEMASK;
  if (type == BS_DEFPUSHBUTTON) m_bIsDefault = TRUE;
  else if (type == BS_PUSHBUTTON) m_bIsDefault = FALSE;
  return CButton::DefWindowProc(BM_SETSTYLE, (wParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW, lParam);
}

UINT CIconButton::OnGetDlgCode() {
  UINT code = static_cast<UINT>(Default());
  code |= m_bIsDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON;
  return code;
}

LRESULT CIconButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // A double click presses the button a second time.
  if (message == WM_LBUTTONDBLCLK) message = WM_LBUTTONDOWN;
  return CButton::DefWindowProc(message, wParam, lParam);
}

BOOL CIconButton::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message) {
  if (m_hCursor) {
    ::SetCursor(m_hCursor);
    return TRUE;
  }
  return static_cast<BOOL>(Default());
}

void CIconButton::EndHover() {
  if (m_bIsFlat && m_bMouseOnButton) {
    m_bMouseOnButton = FALSE;
    Invalidate();
  }
}

void CIconButton::OnMouseMove(UINT nFlags, CPoint point) {
  CButton::OnMouseMove(nFlags, point);
  if (!m_bIsFlat) return;
  CPoint screen(point);
  ClientToScreen(&screen);
  CWnd* under = WindowFromPoint(screen);
  if ((nFlags & MK_LBUTTON) && !m_bMouseOnButton) return;
  const bool hovered = under && under->GetSafeHwnd() == m_hWnd && (m_bAlwaysTrack || ::GetActiveWindow() != nullptr);
  if (hovered) {
    if (!m_bMouseOnButton) {
      m_bMouseOnButton = TRUE;
      Invalidate();
      TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
      _TrackMouseEvent(&tme);
    }
  } else {
    EndHover();
  }
}

void CIconButton::OnMouseLeave() { EndHover(); }

void CIconButton::OnKillFocus(CWnd* pNewWnd) {
  CButton::OnKillFocus(pNewWnd);
  EndHover();
}

void CIconButton::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized) {
  CButton::OnActivate(nState, pWndOther, bMinimized);
  if (nState == WA_INACTIVE) EndHover();
}

void CIconButton::OnCancelMode() {
  CButton::OnCancelMode();
  EndHover();
}

void CIconButton::OnEnable(BOOL bEnable) {
  CButton::OnEnable(bEnable);
  if (!bEnable) {
    if (CWnd* parent = GetParent()) {
      CWnd* next = parent->GetNextDlgTabItem(this);
      if (next && next->GetSafeHwnd() != m_hWnd) next->SetFocus();
      else parent->SetFocus();
    }
    EndHover();
  }
}

void CIconButton::OnSysColorChange() {
  CButton::OnSysColorChange();
  FreeParentBackground();
}

BOOL CIconButton::OnClicked() {
  if (m_bIsCheckBox) {
    m_bChecked = !m_bChecked;
    Invalidate();
  }
  // The parent is told of the click too.
  return FALSE;
}

HBRUSH CIconButton::CtlColor(CDC* pDC, UINT nCtlColor) { return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); }

void CIconButton::FreeParentBackground() {
  if (m_dcBackground.GetSafeHdc()) {
    if (m_pOldBackground) m_dcBackground.SelectObject(m_pOldBackground);
    m_dcBackground.DeleteDC();
  }
  m_pOldBackground = nullptr;
  m_bmpBackground.DeleteObject();
}

void CIconButton::PaintParentBackground(CDC* pDC) {
  CRect client;
  GetClientRect(&client);
  if (!m_dcBackground.GetSafeHdc()) {
    CWnd* parent = GetParent();
    if (!parent) return;
    CRect inParent(client);
    ClientToScreen(&inParent);
    parent->ScreenToClient(&inParent);
    CClientDC parentDC(parent);
    m_dcBackground.CreateCompatibleDC(&parentDC);
    m_bmpBackground.CreateCompatibleBitmap(&parentDC, client.Width(), client.Height());
    m_pOldBackground = m_dcBackground.SelectObject(&m_bmpBackground);
    m_dcBackground.BitBlt(0, 0, client.Width(), client.Height(), &parentDC, inParent.left, inParent.top, SRCCOPY);
  }
  pDC->BitBlt(0, 0, client.Width(), client.Height(), &m_dcBackground, 0, 0, SRCCOPY);
}

DWORD CIconButton::DrawBackground(CDC* pDC, CRect* pRect) {
  COLORREF colour;
  if (m_bMouseOnButton || m_bIsPressed) colour = m_colours[kBackgroundIn];
  else colour = m_bIsFocused ? m_colours[kBackgroundFocus] : m_colours[kBackgroundOut];
  CBrush brush(colour);
  pDC->FillRect(pRect, &brush);
  return 0;
}

DWORD CIconButton::DrawBorder(CDC* pDC, CRect* pRect) {
  if (m_bIsPressed) pDC->Draw3dRect(pRect, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
  else pDC->Draw3dRect(pRect, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  return 0;
}

int CIconButton::ShownIcon() const {
  if (!m_icons[0].icon) return -1;
  const BOOL pressed = m_bIsPressed || (m_bIsCheckBox && m_bChecked);
  if (!m_icons[1].icon) return 0;
  const bool away = m_bIsCheckBox ? !pressed : (!pressed && !m_bMouseOnButton);
  return away ? 1 : 0;
}

void CIconButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  CDC* pDC = CDC::FromHandle(lpDIS->hDC);
  m_bIsPressed = (lpDIS->itemState & ODS_SELECTED) != 0 || (m_bIsCheckBox && m_bChecked);
  m_bIsFocused = (lpDIS->itemState & ODS_FOCUS) != 0;
  m_bIsDisabled = (lpDIS->itemState & ODS_DISABLED) != 0;
  CRect item(lpDIS->rcItem);
  pDC->SetBkMode(TRANSPARENT);

  if (!m_bIsFlat && (m_bIsFocused || m_bIsDefault)) {
    CBrush black(RGB(0, 0, 0));
    pDC->FrameRect(&item, &black);
    item.DeflateRect(1, 1);
  }
  if (m_bUseParentBackground) PaintParentBackground(pDC);
  else DrawBackground(pDC, &item);

  if (m_bIsPressed) {
    if (m_bIsFlat) {
      if (m_bDrawBorder) DrawBorder(pDC, &item);
    } else {
      CBrush shadow(GetSysColor(COLOR_BTNSHADOW));
      pDC->FrameRect(&item, &shadow);
    }
  } else if (m_bIsFlat) {
    if (m_bMouseOnButton && m_bDrawBorder) DrawBorder(pDC, &item);
  } else {
    const int l = item.left, t = item.top, r = item.right, b = item.bottom;
    CPen hi(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT)), light(PS_SOLID, 1, GetSysColor(COLOR_3DLIGHT));
    CPen dark(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW)), shadow(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    CPen* old = pDC->SelectObject(&hi);
    pDC->MoveTo(l, b - 1); pDC->LineTo(l, t); pDC->LineTo(r, t);
    pDC->SelectObject(&light);
    pDC->MoveTo(l + 1, b - 1); pDC->LineTo(l + 1, t + 1); pDC->LineTo(r, t + 1);
    pDC->SelectObject(&dark);
    pDC->MoveTo(l, b - 1); pDC->LineTo(r - 1, b - 1); pDC->LineTo(r - 1, t - 1);
    pDC->SelectObject(&shadow);
    pDC->MoveTo(l + 1, b - 2); pDC->LineTo(r - 2, b - 2); pDC->LineTo(r - 2, t);
    pDC->SelectObject(old);
  }

  CRect caption(lpDIS->rcItem);
  CString title;
  GetWindowText(title);

  const int shown = ShownIcon();
  if (shown >= 0) {
    const int w = m_icons[shown].width, h = m_icons[shown].height;
    CRect icon(lpDIS->rcItem);
    CRect client;
    GetClientRect(&client);
    switch (m_nAlignment) {
      case kAlignTop:
        icon.left += (icon.Width() - w) / 2;
        if (!title.IsEmpty()) {
          icon.top = 3;
          caption.top += h;
        } else {
          icon.top += (icon.Height() - h) / 2;
        }
        break;
      case kAlignRight:
        if (!title.IsEmpty()) {
          caption.right = caption.Width() - w - 3;
          caption.left = 3;
          icon.left = client.right - w - 3;
          icon.top += (icon.Height() - h) / 2;
        } else {
          icon.left += (icon.Width() - w) / 2;
        }
        break;
      default:
        if (!title.IsEmpty()) {
          icon.left += 3;
          caption.left += w + 3;
        } else {
          icon.left += (icon.Width() - w) / 2;
        }
        icon.top += (icon.Height() - h) / 2;
        break;
    }
    if (m_bIsPressed && !m_bIsCheckBox) icon.OffsetRect(1, 1);
    if (m_bIsDisabled) DrawFadedIcon(pDC->GetSafeHdc(), icon.left, icon.top, w, h, m_icons[shown].icon);
    else pDC->DrawState(icon.TopLeft(), CSize(w, h), m_icons[shown].icon, DSS_NORMAL, static_cast<HBRUSH>(nullptr));
  }

  if (!title.IsEmpty()) {
    if (m_bIsPressed && !m_bIsCheckBox) caption.OffsetRect(1, 1);
    CRect block(caption);
    pDC->DrawText(title, block, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    block.OffsetRect((caption.Width() - block.Width()) / 2, (caption.Height() - block.Height()) / 2);
    caption = block;
    if (m_bIsDisabled) {
      caption.OffsetRect(1, 1);
      pDC->SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
      pDC->DrawText(title, caption, DT_WORDBREAK | DT_CENTER);
      caption.OffsetRect(-1, -1);
      pDC->SetTextColor(GetSysColor(COLOR_BTNSHADOW));
      pDC->DrawText(title, caption, DT_WORDBREAK | DT_CENTER);
    } else {
      const bool in = m_bMouseOnButton || m_bIsPressed;
      pDC->SetTextColor(m_colours[in ? kForegroundIn : kForegroundOut]);
      pDC->SetBkColor(m_colours[in ? kBackgroundIn : kBackgroundOut]);
      pDC->DrawText(title, caption, DT_WORDBREAK | DT_CENTER);
    }
  }

  if (m_bIsFocused && (!m_bIsFlat || m_bDrawFlatFocus)) {
    CRect focus(item);
    focus.DeflateRect(3, 3);
    pDC->DrawFocusRect(&focus);
  }
}
