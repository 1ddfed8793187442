#include "settings/ProxySettingsPage.h"

#include <memory>

#include "app/ResString.h"
#include "core/SecurityPolicy.h"
#include "enrolment/ProxyAuthSettings.h"
#include "app/TransportSettings.h"
#include "enrolment/VorlindEnrolmentProxy.h"
#include "platform/win32/registry.h"
#include "app/SettingsPageTools.h"
#include "settings/SysProfileSheet.h"

namespace {

const char kTransportKey[] = "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport";
const char kProxyAuthKey[] = "Software\\Kesmora\\OfficeTolvex\\ProxyAuth";
// Item list of the address kind (one item a line): URL, IP address.
constexpr UINT kAddressKindItems = 31507;

constexpr int kProxyCheck = 1224;
constexpr int kSmartProxyCheck = 1225;
constexpr int kPortEdit = 1113;
constexpr int kAddressKind = 1166;
constexpr int kUrlEdit = 1112;
constexpr int kIpAddress = 1172;
constexpr int kAddressLabel = 1171;
constexpr int kAuthenticationButton = 1164;
constexpr int kInternetOptionsButton = 1163;
constexpr int kTestButton = 1155;

}  // namespace

IMPLEMENT_DYNCREATE(CSysProfileProxyPgae, CPropertyPage)

BEGIN_MESSAGE_MAP(CSysProfileProxyPgae, CPropertyPage)
  ON_CBN_SELCHANGE(kAddressKind, OnAddressKindChanged)
  ON_EN_CHANGE(kUrlEdit, OnUrlChanged)
  ON_EN_CHANGE(kPortEdit, OnUrlChanged)
  ON_BN_CLICKED(kProxyCheck, OnProxyClicked)
  ON_BN_CLICKED(kSmartProxyCheck, OnSmartProxyClicked)
  ON_BN_CLICKED(kInternetOptionsButton, OnInternetOptions)
  ON_BN_CLICKED(kAuthenticationButton, OnAuthentication)
  ON_BN_CLICKED(kTestButton, OnTestConnection)
END_MESSAGE_MAP()

CSysProfileProxyPgae::CSysProfileProxyPgae() : CPropertyPage(IDD) {}

void CSysProfileProxyPgae::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1187, m_lblTitle);
  DDX_Control(pDX, kAddressLabel, m_lblAddress);
  DDX_Control(pDX, 1173, m_lblPort);
  DDX_Control(pDX, 1188, m_lblNote);
  DDX_Control(pDX, 1167, m_lblKind);
  DDX_Control(pDX, 1175, m_lblTest);
  DDX_Control(pDX, kAuthenticationButton, m_btnAuthentication);
  DDX_Control(pDX, kInternetOptionsButton, m_btnInternetOptions);
  DDX_Control(pDX, kTestButton, m_btnTest);
  DDX_Check(pDX, kProxyCheck, m_bProxy);
  DDX_Check(pDX, kSmartProxyCheck, m_bSmartProxy);
  DDX_Text(pDX, kPortEdit, m_Port);
  // A port only counts with a proxy; then it must be one a connection can use.
  if (m_bProxy) DDV_MinMaxInt(pDX, m_Port, 1, 65535);
  DDX_CBIndex(pDX, kAddressKind, m_TxAddressIndex);
  DDX_Text(pDX, kUrlEdit, m_strURL);
}

BOOL CSysProfileProxyPgae::OnInitDialog() {
  FillComboFromString(GetDlgItem(kAddressKind), kAddressKindItems);
  CPropertyPage::OnInitDialog();
  SetUpTextureButton(m_btnTest, 147);
  SetUpTextureButton(m_btnAuthentication, 1086);
  SetUpTextureButton(m_btnInternetOptions, 1104);
  m_btnTest.EnableWindow(FALSE);
  if (CWnd* ip = GetDlgItem(kIpAddress)) ip->ShowWindow(SW_HIDE);
  ShowAddress();
  Load();
  return TRUE;
}

void CSysProfileProxyPgae::ShowAddress() {
  const bool ip = m_TxAddressIndex != 0;
  if (CWnd* w = GetDlgItem(kIpAddress)) w->ShowWindow(ip ? SW_SHOW : SW_HIDE);
  if (CWnd* w = GetDlgItem(kUrlEdit)) w->ShowWindow(ip ? SW_HIDE : SW_SHOW);
  if (CWnd* label = GetDlgItem(kAddressLabel)) {
    label->SetWindowText(LoadResString(ip ? 497 : 496));
    // The label draws on the page's background: the old caption goes with it.
    CRect area;
    label->GetWindowRect(&area);
    ScreenToClient(&area);
    InvalidateRect(&area, TRUE);
  }
}

void CSysProfileProxyPgae::EnableProxyControls() {
  const BOOL proxy = m_bProxy ? TRUE : FALSE;
  for (int id : {kSmartProxyCheck, kPortEdit, kIpAddress, kAddressKind, kUrlEdit, kTestButton})
    EnableDlgControl(this, id, proxy);
  EnableDlgControl(this, kAuthenticationButton, proxy && m_bSmartProxy);
}

