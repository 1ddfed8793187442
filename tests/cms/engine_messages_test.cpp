// The message wrappers over the engine module, in the callers' sequences: signing with attributes, the
// strict policy's chain rule, verification, co-signing, content-key envelopes and both paths of the
// encrypted data wrapper, checked against the openssl command line.
#include <openssl/rand.h>

#include <gtest/gtest.h>

#include "core/SettingsStore.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomSignedData.h"
#include "engine/CapicomStore.h"
#include "platform/capicom/cms/codes.h"
#include "platform/win32/registry.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace {

using namespace std::string_literals;
using kxtest::pki::Key;
using kxtest::pki::Pem;

std::string Q(const std::string& s) { return "'" + s + "'"; }
CByteBuffer Buf(const std::string& s) { return CByteBuffer(static_cast<DWORD>(s.size()), s.data(), false); }
std::string Str(const CByteBuffer& b) {
  return b.GetLength() ? std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength()) : std::string();
}
std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) h += {d[c >> 4], d[c & 15]};
  return h;
}
std::string Random(size_t n) {
  std::string s(n, '\0');
  RAND_bytes(reinterpret_cast<unsigned char*>(s.data()), static_cast<int>(n));
  s[1] = '\0';  // keys and content hold zero bytes now and then
  return s;
}
_bstr_t BinaryBstr(const CByteBuffer& b) { return _bstr_t(kx::engine::ToBinaryBstr(b), false); }

void SetConfig(const char* section, const char* name, DWORD value, const char* key = "Software\\Kesmora\\OfficeTolvex") {
  CSettingsStore(HKEY_CURRENT_USER, key).WriteInt(section, name, value);
}

class MessageWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    dir_ = kxtest::MakeTempDir("msg");
    doc_ = "report\0\xff body"s + Random(300);
  }
  void TearDown() override { CoUninitialize(); }

  // A certificate with its private key (from a PFX file), optionally placed in the user's "My" store.
  CCapicomCertificate WithKey(const std::string& name, bool intoMy = false) {
    std::string pfx = kxtest::pki::MakePfx(name, "pw", false, dir_ + "/" + name + ".pfx");
    CCapicomCertificate c;
    EXPECT_EQ(c.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
    if (intoMy) {
      CCapicomStore my;
      EXPECT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
      EXPECT_EQ(my.Add(c), S_OK);
    }
    return c;
  }
  static CCapicomCertificate Plain(const std::string& name) {
    CCapicomCertificate c;
    std::string der = kxtest::pki::DerBytes(name);
    EXPECT_EQ(c.ImportFromBuffer(Buf(der)), S_OK);
    return c;
  }
  // The fixture's root and intermediate in the user's "Root" and "CA" stores.
  static void TrustFixture() {
    for (auto [store, name] : {std::pair{"Root", "root"}, std::pair{"CA", "inter"}}) {
      CCapicomStore s;
      ASSERT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
      ASSERT_EQ(s.Add(Plain(name)), S_OK);
    }
  }

  std::string File(const std::string& name, const std::string& bytes) {
    kxtest::WriteFile(dir_ + "/" + name, bytes);
    return dir_ + "/" + name;
  }
  static int Openssl(const std::string& args, std::string* out) { return kxtest::Run("openssl " + args + " 2>&1", out); }

  // The signing sequence of the workers: signing time, then the same attribute wrapper as the document name.
  CCapicomSigner Signer(const CCapicomCertificate& cert, const char* documentName, const CDateTime& when) {
    CCapicomSigner signer;
    signer.PutCertificate(cert);
    CCapicomAttributes attributes = signer.GetAuthenticatedAttributes();
    CCapicomAttribute attribute;
    attribute.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
    attribute.PutValueDate(when);
    EXPECT_EQ(attributes.Add(attribute), S_OK);
    attribute.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
    attribute.PutValueString(documentName);
    EXPECT_EQ(attributes.Add(attribute), S_OK);
    return signer;
  }

  std::string dir_, doc_;
};

