// The archive wizard's contents page: the zip archive that the run protects, or the archive the user opened.
#include <sys/stat.h>

#include <ctime>
#include <memory>

#include "app/HtmlDialogBox.h"
#include "app/ResString.h"
#include "archives/ArchiveSheet.h"
#include "archives/FileSearch.h"
#include "archives/ProtectedArchive.h"
#include "controls/AutoCompleteCombo.h"
#include "controls/FolderBrowse.h"
#include "core/SystemProfile.h"
#include "platform/mfc/afxdlgs.h"

using kx::archives::SetLabelText;
using kx::archives::WorkerMessageBox;

namespace {

// Said on Next after a failed add made the archive again without the user's files.
constexpr UINT kFilesLost = 31530;
// The contents list's columns: name, folder, size, modified, attributes, ratio, CRC, comment.
constexpr int kColumns = 8;

enum {
  IDC_STATUS = 1115,
  IDC_CAPTION = 1136,
  IDC_PROGRESS = 1087,
  IDC_LIST = 1000,
  IDC_COMMENT_TEXT = 1070,
  IDC_DELETE = 1051,
  IDC_EXTRACT = 1031,
  IDC_COMMENT = 1135,
  IDC_OPTIONS = 1032,
  IDC_TEST = 1129,
};

constexpr UINT kAddBitmap = 8257;
constexpr COLORREF kAddMask = RGB(255, 0, 255);
constexpr DWORD kEntryBuffer = 65535;
// A comment longer than this is cut in the list.
constexpr int kCommentShown = 1024;

CString Strings(UINT a, UINT b) { return LoadResString(a) + " " + LoadResString(b); }

// "%d %b %Y, %X" of the entry's time in local time; empty when it cannot be converted.
CString EntryTime(const CZipFileHeader& header) {
  const time_t when = header.GetTime();
  struct tm local {};
  if (when == static_cast<time_t>(-1) || !localtime_r(&when, &local)) return "";
  char text[128] = {};
  if (strftime(text, sizeof text, "%d %b %Y, %X", &local) == 0) return "";
  return text;
}

CString AttributeLetters(DWORD attr) {
  CString text;
  text += (attr & 0x01) ? 'r' : '-';
  text += (attr & 0x20) ? 'a' : '-';
  text += (attr & 0x02) ? 'h' : '-';
  text += (attr & 0x04) ? 's' : '-';
  return text;
}

bool IsRealFolder(const CString& path) {
  struct stat st {};
  return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

IMPLEMENT_DYNCREATE(CArchiveZipPage, CWorkerPage)

BEGIN_MESSAGE_MAP(CArchiveZipPage, CWorkerPage)
  ON_BN_CLICKED(IDC_ADD, OnAddFolder)
  ON_COMMAND(ID_ADD_FOLDER, OnAddFolder)
  ON_COMMAND(ID_ADD_FILES, OnAddFiles)
  ON_BN_CLICKED(IDC_DELETE, OnDelete)
  ON_BN_CLICKED(IDC_EXTRACT, OnExtract)
  ON_BN_CLICKED(IDC_COMMENT, OnComment)
  ON_BN_CLICKED(IDC_OPTIONS, OnOptions)
  ON_BN_CLICKED(IDC_TEST, OnTest)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnListItemChanged)
  ON_WM_TIMER()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CArchiveZipPage::CArchiveZipPage() : CWorkerPage(IDD, 0, 146, 147) {}

CArchiveZipPage::~CArchiveZipPage() = default;

CArchiveSheet* CArchiveZipPage::Sheet() { return dynamic_cast<CArchiveSheet*>(GetParentSheet()); }

bool CArchiveZipPage::IsOpenMode() {
  CArchiveSheet* sheet = Sheet();
  return sheet && sheet->m_Data.m_nTask == 1;
}

void CArchiveZipPage::DoDataExchange(CDataExchange* pDX) {
  CWorkerPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_STATUS, m_lblStatus);
  DDX_Control(pDX, IDC_CAPTION, m_lblCaption);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_LIST, m_lstEntries);
  DDX_Text(pDX, IDC_STATUS, m_strStatus);
  DDX_Text(pDX, IDC_COMMENT_TEXT, m_strArchiveComment);
}

