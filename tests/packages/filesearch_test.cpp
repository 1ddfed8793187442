// Wildcard search with its folder, and file sizes beyond 32 bits.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/FileSearch.h"
#include "support/testroot.h"

namespace {

TEST(FileSearch, FindsAndRemembersTheFolder) {
  std::string d = kxtest::MakeTempDir("search");
  kxtest::WriteFile(d + "/one.txt", "1");
  kxtest::WriteFile(d + "/two.TXT", "22");
  kxtest::WriteFile(d + "/x\\y.txt", "3");
  mkdir((d + "/sub").c_str(), 0755);

  CFileSearch search;
  EXPECT_FALSE(search.FindFile((d + "/none.txt").c_str()));
  EXPECT_FALSE(search.IsFound());
  EXPECT_FALSE(search.FindNextFile());  // nothing stays open

  ASSERT_TRUE(search.FindFile((d + "/*.txt").c_str()));
  EXPECT_EQ(std::string(search.GetFolder()), d);
  std::set<std::string> names;
  do names.insert(search.GetFileName());
  while (search.FindNextFile());
  EXPECT_EQ(names, (std::set<std::string>{"one.txt", "two.TXT", "x\\y.txt"}));
  EXPECT_FALSE(search.IsFound());

  // A backslash is part of a name: the folder is cut at the last "/".
  ASSERT_TRUE(search.FindFile((d + "/x\\y.txt").c_str()));
  EXPECT_EQ(std::string(search.GetFolder()), d);
  char path[4096];
  search.GetFilePath(path, sizeof path);
  EXPECT_EQ(std::string(path), d + "/x\\y.txt");

  // A relative pattern is made absolute; dots and folders are told apart.
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(d.c_str()), 0);
  bool sawDots = false, sawSub = false;
  ASSERT_TRUE(search.FindFile(nullptr));
  EXPECT_EQ(std::string(search.GetFolder()), d);
  do {
    if (search.IsDots()) sawDots = true;
    else if (std::string(search.GetFileName()) == "sub") sawSub = search.IsDirectory();
    else EXPECT_FALSE(search.IsDirectory()) << search.GetFileName();
  } while (search.FindNextFile());
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_TRUE(sawDots);
  EXPECT_TRUE(sawSub);

  // A folder deeper than the platform's MAX_PATH is still searched.
  std::string deep = d;
  while (deep.size() < 400) {
    deep += "/" + std::string(60, 'd');
    mkdir(deep.c_str(), 0755);
  }
  kxtest::WriteFile(deep + "/out.tvx", "x");
  ASSERT_TRUE(search.FindFile((deep + "/out.tvx").c_str()));
  EXPECT_EQ(std::string(search.GetFolder()), deep);
}

TEST(FileSearch, FileLength) {
  std::string d = kxtest::MakeTempDir("length");
  kxtest::WriteFile(d + "/empty", "");
  kxtest::WriteFile(d + "/small", "12345");
  EXPECT_EQ(GetFileLength((d + "/missing").c_str()), 0.0);
  EXPECT_EQ(GetFileLength((d + "/empty").c_str()), 0.0);
  EXPECT_EQ(GetFileLength((d + "/small").c_str()), 5.0);
  EXPECT_EQ(GetFileLength(d.c_str()), 0.0);
  // Sparse files: above 4 GiB, and one whose low 32 bits are all ones (not an error here).
  struct {
    const char* name;
    off_t size;
  } large[] = {{"/five", 5LL << 30}, {"/ones", 0x1FFFFFFFFLL}};
  for (const auto& f : large) {
    int fd = open((d + f.name).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, f.size), 0);
    close(fd);
    EXPECT_EQ(GetFileLength((d + f.name).c_str()), static_cast<double>(f.size)) << f.name;
  }
}

}  // namespace
