// The window system on an X server: the host program runs on a private Xvfb, and the test acts there only as
// another X client would (xdotool through XTest, xclip), reading what a person sees with XGetImage. Where to click
// is read from the host's own windows (its script's "where"), never taken from fixed pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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
    host_.reset();
    ScreenTest::TearDown();
    // A test that changed the keyboard map gives it back, whatever its end.
    if (server_->Running()) Client(Name(), "setxkbmap us");
  }

  // A script of waits, screenshots and "where" only: the UI driver reads, the X server carries every input.
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
  // The script's screenshot, once written.
  static bool Shot(const std::string& dir, const std::string& name) {
    return WaitFor([&] { return kxtest::ReadFile(dir + "/" + name + ".png").size() > 0; }, 30000);
  }
  // Where the script found a control, once written; empty when it never was.
  static std::map<std::string, Rect> Where(const std::string& dir, const std::string& name) {
    std::map<std::string, Rect> found;
    WaitFor([&] { return !(found = ReadWhere(dir + "/" + name + ".txt")).empty(); }, 30000);
    return found;
  }
  // The pointer moved to a point of a window (in its coordinates), and a click there when asked.
  void MoveIn(unsigned long window, int x, int y, bool click = false) {
    int wx, wy, ww, wh;
    screen_->Geometry(window, &wx, &wy, &ww, &wh);
    Do("mousemove " + std::to_string(wx + x) + " " + std::to_string(wy + y) + (click ? " click 1" : ""));
  }
  void ClickIn(unsigned long window, int x, int y) { MoveIn(window, x, y, true); }

  std::unique_ptr<Host> host_;
};

// The Signer Wizard on its welcome page, as the host's driver pictured it (welcome.png), with the window's
// client area known (from where the script found Next).
class WizardOnX : public OnX {
 protected:
  void SetUp() override {
    OnX::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    shots_ = kxtest::MakeTempDir("shots");
    std::vector<std::string> args =
        Watch("wait \"Signer Wizard\"\npage 104\nscreenshot welcome\nwhere \"Next >\" next\ngone\n", shots_);
    args.push_back("DisplaySignerWizard");
    args.push_back("null");
    host_ = std::make_unique<Host>(Name(), args);
    sheet_ = screen_->WaitForWindow("Signer Wizard");
    ASSERT_NE(sheet_, 0u) << host_->Output();
    ASSERT_TRUE(WaitFor([&] { return ReadPng(shots_ + "/welcome.png", &welcome_, &width_, &height_); }))
        << host_->Output();
    std::map<std::string, Rect> next = Where(shots_, "next");
    ASSERT_EQ(next.count("client"), 1u) << host_->Output();
    client_ = next["client"];
  }

  // A point of the caption, away from its buttons: the frame above the client area.
  int CaptionY() const { return client_.top / 2; }
  // The caption's colour at its middle.
  uint32_t Caption() {
    int w = 0, h = 0;
    std::vector<uint32_t> px = screen_->Pixels(sheet_, &w, &h);
    const size_t at = static_cast<size_t>(CaptionY()) * w + w / 2;
    return at < px.size() ? px[at] : 0u;
  }
  bool ShowsWelcome(std::string* why) {
    int w = 0, h = 0;
    std::vector<uint32_t> seen = screen_->Pixels(sheet_, &w, &h);
    *why = std::to_string(w) + "x" + std::to_string(h) + " against " + std::to_string(width_) + "x" +
           std::to_string(height_) + ": ";
    std::string which;
    const bool same = w == width_ && h == height_ && Same(seen, welcome_, &which);
    *why += which;
    return same;
  }
  // Alt+F4, the system menu's Close of the sheet: its question, owned by the sheet.
  unsigned long AskToCancel() {
    Do("key alt+F4");
    unsigned long question = 0;
    WaitFor([&] {
      for (unsigned long w : screen_->Stacking())
        if (w != sheet_ && screen_->TransientFor(w) == sheet_) question = w;
      return question != 0;
    });
    return question;
  }
  // Yes, the question's default button: the wizard is cancelled and the host ends.
  void AnswerYes() {
    Do("key Return");
    EXPECT_EQ(host_->Wait(), 1) << host_->Output();
  }
  std::vector<std::string> States(unsigned long window) {
    std::vector<std::string> states;
    for (long a : screen_->Longs(window, "_NET_WM_STATE")) states.push_back(screen_->AtomName(a));
    return states;
  }
  long Depth(unsigned long window) {
    std::vector<unsigned long> order = screen_->Stacking();
    return std::find(order.begin(), order.end(), window) - order.begin();
  }

