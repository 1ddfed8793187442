// Signer, Signers and Recipients objects, and what the message objects share inside the module.
#include <mutex>

#include "platform/capicom/cms/com_internal.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/com/bstr.h"
#include "platform/pkcs11/pkcs11.h"

namespace kx::capi {
namespace {

X509Ref OwnRef(X509* x) { return kxcms::Ref(x); }

// A collection of interfaces counted from 1, handed out as IDispatch VARIANTs.
template <class I>
HRESULT ItemOut(const std::vector<Ref<I>>& items, LONG index, VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  if (index < 1 || static_cast<size_t>(index) > items.size()) return Fail(E_INVALIDARG, "index out of range");
  DispatchVariant(items[static_cast<size_t>(index) - 1].get(), out);
  return S_OK;
}

class Signer : public kx::ComObject<Signer, ISigner2, IEngineSigner> {
  KX_ENGINE_DISPATCH(Signer, ISigner)

 public:
  Signer() : m_attributes(Ref<IAttributes>::Adopt(NewAttributes())) {}
  Signer(const StoreEntry& entry, const std::vector<kxcms::Attribute>& attributes, const ChainResult* chain,
         const std::vector<CertRef>& messageCerts)
      : m_certificate(Ref<ICertificate>::Adopt(NewCertificate(entry))),
        m_attributes(Ref<IAttributes>::Adopt(AttributesOf(attributes))),
        m_messageCerts(messageCerts) {
    if (chain) m_chain = *chain;
  }

  // IEngineSigner
  PKeyPtr LoadedKey() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_loadedKey) EVP_PKEY_up_ref(m_loadedKey.get());
    return PKeyPtr(m_loadedKey.get());
  }
  std::vector<CertRef> LoadedCertificates() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_loadedCerts;
  }

  STDMETHODIMP get_Certificate(ICertificate** out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutInterface(out, m_certificate.get());
  }
  STDMETHODIMP put_Certificate(ICertificate* c) override {
    if (!c) return Fail(E_POINTER);
    StoreEntry e;
    if (!EngineCertificate(c, e)) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
    c->AddRef();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_certificate = Ref<ICertificate>::Adopt(c);
    // Another certificate: the key of a loaded file and an earlier chain no longer belong to it.
    m_loadedKey.reset();
    m_loadedCerts.clear();
    m_chain.reset();
    return S_OK;
  }
  STDMETHODIMP get_Options(LONG* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<LONG>(out, m_options);
  }
  STDMETHODIMP put_Options(LONG v) override {
    if (v < CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT || v > CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY)
      return Fail(E_INVALIDARG, "unknown certificate include option");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options = v;
    return S_OK;
  }
  STDMETHODIMP get_AuthenticatedAttributes(IAttributes** out) override {
    return PutInterface(out, m_attributes.get());
  }
  STDMETHODIMP get_Chain(IChain** out) override {
    return Guard([&] {
      if (!out) return Fail(E_POINTER);
      *out = nullptr;
      std::unique_lock<std::mutex> lock(m_mutex);
      if (!m_chain) {
        Ref<ICertificate> cert = m_certificate;
        std::vector<CertRef> extra = m_messageCerts;
        extra.insert(extra.end(), m_loadedCerts.begin(), m_loadedCerts.end());
        lock.unlock();
        StoreEntry e;
        if (!cert || !EngineCertificate(cert.get(), e)) return Fail(CAPICOM_E_SIGNER_NOT_INITIALIZED, "no signer certificate");
        ChainResult r = BuildChain(e.cert, EngineStatusParams(cert.get()), extra);
        lock.lock();
        if (!m_chain) m_chain = r;
      }
      *out = NewChain(*m_chain);
      return S_OK;
    });
  }
  STDMETHODIMP Load(BSTR fileName, BSTR password) override {
    return Guard([&] {
      Bytes data;
      std::string path = Utf8(fileName);
      if (path.empty() || !ReadWholeFile(path, data)) return Fail(CAPICOM_HR_FILE_NOT_FOUND, "cannot read " + path);
      PfxContents pfx;
      HRESULT hr = ReadPfx(data.data(), data.size(), Utf8(password), pfx);
      if (FAILED(hr)) return Fail(hr, "the PFX file cannot be opened with this password");
      if (!pfx.key) return Fail(CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY, "the PFX file holds no private key");
      StoreEntry e;
      e.cert = pfx.cert;
      std::lock_guard<std::mutex> lock(m_mutex);
      m_certificate = Ref<ICertificate>::Adopt(NewCertificate(e));
      m_loadedKey = std::move(pfx.key);
      m_loadedCerts = pfx.others;
      m_chain.reset();
      return S_OK;
    });
  }

 private:
  std::mutex m_mutex;
  Ref<ICertificate> m_certificate;
  LONG m_options = CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT;
  Ref<IAttributes> m_attributes;
  std::optional<ChainResult> m_chain;
  std::vector<CertRef> m_messageCerts;
  PKeyPtr m_loadedKey;
  std::vector<CertRef> m_loadedCerts;
};

