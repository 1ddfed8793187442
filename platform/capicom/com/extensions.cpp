// Read-only views of a certificate: key usage, extended key usage, basic constraints, extensions, extended
// properties, template, public key; and its private key.
#include <openssl/x509v3.h>

#include <algorithm>

#include "platform/capicom/com/objects.h"
#include "platform/com/bstr.h"
#include "platform/win32/textconv.h"

namespace kx::capi {
namespace {

class KeyUsageView : public kx::ComObject<KeyUsageView, IKeyUsage> {
  KX_ENGINE_DISPATCH(KeyUsageView, IKeyUsage)

 public:
  KeyUsageView() = default;
  explicit KeyUsageView(const KeyUsageInfo& i) : m_info(i) {}
  STDMETHODIMP get_IsPresent(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.present)); }
  STDMETHODIMP get_IsCritical(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.critical)); }
  STDMETHODIMP get_IsDigitalSignatureEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_DIGITAL_SIGNATURE); }
  STDMETHODIMP get_IsNonRepudiationEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_NON_REPUDIATION); }
  STDMETHODIMP get_IsKeyEnciphermentEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_KEY_ENCIPHERMENT); }
  STDMETHODIMP get_IsDataEnciphermentEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_DATA_ENCIPHERMENT); }
  STDMETHODIMP get_IsKeyAgreementEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_KEY_AGREEMENT); }
  STDMETHODIMP get_IsKeyCertSignEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_KEY_CERT_SIGN); }
  STDMETHODIMP get_IsCRLSignEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_CRL_SIGN); }
  STDMETHODIMP get_IsEncipherOnlyEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_ENCIPHER_ONLY); }
  STDMETHODIMP get_IsDecipherOnlyEnabled(VARIANT_BOOL* o) override { return Bit(o, KU_DECIPHER_ONLY); }

 private:
  HRESULT Bit(VARIANT_BOOL* o, uint32_t bit) { return PutOut(o, VBool(m_info.present && (m_info.bits & bit))); }
  KeyUsageInfo m_info;
};

class ExtendedKeyUsageView : public kx::ComObject<ExtendedKeyUsageView, IExtendedKeyUsage> {
  KX_ENGINE_DISPATCH(ExtendedKeyUsageView, IExtendedKeyUsage)

 public:
  ExtendedKeyUsageView() = default;
  explicit ExtendedKeyUsageView(const EkuInfo& i) : m_info(i) {}
  STDMETHODIMP get_IsPresent(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.present)); }
  STDMETHODIMP get_IsCritical(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.critical)); }
  STDMETHODIMP get_EKUs(IEKUs** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = NewEKUs(m_info.oids);
      return S_OK;
    });
  }

 private:
  EkuInfo m_info;
};

const long kEkuNames[] = {CAPICOM_EKU_SERVER_AUTH,     CAPICOM_EKU_CLIENT_AUTH,     CAPICOM_EKU_CODE_SIGNING,
                          CAPICOM_EKU_EMAIL_PROTECTION, CAPICOM_EKU_SMARTCARD_LOGON, CAPICOM_EKU_ENCRYPTING_FILE_SYSTEM};

long EkuNameOf(const std::string& oid) {
  for (long n : kEkuNames)
    if (EkuNameToOid(n) == oid) return n;
  return CAPICOM_EKU_OTHER;
}

class EKUObject : public kx::ComObject<EKUObject, IEKU> {
  KX_ENGINE_DISPATCH(EKUObject, IEKU)

