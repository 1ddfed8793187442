#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

#include "support/testroot.h"
#include "x11/xtest_util.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

namespace xtest {

Xvfb::Xvfb(const std::string& size) {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // The server writes its display number once it accepts connections; a server that says nothing within the
  // minute is stopped, so that the tests fail instead of waiting for ever.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool late = false;
  for (char c = 0; c != '\n';) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) == 0) {
      late = true;
      break;
    }
    if (read(fds[0], &c, 1) != 1) break;
    if (c != '\n') number += c;
  }
  close(fds[0]);
  if (number.empty() || late) {
    problem_ = late ? "Xvfb did not start within 60 s" : kMissing;
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    return;
  }
  pid_ = pid;
  name_ = ":" + number;
}

Xvfb::~Xvfb() { Stop(); }

void Xvfb::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

Xvfb* ScreenTest::server_ = nullptr;

void ScreenTest::TearDownTestSuite() {
  delete server_;
  server_ = nullptr;
}

void ScreenTest::SetUp() {
  if (!server_->Running()) {
    if (server_->Missing()) GTEST_SKIP() << server_->Problem();
    GTEST_FAIL() << server_->Problem();
  }
  screen_ = std::make_unique<Screen>(server_->Name());
  ASSERT_TRUE(screen_->Open()) << "the test cannot connect to " << Name();
  // The pointer waits in a corner, away from where windows open (hovering changes how controls look).
  Do("mousemove 0 0");
}

void ScreenTest::Do(const std::string& args) {
  std::string out;
  ASSERT_EQ(Client(Name(), "xdotool " + args + " 2>&1", &out), 0) << out;
}

Host::Host(const std::string& display, const std::vector<std::string>& args, const std::string& program) {
  out_ = kxtest::MakeTempDir("host-output") + "/out.txt";
  std::string exe = program.empty() ? kxtest::BuildDir() + "/bin/kxhost" : program;
  pid_ = fork();
  if (pid_ == 0) {
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("KX_HEADLESS");
    int fd = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(exe.c_str(), argv.data());
    _exit(127);
  }
}

Host::~Host() {
  if (pid_ > 0) Wait(1);
}

int Host::Wait(int timeoutMs) {
  if (pid_ <= 0) return code_;
  int status = 0;
  bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs);
  if (!ended) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return code_ = -1;
  }
  pid_ = -1;
  return code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Host::Output() const { return kxtest::ReadFile(out_); }

Screen::Screen(const std::string& display) {
  dpy_ = XOpenDisplay(display.c_str());
  // A host window may go between listing it and reading it; the callers check what they get back, and Xlib's
  // default handler would end the whole test program.
  XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
}

Screen::~Screen() {
  if (dpy_) XCloseDisplay(dpy_);
}

std::string Screen::Title(unsigned long window) {
  Atom name = XInternAtom(dpy_, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(dpy_, window, name, 0, 4096, False, AnyPropertyType, &type, &format, &n, &after, &data) ==
          Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), n);
    XFree(data);
  }
  return title;
}

std::vector<unsigned long> Screen::Stacking() {
  std::vector<unsigned long> out;
  ::Window root, parent, *kids = nullptr;
  unsigned n = 0;
  XSync(dpy_, False);
  if (!XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &kids, &n)) return out;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(dpy_, kids[i], &a) && a.map_state == IsViewable) out.push_back(kids[i]);
  }
  if (kids) XFree(kids);
  return out;
}

unsigned long Screen::WaitForWindow(const std::string& title, int timeoutMs) {
  unsigned long found = 0;
  WaitFor(
      [&] {
        for (unsigned long w : Stacking())
          if (Title(w) == title) {
            found = w;
            return true;
          }
        return false;
      },
      timeoutMs);
  return found;
}

unsigned long Screen::Focus() {
  ::Window focus = 0;
  int revert = 0;
  XGetInputFocus(dpy_, &focus, &revert);
  return focus == PointerRoot ? 0 : focus;
}

std::vector<long> Screen::Longs(unsigned long window, const std::string& property) {
  std::vector<long> out;
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy_, window, XInternAtom(dpy_, property.c_str(), False), 0, 1 << 20, False, AnyPropertyType,
                         &type, &format, &n, &after, &data) == Success && data) {
    if (format == 32) out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
    XFree(data);
  }
  return out;
}

std::string Screen::AtomName(long atom) {
  char* name = XGetAtomName(dpy_, static_cast<Atom>(atom));
  std::string s = name ? name : "";
  if (name) XFree(name);
  return s;
}

unsigned long Screen::TransientFor(unsigned long window) {
  ::Window owner = 0;
  if (!XGetTransientForHint(dpy_, window, &owner)) return 0;
  return owner;
}

void Screen::Geometry(unsigned long window, int* x, int* y, int* width, int* height) {
  XWindowAttributes a{};
  XGetWindowAttributes(dpy_, window, &a);
  *x = a.x;
  *y = a.y;
  *width = a.width;
  *height = a.height;
}

void Screen::Size(int* width, int* height) {
  *width = DisplayWidth(dpy_, DefaultScreen(dpy_));
  *height = DisplayHeight(dpy_, DefaultScreen(dpy_));
}

