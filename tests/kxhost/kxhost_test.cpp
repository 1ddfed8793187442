// kxhost runs an export of a library under a script of UI-driver actions and writes screenshots.
#include <string>
#include <vector>

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

// The README's main job: the document, its protected copy and its decrypted copy stay beside the screenshots,
// where the paths it prints lead (they used to go with its temporary folder).
TEST(MainJob, KeepsTheDocumentAndItsCopiesBesideTheScreenshots) {
  const std::string shots = kxtest::MakeTempDir("main-job");
  std::string out;
  const int code = kxtest::Run("env -u DISPLAY KX_SHOTS_DIR='" + shots + "' bash '" + kxtest::SourceDir() +
                                   "/tools/kxhost/main-job.sh' '" + kxtest::BuildDir() + "' 2>&1",
                               &out);
  ASSERT_EQ(code, 0) << out;
  const std::string files = shots + "/files";
  EXPECT_NE(out.find(files + "/protected/report.doc.Tvx"), std::string::npos) << out;
  const std::string document = kxtest::ReadFile(files + "/documents/report.doc");
  EXPECT_GT(document.size(), 50000u);
  EXPECT_GT(kxtest::ReadFile(files + "/protected/report.doc.Tvx").size(), document.size());
  EXPECT_TRUE(kxtest::ReadFile(files + "/decrypted/report.doc") == document);
  EXPECT_GT(kxtest::ReadFile(shots + "/4-decrypt/decrypted.png").size(), 1000u) << out;
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

// kxhost's own failures have codes of their own, above any export's result, and --help lists them.
TEST(KxHost, FailuresHaveTheirOwnCodes) {
  std::string dir = kxtest::MakeTempDir("codes");
  kxtest::WriteFile(dir + "/gone.kxs", "gone\n");
  kxtest::WriteFile(dir + "/absent.kxs", "wait \"No Such Window\"\n");
  const std::string kxhost = "'" + kxtest::BuildDir() + "/bin/kxhost' ";
  const std::string scripted = kxhost + "--library kxtesthost --timeout 5000 --script '" + dir + "/gone.kxs' ";
  struct Row {
    const char* name;
    std::string command;
    std::string script;  // else the script kxhost runs AskYesNo under
    int code;
    std::string says;
  };
  const std::vector<Row> rows = {
      {"unknown option", kxhost + "--frobnicate 1 AskYesNo", "", 122, "unknown option --frobnicate"},
      {"bad argument", scripted + "ShowTestWizard nonsense", "", 122, "cannot read the argument \"nonsense\""},
      {"unreadable script", kxhost + "--script /nonexistent/x.kxs AskYesNo null s:x out:int", "", 122,
       "cannot read the script /nonexistent/x.kxs"},
      {"script syntax", "", "frobnicate\n", 122, "script.txt:1: unknown action frobnicate"},
      {"expectation not met", "", "answer Yes \"something else\"\nanswer No\n", 125, "script.txt:1: answer: "},
      {"wait timed out", kxhost + "--library kxtesthost --timeout 300 --script '" + dir + "/absent.kxs' AskYesNo null "
       "s:x out:int", "", 120, "wait: no window { title=\"No Such Window\" } appeared within 300 ms"},
      {"no such export", scripted + "NoSuchExport", "", 127, "has no export NoSuchExport"},
      {"missing library", kxhost + "--library NoSuchLibrary.DLL --script '" + dir + "/gone.kxs' Anything", "", 126,
       "cannot load NoSuchLibrary.DLL"},
      {"no display, no script",
       "env -u KX_HEADLESS DISPLAY= " + kxhost + "--library kxtesthost AskYesNo null s:x out:int", "", 121,
       "there is no X display: DISPLAY is not set"},
      {"headless, no script", kxhost + "--headless --library kxtesthost AskYesNo null s:x out:int", "", 121,
       "no --script answers them"},
      {"display cannot be opened",
       "env -u KX_HEADLESS DISPLAY=:65000 " + kxhost + "--library kxtesthost AskYesNo null s:x out:int", "", 121,
       "cannot open the X display \":65000\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Outcome o;
    if (row.script.empty()) o.code = kxtest::Run(row.command + " 2>&1", &o.out);
    else o = Host("AskYesNo null s:Sure? out:int", row.script);
    EXPECT_EQ(o.code, row.code) << o.out;
    EXPECT_NE(o.out.find(row.says), std::string::npos) << o.out;
  }
  std::string help;
  ASSERT_EQ(kxtest::Run(kxhost + "--help", &help), 0);
  for (const char* code : {"120", "121", "122", "125", "126", "127"})
    EXPECT_NE(help.find("\n  " + std::string(code) + " "), std::string::npos) << code << "\n" << help;
}

}  // namespace
