// What a certificate's key may be used for, as its extensions say: whether it can receive an encrypted content
// key and whether it may sign. Each answer is the reason it cannot, empty when it can.
#pragma once

#include <string>

#include "platform/capicom/core/certdata.h"

namespace kx::capi {

// A recipient: not a certificate authority; key usage, when present, allows key encipherment (RSA keys) or key
// agreement (EC keys); extended key usage, when present, allows e-mail protection or any use. Keys of other
// kinds cannot decrypt a content key.
std::string RecipientUsageProblem(const CertData& cert);
// A signer: key usage, when present, allows digital signatures or non-repudiation; for code, extended key
// usage, when present, allows code signing or any use.
std::string SignerUsageProblem(const CertData& cert, bool codeSigning);

// Why what a signature rests on is weak: the certificate signed with MD5 or SHA-1, an RSA key under 2048 bits;
// empty when none of these.
std::string WeakCertificateProblem(const CertData& cert);
// The same for a CMS signature (DER): a message digest made with MD5.
std::string WeakSignatureProblem(const uint8_t* der, size_t size);
// The message digest algorithm of a CMS signature's first signer as people name it ("SHA-256"); empty when the
// signature cannot be read.
std::string SignatureDigestName(const uint8_t* der, size_t size);

}  // namespace kx::capi
