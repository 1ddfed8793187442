// Signed data: our signatures checked by openssl, openssl's checked by ours, co-signing, attributes, the
// include options, the chain check and the failures.
#include <malloc.h>
#include <openssl/x509.h>

#include <algorithm>
#include <set>

#include "fixture.h"

namespace {

using namespace cmstest;
using kxtest::pki::Pem;
using kxtest::pki::Key;

class SignedTest : public CmsTest {
 protected:
  void SetUp() override {
    CmsTest::SetUp();
    root_ = LoadCert("root");
    inter_ = LoadCert("inter");
    cert_ = LoadCert("signer");
    key_ = LoadKey("signer");
    trust_.reset(X509_STORE_new());
    X509_STORE_add_cert(trust_.get(), root_.get());
  }

  kxcms::SignerParams Signer(const std::string& name = "signer") {
    if (name != "signer") {
      others_.push_back(LoadCert(name));
      otherKeys_.push_back(LoadKey(name));
    }
    kxcms::SignerParams p;
    p.certificate = name == "signer" ? cert_.get() : others_.back().get();
    p.privateKey = name == "signer" ? key_.get() : otherKeys_.back().get();
    p.chainCandidates = {root_.get(), inter_.get()};
    return p;
  }

  kxcms::VerifyParams Trust() const {
    kxcms::VerifyParams v;
    v.trust = trust_.get();
    return v;
  }

  // openssl's verdict on a signature (detached when content is given); what it printed in *out.
  bool OpensslVerifies(const kxcms::Bytes& sig, const std::string& content, std::string* out = nullptr,
                       const std::string& extra = "", const std::string& caFile = Pem("root")) {
    std::string args = "cms -verify -binary -inform DER -in " + Q(File("sig.p7s", sig)) + " -CAfile " + Q(caFile) +
                       " -out " + Q(dir_ + "/verified") + " " + extra;
    if (!content.empty()) args += " -content " + Q(File("doc", content));
    return Openssl(args, out) == 0;
  }

  kxcms::Bytes OpensslSign(const std::string& doc, const std::string& options) {
    std::string out;
    std::string sig = dir_ + "/their.p7s";
    EXPECT_EQ(Openssl("cms -sign -binary -outform DER -in " + Q(File("their-doc", doc)) + " -signer " + Q(Pem("signer")) +
                          " -inkey " + Q(Key("signer")) + " -certfile " + Q(Pem("inter")) + " -out " + Q(sig) + " " +
                          options,
                      &out),
              0)
        << out;
    return B(kxtest::ReadFile(sig));
  }

  kxcms::X509Ref root_, inter_, cert_;
  kxcms::PKeyRef key_;
  std::vector<kxcms::X509Ref> others_;
  std::vector<kxcms::PKeyRef> otherKeys_;
  std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> trust_{nullptr, X509_STORE_free};
};

std::string Cn(X509* x) {
  char buf[256] = {};
  if (x) X509_NAME_get_text_by_NID(X509_get_subject_name(x), NID_commonName, buf, sizeof buf);
  return buf;
}

TEST_F(SignedTest, OurDetachedSignaturesVerifyWithOpensslUnderEachIncludeOption) {
  struct Case {
    int option;
    size_t certs;
    bool needsInter;  // openssl must be given the intermediate
  };
  const Case cases[] = {{CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT, 2, false},
                        {CAPICOM_CERTIFICATE_INCLUDE_WHOLE_CHAIN, 3, false},
                        {CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY, 1, true}};
  const std::string doc = BinaryDoc();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    kxcms::SignerParams p = Signer();
    p.includeOption = c.option;
    kxcms::Bytes sig;
    std::string detail;
    ASSERT_EQ(kxcms::Sign(B(doc), p, true, nullptr, &sig, &detail), S_OK) << detail;

    std::string out;
    EXPECT_TRUE(OpensslVerifies(sig, doc, &out, "", c.needsInter ? kxtest::pki::ChainPem() : Pem("root"))) << out;

    kxcms::MessageInfo info;
    EXPECT_EQ(kxcms::Verify(sig, nullptr, CAPICOM_VERIFY_SIGNATURE_ONLY, Trust(), &info, &detail),
              CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED);
    kxcms::Bytes content = B(doc);
    ASSERT_EQ(kxcms::Verify(sig, &content, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE, [&] {
                kxcms::VerifyParams v = Trust();
                v.extraCertificates = {inter_.get()};
                return v;
              }(), &info, &detail),
              S_OK)
        << detail;
    EXPECT_TRUE(info.detached);
    EXPECT_EQ(info.certificates.size(), c.certs);
    ASSERT_EQ(info.signers.size(), 1u);
    EXPECT_EQ(Cn(info.signers[0].certificate.get()), "Alice Signer");
    EXPECT_EQ(info.signers[0].digestName, "SHA256");
    ASSERT_EQ(info.signers[0].chain.size(), 3u);
    EXPECT_EQ(Cn(info.signers[0].chain[2].get()), "Test Root CA");
  }
}

