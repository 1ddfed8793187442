// Smart cards and tokens: a SoftHSM2 token seen through the engine's stores and pages, its keys used for
// signing and decrypting without leaving it, the PIN asked in the platform's dialog.
#include "smartcard/token_fixture.h"

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "app/pages.h"
#include "certificates/CertEnroll.h"
#include "certificates/CertSheet.h"
#include "certificates/CreateCertificate.h"
#include "certificates/SelCertSheet.h"
#include <dlfcn.h>
#include <sys/stat.h>

#include <openssl/evp.h>
#include <p11-kit/pkcs11.h>

#include <atomic>

#include "engine/CapicomCertificates.h"
#include "engine/CapicomSignedCode.h"
#include "engine/CapicomSigner.h"
#include "engine/CapicomParts.h"
#include "engine/CapicomStore.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/keys.h"
#include "platform/capicom/core/logicalstores.h"
#include "platform/com/bstr.h"
#include "platform/win32/textconv.h"
#include "platform/pkcs11/pindialog.h"
#include "platform/pkcs11/pkcs11.h"
#include "platform/services/certmgr.h"
#include "platform/ui/commdlg.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/driver.h"
#include "support/pki.h"
#include "support/testroot.h"
#include "support/wizard.h"

extern "C" int SignerWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder, CString* resultPath,
                                     CString* resultText);

using namespace sctest;
using signtest::ProtectedFile;

