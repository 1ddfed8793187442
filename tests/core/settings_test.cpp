// Settings stores, the system profile and configuration records, and the machine-wide security policy.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ByteBuffer.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SecurityPolicy.h"
#include "core/SettingsStore.h"
#include "core/SystemProfile.h"
#include "platform/win32/registry.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/system.h"
#include "support/testroot.h"

namespace {

const char kBase[] = "Software\\Kesmora\\OfficeTolvex";

LONG SetRaw(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  LONG rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(k);
  return rc;
}

LONG SetDword(HKEY root, const std::string& path, const char* name, DWORD v) {
  return SetRaw(root, path, name, REG_DWORD, &v, 4);
}

// The stored value, or "<missing>".
std::string Raw(HKEY root, const std::string& path, const char* name, DWORD* type = nullptr) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<missing>";
  BYTE data[4096];
  DWORD size = sizeof data, t = 0;
  LONG rc = RegQueryValueExA(k, name, nullptr, &t, data, &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS) return "<missing>";
  if (type) *type = t;
  return std::string(reinterpret_cast<char*>(data), size);
}

DWORD RawDword(HKEY root, const std::string& path, const char* name) {
  std::string r = Raw(root, path, name);
  DWORD v = 0xDEADBEEF;
  if (r.size() == 4) std::memcpy(&v, r.data(), 4);
  return v;
}

}  // namespace

TEST(SettingsStore, StringReadsAndDefaults) {
  CSettingsStore s(HKEY_CURRENT_USER, kBase);
  std::string out = "x";
  EXPECT_FALSE(s.ReadString("S", "Missing", out, ""));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(s.ReadString("S", "Missing", out, "d"));
  EXPECT_EQ(out, "d");
  EXPECT_FALSE(s.ReadString("S", "Missing", out, std::string(255, 'z').c_str())) << "a default that long is unused";

  ASSERT_TRUE(s.WriteString("S", "Empty", ""));
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, std::string(kBase) + "\\S", "Empty"), std::string(1, '\0'));
  EXPECT_TRUE(s.ReadString("S", "Empty", out, "dflt"));
  EXPECT_EQ(out, "dflt") << "a stored empty string reads as missing";

  ASSERT_TRUE(s.WriteString("S", "Fits", std::string(254, 'a')));
  EXPECT_TRUE(s.ReadString("S", "Fits", out, "d"));
  EXPECT_EQ(out, std::string(254, 'a'));
  ASSERT_TRUE(s.WriteString("S", "TooLong", std::string(255, 'a')));
  EXPECT_TRUE(s.ReadString("S", "TooLong", out, "d"));
  EXPECT_EQ(out, "d");

  // No terminator stored: the last byte counts as the terminator.
  ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, std::string(kBase) + "\\S", "Bare", REG_SZ, "abc", 3), 0);
  EXPECT_TRUE(s.ReadString("S", "Bare", out, nullptr));
  EXPECT_EQ(out, "ab");

  // An empty section is the key itself.
  ASSERT_TRUE(s.WriteString("", "Top", "here"));
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, kBase, "Top"), std::string("here\0", 5));
}

TEST(SettingsStore, NumbersAndBinary) {
  CSettingsStore s(HKEY_CURRENT_USER, kBase);
  DWORD v = 77;
  EXPECT_FALSE(s.ReadInt("N", "Missing", &v, 0));
  EXPECT_EQ(v, 77u) << "the caller keeps its value";
  EXPECT_TRUE(s.ReadInt("N", "Missing", &v, 1));
  EXPECT_EQ(v, 1u);
  ASSERT_TRUE(s.WriteInt("N", "Zero", 0));
  EXPECT_TRUE(s.ReadInt("N", "Zero", &v, 1));
  EXPECT_EQ(v, 0u);
  ASSERT_TRUE(s.WriteInt("N", "Big", 0xFFFFFFFF));
  EXPECT_TRUE(s.ReadInt("N", "Big", &v, 0));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  // Two stored bytes are a small number, not a partial overwrite of the caller's value.
  v = 0xAAAAAAAA;
  ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, std::string(kBase) + "\\N", "Two", REG_BINARY, "\x05\x01", 2), 0);
  EXPECT_TRUE(s.ReadInt("N", "Two", &v, 0));
  EXPECT_EQ(v, 0x105u);
  ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, std::string(kBase) + "\\N", "Five", REG_BINARY, "12345", 5), 0);
  v = 9;
  EXPECT_FALSE(s.ReadInt("N", "Five", &v, 0));
  EXPECT_EQ(v, 9u);

  std::string b256(256, '\x5A'), b300(300, '\x5A');
  CByteBuffer buf(256, b256.data(), false), big(300, b300.data(), false), out;
  ASSERT_TRUE(s.WriteBinary("B", "Ok", buf));
  ASSERT_TRUE(s.WriteBinary("B", "Big", big));
  EXPECT_TRUE(s.ReadBinary("B", "Ok", out));
  EXPECT_TRUE(out == buf);
  EXPECT_FALSE(s.ReadBinary("B", "Big", out));
  EXPECT_EQ(out.GetLength(), 0u);
}

