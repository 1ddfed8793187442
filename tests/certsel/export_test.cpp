// The selection and address-book exports as a host calls them: the library loaded through the platform's
// loader, each export found by name, its sheet or dialog driven through the window system.
#include "app/pages.h"
#include "engine/CapicomStore.h"
#include "engine/engine_test.h"
#include "library/library.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/controldriver.h"
#include "platform/win32/stateroot.h"
#include "support/pki.h"

namespace {

using kxtest::AnswerPage;
using kxtest::BufferOf;
using SelectFn = int(HWND, BOOL, ICertificates2**);
using HwndFn = int(HWND);

class SelectionExports : public libtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CCapicomStore book;
    ASSERT_EQ(book.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    for (const char* name : {"signer", "encrypt", "expired"})
      ASSERT_EQ(book.ImportFromBuffer(BufferOf(kxtest::pki::DerBytes(name))), S_OK);
  }
  void TearDown() override {
    LibraryTest::TearDown();
    CoUninitialize();
  }

  // Runs SelectCertificate with the selection sheet; the script picks in its address-book page.
  INT_PTR Select(ICertificates2** chosen, const std::function<void(kx::UiDriver&, HWND, HWND)>& pick) {
    auto* select = Export<SelectFn>("SelectCertificate");
    return kx::RunWithUiHere([&] { return INT_PTR(select(nullptr, TRUE, chosen)); },
                             [&](kx::UiDriver& d) {
                               HWND sheet = d.WaitForTitle("Select Certificates");
                               d.WaitForDialog(4205);
                               HWND tab = d.ControlByClass(sheet, "SysTabControl32");
                               RECT item{};
                               d.Invoke(tab, [&] { SendMessage(tab, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item)); });
                               d.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
                               pick(d, sheet, d.WaitForDialog(4216));
                               d.WaitForGone(sheet);
                             });
  }
  static void Add(kx::UiDriver& d, HWND page, const char* name) {
    kx::ControlDriver(d).ListPickRow(d.Control(page, 1033), name);
    d.Click(d.Control(page, 1050));
  }
};

std::vector<std::string> Names(ICertificates2* certificates) {
  CCapicomCertificates collection(kx::engine::kEmpty);
  collection.SetInterface(certificates);
  std::vector<std::string> names;
  for (LONG i = 1; i <= collection.GetCount(); ++i) names.emplace_back(collection.GetItem(i).GetInfo(0).GetAnsi());
  return names;
}

TEST_F(SelectionExports, SelectCertificateHandsBackTheChosenCertificatesInOrder) {
  ICertificates2* chosen = nullptr;
  INT_PTR result = Select(&chosen, [](kx::UiDriver& d, HWND sheet, HWND page) {
    Add(d, page, "Carol Expired");
    Add(d, page, "Alice Signer");
    d.Click(d.Control(sheet, IDOK));
  });
  EXPECT_EQ(result, 1);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(Names(chosen), (std::vector<std::string>{"Carol Expired", "Alice Signer"}));
  // The caller holds the only reference.
  EXPECT_EQ(chosen->Release(), 0u);
}

TEST_F(SelectionExports, NothingChosenOrCancelledHandsBackNoCollection) {
  for (bool cancel : {false, true}) {
    ICertificates2* chosen = reinterpret_cast<ICertificates2*>(this);
    INT_PTR result = Select(&chosen, [&](kx::UiDriver& d, HWND sheet, HWND page) {
      if (cancel) Add(d, page, "Bob Encryption");
      d.Click(d.Control(sheet, cancel ? IDCANCEL : IDOK));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(chosen, nullptr);
  }
}

TEST_F(SelectionExports, NewEntryAddsAContactTheAddressBookThenShows) {
  auto* newEntry = Export<HwndFn>("NewEntry");
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(newEntry(nullptr)); }, [](kx::UiDriver& d) {
    HWND dialog = d.WaitForTitle("New Contact");
    d.SetText(d.ControlByClass(dialog, "Edit", 0), "Yann Contact");
    d.Click(d.ControlByText(dialog, "OK", "Button"));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, 1);
  auto* display = Export<HwndFn>("DisplayAddressBook");
  std::vector<std::string> names;
  result = kx::RunWithUiHere([&] { return INT_PTR(display(nullptr)); }, [&](kx::UiDriver& d) {
    HWND dialog = d.WaitForTitle("Address Book");
    kx::ControlDriver c(d);
    HWND list = d.ControlByClass(dialog, "SysListView32");
    for (int row = 0; row < c.ListRowCount(list); ++row) names.push_back(c.ListText(list, row));
    d.Click(d.ControlByText(dialog, "Close", "Button"));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(names, (std::vector<std::string>{"Alice Signer", "Bob Encryption", "Carol Expired", "Yann Contact"}));
}

}  // namespace
