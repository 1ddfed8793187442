// Attribute conversion, entry-name code page, paths, times, exception causes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ziptest.h"

using namespace ziptest;

TEST(ZipPlatform, AttributeConversionBetweenHosts) {
  struct Case {
    DWORD attr;
    int from, to;
    DWORD want;
  } cases[] = {
      {0x01, 0, 3, 0x1240000},     // read-only file: 0444
      {0x20, 0, 3, 0x1B40000},     // file: 0664
      {0x22, 0, 3, 0x1B40000},     // hidden has no Unix form (not 0220)
      {0x23, 0, 3, 0x1240000},     // read-only and hidden stays readable (not 0)
      {0x10, 0, 3, 0x41FD0010},    // folder: 040775, can be entered
      {0x11, 0, 3, 0x416D0010},    // read-only folder: 040555
      {0x41ED0000, 3, 0, 0x10},    // Unix folder 0755
      {0x81A40000, 3, 0, 0x20},    // Unix file 0644
      {0x81240000, 3, 0, 0x21},    // Unix file 0444
      {0x80000000, 3, 0, 0x23},    // mode 0: read-only, hidden
      {0x37, 7, 0, 0x11},          // Macintosh keeps read-only and folder
      {0x37, 0, 10, 0x37},         {0x37, 6, 0, 0x37}, {0x37, 12, 0, 0x37}, {0x37, 0, 12, 0x37},
      {0x1234, 1, 1, 0x1234},      // same system: unchanged even without converter
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZipConvertAttributes(c.attr, c.from, c.to), c.want) << std::hex << c.attr << " " << c.from << "->" << c.to;
}

TEST(ZipPlatform, SystemsWithoutConverterRaise113) {
  for (int sys : {1, 2, 4, 5, 8, 9}) {
    EXPECT_EQ(CauseOf([&] { ZipConvertAttributes(0x20, sys, 0); }), CZipException::platfNotSupp) << sys;
    EXPECT_EQ(CauseOf([&] { ZipConvertAttributes(0x20, 0, sys); }), CZipException::platfNotSupp) << sys;
    EXPECT_FALSE(ZipIsSystemSupported(sys));
  }
  for (int sys : {0, 3, 6, 7, 10, 11, 30}) EXPECT_TRUE(ZipIsSystemSupported(sys)) << sys;
  // Raised with no archive around, the exception names no file.
  try {
    ZipConvertAttributes(0, 1, 0);
    FAIL();
  } catch (CZipException* e) {
    EXPECT_TRUE(e->m_szFileName.IsEmpty());
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
    e->Delete();
  }
}

TEST(ZipPlatform, OemCodePageMatchesPythonsCp437) {
  std::string want;
  ASSERT_EQ(Sh("python3 -c \"import sys; sys.stdout.buffer.write(bytes(range(256)).decode('cp437').encode('utf-8'))\"",
               &want),
            0);
  CZipBuffer all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<BYTE>(i);
  CZipBuffer ansi = all;
  ASSERT_TRUE(ZipAnsiOem(ansi, false));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ansi.GetBuffer()), ansi.GetSize()), want);
  ASSERT_TRUE(ZipAnsiOem(ansi, true));
  EXPECT_EQ(0, std::memcmp(ansi.GetBuffer(), all.GetBuffer(), 256));
  // Characters outside the page (and malformed text) have no OEM form; the buffer stays as it was.
  for (const char* s : {"price\xE2\x82\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", "bad\xC3"}) {
    CZipBuffer b;
    b.Assign(s, static_cast<DWORD>(strlen(s)));
    EXPECT_FALSE(ZipAnsiOem(b, true)) << s;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.GetBuffer()), b.GetSize()), s);
  }
}

