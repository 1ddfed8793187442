// Focus, activation, capture, keyboard state, mouse and key input, cursors and icons, message beeps.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/ui/commctrl.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/ui/display.h"
#include "platform/ui/access.h"
#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

HWND g_capture = nullptr;
HWND g_foreground = nullptr;
HWND g_tracking = nullptr;
POINT g_cursorPos{640, 512};
HCURSOR g_cursor = nullptr;
int g_cursorCount = 0;
BYTE g_keys[256] = {};
struct LastClick {
  HWND hwnd = nullptr;
  UINT msg = 0;
  DWORD time = 0;
  POINT pt{0, 0};
} g_lastClick;
std::map<HCURSOR, int>& CursorIds() {  // standard cursors by their resource id (under the lock)
  static auto* m = new std::map<HCURSOR, int>();
  return *m;
}
std::atomic<UINT> g_lastBeep{0};
std::atomic<unsigned> g_beeps{0};

bool IsButtonDown(UINT m) {
  return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_LBUTTONDBLCLK ||
         m == WM_RBUTTONDBLCLK || m == WM_MBUTTONDBLCLK || m == WM_NCLBUTTONDOWN || m == WM_NCRBUTTONDOWN ||
         m == WM_NCMBUTTONDOWN || m == WM_NCLBUTTONDBLCLK;
}

bool IsMouse(UINT m) { return (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) || (m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK); }

}  // namespace

HWND CaptureWindow() { return g_capture; }

void ReleaseCaptureOf(HWND hwnd) {
  Guard g(Lock());
  if (!g_capture) return;
  if (g_capture == hwnd) {
    g_capture = nullptr;
    return;
  }
  WindowPtr w = FindLocked(hwnd), c = FindLocked(g_capture);
  if (w && c && IsChildOf(*w, *c)) g_capture = nullptr;
}

void UpdateKeyState(const MSG& m) {
  Guard g(Lock());
  auto set = [](int vk, bool down) {
    if (down) {
      if (!(g_keys[vk] & 0x80)) g_keys[vk] ^= 0x01;
      g_keys[vk] |= 0x80;
    } else {
      g_keys[vk] &= static_cast<BYTE>(~0x80);
    }
  };
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
      int vk = static_cast<int>(m.wParam & 0xFF);
      set(vk, down);
      if (vk == VK_LSHIFT || vk == VK_RSHIFT) set(VK_SHIFT, down);
      if (vk == VK_LCONTROL || vk == VK_RCONTROL) set(VK_CONTROL, down);
      if (vk == VK_LMENU || vk == VK_RMENU) set(VK_MENU, down);
      break;
    }
    default:
      if (IsMouse(m.message) && m.message < WM_NCMOUSEMOVE) {
        set(VK_LBUTTON, (m.wParam & MK_LBUTTON) != 0);
        set(VK_RBUTTON, (m.wParam & MK_RBUTTON) != 0);
        set(VK_MBUTTON, (m.wParam & MK_MBUTTON) != 0);
      }
      break;
  }
}

void PreprocessInput(MSG& m) {
  UpdateKeyState(m);
  if (!IsMouse(m.message) || !m.hwnd) return;
  // Non-client messages carry the hit-test code they were resolved with.
  LRESULT hit = (m.message >= WM_NCMOUSEMOVE && m.message <= WM_NCMBUTTONDBLCLK) ? static_cast<LRESULT>(m.wParam) : HTCLIENT;
  if (IsButtonDown(m.message)) {
    HWND top = GetAncestor(m.hwnd, GA_ROOT);
    if (top && top != GetActiveWindow()) {
      LRESULT r = SendMessage(m.hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(hit, m.message));
      if (r != MA_NOACTIVATE && r != MA_NOACTIVATEANDEAT) SetActiveWindow(top);
      if (r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT) {
        m.message = WM_NULL;
        return;
      }
    }
  }
  if (IsWindow(m.hwnd) && !g_capture)
    SendMessage(m.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m.hwnd), MAKELPARAM(hit, m.message));
}

