#include "controls/ctltest.h"

#include <cstdlib>

#include "support/testroot.h"

namespace ctltest {

void Log::Add(const std::string& e) {
  std::lock_guard<std::mutex> l(m_);
  events_.push_back(e);
}

std::vector<std::string> Log::All() {
  std::lock_guard<std::mutex> l(m_);
  return events_;
}

std::vector<std::string> Log::With(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& e : All())
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  return out;
}

void Log::Clear() {
  std::lock_guard<std::mutex> l(m_);
  events_.clear();
}

Log& Events() {
  static Log log;
  return log;
}

INT_PTR RunDialog(const kx::DialogTemplate& t, DLGPROC proc, const Script& script, LPARAM param) {
  return kx::RunWithUi([&] { return DialogBoxIndirectParam(nullptr, &t, nullptr, proc, param); },
                       [&](kx::UiDriver& d) {
                         kx::ControlDriver c(d);
                         script(d, c);
                       });
}

Picture::Picture(kx::UiDriver& d, HWND hwnd) {
  d.Invoke(hwnd, [&] { Take(hwnd); });
}

void Picture::Take(HWND hwnd) {
  {
    RECT wr, cr;
    GetWindowRect(hwnd, &wr);
    GetClientRect(hwnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, wr.right - wr.left, wr.bottom - wr.top);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bm);
    PrintWindow(hwnd, mem, 0);
    w_ = cr.right;
    h_ = cr.bottom;
    px_.resize(static_cast<size_t>(w_) * h_);
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x)
        px_[static_cast<size_t>(y) * w_ + x] = GetPixel(mem, origin.x - wr.left + x, origin.y - wr.top + y);
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
  }
}

COLORREF Picture::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return CLR_NONE;
  return px_[static_cast<size_t>(y) * w_ + x];
}

int Picture::Count(const RECT& r, const std::function<bool(COLORREF)>& test) const {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (x >= 0 && y >= 0 && x < w_ && y < h_ && test(At(x, y))) ++n;
  return n;
}

std::string PngPath(const std::string& name) {
  const char* dir = std::getenv("KX_CONTROLS_PNG_DIR");
  return (dir && *dir ? std::string(dir) : kxtest::MakeTempDir("png")) + "/" + name;
}

}  // namespace ctltest
