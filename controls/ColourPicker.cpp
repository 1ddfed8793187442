#include "controls/ColourPicker.h"

#include <algorithm>
#include <vector>

#include "controls/ControlsHost.h"

const ColourTableEntry kColourTable[40] = {
    {RGB(0x00, 0x00, 0x00), "Black"},          {RGB(0xA5, 0x2A, 0x00), "Brown"},
    {RGB(0x00, 0x40, 0x40), "Dark Olive Green"}, {RGB(0x00, 0x55, 0x00), "Dark Green"},
    {RGB(0x00, 0x00, 0x5E), "Dark Teal"},      {RGB(0x00, 0x00, 0x8B), "Dark blue"},
    {RGB(0x4B, 0x00, 0x82), "Indigo"},         {RGB(0x28, 0x28, 0x28), "Dark grey"},
    {RGB(0x8B, 0x00, 0x00), "Dark red"},       {RGB(0xFF, 0x68, 0x20), "Orange"},
    {RGB(0x8B, 0x8B, 0x00), "Dark yellow"},    {RGB(0x00, 0x93, 0x00), "Green"},
    {RGB(0x38, 0x8E, 0x8E), "Teal"},           {RGB(0x00, 0x00, 0xFF), "Blue"},
    {RGB(0x7B, 0x7B, 0xC0), "Blue-grey"},      {RGB(0x66, 0x66, 0x66), "Grey - 40"},
    {RGB(0xFF, 0x00, 0x00), "Red"},            {RGB(0xFF, 0xAD, 0x5B), "Light orange"},
    {RGB(0x32, 0xCD, 0x32), "Lime"},           {RGB(0x3C, 0xB3, 0x71), "Sea green"},
    {RGB(0x7F, 0xFF, 0xD4), "Aqua"},           {RGB(0x7D, 0x9E, 0xC0), "Light blue"},
    {RGB(0x80, 0x00, 0x80), "Violet"},         {RGB(0x7F, 0x7F, 0x7F), "Grey - 50"},
    {RGB(0xFF, 0xC0, 0xCB), "Pink"},           {RGB(0xFF, 0xD7, 0x00), "Gold"},
    {RGB(0xFF, 0xFF, 0x00), "Yellow"},         {RGB(0x00, 0xFF, 0x00), "Bright green"},
    {RGB(0x40, 0xE0, 0xD0), "Turquoise"},      {RGB(0xC0, 0xFF, 0xFF), "Skyblue"},
    {RGB(0x48, 0x00, 0x48), "Plum"},           {RGB(0xC0, 0xC0, 0xC0), "Light grey"},
    {RGB(0xFF, 0xE4, 0xE1), "Rose"},           {RGB(0xD2, 0xB4, 0x8C), "Tan"},
    {RGB(0xFF, 0xFF, 0xE0), "Light yellow"},   {RGB(0x98, 0xFB, 0x98), "Pale green "},
    {RGB(0xAF, 0xEE, 0xEE), "Pale turquoise"}, {RGB(0x68, 0x83, 0x8B), "Pale blue"},
    {RGB(0xE6, 0xE6, 0xFA), "Lavender"},       {RGB(0xFF, 0xFF, 0xFF), "White"},
};

namespace {
constexpr COLORREF kPaletteRgb = 0x02000000;
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// CColourPicker
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CColourPicker, CButton)

BEGIN_MESSAGE_MAP(CColourPicker, CButton)
  ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
  ON_WM_CREATE()
  ON_MESSAGE(WM_CP_SELENDOK, OnSelEndOK)
  ON_MESSAGE(WM_CP_SELENDCANCEL, OnSelEndCancel)
  ON_MESSAGE(WM_CP_SELCHANGE, OnSelChange)
END_MESSAGE_MAP()

CColourPicker::CColourPicker()
    : m_crFace(GetSysColor(COLOR_BTNFACE)),
      m_crText(GetSysColor(COLOR_BTNTEXT)),
      m_strDefaultText(ControlText(5001)),
      m_strCustomText(ControlText(5002)) {}

CColourPicker::~CColourPicker() = default;

