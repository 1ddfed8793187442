// The settings sheets as a host opens them: the library loaded through the platform's loader, each sheet's
// export found by name and driven through the window system as a person does; the registry read back.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/pages.h"
#include "app/regdump.h"
#include "library/library.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/registry.h"

namespace settingstest {

using kxtest::Page;
using Script = std::function<void(kx::UiDriver&)>;
using Values = std::map<std::string, std::string>;

class SettingsTest : public libtest::LibraryTest {
 protected:
  // The library leaves its certificate file component registered when it unloads, and the next load would
  // release the stale entry: the test drops it while the library is still there.
  void TearDown() override;
  // Runs an export of the form (HWND) or (int, int) on this thread, the script beside it; the export's result.
  INT_PTR ShowWindowExport(const char* name, const Script& script);
  INT_PTR ShowPlainExport(const char* name, const Script& script);
};

// The current user's settings below "Software\Kesmora", as "key\name" -> "type:value".
Values UserValues();
// What differs between two readings: name -> the later value ("" for a value that went).
Values Changes(const Values& before, const Values& after);
std::string ReadValue(HKEY root, const std::string& key, const std::string& name);
void WriteDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void WriteString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void DeleteKeyTree(HKEY root, const std::string& key);

// The sheet's tab captions, and a click on a tab (then the page of that template is waited for).
std::vector<std::string> TabTitles(kx::UiDriver& d, HWND sheet);
HWND ShowTab(kx::UiDriver& d, HWND sheet, int index, ULONG_PTR templateId);
// A PNG of the window in the test's shots folder.
void Shot(kx::UiDriver& d, HWND window, const std::string& name);
// The controls of a page that are enabled, by id (static texts left out).
std::vector<int> EnabledControls(kx::UiDriver& d, HWND page);
std::vector<int> NonStaticControls(kx::UiDriver& d, HWND page);

}  // namespace settingstest
