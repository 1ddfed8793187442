#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/mfc/mfc.h"
#include "platform/win32/wintime.h"
#include "support/testroot.h"

namespace {

// Local-time results depend on the zone: these tests run in UTC.
class TimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    m_saved = tz ? tz : "";
    m_had = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (m_had) setenv("TZ", m_saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  std::string m_saved;
  bool m_had = false;
};

TEST_F(TimeTest, CTimePartsAndFormats) {
  CTime t(2024, 7, 4, 8, 5, 9);
  EXPECT_EQ(t.GetTime(), 1720080309);
  EXPECT_EQ(t.GetYear(), 2024);
  EXPECT_EQ(t.GetDayOfWeek(), 5);  // Thursday
  struct Case {
    const char* format;
    const char* want;
  } cases[] = {
      {"%d %B, %Y", "04 July, 2024"},
      {"%#d %B, %Y", "4 July, 2024"},
      {"%a %b %j %U %W %w", "Thu Jul 186 26 27 4"},
      {"%I:%M:%S %p", "08:05:09 AM"},
      {"%#I:%M %p", "8:05 AM"},
      {"%c", "07/04/24 08:05:09"},
      {"%#c", "Thursday, July 4, 2024, 08:05:09"},
      {"%x|%#x|%X", "07/04/24|Thursday, July 4, 2024|08:05:09"},
      {"%y%%%Q", "24%%Q"},  // an unknown code stays as written
      {"100%", "100%"},
  };
  for (const Case& c : cases) EXPECT_STREQ(t.Format(c.format), c.want) << c.format;
  EXPECT_STREQ(t.FormatGmt("%H:%M"), "08:05");

  CTime later = t + CTimeSpan(1, 2, 3, 4);
  EXPECT_EQ((later - t).GetTotalSeconds(), 93784);
  EXPECT_STREQ((later - t).Format("%D days %H:%M:%S"), "1 days 02:03:04");
  EXPECT_TRUE(later > t);

  SYSTEMTIME st;
  ASSERT_TRUE(t.GetAsSystemTime(st));
  EXPECT_EQ(st.wHour, 8);
  EXPECT_EQ(CTime(st).GetTime(), t.GetTime());
  FILETIME ft = kx::FileTimeFromUnix(1720080309, 0);
  EXPECT_EQ(CTime(ft).GetTime(), 1720080309);
  EXPECT_EQ(CTime(static_cast<WORD>(((2024 - 1980) << 9) | (7 << 5) | 4), static_cast<WORD>((8 << 11) | (5 << 5) | 4)).GetTime(),
            1720080308);  // DOS times count seconds in twos
  try {
    CTime bad(2024, 13, 1, 0, 0, 0);
    ADD_FAILURE() << "no exception";
  } catch (CInvalidArgException* e) {
    e->Delete();
  }
}

// The codes the C runtime and coreutils' date agree on, checked against date(1) in the C locale.
TEST_F(TimeTest, FormatMatchesTheDateCommand) {
  const char* format = "%a %A %b %B %d %H %I %j %m %M %p %S %U %w %W %y %Y %%";
  const time_t times[] = {0, 951782400 /* 29 Feb 2000 */, 1720080309, 1704067199 /* 31 Dec 2023 23:59:59 */,
                          -86400 * 365 * 30L /* 1940 */, 4102444800 /* 2100 */};
  for (time_t t : times) {
    std::string want;
    ASSERT_EQ(kxtest::Run("LC_ALL=C TZ=UTC date -u -d @" + std::to_string(t) + " +'" + format + "'", &want), 0);
    if (!want.empty() && want.back() == '\n') want.pop_back();
    EXPECT_EQ(std::string(CTime(t).Format(format).GetString()), want) << t;
  }
}

TEST_F(TimeTest, OleDateTimeValuesAndTexts) {
  COleDateTime d(2024, 7, 4, 8, 5, 9);
  ASSERT_EQ(d.GetStatus(), COleDateTime::valid);
  EXPECT_NEAR(d.m_dt, 45477.336909722224, 1e-9);
  EXPECT_EQ(d.GetDayOfWeek(), 5);
  EXPECT_EQ(d.GetDayOfYear(), 186);
  EXPECT_STREQ(d.Format(), "7/4/2024 8:05:09 AM");
  EXPECT_STREQ(d.Format(VAR_DATEVALUEONLY), "7/4/2024");
  EXPECT_STREQ(d.Format("%d %B, %Y"), "04 July, 2024");

  COleDateTime bad(2023, 2, 29, 0, 0, 0);
  EXPECT_EQ(bad.GetStatus(), COleDateTime::invalid);
  EXPECT_EQ(bad.GetYear(), -1);
  EXPECT_STREQ(bad.Format(), "Invalid DateTime");
  COleDateTime none;
  none.SetStatus(COleDateTime::null);
  EXPECT_STREQ(none.Format(), "");

  COleDateTime p;
  EXPECT_TRUE(p.ParseDateTime("July 4, 2024 8:05:09 AM"));
  EXPECT_TRUE(p == d);
  EXPECT_FALSE(p.ParseDateTime("the fourth of July"));
  EXPECT_EQ(p.GetStatus(), COleDateTime::invalid);

  // Negative dates: arithmetic runs on the linear scale (-1.25 + 0.5 day is -1.75, not -0.75).
  COleDateTime early(-1.25);
  COleDateTime moved = early + COleDateTimeSpan(0.5);
  EXPECT_DOUBLE_EQ(moved.m_dt, -1.75);
  EXPECT_EQ(moved.GetHour(), 18);
  EXPECT_TRUE(early < moved);
  EXPECT_DOUBLE_EQ((moved - early).GetTotalDays(), 0.5);
  COleDateTime crossing = early + COleDateTimeSpan(1.5);
  EXPECT_DOUBLE_EQ(crossing.m_dt, 0.75);  // 30 December 1899, 18:00

  COleDateTimeSpan span(1, 12, 30, 59);
  EXPECT_EQ(span.GetDays(), 1);
  EXPECT_EQ(span.GetHours(), 12);
  EXPECT_EQ(span.GetMinutes(), 30);
  EXPECT_EQ(span.GetSeconds(), 59);
  EXPECT_EQ((-span).GetHours(), -12);
  EXPECT_STREQ(span.Format("%D:%H:%M:%S"), "1:12:30:59");
  COleDateTimeSpan minute(1.0 / 1440);  // one bit short of a minute in binary still reads as one minute
  EXPECT_EQ(minute.GetMinutes(), 1);
  EXPECT_EQ(minute.GetSeconds(), 0);

  // From other representations.
  EXPECT_TRUE(COleDateTime(static_cast<time_t>(1720080309)) == d);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"7/4/2024 8:05:09 AM");
  EXPECT_TRUE(COleDateTime(v) == d);
  VariantClear(&v);
  v.vt = VT_NULL;
  EXPECT_EQ(COleDateTime(v).GetStatus(), COleDateTime::invalid);
  SYSTEMTIME st;
  ASSERT_TRUE(d.GetAsSystemTime(st));
  EXPECT_EQ(st.wSecond, 9);
  EXPECT_EQ(COleDateTime(3e6).GetStatus(), COleDateTime::invalid);
}

