// The UI driver: a person's actions as input messages, with time-outs and a list of the windows on failure.
#include "platform/ui/driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/ui/internal.h"
#include "platform/win32/textconv.h"

namespace kx {

using namespace kx::ui;

namespace {

using Clock = std::chrono::steady_clock;

int DefaultTimeout() {
  if (const char* v = std::getenv("KX_UI_TIMEOUT_MS")) {
    int t = std::atoi(v);
    if (t > 0) return t;
  }
  return 10000;
}

std::string Strip(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += s[i];
  }
  return out;
}

std::string Hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

void Describe(HWND h, int depth, std::ostringstream& out) {
  WindowPtr w = FindLocked(h);
  if (!w || w->destroyed) return;
  out << std::string(static_cast<size_t>(depth) * 2, ' ') << Hex(h) << " class=\"" << w->cls->name << "\" text=\""
      << w->text << "\"";
  if (w->parent) out << " id=" << w->id;
  out << ((w->style & WS_VISIBLE) ? " visible" : " hidden") << ((w->style & WS_DISABLED) ? " disabled" : "");
  if (w->dlg && w->dlg->templateId) out << " template=" << w->dlg->templateId;
  if (!w->parent) out << " thread=" << w->threadId;
  RECT r = ScreenRectLocked(*w);
  out << " rect=(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")\n";
  for (HWND c : w->children) Describe(c, depth + 1, out);
}

bool Matches(const Window& w, const WindowQuery& q) {
  if (w.destroyed) return false;
  if (!q.className.empty() && !EqualNoCase(w.cls->name, q.className)) return false;
  if (!q.title.empty() && Strip(w.text) != q.title && w.text != q.title) return false;
  if (!q.titleContains.empty() && w.text.find(q.titleContains) == std::string::npos) return false;
  if (q.templateId && (!w.dlg || w.dlg->templateId != q.templateId)) return false;
  if (q.controlId && static_cast<int>(w.id) != q.controlId) return false;
  if (q.visibleOnly && !VisibleChain(w)) return false;
  if (q.enabledOnly && (w.style & WS_DISABLED)) return false;
  return true;
}

HWND FindQueryLocked(const WindowQuery& q) {
  KX_ASSERT_LOCKED();
  // A template id also finds child dialogs (a sheet's pages) under the top-level windows.
  bool deep = q.parent || q.templateId;
  std::function<HWND(const std::vector<HWND>&)> walk = [&](const std::vector<HWND>& list) -> HWND {
    for (HWND h : list) {
      WindowPtr w = FindLocked(h);
      if (!w) continue;
      if (Matches(*w, q)) return h;
      if (deep)
        if (HWND r = walk(w->children)) return r;
    }
    return nullptr;
  };
  if (q.parent) {
    WindowPtr p = FindLocked(q.parent);
    return p ? walk(p->children) : nullptr;
  }
  return walk(TopLevels());
}

std::string QueryText(const WindowQuery& q) {
  std::ostringstream s;
  s << "{";
  if (!q.className.empty()) s << " class=\"" << q.className << "\"";
  if (!q.title.empty()) s << " title=\"" << q.title << "\"";
  if (!q.titleContains.empty()) s << " title contains \"" << q.titleContains << "\"";
  if (q.templateId) s << " template=" << q.templateId;
  if (q.controlId) s << " id=" << q.controlId;
  if (q.parent) s << " in " << Hex(q.parent);
  s << " }";
  return s.str();
}

// Runs a function on a window's thread with a time-out; false when the thread did not take it in time.
bool RunOnWithin(HWND hwnd, const std::function<void()>& fn, int timeoutMs) {
  QueuePtr target;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w || !w->queue) return false;
    target = w->queue;
  }
  QueuePtr me = CurrentQueue();
  if (target == me) {
    fn();
    return true;
  }
  auto s = std::make_shared<Sent>();
  s->task = [fn] {
    fn();
    return LRESULT{0};
  };
  s->sender = me;
  Guard g(Lock());
  if (!target->alive) return false;
  target->incoming.push_back(s);
  WakeLocked(*target);
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!s->done) {
    if (me->cv.wait_until(g, deadline) == std::cv_status::timeout && !s->done) {
      // Not taken yet: withdraw it. Already running: it ends soon, and it may use the caller's data.
      auto it = std::find(target->incoming.begin(), target->incoming.end(), s);
      if (it != target->incoming.end()) {
        target->incoming.erase(it);
        return false;
      }
      if (!target->alive) return false;
      deadline = Clock::now() + std::chrono::hours(1);
    }
  }
  return true;
}

}  // namespace

