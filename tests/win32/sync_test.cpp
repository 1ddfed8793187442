#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/win32/win32.h"

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

struct Pair {
  HANDLE in, out;
};

DWORD Echo(LPVOID p) {
  auto* pair = static_cast<Pair*>(p);
  if (WaitForSingleObject(pair->in, 5000) != WAIT_OBJECT_0) return 1;
  SetEvent(pair->out);
  return 7;
}

TEST(Sync, EventsAcrossThreads) {
  Pair p{CreateEvent(nullptr, FALSE, FALSE, nullptr), CreateEvent(nullptr, TRUE, FALSE, nullptr)};
  DWORD tid = 0;
  HANDLE t = CreateThread(nullptr, 0, Echo, &p, 0, &tid);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(tid, GetCurrentThreadId());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(p.out, 30), WAIT_TIMEOUT);
  SetEvent(p.in);
  EXPECT_EQ(WaitForSingleObject(p.out, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(p.out, 0), WAIT_OBJECT_0);  // manual reset stays set
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);   // the thread handle is signalled at its end
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(WaitForSingleObject(p.in, 0), WAIT_TIMEOUT);  // the auto-reset event was taken by the thread
  CloseHandle(t);
  CloseHandle(p.in);
  CloseHandle(p.out);
  EXPECT_EQ(WaitForSingleObject(p.in, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Sync, WaitForMultipleAnyAndAll) {
  HANDLE e[2] = {CreateEvent(nullptr, FALSE, FALSE, nullptr), CreateEvent(nullptr, FALSE, FALSE, nullptr)};
  // Any: the one set from another thread.
  std::thread setter([&] {
    Sleep(40);
    SetEvent(e[1]);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, e, FALSE, 5000), WAIT_OBJECT_0 + 1);
  setter.join();
  // All, with one of them set: times out and takes nothing.
  SetEvent(e[0]);
  auto start = Clock::now();
  EXPECT_EQ(WaitForMultipleObjects(2, e, TRUE, 100), WAIT_TIMEOUT);
  EXPECT_GE(ElapsedMs(start), 90);
  EXPECT_EQ(WaitForSingleObject(e[0], 0), WAIT_OBJECT_0);  // still set after the failed wait-all
  // All: ends only when the second is set too, and takes both.
  SetEvent(e[0]);
  std::thread late([&] {
    Sleep(40);
    SetEvent(e[1]);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, e, TRUE, 5000), WAIT_OBJECT_0);
  late.join();
  EXPECT_EQ(WaitForMultipleObjects(2, e, FALSE, 0), WAIT_TIMEOUT);
  CloseHandle(e[0]);
  CloseHandle(e[1]);
}

TEST(Sync, ManualResetReleasesEveryWaiter) {
  HANDLE go = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::thread a([&] { if (WaitForSingleObject(go, 5000) == WAIT_OBJECT_0) ++released; });
  std::thread b([&] { if (WaitForSingleObject(go, 5000) == WAIT_OBJECT_0) ++released; });
  Sleep(20);
  SetEvent(go);
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 2);
  ResetEvent(go);
  EXPECT_EQ(WaitForSingleObject(go, 0), WAIT_TIMEOUT);
  CloseHandle(go);
}

TEST(Sync, MutexOwnershipAndAbandonment) {
  HANDLE m = CreateMutex(nullptr, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // recursive
  DWORD other = 0;
  std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(other, WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  // A thread that ends while owning it abandons it; the next owner is told.
  std::thread([&] { WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED_0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  ReleaseMutex(m);
  CloseHandle(m);
}

TEST(Sync, SemaphoresCriticalSectionsInterlocked) {
  HANDLE s = CreateSemaphore(nullptr, 1, 2, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  LONG prev = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 2, &prev));
  EXPECT_EQ(prev, 0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  CloseHandle(s);

  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  volatile LONG counter = 0;
  long plain = 0;
  auto work = [&] {
    for (int i = 0; i < 10000; ++i) {
      InterlockedIncrement(&counter);
      EnterCriticalSection(&cs);
      EnterCriticalSection(&cs);  // recursive
      ++plain;
      LeaveCriticalSection(&cs);
      LeaveCriticalSection(&cs);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  DeleteCriticalSection(&cs);
  EXPECT_EQ(counter, 20000);
  EXPECT_EQ(plain, 20000);
  volatile LONG v = 5;
  EXPECT_EQ(InterlockedCompareExchange(&v, 9, 4), 5);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(InterlockedCompareExchange(&v, 9, 5), 5);
  EXPECT_EQ(v, 9);
  EXPECT_EQ(InterlockedExchange(&v, 1), 9);
}

TEST(Sync, WaitHookForTheWindowSystem) {
  // A message queue of its own ends the wait with WAIT_OBJECT_0 + count.
  HANDLE e = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> posted{false};
  std::thread poster([&] {
    Sleep(30);
    posted = true;
    kx::NotifyWaiters();
  });
  EXPECT_EQ(kx::WaitForObjects(1, &e, FALSE, 5000, [&] { return posted.load(); }), WAIT_OBJECT_0 + 1);
  poster.join();
  SetEvent(e);
  EXPECT_EQ(kx::WaitForObjects(1, &e, FALSE, 5000, [&] { return posted.load(); }), WAIT_OBJECT_0);
  CloseHandle(e);
}

TEST(Sync, LastErrorIsPerThread) {
  SetLastError(1234);
  DWORD seen = 99;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(5);
  }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  TlsSetValue(index, &seen);
  void* other = &seen;
  std::thread([&] { other = TlsGetValue(index); }).join();
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(TlsGetValue(index), &seen);
  TlsFree(index);
}

}  // namespace
