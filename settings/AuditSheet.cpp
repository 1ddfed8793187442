#include "settings/AuditSheet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "app/ResString.h"
#include "controls/ShellOpen.h"
#include "core/ByteBuffer.h"
#include "core/DateTime.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/win32/files.h"

namespace {

constexpr int kListId = 1033;
constexpr int kDeleteButton = 1051;
constexpr int kExportButton = 1073;
constexpr int kViewButton = 1012;
constexpr int kRefreshButton = 1053;
// Row icons of the report list by severity: information, warning, fatal error.
constexpr UINT kSeverityImages[] = {6, 5, 7};

const char kRule[] = "-------------------------------------------------";

CString Now() {
  char text[256] = {};
  CDateTime(CLocalTime().m_time).Format(text, sizeof text, 0, 1024);
  return text;
}

// The audit log's entries; false when the log cannot be opened.
template <class Visit>
bool ForEachEntry(Visit visit) {
  CAuditLog settings;
  CString path;
  if (!settings.GetLogFilePath(path) || path.IsEmpty()) return false;
  // A plain log is read entry by entry: a large one is never held whole beside the rows made from it.
  CString marker;
  if (ReadFileMarker(path, marker) && marker == "KALF") return CAuditLogFile::ForEachEntryInFile(path, visit);
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> file(manager.OpenFile(path));
  auto* log = dynamic_cast<CAuditLogFile*>(file.get());
  if (log) {
    CAuditLogEntry entry;
    for (DWORD i = 0; log->m_entries.GetAt(entry, i); ++i) visit(entry);
  }
  file.reset();
  manager.Reset();
  return log != nullptr;
}

void EnableLogButtons(CWnd* page, BOOL enable) {
  for (int id : {kViewButton, kExportButton, kDeleteButton})
    if (CWnd* button = page->GetDlgItem(id)) button->EnableWindow(enable);
}

// Asks, then deletes the log file and forgets its path (the next entry starts a new log). Whether it was
// deleted.
bool DeleteAuditLog(CWnd* owner) {
  if (owner->MessageBox(LoadResString(481), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  CAuditLog settings;
  CString path;
  settings.GetLogFilePath(path);
  if (path.IsEmpty()) return false;
  DeleteFileA(path);
  settings.ClearLogFilePath();
  return true;
}

void ExportAuditLog(CWnd* owner) {
  CString filter = LoadResString(482);
  CString title = LoadResString(483);
  CFileDialog dialog(FALSE, "txt", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, owner);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  CString path = dialog.GetPathName();
  if (!WriteAuditLogText(path)) {
    owner->MessageBox(LoadResString(213), nullptr, MB_OK | MB_ICONSTOP);
    return;
  }
  if (owner->MessageBox(LoadResString(484), nullptr, MB_YESNO | MB_ICONQUESTION) == IDYES) ShellOpen(path);
}

// Writes text to path readable by its owner only: the temporary folder may be shared with other users.
// A file of that name is replaced, never written through (a link in its place is replaced too).
bool WritePrivateText(const CString& path, const CString& text) {
  CString temp;
  temp.Format("%s.%ld.kxtmp", static_cast<const char*>(path), static_cast<long>(getpid()));
  const int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const char* at = text;
  size_t left = static_cast<size_t>(text.GetLength());
  bool ok = true;
  while (ok && left > 0) {
    const ssize_t n = write(fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += n, left -= static_cast<size_t>(n);
  }
  ok = close(fd) == 0 && ok && rename(temp, path) == 0;
  if (!ok) unlink(temp);
  return ok;
}

// The log as a text file of the user's temporary folder, opened for reading.
void ViewAuditLog() {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(sizeof folder, folder);
  CString path = folder;
  if (path.IsEmpty() || path.Right(1) != "/") path += "/";
  path += "KX_TMP_LOG.TXT";
  CString text;
  if (FormatAuditLogText(text) && WritePrivateText(path, text)) ShellOpen(path);
}

}  // namespace

bool FormatAuditLogText(CString& out) {
  const CString severity = LoadResString(491), when = LoadResString(487), operation = LoadResString(492),
                message = LoadResString(488);
  CString text;
  text += CString(kRule) + "\r\n";
  text += "       " + LoadResString(490) + "\r\n";
  text += "       " + when + ": " + Now() + "\r\n";
  text += CString(kRule) + "\r\n";
  bool opened = ForEachEntry([&](const CAuditLogEntry& e) {
    text += severity + ": " + e.GetSeverity() + "\r\n";
    text += when + ": " + e.GetDateTime() + "\r\n";
    text += operation + ": " + e.GetOperation() + "\r\n";
    text += message + ": " + e.GetMessage() + "\r\n";
    text += CString(kRule) + "\r\n";
  });
  if (!opened) return false;
  out = text;
  return true;
}

bool WriteAuditLogText(const char* path) {
  CString text;
  if (!path || !*path || !FormatAuditLogText(text)) return false;
  CByteBuffer bytes(static_cast<DWORD>(text.GetLength()), static_cast<LPCSTR>(text), false);
  return kx::formats::ReplaceFile(path, bytes);
}

// ---- viewer page ----

BEGIN_MESSAGE_MAP(CAuditLogViewPage, CPropertyPage)
  ON_BN_CLICKED(kDeleteButton, OnDelete)
  ON_BN_CLICKED(kExportButton, OnExport)
  ON_BN_CLICKED(kViewButton, OnView)
  ON_BN_CLICKED(kRefreshButton, OnRefresh)
END_MESSAGE_MAP()

CAuditLogViewPage::CAuditLogViewPage() : CPropertyPage(IDD) {}

void CAuditLogViewPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1074, m_label);
  DDX_Control(pDX, kListId, m_list);
}

BOOL CAuditLogViewPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  CAuditLog settings;
  settings.Load();
  // Opening the log is itself an audited event.
  settings.LogInformation(LoadResString(480), LoadResString(218));
  m_list.SetFullRowDraw(TRUE);
  // The list is filled when the page shows, which follows at once: filling it here as well read the whole
  // log twice on every opening.
  return TRUE;
}

