// Signed data: signing, co-signing, verification and decoding.
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include "platform/capicom/cms/internal.h"

namespace kxcms {
namespace {

using MdPtr = std::unique_ptr<EVP_MD, Deleter<EVP_MD, EVP_MD_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME, ASN1_TIME_free>>;

const char* TextAttributeOid(int name) {
  switch (name) {
    case CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME:
      return kDocumentNameOid;
    case CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_DESCRIPTION:
      return kDocumentDescriptionOid;
    default:
      return nullptr;
  }
}

// Some writers end the text with a zero character; it is not part of the name.
std::u16string TextAttributeValue(const ASN1_OCTET_STRING* value) {
  std::u16string text = kxsc::der::FromUtf16Le(ASN1_STRING_get0_data(value), ASN1_STRING_length(value));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

bool SameOid(const ASN1_OBJECT* obj, const char* dotted) {
  kxsc::ObjPtr want(OBJ_txt2obj(dotted, 1));
  return obj && want && OBJ_cmp(obj, want.get()) == 0;
}

HRESULT CheckSigner(const SignerParams& signer, std::string* detail) {
  if (!signer.certificate) return Fail(detail, CAPICOM_E_SIGNER_NOT_INITIALIZED, "no signer certificate");
  if (!signer.privateKey || X509_check_private_key(signer.certificate, signer.privateKey) != 1) {
    ERR_clear_error();
    return Fail(detail, CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY, "the signer certificate's private key is not available");
  }
  if (signer.includeOption < CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT ||
      signer.includeOption > CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY)
    return Fail(detail, E_INVALIDARG, "unknown certificate include option");
  return CheckAttributes(signer.attributes, detail);
}

HRESULT FetchDigest(const SignerParams& signer, OSSL_LIB_CTX* libctx, MdPtr* md, std::string* detail) {
  md->reset(EVP_MD_fetch(libctx, signer.digest.c_str(), nullptr));
  if (!*md) {
    ERR_clear_error();
    return Fail(detail, E_INVALIDARG, "unknown digest algorithm " + signer.digest);
  }
  return S_OK;
}

// Adds the certificate unless the message carries it already.
bool AddCertOnce(CMS_ContentInfo* cms, X509* cert) {
  X509Stack have(CMS_get1_certs(cms));
  for (int i = 0; i < sk_X509_num(have.get()); ++i)
    if (X509_cmp(sk_X509_value(have.get(), i), cert) == 0) return true;
  return CMS_add1_cert(cms, cert) == 1;
}

// The signer's certificate and, as the include option says, the rest of its chain (without or with the root).
HRESULT AddCertificates(CMS_ContentInfo* cms, const SignerParams& signer, OSSL_LIB_CTX* libctx, std::string* detail) {
  if (!AddCertOnce(cms, signer.certificate)) return Fail(detail, E_FAIL, "cannot add the signer certificate");
  if (signer.includeOption == CAPICOM_CERTIFICATE_INCLUDE_END_ENTITY_ONLY) return S_OK;
  X509Stack candidates = StackOf(signer.chainCandidates);
  // Without a store the chain goes as far as the candidates reach; the root only when asked for.
  X509Stack chain(X509_build_chain(signer.certificate, candidates.get(), nullptr,
                                   signer.includeOption == CAPICOM_CERTIFICATE_INCLUDE_WHOLE_CHAIN, libctx, nullptr));
  ERR_clear_error();
  for (int i = 1; i < sk_X509_num(chain.get()); ++i)
    if (!AddCertOnce(cms, sk_X509_value(chain.get(), i))) return Fail(detail, E_FAIL, "cannot add a chain certificate");
  return S_OK;
}

HRESULT AddAttributes(CMS_SignerInfo* si, const std::vector<Attribute>& attributes, std::string* detail) {
  for (const Attribute& a : attributes) {
    int ok = 0;
    if (a.name == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME) {
      // UTCTime for 1950-2049, GeneralizedTime otherwise, as CMS requires.
      TimePtr t(ASN1_TIME_set(nullptr, a.time));
      ok = t && CMS_signed_add1_attr_by_NID(si, NID_pkcs9_signingTime, t->type, t.get(), -1);
    } else {
      Bytes value = kxsc::der::Utf16Le(a.text);
      static const uint8_t none = 0;
      ok = CMS_signed_add1_attr_by_txt(si, TextAttributeOid(a.name), V_ASN1_OCTET_STRING,
                                       value.empty() ? &none : value.data(), static_cast<int>(value.size()));
    }
    if (!ok) return Fail(detail, CAPICOM_E_ATTRIBUTE_INVALID_VALUE, "cannot add an attribute: " + OpenSslError());
  }
  return S_OK;
}

// A new signer info on the message, with its attributes and certificates, not yet signed.
HRESULT AddSigner(CMS_ContentInfo* cms, const SignerParams& signer, const EVP_MD* md, OSSL_LIB_CTX* libctx,
                  CMS_SignerInfo** out, std::string* detail) {
  // The certificates are added here, each once: OpenSSL refuses one the message already carries.
  *out = CMS_add1_signer(cms, signer.certificate, signer.privateKey, md,
                         CMS_PARTIAL | CMS_BINARY | CMS_NOCERTS | CMS_NOSMIMECAP);
  if (!*out) return Fail(detail, E_FAIL, "cannot add the signer: " + OpenSslError());
  HRESULT hr = AddAttributes(*out, signer.attributes, detail);
  return SUCCEEDED(hr) ? AddCertificates(cms, signer, libctx, detail) : hr;
}

std::vector<Attribute> ReadAttributes(CMS_SignerInfo* si) {
  std::vector<Attribute> out;
  for (int i = 0; i < CMS_signed_get_attr_count(si); ++i) {
    X509_ATTRIBUTE* at = CMS_signed_get_attr(si, i);
    const ASN1_OBJECT* obj = X509_ATTRIBUTE_get0_object(at);
    ASN1_TYPE* v = X509_ATTRIBUTE_get0_type(at, 0);
    if (!v) continue;
    Attribute a;
    if (OBJ_obj2nid(obj) == NID_pkcs9_signingTime) {
      if (v->type != V_ASN1_UTCTIME && v->type != V_ASN1_GENERALIZEDTIME) continue;
      a.name = CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME;
      a.time = kxsc::ToTimeT(v->value.utctime);
    } else if (SameOid(obj, kDocumentNameOid) || SameOid(obj, kDocumentDescriptionOid)) {
      if (v->type != V_ASN1_OCTET_STRING) continue;
      a.name = SameOid(obj, kDocumentNameOid) ? CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME
                                              : CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_DESCRIPTION;
      a.text = TextAttributeValue(v->value.octet_string);
    } else {
      continue;
    }
    out.push_back(std::move(a));
  }
  return out;
}

// The signed message's content, when it carries one.
bool EmbeddedContent(CMS_ContentInfo* cms, Bytes* out) {
  ASN1_OCTET_STRING** pos = CMS_get0_content(cms);
  if (!pos || !*pos) return false;
  const uint8_t* p = ASN1_STRING_get0_data(*pos);
  out->assign(p, p + ASN1_STRING_length(*pos));
  return true;
}

HRESULT ParseSigned(const Bytes& message, OSSL_LIB_CTX* libctx, CmsPtr* cms, std::string* detail) {
  HRESULT hr = ParseMessage(message, libctx, cms, detail);
  if (FAILED(hr)) return hr;
  if (OBJ_obj2nid(CMS_get0_type(cms->get())) != NID_pkcs7_signed)
    return Fail(detail, CAPICOM_E_SIGNED_DATA_INVALID_TYPE, "the message is not signed data");
  return S_OK;
}

// Finds the signers' certificates (in the message, then among the extra ones) and describes the message.
void Describe(CMS_ContentInfo* cms, const std::vector<X509*>& extra, MessageInfo* info) {
  X509Stack extraStack = StackOf(extra);
  CMS_set1_signers_certs(cms, extraStack.get(), 0);
  ERR_clear_error();
  X509Stack certs(CMS_get1_certs(cms));
  for (int i = 0; i < sk_X509_num(certs.get()); ++i) info->certificates.push_back(kxsc::Ref(sk_X509_value(certs.get(), i)));
  info->detached = !EmbeddedContent(cms, &info->content);
  STACK_OF(CMS_SignerInfo)* sis = CMS_get0_SignerInfos(cms);
  for (int i = 0; i < sk_CMS_SignerInfo_num(sis); ++i) {
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(sis, i);
    X509* cert = nullptr;
    X509_ALGOR* dig = nullptr;
    CMS_SignerInfo_get0_algs(si, nullptr, &cert, &dig, nullptr);
    SignerInfo s;
    s.certificate = kxsc::Ref(cert);
    if (dig) s.digestName = OBJ_nid2sn(OBJ_obj2nid(dig->algorithm));
    s.attributes = ReadAttributes(si);
    info->signers.push_back(std::move(s));
  }
}

// Tells a wrong signature from content that is not what was signed.
HRESULT SignatureFault(CMS_ContentInfo* cms) {
  STACK_OF(CMS_SignerInfo)* sis = CMS_get0_SignerInfos(cms);
  for (int i = 0; i < sk_CMS_SignerInfo_num(sis); ++i) {
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(sis, i);
    // Without signed attributes the signature covers the content itself: nothing tells the two apart.
    if (CMS_signed_get_attr_count(si) <= 0 || CMS_SignerInfo_verify(si) != 1) return NTE_BAD_SIGNATURE;
  }
  return CRYPT_E_HASH_VALUE;
}

// Whether the library context computes a digest algorithm, looked up as the message verifier looks it up.
bool KnownDigest(const ASN1_OBJECT* algorithm, OSSL_LIB_CTX* libctx) {
  if (!algorithm) return false;
  char name[128];
  if (OBJ_obj2txt(name, sizeof name, algorithm, 0) <= 0) return false;
  MdPtr md(EVP_MD_fetch(libctx, name, nullptr));
  const bool known = md || EVP_get_digestbyobj(algorithm);
  ERR_clear_error();
  return known;
}

// Every digest algorithm the message names (the signed data's list and each signer's) is one the library
// context computes. The verifier leaks its copy of detached content when the list names one it does not.
bool KnownDigests(CMS_ContentInfo* cms, OSSL_LIB_CTX* libctx) {
  unsigned char* out = nullptr;
  const int n = i2d_CMS_ContentInfo(cms, &out);
  if (n <= 0) {
    OPENSSL_free(out);
    ERR_clear_error();
    return false;
  }
  kxsc::Bytes encoded(out, out + n);
  OPENSSL_free(out);
  // ContentInfo { type, [0] SignedData { version, digestAlgorithms SET OF AlgorithmIdentifier, ... } }
  namespace der = kxsc::der;
  der::Reader all(encoded), info, wrapped, sd, version, algorithms;
  if (!all.Expect(der::kSequence, &info) || !info.Expect(der::kOid, nullptr) ||
      !info.Expect(der::ContextCons(0), &wrapped) || !wrapped.Expect(der::kSequence, &sd) ||
      !sd.Expect(der::kInteger, &version) || !sd.Expect(der::kSet, &algorithms))
    return false;
  while (!algorithms.AtEnd()) {
    der::Reader algorithm;
    kxsc::Bytes oid;
    if (!algorithms.Expect(der::kSequence, &algorithm) || !algorithm.Expect(der::kOid, nullptr, &oid)) return false;
    const unsigned char* p = oid.data();
    kxsc::ObjPtr obj(d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(oid.size())));
    if (!KnownDigest(obj.get(), libctx)) return false;
  }
  STACK_OF(CMS_SignerInfo)* sis = CMS_get0_SignerInfos(cms);
  for (int i = 0; i < sk_CMS_SignerInfo_num(sis); ++i) {
    X509_ALGOR* dig = nullptr;
    CMS_SignerInfo_get0_algs(sk_CMS_SignerInfo_value(sis, i), nullptr, nullptr, &dig, nullptr);
    if (!dig || !KnownDigest(dig->algorithm, libctx)) return false;
  }
  return true;
}

}  // namespace

HRESULT CheckAttributes(const std::vector<Attribute>& attributes, std::string* detail) {
  bool seen[3] = {};
  for (const Attribute& a : attributes) {
    if (a.name < CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME || a.name > CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_DESCRIPTION)
      return Fail(detail, CAPICOM_E_ATTRIBUTE_INVALID_NAME, "unknown attribute name " + std::to_string(a.name));
    if (seen[a.name]) return Fail(detail, CAPICOM_E_ATTRIBUTE_INVALID_NAME, "an attribute is given twice");
    seen[a.name] = true;
  }
  return S_OK;
}

HRESULT Sign(const Bytes& content, const SignerParams& signer, bool detached, OSSL_LIB_CTX* libctx, Bytes* message,
             std::string* detail) {
  message->clear();
  if (content.empty()) return Fail(detail, CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED, "no content to sign");
  HRESULT hr = CheckSigner(signer, detail);
  MdPtr md;
  if (SUCCEEDED(hr)) hr = FetchDigest(signer, libctx, &md, detail);
  if (FAILED(hr)) return hr;

  const unsigned int flags = CMS_BINARY | (detached ? CMS_DETACHED : 0);
  CmsPtr cms(CMS_sign_ex(nullptr, nullptr, nullptr, nullptr, flags | CMS_PARTIAL, libctx, nullptr));
  if (!cms) return Fail(detail, E_FAIL, "cannot start a signed message: " + OpenSslError());
  CMS_SignerInfo* si = nullptr;
  hr = AddSigner(cms.get(), signer, md.get(), libctx, &si, detail);
  if (FAILED(hr)) return hr;
  BioPtr in = ReadBio(content);
  if (!in || CMS_final(cms.get(), in.get(), nullptr, flags) != 1)
    return Fail(detail, E_FAIL, "cannot sign: " + OpenSslError());
  return WriteMessage(cms.get(), message, detail);
}

HRESULT CoSign(const Bytes& message, const Bytes* content, const SignerParams& signer, OSSL_LIB_CTX* libctx,
               Bytes* out, std::string* detail) {
  out->clear();
  CmsPtr cms;
  HRESULT hr = ParseSigned(message, libctx, &cms, detail);
  if (SUCCEEDED(hr)) hr = CheckSigner(signer, detail);
  MdPtr md;
  if (SUCCEEDED(hr)) hr = FetchDigest(signer, libctx, &md, detail);
  if (FAILED(hr)) return hr;

  Bytes own;
  const Bytes* signedContent = EmbeddedContent(cms.get(), &own) ? &own : content;
  if (!signedContent) return Fail(detail, CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED, "no content for a detached message");
  // The new signer's digest of the content is made here, so any digest algorithm can join the others.
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLen = 0;
  if (EVP_Digest(signedContent->data(), signedContent->size(), digest, &digestLen, md.get(), nullptr) != 1)
    return Fail(detail, E_FAIL, "cannot digest the content: " + OpenSslError());

  CMS_SignerInfo* si = nullptr;
  hr = AddSigner(cms.get(), signer, md.get(), libctx, &si, detail);
  if (FAILED(hr)) return hr;
  ASN1_OBJECT* type = OBJ_dup(CMS_get0_eContentType(cms.get()));
  int ok = type && CMS_signed_add1_attr_by_NID(si, NID_pkcs9_contentType, V_ASN1_OBJECT, type, -1) &&
           CMS_signed_add1_attr_by_NID(si, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING, digest,
                                       static_cast<int>(digestLen)) &&
           CMS_SignerInfo_sign(si) == 1;
  ASN1_OBJECT_free(type);
  if (!ok) return Fail(detail, E_FAIL, "cannot sign: " + OpenSslError());
  return WriteMessage(cms.get(), out, detail);
}

HRESULT Verify(const Bytes& message, const Bytes* content, int verifyFlag, const VerifyParams& params,
               MessageInfo* info, std::string* detail) {
  MessageInfo local;
  if (!info) info = &local;
  *info = MessageInfo();
  if (verifyFlag != CAPICOM_VERIFY_SIGNATURE_ONLY && verifyFlag != CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE)
    return Fail(detail, E_INVALIDARG, "unknown verify flag");
  CmsPtr cms;
  HRESULT hr = ParseSigned(message, params.libctx, &cms, detail);
  if (FAILED(hr)) return hr;
  Describe(cms.get(), params.extraCertificates, info);
  if (info->signers.empty()) return Fail(detail, CAPICOM_E_SIGNED_DATA_NOT_SIGNED, "the message has no signer");
  if (info->detached && !content)
    return Fail(detail, CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED, "no content for a detached signature");
  for (const SignerInfo& s : info->signers)
    if (!s.certificate) return Fail(detail, CAPICOM_E_SIGNER_NOT_FOUND, "a signer's certificate is not available");

  if (!KnownDigests(cms.get(), params.libctx))
    return Fail(detail, CRYPT_E_UNKNOWN_ALGO, "the message names a digest algorithm that is not known");

  // Signatures first; the signers' chains are the caller's question, asked below.
  BioPtr dcont = content ? ReadBio(*content) : nullptr;
  BioPtr out(BIO_new(BIO_s_mem()));
  if (CMS_verify(cms.get(), nullptr, nullptr, dcont.get(), out.get(), CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
    std::string why = OpenSslError();
    return Fail(detail, SignatureFault(cms.get()), "signature check failed: " + why);
  }
  if (verifyFlag == CAPICOM_VERIFY_SIGNATURE_ONLY) return S_OK;

  std::vector<X509*> untrusted;
  for (const X509Ref& c : info->certificates) untrusted.push_back(c.get());
  untrusted.insert(untrusted.end(), params.extraCertificates.begin(), params.extraCertificates.end());
  const time_t at = params.time ? params.time : time(nullptr);
  for (SignerInfo& s : info->signers) {
    hr = kxsc::VerifyChain(s.certificate.get(), untrusted, params, at, nullptr, &s.chain, detail);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT Decode(const Bytes& message, MessageInfo* info, OSSL_LIB_CTX* libctx, std::string* detail) {
  *info = MessageInfo();
  CmsPtr cms;
  HRESULT hr = ParseSigned(message, libctx, &cms, detail);
  if (SUCCEEDED(hr)) Describe(cms.get(), {}, info);
  return hr;
}

}  // namespace kxcms
