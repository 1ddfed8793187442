// The host list (template 1041): the user picks or types a host, chooses how many echo requests to send and
// pings it; each reply, time-out and error becomes a row of the status list while a red marker runs along a
// line. Hosts that were found are remembered, in order, in the application profile's section "MRU" ("Entries"
// and "Host#0", "Host#1", ...), which Cancel (the Close button) writes. Given a fixed host, the dialog pings it
// at once and the host cannot be changed.
//
// The echo runs on the dialog's PingWorker thread, which posts its lines back; the worker is stopped and
// awaited when the dialog's window is destroyed.
#pragma once

#include <memory>

#include "controls/AutoCompleteCombo.h"
#include "enrolment/PingWorker.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/dialog.h"

class CHostListDlg : public CDialog {
 public:
  enum { IDD = 1041 };
  static constexpr int IDC_HOST = 1001, IDC_PING = 1003, IDC_COUNT = 1006, IDC_SPIN = 1019, IDC_STATUS = 1033;
  // Controls that mark the two ends of the animation line.
  static constexpr int IDC_LINE_START = 1193, IDC_LINE_END = 1005;
  static constexpr UINT_PTR kAnimationTimer = 4097;
  // Status row images (bitmap 1042).
  enum { kImageError = 0, kImageHeader = 1, kImageReply = 2, kImageTimeout = 3, kImageBlank = 4 };

  explicit CHostListDlg(CWnd* pParent = nullptr);
  ~CHostListDlg() override;

  // Empty: the user chooses the host.
  CString m_strFixedHost;

  BOOL OnInitDialog() override;
  void OnCancel() override;
  BOOL IsRunning() const { return m_bRunning; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void StartRun();
  void RedrawStrip();
  void SaveRecentHosts();

  afx_msg void OnPing();
  afx_msg LRESULT OnPingLine(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnPingDone(WPARAM wParam, LPARAM lParam);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnPaint();
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnDestroy();

  std::unique_ptr<PingWorker> m_pWorker;
  CAutoCompleteCombo m_comboHost;
  CSpinButtonCtrl m_spinCount;
  CString m_strCount;
  CListCtrl m_listStatus;
  CImageList m_imlStatus;
  HICON m_hIcon = nullptr;
  CPoint m_ptStart;
  CPoint m_ptEnd;
  int m_nMarker = 0;
  int m_nStep = 20;
  BOOL m_bRunning = FALSE;

  DECLARE_MESSAGE_MAP()
};
