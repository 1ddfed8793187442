// Page 4 of the Signer Wizard: the page on which the chosen operation runs. It lists the input files, starts
// the operation's worker thread, polls its done flag and offers the results when the run has ended; a host's
// single decrypted file is opened and the wizard finished on its own.
#pragma once

#include "signing/ResultsPage.h"

class CSignSheet;

class CPWDecryptPage : public CResultsPageBase {
  DECLARE_DYNCREATE(CPWDecryptPage)
 public:
  enum { IDD = 4210 };
  CPWDecryptPage();
  ~CPWDecryptPage() override;

  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

 protected:
  CSignSheet* Sheet();

  CPropertySheet* WizardSheet() override;
  CProtectWizardData* WizardData() override;
  WorkerProc WorkerFor(int mode) override;
  void StartWorker(WorkerProc proc) override;
  void WaitForWorker() override;
  WPARAM FinishCode() override;
  CString PlannedOutputName(const CPathParts& input, int mode) override;
  UINT SuccessTextId(BOOL warning) override;
  CString RunAgainQuestion() override;
  CString DetailsTitle() override;
  // A host's decrypt run.
  bool AutoFinishes() override;
  // Only decrypted files are opened.
  bool CanOpenOutputs() override;
  // The one-click wizard goes straight on to its finish page.
  bool PassesOn() override;
  // Starts the automatic finish of a host's single decrypted file.
  void AfterRunEnded() override;
  void OnOtherTimer(UINT_PTR nIDEvent) override;
  bool FocusesFilledList() override { return true; }

  // Marks the single output read-only, opens it, hides the wizard and arms the timer that finishes it.
  void StartAutoFinish();
  void EndAutoFinish();

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