TEST(ZipPlatform, EntryNamesInStoredForm) {
  struct Case {
    const char* name;
    int host;
    const char* stored;
    bool utf8;
  } cases[] = {
      {"dir\\sub\\file.txt", 0, "dir/sub/file.txt", false},
      {"caf\xC3\xA9\\\xC3\xA9t\xC3\xA9.txt", 0, "caf\xC3\xA9/\xC3\xA9t\xC3\xA9.txt", true},  // fits the OEM page: UTF-8 all the same
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", 0, "\xE6\x97\xA5\xE6\x9C\xAC.txt", true},  // does not: UTF-8, flagged
      {"caf\xC3\xA9.txt", 3, "caf\xC3\xA9.txt", true},                             // Unix host: no OEM step
      {"plain.txt", 3, "plain.txt", false},
  };
  for (const auto& c : cases) {
    CZipFileHeader h;
    h.m_uVersionMadeBy = static_cast<WORD>(c.host << 8 | 20);
    h.SetFileName(c.name);
    h.PrepareData(6, false, false);
    CZipBuffer stored = h.GetStoredName();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored.GetBuffer()), stored.GetSize()), c.stored) << c.name;
    EXPECT_EQ((h.m_uFlag & CZipFileHeader::flagUtf8) != 0, c.utf8) << c.name;
    CZipFileHeader back = h;
    back.SetStoredName(stored);
    EXPECT_STREQ(back.GetFileName(), c.name);
  }
  // Archives of before keep names in the OEM page without the flag: they read as they always did.
  CZipFileHeader old;
  old.m_uVersionMadeBy = 20;
  CZipBuffer oem;
  oem.Assign("caf\x82/\x82t\x82.txt", 12);
  old.SetStoredName(oem);
  EXPECT_STREQ(old.GetFileName(), "caf\xC3\xA9\\\xC3\xA9t\xC3\xA9.txt");
}

TEST(ZipPlatform, PathComponents) {
  struct Case {
    const char* path;
    const char *drive, *dir, *title, *ext, *filePath, *fullPath, *noDrive;
  } cases[] = {
      {"/x/y/a.zip", "/", "x/y", "a", "zip", "/x/y", "/x/y/a.zip", "x/y/a.zip"},
      {"/a.zip", "/", "", "a", "zip", "/", "/a.zip", "a.zip"},
      {"a.zip", "", "", "a", "zip", "", "a.zip", "a.zip"},
      {"rel/dir/b.tar.gz", "", "rel/dir", "b.tar", "gz", "rel/dir", "rel/dir/b.tar.gz", "rel/dir/b.tar.gz"},
      {"dir/sub/", "", "dir/sub", "", "", "dir/sub", "dir/sub/", "dir/sub"},
      {"/home/.profile", "/", "home", ".profile", "", "/home", "/home/.profile", "home/.profile"},
      {"/", "/", "", "", "", "/", "/", ""},
  };
  for (const auto& c : cases) {
    CZipPathComponent p(c.path);
    EXPECT_STREQ(p.GetFileDrive(), c.drive) << c.path;
    EXPECT_STREQ(p.GetFileDir(), c.dir) << c.path;
    EXPECT_STREQ(p.GetFileTitle(), c.title) << c.path;
    EXPECT_STREQ(p.GetFileExt(), c.ext) << c.path;
    EXPECT_STREQ(p.GetFilePath(), c.filePath) << c.path;
    EXPECT_STREQ(p.GetFullPath(), c.fullPath) << c.path;
    EXPECT_STREQ(p.GetNoDrive(), c.noDrive) << c.path;
  }
  CZipPathComponent v("/v/a.zip");
  v.SetExtension(".001");
  EXPECT_STREQ(v.GetFullPath(), "/v/a.001");
}

TEST(ZipPlatform, FilesAndFolders) {
  std::string dir = kxtest::MakeTempDir();
  mkdir((dir + "/a").c_str(), 0755);
  EXPECT_TRUE(ZipForceDirectory((dir + "/a/b/c/").c_str()));
  EXPECT_EQ(ZipFileExists((dir + "/a/b/c").c_str()), -1);
  kxtest::WriteFile(dir + "/f", "x");
  EXPECT_EQ(ZipFileExists((dir + "/f").c_str()), 1);
  EXPECT_EQ(ZipFileExists((dir + "/none").c_str()), 0);
  EXPECT_FALSE(ZipForceDirectory((dir + "/f/sub").c_str()));  // a file stands in the way
  DWORD attr = 0;
  ASSERT_TRUE(ZipGetFileAttributes((dir + "/f").c_str(), attr));
  EXPECT_EQ(attr, 0x20u);
  ASSERT_TRUE(ZipSetFileAttributes((dir + "/f").c_str(), 0x21));
  ASSERT_TRUE(ZipGetFileAttributes((dir + "/f").c_str(), attr));
  EXPECT_EQ(attr, 0x21u);
  ASSERT_TRUE(ZipGetFileAttributes((dir + "/a").c_str(), attr));
  EXPECT_EQ(attr, 0x10u);
  // A read-only folder must still take the files extracted into it.
  ASSERT_TRUE(ZipSetFileAttributes((dir + "/a").c_str(), 0x11));
  kxtest::WriteFile(dir + "/a/inside", "y");
  EXPECT_EQ(kxtest::ReadFile(dir + "/a/inside"), "y");
  ASSERT_TRUE(ZipSetFileModTime((dir + "/a/inside").c_str(), 1000000000));
  time_t t = 0;
  ASSERT_TRUE(ZipGetFileModTime((dir + "/a/inside").c_str(), t));
  EXPECT_EQ(t, 1000000000);
  // Links below a destination are found, whether they point at folders or files.
  symlink("/tmp", (dir + "/a/link").c_str());
  EXPECT_TRUE(ZipPathHasLink(dir.c_str(), "a/link/x"));
  EXPECT_TRUE(ZipPathHasLink(dir.c_str(), "a/link"));
  EXPECT_FALSE(ZipPathHasLink(dir.c_str(), "a/b/c/new/file"));
  EXPECT_EQ(CauseOf([&] { ZipRenameFile((dir + "/none").c_str(), (dir + "/x").c_str()); }), CZipException::notRenamed);
  EXPECT_EQ(CauseOf([&] { ZipRemoveFile((dir + "/none").c_str()); }), CZipException::notRemoved);
  EXPECT_FALSE(ZipIsDriveRemovable(dir.c_str()));
}