BOOL CAuditLogViewPage::OnSetActive() {
  BeginWaitCursor();
  FillList();
  EndWaitCursor();
  return CPropertyPage::OnSetActive();
}

bool CAuditLogViewPage::HasRows() const { return m_list.GetSafeHwnd() && m_list.GetItemCount() > 0; }

void CAuditLogViewPage::FillList() {
  if (!m_list.GetSafeHwnd()) return;
  CStringList columns[4];
  CUIntArray states, images;
  const bool read = ForEachEntry([&](const CAuditLogEntry& e) {
    columns[0].AddTail(e.GetOperation());
    columns[1].AddTail(e.GetSeverity());
    columns[2].AddTail(e.GetDateTime());
    columns[3].AddTail(e.GetMessage());
    UINT image = kSeverityImages[0];
    if (e.GetSeverity() == CAuditLogEntry::SeverityText(CAuditLogEntry::kWarning)) image = kSeverityImages[1];
    if (e.GetSeverity() == CAuditLogEntry::SeverityText(CAuditLogEntry::kFatalError)) image = kSeverityImages[2];
    images.Add(image);
    states.Add(0);
  });
  // A log that failed part way shows nothing rather than some of its entries.
  if (!read) {
    for (auto& column : columns) column.RemoveAll();
    states.RemoveAll();
    images.RemoveAll();
  }
  m_list.DeleteAllItems();
  CStringList headings;
  for (UINT id = 485; id <= 488; ++id) headings.AddTail(LoadResString(id));
  m_list.SetHeadings(headings);
  for (int c = 0; c < 4; ++c) m_list.SetColumnData(c, columns[c]);
  m_list.SetItemStates(states);
  m_list.SetItemImages(images);
  m_list.Populate();
  const int widths[] = {110, 150, 150, 300};
  for (int c = 0; c < 4; ++c) m_list.SetColumnWidth(c, widths[c]);
  const bool rows = m_list.GetItemCount() > 0;
  if (rows) m_list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EnableLogButtons(this, rows ? TRUE : FALSE);
  Invalidate();
}

void CAuditLogViewPage::OnDelete() {
  if (DeleteAuditLog(this)) FillList();
}

void CAuditLogViewPage::OnExport() {
  if (HasRows()) ExportAuditLog(this);
}

void CAuditLogViewPage::OnView() {
  if (HasRows()) ViewAuditLog();
}

