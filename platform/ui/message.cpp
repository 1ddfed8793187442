// Per-thread message queues: sending (same thread and cross-thread), posting, retrieval, dispatch, timers,
// hooks, the clock.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include "platform/ui/display.h"
#include "platform/ui/internal.h"
#include "platform/win32/handles.h"
#include "platform/win32/sync.h"

namespace kx::ui {

namespace {

std::map<DWORD, QueuePtr>& Queues() {
  static auto* q = new std::map<DWORD, QueuePtr>();
  return *q;
}

std::vector<Hook>& Hooks() {
  static auto* h = new std::vector<Hook>();
  return *h;
}
uintptr_t g_nextHook = 0x30010;

std::atomic<bool> g_manualClock{false};
std::atomic<uint64_t> g_manualNow{0};
std::condition_variable& g_driverCv = *new std::condition_variable();

// Thread exit: the thread's windows go away without messages, senders waiting for it are released.
struct ThreadExit {
  QueuePtr q;
  ~ThreadExit() {
    if (!q) return;
    {
      Guard g(Lock());
      q->alive = false;
      for (auto& s : q->incoming) {
        s->done = true;
        if (s->sender) s->sender->cv.notify_all();
      }
      q->incoming.clear();
      Queues().erase(q->threadId);
      g_driverCv.notify_all();
    }
    // Windows of the ended thread are removed quietly (their procedures may no longer be callable).
    Guard g(Lock());
    DropThreadWindowsLocked(q->threadId);
  }
};

thread_local ThreadExit t_exit;

}  // namespace

DWORD ThreadId() { return ::GetCurrentThreadId(); }

namespace {

// Threads waiting in MsgWaitForMultipleObjects wait in the kernel's wait; the kernel is told of queue changes
// by a helper thread, because it must be told outside the window system's lock.
std::atomic<int> g_msgWaiters{0};
bool g_notifyPending = false;
// Never destroyed: the helper thread may still wait on it when the process ends.
std::condition_variable& g_notifyCv = *new std::condition_variable();

void NotifierLoop() {
  Guard g(Lock());
  for (;;) {
    g_notifyCv.wait(g, [] { return g_notifyPending; });
    g_notifyPending = false;
    g.unlock();
    kx::NotifyWaiters();
    g.lock();
  }
}

void StartNotifier() {
  static std::once_flag once;
  std::call_once(once, [] { std::thread(NotifierLoop).detach(); });
}

}  // namespace

void WakeLocked(Queue& q) {
  KX_ASSERT_LOCKED();
  q.cv.notify_all();
  if (g_msgWaiters > 0) {
    g_notifyPending = true;
    g_notifyCv.notify_one();
  }
}

uint64_t Now() {
  if (g_manualClock) return g_manualNow;
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now() - start).count()) + 1000;
}

QueuePtr CurrentQueue() {
  if (t_exit.q) return t_exit.q;
  auto q = std::make_shared<Queue>();
  q->threadId = ThreadId();
  {
    Guard g(Lock());
    Queues()[q->threadId] = q;
  }
  t_exit.q = q;
  return q;
}

QueuePtr QueueOfLocked(DWORD threadId) {
  KX_ASSERT_LOCKED();
  auto it = Queues().find(threadId);
  return it == Queues().end() ? nullptr : it->second;
}

void WakeAllLocked() {
  KX_ASSERT_LOCKED();
  for (auto& [id, q] : Queues()) WakeLocked(*q);
}

std::condition_variable& DriverCv() { return g_driverCv; }

bool OnThreadOf(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  return !w || !w->queue || w->threadId == ThreadId();
}

// ----- hooks -----
bool HasHooks(int type) {
  Guard g(Lock());
  DWORD tid = ThreadId();
  for (const Hook& h : Hooks())
    if (h.type == type && (h.threadId == 0 || h.threadId == tid)) return true;
  return false;
}

namespace {

// The chain of hooks of a type that apply to the calling thread: thread hooks first, newest first.
std::vector<Hook> Chain(int type) {
  std::vector<Hook> out;
  DWORD tid = ThreadId();
  Guard g(Lock());
  for (auto it = Hooks().rbegin(); it != Hooks().rend(); ++it)
    if (it->type == type && it->threadId == tid) out.push_back(*it);
  for (auto it = Hooks().rbegin(); it != Hooks().rend(); ++it)
    if (it->type == type && it->threadId == 0) out.push_back(*it);
  return out;
}

}  // namespace

