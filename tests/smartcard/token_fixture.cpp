#include "smartcard/token_fixture.h"

#include <cstdlib>

#include "engine/CapicomCertificates.h"
#include "engine/CapicomParts.h"
#include "engine/CapicomStore.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/pkcs11/pkcs11.h"
#include "platform/win32/registry.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace sctest {

std::string Q(const std::string& s) { return "'" + s + "'"; }

std::string TokenTest::s_suiteDir;
std::string TokenTest::s_problem;

std::string TokenTest::Configure(const std::string& base) {
  const std::string tokens = base + "/tokens";
  kxtest::Run("mkdir -p " + Q(tokens));
  kxtest::WriteFile(base + "/softhsm2.conf",
                    "directories.tokendir = " + tokens + "\nobjectstore.backend = file\nlog.level = ERROR\n");
  ::setenv("SOFTHSM2_CONF", (base + "/softhsm2.conf").c_str(), 1);
  return tokens;
}

// The token and its objects are made once (softhsm2-util, openssl and pkcs11-tool runs): a folder of the suite's
// own, outside the test cases' roots.
void TokenTest::SetUpTestSuite() {
  SigningTest::SetUpTestSuite();
  const char* tmp = std::getenv("KX_TEST_TMP");
  std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxtoken-XXXXXX";
  if (!mkdtemp(base.data())) {
    s_problem = "no folder for the suite's token";
    return;
  }
  s_suiteDir = base;
  Configure(base);
  std::string out;
  if (kxtest::Run(std::string("softhsm2-util --init-token --free --label ") + Q(kTokenLabel) +
                      " --so-pin 12345678 --pin " + kPin,
                  &out) != 0) {
    s_problem = "softhsm2-util: " + out;
    return;
  }
  const std::string scratch = base + "/scratch";
  kxtest::Run("mkdir -p " + Q(scratch));
  static const struct {
    const char *name, *id, *label;
  } objects[] = {{"signer", "01", "Alice Signer"}, {"encrypt", "02", "Bob Encrypt"}};
  for (const auto& o : objects) {
    s_problem = WriteObjects(scratch, kxtest::pki::Key(o.name), kxtest::pki::Pem(o.name), o.id, o.label);
    if (!s_problem.empty()) return;
  }
}

void TokenTest::TearDownTestSuite() {
  if (!s_suiteDir.empty()) kxtest::Run("rm -rf " + Q(s_suiteDir));
  s_suiteDir.clear();
  s_problem.clear();
}

void TokenTest::SetUp() {
  SigningTest::SetUp();
  ASSERT_TRUE(s_problem.empty()) << "the suite's token: " << s_problem;
  TrustFixture();
  // The module reads its configuration when it starts: start it afresh for this test's token folder.
  kx::p11::Reset();
  m_tokenDir = Configure(kxtest::MakeTempDir("softhsm"));
  std::string out;
  ASSERT_EQ(kxtest::Run("cp -a " + Q(s_suiteDir + "/tokens/.") + " " + Q(m_tokenDir) + " 2>&1", &out), 0) << out;
  SetModule(kSoftHsm);
}

void TokenTest::TearDown() {
  kx::p11::Reset();
  SigningTest::TearDown();
}

int TokenTest::Pkcs11Tool(const std::string& args, std::string* out) {
  return kxtest::Run(std::string("pkcs11-tool --module ") + kSoftHsm + " --token-label " + Q(kTokenLabel) +
                         " --login --pin " + kPin + " " + args + " 2>&1",
                     out);
}

void TokenTest::WriteToToken(const std::string& name, const std::string& id, const std::string& label) {
  WriteToToken(kxtest::pki::Key(name), kxtest::pki::Pem(name), id, label);
}

void TokenTest::WriteToToken(const std::string& keyPem, const std::string& certPem, const std::string& id,
                             const std::string& label) {
  const std::string problem = WriteObjects(kxtest::MakeTempDir("objects-" + id), keyPem, certPem, id, label);
  ASSERT_TRUE(problem.empty()) << problem;
}

std::string TokenTest::WriteObjects(const std::string& dir, const std::string& keyPem, const std::string& certPem,
                                    const std::string& id, const std::string& label) {
  const std::string key = dir + "/key.der", pub = dir + "/pub.der", cert = dir + "/cert.der";
  std::string out;
  if (kxtest::Run("openssl pkey -in " + Q(keyPem) + " -outform DER -out " + Q(key) + " && openssl pkey -in " +
                      Q(keyPem) + " -pubout -outform DER -out " + Q(pub) + " && openssl x509 -in " + Q(certPem) +
                      " -outform DER -out " + Q(cert),
                  &out) != 0)
    return "openssl: " + out;
  const std::string common = " --id " + id + " --label " + Q(label);
  const std::string files[][2] = {{key, "privkey"}, {pub, "pubkey"}, {cert, "cert"}};
  for (const auto& f : files)
    if (Pkcs11Tool("--write-object " + Q(f[0]) + " --type " + f[1] + common, &out) != 0) return "pkcs11-tool: " + out;
  kxtest::Run("rm -f " + Q(key) + " " + Q(pub) + " " + Q(cert));
  return "";
}

void TokenTest::RemoveToken() {
  std::string out;
  ASSERT_EQ(kxtest::Run(std::string("softhsm2-util --delete-token --token ") + Q(kTokenLabel), &out), 0) << out;
}

CCapicomCertificate TokenTest::TokenCert(const std::string& subject) {
  CCapicomStore store;
  EXPECT_EQ(store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY), S_OK);
  CCapicomCertificates all = store.GetCertificates();
  for (LONG i = 1; i <= all.GetCount(); ++i) {
    CCapicomCertificate c = all.GetItem(i);
    const bool named = std::string(c.GetInfo(0).GetAnsi()) == subject;
    if (named && c.HasPrivateKey() && c.GetPrivateKey().IsRemovable()) return c;
  }
  ADD_FAILURE() << "no token certificate " << subject;
  return CCapicomCertificate();
}

void TokenTest::SetModule(const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kx::p11::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                           nullptr),
            ERROR_SUCCESS);
  RegSetValueEx(key, "Module", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
}

}  // namespace sctest
