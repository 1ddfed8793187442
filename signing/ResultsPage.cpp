#include "signing/ResultsPage.h"

#include <sys/stat.h>

#include <ctime>
#include <vector>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "archives/MapiMailer.h"
#include "controls/ShellOpen.h"
#include "controls/TextProgressCtrl.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Paths.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "formats/AuditLog.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "signing/ProtectWizardData.h"
#include "signing/SummarySheet.h"

namespace {

constexpr UINT_PTR kRunTimer = 1;

enum {
  IDC_RUN_AGAIN = 1085,
  IDC_OPEN = 1082,
  IDC_SAVE_AS = 1083,
  IDC_DETAILS = 1080,
  IDC_MAIL = 1090,
  IDC_RESULT_LIST = 1033,
  IDC_STATUS = 1098,
  IDC_PROGRESS_TEXT = 1088,
  IDC_PERCENT = 1089,
  IDC_PROGRESS = 1087,
  IDC_RESULT_CAPTION = 1081
};

bool IsError(const CString& entry) { return entry.CompareNoCase("Error") == 0; }

bool IsSuccess(const CString& entry) { return entry.CompareNoCase("Success") == 0; }

}  // namespace

using kx::signing::SetLabelText;

IMPLEMENT_DYNAMIC(CResultsPageBase, CWorkerPage)

BEGIN_MESSAGE_MAP(CResultsPageBase, CWorkerPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgain)
  ON_BN_CLICKED(IDC_OPEN, OnOpenResult)
  ON_BN_CLICKED(IDC_SAVE_AS, OnSaveResultAs)
  ON_BN_CLICKED(IDC_DETAILS, OnDetails)
  ON_BN_CLICKED(IDC_MAIL, OnMailResult)
  ON_NOTIFY(NM_DBLCLK, IDC_RESULT_LIST, OnResultListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_RESULT_LIST, OnResultListItemChanged)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CResultsPageBase::CResultsPageBase(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle)
    : CWorkerPage(nIDTemplate, nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle) {}

CResultsPageBase::~CResultsPageBase() = default;

void CResultsPageBase::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_STATUS, m_lblStatus);
  DDX_Control(pDX, IDC_PROGRESS_TEXT, m_lblProgress);
  DDX_Control(pDX, IDC_PERCENT, m_lblPercent);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_RESULT_CAPTION, m_lblResult);
  DDX_Control(pDX, IDC_RESULT_LIST, m_ctlResultList);
}

BOOL CResultsPageBase::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_ctlResultList.SetFullRowDraw(TRUE);
  FillResultList();
  return TRUE;
}

BOOL CResultsPageBase::OnSetActive() {
  CPropertySheet* sheet = WizardSheet();
  CProtectWizardData* data = WizardData();
  if (sheet && data) {
    if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
    if (data->m_arrInputFiles.GetSize() > 0) {
      CString runAgain, status;
      RunTexts(data->m_nMode, runAgain, m_strHeaderTitle, status);
      SetDlgItemText(IDC_RUN_AGAIN, runAgain);
      sheet->SendMessage(PSM_SETHEADERTITLE, static_cast<WPARAM>(sheet->GetPageIndex(this)),
                         reinterpret_cast<LPARAM>(static_cast<const char*>(m_strHeaderTitle)));
      SetLabelText(m_lblStatus, status);
      sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
      if (!m_bBusy && !data->m_bOperationDone.load()) {
        FillResultList();
        StartOperation();
      } else if (!m_bBusy) {
        // Back on the page after its run: the run's end buttons again, and nothing runs twice.
        ShowEndedRun();
        sheet->SetWizardButtons(IsShowFinishPageEnabled() && !AutoFinishes() ? PSWIZB_NEXT : PSWIZB_FINISH);
      }
    }
    if (PassesOn()) return TRUE;
  }
  return CWorkerPage::OnSetActive();
}

