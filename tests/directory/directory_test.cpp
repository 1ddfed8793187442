// The directory client against a real slapd: what the engine's directory store finds by e-mail, with filters
// that carry metacharacters, over ldap://, StartTLS and ldaps:// with trusted and untrusted servers, within
// size and time limits, with a bind password that is kept sealed; ldap:// revocation lists judged as
// `openssl verify -crl_check` judges them; and the address book's window for an LDAP address.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>

#include "directory/slapd.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/chain.h"
#include "platform/capicom/core/store.h"
#include "platform/ldap/ldap.h"
#include "platform/services/offthread.h"
#include "platform/services/wab.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/driver.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"
#include "platform/win32/stateroot.h"
#include "services/local_server.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace {

using kx::ldap::Status;
using kxtest::Slapd;
namespace pki = kxtest::pki;

constexpr char kKey[] = "Software\\Kesmora\\OfficeTolvex\\CertificateManager";

void SetValue(const char* name, const std::string& text) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
  RegSetValueEx(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
  RegCloseKey(h);
}

void SetNumber(const char* name, DWORD value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
  RegSetValueEx(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(h);
}

// The directory the LDAP page names.
void UseDirectory(const std::string& url) {
  SetNumber("ENABLE_LDAP_SEARCH", 1);
  SetValue("LAST_LDAP_URL", url);
}

void TrustTestRoot() {
  std::shared_ptr<kx::capi::CertStore> root;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE, root), S_OK);
  kx::capi::StoreEntry e;
  e.cert = kx::capi::CertData::Parse(reinterpret_cast<const uint8_t*>(pki::DerBytes("root").data()),
                                     pki::DerBytes("root").size());
  ASSERT_TRUE(e.cert);
  ASSERT_EQ(root->Add(e), S_OK);
}

std::vector<std::string> Found(const std::string& storeName, HRESULT* hr = nullptr) {
  std::vector<std::string> ders;
  HRESULT r = kx::ldap::FindDirectoryCertificates(storeName, ders);
  if (hr) *hr = r;
  return ders;
}

class Directory : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(m_slapd.Start(&error)) << error;
    ASSERT_TRUE(m_slapd.Add(Slapd::Person("Alice Signer", "alice@example.com", {pki::DerBytes("signer")}) +
                                Slapd::Person("Bob Encryption", "bob@example.com",
                                              {pki::DerBytes("encrypt"), pki::DerBytes("wrongusage")}) +
                                Slapd::Person("Nobody Certified", "plain@example.com", {}),
                            &error))
        << error;
  }
  Slapd m_slapd;
};

TEST_F(Directory, FindsTheCertificatesOfAnAddress) {
  UseDirectory(m_slapd.Url("/dc=test"));
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Found("mail=alice@example.com", &hr), std::vector<std::string>{pki::DerBytes("signer")});
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(Found("mail=BOB@example.com"),
            (std::vector<std::string>{pki::DerBytes("encrypt"), pki::DerBytes("wrongusage")}));
  // An entry without certificates and an unknown address find nothing, and that is no error.
  EXPECT_TRUE(Found("mail=plain@example.com", &hr).empty());
  EXPECT_EQ(hr, S_OK);
  EXPECT_TRUE(Found("mail=nobody@example.com", &hr).empty());
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(Found("CN=*").size(), 3u);

  // The engine's store: what was found, read-only.
  std::shared_ptr<kx::capi::CertStore> store;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_ACTIVE_DIRECTORY_USER_STORE, "mail=bob@example.com",
                                      CAPICOM_STORE_OPEN_READ_ONLY, store),
            S_OK);
  auto entries = store->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(store->readOnly());
  EXPECT_EQ(store->Remove(entries[0].cert->thumbprint()), E_ACCESSDENIED);
}

// The connections slapd accepted after a point of its log.
size_t Accepted(const std::string& log, size_t from = 0) {
  size_t n = 0;
  for (size_t i = log.find(" ACCEPT from ", from); i != std::string::npos; i = log.find(" ACCEPT from ", i + 1)) ++n;
  return n;
}

