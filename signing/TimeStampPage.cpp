// The signing-time page of the Signer Wizard.
#include "app/ResString.h"
#include "controls/DateTimePickDlg.h"
#include "platform/mfc/afxwin.h"
#include "signing/SignSheet.h"
#include "signing/SignaturePages.h"

namespace {

enum {
  IDC_NO_TIME = 1027,
  IDC_CURRENT_TIME = 1028,
  IDC_PICK_TIME = 1029,
  IDC_TIME_SERVER = 1030,
  IDC_SERVER_SETTINGS = 1031,
  IDC_TIME_TEXT = 1033,
  IDC_CHOICE_LABEL = 1026,
  IDC_TIME_LABEL = 1032
};

constexpr const char* kTimeServerNote = "Time Server in Next Build";

}  // namespace

// ---- shared by the signing pages ----

CSignSheet* CSignerWizardPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

CProtectWizardData* CSignerWizardPage::Data() {
  CSignSheet* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

bool CSignerWizardPage::InPresetOrProfileWizard() {
  // The mail profile wizard answers IsProfileLoaded whether or not it has loaded a profile yet.
  CSignSheet* sheet = Sheet();
  return sheet && (sheet->IsOneClick() || sheet->IsProfileLoaded());
}

// ---- page 6 ----

IMPLEMENT_DYNCREATE(CPWTimeStampPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWTimeStampPage, CPropertyPage)
  ON_BN_CLICKED(IDC_NO_TIME, OnNoTime)
  ON_BN_CLICKED(IDC_CURRENT_TIME, OnCurrentTime)
  ON_BN_CLICKED(IDC_PICK_TIME, OnPickTime)
  ON_BN_CLICKED(IDC_TIME_SERVER, OnTimeServer)
  ON_BN_CLICKED(IDC_SERVER_SETTINGS, OnTimeServerSettings)
END_MESSAGE_MAP()

CPWTimeStampPage::CPWTimeStampPage() : CSignerWizardPage(IDD, 0, 135, 136) {}

void CPWTimeStampPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CHOICE_LABEL, m_lblChoice);
  DDX_Control(pDX, IDC_TIME_LABEL, m_lblTime);
  DDX_Radio(pDX, IDC_NO_TIME, m_nChoice);
  DDX_Text(pDX, IDC_TIME_TEXT, m_strTime);
}

CString CPWTimeStampPage::TimeText(const CDateTime& time) {
  char text[255] = {0};
  time.Format(text, sizeof text, 0, 0x400);
  return text;
}

BOOL CPWTimeStampPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  CProtectWizardData* data = Data();
  m_nChoice = data && data->m_bTimeStamp ? 1 : 0;
  // A page that opens on the current time shows that time, as choosing it does.
  if (m_nChoice == 1 && m_strTime.IsEmpty()) {
    m_dateTime = CDateTime::GetCurrentTime();
    m_strTime = TimeText(m_dateTime);
  }
  UpdateData(FALSE);
  return TRUE;
}

BOOL CPWTimeStampPage::OnSetActive() {
  if (CSignSheet* sheet = Sheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  if (CWnd* settings = GetDlgItem(IDC_SERVER_SETTINGS)) settings->EnableWindow(!InPresetOrProfileWizard());
  return CPropertyPage::OnSetActive();
}

void CPWTimeStampPage::OnNoTime() {
  UpdateData(TRUE);
  m_strTime.Empty();
  UpdateData(FALSE);
}

void CPWTimeStampPage::OnCurrentTime() {
  UpdateData(TRUE);
  m_dateTime = CDateTime::GetCurrentTime();
  m_strTime = TimeText(m_dateTime);
  UpdateData(FALSE);
}

void CPWTimeStampPage::FallBackToCurrentTime() {
  UpdateData(TRUE);
  m_nChoice = 1;
  UpdateData(FALSE);
  if (CWnd* current = GetDlgItem(IDC_CURRENT_TIME)) current->SetFocus();
}

void CPWTimeStampPage::OnPickTime() {
  CDateTimePickDlg dialog(this);
  CWnd* button = GetDlgItem(IDC_PICK_TIME);
  if (button && button->IsWindowVisible()) button->GetWindowRect(&dialog.m_rcSource);
  if (dialog.DoModal() != IDOK) {
    FallBackToCurrentTime();
    return;
  }
  UpdateData(TRUE);
  m_dateTime = CDateTime(static_cast<WORD>(dialog.m_date.GetYear()), static_cast<WORD>(dialog.m_date.GetMonth()),
                         static_cast<WORD>(dialog.m_date.GetDay()), static_cast<WORD>(dialog.m_time.GetHour()),
                         static_cast<WORD>(dialog.m_time.GetMinute()), static_cast<WORD>(dialog.m_time.GetSecond()));
  m_strTime = TimeText(m_dateTime);
  UpdateData(FALSE);
}

void CPWTimeStampPage::OnTimeServer() {
  AfxMessageBox(LoadResString(443), MB_OK);
  FallBackToCurrentTime();
}

void CPWTimeStampPage::OnTimeServerSettings() {
  AfxMessageBox(LoadResString(442), MB_OK);
  FallBackToCurrentTime();
}

LRESULT CPWTimeStampPage::OnWizardNext() {
  UpdateData(TRUE);
  // A time chosen but never shown (the pick dialog cancelled after "no time") is the current time, not an
  // empty one.
  if ((m_nChoice == 1 || m_nChoice == 2) && m_strTime.IsEmpty()) {
    m_dateTime = CDateTime::GetCurrentTime();
    m_strTime = TimeText(m_dateTime);
    UpdateData(FALSE);
  }
  if (CProtectWizardData* data = Data()) {
    switch (m_nChoice) {
      case 0:
        data->m_bTimeStamp = 0;
        break;
      case 3:
        data->m_strTimeStamp = m_strTime;
        data->m_strTimeStampNote = kTimeServerNote;
        data->m_bTimeStamp = 1;
        break;
      default:
        data->m_strTimeStamp = m_strTime;
        data->m_bTimeStamp = 1;
        break;
    }
  }
  return CPropertyPage::OnWizardNext();
}
