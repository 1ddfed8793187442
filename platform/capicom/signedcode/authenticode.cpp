// The Authenticode PKCS #7 signature: building, decoding and checking it, and the chain of its signer.
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>

#include "platform/capicom/signedcode/internal.h"
#include "platform/capicom/signedcode/pe.h"

namespace kxsc {

void X509Free::operator()(X509* x) const { X509_free(x); }

X509Ref Ref(X509* x) {
  if (x) X509_up_ref(x);
  return X509Ref(x);
}

namespace {

using namespace der;

using X509StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;

struct X509StackFree {
  void operator()(STACK_OF(X509) * s) const { sk_X509_free(s); }
};
using X509Stack = std::unique_ptr<STACK_OF(X509), X509StackFree>;

bool SameOid(const ASN1_OBJECT* obj, const char* dotted) {
  ObjPtr want(OBJ_txt2obj(dotted, 1));
  return obj && want && OBJ_cmp(obj, want.get()) == 0;
}

// SpcIndirectDataContent for a PE image: SpcPeImageData with the customary obsolete file link, and the digest.
Bytes IndirectDataContent(const EVP_MD* md, const Bytes& digest) {
  Bytes file = Tlv(ContextPrim(0), Utf16Be(u"<<<Obsolete>>>"));
  Bytes link = Cons(ContextCons(2), {file});
  Bytes peImage = Cons(kSequence, {Tlv(kBitString, Bytes{0x00}), Cons(ContextCons(0), {link})});
  Bytes data = Cons(kSequence, {Oid(kSpcPeImageData), peImage});
  Bytes algorithm = Cons(kSequence, {OidOfNid(EVP_MD_get_type(md)), Tlv(kNull, Bytes{})});
  Bytes digestInfo = Cons(kSequence, {algorithm, Tlv(kOctetString, digest)});
  return Cons(kSequence, {data, digestInfo});
}

// SpcSpOpusInfo: program name as a Unicode SpcString, more-info link as a URL.
Bytes OpusInfo(const std::u16string& description, const std::string& url) {
  Bytes content;
  if (!description.empty()) {
    Bytes name = Cons(ContextCons(0), {Tlv(ContextPrim(0), Utf16Be(description))});
    content.insert(content.end(), name.begin(), name.end());
  }
  if (!url.empty()) {
    Bytes link = Cons(ContextCons(1), {Tlv(ContextPrim(0), reinterpret_cast<const uint8_t*>(url.data()), url.size())});
    content.insert(content.end(), link.begin(), link.end());
  }
  return Tlv(kSequence, content);
}

// Reads description and URL back from an SpcSpOpusInfo value; unknown shapes are skipped.
void ReadOpusInfo(const Bytes& value, SignatureInfo* info) {
  Reader outer(value), seq;
  if (!outer.Expect(kSequence, &seq)) return;
  while (!seq.AtEnd()) {
    uint8_t tag = 0;
    Reader field, inner;
    if (!seq.Next(&tag, &field)) return;
    uint8_t innerTag = 0;
    if (!field.Next(&innerTag, &inner)) continue;
    if (tag == ContextCons(0)) {
      if (innerTag == ContextPrim(0)) {
        info->description = FromUtf16Be(inner.data(), inner.size());
      } else if (innerTag == ContextPrim(1)) {
        for (size_t i = 0; i < inner.size(); ++i) info->description.push_back(inner.data()[i]);
      }
    } else if (tag == ContextCons(1) && innerTag == ContextPrim(0)) {
      info->descriptionUrl.assign(reinterpret_cast<const char*>(inner.data()), inner.size());
    }
  }
}

Bytes AttributeValue(const X509_ATTRIBUTE* attr) {
  const ASN1_TYPE* t = X509_ATTRIBUTE_get0_type(const_cast<X509_ATTRIBUTE*>(attr), 0);
  Bytes out;
  if (!t) return out;
  unsigned char* p = nullptr;
  int n = i2d_ASN1_TYPE(t, &p);
  if (n > 0) out.assign(p, p + n);
  OPENSSL_free(p);
  return out;
}

bool AddAttribute(STACK_OF(X509_ATTRIBUTE) * *attrs, const char* oid, const Bytes& der) {
  ObjPtr obj(OBJ_txt2obj(oid, 1));
  const unsigned char* p = der.data();
  ASN1_TYPE* value = d2i_ASN1_TYPE(nullptr, &p, static_cast<long>(der.size()));
  bool ok = obj && value && p == der.data() + der.size();
  if (ok) {
    const void* data = value->type == V_ASN1_BOOLEAN ? static_cast<const void*>(&value->value.boolean)
                                                     : static_cast<const void*>(value->value.ptr);
    ok = X509at_add1_attr_by_OBJ(attrs, obj.get(), value->type, static_cast<const unsigned char*>(data), -1) != nullptr;
  }
  ASN1_TYPE_free(value);
  return ok;
}

// The signer's chain as far as the candidates reach, signer first.
std::vector<X509*> BuildChain(X509* leaf, const std::vector<X509*>& candidates) {
  std::vector<X509*> chain{leaf};
  X509* current = leaf;
  while (chain.size() < 16 && X509_self_signed(current, 0) != 1) {
    X509* issuer = nullptr;
    for (X509* c : candidates) {
      if (c && std::find(chain.begin(), chain.end(), c) == chain.end() && X509_check_issued(c, current) == X509_V_OK) {
        issuer = c;
        break;
      }
    }
    if (!issuer) break;
    chain.push_back(issuer);
    current = issuer;
  }
  return chain;
}

HRESULT MapVerifyError(int err) {
  switch (err) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return CERT_E_EXPIRED;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return CERT_E_UNTRUSTEDROOT;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return CERT_E_CHAINING;
    case X509_V_ERR_CERT_REVOKED:
      return CERT_E_REVOKED;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
      return CERT_E_REVOCATION_FAILURE;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_INVALID_NON_CA:
      return CERT_E_ROLE;
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
      return CERT_E_PATHLENCONST;
    case X509_V_ERR_INVALID_PURPOSE:
      return CERT_E_WRONG_USAGE;
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
      return CERT_E_CRITICAL;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
      return TRUST_E_CERT_SIGNATURE;
    default:
      return TRUST_E_FAIL;
  }
}

const EVP_MD* DigestOf(Digest d) { return d == Digest::Sha1 ? EVP_sha1() : EVP_sha256(); }

void FillInfo(const Decoded* d, SignatureInfo* info) {
  const STACK_OF(X509)* certs = d->p7->d.sign->cert;
  info->certificates.clear();
  for (int i = 0; i < sk_X509_num(certs); ++i) info->certificates.push_back(Ref(sk_X509_value(certs, i)));
  info->signer = Ref(FindSigner(certs, {}, d->si));
  info->description.clear();
  info->descriptionUrl.clear();
  ObjPtr opus(OBJ_txt2obj(kSpcSpOpusInfo, 1));
  int at = X509at_get_attr_by_OBJ(d->si->auth_attr, opus.get(), -1);
  if (at >= 0) ReadOpusInfo(AttributeValue(X509at_get_attr(d->si->auth_attr, at)), info);
  info->digestName = OBJ_nid2sn(EVP_MD_get_type(d->imageMd));
}

// Finds and decodes the image's signature and fills in what it carries.
HRESULT Decode(const Bytes& image, PeLayout* layout, Decoded* d, SignatureInfo* info, std::string* detail) {
  *info = SignatureInfo();
  HRESULT hr = ParsePe(image, layout, detail);
  if (SUCCEEDED(hr)) {
    Bytes blob;
    hr = ReadSignatureBlob(image, *layout, &blob, detail);
    if (SUCCEEDED(hr)) hr = DecodeSignature(blob, d, detail);
  }
  if (SUCCEEDED(hr)) FillInfo(d, info);
  return hr;
}

}  // namespace

