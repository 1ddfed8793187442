// The archive wizard: builds a zip archive of the user's files and protects it (encrypted, signed, or signed
// and encrypted with the set-up of a one-click preset), or opens an existing archive to look into it and extract
// from it. The pages and the archive operation on the worker exchange the user's choices through m_Data.
#pragma once

#include "app/BaseSheet.h"
#include "archives/ArchivePages.h"
#include "archives/ArchiveWizardData.h"
#include "app/WizardWorker.h"

class CArchiveSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CArchiveSheet)
  DECLARE_SHEET_CLASS(CArchiveSheet)
 public:
  enum { kMainPage = 0, kSelectionPage = 1, kZipPage = 2, kRunPage = 3 };

  CArchiveSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  // Waits for a worker that still runs, then removes what the wizard left of its temporary archives.
  ~CArchiveSheet() override;
  BOOL AddPages() override;
  // The sheet a worker was started with; null for anything that is no archive wizard.
  static CArchiveSheet* FromArgument(LPVOID argument);

  // Starts a worker with the sheet as its argument; Cancel stays disabled until it ends.
  bool StartWorker(AFX_THREADPROC proc);
  bool IsWorkerRunning() const { return m_Worker.IsRunning(); }
  // Waits for the worker to end, taking what it sends meanwhile; true when none runs.
  bool WaitForWorker() { return m_Worker.Wait(); }
  // Cancel usable again (called by a worker's last step on the sheet's thread).
  void EnableCancel(BOOL enable);

  CArchiveMainPage m_MainPage;
  CArchiveSelPage m_SelPage;
  CArchiveZipPage m_ZipPage;
  CArchiveDecryptPage m_RunPage;
  CArchiveWizardData m_Data;
  // An opened protected archive is read through a plain copy made for it; removed when the wizard ends.
  CString m_strOpenedCopy;
  CSheetWorker m_Worker;

 protected:
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  DECLARE_MESSAGE_MAP()
};
