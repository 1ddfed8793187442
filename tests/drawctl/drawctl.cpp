#include "drawctl.h"

#include <cstdio>

#include "support/testroot.h"

namespace drawtest {

MemoryCanvas::MemoryCanvas(int width, int height) {
  CClientDC screen(nullptr);
  dc_.CreateCompatibleDC(&screen);
  bitmap_.CreateCompatibleBitmap(&screen, width, height);
  old_ = dc_.SelectObject(&bitmap_);
  dc_.FillSolidRect(0, 0, width, height, RGB(255, 255, 255));
}

MemoryCanvas::~MemoryCanvas() { dc_.SelectObject(old_); }

COLORREF ClientPixel(HWND hwnd, int x, int y) {
  UpdateWindow(hwnd);
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  HDC screen = GetDC(nullptr);
  COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return c;
}

namespace {

// A window of the framework, so that its controls get their notifications reflected; the object goes with its
// window (the fixture destroys every window of the thread).
class CHostWnd : public CWnd {
 protected:
  void PostNcDestroy() override { delete this; }
};

}  // namespace

HWND MakeHost(int width, int height, bool visible) {
  auto* host = new CHostWnd;
  if (!host->CreateEx(0, AfxRegisterWndClass(0, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)), "host",
                      WS_POPUP | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0), 100, 100, width, height, nullptr,
                      nullptr))
    return nullptr;  // a window that failed has deleted its object already
  host->UpdateWindow();
  return host->GetSafeHwnd();
}

std::string Python(const std::string& script, const std::string& argument) {
  const std::string file = kxtest::MakeTempDir("py") + "/script.py";
  kxtest::WriteFile(file, script);
  std::string out;
  kxtest::Run("python3 " + file + " '" + argument + "'", &out);
  return out;
}

}  // namespace drawtest
