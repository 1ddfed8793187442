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

void TokenTest::SetUp() {
  SigningTest::SetUp();
  TrustFixture();
  // The module reads its configuration when it starts: start it afresh for this test's token folder.
  kx::p11::Reset();
  std::string base = kxtest::MakeTempDir("softhsm");
  m_tokenDir = base + "/tokens";
  ASSERT_EQ(kxtest::Run("mkdir -p " + Q(m_tokenDir)), 0);
  kxtest::WriteFile(base + "/softhsm2.conf",
                    "directories.tokendir = " + m_tokenDir + "\nobjectstore.backend = file\nlog.level = ERROR\n");
  ::setenv("SOFTHSM2_CONF", (base + "/softhsm2.conf").c_str(), 1);
  std::string out;
  ASSERT_EQ(kxtest::Run(std::string("softhsm2-util --init-token --free --label ") + Q(kTokenLabel) +
                            " --so-pin 12345678 --pin " + kPin,
                        &out),
            0)
      << out;
  WriteToToken("signer", "01", "Alice Signer");
  WriteToToken("encrypt", "02", "Bob Encrypt");
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
  const std::string dir = kxtest::MakeTempDir("objects-" + id);
  const std::string key = dir + "/key.der", pub = dir + "/pub.der", cert = dir + "/cert.der";
  ASSERT_EQ(kxtest::Run("openssl pkey -in " + Q(keyPem) + " -outform DER -out " + Q(key)), 0);
  ASSERT_EQ(kxtest::Run("openssl pkey -in " + Q(keyPem) + " -pubout -outform DER -out " + Q(pub)), 0);
  ASSERT_EQ(kxtest::Run("openssl x509 -in " + Q(certPem) + " -outform DER -out " + Q(cert)), 0);
  const std::string common = " --id " + id + " --label " + Q(label);
  std::string out;
  ASSERT_EQ(Pkcs11Tool("--write-object " + Q(key) + " --type privkey" + common, &out), 0) << out;
  ASSERT_EQ(Pkcs11Tool("--write-object " + Q(pub) + " --type pubkey" + common, &out), 0) << out;
  ASSERT_EQ(Pkcs11Tool("--write-object " + Q(cert) + " --type cert" + common, &out), 0) << out;
  kxtest::Run("rm -rf " + Q(dir));
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
