#include "platform/mfc/datetime.h"

#include <cmath>
#include <cstdio>

#include "platform/com/oleauto.h"
#include "platform/mfc/exceptions.h"
#include "platform/win32/textconv.h"
#include "platform/win32/wintime.h"

namespace {

const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

void Append2(std::string& out, int v, bool noPad) {
  char buf[16];
  std::snprintf(buf, sizeof buf, noPad ? "%d" : "%02d", v);
  out += buf;
}

}  // namespace

namespace kx {

std::string FormatTm(const char* format, const struct tm& t) {
  std::string out;
  if (!format) return out;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char* start = p;
    bool alt = false;
    if (p[1] == '#') {
      alt = true;
      ++p;
    }
    char c = p[1];
    if (!c) {
      out.append(start);
      break;
    }
    ++p;
    int hour12 = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
    switch (c) {
      case 'a': out.append(kDayNames[(t.tm_wday % 7 + 7) % 7], 3); break;
      case 'A': out += kDayNames[(t.tm_wday % 7 + 7) % 7]; break;
      case 'b': out.append(kMonthNames[(t.tm_mon % 12 + 12) % 12], 3); break;
      case 'B': out += kMonthNames[(t.tm_mon % 12 + 12) % 12]; break;
      case 'c':
        out += alt ? FormatTm("%A, %B %#d, %Y, %H:%M:%S", t) : FormatTm("%m/%d/%y %H:%M:%S", t);
        break;
      case 'd': Append2(out, t.tm_mday, alt); break;
      case 'H': Append2(out, t.tm_hour, alt); break;
      case 'I': Append2(out, hour12, alt); break;
      case 'j': {
        char buf[16];
        std::snprintf(buf, sizeof buf, alt ? "%d" : "%03d", t.tm_yday + 1);
        out += buf;
        break;
      }
      case 'm': Append2(out, t.tm_mon + 1, alt); break;
      case 'M': Append2(out, t.tm_min, alt); break;
      case 'p': out += t.tm_hour < 12 ? "AM" : "PM"; break;
      case 'S': Append2(out, t.tm_sec, alt); break;
      case 'U': Append2(out, (t.tm_yday + 7 - t.tm_wday) / 7, alt); break;
      case 'w': out += static_cast<char>('0' + (t.tm_wday % 7 + 7) % 7); break;
      case 'W': Append2(out, (t.tm_yday + 7 - (t.tm_wday + 6) % 7) / 7, alt); break;
      case 'x': out += alt ? FormatTm("%A, %B %#d, %Y", t) : FormatTm("%m/%d/%y", t); break;
      case 'X': out += FormatTm("%H:%M:%S", t); break;
      case 'y': Append2(out, (t.tm_year + 1900) % 100, alt); break;
      case 'Y': {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d", t.tm_year + 1900);
        out += buf;
        break;
      }
      case 'z':
      case 'Z': {
        char buf[64];
        struct tm copy = t;
        if (strftime(buf, sizeof buf, c == 'z' ? "%z" : "%Z", &copy)) out += buf;
        break;
      }
      case '%': out += '%'; break;
      default: out.append(start, static_cast<size_t>(p - start + 1)); break;
    }
  }
  return out;
}

}  // namespace kx

// ---- CTimeSpan / CTime ----

namespace {

CString FormatSpan(const char* format, long long days, long hours, long minutes, long seconds) {
  std::string out;
  for (const char* p = format ? format : ""; *p; ++p) {
    if (*p != '%' || !p[1]) {
      out += *p;
      continue;
    }
    char buf[32];
    switch (*++p) {
      case 'D': std::snprintf(buf, sizeof buf, "%lld", days); out += buf; break;
      case 'H': std::snprintf(buf, sizeof buf, "%02ld", hours); out += buf; break;
      case 'M': std::snprintf(buf, sizeof buf, "%02ld", minutes); out += buf; break;
      case 'S': std::snprintf(buf, sizeof buf, "%02ld", seconds); out += buf; break;
      case '%': out += '%'; break;
      default: out += '%'; out += *p; break;
    }
  }
  return CString(out);
}

time_t LocalToTime(int year, int month, int day, int hour, int minute, int second, int dst) {
  if (year < 1900 || year > 3000 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59)
    AfxThrowInvalidArgException();
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = dst;
  time_t r = mktime(&t);
  if (r == static_cast<time_t>(-1) && !(year == 1969 || year == 1970)) AfxThrowInvalidArgException();
  return r;
}

CString LoadFormat(UINT id) {
  CString f;
  f.LoadString(id);
  return f;
}

}  // namespace

