#include "platform/capicom/core/certdata.h"

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/capicom/capicom_defs.h"

namespace kx::capi {
namespace {

constexpr const char* kUpnOid = "1.3.6.1.4.1.311.20.2.3";
constexpr const char* kTemplateNameOid = "1.3.6.1.4.1.311.20.2";
constexpr const char* kTemplateOid = "1.3.6.1.4.1.311.21.7";

X509Ptr TryDer(const uint8_t* data, size_t len) {
  X509* x = X509_new_ex(LibCtx(), nullptr);
  if (!x) return nullptr;
  const unsigned char* p = data;
  if (!d2i_X509(&x, &p, static_cast<long>(len))) return nullptr;  // d2i frees x on failure
  X509Ptr owned(x);
  // Trailing bytes mean this was not one DER certificate.
  if (p != data + len) return nullptr;
  return owned;
}

std::string OidText(const ASN1_OBJECT* obj) {
  char buf[128];
  int n = OBJ_obj2txt(buf, sizeof buf, obj, 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n < static_cast<int>(sizeof buf) ? n : sizeof buf - 1))
               : std::string();
}

std::string Asn1Utf8(const ASN1_STRING* s) {
  unsigned char* out = nullptr;
  int n = ASN1_STRING_to_UTF8(&out, s);
  if (n < 0) return std::string();
  std::string r(reinterpret_cast<char*>(out), static_cast<size_t>(n));
  OPENSSL_free(out);
  return r;
}

const char* ShortKey(int nid) {
  switch (nid) {
    case NID_commonName: return "CN";
    case NID_organizationalUnitName: return "OU";
    case NID_organizationName: return "O";
    case NID_localityName: return "L";
    case NID_stateOrProvinceName: return "S";
    case NID_countryName: return "C";
    case NID_pkcs9_emailAddress: return "E";
    case NID_streetAddress: return "STREET";
    case NID_title: return "T";
    case NID_givenName: return "G";
    case NID_initials: return "I";
    case NID_surname: return "SN";
    case NID_domainComponent: return "DC";
    case NID_serialNumber: return "SERIALNUMBER";
    case NID_postalCode: return "PostalCode";
    case NID_description: return "Description";
    default: return nullptr;
  }
}

std::string QuoteValue(const std::string& v) {
  bool quote = v.empty() || v.front() == ' ' || v.back() == ' ' ||
               v.find_first_of(",+=\"\r\n<>#;") != std::string::npos;
  if (!quote) return v;
  std::string r = "\"";
  for (char c : v) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

// Finds the first entry of a name with this NID.
std::string NameEntry(const X509_NAME* name, int nid) {
  int i = X509_NAME_get_index_by_NID(name, nid, -1);
  if (i < 0) return std::string();
  return Asn1Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i)));
}

// First general name of the given kind in an alternative-name extension of the certificate.
std::string AltName(X509* x, int extNid, int type, const char* otherOid = nullptr) {
  GENERAL_NAMES* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(x, extNid, nullptr, nullptr));
  if (!names) return std::string();
  std::string found;
  for (int i = 0; i < sk_GENERAL_NAME_num(names) && found.empty(); ++i) {
    GENERAL_NAME* gn = sk_GENERAL_NAME_value(names, i);
    if (gn->type != type) continue;
    if (type == GEN_OTHERNAME) {
      if (OidText(gn->d.otherName->type_id) != otherOid) continue;
      ASN1_TYPE* v = gn->d.otherName->value;
      if (v && (v->type == V_ASN1_UTF8STRING || v->type == V_ASN1_IA5STRING))
        found = Asn1Utf8(v->value.asn1_string);
    } else {
      found = Asn1Utf8(gn->d.ia5);
    }
  }
  GENERAL_NAMES_free(names);
  return found;
}

int ExtCritical(X509* x, int nid) {
  int i = X509_get_ext_by_NID(x, nid, -1);
  if (i < 0) return -1;
  return X509_EXTENSION_get_critical(X509_get_ext(x, i)) ? 1 : 0;
}

