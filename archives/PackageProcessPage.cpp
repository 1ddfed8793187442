// The package wizard's processing page: the inputs protected on the sheet's worker, then the package built.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "archives/MapiMailer.h"
#include "archives/PackageSheet.h"
#include "archives/ZipComponent.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Paths.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/win32/files.h"
#include "platform/win32/modules.h"
#include "signing/SummarySheet.h"

using kx::archives::PercentText;
using kx::archives::SetLabelText;

namespace {

enum {
  IDC_RUN_AGAIN = 1085,
  IDC_OPEN = 1082,
  IDC_SAVE_COPY = 1083,
  IDC_DETAILS = 1080,
  IDC_MAIL = 1090,
  IDC_LIST = 1033,
  IDC_OPERATION = 1098,
  IDC_COUNT = 1088,
  IDC_PERCENT = 1089,
  IDC_PROGRESS = 1087,
  IDC_FILES = 1081,
};

constexpr UINT_PTR kRunTimer = 1;

bool IsError(const CString& entry) { return entry.CompareNoCase("Error") == 0; }

bool Exists(const CString& path) {
  struct stat st {};
  return !path.IsEmpty() && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// The file's modification date as "%d %B, %Y"; its status can be read and it is not empty: true.
bool DateOf(const CString& path, CString& date) {
  struct stat st {};
  const bool readable = !path.IsEmpty() && ::stat(path, &st) == 0;
  if (readable) {
    struct tm local {};
    const time_t when = st.st_mtime;
    localtime_r(&when, &local);
    char text[64] = {};
    strftime(text, sizeof text, "%d %B, %Y", &local);
    date = text;
  }
  return readable && st.st_size != 0;
}

CString CountText(int done, int total) {
  CString text;
  text.Format(LoadResString(346), done, total);
  return text;
}

}  // namespace

IMPLEMENT_DYNCREATE(PkgProcessPage, CWorkerPage)

BEGIN_MESSAGE_MAP(PkgProcessPage, CWorkerPage)
  ON_WM_TIMER()
  ON_BN_CLICKED(IDC_DETAILS, OnDetails)
  ON_BN_CLICKED(IDC_SAVE_COPY, OnSaveCopy)
  ON_BN_CLICKED(IDC_MAIL, OnMail)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgain)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnListItemChanged)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnListDblClk)
END_MESSAGE_MAP()

PkgProcessPage::PkgProcessPage() : CWorkerPage(IDD, 0, 164, 165) {}

CPackageSheet* PkgProcessPage::Sheet() { return dynamic_cast<CPackageSheet*>(GetParentSheet()); }

void PkgProcessPage::DoDataExchange(CDataExchange* pDX) {
  CWorkerPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_OPERATION, m_lblOperation);
  DDX_Control(pDX, IDC_COUNT, m_lblCount);
  DDX_Control(pDX, IDC_PERCENT, m_lblPercent);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_FILES, m_lblFiles);
  DDX_Control(pDX, IDC_LIST, m_lstResults);
}

BOOL PkgProcessPage::OnInitDialog() {
  CWorkerPage::OnInitDialog();
  m_lstResults.SetFullRowDraw(TRUE);
  // Nothing here opens a protected file with the desktop.
  if (CWnd* open = GetDlgItem(IDC_OPEN)) open->ShowWindow(SW_HIDE);
  SetupList();
  return TRUE;
}

BOOL PkgProcessPage::OnSetActive() {
  CPackageSheet* sheet = Sheet();
  if (sheet) {
    if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
    CProtectWizardData& data = sheet->m_WizardData;
    if (data.m_arrInputFiles.GetSize() > 0) {
      UINT texts[3] = {341, 342, 343};
      if (data.m_nMode == 0) texts[0] = 335, texts[1] = 336, texts[2] = 337;
      if (data.m_nMode == 2) texts[0] = 338, texts[1] = 339, texts[2] = 340;
      // Files packed as they are are only packed.
      if (data.m_nMode < 0) texts[1] = texts[2] = 456;
      SetDlgItemText(IDC_RUN_AGAIN, data.m_nMode < 0 ? CString("&Run Again") : LoadResString(texts[0]));
      m_strHeaderTitle = LoadResString(texts[1]);
      sheet->SendMessage(PSM_SETHEADERTITLE, static_cast<WPARAM>(sheet->GetPageIndex(this)),
                         reinterpret_cast<LPARAM>(static_cast<const char*>(m_strHeaderTitle)));
      SetLabelText(m_lblOperation, LoadResString(texts[2]));
      sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
      if (!m_bRunning && !data.m_bOperationDone.load()) {
        SetupList();
        Start();
      } else if (!m_bRunning) {
        Start();
        OnRunEnded();
      }
    }
  }
  return CWorkerPage::OnSetActive();
}