TEST(SettingsStore, HiveSettingsChooseTheHivePerCall) {
  CHiveSettings h;  // machine hive until told otherwise
  EXPECT_STREQ(h.GetBaseKeyPath(), kBase);
  ASSERT_TRUE(h.SetDword("Sub", "Where", 1));
  EXPECT_EQ(RawDword(HKEY_LOCAL_MACHINE, std::string(kBase) + "\\Sub", "Where"), 1u);
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, std::string(kBase) + "\\Sub", "Where"), "<missing>");
  h.UseCurrentUser();
  ASSERT_TRUE(h.SetString("Sub", "Where", "user"));
  CString out = "kept";
  EXPECT_FALSE(h.GetString("Sub", "Nothing", out, ""));
  EXPECT_STREQ(out, "kept");
  EXPECT_TRUE(h.GetString("Sub", "Where", out, ""));
  EXPECT_STREQ(out, "user");
  h.UseLocalMachine();
  DWORD v = 0;
  EXPECT_TRUE(h.GetDword("Sub", "Where", &v, 0));
  EXPECT_EQ(v, 1u);
}

TEST(SystemProfile, EmptyHiveLoadsTheLoadDefaults) {
  CSystemProfile fresh;
  EXPECT_EQ(fresh.KeyLenIndex, 2);
  EXPECT_EQ(fresh.Exchange_Using_SSL, 0);
  EXPECT_EQ(fresh.VI_KeyLength, 3);
  EXPECT_EQ(fresh.WSDL_Stnadard_Disco, 1);

  CSystemProfile p;
  p.OutputFolder = "junk";
  ASSERT_TRUE(p.Load());
  struct { const char* name; int got, want; } numbers[] = {
      {"VerifyBeforeCosign", p.VerifyBeforeCosign, 1}, {"EnableDirOperation", p.EnableDirOperation, 1},
      {"Brastel", p.Brastel, 1},                       {"VerifyHash", p.VerifyHash, 1},
      {"VerifyAllSig", p.VerifyAllSig, 1},             {"VerifyCert", p.VerifyCert, 1},
      {"VerifyIndex", p.VerifyIndex, 0},               {"OutputOption", p.OutputOption, 0},
      {"AlgoIndex", p.AlgoIndex, 1},                   {"KeyLenIndex", p.KeyLenIndex, 0},
      {"KeyLength", p.KeyLength, 3},                   {"Algorithm", p.Algorithm, 3},
      {"MemoryCache", p.MemoryCache, 2},               {"Exchange_Using_PKCS7", p.Exchange_Using_PKCS7, 1},
      {"Exchange_Using_SSL", p.Exchange_Using_SSL, 1}, {"VI AlgoIndex", p.VI_AlgoIndex, 2},
      {"VI KeyLenIndex", p.VI_KeyLenIndex, 2},         {"VI KeyLength", p.VI_KeyLength, 2},
      {"VI Algorithm", p.VI_Algorithm, 2},             {"WSDL_Stnadard_Disco", p.WSDL_Stnadard_Disco, 0},
      {"Transport_Index", p.Transport_Index, 0},       {"Transport_Address_Index", p.Transport_Address_Index, 0},
      {"Validate_Headers", p.Validate_Headers, 1},     {"SOAP_Authentication", p.SOAP_Authentication, 1},
      {"Transport_Port", p.Transport_Port, 8081},      {"Issue_Cert_Disposition", p.Issue_Cert_Disposition, 1},
      {"Full_Chain_PKCS7_Format", p.Full_Chain_PKCS7_Format, 1}, {"Accept_PKCS10", p.Accept_PKCS10, 1},
  };
  for (auto& n : numbers) EXPECT_EQ(n.got, n.want) << n.name;
  EXPECT_STREQ(p.OutputFolder, "");
  EXPECT_STREQ(p.SignEncSettings, "");
  EXPECT_STREQ(p.Transport_Address_URL, "http://localhost");
  EXPECT_STREQ(p.Transport_Address_IP, "http://localhost");
  EXPECT_STREQ(p.WSDL_File, "VorlindEnrolment.WSDL");
  EXPECT_STREQ(p.WSDL_Port, "VorlindEnrolSoapPort");
  EXPECT_STREQ(p.WSDL_Service, "VorlindEnrolment");
}

