// The configuration manager and the mail protection dialogs, opened through their exports: the pages show the
// stored settings, and what the user changes reaches the registry, nothing else.
#include "core/SecurityPolicy.h"
#include "settingsui/settings_fixture.h"

namespace {

using namespace settingstest;

const char kConfig[] = "Software\\Kesmora\\OfficeTolvex\\Config";
const char kPageFile[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

class ConfigManager : public SettingsTest {};

TEST_F(ConfigManager, EveryPageSavesWhatTheUserChangedAndNothingElse) {
  // Values without a control keep what is stored.
  WriteDword(HKEY_CURRENT_USER, "Software\\Kesmora\\DiskTolvex\\1.0\\General", "m_bShowAtStartup", 0);
  WriteDword(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\General", "m_bCleanShutAtExit", 0);
  Values before = UserValues();
  Values hummingbirdOnOpen;
  INT_PTR result = ShowWindowExport("DisplayConfigManager", [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Configuration Manager");
    EXPECT_EQ(TabTitles(d, sheet), (std::vector<std::string>{"General", "Application", "Office Add-in", "Disk Protection",
                                                              "Shredder", "Mail Protection", "Document Management"}));
    HWND general = Page(d, sheet, 129);
    Shot(d, sheet, "config-general");
    EXPECT_FALSE(d.IsVisible(d.Control(general, 1059))) << "the policy note shows only when locked";
    EXPECT_EQ(c.ComboItems(d.Control(general, 1007)), (std::vector<std::string>{"Always", "Only for new documents", "Never"}));
    EXPECT_TRUE(d.IsChecked(d.Control(general, 1004)));
    d.SetCheck(d.Control(general, 1004), false);
    c.ComboPick(d.Control(general, 1007), "Never");
    // Shredding temporary files is confirmed first; No leaves the box clear.
    d.Click(d.Control(general, 1008));
    EXPECT_NE(d.AnswerMessageBox(IDNO).find("Do you want to shred temporary files?"), std::string::npos);
    EXPECT_FALSE(d.IsChecked(d.Control(general, 1008)));
    d.Click(d.Control(general, 1008));
    d.AnswerMessageBox(IDYES);
    EXPECT_TRUE(d.IsChecked(d.Control(general, 1008)));

    HWND office = ShowTab(d, sheet, 2, 160);
    Shot(d, sheet, "config-office");
    // The signature block's place shows as stored (above the text).
    EXPECT_TRUE(d.IsChecked(d.Control(office, 1013)));
    EXPECT_FALSE(d.IsChecked(d.Control(office, 1014)));
    EXPECT_TRUE(d.IsEnabled(d.Control(office, 1012)));
    d.Click(d.Control(office, 1014));
    d.SetCheck(d.Control(office, 1011), false);
    c.ComboPick(d.Control(office, 1015), "Approved by");

    HWND disk = ShowTab(d, sheet, 3, 30050);
    Shot(d, sheet, "config-disk");
    d.SetCheck(d.Control(disk, 1255), false);

    HWND shredder = ShowTab(d, sheet, 4, 30048);
    Shot(d, sheet, "config-shredder");
    EXPECT_FALSE(d.IsChecked(d.Control(shredder, 1053)));
    EXPECT_TRUE(d.IsEnabled(d.Control(shredder, 1039))) << "an administrator may clear the page file";
    d.SetCheck(d.Control(shredder, 1039), false);

    HWND mail = ShowTab(d, sheet, 5, 30049);
    Shot(d, sheet, "config-mail");
    d.SetCheck(d.Control(mail, 1249), false);

    HWND hummingbird = ShowTab(d, sheet, 6, 30067);
    Shot(d, sheet, "config-document-management");
    hummingbirdOnOpen = kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Hummingbird");
    d.SetCheck(d.Control(hummingbird, 1272), true);
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  // Opening the page wrote its four values with their defaults.
  EXPECT_EQ(hummingbirdOnOpen, (Values{{"m_bHM_AutoDetect", "dword:1"},
                                       {"m_bHM_ExplorerIntegration", "dword:1"},
                                       {"m_bHM_OfficeIntegration", "dword:1"},
                                       {"m_bHM_Register", "dword:0"}}));
  EXPECT_EQ(Changes(before, UserValues()), (Values{
                                               {"OfficeTolvex\\Config\\OnlineCertificateValidation", "dword:0"},
                                               {"OfficeTolvex\\Config\\SigningPreferencesDialog", "dword:2"},
                                               {"OfficeTolvex\\Config\\ShredTemporaryFiles", "dword:1"},
                                               {"OfficeTolvex\\Config\\SignatureBlockPosition", "dword:1"},
                                               {"OfficeTolvex\\Config\\AutoVerification", "dword:0"},
                                               {"OfficeTolvex\\Config\\Phrase", "dword:1"},
                                               {"DiskTolvex\\1.0\\General\\m_bMountStartup", "dword:0"},
                                               {"Shredder\\1.0\\ClearSwap", "dword:0"},
                                               {"MailTolvex\\General\\m_bVerifyProfile", "dword:0"},
                                               {"OfficeTolvex\\Hummingbird\\m_bHM_AutoDetect", "dword:1"},
                                               {"OfficeTolvex\\Hummingbird\\m_bHM_ExplorerIntegration", "dword:1"},
                                               {"OfficeTolvex\\Hummingbird\\m_bHM_OfficeIntegration", "dword:1"},
                                               {"OfficeTolvex\\Hummingbird\\m_bHM_Register", "dword:1"},
                                           }));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kPageFile, "ClearPageFileAtShutdown"), "dword:0");
}

TEST_F(ConfigManager, CancelKeepsTheStoredSettings) {
  WriteDword(HKEY_CURRENT_USER, kConfig, "SignatureBlockPosition", 1);
  Values before = UserValues();
  ShowWindowExport("DisplayConfigManager", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Configuration Manager");
    HWND general = Page(d, sheet, 129);
    d.SetCheck(d.Control(general, 1004), false);
    HWND office = ShowTab(d, sheet, 2, 160);
    EXPECT_TRUE(d.IsChecked(d.Control(office, 1014))) << "below the text, as stored";
    EXPECT_FALSE(d.IsChecked(d.Control(office, 1013)));
    d.Click(d.Control(office, 1013));
    HWND disk = ShowTab(d, sheet, 3, 30050);
    d.SetCheck(d.Control(disk, 1255), false);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(Changes(before, UserValues()), Values{});
}

// The title over each page, read from the header banner.
std::string HeaderTitle(kx::UiDriver& d, HWND sheet) {
  std::string title;
  d.Invoke(sheet, [&] {
    for (HWND child = GetWindow(sheet, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char name[128] = {}, text[256] = {};
      GetClassNameA(child, name, sizeof name);
      if (std::string(name).rfind("Afx:", 0) != 0) continue;
      GetWindowTextA(child, text, sizeof text);
      title = text;
    }
  });
  return title;
}

TEST_F(ConfigManager, TheApplicationPageOffersTheOperationsUnderItsOwnTitle) {
  WriteDword(HKEY_CURRENT_USER, kConfig, "TargetFileDefaultOperation", 1);
  ShowWindowExport("DisplayConfigManager", [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Configuration Manager");
    const std::vector<std::string> titles = TabTitles(d, sheet);
    const ULONG_PTR templates[] = {129, 133, 160, 30050, 30048, 30049, 30067};
    ASSERT_EQ(titles.size(), std::size(templates));
    for (size_t i = 0; i < titles.size(); ++i) {
      ShowTab(d, sheet, static_cast<int>(i), templates[i]);
      EXPECT_EQ(HeaderTitle(d, sheet), titles[i]) << "the header over tab " << i;
    }
    HWND application = ShowTab(d, sheet, 1, 133);
    Shot(d, sheet, "config-application");
    HWND combo = d.Control(application, 1010);
    EXPECT_EQ(c.ComboItems(combo), (std::vector<std::string>{"Decrypt and verify", "Sign"}));
    EXPECT_EQ(c.ComboText(combo), "Sign") << "as stored";
    c.ComboPick(combo, "Decrypt and verify");
    // The page's own question carries the suite's title, as every message does.
    d.SetCheck(d.Control(application, 1261), true);
    d.Click(d.Control(sheet, IDOK));
    HWND question = d.WaitForMessageBox();
    EXPECT_EQ(d.Text(question), "Office Tolvex");
    Shot(d, question, "config-strict-question");
    d.AnswerMessageBox(IDNO);
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kConfig, "DoD_JICT"), "dword:0");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kConfig, "TargetFileDefaultOperation"), "dword:0");
}

TEST_F(ConfigManager, SmartCardVariantShowsFourPagesAndNeverInsertsASignatureBlock) {
  WriteDword(HKEY_CURRENT_USER, kConfig, "InsertSignatureBlock", 1);
  INT_PTR result = ShowWindowExport("DisplayConfigManagerForCAC", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Configuration Manager");
    EXPECT_EQ(TabTitles(d, sheet),
              (std::vector<std::string>{"General", "Application", "Office Add-in", "Document Management"}));
    HWND office = ShowTab(d, sheet, 2, 160);
    Shot(d, sheet, "config-cac-office");
    EXPECT_FALSE(d.IsChecked(d.Control(office, 1012)));
    EXPECT_FALSE(d.IsEnabled(d.Control(office, 1012)));
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kConfig, "InsertSignatureBlock"), "dword:0");
}

TEST_F(ConfigManager, PolicyLocksTheSettingsPagesOnlyWhileItsSwitchIsOff) {
  struct Case {
    const char* name;
    int policy;  // -1: no policy key, else the switch
    bool locked;
  } cases[] = {{"switch off", 0, true}, {"switch on", 1, false}, {"no policy", -1, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    if (k.policy < 0) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, CSecurityPolicy::kKeyPath);
    } else {
      CSecurityPolicy policy;
      policy.m_bConfigurationManager = static_cast<BYTE>(k.policy);
      ASSERT_TRUE(policy.CreateKey());
    }
    ShowWindowExport("DisplayConfigManager", [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Configuration Manager");
      struct Tab {
        int index;
        ULONG_PTR id;
        bool follows;
      } tabs[] = {{0, 129, true},    {1, 133, true},    {2, 160, true},   {3, 30050, true},
                  {4, 30048, true},  {5, 30049, true},  {6, 30067, false}};
      for (const Tab& t : tabs) {
        HWND page = ShowTab(d, sheet, t.index, t.id);
        if (k.locked && t.id == 129) Shot(d, sheet, "config-general-locked");
        bool locked = k.locked && t.follows;
        std::vector<int> enabled = EnabledControls(d, page);
        if (locked) {
          EXPECT_EQ(enabled, std::vector<int>{}) << "page " << t.id;
        } else if (t.id != 133) {
          // Unlocked, every control is enabled (the application page has rules of its own).
          EXPECT_EQ(enabled, NonStaticControls(d, page)) << "page " << t.id;
        }
      }
      d.Click(d.Control(sheet, IDCANCEL));
      d.WaitForGone(sheet);
    });
  }
}

TEST_F(ConfigManager, MailPageOpensItsDialogsAndKeepsTheValueWithoutAControl) {
  WriteDword(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\General", "m_bCleanShutAtExit", 0);
  ShowWindowExport("DisplayConfigManager", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Configuration Manager");
    HWND mail = ShowTab(d, sheet, 5, 30049);
    d.Click(d.Control(mail, 1253));
    HWND esign = d.WaitForDialog(1138);
    d.Click(d.Control(esign, IDCANCEL));
    d.WaitForGone(esign);
    d.Click(d.Control(mail, 1252));
    HWND compression = d.WaitForDialog(30040);
    d.SetCheck(d.Control(compression, 1065), true);
    d.Click(d.Control(compression, IDOK));
    d.WaitForGone(compression);
    d.SetCheck(d.Control(mail, 1109), true);
    EXPECT_TRUE(d.IsEnabled(d.Control(sheet, ID_APPLY_NOW)));
    d.Click(d.Control(sheet, ID_APPLY_NOW));
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  const std::string general = "Software\\Kesmora\\MailTolvex\\General";
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, general, "m_bEnableAddin"), "dword:1");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, general, "m_bCleanShutAtExit"), "dword:0");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\Compression", "m_bCompress"), "dword:1");
}

