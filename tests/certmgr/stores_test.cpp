// The platform's certificate manager ("cryptui", started by the Stores buttons and DisplayCertStores) driven as a
// person does: its tabs follow the store model, it lists, sorts, imports (certificate files, PKCS#7 bundles,
// PFX files with their password), exports (DER, Base64, PFX with the key; read back by openssl), views and
// removes. And the system's trust anchors in the Root store, which a removal distrusts and an import trusts again.
#include <sys/stat.h>

#include "certificates/CryptUILibrary.h"
#include "certificates/TrustLists.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/store.h"
#include "platform/capicom/display.h"
#include "platform/services/certmgr.h"
#include "platform/ui/commdlg.h"
#include "certmgr/certmgr_fixture.h"
#include "support/pki.h"

namespace certmgr_test {
namespace {

using certsel::ClickTab;
using certsel::Column;
using certsel::RowMark;
using certsel::TabTexts;

std::string Q(const std::string& s) { return "'" + s + "'"; }

kx::capi::CertRef Parsed(const std::string& name) {
  const std::string der = kxtest::pki::DerBytes(name);
  return kx::capi::CertData::Parse(kx::capi::Bytes(der.begin(), der.end()));
}

std::vector<kx::capi::Bytes>* g_viewed = nullptr;
HRESULT RecordView(const BYTE* der, std::size_t length) {
  if (g_viewed) g_viewed->emplace_back(der, der + length);
  return S_OK;
}

class Stores : public CertMgrTest {
 protected:
  // Starts the manager as the pages' Stores button does, while the script drives it.
  static void RunManager(const std::function<void(kx::UiDriver&, HWND)>& script, const char* purpose = nullptr) {
    kx::RunWithUiHere(
        [&] {
          if (purpose) {
            CRYPTUI_CERT_MGR_STRUCT parameters{sizeof parameters, nullptr, 0, nullptr, purpose};
            return static_cast<INT_PTR>(CryptUIStartCertMgr(&parameters));
          }
          CCryptUILibrary library;
          if (!library.Load()) return INT_PTR(-1);
          return static_cast<INT_PTR>(library.StartCertMgr());
        },
        [&](kx::UiDriver& d) {
          HWND dlg = d.WaitForTitle("Certificates");
          script(d, dlg);
          d.Click(d.Control(dlg, IDCANCEL));
          d.WaitForGone(dlg);
        });
  }
  static void Pick(kx::UiDriver& d, HWND dlg, const std::string& subject) {
    kx::ControlDriver(d).ListPickRow(d.Control(dlg, kCertMgrList), subject);
  }
  // Export of the row in the format of the file dialog's type list.
  static void ExportAs(kx::UiDriver& d, HWND dlg, const std::string& subject, const std::string& type,
                       const std::string& folder, const std::string& name) {
    kx::ControlDriver c(d);
    Pick(d, dlg, subject);
    d.Click(d.Control(dlg, kCertMgrExport));
    HWND fileDialog = d.WaitForTitle("Export");
    c.ComboPick(d.Control(fileDialog, KX_FD_TYPE), type);
    c.FillFileDialog(folder, {name});
  }
  static void TypePassword(kx::UiDriver& d, const std::string& password, bool confirm) {
    HWND box = d.WaitForTitle("Password");
    d.SetText(d.Control(box, kCertMgrPassword), password);
    if (confirm) d.SetText(d.Control(box, kCertMgrConfirm), password);
    d.Click(d.Control(box, IDOK));
    d.WaitForGone(box);
  }
  static int Openssl(const std::string& args, std::string* out) { return kxtest::Run("openssl " + args + " 2>&1", out); }
};

TEST_F(Stores, TheManagerShowsTheStoreModelAndExportsWhatOpensslReads) {
  ASSERT_FALSE(kxtest::pki::MakePfx("signer", "in", false, m_dir + "/signer.pfx").empty());
  const std::string out = kxtest::MakeTempDir("exports");
  std::vector<kx::capi::Bytes> viewed;
  g_viewed = &viewed;
  kx::capi::CertificateDisplayFn before = kx::capi::SetCertificateDisplay(&RecordView);
  RunManager([&](kx::UiDriver& d, HWND dlg) {
    std::vector<std::string> tabs = TabTexts(d, dlg);
    EXPECT_EQ(tabs, (std::vector<std::string>{"Personal", "Other People", "Intermediate Certification Authorities",
                                              "Trusted Root Certification Authorities"}));
    HWND list = d.Control(dlg, kCertMgrList);
    kx::ControlDriver c(d);
    EXPECT_EQ(c.ListRowCount(list), 0);
    // A digital ID from a PFX file; its key can go out again.
    d.Click(d.Control(dlg, kCertMgrImport));
    c.FillFileDialog(m_dir, {"signer.pfx"});
    TypePassword(d, "in", false);
    d.AnswerMessageBox(IDOK);
    c.WaitForListRow(list, "Alice Signer");
    EXPECT_EQ(c.ListText(list, 0, 1), "Test Intermediate CA");
    EXPECT_EQ(c.ListText(list, 0, 2).size(), 10u);  // a date
    EXPECT_FALSE(d.IsEnabled(d.Control(dlg, kCertMgrExport)));
    Screenshot(d, dlg, "platform-certificates");

    ExportAs(d, dlg, "Alice Signer", "DER encoded binary X.509 (*.cer)", out, "signer-der.cer");
    d.AnswerMessageBox(IDOK);
    ExportAs(d, dlg, "Alice Signer", "Base-64 encoded X.509 (*.cer)", out, "signer-b64.cer");
    d.AnswerMessageBox(IDOK);
    ExportAs(d, dlg, "Alice Signer", "Personal Information Exchange - PKCS #12 (*.pfx)", out, "signer.pfx");
    TypePassword(d, "export pass", true);
    d.AnswerMessageBox(IDOK);

    Pick(d, dlg, "Alice Signer");
    d.Click(d.Control(dlg, kCertMgrView));
    d.WaitUntil([&] { return viewed.size() == 1; }, "the certificate display");
  });
  kx::capi::SetCertificateDisplay(before);
  g_viewed = nullptr;
  ASSERT_EQ(viewed.size(), 1u);
  EXPECT_EQ(std::string(viewed[0].begin(), viewed[0].end()), kxtest::pki::DerBytes("signer"));

  std::string text;
  EXPECT_EQ(Openssl("x509 -inform DER -in " + Q(out + "/signer-der.cer") + " -noout -fingerprint -sha1", &text), 0) << text;
  const std::string fingerprint = text;
  EXPECT_EQ(kxtest::ReadFile(out + "/signer-b64.cer").rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
  EXPECT_EQ(Openssl("x509 -in " + Q(out + "/signer-b64.cer") + " -noout -fingerprint -sha1", &text), 0) << text;
  EXPECT_EQ(text, fingerprint);
  EXPECT_EQ(Openssl("pkcs12 -in " + Q(out + "/signer.pfx") + " -passin 'pass:export pass' -nodes", &text), 0) << text;
  EXPECT_NE(text.find("PRIVATE KEY-----"), std::string::npos) << text;
  EXPECT_NE(text.find("CN = Alice Signer"), std::string::npos) << text;
  // The key in the file is the certificate's.
  std::string keyModulus, certModulus;
  Openssl("pkcs12 -in " + Q(out + "/signer.pfx") + " -passin 'pass:export pass' -nodes -nocerts | openssl pkey -pubout",
          &keyModulus);
  Openssl("x509 -in " + Q(kxtest::pki::Pem("signer")) + " -noout -pubkey", &certModulus);
  EXPECT_EQ(keyModulus, certModulus);
}

TEST_F(Stores, ImportsSortsAndRemovesAsAPersonDoes) {
  const std::string one = MakeSelfSignedRoot("alpha", "Alpha Test Root");
  const std::string two = MakeSelfSignedRoot("zulu", "Zulu Test Root");
  const std::string bundle = m_dir + "/two.p7b";
  MakeBundle({m_dir + "/alpha.pem", m_dir + "/zulu.pem"}, bundle);
  const std::string pfx = kxtest::pki::MakePfx("encrypt", "right", false, m_dir + "/encrypt.pfx");
  ASSERT_FALSE(pfx.empty());
  RunManager([&](kx::UiDriver& d, HWND dlg) {
    kx::ControlDriver c(d);
    HWND list = d.Control(dlg, kCertMgrList);
    // A PFX file: a wrong password is refused, the right one brings the certificate with its key to Personal.
    d.Click(d.Control(dlg, kCertMgrImport));
    c.FillFileDialog(m_dir, {"encrypt.pfx"});
    TypePassword(d, "wrong", false);
    EXPECT_NE(d.AnswerMessageBox(IDOK).find("password"), std::string::npos);
    TypePassword(d, "right", false);
    d.AnswerMessageBox(IDOK);
    c.WaitForListRow(list, "Bob Encryption");

    // A bundle of two certificates into Other People; sorted by Issued To, both ways.
    ClickTab(d, dlg, 1);
    d.Click(d.Control(dlg, kCertMgrImport));
    c.FillFileDialog(m_dir, {"two.p7b"});
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "The import was successful.");
    c.WaitForListRow(list, "Zulu Test Root");
    c.ClickColumnHeader(list, 0);
    EXPECT_EQ(Column(d, list, 0), (std::vector<std::string>{"Alpha Test Root", "Zulu Test Root"}));
    c.ClickColumnHeader(list, 0);
    EXPECT_EQ(Column(d, list, 0), (std::vector<std::string>{"Zulu Test Root", "Alpha Test Root"}));
    // A certificate without a key goes out as Base-64 as well.
    ExportAs(d, dlg, "Zulu Test Root", "Base-64 encoded X.509 (*.cer)", m_dir, "zulu-b64.cer");
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "The export was successful.");
    // Removing asks; No keeps the certificate.
    Pick(d, dlg, "Zulu Test Root");
    d.Click(d.Control(dlg, kCertMgrRemove));
    d.AnswerMessageBox(IDNO);
    EXPECT_EQ(c.ListRowCount(list), 2);

    // A certificate file into the trusted roots asks first, and No adds nothing; removing a root asks twice.
    ClickTab(d, dlg, 3);
    for (int answer : {IDNO, IDYES}) {
      d.Click(d.Control(dlg, kCertMgrImport));
      c.FillFileDialog(m_dir, {"alpha.cer"});
      EXPECT_NE(d.AnswerMessageBox(answer).find("\"Alpha Test Root\" will be trusted"), std::string::npos);
    }
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "The import was successful.");
    c.WaitForListRow(list, "Alpha Test Root");
    Pick(d, dlg, "Alpha Test Root");
    d.Click(d.Control(dlg, kCertMgrRemove));
    d.AnswerMessageBox(IDYES);
    EXPECT_NE(d.AnswerMessageBox(IDYES).find("no longer be trusted"), std::string::npos);
    d.WaitUntil([&] { return c.ListRowCount(list) == 0; }, "the root to go");
  });
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "AddressBook"),
            (std::vector<std::string>{"Alpha Test Root", "Zulu Test Root"}));
  EXPECT_TRUE(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root").empty());
  std::string text;
  EXPECT_EQ(Openssl("x509 -in " + Q(m_dir + "/zulu-b64.cer") + " -noout -subject", &text), 0) << text;
  EXPECT_NE(text.find("Zulu Test Root"), std::string::npos) << text;
  std::shared_ptr<kx::capi::CertStore> mine;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY, mine), S_OK);
  std::vector<kx::capi::StoreEntry> entries = mine->Entries();
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_TRUE(entries[0].key);
  EXPECT_TRUE(kx::capi::KeyExists(*entries[0].key));
}

