// kxhost runs an export of a library under a script of UI-driver actions and writes screenshots.
#include <string>

#include <gtest/gtest.h>

#include "support/testroot.h"

namespace {

struct Outcome {
  int code;
  std::string out;
};

Outcome Host(const std::string& args, const std::string& script = "") {
  std::string dir = kxtest::MakeTempDir("host");
  std::string cmd = "'" + kxtest::BuildDir() + "/bin/kxhost' --library kxtesthost --timeout 5000 ";
  if (!script.empty()) {
    kxtest::WriteFile(dir + "/script.txt", script);
    cmd += "--script '" + dir + "/script.txt' --shots '" + dir + "' ";
  }
  Outcome o;
  o.code = kxtest::Run(cmd + args + " 2>&1", &o.out);
  return o;
}

TEST(KxHost, RunsAWizardUnderAScriptAndTakesScreenshots) {
  Outcome o = Host("ShowTestWizard null s:Bob out:cstring",
                   "# fill in the wizard\n"
                   "wait \"Host Wizard\"\n"
                   "page 9001\n"
                   "disabled \"< Back\"\n"
                   "click \"Next >\"\n"
                   "page 9002\n"
                   "expect #1001 \"Bob\"\n"
                   "type #1001 \"Carol\"\n"
                   "click \"Next >\"\n"
                   "page 4250\n"
                   "screenshot finish\n"
                   "click Finish\n"
                   "gone\n");
  EXPECT_EQ(o.code, 1) << o.out;
  EXPECT_NE(o.out.find("result: 1\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("out 3: Carol\n"), std::string::npos) << o.out;
  // A picture of each page as it was shown, and the one the script asked for.
  std::string dir = kxtest::Root() + "/host";
  for (const char* png : {"/01-host-wizard-9001.png", "/02-host-wizard-9002.png", "/03-host-wizard-4250.png",
                          "/finish.png"})
    EXPECT_GT(kxtest::ReadFile(dir + png).size(), 1000u) << png << "\n" << o.out;
}

TEST(KxHost, MakesTheScreenshotFolderAndStaysHeadlessWhenAsked) {
  std::string dir = kxtest::MakeTempDir("host-shots");
  kxtest::WriteFile(dir + "/script.txt", "wait \"Host Wizard\"\nscreenshot first\nclick Cancel\n");
  std::string shots = dir + "/not/yet/there";
  std::string out;
  // --headless keeps the windows off any display DISPLAY names.
  int code = kxtest::Run("env DISPLAY=:97 KX_HEADLESS=0 '" + kxtest::BuildDir() + "/bin/kxhost' --headless --library kxtesthost "
                         "--timeout 5000 --script '" + dir + "/script.txt' --shots '" + shots + "' ShowTestWizard null "
                         "s:Bob out:cstring 2>&1", &out);
  EXPECT_EQ(code, 0) << out;
  EXPECT_GT(kxtest::ReadFile(shots + "/first.png").size(), 1000u) << out;
}

TEST(KxHost, ADisplayThatCannotBeOpenedEndsTheHostWithAClearError) {
  std::string out;
  int code = kxtest::Run("env -u KX_HEADLESS DISPLAY=:65000 '" + kxtest::BuildDir() + "/bin/kxhost' --library kxtesthost "
                         "AskYesNo null s:Sure? out:int 2>&1", &out);
  EXPECT_EQ(code, 1) << out;
  EXPECT_NE(out.find("cannot open the X display \":65000\""), std::string::npos) << out;
}

TEST(KxHost, AnswersAMessagePage) {
  Outcome yes = Host("AskYesNo null s:Overwrite? out:int", "answer Yes \"Overwrite?\"\n");
  EXPECT_EQ(yes.code, 1) << yes.out;
  EXPECT_NE(yes.out.find("out 3: 6\n"), std::string::npos) << yes.out;
  Outcome no = Host("AskYesNo null s:Overwrite? out:int", "answer No\n");
  EXPECT_NE(no.out.find("out 3: 7\n"), std::string::npos) << no.out;
}

TEST(KxHost, ChoosesInAPopupMenu) {
  Outcome o = Host("ChooseCommand null out:int", "menu \"More/Import\"\n");
  EXPECT_EQ(o.code, 1) << o.out;
  EXPECT_NE(o.out.find("out 2: 202\n"), std::string::npos) << o.out;
}

TEST(KxHost, FailuresHaveTheirOwnCodes) {
  // A script whose expectation fails names its line; the export still ends.
  Outcome bad = Host("AskYesNo null s:Sure? out:int", "answer Yes \"something else\"\nanswer No\n");
  EXPECT_EQ(bad.code, 125) << bad.out;
  EXPECT_NE(bad.out.find("script.txt:1: answer: "), std::string::npos) << bad.out;
  EXPECT_EQ(Host("NoSuchExport").code, 127);
  EXPECT_EQ(Host("ShowTestWizard nonsense").code, 2);
  Outcome syntax = Host("AskYesNo null s:x out:int", "frobnicate\n");
  EXPECT_EQ(syntax.code, 2);
  EXPECT_NE(syntax.out.find("script.txt:1: unknown action frobnicate"), std::string::npos) << syntax.out;
}

TEST(KxHost, MissingLibrary) {
  std::string out;
  int code = kxtest::Run("'" + kxtest::BuildDir() + "/bin/kxhost' --library NoSuchLibrary.DLL Anything 2>&1", &out);
  EXPECT_EQ(code, 126);
  EXPECT_NE(out.find("cannot load NoSuchLibrary.DLL"), std::string::npos) << out;
}

}  // namespace
