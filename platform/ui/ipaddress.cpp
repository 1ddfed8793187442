// The IP address control ("SysIPAddress32"): four number fields of 0 to 255 separated by dots. Digits fill the
// field with the caret and move on after three; '.' or the right arrow moves to the next field; the window text
// is "a.b.c.d". IPN_FIELDCHANGED tells of a field the user changed, EN_CHANGE of any change of the text.
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/ui/ctlcommon.h"

namespace {

struct IpData {
  int value[4] = {-1, -1, -1, -1};  // -1: blank
  int low[4] = {0, 0, 0, 0}, high[4] = {255, 255, 255, 255};
  int field = 0;
  bool fresh = true;  // the next digit starts the field anew
  int digits = 0;     // digits typed into the field since it was entered
  bool all = false;   // the whole address is selected: the next key replaces it
  bool focus = false;
  HFONT font = nullptr;
};

std::string Text(const IpData* d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", std::max(d->value[0], 0), std::max(d->value[1], 0),
                std::max(d->value[2], 0), std::max(d->value[3], 0));
  return buf;
}

bool Blank(const IpData* d) { return std::all_of(std::begin(d->value), std::end(d->value), [](int v) { return v < 0; }); }

void Changed(HWND hwnd, IpData* d, int field, bool user) {
  InvalidateRect(hwnd, nullptr, TRUE);
  if (user) {
    NMIPADDRESS nm{};
    nm.iField = field;
    nm.iValue = d->value[field];
    kx::NotifyParentNm(hwnd, &nm.hdr, IPN_FIELDCHANGED);
    if (!IsWindow(hwnd)) return;
    // The parent may have changed the value it was told of.
    d->value[field] = nm.iValue < 0 ? -1 : std::clamp(nm.iValue, d->low[field], d->high[field]);
  }
  kx::NotifyParent(hwnd, EN_CHANGE);
}

// Parses "a.b.c.d" (blank fields allowed); false when the text is no address.
bool Parse(const char* text, int out[4]) {
  std::string s = text ? text : "";
  int k = 0;
  std::string cur;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == '.') {
      if (k > 3) return false;
      if (cur.empty()) out[k] = -1;
      else if (cur.size() > 3 || std::stoi(cur) > 255) return false;
      else out[k] = std::stoi(cur);
      ++k;
      cur.clear();
    } else if (s[i] >= '0' && s[i] <= '9') {
      cur += s[i];
    } else if (s[i] != ' ') {
      return false;
    }
  }
  for (; k < 4; ++k) out[k] = -1;
  return true;
}

RECT FieldRect(HWND hwnd, int field) {
  RECT c;
  GetClientRect(hwnd, &c);
  int w = c.right / 4;
  return RECT{field * w, 0, field == 3 ? c.right : (field + 1) * w, c.bottom};
}

