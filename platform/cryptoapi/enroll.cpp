// The certificate enrolment control over the key containers, encodings and stores of this folder.
#include "platform/cryptoapi/enroll.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capicom/core/encoded.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/com/comobject.h"
#include "platform/cryptoapi/contexts.h"
#include "platform/cryptoapi/provider.h"
#include "platform/win32/errors.h"
#include "platform/win32/modules.h"
#include "platform/win32/textconv.h"

using kx::capi::Bytes;

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::string Text(BSTR b) { return b ? kx::Utf16ToUtf8(b, SysStringLen(b)) : std::string(); }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The hash a HashAlgorithm value names: "MD5" or "SHA1"; empty when unknown.
std::string HashOf(const std::string& value) {
  std::string v = Upper(value);
  if (v == "MD5" || v == "1.2.840.113549.2.5" || v == "1.2.840.113549.1.1.4") return "MD5";
  if (v == "SHA1" || v == "SHA-1" || v == "SHA" || v == "1.3.14.3.2.26" || v == "1.2.840.113549.1.1.5" ||
      v == "1.2.840.10040.4.3")
    return "SHA1";
  return {};
}

template <class F>
bool TwoCalls(Bytes& out, F call) {
  DWORD cb = 0;
  if (!call(nullptr, &cb)) return false;
  out.assign(cb, 0);
  if (!call(out.data(), &cb)) return false;
  out.resize(cb);
  return true;
}

HRESULT LastHr() {
  DWORD e = GetLastError();
  return e ? static_cast<HRESULT>(e) : E_FAIL;
}