BOOL PkgProcessPage::OnQueryCancel() {
  CPackageSheet* sheet = Sheet();
  return m_bRunning || (sheet && sheet->IsWorkerRunning()) ? FALSE : TRUE;
}

LRESULT PkgProcessPage::OnWizardBack() {
  if (CPackageSheet* sheet = Sheet()) {
    if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(TRUE);
    sheet->SetActivePage(CPackageSheet::kInfoPage);
    return -1;
  }
  return CWorkerPage::OnWizardBack();
}

LRESULT PkgProcessPage::OnWizardNext() {
  BuildPackage();
  if (CPackageSheet* sheet = Sheet()) {
    sheet->SetActivePage(CPackageSheet::kFinishPage);
    return -1;
  }
  return CWorkerPage::OnWizardNext();
}

BOOL PkgProcessPage::OnWizardFinish() {
  // Without the finish page the package is built here: Finish must not end the wizard with nothing built.
  BuildPackage();
  if (CWnd* main = AfxGetMainWnd(); main && main->GetSafeHwnd()) main->PostMessage(WM_USER + 1000, 101, 0);
  return CWorkerPage::OnWizardFinish();
}

// ---- list ----

void PkgProcessPage::SetupList() {
  CPackageSheet* sheet = Sheet();
  if (!sheet || !m_lstResults.GetSafeHwnd()) return;
  const CProtectWizardData& data = sheet->m_WizardData;
  m_lstResults.DeleteAllItems();
  if (data.m_arrInputFiles.GetSize() > 0) m_arrInputs.Copy(data.m_arrInputFiles);
  CStringList paths, outputs, statuses, dates;
  CUIntArray states, images;
  for (int i = 0; i < m_arrInputs.GetSize(); ++i) {
    const CString& path = m_arrInputs[i];
    CString date;
    const bool readable = DateOf(path, date);
    paths.AddTail(path);
    const CPathParts parts(path);
    outputs.AddTail(parts.GetFileName() + (data.m_nMode < 0 ? parts.GetExtension() : CString(".tvx")));
    statuses.AddTail(readable ? "Pending" : "Failed");
    dates.AddTail(date);
    states.Add(readable ? 1 : 0);
    images.Add(readable ? 1 : 0);
  }
  CStringList headings;
  for (UINT id : {272u, 344u, 345u, 274u}) headings.AddTail(LoadResString(id));
  m_lstResults.SetHeadings(headings);
  m_lstResults.SetColumnData(0, paths);
  m_lstResults.SetColumnData(1, outputs);
  m_lstResults.SetColumnData(2, statuses);
  m_lstResults.SetColumnData(3, dates);
  m_lstResults.SetItemStates(states);
  m_lstResults.SetItemImages(images);
  m_lstResults.Populate();
  const int widths[4] = {110, 150, 100, 100};
  for (int c = 0; c < 4; ++c) m_lstResults.SetColumnWidth(c, widths[c]);
  for (int i = 0; i < states.GetSize(); ++i) m_lstResults.SetRowMark(i, states[i] == 1, 0, 0);
  SetLabelText(m_lblCount, CountText(0, static_cast<int>(m_arrInputs.GetSize())));
  m_lstResults.SetFocus();
}

// ---- the run ----

