#include "app/frame_fixture.h"

#include "library/startup.h"
#include "platform/mfc/afxstate.h"
#include "platform/win32/modules.h"

// Programs that build the exports into themselves start the application object with this fixture, so every
// export finds the library started.
bool LibraryStartedFor(const char*) { return true; }

namespace frametest {

CBrinmoorApp& App() {
  static CBrinmoorApp app;
  return app;
}

void FrameTest::SetUpTestSuite() {
  CBrinmoorApp& app = App();
  if (app.m_hResourceModule) return;
  app.m_hResourceModule = LoadLibrary((kxtest::BuildDir() + "/lib/KXRes.DLL").c_str());
  ASSERT_NE(app.m_hResourceModule, nullptr);
  SetResourceModule(app.m_hResourceModule);
  app.m_strModuleFolder = (kxtest::BuildDir() + "/lib/").c_str();
}

MainWindow::MainWindow() {
  created_ = wnd_.CreateEx(0, "STATIC", "KX", 0xEFFFFFFF, 0, 0, 0, 0, nullptr, nullptr, nullptr) != FALSE;
  App().m_pMainWnd = &wnd_;
}

MainWindow::~MainWindow() { App().m_pMainWnd = nullptr; }

void FrameTest::SetUp() {
  main_ = std::make_unique<MainWindow>();
  ASSERT_TRUE(main_->Created());
}

void FrameTest::TearDown() {
  main_.reset();
  kx::DestroyThreadWindows();
}

void FrameTest::RegisterPageTemplate(UINT id, const char* caption, const char* text) {
  kx::DialogTemplate t;
  t.style = WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT;
  t.cx = 317;
  t.cy = 143;
  t.title = caption;
  kx::DialogItemTemplate item;
  item.className = "Static";
  item.text = text;
  item.id = 1000;
  item.x = 21;
  item.y = 10;
  item.cx = 270;
  item.cy = 30;
  t.items.push_back(item);
  kx::DialogItemTemplate edit;
  edit.className = "Edit";
  edit.style |= WS_BORDER | WS_TABSTOP;
  edit.id = 1001;
  edit.x = 21;
  edit.y = 50;
  edit.cx = 200;
  edit.cy = 14;
  t.items.push_back(edit);
  kx::RegisterDialogTemplate(Resources(), MAKEINTRESOURCE(id), t);
}

std::string Shot(const char* name) { return kxtest::MakeTempDir("shots") + "/" + name + ".png"; }

}  // namespace frametest
