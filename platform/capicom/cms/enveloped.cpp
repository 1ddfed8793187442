// Enveloped data for recipient certificates, and the engine's password-encrypted data (an enveloped message
// with one password recipient).
#include <algorithm>

#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include "platform/capicom/cms/internal.h"

namespace kxcms {
namespace {

using CipherPtr = std::unique_ptr<EVP_CIPHER, Deleter<EVP_CIPHER, EVP_CIPHER_free>>;

// The value of a small DER INTEGER; false for anything else.
bool SmallInteger(kxsc::der::Reader r, long* value) {
  if (r.size() == 0 || r.size() > 4) return false;
  long v = 0;
  for (size_t i = 0; i < r.size(); ++i) v = (v << 8) | r.data()[i];
  *value = v;
  return true;
}

// RC2's parameter version holds the effective key bits (RFC 2268); only the usual two have a name here.
int Rc2KeyLength(kxsc::der::Reader params) {
  using namespace kxsc::der;
  Reader version;
  uint8_t tag = params.PeekTag();
  if (tag == kSequence) {
    Reader seq;
    if (!params.Expect(kSequence, &seq) || !seq.Expect(kInteger, &version)) return CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM;
  } else if (!params.Expect(kInteger, &version)) {
    return CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM;
  }
  long v = 0;
  if (!SmallInteger(version, &v)) return CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM;
  if (v == 160) return CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS;
  if (v == 58) return CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
  return CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM;
}

// Reads the content-encryption algorithm of an enveloped message from its DER; false when der is not one.
bool ReadCipherFrom(kxsc::der::Reader top, CipherInfo* out) {
  using namespace kxsc::der;
  CipherInfo& info = *out;
  info = CipherInfo();
  Reader ci, explicitEnv, env, eci, alg, oid, skip;
  uint8_t tag = 0;
  if (!top.Expect(kSequence, &ci) || !ci.Expect(kOid, &skip) || !ci.Expect(ContextCons(0), &explicitEnv) ||
      !explicitEnv.Expect(kSequence, &env) || !env.Expect(kInteger, &skip))
    return false;
  if (env.PeekTag() == ContextCons(0) && !env.Next(&tag, &skip)) return false;  // originator information
  Bytes oidDer;
  if (!env.Expect(kSet, &skip) || !env.Expect(kSequence, &eci) || !eci.Expect(kOid, &skip) ||
      !eci.Expect(kSequence, &alg) || !alg.Expect(kOid, &oid, &oidDer))
    return false;
  const unsigned char* p = oidDer.data();
  kxsc::ObjPtr obj(d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(oidDer.size())));
  const int nid = obj ? OBJ_obj2nid(obj.get()) : NID_undef;
  if (nid == NID_undef) {
    ERR_clear_error();
    return true;
  }
  info.name = OBJ_nid2sn(nid);
  switch (nid) {
    case NID_des_cbc:
      info.algorithm = CAPICOM_ENCRYPTION_ALGORITHM_DES;
      info.keyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS;
      break;
    case NID_des_ede3_cbc:
      info.algorithm = CAPICOM_ENCRYPTION_ALGORITHM_3DES;
      info.keyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS;
      break;
    case NID_aes_128_cbc:
    case NID_aes_192_cbc:
    case NID_aes_256_cbc:
      info.algorithm = CAPICOM_ENCRYPTION_ALGORITHM_AES;
      info.keyLength = nid == NID_aes_128_cbc   ? CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS
                       : nid == NID_aes_192_cbc ? CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS
                                                : CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
      break;
    case NID_rc2_cbc:
      info.algorithm = CAPICOM_ENCRYPTION_ALGORITHM_RC2;
      info.keyLength = Rc2KeyLength(alg);
      break;
    case NID_rc4:
      info.algorithm = CAPICOM_ENCRYPTION_ALGORITHM_RC4;
      break;
    default:
      break;
  }
  return true;
}

// The content-encryption algorithm of a parsed enveloped message: read from the bytes it was parsed from
// when they are DER (the whole message is not encoded again for it), else from its DER as we re-encode it.
CipherInfo ReadCipher(CMS_ContentInfo* cms, const uint8_t* message, size_t size) {
  CipherInfo info;
  if (message && ReadCipherFrom(kxsc::der::Reader(message, size), &info)) return info;
  Bytes der;
  if (FAILED(WriteMessage(cms, &der, nullptr)) || !ReadCipherFrom(kxsc::der::Reader(der), &info)) return CipherInfo();
  return info;
}

HRESULT FetchCipher(int algorithm, int keyLength, OSSL_LIB_CTX* libctx, CipherPtr* cipher, std::string* detail) {
  std::string name;
  HRESULT hr = WriterCipher(algorithm, keyLength, &name);
  if (FAILED(hr)) return Fail(detail, hr, "unknown algorithm or key length");
  cipher->reset(EVP_CIPHER_fetch(libctx, name.c_str(), nullptr));
  if (!*cipher) return Fail(detail, CAPICOM_E_NOT_SUPPORTED, name + " is not available: " + OpenSslError());
  return S_OK;
}

HRESULT ParseEnveloped(const uint8_t* message, size_t size, OSSL_LIB_CTX* libctx, HRESULT wrongType, CmsPtr* cms,
                       std::string* detail) {
  HRESULT hr = ParseMessage(message, size, libctx, cms, detail);
  if (SUCCEEDED(hr) && OBJ_obj2nid(CMS_get0_type(cms->get())) != NID_pkcs7_enveloped)
    hr = Fail(detail, wrongType, "the message is not enveloped data");
  return hr;
}

// A write-only BIO that appends to a byte vector: the decrypted content goes straight where it is kept,
// instead of into a memory BIO that grows (copying and clearing as it goes) and is copied out at the end.
int SinkWrite(BIO* bio, const char* data, int n) {
  if (n <= 0) return 0;
  auto* out = static_cast<Bytes*>(BIO_get_data(bio));
  out->insert(out->end(), reinterpret_cast<const uint8_t*>(data), reinterpret_cast<const uint8_t*>(data) + n);
  return n;
}

long SinkCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int SinkCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO* NewSink(Bytes* out) {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "content sink");
    if (m) {
      BIO_meth_set_write(m, SinkWrite);
      BIO_meth_set_ctrl(m, SinkCtrl);
      BIO_meth_set_create(m, SinkCreate);
    }
    return m;
  }();
  BIO* bio = method ? BIO_new(method) : nullptr;
  if (bio) BIO_set_data(bio, out);
  return bio;
}

