#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "support/testroot.h"

namespace {

std::string Child() { return kxtest::BuildDir() + "/bin/kx_win32_child"; }

HKEY Create(HKEY root, const char* path, REGSAM sam = KEY_ALL_ACCESS) {
  HKEY k = nullptr;
  EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, sam, nullptr, &k, nullptr), 0) << path;
  return k;
}

void SetString(HKEY k, const char* name, const std::string& v) {
  ASSERT_EQ(RegSetValueEx(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), static_cast<DWORD>(v.size() + 1)), 0);
}

std::string GetString(HKEY k, const char* name, LONG* status = nullptr) {
  char buf[512] = {};
  DWORD size = sizeof buf, type = 0;
  LONG r = RegQueryValueEx(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  if (status) *status = r;
  return r == 0 ? std::string(buf) : std::string();
}

class AdminOverride {
 public:
  explicit AdminOverride(int v) { kx::SetAdministratorForTests(v); }
  ~AdminOverride() { kx::SetAdministratorForTests(-1); }
};

TEST(Registry, KeysAndValueNamesIgnoreCaseButKeepIt) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Config");
  SetString(k, "ShowFinishPage", "1");
  SetString(k, "SHOWFINISHPAGE", "2");  // the same value
  RegCloseKey(k);

  HKEY o = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\kesmora\\officetolvex\\CONFIG", 0, KEY_READ, &o), 0);
  EXPECT_EQ(GetString(o, "showfinishpage"), "2");
  char name[64];
  DWORD n = sizeof name;
  ASSERT_EQ(RegEnumValue(o, 0, name, &n, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STREQ(name, "ShowFinishPage");
  n = sizeof name;
  EXPECT_EQ(RegEnumValue(o, 1, name, &n, nullptr, nullptr, nullptr, nullptr), static_cast<LONG>(ERROR_NO_MORE_ITEMS));
  RegCloseKey(o);

  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\KESMORA", 0, KEY_READ, &parent), 0);
  n = sizeof name;
  ASSERT_EQ(RegEnumKeyEx(parent, 0, name, &n, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STREQ(name, "OfficeTolvex");
  EXPECT_EQ(n, 12u);
  RegCloseKey(parent);
}

TEST(Registry, ResultCodesAsThePlatformGivesThem) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Codes");
  SetString(k, "Text", "hello");
  DWORD d = 0xFFFFFFFF;
  ASSERT_EQ(RegSetValueEx(k, "Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4), 0);
  const char multi[] = "a\0bc\0";
  ASSERT_EQ(RegSetValueEx(k, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi), 0);

  DWORD type = 0, size = 0;
  // Missing value and missing key: 2.
  EXPECT_EQ(RegQueryValueEx(k, "Nope", nullptr, &type, nullptr, &size), 2);
  HKEY missing = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Nope", 0, KEY_READ, &missing), 2);
  EXPECT_EQ(missing, nullptr);
  // A null buffer asks for the size.
  EXPECT_EQ(RegQueryValueEx(k, "Text", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // A short buffer: 234 and the size needed; the exact size is enough.
  char buf[6] = {};
  size = 5;
  EXPECT_EQ(RegQueryValueEx(k, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), 234);
  EXPECT_EQ(size, 6u);
  size = 6;
  EXPECT_EQ(RegQueryValueEx(k, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), 0);
  EXPECT_STREQ(buf, "hello");
  // Types survive.
  DWORD out = 0;
  size = 4;
  EXPECT_EQ(RegQueryValueEx(k, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&out), &size), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(out, 0xFFFFFFFFu);
  char m[16];
  size = sizeof m;
  EXPECT_EQ(RegQueryValueEx(k, "Multi", nullptr, &type, reinterpret_cast<BYTE*>(m), &size), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(std::string(m, size), std::string(multi, sizeof multi));
  // Deleting a missing value: 2.
  EXPECT_EQ(RegDeleteValue(k, "Nope"), 2);
  EXPECT_EQ(RegDeleteValue(k, "text"), 0);
  EXPECT_EQ(RegQueryValueEx(k, "Text", nullptr, nullptr, nullptr, nullptr), 2);
  // A handle opened for reading cannot write.
  HKEY ro = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Codes", 0, KEY_READ, &ro), 0);
  EXPECT_EQ(RegSetValueEx(ro, "X", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4), 5);
  RegCloseKey(ro);
  // A key name longer than the buffer during enumeration: 234.
  HKEY sub = Create(k, "AVeryLongSubkeyName");
  RegCloseKey(sub);
  char small[4];
  DWORD n = sizeof small;
  EXPECT_EQ(RegEnumKeyEx(k, 0, small, &n, nullptr, nullptr, nullptr, nullptr), 234);
  RegCloseKey(k);
}

TEST(Registry, DeletingKeys) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Tree\\A\\B");
  SetString(k, "V", "x");
  HKEY a = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Tree\\A", 0, KEY_READ, &a), 0);
  // A key with subkeys is not deleted by RegDeleteKey.
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Kesmora\\Tree"), 5);
  EXPECT_EQ(SHDeleteKey(HKEY_CURRENT_USER, "software\\kesmora\\tree"), 0);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Tree", 0, KEY_READ, &gone), 2);
  // Handles to deleted keys report it.
  EXPECT_EQ(RegSetValueEx(k, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2), static_cast<LONG>(ERROR_KEY_DELETED));
  DWORD subkeys = 9;
  EXPECT_EQ(RegQueryInfoKey(a, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr),
            static_cast<LONG>(ERROR_KEY_DELETED));
  RegCloseKey(k);
  RegCloseKey(a);
  EXPECT_EQ(SHDeleteKey(HKEY_CURRENT_USER, "Software\\Kesmora\\Tree"), 2);
}

TEST(Registry, DefaultValueAndRegQueryValue) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Classes\\Thing");
  char buf[64];
  LONG size = sizeof buf;
  // A key without a default value reads as empty text.
  EXPECT_EQ(RegQueryValue(HKEY_CURRENT_USER, "Software\\Classes\\Thing", buf, &size), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(RegSetValue(k, "", REG_SZ, "default text", 0), 0);
  size = sizeof buf;
  EXPECT_EQ(RegQueryValue(HKEY_CURRENT_USER, "Software\\Classes\\Thing", buf, &size), 0);
  EXPECT_STREQ(buf, "default text");
  EXPECT_EQ(size, 13);
  EXPECT_EQ(GetString(k, nullptr), "default text");
  RegCloseKey(k);
}

// The one reader of a value: each kind of value against the string and number readings, absent ones taking the
// default.
TEST(Registry, OneValueReadWithADefault) {
  const char* path = "Software\\Kesmora\\ReaderTable";
  HKEY k = Create(HKEY_CURRENT_USER, path);
  auto set = [&](const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueEx(k, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())), 0);
  };
  set("text", REG_SZ, std::string("plain\0", 6));
  set("unterminated", REG_SZ, "no end");
  set("inner", REG_SZ, std::string("before\0after\0", 13));
  set("expand", REG_EXPAND_SZ, std::string("%HOME%/x\0", 9));
  set("number", REG_DWORD, std::string("\x2a\x00\x00\x01", 4));
  set("short", REG_DWORD, std::string("\x01\x02\x03", 3));
  set("binary", REG_BINARY, std::string("\x07\x00\x00\x00", 4));
  set("long", REG_SZ, std::string(5000, 'x') + '\0');
  RegCloseKey(k);

  struct Case {
    const char* name;
    const char* text;  // null: not a text
    long number;       // -1: not a number
  } cases[] = {
      {"text", "plain", -1},  {"unterminated", "no end", -1}, {"inner", "before", -1}, {"expand", "%HOME%/x", -1},
      {"number", nullptr, 0x0100002a}, {"short", nullptr, -1}, {"binary", nullptr, -1}, {"missing", nullptr, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kx::RegString(HKEY_CURRENT_USER, path, c.name, "default"), c.text ? c.text : "default");
    EXPECT_EQ(kx::RegDword(HKEY_CURRENT_USER, path, c.name, 7), c.number < 0 ? 7u : DWORD(c.number));
  }
  EXPECT_EQ(kx::RegString(HKEY_CURRENT_USER, path, "long"), std::string(5000, 'x'));
  std::string bytes = "untouched";
  DWORD type = 0;
  EXPECT_FALSE(kx::RegReadValue(HKEY_CURRENT_USER, "Software\\Kesmora\\NoSuchKey", "text", &bytes, &type));
  EXPECT_EQ(bytes, "untouched");
  ASSERT_TRUE(kx::RegReadValue(HKEY_CURRENT_USER, path, "binary", &bytes, &type));
  EXPECT_EQ(bytes, std::string("\x07\x00\x00\x00", 4));
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(SHDeleteKey(HKEY_CURRENT_USER, path), 0);
}

TEST(Registry, WrittenByOneProcessReadByAnother) {
  std::string out;
  ASSERT_EQ(kxtest::Run(Child() + " regset HKCU 'Software\\Kesmora\\Shared' Greeting 'from child'"), 0);
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\kesmora\\shared", 0, KEY_ALL_ACCESS, &k), 0);
  EXPECT_EQ(GetString(k, "GREETING"), "from child");
  SetString(k, "Reply", "from parent");
  RegCloseKey(k);
  EXPECT_EQ(kxtest::Run(Child() + " regget HKCU 'Software\\Kesmora\\Shared' reply", &out), 0);
  EXPECT_EQ(out, "from parent");
  EXPECT_EQ(kxtest::Run(Child() + " regget HKCU 'Software\\Kesmora\\Shared' missing", &out), 2);
}

TEST(Registry, KilledWriterLeavesOldOrNewValueNeverATornOne) {
  const size_t n = 200000;
  std::mt19937 rng(7);
  for (int round = 0; round < 12; ++round) {
    int written[2];
    ASSERT_EQ(pipe2(written, O_CLOEXEC), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(written[0]);
      if (dup2(written[1], STDOUT_FILENO) < 0) _exit(126);
      close(written[1]);
      std::string count = std::to_string(n);
      execl(Child().c_str(), "kx_win32_child", "regloop", "Software\\Kesmora\\Crash", "Blob", count.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(written[1]);
    // The kill comes at a random point of a later write, never before a value was stored.
    char mark = 0;
    ssize_t got;
    while ((got = read(written[0], &mark, 1)) < 0 && errno == EINTR) {
    }
    close(written[0]);
    if (got == 1) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 60));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(got, 1) << "the writer ended before it stored a value";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Crash", 0, KEY_READ, &k), 0);
    std::vector<BYTE> buf(n + 16);
    DWORD size = static_cast<DWORD>(buf.size()), type = 0;
    LONG r = RegQueryValueEx(k, "Blob", nullptr, &type, buf.data(), &size);
    RegCloseKey(k);
    ASSERT_EQ(r, 0);
    ASSERT_TRUE(size == n || size == n + 7) << size;
    BYTE expect = size == n ? 'A' : 'B';
    for (DWORD i = 0; i < size; ++i) ASSERT_EQ(buf[i], expect) << "torn at byte " << i;
  }
}

// The access list the security policy puts on its machine key: Everyone may read, Administrators do all.
TEST(Registry, MachineKeyAccessListIsEnforced) {
  AdminOverride admin(1);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY, nt = SECURITY_NT_AUTHORITY;
  PSID everyone = nullptr, admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                       &admins));
  EXPLICIT_ACCESS ea[2] = {};
  ea[0].grfAccessPermissions = KEY_READ;
  ea[0].grfAccessMode = SET_ACCESS;
  ea[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
  ea[0].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  ea[0].Trustee.ptstrName = static_cast<LPSTR>(everyone);
  ea[1].grfAccessPermissions = KEY_ALL_ACCESS;
  ea[1].grfAccessMode = SET_ACCESS;
  ea[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
  ea[1].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
  ea[1].Trustee.ptstrName = static_cast<LPSTR>(admins);
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAcl(2, ea, nullptr, &acl), 0u);
  std::vector<BYTE> sdBytes(SECURITY_DESCRIPTOR_MIN_LENGTH);
  ASSERT_TRUE(InitializeSecurityDescriptor(sdBytes.data(), SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(sdBytes.data(), TRUE, acl, FALSE));
  SECURITY_ATTRIBUTES sa{sizeof sa, sdBytes.data(), FALSE};
  const char* path = "SOFTWARE\\Kesmora\\OfficeTolvex\\SecurityPolicy";
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, &sa, &k, nullptr), 0);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueEx(k, "SystemProfile", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), 0);
  std::string owner;
  std::vector<kx::AccessEntry> entries;
  ASSERT_EQ(kx::RegGetKeyAccessList(k, &owner, &entries), 0);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].sid, "S-1-1-0");
  EXPECT_EQ(entries[0].mask, static_cast<DWORD>(KEY_READ));
  EXPECT_EQ(entries[1].sid, "S-1-5-32-544");
  EXPECT_EQ(entries[1].mask, static_cast<DWORD>(KEY_ALL_ACCESS));
  EXPECT_EQ(owner, kx::CurrentUserSid());
  RegCloseKey(k);
  LocalFree(acl);
  FreeSid(everyone);
  FreeSid(admins);

  // The same process without administrator rights: reads, but every write is refused.
  kx::SetAdministratorForTests(0);
  HKEY r = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &r), 0);
  DWORD v = 0, size = 4;
  EXPECT_EQ(RegQueryValueEx(r, "SystemProfile", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), 0);
  EXPECT_EQ(v, 1u);
  RegCloseKey(r);
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &r), 5);
  ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, path, &r), 0);  // the most it may have: reading
  EXPECT_EQ(RegSetValueEx(r, "SystemProfile", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), 5);
  RegCloseKey(r);
  HKEY c = nullptr;
  EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, nullptr, 0, KEY_WRITE, nullptr, &c, nullptr), 5);
  EXPECT_EQ(SHDeleteKey(HKEY_LOCAL_MACHINE, path), 5);
}