TEST_F(Directory, ReadsCertificatesInEveryFormTheServerSends) {
  // userSMIMECertificate has no ";binary" form in OpenLDAP; it may hold a certificate or a PKCS#7 bundle.
  const std::string dir = kxtest::MakeTempDir("p7");
  kxtest::WriteFile(dir + "/a.der", pki::DerBytes("signer"));
  kxtest::WriteFile(dir + "/b.der", pki::DerBytes("encrypt"));
  std::string out;
  ASSERT_EQ(kxtest::Run("cd '" + dir + "' && openssl x509 -inform DER -in a.der -out a.pem && "
                            "openssl x509 -inform DER -in b.der -out b.pem && "
                            "openssl crl2pkcs7 -nocrl -certfile a.pem -certfile b.pem -outform DER -out p7.der 2>&1",
                        &out),
            0)
      << out;
  const std::string bundle = kxtest::ReadFile(dir + "/p7.der");
  auto entry = [](const std::string& cn, const std::string& mail, const std::string& attribute,
                  const std::string& value, const std::string& classes) {
    return "dn: cn=" + cn + "," + Slapd::kPeople + "\nobjectClass: inetOrgPerson\n" + classes + "cn: " + cn +
           "\nsn: " + cn + "\nmail: " + mail + "\n" + attribute + ":: " + Slapd::Base64(value) + "\n\n";
  };
  ASSERT_TRUE(m_slapd.Add(entry("Smime Only", "smime@example.com", "userSMIMECertificate", pki::DerBytes("expired"), "") +
                          entry("Smime Bundle", "bundle@example.com", "userSMIMECertificate", bundle, "") +
                          entry("Some CA", "ca@example.com", "cACertificate;binary", pki::DerBytes("root"),
                                "objectClass: pkiCA\n")));
  UseDirectory(m_slapd.Url("/dc=test"));
  struct Case {
    std::string mail;
    std::vector<std::string> ders;
  } cases[] = {{"smime@example.com", {pki::DerBytes("expired")}},
               {"bundle@example.com", {pki::DerBytes("signer"), pki::DerBytes("encrypt")}},
               {"ca@example.com", {pki::DerBytes("root")}},
               {"alice@example.com", {pki::DerBytes("signer")}}};
  for (const Case& c : cases) {
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Found("mail=" + c.mail, &hr), c.ders) << c.mail;
    EXPECT_EQ(hr, S_OK) << c.mail << ": " << kx::ldap::LastDirectoryMessage();
  }
}

TEST_F(Directory, MetacharactersInAnAddressAreTakenLiterally) {
  // An address that would widen the filter if it were pasted in as it is.
  ASSERT_TRUE(m_slapd.Add(Slapd::Person("Mallory", "m*)(uid=*@example.com", {pki::DerBytes("revoked")})));
  UseDirectory(m_slapd.Url("/dc=test"));
  using kx::ldap::EscapeFilterValue;
  HRESULT hr = E_FAIL;
  EXPECT_TRUE(Found("mail=" + EscapeFilterValue("*)(uid=*"), &hr).empty());
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(Found("mail=" + EscapeFilterValue("m*)(uid=*@example.com")),
            std::vector<std::string>{pki::DerBytes("revoked")});
  EXPECT_TRUE(Found("mail=" + EscapeFilterValue("alice*")).empty());
  // A store name cannot add terms to the filter: its parentheses are the value's own.
  EXPECT_TRUE(Found("mail=nobody)(objectClass=*", &hr).empty());
  EXPECT_EQ(hr, S_OK);
  EXPECT_TRUE(Found("mail=x\\").empty());  // a lone backslash, taken literally
  EXPECT_EQ(Found("mail=*").size(), 4u);  // the wildcard of a filter value: anyone with an address
  EXPECT_EQ(Found("bad attribute)=x", &hr).size(), 0u);
  EXPECT_EQ(hr, E_INVALIDARG);

  struct Case {
    std::string in, out;
  } cases[] = {{"a*b", "a\\2ab"}, {"(x)", "\\28x\\29"}, {"back\\slash", "back\\5cslash"},
               {std::string("nul\0x", 5), "nul\\00x"}, {"plain@example.com", "plain@example.com"}};
  for (const Case& c : cases) EXPECT_EQ(kx::ldap::EscapeFilterValue(c.in), c.out) << c.in;
}

TEST_F(Directory, SaysWhyNothingCouldBeSearched) {
  HRESULT hr = S_OK;
  // Nothing set anywhere (the LDAP page's address counts only while its switch is on).
  SetValue("LAST_LDAP_URL", m_slapd.Url("/dc=test"));
  EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty());
  EXPECT_EQ(hr, CAPICOM_HR_NO_SUCH_DOMAIN);
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::NotConfigured);
  std::shared_ptr<kx::capi::CertStore> store;
  EXPECT_EQ(kx::capi::CertStore::Open(CAPICOM_ACTIVE_DIRECTORY_USER_STORE, "CN=*", 0, store), CAPICOM_HR_NO_SUCH_DOMAIN);

  // A server that is not there.
  UseDirectory("ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/dc=test");
  EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty());
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(8250));
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::Unreachable);
  EXPECT_NE(kx::ldap::LastDirectoryMessage().find("127.0.0.1"), std::string::npos);

  // A server that stops answering: the search ends at the time limit.
  UseDirectory(m_slapd.Url("/dc=test"));
  SetNumber("LDAP_TIME_LIMIT", 1);
  m_slapd.Pause();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty());
  const auto took = std::chrono::steady_clock::now() - start;
  m_slapd.Resume();
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(1460));
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::TimedOut);
  EXPECT_LT(took, std::chrono::seconds(60));  // ended, not hung
  // Once it answers again, it is searched again.
  EXPECT_EQ(Found("mail=alice@example.com").size(), 1u);
}

