// The formatted paragraph: word splitting and its archive form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/Paragraph.h"
#include "platform/mfc/cfile.h"

namespace {

std::vector<std::string> Words(const CParagraph& p) {
  std::vector<std::string> out;
  POSITION pos = p.GetWords().GetHeadPosition();
  while (pos) out.emplace_back(static_cast<LPCSTR>(p.GetWords().GetNext(pos)));
  return out;
}

TEST(Paragraph, SplitsIntoWordsWithTheirBlanks) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  } cases[] = {
      {"a  b\nc", {"a ", "b ", "c"}},
      {"one two ", {"one ", "two ", ""}},
      {"x\r\ny", {"x ", "y"}},
      {"", {""}},
      {"  lead", {" ", "lead"}},
  };
  for (const Case& c : cases) {
    CParagraph p;
    p.SetText(c.text);
    EXPECT_EQ(Words(p), c.words) << c.text;
    EXPECT_STREQ(p.GetText(), c.text);
  }
  CParagraph p;
  p.SetText("first text here");
  p.SetText("second");
  EXPECT_EQ(Words(p), std::vector<std::string>{"second"});
}

std::string Store(CParagraph& p) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    p.Serialize(ar);
  }
  ULONGLONG n = file.GetLength();
  std::string bytes(static_cast<size_t>(n), '\0');
  file.SeekToBegin();
  file.Read(bytes.data(), static_cast<UINT>(n));
  return bytes;
}

void Load(CParagraph& p, const std::string& bytes) {
  CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<UINT>(bytes.size()));
  CArchive ar(&file, CArchive::load);
  p.Serialize(ar);
}

TEST(Paragraph, ArchiveFormIsPositionAttributesTextFaceHeightWeight) {
  CParagraph p;
  p.m_x = 10;
  p.m_y = -2;
  p.m_wAttributeA = 0x0102;
  p.m_wAttributeB = 0xFFFE;
  p.SetText("Hi");
  p.SetFont("Arial", 14, TRUE);
  const std::string expected(
      "\x0a\x00\x00\x00"
      "\xfe\xff\xff\xff"
      "\x02\x01"
      "\xfe\xff"
      "\x02Hi"
      "\x05"
      "Arial"
      "\x0e\x00"
      "\xbc\x02",
      4 + 4 + 2 + 2 + 3 + 6 + 2 + 2);
  EXPECT_EQ(Store(p), expected);
}

TEST(Paragraph, LoadRestoresEveryFieldAndANegativeHeight) {
  for (BOOL bold : {TRUE, FALSE}) {
    CParagraph p;
    p.m_x = 300;
    p.m_y = 40;
    p.m_wAttributeA = 7;
    p.m_wAttributeB = 9;
    p.SetText("two  words");
    p.SetFont("Tahoma", -12, bold);
    CParagraph q;
    Load(q, Store(p));
    EXPECT_EQ(q.m_x, 300);
    EXPECT_EQ(q.m_y, 40);
    EXPECT_EQ(q.m_wAttributeA, 7);
    EXPECT_EQ(q.m_wAttributeB, 9);
    EXPECT_STREQ(q.GetText(), "two  words");
    EXPECT_EQ(Words(q), (std::vector<std::string>{"two ", "words"}));
    EXPECT_STREQ(q.GetFaceName(), "Tahoma");
    // A character height is negative; it must come back as it was, not as a 16-bit number.
    EXPECT_EQ(q.GetHeight(), -12);
    EXPECT_EQ(q.GetWeight(), bold ? 700 : 400);
    EXPECT_TRUE(q.IsFontMade());
  }
}

TEST(Paragraph, IsMadeThroughItsRunTimeClassOnly) {
  CObject* object = CRuntimeClass::CreateObject("CParagraph");
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CParagraph)));
  delete object;
}

}  // namespace
