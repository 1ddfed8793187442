#include "controls/SortListCtrl.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/mfc/afxwin.h"
#include "platform/mfc/carchive.h"

IMPLEMENT_DYNAMIC(CSortListCtrl, CListCtrl)

BEGIN_MESSAGE_MAP(CArrowHeaderCtrl, CHeaderCtrl)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CSortListCtrl, CListCtrl)
  ON_NOTIFY_REFLECT(LVN_COLUMNCLICK, OnColumnClick)
  ON_NOTIFY_REFLECT_EX(LVN_DELETEITEM, OnDeleteItem)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A run of digits as a number that stays at its largest value instead of overflowing.
int64_t DigitsValue(const char* text, size_t length) {
  int64_t v = 0;
  for (size_t i = 0; i < length && IsDigit(text[i]); ++i) {
    int d = text[i] - '0';
    if (v > (INT64_MAX - d) / 10) return INT64_MAX;
    v = v * 10 + d;
  }
  return v;
}

int Order(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

}  // namespace

// ----- header -----

void CArrowHeaderCtrl::SetSortArrow(int column, BOOL ascending) {
  m_nSortColumn = column;
  m_bSortAscending = ascending;
  if (!m_hWnd) return;
  HDITEM item{};
  item.mask = HDI_FORMAT;
  GetItem(column, &item);
  item.fmt |= HDF_OWNERDRAW;
  SetItem(column, &item);
  Invalidate(TRUE);
}

void CArrowHeaderCtrl::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
  int saved = dc->SaveDC();
  const CRect item(lpDrawItemStruct->rcItem);
  CRgn clip;
  clip.CreateRectRgnIndirect(&item);
  dc->SelectClipRgn(&clip);
  CBrush face(GetSysColor(COLOR_BTNFACE));
  dc->FillRect(&item, &face);

  char text[256] = {0};
  HDITEM hd{};
  hd.mask = HDI_TEXT | HDI_FORMAT;
  hd.pszText = text;
  hd.cchTextMax = 255;
  GetItem(static_cast<int>(lpDrawItemStruct->itemID), &hd);

  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOCLIP | DT_NOPREFIX | DT_END_ELLIPSIS;
  if (hd.fmt & HDF_CENTER) format |= DT_CENTER;
  else if (hd.fmt & HDF_RIGHT) format |= DT_RIGHT;

  CRect rc = item;
  if (lpDrawItemStruct->itemState == ODS_SELECTED) {
    // The heading is being pressed.
    rc.left += 1;
    rc.top += 2;
    rc.right += 1;
  }
  const int o = item.Height() / 4;
  const bool sortColumn = static_cast<int>(lpDrawItemStruct->itemID) == m_nSortColumn;
  if (sortColumn) rc.right -= 3 * o;
  rc.left += o;
  rc.right -= o;
  if (rc.left < rc.right) dc->DrawText(text, -1, &rc, format);

  if (sortColumn) {
    const int r = item.right, b = item.bottom;
    CPen light(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    CPen dark(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ old = dc->SelectObject(light.GetSafeHandle());
    if (m_bSortAscending) {
      dc->MoveTo(r - 2 * o, o);
      dc->LineTo(r - o, b - o - 1);
      dc->LineTo(r - 3 * o - 2, b - o - 1);
      dc->SelectObject(dark.GetSafeHandle());
      dc->MoveTo(r - 3 * o - 1, b - o - 1);
      dc->LineTo(r - 2 * o, o - 1);
    } else {
      dc->MoveTo(r - o - 1, o);
      dc->LineTo(r - 2 * o - 1, b - o);
      dc->SelectObject(dark.GetSafeHandle());
      dc->MoveTo(r - 2 * o - 2, b - o);
      dc->LineTo(r - 3 * o - 1, o);
      dc->LineTo(r - o - 1, o);
    }
    dc->SelectObject(old);
  }
  dc->RestoreDC(saved);
}

void CArrowHeaderCtrl::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    int count = GetItemCount();
    if (count == -1) return;
    ar << static_cast<LONG>(count);
    for (int i = 0; i < count; ++i) {
      HDITEM hd{};
      hd.mask = HDI_WIDTH;
      GetItem(i, &hd);
      ar << static_cast<LONG>(hd.cxy);
    }
    return;
  }
  LONG count = 0;
  ar >> count;
  if (count != GetItemCount()) return;
  for (int i = 0; i < count; ++i) {
    LONG width = 0;
    ar >> width;
    HDITEM hd{};
    hd.mask = HDI_WIDTH;
    hd.cxy = width;
    SetItem(i, &hd);
  }
}