TEST_F(Directory, ASizeLimitKeepsWhatCame) {
  std::string ldif;
  for (int i = 0; i < 6; ++i)
    ldif += Slapd::Person("Person " + std::to_string(i), "p" + std::to_string(i) + "@example.com",
                          {pki::DerBytes("expired")});
  ASSERT_TRUE(m_slapd.Add(ldif));
  UseDirectory(m_slapd.Url("/ou=People,dc=test"));
  SetNumber("LDAP_SIZE_LIMIT", 4);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Found("(cn=Person*)", &hr).size(), 4u);  // one certificate each
  EXPECT_EQ(hr, S_OK);
  kx::ldap::Server server;
  ASSERT_TRUE(kx::ldap::ConfiguredServer(server));
  kx::ldap::Result r = kx::ldap::Search(server, server.base, 2, "(cn=Person*)", {"cn"});
  EXPECT_EQ(r.status, Status::Ok);
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(r.entries.size(), 4u);
}

// ---- servers that send more than asked ----

// Resident memory in KiB: now, or the peak since ResetPeak.
long Resident(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}
bool ResetPeak() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return out.good();
}

TEST(DirectoryLimits, AServerThatSendsTooMuchIsCutOffAndWhatCameIsKept) {
  // What one search may make this process hold beyond the byte limit itself: the one message libldap reads
  // at a time (at most 16 MiB), its buffers and the containers around the entries.
  constexpr long kBoundKiB = 64 * 1024;
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int sizeLimit;
    size_t byteLimit;
    kx::ldap::Limit limit;
    size_t fewest, most;  // entries kept
  } cases[] = {
      {"a flood of entries, the size limit", {"flood"}, 1000, 16u << 20, kx::ldap::Limit::Size, 1000, 1000},
      // Tiny entries count with what holding them costs, not only their bytes.
      {"a flood of entries, no size limit", {"flood"}, 0, 1u << 20, kx::ldap::Limit::Bytes, 2000, 30000},
      {"values of 1 MiB", {"huge", "1048576"}, 1000, 16u << 20, kx::ldap::Limit::Bytes, 8, 15},
      {"one value over what a message may hold", {"huge", "20971520"}, 1000, 16u << 20, kx::ldap::Limit::Bytes, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kxtest::LocalServer server;
    std::string error;
    ASSERT_TRUE(server.Start(kxtest::SourceDir() + "/tests/directory/hostile_ldap.py", c.args, &error)) << error;
    kx::ldap::Server s;
    s.uri = "ldap://127.0.0.1:" + std::to_string(server.port());
    s.sizeLimit = c.sizeLimit;
    s.byteLimit = c.byteLimit;
    s.timeLimitSeconds = 120;  // the limits end it, not the clock
    const long before = Resident("VmRSS:");
    const bool peak = ResetPeak();
    kx::ldap::Result r = kx::ldap::Search(s, "dc=test", 2, "(cn=*)", {});
    const long after = Resident(peak ? "VmHWM:" : "VmRSS:");
    EXPECT_EQ(r.status, Status::Ok) << r.message;
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.limit, c.limit);
    EXPECT_GE(r.entries.size(), c.fewest);
    EXPECT_LE(r.entries.size(), c.most);
    for (size_t i = 0; i < r.entries.size(); ++i)
      if (r.entries[i].dn != "cn=p" + std::to_string(i) + ",dc=test") {
        ADD_FAILURE() << "entry " << i << " is " << r.entries[i].dn;
        break;
      }
    EXPECT_LT(after - before, kBoundKiB) << "resident KiB before " << before << ", at most " << after;
    if (getenv("KX_DIRECTORY_VERBOSE"))
      printf("%s: %zu entries, resident KiB %ld -> %ld\n", c.name, r.entries.size(), before, after);
    EXPECT_NE(kx::ldap::LimitText(r, s).find(std::to_string(r.entries.size()) + " entries"), std::string::npos)
        << kx::ldap::LimitText(r, s);
  }
}

TEST_F(Directory, ABindPasswordIsNeverSentWithoutTls) {
  SetValue("LDAP_BIND_NAME", "cn=admin,dc=test");
  ASSERT_TRUE(kx::ldap::SaveBindPassword("secret"));
  TrustTestRoot();
  const size_t before = m_slapd.Log().size();
  UseDirectory(m_slapd.Url("/dc=test"));
  HRESULT hr = S_OK;
  EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty());
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::NotProtected);
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(8232));
  EXPECT_NE(kx::ldap::LastDirectoryMessage().find("use an ldaps:// address or StartTLS"), std::string::npos)
      << kx::ldap::LastDirectoryMessage();
  // Refused before anything was sent: the server saw no connection at all.
  EXPECT_EQ(Accepted(m_slapd.Log(), before), 0u) << m_slapd.Log().substr(before);

  // Over StartTLS and ldaps:// the same bind goes through; without a bind name plain ldap:// is fine.
  for (const std::string& url : {m_slapd.Url("/dc=test????StartTLS"), m_slapd.LdapsUrl("/dc=test")}) {
    UseDirectory(url);
    EXPECT_EQ(Found("mail=alice@example.com").size(), 1u) << url << ": " << kx::ldap::LastDirectoryMessage();
  }
  EXPECT_NE(m_slapd.Log().find("BIND dn=\"cn=admin,dc=test\" method=128"), std::string::npos);
  SetValue("LDAP_BIND_NAME", "");
  UseDirectory(m_slapd.Url("/dc=test"));
  EXPECT_EQ(Found("mail=alice@example.com").size(), 1u) << kx::ldap::LastDirectoryMessage();
}

