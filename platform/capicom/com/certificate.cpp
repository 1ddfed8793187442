// Certificate, its status object, and the Certificates collection.
#include <openssl/err.h>

#include "platform/capicom/com/objects.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/capicom/display.h"
#include "platform/com/bstr.h"
#include "platform/win32/errors.h"

namespace kx::capi {

IKeyUsage* NewKeyUsage(const KeyUsageInfo& info);
IExtendedKeyUsage* NewExtendedKeyUsage(const EkuInfo& info);
IBasicConstraints* NewBasicConstraints(const BasicConstraintsInfo& info);
ITemplate* NewTemplate(const TemplateInfo& info);
IPublicKey* NewPublicKey(const PublicKeyInfo& info);
IPrivateKey* NewPrivateKey(std::shared_ptr<CertHolder> holder);
IExtensions* NewExtensions(const CertRef& cert);
IExtendedProperties* NewExtendedProperties(const StoreEntry& entry);

namespace {

// ---- CertificateStatus ----

class CertificateStatus : public kx::ComObject<CertificateStatus, ICertificateStatus2> {
  KX_ENGINE_DISPATCH(CertificateStatus, ICertificateStatus)

 public:
  CertificateStatus() : m_holder(std::make_shared<CertHolder>()) {}
  explicit CertificateStatus(std::shared_ptr<CertHolder> holder) : m_holder(std::move(holder)) {}

  ChainParams Params() {
    ChainParams p;
    Ref<IEKU> eku;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      p = m_params;
      eku = m_eku;
    }
    if (eku) {
      LONG name = CAPICOM_EKU_OTHER;
      eku->get_Name(&name);
      if (name != CAPICOM_EKU_OTHER) {
        p.usageOid = EkuNameToOid(name);
      } else {
        BSTR oid = nullptr;
        if (SUCCEEDED(eku->get_OID(&oid))) p.usageOid = Utf8(oid);
        SysFreeString(oid);
      }
    }
    return p;
  }

  STDMETHODIMP get_Result(VARIANT_BOOL* out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      ChainResult r = BuildChain(e.cert, Params());
      // Callers that see false read the reason as the thread's last error.
      SetLastError(static_cast<DWORD>(r.valid ? S_OK : r.error));
      *out = VBool(r.valid);
      return S_OK;
    });
  }
  STDMETHODIMP get_CheckFlag(LONG* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<LONG>(out, m_params.checkFlags);
  }
  STDMETHODIMP put_CheckFlag(LONG v) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_params.checkFlags = v;
    return S_OK;
  }
  STDMETHODIMP EKU(IEKU** out) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_eku) m_eku = Ref<IEKU>::Adopt(NewEKU(CAPICOM_EKU_OTHER, std::string()));
      return PutInterface<IEKU>(out, m_eku.get());
    });
  }
  STDMETHODIMP get_VerificationTime(DATE* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<DATE>(out, m_params.verificationTime > 0 ? m_params.verificationTime : TimeToOleDate(time(nullptr)));
  }
  STDMETHODIMP put_VerificationTime(DATE v) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_params.verificationTime = v;
    return S_OK;
  }
  STDMETHODIMP get_UrlRetrievalTimeout(LONG* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PutOut<LONG>(out, m_params.urlRetrievalTimeout);
  }
  STDMETHODIMP put_UrlRetrievalTimeout(LONG v) override {
    if (v < 0) return Fail(E_INVALIDARG);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_params.urlRetrievalTimeout = v;
    return S_OK;
  }

 private:
  std::shared_ptr<CertHolder> m_holder;
  std::mutex m_mutex;
  ChainParams m_params;
  Ref<IEKU> m_eku;
};

// ---- Certificate ----

class Certificate : public kx::ComObject<Certificate, ICertificate2, IEngineCertificate> {
  KX_ENGINE_DISPATCH(Certificate, ICertificate)

 public:
  Certificate() : m_holder(std::make_shared<CertHolder>()) {}
  explicit Certificate(const StoreEntry& e) : Certificate() { m_holder->entry = e; }

  // IEngineCertificate
  std::shared_ptr<CertHolder> Holder() override { return m_holder; }
  ChainParams StatusParams() override { return Status()->Params(); }