void CResultsPageBase::RunTexts(int mode, CString& runAgain, CString& title, CString& status) {
  UINT texts[3] = {341, 342, 343};
  if (mode == 4) texts[0] = 332, texts[1] = 333, texts[2] = 334;
  if (mode == 0) texts[0] = 335, texts[1] = 336, texts[2] = 337;
  if (mode == 2) texts[0] = 338, texts[1] = 339, texts[2] = 340;
  runAgain = LoadResString(texts[0]);
  title = LoadResString(texts[1]);
  status = LoadResString(texts[2]);
}

BOOL CResultsPageBase::OnWizardFinish() {
  // The owning wizard's own finish code.
  const WPARAM code = FinishCode();
  CWnd* main = AfxGetMainWnd();
  if (main && main->GetSafeHwnd()) main->PostMessage(WM_USER + 1000, code, 0);
  return CWorkerPage::OnWizardFinish();
}

void CResultsPageBase::FillResultList() {
  const CProtectWizardData* data = WizardData();
  if (!data || !m_ctlResultList.GetSafeHwnd()) return;
  m_ctlResultList.DeleteAllItems();
  CStringList paths, outputs, states, dates;
  CUIntArray itemStates, images;
  std::vector<PendingRow> rows;
  for (int i = 0; i < data->m_arrInputFiles.GetSize(); ++i) {
    const CString& path = data->m_arrInputFiles[i];
    const PendingRow& row = rows.emplace_back(PlanRow(path));
    paths.AddTail(path);
    outputs.AddTail(PlannedOutputName(CPathParts(path), data->m_nMode));
    states.AddTail(row.usable ? "Pending" : "Failed");
    dates.AddTail(row.date);
    images.Add(row.image);
    itemStates.Add(row.state);
  }
  CStringList headings;
  for (UINT id : {272u, 344u, 345u, 274u}) headings.AddTail(LoadResString(id));
  m_ctlResultList.SetHeadings(headings);
  m_ctlResultList.SetColumnData(0, paths);
  m_ctlResultList.SetColumnData(1, outputs);
  m_ctlResultList.SetColumnData(2, states);
  m_ctlResultList.SetColumnData(3, dates);
  m_ctlResultList.SetItemStates(itemStates);
  m_ctlResultList.SetItemImages(images);
  m_ctlResultList.Populate();
  const int widths[4] = {110, 150, 100, 100};
  for (int c = 0; c < 4; ++c) m_ctlResultList.SetColumnWidth(c, widths[c]);
  for (size_t i = 0; i < rows.size(); ++i)
    m_ctlResultList.SetRowMark(static_cast<int>(i), rows[i].current, rows[i].flagA, rows[i].flagB);
  CString progress;
  progress.Format(346, 0, static_cast<int>(data->m_arrInputFiles.GetSize()));
  SetLabelText(m_lblProgress, progress);
  if (FocusesFilledList()) m_ctlResultList.SetFocus();
}

CResultsPageBase::InputFile CResultsPageBase::LookAtInput(const CString& path) {
  InputFile file;
  struct stat st {};
  if (path.IsEmpty() || ::stat(path, &st) != 0) return file;
  file.readable = true;
  file.regular = S_ISREG(st.st_mode);
  file.empty = st.st_size == 0;
  struct tm local {};
  const time_t when = st.st_mtime;
  localtime_r(&when, &local);
  char text[64] = {};
  strftime(text, sizeof text, "%d %B, %Y", &local);
  file.date = text;
  return file;
}

CResultsPageBase::PendingRow CResultsPageBase::PlanRow(const CString& path) {
  // A file that cannot be read or is empty fails at once, without a date.
  const InputFile file = LookAtInput(path);
  PendingRow row;
  row.usable = file.readable && !file.empty;
  if (row.usable) row.date = file.date;
  row.image = row.usable ? 1 : 0;
  row.flagA = row.usable ? 1 : 0;
  return row;
}

