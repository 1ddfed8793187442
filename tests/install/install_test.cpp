// The installed tree as a host program's author meets it: installed outside the build, hosts built there with
// pkg-config or the CMake package alone, run on a private X server with the build folder out of sight.
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/testroot.h"
#include "x11/xtest_util.h"

namespace {

using xtest::Host;
using xtest::WaitFor;

// Where the fixture installed the build, and the folder of its libraries.
std::string Prefix() { return KX_INSTALL_PREFIX; }
std::string LibDir() { return Prefix() + "/" + KX_INSTALL_LIBDIR; }
std::string Private() { return LibDir() + "/brinmoor"; }
std::string Hosts() { return Prefix() + "/hosts"; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Whether this machine lets the tests hide the build folder from a process (a mount namespace).
bool CanHideTheBuild() {
  static const bool can = kxtest::Run("unshare -m true 2>/dev/null") == 0;
  return can;
}

// The command line that runs a host with the build folder covered by an empty one, so that any file the host
// still took from there is missing; the host keeps its process id.
std::vector<std::string> WithoutTheBuild(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> out = {"-m", "sh", "-c", "mount -t tmpfs none \"$0\" && exec \"$@\"", kxtest::BuildDir(),
                                  program};
  out.insert(out.end(), args.begin(), args.end());
  return out;
}

// What a host process has mapped from the build folder (nothing, for a host of the installed tree).
std::vector<std::string> MappedFromTheBuild(pid_t pid) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(kxtest::ReadFile("/proc/" + std::to_string(pid) + "/maps")))
    if (Contains(line, kxtest::BuildDir() + "/")) out.push_back(line);
  return out;
}

TEST(InstalledTree, HoldsTheLibrariesTheirDataAndWhatAHostBuildsWith) {
  for (const std::string& file : {Prefix() + "/bin/kxhost", Prefix() + "/include/brinmoor/brinmoor.h",
                                  LibDir() + "/pkgconfig/brinmoor.pc", LibDir() + "/cmake/Brinmoor/BrinmoorConfig.cmake"})
    EXPECT_EQ(access(file.c_str(), R_OK), 0) << file;
  // Every module, program and page the build puts beside the library is installed beside it too (the test
  // programs' own libraries aside).
  for (const std::string& name : kxtest::FolderNames(kxtest::BuildDir() + "/lib")) {
    if (name.find("test") != std::string::npos) continue;
    EXPECT_EQ(access((Private() + "/" + name).c_str(), R_OK), 0) << name << " is not installed";
  }
  for (const char* page : {"/HELP/mbox.htm", "/HELP/mboxyesno.htm", "/HELP/aboutkx.htm", "/Zelvane.chm"})
    EXPECT_EQ(access((Private() + page).c_str(), R_OK), 0) << page;

  // The libraries a host links carry their SONAME; nothing installed looks for libraries in the build.
  std::string out;
  for (const char* library : {"libbrinmoor", "libkxplatform"}) {
    ASSERT_EQ(kxtest::Run("readelf -d '" + Private() + "/" + library + ".so'", &out), 0) << out;
    EXPECT_TRUE(Contains(out, std::string("Library soname: [") + library + ".so.1]")) << out;
  }
  ASSERT_EQ(kxtest::Run("for f in '" + Prefix() + "'/bin/* '" + Private() + "'/*.so '" + Hosts() +
                            "'/example; do readelf -d \"$f\" | grep -E 'R(UN)?PATH' | sed \"s|^|$f: |\"; done",
                        &out),
            0);
  EXPECT_FALSE(Contains(out, kxtest::BuildDir())) << out;

  // The hosts built from the installed tree find the library there and nothing in the build.
  for (const std::string& host : {Hosts() + "/example", Hosts() + "/loader-host", Hosts() + "/cmake-build/brinmoor-example"}) {
    ASSERT_EQ(kxtest::Run("ldd '" + host + "'", &out), 0) << out;
    EXPECT_FALSE(Contains(out, kxtest::BuildDir())) << host << ":\n" << out;
    EXPECT_FALSE(Contains(out, "not found")) << host << ":\n" << out;
    if (!Contains(host, "loader-host")) {
      EXPECT_TRUE(Contains(out, "libbrinmoor.so.1 => " + LibDir())) << out;
    }
  }
}

class OnScreen : public xtest::ScreenTest {
 protected:
  // A host of the installed tree on the display, the build folder hidden from it where the machine allows.
  std::unique_ptr<Host> Start(const std::string& program, const std::vector<std::string>& args) {
    if (!CanHideTheBuild()) {
      fprintf(stderr, "note: no mount namespace here; the build folder stays visible to the host\n");
      return std::make_unique<Host>(Name(), args, program);
    }
    return std::make_unique<Host>(Name(), WithoutTheBuild(program, args), "unshare");
  }
  // The window with this title (other than `no`) once it has the keyboard, so that the keys sent next reach it.
  unsigned long Focused(const std::string& title, const Host& host, unsigned long no = 0) {
    unsigned long window = 0;
    EXPECT_TRUE(WaitFor([&] {
      window = screen_->Focus();
      return window != 0 && window != no && screen_->Title(window) == title;
    })) << "no focused window \"" << title << "\"\n" << host.Output();
    return window;
  }
};

