// Engine error texts, VARIANT type descriptions, and the algorithm and attribute wrappers.
#include "engine/CapicomAttributes.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomParts.h"
#include "engine/engine_test.h"
#include "platform/com/comobject.h"

using namespace kxtest;

namespace {

std::string Str(const CBstrString& s) { return s.IsEmpty() ? std::string() : std::string(s.GetAnsi()); }

const char* const kDefault = "An internal error has occurred. Please call Kesmora Technical Support";

// An engine private key whose IsRemovable fails.
struct FailingKey : kx::ComObject<FailingKey, IPrivateKey> {
  bool QueryBase(REFIID, void**) { return false; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_ContainerName(BSTR*) override { return E_FAIL; }
  STDMETHODIMP get_UniqueContainerName(BSTR*) override { return E_FAIL; }
  STDMETHODIMP get_ProviderName(BSTR*) override { return E_FAIL; }
  STDMETHODIMP get_ProviderType(LONG*) override { return E_FAIL; }
  STDMETHODIMP get_KeySpec(LONG*) override { return E_FAIL; }
  STDMETHODIMP IsAccessible(VARIANT_BOOL*) override { return E_FAIL; }
  STDMETHODIMP IsProtected(VARIANT_BOOL*) override { return E_FAIL; }
  STDMETHODIMP IsExportable(VARIANT_BOOL*) override { return E_FAIL; }
  STDMETHODIMP IsRemovable(VARIANT_BOOL*) override { return NTE_BAD_KEYSET; }
  STDMETHODIMP IsMachineKeyset(VARIANT_BOOL*) override { return E_FAIL; }
  STDMETHODIMP IsHardwareDevice(VARIANT_BOOL*) override { return E_FAIL; }
  STDMETHODIMP Open(BSTR, BSTR, LONG, LONG, LONG, VARIANT_BOOL) override { return E_FAIL; }
  STDMETHODIMP Delete() override { return E_FAIL; }
};

}  // namespace

TEST(CapicomErrorTexts, Table) {
  struct Row {
    uint32_t code;
    const char* text;
  };
  const Row rows[] = {
      {0x80880211, "The Certificate does not have an associated private key."},
      {0x80880212, kDefault},
      {0x80880911, kDefault},
      {0x80004005, kDefault},
      {0x80040154, kDefault},
      {0x80880100, "An invalid encoding type was used.\n\r The valid encoding types are Base 64 or Binary."},
      {0x80880242, "The Name property of the Attribute object is invalid. "},
      {0x80880283, "The recipient digital ID cannot be found. Please make sure that you have the required digital id "
                   "in your Address Book or other certificate store(s)"},
      {0x80880900, "The requested operation is not supported in the current platform."},
      {0x80880999, "An unknown error has occurred."},
  };
  for (const Row& r : rows) EXPECT_EQ(Str(GetCapicomErrorMessage(static_cast<HRESULT>(r.code))), r.text) << std::hex << r.code;
  std::string uninitialised = Str(GetCapicomErrorMessage(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED));
  EXPECT_NE(uninitialised.find("initialized.\n\r Usually"), std::string::npos);
  EXPECT_NE(uninitialised.find("or usethe Import method"), std::string::npos);
}

TEST(CapicomErrorTexts, VariantTypes) {
  auto text = [](VARTYPE vt, const std::function<void(VARIANT&)>& fill = nullptr) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    if (fill) fill(v);
    return Str(VariantTypeToString(&v));
  };
  LONG l = 42;
  VARIANT inner;
  VariantInit(&inner);
  EXPECT_EQ(text(VT_ARRAY | VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.byref = nullptr; }),
            "Array of Pointer to VT_VARIANT");
  EXPECT_EQ(text(VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = &l; }), "Pointer to VT_I4");
  EXPECT_EQ(text(VT_I4, [](VARIANT& v) { v.lVal = 42; }), "42");
  EXPECT_EQ(text(VT_I2, [](VARIANT& v) { v.iVal = -7; }), "-7");
  EXPECT_EQ(text(VT_UI1, [](VARIANT& v) { v.bVal = 10; }), "0x0A");
  EXPECT_EQ(text(VT_R8, [](VARIANT& v) { v.dblVal = 1.5; }), "1.500000e+00");
  EXPECT_EQ(text(VT_EMPTY), "NULL");
  EXPECT_EQ(text(VT_BOOL), "VARIANT_BOOL");
  EXPECT_EQ(text(VT_DATE), "");
  EXPECT_EQ(text(VT_CY), "");
  EXPECT_EQ(text(VT_UI4), "VT_UI4");
  // Types a VARIANT cannot hold fail the copy, which is raised.
  EXPECT_EQ(RaisedBy([&] { text(static_cast<VARTYPE>(72)); }), DISP_E_BADVARTYPE);
  _variant_t s("text");
  EXPECT_EQ(Str(VariantTypeToString(&s)), "text");
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 2);
  VARIANT arr;
  arr.vt = VT_ARRAY | VT_UI1;
  arr.parray = sa;
  EXPECT_EQ(Str(VariantTypeToString(&arr)), "Array of VT_UI1");
  VariantClear(&arr);
  EXPECT_EQ(RaisedBy([] { VariantTypeToString(nullptr); }), E_POINTER);
}