TEST(ZipPlatform, DosTimes) {
  struct Case {
    int year, mon, day, hour, min, sec;
    int wantYear, wantSec;
  } cases[] = {
      {2004, 2, 29, 23, 59, 58, 2004, 58},
      {2004, 2, 29, 23, 59, 59, 2004, 58},  // two-second steps
      {1979, 6, 15, 10, 20, 30, 1980, 30},  // before 1981: year field 0
      {1980, 6, 15, 10, 20, 30, 1980, 30},
      {2150, 1, 2, 3, 4, 6, 2107, 6},       // past the field's range: its last year
  };
  for (const auto& c : cases) {
    struct tm t = {};
    t.tm_year = c.year - 1900;
    t.tm_mon = c.mon - 1;
    t.tm_mday = c.day;
    t.tm_hour = c.hour;
    t.tm_min = c.min;
    t.tm_sec = c.sec;
    CZipFileHeader h;
    h.SetTime(timegm(&t));
    time_t back = h.GetTime();
    struct tm r = {};
    gmtime_r(&back, &r);
    EXPECT_EQ(r.tm_year + 1900, c.wantYear) << c.year;
    EXPECT_EQ(r.tm_mon, c.mon - 1);
    EXPECT_EQ(r.tm_mday, c.day);
    EXPECT_EQ(r.tm_hour, c.hour);
    EXPECT_EQ(r.tm_min, c.min);
    EXPECT_EQ(r.tm_sec, c.wantSec);
  }
}

TEST(ZipPlatform, ZlibResultsToCauses) {
  struct Case {
    int zlib, cause;
  } cases[] = {{1, 500}, {2, 501}, {-1, 502}, {-2, 503}, {-3, 504}, {-4, 505}, {-5, 506}, {-6, 507}, {7, 100}};
  for (const auto& c : cases) EXPECT_EQ(CZipException::ZlibToCause(c.zlib), c.cause) << c.zlib;
}

TEST(ZipPlatform, HeaderFlagsFromLevel) {
  struct Case {
    int level;
    bool descriptor, encrypted;
    WORD method, flag;
    DWORD compressed;
  } cases[] = {
      {0, false, false, 0, 0x0, 0},   {1, false, false, 8, 0x6, 0},    {2, false, false, 8, 0x4, 0},
      {6, false, false, 8, 0x0, 0},   {-1, false, false, 8, 0x0, 0},   {8, false, false, 8, 0x2, 0},
      {9, false, false, 8, 0x2, 0},   {9, true, false, 8, 0xA, 0},     {9, false, true, 8, 0xB, 12},
      {0, false, true, 0, 0x9, 12},
  };
  for (const auto& c : cases) {
    CZipFileHeader h;
    h.SetFileName("x");
    ASSERT_TRUE(h.PrepareData(c.level, c.descriptor, c.encrypted));
    EXPECT_EQ(h.m_uMethod, c.method) << c.level;
    EXPECT_EQ(h.m_uFlag, c.flag) << c.level;
    EXPECT_EQ(h.m_uComprSize, c.compressed) << c.level;
    EXPECT_EQ(h.m_uVersionNeeded, 20);
    EXPECT_EQ(h.m_uVersionMadeBy & 0xFF, 20);
  }
  CZipFileHeader big;
  big.SetFileName(std::string(65536, 'n').c_str());
  EXPECT_FALSE(big.PrepareData(6, false, false));
  big.SetFileName(std::string(65535, 'n').c_str());
  EXPECT_TRUE(big.PrepareData(6, false, false));
  big.SetComment(std::string(65536, 'c').c_str());
  EXPECT_FALSE(big.PrepareData(6, false, false));
}
