// Clearing the caches: what goes and what stays (desktop.ini files and the folders that hold them, cookies,
// whatever a link points at, the shared temporary folder).
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "certificates/CacheCleanup.h"
#include "support/testroot.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

class Cleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = kxtest::MakeTempDir("cleanup");
    m_outside = kxtest::MakeTempDir("outside");
    kxtest::WriteFile(m_outside + "/precious", "keep");
    mkdir((m_dir + "/sub").c_str(), 0755);
    mkdir((m_dir + "/sub/deep").c_str(), 0755);
    mkdir((m_dir + "/plain").c_str(), 0755);
    kxtest::WriteFile(m_dir + "/a.tmp", "a");
    kxtest::WriteFile(m_dir + "/Desktop.INI", "d");
    kxtest::WriteFile(m_dir + "/sub/deep/desktop.ini", "d");
    kxtest::WriteFile(m_dir + "/sub/deep/b.tmp", "b");
    kxtest::WriteFile(m_dir + "/plain/readonly.tmp", "r");
    chmod((m_dir + "/plain/readonly.tmp").c_str(), 0444);
    chmod((m_dir + "/plain").c_str(), 0555);
    symlink(m_outside.c_str(), (m_dir + "/link").c_str());
  }
  std::string m_dir, m_outside;
};

TEST_F(Cleanup, DesktopIniFilesAndTheirFoldersStayUnlessAsked) {
  ASSERT_TRUE(DeleteFolderContents(m_dir.c_str(), FALSE));
  EXPECT_TRUE(Exists(m_dir));
  EXPECT_TRUE(Exists(m_dir + "/Desktop.INI"));
  EXPECT_TRUE(Exists(m_dir + "/sub/deep/desktop.ini"));
  EXPECT_FALSE(Exists(m_dir + "/sub/deep/b.tmp"));
  EXPECT_FALSE(Exists(m_dir + "/a.tmp"));
  // Read-only entries go too.
  EXPECT_FALSE(Exists(m_dir + "/plain"));
  // A link is removed; what it pointed at is not touched.
  EXPECT_FALSE(Exists(m_dir + "/link"));
  EXPECT_TRUE(Exists(m_outside + "/precious"));

  ASSERT_TRUE(DeleteFolderContents(m_dir.c_str(), TRUE));
  EXPECT_FALSE(Exists(m_dir + "/Desktop.INI"));
  EXPECT_FALSE(Exists(m_dir + "/sub"));
  EXPECT_TRUE(Exists(m_dir));
  EXPECT_FALSE(DeleteFolderContents((m_dir + "/none").c_str(), TRUE));
}

TEST_F(Cleanup, UrlCacheKeepsCookiesAndAnEmptyCacheSaysSo) {
  char cache[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, cache, CSIDL_INTERNET_CACHE, TRUE));
  EXPECT_FALSE(ClearUrlCache());
  const std::string base = cache;
  mkdir((base + "/Cookies").c_str(), 0755);
  kxtest::WriteFile(base + "/Cookies/session", "c");
  EXPECT_FALSE(ClearUrlCache());  // cookies are not entries to delete
  kxtest::WriteFile(base + "/inter.crl", "x");
  EXPECT_TRUE(ClearUrlCache());
  EXPECT_FALSE(Exists(base + "/inter.crl"));
  EXPECT_TRUE(Exists(base + "/Cookies/session"));
}

TEST_F(Cleanup, OnlyTheLibrarysOwnTemporaryFolderIsEmptied) {
  char temp[260] = {};
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  const std::string shared = std::string(temp) + "someone-elses.tmp";
  const std::string own = std::string(temp) + kLibraryTempFolder;
  mkdir(own.c_str(), 0755);
  kxtest::WriteFile(shared, "s");
  kxtest::WriteFile(own + "/left.tmp", "l");
  ClearCertificateCaches();
  EXPECT_TRUE(Exists(shared));
  EXPECT_FALSE(Exists(own + "/left.tmp"));
  EXPECT_TRUE(Exists(own));
}

}  // namespace
