// Stores, status and chains of the engine module, the small objects, and the class registry's view of it.
#include <regex>

#include "capicom/com_helpers.h"
#include "platform/capicom/core/ossl.h"
#include "platform/win32/errors.h"

using namespace kxtest;

namespace {

IStore2Ptr OpenStore(LONG location, const char* name, LONG mode = CAPICOM_STORE_OPEN_READ_WRITE) {
  IStore2Ptr s = Make<IStore2>(CLSID_Store);
  EXPECT_EQ(s->Open(location, _bstr_t(name), mode), S_OK) << name;
  return s;
}

std::vector<std::string> Thumbs(IStore* s) {
  ICertificatesPtr list;
  EXPECT_EQ(s->get_Certificates(&list), S_OK);
  LONG n = 0;
  list->get_Count(&n);
  std::vector<std::string> t;
  for (LONG i = 1; i <= n; ++i) t.push_back(Thumb(Item(list, i)));
  return t;
}

// The user's stores with the fixture's CA certificates and revocation lists.
void InstallPki() {
  IStore2Ptr root = OpenStore(CAPICOM_CURRENT_USER_STORE, "Root");
  ASSERT_EQ(root->Add(EngineCert("root")), S_OK);
  IStore2Ptr ca = OpenStore(CAPICOM_CURRENT_USER_STORE, "CA");
  ASSERT_EQ(ca->Add(EngineCert("inter")), S_OK);
  for (const char* crl : {"root", "inter"})
    ASSERT_EQ(ca->Import(Binary(ReadFile(pki::Crl(crl)))), S_OK);
}

}  // namespace

using CapicomEngineStore = EngineTest;

