// Settings, object identifiers, attributes, algorithms and the utilities object.
#include <openssl/objects.h>
#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/capicom/com/objects.h"
#include "platform/com/bstr.h"

namespace kx::capi {
namespace {

// ---- Settings: one value per process, as the engine keeps them ----

std::atomic<bool> g_promptForCertificateUI{false};
std::atomic<long> g_directorySearchLocation{CAPICOM_SEARCH_ANY};

class Settings : public kx::ComObject<Settings, ISettings> {
  KX_ENGINE_DISPATCH(Settings, ISettings)

 public:
  STDMETHODIMP get_EnablePromptForCertificateUI(VARIANT_BOOL* o) override {
    return PutOut(o, VBool(g_promptForCertificateUI.load()));
  }
  // Stored and reported; this engine never prompts for a certificate.
  STDMETHODIMP put_EnablePromptForCertificateUI(VARIANT_BOOL v) override {
    g_promptForCertificateUI = v != 0;
    return S_OK;
  }
  STDMETHODIMP get_ActiveDirectorySearchLocation(LONG* o) override {
    return PutOut<LONG>(o, g_directorySearchLocation.load());
  }
  STDMETHODIMP put_ActiveDirectorySearchLocation(LONG v) override {
    if (v < CAPICOM_SEARCH_ANY || v > CAPICOM_SEARCH_DEFAULT_DOMAIN) return Fail(E_INVALIDARG, "invalid search location");
    g_directorySearchLocation = v;
    return S_OK;
  }
};

// ---- Object identifiers ----

struct OidName {
  long name;
  const char* value;
};
const OidName kOidNames[] = {
    {CAPICOM_OID_AUTHORITY_KEY_IDENTIFIER_EXTENSION, "2.5.29.1"},
    {CAPICOM_OID_KEY_ATTRIBUTES_EXTENSION, "2.5.29.2"},
    {CAPICOM_OID_CERT_POLICIES_95_EXTENSION, "2.5.29.3"},
    {CAPICOM_OID_KEY_USAGE_RESTRICTION_EXTENSION, "2.5.29.4"},
    {CAPICOM_OID_LEGACY_POLICY_MAPPINGS_EXTENSION, "2.5.29.5"},
    {CAPICOM_OID_SUBJECT_ALT_NAME_EXTENSION, "2.5.29.7"},
    {CAPICOM_OID_ISSUER_ALT_NAME_EXTENSION, "2.5.29.8"},
    {CAPICOM_OID_BASIC_CONSTRAINTS_EXTENSION, "2.5.29.10"},
    {CAPICOM_OID_SUBJECT_KEY_IDENTIFIER_EXTENSION, "2.5.29.14"},
    {CAPICOM_OID_KEY_USAGE_EXTENSION, "2.5.29.15"},
    {CAPICOM_OID_PRIVATEKEY_USAGE_PERIOD_EXTENSION, "2.5.29.16"},
    {CAPICOM_OID_SUBJECT_ALT_NAME2_EXTENSION, "2.5.29.17"},
    {CAPICOM_OID_ISSUER_ALT_NAME2_EXTENSION, "2.5.29.18"},
    {CAPICOM_OID_BASIC_CONSTRAINTS2_EXTENSION, "2.5.29.19"},
    {CAPICOM_OID_NAME_CONSTRAINTS_EXTENSION, "2.5.29.30"},
    {CAPICOM_OID_CRL_DIST_POINTS_EXTENSION, "2.5.29.31"},
    {CAPICOM_OID_CERT_POLICIES_EXTENSION, "2.5.29.32"},
    {CAPICOM_OID_POLICY_MAPPINGS_EXTENSION, "2.5.29.33"},
    {CAPICOM_OID_AUTHORITY_KEY_IDENTIFIER2_EXTENSION, "2.5.29.35"},
    {CAPICOM_OID_POLICY_CONSTRAINTS_EXTENSION, "2.5.29.36"},
    {CAPICOM_OID_ENHANCED_KEY_USAGE_EXTENSION, "2.5.29.37"},
    {CAPICOM_OID_CERTIFICATE_TEMPLATENAME_EXTENSION, "1.3.6.1.4.1.311.20.2"},
    {CAPICOM_OID_CERTIFICATE_TEMPLATE_EXTENSION, "1.3.6.1.4.1.311.21.7"},
    {CAPICOM_OID_APPLICATION_CERT_POLICIES_EXTENSION, "1.3.6.1.4.1.311.21.10"},
    {CAPICOM_OID_APPLICATION_POLICY_MAPPINGS_EXTENSION, "1.3.6.1.4.1.311.21.11"},
    {CAPICOM_OID_APPLICATION_POLICY_CONSTRAINTS_EXTENSION, "1.3.6.1.4.1.311.21.12"},
    {CAPICOM_OID_AUTHORITY_INFO_ACCESS_EXTENSION, "1.3.6.1.5.5.7.1.1"},
    {CAPICOM_OID_SERVER_AUTH_EKU, "1.3.6.1.5.5.7.3.1"},
    {CAPICOM_OID_CLIENT_AUTH_EKU, "1.3.6.1.5.5.7.3.2"},
    {CAPICOM_OID_CODE_SIGNING_EKU, "1.3.6.1.5.5.7.3.3"},
    {CAPICOM_OID_EMAIL_PROTECTION_EKU, "1.3.6.1.5.5.7.3.4"},
    {CAPICOM_OID_IPSEC_END_SYSTEM_EKU, "1.3.6.1.5.5.7.3.5"},
    {CAPICOM_OID_IPSEC_TUNNEL_EKU, "1.3.6.1.5.5.7.3.6"},
    {CAPICOM_OID_IPSEC_USER_EKU, "1.3.6.1.5.5.7.3.7"},
    {CAPICOM_OID_TIME_STAMPING_EKU, "1.3.6.1.5.5.7.3.8"},
    {CAPICOM_OID_CTL_USAGE_SIGNING_EKU, "1.3.6.1.4.1.311.10.3.1"},
    {CAPICOM_OID_TIME_STAMP_SIGNING_EKU, "1.3.6.1.4.1.311.10.3.2"},
    {CAPICOM_OID_SERVER_GATED_CRYPTO_EKU, "1.3.6.1.4.1.311.10.3.3"},
    {CAPICOM_OID_ENCRYPTING_FILE_SYSTEM_EKU, "1.3.6.1.4.1.311.10.3.4"},
    {CAPICOM_OID_EFS_RECOVERY_EKU, "1.3.6.1.4.1.311.10.3.4.1"},
    {CAPICOM_OID_WHQL_CRYPTO_EKU, "1.3.6.1.4.1.311.10.3.5"},
    {CAPICOM_OID_NT5_CRYPTO_EKU, "1.3.6.1.4.1.311.10.3.6"},
    {CAPICOM_OID_OEM_WHQL_CRYPTO_EKU, "1.3.6.1.4.1.311.10.3.7"},
    {CAPICOM_OID_EMBEDED_NT_CRYPTO_EKU, "1.3.6.1.4.1.311.10.3.8"},
    {CAPICOM_OID_ROOT_LIST_SIGNER_EKU, "1.3.6.1.4.1.311.10.3.9"},
    {CAPICOM_OID_QUALIFIED_SUBORDINATION_EKU, "1.3.6.1.4.1.311.10.3.10"},
    {CAPICOM_OID_KEY_RECOVERY_EKU, "1.3.6.1.4.1.311.10.3.11"},
    {CAPICOM_OID_DIGITAL_RIGHTS_EKU, "1.3.6.1.4.1.311.10.5.1"},
    {CAPICOM_OID_LICENSES_EKU, "1.3.6.1.4.1.311.10.6.1"},
    {CAPICOM_OID_LICENSE_SERVER_EKU, "1.3.6.1.4.1.311.10.6.2"},
    {CAPICOM_OID_SMART_CARD_LOGON_EKU, "1.3.6.1.4.1.311.20.2.2"},
    {CAPICOM_OID_PKIX_POLICY_QUALIFIER_CPS, "1.3.6.1.5.5.7.2.1"},
    {CAPICOM_OID_PKIX_POLICY_QUALIFIER_USERNOTICE, "1.3.6.1.5.5.7.2.2"},
};

bool ValidDotted(const std::string& s) {
  if (s.empty()) return false;
  ASN1_OBJECT* o = OBJ_txt2obj(s.c_str(), 1);
  bool ok = o != nullptr;
  ASN1_OBJECT_free(o);
  return ok;
}

class OIDObject : public kx::ComObject<OIDObject, IOID> {
  KX_ENGINE_DISPATCH(OIDObject, IOID)