class Signers : public kx::ComObject<Signers, ISigners> {
  KX_ENGINE_DISPATCH(Signers, ISigners)

 public:
  explicit Signers(std::vector<Ref<ISigner2>> items = {}) : m_items(std::move(items)) {}
  STDMETHODIMP get_Item(LONG index, VARIANT* out) override { return ItemOut(m_items, index, out); }
  STDMETHODIMP get_Count(LONG* out) override { return PutOut<LONG>(out, static_cast<LONG>(m_items.size())); }

 private:
  const std::vector<Ref<ISigner2>> m_items;
};

class Recipients : public kx::ComObject<Recipients, IRecipients> {
  KX_ENGINE_DISPATCH(Recipients, IRecipients)

 public:
  STDMETHODIMP get_Item(LONG index, VARIANT* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return ItemOut(m_items, index, out);
  }
  STDMETHODIMP get_Count(LONG* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<LONG>(out, static_cast<LONG>(m_items.size()));
  }
  STDMETHODIMP Add(ICertificate* c) override {
    if (!c) return Fail(E_POINTER);
    StoreEntry e;
    if (!EngineCertificate(c, e)) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
    c->AddRef();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.push_back(Ref<ICertificate>::Adopt(c));
    return S_OK;
  }
  STDMETHODIMP Remove(LONG index) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 1 || static_cast<size_t>(index) > m_items.size()) return Fail(E_INVALIDARG, "index out of range");
    m_items.erase(m_items.begin() + (index - 1));
    return S_OK;
  }
  STDMETHODIMP Clear() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.clear();
    return S_OK;
  }

 private:
  std::mutex m_mutex;
  std::vector<Ref<ICertificate>> m_items;
};

}  // namespace

KX_ENGINE_CLASS(CLSID_Signer, Signer);
KX_ENGINE_CLASS(CLSID_Signers, Signers);
KX_ENGINE_CLASS(CLSID_Recipients, Recipients);

ISigner2* NewMessageSigner(const StoreEntry& entry, const std::vector<kxcms::Attribute>& attributes,
                           const ChainResult* chain, const std::vector<CertRef>& messageCerts) {
  return new Signer(entry, attributes, chain, messageCerts);
}
ISigners* NewSigners(std::vector<Ref<ISigner2>> signers) { return new Signers(std::move(signers)); }
IRecipients* NewRecipients() { return new Recipients(); }

HRESULT AttributeOf(long name, const VARIANT& value, kxcms::Attribute& out) {
  out = kxcms::Attribute();
  out.name = name;
  _variant_t converted;
  const VARTYPE want = name == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME ? VT_DATE : VT_BSTR;
  if (FAILED(VariantChangeType(&converted, &value, 0, want))) return CAPICOM_E_ATTRIBUTE_INVALID_VALUE;
  if (want == VT_DATE) {
    out.time = OleDateToTime(converted.date);
  } else if (converted.bstrVal) {
    out.text.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
  }
  return S_OK;
}

IAttributes* AttributesOf(const std::vector<kxcms::Attribute>& attributes) {
  IAttributes* list = NewAttributes();
  for (const kxcms::Attribute& a : attributes) {
    _variant_t v;
    if (a.name == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME) {
      v.vt = VT_DATE;
      v.date = TimeToOleDate(a.time);
    } else {
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocStringLen(a.text.data(), static_cast<UINT>(a.text.size()));
    }
    auto item = Ref<IAttribute>::Adopt(NewAttribute(a.name, &v));
    list->Add(item.get());
  }
  return list;
}