BOOL CResultsPageBase::StartOperation() {
  CProtectWizardData* data = WizardData();
  if (!data) return FALSE;
  m_bBusy = 1;
  SetProgressRange(0, kProgressRange);
  SetProgressStep(1);
  if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) {
    m_pStatusProgress->SetRange(0, kProgressRange, 1);
    m_pStatusProgress->SetStep(1);
  }
  BeforeRun();
  if (DispatchesAtStart()) DispatchPendingMessages();
  else PumpWaitingMessages();
  SetTimer(kRunTimer, 250, nullptr);
  if (NeedsEngine(data->m_nMode) && !data->m_pEngineObjects) {
    try {
      data->m_pEngineObjects = new CCapicomObjectSet;
    } catch (const _com_error& e) {
      EngineUnavailable(e.Error());
      return TRUE;
    }
  }
  const WorkerProc proc = WorkerFor(data->m_nMode);
  data->m_bOperationDone.store(0);
  if (proc) StartWorker(proc);
  else RunWithoutWorker();
  UpdateResultButtons();
  return TRUE;
}

void CResultsPageBase::EngineUnavailable(HRESULT hr) {
  // Without the engine nothing can run: every file fails for that reason and the run is over, so that the
  // timer ends it like any other and the wizard offers its end (a page left waiting here had Cancel and
  // Finish disabled for good). The end is the timer's: the sheet may still be setting its first page up.
  CString text = GetCapicomErrorMessage(hr).GetAnsi();
  if (static_cast<uint32_t>(hr) == 0x80880911u || text.Find("internal error") >= 0 || text.IsEmpty())
    text.Format("The security engine could not be started (error 0x%08X). Nothing was done.", static_cast<unsigned>(hr));
  AfxMessageBox(text, MB_OK);
  CProtectWizardData* data = WizardData();
  if (!data) return;
  const int inputs = static_cast<int>(data->m_arrInputFiles.GetSize());
  PrepareForRun();
  for (int i = 0; i < inputs; ++i) {
    ReportFileResult(i, 0, nullptr, inputs);
    AddFileOutcome("Error", text);
  }
  data->m_bOperationDone.store(1, std::memory_order_release);
  UpdateResultButtons();
}

void CResultsPageBase::RunWithoutWorker() {
  // Nothing to run: the run is over at once.
  if (CProtectWizardData* data = WizardData()) data->m_bOperationDone.store(1);
}

void CResultsPageBase::OnTimer(UINT_PTR nIDEvent) {
  CProtectWizardData* data = WizardData();
  if (nIDEvent != kRunTimer || !data) {
    OnOtherTimer(nIDEvent);
    return;
  }
  if (data->m_bOperationDone.load(std::memory_order_acquire)) {
    OnRunEnded();
  } else if (data->m_arrInputFiles.GetSize() < 10) {
    StepProgress();
    if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) m_pStatusProgress->StepIt();
    if (DispatchesAfterBarMoves()) DispatchPendingMessages();
  }
}

void CResultsPageBase::OnOtherTimer(UINT_PTR) { Default(); }

void CResultsPageBase::OnRunEnded() {
  CPropertySheet* sheet = WizardSheet();
  CProtectWizardData& data = *WizardData();
  m_bBusy = 0;
  SetProgressPos(kProgressRange);
  if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) {
    m_pStatusProgress->SetPos(kProgressRange);
    m_pStatusProgress->SetText(LoadResString(359));
  }
  if (DispatchesAfterBarMoves()) DispatchPendingMessages();
  // The highlight stays on the last file rather than past the list.
  const int rows = m_ctlResultList.GetSafeHwnd() ? m_ctlResultList.GetItemCount() : 0;
  if (rows > 0 && m_nSelectedRow >= rows) {
    m_nSelectedRow = rows - 1;
    m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
  }
  UpdateResultButtons();
  const int count = static_cast<int>(data.m_arrInputFiles.GetSize());
  CString progress;
  progress.Format(346, count, count);
  SetLabelText(m_lblProgress, progress);
  KillTimer(kRunTimer);
  sheet->SetWizardButtons(IsShowFinishPageEnabled() && !AutoFinishes() ? PSWIZB_NEXT : PSWIZB_FINISH);
  SetLabelText(m_lblStatus, LoadResString(360));
  if (data.m_bMailResults && MailsOutputsAtEnd()) {
    // Only what was made: a failed file has nothing to mail.
    CStringArray outputs;
    for (int i = 0; i < m_arrOutputFiles.GetSize(); ++i)
      if (!IsError(m_arrOutputFiles[i])) outputs.Add(m_arrOutputFiles[i]);
    if (outputs.GetSize() > 0) {
      CMapiMailer mailer;
      mailer.SendFiles(outputs);
    }
  }
  AfterRunEnded();
}

