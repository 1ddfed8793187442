// The window system on an X server: time from the call that shows a dialog to its first complete frame on the
// server, time from a click on Next (through XTest) to the next page's pixels on the server, and the bytes a
// caret step and a caret blink send. Needs a display: `xvfb-run -a build/bin/bench_display`, or a desktop. Every
// wait has a time-out (KX_BENCH_TIMEOUT_MS, 20 s): a click a window manager kept from the window ends the row
// with an error instead of waiting for ever.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/ui/commctrl.h"
#include "platform/ui/dlgbuild.h"
#include "platform/ui/ui.h"
#include "platform/x11/x11display.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr UINT kMake = WM_APP + 1;
constexpr UINT kEnd = WM_APP + 2;
constexpr UINT kFocus = WM_APP + 3;
constexpr int kNext = 100, kEdit = 101, kFirst = 200, kSecond = 300;

std::atomic<uint64_t> g_idle{0};
std::atomic<uint64_t> g_switchIdle{0};
std::atomic<int> g_switches{0};
// The blinks of one edit as its loop takes them, and the idle count when the last one was taken.
std::atomic<HWND> g_blinking{nullptr};
std::atomic<uint64_t> g_blinkIdle{0};
std::atomic<int> g_blinks{0};

using kx::dlg::Item;

int TimeoutMs() {
  const char* t = getenv("KX_BENCH_TIMEOUT_MS");
  int ms = t ? atoi(t) : 0;
  return ms > 0 ? ms : 20000;
}

// Waits until `done` holds; false after the time-out.
template <class F>
bool WaitUntil(F done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs());
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

// A wizard-like page: a heading, labels, edits, check boxes and a list; the second page hidden at first.
kx::DialogTemplate Page() {
  kx::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_VISIBLE;
  t.cx = 317;
  t.cy = 193;
  t.title = "Display bench";
  for (int page = 0; page < 2; ++page) {
    int base = page ? kSecond : kFirst;
    auto add = [&](kx::DialogItemTemplate i) {
      if (page) i.style &= ~WS_VISIBLE;
      t.items.push_back(i);
    };
    add(Item("Static", page ? "Recipients" : "Files and Output Folder", base, 7, 7, 300, 10, 0));
    for (int r = 0; r < 4; ++r) {
      add(Item("Static", "Label of a field:", base + 1 + r * 3, 7, static_cast<short>(26 + r * 22), 80, 8, 0));
      add(Item("Edit", page ? "another value" : "/home/user/documents/report.doc", base + 2 + r * 3, 90,
               static_cast<short>(24 + r * 22), 160, 14, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP));
      add(Item("Button", "&Browse...", base + 3 + r * 3, 256, static_cast<short>(24 + r * 22), 54, 14, WS_TABSTOP));
    }
    add(Item("ListBox", "", base + 20, 7, 116, 303, 40, WS_BORDER | WS_VSCROLL));
  }
  t.items.push_back(Item("Edit", "caret", kEdit, 7, 172, 100, 14, WS_BORDER | WS_TABSTOP));
  t.items.push_back(Item("Button", "&Next >", kNext, 256, 172, 54, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  return t;
}

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) {
    for (int page = 0; page < 2; ++page)
      for (int i = 0; i < 5; ++i) {
        HWND list = GetDlgItem(dlg, (page ? kSecond : kFirst) + 20);
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(page ? "Bob Example <bob@example.com>" : "report.doc"));
        (void)i;
      }
    return TRUE;
  }
  if (msg == WM_COMMAND && LOWORD(wp) == kNext) {
    // The pages change places, as a wizard's Next does.
    bool second = IsWindowVisible(GetDlgItem(dlg, kFirst)) != FALSE;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      int id = GetDlgCtrlID(c);
      if (id >= kFirst && id < kFirst + 100) ShowWindow(c, second ? SW_HIDE : SW_SHOW);
      if (id >= kSecond && id < kSecond + 100) ShowWindow(c, second ? SW_SHOW : SW_HIDE);
    }
    g_switchIdle = g_idle.load();
    ++g_switches;
    return TRUE;
  }
  return FALSE;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kMake) {
    kx::DialogTemplate t = Page();
    return reinterpret_cast<LRESULT>(CreateDialogIndirectParam(nullptr, &t, nullptr, PageProc, 0));
  }
  if (msg == kEnd) {
    DestroyWindow(reinterpret_cast<HWND>(wp));
    return 0;
  }
  if (msg == kFocus) {
    SetFocus(reinterpret_cast<HWND>(wp));
    return 0;
  }
  return DefWindowProc(hwnd, msg, wp, lp);
}

