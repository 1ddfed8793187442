// Signed code: a PE image (32- or 64-bit) parsed and its Authenticode signature, with any time stamp, decoded
// and verified against an empty trust store.
#include <openssl/x509.h>

#include "platform/capicom/signedcode/signedcode.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static X509_STORE* trust = X509_STORE_new();
  const kxsc::Bytes image(data, data + size);
  kxsc::VerifyParams params;
  params.trust = trust;
  kxsc::SignatureInfo info;
  std::string detail;
  kxsc::VerifyImage(image, params, &info, &detail);
  return 0;
}
