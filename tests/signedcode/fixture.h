// Shared set-up of the signed-code tests: the PE programs, the test PKI loaded into OpenSSL objects.
#pragma once

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/capicom/signedcode/pe.h"
#include "platform/capicom/signedcode/signedcode.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace sctest {

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct StoreFree {
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
using KeyRef = std::unique_ptr<EVP_PKEY, KeyFree>;
using StoreRef = std::unique_ptr<X509_STORE, StoreFree>;

inline kxsc::X509Ref LoadCert(const std::string& name) {
  FILE* f = fopen(kxtest::pki::Pem(name).c_str(), "r");
  X509* x = f ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
  if (f) fclose(f);
  return kxsc::X509Ref(x);
}

inline KeyRef LoadKey(const std::string& name) {
  FILE* f = fopen(kxtest::pki::Key(name).c_str(), "r");
  EVP_PKEY* k = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
  if (f) fclose(f);
  return KeyRef(k);
}

inline std::string PeFixture(const std::string& name) { return std::string(KX_PE_DIR) + "/" + name; }

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

class SignedCodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = kxtest::MakeTempDir("sc");
    root_ = LoadCert("root");
    inter_ = LoadCert("inter");
    signer_ = LoadCert("codesign");
    key_ = LoadKey("codesign");
    ASSERT_TRUE(root_ && inter_ && signer_ && key_) << "test PKI missing in " << kxtest::pki::Dir();
    trust_.reset(X509_STORE_new());
    X509_STORE_add_cert(trust_.get(), root_.get());
  }

  // A copy of a PE test program in the case's folder.
  std::string Copy(const std::string& fixture, const std::string& as = "") {
    std::string bytes = kxtest::ReadFile(PeFixture(fixture));
    EXPECT_GT(bytes.size(), 512u) << "missing " << PeFixture(fixture) << " (mingw-w64 cross compilers)";
    std::string path = dir_ + "/" + (as.empty() ? fixture : as);
    kxtest::WriteFile(path, bytes);
    return path;
  }

  kxsc::SignParams Params() const {
    kxsc::SignParams p;
    p.certificate = signer_.get();
    p.privateKey = key_.get();
    p.chainCandidates = {inter_.get(), root_.get()};
    p.description = u"Brinmoor test program \u00e9";
    p.descriptionUrl = "http://example.com/about";
    return p;
  }

  kxsc::VerifyParams Verify() const {
    kxsc::VerifyParams v;
    v.trust = trust_.get();
    return v;
  }

  // osslsigncode's verification of a file; true when it accepts it. *out receives what it printed.
  bool OsslVerify(const std::string& path, std::string* out = nullptr, const std::string& extra = "") const {
    std::string text;
    int rc = kxtest::Run("osslsigncode verify -in " + Quote(path) + " -CAfile " + Quote(kxtest::pki::Pem("root")) +
                             " " + extra + " 2>&1",
                         &text);
    if (out) *out = text;
    return rc == 0;
  }

  std::string dir_;
  kxsc::X509Ref root_, inter_, signer_;
  KeyRef key_;
  StoreRef trust_;
};

}  // namespace sctest