TEST_F(Directory, BindsWithASealedPassword) {
  TrustTestRoot();
  UseDirectory(m_slapd.Url("/dc=test????StartTLS"));
  SetValue("LDAP_BIND_NAME", "cn=admin,dc=test");
  ASSERT_TRUE(kx::ldap::SaveBindPassword("secret"));
  kx::ldap::Server server;
  ASSERT_TRUE(kx::ldap::ConfiguredServer(server));
  EXPECT_EQ(server.password, "secret");
  EXPECT_EQ(Found("mail=alice@example.com").size(), 1u);
  // The registry holds no plain password.
  std::string out;
  kxtest::Run("grep -r -l -a secret '" + kx::UserStateDir() + "' || true", &out);
  EXPECT_EQ(out, "");

  ASSERT_TRUE(kx::ldap::SaveBindPassword("wrong"));
  HRESULT hr = S_OK;
  EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty());
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::BindFailed);
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(1326));

  // A password that can no longer be unsealed (another key, then none) is no reason to search anonymously.
  ASSERT_TRUE(kx::ldap::SaveBindPassword("secret"));
  const std::string key = kx::UserStateDir() + "/directory.key";
  for (const char* damage : {"another key", "no key"}) {
    if (std::string(damage) == "no key") ASSERT_EQ(::unlink(key.c_str()), 0);
    else kxtest::WriteFile(key, std::string(32, 'k'));
    EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty()) << damage;
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(1326)) << damage;
    EXPECT_NE(kx::ldap::LastDirectoryMessage().find("the saved bind password cannot be read"), std::string::npos)
        << kx::ldap::LastDirectoryMessage();
  }
}

// The names in a folder that start with a prefix.
std::vector<std::string> Named(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Directory, WritesThatFailLeaveNoTemporariesBehind) {
  TrustTestRoot();
  UseDirectory(m_slapd.LdapsUrl("/dc=test"));
  ASSERT_EQ(Found("mail=alice@example.com").size(), 1u) << kx::ldap::LastDirectoryMessage();
  // A child that can write no more than 16 bytes into any file: the key (32 bytes) and the roots file for
  // libldap (a PEM certificate) are cut short.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit most{16, 16};
    setrlimit(RLIMIT_FSIZE, &most);
    int faults = 0;
    if (kx::ldap::SaveBindPassword("secret")) faults |= 1;
    std::vector<std::string> ders;
    if (SUCCEEDED(kx::ldap::FindDirectoryCertificates("mail=alice@example.com", ders)) && !ders.empty()) faults |= 2;
    _exit(faults);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Named(kx::UserStateDir(), "directory.key"), std::vector<std::string>{});
  EXPECT_EQ(Named(kx::TempDir(), "kxldaproots-"), std::vector<std::string>{});

  // Several first starts at once: one key, which every one of them uses, and no temporary left.
  for (int round = 0; round < 4; ++round) {
    ::unlink((kx::UserStateDir() + "/directory.key").c_str());
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 6; ++i) {
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        char c;
        close(go[1]);
        if (read(go[0], &c, 1) != 0) _exit(3);
        kx::ldap::Server server;
        _exit(kx::ldap::SaveBindPassword("secret") && kx::ldap::ConfiguredServer(server) &&
                      server.password == "secret"
                  ? 0
                  : 1);
      }
      children.push_back(child);
    }
    close(go[0]);
    close(go[1]);  // all start together
    for (pid_t child : children) {
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << ": " << status;
    }
    EXPECT_EQ(Named(kx::UserStateDir(), "directory.key"), std::vector<std::string>{"directory.key"});
    kx::ldap::Server server;
    ASSERT_TRUE(kx::ldap::ConfiguredServer(server));
    EXPECT_EQ(server.password, "secret");
  }
}

TEST_F(Directory, TlsServersAreCheckedAgainstTheTrustedRoots) {
  // Before the test root is trusted, the server's certificate is not.
  UseDirectory(m_slapd.LdapsUrl("/dc=test"));
  HRESULT hr = S_OK;
  EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty());
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::Untrusted) << kx::ldap::LastDirectoryMessage();
  EXPECT_NE(kx::ldap::LastDirectoryMessage().find("not trusted"), std::string::npos);

  TrustTestRoot();
  EXPECT_EQ(Found("mail=alice@example.com", &hr).size(), 1u) << kx::ldap::LastDirectoryMessage();
  UseDirectory(m_slapd.Url("/dc=test????StartTLS"));
  EXPECT_EQ(Found("mail=alice@example.com", &hr).size(), 1u) << kx::ldap::LastDirectoryMessage();
}

