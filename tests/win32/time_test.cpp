#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/win32.h"

namespace {

SYSTEMTIME St(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

TEST(Time, SystemTimeAndFileTime) {
  struct Case {
    SYSTEMTIME st;
    uint64_t ft;
    WORD dayOfWeek;
  } cases[] = {
      // Values computed independently (Python datetime) from 1601-01-01 in 100 ns units.
      {St(1601, 1, 1), 0, 1},                                   // the epoch, a Monday
      {St(1970, 1, 1), 116444736000000000ull, 4},               // Unix epoch, Thursday
      {St(2000, 1, 1), 125911584000000000ull, 6},               // Saturday
      {St(2000, 2, 29, 12, 30, 15, 250), 125963010152500000ull, 2},
      {St(2005, 12, 31, 23, 59, 59), 127805471990000000ull, 6},
      {St(30827, 12, 31, 23, 59, 59, 999), 0x7FFF35F4F06C58F0ull, 5},
  };
  for (const auto& c : cases) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft)) << c.st.wYear;
    EXPECT_EQ(kx::FileTimeValue(ft), c.ft) << c.st.wYear;
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.st.wYear);
    EXPECT_EQ(back.wMonth, c.st.wMonth);
    EXPECT_EQ(back.wDay, c.st.wDay);
    EXPECT_EQ(back.wHour, c.st.wHour);
    EXPECT_EQ(back.wSecond, c.st.wSecond);
    EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
    EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << c.st.wYear;
  }
  for (SYSTEMTIME bad : {St(2001, 2, 29), St(1600, 12, 31), St(2000, 13, 1), St(2000, 1, 1, 24)}) {
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(Time, FrozenClockAndLocalTime) {
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  SYSTEMTIME utc = St(2005, 7, 1, 12, 0, 0);
  FILETIME ft;
  SystemTimeToFileTime(&utc, &ft);
  kx::SetSystemTimeForTests(&ft);
  SYSTEMTIME now, local;
  GetSystemTime(&now);
  EXPECT_EQ(now.wHour, 12);
  GetLocalTime(&local);
  EXPECT_EQ(local.wHour, 8);  // daylight time, UTC-4
  // The local file time uses the bias in force now (summer) even for a winter date.
  SYSTEMTIME jan = St(2005, 1, 15, 12, 0, 0);
  FILETIME janFt, janLocal;
  SystemTimeToFileTime(&jan, &janFt);
  FileTimeToLocalFileTime(&janFt, &janLocal);
  SYSTEMTIME shown;
  FileTimeToSystemTime(&janLocal, &shown);
  EXPECT_EQ(shown.wHour, 8);
  // The zone-specific conversion uses the rules of that date.
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &jan, &shown));
  EXPECT_EQ(shown.wHour, 7);
  FILETIME round;
  LocalFileTimeToFileTime(&janLocal, &round);
  EXPECT_EQ(CompareFileTime(&round, &janFt), 0);
  kx::SetSystemTimeForTests(nullptr);
  unsetenv("TZ");
  tzset();
}

std::string Date(const SYSTEMTIME& st, DWORD flags, const char* fmt) {
  char buf[128];
  int n = GetDateFormat(LOCALE_USER_DEFAULT, flags, &st, fmt, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : "<fail>";
}

std::string Time(const SYSTEMTIME& st, DWORD flags, const char* fmt) {
  char buf[128];
  int n = GetTimeFormat(LOCALE_USER_DEFAULT, flags, &st, fmt, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : "<fail>";
}

TEST(Time, DateAndTimeFormatsEnUs) {
  SYSTEMTIME st = St(2005, 12, 31, 13, 5, 9);
  st.wDayOfWeek = 3;  // wrong on purpose: the date decides
  EXPECT_EQ(Date(st, 0, nullptr), "12/31/2005");
  EXPECT_EQ(Date(st, DATE_SHORTDATE, nullptr), "12/31/2005");
  EXPECT_EQ(Date(st, DATE_LONGDATE, nullptr), "Saturday, December 31, 2005");
  EXPECT_EQ(Date(st, 0, "dd MMM yy"), "31 Dec 05");
  EXPECT_EQ(Date(St(2004, 3, 7), 0, "d/M/yyyy ddd"), "7/3/2004 Sun");
  EXPECT_EQ(Date(St(2004, 3, 7), 0, "'Day' d 'o''clock'"), "Day 7 o'clock");
  EXPECT_EQ(Time(st, 0, nullptr), "1:05:09 PM");
  EXPECT_EQ(Time(St(2005, 1, 1, 0, 7, 0), 0, nullptr), "12:07:00 AM");
  EXPECT_EQ(Time(st, 0, "HH:mm"), "13:05");
  EXPECT_EQ(Time(st, TIME_NOSECONDS, nullptr), "1:05 PM");
  EXPECT_EQ(Time(st, TIME_NOMINUTESORSECONDS, nullptr), "1 PM");
  EXPECT_EQ(Time(st, TIME_NOTIMEMARKER, nullptr), "1:05:09");
  EXPECT_EQ(Time(st, TIME_FORCE24HOURFORMAT, nullptr), "13:05:09");
  EXPECT_EQ(Time(st, 0, "hh 't' t"), "01 t P");
  // Size queries, short buffers and bad input.
  EXPECT_EQ(GetDateFormat(0, 0, &st, nullptr, nullptr, 0), 11);
  char small[4];
  EXPECT_EQ(GetDateFormat(0, 0, &st, nullptr, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SYSTEMTIME bad = St(2005, 2, 30);
  EXPECT_EQ(GetDateFormat(0, 0, &bad, nullptr, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetDateFormat(0, DATE_LONGDATE, &st, "d", small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

TEST(Time, TickCountMoves) {
  DWORD a = GetTickCount();
  Sleep(20);
  DWORD b = GetTickCount();
  EXPECT_GE(b - a, 15u);
}

}  // namespace
