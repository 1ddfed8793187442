// The engine's certificate internals against the openssl command line, and its PFX and PKCS#7 forms.
#include <gtest/gtest.h>

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include "capicom/openssl_cli.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/certdata.h"
#include "platform/capicom/core/encoded.h"
#include "platform/capicom/core/keys.h"
#include "support/pki.h"
#include "support/testroot.h"

using namespace kx::capi;
namespace pki = kxtest::pki;

namespace {

CertRef Load(const std::string& name) {
  std::string der = pki::DerBytes(name);
  return CertData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
}

std::string KeyUsageText(uint32_t bits) {
  static const std::pair<uint32_t, const char*> names[] = {
      {KU_DIGITAL_SIGNATURE, "Digital Signature"}, {KU_NON_REPUDIATION, "Non Repudiation"},
      {KU_KEY_ENCIPHERMENT, "Key Encipherment"},   {KU_DATA_ENCIPHERMENT, "Data Encipherment"},
      {KU_KEY_AGREEMENT, "Key Agreement"},         {KU_KEY_CERT_SIGN, "Certificate Sign"},
      {KU_CRL_SIGN, "CRL Sign"},                   {KU_ENCIPHER_ONLY, "Encipher Only"},
      {KU_DECIPHER_ONLY, "Decipher Only"}};
  std::string s;
  for (auto& [bit, text] : names)
    if (bits & bit) s += (s.empty() ? "" : ", ") + std::string(text);
  return s;
}

std::string EkuText(const std::vector<std::string>& oids) {
  std::string s;
  for (const std::string& o : oids) s += (s.empty() ? "" : ", ") + std::string(OBJ_nid2ln(OBJ_txt2nid(o.c_str())));
  return s;
}

}  // namespace

// Every property of every fixture certificate agrees with "openssl x509".
TEST(CapicomCoreCert, PropertiesAgreeWithOpenssl) {
  for (const std::string& name : pki::Names()) {
    SCOPED_TRACE(name);
    CertRef c = Load(name);
    ASSERT_TRUE(c);
    kxtest::X509Facts f = kxtest::OpensslX509(pki::Pem(name));
    EXPECT_EQ(c->serialNumber(), f.serial);
    EXPECT_EQ(c->thumbprint(), f.sha1);
    EXPECT_EQ(c->subjectName(), f.subject);
    EXPECT_EQ(c->issuerName(), f.issuer);
    EXPECT_EQ(OleDateToTime(c->notBefore()), f.notBefore);
    EXPECT_EQ(OleDateToTime(c->notAfter()), f.notAfter);
    EXPECT_EQ(c->version(), 3);
    EXPECT_EQ(c->nameInfo(CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME), f.email);

    KeyUsageInfo ku = c->keyUsage();
    auto kuExt = f.ext.find("X509v3 Key Usage");
    ASSERT_EQ(ku.present, kuExt != f.ext.end());
    EXPECT_EQ(ku.critical, kuExt->second.first);
    EXPECT_EQ(KeyUsageText(ku.bits), kuExt->second.second);

    EkuInfo eku = c->extendedKeyUsage();
    auto ekuExt = f.ext.find("X509v3 Extended Key Usage");
    ASSERT_EQ(eku.present, ekuExt != f.ext.end());
    if (eku.present) {
      EXPECT_EQ(eku.critical, ekuExt->second.first);
      EXPECT_EQ(EkuText(eku.oids), ekuExt->second.second);
    }

    BasicConstraintsInfo bc = c->basicConstraints();
    auto bcExt = f.ext.find("X509v3 Basic Constraints");
    ASSERT_EQ(bc.present, bcExt != f.ext.end());
    if (bc.present) {
      EXPECT_EQ(bc.critical, bcExt->second.first);
      std::string text = bc.ca ? "CA:TRUE" : "CA:FALSE";
      if (bc.pathLenPresent) text += ", pathlen:" + std::to_string(bc.pathLen);
      EXPECT_EQ(text, bcExt->second.second);
    }
  }
}

