// Page 3 of the code-signing wizard: the run and its results.
#include "archives/CodeSignRun.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "archives/CodeSignWizard.h"
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
#include "signing/SummarySheet.h"

namespace {

constexpr UINT_PTR kRunTimer = 1;

enum {
  IDC_MESSAGE = 1098,
  IDC_COUNT = 1088,
  IDC_PERCENT = 1089,
  IDC_LIST_CAPTION = 1081,
  IDC_PROGRESS = 1087,
  IDC_RESULTS = 1033,
  IDC_RUN_AGAIN = 1085,
  IDC_OPEN = 1082,
  IDC_SAVE_AS = 1083,
  IDC_DETAILS = 1080,
  IDC_MAIL = 1090
};

bool IsError(const CString& entry) { return entry == "Error"; }

// "%d %B, %Y" of the file's modification time; false when the file cannot be read or is empty.
bool UsableFile(const CString& path, CString& date) {
  struct stat st {};
  if (path.IsEmpty() || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  struct tm local {};
  time_t when = st.st_mtime;
  localtime_r(&when, &local);
  char text[64] = {};
  strftime(text, sizeof text, "%d %B, %Y", &local);
  date = text;
  return st.st_size != 0;
}

CString FileNameWithoutExtension(const CString& path) { return CPathParts(path).GetFileName(); }

}  // namespace

IMPLEMENT_DYNCREATE(CCodeFinalPage, CWorkerPage)

BEGIN_MESSAGE_MAP(CCodeFinalPage, CWorkerPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgain)
  ON_BN_CLICKED(IDC_OPEN, OnOpen)
  ON_BN_CLICKED(IDC_SAVE_AS, OnSaveAs)
  ON_BN_CLICKED(IDC_DETAILS, OnDetails)
  ON_BN_CLICKED(IDC_MAIL, OnMail)
  ON_NOTIFY(NM_DBLCLK, IDC_RESULTS, OnListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_RESULTS, OnListItemChanged)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CCodeFinalPage::CCodeFinalPage() : CWorkerPage(IDD, 0, 164, 165) {}

CCodeFinalPage::~CCodeFinalPage() = default;

CCodeSignWizard* CCodeFinalPage::Sheet() { return dynamic_cast<CCodeSignWizard*>(GetParentSheet()); }

void CCodeFinalPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_MESSAGE, m_lblMessage);
  DDX_Control(pDX, IDC_COUNT, m_lblCount);
  DDX_Control(pDX, IDC_PERCENT, m_lblPercent);
  DDX_Control(pDX, IDC_LIST_CAPTION, m_lblList);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_RESULTS, m_lstResults);
}

BOOL CCodeFinalPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_lstResults.SetFullRowDraw(TRUE);
  FillList();
  return TRUE;
}

BOOL CCodeFinalPage::OnSetActive() {
  CCodeSignWizard* sheet = Sheet();
  if (sheet) {
    if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
    CProtectWizardData& data = sheet->m_WizardData;
    if (data.m_arrInputFiles.GetSize() > 0) {
      const bool verify = data.m_nMode == 4;
      SetDlgItemText(IDC_RUN_AGAIN, LoadResString(verify ? 585 : 341));
      m_strHeaderTitle = LoadResString(verify ? 586 : 342);
      sheet->SendMessage(PSM_SETHEADERTITLE, static_cast<WPARAM>(sheet->GetPageIndex(this)),
                         reinterpret_cast<LPARAM>(static_cast<const char*>(m_strHeaderTitle)));
      kx::archives::SetLabelText(m_lblMessage, LoadResString(verify ? 587 : 343));
      sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
      if (!m_bRunning && !data.m_bOperationDone.load()) {
        FillList();
        StartRun();
      } else if (!m_bRunning) {
        // Back on the page after its run (from the finish page): its end buttons again, nothing runs twice.
        COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
        config.LoadOperationOptions();
        sheet->SetWizardButtons(config.ShowFinishPage ? PSWIZB_NEXT : PSWIZB_FINISH);
      }
    }
  }
  return CPropertyPage::OnSetActive();
}

