// The UTF-8 codec of the SOAP client base, on the standard's own examples.
#include <string>

#include <gtest/gtest.h>

#include "enrolment/Utf8Codec.h"

namespace {

TEST(Utf8Codec, EncodesAndDecodes) {
  struct {
    std::u16string text;
    std::string bytes;
  } cases[] = {
      {u"", ""},
      {u"A", "A"},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\uFFFD", "\xEF\xBF\xBD"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},  // a surrogate pair is one four-byte sequence
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {u"VorlindEnrolSoapPort", "VorlindEnrolSoapPort"},
  };
  for (const auto& c : cases) {
    std::string bytes;
    EXPECT_EQ(EncodeUtf8(c.text, bytes), static_cast<int>(c.bytes.size()));
    EXPECT_EQ(bytes, c.bytes);
    std::u16string text;
    EXPECT_EQ(DecodeUtf8(c.bytes, text), static_cast<int>(c.text.size()));
    EXPECT_EQ(text, c.text);
  }
}

TEST(Utf8Codec, StopsAtTheFirstInvalidCharacter) {
  std::string bytes = "stale";
  EXPECT_EQ(EncodeUtf8(std::u16string(u"ab") + char16_t(0xD800) + u"c", bytes), 0);  // a lone surrogate
  EXPECT_EQ(bytes, "ab");
  EXPECT_EQ(EncodeUtf8(std::u16string(1, char16_t(0xDC00)), bytes), 0);
  EXPECT_EQ(bytes, "");

  const char* invalid[] = {
      "ab\xC0\xAF",              // overlong "/"
      "ab\xE0\x80\xAF",          // overlong in three bytes
      "ab\xE2\x28\xA1",          // a continuation byte out of place
      "ab\x80",                  // a continuation byte alone
      "ab\xE2\x82",              // cut short
      "ab\xED\xA0\x80",          // an encoded surrogate
      "ab\xF4\x90\x80\x80",      // beyond 0x10FFFF
      "ab\xF8\x88\x80\x80\x80",  // five bytes
      "ab\xFE",
  };
  for (const char* s : invalid) {
    std::u16string text = u"stale";
    EXPECT_EQ(DecodeUtf8(s, std::char_traits<char>::length(s), text), 0) << s;
    EXPECT_EQ(text, u"ab") << s;
  }
}

}  // namespace
