// The transport page of the system profile sheet (template 30038): whether the enrolment service is reached
// through a proxy, a smart proxy with its credentials, the port, and the address given as a URL or an IP
// address; and the dialog that stores the proxy's user name and password (template 130).
#pragma once

#include "controls/ColorLabel.h"
#include "controls/IconButton.h"
#include "controls/TextureButton.h"
#include "platform/mfc/dialog.h"
#include "platform/mfc/propsheet.h"

class CSysProfileProxyPgae : public CPropertyPage {
  DECLARE_DYNCREATE(CSysProfileProxyPgae)
 public:
  enum { IDD = 30038 };
  CSysProfileProxyPgae();

  CColorLabel m_lblTitle;
  CColorLabel m_lblAddress;
  CColorLabel m_lblPort;
  CColorLabel m_lblNote;
  CColorLabel m_lblKind;
  CColorLabel m_lblTest;
  CTextureButton m_btnAuthentication;
  CTextureButton m_btnInternetOptions;
  CTextureButton m_btnTest;
  int m_bProxy = 0;
  int m_bSmartProxy = 0;
  int m_Port = 0;
  int m_TxIndex = 0;
  int m_TxAddressIndex = 1;
  CString m_strURL;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnAddressKindChanged();
  afx_msg void OnUrlChanged();
  afx_msg void OnProxyClicked();
  afx_msg void OnSmartProxyClicked();
  afx_msg void OnInternetOptions();
  afx_msg void OnAuthentication();
  afx_msg void OnTestConnection();
  // Shows the URL edit or the IP address control, as the address kind says.
  void ShowAddress();
  // The controls that only count with a proxy follow the proxy switches.
  void EnableProxyControls();
  void Load();
  // The page's values into the transport settings; false when the controls hold a refused value.
  bool Save();
  DECLARE_MESSAGE_MAP()
};

class CProxyAuthDlg : public CDialog {
 public:
  enum { IDD = 130 };
  explicit CProxyAuthDlg(CWnd* pParentWnd = nullptr);

  CIconButton m_btnOK;
  CIconButton m_btnCancel;
  CColorLabel m_lblNote;
  int m_bRemember = 1;
  CString m_strUser;
  CString m_strPassword;

  BOOL OnInitDialog() override;
  void OnOK() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnTextChanged();
  DECLARE_MESSAGE_MAP()
};
