// The certificate manager's exports as a host calls them: the library loaded through the platform's loader,
// each export found by name, its sheet driven through the window system.
#include "engine/CapicomStore.h"
#include "engine/engine_test.h"
#include "library/library.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/controldriver.h"
#include "support/pki.h"

namespace {

using HwndFn = int(HWND);

class ManagerExports : public libtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    LibraryTest::TearDown();
    CoUninitialize();
  }
};

int TabCount(kx::UiDriver& d, HWND sheet) {
  return static_cast<int>(d.Send(d.ControlByClass(sheet, "SysTabControl32"), TCM_GETITEMCOUNT));
}

TEST_F(ManagerExports, BothExportsOpenTheManagerWithItsEightPages) {
  CCapicomStore roots;
  ASSERT_EQ(roots.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(roots.ImportFromBuffer(kxtest::BufferOf(kxtest::pki::DerBytes("root"))), S_OK);
  for (const char* name : {"DisplayCertificateManager", "ShowCertificateManagerPage"}) {
    SCOPED_TRACE(name);
    auto* show = Export<HwndFn>(name);
    ASSERT_NE(show, nullptr);
    int tabs = 0;
    std::vector<std::string> roots;
    INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(show(nullptr)); },
                                       [&](kx::UiDriver& d) {
                                         HWND sheet = d.WaitForTitle("Certificate Manager");
                                         d.WaitForDialog(102);
                                         tabs = TabCount(d, sheet);
                                         // The trusted roots page, opened as a person does.
                                         HWND tab = d.ControlByClass(sheet, "SysTabControl32");
                                         RECT item{};
                                         d.Invoke(tab, [&] { SendMessage(tab, TCM_GETITEMRECT, 6, reinterpret_cast<LPARAM>(&item)); });
                                         d.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
                                         HWND page = d.WaitForDialog(30056);
                                         kx::ControlDriver c(d);
                                         HWND list = d.Control(page, 1033);
                                         for (int row = 0; row < c.ListRowCount(list); ++row) roots.push_back(c.ListText(list, row));
                                         d.Click(d.Control(sheet, IDCANCEL));
                                         d.WaitForGone(sheet);
                                       });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(tabs, 8);
    EXPECT_EQ(roots, (std::vector<std::string>{"Test Root CA"}));
  }
}

}  // namespace
