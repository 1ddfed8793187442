#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/ByteBuffer.h"
#include "core/Paths.h"
#include "core/Win32File.h"
#include "platform/com/bstr.h"
#include "platform/win32/errors.h"
#include "platform/win32/modules.h"
#include "support/testroot.h"

TEST(PathParts, SplitsDirectoryNameAndExtension) {
  struct { const char* path; const char* dir; const char* name; const char* ext; } cases[] = {
      {"/a/b.txt", "/a/", "b", ".txt"},
      {"b.txt", "", "b", ".txt"},
      {"/home/user/report.final.tvx", "/home/user/", "report.final", ".tvx"},
      {"/home/user/", "/home/user/", "", ""},
      {"noext", "", "noext", ""},
      {"/dir.d/file", "/dir.d/", "file", ""},
      {".profile", "", "", ".profile"},
      {"", "", "", ""},
  };
  for (auto& c : cases) {
    CPathParts p(c.path);
    EXPECT_STREQ(p.GetDrive(), "") << c.path;
    EXPECT_STREQ(p.GetDirectory(), c.dir) << c.path;
    EXPECT_STREQ(p.GetFileName(), c.name) << c.path;
    EXPECT_STREQ(p.GetExtension(), c.ext) << c.path;
  }
  CPathParts empty;
  EXPECT_FALSE(empty.Split(nullptr));
  EXPECT_STREQ(empty.GetFileName(), "");
  // A path longer than 259 bytes is cut to 259 before splitting, never inside a character.
  std::string dir = "/" + std::string(200, 'd') + "/";
  std::string longPath = dir + std::string(100, 'x') + ".txt";
  CPathParts cut(longPath.c_str());
  EXPECT_STREQ(cut.GetDirectory(), dir.c_str());
  EXPECT_STREQ(cut.GetFileName(), std::string(259 - dir.size(), 'x').c_str());
  EXPECT_STREQ(cut.GetExtension(), "");
  std::string accented = dir + std::string(56, 'y') + "\xC3\xA9\xC3\xA9";  // byte 259 falls inside a character
  CPathParts noHalf(accented.c_str());
  EXPECT_STREQ(noHalf.GetFileName(), std::string(56, 'y').c_str()) << "the split character is dropped whole";
}