std::string DescribeWindows() {
  Guard g(Lock());
  std::ostringstream out;
  for (HWND h : TopLevels()) Describe(h, 0, out);
  std::string s = out.str();
  return s.empty() ? std::string("(no windows)\n") : s;
}

UiDriver::UiDriver(int timeoutMs) : timeoutMs_(timeoutMs > 0 ? timeoutMs : DefaultTimeout()) {}

namespace {
// A failure's text with the windows that exist, also written to standard error.
std::string FailureReport(const std::string& message) {
  std::string text = message + "\nWindows:\n" + DescribeWindows();
  std::fprintf(stderr, "UI driver: %s", text.c_str());
  return text;
}
}  // namespace

void UiDriver::Fail(const std::string& message) { throw UiDriverError(FailureReport(message)); }

void UiDriver::TimedOut(const std::string& message) { throw UiDriverTimeout(FailureReport(message)); }

HWND UiDriver::Find(const WindowQuery& query) {
  Guard g(Lock());
  return FindQueryLocked(query);
}

HWND UiDriver::WaitForWindow(const WindowQuery& query, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(Pick(timeoutMs));
  Guard g(Lock());
  for (;;) {
    if (HWND h = FindQueryLocked(query)) return h;
    if (Clock::now() >= deadline) break;
    DriverCv().wait_for(g, std::chrono::milliseconds(20));
  }
  g.unlock();
  TimedOut("no window " + QueryText(query) + " appeared within " + std::to_string(Pick(timeoutMs)) + " ms");
}

HWND UiDriver::WaitForDialog(ULONG_PTR templateId, int timeoutMs) {
  WindowQuery q;
  q.templateId = templateId;
  return WaitForWindow(q, timeoutMs);
}

HWND UiDriver::FindDialog(ULONG_PTR templateId) {
  WindowQuery q;
  q.templateId = templateId;
  return Find(q);
}

HWND UiDriver::WaitForTitle(const std::string& title, int timeoutMs) {
  WindowQuery q;
  q.title = title;
  return WaitForWindow(q, timeoutMs);
}

HWND UiDriver::WaitForMessageBox(int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(Pick(timeoutMs));
  Guard g(Lock());
  for (;;) {
    for (HWND h : TopLevels()) {
      WindowPtr w = kx::ui::FindLocked(h);
      if (!w || w->destroyed || !VisibleChain(*w)) continue;
      for (auto& [k, v] : w->props)
        if (k == "KxMessageBox" && v) return h;
    }
    if (Clock::now() >= deadline) break;
    DriverCv().wait_for(g, std::chrono::milliseconds(20));
  }
  g.unlock();
  TimedOut("no message box appeared within " + std::to_string(Pick(timeoutMs)) + " ms");
}

void UiDriver::WaitForGone(HWND hwnd, bool hiddenIsGone, int timeoutMs) {
  WaitUntil([&] { return !IsWindow(hwnd) || (hiddenIsGone && !IsWindowVisible(hwnd)); },
            "window " + Hex(hwnd) + " to go away", timeoutMs);
}

