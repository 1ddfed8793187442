#include "certificates/CertOptionsPages.h"

#include "app/ResString.h"
#include "certificates/AddressBook.h"
#include "certificates/CacheCleanup.h"
#include "certificates/CertPageTools.h"
#include "certificates/CertSheet.h"
#include "certificates/SelTrustPointsSheet.h"
#include "platform/capicom/core/store.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/ldap/ldap.h"
#include "platform/services/http.h"
#include "platform/services/wab.h"

using namespace certmgr;

namespace certmgr {

CrlDownload DownloadCrl(const CString& url) {
  const std::string address(url);
  std::string scheme = address.substr(0, address.find("://") == std::string::npos ? 0 : address.find("://"));
  for (char& ch : scheme) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  // Over the wire only (a web server or a directory), no files.
  std::string body;
  if (scheme == "ldap" || scheme == "ldaps") {
    body = kx::ldap::FetchCrl(address, 0);
  } else if (scheme == "http" || scheme == "https") {
    kx::HttpRequest options;
    options.connectTimeoutMs = 2500;
    options.timeoutMs = 2500;
    kx::HttpResponse answer = kx::HttpGet(address, options);
    if (answer.Ok()) body = std::move(answer.body);
  }
  if (body.empty()) return CrlDownload::NotRetrieved;
  kx::capi::CrlRef crl = kx::capi::CrlData::Parse(reinterpret_cast<const uint8_t*>(body.data()), body.size());
  if (!crl) return CrlDownload::NotRetrieved;
  std::shared_ptr<kx::capi::CertStore> store;
  if (FAILED(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "MY", CAPICOM_STORE_OPEN_READ_WRITE, store)))
    return CrlDownload::NotAdded;
  HRESULT hr = store->AddCrl(crl);
  if (hr == CRYPT_E_EXISTS) return CrlDownload::Exists;
  return SUCCEEDED(hr) ? CrlDownload::Registered : CrlDownload::NotAdded;
}

}  // namespace certmgr

// ---------------------------------------------------------------------------------------------------------------
// Options
// ---------------------------------------------------------------------------------------------------------------

namespace {
constexpr ToolButton kOptionButtons[6] = {{1047, 1919}, {1131, 1920}, {1009, 1033},
                                          {1055, 1032}, {1127, 1034}, {1130, 147}};
constexpr ToolButton kLdapButtons[4] = {{1047, 1919}, {1009, 1033}, {1055, 1032}, {1127, 1034}};
}  // namespace

IMPLEMENT_DYNAMIC(CCertSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCertSettingsPage, CPropertyPage)
  ON_BN_CLICKED(1009, OnImportPfx)
  ON_BN_CLICKED(1047, OnAddressBook)
  ON_BN_CLICKED(1055, OnFindPeople)
  ON_BN_CLICKED(1127, OnCertificateStores)
  ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

CCertSheet* CCertSettingsPage::GetCertSheet() const { return dynamic_cast<CCertSheet*>(GetParent()); }

void CCertSettingsPage::OnImportPfx() {
  if (CCertSheet* sheet = GetCertSheet()) sheet->ImportCertificate();
}
void CCertSettingsPage::OnAddressBook() { ShowAddressBookFor(this); }
void CCertSettingsPage::OnFindPeople() { FindPeopleFor(this); }
void CCertSettingsPage::OnCertificateStores() { StartCertificateStores(); }

void CCertSettingsPage::OnWindowPosChanging(WINDOWPOS* pos) {
  CPropertyPage::OnWindowPosChanging(pos);
  KeepPageInTabs(this, pos);
}

// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CCertMgrOptionsPage, CCertSettingsPage)

BEGIN_MESSAGE_MAP(CCertMgrOptionsPage, CCertSettingsPage)
  ON_BN_CLICKED(1263, OnDownloadNow)
  ON_BN_CLICKED(1264, OnClearCaches)
  ON_BN_CLICKED(1130, OnViewCrlFile)
  ON_BN_CLICKED(1131, OnInstallCrlFile)
END_MESSAGE_MAP()

CCertMgrOptionsPage::CCertMgrOptionsPage() : CCertSettingsPage(IDD) {}

void CCertMgrOptionsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  for (int i = 0; i < 6; ++i) DDX_Control(pDX, kOptionButtons[i].id, m_Buttons[i]);
  DDX_Control(pDX, 1103, m_lblCrl);
  DDX_Check(pDX, 1099, m_bOfflineCrl);
  DDX_Check(pDX, 1101, m_bOnlineCrl);
  DDX_Check(pDX, 1100, m_bSignature);
  DDX_Check(pDX, 1097, m_bTime);
  DDX_Check(pDX, 1098, m_bTrustedRoot);
  DDX_Text(pDX, 1114, m_strCrlUrl);
  DDX_Radio(pDX, 1106, m_nOnlineOption);
  DDX_Check(pDX, 1126, m_bActiveDirectory);
}

BOOL CCertMgrOptionsPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (int i = 0; i < 6; ++i) SetUpToolButton(m_Buttons[i], kOptionButtons[i].icon);
  if (CCertSheet* sheet = GetCertSheet()) {
    CCertificateManagerSettings& s = sheet->m_Settings;
    s.Load();
    m_bOfflineCrl = static_cast<int>(s.OFFLINE_CRL_VERIFY);
    m_bOnlineCrl = static_cast<int>(s.ONLINE_CRL_VERIFY);
    m_bSignature = static_cast<int>(s.SIGNATURE_VERIFY);
    m_bTime = static_cast<int>(s.TIME_VERIFY);
    m_bTrustedRoot = static_cast<int>(s.TRUSTED_ROOT_VERIFY);
    m_strCrlUrl = s.CRLDP;
    m_nOnlineOption = static_cast<int>(s.ONLINE_VERIFY_OPTION);
    m_bActiveDirectory = static_cast<int>(s.ENABLE_ACTIVE_DIRECTORY);
  }
  m_strLastDownloadedUrl = m_strCrlUrl;
  UpdateData(FALSE);
  return TRUE;
}

CrlDownload CCertMgrOptionsPage::Download() {
  WaitCursor wait(this);
  CrlDownload result = DownloadCrl(m_strCrlUrl);
  // A list that did not arrive can be asked for again with the same address.
  if (result != CrlDownload::NotRetrieved) m_strLastDownloadedUrl = m_strCrlUrl;
  return result;
}

BOOL CCertMgrOptionsPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  if (CCertSheet* sheet = GetCertSheet()) {
    CCertificateManagerSettings& s = sheet->m_Settings;
    s.OFFLINE_CRL_VERIFY = m_bOfflineCrl;
    s.ONLINE_CRL_VERIFY = m_bOnlineCrl;
    s.SIGNATURE_VERIFY = m_bSignature;
    s.TIME_VERIFY = m_bTime;
    s.TRUSTED_ROOT_VERIFY = m_bTrustedRoot;
    s.CRLDP = m_strCrlUrl;
    s.ONLINE_VERIFY_OPTION = static_cast<DWORD>(m_nOnlineOption);
    s.ENABLE_ACTIVE_DIRECTORY = m_bActiveDirectory;
    s.Save();
  }
  if (m_strCrlUrl != m_strLastDownloadedUrl) {
    switch (Download()) {
      case CrlDownload::Registered:
        MessageBox("OfficeTolvex successfully downloaded and registered the CRL", nullptr, MB_OK);
        break;
      case CrlDownload::NotRetrieved:
        // Said, not swallowed: the address stays to be tried again.
        MessageBox(LoadResString(228), nullptr, MB_OK);
        break;
      default:
        break;
    }
  }
  return CPropertyPage::OnApply();
}

void CCertMgrOptionsPage::OnDownloadNow() {
  UpdateData(TRUE);
  switch (Download()) {
    case CrlDownload::Registered: MessageBox(LoadResString(226), nullptr, MB_OK); break;
    case CrlDownload::Exists: MessageBox(LoadResString(227), nullptr, MB_OK); break;
    case CrlDownload::NotRetrieved: MessageBox(LoadResString(228), nullptr, MB_OK); break;
    case CrlDownload::NotAdded: break;
  }
}

void CCertMgrOptionsPage::OnClearCaches() {
  if (MessageBox(LoadResString(229), nullptr, MB_YESNO) != IDYES) return;
  WaitCursor wait(this);
  ClearCertificateCaches();
}

