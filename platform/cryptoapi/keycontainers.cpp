// Providers, key containers over the engine's key files, key pairs, hashes and key export.
#include <openssl/dsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cstring>
#include <string>

#include "platform/capicom/core/keys.h"
#include "platform/cryptoapi/crypt.h"
#include "platform/cryptoapi/provider.h"
#include "platform/pkcs11/pkcs11.h"
#include "platform/win32/errors.h"

using kx::capi::Bytes;
using kx::capi::KeyLink;
using kx::capi::PKeyPtr;

namespace kx::cryptoapi {
namespace {

const ProviderInfo kProviders[] = {
    {"Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL, false, 512, 16384, 1024},
    {kx::capi::kSoftwareProviderName, PROV_RSA_FULL, false, 512, 16384, 2048},
    {"Microsoft Base DSS and Diffie-Hellman Cryptographic Provider", PROV_DSS_DH, true, 512, 1024, 1024},
    // Keys made on the present smart card or token, which they never leave.
    {kx::capi::kTokenProviderName, PROV_RSA_FULL, false, 1024, 4096, 2048},
};
constexpr DWORD kProviderCount = sizeof(kProviders) / sizeof(kProviders[0]);

const char kDefaultContainer[] = "default";
const char kEncodedPrefix[] = "_x_";

bool Iequal(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

}  // namespace

const ProviderInfo* FindProvider(const char* name, DWORD type) {
  for (const ProviderInfo& p : kProviders) {
    if (name ? Iequal(name, p.name) : p.type == type) return &p;
  }
  return nullptr;
}

const ProviderInfo* ProviderAt(DWORD index) { return index < kProviderCount ? &kProviders[index] : nullptr; }

std::string ContainerFileName(const std::string& container) {
  if (capi::ValidContainerName(container) && container.compare(0, 3, kEncodedPrefix) != 0) return container;
  static const char hex[] = "0123456789abcdef";
  std::string out = kEncodedPrefix;
  for (unsigned char c : container) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

std::string ContainerFromFileName(const std::string& file) {
  if (file.compare(0, 3, kEncodedPrefix) != 0 || (file.size() - 3) % 2) return file;
  std::string out;
  for (size_t i = 3; i + 1 < file.size(); i += 2) {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    out += static_cast<char>(nibble(file[i]) * 16 + nibble(file[i + 1]));
  }
  return out;
}

BOOL Fail(HRESULT hr) {
  SetLastError(static_cast<DWORD>(hr));
  return FALSE;
}

BOOL FillBuffer(const void* src, size_t n, BYTE* out, DWORD* cb) {
  if (!cb) return Fail(E_INVALIDARG);
  DWORD have = *cb;
  *cb = static_cast<DWORD>(n);
  if (!out) return TRUE;
  if (have < n) return Fail(HRESULT_FROM_WIN32(ERROR_MORE_DATA));
  if (n) std::memcpy(out, src, n);
  return TRUE;
}

ProvObject* AsProv(HCRYPTPROV h) { return reinterpret_cast<ProvObject*>(h); }
KeyObject* AsKey(HCRYPTKEY h) { return reinterpret_cast<KeyObject*>(h); }

KeyLink ProvObject::Link() const {
  KeyLink link;
  link.container = ContainerFileName(container);
  link.machine = machine;
  link.providerName = provider->name;
  link.providerType = static_cast<long>(provider->type);
  return link;
}

PKeyPtr ProvObject::LoadPair(DWORD keySpec, HRESULT* hr) const {
  KeyLink link;
  if (container.empty() || !capi::ReadKeyLink(ContainerFileName(container), machine, link)) {
    *hr = NTE_BAD_KEYSET;
    return nullptr;
  }
  PKeyPtr key = capi::LoadKey(link);
  if (!key || (keySpec && static_cast<DWORD>(link.keySpec) != keySpec)) {
    *hr = NTE_NO_KEY;
    return nullptr;
  }
  return key;
}

}  // namespace kx::cryptoapi

using namespace kx::cryptoapi;

BOOL CryptAcquireContextA(HCRYPTPROV* prov, LPCSTR container, LPCSTR provider, DWORD provType, DWORD flags) {
  if (!prov) return Fail(E_INVALIDARG);
  *prov = 0;
  const ProviderInfo* info = FindProvider(provider, provType);
  if (!info) return Fail(provider ? NTE_KEYSET_NOT_DEF : NTE_PROV_TYPE_NOT_DEF);
  if (info->type != provType) return Fail(NTE_PROV_TYPE_NO_MATCH);
  DWORD action = flags & ~CRYPT_MACHINE_KEYSET;
  if (action != 0 && action != CRYPT_NEWKEYSET && action != CRYPT_DELETEKEYSET && action != CRYPT_VERIFYCONTEXT)
    return Fail(NTE_BAD_FLAGS);

  auto object = std::make_unique<ProvObject>();
  object->provider = info;
  object->machine = (flags & CRYPT_MACHINE_KEYSET) != 0;
  if (action == CRYPT_VERIFYCONTEXT) {
    *prov = reinterpret_cast<HCRYPTPROV>(object.release());
    return TRUE;
  }
  object->container = container && *container ? container : kDefaultContainer;
  KeyLink link = object->Link();
  if (!kx::capi::ValidContainerName(link.container)) return Fail(NTE_BAD_KEYSET);
  KeyLink existing;
  bool exists = kx::capi::ReadKeyLink(link.container, link.machine, existing);
  if (action == CRYPT_DELETEKEYSET) {
    HRESULT hr = kx::capi::DeleteKeyContainer(link);
    return FAILED(hr) ? Fail(hr) : TRUE;
  }
  if (action == CRYPT_NEWKEYSET) {
    if (exists) return Fail(NTE_EXISTS);
    HRESULT hr = kx::capi::SaveKeyLink(link);
    if (FAILED(hr)) return Fail(hr);
  } else if (!exists) {
    return Fail(NTE_BAD_KEYSET);
  }
  *prov = reinterpret_cast<HCRYPTPROV>(object.release());
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD) {
  if (!prov) return Fail(E_INVALIDARG);
  delete AsProv(prov);
  return TRUE;
}

BOOL CryptEnumProvidersA(DWORD index, DWORD*, DWORD, DWORD* provType, LPSTR name, DWORD* cb) {
  const ProviderInfo* p = ProviderAt(index);
  if (!p) return Fail(HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS));
  if (provType) *provType = p->type;
  return FillBuffer(p->name, std::strlen(p->name) + 1, reinterpret_cast<BYTE*>(name), cb);
}

BOOL CryptGenRandom(HCRYPTPROV prov, DWORD length, BYTE* buffer) {
  if (!prov || (length && !buffer)) return Fail(E_INVALIDARG);
  if (length && RAND_bytes(buffer, static_cast<int>(length)) != 1) return Fail(NTE_FAIL);
  return TRUE;
}

namespace {

PKeyPtr GeneratePair(const ProviderInfo& p, DWORD bits) {
  OSSL_LIB_CTX* ctx = kx::capi::LibCtx();
  if (!p.dsa) return PKeyPtr(EVP_PKEY_Q_keygen(ctx, nullptr, "RSA", static_cast<size_t>(bits)));
  // DSA: domain parameters of the size first (160-bit subgroup up to 1024 bits), then the key.
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> pc(EVP_PKEY_CTX_new_from_name(ctx, "DSA", nullptr),
                                                                 &EVP_PKEY_CTX_free);
  EVP_PKEY* params = nullptr;
  if (!pc || EVP_PKEY_paramgen_init(pc.get()) != 1 ||
      EVP_PKEY_CTX_set_dsa_paramgen_bits(pc.get(), static_cast<int>(bits)) != 1 ||
      EVP_PKEY_CTX_set_dsa_paramgen_q_bits(pc.get(), 160) != 1 || EVP_PKEY_paramgen(pc.get(), &params) != 1)
    return nullptr;
  PKeyPtr paramKey(params);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> kc(EVP_PKEY_CTX_new_from_pkey(ctx, params, nullptr),
                                                                 &EVP_PKEY_CTX_free);
  EVP_PKEY* key = nullptr;
  if (!kc || EVP_PKEY_keygen_init(kc.get()) != 1 || EVP_PKEY_keygen(kc.get(), &key) != 1) return nullptr;
  return PKeyPtr(key);
}

}  // namespace

BOOL CryptGenKey(HCRYPTPROV prov, ALG_ID algId, DWORD flags, HCRYPTKEY* key) {
  ProvObject* p = AsProv(prov);
  if (!p || !key) return Fail(E_INVALIDARG);
  *key = 0;
  if (p->container.empty()) return Fail(NTE_BAD_KEYSET);
  if (algId != AT_KEYEXCHANGE && algId != AT_SIGNATURE) return Fail(NTE_BAD_ALGID);
  // The DSS provider signs only: its exchange keys would be Diffie-Hellman keys, which are not offered.
  if (p->provider->dsa && algId == AT_KEYEXCHANGE) return Fail(NTE_BAD_ALGID);
  DWORD bits = flags >> 16;
  if (!bits) bits = p->provider->defaultBits;
  if (bits < p->provider->minBits || bits > p->provider->maxBits) return Fail(NTE_BAD_FLAGS);
  KeyLink link = p->Link();
  link.keySpec = static_cast<long>(algId);
  link.exportable = (flags & CRYPT_EXPORTABLE) != 0;
  PKeyPtr pair;
  if (std::strcmp(p->provider->name, kx::capi::kTokenProviderName) == 0) {
    // The pair is made on the token; the container keeps only its link.
    std::string error;
    link.uri = kx::p11::GenerateKey(link.container, bits, &error);
    link.exportable = false;
    if (link.uri.empty()) return Fail(NTE_FAIL);
    HRESULT hr = kx::capi::SaveKeyLink(link);
    if (FAILED(hr)) return Fail(hr);
    pair = kx::capi::LoadKey(link);
    if (!pair) return Fail(NTE_FAIL);
  } else {
    pair = GeneratePair(*p->provider, bits);
    ERR_clear_error();
    if (!pair) return Fail(NTE_FAIL);
    HRESULT hr = kx::capi::SaveKey(pair.get(), link);
    if (FAILED(hr)) return Fail(hr);
  }
  auto* k = new KeyObject();
  k->pair = std::move(pair);
  k->keySpec = algId;
  k->exportable = link.exportable;
  *key = reinterpret_cast<HCRYPTKEY>(k);
  return TRUE;
}

BOOL CryptGetUserKey(HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key) {
  ProvObject* p = AsProv(prov);
  if (!p || !key) return Fail(E_INVALIDARG);
  *key = 0;
  HRESULT hr = S_OK;
  PKeyPtr pair = p->LoadPair(keySpec, &hr);
  if (!pair) return Fail(hr);
  KeyLink link;
  kx::capi::ReadKeyLink(ContainerFileName(p->container), p->machine, link);
  auto* k = new KeyObject();
  k->pair = std::move(pair);
  k->keySpec = keySpec;
  k->exportable = link.exportable;
  *key = reinterpret_cast<HCRYPTKEY>(k);
  return TRUE;
}

BOOL CryptDestroyKey(HCRYPTKEY key) {
  if (!key) return Fail(E_INVALIDARG);
  KeyObject* k = AsKey(key);
  OPENSSL_cleanse(k->secret.data(), k->secret.size());
  delete k;
  return TRUE;
}

BOOL CryptExportPublicKeyInfo(HCRYPTPROV prov, DWORD keySpec, DWORD, CERT_PUBLIC_KEY_INFO* info, DWORD* cb) {
  ProvObject* p = AsProv(prov);
  if (!p || !cb) return Fail(E_INVALIDARG);
  HRESULT hr = S_OK;
  PKeyPtr pair = p->LoadPair(keySpec, &hr);
  if (!pair) return Fail(hr);
  Bytes spki = PublicKeyInfoDer(pair.get());
  if (spki.empty()) return Fail(NTE_FAIL);
  return PublicKeyInfoFromDer(spki, info, cb);
}

namespace {

struct HashObject {
  const EVP_MD* md = nullptr;
  EVP_MD_CTX* ctx = nullptr;
  Bytes data;   // what the hash was given, for keys derived from it
  Bytes value;  // the finished value
  bool finished = false;
  ~HashObject() {
    EVP_MD_CTX_free(ctx);
    OPENSSL_cleanse(data.data(), data.size());
  }
};
HashObject* AsHash(HCRYPTHASH h) { return reinterpret_cast<HashObject*>(h); }

}  // namespace

BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID algId, HCRYPTKEY, DWORD, HCRYPTHASH* hash) {
  if (!prov || !hash) return Fail(E_INVALIDARG);
  *hash = 0;
  const EVP_MD* md = algId == CALG_SHA1 ? EVP_sha1() : algId == CALG_MD5 ? EVP_md5() : nullptr;
  if (!md) return Fail(NTE_BAD_ALGID);
  auto h = std::make_unique<HashObject>();
  h->md = md;
  h->ctx = EVP_MD_CTX_new();
  if (!h->ctx || EVP_DigestInit_ex(h->ctx, md, nullptr) != 1) return Fail(NTE_FAIL);
  *hash = reinterpret_cast<HCRYPTHASH>(h.release());
  return TRUE;
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD) {
  HashObject* h = AsHash(hash);
  if (!h || (length && !data)) return Fail(E_INVALIDARG);
  if (h->finished) return Fail(NTE_BAD_HASH);
  if (EVP_DigestUpdate(h->ctx, data, length) != 1) return Fail(NTE_FAIL);
  h->data.insert(h->data.end(), data, data + length);
  return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* cb, DWORD) {
  HashObject* h = AsHash(hash);
  if (!h || !cb) return Fail(E_INVALIDARG);
  if (param == HP_HASHSIZE) {
    DWORD size = static_cast<DWORD>(EVP_MD_get_size(h->md));
    return FillBuffer(&size, sizeof size, data, cb);
  }
  if (param != HP_HASHVAL) return Fail(NTE_BAD_TYPE);
  if (!h->finished) {
    h->value.resize(static_cast<size_t>(EVP_MD_get_size(h->md)));
    unsigned n = 0;
    if (EVP_DigestFinal_ex(h->ctx, h->value.data(), &n) != 1) return Fail(NTE_FAIL);
    h->finished = true;
  }
  return FillBuffer(h->value.data(), h->value.size(), data, cb);
}

BOOL CryptDestroyHash(HCRYPTHASH hash) {
  if (!hash) return Fail(E_INVALIDARG);
  delete AsHash(hash);
  return TRUE;
}

BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID algId, HCRYPTHASH hash, DWORD flags, HCRYPTKEY* key) {
  HashObject* h = AsHash(hash);
  if (!prov || !h || !key) return Fail(E_INVALIDARG);
  *key = 0;
  if (algId != CALG_RC4) return Fail(NTE_BAD_ALGID);
  auto* k = new KeyObject();
  k->secret = h->data;
  k->exportable = (flags & CRYPT_EXPORTABLE) != 0;
  *key = reinterpret_cast<HCRYPTKEY>(k);
  return TRUE;
}

