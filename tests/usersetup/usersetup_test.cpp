// The user set-up wizard through the library's two exports, driven as a person does: the welcome page's checks,
// a run that makes a local certificate, a run through a stand-in enrolment service, and a run for a user who
// has a certificate already.
#include <gtest/gtest.h>

#include <string>

#include "app/pages.h"
#include "certificates/CertFileComponent.h"
#include "engine/CapicomCertificate.h"
#include "engine/CapicomStore.h"
#include "library/library.h"
#include "platform/com/combase.h"
#include "platform/mfc/resource.h"
#include "platform/ui/commonctrl.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "services/local_server.h"
#include "support/pki.h"
#include "support/testroot.h"
#include "support/wizard.h"
#include "usersetup/usertest.h"

using kxtest::AnswerPage;
using kxtest::Page;
using namespace usertest;

namespace {

constexpr int kWelcome = 30053, kFinish = 30054;
const char kCertificateExists[] = "Certificate for this email address already exists.";

class UserSetupWizard : public libtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    PointServiceAt(kxtest::UnusedPort());
  }
  void TearDown() override {
    kx::UnregisterClass(CLSID_CertFileComponent);
    LibraryTest::TearDown();
  }
  // Runs UserSetup (names given) or DisplayUserSetupWizard (none) beside the script; the export's result.
  int Show(const char* fullName, const char* address, const std::function<void(kx::UiDriver&)>& script) {
    if (fullName) {
      auto* setup = Export<int(const char*, const char*)>("UserSetup");
      return static_cast<int>(kx::RunWithUiHere([&] { return INT_PTR(setup(fullName, address)); }, script));
    }
    auto* display = Export<int(int, int)>("DisplayUserSetupWizard");
    return static_cast<int>(kx::RunWithUiHere([&] { return INT_PTR(display(7, 9)); }, script));
  }
  std::string Text(UINT id) {
    char text[1100] = "";
    LoadString(resources_, id, text, sizeof text);
    return text;
  }
  HMODULE resources_ = LoadLibrary("KXRes.DLL");
};

