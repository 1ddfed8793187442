// Stores on disk: folders per location and name, stable order, the user's view of the machine's roots, keys.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/pem.h>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/fsutil.h"
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

std::shared_ptr<CertStore> Open(long loc, const std::string& name, long mode = CAPICOM_STORE_OPEN_READ_WRITE) {
  std::shared_ptr<CertStore> s;
  EXPECT_EQ(CertStore::Open(loc, name, mode, s), S_OK) << name;
  return s;
}

std::vector<std::string> Thumbs(const CertStore& s) {
  std::vector<std::string> t;
  for (const StoreEntry& e : s.Entries()) t.push_back(e.cert->thumbprint());
  return t;
}

StoreEntry Entry(const std::string& name) {
  StoreEntry e;
  e.cert = Load(name);
  return e;
}

}  // namespace

TEST(CapicomCoreStore, OrderIsStableAndNamesIgnoreCase) {
  auto my = Open(CAPICOM_CURRENT_USER_STORE, "My");
  for (const char* n : {"signer", "encrypt", "revoked"}) ASSERT_EQ(my->Add(Entry(n)), S_OK);
  // Adding one again keeps its place.
  ASSERT_EQ(my->Add(Entry("signer")), S_OK);
  std::vector<std::string> expect = {Load("signer")->thumbprint(), Load("encrypt")->thumbprint(),
                                     Load("revoked")->thumbprint()};
  EXPECT_EQ(Thumbs(*Open(CAPICOM_CURRENT_USER_STORE, "MY", CAPICOM_STORE_OPEN_READ_ONLY)), expect);

  ASSERT_EQ(my->Remove(expect[1]), S_OK);
  EXPECT_EQ(my->Remove(expect[1]), CRYPT_E_NOT_FOUND);
  ASSERT_EQ(my->Add(Entry("encrypt")), S_OK);
  EXPECT_EQ(Thumbs(*Open(CAPICOM_CURRENT_USER_STORE, "my")),
            (std::vector<std::string>{expect[0], expect[2], expect[1]}));

  // On disk: one lower-case folder with the DER files and the index.
  std::string folder = kxtest::Root() + "/user/certstores/my";
  EXPECT_EQ(kxtest::ReadFile(folder + "/certs/" + expect[0] + ".der"), pki::DerBytes("signer"));
  EXPECT_EQ(kxtest::ReadFile(folder + "/index"), expect[0] + "\n" + expect[2] + "\n" + expect[1] + "\n");
  EXPECT_EQ(StoreFolder(CAPICOM_CURRENT_USER_STORE, "AddressBook"), kxtest::Root() + "/user/certstores/addressbook");
}

TEST(CapicomCoreStore, OpenRulesAndBadNames) {
  std::shared_ptr<CertStore> s;
  for (const char* bad : {"", "..", "a/b", "a\\b", "x\ny"})
    EXPECT_EQ(CertStore::Open(CAPICOM_CURRENT_USER_STORE, bad, 1, s), E_INVALIDARG) << bad;
  EXPECT_EQ(CertStore::Open(CAPICOM_CURRENT_USER_STORE, "My", 3, s), CAPICOM_E_STORE_INVALID_OPEN_MODE);
  EXPECT_EQ(CertStore::Open(CAPICOM_ACTIVE_DIRECTORY_USER_STORE, "CN=*", 0, s), CAPICOM_HR_NO_SUCH_DOMAIN);
  EXPECT_EQ(CertStore::Open(9, "My", 0, s), E_INVALIDARG);

  // A store opened read-only refuses changes; a store never written lists nothing.
  auto ro = Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY);
  EXPECT_TRUE(ro->Entries().empty());
  EXPECT_EQ(ro->Add(Entry("encrypt")), E_ACCESSDENIED);
  EXPECT_EQ(ro->Remove(Load("encrypt")->thumbprint()), E_ACCESSDENIED);

  // Memory stores live in the process only, each open a fresh one.
  auto m1 = Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary");
  ASSERT_EQ(m1->Add(Entry("root")), S_OK);
  EXPECT_EQ(m1->Entries().size(), 1u);
  EXPECT_TRUE(Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary")->Entries().empty());
  EXPECT_FALSE(kx::capi::FileExists(kxtest::Root() + "/user/certstores/kxce_temporary"));
}

TEST(CapicomCoreStore, UserRootViewShowsMachineRootsButCannotRemoveThem) {
  auto machineRoot = Open(CAPICOM_LOCAL_MACHINE_STORE, "Root");
  ASSERT_EQ(machineRoot->Add(Entry("root")), S_OK);
  auto userRoot = Open(CAPICOM_CURRENT_USER_STORE, "Root");
  ASSERT_EQ(userRoot->Add(Entry("inter")), S_OK);
  // The user's own first, then the machine's.
  EXPECT_EQ(Thumbs(*userRoot), (std::vector<std::string>{Load("inter")->thumbprint(), Load("root")->thumbprint()}));
  EXPECT_EQ(userRoot->Remove(Load("root")->thumbprint()), E_ACCESSDENIED);
  EXPECT_EQ(Thumbs(*machineRoot), std::vector<std::string>{Load("root")->thumbprint()});
  EXPECT_EQ(userRoot->Remove(Load("inter")->thumbprint()), S_OK);
  // "Ca" is the same view for intermediates; "My" is not shared.
  ASSERT_EQ(Open(CAPICOM_LOCAL_MACHINE_STORE, "CA")->Add(Entry("inter")), S_OK);
  EXPECT_EQ(Open(CAPICOM_CURRENT_USER_STORE, "Ca")->Entries().size(), 1u);
  ASSERT_EQ(Open(CAPICOM_LOCAL_MACHINE_STORE, "My")->Add(Entry("signer")), S_OK);
  EXPECT_TRUE(Open(CAPICOM_CURRENT_USER_STORE, "My")->Entries().empty());
}