void CAuditLogViewPage::OnRefresh() {
  BeginWaitCursor();
  FillList();
  EndWaitCursor();
}

// ---- option page ----

IMPLEMENT_DYNCREATE(CAuditOptionPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CAuditOptionPage, CPropertyPage)
  ON_BN_CLICKED(1079, OnOptionChanged)
  ON_BN_CLICKED(1080, OnOptionChanged)
  ON_BN_CLICKED(1077, OnOptionChanged)
  ON_BN_CLICKED(1078, OnOptionChanged)
  ON_BN_CLICKED(1075, OnOptionChanged)
  ON_BN_CLICKED(1076, OnOptionChanged)
  ON_BN_CLICKED(kDeleteButton, OnDelete)
  ON_BN_CLICKED(kExportButton, OnExport)
  ON_BN_CLICKED(kViewButton, OnView)
END_MESSAGE_MAP()

CAuditOptionPage::CAuditOptionPage() : CPropertyPage(IDD) {}

void CAuditOptionPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, 1079, m_bEnableLog);
  DDX_Check(pDX, 1080, m_bExcludeBrastelLog);
  DDX_Check(pDX, 1077, m_bReportErrors);
  DDX_Check(pDX, 1078, m_bMonitorLdapErrors);
  DDX_Radio(pDX, 1075, m_nStampOption);
}

BOOL CAuditOptionPage::OnInitDialog() {
  m_Settings.Load();
  m_bEnableLog = static_cast<int>(m_Settings.m_nEnableLog);
  m_bExcludeBrastelLog = static_cast<int>(m_Settings.m_nExcludeBrastelLog);
  m_bReportErrors = static_cast<int>(m_Settings.m_nReportErrors);
  m_bMonitorLdapErrors = static_cast<int>(m_Settings.m_nMonitorLdapErrors);
  m_nStampOption = static_cast<int>(m_Settings.m_nStampOption);
  CPropertyPage::OnInitDialog();
  return TRUE;
}

bool CAuditOptionPage::ViewerHasRows() {
  auto* sheet = dynamic_cast<CAuditSheet*>(GetParentSheet());
  return sheet && sheet->m_ViewPage.HasRows();
}

BOOL CAuditOptionPage::OnSetActive() {
  EnableLogButtons(this, ViewerHasRows() ? TRUE : FALSE);
  return CPropertyPage::OnSetActive();
}

BOOL CAuditOptionPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  m_Settings.m_nEnableLog = static_cast<DWORD>(m_bEnableLog);
  m_Settings.m_nExcludeBrastelLog = static_cast<DWORD>(m_bExcludeBrastelLog);
  m_Settings.m_nReportErrors = static_cast<DWORD>(m_bReportErrors);
  m_Settings.m_nMonitorLdapErrors = static_cast<DWORD>(m_bMonitorLdapErrors);
  m_Settings.m_nStampOption = static_cast<DWORD>(m_nStampOption);
  m_Settings.Save();
  return CPropertyPage::OnApply();
}

void CAuditOptionPage::OnOptionChanged() {
  UpdateData(TRUE);
  SetModified(TRUE);
}

void CAuditOptionPage::OnDelete() {
  if (DeleteAuditLog(this)) EnableLogButtons(this, FALSE);
}

void CAuditOptionPage::OnExport() {
  if (ViewerHasRows()) ExportAuditLog(this);
}

void CAuditOptionPage::OnView() {
  if (ViewerHasRows()) ViewAuditLog();
}

// ---- sheet ----

IMPLEMENT_DYNAMIC(CAuditSheet, CSettingsSheet)
IMPLEMENT_SHEET_CLASS(CAuditSheet, SHEET_CLASS(CBaseSheet), "Auditing And Event Log", 0, 0, 0)

CAuditSheet::CAuditSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSettingsSheet(caption, pParentWnd, selectPage) {
  EnableHeader(TRUE);
}

BOOL CAuditSheet::AddPages() {
  CreatePageImageLists();
  AddPageWithIcon(&m_ViewPage, 1109, LoadResString(5253), LoadResString(5255));
  AddPageWithIcon(&m_OptionPage, 1102, LoadResString(5254), LoadResString(5256));
  return TRUE;
}
