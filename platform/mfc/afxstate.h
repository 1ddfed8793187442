// Inside the framework: per-thread state and the maps from handles to wrapper objects.
#pragma once

#include <functional>
#include <mutex>
#include <unordered_map>

#include "platform/mfc/winapp.h"
#include "platform/mfc/wnd.h"

class CImageList;
class CMenu;

namespace kx::afx {

// Owner of temporary wrappers: lets go of a wrapper's handle and deletes it.
class TempOwner {
 public:
  virtual void Drop(CObject* obj) = 0;

 protected:
  ~TempOwner() = default;
};

struct ThreadState {
  AFX_MODULE_STATE* current = nullptr;
  MSG lastSent{};
  CWnd* wndInit = nullptr;
  HHOOK cbtHook = nullptr;
  int dispatchDepth = 0;
  CWinThread* thread = nullptr;
  // Temporary wrappers made on this thread, by owner and handle.
  std::unordered_map<TempOwner*, std::unordered_map<const void*, CObject*>> temps;
  ~ThreadState();
};

ThreadState& Thread();

// Wrappers of handles: permanent ones (attached by their owner) for every thread, and temporary ones made by
// FromHandle, kept per thread and deleted when the thread idles outside any window procedure. The maps live as
// long as the process.
template <typename H, typename T>
class HandleMap final : public TempOwner {
 public:
  using Factory = T* (*)(H);
  using Release = void (*)(T*);
  // make: a temporary wrapper of a handle; release: lets go of the handle before the wrapper is deleted.
  HandleMap(Factory make, Release release) : make_(make), release_(release) {}

  void SetPermanent(H h, T* obj) {
    std::lock_guard<std::mutex> lock(mutex_);
    permanent_[h] = obj;
  }
  void RemovePermanent(H h, T* obj) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = permanent_.find(h);
    if (it != permanent_.end() && it->second == obj) permanent_.erase(it);
  }
  T* LookupPermanent(H h) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = permanent_.find(h);
    return it == permanent_.end() ? nullptr : it->second;
  }
  T* LookupTemporary(H h) {
    auto& temps = Thread().temps[this];
    auto it = temps.find(h);
    return it == temps.end() ? nullptr : static_cast<T*>(it->second);
  }
  T* FromHandle(H h) {
    if (!h) return nullptr;
    if (T* p = LookupPermanent(h)) return p;
    auto& temps = Thread().temps[this];
    auto it = temps.find(h);
    if (it != temps.end()) return static_cast<T*>(it->second);
    T* obj = make_(h);
    temps[h] = obj;
    return obj;
  }
  // A temporary wrapper that becomes permanent (Attach of a handle somebody wrapped before) leaves the map.
  void ForgetTemporary(H h) {
    auto& temps = Thread().temps[this];
    auto it = temps.find(h);
    if (it == temps.end()) return;
    CObject* obj = it->second;
    temps.erase(it);
    Drop(obj);
  }
  void Drop(CObject* obj) override {
    T* t = static_cast<T*>(obj);
    release_(t);
    delete t;
  }

 private:
  Factory make_;
  Release release_;
  std::mutex mutex_;
  std::unordered_map<H, T*> permanent_;
};

HandleMap<HWND, CWnd>& WindowMap();
// Deletes the temporary wrappers of the calling thread when no window procedure is running on it.
void DeleteTempObjects();

// The handle of a wrapper, or NULL for a null wrapper pointer. They live in a file of their own so that the
// compiler cannot assume the pointer is set because a member function was called through it.
HWND SafeHwnd(const CWnd* w);
HDC SafeHdc(const CDC* dc);
HGDIOBJ SafeGdi(const CGdiObject* obj);
HIMAGELIST SafeImageList(const ::CImageList* list);
HMENU SafeHmenu(const ::CMenu* menu);

// The module a state belongs to, found from the state's address when no loader told it.
HINSTANCE InstanceOf(AFX_MODULE_STATE* state);

}  // namespace kx::afx