namespace {

std::vector<std::string> Subjects(const char* storeName) {
  CCapicomStore store;
  EXPECT_EQ(store.Open(CAPICOM_CURRENT_USER_STORE, storeName, CAPICOM_STORE_OPEN_READ_ONLY), S_OK);
  CCapicomCertificates all = store.GetCertificates();
  std::vector<std::string> names;
  for (LONG i = 1; i <= all.GetCount(); ++i) names.emplace_back(all.GetItem(i).GetInfo(0).GetAnsi());
  return names;
}

// Answers the PIN dialog with a PIN; the dialog's texts.
std::string EnterPin(kx::UiDriver& d, const std::string& pin) {
  HWND dlg = d.WaitForTitle(kx::p11::kPinDialogTitle);
  std::string texts = d.Text(d.Control(dlg, kx::p11::kPinLabel)) + "|" + d.Text(d.Control(dlg, kx::p11::kPinAttempts));
  d.SetText(d.Control(dlg, kx::p11::kPinEdit), pin);
  d.Click(d.Control(dlg, IDOK));
  d.WaitForGone(dlg);
  return texts;
}

void CancelPin(kx::UiDriver& d) {
  HWND dlg = d.WaitForTitle(kx::p11::kPinDialogTitle);
  d.Click(d.Control(dlg, IDCANCEL));
  d.WaitForGone(dlg);
}

class Token : public TokenTest {
 protected:
  // Without a module setting: p11-kit's proxy, which shows every token the system knows (SoftHSM2 is one of them).
  static void UseTheProxy() {
    SetModule("");
    kx::p11::Reset();
  }
  // Every signature of a signed protected file checked by openssl.
  // Erin's P-256 key and e-mail signing certificate (under the fixture's intermediate), made with openssl and
  // written to the token as id 04.
  void WriteCurveKey() {
    const std::string dir = kxtest::MakeTempDir("ec"), key = dir + "/ec.key", cert = dir + "/ec.pem";
    kxtest::WriteFile(dir + "/ext",
                      "keyUsage=critical,digitalSignature,nonRepudiation\nextendedKeyUsage=emailProtection\n");
    std::string out;
    const std::string csr = dir + "/ec.csr";
    const std::string commands =
        "openssl ecparam -name prime256v1 -genkey -noout -out " + Q(key) + " && openssl req -new -key " + Q(key) +
        " -subj '/CN=Erin Curve/emailAddress=erin@example.com' -out " + Q(csr) + " && openssl x509 -req -in " +
        Q(csr) + " -CA " + Q(kxtest::pki::Pem("inter")) + " -CAkey " + Q(kxtest::pki::Key("inter")) +
        " -set_serial 99 -days 30 -extfile " + Q(dir + "/ext") + " -out " + Q(cert) + " 2>&1";
    ASSERT_EQ(kxtest::Run(commands, &out), 0) << out;
    WriteToToken(key, cert, "04", "Erin Curve");
  }
  void VerifyFile(const std::string& path) {
    ProtectedFile file = Read(path);
    ASSERT_TRUE(file.object) << path;
    PayloadEntry entry;
    ASSERT_TRUE(file.object->m_info.m_body.GetEntry(0, entry));
    ASSERT_EQ(entry.m_buffers.GetCount(), file.blocks.size());
    for (DWORD k = 0; k < entry.m_buffers.GetCount(); ++k)
      VerifyWithOpenssl(kxtest::StringOf(entry.m_buffers.GetAt(k)), file.blocks[k]);
  }
};

// The user's personal store shows the token's certificates after the user's own; the card stores show them too.
TEST_F(Token, TheStoresShowTheTokenCertificatesAfterTheUsersOwn) {
  WithKey("revoked");
  EXPECT_EQ(Subjects("My"), (std::vector<std::string>{"Dave Revoked", "Alice Signer", "Bob Encryption"}));
  EXPECT_EQ(Subjects("SmartCard"), (std::vector<std::string>{"Alice Signer", "Bob Encryption"}));
}

// A token certificate is linked to its key on the token (by the key's PKCS#11 URI), which is a removable hardware
// key that cannot be exported; a key of the user's own files is not removable.
TEST_F(Token, ATokenCertificatesKeyIsOnTheToken) {
  CCapicomCertificate alice = TokenCert("Alice Signer");
  CCapicomPrivateKey key = alice.GetPrivateKey();
  EXPECT_TRUE(key.IsRemovable());
  EXPECT_TRUE(key.IsHardwareDevice());
  EXPECT_FALSE(key.IsExportable());
  const std::string uri(key.GetUniqueContainerName().GetAnsi());
  EXPECT_EQ(uri.rfind("pkcs11:token=Alice%20Card;", 0), 0u) << uri;
  EXPECT_NE(uri.find(";id=%01;type=private"), std::string::npos) << uri;
  EXPECT_FALSE(WithKey("signer").GetPrivateKey().IsRemovable());
}

// A token certificate cannot be removed through a store.
TEST_F(Token, ATokenCertificateCannotBeRemovedThroughAStore) {
  CCapicomStore my;
  ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  CCapicomCertificate bob = TokenCert("Bob Encryption");
  EXPECT_EQ(kxtest::RaisedBy([&] { my.Remove(bob); }), E_ACCESSDENIED);
}

// In the certificate manager a token certificate's key is no file to export, and removing it says where it is.
TEST_F(Token, TheCertificateManagerNeitherExportsTheKeyNorRemovesATokenCertificate) {
  std::vector<std::string> types;
  std::string removal;
  kx::RunWithUiHere([] { return static_cast<INT_PTR>(CryptUIStartCertMgr(nullptr)); },
                    [&](kx::UiDriver& d) {
                      HWND dlg = d.WaitForTitle("Certificates");
                      kx::ControlDriver c(d);
                      c.ListPickRow(d.Control(dlg, kCertMgrList), "Bob Encryption");
                      d.Click(d.Control(dlg, kCertMgrExport));
                      types = c.ComboItems(d.Control(d.WaitForTitle("Export"), KX_FD_TYPE));
                      c.CancelCommonDialog();
                      d.Click(d.Control(dlg, kCertMgrRemove));
                      d.AnswerMessageBox(IDYES);
                      removal = d.AnswerMessageBox(IDOK);
                      d.Click(d.Control(dlg, IDCANCEL));
                      d.WaitForGone(dlg);
                    });
  EXPECT_EQ(types, (std::vector<std::string>{"DER encoded binary X.509 (*.cer)", "Base-64 encoded X.509 (*.cer)"}));
  EXPECT_EQ(removal, "This certificate is on a smart card and cannot be removed here.");
}

// Without a module setting, p11-kit's proxy shows the token.
TEST_F(Token, WithoutAModuleSettingTheProxyShowsTheToken) {
  UseTheProxy();
  EXPECT_EQ(kx::p11::ModulePath(), kx::p11::kProxyModule);
  EXPECT_EQ(Subjects("SmartCard"), (std::vector<std::string>{"Alice Signer", "Bob Encryption"}));
}

// The certificate manager gives the present token a tab of its own, and takes it away with the token.
TEST_F(Token, TheCertificateManagersCardTabGoesWithTheToken) {
  UseTheProxy();
  auto hasCardTab = [] {
    std::vector<kx::capi::LogicalStore> stores = kx::capi::LogicalStores();
    return std::any_of(stores.begin(), stores.end(), [](const kx::capi::LogicalStore& s) { return s.name == "SmartCard"; });
  };
  EXPECT_TRUE(hasCardTab());

  RemoveToken();
  EXPECT_EQ(Subjects("SmartCard"), std::vector<std::string>{});
  EXPECT_FALSE(hasCardTab());
}

// The Signer Wizard as a person uses it: the token's certificate chosen on the selection sheet's smart-card
// page, the PIN typed (under the token's label) when the run needs the key; the signed file passes openssl.
// How many certificate values the counting module in front of SoftHSM2 has read.
unsigned long ValueReads() {
  void* module = dlopen(KX_P11COUNT, RTLD_NOW | RTLD_NOLOAD);
  auto reads = module ? reinterpret_cast<unsigned long (*)()>(dlsym(module, "kx_p11count_value_reads")) : nullptr;
  unsigned long n = reads ? reads() : ~0ul;
  if (module) dlclose(module);
  return n;
}

TEST_F(Token, TheSignerWizardSignsWithTheTokenKey) {
  // Through a module that counts what is read from the token: each certificate once in the whole run.
  SetModule(KX_P11COUNT);
  const std::string input = Content(9000);
  std::string in = File("report.doc", input);
  CString path, text;
  std::string asked;
  INT_PTR result = kx::RunWithUiHere(
      [&] { return INT_PTR(SignerWizardOperation(nullptr, 1, in.c_str(), m_dir.c_str(), &path, &text)); },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Signer Wizard");
        kxtest::Page(d, sheet, 105);
        kxtest::PressNext(d, sheet);
        HWND signers = kxtest::Page(d, sheet, 4225);
        d.Click(d.Control(signers, 1034));
        kxtest::AnswerPage(d, "Yes");
        certsel::Pick(d, std::string(LoadResString(299)), 3, 4217, {"Alice Signer"});
        for (ULONG_PTR page : {4224, 4226, 4210}) {
          kxtest::PressNext(d, sheet);
          kxtest::Page(d, sheet, page);
        }
        asked = EnterPin(d, kPin);
        kxtest::FinishRun(d, sheet);
      });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(asked, "Enter the PIN of the token \"Alice Card\":|");
  EXPECT_EQ(path.str(), m_dir + "/report.doc.Tvx");
  VerifyFile(m_dir + "/report.doc.Tvx");
  EXPECT_EQ(ValueReads(), 2u);  // the two certificates on the token
}

