// Start-up of the library when a host loads it, and its refusal without the resource library.
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/regdump.h"
#include "library/library.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"

namespace {

using Dump = std::map<std::string, std::string>;

std::string UserValue(const char* key, const char* name) {
  return kxtest::DumpRegistry(HKEY_CURRENT_USER, key)[name];
}

TEST(StartUp, LoadingRunsTheStartUpOnceAndASecondStartWritesNothing) {
  HMODULE module = LoadLibrary("Brinmoor.DLL");
  ASSERT_NE(module, nullptr);
  Dump user = kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora");
  EXPECT_EQ(user["OfficeTolvex\\RegisterDefault"], "dword:0");
  EXPECT_EQ(user["Shredder\\1.0\\ClearSwap"], "dword:1");
  EXPECT_EQ(user["OfficeTolvex\\2.0\\VorlindTransport\\m_Port"], "dword:8081");
  EXPECT_EQ(user["DiskTolvex\\1.0\\Options\\m_AlgoIndex"], "dword:1");
  EXPECT_EQ(user["MailTolvex\\Compression\\m_Level"], "dword:9");

  // The one-click folder below the documents folder, and the main program beside the library.
  std::string documents = UserValue("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Personal");
  ASSERT_EQ(documents.rfind("sz:", 0), 0u);
  std::string oneClick = user["OfficeTolvex\\OneClickManager\\OneClickFolder"];
  EXPECT_EQ(oneClick, documents + "/My OneClick Settings");
  Dump machine = kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, "Software\\Kesmora\\OfficeTolvex");
  std::string exe = machine["Help\\KXExe"];
  EXPECT_EQ(exe, "sz:" + kxtest::BuildDir() + "/lib/OfficeTolvex.EXE");
  EXPECT_EQ(exe.find("//"), std::string::npos);

  char temp[4096] = "";
  GetTempPath(sizeof temp, temp);
  std::string folder = std::string(temp) + (std::string(temp).back() == '/' ? "" : "/") + "KXCESRA23592";
  struct stat st{};
  EXPECT_EQ(stat(folder.c_str(), &st), 0) << folder;
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_TRUE(FreeLibrary(module));

  // The next start leaves the defaults alone: a value the user removed stays removed.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\Shredder\\1.0", 0, KEY_WRITE, &key), 0);
  RegDeleteValue(key, "ClearSwap");
  RegCloseKey(key);
  user = kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora");
  module = LoadLibrary("Brinmoor.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora"), user);
  FreeLibrary(module);
}

TEST(StartUp, WithoutTheResourceLibraryTheLoadIsRefusedWithAMessage) {
  // A copy of the library in a folder of its own, without the resource library beside it.
  std::string folder = kxtest::MakeTempDir("alone");
  ASSERT_EQ(kxtest::Run("cp '" + kxtest::BuildDir() + "/lib/libbrinmoor.so' '" + folder + "/'"), 0);
  std::string text;
  HMODULE module = nullptr;
  DWORD error = 0;
  kx::RunWithUiHere(
      [&] {
        module = LoadLibrary((folder + "/libbrinmoor.so").c_str());
        error = GetLastError();
        return INT_PTR{0};
      },
      [&](kx::UiDriver& d) { text = d.AnswerMessageBox(IDOK); });
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(text, "Application has failed to load Resources from " + folder + "/KXRes.DLL");
}

TEST(StartUp, TheLibraryShowsItsThirtyEightFunctionsAndNothingElse) {
  std::string out;
  ASSERT_EQ(kxtest::Run("nm -D --defined-only '" + kxtest::BuildDir() + "/lib/libbrinmoor.so'", &out), 0);
  std::set<std::string> names;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) names.insert(line.substr(line.rfind(' ') + 1));
  const std::set<std::string> expected = {
      "DisplayConfigManager", "DisplayConfigManagerForCAC", "DisplaySignerWizard", "SignerWizardOperation",
      "DisplaySystemProfile", "DisplaySystemProfileForCAC", "DisplayAboutBox", "SelectOneClickSettings",
      "DisplayCertificateManager", "DisplayAuditEventLog", "DisplayOneClickWizard", "DisplaySignatureManager",
      "DisplayAddressBook", "FindSubject", "NewEntry", "ShowMessage", "DisplayTolvexFileSummary",
      "ShowMessageYesNo", "DisplayArchiveWizard", "DisplayCertCreationWizard", "DisplayOneClickSetting",
      "DisplayTestimony", "DisplayCertStores", "SelectCertificate", "DisplayPackageWizard",
      "DisplayVorlindPolicyManager", "DisplayESign", "DisplayArchiveConfig", "DisplayProfileWizard",
      "DisplayProfileList", "SelectProfile", "DisplayMailTolvexProperties", "EncryptWizardOperation",
      "DisplayUserSetupWizard", "UserSetup", "DisplayCodeSignWizard", "DisplayCertificateImporter",
      "ShowCertificateManagerPage"};
  EXPECT_EQ(expected.size(), 38u);
  EXPECT_EQ(names, expected);
}

}  // namespace

namespace {

TEST(Host, KxhostLoadsTheLibraryAndGetsTheAnswerOfAMessagePage) {
  std::string script = kxtest::Root() + "/answer.kxs";
  kxtest::WriteFile(script, "wait \"Office Tolvex\"\nanswer No \"Keep the old file?\"\n");
  std::string out;
  int status = kxtest::Run("'" + kxtest::BuildDir() + "/bin/kxhost' --script '" + script +
                               "' ShowMessageYesNo null 's:Keep the old file?' out:int",
                           &out);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("out 3: 7"), std::string::npos) << out;
}

}  // namespace
