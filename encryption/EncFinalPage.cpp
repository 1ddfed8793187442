#include "encryption/EncFinalPage.h"

#include <sys/stat.h>

#include <ctime>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "archives/MapiMailer.h"
#include "controls/ShellOpen.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Paths.h"
#include "encryption/EncryptionWizard.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "formats/AuditLog.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "signing/SummarySheet.h"

namespace {

// A function for the page's own thread, sent by a worker.
constexpr UINT WM_RUN_ON_PAGE = WM_APP + 0x152;
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

// A label draws no background of its own: what lies under it is drawn again first, so that a shorter text
// leaves nothing of a longer one behind.
void SetLabelText(CWnd& label, const char* text) {
  if (!label.GetSafeHwnd()) return;
  label.SetWindowText(text);
  if (CWnd* parent = label.GetParent()) {
    CRect area;
    label.GetWindowRect(&area);
    parent->ScreenToClient(&area);
    parent->InvalidateRect(&area, TRUE);
  }
  label.Invalidate();
}

// "%d %B, %Y" of the file's modification time; false when its status cannot be read or it is empty.
bool FileDate(const CString& path, CString& date) {
  struct stat st {};
  if (path.IsEmpty() || ::stat(path, &st) != 0 || st.st_size == 0) return false;
  struct tm local {};
  time_t when = st.st_mtime;
  localtime_r(&when, &local);
  char text[64] = {};
  strftime(text, sizeof text, "%d %B, %Y", &local);
  date = text;
  return true;
}

}  // namespace

IMPLEMENT_DYNCREATE(EncFinalPage, CPropertyPage)

BEGIN_MESSAGE_MAP(EncFinalPage, CPropertyPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgain)
  ON_BN_CLICKED(IDC_OPEN, OnOpenResult)
  ON_BN_CLICKED(IDC_SAVE_AS, OnSaveResultAs)
  ON_BN_CLICKED(IDC_DETAILS, OnDetails)
  ON_BN_CLICKED(IDC_MAIL, OnMailResult)
  ON_NOTIFY(NM_DBLCLK, IDC_RESULT_LIST, OnResultListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_RESULT_LIST, OnResultListItemChanged)
  ON_WM_TIMER()
  ON_MESSAGE(WM_RUN_ON_PAGE, OnRunOnPage)
END_MESSAGE_MAP()

EncFinalPage::EncFinalPage() : CPropertyPage(IDD, 0, 164, 165) {}

CEncryptionWizard* EncFinalPage::Sheet() { return dynamic_cast<CEncryptionWizard*>(GetParentSheet()); }

void EncFinalPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_STATUS, m_lblStatus);
  DDX_Control(pDX, IDC_PROGRESS_TEXT, m_lblProgress);
  DDX_Control(pDX, IDC_PERCENT, m_lblPercent);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_RESULT_CAPTION, m_lblResult);
  DDX_Control(pDX, IDC_RESULT_LIST, m_ctlResultList);
}

BOOL EncFinalPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_ctlResultList.SetFullRowDraw(TRUE);
  FillResultList();
  return TRUE;
}

BOOL EncFinalPage::OnSetActive() {
  CEncryptionWizard* sheet = Sheet();
  if (sheet) {
    if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
    CProtectWizardData& data = sheet->m_WizardData;
    if (data.m_arrInputFiles.GetSize() > 0) {
      UINT texts[3] = {341, 342, 343};
      if (data.m_nMode == 4) texts[0] = 332, texts[1] = 333, texts[2] = 334;
      if (data.m_nMode == 0) texts[0] = 335, texts[1] = 336, texts[2] = 337;
      if (data.m_nMode == 2) texts[0] = 338, texts[1] = 339, texts[2] = 340;
      SetDlgItemText(IDC_RUN_AGAIN, LoadResString(texts[0]));
      m_strHeaderTitle = LoadResString(texts[1]);
      sheet->SendMessage(PSM_SETHEADERTITLE, static_cast<WPARAM>(sheet->GetPageIndex(this)),
                         reinterpret_cast<LPARAM>(static_cast<const char*>(m_strHeaderTitle)));
      SetLabelText(m_lblStatus, LoadResString(texts[2]));
      sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
      if (!m_bStarted && !data.m_bOperationDone.load()) {
        FillResultList();
        StartOperation();
      } else if (!m_bStarted) {
        // Back on the page after its run: nothing runs twice, and the run's end buttons come back.
        StartOperation();
        sheet->SetWizardButtons(IsShowFinishPageEnabled() ? PSWIZB_NEXT : PSWIZB_FINISH);
      }
    }
  }
  return CPropertyPage::OnSetActive();
}

