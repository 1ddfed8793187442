// First-start registry defaults and the settings records whose value lists belong to the frame.
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "app/BrastelSettings.h"
#include "app/RegisterDefault.h"
#include "app/regdump.h"
#include "core/SecurityPolicy.h"
#include "platform/win32/security.h"
#include "app/TransportSettings.h"
#include "app/DiskTolvexSettings.h"
#include "app/MailTolvexSettings.h"

namespace {

using Dump = std::map<std::string, std::string>;

Dump UserDump() { return kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora"); }

void SetDword(const char* path, const char* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  RegCloseKey(key);
}

void DeleteValue(const char* path, const char* name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_WRITE, &key), 0);
  RegDeleteValue(key, name);
  RegCloseKey(key);
}

// The value lists of the frame's three records and of the records whose defaults it writes for the others.
const std::map<std::string, std::string> kExpected = {
    {"Shredder\\1.0\\ShredderDesktopAddinEnabled", "dword:1"},
    {"Shredder\\1.0\\ShredderSlowPollEnabled", "dword:0"},
    {"Shredder\\1.0\\ShredResultsForUnusedSpace", "dword:1"},
    {"Shredder\\1.0\\ShredResultsOnlyWhenFailed", "dword:0"},
    {"Shredder\\1.0\\ShredResultsForFiles", "dword:1"},
    {"Shredder\\1.0\\ResultsShredderDesktopAddin", "dword:1"},
    {"Shredder\\1.0\\ClearSwap", "dword:1"},
    {"DiskTolvex\\1.0\\Options\\m_bBrastel", "dword:1"},
    {"DiskTolvex\\1.0\\Options\\m_AlgoIndex", "dword:1"},
    {"DiskTolvex\\1.0\\Options\\m_strFolder", "sz:"},
    {"DiskTolvex\\1.0\\Options\\m_FolderOption", "dword:0"},
    {"DiskTolvex\\1.0\\Options\\m_PoolSize", "dword:0"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_bProxy", "dword:0"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_bSmartProxy", "dword:0"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_Port", "dword:8081"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_TxIndex", "dword:0"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_TxAddressIndex", "dword:0"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_strURL", "sz:"},
    {"OfficeTolvex\\2.0\\VorlindTransport\\m_strIP", "sz:"},
    {"DiskTolvex\\1.0\\General\\m_bMountStartup", "dword:1"},
    {"DiskTolvex\\1.0\\General\\m_bQuickFormat", "dword:1"},
    {"DiskTolvex\\1.0\\General\\m_bShredCache", "dword:1"},
    {"DiskTolvex\\1.0\\General\\m_bShowAtStartup", "dword:1"},
    {"DiskTolvex\\1.0\\General\\m_bAutoDetectSmartCard", "dword:0"},
    {"MailTolvex\\General\\m_bVerifyProfile", "dword:1"},
    {"MailTolvex\\General\\m_bShredTemp", "dword:1"},
    {"MailTolvex\\General\\m_bEnableAddin", "dword:0"},
    {"MailTolvex\\General\\m_bCleanShutAtExit", "dword:1"},
    {"MailTolvex\\ESign\\m_bComply1", "dword:1"},
    {"MailTolvex\\ESign\\m_bComply4", "dword:1"},
    {"MailTolvex\\ESign\\m_bComply2", "dword:1"},
    {"MailTolvex\\ESign\\m_bTimeStamp", "dword:1"},
    {"MailTolvex\\ESign\\m_bESign", "dword:1"},
    {"MailTolvex\\ESign\\m_bESignTrack", "dword:0"},
    {"MailTolvex\\Compression\\m_Level", "dword:9"},
    {"MailTolvex\\Compression\\m_bCompress", "dword:0"},
    {"OfficeTolvex\\RegisterDefault", "dword:0"},
};

// Subkeys written by the records of other Parts (their own tests check the values).
const char* const kOtherRecords[] = {"OfficeTolvex\\Config\\", "OfficeTolvex\\System_Profile\\",
                                     "OfficeTolvex\\Audit_Event_Log\\", "OfficeTolvex\\CertificateManager\\"};

size_t CountUnder(const Dump& dump, const std::string& prefix) {
  size_t n = 0;
  for (const auto& [k, v] : dump) n += k.compare(0, prefix.size(), prefix) == 0;
  return n;
}

TEST(RegisterDefault, FirstStartWritesEveryRecordAndTheMarker) {
  RegisterDefault();
  Dump dump = UserDump();
  for (const auto& [name, value] : kExpected) EXPECT_EQ(dump[name], value) << name;
  for (const char* prefix : kOtherRecords) EXPECT_GT(CountUnder(dump, prefix), 0u) << prefix;
  // Nothing but the listed records lives below the maker's key.
  for (const auto& [name, value] : dump) {
    bool known = kExpected.count(name) > 0;
    for (const char* prefix : kOtherRecords) known |= name.compare(0, strlen(prefix), prefix) == 0;
    known |= name.compare(0, strlen("OfficeTolvex\\Vorlind Intelligence\\"), "OfficeTolvex\\Vorlind Intelligence\\") == 0;
    EXPECT_TRUE(known) << name;
  }
}