void CSysProfileProxyPgae::Load() {
  ShowAddress();
  CTransportSettings settings(HKEY_CURRENT_USER, kTransportKey);
  settings.Load();
  m_bProxy = static_cast<int>(settings.m_bProxy);
  m_bSmartProxy = static_cast<int>(settings.m_bSmartProxy);
  m_Port = static_cast<int>(settings.m_Port);
  m_TxIndex = static_cast<int>(settings.m_TxIndex);
  m_TxAddressIndex = static_cast<int>(settings.m_TxAddressIndex);
  m_strURL = settings.m_strURL;
  if (CWnd* ip = GetDlgItem(kIpAddress)) ip->SetWindowText(settings.m_strIP);
  UpdateData(FALSE);
  ShowAddress();
  EnableProxyControls();
}

bool CSysProfileProxyPgae::Save() {
  if (!UpdateData(TRUE)) return false;
  CTransportSettings settings(HKEY_CURRENT_USER, kTransportKey);
  settings.m_bProxy = static_cast<DWORD>(m_bProxy);
  settings.m_bSmartProxy = static_cast<DWORD>(m_bSmartProxy);
  settings.m_Port = static_cast<DWORD>(m_Port);
  settings.m_TxIndex = static_cast<DWORD>(m_TxIndex);
  settings.m_TxAddressIndex = static_cast<DWORD>(m_TxAddressIndex);
  settings.m_strURL = m_strURL;
  CString ip;
  if (CWnd* w = GetDlgItem(kIpAddress)) w->GetWindowText(ip);
  settings.m_strIP = ip;
  settings.Save();
  return true;
}

BOOL CSysProfileProxyPgae::OnSetActive() {
  // Unlocked, the proxy controls follow the proxy switches again.
  if (!ApplyPolicySwitch(this, CSecurityPolicy::SystemProfile, true)) EnableProxyControls();
  return CPropertyPage::OnSetActive();
}

BOOL CSysProfileProxyPgae::OnApply() {
  if (GetSafeHwnd() && !Save()) return FALSE;
  return CPropertyPage::OnApply();
}

void CSysProfileProxyPgae::OnAddressKindChanged() {
  UpdateData(TRUE);
  SetModified(TRUE);
  ShowAddress();
}

void CSysProfileProxyPgae::OnUrlChanged() { SetModified(TRUE); }

void CSysProfileProxyPgae::OnProxyClicked() {
  UpdateData(TRUE);
  SetModified(TRUE);
  EnableProxyControls();
}

void CSysProfileProxyPgae::OnSmartProxyClicked() {
  UpdateData(TRUE);
  SetModified(TRUE);
  EnableProxyControls();
}

void CSysProfileProxyPgae::OnInternetOptions() { ShowInternetOptions(this); }

void CSysProfileProxyPgae::OnAuthentication() {
  CProxyAuthDlg dialog(GetParentSheet());
  dialog.DoModal();
}

void CSysProfileProxyPgae::OnTestConnection() {
  // What the user sees is what is tested: the page's values are stored first.
  if (!Save()) return;
  SetModified(FALSE);
  BeginWaitCursor();
  auto* sheet = dynamic_cast<CSysProfileSheet*>(GetParentSheet());
  std::unique_ptr<CVorlindEnrolmentProxy> own;
  CVorlindEnrolmentProxy* proxy = sheet ? sheet->m_pProxy : nullptr;
  if (!proxy) {
    own.reset(new (std::nothrow) CVorlindEnrolmentProxy);
    proxy = own.get();
  }
  CString message;
  UINT icon = MB_ICONSTOP;
  if (!proxy || !proxy->Initialize()) {
    message = LoadResString(498) + " " + LoadResString(499);
  } else {
    CString result;
    if (proxy->VerifyConnect(result)) {
      message = LoadResString(501);
      icon = MB_ICONINFORMATION;
    } else {
      message = LoadResString(500) + " (" + LoadResString(216) + ":" + result + ")";
    }
  }
  EndWaitCursor();
  MessageBox(message, nullptr, MB_OK | icon);
}

// ---- proxy authentication ----

BEGIN_MESSAGE_MAP(CProxyAuthDlg, CDialog)
  ON_EN_CHANGE(2007, OnTextChanged)
  ON_EN_CHANGE(1009, OnTextChanged)
END_MESSAGE_MAP()

CProxyAuthDlg::CProxyAuthDlg(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

void CProxyAuthDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDOK, m_btnOK);
  DDX_Control(pDX, IDCANCEL, m_btnCancel);
  DDX_Control(pDX, 1246, m_lblNote);
  DDX_Check(pDX, 1245, m_bRemember);
  DDX_Text(pDX, 2007, m_strUser);
  DDX_Text(pDX, 1009, m_strPassword);
}

BOOL CProxyAuthDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The stored credentials are not shown: both boxes start empty.
  m_btnOK.EnableWindow(FALSE);
  return TRUE;
}

void CProxyAuthDlg::OnTextChanged() {
  CString user, password;
  GetDlgItemText(2007, user);
  GetDlgItemText(1009, password);
  m_btnOK.EnableWindow(!user.IsEmpty() && !password.IsEmpty());
}

void CProxyAuthDlg::OnOK() {
  if (!UpdateData(TRUE) || m_strUser.IsEmpty() || m_strPassword.IsEmpty()) return;
  CProxyAuthSettings settings(HKEY_CURRENT_USER, kProxyAuthKey);
  settings.m_strUser = m_strUser;
  settings.m_strPassword = m_strPassword;
  // Unticked, the password serves this session only and nothing of it is stored.
  settings.m_bRemember = m_bRemember ? TRUE : FALSE;
  settings.Save();
  EndDialog(IDOK);
}
