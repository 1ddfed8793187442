#include "core/DateTime.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/oleauto.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/datetime.h"
#include "platform/win32/textconv.h"
#include "platform/win32/wintime.h"

namespace {

constexpr int kBadPart = INT_MIN;  // 0x80000000

// Copies text into a buffer of size bytes, cut at a character boundary when it does not fit.
char* CopyOut(char* buffer, size_t size, const std::string& text) {
  if (!buffer || size == 0) return buffer;
  size_t n = text.size();
  if (n >= size) {
    n = size - 1;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;  // not inside a character
  }
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return buffer;
}

char* Clear(char* buffer, size_t size) {
  if (buffer && size) buffer[0] = 0;
  return buffer;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DayOfYear(int y, int m, int d) {
  static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return before[m - 1] + d + (m > 2 && IsLeap(y) ? 1 : 0);
}

}  // namespace

// ---- CDateTimeSpan ----

void CDateTimeSpan::SetSpan(LONG days, LONG hours, LONG minutes, LONG seconds) {
  m_span = days + hours / 24.0 + minutes / 1440.0 + seconds / 86400.0;
}

LONG CDateTimeSpan::GetDays() const { return static_cast<LONG>(std::trunc(m_span)); }

LONG CDateTimeSpan::GetHours() const {
  double ip;
  return static_cast<LONG>(std::trunc(std::modf(m_span, &ip) * 24));
}

LONG CDateTimeSpan::GetMinutes() const {
  double ip;
  return static_cast<LONG>(std::trunc(std::modf(m_span * 24, &ip) * 60));
}

LONG CDateTimeSpan::GetSeconds() const {
  double ip;
  return static_cast<LONG>(std::trunc(std::modf(m_span * 1440, &ip) * 60));
}

// ---- CDateTime ----

CDateTime::CDateTime(const tagVARIANT& v) : m_date(kInvalid) {
  if (v.vt == VT_DATE) {
    m_date = v.date;
    return;
  }
  VARIANT converted;
  VariantInit(&converted);
  if (SUCCEEDED(VariantChangeType(&converted, &v, 0, VT_DATE))) m_date = converted.date;
  VariantClear(&converted);
}

CDateTime::CDateTime(time_t t) : m_date(kInvalid) {
  struct tm local;
  if (!localtime_r(&t, &local)) return;
  SetDateFromParts(static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                   static_cast<WORD>(local.tm_mday), static_cast<WORD>(local.tm_hour),
                   static_cast<WORD>(local.tm_min), static_cast<WORD>(local.tm_sec));
}

CDateTime::CDateTime(const SYSTEMTIME& st) : m_date(kInvalid) {
  SetDateFromParts(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

CDateTime::CDateTime(const FILETIME& ft) : m_date(kInvalid) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return;
  SetDateFromParts(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

CDateTime::CDateTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) : m_date(kInvalid) {
  SetDateTime(year, month, day, hour, minute, second);
}

CDateTime CDateTime::GetCurrentTime() { return CDateTime(std::time(nullptr)); }

bool CDateTime::SetDateTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  if (!SetDateFromParts(year, month, day, hour, minute, second)) SetInvalid();
  return IsValid();
}

bool CDateTime::SetDateFromParts(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME st = {year, month, 0, day, hour, minute, second, 0};
  DATE d;
  if (!SystemTimeToVariantTime(&st, &d)) return false;
  m_date = d;
  return true;
}

bool CDateTime::ParseDateTime(const char* text, DWORD flags, LCID locale) {
  std::u16string wide;
  if (text) wide = kx::Utf8ToUtf16(text, std::strlen(text));
  DATE d;
  if (SUCCEEDED(VarDateFromStr(text ? wide.c_str() : nullptr, locale, flags, &d)))
    m_date = d;
  else
    SetInvalid();
  return IsValid();
}

bool CDateTime::GetAsSystemTime(SYSTEMTIME& st) const {
  return IsValid() && VariantTimeToSystemTime(m_date, &st);
}

bool CDateTime::DateToTm(DATE date, struct tm& out) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return false;
  std::memset(&out, 0, sizeof out);
  out.tm_sec = st.wSecond;
  out.tm_min = st.wMinute;
  out.tm_hour = st.wHour;
  out.tm_mday = st.wDay;
  out.tm_mon = st.wMonth - 1;
  out.tm_year = st.wYear - 1900;
  out.tm_wday = st.wDayOfWeek;
  // Computed from the date itself: no time zone or daylight-saving rule can move it.
  out.tm_yday = DayOfYear(st.wYear, st.wMonth, st.wDay) - 1;
  out.tm_isdst = -1;
  return true;
}

namespace {
bool Parts(const CDateTime& d, struct tm& t) { return d.IsValid() && CDateTime::DateToTm(d.GetDate(), t); }
// One part of the date, or the invalid-part value.
int Part(const CDateTime& d, int tm::*field, int offset) {
  struct tm t;
  return Parts(d, t) ? t.*field + offset : kBadPart;
}
}  // namespace

int CDateTime::GetYear() const { return Part(*this, &tm::tm_year, 1900); }
int CDateTime::GetMonth() const { return Part(*this, &tm::tm_mon, 1); }
int CDateTime::GetDay() const { return Part(*this, &tm::tm_mday, 0); }
int CDateTime::GetHour() const { return Part(*this, &tm::tm_hour, 0); }
int CDateTime::GetMinute() const { return Part(*this, &tm::tm_min, 0); }
int CDateTime::GetSecond() const { return Part(*this, &tm::tm_sec, 0); }
int CDateTime::GetDayOfWeek() const { return Part(*this, &tm::tm_wday, 1); }
int CDateTime::GetDayOfYear() const { return Part(*this, &tm::tm_yday, 1); }

bool CDateTime::IsLeapYear() const {
  int y = GetYear();
  return y != kBadPart && IsLeap(y);
}

bool CDateTime::IsNoon() const {
  struct tm t;
  return Parts(*this, t) && t.tm_hour == 12 && t.tm_min == 0 && t.tm_sec == 0;
}

bool CDateTime::IsMidnight() const {
  struct tm t;
  return Parts(*this, t) && t.tm_hour == 0 && t.tm_min == 0 && t.tm_sec == 0;
}

char* CDateTime::Format(char* buffer, size_t size, DWORD flags, LCID locale) const {
  Clear(buffer, size);
  if (!IsValid()) return buffer;
  BSTR text = nullptr;
  if (FAILED(VarBstrFromDate(m_date, locale, flags, &text)) || !text) return buffer;
  CopyOut(buffer, size, kx::Utf16ToUtf8(text, SysStringLen(text)));
  SysFreeString(text);
  return buffer;
}

char* CDateTime::FormatStrftime(char* buffer, size_t size, const char* format) const {
  Clear(buffer, size);
  struct tm t;
  if (!format || !Parts(*this, t)) return buffer;
  return CopyOut(buffer, kx_min<size_t>(size, 4096), kx::FormatTm(format, t));
}

char* CDateTime::FormatResource(char* buffer, size_t size, UINT stringId, HINSTANCE module) const {
  Clear(buffer, size);
  // The platform has one resource-string loader, that of the library's resource module.
  std::string format;
  if (!kx::LoadResourceString(stringId, format) || format.empty()) return buffer;
  if (format.size() > 255) format.resize(255);
  return FormatStrftime(buffer, size, format.c_str());
}

char* CDateTime::FormatDate(char* buffer, size_t size, const char* format, DWORD flags, LCID locale) const {
  Clear(buffer, size);
  SYSTEMTIME st;
  if (!buffer || size == 0 || !GetAsSystemTime(st)) return buffer;
  if (GetDateFormatA(locale, flags, &st, format, buffer, static_cast<int>(kx_min<size_t>(size, 255))) <= 0)
    Clear(buffer, size);
  return buffer;
}

char* CDateTime::FormatTime(char* buffer, size_t size, const char* format, DWORD flags, LCID locale) const {
  Clear(buffer, size);
  SYSTEMTIME st;
  if (!buffer || size == 0 || !GetAsSystemTime(st)) return buffer;
  if (GetTimeFormatA(locale, flags, &st, format, buffer, static_cast<int>(kx_min<size_t>(size, 255))) <= 0)
    Clear(buffer, size);
  return buffer;
}

double CDateTime::DoubleFromDate(DATE date) {
  if (date >= 0) return date;
  double c = std::ceil(date);
  return c - (date - c);
}

DATE CDateTime::DateFromDouble(double x) {
  if (x >= 0) return x;
  double f = std::floor(x);
  return 2 * f - x;
}

bool operator<(const CDateTime& a, const CDateTime& b) {
  return CDateTime::DoubleFromDate(a.GetDate()) < CDateTime::DoubleFromDate(b.GetDate());
}
bool operator>(const CDateTime& a, const CDateTime& b) {
  return CDateTime::DoubleFromDate(a.GetDate()) > CDateTime::DoubleFromDate(b.GetDate());
}
bool operator<=(const CDateTime& a, const CDateTime& b) {
  return CDateTime::DoubleFromDate(a.GetDate()) <= CDateTime::DoubleFromDate(b.GetDate());
}
bool operator>=(const CDateTime& a, const CDateTime& b) {
  return CDateTime::DoubleFromDate(a.GetDate()) >= CDateTime::DoubleFromDate(b.GetDate());
}

CDateTime operator+(const CDateTime& date, const CDateTimeSpan& span) {
  CDateTime r;
  if (date.IsValid() && span.IsValid())
    r = CDateTime::DateFromDouble(CDateTime::DoubleFromDate(date.GetDate()) + span.GetValue());
  return r;
}

CDateTime operator+(const CDateTimeSpan& span, const CDateTime& date) { return date + span; }

CDateTime operator-(const CDateTime& date, const CDateTimeSpan& span) {
  CDateTime r;
  if (date.IsValid() && span.IsValid())
    r = CDateTime::DateFromDouble(CDateTime::DoubleFromDate(date.GetDate()) - span.GetValue());
  return r;
}

CDateTimeSpan operator-(const CDateTime& a, const CDateTime& b) {
  CDateTimeSpan r;
  if (a.IsValid() && b.IsValid())
    r = CDateTimeSpan(CDateTime::DoubleFromDate(a.GetDate()) - CDateTime::DoubleFromDate(b.GetDate()));
  return r;
}

CDateTimeSpan operator+(const CDateTimeSpan& a, const CDateTimeSpan& b) {
  CDateTimeSpan r;
  if (a.IsValid() && b.IsValid()) r = CDateTimeSpan(a.GetValue() + b.GetValue());
  return r;
}

CDateTimeSpan operator-(const CDateTimeSpan& a, const CDateTimeSpan& b) { return a + (-b); }

CDateTimeSpan operator-(const CDateTimeSpan& a) { return CDateTimeSpan(-a.GetValue()); }

void CLocalTime::Update() { GetLocalTime(&m_time); }
