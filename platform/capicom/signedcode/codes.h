// Trust result codes of signed code, with the platform's documented values.
#pragma once

#include "platform/win32/types.h"

namespace kxsc {

constexpr HRESULT TRUST_E_SUBJECT_FORM_UNKNOWN = KX_HR(0x800B0003);  // not a PE image, or a malformed one
constexpr HRESULT DIGSIG_E_ENCODE = KX_HR(0x800B0005);               // the signature could not be built
constexpr HRESULT DIGSIG_E_DECODE = KX_HR(0x800B0006);               // the signature could not be decoded
constexpr HRESULT TRUST_E_NOSIGNATURE = KX_HR(0x800B0100);
constexpr HRESULT CERT_E_EXPIRED = KX_HR(0x800B0101);
constexpr HRESULT CERT_E_VALIDITYPERIODNESTING = KX_HR(0x800B0102);
constexpr HRESULT CERT_E_ROLE = KX_HR(0x800B0103);
constexpr HRESULT CERT_E_PATHLENCONST = KX_HR(0x800B0104);
constexpr HRESULT CERT_E_CRITICAL = KX_HR(0x800B0105);
constexpr HRESULT CERT_E_UNTRUSTEDROOT = KX_HR(0x800B0109);
constexpr HRESULT CERT_E_CHAINING = KX_HR(0x800B010A);
constexpr HRESULT TRUST_E_FAIL = KX_HR(0x800B010B);
constexpr HRESULT CERT_E_REVOKED = KX_HR(0x800B010C);
constexpr HRESULT CERT_E_REVOCATION_FAILURE = KX_HR(0x800B010E);
constexpr HRESULT CERT_E_WRONG_USAGE = KX_HR(0x800B0110);
constexpr HRESULT TRUST_E_CERT_SIGNATURE = KX_HR(0x80096004);
constexpr HRESULT TRUST_E_TIME_STAMP = KX_HR(0x80096005);
constexpr HRESULT TRUST_E_BAD_DIGEST = KX_HR(0x80096010);
constexpr HRESULT NTE_BAD_ALGID = KX_HR(0x80090008);
constexpr HRESULT CRYPT_E_NO_MATCH = KX_HR(0x80092009);                     // signer certificate not in the message
constexpr HRESULT CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY = KX_HR(0x80880211);  // signing without the certificate's key

}  // namespace kxsc