HRESULT ReadSigner(ISigner* signer, SignerMaterial& out) {
  out = SignerMaterial();
  if (!signer) return Fail(CAPICOM_E_SIGNER_NOT_INITIALIZED, "no signer");
  ICertificate* c = nullptr;
  HRESULT hr = signer->get_Certificate(&c);
  auto cert = Ref<ICertificate>::Adopt(c);
  if (FAILED(hr)) return hr;
  if (!cert || !EngineCertificate(cert.get(), out.entry))
    return Fail(CAPICOM_E_SIGNER_NOT_INITIALIZED, "the signer has no certificate");
  LONG option = 0;
  hr = signer->get_Options(&option);
  if (FAILED(hr)) return hr;
  out.includeOption = option;

  IAttributes* a = nullptr;
  hr = signer->get_AuthenticatedAttributes(&a);
  auto attributes = Ref<IAttributes>::Adopt(a);
  if (FAILED(hr)) return hr;
  LONG count = 0;
  if (attributes && SUCCEEDED(attributes->get_Count(&count))) {
    for (LONG i = 1; i <= count; ++i) {
      _variant_t item;
      hr = attributes->get_Item(i, &item);
      if (FAILED(hr)) return hr;
      IAttribute* at = nullptr;
      if (item.vt != VT_DISPATCH || !item.pdispVal ||
          FAILED(item.pdispVal->QueryInterface(IID_IAttribute, reinterpret_cast<void**>(&at))))
        return Fail(CAPICOM_E_ATTRIBUTE_INVALID_VALUE, "an attribute of the signer cannot be read");
      auto attribute = Ref<IAttribute>::Adopt(at);
      LONG name = 0;
      _variant_t value;
      hr = attribute->get_Name(&name);
      if (SUCCEEDED(hr)) hr = attribute->get_Value(&value);
      kxcms::Attribute one;
      if (SUCCEEDED(hr)) hr = AttributeOf(name, value, one);
      if (FAILED(hr)) return Fail(hr, "an attribute of the signer cannot be read");
      out.attributes.push_back(std::move(one));
    }
  }

  // The key: one loaded from a PFX file into the signer, else the one its certificate is linked to.
  IEngineSigner* own = nullptr;
  if (SUCCEEDED(signer->QueryInterface(IID_IEngineSigner, reinterpret_cast<void**>(&own)))) {
    out.key = own->LoadedKey();
    out.extraCertificates = own->LoadedCertificates();
    own->Release();
  }
  if (!out.key && out.entry.key) out.key = LoadKey(*out.entry.key);
  // A token says why its key cannot be used (a cancelled PIN, a token that is gone).
  if (!out.key && out.entry.key && !out.entry.key->uri.empty() && !kx::p11::LastError().empty())
    return Fail(CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY, kx::p11::LastError());
  if (!out.key || !KeyMatches(out.key.get(), *out.entry.cert))
    return Fail(CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY, "the signer certificate's private key is not available");
  return S_OK;
}

kxcms::SignerParams SignerParamsOf(const SignerMaterial& material, const TrustSources& pool) {
  kxcms::SignerParams p;
  p.certificate = material.entry.cert->x509();
  p.privateKey = material.key.get();
  p.includeOption = material.includeOption;
  p.attributes = material.attributes;
  for (const CertRef& c : material.extraCertificates) p.chainCandidates.push_back(c->x509());
  for (const CertRef& c : pool.intermediates) p.chainCandidates.push_back(c->x509());
  for (const CertRef& c : pool.roots) p.chainCandidates.push_back(c->x509());
  return p;
}

kxcms::ChainCheck EngineChainCheck(std::function<void(X509*, const ChainResult&)> seen) {
  return [seen](X509* cert, const std::vector<X509*>& untrusted, time_t at, const char* usageOid,
                std::vector<X509Ref>* chain, std::string* detail) -> HRESULT {
    ChainParams params;
    params.verificationTime = TimeToOleDate(at);
    if (usageOid) params.usageOid = usageOid;
    std::vector<CertRef> extra;
    for (X509* u : untrusted) extra.push_back(CertData::FromX509(u));
    ChainResult r = BuildChain(CertData::FromX509(cert), params, extra);
    if (chain) {
      chain->clear();
      for (const CertRef& c : r.certs) chain->push_back(OwnRef(c->x509()));
    }
    if (seen) seen(cert, r);
    if (r.valid) return S_OK;
    if (detail) {
      for (const std::string& e : r.errorText)
        if (!e.empty()) {
          *detail = "certificate chain: " + e;
          break;
        }
    }
    return FAILED(r.error) ? r.error : CERT_E_CHAINING;
  };
}

const uint8_t* DerBytes(BSTR message, size_t* size) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(message);
  *size = message ? SysStringByteLen(message) : 0;
  return *size && bytes[0] == 0x30 ? bytes : nullptr;
}

Bytes MessageIn(BSTR message) {
  size_t size = 0;
  if (const uint8_t* der = DerBytes(message, &size)) return Bytes(der, der + size);
  Bytes decoded;
  return Base64Decode(Utf8(message), decoded) ? decoded : BstrBytes(message);
}

HRESULT OutputStart(LONG encoding, BSTR* out) {
  if (!out) return Fail(E_POINTER);
  *out = nullptr;
  if (encoding != CAPICOM_ENCODE_BASE64 && encoding != CAPICOM_ENCODE_BINARY)
    return Fail(CAPICOM_E_ENCODE_INVALID_TYPE, "invalid encoding type");
  return S_OK;
}

HRESULT ContentOut(const Bytes& content, bool present, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!present) return S_OK;
  *out = BytesBstr(content);
  return *out || content.empty() ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kx::capi