BOOL CCodeFinalPage::OnKillActive() {
  // No page change while the worker uses this page.
  if (m_bRunning) return FALSE;
  return CPropertyPage::OnKillActive();
}

BOOL CCodeFinalPage::OnQueryCancel() {
  if (m_bRunning) return FALSE;
  return CPropertyPage::OnQueryCancel();
}

BOOL CCodeFinalPage::OnWizardFinish() {
  CWnd* main = AfxGetMainWnd();
  if (main && main->GetSafeHwnd()) main->PostMessage(WM_USER + 1000, 101, 0);
  return CPropertyPage::OnWizardFinish();
}

void CCodeFinalPage::FillList() {
  CCodeSignWizard* sheet = Sheet();
  if (!sheet || !m_lstResults.GetSafeHwnd()) return;
  const CProtectWizardData& data = sheet->m_WizardData;
  m_lstResults.DeleteAllItems();
  CStringList paths, names, states, dates, headings;
  CUIntArray itemStates, images;
  std::vector<BOOL> pending;
  for (int i = 0; i < data.m_arrInputFiles.GetSize(); ++i) {
    const CString& path = data.m_arrInputFiles[i];
    CString date;
    const bool usable = UsableFile(path, date);
    paths.AddTail(path);
    names.AddTail(FileNameWithoutExtension(path));
    states.AddTail(usable ? "Pending" : "Failed");
    dates.AddTail(date);
    images.Add(1);
    itemStates.Add(1);
    pending.push_back(usable ? TRUE : FALSE);
  }
  m_arrInputFiles.Copy(data.m_arrInputFiles);
  for (UINT id : {272u, 344u, 345u, 274u}) headings.AddTail(LoadResString(id));
  m_lstResults.SetHeadings(headings);
  m_lstResults.SetColumnData(0, paths);
  m_lstResults.SetColumnData(1, names);
  m_lstResults.SetColumnData(2, states);
  m_lstResults.SetColumnData(3, dates);
  m_lstResults.SetItemStates(itemStates);
  m_lstResults.SetItemImages(images);
  m_lstResults.Populate();
  const int widths[4] = {110, 150, 100, 100};
  for (int c = 0; c < 4; ++c) m_lstResults.SetColumnWidth(c, widths[c]);
  for (size_t row = 0; row < pending.size(); ++row)
    m_lstResults.SetRowMark(static_cast<int>(row), FALSE, pending[row], FALSE);
  CString count;
  count.Format(346, 0, static_cast<int>(data.m_arrInputFiles.GetSize()));
  kx::archives::SetLabelText(m_lblCount, count);
  m_lstResults.SetFocus();
}

bool CCodeFinalPage::StartRun() {
  CCodeSignWizard* sheet = Sheet();
  if (!sheet) return false;
  CProtectWizardData& data = sheet->m_WizardData;
  if (data.m_bOperationDone.load()) {
    const int total = static_cast<int>(data.m_arrInputFiles.GetSize());
    CString count;
    count.Format(346, total, total);
    kx::archives::SetLabelText(m_lblCount, count);
    for (int row = 0; row < m_arrResults.GetSize() && row < m_lstResults.GetItemCount(); ++row)
      m_lstResults.SetRowMark(row, !IsError(m_arrResults[row]), FALSE, FALSE);
    return false;
  }
  m_bRunning = 1;
  SetProgressRange(0, kProgressRange);
  SetProgressStep(1);
  if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) {
    m_pStatusProgress->SetRange(0, kProgressRange, 1);
    m_pStatusProgress->SetStep(1);
  }
  DispatchPendingMessages();
  SetTimer(kRunTimer, 250, nullptr);
  if (!data.m_pEngineObjects) {
    try {
      data.m_pEngineObjects = new CCapicomObjectSet;
    } catch (const _com_error& e) {
      // Without the engine nothing can run: say why and end the run, so that the wizard can be left.
      AfxMessageBox(kx::codesign::EngineText(e.Error()), MB_OK);
      data.m_bOperationDone.store(1);
      OnRunEnded();
      return false;
    }
  }
  data.m_bOperationDone.store(0);
  const AFX_THREADPROC proc = data.m_nMode == 4 ? CodeVerifyThreadProc : CodeSignThreadProc;
  if (!sheet->m_Worker.Start(proc, sheet)) data.m_bOperationDone.store(1);  // the timer ends the run
  UpdateButtons();
  return true;
}

