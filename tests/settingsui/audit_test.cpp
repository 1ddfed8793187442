// The audit sheet through its export: it lists what the audit writer appended (and records its own opening),
// exports the log as CR LF text, shows it as a temporary file, deletes it, and saves the audit options. And
// the entry record and list the log file is made of.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "formats/AuditLog.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "platform/win32/stateroot.h"
#include "settingsui/settings_fixture.h"

namespace {

using namespace settingstest;

const char kAuditKey[] = "Software\\Kesmora\\OfficeTolvex\\Audit_Event_Log";
const char kRule[] = "-------------------------------------------------";

struct Row {
  std::string operation, severity, when, message;
};

std::vector<Row> ListRows(kx::UiDriver& d, HWND page) {
  kx::ControlDriver c(d);
  HWND list = d.Control(page, 1033);
  std::vector<Row> rows;
  for (int r = 0; r < c.ListRowCount(list); ++r)
    rows.push_back({c.ListText(list, r, 0), c.ListText(list, r, 1), c.ListText(list, r, 2), c.ListText(list, r, 3)});
  return rows;
}

// The entries of the log file the writer uses now.
std::vector<Row> LogEntries() {
  CAuditLog settings;
  CString path;
  std::vector<Row> rows;
  if (!settings.GetLogFilePath(path)) return rows;
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> file(manager.OpenFile(path));
  auto* log = dynamic_cast<CAuditLogFile*>(file.get());
  CAuditLogEntry e;
  for (DWORD i = 0; log && log->m_entries.GetAt(e, i); ++i)
    rows.push_back({std::string(e.GetOperation()), std::string(e.GetSeverity()), std::string(e.GetDateTime()),
                    std::string(e.GetMessage())});
  return rows;
}

std::vector<bool> LogButtons(kx::UiDriver& d, HWND page) {
  return {d.IsEnabled(d.Control(page, 1012)), d.IsEnabled(d.Control(page, 1073)), d.IsEnabled(d.Control(page, 1051))};
}

class AuditSheet : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    CAuditLog writer;
    writer.Load();
    writer.LogInformation("Encrypt Operation", "report.txt was encrypted for 2 recipients.");
    writer.LogError("Sign Operation", "No signer certificate was chosen.");
  }
  // Opens the sheet on its viewer page and runs the script there.
  void Open(const std::function<void(kx::UiDriver&, HWND sheet, HWND viewer)>& script) {
    INT_PTR result = ShowWindowExport("DisplayAuditEventLog", [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Auditing and Event Log");
      script(d, sheet, Page(d, sheet, 4234));
      if (IsWindow(sheet)) {
        d.Click(d.Control(sheet, IDCANCEL));
        d.WaitForGone(sheet);
      }
    });
    EXPECT_EQ(result, 1);
  }
};

TEST_F(AuditSheet, ListsTheWritersEntriesAfterRecordingItsOwnOpening) {
  std::vector<Row> rows;
  Open([&](kx::UiDriver& d, HWND sheet, HWND viewer) {
    Shot(d, sheet, "audit-log");
    EXPECT_EQ(TabTitles(d, sheet), (std::vector<std::string>{"Event Log", "Audit Options"}));
    rows = ListRows(d, viewer);
    EXPECT_EQ(LogButtons(d, viewer), (std::vector<bool>{true, true, true}));
  });
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].operation, "Encrypt Operation");
  EXPECT_EQ(rows[0].severity, "Information");
  EXPECT_EQ(rows[0].message, "report.txt was encrypted for 2 recipients.");
  EXPECT_EQ(rows[1].operation, "Sign Operation");
  EXPECT_EQ(rows[1].severity, "Fatal Error");
  EXPECT_EQ(rows[2].operation, "Audit Event Log");
  EXPECT_EQ(rows[2].severity, "Information");
  EXPECT_EQ(rows[2].message, "The audit event log was opened for viewing.");
  EXPECT_FALSE(rows[2].when.empty());
  EXPECT_EQ(LogEntries().size(), 3u);
}

