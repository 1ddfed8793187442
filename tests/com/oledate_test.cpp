#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/com/com.h"

namespace {

// Expected values computed with Python's datetime (proleptic Gregorian calendar): days from 1899-12-30,
// with the time of day counting forward from midnight also for negative days.
struct DateCase {
  WORD y, mo, d, h, mi, s, dow;
  double ole;
};
const DateCase kDates[] = {
    {1899, 12, 30, 0, 0, 0, 6, 0.0},
    {1899, 12, 30, 12, 0, 0, 6, 0.5},
    {1899, 12, 31, 0, 0, 0, 0, 1.0},
    {1900, 1, 1, 0, 0, 0, 1, 2.0},
    {1900, 2, 28, 0, 0, 0, 3, 60.0},
    {1900, 3, 1, 0, 0, 0, 4, 61.0},
    {1899, 12, 29, 6, 0, 0, 5, -1.25},
    {1899, 12, 29, 18, 0, 0, 5, -1.75},
    {1899, 12, 29, 0, 0, 0, 5, -1.0},
    {1899, 12, 28, 23, 59, 59, 4, -2.9999884259259257},
    {1800, 1, 1, 12, 30, 15, 3, -36522.521006944444},
    {1600, 2, 29, 0, 0, 1, 2, -109512.00001157407},
    {100, 1, 1, 0, 0, 0, 5, -657434.0},
    {100, 1, 1, 12, 0, 0, 5, -657434.5},
    {9999, 12, 31, 0, 0, 0, 5, 2958465.0},
    {9999, 12, 31, 23, 59, 59, 5, 2958465.999988426},
    {1970, 1, 1, 0, 0, 0, 4, 25569.0},
    {2000, 2, 29, 13, 14, 15, 2, 36585.5515625},
    {2024, 7, 4, 8, 5, 9, 4, 45477.336909722224},
    {2038, 1, 19, 3, 14, 7, 2, 50424.13480324074},
    {1752, 9, 14, 0, 0, 0, 4, -53797.0},
    {1899, 1, 1, 0, 0, 1, 0, -363.00001157407405},
};

TEST(OleDate, TableBothWays) {
  for (const DateCase& c : kDates) {
    SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.mo) + "-" + std::to_string(c.d));
    SYSTEMTIME st = {c.y, c.mo, 3 /* ignored */, c.d, c.h, c.mi, c.s, 999 /* ignored */};
    double v = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
    EXPECT_NEAR(v, c.ole, 1e-9);

    SYSTEMTIME back = {};
    ASSERT_TRUE(VariantTimeToSystemTime(c.ole, &back));
    EXPECT_EQ(back.wYear, c.y);
    EXPECT_EQ(back.wMonth, c.mo);
    EXPECT_EQ(back.wDay, c.d);
    EXPECT_EQ(back.wHour, c.h);
    EXPECT_EQ(back.wMinute, c.mi);
    EXPECT_EQ(back.wSecond, c.s);
    EXPECT_EQ(back.wDayOfWeek, c.dow);
    EXPECT_EQ(back.wMilliseconds, 0);
  }
}

TEST(OleDate, RefusesFieldsOutOfRange) {
  const SYSTEMTIME bad[] = {
      {1900, 2, 0, 29, 0, 0, 0, 0},   // 1900 is not a leap year
      {2001, 13, 0, 1, 0, 0, 0, 0},   // month
      {2001, 0, 0, 1, 0, 0, 0, 0},
      {2001, 4, 0, 31, 0, 0, 0, 0},   // April has 30 days
      {2001, 4, 0, 0, 0, 0, 0, 0},
      {2001, 4, 0, 1, 24, 0, 0, 0},   // hour
      {2001, 4, 0, 1, 0, 60, 0, 0},
      {2001, 4, 0, 1, 0, 0, 60, 0},
      {99, 12, 0, 31, 0, 0, 0, 0},    // before year 100
      {10000, 1, 0, 1, 0, 0, 0, 0},
  };
  for (const SYSTEMTIME& st : bad) {
    double v = 123;
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &v)) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
  }
  SYSTEMTIME out;
  EXPECT_FALSE(VariantTimeToSystemTime(NAN, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &out));   // 1 January 10000
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &out));   // 31 December 99
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.99999999, &out));  // rounds into year 10000
}

