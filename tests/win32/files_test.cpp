#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "support/testroot.h"

namespace {

std::set<std::string> Find(const std::string& pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFile(pattern.c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.insert(d.cFileName);
  while (FindNextFile(h, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(h);
  return names;
}

TEST(Files, DosWildcardTable) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "abc", true},         {"*.*", "abc", true},         {"*.*", "a.b", true},
      {"*.", "abc", true},        {"*.", "a.b", false},         {"*.txt", "A.TXT", true},
      {"*.txt", "a.txt.bak", false}, {"*.txt", "x.y.txt", true}, {"a.*", "a", true},
      {"a.*", "a.doc", true},     {"a.*", "ab.doc", false},     {"a?", "a", true},
      {"a?", "ab", true},         {"a?", "abc", false},         {"a?.txt", "a.txt", true},
      {"a?.txt", "ab.txt", true}, {"a?.txt", "abc.txt", false}, {"???", "ab", true},
      {"?", ".", false},          {"KX_*.clk", "kx_oneclick_1.clk", true},
      {"report.doc", "REPORT.DOC", true}, {"*.htm", "page.html", false}, {"x*y", "xaby", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kx::MatchDosPattern(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(Files, FindFirstFileOverAFolder) {
  std::string dir = kxtest::MakeTempDir("find");
  for (const char* n : {"b.TXT", "a.txt", "noext", "x.y.z"}) kxtest::WriteFile(dir + "/" + n, "1");
  ASSERT_TRUE(CreateDirectory((dir + "/sub").c_str(), nullptr));
  EXPECT_EQ(Find(dir + "/*.txt"), (std::set<std::string>{"a.txt", "b.TXT"}));
  EXPECT_EQ(Find(dir + "/*."), (std::set<std::string>{".", "..", "noext", "sub"}));
  EXPECT_EQ(Find(dir + "/*.*").size(), 7u);
  // Case-insensitive name order, "." and ".." first.
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFile((dir + "/*").c_str(), &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<std::string> order{d.cFileName};
  while (FindNextFile(h, &d)) order.push_back(d.cFileName);
  FindClose(h);
  EXPECT_EQ(order, (std::vector<std::string>{".", "..", "a.txt", "b.TXT", "noext", "sub", "x.y.z"}));
  h = FindFirstFile((dir + "/sub").c_str(), &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(d.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  FindClose(h);
  EXPECT_EQ(FindFirstFile((dir + "/*.none").c_str(), &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFile((dir + "/missing/*").c_str(), &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Files, TempFileNames) {
  std::string dir = kxtest::MakeTempDir("tmp");
  char name[MAX_PATH];
  // A given number only builds the name: first three characters of the prefix, upper-case hex, ".tmp".
  EXPECT_EQ(GetTempFileName(dir.c_str(), "XQ10_", 0x1234ABCD, name), 0xABCDu);
  EXPECT_EQ(std::string(name), dir + "/XQ1ABCD.tmp");
  EXPECT_EQ(GetFileAttributes(name), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetTempFileName((dir + "/").c_str(), "ab", 0x1f, name), 0x1Fu);
  EXPECT_EQ(std::string(name), dir + "/ab1F.tmp");
  // Number 0: a new empty file is made, and two calls never give the same name.
  UINT u1 = GetTempFileName(dir.c_str(), "XQ10_", 0, name);
  ASSERT_NE(u1, 0u);
  std::string first = name;
  char hex[8];
  snprintf(hex, sizeof hex, "%X", u1);
  EXPECT_EQ(first, dir + "/XQ1" + hex + ".tmp");
  struct stat st;
  ASSERT_EQ(stat(first.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  UINT u2 = GetTempFileName(dir.c_str(), "XQ10_", 0, name);
  EXPECT_NE(u2, 0u);
  EXPECT_NE(std::string(name), first);
  EXPECT_EQ(GetTempFileName((dir + "/missing").c_str(), "x", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  // The temporary folder follows the state root.
  char tmp[MAX_PATH];
  DWORD n = GetTempPath(sizeof tmp, tmp);
  EXPECT_EQ(std::string(tmp, n), kxtest::Root() + "/tmp/");
  EXPECT_EQ(GetTempPath(3, tmp), n + 1);
}

struct Open {
  DWORD access, share;
};

TEST(Files, ShareModeConflicts) {
  std::string path = kxtest::MakeTempDir("share") + "/f.bin";
  kxtest::WriteFile(path, "data");
  const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
  struct Case {
    Open first, second;
    bool conflict;
  } cases[] = {
      {{R, SR}, {R, SR}, false},          // readers sharing reading
      {{R, SR}, {W, SR}, true},           // a writer while a reader denies writing
      {{W, 0}, {R, SR | SW}, true},       // an exclusive writer
      {{R, SR | SW}, {W, SR | SW}, false},
      {{R, SR | SW}, {R, SR}, false},     // the second denies writing; nobody writes
      {{W, SR | SW}, {R, SR}, true},      // the second denies writing, but a writer is open
      {{R, SR}, {R, 0}, true},            // the second denies reading to an open reader
  };
  for (const auto& c : cases) {
    HANDLE a = CreateFile(path.c_str(), c.first.access, c.first.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    HANDLE b = CreateFile(path.c_str(), c.second.access, c.second.share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (c.conflict) {
      EXPECT_EQ(b, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    } else {
      EXPECT_NE(b, INVALID_HANDLE_VALUE);
      CloseHandle(b);
    }
    CloseHandle(a);
  }
  // Closing frees the file again; deletion is refused while a handle denies it.
  HANDLE a = CreateFile(path.c_str(), R, SR, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(DeleteFile(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(a);
  EXPECT_TRUE(DeleteFile(path.c_str()));
}

TEST(Files, ShareModesHoldAcrossProcesses) {
  std::string dir = kxtest::MakeTempDir("share2");
  std::string path = dir + "/log.Alf", flag = dir + "/opened";
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string child = kxtest::BuildDir() + "/bin/kx_win32_child";
    execl(child.c_str(), "kx_win32_child", "hold", path.c_str(), "0x40000000", "0", flag.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && access(flag.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(access(flag.c_str(), F_OK), 0) << "the child did not open the file";
  HANDLE h = CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  h = CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST(Files, CreateReadWriteSeek) {
  std::string dir = kxtest::MakeTempDir("rw");
  std::string path = dir + "/a.bin";
  HANDLE h = CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // the end: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  // 64-bit positions.
  LARGE_INTEGER far, pos;
  far.QuadPart = 0x100000005ll;
  ASSERT_TRUE(SetFilePointerEx(h, far, &pos, FILE_BEGIN));
  ASSERT_TRUE(WriteFile(h, "x", 1, &n, nullptr));
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(h, &high), 6u);
  EXPECT_EQ(high, 1u);
  SetFilePointer(h, 5, nullptr, FILE_BEGIN);
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  CloseHandle(h);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  EXPECT_EQ(CreateFile(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  h = CreateFile(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
  EXPECT_EQ(CreateFile((dir + "/none").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFile((dir + "/no/dir").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Files, AttributesFoldersMoveCopyDelete) {
  std::string dir = kxtest::MakeTempDir("attr");
  std::string f = dir + "/f.txt";
  kxtest::WriteFile(f, "abc");
  EXPECT_EQ(GetFileAttributes(f.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributes(dir.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributes((dir + "/x/y").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // Read-only is the owner's write bit, and it protects the file even for root.
  ASSERT_TRUE(SetFileAttributes(f.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributes(f.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_FALSE(DeleteFile(f.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(CreateFile(f.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // A copy keeps it read-only and the contents.
  std::string g = dir + "/g.txt";
  ASSERT_TRUE(CopyFile(f.c_str(), g.c_str(), TRUE));
  EXPECT_EQ(kxtest::ReadFile(g), "abc");
  EXPECT_TRUE(GetFileAttributes(g.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(CopyFile(f.c_str(), g.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  ASSERT_TRUE(SetFileAttributes(f.c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(SetFileAttributes(g.c_str(), FILE_ATTRIBUTE_NORMAL));
  // Moving onto an existing name needs the replace flag.
  EXPECT_FALSE(MoveFile(f.c_str(), g.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileEx(f.c_str(), g.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetFileAttributes(f.c_str()), INVALID_FILE_ATTRIBUTES);
  // Folders.
  std::string sub = dir + "/sub";
  EXPECT_TRUE(CreateDirectory(sub.c_str(), nullptr));
  EXPECT_FALSE(CreateDirectory(sub.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectory((dir + "/a/b").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  kxtest::WriteFile(sub + "/x", "");
  EXPECT_FALSE(RemoveDirectory(sub.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(DeleteFile(sub.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFile((sub + "/x").c_str()));
  EXPECT_TRUE(RemoveDirectory(sub.c_str()));
  EXPECT_FALSE(DeleteFile((dir + "/nothing").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A copy is made unnamed beside its target and named only when whole: stopped half-way (killed by the file-size
// limit) it leaves nothing, an existing target as it was; a finished one replaces the target keeping its mode.
TEST(Files, ACopyStoppedHalfWayLeavesNothing) {
  const std::string dir = kxtest::MakeTempDir("copy");
  const std::string from = dir + "/big.bin", to = kxtest::MakeTempDir("copies") + "/big.bin";
  kxtest::WriteFile(from, std::string(3u << 20, 'x'));
  const int status = kxtest::RunKilledWhileWriting(1u << 20, [&] { CopyFile(from.c_str(), to.c_str(), TRUE); });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(kxtest::FolderNames(dir + "/../copies"), std::set<std::string>{});
  kxtest::WriteFile(to, "the file as it was");
  ::chmod(to.c_str(), 0640);
  const int again = kxtest::RunKilledWhileWriting(1u << 20, [&] { CopyFile(from.c_str(), to.c_str(), FALSE); });
  ASSERT_TRUE(WIFSIGNALED(again) && WTERMSIG(again) == SIGXFSZ) << again;
  EXPECT_EQ(kxtest::ReadFile(to), "the file as it was");
  EXPECT_EQ(kxtest::FolderNames(dir + "/../copies"), std::set<std::string>{"big.bin"});
  ASSERT_TRUE(CopyFile(from.c_str(), to.c_str(), FALSE));
  EXPECT_EQ(kxtest::ReadFile(to).size(), 3u << 20);
  struct stat st {};
  ASSERT_EQ(::stat(to.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(kxtest::FolderNames(dir + "/../copies"), std::set<std::string>{"big.bin"});
}

TEST(Files, FileTimesFollowTheFile) {
  std::string f = kxtest::MakeTempDir("times") + "/t";
  HANDLE h = CreateFile(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  SYSTEMTIME st{2005, 12, 0, 31, 23, 59, 58, 0};
  FILETIME ft, back;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &back));
  CloseHandle(h);
  EXPECT_EQ(CompareFileTime(&ft, &back), 0);
  struct stat s;
  ASSERT_EQ(stat(f.c_str(), &s), 0);
  EXPECT_EQ(s.st_mtime, 1136073598);  // 2005-12-31 23:59:58 UTC
  WIN32_FILE_ATTRIBUTE_DATA d;
  ASSERT_TRUE(GetFileAttributesEx(f.c_str(), GetFileExInfoStandard, &d));
  EXPECT_EQ(CompareFileTime(&d.ftLastWriteTime, &ft), 0);
}

TEST(Files, PathsAndSpecialFolders) {
  char buf[MAX_PATH];
  LPSTR part = nullptr;
  DWORD n = GetFullPathName("/a/b/../c/./d.txt", sizeof buf, buf, &part);
  EXPECT_EQ(std::string(buf, n), "/a/c/d.txt");
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(part, "d.txt");
  EXPECT_EQ(GetFullPathName("/a//b/", sizeof buf, buf, &part), 5u);
  EXPECT_STREQ(buf, "/a/b/");
  EXPECT_EQ(part, nullptr);
  EXPECT_EQ(GetFullPathName("/abc", 2, buf, nullptr), 5u);  // size needed with the terminator
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, buf, CSIDL_PERSONAL, FALSE));
  EXPECT_EQ(std::string(buf), kxtest::Root() + "/Documents");
  ASSERT_EQ(SHGetFolderPath(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buf), S_OK);
  EXPECT_EQ(GetFileAttributes(buf), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  UINT w = GetWindowsDirectory(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, w).rfind(kxtest::Root(), 0), 0u);
  EXPECT_EQ(GetFileAttributes(buf), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace

namespace {

TEST(Files, MappingAndDisks) {
  std::string path = kxtest::MakeTempDir("map") + "/z.zip";
  kxtest::WriteFile(path, std::string(10000, 'a'));
  HANDLE f = CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE m = CreateFileMapping(f, nullptr, PAGE_READWRITE, 0, 0, "ZipArchive Mapping File");
  ASSERT_NE(m, nullptr);
  auto* p = static_cast<char*>(MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(p, nullptr);
  memmove(p, p + 5000, 10);
  p[0] = 'Z';
  EXPECT_TRUE(UnmapViewOfFile(p));
  EXPECT_FALSE(UnmapViewOfFile(p));
  CloseHandle(m);
  SetFilePointer(f, 9000, nullptr, FILE_BEGIN);
  SetEndOfFile(f);
  CloseHandle(f);
  std::string bytes = kxtest::ReadFile(path);
  EXPECT_EQ(bytes.size(), 9000u);
  EXPECT_EQ(bytes.substr(0, 3), "Zaa");
  EXPECT_EQ(GetDriveType(kxtest::Root().c_str()), static_cast<UINT>(DRIVE_FIXED));
  DWORD spc = 0, bps = 0, freeC = 0, total = 0;
  ASSERT_TRUE(GetDiskFreeSpace(kxtest::Root().c_str(), &spc, &bps, &freeC, &total));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeC, total);
}

TEST(Files, SplitAndFullPath) {
  char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
  _splitpath("/data/out/report.doc.tvx", drive, dir, name, ext);
  EXPECT_STREQ(drive, "");
  EXPECT_STREQ(dir, "/data/out/");
  EXPECT_STREQ(name, "report.doc");
  EXPECT_STREQ(ext, ".tvx");
  _splitpath("noext", drive, dir, name, ext);
  EXPECT_STREQ(dir, "");
  EXPECT_STREQ(name, "noext");
  EXPECT_STREQ(ext, "");
  char full[_MAX_PATH];
  ASSERT_NE(_fullpath(full, "/a/./b/../c", sizeof full), nullptr);
  EXPECT_STREQ(full, "/a/c");
  EXPECT_EQ(_fullpath(full, "/a/long/path", 5), nullptr);
}

}  // namespace
