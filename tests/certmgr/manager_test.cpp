// The certificate manager sheet as a person uses it: its pages in each role, the digital IDs (only certificates
// with a private key, optionally those of one e-mail address), choosing a certificate in a selection role, and
// the store pages whose source fails or is empty.
#include "certmgr/certmgr_fixture.h"
#include "directory/slapd.h"
#include "core/SettingsStore.h"
#include "platform/services/offthread.h"
#include "platform/win32/registry.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/ui/commctrl.h"
#include "services/local_server.h"
#include "support/pki.h"

namespace certmgr_test {
namespace {

using certsel::Column;
using certsel::RowMark;
using certsel::TabTexts;

constexpr int kList = 1033;

class Manager : public CertMgrTest {};

TEST_F(Manager, EachRoleShowsItsPages) {
  const std::vector<std::string> all = {"My Digital IDs", "Smart Card", "Directory", "Address Book",
                                        "Options", "LDAP", "Trusted Roots", "Trust Points"};
  std::vector<std::string> tabs;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    tabs = TabTexts(d, sheet);
    // Every page once, for a look at each.
    const ULONG_PTR templates[] = {102, 30051, 4203, 4204, 4236, 4237, 30056, 30057};
    Screenshot(d, sheet, "manager-0-102");
    for (int i = 1; i < 8; ++i) {
      if (templates[i] == 30057) {
        certsel::ClickTab(d, sheet, i);
        d.AnswerMessageBox(IDNO);  // no one-click folder yet
      }
      HWND page = OpenTab(d, sheet, i, templates[i]);
      EXPECT_TRUE(d.IsVisible(page));
      Screenshot(d, sheet, "manager-" + std::to_string(i) + "-" + std::to_string(templates[i]));
    }
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(tabs, all);

  // The selection flag drops the directory and the address-book store.
  RunSheet([](CCertSheet& s) { s.m_bSelectionMode = 1; },
           [&](kx::UiDriver& d, HWND sheet) {
             d.WaitForDialog(102);
             tabs = TabTexts(d, sheet);
             d.Click(d.Control(sheet, IDCANCEL));
             d.WaitForGone(sheet);
           });
  EXPECT_EQ(tabs, (std::vector<std::string>{"My Digital IDs", "Smart Card", "Options", "LDAP", "Trusted Roots",
                                            "Trust Points"}));

  // The "Select Certificate" sheet has its five pages, and only View on its list pages.
  bool importEnabled = true, viewEnabled = false;
  RunSheet(nullptr,
           [&](kx::UiDriver& d, HWND sheet) {
             HWND page = d.WaitForDialog(102);
             tabs = TabTexts(d, sheet);
             importEnabled = d.IsEnabled(d.Control(page, 1009));
             viewEnabled = d.IsEnabled(d.Control(page, 1012));
             d.Click(d.Control(sheet, IDCANCEL));
             d.WaitForGone(sheet);
           },
           nullptr, true);
  EXPECT_EQ(tabs, (std::vector<std::string>{"My Digital IDs", "Smart Card", "Directory", "Address Book",
                                            "Trusted Roots"}));
  EXPECT_FALSE(importEnabled);
  EXPECT_TRUE(viewEnabled);
}

TEST_F(Manager, PersonalPageListsOnlyCertificatesWithKeysAndFiltersByMail) {
  TrustFixture();
  AddFixtureCrls();
  AddWithKey("signer");
  AddWithKey("encrypt");
  AddCert("My", "expired");  // no key: not a digital ID
  std::vector<std::string> names, fourth;
  int mark = -1;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    HWND list = d.Control(d.WaitForDialog(102), kList);
    names = Column(d, list);
    mark = RowMark(d, list, 0);
    Screenshot(d, sheet, "personal");
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Alice Signer", "Bob Encryption"}));
  EXPECT_EQ(mark, 2);  // trusted, current, not revoked

  std::string heading;
  RunSheet(
      [](CCertSheet& s) {
        s.m_bMailFilter = 1;
        s.m_strMailFilter = "ALICE@Example.com";
      },
      [&](kx::UiDriver& d, HWND sheet) {
        HWND list = d.Control(d.WaitForDialog(102), kList);
        names = Column(d, list);
        fourth = Column(d, list, 3);
        char text[64] = {};
        LVCOLUMN column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        d.Send(list, LVM_GETCOLUMN, 3, reinterpret_cast<LPARAM>(&column));
        heading = text;
        d.Click(d.Control(sheet, IDCANCEL));
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(names, (std::vector<std::string>{"Alice Signer"}));
  EXPECT_EQ(fourth, (std::vector<std::string>{"alice@example.com"}));
  EXPECT_EQ(heading, "E-mail");
}

TEST_F(Manager, SelectionRoleHandsBackTheDoubleClickedCertificate) {
  AddWithKey("signer");
  AddWithKey("encrypt");
  std::string subject, issuer, texts;
  INT_PTR result = RunSheet([](CCertSheet& s) { s.m_bSelectionMode = 1; },
                            [&](kx::UiDriver& d, HWND sheet) {
                              HWND list = d.Control(d.WaitForDialog(102), kList);
                              kx::ControlDriver c(d);
                              c.ListDoubleClickRow(list, c.WaitForListRow(list, "Bob Encryption"));
                              d.WaitForGone(sheet);
                            },
                            [&](CCertSheet& s) {
                              subject = s.m_ResultCertificate.IsEmpty() ? "" : s.m_ResultCertificate.GetInfo(0).GetAnsi();
                              issuer = s.m_strIssuerName;
                              texts = s.m_strSubjectName + "|" + (s.m_strValidTo.IsEmpty() ? "" : "date");
                            });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(subject, "Bob Encryption");
  EXPECT_EQ(issuer, "Test Intermediate CA");
  EXPECT_EQ(texts, "Bob Encryption|date");

  // In the manager role a double click only makes the row current, and OK returns nothing.
  result = RunSheet(nullptr,
                    [&](kx::UiDriver& d, HWND sheet) {
                      HWND list = d.Control(d.WaitForDialog(102), kList);
                      kx::ControlDriver c(d);
                      c.ListDoubleClickRow(list, c.WaitForListRow(list, "Alice Signer"));
                      EXPECT_TRUE(d.IsVisible(sheet));
                      d.Click(d.Control(sheet, IDOK));
                      d.WaitForGone(sheet);
                    },
                    [&](CCertSheet& s) { subject = s.m_strSubjectName; });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(subject, "");
}

TEST_F(Manager, SelectionWithoutDigitalIdsOffersNothingToConfirm) {
  AddCert("My", "signer");  // in the store, but without its key
  bool okEnabled = true;
  bool resultEmpty = false;
  RunSheet([](CCertSheet& s) { s.m_bSelectionMode = 1; },
           [&](kx::UiDriver& d, HWND sheet) {
             HWND list = d.Control(d.WaitForDialog(102), kList);
             EXPECT_EQ(kx::ControlDriver(d).ListRowCount(list), 0);
             okEnabled = d.IsEnabled(d.Control(sheet, IDOK));
             // OK pressed anyway (the key of the button) returns no certificate.
             d.Post(sheet, WM_COMMAND, IDOK, 0);
             d.WaitForGone(sheet);
           },
           [&](CCertSheet& s) { resultEmpty = s.m_ResultCertificate.IsEmpty(); });
  EXPECT_FALSE(okEnabled);
  EXPECT_TRUE(resultEmpty);
}

TEST_F(Manager, AddressBookStoreAndDirectoryPages) {
  AddCert("AddressBook", "encrypt");
  AddCert("AddressBook", "signer");
  std::vector<std::string> book, found;
  bool dirView = true;
  std::string picked, status;
  RunSheet([](CCertSheet& s) { s.m_bSelectionMode = 0; },
           [&](kx::UiDriver& d, HWND sheet) {
             d.WaitForDialog(102);
             HWND dir = OpenTab(d, sheet, 2, 4203);
             // No directory server set up: the page says so.
             found = Column(d, d.Control(dir, kList));
             status = d.Text(d.Control(dir, 1065));
             dirView = d.IsEnabled(d.Control(dir, 1012));
             HWND page = OpenTab(d, sheet, 3, 4204);
             book = Column(d, d.Control(page, kList));
             d.Click(d.Control(sheet, IDCANCEL));
             d.WaitForGone(sheet);
           });
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(dirView);
  EXPECT_EQ(status, "No directory server is set up. Type its address on the LDAP page and turn the LDAP search on.");
  // Sorted by subject, whatever the store order.
  EXPECT_EQ(book, (std::vector<std::string>{"Alice Signer", "Bob Encryption"}));

  // The row's item data still names its certificate after sorting: the selection sheet returns it.
  RunSheet(nullptr,
           [&](kx::UiDriver& d, HWND sheet) {
             d.WaitForDialog(102);
             HWND page = OpenTab(d, sheet, 3, 4204);
             kx::ControlDriver(d).ListPickRow(d.Control(page, kList), "Bob Encryption");
             d.Click(d.Control(sheet, IDOK));
             d.WaitForGone(sheet);
           },
           [&](CCertSheet& s) { picked = s.m_strSubjectName; }, true);
  EXPECT_EQ(picked, "Bob Encryption");
}

TEST_F(Manager, DirectoryPageSearchesOnlyWhenAllowed) {
  CCertificateManagerSettings settings;
  settings.Load();
  settings.ENABLE_ACTIVE_DIRECTORY = 0;
  settings.Save();
  bool viewEnabled = false;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    HWND dir = OpenTab(d, sheet, 2, 4203);
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(d.Control(dir, kList)), 0);
    // Nothing searched: the buttons keep their template state.
    viewEnabled = d.IsEnabled(d.Control(dir, 1012));
    EXPECT_EQ(d.Text(d.Control(dir, 1065)), "Searching the directory is turned off in the certificate manager's options.");
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_TRUE(viewEnabled);
}

TEST_F(Manager, DirectoryPageListsWhatTheDirectoryHolds) {
  kxtest::Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error)) << error;
  ASSERT_TRUE(slapd.Add(
      kxtest::Slapd::Person("Alice Signer", "alice@example.com", {kxtest::pki::DerBytes("signer")}) +
      kxtest::Slapd::Person("Bob Encryption", "bob@example.com",
                            {kxtest::pki::DerBytes("encrypt"), kxtest::pki::DerBytes("expired")})));
  TrustFixture();
  AddFixtureCrls();
  const std::string down = "ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/dc=test";
  struct Case {
    std::string url;
    std::vector<std::string> listed;
    std::string status;
    DWORD sizeLimit = 1000;
  } cases[] = {{slapd.Url("/dc=test"), {"Alice Signer", "Bob Encryption", "Carol Expired"}, ""},
               {slapd.Url("/dc=test"), {"Alice Signer"},
                "The list is partial: the directory holds more than the 1 entries listed (its size limit)", 1},
               {slapd.Url("/ou=Nowhere,dc=test"), {}, "No certificate was found in the directory."},
               {down, {}, "The directory could not be searched: " + down.substr(0, down.rfind('/')) + ": Can't contact LDAP server"}};
  for (const Case& c : cases) {
    CCertificateManagerSettings settings;
    settings.Load();
    settings.ENABLE_LDAP_SEARCH = 1;
    settings.LAST_LDAP_URL = c.url.c_str();
    settings.Save();
    CSettingsStore(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex").WriteInt("CertificateManager", "LDAP_SIZE_LIMIT", c.sizeLimit);
    std::vector<std::string> listed;
    std::vector<int> marks;
    std::string status;
    bool view = false;
    RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
      d.WaitForDialog(102);
      HWND dir = OpenTab(d, sheet, 2, 4203);
      listed = Column(d, d.Control(dir, kList));
      for (size_t i = 0; i < listed.size(); ++i) marks.push_back(RowMark(d, d.Control(dir, kList), static_cast<int>(i)));
      status = d.Text(d.Control(dir, 1065));
      view = d.IsEnabled(d.Control(dir, 1012));
      d.Click(d.Control(sheet, IDCANCEL));
      d.WaitForGone(sheet);
    });
    EXPECT_EQ(listed, c.listed) << c.url;
    EXPECT_EQ(status.substr(0, c.status.size()), c.status) << status;
    EXPECT_EQ(view, !c.listed.empty()) << c.url;
    // The expired certificate is marked as not valid, the others as valid.
    if (c.listed.size() == 3) { EXPECT_EQ(marks, (std::vector<int>{2, 2, 1})); }
  }
}

