#include "enrolment/VorlindPage.h"

#include "app/BaseSheet.h"
#include "core/SecurityPolicy.h"
#include "enrolment/VorlindSettingsDlgs.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxwin.h"
#include "app/SettingsPageTools.h"

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
  SetUpTextureButton(m_btnExchange, 1034);
  SetUpTextureButton(m_btnService, 1918);
  SetUpTextureButton(m_btnTransport, 134);
  SetUpTextureButton(m_btnInternetOptions, 1040);
  return TRUE;
}

BOOL CVorlindPage::OnSetActive() {
  ApplyPolicySwitch(this, CSecurityPolicy::SystemProfile, false);
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

void CVorlindPage::OnInternetOptions() {
  CoInitialize(nullptr);
  ShowInternetOptions(this);
  CoUninitialize();
}

void CVorlindPage::OnCheckChanged() { SetModified(TRUE); }
