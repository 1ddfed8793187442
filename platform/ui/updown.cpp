// The up-down control ("msctls_updown32"): two arrow buttons that step a position within a range, with
// UDN_DELTAPOS (the parent may refuse) and WM_VSCROLL / WM_HSCROLL to the parent; with UDS_SETBUDDYINT the
// buddy window shows the position, and with UDS_ARROWKEYS its arrow keys step it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/access.h"
#include "platform/ui/ctlcommon.h"

namespace {

struct UdData {
  int lower = 100, upper = 0;  // the platform's default range runs downwards
  int pos = 0;
  int base = 10;
  HWND buddy = nullptr;
  WNDPROC buddyProc = nullptr;
  std::vector<UDACCEL> accel{{0, 1}};
  int pressed = 0;  // 1 up, -1 down
};

UdData* Data(HWND hwnd) { return kx::ControlData<UdData>(hwnd); }
DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

constexpr char kBuddyProp[] = "KxUpDownOwner";

int Clamp(UdData* d, long long v) {
  int lo = std::min(d->lower, d->upper), hi = std::max(d->lower, d->upper);
  return static_cast<int>(std::clamp<long long>(v, lo, hi));
}

void ShowInBuddy(HWND hwnd, UdData* d) {
  if (!d->buddy || !(Style(hwnd) & UDS_SETBUDDYINT)) return;
  char buf[40];
  if (d->base == 16) {
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(d->pos));
  } else {
    std::snprintf(buf, sizeof buf, "%d", d->pos);
    // Thousands separators unless UDS_NOTHOUSANDS.
    if (!(Style(hwnd) & UDS_NOTHOUSANDS)) {
      std::string s = buf, out;
      size_t start = s[0] == '-' ? 1 : 0;
      size_t digits = s.size() - start;
      out = s.substr(0, start);
      for (size_t i = 0; i < digits; ++i) {
        if (i && (digits - i) % 3 == 0) out += ',';
        out += s[start + i];
      }
      std::snprintf(buf, sizeof buf, "%s", out.c_str());
    }
  }
  SetWindowText(d->buddy, buf);
}

// The position the buddy shows, when it shows a number; false when its text is no number.
bool ReadBuddy(HWND hwnd, UdData* d) {
  if (!d->buddy || !(Style(hwnd) & UDS_SETBUDDYINT)) return true;
  char buf[64] = {0};
  GetWindowText(d->buddy, buf, sizeof buf);
  std::string s;
  for (char c : std::string(buf))
    if (c != ',' && c != ' ') s += c;
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, d->base == 16 ? 16 : 10);
  if (!end || *end) return false;
  d->pos = Clamp(d, v);
  return true;
}

void Step(HWND hwnd, UdData* d, int direction) {
  ReadBuddy(hwnd, d);
  int inc = static_cast<int>(d->accel.empty() ? 1 : d->accel[0].nInc);
  // The up arrow moves towards the upper bound.
  int delta = (d->upper >= d->lower ? 1 : -1) * direction * inc;
  NMUPDOWN nm{};
  nm.iPos = d->pos;
  nm.iDelta = delta;
  if (kx::NotifyParentNm(hwnd, &nm.hdr, UDN_DELTAPOS)) return;
  if (!IsWindow(hwnd)) return;
  long long target = static_cast<long long>(d->pos) + nm.iDelta;
  int lo = std::min(d->lower, d->upper), hi = std::max(d->lower, d->upper);
  if (Style(hwnd) & UDS_WRAP) {
    if (target > hi) target = lo;
    else if (target < lo) target = hi;
  }
  int now = Clamp(d, target);
  if (now == d->pos) return;
  d->pos = now;
  ShowInBuddy(hwnd, d);
  kx::ui::Announce(hwnd, kx::ui::Access::Value);
  HWND parent = GetParent(hwnd);
  UINT scroll = (Style(hwnd) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
  if (parent) {
    SendMessage(parent, scroll, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(d->pos)), reinterpret_cast<LPARAM>(hwnd));
    SendMessage(parent, scroll, MAKEWPARAM(SB_ENDSCROLL, static_cast<WORD>(d->pos)), reinterpret_cast<LPARAM>(hwnd));
  }
}