TEST(RegisterDefault, SecondStartWritesNothing) {
  RegisterDefault();
  DeleteValue("Software\\Kesmora\\Shredder\\1.0", "ClearSwap");
  SetDword("Software\\Kesmora\\MailTolvex\\Compression", "m_Level", 3);
  Dump before = UserDump();
  RegisterDefault();
  EXPECT_EQ(UserDump(), before);
}

TEST(RegisterDefault, MarkerOneRestoresMissingValuesAndKeepsPresentOnes) {
  RegisterDefault();
  DeleteValue("Software\\Kesmora\\Shredder\\1.0", "ClearSwap");
  DeleteValue("Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport", "m_Port");
  SetDword("Software\\Kesmora\\MailTolvex\\Compression", "m_Level", 3);
  SetDword("Software\\Kesmora\\OfficeTolvex", "RegisterDefault", 1);
  RegisterDefault();
  Dump dump = UserDump();
  EXPECT_EQ(dump["Shredder\\1.0\\ClearSwap"], "dword:1");
  EXPECT_EQ(dump["OfficeTolvex\\2.0\\VorlindTransport\\m_Port"], "dword:8081");
  EXPECT_EQ(dump["MailTolvex\\Compression\\m_Level"], "dword:3");
  EXPECT_EQ(dump["OfficeTolvex\\RegisterDefault"], "dword:0");
}

TEST(RegisterDefault, OtherMarkerValuesWriteNothing) {
  SetDword("Software\\Kesmora\\OfficeTolvex", "RegisterDefault", 2);
  RegisterDefault();
  Dump dump = UserDump();
  EXPECT_EQ(dump.size(), 1u);
  EXPECT_EQ(dump["OfficeTolvex\\RegisterDefault"], "dword:2");
}

TEST(RegisterDefault, ARecordThatCannotBeWrittenKeepsTheMarkerForTheNextStart) {
  // The shredder's key exists and may only be read.
  CSecurityId everyone(1);
  ASSERT_TRUE(everyone.Get());
  TRUSTEE_A trustee;
  InitTrusteeWithSid(&trustee, TRUSTEE_IS_WELL_KNOWN_GROUP, everyone.Get());
  EXPLICIT_ACCESS_A entry;
  InitExplicitAccess(&entry, KEY_READ, SET_ACCESS, NO_INHERITANCE, trustee);
  CAccessControlList acl;
  ASSERT_EQ(acl.SetEntries(1, &entry), 0u);
  CSecurityDescriptorBlock descriptor;
  ASSERT_TRUE(descriptor.SetDacl(TRUE, acl.Get(), FALSE));
  SECURITY_ATTRIBUTES attributes;
  InitSecurityAttributes(&attributes, descriptor.Get(), FALSE);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Shredder\\1.0", 0, nullptr, 0, KEY_READ,
                           &attributes, &key, nullptr),
            0);
  RegCloseKey(key);

  RegisterDefault();
  Dump dump = UserDump();
  EXPECT_EQ(dump.count("OfficeTolvex\\RegisterDefault"), 0u);
  EXPECT_EQ(dump.count("Shredder\\1.0\\ClearSwap"), 0u);
  // The other records were written all the same.
  EXPECT_EQ(dump["MailTolvex\\Compression\\m_Level"], "dword:9");
}

TEST(RegisterDefault, AnExistingMachinePolicyIsKept) {
  if (!kx::IsAdministrator()) GTEST_SKIP() << "the machine hive needs an administrator";
  CSecurityPolicy admin;
  admin.m_bCertificateCreationWizard = 0;
  ASSERT_TRUE(admin.CreateKey());
  RegisterDefault();
  CSecurityPolicy read;
  ASSERT_TRUE(read.Load());
  EXPECT_EQ(read.m_bCertificateCreationWizard, 0);
  EXPECT_EQ(read.m_bSystemProfile, 1);
}

TEST(SettingsRecords, ConstructorsHoldTheDefaultsBeforeAnyLoad) {
  CBrastelSettings brastel(HKEY_CURRENT_USER, "Software\\Kesmora\\DiskTolvex\\%s\\Options", "1.0");
  EXPECT_EQ(brastel.m_strKey, "Software\\Kesmora\\DiskTolvex\\1.0\\Options");
  EXPECT_EQ(brastel.m_bBrastel, 1u);
  EXPECT_EQ(brastel.m_AlgoIndex, 1u);
  CTransportSettings transport(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport");
  EXPECT_EQ(transport.m_Port, 8081u);
  CCompressionSettings compression(HKEY_CURRENT_USER, "x");
  EXPECT_EQ(compression.m_Level, 9u);
  CShredderSettings shredder(HKEY_CURRENT_USER, "x");
  EXPECT_EQ(shredder.ClearSwap, 1u);
  EXPECT_EQ(shredder.ShredderSlowPollEnabled, 0u);
}

}  // namespace
