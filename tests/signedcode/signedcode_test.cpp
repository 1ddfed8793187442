// Signing, verifying and time-stamping PE programs, checked against osslsigncode both ways.
#include <openssl/x509.h>

#include "fixture.h"
#include "services/local_server.h"

namespace {

using namespace sctest;
using kxtest::pki::Pem;
using kxtest::pki::Key;

std::string Cn(X509* x) {
  char buf[256] = {};
  if (x) X509_NAME_get_text_by_NID(X509_get_subject_name(x), NID_commonName, buf, sizeof buf);
  return buf;
}

// Changes one byte in the middle of the file's first section.
void FlipCodeByte(const std::string& path) {
  std::string bytes = kxtest::ReadFile(path);
  kxsc::Bytes image(bytes.begin(), bytes.end());
  kxsc::PeLayout l;
  ASSERT_EQ(kxsc::ParsePe(image, &l, nullptr), S_OK);
  size_t at = l.headersEnd + 100;
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  kxtest::WriteFile(path, bytes);
}

TEST_F(SignedCodeTest, OurSignaturesPassOsslsigncode) {
  struct Case {
    const char* file;
    kxsc::Digest digest;
    const char* name;
  };
  const Case cases[] = {{"hello32.exe", kxsc::Digest::Sha256, "SHA256"},
                        {"hello64.exe", kxsc::Digest::Sha256, "SHA256"},
                        {"hello32.dll", kxsc::Digest::Sha1, "SHA1"},
                        {"hello64.dll", kxsc::Digest::Sha256, "SHA256"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = Copy(c.file);
    kxsc::SignParams p = Params();
    p.digest = c.digest;
    std::string detail;
    ASSERT_EQ(kxsc::SignFile(path, p, &detail), S_OK) << detail;

    kxsc::SignatureInfo info;
    EXPECT_EQ(kxsc::VerifyFile(path, Verify(), &info, &detail), S_OK) << detail;
    EXPECT_EQ(Cn(info.signer.get()), "Test Code Signer");
    EXPECT_EQ(info.description, u"Brinmoor test program \u00e9");
    EXPECT_EQ(info.descriptionUrl, "http://example.com/about");
    EXPECT_EQ(info.digestName, c.name);
    EXPECT_EQ(info.chain.size(), 3u);
    EXPECT_EQ(info.timestamp, kxsc::TimestampKind::None);

    std::string out;
    EXPECT_TRUE(OsslVerify(path, &out)) << out;
    // osslsigncode recomputes the checksum and warns when it differs from the stored one.
    EXPECT_NE(out.find("PE checksum"), std::string::npos) << out;
    EXPECT_EQ(out.find("invalid PE checksum"), std::string::npos) << out;
    EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
  }
}

TEST_F(SignedCodeTest, OsslsigncodeSignaturesVerifyWithOurs) {
  for (const char* file : {"hello32.exe", "hello64.dll"}) {
    SCOPED_TRACE(file);
    std::string in = Copy(file), out = dir_ + "/signed-" + file;
    std::string text;
    ASSERT_EQ(kxtest::Run("osslsigncode sign -certs " + Quote(Pem("codesign")) + " -ac " + Quote(Pem("inter")) +
                              " -key " + Quote(Key("codesign")) + " -n 'Their Program' -i http://example.org/x" +
                              " -h sha1 -in " + Quote(in) + " -out " + Quote(out),
                          &text),
              0)
        << text;
    kxsc::SignatureInfo info;
    std::string detail;
    EXPECT_EQ(kxsc::VerifyFile(out, Verify(), &info, &detail), S_OK) << detail;
    EXPECT_EQ(info.description, u"Their Program");
    EXPECT_EQ(info.descriptionUrl, "http://example.org/x");
    EXPECT_EQ(info.digestName, "SHA1");

    FlipCodeByte(out);
    EXPECT_EQ(kxsc::VerifyFile(out, Verify(), nullptr, &detail), kxsc::TRUST_E_BAD_DIGEST) << detail;
  }
}

TEST_F(SignedCodeTest, OneFlippedByteFailsOursAndOsslsigncode) {
  std::string path = Copy("hello64.exe");
  ASSERT_EQ(kxsc::SignFile(path, Params()), S_OK);
  FlipCodeByte(path);
  std::string detail, out;
  EXPECT_EQ(kxsc::VerifyFile(path, Verify(), nullptr, &detail), kxsc::TRUST_E_BAD_DIGEST) << detail;
  EXPECT_FALSE(OsslVerify(path, &out)) << out;
}

TEST_F(SignedCodeTest, IncludeOptionDecidesTheCertificatesCarried) {
  struct Case {
    int option;
    size_t count;
  };
  for (Case c : {Case{kxsc::kChainExceptRoot, 2}, Case{kxsc::kWholeChain, 3}, Case{kxsc::kEndEntityOnly, 1}}) {
    SCOPED_TRACE(c.option);
    std::string path = Copy("hello32.exe");
    kxsc::SignParams p = Params();
    p.includeOption = c.option;
    ASSERT_EQ(kxsc::SignFile(path, p), S_OK);
    // Counted by the outside tools from the extracted PKCS #7.
    std::string sig = dir_ + "/sig.der", text;
    std::remove(sig.c_str());
    ASSERT_EQ(kxtest::Run("osslsigncode extract-signature -in " + Quote(path) + " -out " + Quote(sig), &text), 0)
        << text;
    ASSERT_EQ(kxtest::Run("openssl pkcs7 -inform DER -in " + Quote(sig) + " -print_certs | grep -c '^subject='", &text),
              0);
    EXPECT_EQ(std::stoul(text), c.count);
    kxsc::SignatureInfo info;
    ASSERT_EQ(kxsc::ReadSignature(path, &info), S_OK);
    EXPECT_EQ(info.certificates.size(), c.count);
    // Only the end entity: the verifier needs the intermediate from elsewhere.
    kxsc::VerifyParams v = Verify();
    if (c.option == kxsc::kEndEntityOnly) {
      EXPECT_EQ(kxsc::VerifyFile(path, v), kxsc::CERT_E_CHAINING);
      v.extraCertificates = {inter_.get()};
    }
    std::string detail;
    EXPECT_EQ(kxsc::VerifyFile(path, v, nullptr, &detail), S_OK) << detail;
  }
}

TEST_F(SignedCodeTest, TrustResults) {
  std::string chainOnly = Copy("hello64.exe", "a.exe");
  ASSERT_EQ(kxsc::SignFile(chainOnly, Params()), S_OK);
  std::string whole = Copy("hello64.exe", "b.exe");
  kxsc::SignParams p = Params();
  p.includeOption = kxsc::kWholeChain;
  ASSERT_EQ(kxsc::SignFile(whole, p), S_OK);
  std::string unsignedFile = Copy("hello32.exe", "c.exe");
  std::string text = dir_ + "/readme.txt";
  kxtest::WriteFile(text, "MZ is not enough to make a program\n");

  kxsc::VerifyParams none;  // trusts nothing
  kxsc::VerifyParams later = Verify();
  later.time = time(nullptr) + 20 * 365 * 86400L;  // after the signer's validity
  struct Case {
    const char* name;
    std::string path;
    kxsc::VerifyParams params;
    HRESULT expected;
  } cases[] = {
      {"trusted", chainOnly, Verify(), S_OK},
      {"root not carried, not trusted", chainOnly, none, kxsc::CERT_E_CHAINING},
      {"root carried, not trusted", whole, none, kxsc::CERT_E_UNTRUSTEDROOT},
      {"expired at that time", chainOnly, later, kxsc::CERT_E_EXPIRED},
      {"unsigned", unsignedFile, Verify(), kxsc::TRUST_E_NOSIGNATURE},
      {"not a program", text, Verify(), kxsc::TRUST_E_SUBJECT_FORM_UNKNOWN},
      {"missing", dir_ + "/none.exe", Verify(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
  };
  for (const Case& c : cases) {
    std::string detail;
    EXPECT_EQ(kxsc::VerifyFile(c.path, c.params, nullptr, &detail), c.expected) << c.name << ": " << detail;
    if (c.expected != S_OK) {
      EXPECT_FALSE(detail.empty()) << c.name;
    }
  }
}

TEST_F(SignedCodeTest, WrongUsageIsRefusedBothWays) {
  // osslsigncode signs with any certificate; our verifier refuses one that is not for code signing.
  std::string in = Copy("hello64.exe"), out = dir_ + "/server.exe", text;
  ASSERT_EQ(kxtest::Run("osslsigncode sign -certs " + Quote(Pem("signer")) + " -ac " + Quote(Pem("inter")) +
                            " -key " + Quote(Key("signer")) + " -in " + Quote(in) + " -out " + Quote(out),
                        &text),
            0)
      << text;
  std::string detail;
  EXPECT_EQ(kxsc::VerifyFile(out, Verify(), nullptr, &detail), kxsc::CERT_E_WRONG_USAGE) << detail;

  // Our signer refuses such a certificate, a key that does not belong to the certificate and a missing key;
  // the file stays as it was.
  std::string before = kxtest::ReadFile(in);
  auto email = LoadCert("signer");
  auto emailKey = LoadKey("signer");
  struct Case {
    X509* cert;
    EVP_PKEY* key;
    HRESULT expected;
  } cases[] = {{email.get(), emailKey.get(), kxsc::CERT_E_WRONG_USAGE},
               {signer_.get(), emailKey.get(), kxsc::CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY},
               {signer_.get(), nullptr, kxsc::CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY},
               {nullptr, key_.get(), E_INVALIDARG}};
  for (const Case& c : cases) {
    kxsc::SignParams p = Params();
    p.certificate = c.cert;
    p.privateKey = c.key;
    EXPECT_EQ(kxsc::SignFile(in, p, &detail), c.expected) << detail;
    EXPECT_EQ(kxtest::ReadFile(in), before);
  }
}

TEST_F(SignedCodeTest, ResigningReplacesTheSignature) {
  std::string path = Copy("hello32.exe");
  kxsc::SignParams p = Params();
  ASSERT_EQ(kxsc::SignFile(path, p), S_OK);
  size_t once = kxtest::ReadFile(path).size();
  p.description = u"second";
  ASSERT_EQ(kxsc::SignFile(path, p), S_OK);
  kxsc::SignatureInfo info;
  std::string detail, out;
  EXPECT_EQ(kxsc::VerifyFile(path, Verify(), &info, &detail), S_OK) << detail;
  EXPECT_EQ(info.description, u"second");
  EXPECT_LT(kxtest::ReadFile(path).size(), once + 64);  // replaced, not appended
  EXPECT_TRUE(OsslVerify(path, &out)) << out;
}

TEST_F(SignedCodeTest, NonProgramsAreRefusedUntouched) {
  std::string text = dir_ + "/notes.txt";
  kxtest::WriteFile(text, std::string(4096, 'x'));
  std::string detail;
  EXPECT_EQ(kxsc::SignFile(text, Params(), &detail), kxsc::TRUST_E_SUBJECT_FORM_UNKNOWN);
  EXPECT_NE(detail.find("MZ"), std::string::npos) << detail;
  EXPECT_EQ(kxtest::ReadFile(text), std::string(4096, 'x'));
  EXPECT_EQ(kxsc::SignFile(dir_, Params()), kxsc::TRUST_E_SUBJECT_FORM_UNKNOWN);  // a folder
}

TEST_F(SignedCodeTest, ExtraAttributesAndSigningTimeAreSigned) {
  std::string path = Copy("hello64.exe");
  kxsc::SignParams p = Params();
  p.signingTime = 1700000000;  // 2023-11-14 22:13:20 UTC
  // A document-name style attribute: an OCTET STRING value.
  p.extraAttributes = {{"1.3.6.1.4.1.311.88.2.1", {0x04, 0x04, 'a', 0, 'b', 0}}};
  std::string detail;
  ASSERT_EQ(kxsc::SignFile(path, p, &detail), S_OK) << detail;
  EXPECT_EQ(kxsc::VerifyFile(path, Verify(), nullptr, &detail), S_OK) << detail;
  std::string sig = dir_ + "/sig.der", text;
  ASSERT_EQ(kxtest::Run("osslsigncode extract-signature -in " + Quote(path) + " -out " + Quote(sig), &text), 0);
  ASSERT_EQ(kxtest::Run("openssl asn1parse -inform DER -in " + Quote(sig), &text), 0) << text;
  EXPECT_NE(text.find(":1.3.6.1.4.1.311.88.2.1"), std::string::npos) << text;
  EXPECT_NE(text.find(":231114221320Z"), std::string::npos) << text;

  // Attributes the signature sets itself cannot be given twice.
  p.extraAttributes = {{"1.2.840.113549.1.9.3", {0x06, 0x01, 0x2A}}};
  EXPECT_EQ(kxsc::SignFile(path, p, &detail), E_INVALIDARG) << detail;
  p.extraAttributes = {{"1.3.6.1.4.1.311.88.2.1", {0x04, 0x09}}};  // not one DER value
  EXPECT_EQ(kxsc::SignFile(path, p, &detail), E_INVALIDARG) << detail;
}

class TimestampTest : public SignedCodeTest {
 protected:
  void SetUp() override {
    SignedCodeTest::SetUp();
    std::string error;
    ASSERT_TRUE(tsa_.Start(kxtest::SourceDir() + "/tests/signedcode/tsa_server.py",
                           {dir_, Pem("tsa"), Key("tsa"), kxtest::pki::ChainPem()}, &error))
        << error;
  }
  kxsc::TimestampParams Stamp(const std::string& path, kxsc::TimestampProtocol protocol) const {
    kxsc::TimestampParams t;
    t.url = tsa_.Url(path);
    t.protocol = protocol;
    t.http.proxy.mode = kx::HttpProxyMode::Direct;
    t.http.timeoutMs = 15000;
    return t;
  }
  kxtest::LocalServer tsa_;
};

TEST_F(TimestampTest, StampsVerifyWithOursAndOsslsigncode) {
  struct Case {
    const char* path;
    kxsc::TimestampProtocol protocol;
    kxsc::TimestampKind kind;
    const char* contentType;
  } cases[] = {
      {"/rfc3161", kxsc::TimestampProtocol::Rfc3161, kxsc::TimestampKind::Rfc3161, "application/timestamp-query"},
      {"/legacy", kxsc::TimestampProtocol::Authenticode, kxsc::TimestampKind::Authenticode, "application/octet-stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string path = Copy("hello64.exe");
    ASSERT_EQ(kxsc::SignFile(path, Params()), S_OK);
    std::string detail;
    time_t before = time(nullptr);
    ASSERT_EQ(kxsc::TimestampFile(path, Stamp(c.path, c.protocol), &detail), S_OK) << detail;
    EXPECT_NE(kxtest::ReadFile(dir_ + "/requests.log").find(std::string(c.path) + " " + c.contentType),
              std::string::npos);

    kxsc::SignatureInfo info;
    EXPECT_EQ(kxsc::VerifyFile(path, Verify(), &info, &detail), S_OK) << detail;
    EXPECT_EQ(info.timestamp, c.kind);
    EXPECT_EQ(Cn(info.timestamper.get()), "Test Time Stamping");
    EXPECT_GE(info.timestampTime, before - 2);
    EXPECT_LE(info.timestampTime, time(nullptr) + 2);

    std::string out;
    EXPECT_TRUE(OsslVerify(path, &out, "-TSA-CAfile " + Quote(Pem("root")))) << out;
    EXPECT_NE(out.find("Timestamp verified using"), std::string::npos) << out;

    // The stamp's issuer must be trusted too.
    kxsc::VerifyParams untrusted = Verify();
    X509_STORE* other = X509_STORE_new();
    auto unrelated = LoadCert("signer");  // a trust store without the root
    X509_STORE_add_cert(other, unrelated.get());
    untrusted.trust = other;
    EXPECT_EQ(kxsc::VerifyFile(path, untrusted, nullptr, &detail), kxsc::TRUST_E_TIME_STAMP) << detail;
    X509_STORE_free(other);

    // Stamping again replaces the stamp.
    ASSERT_EQ(kxsc::TimestampFile(path, Stamp(c.path, c.protocol), &detail), S_OK) << detail;
    EXPECT_EQ(kxsc::VerifyFile(path, Verify(), nullptr, &detail), S_OK) << detail;
    EXPECT_TRUE(OsslVerify(path, &out, "-TSA-CAfile " + Quote(Pem("root")))) << out;
  }
}

TEST_F(TimestampTest, OsslsigncodeStampsVerifyWithOurs) {
  struct Case {
    const char* option;
    const char* path;
    kxsc::TimestampKind kind;
  } cases[] = {{"-ts", "/rfc3161", kxsc::TimestampKind::Rfc3161},
               {"-t", "/legacy", kxsc::TimestampKind::Authenticode}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string in = Copy("hello32.exe"), out = dir_ + "/stamped.exe", text;
    std::remove(out.c_str());
    ASSERT_EQ(kxtest::Run("osslsigncode sign -certs " + Quote(Pem("codesign")) + " -ac " + Quote(Pem("inter")) +
                              " -key " + Quote(Key("codesign")) + " " + c.option + " " + tsa_.Url(c.path) +
                              " -in " + Quote(in) + " -out " + Quote(out),
                          &text),
              0)
        << text;
    kxsc::SignatureInfo info;
    std::string detail;
    EXPECT_EQ(kxsc::VerifyFile(out, Verify(), &info, &detail), S_OK) << detail;
    EXPECT_EQ(info.timestamp, c.kind);
    EXPECT_EQ(Cn(info.timestamper.get()), "Test Time Stamping");
  }
}

TEST_F(TimestampTest, FailedStampsLeaveTheFileAsItWas) {
  std::string path = Copy("hello64.exe");
  ASSERT_EQ(kxsc::SignFile(path, Params()), S_OK);
  const std::string before = kxtest::ReadFile(path);
  kxsc::TimestampParams refused = Stamp("/legacy", kxsc::TimestampProtocol::Authenticode);
  refused.url = "http://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/";
  struct Case {
    const char* name;
    kxsc::TimestampParams params;
    HRESULT expected;
  } cases[] = {
      {"server error", Stamp("/status500", kxsc::TimestampProtocol::Rfc3161), KX_HR(0x801901F4)},
      {"garbage, legacy", Stamp("/garbage", kxsc::TimestampProtocol::Authenticode), kxsc::TRUST_E_TIME_STAMP},
      {"garbage, RFC 3161", Stamp("/garbage", kxsc::TimestampProtocol::Rfc3161), kxsc::TRUST_E_TIME_STAMP},
      {"nobody listening", refused, HRESULT_FROM_WIN32(12029)},
      {"no address", kxsc::TimestampParams(), E_INVALIDARG},
  };
  for (const Case& c : cases) {
    std::string detail;
    EXPECT_EQ(kxsc::TimestampFile(path, c.params, &detail), c.expected) << c.name << ": " << detail;
    EXPECT_EQ(kxtest::ReadFile(path), before) << c.name;
  }
  std::string unsignedFile = Copy("hello32.exe");
  EXPECT_EQ(kxsc::TimestampFile(unsignedFile, Stamp("/rfc3161", kxsc::TimestampProtocol::Rfc3161)),
            kxsc::TRUST_E_NOSIGNATURE);
}

TEST_F(TimestampTest, CallerChainCheckDecidesForSignerAndStamper) {
  std::string path = Copy("hello32.dll");
  ASSERT_EQ(kxsc::SignFile(path, Params()), S_OK);
  ASSERT_EQ(kxsc::TimestampFile(path, Stamp("/rfc3161", kxsc::TimestampProtocol::Rfc3161)), S_OK);
  struct Call {
    std::string cn, usage;
    time_t at;
  };
  std::vector<Call> calls;
  HRESULT signerAnswer = S_OK, stamperAnswer = S_OK;
  kxsc::VerifyParams v;  // no trust store: only the callback decides
  v.chainCheck = [&](X509* cert, const std::vector<X509*>& untrusted, time_t at, const char* usage,
                     std::vector<kxsc::X509Ref>* chain, std::string* detail) {
    calls.push_back({Cn(cert), usage, at});
    EXPECT_FALSE(untrusted.empty());
    if (chain) {
      X509_up_ref(cert);
      chain->push_back(kxsc::X509Ref(cert));
    }
    HRESULT hr = std::string(usage) == kxsc::kCodeSigningUsage ? signerAnswer : stamperAnswer;
    if (detail && FAILED(hr)) *detail = "refused by the caller";
    return hr;
  };
  kxsc::SignatureInfo info;
  std::string detail;
  ASSERT_EQ(kxsc::VerifyFile(path, v, &info, &detail), S_OK) << detail;
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].cn, "Test Time Stamping");
  EXPECT_EQ(calls[0].usage, kxsc::kTimeStampingUsage);
  EXPECT_EQ(calls[1].cn, "Test Code Signer");
  EXPECT_EQ(calls[1].usage, kxsc::kCodeSigningUsage);
  EXPECT_EQ(calls[0].at, info.timestampTime);  // the signer's chain counts at the stamp's time
  EXPECT_EQ(calls[1].at, info.timestampTime);
  EXPECT_EQ(info.chain.size(), 1u);

  signerAnswer = kxsc::CERT_E_REVOKED;
  EXPECT_EQ(kxsc::VerifyFile(path, v, nullptr, &detail), kxsc::CERT_E_REVOKED) << detail;
  stamperAnswer = kxsc::CERT_E_UNTRUSTEDROOT;
  EXPECT_EQ(kxsc::VerifyFile(path, v, nullptr, &detail), kxsc::TRUST_E_TIME_STAMP) << detail;
}

}  // namespace
