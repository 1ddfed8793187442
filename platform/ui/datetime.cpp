// The date-time picker ("SysDateTimePick32"): shows a date or a time in fields (short or long date, time, or a
// custom format) that the user steps with the arrow keys or types in digits; DTN_DATETIMECHANGE tells the parent
// of every change the user makes. With DTS_SHOWNONE a check box says whether there is a value at all.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ui/ctlcommon.h"
#include "platform/win32/wintime.h"

namespace {

enum class Kind { Literal, Year, Month, Day, Hour12, Hour24, Minute, Second, AmPm, Weekday };

struct Field {
  Kind kind = Kind::Literal;
  int width = 0;        // letters in the format: 1 or 2 digits, 3 or 4 for names, 2 or 4 for years
  std::string literal;  // Literal text
};

SYSTEMTIME Today() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  st.wMilliseconds = 0;
  return st;
}

struct DtData {
  SYSTEMTIME st = Today();
  bool valid = true;
  std::string format;  // custom format; empty: the style's
  std::vector<Field> fields;
  int sel = -1;  // selected editable field
  std::string typed;
  SYSTEMTIME min{}, max{};
  bool hasMin = false, hasMax = false;
  HFONT font = nullptr;
  bool focus = false;
};

DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                         "July",    "August",   "September", "October", "November", "December"};
const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysIn(int y, int m) {
  static const int kLen[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : kLen[(m - 1 + 12) % 12];
}
int WeekDay(int y, int m, int d) {
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  return (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
}

bool ValidTime(const SYSTEMTIME& st) {
  return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= DaysIn(st.wYear, st.wMonth) && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 &&
         st.wMilliseconds < 1000;
}

long long Key(const SYSTEMTIME& st) {
  return ((((static_cast<long long>(st.wYear) * 13 + st.wMonth) * 32 + st.wDay) * 24 + st.wHour) * 60 + st.wMinute) * 60 +
         st.wSecond;
}

std::string StyleFormat(DWORD style) {
  if ((style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT) return "h:mm:ss tt";
  if ((style & DTS_SHORTDATECENTURYFORMAT) == DTS_SHORTDATECENTURYFORMAT) return "M/d/yyyy";
  if (style & DTS_LONGDATEFORMAT) return "dddd, MMMM dd, yyyy";
  return "M/d/yyyy";
}

std::vector<Field> Parse(const std::string& f) {
  std::vector<Field> out;
  auto literal = [&](const std::string& s) {
    if (!out.empty() && out.back().kind == Kind::Literal) out.back().literal += s;
    else out.push_back(Field{Kind::Literal, 0, s});
  };
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    if (c == '\'') {
      size_t end = f.find('\'', i + 1);
      if (end == std::string::npos) end = f.size();
      literal(f.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    size_t n = 1;
    while (i + n < f.size() && f[i + n] == c) ++n;
    Kind k = Kind::Literal;
    switch (c) {
      case 'y': k = Kind::Year; break;
      case 'M': k = Kind::Month; break;
      case 'd': k = n >= 3 ? Kind::Weekday : Kind::Day; break;
      case 'h': k = Kind::Hour12; break;
      case 'H': k = Kind::Hour24; break;
      case 'm': k = Kind::Minute; break;
      case 's': k = Kind::Second; break;
      case 't': k = Kind::AmPm; break;
      default: break;
    }
    if (k == Kind::Literal) literal(f.substr(i, n));
    else out.push_back(Field{k, static_cast<int>(n), {}});
    i += n;
  }
  return out;
}

bool Editable(Kind k) { return k != Kind::Literal && k != Kind::Weekday; }

std::string FieldText(const Field& f, const SYSTEMTIME& st) {
  char buf[32];
  auto num = [&](int v, int width) {
    std::snprintf(buf, sizeof buf, width >= 2 ? "%02d" : "%d", v);
    return std::string(buf);
  };
  switch (f.kind) {
    case Kind::Literal: return f.literal;
    case Kind::Year:
      if (f.width <= 2) return num(st.wYear % 100, 2);
      std::snprintf(buf, sizeof buf, "%04d", st.wYear);
      return buf;
    case Kind::Month:
      if (f.width == 3) return std::string(kMonths[st.wMonth - 1]).substr(0, 3);
      if (f.width >= 4) return kMonths[st.wMonth - 1];
      return num(st.wMonth, f.width);
    case Kind::Day: return num(st.wDay, f.width);
    case Kind::Weekday: {
      std::string w = kDays[WeekDay(st.wYear, st.wMonth, st.wDay)];
      return f.width == 3 ? w.substr(0, 3) : w;
    }
    case Kind::Hour12: return num(st.wHour % 12 == 0 ? 12 : st.wHour % 12, f.width);
    case Kind::Hour24: return num(st.wHour, f.width);
    case Kind::Minute: return num(st.wMinute, f.width);
    case Kind::Second: return num(st.wSecond, f.width);
    case Kind::AmPm: return f.width == 1 ? (st.wHour < 12 ? "A" : "P") : (st.wHour < 12 ? "AM" : "PM");
  }
  return std::string();
}

std::string Display(DtData* d) {
  std::string s;
  for (const Field& f : d->fields) s += FieldText(f, d->st);
  return s;
}

void Reformat(HWND hwnd, DtData* d) {
  d->fields = Parse(d->format.empty() ? StyleFormat(Style(hwnd)) : d->format);
  d->sel = -1;
  d->typed.clear();
  InvalidateRect(hwnd, nullptr, TRUE);
}

int FirstEditable(DtData* d, int from, int step) {
  for (int i = from; i >= 0 && i < static_cast<int>(d->fields.size()); i += step)
    if (Editable(d->fields[static_cast<size_t>(i)].kind)) return i;
  return -1;
}

int CheckWidth(HWND hwnd) { return (Style(hwnd) & DTS_SHOWNONE) ? 16 : 0; }

RECT ButtonRect(HWND hwnd) {
  RECT c;
  GetClientRect(hwnd, &c);
  return RECT{c.right - GetSystemMetrics(SM_CXVSCROLL), 0, c.right, c.bottom};
}

// The x extents of each field as drawn.
std::vector<std::pair<int, int>> FieldSpans(HWND hwnd, DtData* d) {
  std::vector<std::pair<int, int>> out;
  HDC hdc = GetDC(hwnd);
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  int x = 3 + CheckWidth(hwnd);
  for (const Field& f : d->fields) {
    std::string t = FieldText(f, d->st);
    SIZE s{0, 0};
    GetTextExtentPoint32(hdc, t.c_str(), static_cast<int>(t.size()), &s);
    out.emplace_back(x, x + s.cx);
    x += s.cx;
  }
  SelectObject(hdc, of);
  ReleaseDC(hwnd, hdc);
  return out;
}

void Changed(HWND hwnd, DtData* d) {
  d->st.wDayOfWeek = static_cast<WORD>(WeekDay(d->st.wYear, d->st.wMonth, d->st.wDay));
  InvalidateRect(hwnd, nullptr, TRUE);
  NMDATETIMECHANGE nm{};
  nm.dwFlags = d->valid ? GDT_VALID : GDT_NONE;
  nm.st = d->st;
  kx::NotifyParentNm(hwnd, &nm.nmhdr, DTN_DATETIMECHANGE);
}

// Applies a new value of the selected field, kept within the allowed range. Stepping wraps around within the
// field; a typed value is held to the field's bounds.
void SetField(HWND hwnd, DtData* d, Kind k, int v, bool wrap = true) {
  SYSTEMTIME t = d->st;
  if (!wrap) {
    switch (k) {
      case Kind::Month: v = std::clamp(v, 1, 12); break;
      case Kind::Day: v = std::clamp(v, 1, DaysIn(t.wYear, t.wMonth)); break;
      case Kind::Hour12: v = std::clamp(v, 1, 12); break;
      case Kind::Hour24: v = std::clamp(v, 0, 23); break;
      case Kind::Minute:
      case Kind::Second: v = std::clamp(v, 0, 59); break;
      default: break;
    }
  }
  switch (k) {
    case Kind::Year: t.wYear = static_cast<WORD>(std::clamp(v, 1601, 9999)); break;
    case Kind::Month: t.wMonth = static_cast<WORD>((v - 1 + 1200) % 12 + 1); break;
    case Kind::Day: {
      int n = DaysIn(t.wYear, t.wMonth);
      t.wDay = static_cast<WORD>((v - 1 + n * 100) % n + 1);
      break;
    }
    case Kind::Hour12: {
      int h = (v - 1 + 1200) % 12 + 1;
      t.wHour = static_cast<WORD>((h % 12) + (t.wHour >= 12 ? 12 : 0));
      break;
    }
    case Kind::Hour24: t.wHour = static_cast<WORD>((v + 2400) % 24); break;
    case Kind::Minute: t.wMinute = static_cast<WORD>((v + 6000) % 60); break;
    case Kind::Second: t.wSecond = static_cast<WORD>((v + 6000) % 60); break;
    case Kind::AmPm: t.wHour = static_cast<WORD>((t.wHour % 12) + (v ? 12 : 0)); break;
    default: return;
  }
  t.wDay = static_cast<WORD>(std::min<int>(t.wDay, DaysIn(t.wYear, t.wMonth)));
  if (d->hasMin && Key(t) < Key(d->min)) t = d->min;
  if (d->hasMax && Key(t) > Key(d->max)) t = d->max;
  if (Key(t) == Key(d->st) && d->valid) {
    InvalidateRect(hwnd, nullptr, TRUE);
    return;
  }
  d->st = t;
  d->valid = true;
  Changed(hwnd, d);
}

int FieldValue(DtData* d, Kind k) {
  switch (k) {
    case Kind::Year: return d->st.wYear;
    case Kind::Month: return d->st.wMonth;
    case Kind::Day: return d->st.wDay;
    case Kind::Hour12: return d->st.wHour % 12 == 0 ? 12 : d->st.wHour % 12;
    case Kind::Hour24: return d->st.wHour;
    case Kind::Minute: return d->st.wMinute;
    case Kind::Second: return d->st.wSecond;
    case Kind::AmPm: return d->st.wHour >= 12 ? 1 : 0;
    default: return 0;
  }
}

int DigitsOf(Kind k, int width) { return k == Kind::Year ? (width <= 2 ? 2 : 4) : 2; }

void Select(HWND hwnd, DtData* d, int i) {
  if (i < 0) return;
  d->sel = i;
  d->typed.clear();
  InvalidateRect(hwnd, nullptr, TRUE);
}

void TypeChar(HWND hwnd, DtData* d, char c) {
  if (d->sel < 0) d->sel = FirstEditable(d, 0, 1);
  if (d->sel < 0) return;
  const Field f = d->fields[static_cast<size_t>(d->sel)];
  if (f.kind == Kind::AmPm) {
    if (c == 'a' || c == 'A') SetField(hwnd, d, f.kind, 0);
    if (c == 'p' || c == 'P') SetField(hwnd, d, f.kind, 1);
    return;
  }
  if (c < '0' || c > '9') return;
  d->typed += c;
  int v = std::atoi(d->typed.c_str());
  int digits = DigitsOf(f.kind, f.width);
  bool full = static_cast<int>(d->typed.size()) >= digits;
  if (f.kind == Kind::Year) {
    if (full) {
      if (digits == 2) v += v < 50 ? 2000 : 1900;
      SetField(hwnd, d, f.kind, v, false);
    }
  } else if (v > 0 || f.kind == Kind::Hour24 || f.kind == Kind::Minute || f.kind == Kind::Second) {
    SetField(hwnd, d, f.kind, v, false);
  }
  if (full) {
    // A complete field moves on to the next one.
    int next = FirstEditable(d, d->sel + 1, 1);
    d->typed.clear();
    if (next >= 0) d->sel = next;
    InvalidateRect(hwnd, nullptr, TRUE);
  }
}

void Paint(HWND hwnd, DtData* d, HDC hdc, const RECT& c) {
  FillRect(hdc, &c, GetSysColorBrush(IsWindowEnabled(hwnd) ? COLOR_WINDOW : COLOR_BTNFACE));
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  SetBkMode(hdc, TRANSPARENT);
  if (Style(hwnd) & DTS_SHOWNONE) {
    RECT b{3, (c.bottom - 13) / 2, 16, (c.bottom - 13) / 2 + 13};
    DrawFrameControl(hdc, &b, DFC_BUTTON, DFCS_BUTTONCHECK | (d->valid ? DFCS_CHECKED : 0));
  }
  std::vector<std::pair<int, int>> spans = FieldSpans(hwnd, d);
  bool grey = !IsWindowEnabled(hwnd) || !d->valid;
  for (size_t i = 0; i < d->fields.size(); ++i) {
    RECT r{spans[i].first, 0, spans[i].second, c.bottom};
    std::string t = FieldText(d->fields[i], d->st);
    bool hi = d->focus && static_cast<int>(i) == d->sel && !grey;
    if (hi) FillRect(hdc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(hdc, GetSysColor(grey ? COLOR_GRAYTEXT : hi ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawText(hdc, t.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT | DT_NOCLIP);
  }
  RECT b = ButtonRect(hwnd);
  if ((Style(hwnd) & DTS_UPDOWN) || (Style(hwnd) & DTS_TIMEFORMAT) == DTS_TIMEFORMAT) {
    RECT up = b, down = b;
    up.bottom = down.top = (b.top + b.bottom) / 2;
    DrawFrameControl(hdc, &up, DFC_SCROLL, DFCS_SCROLLUP);
    DrawFrameControl(hdc, &down, DFC_SCROLL, DFCS_SCROLLDOWN);
  } else {
    DrawFrameControl(hdc, &b, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
  }
  SelectObject(hdc, of);
}

LRESULT CALLBACK DateTimeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT early = 0;
  DtData* d = kx::ctl::Lifetime<DtData>(hwnd, msg, wp, lp, &early);
  if (!d) return early;
  switch (msg) {
    case WM_CREATE:
      Reformat(hwnd, d);
      return 0;
    case WM_STYLECHANGED:
      Reformat(hwnd, d);
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_GETTEXT:
      return kx::ctl::CopyOut(Display(d), reinterpret_cast<char*>(lp), static_cast<int>(wp));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(Display(d).size());
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
      d->focus = true;
      if (d->sel < 0) d->sel = FirstEditable(d, 0, 1);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_KILLFOCUS:
      d->focus = false;
      d->typed.clear();
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if ((Style(hwnd) & DTS_SHOWNONE) && p.x < CheckWidth(hwnd)) {
        d->valid = !d->valid;
        Changed(hwnd, d);
        return 0;
      }
      RECT b = ButtonRect(hwnd);
      if (PtInRect(&b, p)) {
        if (d->sel >= 0 && ((Style(hwnd) & DTS_UPDOWN) || (Style(hwnd) & DTS_TIMEFORMAT) == DTS_TIMEFORMAT)) {
          Kind k = d->fields[static_cast<size_t>(d->sel)].kind;
          SetField(hwnd, d, k, FieldValue(d, k) + (p.y < (b.top + b.bottom) / 2 ? 1 : -1));
        }
        return 0;
      }
      std::vector<std::pair<int, int>> spans = FieldSpans(hwnd, d);
      for (size_t i = 0; i < spans.size(); ++i)
        if (p.x >= spans[i].first && p.x < spans[i].second) {
          int e = Editable(d->fields[i].kind) ? static_cast<int>(i) : FirstEditable(d, static_cast<int>(i), 1);
          Select(hwnd, d, e);
          return 0;
        }
      return 0;
    }
    case WM_KEYDOWN: {
      switch (wp) {
        case VK_LEFT:
          Select(hwnd, d, FirstEditable(d, d->sel - 1, -1) >= 0 ? FirstEditable(d, d->sel - 1, -1) : d->sel);
          return 0;
        case VK_RIGHT:
          Select(hwnd, d, FirstEditable(d, d->sel + 1, 1) >= 0 ? FirstEditable(d, d->sel + 1, 1) : d->sel);
          return 0;
        case VK_HOME:
          Select(hwnd, d, FirstEditable(d, 0, 1));
          return 0;
        case VK_END:
          Select(hwnd, d, FirstEditable(d, static_cast<int>(d->fields.size()) - 1, -1));
          return 0;
        case VK_UP:
        case VK_DOWN:
        case VK_ADD:
        case VK_SUBTRACT:
          if (d->sel >= 0) {
            Kind k = d->fields[static_cast<size_t>(d->sel)].kind;
            d->typed.clear();
            int step = (wp == VK_UP || wp == VK_ADD) ? 1 : -1;
            SetField(hwnd, d, k, k == Kind::AmPm ? 1 - FieldValue(d, k) : FieldValue(d, k) + step);
          }
          return 0;
        case VK_SPACE:
          if (Style(hwnd) & DTS_SHOWNONE) {
            d->valid = !d->valid;
            Changed(hwnd, d);
          }
          return 0;
        default:
          return 0;
      }
    }
    case WM_CHAR:
      if (wp >= 0x20 && wp < 0x7F && wp != ' ') TypeChar(hwnd, d, static_cast<char>(wp));
      return 0;
    case DTM_GETSYSTEMTIME: {
      auto* out = reinterpret_cast<SYSTEMTIME*>(lp);
      if (!out) return GDT_ERROR;
      if (!d->valid) return GDT_NONE;
      *out = d->st;
      return GDT_VALID;
    }
    case DTM_SETSYSTEMTIME: {
      auto* in = reinterpret_cast<const SYSTEMTIME*>(lp);
      if (wp == GDT_NONE) {
        if (!(Style(hwnd) & DTS_SHOWNONE)) return FALSE;
        d->valid = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      if (wp != GDT_VALID || !in || !ValidTime(*in)) return FALSE;
      d->st = *in;
      d->st.wDayOfWeek = static_cast<WORD>(WeekDay(d->st.wYear, d->st.wMonth, d->st.wDay));
      d->valid = true;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case DTM_GETRANGE: {
      auto* out = reinterpret_cast<SYSTEMTIME*>(lp);
      if (!out) return 0;
      DWORD r = 0;
      if (d->hasMin) {
        out[0] = d->min;
        r |= GDTR_MIN;
      }
      if (d->hasMax) {
        out[1] = d->max;
        r |= GDTR_MAX;
      }
      return r;
    }
    case DTM_SETRANGE: {
      auto* in = reinterpret_cast<const SYSTEMTIME*>(lp);
      if (!in) return FALSE;
      d->hasMin = (wp & GDTR_MIN) && ValidTime(in[0]);
      d->hasMax = (wp & GDTR_MAX) && ValidTime(in[1]);
      if (d->hasMin) d->min = in[0];
      if (d->hasMax) d->max = in[1];
      if (d->hasMin && Key(d->st) < Key(d->min)) d->st = d->min;
      if (d->hasMax && Key(d->st) > Key(d->max)) d->st = d->max;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case DTM_SETFORMATA:
      d->format = kx::ctl::TextOf(reinterpret_cast<LPCSTR>(lp));
      Reformat(hwnd, d);
      return TRUE;
    case DTM_GETMONTHCAL:
      return 0;
    case DTM_SETMCCOLOR:
    case DTM_GETMCCOLOR:
      return static_cast<LRESULT>(CLR_DEFAULT);
    case DTM_SETMCFONT:
    case DTM_GETMCFONT:
      return 0;
    case kx::ctl::kDtpGetFields: {
      std::string kinds;
      for (const Field& f : d->fields) {
        switch (f.kind) {
          case Kind::Year: kinds += 'y'; break;
          case Kind::Month: kinds += 'M'; break;
          case Kind::Day: kinds += 'd'; break;
          case Kind::Hour12: kinds += 'h'; break;
          case Kind::Hour24: kinds += 'H'; break;
          case Kind::Minute: kinds += 'm'; break;
          case Kind::Second: kinds += 's'; break;
          case Kind::AmPm: kinds += 't'; break;
          default: break;
        }
      }
      return kx::ctl::CopyOut(kinds, reinterpret_cast<char*>(lp), static_cast<int>(wp));
    }
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterDateTime() { kx::RegisterControlClass(DATETIMEPICK_CLASSA, DateTimeProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

const bool kRegistered = kx::AddSystemClass(&RegisterDateTime);

}  // namespace
