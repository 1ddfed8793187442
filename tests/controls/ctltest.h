// Helpers of the common-control tests: a dialog run on a UI thread with a script driving it, an event log that
// the UI thread writes and the script reads, and pixels of a window.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/commonctrl.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/dlgbuild.h"
#include "platform/ui/driver.h"

namespace ctltest {

using kx::dlg::Dialog;
using kx::dlg::Item;

// Events noted by the UI thread, read by the script and the test.
class Log {
 public:
  void Add(const std::string& e);
  std::vector<std::string> All();
  // The events that start with `prefix`, in order.
  std::vector<std::string> With(const std::string& prefix);
  void Clear();

 private:
  std::mutex m_;
  std::vector<std::string> events_;
};
Log& Events();

// The usual end of a test dialog: OK or Cancel ends it. True when the message was that.
inline bool EndsOnButton(HWND dlg, UINT msg, WPARAM wp) {
  if (msg != WM_COMMAND || (LOWORD(wp) != IDOK && LOWORD(wp) != IDCANCEL)) return false;
  EndDialog(dlg, LOWORD(wp));
  return true;
}

using Script = std::function<void(kx::UiDriver&, kx::ControlDriver&)>;
// Runs the dialog modally on a new UI thread and the script on this one; returns the dialog's result.
INT_PTR RunDialog(const kx::DialogTemplate& t, DLGPROC proc, const Script& script, LPARAM param = 0);

// A window's client area as it paints itself now (printed on the window's thread).
class Picture {
 public:
  Picture(kx::UiDriver& d, HWND hwnd);
  // For a window of the calling thread.
  explicit Picture(HWND hwnd) { Take(hwnd); }
  COLORREF At(int x, int y) const;
  int Width() const { return w_; }
  int Height() const { return h_; }
  // How many pixels of a rectangle satisfy a test.
  int Count(const RECT& r, const std::function<bool(COLORREF)>& test) const;

 private:
  void Take(HWND hwnd);
  int w_ = 0, h_ = 0;
  std::vector<COLORREF> px_;
};
inline COLORREF Pixel(kx::UiDriver& d, HWND hwnd, int x, int y) { return Picture(d, hwnd).At(x, y); }

// Where a test writes its pictures: $KX_CONTROLS_PNG_DIR when set, else the test's own folder.
std::string PngPath(const std::string& name);

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { Events().Clear(); }
  void TearDown() override { Events().Clear(); }
};

}  // namespace ctltest