TEST(SystemProfile, SaveThenLoadRoundTripsAndFallbacks) {
  CSystemProfile fresh;
  ASSERT_TRUE(fresh.Save());
  // Names and types as stored, the misspelt name included.
  DWORD type = 0;
  EXPECT_EQ(RawDword(HKEY_CURRENT_USER, std::string(kBase) + "\\Vorlind Intelligence", "WSDL_Stnadard_Disco"), 1u);
  EXPECT_EQ(RawDword(HKEY_CURRENT_USER, std::string(kBase) + "\\Vorlind Intelligence", "KeyLength"), 3u);
  EXPECT_EQ(RawDword(HKEY_CURRENT_USER, std::string(kBase) + "\\System_Profile", "KeyLenIndex"), 2u);
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, std::string(kBase) + "\\System_Profile", "OutputFolder", &type),
            std::string(1, '\0'));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  CSystemProfile loaded;
  loaded.Load();
  EXPECT_EQ(loaded.KeyLenIndex, 2);
  EXPECT_EQ(loaded.Exchange_Using_SSL, 0);
  EXPECT_EQ(loaded.VI_KeyLength, 3);
  EXPECT_EQ(loaded.VI_Algorithm, 3);
  EXPECT_EQ(loaded.WSDL_Stnadard_Disco, 1);

  CSystemProfile changed;
  changed.OutputFolder = "/home/user/out";
  changed.MemoryCache = 8;
  changed.Transport_Port = 0;
  changed.Transport_Address_URL = "";
  changed.Algorithm = 4;
  changed.VI_Algorithm = 1;
  changed.Save();
  CSystemProfile again;
  again.Load();
  EXPECT_STREQ(again.OutputFolder, "/home/user/out");
  EXPECT_EQ(again.MemoryCache, 8);
  EXPECT_EQ(again.Transport_Port, 0) << "a stored 0 is not a missing value";
  EXPECT_STREQ(again.Transport_Address_URL, "http://localhost") << "a stored empty address takes the default";
  EXPECT_EQ(again.Algorithm, 4);
  EXPECT_EQ(again.VI_Algorithm, 1);
}

TEST(OfficeTolvexConfig, EmptyHiveAndRoundTrip) {
  COfficeTolvexConfig c;
  EXPECT_EQ(c.AllowBrastel, 0u);
  EXPECT_EQ(c.RegisterAddins, 1u);
  EXPECT_TRUE(c.LoadOfficeOptions());
  EXPECT_TRUE(c.LoadGeneralOptions());
  EXPECT_TRUE(c.LoadOperationOptions());
  EXPECT_EQ(c.AllowBrastel, 1u);
  EXPECT_EQ(c.AutoLoad, 1u);
  EXPECT_EQ(c.CounterSign, 1u);
  EXPECT_EQ(c.VerifyAllSigs, 1u);
  EXPECT_EQ(c.AutoVerification, 1u);
  EXPECT_EQ(c.Phrase, 0u);
  EXPECT_EQ(c.RegisterAddins, 1u) << "default 0 keeps the constructor's 1";
  EXPECT_EQ(c.ShowFinishPage, 1u);
  EXPECT_EQ(c.DoD_JICT, 0u);

  // Stored zeros load as zeros everywhere.
  COfficeTolvexConfig zero;
  for (DWORD COfficeTolvexConfig::*f :
       {&COfficeTolvexConfig::AllowBrastel, &COfficeTolvexConfig::AutoVerification, &COfficeTolvexConfig::RegisterAddins,
        &COfficeTolvexConfig::ShowFinishPage, &COfficeTolvexConfig::OnlineCertificateValidation,
        &COfficeTolvexConfig::EnableDesktopAddin, &COfficeTolvexConfig::VerifySignatureOnly,
        &COfficeTolvexConfig::ConfirmContinueRevision, &COfficeTolvexConfig::ShowPolicySelection})
    zero.*f = 0;
  ASSERT_TRUE(zero.SaveOfficeOptions());
  ASSERT_TRUE(zero.SaveGeneralOptions());
  ASSERT_TRUE(zero.SaveOperationOptions());
  EXPECT_EQ(RawDword(HKEY_CURRENT_USER, std::string(kBase) + "\\Config", "Occurences"), 0u);
  COfficeTolvexConfig back;
  back.LoadOfficeOptions();
  back.LoadGeneralOptions();
  back.LoadOperationOptions();
  EXPECT_EQ(back.AllowBrastel, 0u);
  EXPECT_EQ(back.AutoVerification, 0u);
  EXPECT_EQ(back.RegisterAddins, 0u);
  EXPECT_EQ(back.ShowFinishPage, 0u);
  EXPECT_EQ(back.VerifySignatureOnly, 0u);
  EXPECT_EQ(back.ShowPolicySelection, 0u);

  // Groups load separately: only the general group is read here.
  ASSERT_EQ(SetDword(HKEY_CURRENT_USER, std::string(kBase) + "\\Config", "ShredTemporaryFiles", 1), 0);
  ASSERT_EQ(SetDword(HKEY_CURRENT_USER, std::string(kBase) + "\\Config", "DoD_JICT", 1), 0);
  COfficeTolvexConfig general;
  general.LoadGeneralOptions();
  EXPECT_EQ(general.ShredTemporaryFiles, 1u);
  EXPECT_EQ(general.DoD_JICT, 0u);
}