// The UI thread: its loop counts the moments it has nothing left to do (what it painted is on its way then).
class UiThread {
 public:
  UiThread() {
    std::mutex m;
    std::condition_variable cv;
    thread_ = std::thread([&] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = HostProc;
      wc.lpszClassName = "KxDisplayBenchHost";
      RegisterClass(&wc);
      HWND h = CreateWindowEx(0, "KxDisplayBenchHost", "", WS_POPUP, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
      {
        std::lock_guard<std::mutex> l(m);
        host_ = h;
      }
      cv.notify_all();
      MSG msg;
      for (;;) {
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
          if (msg.message == WM_QUIT) return;
          if (msg.message == WM_TIMER && msg.hwnd && msg.hwnd == g_blinking.load()) {
            g_blinkIdle = g_idle.load();
            ++g_blinks;
          }
          if (!IsDialogMessage(GetAncestor(msg.hwnd, GA_ROOT), &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
          }
        }
        ++g_idle;
        WaitMessage();
      }
    });
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return host_ != nullptr; });
    thread_.detach();  // the UI thread lives as long as the benchmark program
  }
  HWND Make() { return reinterpret_cast<HWND>(SendMessage(host_, kMake, 0, 0)); }
  void End(HWND dlg) { SendMessage(host_, kEnd, reinterpret_cast<WPARAM>(dlg), 0); }
  void Focus(HWND control) { SendMessage(host_, kFocus, reinterpret_cast<WPARAM>(control), 0); }

 private:
  std::thread thread_;
  HWND host_ = nullptr;
};

// Waits until the UI thread was idle after `since`, then until the server has handled what was sent; false when
// the UI thread stayed busy past the time-out.
bool OnServer(uint64_t since) {
  if (!WaitUntil([&] { return g_idle.load() > since; })) return false;
  kx::X11Sync();
  return true;
}

bool HaveDisplay(benchmark::State& state) {
  const char* d = getenv("DISPLAY");
  const char* h = getenv("KX_HEADLESS");
  if (!d || !*d || (h && std::string(h) == "1")) {
    state.SkipWithError("needs an X display (DISPLAY set, KX_HEADLESS not 1)");
    return false;
  }
  return true;
}

UiThread& Ui() {
  static UiThread* ui = new UiThread();
  return *ui;
}

void BM_FirstFrameOnTheServer(benchmark::State& state) {
  if (!HaveDisplay(state)) return;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    uint64_t idle = g_idle.load();
    HWND dlg = Ui().Make();
    bool shown = OnServer(idle);
    auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    Ui().End(dlg);
    if (!shown) {
      state.SkipWithError("the dialog's first frame did not reach the server in time");
      break;
    }
  }
}
BENCHMARK(BM_FirstFrameOnTheServer)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ClickOnNextToTheNextPageOnTheServer(benchmark::State& state) {
  if (!HaveDisplay(state)) return;
  Display* dpy = XOpenDisplay(nullptr);
  int ev, err, major, minor;
  if (!dpy || !XTestQueryExtension(dpy, &ev, &err, &major, &minor)) {
    if (dpy) XCloseDisplay(dpy);
    state.SkipWithError("no XTest on the display");
    return;
  }
  uint64_t idle = g_idle.load();
  HWND dlg = Ui().Make();
  OnServer(idle);
  for (auto _ : state) {
    // Next's place now: a window manager may have moved the window since it was shown (its frame, its placement).
    RECT r;
    GetWindowRect(GetDlgItem(dlg, kNext), &r);
    XTestFakeMotionEvent(dpy, -1, (r.left + r.right) / 2, (r.top + r.bottom) / 2, CurrentTime);
    XSync(dpy, False);
    int switches = g_switches.load();
    auto t0 = std::chrono::steady_clock::now();
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);
    if (!WaitUntil([&] { return g_switches.load() != switches; }) || !OnServer(g_switchIdle.load())) {
      state.SkipWithError("the click on Next did not reach the window in time (another window, or a window "
                          "manager's frame, took it)");
      break;
    }
    auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  Ui().End(dlg);
  XCloseDisplay(dpy);
}
BENCHMARK(BM_ClickOnNextToTheNextPageOnTheServer)->UseManualTime()->Unit(benchmark::kMillisecond);