void ActivateOther(HWND leaving) {
  HWND next = nullptr;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(leaving);
    DWORD tid = ThreadId();
    if (w && w->owner) {
      WindowPtr o = FindLocked(w->owner);
      if (o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED) && o->threadId == tid) next = o->handle;
    }
    if (!next)
      for (HWND t : TopLevels()) {
        if (t == leaving) continue;
        WindowPtr o = FindLocked(t);
        if (!o || o->threadId != tid || !(o->style & WS_VISIBLE) || (o->style & WS_DISABLED) || o->destroying) continue;
        if (o->owner == leaving) continue;
        next = t;
        break;
      }
  }
  SetActiveWindow(next);
}

void FocusLost(HWND hwnd) {
  QueuePtr q;
  HWND focus, active, parent;
  bool child;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w || !w->queue) return;
    q = w->queue;
    focus = q->focus;
    active = q->active;
    parent = w->parent;
    child = w->parent != nullptr;
    WindowPtr f = FindLocked(focus);
    if (!(focus == hwnd || (f && IsChildOf(*w, *f)))) focus = nullptr;
  }
  if (focus) SetFocus(child ? parent : nullptr);
  if (active == hwnd) ActivateOther(hwnd);
  ReleaseCaptureOf(hwnd);
}

void TrackLeave(HWND under) {
  HWND leave = nullptr;
  {
    Guard g(Lock());
    if (g_tracking && g_tracking != under) {
      leave = g_tracking;
      g_tracking = nullptr;
    }
  }
  if (leave) PostMessage(leave, WM_MOUSELEAVE, 0, 0);
}

// ----- hit testing and injection (the UI driver) -----
namespace {

// The windows under a screen point in the order a hit test asks them: the deepest first, then the windows below
// it in z-order, a parent after its children. A disabled child hands the point to its parent; a disabled top-level
// window stands for its children. Under the lock.
void PointCandidates(const std::vector<HWND>& list, POINT pt, std::vector<HWND>& out) {
  for (HWND h : list) {
    WindowPtr w = FindLocked(h);
    if (!w || !(w->style & WS_VISIBLE) || w->messageOnly || w->destroyed) continue;
    RECT r = ScreenRectLocked(*w);
    if (!PtInRect(&r, pt)) continue;
    if (w->style & WS_DISABLED) {
      if (w->parent) return;
      out.push_back(h);
      continue;
    }
    RECT c = ScreenClientLocked(*w);
    if (PtInRect(&c, pt)) PointCandidates(w->children, pt, out);
    out.push_back(h);
  }
}

// The capture window when it belongs to the calling thread. Under the lock.
HWND OwnCapture() {
  WindowPtr c = FindLocked(g_capture);
  if (!c) return nullptr;
  return c->threadId == ThreadId() && !c->destroyed ? g_capture : nullptr;
}

bool IsButtonPress(UINT m) { return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN; }

}  // namespace

