#include "platform/win32/wintime.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/win32/errors.h"

namespace {

constexpr int64_t kEpochDelta = 116444736000000000ll;  // 1601-01-01 to 1970-01-01 in 100 ns
constexpr int64_t kTicksPerDay = 864000000000ll;

std::mutex g_clockMutex;
bool g_frozen = false;
uint64_t g_frozenValue = 0;

uint64_t NowFileTime() {
  {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (g_frozen) return g_frozenValue;
  }
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return kx::FileTimeValue(kx::FileTimeFromUnix(ts.tv_sec, ts.tv_nsec));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : d[m - 1];
}

// Days since 1601-01-01 of a civil date.
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 134774;  // 134774 = days from 1601-01-01 to 1970-01-01
}

void CivilFromDays(int64_t days, int* y, int* m, int* d) {
  int64_t z = days - 134774 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t yy = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}

void SystemTimeFromValue(uint64_t v, SYSTEMTIME* st) {
  int64_t days = static_cast<int64_t>(v / kTicksPerDay);
  int64_t rest = static_cast<int64_t>(v % kTicksPerDay);
  int y, m, d;
  CivilFromDays(days, &y, &m, &d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  st->wHour = static_cast<WORD>(rest / 36000000000ll);
  st->wMinute = static_cast<WORD>(rest / 600000000 % 60);
  st->wSecond = static_cast<WORD>(rest / 10000000 % 60);
  st->wMilliseconds = static_cast<WORD>(rest / 10000 % 1000);
}

// Offset of local time from UTC, in seconds, at a Unix instant.
long LocalOffsetAt(time_t t) {
  struct tm lt;
  localtime_r(&t, &lt);
  return lt.tm_gmtoff;
}

long CurrentOffset() {
  uint64_t now = NowFileTime();
  return LocalOffsetAt(static_cast<time_t>((static_cast<int64_t>(now) - kEpochDelta) / 10000000));
}

}  // namespace

namespace kx {

FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  int64_t v = seconds * 10000000 + nanoseconds / 100 + kEpochDelta;
  if (v < 0) v = 0;
  return FileTimeOf(static_cast<uint64_t>(v));
}

void UnixFromFileTime(const FILETIME& ft, int64_t* seconds, int64_t* nanoseconds) {
  int64_t v = static_cast<int64_t>(FileTimeValue(ft)) - kEpochDelta;
  int64_t s = v / 10000000;
  int64_t r = v % 10000000;
  if (r < 0) {
    r += 10000000;
    --s;
  }
  *seconds = s;
  *nanoseconds = r * 100;
}

void SetSystemTimeForTests(const FILETIME* utc) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  g_frozen = utc != nullptr;
  g_frozenValue = utc ? FileTimeValue(*utc) : 0;
}

}  // namespace kx

void GetSystemTimeAsFileTime(LPFILETIME ft) {
  if (ft) *ft = kx::FileTimeOf(NowFileTime());
}

void GetSystemTime(LPSYSTEMTIME st) {
  if (st) SystemTimeFromValue(NowFileTime(), st);
}

void GetLocalTime(LPSYSTEMTIME st) {
  if (!st) return;
  uint64_t now = NowFileTime();
  time_t t = static_cast<time_t>((static_cast<int64_t>(now) - kEpochDelta) / 10000000);
  SystemTimeFromValue(now + static_cast<int64_t>(LocalOffsetAt(t)) * 10000000, st);
}

