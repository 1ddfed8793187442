// Shared set-up of the message tests: the test PKI loaded into OpenSSL objects, a library context with the
// "legacy" provider (single DES and RC2), and the openssl command line as the outside reader and writer.
#pragma once

#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/capicom/cms/cms.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace cmstest {

inline kxcms::X509Ref LoadCert(const std::string& name) {
  FILE* f = fopen(kxtest::pki::Pem(name).c_str(), "r");
  X509* x = f ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
  if (f) fclose(f);
  return kxcms::X509Ref(x);
}

inline kxcms::PKeyRef LoadKey(const std::string& name) {
  FILE* f = fopen(kxtest::pki::Key(name).c_str(), "r");
  EVP_PKEY* k = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
  if (f) fclose(f);
  return kxcms::PKeyRef(k);
}

inline OSSL_LIB_CTX* LegacyCtx() {
  static OSSL_LIB_CTX* ctx = [] {
    OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
    OSSL_PROVIDER_load(c, "default");
    OSSL_PROVIDER_load(c, "legacy");
    return c;
  }();
  return ctx;
}

inline std::string Q(const std::string& s) { return "'" + s + "'"; }
inline kxcms::Bytes B(const std::string& s) { return kxcms::Bytes(s.begin(), s.end()); }
inline std::string S(const kxcms::Bytes& b) { return std::string(b.begin(), b.end()); }

// Content that is not text: zero bytes, high bytes, an odd length.
inline std::string BinaryDoc() {
  std::string doc("report\0\r\n\xff\xfe", 11);
  for (int i = 0; i < 300; ++i) doc += static_cast<char>(i * 7);
  return doc;
}

class CmsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = kxtest::MakeTempDir("cms");
    for (const char* n : {"root", "inter", "signer", "encrypt", "expired"}) ASSERT_TRUE(LoadCert(n)) << kxtest::pki::Dir();
  }

  std::string File(const std::string& name, const std::string& bytes) const {
    std::string path = dir_ + "/" + name;
    kxtest::WriteFile(path, bytes);
    return path;
  }
  std::string File(const std::string& name, const kxcms::Bytes& bytes) const { return File(name, S(bytes)); }

  // Runs openssl; its exit status, with what it printed in *out.
  static int Openssl(const std::string& args, std::string* out = nullptr) {
    std::string text;
    int rc = kxtest::Run("openssl " + args + " 2>&1", &text);
    if (out) *out = text;
    return rc;
  }

  std::string dir_;
};

}  // namespace cmstest
