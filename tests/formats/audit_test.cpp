// The audit settings and the writer: where the log lives, what an entry holds, and what happens to logs that
// are gone, damaged or not logs at all; appends from threads and from processes, and entries acknowledged to a
// process that is then killed.
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/SettingsStore.h"
#include "formats/AuditLog.h"
#include "formats/AuditLogFile.h"
#include "formats/formats_test.h"
#include "platform/win32/files.h"
#include "platform/win32/stateroot.h"

extern char** environ;

using namespace kxtest;

namespace {

const char kBase[] = "Software\\Kesmora\\OfficeTolvex";

class AuditTest : public FormatsTest {
 protected:
  void SetUp() override {
    FormatsTest::SetUp();
    m_folder = MakeTempDir("My OneClick Settings");
    Hive().SetString("OneClickManager", "OneClickFolder", CString(m_folder.c_str()));
  }
  static CHiveSettings Hive() {
    CHiveSettings h(kBase);
    h.UseCurrentUser();
    return h;
  }
  static std::string StoredPath() {
    CString path;
    Hive().GetString("Audit_Event_Log", "AUDIT_LOG_FILE", path, CString());
    return path.GetString();
  }
  static void SetDword(const char* name, DWORD v) { Hive().SetDword("Audit_Event_Log", name, v); }
  // The entries of the log at path (empty when it does not open as a log).
  static std::vector<CAuditLogEntry> Entries(const std::string& path) {
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> f(manager.OpenFile(path.c_str()));
    std::vector<CAuditLogEntry> out;
    if (auto* log = dynamic_cast<CAuditLogFile*>(f.get()))
      for (DWORD i = 0; i < log->m_entries.GetCount(); ++i) out.push_back(log->m_entries.GetAt(i));
    return out;
  }
  std::string DefaultLog() const { return m_folder + "/OfficeTolvex.Alf"; }
  static std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }
  // The log at path holds the messages in order, its count says so and its trailer is the SHA-1 of its
  // payload as openssl takes it.
  void ExpectWholeLog(const std::string& path, const std::vector<std::string>& messages) {
    auto entries = Entries(path);
    std::vector<std::string> got;
    for (const auto& e : entries) got.push_back(e.GetMessage().GetString());
    EXPECT_EQ(got, messages);
    std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 21u + 4 + messages.size() * 1584 + 20);
    EXPECT_EQ(WordAt(bytes, 21), messages.size());
    std::string digest = Root() + "/digest";
    ASSERT_EQ(kxtest::Run("tail -c +22 '" + path + "' | head -c -20 | openssl sha1 -binary > '" + digest + "'"), 0);
    EXPECT_EQ(Hex(ReadFile(digest)), Hex(bytes.substr(bytes.size() - 20)));
  }
  // Replaces the log at path with one holding messages.
  static void WriteLog(const std::string& path, const std::vector<std::string>& messages) {
    CFileManager manager;
    std::unique_ptr<CAuditLogFile> log(static_cast<CAuditLogFile*>(manager.CreateFileObject("KALF")));
    ASSERT_TRUE(log);
    for (const auto& m : messages) log->m_entries.Add(CAuditLogEntry("op", "now", "Information", m.c_str()));
    ASSERT_TRUE(log->Save(path.c_str()));
  }
  // A log at the default path with count old entries, stored as the log to write to.
  void StartLog(size_t count) {
    std::vector<std::string> messages;
    for (size_t i = 0; i < count; ++i) messages.push_back("old " + std::to_string(i));
    WriteLog(DefaultLog(), messages);
    Hive().SetString("Audit_Event_Log", "AUDIT_LOG_FILE", CString(DefaultLog().c_str()));
  }
  std::string m_folder;
};

}  // namespace