TEST_F(AuditSheet, ExportWritesTheLogAsCrLfTextAndReplacesAnExistingFileAfterAsking) {
  std::string folder = kxtest::MakeTempDir("export");
  std::vector<Row> rows;
  Open([&](kx::UiDriver& d, HWND, HWND viewer) {
    kx::ControlDriver c(d);
    rows = ListRows(d, viewer);
    d.Click(d.Control(viewer, 1073));
    // A name without an extension gets ".txt".
    c.FillFileDialog(folder, {"audit"});
    EXPECT_EQ(d.AnswerMessageBox(IDNO), "The audit event log was exported. Do you want to open the text file now?");
    kxtest::WriteFile(folder + "/audit.txt", "old contents\n");
    d.Click(d.Control(viewer, 1073));
    c.FillFileDialog(folder, {"audit.txt"});
    d.AnswerMessageBox(IDYES);  // replace it
    d.AnswerMessageBox(IDNO);
  });
  ASSERT_EQ(rows.size(), 3u);
  std::string text = kxtest::ReadFile(folder + "/audit.txt");
  std::string expected = std::string(kRule) + "\r\n       Audit Event Log\r\n       Date and Time: ";
  ASSERT_EQ(text.compare(0, expected.size(), expected), 0) << text;
  size_t header = text.find("\r\n" + std::string(kRule) + "\r\n");
  ASSERT_NE(header, std::string::npos);
  std::string entries;
  for (const Row& r : rows)
    entries += "Severity: " + r.severity + "\r\nDate and Time: " + r.when + "\r\nOperation: " + r.operation +
               "\r\nMessage: " + r.message + "\r\n" + kRule + "\r\n";
  EXPECT_EQ(text.substr(header + 2 + sizeof kRule - 1 + 2), entries);
  std::string kind;
  kxtest::Run("file -b '" + folder + "/audit.txt'", &kind);
  EXPECT_NE(kind.find("CRLF line terminators"), std::string::npos) << kind;
}

TEST_F(AuditSheet, ViewOpensATextCopyInTheUsersTemporaryFolder) {
  std::string opened = kxtest::MakeTempDir("opener") + "/opened";
  std::string opener = kxtest::Root() + "/opener.sh";
  kxtest::WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + "'\n");
  kxtest::Run("chmod +x '" + opener + "'");
  setenv("KX_DESKTOP_OPENER", opener.c_str(), 1);
  setenv("DISPLAY", ":kxtest", 1);
  Open([&](kx::UiDriver& d, HWND, HWND viewer) {
    d.Click(d.Control(viewer, 1012));
    d.WaitUntil([&] { return !kxtest::ReadFile(opened).empty(); }, "the opener to be started");
  });
  unsetenv("DISPLAY");
  unsetenv("KX_DESKTOP_OPENER");
  std::string path = kxtest::ReadFile(opened);
  EXPECT_EQ(path, kx::TempDir() + "KX_TMP_LOG.TXT");
  EXPECT_NE(kxtest::ReadFile(path).find("Operation: Sign Operation\r\n"), std::string::npos);
  // The temporary folder may be shared: the copy of the log is for its owner only.
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(AuditSheet, DeleteEmptiesTheLogAndTheOptionsStopTheRecording) {
  Open([&](kx::UiDriver& d, HWND sheet, HWND viewer) {
    d.Click(d.Control(viewer, 1051));
    EXPECT_EQ(d.AnswerMessageBox(IDNO), "Do you want to delete the audit event log? Its entries cannot be restored.");
    EXPECT_EQ(ListRows(d, viewer).size(), 3u);
    d.Click(d.Control(viewer, 1051));
    d.AnswerMessageBox(IDYES);
    EXPECT_EQ(ListRows(d, viewer).size(), 0u);
    EXPECT_EQ(LogButtons(d, viewer), (std::vector<bool>{false, false, false})) << "nothing to export";

    HWND options = ShowTab(d, sheet, 1, 4235);
    Shot(d, sheet, "audit-options");
    EXPECT_EQ(LogButtons(d, options), (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(d.IsChecked(d.Control(options, 1079)));
    EXPECT_TRUE(d.IsChecked(d.Control(options, 1075)));
    d.SetCheck(d.Control(options, 1079), false);
    d.Click(d.Control(options, 1076));
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(LogEntries().size(), 0u);
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kAuditKey, "ENABLE_LOG"), "dword:0");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kAuditKey, "AUDIT_STAMP_OPTION"), "dword:1");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kAuditKey, "REPORT_ERRORS"), "dword:1");
  // With recording off, opening the log only reads it.
  Open([&](kx::UiDriver& d, HWND, HWND viewer) { EXPECT_EQ(ListRows(d, viewer).size(), 0u); });
  EXPECT_EQ(LogEntries().size(), 0u);
}

