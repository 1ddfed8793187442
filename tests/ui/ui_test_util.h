// Helpers of the window-system tests: a window class that records its messages, dialog template builders.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/dlgtemplate.h"
#include "platform/ui/driver.h"
#include "platform/ui/ui.h"

namespace uitest {

struct Msg {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
};

// Messages seen by windows of the recording class, in order, from every thread.
class Recorder {
 public:
  static Recorder& Get();
  void Clear();
  void Add(const Msg& m);
  std::vector<Msg> All();
  // The message numbers seen by one window, in order, keeping only those in `filter` (all when empty).
  std::vector<UINT> Of(HWND hwnd, const std::vector<UINT>& filter = {});
  // Extra handling of the recording class: returns true and sets *result to answer a message itself.
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> handler;

 private:
  std::mutex m_;
  std::vector<Msg> msgs_;
};

// The name of the recording window class (registered on first use).
const char* RecorderClass();
HWND MakeRecorder(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW, int id = 0);

// Dialog template pieces (dialog units).
kx::DialogItemTemplate Item(const char* cls, const char* text, int id, short x, short y, short cx, short cy,
                            DWORD style = 0);
kx::DialogTemplate Dialog(const char* title, short cx, short cy, std::vector<kx::DialogItemTemplate> items,
                          DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);

// Each test ends with no window of the test thread left.
class UiTest : public ::testing::Test {
 protected:
  void TearDown() override;
  // Pumps the calling thread's messages until `done` holds or the time runs out.
  bool PumpUntil(const std::function<bool()>& done, int ms = 5000);
  void PumpPending();
};

}  // namespace uitest
