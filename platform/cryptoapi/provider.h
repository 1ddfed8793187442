// Inside the key functions: the objects behind HCRYPTPROV and HCRYPTKEY and the helpers the encoding and
// signing functions share with them. Not for callers outside platform/cryptoapi.
#pragma once

#include <string>

#include "platform/capicom/core/keys.h"
#include "platform/cryptoapi/crypt.h"

namespace kx::cryptoapi {

struct ProvObject {
  const ProviderInfo* provider = nullptr;
  std::string container;  // empty for a verification context
  bool machine = false;
  // The container's link (file name, folder, provider).
  capi::KeyLink Link() const;
  // The container's key pair; keySpec 0 takes it whatever its spec. Null with *hr NTE_BAD_KEYSET or NTE_NO_KEY.
  capi::PKeyPtr LoadPair(DWORD keySpec, HRESULT* hr) const;
};

struct KeyObject {
  capi::PKeyPtr pair;  // a key pair, or null for a derived key
  DWORD keySpec = 0;
  bool exportable = false;
  capi::Bytes secret;  // a derived key: the data it was derived from
};

ProvObject* AsProv(HCRYPTPROV h);

// Sets the last error and answers FALSE.
BOOL Fail(HRESULT hr);
// The two-call pattern: the size into *cb, the bytes into out when it is given and large enough.
BOOL FillBuffer(const void* src, size_t n, BYTE* out, DWORD* cb);

// SubjectPublicKeyInfo DER of a key (empty on failure), and its structure in a caller's buffer.
capi::Bytes PublicKeyInfoDer(EVP_PKEY* key);
BOOL PublicKeyInfoFromDer(const capi::Bytes& der, CERT_PUBLIC_KEY_INFO* info, DWORD* cb);

}  // namespace kx::cryptoapi
