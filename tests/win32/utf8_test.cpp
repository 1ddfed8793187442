// The one UTF-8 decoder: every well-formed length, and each way bytes fail to be UTF-8, against the Unicode
// standard's table of well-formed byte sequences (its Table 3-7).
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/textconv.h"

namespace {

struct Row {
  const char* name;
  std::string bytes;
  int length;  // 0: not well formed
  char32_t cp;
};

const Row kRows[] = {
    {"ascii", "A", 1, U'A'},
    {"nul", std::string(1, '\0'), 1, 0},
    {"two bytes, smallest", "\xC2\x80", 2, 0x80},
    {"two bytes, largest", "\xDF\xBF", 2, 0x7FF},
    {"three bytes, smallest", "\xE0\xA0\x80", 3, 0x800},
    {"three bytes, below the surrogates", "\xED\x9F\xBF", 3, 0xD7FF},
    {"three bytes, above the surrogates", "\xEE\x80\x80", 3, 0xE000},
    {"three bytes, largest", "\xEF\xBF\xBF", 3, 0xFFFF},
    {"four bytes, smallest", "\xF0\x90\x80\x80", 4, 0x10000},
    {"four bytes, largest", "\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
    {"only the first sequence is read", "\xC3\xA9Z", 2, 0xE9},
    {"stray continuation byte", "\x80", 0, 0},
    {"last continuation byte", "\xBF", 0, 0},
    {"overlong two bytes (C0)", "\xC0\x80", 0, 0},
    {"overlong two bytes (C1)", "\xC1\xBF", 0, 0},
    {"overlong three bytes", "\xE0\x9F\xBF", 0, 0},
    {"overlong four bytes", "\xF0\x8F\xBF\xBF", 0, 0},
    {"high surrogate", "\xED\xA0\x80", 0, 0},
    {"low surrogate", "\xED\xBF\xBF", 0, 0},
    {"above U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
    {"lead byte F5", "\xF5\x80\x80\x80", 0, 0},
    {"five-byte lead", "\xF8\x88\x80\x80\x80", 0, 0},
    {"six-byte lead", "\xFC\x84\x80\x80\x80\x80", 0, 0},
    {"byte FE", "\xFE", 0, 0},
    {"byte FF", "\xFF", 0, 0},
    {"two bytes cut short", "\xC3", 0, 0},
    {"three bytes cut short", "\xE2\x82", 0, 0},
    {"four bytes cut short", "\xF0\x9F\x98", 0, 0},
    {"continuation replaced by ascii", "\xE2\x41\xAC", 0, 0},
    {"continuation replaced by a lead byte", "\xC3\xC3\xA9", 0, 0},
};

TEST(Utf8Decoder, DecodesWellFormedSequencesAndRefusesEveryOtherForm) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    char32_t cp = 0xABCD;
    EXPECT_EQ(kx::DecodeUtf8(row.bytes.data(), row.bytes.size(), &cp), row.length);
    if (row.length) {
      EXPECT_EQ(cp, row.cp);
    }
  }
  EXPECT_EQ(kx::DecodeUtf8("A", 0, nullptr), 0);
}

TEST(Utf8Decoder, TheWideConversionReplacesEachBadByte) {
  EXPECT_EQ(kx::Utf8ToUtf16(std::string("a\xC0\x80" "b")), u"a\uFFFD\uFFFDb");
  EXPECT_EQ(kx::Utf8ToUtf16(std::string("\xF0\x9F\x98\x80")), u"\U0001F600");
  EXPECT_EQ(kx::Utf8ToUtf16(std::string("\xED\xA0\x80")), u"\uFFFD\uFFFD\uFFFD");
}

}  // namespace