void PkgProcessPage::Start() {
  CPackageSheet* sheet = Sheet();
  if (!sheet) return;
  CProtectWizardData& data = sheet->m_WizardData;
  const int inputs = static_cast<int>(m_arrInputs.GetSize());
  if (data.m_bOperationDone.load()) {
    SetLabelText(m_lblCount, CountText(inputs, inputs));
    const CUIntArray& states = m_lstResults.GetItemStates();
    for (int i = 0; i < states.GetSize() && i < m_lstResults.GetItemCount(); ++i)
      m_lstResults.SetRowMark(i, states[i] == 1, 0, 0);
    m_lstResults.Invalidate();
    return;
  }
  m_bRunning = 1;
  m_bPackaged = 0;
  m_nLow = 0;
  m_nHigh = kRange;
  m_nStep = 1;
  m_ctlProgress.SetRange32(0, kRange);
  m_ctlProgress.SetStep(1);
  m_ctlProgress.SetPos(0);
  PumpWaitingMessages();
  SetTimer(kRunTimer, 250, nullptr);
  if (!data.m_pEngineObjects && data.m_nMode >= 0) {
    try {
      data.m_pEngineObjects = new CCapicomObjectSet;
    } catch (const _com_error& e) {
      // Without the engine nothing can be protected: the files fail, each with the engine's word for it.
      const CString text = GetCapicomErrorMessage(e.Error()).GetAnsi();
      PrepareForRun();
      for (int i = 0; i < inputs; ++i) {
        ReportFileResult(i, 0, nullptr, inputs);
        AddFileOutcome("Error", text);
      }
      data.m_bOperationDone.store(1);
      UpdateButtons();
      return;
    }
  }
  data.m_bOperationDone.store(0);
  AFX_THREADPROC worker = nullptr;
  if (data.m_nMode >= 0 && data.m_nMode <= 2) worker = PackagePresetThreadProc;
  else if (data.m_nMode == 3) worker = PackageCountersignThreadProc;
  if (!worker || !sheet->StartWorker(worker)) {
    // Nothing to protect, the files themselves go into the package; without a thread every file fails.
    PrepareForRun();
    for (int i = 0; i < inputs; ++i) {
      CString date;
      const bool usable = !worker && DateOf(m_arrInputs[i], date);
      ReportFileResult(i, usable ? 1 : 0, nullptr, inputs);
      AddFileOutcome(usable ? static_cast<LPCSTR>(m_arrInputs[i]) : "Error", usable ? "Success" : "Failed");
    }
    data.m_bOperationDone.store(1);
  }
  UpdateButtons();
}

void PkgProcessPage::OnTimer(UINT_PTR nIDEvent) {
  CPackageSheet* sheet = Sheet();
  if (nIDEvent == kRunTimer && sheet) {
    if (sheet->m_WizardData.m_bOperationDone.load(std::memory_order_acquire)) {
      OnRunEnded();
    } else if (m_arrInputs.GetSize() < 10) {
      StepProgress();
      PumpWaitingMessages();
    }
  }
  Default();
}

void PkgProcessPage::OnRunEnded() {
  CPackageSheet* sheet = Sheet();
  if (!sheet) return;
  m_bRunning = 0;
  SetProgressPos(kRange);
  PumpWaitingMessages();
  // The highlight stays on the last file rather than past the list.
  const int rows = m_lstResults.GetSafeHwnd() ? m_lstResults.GetItemCount() : 0;
  if (rows > 0 && m_nSelectedRow >= rows) {
    m_nSelectedRow = rows - 1;
    m_lstResults.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
  }
  UpdateButtons();
  const int inputs = static_cast<int>(m_arrInputs.GetSize());
  SetLabelText(m_lblCount, CountText(inputs, inputs));
  m_nFilesDone = inputs;
  KillTimer(kRunTimer);
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  sheet->SetWizardButtons(config.ShowFinishPage ? PSWIZB_NEXT : PSWIZB_FINISH);
  SetLabelText(m_lblOperation, LoadResString(360));
}

void PkgProcessPage::PrepareForRun() {
  RunOnPageThread([this] {
    m_arrOutputs.RemoveAll();
    m_arrStatuses.RemoveAll();
    m_nSelectedRow = 0;
    if (m_lstResults.GetSafeHwnd() && m_lstResults.GetItemCount() > 0) {
      m_lstResults.EnsureVisible(0, FALSE);
      m_lstResults.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    }
  });
}

void PkgProcessPage::AddFileOutcome(const char* outputOrError, const char* status) {
  const CString output(outputOrError ? outputOrError : "Error"), text(status ? status : "");
  RunOnPageThread([&] {
    m_arrOutputs.Add(output);
    m_arrStatuses.Add(text);
  });
}

