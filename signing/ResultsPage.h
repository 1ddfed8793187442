// What the pages that run a protect operation share: they list the input files, start the operation's worker
// thread, poll its done flag and offer each file's result (open, save a copy, details, mail) once the run has
// ended. A page of a wizard derives from it and says, through the hooks below, which sheet and operation data
// it works on, which worker runs and what its texts are.
//
// The worker contract: the worker reports every file exactly once through ReportFileResult and adds exactly
// one entry to each of the two result lists for it (AddFileOutcome). These calls may come from the worker's
// thread; they are carried out on the page's own thread, so no window or list is touched from two threads.
#pragma once

#include "app/WizardWorker.h"
#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/propsheet.h"

class CPathParts;
class CProtectWizardData;
class CStatusProgressCtrl;

class CResultsPageBase : public CWorkerPage {
  DECLARE_DYNAMIC(CResultsPageBase)
 public:
  // The progress bar runs over this range.
  static constexpr int kProgressRange = 50000;
  using WorkerProc = UINT (*)(LPVOID);

  CResultsPageBase(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle);
  ~CResultsPageBase() override;

  CColorLabel m_lblStatus;
  CColorLabel m_lblProgress;
  CColorLabel m_lblPercent;
  CProgressCtrl m_ctlProgress;
  CColorLabel m_lblResult;
  CReportListCtrl m_ctlResultList;
  // Per processed file: the output path, or "Error".
  CStringArray m_arrOutputFiles;
  // Per processed file: "Success", or the failure text.
  CStringArray m_arrResults;
  int m_nRangeLow = 0;
  int m_nRangeHigh = kProgressRange;
  int m_nStep = 1;
  // A second bar that follows the page's own, when a host gives one.
  CStatusProgressCtrl* m_pStatusProgress = nullptr;
  int m_nSelectedRow = 0;
  BYTE m_bBusy = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnWizardFinish() override;

  void FillResultList();
  // Starts the worker of the operation; FALSE only without a parent sheet.
  BOOL StartOperation();
  void UpdateResultButtons();

  void SetProgressRange(int low, int high);
  void SetProgressStep(int step);
  void SetProgressPos(int pos);
  void OffsetProgressPos(int delta);
  void StepProgress();
  void UpdatePercentText(int pos);

  // ---- called by the workers, from any thread ----
  // result 1: the file succeeded (with a warning when warning is 1). A message, when given, is shown in a
  // message box before the row changes.
  void ReportFileResult(int index, int result, const char* message, int total, BOOL warning = FALSE);
  // The engine's text for the code, written to the audit log as "Signer Wizard Fatal"; the text is returned
  // for the file's result entry.
  CString LogEngineError(HRESULT hr);
  // The text written to the audit log as an error of the source; returned for the file's result entry.
  static CString LogFatalError(const char* source, const CString& text);
  // The file's one entry in each result list.
  void AddFileOutcome(const char* outputOrError, const char* result);
  // Empties the result lists and selects the current row again: the start of a run.
  void PrepareForRun();
  // Opens the output of the current row with the desktop (not for "Error").
  // The shell's result code (above 32 when started), 0 when there is nothing to open.
  int OpenCurrentOutput();