TEST(OleVariant, OwnsAndConvertsValues) {
  COleVariant s("t\xC3\xA9xt");
  EXPECT_EQ(s.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(s.bstrVal), 4u);
  COleVariant copy = s;
  EXPECT_TRUE(copy == s);
  EXPECT_NE(copy.bstrVal, s.bstrVal);
  COleVariant n(static_cast<LONG>(7));
  n.ChangeType(VT_BSTR);
  EXPECT_EQ(std::u16string(n.bstrVal), u"7");
  try {
    s.ChangeType(VT_I4);
    ADD_FAILURE() << "no exception";
  } catch (COleException* e) {
    EXPECT_EQ(e->m_sc, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(COleException::Process(e), DISP_E_TYPEMISMATCH);
    e->Delete();
  }
  CByteArray bytes;
  bytes.Add(1);
  bytes.Add(0);
  bytes.Add(255);
  COleVariant arr(bytes);
  EXPECT_EQ(arr.vt, VT_ARRAY | VT_UI1);
  CByteArray back;
  arr.GetByteArrayFromVariantArray(back);
  ASSERT_EQ(back.GetSize(), 3);
  EXPECT_EQ(back[2], 255);
  COleVariant date(COleDateTime(2024, 7, 4, 0, 0, 0));
  EXPECT_EQ(date.vt, VT_DATE);
  VARIANT raw = date.Detach();
  EXPECT_EQ(date.vt, VT_EMPTY);
  EXPECT_EQ(raw.date, 45477.0);
}

}  // namespace