TEST_F(CapicomEngineStore, OpenAddRemoveAndOrder) {
  IStore2Ptr my = OpenStore(CAPICOM_CURRENT_USER_STORE, "My");
  for (const char* n : {"signer", "encrypt", "revoked"}) ASSERT_EQ(my->Add(EngineCert(n)), S_OK);
  std::vector<std::string> want = {Thumb(EngineCert("signer")), Thumb(EngineCert("encrypt")),
                                   Thumb(EngineCert("revoked"))};
  EXPECT_EQ(Thumbs(OpenStore(CAPICOM_CURRENT_USER_STORE, "MY", CAPICOM_STORE_OPEN_READ_ONLY)), want);
  ASSERT_EQ(my->Remove(EngineCert("encrypt")), S_OK);
  EXPECT_EQ(Thumbs(my), (std::vector<std::string>{want[0], want[2]}));
  // An item past the count and item 0 are refused.
  ICertificatesPtr list;
  my->get_Certificates(&list);
  _variant_t v;
  EXPECT_EQ(list->get_Item(0, &v), E_INVALIDARG);
  EXPECT_EQ(list->get_Item(3, &v), E_INVALIDARG);

  // Read-only and unopened stores.
  IStore2Ptr ro = OpenStore(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY);
  EXPECT_EQ(ro->Add(EngineCert("encrypt")), E_ACCESSDENIED);
  IStore2Ptr closed = Make<IStore2>(CLSID_Store);
  ICertificatesPtr none;
  EXPECT_EQ(closed->get_Certificates(&none), CAPICOM_E_STORE_NOT_OPENED);
  EXPECT_EQ(closed->Add(EngineCert("encrypt")), CAPICOM_E_STORE_NOT_OPENED);
  EXPECT_EQ(closed->Open(CAPICOM_CURRENT_USER_STORE, _bstr_t("My"), 3), CAPICOM_E_STORE_INVALID_OPEN_MODE);
  EXPECT_EQ(closed->Open(CAPICOM_ACTIVE_DIRECTORY_USER_STORE, _bstr_t("CN=*"), 0), CAPICOM_HR_NO_SUCH_DOMAIN);
  EXPECT_EQ(closed->Open(CAPICOM_CURRENT_USER_STORE, _bstr_t("../x"), 1), E_INVALIDARG);
  ICertificate2Ptr blank = Make<ICertificate2>(CLSID_Certificate);
  EXPECT_EQ(my->Add(blank), CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
}

TEST_F(CapicomEngineStore, MachineRootsInTheUserView) {
  IStore2Ptr machine = OpenStore(CAPICOM_LOCAL_MACHINE_STORE, "Root");
  ASSERT_EQ(machine->Add(EngineCert("root")), S_OK);
  IStore2Ptr user = OpenStore(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED);
  EXPECT_EQ(Thumbs(user), std::vector<std::string>{Thumb(EngineCert("root"))});
  EXPECT_EQ(user->Remove(EngineCert("root")), E_ACCESSDENIED);
  EXPECT_EQ(Thumbs(machine).size(), 1u);
}

TEST_F(CapicomEngineStore, Pkcs7ExportImportAndPfxLoad) {
  std::string dir = MakeTempDir();
  IStore2Ptr trust = OpenStore(CAPICOM_MEMORY_STORE, "KXCE_Temporary");
  for (const char* n : {"root", "inter", "signer"}) ASSERT_EQ(trust->Add(EngineCert(n)), S_OK);
  BSTR p7 = nullptr;
  ASSERT_EQ(trust->Export(CAPICOM_STORE_SAVE_AS_PKCS7, CAPICOM_ENCODE_BINARY, &p7), S_OK);
  WriteFile(dir + "/trust.p7b", BytesOf(p7));
  std::string printed, expected;
  ASSERT_EQ(kxtest::Run("openssl pkcs7 -inform DER -in '" + dir + "/trust.p7b' -print_certs -noout | grep '^subject='",
                &printed),
            0);
  for (const char* n : {"root", "inter", "signer"}) {
    std::string one;
    kxtest::Run("openssl x509 -in '" + pki::Pem(n) + "' -noout -subject", &one);
    expected += one;
  }
  EXPECT_EQ(printed, expected);
  // Read back into another memory store: the same certificates in the same order.
  IStore2Ptr back = OpenStore(CAPICOM_MEMORY_STORE, "KXCE_Temporary001");
  ASSERT_EQ(back->Import(p7), S_OK);
  SysFreeString(p7);
  EXPECT_EQ(Thumbs(back), Thumbs(trust));
  BSTR out = nullptr;
  EXPECT_EQ(trust->Export(CAPICOM_STORE_SAVE_AS_SERIALIZED, 1, &out), CAPICOM_E_NOT_SUPPORTED);
  EXPECT_EQ(trust->Export(5, 1, &out), CAPICOM_E_STORE_INVALID_SAVE_AS_TYPE);
  EXPECT_EQ(back->Import(Binary("junk")), CRYPT_E_ASN1_BADTAG);

  // A PFX with its chain goes into "My" whole; the key stays linked to its certificate.
  std::string pfx = pki::MakePfx("encrypt", "pw", true, dir + "/e.pfx", true);
  IStore2Ptr my = OpenStore(CAPICOM_CURRENT_USER_STORE, "My");
  ASSERT_EQ(my->Load(_bstr_t(pfx.c_str()), _bstr_t("pw"), CAPICOM_KEY_STORAGE_EXPORTABLE), S_OK);
  ICertificatesPtr list;
  OpenStore(CAPICOM_CURRENT_USER_STORE, "My", 0)->get_Certificates(&list);
  LONG n = 0;
  list->get_Count(&n);
  ASSERT_EQ(n, 3);
  ICertificate2Ptr first = Item(list, 1);
  EXPECT_EQ(Thumb(first), Thumb(EngineCert("encrypt")));
  VARIANT_BOOL has = 0;
  first->HasPrivateKey(&has);
  EXPECT_EQ(has, VARIANT_TRUE);
  Item(list, 2)->HasPrivateKey(&has);
  EXPECT_EQ(has, VARIANT_FALSE);
  EXPECT_EQ(my->Load(_bstr_t(pfx.c_str()), _bstr_t("nope"), 0), CAPICOM_HR_INVALID_PASSWORD);
}

TEST_F(CapicomEngineStore, StatusAndChainsOverTheUserStores) {
  InstallPki();
  struct Row {
    const char* name;
    LONG flags;
    bool result;
    LONG leafStatus;
    HRESULT lastError;
  };
  const Row rows[] = {
      {"signer", CAPICOM_CHECK_OFFLINE_ALL, true, 0, S_OK},
      {"revoked", CAPICOM_CHECK_OFFLINE_ALL, false, CAPICOM_TRUST_IS_REVOKED, CRYPT_E_REVOKED},
      {"revoked", CAPICOM_DEFAULT_CHECK_FLAG, true, 0, S_OK},
      {"expired", CAPICOM_CHECK_OFFLINE_ALL, false, CAPICOM_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.name) + " " + std::to_string(r.flags));
    ICertificate2Ptr c = EngineCert(r.name);
    ICertificateStatusPtr st;
    ASSERT_EQ(c->IsValid(&st), S_OK);
    LONG flags = 0;
    st->get_CheckFlag(&flags);
    EXPECT_EQ(flags, CAPICOM_DEFAULT_CHECK_FLAG);
    ASSERT_EQ(st->put_CheckFlag(r.flags), S_OK);
    VARIANT_BOOL ok = 0;
    ASSERT_EQ(st->get_Result(&ok), S_OK);
    EXPECT_EQ(ok != 0, r.result);
    EXPECT_EQ(static_cast<HRESULT>(GetLastError()), r.lastError);
    // A chain built now uses the status object's flags.
    IChain2Ptr chain = Make<IChain2>(CLSID_Chain);
    VARIANT_BOOL built = 0;
    ASSERT_EQ(chain->Build(c, &built), S_OK);
    EXPECT_EQ(built != 0, r.result);
    LONG s = -1;
    chain->get_Status(1, &s);
    EXPECT_EQ(s, r.leafStatus);
    ICertificatesPtr certs;
    ASSERT_EQ(chain->get_Certificates(&certs), S_OK);
    LONG n = 0;
    certs->get_Count(&n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(Thumb(Item(certs, 3)), Thumb(EngineCert("root")));
    BSTR info = nullptr;
    chain->ExtendedErrorInfo(1, &info);
    EXPECT_EQ(Text(info).empty(), r.leafStatus == 0);
    SysFreeString(info);
  }
  // The status object is the certificate's own: a second IsValid sees the flags set before.
  ICertificate2Ptr c = EngineCert("signer");
  ICertificateStatusPtr a, b;
  c->IsValid(&a);
  a->put_CheckFlag(0x1EF);
  c->IsValid(&b);
  LONG flags = 0;
  b->get_CheckFlag(&flags);
  EXPECT_EQ(flags, 0x1EF);
  // Usage asked through the status object's EKU.
  ICertificate2Ptr wrong = EngineCert("wrongusage");
  ICertificateStatusPtr ws;
  wrong->IsValid(&ws);
  IEKUPtr eku;
  ASSERT_EQ(ws->EKU(&eku), S_OK);
  eku->put_Name(CAPICOM_EKU_EMAIL_PROTECTION);
  VARIANT_BOOL ok = VARIANT_TRUE;
  ws->get_Result(&ok);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), CERT_E_WRONG_USAGE);

  IChain2Ptr unbuilt = Make<IChain2>(CLSID_Chain);
  LONG s = 0;
  EXPECT_EQ(unbuilt->get_Status(0, &s), CAPICOM_E_CHAIN_NOT_BUILT);
}

