// What the user set-up tests share: the state the set-up reads, and reading back what it leaves.
#pragma once

#include <map>
#include <string>

namespace usertest {

// The enrolment service's address: a port on 127.0.0.1 (nothing there when no service is started).
void PointServiceAt(int port);
// The current user's mail profiles below "Software\Kesmora\MailTolvex\Profiles", as "key\name" -> "type:value".
std::map<std::string, std::string> Profiles();
// One mail profile with this e-mail address, as the list stores it.
void StoreProfile(const std::string& address);
// "sz:..." of a value below Software\Kesmora ("" when missing).
std::string Value(const std::string& key, const std::string& name);
void SetString(const std::string& key, const std::string& name, const std::string& value);
// The DER bytes of the personal certificate whose subject holds the text ("" when none); with a key link only
// when linked is given.
std::string PersonalCertificate(const std::string& part, bool* linked = nullptr);
// openssl's view of DER certificate bytes: subject and issuer in RFC 2253 form and the extended key usage.
std::string Describe(const std::string& der);

// A preset file read back through the formats classes.
struct Preset {
  bool loaded = false;
  int kind = -1;
  std::string name;
  int cipher = -1, keyLength = -1;
  std::string signer, recipient;  // DER of the first certificate of each list
};
Preset ReadPreset(const std::string& path);

}  // namespace usertest