// ----- list -----

CSortListCtrl::~CSortListCtrl() {
  for (SortItemRecord* r : m_records) {
    for (int i = 0; i < r->count; ++i) delete[] r->texts[i];
    delete[] r->texts;
    delete r;
  }
}

char** CSortListCtrl::NewTextArray(int count) {
  char** texts = new char*[static_cast<size_t>(count > 0 ? count : 0)];
  for (int i = 0; i < count; ++i) texts[i] = nullptr;
  return texts;
}

char* CSortListCtrl::CopyText(LPCSTR text) {
  if (!text) text = "";
  size_t n = std::strlen(text);
  char* copy = new char[n + 1];
  std::memcpy(copy, text, n + 1);
  return copy;
}

void CSortListCtrl::PreSubclassWindow() {
  CListCtrl::PreSubclassWindow();
  AttachHeader();
}

void CSortListCtrl::AttachHeader() {
  if (m_bNoSort || m_ctlHeader.m_hWnd || !m_hWnd) return;
  HWND header = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
  if (header) m_ctlHeader.SubclassWindow(header);
}

SortItemRecord* CSortListCtrl::RecordOf(int nItem) const {
  if (!m_hWnd || nItem < 0) return nullptr;
  LVITEM item{};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  if (!GetItem(&item)) return nullptr;
  auto* record = reinterpret_cast<SortItemRecord*>(item.lParam);
  return m_records.count(record) ? record : nullptr;
}

void CSortListCtrl::FreeRecord(SortItemRecord* record) {
  if (!record || !m_records.erase(record)) return;
  for (int i = 0; i < record->count; ++i) delete[] record->texts[i];
  delete[] record->texts;
  delete record;
}

BOOL CSortListCtrl::FreeItemRecord(int nItem) {
  SortItemRecord* record = RecordOf(nItem);
  if (!record) return FALSE;
  FreeRecord(record);
  LVITEM item{};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  item.lParam = 0;
  CListCtrl::SetItem(&item);
  return TRUE;
}

void CSortListCtrl::FreeAllRecords() {
  int count = GetItemCount();
  for (int i = 0; i < count; ++i) FreeItemRecord(i);
}

BOOL CSortListCtrl::DeleteAllItems() {
  FreeAllRecords();
  return CListCtrl::DeleteAllItems();
}

BOOL CSortListCtrl::OnDeleteItem(NMHDR* pNMHDR, LRESULT*) {
  // A row deleted on its own takes its record with it.
  auto* nm = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  FreeRecord(reinterpret_cast<SortItemRecord*>(nm->lParam));
  return FALSE;
}

void CSortListCtrl::OnDestroy() {
  FreeAllRecords();
  CListCtrl::OnDestroy();
}

BOOL CSortListCtrl::SetItemText(int nItem, int nSubItem, LPCSTR lpszText) {
  if (!CListCtrl::SetItemText(nItem, nSubItem, lpszText)) return FALSE;
  SortItemRecord* record = RecordOf(nItem);
  if (!record || nSubItem < 0) return TRUE;
  if (nSubItem >= record->count) {
    // A column the record has no copy for yet: the array grows to hold it.
    char** texts = NewTextArray(nSubItem + 1);
    for (int i = 0; i < record->count; ++i) texts[i] = record->texts[i];
    delete[] record->texts;
    record->texts = texts;
    record->count = nSubItem + 1;
  }
  delete[] record->texts[nSubItem];
  record->texts[nSubItem] = CopyText(lpszText);
  return TRUE;
}

BOOL CSortListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
  if (nItem >= GetItemCount()) return FALSE;
  SortItemRecord* record = RecordOf(nItem);
  if (!record) return FALSE;
  record->data = dwData;
  return TRUE;
}

DWORD_PTR CSortListCtrl::GetItemData(int nItem) const {
  SortItemRecord* record = RecordOf(nItem);
  return record ? record->data : static_cast<DWORD_PTR>(-1);
}

