// The creation and PFX wizards driven through their pages as a person does; results checked with openssl.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "app/pages.h"
#include "certificates/CWizard.h"
#include "certificates/CertMgrPages.h"
#include "certificates/PfxWizard.h"
#include "core/SystemProfile.h"
#include "engine/CapicomCertificate.h"
#include "engine/CapicomStore.h"
#include "platform/com/combase.h"
#include "platform/cryptoapi/crypt.h"
#include "platform/mfc/afxstate.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/driver.h"
#include "platform/win32/modules.h"
#include "support/pki.h"
#include "support/testroot.h"
#include "support/wizard.h"

using namespace kxtest;

namespace {

CBrinmoorApp& App() {
  static CBrinmoorApp app;
  return app;
}

class Wizards : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CBrinmoorApp& app = App();
    if (app.m_hResourceModule) return;
    app.m_hResourceModule = LoadLibrary((BuildDir() + "/lib/KXRes.DLL").c_str());
    ASSERT_NE(app.m_hResourceModule, nullptr);
    SetResourceModule(app.m_hResourceModule);
    app.m_strModuleFolder = (BuildDir() + "/lib/").c_str();
  }
  void SetUp() override {
    // The library's start-up initialises COM on the thread that shows its sheets.
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    m_main = std::make_unique<CWnd>();
    App().m_pMainWnd = m_main.get();
    ASSERT_TRUE(m_main->CreateEx(0, "STATIC", "KX", 0xEFFFFFFF, 0, 0, 0, 0, nullptr, nullptr, nullptr));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    m_oldCwd = cwd;
    m_dir = MakeTempDir("wizard");
    ASSERT_EQ(chdir(m_dir.c_str()), 0);
  }
  void TearDown() override {
    (void)chdir(m_oldCwd.c_str());
    // Ours, whatever a failed test left the application pointing at.
    App().m_pMainWnd = nullptr;
    m_main.reset();
    kx::DestroyThreadWindows();
    CoUninitialize();
  }
  std::unique_ptr<CWnd> m_main;
  std::string m_dir, m_oldCwd;
};

std::unique_ptr<CBaseSheet> Make(const char* name) {
  CFormsObjectProvider provider;
  CBaseSheet* sheet = nullptr;
  provider.CreateSheetByName(name, nullptr, &sheet);
  if (sheet) sheet->m_bHosted = 0;
  return std::unique_ptr<CBaseSheet>(sheet);
}

std::string Shot(const char* name) { return MakeTempDir("shots") + "/" + name + ".png"; }

void FillIdentity(kx::UiDriver& d, HWND page, const char* name) {
  const std::pair<int, const char*> fields[] = {{1005, name},      {1004, "mia@example.com"}, {1006, "Example Ltd"},
                                                {1003, "Research"}, {1001, "Leeds"},          {1007, "Yorkshire"},
                                                {1002, "GB"}};
  for (const auto& f : fields) d.SetText(d.Control(page, f.first), f.second);
}

std::string SubjectOfStored(const char* part) {
  HCERTSTORE my = CertOpenSystemStoreA(0, "MY");
  PCCERT_CONTEXT c = CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, part, nullptr);
  std::string der = c ? std::string(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded) : "";
  bool linked = false;
  DWORD cb = 0;
  if (c) linked = CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cb) != FALSE;
  if (c) CertFreeCertificateContext(c);
  CertCloseStore(my, 0);
  if (der.empty()) return "";
  std::string path = MakeTempDir("stored") + "/c.cer", out;
  WriteFile(path, der);
  kxtest::Run("openssl x509 -inform DER -in '" + path + "' -noout -subject -ext basicConstraints 2>&1", &out);
  return (linked ? "linked " : "unlinked ") + out;
}

}  // namespace

