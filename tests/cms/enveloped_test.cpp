// Enveloped data for certificates and password-encrypted data: ours opened by openssl, openssl's opened by
// ours, the writer's cipher choice, and the failures.
#include <openssl/cms.h>
#include <openssl/rand.h>

#include "fixture.h"

namespace {

using namespace cmstest;
using kxtest::pki::Pem;
using kxtest::pki::Key;

class EnvelopedTest : public CmsTest {
 protected:
  void SetUp() override {
    CmsTest::SetUp();
    bob_ = LoadCert("encrypt");
    bobKey_ = LoadKey("encrypt");
    alice_ = LoadCert("signer");
    aliceKey_ = LoadKey("signer");
  }

  // A key lookup that knows the given certificates and keys, and counts what it was asked.
  kxcms::KeyLookup Keys(std::vector<std::pair<X509*, EVP_PKEY*>> known) {
    return [this, known](const kxcms::Recipient& who, kxcms::X509Ref* cert, kxcms::PKeyRef* key) {
      ++asked_;
      for (auto [c, k] : known) {
        if (!who.Matches(c)) continue;
        *cert = kxcms::Ref(c);
        EVP_PKEY_up_ref(k);
        key->reset(k);
        return true;
      }
      return false;
    };
  }

  static kxcms::Bytes RandomKey() {
    kxcms::Bytes key(24);
    RAND_bytes(key.data(), 24);
    key[3] = 0;  // content keys hold zero bytes now and then
    return key;
  }

  kxcms::X509Ref bob_, alice_;
  kxcms::PKeyRef bobKey_, aliceKey_;
  int asked_ = 0;
};

TEST(CipherChoice, WritersUseTripleDesOrAes) {
  struct Case {
    int algorithm, keyLength;
    const char* cipher;
  };
  const Case cases[] = {
      {CAPICOM_ENCRYPTION_ALGORITHM_DES, CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS, "DES-EDE3-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_RC2, CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS, "DES-EDE3-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_RC4, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "DES-EDE3-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "DES-EDE3-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM, "DES-EDE3-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS, "AES-128-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "AES-128-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS, "AES-192-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, "AES-256-CBC"},
      {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM, "AES-256-CBC"},
  };
  for (const Case& c : cases) {
    std::string name;
    EXPECT_EQ(kxcms::WriterCipher(c.algorithm, c.keyLength, &name), S_OK);
    EXPECT_EQ(name, c.cipher) << c.algorithm << "/" << c.keyLength;
  }
  std::string name;
  EXPECT_EQ(kxcms::WriterCipher(5, 0, &name), CAPICOM_E_ALGORITHM_INVALID_NAME);
  EXPECT_EQ(kxcms::WriterCipher(-1, 0, &name), CAPICOM_E_ALGORITHM_INVALID_NAME);
  EXPECT_EQ(kxcms::WriterCipher(4, 6, &name), CAPICOM_E_ALGORITHM_INVALID_KEY_LENGTH);
  EXPECT_TRUE(name.empty());
}

TEST_F(EnvelopedTest, OurEnvelopesOpenWithOpensslAndOurs) {
  struct Case {
    int algorithm, keyLength;
    const char* written;
  };
  // DES at 56 bits is what the callers ask for: it is written as triple DES.
  const Case cases[] = {{CAPICOM_ENCRYPTION_ALGORITHM_DES, CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS, "des-ede3-cbc"},
                        {CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS, "des-ede3-cbc"},
                        {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "aes-128-cbc"},
                        {CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, "aes-256-cbc"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    const kxcms::Bytes secret = RandomKey();
    kxcms::Bytes env;
    std::string detail;
    ASSERT_EQ(kxcms::Envelope(secret, {bob_.get(), alice_.get()}, c.algorithm, c.keyLength, nullptr, &env, &detail),
              S_OK)
        << detail;
    std::string in = File("env.p7m", env), out;
    ASSERT_EQ(Openssl("cms -cmsout -print -inform DER -in " + Q(in), &out), 0) << out;
    EXPECT_NE(out.find("algorithm: " + std::string(c.written)), std::string::npos) << out;
    // Each recipient opens it with openssl.
    for (const char* who : {"encrypt", "signer"}) {
      std::string plain = dir_ + "/plain-" + who;
      ASSERT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(in) + " -recip " + Q(Pem(who)) + " -inkey " +
                            Q(Key(who)) + " -out " + Q(plain),
                        &out),
                0)
          << out;
      EXPECT_EQ(kxtest::ReadFile(plain), S(secret));
    }
    kxcms::Bytes opened;
    kxcms::CipherInfo cipher;
    ASSERT_EQ(kxcms::OpenEnvelope(env, Keys({{alice_.get(), aliceKey_.get()}}), nullptr, &opened, &cipher, &detail),
              S_OK)
        << detail;
    EXPECT_EQ(opened, secret);
    std::string upper = c.written;
    for (char& ch : upper) ch = static_cast<char>(toupper(ch));
    EXPECT_EQ(cipher.name, upper);
  }
}