TEST_F(MessageWrapperTest, DetachedSignatureWithAttributesVerifiesHereAndWithOpenssl) {
  TrustFixture();
  const CDateTime when(static_cast<time_t>(1700000000));
  CCapicomSigner signer = Signer(WithKey("signer"), "/out/report.doc.Tvx", when);
  CCapicomSignedData sd;
  sd.PutContentFromBuffer(Buf(doc_));
  CByteBuffer sig;
  HRESULT hr = S_OK;
  CBstrString text;
  ASSERT_TRUE(sd.SignToBuffer(signer, true, CAPICOM_ENCODE_BINARY, sig, hr, text)) << text.GetAnsi();

  std::string out;
  std::string sigFile = File("sig.p7s", Str(sig));
  EXPECT_EQ(Openssl("cms -verify -binary -inform DER -in " + Q(sigFile) + " -content " + Q(File("doc", doc_)) +
                        " -CAfile " + Q(Pem("root")) + " -out /dev/null",
                    &out),
            0)
      << out;
  ASSERT_EQ(Openssl("cms -cmsout -print -inform DER -in " + Q(sigFile), &out), 0);
  EXPECT_NE(out.find("UTCTIME:Nov 14 22:13:20 2023 GMT"), std::string::npos) << out;

  // Verification the way the open-and-verify path does it: content first, then the stored signature.
  CCapicomSignedData check;
  check.PutContentFromBuffer(Buf(doc_));
  EXPECT_EQ(check.Verify(sig, true, CAPICOM_VERIFY_SIGNATURE_ONLY), S_OK);
  EXPECT_EQ(check.Verify(sig, true, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE), S_OK);
  CCapicomSigners signers = check.GetSigners();
  ASSERT_EQ(signers.GetCount(), 1);
  CCapicomSigner found = signers.GetItem(1);
  EXPECT_STREQ(found.GetCertificate().GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi(), "Alice Signer");
  EXPECT_EQ(found.GetChain().GetCertificates().GetCount(), 3);
  EXPECT_EQ(check.GetCertificates().GetCount(), 2);  // without the root, the default include option
  CCapicomAttributes attrs = found.GetAuthenticatedAttributes();
  ASSERT_EQ(attrs.GetCount(), 2);
  for (LONG i = 1; i <= 2; ++i) {
    CCapicomAttribute a = attrs.GetItem(i);
    if (a.GetName() == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME) {
      CDateTime d;
      ASSERT_TRUE(a.GetValueDate(d));
      EXPECT_NEAR(d.GetDate(), when.GetDate(), 1e-6);
    } else {
      CBstrString s;
      ASSERT_TRUE(a.GetValueString(s));
      EXPECT_STREQ(s.GetAnsi(), "/out/report.doc.Tvx");
    }
  }

  // One changed content byte, and content that was never put.
  std::string changed = doc_;
  changed[0] ^= 1;
  CCapicomSignedData bad;
  bad.PutContentFromBuffer(Buf(changed));
  EXPECT_EQ(bad.Verify(sig, true, CAPICOM_VERIFY_SIGNATURE_ONLY), kxcms::CRYPT_E_HASH_VALUE);
  EXPECT_EQ(CCapicomSignedData().Verify(sig, true, CAPICOM_VERIFY_SIGNATURE_ONLY), CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED);
  EXPECT_EQ(CCapicomSignedData(kx::engine::kEmpty).Verify(sig, true, 0), E_FAIL);
}

TEST_F(MessageWrapperTest, StrictPolicyCarriesTheWholeChain) {
  TrustFixture();
  CCapicomCertificate cert = WithKey("signer");
  struct Case {
    DWORD strict;
    LONG optionBefore;
    LONG certificates;
  };
  // Strict: whole chain whatever was set; otherwise the signer's own option stands.
  for (const Case& c : {Case{1, CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY, 3}, Case{0, 0, 2},
                        Case{0, CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY, 1}}) {
    SCOPED_TRACE(c.strict);
    SetConfig("Config", "DoD_JICT", c.strict);
    CCapicomSigner signer;
    signer.PutOptions(c.optionBefore);
    signer.PutCertificate(cert);
    EXPECT_EQ(signer.GetOptions(), c.strict ? CAPICOM_CERTIFICATE_INCLUDE_WHOLE_CHAIN : c.optionBefore);
    CCapicomSignedData sd;
    sd.PutContentFromBuffer(Buf(doc_));
    CByteBuffer sig;
    HRESULT hr = S_OK;
    CBstrString text;
    ASSERT_TRUE(sd.SignToBuffer(signer, true, CAPICOM_ENCODE_BINARY, sig, hr, text)) << text.GetAnsi();
    EXPECT_EQ(sd.GetCertificates().GetCount(), c.certificates);
  }
  // An empty signer still reads the setting and does nothing else.
  CCapicomSigner(kx::engine::kEmpty).PutCertificate(cert);
}