TEST_F(Stores, APurposeListsOnlyTheCertificatesGoodForIt) {
  for (const char* name : {"signer", "codesign", "wrongusage"}) {
    std::shared_ptr<kx::capi::CertStore> book;
    ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_WRITE, book), S_OK);
    kx::capi::StoreEntry entry;
    entry.cert = Parsed(name);
    ASSERT_EQ(book->Add(entry), S_OK);
  }
  RunManager(
      [&](kx::UiDriver& d, HWND dlg) {
        ClickTab(d, dlg, 1);
        HWND list = d.Control(dlg, kCertMgrList);
        kx::ControlDriver(d).WaitForListRow(list, "Test Code Signer");
        EXPECT_EQ(Column(d, list, 0), std::vector<std::string>{"Test Code Signer"});
      },
      "1.3.6.1.5.5.7.3.3");
}

// The personal page's mark is Check's verdict: a revoked digital ID gets none although its chain is whole.
TEST_F(Stores, MyDigitalIdsMarksOnlyWhatCheckAccepts) {
  TrustFixture();
  AddFixtureCrls();
  AddWithKey("signer");
  AddWithKey("revoked");
  std::vector<std::string> names;
  std::vector<int> marks;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    HWND list = d.Control(d.WaitForDialog(102), 1033);
    names = Column(d, list);
    for (size_t row = 0; row < names.size(); ++row) marks.push_back(RowMark(d, list, static_cast<int>(row)));
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Alice Signer", "Dave Revoked"}));
  EXPECT_EQ(marks, (std::vector<int>{2, 1}));
}