  std::string shots_;
  unsigned long sheet_ = 0;
  std::vector<uint32_t> welcome_;
  int width_ = 0, height_ = 0;
  Rect client_;
};

}  // namespace

// The wizard's X window shows exactly the window system's own rendering of it.
TEST_F(WizardOnX, TheWindowShowsTheWindowSystemsPixels) {
  std::string why;
  EXPECT_TRUE(WaitFor([&] { return ShowsWelcome(&why); })) << why;
}

// Covered a moment by another client's window and uncovered again, the window shows the same pixels.
TEST_F(WizardOnX, AnExposedWindowShowsTheSamePixelsAgain) {
  std::string why;
  ASSERT_TRUE(WaitFor([&] { return ShowsWelcome(&why); })) << why;
  int x, y, w, h;
  screen_->Geometry(sheet_, &x, &y, &w, &h);
  screen_->Cover(x + client_.left, y + client_.top, client_.Width() / 2, client_.Height() / 2);
  EXPECT_TRUE(WaitFor([&] { return ShowsWelcome(&why); })) << "after an exposure: " << why;
}

// The keyboard taken by another program deactivates the sheet (its caption turns grey); a click gives it back.
TEST_F(WizardOnX, TheKeyboardTakenByAnotherProgramGreysTheCaptionAndAClickGivesItBack) {
  std::string why;
  ASSERT_TRUE(WaitFor([&] { return ShowsWelcome(&why); })) << why;
  const uint32_t active = Caption();
  unsigned long other = screen_->TakeFocus();
  ASSERT_NE(other, 0u) << "the other window was not mapped within 30 s";
  EXPECT_TRUE(WaitFor([&] { return Caption() != active; })) << "the caption stayed active";
  ClickIn(sheet_, client_.X(), client_.Y());
  EXPECT_TRUE(WaitFor([&] { return Caption() == active; })) << "the click did not activate the sheet";
  screen_->Destroy(other);
}

// Dragged by its caption, the sheet follows the pointer.
TEST_F(WizardOnX, DraggedByItsCaptionTheSheetFollowsThePointer) {
  int x, y, w, h;
  screen_->Geometry(sheet_, &x, &y, &w, &h);
  const int cx = x + client_.left + client_.Width() / 3, cy = y + CaptionY();
  Do("mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " mousedown 1 mousemove " +
     std::to_string(cx + 30) + " " + std::to_string(cy + 12) + " mousemove " + std::to_string(cx + 60) + " " +
     std::to_string(cy + 40) + " mouseup 1");
  int nx = 0, ny = 0;
  EXPECT_TRUE(WaitFor([&] {
    screen_->Geometry(sheet_, &nx, &ny, &w, &h);
    return nx == x + 60 && ny == y + 40;
  })) << "the sheet is at " << nx << "," << ny << " instead of " << x + 60 << "," << y + 40;
}

// What the window manager reads: the application's icon, a normal window for the taskbar.
TEST_F(WizardOnX, TheWindowManagerReadsTheIconAndANormalWindow) {
  std::vector<long> icon = screen_->Longs(sheet_, "_NET_WM_ICON");
  ASSERT_GE(icon.size(), 2u);
  EXPECT_EQ(icon.size(), 2u + static_cast<size_t>(icon[0] * icon[1]));
  std::vector<long> type = screen_->Longs(sheet_, "_NET_WM_WINDOW_TYPE");
  ASSERT_EQ(type.size(), 1u);
  EXPECT_EQ(screen_->AtomName(type[0]), "_NET_WM_WINDOW_TYPE_NORMAL");
}