TEST_F(CapicomEngineStore, SmallObjects) {
  ISettingsPtr settings = Make<ISettings>(CLSID_Settings);
  ASSERT_EQ(settings->put_EnablePromptForCertificateUI(VARIANT_TRUE), S_OK);
  VARIANT_BOOL prompt = 0;
  // One value for the process: another settings object sees it.
  Make<ISettings>(CLSID_Settings)->get_EnablePromptForCertificateUI(&prompt);
  EXPECT_EQ(prompt, VARIANT_TRUE);
  settings->put_EnablePromptForCertificateUI(VARIANT_FALSE);
  EXPECT_EQ(settings->put_ActiveDirectorySearchLocation(7), E_INVALIDARG);

  IOIDPtr oid = Make<IOID>(CLSID_OID);
  ASSERT_EQ(oid->put_Name(CAPICOM_OID_POLICY_CONSTRAINTS_EXTENSION), S_OK);
  BSTR value = nullptr;
  oid->get_Value(&value);
  EXPECT_EQ(Text(value), "2.5.29.36");
  SysFreeString(value);
  EXPECT_EQ(oid->put_Value(_bstr_t("not.an.oid")), E_INVALIDARG);
  IOIDsPtr oids = Make<IOIDs>(CLSID_OIDs);
  ASSERT_EQ(oids->Add(oid), S_OK);
  oid->put_Value(_bstr_t("1.3.6.1.5.5.7.3.4"));  // the collection holds a copy
  _variant_t byValue, byIndex, past;
  ASSERT_EQ(oids->get_Item(_variant_t("2.5.29.36"), &byValue), S_OK);
  ASSERT_EQ(oids->get_Item(_variant_t(1L), &byIndex), S_OK);
  EXPECT_EQ(oids->get_Item(_variant_t(2L), &past), E_INVALIDARG);

  IAlgorithmPtr alg = Make<IAlgorithm>(CLSID_Algorithm);
  EXPECT_EQ(alg->put_Name(9), CAPICOM_E_ALGORITHM_INVALID_NAME);
  EXPECT_EQ(alg->put_KeyLength(9), CAPICOM_E_ALGORITHM_INVALID_KEY_LENGTH);

  IUtilitiesPtr util = Make<IUtilities>(CLSID_Utilities);
  _variant_t arr;
  ASSERT_EQ(util->BinaryStringToByteArray(Binary(std::string("\x00\x01\xFF", 3)), &arr), S_OK);
  EXPECT_EQ(arr.vt, VT_ARRAY | VT_UI1);
  BSTR back = nullptr;
  ASSERT_EQ(util->ByteArrayToBinaryString(arr, &back), S_OK);
  EXPECT_EQ(BytesOf(back), std::string("\x00\x01\xFF", 3));
  SysFreeString(back);
  BSTR hex = nullptr;
  util->BinaryToHex(Binary("\x12\xAB"), &hex);
  EXPECT_EQ(Text(hex), "12AB");
  SysFreeString(hex);
}

TEST_F(CapicomEngineStore, UnregisteredEngine) {
  kx::UnregisterModuleClasses(CAPICOM_MODULE_NAME);
  ICertificate2Ptr c;
  EXPECT_EQ(c.CreateInstance(CLSID_Certificate, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
  for (const CLSID& id : {CLSID_Certificates, CLSID_Certificate, CLSID_Store, CLSID_CertificateStatus, CLSID_Algorithm,
                          CLSID_Attribute, CLSID_Attributes, CLSID_KeyUsage, CLSID_ExtendedKeyUsage, CLSID_EKU,
                          CLSID_EKUs, CLSID_BasicConstraints, CLSID_Settings, CLSID_OID, CLSID_OIDs, CLSID_Chain,
                          CLSID_Utilities})
    kx::RegisterClassModule(id, CAPICOM_MODULE_NAME);
  EXPECT_EQ(c.CreateInstance(CLSID_Certificate, nullptr, CLSCTX_INPROC_SERVER), S_OK);
}
