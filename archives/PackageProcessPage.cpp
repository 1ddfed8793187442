// The package wizard's processing page: the inputs protected on the sheet's worker, then the package built.
#include <sys/stat.h>
#include <unistd.h>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "app/MapiMailer.h"
#include "archives/PackageSheet.h"
#include "archives/ZipComponent.h"
#include "core/Paths.h"
#include "engine/CapicomErrors.h"
#include "platform/win32/files.h"
#include "platform/win32/modules.h"

namespace {

enum { IDC_OPEN = 1082 };

bool IsError(const CString& entry) { return entry.CompareNoCase("Error") == 0; }

bool Exists(const CString& path) {
  struct stat st {};
  return !path.IsEmpty() && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

IMPLEMENT_DYNCREATE(PkgProcessPage, CArchiveResultsPage)

PkgProcessPage::PkgProcessPage() : CArchiveResultsPage(IDD) {}

CPackageSheet* PkgProcessPage::Sheet() { return dynamic_cast<CPackageSheet*>(GetParentSheet()); }

CPropertySheet* PkgProcessPage::WizardSheet() { return Sheet(); }

CProtectWizardData* PkgProcessPage::WizardData() {
  CPackageSheet* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

BOOL PkgProcessPage::OnInitDialog() {
  CArchiveResultsPage::OnInitDialog();
  // Nothing here opens a protected file with the desktop.
  if (CWnd* open = GetDlgItem(IDC_OPEN)) open->ShowWindow(SW_HIDE);
  return TRUE;
}

void PkgProcessPage::RunTexts(int mode, CString& runAgain, CString& title, CString& status) {
  UINT texts[3] = {341, 342, 343};
  if (mode == 0) texts[0] = 335, texts[1] = 336, texts[2] = 337;
  if (mode == 2) texts[0] = 338, texts[1] = 339, texts[2] = 340;
  // Files packed as they are are only packed.
  if (mode < 0) texts[1] = texts[2] = 456;
  runAgain = mode < 0 ? CString("&Run Again") : LoadResString(texts[0]);
  title = LoadResString(texts[1]);
  status = LoadResString(texts[2]);
}

CString PkgProcessPage::PlannedOutputName(const CPathParts& input, int mode) {
  return input.GetFileName() + (mode < 0 ? input.GetExtension() : CString(".tvx"));
}

CResultsPageBase::PendingRow PkgProcessPage::PlanRow(const CString& path) {
  // Any file whose status can be read shows its date; an empty one fails all the same.
  const InputFile file = LookAtInput(path);
  PendingRow row;
  row.usable = file.readable && !file.empty;
  row.date = file.date;
  row.image = row.state = row.usable ? 1 : 0;
  row.current = row.usable ? 1 : 0;
  return row;
}

BOOL PkgProcessPage::OnQueryCancel() {
  CPackageSheet* sheet = Sheet();
  return m_bBusy || (sheet && sheet->IsWorkerRunning()) ? FALSE : TRUE;
}

LRESULT PkgProcessPage::OnWizardBack() {
  if (CPackageSheet* sheet = Sheet()) {
    if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(TRUE);
    sheet->SetActivePage(CPackageSheet::kInfoPage);
    return -1;
  }
  return CArchiveResultsPage::OnWizardBack();
}

LRESULT PkgProcessPage::OnWizardNext() {
  BuildPackage();
  if (CPackageSheet* sheet = Sheet()) {
    sheet->SetActivePage(CPackageSheet::kFinishPage);
    return -1;
  }
  return CArchiveResultsPage::OnWizardNext();
}

BOOL PkgProcessPage::OnWizardFinish() {
  // Without the finish page the package is built here: Finish must not end the wizard with nothing built.
  BuildPackage();
  return CArchiveResultsPage::OnWizardFinish();
}

// ---- the run ----

CResultsPageBase::WorkerProc PkgProcessPage::WorkerFor(int mode) {
  if (mode >= 0 && mode <= 2) return PackagePresetThreadProc;
  if (mode == 3) return PackageCountersignThreadProc;
  return nullptr;
}

void PkgProcessPage::StartWorker(WorkerProc proc) {
  // Without a thread every file fails.
  if (!Sheet()->StartWorker(proc)) EndRunWithoutWorker(false);
}

void PkgProcessPage::WaitForWorker() { Sheet()->EndWorker(); }

void PkgProcessPage::BeforeRun() {
  m_bPackaged = 0;
  // Every run starts on the first row and at the bar's beginning.
  m_nSelectedRow = 0;
  if (m_ctlProgress.GetSafeHwnd()) m_ctlProgress.SetPos(0);
}

void PkgProcessPage::EngineUnavailable(HRESULT hr) {
  // Without the engine nothing can be protected: the files fail, each with the engine's word for it.
  CProtectWizardData& data = *WizardData();
  const CString text = GetCapicomErrorMessage(hr).GetAnsi();
  const int inputs = static_cast<int>(data.m_arrInputFiles.GetSize());
  PrepareForRun();
  for (int i = 0; i < inputs; ++i) {
    ReportFileResult(i, 0, nullptr, inputs);
    AddFileOutcome("Error", text);
  }
  data.m_bOperationDone.store(1);
  UpdateResultButtons();
}

void PkgProcessPage::EndRunWithoutWorker(bool asTheyAre) {
  CProtectWizardData& data = *WizardData();
  const int inputs = static_cast<int>(data.m_arrInputFiles.GetSize());
  PrepareForRun();
  for (int i = 0; i < inputs; ++i) {
    const CString input = data.m_arrInputFiles[i];
    const InputFile file = LookAtInput(input);
    const bool usable = asTheyAre && file.readable && !file.empty;
    ReportFileResult(i, usable ? 1 : 0, nullptr, inputs);
    AddFileOutcome(usable ? static_cast<LPCSTR>(input) : "Error", usable ? "Success" : "Failed");
  }
  data.m_bOperationDone.store(1);
}

void PkgProcessPage::ShowEndedRun() {
  // Back on the page after its run: the count and each row's mark of the ended run, then its end.
  const int inputs = static_cast<int>(WizardData()->m_arrInputFiles.GetSize());
  CString count;
  count.Format(LoadResString(346), inputs, inputs);
  kx::archives::SetLabelText(m_lblProgress, count);
  const CUIntArray& states = m_ctlResultList.GetItemStates();
  for (int i = 0; i < states.GetSize() && i < m_ctlResultList.GetItemCount(); ++i)
    m_ctlResultList.SetRowMark(i, states[i] == 1, 0, 0);
  m_ctlResultList.Invalidate();
  OnRunEnded();
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
  for (int i = 0; i < m_arrOutputFiles.GetSize(); ++i) {
    if (IsError(m_arrOutputFiles[i])) continue;
    if (builder.m_Archive.AddFile(m_arrOutputFiles[i])) ++packed;
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