LRESULT CallHookChain(int type, int code, WPARAM wp, LPARAM lp, bool* any) {
  std::vector<Hook> chain = Chain(type);
  *any = !chain.empty();
  if (chain.empty()) return 0;
  return chain.front().proc(code, wp, lp);
}

void CallHooks(int type, int code, WPARAM wp, LPARAM lp) {
  bool any;
  CallHookChain(type, code, wp, lp, &any);
}

void RemoveWindowTimers(Queue& q, HWND hwnd) {
  q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                 q.timers.end());
}

namespace {

// Calls a window procedure for a sent message, with the call hooks around it.
LRESULT DeliverSent(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool interThread) {
  if (HasHooks(WH_CALLWNDPROC)) {
    CWPSTRUCT cwp{lp, wp, msg, hwnd};
    CallHooks(WH_CALLWNDPROC, HC_ACTION, interThread ? 0 : 1, reinterpret_cast<LPARAM>(&cwp));
    // A hook may change the message's values.
    hwnd = cwp.hwnd;
    msg = cwp.message;
    wp = cwp.wParam;
    lp = cwp.lParam;
  }
  LRESULT r = CallProc(hwnd, msg, wp, lp);
  if (HasHooks(WH_CALLWNDPROCRET)) {
    CWPRETSTRUCT ret{r, lp, wp, msg, hwnd};
    CallHooks(WH_CALLWNDPROCRET, HC_ACTION, interThread ? 0 : 1, reinterpret_cast<LPARAM>(&ret));
  }
  return r;
}

// Answers the messages other threads sent to this one. Called with the lock held; releases it while calling out.
bool ProcessSent(Guard& g, Queue& q) {
  bool any = false;
  while (!q.incoming.empty()) {
    SentPtr s = q.incoming.front();
    q.incoming.pop_front();
    if (s->abandoned) continue;
    any = true;
    q.inProgress.push_back(s);
    g.unlock();
    LRESULT r = s->task ? s->task() : DeliverSent(s->hwnd, s->msg, s->wParam, s->lParam, true);
    g.lock();
    q.inProgress.pop_back();
    if (!s->replied) s->result = r;
    s->done = true;
    if (s->sender) s->sender->cv.notify_all();
  }
  return any;
}

bool Matches(const MSG& m, HWND filter, UINT first, UINT last) {
  if (filter && m.hwnd != filter) {
    // A window filter also takes the window's children.
    WindowPtr w = FindLocked(m.hwnd);
    WindowPtr f = FindLocked(filter);
    if (!w || !f || !IsChildOf(*f, *w)) return false;
  }
  if (first == 0 && last == 0) return true;
  if (first <= last) return m.message >= first && m.message <= last;
  return true;
}

bool RangeHas(UINT msg, UINT first, UINT last) {
  if (first == 0 && last == 0) return true;
  return msg >= first && msg <= last;
}

// Finds the next message for GetMessage/PeekMessage; returns false when there is none (and `wait` is false).
bool Fetch(MSG* out, HWND filter, UINT first, UINT last, UINT remove, bool wait) {
  QueuePtr qp = CurrentQueue();
  Queue& q = *qp;
  Display& display = CurrentDisplay();
  bool presented = false;
  Guard g(Lock());
  for (;;) {
    ProcessSent(g, q);
    // Markers of the UI driver at the head of the queues are taken silently.
    while (!q.input.empty() && q.input.front().kind == QKind::Marker) {
      q.markerDone = std::max(q.markerDone, q.input.front().marker);
      q.input.pop_front();
      g_driverCv.notify_all();
    }
    bool restart = false;
    for (auto* list : {&q.posted, &q.input}) {
      for (auto it = list->begin(); it != list->end() && !restart; ++it) {
        if (it->kind == QKind::Marker) break;  // input keeps its order behind a marker
        if (it->hitTest) {
          // The mouse message's window is found now, in order, by asking this thread's windows.
          uint64_t seq = it->seq;
          MSG m = it->msg;
          g.unlock();
          bool taken = ResolveMouse(m);
          g.lock();
          auto same = std::find_if(list->begin(), list->end(), [&](const QMsg& e) { return e.seq == seq; });
          if (same != list->end()) {
            if (taken) {
              same->msg = m;
              same->hitTest = false;
            } else {
              list->erase(same);
            }
          }
          restart = true;
          break;
        }
        MSG m = it->msg;
        if (it->kind == QKind::Key) {
          // Keys go to the window that has the focus when they are taken.
          m.hwnd = q.focus ? q.focus : q.active;
          if (!m.hwnd) {
            if (remove & PM_REMOVE) {
              list->erase(it);
              restart = true;
              break;
            }
            continue;
          }
        }
        if (!Matches(m, filter, first, last)) continue;
        QKind kind = it->kind;
        if (remove & PM_REMOVE) list->erase(it);
        q.lastTime = m.time;
        q.lastPos = m.pt;
        g.unlock();
        if (kind != QKind::Posted && (remove & PM_REMOVE)) PreprocessInput(m);
        *out = m;
        return true;
      }
      if (restart) break;
    }
    if (restart) continue;
    if (q.quit && RangeHas(WM_QUIT, first, last)) {
      MSG m{};
      m.message = WM_QUIT;
      m.wParam = static_cast<WPARAM>(q.quitCode);
      m.time = static_cast<DWORD>(Now());
      if (remove & PM_REMOVE) q.quit = false;
      *out = m;
      return true;
    }
    if (RangeHas(WM_PAINT, first, last)) {
      if (HWND h = NextPaintWindowLocked(q, filter)) {
        MSG m{};
        m.hwnd = h;
        m.message = WM_PAINT;
        m.time = static_cast<DWORD>(Now());
        *out = m;
        return true;
      }
    }
    if (RangeHas(WM_TIMER, first, last)) {
      uint64_t now = Now();
      for (Timer& t : q.timers) {
        if (t.due > now) continue;
        MSG m{};
        m.hwnd = t.hwnd;
        if (filter && !Matches(m, filter, 0, 0)) continue;
        m.message = WM_TIMER;
        m.wParam = t.id;
        m.lParam = reinterpret_cast<LPARAM>(t.proc);
        m.time = static_cast<DWORD>(now);
        if (remove & PM_REMOVE) t.due = now + t.elapse;
        *out = m;
        return true;
      }
    }
    if (!presented && display.Live()) {
      // Nothing left to do for now: what was painted goes to the screen before the thread waits.
      presented = true;
      g.unlock();
      display.Present();
      g.lock();
      continue;
    }
    ++q.idleCount;
    g_driverCv.notify_all();
    if (!wait) return false;
    uint64_t next = UINT64_MAX;
    for (const Timer& t : q.timers) next = std::min(next, t.due);
    q.waiting = true;
    g_driverCv.notify_all();
    if (next == UINT64_MAX || g_manualClock) {
      q.cv.wait(g);
    } else {
      uint64_t now = Now();
      q.cv.wait_for(g, std::chrono::milliseconds(next > now ? next - now : 0));
    }
    q.waiting = false;
    presented = false;
  }
}

}  // namespace

