#include "controls/BasicReportListCtrl.h"

#include "controls/ControlsHost.h"
#include "platform/mfc/afxwin.h"

BEGIN_MESSAGE_MAP(CBasicReportListCtrl, CListCtrl)
END_MESSAGE_MAP()

int CBasicReportListCtrl::InsertColumnFromResource(int index, UINT headingId, int format, int width, int subItem) {
  return InsertColumn(index, ControlText(headingId), format, width, subItem);
}

BOOL CBasicReportListCtrl::AutoSizeColumns() {
  SetRedraw(FALSE);
  const int code = GetItemCount() > 0 ? LVSCW_AUTOSIZE : LVSCW_AUTOSIZE_USEHEADER;
  const int columns = HeaderItemCount(*this);
  for (int c = 0; c < columns; ++c) SetColumnWidth(c, code);
  SetRedraw(TRUE);
  return TRUE;
}

int CBasicReportListCtrl::GetSelectedIndex() const { return GetNextItem(-1, LVNI_SELECTED); }

void CBasicReportListCtrl::GetSelectedIndices(CDWordArray& indices) const {
  for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0; row = GetNextItem(row, LVNI_SELECTED))
    indices.Add(static_cast<DWORD>(row));
}
