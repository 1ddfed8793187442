#include "enrolment/VorlindSettingsDlgs.h"

#include "app/BaseSheet.h"
#include "app/ResString.h"
#include "controls/ZoomRect.h"
#include "enrolment/HostListDlg.h"
#include "enrolment/VorlindEnrolmentProxy.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "app/SettingsPageTools.h"

namespace {

// Texts of the enrolment dialogs.
constexpr UINT kBitsText = 429;
constexpr UINT kUrlLabel = 496;
constexpr UINT kIpLabel = 497;
constexpr UINT kNotReady = 498;
constexpr UINT kCheckSettings = 499;
constexpr UINT kNoConnection = 500;
constexpr UINT kConnected = 501;
constexpr UINT kReason = 216;
constexpr UINT kSaveAndTestQuestion = 552;
constexpr UINT kContinueQuestion = 553;
constexpr UINT kSaveFailed = 554;
// The items of the transport and address-kind combo boxes, one a line.
constexpr UINT kTransportItems = 31561;
constexpr UINT kAddressKindItems = 31562;

constexpr DWORD kTestPauseMs = 750;

// A label text with its colon: "Service URL" and "Service URL:" both give "Service URL: ".
CString LabelWithColon(UINT stringId) {
  CString text = LoadResString(stringId);
  text.TrimRight();
  text.TrimRight(':');
  return text + ": ";
}

struct Algorithm {
  const char* name;
  struct {
    int bits;
    int data;
  } lengths[2];
  int count;
  int usual;  // position selected after the algorithm changes
};

const Algorithm kAlgorithms[] = {
    {"DES", {{56, 0}, {40, 2}}, 2, 0},
    {"Triple DES (2-Key)", {{128, 1}, {0, 0}}, 1, 0},
    {"RC2", {{40, 2}, {128, 1}}, 2, 1},
    {"RC4", {{40, 2}, {128, 1}}, 2, 0},
    {"Triple DES (3-Key)", {{128, 1}, {168, 3}}, 2, 1},
};
constexpr int kAlgorithmCount = sizeof kAlgorithms / sizeof kAlgorithms[0];

}  // namespace

// ---- the shared part ----

BEGIN_MESSAGE_MAP(CVorlindSettingsDlg, CDialog)
  ON_WM_CREATE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CVorlindSettingsDlg::CVorlindSettingsDlg(UINT templateId, UINT testIcon, CWnd* pParent)
    : CDialog(templateId, pParent), m_nTestIcon(testIcon) {}

CVorlindSettingsDlg::~CVorlindSettingsDlg() = default;

CSystemProfile& CVorlindSettingsDlg::Profile() {
  if (m_pSheet) return m_pSheet->m_SystemProfile;
  if (!m_bOwnProfileLoaded) {
    m_ownProfile.Load();
    m_bOwnProfileLoaded = true;
  }
  return m_ownProfile;
}

BOOL CVorlindSettingsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_btnTest.SubclassDlgItem(TestButtonId(), this);
  SetUpTextureButton(m_btnTest, m_nTestIcon);
  CSystemProfile fresh;
  fresh.Load();
  LoadValues(fresh);
  return TRUE;
}

int CVorlindSettingsDlg::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CDialog::OnCreate(lpCreateStruct) == -1) return -1;
  ZoomOpen(m_rcOrigin, this, lpCreateStruct, m_bOwnAnimation != FALSE);
  return 0;
}

void CVorlindSettingsDlg::OnDestroy() {
  CDialog::OnDestroy();
  ZoomClose(m_rcOrigin, this, m_bOwnAnimation != FALSE);
}

BOOL CVorlindSettingsDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) == TestButtonId() && HIWORD(wParam) == BN_CLICKED) {
    SaveAndTest();
    return TRUE;
  }
  return CDialog::OnCommand(wParam, lParam);
}

bool CVorlindSettingsDlg::StoreIntoProfile() {
  if (!UpdateData(TRUE)) return false;
  StoreValues(Profile());
  return true;
}

