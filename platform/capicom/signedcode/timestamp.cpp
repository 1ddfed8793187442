// Time stamps on an Authenticode signature: asking a time-stamping service (the legacy Authenticode
// protocol or RFC 3161) and checking a stamp. Either stamps the signer's signature value.
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstring>

#include "platform/capicom/signedcode/internal.h"
#include "platform/capicom/signedcode/pe.h"

namespace kxsc {
namespace {

using namespace der;

using SignerInfoPtr = std::unique_ptr<PKCS7_SIGNER_INFO, Deleter<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>>;
using TstInfoPtr = std::unique_ptr<TS_TST_INFO, Deleter<TS_TST_INFO, TS_TST_INFO_free>>;
using TsReqPtr = std::unique_ptr<TS_REQ, Deleter<TS_REQ, TS_REQ_free>>;
using TsRespPtr = std::unique_ptr<TS_RESP, Deleter<TS_RESP, TS_RESP_free>>;
using ImprintPtr = std::unique_ptr<TS_MSG_IMPRINT, Deleter<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>>;
using AlgorPtr = std::unique_ptr<X509_ALGOR, Deleter<X509_ALGOR, X509_ALGOR_free>>;
using IntegerPtr = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER, ASN1_INTEGER_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

HRESULT StampFail(std::string* detail, const std::string& why) { return Fail(detail, TRUST_E_TIME_STAMP, "time stamp: " + why); }

std::vector<X509*> Certs(const STACK_OF(X509)* s) {
  std::vector<X509*> out;
  for (int i = 0; i < sk_X509_num(s); ++i) out.push_back(sk_X509_value(s, i));
  return out;
}

// The encoding held by an attribute whose value is a SEQUENCE.
bool SequenceValue(const X509_ATTRIBUTE* attr, Bytes* out) {
  const ASN1_TYPE* t = X509_ATTRIBUTE_get0_type(const_cast<X509_ATTRIBUTE*>(attr), 0);
  if (!t || t->type != V_ASN1_SEQUENCE || !t->value.sequence) return false;
  out->assign(t->value.sequence->data, t->value.sequence->data + t->value.sequence->length);
  return true;
}

int FindAttr(const STACK_OF(X509_ATTRIBUTE) * attrs, const char* oid) {
  ObjPtr obj(OBJ_txt2obj(oid, 1));
  return X509at_get_attr_by_OBJ(attrs, obj.get(), -1);
}

// A legacy countersignature: its message digest must be over the signature value, its signature valid.
HRESULT CheckCountersignature(PKCS7_SIGNER_INFO* cs, const std::vector<X509*>& certs, const ASN1_OCTET_STRING* stamped,
                              OSSL_LIB_CTX* libctx, X509** tsa, time_t* when, std::string* detail) {
  *tsa = FindSigner(nullptr, certs, cs);
  if (!*tsa) return StampFail(detail, "the time-stamping certificate is missing");
  ASN1_TYPE* t = PKCS7_get_signed_attribute(cs, NID_pkcs9_signingTime);
  if (!t || (t->type != V_ASN1_UTCTIME && t->type != V_ASN1_GENERALIZEDTIME)) return StampFail(detail, "no signing time");
  *when = ToTimeT(t->value.asn1_string);
  std::string why;
  if (FAILED(VerifySignerInfo(cs, *tsa, stamped->data, stamped->length, libctx, &why))) return StampFail(detail, why);
  return S_OK;
}

// An RFC 3161 token: signed TSTInfo whose message imprint is the digest of the signature value.
HRESULT CheckToken(PKCS7* token, const std::vector<X509*>& extra, const ASN1_OCTET_STRING* stamped,
                   OSSL_LIB_CTX* libctx, X509** tsa, time_t* when, std::string* detail) {
  if (!token || !PKCS7_type_is_signed(token) || !token->d.sign) return StampFail(detail, "the token is not signed data");
  PKCS7* content = token->d.sign->contents;
  if (!content || OBJ_obj2nid(content->type) != NID_id_smime_ct_TSTInfo || !content->d.other ||
      content->d.other->type != V_ASN1_OCTET_STRING)
    return StampFail(detail, "the token holds no TSTInfo");
  const ASN1_OCTET_STRING* tstBytes = content->d.other->value.octet_string;
  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(token);
  if (sk_PKCS7_SIGNER_INFO_num(signers) != 1) return StampFail(detail, "the token must have one signer");
  PKCS7_SIGNER_INFO* tsi = sk_PKCS7_SIGNER_INFO_value(signers, 0);
  *tsa = FindSigner(token->d.sign->cert, extra, tsi);
  if (!*tsa) return StampFail(detail, "the time-stamping certificate is missing");

  const unsigned char* p = tstBytes->data;
  TstInfoPtr tst(d2i_TS_TST_INFO(nullptr, &p, tstBytes->length));
  if (!tst) return StampFail(detail, "malformed TSTInfo");
  *when = ToTimeT(TS_TST_INFO_get_time(tst.get()));
  TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(tst.get());
  const EVP_MD* md = AllowedDigest(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
  const ASN1_OCTET_STRING* recorded = TS_MSG_IMPRINT_get_msg(imprint);
  Bytes digest;
  if (!md || !DigestBytes(md, stamped->data, stamped->length, &digest) ||
      recorded->length != static_cast<int>(digest.size()) || std::memcmp(recorded->data, digest.data(), digest.size()))
    return StampFail(detail, "the token stamps another signature");
  std::string why;
  if (FAILED(VerifySignerInfo(tsi, *tsa, tstBytes->data, tstBytes->length, libctx, &why))) return StampFail(detail, why);
  return S_OK;
}

void RemoveStamps(PKCS7_SIGNER_INFO* si) {
  for (int i = sk_X509_ATTRIBUTE_num(si->unauth_attr) - 1; i >= 0; --i) {
    X509_ATTRIBUTE* a = sk_X509_ATTRIBUTE_value(si->unauth_attr, i);
    ASN1_OBJECT* obj = X509_ATTRIBUTE_get0_object(a);
    ObjPtr rfc(OBJ_txt2obj(kRfc3161Attribute, 1));
    if (OBJ_obj2nid(obj) == NID_pkcs9_countersignature || OBJ_cmp(obj, rfc.get()) == 0)
      X509_ATTRIBUTE_free(sk_X509_ATTRIBUTE_delete(si->unauth_attr, i));
  }
}

bool AddSequenceAttr(PKCS7_SIGNER_INFO* si, const char* oid, const Bytes& der) {
  ObjPtr obj(OBJ_txt2obj(oid, 1));
  return obj && X509at_add1_attr_by_OBJ(&si->unauth_attr, obj.get(), V_ASN1_SEQUENCE, der.data(),
                                        static_cast<int>(der.size())) != nullptr;
}

std::string Base64(const Bytes& b) {
  std::string out(4 * ((b.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), b.data(), static_cast<int>(b.size()));
  out.resize(n > 0 ? n : 0);
  return out;
}

// A legacy service answers in base64 (some in DER); whitespace is ignored.
bool DecodeAnswer(const std::string& body, Bytes* out) {
  if (!body.empty() && static_cast<unsigned char>(body[0]) == 0x30) {
    out->assign(body.begin(), body.end());
    return true;
  }
  std::string text;
  for (char c : body)
    if (!isspace(static_cast<unsigned char>(c))) text.push_back(c);
  if (text.empty() || text.size() % 4) return false;
  out->resize(text.size() / 4 * 3);
  int n = EVP_DecodeBlock(out->data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return false;
  size_t pad = (text.back() == '=') + (text.size() > 1 && text[text.size() - 2] == '=');
  out->resize(n - pad);
  return true;
}

HRESULT Post(const TimestampParams& params, const std::string& type, const std::string& body, std::string* answer,
             std::string* detail) {
  kx::HttpResponse r = kx::HttpPost(params.url, type, body, params.http);
  if (!r.Ok()) {
    std::string why = r.error != kx::HttpError::None ? r.errorText : "HTTP status " + std::to_string(r.status);
    return Fail(detail, kx::HttpResultCode(r), "time-stamping service " + params.url + ": " + why);
  }
  *answer = std::move(r.body);
  return S_OK;
}

HRESULT StampLegacy(PKCS7* p7, PKCS7_SIGNER_INFO* si, const TimestampParams& params, std::string* detail) {
  const ASN1_OCTET_STRING* value = si->enc_digest;
  Bytes request = Cons(kSequence, {Oid(kSpcTimeStampRequest),
                                   Cons(kSequence, {OidOfNid(NID_pkcs7_data),
                                                    Cons(ContextCons(0), {Tlv(kOctetString, value->data,
                                                                                 static_cast<size_t>(value->length))})})});
  std::string body;
  HRESULT hr = Post(params, "application/octet-stream", Base64(request), &body, detail);
  if (FAILED(hr)) return hr;
  Bytes der;
  if (!DecodeAnswer(body, &der)) return StampFail(detail, "the service's answer is not base64");
  const unsigned char* p = der.data();
  PKCS7Ptr reply(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  if (!reply || !PKCS7_type_is_signed(reply.get()) || !reply->d.sign)
    return StampFail(detail, "the service's answer is not PKCS #7 signed data");
  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(reply.get());
  if (sk_PKCS7_SIGNER_INFO_num(signers) != 1) return StampFail(detail, "the answer must have one signer");
  PKCS7_SIGNER_INFO* cs = sk_PKCS7_SIGNER_INFO_value(signers, 0);
  X509* tsa = nullptr;
  time_t when = 0;
  hr = CheckCountersignature(cs, Certs(reply->d.sign->cert), value, nullptr, &tsa, &when, detail);
  if (FAILED(hr)) return hr;

  Bytes attr = ToDer(cs, i2d_PKCS7_SIGNER_INFO);
  RemoveStamps(si);
  if (attr.empty() || !AddSequenceAttr(si, "1.2.840.113549.1.9.6", attr))
    return Fail(detail, DIGSIG_E_ENCODE, "cannot add the countersignature");
  for (X509* x : Certs(reply->d.sign->cert)) {
    bool present = false;
    for (X509* have : Certs(p7->d.sign->cert)) present = present || X509_cmp(have, x) == 0;
    if (!present && !PKCS7_add_certificate(p7, x)) return Fail(detail, DIGSIG_E_ENCODE, "cannot add a certificate");
  }
  return S_OK;
}

HRESULT StampRfc3161(PKCS7_SIGNER_INFO* si, const TimestampParams& params, std::string* detail) {
  const ASN1_OCTET_STRING* value = si->enc_digest;
  const EVP_MD* md = AllowedDigest(si->digest_alg->algorithm);
  Bytes digest;
  if (!md || !DigestBytes(md, value->data, value->length, &digest))
    return Fail(detail, NTE_BAD_ALGID, "unsupported digest algorithm in the signature");

  TsReqPtr req(TS_REQ_new());
  ImprintPtr imprint(TS_MSG_IMPRINT_new());
  AlgorPtr alg(X509_ALGOR_new());
  BnPtr bn(BN_new());
  bool ok = req && imprint && alg && bn && TS_REQ_set_version(req.get(), 1) &&
            X509_ALGOR_set0(alg.get(), OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr) &&
            TS_MSG_IMPRINT_set_algo(imprint.get(), alg.get()) &&
            TS_MSG_IMPRINT_set_msg(imprint.get(), digest.data(), static_cast<int>(digest.size())) &&
            TS_REQ_set_msg_imprint(req.get(), imprint.get()) && BN_rand(bn.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
  IntegerPtr nonce(ok ? BN_to_ASN1_INTEGER(bn.get(), nullptr) : nullptr);
  ok = nonce && TS_REQ_set_nonce(req.get(), nonce.get()) && TS_REQ_set_cert_req(req.get(), 1);
  Bytes reqDer = ok ? ToDer(req.get(), i2d_TS_REQ) : Bytes();
  std::string reqBody(reqDer.begin(), reqDer.end());
  if (reqBody.empty()) return Fail(detail, DIGSIG_E_ENCODE, "cannot build the time-stamp request");

  std::string body;
  HRESULT hr = Post(params, "application/timestamp-query", reqBody, &body, detail);
  if (FAILED(hr)) return hr;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(body.data());
  TsRespPtr resp(d2i_TS_RESP(nullptr, &p, static_cast<long>(body.size())));
  if (!resp) return StampFail(detail, "the service's answer is not a time-stamp response");
  long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(TS_RESP_get_status_info(resp.get())));
  if (status != 0 && status != 1) return StampFail(detail, "the service refused (status " + std::to_string(status) + ")");
  PKCS7* token = TS_RESP_get_token(resp.get());
  TS_TST_INFO* tst = TS_RESP_get_tst_info(resp.get());
  if (!token || !tst) return StampFail(detail, "the answer holds no token");
  const ASN1_INTEGER* answered = TS_TST_INFO_get_nonce(tst);
  if (!answered || ASN1_INTEGER_cmp(answered, nonce.get()) != 0) return StampFail(detail, "the answer's nonce differs");
  X509* tsa = nullptr;
  time_t when = 0;
  hr = CheckToken(token, {}, value, nullptr, &tsa, &when, detail);
  if (FAILED(hr)) return hr;

  Bytes attr = ToDer(token, i2d_PKCS7);
  RemoveStamps(si);
  if (attr.empty() || !AddSequenceAttr(si, kRfc3161Attribute, attr))
    return Fail(detail, DIGSIG_E_ENCODE, "cannot add the time-stamp token");
  return S_OK;
}

}  // namespace

HRESULT VerifyTimestamp(const Decoded& d, const VerifyParams& params, SignatureInfo* info, std::string* detail) {
  PKCS7_SIGNER_INFO* si = d.si;
  int legacy = X509at_get_attr_by_NID(si->unauth_attr, NID_pkcs9_countersignature, -1);
  int rfc = FindAttr(si->unauth_attr, kRfc3161Attribute);
  if (legacy < 0 && rfc < 0) return S_OK;

  std::vector<X509*> certs = params.extraCertificates;
  for (X509* x : Certs(d.p7->d.sign->cert)) certs.push_back(x);
  X509* tsa = nullptr;
  time_t when = 0;
  Bytes value;
  HRESULT hr;
  PKCS7Ptr token;
  if (rfc >= 0) {
    info->timestamp = TimestampKind::Rfc3161;
    if (!SequenceValue(X509at_get_attr(si->unauth_attr, rfc), &value)) return StampFail(detail, "malformed attribute");
    const unsigned char* p = value.data();
    token.reset(d2i_PKCS7(nullptr, &p, static_cast<long>(value.size())));
    hr = CheckToken(token.get(), certs, si->enc_digest, params.libctx, &tsa, &when, detail);
    if (token) {
      for (X509* x : Certs(token->d.sign ? token->d.sign->cert : nullptr)) certs.push_back(x);
    }
  } else {
    info->timestamp = TimestampKind::Authenticode;
    if (!SequenceValue(X509at_get_attr(si->unauth_attr, legacy), &value)) return StampFail(detail, "malformed attribute");
    const unsigned char* p = value.data();
    SignerInfoPtr cs(d2i_PKCS7_SIGNER_INFO(nullptr, &p, static_cast<long>(value.size())));
    if (!cs) return StampFail(detail, "malformed countersignature");
    hr = CheckCountersignature(cs.get(), certs, si->enc_digest, params.libctx, &tsa, &when, detail);
  }
  info->timestamper = Ref(tsa);
  info->timestampTime = when;
  if (FAILED(hr)) return hr;
  if (!UsageAllows(tsa, XKU_TIMESTAMP)) return StampFail(detail, "the certificate is not for time stamping");
  std::string why;
  if (FAILED(VerifyChain(tsa, certs, params, when, kTimeStampingUsage, nullptr, &why))) return StampFail(detail, why);
  return S_OK;
}

HRESULT TimestampImage(Bytes& image, const TimestampParams& params, std::string* detail) {
  if (params.url.empty()) return Fail(detail, E_INVALIDARG, "no time-stamping service");
  PeLayout layout;
  HRESULT hr = ParsePe(image, &layout, detail);
  if (FAILED(hr)) return hr;
  Bytes blob;
  hr = ReadSignatureBlob(image, layout, &blob, detail);
  if (FAILED(hr)) return hr;
  Decoded d;
  hr = DecodeSignature(blob, &d, detail);
  if (FAILED(hr)) return hr;

  hr = params.protocol == TimestampProtocol::Rfc3161 ? StampRfc3161(d.si, params, detail)
                                                     : StampLegacy(d.p7.get(), d.si, params, detail);
  if (FAILED(hr)) return hr;
  Bytes stamped = ToDer(d.p7.get(), i2d_PKCS7);
  if (stamped.empty()) return Fail(detail, DIGSIG_E_ENCODE, "cannot encode the signature");
  Bytes work = image;
  StripCertificateTable(work, layout);
  AppendCertificateTable(work, layout, stamped);
  image.swap(work);
  return S_OK;
}

}  // namespace kxsc
