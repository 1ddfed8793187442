// The e-signature options dialog and the attachment compression dialog; each edits its own settings record.
#pragma once

#include "controls/LabelCtrl.h"
#include "platform/mfc/dialog.h"

class CESignDlg : public CDialog {
 public:
  enum { IDD = 1138 };
  explicit CESignDlg(CWnd* pParentWnd = nullptr);

  int m_bComply1 = 0;
  int m_bComply4 = 0;
  int m_bComply2 = 0;
  int m_bTimeStamp = 0;
  int m_bESign = 0;
  int m_bESignTrack = 0;

  BOOL OnInitDialog() override;
  void OnOK() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

class CCompressionDlg : public CDialog {
 public:
  enum { IDD = 30040 };
  explicit CCompressionDlg(CWnd* pParentWnd = nullptr);

  CLabelCtrl m_lblNote;
  int m_bCompress = 1;
  int m_Level = 9;

  BOOL OnInitDialog() override;
  void OnOK() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};