const EVP_MD* AllowedDigest(const ASN1_OBJECT* algorithm) {
  switch (OBJ_obj2nid(algorithm)) {
    case NID_sha1:
      return EVP_sha1();
    case NID_sha256:
      return EVP_sha256();
    case NID_sha384:
      return EVP_sha384();
    case NID_sha512:
      return EVP_sha512();
    default:
      return nullptr;
  }
}

bool DigestBytes(const EVP_MD* md, const uint8_t* p, size_t n, Bytes* out) {
  unsigned int len = 0;
  out->resize(EVP_MAX_MD_SIZE);
  bool ok = EVP_Digest(p, n, out->data(), &len, md, nullptr) == 1;
  out->resize(ok ? len : 0);
  return ok;
}

X509* FindSigner(const STACK_OF(X509)* certs, const std::vector<X509*>& extra, const PKCS7_SIGNER_INFO* si) {
  const PKCS7_ISSUER_AND_SERIAL* ias = si->issuer_and_serial;
  if (!ias) return nullptr;
  auto matches = [&](X509* x) {
    return x && X509_NAME_cmp(X509_get_issuer_name(x), ias->issuer) == 0 &&
           ASN1_INTEGER_cmp(X509_get0_serialNumber(x), ias->serial) == 0;
  };
  for (int i = 0; i < sk_X509_num(certs); ++i)
    if (matches(sk_X509_value(certs, i))) return sk_X509_value(certs, i);
  for (X509* x : extra)
    if (matches(x)) return x;
  return nullptr;
}

