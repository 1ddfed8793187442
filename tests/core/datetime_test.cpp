// OLE dates checked against Python's datetime, arithmetic on the negative half of the scale, and the text
// operations' capacity.
#include <climits>
#include <cmath>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/DateTime.h"
#include "platform/com/oleauto.h"
#include "platform/com/bstr.h"
#include "platform/mfc/cstring.h"
#include "support/testroot.h"

namespace {

std::string Py(const std::string& args) {
  std::string out;
  EXPECT_EQ(kxtest::Run("/usr/bin/python3 " + kxtest::SourceDir() + "/tests/core/oledate_ref.py " + args, &out), 0)
      << out;
  return out;
}

}  // namespace

TEST(DateTime, PartsMatchAnIndependentReference) {
  const std::vector<std::string> serials = {"-657434",   "-657433.75", "-1.25",      "-0.5",     "0",
                                            "0.5",       "1.75",       "38717.99998842592", "36526", "-36522.3",
                                            "2958465",   "40237.5",    "-693.0416666666667"};
  std::string args = "parts";
  for (auto& s : serials) args += " " + s;
  std::istringstream ref(Py(args));
  for (auto& s : serials) {
    int y, mo, d, h, mi, sec, wd, yd;
    ASSERT_TRUE(ref >> y >> mo >> d >> h >> mi >> sec >> wd >> yd) << s;
    CDateTime t(std::strtod(s.c_str(), nullptr));
    ASSERT_TRUE(t.IsValid()) << s;
    EXPECT_EQ(t.GetYear(), y) << s;
    EXPECT_EQ(t.GetMonth(), mo) << s;
    EXPECT_EQ(t.GetDay(), d) << s;
    EXPECT_EQ(t.GetHour(), h) << s;
    EXPECT_EQ(t.GetMinute(), mi) << s;
    EXPECT_EQ(t.GetSecond(), sec) << s;
    EXPECT_EQ(t.GetDayOfWeek(), wd) << s;
    EXPECT_EQ(t.GetDayOfYear(), yd) << s;
  }
}

TEST(DateTime, BuildingFromPartsMatchesTheReferenceSerial) {
  struct { WORD y, mo, d, h, mi, s; } cases[] = {
      {1899, 12, 29, 6, 0, 0}, {1899, 12, 30, 12, 0, 0}, {2005, 12, 31, 23, 59, 59},
      {100, 1, 1, 0, 0, 0},    {1776, 7, 4, 18, 30, 0},  {9999, 12, 31, 0, 0, 0},
  };
  for (auto& c : cases) {
    CDateTime t;
    ASSERT_TRUE(t.SetDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s)) << c.y;
    double want = std::strtod(Py("serial " + std::to_string(c.y) + " " + std::to_string(c.mo) + " " +
                                 std::to_string(c.d) + " " + std::to_string(c.h) + " " + std::to_string(c.mi) +
                                 " " + std::to_string(c.s))
                                  .c_str(),
                              nullptr);
    EXPECT_NEAR(t.GetDate(), want, 1e-9) << c.y << "-" << c.mo << "-" << c.d;
  }
  CDateTime bad;
  EXPECT_FALSE(bad.SetDateTime(2005, 13, 1, 0, 0, 0));
  EXPECT_FALSE(bad.IsValid());
}

TEST(DateTime, ValidityAndInvalidParts) {
  CDateTime none;
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(none.GetYear(), INT_MIN);
  EXPECT_EQ(none.GetDayOfYear(), INT_MIN);
  EXPECT_FALSE(none.IsLeapYear());
  char buf[64] = "junk";
  EXPECT_STREQ(none.Format(buf, sizeof buf), "");
  EXPECT_TRUE(CDateTime(-657434.0).IsValid());
  EXPECT_TRUE(CDateTime(2958465.0).IsValid());
  EXPECT_FALSE(CDateTime(-657434.5).IsValid());
  EXPECT_FALSE(CDateTime(2958465.5).IsValid());
  EXPECT_FALSE(CDateTime(std::nan("")).IsValid());
  for (auto [y, leap] : {std::pair{2000, true}, {1900, false}, {2004, true}, {2003, false}}) {
    CDateTime t(static_cast<WORD>(y), 6, 1, 0, 0, 0);
    EXPECT_EQ(t.IsLeapYear(), leap) << y;
  }
  EXPECT_TRUE(CDateTime(0.5).IsNoon());
  EXPECT_TRUE(CDateTime(0.0).IsMidnight());
  EXPECT_FALSE(CDateTime(0.5).IsMidnight());
}