BOOL CSortListCtrl::SetItemTexts(int nItem, char** texts) {
  auto* record = new SortItemRecord{texts, m_nTextCount, 0};
  if (!texts) {
    record->texts = NewTextArray(m_nTextCount);
  }
  for (int i = 0; i < record->count; ++i)
    if (!record->texts[i]) record->texts[i] = CopyText("");
  m_records.insert(record);
  SortItemRecord* old = RecordOf(nItem);
  LVITEM item{};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  item.lParam = reinterpret_cast<LPARAM>(record);
  if (nItem < 0 || nItem >= GetItemCount() || !CListCtrl::SetItem(&item)) {
    FreeRecord(record);
    return FALSE;
  }
  FreeRecord(old);
  return TRUE;
}

int CSortListCtrl::InsertItemWithTexts(LVITEM* item, char** texts) {
  auto* record = new SortItemRecord{texts ? texts : NewTextArray(m_nTextCount), m_nTextCount, 0};
  for (int i = 0; i < record->count; ++i)
    if (!record->texts[i]) record->texts[i] = CopyText("");
  m_records.insert(record);
  item->mask |= LVIF_PARAM;
  item->lParam = reinterpret_cast<LPARAM>(record);
  const int at = InsertItem(item);
  if (at == -1) FreeRecord(record);
  return at;
}

char** CSortListCtrl::GetItemTexts(int nItem) const {
  SortItemRecord* record = RecordOf(nItem);
  return record ? record->texts : nullptr;
}

void CSortListCtrl::OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  if (m_bNoSort) return;
  int column = reinterpret_cast<NMLISTVIEW*>(pNMHDR)->iSubItem;
  BOOL ascending = column == m_nSortColumn ? !m_bSortAscending : TRUE;
  SortItems(column, ascending);
}

void CSortListCtrl::SortItems(int column, BOOL ascending) {
  if (m_bNoSort) return;
  m_nSortColumn = column;
  m_bSortAscending = ascending;
  AttachHeader();
  m_ctlHeader.SetSortArrow(column, ascending);
  CListCtrl::SortItems(&CSortListCtrl::CompareItems, reinterpret_cast<DWORD_PTR>(this));
  if (GetItemCount() > 0) SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
}

int CALLBACK CSortListCtrl::CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort) {
  auto* list = reinterpret_cast<CSortListCtrl*>(lParamSort);
  const int column = list->m_nSortColumn;
  // A row without a record, or a record without this column, compares as an empty text.
  auto textOf = [&](LPARAM p) -> LPCSTR {
    auto* record = reinterpret_cast<SortItemRecord*>(p);
    if (!record || !list->m_records.count(record) || column < 0 || column >= record->count) return "";
    return record->texts[column] ? record->texts[column] : "";
  };
  LPCSTR a = textOf(lParam1), b = textOf(lParam2);
  if (!list->m_bSortAscending) std::swap(a, b);
  // Both texts decide the kind of comparison, so that the order is the same whichever comes first.
  if (IsNumber(a) && IsNumber(b)) return CompareNumbers(a, b);
  if (IsDate(a) && IsDate(b)) return CompareDates(a, b);
  return lstrcmpA(a, b);
}

BOOL CSortListCtrl::IsNumber(LPCSTR text) {
  for (const char* p = text; *p; ++p)
    if (!IsDigit(*p)) return FALSE;
  return TRUE;
}

BOOL CSortListCtrl::IsDate(LPCSTR text) {
  if (std::strlen(text) != 10) return FALSE;
  for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
    if (!IsDigit(text[i])) return FALSE;
  return text[2] == '/' && text[5] == '/';
}

int CSortListCtrl::CompareNumbers(LPCSTR a, LPCSTR b) {
  return Order(DigitsValue(a, std::strlen(a)), DigitsValue(b, std::strlen(b)));
}

int CSortListCtrl::CompareDates(LPCSTR a, LPCSTR b) {
  // Year, then month, then day; a text shorter than a piece gives a shorter piece.
  auto piece = [](LPCSTR t, size_t from, size_t length) {
    size_t n = std::strlen(t);
    if (from >= n) return int64_t{0};
    return DigitsValue(t + from, std::min(length, n - from));
  };
  static const size_t kPieces[3][2] = {{6, 4}, {3, 2}, {0, 2}};
  for (const auto& p : kPieces) {
    int r = Order(piece(a, p[0], p[1]), piece(b, p[0], p[1]));
    if (r) return r;
  }
  return 0;
}
