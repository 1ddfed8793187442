// Names from text, the encodings of the extensions certificate creation and requests use, certificate and request
// signing, and the decoded certificate fields of contexts.
#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/cryptoapi/contexts.h"
#include "platform/cryptoapi/provider.h"
#include "platform/win32/errors.h"
#include "platform/win32/wintime.h"

using kx::capi::Bytes;
using namespace kx::cryptoapi;

namespace {

// ---- DER pieces ----

void PutLength(Bytes& out, size_t n) {
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
    return;
  }
  uint8_t len[sizeof(size_t)];
  int k = 0;
  for (size_t v = n; v; v >>= 8) len[k++] = static_cast<uint8_t>(v);
  out.push_back(static_cast<uint8_t>(0x80 | k));
  while (k) out.push_back(len[--k]);
}

Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  PutLength(out, content.size());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Blob(const CRYPTOAPI_BLOB& b) { return b.cbData ? Bytes(b.pbData, b.pbData + b.cbData) : Bytes(); }

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// The full TLV of an object identifier; empty for a malformed one.
Bytes OidTlv(const char* oid) {
  if (!oid) return {};
  kx::capi::Bytes out;
  ASN1_OBJECT* obj = OBJ_txt2obj(oid, 1);
  if (!obj) {
    ERR_clear_error();
    return out;
  }
  int n = i2d_ASN1_OBJECT(obj, nullptr);
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    uint8_t* p = out.data();
    i2d_ASN1_OBJECT(obj, &p);
  }
  ASN1_OBJECT_free(obj);
  return out;
}

// The content of an INTEGER from a little-endian two's-complement blob, in its shortest form.
Bytes IntegerContent(const CRYPTOAPI_BLOB& le) {
  Bytes be(le.cbData ? le.cbData : 1, 0);
  std::reverse_copy(le.pbData, le.pbData + le.cbData, be.begin());
  size_t skip = 0;
  while (skip + 1 < be.size() && ((be[skip] == 0 && be[skip + 1] < 0x80) || (be[skip] == 0xFF && be[skip + 1] >= 0x80)))
    ++skip;
  return Bytes(be.begin() + static_cast<long>(skip), be.end());
}

Bytes BitString(const CRYPT_BIT_BLOB& b, bool namedBits) {
  Bytes bits(b.pbData, b.pbData + b.cbData);
  unsigned unused = b.cUnusedBits & 7;
  if (!bits.empty()) bits.back() &= static_cast<uint8_t>(0xFF << unused);
  if (namedBits) {
    // A named bit list ends with its last set bit.
    while (!bits.empty() && bits.back() == 0) bits.pop_back();
    unused = 0;
    if (!bits.empty())
      while (!(bits.back() & (1u << unused))) ++unused;
  }
  Bytes content{static_cast<uint8_t>(bits.empty() ? 0 : unused)};
  Append(content, bits);
  return Tlv(0x03, content);
}

enum class Kind { kNone, kKeyUsage, kEku, kBasicConstraints2, kAuthorityKeyId, kOctets, kExtensions, kSmimeCaps };

Kind KindOf(LPCSTR type) {
  auto n = reinterpret_cast<ULONG_PTR>(type);
  if (n < 0x10000) {
    switch (n) {
      case 5: return Kind::kExtensions;
      case 9: return Kind::kAuthorityKeyId;
      case 14: return Kind::kKeyUsage;
      case 15: return Kind::kBasicConstraints2;
      case 25: return Kind::kOctets;
      case 36: return Kind::kEku;
      case 42: return Kind::kSmimeCaps;
      default: return Kind::kNone;
    }
  }
  static const struct {
    const char* oid;
    Kind kind;
  } byOid[] = {{szOID_KEY_USAGE, Kind::kKeyUsage},
               {szOID_ENHANCED_KEY_USAGE, Kind::kEku},
               {szOID_BASIC_CONSTRAINTS2, Kind::kBasicConstraints2},
               {szOID_AUTHORITY_KEY_IDENTIFIER, Kind::kAuthorityKeyId},
               {szOID_SUBJECT_KEY_IDENTIFIER, Kind::kOctets},
               {szOID_RSA_SMIMECapabilities, Kind::kSmimeCaps}};
  for (const auto& e : byOid)
    if (std::strcmp(type, e.oid) == 0) return e.kind;
  return Kind::kNone;
}