void Screen::Cover(int x, int y, int width, int height) {
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = 0x00FF00;
  ::Window w = XCreateWindow(dpy_, DefaultRootWindow(dpy_), x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                             0, CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
  XMapRaised(dpy_, w);
  XSync(dpy_, False);
  XDestroyWindow(dpy_, w);
  XSync(dpy_, False);
}

unsigned long Screen::TakeFocus() {
  ::Window w = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 8, 8, 0, 0, 0);
  XSelectInput(dpy_, w, StructureNotifyMask);
  XMapRaised(dpy_, w);
  XSync(dpy_, False);
  XEvent e;
  const bool mapped = WaitFor([&] { return XCheckTypedWindowEvent(dpy_, w, MapNotify, &e) == True; }, 30000);
  if (!mapped) {
    XDestroyWindow(dpy_, w);
    XSync(dpy_, False);
    return 0;
  }
  XSetInputFocus(dpy_, w, RevertToParent, CurrentTime);
  XSync(dpy_, False);
  return w;
}

void Screen::Destroy(unsigned long window) {
  XDestroyWindow(dpy_, window);
  XSync(dpy_, False);
}

std::vector<uint32_t> Screen::PointerPicture() {
  std::vector<uint32_t> out;
  XFixesCursorImage* img = XFixesGetCursorImage(dpy_);
  if (!img) return out;
  out.push_back(img->width);
  out.push_back(img->height);
  for (int i = 0; i < img->width * img->height; ++i) out.push_back(static_cast<uint32_t>(img->pixels[i]));
  XFree(img);
  return out;
}

std::vector<uint32_t> Screen::FontCursorPicture(unsigned shape) {
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.cursor = XCreateFontCursor(dpy_, shape);
  ::Window root = DefaultRootWindow(dpy_);
  ::Window w = XCreateWindow(dpy_, root, 0, 0, 4, 4, 0, CopyFromParent, InputOnly, CopyFromParent,
                             CWOverrideRedirect | CWCursor, &a);
  XMapRaised(dpy_, w);
  XWarpPointer(dpy_, 0, w, 0, 0, 0, 0, 2, 2);
  XSync(dpy_, False);
  std::vector<uint32_t> out = PointerPicture();
  XDestroyWindow(dpy_, w);
  XFreeCursor(dpy_, a.cursor);
  XSync(dpy_, False);
  return out;
}

bool Screen::OverrideRedirect(unsigned long window) {
  XWindowAttributes a{};
  return XGetWindowAttributes(dpy_, window, &a) && a.override_redirect;
}

std::vector<uint32_t> Screen::Pixels(unsigned long window, int* width, int* height) {
  std::vector<uint32_t> out;
  XWindowAttributes a{};
  if (!XGetWindowAttributes(dpy_, window, &a)) return out;
  XImage* img = XGetImage(dpy_, window, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), AllPlanes,
                          ZPixmap);
  if (!img) return out;
  *width = a.width;
  *height = a.height;
  out.resize(static_cast<size_t>(a.width) * a.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) out[static_cast<size_t>(y) * a.width + x] = XGetPixel(img, x, y) & 0xFFFFFF;
  XDestroyImage(img);
  return out;
}

bool Screen::HasInk(unsigned long window, int x, int y, int width, int height) {
  int w = 0, h = 0;
  std::vector<uint32_t> px = Pixels(window, &w, &h);
  for (int yy = y; yy < std::min(y + height, h); ++yy)
    for (int xx = x; xx < std::min(x + width, w); ++xx) {
      uint32_t p = px[static_cast<size_t>(yy) * w + xx];
      if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 100) return true;
    }
  return false;
}

void Screen::AskToClose(unsigned long window) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy_, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy_, window, False, NoEventMask, &e);
  // Delivered before anything another client sends next.
  XSync(dpy_, False);
}

std::map<std::string, Rect> ReadWhere(const std::string& path) {
  std::map<std::string, Rect> out;
  std::istringstream lines(kxtest::ReadFile(path));
  Rect r;
  std::string what;
  while (lines >> r.left >> r.top >> r.right >> r.bottom && std::getline(lines, what))
    out[what.substr(what.find_first_not_of(' '))] = r;
  return out;
}

int Client(const std::string& display, const std::string& command, std::string* out) {
  // A client that does not end (an X server that stopped answering) fails the test instead of holding it.
  return kxtest::Run("env -u KX_HEADLESS DISPLAY=" + display + " timeout -k 5 60 " + command, out);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ReadPng(const std::string& path, std::vector<uint32_t>* pixels, int* width, int* height) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return false;
  }
  cairo_surface_flush(s);
  *width = cairo_image_surface_get_width(s);
  *height = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  pixels->resize(static_cast<size_t>(*width) * *height);
  for (int y = 0; y < *height; ++y)
    for (int x = 0; x < *width; ++x)
      (*pixels)[static_cast<size_t>(y) * *width + x] = reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF;
  cairo_surface_destroy(s);
  return true;
}

}  // namespace xtest