COLORREF CColourPicker::GetColour() const { return m_nSelectionMode == 1 ? m_crText : m_crFace; }

void CColourPicker::SetColour(COLORREF colour) {
  if (m_nSelectionMode == 1) SetTextColour(colour);
  else SetBkColour(colour);
}

void CColourPicker::SetBkColour(COLORREF colour) {
  m_crFace = colour;
  if (m_hWnd) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CColourPicker::SetTextColour(COLORREF colour) {
  m_crText = colour;
  if (m_hWnd) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void DDX_ColourPicker(CDataExchange* pDX, int nIDC, COLORREF& colour) {
  HWND control = pDX->PrepareCtrl(nIDC);
  auto* picker = dynamic_cast<CColourPicker*>(CWnd::FromHandlePermanent(control));
  if (!picker) return;
  if (pDX->m_bSaveAndValidate) colour = picker->GetColour();
  else picker->SetColour(colour);
}

void CColourPicker::PreSubclassWindow() {
  ModifyStyle(0, BS_OWNERDRAW);
  CButton::PreSubclassWindow();
  SetWindowSize();
}

int CColourPicker::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CButton::OnCreate(lpCreateStruct) == -1) return -1;
  SetWindowSize();
  return 0;
}

void CColourPicker::SetWindowSize() {
  if (!m_hWnd) return;
  const int cx = GetSystemMetrics(SM_CXEDGE), cy = GetSystemMetrics(SM_CYEDGE);
  const int arrowWidth = std::max(GetSystemMetrics(SM_CXHTHUMB), 5 * cx);
  const int arrowHeight = std::max(GetSystemMetrics(SM_CYVTHUMB), 5 * cy);
  const int arrow = std::max(arrowWidth, arrowHeight);
  CRect rect;
  GetWindowRect(&rect);
  if (CWnd* parent = GetParent()) parent->ScreenToClient(&rect);
  const int width = std::max(rect.Width(), 2 * cx + 2 * arrow);
  MoveWindow(rect.left, rect.top, width, arrow + 2 * cy, TRUE);
  CRect client;
  GetClientRect(&client);
  m_arrowRect.SetRect(client.right - arrow - cx, client.top + cy, client.right - cx, client.bottom - cy);
}

