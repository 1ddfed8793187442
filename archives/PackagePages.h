// The pages of the package wizard: welcome (what happens to the files), package (the one-click preset and the
// package file), files, and processing (the files protected on the sheet's worker, then the package built by
// the package builder).
#pragma once

#include "archives/ArchiveResultsPage.h"
#include "archives/SfxArchive.h"
#include "app/WizardWorker.h"
#include "controls/ColorLabel.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/collections.h"

class CPackageSheet;

// Page 0: the choice of what happens to the files before they are packed.
class PkgMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(PkgMainPage)
 public:
  enum { IDD = 30025 };
  // 0 protect with the preset's operation, 1 countersign with the preset, 2 nothing, 3 encrypt with the preset.
  enum { kProtect = 0, kCountersign = 1, kAsTheyAre = 2, kEncrypt = 3 };
  PkgMainPage();

  CStatic m_stcTitle;
  CStatic m_stcText;
  int m_nChoice = 0;

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CPackageSheet* Sheet();
};

// Page 1: the one-click preset and the package to build.
class PkgInfoPage : public CPropertyPage {
  DECLARE_DYNCREATE(PkgInfoPage)
 public:
  enum { IDD = 30027 };
  PkgInfoPage();

  CColorLabel m_lblPreset;   // 1037
  CColorLabel m_lblPackage;  // 1060
  int m_bMakeZip = 1;
  CString m_strPresetText;
  CString m_strPackagePath;
  // The preset's operation kind (byte 0 of its header options); -1 until a preset is read.
  int m_nPresetKind = -1;
  static constexpr int kCountersignKind = 3;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;

  // Takes the preset the chooser returned; false when it cannot be read as a preset (its path is then shown
  // and nothing else changes).
  bool TakePreset(const CString& path);

  afx_msg void OnBrowsePackage();
  afx_msg void OnChoosePreset();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CPackageSheet* Sheet();
  bool WantsCountersignPreset();
  DECLARE_MESSAGE_MAP()
};

// Page 2: one file, or a list of files through the file list.
class PkgFilesPage : public CPropertyPage {
  DECLARE_DYNCREATE(PkgFilesPage)
 public:
  enum { IDD = 30026 };
  PkgFilesPage();

  CColorLabel m_lblFile;  // 1060
  CString m_strFilePath;
  int m_bMailPackage = 1;
  int m_bSeveralFiles = 0;
  CStringArray m_arrFiles;

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnChooseFiles();
  afx_msg void OnSeveralFiles();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CPackageSheet* Sheet();
  DECLARE_MESSAGE_MAP()
};

// Page 3: every input protected on the sheet's worker, each result on its row; Next (or Finish) builds the
// package of the protected files.
//
// The worker contract: one ReportFileResult and one AddFileOutcome per input, in input order; the done flag of
// the wizard data is set last. Both calls may come from the worker's thread.
class PkgProcessPage : public CArchiveResultsPage {
  DECLARE_DYNCREATE(PkgProcessPage)
 public:
  enum { IDD = 4210 };
  PkgProcessPage();

  // The package of this run has been built (or found nothing to build).
  BYTE m_bPackaged = 0;

  BOOL OnInitDialog() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;
  BOOL OnWizardFinish() override;
  BOOL OnQueryCancel() override;

  // The package of the successful outputs: the builder, then the zip file and the mail when asked for.
  void BuildPackage();

 protected:
  CPackageSheet* Sheet();

  CPropertySheet* WizardSheet() override;
  CProtectWizardData* WizardData() override;
  // The preset's operation; none for files packed as they are.
  WorkerProc WorkerFor(int mode) override;
  void StartWorker(WorkerProc proc) override;
  void WaitForWorker() override;
  // The input's own name for files packed as they are, else with ".tvx".
  CString PlannedOutputName(const CPathParts& input, int mode) override;
  void RunTexts(int mode, CString& runAgain, CString& title, CString& status) override;
  PendingRow PlanRow(const CString& path) override;
  // Files packed as they are need no engine.
  bool NeedsEngine(int mode) override { return mode >= 0; }
  void EngineUnavailable(HRESULT hr) override;
  // Files packed as they are go into the package themselves.
  void RunWithoutWorker() override { EndRunWithoutWorker(true); }
  void BeforeRun() override;
  bool DispatchesAtStart() override { return false; }
  // The package, not its files, is mailed.
  bool MailsOutputsAtEnd() override { return false; }
  bool CanOpenOutputs() override { return false; }
  UINT OwnNameBoxType() override { return MB_OK; }
  void ShowEndedRun() override;

  // Every input gets its outcome at once: the input itself when packed as it is and readable, else "Error".
  void EndRunWithoutWorker(bool asTheyAre);
};

// Builds the self-extracting package from its list as soon as it opens and shows the progress; its buttons
// choose another stub or output, add files or a folder, read an existing package's index and clear the list.
class CPackageBuilderDlg : public CDialog {
 public:
  enum { IDD = 1135 };
  explicit CPackageBuilderDlg(CWnd* pParent = nullptr);

  CSfxArchive m_Archive;
  CProgressCtrl m_ctlFileProgress;  // 1012
  CProgressCtrl m_ctlAllProgress;   // 1007
  CListCtrl m_lstFiles;             // 1033
  CString m_strOutputPath;
  CString m_strStubPath;
  CString m_strStatus;  // 1011
  CString m_strPhase;   // 1013
  HICON m_hIcon = nullptr;
  // The table's first entry is the engine library, which the list does not show.
  BOOL m_bFirstIsEngine = FALSE;
  // The result of the last build (0 before any).
  DWORD m_nLastResult = 0;
  // A build is under way: the list is not changed and no second build starts meanwhile.
  BOOL m_bBuilding = FALSE;

  // Adds the engine library as the first entry; false when it cannot be added (nothing is hidden then).
  bool AddEngineLibrary(const CString& path);

  BOOL OnInitDialog() override;
  void RefreshList();

  afx_msg void OnStub();
  afx_msg void OnOutput();
  afx_msg void OnBuild();
  afx_msg void OnOpenPackage();
  afx_msg void OnAddFiles();
  afx_msg void OnAddFolder();
  afx_msg void OnClear();
  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  void OnOK() override;
  void OnCancel() override;

  static int BuildProgress(UINT code, void* data, void* dialog);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// The package workers; the argument is the sheet. They return 1 at once for anything that is no package
// wizard.
UINT PackagePresetThreadProc(LPVOID sheet);
UINT PackageCountersignThreadProc(LPVOID sheet);

namespace kx::archives {
// The pause of a package worker after its done flag (1200 ms); tests shorten it.
DWORD& PackageWorkerPause();
}  // namespace kx::archives