HRESULT VerifySignerInfo(PKCS7_SIGNER_INFO* si, X509* cert, const uint8_t* content, size_t n, OSSL_LIB_CTX* libctx,
                         std::string* detail) {
  const EVP_MD* md = AllowedDigest(si->digest_alg ? si->digest_alg->algorithm : nullptr);
  if (!md) return Fail(detail, NTE_BAD_ALGID, "unsupported digest algorithm in the signature");
  if (sk_X509_ATTRIBUTE_num(si->auth_attr) <= 0)
    return Fail(detail, DIGSIG_E_DECODE, "the signature has no authenticated attributes");
  ASN1_OCTET_STRING* recorded = PKCS7_digest_from_attributes(si->auth_attr);
  Bytes digest;
  if (!recorded || !DigestBytes(md, content, n, &digest) || recorded->length != static_cast<int>(digest.size()) ||
      std::memcmp(recorded->data, digest.data(), digest.size()) != 0)
    return Fail(detail, TRUST_E_BAD_DIGEST, "the signed content does not match its message digest");

  unsigned char* attrs = nullptr;
  int attrsLen = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(si->auth_attr), &attrs, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
  EVP_PKEY* key = X509_get0_pubkey(cert);
  MdCtxPtr ctx(EVP_MD_CTX_new());
  bool ok = attrsLen > 0 && key && ctx &&
            EVP_DigestVerifyInit_ex(ctx.get(), nullptr, EVP_MD_get0_name(md), libctx, nullptr, key, nullptr) == 1 &&
            EVP_DigestVerify(ctx.get(), si->enc_digest->data, si->enc_digest->length, attrs, attrsLen) == 1;
  OPENSSL_free(attrs);
  if (!ok) return Fail(detail, TRUST_E_BAD_DIGEST, "the signature value does not verify with the signer's key");
  return S_OK;
}

bool UsageAllows(X509* cert, uint32_t xku) {
  uint32_t flags = X509_get_extension_flags(cert);
  if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(cert) & KU_DIGITAL_SIGNATURE)) return false;
  if ((flags & EXFLAG_XKUSAGE) && !(X509_get_extended_key_usage(cert) & (xku | XKU_ANYEKU))) return false;
  return true;
}