void CColourPicker::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  CDC* pDC = CDC::FromHandle(lpDIS->hDC);
  CRect rect(lpDIS->rcItem);
  const UINT state = lpDIS->itemState;
  const bool disabled = (state & ODS_DISABLED) != 0;
  CString text;
  GetWindowText(text);

  if (!m_arrowRect.IsRectEmpty()) {
    UINT frame = DFCS_SCROLLDOWN;
    if ((state & ODS_SELECTED) || m_bActive) frame |= DFCS_PUSHED;
    if (disabled) frame |= DFCS_INACTIVE;
    CRect arrow(m_arrowRect);
    pDC->DrawFrameControl(&arrow, DFC_SCROLL, frame);
  }
  pDC->DrawEdge(rect, EDGE_SUNKEN, BF_RECT);
  rect.DeflateRect(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE));
  rect.right -= m_arrowRect.Width();
  const COLORREF face = (disabled || m_crFace == CLR_DEFAULT) ? GetSysColor(COLOR_BTNFACE) : m_crFace;
  pDC->FillSolidRect(rect, face);

  if (!text.IsEmpty()) {
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    if (disabled) {
      rect.OffsetRect(1, 1);
      pDC->SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
      pDC->DrawText(text, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      rect.OffsetRect(-1, -1);
      pDC->SetTextColor(GetSysColor(COLOR_BTNSHADOW));
      pDC->DrawText(text, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    } else {
      pDC->SetTextColor(m_crText == CLR_DEFAULT ? RGB(0, 0, 0) : m_crText);
      pDC->DrawText(text, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    pDC->SetBkMode(oldMode);
  }
  if (state & ODS_FOCUS) {
    rect.DeflateRect(1, 1);
    pDC->DrawFocusRect(rect);
  }
}

BOOL CColourPicker::OnClicked() {
  m_bActive = TRUE;
  CRect rect;
  GetWindowRect(&rect);
  auto* popup = new CColourPopup(CPoint(rect.left, rect.bottom), GetColour(), this, m_strDefaultText,
                                 m_strCustomText);
  if (!popup->GetSafeHwnd()) {
    // No window, so nothing would ever end the selection: give the object back and the button its state.
    delete popup;
    m_bActive = FALSE;
    return TRUE;
  }
  if (CWnd* parent = GetParent()) parent->SendMessage(WM_CP_DROPDOWN, GetColour(), GetDlgCtrlID());
  return TRUE;
}

LRESULT CColourPicker::OnSelEndOK(WPARAM wParam, LPARAM) {
  const COLORREF colour = static_cast<COLORREF>(wParam);
  m_bActive = FALSE;
  const COLORREF before = GetColour();
  SetColour(colour);
  if (CWnd* parent = GetParent()) {
    parent->SendMessage(WM_CP_CLOSEUP, colour, GetDlgCtrlID());
    parent->SendMessage(WM_CP_SELENDOK, colour, GetDlgCtrlID());
    if (colour != before) parent->SendMessage(WM_CP_SELCHANGE, colour, GetDlgCtrlID());
  }
  return TRUE;
}

LRESULT CColourPicker::OnSelEndCancel(WPARAM wParam, LPARAM) {
  const COLORREF colour = static_cast<COLORREF>(wParam);
  m_bActive = FALSE;
  SetColour(colour);
  if (CWnd* parent = GetParent()) {
    parent->SendMessage(WM_CP_CLOSEUP, colour, GetDlgCtrlID());
    parent->SendMessage(WM_CP_SELENDCANCEL, colour, GetDlgCtrlID());
  }
  return TRUE;
}

LRESULT CColourPicker::OnSelChange(WPARAM wParam, LPARAM) {
  const COLORREF colour = static_cast<COLORREF>(wParam);
  if (m_bTrackSelection) SetColour(colour);
  if (CWnd* parent = GetParent()) parent->SendMessage(WM_CP_SELCHANGE, colour, GetDlgCtrlID());
  return TRUE;
}

// ---------------------------------------------------------------------------------------------------------------
// CColourPopup
// ---------------------------------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CColourPopup, CWnd)
  ON_WM_PAINT()
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONUP()
  ON_WM_KEYDOWN()
  ON_WM_QUERYNEWPALETTE()
  ON_WM_PALETTECHANGED()
  ON_WM_KILLFOCUS()
  ON_WM_ACTIVATEAPP()
  ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
END_MESSAGE_MAP()

CColourPopup::CColourPopup(CPoint point, COLORREF colour, CWnd* pPicker, const char* defaultText,
                           const char* customText)
    : m_strDefaultText(defaultText ? defaultText : ""), m_strCustomText(customText ? customText : "") {
  Initialise();
  m_crInitialColour = m_crColour = colour;
  Create(point, colour, pPicker);
}

CColourPopup::~CColourPopup() {
  if (m_toolTip.GetSafeHwnd()) m_toolTip.DestroyWindow();
}

void CColourPopup::Initialise() {
  m_nNumColours = std::min(40, 100);
  m_nNumColumns = 8;
  m_nNumRows = (m_nNumColours + m_nNumColumns - 1) / m_nNumColumns;
  m_nBoxSize = 18;
  m_nMargin = GetSystemMetrics(SM_CXEDGE);
  if (m_nBoxSize - 2 * m_nMargin - 2 < 5) m_nBoxSize = 2 * m_nMargin + 7;
  m_nCurrentSel = m_nChosenColourSel = kNone;

  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  m_font.CreateFontIndirect(&ncm.lfMessageFont);

  std::vector<BYTE> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * m_nNumColours);
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(m_nNumColours);
  for (int i = 0; i < m_nNumColours; ++i) {
    lp->palPalEntry[i].peRed = GetRValue(kColourTable[i].colour);
    lp->palPalEntry[i].peGreen = GetGValue(kColourTable[i].colour);
    lp->palPalEntry[i].peBlue = GetBValue(kColourTable[i].colour);
    lp->palPalEntry[i].peFlags = 0;
  }
  m_palette.CreatePalette(lp);
}

BOOL CColourPopup::Create(CPoint point, COLORREF colour, CWnd* pPicker) {
  m_pParent = pPicker;
  LPCSTR cls = AfxRegisterWndClass(CS_CLASSDC | CS_SAVEBITS | CS_HREDRAW | CS_VREDRAW, nullptr,
                                   reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
  if (!CreateEx(0, cls, "", WS_VISIBLE | WS_POPUP, point.x, point.y, 100, 100,
                pPicker ? pPicker->GetSafeHwnd() : nullptr, nullptr))
    return FALSE;
  m_bOwnedByWindow = TRUE;
  SetWindowSize();
  CreateToolTips();
  FindCellFromColour(colour);
  SetCapture();
  return TRUE;
}

void CColourPopup::PostNcDestroy() {
  if (m_bOwnedByWindow) delete this;
}

void CColourPopup::FindCellFromColour(COLORREF colour) {
  if (colour == CLR_DEFAULT && !m_strDefaultText.IsEmpty()) {
    m_nChosenColourSel = kDefaultBox;
    return;
  }
  for (int i = 0; i < m_nNumColours; ++i)
    if (kColourTable[i].colour == colour) {
      m_nChosenColourSel = i;
      return;
    }
  m_nChosenColourSel = m_strCustomText.IsEmpty() ? kNone : kCustomBox;
}

int CColourPopup::GetIndex(int row, int column) const {
  if ((row == kCustomBox || column == kCustomBox) && !m_strCustomText.IsEmpty()) return kCustomBox;
  if ((row == kDefaultBox || column == kDefaultBox) && !m_strDefaultText.IsEmpty()) return kDefaultBox;
  if (row < 0 || column < 0 || row >= m_nNumRows || column >= m_nNumColumns) return kNone;
  const int index = row * m_nNumColumns + column;
  return index >= m_nNumColours ? kNone : index;
}

int CColourPopup::GetRow(int index) const {
  if (index == kCustomBox && !m_strCustomText.IsEmpty()) return kCustomBox;
  if (index == kDefaultBox && !m_strDefaultText.IsEmpty()) return kDefaultBox;
  if (index < 0 || index >= m_nNumColours) return kNone;
  return index / m_nNumColumns;
}

int CColourPopup::GetColumn(int index) const {
  if (index == kCustomBox && !m_strCustomText.IsEmpty()) return kCustomBox;
  if (index == kDefaultBox && !m_strDefaultText.IsEmpty()) return kDefaultBox;
  if (index < 0 || index >= m_nNumColours) return kNone;
  return index % m_nNumColumns;
}

BOOL CColourPopup::GetCellRect(int index, CRect* rect) const {
  if (index == kCustomBox) {
    *rect = m_customTextRect;
    return TRUE;
  }
  if (index == kDefaultBox) {
    *rect = m_defaultTextRect;
    return TRUE;
  }
  if (index < 0 || index >= m_nNumColours) return FALSE;
  rect->left = GetColumn(index) * m_nBoxSize + m_nMargin;
  rect->top = GetRow(index) * m_nBoxSize + m_nMargin;
  if (!m_strDefaultText.IsEmpty()) rect->top += m_defaultTextRect.Height() + m_nMargin;
  rect->right = rect->left + m_nBoxSize;
  rect->bottom = rect->top + m_nBoxSize;
  return TRUE;
}

void CColourPopup::SetWindowSize() {
  const int m = m_nMargin, b = m_nBoxSize;
  CSize text(0, 0);
  if (!m_strDefaultText.IsEmpty() || !m_strCustomText.IsEmpty()) {
    CClientDC dc(this);
    CFont* old = dc.SelectObject(&m_font);
    for (const CString* s : {&m_strDefaultText, &m_strCustomText}) {
      const CSize extent = dc.GetTextExtent(*s);
      text.cx = std::max(text.cx, extent.cx);
      text.cy = std::max(text.cy, extent.cy);
    }
    if (old) dc.SelectObject(old);
    text.cx += 2 * m;
    text.cy += 4 * m + 2;
  }
  GetWindowRect(&m_windowRect);
  m_windowRect.right = m_windowRect.left + m_nNumColumns * b + 2 * m;
  m_windowRect.bottom = m_windowRect.top + m_nNumRows * b + 2 * m;
  if (!m_strDefaultText.IsEmpty()) {
    if (text.cx > m_windowRect.Width()) m_windowRect.right = m_windowRect.left + text.cx;
    m_defaultTextRect.SetRect(m, m, m + m_windowRect.Width() - 2 * m, text.cy + 2 * m);
    m_windowRect.bottom += m_defaultTextRect.Height() + 2 * m;
  }
  if (!m_strCustomText.IsEmpty()) {
    if (text.cx > m_windowRect.Width()) m_windowRect.right = m_windowRect.left + text.cx;
    const int top = m_windowRect.Height();
    m_customTextRect.SetRect(m, top, m + m_windowRect.Width() - 2 * m, top + m + text.cy);
    m_windowRect.bottom += m_customTextRect.Height() + 2 * m;
  }
  // Kept on the primary screen; opened above the button when there is no room below it.
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  if (m_windowRect.right > screenWidth) m_windowRect.OffsetRect(-(m_windowRect.right - screenWidth), 0);
  if (m_windowRect.left < 0) m_windowRect.OffsetRect(-m_windowRect.left, 0);
  if (m_windowRect.bottom > screenHeight) {
    CRect button(0, 0, 0, 0);
    if (m_pParent && m_pParent->GetSafeHwnd()) m_pParent->GetWindowRect(&button);
    m_windowRect.OffsetRect(0, -(button.Height() + m_windowRect.Height()));
  }
  MoveWindow(&m_windowRect, TRUE);
}

void CColourPopup::CreateToolTips() {
  if (!m_toolTip.Create(this)) return;
  for (int i = 0; i < m_nNumColours; ++i) {
    CRect rect;
    if (GetCellRect(i, &rect)) m_toolTip.AddTool(this, kColourTable[i].name, &rect, static_cast<UINT_PTR>(i + 1));
  }
}

BOOL CColourPopup::PreTranslateMessage(MSG* pMsg) {
  if (m_toolTip.GetSafeHwnd()) m_toolTip.RelayEvent(pMsg);
  // The popup keeps the mouse, so that a click anywhere ends it.
  if (!m_bChildWindowVisible && ::GetCapture() != m_hWnd) SetCapture();
  return CWnd::PreTranslateMessage(pMsg);
}

void CColourPopup::OnPaint() {
  CPaintDC dc(this);
  PaintPopup(&dc);
}

LRESULT CColourPopup::OnPrintClient(WPARAM wParam, LPARAM) {
  PaintPopup(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));
  return 0;
}

void CColourPopup::PaintPopup(CDC* pDC) {
  CDC& dc = *pDC;
  if (!m_strDefaultText.IsEmpty()) DrawCell(&dc, kDefaultBox);
  for (int i = 0; i < m_nNumColours; ++i) DrawCell(&dc, i);
  if (!m_strCustomText.IsEmpty()) DrawCell(&dc, kCustomBox);
  CRect client;
  GetClientRect(&client);
  dc.DrawEdge(client, EDGE_RAISED, BF_RECT);
}

void CColourPopup::DrawCell(CDC* pDC, int index) {
  const int m = m_nMargin;
  const bool hot = index == m_nCurrentSel;
  const bool chosen = index == m_nChosenColourSel && !hot;
  if ((index == kCustomBox && !m_strCustomText.IsEmpty()) || (index == kDefaultBox && !m_strDefaultText.IsEmpty())) {
    const bool custom = index == kCustomBox;
    CRect box = custom ? m_customTextRect : m_defaultTextRect;
    if (custom) {
      // Separator above the custom box, which starts 2m lower.
      pDC->FillSolidRect(box.left + 2 * m, box.top, box.Width() - 4 * m, 1, GetSysColor(COLOR_BTNSHADOW));
      pDC->FillSolidRect(box.left + 2 * m, box.top + 1, box.Width() - 4 * m, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
      box.top += 2 * m;
    }
    pDC->FillSolidRect(box, GetSysColor(chosen ? COLOR_3DLIGHT : COLOR_BTNFACE));
    box.DeflateRect(1, 1);
    if (hot) pDC->DrawEdge(box, BDR_RAISEDINNER, BF_RECT);
    else if (chosen) pDC->DrawEdge(box, BDR_SUNKENOUTER, BF_RECT);
    if (!custom) {
      CRect outline(box);
      outline.DeflateRect(2 * m, 2 * m);
      CPen pen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
      CPen* oldPen = pDC->SelectObject(&pen);
      CGdiObject* oldBrush = pDC->SelectStockObject(HOLLOW_BRUSH);
      pDC->Rectangle(outline);
      pDC->SelectObject(oldBrush);
      pDC->SelectObject(oldPen);
    }
    CFont* oldFont = pDC->SelectObject(&m_font);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    pDC->SetTextColor(GetSysColor(COLOR_BTNTEXT));
    pDC->DrawText(custom ? m_strCustomText : m_strDefaultText, box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    pDC->SetBkMode(oldMode);
    pDC->SelectObject(oldFont);
    return;
  }
  CRect rect;
  if (!GetCellRect(index, &rect)) return;
  CPalette* oldPalette = nullptr;
  const bool palette = (pDC->GetDeviceCaps(RASTERCAPS) & RC_PALETTE) != 0;
  if (palette) {
    oldPalette = pDC->SelectPalette(&m_palette, FALSE);
    pDC->RealizePalette();
  }
  pDC->FillSolidRect(rect, GetSysColor(chosen ? COLOR_BTNHIGHLIGHT : COLOR_BTNFACE));
  if (hot) pDC->DrawEdge(rect, BDR_RAISEDINNER, BF_RECT);
  else if (chosen) pDC->DrawEdge(rect, BDR_SUNKENOUTER, BF_RECT);
  CBrush brush(kColourTable[index].colour | kPaletteRgb);
  CPen pen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  CBrush* oldBrush = pDC->SelectObject(&brush);
  CPen* oldPen = pDC->SelectObject(&pen);
  rect.DeflateRect(m + 1, m + 1);
  pDC->Rectangle(rect);
  pDC->SelectObject(oldPen);
  pDC->SelectObject(oldBrush);
  if (palette) pDC->SelectPalette(oldPalette, FALSE);
}

void CColourPopup::OnMouseMove(UINT nFlags, CPoint point) {
  int index = kNone;
  // The text boxes are tested where they are drawn; the grid from its corner at the margin.
  if (!m_strCustomText.IsEmpty() && m_customTextRect.PtInRect(point)) {
    index = kCustomBox;
  } else if (!m_strDefaultText.IsEmpty() && m_defaultTextRect.PtInRect(point)) {
    index = kDefaultBox;
  } else {
    point.Offset(-m_nMargin, -m_nMargin);
    if (!m_strDefaultText.IsEmpty()) point.y -= m_defaultTextRect.Height() + m_nMargin;
    if (point.x >= 0 && point.y >= 0) index = GetIndex(point.y / m_nBoxSize, point.x / m_nBoxSize);
  }
  if (index != kNone && index != m_nCurrentSel) ChangeSelection(index);
  CWnd::OnMouseMove(nFlags, point);
}

void CColourPopup::OnLButtonUp(UINT nFlags, CPoint point) {
  CWnd::OnLButtonUp(nFlags, point);
  CPoint screen(point);
  ClientToScreen(&screen);
  CRect window;
  GetWindowRect(&window);
  EndSelection(window.PtInRect(screen) ? WM_CP_SELENDOK : WM_CP_SELENDCANCEL);
}

void CColourPopup::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  const bool hasDefault = !m_strDefaultText.IsEmpty(), hasCustom = !m_strCustomText.IsEmpty();
  const int last = m_nNumColours - 1;
  int row = GetRow(m_nCurrentSel), col = GetColumn(m_nCurrentSel);
  auto toBox = [&](int box) { row = col = box; };
  auto toLast = [&] { row = GetRow(last); col = GetColumn(last); };
  auto toFirst = [&] { row = col = 0; };
  switch (nChar) {
    case VK_DOWN:
      if (row == kDefaultBox) toFirst();
      else if (row == kCustomBox) hasDefault ? toBox(kDefaultBox) : toFirst();
      else if (GetIndex(++row, col) == kNone) hasCustom ? toBox(kCustomBox) : hasDefault ? toBox(kDefaultBox) : toFirst();
      break;
    case VK_UP:
      if (row == kDefaultBox) hasCustom ? toBox(kCustomBox) : toLast();
      else if (row == kCustomBox) toLast();
      else if (row > 0) --row;
      else hasDefault ? toBox(kDefaultBox) : hasCustom ? toBox(kCustomBox) : toLast();
      break;
    case VK_RIGHT:
      if (col == kDefaultBox) toFirst();
      else if (col == kCustomBox) hasDefault ? toBox(kDefaultBox) : toFirst();
      else if (col < m_nNumColumns - 1) ++col;
      else { col = 0; ++row; }
      if (GetIndex(row, col) == kNone) hasCustom ? toBox(kCustomBox) : hasDefault ? toBox(kDefaultBox) : toFirst();
      break;
    case VK_LEFT:
      if (col == kDefaultBox) hasCustom ? toBox(kCustomBox) : toLast();
      else if (col == kCustomBox) toLast();
      else if (col > 0) --col;
      else if (row > 0) { --row; col = m_nNumColumns - 1; }
      else hasDefault ? toBox(kDefaultBox) : hasCustom ? toBox(kCustomBox) : toLast();
      break;
    case VK_ESCAPE:
      m_crColour = m_crInitialColour;
      EndSelection(WM_CP_SELENDCANCEL);
      return;
    case VK_RETURN:
    case VK_SPACE:
      EndSelection(WM_CP_SELENDOK);
      return;
    default:
      CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
      return;
  }
  ChangeSelection(GetIndex(row, col));
}

void CColourPopup::ChangeSelection(int index) {
  if (index > m_nNumColours) index = kCustomBox;
  CClientDC dc(this);
  const int old = m_nCurrentSel;
  m_nCurrentSel = index;
  if (old != kNone) DrawCell(&dc, old);
  DrawCell(&dc, m_nCurrentSel);
  if (!m_pParent) return;
  if (index >= 0 && index < m_nNumColours) {
    m_crColour = kColourTable[index].colour;
    m_pParent->SendMessage(WM_CP_SELCHANGE, m_crColour, 0);
  } else if (index == kDefaultBox) {
    m_crColour = CLR_DEFAULT;
    m_pParent->SendMessage(WM_CP_SELCHANGE, CLR_DEFAULT, 0);
  }
}

void CColourPopup::EndSelection(UINT message) {
  ReleaseCapture();
  if (message != WM_CP_SELENDCANCEL && m_nCurrentSel == kCustomBox) {
    m_bChildWindowVisible = TRUE;
    CColorDialog dialog(m_crInitialColour, CC_FULLOPEN | CC_ANYCOLOR, this);
    if (dialog.DoModal() == IDOK) m_crColour = dialog.GetColor();
    else message = WM_CP_SELENDCANCEL;
    m_bChildWindowVisible = FALSE;
  }
  if (message == WM_CP_SELENDCANCEL) m_crColour = m_crInitialColour;
  if (m_pParent) m_pParent->SendMessage(message, m_crColour, 0);
  if (!m_bChildWindowVisible) DestroyWindow();
}

BOOL CColourPopup::OnQueryNewPalette() {
  Invalidate();
  return CWnd::OnQueryNewPalette();
}

void CColourPopup::OnPaletteChanged(CWnd* pFocusWnd) {
  CWnd::OnPaletteChanged(pFocusWnd);
  if (pFocusWnd && pFocusWnd->GetSafeHwnd() != m_hWnd) Invalidate();
}

void CColourPopup::OnKillFocus(CWnd* pNewWnd) {
  CWnd::OnKillFocus(pNewWnd);
  ReleaseCapture();
}

void CColourPopup::OnActivateApp(BOOL bActive, DWORD dwThreadID) {
  CWnd::OnActivateApp(bActive, dwThreadID);
  if (!bActive) EndSelection(WM_CP_SELENDCANCEL);
}