class MailDialogs : public SettingsTest {};

TEST_F(MailDialogs, CompressionShowsTheRecordsDefaultsAndRefusesLevelsOutsideOneToTen) {
  const std::string key = "Software\\Kesmora\\MailTolvex\\Compression";
  DeleteKeyTree(HKEY_CURRENT_USER, key);
  INT_PTR result = ShowPlainExport("DisplayArchiveConfig", [&](kx::UiDriver& d) {
    HWND dialog = d.WaitForDialog(30040);
    Shot(d, dialog, "compression");
    EXPECT_FALSE(d.IsChecked(d.Control(dialog, 1065)));
    EXPECT_EQ(d.Text(d.Control(dialog, 1018)), "9");
    for (const char* refused : {"0", "11"}) {
      d.SetText(d.Control(dialog, 1018), refused);
      d.Click(d.Control(dialog, IDOK));
      EXPECT_EQ(kxtest::AnswerPage(d, "OK"), "Please enter an integer between 1 and 10.") << refused;
      EXPECT_TRUE(d.IsVisible(dialog)) << refused;
    }
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, key, "m_Level"), "") << "nothing stored while refused";
    d.SetText(d.Control(dialog, 1018), "10");
    d.SetCheck(d.Control(dialog, 1065), true);
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_CURRENT_USER, key), (Values{{"m_Level", "dword:10"}, {"m_bCompress", "dword:1"}}));
}

TEST_F(MailDialogs, ESignatureShowsTheStoredOptionsAndSavesThem) {
  const std::string key = "Software\\Kesmora\\MailTolvex\\ESign";
  INT_PTR result = ShowPlainExport("DisplayESign", [&](kx::UiDriver& d) {
    HWND dialog = d.WaitForDialog(1138);
    Shot(d, dialog, "esign");
    const int ids[] = {1233, 1235, 1234, 1231, 1230, 1232};
    const bool defaults[] = {true, true, true, true, true, false};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(d.IsChecked(d.Control(dialog, ids[i])), defaults[i]) << ids[i];
    d.SetCheck(d.Control(dialog, 1233), false);
    d.SetCheck(d.Control(dialog, 1232), true);
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(kxtest::DumpRegistry(HKEY_CURRENT_USER, key),
            (Values{{"m_bComply1", "dword:0"}, {"m_bComply2", "dword:1"}, {"m_bComply4", "dword:1"},
                    {"m_bESign", "dword:1"}, {"m_bESignTrack", "dword:1"}, {"m_bTimeStamp", "dword:1"}}));
}

}  // namespace
