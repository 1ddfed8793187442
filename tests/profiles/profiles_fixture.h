// Shared set-up of the mail profile tests: that of the Signer Wizard tests (application, resources, COM, the
// test PKI in the user's stores), a documents folder of the test's own, and profiles stored as the wizard
// stores them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/MailProfile.h"
#include "signing/signing_test.h"

namespace profiletest {

class ProfileTest : public signtest::SigningTest {
 protected:
  void SetUp() override;

  // Appends a profile to the stored list and, when withPresets, writes its three presets (signed and
  // encrypted for the fixture certificate signer); the profile as the list holds it.
  CMailProfileSettings StoreProfile(const std::string& desc, const std::string& email, bool withPresets = true);
  // The stored list.
  static CMailProfileList Stored();
  // The registry values below the Profiles key, as "subkey\name" -> "type:value".
  static std::map<std::string, std::string> ProfileValues();
  // Turns one switch of the machine's security policy on or off (the others on).
  static void SetPolicy(int switchIndex, bool on);
  static std::string Text(UINT id);

  // The user's documents folder and the profiles folder below it.
  std::string m_documents;
  std::string m_profilesFolder;
};

}  // namespace profiletest
