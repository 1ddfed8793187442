// Token keys as OpenSSL keys. An RSA key carries a method whose private operations are the token's C_Sign and
// C_Decrypt, an EC key one whose signature is the token's; OpenSSL treats such a key as one of its own kind with
// a foreign method, so the engine's CMS, Authenticode and request code use it unchanged while the private half
// stays on the token.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <mutex>

#include "platform/pkcs11/internal.h"
#include "platform/pkcs11/pindialog.h"

namespace kx::p11 {
namespace {

int g_index = -1, g_ecIndex = -1;
RSA_METHOD* g_method = nullptr;
EC_KEY_METHOD* g_ecMethod = nullptr;

KeyHandle* HandleOf(RSA* rsa) { return static_cast<KeyHandle*>(RSA_get_ex_data(rsa, g_index)); }

// The token's mechanism for OpenSSL's padding: PKCS#1 v1.5 is done by the token, anything else (PSS, OAEP)
// is padded or unpadded by OpenSSL around a raw operation.
bool Mechanism(int padding, CK_MECHANISM* m) {
  m->pParameter = nullptr;
  m->ulParameterLen = 0;
  if (padding == RSA_PKCS1_PADDING) m->mechanism = CKM_RSA_PKCS;
  else if (padding == RSA_NO_PADDING) m->mechanism = CKM_RSA_X_509;
  else return false;
  return true;
}

// One private operation on the token: a signature (C_Sign) or a decryption (C_Decrypt).
int OnToken(bool sign, int flen, const unsigned char* from, unsigned char* to, RSA* rsa, int padding) {
  KeyHandle* k = HandleOf(rsa);
  CK_MECHANISM m;
  if (!k || !Mechanism(padding, &m)) return -1;
  CK_ULONG len = static_cast<CK_ULONG>(RSA_size(rsa));
  auto* in = const_cast<unsigned char*>(from);
  CK_RV rv = RunOnToken(*k, [&](CK_FUNCTION_LIST_PTR f, CK_SESSION_HANDLE s) {
    CK_RV r = sign ? f->C_SignInit(s, &m, k->key) : f->C_DecryptInit(s, &m, k->key);
    if (r == CKR_OK) r = sign ? f->C_Sign(s, in, static_cast<CK_ULONG>(flen), to, &len)
                              : f->C_Decrypt(s, in, static_cast<CK_ULONG>(flen), to, &len);
    return r;
  });
  if (rv != CKR_OK) {
    SetLastError("The token \"" + k->tokenLabel + "\" could not use its key: " + RvText(rv) + ".");
    return -1;
  }
  return static_cast<int>(len);
}

int PrivateEncrypt(int flen, const unsigned char* from, unsigned char* to, RSA* rsa, int padding) {
  return OnToken(true, flen, from, to, rsa, padding);
}

int PrivateDecrypt(int flen, const unsigned char* from, unsigned char* to, RSA* rsa, int padding) {
  return OnToken(false, flen, from, to, rsa, padding);
}

// ECDSA on the token: the digest in, r and s of equal length out.
ECDSA_SIG* EcSign(const unsigned char* dgst, int dlen, const BIGNUM*, const BIGNUM*, EC_KEY* ec) {
  auto* k = static_cast<KeyHandle*>(EC_KEY_get_ex_data(ec, g_ecIndex));
  if (!k) return nullptr;
  CK_MECHANISM m{CKM_ECDSA, nullptr, 0};
  unsigned char sig[2 * 66 + 2];
  CK_ULONG len = sizeof sig;
  CK_RV rv = RunOnToken(*k, [&](CK_FUNCTION_LIST_PTR f, CK_SESSION_HANDLE s) {
    CK_RV r = f->C_SignInit(s, &m, k->key);
    if (r == CKR_OK) r = f->C_Sign(s, const_cast<unsigned char*>(dgst), static_cast<CK_ULONG>(dlen), sig, &len);
    return r;
  });
  if (rv != CKR_OK || len == 0 || len % 2) {
    SetLastError("The token \"" + k->tokenLabel + "\" could not use its key: " + RvText(rv) + ".");
    return nullptr;
  }
  ECDSA_SIG* out = ECDSA_SIG_new();
  BIGNUM* r = BN_bin2bn(sig, static_cast<int>(len / 2), nullptr);
  BIGNUM* sv = BN_bin2bn(sig + len / 2, static_cast<int>(len / 2), nullptr);
  if (!out || !r || !sv || ECDSA_SIG_set0(out, r, sv) != 1) {
    BN_free(r);
    BN_free(sv);
    ECDSA_SIG_free(out);
    return nullptr;
  }
  return out;
}

// Each key owns its handle: a copy of a key (EVP_PKEY_dup, EC_KEY_copy) gets a copy of the handle, so that
// freeing both frees each once.
void FreeHandle(void*, void* ptr, CRYPTO_EX_DATA*, int, long, void*) { delete static_cast<KeyHandle*>(ptr); }

int DupHandle(CRYPTO_EX_DATA*, const CRYPTO_EX_DATA*, void** ptr, int, long, void*) {
  if (*ptr) *ptr = new KeyHandle(*static_cast<const KeyHandle*>(*ptr));
  return 1;
}

void Setup() {
  g_ecIndex = EC_KEY_get_ex_new_index(0, nullptr, nullptr, DupHandle, FreeHandle);
  g_ecMethod = EC_KEY_METHOD_new(EC_KEY_OpenSSL());
  int (*sign)(int, const unsigned char*, int, unsigned char*, unsigned int*, const BIGNUM*, const BIGNUM*,
              EC_KEY*) = nullptr;
  int (*setup)(EC_KEY*, BN_CTX*, BIGNUM**, BIGNUM**) = nullptr;
  EC_KEY_METHOD_get_sign(g_ecMethod, &sign, &setup, nullptr);
  EC_KEY_METHOD_set_sign(g_ecMethod, sign, setup, EcSign);

  g_index = RSA_get_ex_new_index(0, nullptr, nullptr, DupHandle, FreeHandle);
  g_method = RSA_meth_dup(RSA_PKCS1_OpenSSL());
  RSA_meth_set1_name(g_method, "token RSA");
  RSA_meth_set_priv_enc(g_method, PrivateEncrypt);
  RSA_meth_set_priv_dec(g_method, PrivateDecrypt);
  // The key has no private numbers here: no blinding, no consistency checks on them.
  RSA_meth_set_flags(g_method, RSA_meth_get_flags(g_method) | RSA_FLAG_EXT_PKEY);
}

EVP_PKEY* RsaKey(const KeyHandle& handle) {
  BIGNUM* n = BN_bin2bn(handle.modulus.data(), static_cast<int>(handle.modulus.size()), nullptr);
  BIGNUM* e = BN_bin2bn(handle.exponent.data(), static_cast<int>(handle.exponent.size()), nullptr);
  RSA* rsa = RSA_new();
  EVP_PKEY* key = EVP_PKEY_new();
  if (!n || !e || !rsa || !key || RSA_set_method(rsa, g_method) != 1 || RSA_set0_key(rsa, n, e, nullptr) != 1) {
    BN_free(n);
    BN_free(e);
    RSA_free(rsa);
    EVP_PKEY_free(key);
    return nullptr;
  }
  RSA_set_ex_data(rsa, g_index, new KeyHandle(handle));
  EVP_PKEY_assign_RSA(key, rsa);
  return key;
}

EVP_PKEY* EcKey(const KeyHandle& handle) {
  const unsigned char* p = handle.ecParams.data();
  EC_GROUP* group = d2i_ECPKParameters(nullptr, &p, static_cast<long>(handle.ecParams.size()));
  p = handle.ecPoint.data();
  ASN1_OCTET_STRING* octets = d2i_ASN1_OCTET_STRING(nullptr, &p, static_cast<long>(handle.ecPoint.size()));
  EC_KEY* ec = EC_KEY_new();
  EC_POINT* point = group ? EC_POINT_new(group) : nullptr;
  EVP_PKEY* key = EVP_PKEY_new();
  bool ok = group && octets && ec && point && key && EC_KEY_set_method(ec, g_ecMethod) == 1 &&
            EC_KEY_set_group(ec, group) == 1 &&
            EC_POINT_oct2point(group, point, ASN1_STRING_get0_data(octets), ASN1_STRING_length(octets), nullptr) == 1 &&
            EC_KEY_set_public_key(ec, point) == 1;
  EC_POINT_free(point);
  EC_GROUP_free(group);
  ASN1_OCTET_STRING_free(octets);
  if (!ok) {
    EC_KEY_free(ec);
    EVP_PKEY_free(key);
    return nullptr;
  }
  EC_KEY_set_ex_data(ec, g_ecIndex, new KeyHandle(handle));
  EVP_PKEY_assign_EC_KEY(key, ec);
  return key;
}

}  // namespace

EVP_PKEY* LoadKey(const std::string& uri, std::string* error) {
  static std::once_flag once;
  std::call_once(once, Setup);
  std::string ignored;
  if (!error) error = &ignored;
  error->clear();
  KeyHandle handle;
  Failure failure;
  if (!OpenKey(uri, DialogPrompts(), &handle, &failure)) {
    *error = Describe(failure);
    SetLastError(*error);
    return nullptr;
  }
  EVP_PKEY* key = handle.keyType == CKK_RSA  ? RsaKey(handle)
                  : handle.keyType == CKK_EC ? EcKey(handle)
                                             : nullptr;
  if (!key) {
    *error = handle.keyType == CKK_RSA || handle.keyType == CKK_EC ? "The token key cannot be prepared."
                                                                   : "Only RSA and EC keys of tokens can be used.";
    SetLastError(*error);
    return nullptr;
  }
  SetLastError(std::string());
  return key;
}

}  // namespace kx::p11
