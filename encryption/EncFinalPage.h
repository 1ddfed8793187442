// Page 3 of the encryption wizard: lists the input files, runs the operation's worker (encrypt or decrypt and
// verify), shows its progress and, once the worker is done, offers each file's result.
#pragma once

#include "signing/ResultsPage.h"

class CEncryptionWizard;

class EncFinalPage : public CResultsPageBase {
  DECLARE_DYNCREATE(EncFinalPage)
 public:
  enum { IDD = 30037 };
  EncFinalPage();

  LRESULT OnWizardBack() override;

 protected:
  CEncryptionWizard* Sheet();

  CPropertySheet* WizardSheet() override;
  CProtectWizardData* WizardData() override;
  WorkerProc WorkerFor(int mode) override;
  void StartWorker(WorkerProc proc) override;
  void WaitForWorker() override;
  WPARAM FinishCode() override { return 108; }
  // The whole input name with ".Etv" when encrypting.
  CString PlannedOutputName(const CPathParts& input, int mode) override;
  UINT SuccessTextId(BOOL) override { return 557; }
  // A password-encrypted file carries no check over its content: its decryption is never called verified.
  void RunTexts(int mode, CString& runAgain, CString& title, CString& status) override;
  CString RunAgainQuestion() override;
  CString DetailsTitle() override;
  // The count of the ended run and each row's mark again.
  void ShowEndedRun() override;
  bool DispatchesAfterBarMoves() override { return true; }
  bool RewindsBarOnRunAgain() override { return true; }
  bool RefusesOwnNameFirst() override { return true; }
};

// The worker threads of the final page, each with the wizard sheet as its argument; 1 at once for any other
// argument.
UINT EncFinalEncryptThreadProc(LPVOID sheet);
UINT EncFinalDecryptVerifyThreadProc(LPVOID sheet);

namespace kx::encryption {
// The pause of a worker after it set its done flag (1200 ms); tests shorten it.
DWORD& PauseAfterRun();
}  // namespace kx::encryption