TEST_F(SignedTest, AttachedSignatureCarriesContentAndAttributes) {
  kxcms::SignerParams p = Signer();
  const time_t when = 1700000000;  // 2023-11-14 22:13:20 UTC
  p.attributes = {{CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME, when, u""},
                  {CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME, 0, u"C:\\out\\r\u00e9sum\u00e9.doc.Tvx"},
                  {CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_DESCRIPTION, 0, u"Quarterly \u20ac figures"}};
  const std::string doc = BinaryDoc();
  kxcms::Bytes sig;
  std::string detail;
  ASSERT_EQ(kxcms::Sign(B(doc), p, false, nullptr, &sig, &detail), S_OK) << detail;

  std::string out;
  ASSERT_TRUE(OpensslVerifies(sig, "", &out)) << out;
  EXPECT_EQ(kxtest::ReadFile(dir_ + "/verified"), doc);
  // openssl shows the signing time as we set it and the document attributes under their identifiers.
  ASSERT_EQ(Openssl("cms -cmsout -print -inform DER -in " + Q(dir_ + "/sig.p7s"), &out), 0) << out;
  EXPECT_NE(out.find("UTCTIME:Nov 14 22:13:20 2023 GMT"), std::string::npos) << out;
  EXPECT_NE(out.find(kxcms::kDocumentNameOid), std::string::npos) << out;
  EXPECT_NE(out.find(kxcms::kDocumentDescriptionOid), std::string::npos) << out;

  kxcms::MessageInfo info;
  ASSERT_EQ(kxcms::Verify(sig, nullptr, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE, Trust(), &info, &detail), S_OK)
      << detail;
  EXPECT_FALSE(info.detached);
  EXPECT_EQ(S(info.content), doc);
  ASSERT_EQ(info.signers.size(), 1u);
  const auto& attrs = info.signers[0].attributes;
  ASSERT_EQ(attrs.size(), 3u);
  for (const kxcms::Attribute& a : attrs) {
    if (a.name == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME) {
      EXPECT_EQ(a.time, when);
    } else {
      EXPECT_EQ(a.text, p.attributes[a.name].text);
    }
  }
}

