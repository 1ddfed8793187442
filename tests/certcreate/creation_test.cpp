// Certificate creation over the platform's key containers, encodings and stores, checked with openssl.
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "certificates/CreateCertificate.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/capicom/core/keys.h"
#include "platform/win32/errors.h"
#include "platform/win32/textconv.h"
#include "platform/win32/wintime.h"
#include "support/testroot.h"

using namespace kxtest;

namespace {

const char kRsaProvider[] = "Microsoft Base Cryptographic Provider v1.0";
const char kDssProvider[] = "Microsoft Base DSS and Diffie-Hellman Cryptographic Provider";

// Runs each case in a current folder of its own, which store mode leaves empty.
class CertCreation : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    m_oldCwd = cwd;
    m_dir = MakeTempDir("creation");
    ASSERT_EQ(chdir(m_dir.c_str()), 0);
  }
  void TearDown() override { (void)chdir(m_oldCwd.c_str()); }
  std::string m_dir, m_oldCwd;
};

struct Made {
  std::string der;
  // The stored certificate's key container link.
  bool linked = false;
  std::string container;
  DWORD keySpec = 0, provType = 0;
};

// The certificates of the user's store whose subject contains the text, newest last.
std::vector<Made> FindInStore(const char* store, const char* subject, DWORD location = CERT_SYSTEM_STORE_CURRENT_USER) {
  std::vector<Made> out;
  HCERTSTORE s = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0, location | CERT_STORE_READONLY_FLAG,
                               store);
  if (!s) return out;
  PCCERT_CONTEXT c = nullptr;
  while ((c = CertFindCertificateInStore(s, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, subject, c))) {
    Made m;
    m.der.assign(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded);
    DWORD cb = 0;
    if (CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cb)) {
      std::vector<BYTE> buffer(cb);
      CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &cb);
      const auto* link = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
      size_t n = 0;
      while (link->pwszContainerName[n]) ++n;
      m.linked = true;
      m.container = kx::Utf16ToUtf8(link->pwszContainerName, n);
      m.keySpec = link->dwKeySpec;
      m.provType = link->dwProvType;
    }
    out.push_back(m);
  }
  CertCloseStore(s, 0);
  return out;
}

std::string WritePem(const std::string& der, const std::string& name) {
  std::string derPath = MakeTempDir("pem") + "/" + name + ".cer";
  WriteFile(derPath, der);
  std::string pem = derPath.substr(0, derPath.size() - 4) + ".pem";
  kxtest::Run("openssl x509 -inform DER -in '" + derPath + "' -out '" + pem + "'");
  return pem;
}

std::string Text(const std::string& pem) {
  std::string out;
  kxtest::Run("openssl x509 -in '" + pem + "' -noout -text 2>&1", &out);
  return out;
}

bool Contains(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

X509* Parse(const std::string& der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  return d2i_X509(nullptr, &p, static_cast<long>(der.size()));
}

std::string Hex(const unsigned char* p, int n) {
  static const char h[] = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < n; ++i) {
    s += h[p[i] >> 4];
    s += h[p[i] & 15];
  }
  return s;
}

// The authority key identifier in the 2.5.29.1 extension, read with openssl's own decoder of the same syntax.
AUTHORITY_KEYID* OldAuthorityKeyId(X509* x) {
  ASN1_OBJECT* oid = OBJ_txt2obj("2.5.29.1", 1);
  int at = X509_get_ext_by_OBJ(x, oid, -1);
  ASN1_OBJECT_free(oid);
  if (at < 0) return nullptr;
  ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(X509_get_ext(x, at));
  const unsigned char* p = v->data;
  return d2i_AUTHORITY_KEYID(nullptr, &p, v->length);
}

BOOL SelfSigned(const char* subject, DWORD keySpec, DWORD length, const char* algorithm, WORD months, DWORD purposes,
                const char* provider = kRsaProvider, DWORD type = PROV_RSA_FULL) {
  return CreateCertificate(subject, keySpec, length, algorithm, months, purposes, FALSE, TRUE, provider, type, "MY",
                           TRUE, TRUE, "", "MY", TRUE, FALSE, "", "", "");
}

int MonthsBetween(X509* x) {
  struct tm a {}, b {};
  ASN1_TIME_to_tm(X509_get0_notBefore(x), &a);
  ASN1_TIME_to_tm(X509_get0_notAfter(x), &b);
  return (b.tm_year - a.tm_year) * 12 + (b.tm_mon - a.tm_mon);
}

}  // namespace

