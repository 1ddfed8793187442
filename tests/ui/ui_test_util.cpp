#include "ui/ui_test_util.h"

#include <chrono>
#include <thread>

namespace uitest {

Recorder& Recorder::Get() {
  static Recorder r;
  return r;
}

void Recorder::Clear() {
  std::lock_guard<std::mutex> l(m_);
  msgs_.clear();
  handler = nullptr;
}

void Recorder::Add(const Msg& m) {
  std::lock_guard<std::mutex> l(m_);
  msgs_.push_back(m);
}

std::vector<Msg> Recorder::All() {
  std::lock_guard<std::mutex> l(m_);
  return msgs_;
}

std::vector<UINT> Recorder::Of(HWND hwnd, const std::vector<UINT>& filter) {
  std::vector<UINT> out;
  for (const Msg& m : All()) {
    if (m.hwnd != hwnd) continue;
    if (!filter.empty() && std::find(filter.begin(), filter.end(), m.msg) == filter.end()) continue;
    out.push_back(m.msg);
  }
  return out;
}

namespace {

LRESULT RecorderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Recorder& r = Recorder::Get();
  r.Add(Msg{hwnd, msg, wp, lp});
  LRESULT result = 0;
  if (r.handler && r.handler(hwnd, msg, wp, lp, &result)) return result;
  return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace

const char* RecorderClass() {
  static const char* name = [] {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = RecorderProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "KxTestRecorder";
    RegisterClass(&wc);
    return "KxTestRecorder";
  }();
  return name;
}

HWND MakeRecorder(HWND parent, DWORD style, int id) {
  return CreateWindowEx(0, RecorderClass(), "rec", style, 10, 10, 200, 150, parent,
                        reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

kx::DialogItemTemplate Item(const char* cls, const char* text, int id, short x, short y, short cx, short cy,
                            DWORD style) {
  kx::DialogItemTemplate it;
  it.className = cls;
  it.text = text;
  it.id = id;
  it.x = x;
  it.y = y;
  it.cx = cx;
  it.cy = cy;
  it.style = WS_CHILD | WS_VISIBLE | style;
  return it;
}

kx::DialogTemplate Dialog(const char* title, short cx, short cy, std::vector<kx::DialogItemTemplate> items,
                          DWORD style) {
  kx::DialogTemplate t;
  t.style = style;
  t.title = title;
  t.cx = cx;
  t.cy = cy;
  t.items = std::move(items);
  return t;
}

void UiTest::TearDown() {
  kx::DestroyThreadWindows();
  Recorder::Get().Clear();
}

bool UiTest::PumpUntil(const std::function<bool()>& done, int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MSG msg;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void UiTest::PumpPending() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
}

}  // namespace uitest
