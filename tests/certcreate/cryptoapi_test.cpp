// The platform's key containers and name conversion as certificate creation relies on them.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "platform/cryptoapi/crypt.h"
#include "platform/win32/errors.h"
#include "support/testroot.h"

namespace {

const char kRsa[] = "Microsoft Base Cryptographic Provider v1.0";

std::string NameText(const std::string& x500, HRESULT* hr = nullptr, size_t* errorAt = nullptr) {
  DWORD cb = 0;
  LPCSTR error = nullptr;
  if (!CertStrToNameA(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &cb, &error)) {
    if (hr) *hr = static_cast<HRESULT>(GetLastError());
    if (errorAt && error) *errorAt = static_cast<size_t>(error - x500.c_str());
    return "<error>";
  }
  std::vector<BYTE> der(cb);
  EXPECT_TRUE(CertStrToNameA(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, der.data(), &cb, nullptr));
  const unsigned char* p = der.data();
  X509_NAME* name = d2i_X509_NAME(nullptr, &p, cb);
  char buf[512];
  X509_NAME_oneline(name, buf, sizeof buf);
  X509_NAME_free(name);
  return buf;
}

}  // namespace

TEST(CryptoApiNames, TextBecomesTheNameInItsOrderWithQuotedValues) {
  struct Case {
    const char* text;
    const char* name;
  } cases[] = {
      {"CN=Alice,OU=Sales,O=Example,L=Leeds,S=Yorks,C=GB,E=a@example.com",
       "/CN=Alice/OU=Sales/O=Example/L=Leeds/ST=Yorks/C=GB/emailAddress=a@example.com"},
      {" CN = Spaced Out ; O=Semi", "/CN=Spaced Out/O=Semi"},
      {"CN=\"Smith, John\",O=\"Say \"\"Hi\"\"\"", "/CN=Smith, John/O=Say \"Hi\""},
      {"CN=\"a=b,CN=admin\"", "/CN=a=b,CN=admin"},
      {"CN=Multi+OU=Valued", "/CN=Multi+OU=Valued"},
      {"OID.2.5.4.3=ByNumber", "/CN=ByNumber"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NameText(c.text), c.name) << c.text;

  struct Bad {
    const char* text;
    size_t at;
  } bad[] = {{"XX=1", 0}, {"CN=a,O", 5}, {"CN=\"open", 3}, {"C=GBR", 2}, {"CN=a\"b", 4}};
  for (const Bad& b : bad) {
    HRESULT hr = S_OK;
    size_t at = 99;
    EXPECT_EQ(NameText(b.text, &hr, &at), "<error>") << b.text;
    EXPECT_EQ(hr, CRYPT_E_INVALID_X500_STRING) << b.text;
    EXPECT_EQ(at, b.at) << b.text;
  }
}

TEST(CryptoApiContainers, ContainersAreMadeOpenedAndDeletedByName) {
  HCRYPTPROV p = 0;
  const char* name = "__Kesmora001__Microsoft Base Cryptographic Provider v1.0";
  EXPECT_FALSE(CryptAcquireContextA(&p, name, kRsa, PROV_RSA_FULL, 0));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEYSET);
  ASSERT_TRUE(CryptAcquireContextA(&p, name, kRsa, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  BYTE random[16] = {};
  EXPECT_TRUE(CryptGenRandom(p, sizeof random, random));
  CryptReleaseContext(p, 0);
  EXPECT_FALSE(CryptAcquireContextA(&p, name, kRsa, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_EXISTS);
  ASSERT_TRUE(CryptAcquireContextA(&p, name, kRsa, PROV_RSA_FULL, 0));
  HCRYPTKEY key = 0;
  EXPECT_FALSE(CryptGetUserKey(p, AT_SIGNATURE, &key));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_NO_KEY);
  // A length outside the provider's range is refused; a key made without CRYPT_EXPORTABLE stays inside.
  EXPECT_FALSE(CryptGenKey(p, AT_SIGNATURE, 256u << 16, &key));
  ASSERT_TRUE(CryptGenKey(p, AT_SIGNATURE, 1024u << 16, &key));
  DWORD cb = 0;
  EXPECT_FALSE(CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &cb));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEY_STATE);
  CryptDestroyKey(key);
  CryptReleaseContext(p, 0);
  EXPECT_TRUE(CryptAcquireContextA(&p, name, kRsa, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(p, 0u);
  EXPECT_FALSE(CryptAcquireContextA(&p, name, kRsa, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  // Providers by name and type.
  EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, kRsa, PROV_DSS_DH, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_PROV_TYPE_NO_MATCH);
  EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, "Nobody's Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_KEYSET_NOT_DEF);
  DWORD type = 0;
  char provider[260];
  cb = sizeof provider;
  ASSERT_TRUE(CryptEnumProvidersA(0, nullptr, 0, &type, provider, &cb));
  EXPECT_STREQ(provider, kRsa);
  EXPECT_EQ(type, PROV_RSA_FULL);
  DWORD i = 0;
  cb = sizeof provider;
  while (CryptEnumProvidersA(i, nullptr, 0, &type, provider, &cb)) cb = sizeof provider, ++i;
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS)));
}

TEST(CryptoApiIdentifiers, UuidsAreRandomVersionFourInTheirTextForm) {
  UUID a, b;
  ASSERT_EQ(UuidCreate(&a), RPC_S_OK);
  ASSERT_EQ(UuidCreate(&b), RPC_S_OK);
  unsigned char *ta = nullptr, *tb = nullptr;
  ASSERT_EQ(UuidToStringA(&a, &ta), RPC_S_OK);
  ASSERT_EQ(UuidToStringA(&b, &tb), RPC_S_OK);
  std::string sa = reinterpret_cast<char*>(ta), sb = reinterpret_cast<char*>(tb);
  EXPECT_NE(sa, sb);
  ASSERT_EQ(sa.size(), 36u);
  EXPECT_EQ(sa[14], '4');
  EXPECT_TRUE(sa[19] == '8' || sa[19] == '9' || sa[19] == 'a' || sa[19] == 'b') << sa;
  RpcStringFreeA(&ta);
  RpcStringFreeA(&tb);
  EXPECT_EQ(ta, nullptr);
}
