// Inside the platform's store functions: what a store handle and a certificate or CRL context are, shared by
// the store, search and property functions of this folder. Not for callers outside platform/cryptoapi.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/capicom/core/store.h"
#include "platform/cryptoapi/cryptoapi.h"

namespace kx::cryptoapi {

struct StoreObject {
  std::atomic<long> refs{1};
  std::atomic<long> contexts{0};  // contexts handed out and not yet freed
  std::shared_ptr<capi::CertStore> store;  // null for a collection
  struct Member {
    StoreObject* store;
    DWORD priority;
  };
  std::mutex mutex;
  std::vector<Member> members;  // a collection's stores, highest priority first
};

inline StoreObject* AsStore(HCERTSTORE h) { return static_cast<StoreObject*>(h); }
void AddRefStore(StoreObject* s);
void ReleaseStore(StoreObject* s);

template <class Item>
using Snapshot = std::shared_ptr<const std::vector<Item>>;

// Contexts: the public structure first, what keeps its bytes alive after it.
template <class Public, class Item>
struct Context : Public {
  std::atomic<long> refs{1};
  Item item;
  StoreObject* owner = nullptr;  // one reference while the context lives
  Snapshot<Item> snapshot;       // the walk this context belongs to, if any
  size_t index = 0;
  std::shared_ptr<void> decoded;  // the decoded structure the public one points into
};
using CertContext = Context<CERT_CONTEXT, capi::CertRef>;
using CrlContext = Context<CRL_CONTEXT, capi::CrlRef>;

// A new context of a certificate, holding a reference to its store (none when owner is null).
CertContext* NewCertContext(const capi::CertRef& cert, StoreObject* owner);
inline const CertContext* AsCertContext(PCCERT_CONTEXT c) { return static_cast<const CertContext*>(c); }

// The stores a store handle stands for: itself, or the members of a collection in their order.
void StoresOf(StoreObject* s, std::vector<std::shared_ptr<capi::CertStore>>& out);

// The decoded certificate fields of a context (encoding.cpp); the pointers live in the returned holder.
std::shared_ptr<void> DecodeCertInfo(const capi::CertData& cert, CERT_INFO*& out);

}  // namespace kx::cryptoapi
