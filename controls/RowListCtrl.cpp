#include "controls/RowListCtrl.h"

#include <algorithm>
#include <cstring>

#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CRowListCtrl, CSortListCtrl)

BEGIN_MESSAGE_MAP(CRowListCtrl, CSortListCtrl)
  ON_WM_SIZE()
  ON_WM_PAINT()
  ON_WM_SETFOCUS()
  ON_WM_KILLFOCUS()
  ON_MESSAGE(LVM_SETTEXTCOLOR, OnSetTextColor)
  ON_MESSAGE(LVM_SETTEXTBKCOLOR, OnSetTextBkColor)
  ON_MESSAGE(LVM_SETBKCOLOR, OnSetBkColor)
END_MESSAGE_MAP()

namespace {

// The longest item text a row shows (the list's 260-character text buffer less its terminator).
constexpr size_t kMaxItemText = 259;

// The buffer an item text is fetched into while a row is drawn.
char* ItemTextBuffer() {
  thread_local char buffer[kMaxItemText + 1];
  return buffer;
}

bool InsideCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A rectangle of the row: its bounds with the left edge at the label's.
CRect RowRect(const CListCtrl& list, int row) {
  CRect bounds, label;
  list.GetItemRect(row, &bounds, LVIR_BOUNDS);
  list.GetItemRect(row, &label, LVIR_LABEL);
  bounds.left = label.left;
  return bounds;
}

}  // namespace

CRowListCtrl::CRowListCtrl()
    : m_clrText(GetSysColor(COLOR_WINDOWTEXT)),
      m_clrTextBk(GetSysColor(COLOR_WINDOW)),
      m_clrBk(GetSysColor(COLOR_WINDOW)) {}

BOOL CRowListCtrl::SetFullRowDraw(BOOL on) {
  LockWindowUpdate();
  m_bFullRowDraw = on;
  DWORD before = GetStyle();
  if (on) ModifyStyle(0, LVS_OWNERDRAWFIXED);
  else ModifyStyle(LVS_OWNERDRAWFIXED, 0);
  BOOL changed = GetStyle() != before;
  if (changed && IsReportView()) Invalidate(TRUE);
  UnlockWindowUpdate();
  return changed;
}

void CRowListCtrl::CountColumn() {
  ++m_nColumnCount;
  SetTextCount(m_nColumnCount);
}

int CRowListCtrl::InsertColumn(int nCol, const LVCOLUMN* pColumn) {
  CountColumn();
  return CListCtrl::InsertColumn(nCol, pColumn);
}

int CRowListCtrl::InsertColumn(int nCol, LPCSTR lpszColumnHeading, int nFormat, int nWidth, int nSubItem) {
  CountColumn();
  return CListCtrl::InsertColumn(nCol, lpszColumnHeading, nFormat, nWidth, nSubItem);
}

void CRowListCtrl::PreSubclassWindow() {
  CSortListCtrl::PreSubclassWindow();
  // A list from a dialog template had its first WM_SIZE before it was subclassed.
  CRect client;
  GetClientRect(&client);
  m_nClientWidth = client.Width();
}

BOOL CRowListCtrl::PreCreateWindow(CREATESTRUCT& cs) {
  cs.style = (cs.style & ~static_cast<DWORD>(LVS_TYPEMASK)) | LVS_REPORT | LVS_OWNERDRAWFIXED;
  m_bFullRowDraw = TRUE;
  return CSortListCtrl::PreCreateWindow(cs);
}

LPCSTR CRowListCtrl::FitTextToWidth(CDC* pDC, LPCSTR text, int width, int margin) {
  // The kept characters, "..." and the terminator.
  thread_local char buffer[kMaxItemText + 4];
  const size_t length = std::strlen(text);
  if (length == 0 || pDC->GetTextExtent(text, static_cast<int>(length)).cx + margin <= width) return text;
  const size_t kept = std::min(length, kMaxItemText);
  std::memcpy(buffer, text, kept);
  const int dots = pDC->GetTextExtent("...", 4).cx;
  // At least the first whole character stays.
  size_t cut = 1;
  while (cut < kept && InsideCharacter(text[cut])) ++cut;
  for (size_t i = std::min(length - 1, kept); i >= 1; --i) {
    if (InsideCharacter(text[i])) continue;
    if (pDC->GetTextExtent(buffer, static_cast<int>(i)).cx + margin + dots <= width) {
      cut = std::max(cut, i);
      break;
    }
  }
  std::memcpy(buffer + cut, "...", 4);
  return buffer;
}