TEST(DirectoryTls, AServerWithAnUntrustedCertificateIsRefused) {
  TrustTestRoot();
  Slapd slapd;
  std::string error;
  ASSERT_TRUE(slapd.Start(&error, true)) << error;
  ASSERT_TRUE(slapd.Add(Slapd::Person("Alice Signer", "alice@example.com", {pki::DerBytes("signer")})));
  for (const std::string& url : {slapd.LdapsUrl("/dc=test"), slapd.Url("/dc=test????StartTLS")}) {
    UseDirectory(url);
    HRESULT hr = S_OK;
    EXPECT_TRUE(Found("mail=alice@example.com", &hr).empty()) << url;
    EXPECT_EQ(hr, kx::ldap::StatusResult(Status::Untrusted)) << url;
    EXPECT_NE(kx::ldap::LastDirectoryMessage().find("is not trusted"), std::string::npos)
        << kx::ldap::LastDirectoryMessage();
  }
  // Plain ldap:// to the same server is not TLS and works.
  UseDirectory(slapd.Url("/dc=test"));
  EXPECT_EQ(Found("mail=alice@example.com").size(), 1u);
}

TEST(DirectoryUrl, ParsesLdapAddresses) {
  kx::ldap::Url u;
  ASSERT_TRUE(kx::ldap::ParseUrl("ldap://dir.example.com:3890/ou=People,dc=test?cn,mail?sub?(mail=a%2ab)", u));
  EXPECT_EQ(u.ServerUri(), "ldap://dir.example.com:3890");
  EXPECT_EQ(u.dn, "ou=People,dc=test");
  EXPECT_EQ(u.attributes, (std::vector<std::string>{"cn", "mail"}));
  EXPECT_EQ(u.scope, 2);
  EXPECT_EQ(u.filter, "(mail=a*b)");
  EXPECT_FALSE(u.startTls);
  ASSERT_TRUE(kx::ldap::ParseUrl("LDAPS://127.0.0.1/dc=test", u));
  EXPECT_EQ(u.scheme, "ldaps");
  EXPECT_EQ(u.scope, 0);  // base, as RFC 4516 says
  ASSERT_TRUE(kx::ldap::ParseUrl("ldap://127.0.0.1/dc=test???" "?!StartTLS", u));
  EXPECT_TRUE(u.startTls);
  for (const char* bad : {"http://127.0.0.1/", "ldap://127.0.0.1/dc=test?cn?nowhere", "not a url", ""})
    EXPECT_FALSE(kx::ldap::ParseUrl(bad, u)) << bad;
}

// ---- ldap:// revocation lists ----

TEST_F(Directory, AnLdapDistributionPointRevokes) {
  const std::string dir = kxtest::MakeTempDir("ca");
  const std::string point = m_slapd.Url("/cn=Test%20CRL,dc=test?certificateRevocationList;binary");
  // openssl's extension syntax takes a comma as the end of a name: written as %2c, which LDAP URLs allow.
  auto comma = [](std::string s) {
    for (size_t i; (i = s.find(',')) != std::string::npos;) s.replace(i, 1, "%2c");
    return s;
  };
  kxtest::WriteFile(dir + "/ca.cnf",
                    "[ca]\ndefault_ca = own\n[own]\ndatabase = " + dir + "/index.txt\ncrlnumber = " + dir +
                        "/crlnumber\ndefault_md = sha256\ndefault_crl_days = 30\n");
  kxtest::WriteFile(dir + "/index.txt", "");
  kxtest::WriteFile(dir + "/crlnumber", "01\n");
  kxtest::WriteFile(dir + "/leaf.ext", "crlDistributionPoints=URI:" + comma(point) + "\nbasicConstraints=CA:FALSE\n");
  const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
  std::string out;
  ASSERT_EQ(kxtest::Run("cd '" + dir + "' && openssl req -x509 " + ec +
                            "-keyout ca.key -subj '/CN=Directory CRL CA' -days 30 "
                            "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign "
                            "-out ca.pem && openssl req -new " + ec +
                            "-keyout leaf.key -subj '/CN=Listed Leaf' -out leaf.csr && "
                            "openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 0x4242 -days 20 "
                            "-extfile leaf.ext -out leaf.pem && "
                            "openssl ca -config ca.cnf -keyfile ca.key -cert ca.pem -revoke leaf.pem && "
                            "openssl ca -config ca.cnf -keyfile ca.key -cert ca.pem -gencrl -out crl.pem && "
                            "openssl crl -in crl.pem -outform DER -out crl.der && "
                            "openssl x509 -in leaf.pem -outform DER -out leaf.der && "
                            "openssl x509 -in ca.pem -outform DER -out ca.der 2>&1",
                        &out),
            0)
      << out;
  const std::string crl = kxtest::ReadFile(dir + "/crl.der");
  ASSERT_TRUE(m_slapd.Add("dn: cn=Test CRL,dc=test\nobjectClass: cRLDistributionPoint\ncn: Test CRL\n"
                          "certificateRevocationList;binary:: " + Slapd::Base64(crl) + "\n"));
  // What openssl says of the same certificate and list.
  kxtest::Run("cd '" + dir + "' && openssl verify -crl_check -CAfile ca.pem -CRLfile crl.pem leaf.pem 2>&1", &out);
  ASSERT_NE(out.find("certificate revoked"), std::string::npos) << out;

  EXPECT_EQ(kx::ldap::FetchCrl(point, 5), crl);
  auto parse = [&](const std::string& name) {
    std::string der = kxtest::ReadFile(dir + "/" + name);
    return kx::capi::CertData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
  };
  kx::capi::TrustSources sources;
  sources.roots.push_back(parse("ca.der"));
  kx::capi::ChainParams params;
  params.checkFlags = CAPICOM_CHECK_TRUSTED_ROOT | CAPICOM_CHECK_TIME_VALIDITY | CAPICOM_CHECK_SIGNATURE_VALIDITY |
                      CAPICOM_CHECK_ONLINE_REVOCATION_STATUS;
  params.urlRetrievalTimeout = 5;
  kx::capi::ChainResult r = kx::capi::BuildChain(parse("leaf.der"), params, sources);
  ASSERT_FALSE(r.status.empty());
  EXPECT_TRUE(r.status[0] & CAPICOM_TRUST_IS_REVOKED) << std::hex << r.status[0];
  EXPECT_FALSE(r.valid);
  EXPECT_EQ(r.error, CRYPT_E_REVOKED);

  // A point without a host is on the directory the user has, and on none while there is none.
  const std::string hostless = "ldap:///cn=Test%20CRL,dc=test?certificateRevocationList;binary";
  std::string why;
  EXPECT_EQ(kx::ldap::FetchCrl(hostless, 5, &why), "");
  EXPECT_EQ(why, "no directory server is configured");
  UseDirectory(m_slapd.Url("/dc=test"));
  EXPECT_EQ(kx::ldap::FetchCrl(hostless, 5, &why), crl) << why;

  // A point whose entry holds no list, and one on a server that is gone.
  EXPECT_EQ(kx::ldap::FetchCrl(m_slapd.Url("/ou=People,dc=test?certificateRevocationList;binary"), 5), "");
  why.clear();
  EXPECT_EQ(kx::ldap::FetchCrl("ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/cn=x,dc=test", 5, &why),
            "");
  EXPECT_FALSE(why.empty());
}

