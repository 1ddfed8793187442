#include "certsel/online_ca.h"

#include "engine/CapicomStore.h"
#include "engine/CertificateManagerSettings.h"
#include "engine/engine_test.h"
#include "platform/capicom/capicom_defs.h"
#include "support/testroot.h"

namespace certsel {

using kxtest::BufferOf;

namespace {

std::string Q(const std::string& s) { return "'" + s + "'"; }

}  // namespace

bool OnlineCa::Start(const std::string& folder, const std::vector<std::string>& revoked, std::string* error) {
  m_folder = folder;
  // openssl ca keeps revoked certificates in its index: one line each, which is all -gencrl reads.
  std::string index;
  for (const std::string& serial : revoked) index += "R\t301231000000Z\t260101000000Z\t" + serial + "\tunknown\t/CN=x\n";
  kxtest::WriteFile(folder + "/index.txt", index);
  kxtest::WriteFile(folder + "/ca.cnf", "[ca]\ndefault_ca=x\n[x]\ndatabase=" + folder +
                                            "/index.txt\ndefault_md=sha256\ndefault_crl_days=30\n");
  const std::string command =
      "cd " + Q(folder) + " && openssl req -x509 -newkey rsa:2048 -nodes -days 60 -subj '/CN=Online Test CA' "
      "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign -keyout online-ca.key "
      "-out online-ca.pem && openssl ca -gencrl -config ca.cnf -keyfile online-ca.key -cert online-ca.pem -out "
      "online-ca.crl.pem && openssl crl -in online-ca.crl.pem -outform DER -out online-ca.crl && "
      "openssl x509 -in online-ca.pem -outform DER -out online-ca.cer";
  std::string out;
  if (kxtest::Run("(" + command + ") 2>&1", &out) != 0) {
    *error = out;
    return false;
  }
  if (!m_server.Start(kxtest::SourceDir() + "/tests/certmgr/crl_server.py", {folder, folder + "/requests.log"}, error))
    return false;
  CCapicomStore root;
  if (root.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE) != S_OK ||
      root.ImportFromBuffer(BufferOf(kxtest::ReadFile(folder + "/online-ca.cer"))) != S_OK) {
    *error = "the authority could not be trusted";
    return false;
  }
  return true;
}

std::string OnlineCa::Issue(const std::string& name, const std::string& cn, const std::string& extensions,
                            const std::string& serial) {
  const std::string base = m_folder + "/" + name;
  kxtest::WriteFile(base + ".ext", extensions + "\ncrlDistributionPoints=URI:" + m_server.Url("/online-ca.crl") + "\n");
  const std::string command =
      "openssl req -new -newkey rsa:2048 -nodes -subj " + Q("/CN=" + cn) + " -keyout " + Q(base + ".key") + " -out " +
      Q(base + ".csr") + " && openssl x509 -req -in " + Q(base + ".csr") + " -CA " + Q(CaPem()) + " -CAkey " +
      Q(m_folder + "/online-ca.key") + " -set_serial 0x" + serial + " -days 30 -extfile " + Q(base + ".ext") +
      " -out " + Q(base + ".pem") + " && openssl x509 -in " + Q(base + ".pem") + " -outform DER -out " +
      Q(base + ".cer") + " && openssl pkcs12 -export -in " + Q(base + ".pem") + " -inkey " + Q(base + ".key") +
      " -out " + Q(base + ".pfx") + " -passout pass:pw";
  std::string out;
  EXPECT_EQ(kxtest::Run("(" + command + ") 2>&1", &out), 0) << out;
  return base;
}

std::string OnlineCa::Requests() const { return kxtest::ReadFile(m_folder + "/requests.log"); }

void OnlineCa::SetOnlineChecking(bool on) {
  CCertificateManagerSettings settings;
  settings.Load();
  settings.ONLINE_CRL_VERIFY = on ? 1 : 0;
  settings.Save();
}

}  // namespace certsel