LRESULT CALLBACK BuddySubclass(HWND buddy, UINT msg, WPARAM wp, LPARAM lp) {
  HWND ud = static_cast<HWND>(GetProp(buddy, kBuddyProp));
  UdData* d = ud ? Data(ud) : nullptr;
  WNDPROC base = d ? d->buddyProc : nullptr;
  if (!base) return DefWindowProc(buddy, msg, wp, lp);
  if (msg == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN)) {
    Step(ud, d, wp == VK_UP ? 1 : -1);
    return 0;
  }
  if (msg == WM_GETDLGCODE) return CallWindowProc(base, buddy, msg, wp, lp) | DLGC_WANTARROWS;
  return CallWindowProc(base, buddy, msg, wp, lp);
}

void Unhook(UdData* d) {
  if (d->buddy && d->buddyProc && IsWindow(d->buddy)) {
    SetWindowLongPtr(d->buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(d->buddyProc));
    RemoveProp(d->buddy, kBuddyProp);
  }
  d->buddyProc = nullptr;
}

HWND SetBuddy(HWND hwnd, UdData* d, HWND buddy) {
  HWND old = d->buddy;
  Unhook(d);
  d->buddy = buddy;
  if (!buddy) return old;
  DWORD style = Style(hwnd);
  if (style & UDS_ARROWKEYS) {
    SetProp(buddy, kBuddyProp, hwnd);
    d->buddyProc = reinterpret_cast<WNDPROC>(SetWindowLongPtr(buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BuddySubclass)));
  }
  if (style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) {
    // The control takes its place inside the buddy's right or left edge.
    RECT br;
    GetWindowRect(buddy, &br);
    HWND parent = GetParent(buddy);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&br), 2);
    RECT me;
    GetWindowRect(hwnd, &me);
    int w = std::max(static_cast<int>(me.right - me.left), GetSystemMetrics(SM_CXVSCROLL));
    if (style & UDS_ALIGNRIGHT) {
      SetWindowPos(buddy, nullptr, 0, 0, br.right - br.left - w + 2, br.bottom - br.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      SetWindowPos(hwnd, nullptr, br.right - w, br.top, w, br.bottom - br.top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      SetWindowPos(buddy, nullptr, br.left + w - 2, br.top, br.right - br.left - w + 2, br.bottom - br.top, SWP_NOZORDER | SWP_NOACTIVATE);
      SetWindowPos(hwnd, nullptr, br.left, br.top, w, br.bottom - br.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  ShowInBuddy(hwnd, d);
  return old;
}

void Paint(HWND hwnd, UdData* d, HDC hdc, const RECT& c) {
  bool horz = Style(hwnd) & UDS_HORZ;
  RECT a = c, b = c;
  if (horz) {
    a.right = b.left = (c.left + c.right) / 2;
  } else {
    a.bottom = b.top = (c.top + c.bottom) / 2;
  }
  UINT inactive = IsWindowEnabled(hwnd) ? 0 : DFCS_INACTIVE;
  // For a horizontal control the left button steps down.
  DrawFrameControl(hdc, &a, DFC_SCROLL, (horz ? DFCS_SCROLLLEFT : DFCS_SCROLLUP) | inactive |
                                            ((horz ? d->pressed < 0 : d->pressed > 0) ? DFCS_PUSHED : 0));
  DrawFrameControl(hdc, &b, DFC_SCROLL, (horz ? DFCS_SCROLLRIGHT : DFCS_SCROLLDOWN) | inactive |
                                            ((horz ? d->pressed > 0 : d->pressed < 0) ? DFCS_PUSHED : 0));
}

LRESULT CALLBACK UpDownProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  UdData* d = Data(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      kx::SetControlData(hwnd, new UdData());
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_NCDESTROY:
      if (d) Unhook(d);
      delete d;
      kx::SetControlData<UdData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE:
      if (Style(hwnd) & UDS_AUTOBUDDY) SetBuddy(hwnd, d, GetWindow(hwnd, GW_HWNDPREV));
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      RECT c;
      GetClientRect(hwnd, &c);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      bool horz = Style(hwnd) & UDS_HORZ;
      bool first = horz ? p.x < (c.left + c.right) / 2 : p.y < (c.top + c.bottom) / 2;
      int dir = horz ? (first ? -1 : 1) : (first ? 1 : -1);
      d->pressed = dir;
      InvalidateRect(hwnd, nullptr, TRUE);
      if (d->buddy && IsWindowVisible(d->buddy)) SetFocus(d->buddy);
      SetCapture(hwnd);
      Step(hwnd, d, dir);
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (d->pressed) {
        d->pressed = 0;
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      if (msg == WM_LBUTTONUP && GetCapture() == hwnd) ReleaseCapture();
      return 0;
    case UDM_SETRANGE:
      d->upper = static_cast<short>(LOWORD(lp));
      d->lower = static_cast<short>(HIWORD(lp));
      d->pos = Clamp(d, d->pos);
      return 0;
    case UDM_GETRANGE:
      return MAKELONG(static_cast<WORD>(d->upper), static_cast<WORD>(d->lower));
    case UDM_SETRANGE32:
      d->lower = static_cast<int>(wp);
      d->upper = static_cast<int>(lp);
      d->pos = Clamp(d, d->pos);
      return 0;
    case UDM_GETRANGE32:
      if (wp) *reinterpret_cast<int*>(wp) = d->lower;
      if (lp) *reinterpret_cast<int*>(lp) = d->upper;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      int old = d->pos;
      d->pos = Clamp(d, msg == UDM_SETPOS ? static_cast<short>(LOWORD(lp)) : static_cast<int>(lp));
      ShowInBuddy(hwnd, d);
      if (old != d->pos) kx::ui::Announce(hwnd, kx::ui::Access::Value);
      return old;
    }
    case UDM_GETPOS: {
      bool ok = ReadBuddy(hwnd, d);
      return MAKELONG(static_cast<WORD>(d->pos), ok ? 0 : 1);
    }
    case UDM_GETPOS32: {
      bool ok = ReadBuddy(hwnd, d);
      if (lp) *reinterpret_cast<BOOL*>(lp) = ok ? FALSE : TRUE;
      return d->pos;
    }
    case UDM_SETBUDDY:
      return reinterpret_cast<LRESULT>(SetBuddy(hwnd, d, reinterpret_cast<HWND>(wp)));
    case UDM_GETBUDDY:
      return reinterpret_cast<LRESULT>(d->buddy);
    case UDM_SETBASE: {
      int old = d->base;
      if (wp != 10 && wp != 16) return 0;
      d->base = static_cast<int>(wp);
      ShowInBuddy(hwnd, d);
      return old;
    }
    case UDM_GETBASE:
      return d->base;
    case UDM_SETACCEL: {
      auto* acc = reinterpret_cast<const UDACCEL*>(lp);
      if (!acc || wp == 0) return FALSE;
      d->accel.assign(acc, acc + wp);
      return TRUE;
    }
    case UDM_GETACCEL: {
      auto* out = reinterpret_cast<UDACCEL*>(lp);
      if (out)
        for (size_t i = 0; i < d->accel.size() && i < wp; ++i) out[i] = d->accel[i];
      return static_cast<LRESULT>(d->accel.size());
    }
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterUpDown() { kx::RegisterControlClass(UPDOWN_CLASSA, UpDownProc, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS); }

const bool kRegistered = kx::AddSystemClass(&RegisterUpDown);

}  // namespace
