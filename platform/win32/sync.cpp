#include "platform/win32/sync.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <new>
#include <thread>
#include <vector>

#include "platform/win32/errors.h"
#include "platform/win32/handles.h"

namespace kx {

KernelObject::~KernelObject() = default;

namespace {

std::mutex g_tableMutex;
std::map<uintptr_t, std::shared_ptr<KernelObject>>& Table() {
  static auto* t = new std::map<uintptr_t, std::shared_ptr<KernelObject>>();
  return *t;
}
uintptr_t g_nextHandle = 0x100;

std::mutex& GlobalWaitMutex() {
  static auto* m = new std::mutex();
  return *m;
}
std::condition_variable& WaitCv() {
  static auto* cv = new std::condition_variable();
  return *cv;
}

class Event : public Waitable {
 public:
  Event(bool manual, bool state) : manual_(manual), state_(state) {}
  bool IsSignalled(DWORD) const override { return state_; }
  bool Acquire(DWORD) override {
    if (!manual_) state_ = false;
    return false;
  }
  bool manual_;
  bool state_;
};

class Mutex;
// Mutexes the current thread owns; they are abandoned when the thread ends.
struct OwnedMutexes {
  std::vector<std::weak_ptr<Mutex>> list;
  ~OwnedMutexes();
};
thread_local OwnedMutexes t_owned;

class Mutex : public Waitable, public std::enable_shared_from_this<Mutex> {
 public:
  bool IsSignalled(DWORD tid) const override { return owner_ == 0 || owner_ == tid; }
  bool Acquire(DWORD tid) override {
    if (owner_ == 0) t_owned.list.push_back(weak_from_this());
    owner_ = tid;
    ++count_;
    bool abandoned = abandoned_;
    abandoned_ = false;
    return abandoned;
  }
  DWORD owner_ = 0;
  int count_ = 0;
  bool abandoned_ = false;
};

OwnedMutexes::~OwnedMutexes() {
  DWORD tid = ::GetCurrentThreadId();
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(GlobalWaitMutex());
    for (auto& w : list) {
      if (auto m = w.lock()) {
        if (m->owner_ == tid) {
          m->owner_ = 0;
          m->count_ = 0;
          m->abandoned_ = true;
          changed = true;
        }
      }
    }
  }
  if (changed) WaitCv().notify_all();
}

class Semaphore : public Waitable {
 public:
  Semaphore(LONG count, LONG max) : count_(count), max_(max) {}
  bool IsSignalled(DWORD) const override { return count_ > 0; }
  bool Acquire(DWORD) override {
    --count_;
    return false;
  }
  LONG count_;
  LONG max_;
};

class Thread : public Waitable {
 public:
  bool IsSignalled(DWORD) const override { return done_; }
  bool done_ = false;
  bool suspended_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  DWORD tid_ = 0;
};

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  uintptr_t h = g_nextHandle;
  g_nextHandle += 4;
  Table()[h] = std::move(object);
  return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE h) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = Table().find(reinterpret_cast<uintptr_t>(h));
  if (it == Table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

bool RemoveHandle(HANDLE h) {
  std::shared_ptr<KernelObject> keep;  // destroyed after the table lock is released
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = Table().find(reinterpret_cast<uintptr_t>(h));
  if (it == Table().end()) return false;
  keep = std::move(it->second);
  Table().erase(it);
  return true;
}

std::mutex& WaitLock() { return GlobalWaitMutex(); }

void NotifyWaiters() {
  { std::lock_guard<std::mutex> lock(GlobalWaitMutex()); }
  WaitCv().notify_all();
}

DWORD WaitForObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                     const std::function<bool()>& extraReady) {
  if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && !handles) || (count == 0 && !extraReady)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<Waitable>> objs;
  for (DWORD i = 0; i < count; ++i) {
    auto o = LookupHandleAs<Waitable>(handles[i]);
    if (!o) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objs.push_back(std::move(o));
  }
  DWORD tid = ::GetCurrentThreadId();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<std::mutex> lock(GlobalWaitMutex());
  for (;;) {
    if (!waitAll) {
      for (DWORD i = 0; i < count; ++i) {
        if (objs[i]->IsSignalled(tid)) {
          bool abandoned = objs[i]->Acquire(tid);
          return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
        }
      }
    } else if (count > 0) {
      bool all = true;
      for (auto& o : objs) all = all && o->IsSignalled(tid);
      if (all) {
        DWORD result = WAIT_OBJECT_0;
        for (DWORD i = 0; i < count; ++i)
          if (objs[i]->Acquire(tid) && result == WAIT_OBJECT_0) result = WAIT_ABANDONED_0 + i;
        return result;
      }
    }
    if (extraReady && extraReady()) return WAIT_OBJECT_0 + count;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
      WaitCv().wait(lock);
    } else if (WaitCv().wait_until(lock, deadline) == std::cv_status::timeout) {
      milliseconds = 0;  // one last look, then time out
    }
  }
}

}  // namespace kx

using namespace kx;