void PkgProcessPage::ReportFileResult(int index, int result, const char* message, int total) {
  const bool hasMessage = message != nullptr;
  const CString text(message ? message : "");
  RunOnPageThread([&] {
    if (hasMessage && GetSafeHwnd()) AfxMessageBox(text, MB_OK);
    if (!m_lstResults.GetSafeHwnd()) return;
    const int rows = m_lstResults.GetItemCount();
    // The row of this input, whatever became of the ones before it.
    if (index < 0 || index >= rows) return;
    if (result == 1) {
      m_lstResults.SetRowMark(index, 1, 0, 0);
      m_lstResults.SetItemText(index, 2, LoadResString(557));
    } else {
      m_lstResults.SetRowMark(index, 0, 0, 0);
      m_lstResults.SetItemText(index, 2, LoadResString(362));
    }
    if (rows > 1 && index != rows - 1) {
      OffsetProgressPos(kRange / rows);
      SetLabelText(m_lblCount, CountText(index + 1, total));
      m_nFilesDone = index + 1;
    }
    m_nSelectedRow = index + 1;
    if (m_nSelectedRow < rows) {
      m_lstResults.EnsureVisible(m_nSelectedRow, FALSE);
      m_lstResults.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    }
    UpdateButtons();
  });
}

// ---- buttons ----

void PkgProcessPage::UpdateButtons() {
  try {
    for (int id : {IDC_RUN_AGAIN, IDC_SAVE_COPY, IDC_OPEN, IDC_DETAILS, IDC_MAIL})
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
    CPackageSheet* sheet = Sheet();
    if (!sheet || m_bRunning || !sheet->m_WizardData.m_bOperationDone.load() || m_nSelectedRow < 0) return;
    auto enable = [this](int id, BOOL on) {
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(on);
    };
    if (m_lstResults.GetSafeHwnd() && m_lstResults.GetItemCount() > 0) {
      enable(IDC_RUN_AGAIN, TRUE);
      enable(IDC_DETAILS, TRUE);
    }
    if (m_nSelectedRow >= m_arrOutputs.GetSize()) {
      for (int id : {IDC_SAVE_COPY, IDC_OPEN, IDC_DETAILS, IDC_MAIL}) enable(id, FALSE);
    } else {
      const BOOL usable = IsError(m_arrOutputs[m_nSelectedRow]) ? FALSE : TRUE;
      enable(IDC_SAVE_COPY, usable);
      enable(IDC_MAIL, usable);
    }
    enable(IDC_OPEN, FALSE);
  } catch (...) {
  }
}

void PkgProcessPage::LimitToSuccess() {
  if (m_nSelectedRow >= 0 && m_nSelectedRow < m_arrStatuses.GetSize() &&
      m_arrStatuses[m_nSelectedRow].CompareNoCase("Success") != 0) {
    if (CWnd* w = GetDlgItem(IDC_SAVE_COPY)) w->EnableWindow(FALSE);
    if (CWnd* w = GetDlgItem(IDC_OPEN)) w->EnableWindow(FALSE);
  }
}

void PkgProcessPage::OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (item->iItem >= 0) m_nSelectedRow = item->iItem;
  UpdateButtons();
  LimitToSuccess();
  if (pResult) *pResult = 0;
}

void PkgProcessPage::OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
  if (item->iItem >= 0) m_nSelectedRow = item->iItem;
  UpdateButtons();
  LimitToSuccess();
  OnDetails();
  if (pResult) *pResult = 0;
}

void PkgProcessPage::OnDetails() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputs.GetSize()) return;
  const CString output = m_arrOutputs[m_nSelectedRow];
  if (output.IsEmpty() || IsError(output)) return;
  CSummarySheet summary(LoadResString(556), this, 0);
  kx::archives::AnchorAtControl(*this, IDC_DETAILS, summary.m_rcOrigin, summary.m_bOwnAnimation);
  summary.m_strFilePath = output;
  if (m_nSelectedRow < m_arrStatuses.GetSize() && m_arrStatuses[m_nSelectedRow] != "Success")
    summary.m_strStatusText = m_arrStatuses[m_nSelectedRow];
  if (summary.GetPageCount() > 0) summary.DoModal();
}

void PkgProcessPage::OnSaveCopy() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputs.GetSize()) return;
  const CString output = m_arrOutputs[m_nSelectedRow];
  if (IsError(output)) return;
  CPathParts parts(output);
  const CString extension = parts.GetExtension();
  CFileDialog dialog(FALSE, CString("*") + extension, parts.GetFileName() + extension,
                     OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "*.*", this);
  if (dialog.DoModal() != IDOK) return;
  const CString target = dialog.GetPathName();
  // A file copied onto itself would be emptied: that is refused as a failed copy.
  if (kx::archives::SameFile(target, output)) {
    AfxMessageBox(LoadResString(330), MB_OK);
  } else if (CopyFile(output, target, FALSE)) {
    AfxMessageBox(LoadResString(329), MB_OK | MB_ICONINFORMATION);
  }
}

