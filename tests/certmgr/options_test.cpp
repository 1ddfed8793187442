// The options page as a person uses it: downloading a revocation list from a server on 127.0.0.1 into the
// user's "MY" store (read back with openssl), Apply downloading only a changed address, a list from an ldap://
// address, the LDAP page with and without a directory server behind its address, and the question before the
// caches are cleared.
#include <fstream>
#include <sstream>

#include "certmgr/certmgr_fixture.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/capicom/core/store.h"
#include "directory/slapd.h"
#include "platform/ui/controldriver.h"
#include "services/local_server.h"
#include "support/pki.h"

namespace certmgr_test {
namespace {

constexpr int kUrl = 1114, kDownload = 1263, kClear = 1264;

class Options : public CertMgrTest {
 protected:
  void SetUp() override {
    CertMgrTest::SetUp();
    m_served = kxtest::MakeTempDir("served");
    kxtest::WriteFile(m_served + "/inter.crl", kxtest::ReadFile(kxtest::pki::Crl("inter")));
    m_log = m_served + "/requests.log";
    std::string error;
    ASSERT_TRUE(m_server.Start(kxtest::SourceDir() + "/tests/certmgr/crl_server.py", {m_served, m_log}, &error))
        << error;
  }
  int Requests() const {
    std::ifstream in(m_log);
    int n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
  }
  // Opens the options page, lets the script work on it, then OK; the message shown by OK, if any.
  std::string OnOptions(const std::function<void(kx::UiDriver&, HWND)>& work, bool expectMessage) {
    std::string message;
    RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
      d.WaitForDialog(102);
      HWND page = OpenTab(d, sheet, 4, 4236);
      if (work) work(d, page);
      d.Click(d.Control(sheet, IDOK));
      if (expectMessage) message = d.AnswerMessageBox(IDOK);
      d.WaitForGone(sheet);
    });
    return message;
  }
  // The revocation lists registered in the user's "MY" store, as openssl prints their issuers.
  static std::vector<std::string> RegisteredIssuers() {
    std::vector<std::string> issuers;
    std::string crls = kx::capi::StoreFolder(CAPICOM_CURRENT_USER_STORE, "MY") + "/crls";
    std::string out;
    kxtest::Run("for f in " + crls + "/*.crl; do openssl crl -inform DER -in $f -noout -issuer; done 2>&1", &out);
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      if (line.find("issuer=") == 0) issuers.push_back(line.substr(line.find("CN = ") + 5));
    return issuers;
  }
  std::string m_served, m_log;
  kxtest::LocalServer m_server;
};

TEST_F(Options, DownloadNowRegistersTheListOrSaysWhyNot) {
  std::vector<std::string> texts;
  const std::string good = m_server.Url("/inter.crl");
  const std::string missing = m_server.Url("/none.crl");
  const std::string nobody = "http://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/inter.crl";
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    HWND page = OpenTab(d, sheet, 4, 4236);
    Screenshot(d, sheet, "options");
    for (const std::string& url : {good, missing, nobody}) {
      d.SetText(d.Control(page, kUrl), url);
      d.Click(d.Control(page, kDownload));
      texts.push_back(d.AnswerMessageBox(IDOK));
    }
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(texts, (std::vector<std::string>{"The revocation list has been downloaded and registered.",
                                            "The revocation list could not be downloaded from this address.",
                                            "The revocation list could not be downloaded from this address."}));
  EXPECT_EQ(RegisteredIssuers(), (std::vector<std::string>{"Test Intermediate CA"}));
}

TEST_F(Options, ApplyDownloadsOnlyAChangedAddress) {
  const std::string url = m_server.Url("/inter.crl");
  // A new address: saved and downloaded.
  EXPECT_EQ(OnOptions([&](kx::UiDriver& d, HWND page) { d.SetText(d.Control(page, kUrl), url); }, true),
            "OfficeTolvex successfully downloaded and registered the CRL");
  EXPECT_EQ(Requests(), 1);
  CCertificateManagerSettings settings;
  settings.Load();
  EXPECT_EQ(std::string(settings.CRLDP), url);
  EXPECT_EQ(RegisteredIssuers(), (std::vector<std::string>{"Test Intermediate CA"}));

  // The same address again: nothing fetched.
  OnOptions(nullptr, false);
  EXPECT_EQ(Requests(), 1);

  // Only the letter case changed: fetched again.
  std::string upper = url;
  upper.replace(0, 4, "HTTP");
  OnOptions([&](kx::UiDriver& d, HWND page) { d.SetText(d.Control(page, kUrl), upper); }, true);
  EXPECT_EQ(Requests(), 2);

  // Download now, then OK with the same address: one download.
  OnOptions(
      [&](kx::UiDriver& d, HWND page) {
        d.SetText(d.Control(page, kUrl), url);
        d.Click(d.Control(page, kDownload));
        d.AnswerMessageBox(IDOK);
      },
      false);
  EXPECT_EQ(Requests(), 3);
}

TEST_F(Options, AnAddressThatFailedIsTriedAgain) {
  const std::string url = m_server.Url("/later.crl");
  std::string first;
  EXPECT_EQ(OnOptions(
                [&](kx::UiDriver& d, HWND page) {
                  d.SetText(d.Control(page, kUrl), url);
                  d.Click(d.Control(page, kDownload));
                  first = d.AnswerMessageBox(IDOK);
                  // The list is there now.
                  kxtest::WriteFile(m_served + "/later.crl", kxtest::ReadFile(kxtest::pki::Crl("root")));
                },
                true),
            "OfficeTolvex successfully downloaded and registered the CRL");
  EXPECT_EQ(first, "The revocation list could not be downloaded from this address.");
  EXPECT_EQ(Requests(), 2);
}