void CCodeFinalPage::OnTimer(UINT_PTR nIDEvent) {
  CCodeSignWizard* sheet = Sheet();
  if (nIDEvent != kRunTimer || !sheet) {
    Default();
    return;
  }
  CProtectWizardData& data = sheet->m_WizardData;
  if (!data.m_bOperationDone.load(std::memory_order_acquire)) {
    if (data.m_arrInputFiles.GetSize() < 10) {
      StepProgress();
      if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) m_pStatusProgress->StepIt();
    }
    return;
  }
  OnRunEnded();
}

void CCodeFinalPage::OnRunEnded() {
  CCodeSignWizard* sheet = Sheet();
  CProtectWizardData& data = sheet->m_WizardData;
  KillTimer(kRunTimer);
  m_bRunning = 0;
  SetProgressPos(kProgressRange);
  if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) {
    m_pStatusProgress->SetPos(kProgressRange);
    m_pStatusProgress->SetText("Completed");
  }
  UpdateButtons();
  const int total = static_cast<int>(data.m_arrInputFiles.GetSize());
  CString count;
  count.Format(346, total, total);
  kx::archives::SetLabelText(m_lblCount, count);
  m_nProcessed = total;
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  sheet->SetWizardButtons(config.ShowFinishPage ? PSWIZB_NEXT : PSWIZB_FINISH);
  kx::archives::SetLabelText(m_lblMessage, LoadResString(360));
  if (data.m_bMailResults) {
    // Only files that exist go to the mail program: a failed file has no result to send.
    CStringArray outputs;
    for (int i = 0; i < m_arrResults.GetSize(); ++i)
      if (!IsError(m_arrResults[i])) outputs.Add(m_arrResults[i]);
    if (outputs.GetSize() > 0) {
      CMapiMailer mailer;
      mailer.SendFiles(outputs);
    }
  }
}

// ---- progress ----

void CCodeFinalPage::SetProgressRange(int low, int high) {
  m_nRangeLow = low;
  m_nRangeHigh = high;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetRange32(low, high);
}

void CCodeFinalPage::SetProgressPos(int pos) {
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetPos(pos);
  UpdatePercentText();
}

void CCodeFinalPage::SetProgressStep(int step) {
  m_nStep = step;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetStep(step);
}

void CCodeFinalPage::OffsetProgressPos(int delta) {
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.OffsetPos(delta);
  UpdatePercentText();
}

void CCodeFinalPage::StepProgress() {
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.StepIt();
  UpdatePercentText();
}

void CCodeFinalPage::UpdatePercentText() {
  if (!m_ctlProgress.GetSafeHwnd() || !m_lblPercent.GetSafeHwnd()) return;
  const CString text = kx::archives::PercentText(m_ctlProgress.GetPos(), m_nRangeLow, m_nRangeHigh);
  CString shown;
  m_lblPercent.GetWindowText(shown);
  if (shown != text) kx::archives::SetLabelText(m_lblPercent, text);
}

// ---- the workers' side ----

