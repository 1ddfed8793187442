// Encoded forms the engine reads and writes besides single certificates: revocation lists, PKCS#7
// certificate bundles and PFX (PKCS#12) files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/capicom/core/certdata.h"

namespace kx::capi {

class CrlData {
 public:
  // DER, PEM or base64; null when the bytes hold no revocation list.
  static std::shared_ptr<const CrlData> Parse(const uint8_t* data, size_t len);
  static std::shared_ptr<const CrlData> Parse(const Bytes& b) { return Parse(b.data(), b.size()); }
  X509_CRL* crl() const { return m_crl.get(); }
  const Bytes& der() const { return m_der; }
  // SHA-1 of the issuer name's DER: one list per issuer is kept in a store.
  std::string issuerKey() const;

 private:
  CrlData() = default;
  CrlPtr m_crl;
  Bytes m_der;
};
using CrlRef = std::shared_ptr<const CrlData>;

// A degenerate PKCS#7 signed-data holding certificates and revocation lists, DER encoded (the shape
// "openssl crl2pkcs7" writes).
Bytes MakePkcs7Bundle(const std::vector<CertRef>& certs, const std::vector<CrlRef>& crls);
// Reads a PKCS#7 bundle, a single certificate or a single revocation list (DER, PEM or base64).
// CRYPT_E_ASN1_BADTAG when the bytes are none of these.
HRESULT ReadEncodedObjects(const uint8_t* data, size_t len, std::vector<CertRef>& certs, std::vector<CrlRef>& crls);

struct PfxContents {
  CertRef cert;               // the certificate that goes with the key (or the first one when there is no key)
  PKeyPtr key;
  std::vector<CertRef> others;
};
bool LooksLikePfx(const uint8_t* data, size_t len);
// CAPICOM_HR_INVALID_PASSWORD for a wrong password, CRYPT_E_ASN1_BADTAG for bytes that are no PFX.
HRESULT ReadPfx(const uint8_t* data, size_t len, const std::string& password, PfxContents& out);
// Key and certificates protected with triple DES and a SHA-1 MAC, which old and new readers both accept.
HRESULT WritePfx(const CertData& cert, EVP_PKEY* key, const std::vector<CertRef>& chain,
                 const std::string& password, Bytes& out);

}  // namespace kx::capi