ULONGLONG GetTickCount64() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000 + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000;
}
DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  if (count) count->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return TRUE;
}
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency) frequency->QuadPart = 1000000000;
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
  if (!st || !ft || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
      st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 ||
      st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
  int64_t v = days * kTicksPerDay + ((st->wHour * 60ll + st->wMinute) * 60 + st->wSecond) * 10000000ll +
              st->wMilliseconds * 10000ll;
  *ft = kx::FileTimeOf(static_cast<uint64_t>(v));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
  if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SystemTimeFromValue(kx::FileTimeValue(*ft), st);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME local) {
  if (!ft || !local) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *local = kx::FileTimeOf(kx::FileTimeValue(*ft) + static_cast<int64_t>(CurrentOffset()) * 10000000);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME ft) {
  if (!ft || !local) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *ft = kx::FileTimeOf(kx::FileTimeValue(*local) - static_cast<int64_t>(CurrentOffset()) * 10000000);
  return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const void* zone, const SYSTEMTIME* utc, LPSYSTEMTIME local) {
  FILETIME ft;
  if (zone || !local || !SystemTimeToFileTime(utc, &ft)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t s, ns;
  kx::UnixFromFileTime(ft, &s, &ns);
  SystemTimeFromValue(kx::FileTimeValue(ft) + static_cast<int64_t>(LocalOffsetAt(static_cast<time_t>(s))) * 10000000,
                      local);
  return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
  uint64_t x = kx::FileTimeValue(*a), y = kx::FileTimeValue(*b);
  return x < y ? -1 : x > y ? 1 : 0;
}

namespace {

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

bool ValidDate(const SYSTEMTIME& st) {
  return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= DaysInMonth(st.wYear, st.wMonth);
}

// Expands a date or time picture. Letters that are not pictures of the kind being formatted are copied.
std::string Expand(const std::string& pic, const SYSTEMTIME& st, bool date) {
  std::string out;
  char buf[32];
  for (size_t i = 0; i < pic.size();) {
    char c = pic[i];
    if (c == '\'') {
      size_t j = i + 1;
      while (j < pic.size()) {
        if (pic[j] == '\'') {
          if (j + 1 < pic.size() && pic[j + 1] == '\'') {
            out.push_back('\'');
            j += 2;
            continue;
          }
          break;
        }
        out.push_back(pic[j++]);
      }
      i = j + 1;
      continue;
    }
    size_t n = 1;
    while (i + n < pic.size() && pic[i + n] == c) ++n;
    bool handled = true;
    if (date && c == 'd') {
      if (n == 1) snprintf(buf, sizeof buf, "%d", st.wDay), out += buf;
      else if (n == 2) snprintf(buf, sizeof buf, "%02d", st.wDay), out += buf;
      else if (n == 3) out += std::string(kDays[st.wDayOfWeek % 7]).substr(0, 3);
      else out += kDays[st.wDayOfWeek % 7];
    } else if (date && c == 'M') {
      if (n == 1) snprintf(buf, sizeof buf, "%d", st.wMonth), out += buf;
      else if (n == 2) snprintf(buf, sizeof buf, "%02d", st.wMonth), out += buf;
      else if (n == 3) out += std::string(kMonths[st.wMonth - 1]).substr(0, 3);
      else out += kMonths[st.wMonth - 1];
    } else if (date && c == 'y') {
      if (n == 1) snprintf(buf, sizeof buf, "%d", st.wYear % 100), out += buf;
      else if (n == 2) snprintf(buf, sizeof buf, "%02d", st.wYear % 100), out += buf;
      else snprintf(buf, sizeof buf, "%d", st.wYear), out += buf;
    } else if (date && c == 'g') {
      out += "A.D.";
    } else if (!date && (c == 'h' || c == 'H')) {
      int h = c == 'h' ? (st.wHour % 12 == 0 ? 12 : st.wHour % 12) : st.wHour;
      snprintf(buf, sizeof buf, n == 1 ? "%d" : "%02d", h), out += buf;
    } else if (!date && c == 'm') {
      snprintf(buf, sizeof buf, n == 1 ? "%d" : "%02d", st.wMinute), out += buf;
    } else if (!date && c == 's') {
      snprintf(buf, sizeof buf, n == 1 ? "%d" : "%02d", st.wSecond), out += buf;
    } else if (!date && c == 't') {
      const char* marker = st.wHour < 12 ? "AM" : "PM";
      out += n == 1 ? std::string(1, marker[0]) : std::string(marker);
    } else {
      handled = false;
    }
    if (!handled) out.append(n, c);
    i += n;
  }
  return out;
}

int Deliver(const std::string& text, LPSTR buffer, int size) {
  int needed = static_cast<int>(text.size()) + 1;
  if (size == 0) return needed;
  if (!buffer || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, text.c_str(), text.size() + 1);
  return needed;
}

// Removes the pictures that the TIME_NO* flags leave out, with the separators that belong to them.
std::string TrimTimePicture(std::string pic, DWORD flags) {
  auto removeField = [&](char f) {
    size_t p;
    while ((p = pic.find(f)) != std::string::npos) {
      size_t end = p;
      while (end < pic.size() && pic[end] == f) ++end;
      size_t start = p;
      // take the separator before the field (":" or ".")
      while (start > 0 && !isalpha(static_cast<unsigned char>(pic[start - 1])) && pic[start - 1] != '\'') --start;
      pic.erase(start, end - start);
    }
  };
  if (flags & (TIME_NOSECONDS | TIME_NOMINUTESORSECONDS)) removeField('s');
  if (flags & TIME_NOMINUTESORSECONDS) removeField('m');
  if (flags & (TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT)) {
    size_t p;
    while ((p = pic.find('t')) != std::string::npos) {
      size_t end = p;
      while (end < pic.size() && pic[end] == 't') ++end;
      size_t start = p;
      while (start > 0 && pic[start - 1] == ' ') --start;
      pic.erase(start, end - start);
    }
  }
  if (flags & TIME_FORCE24HOURFORMAT)
    for (auto& c : pic)
      if (c == 'h') c = 'H';
  return pic;
}

}  // namespace

int GetDateFormat(LCID, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR buffer, int size) {
  flags &= ~LOCALE_NOUSEROVERRIDE;
  if (size < 0 || (format && flags) || (flags & ~(DATE_SHORTDATE | DATE_LONGDATE | DATE_YEARMONTH))) {
    SetLastError(format && flags ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
    return 0;
  }
  SYSTEMTIME st;
  if (date) {
    st = *date;
    if (!ValidDate(st)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    // The day of the week is computed from the date, as the platform does.
    FILETIME ft;
    SYSTEMTIME norm = st;
    norm.wHour = norm.wMinute = norm.wSecond = norm.wMilliseconds = 0;
    SystemTimeToFileTime(&norm, &ft);
    SYSTEMTIME back;
    FileTimeToSystemTime(&ft, &back);
    st.wDayOfWeek = back.wDayOfWeek;
  } else {
    GetLocalTime(&st);
  }
  std::string pic = format ? format
                    : (flags & DATE_LONGDATE)   ? "dddd, MMMM d, yyyy"
                    : (flags & DATE_YEARMONTH)  ? "MMMM, yyyy"
                                                : "M/d/yyyy";
  return Deliver(Expand(pic, st, true), buffer, size);
}

int GetTimeFormat(LCID, DWORD flags, const SYSTEMTIME* time, LPCSTR format, LPSTR buffer, int size) {
  flags &= ~LOCALE_NOUSEROVERRIDE;
  if (size < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  SYSTEMTIME st;
  if (time) {
    st = *time;
    if (st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else {
    GetLocalTime(&st);
  }
  std::string pic = TrimTimePicture(format ? format : "h:mm:ss tt", flags);
  return Deliver(Expand(pic, st, false), buffer, size);
}