// A process of another user (not an administrator) reads the machine hive and cannot change it.
TEST(Registry, MachineHiveRefusedForAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start a child as nobody";
  if (kxtest::Run("command -v setpriv") != 0) GTEST_SKIP() << "setpriv missing";
  HKEY k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\VorlindEnrol");
  SetString(k, "Host", "enrol.example");
  RegCloseKey(k);
  chmod(kxtest::Root().c_str(), 0755);
  std::string as = "setpriv --reuid=65534 --regid=65534 --clear-groups " + Child();
  std::string out;
  EXPECT_EQ(kxtest::Run(as + " regget HKLM 'SOFTWARE\\Kesmora\\VorlindEnrol' host", &out), 0) << out;
  EXPECT_EQ(out, "enrol.example");
  EXPECT_EQ(kxtest::Run(as + " regset HKLM 'SOFTWARE\\Kesmora\\VorlindEnrol' Host evil"), 5);
  EXPECT_EQ(kxtest::Run(as + " regcreate HKLM 'SOFTWARE\\Kesmora\\New'"), 5);
  k = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\VorlindEnrol", 0, KEY_READ, &k), 0);
  EXPECT_EQ(GetString(k, "Host"), "enrol.example");
  RegCloseKey(k);
}

TEST(Registry, EachStateRootHasItsOwnHives) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Moved");
  RegCloseKey(k);
  std::string other = kxtest::MakeTempDir("otherroot");
  std::string old = kxtest::Root();
  setenv("KESMORA_ROOT", other.c_str(), 1);
  kx::NotifyStateRootChanged();
  HKEY o = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Moved", 0, KEY_READ, &o), 2);
  // A fresh user hive knows the documents folder.
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                         KEY_READ, &o),
            0);
  EXPECT_EQ(GetString(o, "Personal"), kx::DocumentsDir());
  RegCloseKey(o);
  struct stat st;
  ASSERT_EQ(stat((other + "/user/registry.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  setenv("KESMORA_ROOT", old.c_str(), 1);
  kx::NotifyStateRootChanged();
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Moved", 0, KEY_READ, &o), 0);
  RegCloseKey(o);
}


// A batch puts every change of both hives into one transaction per hive: each change reads back inside it,
// another process sees them once the batch ends, and a refused change takes nothing else with it.
TEST(Registry, BatchCommitsEachHiveOnceAtItsEnd) {
  AdminOverride admin(1);
  std::string out;
  {
    kx::RegistryBatch batch;
    HKEY user = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Batch");
    HKEY machine = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\Batch");
    for (const char* name : {"One", "Two", "Three"}) {
      SetString(user, name, std::string("user ") + name);
      SetString(machine, name, std::string("machine ") + name);
    }
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Batch", 0, KEY_READ, &readOnly), 0);
    EXPECT_EQ(RegSetValueEx(readOnly, "Four", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);
    EXPECT_EQ(GetString(user, "Two"), "user Two");
    EXPECT_EQ(GetString(machine, "Three"), "machine Three");
    RegCloseKey(user);
    RegCloseKey(machine);
  }
  EXPECT_EQ(kxtest::Run(Child() + " regget HKCU 'Software\\Kesmora\\Batch' One", &out), 0);
  EXPECT_EQ(out, "user One");
  EXPECT_EQ(kxtest::Run(Child() + " regget HKLM 'SOFTWARE\\Kesmora\\Batch' Three", &out), 0);
  EXPECT_EQ(out, "machine Three");
  // Outside a batch each change is its own transaction again.
  HKEY user = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Batch");
  SetString(user, "Five", "five");
  EXPECT_EQ(kxtest::Run(Child() + " regget HKCU 'Software\\Kesmora\\Batch' Five", &out), 0);
  EXPECT_EQ(out, "five");
  RegCloseKey(user);
}

// Writing a value as it already stands touches no file of the hive (a start on an existing state folder
// writes its defaults again this way); a different value, or the same bytes as another type, is written.
TEST(Registry, AValueAsItStandsIsNotWrittenAgain) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Same");
  SetString(k, "Name", "value");
  const std::string db = kxtest::Root() + "/user/registry.db";
  auto files = [&] {
    std::string state;
    for (const std::string& f : {db, db + "-wal"}) {
      struct stat st {};
      if (stat(f.c_str(), &st) == 0)
        state += std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                 std::to_string(st.st_mtim.tv_nsec) + " ";
    }
    return state;
  };
  const std::string before = files();
  SetString(k, "NAME", "value");
  EXPECT_EQ(files(), before);
  SetString(k, "Name", "other");
  EXPECT_NE(files(), before);
  EXPECT_EQ(GetString(k, "Name"), "other");
  ASSERT_EQ(RegSetValueEx(k, "Name", 0, REG_BINARY, reinterpret_cast<const BYTE*>("other"), 6), 0);
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueEx(k, "Name", nullptr, &type, nullptr, nullptr), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  RegCloseKey(k);
}


// A hive a batch makes is built beside its place and moved there whole when the batch ends: no hive file
// while it runs, the file in place with its mode afterwards, nothing left beside it, what was written in it.
TEST(Registry, AHiveMadeInABatchIsMovedIntoPlaceWhole) {
  AdminOverride admin(1);
  const std::string fresh = kxtest::MakeTempDir("freshroot"), old = kxtest::Root();
  setenv("KESMORA_ROOT", fresh.c_str(), 1);
  kx::NotifyStateRootChanged();
  const std::string user = fresh + "/user/registry.db", machine = fresh + "/machine/registry.db";
  {
    kx::RegistryBatch batch;
    HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Fresh");
    SetString(k, "Name", "made in a batch");
    RegCloseKey(k);
    k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\Fresh");
    SetString(k, "Name", "machine");
    RegCloseKey(k);
    EXPECT_NE(access(user.c_str(), F_OK), 0);
    EXPECT_NE(access(machine.c_str(), F_OK), 0);
  }
  struct stat st {};
  ASSERT_EQ(stat(user.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(machine.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  std::string out;
  EXPECT_EQ(kxtest::Run(Child() + " regget HKCU 'Software\\Kesmora\\Fresh' Name", &out), 0);
  EXPECT_EQ(out, "made in a batch");
  EXPECT_EQ(kxtest::Run(Child() + " regget HKLM 'SOFTWARE\\Kesmora\\Fresh' Name", &out), 0);
  EXPECT_EQ(out, "machine");
  EXPECT_EQ(kxtest::Run("ls '" + fresh + "/user' '" + fresh + "/machine' | grep -c new-", &out), 1) << out;
  // The hive goes on in its place in this process too.
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Kesmora\\Fresh");
  SetString(k, "Later", "after");
  EXPECT_EQ(GetString(k, "Name"), "made in a batch");
  RegCloseKey(k);
  EXPECT_EQ(kxtest::Run(Child() + " regget HKCU 'Software\\Kesmora\\Fresh' Later", &out), 0);
  EXPECT_EQ(out, "after");
  setenv("KESMORA_ROOT", old.c_str(), 1);
  kx::NotifyStateRootChanged();
}

}  // namespace