HWND HitTestAt(POINT pt, bool othersTake, LRESULT* hit) {
  std::vector<HWND> candidates;
  DWORD me = ThreadId();
  {
    Guard g(Lock());
    PointCandidates(TopLevels(), pt, candidates);
  }
  for (HWND h : candidates) {
    DWORD tid;
    {
      Guard g(Lock());
      WindowPtr w = FindLocked(h);
      if (!w || w->destroyed) continue;
      tid = w->threadId;
    }
    if (tid != me) {
      // A window of another thread cannot be asked here.
      if (!othersTake) continue;
      if (hit) *hit = HTCLIENT;
      return h;
    }
    LRESULT r = SendMessage(h, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    if (static_cast<int>(r) == HTTRANSPARENT) continue;
    if (hit) *hit = static_cast<int>(r);
    return h;
  }
  return nullptr;
}

HWND MouseTargetAt(POINT pt) {
  {
    Guard g(Lock());
    if (HWND c = OwnCapture()) return c;
  }
  return HitTestAt(pt, false, nullptr);
}

bool ResolveMouse(MSG& m) {
  const UINT raw = m.message;
  const POINT pt = m.pt;
  HWND target;
  {
    Guard g(Lock());
    target = OwnCapture();
  }
  bool captured = target != nullptr;
  LRESULT hit = HTCLIENT;
  if (!captured) target = HitTestAt(pt, false, &hit);
  if (!target || hit == HTERROR) return false;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(target);
    if (!w || w->destroyed) return false;
    // A disabled window (one a modal dialog disabled) takes no mouse input.
    if (!captured && (TopOf(w.get())->style & WS_DISABLED)) return false;
    m.hwnd = target;
    if (hit != HTCLIENT && raw >= WM_MOUSEMOVE && raw <= WM_MBUTTONDBLCLK) {
      m.message = raw - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
      m.wParam = static_cast<WPARAM>(hit);
      m.lParam = MAKELPARAM(pt.x, pt.y);
    } else {
      RECT c = ScreenClientLocked(*w);
      m.lParam = MAKELPARAM(pt.x - c.left, pt.y - c.top);
      if (IsButtonPress(raw)) {
        // A second press on the same spot within the double-click time is a double click (CS_DBLCLKS).
        if ((w->cls->style & CS_DBLCLKS) && g_lastClick.hwnd == target && g_lastClick.msg == raw &&
            m.time - g_lastClick.time <= GetDoubleClickTime() && std::abs(g_lastClick.pt.x - pt.x) <= 2 &&
            std::abs(g_lastClick.pt.y - pt.y) <= 2) {
          m.message = raw + (WM_LBUTTONDBLCLK - WM_LBUTTONDOWN);
          g_lastClick = LastClick{};
        } else {
          g_lastClick = LastClick{target, raw, m.time, pt};
        }
      }
    }
  }
  TrackLeave(target);
  return true;
}

bool InjectMouse(POINT pt, const std::vector<std::pair<UINT, WPARAM>>& messages) {
  Guard g(Lock());
  g_cursorPos = pt;
  // The thread of the window under the point (or of the capture) takes the input; which of its windows gets each
  // message is decided when the thread takes it.
  HWND target = nullptr;
  if (WindowPtr c = FindLocked(g_capture); c && !c->destroyed) {
    target = g_capture;
  } else {
    std::vector<HWND> candidates;
    PointCandidates(TopLevels(), pt, candidates);
    if (candidates.empty()) return false;
    target = candidates.front();
  }
  WindowPtr w = FindLocked(target);
  if (!w || (w->style & WS_DISABLED) || (TopOf(w.get())->style & WS_DISABLED)) return false;
  QueuePtr q = w->queue;
  if (!q || !q->alive) return false;
  for (auto [msg, keys] : messages)
    PostInputLocked(q, MSG{target, msg, keys, 0, static_cast<DWORD>(Now()), pt}, QKind::Mouse, true);
  return true;
}

bool InjectKeys(HWND anyWindowOfThread, const std::vector<MSG>& keys) {
  Guard g(Lock());
  WindowPtr w = FindLocked(anyWindowOfThread);
  if (!w || !w->queue || !w->queue->alive) return false;
  for (MSG m : keys) {
    m.time = static_cast<DWORD>(Now());
    m.pt = g_cursorPos;
    PostInputLocked(w->queue, m, QKind::Key);
  }
  return true;
}

bool CharToKey(uint32_t ch, UINT* vk, bool* shift) {
  *shift = false;
  if (ch >= 'a' && ch <= 'z') { *vk = ch - 'a' + 'A'; return true; }
  if (ch >= 'A' && ch <= 'Z') { *vk = ch; *shift = true; return true; }
  if (ch >= '0' && ch <= '9') { *vk = ch; return true; }
  switch (ch) {
    case ' ': *vk = VK_SPACE; return true;
    case '\r': case '\n': *vk = VK_RETURN; return true;
    case '\t': *vk = VK_TAB; return true;
    case '\b': *vk = VK_BACK; return true;
    case 27: *vk = VK_ESCAPE; return true;
  }
  static const char* kPlain = ";=,-./`[\\]'";
  static const char* kShift = ":+<_>?~{|}\"";
  static const UINT kVk[] = {VK_OEM_1, VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2,
                             VK_OEM_3, VK_OEM_4, VK_OEM_5, VK_OEM_6, VK_OEM_7};
  static const char* kDigitsShift = ")!@#$%^&*(";
  for (int i = 0; kPlain[i]; ++i) {
    if (static_cast<uint32_t>(kPlain[i]) == ch) { *vk = kVk[i]; return true; }
    if (static_cast<uint32_t>(kShift[i]) == ch) { *vk = kVk[i]; *shift = true; return true; }
  }
  for (int i = 0; i < 10; ++i)
    if (static_cast<uint32_t>(kDigitsShift[i]) == ch) { *vk = '0' + static_cast<UINT>(i); *shift = true; return true; }
  return false;
}