// Alt+F4 is the system menu's Close of the sheet: its question is a modal dialog owned by the sheet, kept off the
// taskbar and above the sheet; Yes, its default button, cancels the wizard and the host ends.
TEST_F(WizardOnX, AltF4AsksAModalQuestionAboveTheSheet) {
  unsigned long question = AskToCancel();
  ASSERT_NE(question, 0u) << host_->Output();
  std::vector<long> type = screen_->Longs(question, "_NET_WM_WINDOW_TYPE");
  ASSERT_EQ(type.size(), 1u);
  EXPECT_EQ(screen_->AtomName(type[0]), "_NET_WM_WINDOW_TYPE_DIALOG");
  EXPECT_EQ(States(question), (std::vector<std::string>{"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_MODAL"}));
  EXPECT_TRUE(States(sheet_).empty()) << "the sheet belongs on the taskbar";
  EXPECT_GT(Depth(question), Depth(sheet_)) << "the question is below its sheet";
  AnswerYes();
}

// Under its question, a click on the sheet does not bring it above the question, and the window manager's close of
// the sheet (disabled under its question) asks nothing more. Tab moves the question's focus: once its pixels
// change, the host has taken everything sent before.
TEST_F(WizardOnX, UnderItsQuestionTheSheetNeitherRisesNorAsksAgain) {
  unsigned long question = AskToCancel();
  ASSERT_NE(question, 0u) << host_->Output();
  ClickIn(sheet_, client_.X(), CaptionY());
  ClickIn(sheet_, client_.X(), client_.Y());
  screen_->AskToClose(sheet_);
  int qw = 0, qh = 0;
  const std::vector<uint32_t> onYes = screen_->Pixels(question, &qw, &qh);
  Do("key Tab");
  ASSERT_TRUE(WaitFor([&] { return screen_->Pixels(question, &qw, &qh) != onYes; })) << host_->Output();
  EXPECT_GT(Depth(question), Depth(sheet_)) << "the question went below its sheet";
  std::vector<unsigned long> order = screen_->Stacking();
  EXPECT_EQ(std::count_if(order.begin(), order.end(),
                          [&](unsigned long w) { return w != sheet_ && screen_->TransientFor(w) == sheet_; }),
            1)
      << "the sheet asked again under its question";
  Do("key shift+Tab");
  ASSERT_TRUE(WaitFor([&] { return screen_->Pixels(question, &qw, &qh) == onYes; })) << host_->Output();
  AnswerYes();
}

namespace {

// The Signer Wizard gone on to its file page (the File box has the focus), where the script says where the File
// box and Next are; the script waits meanwhile for the File box to read name (typed), when given.
class FilePageOnX : public OnX {
 protected:
  void Show(const std::string& typed = "") {
    shots_ = kxtest::MakeTempDir("shots");
    std::vector<std::string> args = Watch(
        "wait \"Signer Wizard\"\npage 104\nscreenshot welcome\npage 105\nwhere #1031 file\nwhere \"Next >\" next\n"
        "screenshot files\n" + (typed.empty() ? "" : "expect #1031 \"" + typed + "\"\nscreenshot typed\n") + "gone\n",
        shots_);
    args.push_back("DisplaySignerWizard");
    args.push_back("null");
    host_ = std::make_unique<Host>(Name(), args);
    sheet_ = screen_->WaitForWindow("Signer Wizard");
    ASSERT_NE(sheet_, 0u) << host_->Output();
    ASSERT_TRUE(Shot(shots_, "welcome")) << host_->Output();
    Do("key Return");  // Next: the file page, its File box has the focus
    ASSERT_TRUE(Shot(shots_, "files")) << host_->Output();
    file_ = Where(shots_, "file")["control"];
    next_ = Where(shots_, "next")["control"];
    ASSERT_GT(file_.Width(), 0) << host_->Output();
    ASSERT_GT(next_.Width(), 0) << host_->Output();
  }
  // The window manager's close is the sheet's Cancel: its question, owned by the sheet, answered Yes.
  void Close() {
    screen_->AskToClose(sheet_);
    unsigned long question = screen_->WaitForWindow("Office Tolvex");
    ASSERT_NE(question, 0u) << host_->Output();
    EXPECT_EQ(screen_->TransientFor(question), sheet_);
    Do("key Return");
    EXPECT_EQ(host_->Wait(), 1) << host_->Output();
  }

