// The verdicts of the certificate policy over the fixture PKI: trust points, revocation lists present,
// missing, out of date or damaged, the strict policy on and off.
#include <cctype>
#include <functional>
#include <iterator>
#include <vector>

#include "engine/CertPolicy.h"
#include "policy/policy_test.h"
#include "services/local_server.h"

using namespace kxtest;

using CertPolicyVerdicts = PolicyTest;

namespace {

struct Verdict {
  bool ok;
  std::string message;
  LONG checkFlags;  // the flags the policy left on the certificate's status object
};

Verdict Validate(const CCapicomCertificate& c) {
  Verdict v{};
  CBstrString message;
  CCertPolicy().ValidateCertificate(c, message, v.ok);
  v.message = TextOf(message);
  v.checkFlags = c.IsValid().GetCheckFlag();
  return v;
}

void Certificates() {
  AddCert("Root", "root");
  AddCert("CA", "inter");
}

// The strict policy with a one-click folder whose trust-point list holds the certificates named.
void Strict(std::initializer_list<const char*> trustPoints) {
  SetStrictPolicy(1);
  std::string folder = MakeTempDir("oneclick");
  SetOneClickFolder(folder);
  if (trustPoints.size()) WriteTrustPoints(folder, trustPoints);
}

}  // namespace

namespace {

struct Row {
  const char* what;
  std::function<void()> setup;
  const char* cert;
  bool ok;
  std::vector<UINT> text;
};

const Row kRows[] = {
      {"chain and both lists present", TrustFixture, "signer", true, {6129}},
      {"no revocation lists", Certificates, "signer", false, {6175, 6176}},
      {"intermediate's list out of date",
       [] {
         Certificates();
         AddCrl("Root", "root");
         AddCrl("CA", "inter-expired");
       },
       "signer", false, {6178}},
      {"intermediate's list with a damaged signature",
       [] {
         Certificates();
         AddCrl("Root", "root");
         std::string crl = ReadFile(pki::Crl("inter"));
         crl.back() ^= 0x01;
         AddToStore("CA", crl);
       },
       "signer", false, {6177}},
      {"revoked certificate", TrustFixture, "revoked", false, {6104}},
      {"revoked, the intermediate's list kept in My",
       [] {
         Certificates();
         AddCrl("Root", "root");
         AddCrl("My", "inter");
       },
       "revoked", false, {6104}},
      {"expired certificate", TrustFixture, "expired", false, {6101, 6102}},
      {"root not trusted",
       [] {
         AddCert("CA", "root");
         AddCert("CA", "inter");
         AddCrl("CA", "root");
         AddCrl("CA", "inter");
       },
       "signer", false, {6107}},
      {"root missing",
       [] {
         AddCert("CA", "inter");
         AddCrl("CA", "inter");
       },
       "signer", false, {6122}},
      {"authority's revocation unknown, chain of 3",
       [] {
         Certificates();
         AddCrl("CA", "inter");
       },
       "signer", false, {6108}},
      {"authority's revocation unknown, chain of 2",
       [] {
         Certificates();
         AddCrl("CA", "inter");
       },
       "inter", false, {6109}},
      {"strict: no one-click folder",
       [] {
         TrustFixture();
         SetStrictPolicy(1);
       },
       "signer", false, {6132}},
      {"strict: no trust-point list",
       [] {
         TrustFixture();
         Strict({});
       },
       "signer", false, {6131}},
      {"strict: top of the chain not a trust point (no status looked at)",
       [] {
         TrustFixture();
         Strict({"inter", "signer"});
       },
       "expired", false, {6131}},
      {"strict: chain passes", [] {
         TrustFixture();
         Strict({"inter", "root"});
       },
       "signer", true, {6129}},
      {"strict off, trust-point list ignored",
       [] {
         TrustFixture();
         Strict({"inter"});
         SetStrictPolicy(0);
       },
       "signer", true, {6129}},
};

}  // namespace

// Each row runs as a test case of its own, in stores and settings of its own.
class CertPolicyTable : public PolicyTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CertPolicyTable, VerdictAndText) {
  const Row& r = kRows[GetParam()];
  SCOPED_TRACE(r.what);
  r.setup();
  std::string expected;
  for (UINT id : r.text) expected += (expected.empty() ? "" : " ") + Texts({id});
  // A second judgement of the same certificate object, which carries the first one's flags, answers the same.
  CCapicomCertificate c = Cert(r.cert);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round == 1 ? "first judgement" : "second judgement");
    Verdict v = Validate(c);
    EXPECT_EQ(v.ok, r.ok);
    EXPECT_EQ(v.message, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, CertPolicyTable, ::testing::Range<size_t>(0, std::size(kRows)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string name;
                           for (const char* p = kRows[info.param].what; *p; ++p)
                             if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                           return name;
                         });