// An elliptic-curve key on the token signs too.
TEST_F(Token, AnEllipticCurveKeyOnTheTokenSigns) {
  ASSERT_NO_FATAL_FAILURE(WriteCurveKey());
  std::string in = File("note.doc", Content(2000)), signedDir = kxtest::MakeTempDir("signed");
  auto sheet = NewSheet(1, {in}, signedDir);
  sheet->m_WizardData.m_arrSignerCerts = {TokenCert("Erin Curve")};
  kx::RunWithUiHere([&] { return INT_PTR(Run(*sheet, SignThreadProc)); },
                    [&](kx::UiDriver& d) { EnterPin(d, kPin); });
  EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
  VerifyFile(signedDir + "/note.doc.Tvx");
}

// A copy of a token key, as OpenSSL makes when it hands keys around, outlives the original and signs on its own.
TEST_F(Token, ACopyOfATokenKeyOutlivesTheOriginalAndSigns) {
  ASSERT_NO_FATAL_FAILURE(WriteCurveKey());
  std::string uri, error;
  for (const kx::p11::TokenCertificate& t : kx::p11::Certificates())
    if (t.label == "Erin Curve") uri = t.keyUri;
  EVP_PKEY* original = nullptr;
  kx::RunWithUiHere(
      [&] {
        original = kx::p11::LoadKey(uri, &error);
        return INT_PTR(0);
      },
      [&](kx::UiDriver& d) { EnterPin(d, kPin); });
  ASSERT_TRUE(original) << error;
  EVP_PKEY* copy = EVP_PKEY_dup(original);
  EVP_PKEY_free(original);
  ASSERT_TRUE(copy);
  const unsigned char data[] = "signed by a copy";
  unsigned char signature[128];
  size_t length = sizeof signature;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EXPECT_EQ(EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, copy), 1);
  EXPECT_EQ(EVP_DigestSign(ctx, signature, &length, data, sizeof data), 1) << kx::p11::LastError();
  EVP_MD_CTX_reset(ctx);
  EXPECT_EQ(EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, copy), 1);
  EXPECT_EQ(EVP_DigestVerify(ctx, signature, length, data, sizeof data), 1);
  EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(copy);
}

