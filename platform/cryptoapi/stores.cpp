// Store handles and certificate and CRL contexts over the on-disk store model.
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cryptoapi/contexts.h"
#include "platform/win32/errors.h"
#include "platform/win32/textconv.h"

using kx::capi::CertRef;
using kx::capi::CertStore;
using kx::capi::CrlRef;

namespace kx::cryptoapi {

void AddRefStore(StoreObject* s) { s->refs.fetch_add(1); }

void ReleaseStore(StoreObject* s) {
  if (!s || s->refs.fetch_sub(1) != 1) return;
  std::vector<StoreObject::Member> members;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    members.swap(s->members);
  }
  for (const auto& m : members) ReleaseStore(m.store);
  delete s;
}

void StoresOf(StoreObject* s, std::vector<std::shared_ptr<CertStore>>& out) {
  if (s->store) {
    out.push_back(s->store);
    return;
  }
  std::vector<StoreObject::Member> members;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    members = s->members;
  }
  for (const auto& m : members) StoresOf(m.store, out);
}

}  // namespace kx::cryptoapi

using namespace kx::cryptoapi;

namespace {

// What a store holds of one kind: its certificates or its revocation lists.
void Items(const CertStore& store, std::vector<CertRef>& out) {
  for (const kx::capi::StoreEntry& e : store.Entries()) out.push_back(e.cert);
}
void Items(const CertStore& store, std::vector<CrlRef>& out) {
  for (CrlRef& c : store.Crls()) out.push_back(std::move(c));
}

// A store's items, the members of a collection in their order.
template <class Item>
void Collect(StoreObject* s, std::vector<Item>& out) {
  if (s->store) {
    Items(*s->store, out);
    return;
  }
  std::vector<StoreObject::Member> members;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    members = s->members;
  }
  for (const auto& m : members) Collect(m.store, out);
}

template <class Item>
Snapshot<Item> TakeSnapshot(StoreObject* s) {
  auto v = std::make_shared<std::vector<Item>>();
  Collect(s, *v);
  return v;
}

void Describe(CertContext& c, const CertRef& cert) {
  c.pbCertEncoded = const_cast<BYTE*>(cert->der().data());
  c.cbCertEncoded = static_cast<DWORD>(cert->der().size());
  c.decoded = DecodeCertInfo(*cert, c.pCertInfo);
}
void Describe(CrlContext& c, const CrlRef& crl) {
  c.pbCrlEncoded = const_cast<BYTE*>(crl->der().data());
  c.cbCrlEncoded = static_cast<DWORD>(crl->der().size());
}

template <class Public, class Item>
Context<Public, Item>* NewContext(const Item& item, StoreObject* owner) {
  auto* c = new Context<Public, Item>();
  c->dwCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  Describe(*c, item);
  c->item = item;
  c->hCertStore = owner;
  return c;
}

template <class C>
C* Own(C* context, StoreObject* owner, Snapshot<decltype(context->item)> snapshot, size_t index) {
  context->owner = owner;
  context->snapshot = std::move(snapshot);
  context->index = index;
  if (owner) {
    AddRefStore(owner);
    owner->contexts.fetch_add(1);
  }
  return context;
}

template <class C>
void ReleaseContext(const C* context) {
  auto* c = const_cast<C*>(context);
  if (!c || c->refs.fetch_sub(1) != 1) return;
  if (c->owner) {
    c->owner->contexts.fetch_sub(1);
    ReleaseStore(c->owner);
  }
  delete c;
}

template <class C>
const C* DuplicateContext(const C* context) {
  if (context) const_cast<C*>(context)->refs.fetch_add(1);
  return context;
}

// Where a walk goes on: after prev when prev belongs to a walk of this store, else from a new snapshot.
template <class C>
void WalkPosition(StoreObject* s, const C* prev, Snapshot<decltype(prev->item)>& snapshot, size_t& next) {
  if (prev && prev->owner == s && prev->snapshot) {
    snapshot = prev->snapshot;
    next = prev->index + 1;
  } else {
    snapshot = TakeSnapshot<decltype(prev->item)>(s);
    next = 0;
  }
}

HCERTSTORE Fail(HRESULT hr) {
  SetLastError(static_cast<DWORD>(hr));
  return nullptr;
}

