// Certificate objects of the engine module: properties, export and import, PFX load and save, views.
#include <sys/stat.h>

#include "capicom/com_helpers.h"
#include "capicom/openssl_cli.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/capicom/core/ossl.h"

using namespace kxtest;

namespace {

std::string ReadText(ICertificate2* c, HRESULT (STDMETHODCALLTYPE ICertificate::*m)(BSTR*)) {
  BSTR b = nullptr;
  EXPECT_EQ((c->*m)(&b), S_OK);
  std::string s = Text(b);
  SysFreeString(b);
  return s;
}

std::string Info(ICertificate2* c, LONG type) {
  BSTR b = nullptr;
  EXPECT_EQ(c->GetInfo(type, &b), S_OK);
  std::string s = Text(b);
  SysFreeString(b);
  return s;
}

}  // namespace

using CapicomEngineCert = EngineTest;

TEST_F(CapicomEngineCert, PropertiesAndExportAgreeWithOpenssl) {
  std::string dir = MakeTempDir();
  for (const std::string& name : pki::Names()) {
    SCOPED_TRACE(name);
    ICertificate2Ptr c = EngineCert(name);
    X509Facts f = OpensslX509(pki::Pem(name));
    EXPECT_EQ(ReadText(c, &ICertificate::get_SerialNumber), f.serial);
    EXPECT_EQ(ReadText(c, &ICertificate::get_Thumbprint), f.sha1);
    EXPECT_EQ(ReadText(c, &ICertificate::get_SubjectName), f.subject);
    EXPECT_EQ(ReadText(c, &ICertificate::get_IssuerName), f.issuer);
    EXPECT_EQ(Info(c, CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME), f.email);
    DATE from = 0, to = 0;
    c->get_ValidFromDate(&from);
    c->get_ValidToDate(&to);
    EXPECT_EQ(kx::capi::OleDateToTime(from), f.notBefore);
    EXPECT_EQ(kx::capi::OleDateToTime(to), f.notAfter);

    // The binary export is the DER that openssl writes, byte for byte.
    BSTR der = nullptr;
    ASSERT_EQ(c->Export(CAPICOM_ENCODE_BINARY, &der), S_OK);
    WriteFile(dir + "/" + name + ".ours", BytesOf(der));
    SysFreeString(der);
    kxtest::Run("openssl x509 -in '" + pki::Pem(name) + "' -outform DER -out '" + dir + "/" + name + ".theirs'");
    EXPECT_EQ(kxtest::Run("cmp '" + dir + "/" + name + ".ours' '" + dir + "/" + name + ".theirs'"), 0);
  }
  ICertificate2Ptr signer = EngineCert("signer");
  EXPECT_EQ(Info(signer, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME), "Alice Signer");
  EXPECT_EQ(Info(signer, CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME), "Test Intermediate CA");
  LONG version = 0;
  EXPECT_EQ(signer->get_Version(&version), S_OK);
  EXPECT_EQ(version, 3);
  BSTR b = nullptr;
  EXPECT_EQ(signer->GetInfo(99, &b), E_INVALIDARG);
}