class CEnroll : public kx::ComObject<CEnroll, ICEnroll3> {
 public:
  STDMETHODIMP put_HashAlgorithm(BSTR algorithm) override {
    std::string hash = HashOf(Text(algorithm));
    if (hash.empty()) return NTE_BAD_ALGID;
    m_hash = hash;
    return S_OK;
  }
  STDMETHODIMP put_ProviderType(LONG type) override {
    for (DWORD i = 0; const kx::cryptoapi::ProviderInfo* p = kx::cryptoapi::ProviderAt(i); ++i) {
      if (p->type == static_cast<DWORD>(type)) {
        m_type = static_cast<DWORD>(type);
        return S_OK;
      }
    }
    return NTE_PROV_TYPE_NOT_DEF;
  }
  STDMETHODIMP get_ProviderType(LONG* type) override {
    if (!type) return E_POINTER;
    *type = static_cast<LONG>(m_type);
    return S_OK;
  }
  STDMETHODIMP put_KeySpec(LONG keySpec) override {
    if (keySpec != AT_KEYEXCHANGE && keySpec != AT_SIGNATURE) return E_INVALIDARG;
    m_keySpec = static_cast<DWORD>(keySpec);
    return S_OK;
  }
  STDMETHODIMP put_EnableSMIMECapabilities(BOOL enable) override {
    m_smime = enable != FALSE;
    return S_OK;
  }
  STDMETHODIMP put_ProviderName(BSTR name) override {
    m_provider = Text(name);
    return S_OK;
  }
  STDMETHODIMP put_WriteCertToCSP(BOOL) override { return S_OK; }
  STDMETHODIMP put_GenKeyFlags(LONG flags) override {
    m_genKeyFlags = static_cast<DWORD>(flags);
    return S_OK;
  }
  STDMETHODIMP createPKCS10(BSTR subject, BSTR usage, BSTR* request) override;
  STDMETHODIMP acceptPKCS7(BSTR message) override;
  STDMETHODIMP enumProviders(LONG index, LONG, BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    LONG seen = 0;
    for (DWORD i = 0; const kx::cryptoapi::ProviderInfo* p = kx::cryptoapi::ProviderAt(i); ++i) {
      if (p->type != m_type) continue;
      if (seen++ == index) {
        *name = SysAllocString(kx::Utf8ToUtf16(p->name).c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
      }
    }
    return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
  }
  STDMETHODIMP GetKeyLen(BOOL fMin, BOOL, LONG* bits) override {
    if (!bits) return E_POINTER;
    const kx::cryptoapi::ProviderInfo* p = Provider();
    if (!p) return NTE_KEYSET_NOT_DEF;
    *bits = static_cast<LONG>(fMin ? p->minBits : p->maxBits);
    return S_OK;
  }

  ~CEnroll() override = default;

 private:
  const kx::cryptoapi::ProviderInfo* Provider() const {
    const kx::cryptoapi::ProviderInfo* p =
        kx::cryptoapi::FindProvider(m_provider.empty() ? nullptr : m_provider.c_str(), m_type);
    return p && p->type == m_type ? p : nullptr;
  }
  bool InstallFor(const kx::capi::CertRef& cert, const std::string& container);

  std::string m_hash = "SHA1";
  DWORD m_type = PROV_RSA_FULL;
  DWORD m_keySpec = AT_SIGNATURE;
  bool m_smime = false;
  std::string m_provider;
  DWORD m_genKeyFlags = 0;
  std::mutex m_mutex;
  std::vector<std::string> m_pending;  // containers of the requests this control made
};

HRESULT CEnroll::createPKCS10(BSTR subject, BSTR usage, BSTR* request) {
  if (!request) return E_POINTER;
  *request = nullptr;
  const kx::cryptoapi::ProviderInfo* provider = Provider();
  if (!provider) return m_provider.empty() ? NTE_PROV_TYPE_NOT_DEF : NTE_KEYSET_NOT_DEF;
  std::string dn = Text(subject);
  Bytes name;
  if (!TwoCalls(name, [&](BYTE* b, DWORD* cb) {
        return CertStrToNameA(kEncoding, dn.c_str(), CERT_X500_NAME_STR, nullptr, b, cb, nullptr) != FALSE;
      }))
    return LastHr();
  std::string algorithm = m_hash == "MD5" ? "1.2.840.113549.1.1.4"
                          : provider->dsa ? "1.2.840.10040.4.3"
                                          : "1.2.840.113549.1.1.5";
  if (provider->dsa && m_hash != "SHA1") return NTE_BAD_ALGID;

  // The usage list: object identifiers separated by commas.
  std::vector<std::string> usages;
  std::string list = Text(usage);
  for (size_t at = 0; at <= list.size();) {
    size_t comma = std::min(list.find(',', at), list.size());
    std::string oid = list.substr(at, comma - at);
    oid.erase(0, oid.find_first_not_of(" \t"));
    oid.erase(oid.find_last_not_of(" \t") + 1);
    if (!oid.empty()) usages.push_back(oid);
    at = comma + 1;
  }

  // A new container with a new key pair.
  UUID uuid;
  unsigned char* text = nullptr;
  if (UuidCreate(&uuid) != RPC_S_OK || UuidToStringA(&uuid, &text) != RPC_S_OK) return E_FAIL;
  std::string container = reinterpret_cast<char*>(text);
  RpcStringFreeA(&text);
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextA(&prov, container.c_str(), provider->name, provider->type, CRYPT_NEWKEYSET)) return LastHr();
  HRESULT hr = S_OK;
  HCRYPTKEY key = 0;
  Bytes publicKey, usageDer, ekuDer, smimeDer, extensionsDer, der;
  auto fail = [&](HRESULT code) {
    if (key) CryptDestroyKey(key);
    CryptReleaseContext(prov, 0);
    HCRYPTPROV gone = 0;
    CryptAcquireContextA(&gone, container.c_str(), provider->name, provider->type, CRYPT_DELETEKEYSET);
    return code;
  };
  if (!CryptGenKey(prov, m_keySpec, m_genKeyFlags, &key)) return fail(LastHr());
  if (!TwoCalls(publicKey, [&](BYTE* b, DWORD* cb) {
        return CryptExportPublicKeyInfo(prov, m_keySpec, kEncoding, reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(b), cb) !=
               FALSE;
      }))
    return fail(LastHr());