TEST_F(SignedTest, OpensslSignaturesVerifyWithOursAndChangedBytesFail) {
  const std::string doc = BinaryDoc();
  for (bool detached : {true, false}) {
    SCOPED_TRACE(detached ? "detached" : "attached");
    kxcms::Bytes sig = OpensslSign(doc, detached ? "" : "-nodetach");
    kxcms::Bytes content = B(doc);
    const kxcms::Bytes* dcont = detached ? &content : nullptr;
    kxcms::MessageInfo info;
    std::string detail;
    for (int flag : {CAPICOM_VERIFY_SIGNATURE_ONLY, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE})
      EXPECT_EQ(kxcms::Verify(sig, dcont, flag, Trust(), &info, &detail), S_OK) << detail;
    EXPECT_EQ(info.detached, detached);
    if (!detached) {
      EXPECT_EQ(S(info.content), doc);
    }
    ASSERT_EQ(info.signers.size(), 1u);
    EXPECT_EQ(info.signers[0].chain.size(), 3u);
    ASSERT_EQ(info.signers[0].attributes.size(), 1u);  // openssl's signing time; its other attributes are not ours
    EXPECT_NEAR(static_cast<double>(info.signers[0].attributes[0].time), static_cast<double>(time(nullptr)), 300.0);

    // One changed content byte: the content is not what was signed.
    kxcms::Bytes changed = content;
    changed[5] ^= 0x01;
    kxcms::Bytes changedSig = sig;
    if (detached) {
      EXPECT_EQ(kxcms::Verify(sig, &changed, CAPICOM_VERIFY_SIGNATURE_ONLY, Trust(), &info, &detail),
                kxcms::CRYPT_E_HASH_VALUE);
    } else {
      auto at = std::search(changedSig.begin(), changedSig.end(), content.begin(), content.begin() + 20);
      ASSERT_NE(at, changedSig.end());
      at[5] ^= 0x01;
      EXPECT_EQ(kxcms::Verify(changedSig, nullptr, CAPICOM_VERIFY_SIGNATURE_ONLY, Trust(), &info, &detail),
                kxcms::CRYPT_E_HASH_VALUE);
    }
    // One changed byte of the signature value (the message's last bytes).
    changedSig = sig;
    changedSig[changedSig.size() - 3] ^= 0x01;
    EXPECT_EQ(kxcms::Verify(changedSig, dcont, CAPICOM_VERIFY_SIGNATURE_ONLY, Trust(), &info, &detail),
              kxcms::NTE_BAD_SIGNATURE);
  }
}

TEST_F(SignedTest, CoSignAddsSignersThatBothSidesVerify) {
  const std::string doc = BinaryDoc();
  kxcms::Bytes content = B(doc);
  // Theirs (SHA-256) co-signed by us with SHA-1 and our attributes; ours co-signed again with the same chain.
  kxcms::Bytes first = OpensslSign(doc, "");
  kxcms::SignerParams p = Signer();
  p.digest = "SHA1";
  p.attributes = {{CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME, 0, u"second"}};
  kxcms::Bytes second, third;
  std::string detail;
  EXPECT_EQ(kxcms::CoSign(first, nullptr, p, nullptr, &second, &detail), CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED);
  ASSERT_EQ(kxcms::CoSign(first, &content, p, nullptr, &second, &detail), S_OK) << detail;
  ASSERT_EQ(kxcms::CoSign(second, &content, Signer("expired"), nullptr, &third, &detail), S_OK) << detail;

  std::string out;
  EXPECT_TRUE(OpensslVerifies(second, doc, &out)) << out;
  EXPECT_TRUE(OpensslVerifies(third, doc, &out, "-noverify")) << out;  // signatures only: one signer has expired

  kxcms::MessageInfo info;
  ASSERT_EQ(kxcms::Verify(third, &content, CAPICOM_VERIFY_SIGNATURE_ONLY, Trust(), &info, &detail), S_OK) << detail;
  // Signer infos form a SET: their order in the DER is the encoding's, not the order of signing.
  ASSERT_EQ(info.signers.size(), 3u);
  std::multiset<std::string> seen;
  for (const kxcms::SignerInfo& s : info.signers) {
    seen.insert(Cn(s.certificate.get()) + "/" + s.digestName);
    if (s.digestName == "SHA1") {
      EXPECT_EQ(s.attributes.size(), 2u);  // our document name and the signing time added for it
    }
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{"Alice Signer/SHA256", "Alice Signer/SHA1", "Carol Expired/SHA256"}));
  EXPECT_EQ(info.certificates.size(), 3u);  // the shared chain is carried once
  EXPECT_EQ(kxcms::Verify(third, &content, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE, Trust(), &info, &detail),
            CERT_E_EXPIRED);
  content[0] ^= 0x01;
  EXPECT_EQ(kxcms::Verify(third, &content, CAPICOM_VERIFY_SIGNATURE_ONLY, Trust(), &info, &detail),
            kxcms::CRYPT_E_HASH_VALUE);
}

