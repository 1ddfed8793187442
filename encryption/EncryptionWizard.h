// The encryption wizard: encrypts files under a password into encrypted protected files (".Etv"), or decrypts
// and verifies such files, with a cipher and key length the user picks. Its pages reach the operation data
// through the sheet; the final page runs the work on a worker thread of the sheet.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "app/SheetWorker.h"
#include "encryption/EncFinalPage.h"
#include "encryption/EncryptionPages.h"
#include "signing/ProtectWizardData.h"

class CWinThread;

class CEncryptionWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CEncryptionWizard)
  DECLARE_SHEET_CLASS(CEncryptionWizard)
 public:
  // Page indexes.
  enum { kMainPage = 0, kFilePage = 1, kInformationPage = 2, kFinalPage = 3, kFinishPage = 4, kOneClickPage = 5 };

  CEncryptionWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  // Waits for a worker that still runs: it uses the pages and the operation data.
  ~CEncryptionWizard() override;
  BOOL AddPages() override;

  // Starts proc(this) on the sheet's worker thread (after the previous one has ended).
  void StartWorker(UINT (*proc)(LPVOID));
  // Waits for the worker, taking the messages it sends meanwhile; true when none runs any more.
  bool WaitForWorker(DWORD milliseconds = INFINITE);
  // Run Again: wakes the worker from its closing pause and waits for it to end.
  void EndWorker() { m_Worker.End(); }

  CProtectWizardData m_WizardData;
  CEncryptMainPage m_MainPage;
  EncFileSel m_FilePage;
  EncyptInfoPage m_InfoPage;
  EncFinalPage m_FinalPage;
  CFinishPage m_FinishPage;
  EncOneClickPage m_OneClickPage;

 private:
  CSheetWorker m_Worker;
};