// The caret moving one place in an edit: only the edit's area goes to the server, not the window. The edit has
// the focus, so each key restarts its blink and no blink falls into a step.
void BM_BytesOfACaretStep(benchmark::State& state) {
  if (!HaveDisplay(state)) return;
  uint64_t idle = g_idle.load();
  uint64_t before = kx::X11BytesSent();
  HWND dlg = Ui().Make();
  OnServer(idle);
  uint64_t window = kx::X11BytesSent() - before;
  HWND edit = GetDlgItem(dlg, kEdit);
  idle = g_idle.load();
  Ui().Focus(edit);
  OnServer(idle);
  uint64_t total = 0, steps = 0;
  for (auto _ : state) {
    idle = g_idle.load();
    before = kx::X11BytesSent();
    PostMessage(edit, WM_KEYDOWN, (steps & 1) ? VK_LEFT : VK_RIGHT, 1);
    OnServer(idle);
    total += kx::X11BytesSent() - before;
    ++steps;
  }
  state.counters["bytes_per_caret_step"] = steps ? static_cast<double>(total) / steps : 0;
  state.counters["bytes_of_the_whole_window"] = static_cast<double>(window);
  Ui().End(dlg);
}
BENCHMARK(BM_BytesOfACaretStep)->Iterations(50);

// Waits until the edit's loop has taken one more blink than `seen`, then until the server has its pixels; false
// after the time-out.
bool NextBlinkOnServer(int seen) {
  return WaitUntil([&] { return g_blinks.load() != seen; }) && OnServer(g_blinkIdle.load());
}

// The caret of a focused edit blinking: each blink, taken by the message loop from the edit's own timer, sends the
// caret's few pixels only.
void BM_BytesOfACaretBlink(benchmark::State& state) {
  if (!HaveDisplay(state)) return;
  uint64_t idle = g_idle.load();
  HWND dlg = Ui().Make();
  OnServer(idle);
  HWND edit = GetDlgItem(dlg, kEdit);
  g_blinking = edit;
  Ui().Focus(edit);
  // The focus change and a first blink are out of the way.
  bool blinking = NextBlinkOnServer(g_blinks.load());
  uint64_t total = 0, frames = 0, blinks = 0;
  for (auto _ : state) {
    int seen = g_blinks.load();
    uint64_t before = kx::X11BytesSent(), framesBefore = kx::X11FramesSent();
    if (!blinking || !NextBlinkOnServer(seen)) {
      state.SkipWithError("the focused edit's caret did not blink in time");
      break;
    }
    total += kx::X11BytesSent() - before;
    frames += kx::X11FramesSent() - framesBefore;
    ++blinks;
  }
  g_blinking = nullptr;
  state.counters["bytes_per_caret_blink"] = blinks ? static_cast<double>(total) / blinks : 0;
  state.counters["pieces_per_caret_blink"] = blinks ? static_cast<double>(frames) / blinks : 0;
  Ui().End(dlg);
}
BENCHMARK(BM_BytesOfACaretBlink)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