bool Encode(Kind kind, const void* info, Bytes& out) {
  switch (kind) {
    case Kind::kKeyUsage:
      out = BitString(*static_cast<const CRYPT_BIT_BLOB*>(info), true);
      return true;
    case Kind::kOctets:
      out = Tlv(0x04, Blob(*static_cast<const CRYPT_DATA_BLOB*>(info)));
      return true;
    case Kind::kEku: {
      const auto* u = static_cast<const CERT_ENHKEY_USAGE*>(info);
      Bytes seq;
      for (DWORD i = 0; i < u->cUsageIdentifier; ++i) {
        Bytes oid = OidTlv(u->rgpszUsageIdentifier[i]);
        if (oid.empty()) return false;
        Append(seq, oid);
      }
      out = Tlv(0x30, seq);
      return true;
    }
    case Kind::kBasicConstraints2: {
      const auto* bc = static_cast<const CERT_BASIC_CONSTRAINTS2_INFO*>(info);
      Bytes seq;
      if (bc->fCA) Append(seq, Bytes{0x01, 0x01, 0xFF});
      if (bc->fPathLenConstraint) {
        BYTE le[4] = {static_cast<BYTE>(bc->dwPathLenConstraint), static_cast<BYTE>(bc->dwPathLenConstraint >> 8),
                      static_cast<BYTE>(bc->dwPathLenConstraint >> 16), static_cast<BYTE>(bc->dwPathLenConstraint >> 24)};
        // An unsigned count: a zero byte on top keeps it positive.
        BYTE wide[5] = {le[0], le[1], le[2], le[3], 0};
        Append(seq, Tlv(0x02, IntegerContent(CRYPTOAPI_BLOB{5, wide})));
      }
      out = Tlv(0x30, seq);
      return true;
    }
    case Kind::kAuthorityKeyId: {
      // keyIdentifier [0], authorityCertIssuer [1] (one directory name), authorityCertSerialNumber [2].
      const auto* a = static_cast<const CERT_AUTHORITY_KEY_ID_INFO*>(info);
      Bytes seq;
      if (a->KeyId.cbData) Append(seq, Tlv(0x80, Blob(a->KeyId)));
      if (a->CertIssuer.cbData) Append(seq, Tlv(0xA1, Tlv(0xA4, Blob(a->CertIssuer))));
      if (a->CertSerialNumber.cbData) Append(seq, Tlv(0x82, IntegerContent(a->CertSerialNumber)));
      out = Tlv(0x30, seq);
      return true;
    }
    case Kind::kExtensions: {
      const auto* e = static_cast<const CERT_EXTENSIONS*>(info);
      Bytes seq;
      for (DWORD i = 0; i < e->cExtension; ++i) {
        const CERT_EXTENSION& x = e->rgExtension[i];
        Bytes one = OidTlv(x.pszObjId);
        if (one.empty()) return false;
        if (x.fCritical) Append(one, Bytes{0x01, 0x01, 0xFF});
        Append(one, Tlv(0x04, Blob(x.Value)));
        Append(seq, Tlv(0x30, one));
      }
      out = Tlv(0x30, seq);
      return true;
    }
    case Kind::kSmimeCaps: {
      const auto* c = static_cast<const CRYPT_SMIME_CAPABILITIES*>(info);
      Bytes seq;
      for (DWORD i = 0; i < c->cCapability; ++i) {
        Bytes one = OidTlv(c->rgCapability[i].pszObjId);
        if (one.empty()) return false;
        Append(one, Blob(c->rgCapability[i].Parameters));
        Append(seq, Tlv(0x30, one));
      }
      out = Tlv(0x30, seq);
      return true;
    }
    case Kind::kNone: break;
  }
  return false;
}