// The state image of each step row: 2 done or current, 1 not done.
std::string StepMarks(kx::UiDriver& d, HWND page) {
  HWND list = d.Control(page, 1191);
  std::string marks;
  for (int row = 0; row < 5; ++row)
    marks += std::to_string((d.Send(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
  return marks;
}

// Waits on the finish page until the run ends; the step marks then.
std::string WaitForRun(kx::UiDriver& d, HWND sheet) {
  HWND page = Page(d, sheet, kFinish);
  HWND finish = d.Control(sheet, ID_WIZFINISH);
  // Finish comes only with the end of the whole run: the step marks read when it is enabled are final. (A
  // check that it is still disabled on arrival would race with a quick run.)
  d.WaitForEnabled(finish, true, 90000);
  std::string marks = StepMarks(d, page);
  EXPECT_FALSE(d.IsVisible(d.Control(page, 1087)));
  // The steps' one column has the list's whole width, so that no step's text is cut.
  HWND list = d.Control(page, 1191);
  int width = 0;
  RECT client{};
  d.Invoke(list, [&] {
    width = static_cast<int>(SendMessage(list, LVM_GETCOLUMNWIDTH, 0, 0));
    GetClientRect(list, &client);
  });
  EXPECT_GE(width, client.right - client.left);
  d.SavePng(sheet, kxtest::MakeTempDir("shots") + "/usersetup-finish.png");
  d.Click(finish);
  d.WaitForGone(sheet);
  return marks;
}

std::string Sz(const std::string& text) { return "sz:" + text; }

}  // namespace

TEST_F(UserSetupWizard, TheWelcomePageChecksTheEntriesThenALocalCertificateAndThePresetsAreMade) {
  StoreProfile("Known@Example.com");
  // An empty one-click folder value: the set-up makes the folder under the documents and records it.
  SetString("OfficeTolvex\\OneClickManager", "OneClickFolder", "");
  const std::string name = "Ann Lee, Jr. A/B";
  int result = Show(nullptr, nullptr, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("User Setup");
    HWND welcome = Page(d, sheet, kWelcome);
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZBACK)));
    struct Case {
      const char* name;
      const char* address;
      std::string told;
    } refused[] = {{"", "", Text(608)},
                   {"", "ann@example.com", Text(609)},
                   {"Ann", "a@b.", Text(610)},
                   {"Ann", "ab@cd", Text(610)},
                   {"Ann", "KNOWN@example.COM", Text(611) + " " + Text(612)}};
    for (const Case& c : refused) {
      SCOPED_TRACE(c.address);
      d.SetText(d.Control(welcome, 1060), c.name);
      d.SetText(d.Control(welcome, 1241), c.address);
      kxtest::PressNext(d, sheet);
      EXPECT_EQ(AnswerPage(d, "OK"), c.told);
    }
    EXPECT_TRUE(d.IsVisible(welcome));
    // Five characters with an "@" and a "." are enough.
    d.SetText(d.Control(welcome, 1060), name);
    d.SetText(d.Control(welcome, 1241), "a@b.c");
    kxtest::PressNext(d, sheet);
    EXPECT_EQ(WaitForRun(d, sheet), "22222");
  });
  EXPECT_EQ(result, 1);

  // The new profile follows the one there was, which stays the default.
  auto profiles = Profiles();
  EXPECT_EQ(profiles["m_List\\Count"], "dword:2");
  EXPECT_EQ(profiles["m_Default"], "dword:0");
  EXPECT_EQ(profiles["m_List\\1\\m_strEmailName"], Sz("a@b.c"));
  EXPECT_EQ(profiles["m_List\\1\\m_strFullName"], Sz(name));
  // Its display name is the name the user gave, so that the profile lists do not show an empty name.
  EXPECT_EQ(profiles["m_List\\1\\m_strDesc"], Sz(name));

  // A self-signed certificate of the user with the demonstration parts, linked to its key.
  bool linked = false;
  std::string der = PersonalCertificate("a@b.c", &linked);
  ASSERT_FALSE(der.empty());
  EXPECT_TRUE(linked);
  std::string seen = Describe(der);
  EXPECT_NE(seen.find("subject=emailAddress=a@b.c,ST=Demo,L=Demo,O=Demo,OU=Demo,CN=Ann Lee\\, Jr. A/B"),
            std::string::npos) << seen;
  EXPECT_NE(seen.find("issuer=emailAddress=a@b.c,ST=Demo"), std::string::npos) << seen;
  EXPECT_NE(seen.find("E-mail Protection"), std::string::npos) << seen;

  // The three presets of the profile, for and by the user's certificate.
  struct Expected {
    const char* value;
    int kind;
    const char* name;
    int cipher;
  } expected[] = {{"m_strEncOneClick", 0, "a@b.c(Encrypt)", 3},
                  {"m_strSignOneClick", 1, "a@b.c(Sign)", 0xFF},
                  {"m_strSignEncOneClick", 2, "a@b.c(SignEncrypt)", 3}};
  const std::string folder = Value("OfficeTolvex\\OneClickManager", "OneClickFolder").substr(3);
  EXPECT_NE(folder.find("/My OneClick Settings"), std::string::npos) << folder;
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.value);
    std::string path = profiles[std::string("m_List\\1\\") + e.value].substr(3);
    Preset preset = ReadPreset(path);
    ASSERT_TRUE(preset.loaded) << path;
    EXPECT_EQ(preset.kind, e.kind);
    EXPECT_EQ(preset.name, e.name);
    EXPECT_EQ(preset.cipher, e.cipher);
    EXPECT_EQ(preset.keyLength, e.cipher);
    EXPECT_EQ(preset.signer, der);
    EXPECT_EQ(preset.recipient, der);
    // Its copy in the one-click folder: the name's dots and slash made harmless.
    std::string base = path.substr(path.rfind('/') + 1);
    base = base.substr(0, base.rfind('.'));
    std::string copy = folder + "/Ann Lee, Jr_ A_B_a@b_c" + base + ".CLK";
    EXPECT_EQ(kxtest::ReadFile(copy), kxtest::ReadFile(path)) << copy;
  }
}

TEST_F(UserSetupWizard, UserSetupRefusesAnAddressThatHasAProfileInAnyCase) {
  StoreProfile("Known@Example.com");
  auto before = Profiles();
  auto* setup = Export<int(const char*, const char*)>("UserSetup");
  EXPECT_EQ(setup("Someone", "KNOWN@EXAMPLE.COM"), 0);
  EXPECT_EQ(Profiles(), before);
}