TEST_F(CertPolicyVerdicts, CheckFlagsFollowTheSettings) {
  TrustFixture();
  struct Row {
    DWORD online, offline, signature, time, root;
    LONG flags;
  };
  const Row rows[] = {
      {0, 1, 1, 1, 1, 0x1F7},  // the defaults
      {1, 1, 1, 1, 1, 0x1EF},  // online wins over offline
      {1, 0, 0, 0, 0, 0x1EF},
      {0, 0, 0, 0, 0, 0x1E0},
      {0, 0, 1, 0, 1, 0x1E5},
  };
  for (const Row& r : rows) {
    CCertificateManagerSettings s;
    s.Load();
    s.ONLINE_CRL_VERIFY = r.online;
    s.OFFLINE_CRL_VERIFY = r.offline;
    s.SIGNATURE_VERIFY = r.signature;
    s.TIME_VERIFY = r.time;
    s.TRUSTED_ROOT_VERIFY = r.root;
    s.Save();
    Verdict v = Validate(Cert("signer"));
    EXPECT_EQ(v.checkFlags, r.flags) << std::hex << r.flags;
    EXPECT_TRUE(v.ok) << v.message;
  }
}

TEST_F(CertPolicyVerdicts, AnEngineFailureAcceptsNothing) {
  TrustFixture();
  CCapicomCertificate blank;  // an engine certificate that holds none
  CBstrString message;
  bool ok = true;
  CCertPolicy().ValidateCertificate(blank, message, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(TextOf(message), Texts({6129, 6130}));

  // Under the strict policy the chain build's failure is told first.
  SetStrictPolicy(1);
  ok = true;
  CCertPolicy().ValidateCertificate(blank, message, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(TextOf(message), Texts({6100}));

  // The short form leaves the same message.
  CBstrString shortMessage;
  CCertPolicy().ValidateCertificate(blank, shortMessage);
  EXPECT_EQ(TextOf(shortMessage), Texts({6100}));
}

// A digital ID the user made for itself (self-signed, key usage without certificate signing) is an untrusted
// root until the user puts it into Trusted Roots; from then on it is trusted for itself, whatever its key usage.
TEST_F(CertPolicyVerdicts, ASelfSignedDigitalIdIsTrustedForItselfOnceInTrustedRoots) {
  const std::string dir = MakeTempDir("own-id");
  ASSERT_EQ(kxtest::Run("openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Own ID' -addext "
                "keyUsage=critical,digitalSignature,keyEncipherment -addext basicConstraints=critical,CA:FALSE "
                "-keyout " + dir + "/own.key -outform DER -out " + dir + "/own.cer 2>&1"),
            0);
  const std::string der = ReadFile(dir + "/own.cer");
  Verdict untrusted = Validate(CertOf(der));
  EXPECT_FALSE(untrusted.ok);
  EXPECT_EQ(untrusted.message, Texts({6107}));
  AddToStore("Root", der);
  Verdict trusted = Validate(CertOf(der));
  EXPECT_TRUE(trusted.ok);
  EXPECT_EQ(trusted.message, Texts({6129}));
}

// With online checking, a list fetched from the certificate's distribution point (served on 127.0.0.1) decides:
// a good certificate passes, one the list names is revoked, and the server was asked; offline it is not asked.
TEST_F(CertPolicyVerdicts, OnlineCheckingFetchesTheListFromItsDistributionPoint) {
  const std::string dir = MakeTempDir("online-crl");
  WriteFile(dir + "/inter.crl", ReadFile(pki::Crl("inter")));
  LocalServer server;
  std::string error;
  ASSERT_TRUE(server.Start(SourceDir() + "/tests/certmgr/crl_server.py", {dir, dir + "/requests.log"}, &error))
      << error;
  AddCert("Root", "root");
  AddCert("CA", "inter");
  AddCrl("Root", "root");
  auto issue = [&](const std::string& name, const std::string& serial) {
    WriteFile(dir + "/" + name + ".ext", "keyUsage=critical,keyEncipherment\ncrlDistributionPoints=URI:" +
                                             server.Url("/inter.crl") + "\n");
    std::string out;
    EXPECT_EQ(kxtest::Run("(cd '" + dir + "' && openssl req -new -newkey rsa:2048 -nodes -subj /CN=" + name + " -keyout " +
                      name + ".key -out " + name + ".csr && openssl x509 -req -in " + name + ".csr -CA '" +
                      pki::Pem("inter") + "' -CAkey '" + pki::Key("inter") + "' -set_serial " + serial +
                      " -days 30 -extfile " + name + ".ext -outform DER -out " + name + ".cer) 2>&1",
                  &out),
              0)
        << out;
    return CertOf(ReadFile(dir + "/" + name + ".cer"));
  };
  const CCapicomCertificate goodId = issue("good", "0x51");
  // Offline (the default): the intermediate's list is in no store, nothing is fetched, nothing is accepted.
  Verdict offline = Validate(goodId);
  EXPECT_FALSE(offline.ok);
  EXPECT_EQ(ReadFile(dir + "/requests.log"), "");
  CCertificateManagerSettings settings;
  settings.Load();
  settings.ONLINE_CRL_VERIFY = 1;
  settings.Save();
  Verdict good = Validate(goodId);
  EXPECT_TRUE(good.ok) << good.message;
  Verdict revoked = Validate(issue("revoked", "0x1321436587A9CBED13"));
  EXPECT_FALSE(revoked.ok);
  EXPECT_EQ(revoked.message, Texts({6104}));
  EXPECT_NE(ReadFile(dir + "/requests.log").find("/inter.crl"), std::string::npos);
}
