// Helpers of the drawing-control tests: pixels of a window or a memory DC, a dialog to hold controls, and the
// independent reference computations in Python.
#pragma once

#include <string>
#include <vector>

#include "app/frame_fixture.h"
#include "platform/mfc/afxwin.h"

namespace drawtest {

// A memory DC with a bitmap of the size, filled white.
class MemoryCanvas {
 public:
  MemoryCanvas(int width, int height);
  ~MemoryCanvas();
  CDC* dc() { return &dc_; }
  COLORREF Pixel(int x, int y) { return dc_.GetPixel(x, y); }

 private:
  CDC dc_;
  CBitmap bitmap_;
  CBitmap* old_ = nullptr;
};

// A window's client pixel as the screen shows it (after its pending paints).
COLORREF ClientPixel(HWND hwnd, int x, int y);

// A top-level popup window (hidden unless shown) to parent controls, made on the calling thread.
HWND MakeHost(int width, int height, bool visible = true);

// Runs python3 with the script text and the argument; its standard output.
std::string Python(const std::string& script, const std::string& argument = "");

using frametest::FrameTest;

}  // namespace drawtest
