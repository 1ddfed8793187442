// The small dialog in which the user picks a date and a time (the time stamp of the signer wizard). Given a
// source rectangle it zooms out of it as it opens and back into it as it closes.
#pragma once

#include "controls/ColorLabel.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/dialog.h"

class CDateTimePickDlg : public CDialog {
 public:
  enum { IDD = 1009 };
  static constexpr int IDC_TIME_LABEL = 1053, IDC_DATE_LABEL = 1052, IDC_TIME = 1051, IDC_DATE = 1050;

  explicit CDateTimePickDlg(CWnd* pParent = nullptr);

  CColorLabel m_lblTime;
  CColorLabel m_lblDate;
  CDateTimeCtrl m_ctlTime;
  CDateTimeCtrl m_ctlDate;
  // The date (control 1050) and the time (control 1051); taken back only on OK.
  COleDateTime m_date;
  COleDateTime m_time;
  // The zoom draws moving outlines rather than the system's caption animation.
  BOOL m_bZoomByOutline = TRUE;
  // Screen rectangle to zoom from and back to; empty: no zoom.
  CRect m_rcSource;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();

  DECLARE_MESSAGE_MAP()
};