LRESULT EncFinalPage::OnWizardBack() {
  if (CEncryptionWizard* sheet = Sheet()) {
    sheet->SetActivePage(CEncryptionWizard::kFilePage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

BOOL EncFinalPage::OnWizardFinish() {
  CWnd* main = AfxGetMainWnd();
  if (main && main->GetSafeHwnd()) main->PostMessage(WM_USER + 1000, 108, 0);
  return CPropertyPage::OnWizardFinish();
}

void EncFinalPage::FillResultList() {
  CEncryptionWizard* sheet = Sheet();
  if (!sheet || !m_ctlResultList.GetSafeHwnd()) return;
  const CProtectWizardData& data = sheet->m_WizardData;
  m_ctlResultList.DeleteAllItems();
  CStringList paths, outputs, states, dates;
  CUIntArray itemStates, images;
  for (int i = 0; i < data.m_arrInputFiles.GetSize(); ++i) {
    const CString& path = data.m_arrInputFiles[i];
    CPathParts parts(path);
    // The name the output gets: the whole input name with ".Etv" when encrypting.
    CString output = parts.GetFileName();
    if (data.m_nMode != 4) output += parts.GetExtension() + ".Etv";
    CString date;
    const bool readable = FileDate(path, date);
    paths.AddTail(path);
    outputs.AddTail(output);
    states.AddTail(readable ? "Pending" : "Failed");
    dates.AddTail(date);
    images.Add(readable ? 1 : 0);
    itemStates.Add(1);
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
  for (int i = 0; i < images.GetSize(); ++i) m_ctlResultList.SetRowMark(i, 0, images[i] == 1 ? 1 : 0, 0);
  CString progress;
  progress.Format(346, 0, static_cast<int>(data.m_arrInputFiles.GetSize()));
  SetLabelText(m_lblProgress, progress);
}

BOOL EncFinalPage::StartOperation() {
  CEncryptionWizard* sheet = Sheet();
  if (!sheet) return FALSE;
  CProtectWizardData& data = sheet->m_WizardData;
  const int count = static_cast<int>(data.m_arrInputFiles.GetSize());
  if (data.m_bOperationDone.load(std::memory_order_acquire)) {
    CString text;
    text.Format("%d  of  %d Completed.", count, count);
    SetLabelText(m_lblProgress, text);
    for (int i = 0; i < m_ctlResultList.GetItemCount(); ++i) {
      const bool good = i < m_arrResults.GetSize() && m_arrResults[i] == "Success";
      m_ctlResultList.SetRowMark(i, good ? 1 : 0, 0, 0);
    }
    UpdateResultButtons();
    return TRUE;
  }
  m_bStarted = 1;
  m_ctlProgress.SetRange32(0, kProgressRange);
  m_nRangeLow = 0;
  m_nRangeHigh = kProgressRange;
  SetProgressStep(1);
  DispatchPendingMessages();
  SetTimer(kRunTimer, 250, nullptr);
  if (!data.m_pEngineObjects) {
    try {
      data.m_pEngineObjects = new CCapicomObjectSet;
    } catch (const _com_error& e) {
      // Without the engine nothing can run: say why and leave the page idle.
      KillTimer(kRunTimer);
      m_bStarted = 0;
      AfxMessageBox(GetCapicomErrorMessage(e.Error()).GetAnsi(), MB_OK);
      UpdateResultButtons();
      return TRUE;
    }
  }
  data.m_bOperationDone.store(0);
  if (data.m_nMode == 0) sheet->StartWorker(EncFinalEncryptThreadProc);
  else if (data.m_nMode == 4) sheet->StartWorker(EncFinalDecryptVerifyThreadProc);
  else data.m_bOperationDone.store(1);  // nothing to run: the run is over at once
  UpdateResultButtons();
  return TRUE;
}

void EncFinalPage::OnTimer(UINT_PTR nIDEvent) {
  CEncryptionWizard* sheet = Sheet();
  if (nIDEvent != kRunTimer || !sheet) {
    Default();
    return;
  }
  if (sheet->m_WizardData.m_bOperationDone.load(std::memory_order_acquire)) {
    OnRunEnded();
  } else if (sheet->m_WizardData.m_arrInputFiles.GetSize() < 10) {
    StepProgress();
    DispatchPendingMessages();
  }
}

void EncFinalPage::OnRunEnded() {
  CEncryptionWizard* sheet = Sheet();
  CProtectWizardData& data = sheet->m_WizardData;
  m_bStarted = 0;
  SetProgressPos(kProgressRange);
  DispatchPendingMessages();
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
  sheet->SetWizardButtons(IsShowFinishPageEnabled() ? PSWIZB_NEXT : PSWIZB_FINISH);
  SetLabelText(m_lblStatus, LoadResString(360));
  if (data.m_bMailResults) {
    // Only what was made: a failed file has nothing to mail.
    CStringArray outputs;
    for (int i = 0; i < m_arrOutputFiles.GetSize(); ++i)
      if (!IsError(m_arrOutputFiles[i])) outputs.Add(m_arrOutputFiles[i]);
    if (outputs.GetSize() > 0) {
      CMapiMailer mailer;
      mailer.SendFiles(outputs);
    }
  }
}

bool EncFinalPage::IsShowFinishPageEnabled() {
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  return config.ShowFinishPage != 0;
}

void EncFinalPage::RunOnPageThread(const std::function<void()>& fn) {
  HWND page = GetSafeHwnd();
  if (page && ::IsWindow(page) && GetWindowThreadProcessId(page, nullptr) != GetCurrentThreadId()) {
    ::SendMessage(page, WM_RUN_ON_PAGE, 0, reinterpret_cast<LPARAM>(&fn));
    return;
  }
  fn();
}

LRESULT EncFinalPage::OnRunOnPage(WPARAM, LPARAM lParam) {
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

void EncFinalPage::PrepareForRun() {
  RunOnPageThread([this] {
    m_arrResults.RemoveAll();
    m_arrOutputFiles.RemoveAll();
    if (m_ctlResultList.GetSafeHwnd() && m_ctlResultList.GetItemCount() > 0 && m_nSelectedRow >= 0) {
      m_ctlResultList.EnsureVisible(m_nSelectedRow, FALSE);
      m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
  });
}

void EncFinalPage::AddFileOutcome(const char* outputOrError, const char* result) {
  CString output(outputOrError ? outputOrError : ""), text(result ? result : "");
  RunOnPageThread([&] {
    m_arrOutputFiles.Add(output);
    m_arrResults.Add(text);
  });
}

void EncFinalPage::ReportFileResult(int row, int good, const char* message, int count) {
  const bool hasMessage = message != nullptr;
  CString text(message ? message : "");
  RunOnPageThread([&] {
    if (hasMessage && GetSafeHwnd()) AfxMessageBox(text, MB_OK);
    if (m_nSelectedRow < 0 || !m_ctlResultList.GetSafeHwnd()) return;
    const int rows = m_ctlResultList.GetItemCount();
    if (rows <= 0 || row < 0 || row >= rows) return;
    m_ctlResultList.SetRowMark(row, good == 1 ? 1 : 0, 0, 0);
    m_ctlResultList.SetItemText(row, 2, LoadResString(good == 1 ? 557 : 362));
    if (rows > 1 && row != rows - 1) {
      OffsetProgressPos(kProgressRange / rows);
      CString progress;
      progress.Format(346, row + 1, count);
      SetLabelText(m_lblProgress, progress);
    }
    // The highlight follows the file just done, failed or not, so that the rows and the result lists stay
    // aligned.
    m_nSelectedRow = row + 1;
    if (m_nSelectedRow < rows) {
      m_ctlResultList.EnsureVisible(m_nSelectedRow, FALSE);
      m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
    UpdateResultButtons();
  });
}

CString EncFinalPage::LogEngineError(HRESULT hr) {
  CString text = GetCapicomErrorMessage(hr).GetAnsi();
  CAuditLog log;
  log.Load();
  log.LogError("Signer Wizard Fatal", text);
  return text;
}

void EncFinalPage::UpdateResultButtons() {
  const int buttons[] = {IDC_RUN_AGAIN, IDC_SAVE_AS, IDC_OPEN, IDC_DETAILS, IDC_MAIL};
  for (int id : buttons)
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
  CEncryptionWizard* sheet = Sheet();
  if (!sheet) return;
  auto enable = [this](int id, BOOL on) {
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(on);
  };
  const int rows = m_ctlResultList.GetSafeHwnd() ? m_ctlResultList.GetItemCount() : 0;
  if (m_bStarted || !sheet->m_WizardData.m_bOperationDone.load(std::memory_order_acquire) || m_nSelectedRow < 0 ||
      rows <= 0)
    return;
  enable(IDC_RUN_AGAIN, TRUE);
  if (m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  enable(IDC_DETAILS, TRUE);
  const BOOL usable = IsError(m_arrOutputFiles[m_nSelectedRow]) ? FALSE : TRUE;
  for (int id : {IDC_SAVE_AS, IDC_OPEN, IDC_MAIL}) enable(id, usable);
}

void EncFinalPage::SelectResultRow(int row) {
  if (row >= 0) m_nSelectedRow = row;
  UpdateResultButtons();
  // A file that did not succeed has nothing to open or save.
  if (m_nSelectedRow >= 0 && m_nSelectedRow < m_arrResults.GetSize() && m_arrResults[m_nSelectedRow] != "Success") {
    if (CWnd* w = GetDlgItem(IDC_SAVE_AS)) w->EnableWindow(FALSE);
    if (CWnd* w = GetDlgItem(IDC_OPEN)) w->EnableWindow(FALSE);
  }
}

void EncFinalPage::OnResultListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectResultRow(reinterpret_cast<NMLISTVIEW*>(pNMHDR)->iItem);
  if (pResult) *pResult = 0;
}

void EncFinalPage::OnResultListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectResultRow(reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem);
  OnDetails();
  if (pResult) *pResult = 0;
}

void EncFinalPage::OnRunAgain() {
  CEncryptionWizard* sheet = Sheet();
  if (!sheet) return;
  if (AfxMessageBox(LoadResString(555) + "\n" + LoadResString(328), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  CProtectWizardData& data = sheet->m_WizardData;
  if (data.m_arrInputFiles.GetSize() == 0) return;
  // The previous worker may still be in its pause: it has to be gone before the lists are used again.
  sheet->WaitForWorker();
  sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
  m_bStarted = 0;
  data.m_bOperationDone.store(0);
  m_nSelectedRow = 0;
  SetProgressPos(0);
  SetLabelText(m_lblProgress, " ");
  SetLabelText(m_lblPercent, " ");
  RedrawWindow();
  FillResultList();
  StartOperation();
}

void EncFinalPage::OnOpenResult() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  const CString& output = m_arrOutputFiles[m_nSelectedRow];
  if (!IsError(output)) ShellOpen(output);
}

void EncFinalPage::OnSaveResultAs() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  const CString output = m_arrOutputFiles[m_nSelectedRow];
  if (IsError(output)) return;
  CPathParts parts(output);
  CString extension = parts.GetExtension();
  CFileDialog dialog(FALSE, CString("*") + extension, parts.GetFileName() + extension,
                     OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "*.*", this);
  if (dialog.DoModal() != IDOK) return;
  const CString target = dialog.GetPathName();
  if (target.CompareNoCase(output) == 0) {
    AfxMessageBox(LoadResString(330), MB_OK | MB_ICONINFORMATION);
  } else if (CopyFile(output, target, FALSE)) {
    AfxMessageBox(LoadResString(329), MB_OK | MB_ICONINFORMATION);
  }
}

void EncFinalPage::OnDetails() {
  CEncryptionWizard* sheet = Sheet();
  if (!sheet || m_nSelectedRow < 0) return;
  const CProtectWizardData& data = sheet->m_WizardData;
  CString path;
  if (data.m_nMode == 4) {
    if (m_nSelectedRow < data.m_arrInputFiles.GetSize()) path = data.m_arrInputFiles[m_nSelectedRow];
  } else if (m_nSelectedRow < m_arrOutputFiles.GetSize() && !IsError(m_arrOutputFiles[m_nSelectedRow])) {
    path = m_arrOutputFiles[m_nSelectedRow];
  }
  if (path.IsEmpty()) return;
  CSummarySheet summary(LoadResString(556), this, 0);
  summary.m_strFilePath = path;
  if (m_nSelectedRow < m_arrResults.GetSize() && m_arrResults[m_nSelectedRow] != "Success")
    summary.m_strStatusText = m_arrResults[m_nSelectedRow];
  if (summary.GetPageCount() > 0) summary.DoModal();
}

void EncFinalPage::OnMailResult() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize() || IsError(m_arrOutputFiles[m_nSelectedRow]))
    return;
  if (AfxMessageBox(LoadResString(372), MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  CStringArray one;
  one.Add(m_arrOutputFiles[m_nSelectedRow]);
  CMapiMailer mailer;
  mailer.SendFiles(one);
}

// ---- progress ----

void EncFinalPage::PumpWaitingMessages() {
  // Only what other threads send: a worker waiting for this page goes on, and no input is handled in the
  // middle of a progress step.
  MSG msg;
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void EncFinalPage::SetProgressStep(int step) {
  m_nStep = step;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetStep(step);
}

void EncFinalPage::SetProgressPos(int pos) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.SetPos(pos);
  UpdatePercentText(m_ctlProgress.GetPos());
}

void EncFinalPage::OffsetProgressPos(int delta) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.OffsetPos(delta);
  UpdatePercentText(m_ctlProgress.GetPos());
}

void EncFinalPage::StepProgress() {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.StepIt();
  UpdatePercentText(m_ctlProgress.GetPos());
}

void EncFinalPage::UpdatePercentText(int pos) {
  if (m_nRangeHigh == m_nRangeLow) return;
  int percent = static_cast<int>((static_cast<long long>(pos) - m_nRangeLow) * 100 / (m_nRangeHigh - m_nRangeLow));
  if (percent != 100) percent %= 100;
  CString text;
  text.Format("%d%c", percent, '%');
  if (!m_lblPercent.GetSafeHwnd()) return;
  CString shown;
  m_lblPercent.GetWindowText(shown);
  if (shown != text) SetLabelText(m_lblPercent, text);
}