CString CTimeSpan::Format(LPCSTR format) const {
  return FormatSpan(format, GetDays(), GetHours(), GetMinutes(), GetSeconds());
}

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int nDST)
    : m_time(LocalToTime(year, month, day, hour, minute, second, nDST)) {}

CTime::CTime(WORD dosDate, WORD dosTime, int nDST)
    : m_time(LocalToTime(((dosDate >> 9) & 0x7F) + 1980, (dosDate >> 5) & 0xF, dosDate & 0x1F,
                         (dosTime >> 11) & 0x1F, (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2, nDST)) {}

CTime::CTime(const SYSTEMTIME& st, int nDST)
    : m_time(LocalToTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST)) {}

CTime::CTime(const FILETIME& ft, int) {
  int64_t s, ns;
  kx::UnixFromFileTime(ft, &s, &ns);
  m_time = static_cast<time_t>(s);
}

CTime CTime::GetCurrentTime() { return CTime(::time(nullptr)); }

BOOL CTime::IsValidFILETIME(const FILETIME& ft) {
  SYSTEMTIME st;
  return FileTimeToSystemTime(&ft, &st) && st.wYear >= 1970 && st.wYear <= 3000;
}

struct tm* CTime::GetGmtTm(struct tm* ptm) const { return ptm ? gmtime_r(&m_time, ptm) : nullptr; }
struct tm* CTime::GetLocalTm(struct tm* ptm) const { return ptm ? localtime_r(&m_time, ptm) : nullptr; }

