// The package builder: the self-extracting package of its list, built as soon as it opens.
#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "core/FileSearch.h"
#include "archives/PackagePages.h"
#include "controls/FolderBrowse.h"
#include "platform/mfc/afxdlgs.h"

namespace {

enum {
  IDC_FILE_PROGRESS = 1012,
  IDC_ALL_PROGRESS = 1007,
  IDC_LIST = 1033,
  IDC_STATUS = 1011,
  IDC_PHASE = 1013,
  IDC_STUB = 1002,
  IDC_OUTPUT = 1003,
  IDC_BUILD = 1004,
  IDC_OPEN_PACKAGE = 1005,
  IDC_ADD_FILES = 1008,
  IDC_ADD_FOLDER = 1009,
  IDC_CLEAR = 1010,
};

constexpr UINT kApplicationIcon = 128;
constexpr DWORD kNameBuffer = 10240;

}  // namespace

BEGIN_MESSAGE_MAP(CPackageBuilderDlg, CDialog)
  ON_BN_CLICKED(IDC_STUB, OnStub)
  ON_BN_CLICKED(IDC_OUTPUT, OnOutput)
  ON_BN_CLICKED(IDC_BUILD, OnBuild)
  ON_BN_CLICKED(IDC_OPEN_PACKAGE, OnOpenPackage)
  ON_BN_CLICKED(IDC_ADD_FILES, OnAddFiles)
  ON_BN_CLICKED(IDC_ADD_FOLDER, OnAddFolder)
  ON_BN_CLICKED(IDC_CLEAR, OnClear)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

CPackageBuilderDlg::CPackageBuilderDlg(CWnd* pParent) : CDialog(IDD, pParent) {
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(kApplicationIcon) : nullptr;
}

void CPackageBuilderDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_FILE_PROGRESS, m_ctlFileProgress);
  DDX_Control(pDX, IDC_ALL_PROGRESS, m_ctlAllProgress);
  DDX_Control(pDX, IDC_LIST, m_lstFiles);
  DDX_Text(pDX, IDC_STATUS, m_strStatus);
  DDX_Text(pDX, IDC_PHASE, m_strPhase);
}

bool CPackageBuilderDlg::AddEngineLibrary(const CString& path) {
  m_bFirstIsEngine = m_Archive.GetCount() == 0 && m_Archive.AddFile(path);
  return m_bFirstIsEngine != FALSE;
}

BOOL CPackageBuilderDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  m_lstFiles.SetExtendedStyle(m_lstFiles.GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  m_lstFiles.InsertColumn(0, "Name", LVCFMT_LEFT, 200);
  m_lstFiles.InsertColumn(1, "Size (bytes)", LVCFMT_LEFT, 200);
  for (CProgressCtrl* bar : {&m_ctlFileProgress, &m_ctlAllProgress}) {
    bar->SetStep(1);
    bar->ShowWindow(SW_HIDE);
  }
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  CString folder = app ? app->m_strModuleFolder : CString();
  if (!folder.IsEmpty() && folder.Right(1) != "/") folder += "/";
  m_strStubPath = folder + "Extractor.Exe";
  RefreshList();
  UpdateData(FALSE);
  OnBuild();
  return TRUE;
}

void CPackageBuilderDlg::RefreshList() {
  if (m_lstFiles.GetSafeHwnd()) {
    m_lstFiles.DeleteAllItems();
    // The engine library that the finishing step puts first is part of every package; it is not listed.
    const int first = m_bFirstIsEngine ? 1 : 0;
    for (int i = first; i < m_Archive.GetCount(); ++i) {
      const CSfxFileEntry entry = m_Archive.GetEntry(i);
      const int row = m_lstFiles.InsertItem(i - first, entry.m_strName);
      CString size;
      size.Format("%u", static_cast<unsigned>(entry.m_nSize));
      m_lstFiles.SetItemText(row, 1, size);
    }
  }
  if (GetSafeHwnd()) UpdateData(FALSE);
}

int CPackageBuilderDlg::BuildProgress(UINT code, void* data, void* dialog) {
  // The dialog repaints while it builds.
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  auto* self = static_cast<CPackageBuilderDlg*>(dialog);
  if (!self || !self->GetSafeHwnd()) return 0;
  switch (code) {
    case CSfxArchive::kEntryStarted:
      if (const auto* entry = static_cast<const CSfxFileEntry*>(data)) {
        self->m_strStatus = LoadResString(456) + " " + entry->m_strPath;
        self->UpdateData(FALSE);
      }
      break;
    case CSfxArchive::kEntryDone: self->m_ctlAllProgress.StepIt(); break;
    case CSfxArchive::kPercent:
      if (const auto* percent = static_cast<const DWORD*>(data)) self->m_ctlFileProgress.SetPos(static_cast<int>(*percent));
      break;
    default: break;
  }
  return 0;
}

