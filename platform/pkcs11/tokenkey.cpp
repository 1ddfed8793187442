// Token keys as OpenSSL keys. The key carries an RSA method whose private operations are the token's C_Sign and
// C_Decrypt; OpenSSL treats such a key as one of its own kind with a foreign method, so the engine's CMS,
// Authenticode and request code use it unchanged while the private half stays on the token.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <mutex>

#include "platform/pkcs11/internal.h"

namespace kx::p11 {
namespace {

int g_index = -1;
RSA_METHOD* g_method = nullptr;

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

int Finish(RSA* rsa) {
  delete HandleOf(rsa);
  RSA_set_ex_data(rsa, g_index, nullptr);
  auto base = RSA_meth_get_finish(RSA_PKCS1_OpenSSL());
  return base ? base(rsa) : 1;
}

void Setup() {
  g_index = RSA_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  g_method = RSA_meth_dup(RSA_PKCS1_OpenSSL());
  RSA_meth_set1_name(g_method, "token RSA");
  RSA_meth_set_priv_enc(g_method, PrivateEncrypt);
  RSA_meth_set_priv_dec(g_method, PrivateDecrypt);
  RSA_meth_set_finish(g_method, Finish);
  // The key has no private numbers here: no blinding, no consistency checks on them.
  RSA_meth_set_flags(g_method, RSA_meth_get_flags(g_method) | RSA_FLAG_EXT_PKEY);
}

}  // namespace

EVP_PKEY* LoadKey(const std::string& uri, std::string* error) {
  static std::once_flag once;
  std::call_once(once, Setup);
  std::string ignored;
  if (!error) error = &ignored;
  error->clear();
  KeyHandle handle;
  if (!OpenKey(uri, &handle, error)) {
    SetLastError(*error);
    return nullptr;
  }
  if (handle.keyType != CKK_RSA) {
    *error = "Only RSA keys of tokens can be used.";
    SetLastError(*error);
    return nullptr;
  }
  BIGNUM* n = BN_bin2bn(handle.modulus.data(), static_cast<int>(handle.modulus.size()), nullptr);
  BIGNUM* e = BN_bin2bn(handle.exponent.data(), static_cast<int>(handle.exponent.size()), nullptr);
  RSA* rsa = RSA_new();
  EVP_PKEY* key = EVP_PKEY_new();
  if (!n || !e || !rsa || !key || RSA_set_method(rsa, g_method) != 1 || RSA_set0_key(rsa, n, e, nullptr) != 1) {
    BN_free(n);
    BN_free(e);
    RSA_free(rsa);
    EVP_PKEY_free(key);
    *error = "The token key cannot be prepared.";
    SetLastError(*error);
    return nullptr;
  }
  RSA_set_ex_data(rsa, g_index, new KeyHandle(handle));
  EVP_PKEY_assign_RSA(key, rsa);
  SetLastError(std::string());
  return key;
}

}  // namespace kx::p11