// ---- the address book's LDAP addresses ----

HRESULT OpenUrlWithBook(const std::string& url, std::vector<std::vector<std::string>>* rows,
                        std::string* cut = nullptr) {
  HMODULE wab = LoadLibrary("WAB32.DLL");
  auto open = reinterpret_cast<HRESULT (*)(IAddrBook**, IWABObject**, WAB_PARAM*, DWORD)>(GetProcAddress(wab, "WABOpen"));
  IAddrBook* book = nullptr;
  IWABObject* object = nullptr;
  if (!open || open(&book, &object, nullptr, 0) != S_OK) return E_UNEXPECTED;
  HRESULT hr = E_FAIL;
  kx::RunWithUiHere(
      [&] {
        hr = object->LDAPUrl(book, nullptr, 0x486, const_cast<char*>(url.c_str()), nullptr);
        return INT_PTR(0);
      },
      [&](kx::UiDriver& d) {
        if (!rows) return;
        HWND window = d.WaitForTitle("Directory Entries - " + url);
        HWND list = d.ControlByClass(window, "SysListView32");
        kx::ControlDriver c(d);
        for (int i = 0; i < c.ListRowCount(list); ++i)
          rows->push_back({c.ListText(list, i, 0), c.ListText(list, i, 1), c.ListText(list, i, 2)});
        if (cut) *cut = GetDlgItem(window, 401) ? d.Text(GetDlgItem(window, 401)) : "";
        d.Click(d.ControlByText(window, "Close"));
        d.WaitForGone(window);
      });
  book->Release();
  object->Release();
  return hr;
}

TEST_F(Directory, TheAddressBookShowsWhatAnAddressFinds) {
  std::vector<std::vector<std::string>> rows;
  EXPECT_EQ(OpenUrlWithBook(m_slapd.Url("/ou=People,dc=test??one?(mail=*example.com)"), &rows), S_OK);
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"Alice Signer", "alice@example.com", "1"},
                                                         {"Bob Encryption", "bob@example.com", "2"},
                                                         {"Nobody Certified", "plain@example.com", "None"}}));
  // One entry by its name (a base search, as an address without a scope asks).
  rows.clear();
  EXPECT_EQ(OpenUrlWithBook(m_slapd.Url("/cn=Alice%20Signer,ou=People,dc=test"), &rows), S_OK);
  EXPECT_EQ(rows.size(), 1u);

  EXPECT_EQ(OpenUrlWithBook(m_slapd.Url("/ou=People,dc=test??sub?(mail=nobody@example.com)"), nullptr),
            MAPI_E_NOT_FOUND);
  EXPECT_EQ(OpenUrlWithBook("ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/dc=test", nullptr),
            MAPI_E_NETWORK_ERROR);
  EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::Unreachable);
  EXPECT_EQ(OpenUrlWithBook("ldap://", nullptr), E_INVALIDARG);  // no host, and no directory configured

  // Without a host the address is on the configured directory; a result cut short says so.
  UseDirectory(m_slapd.Url("/dc=test"));
  SetNumber("LDAP_SIZE_LIMIT", 2);
  rows.clear();
  std::string cut;
  EXPECT_EQ(OpenUrlWithBook("ldap:///ou=People,dc=test??one?(mail=*example.com)", &rows, &cut), S_OK);
  EXPECT_EQ(rows.size(), 2u);
  EXPECT_EQ(cut, "Only part of the result is listed: the directory holds more than the 2 entries listed (its size "
                 "limit).");
  rows.clear();
  EXPECT_EQ(OpenUrlWithBook("ldap:///cn=Alice%20Signer,ou=People,dc=test", &rows, &cut), S_OK);
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_EQ(cut, "");
  EXPECT_EQ(OpenUrlWithBook(m_slapd.Url("/dc=test??sub?(mail=unclosed"), nullptr), E_INVALIDARG);
}

