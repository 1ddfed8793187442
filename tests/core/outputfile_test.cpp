// Outputs are written unnamed in their folder (or under a hidden temporary where the file system cannot) and
// take their name only once whole, replacing nothing; nothing is left of an output that never got its name.
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/OutputFile.h"
#include "platform/win32/newfile.h"
#include "support/testroot.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Each case runs with unnamed files and with the named fallback.
class OutputFile : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { kx::SetUnnamedFilesForTests(GetParam()); }
  void TearDown() override { kx::SetUnnamedFilesForTests(true); }
};

unsigned long long StartTimeOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  std::string rest = line.substr(line.rfind(')') + 2);
  unsigned long long value = 0;
  for (int field = 3; field <= 22; ++field) {
    const size_t blank = rest.find(' ');
    if (field == 22) value = std::stoull(rest.substr(0, blank));
    rest = rest.substr(blank + 1);
  }
  return value;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Kinds, OutputFile, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Unnamed" : "NamedFallback";
                         });

// Also for a name as long as a name may be (249 bytes): a temporary has a short name of its own. Until its
// commit the file is its owner's alone; then it has the mode the umask gives.
TEST_P(OutputFile, TheNameAppearsOnlyOnCommit) {
  const mode_t mask = ::umask(002);
  for (const std::string& name : {std::string("report.doc.Tvx"), std::string(245, 'n') + ".Tvx"}) {
    SCOPED_TRACE(name.size());
    const std::string dir = kxtest::MakeTempDir("out" + std::to_string(name.size()));
    COutputFile out;
    ASSERT_TRUE(out.Create((dir + "/" + name).c_str()));
    EXPECT_EQ(std::string(out.GetPath()), dir + "/" + name);
    const std::string temporary = static_cast<const char*>(out.GetTemporaryPath());
    kxtest::WriteFile(temporary, "whole");
    EXPECT_EQ(ModeOf(temporary), 0600u);
    const std::set<std::string> before = kxtest::FolderNames(dir);
    if (GetParam()) {
      EXPECT_TRUE(before.empty());
    } else {
      ASSERT_EQ(before.size(), 1u);
      EXPECT_TRUE(kx::IsNewFileTemporary(*before.begin())) << *before.begin();
    }
    EXPECT_FALSE(Exists(dir + "/" + name));
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(kxtest::ReadFile(dir + "/" + name), "whole");
    EXPECT_EQ(ModeOf(dir + "/" + name), 0664u);
    EXPECT_EQ(kxtest::FolderNames(dir), std::set<std::string>{name});
    // Committed outputs stay when their owner goes.
  }
  ::umask(mask);
}

TEST_P(OutputFile, ANameTakenMeanwhileIsNeverReplaced) {
  const std::string dir = kxtest::MakeTempDir("taken");
  kxtest::WriteFile(dir + "/a.Tvx", "first");
  COutputFile out;
  ASSERT_TRUE(out.Create((dir + "/a.Tvx").c_str()));
  EXPECT_EQ(std::string(out.GetPath()), dir + "/a(1).Tvx");
  kxtest::WriteFile(static_cast<const char*>(out.GetTemporaryPath()), "mine");
  // Another writer takes the name before this output is whole.
  kxtest::WriteFile(dir + "/a(1).Tvx", "theirs");
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(std::string(out.GetPath()), dir + "/a(2).Tvx");
  EXPECT_EQ(kxtest::ReadFile(dir + "/a.Tvx"), "first");
  EXPECT_EQ(kxtest::ReadFile(dir + "/a(1).Tvx"), "theirs");
  EXPECT_EQ(kxtest::ReadFile(dir + "/a(2).Tvx"), "mine");
  EXPECT_EQ(std::string(COutputFile::Numbered("/x/name", 3)), "/x/name(3)");
  EXPECT_EQ(kxtest::FolderNames(dir).size(), 3u);
}

