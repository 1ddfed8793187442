#include "controls/DateTimePickDlg.h"

#include "controls/ZoomRect.h"

BEGIN_MESSAGE_MAP(CDateTimePickDlg, CDialog)
  ON_WM_CREATE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CDateTimePickDlg::CDateTimePickDlg(CWnd* pParent) : CDialog(IDD, pParent) {}

void CDateTimePickDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TIME_LABEL, m_lblTime);
  DDX_Control(pDX, IDC_DATE_LABEL, m_lblDate);
  DDX_Control(pDX, IDC_TIME, m_ctlTime);
  DDX_Control(pDX, IDC_DATE, m_ctlDate);
  DDX_DateTimeCtrl(pDX, IDC_DATE, m_date);
  DDX_DateTimeCtrl(pDX, IDC_TIME, m_time);
}

int CDateTimePickDlg::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CDialog::OnCreate(lpCreateStruct) == -1) return -1;
  ZoomOpen(m_rcSource, this, lpCreateStruct, m_bZoomByOutline != FALSE);
  return 0;
}

void CDateTimePickDlg::OnDestroy() {
  CDialog::OnDestroy();
  ZoomClose(m_rcSource, this, m_bZoomByOutline != FALSE);
}