 public:
  EKUObject() = default;
  EKUObject(long name, const std::string& oid) : m_name(name), m_oid(oid) {}
  STDMETHODIMP get_Name(LONG* o) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<LONG>(o, m_name);
  }
  STDMETHODIMP put_Name(LONG v) override {
    if (v < CAPICOM_EKU_OTHER || v > CAPICOM_EKU_ENCRYPTING_FILE_SYSTEM) return Fail(E_INVALIDARG, "invalid EKU name");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_name = v;
    m_oid = v == CAPICOM_EKU_OTHER ? std::string() : EkuNameToOid(v);
    return S_OK;
  }
  STDMETHODIMP get_OID(BSTR* o) override {
    if (!o) return E_POINTER;
    *o = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_oid.empty()) return Fail(CAPICOM_E_EKU_OID_NOT_INITIALIZED, "the EKU's OID is not set");
    *o = TextBstr(m_oid);
    return S_OK;
  }
  STDMETHODIMP put_OID(BSTR v) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_name != CAPICOM_EKU_OTHER) return Fail(CAPICOM_E_EKU_INVALID_OID, "the EKU's name is not \"other\"");
    m_oid = Utf8(v);
    return S_OK;
  }

 private:
  std::mutex m_mutex;
  long m_name = CAPICOM_EKU_OTHER;
  std::string m_oid;
};

class EKUList : public Collection<EKUList, IEKUs, IEKU> {
  KX_ENGINE_DISPATCH(EKUList, IEKUs)

 public:
  STDMETHODIMP get_Item(LONG index, VARIANT* o) override { return ItemAt(index, o); }
  STDMETHODIMP get_Count(LONG* o) override { return CountOut(o); }
};

class BasicConstraintsView : public kx::ComObject<BasicConstraintsView, IBasicConstraints> {
  KX_ENGINE_DISPATCH(BasicConstraintsView, IBasicConstraints)

 public:
  BasicConstraintsView() = default;
  explicit BasicConstraintsView(const BasicConstraintsInfo& i) : m_info(i) {}
  STDMETHODIMP get_IsPresent(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.present)); }
  STDMETHODIMP get_IsCritical(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.critical)); }
  STDMETHODIMP get_IsCertificateAuthority(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.ca)); }
  STDMETHODIMP get_IsPathLenConstraintPresent(VARIANT_BOOL* o) override {
    return PutOut(o, VBool(m_info.pathLenPresent));
  }
  STDMETHODIMP get_PathLenConstraint(LONG* o) override { return PutOut<LONG>(o, m_info.pathLen); }

 private:
  BasicConstraintsInfo m_info;
};

class EncodedDataObject : public kx::ComObject<EncodedDataObject, IEncodedData> {
  KX_ENGINE_DISPATCH(EncodedDataObject, IEncodedData)

 public:
  EncodedDataObject(const Bytes& v, std::function<std::string(bool)> f) : m_value(v), m_format(std::move(f)) {}
  STDMETHODIMP get_Value(LONG encoding, BSTR* o) override {
    return Guard([&] { return EncodeOut(m_value, encoding, o); });
  }
  STDMETHODIMP Format(VARIANT_BOOL multiLine, BSTR* o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      std::string text;
      if (m_format) {
        text = m_format(multiLine != 0);
      } else {
        std::string hex = HexUpper(m_value);
        for (size_t i = 0; i < hex.size(); i += 2) text += (i ? " " : "") + hex.substr(i, 2);
      }
      *o = TextBstr(text);
      return S_OK;
    });
  }

 private:
  Bytes m_value;
  std::function<std::string(bool)> m_format;
};

class ExtensionObject : public kx::ComObject<ExtensionObject, IExtension> {
  KX_ENGINE_DISPATCH(ExtensionObject, IExtension)

 public:
  ExtensionObject(CertRef cert, int index, ExtensionInfo info)
      : m_cert(std::move(cert)), m_index(index), m_info(std::move(info)) {}
  STDMETHODIMP get_OID(IOID** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = NewOID(m_info.oid);
      return S_OK;
    });
  }
  STDMETHODIMP get_IsCritical(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.critical)); }
  STDMETHODIMP get_EncodedData(IEncodedData** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      CertRef cert = m_cert;
      int index = m_index;
      *o = NewEncodedData(m_info.value, [cert, index](bool multi) {
        return FormatExtension(X509_get_ext(cert->x509(), index), multi);
      });
      return S_OK;
    });
  }

 private:
  CertRef m_cert;
  int m_index;
  ExtensionInfo m_info;
};