TEST_F(MessageWrapperTest, SigningFailuresComeBackThroughTheArguments) {
  CCapicomSignedData sd;
  sd.PutContentFromBuffer(Buf(doc_));
  CByteBuffer sig;
  HRESULT hr = S_OK;
  CBstrString text;
  EXPECT_FALSE(sd.SignToBuffer(CCapicomSigner(kx::engine::kEmpty), true, 1, sig, hr, text));
  EXPECT_EQ(hr, S_OK);  // untouched
  EXPECT_TRUE(text.IsEmpty());
  CCapicomSigner keyless;
  keyless.PutCertificate(Plain("signer"));
  EXPECT_FALSE(sd.SignToBuffer(keyless, true, 1, sig, hr, text));
  EXPECT_EQ(hr, CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY);
  EXPECT_FALSE(text.IsEmpty());
  EXPECT_EQ(sig.GetLength(), 0u);
  // Other calls raise the engine's failure with its code.
  try {
    sd.CoSign(keyless, 1, sig);
    ADD_FAILURE() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY);
  }
}

TEST_F(MessageWrapperTest, OpensslSignaturesVerifyAndCoSignAddsASigner) {
  TrustFixture();
  std::string out, their = dir_ + "/their.p7s";
  ASSERT_EQ(Openssl("cms -sign -binary -nodetach -outform DER -in " + Q(File("doc", doc_)) + " -signer " +
                        Q(Pem("signer")) + " -inkey " + Q(Key("signer")) + " -out " + Q(their),
                    &out),
            0)
      << out;
  CCapicomSignedData sd;
  EXPECT_EQ(sd.Verify(Buf(kxtest::ReadFile(their)), false, CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE), S_OK);
  CByteBuffer content;
  ASSERT_TRUE(sd.GetContentToBuffer(content));
  EXPECT_EQ(Str(content), doc_);

  CByteBuffer cosigned;
  ASSERT_TRUE(sd.CoSign(Signer(WithKey("signer"), "second", CDateTime::GetCurrentTime()), CAPICOM_ENCODE_BINARY, cosigned));
  EXPECT_EQ(sd.GetSigners().GetCount(), 2);
  ASSERT_EQ(Openssl("cms -verify -binary -inform DER -in " + Q(File("co.p7s", Str(cosigned))) + " -CAfile " +
                        Q(Pem("root")) + " -certfile " + Q(Pem("inter")) + " -out " + Q(dir_ + "/plain"),
                    &out),
            0)
      << out;
  EXPECT_EQ(kxtest::ReadFile(dir_ + "/plain"), doc_);
}

TEST_F(MessageWrapperTest, ContentKeyEnvelopesOpenWithOpensslAndWithTheRecipientsKey) {
  const std::string key = Random(24);
  struct Case {
    LONG name, keyLength;
    const char* written;
  };
  // The callers ask for DES at 56 bits: it is written as triple DES; a triple DES or AES choice is kept.
  for (const Case& c : {Case{CAPICOM_ENCRYPTION_ALGORITHM_DES, CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS, "des-ede3-cbc"},
                        Case{CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, "aes-256-cbc"}}) {
    SCOPED_TRACE(c.written);
    CCapicomEnvelopedData env;
    CCapicomAlgorithm algorithm = env.GetAlgorithm();
    algorithm.PutName(c.name);
    algorithm.PutKeyLength(c.keyLength);
    CCapicomRecipients recipients = env.GetRecipients();
    EXPECT_EQ(recipients.Clear(), S_OK);
    EXPECT_EQ(recipients.Add(Plain("encrypt")), S_OK);
    EXPECT_EQ(recipients.GetCount(), 1);
    env.PutContentFromBuffer(Buf(key));
    env.PutContentFromBuffer(CByteBuffer());  // an empty buffer changes nothing
    CByteBuffer message;
    ASSERT_TRUE(env.EncryptToBuffer(CAPICOM_ENCODE_BINARY, message, true));

    std::string out, in = File("env.p7m", Str(message));
    ASSERT_EQ(Openssl("cms -cmsout -print -inform DER -in " + Q(in), &out), 0);
    EXPECT_NE(out.find(std::string("algorithm: ") + c.written), std::string::npos) << out;
    ASSERT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(in) + " -recip " + Q(Pem("encrypt")) + " -inkey " +
                          Q(Key("encrypt")) + " -out " + Q(dir_ + "/key"),
                      &out),
              0)
        << out;
    EXPECT_EQ(kxtest::ReadFile(dir_ + "/key"), key);
  }

  // Opening: without the recipient's key in "My" a clear negative result, with it the content key.
  std::string out, their = dir_ + "/their.p7m";
  ASSERT_EQ(Openssl("cms -encrypt -binary -outform DER -des -provider legacy -provider default -in " +
                        Q(File("k", key)) + " -out " + Q(their) + " " + Q(Pem("encrypt")),
                    &out),
            0)
      << out;
  CByteBuffer stored = Buf(kxtest::ReadFile(their)), opened;
  CCapicomEnvelopedData reader;
  EXPECT_EQ(reader.Decrypt(BinaryBstr(stored)), CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND);
  EXPECT_FALSE(reader.GetContentToBuffer(opened));
  WithKey("encrypt", true);
  ASSERT_EQ(reader.Decrypt(BinaryBstr(stored)), S_OK);
  ASSERT_TRUE(reader.GetContentToBuffer(opened));
  EXPECT_EQ(Str(opened), key);
  EXPECT_EQ(reader.GetAlgorithm().GetName(), CAPICOM_ENCRYPTION_ALGORITHM_DES);
  EXPECT_EQ(CCapicomEnvelopedData(kx::engine::kEmpty).Decrypt(BinaryBstr(stored)), E_FAIL);
}

