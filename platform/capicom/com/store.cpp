// Store and Chain objects.
#include "platform/capicom/com/objects.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/com/bstr.h"

namespace kx::capi {
namespace {

class Store : public kx::ComObject<Store, IStore2> {
  KX_ENGINE_DISPATCH(Store, IStore)

 public:
  STDMETHODIMP get_Certificates(ICertificates** out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      auto [store, archived] = Opened();
      if (!store) return Fail(CAPICOM_E_STORE_NOT_OPENED, "the store is not open");
      *out = NewCertificates(store->Entries(archived));
      return S_OK;
    });
  }
  STDMETHODIMP Open(LONG location, BSTR name, LONG mode) override {
    return Guard([&] {
      std::shared_ptr<CertStore> s;
      std::string storeName = name ? Utf8(name) : std::string("MY");
      HRESULT hr = CertStore::Open(location, storeName, mode, s);
      if (FAILED(hr)) return Fail(hr, "the store \"" + storeName + "\" cannot be opened");
      std::lock_guard<std::mutex> lock(m_mutex);
      m_store = s;
      m_includeArchived = (mode & CAPICOM_STORE_OPEN_INCLUDE_ARCHIVED) != 0;
      return S_OK;
    });
  }
  STDMETHODIMP Add(ICertificate* c) override {
    return WithCertificate(c, [](CertStore& store, StoreEntry& e) {
      e.origin.clear();
      HRESULT hr = store.Add(e);
      return FAILED(hr) ? Fail(hr, "the certificate cannot be added to the store") : S_OK;
    });
  }
  STDMETHODIMP Remove(ICertificate* c) override {
    return WithCertificate(c, [](CertStore& store, StoreEntry& e) {
      HRESULT hr = store.Remove(e.cert->thumbprint());
      return FAILED(hr) ? Fail(hr, "the certificate cannot be removed from the store") : S_OK;
    });
  }
  STDMETHODIMP Export(LONG saveAs, LONG encoding, BSTR* out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      auto [store, archived] = Opened();
      if (!store) return Fail(CAPICOM_E_STORE_NOT_OPENED, "the store is not open");
      if (saveAs == CAPICOM_STORE_SAVE_AS_SERIALIZED)
        return Fail(CAPICOM_E_NOT_SUPPORTED, "serialized stores are not supported");
      if (saveAs != CAPICOM_STORE_SAVE_AS_PKCS7) return Fail(CAPICOM_E_STORE_INVALID_SAVE_AS_TYPE);
      std::vector<CertRef> certs;
      for (const StoreEntry& e : store->Entries(archived)) certs.push_back(e.cert);
      return EncodeOut(MakePkcs7Bundle(certs, store->Crls()), encoding, out);
    });
  }
  STDMETHODIMP Import(BSTR encoded) override {
    return Guard([&] {
      auto [store, archived] = Opened();
      if (!store) return Fail(CAPICOM_E_STORE_NOT_OPENED, "the store is not open");
      std::vector<CertRef> certs;
      std::vector<CrlRef> crls;
      Bytes raw = BstrBytes(encoded);
      HRESULT hr = ReadEncodedObjects(raw.data(), raw.size(), certs, crls);
      if (FAILED(hr)) {
        std::string text = Utf8(encoded);  // base64 or PEM given as text
        hr = ReadEncodedObjects(reinterpret_cast<const uint8_t*>(text.data()), text.size(), certs, crls);
      }
      if (FAILED(hr)) return Fail(hr, "the data holds no certificates");
      return AddAll(*store, certs, crls, nullptr);
    });
  }
  STDMETHODIMP Load(BSTR fileName, BSTR password, LONG keyStorageFlag) override {
    return Guard([&] {
      auto [store, archived] = Opened();
      if (!store) return Fail(CAPICOM_E_STORE_NOT_OPENED, "the store is not open");
      std::string path = Utf8(fileName);
      Bytes data;
      if (path.empty() || !ReadWholeFile(path, data)) return Fail(CAPICOM_HR_FILE_NOT_FOUND, "cannot read " + path);
      if (LooksLikePfx(data.data(), data.size())) {
        StoreEntry main;
        std::vector<CertRef> others;
        HRESULT hr = ReadPfxEntry(data, password, keyStorageFlag, store->location() == CAPICOM_LOCAL_MACHINE_STORE,
                                  main, others);
        if (FAILED(hr)) return hr;
        return AddAll(*store, others, {}, &main);
      }
      std::vector<CertRef> certs;
      std::vector<CrlRef> crls;
      HRESULT hr = ReadEncodedObjects(data.data(), data.size(), certs, crls);
      if (FAILED(hr)) return Fail(hr, path + " holds no certificates");
      return AddAll(*store, certs, crls, nullptr);
    });
  }

 private:
  template <class F>
  HRESULT WithCertificate(ICertificate* c, F work) {
    return Guard([&] {
      if (!c) return Fail(E_POINTER);
      auto [store, archived] = Opened();
      if (!store) return Fail(CAPICOM_E_STORE_NOT_OPENED, "the store is not open");
      StoreEntry e;
      if (!EngineCertificate(c, e)) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      return work(*store, e);
    });
  }

  std::pair<std::shared_ptr<CertStore>, bool> Opened() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_store, m_includeArchived};
  }

  static HRESULT AddAll(CertStore& store, const std::vector<CertRef>& certs, const std::vector<CrlRef>& crls,
                        const StoreEntry* first) {
    if (first) {
      HRESULT hr = store.Add(*first);
      if (FAILED(hr)) return Fail(hr, "the certificate cannot be added to the store");
    }
    for (const CertRef& c : certs) {
      StoreEntry e;
      e.cert = c;
      HRESULT hr = store.Add(e);
      if (FAILED(hr)) return Fail(hr, "the certificate cannot be added to the store");
    }
    for (const CrlRef& c : crls) {
      HRESULT hr = store.AddCrl(c);
      if (FAILED(hr)) return Fail(hr, "the revocation list cannot be added to the store");
    }
    return S_OK;
  }

  std::mutex m_mutex;
  std::shared_ptr<CertStore> m_store;
  bool m_includeArchived = false;
};

