// The single checks of the strict trust policy, called directly as the chain report does.
#include "engine/CapicomChain.h"
#include "engine/CertPolicy.h"
#include "policy/policy_test.h"

using namespace kxtest;

namespace {

class StrictChecks : public PolicyTest {
 protected:
  void SetUp() override {
    PolicyTest::SetUp();
    SetStrictPolicy(1);
    m_dir = MakeTempDir("certs");
  }
  CCapicomCertificate Made(const std::string& name, const std::string& subject,
                           std::initializer_list<const char*> extensions) {
    return CertOf(MakeCert(m_dir, name, subject, extensions));
  }
  std::string m_dir;
  CCertPolicy m_policy;
  CCapicomChain m_unused{kx::engine::kEmpty};
};

constexpr const char* kCa = "basicConstraints=critical,CA:TRUE";

}  // namespace

TEST_F(StrictChecks, PathLength) {
  CCapicomCertificate inter = Cert("inter");  // path length 0
  CCapicomCertificate one = Made("one", "/CN=Path One", {"basicConstraints=critical,CA:TRUE,pathlen:1"});
  CCapicomCertificate none = Made("none", "/CN=No Constraint", {kCa});
  struct Row {
    const char* what;
    const CCapicomCertificate& cert;
    LONG depth, position;
    bool ok;
  };
  const Row rows[] = {
      {"position 1 always passes", inter, 5, 1, true},
      {"constraint 1 at position 4 of 6", one, 5, 4, false},
      {"constraint 1 at position 3 of 6", one, 5, 3, true},
      {"constraint 0 right above the certificate", inter, 2, 2, true},
      {"constraint 0 with one authority below", inter, 3, 3, false},
      {"constraint covers the whole chain", one, 2, 2, true},
      {"no path length constraint", none, 5, 5, true},
  };
  const std::string failure = Texts({6171, 6173, 6174});
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    CBstrString message("untouched");
    EXPECT_EQ(m_policy.CheckPathLength(r.cert, r.depth, r.position, m_unused, message), r.ok);
    EXPECT_EQ(TextOf(message), r.position == 1 ? "untouched" : failure);
  }
  // The policy switched off passes everything.
  SetStrictPolicy(0);
  CBstrString message;
  EXPECT_TRUE(m_policy.CheckPathLength(one, 5, 4, m_unused, message));
}

TEST_F(StrictChecks, AuthorityKeyUsageAndBasicConstraints) {
  struct Row {
    const char* what;
    CCapicomCertificate cert;
    bool keyUsageOk;
    UINT keyUsageText;
    bool authority;
  };
  const Row rows[] = {
      {"root: certificates and lists", Cert("root"), true, 6136, true},
      {"no list signing", Made("nocrl", "/CN=No CRL Sign", {kCa, "keyUsage=critical,keyCertSign"}), false, 6136, true},
      {"no certificate signing", Made("nocert", "/CN=No Cert Sign", {kCa, "keyUsage=critical,cRLSign"}), false, 6137,
       true},
      {"no key usage", Made("noku", "/CN=No Key Usage", {kCa}), false, 6136, true},
      {"not an authority", Made("leaf", "/CN=Leaf", {"basicConstraints=CA:FALSE", "keyUsage=keyCertSign,cRLSign"}),
       false, 6136, false},
      {"no basic constraints", Cert("signer"), false, 6136, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    CBstrString message;
    EXPECT_EQ(m_policy.CheckCaKeyUsage(r.cert, message), r.keyUsageOk);
    EXPECT_EQ(TextOf(message), Texts({r.keyUsageText}));
    EXPECT_EQ(m_policy.CheckBasicConstraints(r.cert, message), r.authority);
    EXPECT_EQ(TextOf(message), Texts({6171, 6172}));
  }
}

TEST_F(StrictChecks, PolicyConstraints) {
  struct Row {
    const char* what;
    const char* constraint;
    LONG depth;
    bool ok;
  };
  const Row rows[] = {
      {"explicit policy within fewer certificates than the chain", "requireExplicitPolicy:1", 3, false},
      {"explicit policy at the chain's depth", "requireExplicitPolicy:2", 2, true},
      {"explicit policy at once", "requireExplicitPolicy:0", 3, true},
      {"a value over one byte", "requireExplicitPolicy:300", 5, true},
      {"only policy mapping inhibited", "inhibitPolicyMapping:1", 3, true},
  };
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string ext = std::string("policyConstraints=") + r.constraint;
    CCapicomCertificate ca = Made("pc" + std::to_string(n++), "/CN=Policy CA", {kCa, ext.c_str()});
    CBstrString message;
    EXPECT_EQ(m_policy.CheckChainPolicy(ca, r.depth, message), r.ok);
    std::string text = TextOf(message);
    if (r.ok) {
      EXPECT_EQ(text, "Certificate in the chain has policy processing error");
    } else {
      std::string lead = Texts({5124});
      EXPECT_EQ(text.substr(0, lead.find("%1")), lead.substr(0, lead.find("%1")));
      EXPECT_NE(text.find("Require Explicit Policy:1"), std::string::npos) << text;
    }
  }
}

TEST_F(StrictChecks, ChainNamesIgnoreLetterCase) {
  // An issuer name written in other letter case than its authority's subject still links (openssl builds the
  // chain on the same rule).
  MakeCert(m_dir, "names", "/O=Policy Tests/CN=Names CA", {kCa, "keyUsage=critical,keyCertSign,cRLSign"});
  WriteFile(m_dir + "/twin.ext", "basicConstraints=critical,CA:TRUE\nsubjectKeyIdentifier=hash\n");
  std::string d = "'" + m_dir + "/";
  ASSERT_EQ(kxtest::Run("cp " + d + "names.key' " + d + "twin.key' && openssl req -new -key " + d +
                        "names.key' -subj '/O=POLICY tests/CN=names ca' -config " + d + "min.cnf' -out " + d +
                        "twin.csr' && openssl x509 -req -in " + d + "twin.csr' -signkey " + d +
                        "names.key' -days 30 -extfile " + d + "twin.ext' -out " + d + "twin.pem' 2>/dev/null"),
            0);
  std::string end = MakeCert(m_dir, "end", "/CN=Names End", {"basicConstraints=CA:FALSE"}, "twin");
  ASSERT_EQ(kxtest::Run("openssl verify -CAfile " + d + "names.pem' " + d + "end.pem' >/dev/null"), 0);
  AddToStore("Root", ReadFile(m_dir + "/names.der"));

  CCapicomCertificate leaf = CertOf(end);
  CCapicomChain chain;
  chain.Build(leaf);
  ASSERT_EQ(chain.GetCertificates().GetCount(), 2);
  CBstrString message;
  EXPECT_TRUE(m_policy.CheckChainNames(chain, message));
  EXPECT_EQ(TextOf(message), Texts({6135}));
  EXPECT_FALSE(m_policy.CheckChainNames(m_unused, message));  // an empty chain
  EXPECT_EQ(TextOf(message), Texts({6134}));
}

TEST_F(StrictChecks, TrustPointsWithThePolicyOff) {
  SetStrictPolicy(0);
  CBstrString message;
  EXPECT_TRUE(m_policy.IsTrustPoint(Cert("signer"), message));
  EXPECT_EQ(TextOf(message), Texts({6131}));
  message = CBstrString("untouched");
  EXPECT_FALSE(m_policy.CheckTopTrustPoint(m_unused, message));  // an empty chain
  EXPECT_EQ(TextOf(message), "untouched");
}