void UiDriver::WaitUntil(const std::function<bool()>& condition, const std::string& what, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(Pick(timeoutMs));
  for (;;) {
    if (condition()) return;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  TimedOut("timed out waiting for " + what);
}

void UiDriver::WaitForEnabled(HWND hwnd, bool enabled, int timeoutMs) {
  WaitUntil([&] { return IsWindow(hwnd) && (IsWindowEnabled(hwnd) != FALSE) == enabled; },
            "window " + Hex(hwnd) + (enabled ? " to be enabled" : " to be disabled"), timeoutMs);
}

void UiDriver::WaitForText(HWND hwnd, const std::string& text, int timeoutMs) {
  WaitUntil([&] { return IsWindow(hwnd) && Text(hwnd) == text; }, "window " + Hex(hwnd) + " to read \"" + text + "\"",
            timeoutMs);
}

HWND UiDriver::Control(HWND parent, int id) {
  WindowQuery q;
  q.parent = parent;
  q.controlId = id;
  q.visibleOnly = false;
  HWND h = Find(q);
  if (!h) Fail("no control with id " + std::to_string(id) + " in " + Hex(parent));
  return h;
}

HWND UiDriver::ControlByText(HWND parent, const std::string& text, const std::string& className) {
  WindowQuery q;
  q.parent = parent;
  q.title = text;
  q.className = className;
  q.visibleOnly = false;
  HWND h = Find(q);
  if (!h) Fail("no control \"" + text + "\" in " + Hex(parent));
  return h;
}

HWND UiDriver::ControlByClass(HWND parent, const std::string& className, int index) {
  std::vector<HWND> found;
  {
    Guard g(Lock());
    std::function<void(HWND)> walk = [&](HWND h) {
      WindowPtr w = kx::ui::FindLocked(h);
      if (!w) return;
      for (HWND c : w->children) {
        WindowPtr cw = kx::ui::FindLocked(c);
        if (cw && EqualNoCase(cw->cls->name, className)) found.push_back(c);
        walk(c);
      }
    };
    walk(parent);
  }
  if (index < 0 || static_cast<size_t>(index) >= found.size())
    Fail("no control of class \"" + className + "\" number " + std::to_string(index) + " in " + Hex(parent));
  return found[static_cast<size_t>(index)];
}

void UiDriver::CheckUsable(HWND hwnd, const char* action) {
  if (!IsWindow(hwnd)) Fail(std::string("cannot ") + action + ": window " + Hex(hwnd) + " does not exist");
  if (!IsWindowVisible(hwnd)) Fail(std::string("cannot ") + action + ": window " + Hex(hwnd) + " is not visible");
  HWND top = GetAncestor(hwnd, GA_ROOT);
  if (!IsWindowEnabled(hwnd) || !IsWindowEnabled(top))
    Fail(std::string("cannot ") + action + ": window " + Hex(hwnd) + " is disabled");
}

void UiDriver::PostMouse(HWND hwnd, int x, int y, UINT down, UINT up, bool twice) {
  CheckUsable(hwnd, "click");
  POINT pt{x, y};
  ClientToScreen(hwnd, &pt);
  {
    // The window the click reaches, found by the window's thread as it will find it (hit tests, capture).
    HWND target = nullptr;
    if (!RunOnWithin(hwnd, [&] { target = MouseTargetAt(pt); }, timeoutMs_))
      Fail("cannot click " + Hex(hwnd) + ": its thread does not answer");
    Guard g(Lock());
    WindowPtr t = kx::ui::FindLocked(target), w = kx::ui::FindLocked(hwnd);
    bool ok = target == hwnd || (t && w && IsChildOf(*w, *t));
    if (!ok) {
      std::string other = t ? t->cls->name + " \"" + t->text + "\"" : std::string("nothing");
      g.unlock();
      Fail("cannot click " + Hex(hwnd) + ": the point (" + std::to_string(pt.x) + "," + std::to_string(pt.y) +
           ") reaches " + other);
    }
  }
  WPARAM keys = down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON;
  std::vector<std::pair<UINT, WPARAM>> seq{{WM_MOUSEMOVE, 0}, {down, keys}, {up, 0}};
  if (twice) {
    seq.push_back({down, keys});
    seq.push_back({up, 0});
  }
  if (!InjectMouse(pt, seq)) Fail("the click on " + Hex(hwnd) + " went nowhere");
  Sync(hwnd);
}

void UiDriver::Click(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  PostMouse(hwnd, rc.right / 2, rc.bottom / 2, WM_LBUTTONDOWN, WM_LBUTTONUP, false);
}

void UiDriver::DoubleClick(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  PostMouse(hwnd, rc.right / 2, rc.bottom / 2, WM_LBUTTONDOWN, WM_LBUTTONUP, true);
}

void UiDriver::RightClick(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  PostMouse(hwnd, rc.right / 2, rc.bottom / 2, WM_RBUTTONDOWN, WM_RBUTTONUP, false);
}

void UiDriver::ClickAt(HWND hwnd, int x, int y) { PostMouse(hwnd, x, y, WM_LBUTTONDOWN, WM_LBUTTONUP, false); }
void UiDriver::DoubleClickAt(HWND hwnd, int x, int y) { PostMouse(hwnd, x, y, WM_LBUTTONDOWN, WM_LBUTTONUP, true); }
void UiDriver::RightClickAt(HWND hwnd, int x, int y) { PostMouse(hwnd, x, y, WM_RBUTTONDOWN, WM_RBUTTONUP, false); }

void UiDriver::MouseMoveTo(HWND hwnd, int x, int y) {
  CheckUsable(hwnd, "move the mouse over");
  POINT pt{x, y};
  ClientToScreen(hwnd, &pt);
  InjectMouse(pt, {{WM_MOUSEMOVE, 0}});
  Sync(hwnd);
}

void UiDriver::SetText(HWND edit, const std::string& text) {
  CheckUsable(edit, "type into");
  if (EqualNoCase(ClassName(edit), "Edit") && (GetWindowLongPtr(edit, GWL_STYLE) & ES_READONLY))
    Fail("cannot type into " + Hex(edit) + ": it is read-only");
  Click(edit);
  Send(edit, EM_SETSEL, 0, -1);
  Type(text);
}

void UiDriver::Type(const std::string& text) {
  HWND fg = GetForegroundWindow();
  if (!fg) Fail("cannot type: no window has the focus");
  // All keys go in at once: the window may go away after any of them, as it would for a person.
  std::vector<MSG> keys;
  auto key = [&](UINT msg, WPARAM vk, LPARAM lp) { keys.push_back(MSG{nullptr, msg, vk, lp, 0, POINT{0, 0}}); };
  for (size_t i = 0; i < text.size();) {
    char32_t decoded = 0;
    const int n = kx::DecodeUtf8(text.data() + i, text.size() - i, &decoded);
    // A byte that is not well-formed UTF-8 types the replacement character.
    const uint32_t cp = n ? static_cast<uint32_t>(decoded) : 0xFFFDu;
    i += n ? static_cast<size_t>(n) : 1;
    UINT vk;
    bool shift;
    if (CharToKey(cp, &vk, &shift)) {
      if (shift) key(WM_KEYDOWN, VK_SHIFT, 1);
      key(WM_KEYDOWN, vk, 1);
      key(WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
      if (shift) key(WM_KEYUP, VK_SHIFT, static_cast<LPARAM>(0xC0000001u));
    } else {
      key(WM_KEYDOWN, VK_PACKET, static_cast<LPARAM>((static_cast<uint64_t>(cp) << 32) | 1));
      key(WM_KEYUP, VK_PACKET, static_cast<LPARAM>((static_cast<uint64_t>(cp) << 32) | 0xC0000001u));
    }
  }
  if (!InjectKeys(fg, keys)) Fail("cannot type: the window's thread has ended");
  Sync(fg);
}

void UiDriver::PressKey(UINT vk, bool shift, bool control, bool alt) {
  HWND fg = GetForegroundWindow();
  if (!fg) Fail("cannot press a key: no window has the focus");
  UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN, up = alt ? WM_SYSKEYUP : WM_KEYUP;
  std::vector<MSG> keys;
  auto key = [&](UINT msg, WPARAM k, LPARAM lp) { keys.push_back(MSG{nullptr, msg, k, lp, 0, POINT{0, 0}}); };
  if (shift) key(WM_KEYDOWN, VK_SHIFT, 1);
  if (control) key(WM_KEYDOWN, VK_CONTROL, 1);
  if (alt) key(WM_SYSKEYDOWN, VK_MENU, 0x20000001);
  key(down, vk, alt ? 0x20000001 : 1);
  key(up, vk, static_cast<LPARAM>(alt ? 0xE0000001u : 0xC0000001u));
  if (alt) key(WM_KEYUP, VK_MENU, static_cast<LPARAM>(0xC0000001u));
  if (control) key(WM_KEYUP, VK_CONTROL, static_cast<LPARAM>(0xC0000001u));
  if (shift) key(WM_KEYUP, VK_SHIFT, static_cast<LPARAM>(0xC0000001u));
  if (!InjectKeys(fg, keys)) Fail("cannot press a key: the window's thread has ended");
  Sync(fg);
}

void UiDriver::SetCheck(HWND checkbox, bool checked) {
  for (int i = 0; i < 3 && IsChecked(checkbox) != checked; ++i) Click(checkbox);
  if (IsChecked(checkbox) != checked) Fail("check box " + Hex(checkbox) + " did not change");
}

std::string UiDriver::AnswerMessageBox(int buttonId, int timeoutMs) {
  HWND box = WaitForMessageBox(timeoutMs);
  std::string text = MessageBoxText(box);
  HWND button = GetDlgItem(box, buttonId);
  if (!button) Fail("the message box has no button " + std::to_string(buttonId));
  Click(button);
  WaitForGone(box, false, timeoutMs);
  return text;
}

void UiDriver::Focus(HWND hwnd) {
  CheckUsable(hwnd, "focus");
  Invoke(hwnd, [hwnd] { SetFocus(hwnd); });
}

void UiDriver::Sync(HWND hwnd) {
  QueuePtr q;
  {
    Guard g(Lock());
    WindowPtr w = kx::ui::FindLocked(hwnd);
    if (!w || !w->queue) return;
    q = w->queue;
  }
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
  Guard g(Lock());
  uint64_t seq = PostMarker(q);
  bool seen = false;
  uint64_t idle0 = 0;
  for (;;) {
    // Done when the thread has taken the input and waits again; or when the window (or its thread) went away.
    if (!q->alive) return;
    WindowPtr w = kx::ui::FindLocked(hwnd);
    if (!w || w->destroyed) return;
    if (q->markerDone >= seq) {
      if (!seen) {
        seen = true;
        idle0 = q->idleCount;
      }
      bool empty = q->posted.empty() && q->input.empty() && q->incoming.empty();
      if ((q->waiting && empty) || q->idleCount > idle0) return;
    }
    if (Clock::now() >= deadline) break;
    DriverCv().wait_for(g, std::chrono::milliseconds(20));
  }
  g.unlock();
  TimedOut("the UI thread did not take its input within " + std::to_string(timeoutMs_) + " ms");
}

std::string UiDriver::Text(HWND hwnd) {
  LRESULT n = Send(hwnd, WM_GETTEXTLENGTH);
  std::string buf(static_cast<size_t>(std::max<LRESULT>(n, 0)) + 1, '\0');
  LRESULT got = Send(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
  buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, static_cast<LRESULT>(buf.size()))));
  return buf;
}