// A server that takes connections on loopback and never says a word; closed with the object.
class SilentListener {
 public:
  SilentListener() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 8) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
      ADD_FAILURE() << "no listener: " << strerror(errno);
    m_port = ntohs(a.sin_port);
  }
  ~SilentListener() {
    for (int c : m_clients) ::close(c);
    if (m_fd >= 0) ::close(m_fd);
  }
  std::string Url(const char* scheme, const std::string& rest) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port) + rest;
  }
  // Waits for the next client and for its first message (a TLS hello, a StartTLS or search request): then the
  // client waits for an answer that never comes. The connection stays open.
  bool AwaitRequest() {
    const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return false;
    m_clients.push_back(c);
    char first[1];
    return ::recv(c, first, 1, 0) == 1;
  }

 private:
  int m_fd = -1, m_port = 0;
  std::vector<int> m_clients;
};

// Each step of a search waits on a silent server until the user stops it: the connection, the TLS handshake of
// ldaps://, the StartTLS request, the bind and the search itself. The time limit is long: only the cancel can
// end the search in time.
TEST(DirectorySilent, EveryStepEndsWhenCancelled) {
  TrustTestRoot();  // else TLS is refused before any connection
  auto openFiles = [] {
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
      while (readdir(d)) ++n;
      closedir(d);
    }
    return n;
  };
  SetNumber("LDAP_TIME_LIMIT", 300);  // the registry's files open, to count only the connections below
  const size_t filesBefore = openFiles();
  struct Case {
    const char* name;
    const char* scheme;
    bool startTls;
    const char* bindName;
  } cases[] = {
      {"TLS handshake", "ldaps", false, ""},
      {"StartTLS", "ldap", true, ""},
      {"bind", "ldap", false, "cn=reader,dc=test"},
      {"search", "ldap", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SilentListener server;
    UseDirectory(server.Url(c.scheme, "/dc=test"));
    SetNumber("LDAP_START_TLS", c.startTls ? 1 : 0);
    SetNumber("LDAP_TIME_LIMIT", 300);
    SetValue("LDAP_BIND_NAME", c.bindName);
    std::atomic<bool> cancel{false};
    auto search = std::async(std::launch::async, [&] { return kx::ldap::SearchAhead("mail=a@example.com", &cancel); });
    ASSERT_TRUE(server.AwaitRequest());
    const auto stopped = std::chrono::steady_clock::now();
    cancel = true;
    const kx::ldap::Answer answer = search.get();
    EXPECT_EQ(answer.status, Status::Cancelled) << answer.message;
    EXPECT_EQ(answer.result, HRESULT_FROM_WIN32(1223));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(120));
  }
  EXPECT_EQ(openFiles(), filesBefore);  // each connection closed with its search
  SetValue("LDAP_BIND_NAME", "");
  SetNumber("LDAP_START_TLS", 0);

  // Not cancelled, a silent TLS server ends at the time limit like any other silent server.
  SilentListener server;
  UseDirectory(server.Url("ldaps", "/dc=test"));
  SetNumber("LDAP_TIME_LIMIT", 1);
  std::atomic<bool> cancel{false};
  const kx::ldap::Answer answer = kx::ldap::SearchAhead("mail=a@example.com", &cancel);
  EXPECT_EQ(answer.status, Status::TimedOut) << answer.message;
  EXPECT_NE(answer.message.find("did not answer within 1 seconds"), std::string::npos) << answer.message;
}

