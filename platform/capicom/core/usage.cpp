#include "platform/capicom/core/usage.h"

#include <openssl/x509v3.h>

#include <algorithm>

namespace kx::capi {
namespace {

constexpr const char* kAnyUsage = "2.5.29.37.0";
constexpr const char* kEmailProtection = "1.3.6.1.5.5.7.3.4";
constexpr const char* kCodeSigning = "1.3.6.1.5.5.7.3.3";

bool EkuAllows(const CertData& cert, const char* oid) {
  EkuInfo eku = cert.extendedKeyUsage();
  if (!eku.present) return true;
  return std::any_of(eku.oids.begin(), eku.oids.end(),
                     [&](const std::string& o) { return o == oid || o == kAnyUsage; });
}

}  // namespace

std::string RecipientUsageProblem(const CertData& cert) {
  if (cert.basicConstraints().ca)
    return "This is a certificate authority's certificate; files are not encrypted for a certificate authority.";
  EVP_PKEY* key = X509_get0_pubkey(cert.x509());
  const int type = key ? EVP_PKEY_get_base_id(key) : NID_undef;
  const bool rsa = type == EVP_PKEY_RSA;
  const bool ec = type == EVP_PKEY_EC || type == EVP_PKEY_X25519 || type == EVP_PKEY_X448;
  if (!rsa && !ec) return "The key of this digital ID cannot be used to encrypt a file for its owner.";
  KeyUsageInfo ku = cert.keyUsage();
  if (ku.present && rsa && !(ku.bits & KU_KEY_ENCIPHERMENT))
    return "The key of this digital ID may not be used for encryption: its key usage does not allow key "
           "encipherment. Its owner could not decrypt the file.";
  if (ku.present && ec && !(ku.bits & KU_KEY_AGREEMENT))
    return "The key of this digital ID may not be used for encryption: its key usage does not allow key "
           "agreement. Its owner could not decrypt the file.";
  if (!EkuAllows(cert, kEmailProtection))
    return "This digital ID is not meant for protecting documents: its extended key usage does not include e-mail "
           "protection.";
  return std::string();
}

std::string SignerUsageProblem(const CertData& cert, bool codeSigning) {
  KeyUsageInfo ku = cert.keyUsage();
  if (ku.present && !(ku.bits & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)))
    return "The key of this digital ID may not be used for signing: its key usage allows neither digital "
           "signatures nor non-repudiation.";
  if (codeSigning && !EkuAllows(cert, kCodeSigning))
    return "This digital ID is not meant for signing code: its extended key usage does not include code signing.";
  return std::string();
}

}  // namespace kx::capi