 public:
  OIDObject() = default;
  explicit OIDObject(const std::string& dotted) { Set(dotted); }
  OIDObject(long name, std::string friendly, std::string value)
      : m_name(name), m_friendly(std::move(friendly)), m_value(std::move(value)) {}

  STDMETHODIMP get_Name(LONG* o) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<LONG>(o, m_name);
  }
  STDMETHODIMP put_Name(LONG v) override {
    std::string value = OidValueOf(v);
    if (v != CAPICOM_OID_OTHER && value.empty()) return Fail(E_INVALIDARG, "unknown OID name");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_name = v;
    if (!value.empty()) {
      m_value = value;
      m_friendly = OidFriendlyName(value);
    }
    return S_OK;
  }
  STDMETHODIMP get_FriendlyName(BSTR* o) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut(o, TextBstr(m_friendly));
  }
  STDMETHODIMP put_FriendlyName(BSTR v) override {
    std::string friendly = Utf8(v);
    int nid = OBJ_ln2nid(friendly.c_str());
    if (nid == NID_undef) nid = OBJ_sn2nid(friendly.c_str());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_friendly = friendly;
    if (nid != NID_undef) {
      char buf[128];
      OBJ_obj2txt(buf, sizeof buf, OBJ_nid2obj(nid), 1);
      m_value = buf;
      m_name = OidNameOf(m_value);
    }
    return S_OK;
  }
  STDMETHODIMP get_Value(BSTR* o) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut(o, TextBstr(m_value));
  }
  STDMETHODIMP put_Value(BSTR v) override {
    std::string value = Utf8(v);
    if (!ValidDotted(value)) return Fail(E_INVALIDARG, "not an object identifier");
    Set(value);
    return S_OK;
  }

 private:
  void Set(const std::string& dotted) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_value = dotted;
    m_name = OidNameOf(dotted);
    m_friendly = dotted.empty() ? std::string() : OidFriendlyName(dotted);
  }

  std::mutex m_mutex;
  long m_name = CAPICOM_OID_OTHER;
  std::string m_friendly;
  std::string m_value;
};

