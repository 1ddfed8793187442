// What the openssl command line says about a certificate, for comparing the engine's answers with it.
#pragma once

#include <ctime>
#include <map>
#include <sstream>
#include <string>

#include "support/testroot.h"

namespace kxtest {

struct X509Facts {
  std::string serial, sha1, subject, issuer, email;
  time_t notBefore = 0, notAfter = 0;
  // Extension title ("X509v3 Key Usage") -> {critical, value text}.
  std::map<std::string, std::pair<bool, std::string>> ext;
};

inline time_t ParseOpensslDate(const std::string& s) {
  struct tm tmv {};
  strptime(s.c_str(), "%b %d %H:%M:%S %Y GMT", &tmv);
  return timegm(&tmv);
}

// Names as "CN=.., O=.., C=.." (most specific first), with the engine's short key E for e-mail addresses.
inline std::string NormaliseName(std::string n) {
  for (size_t p; (p = n.find("emailAddress=")) != std::string::npos;) n.replace(p, 13, "E=");
  for (size_t p; (p = n.find("ST=")) != std::string::npos;) n.replace(p, 3, "S=");
  return n;
}

inline X509Facts OpensslX509(const std::string& pemPath) {
  X509Facts f;
  std::string out;
  Run("openssl x509 -in '" + pemPath +
          "' -noout -serial -fingerprint -sha1 -dates -subject -issuer -email"
          " -nameopt sep_comma_plus_space,dn_rev,sname,utf8 -ext basicConstraints,keyUsage,extendedKeyUsage",
      &out);
  std::istringstream in(out);
  std::string line, pendingExt;
  bool pendingCritical = false;
  while (std::getline(in, line)) {
    if (!pendingExt.empty() && line.rfind("    ", 0) == 0) {
      f.ext[pendingExt] = {pendingCritical, line.substr(4)};
      pendingExt.clear();
      continue;
    }
    auto val = [&](const char* key) -> bool {
      size_t n = std::string(key).size();
      return line.compare(0, n, key) == 0;
    };
    if (val("serial=")) f.serial = line.substr(7);
    else if (val("sha1 Fingerprint=") || val("SHA1 Fingerprint=")) {
      for (char c : line.substr(17))
        if (c != ':') f.sha1 += c;
    } else if (val("notBefore=")) f.notBefore = ParseOpensslDate(line.substr(10));
    else if (val("notAfter=")) f.notAfter = ParseOpensslDate(line.substr(9));
    else if (val("subject=")) f.subject = NormaliseName(line.substr(8));
    else if (val("issuer=")) f.issuer = NormaliseName(line.substr(7));
    else if (val("X509v3 ")) {
      size_t colon = line.find(':');
      pendingExt = line.substr(0, colon);
      pendingCritical = line.find("critical", colon) != std::string::npos;
    } else if (line.find('@') != std::string::npos && f.email.empty()) f.email = line;
  }
  return f;
}

}  // namespace kxtest