TEST(OleDate, RoundsToTheNearestSecond) {
  SYSTEMTIME st;
  ASSERT_TRUE(VariantTimeToSystemTime(1.0 + 0.4 / 86400, &st));
  EXPECT_EQ(st.wSecond, 0);
  ASSERT_TRUE(VariantTimeToSystemTime(1.0 + 0.6 / 86400, &st));
  EXPECT_EQ(st.wSecond, 1);
  // Just before midnight rounds into the next day, also on the negative side of the scale.
  ASSERT_TRUE(VariantTimeToSystemTime(1.9999999, &st));
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wYear, 1900);
  EXPECT_EQ(st.wHour, 0);
  ASSERT_TRUE(VariantTimeToSystemTime(-1.9999999, &st));
  EXPECT_EQ(st.wDay, 30);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wYear, 1899);
  EXPECT_EQ(st.wHour, 0);
  // -0.5 and 0.5 are the same moment.
  ASSERT_TRUE(VariantTimeToSystemTime(-0.5, &st));
  EXPECT_EQ(st.wDay, 30);
  EXPECT_EQ(st.wHour, 12);
}

std::u16string Text(DATE d, ULONG flags = 0) {
  BSTR b = nullptr;
  EXPECT_EQ(VarBstrFromDate(d, 0x400, flags, &b), S_OK);
  std::u16string s(b ? b : u"");
  SysFreeString(b);
  return s;
}

TEST(OleDate, EnglishTexts) {
  EXPECT_EQ(Text(45477.336909722224), u"7/4/2024 8:05:09 AM");
  EXPECT_EQ(Text(36585.5515625), u"2/29/2000 1:14:15 PM");
  EXPECT_EQ(Text(45477.0), u"7/4/2024");
  EXPECT_EQ(Text(0.5), u"12:00:00 PM");
  EXPECT_EQ(Text(0.0), u"12:00:00 AM");
  EXPECT_EQ(Text(-1.75), u"12/29/1899 6:00:00 PM");
  EXPECT_EQ(Text(-657434.0), u"1/1/100");
  EXPECT_EQ(Text(45477.336909722224, VAR_DATEVALUEONLY), u"7/4/2024");
  EXPECT_EQ(Text(45477.336909722224, VAR_TIMEVALUEONLY), u"8:05:09 AM");
  BSTR b = nullptr;
  EXPECT_EQ(VarBstrFromDate(3e6, 0x400, 0, &b), E_INVALIDARG);
  EXPECT_EQ(b, nullptr);
}

TEST(OleDate, ParsesDateTexts) {
  struct Case {
    const char16_t* text;
    double want;
  } cases[] = {
      {u"7/4/2024 8:05:09 AM", 45477.336909722224},
      {u"7/4/2024", 45477.0},
      {u"  07/04/2024  ", 45477.0},
      {u"2024-07-04", 45477.0},
      {u"2024-07-04T08:05:09", 45477.336909722224},
      {u"July 4, 2024", 45477.0},
      {u"4 Jul 2024 20:05", 45477.83680555555},
      {u"Thursday, July 4, 2024 8:05:09 PM", 45477.83690972222},
      {u"12:00:00 PM", 0.5},
      {u"12:30 AM", 1800.0 / 86400},
      {u"18:00", 0.75},
      {u"3 PM", 0.625},
      {u"12/29/1899 6:00:00 PM", -1.75},
      {u"1/1/30", 10959.0},  // two-digit years from 30 are 19xx
      {u"1/1/29", 47119.0},  // below 30 they are 20xx
  };
  for (const Case& c : cases) {
    DATE d = -1;
    ASSERT_EQ(VarDateFromStr(c.text, 0x400, 0, &d), S_OK) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_NEAR(d, c.want, 1e-9);
  }
  const char16_t* bad[] = {u"", u"hello", u"2/30/2024", u"13/1/2024", u"25:00", u"7/4/2024 8:05:09 XM", u"1/2/3/4",
                           u"7/4/2024 13:00 PM"};
  for (const char16_t* s : bad) {
    DATE d = 0;
    EXPECT_EQ(VarDateFromStr(s, 0x400, 0, &d), DISP_E_TYPEMISMATCH);
  }
  DATE d = 0;
  ASSERT_EQ(VarDateFromStr(u"7/4/2024 8:05:09 AM", 0x400, VAR_DATEVALUEONLY, &d), S_OK);
  EXPECT_EQ(d, 45477.0);
  ASSERT_EQ(VarDateFromStr(u"7/4/2024 6:00:00 AM", 0x400, VAR_TIMEVALUEONLY, &d), S_OK);
  EXPECT_EQ(d, 0.25);
}

}  // namespace
