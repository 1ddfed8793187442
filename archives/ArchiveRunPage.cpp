// The archive wizard's operation page and its worker.
#include "app/ResString.h"
#include "archives/ArchiveSheet.h"
#include "signing/SummarySheet.h"

using kx::archives::PercentText;
using kx::archives::SetLabelText;

namespace {

// The header's subtitle when an archive is opened.
constexpr UINT kOpenSubtitle = 31531;

enum {
  IDC_PROGRESS = 1087,
  IDC_PERCENT = 1089,
  IDC_MODE = 1098,
  IDC_STATUS = 1088,
  IDC_REPORT_LABEL = 1081,
  IDC_REPORT = 1145,
  IDC_RUN_AGAIN = 1085,
  IDC_DETAILS = 1080,
  IDC_OPEN = 1082,
  IDC_SAVE_AS = 1083,
  IDC_MAIL = 1090,
};

constexpr int kRange = 50000;

// Takes the messages other threads send to this one, so that a thread waiting for it goes on; input stays
// queued for later.
void PumpWaitingMessages() {
  MSG msg;
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

}  // namespace

IMPLEMENT_DYNCREATE(CArchiveDecryptPage, CWorkerPage)

BEGIN_MESSAGE_MAP(CArchiveDecryptPage, CWorkerPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgain)
  ON_BN_CLICKED(IDC_DETAILS, OnShowDetails)
  ON_BN_CLICKED(IDC_OPEN, OnNothing)
  ON_BN_CLICKED(IDC_SAVE_AS, OnNothing)
  ON_BN_CLICKED(IDC_MAIL, OnNothing)
END_MESSAGE_MAP()

CArchiveDecryptPage::CArchiveDecryptPage() : CWorkerPage(IDD, 0, 150, 151) {}

CArchiveDecryptPage::~CArchiveDecryptPage() {
  m_FileManager.DeleteFileObjects();
  m_FileManager.Reset();
}

CArchiveSheet* CArchiveDecryptPage::Sheet() { return dynamic_cast<CArchiveSheet*>(GetParentSheet()); }

void CArchiveDecryptPage::DoDataExchange(CDataExchange* pDX) {
  CWorkerPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_PERCENT, m_lblPercent);
  DDX_Control(pDX, IDC_MODE, m_lblMode);
  DDX_Control(pDX, IDC_STATUS, m_lblStatus);
  DDX_Control(pDX, IDC_REPORT_LABEL, m_lblReport);
  DDX_Text(pDX, IDC_REPORT, m_strReport);
}

BOOL CArchiveDecryptPage::OnSetActive() {
  CArchiveSheet* sheet = Sheet();
  if (!sheet) return CWorkerPage::OnSetActive();
  UINT button = 341, label = 663;
  switch (sheet->m_Data.m_nMode) {
    case CArchiveWizardData::kOpen: button = 332, label = 649; break;
    case CArchiveWizardData::kEncrypt: button = 335, label = 661; break;
    case CArchiveWizardData::kSignAndEncrypt: button = 648, label = 662; break;
    default: break;
  }
  SetDlgItemText(IDC_RUN_AGAIN, LoadResString(button));
  SetLabelText(m_lblMode, LoadResString(label));
  // Opening protects nothing: the header does not speak of a preset then.
  m_strSubtitle = LoadResString(sheet->m_Data.m_nMode == CArchiveWizardData::kOpen ? kOpenSubtitle : 151);
  sheet->SendMessage(PSM_SETHEADERSUBTITLE, static_cast<WPARAM>(sheet->GetPageIndex(this)),
                     reinterpret_cast<LPARAM>(static_cast<const char*>(m_strSubtitle)));
  sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
  // The flag stays set after the run: coming back to the page does not run the operation again.
  if (!m_bRunning) StartArchiveOperation();
  return CWorkerPage::OnSetActive();
}

BOOL CArchiveDecryptPage::StartArchiveOperation() {
  CArchiveSheet* sheet = Sheet();
  if (!sheet) return FALSE;
  if (sheet->m_Data.m_bCompleted) {
    SetLabelText(m_lblStatus, "All Blocks Completed.");
    return TRUE;
  }
  m_bRunning = 1;
  SetProgressRange(0, kRange);
  SetProgressStep(1);
  PumpWaitingMessages();
  if (!sheet->StartWorker(ArchiveOperationThread)) sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
  UpdateRunButtons();
  return TRUE;
}

void CArchiveDecryptPage::UpdateRunButtons() {
  for (int id : {IDC_RUN_AGAIN, IDC_SAVE_AS, IDC_OPEN, IDC_DETAILS, IDC_MAIL})
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
}