bool CResultsPageBase::IsShowFinishPageEnabled() {
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  return config.ShowFinishPage != 0;
}

void CResultsPageBase::PrepareForRun() {
  RunOnPageThread([this] {
    m_arrResults.RemoveAll();
    m_arrOutputFiles.RemoveAll();
    if (m_ctlResultList.GetSafeHwnd() && m_ctlResultList.GetItemCount() > 0 && m_nSelectedRow >= 0) {
      m_ctlResultList.EnsureVisible(m_nSelectedRow, FALSE);
      m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
  });
}

void CResultsPageBase::AddFileOutcome(const char* outputOrError, const char* result) {
  CString output(outputOrError ? outputOrError : ""), text(result ? result : "");
  RunOnPageThread([&] {
    const int row = static_cast<int>(m_arrOutputFiles.Add(output));
    m_arrResults.Add(text);
    // Once the output has its name the row shows it, in place of the name planned before the run.
    if (!output.IsEmpty() && !IsError(output) && m_ctlResultList.GetSafeHwnd() && row < m_ctlResultList.GetItemCount()) {
      const int slash = output.ReverseFind('/');
      m_ctlResultList.SetItemText(row, 1, slash >= 0 ? output.Mid(slash + 1) : output);
    }
  });
}

void CResultsPageBase::ReportFileResult(int index, int result, const char* message, int total, BOOL warning) {
  const bool hasMessage = message != nullptr;
  CString text(message ? message : "");
  RunOnPageThread([&] {
    if (hasMessage && GetSafeHwnd()) AfxMessageBox(text, MB_OK);
    if (m_nSelectedRow < 0 || !m_ctlResultList.GetSafeHwnd()) return;
    const int rows = m_ctlResultList.GetItemCount();
    if (rows <= 0 || index < 0 || index >= rows) return;
    if (result == 1) {
      m_ctlResultList.SetRowMark(index, 1, 0, warning);
      m_ctlResultList.SetItemText(index, 2, LoadResString(SuccessTextId(warning)));
    } else {
      m_ctlResultList.SetRowMark(index, 0, 0, 0);
      m_ctlResultList.SetItemText(index, 2, LoadResString(362));
    }
    if (rows > 1 && index != rows - 1) {
      const int step = kProgressRange / rows;
      OffsetProgressPos(step);
      if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) m_pStatusProgress->OffsetPos(step);
    }
    // The count follows every file reported, the last one too: a row that shows its outcome is processed.
    CString progress;
    progress.Format(346, index + 1, total);
    SetLabelText(m_lblProgress, progress);
    // The highlight follows the file just done, failed or not, so that the rows and the result lists stay
    // aligned.
    m_nSelectedRow = index + 1;
    if (m_nSelectedRow < rows) {
      m_ctlResultList.EnsureVisible(m_nSelectedRow, FALSE);
      m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
    UpdateResultButtons();
  });
}

CString CResultsPageBase::LogEngineError(HRESULT hr) {
  return LogFatalError("Signer Wizard Fatal", GetCapicomErrorMessage(hr).GetAnsi());
}

CString CResultsPageBase::LogFatalError(const char* source, const CString& text) {
  CAuditLog log;
  log.Load();
  log.LogError(source, text);
  return text;
}

void CResultsPageBase::OpenCurrentOutput() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  const CString& output = m_arrOutputFiles[m_nSelectedRow];
  if (!IsError(output)) ShellOpen(output);
}