BOOL CArchiveZipPage::OnInitDialog() {
  CWorkerPage::OnInitDialog();
  m_Zip.SetSpanCallback(DiskPrompt, this);
  m_Zip.SetAdvanced(1500000, 16384, 32768);
  m_Options.Load();
  m_btnAdd.Attach(this, IDC_ADD, IDC_ADD);
  m_btnAdd.LoadImages(kAddBitmap, kAddMask);
  m_btnAdd.AddMenuItem(ID_ADD_FILES, LoadResString(650));
  m_btnAdd.AddMenuItem(ID_ADD_FOLDER, LoadResString(651));

  m_lstEntries.SetExtendedStyle(m_lstEntries.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
  struct Column {
    UINT heading;
    int format;
  };
  const Column columns[] = {{57347, LVCFMT_LEFT}, {57348, LVCFMT_LEFT},  {57349, LVCFMT_RIGHT},
                            {57350, LVCFMT_LEFT}, {57352, LVCFMT_LEFT},  {57353, LVCFMT_LEFT},
                            {57351, LVCFMT_RIGHT}, {57354, LVCFMT_LEFT}};
  for (int i = 0; i < 8; ++i) m_lstEntries.InsertColumnFromResource(i, columns[i].heading, columns[i].format, 80, i);
  m_lstEntries.AutoSizeColumns();
  if (m_lstEntries.CreateSmallImageList()) m_lstEntries.SetImageList(m_lstEntries.m_pSmallImageList, LVSIL_SMALL);
  HideStatus();
  return TRUE;
}

BOOL CArchiveZipPage::OnSetActive() {
  CArchiveSheet* sheet = Sheet();
  if (sheet) {
    CArchiveWizardData& data = sheet->m_Data;
    if (data.m_nReloadPending && data.m_bConfirmed && !data.m_strDestinationPath.IsEmpty()) {
      data.m_nReloadPending = 0;
      m_bFilesLost = 0;
      if (IsOpenMode()) {
        // A temporary archive of an earlier create is of no use any more.
        CloseArchive();
        if (!data.m_strZipPath.IsEmpty()) ::unlink(data.m_strZipPath);
        data.m_strZipPath.Empty();
        OpenArchive(data.m_strDestinationPath);
      } else {
        const CString path = data.m_strDestinationPath + "__KX__.zip";
        CreateArchive(path);
        data.m_strZipPath = path;
      }
    }
  }
  UpdateButtons();
  return CWorkerPage::OnSetActive();
}

LRESULT CArchiveZipPage::OnWizardNext() {
  CArchiveSheet* sheet = Sheet();
  CloseArchive();
  // Only an archive closed whole goes on to be protected.
  if (m_bBroken) {
    RecoverAfterException();
    return -1;
  }
  // An archive that lost the user's files in a failed add is never protected as though it were whole.
  if (m_bFilesLost && !IsOpenMode()) {
    AfxMessageBox(LoadResString(kFilesLost), MB_OK | MB_ICONEXCLAMATION);
    return -1;
  }
  if (sheet) {
    sheet->SetActivePage(CArchiveSheet::kRunPage);
    return -1;
  }
  return CWorkerPage::OnWizardNext();
}

LRESULT CArchiveZipPage::OnWizardBack() {
  if (CArchiveSheet* sheet = Sheet()) {
    sheet->SetActivePage(CArchiveSheet::kSelectionPage);
    return -1;
  }
  return CWorkerPage::OnWizardBack();
}

BOOL CArchiveZipPage::OnQueryCancel() {
  CArchiveSheet* sheet = Sheet();
  return sheet && sheet->IsWorkerRunning() ? FALSE : TRUE;
}

void CArchiveZipPage::SetWizardButtons(DWORD flags) {
  if (CArchiveSheet* sheet = Sheet()) sheet->SetWizardButtons(flags);
}

void CArchiveZipPage::ShowStatus(UINT textId) {
  RunOnPageThread([&] {
    m_strStatus = LoadResString(textId);
    if (!m_lblStatus.GetSafeHwnd()) return;
    SetLabelText(m_lblStatus, m_strStatus);
    m_lblStatus.ShowWindow(SW_SHOW);
  });
}

void CArchiveZipPage::HideStatus() {
  RunOnPageThread([&] {
    if (m_lblStatus.GetSafeHwnd()) m_lblStatus.ShowWindow(SW_HIDE);
  });
}

void CArchiveZipPage::UpdateCaption() {
  if (!GetSafeHwnd()) return;
  SetWindowText(m_Zip.IsClosed() ? CString("Zip") : m_Zip.GetArchivePath());
}

void CArchiveZipPage::EnableActions(BOOL enable) {
  for (int id : {static_cast<int>(IDC_DELETE), static_cast<int>(IDC_EXTRACT), static_cast<int>(IDC_COMMENT),
                 static_cast<int>(IDC_OPTIONS), static_cast<int>(IDC_TEST), static_cast<int>(IDC_ADD)})
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(enable);
}

void CArchiveZipPage::UpdateButtons() {
  // A worker at work owns the buttons until it ends.
  if (!m_strPendingPath.IsEmpty() || !GetSafeHwnd()) return;
  const bool entries = m_lstEntries.GetSafeHwnd() && m_lstEntries.GetItemCount() > 0;
  const bool open = IsOpenMode();
  if (entries) {
    SetWizardButtons(open ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_NEXT);
    EnableActions(TRUE);
  } else {
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    EnableActions(FALSE);
  }
  const bool usable = !m_Zip.IsClosed();
  if (CWnd* w = GetDlgItem(IDC_ADD)) w->EnableWindow(usable);
  if (CWnd* w = GetDlgItem(IDC_OPTIONS)) w->EnableWindow(TRUE);
  if (IsProtectedCopy()) {
    for (int id : {static_cast<int>(IDC_ADD), static_cast<int>(IDC_DELETE), static_cast<int>(IDC_COMMENT)})
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
  }
}

bool CArchiveZipPage::IsProtectedCopy() {
  CArchiveSheet* sheet = Sheet();
  return sheet && IsOpenMode() && !m_Zip.IsClosed() && !sheet->m_strOpenedCopy.IsEmpty() &&
         m_Zip.GetArchivePath() == sheet->m_strOpenedCopy;
}

bool CArchiveZipPage::Guarded(const std::function<void()>& fn) {
  try {
    fn();
    return true;
  } catch (CException* e) {
    e->Delete();
  } catch (...) {
  }
  m_bError = 1;
  return false;
}

// ---- progress ----

void CArchiveZipPage::ProgressState::Start(ULONGLONG bytes) {
  total = bytes;
  before = 0;
  unit = 1;
  while (bytes / unit > 0x7FFFFFFFull) unit <<= 1;
  if (bar) bar->Start(static_cast<int>(bytes / unit));
}

void CArchiveZipPage::ProgressState::Show(ULONGLONG done) const {
  if (bar) bar->SetPosition(static_cast<int>(done / unit));
}

bool CArchiveZipPage::ProgressCallback(DWORD, DWORD done, void* state) {
  const auto* progress = static_cast<const ProgressState*>(state);
  if (progress) progress->Show(progress->before + done);
  return true;
}

bool CArchiveZipPage::DiskPrompt(DWORD volume, int, void* argument) {
  auto* page = static_cast<CArchiveZipPage*>(argument);
  if (!page) return false;
  page->RunOnPageThread([page] { page->UpdateCaption(); });
  CString text;
  text.Format("Insert the disk number %d.", static_cast<int>(volume));
  return WorkerMessageBox(page, text, MB_OKCANCEL) == IDOK;
}

// ---- list ----

void CArchiveZipPage::RefreshList() {
  RunOnPageThread([this] {
    if (!m_lstEntries.GetSafeHwnd()) return;
    UpdateCaption();
    m_lstEntries.DeleteAllItems();
    const int count = m_Zip.IsClosed() ? 0 : m_Zip.GetCount();
    m_ctlProgress.Start(count);
    for (int i = 0; i < count; ++i) {
      CZipFileHeader header;
      if (!m_Zip.GetFileInfo(header, static_cast<WORD>(i))) continue;
      CString name = header.GetFileName();
      if (header.IsEncrypted()) name = "(*) " + name;
      const int row = m_lstEntries.InsertItem(m_lstEntries.GetItemCount(), name);
      CString text;
      m_lstEntries.SetItemText(row, 1, header.IsDirectory() ? "YES" : "NO");
      text.Format("%u", static_cast<unsigned>(header.m_uUncomprSize));
      m_lstEntries.SetItemText(row, 2, text);
      m_lstEntries.SetItemText(row, 3, EntryTime(header));
      m_lstEntries.SetItemText(row, 4, AttributeLetters(header.GetSystemAttr()));
      const unsigned long long ratio =
          header.m_uUncomprSize ? static_cast<unsigned long long>(header.m_uComprSize) * 100 / header.m_uUncomprSize : 0;
      text.Format("%d%%", static_cast<int>(ratio));
      m_lstEntries.SetItemText(row, 5, text);
      text.Format("%lu", static_cast<unsigned long>(header.m_uCrc32));
      m_lstEntries.SetItemText(row, 6, text);
      CString comment = header.GetComment();
      if (comment.GetLength() > kCommentShown) comment = comment.Left(kCommentShown) + "...";
      m_lstEntries.SetItemText(row, 7, comment);
      m_ctlProgress.SetPosition(i + 1);
      m_ctlProgress.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    m_lstEntries.AutoSizeColumns();
    // Sized to the rows alone, the short columns ("NO", "-a--") cut their headings ("Folder", "Attributes").
    for (int c = 0; c < kColumns; ++c) m_lstEntries.SetColumnWidth(c, LVSCW_AUTOSIZE_USEHEADER);
    m_ctlProgress.Hide(1);
  });
}

// ---- archive life ----

void CArchiveZipPage::CloseArchive() {
  RunOnPageThread([this] {
    try {
      if (!m_Zip.IsClosed()) m_Zip.Close(m_bError != 0);
    } catch (CException* e) {
      e->Delete();
      m_bBroken = 1;
      if (GetSafeHwnd()) AfxMessageBox(LoadResString(621), MB_OK | MB_ICONERROR);
    } catch (...) {
      m_bBroken = 1;
      if (GetSafeHwnd()) AfxMessageBox(LoadResString(621), MB_OK | MB_ICONERROR);
    }
    // An archive closed after an exception has no directory: it cannot be used as it is.
    if (m_bError) m_bBroken = 1;
    if (!GetSafeHwnd()) {
      m_bError = 0;
      return;
    }
    if (CWnd* w = GetDlgItem(IDC_COMMENT_TEXT)) w->EnableWindow(FALSE);
    m_strArchiveComment.Empty();
    if (m_strPendingPath.IsEmpty()) UpdateData(FALSE);
    RefreshList();
    m_bError = 0;
  });
}

void CArchiveZipPage::CreateArchive(const CString& path) {
  CloseArchive();
  CArchiveSheet* sheet = Sheet();
  // A temporary archive under another name is no longer wanted.
  if (sheet && !sheet->m_Data.m_strZipPath.IsEmpty() && sheet->m_Data.m_strZipPath != path)
    ::unlink(sheet->m_Data.m_strZipPath);
  m_bCommentChanged = 0;
  m_strArchiveComment.Empty();
  UpdateData(FALSE);
  const int mode = m_Options.m_nSpanMode ? CZipArchive::zipCreateSpan : CZipArchive::zipCreate;
  const int volume = m_Options.m_nSpanMode == 1 ? 0 : m_Options.m_nVolumeSize;
  if (Guarded([&] { m_Zip.Open(path, mode, volume); })) {
    m_bBroken = 0;
    if (CWnd* w = GetDlgItem(IDC_COMMENT_TEXT)) w->EnableWindow(TRUE);
  } else {
    AfxMessageBox(LoadResString(622), MB_OK | MB_ICONERROR);
    CloseArchive();
  }
  RefreshList();
  UpdateButtons();
}

void CArchiveZipPage::RecoverAfterException() {
  CArchiveSheet* sheet = Sheet();
  if (!sheet) return;
  if (IsOpenMode()) {
    OpenArchive(sheet->m_Data.m_strDestinationPath);
  } else if (!sheet->m_Data.m_strZipPath.IsEmpty()) {
    CreateArchive(sheet->m_Data.m_strZipPath);
  }
}

void CArchiveZipPage::OpenArchive(const CString& path) { StartPageWorker(path, OpenThread); }

void CArchiveZipPage::StartPageWorker(const CString& path, AFX_THREADPROC proc) {
  m_strPendingPath = path;
  // Nothing else may reach the archive until the worker is done with it.
  EnableActions(FALSE);
  SetWizardButtons(PSWIZB_DISABLEDFINISH);
  CArchiveSheet* sheet = Sheet();
  if (!sheet || !sheet->StartWorker(proc)) {
    m_strPendingPath.Empty();
    UpdateButtons();
  }
}

CArchiveZipPage* CArchiveZipPage::StartOfWorker(LPVOID argument, UINT statusId) {
  CArchiveSheet* sheet = CArchiveSheet::FromArgument(argument);
  CArchiveZipPage* page = sheet ? &sheet->m_ZipPage : nullptr;
  if (!page || !page->GetSafeHwnd()) return nullptr;
  page->ShowStatus(statusId);
  return page;
}

UINT CArchiveZipPage::OpenThread(LPVOID argument) {
  CArchiveZipPage* page = StartOfWorker(argument, 657);
  if (!page) return 1;
  CArchiveSheet* sheet = page->Sheet();
  page->CloseArchive();

  CString path = page->m_strPendingPath;
  CString copy, reason;
  bool opened = false;
  // A protected archive is looked into through a plain copy of its zip archive.
  CoInitialize(nullptr);
  const int kind = kx::archives::OpenProtectedArchive(path, copy, reason);
  CoUninitialize();
  if (kind < 0) {
    WorkerMessageBox(page, reason.IsEmpty() ? LoadResString(626) : reason, MB_OK | MB_ICONERROR);
  } else {
    if (kind > 0) {
      page->RunOnPageThread([&] {
        // The copy of an archive opened before is not needed any more.
        if (sheet->m_strOpenedCopy != copy) kx::archives::RemoveProtectedCopy(sheet->m_strOpenedCopy);
        sheet->m_strOpenedCopy = copy;
      });
      path = copy;
    }
    for (bool again = true; again;) {
      again = false;
      int cause = 0;
      try {
        page->m_Zip.Open(path, CZipArchive::zipOpen, page->m_Options.m_bOpenSpanned ? 1 : 0);
        opened = true;
      } catch (CZipException* e) {
        cause = e->m_iCause;
        e->Delete();
      } catch (CException* e) {
        e->Delete();
      } catch (...) {
      }
      if (opened) break;
      try {
        page->m_Zip.Close(true);
      } catch (CException* e) {
        e->Delete();
      } catch (...) {
      }
      if (cause == CZipException::cdirNotFound) {
        const CString question = LoadResString(623) + " " + LoadResString(624) + " " + LoadResString(625);
        again = WorkerMessageBox(page, question, MB_YESNO | MB_ICONQUESTION) == IDYES;
        if (again) continue;
      }
      WorkerMessageBox(page, LoadResString(626), MB_OK | MB_ICONERROR);
    }
  }

  page->RunOnPageThread([&] {
    page->m_strPendingPath.Empty();
    page->m_bCommentChanged = 0;
    page->m_bBroken = 0;
    page->m_strArchiveComment = opened ? page->m_Zip.GetGlobalComment() : CString();
    page->m_strStatus = LoadResString(658);
    if (page->GetSafeHwnd()) page->UpdateData(FALSE);
    page->RefreshList();
    page->EnableActions(TRUE);
    page->HideStatus();
    page->UpdateButtons();
    if (CWnd* w = page->GetDlgItem(IDC_COMMENT_TEXT)) w->EnableWindow(opened && page->m_Zip.GetSpanMode() == 0);
    sheet->EnableCancel(TRUE);
  });
  return 0;
}

// ---- adding ----

void CArchiveZipPage::ApplyPassword() {
  const CString password = m_Options.m_strPassword;
  if (m_Zip.SetPassword(password.IsEmpty() ? nullptr : static_cast<LPCSTR>(password))) return;
  m_Options.m_strPassword.Empty();
  const bool closed = m_Zip.IsClosed();
  RunOnPageThread([closed] { AfxMessageBox(LoadResString(closed ? 57355 : 57356), MB_OK | MB_ICONWARNING); });
}

void CArchiveZipPage::ScanFolder(CString folder, std::vector<AddItem>& items, ULONGLONG& total) {
  while (folder.GetLength() > 1 && folder.Right(1) == "/") folder = folder.Left(folder.GetLength() - 1);
  std::vector<CString> subfolders;
  CFileSearch search;
  for (BOOL found = search.FindFile(folder + "/*"); found; found = search.FindNextFile()) {
    if (search.IsDots()) continue;
    const CString path = folder + "/" + search.GetFileName();
    if (search.IsDirectory()) {
      // A link to a folder is not followed: the scan could come back to where it started.
      if (m_Options.m_bIncludeSubfolders && IsRealFolder(path)) subfolders.push_back(path);
      continue;
    }
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) continue;
    items.push_back({path, 0, static_cast<ULONGLONG>(st.st_size)});
    total += static_cast<ULONGLONG>(st.st_size);
  }
  search.Close();
  for (const CString& sub : subfolders) {
    items.push_back({sub, 1, 0});
    ScanFolder(sub, items, total);
  }
}

bool CArchiveZipPage::AddOne(const AddItem& item, int level, bool fullPath, ProgressState& progress,
                             std::vector<CString>& notAdded, bool& full) {
  // The archive's refusal of one entry more is no failure of the archive: the rest is named, not lost.
  if (full || m_Zip.IsFull()) {
    full = true;
    notAdded.push_back(item.path);
    return true;
  }
  bool added = false;
  const bool ok = Guarded([&] {
    added = m_Zip.AddNewFile(item.path, item.folder ? 0 : level, fullPath, ProgressCallback, &progress, kEntryBuffer);
  });
  // A failed archive is reported as such; what it lost is no list of files.
  if (!ok) notAdded.clear();
  else if (!added) notAdded.push_back(item.path);
  return ok;
}

CString CArchiveZipPage::NotAddedText(const std::vector<CString>& notAdded, bool full) {
  constexpr size_t kNamed = 20;
  CString text;
  text.Format("%d of the files chosen were not added to the archive:", static_cast<int>(notAdded.size()));
  for (size_t i = 0; i < notAdded.size() && i < kNamed; ++i) text += "\n" + notAdded[i];
  if (notAdded.size() > kNamed) {
    CString more;
    more.Format("\n... and %d more.", static_cast<int>(notAdded.size() - kNamed));
    text += more;
  }
  if (full) {
    CString limit;
    limit.Format("\n\nA zip archive holds at most %d entries.", CZipArchive::kMaxEntries);
    text += limit;
  }
  return text;
}

void CArchiveZipPage::OnAddFolder() {
  if (m_Zip.IsClosed() || !m_strPendingPath.IsEmpty() || IsProtectedCopy()) return;
  CFolderBrowser chooser;
  chooser.m_hWndOwner = GetSafeHwnd();
  chooser.m_strTitle = LoadResString(616);
  CString folder;
  if (!chooser.Browse(folder) || folder.IsEmpty()) return;
  StartPageWorker(folder, AddFolderThread);
}

UINT CArchiveZipPage::AddFolderThread(LPVOID argument) {
  CArchiveZipPage* page = StartOfWorker(argument, 655);
  if (!page) return 1;
  CArchiveSheet* sheet = page->Sheet();
  page->ApplyPassword();
  const CString folder = page->m_strPendingPath;
  page->m_Zip.SetRootPath(folder);

  std::vector<AddItem> items;
  ULONGLONG total = 0;
  page->ScanFolder(folder, items, total);
  ProgressState progress;
  progress.bar = &page->m_ctlProgress;
  progress.Start(total);
  const int level = page->m_Options.m_nLevel;
  std::vector<CString> notAdded;
  bool full = false;
  for (const AddItem& item : items) {
    const bool ok = page->AddOne(item, level, false, progress, notAdded, full);
    if (!ok) break;
    progress.before += item.size;
  }
  const bool failed = page->m_bError != 0;
  if (failed) {
    WorkerMessageBox(page, Strings(617, 615), MB_OK | MB_ICONERROR);
    page->CloseArchive();
  }

  page->RunOnPageThread([&] {
    page->m_bFilesLost = failed ? 1 : 0;
    page->m_ctlProgress.Hide(1);
    page->m_strStatus = LoadResString(656);
    if (page->GetSafeHwnd()) page->UpdateData(FALSE);
    page->RefreshList();
    page->m_strPendingPath.Empty();
    page->HideStatus();
    page->EnableActions(TRUE);
    page->UpdateButtons();
    sheet->EnableCancel(TRUE);
    if (page->m_bBroken) page->RecoverAfterException();
  });
  // Said once the list shows what the archive took.
  if (!notAdded.empty()) WorkerMessageBox(page, NotAddedText(notAdded, full), MB_OK | MB_ICONWARNING);
  return 0;
}

void CArchiveZipPage::OnAddFiles() {
  if (m_Zip.IsClosed() || !m_strPendingPath.IsEmpty() || IsProtectedCopy()) return;
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     LoadResString(268), this);
  const CString title = LoadResString(659);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  ApplyPassword();
  std::vector<AddItem> items;
  ULONGLONG total = 0;
  for (POSITION pos = dialog.GetStartPosition(); pos;) {
    const CString path = dialog.GetNextPathName(pos);
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) continue;
    items.push_back({path, 0, static_cast<ULONGLONG>(st.st_size)});
    total += static_cast<ULONGLONG>(st.st_size);
  }
  ProgressState progress;
  progress.bar = &m_ctlProgress;
  progress.Start(total);
  std::vector<CString> notAdded;
  bool full = false;
  for (const AddItem& item : items) {
    if (!AddOne(item, m_Options.m_nLevel, true, progress, notAdded, full))
      break;
    progress.before += item.size;
  }
  m_bFilesLost = m_bError ? 1 : 0;
  if (m_bError) {
    AfxMessageBox(Strings(614, 615), MB_OK | MB_ICONERROR);
    CloseArchive();
  }
  m_ctlProgress.Hide(1);
  RefreshList();
  UpdateButtons();
  if (m_bBroken) RecoverAfterException();
  if (!notAdded.empty()) AfxMessageBox(NotAddedText(notAdded, full), MB_OK | MB_ICONWARNING);
}

