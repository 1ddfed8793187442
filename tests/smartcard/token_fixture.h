// A SoftHSM2 token for each test, in the test's own folder and configuration: label "Alice Card", user PIN
// "1234", holding the fixture's "signer" (id 01) and "encrypt" (id 02) certificates with their key pairs. The
// token is made once for the suite; each test works on a copy of its own. The platform is pointed at the SoftHSM2
// module through the registry.
#pragma once

#include <string>

#include "engine/CapicomCertificate.h"
#include "signing/signing_test.h"

namespace sctest {

inline constexpr const char* kTokenLabel = "Alice Card";
inline constexpr const char* kPin = "1234";
inline constexpr const char* kSoftHsm = "/usr/lib/softhsm/libsofthsm2.so";

class TokenTest : public signtest::SigningTest {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

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
  static int Pkcs11Tool(const std::string& args, std::string* out = nullptr);
  static void SetModule(const std::string& path);

  std::string m_tokenDir;

 private:
  // SoftHSM2's configuration for the token folder (in base), put in force; the folder is made.
  static std::string Configure(const std::string& base);
  // Writes a key (PEM) and certificate (PEM) onto the token, with scratch files in dir; empty, or what failed.
  static std::string WriteObjects(const std::string& dir, const std::string& keyPem, const std::string& certPem,
                                  const std::string& id, const std::string& label);

  static std::string s_suiteDir;  // the suite's token, copied by each test
  static std::string s_problem;   // why it could not be made
};

std::string Q(const std::string& s);

}  // namespace sctest