  // The name typed on a Swedish keyboard map, into the File box (which has the focus).
  void TypeName() {
    Do("type --delay 20 'Andr'");
    Do("key dead_acute e");
    Do("type --delay 20 ' Åsa Öberg.txt'");
  }

  std::string shots_;
  unsigned long sheet_ = 0;
  Rect file_, next_;
};

const char kName[] = "André Åsa Öberg.txt";

}  // namespace

// Over the File box the pointer is an I-beam, over a button an arrow.
TEST_F(FilePageOnX, ThePointerIsAnIBeamOverTheEditAndAnArrowOverAButton) {
  ASSERT_NO_FATAL_FAILURE(Show());
  std::vector<uint32_t> ibeam = screen_->FontCursorPicture(XC_xterm),
                        arrow = screen_->FontCursorPicture(XC_left_ptr);
  ASSERT_NE(ibeam, arrow);
  MoveIn(sheet_, file_.X(), file_.Y());
  EXPECT_TRUE(WaitFor([&] { return screen_->PointerPicture() == ibeam; })) << "no I-beam over the edit";
  MoveIn(sheet_, next_.X(), next_.Y());
  EXPECT_TRUE(WaitFor([&] { return screen_->PointerPicture() == arrow; })) << "no arrow over Next";
  Close();
}

// A name typed on a Swedish keyboard map arrives whole: upper-case letters through Shift and a dead key's accent
// included.
TEST_F(FilePageOnX, ANameTypedThroughASwedishKeyboardMapArrivesWhole) {
  std::string out;
  ASSERT_EQ(Client(Name(), "setxkbmap se 2>&1", &out), 0) << out;
  ASSERT_NO_FATAL_FAILURE(Show(kName));
  TypeName();
  EXPECT_TRUE(Shot(shots_, "typed")) << host_->Output();
  Close();
}

// A name copied from the edit is pasted by another X client whole.
TEST_F(FilePageOnX, ANameCopiedFromTheEditIsPastedByAnotherClient) {
  std::string out;
  ASSERT_EQ(Client(Name(), "setxkbmap se 2>&1", &out), 0) << out;
  ASSERT_NO_FATAL_FAILURE(Show(kName));
  TypeName();
  ASSERT_TRUE(Shot(shots_, "typed")) << host_->Output();
  Do("key ctrl+a ctrl+c");
  std::string pasted;
  EXPECT_TRUE(WaitFor([&] {
    return Client(Name(), "xclip -o -selection clipboard 2>/dev/null", &pasted) == 0 && pasted == kName;
  })) << "pasted: " << pasted;
  Close();
}

// The window manager's close of the sheet is its Cancel: the question is owned by the sheet.
TEST_F(FilePageOnX, TheWindowManagersCloseIsTheSheetsCancel) {
  ASSERT_NO_FATAL_FAILURE(Show());
  Close();
}