// A file enveloped for the token's certificate is opened with the token's key.
TEST_F(Token, AFileEnvelopedForTheTokenCertificateIsDecryptedWithIt) {
  const std::string input = Content(7000);
  std::string in = File("plans.doc", input), out = kxtest::MakeTempDir("enveloped");
  auto sheet = NewSheet(0, {in}, out);
  sheet->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
  sheet->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  sheet->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
  ASSERT_EQ(Run(*sheet, EncryptThreadProc), 0u);
  std::string plain = kxtest::MakeTempDir("plain");
  auto back = NewSheet(4, {out + "/plans.doc.Tvx"}, plain);
  kx::RunWithUiHere([&] { return INT_PTR(Run(*back, DecryptVerifyThreadProc)); },
                    [&](kx::UiDriver& d) { EnterPin(d, kPin); });
  EXPECT_EQ(Results(*back), std::vector<std::string>{"Success"});
  EXPECT_TRUE(kxtest::ReadFile(plain + "/plans.doc") == input);
}

// A cancelled PIN fails that file alone: the run goes on with the next, which asks again.
TEST_F(Token, ACancelledPinFailsOnlyThatFile) {
  CCapicomCertificate alice = TokenCert("Alice Signer");
  std::string a = File("a.doc", Content(100)), b = File("b.doc", Content(200)), out = kxtest::MakeTempDir("signed");
  auto sheet = NewSheet(1, {a, b}, out);
  sheet->m_WizardData.m_arrSignerCerts = {alice};
  kx::RunWithUiHere([&] { return INT_PTR(Run(*sheet, SignThreadProc)); },
                    [&](kx::UiDriver& d) {
                      CancelPin(d);
                      EnterPin(d, kPin);
                    });
  std::vector<std::string> results = Results(*sheet);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_NE(results[0], "Success");
  EXPECT_NE(results[0].find("cancelled"), std::string::npos) << results[0];
  EXPECT_EQ(results[1], "Success");
  struct stat st {};
  EXPECT_NE(::stat((out + "/a.doc.Tvx").c_str(), &st), 0) << "no output for the failed file";
  VerifyFile(out + "/b.doc.Tvx");
}

// A wrong PIN is asked again with the token's word on attempts left.
TEST_F(Token, AWrongPinIsAskedAgainWithTheAttemptsLeft) {
  CCapicomCertificate alice = TokenCert("Alice Signer");
  std::string a = File("a.doc", Content(100)), out = kxtest::MakeTempDir("signed");
  auto sheet = NewSheet(1, {a}, out);
  sheet->m_WizardData.m_arrSignerCerts = {alice};
  std::vector<std::string> texts;
  kx::RunWithUiHere([&] { return INT_PTR(Run(*sheet, SignThreadProc)); },
                    [&](kx::UiDriver& d) {
                      texts.push_back(EnterPin(d, "9999"));
                      texts.push_back(EnterPin(d, kPin));
                    });
  EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1],
            "Enter the PIN of the token \"Alice Card\":|"
            "The PIN was wrong. Few attempts are left before the token locks.");
  VerifyFile(out + "/a.doc.Tvx");
}

