// The pages of the archive wizard: the welcome page (create or open), the task page (preset, operation and
// paths), the contents page (the zip archive and its entries) and the operation page (the run that protects the
// archive, with its report).
#pragma once

#include "archives/ArchiveOperations.h"
#include "archives/ArchiveZipOptions.h"
#include "archives/WizardWorker.h"
#include "controls/BasicReportListCtrl.h"
#include "controls/ColorLabel.h"
#include "controls/LabelCtrl.h"
#include "controls/PercentProgressCtrl.h"
#include "platform/mfc/afxcmn.h"
#include "zip/ZipArchive.h"

class CArchiveSheet;

// Page 0: create a new archive or open one.
class CArchiveMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CArchiveMainPage)
 public:
  enum { IDD = 4244 };
  CArchiveMainPage();

  // 0 create, 1 open.
  int m_nTask = 0;
  int m_nLastTask = -1;
  CLabelCtrl m_lblTitle;
  CLabelCtrl m_lblText;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CArchiveSheet* Sheet();
};

// Page 1: creating, the operation, the one-click preset and the archive to make; opening, the archive and the
// folder for its files.
class CArchiveSelPage : public CPropertyPage {
  DECLARE_DYNCREATE(CArchiveSelPage)
 public:
  enum { IDD = 4246 };
  CArchiveSelPage();

  CColorLabel m_lblPreset;       // 1141
  CColorLabel m_lblArchive;      // 1140
  CColorLabel m_lblOperation;    // 1139
  CColorLabel m_lblOutput;       // 1060
  CColorLabel m_lblDestination;  // 1037
  CString m_strFirstPath;
  CString m_strSecondPath;
  int m_nOperation = 0;
  int m_bCheck1036 = 1;
  int m_bUseProfileFolder = 0;
  int m_bCheck1138 = 1;
  CString m_strPresetPath;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;

  // Takes the preset the chooser returned: its path, and its description into the first path. False when the
  // preset cannot be read (the first path is left as it was).
  bool TakePreset(const CString& path);

  afx_msg void OnUseProfileFolder();
  afx_msg void OnOperationChanged();
  afx_msg void OnCheckChanged();
  afx_msg void OnChoose();
  afx_msg void OnBrowse();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CArchiveSheet* Sheet();
  bool IsOpenMode();
  // The profile folder may be used only when the system profile names one; the destination controls are
  // usable unless it is used.
  void UpdateProfileFolderControls();
  void ShowControl(int id, bool show);
  void EnableControl(int id, bool enable);
  DECLARE_MESSAGE_MAP()
};

// Page 2: the zip archive. Creating, the archive that the run protects; opening, the archive chosen on the task
// page. Adding a folder and opening run on the sheet's worker; the other actions on this page's thread.
class CArchiveZipPage : public CWorkerPage {
  DECLARE_DYNCREATE(CArchiveZipPage)
 public:
  enum { IDD = 4245 };
  enum { IDC_ADD = 1050, ID_ADD_FILES = 34200, ID_ADD_FOLDER = 34201 };
  CArchiveZipPage();
  ~CArchiveZipPage() override;

  BYTE m_bCommentChanged = 0;
  CColorLabel m_lblStatus;   // 1115
  CColorLabel m_lblCaption;  // 1136
  CPercentProgressCtrl m_ctlProgress;
  CBasicReportListCtrl m_lstEntries;
  CString m_strArchiveComment;
  CString m_strStatus;
  CMenuButton m_btnAdd;
  // The folder being added, or the archive being opened; empty while idle.
  CString m_strPendingPath;
  CZipArchive m_Zip;
  CArchiveZipSettings m_Options;
  BYTE m_bError = 0;
  // The last archive call ended in an exception: the archive is closed and must be made again before the
  // wizard goes on.
  BYTE m_bBroken = 0;
  // An add failed and the archive was made again without the user's files: the wizard does not go on to
  // protect it until files are added again.
  BYTE m_bFilesLost = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;
  BOOL OnQueryCancel() override;

  void CreateArchive(const CString& path);
  void OpenArchive(const CString& path);
  void CloseArchive();
  void RefreshList();
  void UpdateButtons();
  void EnableActions(BOOL enable);
  void UpdateCaption();

  // Worker procedures; the argument is the sheet.
  static UINT OpenThread(LPVOID sheet);
  static UINT AddFolderThread(LPVOID sheet);
  // The zip library's progress and disk-change calls.
  static bool ProgressCallback(DWORD total, DWORD done, void* state);
  static bool DiskPrompt(DWORD volume, int code, void* page);

