// The window system on an X server: the host program runs on a private Xvfb, and the test acts there only as
// another X client would (xdotool through XTest, xclip), reading what a person sees with XGetImage.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "support/testroot.h"
#include "x11/xtest_util.h"

using namespace xtest;

namespace {

class OnX : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new Xvfb(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_->Running()) GTEST_SKIP() << "Xvfb cannot be started";
    screen_ = std::make_unique<Screen>(server_->Name());
  }
  void TearDown() override { screen_.reset(); }

  const std::string& Name() { return server_->Name(); }
  // xdotool on the display; keys go to the window that has the keyboard focus.
  void Do(const std::string& args) {
    std::string out;
    ASSERT_EQ(Client(Name(), "xdotool " + args + " 2>&1", &out), 0) << out;
  }
  // A script of waits and screenshots only: the UI driver reads, the X server carries every input.
  std::vector<std::string> Watch(const std::string& script, const std::string& shots) {
    std::string path = kxtest::MakeTempDir("script") + "/watch.kxs";
    kxtest::WriteFile(path, script);
    return {"--timeout", "30000", "--script", path, "--shots", shots};
  }
  static bool Same(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, std::string* why) {
    if (a.size() != b.size()) {
      *why = "sizes differ";
      return false;
    }
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i]) {
        *why = "pixel " + std::to_string(i) + " differs";
        return false;
      }
    return true;
  }

  static Xvfb* server_;
  std::unique_ptr<Screen> screen_;
};

Xvfb* OnX::server_ = nullptr;

}  // namespace

// The wizard's X window shows exactly the window system's own rendering of it; Alt+F4 is the system menu's Close
// of the sheet, whose question stays above it (owned by it) and is answered by keyboard.
TEST_F(OnX, TheWizardShowsTheWindowSystemsPixelsAndItsQuestionStaysAbove) {
  std::string shots = kxtest::MakeTempDir("shots");
  std::vector<std::string> args = Watch("wait \"Signer Wizard\"\npage 104\nscreenshot welcome\ngone\n", shots);
  args.push_back("DisplaySignerWizard");
  args.push_back("null");
  Host host(Name(), args);
  unsigned long sheet = screen_->WaitForWindow("Signer Wizard");
  ASSERT_NE(sheet, 0u) << host.Output();

  std::vector<uint32_t> expected, seen;
  int ew = 0, eh = 0, sw = 0, sh = 0;
  ASSERT_TRUE(WaitFor([&] { return ReadPng(shots + "/welcome.png", &expected, &ew, &eh); })) << host.Output();
  std::string why;
  bool same = WaitFor([&] {
    seen = screen_->Pixels(sheet, &sw, &sh);
    return sw == ew && sh == eh && Same(seen, expected, &why);
  });
  EXPECT_TRUE(same) << why << " (" << sw << "x" << sh << " against " << ew << "x" << eh << ")";

  Do("key alt+F4");
  unsigned long question = 0;
  ASSERT_TRUE(WaitFor([&] {
    for (unsigned long w : screen_->Stacking())
      if (w != sheet && screen_->TransientFor(w) == sheet) question = w;
    return question != 0;
  })) << host.Output();
  std::vector<unsigned long> order = screen_->Stacking();
  auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
  EXPECT_GT(at(question), at(sheet)) << "the question is below its sheet";
  // Clicking the sheet does not bring it above its question.
  int x, y, w, h;
  screen_->Geometry(sheet, &x, &y, &w, &h);
  Do("mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + 10) + " click 1");
  Do("mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + h / 2) + " click 1");
  order = screen_->Stacking();
  EXPECT_GT(at(question), at(sheet)) << "the question went below its sheet";
  // Yes, the default button: the wizard is cancelled and the host ends.
  Do("key Return");
  EXPECT_EQ(host.Wait(), 1) << host.Output();
}

// A name typed on a Swedish keyboard map arrives whole, upper-case letters through Shift included; copied from
// the edit, another X client pastes it; the window manager's close is the sheet's Cancel.
TEST_F(OnX, ANameTypedThroughTheKeyboardMapIsCopiedToAnotherClient) {
  const std::string name = "Åsa Öberg.txt";
  std::string out;
  ASSERT_EQ(Client(Name(), "setxkbmap se 2>&1", &out), 0) << out;
  std::string shots = kxtest::MakeTempDir("shots");
  std::vector<std::string> args = Watch("wait \"Signer Wizard\"\npage 104\nscreenshot welcome\npage 105\n"
                                        "screenshot files\nexpect #1031 \"" + name + "\"\nscreenshot typed\ngone\n",
                                        shots);
  args.push_back("DisplaySignerWizard");
  args.push_back("null");
  Host host(Name(), args);
  unsigned long sheet = screen_->WaitForWindow("Signer Wizard");
  ASSERT_NE(sheet, 0u) << host.Output();
  ASSERT_TRUE(WaitFor([&] { return kxtest::ReadFile(shots + "/welcome.png").size() > 0; })) << host.Output();
  Do("key Return");  // Next: the file page, its File box has the focus
  ASSERT_TRUE(WaitFor([&] { return kxtest::ReadFile(shots + "/files.png").size() > 0; })) << host.Output();
  Do("type --delay 20 '" + name + "'");
  EXPECT_TRUE(WaitFor([&] { return kxtest::ReadFile(shots + "/typed.png").size() > 0; })) << host.Output();

  Do("key ctrl+a ctrl+c");
  std::string pasted;
  EXPECT_TRUE(WaitFor([&] { return Client(Name(), "xclip -o -selection clipboard 2>/dev/null", &pasted) == 0 && pasted == name; }))
      << "pasted: " << pasted;

  screen_->AskToClose(sheet);
  unsigned long question = screen_->WaitForWindow("Office Tolvex");
  ASSERT_NE(question, 0u) << host.Output();
  EXPECT_EQ(screen_->TransientFor(question), sheet);
  Do("key Return");
  EXPECT_EQ(host.Wait(), 1) << host.Output();
  Client(Name(), "setxkbmap us");
}