// Decrypts the content once a recipient's key has been set on the message (parsed from the size bytes at
// message). The content goes into content's own storage.
HRESULT DecryptContent(CMS_ContentInfo* cms, const uint8_t* message, size_t size, Bytes* content, CipherInfo* cipher,
                       std::string* detail) {
  content->clear();
  // The content is never longer than its encrypted form.
  if (ASN1_OCTET_STRING** encrypted = CMS_get0_content(cms); encrypted && *encrypted)
    content->reserve(static_cast<size_t>(ASN1_STRING_length(*encrypted)));
  BioPtr out(NewSink(content));
  if (!out || CMS_decrypt(cms, nullptr, nullptr, nullptr, out.get(), CMS_BINARY) != 1) {
    OPENSSL_cleanse(content->data(), content->size());
    content->clear();
    return Fail(detail, NTE_BAD_DATA, "cannot decrypt the content: " + OpenSslError());
  }
  if (cipher) *cipher = ReadCipher(cms, message, size);
  return S_OK;
}

// One DER element's place in a message: where it starts, its header's size and its value's length.
struct Tlv {
  size_t start = 0, header = 0, length = 0;
  size_t value() const { return start + header; }
  size_t end() const { return start + header + length; }
};

// The definite-length element of the given tag at der[at], ending by limit; false for anything else.
bool ReadTlv(const uint8_t* der, size_t at, size_t limit, uint8_t tag, Tlv* out) {
  if (at + 2 > limit || der[at] != tag) return false;
  size_t length = der[at + 1], header = 2;
  if (length & 0x80) {
    const size_t count = length & 0x7f;
    if (count == 0 || count > sizeof(size_t) || at + 2 + count > limit) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | der[at + 2 + i];
    header += count;
  }
  if (length > limit - at - header) return false;
  *out = Tlv{at, header, length};
  return true;
}

