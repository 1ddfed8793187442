#include "platform/capicom/core/usage.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <vector>

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

std::string WeakCertificateProblem(const CertData& cert) {
  int digest = NID_undef, key = NID_undef;
  if (OBJ_find_sigid_algs(X509_get_signature_nid(cert.x509()), &digest, &key) == 1) {
    if (digest == NID_md5 || digest == NID_md2 || digest == NID_md4)
      return "The signer's certificate is signed with MD5, a weak algorithm.";
    if (digest == NID_sha1) return "The signer's certificate is signed with SHA-1, a weak algorithm.";
  }
  EVP_PKEY* pub = X509_get0_pubkey(cert.x509());
  if (pub && EVP_PKEY_get_base_id(pub) == EVP_PKEY_RSA && EVP_PKEY_get_bits(pub) < 2048)
    return "The signer's key is an RSA key of " + std::to_string(EVP_PKEY_get_bits(pub)) +
           " bits, too short to be safe (2048 at least).";
  return std::string();
}

namespace {

// The message digest algorithm of each signer of a CMS signature (DER); none when it cannot be read.
std::vector<int> SignerDigests(const uint8_t* der, size_t size) {
  const unsigned char* p = der;
  CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(size));
  std::vector<int> nids;
  STACK_OF(CMS_SignerInfo)* infos = cms ? CMS_get0_SignerInfos(cms) : nullptr;
  for (int i = 0; i < sk_CMS_SignerInfo_num(infos); ++i) {
    X509_ALGOR* digest = nullptr;
    CMS_SignerInfo_get0_algs(sk_CMS_SignerInfo_value(infos, i), nullptr, nullptr, &digest, nullptr);
    nids.push_back(digest ? OBJ_obj2nid(digest->algorithm) : NID_undef);
  }
  CMS_ContentInfo_free(cms);
  ERR_clear_error();
  return nids;
}

}  // namespace

std::string WeakSignatureProblem(const uint8_t* der, size_t size) {
  for (int nid : SignerDigests(der, size))
    if (nid == NID_md5 || nid == NID_md2 || nid == NID_md4) return "The signature is made with MD5, a weak algorithm.";
  return std::string();
}

std::string SignatureDigestName(const uint8_t* der, size_t size) {
  const std::vector<int> nids = SignerDigests(der, size);
  if (nids.empty() || nids[0] == NID_undef) return std::string();
  switch (nids[0]) {
    case NID_md5: return "MD5";
    case NID_sha1: return "SHA-1";
    case NID_sha224: return "SHA-224";
    case NID_sha256: return "SHA-256";
    case NID_sha384: return "SHA-384";
    case NID_sha512: return "SHA-512";
    default: return OBJ_nid2sn(nids[0]);
  }
}

}  // namespace kx::capi
