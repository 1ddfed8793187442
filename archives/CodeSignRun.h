// The results page of the code-signing wizard and its two workers. The page lists the chosen files, starts one
// worker that signs (and time-stamps) copies of them in the output folder or verifies them in place, shows
// each file's result and the progress, and afterwards lets the user open, save, inspect or mail a result, or
// run the whole operation again.
//
// The worker contract: every input file is reported exactly once (ReportFileResult, after its last step) and
// gets exactly one entry in each result list (AddFileOutcome), in input order. These calls come from the
// worker's thread and are carried out on the page's thread, so no window or list is touched from two threads.
#pragma once

#include "archives/ArchiveResultsPage.h"
#include "core/OutputFile.h"

class CCodeSignWizard;

class CCodeFinalPage : public CArchiveResultsPage {
  DECLARE_DYNCREATE(CCodeFinalPage)
 public:
  enum { IDD = 30021 };
  CCodeFinalPage();
  ~CCodeFinalPage() override;

  BOOL OnKillActive() override;
  BOOL OnQueryCancel() override;

  // The engine's text for a code that ended a run or a file, written to the audit log; returned for the
  // file's status entry.
  CString ReportFatalError(HRESULT hr);

 protected:
  CCodeSignWizard* Sheet();

  CPropertySheet* WizardSheet() override;
  CProtectWizardData* WizardData() override;
  // Verifying (mode 4) or signing.
  WorkerProc WorkerFor(int mode) override;
  void StartWorker(WorkerProc proc) override;
  // Locks the buttons first.
  void WaitForWorker() override;
  // The input's name without its extension.
  CString PlannedOutputName(const CPathParts& input, int mode) override;
  void RunTexts(int mode, CString& runAgain, CString& title, CString& status) override;
  PendingRow PlanRow(const CString& path) override;
  // Says why and ends the run, so that the wizard can be left.
  void EngineUnavailable(HRESULT hr) override;
  void RunAgainCleared() override;
  bool ShowsFailedInputDetails() override { return true; }

  // Nothing starts again, and no details open, while the worker uses the page.
  afx_msg void OnRunAgainWhenIdle();
  // A program is no protected file: its details are its signature (signer, time stamp, digest check); a file
  // that failed shows its failure.
  afx_msg void OnProgramDetails();
  afx_msg void OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  // Only a row that becomes selected is the current one.
  afx_msg void OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

// The workers, started with the sheet as their argument; 1 when the argument is not a code-signing wizard.
UINT CodeSignThreadProc(LPVOID sheet);
UINT CodeVerifyThreadProc(LPVOID sheet);

namespace kx::codesign {

// The pause of a worker after its last file, before it leaves (tests shorten it).
DWORD& PauseAfterRun();
// The text for an engine result code: the trust text when the code is a trust or certificate code, else the
// engine's own text.
CString EngineText(HRESULT hr);
// Copies the file to a temporary file beside the first free name of name.ext, name(1).ext, name(2).ext ... in
// the folder (see COutputFile); the copy never replaces a file. False (with the platform's error) when no copy
// could be made.
bool CopyToFreeName(const CString& input, const CString& folder, COutputFile& output);

}  // namespace kx::codesign
