// The enrolment control through its wrapper: requests that openssl verifies, certificates issued by an openssl CA
// installed with their keys, the provider lists the creation wizard reads.
#include <gtest/gtest.h>

#include <string>

#include "certificates/CertEnroll.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/win32/modules.h"
#include "platform/win32/textconv.h"
#include "support/pki.h"
#include "support/testroot.h"

using namespace kxtest;

namespace {

class Enrolment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

std::string Narrow(BSTR b) { return kx::Utf16ToUtf8(b, SysStringLen(b)); }

_bstr_t Wide(const char* s) { return _bstr_t(s); }

// Makes a request and writes it as a PEM file; returns the path.
std::string Request(ICEnroll3* e, const char* subject, const char* usage, const std::string& dir) {
  BSTR request = nullptr;
  HRESULT hr = e->createPKCS10(Wide(subject), Wide(usage), &request);
  EXPECT_EQ(hr, S_OK);
  if (FAILED(hr)) return {};
  std::string path = dir + "/request.p10";
  WriteFile(path, "-----BEGIN CERTIFICATE REQUEST-----\n" + Narrow(request) + "-----END CERTIFICATE REQUEST-----\n");
  SysFreeString(request);
  return path;
}

bool Has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST_F(Enrolment, ARequestVerifiesAndItsCertificateIsInstalledWithItsKey) {
  CCertEnroll enroll;
  ICEnroll3* e = enroll.GetInterfacePtr();
  ASSERT_NE(e, nullptr);
  // The worker's order of settings.
  ASSERT_EQ(e->put_HashAlgorithm(Wide("1.2.840.113549.1.1.5")), S_OK);
  ASSERT_EQ(e->put_ProviderType(PROV_RSA_FULL), S_OK);
  ASSERT_EQ(e->put_KeySpec(AT_KEYEXCHANGE), S_OK);
  ASSERT_EQ(e->put_EnableSMIMECapabilities(TRUE), S_OK);
  ASSERT_EQ(e->put_ProviderName(Wide("Microsoft Base Cryptographic Provider v1.0")), S_OK);
  ASSERT_EQ(e->put_WriteCertToCSP(TRUE), S_OK);
  ASSERT_EQ(e->put_GenKeyFlags(0x04000000 | CRYPT_EXPORTABLE), S_OK);
  std::string dir = MakeTempDir("enrol");
  std::string req = Request(e, "CN=Judy Request,O=Example,C=GB,E=judy@example.com", "1.3.6.1.5.5.7.3.4", dir);
  std::string out;
  ASSERT_EQ(kxtest::Run("openssl req -in '" + req + "' -verify -noout -text 2>&1", &out), 0) << out;
  EXPECT_TRUE(Has(out, "verify OK")) << out;
  EXPECT_TRUE(Has(out, "Subject: CN = Judy Request, O = Example, C = GB, emailAddress = judy@example.com")) << out;
  EXPECT_TRUE(Has(out, "Public-Key: (1024 bit)")) << out;
  EXPECT_TRUE(Has(out, "E-mail Protection")) << out;
  EXPECT_TRUE(Has(out, "Key Encipherment, Data Encipherment")) << out;
  EXPECT_TRUE(Has(out, "S/MIME Capabilities")) << out;
  EXPECT_TRUE(Has(out, "sha1WithRSAEncryption")) << out;

  // An openssl CA issues the certificate; the answer comes back as a PKCS#7 bundle.
  std::string cert = dir + "/issued.pem", bundle = dir + "/issued.p7b";
  ASSERT_EQ(kxtest::Run("openssl x509 -req -in '" + req + "' -CA '" + pki::Pem("inter") + "' -CAkey '" + pki::Key("inter") +
                    "' -days 30 -copy_extensions copy -out '" + cert + "' 2>&1 && openssl crl2pkcs7 -nocrl -certfile '" +
                    cert + "' -certfile '" + pki::Pem("inter") + "' -outform DER -out '" + bundle + "' 2>&1",
                &out),
            0)
      << out;
  std::string der = ReadFile(bundle);
  BSTR answer = SysAllocStringByteLen(der.data(), static_cast<UINT>(der.size()));
  EXPECT_EQ(e->acceptPKCS7(answer), S_OK);
  // A second acceptance finds the same key again and leaves one copy.
  EXPECT_EQ(e->acceptPKCS7(answer), S_OK);
  SysFreeString(answer);

  HCERTSTORE my = CertOpenSystemStoreA(0, "MY");
  PCCERT_CONTEXT found = CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, "Judy", nullptr);
  ASSERT_NE(found, nullptr);
  DWORD cb = 0;
  ASSERT_TRUE(CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cb));
  std::vector<BYTE> buffer(cb);
  ASSERT_TRUE(CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &cb));
  const auto* link = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
  EXPECT_EQ(link->dwKeySpec, AT_KEYEXCHANGE);
  EXPECT_EQ(CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, "Judy", found), nullptr);
  CertCloseStore(my, 0);

  // A certificate no key of the user belongs to is refused.
  std::string other = pki::DerBytes("signer");
  BSTR stranger = SysAllocStringByteLen(other.data(), static_cast<UINT>(other.size()));
  EXPECT_EQ(e->acceptPKCS7(stranger), CRYPT_E_NOT_FOUND);
  SysFreeString(stranger);
}

