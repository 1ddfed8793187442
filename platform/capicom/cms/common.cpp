#include <climits>

#include <openssl/err.h>
#include <openssl/evp.h>

#include "platform/capicom/cms/internal.h"

namespace kxcms {

void PKeyFree::operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }

X509Ref Ref(X509* cert) { return kxsc::Ref(cert); }

void X509StackFree::operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }

X509Stack StackOf(const std::vector<X509*>& certs) {
  X509Stack stack(sk_X509_new_null());
  for (X509* x : certs)
    if (stack && x && X509_up_ref(x) == 1 && !sk_X509_push(stack.get(), x)) X509_free(x);
  return stack;
}

HRESULT ParseMessage(const Bytes& message, OSSL_LIB_CTX* libctx, CmsPtr* out, std::string* detail) {
  return ParseMessage(message.data(), message.size(), libctx, out, detail);
}

HRESULT ParseMessage(const uint8_t* message, size_t size, OSSL_LIB_CTX* libctx, CmsPtr* out, std::string* detail) {
  out->reset();
  if (!message || size == 0) return Fail(detail, CRYPT_E_ASN1_BADTAG, "no message");
  if (size > static_cast<size_t>(LONG_MAX)) return Fail(detail, CRYPT_E_ASN1_BADTAG, "the message is too long");
  // Decoding into an object made for the library context keeps that context for every later step.
  CMS_ContentInfo* cms = CMS_ContentInfo_new_ex(libctx, nullptr);
  if (!cms) return Fail(detail, E_OUTOFMEMORY, "cannot make a message object");
  const unsigned char* p = message;
  CMS_ContentInfo* parsed = d2i_CMS_ContentInfo(&cms, &p, static_cast<long>(size));
  if (!parsed) {
    CMS_ContentInfo_free(cms);  // null when the decoder has freed it already
    ERR_clear_error();
    return Fail(detail, CRYPT_E_ASN1_BADTAG, "the data is not a CMS message");
  }
  CmsPtr held(parsed);
  if (p != message + size)
    return Fail(detail, CRYPT_E_ASN1_BADTAG, "bytes follow the end of the message");
  *out = std::move(held);
  return S_OK;
}

HRESULT WriteMessage(CMS_ContentInfo* cms, Bytes* out, std::string* detail) {
  unsigned char* der = nullptr;
  int n = i2d_CMS_ContentInfo(cms, &der);
  if (n <= 0) {
    OPENSSL_free(der);
    return Fail(detail, E_FAIL, "cannot encode the message: " + OpenSslError());
  }
  out->assign(der, der + n);
  OPENSSL_free(der);
  return S_OK;
}

BioPtr ReadBio(const Bytes& b) {
  // A memory BIO over an empty buffer must still be a valid (empty) source.
  static const uint8_t none = 0;
  return BioPtr(BIO_new_mem_buf(b.empty() ? &none : b.data(), static_cast<int>(b.size())));
}

Bytes BioContents(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? Bytes(data, data + n) : Bytes();
}

std::string OpenSslError() {
  unsigned long e = ERR_peek_last_error();
  std::string text;
  if (e) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    text = buf;
  }
  ERR_clear_error();
  return text.empty() ? "unknown error" : text;
}

}  // namespace kxcms
