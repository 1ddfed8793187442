#include "controls/ReportListCtrl.h"

#include <algorithm>

#include "platform/mfc/afxwin.h"

namespace {

void CopyList(CStringList& to, const CStringList& from) {
  to.RemoveAll();
  for (POSITION pos = from.GetHeadPosition(); pos;) to.AddTail(from.GetNext(pos));
}

}  // namespace

int HeaderItemCount(const CListCtrl& list) {
  HWND header = reinterpret_cast<HWND>(list.SendMessage(LVM_GETHEADER));
  return header ? static_cast<int>(::SendMessage(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

bool CReportListData::CreateSmallImageList() {
  delete m_pSmallImageList;
  m_pSmallImageList = new CImageList;
  CBitmap strip;
  bool loaded = strip.LoadBitmap(IDB_REPORT_ROW_ICONS) != FALSE;
  bool made = m_pSmallImageList->Create(16, 16, ILC_MASK, 3, 3) != FALSE;
  if (made && loaded) m_pSmallImageList->Add(&strip, static_cast<CBitmap*>(nullptr));
  return made && loaded;
}

void CReportListCtrl::SetHeadings(const CStringList& headings) {
  if (headings.GetCount() >= 5) {
    AfxMessageBox("Too many column headings", MB_OK, 0);
    return;
  }
  CopyList(m_astrHeadings, headings);
}

void CReportListCtrl::SetColumnData(int column, const CStringList& texts) {
  if (column < 0 || column > 3) return;
  CopyList(m_astrColumnData[column], texts);
}

void CReportListCtrl::SetItemImages(const CUIntArray& images) {
  m_aItemImages.RemoveAll();
  m_aItemImages.Copy(images);
}

void CReportListCtrl::SetItemStates(const CUIntArray& states) {
  m_aItemStates.RemoveAll();
  m_aItemStates.Copy(states);
}

bool CReportListCtrl::Populate() {
  if (!m_bInitialised) {
    bool images = CreateSmallImageList();
    SetImageList(m_pSmallImageList, LVSIL_SMALL);
    m_stateImageList.DeleteImageList();
    m_stateImageList.Create(IDB_REPORT_ROW_MARKS, 16, 1, RGB(0, 0, 0));
    SetImageList(&m_stateImageList, LVSIL_STATE);
    m_bInitialised = InsertColumns();
    if (!m_bInitialised) return images;
  }
  return InsertRows();
}

bool CReportListCtrl::InsertColumns() {
  CRect window;
  GetWindowRect(&window);
  int i = 0;
  for (POSITION pos = m_astrHeadings.GetHeadPosition(); pos; ++i) {
    const CString& heading = m_astrHeadings.GetNext(pos);
    LVCOLUMN column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = window.Width() / 4;
    column.pszText = const_cast<LPSTR>(static_cast<LPCSTR>(heading));
    column.iSubItem = i;
    if (InsertColumn(i, &column) != i) return false;
  }
  return true;
}

bool CReportListCtrl::CheckColumnCounts() {
  const INT_PTR n = m_astrHeadings.GetCount();
  for (INT_PTR c = 1; c < n; ++c) {
    if (m_astrColumnData[c].GetCount() != m_astrColumnData[0].GetCount()) {
      AfxMessageBox("The amounts of key data to be shown are not consistent", MB_OK, 0);
      return false;
    }
  }
  return true;
}

bool CReportListCtrl::InsertRows() {
  if (!CheckColumnCounts()) return false;
  const int n = static_cast<int>(m_astrHeadings.GetCount());
  // Every record holds a text for each heading and each column the list has, so that sorting by any column
  // finds one.
  SetTextCount(std::max({n, m_nColumnCount, HeaderItemCount(*this), 1}));
  // Column 0 gives the rows even without headings.
  const int lists = std::max(n, 1);
  POSITION pos[4] = {};
  for (int c = 0; c < lists; ++c) pos[c] = m_astrColumnData[c].GetHeadPosition();
  const int rows = static_cast<int>(m_astrColumnData[0].GetCount());
  bool ok = true;
  for (int r = 0; r < rows && ok; ++r) {
    char** texts = NewTextArray(GetTextCount());
    const CString& first = m_astrColumnData[0].GetAt(pos[0]);
    LVITEM item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = r;
    item.pszText = const_cast<LPSTR>(static_cast<LPCSTR>(first));
    item.iImage = r < m_aItemImages.GetSize() ? static_cast<int>(m_aItemImages[r]) : 0;
    item.state = INDEXTOSTATEIMAGEMASK(1);
    item.stateMask = LVIS_STATEIMAGEMASK;
    texts[0] = CopyText(first);
    for (int c = 1; c < n; ++c) texts[c] = CopyText(m_astrColumnData[c].GetAt(pos[c]));
    // The row gets its record as it is inserted: no further round of messages per row to attach it.
    const int at = InsertItemWithTexts(&item, texts);
    ok = at != -1;
    for (int c = 1; c < n && ok; ++c) {
      const CString& text = m_astrColumnData[c].GetAt(pos[c]);
      LVITEM sub{};
      sub.mask = LVIF_TEXT;
      sub.iItem = at;
      sub.iSubItem = c;
      sub.pszText = const_cast<LPSTR>(static_cast<LPCSTR>(text));
      ok = CListCtrl::SetItem(&sub) != FALSE;
    }
    for (int c = 0; c < lists; ++c) m_astrColumnData[c].GetNext(pos[c]);
  }
  return ok;
}

void CReportListCtrl::SetRowMark(int row, BOOL current, BOOL flagA, BOOL flagB) {
  m_nMarkedRow = row;
  if (row == -1) return;
  UINT state;
  if (flagA || flagB) state = INDEXTOSTATEIMAGEMASK(4);
  else if (current) state = INDEXTOSTATEIMAGEMASK(2) | (m_nMode ? 0 : INDEXTOOVERLAYMASK(1));
  else state = INDEXTOSTATEIMAGEMASK(1);
  SetItemState(row, state, m_nMode ? LVIS_STATEIMAGEMASK : LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK);
}
