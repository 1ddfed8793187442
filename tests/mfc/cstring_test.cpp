#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "platform/mfc/cstring.h"

TEST(CString, SlicingClampsLikeTheFramework) {
  CString s("Brinmoor");
  struct Case { CString got; const char* want; } cases[] = {
      {s.Mid(3), "nmoor"},    {s.Mid(3, 2), "nm"},   {s.Mid(-4, 2), "Br"}, {s.Mid(20), ""},
      {s.Mid(2, 100), "inmoor"}, {s.Left(3), "Bri"}, {s.Left(-1), ""},     {s.Right(4), "moor"},
      {s.Right(50), "Brinmoor"},
  };
  for (auto& c : cases) EXPECT_STREQ(c.got, c.want);
}

TEST(CString, FindAndCompare) {
  CString s("a.b.c.tvx");
  EXPECT_EQ(s.Find('.'), 1);
  EXPECT_EQ(s.Find('.', 2), 3);
  EXPECT_EQ(s.Find(".tvx"), 5);
  EXPECT_EQ(s.Find('z'), -1);
  EXPECT_EQ(s.ReverseFind('.'), 5);
  EXPECT_EQ(s.FindOneOf("cx"), 4);
  EXPECT_EQ(CString("ABC").CompareNoCase("abc"), 0);
  EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
  EXPECT_GT(CString("b").Compare("a"), 0);
  EXPECT_LT(CString("B").Compare("a"), 0);  // byte order, not case folded
}

TEST(CString, EditingOperations) {
  CString s("  path\\to\\file  ");
  s.Trim();
  EXPECT_STREQ(s, "path\\to\\file");
  EXPECT_EQ(s.Replace('\\', '/'), 2);
  EXPECT_EQ(s.Replace("to", "from"), 1);
  EXPECT_STREQ(s, "path/from/file");
  s.Insert(0, '/');
  s.Delete(1, 5);
  EXPECT_STREQ(s, "/from/file");
  EXPECT_EQ(s.Remove('/'), 2);
  s.MakeUpper();
  EXPECT_STREQ(s, "FROMFILE");
  CString t("xxabcxx");
  t.TrimLeft('x');
  t.TrimRight("x");
  EXPECT_STREQ(t, "abc");
}

TEST(CString, FormatAndBuffer) {
  CString s;
  s.Format("%s(%d)%s", "name", 3, ".Tvx");
  EXPECT_STREQ(s, "name(3).Tvx");
  s.AppendFormat("-%05.1f", 2.25);
  EXPECT_STREQ(s, "name(3).Tvx-002.2");
  char* p = s.GetBuffer(64);
  std::snprintf(p, 64, "%s", "raw");
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetLength(), 3);
  CString big;
  big.Format("%0300d", 7);
  EXPECT_EQ(big.GetLength(), 300);
}

TEST(CString, TokenizeWalksFields) {
  CString s(";a;;b;c");
  int pos = 0;
  std::vector<std::string> got;
  for (CString t = s.Tokenize(";", pos); pos != -1; t = s.Tokenize(";", pos)) got.push_back(t.GetString());
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(CString, WideConversionsRoundTrip) {
  const char* utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x94\x91";  // "Grüße" + a key emoji (surrogate pair)
  CString s(utf8);
  BSTR b = s.AllocSysString();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 8u);
  EXPECT_EQ(b[8], 0);
  CString back(b);
  EXPECT_STREQ(back, utf8);
  SysFreeString(b);
}

TEST(Bstr, BinaryBstrKeepsOddLengthAndZeros) {
  const char bytes[] = {'\x00', 'A', '\x00', 'B', 'C'};
  BSTR b = SysAllocStringByteLen(bytes, 5);
  EXPECT_EQ(SysStringByteLen(b), 5u);
  EXPECT_EQ(SysStringLen(b), 2u);
  EXPECT_EQ(0, memcmp(b, bytes, 5));
  SysFreeString(b);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(CString, MessageStyleInserts) {
  CString s;
  s.FormatMessage("%1 has %2!d! recipients; %1 again", "report.tvx", 3);
  EXPECT_STREQ(s, "report.tvx has 3 recipients; report.tvx again");
  LPCTSTR inserts[] = {"Alice", "Bob"};
  AfxFormatStrings(s, "%2 signed for %1 (100%)", inserts, 2);
  EXPECT_STREQ(s, "Bob signed for Alice (100%)");
  AfxFormatStrings(s, "only %1 and %3", inserts, 2);  // a missing insert is left out
  EXPECT_STREQ(s, "only Alice and ");
}