void PostInputLocked(const QueuePtr& q, const MSG& msg, QKind kind, bool hitTest) {
  KX_ASSERT_LOCKED();
  static uint64_t next = 1;
  QMsg m;
  m.msg = msg;
  m.kind = kind;
  m.seq = next++;
  m.hitTest = hitTest;
  q->input.push_back(m);
  WakeLocked(*q);
}

uint64_t PostMarker(const QueuePtr& q) {
  static uint64_t next = 1;
  QMsg m;
  m.kind = QKind::Marker;
  m.marker = next++;
  q->input.push_back(m);
  WakeLocked(*q);
  return m.marker;
}

bool PostTask(HWND hwnd, const std::function<void()>& fn) {
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w || w->destroyed || !w->queue || !w->queue->alive) return false;
  auto s = std::make_shared<Sent>();
  s->task = [fn] {
    fn();
    return LRESULT{0};
  };
  s->notify = true;
  w->queue->incoming.push_back(s);
  WakeLocked(*w->queue);
  return true;
}

LRESULT RunOn(HWND hwnd, const std::function<LRESULT()>& fn) {
  QueuePtr target;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w) return 0;
    target = w->queue;
  }
  QueuePtr me = CurrentQueue();
  if (!target || target == me) return fn();
  auto s = std::make_shared<Sent>();
  s->task = fn;
  s->sender = me;
  Guard g(Lock());
  if (!target->alive) return 0;
  target->incoming.push_back(s);
  WakeLocked(*target);
  while (!s->done) {
    ProcessSent(g, *me);
    if (s->done) break;
    me->cv.wait(g);
  }
  return s->result;
}

}  // namespace kx::ui

using namespace kx::ui;