class OIDList : public Collection<OIDList, IOIDs, IOID> {
  KX_ENGINE_DISPATCH(OIDList, IOIDs)

 public:
  STDMETHODIMP get_Item(VARIANT index, VARIANT* o) override { return ItemAt(Find(index), o); }
  STDMETHODIMP get_Count(LONG* o) override { return CountOut(o); }
  // Adds a copy of the identifier as it is now.
  STDMETHODIMP Add(IOID* oid) override {
    return Guard([&] {
      if (!oid) return Fail(E_POINTER);
      LONG name = 0;
      BSTR friendly = nullptr, value = nullptr;
      HRESULT hr = oid->get_Name(&name);
      if (SUCCEEDED(hr)) hr = oid->get_FriendlyName(&friendly);
      if (SUCCEEDED(hr)) hr = oid->get_Value(&value);
      if (SUCCEEDED(hr)) {
        IOID* copy = new OIDObject(name, Utf8(friendly), Utf8(value));
        Append(copy);
        copy->Release();
      }
      SysFreeString(friendly);
      SysFreeString(value);
      return hr;
    });
  }
  STDMETHODIMP Remove(VARIANT index) override { return RemoveAt(Find(index)); }
  STDMETHODIMP Clear() override { return ClearAll(); }

 private:
  // The position (from 1) a number or a dotted identifier names; 0 when none.
  LONG Find(const VARIANT& index) {
    if (index.vt != VT_BSTR) return VariantIndex(index);
    std::string wanted = Utf8(index.bstrVal);
    std::vector<Ref<IOID>> items = Items();
    for (size_t i = 0; i < items.size(); ++i) {
      BSTR v = nullptr;
      items[i]->get_Value(&v);
      bool match = Utf8(v) == wanted;
      SysFreeString(v);
      if (match) return static_cast<LONG>(i) + 1;
    }
    return 0;
  }
};

// ---- Attributes ----

class Attribute : public kx::ComObject<Attribute, IAttribute> {
  KX_ENGINE_DISPATCH(Attribute, IAttribute)

 public:
  Attribute() { VariantInit(&m_value); }
  Attribute(long name, const VARIANT* value) : Attribute() {
    m_name = name;
    if (value) VariantCopy(&m_value, value);
  }
  ~Attribute() override { VariantClear(&m_value); }

  STDMETHODIMP get_Name(LONG* o) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_name < 0) return Fail(CAPICOM_E_ATTRIBUTE_NAME_NOT_INITIALIZED);
    return PutOut<LONG>(o, m_name);
  }
  STDMETHODIMP put_Name(LONG v) override {
    if (v < CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME || v > CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_DESCRIPTION)
      return Fail(CAPICOM_E_ATTRIBUTE_INVALID_NAME);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_name = v;
    return S_OK;
  }
  STDMETHODIMP get_Value(VARIANT* o) override {
    if (!o) return E_POINTER;
    VariantInit(o);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_value.vt == VT_EMPTY) return Fail(CAPICOM_E_ATTRIBUTE_VALUE_NOT_INITIALIZED);
    return VariantCopy(o, &m_value);
  }
  STDMETHODIMP put_Value(VARIANT v) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantCopyInd(&copy, &v);
    if (FAILED(hr)) return hr;
    VariantClear(&m_value);
    m_value = copy;
    return S_OK;
  }

 private:
  std::mutex m_mutex;
  long m_name = -1;
  VARIANT m_value;
};