HCERTSTORE OpenSystem(const std::string& name, DWORD flags) {
  long location;
  switch (flags & CERT_SYSTEM_STORE_LOCATION_MASK) {
    case CERT_SYSTEM_STORE_CURRENT_USER: location = CAPICOM_CURRENT_USER_STORE; break;
    case CERT_SYSTEM_STORE_LOCAL_MACHINE: location = CAPICOM_LOCAL_MACHINE_STORE; break;
    default: return Fail(E_INVALIDARG);
  }
  long mode = (flags & CERT_STORE_READONLY_FLAG)          ? CAPICOM_STORE_OPEN_READ_ONLY
              : (flags & CERT_STORE_MAXIMUM_ALLOWED_FLAG) ? CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED
                                                          : CAPICOM_STORE_OPEN_READ_WRITE;
  std::shared_ptr<CertStore> store;
  HRESULT hr = CertStore::Open(location, name, mode, store);
  if (FAILED(hr) || !store) return Fail(FAILED(hr) ? hr : E_FAIL);
  auto* s = new StoreObject();
  s->store = std::move(store);
  return s;
}

bool IsDelta(X509_CRL* crl) { return X509_CRL_get_ext_by_NID(crl, NID_delta_crl, -1) >= 0; }

bool TimeValid(X509_CRL* crl) {
  const ASN1_TIME* thisUpdate = X509_CRL_get0_lastUpdate(crl);
  const ASN1_TIME* nextUpdate = X509_CRL_get0_nextUpdate(crl);
  if (!thisUpdate || X509_cmp_current_time(thisUpdate) >= 0) return false;
  return !nextUpdate || X509_cmp_current_time(nextUpdate) > 0;
}

}  // namespace

HCERTSTORE CertOpenStore(LPCSTR provider, DWORD, HCRYPTPROV, DWORD flags, const void* para) {
  if (provider == CERT_STORE_PROV_MEMORY) {
    auto* s = new StoreObject();
    s->store = CertStore::NewMemory();
    return s;
  }
  if (provider == CERT_STORE_PROV_COLLECTION) return new StoreObject();
  if (provider == CERT_STORE_PROV_SYSTEM_A) {
    if (!para) return Fail(E_INVALIDARG);
    return OpenSystem(static_cast<const char*>(para), flags);
  }
  if (provider == CERT_STORE_PROV_SYSTEM_W) {
    if (!para) return Fail(E_INVALIDARG);
    return OpenSystem(kx::Utf16ToUtf8(std::u16string(static_cast<const char16_t*>(para))), flags);
  }
  return Fail(E_INVALIDARG);
}

HCERTSTORE CertOpenSystemStoreA(HCRYPTPROV cryptProv, LPCSTR name) {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cryptProv,
                       CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_MAXIMUM_ALLOWED_FLAG, name);
}

HCERTSTORE CertDuplicateStore(HCERTSTORE store) {
  if (store) AddRefStore(AsStore(store));
  return store;
}

BOOL CertCloseStore(HCERTSTORE store, DWORD flags) {
  if (!store) return TRUE;
  StoreObject* s = AsStore(store);
  bool pending = (flags & CERT_CLOSE_STORE_CHECK_FLAG) && s->contexts.load() > 0;
  ReleaseStore(s);
  if (pending) {
    SetLastError(static_cast<DWORD>(CRYPT_E_PENDING_CLOSE));
    return FALSE;
  }
  return TRUE;
}

BOOL CertAddStoreToCollection(HCERTSTORE collection, HCERTSTORE sibling, DWORD, DWORD priority) {
  StoreObject* c = AsStore(collection);
  StoreObject* s = AsStore(sibling);
  if (!c || !s || c->store || c == s) {
    SetLastError(static_cast<DWORD>(E_INVALIDARG));
    return FALSE;
  }
  AddRefStore(s);
  std::lock_guard<std::mutex> lock(c->mutex);
  auto at = std::find_if(c->members.begin(), c->members.end(),
                         [&](const StoreObject::Member& m) { return m.priority < priority; });
  c->members.insert(at, {s, priority});
  return TRUE;
}

PCCERT_CONTEXT CertCreateCertificateContext(DWORD, const BYTE* encoded, DWORD length) {
  if (!encoded || !length) {
    SetLastError(static_cast<DWORD>(E_INVALIDARG));
    return nullptr;
  }
  HRESULT hr = S_OK;
  CertRef cert = kx::capi::CertData::Parse(encoded, length, &hr);
  if (!cert) {
    SetLastError(static_cast<DWORD>(CRYPT_E_ASN1_BADTAG));
    return nullptr;
  }
  return NewCertContext(cert, nullptr);
}

PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT context) {
  return DuplicateContext(static_cast<const CertContext*>(context));
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT context) {
  ReleaseContext(static_cast<const CertContext*>(context));
  return TRUE;
}

PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE store, PCCERT_CONTEXT prevPublic) {
  const auto* prev = static_cast<const CertContext*>(prevPublic);
  StoreObject* s = AsStore(store);
  if (!s) {
    ReleaseContext(prev);
    SetLastError(static_cast<DWORD>(E_INVALIDARG));
    return nullptr;
  }
  Snapshot<CertRef> snapshot;
  size_t next = 0;
  WalkPosition(s, prev, snapshot, next);
  ReleaseContext(prev);
  if (next >= snapshot->size()) {
    SetLastError(static_cast<DWORD>(CRYPT_E_NOT_FOUND));
    return nullptr;
  }
  return Own(NewContext<CERT_CONTEXT>((*snapshot)[next], s), s, snapshot, next);
}

PCCRL_CONTEXT CertGetCRLFromStore(HCERTSTORE store, PCCERT_CONTEXT issuerPublic, PCCRL_CONTEXT prevPublic,
                                  DWORD* flags) {
  const auto* prev = static_cast<const CrlContext*>(prevPublic);
  const auto* issuer = static_cast<const CertContext*>(issuerPublic);
  StoreObject* s = AsStore(store);
  constexpr DWORD known =
      CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG | CERT_STORE_BASE_CRL_FLAG | CERT_STORE_DELTA_CRL_FLAG;
  if (!s || !flags || (*flags & ~known) || ((*flags & CERT_STORE_SIGNATURE_FLAG) && !issuer)) {
    ReleaseContext(prev);
    SetLastError(static_cast<DWORD>(E_INVALIDARG));
    return nullptr;
  }
  Snapshot<CrlRef> snapshot;
  size_t next = 0;
  WalkPosition(s, prev, snapshot, next);
  ReleaseContext(prev);

  bool baseOnly = (*flags & CERT_STORE_BASE_CRL_FLAG) && !(*flags & CERT_STORE_DELTA_CRL_FLAG);
  bool deltaOnly = (*flags & CERT_STORE_DELTA_CRL_FLAG) && !(*flags & CERT_STORE_BASE_CRL_FLAG);
  for (; next < snapshot->size(); ++next) {
    X509_CRL* crl = (*snapshot)[next]->crl();
    if (issuer && X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_subject_name(issuer->item->x509())) != 0)
      continue;
    if ((baseOnly && IsDelta(crl)) || (deltaOnly && !IsDelta(crl))) continue;
    if (*flags & CERT_STORE_SIGNATURE_FLAG) {
      EVP_PKEY* key = X509_get0_pubkey(issuer->item->x509());
      if (key && X509_CRL_verify(crl, key) == 1) *flags &= ~CERT_STORE_SIGNATURE_FLAG;
      ERR_clear_error();
    }
    if ((*flags & CERT_STORE_TIME_VALIDITY_FLAG) && TimeValid(crl)) *flags &= ~CERT_STORE_TIME_VALIDITY_FLAG;
    return Own(NewContext<CRL_CONTEXT>((*snapshot)[next], s), s, snapshot, next);
  }
  SetLastError(static_cast<DWORD>(CRYPT_E_NOT_FOUND));
  return nullptr;
}

PCCRL_CONTEXT CertEnumCRLsInStore(HCERTSTORE store, PCCRL_CONTEXT prev) {
  DWORD flags = 0;
  return CertGetCRLFromStore(store, nullptr, prev, &flags);
}

PCCRL_CONTEXT CertDuplicateCRLContext(PCCRL_CONTEXT context) {
  return DuplicateContext(static_cast<const CrlContext*>(context));
}

BOOL CertFreeCRLContext(PCCRL_CONTEXT context) {
  ReleaseContext(static_cast<const CrlContext*>(context));
  return TRUE;
}

kx::cryptoapi::CertContext* kx::cryptoapi::NewCertContext(const CertRef& cert, StoreObject* owner) {
  auto* c = NewContext<CERT_CONTEXT>(cert, nullptr);
  return owner ? Own(c, owner, nullptr, 0) : c;
}