  afx_msg void OnAddFolder();
  afx_msg void OnAddFiles();
  afx_msg void OnDelete();
  afx_msg void OnExtract();
  afx_msg void OnComment();
  afx_msg void OnOptions();
  afx_msg void OnTest();
  afx_msg void OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnDestroy();

 protected:
  struct AddItem {
    CString path;
    BYTE folder = 0;
    ULONGLONG size = 0;
  };
  // What the progress callback works with.
  struct ProgressState {
    ULONGLONG total = 0;
    ULONGLONG before = 0;
    CPercentProgressCtrl* bar = nullptr;
    // The bar counts in units of this many bytes, so that its range fits an int.
    ULONGLONG unit = 1;
    void Start(ULONGLONG bytes);
    void Show(ULONGLONG done) const;
  };

  void DoDataExchange(CDataExchange* pDX) override;
  CArchiveSheet* Sheet();
  bool IsOpenMode();
  // The open archive is the plain copy of an opened protected archive: it can be looked into, tested and
  // extracted from, but a change would only reach the copy, which goes with the wizard.
  bool IsProtectedCopy();
  // The folder's files, then its sub-folders (when the options say so) each followed by what it holds.
  void ScanFolder(CString folder, std::vector<AddItem>& items, ULONGLONG& total);
  // Adds an item. The path of one the archive did not take goes to notAdded: a file that could not be read,
  // and every one once the archive holds the most entries a zip file can (full is then set, and nothing more
  // is tried). false when an archive call raised (notAdded is then emptied: the failure is what is said).
  bool AddOne(const AddItem& item, int level, bool fullPath, ProgressState& progress, std::vector<CString>& notAdded,
              bool& full);
  // The message naming the files that were not added (the first of them when there are many).
  static CString NotAddedText(const std::vector<CString>& notAdded, bool full);
  // Hands the options' password to the archive; a refused one is cleared and reported.
  void ApplyPassword();
  void ShowStatus(UINT textId);
  void HideStatus();
  void SetWizardButtons(DWORD flags);
  // The archive could not be used after an exception: creating, an empty archive takes its place.
  void RecoverAfterException();
  // Runs fn under the handlers of every archive call: false when it raised (the error flag is then set).
  bool Guarded(const std::function<void()>& fn);
  // A worker of this page on the sheet, for the path (the folder to add or the archive to open).
  void StartPageWorker(const CString& path, AFX_THREADPROC proc);
  // The page of a worker's argument, its status shown and its actions disabled; null for anything else.
  static CArchiveZipPage* StartOfWorker(LPVOID argument, UINT statusId);
  DECLARE_MESSAGE_MAP()
};

// Page 3: runs the archive operation of the chosen mode on the sheet's worker and shows its progress and
// report. The operations reach the page from the worker; every one of its overrides goes to the page's thread.
class CArchiveDecryptPage : public CWorkerPage, public CArchiveRunBase {
  DECLARE_DYNCREATE(CArchiveDecryptPage)
 public:
  enum { IDD = 4248 };
  CArchiveDecryptPage();
  ~CArchiveDecryptPage() override;

  CProgressCtrl m_ctlProgress;  // 1087
  CColorLabel m_lblPercent;     // 1089
  CColorLabel m_lblMode;        // 1098
  CColorLabel m_lblStatus;      // 1088
  CColorLabel m_lblReport;      // 1081
  CString m_strReport;          // 1145
  CString m_strSubtitle;        // the header's subtitle of the mode
  BYTE m_bRunning = 0;
  int m_nLower = 0;
  int m_nUpper = 50000;
  int m_nStep = 1;

  BOOL OnSetActive() override;
  BOOL OnWizardFinish() override;
  BOOL OnQueryCancel() override;

  // FALSE without a parent sheet.
  BOOL StartArchiveOperation();
  void SetProgressRange(int lower, int upper);
  void SetProgressStep(int step);
  void UpdatePercentLabel(int position);
  void UpdateRunButtons();

  // The operations' view of the page (from any thread).
  int StepProgress() override;
  int OffsetProgress(int delta) override;
  int GetProgressPosition() override;
  void SetReportText(const CString& text) override;

  afx_msg void OnRunAgain();
  afx_msg void OnShowDetails();
  afx_msg void OnNothing();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CArchiveSheet* Sheet();
  DECLARE_MESSAGE_MAP()
};

// The run page's worker; its argument is the sheet. 1 for anything that is no archive wizard.
UINT ArchiveOperationThread(LPVOID sheet);