  STDMETHODIMP get_Version(LONG* out) override {
    return Read(out, [](const CertData& c) { return static_cast<LONG>(c.version()); });
  }
  STDMETHODIMP get_SerialNumber(BSTR* out) override {
    return ReadText(out, [](const CertData& c) { return c.serialNumber(); });
  }
  STDMETHODIMP get_SubjectName(BSTR* out) override {
    return ReadText(out, [](const CertData& c) { return c.subjectName(); });
  }
  STDMETHODIMP get_IssuerName(BSTR* out) override {
    return ReadText(out, [](const CertData& c) { return c.issuerName(); });
  }
  STDMETHODIMP get_ValidFromDate(DATE* out) override {
    return Read(out, [](const CertData& c) { return c.notBefore(); });
  }
  STDMETHODIMP get_ValidToDate(DATE* out) override {
    return Read(out, [](const CertData& c) { return c.notAfter(); });
  }
  STDMETHODIMP get_Thumbprint(BSTR* out) override {
    return ReadText(out, [](const CertData& c) { return c.thumbprint(); });
  }
  STDMETHODIMP HasPrivateKey(VARIANT_BOOL* out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = VBool(e.key && KeyExists(*e.key));
      return S_OK;
    });
  }
  STDMETHODIMP GetInfo(LONG type, BSTR* out) override {
    if (type < CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME || type > CAPICOM_CERT_INFO_ISSUER_DNS_NAME) {
      if (out) *out = nullptr;
      return Fail(E_INVALIDARG, "invalid certificate information type");
    }
    return ReadText(out, [type](const CertData& c) { return c.nameInfo(type); });
  }
  STDMETHODIMP IsValid(ICertificateStatus** out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (!m_holder->Get().cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      return PutInterface<ICertificateStatus>(out, Status());
    });
  }
  STDMETHODIMP KeyUsage(IKeyUsage** out) override {
    return Make(out, [](const CertData& c) { return NewKeyUsage(c.keyUsage()); });
  }
  STDMETHODIMP ExtendedKeyUsage(IExtendedKeyUsage** out) override {
    return Make(out, [](const CertData& c) { return NewExtendedKeyUsage(c.extendedKeyUsage()); });
  }
  STDMETHODIMP BasicConstraints(IBasicConstraints** out) override {
    return Make(out, [](const CertData& c) { return NewBasicConstraints(c.basicConstraints()); });
  }
  STDMETHODIMP Export(LONG encoding, BSTR* out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      return EncodeOut(e.cert->der(), encoding, out);
    });
  }
  STDMETHODIMP Import(BSTR encoded) override {
    return Guard([&] {
      Bytes raw = BstrBytes(encoded);
      HRESULT hr = CRYPT_E_ASN1_BADTAG;
      CertRef c = CertData::Parse(raw, &hr);
      if (!c) c = CertData::Parse(BytesOf(Utf8(encoded)), &hr);  // text given as a wide string
      if (!c) return Fail(hr, "the data is not a certificate");
      SetEntry(c);
      return S_OK;
    });
  }
  STDMETHODIMP Display() override {
    // The certificate dialog belongs to the user interface, which registers one.
    CertificateDisplayFn show = GetCertificateDisplay();
    if (!show) return Fail(E_NOTIMPL, "no certificate dialog is available");
    StoreEntry e = m_holder->Get();
    if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
    const Bytes& der = e.cert->der();
    HRESULT hr = show(der.data(), der.size());
    return FAILED(hr) ? Fail(hr) : S_OK;
  }

  STDMETHODIMP get_Archived(VARIANT_BOOL* out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = VBool(e.archived);
      return S_OK;
    });
  }
  STDMETHODIMP put_Archived(VARIANT_BOOL v) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_holder->mutex);
      if (!m_holder->entry.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      StoreEntry changed = m_holder->entry;
      changed.archived = v != 0;
      HRESULT hr = WriteEntryProperties(changed);
      if (FAILED(hr)) return Fail(hr, "the store cannot be written");
      m_holder->entry = changed;
      return S_OK;
    });
  }
  STDMETHODIMP Template(ITemplate** out) override {
    return Make(out, [](const CertData& c) { return NewTemplate(c.certTemplate()); });
  }
  STDMETHODIMP PublicKey(IPublicKey** out) override {
    return Make(out, [](const CertData& c) { return NewPublicKey(c.publicKey()); });
  }
  STDMETHODIMP get_PrivateKey(IPrivateKey** out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      if (!e.key) return Fail(CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY, "the certificate has no private key");
      *out = NewPrivateKey(m_holder);
      return S_OK;
    });
  }
  STDMETHODIMP put_PrivateKey(IPrivateKey* key) override {
    return Guard([&] {
      std::optional<KeyLink> link;
      if (key) {
        BSTR container = nullptr;
        LONG machine = 0;
        VARIANT_BOOL isMachine = VARIANT_FALSE;
        HRESULT hr = key->get_ContainerName(&container);
        if (SUCCEEDED(hr)) hr = key->IsMachineKeyset(&isMachine);
        machine = isMachine ? 1 : 0;
        KeyLink l;
        bool found = SUCCEEDED(hr) && ReadKeyLink(Utf8(container), machine != 0, l);
        SysFreeString(container);
        if (FAILED(hr)) return hr;
        if (!found) return Fail(NTE_BAD_KEYSET, "the key container does not exist");
        link = l;
      }
      std::lock_guard<std::mutex> lock(m_holder->mutex);
      if (!m_holder->entry.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      if (link) {
        PKeyPtr k = LoadKey(*link);
        if (!KeyMatches(k.get(), *m_holder->entry.cert))
          return Fail(NTE_BAD_KEYSET, "the key does not belong to the certificate");
      }
      StoreEntry changed = m_holder->entry;
      changed.key = link;
      HRESULT hr = WriteEntryProperties(changed);
      if (FAILED(hr)) return Fail(hr, "the store cannot be written");
      m_holder->entry = changed;
      return S_OK;
    });
  }
  STDMETHODIMP Extensions(IExtensions** out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = NewExtensions(e.cert);
      return S_OK;
    });
  }
  STDMETHODIMP ExtendedProperties(IExtendedProperties** out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = NewExtendedProperties(e);
      return S_OK;
    });
  }
  STDMETHODIMP Load(BSTR fileName, BSTR password, LONG keyStorageFlag, LONG keyLocation) override {
    return Guard([&] {
      Bytes data;
      std::string path = Utf8(fileName);
      if (path.empty() || !ReadWholeFile(path, data)) return Fail(CAPICOM_HR_FILE_NOT_FOUND, "cannot read " + path);
      if (LooksLikePfx(data.data(), data.size())) {
        StoreEntry e;
        std::vector<CertRef> others;
        HRESULT hr = ReadPfxEntry(data, password, keyStorageFlag, keyLocation == CAPICOM_LOCAL_MACHINE_KEY, e, others);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(m_holder->mutex);
        m_holder->entry = e;
        return S_OK;
      }
      HRESULT hr = CRYPT_E_ASN1_BADTAG;
      CertRef c = CertData::Parse(data, &hr);
      if (!c) return Fail(hr, path + " holds no certificate");
      SetEntry(c);
      return S_OK;
    });
  }
  STDMETHODIMP Save(BSTR fileName, BSTR password, LONG saveAs, LONG includeOption) override {
    return Guard([&] {
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      std::string path = Utf8(fileName);
      if (path.empty()) return Fail(E_INVALIDARG, "no file name");
      if (saveAs == CAPICOM_CERTIFICATE_SAVE_AS_CER) {
        const Bytes& der = e.cert->der();
        if (!WriteFileAtomic(path, der.data(), der.size())) return Fail(E_ACCESSDENIED, "cannot write " + path);
        return S_OK;
      }
      if (saveAs != CAPICOM_CERTIFICATE_SAVE_AS_PFX) return Fail(E_INVALIDARG, "invalid save-as type");
      if (includeOption < CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT ||
          includeOption > CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY)
        return Fail(E_INVALIDARG, "invalid include option");
      if (!e.key || !KeyExists(*e.key)) return Fail(CAPICOM_E_PRIVATE_KEY_NOT_ACCESSIBLE, "the certificate has no private key");
      if (!e.key->exportable) return Fail(NTE_BAD_KEY_STATE, "the private key is not exportable");
      PKeyPtr key = LoadKey(*e.key);
      if (!key) return Fail(CAPICOM_E_PRIVATE_KEY_NOT_ACCESSIBLE, "the private key cannot be read");
      std::vector<CertRef> chain;
      if (includeOption != CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY) {
        ChainResult r = BuildChain(e.cert, ChainParams());
        for (size_t i = 1; i < r.certs.size(); ++i) {
          bool isRoot = i + 1 == r.certs.size() && r.certs[i]->isSelfIssued();
          if (isRoot && includeOption == CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT) continue;
          chain.push_back(r.certs[i]);
        }
      }
      Bytes pfx;
      std::string pass = Utf8(password);
      HRESULT hr = WritePfx(*e.cert, key.get(), chain, pass, pfx);
      OPENSSL_cleanse(pass.data(), pass.size());
      if (FAILED(hr)) return Fail(hr, "the PFX file cannot be made");
      if (!WriteFileAtomic(path, pfx.data(), pfx.size(), 0600)) return Fail(E_ACCESSDENIED, "cannot write " + path);
      return S_OK;
    });
  }

 private:
  static Bytes BytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

  CertificateStatus* Status() {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    if (!m_status) m_status = Ref<CertificateStatus>::Adopt(new CertificateStatus(m_holder));
    return m_status.get();
  }

  void SetEntry(const CertRef& c) {
    StoreEntry e;
    e.cert = c;
    std::lock_guard<std::mutex> lock(m_holder->mutex);
    m_holder->entry = e;
  }

  template <class T, class F>
  HRESULT Read(T* out, F get) {
    return Guard([&] {
      if (!out) return E_POINTER;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = get(*e.cert);
      return S_OK;
    });
  }
  template <class F>
  HRESULT ReadText(BSTR* out, F get) {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = TextBstr(get(*e.cert));
      return *out ? S_OK : E_OUTOFMEMORY;
    });
  }
  template <class I, class F>
  HRESULT Make(I** out, F make) {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      StoreEntry e = m_holder->Get();
      if (!e.cert) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      *out = make(*e.cert);
      return S_OK;
    });
  }

  std::shared_ptr<CertHolder> m_holder;
  std::mutex m_statusMutex;
  Ref<CertificateStatus> m_status;
};

