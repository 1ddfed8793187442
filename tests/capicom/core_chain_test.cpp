// Chain status over the test PKI, checked against "openssl verify" on the same certificates and lists.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/chain.h"
#include "platform/capicom/core/store.h"
#include "support/pki.h"
#include "support/testroot.h"

using namespace kx::capi;
namespace pki = kxtest::pki;

namespace {

CertRef Load(const std::string& name) {
  std::string der = pki::DerBytes(name);
  return CertData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
}

CrlRef LoadCrl(const std::string& name) {
  std::string der = kxtest::ReadFile(pki::Crl(name));
  return CrlData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
}

struct Row {
  const char* cert;
  bool rootTrusted;
  bool interInStore;
  std::vector<const char*> crls;
  long flags;
  const char* usage;        // EKU the check asks for, or null
  uint32_t expectBits;      // status bits of the whole chain
  bool expectValid;
  const char* opensslArgs;  // extra arguments of "openssl verify"
  int opensslError;         // 0: verifies
};

// openssl error numbers: 10 expired, 23 revoked, 3 no CRL, 12 CRL expired, 19 self-signed in chain,
// 20 no local issuer, 26 unsupported purpose.
const Row kRows[] = {
    {"signer", true, true, {"root", "inter"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0, true, "-crl_check_all", 0},
    {"encrypt", true, true, {"root", "inter"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0, true, "-crl_check_all", 0},
    {"expired", true, true, {"root", "inter"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0x1, false, "-crl_check_all", 10},
    {"revoked", true, true, {"root", "inter"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0x4, false, "-crl_check_all", 23},
    {"wrongusage", true, true, {"root", "inter"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0, true, "-crl_check_all", 0},
    {"inter", true, true, {"root", "inter"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0, true, "-crl_check_all", 0},
    {"root", true, true, {"root"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0, true, "-crl_check_all", 0},
    // Revocation not asked for: the revoked certificate passes, the expired one still fails on time.
    {"revoked", true, true, {}, CAPICOM_DEFAULT_CHECK_FLAG, nullptr, 0, true, "", 0},
    {"expired", true, true, {}, CAPICOM_DEFAULT_CHECK_FLAG, nullptr, 0x1, false, "", 10},
    // Time not asked for: the bit is still reported, the verdict ignores it.
    {"expired", true, true, {}, 0x25, nullptr, 0x1, true, "-no_check_time", 0},
    // No list of the intermediate, or an expired one: revocation status unknown, offline.
    {"signer", true, true, {"root"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0x1000040, false, "-crl_check_all", 3},
    {"signer", true, true, {"root", "inter-expired"}, CAPICOM_CHECK_OFFLINE_ALL, nullptr, 0x1000040, false,
     "-crl_check_all", 12},
    // Root not trusted; intermediate missing.
    {"signer", false, true, {}, CAPICOM_DEFAULT_CHECK_FLAG, nullptr, 0x20, false, "", 19},
    {"signer", true, false, {}, CAPICOM_DEFAULT_CHECK_FLAG, nullptr, 0x10000, false, "", 20},
    // Usage asked for.
    {"signer", true, true, {}, CAPICOM_DEFAULT_CHECK_FLAG, "1.3.6.1.5.5.7.3.4", 0, true, "-purpose smimesign", 0},
    {"wrongusage", true, true, {}, CAPICOM_DEFAULT_CHECK_FLAG, "1.3.6.1.5.5.7.3.4", 0x10, false,
     "-purpose smimesign", 26},
};

}  // namespace

TEST(CapicomCoreChain, StatusTableAgreesWithOpensslVerify) {
  for (const Row& row : kRows) {
    std::string trace = std::string(row.cert) + " flags " + std::to_string(row.flags) + " " + row.opensslArgs;
    SCOPED_TRACE(trace);
    TrustSources src;
    if (row.rootTrusted) {
      src.roots.push_back(Load("root"));
    } else {
      src.intermediates.push_back(Load("root"));
    }
    if (row.interInStore) src.intermediates.push_back(Load("inter"));
    for (const char* c : row.crls) src.crls.push_back(LoadCrl(c));
    ChainParams params;
    params.checkFlags = row.flags;
    if (row.usage) params.usageOid = row.usage;
    ChainResult r = BuildChain(Load(row.cert), params, src);
    EXPECT_EQ(r.chainStatus, row.expectBits);
    EXPECT_EQ(r.valid, row.expectValid);
    EXPECT_EQ(r.error == S_OK, row.expectValid);

    std::string cmd = "openssl verify -no-CAfile -no-CApath ";
    cmd += row.rootTrusted ? "-CAfile '" + pki::Pem("root") + "' " : "-untrusted '" + pki::Pem("root") + "' ";
    if (row.interInStore) cmd += "-untrusted '" + pki::Pem("inter") + "' ";
    for (const char* c : row.crls) cmd += "-CRLfile '" + pki::CrlPem(c) + "' ";
    cmd += std::string(row.opensslArgs) + " '" + pki::Pem(row.cert) + "'";
    std::string out;
    int rc = kxtest::Run(cmd, &out);
    std::smatch m;
    int err = std::regex_search(out, m, std::regex("error (\\d+) at")) ? std::stoi(m[1]) : 0;
    EXPECT_EQ(err, row.opensslError) << out;
    // openssl stops at its first error; where it verifies, so do we under the same checks.
    if (row.opensslError == 0) {
      EXPECT_EQ(rc, 0) << out;
    }
  }
}

TEST(CapicomCoreChain, ElementsAndPerCertificateStatus) {
  TrustSources src;
  src.roots.push_back(Load("root"));
  src.intermediates.push_back(Load("inter"));
  src.crls = {LoadCrl("root"), LoadCrl("inter")};
  ChainParams params;
  params.checkFlags = CAPICOM_CHECK_OFFLINE_ALL;
  ChainResult r = BuildChain(Load("revoked"), params, src);
  ASSERT_EQ(r.certs.size(), 3u);
  EXPECT_TRUE(r.certs[1]->sameAs(*Load("inter")));
  EXPECT_TRUE(r.certs[2]->sameAs(*Load("root")));
  EXPECT_EQ(r.status, (std::vector<uint32_t>{CAPICOM_TRUST_IS_REVOKED, 0, 0}));
  EXPECT_EQ(r.error, CRYPT_E_REVOKED);
  EXPECT_EQ(r.errorText[0], "certificate revoked");
  EXPECT_TRUE(r.errorText[1].empty());

  // A verification time before the expired certificate ended makes it valid.
  params.checkFlags = CAPICOM_DEFAULT_CHECK_FLAG;
  params.verificationTime = Load("expired")->notAfter() - 30;
  r = BuildChain(Load("expired"), params, src);
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(r.chainStatus, 0u);

  // The user's stores are the default sources.
  std::shared_ptr<CertStore> s;
  ASSERT_EQ(CertStore::Open(CAPICOM_LOCAL_MACHINE_STORE, "Root", 1, s), S_OK);
  StoreEntry e;
  e.cert = Load("root");
  ASSERT_EQ(s->Add(e), S_OK);
  ASSERT_EQ(CertStore::Open(CAPICOM_CURRENT_USER_STORE, "CA", 1, s), S_OK);
  e.cert = Load("inter");
  ASSERT_EQ(s->Add(e), S_OK);
  r = BuildChain(Load("signer"), ChainParams());
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(r.certs.size(), 3u);
  // The message's own certificates stand in for a missing intermediate.
  ASSERT_EQ(s->Remove(Load("inter")->thumbprint()), S_OK);
  EXPECT_FALSE(BuildChain(Load("signer"), ChainParams()).valid);
  EXPECT_TRUE(BuildChain(Load("signer"), ChainParams(), {Load("inter")}).valid);
}

// Online checks fetch a missing list from the certificate's distribution point (a server on 127.0.0.1).
TEST(CapicomCoreChain, OnlineRevocationFetchesFromDistributionPoint) {
  std::string dir = kxtest::MakeTempDir("online");
  kxtest::WriteFile(dir + "/inter.crl", kxtest::ReadFile(pki::Crl("inter")));
  kxtest::WriteFile(dir + "/serve.py",
                    "import http.server, socketserver, sys, functools\n"
                    "h = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])\n"
                    "s = socketserver.TCPServer(('127.0.0.1', 0), h)\n"
                    "open(sys.argv[2], 'w').write(str(s.server_address[1]))\n"
                    "s.serve_forever()\n");
  ASSERT_EQ(kxtest::Run("python3 '" + dir + "/serve.py' '" + dir + "' '" + dir + "/port.tmp' >/dev/null 2>&1 & "
                        "echo $! > '" + dir + "/pid'"),
            0);
  // Stopped by its process id however the test ends, a failed assertion included.
  struct Server {
    pid_t pid;
    ~Server() {
      if (pid > 0) kill(pid, SIGTERM);
    }
  } server{static_cast<pid_t>(std::stol(kxtest::ReadFile(dir + "/pid")))};
  // The server names its port once it listens; a loaded machine may take a while to start Python.
  std::string port;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (port.empty() && std::chrono::steady_clock::now() < deadline) {
    port = kxtest::ReadFile(dir + "/port.tmp");
    if (port.empty()) usleep(50000);
  }
  ASSERT_FALSE(port.empty()) << "the CRL server did not start within 60 s";

  // Two end certificates: one whose list is served, one whose point answers nothing.
  auto issue = [&](const std::string& name, const std::string& url) {
    kxtest::WriteFile(dir + "/" + name + ".ext", "crlDistributionPoints=URI:" + url + "\n");
    std::string cmd = "cd '" + dir + "' && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
                      "-keyout " + name + ".key -subj /CN=" + name + " -out " + name + ".csr >/dev/null 2>&1 && "
                      "openssl x509 -req -in " + name + ".csr -CA '" + pki::Pem("inter") + "' -CAkey '" +
                      pki::Key("inter") + "' -set_serial 0x" + std::to_string(name.size()) + "77 -days 30 -extfile " +
                      name + ".ext -outform DER -out " + name + ".cer";
    EXPECT_EQ(kxtest::Run(cmd), 0);
    std::string der = kxtest::ReadFile(dir + "/" + name + ".cer");
    return CertData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
  };
  CertRef served = issue("served", "http://127.0.0.1:" + port + "/inter.crl");
  CertRef missing = issue("unserved", "http://127.0.0.1:" + port + "/none.crl");
  ASSERT_TRUE(served && missing);

  TrustSources src;
  src.roots.push_back(Load("root"));
  src.intermediates.push_back(Load("inter"));
  src.crls.push_back(LoadCrl("root"));
  ChainParams params;
  params.checkFlags = CAPICOM_CHECK_OFFLINE_ALL;
  ChainResult offline = BuildChain(served, params, src);
  EXPECT_EQ(offline.status[0], CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN | CAPICOM_TRUST_IS_OFFLINE_REVOCATION);
  params.checkFlags = CAPICOM_CHECK_ONLINE_ALL;
  // Only a slow answer waits this long (the unserved list is answered at once with 404): generous, so that a
  // busy machine does not make the served list look offline.
  params.urlRetrievalTimeout = 60;
  ChainResult online = BuildChain(served, params, src);
  EXPECT_TRUE(online.valid);
  EXPECT_EQ(online.chainStatus, 0u);
  ChainResult unserved = BuildChain(missing, params, src);
  EXPECT_FALSE(unserved.valid);
  EXPECT_EQ(unserved.error, CRYPT_E_REVOCATION_OFFLINE);
}