class Chain : public kx::ComObject<Chain, IChain2> {
  KX_ENGINE_DISPATCH(Chain, IChain)

 public:
  Chain() = default;
  explicit Chain(const ChainResult& r) : m_result(r), m_built(true) {}

  STDMETHODIMP get_Certificates(ICertificates** out) override {
    return Guard([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_built) return Fail(CAPICOM_E_CHAIN_NOT_BUILT, "the chain has not been built");
      std::vector<StoreEntry> entries;
      for (const CertRef& c : m_result.certs) {
        StoreEntry e;
        e.cert = c;
        entries.push_back(e);
      }
      *out = NewCertificates(entries);
      return S_OK;
    });
  }
  STDMETHODIMP get_Status(LONG index, LONG* out) override {
    if (!out) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_built) return Fail(CAPICOM_E_CHAIN_NOT_BUILT, "the chain has not been built");
    if (index == 0) return PutOut<LONG>(out, static_cast<LONG>(m_result.chainStatus));
    if (index < 0 || static_cast<size_t>(index) > m_result.status.size()) return Fail(E_INVALIDARG, "index out of range");
    return PutOut<LONG>(out, static_cast<LONG>(m_result.status[static_cast<size_t>(index) - 1]));
  }
  STDMETHODIMP Build(ICertificate* c, VARIANT_BOOL* out) override {
    return Guard([&] {
      if (!c || !out) return Fail(E_POINTER);
      StoreEntry e;
      if (!EngineCertificate(c, e)) return Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED);
      ChainResult r = BuildChain(e.cert, EngineStatusParams(c));
      std::lock_guard<std::mutex> lock(m_mutex);
      m_result = r;
      m_built = true;
      *out = VBool(r.valid);
      return S_OK;
    });
  }
  STDMETHODIMP ExtendedErrorInfo(LONG index, BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_built) return Fail(CAPICOM_E_CHAIN_NOT_BUILT, "the chain has not been built");
    if (index < 1 || static_cast<size_t>(index) > m_result.errorText.size()) return Fail(E_INVALIDARG, "index out of range");
    *out = TextBstr(m_result.errorText[static_cast<size_t>(index) - 1]);
    return S_OK;
  }

 private:
  std::mutex m_mutex;
  ChainResult m_result;
  bool m_built = false;
};

}  // namespace

KX_ENGINE_CLASS(CLSID_Store, Store);
KX_ENGINE_CLASS(CLSID_Chain, Chain);

IChain2* NewChain(const ChainResult& result) { return new Chain(result); }

}  // namespace kx::capi
