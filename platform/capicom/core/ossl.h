// OpenSSL plumbing of the certificate engine: its own library context, owning pointers, byte and text helpers.
#pragma once

#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace kx::capi {

using Bytes = std::vector<uint8_t>;

// The engine's library context with the "default" and "legacy" providers (single DES, RC2 and old PFX
// files need the latter). Made once, thread-safely; never freed.
OSSL_LIB_CTX* LibCtx();

struct OsslFree {
  void operator()(X509* p) const;
  void operator()(X509_CRL* p) const;
  void operator()(EVP_PKEY* p) const;
  void operator()(BIO* p) const;
  void operator()(X509_STORE* p) const;
  void operator()(X509_STORE_CTX* p) const;
  void operator()(PKCS12* p) const;
  void operator()(PKCS7* p) const;
  void operator()(X509_EXTENSION* p) const;
  void operator()(ASN1_OBJECT* p) const;
  void operator()(STACK_OF(X509)* p) const;
  void operator()(STACK_OF(X509_CRL)* p) const;
};
using X509Ptr = std::unique_ptr<X509, OsslFree>;
using CrlPtr = std::unique_ptr<X509_CRL, OsslFree>;
using PKeyPtr = std::unique_ptr<EVP_PKEY, OsslFree>;
using BioPtr = std::unique_ptr<BIO, OsslFree>;
using StorePtr = std::unique_ptr<X509_STORE, OsslFree>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, OsslFree>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OsslFree>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, OsslFree>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OsslFree>;
using CrlStackPtr = std::unique_ptr<STACK_OF(X509_CRL), OsslFree>;

// Reads everything written to a memory BIO.
std::string BioText(BIO* bio);
Bytes BioBytes(BIO* bio);
BioPtr MemBio(const void* data, size_t len);

std::string HexUpper(const uint8_t* p, size_t n);
inline std::string HexUpper(const Bytes& b) { return HexUpper(b.data(), b.size()); }
// Base64 in lines of 64 characters ended by CR LF, as the engine's text encoding writes it.
std::string Base64Encode(const uint8_t* p, size_t n);
// Decodes base64, ignoring white space and a PEM armour; false when anything else is left.
bool Base64Decode(const std::string& text, Bytes& out);

// OLE dates are days since 1899-12-30 (UTC here); the fraction is the time of day.
double TimeToOleDate(time_t t);
time_t OleDateToTime(double date);
bool Asn1TimeToOleDate(const ASN1_TIME* t, double& out);

// SHA-1 digest of the bytes, upper-case hex.
std::string Sha1Hex(const uint8_t* p, size_t n);

// The first queued OpenSSL error as text, and the queue cleared.
std::string TakeOpenSslError();

// ASCII lower case, the rule for store names and e-mail comparison.
std::string AsciiLower(std::string s);

}  // namespace kx::capi
