// Helpers of the framework tests: the tests' resource library, screenshots, pixel reads.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/mfc/afxwin.h"
#include "platform/ui/driver.h"

namespace fwtest {

// Loads the tests' pages (libkxtestpages.so) and KXRes once and makes the test pages the resource source.
class FrameworkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  static HMODULE Pages();
  static HMODULE KxRes();
};

// Where a test leaves a screenshot: $KX_SCREENSHOT_DIR when set, else the case's state root.
std::string ShotPath(const std::string& name);
// The colour of a pixel of a PNG file (RGB in a COLORREF), or 0xFFFFFFFF when it cannot be read.
COLORREF PngPixel(const std::string& path, int x, int y);
// Size of a PNG file's picture.
bool PngSize(const std::string& path, int* w, int* h);

}  // namespace fwtest
