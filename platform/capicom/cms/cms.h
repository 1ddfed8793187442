// The engine's messages over OpenSSL 3, as standard CMS in DER:
//   - signed data: attached or detached signatures over binary content, co-signing an existing message,
//     the signing-time, document-name and document-description attributes, the certificates of the chain
//     as the include option says, and verification of the signatures alone or with the signers' chains;
//   - enveloped data for recipient certificates (key transport), opened with the key of any recipient the
//     caller can supply;
//   - password-encrypted data in the engine's own format: enveloped data with one password recipient
//     (RFC 3211, PBKDF2), which "openssl cms -decrypt -pwri_password" reads when the secret is text.
//
// Every call returns an HRESULT: S_OK, or an engine result code (capicom_defs.h) or one of codes.h; *detail,
// when given, receives one line saying why. A failed call leaves its outputs empty. Algorithms, key lengths,
// include options, attribute names and verify flags are the engine's enumeration values.
#pragma once

#include <openssl/cms.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/capicom/cms/codes.h"
#include "platform/capicom/signedcode/signedcode.h"

namespace kxcms {

using kxsc::Bytes;
using kxsc::ChainCheck;  // the caller's chain check, shared with signed code
using kxsc::X509Ref;
// trust / chainCheck decide the signer chains; extraCertificates help find signers and chains; time 0 is
// now; libctx (null: OpenSSL's default) serves every operation of the call.
using VerifyParams = kxsc::VerifyParams;

struct PKeyFree {
  void operator()(EVP_PKEY* k) const;
};
using PKeyRef = std::unique_ptr<EVP_PKEY, PKeyFree>;

// A new reference to a certificate (null stays null).
X509Ref Ref(X509* cert);

// ---- Signed data ----

// One authenticated attribute: the signing time, or the document's name or description as text.
struct Attribute {
  int name = CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME;
  time_t time = 0;
  std::u16string text;
};

// Object identifiers under which the document name and description travel (an OCTET STRING holding the
// text as UTF-16, little endian, as the engine has always written them).
inline constexpr char kDocumentNameOid[] = "1.3.6.1.4.1.311.88.2.1";
inline constexpr char kDocumentDescriptionOid[] = "1.3.6.1.4.1.311.88.2.2";

struct SignerParams {
  X509* certificate = nullptr;
  EVP_PKEY* privateKey = nullptr;
  std::vector<X509*> chainCandidates;  // intermediates and roots the signer's chain is built from
  int includeOption = CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT;
  std::vector<Attribute> attributes;  // at most one of each name
  std::string digest = "SHA256";
};

// CAPICOM_E_ATTRIBUTE_INVALID_NAME for an unknown name or one given twice.
HRESULT CheckAttributes(const std::vector<Attribute>& attributes, std::string* detail = nullptr);

// Signs the content; detached leaves the content out of the message.
HRESULT Sign(const Bytes& content, const SignerParams& signer, bool detached, OSSL_LIB_CTX* libctx, Bytes* message,
             std::string* detail = nullptr);

// Adds a signer to a signed message over the same content: the message's own, or *content for a detached one.
HRESULT CoSign(const Bytes& message, const Bytes* content, const SignerParams& signer, OSSL_LIB_CTX* libctx,
               Bytes* out, std::string* detail = nullptr);

struct SignerInfo {
  X509Ref certificate;                // null when neither the message nor the extra certificates hold it
  std::vector<Attribute> attributes;  // the three kinds above, in the message's order
  std::string digestName;             // "SHA1", "SHA256", ...
  std::vector<X509Ref> chain;         // signer first; filled when the signer certificates were verified
};

struct MessageInfo {
  std::vector<SignerInfo> signers;
  std::vector<X509Ref> certificates;  // every certificate the message carries
  bool detached = false;              // the message carries no content
  Bytes content;                      // the message's content (attached messages)
};

// Verifies every signature of the message over its own content, or over *content when that is given (a
// detached signature). With CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE each signer's chain is checked too;
// the first fault's code is returned. *info is filled as far as the message could be read, also on failure.
// CRYPT_E_HASH_VALUE: the content is not what was signed; NTE_BAD_SIGNATURE: a signature is wrong.
HRESULT Verify(const Bytes& message, const Bytes* content, int verifyFlag, const VerifyParams& params,
               MessageInfo* info, std::string* detail = nullptr);

// Reads the signers and certificates of a message without checking anything.
HRESULT Decode(const Bytes& message, MessageInfo* info, OSSL_LIB_CTX* libctx = nullptr, std::string* detail = nullptr);

// ---- Ciphers ----

// The content cipher the engine writes for an algorithm and key length: triple DES (three keys) or AES; the
// weak choices (RC2, RC4, single DES) are written as triple DES, an AES key shorter than 128 bits as
// AES-128, the maximum as AES-256. Unknown values: CAPICOM_E_ALGORITHM_INVALID_NAME / _INVALID_KEY_LENGTH.
HRESULT WriterCipher(int algorithm, int keyLength, std::string* cipherName);

// What an encrypted message was written with; any cipher OpenSSL knows is read (single DES and RC2 through
// the "legacy" provider of the library context).
struct CipherInfo {
  std::string name;   // OpenSSL's name, "DES-EDE3-CBC", "AES-256-CBC", ...
  int algorithm = -1; // engine value; -1 for a cipher the engine has no name for
  int keyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM;
};

// ---- Enveloped data ----

HRESULT Envelope(const Bytes& content, const std::vector<X509*>& recipients, int algorithm, int keyLength,
                 OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail = nullptr);

// One recipient of an enveloped message, as the key lookup sees it.
class Recipient {
 public:
  explicit Recipient(CMS_RecipientInfo* ri) : m_ri(ri) {}
  // True when the certificate is the one this recipient names (issuer and serial number, or key identifier).
  bool Matches(X509* cert) const;