// Two tokens with one label: the PIN dialog names the one it asks for by its serial number too.
TEST_F(Token, ThePinDialogTellsTokensWithOneLabelApart) {
  std::string slots;
  ASSERT_EQ(kxtest::Run("softhsm2-util --show-slots", &slots), 0);
  std::string serial;
  for (size_t i = slots.find("Serial number:"); i != std::string::npos && serial.empty();
       i = slots.find("Serial number:", i + 1)) {
    size_t from = slots.find_first_not_of(" \t", i + 14), to = slots.find('\n', i);
    if (from < to) serial = slots.substr(from, to - from);
  }
  ASSERT_FALSE(serial.empty()) << slots;
  std::string out;
  ASSERT_EQ(kxtest::Run(std::string("softhsm2-util --init-token --free --label ") + Q(kTokenLabel) +
                            " --so-pin 12345678 --pin 5678",
                        &out),
            0)
      << out;
  CCapicomCertificate alice = TokenCert("Alice Signer");
  std::string a = File("a.doc", Content(100)), signedDir = kxtest::MakeTempDir("signed");
  auto sheet = NewSheet(1, {a}, signedDir);
  sheet->m_WizardData.m_arrSignerCerts = {alice};
  std::string asked;
  kx::RunWithUiHere([&] { return INT_PTR(Run(*sheet, SignThreadProc)); },
                    [&](kx::UiDriver& d) { asked = EnterPin(d, kPin); });
  EXPECT_EQ(asked, "Enter the PIN of the token \"Alice Card (serial " + serial + ")\":|");
  EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
}

// A token taken out while its PIN is asked: the signing says so, not the module's error code.
TEST_F(Token, ATokenTakenOutWhileItsPinIsAskedIsReportedAsRemoved) {
  CCapicomCertificate alice = TokenCert("Alice Signer");
  std::string a = File("a.doc", Content(100)), signedDir = kxtest::MakeTempDir("signed");
  auto sheet = NewSheet(1, {a}, signedDir);
  sheet->m_WizardData.m_arrSignerCerts = {alice};
  kx::RunWithUiHere([&] { return INT_PTR(Run(*sheet, SignThreadProc)); },
                    [&](kx::UiDriver& d) {
                      d.WaitForTitle(kx::p11::kPinDialogTitle);
                      RemoveToken();
                      EnterPin(d, kPin);
                    });
  std::vector<std::string> results = Results(*sheet);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_NE(results[0].find("The token \"Alice Card\" was removed."), std::string::npos) << results[0];
  EXPECT_EQ(results[0].find("PKCS#11 error"), std::string::npos) << results[0];
  struct stat st {};
  EXPECT_NE(::stat((signedDir + "/a.doc.Tvx").c_str(), &st), 0);
}

// A program signed with the token's code-signing key passes osslsigncode.
TEST_F(Token, AProgramSignedWithTheTokenKeyPassesOsslsigncode) {
  WriteToToken("codesign", "03", "Code Signer");
  const std::string program = m_dir + "/hello.exe";
  ASSERT_EQ(kxtest::Run("cp " + Q(std::string(KX_PE_DIR) + "/hello64.exe") + " " + Q(program)), 0);
  CCapicomSigner signer;
  signer.PutCertificate(TokenCert("Test Code Signer"));
  HRESULT hr = E_FAIL;
  kx::RunWithUiHere(
      [&] {
        CCapicomSignedCode code;
        code.PutFileName(program.c_str());
        hr = kxtest::RaisedBy([&] { code.Sign(signer); });
        return INT_PTR(0);
      },
      [&](kx::UiDriver& d) { EnterPin(d, kPin); });
  ASSERT_EQ(hr, S_OK);
  std::string out;
  EXPECT_EQ(kxtest::Run("osslsigncode verify -in " + Q(program) + " -CAfile " + Q(kxtest::pki::Pem("root")) + " 2>&1",
                        &out),
            0)
      << out;
}