// The system's trust anchors: the Root store lists them (read-only), a chain to one validates as openssl verify
// with the bundle says, a removal records a distrust entry that validation honours, and an import trusts again.
TEST_F(Stores, SystemAnchorsAreTrustedUntilTheUserDistrustsThem) {
  const std::string bundle = kxtest::Root() + "/trust-anchors.crt";
  kxtest::WriteFile(bundle, kxtest::ReadFile(kxtest::pki::Pem("root")));
  std::shared_ptr<kx::capi::CertStore> ca;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "CA", CAPICOM_STORE_OPEN_READ_WRITE, ca), S_OK);
  kx::capi::StoreEntry inter;
  inter.cert = Parsed("inter");
  ASSERT_EQ(ca->Add(inter), S_OK);

  auto valid = [] {
    CCapicomCertificateStatus status = kxtest::Cert("signer").IsValid();
    status.PutCheckFlag(CAPICOM_CHECK_TRUSTED_ROOT | CAPICOM_CHECK_TIME_VALIDITY | CAPICOM_CHECK_SIGNATURE_VALIDITY);
    return status.GetResult();
  };
  std::string text;
  const std::string verify = "verify -CAfile " + Q(bundle) + " -untrusted " + Q(kxtest::pki::Pem("inter")) + " " +
                             Q(kxtest::pki::Pem("signer"));
  ASSERT_EQ(Openssl(verify, &text), 0) << text;
  EXPECT_TRUE(valid());
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), std::vector<std::string>{"Test Root CA"});
  EXPECT_EQ(StoreSubjects(CAPICOM_LOCAL_MACHINE_STORE, "Root"), std::vector<std::string>{"Test Root CA"});

  // The user removes it in the manager: a distrust entry, no longer valid; the bundle itself is untouched.
  RunManager([&](kx::UiDriver& d, HWND dlg) {
    ClickTab(d, dlg, 3);
    HWND list = d.Control(dlg, kCertMgrList);
    kx::ControlDriver c(d);
    c.WaitForListRow(list, "Test Root CA");
    Pick(d, dlg, "Test Root CA");
    d.Click(d.Control(dlg, kCertMgrRemove));
    d.AnswerMessageBox(IDYES);
    d.AnswerMessageBox(IDYES);
    d.WaitUntil([&] { return c.ListRowCount(list) == 0; }, "the anchor to go");
  });
  EXPECT_TRUE(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root").empty());
  EXPECT_FALSE(valid());
  EXPECT_EQ(kxtest::ReadFile(bundle), kxtest::ReadFile(kxtest::pki::Pem("root")));
  struct stat st {};
  EXPECT_EQ(::stat(kx::capi::StoreFolder(CAPICOM_CURRENT_USER_STORE, "Root").append("/distrusted").c_str(), &st), 0);

  // Put back: the entry goes and nothing is copied into the user's own store.
  std::shared_ptr<kx::capi::CertStore> root;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE, root), S_OK);
  kx::capi::StoreEntry anchor;
  anchor.cert = Parsed("root");
  ASSERT_EQ(root->Add(anchor), S_OK);
  EXPECT_TRUE(valid());
  EXPECT_NE(::stat(kx::capi::StoreFolder(CAPICOM_CURRENT_USER_STORE, "Root").append("/distrusted").c_str(), &st), 0);
  EXPECT_NE(::stat(kx::capi::StoreFolder(CAPICOM_CURRENT_USER_STORE, "Root").append("/certs").c_str(), &st), 0);
}

