// Page 3 of the encryption wizard: lists the input files, runs the operation's worker (encrypt or decrypt and
// verify), shows its progress and, once the worker is done, offers each file's result.
//
// The worker contract: every file is reported exactly once through ReportFileResult and adds exactly one
// entry to each of the two result lists (AddFileOutcome). These calls may come from the worker's thread; they
// are carried out on the page's own thread, so no window or list is touched from two threads.
#pragma once

#include <functional>

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/propsheet.h"

class CEncryptionWizard;

class EncFinalPage : public CPropertyPage {
  DECLARE_DYNCREATE(EncFinalPage)
 public:
  enum { IDD = 30037 };
  static constexpr int kProgressRange = 50000;
  EncFinalPage();

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
  int m_nSelectedRow = 0;
  BYTE m_bStarted = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  BOOL OnWizardFinish() override;

  void FillResultList();
  // Starts the worker of the operation; FALSE only without a parent sheet.
  BOOL StartOperation();
  void UpdateResultButtons();

  void SetProgressPos(int pos);
  void SetProgressStep(int step);
  void OffsetProgressPos(int delta);
  void StepProgress();

  // ---- called by the workers, from any thread ----
  // good 1: the file succeeded. A message, when given, is shown in a message box before the row changes.
  void ReportFileResult(int row, int good, const char* message, int count);
  // The engine's text for the code, written to the audit log as "Signer Wizard Fatal"; returned for the
  // file's result entry.
  CString LogEngineError(HRESULT hr);
  // The file's one entry in each result list.
  void AddFileOutcome(const char* outputOrError, const char* result);
  // Empties the result lists and selects the current row again: the start of a run.
  void PrepareForRun();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CEncryptionWizard* Sheet();
  void PumpWaitingMessages();
  void UpdatePercentText(int pos);
  void OnRunEnded();
  bool IsShowFinishPageEnabled();
  // Runs fn on the page's thread (at once when the page has no window or this is its thread).
  void RunOnPageThread(const std::function<void()>& fn);
  void SelectResultRow(int row);

  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnRunAgain();
  afx_msg void OnOpenResult();
  afx_msg void OnSaveResultAs();
  afx_msg void OnDetails();
  afx_msg void OnMailResult();
  afx_msg void OnResultListDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnResultListItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg LRESULT OnRunOnPage(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

// The worker threads of the final page, each with the wizard sheet as its argument; 1 at once for any other
// argument.
UINT EncFinalEncryptThreadProc(LPVOID sheet);
UINT EncFinalDecryptVerifyThreadProc(LPVOID sheet);

namespace kx::encryption {
// The pause of a worker after it set its done flag (1200 ms); tests shorten it.
DWORD& PauseAfterRun();
}  // namespace kx::encryption