TEST_F(AuditTest, SettingsDefaultsAndStore) {
  CAuditLog a;
  EXPECT_EQ(a.m_nEnableLog, 1u);
  EXPECT_EQ(a.m_nStampOption, 0u);
  SetDword("REPORT_ERRORS", 0);
  SetDword("AUDIT_STAMP_OPTION", 3);
  EXPECT_TRUE(a.Load());
  EXPECT_EQ(a.m_nReportErrors, 0u);
  EXPECT_EQ(a.m_nStampOption, 3u);
  EXPECT_EQ(a.m_nMonitorLdapErrors, 1u);
  a.m_nExcludeBrastelLog = 0;
  EXPECT_TRUE(a.Save());
  CAuditLog b;
  b.Load();
  EXPECT_EQ(b.m_nExcludeBrastelLog, 0u);
}

TEST_F(AuditTest, FirstEntryMakesTheDefaultLog) {
  CAuditLog a;
  a.Load();
  a.LogInformation("Encrypt Operation", "File encrypted");
  EXPECT_EQ(StoredPath(), DefaultLog());
  auto entries = Entries(DefaultLog());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_STREQ(entries[0].GetOperation(), "Encrypt Operation");
  EXPECT_STREQ(entries[0].GetSeverity(), "Information");
  EXPECT_STREQ(entries[0].GetMessage(), "File encrypted");
  EXPECT_FALSE(entries[0].GetDateTime().IsEmpty());
  a.LogError("Signer Wizard Fatal", std::string(2000, 'm').c_str());
  a.AppendEntry(CAuditLog::kWarning, "Op", "careful");
  entries = Entries(DefaultLog());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_STREQ(entries[1].GetSeverity(), "Fatal Error");
  // Cut so that the field keeps its terminating zero.
  EXPECT_EQ(entries[1].GetMessage().GetLength(), 1023);
  EXPECT_STREQ(entries[2].GetSeverity(), "Warning");
  // The file: count 3, entries in file order operation, date-time, severity, message.
  std::string bytes = ReadFile(DefaultLog());
  EXPECT_EQ(bytes.size(), 21u + 4 + 3 * 1584 + 20);
  EXPECT_EQ(WordAt(bytes, 21), 3u);
  EXPECT_EQ(bytes.substr(25 + 510, 11), "Information");
}

TEST_F(AuditTest, SwitchesSilenceTheWriter) {
  SetDword("ENABLE_LOG", 0);
  CAuditLog a;
  a.Load();
  a.LogInformation("op", "m");
  a.LogError("op", "m");
  EXPECT_EQ(GetFileAttributesA(DefaultLog().c_str()), INVALID_FILE_ATTRIBUTES);
  SetDword("ENABLE_LOG", 1);
  SetDword("REPORT_ERRORS", 0);
  a.Load();
  a.LogError("op", "m");
  EXPECT_EQ(GetFileAttributesA(DefaultLog().c_str()), INVALID_FILE_ATTRIBUTES);
  a.LogInformation("op", "m");
  EXPECT_EQ(Entries(DefaultLog()).size(), 1u);
}

TEST_F(AuditTest, ClearedGoneAndElsewhere) {
  CAuditLog a;
  a.Load();
  a.LogInformation("op", "one");
  a.LogInformation("op", "two");
  // Clearing: the next entry starts a fresh log.
  a.ClearLogFilePath();
  a.LogInformation("op", "three");
  auto entries = Entries(DefaultLog());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_STREQ(entries[0].GetMessage(), "three");
  // A stored path to a file that was deleted: back to the default log, which keeps its entries.
  std::string elsewhere = MakeTempDir("logs") + "/mine.alf";
  Hive().SetString("Audit_Event_Log", "AUDIT_LOG_FILE", CString(elsewhere.c_str()));
  a.LogInformation("op", "four");
  EXPECT_EQ(Entries(elsewhere).size(), 0u);
  EXPECT_EQ(StoredPath(), DefaultLog());
  EXPECT_EQ(Entries(DefaultLog()).size(), 2u);
  // GetLogFilePath gives the path back and makes nothing new.
  CString path;
  EXPECT_TRUE(a.GetLogFilePath(path));
  EXPECT_STREQ(path, DefaultLog().c_str());
  // No one-click folder that can be made: no log and no path.
  Hive().SetString("OneClickManager", "OneClickFolder", CString((Root() + "/missing/deeper").c_str()));
  a.ClearLogFilePath();
  EXPECT_FALSE(a.GetLogFilePath(path));
  a.LogInformation("op", "dropped");
}