TEST_F(UserSetupWizard, TheEnrolmentServiceIssuesTheCertificateFromARequest) {
  kxtest::LocalServer service;
  std::string log = kxtest::MakeTempDir("service") + "/calls.log", error;
  ASSERT_TRUE(service.Start(kxtest::SourceDir() + "/tests/usersetup/setup_server.py", {log}, &error)) << error;
  PointServiceAt(service.port());
  int result = Show("Bea Stone", "bea@example.org", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("User Setup");
    // The run starts at once, on the finish page.
    EXPECT_EQ(WaitForRun(d, sheet), "22222");
  });
  EXPECT_EQ(result, 1);

  std::string calls = kxtest::ReadFile(log);
  EXPECT_NE(calls.find("\"method\": \"VerifyConnect\""), std::string::npos) << calls;
  EXPECT_NE(calls.find("{\"method\": \"Generate\", \"prefix\": \"rudezuVIZ\", \"zero\": true, \"verified\": true}"),
            std::string::npos) << calls;
  bool linked = false;
  std::string der = PersonalCertificate("bea@example.org", &linked);
  ASSERT_FALSE(der.empty());
  EXPECT_TRUE(linked);
  std::string seen = Describe(der);
  EXPECT_NE(seen.find("subject=CN=Bea Stone,emailAddress=bea@example.org"), std::string::npos) << seen;
  EXPECT_NE(seen.find("issuer=CN=Stand-in Enrolment CA"), std::string::npos) << seen;
  EXPECT_EQ(ReadPreset(Profiles()["m_List\\0\\m_strSignOneClick"].substr(3)).signer, der);
  // The answer with its key went through a file that is gone.
  char temp[4096] = "";
  GetTempPath(sizeof temp, temp);
  std::string left;
  kxtest::Run("ls '" + std::string(temp) + "' | grep -i '\\.pfx$'", &left);
  EXPECT_EQ(left, "");
}

TEST_F(UserSetupWizard, AUserWithACertificatePicksItOrNothingIsSetUp) {
  {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string pfx = kxtest::pki::MakePfx("signer", "pw", false, kxtest::MakeTempDir("pfx") + "/signer.pfx");
    CCapicomCertificate certificate;
    ASSERT_EQ(certificate.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
    CCapicomStore my;
    ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(my.Add(certificate), S_OK);
    CoUninitialize();
  }
  std::string title = Text(597);
  title.replace(title.find("%s"), 2, "alice@example.com");
  for (bool pick : {false, true}) {
    SCOPED_TRACE(pick ? "picked" : "cancelled");
    int result = Show("Alice", "alice@example.com", [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("User Setup");
      EXPECT_EQ(AnswerPage(d, "OK"), kCertificateExists);
      HWND picker = d.WaitForTitle(title);
      if (pick) {
        kx::ControlDriver c(d);
        HWND personal = Page(d, picker, 102);
        HWND list = d.ControlByClass(personal, "SysListView32");
        ASSERT_EQ(c.ListRowCount(list), 1);
        c.ListClickRow(list, 0);
        d.Click(d.Control(picker, IDOK));
      } else {
        d.Click(d.Control(picker, IDCANCEL));
        EXPECT_EQ(AnswerPage(d, "OK"), Text(598) + " " + Text(599) + " " + Text(600));
      }
      d.WaitForGone(picker);
      EXPECT_EQ(WaitForRun(d, sheet), pick ? "22222" : "21111");
    });
    EXPECT_EQ(result, 1);
    auto profiles = Profiles();
    if (!pick) {
      EXPECT_EQ(profiles.count("m_List\\0\\m_strEmailName"), 0u);
      continue;
    }
    EXPECT_EQ(profiles["m_List\\0\\m_strEmailName"], Sz("alice@example.com"));
    Preset preset = ReadPreset(profiles["m_List\\0\\m_strSignEncOneClick"].substr(3));
    EXPECT_EQ(preset.signer, kxtest::pki::DerBytes("signer"));
    EXPECT_EQ(preset.recipient, kxtest::pki::DerBytes("signer"));
  }
}