BOOL CloseHandle(HANDLE h) {
  if (h == GetCurrentProcess() || h == GetCurrentThread()) return TRUE;
  if (!RemoveHandle(h)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }
DWORD GetCurrentThreadId() {
  static thread_local DWORD tid = static_cast<DWORD>(syscall(SYS_gettid));
  return tid;
}
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

namespace {

HANDLE StartThread(std::function<DWORD()> body, DWORD flags, DWORD* threadId) {
  auto t = std::make_shared<Thread>();
  t->suspended_ = (flags & CREATE_SUSPENDED) != 0;
  HANDLE h = InsertHandle(t);
  std::mutex started;
  std::condition_variable startedCv;
  bool haveId = false;
  try {
    std::thread([t, body = std::move(body), &started, &startedCv, &haveId]() {
      {
        // Notify under the lock: the creator's stack (which holds these) may go away right after.
        std::lock_guard<std::mutex> lock(started);
        t->tid_ = ::GetCurrentThreadId();
        haveId = true;
        startedCv.notify_all();
      }
      {
        std::unique_lock<std::mutex> lock(GlobalWaitMutex());
        WaitCv().wait(lock, [&] { return !t->suspended_; });
      }
      DWORD code = body();
      {
        std::lock_guard<std::mutex> lock(GlobalWaitMutex());
        t->exitCode_ = code;
        t->done_ = true;
      }
      WaitCv().notify_all();
    }).detach();
  } catch (const std::system_error&) {
    RemoveHandle(h);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(started);
  startedCv.wait(lock, [&] { return haveId; });
  if (threadId) *threadId = t->tid_;
  return h;
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID param, DWORD flags,
                    LPDWORD threadId) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return StartThread([start, param] { return start(param); }, flags, threadId);
}

uintptr_t _beginthreadex(void*, unsigned, unsigned (*start)(void*), void* arg, unsigned flags, unsigned* threadId) {
  if (!start) return 0;
  DWORD tid = 0;
  HANDLE h = StartThread([start, arg] { return static_cast<DWORD>(start(arg)); }, flags, &tid);
  if (threadId) *threadId = tid;
  return reinterpret_cast<uintptr_t>(h);
}

DWORD ResumeThread(HANDLE thread) {
  auto t = LookupHandleAs<Thread>(thread);
  if (!t) { SetLastError(ERROR_INVALID_HANDLE); return static_cast<DWORD>(-1); }
  DWORD previous;
  {
    std::lock_guard<std::mutex> lock(GlobalWaitMutex());
    previous = t->suspended_ ? 1 : 0;
    t->suspended_ = false;
  }
  WaitCv().notify_all();
  return previous;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto t = LookupHandleAs<Thread>(thread);
  if (!t || !exitCode) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
  std::lock_guard<std::mutex> lock(GlobalWaitMutex());
  *exitCode = t->exitCode_;
  return TRUE;
}

DWORD GetThreadId(HANDLE thread) {
  if (thread == GetCurrentThread()) return GetCurrentThreadId();
  auto t = LookupHandleAs<Thread>(thread);
  if (!t) { SetLastError(ERROR_INVALID_HANDLE); return 0; }
  return t->tid_;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HANDLE CreateEvent(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

static BOOL SetEventState(HANDLE event, bool state) {
  auto e = LookupHandleAs<Event>(event);
  if (!e) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
  {
    std::lock_guard<std::mutex> lock(GlobalWaitMutex());
    e->state_ = state;
  }
  if (state) WaitCv().notify_all();
  return TRUE;
}
BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }
BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

HANDLE CreateMutex(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR) {
  auto m = std::make_shared<Mutex>();
  if (initialOwner) {
    std::lock_guard<std::mutex> lock(GlobalWaitMutex());
    m->Acquire(GetCurrentThreadId());
  }
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(m);
}

BOOL ReleaseMutex(HANDLE mutex) {
  auto m = LookupHandleAs<Mutex>(mutex);
  if (!m) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
  {
    std::lock_guard<std::mutex> lock(GlobalWaitMutex());
    if (m->owner_ != GetCurrentThreadId()) {
      SetLastError(ERROR_NOT_OWNER);
      return FALSE;
    }
    if (--m->count_ > 0) return TRUE;
    m->owner_ = 0;
  }
  WaitCv().notify_all();
  return TRUE;
}

HANDLE CreateSemaphore(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(std::make_shared<Semaphore>(initialCount, maximumCount));
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount) {
  auto s = LookupHandleAs<Semaphore>(semaphore);
  if (!s) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
  if (releaseCount <= 0) { SetLastError(ERROR_INVALID_PARAMETER); return FALSE; }
  {
    std::lock_guard<std::mutex> lock(GlobalWaitMutex());
    if (static_cast<long long>(s->count_) + releaseCount > s->max_) {
      SetLastError(ERROR_TOO_MANY_POSTS);
      return FALSE;
    }
    if (previousCount) *previousCount = s->count_;
    s->count_ += releaseCount;
  }
  WaitCv().notify_all();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) { return WaitForObjects(1, &h, FALSE, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return WaitForObjects(count, handles, waitAll, milliseconds);
}

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque), "critical section storage too small");

static pthread_mutex_t* CsMutex(LPCRITICAL_SECTION cs) { return reinterpret_cast<pthread_mutex_t*>(cs->opaque); }

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(new (cs->opaque) pthread_mutex_t, &attr);
  pthread_mutexattr_destroy(&attr);
}
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD) {
  InitializeCriticalSection(cs);
  return TRUE;
}
void EnterCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_lock(CsMutex(cs)); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return pthread_mutex_trylock(CsMutex(cs)) == 0; }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_unlock(CsMutex(cs)); }
void DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(CsMutex(cs)); }

DWORD TlsAlloc() {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return TLS_OUT_OF_INDEXES;
  }
  return static_cast<DWORD>(key);
}
BOOL TlsFree(DWORD index) {
  if (pthread_key_delete(static_cast<pthread_key_t>(index)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
LPVOID TlsGetValue(DWORD index) {
  SetLastError(ERROR_SUCCESS);
  return pthread_getspecific(static_cast<pthread_key_t>(index));
}
BOOL TlsSetValue(DWORD index, LPVOID value) {
  if (pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
