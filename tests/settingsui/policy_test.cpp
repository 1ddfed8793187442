// The security policy sheet through its export: an administrator switches the machine-wide policy (the key is
// made when missing, Apply and OK write it, Cancel does not); anyone else is sent away and changes nothing,
// checked in a child process under another uid.
#include <unistd.h>

#include <cstdlib>

#include "core/SecurityPolicy.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/system.h"
#include "settingsui/settings_fixture.h"

namespace {

using namespace settingstest;

const std::string kPolicyKey = CSecurityPolicy::kKeyPath;

Values AllOn() {
  Values v;
  for (int i = 0; i < CSecurityPolicy::kCount; ++i) v[CSecurityPolicy::ValueName(i)] = "dword:1";
  return v;
}

class PolicySheet : public SettingsTest {};

TEST_F(PolicySheet, MakesAMissingKeyWithEverySwitchOnAndAppliesTheChoices) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kPolicyKey);
  Values whenOpened;
  INT_PTR result = ShowPlainExport("DisplayVorlindPolicyManager", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Vorlind Intelligence Policy Manager");
    whenOpened = kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey);
    EXPECT_EQ(TabTitles(d, sheet), (std::vector<std::string>{"Settings", "Disk Protection", "Mail Protection"}));
    HWND office = Page(d, sheet, 30052);
    Shot(d, sheet, "policy-settings");
    for (int id : {1000, 1001, 1002, 1005}) {
      EXPECT_TRUE(d.IsChecked(d.Control(office, id))) << id;
      EXPECT_TRUE(d.IsEnabled(d.Control(office, id))) << id;
    }
    d.SetCheck(d.Control(office, 1000), false);
    d.Click(d.Control(sheet, ID_APPLY_NOW));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kPolicyKey, "ConfigurationManager"), "dword:0") << "Apply writes it";

    HWND disk = ShowTab(d, sheet, 1, 1144);
    Shot(d, sheet, "policy-disk");
    d.SetCheck(d.Control(disk, 1005), false);
    d.SetCheck(d.Control(disk, 1004), false);
    HWND mail = ShowTab(d, sheet, 2, 1143);
    Shot(d, sheet, "policy-mail");
    d.SetCheck(d.Control(mail, 1006), false);
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(whenOpened, AllOn());
  Values expected = AllOn();
  for (const char* off : {"ConfigurationManager", "SmartcardProfile", "ShredderProfile", "MailTolvexProfile"})
    expected[off] = "dword:0";
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey), expected);

  // The configuration manager now opens locked.
  ShowWindowExport("DisplayConfigManager", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Configuration Manager");
    EXPECT_EQ(EnabledControls(d, Page(d, sheet, 129)), std::vector<int>{});
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
}

TEST_F(PolicySheet, CancelLeavesThePolicyAsItWas) {
  CSecurityPolicy stored;
  stored.m_bOneClickSettings = 0;
  ASSERT_TRUE(stored.CreateKey());
  Values before = kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey);
  ShowPlainExport("DisplayVorlindPolicyManager", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Vorlind Intelligence Policy Manager");
    HWND office = Page(d, sheet, 30052);
    EXPECT_FALSE(d.IsChecked(d.Control(office, 1005))) << "the page shows the stored switch";
    d.SetCheck(d.Control(office, 1005), true);
    d.SetCheck(d.Control(office, 1002), false);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey), before);
}

TEST_F(PolicySheet, OkKeepsTheSheetOpenWhenThePolicyCannotBeWritten) {
  ShowPlainExport("DisplayVorlindPolicyManager", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Vorlind Intelligence Policy Manager");
    HWND office = Page(d, sheet, 30052);
    d.SetCheck(d.Control(office, 1002), false);
    // The key goes while the sheet is open: nothing can be written.
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kPolicyKey);
    d.Click(d.Control(sheet, IDOK));
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "The security policy could not be saved. Only an administrator may change it.");
    EXPECT_TRUE(d.IsVisible(sheet));
    d.Click(d.Control(sheet, ID_APPLY_NOW));
    d.AnswerMessageBox(IDOK);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey), Values{});
}

