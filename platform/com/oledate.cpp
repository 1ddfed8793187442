// OLE Automation dates and their en-US texts.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/com/oleauto.h"
#include "platform/win32/textconv.h"

namespace {

constexpr long kDay0FromUnixEpoch = 25569;  // 1899-12-30 is 25569 days before 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool IsLeap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(long y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The date as day number (days since 1899-12-30) and seconds of the day, rounded to the second.
bool Split(DATE v, long& day, long& seconds) {
  if (std::isnan(v) || v <= -657435.0 || v >= 2958466.0) return false;
  double whole = std::trunc(v);
  double frac = std::fabs(v - whole);
  day = static_cast<long>(whole);
  seconds = std::lround(frac * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += 1;
  }
  return true;
}

DATE Join(long day, long seconds) {
  double frac = seconds / 86400.0;
  return day >= 0 ? day + frac : day - frac;
}

std::string TimeText(long seconds) {
  long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld %s", h % 12 == 0 ? 12 : h % 12, m, s, h < 12 ? "AM" : "PM");
  return buf;
}

// ---- Parsing ----

struct Token {
  enum Kind { Number, Word, Sep } kind;
  long value = 0;
  int digits = 0;
  std::string text;  // upper case word, or the separator character
};

const char* const kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                               "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const kWeekdays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};

// A month or weekday name, in full or cut to at least three letters ("Sep", "Sept").
int MatchName(const std::string& w, const char* const* names, int count) {
  if (w.size() < 3) return -1;
  for (int i = 0; i < count; ++i) {
    std::string full = names[i];
    if (w.size() <= full.size() && full.compare(0, w.size(), w) == 0) return i;
  }
  return -1;
}

bool Tokenize(const std::string& s, std::vector<Token>& out) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isdigit(c)) {
      Token t{Token::Number, 0, 0, {}};
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (t.digits < 9) t.value = t.value * 10 + (s[i] - '0');
        ++t.digits;
        ++i;
      }
      if (t.digits > 9) return false;
      out.push_back(t);
    } else if (std::isalpha(c)) {
      Token t{Token::Word, 0, 0, {}};
      while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) {
        t.text += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
        ++i;
      }
      out.push_back(t);
    } else if (c == ' ' || c == '\t') {
      ++i;
      if (!out.empty() && out.back().kind != Token::Sep) out.push_back(Token{Token::Sep, 0, 0, " "});
    } else if (c == '/' || c == '-' || c == '.' || c == ':' || c == ',') {
      if (!out.empty() && out.back().kind == Token::Sep && out.back().text == " ") out.pop_back();
      out.push_back(Token{Token::Sep, 0, 0, std::string(1, static_cast<char>(c))});
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

long CurrentYear() {
  time_t now = std::time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  return t.tm_year + 1900;
}

long ExpandYear(const Token& t) { return t.digits <= 2 ? (t.value < 30 ? 2000 + t.value : 1900 + t.value) : t.value; }

bool ParseDate(const std::string& text, bool& hasDate, long& y, long& mo, long& d, bool& hasTime, long& seconds) {
  std::vector<Token> toks;
  if (!Tokenize(text, toks)) return false;
  std::vector<bool> used(toks.size(), false);
  hasTime = false;
  seconds = 0;

  // Time: H:MM[:SS[.fff]] [AM|PM], or H AM|PM.
  for (size_t i = 0; i < toks.size() && !hasTime; ++i) {
    if (toks[i].kind != Token::Number) continue;
    long h = toks[i].value, m = 0, s = 0;
    size_t j = i + 1;
    bool colon = j + 1 < toks.size() && toks[j].text == ":" && toks[j + 1].kind == Token::Number;
    bool bareHour = false;
    if (colon) {
      m = toks[j + 1].value;
      j += 2;
      if (j + 1 < toks.size() && toks[j].text == ":" && toks[j + 1].kind == Token::Number) {
        s = toks[j + 1].value;
        j += 2;
        if (j + 1 < toks.size() && toks[j].text == "." && toks[j + 1].kind == Token::Number) {
          if (toks[j + 1].value * 2 >= std::pow(10, toks[j + 1].digits)) ++s;  // round the fraction
          j += 2;
        }
      }
    } else {
      size_t k = (j < toks.size() && toks[j].text == " ") ? j + 1 : j;
      bareHour = k < toks.size() && toks[k].kind == Token::Word && (toks[k].text == "AM" || toks[k].text == "PM");
      if (!bareHour) continue;
    }
    size_t k = (j < toks.size() && toks[j].text == " ") ? j + 1 : j;
    int ampm = 0;
    if (k < toks.size() && toks[k].kind == Token::Word && (toks[k].text == "AM" || toks[k].text == "PM")) {
      ampm = toks[k].text == "AM" ? 1 : 2;
      for (size_t x = j; x <= k; ++x) used[x] = true;
      j = k + 1;
    }
    if (ampm) {
      if (h < 1 || h > 12) return false;
      h = h % 12 + (ampm == 2 ? 12 : 0);
    }
    if (h > 23 || m > 59 || s > 60) return false;
    if (s == 60) s = 59;
    for (size_t x = i; x < j; ++x) used[x] = true;
    if (i > 0 && toks[i - 1].kind == Token::Sep) used[i - 1] = true;
    seconds = h * 3600 + m * 60 + s;
    hasTime = true;
  }

  // Date: what is left.
  std::vector<Token> nums;
  int month = -1;
  int monthPos = -1;  // numbers seen before the month name
  for (size_t i = 0; i < toks.size(); ++i) {
    if (used[i]) continue;
    const Token& t = toks[i];
    if (t.kind == Token::Number) {
      nums.push_back(t);
    } else if (t.kind == Token::Word) {
      int mi = MatchName(t.text, kMonths, 12);
      if (mi >= 0 && month < 0) {
        month = mi + 1;
        monthPos = static_cast<int>(nums.size());
      } else if (MatchName(t.text, kWeekdays, 7) < 0 && t.text != "T") {
        return false;
      }
    } else if (t.text == ":") {
      return false;
    }
  }
  hasDate = !nums.empty() || month > 0;
  if (!hasDate) return hasTime;
  if (nums.size() > 3) return false;

  if (month > 0) {
    mo = month;
    if (nums.size() == 2) {
      d = nums[0].value;
      y = ExpandYear(nums[1]);
      if (monthPos == 0 && nums[0].digits >= 3) {  // "January 2024 5" is not a date
        return false;
      }
    } else if (nums.size() == 1) {
      if (nums[0].digits >= 3 || nums[0].value > 31) {
        d = 1;
        y = ExpandYear(nums[0]);
      } else {
        d = nums[0].value;
        y = CurrentYear();
      }
    } else {
      return false;
    }
  } else if (nums.size() == 3) {
    if (nums[0].digits >= 3) {  // ISO order
      y = nums[0].value;
      mo = nums[1].value;
      d = nums[2].value;
    } else {
      mo = nums[0].value;
      d = nums[1].value;
      y = ExpandYear(nums[2]);
    }
  } else if (nums.size() == 2) {
    mo = nums[0].value;
    d = nums[1].value;
    y = CurrentYear();
  } else {
    return false;
  }
  return true;
}

}  // namespace