size_t HeaderSize(size_t length) {
  size_t n = 2;
  if (length >= 0x80)
    for (size_t l = length; l; l >>= 8) ++n;
  return n;
}

uint8_t* PutHeader(uint8_t* p, uint8_t tag, size_t length) {
  *p++ = tag;
  if (length < 0x80) {
    *p++ = static_cast<uint8_t>(length);
    return p;
  }
  const size_t count = HeaderSize(length) - 2;
  *p++ = static_cast<uint8_t>(0x80 | count);
  for (size_t i = count; i-- > 0;) *p++ = static_cast<uint8_t>(length >> (8 * i));
  return p;
}

// Where the encrypted content goes into an enveloped message encoded without it: the outer elements that
// hold it (content info, its explicit [0], the enveloped data, the encrypted content info), each the last
// element of the one around it.
struct ContentPlace {
  Tlv info, explicitContent, enveloped, encryptedInfo;
};

// The last element inside outer; false when its elements do not read to its end.
bool LastElement(const uint8_t* der, const Tlv& outer, Tlv* last) {
  size_t at = outer.value();
  bool any = false;
  while (at < outer.end()) {
    if (!ReadTlv(der, at, outer.end(), der[at], last)) return false;
    at = last->end();
    any = true;
  }
  return any;
}

bool FindContentPlace(const uint8_t* der, size_t size, ContentPlace* place) {
  using kxsc::der::kSequence;
  Tlv oid, last;
  return ReadTlv(der, 0, size, kSequence, &place->info) && place->info.end() == size &&
         ReadTlv(der, place->info.value(), size, kxsc::der::kOid, &oid) &&
         ReadTlv(der, oid.end(), size, 0xA0, &place->explicitContent) && place->explicitContent.end() == size &&
         ReadTlv(der, place->explicitContent.value(), size, kSequence, &place->enveloped) &&
         place->enveloped.end() == size &&
         // The encrypted content info is the last element of the enveloped data (no unprotected attributes).
         LastElement(der, place->enveloped, &last) && der[last.start] == kSequence &&
         ReadTlv(der, last.start, size, kSequence, &place->encryptedInfo);
}

// The lengths of the four outer elements when the content info's last element grows by delta bytes (shrinks
// for a negative delta), and the whole message's size with them.
struct OuterLengths {
  size_t info, enveloped, explicitContent, outer, total;
};

OuterLengths Resized(const ContentPlace& at, ptrdiff_t delta) {
  OuterLengths l;
  l.info = static_cast<size_t>(static_cast<ptrdiff_t>(at.encryptedInfo.length) + delta);
  l.enveloped = at.enveloped.length - (at.encryptedInfo.header + at.encryptedInfo.length) + HeaderSize(l.info) + l.info;
  l.explicitContent = HeaderSize(l.enveloped) + l.enveloped;
  l.outer = at.info.length - (at.explicitContent.header + at.explicitContent.length) + HeaderSize(l.explicitContent) +
            l.explicitContent;
  l.total = HeaderSize(l.outer) + l.outer;
  return l;
}

// Writes the message's outer elements with the new lengths and the bytes between them, up to the end of the
// encrypted content info's first infoBytes value bytes; the position after them.
uint8_t* PutOuter(const uint8_t* der, const ContentPlace& at, const OuterLengths& l, size_t infoBytes, uint8_t* p) {
  p = PutHeader(p, kxsc::der::kSequence, l.outer);
  p = std::copy(der + at.info.value(), der + at.explicitContent.start, p);
  p = PutHeader(p, 0xA0, l.explicitContent);
  p = PutHeader(p, kxsc::der::kSequence, l.enveloped);
  p = std::copy(der + at.enveloped.value(), der + at.encryptedInfo.start, p);
  p = PutHeader(p, kxsc::der::kSequence, l.info);
  return std::copy(der + at.encryptedInfo.value(), der + at.encryptedInfo.value() + infoBytes, p);
}