TEST_P(OutputFile, UncommittedOutputsLeaveNothing) {
  const std::string dir = kxtest::MakeTempDir("gone");
  {
    COutputFile out;
    ASSERT_TRUE(out.Create((dir + "/b.Etv").c_str()));
    kxtest::WriteFile(static_cast<const char*>(out.GetTemporaryPath()), "half");
  }
  COutputFile discarded;
  ASSERT_TRUE(discarded.Create((dir + "/c.Etv").c_str()));
  discarded.Discard();
  EXPECT_FALSE(discarded.Commit());
  EXPECT_TRUE(kxtest::FolderNames(dir).empty());
  // A folder that does not exist gives no output.
  COutputFile nowhere;
  EXPECT_FALSE(nowhere.Create((dir + "/missing/d.Tvx").c_str()));
}

// A new output sweeps the temporaries of processes that are gone (also of the older kind without a start
// time), and nothing else: not a live process's, not another user's, not a name of another kind.
TEST_P(OutputFile, StaleTemporariesOfGoneProcessesAreSwept) {
  const std::string dir = kxtest::MakeTempDir("stale");
  const pid_t parent = ::getppid();
  const pid_t me = ::getpid();
  // A process that ran and is gone: a child reaped at once.
  const pid_t gone = ::fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  int status = 0;
  ::waitpid(gone, &status, 0);
  const std::string reused = ".~kx" + std::to_string(me) + "-" + std::to_string(StartTimeOf(me) + 1) + "-1.kxpart";
  const std::string dead = ".~kx" + std::to_string(gone) + "-7.kxpart";
  const std::string alive = ".~kx" + std::to_string(parent) + "-" + std::to_string(StartTimeOf(parent)) + "-2.kxpart";
  const std::string aliveOld = ".~kx" + std::to_string(parent) + "-3.kxpart";
  const std::string foreign = ".~kx" + std::to_string(gone) + "-4.kxpart";
  for (const std::string& name : {reused, dead, alive, aliveOld, foreign, std::string(".~kxnotours.kxpart"),
                                  std::string("~kx00000001000001.tmp")}) {
    kxtest::WriteFile(dir + "/" + name, "x");
  }
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((dir + "/" + foreign).c_str(), 65534, 65534), 0);
  }
  COutputFile out;
  ASSERT_TRUE(out.Create((dir + "/e.Tvx").c_str()));
  std::set<std::string> names = kxtest::FolderNames(dir);
  if (!GetParam()) {
    for (auto it = names.begin(); it != names.end();) {
      const std::string own = ".~kx" + std::to_string(me) + "-" + std::to_string(StartTimeOf(me)) + "-";
      it = it->rfind(own, 0) == 0 ? names.erase(it) : std::next(it);
    }
  }
  std::set<std::string> expected{alive, aliveOld, ".~kxnotours.kxpart", "~kx00000001000001.tmp"};
  if (::geteuid() == 0) expected.insert(foreign);
  EXPECT_EQ(names, expected);
  out.Discard();
}

// Where a protected file made of an input goes first: the folder given (its separator added), else beside the
// input; a deep input path is kept whole, not cut at the old 259-byte path buffer.
TEST(ProtectedFileName, FolderOrBesideTheInput) {
  const std::string deep = "/" + std::string(300, 'd') + "/report.doc";
  const struct {
    std::string input, folder, expected;
  } cases[] = {
      {"/in/report.doc", "", "/in/report.doc.Tvx"},
      {"/in/report.doc", "/out", "/out/report.doc.Tvx"},
      {"/in/report.doc", "/out/", "/out/report.doc.Tvx"},
      {"report", "", "report.Tvx"},
      {"/in/.hidden", "/out", "/out/.hidden.Tvx"},
      {deep, "", deep + ".Tvx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(std::string(ProtectedFileName(c.input.c_str(), c.folder.c_str())), c.expected);
  }
  EXPECT_EQ(std::string(OutputFolderOf("/in/report.doc", "")), "/in/");
  EXPECT_EQ(std::string(OutputFolderOf("/in/report.doc", "/out")), "/out/");
}
