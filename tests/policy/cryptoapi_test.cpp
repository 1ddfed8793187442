// The platform's store and context functions over the stores the engine writes.
#include "platform/cryptoapi/cryptoapi.h"
#include "platform/win32/errors.h"
#include "platform/win32/stateroot.h"
#include "policy/policy_test.h"

using namespace kxtest;

using CryptoApiStores = PolicyTest;

namespace {

HCERTSTORE OpenUser(const char* name) {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                       CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, name);
}

std::string Bytes(PCCERT_CONTEXT c) { return std::string(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded); }
std::string Bytes(PCCRL_CONTEXT c) { return std::string(reinterpret_cast<const char*>(c->pbCrlEncoded), c->cbCrlEncoded); }

// The inter CRL with one bit of its signature changed.
std::string DamagedInterCrl() {
  std::string crl = ReadFile(pki::Crl("inter"));
  crl.back() ^= 0x01;
  return crl;
}

// openssl's own verdict on a revocation list's signature under the issuer.
bool OpensslSignatureOk(const std::string& crlDer, const std::string& issuer) {
  std::string path = MakeTempDir("crl") + "/list.crl";
  WriteFile(path, crlDer);
  std::string out;
  Run("openssl crl -inform DER -in '" + path + "' -noout -CAfile '" + pki::Pem(issuer) + "' 2>&1", &out);
  return out.find("verify OK") != std::string::npos;
}

}  // namespace

TEST_F(CryptoApiStores, RevocationListsOfAnIssuerWithTheirChecks) {
  struct Row {
    const char* what;
    std::string crl;   // the list put into the user's "CA" store
    const char* issuer;
    DWORD flagsOut;    // CRYPT_E_NOT_FOUND expected when ~0
  };
  const Row rows[] = {
      {"current list, good signature", ReadFile(pki::Crl("inter")), "inter", 0},
      {"list out of date", ReadFile(pki::Crl("inter-expired")), "inter", CERT_STORE_TIME_VALIDITY_FLAG},
      {"damaged signature", DamagedInterCrl(), "inter", CERT_STORE_SIGNATURE_FLAG},
      {"list of another issuer", ReadFile(pki::Crl("inter")), "root", ~0u},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    kxtest::Run("rm -rf '" + kx::UserStateDir() + "/certstores'");  // a fresh set of stores per row
    AddToStore("CA", r.crl);
    HCERTSTORE store = OpenUser("CA");
    ASSERT_NE(store, nullptr);
    std::string issuerDer = pki::DerBytes(r.issuer);
    PCCERT_CONTEXT issuer = CertCreateCertificateContext(X509_ASN_ENCODING,
                                                          reinterpret_cast<const BYTE*>(issuerDer.data()),
                                                          static_cast<DWORD>(issuerDer.size()));
    ASSERT_NE(issuer, nullptr);
    DWORD flags = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;
    PCCRL_CONTEXT crl = CertGetCRLFromStore(store, issuer, nullptr, &flags);
    if (r.flagsOut == ~0u) {
      EXPECT_EQ(crl, nullptr);
      EXPECT_EQ(static_cast<HRESULT>(GetLastError()), CRYPT_E_NOT_FOUND);
    } else {
      ASSERT_NE(crl, nullptr);
      EXPECT_EQ(Bytes(crl), r.crl);
      EXPECT_EQ(flags, r.flagsOut);
      EXPECT_EQ((flags & CERT_STORE_SIGNATURE_FLAG) == 0, OpensslSignatureOk(r.crl, r.issuer));
      // The walk ends after the one list of that issuer; the previous context is freed by the call.
      EXPECT_EQ(CertGetCRLFromStore(store, issuer, crl, &flags), nullptr);
      EXPECT_EQ(static_cast<HRESULT>(GetLastError()), CRYPT_E_NOT_FOUND);
    }
    CertFreeCertificateContext(issuer);
    EXPECT_TRUE(CertCloseStore(store, CERT_CLOSE_STORE_CHECK_FLAG));
  }
}

TEST_F(CryptoApiStores, ArgumentsThatCannotBeServed) {
  HCERTSTORE store = OpenUser("CA");
  ASSERT_NE(store, nullptr);
  DWORD flags = CERT_STORE_SIGNATURE_FLAG;
  EXPECT_EQ(CertGetCRLFromStore(store, nullptr, nullptr, &flags), nullptr);
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), E_INVALIDARG);
  flags = 0x40;
  EXPECT_EQ(CertGetCRLFromStore(store, nullptr, nullptr, &flags), nullptr);
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), E_INVALIDARG);
  CertCloseStore(store, 0);

  EXPECT_EQ(OpenUser("a/b"), nullptr);
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), E_INVALIDARG);
  EXPECT_EQ(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, 0x00070000, "My"), nullptr);
  EXPECT_EQ(CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>("nonsense"), 8), nullptr);
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), CRYPT_E_ASN1_BADTAG);
}

TEST_F(CryptoApiStores, CollectionsWalkTheirStoresByPriority) {
  AddCert("Root", "root");
  AddCert("CA", "inter");
  AddCert("My", "signer");
  AddCrl("Root", "root");
  AddCrl("My", "inter");

  HCERTSTORE collection = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  const char* names[] = {"My", "Root", "CA"};
  const DWORD priorities[] = {0, 2, 1};
  for (int i = 0; i < 3; ++i) {
    HCERTSTORE s = OpenUser(names[i]);
    ASSERT_TRUE(CertAddStoreToCollection(collection, s, 0, priorities[i]));
    CertCloseStore(s, 0);  // the collection keeps its own reference
  }
  std::vector<std::string> seen;
  PCCERT_CONTEXT c = nullptr;
  while ((c = CertEnumCertificatesInStore(collection, c)) != nullptr) seen.push_back(Bytes(c));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), CRYPT_E_NOT_FOUND);
  EXPECT_EQ(seen, (std::vector<std::string>{pki::DerBytes("root"), pki::DerBytes("inter"), pki::DerBytes("signer")}));

  std::vector<std::string> lists;
  PCCRL_CONTEXT l = nullptr;
  while ((l = CertEnumCRLsInStore(collection, l)) != nullptr) lists.push_back(Bytes(l));
  EXPECT_EQ(lists, (std::vector<std::string>{ReadFile(pki::Crl("root")), ReadFile(pki::Crl("inter"))}));

  // A context outlives the close of its store; the close says so.
  PCCERT_CONTEXT first = CertEnumCertificatesInStore(collection, nullptr);
  ASSERT_NE(first, nullptr);
  PCCERT_CONTEXT copy = CertDuplicateCertificateContext(first);
  CertFreeCertificateContext(first);
  EXPECT_FALSE(CertCloseStore(collection, CERT_CLOSE_STORE_CHECK_FLAG));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), CRYPT_E_PENDING_CLOSE);
  EXPECT_EQ(Bytes(copy), pki::DerBytes("root"));
  EXPECT_EQ(copy->hCertStore, collection);
  CertFreeCertificateContext(copy);
}
