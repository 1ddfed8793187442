// Authenticode signatures on PE images (32- and 64-bit, .exe and .dll), over OpenSSL 3: sign in place,
// time-stamp (the legacy Authenticode protocol or RFC 3161, over HTTP) and verify.
//
// Every call returns an HRESULT: S_OK, or a trust code of codes.h (TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST,
// CERT_E_UNTRUSTEDROOT, CERT_E_EXPIRED, ...), a platform HTTP code for a failed time-stamp transfer
// (kx::HttpResultCode), or E_INVALIDARG / HRESULT_FROM_WIN32 file errors. *detail, when given, receives one
// line saying why. A failed call leaves the file as it was.
#pragma once

#include <openssl/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/capicom/signedcode/codes.h"
#include "platform/capicom/signedcode/der.h"
#include "platform/services/http.h"

namespace kxsc {

struct X509Free {
  void operator()(X509* x) const;
};
using X509Ref = std::unique_ptr<X509, X509Free>;

enum class Digest { Sha1, Sha256 };

// Which certificates go into the signature besides the signer's (the engine's include option values).
enum IncludeOption { kChainExceptRoot = 0, kWholeChain = 1, kEndEntityOnly = 2 };

// A further authenticated attribute: the object identifier in dotted form and the DER of its one value.
struct SignedAttribute {
  std::string oid;
  Bytes value;
};

struct SignParams {
  X509* certificate = nullptr;  // the signer; needs the code-signing usage when it names usages
  EVP_PKEY* privateKey = nullptr;
  std::vector<X509*> chainCandidates;  // intermediates and roots the signer's chain is built from
  int includeOption = kChainExceptRoot;
  Digest digest = Digest::Sha256;
  std::u16string description;  // SpcSpOpusInfo program name; empty: none
  std::string descriptionUrl;  // SpcSpOpusInfo more-info link (ASCII); empty: none
  time_t signingTime = 0;      // 0: now
  std::vector<SignedAttribute> extraAttributes;
  OSSL_LIB_CTX* libctx = nullptr;  // null: OpenSSL's default context
};

enum class TimestampProtocol {
  Authenticode,  // legacy: base64 request POSTed as application/octet-stream, PKCS #7 answer (countersignature)
  Rfc3161,       // application/timestamp-query, token kept as attribute 1.3.6.1.4.1.311.3.3.1
};

struct TimestampParams {
  std::string url;
  TimestampProtocol protocol = TimestampProtocol::Authenticode;
  kx::HttpRequest http;  // time-outs and proxy; method, URL and body are set by the call
};

inline constexpr char kCodeSigningUsage[] = "1.3.6.1.5.5.7.3.3";
inline constexpr char kTimeStampingUsage[] = "1.3.6.1.5.5.7.3.8";

// A chain check supplied by the caller in place of the built-in one over VerifyParams::trust: builds the
// chain of the certificate (with the untrusted certificates as candidates) for the usage at the time, and
// answers S_OK or the trust code of the first fault. The chain, signer first, goes to *chain when given.
using ChainCheck = std::function<HRESULT(X509* cert, const std::vector<X509*>& untrusted, time_t at,
                                         const char* usageOid, std::vector<X509Ref>* chain, std::string* detail)>;

struct VerifyParams {
  X509_STORE* trust = nullptr;                 // trusted roots (and CRLs, flags); null: trust nothing
  std::vector<X509*> extraCertificates;        // intermediates not carried by the signature
  time_t time = 0;                             // 0: the time stamp's time when valid, else now
  ChainCheck chainCheck;                       // when set, used instead of trust
  OSSL_LIB_CTX* libctx = nullptr;
};

enum class TimestampKind { None, Authenticode, Rfc3161 };

// What a signature carries; filled as far as the signature could be decoded, also when verification fails.
struct SignatureInfo {
  X509Ref signer;
  std::vector<X509Ref> certificates;  // every certificate carried, the time stamp's included
  std::vector<X509Ref> chain;         // the signer's verified chain, signer first (Verify only)
  std::u16string description;
  std::string descriptionUrl;
  std::string digestName;  // "SHA1", "SHA256", ...
  TimestampKind timestamp = TimestampKind::None;
  time_t timestampTime = 0;
  X509Ref timestamper;
};

// Signs the PE file in place; an existing signature is replaced.
HRESULT SignFile(const std::string& path, const SignParams& params, std::string* detail = nullptr);
HRESULT SignImage(Bytes& image, const SignParams& params, std::string* detail = nullptr);

// Adds a time stamp from the service to the file's signature (replacing an earlier one).
HRESULT TimestampFile(const std::string& path, const TimestampParams& params, std::string* detail = nullptr);
HRESULT TimestampImage(Bytes& image, const TimestampParams& params, std::string* detail = nullptr);

// Verifies the file's signature: image digest, signature, time stamp, signer usage and chain.
HRESULT VerifyFile(const std::string& path, const VerifyParams& params, SignatureInfo* info = nullptr,
                   std::string* detail = nullptr);
HRESULT VerifyImage(const Bytes& image, const VerifyParams& params, SignatureInfo* info = nullptr,
                    std::string* detail = nullptr);

// Decodes the file's signature without checking it.
HRESULT ReadSignature(const std::string& path, SignatureInfo* info, std::string* detail = nullptr);

}  // namespace kxsc
