// CMS messages: any bytes decoded and verified as signed data (attached, and detached over a fixed content),
// opened as enveloped data with the fuzzer's own recipient key, and decrypted as password-encrypted data.
#include <openssl/pem.h>

#include "platform/capicom/cms/cms.h"
#include "support.h"

namespace {

// The recipient the enveloped seeds were made for (a key made for these seeds, of no worth).
#include "cms_recipient.inc"

template <class T, class Read>
T* FromPem(const char* pem, Read read) {
  BIO* bio = BIO_new_mem_buf(pem, -1);
  T* value = read(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static X509* cert = FromPem<X509>(kRecipientCert, PEM_read_bio_X509);
  static EVP_PKEY* key = FromPem<EVP_PKEY>(kRecipientKey, PEM_read_bio_PrivateKey);
  const kxcms::Bytes message(data, data + size);
  kxcms::MessageInfo info;
  kxcms::Decode(message, &info);
  kxcms::VerifyParams params;
  const kxcms::Bytes content = {'c', 'o', 'n', 't', 'e', 'n', 't', '\n'};
  kxcms::Verify(message, nullptr, 0, params, &info);
  kxcms::Verify(message, &content, 0, params, &info);
  kxcms::Bytes opened;
  kxcms::CipherInfo cipher;
  kxcms::OpenEnvelope(
      message,
      [](const kxcms::Recipient& who, kxcms::X509Ref* c, kxcms::PKeyRef* k) {
        if (!who.Matches(cert)) return false;
        X509_up_ref(cert);
        EVP_PKEY_up_ref(key);
        c->reset(cert);
        k->reset(key);
        return true;
      },
      nullptr, &opened, &cipher);
  const kxcms::Bytes secret = {'s', 'e', 'c', 'r', 'e', 't'};
  kxcms::DecryptWithSecret(message, secret, nullptr, &opened, &cipher);
  return 0;
}
