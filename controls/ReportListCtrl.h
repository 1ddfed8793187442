// The report list the pages embed: up to four column headings, one text list per column, an icon per row and a
// mark per row (normal, current, flagged). Populate makes the image lists and columns on first use and inserts
// one row per entry.
//
// The usual filling: SetFullRowDraw(TRUE) once; then DeleteAllItems, SetHeadings, SetColumnData for each column,
// SetItemStates, SetItemImages, Populate, column widths, SetRowMark and SetItemData for each row, and
// SortItems(0, TRUE).
#pragma once

#include "controls/RowListCtrl.h"
#include "platform/mfc/collections.h"

// Bitmap strips of the resource library: row icons (16 x 16 each) and row marks (16 wide, black transparent).
constexpr UINT IDB_REPORT_ROW_ICONS = 149;
constexpr UINT IDB_REPORT_ROW_MARKS = 148;

// What a report list holds for its owner: the column texts, per-row states and images, the image lists and the
// headings. The plain report list's owner works with these directly.
// The number of columns of a report list's header (0 without a header).
int HeaderItemCount(const CListCtrl& list);

struct CReportListData {
  CReportListData() = default;
  ~CReportListData() { delete m_pSmallImageList; }
  CReportListData(const CReportListData&) = delete;
  CReportListData& operator=(const CReportListData&) = delete;

  // Replaces the small image list (deleting the old one) by a 16 x 16 masked list of the row icons; true when
  // the list was made and the bitmap loaded.
  bool CreateSmallImageList();

  CStringList m_astrColumnData[4];
  CUIntArray m_aItemStates;
  CUIntArray m_aItemImages;
  CImageList* m_pSmallImageList = nullptr;
  CImageList m_stateImageList;
  CStringList m_astrHeadings{10};
  int m_nMarkedRow = -1;
  // 1: row marks touch only the state-image bits; 0: they clear the overlay bits too.
  BOOL m_nMode = 1;
  bool m_bInitialised = false;
};

class CReportListCtrl : public CRowListCtrl, public CReportListData {
 public:
  CReportListCtrl() = default;

  // At most four; with five or more the message "Too many column headings" is shown and nothing changes.
  void SetHeadings(const CStringList& headings);
  // Column 0 to 3.
  void SetColumnData(int column, const CStringList& texts);
  // One icon index per row (a row without one gets icon 0).
  void SetItemImages(const CUIntArray& images);
  // One value per row, kept with the list for the owner.
  void SetItemStates(const CUIntArray& states);
  // Makes the image lists and columns on first use, then inserts one row per entry in front of the rows
  // present. false when the column lists differ in length ("The amounts of key data to be shown are not
  // consistent"), when a row could not be inserted, or when the image lists or columns could not be made.
  bool Populate();
  // Mark image 4 (flagged) when either flag is set, else 2 (current) or 1 (normal); in mode 0 the current
  // row also gets overlay image 1.
  void SetRowMark(int row, BOOL current, BOOL flagA, BOOL flagB);

  bool InsertColumns();
  bool InsertRows();
  bool CheckColumnCounts();

  int GetMarkedRow() const { return m_nMarkedRow; }
  const CUIntArray& GetItemStates() const { return m_aItemStates; }
};