void CResultsPageBase::UpdateResultButtons() {
  try {
    const int buttons[] = {IDC_RUN_AGAIN, IDC_SAVE_AS, IDC_OPEN, IDC_DETAILS, IDC_MAIL};
    for (int id : buttons)
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
    const CProtectWizardData* data = WizardData();
    if (!data) return;
    auto enable = [this](int id, BOOL on) {
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(on);
    };
    const int rows = m_ctlResultList.GetSafeHwnd() ? m_ctlResultList.GetItemCount() : 0;
    if (!m_bBusy && data->m_bOperationDone.load(std::memory_order_acquire) && m_nSelectedRow >= 0 && rows > 0) {
      enable(IDC_RUN_AGAIN, TRUE);
      if (m_nSelectedRow < m_arrOutputFiles.GetSize()) {
        enable(IDC_DETAILS, TRUE);
        const BOOL usable = IsError(m_arrOutputFiles[m_nSelectedRow]) ? FALSE : TRUE;
        for (int id : {IDC_SAVE_AS, IDC_OPEN, IDC_MAIL}) enable(id, usable);
      }
    }
    if (!CanOpenOutputs()) enable(IDC_OPEN, FALSE);
  } catch (...) {
  }
}

void CResultsPageBase::SelectResultRow(int row) {
  if (row >= 0) m_nSelectedRow = row;
  UpdateResultButtons();
  // A file that did not succeed has nothing to open or save.
  if (m_nSelectedRow >= 0 && m_nSelectedRow < m_arrResults.GetSize() && !IsSuccess(m_arrResults[m_nSelectedRow])) {
    if (CWnd* w = GetDlgItem(IDC_SAVE_AS)) w->EnableWindow(FALSE);
    if (CWnd* w = GetDlgItem(IDC_OPEN)) w->EnableWindow(FALSE);
  }
}

void CResultsPageBase::OnResultListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectResultRow(reinterpret_cast<NMLISTVIEW*>(pNMHDR)->iItem);
  if (pResult) *pResult = 0;
}

void CResultsPageBase::OnResultListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectResultRow(reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem);
  OnDetails();
  if (pResult) *pResult = 0;
}

