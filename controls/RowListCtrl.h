// The sortable list drawn by itself in report view, a whole row at a time: the selection bar runs across every
// column to the right edge of the client area, each row shows its icon and state image, and texts that do not
// fit are shortened with "...".
#pragma once

#include "controls/SortListCtrl.h"

class CRowListCtrl : public CSortListCtrl {
  DECLARE_DYNAMIC(CRowListCtrl)
 public:
  CRowListCtrl();
  ~CRowListCtrl() override = default;

  // Switches the owner-drawn full rows on or off; TRUE when the window style changed.
  BOOL SetFullRowDraw(BOOL on);
  BOOL GetFullRowDraw() const { return m_bFullRowDraw; }
  // Counts the column, makes every new row record hold that many texts, then inserts it.
  int InsertColumn(int nCol, const LVCOLUMN* pColumn);
  int InsertColumn(int nCol, LPCSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                   int nSubItem = -1);
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  // The text when it fits the width with the margin, else as many leading characters as fit followed by
  // "..." (at least the first character), in a buffer of the calling thread.
  static LPCSTR FitTextToWidth(CDC* pDC, LPCSTR text, int width, int margin);
  // Repaints the focused row and (without LVS_SHOWSELALWAYS) the selected ones.
  void InvalidateSelectionRows();

 protected:
  void PreSubclassWindow() override;
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnPaint();
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg LRESULT OnSetTextColor(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSetTextBkColor(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSetBkColor(WPARAM wParam, LPARAM lParam);

  // One more column: every new row record holds a text for it.
  void CountColumn();
  bool IsReportView() const { return (GetStyle() & LVS_TYPEMASK) == LVS_REPORT; }

  BOOL m_bClientWidthSelection = TRUE;
  COLORREF m_clrText;
  COLORREF m_clrTextBk;
  COLORREF m_clrBk;
  int m_nColumnCount = 0;
  int m_nClientWidth = 0;
  BOOL m_bFullRowDraw = FALSE;

  DECLARE_MESSAGE_MAP()
};