TEST(CapicomCoreCert, NamesAndInfoTypes) {
  CertRef signer = Load("signer");
  EXPECT_EQ(signer->nameInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME), "Alice Signer");
  EXPECT_EQ(signer->nameInfo(CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME), "Test Intermediate CA");
  EXPECT_EQ(signer->subjectName(), "E=alice@example.com, CN=Alice Signer, O=Test PKI, C=US");
  EXPECT_EQ(Load("root")->nameInfo(CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME), "");
  // The top bit of the serial number makes DER add a zero byte; the text is the number, as openssl prints it.
  EXPECT_EQ(signer->serialNumber(), "8F21436587A9CBED8F");

  // Values with special characters are quoted, inner quotes doubled.
  X509_NAME* n = X509_NAME_new();
  X509_NAME_add_entry_by_txt(n, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Smith, \"J\" & Co"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(n, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Zo\xC3\xAB"), -1, -1, 0);
  EXPECT_EQ(FormatName(n), "CN=Zo\xC3\xAB, O=\"Smith, \"\"J\"\" & Co\"");
  EXPECT_EQ(SimpleName(n), "Zo\xC3\xAB");
  X509_NAME_free(n);
}

TEST(CapicomCoreCert, ParseAcceptsDerPemAndBase64Only) {
  std::string der = pki::DerBytes("signer");
  std::string pem = kxtest::ReadFile(pki::Pem("signer"));
  auto parse = [](const std::string& s, HRESULT* hr = nullptr) {
    return CertData::Parse(reinterpret_cast<const uint8_t*>(s.data()), s.size(), hr);
  };
  CertRef a = parse(der), b = parse(pem);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->sameAs(*b));
  EXPECT_EQ(a->der(), Bytes(der.begin(), der.end()));
  std::string bare = pem.substr(pem.find('\n') + 1);
  bare = bare.substr(0, bare.find("-----END"));
  ASSERT_TRUE(parse(bare));
  HRESULT hr = S_OK;
  EXPECT_FALSE(parse(der + "x", &hr));  // trailing bytes
  EXPECT_EQ(hr, CRYPT_E_ASN1_BADTAG);
  EXPECT_FALSE(parse(der.substr(0, der.size() - 1)));
  EXPECT_FALSE(parse(""));
  EXPECT_FALSE(parse("not a certificate"));
}

TEST(CapicomCoreCert, ExtensionsTemplateAndPublicKey) {
  CertRef signer = Load("signer");
  std::vector<ExtensionInfo> exts = signer->extensions();
  ASSERT_FALSE(exts.empty());
  // The key usage extension's value is the DER that openssl shows for it.
  auto ku = std::find_if(exts.begin(), exts.end(), [](const ExtensionInfo& e) { return e.oid == "2.5.29.15"; });
  ASSERT_NE(ku, exts.end());
  EXPECT_TRUE(ku->critical);
  EXPECT_EQ(HexUpper(ku->value), "030206C0");  // BIT STRING: digitalSignature, nonRepudiation
  PublicKeyInfo pk = signer->publicKey();
  EXPECT_EQ(pk.algorithmOid, "1.2.840.113549.1.1.1");
  EXPECT_EQ(pk.bits, 2048);
  EXPECT_EQ(HexUpper(pk.encodedParams), "0500");
  EXPECT_GT(pk.encodedKey.size(), 256u);
  EXPECT_FALSE(signer->certTemplate().present);

  X509* x = signer->x509();
  X509_EXTENSION* e = X509_get_ext(x, X509_get_ext_by_NID(x, NID_key_usage, -1));
  EXPECT_EQ(FormatExtension(e, false), "Digital Signature, Non Repudiation");
}

TEST(CapicomCoreCert, PfxFromOpensslDefaultAndLegacy) {
  std::string dir = kxtest::MakeTempDir();
  for (bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "default");
    std::string path = pki::MakePfx("signer", "pw", legacy, dir + (legacy ? "/l.pfx" : "/d.pfx"), true);
    ASSERT_FALSE(path.empty());
    std::string bytes = kxtest::ReadFile(path);
    auto data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_TRUE(LooksLikePfx(data, bytes.size()));
    PfxContents pfx;
    ASSERT_EQ(ReadPfx(data, bytes.size(), "pw", pfx), S_OK);
    EXPECT_TRUE(pfx.cert->sameAs(*Load("signer")));
    EXPECT_TRUE(KeyMatches(pfx.key.get(), *pfx.cert));
    EXPECT_EQ(pfx.others.size(), 2u);
    PfxContents bad;
    EXPECT_EQ(ReadPfx(data, bytes.size(), "wrong", bad), CAPICOM_HR_INVALID_PASSWORD);
  }
  std::string der = pki::DerBytes("signer");
  PfxContents none;
  EXPECT_EQ(ReadPfx(reinterpret_cast<const uint8_t*>(der.data()), der.size(), "", none), CRYPT_E_ASN1_BADTAG);
}