 private:
  CMS_RecipientInfo* m_ri;
};

// Supplies the certificate and private key for a recipient when the caller has them; false otherwise.
using KeyLookup = std::function<bool(const Recipient& who, X509Ref* cert, PKeyRef* key)>;

// Opens the message with the key of the first recipient the lookup can supply.
// CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND when it supplies none; NTE_BAD_DATA when the keys found do not open it.
HRESULT OpenEnvelope(const Bytes& message, const KeyLookup& lookup, OSSL_LIB_CTX* libctx, Bytes* content,
                     CipherInfo* cipher = nullptr, std::string* detail = nullptr);

// ---- Password-encrypted data (the engine's own format) ----

// PBKDF2 iterations of the password recipient we write.
inline constexpr int kSecretIterations = 2048;

// The secret's bytes are the password as they stand (text secrets: their bytes in the caller's encoding).
HRESULT EncryptWithSecret(const Bytes& content, const Bytes& secret, int algorithm, int keyLength,
                          OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail = nullptr);
// The same over size bytes at content, into message's own storage: a caller that hands in the same vector
// for chunk after chunk of one length gets no new allocation. message is empty after a failure.
HRESULT EncryptWithSecret(const uint8_t* content, size_t size, const Bytes& secret, int algorithm, int keyLength,
                          OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail = nullptr);
// NTE_BAD_DATA for a wrong secret; CAPICOM_E_ENCRYPT_INVALID_TYPE for a message without a password recipient.
HRESULT DecryptWithSecret(const Bytes& message, const Bytes& secret, OSSL_LIB_CTX* libctx, Bytes* content,
                          CipherInfo* cipher = nullptr, std::string* detail = nullptr);
// The same over size bytes at message. The content is written into content's own storage, so a caller that
// hands in the same vector for chunk after chunk gets no new allocation.
HRESULT DecryptWithSecret(const uint8_t* message, size_t size, const Bytes& secret, OSSL_LIB_CTX* libctx,
                          Bytes* content, CipherInfo* cipher = nullptr, std::string* detail = nullptr);

}  // namespace kxcms
