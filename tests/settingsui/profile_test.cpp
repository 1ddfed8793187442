// The system profile sheet through its exports: its pages in both variants, the default presets (listed from
// their files, dropped when gone, removed row by row), the cipher and output page with its checks, the
// verification options, and the transport page with its proxy credentials and connection test against a
// stand-in service on 127.0.0.1.
#include <memory>

#include "core/SecurityPolicy.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/ldap/ldap.h"
#include "platform/mfc/cfile.h"
#include "platform/win32/stateroot.h"
#include "services/local_server.h"
#include "settingsui/settings_fixture.h"

namespace {

using namespace settingstest;

const char kProfile[] = "Software\\Kesmora\\OfficeTolvex\\System_Profile";
const char kTransport[] = "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport";
const char kProxyAuth[] = "Software\\Kesmora\\OfficeTolvex\\ProxyAuth";

// A one-click preset file of that kind and name.
std::string WritePreset(const std::string& file, int kind, const char* name) {
  std::string path = kxtest::MakeTempDir("presets") + "/" + file;
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> object(manager.CreateFileObject("KCLK"));
  auto* preset = dynamic_cast<COneClickFile*>(object.get());
  EXPECT_NE(preset, nullptr);
  if (!preset) return path;
  preset->GetOptions()[0] = static_cast<BYTE>(kind);
  preset->GetOptions()[7] = 1;
  preset->m_info.m_strText3 = name;
  preset->SetCreationDate();
  preset->SetCreationTime();
  EXPECT_TRUE(preset->Save(path.c_str())) << path;
  return path;
}

std::vector<std::string> Column(kx::UiDriver& d, HWND list, int column) {
  kx::ControlDriver c(d);
  std::vector<std::string> texts;
  for (int r = 0; r < c.ListRowCount(list); ++r) texts.push_back(c.ListText(list, r, column));
  return texts;
}

class SystemProfile : public SettingsTest {
 protected:
  // Opens the normal sheet and runs the script on it; the export's result.
  INT_PTR Open(const std::function<void(kx::UiDriver&, HWND sheet)>& script) {
    return ShowWindowExport("DisplaySystemProfile", [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("System Profile");
      script(d, sheet);
      if (IsWindow(sheet)) {
        d.Click(d.Control(sheet, IDCANCEL));
        d.WaitForGone(sheet);
      }
    });
  }
};

TEST_F(SystemProfile, BothVariantsShowTheirPagesAndReturnOne) {
  INT_PTR result = Open([&](kx::UiDriver& d, HWND sheet) {
    EXPECT_EQ(TabTitles(d, sheet), (std::vector<std::string>{"Default Presets", "Cipher and Output", "Enrolment Service",
                                                             "Verification", "Transport", "My Profiles"}));
    Page(d, sheet, 4230);
    Shot(d, sheet, "profile-presets");
  });
  EXPECT_EQ(result, 1);
  result = ShowWindowExport("DisplaySystemProfileForCAC", [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("System Profile for Smart Cards");
    EXPECT_EQ(TabTitles(d, sheet), (std::vector<std::string>{"One-Click Settings", "Cipher and Output"}));
    Page(d, sheet, 30066);
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
}

TEST_F(SystemProfile, MainPageListsTheAssignedPresetsDropsMissingOnesAndRemovesTheChosenRow) {
  const std::string encrypt = WritePreset("encrypt.clk", 0, "Office Encrypt");
  const std::string stray = WritePreset("stray.clk", 0, "Stray Encrypt");
  const std::string countersign = WritePreset("countersign.clk", 3, "Countersign All");
  WriteString(HKEY_CURRENT_USER, kProfile, "EncryptSettings", encrypt);
  // A preset of another kind in the sign slot, and a countersigning one whose file is gone.
  WriteString(HKEY_CURRENT_USER, kProfile, "SignSettings", stray);
  WriteString(HKEY_CURRENT_USER, kProfile, "CountersignSettings", kxtest::Root() + "/gone.clk");
  WriteString(HKEY_CURRENT_USER, kProfile, "SignEncSettings", countersign);
  Open([&](kx::UiDriver& d, HWND sheet) {
    HWND page = Page(d, sheet, 4230);
    HWND list = d.Control(page, 1033);
    Shot(d, sheet, "profile-presets-listed");
    EXPECT_EQ(Column(d, list, 0), (std::vector<std::string>{"Office Encrypt", "Stray Encrypt", "Countersign All"}));
    EXPECT_EQ(Column(d, list, 1), (std::vector<std::string>{"Encrypt", "Encrypt", "Countersign"}));
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(encrypt.c_str(), status));
    EXPECT_EQ(Column(d, list, 2)[0], std::string(status.m_mtime.Format("%d %B, %Y")));
    EXPECT_EQ(Column(d, list, 3)[0], std::to_string(status.m_size) + " bytes");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProfile, "CountersignSettings"), "sz:") << "the missing preset is dropped";
    for (int id : {1050, 1051, 1012}) EXPECT_TRUE(d.IsEnabled(d.Control(page, id))) << id;

    // The second row goes, though its kind's name is that of the first.
    kx::ControlDriver(d).ListClickRow(list, 1);
    d.Click(d.Control(page, 1051));
    EXPECT_EQ(d.AnswerMessageBox(IDYES),
              "Do you want to remove the selected preset from the system profile? The preset file itself is kept.");
    EXPECT_EQ(Column(d, list, 0), (std::vector<std::string>{"Office Encrypt", "Countersign All"}));
    kx::ControlDriver(d).ListClickRow(list, 0);
    d.Click(d.Control(page, 1051));
    d.AnswerMessageBox(IDYES);
    kx::ControlDriver(d).ListClickRow(list, 0);
    d.Click(d.Control(page, 1051));
    d.AnswerMessageBox(IDYES);
    EXPECT_EQ(Column(d, list, 0), std::vector<std::string>{});
    EXPECT_TRUE(d.IsEnabled(d.Control(page, 1050)));
    EXPECT_FALSE(d.IsEnabled(d.Control(page, 1051)));
    EXPECT_FALSE(d.IsEnabled(d.Control(page, 1012)));
  });
  for (const char* value : {"EncryptSettings", "SignSettings", "CountersignSettings", "SignEncSettings"})
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProfile, value), "sz:") << value;
  EXPECT_TRUE(kxtest::ReadFile(stray).size() > 0) << "the preset file itself stays";
}