TEST(CapicomCoreCert, PfxWeWriteIsReadByOpenssl) {
  std::string dir = kxtest::MakeTempDir();
  std::string path = pki::MakePfx("encrypt", "", false, dir + "/in.pfx");
  std::string bytes = kxtest::ReadFile(path);
  PfxContents in;
  ASSERT_EQ(ReadPfx(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "", in), S_OK);
  Bytes out;
  ASSERT_EQ(WritePfx(*in.cert, in.key.get(), {Load("inter")}, "s3cret", out), S_OK);
  kxtest::WriteFile(dir + "/out.pfx", std::string(out.begin(), out.end()));
  std::string info;
  ASSERT_EQ(kxtest::Run("openssl pkcs12 -in '" + dir + "/out.pfx' -info -noout -passin pass:s3cret", &info), 0) << info;
  EXPECT_NE(info.find("pbeWithSHA1And3-KeyTripleDES-CBC"), std::string::npos) << info;
  EXPECT_NE(info.find("MAC: sha1"), std::string::npos) << info;
  ASSERT_EQ(kxtest::Run("openssl pkcs12 -in '" + dir + "/out.pfx' -clcerts -nokeys -passin pass:s3cret | "
                        "openssl x509 -outform DER -out '" + dir + "/leaf.der'"),
            0);
  EXPECT_EQ(kxtest::ReadFile(dir + "/leaf.der"), pki::DerBytes("encrypt"));
  std::string a, b;
  kxtest::Run("openssl pkcs12 -in '" + dir + "/out.pfx' -nocerts -nodes -passin pass:s3cret | openssl pkey -pubout", &a);
  kxtest::Run("openssl x509 -in '" + pki::Pem("encrypt") + "' -pubkey -noout", &b);
  EXPECT_EQ(a, b);
}

TEST(CapicomCoreCert, Pkcs7BundleRoundTripsWithOpenssl) {
  std::string dir = kxtest::MakeTempDir();
  std::vector<CertRef> certs = {Load("root"), Load("inter"), Load("signer")};
  std::string crlDer = kxtest::ReadFile(pki::Crl("inter"));
  CrlRef crl = CrlData::Parse(reinterpret_cast<const uint8_t*>(crlDer.data()), crlDer.size());
  ASSERT_TRUE(crl);
  Bytes bundle = MakePkcs7Bundle(certs, {crl});
  kxtest::WriteFile(dir + "/b.p7b", std::string(bundle.begin(), bundle.end()));
  std::string printed, expected;
  ASSERT_EQ(kxtest::Run("openssl pkcs7 -inform DER -in '" + dir + "/b.p7b' -print_certs -out '" + dir + "/p.pem'"), 0);
  for (const char* n : {"root", "inter", "signer"}) {
    std::string one;
    kxtest::Run("openssl x509 -in '" + pki::Pem(n) + "' -noout -subject", &one);
    expected += one;
  }
  kxtest::Run("openssl crl2pkcs7 -nocrl -certfile '" + dir + "/p.pem' | openssl pkcs7 -print_certs -noout "
              "| grep '^subject='", &printed);
  EXPECT_EQ(printed, expected);

  // A bundle written by openssl reads back as the same certificates, in order, and the list.
  ASSERT_EQ(kxtest::Run("openssl crl2pkcs7 -in '" + pki::CrlPem("inter") + "' -certfile '" + pki::ChainPem() +
                        "' -outform DER -out '" + dir + "/o.p7b'"),
            0);
  std::string o = kxtest::ReadFile(dir + "/o.p7b");
  std::vector<CertRef> read;
  std::vector<CrlRef> crls;
  ASSERT_EQ(ReadEncodedObjects(reinterpret_cast<const uint8_t*>(o.data()), o.size(), read, crls), S_OK);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_TRUE(read[0]->sameAs(*Load("inter")));
  EXPECT_TRUE(read[1]->sameAs(*Load("root")));
  ASSERT_EQ(crls.size(), 1u);
  EXPECT_EQ(crls[0]->der(), crl->der());

  // PEM files with several certificates, single certificates and lists are read too; junk is refused.
  std::string chain = kxtest::ReadFile(pki::ChainPem());
  ASSERT_EQ(ReadEncodedObjects(reinterpret_cast<const uint8_t*>(chain.data()), chain.size(), read, crls), S_OK);
  EXPECT_EQ(read.size(), 2u);
  ASSERT_EQ(ReadEncodedObjects(reinterpret_cast<const uint8_t*>(crlDer.data()), crlDer.size(), read, crls), S_OK);
  EXPECT_EQ(read.size(), 0u);
  EXPECT_EQ(crls.size(), 1u);
  EXPECT_EQ(ReadEncodedObjects(reinterpret_cast<const uint8_t*>("junk"), 4, read, crls), CRYPT_E_ASN1_BADTAG);
}