namespace {

// The character a key produces on the platform's US layout (0 when none).
uint32_t KeyToChar(UINT vk, bool shift, bool control, bool caps) {
  if (vk >= 'A' && vk <= 'Z') {
    if (control) return vk - 'A' + 1;
    bool upper = shift != caps;
    return upper ? vk : vk - 'A' + 'a';
  }
  if (control) return 0;
  if (vk >= '0' && vk <= '9') return shift ? static_cast<uint32_t>(")!@#$%^&*("[vk - '0']) : vk;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return '0' + (vk - VK_NUMPAD0);
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_TAB: return '\t';
    case VK_BACK: return '\b';
    case VK_ESCAPE: return 27;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
  }
  static const UINT kVk[] = {VK_OEM_1, VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2,
                             VK_OEM_3, VK_OEM_4, VK_OEM_5, VK_OEM_6, VK_OEM_7};
  static const char* kPlain = ";=,-./`[\\]'";
  static const char* kShift = ":+<_>?~{|}\"";
  for (int i = 0; i < 11; ++i)
    if (kVk[i] == vk) return static_cast<unsigned char>(shift ? kShift[i] : kPlain[i]);
  return 0;
}

}  // namespace

}  // namespace kx::ui

using namespace kx::ui;

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  uint32_t ch;
  // The display's keyboard map may give the typed character with the key, above the key's usual bits.
  if (msg->wParam == VK_PACKET || (static_cast<uint64_t>(msg->lParam) >> 32)) {
    ch = static_cast<uint32_t>(static_cast<uint64_t>(msg->lParam) >> 32);
  } else {
    bool shift = GetKeyState(VK_SHIFT) < 0, control = GetKeyState(VK_CONTROL) < 0;
    bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    ch = KeyToChar(static_cast<UINT>(msg->wParam), shift, control, caps);
  }
  if (!ch) return FALSE;
  UINT charMsg = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  // Characters outside ASCII arrive as their UTF-8 bytes, lead byte first.
  char buf[4];
  int n;
  if (ch < 0x80) { buf[0] = static_cast<char>(ch); n = 1; }
  else if (ch < 0x800) { buf[0] = static_cast<char>(0xC0 | (ch >> 6)); buf[1] = static_cast<char>(0x80 | (ch & 0x3F)); n = 2; }
  else if (ch < 0x10000) { buf[0] = static_cast<char>(0xE0 | (ch >> 12)); buf[1] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F)); buf[2] = static_cast<char>(0x80 | (ch & 0x3F)); n = 3; }
  else { buf[0] = static_cast<char>(0xF0 | (ch >> 18)); buf[1] = static_cast<char>(0x80 | ((ch >> 12) & 0x3F)); buf[2] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F)); buf[3] = static_cast<char>(0x80 | (ch & 0x3F)); n = 4; }
  for (int i = 0; i < n; ++i)
    PostMessage(msg->hwnd, charMsg, static_cast<unsigned char>(buf[i]), msg->lParam & 0xFFFFFFFF);
  return TRUE;
}

// ----- focus and activation -----
HWND GetFocus() {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  return q->focus;
}