// The enrolment control set for the token's provider: RSA 2048 signature keys made on the token.
class TokenEnrolment : public Token {
 protected:
  void SetUp() override {
    Token::SetUp();
    if (HasFatalFailure()) return;
    enroll_ = std::make_unique<CCertEnroll>();  // after the fixture's start-up
    e_ = enroll_->GetInterfacePtr();
    ASSERT_NE(e_, nullptr);
    ASSERT_EQ(e_->put_ProviderType(PROV_RSA_FULL), S_OK);
    ASSERT_EQ(e_->put_KeySpec(AT_SIGNATURE), S_OK);
    ASSERT_EQ(e_->put_ProviderName(_bstr_t(kx::capi::kTokenProviderName)), S_OK);
    ASSERT_EQ(e_->put_GenKeyFlags(2048u << 16), S_OK);
  }
  // A request for Alice (the PIN typed when the token asks), written as PEM to request.p10.
  std::string Request() {
    BSTR request = nullptr;
    HRESULT hr = E_FAIL;
    kx::RunWithUiHere(
        [&] {
          hr = e_->createPKCS10(_bstr_t("CN=Alice Token,O=Example"), _bstr_t("1.3.6.1.5.5.7.3.4"), &request);
          return INT_PTR(0);
        },
        [&](kx::UiDriver& d) { EnterPin(d, kPin); });
    EXPECT_EQ(hr, S_OK);
    if (hr != S_OK) return "";
    const std::string path = m_dir + "/request.p10";
    kxtest::WriteFile(path, "-----BEGIN CERTIFICATE REQUEST-----\n" + kx::Utf16ToUtf8(request, SysStringLen(request)) +
                                "-----END CERTIFICATE REQUEST-----\n");
    SysFreeString(request);
    return path;
  }

  std::unique_ptr<CCertEnroll> enroll_;
  ICEnroll3* e_ = nullptr;
};

// The enrolment control's token provider makes the request's key pair on the token, which signs the request.
// A self-signed digital ID whose key the token cannot make (the PIN entry cancelled) fails, and the token layer
// keeps why for the creation wizard's audit entry.
TEST_F(Token, AKeyNotMadeOnTheTokenSaysWhy) {
  BOOL made = TRUE;
  std::string why;
  kx::RunWithUiHere(
      [&] {
        made = CreateCertificate("CN=Alice Token,O=Example", AT_SIGNATURE, 2048, "1.2.840.113549.1.1.11", 0, 0, FALSE,
                                 TRUE, kx::capi::kTokenProviderName, PROV_RSA_FULL, "MY", TRUE, TRUE, "", "MY", TRUE,
                                 FALSE, "", "", "");
        why = kx::p11::LastError();
        return INT_PTR(0);
      },
      [&](kx::UiDriver& d) { CancelPin(d); });
  EXPECT_FALSE(made);
  EXPECT_NE(why.find("was cancelled"), std::string::npos) << why;
}