// The cipher of a message readied by CMS_dataInit: encrypting with a new content key, or decrypting with the
// one a recipient gave. The chain owns it.
EVP_CIPHER_CTX* ContentCipher(CMS_ContentInfo* cms, BioPtr* chain) {
  BIO* nowhere = BIO_new(BIO_s_null());
  chain->reset(nowhere ? CMS_dataInit(cms, nowhere) : nullptr);
  if (!*chain) {
    BIO_free(nowhere);
    return nullptr;
  }
  EVP_CIPHER_CTX* ctx = nullptr;
  if (BIO* cipherBio = BIO_find_type(chain->get(), BIO_TYPE_CIPHER)) BIO_get_cipher_ctx(cipherBio, &ctx);
  return ctx;
}

// Runs the content through the cipher into out, in steps an int can count; the bytes written.
bool RunCipher(EVP_CIPHER_CTX* ctx, const uint8_t* in, size_t size, uint8_t* out, size_t* written) {
  uint8_t* p = out;
  for (size_t done = 0; done < size;) {
    const int step = static_cast<int>(std::min<size_t>(size - done, 1u << 30));
    int n = 0;
    if (EVP_CipherUpdate(ctx, p, &n, in + done, step) != 1) return false;
    p += n;
    done += static_cast<size_t>(step);
  }
  int n = 0;
  if (EVP_CipherFinal_ex(ctx, p, &n) != 1) return false;
  *written = static_cast<size_t>(p + n - out);
  return true;
}

// The message is laid out whole before the content is encrypted: the message without its content (recipient
// and cipher parameters) comes from the library, the content is encrypted straight into its place after it.
// Nothing is copied through a growing memory buffer, and the message's storage is kept when the length is
// the same as last time (the chunks of a file).
HRESULT EncryptInto(const uint8_t* content, size_t size, const Bytes& secret, int algorithm, int keyLength,
                    OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail) {
  if (size == 0) return Fail(detail, CAPICOM_E_ENCRYPT_NOT_INITIALIZED, "no content to encrypt");
  if (secret.empty()) return Fail(detail, CAPICOM_E_ENCRYPT_NO_SECRET, "no secret");
  CipherPtr cipher;
  HRESULT hr = FetchCipher(algorithm, keyLength, libctx, &cipher, detail);
  if (FAILED(hr)) return hr;
  X509Stack none(sk_X509_new_null());
  CmsPtr cms(CMS_encrypt_ex(none.get(), nullptr, cipher.get(), CMS_BINARY | CMS_PARTIAL | CMS_DETACHED, libctx,
                            nullptr));
  if (!cms) return Fail(detail, E_FAIL, "cannot start an encrypted message: " + OpenSslError());
  CMS_RecipientInfo* ri = CMS_add0_recipient_password(cms.get(), kSecretIterations, NID_id_alg_PWRI_KEK,
                                                      NID_id_pbkdf2, nullptr, 0, nullptr);
  if (!ri) return Fail(detail, E_FAIL, "cannot add the password recipient: " + OpenSslError());
  // The copy goes to a recipient already in the message, which owns and cleanses it from then on; handed in
  // with the recipient, a failure part way would leave it to us or to the library depending on where.
  auto* pass = static_cast<unsigned char*>(OPENSSL_memdup(secret.data(), secret.size()));
  if (!pass) return Fail(detail, E_OUTOFMEMORY, "out of memory");
  CMS_RecipientInfo_set0_password(ri, pass, static_cast<ossl_ssize_t>(secret.size()));
  // Makes the content key, encrypts it for the recipient and readies the content cipher.
  BioPtr chain;
  EVP_CIPHER_CTX* ctx = ContentCipher(cms.get(), &chain);
  if (!ctx) return Fail(detail, E_FAIL, "cannot encrypt: " + OpenSslError());
  Bytes head;
  hr = WriteMessage(cms.get(), &head, detail);
  if (FAILED(hr)) return hr;
  ContentPlace at;
  if (!FindContentPlace(head.data(), head.size(), &at)) return Fail(detail, E_FAIL, "cannot encode the message");

  const int block = EVP_CIPHER_CTX_get_block_size(ctx);
  const size_t encrypted = block > 1 ? (size / static_cast<size_t>(block) + 1) * static_cast<size_t>(block) : size;
  const size_t contentTlv = HeaderSize(encrypted) + encrypted;
  const OuterLengths l = Resized(at, static_cast<ptrdiff_t>(contentTlv));
  message->resize(l.total);
  uint8_t* p = PutOuter(head.data(), at, l, at.encryptedInfo.length, message->data());
  p = PutHeader(p, 0x80, encrypted);  // [0] IMPLICIT OCTET STRING
  size_t written = 0;
  if (!RunCipher(ctx, content, size, p, &written)) return Fail(detail, E_FAIL, "cannot encrypt: " + OpenSslError());
  if (p + written != message->data() + l.total)
    return Fail(detail, E_FAIL, "cannot encrypt: the content's length is not as expected");
  return S_OK;
}