void CRowListCtrl::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
  const int row = static_cast<int>(lpDrawItemStruct->itemID);
  CRect itemRect(lpDrawItemStruct->rcItem);
  UINT imageFlags = ILD_TRANSPARENT;
  const bool focus = ::GetFocus() == m_hWnd;
  COLORREF imageColour = m_clrBk;

  char* text = ItemTextBuffer();
  LVITEM item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
  item.iItem = row;
  item.stateMask = 0xFFFF;
  item.pszText = text;
  item.cchTextMax = static_cast<int>(kMaxItemText + 1);
  text[0] = 0;
  if (!GetItem(&item)) return;

  bool selected = (focus || (GetStyle() & LVS_SHOWSELALWAYS)) && (item.state & LVIS_SELECTED);
  if (item.state & LVIS_DROPHILITED) selected = true;

  CRect rowRect = RowRect(*this, row);
  if (m_bClientWidthSelection && rowRect.right < m_nClientWidth) rowRect.right = m_nClientWidth;

  COLORREF oldText = 0, oldBk = 0;
  if (selected) {
    oldText = dc->SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
    oldBk = dc->SetBkColor(GetSysColor(COLOR_HIGHLIGHT));
    CBrush highlight(GetSysColor(COLOR_HIGHLIGHT));
    dc->FillRect(&rowRect, &highlight);
  } else {
    CBrush back(m_clrTextBk == CLR_NONE ? m_clrBk : m_clrTextBk);
    dc->FillRect(&rowRect, &back);
  }

  if (item.state & LVIS_CUT) {
    imageColour = m_clrBk;
    imageFlags |= ILD_BLEND50;
  } else if (selected) {
    imageColour = GetSysColor(COLOR_HIGHLIGHT);
    imageFlags |= ILD_BLEND50;
  }

  CImageList* states = GetImageList(LVSIL_STATE);
  if ((item.state & LVIS_STATEIMAGEMASK) && states)
    states->Draw(dc, static_cast<int>(((item.state & LVIS_STATEIMAGEMASK) >> 12) - 1),
                 CPoint(itemRect.left, itemRect.top), ILD_TRANSPARENT);

  CRect iconRect;
  GetItemRect(row, &iconRect, LVIR_ICON);
  CImageList* icons = GetImageList(LVSIL_SMALL);
  if (icons && itemRect.left < itemRect.right - 1)
    ImageList_DrawEx(icons->m_hImageList, item.iImage, dc->m_hDC, iconRect.left, iconRect.top, 16, 16, m_clrBk,
                     imageColour, imageFlags | (item.state & LVIS_OVERLAYMASK));

  GetItemRect(row, &itemRect, LVIR_LABEL);
  LPCSTR shown = FitTextToWidth(dc, text, itemRect.Width(), 4);
  CRect textRect = itemRect;
  textRect.left += 2;
  textRect.right -= 2;
  dc->DrawText(shown, -1, &textRect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP | DT_VCENTER);

  LVCOLUMN column{};
  column.mask = LVCF_FMT | LVCF_WIDTH;
  for (int c = 1; GetColumn(c, &column); ++c) {
    itemRect.left = itemRect.right;
    itemRect.right += column.cx;
    GetItemText(row, c, text, static_cast<int>(kMaxItemText + 1));
    if (!text[0]) continue;
    shown = FitTextToWidth(dc, text, itemRect.Width(), 12);
    UINT justify = DT_LEFT;
    if (shown == text) {
      if ((column.fmt & 3) == LVCFMT_RIGHT) justify = DT_RIGHT;
      else if ((column.fmt & 3) == LVCFMT_CENTER) justify = DT_CENTER;
    }
    textRect = itemRect;
    textRect.left += 6;
    textRect.right -= 6;
    dc->DrawText(shown, -1, &textRect, justify | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP | DT_VCENTER);
  }

  if ((item.state & LVIS_FOCUSED) && focus) dc->DrawFocusRect(&rowRect);
  if (selected) {
    dc->SetTextColor(oldText);
    dc->SetBkColor(oldBk);
  }
}

void CRowListCtrl::InvalidateSelectionRows() {
  int focused = GetNextItem(-1, LVNI_FOCUSED);
  if (focused >= 0) {
    CRect r = RowRect(*this, focused);
    InvalidateRect(&r, FALSE);
  }
  if (!(GetStyle() & LVS_SHOWSELALWAYS)) {
    for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0; row = GetNextItem(row, LVNI_SELECTED)) {
      CRect r = RowRect(*this, row);
      InvalidateRect(&r, FALSE);
    }
  }
  UpdateWindow();
}

LRESULT CRowListCtrl::OnSetTextColor(WPARAM, LPARAM lParam) {
  m_clrText = static_cast<COLORREF>(lParam);
  return Default();
}

LRESULT CRowListCtrl::OnSetTextBkColor(WPARAM, LPARAM lParam) {
  m_clrTextBk = static_cast<COLORREF>(lParam);
  return Default();
}

LRESULT CRowListCtrl::OnSetBkColor(WPARAM, LPARAM lParam) {
  m_clrBk = static_cast<COLORREF>(lParam);
  return Default();
}

void CRowListCtrl::OnSize(UINT nType, int cx, int cy) {
  m_nClientWidth = cx;
  CSortListCtrl::OnSize(nType, cx, cy);
}

void CRowListCtrl::OnPaint() {
  if (m_bClientWidthSelection && IsReportView() && m_bFullRowDraw && GetItemCount() > 0) {
    CRect first;
    if (GetItemRect(0, &first, LVIR_BOUNDS) && first.right < m_nClientWidth) {
      // The strip right of the last column is repainted with the rows.
      CRect box;
      {
        CPaintDC paint(this);
        paint.GetClipBox(&box);
      }
      box.left = std::min(static_cast<int>(first.right - 1), static_cast<int>(box.left));
      box.right = m_nClientWidth;
      InvalidateRect(&box, FALSE);
    }
  }
  Default();
}

void CRowListCtrl::OnSetFocus(CWnd* pOldWnd) {
  CSortListCtrl::OnSetFocus(pOldWnd);
  // The label editor handing the focus back changes nothing.
  if (pOldWnd && IsChild(pOldWnd)) return;
  if (m_bFullRowDraw && IsReportView()) InvalidateSelectionRows();
}

void CRowListCtrl::OnKillFocus(CWnd* pNewWnd) {
  CSortListCtrl::OnKillFocus(pNewWnd);
  if (pNewWnd && IsChild(pNewWnd)) return;
  if (m_bFullRowDraw && IsReportView()) InvalidateSelectionRows();
}