TEST_F(Manager, DirectoryPageSearchOfASilentServerCanBeStopped) {
  kxtest::Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error)) << error;
  CCertificateManagerSettings settings;
  settings.Load();
  settings.ENABLE_LDAP_SEARCH = 1;
  settings.LAST_LDAP_URL = slapd.Url("/dc=test").c_str();
  settings.Save();
  CSettingsStore(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex").WriteInt("CertificateManager", "LDAP_TIME_LIMIT", 300);
  slapd.Pause();
  std::string status;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    certsel::ClickTab(d, sheet, 2);
    HWND wait = d.WaitForTitle(kx::kOffThreadCaption);
    // The sheet's thread keeps answering while the server does not.
    EXPECT_GT(d.Send(sheet, WM_GETTEXTLENGTH), 0);
    d.Sync(wait);
    d.Click(d.ControlByText(wait, "&Stop"));
    d.WaitForGone(wait);
    HWND dir = d.WaitForDialog(4203);
    d.WaitForText(d.Control(dir, 1065), "The directory could not be searched: the search was stopped");
    status = d.Text(d.Control(dir, 1065));
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(d.Control(dir, kList)), 0);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  slapd.Resume();
  EXPECT_EQ(status, "The directory could not be searched: the search was stopped");
}

}  // namespace
}  // namespace certmgr_test
