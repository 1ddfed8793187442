// Kernel objects behind HANDLE values, and the one wait primitive every waitable object shares.
//
// Hook for the window system (MsgWaitForMultipleObjects and friends): it waits with
// kx::WaitForObjects(count, handles, waitAll, timeout, extraReady), where extraReady is a predicate on its
// own message queue, evaluated while the wait lock is held. Whoever makes that predicate true (posting a
// message, waking a queue) must call kx::NotifyWaiters() afterwards, outside its own locks; the waiter then
// returns WAIT_OBJECT_0 + count. A platform folder can also make its own waitable object by deriving from
// kx::Waitable and inserting it with kx::InsertHandle; changes to its signalled state are made while holding
// kx::WaitLock() and followed by kx::NotifyWaiters().
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/win32/types.h"

namespace kx {

class KXAPI KernelObject {
 public:
  virtual ~KernelObject();
};

class KXAPI Waitable : public KernelObject {
 public:
  // Both are called with WaitLock() held. tid is the waiting thread's id.
  virtual bool IsSignalled(DWORD tid) const = 0;
  // Takes the object for the waiter (resets an auto-reset event, takes a mutex or a semaphore count).
  // Returns true when the wait ends with an abandoned mutex.
  virtual bool Acquire(DWORD tid) { return false; }
};

// Adds an object to the process's handle table and returns its new handle.
KXAPI HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// The object of a handle, or null (last error ERROR_INVALID_HANDLE) for an unknown or closed handle.
KXAPI std::shared_ptr<KernelObject> LookupHandle(HANDLE h);
template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE h) {
  auto o = std::dynamic_pointer_cast<T>(LookupHandle(h));
  return o;
}
// Removes a handle; the object lives on while someone else holds it.
KXAPI bool RemoveHandle(HANDLE h);

KXAPI std::mutex& WaitLock();
KXAPI void NotifyWaiters();
// The wait behind WaitForSingleObject/WaitForMultipleObjects; extraReady (may be empty) adds a condition
// that ends the wait with WAIT_OBJECT_0 + count.
KXAPI DWORD WaitForObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                           const std::function<bool()>& extraReady = {});

}  // namespace kx