TEST_F(EnvelopedTest, OpensslEnvelopesOpenWithOursWhateverTheCipher) {
  struct Case {
    const char* option;
    bool legacy;
    int algorithm, keyLength;
  };
  const Case cases[] = {
      {"-des3", false, CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS},
      {"-aes256", false, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS},
      {"-des", true, CAPICOM_ENCRYPTION_ALGORITHM_DES, CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS},
      {"-rc2-40", true, CAPICOM_ENCRYPTION_ALGORITHM_RC2, CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS},
  };
  const std::string doc = BinaryDoc();
  const std::string in = File("doc", doc);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    std::string env = dir_ + "/their.p7m", out;
    ASSERT_EQ(Openssl("cms -encrypt -binary -outform DER -in " + Q(in) + " -out " + Q(env) + " " + c.option + " " +
                          (c.legacy ? "-provider legacy -provider default " : "") + Q(Pem("signer")) + " " +
                          Q(Pem("encrypt")),
                      &out),
              0)
        << out;
    kxcms::Bytes opened;
    kxcms::CipherInfo cipher;
    std::string detail;
    asked_ = 0;
    ASSERT_EQ(kxcms::OpenEnvelope(B(kxtest::ReadFile(env)), Keys({{bob_.get(), bobKey_.get()}}), LegacyCtx(), &opened,
                                  &cipher, &detail),
              S_OK)
        << detail;
    EXPECT_EQ(S(opened), doc);
    EXPECT_GE(asked_, 1);
    EXPECT_EQ(cipher.algorithm, c.algorithm);
    EXPECT_EQ(cipher.keyLength, c.keyLength);
    if (c.legacy) {  // without the legacy provider these are refused, not misread
      EXPECT_EQ(kxcms::OpenEnvelope(B(kxtest::ReadFile(env)), Keys({{bob_.get(), bobKey_.get()}}), nullptr, &opened,
                                    nullptr, &detail),
                kxcms::NTE_BAD_DATA);
      EXPECT_TRUE(opened.empty());
    }
  }
}

TEST_F(EnvelopedTest, NoUsableKeyIsAClearNegativeResult) {
  const kxcms::Bytes secret = RandomKey();
  kxcms::Bytes env, opened;
  ASSERT_EQ(kxcms::Envelope(secret, {bob_.get()}, CAPICOM_ENCRYPTION_ALGORITHM_AES, 0, nullptr, &env), S_OK);
  std::string detail;
  EXPECT_EQ(kxcms::OpenEnvelope(env, Keys({}), nullptr, &opened, nullptr, &detail),
            CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND);
  EXPECT_EQ(kxcms::OpenEnvelope(env, nullptr, nullptr, &opened), CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND);
  EXPECT_EQ(kxcms::OpenEnvelope(env, Keys({{alice_.get(), aliceKey_.get()}}), nullptr, &opened),
            CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND);
  // A lookup that hands over the wrong key for the recipient's certificate.
  EXPECT_EQ(kxcms::OpenEnvelope(env, Keys({{bob_.get(), aliceKey_.get()}}), nullptr, &opened, nullptr, &detail),
            kxcms::NTE_BAD_DATA);
  EXPECT_TRUE(opened.empty());

  EXPECT_EQ(kxcms::Envelope({}, {bob_.get()}, 4, 0, nullptr, &env), CAPICOM_E_ENVELOP_NOT_INITIALIZED);
  EXPECT_EQ(kxcms::Envelope(secret, {}, 4, 0, nullptr, &env), CAPICOM_E_ENVELOP_NO_RECIPIENT);
  EXPECT_EQ(kxcms::Envelope(secret, {bob_.get()}, 9, 0, nullptr, &env), CAPICOM_E_ALGORITHM_INVALID_NAME);
  EXPECT_TRUE(env.empty());
  EXPECT_EQ(kxcms::OpenEnvelope(B("garbage"), Keys({}), nullptr, &opened), CRYPT_E_ASN1_BADTAG);
  kxcms::Bytes pwri;
  ASSERT_EQ(kxcms::EncryptWithSecret(secret, B("pw"), 4, 0, nullptr, &pwri), S_OK);
  EXPECT_EQ(kxcms::OpenEnvelope(pwri, Keys({{bob_.get(), bobKey_.get()}}), nullptr, &opened),
            CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND);
}