TEST_F(SystemProfile, CipherPageOffersTheKeyLengthsOfEachAlgorithmAndChecksTheOutputFolder) {
  WriteDword(HKEY_CURRENT_USER, kProfile, "Algorithm", 0);
  Values before = UserValues();
  Open([&](kx::UiDriver& d, HWND sheet) {
    kx::ControlDriver c(d);
    HWND page = ShowTab(d, sheet, 1, 4231);
    Shot(d, sheet, "profile-cipher");
    HWND algorithms = d.Control(page, 1038), lengths = d.Control(page, 1039);
    EXPECT_EQ(c.ComboItems(algorithms),
              (std::vector<std::string>{"DES", "Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)"}));
    EXPECT_EQ(c.ComboText(algorithms), "Triple DES (2-Key)");
    EXPECT_EQ(c.ComboItems(lengths), std::vector<std::string>{"128 bits"});
    EXPECT_EQ(c.ComboText(d.Control(page, 1143)), "2 MB") << "2 MB is the profile's default";
    for (int id : {1032, 1009}) EXPECT_FALSE(d.IsEnabled(d.Control(page, id))) << id;
    struct Case {
      const char* algorithm;
      std::vector<std::string> lengths;
      const char* chosen;
    } cases[] = {{"DES", {"56 bits", "40 bits"}, "56 bits"},
                 {"RC2", {"40 bits", "128 bits"}, "128 bits"},
                 {"RC4", {"40 bits", "128 bits"}, "40 bits"},
                 {"Triple DES (3-Key)", {"128 bits", "192 bits"}, "192 bits"}};
    for (const Case& k : cases) {
      c.ComboPick(algorithms, k.algorithm);
      EXPECT_EQ(c.ComboItems(lengths), k.lengths) << k.algorithm;
      EXPECT_EQ(c.ComboText(lengths), k.chosen) << k.algorithm;
    }
    // One folder for the results must name the folder.
    d.Click(d.Control(page, 1083));
    for (int id : {1032, 1009}) EXPECT_TRUE(d.IsEnabled(d.Control(page, id))) << id;
    d.Click(d.Control(sheet, IDOK));
    EXPECT_EQ(d.AnswerMessageBox(IDOK),
              "Please choose the output folder, or let the results go beside the input files.");
    EXPECT_TRUE(d.IsVisible(sheet)) << "the sheet stays open with the user's choices";
    d.SetText(d.Control(page, 1032), "/data/protected");
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(Changes(before, UserValues()), (Values{
                                               {"OfficeTolvex\\System_Profile\\AlgoIndex", "dword:4"},
                                               {"OfficeTolvex\\System_Profile\\KeyLenIndex", "dword:1"},
                                               {"OfficeTolvex\\System_Profile\\Algorithm", "dword:3"},
                                               {"OfficeTolvex\\System_Profile\\KeyLength", "dword:4"},
                                               {"OfficeTolvex\\System_Profile\\OutputOption", "dword:1"},
                                               {"OfficeTolvex\\System_Profile\\OutputFolder", "sz:/data/protected"},
                                           }));
}

TEST_F(SystemProfile, AesIsOfferedOnlyForTheNewerFileFormat) {
  WriteDword(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence", "TVX_FormatVersion", 2);
  WriteDword(HKEY_CURRENT_USER, kProfile, "MemoryCache", 0);
  Open([&](kx::UiDriver& d, HWND sheet) {
    kx::ControlDriver c(d);
    HWND page = ShowTab(d, sheet, 1, 4231);
    EXPECT_EQ(c.ComboText(d.Control(page, 1143)), "1 MB") << "a stored 0 shows the first size";
    c.ComboPick(d.Control(page, 1038), "AES");
    EXPECT_EQ(c.ComboItems(d.Control(page, 1039)), (std::vector<std::string>{"128 bits", "256 bits"}));
    EXPECT_EQ(c.ComboText(d.Control(page, 1039)), "256 bits");
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProfile, "Algorithm"), "dword:4");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProfile, "KeyLength"), "dword:5");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProfile, "MemoryCache"), "dword:1");
}