TEST_F(Enrolment, RequestsFollowTheHashKeySpecAndProvider) {
  CCertEnroll enroll;
  ICEnroll3* e = enroll.GetInterfacePtr();
  std::string dir = MakeTempDir("enrol");
  std::string out;
  // MD5 with a signature key, no usages, no S/MIME capabilities.
  ASSERT_EQ(e->put_HashAlgorithm(Wide("MD5")), S_OK);
  ASSERT_EQ(e->put_GenKeyFlags(0x02000000), S_OK);
  std::string req = Request(e, "CN=Ken", "", dir);
  ASSERT_EQ(kxtest::Run("openssl req -in '" + req + "' -verify -noout -text 2>&1", &out), 0) << out;
  EXPECT_TRUE(Has(out, "md5WithRSAEncryption")) << out;
  EXPECT_TRUE(Has(out, "(512 bit)")) << out;
  EXPECT_TRUE(Has(out, "Digital Signature, Non Repudiation")) << out;
  EXPECT_FALSE(Has(out, "Extended Key Usage")) << out;
  // The DSS provider signs with DSA.
  ASSERT_EQ(e->put_HashAlgorithm(Wide("SHA1")), S_OK);
  ASSERT_EQ(e->put_ProviderType(PROV_DSS_DH), S_OK);
  ASSERT_EQ(e->put_ProviderName(Wide("")), S_OK);
  ASSERT_EQ(e->put_GenKeyFlags(0x04000000), S_OK);
  req = Request(e, "CN=Liz", "1.3.6.1.5.5.7.3.2, 1.3.6.1.5.5.7.3.3", dir);
  ASSERT_EQ(kxtest::Run("openssl req -in '" + req + "' -verify -noout -text 2>&1", &out), 0) << out;
  EXPECT_TRUE(Has(out, "dsaWithSHA1")) << out;
  EXPECT_TRUE(Has(out, "TLS Web Client Authentication, Code Signing")) << out;
  // Bad input.
  EXPECT_EQ(e->put_HashAlgorithm(Wide("ROT13")), NTE_BAD_ALGID);
  BSTR none = nullptr;
  EXPECT_EQ(e->createPKCS10(Wide("CN=\"unclosed"), Wide(""), &none), CRYPT_E_INVALID_X500_STRING);
  EXPECT_EQ(none, nullptr);
}

TEST_F(Enrolment, ProvidersAndKeyLengthsByType) {
  CCertEnroll enroll;
  ICEnroll3* e = enroll.GetInterfacePtr();
  auto names = [&] {
    std::vector<std::string> list;
    BSTR name = nullptr;
    HRESULT hr;
    for (LONG i = 0; (hr = e->enumProviders(i, 0, &name)) == S_OK; ++i) {
      list.push_back(Narrow(name));
      SysFreeString(name);
    }
    EXPECT_EQ(hr, static_cast<HRESULT>(0x80070103));
    return list;
  };
  ASSERT_EQ(e->put_ProviderType(PROV_RSA_FULL), S_OK);
  std::vector<std::string> rsa = names();
  ASSERT_GE(rsa.size(), 1u);
  EXPECT_EQ(rsa[0], "Microsoft Base Cryptographic Provider v1.0");
  ASSERT_EQ(e->put_ProviderType(PROV_DSS_DH), S_OK);
  EXPECT_EQ(names(), std::vector<std::string>{"Microsoft Base DSS and Diffie-Hellman Cryptographic Provider"});
  EXPECT_EQ(e->put_ProviderType(5), NTE_PROV_TYPE_NOT_DEF);
  LONG type = 0;
  ASSERT_EQ(e->get_ProviderType(&type), S_OK);
  EXPECT_EQ(type, 13);
  LONG lo = 0, hi = 0;
  ASSERT_EQ(e->GetKeyLen(TRUE, TRUE, &lo), S_OK);
  ASSERT_EQ(e->GetKeyLen(FALSE, TRUE, &hi), S_OK);
  EXPECT_EQ(lo, 512);
  EXPECT_EQ(hi, 1024);
  ASSERT_EQ(e->put_ProviderName(Wide("No Such Provider")), S_OK);
  EXPECT_EQ(e->GetKeyLen(FALSE, TRUE, &hi), NTE_KEYSET_NOT_DEF);
}

TEST_F(Enrolment, AMissingControlLeavesAsAnEngineError) {
  // The control not installed.
  ASSERT_TRUE(kx::UnregisterClass(CLSID_CEnroll));
  HRESULT code = S_OK;
  try {
    CCertEnroll enroll;
  } catch (const _com_error& e) {
    code = e.Error();
  }
  kx::RegisterClassModule(CLSID_CEnroll, kEnrollModuleName);
  EXPECT_EQ(code, REGDB_E_CLASSNOTREG);
  CCertEnroll again;
  EXPECT_FALSE(again.IsEmpty());
}
