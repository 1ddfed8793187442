#include "signing/ProcessingPage.h"

#include <sys/stat.h>

#include <ctime>

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
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"
#include "signing/SummarySheet.h"

namespace {

// A function for the page's own thread, sent by a worker.
constexpr UINT WM_RUN_ON_PAGE = WM_APP + 0x151;
constexpr UINT_PTR kRunTimer = 1;
constexpr UINT_PTR kAutoFinishTimer = 2;

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

// A label draws its text without a background of its own: what lies under it is drawn again first, so that a
// shorter text leaves nothing of the longer one behind.
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

IMPLEMENT_DYNCREATE(CPWDecryptPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWDecryptPage, CPropertyPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgain)
  ON_BN_CLICKED(IDC_OPEN, OnOpenResult)
  ON_BN_CLICKED(IDC_SAVE_AS, OnSaveResultAs)
  ON_BN_CLICKED(IDC_DETAILS, OnDetails)
  ON_BN_CLICKED(IDC_MAIL, OnMailResult)
  ON_NOTIFY(NM_DBLCLK, IDC_RESULT_LIST, OnResultListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_RESULT_LIST, OnResultListItemChanged)
  ON_WM_TIMER()
  ON_WM_DESTROY()
  ON_MESSAGE(WM_RUN_ON_PAGE, OnRunOnPage)
END_MESSAGE_MAP()

CPWDecryptPage::CPWDecryptPage() : CPropertyPage(IDD, 0, 117, 116) {}

CPWDecryptPage::~CPWDecryptPage() = default;

CSignSheet* CPWDecryptPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

void CPWDecryptPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_STATUS, m_lblStatus);
  DDX_Control(pDX, IDC_PROGRESS_TEXT, m_lblProgress);
  DDX_Control(pDX, IDC_PERCENT, m_lblPercent);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_RESULT_CAPTION, m_lblResult);
  DDX_Control(pDX, IDC_RESULT_LIST, m_ctlResultList);
}

BOOL CPWDecryptPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_ctlResultList.SetFullRowDraw(TRUE);
  FillResultList();
  return TRUE;
}

BOOL CPWDecryptPage::OnSetActive() {
  CSignSheet* sheet = Sheet();
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
      if (!m_bBusy && !data.m_bOperationDone.load()) {
        FillResultList();
        StartOperation();
      } else if (!m_bBusy) {
        // Back on the page after its run: the run's end buttons again, and nothing runs twice.
        sheet->SetWizardButtons(IsShowFinishPageEnabled() && !(data.m_bAutoFinish && data.m_nMode == 4) ? PSWIZB_NEXT
                                                                                                            : PSWIZB_FINISH);
      }
    }
    if (sheet->IsOneClick()) {
      sheet->GoToPage(CSignSheet::kFinishPage);
      return TRUE;
    }
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CPWDecryptPage::OnWizardBack() {
  if (CSignSheet* sheet = Sheet()) {
    sheet->GoToPage(CSignSheet::kFilePage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

LRESULT CPWDecryptPage::OnWizardNext() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  sheet->GoToPage(CSignSheet::kFinishPage);
  return -1;
}

BOOL CPWDecryptPage::OnWizardFinish() {
  // The owning wizard's own finish code.
  CSignSheet* sheet = Sheet();
  CWnd* main = AfxGetMainWnd();
  if (main && main->GetSafeHwnd())
    main->PostMessage(WM_USER + 1000, static_cast<WPARAM>(sheet ? sheet->m_FinishPage.m_nFinishCode : 101), 0);
  return CPropertyPage::OnWizardFinish();
}

void CPWDecryptPage::FillResultList() {
  CSignSheet* sheet = Sheet();
  if (!sheet || !m_ctlResultList.GetSafeHwnd()) return;
  const CProtectWizardData& data = sheet->m_WizardData;
  m_ctlResultList.DeleteAllItems();
  CStringList paths, outputs, states, dates;
  CUIntArray itemStates, images;
  for (int i = 0; i < data.m_arrInputFiles.GetSize(); ++i) {
    const CString& path = data.m_arrInputFiles[i];
    CPathParts parts(path);
    CString output = parts.GetFileName();
    if (data.m_nMode != 4) output += ".tvx";
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
  m_ctlResultList.SetFocus();
}

BOOL CPWDecryptPage::StartOperation() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return FALSE;
  CProtectWizardData& data = sheet->m_WizardData;
  m_bBusy = 1;
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
      // Without the engine nothing can run: say why and leave the page idle.
      KillTimer(kRunTimer);
      m_bBusy = 0;
      AfxMessageBox(GetCapicomErrorMessage(e.Error()).GetAnsi(), MB_OK);
      UpdateResultButtons();
      return TRUE;
    }
  }
  UINT (*proc)(LPVOID) = nullptr;
  switch (data.m_nMode) {
    case 0: proc = EncryptThreadProc; break;
    case 1: proc = SignThreadProc; break;
    case 2: proc = SignAndEncryptThreadProc; break;
    case 3: proc = CountersignThreadProc; break;
    case 4: proc = DecryptVerifyThreadProc; break;
    default: break;
  }
  data.m_bOperationDone.store(0);
  if (proc) sheet->StartWorker(proc);
  else data.m_bOperationDone.store(1);  // nothing to run: the run is over at once
  UpdateResultButtons();
  return TRUE;
}

