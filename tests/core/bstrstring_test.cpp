#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/BstrString.h"
#include "platform/com/bstr.h"

TEST(BstrString, CopiesShareOneRecordAndAppendMakesANewOne) {
  CBstrString a("path/to/file.tvx");
  {
    CBstrString b(a);
    CBstrString c;
    c = b;
    EXPECT_EQ(a.GetRefCount(), 3);
    EXPECT_EQ(b.GetBSTR(), a.GetBSTR());
    c += ".bak";
    EXPECT_STREQ(c, "path/to/file.tvx.bak");
    EXPECT_STREQ(b, "path/to/file.tvx") << "copies of the old record keep the old text";
    EXPECT_EQ(a.GetRefCount(), 2);
    c = c;
    EXPECT_EQ(c.GetRefCount(), 1);
  }
  EXPECT_EQ(a.GetRefCount(), 1);
  CBstrString one('x');
  EXPECT_EQ(one.GetLength(), 1u);
  one += 'y';
  EXPECT_STREQ(one, "xy");
}

TEST(BstrString, EmptyAndNullForms) {
  CBstrString empty, fromNull(static_cast<const char*>(nullptr)), fromEmpty("");
  for (CBstrString* s : {&empty, &fromNull, &fromEmpty}) {
    EXPECT_TRUE(s->IsEmpty());
    EXPECT_EQ(s->CompareNoCase(""), -1) << "an empty string compares below everything";
    EXPECT_EQ(s->ReverseFind('/'), -1);
  }
  EXPECT_EQ(empty.GetAnsi(), nullptr);
  EXPECT_EQ(fromNull.GetBSTR(), nullptr);
}

TEST(BstrString, TextOperationsOnWideAndNarrowForms) {
  CBstrString s("Hello.TXT");
  EXPECT_EQ(s.CompareNoCase("hello.txt"), 0);
  EXPECT_LT(s.CompareNoCase("world"), 0);
  EXPECT_EQ(CBstrString("/a/b/c").ReverseFind('/'), 4);
  EXPECT_EQ(s.ReverseFind('#'), -1);
  EXPECT_STREQ(s.Right(3), "TXT");
  EXPECT_TRUE(s.Right(-3).IsEmpty());
  EXPECT_STREQ(CBstrString("abcde").Right(100), "abcde");
  // Multibyte narrow text: Right counts characters, not bytes.
  CBstrString accents("r\xC3\xA9sum\xC3\xA9");  // "résumé"
  EXPECT_EQ(accents.GetLength(), 6u);
  EXPECT_STREQ(accents.Right(2), "m\xC3\xA9");
  // Taking ownership versus copying a BSTR.
  BSTR raw = SysAllocString(u"owned");
  CBstrString owner(raw, false);
  EXPECT_EQ(owner.GetBSTR(), raw);
  CBstrString copier(raw, true);
  EXPECT_NE(copier.GetBSTR(), raw);
  EXPECT_STREQ(copier, "owned");
}

TEST(BstrString, TripleListCopiesRows) {
  CStringTripleList t;
  t.Add("Alice", "alice@example.org", "01");
  t.Add("Bob", "bob@example.org", "02");
  t = t;
  EXPECT_EQ(t.GetCount(), 2u);
  CStringTripleList u;
  u.Add("x", "y", "z");
  u = t;
  ASSERT_EQ(u.GetCount(), 2u);
  EXPECT_STREQ(u.m_second.GetAt(1), "bob@example.org");
  EXPECT_EQ(u.m_third.GetCount(), 2u);
  u = CStringTripleList();
  EXPECT_EQ(u.GetCount(), 0u);
  EXPECT_EQ(u.m_second.GetCount(), 0u);
  EXPECT_EQ(u.m_third.GetCount(), 0u);
}