// A log that no longer parses is kept aside, bytes and all, and a new log goes on; a file that is not a log
// is never touched.
TEST_F(AuditTest, DamagedAndForeignFiles) {
  CAuditLog a;
  a.Load();
  a.LogInformation("op", "before");
  std::string damaged = ReadFile(DefaultLog());
  PutWord(damaged, 21, 500);  // a count the file cannot hold
  WriteFile(DefaultLog(), damaged);
  a.LogInformation("op", "after");
  auto entries = Entries(DefaultLog());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_STREQ(entries[0].GetMessage(), "after");
  std::string listing;
  kxtest::Run("ls '" + m_folder + "'", &listing);
  std::string aside = m_folder + "/" + listing.substr(listing.find("OfficeTolvex.Alf.unreadable-"));
  aside = aside.substr(0, aside.find('\n'));
  EXPECT_EQ(ReadFile(aside), damaged);

  // A stored path to a document: the document stays as it is, entries go to the default log.
  std::string document = MakeTempDir("docs") + "/letter.txt";
  WriteFile(document, "Dear reader, this is not an audit log.");
  Hive().SetString("Audit_Event_Log", "AUDIT_LOG_FILE", CString(document.c_str()));
  a.LogInformation("op", "elsewhere");
  EXPECT_EQ(ReadFile(document), "Dear reader, this is not an audit log.");
  entries = Entries(DefaultLog());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_STREQ(entries[1].GetMessage(), "elsewhere");
  // A stored path to a file too short to read: not deleted either.
  WriteFile(document, "ab");
  Hive().SetString("Audit_Event_Log", "AUDIT_LOG_FILE", CString(document.c_str()));
  a.LogInformation("op", "short");
  EXPECT_EQ(ReadFile(document), "ab");
  EXPECT_EQ(Entries(DefaultLog()).size(), 3u);
}

// From threads and from processes (next test), with a small log and with one large enough to be written behind.
TEST_F(AuditTest, ThreadsLoseNoEntry) {
  for (size_t before : {0, 200}) {
    SCOPED_TRACE(before);
    StartLog(before);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([t] {
        for (int i = 0; i < 15; ++i) {
          CAuditLog a;
          a.Load();
          a.LogInformation("thread", (std::to_string(t) + "/" + std::to_string(i)).c_str());
        }
      });
    for (auto& t : threads) t.join();
    CString path;
    ASSERT_TRUE(CAuditLog().GetLogFilePath(path));
    auto entries = Entries(DefaultLog());
    ASSERT_EQ(entries.size(), before + 60);
    // Each thread's entries in the order it made them.
    int next[4] = {0, 0, 0, 0};
    for (size_t i = before; i < entries.size(); ++i) {
      std::string m = entries[i].GetMessage().GetString();
      int t = m[0] - '0';
      EXPECT_EQ(m, std::to_string(t) + "/" + std::to_string(next[t]++));
    }
  }
}

// Runs only as a child of the next test: appends the entries it is told to, in the parent's state root.
TEST(AuditLogChild, DISABLED_Append) {
  const char* root = std::getenv("KX_AUDIT_CHILD_ROOT");
  const char* tag = std::getenv("KX_AUDIT_CHILD_TAG");
  if (!root || !tag) GTEST_SKIP() << "runs only as a child of AuditTest.ProcessesLoseNoEntry";
  setenv("KESMORA_ROOT", root, 1);
  kx::NotifyStateRootChanged();
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  for (int i = 0; i < 25; ++i) {
    CAuditLog a;
    a.Load();
    a.LogInformation("process", (std::string(tag) + "/" + std::to_string(i)).c_str());
  }
  CoUninitialize();
}