TEST(DateTime, ArithmeticRunsLinearlyAcrossDayZero) {
  CDateTime t(-1.25);  // 29 December 1899, 06:00
  CDateTime later = t + CDateTimeSpan(0.5);
  EXPECT_DOUBLE_EQ(later.GetDate(), -1.75);
  EXPECT_EQ(later.GetHour(), 18);
  EXPECT_DOUBLE_EQ((CDateTime(0.25) - CDateTimeSpan(0.5)).GetDate(), -1.75);
  EXPECT_DOUBLE_EQ((CDateTime(0.5) - CDateTime(-1.25)).GetValue(), 1.25);
  EXPECT_TRUE(CDateTime(-1.25) < CDateTime(-1.75));
  EXPECT_TRUE(CDateTime(-1.75) < CDateTime(0.0));
  EXPECT_FALSE(CDateTime(std::nan("")) < CDateTime(0.0));
  EXPECT_FALSE((CDateTime() - CDateTime(1.0)).IsValid());
  EXPECT_FALSE((CDateTime(1.0) + CDateTimeSpan()).IsValid());
  EXPECT_FALSE((CDateTime(2958465.0) + CDateTimeSpan(1.0)).IsValid()) << "a result may fall out of range";

  CDateTimeSpan s(1.5);
  EXPECT_EQ(s.GetDays(), 1);
  EXPECT_EQ(s.GetHours(), 12);
  EXPECT_EQ(s.GetMinutes(), 0);
  CDateTimeSpan n = -s;
  EXPECT_EQ(n.GetDays(), -1);
  EXPECT_EQ(n.GetHours(), -12);
  CDateTimeSpan parts;
  parts.SetSpan(1, 2, 3, 4);
  EXPECT_EQ(parts.GetDays(), 1);
  EXPECT_EQ(parts.GetHours(), 2);
  EXPECT_EQ(parts.GetMinutes(), 3);
  EXPECT_EQ(parts.GetSeconds(), 4);
  EXPECT_FALSE(CDateTimeSpan().IsValid());
  EXPECT_DOUBLE_EQ((s - CDateTimeSpan(0.25)).GetValue(), 1.25);
}

TEST(DateTime, PartsDoNotDependOnTheTimeZone) {
  // 2:30 on a spring-forward night does not exist in New York; the parts of the date still say 2:30.
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "America/New_York", 1);
  tzset();
  CDateTime gap(2005, 4, 3, 2, 30, 0);
  EXPECT_EQ(gap.GetHour(), 2);
  EXPECT_EQ(gap.GetMinute(), 30);
  EXPECT_EQ(gap.GetDayOfYear(), 93);
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(DateTime, TextRespectsTheCallersCapacity) {
  CDateTime t(2005, 12, 31, 23, 59, 59);
  char buf[64];
  EXPECT_STREQ(t.FormatStrftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S"), "2005-12-31 23:59:59");
  EXPECT_STREQ(t.FormatStrftime(buf, 8, "%Y-%m-%d %H:%M:%S"), "2005-12");
  EXPECT_STREQ(CDateTime(-1.25).FormatStrftime(buf, sizeof buf, "%b %d %Y %H:%M:%S"), "Dec 29 1899 06:00:00");

  // Format gives what the platform's date-to-text conversion gives, cut to the buffer.
  BSTR want = nullptr;
  ASSERT_EQ(VarBstrFromDate(t.GetDate(), 1024, 0, &want), S_OK);
  std::string full(CString(want).GetString());
  SysFreeString(want);
  ASSERT_FALSE(full.empty());
  EXPECT_EQ(std::string(t.Format(buf, sizeof buf)), full);
  char tiny[5];
  EXPECT_EQ(std::string(t.Format(tiny, sizeof tiny)), full.substr(0, 4));

  char d[64];
  EXPECT_STRNE(t.FormatDate(d, sizeof d, "yyyy-MM-dd"), "");
  EXPECT_STREQ(d, "2005-12-31");
  EXPECT_STREQ(t.FormatTime(d, sizeof d, "HH:mm:ss"), "23:59:59");
  EXPECT_STREQ(t.FormatTime(d, 3, "HH:mm:ss"), "") << "a time that does not fit is not half written";
  EXPECT_STREQ(CDateTime().FormatDate(d, sizeof d, "yyyy"), "");
}

TEST(DateTime, ConversionsFromOtherForms) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"12/31/2005 11:59:59 PM");
  CDateTime fromText(v);
  VariantClear(&v);
  EXPECT_EQ(fromText.GetYear(), 2005);
  EXPECT_EQ(fromText.GetSecond(), 59);
  v.vt = VT_DATE;
  v.date = -1.25;
  EXPECT_DOUBLE_EQ(CDateTime(v).GetDate(), -1.25);
  v.vt = VT_UNKNOWN;
  v.punkVal = nullptr;
  EXPECT_FALSE(CDateTime(v).IsValid());

  CDateTime parsed;
  EXPECT_TRUE(parsed.ParseDateTime("7/4/1776 6:30:00 PM"));
  EXPECT_EQ(parsed.GetYear(), 1776);
  EXPECT_EQ(parsed.GetHour(), 18);
  EXPECT_FALSE(parsed.ParseDateTime("not a date"));
  EXPECT_FALSE(parsed.IsValid());

  time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  CDateTime fromTime(now);
  EXPECT_EQ(fromTime.GetYear(), local.tm_year + 1900);
  EXPECT_EQ(fromTime.GetMinute(), local.tm_min);
  CLocalTime clock;
  EXPECT_GE(clock.m_time.wYear, 2024);
}

namespace {
bool TestStrings(UINT id, std::string& out) {
  if (id != 901) return false;
  out = "%d.%m.%Y";
  return true;
}
}  // namespace

TEST(DateTime, FormatFromAResourceString) {
  kx::SetStringLoader(&TestStrings);
  CDateTime t(2005, 12, 31, 23, 59, 59);
  char buf[32] = "junk";
  EXPECT_STREQ(t.FormatResource(buf, sizeof buf, 901, nullptr), "31.12.2005");
  EXPECT_STREQ(t.FormatResource(buf, sizeof buf, 902, nullptr), "") << "a missing string gives no text";
  kx::SetStringLoader(nullptr);
}