HWND SetFocus(HWND hwnd) {
  QueuePtr q = CurrentQueue();
  HWND top = nullptr;
  if (hwnd) {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w || w->destroyed || w->threadId != q->threadId) return nullptr;
    top = TopOf(w.get())->handle;
  }
  HWND old;
  {
    Guard g(Lock());
    old = q->focus;
  }
  if (HasHooks(WH_CBT)) {
    bool any = false;
    if (CallHookChain(WH_CBT, HCBT_SETFOCUS, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(old), &any))
      return nullptr;
  }
  if (top && GetActiveWindow() != top) SetActiveWindow(top);
  {
    Guard g(Lock());
    old = q->focus;
    if (old == hwnd) return old;
    q->focus = hwnd;
  }
  if (old && IsWindow(old)) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  {
    Guard g(Lock());
    if (q->focus != hwnd) return old;
  }
  if (hwnd && IsWindow(hwnd)) SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  if (hwnd) DialogFocusChanged(hwnd);
  if (hwnd && IsWindow(hwnd)) Announce(hwnd, Access::Focus);
  return old;
}

HWND GetActiveWindow() {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  return q->active;
}

// A tooltip explains a window that had the keyboard: another one taking it (a message box) takes the tip away.
static void PopOtherTooltips(DWORD thread, HWND active) {
  struct Seen {
    HWND active;
    std::vector<HWND> tips;
  } seen{active, {}};
  EnumThreadWindows(thread, [](HWND t, LPARAM lp) -> BOOL {
    auto* s = reinterpret_cast<Seen*>(lp);
    char cls[64] = {};
    GetClassName(t, cls, sizeof cls);
    if (strcasecmp(cls, TOOLTIPS_CLASSA) == 0 && IsWindowVisible(t) && GetWindow(t, GW_OWNER) != s->active)
      s->tips.push_back(t);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&seen));
  for (HWND t : seen.tips)
    if (IsWindow(t)) SendMessage(t, TTM_POP, 0, 0);
}

HWND SetActiveWindow(HWND hwnd) {
  QueuePtr q = CurrentQueue();
  if (hwnd) {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w || w->destroyed || w->threadId != q->threadId) return nullptr;
    hwnd = TopOf(w.get())->handle;
  }
  HWND old;
  {
    Guard g(Lock());
    old = q->active;
  }
  if (old == hwnd) return old;
  if (HasHooks(WH_CBT)) {
    CBTACTIVATESTRUCT cbt{FALSE, old};
    bool any = false;
    if (CallHookChain(WH_CBT, HCBT_ACTIVATE, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cbt), &any))
      return nullptr;
  }
  if (old && IsWindow(old)) {
    SendMessage(old, WM_NCACTIVATE, FALSE, 0);
    SendMessage(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old)), reinterpret_cast<LPARAM>(hwnd));
    if (!hwnd) SendMessage(old, WM_ACTIVATEAPP, FALSE, 0);
  }
  {
    Guard g(Lock());
    q->active = hwnd;
    if (hwnd) g_foreground = hwnd;
    else if (g_foreground == old) g_foreground = nullptr;
  }
  PopOtherTooltips(q->threadId, hwnd);
  if (!hwnd) {
    SetFocus(nullptr);
    return old;
  }
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  CurrentDisplay().Activated(hwnd);
  if (!old) SendMessage(hwnd, WM_ACTIVATEAPP, TRUE, 0);
  SendMessage(hwnd, WM_NCACTIVATE, TRUE, 0);
  SendMessage(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsIconic(hwnd)), reinterpret_cast<LPARAM>(old));
  return old;
}

HWND GetForegroundWindow() {
  Guard g(Lock());
  WindowPtr w = FindLocked(g_foreground);
  return w && !w->destroyed ? g_foreground : nullptr;
}

BOOL SetForegroundWindow(HWND hwnd) {
  HWND top = GetAncestor(hwnd, GA_ROOT);
  if (!top) return FALSE;
  if (OnThreadOf(top)) SetActiveWindow(top);
  else RunOn(top, [top] { return reinterpret_cast<LRESULT>(SetActiveWindow(top)); });
  Guard g(Lock());
  g_foreground = top;
  return TRUE;
}