using CapicomAttributeWrapper = EngineWrapperTest;

TEST_F(CapicomAttributeWrapper, SigningAttributesFromOneWrapper) {
  // The signers' sequence: one attribute wrapper, changed and added twice, gives two attributes.
  CCapicomAttributes attrs;
  ASSERT_EQ(attrs.Create(), S_OK);
  CCapicomAttribute a;
  CDateTime when(2024, 3, 5, 10, 30, 0);
  a.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
  a.PutValueDate(when);
  ASSERT_EQ(attrs.Add(a), S_OK);
  a.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
  a.PutValueString("report.doc");
  ASSERT_EQ(attrs.Add(a), S_OK);
  ASSERT_EQ(attrs.GetCount(), 2);
  CCapicomAttribute first = attrs.GetItem(1);
  CDateTime got;
  ASSERT_TRUE(first.GetValueDate(got));
  EXPECT_EQ(got.GetDate(), when.GetDate());
  CBstrString name;
  ASSERT_TRUE(attrs.GetItem(2).GetValueString(name));
  EXPECT_EQ(Str(name), "report.doc");
  // A date read as text is the engine's text of the date; text that is no date reads as an invalid date.
  CBstrString dateText;
  ASSERT_TRUE(first.GetValueString(dateText));
  EXPECT_FALSE(dateText.IsEmpty());
  CDateTime notDate;
  ASSERT_TRUE(attrs.GetItem(2).GetValueDate(notDate));
  EXPECT_FALSE(notDate.IsValid());
  // A signing time that is not a date, an unknown name, an empty attribute: refused by the engine.
  CCapicomAttribute bad;
  bad.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
  bad.PutValueString("soon");
  EXPECT_EQ(RaisedBy([&] { attrs.Add(bad); }), CAPICOM_E_ATTRIBUTE_INVALID_VALUE);
  EXPECT_EQ(RaisedBy([&] { bad.PutName(7); }), CAPICOM_E_ATTRIBUTE_INVALID_NAME);
  EXPECT_EQ(RaisedBy([&] { attrs.Add(CCapicomAttribute(kx::engine::kEmpty)); }), E_POINTER);
  EXPECT_EQ(attrs.Remove(1), S_OK);
  EXPECT_EQ(attrs.Clear(), S_OK);
  EXPECT_EQ(attrs.GetCount(), 0);

  CCapicomAlgorithm alg;
  ASSERT_EQ(alg.Create(), S_OK);
  alg.PutName(CAPICOM_ENCRYPTION_ALGORITHM_DES);
  alg.PutKeyLength(CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS);
  EXPECT_EQ(alg.GetName(), CAPICOM_ENCRYPTION_ALGORITHM_DES);
  EXPECT_EQ(alg.GetKeyLength(), CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS);
  EXPECT_EQ(RaisedBy([&] { alg.PutName(12); }), CAPICOM_E_ALGORITHM_INVALID_NAME);

  CCapicomPrivateKey key;
  auto* failing = new FailingKey();
  key.SetInterface(static_cast<IPrivateKey*>(failing));
  failing->Release();
  EXPECT_FALSE(key.IsRemovable());  // swallowed
  EXPECT_EQ(RaisedBy([&] { key.IsExportable(); }), E_FAIL);
}
