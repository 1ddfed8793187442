// A SoftHSM2 token for each test, in the test's own folder and configuration: label "Alice Card", user PIN
// "1234", holding the fixture's "signer" (id 01) and "encrypt" (id 02) certificates with their key pairs. The
// platform is pointed at the SoftHSM2 module through the registry.
#pragma once

#include <string>

#include "engine/CapicomCertificate.h"
#include "signing/signing_test.h"

namespace sctest {

inline constexpr const char* kTokenLabel = "Alice Card";
inline constexpr const char* kPin = "1234";
inline constexpr const char* kSoftHsm = "/usr/lib/softhsm/libsofthsm2.so";

class TokenTest : public signtest::SigningTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a fixture certificate and its key pair onto the token under the id (hex) and label.
  void WriteToToken(const std::string& name, const std::string& id, const std::string& label);
  // The same for a key (PEM) and certificate (PEM) made by the test.
  void WriteToToken(const std::string& keyPem, const std::string& certPem, const std::string& id,
                    const std::string& label);
  // Removes the token (its slot goes away from the module's list).
  void RemoveToken();
  // The certificate of "My" with that subject simple name whose key is on a token.
  static CCapicomCertificate TokenCert(const std::string& subject);
  // Runs pkcs11-tool against the token; its exit status.
  int Pkcs11Tool(const std::string& args, std::string* out = nullptr);
  static void SetModule(const std::string& path);

  std::string m_tokenDir;
};

std::string Q(const std::string& s);

}  // namespace sctest