DWORD kx::UiThreadId() { return ThreadId(); }
DWORD kx::UiTickCount() { return static_cast<DWORD>(Now()); }

void kx::UseManualClock(bool manual) {
  if (manual) g_manualNow = Now();
  g_manualClock = manual;
  Guard g(Lock());
  WakeAllLocked();
}

void kx::AdvanceManualClock(DWORD ms) {
  g_manualNow += ms;
  Guard g(Lock());
  WakeAllLocked();
}

// ----- sending -----
namespace {

LRESULT SendCore(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT timeoutMs, bool* timedOut, bool notify) {
  if (timedOut) *timedOut = false;
  if (hwnd == HWND_BROADCAST) {
    std::vector<HWND> tops;
    {
      Guard g(Lock());
      tops = TopLevels();
    }
    for (HWND h : tops) SendCore(h, msg, wp, lp, timeoutMs, nullptr, true);
    return 0;
  }
  QueuePtr target;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w || w->destroyed) return 0;
    target = w->queue;
  }
  QueuePtr me = CurrentQueue();
  if (!target || target == me) return DeliverSent(hwnd, msg, wp, lp, false);
  auto s = std::make_shared<Sent>();
  s->hwnd = hwnd;
  s->msg = msg;
  s->wParam = wp;
  s->lParam = lp;
  s->notify = notify;
  s->sender = notify ? nullptr : me;
  Guard g(Lock());
  if (!target->alive) return 0;
  target->incoming.push_back(s);
  WakeLocked(*target);
  if (notify) return 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!s->done) {
    // A thread waiting in a send still answers the messages sent to it.
    ProcessSent(g, *me);
    if (s->done) break;
    if (timeoutMs == INFINITE) {
      me->cv.wait(g);
    } else if (me->cv.wait_until(g, deadline) == std::cv_status::timeout && !s->done) {
      s->abandoned = true;
      if (timedOut) *timedOut = true;
      return 0;
    }
  }
  return s->result;
}

}  // namespace

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendCore(hwnd, msg, wParam, lParam, INFINITE, nullptr, false);
}

LRESULT SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout, PDWORD_PTR result) {
  if (!IsWindow(hwnd)) return 0;
  bool timedOut = false;
  LRESULT r = SendCore(hwnd, msg, wParam, lParam, timeout, &timedOut, false);
  if (timedOut) return 0;
  if (result) *result = static_cast<DWORD_PTR>(r);
  return 1;
}

BOOL SendNotifyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(hwnd)) return FALSE;
  SendCore(hwnd, msg, wParam, lParam, INFINITE, nullptr, !OnThreadOf(hwnd));
  return TRUE;
}

BOOL InSendMessage() {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  return q->inProgress.empty() ? FALSE : TRUE;
}

DWORD InSendMessageEx(LPVOID) {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  if (q->inProgress.empty()) return ISMEX_NOSEND;
  SentPtr s = q->inProgress.back();
  return (s->notify ? ISMEX_NOTIFY : ISMEX_SEND) | (s->replied ? ISMEX_REPLIED : 0);
}

BOOL ReplyMessage(LRESULT result) {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  if (q->inProgress.empty()) return FALSE;
  SentPtr s = q->inProgress.back();
  if (s->replied || s->notify) return FALSE;
  s->replied = true;
  s->result = result;
  s->done = true;
  if (s->sender) s->sender->cv.notify_all();
  return TRUE;
}

// ----- posting -----
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!hwnd) return PostThreadMessage(ThreadId(), msg, wParam, lParam);
  if (hwnd == HWND_BROADCAST) {
    std::vector<HWND> tops;
    {
      Guard g(Lock());
      tops = TopLevels();
    }
    for (HWND h : tops) PostMessage(h, msg, wParam, lParam);
    return TRUE;
  }
  Guard g(Lock());
  WindowPtr w = FindLocked(hwnd);
  if (!w || w->destroyed || !w->queue || !w->queue->alive) return FALSE;
  QMsg m;
  m.msg = MSG{hwnd, msg, wParam, lParam, static_cast<DWORD>(Now()), w->queue->lastPos};
  w->queue->posted.push_back(m);
  WakeLocked(*w->queue);
  return TRUE;
}

BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (threadId == ThreadId()) CurrentQueue();
  Guard g(Lock());
  QueuePtr q = QueueOfLocked(threadId);
  if (!q || !q->alive) return FALSE;
  QMsg m;
  m.msg = MSG{nullptr, msg, wParam, lParam, static_cast<DWORD>(Now()), q->lastPos};
  q->posted.push_back(m);
  WakeLocked(*q);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  q->quit = true;
  q->quitCode = exitCode;
  WakeLocked(*q);
}