// ---- security policy ----

namespace {

const std::string kPolicy = CSecurityPolicy::kKeyPath;

void ExpectAll(const CSecurityPolicy& p, BYTE v) {
  for (int i = 0; i < CSecurityPolicy::kCount; ++i) EXPECT_EQ(p.GetSwitch(i), v) << CSecurityPolicy::ValueName(i);
}

}  // namespace

TEST(SecurityPolicy, LoadRules) {
  CSecurityPolicy none;
  EXPECT_FALSE(none.Load());
  ExpectAll(none, 1);
  EXPECT_TRUE(none.Load(true));
  EXPECT_EQ(none.m_bSmartcardProfile, 1);

  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPolicy.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  RegCloseKey(k);
  CSecurityPolicy empty;
  EXPECT_TRUE(empty.Load());
  ExpectAll(empty, 0);

  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, kPolicy, "SystemProfile", 0xFFFFFFFF), 0);
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, kPolicy, "ShredderProfile", 0x100), 0);
  ASSERT_EQ(SetRaw(HKEY_LOCAL_MACHINE, kPolicy, "MailTolvexProfile", REG_BINARY, "\x01\x00\x00\x00\x00", 5), 0);
  CSecurityPolicy some;
  EXPECT_TRUE(some.Load());
  EXPECT_EQ(some.m_bSystemProfile, 1);
  EXPECT_EQ(some.m_bShredderProfile, 1);
  EXPECT_EQ(some.m_bMailTolvexProfile, 0) << "a value larger than 4 bytes locks its area";
  EXPECT_EQ(some.m_bConfigurationManager, 0);
  EXPECT_TRUE(some.Load(true));
  EXPECT_EQ(some.m_bSmartcardProfile, 1);
}

TEST(SecurityPolicy, CreatedKeyIsReadableByEveryoneAndWritableByAdministrators) {
  CSecurityPolicy p;
  p.m_bShredderProfile = 0;
  EXPECT_FALSE(p.Save()) << "Save never creates the key";
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, kPolicy, "ShredderProfile"), "<missing>");
  ASSERT_TRUE(p.CreateKey());
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicy.c_str(), 0, KEY_READ, &k), 0);
  std::string owner;
  std::vector<kx::AccessEntry> list;
  ASSERT_EQ(kx::RegGetKeyAccessList(k, &owner, &list), 0);
  RegCloseKey(k);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].sid, "S-1-1-0");
  EXPECT_EQ(list[0].mask, static_cast<ACCESS_MASK>(KEY_READ));
  EXPECT_FALSE(list[0].deny);
  EXPECT_EQ(list[1].sid, "S-1-5-32-544");
  EXPECT_EQ(list[1].mask, static_cast<ACCESS_MASK>(KEY_ALL_ACCESS));
  for (int i = 0; i < CSecurityPolicy::kCount; ++i)
    EXPECT_EQ(RawDword(HKEY_LOCAL_MACHINE, kPolicy, CSecurityPolicy::ValueName(i)), i == 6 ? 0u : 1u);

  // An existing key is opened unchanged.
  CSecurityPolicy second;
  second.m_bShredderProfile = 1;
  EXPECT_TRUE(second.CreateKey());
  CSecurityPolicy read;
  read.Load();
  EXPECT_EQ(read.m_bShredderProfile, 1);
}

