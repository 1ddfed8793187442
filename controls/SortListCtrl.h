// The list control under every report list: each row carries a record with copies of its texts, and a click on
// a column heading sorts the rows by that column (numbers, day/month/year dates or texts) with an arrow in the
// heading.
#pragma once

#include <unordered_set>

#include "platform/mfc/afxcmn.h"

class CArchive;

// One per row, kept as the row's item data and owned by the list.
struct SortItemRecord {
  char** texts;    // `count` separately allocated copies of the row's column texts
  int count;
  DWORD_PTR data;  // the owner's value (CSortListCtrl::SetItemData)
};

// A header that draws its sort column's heading with an arrow.
class CArrowHeaderCtrl : public CHeaderCtrl {
 public:
  CArrowHeaderCtrl() = default;
  ~CArrowHeaderCtrl() override = default;

  // Remembers the sort column and direction and makes the column owner-drawn.
  void SetSortArrow(int column, BOOL ascending);
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  // Column widths: the count, then one width per column.
  void Serialize(CArchive& ar) override;

  int GetSortColumn() const { return m_nSortColumn; }
  BOOL GetSortAscending() const { return m_bSortAscending; }

 protected:
  int m_nSortColumn = -1;
  BOOL m_bSortAscending = TRUE;

  DECLARE_MESSAGE_MAP()
};

class CSortListCtrl : public CListCtrl {
  DECLARE_DYNAMIC(CSortListCtrl)
 public:
  CSortListCtrl() = default;
  ~CSortListCtrl() override;

  // While set, the header stays the list's own and nothing sorts. Owners that sort clear it in their
  // constructor, before the control is subclassed.
  BOOL m_bNoSort = TRUE;

  void SortItems(int column, BOOL ascending);
  // Frees every row's record, then deletes the rows.
  BOOL DeleteAllItems();
  // Sets the text and the record's copy of it; FALSE and nothing changed when the list refuses the text.
  BOOL SetItemText(int nItem, int nSubItem, LPCSTR lpszText);
  // The owner's value of a row; FALSE for a row that does not exist or has no record.
  BOOL SetItemData(int nItem, DWORD_PTR dwData);
  // The owner's value; -1 (all bits set) for a row without a record.
  DWORD_PTR GetItemData(int nItem) const;
  // Gives the row a new record holding the array (GetTextCount entries made with NewTextArray and CopyText);
  // the list owns the array from then on, and frees it at once when the row does not exist.
  BOOL SetItemTexts(int nItem, char** texts);
  // Inserts the row with its record holding texts (as SetItemTexts takes them) in the same step; -1, the
  // array freed, when no row was inserted.
  int InsertItemWithTexts(LVITEM* item, char** texts);
  char** GetItemTexts(int nItem) const;
  // Frees the row's record and clears its item data; a row without a record is left alone.
  BOOL FreeItemRecord(int nItem);

  int GetTextCount() const { return m_nTextCount; }
  void SetTextCount(int count) { m_nTextCount = count > 0 ? count : 0; }
  int GetSortColumn() const { return m_nSortColumn; }
  BOOL GetSortAscending() const { return m_bSortAscending; }
  CArrowHeaderCtrl& GetArrowHeader() { return m_ctlHeader; }

  // An array of `count` empty slots and a copy of a text, as SetItemTexts takes them.
  static char** NewTextArray(int count);
  static char* CopyText(LPCSTR text);

  // The comparison of the list's sort: lParam1 and lParam2 are records, lParamSort the list.
  static int CALLBACK CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);
  // Only digits (an empty text counts as the number 0).
  static BOOL IsNumber(LPCSTR text);
  // dd/mm/yyyy.
  static BOOL IsDate(LPCSTR text);
  static int CompareNumbers(LPCSTR a, LPCSTR b);
  static int CompareDates(LPCSTR a, LPCSTR b);

 protected:
  void PreSubclassWindow() override;
  afx_msg void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDestroy();

  // The record of a row, or null.
  SortItemRecord* RecordOf(int nItem) const;
  void FreeRecord(SortItemRecord* record);
  void FreeAllRecords();
  // Replaces the header by the arrow header once the list has one.
  void AttachHeader();

  CArrowHeaderCtrl m_ctlHeader;
  // Number of texts each new record holds; set by the derived lists.
  int m_nTextCount = 0;
  int m_nSortColumn = -1;
  BOOL m_bSortAscending = TRUE;

 private:
  // Records this list made: an item data value is only taken for a record when it is one of them.
  std::unordered_set<SortItemRecord*> m_records;

  DECLARE_MESSAGE_MAP()
};