bool UiDriver::IsChecked(HWND hwnd) { return Send(hwnd, BM_GETCHECK) == BST_CHECKED; }
bool UiDriver::IsEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
bool UiDriver::IsVisible(HWND hwnd) { return IsWindowVisible(hwnd) != FALSE; }

HWND UiDriver::FocusedWindow(HWND anyWindowOfThread) {
  Guard g(Lock());
  WindowPtr w = kx::ui::FindLocked(anyWindowOfThread);
  return w && w->queue ? w->queue->focus : nullptr;
}

std::string UiDriver::ClassName(HWND hwnd) {
  char buf[256];
  GetClassName(hwnd, buf, sizeof buf);
  return buf;
}

std::string UiDriver::MessageBoxText(HWND box) { return Text(Control(box, 0xFFFF)); }

LRESULT UiDriver::Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(hwnd)) Fail("cannot send a message to " + Hex(hwnd) + ": no such window");
  DWORD_PTR result = 0;
  if (!SendMessageTimeout(hwnd, msg, wParam, lParam, SMTO_NORMAL, static_cast<UINT>(timeoutMs_), &result))
    TimedOut("window " + Hex(hwnd) + " did not answer message " + std::to_string(msg) + " in time");
  return static_cast<LRESULT>(result);
}

void UiDriver::Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!PostMessage(hwnd, msg, wParam, lParam)) Fail("cannot post to " + Hex(hwnd));
  Sync(hwnd);
}