// The C example, linked with the library at build time, opens the Signer Wizard on the host's file; the user
// cancels it and confirms; the host is told so (0) and its strings stay as they were.
TEST_F(OnScreen, TheLinkedExampleRunsTheSignerWizardToTheUsersCancel) {
  std::string file = kxtest::MakeTempDir("documents") + "/report.txt";
  kxtest::WriteFile(file, "quarterly figures\n");
  std::unique_ptr<Host> host = Start(Hosts() + "/example", {"encrypt", file});
  unsigned long wizard = Focused("Signer Wizard", *host);
  ASSERT_NE(wizard, 0u);
  EXPECT_EQ(MappedFromTheBuild(host->Pid()), std::vector<std::string>{});
  Do("key Escape");
  unsigned long question = 0;
  ASSERT_TRUE(WaitFor([&] {
    for (unsigned long w : screen_->Stacking())
      if (screen_->TransientFor(w) == wizard && screen_->Focus() == w) question = w;
    return question != 0;
  })) << host->Output();
  Do("key Return");  // Yes, cancel the wizard
  EXPECT_EQ(host->Wait(), 1) << host->Output();
  EXPECT_TRUE(Contains(host->Output(), "result: 0\n")) << host->Output();
  EXPECT_FALSE(Contains(host->Output(), "output:")) << host->Output();
}

// The C++ host loads the library at run time for each question and unloads it after: both questions are asked,
// each answer comes back, and each unload takes the library out of the process.
TEST_F(OnScreen, AHostThatLoadsTheLibraryAtRunTimeGetsEachAnswer) {
  std::unique_ptr<Host> host = Start(Hosts() + "/loader-host", {"Keep the draft?", "Send it now?"});
  unsigned long first = Focused("Office Tolvex", *host);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(MappedFromTheBuild(host->Pid()), std::vector<std::string>{});
  Do("key Return");  // Yes
  ASSERT_NE(Focused("Office Tolvex", *host, first), 0u);
  Do("key Tab Return");  // No
  EXPECT_EQ(host->Wait(), 0) << host->Output();
  std::vector<std::string> lines = Lines(host->Output());
  // Each unload took the library out of the process, and the next load started it afresh.
  EXPECT_EQ(lines, (std::vector<std::string>{"result: 1 answer: 6", "unloaded: yes", "result: 1 answer: 7",
                                             "unloaded: yes"}));
}

// A library that cannot start says why at once, and every host hears it from the result: the example gets
// BRINMOOR_NOT_STARTED, kxhost ends with its load failure. The state folder's rows name the folder and the cause.
TEST(InstalledTree, ALibraryThatCannotStartSaysWhyAtOnce) {
  std::string root = kxtest::Root();
  std::string file = kxtest::MakeTempDir("state") + "/plain-file";
  kxtest::WriteFile(file, "not a folder");
  std::string locked = kxtest::MakeTempDir("locked");  // root's, 0755: nobody may not write in it
  std::string lockedUser = kxtest::MakeTempDir("locked-user");
  ASSERT_EQ(kxtest::Run("mkdir -p '" + lockedUser + "/user' '" + lockedUser + "/tmp' && chmod 777 '" + lockedUser +
                        "/tmp' && chmod -R a+rX '" + root + "'"),
            0);
  const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  struct Row {
    const char* name;
    std::string env;
    bool asNobody;
    std::string why;
  };
  const std::vector<Row> rows = {
      {"state root is a file", "KESMORA_ROOT='" + file + "' KX_HEADLESS=1", false,
       "the state folder " + file + "/user cannot be used (cannot make " + file + "/user: Not a directory)"},
      {"temporary folder is a file", "TMPDIR='" + file + "' KX_HEADLESS=1", false,
       "the state folder " + file + " cannot be used (cannot write in it: Not a directory)"},
      {"state root not writable", "KESMORA_ROOT='" + locked + "' KX_HEADLESS=1", true,
       "the state folder " + locked + "/user cannot be used (cannot make " + locked + "/user: Permission denied)"},
      {"user folder not writable", "KESMORA_ROOT='" + lockedUser + "' KX_HEADLESS=1", true,
       "the state folder " + lockedUser + "/user cannot be used (cannot write in it: Permission denied)"},
      {"no display", "DISPLAY=", false, "there is no X display: DISPLAY is not set"},
      {"display cannot be opened", "DISPLAY=:65000", false, "cannot open the X display \":65000\""},
  };
  std::string script = kxtest::MakeTempDir("script") + "/cancel.kxs";
  kxtest::WriteFile(script, "wait \"Signer Wizard\"\nclick Cancel\n");
  ASSERT_EQ(kxtest::Run("chmod a+r '" + script + "'"), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.asNobody && geteuid() != 0) {
      fprintf(stderr, "note: %s: needs root to run a host as another user\n", row.name);
      continue;
    }
    // A library that started after all would wait for ever for someone to answer its headless windows.
    std::string prefix = "cd / && timeout 120 env -u KX_HEADLESS -u TMPDIR " + row.env + " " + (row.asNobody ? nobody : "");
    std::string out;
    EXPECT_EQ(kxtest::Run(prefix + "'" + Hosts() + "/example' encrypt /etc/hostname 2>&1", &out), 3) << out;
    EXPECT_TRUE(Contains(out, "result: -1")) << out;
    EXPECT_TRUE(Contains(out, "brinmoor: SignerWizardOperation: the library cannot start: " + row.why)) << out;
    // kxhost refuses a missing display itself, before it loads the library.
    bool display = Contains(row.name, "display");
    EXPECT_EQ(kxtest::Run(prefix + "'" + Prefix() + "/bin/kxhost' " + (display ? "" : "--script '" + script + "' ") +
                              "DisplaySignerWizard null 2>&1",
                          &out),
              display ? 121 : 126)
        << out;
    EXPECT_TRUE(Contains(out, row.why)) << out;
  }
}

}  // namespace