BOOL CryptExportKey(HCRYPTKEY key, HCRYPTKEY expKey, DWORD blobType, DWORD, BYTE* data, DWORD* cb) {
  KeyObject* k = AsKey(key);
  if (!k || !cb) return Fail(E_INVALIDARG);
  if (blobType != PRIVATEKEYBLOB || !k->pair) return Fail(NTE_BAD_TYPE);
  if (!k->exportable) return Fail(NTE_BAD_KEY_STATE);
  KeyObject* under = expKey ? AsKey(expKey) : nullptr;
  kx::capi::BioPtr bio(BIO_new(BIO_s_mem()));
  int ok;
  if (under) {
    std::string pass(under->secret.begin(), under->secret.end());
    ok = i2d_PKCS8PrivateKey_bio(bio.get(), k->pair.get(), EVP_aes_256_cbc(), pass.data(),
                                 static_cast<int>(pass.size()), nullptr, nullptr);
    OPENSSL_cleanse(pass.data(), pass.size());
  } else {
    ok = i2d_PKCS8PrivateKey_bio(bio.get(), k->pair.get(), nullptr, nullptr, 0, nullptr, nullptr);
  }
  ERR_clear_error();
  if (ok != 1) return Fail(NTE_FAIL);
  Bytes blob = kx::capi::BioBytes(bio.get());
  BOOL result = FillBuffer(blob.data(), blob.size(), data, cb);
  OPENSSL_cleanse(blob.data(), blob.size());
  return result;
}