void CCodeFinalPage::PrepareForRun() {
  RunOnPageThread([this] {
    m_arrResults.RemoveAll();
    m_arrStatus.RemoveAll();
    m_nProcessed = 0;
    if (m_lstResults.GetSafeHwnd() && m_lstResults.GetItemCount() > 0 && m_nSelectedRow >= 0 &&
        m_nSelectedRow < m_lstResults.GetItemCount()) {
      m_lstResults.EnsureVisible(m_nSelectedRow, FALSE);
      m_lstResults.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
  });
}

void CCodeFinalPage::AddFileOutcome(const CString& result, const CString& status) {
  RunOnPageThread([&] {
    m_arrResults.Add(result);
    m_arrStatus.Add(status);
  });
}

void CCodeFinalPage::ReportFileResult(int row, bool success, const char* message, int total) {
  const bool hasMessage = message != nullptr;
  const CString text(message ? message : "");
  RunOnPageThread([&] {
    if (hasMessage && GetSafeHwnd()) AfxMessageBox(text, MB_OK);
    const int rows = m_lstResults.GetSafeHwnd() ? m_lstResults.GetItemCount() : 0;
    if (row < 0 || row >= rows) return;
    // The file's own row, whatever happened to the files before it.
    m_lstResults.SetRowMark(row, success ? TRUE : FALSE, FALSE, FALSE);
    m_lstResults.SetItemText(row, 2, LoadResString(success ? 557 : 362));
    if (rows > 1 && row != rows - 1) {
      const int step = kProgressRange / rows;
      OffsetProgressPos(step);
      if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) m_pStatusProgress->OffsetPos(step);
      CString count;
      count.Format(346, row + 1, total);
      kx::archives::SetLabelText(m_lblCount, count);
    }
    m_nProcessed = row + 1;
    m_nSelectedRow = row + 1 < rows ? row + 1 : row;
    m_lstResults.EnsureVisible(m_nSelectedRow, FALSE);
    m_lstResults.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    UpdateButtons();
  });
}

CString CCodeFinalPage::ReportFatalError(HRESULT hr) {
  const CString text = kx::codesign::EngineText(hr);
  CAuditLog log;
  log.Load();
  log.LogError("Code Sign Wizard Fatal", text);
  return text;
}

// ---- buttons ----

bool CCodeFinalPage::IsSelectionUsable() const {
  return m_nSelectedRow >= 0 && m_nSelectedRow < m_arrResults.GetSize() && !IsError(m_arrResults[m_nSelectedRow]);
}

void CCodeFinalPage::UpdateButtons() {
  auto enable = [this](int id, BOOL on) {
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(on);
  };
  for (int id : {IDC_RUN_AGAIN, IDC_SAVE_AS, IDC_OPEN, IDC_DETAILS, IDC_MAIL}) enable(id, FALSE);
  CCodeSignWizard* sheet = Sheet();
  if (!sheet || m_bRunning || !sheet->m_WizardData.m_bOperationDone.load() || m_nSelectedRow < 0) return;
  enable(IDC_RUN_AGAIN, TRUE);
  if (m_nSelectedRow >= m_arrResults.GetSize()) return;
  enable(IDC_DETAILS, TRUE);
  const BOOL usable = IsSelectionUsable() ? TRUE : FALSE;
  enable(IDC_SAVE_AS, usable);
  enable(IDC_OPEN, usable);
  enable(IDC_MAIL, usable);
}

void CCodeFinalPage::OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (item && item->iItem >= 0 && (item->uNewState & LVIS_SELECTED)) m_nSelectedRow = item->iItem;
  UpdateButtons();
  if (m_nSelectedRow >= 0 && m_nSelectedRow < m_arrStatus.GetSize() && m_arrStatus[m_nSelectedRow] != "Success") {
    if (CWnd* w = GetDlgItem(IDC_SAVE_AS)) w->EnableWindow(FALSE);
    if (CWnd* w = GetDlgItem(IDC_OPEN)) w->EnableWindow(FALSE);
  }
  if (pResult) *pResult = 0;
}

