#include "platform/capicom/core/encoded.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstring>

#include "platform/capicom/capicom_defs.h"

namespace kx::capi {
namespace {

Bytes Der(X509_CRL* crl) {
  unsigned char* out = nullptr;
  int n = i2d_X509_CRL(crl, &out);
  Bytes b;
  if (n > 0) b.assign(out, out + n);
  OPENSSL_free(out);
  return b;
}

bool IsText(const uint8_t* data, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    uint8_t c = data[i];
    if (c < 0x09 || (c > 0x0D && c < 0x20) || c > 0x7E) return false;
  }
  return len > 0;
}

// Certificates and lists of a DER PKCS#7; false when the bytes are not one.
bool ReadPkcs7Der(const uint8_t* data, size_t len, std::vector<CertRef>& certs, std::vector<CrlRef>& crls) {
  const unsigned char* p = data;
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(len)));
  if (!p7 || p != data + len) return false;
  STACK_OF(X509)* xs = nullptr;
  STACK_OF(X509_CRL)* cs = nullptr;
  int type = OBJ_obj2nid(p7->type);
  if (type == NID_pkcs7_signed && p7->d.sign) {
    xs = p7->d.sign->cert;
    cs = p7->d.sign->crl;
  } else if (type == NID_pkcs7_signedAndEnveloped && p7->d.signed_and_enveloped) {
    xs = p7->d.signed_and_enveloped->cert;
    cs = p7->d.signed_and_enveloped->crl;
  } else {
    return false;
  }
  for (int i = 0; i < sk_X509_num(xs); ++i)
    if (CertRef c = CertData::FromX509(sk_X509_value(xs, i))) certs.push_back(c);
  for (int i = 0; i < sk_X509_CRL_num(cs); ++i) {
    Bytes der = Der(sk_X509_CRL_value(cs, i));
    if (CrlRef c = CrlData::Parse(der)) crls.push_back(c);
  }
  return true;
}

bool ReadDer(const uint8_t* data, size_t len, std::vector<CertRef>& certs, std::vector<CrlRef>& crls) {
  if (ReadPkcs7Der(data, len, certs, crls)) return true;
  const unsigned char* p = data;
  if (X509* x = d2i_X509(nullptr, &p, static_cast<long>(len))) {
    bool whole = p == data + len;
    X509_free(x);
    if (whole) {
      if (CertRef c = CertData::Parse(data, len)) {
        certs.push_back(c);
        return true;
      }
    }
  }
  ERR_clear_error();
  const unsigned char* q = data;
  if (X509_CRL* crl = d2i_X509_CRL(nullptr, &q, static_cast<long>(len))) {
    bool whole = q == data + len;
    X509_CRL_free(crl);
    if (whole) {
      if (CrlRef c = CrlData::Parse(data, len)) {
        crls.push_back(c);
        return true;
      }
    }
  }
  ERR_clear_error();
  return false;
}

}  // namespace

std::shared_ptr<const CrlData> CrlData::Parse(const uint8_t* data, size_t len) {
  if (!data || !len) return nullptr;
  CrlPtr crl;
  {
    const unsigned char* p = data;
    X509_CRL* c = d2i_X509_CRL(nullptr, &p, static_cast<long>(len));
    if (c && p == data + len) crl.reset(c);
    else X509_CRL_free(c);
  }
  if (!crl && IsText(data, len)) {
    Bytes der;
    if (Base64Decode(std::string(reinterpret_cast<const char*>(data), len), der)) {
      const unsigned char* p = der.data();
      X509_CRL* c = d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size()));
      if (c && p == der.data() + der.size()) crl.reset(c);
      else X509_CRL_free(c);
    }
  }
  ERR_clear_error();
  if (!crl) return nullptr;
  std::shared_ptr<CrlData> r(new CrlData());
  r->m_der = Der(crl.get());
  r->m_crl = std::move(crl);
  return r;
}

std::string CrlData::issuerKey() const {
  unsigned char* out = nullptr;
  int n = i2d_X509_NAME(X509_CRL_get_issuer(m_crl.get()), &out);
  std::string key = n > 0 ? Sha1Hex(out, static_cast<size_t>(n)) : std::string();
  OPENSSL_free(out);
  return key;
}

Bytes MakePkcs7Bundle(const std::vector<CertRef>& certs, const std::vector<CrlRef>& crls) {
  Pkcs7Ptr p7(PKCS7_new_ex(LibCtx(), nullptr));
  Bytes out;
  if (!p7 || PKCS7_set_type(p7.get(), NID_pkcs7_signed) != 1 ||
      PKCS7_content_new(p7.get(), NID_pkcs7_data) != 1)
    return out;
  for (const CertRef& c : certs) PKCS7_add_certificate(p7.get(), c->x509());
  for (const CrlRef& c : crls) PKCS7_add_crl(p7.get(), c->crl());
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7.get(), &der);
  if (n > 0) out.assign(der, der + n);
  OPENSSL_free(der);
  ERR_clear_error();
  return out;
}