class ExtensionList : public Collection<ExtensionList, IExtensions, IExtension> {
  KX_ENGINE_DISPATCH(ExtensionList, IExtensions)

 public:
  ExtensionList() = default;
  explicit ExtensionList(const CertRef& cert) {
    std::vector<ExtensionInfo> exts = cert->extensions();
    for (size_t i = 0; i < exts.size(); ++i) {
      m_oids.push_back(exts[i].oid);
      auto* e = new ExtensionObject(cert, static_cast<int>(i), exts[i]);
      Append(e);
      e->Release();
    }
  }
  STDMETHODIMP get_Item(VARIANT index, VARIANT* o) override {
    return Guard([&] {
      if (index.vt == VT_BSTR) {
        std::string oid = Utf8(index.bstrVal);
        auto it = std::find(m_oids.begin(), m_oids.end(), oid);
        if (it == m_oids.end()) {
          if (o) VariantInit(o);
          return Fail(CRYPT_E_NOT_FOUND, "no such extension");
        }
        return ItemAt(static_cast<long>(it - m_oids.begin()) + 1, o);
      }
      return ItemAt(VariantIndex(index), o);
    });
  }
  STDMETHODIMP get_Count(LONG* o) override { return CountOut(o); }

 private:
  std::vector<std::string> m_oids;
};

class ExtendedPropertyObject : public kx::ComObject<ExtendedPropertyObject, IExtendedProperty> {
  KX_ENGINE_DISPATCH(ExtendedPropertyObject, IExtendedProperty)

 public:
  ExtendedPropertyObject(long id, Bytes value) : m_id(id), m_value(std::move(value)) {}
  STDMETHODIMP get_PropID(LONG* o) override { return PutOut<LONG>(o, m_id); }
  STDMETHODIMP get_Value(LONG encoding, BSTR* o) override {
    return Guard([&] { return EncodeOut(m_value, encoding, o); });
  }

 private:
  long m_id;
  Bytes m_value;
};

class ExtendedPropertyList : public Collection<ExtendedPropertyList, IExtendedProperties, IExtendedProperty> {
  KX_ENGINE_DISPATCH(ExtendedPropertyList, IExtendedProperties)

 public:
  ExtendedPropertyList() = default;
  explicit ExtendedPropertyList(const StoreEntry& e) {
    std::string thumb = e.cert->thumbprint();
    Bytes hash;
    for (size_t i = 0; i + 1 < thumb.size(); i += 2)
      hash.push_back(static_cast<uint8_t>(std::stoi(thumb.substr(i, 2), nullptr, 16)));
    Add(CAPICOM_PROPID_SHA1_HASH, hash);
    if (!e.friendlyName.empty()) {
      std::u16string w = kx::Utf8ToUtf16(e.friendlyName);
      const uint8_t* p = reinterpret_cast<const uint8_t*>(w.data());
      Add(CAPICOM_PROPID_FRIENDLY_NAME, Bytes(p, p + w.size() * 2));
    }
    if (e.archived) Add(CAPICOM_PROPID_ARCHIVED, Bytes());
  }
  STDMETHODIMP get_Item(LONG propId, VARIANT* o) override {
    return Guard([&] {
      auto it = std::find(m_ids.begin(), m_ids.end(), propId);
      if (it == m_ids.end()) {
        if (o) VariantInit(o);
        return Fail(CRYPT_E_NOT_FOUND, "the certificate has no such property");
      }
      return ItemAt(static_cast<long>(it - m_ids.begin()) + 1, o);
    });
  }
  STDMETHODIMP get_Count(LONG* o) override { return CountOut(o); }

 private:
  void Add(long id, const Bytes& value) {
    auto* p = new ExtendedPropertyObject(id, value);
    Append(p);
    p->Release();
    m_ids.push_back(id);
  }
  std::vector<long> m_ids;
};

class TemplateView : public kx::ComObject<TemplateView, ITemplate> {
  KX_ENGINE_DISPATCH(TemplateView, ITemplate)