TEST_F(CapicomEngineCert, ImportForms) {
  ICertificate2Ptr c = Make<ICertificate2>(CLSID_Certificate);
  // A fresh object holds no certificate: its reads fail with the engine's code.
  BSTR b = nullptr;
  EXPECT_EQ(c->get_SubjectName(&b), CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
  ICertificateStatusPtr st;
  EXPECT_EQ(c->IsValid(&st), CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);

  std::string want = Thumb(EngineCert("encrypt"));
  // PEM text, handed over as a wide string.
  ASSERT_EQ(c->Import(_bstr_t(ReadFile(pki::Pem("encrypt")).c_str())), S_OK);
  EXPECT_EQ(Thumb(c), want);
  // Base64 export and import.
  BSTR text = nullptr;
  ASSERT_EQ(c->Export(CAPICOM_ENCODE_BASE64, &text), S_OK);
  std::string t = Text(text);
  EXPECT_NE(t.find("\r\n"), std::string::npos);
  ICertificate2Ptr d = Make<ICertificate2>(CLSID_Certificate);
  ASSERT_EQ(d->Import(text), S_OK);
  SysFreeString(text);
  EXPECT_EQ(Thumb(d), want);
  EXPECT_EQ(c->Export(7, &text), CAPICOM_E_ENCODE_INVALID_TYPE);
  // Junk leaves the object as it was.
  EXPECT_EQ(d->Import(Binary("no certificate")), CRYPT_E_ASN1_BADTAG);
  EXPECT_EQ(Thumb(d), want);
}

TEST_F(CapicomEngineCert, LoadPfxDefaultAndLegacy) {
  std::string dir = MakeTempDir();
  for (bool legacy : {false, true}) {
    SCOPED_TRACE(legacy);
    std::string pfx = pki::MakePfx("signer", "secret", legacy, dir + (legacy ? "/l.pfx" : "/d.pfx"));
    ICertificate2Ptr c = Make<ICertificate2>(CLSID_Certificate);
    ASSERT_EQ(c->Load(_bstr_t(pfx.c_str()), _bstr_t("secret"), CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY),
              S_OK);
    EXPECT_EQ(Thumb(c), Thumb(EngineCert("signer")));
    VARIANT_BOOL has = VARIANT_FALSE;
    EXPECT_EQ(c->HasPrivateKey(&has), S_OK);
    EXPECT_EQ(has, VARIANT_TRUE);
    IPrivateKeyPtr key;
    ASSERT_EQ(c->get_PrivateKey(&key), S_OK);
    VARIANT_BOOL exportable = VARIANT_FALSE, removable = VARIANT_TRUE;
    key->IsExportable(&exportable);
    key->IsRemovable(&removable);
    EXPECT_EQ(exportable, VARIANT_TRUE);
    EXPECT_EQ(removable, VARIANT_FALSE);
    BSTR file = nullptr;
    key->get_UniqueContainerName(&file);
    struct stat st {};
    ASSERT_EQ(::stat(Text(file).c_str(), &st), 0);
    SysFreeString(file);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // readable by its owner only
    ICertificate2Ptr bad = Make<ICertificate2>(CLSID_Certificate);
    EXPECT_EQ(bad->Load(_bstr_t(pfx.c_str()), _bstr_t("wrong"), 1, 0), CAPICOM_HR_INVALID_PASSWORD);
  }
  ICertificate2Ptr c = Make<ICertificate2>(CLSID_Certificate);
  EXPECT_EQ(c->Load(_bstr_t((dir + "/missing.pfx").c_str()), _bstr_t(""), 1, 0), CAPICOM_HR_FILE_NOT_FOUND);
  // A certificate file loads without a key.
  ASSERT_EQ(c->Load(_bstr_t(pki::Der("encrypt").c_str()), _bstr_t(""), 1, 0), S_OK);
  VARIANT_BOOL has = VARIANT_TRUE;
  c->HasPrivateKey(&has);
  EXPECT_EQ(has, VARIANT_FALSE);
  IPrivateKeyPtr key;
  EXPECT_EQ(c->get_PrivateKey(&key), CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY);
}

TEST_F(CapicomEngineCert, SavePfxAndCer) {
  std::string dir = MakeTempDir();
  // The chain comes from the user's stores.
  IStore2Ptr ca = Make<IStore2>(CLSID_Store);
  ASSERT_EQ(ca->Open(CAPICOM_CURRENT_USER_STORE, _bstr_t("CA"), CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(ca->Add(EngineCert("inter")), S_OK);
  IStore2Ptr root = Make<IStore2>(CLSID_Store);
  ASSERT_EQ(root->Open(CAPICOM_CURRENT_USER_STORE, _bstr_t("Root"), CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(root->Add(EngineCert("root")), S_OK);

  std::string in = pki::MakePfx("signer", "", false, dir + "/in.pfx");
  ICertificate2Ptr c = Make<ICertificate2>(CLSID_Certificate);
  ASSERT_EQ(c->Load(_bstr_t(in.c_str()), _bstr_t(""), CAPICOM_KEY_STORAGE_EXPORTABLE, 0), S_OK);
  struct Case {
    LONG include;
    int certs;
  };
  for (Case k : {Case{CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT, 2}, Case{CAPICOM_CERTIFICATE_INCLUDE_WHOLE_CHAIN, 3},
                 Case{CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY, 1}}) {
    std::string out = dir + "/out" + std::to_string(k.include) + ".pfx";
    ASSERT_EQ(c->Save(_bstr_t(out.c_str()), _bstr_t("pw"), CAPICOM_CERTIFICATE_SAVE_AS_PFX, k.include), S_OK);
    std::string count;
    kxtest::Run("openssl pkcs12 -in '" + out + "' -nokeys -passin pass:pw | grep -c 'BEGIN CERTIFICATE'", &count);
    EXPECT_EQ(std::stoi(count), k.certs) << k.include;
  }
  std::string cer = dir + "/out.cer";
  ASSERT_EQ(c->Save(_bstr_t(cer.c_str()), _bstr_t(""), CAPICOM_CERTIFICATE_SAVE_AS_CER, 0), S_OK);
  EXPECT_EQ(ReadFile(cer), pki::DerBytes("signer"));

  // No key, or one that may not leave: refused, nothing written.
  ICertificate2Ptr keyless = EngineCert("encrypt");
  EXPECT_EQ(keyless->Save(_bstr_t((dir + "/x.pfx").c_str()), _bstr_t("pw"), 0, 0), CAPICOM_E_PRIVATE_KEY_NOT_ACCESSIBLE);
  ICertificate2Ptr fixed = Make<ICertificate2>(CLSID_Certificate);
  std::string in2 = pki::MakePfx("encrypt", "", false, dir + "/in2.pfx");
  ASSERT_EQ(fixed->Load(_bstr_t(in2.c_str()), _bstr_t(""), CAPICOM_KEY_STORAGE_DEFAULT, 0), S_OK);
  EXPECT_EQ(fixed->Save(_bstr_t((dir + "/y.pfx").c_str()), _bstr_t("pw"), 0, 0), NTE_BAD_KEY_STATE);
  EXPECT_FALSE(kx::capi::FileExists(dir + "/x.pfx") || kx::capi::FileExists(dir + "/y.pfx"));
}

TEST_F(CapicomEngineCert, ExtensionViewsAndParts) {
  struct Row {
    const char* name;
    bool bcPresent, ca, pathLen;
    LONG pathLenValue;
    bool kuPresent, kuCritical, certSign, crlSign, digitalSignature;
  };
  const Row rows[] = {
      {"root", true, true, false, 0, true, true, true, true, false},
      {"inter", true, true, true, 0, true, true, true, true, false},
      {"signer", false, false, false, 0, true, true, false, false, true},
      {"wrongusage", false, false, false, 0, true, false, false, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ICertificate2Ptr c = EngineCert(r.name);
    IBasicConstraintsPtr bc;
    ASSERT_EQ(c->BasicConstraints(&bc), S_OK);
    VARIANT_BOOL v = 0;
    LONG n = -1;
    bc->get_IsPresent(&v);
    EXPECT_EQ(v != 0, r.bcPresent);
    bc->get_IsCertificateAuthority(&v);
    EXPECT_EQ(v != 0, r.ca);
    bc->get_IsPathLenConstraintPresent(&v);
    EXPECT_EQ(v != 0, r.pathLen);
    bc->get_PathLenConstraint(&n);
    EXPECT_EQ(n, r.pathLenValue);
    IKeyUsagePtr ku;
    ASSERT_EQ(c->KeyUsage(&ku), S_OK);
    ku->get_IsPresent(&v);
    EXPECT_EQ(v != 0, r.kuPresent);
    ku->get_IsCritical(&v);
    EXPECT_EQ(v != 0, r.kuCritical);
    ku->get_IsKeyCertSignEnabled(&v);
    EXPECT_EQ(v != 0, r.certSign);
    ku->get_IsCRLSignEnabled(&v);
    EXPECT_EQ(v != 0, r.crlSign);
    ku->get_IsDigitalSignatureEnabled(&v);
    EXPECT_EQ(v != 0, r.digitalSignature);
  }

  ICertificate2Ptr signer = EngineCert("signer");
  IExtendedKeyUsagePtr eku;
  ASSERT_EQ(signer->ExtendedKeyUsage(&eku), S_OK);
  IEKUsPtr ekus;
  ASSERT_EQ(eku->get_EKUs(&ekus), S_OK);
  LONG count = 0;
  ekus->get_Count(&count);
  ASSERT_EQ(count, 2);
  _variant_t first;
  ASSERT_EQ(ekus->get_Item(1, &first), S_OK);
  IEKUPtr e(first);
  LONG name = 0;
  e->get_Name(&name);
  EXPECT_EQ(name, CAPICOM_EKU_EMAIL_PROTECTION);

  // Extensions: identifier, critical flag, DER value as openssl shows it, one-line text.
  IExtensionsPtr exts;
  ASSERT_EQ(signer->Extensions(&exts), S_OK);
  _variant_t item;
  ASSERT_EQ(exts->get_Item(_variant_t("2.5.29.15"), &item), S_OK);
  IExtensionPtr ku(item);
  IOIDPtr oid;
  ku->get_OID(&oid);
  LONG oidName = 0;
  oid->get_Name(&oidName);
  EXPECT_EQ(oidName, CAPICOM_OID_KEY_USAGE_EXTENSION);
  IEncodedDataPtr data;
  ASSERT_EQ(ku->get_EncodedData(&data), S_OK);
  BSTR value = nullptr, text = nullptr;
  data->get_Value(CAPICOM_ENCODE_BINARY, &value);
  data->Format(VARIANT_FALSE, &text);
  EXPECT_EQ(BytesOf(value), std::string("\x03\x02\x06\xC0", 4));
  EXPECT_EQ(Text(text), "Digital Signature, Non Repudiation");
  SysFreeString(value);
  SysFreeString(text);
  _variant_t none;
  EXPECT_EQ(exts->get_Item(_variant_t("1.2.3.4"), &none), CRYPT_E_NOT_FOUND);

  IPublicKeyPtr pub;
  ASSERT_EQ(signer->PublicKey(&pub), S_OK);
  LONG bits = 0;
  pub->get_Length(&bits);
  EXPECT_EQ(bits, 2048);
  IOIDPtr alg;
  pub->get_Algorithm(&alg);
  BSTR algText = nullptr;
  alg->get_Value(&algText);
  EXPECT_EQ(Text(algText), "1.2.840.113549.1.1.1");
  SysFreeString(algText);
}