TEST_F(EnvelopedTest, SecretEncryptionIsStandardBothWays) {
  const std::string doc = BinaryDoc();
  const std::string secret = "correct horse battery staple";
  for (int algorithm : {CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_ALGORITHM_AES}) {
    SCOPED_TRACE(algorithm);
    kxcms::Bytes message;
    std::string detail;
    ASSERT_EQ(kxcms::EncryptWithSecret(B(doc), B(secret), algorithm, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, nullptr,
                                       &message, &detail),
              S_OK)
        << detail;
    std::string plain = dir_ + "/plain", out;
    ASSERT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(File("enc.p7m", message)) + " -pwri_password " +
                          Q(secret) + " -out " + Q(plain),
                      &out),
              0)
        << out;
    EXPECT_EQ(kxtest::ReadFile(plain), doc);
    EXPECT_NE(Openssl("cms -decrypt -binary -inform DER -in " + Q(dir_ + "/enc.p7m") + " -pwri_password wrong -out " +
                          Q(plain),
                      &out),
              0);
  }

  // openssl's own password encryption opens with ours; a wrong secret does not.
  std::string env = dir_ + "/their.p7m", out;
  ASSERT_EQ(Openssl("cms -encrypt -binary -outform DER -aes256 -in " + Q(File("doc", doc)) + " -out " + Q(env) +
                        " -pwri_password " + Q(secret),
                    &out),
            0)
      << out;
  kxcms::Bytes opened;
  kxcms::CipherInfo cipher;
  std::string detail;
  ASSERT_EQ(kxcms::DecryptWithSecret(B(kxtest::ReadFile(env)), B(secret), nullptr, &opened, &cipher, &detail), S_OK)
      << detail;
  EXPECT_EQ(S(opened), doc);
  EXPECT_EQ(cipher.name, "AES-256-CBC");
  EXPECT_EQ(kxcms::DecryptWithSecret(B(kxtest::ReadFile(env)), B("correct horse battery stapler"), nullptr, &opened,
                                     nullptr, &detail),
            kxcms::NTE_BAD_DATA);
  EXPECT_TRUE(opened.empty());
  // A last block that does not end in its padding is refused, and nothing of it is handed out.
  kxcms::Bytes damaged = B(kxtest::ReadFile(env));
  damaged.back() ^= 0x5a;
  EXPECT_EQ(kxcms::DecryptWithSecret(damaged, B(secret), nullptr, &opened, nullptr, &detail), kxcms::NTE_BAD_DATA);
  EXPECT_TRUE(opened.empty());
  // Streamed by openssl: indefinite lengths and the content in pieces.
  ASSERT_EQ(Openssl("cms -encrypt -stream -binary -outform DER -des3 -in " + Q(dir_ + "/doc") + " -out " + Q(env) +
                        " -pwri_password " + Q(secret),
                    &out),
            0)
      << out;
  ASSERT_EQ(kxcms::DecryptWithSecret(B(kxtest::ReadFile(env)), B(secret), nullptr, &opened, &cipher, &detail), S_OK)
      << detail;
  EXPECT_EQ(S(opened), doc);
  EXPECT_EQ(cipher.name, "DES-EDE3-CBC");
}