 public:
  explicit TemplateView(const TemplateInfo& i) : m_info(i) {}
  STDMETHODIMP get_IsPresent(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.present)); }
  STDMETHODIMP get_IsCritical(VARIANT_BOOL* o) override { return PutOut(o, VBool(m_info.critical)); }
  STDMETHODIMP get_Name(BSTR* o) override { return PutOut(o, TextBstr(m_info.name)); }
  STDMETHODIMP get_OID(IOID** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = NewOID(m_info.oid);
      return S_OK;
    });
  }
  STDMETHODIMP get_MajorVersion(LONG* o) override { return PutOut<LONG>(o, m_info.majorVersion); }
  STDMETHODIMP get_MinorVersion(LONG* o) override { return PutOut<LONG>(o, m_info.minorVersion); }

 private:
  TemplateInfo m_info;
};

class PublicKeyView : public kx::ComObject<PublicKeyView, IPublicKey> {
  KX_ENGINE_DISPATCH(PublicKeyView, IPublicKey)

 public:
  explicit PublicKeyView(const PublicKeyInfo& i) : m_info(i) {}
  STDMETHODIMP get_Algorithm(IOID** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = NewOID(m_info.algorithmOid);
      return S_OK;
    });
  }
  STDMETHODIMP get_Length(LONG* o) override { return PutOut<LONG>(o, m_info.bits); }
  STDMETHODIMP get_EncodedKey(IEncodedData** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = NewEncodedData(m_info.encodedKey);
      return S_OK;
    });
  }
  STDMETHODIMP get_EncodedParameters(IEncodedData** o) override {
    return Guard([&] {
      if (!o) return E_POINTER;
      *o = NewEncodedData(m_info.encodedParams);
      return S_OK;
    });
  }

 private:
  PublicKeyInfo m_info;
};

class PrivateKeyObject : public kx::ComObject<PrivateKeyObject, IPrivateKey> {
  KX_ENGINE_DISPATCH(PrivateKeyObject, IPrivateKey)

 public:
  PrivateKeyObject() = default;
  explicit PrivateKeyObject(const std::optional<KeyLink>& link) : m_link(link) {}

