#include "platform/services/offthread.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/ui/dlgbuild.h"
#include "platform/ui/ui.h"

namespace kx {
namespace {

struct Shared {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
};

constexpr UINT_PTR kPoll = 1;

INT_PTR CALLBACK WaitProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* shared = reinterpret_cast<Shared*>(GetWindowLongPtr(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      SetTimer(dlg, kPoll, 50, nullptr);
      return TRUE;
    case WM_TIMER:
      if (wp == kPoll && shared) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->done) {
          KillTimer(dlg, kPoll);
          EndDialog(dlg, IDOK);
        }
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) {
        KillTimer(dlg, kPoll);
        if (shared) shared->stop = true;
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool RunOffThread(HWND owner, const std::string& text, std::function<void(const std::atomic<bool>& stop)> work) {
  auto shared = std::make_shared<Shared>();
  std::thread([shared, work = std::move(work)] {
    work(shared->stop);
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->done = true;
    shared->ended.notify_all();
  }).detach();
  {
    // Quick work shows no window at all.
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (shared->ended.wait_for(lock, std::chrono::milliseconds(300), [&] { return shared->done; })) return true;
  }
  using kx::dlg::Item;
  DialogTemplate t = kx::dlg::Dialog(kOffThreadCaption, 220, 62);
  t.items.push_back(Item("Static", text, kOffThreadText, 7, 7, 206, 28, SS_LEFT));
  t.items.push_back(Item("Button", "&Stop", IDCANCEL, 85, 41, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  if (owner && !IsWindow(owner)) owner = nullptr;
  const INT_PTR r = DialogBoxIndirectParam(nullptr, &t, owner, WaitProc, reinterpret_cast<LPARAM>(shared.get()));
  if (r == -1) {
    // No window could be made: the work is waited for as it would have been on this thread.
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->ended.wait(lock, [&] { return shared->done; });
    return true;
  }
  if (r == IDOK) return true;
  shared->stop = true;
  return false;
}

}  // namespace kx