TEST_F(SignedTest, ChainCheckOfTheCallerDecidesTheSignerCertificates) {
  kxcms::Bytes content = B(BinaryDoc()), sig;
  ASSERT_EQ(kxcms::Sign(content, Signer(), true, nullptr, &sig), S_OK);
  std::vector<std::string> asked;
  HRESULT answer = S_OK;
  kxcms::VerifyParams v;  // no trust store: only the caller's check can pass a chain
  v.chainCheck = [&](X509* cert, const std::vector<X509*>& untrusted, time_t at, const char* usage,
                     std::vector<kxcms::X509Ref>* chain, std::string*) {
    asked.push_back(Cn(cert));
    EXPECT_EQ(untrusted.size(), 2u);  // what the message carries
    EXPECT_NEAR(static_cast<double>(at), static_cast<double>(time(nullptr)), 300.0);
    EXPECT_EQ(usage, nullptr);
    chain->push_back(kxcms::Ref(cert));
    return answer;
  };
  kxcms::MessageInfo info;
  EXPECT_EQ(kxcms::Verify(sig, &content, CAPICOM_VERIFY_SIGNATURE_ONLY, v, &info), S_OK);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(kxcms::Verify(sig, &content, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE, v, &info), S_OK);
  EXPECT_EQ(info.signers[0].chain.size(), 1u);
  answer = kxsc::CERT_E_REVOKED;
  EXPECT_EQ(kxcms::Verify(sig, &content, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE, v, &info), answer);
  EXPECT_EQ(asked, (std::vector<std::string>{"Alice Signer", "Alice Signer"}));
  // Without trust anchors the built-in check finds no root for the chain.
  EXPECT_EQ(kxcms::Verify(sig, &content, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE, kxcms::VerifyParams(), &info),
            CERT_E_CHAINING);
}

TEST_F(SignedTest, BadInputGivesClearCodes) {
  const kxcms::Bytes content = B("content");
  kxcms::Bytes sig;
  std::string detail;
  auto sign = [&](kxcms::SignerParams p, const kxcms::Bytes& c = {'x'}) {
    return kxcms::Sign(c, p, true, nullptr, &sig, &detail);
  };
  kxcms::SignerParams p = Signer();
  EXPECT_EQ(sign(p, {}), CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED);
  p.certificate = nullptr;
  EXPECT_EQ(sign(p), CAPICOM_E_SIGNER_NOT_INITIALIZED);
  p = Signer();
  p.privateKey = nullptr;
  EXPECT_EQ(sign(p), CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY);
  kxcms::PKeyRef otherKey = LoadKey("encrypt");
  p.privateKey = otherKey.get();
  EXPECT_EQ(sign(p), CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY);
  p = Signer();
  p.includeOption = 3;
  EXPECT_EQ(sign(p), E_INVALIDARG);
  p = Signer();
  p.attributes = {{7, 0, u""}};
  EXPECT_EQ(sign(p), CAPICOM_E_ATTRIBUTE_INVALID_NAME);
  p.attributes = {{CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME, 1, u""}, {CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME, 2, u""}};
  EXPECT_EQ(sign(p), CAPICOM_E_ATTRIBUTE_INVALID_NAME);
  p = Signer();
  p.digest = "NOSUCH";
  EXPECT_EQ(sign(p), E_INVALIDARG);
  EXPECT_TRUE(sig.empty());

  kxcms::MessageInfo info;
  kxcms::VerifyParams v = Trust();
  EXPECT_EQ(kxcms::Verify({}, &content, 0, v, &info), CRYPT_E_ASN1_BADTAG);
  EXPECT_EQ(kxcms::Verify(B("not a message at all"), &content, 0, v, &info), CRYPT_E_ASN1_BADTAG);
  ASSERT_EQ(kxcms::Sign(content, Signer(), true, nullptr, &sig), S_OK);
  EXPECT_EQ(kxcms::Verify(sig, &content, 2, v, &info), E_INVALIDARG);
  kxcms::Bytes trailing = sig;
  trailing.push_back(0);
  EXPECT_EQ(kxcms::Verify(trailing, &content, 0, v, &info), CRYPT_E_ASN1_BADTAG);
  kxcms::Bytes truncated(sig.begin(), sig.end() - 10);
  EXPECT_EQ(kxcms::Verify(truncated, &content, 0, v, &info), CRYPT_E_ASN1_BADTAG);
  kxcms::Bytes envelope;
  ASSERT_EQ(kxcms::Envelope(content, {cert_.get()}, CAPICOM_ENCRYPTION_ALGORITHM_AES, 0, nullptr, &envelope), S_OK);
  EXPECT_EQ(kxcms::Verify(envelope, &content, 0, v, &info), CAPICOM_E_SIGNED_DATA_INVALID_TYPE);
  EXPECT_EQ(kxcms::Decode(envelope, &info), CAPICOM_E_SIGNED_DATA_INVALID_TYPE);

  // A message that carries no certificate: its signer is found only among the extra certificates.
  kxcms::Bytes bare = OpensslSign("content", "-nocerts");
  EXPECT_EQ(kxcms::Verify(bare, &content, 0, v, &info), CAPICOM_E_SIGNER_NOT_FOUND);
  ASSERT_EQ(info.signers.size(), 1u);
  EXPECT_FALSE(info.signers[0].certificate);
  v.extraCertificates = {cert_.get()};
  EXPECT_EQ(kxcms::Verify(bare, &content, 0, v, &info), S_OK);
  EXPECT_EQ(Cn(info.signers[0].certificate.get()), "Alice Signer");
}