  STDMETHODIMP get_ContainerName(BSTR* o) override { return Text(o, [](const KeyLink& l) { return l.container; }); }
  STDMETHODIMP get_UniqueContainerName(BSTR* o) override {
    return Text(o, [](const KeyLink& l) {
      return l.uri.empty() ? KeyDir(l.machine) + "/" + l.container + ".key" : l.uri;
    });
  }
  STDMETHODIMP get_ProviderName(BSTR* o) override { return Text(o, [](const KeyLink& l) { return l.providerName; }); }
  STDMETHODIMP get_ProviderType(LONG* o) override { return Value(o, [](const KeyLink& l) { return l.providerType; }); }
  STDMETHODIMP get_KeySpec(LONG* o) override { return Value(o, [](const KeyLink& l) { return l.keySpec; }); }
  STDMETHODIMP IsAccessible(VARIANT_BOOL* o) override {
    // A token's key is there while its token is: asking for it would ask for the PIN.
    return Flag(o, [](const KeyLink& l) { return l.uri.empty() ? LoadKey(l) != nullptr : KeyExists(l); });
  }
  STDMETHODIMP IsProtected(VARIANT_BOOL* o) override { return Flag(o, [](const KeyLink& l) { return l.userProtected; }); }
  STDMETHODIMP IsExportable(VARIANT_BOOL* o) override { return Flag(o, [](const KeyLink& l) { return l.exportable; }); }
  // Keys live in files of this system, or on a token (linked by its PKCS#11 URI).
  STDMETHODIMP IsRemovable(VARIANT_BOOL* o) override {
    return Flag(o, [](const KeyLink& l) { return !l.uri.empty(); });
  }
  STDMETHODIMP IsMachineKeyset(VARIANT_BOOL* o) override { return Flag(o, [](const KeyLink& l) { return l.machine; }); }
  STDMETHODIMP IsHardwareDevice(VARIANT_BOOL* o) override {
    return Flag(o, [](const KeyLink& l) { return !l.uri.empty(); });
  }
  STDMETHODIMP Open(BSTR container, BSTR provider, LONG providerType, LONG keySpec, LONG storeLocation,
                    VARIANT_BOOL checkExistence) override {
    return Guard([&] {
      KeyLink l;
      bool machine = storeLocation == CAPICOM_LOCAL_MACHINE_STORE;
      std::string name = Utf8(container);
      if (!ValidContainerName(name)) return Fail(NTE_BAD_KEYSET, "invalid key container name");
      bool exists = ReadKeyLink(name, machine, l);
      if (checkExistence && !exists) return Fail(NTE_BAD_KEYSET, "the key container does not exist");
      if (!exists) {
        l = KeyLink();
        l.container = name;
        l.machine = machine;
      }
      l.providerName = Utf8(provider);
      l.providerType = providerType;
      l.keySpec = keySpec;
      std::lock_guard<std::mutex> lock(m_mutex);
      m_link = l;
      return S_OK;
    });
  }
  STDMETHODIMP Delete() override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_link) return Fail(NTE_BAD_KEYSET, "no key container is open");
      HRESULT hr = DeleteKey(*m_link);
      return FAILED(hr) ? Fail(hr, "the key container cannot be deleted") : S_OK;
    });
  }

 private:
  template <class F>
  HRESULT Text(BSTR* o, F get) {
    if (!o) return E_POINTER;
    *o = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_link) return Fail(NTE_BAD_KEYSET, "no key container is open");
    *o = TextBstr(get(*m_link));
    return S_OK;
  }
  template <class F>
  HRESULT Value(LONG* o, F get) {
    if (!o) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_link) return Fail(NTE_BAD_KEYSET, "no key container is open");
    *o = static_cast<LONG>(get(*m_link));
    return S_OK;
  }
  template <class F>
  HRESULT Flag(VARIANT_BOOL* o, F get) {
    if (!o) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_link) return Fail(NTE_BAD_KEYSET, "no key container is open");
    *o = VBool(get(*m_link));
    return S_OK;
  }

  std::mutex m_mutex;
  std::optional<KeyLink> m_link;
};

}  // namespace

KX_ENGINE_CLASS(CLSID_KeyUsage, KeyUsageView);
KX_ENGINE_CLASS(CLSID_ExtendedKeyUsage, ExtendedKeyUsageView);
KX_ENGINE_CLASS(CLSID_EKU, EKUObject);
KX_ENGINE_CLASS(CLSID_EKUs, EKUList);
KX_ENGINE_CLASS(CLSID_BasicConstraints, BasicConstraintsView);

IKeyUsage* NewKeyUsage(const KeyUsageInfo& info) { return new KeyUsageView(info); }
IExtendedKeyUsage* NewExtendedKeyUsage(const EkuInfo& info) { return new ExtendedKeyUsageView(info); }
IBasicConstraints* NewBasicConstraints(const BasicConstraintsInfo& info) { return new BasicConstraintsView(info); }
ITemplate* NewTemplate(const TemplateInfo& info) { return new TemplateView(info); }
IPublicKey* NewPublicKey(const PublicKeyInfo& info) { return new PublicKeyView(info); }
IPrivateKey* NewPrivateKey(std::shared_ptr<CertHolder> holder) { return new PrivateKeyObject(holder->Get().key); }
IExtensions* NewExtensions(const CertRef& cert) { return new ExtensionList(cert); }
IExtendedProperties* NewExtendedProperties(const StoreEntry& entry) { return new ExtendedPropertyList(entry); }

IEKU* NewEKU(long name, const std::string& oid) { return new EKUObject(name, oid); }

IEKUs* NewEKUs(const std::vector<std::string>& oids) {
  auto* list = new EKUList();
  for (const std::string& oid : oids) {
    IEKU* e = NewEKU(EkuNameOf(oid), oid);
    list->Append(e);
    e->Release();
  }
  return list;
}

IEncodedData* NewEncodedData(const Bytes& value, std::function<std::string(bool)> format) {
  return new EncodedDataObject(value, std::move(format));
}

}  // namespace kx::capi