// ---- the other actions ----

void CArchiveZipPage::OnDelete() {
  if (m_Zip.IsClosed() || IsProtectedCopy()) return;
  kx::archives::WaitCursor wait(this);
  CDWordArray rows;
  m_lstEntries.GetSelectedIndices(rows);
  if (rows.GetSize() == 0) return;
  CZipWordArray indexes;
  for (INT_PTR i = 0; i < rows.GetSize(); ++i) indexes.Add(static_cast<WORD>(rows[i]));
  if (!Guarded([&] { m_Zip.DeleteFiles(indexes); })) {
    AfxMessageBox(Strings(618, 615), MB_OK | MB_ICONERROR);
    CloseArchive();
  }
  RefreshList();
  UpdateButtons();
  if (m_bBroken) RecoverAfterException();
}

void CArchiveZipPage::OnExtract() {
  if (m_Zip.IsClosed()) return;
  CDWordArray rows;
  m_lstEntries.GetSelectedIndices(rows);
  if (rows.GetSize() == 0) return;
  CFolderBrowser chooser;
  chooser.m_hWndOwner = GetSafeHwnd();
  chooser.m_strTitle = LoadResString(619);
  // Opening, the folder chosen on the task page (or the profile's output folder) comes first.
  if (CArchiveSheet* sheet = Sheet(); sheet && IsOpenMode()) {
    chooser.m_strInitialSelection = sheet->m_Data.m_strChosenPath;
    if (chooser.m_strInitialSelection.IsEmpty()) {
      CSystemProfile profile;
      profile.Load();
      if (profile.OutputOption == 1) chooser.m_strInitialSelection = profile.OutputFolder;
    }
  }
  CString folder;
  if (!chooser.Browse(folder) || folder.IsEmpty()) return;
  kx::archives::WaitCursor wait(this);
  ULONGLONG total = 0;
  for (INT_PTR i = 0; i < rows.GetSize(); ++i) {
    CZipFileHeader header;
    if (m_Zip.GetFileInfo(header, static_cast<WORD>(rows[i]))) total += header.m_uUncomprSize;
  }
  ProgressState progress;
  progress.bar = &m_ctlProgress;
  progress.Start(total);
  ApplyPassword();
  bool failed = false;
  for (INT_PTR i = 0; i < rows.GetSize() && !failed; ++i) {
    const WORD index = static_cast<WORD>(rows[i]);
    CZipFileHeader header;
    m_Zip.GetFileInfo(header, index);
    bool extracted = false;
    if (!Guarded([&] { extracted = m_Zip.ExtractFile(index, folder, true, nullptr, ProgressCallback, &progress, kEntryBuffer); })) {
      Guarded([&] { m_Zip.CloseFile(nullptr, true); });
    }
    // An entry that was not written (a wrong or missing password, an unsafe name) fails the extraction too.
    failed = !extracted;
    progress.before += header.m_uUncomprSize;
  }
  m_bError = 0;
  if (failed) AfxMessageBox(LoadResString(620), MB_OK | MB_ICONERROR);
  m_ctlProgress.Hide(1);
}

