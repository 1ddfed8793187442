#include "platform/capicom/core/ossl.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <cctype>
#include <cmath>
#include <mutex>

namespace kx::capi {

OSSL_LIB_CTX* LibCtx() {
  static OSSL_LIB_CTX* ctx = [] {
    OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
    // Without "legacy" the engine still works for modern algorithms; old ones then fail cleanly.
    OSSL_PROVIDER_load(c, "default");
    OSSL_PROVIDER_load(c, "legacy");
    ERR_clear_error();
    return c;
  }();
  return ctx;
}

void OsslFree::operator()(X509* p) const { X509_free(p); }
void OsslFree::operator()(X509_CRL* p) const { X509_CRL_free(p); }
void OsslFree::operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
void OsslFree::operator()(BIO* p) const { BIO_free_all(p); }
void OsslFree::operator()(X509_STORE* p) const { X509_STORE_free(p); }
void OsslFree::operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
void OsslFree::operator()(PKCS12* p) const { PKCS12_free(p); }
void OsslFree::operator()(PKCS7* p) const { PKCS7_free(p); }
void OsslFree::operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
void OsslFree::operator()(ASN1_OBJECT* p) const { ASN1_OBJECT_free(p); }
void OsslFree::operator()(STACK_OF(X509)* p) const { sk_X509_pop_free(p, X509_free); }
void OsslFree::operator()(STACK_OF(X509_CRL)* p) const { sk_X509_CRL_pop_free(p, X509_CRL_free); }

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

Bytes BioBytes(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? Bytes(data, data + n) : Bytes();
}

BioPtr MemBio(const void* data, size_t len) {
  return BioPtr(BIO_new_mem_buf(data, static_cast<int>(len)));
}

std::string HexUpper(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

std::string Base64Encode(const uint8_t* p, size_t n) {
  static const char* tbl = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string line, out;
  for (size_t i = 0; i < n; i += 3) {
    uint32_t v = static_cast<uint32_t>(p[i]) << 16;
    if (i + 1 < n) v |= static_cast<uint32_t>(p[i + 1]) << 8;
    if (i + 2 < n) v |= p[i + 2];
    line += tbl[(v >> 18) & 63];
    line += tbl[(v >> 12) & 63];
    line += i + 1 < n ? tbl[(v >> 6) & 63] : '=';
    line += i + 2 < n ? tbl[v & 63] : '=';
    if (line.size() == 64) {
      out += line + "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) out += line + "\r\n";
  return out;
}

bool Base64Decode(const std::string& text, Bytes& out) {
  out.clear();
  std::string body = text;
  // Drop a PEM armour: everything up to the end of the "-----BEGIN" line and from "-----END".
  size_t begin = body.find("-----BEGIN");
  if (begin != std::string::npos) {
    size_t eol = body.find('\n', begin);
    size_t end = body.find("-----END", begin);
    if (eol == std::string::npos || end == std::string::npos || end < eol) return false;
    body = body.substr(eol + 1, end - eol - 1);
  }
  uint32_t acc = 0;
  int bits = 0;
  size_t pad = 0, count = 0;
  for (char c : body) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') { ++pad; continue; }
    else if (std::isspace(static_cast<unsigned char>(c))) continue;
    else return false;
    if (pad) return false;  // data after padding
    ++count;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>((acc >> bits) & 0xFF));
    }
  }
  if (count == 0 || pad > 2 || (count + pad) % 4 != 0) {
    out.clear();
    return false;
  }
  return true;
}

double TimeToOleDate(time_t t) {
  // 25569 days lie between 1899-12-30 and 1970-01-01.
  return static_cast<double>(t) / 86400.0 + 25569.0;
}

time_t OleDateToTime(double date) {
  return static_cast<time_t>(std::llround((date - 25569.0) * 86400.0));
}

bool Asn1TimeToOleDate(const ASN1_TIME* t, double& out) {
  struct tm tmv {};
  if (!t || ASN1_TIME_to_tm(t, &tmv) != 1) return false;
  out = TimeToOleDate(timegm(&tmv));
  return true;
}

std::string Sha1Hex(const uint8_t* p, size_t n) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_MD* sha1 = EVP_MD_fetch(LibCtx(), "SHA1", nullptr);
  bool ok = sha1 && EVP_Digest(p, n, md, &len, sha1, nullptr) == 1;
  EVP_MD_free(sha1);
  return ok ? HexUpper(md, len) : std::string();
}

std::string TakeOpenSslError() {
  unsigned long e = ERR_get_error();
  std::string text;
  if (e) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    text = buf;
  }
  ERR_clear_error();
  return text;
}

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace kx::capi
