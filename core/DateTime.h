// Date and time as one OLE Automation date (days since 30 December 1899, the fraction the time of day),
// the signed span between two of them, and a local clock reading.
#pragma once

#include <cstddef>
#include <ctime>

#include "platform/win32/types.h"

struct tagVARIANT;

class CDateTimeSpan {
 public:
  CDateTimeSpan() : m_span(kInvalid) {}
  CDateTimeSpan(double days) : m_span(days) {}  // NOLINT: a span is a number of days

  void SetSpan(LONG days, LONG hours, LONG minutes, LONG seconds);
  bool IsValid() const { return m_span >= -kLimit && m_span <= kLimit; }
  void SetInvalid() { m_span = kInvalid; }
  double GetValue() const { return m_span; }
  operator double() const { return m_span; }  // NOLINT

  // Parts carry the span's sign and are truncated, not rounded.
  LONG GetDays() const;
  LONG GetHours() const;
  LONG GetMinutes() const;
  LONG GetSeconds() const;

  static constexpr double kLimit = 3615897.0;
  static constexpr double kInvalid = -3615898.0;

 private:
  double m_span;
};

class CDateTime {
 public:
  CDateTime() : m_date(kInvalid) {}
  CDateTime(DATE date) : m_date(date) {}  // NOLINT
  explicit CDateTime(const tagVARIANT& v);
  explicit CDateTime(time_t t);
  explicit CDateTime(const SYSTEMTIME& st);
  explicit CDateTime(const FILETIME& ft);
  CDateTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);

  static CDateTime GetCurrentTime();
  bool SetDateTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
  bool SetDateFromParts(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
  // Parses the text with the platform's date parser; a null text is passed on as null.
  bool ParseDateTime(const char* text, DWORD flags = 0, LCID locale = 1024);

  CDateTime& operator=(DATE date) {
    m_date = date;
    return *this;
  }
  operator DATE() const { return m_date; }  // NOLINT
  DATE GetDate() const { return m_date; }
  void SetInvalid() { m_date = kInvalid; }
  bool IsValid() const { return m_date >= kMin && m_date <= kMax; }

  // 0x80000000 for an invalid date.
  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday
  int GetDayOfYear() const;  // 1 = 1 January
  bool IsLeapYear() const;
  bool IsNoon() const;
  bool IsMidnight() const;
  bool GetAsSystemTime(SYSTEMTIME& st) const;

  // Text into the caller's buffer of size bytes (cut to fit, always terminated); empty for an invalid date
  // or a failed conversion. Each returns buffer.
  char* Format(char* buffer, size_t size, DWORD flags = 0, LCID locale = 1024) const;
  char* FormatStrftime(char* buffer, size_t size, const char* format) const;
  // The format is the resource string stringId (of the library's resource module, whatever module says).
  char* FormatResource(char* buffer, size_t size, UINT stringId, HINSTANCE module) const;
  char* FormatDate(char* buffer, size_t size, const char* format, DWORD flags = 0, LCID locale = 1024) const;
  char* FormatTime(char* buffer, size_t size, const char* format, DWORD flags = 0, LCID locale = 1024) const;

  // The parts of a date as a struct tm (day of week from Sunday, day of year from the date itself).
  static bool DateToTm(DATE date, struct tm& out);
  // Linear day count of a date (the negative half of the scale counts its fraction forward) and back.
  static double DoubleFromDate(DATE date);
  static DATE DateFromDouble(double x);

  static constexpr double kMin = -657434.0;
  static constexpr double kMax = 2958465.0;
  static constexpr double kInvalid = -657435.0;

 private:
  DATE m_date;
};

bool operator<(const CDateTime& a, const CDateTime& b);
bool operator>(const CDateTime& a, const CDateTime& b);
bool operator<=(const CDateTime& a, const CDateTime& b);
bool operator>=(const CDateTime& a, const CDateTime& b);
CDateTime operator+(const CDateTime& date, const CDateTimeSpan& span);
CDateTime operator+(const CDateTimeSpan& span, const CDateTime& date);
CDateTime operator-(const CDateTime& date, const CDateTimeSpan& span);
CDateTimeSpan operator-(const CDateTime& a, const CDateTime& b);
CDateTimeSpan operator+(const CDateTimeSpan& a, const CDateTimeSpan& b);
CDateTimeSpan operator-(const CDateTimeSpan& a, const CDateTimeSpan& b);
CDateTimeSpan operator-(const CDateTimeSpan& a);

// The local wall clock when it is made (or updated).
class CLocalTime {
 public:
  CLocalTime() { Update(); }
  void Update();
  SYSTEMTIME m_time;
};