// Checks that the message has a password recipient and opens its content key with the secret.
HRESULT SetSecret(CMS_ContentInfo* cms, const Bytes& secret, std::string* detail) {
  STACK_OF(CMS_RecipientInfo)* ris = CMS_get0_RecipientInfos(cms);
  bool password = false;
  for (int i = 0; i < sk_CMS_RecipientInfo_num(ris); ++i)
    password = password || CMS_RecipientInfo_type(sk_CMS_RecipientInfo_value(ris, i)) == CMS_RECIPINFO_PASS;
  if (!password) return Fail(detail, CAPICOM_E_ENCRYPT_INVALID_TYPE, "the message has no password recipient");
  Bytes pass = secret;  // the call takes a writable buffer; it does not keep it
  const bool opened = CMS_decrypt_set1_password(cms, pass.data(), static_cast<ossl_ssize_t>(pass.size())) == 1;
  OPENSSL_cleanse(pass.data(), pass.size());
  if (!opened) return Fail(detail, NTE_BAD_DATA, "the secret does not open the message: " + OpenSslError());
  return S_OK;
}

// Decrypts a message whose content is a primitive [0] at its very end, reading the encrypted bytes where they
// are: the library parses the message without them (no copy of the content into its objects, no memory BIO)
// and the content key the secret opens decrypts them straight into content's storage. S_FALSE when the
// message is laid out otherwise (indefinite lengths, a constructed content): the general path reads it.
HRESULT DecryptDirect(const uint8_t* message, size_t size, const Bytes& secret, OSSL_LIB_CTX* libctx,
                      Bytes* content, CipherInfo* cipher, std::string* detail) {
  ContentPlace at;
  Tlv encrypted;
  if (!FindContentPlace(message, size, &at) || !LastElement(message, at.encryptedInfo, &encrypted) ||
      message[encrypted.start] != 0x80 || encrypted.end() != size || encrypted.start == at.encryptedInfo.value())
    return S_FALSE;
  const OuterLengths l = Resized(at, -static_cast<ptrdiff_t>(encrypted.header + encrypted.length));
  Bytes head(l.total);
  if (PutOuter(message, at, l, encrypted.start - at.encryptedInfo.value(), head.data()) != head.data() + head.size())
    return S_FALSE;
  CmsPtr cms;
  if (FAILED(ParseEnveloped(head.data(), head.size(), libctx, CAPICOM_E_ENCRYPT_INVALID_TYPE, &cms, nullptr))) {
    ERR_clear_error();
    return S_FALSE;
  }
  HRESULT hr = SetSecret(cms.get(), secret, detail);
  if (FAILED(hr)) return hr;
  BioPtr chain;
  EVP_CIPHER_CTX* ctx = ContentCipher(cms.get(), &chain);
  if (!ctx) return Fail(detail, NTE_BAD_DATA, "cannot decrypt the content: " + OpenSslError());
  // The content is never longer than its encrypted form; the cipher may hold back up to a block until the end.
  content->resize(encrypted.length + static_cast<size_t>(std::max(EVP_CIPHER_CTX_get_block_size(ctx), 1)));
  size_t written = 0;
  if (!RunCipher(ctx, message + encrypted.value(), encrypted.length, content->data(), &written)) {
    OPENSSL_cleanse(content->data(), content->size());
    content->clear();
    return Fail(detail, NTE_BAD_DATA, "cannot decrypt the content: " + OpenSslError());
  }
  content->resize(written);
  if (cipher) *cipher = ReadCipher(cms.get(), message, size);
  return S_OK;
}
}  // namespace