HRESULT VerifyChain(X509* leaf, const std::vector<X509*>& untrusted, const VerifyParams& params, time_t at,
                    const char* usageOid, std::vector<X509Ref>* chain, std::string* detail) {
  if (params.chainCheck) return params.chainCheck(leaf, untrusted, at, usageOid, chain, detail);
  X509_STORE* trust = params.trust;
  X509StorePtr empty;
  if (!trust) {
    empty.reset(X509_STORE_new());
    trust = empty.get();
  }
  X509Stack pool(sk_X509_new_null());
  for (X509* x : untrusted)
    if (x) sk_X509_push(pool.get(), x);
  StoreCtxPtr ctx(X509_STORE_CTX_new_ex(params.libctx, nullptr));
  if (!ctx || !trust || !X509_STORE_CTX_init(ctx.get(), trust, leaf, pool.get()))
    return Fail(detail, E_OUTOFMEMORY, "cannot start a chain check");
  X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(ctx.get()), at);
  int ok = X509_verify_cert(ctx.get());
  if (chain) {
    chain->clear();
    STACK_OF(X509)* built = X509_STORE_CTX_get0_chain(ctx.get());
    for (int i = 0; i < sk_X509_num(built); ++i) chain->push_back(Ref(sk_X509_value(built, i)));
  }
  if (ok == 1) return S_OK;
  int err = X509_STORE_CTX_get_error(ctx.get());
  return Fail(detail, MapVerifyError(err), std::string("certificate chain: ") + X509_verify_cert_error_string(err));
}

time_t ToTimeT(const ASN1_TIME* t) {
  struct tm tm {};
  if (!t || !ASN1_TIME_to_tm(t, &tm)) return 0;
  return timegm(&tm);
}

HRESULT DecodeSignature(const Bytes& blob, Decoded* d, std::string* detail) {
  const unsigned char* p = blob.data();
  d->p7.reset(d2i_PKCS7(nullptr, &p, static_cast<long>(blob.size())));
  PKCS7* p7 = d->p7.get();
  if (!p7 || p != blob.data() + blob.size()) return Fail(detail, DIGSIG_E_DECODE, "the signature is not a PKCS #7 message");
  if (!PKCS7_type_is_signed(p7) || !p7->d.sign)
    return Fail(detail, DIGSIG_E_DECODE, "the signature is not PKCS #7 signed data");
  PKCS7* content = p7->d.sign->contents;
  if (!content || !SameOid(content->type, kSpcIndirectData) || !content->d.other ||
      content->d.other->type != V_ASN1_SEQUENCE || !content->d.other->value.sequence)
    return Fail(detail, DIGSIG_E_DECODE, "the signature is not an Authenticode signature");
  const ASN1_STRING* seq = content->d.other->value.sequence;
  d->content.assign(seq->data, seq->data + seq->length);

  Reader all(d->content), body, data, info, algorithm, digest;
  Bytes oid, algOid;
  if (!all.Expect(kSequence, &body) || !all.AtEnd())
    return Fail(detail, DIGSIG_E_DECODE, "malformed SpcIndirectDataContent");
  d->contentHeader = body.data() - d->content.data();
  if (!body.Expect(kSequence, &data) ||
      !data.Expect(kOid, nullptr, &oid) || !body.Expect(kSequence, &info) || !info.Expect(kSequence, &algorithm) ||
      !algorithm.Expect(kOid, nullptr, &algOid) || !info.Expect(kOctetString, &digest))
    return Fail(detail, DIGSIG_E_DECODE, "malformed SpcIndirectDataContent");
  if (oid != Oid(kSpcPeImageData)) return Fail(detail, DIGSIG_E_DECODE, "the signature is not for a PE image");
  const unsigned char* q = algOid.data();
  ObjPtr alg(d2i_ASN1_OBJECT(nullptr, &q, static_cast<long>(algOid.size())));
  d->imageMd = alg ? AllowedDigest(alg.get()) : nullptr;
  if (!d->imageMd) return Fail(detail, NTE_BAD_ALGID, "unsupported image digest algorithm");
  d->imageDigest = digest.ToBytes();

  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7);
  if (sk_PKCS7_SIGNER_INFO_num(signers) != 1)
    return Fail(detail, DIGSIG_E_DECODE, "an Authenticode signature has exactly one signer");
  d->si = sk_PKCS7_SIGNER_INFO_value(signers, 0);
  return S_OK;
}