// ----- capture -----
HWND SetCapture(HWND hwnd) {
  HWND old;
  {
    Guard g(Lock());
    if (!FindLocked(hwnd)) return nullptr;
    old = g_capture;
    g_capture = hwnd;
  }
  if (old && old != hwnd && IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

HWND GetCapture() {
  Guard g(Lock());
  if (g_capture && !FindLocked(g_capture)) g_capture = nullptr;
  return g_capture;
}

BOOL ReleaseCapture() {
  HWND old;
  {
    Guard g(Lock());
    old = g_capture;
    g_capture = nullptr;
  }
  if (old && IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

// ----- keyboard and mouse state -----
SHORT GetKeyState(int vk) {
  Guard g(Lock());
  BYTE k = g_keys[vk & 0xFF];
  return static_cast<SHORT>(((k & 0x80) ? 0xFF80 : 0) | (k & 0x01));
}

SHORT GetAsyncKeyState(int vk) {
  Guard g(Lock());
  return static_cast<SHORT>((g_keys[vk & 0xFF] & 0x80) ? 0x8000 : 0);
}

BOOL GetKeyboardState(PBYTE state) {
  if (!state) return FALSE;
  Guard g(Lock());
  std::memcpy(state, g_keys, 256);
  return TRUE;
}

BOOL GetCursorPos(LPPOINT pt) {
  if (!pt) return FALSE;
  Guard g(Lock());
  *pt = g_cursorPos;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  Guard g(Lock());
  g_cursorPos = POINT{std::clamp(x, 0, kx::ui::ScreenWidth() - 1), std::clamp(y, 0, kx::ui::ScreenHeight() - 1)};
  return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
  int id = 0;
  HCURSOR old;
  {
    Guard g(Lock());
    old = g_cursor;
    g_cursor = cursor;
    auto it = CursorIds().find(cursor);
    if (it != CursorIds().end()) id = it->second;
  }
  if (old != cursor) {
    PointerShape shape = PointerShape::Arrow;
    if (id == 32513) shape = PointerShape::IBeam;
    else if (id == 32514 || id == 32650) shape = PointerShape::Wait;
    else if (id == 32649) shape = PointerShape::Hand;
    else if (id == 32644) shape = PointerShape::SizeWE;
    else if (id == 32645) shape = PointerShape::SizeNS;
    CurrentDisplay().SetPointerShape(shape);
  }
  return old;
}

HCURSOR GetCursor() {
  Guard g(Lock());
  return g_cursor;
}

int ShowCursor(BOOL show) {
  Guard g(Lock());
  g_cursorCount += show ? 1 : -1;
  return g_cursorCount;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT tme) {
  if (!tme || tme->cbSize < sizeof(TRACKMOUSEEVENT)) return FALSE;
  if (tme->dwFlags & TME_QUERY) {
    Guard g(Lock());
    tme->dwFlags = g_tracking ? TME_LEAVE : 0;
    tme->hwndTrack = g_tracking;
    return TRUE;
  }
  if (!IsWindow(tme->hwndTrack)) return FALSE;
  if (tme->dwFlags & TME_CANCEL) {
    Guard g(Lock());
    if (g_tracking == tme->hwndTrack) g_tracking = nullptr;
    return TRUE;
  }
  if (tme->dwFlags & TME_LEAVE) {
    POINT pt;
    GetCursorPos(&pt);
    HWND under = WindowFromPoint(pt);
    if (under != tme->hwndTrack) {
      PostMessage(tme->hwndTrack, WM_MOUSELEAVE, 0, 0);
      return TRUE;
    }
    Guard g(Lock());
    g_tracking = tme->hwndTrack;
  }
  return TRUE;
}

UINT GetDoubleClickTime() { return 500; }

BOOL MessageBeep(UINT type) {
  g_lastBeep = type;
  ++g_beeps;
  CurrentDisplay().Beep();
  return TRUE;
}

UINT kx::LastMessageBeep() { return g_lastBeep; }
unsigned kx::MessageBeepCount() { return g_beeps; }

BOOL FlashWindow(HWND hwnd, BOOL) { return IsWindow(hwnd); }

// ----- cursors, icons, bitmaps -----
namespace {

std::map<std::pair<uintptr_t, std::string>, HANDLE>& Shared() {
  static auto* m = new std::map<std::pair<uintptr_t, std::string>, HANDLE>();
  return *m;
}

// Standard icons, drawn: 32 x 32 pixels.
HICON MakeStandardIcon(int id) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 32);
  cairo_t* cr = cairo_create(s);
  auto glyph = [&](const char* text, double r, double g, double b, double size, double y) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_move_to(cr, 16 - te.width / 2 - te.x_bearing, y);
    cairo_show_text(cr, text);
  };
  switch (id) {
    case 32513:  // hand / error
      cairo_arc(cr, 16, 16, 14, 0, 2 * M_PI);
      cairo_set_source_rgb(cr, 0.85, 0.1, 0.1);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0.5, 0, 0);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_set_line_width(cr, 3.5);
      cairo_move_to(cr, 10, 10);
      cairo_line_to(cr, 22, 22);
      cairo_move_to(cr, 22, 10);
      cairo_line_to(cr, 10, 22);
      cairo_stroke(cr);
      break;
    case 32514:  // question
      cairo_arc(cr, 16, 16, 14, 0, 2 * M_PI);
      cairo_set_source_rgb(cr, 0.2, 0.4, 0.85);
      cairo_fill(cr);
      glyph("?", 1, 1, 1, 22, 24);
      break;
    case 32515:  // exclamation / warning
      cairo_move_to(cr, 16, 2);
      cairo_line_to(cr, 30, 29);
      cairo_line_to(cr, 2, 29);
      cairo_close_path(cr);
      cairo_set_source_rgb(cr, 1.0, 0.85, 0.1);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0.4, 0.3, 0);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      glyph("!", 0, 0, 0, 20, 27);
      break;
    case 32516:  // asterisk / information
      cairo_arc(cr, 16, 16, 14, 0, 2 * M_PI);
      cairo_set_source_rgb(cr, 0.2, 0.4, 0.85);
      cairo_fill(cr);
      glyph("i", 1, 1, 1, 22, 24);
      break;
    default:  // application
      cairo_rectangle(cr, 3, 5, 26, 22);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      cairo_rectangle(cr, 3.5, 5.5, 25, 4);
      cairo_set_source_rgb(cr, 0.04, 0.14, 0.42);
      cairo_fill(cr);
      break;
  }
  cairo_destroy(cr);
  cairo_surface_flush(s);
  std::vector<uint32_t> argb(32 * 32);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      uint32_t v = reinterpret_cast<uint32_t*>(data + y * stride)[x];
      uint32_t a = v >> 24;
      uint32_t r = a ? ((v >> 16) & 0xFF) * 255 / a : 0, g = a ? ((v >> 8) & 0xFF) * 255 / a : 0, b = a ? (v & 0xFF) * 255 / a : 0;
      argb[static_cast<size_t>(y) * 32 + x] = (a << 24) | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
    }
  cairo_surface_destroy(s);
  return kx::CreateIconFromArgb(32, 32, argb.data(), true, 16, 16);
}