// A detached signature whose message names a digest algorithm not known here is refused before the signature
// check, which leaked its copy of the content at every call; a signature algorithm named in the digest's place,
// which the verifier reads as its digest, still verifies.
TEST_F(SignedTest, UnknownDigestAlgorithmIsRefusedUpFront) {
  const kxcms::Bytes content = B("content");
  kxcms::Bytes sig;
  ASSERT_EQ(kxcms::Sign(content, Signer(), true, nullptr, &sig), S_OK);
  const kxcms::Bytes sha256 = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
  // The first is the signed data's list of digest algorithms, the second the signer's own.
  auto replaceFirst = [&](std::vector<uint8_t> by) {
    kxcms::Bytes out = sig;
    auto at = std::search(out.begin(), out.end(), sha256.begin(), sha256.end());
    EXPECT_NE(at, out.end());
    if (at != out.end()) std::copy(by.begin(), by.end(), at);
    return out;
  };
  const kxcms::Bytes unknown = replaceFirst({0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x63});
  const kxcms::Bytes rsaKey = replaceFirst({0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01});
  const kxcms::Bytes alias = replaceFirst({0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B});
  kxcms::MessageInfo info;
  std::string detail;
  const kxcms::VerifyParams v = Trust();
  EXPECT_EQ(kxcms::Verify(unknown, &content, 0, v, &info, &detail), kxcms::CRYPT_E_UNKNOWN_ALGO) << detail;
  EXPECT_EQ(kxcms::Verify(rsaKey, &content, 0, v, &info, &detail), kxcms::CRYPT_E_UNKNOWN_ALGO) << detail;
  EXPECT_EQ(kxcms::Verify(alias, &content, 0, v, &info, &detail), S_OK) << detail;
  // The library's own caches fill on the first calls; what grows after them is kept per call.
  for (int i = 0; i < 1000; ++i) kxcms::Verify(unknown, &content, 0, v, &info);
  const size_t before = mallinfo2().uordblks;
  for (int i = 0; i < 500; ++i) kxcms::Verify(unknown, &content, 0, v, &info);
  EXPECT_LT(mallinfo2().uordblks, before + 16384);
}

}  // namespace