// ----- retrieval and dispatch -----
BOOL GetMessage(LPMSG msg, HWND hwnd, UINT first, UINT last) {
  if (!msg) return -1;
  if (hwnd && !IsWindow(hwnd)) return -1;
  Fetch(msg, hwnd, first, last, PM_REMOVE, true);
  if (HasHooks(WH_GETMESSAGE)) CallHooks(WH_GETMESSAGE, HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(msg));
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessage(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove) {
  if (!msg) return FALSE;
  if (!Fetch(msg, hwnd, first, last, remove, false)) return FALSE;
  if (HasHooks(WH_GETMESSAGE)) CallHooks(WH_GETMESSAGE, HC_ACTION, remove & PM_REMOVE, reinterpret_cast<LPARAM>(msg));
  return TRUE;
}

BOOL WaitMessage() {
  CurrentDisplay().Present();
  QueuePtr qp = CurrentQueue();
  Queue& q = *qp;
  Guard g(Lock());
  for (;;) {
    ProcessSent(g, q);
    bool ready = !q.posted.empty() || !q.input.empty() || q.quit || NextPaintWindowLocked(q, nullptr);
    uint64_t now = Now(), next = UINT64_MAX;
    for (const Timer& t : q.timers) {
      if (t.due <= now) ready = true;
      next = std::min(next, t.due);
    }
    if (ready) return TRUE;
    ++q.idleCount;
    q.waiting = true;
    g_driverCv.notify_all();
    if (next == UINT64_MAX || g_manualClock) q.cv.wait(g);
    else q.cv.wait_for(g, std::chrono::milliseconds(next - now));
    q.waiting = false;
  }
}

DWORD GetQueueStatus(UINT flags) {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  DWORD st = 0;
  for (const QMsg& m : q->input) {
    if (m.kind == QKind::Key) st |= QS_KEY;
    if (m.kind == QKind::Mouse) st |= (m.msg.message == WM_MOUSEMOVE ? QS_MOUSEMOVE : QS_MOUSEBUTTON);
  }
  if (!q->posted.empty()) st |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  if (!q->incoming.empty()) st |= QS_SENDMESSAGE;
  if (NextPaintWindowLocked(*q, nullptr)) st |= QS_PAINT;
  uint64_t now = Now();
  for (const Timer& t : q->timers)
    if (t.due <= now) st |= QS_TIMER;
  st &= flags;
  return MAKELONG(st, st);
}

BOOL GetInputState() { return (GetQueueStatus(QS_INPUT) & 0xFFFF) ? TRUE : FALSE; }

DWORD GetMessageTime() {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  return q->lastTime;
}

DWORD GetMessagePos() {
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  return MAKELONG(static_cast<WORD>(q->lastPos.x), static_cast<WORD>(q->lastPos.y));
}

LPARAM GetMessageExtraInfo() { return 0; }

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, static_cast<DWORD>(Now()));
    return 0;
  }
  if (!msg->hwnd) return 0;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(msg->hwnd);
    if (!w || w->destroyed || w->threadId != ThreadId()) return 0;
  }
  LRESULT r = CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  if (msg->message == WM_PAINT) {
    // A window procedure that does not validate would be asked forever; the platform validates for it.
    Guard g(Lock());
    if (WindowPtr w = FindLocked(msg->hwnd)) {
      w->internalPaint = false;
    }
  }
  return r;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!proc) return 0;
  return proc(hwnd, msg, wParam, lParam);
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wakeMask, DWORD flags) {
  QueuePtr qp = CurrentQueue();
  CurrentDisplay().Present();
  StartNotifier();
  // Ready when input of the asked kinds waits; messages sent by other threads always end the wait, so that the
  // caller's message loop answers them.
  auto ready = [qp, wakeMask] {
    Guard g(Lock());
    Queue& q = *qp;
    if (!q.incoming.empty()) return true;
    if ((wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) && (!q.posted.empty() || q.quit)) return true;
    if ((wakeMask & QS_INPUT) && !q.input.empty()) return true;
    if ((wakeMask & QS_PAINT) && NextPaintWindowLocked(q, nullptr)) return true;
    if (wakeMask & QS_TIMER) {
      uint64_t now = Now();
      for (const Timer& t : q.timers)
        if (t.due <= now) return true;
    }
    return false;
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  ++g_msgWaiters;
  DWORD r;
  for (;;) {
    DWORD slice = milliseconds;
    {
      Guard g(Lock());
      ++qp->idleCount;
      qp->waiting = true;
      DriverCv().notify_all();
      uint64_t now = Now(), next = UINT64_MAX;
      if (wakeMask & QS_TIMER)
        for (const Timer& t : qp->timers) next = std::min(next, t.due);
      if (next != UINT64_MAX && !g_manualClock) slice = std::min<uint64_t>(slice, next > now ? next - now : 0);
      if (g_manualClock && (wakeMask & QS_TIMER) && next != UINT64_MAX) slice = std::min<DWORD>(slice, 20);
    }
    r = kx::WaitForObjects(count, handles, (flags & MWMO_WAITALL) ? TRUE : FALSE, slice, ready);
    if (r != WAIT_TIMEOUT) break;
    if (ready()) {
      r = WAIT_OBJECT_0 + count;
      break;
    }
    if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) break;
  }
  --g_msgWaiters;
  Guard g(Lock());
  qp->waiting = false;
  return r;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
  return MsgWaitForMultipleObjectsEx(count, handles, milliseconds, wakeMask, waitAll ? MWMO_WAITALL : 0);
}