void CArchiveZipPage::OnTest() {
  if (m_Zip.IsClosed()) return;
  CDWordArray rows;
  m_lstEntries.GetSelectedIndices(rows);
  if (rows.GetSize() == 0) return;
  ApplyPassword();
  ULONGLONG total = 0;
  for (INT_PTR i = 0; i < rows.GetSize(); ++i) {
    CZipFileHeader header;
    if (m_Zip.GetFileInfo(header, static_cast<WORD>(rows[i]))) total += header.m_uUncomprSize;
  }
  ProgressState progress;
  progress.bar = &m_ctlProgress;
  progress.Start(total);
  CString report;
  for (INT_PTR i = 0; i < rows.GetSize(); ++i) {
    const WORD index = static_cast<WORD>(rows[i]);
    CZipFileHeader header;
    m_Zip.GetFileInfo(header, index);
    bool passed = false;
    if (!Guarded([&] { passed = m_Zip.TestFile(index, ProgressCallback, &progress, kEntryBuffer); })) {
      Guarded([&] { m_Zip.CloseFile(nullptr, true); });
      passed = false;
    }
    report += header.GetFileName() + "  -  " + LoadResString(passed ? 627 : 362) + "\r\n";
    progress.before += header.m_uUncomprSize;
  }
  m_bError = 0;
  m_ctlProgress.Hide(1);
  CTextReportDlg dialog(this);
  dialog.m_pText = &report;
  dialog.DoModal();
}