void CPackageBuilderDlg::OnBuild() {
  if (m_bBuilding) return;
  if (m_strOutputPath.IsEmpty()) {
    MessageBox(LoadResString(448), nullptr, MB_OK);
    return;
  }
  m_ctlAllProgress.SetRange32(0, m_Archive.GetCount());
  m_ctlFileProgress.SetRange32(0, 100);
  for (CProgressCtrl* bar : {&m_ctlFileProgress, &m_ctlAllProgress}) {
    bar->SetPos(0);
    bar->ShowWindow(SW_SHOW);
  }
  m_strPhase = LoadResString(449);
  UpdateData(FALSE);
  m_bBuilding = TRUE;
  m_nLastResult = m_Archive.Build(m_strStubPath, m_strOutputPath, BuildProgress, this);
  m_bBuilding = FALSE;
  m_strStatus = LoadResString(450);
  m_strPhase.Empty();
  UpdateData(FALSE);
  if (m_nLastResult == CSfxArchive::kDone) return;
  MessageBox(LoadResString(m_nLastResult == CSfxArchive::kNoEntries ? 451 : 452), nullptr, MB_OK);
}

void CPackageBuilderDlg::OnStub() {
  if (m_bBuilding) return;
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(444), this);
  const CString title = LoadResString(446);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  m_strStubPath = dialog.GetPathName();
  UpdateData(FALSE);
}

void CPackageBuilderDlg::OnOutput() {
  if (m_bBuilding) return;
  CFileDialog dialog(FALSE, "*.exe", "Untitled.exe", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(445), this);
  const CString title = LoadResString(447);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  m_strOutputPath = dialog.GetPathName();
}

void CPackageBuilderDlg::OnOpenPackage() {
  if (m_bBuilding) return;
  CFileDialog dialog(FALSE, "*.exe", "Untitled.exe", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(445), this);
  const CString title = LoadResString(453);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  const DWORD result = m_Archive.ReadTrailer(dialog.GetPathName());
  // The table now holds the package's own entries.
  m_bFirstIsEngine = FALSE;
  if (result == CSfxArchive::kDone) RefreshList();
  else if (result == CSfxArchive::kNotPackage) MessageBox(LoadResString(176), nullptr, MB_OK);
  else RefreshList();
}

void CPackageBuilderDlg::OnAddFiles() {
  if (m_bBuilding) return;
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     LoadResString(268), this);
  std::vector<char> names(kNameBuffer, '\0');
  dialog.m_ofn.lpstrFile = names.data();
  dialog.m_ofn.nMaxFile = kNameBuffer;
  const CString title = LoadResString(455);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() == IDOK) {
    for (POSITION pos = dialog.GetStartPosition(); pos;) m_Archive.AddFile(dialog.GetNextPathName(pos));
  }
  RefreshList();
}

void CPackageBuilderDlg::OnAddFolder() {
  if (m_bBuilding) return;
  CFolderBrowseDlg chooser;
  chooser.m_strTitle = LoadResString(454);
  if (chooser.DoModal(this)) {
    CString folder = chooser.m_strFolder;
    if (!folder.IsEmpty() && folder.Right(1) != "/") folder += "/";
    CFileSearch search;
    for (BOOL found = search.FindFile(folder + "*.*"); found; found = search.FindNextFile()) {
      // Folders and whatever else is no readable file do not go in.
      if (!search.IsDirectory()) m_Archive.AddFile(folder + search.GetFileName());
    }
  }
  RefreshList();
}

void CPackageBuilderDlg::OnClear() {
  if (m_bBuilding) return;
  m_Archive.Reset();
  m_bFirstIsEngine = FALSE;
  RefreshList();
}

void CPackageBuilderDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  CRect client;
  GetClientRect(&client);
  const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CPackageBuilderDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

// The dialog stays until its build is done.
void CPackageBuilderDlg::OnOK() {
  if (!m_bBuilding) CDialog::OnOK();
}

void CPackageBuilderDlg::OnCancel() {
  if (!m_bBuilding) CDialog::OnCancel();
}
