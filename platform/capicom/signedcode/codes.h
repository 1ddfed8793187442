// Trust result codes of signed code, with the platform's documented values. The engine's own table holds
// the codes it shares with the chain checks; the rest are only met with signed code.
#pragma once

#include "platform/capicom/capicom_defs.h"

namespace kxsc {

using ::CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY;  // signing without the certificate's key
using ::CERT_E_CHAINING;
using ::CERT_E_CRITICAL;
using ::CERT_E_EXPIRED;
using ::CERT_E_UNTRUSTEDROOT;
using ::CERT_E_VALIDITYPERIODNESTING;
using ::CERT_E_WRONG_USAGE;
using ::CRYPT_E_NO_MATCH;  // signer certificate not in the signature
using ::TRUST_E_CERT_SIGNATURE;

constexpr HRESULT TRUST_E_SUBJECT_FORM_UNKNOWN = KX_HR(0x800B0003);  // not a PE image, or a malformed one
constexpr HRESULT DIGSIG_E_ENCODE = KX_HR(0x800B0005);               // the signature could not be built
constexpr HRESULT DIGSIG_E_DECODE = KX_HR(0x800B0006);               // the signature could not be decoded
constexpr HRESULT TRUST_E_NOSIGNATURE = KX_HR(0x800B0100);
constexpr HRESULT CERT_E_ROLE = KX_HR(0x800B0103);
constexpr HRESULT CERT_E_PATHLENCONST = KX_HR(0x800B0104);
constexpr HRESULT TRUST_E_FAIL = KX_HR(0x800B010B);
constexpr HRESULT CERT_E_REVOKED = KX_HR(0x800B010C);
constexpr HRESULT CERT_E_REVOCATION_FAILURE = KX_HR(0x800B010E);
constexpr HRESULT TRUST_E_TIME_STAMP = KX_HR(0x80096005);
constexpr HRESULT TRUST_E_BAD_DIGEST = KX_HR(0x80096010);
constexpr HRESULT NTE_BAD_ALGID = KX_HR(0x80090008);

}  // namespace kxsc
