// The results page of the code-signing wizard and its two workers. The page lists the chosen files, starts one
// worker that signs (and time-stamps) copies of them in the output folder or verifies them in place, shows
// each file's result and the progress, and afterwards lets the user open, save, inspect or mail a result, or
// run the whole operation again.
//
// The worker contract: every input file is reported exactly once (ReportFileResult, after its last step) and
// gets exactly one entry in each result list (AddFileOutcome), in input order. These calls come from the
// worker's thread and are carried out on the page's thread, so no window or list is touched from two threads.
#pragma once

#include "archives/WizardWorker.h"
#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/propsheet.h"

class CCodeSignWizard;
class CStatusProgressCtrl;

class CCodeFinalPage : public CWorkerPage {
  DECLARE_DYNCREATE(CCodeFinalPage)
 public:
  enum { IDD = 30021 };
  static constexpr int kProgressRange = 50000;
  CCodeFinalPage();
  ~CCodeFinalPage() override;

  CColorLabel m_lblMessage;
  CColorLabel m_lblCount;
  CColorLabel m_lblPercent;
  CColorLabel m_lblList;
  CProgressCtrl m_ctlProgress;
  int m_nRangeLow = 0;
  int m_nRangeHigh = kProgressRange;
  int m_nStep = 1;
  CStatusProgressCtrl* m_pStatusProgress = nullptr;
  CReportListCtrl m_lstResults;
  CStringArray m_arrInputFiles;
  // Per processed file: the result file's path, or "Error".
  CStringArray m_arrResults;
  // Per processed file: "Success", or the failure text.
  CStringArray m_arrStatus;
  int m_nSelectedRow = 0;
  BYTE m_bRunning = 0;
  int m_nProcessed = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnKillActive() override;
  BOOL OnQueryCancel() override;
  BOOL OnWizardFinish() override;

  void FillList();
  // Starts a run of the data's operation; false when nothing could be started.
  bool StartRun();
  void UpdateButtons();

  void SetProgressRange(int low, int high);
  void SetProgressPos(int pos);
  void SetProgressStep(int step);
  void OffsetProgressPos(int delta);
  void StepProgress();
  void UpdatePercentText();

  // ---- called by the workers, from their thread ----
  // Empties the result lists and shows the selected row: the start of a run.
  void PrepareForRun();
  // The file's one entry in each result list.
  void AddFileOutcome(const CString& result, const CString& status);
  // A message, when given, is shown in a message box first; then the file's row shows its result.
  void ReportFileResult(int row, bool success, const char* message, int total);
  // The engine's text for a code that ended a run or a file, written to the audit log; returned for the
  // file's status entry.
  CString ReportFatalError(HRESULT hr);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CCodeSignWizard* Sheet();
  void OnRunEnded();
  bool IsSelectionUsable() const;

  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnRunAgain();
  afx_msg void OnOpen();
  afx_msg void OnSaveAs();
  afx_msg void OnDetails();
  afx_msg void OnMail();
  afx_msg void OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult);
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
// Copies the file into the folder under the first free name of name.ext, name(1).ext, name(2).ext ...;
// the copy never replaces a file. False (with the platform's error) when no copy could be made.
bool CopyToFreeName(const CString& input, const CString& folder, CString& output);

}  // namespace kx::codesign
