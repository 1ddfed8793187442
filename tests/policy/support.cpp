#include "policy/policy_test.h"

namespace kxtest {

std::string MakeCert(const std::string& folder, const std::string& name, const std::string& subject,
                     std::initializer_list<const char*> extensions, const std::string& issuer) {
  std::string config = folder + "/min.cnf";
  WriteFile(config, "[req]\ndistinguished_name = dn\n[dn]\n");
  std::string base = folder + "/" + name;
  std::string ext;
  for (const char* e : extensions) ext += std::string(" -addext '") + e + "'";
  std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout '" + base + ".key'";
  std::string command;
  if (issuer.empty()) {
    command = "openssl req -x509 -config '" + config + "'" + key + " -out '" + base + ".pem' -subj '" + subject +
              "' -days 365" + ext;
  } else {
    std::string ca = folder + "/" + issuer;
    command = "openssl req -new -config '" + config + "'" + key + " -out '" + base + ".csr' -subj '" + subject + "'" +
              ext + " && openssl x509 -req -in '" + base + ".csr' -CA '" + ca + ".pem' -CAkey '" + ca +
              ".key' -set_serial 0x" + std::to_string(1000 + name.size()) + " -days 300 -copy_extensions copyall -out '" +
              base + ".pem'";
  }
  command += " && openssl x509 -in '" + base + ".pem' -outform DER -out '" + base + ".der'";
  EXPECT_EQ(Run(command + " 2>/dev/null"), 0) << command;
  return ReadFile(base + ".der");
}

}  // namespace kxtest
