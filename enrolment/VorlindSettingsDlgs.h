// The three settings dialogs of the enrolment service page: message exchange and cipher (template 4256), service
// description (4255) and transport (4254). Each edits values of the "Vorlind Intelligence" part of the system
// profile that the sheet holds, and offers a save-and-test button that stores and saves them and asks the
// enrolment service whether it answers.
//
// Before DoModal the opener sets m_pSheet (the sheet whose m_SystemProfile is edited; null: the dialog works
// on a profile of its own, loaded from the registry), m_pProxy (the sheet's enrolment proxy; null: a proxy of
// the dialog's own is used for the test) and, for the zoom, m_rcOrigin. The dialogs open with a fresh copy of
// the registry's values; OK stores them into the profile and saves it.
#pragma once

#include <memory>

#include "controls/TextureButton.h"
#include "core/SystemProfile.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/dialog.h"

class CBaseSheet;
class CVorlindEnrolmentProxy;

class CVorlindSettingsDlg : public CDialog {
 public:
  CVorlindSettingsDlg(UINT templateId, UINT testIcon, CWnd* pParent);
  ~CVorlindSettingsDlg() override;

  CBaseSheet* m_pSheet = nullptr;
  CVorlindEnrolmentProxy* m_pProxy = nullptr;
  // Screen rectangle the dialog zooms out of and back into; empty: no zoom.
  CRect m_rcOrigin;
  // Zoom with the program's own outline animation rather than the platform's caption animation.
  BOOL m_bOwnAnimation = FALSE;

  BOOL OnInitDialog() override;
  void OnOK() override;

  // The profile being edited: the sheet's, or the dialog's own.
  CSystemProfile& Profile();

 protected:
  // The dialog's values from a freshly loaded profile (and, where the dialog says so, from Profile()).
  virtual void LoadValues(const CSystemProfile& fresh) = 0;
  // The dialog's values (already taken from the controls) into the profile.
  virtual void StoreValues(CSystemProfile& profile) = 0;
  virtual int TestButtonId() const = 0;

  // Takes the values from the controls and stores them into Profile(); false when a value is refused.
  bool StoreIntoProfile();
  // Asks, then stores and saves the values and tests the connection, telling the outcome.
  void SaveAndTest();

  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();

  CTextureButton m_btnTest;
  UINT m_nTestIcon;
  CSystemProfile m_ownProfile;
  bool m_bOwnProfileLoaded = false;

  DECLARE_MESSAGE_MAP()
};

// Message exchange: PKCS #7 and SSL switches, the cipher and its key length.
class CVorlindExchangeDlg : public CVorlindSettingsDlg {
 public:
  enum { IDD = 4256 };
  static constexpr int IDC_PKCS7 = 1185, IDC_SSL = 1186, IDC_ALGORITHM = 1038, IDC_KEY_LENGTH = 1039, IDC_TEST = 1184;

  explicit CVorlindExchangeDlg(CWnd* pParent = nullptr);

  int m_bPKCS7 = 1;
  int m_bSSL = 0;
  int m_nAlgoIndex = 0;
  int m_nKeyLenIndex = 0;

  BOOL OnInitDialog() override;
  // Fills the key lengths of the algorithm at that position; selectUsual picks its usual length.
  void FillKeyLengths(int algorithm, bool selectUsual);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void LoadValues(const CSystemProfile& fresh) override;
  void StoreValues(CSystemProfile& profile) override;
  int TestButtonId() const override { return IDC_TEST; }
  afx_msg void OnAlgorithmChanged();

  DECLARE_MESSAGE_MAP()
};

// Service description: what the service offers and the names of its description file, port and service.
class CVorlindServiceDlg : public CVorlindSettingsDlg {
 public:
  enum { IDD = 4255 };
  static constexpr int IDC_FULL_CHAIN = 1183, IDC_ACCEPT_PKCS10 = 1181, IDC_DISPOSITION = 1182, IDC_WSDL_FILE = 1179,
                       IDC_WSDL_PORT = 1019, IDC_WSDL_SERVICE = 1180, IDC_TEST = 1155;

  explicit CVorlindServiceDlg(CWnd* pParent = nullptr);

  int m_bFullChain = 1;
  int m_bAcceptPKCS10 = 1;
  int m_bDisposition = 1;
  CString m_strWsdlFile = "VorlindEnrolment.WSDL";
  CString m_strWsdlPort = "VorlindEnrolSoapPort";
  CString m_strWsdlService = "VorlindEnrolment";

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void LoadValues(const CSystemProfile& fresh) override;
  void StoreValues(CSystemProfile& profile) override;
  int TestButtonId() const override { return IDC_TEST; }
};

// Transport: where the service is (a URL or an IP address, and the port) and how it is reached; its hosts button
// pings the service's host.
class CVorlindTransportDlg : public CVorlindSettingsDlg {
 public:
  enum { IDD = 4254 };
  static constexpr int IDC_DISCO = 1169, IDC_TRANSPORT = 1165, IDC_ADDRESS_KIND = 1166, IDC_URL = 1112, IDC_IP = 1172,
                       IDC_PORT = 1113, IDC_SOAP_AUTH = 1168, IDC_VALIDATE = 1170, IDC_ADDRESS_LABEL = 1171,
                       IDC_TEST = 1155, IDC_HOSTS = 1156;

  explicit CVorlindTransportDlg(CWnd* pParent = nullptr);

  int m_bDisco = 1;
  int m_nTransportIndex = 0;
  int m_nAddressIndex = 0;
  CString m_strURL;
  int m_nPort = 80;
  int m_bSoapAuth = 1;
  int m_bValidateHeaders = 0;
  CString m_strIP;

  BOOL OnInitDialog() override;
  // The host the hosts button pings: the IP address, or the host part of the URL in lower case.
  CString HostToPing();
  // The host part of a URL: no scheme, user, port, path, query or fragment.
  static CString HostOfUrl(const CString& url);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void LoadValues(const CSystemProfile& fresh) override;
  void StoreValues(CSystemProfile& profile) override;
  int TestButtonId() const override { return IDC_TEST; }
  void ShowAddress();
  afx_msg void OnAddressKindChanged();
  afx_msg void OnHosts();

  CTextureButton m_btnHosts;
  CIPAddressCtrl m_ipAddress;

  DECLARE_MESSAGE_MAP()
};