void Paint(HWND hwnd, IpData* d, HDC hdc, const RECT& c) {
  HBRUSH bg = kx::ControlColors(hwnd, hdc, WM_CTLCOLOREDIT);
  FillRect(hdc, &c, IsWindowEnabled(hwnd) ? bg : GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  SetBkMode(hdc, TRANSPARENT);
  for (int f = 0; f < 4; ++f) {
    RECT r = FieldRect(hwnd, f);
    bool hi = d->focus && d->all;
    if (hi) FillRect(hdc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(hdc, GetSysColor(!IsWindowEnabled(hwnd) ? COLOR_GRAYTEXT : hi ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    if (d->value[f] >= 0) {
      std::string v = std::to_string(d->value[f]);
      DrawText(hdc, v.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    if (f < 3) {
      RECT dot{r.right - 3, r.top, r.right + 3, r.bottom};
      DrawText(hdc, ".", -1, &dot, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOCLIP);
    }
  }
  if (d->focus && !d->all) {
    // The caret: a line after the field's text.
    RECT r = FieldRect(hwnd, d->field);
    int x = (r.left + r.right) / 2 + (d->value[d->field] >= 0 ? kx::ctl::TextWidth(hwnd, d->font, std::to_string(d->value[d->field])) / 2 : 0);
    RECT caret{x, r.top + 2, x + 1, r.bottom - 2};
    FillRect(hdc, &caret, GetSysColorBrush(COLOR_WINDOWTEXT));
  }
  SelectObject(hdc, of);
}

void SetField(HWND hwnd, IpData* d, int field) {
  d->field = std::clamp(field, 0, 3);
  d->fresh = true;
  d->digits = 0;
  d->all = false;
  InvalidateRect(hwnd, nullptr, TRUE);
}

void TypeDigit(HWND hwnd, IpData* d, int digit) {
  if (d->all) {
    std::fill(std::begin(d->value), std::end(d->value), -1);
    d->all = false;
    d->field = 0;
    d->fresh = true;
  }
  int f = d->field;
  int v = d->fresh || d->value[f] < 0 ? digit : d->value[f] * 10 + digit;
  d->fresh = false;
  ++d->digits;
  // A value past the field's range becomes its highest value.
  if (v > d->high[f]) v = d->high[f];
  d->value[f] = v;
  Changed(hwnd, d, f, true);
  if (IsWindow(hwnd) && d->digits >= 3 && f < 3) SetField(hwnd, d, f + 1);
}

LRESULT CALLBACK IpProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT early = 0;
  IpData* d = kx::ctl::Lifetime<IpData>(hwnd, msg, wp, lp, &early);
  if (!d) return early;
  switch (msg) {
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
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      d->focus = msg == WM_SETFOCUS;
      if (!d->focus) d->all = false;
      InvalidateRect(hwnd, nullptr, TRUE);
      kx::NotifyParent(hwnd, d->focus ? EN_SETFOCUS : EN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      RECT c;
      GetClientRect(hwnd, &c);
      SetField(hwnd, d, GET_X_LPARAM(lp) * 4 / std::max<LONG>(c.right, 1));
      return 0;
    }
    case WM_CHAR:
      if (wp >= '0' && wp <= '9') {
        TypeDigit(hwnd, d, static_cast<int>(wp - '0'));
      } else if (wp == '.' || wp == ' ') {
        if (!d->fresh && d->field < 3) SetField(hwnd, d, d->field + 1);
      } else if (wp == '\b') {
        if (d->all) {
          std::fill(std::begin(d->value), std::end(d->value), -1);
          SetField(hwnd, d, 0);
          Changed(hwnd, d, 0, false);
        } else if (d->value[d->field] >= 0) {
          int f = d->field;
          d->value[f] = d->value[f] >= 10 ? d->value[f] / 10 : -1;
          d->fresh = d->value[f] < 0;
          Changed(hwnd, d, f, true);
        } else if (d->field > 0) {
          SetField(hwnd, d, d->field - 1);
          d->fresh = false;
        }
      }
      return 0;
    case WM_KEYDOWN:
      switch (wp) {
        case VK_LEFT: SetField(hwnd, d, d->field - 1); break;
        case VK_RIGHT: SetField(hwnd, d, d->field + 1); break;
        case VK_HOME: SetField(hwnd, d, 0); break;
        case VK_END: SetField(hwnd, d, 3); break;
        case VK_DELETE:
          d->value[d->field] = -1;
          Changed(hwnd, d, d->field, true);
          break;
        default: break;
      }
      return 0;
    case EM_SETSEL:
      // The whole address selected: the next key replaces it.
      d->all = wp == 0 && static_cast<int>(lp) == -1;
      if (!d->all) SetField(hwnd, d, 0);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_SETTEXT: {
      int v[4];
      if (!Parse(reinterpret_cast<LPCSTR>(lp), v)) return FALSE;
      std::copy(v, v + 4, d->value);
      Changed(hwnd, d, 0, false);
      return TRUE;
    }
    case WM_GETTEXT:
      return kx::ctl::CopyOut(Text(d), reinterpret_cast<char*>(lp), static_cast<int>(wp));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(Text(d).size());
    case IPM_CLEARADDRESS:
      std::fill(std::begin(d->value), std::end(d->value), -1);
      Changed(hwnd, d, 0, false);
      return 0;
    case IPM_SETADDRESS: {
      DWORD a = static_cast<DWORD>(lp);
      for (int f = 0; f < 4; ++f) d->value[f] = std::clamp(static_cast<int>((a >> (24 - 8 * f)) & 0xFF), d->low[f], d->high[f]);
      Changed(hwnd, d, 0, false);
      return TRUE;
    }
    case IPM_GETADDRESS: {
      DWORD a = 0;
      int n = 0;
      for (int f = 0; f < 4; ++f) {
        a = (a << 8) | static_cast<DWORD>(std::max(d->value[f], 0));
        if (d->value[f] >= 0) ++n;
      }
      if (lp) *reinterpret_cast<DWORD*>(lp) = a;
      return n;
    }
    case IPM_SETRANGE: {
      if (wp > 3) return FALSE;
      d->low[wp] = LOBYTE(LOWORD(lp));
      d->high[wp] = HIBYTE(LOWORD(lp));
      if (d->low[wp] > d->high[wp]) std::swap(d->low[wp], d->high[wp]);
      if (d->value[wp] >= 0) d->value[wp] = std::clamp(d->value[wp], d->low[wp], d->high[wp]);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case IPM_SETFOCUS:
      SetFocus(hwnd);
      SetField(hwnd, d, static_cast<int>(wp));
      return 0;
    case IPM_ISBLANK:
      return Blank(d) ? TRUE : FALSE;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterIpAddress() { kx::RegisterControlClass(WC_IPADDRESSA, IpProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, IDC_IBEAM); }

const bool kRegistered = kx::AddSystemClass(&RegisterIpAddress);

}  // namespace