HRESULT WriterCipher(int algorithm, int keyLength, std::string* cipherName) {
  cipherName->clear();
  if (algorithm < CAPICOM_ENCRYPTION_ALGORITHM_RC2 || algorithm > CAPICOM_ENCRYPTION_ALGORITHM_AES)
    return CAPICOM_E_ALGORITHM_INVALID_NAME;
  if (keyLength < CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM || keyLength > CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS)
    return CAPICOM_E_ALGORITHM_INVALID_KEY_LENGTH;
  if (algorithm != CAPICOM_ENCRYPTION_ALGORITHM_AES) {
    *cipherName = "DES-EDE3-CBC";
  } else if (keyLength == CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS) {
    *cipherName = "AES-192-CBC";
  } else if (keyLength == CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS || keyLength == CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM) {
    *cipherName = "AES-256-CBC";
  } else {
    *cipherName = "AES-128-CBC";
  }
  return S_OK;
}

bool Recipient::Matches(X509* cert) const {
  if (!cert) return false;
  bool match = false;
  switch (CMS_RecipientInfo_type(m_ri)) {
    case CMS_RECIPINFO_TRANS:
      match = CMS_RecipientInfo_ktri_cert_cmp(m_ri, cert) == 0;
      break;
    case CMS_RECIPINFO_AGREE: {
      STACK_OF(CMS_RecipientEncryptedKey)* reks = CMS_RecipientInfo_kari_get0_reks(m_ri);
      for (int i = 0; !match && i < sk_CMS_RecipientEncryptedKey_num(reks); ++i)
        match = CMS_RecipientEncryptedKey_cert_cmp(sk_CMS_RecipientEncryptedKey_value(reks, i), cert) == 0;
      break;
    }
    default:
      break;
  }
  ERR_clear_error();
  return match;
}

HRESULT Envelope(const Bytes& content, const std::vector<X509*>& recipients, int algorithm, int keyLength,
                 OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail) {
  message->clear();
  if (content.empty()) return Fail(detail, CAPICOM_E_ENVELOP_NOT_INITIALIZED, "no content to envelope");
  if (recipients.empty()) return Fail(detail, CAPICOM_E_ENVELOP_NO_RECIPIENT, "no recipient");
  for (X509* r : recipients)
    if (!r) return Fail(detail, E_POINTER, "a recipient without a certificate");
  CipherPtr cipher;
  HRESULT hr = FetchCipher(algorithm, keyLength, libctx, &cipher, detail);
  if (FAILED(hr)) return hr;
  X509Stack certs = StackOf(recipients);
  BioPtr in = ReadBio(content);
  // Key transport with issuer and serial number: what every reader of these envelopes understands.
  CmsPtr cms(CMS_encrypt_ex(certs.get(), in.get(), cipher.get(), CMS_BINARY, libctx, nullptr));
  if (!cms) return Fail(detail, E_FAIL, "cannot envelope for these recipients: " + OpenSslError());
  return WriteMessage(cms.get(), message, detail);
}