TEST_F(Wizards, TheDefaultPathMakesAStoredSelfSignedCertificate) {
  auto sheet = Make("CCWizard");
  ASSERT_NE(sheet, nullptr);
  INT_PTR result = kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
    HWND hwnd = d.WaitForTitle("Certificate Generator");
    HWND main = Page(d, hwnd, CCWMainPage::IDD);
    d.SavePng(hwnd, Shot("create-main"));
    EXPECT_FALSE(d.IsEnabled(d.Control(main, 1014)));
    kxtest::PressNext(d, hwnd);
    // The enrolment setting passes over the purpose page.
    HWND identity = Page(d, hwnd, CCWIdentifyPage::IDD);
    // An empty field keeps the page.
    kxtest::PressNext(d, hwnd);
    EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(5170).GetString());
    FillIdentity(d, identity, "Mia \"The\" Maker, Jr");
    d.SavePng(hwnd, Shot("create-identity"));
    // Back reaches the main page, not the skipped purpose page.
    d.Click(d.Control(hwnd, ID_WIZBACK));
    Page(d, hwnd, CCWMainPage::IDD);
    kxtest::PressNext(d, hwnd);
    Page(d, hwnd, CCWIdentifyPage::IDD);
    kxtest::PressNext(d, hwnd);
    HWND finish = Page(d, hwnd, CCWFinishPage::IDD);
    HWND button = d.Control(hwnd, ID_WIZFINISH);
    EXPECT_FALSE(d.IsEnabled(button));
    EXPECT_FALSE(d.IsVisible(d.Control(finish, 1033)));
    d.WaitForEnabled(button, true, 60000);
    EXPECT_EQ(d.Text(d.Control(finish, 1002)), LoadResString(5181).GetString());
    EXPECT_FALSE(d.IsVisible(d.Control(finish, 1004)));
    d.SavePng(hwnd, Shot("create-finish"));
    d.Click(button);
    d.WaitForGone(hwnd);
  });
  EXPECT_EQ(result, ID_WIZFINISH);
  auto* wizard = dynamic_cast<CCWizard*>(sheet.get());
  EXPECT_EQ(wizard->m_Info.m_nKeyLength, 1024u);
  std::string stored = SubjectOfStored("Mia");
  EXPECT_NE(stored.find("linked subject=CN = \"Mia \\\"The\\\" Maker, Jr\""), std::string::npos) << stored;
  EXPECT_NE(stored.find("CA:TRUE"), std::string::npos) << stored;
}

TEST_F(Wizards, ARequestSavedToAFileVerifies) {
  std::string request = m_dir + "/mine.p10";
  auto sheet = Make("CCWizard");
  ASSERT_NE(sheet, nullptr);
  kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
    HWND hwnd = d.WaitForTitle("Certificate Generator");
    HWND main = Page(d, hwnd, CCWMainPage::IDD);
    d.Click(d.Control(main, 1017));
    kxtest::PressNext(d, hwnd);
    // A request to be saved needs its file: the purpose page shows although the setting passes it over.
    HWND purpose = Page(d, hwnd, CCWPurposePage::IDD);
    kxtest::PressNext(d, hwnd);
    EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(5157).GetString());
    kx::ControlDriver c(d);
    d.SetText(d.Control(purpose, 209), request);
    d.SavePng(hwnd, Shot("create-purpose"));
    kxtest::PressNext(d, hwnd);
    HWND identity = Page(d, hwnd, CCWIdentifyPage::IDD);
    FillIdentity(d, identity, "Nia Request");
    kxtest::PressNext(d, hwnd);
    HWND finish = Page(d, hwnd, CCWFinishPage::IDD);
    std::string told = AnswerPage(d, "OK");
    EXPECT_NE(told.find(request), std::string::npos) << told;
    HWND button = d.Control(hwnd, ID_WIZFINISH);
    d.WaitForEnabled(button, true, 60000);
    // Only a request was made: the page does not speak of a certificate made.
    EXPECT_EQ(d.Text(d.Control(finish, 1002)), "Your certificate request has been saved.");
    EXPECT_EQ(d.Text(d.Control(finish, 1001)), "Saving your certificate request");
    d.SavePng(hwnd, Shot("create-request-finish"));
    d.Click(button);
    d.WaitForGone(hwnd);
  });
  std::string out;
  EXPECT_EQ(kxtest::Run("openssl req -in '" + request + "' -verify -noout -subject 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("CN = Nia Request"), std::string::npos) << out;
  EXPECT_NE(out.find("verify OK"), std::string::npos) << out;
}

TEST_F(Wizards, AServiceRequestWithoutAServiceFailsItsStepsAndStillFinishes) {
  // The enrolment service at a loopback port where nothing listens.
  int port = 0;
  {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &n), 0);
    port = ntohs(a.sin_port);
    close(s);
  }
  CSystemProfile profile;
  profile.Load();
  profile.Transport_Address_Index = 0;
  profile.Transport_Address_URL = "http://127.0.0.1";
  profile.Transport_Port = port;
  profile.Save();

  auto sheet = Make("CCWizard");
  ASSERT_NE(sheet, nullptr);
  std::vector<int> marks;
  kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
    HWND hwnd = d.WaitForTitle("Certificate Generator");
    HWND main = Page(d, hwnd, CCWMainPage::IDD);
    d.Click(d.Control(main, 1016));
    kxtest::PressNext(d, hwnd);
    HWND identity = Page(d, hwnd, CCWIdentifyPage::IDD);
    FillIdentity(d, identity, "Oli Service");
    kxtest::PressNext(d, hwnd);
    HWND finish = Page(d, hwnd, CCWFinishPage::IDD);
    // One message, the connection failure.
    EXPECT_EQ(AnswerPage(d, "OK"), (LoadResString(603) + "\n" + LoadResString(604)).GetString());
    HWND button = d.Control(hwnd, ID_WIZFINISH);
    d.WaitForEnabled(button, true, 60000);
    HWND steps = d.Control(finish, 1033);
    EXPECT_TRUE(d.IsVisible(steps));
    for (int row = 0; row < 6; ++row)
      marks.push_back(static_cast<int>(d.Send(steps, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12));
    // A service request changes no result label.
    EXPECT_EQ(d.Text(d.Control(finish, 1002)), "");
    d.Click(button);
    d.WaitForGone(hwnd);
  });
  // Failed rows carry state image 1 (as rows do before they are marked: the request row is never reached); none
  // is done.
  EXPECT_EQ(marks, (std::vector<int>{1, 1, 1, 1, 1, 1}));
}