BOOL CTime::GetAsSystemTime(SYSTEMTIME& st) const {
  struct tm t;
  if (!GetLocalTm(&t) || t.tm_year + 1900 > 65535) return FALSE;
  st.wYear = static_cast<WORD>(t.tm_year + 1900);
  st.wMonth = static_cast<WORD>(t.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  st.wDay = static_cast<WORD>(t.tm_mday);
  st.wHour = static_cast<WORD>(t.tm_hour);
  st.wMinute = static_cast<WORD>(t.tm_min);
  st.wSecond = static_cast<WORD>(t.tm_sec);
  st.wMilliseconds = 0;
  return TRUE;
}

#define KX_LOCAL_PART(name, expr)        \
  int CTime::name() const {              \
    struct tm t;                         \
    return GetLocalTm(&t) ? (expr) : 0;  \
  }
KX_LOCAL_PART(GetYear, t.tm_year + 1900)
KX_LOCAL_PART(GetMonth, t.tm_mon + 1)
KX_LOCAL_PART(GetDay, t.tm_mday)
KX_LOCAL_PART(GetHour, t.tm_hour)
KX_LOCAL_PART(GetMinute, t.tm_min)
KX_LOCAL_PART(GetSecond, t.tm_sec)
KX_LOCAL_PART(GetDayOfWeek, t.tm_wday + 1)
#undef KX_LOCAL_PART

CString CTime::Format(LPCSTR format) const {
  struct tm t;
  return GetLocalTm(&t) ? CString(kx::FormatTm(format, t)) : CString();
}

CString CTime::FormatGmt(LPCSTR format) const {
  struct tm t;
  return GetGmtTm(&t) ? CString(kx::FormatTm(format, t)) : CString();
}

CString CTime::Format(UINT id) const { return Format(LoadFormat(id).GetString()); }
CString CTime::FormatGmt(UINT id) const { return FormatGmt(LoadFormat(id).GetString()); }

// ---- COleDateTimeSpan ----

namespace {
constexpr double kMaxSpan = 3615897.0;

// Whole seconds of a span (rounded), sign kept.
long long SpanSeconds(double span) { return std::llround(span * 86400.0); }

}  // namespace

void COleDateTimeSpan::CheckRange() {
  if (m_status == valid && !(m_span >= -kMaxSpan && m_span <= kMaxSpan)) m_status = invalid;
}

void COleDateTimeSpan::SetDateTimeSpan(LONG days, int hours, int minutes, int seconds) {
  m_span = days + hours / 24.0 + minutes / 1440.0 + seconds / 86400.0;
  m_status = valid;
  CheckRange();
}

LONG COleDateTimeSpan::GetDays() const { return static_cast<LONG>(SpanSeconds(m_span) / 86400); }
LONG COleDateTimeSpan::GetHours() const { return static_cast<LONG>(SpanSeconds(m_span) / 3600 % 24); }
LONG COleDateTimeSpan::GetMinutes() const { return static_cast<LONG>(SpanSeconds(m_span) / 60 % 60); }
LONG COleDateTimeSpan::GetSeconds() const { return static_cast<LONG>(SpanSeconds(m_span) % 60); }

COleDateTimeSpan COleDateTimeSpan::operator+(const COleDateTimeSpan& s) const {
  COleDateTimeSpan r;
  if (m_status != valid || s.m_status != valid) {
    r.m_status = (m_status == null || s.m_status == null) ? null : invalid;
    return r;
  }
  r.m_span = m_span + s.m_span;
  r.CheckRange();
  return r;
}

COleDateTimeSpan COleDateTimeSpan::operator-(const COleDateTimeSpan& s) const { return *this + (-s); }

COleDateTimeSpan COleDateTimeSpan::operator-() const {
  COleDateTimeSpan r(*this);
  r.m_span = -m_span;
  return r;
}

CString COleDateTimeSpan::Format(LPCSTR format) const {
  if (m_status != valid) return CString();
  long long total = SpanSeconds(m_span);
  long long a = total < 0 ? -total : total;
  return FormatSpan(format, total / 86400, static_cast<long>(a / 3600 % 24), static_cast<long>(a / 60 % 60),
                    static_cast<long>(a % 60));
}

// ---- COleDateTime ----

void COleDateTime::CheckRange() {
  if (m_status == valid && !(m_dt > -657435.0 && m_dt < 2958466.0)) m_status = invalid;
}

COleDateTime::COleDateTime(const tagVARIANT& v) : m_dt(0), m_status(valid) { *this = v; }
COleDateTime::COleDateTime(time_t t) : m_dt(0), m_status(valid) { *this = t; }
COleDateTime::COleDateTime(const SYSTEMTIME& st) : m_dt(0), m_status(valid) { *this = st; }
COleDateTime::COleDateTime(const FILETIME& ft) : m_dt(0), m_status(valid) { *this = ft; }

COleDateTime::COleDateTime(WORD dosDate, WORD dosTime) : m_dt(0), m_status(valid) {
  SetDateTime(((dosDate >> 9) & 0x7F) + 1980, (dosDate >> 5) & 0xF, dosDate & 0x1F, (dosTime >> 11) & 0x1F,
              (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2);
}

COleDateTime COleDateTime::GetCurrentTime() { return COleDateTime(::time(nullptr)); }

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME st = {};
  bool inRange = year >= 0 && year <= 0xFFFF && month >= 0 && month <= 0xFFFF && day >= 0 && day <= 0xFFFF &&
                 hour >= 0 && hour <= 0xFFFF && minute >= 0 && minute <= 0xFFFF && second >= 0 && second <= 0xFFFF;
  if (inRange) {
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
  }
  m_status = inRange && SystemTimeToVariantTime(&st, &m_dt) ? valid : invalid;
  return m_status == valid ? 0 : 1;
}

BOOL COleDateTime::GetAsSystemTime(SYSTEMTIME& st) const {
  return m_status == valid && VariantTimeToSystemTime(m_dt, &st);
}

#define KX_OLE_PART(name, expr)                                                  \
  int COleDateTime::name() const {                                               \
    SYSTEMTIME st;                                                               \
    return GetAsSystemTime(st) ? (expr) : -1;                                    \
  }
KX_OLE_PART(GetYear, st.wYear)
KX_OLE_PART(GetMonth, st.wMonth)
KX_OLE_PART(GetDay, st.wDay)
KX_OLE_PART(GetHour, st.wHour)
KX_OLE_PART(GetMinute, st.wMinute)
KX_OLE_PART(GetSecond, st.wSecond)
KX_OLE_PART(GetDayOfWeek, st.wDayOfWeek + 1)
#undef KX_OLE_PART

int COleDateTime::GetDayOfYear() const {
  SYSTEMTIME st;
  if (!GetAsSystemTime(st)) return -1;
  SYSTEMTIME jan1 = {st.wYear, 1, 0, 1, 0, 0, 0, 0};
  DATE first, day;
  SYSTEMTIME midnight = st;
  midnight.wHour = midnight.wMinute = midnight.wSecond = 0;
  if (!SystemTimeToVariantTime(&jan1, &first) || !SystemTimeToVariantTime(&midnight, &day)) return -1;
  return static_cast<int>(std::lround(kx::OleDateToLinear(day) - kx::OleDateToLinear(first))) + 1;
}

COleDateTime& COleDateTime::operator=(DATE dt) {
  m_dt = dt;
  m_status = valid;
  CheckRange();
  return *this;
}

COleDateTime& COleDateTime::operator=(const tagVARIANT& v) {
  if (v.vt == VT_DATE) return *this = v.date;
  VARIANT d;
  VariantInit(&d);
  if (SUCCEEDED(VariantChangeType(&d, &v, 0, VT_DATE))) {
    *this = d.date;
  } else {
    m_dt = 0;
    m_status = invalid;
  }
  VariantClear(&d);
  return *this;
}

COleDateTime& COleDateTime::operator=(time_t t) {
  struct tm lt;
  if (!localtime_r(&t, &lt)) {
    m_status = invalid;
    return *this;
  }
  SetDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec);
  return *this;
}