// ---- the entry and the list ----

TEST(AuditLogEntry, SetCopiesTheGivenTextsCutToTheirFieldsAndKnownSeveritiesOnly) {
  CAuditLogEntry e;
  CString op, when, message, severity;
  e.Get(op, when, message, severity);
  EXPECT_TRUE(op.IsEmpty() && when.IsEmpty() && message.IsEmpty() && severity.IsEmpty());
  EXPECT_EQ(sizeof(CAuditLogEntry), 1584u);

  e.Set("Encrypt", "1/2/2024 3:04:05 PM", "done", 3);
  e.Get(op, when, message, severity);
  EXPECT_EQ(severity, "") << "an unknown code leaves the field";
  struct Case {
    int code;
    const char* word;
  } cases[] = {{0, "Information"}, {1, "Warning"}, {2, "Fatal Error"}, {-1, "Fatal Error"}, {7, "Fatal Error"}};
  for (const Case& k : cases) {
    e.Set(nullptr, nullptr, nullptr, k.code);
    e.Get(op, when, message, severity);
    EXPECT_EQ(severity, k.word) << k.code;
  }
  EXPECT_EQ(op, "Encrypt") << "a null text leaves its field";
  EXPECT_EQ(when, "1/2/2024 3:04:05 PM");
  EXPECT_EQ(message, "done");

  std::string longText(2000, 'm');
  e.Set(std::string(300, 'o').c_str(), std::string(300, 'd').c_str(), longText.c_str(), 0);
  e.Get(op, when, message, severity);
  EXPECT_EQ(message.GetLength(), 1023);
  EXPECT_EQ(op.GetLength(), 254);
  EXPECT_EQ(when.GetLength(), 254);
  EXPECT_EQ(e.m_szMessage[1023], 0);
}

TEST(AuditLogEntryList, AddsCopiesAndRefusesAnIndexBeyondTheCount) {
  CAuditLogEntryList list;
  CAuditLogEntry out;
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_FALSE(list.GetAt(out, 0));
  CAuditLogEntry e;
  e.Set("Sign", "now", "signed", 1);
  ASSERT_TRUE(list.Add(e));
  e.Set("Changed", nullptr, nullptr, 2);
  ASSERT_TRUE(list.GetAt(out, 0));
  EXPECT_EQ(memcmp(&out, &list.GetAt(0), sizeof out), 0);
  EXPECT_EQ(out.GetOperation(), "Sign") << "the list holds its own copy";
  EXPECT_EQ(out.GetSeverity(), "Warning");
  CAuditLogEntry untouched;
  untouched.Set("kept", nullptr, nullptr, 0);
  EXPECT_FALSE(list.GetAt(untouched, 1));
  EXPECT_EQ(untouched.GetOperation(), "kept");
  EXPECT_EQ(CAuditLogEntryList::kMaxCount, 2711469u);
}

}  // namespace
