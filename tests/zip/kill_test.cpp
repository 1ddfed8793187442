// Killed at several points while it writes, an extraction (of a password-protected entry: its plaintext) or
// the creation of an archive leaves nothing in the folder it writes to, named or hidden; the next run there
// leaves only its own output, and what it wrote is readable to its owner alone until whole.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "ziptest.h"

using namespace ziptest;

TEST(ZipKilled, ExtractionAndCreationLeaveNothing) {
  const std::string work = kxtest::MakeTempDir("work");
  const std::string data = Noise(6u << 20, 3);
  const std::string source = work + "/secret.bin";
  kxtest::WriteFile(source, data);
  const std::string locked = work + "/locked.zip";
  {
    CZipArchive zip;
    zip.Open(locked.c_str(), CZipArchive::zipCreate);
    ASSERT_TRUE(zip.SetPassword("secret"));
    ASSERT_TRUE(zip.AddNewFile(source.c_str(), 0, false));
    zip.Close();
  }
  auto extract = [&](const std::string& dest) {
    CZipArchive zip;
    zip.Open(locked.c_str(), CZipArchive::zipOpenReadOnly);
    zip.SetPassword("secret");
    zip.ExtractFile(0, dest.c_str());
    zip.Close();
  };
  auto create = [&](const std::string& dest) {
    CZipArchive zip;
    zip.Open((dest + "/new.zip").c_str(), CZipArchive::zipCreate);
    zip.AddNewFile(source.c_str(), 0, false);
    zip.Close();
  };
  const struct {
    const char* kind;
    std::function<void(const std::string&)> run;
    const char* output;
  } rows[] = {{"extract", extract, "secret.bin"}, {"create", create, "new.zip"}};
  int killed = 0;
  for (const auto& row : rows) {
    for (int third = 0; third < 3; ++third) {
      SCOPED_TRACE(std::string(row.kind) + " at " + std::to_string(third) + "/3");
      const std::string dest = kxtest::MakeTempDir(std::string(row.kind) + std::to_string(third));
      const int status = kxtest::RunKilledWhenWritten(dest, static_cast<long long>(data.size()) * third / 3,
                                                      [&] { row.run(dest); });
      if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        ++killed;
        EXPECT_EQ(kxtest::FolderNames(dest), std::set<std::string>{});
      } else {
        // A machine so busy that the run ended before the kill: then its output is whole.
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(kxtest::FolderNames(dest), std::set<std::string>{row.output});
        ::unlink((dest + "/" + row.output).c_str());
      }
      row.run(dest);
      EXPECT_EQ(kxtest::FolderNames(dest), std::set<std::string>{row.output});
    }
  }
  EXPECT_GT(killed, 0);
  EXPECT_TRUE(kxtest::ReadFile(kxtest::Root() + "/extract2/secret.bin") == data);
  std::string listing;
  EXPECT_EQ(Sh("unzip -t " + Quote(kxtest::Root() + "/create2/new.zip"), &listing), 0) << listing;
}

// An archive being made, like an extracted file being written, is no file anyone can open by a name; once
// whole it has the mode the umask gives (an extracted file over an existing one keeps that file's).
TEST(ZipKilled, NewFilesAreTheOwnersAloneUntilWhole) {
  const mode_t mask = ::umask(002);
  const std::string dest = kxtest::MakeTempDir("dest");
  CZipArchive zip;
  zip.Open((dest + "/new.zip").c_str(), CZipArchive::zipCreate);
  ASSERT_TRUE(zip.SetPassword("secret"));
  const std::string source = kxtest::MakeTempDir("src") + "/a.txt";
  kxtest::WriteFile(source, Text(20000));
  ASSERT_TRUE(zip.AddNewFile(source.c_str(), 6, false));
  EXPECT_EQ(kxtest::FolderNames(dest), std::set<std::string>{});
  zip.Close();
  struct stat st {};
  ASSERT_EQ(::stat((dest + "/new.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  zip.Open((dest + "/new.zip").c_str(), CZipArchive::zipOpenReadOnly);
  zip.SetPassword("secret");
  ASSERT_TRUE(zip.ExtractFile(0, dest.c_str()));
  ASSERT_EQ(::stat((dest + "/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  ::chmod((dest + "/a.txt").c_str(), 0640);
  ASSERT_TRUE(zip.ExtractFile(0, dest.c_str()));
  ASSERT_EQ(::stat((dest + "/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  zip.Close();
  EXPECT_EQ(kxtest::FolderNames(dest), (std::set<std::string>{"a.txt", "new.zip"}));
  ::umask(mask);
}
