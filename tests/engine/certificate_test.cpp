// Certificate, collection, list, store, status and chain wrappers over the engine.
#include "core/SafeArray.h"
#include "engine/CapicomCertificates.h"
#include "engine/CapicomChain.h"
#include "engine/CapicomExtensions.h"
#include "engine/CapicomParts.h"
#include "engine/CapicomSettings.h"
#include "engine/CapicomStore.h"
#include "engine/engine_test.h"
#include "platform/com/comobject.h"

using namespace kxtest;

using CapicomCertificateWrapper = EngineWrapperTest;

namespace {

// A Certificate object that answers like the engine's but with a different thumbprint.
struct ThumbprintTwin : kx::ComObject<ThumbprintTwin, ICertificate2> {
  explicit ThumbprintTwin(ICertificate2* real) : m_real(real) { m_real->AddRef(); }
  ~ThumbprintTwin() override { m_real->Release(); }
  bool QueryBase(REFIID, void**) { return false; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Version(LONG* v) override { return m_real->get_Version(v); }
  STDMETHODIMP get_SerialNumber(BSTR* v) override { return m_real->get_SerialNumber(v); }
  STDMETHODIMP get_SubjectName(BSTR* v) override { return m_real->get_SubjectName(v); }
  STDMETHODIMP get_IssuerName(BSTR* v) override { return m_real->get_IssuerName(v); }
  STDMETHODIMP get_ValidFromDate(DATE* v) override { return m_real->get_ValidFromDate(v); }
  STDMETHODIMP get_ValidToDate(DATE* v) override { return m_real->get_ValidToDate(v); }
  STDMETHODIMP get_Thumbprint(BSTR* v) override {
    *v = SysAllocString(u"0000000000000000000000000000000000000000");
    return S_OK;
  }
  STDMETHODIMP HasPrivateKey(VARIANT_BOOL* v) override { return m_real->HasPrivateKey(v); }
  STDMETHODIMP GetInfo(LONG t, BSTR* v) override { return m_real->GetInfo(t, v); }
  STDMETHODIMP IsValid(ICertificateStatus** v) override { return m_real->IsValid(v); }
  STDMETHODIMP KeyUsage(IKeyUsage** v) override { return m_real->KeyUsage(v); }
  STDMETHODIMP ExtendedKeyUsage(IExtendedKeyUsage** v) override { return m_real->ExtendedKeyUsage(v); }
  STDMETHODIMP BasicConstraints(IBasicConstraints** v) override { return m_real->BasicConstraints(v); }
  STDMETHODIMP Export(LONG e, BSTR* v) override { return m_real->Export(e, v); }
  STDMETHODIMP Import(BSTR b) override { return m_real->Import(b); }
  STDMETHODIMP Display() override { return m_real->Display(); }
  STDMETHODIMP get_Archived(VARIANT_BOOL* v) override { return m_real->get_Archived(v); }
  STDMETHODIMP put_Archived(VARIANT_BOOL v) override { return m_real->put_Archived(v); }
  STDMETHODIMP Template(ITemplate** v) override { return m_real->Template(v); }
  STDMETHODIMP PublicKey(IPublicKey** v) override { return m_real->PublicKey(v); }
  STDMETHODIMP get_PrivateKey(IPrivateKey** v) override { return m_real->get_PrivateKey(v); }
  STDMETHODIMP put_PrivateKey(IPrivateKey* v) override { return m_real->put_PrivateKey(v); }
  STDMETHODIMP Extensions(IExtensions** v) override { return m_real->Extensions(v); }
  STDMETHODIMP ExtendedProperties(IExtendedProperties** v) override { return m_real->ExtendedProperties(v); }
  STDMETHODIMP Load(BSTR f, BSTR p, LONG a, LONG b) override { return m_real->Load(f, p, a, b); }
  STDMETHODIMP Save(BSTR f, BSTR p, LONG a, LONG b) override { return m_real->Save(f, p, a, b); }
  ICertificate2* m_real;
};

}  // namespace

TEST_F(CapicomCertificateWrapper, IsEqual) {
  CCapicomCertificate signer = Cert("signer");
  CCapicomCertificate again = Cert("signer");
  CCapicomCertificate twin(kx::engine::kEmpty);
  auto* t = new ThumbprintTwin(signer.GetInterfacePtr());
  twin.SetInterface(static_cast<ICertificate2*>(t));
  t->Release();
  struct Row {
    const char* what;
    const CCapicomCertificate& a;
    const CCapicomCertificate& b;
    bool equal;
  };
  CCapicomCertificate empty(kx::engine::kEmpty);
  CCapicomCertificate blank;
  CCapicomCertificate other = Cert("encrypt");
  const Row rows[] = {
      {"itself", signer, signer, true},
      {"imported twice", signer, again, true},
      {"only the thumbprint differs", signer, twin, false},
      {"another certificate", signer, other, false},
      {"other side empty", signer, empty, false},
      {"this side empty", empty, signer, false},
      {"engine error on the way", blank, signer, false},
  };
  for (const Row& r : rows) EXPECT_EQ(r.a.IsEqual(r.b), r.equal) << r.what;
}

TEST_F(CapicomCertificateWrapper, ExportImportRoundTrips) {
  std::string dir = MakeTempDir();
  CCapicomCertificate root = Cert("root");
  CByteBuffer der = root.ExportToBuffer(CAPICOM_ENCODE_BINARY);
  WriteFile(dir + "/ours.cer", StringOf(der));
  kxtest::Run("openssl x509 -in '" + pki::Pem("root") + "' -outform DER -out '" + dir + "/theirs.cer'");
  EXPECT_EQ(kxtest::Run("cmp '" + dir + "/ours.cer' '" + dir + "/theirs.cer'"), 0);
  // DER is full of zero bytes: they travel through the binary string unchanged.
  ASSERT_NE(StringOf(der).find('\0'), std::string::npos);
  CCapicomCertificate copy;
  ASSERT_EQ(copy.ImportFromBuffer(der), S_OK);
  EXPECT_TRUE(copy.IsEqual(root));
  // An empty buffer is refused without a call; the certificate stays.
  EXPECT_EQ(copy.ImportFromBuffer(CByteBuffer()), E_FAIL);
  EXPECT_TRUE(copy.IsEqual(root));
  // Through a byte array and through base64 text.
  VARIANT v;
  VariantInit(&v);
  root.ExportToSafeArray(&v, CAPICOM_ENCODE_BINARY);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  CCapicomCertificate fromArray;
  ASSERT_EQ(fromArray.ImportFromSafeArray(v), S_OK);
  VariantClear(&v);
  EXPECT_TRUE(fromArray.IsEqual(root));
  CCapicomCertificate fromText;
  ASSERT_EQ(fromText.ImportFromString(root.ExportToString(CAPICOM_ENCODE_BASE64)), S_OK);
  EXPECT_TRUE(fromText.IsEqual(root));
  EXPECT_EQ(RaisedBy([&] { fromText.ImportFromBuffer(BufferOf("junk")); }), CRYPT_E_ASN1_BADTAG);

  EXPECT_EQ(root.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).CompareNoCase("Test Root CA"), 0);
  EXPECT_EQ(Cert("signer").GetInfo(CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME).CompareNoCase("alice@example.com"), 0);
  EXPECT_TRUE(root.GetPrivateKey().IsEmpty());
  EXPECT_EQ(RaisedBy([&] { root.Save((dir + "/k.pfx").c_str(), "pw", 0, 0); }), CAPICOM_E_PRIVATE_KEY_NOT_ACCESSIBLE);
  EXPECT_EQ(root.Save((dir + "/r.cer").c_str(), "", CAPICOM_CERTIFICATE_SAVE_AS_CER, 0), S_OK);
}