namespace {

// Bob's digital ID imported beforehand (headless) and trusted directly, in Trusted Roots (a recipient must pass
// the validity verdict), and a document with a binary tail: what a protecting run needs, not what it shows.
class ProtectOnX : public OnX {
 protected:
  void SetUp() override {
    OnX::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    work_ = kxtest::MakeTempDir("job");
    std::string out;
    ASSERT_EQ(kxtest::Run("(cd '" + work_ + "' && openssl req -x509 -newkey rsa:2048 -nodes -days 30 -keyout bob.key "
                          "-out bob.pem -subj '/CN=Bob Example/emailAddress=bob@example.com' -addext "
                          "basicConstraints=critical,CA:FALSE -addext keyUsage=digitalSignature,keyEncipherment "
                          "-addext extendedKeyUsage=emailProtection && "
                          "openssl pkcs12 -export -in bob.pem -inkey bob.key -out bob.pfx -passout pass:bob-secret) 2>&1",
                          &out),
              0)
        << out;
    const std::string pem = kxtest::ReadFile(work_ + "/bob.pem");
    kx::capi::StoreEntry root;
    root.cert = kx::capi::CertData::Parse(reinterpret_cast<const uint8_t*>(pem.data()), pem.size());
    std::shared_ptr<kx::capi::CertStore> roots;
    ASSERT_TRUE(root.cert);
    ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE, roots), S_OK);
    ASSERT_EQ(roots->Add(root), S_OK);
    ASSERT_EQ(Headless("import", "wait \"Certificate Importer\"\npage 30018\nclick \"Next >\"\npage 30030\n"
                       "type #1031 \"" + work_ + "/bob.pfx\"\ntype #1218 \"bob-secret\"\nclick \"Next >\"\n"
                       "answer OK\npage 4250\nclick \"Finish\"\ngone\n",
                       "DisplayCertificateImporter i:0", &out),
              1)
        << out;
    document_ = work_ + "/report.txt";
    protectedDir_ = work_ + "/protected";
    decrypted_ = work_ + "/decrypted";
    for (int i = 0; i < 500; ++i) bytes_ += "Quarterly report, line " + std::to_string(i) + "\n";
    static const char tail[] = "\0\x01\xff\xfe binary tail";
    bytes_ += std::string(tail, sizeof tail - 1);
    kxtest::WriteFile(document_, bytes_);
    ASSERT_EQ(kxtest::Run("mkdir -p '" + protectedDir_ + "' '" + decrypted_ + "'"), 0);
  }
  // kxhost run headless under a script of the driver's; its exit status, what it printed in *out.
  int Headless(const std::string& name, const std::string& script, const std::string& call, std::string* out) {
    kxtest::WriteFile(work_ + "/" + name + ".kxs", script);
    return kxtest::Run("KX_HEADLESS=1 '" + kxtest::BuildDir() + "/bin/kxhost' --timeout 60000 --script '" + work_ +
                           "/" + name + ".kxs' " + call + " 2>&1",
                       out);
  }
  std::vector<std::string> EncryptArgs(std::vector<std::string> args) {
    for (const char* a : {"SignerWizardOperation", "null", "i:0"}) args.push_back(a);
    args.push_back("s:" + document_);
    args.push_back("s:" + protectedDir_);
    args.push_back("out:cstring");
    args.push_back("out:cstring");
    return args;
  }
  std::string ProtectedFile() const { return protectedDir_ + "/report.txt.Tvx"; }

  std::string work_, document_, protectedDir_, decrypted_, bytes_;
};

}  // namespace