TEST_F(SystemProfile, VerificationPageSavesItsSwitches) {
  Values before = UserValues();
  Open([&](kx::UiDriver& d, HWND sheet) {
    HWND page = ShowTab(d, sheet, 3, 4233);
    Shot(d, sheet, "profile-verification");
    for (int id : {1088, 1090, 1084, 1089, 1086, 1085}) EXPECT_TRUE(d.IsChecked(d.Control(page, id))) << id;
    EXPECT_FALSE(d.IsEnabled(d.Control(page, 1087)));
    d.SetCheck(d.Control(page, 1089), false);
    d.SetCheck(d.Control(page, 1084), false);
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(Changes(before, UserValues()), (Values{{"OfficeTolvex\\System_Profile\\VerifyHash", "dword:0"},
                                                   {"OfficeTolvex\\System_Profile\\Brastel", "dword:0"}}));
}

TEST_F(SystemProfile, PolicyLocksEveryPageWhileItsSwitchIsOff) {
  CSecurityPolicy policy;
  policy.m_bSystemProfile = 0;
  ASSERT_TRUE(policy.CreateKey());
  Open([&](kx::UiDriver& d, HWND sheet) {
    const ULONG_PTR pages[] = {4230, 4231, 4253, 4233, 30038, 30039};
    for (int i = 0; i < 6; ++i) {
      HWND page = ShowTab(d, sheet, i, pages[i]);
      if (i == 1) Shot(d, sheet, "profile-cipher-locked");
      EXPECT_EQ(EnabledControls(d, page), std::vector<int>{}) << pages[i];
    }
  });
}

TEST_F(SystemProfile, TransportPageFollowsTheProxySwitchesAndStoresAllSevenValues) {
  WriteDword(HKEY_CURRENT_USER, kTransport, "m_TxIndex", 3);
  Open([&](kx::UiDriver& d, HWND sheet) {
    kx::ControlDriver c(d);
    HWND page = ShowTab(d, sheet, 4, 30038);
    Shot(d, sheet, "profile-transport");
    auto enabled = [&] {
      std::vector<bool> e;
      for (int id : {1225, 1113, 1166, 1112, 1155, 1164, 1163}) e.push_back(d.IsEnabled(d.Control(page, id)));
      return e;
    };
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false, false, false, true}));
    Shot(d, sheet, "profile-transport-disabled");
    // The disabled button's globe keeps its shapes (it used to be a plain grey disc): its picture follows the
    // enabled one's, pixel for pixel.
    const std::string pictures = kxtest::MakeTempDir("pictures");
    d.SavePng(d.Control(page, 1164), pictures + "/disabled.png");
    d.SetCheck(d.Control(page, 1224), true);
    d.SetCheck(d.Control(page, 1225), true);
    d.SavePng(d.Control(page, 1164), pictures + "/enabled.png");
    std::string likeness;
    EXPECT_EQ(kxtest::Run("python3 '" + kxtest::SourceDir() + "/tests/settingsui/picture_likeness.py' '" + pictures +
                              "/enabled.png' '" + pictures + "/disabled.png'",
                          &likeness),
              0)
        << likeness;
    EXPECT_GT(std::atof(likeness.c_str()), 0.9) << likeness;  // embossed: about 0.77
    d.SetCheck(d.Control(page, 1225), false);
    d.SetCheck(d.Control(page, 1224), false);
    d.SetCheck(d.Control(page, 1224), true);
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true, true, false, true}));
    d.SetCheck(d.Control(page, 1225), true);
    EXPECT_TRUE(d.IsEnabled(d.Control(page, 1164)));
    d.SetCheck(d.Control(page, 1224), false);
    EXPECT_FALSE(d.IsEnabled(d.Control(page, 1164))) << "no proxy, no credentials";
    d.SetCheck(d.Control(page, 1224), true);

    // The address as an IP address, and back.
    c.ComboPick(d.Control(page, 1166), "IP address");
    EXPECT_TRUE(d.IsVisible(d.Control(page, 1172)));
    EXPECT_FALSE(d.IsVisible(d.Control(page, 1112)));
    EXPECT_EQ(d.Text(d.Control(page, 1171)), "Server &IP address:");
    Shot(d, sheet, "profile-transport-ip");
    c.ComboPick(d.Control(page, 1166), "URL");
    EXPECT_FALSE(d.IsVisible(d.Control(page, 1172)));
    EXPECT_EQ(d.Text(d.Control(page, 1171)), "Server &URL:");
    d.SetText(d.Control(page, 1112), "proxy.example");

    // A port no connection can use is refused.
    d.SetText(d.Control(page, 1113), "70000");
    d.Click(d.Control(sheet, ID_APPLY_NOW));
    EXPECT_EQ(kxtest::AnswerPage(d, "OK"), "Please enter an integer between 1 and 65535.");
    d.SetText(d.Control(page, 1113), "3128");

    d.Click(d.Control(page, 1163));
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "The Internet options cannot be shown on this system.");

    d.Click(d.Control(page, 1164));
    HWND auth = d.WaitForDialog(130);
    Shot(d, auth, "proxy-authentication");
    EXPECT_EQ(d.Text(d.Control(auth, 2007)), "");
    EXPECT_FALSE(d.IsEnabled(d.Control(auth, IDOK)));
    d.SetText(d.Control(auth, 2007), "alice");
    EXPECT_FALSE(d.IsEnabled(d.Control(auth, IDOK))) << "a password is needed too";
    d.SetText(d.Control(auth, 1009), "s3cret");
    EXPECT_TRUE(d.IsEnabled(d.Control(auth, IDOK)));
    d.Click(d.Control(auth, IDOK));
    d.WaitForGone(auth);
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  Values stored = kxtest::DumpRegistry(HKEY_CURRENT_USER, kTransport);
  EXPECT_EQ(stored.size(), 7u);
  EXPECT_EQ(stored["m_bProxy"], "dword:1");
  EXPECT_EQ(stored["m_bSmartProxy"], "dword:1");
  EXPECT_EQ(stored["m_Port"], "dword:3128");
  EXPECT_EQ(stored["m_TxIndex"], "dword:3");
  EXPECT_EQ(stored["m_TxAddressIndex"], "dword:0");
  EXPECT_EQ(stored["m_strURL"], "sz:proxy.example");
  // The password is kept sealed: nothing of it is in the registry database as typed.
  Values auth = kxtest::DumpRegistry(HKEY_CURRENT_USER, kProxyAuth);
  EXPECT_EQ(auth["m_strUser"], "sz:alice");
  EXPECT_EQ(auth["m_strPassword"].substr(0, 6), "type3:");
  // Every value's bytes as text and as hex: the user name is there, the password is not.
  std::string dump;
  const std::string db = "'" + kx::UserStateDir() + "/registry.db'";
  ASSERT_EQ(kxtest::Run("sqlite3 " + db + " .dump && sqlite3 " + db + " 'select name, hex(data) from vals'", &dump), 0)
      << dump;
  EXPECT_NE(dump.find("616C696365"), std::string::npos) << "the user name's bytes";
  EXPECT_EQ(dump.find("s3cret"), std::string::npos);
  EXPECT_EQ(dump.find("733363726574"), std::string::npos) << "the password's bytes in a value";
  // What is stored unseals to what was typed.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kProxyAuth, 0, KEY_READ, &key), ERROR_SUCCESS);
  BYTE sealed[512];
  DWORD type = 0, size = sizeof sealed;
  ASSERT_EQ(RegQueryValueEx(key, "m_strPassword", nullptr, &type, sealed, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string plain;
  EXPECT_TRUE(kx::ldap::UnsealSecret(std::string(reinterpret_cast<char*>(sealed), size), plain));
  EXPECT_EQ(plain, "s3cret");
}


TEST_F(SystemProfile, ConnectionTestUsesThePagesSettingsThroughAnAuthenticatingProxy) {
  kxtest::LocalServer proxy;
  std::string log = kxtest::MakeTempDir("proxy") + "/requests.log";
  std::string error;
  ASSERT_TRUE(proxy.Start(kxtest::SourceDir() + "/tests/enrolment/enrolment_server.py",
                          {log, "--proxy-auth", "alice:s3cret"}, &error))
      << error;
  // A service only the proxy can reach; the address of its description answers at once.
  WriteString(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence", "Transport_Address_URL",
              "http://enrolment.invalid");
  WriteString(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence", "Transport_Address_IP",
              "127.0.0.1:" + std::to_string(kxtest::UnusedPort()));
  std::vector<std::string> answers;
  Open([&](kx::UiDriver& d, HWND sheet) {
    HWND page = ShowTab(d, sheet, 4, 30038);
    d.SetCheck(d.Control(page, 1224), true);
    d.SetText(d.Control(page, 1112), "127.0.0.1");
    d.SetText(d.Control(page, 1113), std::to_string(proxy.port()));
    d.Click(d.Control(page, 1155));
    answers.push_back(d.AnswerMessageBox(IDOK));
    d.SetCheck(d.Control(page, 1225), true);
    d.Click(d.Control(page, 1164));
    HWND auth = d.WaitForDialog(130);
    d.SetText(d.Control(auth, 2007), "alice");
    d.SetText(d.Control(auth, 1009), "s3cret");
    d.Click(d.Control(auth, IDOK));
    d.WaitForGone(auth);
    d.Click(d.Control(page, 1155));
    answers.push_back(d.AnswerMessageBox(IDOK));
  });
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].rfind("The enrolment service could not be reached (Reason:", 0), 0u) << answers[0];
  EXPECT_NE(answers[0].find("407"), std::string::npos) << answers[0];
  EXPECT_EQ(answers[1], "The connection to the enrolment service works.");
  // The page's values were stored before the test, though the sheet was cancelled after it.
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kTransport, "m_bProxy"), "dword:1");
}

}  // namespace
