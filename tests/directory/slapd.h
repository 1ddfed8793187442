// A directory server for tests: slapd started as the test's own user in a folder of its own, on free loopback
// ports (ldap:// and ldaps://), with a generated slapd.conf and an mdb database there; stopped by its PID.
// It never touches the system's LDAP configuration or database.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kxtest {

class Slapd {
 public:
  static constexpr const char* kSuffix = "dc=test";
  static constexpr const char* kPeople = "ou=People,dc=test";

  Slapd() = default;
  Slapd(const Slapd&) = delete;
  Slapd& operator=(const Slapd&) = delete;
  ~Slapd() { Stop(); }

  // Starts the server in a fresh folder of the test's root with the base entries (dc=test, ou=People). The
  // TLS certificate names 127.0.0.1 and is issued by the test PKI's root, or self-signed when untrustedTls.
  // false, with the reason, when it did not come up. The server ends with the thread that started it.
  bool Start(std::string* error, bool untrustedTls = false);
  void Stop();
  // Stops answering (the process is halted) and carries on.
  void Pause();
  void Resume();

  int port() const { return port_; }
  std::string Url(const std::string& rest = "") const { return "ldap://127.0.0.1:" + std::to_string(port_) + rest; }
  std::string LdapsUrl(const std::string& rest = "") const {
    return "ldaps://127.0.0.1:" + std::to_string(tlsPort_) + rest;
  }

  // What the server has logged so far: each connection ("conn=N fd=M ACCEPT from IP=...") and operation
  // ("conn=N op=K BIND dn=...").
  std::string Log() const;

  // Adds entries given as LDIF, as the directory's manager; false with ldapadd's output when refused.
  bool Add(const std::string& ldif, std::string* error = nullptr);

  // LDIF of a person under ou=People with its certificates (DER bytes) as userCertificate;binary.
  static std::string Person(const std::string& cn, const std::string& mail, const std::vector<std::string>& ders);
  static std::string Base64(const std::string& bytes);

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool paused_ = false;
  int port_ = 0, tlsPort_ = 0;
};

}  // namespace kxtest