TEST_F(CertCreation, ASelfSignedSigningCertificateCarriesItsChoicesAndVerifies) {
  ASSERT_TRUE(SelfSigned("CN=Alice Example,OU=Sales,O=Example Ltd,L=Leeds,S=Yorkshire,C=GB,E=alice@example.com",
                         AT_SIGNATURE, 1024, "1.2.840.113549.1.1.5", 0, 31));
  std::vector<Made> found = FindInStore("MY", "alice example");
  ASSERT_EQ(found.size(), 1u);
  std::string pem = WritePem(found[0].der, "self");
  std::string text = Text(pem);
  EXPECT_TRUE(Contains(text, "Subject: CN = Alice Example, OU = Sales, O = Example Ltd, L = Leeds, ST = Yorkshire, "
                             "C = GB, emailAddress = alice@example.com")) << text;
  EXPECT_TRUE(Contains(text, "Issuer: CN = Alice Example, OU = Sales")) << text;
  EXPECT_TRUE(Contains(text, "Version: 3 (0x2)"));
  EXPECT_TRUE(Contains(text, "Signature Algorithm: sha1WithRSAEncryption"));
  EXPECT_TRUE(Contains(text, "Public-Key: (1024 bit)"));
  EXPECT_TRUE(Contains(text, "Digital Signature, Non Repudiation, Certificate Sign, CRL Sign")) << text;
  EXPECT_TRUE(Contains(text, "TLS Web Server Authentication, TLS Web Client Authentication, Code Signing, "
                             "E-mail Protection, Time Stamping")) << text;
  EXPECT_TRUE(Contains(text, "CA:TRUE, pathlen:1")) << text;
  EXPECT_FALSE(Contains(text, "critical")) << text;
  std::string out;
  EXPECT_EQ(kxtest::Run("openssl verify -x509_strict -CAfile '" + pem + "' '" + pem + "' 2>&1", &out), 0) << out;

  X509* x = Parse(found[0].der);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(MonthsBetween(x), 24);
  // The key identifier is the SHA-1 of the public key bits; the authority identifier names the certificate itself.
  unsigned char digest[20];
  unsigned len = 0;
  ASSERT_EQ(X509_pubkey_digest(x, EVP_sha1(), digest, &len), 1);
  const ASN1_OCTET_STRING* ski = X509_get0_subject_key_id(x);
  ASSERT_NE(ski, nullptr);
  EXPECT_EQ(Hex(ski->data, ski->length), Hex(digest, 20));
  AUTHORITY_KEYID* aki = OldAuthorityKeyId(x);
  ASSERT_NE(aki, nullptr);
  EXPECT_EQ(Hex(aki->keyid->data, aki->keyid->length), Hex(digest, 20));
  ASSERT_EQ(sk_GENERAL_NAME_num(aki->issuer), 1);
  EXPECT_EQ(X509_NAME_cmp(sk_GENERAL_NAME_value(aki->issuer, 0)->d.directoryName, X509_get_subject_name(x)), 0);
  EXPECT_EQ(ASN1_INTEGER_cmp(aki->serial, X509_get0_serialNumber(x)), 0);
  // A positive serial number of 8 bytes at most.
  BIGNUM* serial = ASN1_INTEGER_to_BN(X509_get0_serialNumber(x), nullptr);
  EXPECT_FALSE(BN_is_negative(serial));
  EXPECT_LE(BN_num_bytes(serial), 8);
  BN_free(serial);
  AUTHORITY_KEYID_free(aki);
  X509_free(x);

  // The store links the certificate to the key container that holds its key; nothing lands in the current folder.
  ASSERT_TRUE(found[0].linked);
  EXPECT_EQ(found[0].keySpec, AT_SIGNATURE);
  EXPECT_EQ(found[0].provType, PROV_RSA_FULL);
  const std::string& container = found[0].container;
  EXPECT_EQ(container.size(), 36u) << container;
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextA(&prov, container.c_str(), kRsaProvider, PROV_RSA_FULL, 0));
  HCRYPTKEY key = 0;
  EXPECT_TRUE(CryptGetUserKey(prov, AT_SIGNATURE, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
  EXPECT_TRUE(kx::capi::ListDir(m_dir).empty());
  // The probing container is gone again.
  for (const std::string& f : kx::capi::ListDir(kx::capi::KeyDir(false)))
    EXPECT_EQ(f.find("_x_"), std::string::npos) << f;
}

TEST_F(CertCreation, KeyChoicesPurposesAndLengthsAsAsked) {
  struct Case {
    const char* name;
    DWORD keySpec, length;
    const char* algorithm;
    DWORD purposes;
    const char* provider;
    DWORD type;
    const char* signatureText, *usageText, *keyText, *ekuText;
  } cases[] = {
      // Key choice 1 (MD5), an exchange key, one purpose.
      {"CN=Bob", AT_KEYEXCHANGE, 1024, "1.2.840.113549.1.1.4", 8, kRsaProvider, PROV_RSA_FULL, "md5WithRSAEncryption",
       "Digital Signature, Key Encipherment, Data Encipherment, Key Agreement", "(1024 bit)", "E-mail Protection"},
      // A length outside the table takes the provider's default; no purpose, no extended key usage.
      {"CN=Carol", AT_SIGNATURE, 3000, "1.2.840.113549.1.1.5", 0, kRsaProvider, PROV_RSA_FULL,
       "sha1WithRSAEncryption", "Certificate Sign", "(1024 bit)", nullptr},
      // The DSS provider signs with DSA and SHA-1.
      {"CN=Dave", AT_SIGNATURE, 1024, "1.2.840.10040.4.3", 4, kDssProvider, PROV_DSS_DH, "dsaWithSHA1",
       "Certificate Sign", "(1024 bit)", "Code Signing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SelfSigned(c.name, c.keySpec, c.length, c.algorithm, 0, c.purposes, c.provider, c.type));
    std::vector<Made> found = FindInStore("MY", c.name + 3);
    ASSERT_EQ(found.size(), 1u);
    std::string pem = WritePem(found[0].der, c.name + 3);
    std::string text = Text(pem);
    EXPECT_TRUE(Contains(text, c.signatureText)) << text;
    EXPECT_TRUE(Contains(text, c.usageText)) << text;
    EXPECT_TRUE(Contains(text, c.keyText)) << text;
    if (c.ekuText) EXPECT_TRUE(Contains(text, c.ekuText)) << text;
    else EXPECT_FALSE(Contains(text, "Extended Key Usage")) << text;
    std::string out;
    EXPECT_EQ(kxtest::Run("openssl verify -x509_strict -CAfile '" + pem + "' '" + pem + "' 2>&1", &out), 0) << out;
  }
  // The DSS provider has no exchange keys.
  EXPECT_FALSE(SelfSigned("CN=Erin", AT_KEYEXCHANGE, 1024, "1.2.840.10040.4.3", 0, 0, kDssProvider, PROV_DSS_DH));
  // An unknown provider fails the run.
  EXPECT_FALSE(SelfSigned("CN=Frank", AT_SIGNATURE, 1024, "1.2.840.113549.1.1.5", 0, 0, "No Such Provider", 1));
  EXPECT_TRUE(FindInStore("MY", "Frank").empty());
}

TEST_F(CertCreation, AnIssuerSignedCertificateChainsToItsIssuer) {
  ASSERT_TRUE(SelfSigned("CN=Example Issuing CA,O=Example", AT_SIGNATURE, 2048, "1.2.840.113549.1.1.5", 0, 0));
  ASSERT_TRUE(CreateCertificate("CN=Grace Leaf,O=Example", AT_KEYEXCHANGE, 1024, "1.2.840.113549.1.1.4", 0, 2, FALSE,
                                TRUE, kRsaProvider, PROV_RSA_FULL, "AddressBook", TRUE, FALSE, "issuing ca", "My", TRUE,
                                FALSE, "", "", ""));
  std::vector<Made> ca = FindInStore("MY", "Issuing CA");
  std::vector<Made> leaf = FindInStore("AddressBook", "Grace Leaf");
  ASSERT_EQ(ca.size(), 1u);
  ASSERT_EQ(leaf.size(), 1u);
  std::string caPem = WritePem(ca[0].der, "ca"), leafPem = WritePem(leaf[0].der, "leaf");
  std::string out;
  // Not strict: the authority key identifier goes under 2.5.29.1, which openssl does not read as one, and no
  // extension is marked critical.
  EXPECT_EQ(kxtest::Run("openssl verify -CAfile '" + caPem + "' '" + leafPem + "' 2>&1", &out), 0) << out;
  std::string text = Text(leafPem);
  // The issuer's own algorithm in both fields, six months, no certificate signing without cA.
  EXPECT_FALSE(Contains(text, "md5")) << text;
  EXPECT_TRUE(Contains(text, "CA:FALSE")) << text;
  EXPECT_FALSE(Contains(text, "Certificate Sign")) << text;
  EXPECT_TRUE(Contains(text, "Issuer: CN = Example Issuing CA, O = Example")) << text;
  X509* x = Parse(leaf[0].der);
  X509* issuer = Parse(ca[0].der);
  EXPECT_EQ(MonthsBetween(x), 6);
  AUTHORITY_KEYID* aki = OldAuthorityKeyId(x);
  ASSERT_NE(aki, nullptr);
  const ASN1_OCTET_STRING* caSki = X509_get0_subject_key_id(issuer);
  EXPECT_EQ(Hex(aki->keyid->data, aki->keyid->length), Hex(caSki->data, caSki->length));
  EXPECT_EQ(ASN1_INTEGER_cmp(aki->serial, X509_get0_serialNumber(issuer)), 0);
  AUTHORITY_KEYID_free(aki);
  X509_free(x);
  X509_free(issuer);
  EXPECT_TRUE(kx::capi::ListDir(m_dir).empty());
  // No issuer of that name: the run fails.
  EXPECT_FALSE(CreateCertificate("CN=Heidi", AT_SIGNATURE, 1024, "1.2.840.113549.1.1.5", 0, 0, FALSE, TRUE,
                                 kRsaProvider, PROV_RSA_FULL, "MY", TRUE, FALSE, "Nobody", "MY", TRUE, FALSE, "", "", ""));
}

TEST_F(CertCreation, ExportModeWritesBothFilesAndKeepsNoContainer) {
  std::string cer = m_dir + "/out.cer", key = m_dir + "/out.key";
  std::vector<std::string> before = kx::capi::ListDir(kx::capi::KeyDir(false));
  ASSERT_TRUE(CreateCertificate("CN=Ivan Export", AT_KEYEXCHANGE, 1024, "1.2.840.113549.1.1.5", 3, 1, FALSE, TRUE,
                                kRsaProvider, PROV_RSA_FULL, "MY", TRUE, TRUE, "", "MY", TRUE, TRUE, cer.c_str(),
                                key.c_str(), "s3cret pass"));
  EXPECT_EQ(kx::capi::ListDir(kx::capi::KeyDir(false)).size(), before.size());
  EXPECT_TRUE(FindInStore("MY", "Ivan").empty());
  std::string out;
  EXPECT_EQ(kxtest::Run("openssl x509 -inform DER -in '" + cer + "' -noout -subject 2>&1", &out), 0) << out;
  EXPECT_TRUE(Contains(out, "CN = Ivan Export")) << out;
  // The key opens with the password only, and belongs to the certificate.
  EXPECT_NE(kxtest::Run("openssl pkey -inform DER -in '" + key + "' -passin pass:wrong -noout 2>&1", &out), 0);
  EXPECT_EQ(kxtest::Run("openssl pkey -inform DER -in '" + key + "' -passin 'pass:s3cret pass' -pubout -out '" + m_dir +
                    "/k.pub' 2>&1 && openssl x509 -inform DER -in '" + cer + "' -pubkey -noout > '" + m_dir +
                    "/c.pub' && cmp '" + m_dir + "/k.pub' '" + m_dir + "/c.pub'",
                &out),
            0)
      << out;
  struct stat st {};
  ASSERT_EQ(stat(key.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(kx::capi::FileExists(m_dir + "/SelfSigned.cer"));
}

TEST(CertCreationDates, ValidityEndsTheSameDayMonthsLaterOrOnTheMonthsLastDay) {
  struct Case {
    WORD y, m, d;
    unsigned months;
    WORD ey, em, ed;
  } cases[] = {
      {2024, 11, 15, 3, 2025, 2, 15},  {2024, 1, 31, 1, 2024, 2, 29}, {2023, 1, 31, 1, 2023, 2, 28},
      {2024, 5, 31, 24, 2026, 5, 31},  {2024, 8, 31, 1, 2024, 9, 30}, {2024, 12, 1, 12, 2025, 12, 1},
  };
  for (const Case& c : cases) {
    SYSTEMTIME from{};
    from.wYear = c.y;
    from.wMonth = c.m;
    from.wDay = c.d;
    from.wHour = 13;
    SYSTEMTIME to = kx::certcreate::AddMonths(from, c.months);
    EXPECT_EQ(to.wYear, c.ey);
    EXPECT_EQ(to.wMonth, c.em);
    EXPECT_EQ(to.wDay, c.ed);
    EXPECT_EQ(to.wHour, 13);
  }
  EXPECT_EQ(kx::certcreate::KeyLengthFlags(512), 0x02000000u);
  EXPECT_EQ(kx::certcreate::KeyLengthFlags(32768), 0x80000000u);
  EXPECT_EQ(kx::certcreate::KeyLengthFlags(3000), 0u);
}
