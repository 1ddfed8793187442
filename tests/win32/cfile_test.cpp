#include <string>

#include <gtest/gtest.h>

#include "platform/mfc/cfile.h"
#include "platform/win32/win32.h"
#include "support/testroot.h"

namespace {

TEST(CFileTest, ReadWriteSeekLength) {
  std::string path = kxtest::MakeTempDir("cf") + "/data.bin";
  CFile f;
  CFileException e;
  ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive, &e));
  f.Write("0123456789", 10);
  EXPECT_EQ(f.GetLength(), 10u);
  EXPECT_EQ(f.Seek(-4, CFile::end), 6u);
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 4u);
  EXPECT_EQ(std::string(buf, 4), "6789");
  f.SetLength(3);
  EXPECT_EQ(f.GetLength(), 3u);
  EXPECT_EQ(f.GetFileName(), CString("data.bin"));
  EXPECT_EQ(f.GetFileTitle(), CString("data"));
  EXPECT_EQ(f.GetFilePath(), CString(path.c_str()));
  CFileStatus st;
  ASSERT_TRUE(f.GetStatus(st));
  EXPECT_EQ(st.m_size, 3u);
  // An exclusive open keeps others out.
  CFile other;
  EXPECT_FALSE(other.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone, &e));
  EXPECT_EQ(e.m_cause, CFileException::sharingViolation);
  EXPECT_EQ(e.m_lOsError, static_cast<LONG>(ERROR_SHARING_VIOLATION));
  f.Close();
  ASSERT_TRUE(other.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite, &e));
  // modeNoTruncate keeps the contents.
  CFile again;
  EXPECT_FALSE(again.Open(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite, &e));
  other.Close();
  ASSERT_TRUE(again.Open(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite, &e));
  EXPECT_EQ(again.GetLength(), 3u);
}

TEST(CFileTest, FailuresRaiseFileExceptions) {
  std::string dir = kxtest::MakeTempDir("cf2");
  CFileException e;
  CFile f;
  EXPECT_FALSE(f.Open((dir + "/missing").c_str(), CFile::modeRead, &e));
  EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
  EXPECT_FALSE(f.Open((dir + "/no/where").c_str(), CFile::modeRead, &e));
  EXPECT_EQ(e.m_cause, CFileException::badPath);
  int cause = -1;
  try {
    CFile g((dir + "/missing").c_str(), CFile::modeRead);
  } catch (CFileException* ex) {
    cause = ex->m_cause;
    ex->Delete();
  }
  EXPECT_EQ(cause, CFileException::fileNotFound);
  // Writing through a read-only open is refused.
  std::string p = dir + "/r";
  kxtest::WriteFile(p, "x");
  CFile r(p.c_str(), CFile::modeRead);
  cause = -1;
  try {
    r.Write("y", 1);
  } catch (CFileException* ex) {
    cause = ex->m_cause;
    ex->Delete();
  }
  EXPECT_EQ(cause, CFileException::accessDenied);
}

TEST(CFileTest, StatusOfAPath) {
  std::string dir = kxtest::MakeTempDir("cf3");
  std::string p = dir + "/report.tvx";
  kxtest::WriteFile(p, "12345");
  HANDLE h = CreateFile(p.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SYSTEMTIME t{2006, 1, 0, 2, 3, 4, 5, 0};
  FILETIME ft;
  SystemTimeToFileTime(&t, &ft);
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  CFileStatus st;
  ASSERT_TRUE(CFile::GetStatus(p.c_str(), st));
  EXPECT_EQ(st.m_size, 5u);
  EXPECT_EQ(st.m_mtime.GetTime(), 1136171045);  // 2006-01-02 03:04:05 UTC
  EXPECT_STREQ(st.m_szFullName, p.c_str());
  EXPECT_EQ(st.m_attribute & CFile::directory, 0);
  EXPECT_FALSE(CFile::GetStatus((dir + "/none").c_str(), st));
  CFile::Rename(p.c_str(), (dir + "/moved.tvx").c_str());
  EXPECT_FALSE(CFile::GetStatus(p.c_str(), st));
  CFile::Remove((dir + "/moved.tvx").c_str());
  EXPECT_EQ(GetFileAttributes((dir + "/moved.tvx").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CFileTest, MemoryAndTextFiles) {
  CMemFile m(16);
  m.Write("hello", 5);
  m.Seek(10, CFile::begin);
  m.Write("!", 1);
  EXPECT_EQ(m.GetLength(), 11u);
  m.SeekToBegin();
  char buf[16];
  ASSERT_EQ(m.Read(buf, sizeof buf), 11u);
  EXPECT_EQ(std::string(buf, 11), std::string("hello\0\0\0\0\0!", 11));
  BYTE* data = m.Detach();
  free(data);

  std::string p = kxtest::MakeTempDir("cf4") + "/log.txt";
  {
    CStdioFile out(p.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeText);
    out.WriteString("first line\n");
    out.WriteString("second\r\n");
    out.WriteString("last");
  }
  CStdioFile in(p.c_str(), CFile::modeRead | CFile::typeText);
  CString line;
  ASSERT_TRUE(in.ReadString(line));
  EXPECT_EQ(line, CString("first line"));
  ASSERT_TRUE(in.ReadString(line));
  EXPECT_EQ(line, CString("second"));
  ASSERT_TRUE(in.ReadString(line));
  EXPECT_EQ(line, CString("last"));
  EXPECT_FALSE(in.ReadString(line));
}

TEST(CFileTest, FindWalksMatches) {
  std::string dir = kxtest::MakeTempDir("cf5");
  kxtest::WriteFile(dir + "/a.clk", "1");
  kxtest::WriteFile(dir + "/b.clk", "22");
  kxtest::WriteFile(dir + "/c.txt", "");
  CFileFind find;
  ASSERT_TRUE(find.FindFile((dir + "/*.clk").c_str()));
  EXPECT_EQ(find.GetFileName(), CString(""));  // nothing current before the first step
  BOOL more = find.FindNextFile();
  EXPECT_TRUE(more);
  EXPECT_EQ(find.GetFileName(), CString("a.clk"));
  EXPECT_EQ(find.GetFilePath(), CString((dir + "/a.clk").c_str()));
  EXPECT_EQ(find.GetFileTitle(), CString("a"));
  more = find.FindNextFile();
  EXPECT_FALSE(more);  // the last entry is current after the call that answers false
  EXPECT_EQ(find.GetFileName(), CString("b.clk"));
  EXPECT_EQ(find.GetLength(), 2u);
  EXPECT_EQ(find.GetRoot(), CString(dir.c_str()));
  EXPECT_FALSE(find.FindFile((dir + "/*.none").c_str()));
  ASSERT_TRUE(find.FindFile((dir + "/*").c_str()));
  find.FindNextFile();
  EXPECT_TRUE(find.IsDots());
  EXPECT_TRUE(find.IsDirectory());
}

}  // namespace