RPC_STATUS UuidCreate(UUID* uuid) {
  if (!uuid) return static_cast<RPC_STATUS>(E_INVALIDARG);
  BYTE b[16];
  if (RAND_bytes(b, sizeof b) != 1) return static_cast<RPC_STATUS>(NTE_FAIL);
  b[6] = static_cast<BYTE>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<BYTE>((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  uuid->Data1 = (static_cast<DWORD>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
  uuid->Data2 = static_cast<WORD>((b[4] << 8) | b[5]);
  uuid->Data3 = static_cast<WORD>((b[6] << 8) | b[7]);
  std::memcpy(uuid->Data4, b + 8, 8);
  return RPC_S_OK;
}

RPC_STATUS UuidToStringA(const UUID* uuid, unsigned char** text) {
  if (!uuid || !text) return static_cast<RPC_STATUS>(E_INVALIDARG);
  char buf[37];
  std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", uuid->Data1, uuid->Data2,
                uuid->Data3, uuid->Data4[0], uuid->Data4[1], uuid->Data4[2], uuid->Data4[3], uuid->Data4[4],
                uuid->Data4[5], uuid->Data4[6], uuid->Data4[7]);
  *text = new unsigned char[sizeof buf];
  std::memcpy(*text, buf, sizeof buf);
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeA(unsigned char** text) {
  if (text) {
    delete[] *text;
    *text = nullptr;
  }
  return RPC_S_OK;
}