namespace kx {

double OleDateToLinear(DATE d) {
  if (d >= 0) return d;
  double whole = std::ceil(d);
  return whole - (d - whole);
}

DATE OleDateFromLinear(double x) {
  if (x >= 0) return x;
  double whole = std::floor(x);
  return 2 * whole - x;
}

}  // namespace kx

extern "C" {

INT SystemTimeToVariantTime(const SYSTEMTIME* st, DOUBLE* out) {
  if (!st || !out) return FALSE;
  long y = st->wYear;
  if (y < 100 || y > 9999 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
      st->wDay > DaysInMonth(y, st->wMonth) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59)
    return FALSE;
  long day = DaysFromCivil(y, st->wMonth, st->wDay) + kDay0FromUnixEpoch;
  *out = Join(day, st->wHour * 3600L + st->wMinute * 60L + st->wSecond);
  return TRUE;
}

INT VariantTimeToSystemTime(DOUBLE v, SYSTEMTIME* st) {
  long day, seconds;
  if (!st || !Split(v, day, seconds)) return FALSE;
  long y;
  unsigned m, d;
  CivilFromDays(day - kDay0FromUnixEpoch, y, m, d);
  if (y < 100 || y > 9999) return FALSE;
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>(((day + 6) % 7 + 7) % 7);  // day 0 was a Saturday
  st->wHour = static_cast<WORD>(seconds / 3600);
  st->wMinute = static_cast<WORD>(seconds / 60 % 60);
  st->wSecond = static_cast<WORD>(seconds % 60);
  st->wMilliseconds = 0;
  return TRUE;
}

HRESULT VarBstrFromDate(DATE dateIn, LCID, ULONG flags, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  SYSTEMTIME st;
  long day, seconds;
  if (!VariantTimeToSystemTime(dateIn, &st) || !Split(dateIn, day, seconds)) return E_INVALIDARG;
  char date[32];
  std::snprintf(date, sizeof date, "%u/%u/%u", st.wMonth, st.wDay, st.wYear);
  std::string text;
  if (flags & VAR_TIMEVALUEONLY) {
    text = TimeText(seconds);
  } else if (flags & VAR_DATEVALUEONLY) {
    text = date;
  } else if (day == 0) {
    text = TimeText(seconds);
  } else if (seconds == 0) {
    text = date;
  } else {
    text = std::string(date) + " " + TimeText(seconds);
  }
  std::u16string w(text.begin(), text.end());
  *out = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT VarDateFromStr(LPCOLESTR strIn, LCID, ULONG flags, DATE* out) {
  if (!strIn || !out) return E_INVALIDARG;
  size_t n = 0;
  while (strIn[n]) ++n;
  std::string text = kx::Utf16ToUtf8(strIn, n);
  bool hasDate = false, hasTime = false;
  long y = 1899, mo = 12, d = 30, seconds = 0;
  if (!ParseDate(text, hasDate, y, mo, d, hasTime, seconds)) return DISP_E_TYPEMISMATCH;
  if (!hasDate || (flags & VAR_TIMEVALUEONLY)) {
    y = 1899;
    mo = 12;
    d = 30;
  }
  if (flags & VAR_DATEVALUEONLY) seconds = 0;
  if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > static_cast<long>(DaysInMonth(y, mo)))
    return DISP_E_TYPEMISMATCH;
  long day = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) + kDay0FromUnixEpoch;
  *out = Join(day, seconds);
  return S_OK;
}

}  // extern "C"