HCURSOR MakeStandardCursor(int id) {
  // The headless screen shows no cursor: an arrow shape stands for every kind; a display shows its own shapes.
  std::vector<uint32_t> argb(32 * 32, 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x <= y / 2 + 1 && x < 12; ++x) argb[static_cast<size_t>(y) * 32 + x] = 0xFF000000;
  HCURSOR c = kx::CreateIconFromArgb(32, 32, argb.data(), false, 0, 0);
  Guard g(Lock());
  CursorIds()[c] = id;
  return c;
}

// Shared pictures are kept per size: a screen whose scale changed asks for others.
HANDLE SharedImage(HINSTANCE inst, LPCSTR name, UINT type, const std::function<HANDLE()>& make, int cx = 0,
                   int cy = 0) {
  std::string key = std::to_string(type) + ":" + (IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : std::string(name));
  if (cx || cy) key += "@" + std::to_string(cx) + "x" + std::to_string(cy);
  {
    Guard g(Lock());
    auto it = Shared().find({reinterpret_cast<uintptr_t>(inst), key});
    if (it != Shared().end()) return it->second;
  }
  HANDLE h = make();
  if (!h) return nullptr;
  if (type != IMAGE_BITMAP)
    if (auto icon = kx::gdi::GetIcon(static_cast<HICON>(h))) icon->shared = true;
  Guard g(Lock());
  auto [it, inserted] = Shared().insert({{reinterpret_cast<uintptr_t>(inst), key}, h});
  return it->second;
}

