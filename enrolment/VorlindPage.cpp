#include "enrolment/VorlindPage.h"

#include "app/BaseSheet.h"
#include "app/ResString.h"
#include "core/SecurityPolicy.h"
#include "enrolment/VorlindSettingsDlgs.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/com/guid.h"
#include "platform/com/oleauto.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/wintime.h"

namespace {

constexpr UINT kNoInternetOptions = 495;
constexpr OLECHAR kShellDispatch[] = u"{13709620-C279-11CE-A49E-444553540000}";

// The Internet options of the platform, opened through the shell's dispatch object.
void OpenInternetOptions(CWnd* owner) {
  CoInitialize(nullptr);
  CLSID shell{};
  IDispatch* dispatch = nullptr;
  HRESULT hr = CLSIDFromString(kShellDispatch, &shell);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(shell, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                          KX_IIDOF(IDispatch), reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr) || !dispatch) {
    owner->MessageBox(LoadResString(kNoInternetOptions), nullptr, MB_OK);
    CoUninitialize();
    return;
  }
  OLECHAR name[] = u"ControlPanelItem";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  if (SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(u"inetcpl.cpl");
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    VariantClear(&argument);
  }
  dispatch->Release();
  CoUninitialize();
}

}  // namespace

IMPLEMENT_DYNCREATE(CVorlindPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CVorlindPage, CPropertyPage)
  ON_BN_CLICKED(IDC_EXCHANGE, OnExchange)
  ON_BN_CLICKED(IDC_SERVICE, OnService)
  ON_BN_CLICKED(IDC_TRANSPORT, OnTransport)
  ON_BN_CLICKED(IDC_INTERNET_OPTIONS, OnInternetOptions)
  ON_BN_CLICKED(IDC_CHECK_1, OnCheckChanged)
  ON_BN_CLICKED(IDC_CHECK_2, OnCheckChanged)
END_MESSAGE_MAP()

CVorlindPage::CVorlindPage() : CPropertyPage(IDD) {}

void CVorlindPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_INTERNET_OPTIONS, m_btnInternetOptions);
  DDX_Control(pDX, IDC_TRANSPORT, m_btnTransport);
  DDX_Control(pDX, IDC_SERVICE, m_btnService);
  DDX_Control(pDX, IDC_EXCHANGE, m_btnExchange);
  DDX_Control(pDX, IDC_LABEL_1, m_lblFirst);
  DDX_Control(pDX, IDC_LABEL_2, m_lblSecond);
  DDX_Control(pDX, IDC_LABEL_3, m_lblThird);
  DDX_Check(pDX, IDC_CHECK_1, m_bCheck1159);
  DDX_Check(pDX, IDC_CHECK_2, m_bCheck1158);
}

BOOL CVorlindPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  SetUpEnrolmentButton(m_btnExchange, 1034);
  SetUpEnrolmentButton(m_btnService, 1918);
  SetUpEnrolmentButton(m_btnTransport, 134);
  SetUpEnrolmentButton(m_btnInternetOptions, 1040);
  return TRUE;
}

BOOL CVorlindPage::OnSetActive() {
  CSecurityPolicy policy;
  if (policy.Load() && !(policy.m_bSystemProfile > 0)) EnableChildControls(this, TRUE);
  return CPropertyPage::OnSetActive();
}

BOOL CVorlindPage::OnApply() {
  if (CBaseSheet* sheet = Sheet()) sheet->m_SystemProfile.Save();
  return CPropertyPage::OnApply();
}

CBaseSheet* CVorlindPage::Sheet() { return dynamic_cast<CBaseSheet*>(GetParentSheet()); }

void CVorlindPage::RunSettingsDialog(CVorlindSettingsDlg& dialog, CWnd& button) {
  button.GetWindowRect(&dialog.m_rcOrigin);
  dialog.m_pSheet = Sheet();
  dialog.m_pProxy = m_pEnrolmentProxy;
  if (dialog.DoModal() == IDOK) SetModified(TRUE);
}

void CVorlindPage::OnExchange() {
  CVorlindExchangeDlg dialog(AfxGetMainWnd());
  RunSettingsDialog(dialog, m_btnExchange);
}

void CVorlindPage::OnService() {
  CVorlindServiceDlg dialog(AfxGetMainWnd());
  RunSettingsDialog(dialog, m_btnService);
}

void CVorlindPage::OnTransport() {
  CVorlindTransportDlg dialog(AfxGetMainWnd());
  RunSettingsDialog(dialog, m_btnTransport);
}

void CVorlindPage::OnInternetOptions() { OpenInternetOptions(this); }

void CVorlindPage::OnCheckChanged() { SetModified(TRUE); }