void PkgProcessPage::OnMail() {
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_arrOutputs.GetSize() || IsError(m_arrOutputs[m_nSelectedRow])) return;
  if (AfxMessageBox(LoadResString(372), MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  CStringArray one;
  one.Add(m_arrOutputs[m_nSelectedRow]);
  CMapiMailer mailer;
  mailer.SendFiles(one);
}

void PkgProcessPage::OnRunAgain() {
  CPackageSheet* sheet = Sheet();
  if (!sheet) return;
  if (AfxMessageBox(LoadResString(555) + "\n" + LoadResString(328), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  CProtectWizardData& data = sheet->m_WizardData;
  if (data.m_arrInputFiles.GetSize() == 0) return;
  // The previous worker may still be in its pause: it has to be gone before the lists are used again.
  sheet->WaitForWorker();
  sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
  m_bRunning = 0;
  data.m_bOperationDone.store(0);
  m_nFilesDone = 0;
  SetLabelText(m_lblCount, " ");
  SetLabelText(m_lblPercent, " ");
  RedrawWindow();
  SetupList();
  Start();
}

// ---- progress ----

void PkgProcessPage::PumpWaitingMessages() {
  // Only what other threads send: a worker waiting for this page goes on, and no input is handled in the
  // middle of a progress step.
  MSG msg;
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void PkgProcessPage::SetProgressPos(int position) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.SetPos(position);
  UpdatePercentLabel(m_ctlProgress.GetPos());
}

void PkgProcessPage::OffsetProgressPos(int delta) {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.OffsetPos(delta);
  UpdatePercentLabel(m_ctlProgress.GetPos());
}

void PkgProcessPage::StepProgress() {
  PumpWaitingMessages();
  if (!m_ctlProgress.GetSafeHwnd()) return;
  m_ctlProgress.StepIt();
  UpdatePercentLabel(m_ctlProgress.GetPos());
}

void PkgProcessPage::UpdatePercentLabel(int position) {
  const CString text = PercentText(position, m_nLow, m_nHigh);
  if (!m_lblPercent.GetSafeHwnd()) return;
  CString shown;
  m_lblPercent.GetWindowText(shown);
  if (shown != text) SetLabelText(m_lblPercent, text);
}

// ---- the package ----

void PkgProcessPage::BuildPackage() {
  CPackageSheet* sheet = Sheet();
  if (!sheet || m_bPackaged) return;
  m_bPackaged = 1;
  const CProtectWizardData& data = sheet->m_WizardData;
  CPackageBuilderDlg builder(this);
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  const CString folder = app ? app->m_strModuleFolder : CString();
  builder.AddEngineLibrary(kx::ModuleFileForName(std::string(folder + "CAPICOM.DLL")).c_str());
  int packed = 0;
  for (int i = 0; i < m_arrOutputs.GetSize(); ++i) {
    if (IsError(m_arrOutputs[i])) continue;
    if (builder.m_Archive.AddFile(m_arrOutputs[i])) ++packed;
  }
  if (packed == 0) return;
  const CString package = data.m_strPackageName;
  builder.m_strOutputPath = package;
  builder.DoModal();
  if (builder.m_nLastResult != CSfxArchive::kDone || !Exists(package)) return;

  kx::archives::WaitCursor wait(this);
  CString result = package, mailCopy;
  const bool makeZip = data.m_bPackageOption != 0, mail = data.m_bMailResults != 0;
  if (makeZip || mail) {
    // Zipped for the mail only, the package the user asked for stays as it is and the zip is a passing copy.
    CString zip = package + ".Zip";
    if (!makeZip) {
      char temp[MAX_PATH] = {};
      GetTempPath(sizeof temp, temp);
      CString tempFolder(temp);
      if (!tempFolder.IsEmpty() && tempFolder.Right(1) != "/") tempFolder += "/";
      zip = tempFolder + CPathParts(package).GetFileName() + CPathParts(package).GetExtension() + ".Zip";
    }
    ::unlink(zip);
    bool zipped = false;
    {
      CZipComponent component;
      zipped = component.Create(zip) && component.AddPath(package, 9) == 0;
    }
    if (zipped) {
      result = zip;
      if (makeZip) ::unlink(package);
      else mailCopy = zip;
    } else {
      ::unlink(zip);
    }
  }
  if (mail) {
    CStringArray attachment;
    attachment.Add(result);
    CMapiMailer mailer;
    mailer.SendFiles(attachment);
  }
  if (!mailCopy.IsEmpty()) ::unlink(mailCopy);
}
