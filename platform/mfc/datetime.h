// Time values of the framework: CTime/CTimeSpan (seconds since 1970, shown in local time) and
// COleDateTime/COleDateTimeSpan (OLE Automation dates: days since 30 December 1899).
#pragma once

#include <ctime>
#include <string>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

struct tagVARIANT;

namespace kx {
// strftime as the platform's C runtime does it, in the "C" (en-US) locale: %a %A %b %B %c %d %H %I %j %m %M
// %p %S %U %w %W %x %X %y %Y %z %Z %%, each with the '#' flag (no leading zeros; long %c and %x). An
// unknown code is copied as it stands.
KXAPI std::string FormatTm(const char* format, const struct tm& t);
}  // namespace kx

class KXAPI CTimeSpan {
 public:
  CTimeSpan() : m_timeSpan(0) {}
  CTimeSpan(time_t seconds) : m_timeSpan(seconds) {}  // NOLINT: implicit as in the framework
  CTimeSpan(LONG days, int hours, int minutes, int seconds)
      : m_timeSpan(((static_cast<LONGLONG>(days) * 24 + hours) * 60 + minutes) * 60 + seconds) {}

  LONGLONG GetDays() const { return m_timeSpan / (24 * 3600); }
  LONGLONG GetTotalHours() const { return m_timeSpan / 3600; }
  LONG GetHours() const { return static_cast<LONG>(GetTotalHours() - GetDays() * 24); }
  LONGLONG GetTotalMinutes() const { return m_timeSpan / 60; }
  LONG GetMinutes() const { return static_cast<LONG>(GetTotalMinutes() - GetTotalHours() * 60); }
  LONGLONG GetTotalSeconds() const { return m_timeSpan; }
  LONG GetSeconds() const { return static_cast<LONG>(GetTotalSeconds() - GetTotalMinutes() * 60); }
  time_t GetTimeSpan() const { return m_timeSpan; }

  // %D days, %H hours, %M minutes, %S seconds, %% a percent sign.
  CString Format(LPCSTR format) const;

  CTimeSpan operator+(CTimeSpan s) const { return CTimeSpan(m_timeSpan + s.m_timeSpan); }
  CTimeSpan operator-(CTimeSpan s) const { return CTimeSpan(m_timeSpan - s.m_timeSpan); }
  CTimeSpan& operator+=(CTimeSpan s) { m_timeSpan += s.m_timeSpan; return *this; }
  CTimeSpan& operator-=(CTimeSpan s) { m_timeSpan -= s.m_timeSpan; return *this; }
  bool operator==(CTimeSpan s) const { return m_timeSpan == s.m_timeSpan; }
  bool operator!=(CTimeSpan s) const { return m_timeSpan != s.m_timeSpan; }
  bool operator<(CTimeSpan s) const { return m_timeSpan < s.m_timeSpan; }
  bool operator>(CTimeSpan s) const { return m_timeSpan > s.m_timeSpan; }
  bool operator<=(CTimeSpan s) const { return m_timeSpan <= s.m_timeSpan; }
  bool operator>=(CTimeSpan s) const { return m_timeSpan >= s.m_timeSpan; }

 private:
  time_t m_timeSpan;
};

class KXAPI CTime {
 public:
  CTime() : m_time(0) {}
  CTime(time_t t) : m_time(t) {}  // NOLINT: implicit as in the framework
  // Local wall-clock time; nDST < 0 lets the C runtime decide daylight saving. Fields out of range (year
  // 1900-3000, month 1-12, day 1-31, hour 0-23, minute and second 0-59) raise CInvalidArgException.
  CTime(int year, int month, int day, int hour, int minute, int second, int nDST = -1);
  CTime(WORD dosDate, WORD dosTime, int nDST = -1);
  CTime(const SYSTEMTIME& st, int nDST = -1);
  // A FILETIME is UTC: the same instant.
  CTime(const FILETIME& ft, int nDST = -1);

  static CTime GetCurrentTime();
  static BOOL IsValidFILETIME(const FILETIME& ft);

  time_t GetTime() const { return m_time; }
  struct tm* GetGmtTm(struct tm* ptm) const;
  struct tm* GetLocalTm(struct tm* ptm) const;
  BOOL GetAsSystemTime(SYSTEMTIME& st) const;

  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday

  CString Format(LPCSTR format) const;
  CString FormatGmt(LPCSTR format) const;
  CString Format(UINT formatId) const;
  CString FormatGmt(UINT formatId) const;

  CTime operator+(CTimeSpan s) const { return CTime(m_time + s.GetTimeSpan()); }
  CTime operator-(CTimeSpan s) const { return CTime(m_time - s.GetTimeSpan()); }
  CTimeSpan operator-(CTime t) const { return CTimeSpan(m_time - t.m_time); }
  CTime& operator+=(CTimeSpan s) { m_time += s.GetTimeSpan(); return *this; }
  CTime& operator-=(CTimeSpan s) { m_time -= s.GetTimeSpan(); return *this; }
  bool operator==(CTime t) const { return m_time == t.m_time; }
  bool operator!=(CTime t) const { return m_time != t.m_time; }
  bool operator<(CTime t) const { return m_time < t.m_time; }
  bool operator>(CTime t) const { return m_time > t.m_time; }
  bool operator<=(CTime t) const { return m_time <= t.m_time; }
  bool operator>=(CTime t) const { return m_time >= t.m_time; }

 private:
  time_t m_time;
};

class KXAPI COleDateTimeSpan {
 public:
  enum DateTimeSpanStatus { valid = 0, invalid = 1, null = 2 };