TEST(SecurityPolicy, AdminChecks) {
  EXPECT_TRUE(IsUserInAdminGroup());  // the tests run as root
  EXPECT_FALSE(IsUserInDomainAdminGroup());
  kx::SetAdministratorForTests(0);
  EXPECT_FALSE(IsUserInAdminGroup());
  OSVERSIONINFOEXA me = {};
  me.dwOSVersionInfoSize = sizeof me;
  me.dwMajorVersion = 4;
  me.dwMinorVersion = 90;
  me.dwBuildNumber = 3000;
  me.dwPlatformId = 1;
  kx::SetVersionForTests(&me);
  EXPECT_TRUE(IsUserInAdminGroup()) << "Windows Me has no token to ask";
  kx::SetVersionForTests(nullptr);
  kx::SetAdministratorForTests(-1);
}

// Runs only in a child process under another uid (see below; disabled in ordinary runs); reports what it
// could do.
TEST(SecurityPolicyChild, DISABLED_NonAdministrator) {
  const char* root = std::getenv("KX_POLICY_ROOT");
  if (!root) GTEST_SKIP() << "runs only as the child of SecurityPolicy.NonAdministratorReadsButCannotWrite";
  setenv("KESMORA_ROOT", root, 1);
  kx::NotifyStateRootChanged();
  CSecurityPolicy p;
  bool loaded = p.Load();
  BYTE before = p.m_bOneClickSettings;
  p.m_bOneClickSettings = before ? 0 : 1;
  bool saved = p.Save();
  HKEY k = nullptr;
  LONG openWrite = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicy.c_str(), 0, KEY_WRITE, &k);
  if (k) RegCloseKey(k);
  k = nullptr;
  RegOpenKeyA(HKEY_LOCAL_MACHINE, kPolicy.c_str(), &k);
  BYTE one[4] = {1, 0, 0, 0};
  LONG set = k ? RegSetValueExA(k, "OneClickSettings", 0, REG_DWORD, one, 4) : -1;
  if (k) RegCloseKey(k);
  std::printf("CHILD loaded=%d before=%d saved=%d openWrite=%d set=%d admin=%d create=%d\n", loaded, before, saved,
              static_cast<int>(openWrite), static_cast<int>(set), IsUserInAdminGroup(), p.CreateKey());
}

TEST(SecurityPolicy, NonAdministratorReadsButCannotWrite) {
  CSecurityPolicy p;
  p.m_bOneClickSettings = 0;
  ASSERT_TRUE(p.CreateKey());
  // The child runs as nobody: it must reach the state root and its own program, which is copied there
  // with the platform library in case the build folder is private.
  std::string root = kxtest::Root();
  std::string bin = root + "/child";
  ASSERT_EQ(kxtest::Run("mkdir -p '" + bin + "' && cp '" + kxtest::BuildDir() + "/bin/test_core' '" +
                        kxtest::BuildDir() + "/lib/libkxplatform.so' '" + bin + "/' && chmod -R a+rX '" + root +
                        "' && mkdir -p '" + root + "/tmp' && chown 65534:65534 '" + root + "/tmp'"),
            0);
  std::string out;
  // The child's own test folder is one it may write, whatever KX_TEST_TMP this run was given.
  std::string cmd = "cd / && KX_POLICY_ROOT='" + root + "' KX_TEST_TMP='" + root + "/tmp' LD_LIBRARY_PATH='" + bin +
                    "' setpriv --reuid=65534 --regid=65534 --clear-groups '" + bin +
                    "/test_core' --gtest_also_run_disabled_tests --gtest_filter=SecurityPolicyChild.DISABLED_NonAdministrator 2>&1";
  int rc = kxtest::Run(cmd, &out);
  EXPECT_EQ(rc, 0) << out;
  size_t at = out.find("CHILD ");
  ASSERT_NE(at, std::string::npos) << out;
  std::string line = out.substr(at, out.find('\n', at) - at);
  EXPECT_EQ(line, "CHILD loaded=1 before=0 saved=0 openWrite=5 set=5 admin=0 create=0") << out;
  CSecurityPolicy after;
  after.Load();
  EXPECT_EQ(after.m_bOneClickSettings, 0) << "the stored policy is unchanged";
}