void CArchiveZipPage::OnComment() {
  if (m_Zip.IsClosed() || m_Zip.GetSpanMode() < 0 || IsProtectedCopy()) return;
  const int row = m_lstEntries.GetSelectedIndex();
  if (row < 0) return;
  CZipFileHeader header;
  if (!m_Zip.GetFileInfo(header, static_cast<WORD>(row))) return;
  CArchiveTextDlg dialog(this);
  dialog.m_strText = header.GetComment();
  if (dialog.DoModal() != IDOK || dialog.m_strText.Collate(header.GetComment()) == 0) return;
  if (!Guarded([&] { m_Zip.SetFileComment(static_cast<WORD>(row), dialog.m_strText); })) m_bError = 0;
  RefreshList();
}

void CArchiveZipPage::OnOptions() {
  CArchiveZipOptionsDlg dialog(&m_Options, this);
  if (dialog.DoModal() != IDOK) return;
  m_Options.Save();
  if (!m_Options.m_strPassword.IsEmpty()) ApplyPassword();
}

void CArchiveZipPage::OnListDblClk(NMHDR*, LRESULT* pResult) {
  OnComment();
  if (pResult) *pResult = 0;
}

void CArchiveZipPage::OnListItemChanged(NMHDR*, LRESULT* pResult) {
  if (pResult) *pResult = 0;
}

void CArchiveZipPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == 1) KillTimer(1);
}

void CArchiveZipPage::OnDestroy() {
  CloseArchive();
  CWorkerPage::OnDestroy();
}