// A person encrypts a file for Bob in the Signer Wizard with the keyboard and the mouse on the X server: the
// host's file and folder are on the first page, Bob is chosen among the digital IDs, Finish encrypts in one step.
TEST_F(ProtectOnX, TheSignerWizardEncryptsForARecipientChosenWithThePointer) {
  std::string shots = kxtest::MakeTempDir("encrypt");
  Host host(Name(), EncryptArgs(Watch("wait \"Signer Wizard\"\npage 105\nscreenshot files\npage 4208\n"
                                      "screenshot cipher\npage 4209\nwhere \"Add...\" add\nscreenshot recipients\n"
                                      "wait \"Select Recipients' Digital IDs\"\npage 4205\n"
                                      "where #1033 list \"Bob Example\"\nwhere #1050 take\nwhere OK ok\n"
                                      "page 4209\nenabled \"Finish\"\nscreenshot ready\ngone\n",
                                      shots)));
  unsigned long sheet = screen_->WaitForWindow("Signer Wizard");
  ASSERT_NE(sheet, 0u) << host.Output();
  ASSERT_TRUE(Shot(shots, "files")) << host.Output();
  Do("key Return");
  ASSERT_TRUE(Shot(shots, "cipher")) << host.Output();
  Do("key Return");
  ASSERT_TRUE(Shot(shots, "recipients")) << host.Output();
  const Rect add = Where(shots, "add")["control"];
  ASSERT_GT(add.Width(), 0) << host.Output();
  ClickIn(sheet, add.X(), add.Y());
  unsigned long chooser = screen_->WaitForWindow("Select Recipients' Digital IDs");
  ASSERT_NE(chooser, 0u) << host.Output();
  // Bob's row once the list shows it; Add; OK.
  std::map<std::string, Rect> list = Where(shots, "list");
  ASSERT_EQ(list.count("row"), 1u) << host.Output();
  const Rect take = Where(shots, "take")["control"], ok = Where(shots, "ok")["control"];
  ASSERT_GT(take.Width(), 0) << host.Output();
  ASSERT_GT(ok.Width(), 0) << host.Output();
  ClickIn(chooser, std::min(list["row"].left + 8, list["row"].X()), list["row"].Y());
  ClickIn(chooser, take.X(), take.Y());
  ClickIn(chooser, ok.X(), ok.Y());
  ASSERT_TRUE(Shot(shots, "ready")) << host.Output();
  Do("key Return");  // Finish: encrypted in one step
  unsigned long done = screen_->WaitForWindow("Office Tolvex");
  ASSERT_NE(done, 0u) << host.Output();
  Do("key Return");
  EXPECT_EQ(host.Wait(), 1) << host.Output();
  EXPECT_NE(host.Output().find("out 5: " + ProtectedFile() + "\n"), std::string::npos) << host.Output();
  ASSERT_GT(kxtest::ReadFile(ProtectedFile()).size(), 0u);
  EXPECT_NE(kxtest::ReadFile(ProtectedFile()), bytes_);
}

// A file encrypted for Bob (headless) is decrypted in the Signer Wizard on the X server: the operation chosen on
// the welcome page, the file and folder typed in, Next by its accelerator; the decrypted file equals the original.
TEST_F(ProtectOnX, TheSignerWizardDecryptsAFileTypedIntoIt) {
  std::string out;
  const std::string encrypt =
      "wait \"Signer Wizard\"\npage 105\nclick \"Next >\"\npage 4208\nclick \"Next >\"\npage 4209\nclick \"Add...\"\n"
      "wait \"Select Recipients' Digital IDs\"\npage 4205\npick #1033 \"Bob Example\"\nclick #1050\nclick \"OK\"\n"
      "page 4209\nenabled \"Finish\"\nclick \"Finish\"\nanswer OK\n";
  std::string call;
  for (const std::string& a : EncryptArgs({})) call += "'" + a + "' ";
  ASSERT_EQ(Headless("encrypt", encrypt, call, &out), 1) << out;
  ASSERT_GT(kxtest::ReadFile(ProtectedFile()).size(), 0u) << out;

  std::string shots = kxtest::MakeTempDir("decrypt");
  std::vector<std::string> args = Watch("wait \"Signer Wizard\"\npage 104\nscreenshot welcome\npage 105\n"
                                        "screenshot files\nexpect #1032 \"" + decrypted_ + "\"\nscreenshot typed\n"
                                        "page 4210\nenabled \"Decrypt Again\"\nscreenshot done\npage 4250\n"
                                        "screenshot finish\ngone\n", shots);
  args.push_back("DisplaySignerWizard");
  args.push_back("null");
  Host host(Name(), args);
  ASSERT_NE(screen_->WaitForWindow("Signer Wizard"), 0u) << host.Output();
  ASSERT_TRUE(Shot(shots, "welcome")) << host.Output();
  Do("key Return");  // "Decrypt and verify protected files" is chosen
  ASSERT_TRUE(Shot(shots, "files")) << host.Output();
  Do("type --delay 5 '" + ProtectedFile() + "'");
  Do("key Tab Tab Tab");
  Do("type --delay 5 '" + decrypted_ + "'");
  ASSERT_TRUE(Shot(shots, "typed")) << host.Output();
  Do("key alt+n");  // the accelerator of "&Next >"
  ASSERT_TRUE(Shot(shots, "done")) << host.Output();
  Do("key Return");
  ASSERT_TRUE(Shot(shots, "finish")) << host.Output();
  Do("key Return");
  EXPECT_EQ(host.Wait(), 1) << host.Output();
  EXPECT_EQ(kxtest::ReadFile(decrypted_ + "/report.txt"), bytes_);
}