class Attributes : public Collection<Attributes, IAttributes, IAttribute> {
  KX_ENGINE_DISPATCH(Attributes, IAttributes)

 public:
  STDMETHODIMP get_Item(LONG index, VARIANT* o) override { return ItemAt(index, o); }
  STDMETHODIMP get_Count(LONG* o) override { return CountOut(o); }
  // Adds a copy of the attribute as it is now; the value must be of the kind the name says (a date for the
  // signing time, text otherwise).
  STDMETHODIMP Add(IAttribute* a) override {
    return Guard([&] {
      if (!a) return Fail(E_POINTER);
      LONG name = 0;
      HRESULT hr = a->get_Name(&name);
      if (FAILED(hr)) return hr;
      _variant_t value;
      hr = a->get_Value(&value);
      if (FAILED(hr)) return hr;
      VARTYPE want = name == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME ? VT_DATE : VT_BSTR;
      _variant_t converted;
      if (FAILED(VariantChangeType(&converted, &value, 0, want))) return Fail(CAPICOM_E_ATTRIBUTE_INVALID_VALUE);
      IAttribute* copy = NewAttribute(name, &converted);
      Append(copy);
      copy->Release();
      return S_OK;
    });
  }
  STDMETHODIMP Remove(LONG index) override { return RemoveAt(index); }
  STDMETHODIMP Clear() override { return ClearAll(); }
};

// ---- Algorithm ----

class Algorithm : public kx::ComObject<Algorithm, IAlgorithm> {
  KX_ENGINE_DISPATCH(Algorithm, IAlgorithm)

 public:
  STDMETHODIMP get_Name(LONG* o) override { return PutOut<LONG>(o, m_name.load()); }
  STDMETHODIMP put_Name(LONG v) override {
    if (v < CAPICOM_ENCRYPTION_ALGORITHM_RC2 || v > CAPICOM_ENCRYPTION_ALGORITHM_AES)
      return Fail(CAPICOM_E_ALGORITHM_INVALID_NAME);
    m_name = v;
    return S_OK;
  }
  STDMETHODIMP get_KeyLength(LONG* o) override { return PutOut<LONG>(o, m_keyLength.load()); }
  STDMETHODIMP put_KeyLength(LONG v) override {
    if (v < CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM || v > CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS)
      return Fail(CAPICOM_E_ALGORITHM_INVALID_KEY_LENGTH);
    m_keyLength = v;
    return S_OK;
  }

 private:
  // A new algorithm object asks for AES at its maximum key length.
  std::atomic<LONG> m_name{CAPICOM_ENCRYPTION_ALGORITHM_AES};
  std::atomic<LONG> m_keyLength{CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM};
};

// ---- Utilities ----

class Utilities : public kx::ComObject<Utilities, IUtilities> {
  KX_ENGINE_DISPATCH(Utilities, IUtilities)

