// The certificate selection sheet as a person uses it: tabs per source, picking certificates into one
// selection, duplicates refused, removing, refreshing, and what OK hands back to the creator.
#include <cstring>

#include "certificates/SelCertSheet.h"
#include "certificates/SmartcardSettings.h"
#include "certsel/certsel_fixture.h"
#include "core/SettingsStore.h"
#include "directory/slapd.h"
#include "services/local_server.h"
#include "support/pki.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"

namespace certsel {
namespace {

using kxtest::AnswerPage;
using kxtest::Cert;

constexpr int kAvailable = 1033, kSelected = 1034, kAdd = 1050, kRemove = 1051, kRemoveAll = 1052, kRefresh = 1053;

class CertificateSelection : public CertSelTest {
 protected:
  // Runs a selection sheet on this thread while the script drives it; the sheet's selection after the run.
  INT_PTR Run(const std::function<void(CSelCertSheet&)>& prepare, const std::function<void(kx::UiDriver&, HWND)>& script,
              std::vector<std::string>* selected = nullptr) {
    return kx::RunWithUiHere(
        [&] {
          CSelCertSheet sheet("Select Certificates", nullptr, 0);
          if (prepare) prepare(sheet);
          INT_PTR r = sheet.DoModal();
          if (selected) *selected = Subjects(sheet.m_Selected);
          return r;
        },
        [&](kx::UiDriver& d) { script(d, d.WaitForTitle("Select Certificates")); });
  }
  static void Ok(kx::UiDriver& d, HWND sheet) {
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  }
  // Picks a row of the available list and presses Add.
  static void Add(kx::UiDriver& d, HWND page, const std::string& subject) {
    kx::ControlDriver(d).ListPickRow(d.Control(page, kAvailable), subject);
    d.Click(d.Control(page, kAdd));
  }
};

// The platform answers Windows NT 4 while it lives.
class Nt4 {
 public:
  Nt4() {
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwMajorVersion = 4;
    v.dwBuildNumber = 1381;
    v.dwPlatformId = 2;
    std::strcpy(v.szCSDVersion, "Service Pack 6");
    kx::SetVersionForTests(&v, true);
  }
  ~Nt4() { kx::SetVersionForTests(nullptr); }
};

TEST_F(CertificateSelection, FourSourcesOrTheTwoThatHoldPrivateKeys) {
  for (bool restricted : {false, true}) {
    std::vector<std::string> tabs;
    INT_PTR result = Run([&](CSelCertSheet& s) { s.m_bRestricted = restricted; },
                         [&](kx::UiDriver& d, HWND sheet) {
                           d.WaitForDialog(4205);
                           tabs = TabTexts(d, sheet);
                           d.SavePng(sheet, frametest::Shot(restricted ? "selection-restricted" : "selection"));
                           d.Click(d.Control(sheet, IDCANCEL));
                           d.WaitForGone(sheet);
                         });
    EXPECT_EQ(result, IDCANCEL);
    if (restricted) EXPECT_EQ(tabs, (std::vector<std::string>{"My Digital IDs", "Smart Card"}));
    else EXPECT_EQ(tabs, (std::vector<std::string>{"My Digital IDs", "Directory", "Address Book", "Smart Card"}));
  }
}

TEST_F(CertificateSelection, PicksFromPersonalAndAddressBookInTheOrderAdded) {
  TrustFixture();
  AddFixtureCrls();
  AddWithKey("signer");
  AddCert("My", "encrypt");  // no private key: not a digital ID of the user
  AddCert("AddressBook", "expired");
  AddCert("AddressBook", "encrypt");
  std::vector<std::string> selected;
  INT_PTR result = Run(nullptr,
                       [&](kx::UiDriver& d, HWND sheet) {
                         HWND personal = d.WaitForDialog(4205);
                         EXPECT_EQ(Column(d, d.Control(personal, kAvailable)), std::vector<std::string>{"Alice Signer"});
                         EXPECT_EQ(Column(d, d.Control(personal, kAvailable), 1),
                                   std::vector<std::string>{"Test Intermediate CA"});
                         EXPECT_EQ(RowMark(d, d.Control(personal, kAvailable), 0), 2);
                         Add(d, personal, "Alice Signer");
                         EXPECT_EQ(Column(d, d.Control(personal, kSelected)), std::vector<std::string>{"Alice Signer"});
                         // The same digital ID again is refused.
                         d.Click(d.Control(personal, kAdd));
                         EXPECT_EQ(AnswerPage(d, "OK"),
                                   "Digital ID of Alice Signer has already been added to the selected list.");
                         EXPECT_EQ(Column(d, d.Control(personal, kSelected)).size(), 1u);

                         ClickTab(d, sheet, 2);
                         HWND book = d.WaitForDialog(4216);
                         HWND available = d.Control(book, kAvailable);
                         // Sorted by subject; the expired certificate carries no valid mark.
                         EXPECT_EQ(Column(d, available), (std::vector<std::string>{"Bob Encryption", "Carol Expired"}));
                         EXPECT_EQ(RowMark(d, available, 0), 2);
                         EXPECT_EQ(RowMark(d, available, 1), 1);
                         EXPECT_EQ(Column(d, d.Control(book, kSelected)), std::vector<std::string>{"Alice Signer"});
                         Add(d, book, "Carol Expired");
                         Add(d, book, "Bob Encryption");
                         EXPECT_EQ(Column(d, d.Control(book, kSelected)),
                                   (std::vector<std::string>{"Alice Signer", "Carol Expired", "Bob Encryption"}));
                         d.SavePng(sheet, frametest::Shot("selection-address-book"));
                         // Back on the first page the whole selection shows.
                         ClickTab(d, sheet, 0);
                         EXPECT_EQ(Column(d, d.Control(d.WaitForDialog(4205), kSelected)).size(), 3u);
                         Ok(d, sheet);
                       },
                       &selected);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(selected, (std::vector<std::string>{"Alice Signer", "Carol Expired", "Bob Encryption"}));
}

TEST_F(CertificateSelection, PrefilledCertificatesShowEverywhereAndCountAsDuplicatesFromAnyStore) {
  AddCert("AddressBook", "encrypt");
  std::vector<std::string> selected;
  INT_PTR result = Run([&](CSelCertSheet& s) { s.m_Selected.Add(Cert("encrypt")); },
                       [&](kx::UiDriver& d, HWND sheet) {
                         for (int tab : {0, 1, 2, 3}) {
                           ClickTab(d, sheet, tab);
                           HWND page = d.WaitForDialog(tab == 0 ? 4205 : tab == 1 ? 4215 : tab == 2 ? 4216 : 4217);
                           EXPECT_EQ(Column(d, d.Control(page, kSelected)), std::vector<std::string>{"Bob Encryption"});
                         }
                         // The directory is not searched here: its list stays empty.
                         EXPECT_EQ(kx::ControlDriver(d).ListRowCount(d.Control(d.FindDialog(4217), kAvailable)), 0);
                         ClickTab(d, sheet, 2);
                         HWND book = d.WaitForDialog(4216);
                         Add(d, book, "Bob Encryption");
                         EXPECT_EQ(AnswerPage(d, "OK"),
                                   "The digital ID of Bob Encryption is already in the list of selected certificates.");
                         Ok(d, sheet);
                       },
                       &selected);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(selected, std::vector<std::string>{"Bob Encryption"});
}

TEST_F(CertificateSelection, RemovingAsksAndTakesTheCurrentSelectedRow) {
  for (const char* n : {"signer", "encrypt", "expired"}) AddCert("AddressBook", n);
  std::vector<std::string> selected;
  INT_PTR result = Run(nullptr,
                       [&](kx::UiDriver& d, HWND sheet) {
                         ClickTab(d, sheet, 2);
                         HWND book = d.WaitForDialog(4216);
                         for (const char* n : {"Carol Expired", "Alice Signer", "Bob Encryption"}) Add(d, book, n);
                         HWND chosen = d.Control(book, kSelected);
                         kx::ControlDriver c(d);
                         // Focusing the selection switches to removing.
                         c.ListClickRow(chosen, 1);
                         EXPECT_FALSE(d.IsEnabled(d.Control(book, kAdd)));
                         EXPECT_TRUE(d.IsEnabled(d.Control(book, kRemove)));
                         d.Click(d.Control(book, kRemove));
                         EXPECT_EQ(AnswerPage(d, "No"), "Do you want to remove the selected certificate from the list?");
                         EXPECT_EQ(Column(d, chosen).size(), 3u);
                         c.ListClickRow(chosen, 1);
                         d.Click(d.Control(book, kRemove));
                         AnswerPage(d, "Yes");
                         EXPECT_EQ(Column(d, chosen), (std::vector<std::string>{"Carol Expired", "Bob Encryption"}));
                         EXPECT_EQ(c.ListSelection(chosen), std::vector<int>{0});
                         // Remove all, then the available list is in use with its first row highlighted.
                         d.Click(d.Control(book, kRemoveAll));
                         EXPECT_EQ(AnswerPage(d, "Yes"), "Do you want to remove all certificates from the list?");
                         EXPECT_EQ(Column(d, chosen).size(), 0u);
                         HWND available = d.Control(book, kAvailable);
                         EXPECT_EQ(d.FocusedWindow(book), available);
                         EXPECT_EQ(c.ListSelection(available), std::vector<int>{0});
                         EXPECT_TRUE(d.IsEnabled(d.Control(book, kAdd)));
                         // The only selected one removed: the same.
                         Add(d, book, "Carol Expired");
                         c.ListClickRow(chosen, 0);
                         d.Click(d.Control(book, kRemove));
                         AnswerPage(d, "Yes");
                         EXPECT_EQ(Column(d, chosen).size(), 0u);
                         EXPECT_EQ(d.FocusedWindow(book), available);
                         EXPECT_EQ(c.ListSelection(available), std::vector<int>{0});
                         Add(d, book, "Alice Signer");
                         Ok(d, sheet);
                       },
                       &selected);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(selected, std::vector<std::string>{"Alice Signer"});
}

TEST_F(CertificateSelection, RefreshShowsTheStoreAsItIsNow) {
  AddCert("AddressBook", "encrypt");
  INT_PTR result = Run(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 2);
    HWND book = d.WaitForDialog(4216);
    HWND available = d.Control(book, kAvailable);
    EXPECT_EQ(Column(d, available), std::vector<std::string>{"Bob Encryption"});
    // Another program adds a certificate; the list changes only on Refresh.
    CoInitialize(nullptr);
    AddCert("AddressBook", "signer");
    CoUninitialize();
    ClickTab(d, sheet, 0);
    ClickTab(d, sheet, 2);
    EXPECT_EQ(Column(d, d.Control(d.WaitForDialog(4216), kAvailable)).size(), 1u);
    d.Click(d.Control(book, kRefresh));
    EXPECT_EQ(Column(d, available), (std::vector<std::string>{"Alice Signer", "Bob Encryption"}));
    // The item data follows the sorted rows: the row picked is the certificate added.
    Add(d, book, "Bob Encryption");
    EXPECT_EQ(Column(d, d.Control(book, kSelected)), std::vector<std::string>{"Bob Encryption"});
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(CertificateSelection, RestrictedSheetWithoutDigitalIdsWaitsForASelection) {
  for (bool prefilled : {false, true}) {
    INT_PTR result = Run(
        [&](CSelCertSheet& s) {
          s.m_bRestricted = 1;
          if (prefilled) s.m_Selected.Add(Cert("signer"));
        },
        [&](kx::UiDriver& d, HWND sheet) {
          d.WaitForDialog(4205);
          // OK stays usable for a selection the creator already holds.
          EXPECT_EQ(d.IsEnabled(d.Control(sheet, IDOK)), prefilled);
          d.Click(d.Control(sheet, IDCANCEL));
          d.WaitForGone(sheet);
        });
    EXPECT_EQ(result, IDCANCEL);
  }
}

TEST_F(CertificateSelection, SmartCardCertificatesComeFromTheCardStoreOfTheSettings) {
  TrustFixture();
  AddWithKey("signer");
  AddWithKey("encrypt");
  AddWithKey("signer", "eToken");
  AddWithKey("revoked", "eToken");  // on the card but not among the user's digital IDs
  AddCert("eToken", "expired");     // without its key
  AddWithKey("encrypt", "SmartCard");
  struct Case {
    const char* setting;  // null: no value stored
    std::vector<std::string> listed;
  } cases[] = {{nullptr, {"Alice Signer"}}, {"ETOKEN", {"Alice Signer"}}, {"SmartCard", {"Bob Encryption"}}};
  Nt4 nt4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "(none)");
    if (c.setting) {
      CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\DiskTolvex\\1.0");
      ASSERT_TRUE(s.WriteString("Smartcards", "SmartCardStore", c.setting));
    }
    std::vector<std::string> selected;
    INT_PTR result = Run([&](CSelCertSheet& s) { s.m_bRestricted = 1; },
                         [&](kx::UiDriver& d, HWND sheet) {
                           d.WaitForDialog(4205);
                           ClickTab(d, sheet, 1);
                           HWND card = d.WaitForDialog(4217);
                           EXPECT_EQ(Column(d, d.Control(card, kAvailable)), c.listed);
                           Add(d, card, c.listed[0]);
                           Add(d, card, c.listed[0]);
                           EXPECT_EQ(AnswerPage(d, "OK"), "Digital ID of " + c.listed[0] +
                                                              " has already been added to the selected list.");
                           Ok(d, sheet);
                         },
                         &selected);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(selected, c.listed);
  }
}

TEST_F(CertificateSelection, OnLaterVersionsOnlyRemovableKeysAreCardCertificates) {
  AddWithKey("signer");
  AddWithKey("signer", "eToken");
  INT_PTR result = Run(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(4205);
    ClickTab(d, sheet, 3);
    HWND card = d.WaitForDialog(4217);
    // The engine keeps every key in a file of its own: none is on a removable device.
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(d.Control(card, kAvailable)), 0);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(CertificateSelection, DirectoryIsSearchedOnlyWhenAllowed) {
  kxtest::Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error)) << error;
  ASSERT_TRUE(slapd.Add(kxtest::Slapd::Person("Alice Signer", "alice@example.com", {kxtest::pki::DerBytes("signer")})));
  const std::string down = "ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/dc=test";
  struct Case {
    DWORD allowed;
    std::string url;
    std::vector<std::string> listed;
    std::string status;  // the start of the page's status line
  } cases[] = {
      {0, slapd.Url("/dc=test"), {}, "Searching the directory is turned off"},
      {1, "", {}, "No directory server is set up."},
      {1, down, {}, "The directory could not be searched: ldap://127.0.0.1:"},
      {1, slapd.Url("/dc=test"), {"Alice Signer"}, ""},
  };
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  for (const Case& c : cases) {
    ASSERT_TRUE(s.WriteInt("CertificateManager", "ENABLE_ACTIVE_DIRECTORY", c.allowed));
    ASSERT_TRUE(s.WriteInt("CertificateManager", "ENABLE_LDAP_SEARCH", 1));
    ASSERT_TRUE(s.WriteString("CertificateManager", "LAST_LDAP_URL", c.url.c_str()));
    std::vector<std::string> selected;
    INT_PTR result = Run(
        nullptr,
        [&](kx::UiDriver& d, HWND sheet) {
          ClickTab(d, sheet, 1);
          HWND directory = d.WaitForDialog(4215);
          HWND available = d.Control(directory, kAvailable);
          EXPECT_EQ(Column(d, available), c.listed) << c.url;
          const std::string status = d.Text(d.Control(directory, 1065));
          EXPECT_EQ(status.substr(0, c.status.size()), c.status) << status;
          if (c.status.empty()) { EXPECT_EQ(status, ""); }
          if (!c.listed.empty()) Add(d, directory, c.listed[0]);
          else d.Click(d.Control(directory, kAdd));  // nothing to add
          Ok(d, sheet);
        },
        &selected);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(selected, c.listed);
  }
}

}  // namespace
}  // namespace certsel