TEST_F(MessageWrapperTest, VersionOneEncryptedDataIsStandardPasswordCms) {
  CCapicomEncryptedData enc;  // no format settings yet: the defaults are written back
  std::string stored;
  ASSERT_TRUE(CSettingsStore(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex")
                  .ReadString("Vorlind Intelligence", "TVX_DefParameters", stored, ""));
  EXPECT_EQ(stored, "AES256");
  DWORD version = 0;
  ASSERT_TRUE(CSettingsStore(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex")
                  .ReadInt("Vorlind Intelligence", "TVX_FormatVersion", &version, 0));
  EXPECT_EQ(version, 1u);
  EXPECT_EQ(enc.GetFormatVersion(), 1);

  const std::string secret = "a text secret";
  enc.SetCipherParameters(CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  enc.GetAlgorithm().PutName(CAPICOM_ENCRYPTION_ALGORITHM_AES);
  enc.GetAlgorithm().PutKeyLength(CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  ASSERT_EQ(enc.SetSecretFromBuffer(Buf(secret), CAPICOM_SECRET_PASSWORD), S_OK);
  enc.PutContentFromBuffer(Buf(doc_));
  CByteBuffer message;
  ASSERT_TRUE(enc.EncryptToBuffer(CAPICOM_ENCODE_BINARY, message));
  std::string out;
  ASSERT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(File("v1.p7m", Str(message))) + " -pwri_password " +
                        Q(secret) + " -out " + Q(dir_ + "/plain"),
                    &out),
            0)
      << out;
  EXPECT_EQ(kxtest::ReadFile(dir_ + "/plain"), doc_);

  CCapicomEncryptedData reader;
  ASSERT_EQ(reader.SetSecretFromBuffer(Buf(secret), CAPICOM_SECRET_PASSWORD), S_OK);
  ASSERT_EQ(reader.Decrypt(BinaryBstr(message), 1), S_OK);
  CByteBuffer plain;
  ASSERT_TRUE(reader.GetContentToBuffer(plain));
  EXPECT_EQ(Str(plain), doc_);
  ASSERT_EQ(reader.SetSecretFromBuffer(Buf("wrong"), CAPICOM_SECRET_PASSWORD), S_OK);
  EXPECT_EQ(reader.Decrypt(BinaryBstr(message), 1), kxcms::NTE_BAD_DATA);
}

// The workers' sequence: the chunks of one file, each a message of its own, written one after another by one
// wrapper and opened by another into one buffer. A message openssl streamed (indefinite lengths) and base64
// text open too.
TEST_F(MessageWrapperTest, ChunksOfAFileOpenOneAfterAnotherIntoOneBuffer) {
  const std::string secret = "chunk secret";
  const std::string chunks[] = {Random(5000), Random(5000), Random(70)};
  CCapicomEncryptedData enc;
  ASSERT_EQ(enc.GetFormatVersion(), 1);
  enc.GetAlgorithm().PutName(CAPICOM_ENCRYPTION_ALGORITHM_AES);
  enc.GetAlgorithm().PutKeyLength(CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  ASSERT_EQ(enc.SetSecretFromBuffer(Buf(secret), CAPICOM_SECRET_PASSWORD), S_OK);
  struct Chunk {
    CByteBuffer message;
    std::string content;
    LONG algorithm;
  };
  // Written as the encrypt worker writes them: one wrapper, one buffer for every chunk's message.
  std::vector<Chunk> file;
  CByteBuffer message;
  for (const std::string& c : chunks) {
    enc.PutContentFromBuffer(Buf(c));
    ASSERT_TRUE(enc.EncryptToBuffer(CAPICOM_ENCODE_BINARY, message));
    file.push_back({message, c, CAPICOM_ENCRYPTION_ALGORITHM_AES});
  }
  std::string out;
  ASSERT_EQ(Openssl("cms -encrypt -binary -stream -des3 -outform DER -pwri_password " + Q(secret) + " -in " +
                        Q(File("c0", chunks[0])) + " -out " + Q(dir_ + "/streamed"),
                    &out),
            0)
      << out;
  const std::string streamed = kxtest::ReadFile(dir_ + "/streamed");
  ASSERT_EQ(static_cast<unsigned char>(streamed[1]), 0x80u) << "not an indefinite length";
  file.push_back({Buf(streamed), chunks[0], CAPICOM_ENCRYPTION_ALGORITHM_3DES});
  file.push_back(file[1]);

  CCapicomEncryptedData reader;
  ASSERT_EQ(reader.SetSecretFromBuffer(Buf(secret), CAPICOM_SECRET_PASSWORD), S_OK);
  CByteBuffer plain(0, true);
  for (size_t i = 0; i < file.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(reader.Decrypt(file[i].message, 1), S_OK);
    ASSERT_TRUE(reader.GetContentToBuffer(plain));
    EXPECT_EQ(Str(plain), file[i].content);
    EXPECT_EQ(reader.GetAlgorithm().GetName(), file[i].algorithm);
  }
  // A cut message fails and leaves the last content; the next chunk opens as before.
  CByteBuffer cut(file[0].message.GetLength() - 5, file[0].message.GetData(), false);
  EXPECT_EQ(reader.Decrypt(cut, 1), CRYPT_E_ASN1_BADTAG);
  ASSERT_TRUE(reader.GetContentToBuffer(plain));
  EXPECT_EQ(Str(plain), chunks[1]);
  ASSERT_EQ(reader.Decrypt(file[2].message, 1), S_OK);
  ASSERT_TRUE(reader.GetContentToBuffer(plain));
  EXPECT_EQ(Str(plain), chunks[2]);
  enc.PutContentFromBuffer(Buf(chunks[0]));
  CBstrString text = enc.Encrypt(CAPICOM_ENCODE_BASE64);
  ASSERT_EQ(reader.Decrypt(text.GetBSTR(), 1), S_OK);
  ASSERT_TRUE(reader.GetContentToBuffer(plain));
  EXPECT_EQ(Str(plain), chunks[0]);

  // The own cipher path (version 2) in the same sequence, chunks completed to whole blocks.
  SetConfig("Vorlind Intelligence", "TVX_FormatVersion", 2);
  CCapicomEncryptedData own;
  own.SetCipherParameters(CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS);
  ASSERT_EQ(own.SetSecretFromBuffer(Buf(Random(24)), CAPICOM_SECRET_PASSWORD), S_OK);
  for (const std::string& c : {chunks[0], chunks[1], chunks[2], chunks[0]}) {
    own.PutContentFromBuffer(Buf(c));
    ASSERT_TRUE(own.EncryptToBuffer(CAPICOM_ENCODE_BINARY, message));
    ASSERT_EQ(own.Decrypt(message, 2), S_OK);
    ASSERT_TRUE(own.GetContentToBuffer(plain));
    EXPECT_EQ(Str(plain), c + std::string(message.GetLength() - c.size(), '\0'));
  }
}

TEST_F(MessageWrapperTest, VersionTwoOwnCipherPathMatchesOpensslEcb) {
  SetConfig("Vorlind Intelligence", "TVX_FormatVersion", 2);
  const std::string secret = Random(32), content = Random(40);
  struct Case {
    LONG name, keyLength;
    const char* opensslCipher;
    size_t keyBytes;
  };
  for (const Case& c : {Case{CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, "aes-256-ecb", 32},
                        Case{CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "des-ede-ecb", 16},
                        Case{CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS, "des-ede3-ecb", 24}}) {
    SCOPED_TRACE(c.opensslCipher);
    CCapicomEncryptedData enc;
    ASSERT_EQ(enc.GetFormatVersion(), 2);
    enc.SetCipherParameters(c.name, c.keyLength);
    enc.SetSecretFromBuffer(Buf(secret), CAPICOM_SECRET_PASSWORD);
    enc.PutContentFromBuffer(Buf(content));
    CByteBuffer cipher;
    ASSERT_TRUE(enc.EncryptToBuffer(CAPICOM_ENCODE_BINARY, cipher));
    EXPECT_EQ(cipher.GetLength(), c.name == CAPICOM_ENCRYPTION_ALGORITHM_AES ? 48u : 40u);
    // The same bytes from openssl: ECB without padding over the content completed with zero bytes.
    std::string padded = content + std::string(cipher.GetLength() - content.size(), '\0'), out;
    ASSERT_EQ(Openssl("enc -" + std::string(c.opensslCipher) + " -nopad -K " + Hex(secret.substr(0, c.keyBytes)) +
                          " -in " + Q(File("padded", padded)) + " -out " + Q(dir_ + "/theirs"),
                      &out),
              0)
        << out;
    EXPECT_EQ(kxtest::ReadFile(dir_ + "/theirs"), Str(cipher));

    // Any wrapper reads it back with the secret, whatever its own version.
    SetConfig("Vorlind Intelligence", "TVX_FormatVersion", 1);
    CCapicomEncryptedData reader;
    SetConfig("Vorlind Intelligence", "TVX_FormatVersion", 2);
    reader.SetCipherParameters(c.name, c.keyLength);
    reader.SetSecretFromBuffer(Buf(secret), CAPICOM_SECRET_PASSWORD);
    ASSERT_EQ(reader.Decrypt(BinaryBstr(cipher), 2), S_OK);
    CByteBuffer plain;
    ASSERT_TRUE(reader.GetContentToBuffer(plain));
    EXPECT_EQ(Str(plain), padded);
  }

  // A 24-byte content key is too short for AES at 256 bits: a clean failure, and the length it needs.
  CCapicomEncryptedData enc;
  enc.SetCipherParameters(CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  EXPECT_EQ(enc.GetSecretLength(), 32u);
  enc.SetSecretFromBuffer(Buf(secret.substr(0, 24)), CAPICOM_SECRET_PASSWORD);
  enc.PutContentFromBuffer(Buf(content));
  CByteBuffer cipher;
  EXPECT_FALSE(enc.EncryptToBuffer(CAPICOM_ENCODE_BINARY, cipher));
  EXPECT_EQ(enc.Decrypt(BinaryBstr(Buf(Random(48))), 2), E_FAIL);
  for (LONG keyLength : {CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM, CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS,
                         CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS}) {
    enc.SetCipherParameters(CAPICOM_ENCRYPTION_ALGORITHM_3DES, keyLength);
    EXPECT_EQ(enc.GetSecretLength(), 24u);
    EXPECT_FALSE(enc.EncryptToBuffer(CAPICOM_ENCODE_BINARY, cipher));
  }
}

TEST(DeriveKeyFromBlock, IsPbkdf2OverTheBlocksPartsAndRefusesShortInput) {
  const std::string block = Random(30);
  CByteBuffer key;
  EXPECT_FALSE(CCapicomEncryptedData::DeriveKeyFromBlock(Buf(block.substr(0, 29)), key));
  EXPECT_EQ(key.GetLength(), 0u);
  ASSERT_TRUE(CCapicomEncryptedData::DeriveKeyFromBlock(Buf(block), key));
  std::string out;
  ASSERT_EQ(kxtest::Run("openssl kdf -keylen 256 -kdfopt digest:SHA1 -kdfopt hexpass:" + Hex(block.substr(20, 10)) +
                            " -kdfopt hexsalt:" + Hex(block.substr(0, 20)) + " -kdfopt iter:1000 PBKDF2 2>&1",
                        &out),
            0)
      << out;
  std::string ours;
  for (char c : Hex(Str(key))) ours += static_cast<char>(toupper(c));
  std::string theirs;
  for (char c : out)
    if (isxdigit(static_cast<unsigned char>(c))) theirs += static_cast<char>(toupper(c));
  EXPECT_EQ(theirs, ours);
}

}  // namespace
