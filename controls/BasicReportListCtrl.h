// The plain list of the archive wizard's zip page: not sortable and not owner-drawn; its owner works with the
// members directly and uses a few operations for columns, widths and the selection.
#pragma once

#include "controls/ReportListCtrl.h"

class CBasicReportListCtrl : public CListCtrl, public CReportListData {
 public:
  CBasicReportListCtrl() = default;

  // A column headed by a string of the resource library; the new column's index, or -1.
  int InsertColumnFromResource(int index, UINT headingId, int format, int width, int subItem);
  // Every column as wide as its widest text, or as its heading while the list is empty.
  BOOL AutoSizeColumns();
  // The first selected row, -1 when none.
  int GetSelectedIndex() const;
  // Appends every selected row, in list order.
  void GetSelectedIndices(CDWordArray& indices) const;

 protected:
  DECLARE_MESSAGE_MAP()
};