bool ReadFileBytes(const char* path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream ss;
  ss << f.rdbuf();
  *out = ss.str();
  return true;
}

HANDLE LoadFromBytes(const std::string& bytes, UINT type, int cx, int cy) {
  if (type == IMAGE_BITMAP) return kx::CreateBitmapFromBmpFile(bytes.data(), bytes.size());
  return kx::CreateIconFromIcoFile(bytes.data(), bytes.size(), cx, cy, type == IMAGE_ICON);
}

}  // namespace

HANDLE LoadImage(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
  if (!name || type > IMAGE_CURSOR) return nullptr;
  if (flags & LR_DEFAULTSIZE) {
    if (!cx) cx = GetSystemMetrics(type == IMAGE_CURSOR ? SM_CXCURSOR : SM_CXICON);
    if (!cy) cy = GetSystemMetrics(type == IMAGE_CURSOR ? SM_CYCURSOR : SM_CYICON);
  }
  if (flags & LR_LOADFROMFILE) {
    if (IS_INTRESOURCE(name)) return nullptr;
    std::string bytes;
    if (!ReadFileBytes(name, &bytes)) return nullptr;
    return LoadFromBytes(bytes, type, cx, cy);
  }
  if (!instance && IS_INTRESOURCE(name)) {
    int id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
    if (type == IMAGE_ICON) return SharedImage(nullptr, name, type, [id] { return static_cast<HANDLE>(MakeStandardIcon(id)); });
    if (type == IMAGE_CURSOR) return SharedImage(nullptr, name, type, [id] { return static_cast<HANDLE>(MakeStandardCursor(id)); });
    return nullptr;
  }
  kx::ResourceSource* src = kx::GetResourceSource();
  if (!src) return nullptr;
  auto load = [&]() -> HANDLE {
    std::string bytes;
    if (!src->LoadImageBytes(instance, name, type, &bytes)) return nullptr;
    return LoadFromBytes(bytes, type, cx, cy);
  };
  if (flags & LR_SHARED) return SharedImage(instance, name, type, load, cx, cy);
  return load();
}

HICON LoadIcon(HINSTANCE instance, LPCSTR name) {
  return static_cast<HICON>(LoadImage(instance, name, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                      GetSystemMetrics(SM_CYICON), LR_SHARED));
}

HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name) {
  return static_cast<HCURSOR>(LoadImage(instance, name, IMAGE_CURSOR, 32, 32, LR_SHARED));
}

HBITMAP LoadBitmap(HINSTANCE instance, LPCSTR name) {
  return static_cast<HBITMAP>(LoadImage(instance, name, IMAGE_BITMAP, 0, 0, 0));
}

HANDLE CopyImage(HANDLE image, UINT type, int cx, int cy, UINT flags) {
  if (type == IMAGE_ICON || type == IMAGE_CURSOR) {
    HICON copy = CopyIcon(static_cast<HICON>(image));
    if (copy && (flags & LR_COPYDELETEORG)) DestroyIcon(static_cast<HICON>(image));
    return copy;
  }
  if (type != IMAGE_BITMAP) return nullptr;
  BITMAP bm;
  if (!GetObject(image, sizeof bm, &bm)) return nullptr;
  if (cx <= 0) cx = bm.bmWidth;
  if (cy <= 0) cy = bm.bmHeight;
  HDC screen = GetDC(nullptr);
  HDC src = CreateCompatibleDC(screen), dst = CreateCompatibleDC(screen);
  HBITMAP out = (flags & LR_MONOCHROME) ? CreateBitmap(cx, cy, 1, 1, nullptr) : CreateCompatibleBitmap(screen, cx, cy);
  HGDIOBJ o1 = SelectObject(src, image), o2 = SelectObject(dst, out);
  StretchBlt(dst, 0, 0, cx, cy, src, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
  SelectObject(src, o1);
  SelectObject(dst, o2);
  DeleteDC(src);
  DeleteDC(dst);
  ReleaseDC(nullptr, screen);
  if (flags & LR_COPYDELETEORG) DeleteObject(image);
  return out;
}
