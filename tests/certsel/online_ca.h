// A certificate authority whose revocation list only a server on 127.0.0.1 gives: for the tests of online
// revocation checking.
#pragma once

#include <string>
#include <vector>

#include "services/local_server.h"

namespace certsel {

// A certificate authority of the test's own, trusted in the user's "Root", whose revocation list is served on
// 127.0.0.1 by a server the object starts and stops, and kept in no store: only online checking learns what it
// revokes. The server logs each request, so a test sees whether the list was asked for.
class OnlineCa {
 public:
  // Makes the authority and its list (revoking the serial numbers given, in hex) in folder with openssl,
  // starts the server and trusts the authority; false with the reason when any step fails.
  bool Start(const std::string& folder, const std::vector<std::string>& revoked, std::string* error);
  // An end certificate it issues, pointing at the served list, with the extension lines given (keyUsage...);
  // the files <base>.pem, .key, .cer (DER) and .pfx (password "pw"). The base path; empty on failure.
  std::string Issue(const std::string& name, const std::string& cn, const std::string& extensions,
                    const std::string& serial);
  // Each path the server was asked for, one a line.
  std::string Requests() const;
  std::string CaPem() const { return m_folder + "/online-ca.pem"; }
  std::string CrlPem() const { return m_folder + "/online-ca.crl.pem"; }
  // The certificate manager's online revocation checking, on or off.
  static void SetOnlineChecking(bool on);

 private:
  std::string m_folder;
  kxtest::LocalServer m_server;
};

}  // namespace certsel