void CCodeFinalPage::OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
  if (item && item->iItem >= 0) m_nSelectedRow = item->iItem;
  UpdateButtons();
  if (m_nSelectedRow >= 0 && m_nSelectedRow < m_arrStatus.GetSize() && m_arrStatus[m_nSelectedRow] != "Success") {
    if (CWnd* w = GetDlgItem(IDC_SAVE_AS)) w->EnableWindow(FALSE);
    if (CWnd* w = GetDlgItem(IDC_OPEN)) w->EnableWindow(FALSE);
  }
  if (!m_bRunning) OnDetails();
  if (pResult) *pResult = 0;
}

void CCodeFinalPage::OnRunAgain() {
  CCodeSignWizard* sheet = Sheet();
  if (!sheet || m_bRunning) return;
  if (AfxMessageBox(LoadResString(555) + "\n" + LoadResString(328), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  CProtectWizardData& data = sheet->m_WizardData;
  if (data.m_arrInputFiles.GetSize() == 0) return;
  sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
  if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
  // The last worker may still be in its pause after the run: it has to be gone before the lists are reused.
  sheet->m_Worker.Wait();
  m_bRunning = 0;
  data.m_bOperationDone.store(0);
  m_nProcessed = 0;
  m_nSelectedRow = 0;
  kx::archives::SetLabelText(m_lblCount, " ");
  kx::archives::SetLabelText(m_lblPercent, " ");
  SetProgressPos(0);
  RedrawWindow();
  FillList();
  StartRun();
}

void CCodeFinalPage::OnOpen() {
  if (!IsSelectionUsable()) return;
  ShellOpen(m_arrResults[m_nSelectedRow]);
}

void CCodeFinalPage::OnSaveAs() {
  if (!IsSelectionUsable()) return;
  const CString result = m_arrResults[m_nSelectedRow];
  CPathParts parts(result);
  const CString extension = parts.GetExtension();
  CFileDialog dialog(FALSE, CString("*") + extension, parts.GetFileName() + extension,
                     OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "*.*", this);
  if (dialog.DoModal() != IDOK) return;
  const CString target = dialog.GetPathName();
  // A file copied onto itself would be emptied: that is refused as a failed copy.
  if (kx::archives::SameFile(target, result)) {
    AfxMessageBox(LoadResString(330), MB_OK | MB_ICONINFORMATION);
  } else if (CopyFile(result, target, FALSE)) {
    AfxMessageBox(LoadResString(329), MB_OK | MB_ICONINFORMATION);
  }
}

void CCodeFinalPage::OnDetails() {
  CCodeSignWizard* sheet = Sheet();
  if (m_nSelectedRow < 0) return;
  CString path;
  if (sheet && sheet->m_WizardData.m_nMode != 4 && m_nSelectedRow < m_arrResults.GetSize())
    path = m_arrResults[m_nSelectedRow];
  // A file that failed has no result: its details are those of the input, with the reason.
  if ((path.IsEmpty() || IsError(path)) && m_nSelectedRow < m_arrInputFiles.GetSize())
    path = m_arrInputFiles[m_nSelectedRow];
  if (path.IsEmpty()) return;
  CString status;
  if (m_nSelectedRow < m_arrStatus.GetSize() && m_arrStatus[m_nSelectedRow] != "Success")
    status = m_arrStatus[m_nSelectedRow];
  CSummarySheet summary(LoadResString(556), this, 0);
  kx::archives::AnchorAtControl(*this, IDC_DETAILS, summary.m_rcOrigin, summary.m_bOwnAnimation);
  summary.m_strFilePath = path;
  summary.m_strStatusText = status;
  summary.DoModal();
}

void CCodeFinalPage::OnMail() {
  if (!IsSelectionUsable()) return;
  if (AfxMessageBox(LoadResString(372), MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  CStringArray one;
  one.Add(m_arrResults[m_nSelectedRow]);
  CMapiMailer mailer;
  mailer.SendFiles(one);
}
