// Pieces shared by signing, time-stamping and verification.
#pragma once

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/capicom/signedcode/signedcode.h"

namespace kxsc {

template <class T, void (*F)(T*)>
struct Deleter {
  void operator()(T* p) const { F(p); }
};
using PKCS7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using ObjPtr = std::unique_ptr<ASN1_OBJECT, Deleter<ASN1_OBJECT, ASN1_OBJECT_free>>;

// The DER of an OpenSSL object through its i2d function; empty on failure.
template <class T, class F>
Bytes ToDer(T* object, F i2d) {
  unsigned char* der = nullptr;
  int n = i2d(object, &der);
  Bytes out(der, der + (n > 0 ? n : 0));
  OPENSSL_free(der);
  return out;
}

inline constexpr char kSpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
inline constexpr char kSpcPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
inline constexpr char kSpcSpOpusInfo[] = "1.3.6.1.4.1.311.2.1.12";
inline constexpr char kSpcStatementType[] = "1.3.6.1.4.1.311.2.1.11";
inline constexpr char kSpcIndividualCodeSigning[] = "1.3.6.1.4.1.311.2.1.21";
inline constexpr char kSpcTimeStampRequest[] = "1.3.6.1.4.1.311.3.2.1";
inline constexpr char kRfc3161Attribute[] = "1.3.6.1.4.1.311.3.3.1";

inline HRESULT Fail(std::string* detail, HRESULT hr, const std::string& why) {
  if (detail) *detail = why;
  return hr;
}

// A decoded Authenticode signature.
struct Decoded {
  PKCS7Ptr p7;
  PKCS7_SIGNER_INFO* si = nullptr;  // the one signer, owned by p7
  Bytes content;                    // the SpcIndirectDataContent encoding
  size_t contentHeader = 0;         // bytes of its tag and length
  Bytes imageDigest;                // the digest it records
  const EVP_MD* imageMd = nullptr;
};
HRESULT DecodeSignature(const Bytes& blob, Decoded* d, std::string* detail);

// The digest algorithms a signature may use (SHA-1 and the SHA-2 family); null for any other.
const EVP_MD* AllowedDigest(const ASN1_OBJECT* algorithm);
bool DigestBytes(const EVP_MD* md, const uint8_t* p, size_t n, Bytes* out);

// The certificate a signer info names, from the stack and then the extra list; null when absent.
X509* FindSigner(const STACK_OF(X509)* certs, const std::vector<X509*>& extra, const PKCS7_SIGNER_INFO* si);

// Checks a signer info over the given content: its messageDigest attribute and its signature.
HRESULT VerifySignerInfo(PKCS7_SIGNER_INFO* si, X509* cert, const uint8_t* content, size_t n,
                         OSSL_LIB_CTX* libctx, std::string* detail);

// True when the certificate may be used for the extended usage (XKU_* bit): no usage extension, or one
// that names it; a key-usage extension must allow digital signatures.
bool UsageAllows(X509* cert, uint32_t xku);

// Builds and checks the chain of a certificate at a time, through the caller's chain check or over the
// trust store; the chain goes to *chain.
HRESULT VerifyChain(X509* leaf, const std::vector<X509*>& untrusted, const VerifyParams& params, time_t at,
                    const char* usageOid, std::vector<X509Ref>* chain, std::string* detail);

time_t ToTimeT(const ASN1_TIME* t);
X509Ref Ref(X509* x);  // a new reference

// Time stamps: verification of the stamp on a signer info (kind None when there is none).
HRESULT VerifyTimestamp(const Decoded& d, const VerifyParams& params, SignatureInfo* info, std::string* detail);

}  // namespace kxsc
