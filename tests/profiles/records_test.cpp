// The profile records in the registry: the list's layout, loading, folders and preset paths given on saving,
// removal with the default kept on its profile, and what makes a profile complete.
#include <sys/stat.h>

#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "profiles/profiles_fixture.h"

using namespace profiletest;

namespace {

class Records : public ProfileTest {};

bool IsDir(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void WriteProfileKey(const std::string& index, const std::string& email) {
  HKEY key = nullptr;
  std::string path = std::string(kMailProfilesKey) + "\\m_List\\" + index;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  RegSetValueEx(key, "m_strEmailName", 0, REG_SZ, reinterpret_cast<const BYTE*>(email.c_str()),
                static_cast<DWORD>(email.size() + 1));
  RegCloseKey(key);
}

TEST_F(Records, LoadingStopsAtTheFirstMissingProfileAndFindsAddressesWithoutCase) {
  WriteProfileKey("0", "Ann@Example.com");
  WriteProfileKey("2", "bea@example.com");
  HKEY list = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, (std::string(kMailProfilesKey) + "\\m_List").c_str(), 0, nullptr, 0,
                           KEY_WRITE, nullptr, &list, nullptr),
            0);
  DWORD count = 3;
  RegSetValueEx(list, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4);
  RegCloseKey(list);

  CMailProfileList loaded = Stored();
  ASSERT_EQ(loaded.GetCount(), 1);
  // Values that are not stored take their defaults.
  EXPECT_EQ(loaded.GetAt(0).m_bVerifyAll, 1);
  EXPECT_EQ(loaded.GetAt(0).m_bAttachment, 1);
  EXPECT_TRUE(loaded.FindByName("ann@EXAMPLE.com"));
  EXPECT_FALSE(loaded.FindByName("bea@example.com"));

  // Without the key the list is empty and nobody's default.
  SHDeleteKey(HKEY_CURRENT_USER, kMailProfilesKey);
  CMailProfileList none(HKEY_CURRENT_USER, kMailProfilesKey);
  EXPECT_NE(none.Load(), 0);
  EXPECT_EQ(none.GetCount(), 0);
  EXPECT_EQ(none.m_Default, 0u);
}

TEST_F(Records, SavingGivesEachProfileAFolderOfItsOwnAndKeepsPathsAlreadySet) {
  // A copy makes the profiles, basket and one-click folders.
  CMailProfileSettings fresh;
  fresh.m_strDesc = "x";
  CMailProfileSettings copy(fresh);
  EXPECT_TRUE(IsDir(m_profilesFolder));
  EXPECT_TRUE(IsDir(m_profilesFolder + "/Temp_Outlook_Basket_001"));
  EXPECT_TRUE(IsDir(m_documents + "/My OneClick Settings"));
  EXPECT_EQ(copy.m_bAttachment, 0) << "the copy takes the copied values only";

  CMailProfileSettings first = StoreProfile("Work", "ann@example.com", false);
  const std::string dir(first.m_strDir);
  EXPECT_EQ(dir.rfind(m_profilesFolder + "/XQ1", 0), 0u) << dir;
  EXPECT_EQ(dir.find(".tmp"), std::string::npos);
  EXPECT_TRUE(IsDir(dir));
  EXPECT_EQ(std::string(first.m_strSignOneClick), dir + "/Sign.Clk");
  EXPECT_EQ(std::string(first.m_strEncOneClick), dir + "/Enc.Clk");
  EXPECT_EQ(std::string(first.m_strSignEncOneClick), dir + "/SignAndEnc.Clk");
  // Nothing but the folder is left in the profiles folder.
  EXPECT_EQ(GetFileAttributes((dir + ".tmp").c_str()), INVALID_FILE_ATTRIBUTES);

  // The folder went: a new one, the preset paths as they were.
  RemoveDirectory(dir.c_str());
  CMailProfileList list = Stored();
  list.GetAt(0).m_strSignOneClick = "/elsewhere/Sign.Clk";
  ASSERT_TRUE(list.SaveList());
  CMailProfileList again = Stored();
  const std::string moved(again.GetAt(0).m_strDir);
  EXPECT_NE(moved, dir);
  EXPECT_TRUE(IsDir(moved));
  EXPECT_EQ(std::string(again.GetAt(0).m_strSignOneClick), "/elsewhere/Sign.Clk");
  EXPECT_EQ(std::string(again.GetAt(0).m_strEncOneClick), dir + "/Enc.Clk");

  auto values = ProfileValues();
  EXPECT_EQ(values["m_List\\Count"], "dword:1");
  EXPECT_EQ(values["m_List\\0\\m_strEmailName"], "sz:ann@example.com");
  EXPECT_EQ(values["m_List\\0\\m_bAttachment"], "dword:0");
  EXPECT_EQ(values["m_List\\0\\m_bVerifyAll"], "dword:1");
  EXPECT_EQ(values["m_Default"], "dword:0");
}

TEST_F(Records, RemovingRenumbersTheListAndTheDefaultStaysOnItsProfile) {
  StoreProfile("A", "a@example.com", false);
  CMailProfileSettings b = StoreProfile("B", "b@example.com", false);
  StoreProfile("C", "c@example.com", false);
  // A subkey of a longer list that was never cleared away.
  WriteProfileKey("7", "stale@example.com");
  CMailProfileList list = Stored();
  list.m_Default = 2;
  ASSERT_TRUE(list.SaveList());

  list = Stored();
  CMailProfileSettings missing = b;
  missing.m_strFooter = "other";
  EXPECT_FALSE(list.RemoveProfile(missing)) << "only an equal profile goes";
  ASSERT_TRUE(list.RemoveProfile(list.GetAt(1)));
  EXPECT_FALSE(IsDir(std::string(b.m_strDir))) << "the empty folder goes with it";
  ASSERT_TRUE(list.SaveList());

  auto values = ProfileValues();
  EXPECT_EQ(values["m_List\\Count"], "dword:2");
  EXPECT_EQ(values["m_List\\0\\m_strDesc"], "sz:A");
  EXPECT_EQ(values["m_List\\1\\m_strDesc"], "sz:C");
  EXPECT_EQ(values.count("m_List\\2\\m_strDesc"), 0u);
  EXPECT_EQ(values.count("m_List\\7\\m_strEmailName"), 0u);
  EXPECT_EQ(values["m_Default"], "dword:1") << "C is still the default";
}

TEST_F(Records, AProfileIsCompleteWithItsNamesAndAllThreePresetFiles) {
  const CMailProfileSettings whole = StoreProfile("Whole", "w@example.com");
  EXPECT_TRUE(IsProfileComplete(whole));
  struct Case {
    const char* what;
    void (*change)(CMailProfileSettings&);
  } cases[] = {
      {"no display name", [](CMailProfileSettings& p) { p.m_strDesc.Empty(); }},
      {"no full name", [](CMailProfileSettings& p) { p.m_strFullName.Empty(); }},
      {"no address", [](CMailProfileSettings& p) { p.m_strEmailName.Empty(); }},
      {"encryption preset gone", [](CMailProfileSettings& p) { DeleteFile(p.m_strEncOneClick); }},
      {"signing preset a folder", [](CMailProfileSettings& p) { p.m_strSignOneClick = p.m_strDir; }},
      {"no sign-and-encrypt path", [](CMailProfileSettings& p) { p.m_strSignEncOneClick.Empty(); }},
  };
  for (const Case& c : cases) {
    CMailProfileSettings p = StoreProfile(c.what, "x@example.com");
    c.change(p);
    EXPECT_FALSE(IsProfileComplete(p)) << c.what;
  }
}

}  // namespace