void CPWDecryptPage::OnTimer(UINT_PTR nIDEvent) {
  CSignSheet* sheet = Sheet();
  if (nIDEvent == kRunTimer && sheet) {
    if (sheet->m_WizardData.m_bOperationDone.load(std::memory_order_acquire)) {
      OnRunEnded();
    } else if (sheet->m_WizardData.m_arrInputFiles.GetSize() < 10) {
      StepProgress();
      if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) m_pStatusProgress->StepIt();
    }
  } else if (nIDEvent == kAutoFinishTimer) {
    EndAutoFinish();
  }
  Default();
}

void CPWDecryptPage::OnRunEnded() {
  CSignSheet* sheet = Sheet();
  CProtectWizardData& data = sheet->m_WizardData;
  m_bBusy = 0;
  SetProgressPos(kProgressRange);
  if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) {
    m_pStatusProgress->SetPos(kProgressRange);
    m_pStatusProgress->SetText(LoadResString(359));
  }
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
  const bool autoFinish = data.m_bAutoFinish && data.m_nMode == 4;
  if (IsShowFinishPageEnabled()) sheet->SetWizardButtons(autoFinish ? PSWIZB_FINISH : PSWIZB_NEXT);
  else sheet->SetWizardButtons(PSWIZB_FINISH);
  SetLabelText(m_lblStatus, LoadResString(360));
  if (data.m_bMailResults) {
    CStringArray outputs;
    for (int i = 0; i < m_arrOutputFiles.GetSize(); ++i)
      if (!IsError(m_arrOutputFiles[i])) outputs.Add(m_arrOutputFiles[i]);
    if (outputs.GetSize() > 0) {
      CMapiMailer mailer;
      mailer.SendFiles(outputs);
    }
  }
  if (autoFinish && m_arrOutputFiles.GetSize() == 1 && !IsError(m_arrOutputFiles[0])) StartAutoFinish();
}

