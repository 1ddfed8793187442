// The rules every engine wrapper follows: copies share, empty wrappers give empty results and call nothing,
// failures leave with their result code only, an unregistered engine raises from the creating constructors.
#include <cmath>

#include "engine/CapicomAttributes.h"
#include "engine/CapicomCertificates.h"
#include "engine/CapicomChain.h"
#include "engine/CapicomExtensions.h"
#include "engine/CapicomParts.h"
#include "engine/CapicomSettings.h"
#include "engine/CapicomStore.h"
#include "engine/engine_test.h"
#include "platform/com/comobject.h"

using namespace kxtest;

namespace kxtest {

const CLSID* const kEngineClasses[] = {
    &CLSID_Certificates, &CLSID_Certificate, &CLSID_Store,  &CLSID_CertificateStatus, &CLSID_Algorithm,
    &CLSID_Attribute,    &CLSID_Attributes,  &CLSID_KeyUsage, &CLSID_ExtendedKeyUsage, &CLSID_EKU,
    &CLSID_EKUs,         &CLSID_BasicConstraints, &CLSID_Settings, &CLSID_OID,       &CLSID_OIDs,
    &CLSID_SignedData,   &CLSID_EnvelopedData, &CLSID_EncryptedData, &CLSID_SignedCode, &CLSID_Signer,
    &CLSID_Signers,      &CLSID_Recipients,  &CLSID_Chain,    &CLSID_Utilities};

void UnregisterEngine() { kx::UnregisterModuleClasses(CAPICOM_MODULE_NAME); }
void RegisterEngine() {
  for (const CLSID* id : kEngineClasses) kx::RegisterClassModule(*id, CAPICOM_MODULE_NAME);
}

}  // namespace kxtest