BOOL CArchiveDecryptPage::OnQueryCancel() {
  CArchiveSheet* sheet = Sheet();
  return sheet && sheet->IsWorkerRunning() ? FALSE : TRUE;
}

BOOL CArchiveDecryptPage::OnWizardFinish() {
  if (CWnd* main = AfxGetMainWnd(); main && main->GetSafeHwnd()) main->PostMessage(WM_USER + 1000, 106, 0);
  return CWorkerPage::OnWizardFinish();
}

// ---- progress ----

void CArchiveDecryptPage::SetProgressRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
  if (m_ctlProgress.GetSafeHwnd())
    m_ctlProgress.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(lower), static_cast<WORD>(upper)));
}

void CArchiveDecryptPage::SetProgressStep(int step) {
  m_nStep = step;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step));
}

void CArchiveDecryptPage::UpdatePercentLabel(int position) {
  const CString text = PercentText(position, m_nLower, m_nUpper);
  if (!m_lblPercent.GetSafeHwnd()) return;
  CString shown;
  m_lblPercent.GetWindowText(shown);
  if (shown != text) SetLabelText(m_lblPercent, text);
}

int CArchiveDecryptPage::StepProgress() {
  int previous = 0;
  RunOnPageThread([&] {
    PumpWaitingMessages();
    if (!m_ctlProgress.GetSafeHwnd()) return;
    previous = static_cast<int>(m_ctlProgress.SendMessage(PBM_STEPIT));
    UpdatePercentLabel(previous + m_nStep);
  });
  return previous;
}

int CArchiveDecryptPage::OffsetProgress(int delta) {
  int previous = 0;
  RunOnPageThread([&] {
    PumpWaitingMessages();
    if (!m_ctlProgress.GetSafeHwnd()) return;
    previous = static_cast<int>(m_ctlProgress.SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(delta)));
    UpdatePercentLabel(previous + delta);
  });
  return previous;
}

int CArchiveDecryptPage::GetProgressPosition() {
  return CallOnPageThread<int>([this] {
    return m_ctlProgress.GetSafeHwnd() ? static_cast<int>(m_ctlProgress.SendMessage(PBM_GETPOS)) : 0;
  });
}

void CArchiveDecryptPage::SetReportText(const CString& text) {
  RunOnPageThread([&] {
    m_strReport = text;
    if (GetSafeHwnd()) SetDlgItemText(IDC_REPORT, text);
  });
}

// ---- buttons ----

void CArchiveDecryptPage::OnRunAgain() {
  CArchiveSheet* sheet = Sheet();
  if (!sheet) return;
  const CString question = LoadResString(383) + "\n" + LoadResString(633);
  if (AfxMessageBox(question, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
  m_bRunning = 0;
  SetLabelText(m_lblStatus, " ");
  SetLabelText(m_lblPercent, " ");
  Invalidate(TRUE);
  StartArchiveOperation();
}

void CArchiveDecryptPage::OnShowDetails() {
  CSummarySheet summary(LoadResString(556), this, 0);
  kx::archives::AnchorAtControl(*this, IDC_DETAILS, summary.m_rcOrigin, summary.m_bOwnAnimation);
  summary.m_strFilePath = m_strOutputPath;
  if (!m_strLastResult.IsEmpty()) summary.m_strStatusText = m_strLastResult;
  if (summary.GetPageCount() > 0) summary.DoModal();
}

void CArchiveDecryptPage::OnNothing() {}

// ---- worker ----

UINT ArchiveOperationThread(LPVOID argument) {
  CoInitialize(nullptr);
  CArchiveSheet* sheet = CArchiveSheet::FromArgument(argument);
  if (!sheet) {
    CoUninitialize();
    return 1;
  }
  auto* page = dynamic_cast<CArchiveDecryptPage*>(sheet->GetPage(CArchiveSheet::kRunPage));
  if (page) {
    const CArchiveWizardData* data = &sheet->m_Data;
    bool ran = true;
    switch (data->m_nMode) {
      case CArchiveWizardData::kEncrypt: MakeArchive(page, data); break;
      case CArchiveWizardData::kSign: SignArchive(page, data); break;
      case CArchiveWizardData::kSignAndEncrypt: SignAndEncryptArchive(page, data); break;
      default: ran = false; break;
    }
    page->RunOnPageThread([&] {
      if (ran) {
        if (CWnd* details = page->GetDlgItem(IDC_DETAILS)) details->EnableWindow(TRUE);
        // What became of the archive, in words.
        SetLabelText(page->m_lblStatus, page->m_strLastResult);
      }
      sheet->m_Data.m_bCompleted = 1;
      sheet->EnableCancel(TRUE);
    });
    ::PostMessage(sheet->GetSafeHwnd(), PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
  }
  CoUninitialize();
  return 0;
}