void CPWDecryptPage::StartAutoFinish() {
  CSignSheet* sheet = Sheet();
  BeginWaitCursor();
  m_strAutoFinishFile = m_arrOutputFiles[0];
  m_dwAutoFinishAttributes = GetFileAttributes(m_strAutoFinishFile);
  // The file is opened read-only: what the user sees is what was decrypted.
  if (m_dwAutoFinishAttributes != INVALID_FILE_ATTRIBUTES && !(m_dwAutoFinishAttributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributes(m_strAutoFinishFile, m_dwAutoFinishAttributes | FILE_ATTRIBUTE_READONLY);
  m_nSelectedRow = 0;
  OpenCurrentOutput();
  m_bAutoFinishing = 1;
  sheet->ShowWindow(SW_HIDE);
  EndWaitCursor();
  SetTimer(kAutoFinishTimer, kx::signing::Pauses().autoFinish, nullptr);
}

void CPWDecryptPage::EndAutoFinish() {
  KillTimer(kAutoFinishTimer);
  if (!m_bAutoFinishing) return;
  m_bAutoFinishing = 0;
  if (m_dwAutoFinishAttributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributes(m_strAutoFinishFile, m_dwAutoFinishAttributes);
  if (CSignSheet* sheet = Sheet()) sheet->PressButton(PSBTN_FINISH);
}

void CPWDecryptPage::OnDestroy() {
  // A wizard closed while its decrypted file was shown: the file gets its attributes back all the same.
  if (m_bAutoFinishing && m_dwAutoFinishAttributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributes(m_strAutoFinishFile, m_dwAutoFinishAttributes);
  m_bAutoFinishing = 0;
  CPropertyPage::OnDestroy();
}

bool CPWDecryptPage::IsShowFinishPageEnabled() {
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  return config.ShowFinishPage != 0;
}

void CPWDecryptPage::RunOnPageThread(const std::function<void()>& fn) {
  HWND page = GetSafeHwnd();
  if (page && ::IsWindow(page) && GetWindowThreadProcessId(page, nullptr) != GetCurrentThreadId()) {
    ::SendMessage(page, WM_RUN_ON_PAGE, 0, reinterpret_cast<LPARAM>(&fn));
    return;
  }
  fn();
}

LRESULT CPWDecryptPage::OnRunOnPage(WPARAM, LPARAM lParam) {
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

void CPWDecryptPage::PrepareForRun() {
  RunOnPageThread([this] {
    m_arrResults.RemoveAll();
    m_arrOutputFiles.RemoveAll();
    if (m_ctlResultList.GetSafeHwnd() && m_ctlResultList.GetItemCount() > 0 && m_nSelectedRow >= 0) {
      m_ctlResultList.EnsureVisible(m_nSelectedRow, FALSE);
      m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
  });
}

void CPWDecryptPage::AddFileOutcome(const char* outputOrError, const char* result) {
  CString output(outputOrError ? outputOrError : ""), text(result ? result : "");
  RunOnPageThread([&] {
    m_arrOutputFiles.Add(output);
    m_arrResults.Add(text);
  });
}

void CPWDecryptPage::ReportFileResult(int index, int result, const char* message, int total, BOOL warning) {
  const bool hasMessage = message != nullptr;
  CString text(message ? message : "");
  RunOnPageThread([&] {
    if (hasMessage && GetSafeHwnd()) AfxMessageBox(text, MB_OK);
    if (m_nSelectedRow < 0 || !m_ctlResultList.GetSafeHwnd()) return;
    const int rows = m_ctlResultList.GetItemCount();
    if (rows <= 0 || index < 0 || index >= rows) return;
    if (result == 1) {
      m_ctlResultList.SetRowMark(index, 1, 0, warning);
      m_ctlResultList.SetItemText(index, 2, LoadResString(warning == 1 ? 361 : 359));
    } else {
      m_ctlResultList.SetRowMark(index, 0, 0, 0);
      m_ctlResultList.SetItemText(index, 2, LoadResString(362));
    }
    if (rows > 1 && index != rows - 1) {
      const int step = kProgressRange / rows;
      OffsetProgressPos(step);
      if (m_pStatusProgress && m_pStatusProgress->GetSafeHwnd()) m_pStatusProgress->OffsetPos(step);
      CString progress;
      progress.Format(346, index + 1, total);
      SetLabelText(m_lblProgress, progress);
    }
    // The highlight follows the file just done, failed or not.
    m_nSelectedRow = index + 1;
    if (m_nSelectedRow < rows) {
      m_ctlResultList.EnsureVisible(m_nSelectedRow, FALSE);
      m_ctlResultList.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
    UpdateResultButtons();
  });
}

CString CPWDecryptPage::LogEngineError(HRESULT hr) {
  CString text = GetCapicomErrorMessage(hr).GetAnsi();
  CAuditLog log;
  log.Load();
  log.LogError("Signer Wizard Fatal", text);
  return text;
}

void CPWDecryptPage::OpenCurrentOutput() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  const CString& output = m_arrOutputFiles[m_nSelectedRow];
  if (!IsError(output)) ShellOpen(output);
}

void CPWDecryptPage::UpdateResultButtons() {
  try {
    const int buttons[] = {IDC_RUN_AGAIN, IDC_SAVE_AS, IDC_OPEN, IDC_DETAILS, IDC_MAIL};
    for (int id : buttons)
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
    CSignSheet* sheet = Sheet();
    if (!sheet) return;
    const CProtectWizardData& data = sheet->m_WizardData;
    auto enable = [this](int id, BOOL on) {
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(on);
    };
    const int rows = m_ctlResultList.GetSafeHwnd() ? m_ctlResultList.GetItemCount() : 0;
    if (!m_bBusy && data.m_bOperationDone.load(std::memory_order_acquire) && m_nSelectedRow >= 0 && rows > 0) {
      enable(IDC_RUN_AGAIN, TRUE);
      enable(IDC_DETAILS, TRUE);
      if (m_nSelectedRow < m_arrOutputFiles.GetSize()) {
        const BOOL usable = IsError(m_arrOutputFiles[m_nSelectedRow]) ? FALSE : TRUE;
        enable(IDC_SAVE_AS, usable);
        enable(IDC_OPEN, usable);
        enable(IDC_MAIL, usable);
      } else {
        enable(IDC_DETAILS, FALSE);
      }
    }
    if (data.m_nMode != 4) enable(IDC_OPEN, FALSE);
  } catch (...) {
  }
}

void CPWDecryptPage::SelectResultRow(int row) {
  if (row >= 0) m_nSelectedRow = row;
  UpdateResultButtons();
  // A file that did not succeed has nothing to open or save.
  if (m_nSelectedRow >= 0 && m_nSelectedRow < m_arrResults.GetSize() &&
      m_arrResults[m_nSelectedRow].CompareNoCase("Success") != 0) {
    if (CWnd* w = GetDlgItem(IDC_SAVE_AS)) w->EnableWindow(FALSE);
    if (CWnd* w = GetDlgItem(IDC_OPEN)) w->EnableWindow(FALSE);
  }
}

void CPWDecryptPage::OnResultListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectResultRow(reinterpret_cast<NMLISTVIEW*>(pNMHDR)->iItem);
  if (pResult) *pResult = 0;
}

void CPWDecryptPage::OnResultListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectResultRow(reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem);
  OnDetails();
  if (pResult) *pResult = 0;
}

void CPWDecryptPage::OnRunAgain() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return;
  if (AfxMessageBox(LoadResString(239) + " " + LoadResString(328), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  CProtectWizardData& data = sheet->m_WizardData;
  if (data.m_arrInputFiles.GetSize() == 0) return;
  // The previous worker may still be in its pause: it has to be gone before the lists are used again.
  sheet->WaitForWorker();
  sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
  m_bBusy = 0;
  data.m_bOperationDone.store(0);
  m_nSelectedRow = 0;
  SetLabelText(m_lblProgress, " ");
  SetLabelText(m_lblPercent, " ");
  RedrawWindow();
  FillResultList();
  StartOperation();
}

void CPWDecryptPage::OnOpenResult() { OpenCurrentOutput(); }

void CPWDecryptPage::OnSaveResultAs() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  const CString output = m_arrOutputFiles[m_nSelectedRow];
  if (IsError(output)) return;
  CPathParts parts(output);
  CString extension = parts.GetExtension();
  CString defaultExtension = CString("*") + extension;
  CFileDialog dialog(FALSE, defaultExtension, parts.GetFileName() + extension, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     "*.*", this);
  if (dialog.DoModal() != IDOK) return;
  const CString target = dialog.GetPathName();
  if (CopyFile(output, target, FALSE)) {
    AfxMessageBox(LoadResString(329), MB_OK | MB_ICONINFORMATION);
  } else if (target.CompareNoCase(output) == 0) {
    AfxMessageBox(LoadResString(330), MB_OK | MB_ICONINFORMATION);
  }
}

void CPWDecryptPage::OnDetails() {
  CSignSheet* sheet = Sheet();
  if (!sheet || m_nSelectedRow < 0) return;
  const CProtectWizardData& data = sheet->m_WizardData;
  CString path;
  if (data.m_nMode == 4) {
    if (m_nSelectedRow < data.m_arrInputFiles.GetSize()) path = data.m_arrInputFiles[m_nSelectedRow];
  } else if (m_nSelectedRow < m_arrOutputFiles.GetSize() && !IsError(m_arrOutputFiles[m_nSelectedRow])) {
    path = m_arrOutputFiles[m_nSelectedRow];
  }
  if (path.IsEmpty()) return;
  CSummarySheet summary("Tolvex(.tvx) Details", this, 0);
  summary.m_strFilePath = path;
  if (m_nSelectedRow < m_arrResults.GetSize() && m_arrResults[m_nSelectedRow].CompareNoCase("Success") != 0)
    summary.m_strStatusText = m_arrResults[m_nSelectedRow];
  if (summary.GetPageCount() > 0) summary.DoModal();
}

void CPWDecryptPage::OnMailResult() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputFiles.GetSize()) return;
  if (AfxMessageBox(LoadResString(372), MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  CStringArray one;
  one.Add(m_arrOutputFiles[m_nSelectedRow]);
  CMapiMailer mailer;
  mailer.SendFiles(one);
}

// ---- progress ----

void CPWDecryptPage::PumpWaitingMessages() {
  // Only what other threads send: a worker waiting for this page goes on, and no input is handled in the
  // middle of a progress step.
  MSG msg;
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void CPWDecryptPage::SetProgressRange(int low, int high) {
  m_nRangeLow = low;
  m_nRangeHigh = high;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetRange32(low, high);
}

void CPWDecryptPage::SetProgressStep(int step) {
  m_nStep = step;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetStep(step);
}

void CPWDecryptPage::SetProgressPos(int pos) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.SetPos(pos);
  UpdatePercentText(m_ctlProgress.GetPos());
}

void CPWDecryptPage::OffsetProgressPos(int delta) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.OffsetPos(delta);
  UpdatePercentText(m_ctlProgress.GetPos());
}

void CPWDecryptPage::StepProgress() {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.StepIt();
  UpdatePercentText(m_ctlProgress.GetPos());
}

void CPWDecryptPage::UpdatePercentText(int pos) {
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

// ---- trust texts ----

bool GetTrustErrorText(HRESULT hr, CString& text) {
  text.Empty();
  const auto code = static_cast<uint32_t>(hr);
  UINT id = 0;
  if (code == 0x800B0001u) id = 5000;
  else if (code >= 0x800B0002u && code <= 0x800B000Bu) id = 386 + (code - 0x800B0002u);
  else if (code == 0x800B0100u) id = 396;
  else if (code >= 0x800B0101u && code <= 0x800B0114u) id = 397 + (code - 0x800B0101u);
  if (!id) return false;
  text = LoadResString(id);
  return true;
}