TEST_F(CapicomCertificateWrapper, PfxLoadKeyAndPartsThroughWrappers) {
  std::string dir = MakeTempDir();
  std::string pfx = pki::MakePfx("signer", "pw", true, dir + "/s.pfx");
  CCapicomCertificate c;
  ASSERT_EQ(c.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
  EXPECT_TRUE(c.HasPrivateKey());
  CCapicomPrivateKey key = c.GetPrivateKey();
  ASSERT_FALSE(key.IsEmpty());
  EXPECT_TRUE(key.IsExportable());
  EXPECT_FALSE(key.IsRemovable());
  EXPECT_FALSE(key.GetContainerName().IsEmpty());
  CCapicomOID alg;
  c.PublicKey().GetAlgorithm(alg);
  EXPECT_EQ(alg.GetValue().CompareNoCase("1.2.840.113549.1.1.1"), 0);
  EXPECT_EQ(c.PublicKey().GetLength(), 2048);
  EXPECT_FALSE(c.Template().GetIsPresent());
  // A second wrapper of the same copy sees the key; Load of a wrong password reports the engine's code.
  CCapicomCertificate other;
  EXPECT_EQ(other.Load(pfx.c_str(), "nope", 1, 0), CAPICOM_HR_INVALID_PASSWORD);
}

TEST_F(CapicomCertificateWrapper, CollectionsAndLists) {
  CCapicomStore store;
  ASSERT_EQ(store.Open(CAPICOM_CURRENT_USER_STORE, nullptr, CAPICOM_STORE_OPEN_READ_WRITE), S_OK);  // "MY"
  for (const char* n : {"signer", "encrypt", "revoked"}) ASSERT_EQ(store.Add(Cert(n)), S_OK);
  CCapicomStore my;
  ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY), S_OK);
  CCapicomCertificates list = my.GetCertificates();
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_TRUE(list.GetItem(1).IsEqual(Cert("signer")));
  EXPECT_TRUE(list.GetItem(3).IsEqual(Cert("revoked")));
  EXPECT_EQ(RaisedBy([&] { list.GetItem(4); }), E_INVALIDARG);
  // A negative index or an empty collection gives a blank certificate whose reads fail.
  CCapicomCertificate blank = list.GetItem(-1);
  EXPECT_FALSE(blank.IsEmpty());
  EXPECT_EQ(RaisedBy([&] { blank.GetSubjectName(); }), CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
  CCapicomCertificates fresh;
  EXPECT_EQ(fresh.GetCount(), 0);
  ASSERT_EQ(fresh.Add(Cert("root")), S_OK);
  EXPECT_EQ(fresh.GetCount(), 1);
  EXPECT_EQ(fresh.Add(CCapicomCertificate(kx::engine::kEmpty)), E_FAIL);

  // The list holds copies that share the engine certificates; reading past the end gives an empty wrapper.
  CCapicomCertificate shared = Cert("encrypt");
  IUnknown* unk = shared.GetInterfacePtr();
  {
    CCertificateList certs;
    certs.Add(shared);
    certs.Add(shared);
    ASSERT_EQ(certs.GetCount(), 2);
    EXPECT_TRUE(certs.GetAt(0).IsEqual(certs.GetAt(1)));
    EXPECT_TRUE(certs.GetAt(2).IsEmpty());
    EXPECT_TRUE(certs.GetAt(-1).IsEmpty());
    unk->AddRef();
    EXPECT_EQ(unk->Release(), 3u);  // the wrapper and two list elements
  }
  unk->AddRef();
  EXPECT_EQ(unk->Release(), 1u);  // destroying the list released its references

  // A copy passed to the store adds the same engine certificate.
  CCapicomStore ab;
  ASSERT_EQ(ab.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", 1), S_OK);
  CCapicomCertificate copy = shared;
  ASSERT_EQ(ab.Add(copy), S_OK);
  EXPECT_TRUE(ab.GetCertificates().GetItem(1).IsEqual(shared));
}

TEST_F(CapicomCertificateWrapper, StoresStatusAndChains) {
  CCapicomStore never;
  EXPECT_EQ(never.GetCertificates().GetCount(), 0);
  EXPECT_EQ(never.Add(CCapicomCertificate(kx::engine::kEmpty)), E_FAIL);

  CCapicomStore trust;
  ASSERT_EQ(trust.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  for (const char* n : {"root", "inter"}) ASSERT_EQ(trust.Add(Cert(n)), S_OK);
  CByteBuffer bundle;
  ASSERT_TRUE(trust.ExportToBuffer(CAPICOM_STORE_SAVE_AS_PKCS7, CAPICOM_ENCODE_BINARY, bundle));
  CCapicomStore back;
  ASSERT_EQ(back.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary002", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(back.ImportFromBuffer(bundle), S_OK);
  ASSERT_EQ(back.GetCertificates().GetCount(), 2);
  EXPECT_TRUE(back.GetCertificates().GetItem(1).IsEqual(Cert("root")));
  EXPECT_TRUE(back.GetCertificates().GetItem(2).IsEqual(Cert("inter")));
  EXPECT_EQ(back.ImportFromBuffer(CByteBuffer()), E_FAIL);

  // Install the chain, check validity the way pages do, and build the chain.
  CCapicomStore root, ca;
  ASSERT_EQ(root.Open(CAPICOM_CURRENT_USER_STORE, "Root", 1), S_OK);
  ASSERT_EQ(root.Add(Cert("root")), S_OK);
  ASSERT_EQ(ca.Open(CAPICOM_CURRENT_USER_STORE, "Ca", 1), S_OK);
  ASSERT_EQ(ca.ImportFromBuffer(bundle), S_OK);
  CCapicomCertificate expired = Cert("expired");
  CCapicomCertificateStatus status = expired.IsValid();
  status.PutCheckFlag(CAPICOM_CHECK_TRUSTED_ROOT | CAPICOM_CHECK_TIME_VALIDITY | CAPICOM_CHECK_SIGNATURE_VALIDITY);
  EXPECT_EQ(status.GetCheckFlag(), 7);
  EXPECT_FALSE(status.GetResult());
  status.PutVerificationTime(CDateTime(expired.GetValidToDate().GetDate() - 1));
  EXPECT_TRUE(status.GetResult());
  status.PutUrlRetrievalTimeout(20);
  EXPECT_EQ(status.GetUrlRetrievalTimeout(), 20);

  CCapicomChain chain;
  EXPECT_TRUE(chain.Build(expired));  // built under the status object's settings
  CCapicomCertificates certs = chain.GetCertificates();
  ASSERT_EQ(certs.GetCount(), 3);
  EXPECT_TRUE(certs.GetItem(1).IsEqual(expired));
  EXPECT_TRUE(certs.GetItem(3).IsEqual(Cert("root")));
  CCapicomChain other;
  EXPECT_FALSE(other.Build(CCapicomCertificate(kx::engine::kEmpty)));

  CCapicomBasicConstraints bc = Cert("inter").BasicConstraints();
  EXPECT_TRUE(bc.GetIsPresent() && bc.GetIsCritical() && bc.GetIsCertificateAuthority());
  EXPECT_TRUE(bc.GetIsPathLenConstraintPresent());
  EXPECT_EQ(bc.GetPathLenConstraint(), 0);
  EXPECT_FALSE(Cert("signer").BasicConstraints().GetIsPresent());
  CCapicomKeyUsage ku = Cert("root").KeyUsage();
  EXPECT_TRUE(ku.GetIsPresent() && ku.GetIsKeyCertSignEnabled() && ku.GetIsCRLSignEnabled());
  EXPECT_FALSE(ku.GetIsDigitalSignatureEnabled());
  CCapicomEKUs ekus = Cert("signer").ExtendedKeyUsage().GetEKUs();
  ASSERT_EQ(ekus.GetCount(), 2);
  CBstrString oid;
  ASSERT_TRUE(ekus.GetItem(2).GetOID(oid));
  EXPECT_EQ(oid.CompareNoCase("1.3.6.1.5.5.7.3.2"), 0);
  // A copy of an extensions wrapper shares the collection.
  CCapicomExtensions exts = Cert("signer").Extensions();
  CCapicomExtensions extsCopy(exts);
  EXPECT_EQ(exts.GetInterfacePtr(), extsCopy.GetInterfacePtr());
}

TEST_F(CapicomCertificateWrapper, SettingsAndIdentifiers) {
  CCapicomSettings settings;
  settings.PutEnablePromptForCertificateUI(true);
  EXPECT_TRUE(settings.GetEnablePromptForCertificateUI());
  settings.PutEnablePromptForCertificateUI(false);
  EXPECT_FALSE(settings.GetEnablePromptForCertificateUI());
  settings.PutActiveDirectorySearchLocation(CAPICOM_SEARCH_GLOBAL_CATALOG);
  EXPECT_EQ(settings.GetActiveDirectorySearchLocation(), CAPICOM_SEARCH_GLOBAL_CATALOG);
  settings.PutActiveDirectorySearchLocation(CAPICOM_SEARCH_ANY);

  CCapicomOIDs oids;
  ASSERT_EQ(oids.Create(), S_OK);
  CCapicomOID oid;
  ASSERT_EQ(oid.Create(), S_OK);
  oid.PutValue("2.5.29.36");
  EXPECT_EQ(oid.GetName(), CAPICOM_OID_POLICY_CONSTRAINTS_EXTENSION);
  EXPECT_EQ(oid.GetFriendlyName().CompareNoCase("X509v3 Policy Constraints"), 0);
  ASSERT_EQ(oids.Add(oid), S_OK);
  ASSERT_EQ(oids.GetCount(), 1);
  EXPECT_EQ(oids.GetItem(1).GetValue().CompareNoCase("2.5.29.36"), 0);
  EXPECT_EQ(oids.Remove(1), S_OK);
  EXPECT_EQ(RaisedBy([&] { oids.Remove(1); }), E_INVALIDARG);
}