void CVorlindSettingsDlg::OnOK() {
  if (!StoreIntoProfile()) return;
  // Saved at once: the sheet's other pages reload the profile from the registry when they are shown.
  Profile().Save();
  EndDialog(IDOK);
}

void CVorlindSettingsDlg::SaveAndTest() {
  if (MessageBox(LoadResString(kSaveAndTestQuestion) + " " + LoadResString(kContinueQuestion), nullptr, MB_YESNO) != IDYES)
    return;
  BeginWaitCursor();
  Sleep(kTestPauseMs);
  if (!StoreIntoProfile()) {
    EndWaitCursor();
    return;
  }
  CString message;
  if (!Profile().Save()) {
    message = LoadResString(kSaveFailed);
  } else {
    CoInitialize(nullptr);
    {
      std::unique_ptr<CVorlindEnrolmentProxy> own;
      CVorlindEnrolmentProxy* proxy = m_pProxy;
      if (!proxy) {
        own = std::make_unique<CVorlindEnrolmentProxy>();
        proxy = own.get();
      }
      CString error;
      if (!proxy->Initialize())
        message = LoadResString(kNotReady) + " " + LoadResString(kCheckSettings);
      else if (proxy->VerifyConnect(error))
        message = LoadResString(kConnected);
      else
        message = LoadResString(kNoConnection) + " (" + LoadResString(kReason) + ": " + error + ")";
    }
    CoUninitialize();
  }
  EndWaitCursor();
  MessageBox(message, nullptr, MB_OK);
  SetFocus();
}

// ---- message exchange ----

BEGIN_MESSAGE_MAP(CVorlindExchangeDlg, CVorlindSettingsDlg)
  ON_CBN_SELCHANGE(IDC_ALGORITHM, OnAlgorithmChanged)
END_MESSAGE_MAP()

CVorlindExchangeDlg::CVorlindExchangeDlg(CWnd* pParent) : CVorlindSettingsDlg(IDD, 141, pParent) {}

void CVorlindExchangeDlg::DoDataExchange(CDataExchange* pDX) {
  CVorlindSettingsDlg::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_PKCS7, m_bPKCS7);
  DDX_Check(pDX, IDC_SSL, m_bSSL);
  DDX_CBIndex(pDX, IDC_ALGORITHM, m_nAlgoIndex);
  DDX_CBIndex(pDX, IDC_KEY_LENGTH, m_nKeyLenIndex);
}

BOOL CVorlindExchangeDlg::OnInitDialog() {
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(IDC_ALGORITHM));
  if (algorithms) {
    algorithms->ResetContent();
    for (const Algorithm& a : kAlgorithms) algorithms->AddString(a.name);
    algorithms->SetCurSel(1);
  }
  FillKeyLengths(1, true);
  return CVorlindSettingsDlg::OnInitDialog();
}

void CVorlindExchangeDlg::FillKeyLengths(int algorithm, bool selectUsual) {
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!lengths) return;
  lengths->ResetContent();
  if (algorithm < 0 || algorithm >= kAlgorithmCount) return;
  const Algorithm& a = kAlgorithms[algorithm];
  const CString bits = LoadResString(kBitsText);
  for (int i = 0; i < a.count; ++i) {
    CString entry;
    entry.Format("%d ", a.lengths[i].bits);
    const int item = lengths->AddString(entry + bits);
    lengths->SetItemData(item, static_cast<DWORD_PTR>(a.lengths[i].data));
  }
  if (selectUsual) lengths->SetCurSel(a.usual);
}

void CVorlindExchangeDlg::LoadValues(const CSystemProfile& fresh) {
  m_bPKCS7 = fresh.Exchange_Using_PKCS7;
  m_bSSL = fresh.Exchange_Using_SSL;
  const CSystemProfile& source = m_pSheet ? Profile() : fresh;
  m_nAlgoIndex = source.VI_AlgoIndex;
  m_nKeyLenIndex = source.VI_KeyLenIndex;
  // A stored position outside the lists falls back to the first cipher or to the cipher's usual length.
  if (m_nAlgoIndex < 0 || m_nAlgoIndex >= kAlgorithmCount) m_nAlgoIndex = 0;
  const Algorithm& a = kAlgorithms[m_nAlgoIndex];
  if (m_nKeyLenIndex < 0 || m_nKeyLenIndex >= a.count) m_nKeyLenIndex = a.usual;
  FillKeyLengths(m_nAlgoIndex, false);
  UpdateData(FALSE);
}

