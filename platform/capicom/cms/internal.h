// Pieces shared by the signed, enveloped and password-encrypted messages.
#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>

#include "platform/capicom/cms/cms.h"
#include "platform/capicom/signedcode/internal.h"

namespace kxcms {

using kxsc::Deleter;
using kxsc::Fail;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

struct X509StackFree {
  void operator()(STACK_OF(X509) * s) const;  // frees the stack and its references
};
using X509Stack = std::unique_ptr<STACK_OF(X509), X509StackFree>;

// A stack holding one more reference to each certificate.
X509Stack StackOf(const std::vector<X509*>& certs);

// Parses a DER message into a content info bound to the library context; the whole input must be one
// message. CRYPT_E_ASN1_BADTAG when it is not.
HRESULT ParseMessage(const Bytes& message, OSSL_LIB_CTX* libctx, CmsPtr* out, std::string* detail);
HRESULT ParseMessage(const uint8_t* message, size_t size, OSSL_LIB_CTX* libctx, CmsPtr* out, std::string* detail);
// The DER of a message.
HRESULT WriteMessage(CMS_ContentInfo* cms, Bytes* out, std::string* detail);

BioPtr ReadBio(const Bytes& b);
Bytes BioContents(BIO* bio);

// The last OpenSSL error as text, and the queue cleared.
std::string OpenSslError();

}  // namespace kxcms