HRESULT SignImage(Bytes& image, const SignParams& params, std::string* detail) {
  X509* cert = params.certificate;
  if (!cert) return Fail(detail, E_INVALIDARG, "no signer certificate");
  if (!params.privateKey || X509_check_private_key(cert, params.privateKey) != 1)
    return Fail(detail, CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY, "the signer certificate has no matching private key");
  if (X509_cmp_current_time(X509_get0_notBefore(cert)) >= 0 || X509_cmp_current_time(X509_get0_notAfter(cert)) <= 0)
    return Fail(detail, CERT_E_EXPIRED, "the signer certificate is not valid now");
  if (!UsageAllows(cert, XKU_CODE_SIGN))
    return Fail(detail, CERT_E_WRONG_USAGE, "the signer certificate is not for code signing");
  if (params.includeOption < kChainExceptRoot || params.includeOption > kEndEntityOnly)
    return Fail(detail, E_INVALIDARG, "unknown include option");
  for (char c : params.descriptionUrl)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      return Fail(detail, E_INVALIDARG, "the description URL must be printable ASCII");

  PeLayout layout;
  HRESULT hr = ParsePe(image, &layout, detail);
  if (FAILED(hr)) return hr;
  if (!layout.certEntryOffset)
    return Fail(detail, TRUST_E_SUBJECT_FORM_UNKNOWN, "the image has no certificate table directory");

  Bytes work = image;
  StripCertificateTable(work, layout);
  PadForCertificateTable(work);
  const EVP_MD* md = DigestOf(params.digest);
  Bytes digest;
  if (!ImageDigest(work, layout, md, &digest)) return Fail(detail, DIGSIG_E_ENCODE, "cannot hash the image");
  const Bytes content = IndirectDataContent(md, digest);

  PKCS7Ptr p7(PKCS7_new_ex(params.libctx, nullptr));
  PKCS7_SIGNER_INFO* si = nullptr;
  bool ok = p7 && PKCS7_set_type(p7.get(), NID_pkcs7_signed) &&
            (si = PKCS7_add_signature(p7.get(), cert, params.privateKey, md)) != nullptr;
  ok = ok && PKCS7_add_signed_attribute(si, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_txt2obj(kSpcIndirectData, 1));
  ok = ok && AddAttribute(&si->auth_attr, kSpcSpOpusInfo, OpusInfo(params.description, params.descriptionUrl));
  ok = ok && AddAttribute(&si->auth_attr, kSpcStatementType, Cons(kSequence, {Oid(kSpcIndividualCodeSigning)}));
  if (ok && params.signingTime) {
    ASN1_TIME* t = ASN1_TIME_set(nullptr, params.signingTime);
    ok = t && PKCS7_add0_attrib_signing_time(si, t);
    if (!ok) ASN1_TIME_free(t);
  }
  if (!ok) return Fail(detail, DIGSIG_E_ENCODE, "cannot build the signature");
  for (const SignedAttribute& a : params.extraAttributes) {
    ObjPtr obj(OBJ_txt2obj(a.oid.c_str(), 1));
    if (!obj) return Fail(detail, E_INVALIDARG, "malformed attribute identifier " + a.oid);
    if (X509at_get_attr_by_OBJ(si->auth_attr, obj.get(), -1) >= 0 || OBJ_obj2nid(obj.get()) == NID_pkcs9_messageDigest)
      return Fail(detail, E_INVALIDARG, "attribute " + a.oid + " is set by the signature itself");
    if (!AddAttribute(&si->auth_attr, a.oid.c_str(), a.value))
      return Fail(detail, E_INVALIDARG, "attribute " + a.oid + " is not one DER value");
  }

  std::vector<X509*> chain = BuildChain(cert, params.chainCandidates);
  if (params.includeOption == kEndEntityOnly) chain.resize(1);
  if (params.includeOption == kChainExceptRoot && chain.size() > 1 && X509_self_signed(chain.back(), 0) == 1)
    chain.pop_back();
  for (X509* x : chain) ok = ok && PKCS7_add_certificate(p7.get(), x);

  // The signed content is the body of SpcIndirectDataContent without its tag and length.
  ok = ok && PKCS7_content_new(p7.get(), NID_pkcs7_data);
  BIO* bio = ok ? PKCS7_dataInit(p7.get(), nullptr) : nullptr;
  Reader r(content), body;
  r.Expect(kSequence, &body);
  const size_t header = body.data() - content.data();
  ok = bio && BIO_write(bio, content.data() + header, static_cast<int>(content.size() - header)) ==
                  static_cast<int>(content.size() - header) &&
       PKCS7_dataFinal(p7.get(), bio);
  BIO_free_all(bio);
  if (!ok) return Fail(detail, DIGSIG_E_ENCODE, "cannot sign with the signer's key");

  PKCS7* inner = PKCS7_new();
  ASN1_STRING* seq = ASN1_STRING_new();
  ok = inner && seq && ASN1_STRING_set(seq, content.data(), static_cast<int>(content.size()));
  if (ok) {
    inner->type = OBJ_txt2obj(kSpcIndirectData, 1);
    inner->d.other = ASN1_TYPE_new();
    ok = inner->type && inner->d.other;
    if (ok) {
      ASN1_TYPE_set(inner->d.other, V_ASN1_SEQUENCE, seq);
      seq = nullptr;
    }
  }
  ASN1_STRING_free(seq);
  ok = ok && PKCS7_set_content(p7.get(), inner);
  if (!ok) {
    PKCS7_free(inner);
    return Fail(detail, DIGSIG_E_ENCODE, "cannot build the signature");
  }

  Bytes blob = ToDer(p7.get(), i2d_PKCS7);
  if (blob.empty()) return Fail(detail, DIGSIG_E_ENCODE, "cannot encode the signature");
  AppendCertificateTable(work, layout, blob);
  image.swap(work);
  return S_OK;
}