  COleDateTimeSpan() : m_span(0), m_status(valid) {}
  COleDateTimeSpan(double days) : m_span(days), m_status(valid) { CheckRange(); }  // NOLINT
  COleDateTimeSpan(LONG days, int hours, int minutes, int seconds) { SetDateTimeSpan(days, hours, minutes, seconds); }

  DateTimeSpanStatus GetStatus() const { return m_status; }
  void SetStatus(DateTimeSpanStatus s) { m_status = s; }
  void SetDateTimeSpan(LONG days, int hours, int minutes, int seconds);

  double GetTotalDays() const { return m_span; }
  double GetTotalHours() const { return m_span * 24; }
  double GetTotalMinutes() const { return m_span * 24 * 60; }
  double GetTotalSeconds() const { return m_span * 24 * 60 * 60; }
  // Parts of the span rounded to the nearest second; each carries the span's sign.
  LONG GetDays() const;
  LONG GetHours() const;
  LONG GetMinutes() const;
  LONG GetSeconds() const;

  operator double() const { return m_span; }  // NOLINT
  COleDateTimeSpan operator+(const COleDateTimeSpan& s) const;
  COleDateTimeSpan operator-(const COleDateTimeSpan& s) const;
  COleDateTimeSpan operator-() const;
  COleDateTimeSpan& operator+=(const COleDateTimeSpan& s) { return *this = *this + s; }
  COleDateTimeSpan& operator-=(const COleDateTimeSpan& s) { return *this = *this - s; }
  bool operator==(const COleDateTimeSpan& s) const { return m_status == s.m_status && m_span == s.m_span; }
  bool operator!=(const COleDateTimeSpan& s) const { return !(*this == s); }
  bool operator<(const COleDateTimeSpan& s) const { return m_span < s.m_span; }
  bool operator>(const COleDateTimeSpan& s) const { return m_span > s.m_span; }
  bool operator<=(const COleDateTimeSpan& s) const { return m_span <= s.m_span; }
  bool operator>=(const COleDateTimeSpan& s) const { return m_span >= s.m_span; }

  // %D days, %H hours, %M minutes, %S seconds, %% a percent sign.
  CString Format(LPCSTR format) const;

  double m_span;
  DateTimeSpanStatus m_status;

 private:
  void CheckRange();
};

class KXAPI COleDateTime {
 public:
  enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };

  COleDateTime() : m_dt(0), m_status(valid) {}
  COleDateTime(DATE dt) : m_dt(dt), m_status(valid) { CheckRange(); }  // NOLINT
  COleDateTime(const tagVARIANT& v);  // NOLINT
  COleDateTime(time_t t);             // NOLINT
  COleDateTime(const SYSTEMTIME& st);  // NOLINT
  COleDateTime(const FILETIME& ft);    // NOLINT: converted to local time
  COleDateTime(int year, int month, int day, int hour, int minute, int second) {
    SetDateTime(year, month, day, hour, minute, second);
  }
  COleDateTime(WORD dosDate, WORD dosTime);

  static COleDateTime GetCurrentTime();

  DateTimeStatus GetStatus() const { return m_status; }
  void SetStatus(DateTimeStatus s) { m_status = s; }
  BOOL GetAsSystemTime(SYSTEMTIME& st) const;

  // Each answers -1 when the value is not valid.
  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday
  int GetDayOfYear() const;  // 1 = 1 January

  // 0 on success, 1 when the fields do not make a date (the value then becomes invalid).
  int SetDateTime(int year, int month, int day, int hour, int minute, int second);
  int SetDate(int year, int month, int day) { return SetDateTime(year, month, day, 0, 0, 0); }
  int SetTime(int hour, int minute, int second) { return SetDateTime(1899, 12, 30, hour, minute, second); }

  COleDateTime& operator=(DATE dt);
  COleDateTime& operator=(const tagVARIANT& v);
  COleDateTime& operator=(time_t t);
  COleDateTime& operator=(const SYSTEMTIME& st);
  COleDateTime& operator=(const FILETIME& ft);

  bool operator==(const COleDateTime& d) const;
  bool operator!=(const COleDateTime& d) const { return !(*this == d); }
  bool operator<(const COleDateTime& d) const;
  bool operator>(const COleDateTime& d) const { return d < *this; }
  bool operator<=(const COleDateTime& d) const { return !(d < *this); }
  bool operator>=(const COleDateTime& d) const { return !(*this < d); }

  COleDateTime operator+(const COleDateTimeSpan& s) const;
  COleDateTime operator-(const COleDateTimeSpan& s) const;
  COleDateTime& operator+=(const COleDateTimeSpan& s) { return *this = *this + s; }
  COleDateTime& operator-=(const COleDateTimeSpan& s) { return *this = *this - s; }
  COleDateTimeSpan operator-(const COleDateTime& d) const;

  operator DATE() const { return m_dt; }  // NOLINT

  // Text as the OLE date conversion gives it (en-US "M/D/YYYY h:mm:ss AM"); "" for a null value and
  // "Invalid DateTime" for an invalid one.
  CString Format(DWORD flags = 0, LCID lcid = 0x0400) const;
  CString Format(LPCSTR format) const;
  // Parses the text as the OLE date conversion does; FALSE (value invalid) when it is not a date.
  BOOL ParseDateTime(LPCSTR text, DWORD flags = 0, LCID lcid = 0x0400);

  DATE m_dt;
  DateTimeStatus m_status;

 private:
  void CheckRange();
};