  // The extension request: key usage of the key spec, the usages asked for, the S/MIME capabilities.
  BYTE usageBits = m_keySpec == AT_SIGNATURE ? 0xC0 : 0x30;  // signature and non-repudiation / key and data encipherment
  CRYPT_BIT_BLOB usageBlob{1, &usageBits, 0};
  std::vector<LPSTR> ekuList;
  for (std::string& u : usages) ekuList.push_back(u.data());
  CERT_ENHKEY_USAGE eku{static_cast<DWORD>(ekuList.size()), ekuList.data()};
  BYTE rc2Bits[] = {0x02, 0x02, 0x00, 0x80};  // 128-bit keys
  CRYPT_SMIME_CAPABILITY caps[] = {
      {const_cast<LPSTR>("2.16.840.1.101.3.4.1.42"), {0, nullptr}},
      {const_cast<LPSTR>("2.16.840.1.101.3.4.1.2"), {0, nullptr}},
      {const_cast<LPSTR>("1.2.840.113549.3.7"), {0, nullptr}},
      {const_cast<LPSTR>("1.2.840.113549.3.2"), {sizeof rc2Bits, rc2Bits}},
  };
  CRYPT_SMIME_CAPABILITIES smime{4, caps};
  auto encode = [&](LPCSTR type, const void* info, Bytes& out) {
    return TwoCalls(out, [&](BYTE* b, DWORD* cb) { return CryptEncodeObject(kEncoding, type, info, b, cb) != FALSE; });
  };
  std::vector<CERT_EXTENSION> extensions;
  if (!encode(X509_KEY_USAGE, &usageBlob, usageDer)) return fail(LastHr());
  extensions.push_back({const_cast<LPSTR>(szOID_KEY_USAGE), FALSE, {static_cast<DWORD>(usageDer.size()), usageDer.data()}});
  if (!ekuList.empty()) {
    if (!encode(X509_ENHANCED_KEY_USAGE, &eku, ekuDer)) return fail(E_INVALIDARG);
    extensions.push_back(
        {const_cast<LPSTR>(szOID_ENHANCED_KEY_USAGE), FALSE, {static_cast<DWORD>(ekuDer.size()), ekuDer.data()}});
  }
  if (m_smime) {
    if (!encode(PKCS_SMIME_CAPABILITIES, &smime, smimeDer)) return fail(LastHr());
    extensions.push_back(
        {const_cast<LPSTR>(szOID_RSA_SMIMECapabilities), FALSE, {static_cast<DWORD>(smimeDer.size()), smimeDer.data()}});
  }
  CERT_EXTENSIONS all{static_cast<DWORD>(extensions.size()), extensions.data()};
  if (!encode(X509_EXTENSIONS_LIST, &all, extensionsDer)) return fail(LastHr());
  CRYPT_ATTR_BLOB value{static_cast<DWORD>(extensionsDer.size()), extensionsDer.data()};
  CRYPT_ATTRIBUTE attribute{const_cast<LPSTR>(szOID_RSA_certExtensions), 1, &value};

  CERT_REQUEST_INFO info{};
  info.dwVersion = 0;
  info.Subject = {static_cast<DWORD>(name.size()), name.data()};
  info.SubjectPublicKeyInfo = *reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(publicKey.data());
  info.cAttribute = 1;
  info.rgAttribute = &attribute;
  CRYPT_ALGORITHM_IDENTIFIER signature{algorithm.data(), {0, nullptr}};
  if (!TwoCalls(der, [&](BYTE* b, DWORD* cb) {
        return CryptSignAndEncodeCertificate(prov, m_keySpec, kEncoding, X509_CERT_REQUEST_TO_BE_SIGNED, &info,
                                             &signature, nullptr, b, cb) != FALSE;
      }))
    return fail(LastHr());
  CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);

  std::string base64 = kx::capi::Base64Encode(der.data(), der.size());
  *request = SysAllocString(kx::Utf8ToUtf16(base64).c_str());
  if (!*request) return E_OUTOFMEMORY;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_pending.push_back(container);
  return hr;
}

