// The package wizard: protects the user's files with a one-click preset (or countersigns them, or leaves them
// as they are) and builds one self-extracting package of the results, optionally zipped and mailed.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "archives/PackagePages.h"
#include "app/WizardWorker.h"
#include "signing/ProtectWizardData.h"

class CPackageSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CPackageSheet)
  DECLARE_SHEET_CLASS(CPackageSheet)
 public:
  enum { kMainPage = 0, kInfoPage = 1, kFilesPage = 2, kProcessPage = 3, kFinishPage = 4 };

  CPackageSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  // Waits for a worker that still runs: it uses the pages and the operation data.
  ~CPackageSheet() override;
  BOOL AddPages() override;

  bool StartWorker(AFX_THREADPROC proc) { return m_Worker.Start(proc, this); }
  bool WaitForWorker(DWORD milliseconds = INFINITE) { return m_Worker.Wait(milliseconds); }
  // Run Again: wakes the worker from its closing pause and waits for it to end.
  void EndWorker() { m_Worker.End(); }
  bool IsWorkerRunning() const { return m_Worker.IsRunning(); }

  // Fields of the operation data this wizard uses beyond the common ones: make zip (m_bPackageOption), the
  // preset's path (m_strPackageSetting), the package choice (m_nPackageType) and the package's path
  // (m_strPackageName).
  CProtectWizardData m_WizardData;
  PkgMainPage m_MainPage;
  PkgInfoPage m_InfoPage;
  PkgFilesPage m_FilesPage;
  PkgProcessPage m_ProcessPage;
  CFinishPage m_FinishPage;
  CSheetWorker m_Worker;
};