TEST_F(TokenEnrolment, ARequestIsSignedByAKeyMadeOnTheToken) {
  const std::string path = Request();
  ASSERT_FALSE(path.empty());
  std::string out;
  ASSERT_EQ(kxtest::Run("openssl req -in " + Q(path) + " -verify -noout 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("verify OK"), std::string::npos) << out;
  // The request's public key is that of a new pair on the token.
  std::string objects;
  ASSERT_EQ(Pkcs11Tool("--list-objects --type pubkey", &objects), 0) << objects;
  size_t pairs = 0;
  for (size_t at = objects.find("Public Key Object"); at != std::string::npos;
       at = objects.find("Public Key Object", at + 1))
    ++pairs;
  EXPECT_EQ(pairs, 3u) << objects;
}

// The certificate issued for a token request is installed in "My" linked to the key on the token.
TEST_F(TokenEnrolment, TheIssuedCertificateIsLinkedToTheKeyOnTheToken) {
  const std::string path = Request();
  ASSERT_FALSE(path.empty());
  std::string out;
  const std::string issued = m_dir + "/issued.pem";
  ASSERT_EQ(kxtest::Run("openssl x509 -req -in " + Q(path) + " -CA " + Q(kxtest::pki::Pem("inter")) + " -CAkey " +
                            Q(kxtest::pki::Key("inter")) + " -set_serial 77 -days 30 -out " + Q(issued) + " 2>&1",
                        &out),
            0)
      << out;
  ASSERT_EQ(e_->acceptPKCS7(_bstr_t(kxtest::ReadFile(issued).c_str())), S_OK);
  CCapicomCertificate mine = TokenCert("Alice Token");
  EXPECT_TRUE(mine.GetPrivateKey().IsHardwareDevice());
}

// The token taken away while its PIN is asked: the files that need it fail and leave no output; the others of
// the run are opened.
TEST_F(Token, FilesThatNeedARemovedTokenFailCleanly) {
  // An encryption digital ID whose key is the user's own file (made with openssl under the fixture's
  // intermediate): its files need no token.
  const std::string base = m_dir + "/flo";
  kxtest::WriteFile(base + ".ext", "keyUsage=critical,keyEncipherment\nextendedKeyUsage=emailProtection\n");
  std::string made;
  ASSERT_EQ(kxtest::Run("(openssl req -new -newkey rsa:2048 -nodes -subj '/CN=Flo File' -keyout '" + base +
                            ".key' -out '" + base + ".csr' && openssl x509 -req -in '" + base + ".csr' -CA '" +
                            kxtest::pki::Pem("inter") + "' -CAkey '" + kxtest::pki::Key("inter") +
                            "' -set_serial 0x71 -days 30 -extfile '" + base + ".ext' -out '" + base +
                            ".pem' && openssl pkcs12 -export -in '" + base + ".pem' -inkey '" + base + ".key' -out '" +
                            base + ".pfx' -passout pass:pw) 2>&1",
                        &made),
            0)
      << made;
  CCapicomCertificate flo;
  ASSERT_EQ(flo.Load((base + ".pfx").c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
  CCapicomStore my;
  ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(my.Add(flo), S_OK);
  std::string out = kxtest::MakeTempDir("enveloped");
  auto envelope = [&](const std::string& name, const char* recipient) {
    auto sheet = NewSheet(0, {File(name, Content(3000))}, out);
    sheet->m_WizardData.m_arrRecipientCerts = {std::string(recipient) == "flo" ? flo : Cert(recipient)};
    sheet->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
    sheet->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
    ASSERT_EQ(Run(*sheet, EncryptThreadProc), 0u);
  };
  envelope("bob.doc", "encrypt");
  envelope("alice.doc", "flo");
  envelope("bob2.doc", "encrypt");
  std::string plain = kxtest::MakeTempDir("plain");
  auto back = NewSheet(4, {out + "/bob.doc.Tvx", out + "/alice.doc.Tvx", out + "/bob2.doc.Tvx"}, plain);
  kx::RunWithUiHere([&] { return INT_PTR(Run(*back, DecryptVerifyThreadProc)); },
                    [&](kx::UiDriver& d) {
                      d.WaitForTitle(kx::p11::kPinDialogTitle);
                      RemoveToken();
                      EnterPin(d, kPin);
                    });
  std::vector<std::string> results = Results(*back);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_NE(results[0], "Success");
  EXPECT_EQ(results[1], "Success");
  EXPECT_NE(results[2], "Success");
  struct stat st {};
  EXPECT_NE(::stat((plain + "/bob.doc").c_str(), &st), 0);
  EXPECT_NE(::stat((plain + "/bob2.doc").c_str(), &st), 0);
  EXPECT_EQ(::stat((plain + "/alice.doc").c_str(), &st), 0);
}

// A module that cannot be loaded is reported once; later listings show no token and ask nothing.
TEST_F(Token, AModuleThatCannotBeLoadedIsReportedOnce) {
  SetModule(m_dir + "/missing-module.so");
  std::atomic<bool> done{false};
  std::string text;
  std::vector<std::string> first, later;
  kx::RunWithUiHere(
      [&] {
        first = Subjects("My");
        for (int i = 0; i < 3; ++i) later = Subjects("SmartCard");
        done = true;
        return INT_PTR(0);
      },
      [&](kx::UiDriver& d) {
        HWND box = d.WaitForMessageBox();
        text = d.MessageBoxText(box);
        d.AnswerMessageBox(IDOK);
        d.WaitUntil([&] { return done.load(); }, "the listings without a second report");
      });
  EXPECT_NE(text.find("missing-module.so"), std::string::npos) << text;
  EXPECT_EQ(first, std::vector<std::string>{});
  EXPECT_EQ(later, std::vector<std::string>{});
  EXPECT_NE(kx::p11::ModuleFailure().find("cannot be loaded"), std::string::npos);
}

// The PIN dialog shows the token's word on attempts left and masks what is typed; a locked token is reported.
TEST(PinDialog, SaysWhatTheTokenSays) {
  struct Case {
    unsigned long flags;
    bool retry;
    const char* attempts;
  } cases[] = {{0, false, ""},
               {CKF_USER_PIN_COUNT_LOW, true, "The PIN was wrong. Few attempts are left before the token locks."},
               {CKF_USER_PIN_FINAL_TRY, false, "One attempt is left: a further wrong PIN locks the token."}};
  for (const Case& c : cases) {
    std::string pin = "left over", shown;
    bool given = true;
    DWORD style = 0;
    kx::RunWithUiHere(
        [&] {
          given = kx::p11::AskPin({"Work Token", c.flags, c.retry}, &pin);
          return INT_PTR(0);
        },
        [&](kx::UiDriver& d) {
          HWND dlg = d.WaitForTitle(kx::p11::kPinDialogTitle);
          style = static_cast<DWORD>(GetWindowLongPtr(d.Control(dlg, kx::p11::kPinEdit), GWL_STYLE));
          EXPECT_FALSE(d.IsEnabled(d.Control(dlg, IDOK)));
          shown = d.Text(d.Control(dlg, kx::p11::kPinAttempts));
          d.SetText(d.Control(dlg, kx::p11::kPinEdit), "4321");
          d.Click(d.Control(dlg, IDCANCEL));
          d.WaitForGone(dlg);
        });
    EXPECT_FALSE(given);
    EXPECT_EQ(pin, "");
    EXPECT_TRUE(style & ES_PASSWORD);
    EXPECT_EQ(shown, c.attempts);
  }
}

// A locked token is reported by its label.
TEST(PinDialog, ALockedTokenIsReported) {
  std::string text;
  kx::RunWithUiHere(
      [&] {
        kx::p11::ReportLocked("Work Token");
        return INT_PTR(0);
      },
      [&](kx::UiDriver& d) {
        text = d.MessageBoxText(d.WaitForMessageBox());
        d.AnswerMessageBox(IDOK);
      });
  EXPECT_NE(text.find("\"Work Token\" is locked"), std::string::npos) << text;
}

// The selection sheet's smart-card page lists the token's certificates (and not the user's software keys) and
// takes one.
TEST_F(Token, TheSelectionSheetsSmartCardPageListsAndTakesATokenCertificate) {
  WithKey("revoked");
  const std::vector<std::string> card = {"Alice Signer", "Bob Encryption"};
  std::vector<std::string> selected;
  INT_PTR result = kx::RunWithUiHere(
      [&] {
        CSelCertSheet sheet("Select Certificates", nullptr, 0);
        INT_PTR r = sheet.DoModal();
        selected = certsel::Subjects(sheet.m_Selected);
        return r;
      },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Select Certificates");
        d.WaitForDialog(4205);
        certsel::ClickTab(d, sheet, 3);
        HWND page = d.WaitForDialog(4217);
        EXPECT_EQ(certsel::Column(d, d.Control(page, 1033)), card);
        kx::ControlDriver(d).ListPickRow(d.Control(page, 1033), "Alice Signer");
        d.Click(d.Control(page, 1050));
        d.Click(d.Control(sheet, IDOK));
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(selected, std::vector<std::string>{"Alice Signer"});
}

// The certificate sheet's smart-card page lists the token's certificates, its personal page the user's too.
TEST_F(Token, TheCertificateSheetsSmartCardPageListsTheTokenCertificates) {
  WithKey("revoked");
  const std::vector<std::string> card = {"Alice Signer", "Bob Encryption"};
  INT_PTR result = kx::RunWithUiHere(
      [&] {
        CFormsObjectProvider provider;
        CBaseSheet* made = nullptr;
        provider.CreateSheetByName("CCertSheet", nullptr, &made);
        std::unique_ptr<CBaseSheet> owner(made);
        auto* sheet = dynamic_cast<CCertSheet*>(made);
        if (!sheet) return INT_PTR(-2);
        sheet->m_bHosted = 0;
        sheet->SetTitle("Certificates");
        return sheet->DoModal();
      },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Certificates");
        HWND personal = d.WaitForDialog(102);
        kx::ControlDriver(d).WaitForListRow(d.Control(personal, 1033), "Dave Revoked");
        EXPECT_EQ(certsel::Column(d, d.Control(personal, 1033)).size(), 3u);
        certsel::ClickTab(d, sheet, 1);
        HWND page = d.WaitForDialog(30051);
        EXPECT_EQ(certsel::Column(d, d.Control(page, 1033)), card);
        d.Click(d.Control(sheet, IDCANCEL));
        d.WaitForGone(sheet);
      });
  EXPECT_NE(result, -2);
}

}  // namespace