// Three processes at once, with a small log and a large one: whoever reads the log next finds every entry,
// each process's in its order.
TEST_F(AuditTest, ProcessesLoseNoEntry) {
  std::string self = BuildDir() + "/bin/test_formats";
  for (size_t before : {0, 200}) {
    SCOPED_TRACE(before);
    StartLog(before);
    std::string command;
    for (const char* tag : {"a", "b", "c"})
      command += "KX_AUDIT_CHILD_ROOT='" + Root() + "' KX_AUDIT_CHILD_TAG=" + tag + " '" + self +
                 "' --gtest_also_run_disabled_tests --gtest_filter=AuditLogChild.DISABLED_Append > '" + Root() +
                 "/child-" + tag + ".out' 2>&1 & ";
    command += "wait";
    ASSERT_EQ(kxtest::Run(command), 0);
    for (const char* tag : {"a", "b", "c"})
      EXPECT_NE(ReadFile(Root() + "/child-" + tag + ".out").find("[  PASSED  ] 1 test"), std::string::npos) << tag;
    CString path;
    ASSERT_TRUE(CAuditLog().GetLogFilePath(path));
    auto entries = Entries(DefaultLog());
    ASSERT_EQ(entries.size(), before + 75);
    int next[3] = {0, 0, 0};
    for (size_t i = before; i < entries.size(); ++i) {
      const std::string m = entries[i].GetMessage().GetString();
      const int t = m[0] - 'a';
      EXPECT_EQ(m, std::string(1, m[0]) + "/" + std::to_string(next[t]++));
    }
  }
}

// Runs only as a child of the next test: appends three entries, then stops for good inside the fourth append
// at the step it is told, after telling the parent through the pipe.
TEST(AuditLogChild, DISABLED_StopInAppend) {
  const char* root = std::getenv("KX_AUDIT_CHILD_ROOT");
  const char* step = std::getenv("KX_AUDIT_STOP_STEP");
  const char* fd = std::getenv("KX_AUDIT_PIPE_FD");
  if (!root || !step || !fd) GTEST_SKIP() << "runs only as a child of AuditTest.InterruptedAppend";
  setenv("KESMORA_ROOT", root, 1);
  kx::NotifyStateRootChanged();
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  CAuditLog a;
  a.Load();
  for (const char* text : {"one", "two", "three"}) a.LogInformation("op", text);
  static int stopAt, pipeFd;
  stopAt = std::atoi(step);
  pipeFd = std::atoi(fd);
  CAuditLogFile::s_appendStepHook = [](int at) {
    if (at != stopAt) return;
    if (write(pipeFd, "s", 1) != 1) return;
    for (;;) pause();
  };
  a.LogInformation("op", "four");
}