// ----- timers -----
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  QueuePtr q;
  {
    Guard g(Lock());
    if (hwnd) {
      WindowPtr w = FindLocked(hwnd);
      if (!w || !w->queue) return 0;
      q = w->queue;
    }
  }
  if (!q) q = CurrentQueue();
  Guard g(Lock());
  if (!hwnd) {
    // Thread timers get ids of their own.
    static UINT_PTR nextId = 0x7000;
    bool exists = false;
    for (const Timer& t : q->timers)
      if (!t.hwnd && t.id == id && id) exists = true;
    if (!exists) id = ++nextId;
  }
  for (Timer& t : q->timers)
    if (t.hwnd == hwnd && t.id == id) {
      t.elapse = elapse;
      t.due = Now() + elapse;
      t.proc = proc;
      WakeLocked(*q);
      return hwnd ? (id ? id : 1) : id;
    }
  q->timers.push_back(Timer{hwnd, id, elapse, Now() + elapse, proc});
  WakeLocked(*q);
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  QueuePtr q;
  {
    Guard g(Lock());
    if (hwnd) {
      WindowPtr w = FindLocked(hwnd);
      if (!w || !w->queue) return FALSE;
      q = w->queue;
    }
  }
  if (!q) q = CurrentQueue();
  Guard g(Lock());
  auto it = std::find_if(q->timers.begin(), q->timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == q->timers.end()) return FALSE;
  q->timers.erase(it);
  // A WM_TIMER already taken is not withdrawn; none is generated after this.
  return TRUE;
}

// ----- hooks -----
HHOOK SetWindowsHookEx(int type, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  if (!proc || type < WH_MSGFILTER || type > WH_CALLWNDPROCRET) return nullptr;
  if (threadId == 0) threadId = 0;
  Guard g(Lock());
  Hook h;
  h.handle = reinterpret_cast<HHOOK>(g_nextHook);
  g_nextHook += 4;
  h.type = type;
  h.proc = proc;
  h.threadId = threadId;
  Hooks().push_back(h);
  return h.handle;
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  Guard g(Lock());
  auto& hs = Hooks();
  auto it = std::find_if(hs.begin(), hs.end(), [&](const Hook& h) { return h.handle == hook; });
  if (it == hs.end()) return FALSE;
  hs.erase(it);
  return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  int type = 0;
  {
    Guard g(Lock());
    auto& hs = Hooks();
    auto it = std::find_if(hs.begin(), hs.end(), [&](const Hook& h) { return h.handle == hook; });
    if (it == hs.end()) return 0;
    type = it->type;
  }
  std::vector<Hook> chain = Chain(type);
  for (size_t i = 0; i < chain.size(); ++i)
    if (chain[i].handle == hook) return i + 1 < chain.size() ? chain[i + 1].proc(code, wParam, lParam) : 0;
  return 0;
}

BOOL CallMsgFilter(LPMSG msg, int code) {
  if (!msg) return FALSE;
  bool any = false;
  LRESULT r = CallHookChain(WH_MSGFILTER, code, 0, reinterpret_cast<LPARAM>(msg), &any);
  return r ? TRUE : FALSE;
}
