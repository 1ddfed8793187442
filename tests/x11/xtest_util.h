// Display tests: a private Xvfb, the host program run on it, and what another X client sees and does there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

typedef struct _XDisplay Display;

namespace xtest {

// An Xvfb of its own, on a display number the server picks itself (-displayfd); stopped by its PID.
class Xvfb {
 public:
  explicit Xvfb(const std::string& size = "1280x1024x24");
  ~Xvfb();
  const std::string& Name() const { return name_; }
  bool Running() const { return pid_ > 0; }
  // Why it is not running: it could not be started, or it did not answer in time.
  const std::string& Problem() const { return problem_; }
  // Whether Xvfb cannot be started here at all (a test is skipped then; one that did not answer in time fails).
  bool Missing() const { return problem_ == kMissing; }
  static constexpr const char* kMissing = "Xvfb cannot be started";
  // Ends the server now, as a crash or a closed session would.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string problem_;
};

// kxhost (or another host program) started on the display (never headless), its output kept in a file.
class Host {
 public:
  Host(const std::string& display, const std::vector<std::string>& args, const std::string& program = "");
  ~Host();
  pid_t Pid() const { return pid_; }
  // Waits for the end; -1 when it did not end in time (it is killed then).
  int Wait(int timeoutMs = 60000);
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  std::string out_;
  int code_ = -1;
};

// A connection of the test itself, for what a person sees: windows, their pixels and stacking.
class Screen {
 public:
  explicit Screen(const std::string& display);
  ~Screen();
  bool Open() const { return dpy_ != nullptr; }
  // A mapped top-level window whose _NET_WM_NAME is the title; 0 when there is none after the time-out.
  unsigned long WaitForWindow(const std::string& title, int timeoutMs = 20000);
  // Mapped top-level windows, bottom first.
  std::vector<unsigned long> Stacking();
  std::string Title(unsigned long window);
  unsigned long TransientFor(unsigned long window);
  // A property of 32-bit items (window type atoms' names are given by AtomNames), empty when absent.
  std::vector<long> Longs(unsigned long window, const std::string& property);
  std::string AtomName(long atom);
  // The window's pixels as 0x00RRGGBB, read with XGetImage.
  std::vector<uint32_t> Pixels(unsigned long window, int* width, int* height);
  void Geometry(unsigned long window, int* x, int* y, int* width, int* height);
  // The screen's size.
  void Size(int* width, int* height);
  bool OverrideRedirect(unsigned long window);
  // The pointer's picture now, and the picture of a cursor of the cursor font (XC_xterm, ...).
  std::vector<uint32_t> PointerPicture();
  std::vector<uint32_t> FontCursorPicture(unsigned shape);
  // Another client's window shown over a place of the screen a moment and taken away again.
  void Cover(int x, int y, int width, int height);
  // A small window of the test's own that takes the keyboard focus (0 when it is not mapped within 30 s);
  // Destroy takes it away.
  unsigned long TakeFocus();
  void Destroy(unsigned long window);
  // Whether some pixel of the window's rectangle is darker than the light colours of an empty list.
  bool HasInk(unsigned long window, int x, int y, int width, int height);
  // Asks the window to close as a window manager does (WM_DELETE_WINDOW).
  void AskToClose(unsigned long window);
  // The window that has the keyboard focus (0 for none).
  unsigned long Focus();

 private:
  Display* dpy_ = nullptr;
};

// A suite of test cases on one private X server: the server (a case is skipped when it cannot start), the test's
// own connection to it, and xdotool there.
class ScreenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new Xvfb(); }
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override { screen_.reset(); }
  const std::string& Name() const { return server_->Name(); }
  // xdotool on the display; keys go to the window that has the keyboard focus.
  void Do(const std::string& args);

  static Xvfb* server_;
  std::unique_ptr<Screen> screen_;
};

// A rectangle of a window, in the window's own coordinates.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int X() const { return (left + right) / 2; }
  int Y() const { return (top + bottom) / 2; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// What the host's script wrote with "where": the rectangles of a control by what they are ("control", "client",
// "row", "heading 0", ...), in the coordinates of its top-level window; empty while the file is not there.
std::map<std::string, Rect> ReadWhere(const std::string& path);

// Runs an X client of the test (xdotool, xclip) on the display; its exit status, output in *out.
int Client(const std::string& display, const std::string& command, std::string* out = nullptr);

// Waits until a condition holds, asking again after short pauses; false at the time-out.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);

// A PNG as 0x00RRGGBB pixels; false when the file is not (yet) a whole PNG.
bool ReadPng(const std::string& path, std::vector<uint32_t>* pixels, int* width, int* height);

}  // namespace xtest