// ---- names ----

struct NameKey {
  const char* key;
  const char* oid;
};
const NameKey kNameKeys[] = {
    {"CN", "2.5.4.3"},          {"OU", "2.5.4.11"},      {"O", "2.5.4.10"},          {"L", "2.5.4.7"},
    {"S", "2.5.4.8"},           {"ST", "2.5.4.8"},       {"C", "2.5.4.6"},           {"E", "1.2.840.113549.1.9.1"},
    {"Email", "1.2.840.113549.1.9.1"}, {"STREET", "2.5.4.9"}, {"T", "2.5.4.12"},      {"Title", "2.5.4.12"},
    {"G", "2.5.4.42"},          {"GivenName", "2.5.4.42"}, {"I", "2.5.4.43"},        {"Initials", "2.5.4.43"},
    {"SN", "2.5.4.4"},          {"DC", "0.9.2342.19200300.100.1.25"}, {"SERIALNUMBER", "2.5.4.5"},
};

bool IcaseEqual(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string KeyOid(const std::string& key) {
  for (const NameKey& k : kNameKeys)
    if (IcaseEqual(key, k.key)) return k.oid;
  std::string dotted = key;
  if (dotted.size() > 4 && IcaseEqual(dotted.substr(0, 4), "OID.")) dotted = dotted.substr(4);
  if (dotted.empty() || !std::isdigit(static_cast<unsigned char>(dotted[0]))) return {};
  for (char c : dotted)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return {};
  return dotted;
}

// Reads the name; on failure *errorAt is the offset where reading stopped.
bool ParseName(const char* text, X509_NAME* name, size_t* errorAt) {
  size_t i = 0, n = std::strlen(text);
  auto space = [&] {
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  };
  bool sameEntry = false;
  space();
  if (i == n) return true;
  for (;;) {
    space();
    size_t keyStart = i;
    while (i < n && text[i] != '=' && text[i] != ',' && text[i] != ';' && text[i] != '+') ++i;
    std::string key(text + keyStart, i - keyStart);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    std::string oid = KeyOid(key);
    if (oid.empty() || i == n || text[i] != '=') {
      *errorAt = keyStart;
      return false;
    }
    ++i;
    space();
    size_t valueStart = i;
    std::string value;
    if (i < n && text[i] == '"') {
      ++i;
      for (;;) {
        if (i == n) {
          *errorAt = valueStart;
          return false;
        }
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            value += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      space();
    } else {
      while (i < n && text[i] != ',' && text[i] != ';' && text[i] != '+') {
        if (text[i] == '"') {
          *errorAt = i;
          return false;
        }
        value += text[i++];
      }
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    }
    ASN1_OBJECT* obj = OBJ_txt2obj(oid.c_str(), 1);
    bool added = obj && X509_NAME_add_entry_by_OBJ(name, obj, MBSTRING_UTF8,
                                                   reinterpret_cast<const unsigned char*>(value.data()),
                                                   static_cast<int>(value.size()), -1, sameEntry ? -1 : 0) == 1;
    ASN1_OBJECT_free(obj);
    ERR_clear_error();
    if (!added) {
      *errorAt = valueStart;
      return false;
    }
    if (i == n) return true;
    sameEntry = text[i] == '+';
    if (text[i] != ',' && text[i] != ';' && text[i] != '+') {
      *errorAt = i;
      return false;
    }
    ++i;
  }
}

// ---- structures in a caller's buffer ----

size_t Align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

// Data placed after a structure: offsets from the start of the buffer.
class Packer {
 public:
  explicit Packer(size_t structSize) : m_head(Align8(structSize)) {}
  size_t Put(const void* p, size_t n) {
    size_t at = m_head + m_tail.size();
    const auto* b = static_cast<const uint8_t*>(p);
    m_tail.insert(m_tail.end(), b, b + n);
    m_tail.resize(Align8(m_tail.size()));
    return at;
  }
  size_t Total() const { return m_head + m_tail.size(); }
  void CopyTail(BYTE* out) const {
    if (!m_tail.empty()) std::memcpy(out + m_head, m_tail.data(), m_tail.size());
  }

 private:
  size_t m_head;
  Bytes m_tail;
};

// ---- signing ----

struct SignatureAlgorithm {
  const char* oid;
  const char* digest;
  bool dsa;
};
const SignatureAlgorithm kSignatures[] = {
    {"1.2.840.113549.1.1.4", "MD5", false},
    {"1.2.840.113549.1.1.5", "SHA1", false},
    {"1.3.14.3.2.29", "SHA1", false},
    {"1.2.840.10040.4.3", "SHA1", true},
    {"1.2.840.113549.1.1.11", "SHA256", false},
    {"1.2.840.113549.1.1.12", "SHA384", false},
    {"1.2.840.113549.1.1.13", "SHA512", false},
};

X509_NAME* NameFromBlob(const CERT_NAME_BLOB& b) {
  const unsigned char* p = b.pbData;
  return b.cbData ? d2i_X509_NAME(nullptr, &p, static_cast<long>(b.cbData)) : X509_NAME_new();
}

EVP_PKEY* KeyFromInfo(const CERT_PUBLIC_KEY_INFO& info) {
  Bytes alg = OidTlv(info.Algorithm.pszObjId);
  if (alg.empty()) return nullptr;
  Append(alg, Blob(info.Algorithm.Parameters));
  Bytes bits{static_cast<uint8_t>(info.PublicKey.cUnusedBits & 7)};
  Append(bits, Blob(CRYPTOAPI_BLOB{info.PublicKey.cbData, info.PublicKey.pbData}));
  // SubjectPublicKeyInfo ::= SEQUENCE { algorithm SEQUENCE { oid, parameters }, subjectPublicKey BIT STRING }
  Bytes content = Tlv(0x30, alg);
  Append(content, Tlv(0x03, bits));
  Bytes spki = Tlv(0x30, content);
  const unsigned char* p = spki.data();
  return d2i_PUBKEY_ex(nullptr, &p, static_cast<long>(spki.size()), kx::capi::LibCtx(), nullptr);
}

ASN1_TIME* TimeFrom(const FILETIME& ft) {
  int64_t s = 0, ns = 0;
  kx::UnixFromFileTime(ft, &s, &ns);
  return ASN1_TIME_set(nullptr, static_cast<time_t>(s));
}

bool AddExtensions(X509* x, const CERT_INFO& info) {
  for (DWORD i = 0; i < info.cExtension; ++i) {
    const CERT_EXTENSION& e = info.rgExtension[i];
    ASN1_OBJECT* obj = OBJ_txt2obj(e.pszObjId, 1);
    ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
    X509_EXTENSION* ext = nullptr;
    if (obj && value && ASN1_OCTET_STRING_set(value, e.Value.pbData, static_cast<int>(e.Value.cbData)) == 1)
      ext = X509_EXTENSION_create_by_OBJ(nullptr, obj, e.fCritical ? 1 : 0, value);
    bool ok = ext && X509_add_ext(x, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    ASN1_OCTET_STRING_free(value);
    ASN1_OBJECT_free(obj);
    if (!ok) return false;
  }
  return true;
}

bool AddAttributes(X509_REQ* req, const CERT_REQUEST_INFO& info) {
  for (DWORD i = 0; i < info.cAttribute; ++i) {
    const CRYPT_ATTRIBUTE& a = info.rgAttribute[i];
    X509_ATTRIBUTE* attr = X509_ATTRIBUTE_new();
    ASN1_OBJECT* obj = OBJ_txt2obj(a.pszObjId, 1);
    bool ok = attr && obj && X509_ATTRIBUTE_set1_object(attr, obj) == 1;
    for (DWORD v = 0; ok && v < a.cValue; ++v) {
      const CRYPT_ATTR_BLOB& b = a.rgValue[v];
      if (!b.cbData) return false;
      int type = b.pbData[0] == 0x30 ? V_ASN1_SEQUENCE : b.pbData[0] == 0x31 ? V_ASN1_SET : 0;
      if (type) {
        ok = X509_ATTRIBUTE_set1_data(attr, type, b.pbData, static_cast<int>(b.cbData)) == 1;
      } else {
        const unsigned char* p = b.pbData;
        ASN1_TYPE* t = d2i_ASN1_TYPE(nullptr, &p, static_cast<long>(b.cbData));
        ok = t && t->type != V_ASN1_BOOLEAN && t->type != V_ASN1_NULL && t->type != V_ASN1_OBJECT &&
             X509_ATTRIBUTE_set1_data(attr, t->type, t->value.asn1_string->data, t->value.asn1_string->length) == 1;
        ASN1_TYPE_free(t);
      }
    }
    ok = ok && X509_REQ_add1_attr(req, attr) == 1;
    ASN1_OBJECT_free(obj);
    X509_ATTRIBUTE_free(attr);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

namespace kx::cryptoapi {

Bytes PublicKeyInfoDer(EVP_PKEY* key) {
  Bytes out;
  int n = i2d_PUBKEY(key, nullptr);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  unsigned char* p = out.data();
  i2d_PUBKEY(key, &p);
  return out;
}

BOOL PublicKeyInfoFromDer(const Bytes& der, CERT_PUBLIC_KEY_INFO* info, DWORD* cb) {
  const unsigned char* p = der.data();
  X509_PUBKEY* pub = d2i_X509_PUBKEY(nullptr, &p, static_cast<long>(der.size()));
  if (!pub) return Fail(CRYPT_E_ASN1_BADTAG);
  ASN1_OBJECT* alg = nullptr;
  const unsigned char* key = nullptr;
  int keyLen = 0;
  X509_ALGOR* algor = nullptr;
  X509_PUBKEY_get0_param(&alg, &key, &keyLen, &algor, pub);
  char oid[128];
  OBJ_obj2txt(oid, sizeof oid, alg, 1);
  Bytes params;
  if (algor && algor->parameter) {
    int n = i2d_ASN1_TYPE(algor->parameter, nullptr);
    params.resize(static_cast<size_t>(n > 0 ? n : 0));
    unsigned char* q = params.data();
    if (n > 0) i2d_ASN1_TYPE(algor->parameter, &q);
  }
  Packer pack(sizeof(CERT_PUBLIC_KEY_INFO));
  size_t oidAt = pack.Put(oid, std::strlen(oid) + 1);
  size_t paramsAt = pack.Put(params.data(), params.size());
  size_t keyAt = pack.Put(key, static_cast<size_t>(keyLen));
  X509_PUBKEY_free(pub);
  DWORD have = *cb;
  *cb = static_cast<DWORD>(pack.Total());
  if (!info) return TRUE;
  if (have < pack.Total()) return Fail(HRESULT_FROM_WIN32(ERROR_MORE_DATA));
  auto* base = reinterpret_cast<BYTE*>(info);
  pack.CopyTail(base);
  info->Algorithm.pszObjId = reinterpret_cast<LPSTR>(base + oidAt);
  info->Algorithm.Parameters = {static_cast<DWORD>(params.size()), params.empty() ? nullptr : base + paramsAt};
  info->PublicKey = {static_cast<DWORD>(keyLen), base + keyAt, 0};
  return TRUE;
}

namespace {

struct DecodedCertInfo {
  CERT_INFO info{};
  std::deque<Bytes> blobs;
  std::deque<std::string> texts;
  std::vector<CERT_EXTENSION> extensions;
  CRYPTOAPI_BLOB Keep(Bytes b) {
    blobs.push_back(std::move(b));
    Bytes& k = blobs.back();
    return {static_cast<DWORD>(k.size()), k.empty() ? nullptr : k.data()};
  }
  LPSTR KeepText(const ASN1_OBJECT* obj) {
    char buf[128];
    OBJ_obj2txt(buf, sizeof buf, obj, 1);
    texts.emplace_back(buf);
    return texts.back().data();
  }
};

template <class T, class F>
Bytes DerOf(const T* v, F i2d) {
  Bytes out;
  int n = i2d(const_cast<T*>(v), nullptr);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  unsigned char* p = out.data();
  i2d(const_cast<T*>(v), &p);
  return out;
}

FILETIME FileTimeOfAsn1(const ASN1_TIME* t) {
  struct tm tm {};
  if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return FILETIME{0, 0};
  return kx::FileTimeFromUnix(static_cast<int64_t>(timegm(&tm)), 0);
}

}  // namespace

std::shared_ptr<void> DecodeCertInfo(const capi::CertData& cert, CERT_INFO*& out) {
  auto d = std::make_shared<DecodedCertInfo>();
  X509* x = cert.x509();
  CERT_INFO& i = d->info;
  i.dwVersion = static_cast<DWORD>(X509_get_version(x));
  Bytes serial = DerOf(X509_get0_serialNumber(x), i2d_ASN1_INTEGER);
  if (serial.size() >= 2) {
    // The content after tag and length, little-endian.
    size_t skip = serial[1] < 0x80 ? 2 : 2 + (serial[1] & 0x7F);
    Bytes le(serial.begin() + static_cast<long>(std::min(skip, serial.size())), serial.end());
    std::reverse(le.begin(), le.end());
    i.SerialNumber = d->Keep(std::move(le));
  }
  const X509_ALGOR* sig = X509_get0_tbs_sigalg(x);
  i.SignatureAlgorithm.pszObjId = d->KeepText(sig->algorithm);
  if (sig->parameter) i.SignatureAlgorithm.Parameters = d->Keep(DerOf(sig->parameter, i2d_ASN1_TYPE));
  i.Issuer = d->Keep(DerOf(X509_get_issuer_name(x), i2d_X509_NAME));
  i.Subject = d->Keep(DerOf(X509_get_subject_name(x), i2d_X509_NAME));
  i.NotBefore = FileTimeOfAsn1(X509_get0_notBefore(x));
  i.NotAfter = FileTimeOfAsn1(X509_get0_notAfter(x));
  if (X509_PUBKEY* pub = X509_get_X509_PUBKEY(x)) {
    ASN1_OBJECT* alg = nullptr;
    const unsigned char* key = nullptr;
    int keyLen = 0;
    X509_ALGOR* algor = nullptr;
    X509_PUBKEY_get0_param(&alg, &key, &keyLen, &algor, pub);
    i.SubjectPublicKeyInfo.Algorithm.pszObjId = d->KeepText(alg);
    if (algor && algor->parameter) i.SubjectPublicKeyInfo.Algorithm.Parameters = d->Keep(DerOf(algor->parameter, i2d_ASN1_TYPE));
    CRYPTOAPI_BLOB k = d->Keep(Bytes(key, key + keyLen));
    i.SubjectPublicKeyInfo.PublicKey = {k.cbData, k.pbData, 0};
  }
  int count = X509_get_ext_count(x);
  d->extensions.resize(static_cast<size_t>(count > 0 ? count : 0));
  for (int e = 0; e < count; ++e) {
    X509_EXTENSION* ext = X509_get_ext(x, e);
    CERT_EXTENSION& ce = d->extensions[static_cast<size_t>(e)];
    ce.pszObjId = d->KeepText(X509_EXTENSION_get_object(ext));
    ce.fCritical = X509_EXTENSION_get_critical(ext) ? TRUE : FALSE;
    const ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(ext);
    ce.Value = d->Keep(Bytes(v->data, v->data + v->length));
  }
  i.cExtension = static_cast<DWORD>(d->extensions.size());
  i.rgExtension = d->extensions.empty() ? nullptr : d->extensions.data();
  out = &d->info;
  return d;
}

}  // namespace kx::cryptoapi

BOOL CertStrToNameA(DWORD, LPCSTR x500, DWORD strType, void*, BYTE* encoded, DWORD* cb, LPCSTR* error) {
  if (error) *error = nullptr;
  if (!x500 || !cb || (strType & 0xFF) != CERT_X500_NAME_STR) return Fail(E_INVALIDARG);
  X509_NAME* name = X509_NAME_new();
  size_t at = 0;
  bool ok = name && ParseName(x500, name, &at);
  Bytes der;
  if (ok) der = DerOf(name, i2d_X509_NAME);
  X509_NAME_free(name);
  if (!ok || der.empty()) {
    if (error) *error = x500 + at;
    return Fail(CRYPT_E_INVALID_X500_STRING);
  }
  return FillBuffer(der.data(), der.size(), encoded, cb);
}

BOOL CryptEncodeObject(DWORD, LPCSTR structType, const void* info, BYTE* encoded, DWORD* cb) {
  if (!structType || !info || !cb) return Fail(E_INVALIDARG);
  Kind kind = KindOf(structType);
  if (kind == Kind::kNone) return Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  Bytes der;
  if (!Encode(kind, info, der)) return Fail(E_INVALIDARG);
  return FillBuffer(der.data(), der.size(), encoded, cb);
}

BOOL CryptDecodeObject(DWORD, LPCSTR structType, const BYTE* encoded, DWORD length, DWORD, void* info, DWORD* cb) {
  if (!structType || !encoded || !cb) return Fail(E_INVALIDARG);
  if (KindOf(structType) != Kind::kOctets) return Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  const unsigned char* p = encoded;
  ASN1_OCTET_STRING* octets = d2i_ASN1_OCTET_STRING(nullptr, &p, static_cast<long>(length));
  if (!octets) {
    ERR_clear_error();
    return Fail(CRYPT_E_ASN1_BADTAG);
  }
  Packer pack(sizeof(CRYPT_DATA_BLOB));
  size_t at = pack.Put(octets->data, static_cast<size_t>(octets->length));
  DWORD n = static_cast<DWORD>(octets->length);
  ASN1_OCTET_STRING_free(octets);
  DWORD have = *cb;
  *cb = static_cast<DWORD>(pack.Total());
  if (!info) return TRUE;
  if (have < pack.Total()) return Fail(HRESULT_FROM_WIN32(ERROR_MORE_DATA));
  auto* base = static_cast<BYTE*>(info);
  pack.CopyTail(base);
  *static_cast<CRYPT_DATA_BLOB*>(info) = {n, n ? base + at : nullptr};
  return TRUE;
}

BOOL CryptSignAndEncodeCertificate(HCRYPTPROV prov, DWORD keySpec, DWORD, LPCSTR structType, const void* info,
                                   const CRYPT_ALGORITHM_IDENTIFIER* algorithm, const void*, BYTE* encoded,
                                   DWORD* cb) {
  ProvObject* p = AsProv(prov);
  if (!p || !info || !algorithm || !algorithm->pszObjId || !cb) return Fail(E_INVALIDARG);
  bool request = structType == X509_CERT_REQUEST_TO_BE_SIGNED;
  if (!request && structType != X509_CERT_TO_BE_SIGNED) return Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  const SignatureAlgorithm* sig = nullptr;
  for (const SignatureAlgorithm& s : kSignatures)
    if (std::strcmp(s.oid, algorithm->pszObjId) == 0) sig = &s;
  if (!sig) return Fail(CRYPT_E_UNKNOWN_ALGO);
  HRESULT hr = S_OK;
  kx::capi::PKeyPtr key = p->LoadPair(keySpec, &hr);
  if (!key) return Fail(hr);
  if ((EVP_PKEY_get_base_id(key.get()) == EVP_PKEY_DSA) != sig->dsa) return Fail(NTE_BAD_ALGID);

  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!md || EVP_DigestSignInit_ex(md.get(), nullptr, sig->digest, kx::capi::LibCtx(), nullptr, key.get(), nullptr) != 1) {
    ERR_clear_error();
    return Fail(NTE_BAD_ALGID);
  }
  Bytes der;
  bool ok = false;
  if (request) {
    const auto* r = static_cast<const CERT_REQUEST_INFO*>(info);
    X509_REQ* req = X509_REQ_new_ex(kx::capi::LibCtx(), nullptr);
    X509_NAME* subject = NameFromBlob(r->Subject);
    EVP_PKEY* pub = KeyFromInfo(r->SubjectPublicKeyInfo);
    ok = req && subject && pub && X509_REQ_set_version(req, r->dwVersion) == 1 &&
         X509_REQ_set_subject_name(req, subject) == 1 && X509_REQ_set_pubkey(req, pub) == 1 &&
         AddAttributes(req, *r) && X509_REQ_sign_ctx(req, md.get()) > 0;
    if (ok) der = DerOf(req, i2d_X509_REQ);
    EVP_PKEY_free(pub);
    X509_NAME_free(subject);
    X509_REQ_free(req);
  } else {
    const auto* c = static_cast<const CERT_INFO*>(info);
    X509* x = X509_new_ex(kx::capi::LibCtx(), nullptr);
    X509_NAME* issuer = NameFromBlob(c->Issuer);
    X509_NAME* subject = NameFromBlob(c->Subject);
    EVP_PKEY* pub = KeyFromInfo(c->SubjectPublicKeyInfo);
    Bytes serialContent = IntegerContent(c->SerialNumber);
    Bytes serialDer = Tlv(0x02, serialContent);
    const unsigned char* sp = serialDer.data();
    ASN1_INTEGER* serial = d2i_ASN1_INTEGER(nullptr, &sp, static_cast<long>(serialDer.size()));
    ASN1_TIME* from = TimeFrom(c->NotBefore);
    ASN1_TIME* to = TimeFrom(c->NotAfter);
    ok = x && issuer && subject && pub && serial && from && to && X509_set_version(x, c->dwVersion) == 1 &&
         X509_set_serialNumber(x, serial) == 1 && X509_set_issuer_name(x, issuer) == 1 &&
         X509_set_subject_name(x, subject) == 1 && X509_set1_notBefore(x, from) == 1 &&
         X509_set1_notAfter(x, to) == 1 && X509_set_pubkey(x, pub) == 1 && AddExtensions(x, *c) &&
         X509_sign_ctx(x, md.get()) > 0;
    if (ok) der = DerOf(x, i2d_X509);
    ASN1_TIME_free(to);
    ASN1_TIME_free(from);
    ASN1_INTEGER_free(serial);
    EVP_PKEY_free(pub);
    X509_NAME_free(subject);
    X509_NAME_free(issuer);
    X509_free(x);
  }
  ERR_clear_error();
  if (!ok || der.empty()) return Fail(CRYPT_E_ASN1_BADTAG);
  // A DSA signature's length varies from one signing to the next: the size asked for first leaves room for the
  // longest, and the call that fills the buffer tells the length it wrote.
  if (sig->dsa && !encoded) {
    *cb = static_cast<DWORD>(der.size() + 8);
    return TRUE;
  }
  return FillBuffer(der.data(), der.size(), encoded, cb);
}

PCERT_EXTENSION CertFindExtension(LPCSTR objId, DWORD count, CERT_EXTENSION* extensions) {
  if (!objId || !extensions) return nullptr;
  for (DWORD i = 0; i < count; ++i)
    if (extensions[i].pszObjId && std::strcmp(extensions[i].pszObjId, objId) == 0) return &extensions[i];
  SetLastError(static_cast<DWORD>(CRYPT_E_NOT_FOUND));
  return nullptr;
}