void CResultsPageBase::OnRunAgain() {
  CPropertySheet* sheet = WizardSheet();
  CProtectWizardData* data = WizardData();
  if (!sheet || !data) return;
  if (AfxMessageBox(RunAgainQuestion(), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  if (data->m_arrInputFiles.GetSize() == 0) return;
  // Nothing may leave the page while the previous worker, woken from its pause, is waited for: it has to be
  // gone before the lists are used again.
  sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
  WaitForWorker();
  m_bBusy = 0;
  data->m_bOperationDone.store(0);
  m_nSelectedRow = 0;
  if (RewindsBarOnRunAgain()) SetProgressPos(0);
  SetLabelText(m_lblProgress, " ");
  SetLabelText(m_lblPercent, " ");
  RunAgainCleared();
  RedrawWindow();
  FillResultList();
  StartOperation();
}

void CResultsPageBase::OnOpenResult() { OpenCurrentOutput(); }

void CResultsPageBase::OnSaveResultAs() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  const CString output = m_arrOutputFiles[m_nSelectedRow];
  if (IsError(output)) return;
  CPathParts parts(output);
  CString extension = parts.GetExtension();
  CFileDialog dialog(FALSE, CString("*") + extension, parts.GetFileName() + extension,
                     OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "*.*", this);
  if (dialog.DoModal() != IDOK) return;
  const CString target = dialog.GetPathName();
  const bool ownName = IsOwnOutput(target, output);
  if (ownName && RefusesOwnNameFirst()) {
    AfxMessageBox(LoadResString(330), OwnNameBoxType());
  } else if (CopyFile(output, target, FALSE)) {
    AfxMessageBox(LoadResString(329), MB_OK | MB_ICONINFORMATION);
  } else if (ownName) {
    AfxMessageBox(LoadResString(330), MB_OK | MB_ICONINFORMATION);
  }
}

bool CResultsPageBase::IsOwnOutput(const CString& target, const CString& output) {
  return target.CompareNoCase(output) == 0;
}

void CResultsPageBase::OnDetails() {
  const CProtectWizardData* data = WizardData();
  if (!data || m_nSelectedRow < 0) return;
  CString path;
  if (data->m_nMode == 4) {
    if (m_nSelectedRow < data->m_arrInputFiles.GetSize()) path = data->m_arrInputFiles[m_nSelectedRow];
  } else if (m_nSelectedRow < m_arrOutputFiles.GetSize() && !IsError(m_arrOutputFiles[m_nSelectedRow])) {
    path = m_arrOutputFiles[m_nSelectedRow];
  }
  if (path.IsEmpty() && ShowsFailedInputDetails() && m_nSelectedRow < data->m_arrInputFiles.GetSize())
    path = data->m_arrInputFiles[m_nSelectedRow];
  const bool failed = m_nSelectedRow < m_arrResults.GetSize() && !IsSuccess(m_arrResults[m_nSelectedRow]);
  // A failed file that has no summary to show: its failure text.
  auto tellFailure = [&] {
    if (!failed) return;
    CString text = m_arrResults[m_nSelectedRow];
    if (m_nSelectedRow < data->m_arrInputFiles.GetSize()) text = data->m_arrInputFiles[m_nSelectedRow] + "\n\n" + text;
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
  };
  if (path.IsEmpty()) {
    tellFailure();
    return;
  }
  CSummarySheet summary(DetailsTitle(), this, 0);
  if (ZoomsDetailsFromButton())
    kx::archives::AnchorAtControl(*this, IDC_DETAILS, summary.m_rcOrigin, summary.m_bOwnAnimation);
  summary.m_strFilePath = path;
  if (m_nSelectedRow < m_arrResults.GetSize() && !IsSuccess(m_arrResults[m_nSelectedRow]))
    summary.m_strStatusText = m_arrResults[m_nSelectedRow];
  if (summary.GetPageCount() > 0) summary.DoModal();
  else tellFailure();
}

void CResultsPageBase::OnMailResult() {
  // A failed file has nothing to mail.
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize() || IsError(m_arrOutputFiles[m_nSelectedRow]))
    return;
  if (AfxMessageBox(LoadResString(372), MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  CStringArray one;
  one.Add(m_arrOutputFiles[m_nSelectedRow]);
  CMapiMailer mailer;
  mailer.SendFiles(one);
}

// ---- progress ----

void CResultsPageBase::PumpWaitingMessages() {
  // Only what other threads send: a worker waiting for this page goes on, and no input is handled in the
  // middle of a progress step.
  MSG msg;
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void CResultsPageBase::SetProgressRange(int low, int high) {
  m_nRangeLow = low;
  m_nRangeHigh = high;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetRange32(low, high);
}

void CResultsPageBase::SetProgressStep(int step) {
  m_nStep = step;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetStep(step);
}

void CResultsPageBase::SetProgressPos(int pos) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.SetPos(pos);
  UpdatePercentText(m_ctlProgress.GetPos());
}

void CResultsPageBase::OffsetProgressPos(int delta) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.OffsetPos(delta);
  UpdatePercentText(m_ctlProgress.GetPos());
}

void CResultsPageBase::StepProgress() {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.StepIt();
  UpdatePercentText(m_ctlProgress.GetPos());
}

void CResultsPageBase::UpdatePercentText(int pos) {
  if (m_nRangeHigh == m_nRangeLow) return;
  const CString text = kx::archives::PercentText(pos, m_nRangeLow, m_nRangeHigh);
  if (!m_lblPercent.GetSafeHwnd()) return;
  CString shown;
  m_lblPercent.GetWindowText(shown);
  if (shown != text) SetLabelText(m_lblPercent, text);
}