 protected:
  // ---- what a wizard's page says ----
  virtual CPropertySheet* WizardSheet() = 0;
  // The operation data of the sheet; null without a sheet.
  virtual CProtectWizardData* WizardData() = 0;
  // The worker of an operation mode; null when the mode has nothing to run.
  virtual WorkerProc WorkerFor(int mode) = 0;
  virtual void StartWorker(WorkerProc proc) = 0;
  // Run Again: the last worker is woken from its closing pause and waited for.
  virtual void WaitForWorker() = 0;
  // The code posted to the main window on Finish.
  virtual WPARAM FinishCode() = 0;
  // The name shown for the output of an input before the run.
  virtual CString PlannedOutputName(const CPathParts& input, int mode) = 0;
  // The state text of a file that succeeded.
  virtual UINT SuccessTextId(BOOL warning) = 0;
  virtual CString RunAgainQuestion() = 0;
  virtual CString DetailsTitle() = 0;
  // The end of the run offers Finish instead of Next and opens a single output on its own.
  virtual bool AutoFinishes() { return false; }
  // Outputs of this mode can be opened with the desktop.
  virtual bool CanOpenOutputs() { return true; }
  // TRUE when the page handed over to another page on activation (it is then not shown).
  virtual bool PassesOn() { return false; }
  // Back on the page after its run: what the page shows of the ended run.
  virtual void ShowEndedRun() {}
  // The run has ended and its end buttons are offered.
  virtual void AfterRunEnded() {}
  virtual void OnOtherTimer(UINT_PTR nIDEvent);
  // The list takes the focus once it is filled.
  virtual bool FocusesFilledList() { return false; }
  // Messages waiting for the page are dispatched after the page itself moved the bar.
  virtual bool DispatchesAfterBarMoves() { return false; }
  // Run Again starts the bar from its beginning.
  virtual bool RewindsBarOnRunAgain() { return false; }
  // Saving a copy under the output's own name is refused before any copy is tried.
  virtual bool RefusesOwnNameFirst() { return false; }
  // The copy's target is the output itself.
  virtual bool IsOwnOutput(const CString& target, const CString& output);
  // The box that refuses a copy onto the output itself.
  virtual UINT OwnNameBoxType() { return MB_OK | MB_ICONINFORMATION; }
  // The run-again button, the header title and the status text of a mode.
  virtual void RunTexts(int mode, CString& runAgain, CString& title, CString& status);

  // An input's row before the run: its date, whether it can be worked on ("Pending", else "Failed"), its image,
  // the value kept with it and the flags of its mark.
  struct PendingRow {
    CString date;
    bool usable = false;
    UINT image = 0;
    UINT state = 1;
    BOOL current = 0, flagA = 0, flagB = 0;
  };
  virtual PendingRow PlanRow(const CString& path);
  // What the list says of a file before the run: whether its status can be read, is that of a regular file and
  // tells of content, and its modification date ("%d %B, %Y") when it can be read.
  struct InputFile {
    bool readable = false;
    bool regular = false;
    bool empty = true;
    CString date;
  };
  static InputFile LookAtInput(const CString& path);

  // The mode's operation needs the engine's objects.
  virtual bool NeedsEngine(int) { return true; }
  // The engine's objects could not be made: by default the page says why and stays idle.
  virtual void EngineUnavailable(HRESULT hr);
  // The mode has no worker: by default the run is over at once.
  virtual void RunWithoutWorker();
  // A run starts: the bar is set up, its worker not yet started.
  virtual void BeforeRun() {}
  // All messages waiting for the page are dispatched as the run starts (else only what other threads send).
  virtual bool DispatchesAtStart() { return true; }
  // The outputs of the run are mailed at its end when the user asked for mail.
  virtual bool MailsOutputsAtEnd() { return true; }
  // Run Again has cleared the labels; the list is filled again next.
  virtual void RunAgainCleared() {}
  // Details of a failed file show its input with the reason.
  virtual bool ShowsFailedInputDetails() { return false; }
  // The details sheet zooms out of the details button.
  virtual bool ZoomsDetailsFromButton() { return false; }

  void DoDataExchange(CDataExchange* pDX) override;
  void PumpWaitingMessages();
  // The run has ended: complete the bar, offer the end buttons and mail the outputs.
  void OnRunEnded();
  bool IsShowFinishPageEnabled();
  // The row the user picked becomes the current one; the result buttons follow its outcome.
  void SelectResultRow(int row);

  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnRunAgain();
  afx_msg void OnOpenResult();
  afx_msg void OnSaveResultAs();
  afx_msg void OnDetails();
  afx_msg void OnMailResult();
  afx_msg void OnResultListDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnResultListItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

namespace kx::signing {
// The label's text, with what lies under the label drawn again first (a label draws no background of its own).
using kx::archives::SetLabelText;
}  // namespace kx::signing