// ---- Certificates ----

class Certificates : public Collection<Certificates, ICertificates2, ICertificate2> {
  KX_ENGINE_DISPATCH(Certificates, ICertificates)

 public:
  STDMETHODIMP get_Item(LONG index, VARIANT* out) override { return ItemAt(index, out); }
  STDMETHODIMP get_Count(LONG* out) override { return CountOut(out); }
  STDMETHODIMP Add(ICertificate2* c) override {
    if (!c) return Fail(E_POINTER);
    Append(c);
    return S_OK;
  }
  STDMETHODIMP Remove(LONG index) override { return RemoveAt(index); }
  STDMETHODIMP Clear() override { return ClearAll(); }
};

}  // namespace

KX_ENGINE_CLASS(CLSID_Certificate, Certificate);
KX_ENGINE_CLASS(CLSID_CertificateStatus, CertificateStatus);
KX_ENGINE_CLASS(CLSID_Certificates, Certificates);

ICertificate2* NewCertificate(const StoreEntry& entry) { return new Certificate(entry); }

HRESULT ReadPfxEntry(const Bytes& data, BSTR password, LONG keyStorageFlags, bool machine, StoreEntry& main,
                     std::vector<CertRef>& others) {
  PfxContents pfx;
  std::string pass = Utf8(password);
  HRESULT hr = ReadPfx(data.data(), data.size(), pass, pfx);
  OPENSSL_cleanse(pass.data(), pass.size());
  if (FAILED(hr)) return Fail(hr, "the PFX file cannot be opened with this password");
  main = StoreEntry();
  main.cert = pfx.cert;
  if (pfx.key) {
    KeyLink link;
    hr = SaveImportedKey(pfx.key.get(), *pfx.cert, keyStorageFlags, machine, link);
    if (FAILED(hr)) return Fail(hr, "the private key cannot be stored");
    main.key = link;
  }
  others = pfx.others;
  return S_OK;
}