X509_EXTENSION* ExtByOid(X509* x, const char* oid) {
  for (int i = 0; i < X509_get_ext_count(x); ++i) {
    X509_EXTENSION* e = X509_get_ext(x, i);
    if (OidText(X509_EXTENSION_get_object(e)) == oid) return e;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<const CertData> CertData::Parse(const uint8_t* data, size_t len, HRESULT* hr) {
  if (hr) *hr = S_OK;
  X509Ptr x;
  if (data && len) {
    x = TryDer(data, len);
    if (!x) {
      // Text: PEM or bare base64.
      std::string text(reinterpret_cast<const char*>(data), len);
      Bytes der;
      if (Base64Decode(text, der)) x = TryDer(der.data(), der.size());
    }
  }
  ERR_clear_error();
  if (!x) {
    if (hr) *hr = CRYPT_E_ASN1_BADTAG;
    return nullptr;
  }
  std::shared_ptr<CertData> c(new CertData());
  unsigned char* out = nullptr;
  int n = i2d_X509(x.get(), &out);
  if (n <= 0) {
    if (hr) *hr = CRYPT_E_ASN1_BADTAG;
    return nullptr;
  }
  c->m_der.assign(out, out + n);
  OPENSSL_free(out);
  c->m_x = std::move(x);
  c->m_thumb = Sha1Hex(c->m_der.data(), c->m_der.size());
  return c;
}

std::shared_ptr<const CertData> CertData::FromX509(X509* x) {
  if (!x) return nullptr;
  unsigned char* out = nullptr;
  int n = i2d_X509(x, &out);
  if (n <= 0) return nullptr;
  Bytes der(out, out + n);
  OPENSSL_free(out);
  return Parse(der);
}

long CertData::version() const { return X509_get_version(m_x.get()) + 1; }

std::string CertData::serialNumber() const {
  // The same hex form as "openssl x509 -serial" prints.
  BioPtr bio(BIO_new(BIO_s_mem()));
  i2a_ASN1_INTEGER(bio.get(), X509_get0_serialNumber(m_x.get()));
  return BioText(bio.get());
}

std::string CertData::subjectName() const { return FormatName(X509_get_subject_name(m_x.get())); }
std::string CertData::issuerName() const { return FormatName(X509_get_issuer_name(m_x.get())); }

std::string CertData::nameInfo(int type) const {
  X509* x = m_x.get();
  bool issuer = type == CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME || type == CAPICOM_CERT_INFO_ISSUER_EMAIL_NAME ||
                type == CAPICOM_CERT_INFO_ISSUER_UPN || type == CAPICOM_CERT_INFO_ISSUER_DNS_NAME;
  const X509_NAME* name = issuer ? X509_get_issuer_name(x) : X509_get_subject_name(x);
  int altNid = issuer ? NID_issuer_alt_name : NID_subject_alt_name;
  switch (type) {
    case CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME:
    case CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME: {
      std::string s = SimpleName(name);
      if (s.empty()) s = AltName(x, altNid, GEN_EMAIL);
      return s;
    }
    case CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME:
    case CAPICOM_CERT_INFO_ISSUER_EMAIL_NAME: {
      std::string s = AltName(x, altNid, GEN_EMAIL);
      return s.empty() ? NameEntry(name, NID_pkcs9_emailAddress) : s;
    }
    case CAPICOM_CERT_INFO_SUBJECT_UPN:
    case CAPICOM_CERT_INFO_ISSUER_UPN:
      return AltName(x, altNid, GEN_OTHERNAME, kUpnOid);
    case CAPICOM_CERT_INFO_SUBJECT_DNS_NAME:
    case CAPICOM_CERT_INFO_ISSUER_DNS_NAME: {
      std::string s = AltName(x, altNid, GEN_DNS);
      return s.empty() ? NameEntry(name, NID_commonName) : s;
    }
    default:
      return std::string();
  }
}

double CertData::notBefore() const {
  double d = 0;
  Asn1TimeToOleDate(X509_get0_notBefore(m_x.get()), d);
  return d;
}

double CertData::notAfter() const {
  double d = 0;
  Asn1TimeToOleDate(X509_get0_notAfter(m_x.get()), d);
  return d;
}

bool CertData::isSelfIssued() const {
  return X509_NAME_cmp(X509_get_subject_name(m_x.get()), X509_get_issuer_name(m_x.get())) == 0;
}

KeyUsageInfo CertData::keyUsage() const {
  KeyUsageInfo ku;
  X509* x = m_x.get();
  int crit = ExtCritical(x, NID_key_usage);
  if (crit < 0) return ku;
  ku.present = true;
  ku.critical = crit == 1;
  ku.bits = X509_get_key_usage(x);
  if (ku.bits == UINT32_MAX) ku.bits = 0;
  return ku;
}

EkuInfo CertData::extendedKeyUsage() const {
  EkuInfo e;
  int crit = 0;
  auto* ekus = static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(m_x.get(), NID_ext_key_usage, &crit, nullptr));
  if (!ekus) return e;
  e.present = true;
  e.critical = crit == 1;
  for (int i = 0; i < sk_ASN1_OBJECT_num(ekus); ++i) e.oids.push_back(OidText(sk_ASN1_OBJECT_value(ekus, i)));
  EXTENDED_KEY_USAGE_free(ekus);
  return e;
}

BasicConstraintsInfo CertData::basicConstraints() const {
  BasicConstraintsInfo b;
  int crit = 0;
  auto* bc = static_cast<BASIC_CONSTRAINTS*>(X509_get_ext_d2i(m_x.get(), NID_basic_constraints, &crit, nullptr));
  if (!bc) return b;
  b.present = true;
  b.critical = crit == 1;
  b.ca = bc->ca != 0;
  if (bc->pathlen) {
    b.pathLenPresent = true;
    b.pathLen = ASN1_INTEGER_get(bc->pathlen);
  }
  BASIC_CONSTRAINTS_free(bc);
  return b;
}

std::vector<ExtensionInfo> CertData::extensions() const {
  std::vector<ExtensionInfo> list;
  for (int i = 0; i < X509_get_ext_count(m_x.get()); ++i) {
    X509_EXTENSION* e = X509_get_ext(m_x.get(), i);
    ExtensionInfo info;
    info.oid = OidText(X509_EXTENSION_get_object(e));
    info.critical = X509_EXTENSION_get_critical(e) != 0;
    const ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(e);
    info.value.assign(ASN1_STRING_get0_data(v), ASN1_STRING_get0_data(v) + ASN1_STRING_length(v));
    list.push_back(std::move(info));
  }
  return list;
}

TemplateInfo CertData::certTemplate() const {
  TemplateInfo t;
  X509* x = m_x.get();
  if (X509_EXTENSION* e = ExtByOid(x, kTemplateNameOid)) {
    t.present = true;
    t.critical = X509_EXTENSION_get_critical(e) != 0;
    const ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(e);
    const unsigned char* p = ASN1_STRING_get0_data(v);
    ASN1_TYPE* any = d2i_ASN1_TYPE(nullptr, &p, ASN1_STRING_length(v));
    if (any && any->type != V_ASN1_SEQUENCE && any->type != V_ASN1_OBJECT && any->type != V_ASN1_NULL &&
        any->type != V_ASN1_BOOLEAN)
      t.name = Asn1Utf8(any->value.asn1_string);
    ASN1_TYPE_free(any);
  }
  if (X509_EXTENSION* e = ExtByOid(x, kTemplateOid)) {
    t.present = true;
    t.critical = t.critical || X509_EXTENSION_get_critical(e) != 0;
    const ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(e);
    const unsigned char* p = ASN1_STRING_get0_data(v);
    ASN1_SEQUENCE_ANY* seq = d2i_ASN1_SEQUENCE_ANY(nullptr, &p, ASN1_STRING_length(v));
    if (seq) {
      int n = sk_ASN1_TYPE_num(seq);
      if (n > 0 && sk_ASN1_TYPE_value(seq, 0)->type == V_ASN1_OBJECT)
        t.oid = OidText(sk_ASN1_TYPE_value(seq, 0)->value.object);
      if (n > 1 && sk_ASN1_TYPE_value(seq, 1)->type == V_ASN1_INTEGER)
        t.majorVersion = ASN1_INTEGER_get(sk_ASN1_TYPE_value(seq, 1)->value.integer);
      if (n > 2 && sk_ASN1_TYPE_value(seq, 2)->type == V_ASN1_INTEGER)
        t.minorVersion = ASN1_INTEGER_get(sk_ASN1_TYPE_value(seq, 2)->value.integer);
      sk_ASN1_TYPE_pop_free(seq, ASN1_TYPE_free);
    }
    if (t.name.empty() && !t.oid.empty()) t.name = t.oid;
  }
  ERR_clear_error();
  return t;
}

PublicKeyInfo CertData::publicKey() const {
  PublicKeyInfo info;
  X509_PUBKEY* pub = X509_get_X509_PUBKEY(m_x.get());
  ASN1_OBJECT* alg = nullptr;
  const unsigned char* pk = nullptr;
  int pklen = 0;
  X509_ALGOR* pa = nullptr;
  if (pub && X509_PUBKEY_get0_param(&alg, &pk, &pklen, &pa, pub) == 1) {
    info.algorithmOid = OidText(alg);
    info.encodedKey.assign(pk, pk + pklen);
    const ASN1_OBJECT* obj = nullptr;
    int ptype = V_ASN1_UNDEF;
    const void* pval = nullptr;
    X509_ALGOR_get0(&obj, &ptype, &pval, pa);
    if (ptype != V_ASN1_UNDEF) {
      ASN1_TYPE* t = ASN1_TYPE_new();
      if (t && ASN1_TYPE_set1(t, ptype, pval) == 1) {
        unsigned char* out = nullptr;
        int n = i2d_ASN1_TYPE(t, &out);
        if (n > 0) info.encodedParams.assign(out, out + n);
        OPENSSL_free(out);
      }
      ASN1_TYPE_free(t);
    }
  }
  if (EVP_PKEY* key = X509_get0_pubkey(m_x.get())) info.bits = EVP_PKEY_get_bits(key);
  ERR_clear_error();
  return info;
}

std::string FormatName(const X509_NAME* name) {
  std::string out;
  int count = X509_NAME_entry_count(name);
  int prevSet = -1;
  for (int i = count - 1; i >= 0; --i) {
    const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
    int set = X509_NAME_ENTRY_set(e);
    if (!out.empty()) out += set == prevSet ? " + " : ", ";
    prevSet = set;
    const ASN1_OBJECT* obj = X509_NAME_ENTRY_get_object(e);
    const char* key = ShortKey(OBJ_obj2nid(obj));
    out += key ? std::string(key) : "OID." + OidText(obj);
    out += '=';
    out += QuoteValue(Asn1Utf8(X509_NAME_ENTRY_get_data(e)));
  }
  return out;
}

std::string SimpleName(const X509_NAME* name) {
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
    std::string s = NameEntry(name, nid);
    if (!s.empty()) return s;
  }
  if (X509_NAME_entry_count(name) > 0) return Asn1Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, 0)));
  return std::string();
}

std::string FormatExtension(X509_EXTENSION* ext, bool multiLine) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  std::string text;
  if (X509V3_EXT_print(bio.get(), ext, 0, 0) == 1) {
    text = BioText(bio.get());
  } else {
    const ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(ext);
    const uint8_t* p = ASN1_STRING_get0_data(v);
    std::string hex = HexUpper(p, static_cast<size_t>(ASN1_STRING_length(v)));
    for (size_t i = 0; i < hex.size(); i += 2) {
      if (i) text += ' ';
      text += hex.substr(i, 2);
    }
  }
  ERR_clear_error();
  if (multiLine) return text;
  // One line: the lines joined with ", ", without their indentation.
  std::string line, out;
  auto flush = [&] {
    size_t a = line.find_first_not_of(" \t\r");
    size_t b = line.find_last_not_of(" \t\r");
    if (a != std::string::npos) {
      if (!out.empty()) out += ", ";
      out += line.substr(a, b - a + 1);
    }
    line.clear();
  };
  for (char c : text) {
    if (c == '\n') flush();
    else line += c;
  }
  flush();
  return out;
}

}  // namespace kx::capi
