// Page 4 of the Signer Wizard: the page on which the chosen operation runs. It lists the input files, starts
// the operation's worker thread, polls its done flag and offers the results when the run has ended.
//
// The worker contract: the worker reports every file exactly once through ReportFileResult and adds exactly
// one entry to each of the two result lists for it (AddFileOutcome). These calls may come from the worker's
// thread; they are carried out on the page's own thread, so no window or list is touched from two threads.
#pragma once

#include <functional>

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/propsheet.h"

class CSignSheet;
class CStatusProgressCtrl;

class CPWDecryptPage : public CPropertyPage {
  DECLARE_DYNCREATE(CPWDecryptPage)
 public:
  enum { IDD = 4210 };
  // The progress bar runs over this range.
  static constexpr int kProgressRange = 50000;
  CPWDecryptPage();
  ~CPWDecryptPage() override;

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
  CStatusProgressCtrl* m_pStatusProgress = nullptr;
  int m_nSelectedRow = 0;
  BYTE m_bBusy = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;
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
  // result 1: the file succeeded. A message, when given, is shown in a message box before the row changes.
  void ReportFileResult(int index, int result, const char* message, int total, BOOL warning);
  // The engine's text for the code, written to the audit log as "Signer Wizard Fatal"; the text is returned
  // for the file's result entry.
  CString LogEngineError(HRESULT hr);
  // The file's one entry in each result list.
  void AddFileOutcome(const char* outputOrError, const char* result);
  // Empties the result lists and selects the current row again: the start of a run.
  void PrepareForRun();
  // Opens the output of the current row with the desktop (not for "Error").
  void OpenCurrentOutput();

  // Runs fn on the page's thread (at once when the page has no window or this is its thread).
  void RunOnPageThread(const std::function<void()>& fn);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CSignSheet* Sheet();
  void PumpWaitingMessages();
  // The run has ended: complete the bar, offer the end buttons, mail the outputs, and start the automatic
  // finish of a host's single decrypted file.
  void OnRunEnded();
  // Marks the single output read-only, opens it, hides the wizard and arms the timer that finishes it.
  void StartAutoFinish();
  void EndAutoFinish();
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
  afx_msg LRESULT OnRunOnPage(WPARAM wParam, LPARAM lParam);
  afx_msg void OnDestroy();

  // The output made read-only for the automatic finish, and its attributes before.
  CString m_strAutoFinishFile;
  DWORD m_dwAutoFinishAttributes = 0;
  BYTE m_bAutoFinishing = 0;
  DECLARE_MESSAGE_MAP()
};

// The text of a trust result code (resource strings 5000 and 386-416); false and an empty text for any other
// code.
bool GetTrustErrorText(HRESULT hr, CString& text);