TEST(FileFinder, WalksAWildcardWithFullPaths) {
  std::string dir = kxtest::MakeTempDir("finder");
  for (const char* n : {"a.tvx", "b.TVX", "c.txt"}) kxtest::WriteFile(dir + "/" + n, "12345");
  ::mkdir((dir + "/sub.tvx").c_str(), 0755);

  CFileFinder f;
  EXPECT_STREQ(f.GetFileName(), "") << "nothing current before the first step";
  ASSERT_TRUE(f.FindFile((dir + "/*.tvx").c_str()));
  EXPECT_STREQ(f.GetRoot(), dir.c_str());
  EXPECT_STREQ(f.GetFileName(), "");
  std::set<std::string> names, paths;
  bool more = true;
  while (more) {
    more = f.FindNextFile();
    names.insert(f.GetFileName().GetString());
    paths.insert(f.GetFilePath().GetString());
    if (f.GetFileName() == "sub.tvx") {
      EXPECT_TRUE(f.IsDirectory());
      EXPECT_FALSE(f.IsDots());
    } else {
      EXPECT_EQ(f.GetLength(), 5u);
      EXPECT_STREQ(f.GetFileTitle(), std::string(f.GetFileName()).substr(0, 1).c_str());
      FILETIME ft;
      EXPECT_TRUE(f.GetLastWriteTime(&ft));
      EXPECT_FALSE(f.GetLastWriteTime(nullptr));
    }
  }
  EXPECT_EQ(names, (std::set<std::string>{"a.tvx", "b.TVX", "sub.tvx"}));
  EXPECT_TRUE(paths.count(dir + "/a.tvx"));
  EXPECT_STREQ(f.GetFileURL(), ("file://" + std::string(f.GetFilePath())).c_str());

  // A bare pattern is taken relative to the current folder.
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(dir.c_str()), 0);
  CFileFinder bare;
  bool found = bare.FindFile("c.*");
  EXPECT_EQ(chdir(cwd), 0);
  ASSERT_TRUE(found);
  bare.FindNextFile();
  EXPECT_STREQ(bare.GetFilePath(), (dir + "/c.txt").c_str());

  // No match: false, with the thread's error saying why.
  CFileFinder none;
  EXPECT_FALSE(none.FindFile((dir + "/*.zzz").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(none.FindNextFile());
  EXPECT_FALSE(none.FindFile((dir + "/missing/*.tvx").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(Cursor, LittleEndianValuesAllOrNothing) {
  BYTE area[16] = {};
  DWORD cur = 0;
  CByteBuffer value(3, "abc", false);
  ASSERT_TRUE(CursorWriteBuffer(sizeof area, area, value, &cur));
  EXPECT_EQ(cur, 7u);
  EXPECT_EQ(area[0], 3);
  EXPECT_EQ(area[1], 0);
  ASSERT_TRUE(CursorWriteUInt32(sizeof area, area, 0x11223344, &cur));
  EXPECT_EQ(area[7], 0x44);
  ASSERT_TRUE(CursorWriteByte(sizeof area, area, 0xEE, &cur));
  BSTR b = SysAllocStringByteLen("xyz", 3);
  DWORD before = cur;
  EXPECT_FALSE(CursorWriteBstr(sizeof area, area, b, &cur)) << "4 + 3 bytes do not fit in the 4 left";
  EXPECT_EQ(cur, before);
  SysFreeString(b);

  cur = 0;
  CByteBuffer out;
  DWORD n = 0;
  BYTE one = 0;
  ASSERT_TRUE(CursorReadBuffer(sizeof area, area, out, &cur));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.GetData()), 3), "abc");
  ASSERT_TRUE(CursorReadUInt32(sizeof area, area, &n, &cur));
  EXPECT_EQ(n, 0x11223344u);
  ASSERT_TRUE(CursorReadByte(sizeof area, area, &one, &cur));
  EXPECT_EQ(one, 0xEE);

  // A length field that runs past the total changes nothing.
  BYTE bad[8] = {0xFF, 0xFF, 0, 0, 1, 2, 3, 4};
  cur = 0;
  EXPECT_FALSE(CursorReadBuffer(sizeof bad, bad, out, &cur));
  EXPECT_EQ(cur, 0u);
  BSTR got = nullptr;
  EXPECT_FALSE(CursorReadBstr(sizeof bad, bad, &got, &cur));
  bad[0] = 4;
  bad[1] = 0;
  ASSERT_TRUE(CursorReadBstr(sizeof bad, bad, &got, &cur));
  EXPECT_EQ(SysStringByteLen(got), 4u);
  SysFreeString(got);
  EXPECT_FALSE(CursorReadByte(sizeof bad, bad, &one, &cur));
}

TEST(Win32File, WholeFileReadAndWrite) {
  std::string dir = kxtest::MakeTempDir("files");
  std::string path = dir + "/data.bin";
  CByteBuffer bytes(5, "hello", false);
  {
    CWin32File w(path.c_str(), bytes);
    ASSERT_TRUE(w.IsOpen());
    EXPECT_EQ(w.WriteAll(6), E_FAIL) << "more than the buffer writes nothing";
    EXPECT_EQ(w.WriteAll(), S_OK);
    CWin32File reader(path.c_str());
    EXPECT_FALSE(reader.IsOpen()) << "a file being written is not shared";
  }
  EXPECT_EQ(kxtest::ReadFile(path), "hello");
  {
    CWin32File r(path.c_str());
    ASSERT_TRUE(r.IsOpen());
    CWin32File other(path.c_str());
    EXPECT_TRUE(other.IsOpen()) << "readers share the file";
    EXPECT_EQ(r.ReadAll(), S_OK);
    EXPECT_TRUE(r.m_buffer == bytes);
    EXPECT_EQ(r.ReadAll(), E_FAIL) << "the buffer is no longer empty";
  }
  {
    CWin32File shortRead(path.c_str());
    EXPECT_EQ(shortRead.ReadAll(8), E_FAIL);
    EXPECT_EQ(shortRead.m_buffer.GetLength(), 8u);
    EXPECT_EQ(shortRead.m_buffer.GetByteAt(7), 0);
  }
  std::string empty = dir + "/empty.bin";
  {
    CWin32File w(empty.c_str(), CByteBuffer());
    EXPECT_EQ(w.WriteAll(), E_FAIL);
  }
  EXPECT_EQ(kxtest::ReadFile(empty), "");
  CWin32File r(empty.c_str());
  EXPECT_EQ(r.ReadAll(), E_FAIL) << "nothing to allocate";
  CWin32File missing((dir + "/none").c_str());
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.ReadAll(), E_FAIL);
  CWin32File noFolder((dir + "/no/such/file").c_str(), bytes);
  EXPECT_FALSE(noFolder.IsOpen());
  EXPECT_EQ(noFolder.m_buffer.GetLength(), 0u);
}

namespace {
HWND g_owner = nullptr;
std::string g_file;
UINT g_command = 99;
HWND FakeHtmlHelp(HWND owner, LPCSTR file, UINT command, DWORD_PTR) {
  g_owner = owner;
  g_file = file ? file : "";
  g_command = command;
  return reinterpret_cast<HWND>(0x1234);
}
}  // namespace

TEST(HtmlHelp, LoaderFindsTheViewerEntryByOrdinal) {
  // No registered location in this state root: the loader falls back to the module by name.
  kx::BuiltinExport entry[] = {{nullptr, 14, reinterpret_cast<void*>(&FakeHtmlHelp)}};
  kx::RegisterBuiltinModule("hhctrl.ocx", entry, 1);
  EXPECT_EQ(HtmlHelpLoader(nullptr, "/opt/kx/Zelvane.chm", 0, 0), reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(g_file, "/opt/kx/Zelvane.chm");
  EXPECT_EQ(g_command, 0u);
}