// The window of a search on a server that does not answer: once while the search itself waits (a stopped
// slapd), once while StartTLS waits (a silent listener).
TEST_F(Directory, ASilentServerLeavesTheWindowAnsweringAndStopEndsTheSearch) {
  SilentListener silent;
  for (bool startTls : {false, true}) {
    SCOPED_TRACE(startTls ? "StartTLS" : "search");
    const std::string server = startTls ? silent.Url("ldap", "") : m_slapd.Url();
    UseDirectory(server + "/dc=test");
    SetNumber("LDAP_START_TLS", startTls ? 1 : 0);
    SetNumber("LDAP_TIME_LIMIT", 300);  // only Stop can end it in time
    if (startTls) TrustTestRoot();
    else m_slapd.Pause();
    HMODULE wab = LoadLibrary("WAB32.DLL");
    auto open =
        reinterpret_cast<HRESULT (*)(IAddrBook**, IWABObject**, WAB_PARAM*, DWORD)>(GetProcAddress(wab, "WABOpen"));
    IAddrBook* book = nullptr;
    IWABObject* object = nullptr;
    ASSERT_TRUE(open && open(&book, &object, nullptr, 0) == S_OK);
    HRESULT hr = E_FAIL;
    std::chrono::steady_clock::time_point stopped, returned;
    kx::RunWithUiHere(
        [&] {
          hr = object->LDAPUrl(book, nullptr, 0x486, const_cast<char*>("ldap:///ou=People,dc=test??one?(mail=*)"),
                               nullptr);
          returned = std::chrono::steady_clock::now();
          return INT_PTR(0);
        },
        [&](kx::UiDriver& d) {
          HWND wait = d.WaitForTitle(kx::kOffThreadCaption);
          EXPECT_NE(d.Text(d.Control(wait, kx::kOffThreadText)).find("Searching " + server), std::string::npos);
          if (startTls) {
            EXPECT_TRUE(silent.AwaitRequest());  // the StartTLS request is out, and unanswered
          }
          // The window's thread takes input and answers while the search waits on the server.
          d.Sync(wait);
          EXPECT_GT(d.Send(wait, WM_GETTEXTLENGTH), 0);
          d.PressKey(VK_TAB);
          d.Sync(wait);
          stopped = std::chrono::steady_clock::now();
          d.Click(d.ControlByText(wait, "&Stop"));
          d.WaitForGone(wait);
        });
    if (!startTls) m_slapd.Resume();
    EXPECT_EQ(hr, MAPI_E_USER_CANCEL);
    EXPECT_EQ(kx::ldap::LastDirectoryStatus(), Status::Cancelled);
    // Well inside the time limit, however busy the machine: the Stop ended it, not the clock.
    EXPECT_LT(returned - stopped, std::chrono::seconds(120));
    book->Release();
    object->Release();
  }
  SetNumber("LDAP_START_TLS", 0);
}

}  // namespace

// ---- ldap.conf defaults ----

// Run by Directory.LdapConfFillsWhatIsNotSet in a process of its own, since libldap reads ldap.conf once.
TEST(DirectoryConf, ChildReadsLdapConf) {
  const char* expected = getenv("KX_DIRECTORY_CONF_URI");
  if (!expected) GTEST_SKIP() << "run by LdapConfFillsWhatIsNotSet";
  // The test programs keep the machine's ldap.conf out; this child is to read the one it is given.
  unsetenv("LDAPNOINIT");
  kx::ldap::Server server;
  HRESULT hr = E_FAIL;
  if (std::string(getenv("KX_DIRECTORY_CONF_SWITCH")) == "off") {
    // The LDAP search switch never set, then set off: no directory at all, and the bind name goes nowhere.
    SetValue("LDAP_BIND_NAME", "cn=admin,dc=test");
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) SetNumber("ENABLE_LDAP_SEARCH", 0);
      EXPECT_FALSE(kx::ldap::ConfiguredServer(server));
      EXPECT_TRUE(Found("CN=*", &hr).empty());
      EXPECT_EQ(hr, CAPICOM_HR_NO_SUCH_DOMAIN);
      EXPECT_EQ(kx::ldap::FetchCrl("ldap:///cn=Test%20CRL,dc=test", 5), "");
    }
    return;
  }
  // Switched on with no host in the page's address: ldap.conf names the server.
  UseDirectory("ldap://");
  ASSERT_TRUE(kx::ldap::ConfiguredServer(server));
  EXPECT_EQ(server.uri, expected);
  EXPECT_EQ(server.base, "ou=People,dc=test");
  EXPECT_EQ(server.sizeLimit, 1);
  EXPECT_EQ(server.timeLimitSeconds, 7);
  EXPECT_FALSE(Found("CN=*", &hr).empty());
  EXPECT_EQ(hr, S_OK);
  // The LDAP page's address, with a host, comes first.
  UseDirectory("ldap://127.0.0.2:1/dc=other");
  ASSERT_TRUE(kx::ldap::ConfiguredServer(server));
  EXPECT_EQ(server.uri, "ldap://127.0.0.2:1");
  EXPECT_EQ(server.base, "dc=other");
}

TEST_F(Directory, LdapConfFillsWhatIsNotSet) {
  const std::string conf = kxtest::MakeTempDir("conf") + "/ldap.conf";
  kxtest::WriteFile(conf, "# the environment's defaults\nURI " + m_slapd.Url() +
                              "\nBASE ou=People,dc=test\nSIZELIMIT 1\nTIMELIMIT 7\n");
  for (const char* on : {"off", "on"}) {
    const size_t before = m_slapd.Log().size();
    std::string out;
    int rc = kxtest::Run("LDAPCONF='" + conf + "' KX_DIRECTORY_CONF_URI='" + m_slapd.Url() +
                             "' KX_DIRECTORY_CONF_SWITCH=" + on + " /proc/" + std::to_string(getpid()) +
                             "/exe --gtest_filter=DirectoryConf.ChildReadsLdapConf 2>&1",
                         &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
    // Switched off, the server named in ldap.conf saw nothing: no connection, so no bind name either.
    if (std::string(on) == "off") { EXPECT_EQ(Accepted(m_slapd.Log(), before), 0u) << m_slapd.Log().substr(before); }
    else { EXPECT_GT(Accepted(m_slapd.Log(), before), 0u); }
  }
}