TEST(CapicomCoreStore, KeysAreOwnerOnlyAndLinkedToTheirCertificate) {
  std::string keyPem = kxtest::ReadFile(pki::Key("signer"));
  BioPtr bio = MemBio(keyPem.data(), keyPem.size());
  PKeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  ASSERT_TRUE(key);
  CertRef cert = Load("signer");
  EXPECT_TRUE(KeyMatches(key.get(), *cert));
  EXPECT_FALSE(KeyMatches(key.get(), *Load("encrypt")));

  KeyLink link;
  link.container = ContainerNameFor(*cert);
  link.exportable = true;
  ASSERT_EQ(SaveKey(key.get(), link), S_OK);
  struct stat st {};
  ASSERT_EQ(::stat((KeyDir(false) + "/" + link.container + ".key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  StoreEntry e;
  e.cert = cert;
  e.key = link;
  auto my = Open(CAPICOM_CURRENT_USER_STORE, "My");
  ASSERT_EQ(my->Add(e), S_OK);
  std::vector<StoreEntry> entries = Open(CAPICOM_CURRENT_USER_STORE, "My")->Entries();
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_TRUE(entries[0].key);
  EXPECT_TRUE(entries[0].key->exportable);
  PKeyPtr back = LoadKey(*entries[0].key);
  EXPECT_TRUE(KeyMatches(back.get(), *cert));

  // Archived certificates are hidden unless asked for.
  entries[0].archived = true;
  ASSERT_EQ(WriteEntryProperties(entries[0]), S_OK);
  EXPECT_TRUE(my->Entries().empty());
  EXPECT_EQ(my->Entries(true).size(), 1u);

  EXPECT_FALSE(ValidContainerName("../x"));
  KeyLink bad;
  bad.container = "../../etc/x";
  EXPECT_EQ(SaveKey(key.get(), bad), E_INVALIDARG);
  EXPECT_FALSE(LoadKey(bad));
}

TEST(CapicomCoreStore, RevocationListsOnePerIssuer) {
  auto ca = Open(CAPICOM_CURRENT_USER_STORE, "CA");
  auto read = [](const std::string& path) {
    std::string b = kxtest::ReadFile(path);
    return CrlData::Parse(reinterpret_cast<const uint8_t*>(b.data()), b.size());
  };
  ASSERT_EQ(ca->AddCrl(read(pki::Crl("inter-expired"))), S_OK);
  ASSERT_EQ(ca->AddCrl(read(pki::Crl("root"))), S_OK);
  ASSERT_EQ(ca->AddCrl(read(pki::CrlPem("inter"))), S_OK);  // replaces the older list of the same issuer
  std::vector<CrlRef> crls = Open(CAPICOM_CURRENT_USER_STORE, "ca", 0)->Crls();
  ASSERT_EQ(crls.size(), 2u);
  std::string inter = kxtest::ReadFile(pki::Crl("inter"));
  bool found = false;
  for (const CrlRef& c : crls) found = found || c->der() == Bytes(inter.begin(), inter.end());
  EXPECT_TRUE(found);
}

// A user who may not write the machine's stores: read-write opening is refused, maximum-allowed opens read-only.
TEST(CapicomCoreStore, MachineStoreWithoutWriteAccess) {
  auto machineRoot = Open(CAPICOM_LOCAL_MACHINE_STORE, "Root");
  ASSERT_EQ(machineRoot->Add(Entry("root")), S_OK);
  std::string thumb = Load("root")->thumbprint();
  auto check = [&]() -> int {
    std::shared_ptr<CertStore> s;
    if (CertStore::Open(CAPICOM_LOCAL_MACHINE_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE, s) != E_ACCESSDENIED) return 1;
    if (CertStore::Open(CAPICOM_LOCAL_MACHINE_STORE, "Root", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED, s) != S_OK) return 2;
    if (!s->readOnly() || s->Entries().size() != 1) return 3;
    if (s->Remove(thumb) != E_ACCESSDENIED) return 4;
    return 0;
  };
  std::string base = kxtest::Root() + "/machine/certstores";
  if (::getuid() != 0) {
    ::chmod(base.c_str(), 0555);
    ::chmod((base + "/root").c_str(), 0555);
    EXPECT_EQ(check(), 0);
    ::chmod((base + "/root").c_str(), 0755);
    ::chmod(base.c_str(), 0755);
    return;
  }
  // As root: the check runs in a child under an unprivileged user.
  ::chmod(kxtest::Root().c_str(), 0755);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(9);
    ::_exit(check());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