TEST_F(Options, LdapPageWithNoDirectoryServer) {
  kxtest::Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error)) << error;
  ASSERT_TRUE(slapd.Add(kxtest::Slapd::Person("Alice Signer", "alice@example.com", {kxtest::pki::DerBytes("signer")})));
  const std::string down = "ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/cn=People";
  const std::string found = slapd.Url("/ou=People,dc=test??one?(mail=alice@example.com)");
  std::vector<std::string> texts, rows;
  bool urlEnabledOff = true, urlEnabledOn = false;
  std::string first;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    HWND page = OpenTab(d, sheet, 5, 4237);
    first = d.Text(d.Control(page, 1112));
    urlEnabledOff = d.IsEnabled(d.Control(page, 1112));
    d.Click(d.Control(page, 1109));
    urlEnabledOn = d.IsEnabled(d.Control(page, 1112)) && d.IsEnabled(d.Control(page, 1113));
    Screenshot(d, sheet, "ldap");
    for (const std::string& url : {std::string("LDAP://"), down, slapd.Url("/dc=test??sub?(mail=nobody@example.com)"),
                                   std::string("ldap://127.0.0.1/dc=test?cn?nowhere")}) {
      d.SetText(d.Control(page, 1112), url);
      d.Click(d.Control(page, 1113));
      texts.push_back(d.AnswerMessageBox(IDOK));
    }
    // An address that finds someone: the address book's window lists the entry.
    d.SetText(d.Control(page, 1112), found);
    d.Click(d.Control(page, 1113));
    HWND window = d.WaitForTitle("Directory Entries - " + found);
    HWND list = d.ControlByClass(window, "SysListView32");
    for (int column = 0; column < 3; ++column) rows.push_back(kx::ControlDriver(d).ListText(list, 0, column));
    d.Click(d.ControlByText(window, "Close"));
    d.WaitForGone(window);
    d.SetText(d.Control(page, 1112), down);
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(first, "ldap://");
  EXPECT_FALSE(urlEnabledOff);
  EXPECT_TRUE(urlEnabledOn);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Type the address of the directory server after \"ldap://\".");
  // The server that is not there is told as such, not as a wrong address.
  EXPECT_EQ(texts[1].rfind("The directory could not be searched: ldap://127.0.0.1:", 0), 0u) << texts[1];
  EXPECT_NE(texts[1].find("Can't contact LDAP server"), std::string::npos) << texts[1];
  EXPECT_EQ(texts[2], "Nothing was found in the directory at this address.");
  EXPECT_EQ(texts[3], "The directory could not be searched with this address.");
  EXPECT_EQ(rows, (std::vector<std::string>{"Alice Signer", "alice@example.com", "1"}));
  CCertificateManagerSettings settings;
  settings.Load();
  EXPECT_EQ(settings.ENABLE_LDAP_SEARCH, 1u);
  EXPECT_EQ(std::string(settings.LAST_LDAP_URL), down);
}

TEST_F(Options, ARevocationListFromTheDirectory) {
  kxtest::Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error)) << error;
  ASSERT_TRUE(slapd.Add("dn: cn=Test CRL,dc=test\nobjectClass: cRLDistributionPoint\ncn: Test CRL\n"
                        "certificateRevocationList;binary:: " +
                        kxtest::Slapd::Base64(kxtest::ReadFile(kxtest::pki::Crl("inter"))) + "\n"));
  std::string told;
  OnOptions(
      [&](kx::UiDriver& d, HWND page) {
        d.SetText(d.Control(page, kUrl), slapd.Url("/cn=Test%20CRL,dc=test?certificateRevocationList;binary"));
        d.Click(d.Control(page, kDownload));
        told = d.AnswerMessageBox(IDOK);
      },
      false);
  EXPECT_EQ(told, "The revocation list has been downloaded and registered.");
  std::shared_ptr<kx::capi::CertStore> my;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "MY", 0, my), S_OK);
  const std::vector<kx::capi::CrlRef> crls = my->Crls();
  ASSERT_EQ(crls.size(), 1u);
  const auto& der = crls[0]->der();
  EXPECT_EQ(std::string(der.begin(), der.end()), kxtest::ReadFile(kxtest::pki::Crl("inter")));
}

TEST_F(Options, ClearingTheCachesAsksFirst) {
  char cache[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, cache, CSIDL_INTERNET_CACHE, TRUE));
  const std::string entry = std::string(cache) + "/entry.crl";
  kxtest::WriteFile(entry, "x");
  for (int answer : {IDNO, IDYES}) {
    RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
      d.WaitForDialog(102);
      HWND page = OpenTab(d, sheet, 4, 4236);
      d.Click(d.Control(page, kClear));
      d.AnswerMessageBox(answer);
      d.Click(d.Control(sheet, IDCANCEL));
      d.WaitForGone(sheet);
    });
    EXPECT_EQ(access(entry.c_str(), F_OK) == 0, answer == IDNO);
  }
}

}  // namespace
}  // namespace certmgr_test