HRESULT OpenEnvelope(const Bytes& message, const KeyLookup& lookup, OSSL_LIB_CTX* libctx, Bytes* content,
                     CipherInfo* cipher, std::string* detail) {
  content->clear();
  if (cipher) *cipher = CipherInfo();
  CmsPtr cms;
  HRESULT hr = ParseEnveloped(message.data(), message.size(), libctx, CAPICOM_E_ENVELOP_INVALID_TYPE, &cms, detail);
  if (FAILED(hr)) return hr;
  STACK_OF(CMS_RecipientInfo)* ris = CMS_get0_RecipientInfos(cms.get());
  bool found = false;
  std::string why;
  for (int i = 0; i < sk_CMS_RecipientInfo_num(ris); ++i) {
    X509Ref cert;
    PKeyRef key;
    if (!lookup || !lookup(Recipient(sk_CMS_RecipientInfo_value(ris, i)), &cert, &key) || !cert || !key) continue;
    found = true;
    // RSA decryption with a foreign key does not fail: it yields a random content key, and about one time in
    // 256 that key passes the padding check and garbage comes out as content. Refuse the pair up front.
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
      why = "the private key does not belong to the recipient's certificate";
      continue;
    }
    // A fresh copy of the message for each key: a failed attempt leaves state behind in the object.
    CmsPtr attempt;
    hr = ParseEnveloped(message.data(), message.size(), libctx, CAPICOM_E_ENVELOP_INVALID_TYPE, &attempt, detail);
    if (FAILED(hr)) return hr;
    if (CMS_decrypt_set1_pkey_and_peer(attempt.get(), key.get(), cert.get(), nullptr) != 1) {
      why = OpenSslError();
      continue;
    }
    hr = DecryptContent(attempt.get(), message.data(), message.size(), content, cipher, &why);
    if (SUCCEEDED(hr)) return hr;
  }
  if (!found)
    return Fail(detail, CAPICOM_E_ENVELOP_RECIPIENT_NOT_FOUND, "no private key of a recipient is available");
  return Fail(detail, NTE_BAD_DATA, "the recipient's key does not open the message: " + why);
}

HRESULT EncryptWithSecret(const Bytes& content, const Bytes& secret, int algorithm, int keyLength,
                          OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail) {
  return EncryptWithSecret(content.data(), content.size(), secret, algorithm, keyLength, libctx, message, detail);
}

HRESULT EncryptWithSecret(const uint8_t* content, size_t size, const Bytes& secret, int algorithm, int keyLength,
                          OSSL_LIB_CTX* libctx, Bytes* message, std::string* detail) {
  HRESULT hr = EncryptInto(content, size, secret, algorithm, keyLength, libctx, message, detail);
  if (FAILED(hr)) message->clear();
  return hr;
}

HRESULT DecryptWithSecret(const Bytes& message, const Bytes& secret, OSSL_LIB_CTX* libctx, Bytes* content,
                          CipherInfo* cipher, std::string* detail) {
  return DecryptWithSecret(message.data(), message.size(), secret, libctx, content, cipher, detail);
}

HRESULT DecryptWithSecret(const uint8_t* message, size_t size, const Bytes& secret, OSSL_LIB_CTX* libctx,
                          Bytes* content, CipherInfo* cipher, std::string* detail) {
  content->clear();
  if (cipher) *cipher = CipherInfo();
  if (secret.empty()) return Fail(detail, CAPICOM_E_ENCRYPT_NO_SECRET, "no secret");
  HRESULT hr = DecryptDirect(message, size, secret, libctx, content, cipher, detail);
  if (hr != S_FALSE) return hr;
  CmsPtr cms;
  hr = ParseEnveloped(message, size, libctx, CAPICOM_E_ENCRYPT_INVALID_TYPE, &cms, detail);
  if (FAILED(hr)) return hr;
  hr = SetSecret(cms.get(), secret, detail);
  if (FAILED(hr)) return hr;
  return DecryptContent(cms.get(), message, size, content, cipher, detail);
}

}  // namespace kxcms
