// The shell's file operation and the copy wrapper over it.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "archives/ShellFileOp.h"
#include "platform/services/shellfileop.h"
#include "platform/win32/files.h"
#include "packages/packagetest.h"
#include "support/testroot.h"

using kxtest::ReadFile;
using kxtest::WriteFile;

namespace {

using packagetest::Exists;

// "a\0b\0\0" from a list of paths.
std::string List(std::initializer_list<std::string> paths) {
  std::string s;
  for (const std::string& p : paths) s += p + '\0';
  return s + '\0';
}

int Op(UINT function, const std::string& from, const std::string& to, FILEOP_FLAGS flags, BOOL* aborted = nullptr) {
  SHFILEOPSTRUCTA op{};
  op.wFunc = function;
  op.pFrom = from.empty() ? nullptr : from.c_str();
  op.pTo = to.empty() ? nullptr : to.c_str();
  op.fFlags = flags;
  int r = SHFileOperationA(&op);
  if (aborted) *aborted = op.fAnyOperationsAborted;
  return r;
}

class ShellOp : public ::testing::Test {
 protected:
  void SetUp() override {
    d = kxtest::MakeTempDir("shell");
    WriteFile(d + "/a.txt", "alpha");
    WriteFile(d + "/b.txt", "beta");
    WriteFile(d + "/c.log", "gamma");
    mkdir((d + "/sub").c_str(), 0755);
    WriteFile(d + "/sub/inner.txt", "inner");
    mkdir((d + "/out").c_str(), 0755);
  }
  std::string d;
};

TEST_F(ShellOp, CopiesFilesAndFoldersIntoPlace) {
  // One file under a new name, one into an existing folder, a folder with its contents.
  EXPECT_EQ(Op(FO_COPY, List({d + "/a.txt"}), List({d + "/copy.txt"}), FOF_SILENT), 0);
  EXPECT_EQ(ReadFile(d + "/copy.txt"), "alpha");
  EXPECT_EQ(Op(FO_COPY, List({d + "/a.txt"}), List({d + "/out"}), 0), 0);
  EXPECT_EQ(ReadFile(d + "/out/a.txt"), "alpha");
  EXPECT_EQ(Op(FO_COPY, List({d + "/sub"}), List({d + "/out"}), 0), 0);
  EXPECT_EQ(ReadFile(d + "/out/sub/inner.txt"), "inner");
  EXPECT_EQ(ReadFile(d + "/sub/inner.txt"), "inner");
  // Several sources go into a folder that is made for them; no temporary file stays behind.
  EXPECT_EQ(Op(FO_COPY, List({d + "/a.txt", d + "/b.txt"}), List({d + "/new/deeper"}), FOF_NOCONFIRMMKDIR), 0);
  EXPECT_EQ(ReadFile(d + "/new/deeper/b.txt"), "beta");
  std::string listing;
  kxtest::Run("ls -A '" + d + "/new/deeper'", &listing);
  EXPECT_EQ(listing, "a.txt\nb.txt\n");
}

TEST_F(ShellOp, WildcardsAndFilesOnly) {
  mkdir((d + "/sub.txt").c_str(), 0755);
  EXPECT_EQ(Op(FO_COPY, List({d + "/*.txt"}), List({d + "/out"}), FOF_FILESONLY), 0);
  EXPECT_TRUE(Exists(d + "/out/a.txt"));
  EXPECT_TRUE(Exists(d + "/out/b.txt"));
  EXPECT_FALSE(Exists(d + "/out/c.log"));
  EXPECT_FALSE(Exists(d + "/out/sub.txt"));  // a folder that matches is skipped
  EXPECT_EQ(Op(FO_DELETE, List({d + "/out/*.txt"}), "", FOF_NOCONFIRMATION), 0);
  EXPECT_FALSE(Exists(d + "/out/a.txt"));
  EXPECT_EQ(Op(FO_COPY, List({d + "/*.none"}), List({d + "/out"}), 0), ERROR_FILE_NOT_FOUND);
}

TEST_F(ShellOp, MoveDeleteRename) {
  EXPECT_EQ(Op(FO_MOVE, List({d + "/a.txt"}), List({d + "/out"}), 0), 0);
  EXPECT_FALSE(Exists(d + "/a.txt"));
  EXPECT_EQ(ReadFile(d + "/out/a.txt"), "alpha");
  EXPECT_EQ(Op(FO_MOVE, List({d + "/sub"}), List({d + "/moved"}), 0), 0);
  EXPECT_EQ(ReadFile(d + "/moved/inner.txt"), "inner");
  EXPECT_EQ(Op(FO_RENAME, List({d + "/b.txt"}), List({"renamed.txt"}), 0), 0);
  EXPECT_EQ(ReadFile(d + "/renamed.txt"), "beta");
  EXPECT_EQ(Op(FO_DELETE, List({d + "/moved", d + "/renamed.txt"}), "", FOF_NOCONFIRMATION), 0);
  EXPECT_FALSE(Exists(d + "/moved"));
  EXPECT_FALSE(Exists(d + "/renamed.txt"));
}

TEST_F(ShellOp, Refusals) {
  SetFileAttributes((d + "/c.log").c_str(), FILE_ATTRIBUTE_READONLY);
  struct Case {
    const char* what;
    UINT function;
    std::string from, to;
    FILEOP_FLAGS flags;
    int result;
  } cases[] = {
      {"unknown function", 9, List({d + "/a.txt"}), List({d + "/x"}), 0, ERROR_INVALID_PARAMETER},
      {"empty source list", FO_COPY, "", List({d + "/x"}), 0, ERROR_INVALID_PARAMETER},
      {"missing source", FO_COPY, List({d + "/none.txt", d + "/a.txt"}), List({d + "/out"}), 0, ERROR_FILE_NOT_FOUND},
      {"no target", FO_COPY, List({d + "/a.txt"}), "", 0, ERROR_INVALID_PARAMETER},
      {"existing target unconfirmed", FO_COPY, List({d + "/a.txt"}), List({d + "/b.txt"}), 0, ERROR_ALREADY_EXISTS},
      {"onto itself", FO_COPY, List({d + "/a.txt"}), List({d}), FOF_NOCONFIRMATION, DE_SAMEFILE},
      {"folder into itself", FO_COPY, List({d + "/sub"}), List({d + "/sub/deeper"}), 0, DE_DESTSUBTREE},
      {"folder onto a file", FO_COPY, List({d + "/sub"}), List({d + "/a.txt"}), FOF_NOCONFIRMATION, DE_FLDDESTISFILE},
      {"two targets", FO_COPY, List({d + "/a.txt"}), List({d + "/x", d + "/y"}), 0, DE_MANYDEST},
      {"read-only unconfirmed", FO_DELETE, List({d + "/c.log"}), "", 0, ERROR_ACCESS_DENIED},
      {"delete with undo", FO_DELETE, List({d + "/a.txt"}), "", FOF_ALLOWUNDO | FOF_NOCONFIRMATION,
       ERROR_NOT_SUPPORTED},
      {"rename onto existing", FO_RENAME, List({d + "/a.txt"}), List({"b.txt"}), FOF_NOCONFIRMATION,
       ERROR_ALREADY_EXISTS},
      {"rename elsewhere", FO_RENAME, List({d + "/a.txt"}), List({d + "/out/a.txt"}), 0, DE_DIFFDIR},
      {"rename two", FO_RENAME, List({d + "/a.txt", d + "/b.txt"}), List({"x"}), 0, DE_MANYSRC1DEST},
  };
  for (const Case& c : cases) {
    BOOL aborted = TRUE;
    EXPECT_EQ(Op(c.function, c.from, c.to, c.flags, &aborted), c.result) << c.what;
    EXPECT_FALSE(aborted) << c.what;
  }
  // Nothing was changed by any of them.
  EXPECT_EQ(ReadFile(d + "/a.txt"), "alpha");
  EXPECT_EQ(ReadFile(d + "/b.txt"), "beta");
  EXPECT_TRUE(Exists(d + "/c.log"));
  EXPECT_FALSE(Exists(d + "/out/a.txt"));
  EXPECT_FALSE(Exists(d + "/sub/deeper"));
  // Confirmed, a read-only file is replaced and deleted.
  EXPECT_EQ(Op(FO_COPY, List({d + "/a.txt"}), List({d + "/c.log"}), FOF_NOCONFIRMATION), 0);
  EXPECT_EQ(ReadFile(d + "/c.log"), "alpha");
  SetFileAttributes((d + "/c.log").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Op(FO_DELETE, List({d + "/c.log"}), "", FOF_NOCONFIRMATION), 0);
  EXPECT_FALSE(Exists(d + "/c.log"));
}

TEST(ShellFileOpWrapper, ListsGrowAsTheShellExpects) {
  CShellFileOp op;
  EXPECT_EQ(op.GetSourceList(), nullptr);
  EXPECT_EQ(op.GetDestinationList(), nullptr);
  EXPECT_TRUE(op.AddPath(0, "a"));
  EXPECT_TRUE(op.AddPath(0, "bc"));
  EXPECT_EQ(op.GetSourceLength(), 5u);
  EXPECT_EQ(std::string(op.GetSourceList(), 6), std::string("a\0bc\0\0", 6));
  EXPECT_EQ(op.GetDestinationList(), nullptr);
  EXPECT_FALSE(op.AddPath(1, nullptr));

  // The wrapper copies: the package writer's stub copy.
  std::string d = kxtest::MakeTempDir("wrap");
  WriteFile(d + "/stub", "MZ stub");
  WriteFile(d + "/pkg.exe", "old");
  CShellFileOp copy;
  copy.SetFlags(FOF_SILENT | FOF_NOCONFIRMATION | FOF_FILESONLY);
  copy.AddPath(0, (d + "/stub").c_str());
  copy.AddPath(1, (d + "/pkg.exe").c_str());
  EXPECT_EQ(copy.Run(), 0);
  EXPECT_EQ(ReadFile(d + "/pkg.exe"), "MZ stub");
  CShellFileOp missing;
  missing.AddPath(0, (d + "/none").c_str());
  missing.AddPath(1, (d + "/x").c_str());
  EXPECT_NE(missing.Run(), 0);
}

}  // namespace