// The sorted column's heading of a report list (the Certificate Manager's first page) shows its text on the
// heading's face: no white box between the text and the sort arrow.
TEST_F(OnX, TheSortedHeadingShowsNoWhiteBoxBesideItsArrow) {
  std::string shots = kxtest::MakeTempDir("shots");
  host_ = std::make_unique<Host>(
      Name(), [&] {
        std::vector<std::string> args = Watch("wait \"Certificate Manager\"\nwhere #1033 list\ngone\n", shots);
        args.push_back("DisplayCertificateManager");
        args.push_back("null");
        return args;
      }());
  unsigned long sheet = screen_->WaitForWindow("Certificate Manager");
  ASSERT_NE(sheet, 0u) << host_->Output();
  std::map<std::string, Rect> list = Where(shots, "list");
  ASSERT_EQ(list.count("heading 0"), 1u) << host_->Output();
  // The first heading's face inside its edges, from its text up to its sort arrow (at the heading's right end, in
  // a square of the heading's height), once its text is drawn.
  const Rect heading = list["heading 0"];
  int white = -1;
  ASSERT_TRUE(WaitFor([&] {
    int w = 0, h = 0;
    std::vector<uint32_t> px = screen_->Pixels(sheet, &w, &h);
    if (w < heading.right || h < heading.bottom) return false;
    bool text = false;
    white = 0;
    for (int y = heading.top + 3; y < heading.bottom - 3; ++y)
      for (int x = heading.left + 3; x < heading.right - heading.Height() - 5; ++x) {
        uint32_t p = px[static_cast<size_t>(y) * w + x];
        white += p == 0xFFFFFFu;
        text |= (p & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60;
      }
    return text;
  })) << host_->Output();
  EXPECT_EQ(white, 0);
  screen_->AskToClose(sheet);
  host_->Wait();
}

namespace {

// ChooseCommand's popup menu ("Open", "More" with the submenu "Export", "Import"), shown by the host; its items
// are rows of one height, found from the menu windows' rectangles as the X server gives them.
class MenuOnX : public OnX {
 protected:
  void SetUp() override {
    OnX::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    host_ = std::make_unique<Host>(Name(), std::vector<std::string>{"--library", "kxtesthost", "ChooseCommand", "null",
                                                                     "out:int"});
    ASSERT_TRUE(WaitFor([&] { return Menus().size() == 1; })) << host_->Output();
    menu_ = Menus()[0];
  }
  std::vector<unsigned long> Menus() {
    std::vector<unsigned long> out;
    for (unsigned long w : screen_->Stacking()) {
      std::vector<long> type = screen_->Longs(w, "_NET_WM_WINDOW_TYPE");
      if (type.size() == 1 && screen_->AtomName(type[0]) == "_NET_WM_WINDOW_TYPE_POPUP_MENU") out.push_back(w);
    }
    return out;
  }
  // The middle of a menu's item (of count) in its window's coordinates.
  void Item(unsigned long menu, int index, int count, int* x, int* y) {
    int mx, my, w, h;
    screen_->Geometry(menu, &mx, &my, &w, &h);
    *x = w / 2;
    *y = h * (2 * index + 1) / (2 * count);
  }

  unsigned long menu_ = 0;
};

}  // namespace

// A popup menu and its submenu are X windows of their own that the window manager leaves alone; the pointer
// opens the submenu and chooses in it.
TEST_F(MenuOnX, TheSubmenusItemIsChosenWithThePointer) {
  EXPECT_TRUE(screen_->OverrideRedirect(menu_));
  int x, y;
  Item(menu_, 1, 2, &x, &y);  // More
  MoveIn(menu_, x, y);
  ASSERT_TRUE(WaitFor([&] { return Menus().size() == 2; })) << host_->Output();
  unsigned long sub = Menus()[0] == menu_ ? Menus()[1] : Menus()[0];
  EXPECT_TRUE(screen_->OverrideRedirect(sub));
  Item(sub, 0, 2, &x, &y);  // Export, on the way
  MoveIn(sub, x, y);
  Item(sub, 1, 2, &x, &y);  // Import
  ClickIn(sub, x, y);
  EXPECT_EQ(host_->Wait(), 1) << host_->Output();
  EXPECT_NE(host_->Output().find("out 2: 202\n"), std::string::npos) << host_->Output();
}

// A click away from the menu, on no window of the program, closes it without a choice.
TEST_F(MenuOnX, AClickAwayClosesTheMenuWithoutAChoice) {
  int w, h;
  screen_->Size(&w, &h);
  Do("mousemove " + std::to_string(w - 20) + " " + std::to_string(h - 20) + " click 1");
  EXPECT_EQ(host_->Wait(), 1) << host_->Output();
  EXPECT_NE(host_->Output().find("out 2: 0\n"), std::string::npos) << host_->Output();
}

// On a screen smaller than a sheet, the sheet takes a smaller font until it fits: at 800x600 the Configuration
// Manager (910 pixels wide on a large screen) is whole on the screen, its OK, Cancel and Apply and its close box
// within reach.
TEST(OwnScreen, ASheetLargerThanTheScreenIsFittedOnIt) {
  Xvfb small("800x600x24");
  if (small.Missing()) GTEST_SKIP() << small.Problem();
  ASSERT_TRUE(small.Running()) << small.Problem();
  Host host(small.Name(), {"DisplayConfigManager", "null"});
  Screen screen(small.Name());
  ASSERT_TRUE(screen.Open());
  unsigned long sheet = screen.WaitForWindow("Configuration Manager");
  ASSERT_NE(sheet, 0u) << host.Output();
  int x, y, w, h;
  screen.Geometry(sheet, &x, &y, &w, &h);
  EXPECT_GE(x, 0);
  EXPECT_GE(y, 0);
  EXPECT_LE(x + w, 800);
  EXPECT_LE(y + h, 600);
  EXPECT_GT(w, 600) << "shrunk more than needed";
}

// When the X server goes away, the host says so on standard error and ends.
TEST(OwnScreen, ALostServerEndsTheHost) {
  Xvfb server("800x600x24");
  if (server.Missing()) GTEST_SKIP() << server.Problem();
  ASSERT_TRUE(server.Running()) << server.Problem();
  Host host(server.Name(), {"DisplayConfigManager", "null"});
  {
    Screen screen(server.Name());
    ASSERT_TRUE(screen.Open());
    ASSERT_NE(screen.WaitForWindow("Configuration Manager"), 0u) << host.Output();
  }
  server.Stop();
  EXPECT_NE(host.Wait(), -1) << host.Output();
  EXPECT_NE(host.Output().find("the connection to the X display was lost"), std::string::npos) << host.Output();
}