void CVorlindExchangeDlg::StoreValues(CSystemProfile& profile) {
  profile.Exchange_Using_PKCS7 = m_bPKCS7;
  profile.Exchange_Using_SSL = m_bSSL;
  profile.VI_AlgoIndex = m_nAlgoIndex;
  profile.VI_KeyLenIndex = m_nKeyLenIndex;
}

void CVorlindExchangeDlg::OnAlgorithmChanged() {
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(IDC_ALGORITHM));
  if (algorithms) FillKeyLengths(algorithms->GetCurSel(), true);
}

// ---- service description ----

CVorlindServiceDlg::CVorlindServiceDlg(CWnd* pParent) : CVorlindSettingsDlg(IDD, 147, pParent) {}

void CVorlindServiceDlg::DoDataExchange(CDataExchange* pDX) {
  CVorlindSettingsDlg::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_FULL_CHAIN, m_bFullChain);
  DDX_Check(pDX, IDC_ACCEPT_PKCS10, m_bAcceptPKCS10);
  DDX_Check(pDX, IDC_DISPOSITION, m_bDisposition);
  DDX_Text(pDX, IDC_WSDL_FILE, m_strWsdlFile);
  DDX_Text(pDX, IDC_WSDL_PORT, m_strWsdlPort);
  DDX_Text(pDX, IDC_WSDL_SERVICE, m_strWsdlService);
}

void CVorlindServiceDlg::LoadValues(const CSystemProfile& fresh) {
  m_bFullChain = fresh.Full_Chain_PKCS7_Format;
  m_bAcceptPKCS10 = fresh.Accept_PKCS10;
  m_bDisposition = fresh.Issue_Cert_Disposition;
  m_strWsdlFile = fresh.WSDL_File;
  m_strWsdlPort = fresh.WSDL_Port;
  m_strWsdlService = fresh.WSDL_Service;
  UpdateData(FALSE);
}

void CVorlindServiceDlg::StoreValues(CSystemProfile& profile) {
  profile.Full_Chain_PKCS7_Format = m_bFullChain;
  profile.Accept_PKCS10 = m_bAcceptPKCS10;
  profile.Issue_Cert_Disposition = m_bDisposition;
  profile.WSDL_File = m_strWsdlFile;
  profile.WSDL_Port = m_strWsdlPort;
  profile.WSDL_Service = m_strWsdlService;
}

// ---- transport ----

BEGIN_MESSAGE_MAP(CVorlindTransportDlg, CVorlindSettingsDlg)
  ON_CBN_SELCHANGE(IDC_ADDRESS_KIND, OnAddressKindChanged)
  ON_BN_CLICKED(IDC_HOSTS, OnHosts)
END_MESSAGE_MAP()

CVorlindTransportDlg::CVorlindTransportDlg(CWnd* pParent) : CVorlindSettingsDlg(IDD, 147, pParent) {}

void CVorlindTransportDlg::DoDataExchange(CDataExchange* pDX) {
  CVorlindSettingsDlg::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_IP, m_ipAddress);
  DDX_Check(pDX, IDC_DISCO, m_bDisco);
  DDX_CBIndex(pDX, IDC_TRANSPORT, m_nTransportIndex);
  DDX_CBIndex(pDX, IDC_ADDRESS_KIND, m_nAddressIndex);
  DDX_Text(pDX, IDC_URL, m_strURL);
  DDX_Text(pDX, IDC_PORT, m_nPort);
  DDV_MinMaxInt(pDX, m_nPort, 1, 65535);
  DDX_Check(pDX, IDC_SOAP_AUTH, m_bSoapAuth);
  DDX_Check(pDX, IDC_VALIDATE, m_bValidateHeaders);
}