void CCertMgrOptionsPage::OnCrlFile(int method) {
  CFileDialog dialog(TRUE, "*.crl", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(224), this);
  CString title = LoadResString(225);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  const CString path = dialog.GetPathName();
  UpdateData(FALSE);
  if (CCertSheet* sheet = GetCertSheet()) sheet->PassFileToComponent(method, path);
}

void CCertMgrOptionsPage::OnViewCrlFile() { OnCrlFile(13); }
void CCertMgrOptionsPage::OnInstallCrlFile() { OnCrlFile(14); }


// ---------------------------------------------------------------------------------------------------------------
// LDAP
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CCertLdapPage, CCertSettingsPage)

BEGIN_MESSAGE_MAP(CCertLdapPage, CCertSettingsPage)
  ON_BN_CLICKED(1109, OnLdapSwitch)
  ON_BN_CLICKED(1113, OnOpenUrl)
END_MESSAGE_MAP()

CCertLdapPage::CCertLdapPage() : CCertSettingsPage(IDD) {}

void CCertLdapPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  for (int i = 0; i < 4; ++i) DDX_Control(pDX, kLdapButtons[i].id, m_Buttons[i]);
  DDX_Control(pDX, 1111, m_lblUrl);
  DDX_Check(pDX, 1109, m_bLdapSearch);
  DDX_Check(pDX, 1110, m_bAuthorise);
  DDX_Text(pDX, 1112, m_strLdapUrl);
}

void CCertLdapPage::EnableLdapControls() {
  for (int id : {1113, 1110, 1111, 1112})
    if (CWnd* control = GetDlgItem(id)) control->EnableWindow(m_bLdapSearch != 0);
}

BOOL CCertLdapPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (CCertSheet* sheet = GetCertSheet()) {
    CCertificateManagerSettings& s = sheet->m_Settings;
    s.Load();
    m_bLdapSearch = static_cast<int>(s.ENABLE_LDAP_SEARCH);
    m_bAuthorise = static_cast<int>(s.NEGOTIATE_AUTHORISE_LDAP_SERVER);
    m_strLdapUrl = s.LAST_LDAP_URL;
  }
  UpdateData(FALSE);
  for (int i = 0; i < 4; ++i) SetUpToolButton(m_Buttons[i], kLdapButtons[i].icon);
  if (m_strLdapUrl.IsEmpty()) {
    m_strLdapUrl = "ldap://";
    UpdateData(FALSE);
  }
  EnableLdapControls();
  return TRUE;
}

void CCertLdapPage::OnLdapSwitch() {
  UpdateData(TRUE);
  SetModified(TRUE);
  EnableLdapControls();
}

BOOL CCertLdapPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  if (CCertSheet* sheet = GetCertSheet()) {
    CCertificateManagerSettings& s = sheet->m_Settings;
    s.ENABLE_LDAP_SEARCH = m_bLdapSearch;
    s.NEGOTIATE_AUTHORISE_LDAP_SERVER = m_bAuthorise;
    s.LAST_LDAP_URL = m_strLdapUrl;
    s.Save();
  }
  return CPropertyPage::OnApply();
}

void CCertLdapPage::OnOpenUrl() {
  CAddressBook book;
  if (!book.LoadAddressBook(nullptr)) return;
  UpdateData(TRUE);
  if (m_strLdapUrl.CompareNoCase("ldap://") == 0) {
    MessageBox(LoadResString(222), nullptr, MB_OK);
    return;
  }
  // A server that could not be searched, and an address that finds nothing, are told as such.
  const HRESULT hr = book.OpenLdapUrl(GetSafeHwnd(), m_strLdapUrl, m_bAuthorise);
  if (hr == MAPI_E_NETWORK_ERROR) {
    CString text = LoadResString(7383);
    text += kx::ldap::LastDirectoryMessage().c_str();
    MessageBox(text, nullptr, MB_OK);
  } else if (hr == MAPI_E_NOT_FOUND) {
    MessageBox(LoadResString(7386), nullptr, MB_OK);
  } else if (FAILED(hr)) {
    MessageBox(LoadResString(223), nullptr, MB_OK);
  }
}

