// Finding a certificate by e-mail address in the user's stores, and the texts of trust results.
#include "directory/slapd.h"
#include "engine/CertPolicy.h"
#include "policy/policy_test.h"
#include "support/pki.h"

using namespace kxtest;

namespace {

class MailLookup : public PolicyTest {
 protected:
  void SetUp() override {
    PolicyTest::SetUp();
    std::string dir = MakeTempDir("certs");
    m_second = MakeCert(dir, "alice2", "/CN=Alice Second/emailAddress=alice@example.com",
                        {"subjectAltName=email:alice@example.com"});
    AddCert("My", "root");  // no e-mail name
    AddCert("My", "signer");
    AddToStore("My", m_second);
    AddCert("AddressBook", "encrypt");
  }
  std::string Thumbprint(const CCapicomCertificate& c) { return TextOf(c.GetThumbprint()); }

  std::string m_second;
  CCertPolicy m_policy;
};

}  // namespace

TEST_F(MailLookup, PersonalStoreInStoreOrderOrTheReference) {
  const std::string signer = Thumbprint(Cert("signer"));
  const std::string second = Thumbprint(CertOf(m_second));
  CCapicomCertificate secondRef = CertOf(m_second);
  CCapicomCertificate bob = Cert("encrypt");
  struct Row {
    const char* what;
    const char* address;
    const CCapicomCertificate* reference;
    std::string found;  // empty: none
  };
  const Row rows[] = {
      {"first of two in store order", "alice@example.com", nullptr, signer},
      {"the one equal to the reference", "alice@example.com", &secondRef, second},
      {"letter case ignored", "ALICE@Example.COM", nullptr, signer},
      {"reference not among the matches", "alice@example.com", &bob, ""},
      {"only in the address book", "bob@example.com", nullptr, ""},
      {"empty address never matches", "", nullptr, ""},
      {"no address", nullptr, nullptr, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    CCapicomCertificate out = Cert("tsa");
    out.SetTag(7);
    bool found = m_policy.FindCertificateByMail(r.address, true, out, /*directory*/ true, r.reference);
    EXPECT_EQ(found, !r.found.empty());
    EXPECT_EQ(Thumbprint(out), found ? r.found : Thumbprint(Cert("tsa")));
    if (!found) { EXPECT_EQ(out.GetTag(), 7); }
  }
}

TEST_F(MailLookup, AddressBookAndTheDirectoryPath) {
  CCapicomCertificate alice = Cert("signer");
  for (bool directory : {false, true}) {
    SCOPED_TRACE(directory ? "directory, then the address book" : "address book");
    CCapicomCertificate out(kx::engine::kEmpty);
    // The reference is not looked at outside the personal store.
    EXPECT_TRUE(m_policy.FindCertificateByMail("Bob@example.com", false, out, directory, &alice));
    EXPECT_EQ(Thumbprint(out), Thumbprint(Cert("encrypt")));
    EXPECT_FALSE(m_policy.FindCertificateByMail("alice@example.com", false, out, directory, nullptr));
    // Filter characters in the address are the address's own.
    EXPECT_FALSE(m_policy.FindCertificateByMail("*)(mail=*", false, out, directory, nullptr));
  }
}

TEST_F(MailLookup, TheDirectoryIsAskedWithTheAddressAsItStands) {
  Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error)) << error;
  ASSERT_TRUE(slapd.Add(Slapd::Person("Dave Revoked", "dave@example.com", {pki::DerBytes("revoked")}) +
                        Slapd::Person("Carol Expired", "carol@example.com", {pki::DerBytes("expired")})));
  CSettingsStore settings(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(settings.WriteInt("CertificateManager", "ENABLE_LDAP_SEARCH", 1));
  ASSERT_TRUE(settings.WriteString("CertificateManager", "LAST_LDAP_URL", slapd.Url("/dc=test")));
  TrustFixture();

  CCapicomCertificate out(kx::engine::kEmpty);
  EXPECT_FALSE(m_policy.FindCertificateByMail("dave@example.com", false, out, false, nullptr));
  ASSERT_TRUE(m_policy.FindCertificateByMail("Dave@Example.com", false, out, true, nullptr));
  EXPECT_EQ(Thumbprint(out), Thumbprint(Cert("revoked")));
  // An address that would match everyone if it were pasted into the filter as it is.
  CCapicomCertificate none(kx::engine::kEmpty);
  EXPECT_FALSE(m_policy.FindCertificateByMail("*)(mail=*", false, none, true, nullptr));
  EXPECT_FALSE(m_policy.FindCertificateByMail("*", false, none, true, nullptr));
  // An address with filter characters of its own is found as it is written.
  const std::string odd = MakeCert(MakeTempDir("odd"), "odd", "/CN=Mallory/emailAddress=m*)(x@example.com", {});
  ASSERT_TRUE(slapd.Add(Slapd::Person("Mallory", "m*)(x@example.com", {odd})));
  EXPECT_TRUE(m_policy.FindCertificateByMail("m*)(x@example.com", false, none, true, nullptr));
  EXPECT_FALSE(m_policy.FindCertificateByMail("m*", false, none, true, nullptr));

  // What the directory gave is judged as the same certificate from a store on disk.
  for (const char* name : {"revoked", "expired"}) {
    CCapicomCertificate fromDirectory(kx::engine::kEmpty);
    ASSERT_TRUE(m_policy.FindCertificateByMail(std::string(name) == "revoked" ? "dave@example.com" : "carol@example.com",
                                               false, fromDirectory, true, nullptr));
    CBstrString directoryMessage, diskMessage;
    bool directoryOk = true, diskOk = true;
    m_policy.ValidateCertificate(fromDirectory, directoryMessage, directoryOk);
    m_policy.ValidateCertificate(Cert(name), diskMessage, diskOk);
    EXPECT_FALSE(directoryOk) << name;
    EXPECT_EQ(directoryOk, diskOk) << name;
    EXPECT_EQ(TextOf(directoryMessage), TextOf(diskMessage)) << name;
  }
}

TEST(TrustErrorTexts, KnownCodesAndTheGaps) {
  struct Row {
    uint32_t code;
    std::vector<UINT> text;  // empty: not a trust code
  };
  const Row rows[] = {
      {0x800B0001, {6138}}, {0x800B0004, {6141}}, {0x800B000B, {6148}},       {0x800B000C, {}},
      {0x800B00FF, {}},     {0x800B0100, {6149}}, {0x800B0109, {6158}},       {0x800B0113, {6168}},
      {0x800B0114, {6169, 6170}},                 {0x800B0115, {}},           {0x80092010, {}},
      {0x00000000, {}},
  };
  for (const Row& r : rows) {
    CString text("stale");
    bool known = CCertPolicy().GetTrustErrorText(static_cast<HRESULT>(r.code), text);
    EXPECT_EQ(known, !r.text.empty()) << std::hex << r.code;
    std::string expected;
    for (UINT id : r.text) expected += (expected.empty() ? "" : " ") + Texts({id});
    EXPECT_EQ(std::string(text), expected) << std::hex << r.code;
  }
}