HRESULT SaveImportedKey(EVP_PKEY* key, const CertData& cert, LONG flags, bool machine, KeyLink& link) {
  link = KeyLink();
  link.container = ContainerNameFor(cert);
  link.machine = machine;
  link.exportable = (flags & CAPICOM_KEY_STORAGE_EXPORTABLE) != 0;
  link.userProtected = (flags & CAPICOM_KEY_STORAGE_USER_PROTECTED) != 0;
  link.providerName = kSoftwareProviderName;
  return SaveKey(key, link);
}

ICertificates2* NewCertificates(const std::vector<StoreEntry>& entries) {
  auto* list = new Certificates();
  for (const StoreEntry& e : entries) {
    ICertificate2* c = NewCertificate(e);
    list->Append(c);
    c->Release();
  }
  return list;
}

bool EngineCertificate(IUnknown* p, StoreEntry& out) {
  if (!p) return false;
  IEngineCertificate* ec = nullptr;
  if (FAILED(p->QueryInterface(IID_IEngineCertificate, reinterpret_cast<void**>(&ec)))) return false;
  out = ec->Holder()->Get();
  ec->Release();
  return out.cert != nullptr;
}

ChainParams EngineStatusParams(IUnknown* p) {
  ChainParams params;
  IEngineCertificate* ec = nullptr;
  if (p && SUCCEEDED(p->QueryInterface(IID_IEngineCertificate, reinterpret_cast<void**>(&ec)))) {
    params = ec->StatusParams();
    ec->Release();
  }
  return params;
}

}  // namespace kx::capi
