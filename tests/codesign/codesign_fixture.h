// Shared set-up of the code-signing wizard tests: the test PKI trusted in the user's stores with the code
// signing certificate and its key in "My", copies of the mingw-built programs of the signed-code tests, a
// time-stamping service on 127.0.0.1, osslsigncode as the outside check, and the steps a person takes in the
// wizard's pages.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/controldriver.h"
#include "platform/ui/driver.h"
#include "services/local_server.h"

namespace codesign {

// Templates and controls of the wizard's pages.
enum : int {
  kWelcome = 30023,
  kFiles = 30019,
  kSigner = 30022,
  kResults = 30021,
  kFinish = 4250,
  kVerifyChoice = 1197,
  kFilePath = 1031,
  kBrowseFiles = 1008,
  kSeveral = 1036,
  kOutputFolder = 1032,
  kBrowseOutput = 1009,
  kProfileFolder = 1035,
  kMail = 1029,
  kSignerList = 1033,
  kChoose = 1043,
  kView = 1012,
  kClear = 1053,
  kCountersign = 1034,
  kServerKind = 1210,
  kServerCaption = 1171,
  kServerUrl = 1112,
  kServerAddress = 1172,
  kResultList = 1033,
  kMessage = 1098,
  kCount = 1088,
  kPercent = 1089,
  kRunAgain = 1085,
  kOpen = 1082,
  kSaveAs = 1083,
  kDetails = 1080,
  kMailOne = 1090,
  kSummaryStatus = 1020
};

// Fixed texts of the workers.
inline const char kReadFailed[] = "Failed to read the file (check if Fle size is not 0)";

class CodeSignTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A copy of a PE test program (hello32.exe, hello64.exe, hello32.dll, hello64.dll) in the folder.
  std::string Program(const std::string& fixture, const std::string& folder, const std::string& as = "");
  // Starts the time-stamping service of the signed-code tests.
  void StartTimeStamping();
  // osslsigncode's verdict on a file with the fixture's root as trust anchor (and as the stamp's, when
  // stamped); *out receives what it printed.
  static bool OsslVerify(const std::string& path, bool stamped, std::string* out = nullptr);
  // The names in a folder, sorted.
  static std::vector<std::string> Names(const std::string& folder);

  std::string m_dir;
  kxtest::LocalServer m_tsa;
};

// Steps in the wizard, as a person takes them. The sheet is the wizard's window.
namespace steps {

void Next(kx::UiDriver& d, HWND sheet);
// The welcome page's choice, then Next.
void Choose(kx::UiDriver& d, HWND sheet, bool verify);
// Several files through the file list dialog and its file dialog, all from one folder.
void AddFiles(kx::UiDriver& d, HWND page, const std::string& folder, const std::vector<std::string>& names);
// Ticks "several digital IDs", answers the question with Yes, and picks the subjects on the personal page of
// the selection sheet.
void ChooseSigners(kx::UiDriver& d, HWND page, const std::vector<std::string>& subjects);
// Waits until the run has ended (the wizard offers Next or Finish); the message pages a run shows on the way
// are answered with OK and their texts returned.
std::vector<std::string> WaitForRunEnd(kx::UiDriver& d, HWND sheet);
// One column of a list, row by row.
std::vector<std::string> Column(kx::UiDriver& d, HWND list, int column);
// Saves a PNG of the window under $KX_SCREENSHOT_DIR (or a temporary folder).
void Shot(kx::UiDriver& d, HWND window, const char* name);

}  // namespace steps
}  // namespace codesign