// The strict policy's swap of the trusted roots distrusts the system's anchors too, and a swap back trusts again.
TEST_F(Stores, TheRootSwapDistrustsSystemAnchors) {
  kxtest::WriteFile(kxtest::Root() + "/trust-anchors.crt", kxtest::ReadFile(kxtest::pki::Pem("root")));
  AddCert("CA", "inter");
  auto valid = [] {
    CCapicomCertificateStatus status = kxtest::Cert("signer").IsValid();
    status.PutCheckFlag(CAPICOM_CHECK_TRUSTED_ROOT | CAPICOM_CHECK_TIME_VALIDITY | CAPICOM_CHECK_SIGNATURE_VALIDITY);
    return status.GetResult();
  };
  ASSERT_TRUE(valid());
  const std::string extra = MakeSelfSignedRoot("extra", "Extra Root");
  CCapicomCertificate point;
  ASSERT_EQ(point.ImportFromBuffer(kxtest::BufferOf(kxtest::ReadFile(extra))), S_OK);
  ASSERT_EQ(certmgr::ReplaceTrustedRoots({point}), certmgr::RootSwap::Done);
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), std::vector<std::string>{"Extra Root"});
  EXPECT_FALSE(valid());
  ASSERT_EQ(certmgr::ReplaceTrustedRoots({kxtest::Cert("root")}), certmgr::RootSwap::Done);
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), std::vector<std::string>{"Test Root CA"});
  EXPECT_TRUE(valid());
}

TEST_F(Stores, TheSystemsOwnBundleLoads) {
  const char* system = "/etc/ssl/certs/ca-certificates.crt";
  struct stat st {};
  if (::stat(system, &st) != 0) GTEST_SKIP() << "no ca-certificates bundle on this machine";
  std::string text;
  ASSERT_EQ(kxtest::Run("grep -c 'BEGIN CERTIFICATE' " + std::string(system), &text), 0);
  const size_t count = std::stoul(text);
  setenv("KESMORA_TRUST_ANCHORS", system, 1);
  std::shared_ptr<kx::capi::CertStore> root;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_ONLY, root), S_OK);
  EXPECT_EQ(root->Entries().size(), count);
  unsetenv("KESMORA_TRUST_ANCHORS");
}

}  // namespace
}  // namespace certmgr_test