TEST_F(Wizards, PfxFilesFromOpensslImportIntoThePersonalStore) {
  for (bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "default");
    std::string pfx = pki::MakePfx("signer", "pw 123", legacy, m_dir + (legacy ? "/old.pfx" : "/new.pfx"));
    ASSERT_FALSE(pfx.empty());
    auto sheet = Make("CPfxWizard");
    ASSERT_NE(sheet, nullptr);
    kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
      HWND hwnd = d.WaitForTitle("Certificate Importer");
      Page(d, hwnd, PfxMainPage::IDD);
      if (!legacy) d.SavePng(hwnd, Shot("pfx-welcome"));
      kxtest::PressNext(d, hwnd);
      HWND file = Page(d, hwnd, PfxFilePage::IDD);
      d.SetText(d.Control(file, 1031), pfx);
      // No password: the page stays.
      kxtest::PressNext(d, hwnd);
      EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(572).GetString());
      d.SetText(d.Control(file, 1218), "pw 123");
      if (!legacy) d.SavePng(hwnd, Shot("pfx-file"));
      kxtest::PressNext(d, hwnd);
      EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(575).GetString());
      Page(d, hwnd, CFinishPage::IDD);
      d.Click(d.Control(hwnd, ID_WIZFINISH));
      d.WaitForGone(hwnd);
    });
    std::string stored = SubjectOfStored("alice");
    EXPECT_EQ(stored.rfind("linked ", 0), 0u) << stored;
  }
}

TEST_F(Wizards, TheAddressBookTakesCertificateFilesOnly) {
  auto sheet = Make("CPfxWizard");
  ASSERT_NE(sheet, nullptr);
  kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
    HWND hwnd = d.WaitForTitle("Certificate Importer");
    HWND welcome = Page(d, hwnd, PfxMainPage::IDD);
    kx::ControlDriver c(d);
    c.ComboPick(d.Control(welcome, 1202), LoadResString(30020).GetString());
    kxtest::PressNext(d, hwnd);
    HWND file = Page(d, hwnd, PfxFilePage::IDD);
    EXPECT_FALSE(d.IsEnabled(d.Control(file, 1218)));
    EXPECT_FALSE(d.IsEnabled(d.Control(file, 1199)));
    EXPECT_TRUE(d.IsChecked(d.Control(file, 1200)));
    d.SetText(d.Control(file, 1031), pki::Der("encrypt"));
    kxtest::PressNext(d, hwnd);
    EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(575).GetString());
    Page(d, hwnd, CFinishPage::IDD);
    d.Click(d.Control(hwnd, ID_WIZFINISH));
    d.WaitForGone(hwnd);
  });
  HCERTSTORE book = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                                  CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, "AddressBook");
  PCCERT_CONTEXT c = CertFindCertificateInStore(book, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, "bob", nullptr);
  EXPECT_NE(c, nullptr);
  CertFreeCertificateContext(c);
  CertCloseStore(book, 0);
}