BOOL CVorlindTransportDlg::OnInitDialog() {
  FillComboFromString(GetDlgItem(IDC_TRANSPORT), kTransportItems);
  FillComboFromString(GetDlgItem(IDC_ADDRESS_KIND), kAddressKindItems);
  CVorlindSettingsDlg::OnInitDialog();
  m_btnHosts.SubclassDlgItem(IDC_HOSTS, this);
  SetUpTextureButton(m_btnHosts, 132);
  return TRUE;
}

void CVorlindTransportDlg::LoadValues(const CSystemProfile& fresh) {
  m_bDisco = fresh.WSDL_Stnadard_Disco;
  m_nTransportIndex = fresh.Transport_Index;
  m_nAddressIndex = fresh.Transport_Address_Index ? 1 : 0;
  m_strURL = fresh.Transport_Address_URL;
  m_bSoapAuth = fresh.SOAP_Authentication;
  m_bValidateHeaders = fresh.Validate_Headers;
  m_strIP = fresh.Transport_Address_IP;
  m_nPort = m_pSheet ? Profile().Transport_Port : fresh.Transport_Port;
  UpdateData(FALSE);
  m_ipAddress.SetWindowText(m_strIP);
  ShowAddress();
}

void CVorlindTransportDlg::StoreValues(CSystemProfile& profile) {
  profile.WSDL_Stnadard_Disco = m_bDisco;
  profile.Transport_Index = m_nTransportIndex;
  profile.Transport_Address_Index = m_nAddressIndex;
  profile.Transport_Address_URL = m_strURL;
  profile.SOAP_Authentication = m_bSoapAuth;
  profile.Validate_Headers = m_bValidateHeaders;
  // A blank address control keeps the stored address (it may be a name the control cannot show).
  if (!m_ipAddress.IsBlank()) m_ipAddress.GetWindowText(m_strIP);
  profile.Transport_Address_IP = m_strIP;
  profile.Transport_Port = m_nPort;
}

void CVorlindTransportDlg::ShowAddress() {
  const bool ip = m_nAddressIndex != 0;
  m_ipAddress.ShowWindow(ip ? SW_SHOW : SW_HIDE);
  if (CWnd* url = GetDlgItem(IDC_URL)) url->ShowWindow(ip ? SW_HIDE : SW_SHOW);
  if (CWnd* label = GetDlgItem(IDC_ADDRESS_LABEL)) label->SetWindowText(LabelWithColon(ip ? kIpLabel : kUrlLabel));
}

void CVorlindTransportDlg::OnAddressKindChanged() {
  if (auto* kinds = static_cast<CComboBox*>(GetDlgItem(IDC_ADDRESS_KIND))) m_nAddressIndex = kinds->GetCurSel();
  ShowAddress();
}

CString CVorlindTransportDlg::HostOfUrl(const CString& url) {
  CString host = url;
  host.Trim();
  const int scheme = host.Find("://");
  if (scheme >= 0) host = host.Mid(scheme + 3);
  const int at = host.Find('@');
  const int end = host.FindOneOf("/?#");
  if (at >= 0 && (end < 0 || at < end)) host = host.Mid(at + 1);
  const int stop = host.FindOneOf(":/?#");
  if (stop >= 0) host = host.Left(stop);
  return host;
}

CString CVorlindTransportDlg::HostToPing() {
  auto* kinds = static_cast<CComboBox*>(GetDlgItem(IDC_ADDRESS_KIND));
  const int kind = kinds ? kinds->GetCurSel() : m_nAddressIndex;
  CString host;
  if (kind != 0 && kind != CB_ERR) {
    m_ipAddress.GetWindowText(host);
    return host;
  }
  GetDlgItemText(IDC_URL, host);
  host.MakeLower();
  return HostOfUrl(host);
}

void CVorlindTransportDlg::OnHosts() {
  CHostListDlg hosts(this);
  hosts.m_strFixedHost = HostToPing();
  hosts.DoModal();
  // The sheet behind stays enabled (this dialog belongs to the main window) and may have taken the activation
  // when the host list went.
  SetActiveWindow();
}