HRESULT ReadEncodedObjects(const uint8_t* data, size_t len, std::vector<CertRef>& certs,
                           std::vector<CrlRef>& crls) {
  certs.clear();
  crls.clear();
  if (!data || !len) return CRYPT_E_ASN1_BADTAG;
  if (ReadDer(data, len, certs, crls)) return S_OK;
  if (!IsText(data, len)) return CRYPT_E_ASN1_BADTAG;
  std::string text(reinterpret_cast<const char*>(data), len);
  if (text.find("-----BEGIN") != std::string::npos) {
    // A PEM file may hold several certificates and lists, or one PKCS#7.
    BioPtr bio = MemBio(data, len);
    STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio_ex(bio.get(), nullptr, nullptr, nullptr, LibCtx(), nullptr);
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
      X509_INFO* info = sk_X509_INFO_value(infos, i);
      if (info->x509)
        if (CertRef c = CertData::FromX509(info->x509)) certs.push_back(c);
      if (info->crl)
        if (CrlRef c = CrlData::Parse(Der(info->crl))) crls.push_back(c);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    ERR_clear_error();
    if (!certs.empty() || !crls.empty()) return S_OK;
  }
  Bytes der;
  if (Base64Decode(text, der) && ReadDer(der.data(), der.size(), certs, crls)) return S_OK;
  return CRYPT_E_ASN1_BADTAG;
}

bool LooksLikePfx(const uint8_t* data, size_t len) {
  const unsigned char* p = data;
  PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(len));
  bool ok = p12 != nullptr;
  PKCS12_free(p12);
  ERR_clear_error();
  return ok;
}

HRESULT ReadPfx(const uint8_t* data, size_t len, const std::string& password, PfxContents& out) {
  out = PfxContents();
  // The object carries our library context, so the legacy algorithms of old files are found.
  PKCS12* p12 = PKCS12_init_ex(NID_pkcs7_data, LibCtx(), nullptr);
  const unsigned char* p = data;
  if (!p12 || !d2i_PKCS12(&p12, &p, static_cast<long>(len))) {
    ERR_clear_error();
    return CRYPT_E_ASN1_BADTAG;  // d2i freed the object
  }
  Pkcs12Ptr owned(p12);
  const char* pass = password.c_str();
  if (PKCS12_mac_present(p12)) {
    bool macOk = PKCS12_verify_mac(p12, pass, static_cast<int>(password.size())) == 1;
    if (!macOk && password.empty()) macOk = PKCS12_verify_mac(p12, nullptr, 0) == 1;
    if (!macOk) {
      ERR_clear_error();
      return CAPICOM_HR_INVALID_PASSWORD;
    }
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  if (PKCS12_parse(p12, pass, &key, &cert, &ca) != 1) {
    ERR_clear_error();
    return CAPICOM_HR_INVALID_PASSWORD;
  }
  out.key.reset(key);
  X509StackPtr others(ca);
  X509Ptr main(cert);
  if (main) out.cert = CertData::FromX509(main.get());
  for (int i = 0; i < sk_X509_num(ca); ++i) {
    CertRef c = CertData::FromX509(sk_X509_value(ca, i));
    if (!c) continue;
    if (!out.cert) out.cert = c;
    else out.others.push_back(c);
  }
  ERR_clear_error();
  return out.cert ? S_OK : CRYPT_E_NOT_FOUND;
}

HRESULT WritePfx(const CertData& cert, EVP_PKEY* key, const std::vector<CertRef>& chain,
                 const std::string& password, Bytes& out) {
  out.clear();
  X509StackPtr ca(sk_X509_new_null());
  for (const CertRef& c : chain) sk_X509_push(ca.get(), X509_dup(c->x509()));
  PKCS12* p12 = PKCS12_create_ex(password.c_str(), nullptr, key, cert.x509(), ca.get(),
                                 NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                                 2048, -1, 0, LibCtx(), nullptr);
  if (!p12) {
    ERR_clear_error();
    return CAPICOM_E_INTERNAL;
  }
  Pkcs12Ptr owned(p12);
  // A SHA-1 MAC keeps the file readable by old peers.
  EVP_MD* sha1 = EVP_MD_fetch(LibCtx(), "SHA1", nullptr);
  bool macOk = PKCS12_set_mac(p12, password.c_str(), -1, nullptr, 0, 2048, sha1) == 1;
  EVP_MD_free(sha1);
  unsigned char* der = nullptr;
  int n = macOk ? i2d_PKCS12(p12, &der) : -1;
  if (n > 0) out.assign(der, der + n);
  OPENSSL_free(der);
  ERR_clear_error();
  return n > 0 ? S_OK : CAPICOM_E_INTERNAL;
}

}  // namespace kx::capi
