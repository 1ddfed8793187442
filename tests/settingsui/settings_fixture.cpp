#include "settingsui/settings_fixture.h"

#include <sys/stat.h>

#include <cstdlib>

#include "app/regdump.h"
#include "certificates/CertFileComponent.h"
#include "platform/com/combase.h"
#include "platform/ui/commctrl.h"

namespace settingstest {

void SettingsTest::TearDown() {
  kx::UnregisterClass(CLSID_CertFileComponent);
  LibraryTest::TearDown();
}

INT_PTR SettingsTest::ShowWindowExport(const char* name, const Script& script) {
  auto* show = Export<int(HWND)>(name);
  if (!show) return -1;
  return kx::RunWithUiHere([&] { return INT_PTR(show(nullptr)); }, script);
}

INT_PTR SettingsTest::ShowPlainExport(const char* name, const Script& script) {
  auto* show = Export<int(int, int)>(name);
  if (!show) return -1;
  return kx::RunWithUiHere([&] { return INT_PTR(show(0, 0)); }, script);
}

Values UserValues() { return kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora"); }

Values Changes(const Values& before, const Values& after) {
  Values changed;
  for (const auto& [name, value] : after) {
    auto it = before.find(name);
    if (it == before.end() || it->second != value) changed[name] = value;
  }
  for (const auto& [name, value] : before)
    if (!after.count(name)) changed[name] = "";
  return changed;
}

std::string ReadValue(HKEY root, const std::string& key, const std::string& name) {
  Values all = kxtest::DumpRegistry(root, key);
  auto it = all.find(name);
  return it == all.end() ? "" : it->second;
}

void WriteDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyEx(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS) << key;
  EXPECT_EQ(RegSetValueEx(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
  RegCloseKey(k);
}

void WriteString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyEx(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS) << key;
  EXPECT_EQ(RegSetValueEx(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

void DeleteKeyTree(HKEY root, const std::string& key) { SHDeleteKey(root, key.c_str()); }

std::vector<std::string> TabTitles(kx::UiDriver& d, HWND sheet) {
  HWND tab = d.ControlByClass(sheet, "SysTabControl32");
  std::vector<std::string> titles;
  d.Invoke(tab, [&] {
    int count = static_cast<int>(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char text[256] = {};
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessage(tab, TCM_GETITEM, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      titles.emplace_back(text);
    }
  });
  return titles;
}

HWND ShowTab(kx::UiDriver& d, HWND sheet, int index, ULONG_PTR templateId) {
  HWND tab = d.ControlByClass(sheet, "SysTabControl32");
  RECT item{};
  d.Invoke(tab, [&] { SendMessage(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)); });
  d.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
  return Page(d, sheet, templateId);
}

void Shot(kx::UiDriver& d, HWND window, const std::string& name) {
  // KX_SETTINGS_SHOTS keeps them in a folder of one's own.
  const char* own = std::getenv("KX_SETTINGS_SHOTS");
  std::string folder = own && *own ? std::string(own) : kxtest::MakeTempDir("shots");
  ::mkdir(folder.c_str(), 0755);
  d.SavePng(window, folder + "/" + name + ".png");
}

namespace {
std::vector<int> Controls(kx::UiDriver& d, HWND page, bool enabledOnly) {
  std::vector<int> ids;
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (d.ClassName(child) == "Static") continue;
    if (!enabledOnly || d.IsEnabled(child)) ids.push_back(GetDlgCtrlID(child));
  }
  return ids;
}
}  // namespace

std::vector<int> EnabledControls(kx::UiDriver& d, HWND page) { return Controls(d, page, true); }
std::vector<int> NonStaticControls(kx::UiDriver& d, HWND page) { return Controls(d, page, false); }

}  // namespace settingstest