COleDateTime& COleDateTime::operator=(const SYSTEMTIME& st) {
  m_status = SystemTimeToVariantTime(&st, &m_dt) ? valid : invalid;
  return *this;
}

COleDateTime& COleDateTime::operator=(const FILETIME& ft) {
  FILETIME local;
  SYSTEMTIME st;
  if (FileTimeToLocalFileTime(&ft, &local) && FileTimeToSystemTime(&local, &st)) return *this = st;
  m_status = invalid;
  return *this;
}

bool COleDateTime::operator==(const COleDateTime& d) const { return m_status == d.m_status && m_dt == d.m_dt; }
bool COleDateTime::operator<(const COleDateTime& d) const { return kx::OleDateToLinear(m_dt) < kx::OleDateToLinear(d.m_dt); }

COleDateTime COleDateTime::operator+(const COleDateTimeSpan& s) const {
  COleDateTime r;
  if (m_status != valid || s.m_status != COleDateTimeSpan::valid) {
    r.m_status = (m_status == null || s.m_status == COleDateTimeSpan::null) ? null : invalid;
    return r;
  }
  return COleDateTime(kx::OleDateFromLinear(kx::OleDateToLinear(m_dt) + s.m_span));
}

COleDateTime COleDateTime::operator-(const COleDateTimeSpan& s) const { return *this + (-s); }

COleDateTimeSpan COleDateTime::operator-(const COleDateTime& d) const {
  COleDateTimeSpan r;
  if (m_status != valid || d.m_status != valid) {
    r.m_status = (m_status == null || d.m_status == null) ? COleDateTimeSpan::null : COleDateTimeSpan::invalid;
    return r;
  }
  return COleDateTimeSpan(kx::OleDateToLinear(m_dt) - kx::OleDateToLinear(d.m_dt));
}

CString COleDateTime::Format(DWORD flags, LCID lcid) const {
  if (m_status == null) return CString();
  if (m_status != valid) return CString("Invalid DateTime");
  BSTR text = nullptr;
  if (FAILED(VarBstrFromDate(m_dt, lcid, flags, &text))) return CString("Invalid DateTime");
  CString r(text, static_cast<int>(SysStringLen(text)));
  SysFreeString(text);
  return r;
}

CString COleDateTime::Format(LPCSTR format) const {
  if (m_status == null) return CString();
  SYSTEMTIME st;
  if (!GetAsSystemTime(st)) return CString("Invalid DateTime");
  struct tm t = {};
  t.tm_year = st.wYear - 1900;
  t.tm_mon = st.wMonth - 1;
  t.tm_mday = st.wDay;
  t.tm_hour = st.wHour;
  t.tm_min = st.wMinute;
  t.tm_sec = st.wSecond;
  t.tm_wday = st.wDayOfWeek;
  t.tm_yday = GetDayOfYear() - 1;
  t.tm_isdst = -1;
  return CString(kx::FormatTm(format, t));
}


BOOL COleDateTime::ParseDateTime(LPCSTR text, DWORD flags, LCID lcid) {
  if (!text) {
    m_status = invalid;
    return FALSE;
  }
  std::u16string w = kx::Utf8ToUtf16(text, std::char_traits<char>::length(text));
  DATE d;
  if (FAILED(VarDateFromStr(w.c_str(), lcid, flags, &d))) {
    m_dt = 0;
    m_status = invalid;
    return FALSE;
  }
  *this = d;
  return m_status == valid;
}
