// The test program's own application object of the library frame, prepared the way start-up prepares the
// library's (resource library, folder of the HELP pages, hidden main window), and helpers to drive it.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/BrinmoorApp.h"
#include "app/pages.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/ui/driver.h"
#include "support/testroot.h"

namespace frametest {

CBrinmoorApp& App();

// The hidden main window start-up makes, set as the application's. The object and its window go with it, and the
// application is left without a main window, whatever a failed test had pointed it at.
class MainWindow {
 public:
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  bool Created() const { return created_; }

 private:
  CWnd wnd_;
  bool created_ = false;
};

class FrameTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;
  static HMODULE Resources() { return App().m_hResourceModule; }
  // Registers a property page template (id) in the resource library with a few static texts.
  static void RegisterPageTemplate(UINT id, const char* caption, const char* text);

 private:
  std::unique_ptr<MainWindow> main_;
};

using kxtest::AnswerPage;
using kxtest::Page;
std::string Shot(const char* name);

}  // namespace frametest