 public:
  STDMETHODIMP GetRandom(LONG length, LONG encoding, BSTR* o) override {
    return Guard([&] {
      if (length <= 0) return Fail(E_INVALIDARG, "invalid length");
      Bytes b(static_cast<size_t>(length));
      if (RAND_bytes_ex(LibCtx(), b.data(), b.size(), 0) != 1) return Fail(CAPICOM_E_INTERNAL, "no random bytes");
      return EncodeOut(b, encoding, o);
    });
  }
  STDMETHODIMP Base64Encode(BSTR s, BSTR* o) override {
    return Guard([&] { return EncodeOut(BstrBytes(s), CAPICOM_ENCODE_BASE64, o); });
  }
  STDMETHODIMP Base64Decode(BSTR s, BSTR* o) override {
    return Guard([&] {
      Bytes b;
      if (!kx::capi::Base64Decode(Utf8(s), b)) return Fail(E_INVALIDARG, "not base64 text");
      return PutOut(o, BytesBstr(b));
    });
  }
  STDMETHODIMP BinaryToHex(BSTR s, BSTR* o) override {
    return Guard([&] { return PutOut(o, TextBstr(HexUpper(BstrBytes(s)))); });
  }
  STDMETHODIMP HexToBinary(BSTR s, BSTR* o) override {
    return Guard([&] {
      std::string hex = Utf8(s);
      if (hex.size() % 2) return Fail(E_INVALIDARG, "odd number of hex digits");
      Bytes b;
      for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = kx::HexDigit(hex[i]), lo = kx::HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return Fail(E_INVALIDARG, "not hex text");
        b.push_back(static_cast<uint8_t>(hi * 16 + lo));
      }
      return PutOut(o, BytesBstr(b));
    });
  }
  STDMETHODIMP BinaryStringToByteArray(BSTR s, VARIANT* o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      VariantInit(o);
      Bytes b = BstrBytes(s);
      SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(b.size()));
      if (!sa) return E_OUTOFMEMORY;
      void* data = nullptr;
      if (!b.empty() && SUCCEEDED(SafeArrayAccessData(sa, &data))) {
        std::copy(b.begin(), b.end(), static_cast<uint8_t*>(data));
        SafeArrayUnaccessData(sa);
      }
      o->vt = VT_ARRAY | VT_UI1;
      o->parray = sa;
      return S_OK;
    });
  }
  STDMETHODIMP ByteArrayToBinaryString(VARIANT v, BSTR* o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = nullptr;
      SAFEARRAY* sa = nullptr;
      if (v.vt == (VT_ARRAY | VT_UI1)) sa = v.parray;
      else if (v.vt == (VT_ARRAY | VT_UI1 | VT_BYREF) && v.pparray) sa = *v.pparray;
      if (!sa || SafeArrayGetDim(sa) != 1) return Fail(DISP_E_TYPEMISMATCH, "not a byte array");
      LONG lo = 0, hi = -1;
      SafeArrayGetLBound(sa, 1, &lo);
      SafeArrayGetUBound(sa, 1, &hi);
      size_t n = hi >= lo ? static_cast<size_t>(hi - lo + 1) : 0;
      void* data = nullptr;
      if (n && FAILED(SafeArrayAccessData(sa, &data))) return E_FAIL;
      *o = BytesBstr(static_cast<const uint8_t*>(data), n);
      if (n) SafeArrayUnaccessData(sa);
      return S_OK;
    });
  }
  STDMETHODIMP LocalTimeToUTCTime(DATE local, DATE* o) override {
    // The local date as broken-down time, then as UTC.
    time_t asIfUtc = OleDateToTime(local);
    struct tm tmv {};
    gmtime_r(&asIfUtc, &tmv);
    tmv.tm_isdst = -1;
    time_t utc = mktime(&tmv);
    return PutOut<DATE>(o, TimeToOleDate(utc));
  }
  STDMETHODIMP UTCTimeToLocalTime(DATE utc, DATE* o) override {
    time_t t = OleDateToTime(utc);
    struct tm tmv {};
    localtime_r(&t, &tmv);
    return PutOut<DATE>(o, TimeToOleDate(timegm(&tmv)));
  }
};

}  // namespace

KX_ENGINE_CLASS(CLSID_Settings, Settings);
KX_ENGINE_CLASS(CLSID_OID, OIDObject);
KX_ENGINE_CLASS(CLSID_OIDs, OIDList);
KX_ENGINE_CLASS(CLSID_Attribute, Attribute);
KX_ENGINE_CLASS(CLSID_Attributes, Attributes);
KX_ENGINE_CLASS(CLSID_Algorithm, Algorithm);
KX_ENGINE_CLASS(CLSID_Utilities, Utilities);

long OidNameOf(const std::string& dotted) {
  for (const OidName& n : kOidNames)
    if (dotted == n.value) return n.name;
  return CAPICOM_OID_OTHER;
}

std::string OidValueOf(long name) {
  for (const OidName& n : kOidNames)
    if (n.name == name) return n.value;
  return std::string();
}

std::string OidFriendlyName(const std::string& dotted) {
  ASN1_OBJECT* o = OBJ_txt2obj(dotted.c_str(), 1);
  int nid = o ? OBJ_obj2nid(o) : NID_undef;
  ASN1_OBJECT_free(o);
  return nid != NID_undef ? std::string(OBJ_nid2ln(nid)) : dotted;
}

IOID* NewOID(const std::string& dottedValue) { return new OIDObject(dottedValue); }
IAttribute* NewAttribute(long name, const VARIANT* value) { return new Attribute(name, value); }
IAttributes* NewAttributes() { return new Attributes(); }
IAlgorithm* NewAlgorithm() { return new Algorithm(); }

}  // namespace kx::capi
