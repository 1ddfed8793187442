// Threads, events, mutexes, semaphores, waits, critical sections, interlocked operations and TLS.
#pragma once

#include "platform/win32/types.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004
#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using PSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

KXAPI BOOL CloseHandle(HANDLE h);
KXAPI HANDLE GetCurrentProcess();  // pseudo handle (-1)
KXAPI HANDLE GetCurrentThread();   // pseudo handle (-2)
KXAPI DWORD GetCurrentThreadId();
KXAPI DWORD GetCurrentProcessId();

// The returned handle is signalled when the thread ends. The thread runs detached: closing the handle does
// not stop it.
KXAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID param,
                          DWORD flags, LPDWORD threadId);
KXAPI DWORD ResumeThread(HANDLE thread);
KXAPI BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
KXAPI DWORD GetThreadId(HANDLE thread);
// C runtime form of CreateThread.
KXAPI uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* arg,
                               unsigned flags, unsigned* threadId);
KXAPI void Sleep(DWORD milliseconds);

KXAPI HANDLE CreateEvent(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCSTR name);
inline constexpr auto& CreateEventA = CreateEvent;
KXAPI BOOL SetEvent(HANDLE event);
KXAPI BOOL ResetEvent(HANDLE event);
// Mutexes are recursive and owned by a thread; one whose owner thread ends is abandoned (the next waiter gets
// WAIT_ABANDONED_0 + index and owns it).
KXAPI HANDLE CreateMutex(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name);
inline constexpr auto& CreateMutexA = CreateMutex;
KXAPI BOOL ReleaseMutex(HANDLE mutex);
KXAPI HANDLE CreateSemaphore(LPSECURITY_ATTRIBUTES sa, LONG initialCount, LONG maximumCount, LPCSTR name);
inline constexpr auto& CreateSemaphoreA = CreateSemaphore;
KXAPI BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount);

KXAPI DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
KXAPI DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Recursive lock; the storage holds the lock itself, so the structure must not be copied or moved.
struct CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
KXAPI void InitializeCriticalSection(LPCRITICAL_SECTION cs);
KXAPI BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount);
KXAPI void EnterCriticalSection(LPCRITICAL_SECTION cs);
KXAPI BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
KXAPI void LeaveCriticalSection(LPCRITICAL_SECTION cs);
KXAPI void DeleteCriticalSection(LPCRITICAL_SECTION cs);

inline LONG InterlockedIncrement(volatile LONG* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(volatile LONG* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(volatile LONG* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchangeAdd(volatile LONG* p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(volatile LONG* p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile* p, PVOID v) {
  return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* p, PVOID exchange, PVOID comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

KXAPI DWORD TlsAlloc();
KXAPI BOOL TlsFree(DWORD index);
KXAPI LPVOID TlsGetValue(DWORD index);
KXAPI BOOL TlsSetValue(DWORD index, LPVOID value);