// An append to the log killed between its steps leaves the earlier entries readable; the next append finishes
// it (entry and digest were on disk) or undoes it (they were not), and the log is whole again by outside measure.
TEST_F(AuditTest, InterruptedAppend) {
  std::string self = BuildDir() + "/bin/test_formats";
  for (int step : {1, 2}) {
    SCOPED_TRACE(step);
    CAuditLog a;
    a.ClearLogFilePath();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string filter = "--gtest_filter=AuditLogChild.DISABLED_StopInAppend";
    std::vector<std::string> env = {"KX_AUDIT_CHILD_ROOT=" + Root(), "KX_AUDIT_STOP_STEP=" + std::to_string(step),
                                    "KX_AUDIT_PIPE_FD=" + std::to_string(fds[1])};
    for (char** e = environ; *e; ++e) env.push_back(*e);
    std::vector<char*> envp, argv = {self.data(), const_cast<char*>("--gtest_also_run_disabled_tests"), filter.data(), nullptr};
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    int spawned = posix_spawn(&pid, self.c_str(), &quiet, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    ASSERT_EQ(spawned, 0);
    close(fds[1]);
    char c = 0;
    ssize_t got = read(fds[0], &c, 1);
    close(fds[0]);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(got, 1) << "the child ended before it reached the step";

    auto entries = Entries(DefaultLog());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_STREQ(entries[2].GetMessage(), "three");

    // The fourth entry was in the journal before its group went into the log: the next entry's group brings it
    // in (finished or written again), never twice.
    a.Load();
    a.LogInformation("op", "five");
    ExpectWholeLog(DefaultLog(), {"one", "two", "three", "four", "five"});
  }
}

// Entries written as one group and cut short: with their digest on disk (only the count missing) the next
// append finishes the group; without it the group is cut away. Either way the log is whole again.
TEST_F(AuditTest, InterruptedGroupIsFinishedOrCutAway) {
  for (bool digestWritten : {true, false}) {
    SCOPED_TRACE(digestWritten);
    StartLog(2);
    const std::string path = DefaultLog();
    std::string before = ReadFile(path);
    CAuditLogEntry group[3] = {CAuditLogEntry("op", "now", "Information", "g1"),
                               CAuditLogEntry("op", "now", "Information", "g2"),
                               CAuditLogEntry("op", "now", "Information", "g3")};
    ASSERT_TRUE(CAuditLogFile::AppendToFile(path.c_str(), group, 3));
    std::string after = ReadFile(path);
    // The count as it was before the group; without the digest, the file also ends where the entries do.
    after.replace(21, 4, before.substr(21, 4));
    if (!digestWritten) after.resize(after.size() - 20);
    WriteFile(path, after);
    EXPECT_EQ(Entries(path).size(), 2u);
    ASSERT_TRUE(CAuditLogFile::AppendToFile(path.c_str(), CAuditLogEntry("op", "now", "Information", "next")));
    if (digestWritten)
      ExpectWholeLog(path, {"old 0", "old 1", "g1", "g2", "g3", "next"});
    else
      ExpectWholeLog(path, {"old 0", "old 1", "next"});
  }
}

// Entries for a large log wait in the journal and go into the log in groups, so that the log is not rewritten
// for each: none is lost or out of order, whoever asks for the log's path reads them all, a forked child's
// entries are there too, and clearing the log takes its waiting entries with it.
TEST_F(AuditTest, LargeLogTakesEntriesInGroups) {
  CAuditLog a;
  a.Load();
  a.LogInformation("op", "first");
  std::vector<std::string> messages;
  for (int i = 0; i < 200; ++i) messages.push_back("entry " + std::to_string(i));
  WriteLog(DefaultLog(), messages);
  size_t folds = 0, last = Entries(DefaultLog()).size();
  for (int i = 0; i < 300; ++i) {
    messages.push_back("more " + std::to_string(i));
    a.LogInformation("op", messages.back().c_str());
    const size_t now = WordAt(ReadFile(DefaultLog()).substr(0, 25), 21);
    if (now != last) ++folds, last = now;
  }
  EXPECT_GE(folds, 2u);
  EXPECT_LE(folds, 20u);
  CString path;
  ASSERT_TRUE(a.GetLogFilePath(path));
  ExpectWholeLog(path.GetString(), messages);

  a.LogInformation("op", "parent");
  messages.push_back("parent");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CAuditLog c;
    c.Load();
    c.LogInformation("op", "child");
    _exit(0);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  messages.push_back("child");
  ASSERT_TRUE(a.GetLogFilePath(path));
  ExpectWholeLog(path.GetString(), messages);

  a.LogInformation("op", "before clearing");
  a.ClearLogFilePath();
  a.LogInformation("op", "after clearing");
  ASSERT_TRUE(a.GetLogFilePath(path));
  ExpectWholeLog(path.GetString(), {"after clearing"});
}

// Children append in a burst (one, and two at once) and each tells the parent through a pipe of every entry
// once AppendEntry has returned; the parent kills them at several points of the burst (early, around their
// groups going into the log). Every entry a child was told was written is in the log afterwards, once and in
// its order, as the product reads the log and as openssl checks its trailer; with a small log and a large one.
TEST_F(AuditTest, AcknowledgedEntriesSurviveAKill) {
  struct Child {
    pid_t pid = -1;
    int fd = -1;
    std::string told;
    size_t Lines() const { return static_cast<size_t>(std::count(told.begin(), told.end(), '\n')); }
  };
  for (size_t before : {0, 400}) {
    for (int children : {1, 2}) {
      for (size_t acks : {5, 120}) {
        SCOPED_TRACE(std::to_string(before) + " entries before, " + std::to_string(children) +
                     " children killed after " + std::to_string(acks));
        CAuditLog().ClearLogFilePath();
        StartLog(before);
        std::vector<Child> kids(static_cast<size_t>(children));
        for (int k = 0; k < children; ++k) {
          int fds[2];
          ASSERT_EQ(pipe(fds), 0);
          std::fflush(nullptr);
          const pid_t pid = fork();
          ASSERT_GE(pid, 0);
          if (pid == 0) {
            close(fds[0]);
            for (int i = 0;; ++i) {
              CAuditLog c;
              c.Load();
              c.LogInformation("op", ("burst " + std::to_string(k) + " " + std::to_string(i)).c_str());
              const std::string line = std::to_string(i) + "\n";
              if (write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(1);
            }
          }
          close(fds[1]);
          kids[static_cast<size_t>(k)].pid = pid;
          kids[static_cast<size_t>(k)].fd = fds[0];
        }
        char buffer[256];
        for (Child& kid : kids) {
          while (kid.Lines() < acks) {
            const ssize_t n = read(kid.fd, buffer, sizeof buffer);
            ASSERT_GT(n, 0);
            kid.told.append(buffer, static_cast<size_t>(n));
          }
        }
        for (Child& kid : kids) kill(kid.pid, SIGKILL);
        for (Child& kid : kids) {
          int status = 0;
          waitpid(kid.pid, &status, 0);
          // What it wrote to the pipe before it died was acknowledged too.
          for (ssize_t n; (n = read(kid.fd, buffer, sizeof buffer)) > 0;) kid.told.append(buffer, static_cast<size_t>(n));
          close(kid.fd);
        }

        CString path;
        ASSERT_TRUE(CAuditLog().GetLogFilePath(path));
        const auto entries = Entries(DefaultLog());
        std::vector<std::string> messages;
        for (const auto& e : entries) messages.push_back(e.GetMessage().GetString());
        ASSERT_GE(messages.size(), before);
        for (size_t i = 0; i < before; ++i) EXPECT_EQ(messages[i], "old " + std::to_string(i));
        for (int k = 0; k < children; ++k) {
          const std::string tag = "burst " + std::to_string(k) + " ";
          std::vector<std::string> mine;
          for (size_t i = before; i < messages.size(); ++i)
            if (messages[i].rfind(tag, 0) == 0) mine.push_back(messages[i]);
          // Each acknowledged entry, in order; at most the one it was writing when it died comes after them.
          const size_t told = kids[static_cast<size_t>(k)].Lines();
          EXPECT_GE(mine.size(), told);
          EXPECT_LE(mine.size(), told + 1);
          for (size_t i = 0; i < mine.size(); ++i) EXPECT_EQ(mine[i], tag + std::to_string(i));
        }
        ExpectWholeLog(DefaultLog(), messages);
      }
    }
  }
}

// A journal cut short in the middle of an entry (a writer killed while it wrote it): the log opens with every
// whole entry, and later entries go on after them.
TEST_F(AuditTest, AJournalCutShortKeepsEveryWholeEntry) {
  StartLog(400);
  CAuditLog a;
  a.Load();
  std::vector<std::string> messages;
  for (int i = 0; i < 400; ++i) messages.push_back("old " + std::to_string(i));
  for (int i = 0; i < 5; ++i) {
    messages.push_back("waiting " + std::to_string(i));
    a.LogInformation("op", messages.back().c_str());
  }
  const std::string journal = DefaultLog() + ".journal";
  std::string bytes = ReadFile(journal);
  ASSERT_EQ(bytes.size(), 8u + 5 * 1592) << "the entries wait in the journal";
  EXPECT_EQ(WordAt(ReadFile(DefaultLog()), 21), 400u);
  // The fifth entry cut short: never acknowledged, it goes; so does a whole record whose bytes were damaged.
  bytes.resize(bytes.size() - 700);
  bytes[8 + 3 * 1592 + 600] ^= 1;
  WriteFile(journal, bytes);
  messages.erase(messages.begin() + 400 + 3, messages.end());
  messages.push_back("next");
  a.LogInformation("op", "next");
  CString path;
  ASSERT_TRUE(a.GetLogFilePath(path));
  ExpectWholeLog(DefaultLog(), messages);
  EXPECT_EQ(ReadFile(journal).size(), 8u);
}

// The log, its journal and the default log's folder are their owner's alone whatever the umask, and an existing
// log that others could read is tightened when it is next written.
TEST_F(AuditTest, TheLogIsItsOwnersAlone) {
  const mode_t mask = umask(002);
  auto mode = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 07777u;
  };
  ::chmod(m_folder.c_str(), 0775);
  CAuditLog a;
  a.Load();
  a.LogInformation("op", "first");
  EXPECT_EQ(mode(DefaultLog()), 0600u);
  EXPECT_EQ(mode(DefaultLog() + ".journal"), 0600u);
  EXPECT_EQ(mode(m_folder), 0700u);
  ::chmod(DefaultLog().c_str(), 0664);
  ::chmod((DefaultLog() + ".journal").c_str(), 0664);
  ::chmod(m_folder.c_str(), 0775);
  a.LogInformation("op", "second");
  EXPECT_EQ(mode(DefaultLog()), 0600u);
  EXPECT_EQ(mode(DefaultLog() + ".journal"), 0600u);
  EXPECT_EQ(mode(m_folder), 0700u);
  // A log set up elsewhere: the log itself is tightened, its folder is the user's own business.
  const std::string elsewhere = MakeTempDir("shared") + "/audit.alf";
  ::chmod(FolderOf(elsewhere).c_str(), 0775);
  WriteLog(elsewhere, {});
  ::chmod(elsewhere.c_str(), 0664);
  Hive().SetString("Audit_Event_Log", "AUDIT_LOG_FILE", CString(elsewhere.c_str()));
  a.LogInformation("op", "third");
  EXPECT_EQ(mode(elsewhere), 0600u);
  EXPECT_EQ(mode(FolderOf(elsewhere)), 0775u);
  umask(mask);
}

// Reading entry by entry gives what a whole load gives, across more entries than one read holds, and refuses
// what a whole load refuses, visiting nothing.
TEST_F(AuditTest, ReadingEntryByEntryAgreesWithTheWholeLoad) {
  std::vector<std::string> messages;
  for (int i = 0; i < 300; ++i) messages.push_back("entry " + std::to_string(i) + std::string(i % 7, 'x'));
  const std::string path = Root() + "/big.Alf";
  WriteLog(path, messages);
  const std::string good = ReadFile(path);
  auto read = [&](std::vector<std::string>& got) {
    return CAuditLogFile::ForEachEntryInFile(
        path.c_str(), [&](const CAuditLogEntry& e) { got.push_back(e.GetMessage().GetString()); });
  };
  std::vector<std::string> got;
  ASSERT_TRUE(read(got));
  EXPECT_EQ(got, messages);
  const auto whole = Entries(path);
  ASSERT_EQ(whole.size(), got.size());
  for (size_t i = 0; i < whole.size(); ++i) EXPECT_STREQ(whole[i].GetOperation(), "op");

  std::string overCount = good, noDigest = good.substr(0, good.size() - 20), foreign = good;
  PutWord(overCount, 21, 301);
  foreign[0] = 'X';
  struct Case {
    const char* name;
    std::string bytes;
    bool loads;
  } cases[] = {
      {"one entry fewer claimed", [&] { std::string b = good; PutWord(b, 21, 299); return b; }(), true},
      {"count past the digest", overCount, false},
      {"digest cut away", noDigest, false},
      {"header only", good.substr(0, 21), false},
      {"not a log", foreign, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(path, c.bytes);
    got.clear();
    EXPECT_EQ(read(got), c.loads);
    EXPECT_EQ(!Entries(path).empty(), c.loads);
    if (!c.loads) {
      EXPECT_TRUE(got.empty());
    }
  }
}
