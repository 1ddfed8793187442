// Shared set-up of the encryption wizard and one-click tests: that of the Signer Wizard tests (application,
// resources, COM, the test PKI), a preset folder of the test's own, and presets made the way the preset
// wizard saves them.
#pragma once

#include <string>
#include <vector>

#include "signing/signing_test.h"

namespace oneclicktest {

using signtest::ProtectedFile;

struct PresetSpec {
  int kind = 0;  // 0 encrypt, 1 sign, 2 sign and encrypt, 3 countersign
  std::string description = "Preset";
  std::vector<std::string> signers;     // fixture names
  std::vector<std::string> recipients;  // fixture names
  int cipher = 3;                       // engine codes
  int keyLength = 4;
};

class OneClickTest : public signtest::SigningTest {
 protected:
  void SetUp() override;

  // The preset folder of the test (the user's OneClickFolder).
  std::string m_presets;
  // Writes a preset file with the fields the preset wizard fills; its path.
  std::string SavePreset(const PresetSpec& spec, const std::string& name);
  // The decrypted (and verified) content of a protected file through the Signer Wizard's reader; empty and
  // ok false when it fails.
  std::string DecryptThroughReader(const std::string& path, bool* ok);
  // An ECB decryption by openssl without padding (cipher as "aes-256-ecb"; the key in hex).
  std::string OpensslEcbDecrypt(const std::string& cipher, const std::string& keyHex, const std::string& bytes);
};

std::string Hex(const std::string& bytes);

}  // namespace oneclicktest
