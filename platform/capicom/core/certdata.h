// One parsed X.509 certificate and the read-only views the engine's objects give of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/capicom/core/ossl.h"

namespace kx::capi {

struct KeyUsageInfo {
  bool present = false;
  bool critical = false;
  uint32_t bits = 0;  // X509v3 KU_* bits as OpenSSL reports them
};

struct EkuInfo {
  bool present = false;
  bool critical = false;
  std::vector<std::string> oids;  // dotted form, in certificate order
};

struct BasicConstraintsInfo {
  bool present = false;
  bool critical = false;
  bool ca = false;
  bool pathLenPresent = false;
  long pathLen = 0;
};

struct ExtensionInfo {
  std::string oid;       // dotted form
  bool critical = false;
  Bytes value;           // the extension's DER value (inside the OCTET STRING)
};

struct TemplateInfo {
  bool present = false;
  bool critical = false;
  std::string name;      // template name (v1 extension)
  std::string oid;       // template identifier (v2 extension)
  long majorVersion = 0;
  long minorVersion = 0;
};

struct PublicKeyInfo {
  std::string algorithmOid;
  long bits = 0;
  Bytes encodedKey;      // the subjectPublicKey bits
  Bytes encodedParams;   // the algorithm parameters, DER (empty when absent)
};

class CertData {
 public:
  // Parses DER, PEM or base64 text; null (and *hr set) when the bytes hold no certificate.
  static std::shared_ptr<const CertData> Parse(const uint8_t* data, size_t len, HRESULT* hr = nullptr);
  static std::shared_ptr<const CertData> Parse(const Bytes& b, HRESULT* hr = nullptr) {
    return Parse(b.data(), b.size(), hr);
  }
  // Takes a reference to an existing certificate.
  static std::shared_ptr<const CertData> FromX509(X509* x);

  X509* x509() const { return m_x.get(); }
  const Bytes& der() const { return m_der; }
  const std::string& thumbprint() const { return m_thumb; }

  long version() const;
  std::string serialNumber() const;
  std::string subjectName() const;
  std::string issuerName() const;
  // Name kinds of CAPICOM_CERT_INFO_TYPE; empty when the certificate has no such name.
  std::string nameInfo(int type) const;
  double notBefore() const;
  double notAfter() const;
  bool isSelfIssued() const;

  KeyUsageInfo keyUsage() const;
  EkuInfo extendedKeyUsage() const;
  BasicConstraintsInfo basicConstraints() const;
  std::vector<ExtensionInfo> extensions() const;
  TemplateInfo certTemplate() const;
  PublicKeyInfo publicKey() const;

  bool sameAs(const CertData& other) const { return m_der == other.m_der; }

 private:
  CertData() = default;
  X509Ptr m_x;
  Bytes m_der;
  std::string m_thumb;
};
using CertRef = std::shared_ptr<const CertData>;

// Distinguished names as the engine prints them: most specific part first, ", " between parts, short keys
// (CN, OU, O, L, S, C, E, ...), values quoted when they hold special characters.
std::string FormatName(const X509_NAME* name);
// The display name of a name: CN, else OU, else O, else the e-mail part, else the first part.
std::string SimpleName(const X509_NAME* name);
// One line, as "openssl x509 -text" prints the extension's value.
std::string FormatExtension(X509_EXTENSION* ext, bool multiLine);

}  // namespace kx::capi