namespace {

struct Construct {
  const char* name;
  std::function<void()> make;
  bool creates;
};

// A Store object without the version-2 interface, as an older engine would give.
struct OldStore : kx::ComObject<OldStore, IStore> {
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  bool QueryBase(REFIID riid, void** ppv) {
    if (riid != IID_IDispatch) return false;
    *ppv = static_cast<IDispatch*>(this);
    return true;
  }
  STDMETHODIMP get_Certificates(ICertificates**) override { return E_NOTIMPL; }
  STDMETHODIMP Open(LONG, BSTR, LONG) override { return E_NOTIMPL; }
  STDMETHODIMP Add(ICertificate*) override { return E_NOTIMPL; }
  STDMETHODIMP Remove(ICertificate*) override { return E_NOTIMPL; }
  STDMETHODIMP Export(LONG, LONG, BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP Import(BSTR) override { return E_NOTIMPL; }
};

struct OldStoreFactory : kx::ComObject<OldStoreFactory, IClassFactory> {
  STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
    auto* s = new OldStore();
    HRESULT hr = s->QueryInterface(riid, ppv);
    s->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

using CapicomWrapperRules = EngineWrapperTest;

TEST_F(CapicomWrapperRules, UnregisteredEngineRaisesFromCreatingConstructorsOnly) {
  const Construct table[] = {
      {"certificate", [] { CCapicomCertificate w; }, true},
      {"certificates", [] { CCapicomCertificates w; }, true},
      {"store", [] { CCapicomStore w; }, true},
      {"attribute", [] { CCapicomAttribute w; }, true},
      {"EKU", [] { CCapicomEKU w; }, true},
      {"EKUs", [] { CCapicomEKUs w; }, true},
      {"settings", [] { CCapicomSettings w; }, true},
      {"chain", [] { CCapicomChain w; }, true},
      {"utilities", [] { CCapicomUtilities w; }, true},
      {"status", [] { CCapicomCertificateStatus w; }, false},
      {"algorithm", [] { CCapicomAlgorithm w; }, false},
      {"attributes", [] { CCapicomAttributes w; }, false},
      {"OID", [] { CCapicomOID w; }, false},
      {"OIDs", [] { CCapicomOIDs w; }, false},
      {"key usage", [] { CCapicomKeyUsage w; }, false},
      {"extended key usage", [] { CCapicomExtendedKeyUsage w; }, false},
      {"basic constraints", [] { CCapicomBasicConstraints w; }, false},
      {"encoded data", [] { CCapicomEncodedData w; }, false},
      {"private key", [] { CCapicomPrivateKey w; }, false},
      {"extensions", [] { CCapicomExtensions w; }, false},
  };
  UnregisterEngine();
  for (const Construct& c : table)
    EXPECT_EQ(RaisedBy(c.make), c.creates ? REGDB_E_CLASSNOTREG : S_OK) << c.name;
  // A collection item needs a blank certificate first: it raises too.
  CCapicomCertificates none(kx::engine::kEmpty);
  EXPECT_EQ(RaisedBy([&] { none.GetItem(1); }), REGDB_E_CLASSNOTREG);
  RegisterEngine();
  for (const Construct& c : table) EXPECT_EQ(RaisedBy(c.make), S_OK) << c.name;
}

TEST_F(CapicomWrapperRules, CopiesShareTheEngineObject) {
  CCapicomAttribute a;
  CCapicomAttribute copy = a;
  copy.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
  EXPECT_EQ(a.GetName(), CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
  EXPECT_EQ(a.GetInterfacePtr(), copy.GetInterfacePtr());
  // Another object assigned to the copy leaves the first where it was.
  CCapicomAttribute other;
  other.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
  copy = other;
  EXPECT_EQ(a.GetName(), CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
  EXPECT_EQ(copy.GetName(), CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
  // An empty wrapper assigned releases and empties.
  copy = CCapicomAttribute(kx::engine::kEmpty);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.GetName(), 0);

  // A certificate copy takes the tag with the object; an empty one leaves the tag.
  CCapicomCertificate c = Cert("signer");
  c.SetTag(7);
  CCapicomCertificate d = c;
  EXPECT_EQ(d.GetTag(), 7);
  d = CCapicomCertificate(kx::engine::kEmpty);
  EXPECT_EQ(d.GetTag(), 7);
  EXPECT_TRUE(d.IsEmpty());
}

TEST_F(CapicomWrapperRules, EmptyWrappersGiveEmptyResults) {
  CCapicomCertificate c(kx::engine::kEmpty);
  const double invalid = CDateTime().GetDate();
  EXPECT_EQ(invalid, -657435.0);
  // One row per result shape.
  EXPECT_EQ(c.GetVersion(), 0);                                             // number
  EXPECT_FALSE(c.HasPrivateKey());                                          // boolean
  EXPECT_TRUE(c.GetSubjectName().IsEmpty());                                // string
  EXPECT_EQ(c.GetValidToDate().GetDate(), invalid);                         // date
  EXPECT_TRUE(c.KeyUsage().IsEmpty());                                      // sub-object
  EXPECT_TRUE(c.IsValid().IsEmpty());
  EXPECT_FALSE(c.IsValid().GetResult());
  EXPECT_EQ(c.ImportFromBuffer(BufferOf(pki::DerBytes("root"))), E_FAIL);   // result code
  EXPECT_EQ(c.Display(), E_FAIL);
  EXPECT_EQ(c.Load("/nonexistent", "", 1, 0), E_FAIL);
  EXPECT_EQ(c.ExportToBuffer(CAPICOM_ENCODE_BINARY).GetLength(), 0u);
  c.PutArchived(true);                                                      // property write
  EXPECT_FALSE(c.GetArchived());

  CCapicomStore s(kx::engine::kEmpty);
  EXPECT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, "My", 0), E_FAIL);
  EXPECT_EQ(s.Add(Cert("root")), E_FAIL);
  CByteBuffer out;
  EXPECT_FALSE(s.ExportToBuffer(1, 1, out));
  EXPECT_EQ(s.GetCertificates().GetCount(), 0);  // still a collection that counts
  EXPECT_FALSE(s.GetCertificates().IsEmpty());

  CCapicomChain chain(kx::engine::kEmpty);
  EXPECT_FALSE(chain.Build(Cert("root")));
  EXPECT_EQ(chain.GetStatus(0), 0);
  EXPECT_TRUE(chain.ExtendedErrorInfo(1).IsEmpty());
  CCapicomOIDs oids;
  EXPECT_EQ(oids.Clear(), E_FAIL);
  EXPECT_TRUE(oids.GetItem(1).IsEmpty());
  EXPECT_EQ(oids.GetItem(1).GetName(), 0);
  EXPECT_TRUE(oids.GetItem(1).GetValue().IsEmpty());
  CCapicomExtendedKeyUsage eku;
  EXPECT_EQ(eku.GetEKUs().GetCount(), 0);
  EXPECT_FALSE(eku.GetEKUs().IsEmpty());
  CCapicomEKUs ekus(kx::engine::kEmpty);
  EXPECT_FALSE(ekus.GetItem(1).IsEmpty());  // a new EKU object, not an empty wrapper
  CCapicomCertificateStatus status;
  EXPECT_FALSE(status.EKU().IsEmpty());
  CCapicomAlgorithm alg;
  alg.PutName(CAPICOM_ENCRYPTION_ALGORITHM_DES);
  EXPECT_EQ(alg.GetName(), 0);
  CCapicomPrivateKey key;
  EXPECT_FALSE(key.IsRemovable());
  EXPECT_EQ(key.Delete(), E_FAIL);
  // The one exception: the attributes collection raises on an empty wrapper.
  CCapicomAttributes attrs;
  EXPECT_EQ(RaisedBy([&] { attrs.GetItem(1); }), E_POINTER);
}

TEST_F(CapicomWrapperRules, FailuresLeaveWithTheirCodeOnly) {
  CCapicomCertificate blank;  // an engine certificate that holds none
  try {
    blank.GetSubjectName();
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
    EXPECT_EQ(e.ErrorInfo(), nullptr);  // the engine's description stays behind
  }
  // Collection indexes go to the engine unchanged: 0 is the engine's to refuse.
  CCapicomStore store;
  ASSERT_EQ(store.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary", 1), S_OK);
  ASSERT_EQ(store.Add(Cert("root")), S_OK);
  CCapicomCertificates list = store.GetCertificates();
  EXPECT_EQ(RaisedBy([&] { list.GetItem(0); }), E_INVALIDARG);
  EXPECT_EQ(RaisedBy([&] { list.GetItem(2); }), E_INVALIDARG);
  EXPECT_EQ(list.GetItem(1).GetThumbprint().CompareNoCase(Cert("root").GetThumbprint()), 0);
  // The operations that report instead of raising.
  EXPECT_EQ(blank.Load("/nonexistent/file.pfx", "", 1, 0), CAPICOM_HR_FILE_NOT_FOUND);
  EXPECT_FALSE(blank.IsEqual(Cert("root")));
  EXPECT_TRUE(blank.GetPrivateKey().IsEmpty());
  EXPECT_EQ(store.Open(CAPICOM_CURRENT_USER_STORE, "a/b", 0), E_INVALIDARG);
}

TEST_F(CapicomWrapperRules, VersionTwoInterfaceMissingLeavesTheWrapperEmpty) {
  auto* factory = new OldStoreFactory();
  kx::RegisterClassFactory(CLSID_Store, factory);
  factory->Release();
  HRESULT raised = RaisedBy([] {
    CCapicomStore s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, "My", 0), E_FAIL);
  });
  EXPECT_EQ(raised, S_OK);
  RegisterEngine();
  CCapicomStore s;
  EXPECT_FALSE(s.IsEmpty());
}
