// The window system on an X server: the host program runs on a private Xvfb, and the test acts there only as
// another X client would (xdotool through XTest, xclip), reading what a person sees with XGetImage.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/store.h"
#include "support/testroot.h"
#include "x11/xtest_util.h"

#include <X11/cursorfont.h>

using namespace xtest;

namespace {

class OnX : public ScreenTest {
 protected:
  void TearDown() override {
    ScreenTest::TearDown();
    // A test that changed the keyboard map gives it back, whatever its end.
    if (server_->Running()) Client(Name(), "setxkbmap us");
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
};

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
  // Uncovered again, the window shows the same pixels.
  int x, y, w, h;
  screen_->Geometry(sheet, &x, &y, &w, &h);
  screen_->Cover(x + 20, y + 10, w / 2, h / 2);
  EXPECT_TRUE(WaitFor([&] {
    seen = screen_->Pixels(sheet, &sw, &sh);
    return sw == ew && sh == eh && Same(seen, expected, &why);
  })) << "after an exposure: " << why;

  // The keyboard taken by another program deactivates the sheet (its caption turns grey); a click gives it back.
  auto caption = [&] {
    int cw = 0, ch = 0;
    std::vector<uint32_t> px = screen_->Pixels(sheet, &cw, &ch);
    return px.size() > static_cast<size_t>(cw) * 8 ? px[static_cast<size_t>(cw) * 8 + 12] : 0u;
  };
  uint32_t active = caption();
  unsigned long other = screen_->TakeFocus();
  ASSERT_NE(other, 0u) << "the other window was not mapped within 30 s";
  EXPECT_TRUE(WaitFor([&] { return caption() != active; })) << "the caption stayed active";
  Do("mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + h / 2) + " click 1");
  EXPECT_TRUE(WaitFor([&] { return caption() == active; })) << "the click did not activate the sheet";
  screen_->Destroy(other);

  // Dragged by its caption, the sheet follows the pointer.
  Do("mousemove " + std::to_string(x + 100) + " " + std::to_string(y + 8) + " mousedown 1 mousemove " +
     std::to_string(x + 130) + " " + std::to_string(y + 20) + " mousemove " + std::to_string(x + 160) + " " +
     std::to_string(y + 48) + " mouseup 1");
  int nx = 0, ny = 0;
  EXPECT_TRUE(WaitFor([&] {
    screen_->Geometry(sheet, &nx, &ny, &w, &h);
    return nx == x + 60 && ny == y + 40;
  })) << "the sheet is at " << nx << "," << ny << " instead of " << x + 60 << "," << y + 40;
  x = nx;
  y = ny;

  // What the window manager reads: the application's icon, a normal window for the taskbar.
  std::vector<long> icon = screen_->Longs(sheet, "_NET_WM_ICON");
  ASSERT_GE(icon.size(), 2u);
  EXPECT_EQ(icon.size(), 2u + static_cast<size_t>(icon[0] * icon[1]));
  std::vector<long> type = screen_->Longs(sheet, "_NET_WM_WINDOW_TYPE");
  ASSERT_EQ(type.size(), 1u);
  EXPECT_EQ(screen_->AtomName(type[0]), "_NET_WM_WINDOW_TYPE_NORMAL");

  Do("key alt+F4");
  unsigned long question = 0;
  ASSERT_TRUE(WaitFor([&] {
    for (unsigned long w : screen_->Stacking())
      if (w != sheet && screen_->TransientFor(w) == sheet) question = w;
    return question != 0;
  })) << host.Output();
  type = screen_->Longs(question, "_NET_WM_WINDOW_TYPE");
  ASSERT_EQ(type.size(), 1u);
  EXPECT_EQ(screen_->AtomName(type[0]), "_NET_WM_WINDOW_TYPE_DIALOG");
  std::vector<std::string> states;
  for (long a : screen_->Longs(question, "_NET_WM_STATE")) states.push_back(screen_->AtomName(a));
  EXPECT_EQ(states, (std::vector<std::string>{"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_MODAL"}));
  EXPECT_TRUE(screen_->Longs(sheet, "_NET_WM_STATE").empty()) << "the sheet belongs on the taskbar";
  std::vector<unsigned long> order = screen_->Stacking();
  auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
  EXPECT_GT(at(question), at(sheet)) << "the question is below its sheet";
  // Clicking the sheet does not bring it above its question, and the window manager's close of the sheet, disabled
  // under its question, asks nothing more. Tab moves the question's focus: once its pixels change, the host has
  // taken everything sent before.
  Do("mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + 10) + " click 1");
  Do("mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + h / 2) + " click 1");
  screen_->AskToClose(sheet);
  int qw = 0, qh = 0;
  const std::vector<uint32_t> onYes = screen_->Pixels(question, &qw, &qh);
  Do("key Tab");
  ASSERT_TRUE(WaitFor([&] { return screen_->Pixels(question, &qw, &qh) != onYes; })) << host.Output();
  order = screen_->Stacking();
  EXPECT_GT(at(question), at(sheet)) << "the question went below its sheet";
  EXPECT_EQ(std::count_if(order.begin(), order.end(),
                          [&](unsigned long w) { return w != sheet && screen_->TransientFor(w) == sheet; }),
            1)
      << "the sheet asked again under its question";
  Do("key shift+Tab");
  ASSERT_TRUE(WaitFor([&] { return screen_->Pixels(question, &qw, &qh) == onYes; })) << host.Output();
  // Yes, the default button: the wizard is cancelled and the host ends.
  Do("key Return");
  EXPECT_EQ(host.Wait(), 1) << host.Output();
}

// A name typed on a Swedish keyboard map arrives whole, upper-case letters through Shift and a dead key's accent
// included; copied from the edit, another X client pastes it; the window manager's close is the sheet's Cancel.
TEST_F(OnX, ANameTypedThroughTheKeyboardMapIsCopiedToAnotherClient) {
  const std::string name = "André Åsa Öberg.txt";
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
  // Over the File box the pointer is an I-beam, over a button an arrow.
  std::vector<uint32_t> ibeam = screen_->FontCursorPicture(XC_xterm),
                        arrow = screen_->FontCursorPicture(XC_left_ptr);
  ASSERT_NE(ibeam, arrow);
  int x, y, w, h;
  screen_->Geometry(sheet, &x, &y, &w, &h);
  Do("mousemove " + std::to_string(x + 220) + " " + std::to_string(y + 130));
  EXPECT_TRUE(WaitFor([&] { return screen_->PointerPicture() == ibeam; })) << "no I-beam over the edit";
  Do("mousemove " + std::to_string(x + 300) + " " + std::to_string(y + 356));
  EXPECT_TRUE(WaitFor([&] { return screen_->PointerPicture() == arrow; })) << "no arrow over Next";
  Do("type --delay 20 'Andr'");
  Do("key dead_acute e");
  Do("type --delay 20 ' Åsa Öberg.txt'");
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
}

// A person encrypts a file for Bob in the Signer Wizard and decrypts it again, with the keyboard and the mouse on
// the X server; the decrypted file equals the original.
TEST_F(OnX, TheSignerWizardEncryptsForARecipientAndDecryptsAgain) {
  std::string work = kxtest::MakeTempDir("job"), out;
  // Bob's digital ID, imported beforehand (headless): what the run needs, not what it shows.
  ASSERT_EQ(kxtest::Run("(cd '" + work + "' && openssl req -x509 -newkey rsa:2048 -nodes -days 30 -keyout bob.key "
                        "-out bob.pem -subj '/CN=Bob Example/emailAddress=bob@example.com' -addext "
                        "basicConstraints=critical,CA:FALSE -addext keyUsage=digitalSignature,keyEncipherment "
                        "-addext extendedKeyUsage=emailProtection && "
                        "openssl pkcs12 -export -in bob.pem -inkey bob.key -out bob.pfx -passout pass:bob-secret) 2>&1",
                        &out),
            0)
      << out;
  // Bob's own digital ID trusted directly (in Trusted Roots): a recipient must pass the validity verdict.
  {
    const std::string pem = kxtest::ReadFile(work + "/bob.pem");
    kx::capi::StoreEntry root;
    root.cert = kx::capi::CertData::Parse(reinterpret_cast<const uint8_t*>(pem.data()), pem.size());
    std::shared_ptr<kx::capi::CertStore> roots;
    ASSERT_TRUE(root.cert);
    ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE, roots), S_OK);
    ASSERT_EQ(roots->Add(root), S_OK);
  }
  kxtest::WriteFile(work + "/import.kxs", "wait \"Certificate Importer\"\npage 30018\nclick \"Next >\"\npage 30030\n"
                                          "type #1031 \"" + work + "/bob.pfx\"\ntype #1218 \"bob-secret\"\n"
                                          "click \"Next >\"\nanswer OK\npage 4250\nclick \"Finish\"\ngone\n");
  ASSERT_EQ(kxtest::Run("KX_HEADLESS=1 '" + kxtest::BuildDir() + "/bin/kxhost' --script '" + work +
                        "/import.kxs' DisplayCertificateImporter i:0 2>&1", &out), 1) << out;
  std::string document = work + "/report.txt", protectedDir = work + "/protected", decrypted = work + "/decrypted";
  std::string bytes;
  for (int i = 0; i < 500; ++i) bytes += "Quarterly report, line " + std::to_string(i) + "\n";
  static const char tail[] = "\0\x01\xff\xfe binary tail";
  bytes += std::string(tail, sizeof tail - 1);
  kxtest::WriteFile(document, bytes);
  ASSERT_EQ(kxtest::Run("mkdir -p '" + protectedDir + "' '" + decrypted + "'"), 0);

  auto shot = [](const std::string& dir, const std::string& name) {
    return WaitFor([&] { return kxtest::ReadFile(dir + "/" + name + ".png").size() > 0; }, 30000);
  };
  auto click = [&](unsigned long window, int x, int y) {
    int wx, wy, ww, wh;
    screen_->Geometry(window, &wx, &wy, &ww, &wh);
    Do("mousemove " + std::to_string(wx + x) + " " + std::to_string(wy + y) + " click 1");
  };

  // Encrypting: the host's file and folder are on the first page; Bob is chosen among the digital IDs.
  {
    std::string shots = kxtest::MakeTempDir("encrypt");
    std::vector<std::string> args = Watch("wait \"Signer Wizard\"\npage 105\nscreenshot files\npage 4208\n"
                                          "screenshot cipher\npage 4209\nscreenshot recipients\nenabled \"Finish\"\n"
                                          "screenshot ready\ngone\n", shots);
    for (const char* a : {"SignerWizardOperation", "null", "i:0"}) args.push_back(a);
    args.push_back("s:" + document);
    args.push_back("s:" + protectedDir);
    args.push_back("out:cstring");
    args.push_back("out:cstring");
    Host host(Name(), args);
    unsigned long sheet = screen_->WaitForWindow("Signer Wizard");
    ASSERT_NE(sheet, 0u) << host.Output();
    ASSERT_TRUE(shot(shots, "files")) << host.Output();
    Do("key Return");
    ASSERT_TRUE(shot(shots, "cipher")) << host.Output();
    Do("key Return");
    ASSERT_TRUE(shot(shots, "recipients")) << host.Output();
    click(sheet, 66, 299);  // Add...
    unsigned long chooser = screen_->WaitForWindow("Select Recipients' Digital IDs");
    ASSERT_NE(chooser, 0u) << host.Output();
    // Bob's row once the list shows it; Add; OK.
    ASSERT_TRUE(WaitFor([&] { return screen_->HasInk(chooser, 65, 110, 150, 14); })) << host.Output();
    click(chooser, 99, 117);
    click(chooser, 83, 240);
    click(chooser, 367, 451);
    ASSERT_TRUE(shot(shots, "ready")) << host.Output();
    Do("key Return");  // Finish: encrypted in one step
    unsigned long done = screen_->WaitForWindow("Office Tolvex");
    ASSERT_NE(done, 0u) << host.Output();
    Do("key Return");
    EXPECT_EQ(host.Wait(), 1) << host.Output();
    EXPECT_NE(host.Output().find("out 5: " + protectedDir + "/report.txt.Tvx\n"), std::string::npos) << host.Output();
  }
  std::string protectedFile = protectedDir + "/report.txt.Tvx";
  ASSERT_GT(kxtest::ReadFile(protectedFile).size(), 0u);
  EXPECT_NE(kxtest::ReadFile(protectedFile), bytes);

  // Decrypting: the operation chosen on the welcome page, the file and folder typed in.
  {
    std::string shots = kxtest::MakeTempDir("decrypt");
    std::vector<std::string> args = Watch("wait \"Signer Wizard\"\npage 104\nscreenshot welcome\npage 105\n"
                                          "screenshot files\nexpect #1032 \"" + decrypted + "\"\nscreenshot typed\n"
                                          "page 4210\nenabled \"Decrypt Again\"\nscreenshot done\npage 4250\n"
                                          "screenshot finish\ngone\n", shots);
    args.push_back("DisplaySignerWizard");
    args.push_back("null");
    Host host(Name(), args);
    ASSERT_NE(screen_->WaitForWindow("Signer Wizard"), 0u) << host.Output();
    ASSERT_TRUE(shot(shots, "welcome")) << host.Output();
    Do("key Return");  // "Decrypt and verify protected files" is chosen
    ASSERT_TRUE(shot(shots, "files")) << host.Output();
    Do("type --delay 5 '" + protectedFile + "'");
    Do("key Tab Tab Tab");
    Do("type --delay 5 '" + decrypted + "'");
    ASSERT_TRUE(shot(shots, "typed")) << host.Output();
    Do("key alt+n");  // the accelerator of "&Next >"
    ASSERT_TRUE(shot(shots, "done")) << host.Output();
    Do("key Return");
    ASSERT_TRUE(shot(shots, "finish")) << host.Output();
    Do("key Return");
    EXPECT_EQ(host.Wait(), 1) << host.Output();
  }
  EXPECT_EQ(kxtest::ReadFile(decrypted + "/report.txt"), bytes);
}

// The sorted column's heading of a report list (the Certificate Manager's first page) shows its text on the
// heading's face: no white box between the text and the sort arrow.
TEST_F(OnX, TheSortedHeadingShowsNoWhiteBoxBesideItsArrow) {
  Host host(Name(), {"DisplayCertificateManager", "null"});
  unsigned long sheet = screen_->WaitForWindow("Certificate Manager");
  ASSERT_NE(sheet, 0u) << host.Output();
  // The first heading's text and the room up to its arrow, once its text is drawn.
  int white = -1;
  ASSERT_TRUE(WaitFor([&] {
    int w = 0, h = 0;
    std::vector<uint32_t> px = screen_->Pixels(sheet, &w, &h);
    if (w < 130 || h < 160) return false;
    bool text = false;
    white = 0;
    for (int y = 137; y < 150; ++y)
      for (int x = 36; x < 118; ++x) {
        uint32_t p = px[static_cast<size_t>(y) * w + x];
        white += p == 0xFFFFFFu;
        text |= (p & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60;
      }
    return text;
  })) << host.Output();
  EXPECT_EQ(white, 0);
  screen_->AskToClose(sheet);
  host.Wait();
}

// A popup menu and its submenu are X windows of their own that the window manager leaves alone; the pointer
// opens the submenu and chooses in it.
TEST_F(OnX, APopupMenuAndItsSubmenuAreChosenWithThePointer) {
  Host host(Name(), {"--library", "kxtesthost", "ChooseCommand", "null", "out:int"});
  auto menus = [&] {
    std::vector<unsigned long> out;
    for (unsigned long w : screen_->Stacking()) {
      std::vector<long> type = screen_->Longs(w, "_NET_WM_WINDOW_TYPE");
      if (type.size() == 1 && screen_->AtomName(type[0]) == "_NET_WM_WINDOW_TYPE_POPUP_MENU") out.push_back(w);
    }
    return out;
  };
  ASSERT_TRUE(WaitFor([&] { return menus().size() == 1; })) << host.Output();
  unsigned long menu = menus()[0];
  EXPECT_TRUE(screen_->OverrideRedirect(menu));
  int x, y, w, h;
  screen_->Geometry(menu, &x, &y, &w, &h);
  Do("mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + 31));  // More
  ASSERT_TRUE(WaitFor([&] { return menus().size() == 2; })) << host.Output();
  unsigned long sub = menus()[0] == menu ? menus()[1] : menus()[0];
  int sx, sy, sw, sh;
  screen_->Geometry(sub, &sx, &sy, &sw, &sh);
  Do("mousemove " + std::to_string(sx + sw / 2) + " " + std::to_string(sy + 12) + " mousemove " +
     std::to_string(sx + sw / 2) + " " + std::to_string(sy + sh - 12) + " click 1");  // Import
  EXPECT_EQ(host.Wait(), 1) << host.Output();
  EXPECT_NE(host.Output().find("out 2: 202\n"), std::string::npos) << host.Output();

  // A click away from the menu, on no window of the program, closes it without a choice.
  Host away(Name(), {"--library", "kxtesthost", "ChooseCommand", "null", "out:int"});
  ASSERT_TRUE(WaitFor([&] { return menus().size() == 1; })) << away.Output();
  Do("mousemove 1200 1000 click 1");
  EXPECT_EQ(away.Wait(), 1) << away.Output();
  EXPECT_NE(away.Output().find("out 2: 0\n"), std::string::npos) << away.Output();
}

// On a screen smaller than a sheet, the sheet takes a smaller font until it fits: at 800x600 the Configuration
// Manager (910 pixels wide on a large screen) is whole on the screen, its OK, Cancel and Apply and its close box
// within reach. When the X server goes away, the host says so on standard error and ends.
TEST(OwnScreen, ASheetLargerThanTheScreenIsFittedOnItAndALostServerEndsTheHost) {
  Xvfb small("800x600x24");
  if (!small.Running()) GTEST_SKIP() << "Xvfb cannot be started";
  unsigned long sheet = 0;
  Host host(small.Name(), {"DisplayConfigManager", "null"});
  {
    Screen screen(small.Name());
    sheet = screen.WaitForWindow("Configuration Manager");
    ASSERT_NE(sheet, 0u) << host.Output();
    int x, y, w, h;
    screen.Geometry(sheet, &x, &y, &w, &h);
    EXPECT_GE(x, 0);
    EXPECT_GE(y, 0);
    EXPECT_LE(x + w, 800);
    EXPECT_LE(y + h, 600);
    EXPECT_GT(w, 600) << "shrunk more than needed";
  }
  small.Stop();
  EXPECT_NE(host.Wait(), -1) << host.Output();
  EXPECT_NE(host.Output().find("the connection to the X display was lost"), std::string::npos) << host.Output();
}