void UiDriver::Invoke(HWND hwnd, const std::function<void()>& fn) {
  if (!RunOnWithin(hwnd, fn, timeoutMs_))
    TimedOut("the thread of window " + Hex(hwnd) + " did not run the call in time");
}

void UiDriver::SavePng(HWND hwnd, const std::string& path) {
  if (!IsWindow(hwnd)) Fail("cannot render " + Hex(hwnd) + ": no such window");
  bool ok = false;
  Invoke(hwnd, [&] { ok = RenderWindowToPng(hwnd, path.c_str()); });
  if (!ok) Fail("could not write " + path);
}

// ----- a modal call on a UI thread, a script on this one -----
namespace {

struct UiRun {
  std::mutex m;
  std::condition_variable cv;
  DWORD tid = 0;
  bool started = false;
  bool done = false;
  INT_PTR result = 0;
  std::exception_ptr error;
};

// Ends every dialog and loop of a thread: dialogs end with IDCANCEL, windows get WM_CLOSE, the queue WM_QUIT.
void Unwind(DWORD tid) {
  Guard g(Lock());
  QueuePtr q = QueueOfLocked(tid);
  for (HWND h : TopLevels()) {
    WindowPtr w = kx::ui::FindLocked(h);
    if (!w || w->threadId != tid) continue;
    if (w->dlg && !w->dlg->ended) {
      w->dlg->ended = true;
      w->dlg->result = IDCANCEL;
    }
    QMsg m;
    m.msg = MSG{h, WM_CLOSE, 0, 0, 0, POINT{0, 0}};
    if (q) q->posted.push_back(m);
  }
  if (q) {
    q->quit = true;
    WakeLocked(*q);
  }
}

}  // namespace

