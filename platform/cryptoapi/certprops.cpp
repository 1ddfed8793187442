// Searching stores by subject, adding encoded certificates, and the key container link of stored certificates.
#include <openssl/x509.h>

#include <cstring>
#include <string>

#include "platform/cryptoapi/contexts.h"
#include "platform/cryptoapi/provider.h"
#include "platform/win32/errors.h"
#include "platform/win32/textconv.h"

using kx::capi::CertStore;
using kx::capi::StoreEntry;
using namespace kx::cryptoapi;

namespace {

// The stored entry of a context's certificate and the store that holds it.
bool FindEntry(const CertContext* c, StoreEntry& entry, std::shared_ptr<CertStore>& holder) {
  if (!c || !c->owner) return false;
  std::vector<std::shared_ptr<CertStore>> stores;
  StoresOf(c->owner, stores);
  for (const auto& s : stores) {
    for (StoreEntry& e : s->Entries(true)) {
      if (e.cert->thumbprint() == c->item->thumbprint()) {
        entry = std::move(e);
        holder = s;
        return true;
      }
    }
  }
  return false;
}

HRESULT WriteBack(CertStore& store, const StoreEntry& entry) {
  if (!entry.origin.empty()) return kx::capi::WriteEntryProperties(entry);
  // A memory store keeps entries by value: put the changed one in place of the old.
  HRESULT hr = store.Remove(entry.cert->thumbprint());
  return FAILED(hr) ? hr : store.Add(entry);
}

}  // namespace

PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE store, DWORD, DWORD, DWORD findType, const void* findPara,
                                          PCCERT_CONTEXT prev) {
  if (!store || findType != CERT_FIND_SUBJECT_STR_A || !findPara) {
    CertFreeCertificateContext(prev);
    SetLastError(static_cast<DWORD>(E_INVALIDARG));
    return nullptr;
  }
  std::string needle = kx::capi::AsciiLower(static_cast<const char*>(findPara));
  PCCERT_CONTEXT c = prev;
  while ((c = CertEnumCertificatesInStore(store, c))) {
    std::string subject = kx::capi::AsciiLower(kx::capi::FormatName(X509_get_subject_name(AsCertContext(c)->item->x509())));
    if (subject.find(needle) != std::string::npos) return c;
  }
  return nullptr;
}

BOOL CertAddEncodedCertificateToStore(HCERTSTORE store, DWORD, const BYTE* encoded, DWORD length, DWORD disposition,
                                      PCCERT_CONTEXT* out) {
  if (out) *out = nullptr;
  StoreObject* s = AsStore(store);
  if (!s || !encoded || !length || disposition < CERT_STORE_ADD_NEW || disposition > CERT_STORE_ADD_ALWAYS)
    return Fail(E_INVALIDARG);
  kx::capi::CertRef cert = kx::capi::CertData::Parse(encoded, length);
  if (!cert) return Fail(CRYPT_E_ASN1_BADTAG);
  std::vector<std::shared_ptr<CertStore>> stores;
  StoresOf(s, stores);
  if (stores.empty()) return Fail(E_ACCESSDENIED);
  CertStore& target = *stores.front();
  bool exists = false;
  for (const StoreEntry& e : target.Entries(true)) exists = exists || e.cert->thumbprint() == cert->thumbprint();
  if (exists && disposition == CERT_STORE_ADD_NEW) return Fail(CRYPT_E_EXISTS);
  if (!exists || disposition != CERT_STORE_ADD_USE_EXISTING) {
    StoreEntry entry;
    entry.cert = cert;
    HRESULT hr = target.Add(entry);
    if (FAILED(hr)) return Fail(hr);
  }
  if (out) *out = NewCertContext(cert, s);
  return TRUE;
}

BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT context, DWORD propId, void* data, DWORD* cb) {
  if (!context || !cb) return Fail(E_INVALIDARG);
  if (propId != CERT_KEY_PROV_INFO_PROP_ID) return Fail(CRYPT_E_NOT_FOUND);
  StoreEntry entry;
  std::shared_ptr<CertStore> holder;
  if (!FindEntry(AsCertContext(context), entry, holder) || !entry.key) return Fail(CRYPT_E_NOT_FOUND);
  const kx::capi::KeyLink& link = *entry.key;
  std::u16string container = kx::Utf8ToUtf16(ContainerFromFileName(link.container));
  std::u16string provider = kx::Utf8ToUtf16(link.providerName);
  size_t head = (sizeof(CRYPT_KEY_PROV_INFO) + 7) & ~static_cast<size_t>(7);
  size_t containerBytes = (container.size() + 1) * sizeof(char16_t);
  size_t total = head + containerBytes + (provider.size() + 1) * sizeof(char16_t);
  DWORD have = *cb;
  *cb = static_cast<DWORD>(total);
  if (!data) return TRUE;
  if (have < total) return Fail(HRESULT_FROM_WIN32(ERROR_MORE_DATA));
  auto* base = static_cast<BYTE*>(data);
  auto* info = static_cast<CRYPT_KEY_PROV_INFO*>(data);
  std::memcpy(base + head, container.c_str(), containerBytes);
  std::memcpy(base + head + containerBytes, provider.c_str(), (provider.size() + 1) * sizeof(char16_t));
  info->pwszContainerName = reinterpret_cast<LPWSTR>(base + head);
  info->pwszProvName = reinterpret_cast<LPWSTR>(base + head + containerBytes);
  info->dwProvType = static_cast<DWORD>(link.providerType);
  info->dwFlags = link.machine ? CRYPT_MACHINE_KEYSET : 0;
  info->cProvParam = 0;
  info->rgProvParam = nullptr;
  info->dwKeySpec = static_cast<DWORD>(link.keySpec);
  return TRUE;
}

BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT context, DWORD propId, DWORD, const void* data) {
  if (!context) return Fail(E_INVALIDARG);
  if (propId != CERT_KEY_PROV_INFO_PROP_ID) return Fail(E_INVALIDARG);
  StoreEntry entry;
  std::shared_ptr<CertStore> holder;
  if (!FindEntry(AsCertContext(context), entry, holder)) return Fail(CRYPT_E_NOT_FOUND);
  if (!data) {
    entry.key.reset();
  } else {
    const auto* info = static_cast<const CRYPT_KEY_PROV_INFO*>(data);
    if (!info->pwszContainerName) return Fail(E_INVALIDARG);
    size_t n = 0;
    while (info->pwszContainerName[n]) ++n;
    std::string container = ContainerFileName(kx::Utf16ToUtf8(info->pwszContainerName, n));
    bool machine = (info->dwFlags & CRYPT_MACHINE_KEYSET) != 0;
    kx::capi::KeyLink link;
    if (!kx::capi::ReadKeyLink(container, machine, link)) return Fail(NTE_BAD_KEYSET);
    if (info->pwszProvName) {
      size_t m = 0;
      while (info->pwszProvName[m]) ++m;
      link.providerName = kx::Utf16ToUtf8(info->pwszProvName, m);
    }
    link.providerType = static_cast<long>(info->dwProvType);
    link.keySpec = static_cast<long>(info->dwKeySpec);
    entry.key = link;
  }
  HRESULT hr = WriteBack(*holder, entry);
  return FAILED(hr) ? Fail(hr) : TRUE;
}