TEST_F(Wizards, ExportWritesAPfxOnlyForAPasswordedPfxChoice) {
  // A digital ID in the personal store to export.
  std::string pfx = pki::MakePfx("signer", "pw 123", false, m_dir + "/in.pfx");
  ASSERT_FALSE(pfx.empty());
  {
    CCapicomCertificate id;
    ASSERT_EQ(id.Load(pfx.c_str(), "pw 123", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
    CCapicomStore my;
    ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(my.Add(id), S_OK);
  }
  // The certificate-file choice with text left in the disabled password box must not carry the key out.
  struct Case {
    const char* name;
    bool certificateFile;
  } cases[] = {{"out.pfx", false}, {"out.cer", true}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::string out = m_dir + "/" + k.name;
    auto sheet = Make("CPfxWizard");
    ASSERT_NE(sheet, nullptr);
    kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
      HWND hwnd = d.WaitForTitle("Certificate Importer");
      HWND welcome = Page(d, hwnd, PfxMainPage::IDD);
      d.Click(d.Control(welcome, 1203));
      kxtest::PressNext(d, hwnd);
      HWND file = Page(d, hwnd, PfxFilePage::IDD);
      d.SetText(d.Control(file, 1031), out);
      d.SetText(d.Control(file, 1218), "out pw");
      if (k.certificateFile) {
        d.Click(d.Control(file, 1200));
        EXPECT_FALSE(d.IsEnabled(d.Control(file, 1218)));
      }
      kxtest::PressNext(d, hwnd);
      HWND select = Page(d, hwnd, PfxSelCertPage::IDD);
      kx::ControlDriver c(d);
      c.ComboPick(d.Control(select, 1212), LoadResString(30034).GetString());
      d.Click(d.Control(select, 1043));
      // The manager's "Select Certificate" form: view only, the digital ID listed first.
      HWND chooser = d.WaitForTitle(LoadResString(298).GetString());
      HWND personal = Page(d, chooser, CPersonalCertPage::IDD);
      EXPECT_FALSE(d.IsEnabled(d.Control(personal, 1007)));
      d.Click(d.Control(chooser, IDOK));
      d.WaitForGone(chooser);
      // A second choice while one is listed is refused.
      d.Click(d.Control(select, 1043));
      EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(568).GetString());
      kxtest::PressNext(d, hwnd);
      EXPECT_EQ(AnswerPage(d, "OK"), LoadResString(212).GetString());
      Page(d, hwnd, CFinishPage::IDD);
      d.Click(d.Control(hwnd, ID_WIZFINISH));
      d.WaitForGone(hwnd);
    });
    std::string text;
    if (k.certificateFile) {
      EXPECT_EQ(kxtest::Run("openssl x509 -inform DER -in '" + out + "' -noout -subject 2>&1", &text), 0) << text;
      EXPECT_NE(text.find("alice"), std::string::npos) << text;
      EXPECT_NE(kxtest::Run("openssl pkcs12 -in '" + out + "' -passin pass:'out pw' -noout 2>&1", &text), 0) << text;
    } else {
      EXPECT_EQ(kxtest::Run("openssl pkcs12 -in '" + out + "' -passin pass:'out pw' -nodes 2>&1", &text), 0) << text;
      EXPECT_NE(text.find("PRIVATE KEY-----"), std::string::npos) << text;
      size_t certificates = 0;
      for (size_t at = text.find("BEGIN CERTIFICATE"); at != std::string::npos;
           at = text.find("BEGIN CERTIFICATE", at + 1))
        ++certificates;
      EXPECT_EQ(certificates, 1u) << text;  // end certificate only
    }
  }
}

TEST(CreationWorker, SubjectAlgorithmAndPurposeTables) {
  CCertCreationInfo info;
  info.m_strCommonName = "Smith, John";
  info.m_strOrgUnit = "R&D";
  info.m_strOrganisation = "Say \"Hi\"";
  info.m_strLocality = "Leeds";
  info.m_strState = "Yorks";
  info.m_strCountry = "GB";
  info.m_strEmail = "j@example.com";
  EXPECT_STREQ(kx::certcreate::SubjectText(info),
               "CN=\"Smith, John\",OU=R&D,O=\"Say \"\"Hi\"\"\",L=Leeds,S=Yorks,C=GB,E=j@example.com");
  EXPECT_STREQ(kx::certcreate::SignatureAlgorithmFor(0), "1.2.840.113549.1.1.5");
  EXPECT_STREQ(kx::certcreate::SignatureAlgorithmFor(1), "1.2.840.113549.1.1.4");
  EXPECT_STREQ(kx::certcreate::SignatureAlgorithmFor(2), "1.2.840.10040.4.3");
  const std::pair<const char*, DWORD> masks[] = {{"1.3.6.1.5.5.7.3.1", 1}, {"1.3.6.1.5.5.7.3.2", 2},
                                                 {"1.3.6.1.5.5.7.3.3", 4}, {"1.3.6.1.5.5.7.3.4", 8},
                                                 {"1.3.6.1.5.5.7.3.8", 16}, {"1.2.3", 0}, {"", 0}};
  for (const auto& m : masks) EXPECT_EQ(kx::certcreate::PurposeMaskFor(m.first), m.second) << m.first;
  // The record's defaults: the key pages skipped, a 1024-bit exchange key of the base provider, SHA-1.
  EXPECT_EQ(info.m_nAdvanced, 0u);
  EXPECT_EQ(info.m_nKeySpec, 1u);
  EXPECT_EQ(info.m_nProviderType, 1u);
  EXPECT_EQ(info.m_nKeyChoice, 0u);
  EXPECT_STREQ(info.m_strProviderName, "Microsoft Base Cryptographic Provider v1.0");
}