// Runs only as the child of PolicySheet.RefusesAUserWhoIsNotAnAdministrator, as another user: opens the sheet,
// reports what it showed and whether its pages could be used.
TEST(PolicySheetChild, DISABLED_NotAnAdministrator) {
  const char* root = std::getenv("KX_POLICY_ROOT");
  if (!root) GTEST_SKIP() << "runs only as the child of PolicySheet.RefusesAUserWhoIsNotAnAdministrator";
  setenv("KESMORA_ROOT", root, 1);
  kx::NotifyStateRootChanged();
  HMODULE library = LoadLibrary("Brinmoor.DLL");
  ASSERT_NE(library, nullptr);
  auto* show = reinterpret_cast<int (*)(int, int)>(GetProcAddress(library, "DisplayVorlindPolicyManager"));
  ASSERT_NE(show, nullptr);
  std::string message;
  size_t enabled = 99;
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(show(0, 0)); }, [&](kx::UiDriver& d) {
    HWND box = d.WaitForMessageBox();
    // The sheet tells before it is shown.
    kx::WindowQuery q;
    q.title = "Vorlind Intelligence Policy Manager";
    q.visibleOnly = false;
    HWND sheet = d.WaitForWindow(q);
    kx::WindowQuery p;
    p.templateId = 30052;
    p.parent = sheet;
    p.visibleOnly = false;
    enabled = EnabledControls(d, d.WaitForWindow(p)).size();
    message = d.MessageBoxText(box);
    d.AnswerMessageBox(IDOK);
    d.WaitForGone(sheet);
  });
  std::printf("CHILD result=%d enabled=%zu message=%s\n", static_cast<int>(result), enabled, message.c_str());
  // Windows 98 and Me have no administrators: everyone may use the sheet.
  OSVERSIONINFOEXA w98{};
  w98.dwOSVersionInfoSize = sizeof w98;
  w98.dwMajorVersion = 4;
  w98.dwMinorVersion = 10;
  w98.dwBuildNumber = 1998;
  w98.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  kx::SetVersionForTests(&w98);
  kx::RunWithUiHere([&] { return INT_PTR(show(0, 0)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Vorlind Intelligence Policy Manager");
    enabled = EnabledControls(d, Page(d, sheet, 30052)).size();
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  kx::SetVersionForTests(nullptr);
  std::printf("CHILD98 enabled=%zu\n", enabled);
  FreeLibrary(library);
}

TEST_F(PolicySheet, RefusesAUserWhoIsNotAnAdministrator) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start a child as another user";
  CSecurityPolicy stored;
  stored.m_bShredderProfile = 0;
  ASSERT_TRUE(stored.CreateKey());
  Values before = kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey);
  // The child reaches the machine hive of this root; its own user state is a folder of its own.
  std::string root = kxtest::Root();
  std::string copy = root + "/child";
  ASSERT_EQ(kxtest::Run("mkdir -p '" + copy + "/bin' '" + copy + "/lib' && cp '" + kxtest::BuildDir() +
                        "/bin/test_settingsui' '" + copy + "/bin/' && cp -r '" + kxtest::BuildDir() + "/lib/.' '" +
                        copy + "/lib/' && chmod -R a+rX '" + root + "' && cd '" + root +
                        "' && mkdir -p user Documents cache tmp && chown -R 65534:65534 user Documents cache tmp"),
            0);
  std::string out;
  std::string command = "cd / && KX_POLICY_ROOT='" + root + "' KX_TEST_BIN='" + copy + "' LD_LIBRARY_PATH='" + copy +
                        "/lib' KX_TEST_TMP=/tmp setpriv --reuid=65534 --regid=65534 --clear-groups '" + copy +
                        "/bin/test_settingsui' --gtest_also_run_disabled_tests "
                        "--gtest_filter=PolicySheetChild.DISABLED_NotAnAdministrator 2>&1";
  EXPECT_EQ(kxtest::Run(command, &out), 0) << out;
  size_t at = out.find("CHILD ");
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.substr(at, out.find('\n', at) - at),
            "CHILD result=1 enabled=0 message=Only an administrator may change the security policy. The policy "
            "manager closes now.")
      << out;
  at = out.find("CHILD98 ");
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.substr(at, out.find('\n', at) - at), "CHILD98 enabled=4") << out;
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_LOCAL_MACHINE, kPolicyKey), before);
}

}  // namespace