INT_PTR RunWithUi(const std::function<INT_PTR()>& modal, const std::function<void(UiDriver&)>& script, int timeoutMs) {
  auto run = std::make_shared<UiRun>();
  std::function<INT_PTR()> call = modal;
  std::thread ui([run, call] {
    {
      std::lock_guard<std::mutex> l(run->m);
      run->tid = UiThreadId();
      run->started = true;
    }
    run->cv.notify_all();
    INT_PTR r = 0;
    std::exception_ptr e;
    try {
      r = call();
    } catch (...) {
      e = std::current_exception();
    }
    DestroyThreadWindows();
    {
      std::lock_guard<std::mutex> l(run->m);
      run->result = r;
      run->error = e;
      run->done = true;
    }
    run->cv.notify_all();
  });
  {
    std::unique_lock<std::mutex> l(run->m);
    run->cv.wait(l, [&] { return run->started; });
  }
  UiDriver driver(timeoutMs);
  std::exception_ptr scriptError;
  try {
    script(driver);
  } catch (...) {
    scriptError = std::current_exception();
  }
  auto waitDone = [&](int ms) {
    std::unique_lock<std::mutex> l(run->m);
    return run->cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return run->done; });
  };
  bool finished = waitDone(scriptError ? 0 : driver.Timeout());
  std::string windows;
  if (!finished) {
    windows = DescribeWindows();
    for (int i = 0; i < 20 && !finished; ++i) {
      Unwind(run->tid);
      finished = waitDone(100);
    }
  }
  if (finished) {
    ui.join();
  } else {
    std::fprintf(stderr, "UI driver: the UI thread is stuck; leaving it behind\n%s", windows.c_str());
    ui.detach();
  }
  if (scriptError) {
    try {
      std::rethrow_exception(scriptError);
    } catch (const UiDriverError&) {
      throw;
    } catch (const std::exception& e) {
      throw UiDriverError(std::string("the script failed: ") + e.what());
    }
  }
  if (!finished || windows.size()) {
    throw UiDriverTimeout("the modal call did not return within " + std::to_string(driver.Timeout()) +
                        " ms after the script ended\nWindows:\n" + windows);
  }
  if (run->error) std::rethrow_exception(run->error);
  return run->result;
}

INT_PTR RunWithUiHere(const std::function<INT_PTR()>& modal, const std::function<void(UiDriver&)>& script,
                      int timeoutMs) {
  auto run = std::make_shared<UiRun>();
  run->tid = UiThreadId();
  CurrentQueue();
  std::function<void(UiDriver&)> steps = script;
  auto scriptError = std::make_shared<std::exception_ptr>();
  auto late = std::make_shared<bool>(false);
  std::thread aside([run, steps, scriptError, late, timeoutMs] {
    UiDriver driver(timeoutMs);
    try {
      steps(driver);
    } catch (...) {
      *scriptError = std::current_exception();
    }
    // The modal call gets the driver's time-out to finish after the script; then its dialogs are ended.
    std::unique_lock<std::mutex> l(run->m);
    if (!run->cv.wait_for(l, std::chrono::milliseconds(*scriptError ? 0 : driver.Timeout()), [&] { return run->done; })) {
      *late = !*scriptError;
      while (!run->done) {
        l.unlock();
        Unwind(run->tid);
        l.lock();
        run->cv.wait_for(l, std::chrono::milliseconds(100), [&] { return run->done; });
      }
    }
  });
  INT_PTR result = 0;
  std::exception_ptr modalError;
  try {
    result = modal();
  } catch (...) {
    modalError = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> l(run->m);
    run->done = true;
  }
  run->cv.notify_all();
  aside.join();
  if (*scriptError) {
    try {
      std::rethrow_exception(*scriptError);
    } catch (const UiDriverError&) {
      throw;
    } catch (const std::exception& e) {
      throw UiDriverError(std::string("the script failed: ") + e.what());
    }
  }
  if (*late) throw UiDriverTimeout("the modal call did not return after the script ended");
  if (modalError) std::rethrow_exception(modalError);
  return result;
}

}  // namespace kx
