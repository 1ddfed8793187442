#include "support/pki.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <map>
#include <stdexcept>

#include "support/testroot.h"

namespace kxtest::pki {
namespace {

// Bump when the fixture changes, so a build tree makes it anew.
constexpr const char* kVersion = "pki-v1";
constexpr long kDay = 86400;
constexpr long kYear = 365 * kDay;

struct Spec {
  const char* name;
  const char* cn;
  const char* email;     // subject e-mail and SAN, or null
  const char* issuer;    // null: self-signed
  long from, to;         // validity relative to now, seconds
  const char* bc;        // basicConstraints or null
  const char* ku;
  const char* eku;       // or null
  unsigned char serialTop;
};

const Spec kSpecs[] = {
    {"root", "Test Root CA", nullptr, nullptr, -5 * kYear, 20 * kYear, "critical,CA:TRUE", "critical,keyCertSign,cRLSign",
     nullptr, 0x01},
    {"inter", "Test Intermediate CA", nullptr, "root", -5 * kYear + kDay, 15 * kYear, "critical,CA:TRUE,pathlen:0",
     "critical,keyCertSign,cRLSign", nullptr, 0x02},
    {"signer", "Alice Signer", "alice@example.com", "inter", -kDay, 5 * kYear, nullptr,
     "critical,digitalSignature,nonRepudiation", "emailProtection,clientAuth", 0x8F},
    {"encrypt", "Bob Encryption", "bob@example.com", "inter", -kDay, 5 * kYear, nullptr,
     "critical,keyEncipherment,dataEncipherment", "emailProtection", 0x11},
    {"expired", "Carol Expired", "carol@example.com", "inter", -3 * kYear, -kYear, nullptr,
     "critical,digitalSignature,nonRepudiation", "emailProtection", 0x12},
    {"revoked", "Dave Revoked", "dave@example.com", "inter", -kDay, 5 * kYear, nullptr,
     "critical,digitalSignature,nonRepudiation", "emailProtection", 0x13},
    {"wrongusage", "Eve Wrong Usage", "eve@example.com", "inter", -kDay, 5 * kYear, nullptr, "keyAgreement",
     "serverAuth", 0x14},
    {"codesign", "Test Code Signer", nullptr, "inter", -kDay, 5 * kYear, nullptr, "critical,digitalSignature",
     "codeSigning", 0x15},
    {"tsa", "Test Time Stamping", nullptr, "inter", -kDay, 5 * kYear, nullptr,
     "critical,digitalSignature,nonRepudiation", "critical,timeStamping", 0x16},
};

struct Made {
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
};

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

void AddExt(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext != nullptr, value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

void SetSerial(X509* cert, unsigned char top) {
  unsigned char bytes[9] = {top, 0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB, 0xED, top};
  BIGNUM* bn = BN_bin2bn(bytes, sizeof bytes, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
  BN_free(bn);
}

Made MakeCert(const Spec& s, const std::map<std::string, Made>& made, time_t now) {
  Made m;
  m.key = EVP_RSA_gen(2048);
  Check(m.key != nullptr, "key generation");
  X509* x = X509_new();
  X509_set_version(x, 2);
  SetSerial(x, s.serialTop);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("US"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Test PKI"), -1, -1, 0);
  if (!s.issuer || std::string(s.issuer) == "root")
    X509_NAME_add_entry_by_txt(name, "OU", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Certification"), -1,
                               -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(s.cn), -1, -1, 0);
  if (s.email)
    X509_NAME_add_entry_by_txt(name, "emailAddress", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(s.email),
                               -1, -1, 0);
  X509* issuerCert = x;
  EVP_PKEY* issuerKey = m.key;
  if (s.issuer) {
    const Made& i = made.at(s.issuer);
    issuerCert = i.cert;
    issuerKey = i.key;
  }
  X509_set_issuer_name(x, X509_get_subject_name(issuerCert));
  X509_time_adj_ex(X509_getm_notBefore(x), 0, s.from, &now);
  X509_time_adj_ex(X509_getm_notAfter(x), 0, s.to, &now);
  X509_set_pubkey(x, m.key);
  if (s.bc) AddExt(x, issuerCert, NID_basic_constraints, s.bc);
  AddExt(x, issuerCert, NID_key_usage, s.ku);
  if (s.eku) AddExt(x, issuerCert, NID_ext_key_usage, s.eku);
  AddExt(x, issuerCert, NID_subject_key_identifier, "hash");
  if (s.issuer) AddExt(x, issuerCert, NID_authority_key_identifier, "keyid:always");
  if (s.email) AddExt(x, issuerCert, NID_subject_alt_name, (std::string("email:") + s.email).c_str());
  Check(X509_sign(x, issuerKey, EVP_sha256()) > 0, "signing");
  m.cert = x;
  return m;
}

X509_CRL* MakeCrl(const Made& issuer, const std::vector<X509*>& revoked, time_t now, long lastOffset, long nextOffset) {
  X509_CRL* crl = X509_CRL_new();
  X509_CRL_set_version(crl, 1);
  X509_CRL_set_issuer_name(crl, X509_get_subject_name(issuer.cert));
  ASN1_TIME* t = X509_time_adj_ex(nullptr, 0, lastOffset, &now);
  X509_CRL_set1_lastUpdate(crl, t);
  ASN1_TIME_free(t);
  t = X509_time_adj_ex(nullptr, 0, nextOffset, &now);
  X509_CRL_set1_nextUpdate(crl, t);
  ASN1_TIME_free(t);
  for (X509* r : revoked) {
    X509_REVOKED* rev = X509_REVOKED_new();
    X509_REVOKED_set_serialNumber(rev, X509_get_serialNumber(r));
    ASN1_TIME* when = X509_time_adj_ex(nullptr, 0, lastOffset - kDay, &now);
    X509_REVOKED_set_revocationDate(rev, when);
    ASN1_TIME_free(when);
    X509_CRL_add0_revoked(crl, rev);
  }
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer.cert, nullptr, nullptr, crl, 0);
  X509_EXTENSION* aki = X509V3_EXT_conf_nid(nullptr, &ctx, NID_authority_key_identifier, "keyid:always");
  if (aki) {
    X509_CRL_add_ext(crl, aki, -1);
    X509_EXTENSION_free(aki);
  }
  X509_CRL_sort(crl);
  Check(X509_CRL_sign(crl, issuer.key, EVP_sha256()) > 0, "CRL signing");
  return crl;
}

template <typename F>
void WriteBio(const std::string& path, F write) {
  BIO* bio = BIO_new_file(path.c_str(), "wb");
  Check(bio != nullptr, path.c_str());
  Check(write(bio) == 1, path.c_str());
  BIO_free(bio);
}

void Generate(const std::string& dir) {
  time_t now = time(nullptr);
  std::map<std::string, Made> made;
  for (const Spec& s : kSpecs) made[s.name] = MakeCert(s, made, now);
  for (auto& [name, m] : made) {
    std::string base = dir + "/" + name;
    WriteBio(base + ".pem", [&](BIO* b) { return PEM_write_bio_X509(b, m.cert); });
    WriteBio(base + ".cer", [&](BIO* b) { return i2d_X509_bio(b, m.cert); });
    WriteBio(base + ".key", [&](BIO* b) {
      return PEM_write_bio_PKCS8PrivateKey(b, m.key, nullptr, nullptr, 0, nullptr, nullptr);
    });
  }
  WriteBio(dir + "/chain.pem", [&](BIO* b) {
    return PEM_write_bio_X509(b, made["inter"].cert) & PEM_write_bio_X509(b, made["root"].cert);
  });
  struct CrlSpec {
    const char* name;
    const char* issuer;
    std::vector<X509*> revoked;
    long last, next;
  };
  std::vector<CrlSpec> crls = {
      {"root", "root", {}, -kDay, 10 * kYear},
      {"inter", "inter", {made["revoked"].cert}, -kDay, 10 * kYear},
      {"inter-expired", "inter", {}, -2 * kYear, -kYear},
  };
  for (const CrlSpec& c : crls) {
    X509_CRL* crl = MakeCrl(made[c.issuer], c.revoked, now, c.last, c.next);
    std::string base = dir + "/" + c.name;
    WriteBio(base + ".crl", [&](BIO* b) { return i2d_X509_CRL_bio(b, crl); });
    WriteBio(base + ".crl.pem", [&](BIO* b) { return PEM_write_bio_X509_CRL(b, crl); });
    X509_CRL_free(crl);
  }
  for (auto& [name, m] : made) {
    X509_free(m.cert);
    EVP_PKEY_free(m.key);
  }
}

std::string MakeDir() {
  std::string base = BuildDir() + "/test-fixtures";
  ::mkdir(base.c_str(), 0755);
  std::string dir = base + "/" + kVersion;
  std::string marker = dir + "/complete";
  if (::access(marker.c_str(), F_OK) == 0) return dir;
  // Several test processes may start at once: one makes the fixture, the others wait for it.
  int fd = ::open((base + "/" + kVersion + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  Check(fd >= 0, "fixture lock");
  ::flock(fd, LOCK_EX);
  if (::access(marker.c_str(), F_OK) != 0) {
    Run("rm -rf '" + dir + "'");
    ::mkdir(dir.c_str(), 0755);
    Generate(dir);
    WriteFile(marker, kVersion);
  }
  ::close(fd);
  return dir;
}

}  // namespace

const std::string& Dir() {
  static const std::string dir = MakeDir();
  return dir;
}

std::string Pem(const std::string& name) { return Dir() + "/" + name + ".pem"; }
std::string Der(const std::string& name) { return Dir() + "/" + name + ".cer"; }
std::string Key(const std::string& name) { return Dir() + "/" + name + ".key"; }
std::string Crl(const std::string& name) { return Dir() + "/" + name + ".crl"; }
std::string CrlPem(const std::string& name) { return Dir() + "/" + name + ".crl.pem"; }
std::string ChainPem() { return Dir() + "/chain.pem"; }
std::string DerBytes(const std::string& name) { return ReadFile(Der(name)); }

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const Spec& s : kSpecs) v.push_back(s.name);
    return v;
  }();
  return names;
}

std::string MakePfx(const std::string& name, const std::string& password, bool legacy, const std::string& outPath,
                    bool includeChain) {
  std::string cmd = "openssl pkcs12 -export -in '" + Pem(name) + "' -inkey '" + Key(name) + "' -out '" + outPath +
                    "' -passout 'pass:" + password + "' -name '" + name + "'";
  if (includeChain) cmd += " -certfile '" + ChainPem() + "'";
  if (legacy) cmd += " -legacy";
  return Run(cmd) == 0 ? outPath : std::string();
}

}  // namespace kxtest::pki