// The message is laid out around the content's length: lengths on either side of each DER length size, into
// one vector kept from call to call (as a file's chunks go), each message strict DER that opens to its content.
TEST_F(EnvelopedTest, SecretEncryptionIsDerAtEveryLengthIntoOneKeptVector) {
  const kxcms::Bytes secret = RandomKey();
  kxcms::Bytes message, opened;
  for (size_t size : {1, 7, 8, 9, 60, 100, 110, 127, 128, 200, 255, 256, 1000, 65519, 65520, 65536, 70000}) {
    SCOPED_TRACE(size);
    kxcms::Bytes content(size);
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<uint8_t>(i * 7 + size);
    for (int algorithm : {CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_ALGORITHM_AES}) {
      ASSERT_EQ(kxcms::EncryptWithSecret(content, secret, algorithm, CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM, nullptr,
                                         &message),
                S_OK);
      // The library's own encoding of what it reads back is the same bytes: DER, nothing left over.
      const unsigned char* p = message.data();
      CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(message.size()));
      ASSERT_NE(cms, nullptr);
      EXPECT_EQ(p, message.data() + message.size());
      unsigned char* der = nullptr;
      const int n = i2d_CMS_ContentInfo(cms, &der);
      EXPECT_EQ(kxcms::Bytes(der, der + std::max(n, 0)), message);
      OPENSSL_free(der);
      CMS_ContentInfo_free(cms);
      ASSERT_EQ(kxcms::DecryptWithSecret(message, secret, nullptr, &opened), S_OK);
      EXPECT_EQ(opened, content);
    }
  }
  // openssl opens one with a four-byte length too.
  std::string out, plain = dir_ + "/plain";
  kxcms::Bytes large(16777216 + 5, 0x5a);
  ASSERT_EQ(kxcms::EncryptWithSecret(large, B("pw"), CAPICOM_ENCRYPTION_ALGORITHM_3DES, 0, nullptr, &message), S_OK);
  ASSERT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(File("large.p7m", message)) +
                        " -pwri_password pw -out " + Q(plain),
                    &out),
            0)
      << out;
  EXPECT_EQ(kxtest::ReadFile(plain), S(large));
}

TEST_F(EnvelopedTest, SecretEncryptionTakesBinarySecretsAndRefusesBadInput) {
  const kxcms::Bytes secret = RandomKey(), content = B(BinaryDoc());
  kxcms::Bytes message, opened;
  ASSERT_EQ(kxcms::EncryptWithSecret(content, secret, CAPICOM_ENCRYPTION_ALGORITHM_DES, 2, nullptr, &message), S_OK);
  kxcms::CipherInfo cipher;
  ASSERT_EQ(kxcms::DecryptWithSecret(message, secret, nullptr, &opened, &cipher), S_OK);
  EXPECT_EQ(opened, content);
  EXPECT_EQ(cipher.algorithm, CAPICOM_ENCRYPTION_ALGORITHM_3DES);

  kxcms::Bytes other = secret;
  other[0] ^= 1;
  EXPECT_EQ(kxcms::DecryptWithSecret(message, other, nullptr, &opened), kxcms::NTE_BAD_DATA);
  EXPECT_EQ(kxcms::DecryptWithSecret(message, {}, nullptr, &opened), CAPICOM_E_ENCRYPT_NO_SECRET);
  EXPECT_EQ(kxcms::EncryptWithSecret(content, {}, 4, 0, nullptr, &message), CAPICOM_E_ENCRYPT_NO_SECRET);
  EXPECT_EQ(kxcms::EncryptWithSecret({}, secret, 4, 0, nullptr, &message), CAPICOM_E_ENCRYPT_NOT_INITIALIZED);
  EXPECT_EQ(kxcms::EncryptWithSecret(content, secret, 4, 7, nullptr, &message), CAPICOM_E_ALGORITHM_INVALID_KEY_LENGTH);
  EXPECT_TRUE(message.empty());
  // An envelope for certificates is not password-encrypted data.
  kxcms::Bytes env;
  ASSERT_EQ(kxcms::Envelope(content, {bob_.get()}, 4, 0, nullptr, &env), S_OK);
  EXPECT_EQ(kxcms::DecryptWithSecret(env, secret, nullptr, &opened), CAPICOM_E_ENCRYPT_INVALID_TYPE);
  EXPECT_EQ(kxcms::DecryptWithSecret(B("junk"), secret, nullptr, &opened), CRYPT_E_ASN1_BADTAG);
  EXPECT_TRUE(opened.empty());
}

}  // namespace