HRESULT VerifyImage(const Bytes& image, const VerifyParams& params, SignatureInfo* info, std::string* detail) {
  SignatureInfo local;
  if (!info) info = &local;
  PeLayout layout;
  Decoded d;
  HRESULT hr = Decode(image, &layout, &d, info, detail);
  if (FAILED(hr)) return hr;

  Bytes digest;
  if (!ImageDigest(image, layout, d.imageMd, &digest)) return Fail(detail, E_FAIL, "cannot hash the image");
  if (digest != d.imageDigest) return Fail(detail, TRUST_E_BAD_DIGEST, "the file was changed after it was signed");

  X509* signer = FindSigner(d.p7->d.sign->cert, params.extraCertificates, d.si);
  if (!signer) return Fail(detail, CRYPT_E_NO_MATCH, "the signer's certificate is not in the signature");
  if (!info->signer) info->signer = Ref(signer);
  ASN1_TYPE* contentType = PKCS7_get_signed_attribute(d.si, NID_pkcs9_contentType);
  if (!contentType || contentType->type != V_ASN1_OBJECT || !SameOid(contentType->value.object, kSpcIndirectData))
    return Fail(detail, DIGSIG_E_DECODE, "the signature's content type attribute is missing or wrong");
  hr = VerifySignerInfo(d.si, signer, d.content.data() + d.contentHeader, d.content.size() - d.contentHeader,
                        params.libctx, detail);
  if (FAILED(hr)) return hr;
  hr = VerifyTimestamp(d, params, info, detail);
  if (FAILED(hr)) return hr;

  if (!UsageAllows(signer, XKU_CODE_SIGN))
    return Fail(detail, CERT_E_WRONG_USAGE, "the signer certificate is not for code signing");
  std::vector<X509*> untrusted = params.extraCertificates;
  for (int i = 0; i < sk_X509_num(d.p7->d.sign->cert); ++i) untrusted.push_back(sk_X509_value(d.p7->d.sign->cert, i));
  time_t at = params.time ? params.time : (info->timestamp != TimestampKind::None ? info->timestampTime : time(nullptr));
  return VerifyChain(signer, untrusted, params, at, kCodeSigningUsage, &info->chain, detail);
}

HRESULT ReadSignatureImage(const Bytes& image, SignatureInfo* info, std::string* detail) {
  SignatureInfo local;
  if (!info) info = &local;
  PeLayout layout;
  Decoded d;
  HRESULT hr = Decode(image, &layout, &d, info, detail);
  if (FAILED(hr)) return hr;
  // Without a trust store the stamp's chain fails, but what the stamp says is still filled in.
  VerifyTimestamp(d, VerifyParams(), info, nullptr);
  return S_OK;
}

}  // namespace kxsc