bool CEnroll::InstallFor(const kx::capi::CertRef& cert, const std::string& container) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, kEncoding, 0, CERT_SYSTEM_STORE_CURRENT_USER, "My");
  if (!store) return false;
  PCCERT_CONTEXT added = nullptr;
  const kx::capi::Bytes& der = cert->der();
  bool ok = CertAddEncodedCertificateToStore(store, kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                             CERT_STORE_ADD_REPLACE_EXISTING, &added) != FALSE;
  if (ok) {
    kx::capi::KeyLink link;
    kx::capi::ReadKeyLink(kx::cryptoapi::ContainerFileName(container), false, link);
    std::u16string wideContainer = kx::Utf8ToUtf16(container), wideProvider = kx::Utf8ToUtf16(link.providerName);
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = const_cast<LPWSTR>(wideContainer.c_str());
    info.pwszProvName = const_cast<LPWSTR>(wideProvider.c_str());
    info.dwProvType = static_cast<DWORD>(link.providerType);
    info.dwKeySpec = static_cast<DWORD>(link.keySpec);
    ok = CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
    CertFreeCertificateContext(added);
  }
  CertCloseStore(store, 0);
  return ok;
}

HRESULT CEnroll::acceptPKCS7(BSTR message) {
  if (!message) return E_POINTER;
  std::vector<kx::capi::CertRef> certs;
  std::vector<kx::capi::CrlRef> crls;
  const auto* bytes = reinterpret_cast<const uint8_t*>(message);
  if (FAILED(kx::capi::ReadEncodedObjects(bytes, SysStringByteLen(message), certs, crls))) {
    std::string text = Text(message);
    certs.clear();
    if (FAILED(kx::capi::ReadEncodedObjects(reinterpret_cast<const uint8_t*>(text.data()), text.size(), certs, crls)))
      return CRYPT_E_ASN1_BADTAG;
  }
  // The containers this control made first, then every container of the user.
  std::vector<std::string> containers;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    containers.assign(m_pending.rbegin(), m_pending.rend());
  }
  for (const std::string& f : kx::capi::ListDir(kx::capi::KeyDir(false)))
    if (f.size() > 4 && f.compare(f.size() - 4, 4, ".key") == 0)
      containers.push_back(kx::cryptoapi::ContainerFromFileName(f.substr(0, f.size() - 4)));
  for (const kx::capi::CertRef& cert : certs) {
    for (const std::string& container : containers) {
      kx::capi::KeyLink link;
      if (!kx::capi::ReadKeyLink(kx::cryptoapi::ContainerFileName(container), false, link)) continue;
      kx::capi::PKeyPtr key = kx::capi::LoadKey(link);
      if (!key || !kx::capi::KeyMatches(key.get(), *cert)) continue;
      if (!InstallFor(cert, container)) return E_ACCESSDENIED;
      std::lock_guard<std::mutex> lock(m_mutex);
      m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), container), m_pending.end());
      return S_OK;
    }
  }
  return CRYPT_E_NOT_FOUND;
}

class Factory : public kx::ComObject<Factory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CEnroll;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

HRESULT EnrollGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_CEnroll) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) Factory;
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

const kx::BuiltinExport kExports[] = {{"DllGetClassObject", 0, reinterpret_cast<void*>(&EnrollGetClassObject)}};
const bool kRegistered = [] {
  kx::RegisterBuiltinModule(kEnrollModuleName, kExports, 1);
  kx::RegisterClassModule(CLSID_CEnroll, kEnrollModuleName);
  return true;
}();

}  // namespace
