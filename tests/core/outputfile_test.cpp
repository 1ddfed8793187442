// Outputs are written beside their name and take it only once whole, replacing nothing.
#include <sys/stat.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/OutputFile.h"
#include "support/testroot.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

// Also for a name as long as a name may be (249 bytes): the temporary file has a short name of its own.
TEST(OutputFile, TheNameAppearsOnlyOnCommit) {
  for (const std::string& name : {std::string("report.doc.Tvx"), std::string(245, 'n') + ".Tvx"}) {
    SCOPED_TRACE(name.size());
    const std::string dir = kxtest::MakeTempDir("out" + std::to_string(name.size()));
    COutputFile out;
    ASSERT_TRUE(out.Create((dir + "/" + name).c_str()));
    EXPECT_EQ(std::string(out.GetPath()), dir + "/" + name);
    const std::string temporary = static_cast<const char*>(out.GetTemporaryPath());
    EXPECT_EQ(temporary.rfind(dir + "/", 0), 0u) << temporary;
    kxtest::WriteFile(temporary, "whole");
    EXPECT_FALSE(Exists(dir + "/" + name));
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(kxtest::ReadFile(dir + "/" + name), "whole");
    EXPECT_EQ(kxtest::FolderNames(dir), std::set<std::string>{name});
    // Committed outputs stay when their owner goes.
  }
}

TEST(OutputFile, ANameTakenMeanwhileIsNeverReplaced) {
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
}

TEST(OutputFile, UncommittedOutputsLeaveNothing) {
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
