// The X11 display: each visible top-level window of the window system is one X window at its position and size.
// Pixels: a window's surface goes, damaged area only, into a server-side pixmap that also answers exposures, so the
// application is never asked to paint again for them. Input: one thread reads the connection and turns X events
// into the window system's input messages, queued to the thread that owns the window. Every Xlib call is made
// under one lock (xm_); the window system's lock is never taken while xm_ is held.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/display.h"
#include "platform/ui/internal.h"
#include "platform/win32/textconv.h"
#include "platform/x11/x11display.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <xkbcommon/xkbcommon.h>

namespace kx::ui {

namespace {

std::atomic<uint64_t> g_bytesSent{0};
std::atomic<uint64_t> g_framesSent{0};

// The state of one X window.
struct XWin {
  ::Window xid = 0;
  Pixmap pix = 0;
  int width = 0, height = 0;
  RECT rect{0, 0, 0, 0};
  bool mapped = false;
  bool overrideRedirect = false;
  std::string title;
  HWND owner = nullptr;
  HICON icon = nullptr;
  bool titleSet = false;
  XIC ic = nullptr;
  bool grabs = false;  // a popup menu or drop-down list
};

// What the window system says about a top-level window, read under its lock.
struct Snapshot {
  bool exists = false;
  bool visible = false;
  RECT rect{0, 0, 0, 0};
  std::string title;
  std::string cls;
  HWND owner = nullptr;
  bool ownerDisabled = false;  // the window is modal to its owner
  HICON icon = nullptr;
  HINSTANCE instance = nullptr;
  DWORD style = 0, exStyle = 0;
};

bool IsPopupClass(const std::string& cls) {
  return cls == "#32768" || EqualNoCase(cls, "ComboLBox") || EqualNoCase(cls, "tooltips_class32");
}

class X11Display;
X11Display* g_self = nullptr;

// The Xft.dpi resource of the server's resource database (as xrdb loaded it), or "" when it has none.
std::string XftDpi(::Display* dpy) {
  const char* db = XResourceManagerString(dpy);
  if (!db) return std::string();
  std::string all(db);
  size_t at = 0;
  while (at < all.size()) {
    size_t end = all.find('\n', at);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(at, end - at);
    at = end + 1;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    if (key != "Xft.dpi") continue;
    size_t v = line.find_first_not_of(" \t", colon + 1);
    return v == std::string::npos ? std::string() : line.substr(v);
  }
  return std::string();
}

class X11Display : public Display {
 public:
  explicit X11Display(::Display* dpy) : dpy_(dpy) {
    screen_ = DefaultScreen(dpy_);
    root_ = RootWindow(dpy_, screen_);
    visual_ = DefaultVisual(dpy_, screen_);
    depth_ = DefaultDepth(dpy_, screen_);
    dpi_ = DpiFromSettings(XftDpi(dpy_).c_str());
    gc_ = XCreateGC(dpy_, root_, 0, nullptr);
    XSetGraphicsExposures(dpy_, gc_, False);
    fastPixels_ = depth_ >= 24 && visual_->red_mask == 0xFF0000 && visual_->green_mask == 0xFF00 &&
                  visual_->blue_mask == 0xFF && ImageByteOrder(dpy_) == LSBFirst;
    const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                           "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
                           "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
                           "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_MOTIF_WM_HINTS", "_NET_WM_ICON", "_NET_WM_PID",
                           "CLIPBOARD", "TARGETS", "TEXT", "_NET_WM_STATE",
                           "_NET_WM_STATE_MODAL", "_NET_WM_STATE_SKIP_TASKBAR"};
    static_assert(sizeof names / sizeof names[0] == kAtoms);
    XInternAtoms(dpy_, const_cast<char**>(names), kAtoms, False, atoms_);
    // Each paste asks for its own property, so that a late answer to one that gave up is told apart.
    for (int i = 0; i < kPasteProps; ++i)
      pasteProps_[i] = XInternAtom(dpy_, ("KX_SELECTION" + std::to_string(i)).c_str(), False);
    // A window of our own that owns the clipboard and receives what other programs paste to us.
    XSetWindowAttributes a{};
    a.event_mask = PropertyChangeMask;
    helper_ = XCreateWindow(dpy_, root_, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent, CWEventMask, &a);
    int xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    XkbLibraryVersion(&xkbMajor, &xkbMinor);
    int op, ev, err;
    XkbQueryExtension(dpy_, &op, &ev, &err, &xkbMajor, &xkbMinor);
    XkbSetDetectableAutoRepeat(dpy_, True, nullptr);
    // The input method of the session (XMODIFIERS), or Xlib's own for dead keys and compose sequences.
    if (XSupportsLocale()) {
      XSetLocaleModifiers("");
      im_ = XOpenIM(dpy_, nullptr, nullptr, nullptr);
    }
    XFlush(dpy_);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    g_self = this;
    std::thread([this] { ReadLoop(); }).detach();
  }

  bool Live() const override { return true; }
  SIZE ScreenSize() const override { return SIZE{DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)}; }
  int Dpi() const override { return dpi_; }

  void WindowChanged(HWND hwnd) override {
    uint64_t seen;
    {
      std::lock_guard<std::mutex> l(xm_);
      seen = goneSerial_;
      ++changing_;
    }
    // Destroyed windows are remembered only while some change that read its state earlier is under way.
    struct Finished {
      X11Display* self;
      ~Finished() {
        std::lock_guard<std::mutex> l(self->xm_);
        if (--self->changing_ == 0) self->goneAt_.clear();
      }
    } finished{this};
    Snapshot s = Take(hwnd);
    std::vector<HWND> order;
    {
      Guard g(Lock());
      order = TopLevels();
    }
    if (!s.exists) {
      WindowGone(hwnd);
      return;
    }
    if (!s.icon && s.visible && s.instance && !IsPopupClass(s.cls)) {
      // A window without an icon of its own shows its module's application icon (the first icon, 128).
      s.icon = static_cast<HICON>(LoadImage(s.instance, MAKEINTRESOURCE(128), IMAGE_ICON, 32, 32, LR_SHARED));
    }
    RECT keep;
    static thread_local HWND moving = nullptr;
    bool shown;
    {
      std::lock_guard<std::mutex> l(xm_);
      auto it = wins_.find(hwnd);
      shown = it != wins_.end() && it->second.mapped;
    }
    if (s.visible && !shown && moving != hwnd && OffScreen(s.rect, &keep)) {
      // A window larger than the screen, or beyond it, is brought onto it before it is shown (once: a window
      // that insists on its place keeps it).
      auto move = [hwnd, keep] {
        moving = hwnd;
        SetWindowPos(hwnd, nullptr, keep.left, keep.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        moving = nullptr;
      };
      if (OnThreadOf(hwnd)) {
        move();
        return;
      }
      PostTask(hwnd, move);
    }
    std::unique_lock<std::mutex> l(xm_);
    if (dead_) return;
    // Another thread destroyed the window after its state was read: that state is not brought back.
    if (auto g = goneAt_.find(hwnd); g != goneAt_.end() && g->second > seen) return;
    auto it = wins_.find(hwnd);
    if (it == wins_.end()) {
      if (!s.visible) return;  // made when first shown
      it = wins_.emplace(hwnd, Create(s)).first;
      byX_[it->second.xid] = hwnd;
    }
    XWin& w = it->second;
    Sync(hwnd, w, s);
    Restack(order);
    Done();
  }

  void WindowGone(HWND hwnd) override {
    std::unique_lock<std::mutex> l(xm_);
    goneAt_[hwnd] = ++goneSerial_;
    auto it = wins_.find(hwnd);
    if (it == wins_.end()) return;
    if (!dead_) {
      Ungrab(hwnd);
      if (it->second.ic) XDestroyIC(it->second.ic);
      XDestroyWindow(dpy_, it->second.xid);
      if (it->second.pix) XFreePixmap(dpy_, it->second.pix);
      Done();
    }
    byX_.erase(it->second.xid);
    wins_.erase(it);
  }

  void Present() override {
    struct Item {
      HWND hwnd;
      SurfacePtr surface;
      RECT damage;
    };
    std::vector<Item> items;
    {
      Guard g(Lock());
      DWORD me = ThreadId();
      for (HWND t : TopLevels()) {
        WindowPtr w = FindLocked(t);
        if (!w || w->threadId != me || !w->surface || !w->surface->shownDamaged) continue;
        items.push_back(Item{t, w->surface, w->surface->shownDamage});
        w->surface->shownDamaged = false;
      }
    }
    if (items.empty()) return;
    std::vector<Item> later;
    {
      std::unique_lock<std::mutex> l(xm_);
      if (dead_) return;
      for (Item& it : items) {
        auto f = wins_.find(it.hwnd);
        XWin* w = f == wins_.end() ? nullptr : &f->second;
        if (!w || !w->pix || w->width != it.surface->width || w->height != it.surface->height) {
          // No X window of this size yet: the damage waits for it.
          later.push_back(it);
          continue;
        }
        Put(*w, *it.surface, it.damage);
      }
      Done();
    }
    if (later.empty()) return;
    Guard g(Lock());
    for (Item& it : later) it.surface->AddDamage(it.damage);
  }

  void Activated(HWND hwnd) override {
    std::unique_lock<std::mutex> l(xm_);
    if (dead_) return;
    auto it = wins_.find(hwnd);
    if (it == wins_.end() || !it->second.mapped || it->second.overrideRedirect) {
      wantFocus_ = hwnd;
      return;
    }
    FocusTo(it->second);
    Done();
  }

  void SetPointerShape(PointerShape shape) override {
    std::unique_lock<std::mutex> l(xm_);
    if (dead_ || shape == shape_) return;
    shape_ = shape;
    Cursor c = CursorFor(shape);
    for (auto& [h, w] : wins_) XDefineCursor(dpy_, w.xid, c);
    Done();
  }

  void Beep() override {
    std::unique_lock<std::mutex> l(xm_);
    if (dead_) return;
    XBell(dpy_, 0);
    Done();
  }

  void SetClipboardText(const std::string& text) override {
    std::unique_lock<std::mutex> l(xm_);
    clip_ = text;
    if (dead_) return;
    XSetSelectionOwner(dpy_, atoms_[kClipboard], helper_, CurrentTime);
    ownClip_ = XGetSelectionOwner(dpy_, atoms_[kClipboard]) == helper_;
    Done();
  }

  std::string ClipboardText() override {
    std::unique_lock<std::mutex> l(xm_);
    if (dead_ || ownClip_) return clip_;
    if (XGetSelectionOwner(dpy_, atoms_[kClipboard]) == 0) return std::string();
    uint64_t ticket = ++pasteTicket_;
    XConvertSelection(dpy_, atoms_[kClipboard], atoms_[kUtf8], pasteProps_[ticket % kPasteProps], helper_, CurrentTime);
    Done();
    // The owner is another program: it answers through the server, or not at all.
    pasteCv_.wait_for(l, std::chrono::seconds(3), [&] { return pasteDone_ == ticket || dead_; });
    return pasteDone_ == ticket ? pasted_ : std::string();
  }

  bool SyncServer() {
    std::unique_lock<std::mutex> l(xm_);
    if (dead_) return false;
    XSync(dpy_, False);
    Done();
    return true;
  }

 private:
  enum {
    kProtocols, kDelete, kNetName, kUtf8, kType, kTypeNormal, kTypeDialog, kTypePopupMenu, kTypeTooltip,
    kTypeDropdown, kMotif, kNetIcon, kPid, kClipboard, kTargets, kText, kState, kStateModal,
    kSkipTaskbar, kAtoms
  };

  // After a batch of requests: send them, and wake the reader when a call here took events off the connection.
  void Done() {
    XFlush(dpy_);
    if (QLength(dpy_) > 0 && wake_[1] >= 0) {
      char c = 1;
      (void)!write(wake_[1], &c, 1);
    }
  }

  Snapshot Take(HWND hwnd) {
    Snapshot s;
    Guard g(Lock());
    WindowPtr w = FindLocked(hwnd);
    if (!w || w->destroyed || w->parent || w->messageOnly) return s;
    s.exists = true;
    s.visible = (w->style & WS_VISIBLE) != 0 && !(w->style & WS_MINIMIZE);
    s.rect = w->rect;
    s.title = w->text;
    s.cls = w->cls->name;
    s.owner = w->owner;
    if (WindowPtr ow = FindLocked(w->owner)) s.ownerDisabled = (ow->style & WS_DISABLED) != 0;
    s.icon = w->iconSmall ? w->iconSmall : w->iconBig ? w->iconBig : w->cls->iconSm ? w->cls->iconSm : w->cls->icon;
    // An owned window without an icon of its own shows its owner's.
    for (HWND o = w->owner; !s.icon && o;) {
      WindowPtr ow = FindLocked(o);
      if (!ow) break;
      s.icon = ow->iconSmall ? ow->iconSmall : ow->iconBig;
      o = ow->owner;
    }
    s.style = w->style;
    s.exStyle = w->exStyle;
    s.instance = w->instance;
    return s;
  }

  bool OffScreen(const RECT& r, RECT* keep) {
    int sw = DisplayWidth(dpy_, screen_), sh = DisplayHeight(dpy_, screen_);
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = std::clamp<int>(r.left, 0, std::max(0, sw - w));
    int y = std::clamp<int>(r.top, 0, std::max(0, sh - h));
    *keep = RECT{x, y, x + w, y + h};
    return x != r.left || y != r.top;
  }

  XWin Create(const Snapshot& s) {
    XWin w;
    w.overrideRedirect = IsPopupClass(s.cls) || ((s.style & WS_POPUP) && (s.exStyle & WS_EX_TOOLWINDOW) &&
                                                 (s.style & WS_CAPTION) != WS_CAPTION && !s.owner);
    w.grabs = s.cls == "#32768" || EqualNoCase(s.cls, "ComboLBox");
    int width = std::max<int>(s.rect.right - s.rect.left, 1), height = std::max<int>(s.rect.bottom - s.rect.top, 1);
    XSetWindowAttributes a{};
    a.background_pixmap = 0;  // None: the pixmap answers exposures
    a.border_pixel = 0;
    a.override_redirect = w.overrideRedirect ? True : False;
    a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                   PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask;
    a.cursor = CursorFor(shape_);
    w.xid = XCreateWindow(dpy_, root_, s.rect.left, s.rect.top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, depth_, InputOutput, visual_,
                          CWBackPixmap | CWBorderPixel | CWOverrideRedirect | CWEventMask | CWCursor, &a);
    w.rect = s.rect;
    XSetWMProtocols(dpy_, w.xid, &atoms_[kDelete], 1);
    XClassHint ch{const_cast<char*>("brinmoor"), const_cast<char*>("Brinmoor")};
    XSetClassHint(dpy_, w.xid, &ch);
    long pid = getpid();
    XChangeProperty(dpy_, w.xid, atoms_[kPid], XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    Atom type = atoms_[kTypeNormal];
    if (s.cls == "#32768") type = atoms_[kTypePopupMenu];
    else if (EqualNoCase(s.cls, "ComboLBox")) type = atoms_[kTypeDropdown];
    else if (EqualNoCase(s.cls, "tooltips_class32")) type = atoms_[kTypeTooltip];
    else if (s.owner) type = atoms_[kTypeDialog];
    XChangeProperty(dpy_, w.xid, atoms_[kType], XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&type), 1);
    // The window system draws the caption and frame itself; the window manager adds none.
    long motif[5] = {2 /* decorations */, 0, 0, 0, 0};
    XChangeProperty(dpy_, w.xid, atoms_[kMotif], atoms_[kMotif], 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);
    if (im_ && !w.overrideRedirect) {
      w.ic = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, w.xid, XNFocusWindow,
                       w.xid, nullptr);
      long filter = 0;
      if (w.ic && !XGetICValues(w.ic, XNFilterEvents, &filter, nullptr) && filter)
        XSelectInput(dpy_, w.xid, a.event_mask | filter);
    }
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = w.overrideRedirect ? False : True;
    hints.initial_state = NormalState;
    XSetWMHints(dpy_, w.xid, &hints);
    return w;
  }

  void Sync(HWND hwnd, XWin& w, const Snapshot& s) {
    int width = std::max<int>(s.rect.right - s.rect.left, 1), height = std::max<int>(s.rect.bottom - s.rect.top, 1);
    if (!w.titleSet || w.title != s.title) {
      w.title = s.title;
      w.titleSet = true;
      const auto* t = reinterpret_cast<const unsigned char*>(s.title.data());
      XChangeProperty(dpy_, w.xid, atoms_[kNetName], atoms_[kUtf8], 8, PropModeReplace, t, static_cast<int>(s.title.size()));
      XChangeProperty(dpy_, w.xid, XA_WM_NAME, atoms_[kUtf8], 8, PropModeReplace, t, static_cast<int>(s.title.size()));
    }
    if (w.owner != s.owner) {
      w.owner = s.owner;
      auto o = wins_.find(s.owner);
      if (o != wins_.end()) {
        XSetTransientForHint(dpy_, w.xid, o->second.xid);
      } else {
        XDeleteProperty(dpy_, w.xid, XA_WM_TRANSIENT_FOR);
      }
    }
    if (w.icon != s.icon) {
      w.icon = s.icon;
      SetIcon(w.xid, s.icon);
    }
    bool moved = s.rect.left != w.rect.left || s.rect.top != w.rect.top;
    bool sized = width != w.width || height != w.height;
    if (sized || !w.pix) {
      if (w.pix) XFreePixmap(dpy_, w.pix);
      w.pix = XCreatePixmap(dpy_, w.xid, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            static_cast<unsigned>(depth_));
      w.width = width;
      w.height = height;
      // A new surface is all dialog face until painted; what is painted comes as its damage.
      XSetForeground(dpy_, gc_, ToX(kx::gdi::SysPixel(COLOR_BTNFACE)));
      XFillRectangle(dpy_, w.pix, gc_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
      XSizeHints sh{};
      sh.flags = PPosition | USPosition | PSize | USSize;
      if (!(s.style & WS_THICKFRAME)) {
        sh.flags |= PMinSize | PMaxSize;
        sh.min_width = sh.max_width = width;
        sh.min_height = sh.max_height = height;
      }
      sh.x = s.rect.left;
      sh.y = s.rect.top;
      sh.width = width;
      sh.height = height;
      XSetWMNormalHints(dpy_, w.xid, &sh);
    }
    if (moved || sized) {
      XMoveResizeWindow(dpy_, w.xid, s.rect.left, s.rect.top, static_cast<unsigned>(width), static_cast<unsigned>(height));
      w.rect = s.rect;
    }
    if (s.visible && !w.mapped) {
      // Owned windows stay off the taskbar (their top-level sheet is on it); a modal one says so.
      std::vector<Atom> state;
      if (s.owner && !w.overrideRedirect) state.push_back(atoms_[kSkipTaskbar]);
      if (s.ownerDisabled && !w.overrideRedirect) state.push_back(atoms_[kStateModal]);
      if (state.empty()) XDeleteProperty(dpy_, w.xid, atoms_[kState]);
      else
        XChangeProperty(dpy_, w.xid, atoms_[kState], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(state.data()), static_cast<int>(state.size()));
      XMapWindow(dpy_, w.xid);
      w.mapped = true;
      // Asked now and again when the window is mapped: under a window manager it may not be viewable yet.
      if (wantFocus_ == hwnd && !w.overrideRedirect) FocusTo(w, false);
      if (w.grabs) {
        grabbing_.push_back(hwnd);
        Grab();
      }
    } else if (!s.visible && w.mapped) {
      XUnmapWindow(dpy_, w.xid);
      w.mapped = false;
      Ungrab(hwnd);
    }
  }

  // An open popup menu or drop-down list holds the pointer, so that a click anywhere else reaches it (and closes
  // it) as the window system's capture expects; the last one opened holds it.
  void Grab() {
    auto it = wins_.find(grabbing_.back());
    if (it == wins_.end()) return;
    XGrabPointer(dpy_, it->second.xid, True,
                 ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask,
                 GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
  }

  void Ungrab(HWND hwnd) {
    auto it = std::find(grabbing_.begin(), grabbing_.end(), hwnd);
    if (it == grabbing_.end()) return;
    grabbing_.erase(it);
    if (grabbing_.empty()) XUngrabPointer(dpy_, CurrentTime);
    else Grab();
  }

  // The X stacking follows the window system's z-order of its top-level windows.
  void Restack(const std::vector<HWND>& order) {
    std::vector<::Window> ids;
    for (HWND h : order) {
      auto it = wins_.find(h);
      if (it != wins_.end() && it->second.mapped) ids.push_back(it->second.xid);
    }
    if (ids == lastOrder_ || ids.empty()) return;
    lastOrder_ = ids;
    XRaiseWindow(dpy_, ids.front());
    if (ids.size() > 1) XRestackWindows(dpy_, ids.data(), static_cast<int>(ids.size()));
  }

  void FocusTo(XWin& w, bool settled = true) {
    focusSerial_ = NextRequest(dpy_);
    XSetInputFocus(dpy_, w.xid, RevertToParent, CurrentTime);
    if (settled) wantFocus_ = nullptr;
  }

  // Sends part of a surface to the window's pixmap and from there to the window.
  void Put(XWin& w, kx::gdi::Surface& s, RECT r) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, std::min(w.width, s.width));
    r.bottom = std::min<LONG>(r.bottom, std::min(w.height, s.height));
    if (r.right <= r.left || r.bottom <= r.top) return;
    int rw = r.right - r.left, rh = r.bottom - r.top;
    cairo_surface_flush(s.cs);
    XImage img{};
    img.width = s.width;
    img.height = s.height;
    img.format = ZPixmap;
    img.byte_order = LSBFirst;
    img.bitmap_unit = 32;
    img.bitmap_bit_order = LSBFirst;
    img.bitmap_pad = 32;
    img.depth = depth_;
    img.bits_per_pixel = 32;
    img.bytes_per_line = cairo_image_surface_get_stride(s.cs);
    img.red_mask = visual_->red_mask;
    img.green_mask = visual_->green_mask;
    img.blue_mask = visual_->blue_mask;
    std::vector<uint32_t> converted;
    if (fastPixels_) {
      img.data = reinterpret_cast<char*>(cairo_image_surface_get_data(s.cs));
      XInitImage(&img);
      XPutImage(dpy_, w.pix, gc_, &img, r.left, r.top, r.left, r.top, static_cast<unsigned>(rw), static_cast<unsigned>(rh));
    } else {
      XImage* out = XCreateImage(dpy_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(rw), static_cast<unsigned>(rh), 32, 0);
      out->data = static_cast<char*>(malloc(static_cast<size_t>(out->bytes_per_line) * rh));
      for (int y = 0; y < rh; ++y)
        for (int x = 0; x < rw; ++x) XPutPixel(out, x, y, ToX(s.Row(r.top + y)[r.left + x]));
      XPutImage(dpy_, w.pix, gc_, out, 0, 0, r.left, r.top, static_cast<unsigned>(rw), static_cast<unsigned>(rh));
      XDestroyImage(out);
    }
    g_bytesSent += static_cast<uint64_t>(rw) * rh * 4 + 24;
    if (w.mapped) {
      XCopyArea(dpy_, w.pix, w.xid, gc_, r.left, r.top, static_cast<unsigned>(rw), static_cast<unsigned>(rh), r.left, r.top);
      g_bytesSent += 28;
    }
    ++g_framesSent;
  }

  // An 0x00RRGGBB pixel as the visual's pixel value.
  unsigned long ToX(uint32_t p) const {
    if (fastPixels_) return p;
    auto scale = [](uint32_t v, unsigned long mask) -> unsigned long {
      if (!mask) return 0;
      int shift = __builtin_ctzl(mask);
      unsigned long max = mask >> shift;
      return ((v * max + 127) / 255) << shift;
    };
    return scale((p >> 16) & 0xFF, visual_->red_mask) | scale((p >> 8) & 0xFF, visual_->green_mask) |
           scale(p & 0xFF, visual_->blue_mask);
  }

  void SetIcon(::Window xid, HICON icon) {
    auto obj = icon ? kx::gdi::Get<kx::gdi::IconObj>(icon, kx::gdi::ObjKind::Icon) : nullptr;
    if (!obj || !obj->image) {
      XDeleteProperty(dpy_, xid, atoms_[kNetIcon]);
      return;
    }
    cairo_surface_flush(obj->image);
    int iw = cairo_image_surface_get_width(obj->image), ih = cairo_image_surface_get_height(obj->image);
    int stride = cairo_image_surface_get_stride(obj->image);
    const unsigned char* data = cairo_image_surface_get_data(obj->image);
    // Format 32 properties are arrays of long; the pixels are straight (not premultiplied) ARGB.
    std::vector<long> prop{iw, ih};
    for (int y = 0; y < ih; ++y)
      for (int x = 0; x < iw; ++x) {
        uint32_t v = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride)[x];
        uint32_t a = v >> 24;
        auto un = [a](uint32_t c) { return a ? std::min<uint32_t>(c * 255 / a, 255) : 0; };
        prop.push_back(static_cast<long>((a << 24) | (un((v >> 16) & 0xFF) << 16) | (un((v >> 8) & 0xFF) << 8) | un(v & 0xFF)));
      }
    XChangeProperty(dpy_, xid, atoms_[kNetIcon], XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(prop.data()), static_cast<int>(prop.size()));
  }

  Cursor CursorFor(PointerShape shape) {
    auto it = cursors_.find(shape);
    if (it != cursors_.end()) return it->second;
    unsigned glyph = XC_left_ptr;
    switch (shape) {
      case PointerShape::IBeam: glyph = XC_xterm; break;
      case PointerShape::Hand: glyph = XC_hand2; break;
      case PointerShape::Wait: glyph = XC_watch; break;
      case PointerShape::SizeWE: glyph = XC_sb_h_double_arrow; break;
      case PointerShape::SizeNS: glyph = XC_sb_v_double_arrow; break;
      default: break;
    }
    Cursor c = XCreateFontCursor(dpy_, glyph);
    cursors_[shape] = c;
    return c;
  }

  // ----- the reading thread -----
  void ReadLoop() {
    int fd = ConnectionNumber(dpy_);
    for (;;) {
      std::vector<XEvent> events;
      {
        std::unique_lock<std::mutex> l(xm_);
        if (dead_) return;
        while (!dead_ && XPending(dpy_)) {
          XEvent e;
          XNextEvent(dpy_, &e);
          if (XFilterEvent(&e, 0)) continue;  // taken by the input method
          events.push_back(e);
        }
        if (dead_) return;
      }
      for (size_t i = 0; i < events.size(); ++i) {
        // Of a run of pointer motions only the last counts.
        if (events[i].type == MotionNotify && i + 1 < events.size() && events[i + 1].type == MotionNotify &&
            events[i + 1].xmotion.window == events[i].xmotion.window)
          continue;
        Handle(events[i]);
      }
      if (!events.empty()) continue;
      pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      poll(p, wake_[0] >= 0 ? 2 : 1, -1);
      if (p[1].revents & POLLIN) {
        char buf[64];
        (void)!read(wake_[0], buf, sizeof buf);
      }
    }
  }

  HWND ToHwnd(::Window xid) {
    std::unique_lock<std::mutex> l(xm_);
    auto it = byX_.find(xid);
    return it == byX_.end() ? nullptr : it->second;
  }

  static WPARAM MouseKeys(unsigned state) {
    WPARAM k = 0;
    if (state & Button1Mask) k |= MK_LBUTTON;
    if (state & Button2Mask) k |= MK_MBUTTON;
    if (state & Button3Mask) k |= MK_RBUTTON;
    if (state & ShiftMask) k |= MK_SHIFT;
    if (state & ControlMask) k |= MK_CONTROL;
    return k;
  }

  // The window system's state of one of our X windows, and its window; null when the X window is not (or no
  // longer) ours. Under xm_.
  XWin* WinOf(::Window xid, HWND* hwnd = nullptr) {
    auto it = byX_.find(xid);
    if (it == byX_.end()) return nullptr;
    auto w = wins_.find(it->second);
    if (w == wins_.end()) return nullptr;
    if (hwnd) *hwnd = it->second;
    return &w->second;
  }

  // One handler per event. Each takes xm_ only around its own Xlib calls and lookups, never while it calls into
  // the window system.
  void Handle(XEvent& e) {
    switch (e.type) {
      case MotionNotify: PointerMoved(e.xmotion.window, e.xmotion.x_root, e.xmotion.y_root, e.xmotion.state); break;
      case EnterNotify: PointerMoved(e.xcrossing.window, e.xcrossing.x_root, e.xcrossing.y_root, e.xcrossing.state); break;
      case LeaveNotify: PointerLeft(e.xcrossing); break;
      case ButtonPress: case ButtonRelease: ButtonChanged(e.xbutton); break;
      case KeyPress: case KeyRelease: Key(e.xkey); break;
      case FocusIn: FocusGained(e.xfocus); break;
      case FocusOut: FocusLeft(e.xfocus); break;
      case Expose: Exposed(e.xexpose); break;
      case ClientMessage: ManagerMessage(e.xclient); break;
      case ConfigureNotify: Configured(e.xconfigure); break;
      case MapNotify: Mapped(e.xmap); break;
      case MappingNotify: MappingChanged(e.xmapping); break;
      case SelectionRequest: AnswerSelection(e.xselectionrequest); break;
      case SelectionClear: SelectionCleared(e.xselectionclear); break;
      case SelectionNotify: SelectionArrived(e.xselection); break;
      default: break;
    }
  }

  // The screen of the window system is the X screen: points are taken in root coordinates.
  void PointerMoved(::Window xid, int x, int y, unsigned state) {
    if (ToHwnd(xid)) InjectMouse(POINT{x, y}, {{WM_MOUSEMOVE, MouseKeys(state)}});
  }

  void PointerLeft(const XCrossingEvent& c) {
    if (c.detail != NotifyInferior && c.mode == NotifyNormal) TrackLeave(nullptr);
  }

  void ButtonChanged(const XButtonEvent& b) {
    HWND top = ToHwnd(b.window);
    if (!top) return;
    POINT pt{b.x_root, b.y_root};
    bool down = b.type == ButtonPress;
    WPARAM keys = MouseKeys(b.state);
    if (b.button == 4 || b.button == 5) {
      if (!down) return;
      // The wheel goes to the window with the focus, with the pointer's place on the screen.
      MSG m{nullptr, WM_MOUSEWHEEL, MAKEWPARAM(keys, b.button == 4 ? 120 : -120), MAKELPARAM(pt.x, pt.y), 0, pt};
      InjectKeys(top, {m});
      return;
    }
    WPARAM bit = b.button == 1 ? MK_LBUTTON : b.button == 2 ? MK_MBUTTON : b.button == 3 ? MK_RBUTTON : 0;
    if (!bit) return;
    keys = down ? (keys | bit) : (keys & ~bit);
    UINT msg = b.button == 1 ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
             : b.button == 2 ? (down ? WM_MBUTTONDOWN : WM_MBUTTONUP)
                             : (down ? WM_RBUTTONDOWN : WM_RBUTTONUP);
    InjectMouse(pt, {{msg, keys}});
  }

  // Focus moves between our own windows, or from a pointer or a grab, change nothing of the activation.
  static bool FocusNoise(const XFocusChangeEvent& f) {
    return f.mode == NotifyGrab || f.mode == NotifyUngrab || f.detail == NotifyPointer || f.detail == NotifyInferior;
  }

  void FocusGained(const XFocusChangeEvent& f) {
    if (FocusNoise(f)) return;
    {
      std::unique_lock<std::mutex> l(xm_);
      // A focus change we asked for earlier than the last one is out of date.
      if (f.serial < focusSerial_) return;
      if (XWin* w = WinOf(f.window); w && w->ic) XSetICFocus(w->ic);
    }
    HWND top = ToHwnd(f.window);
    if (top)
      PostTask(top, [top] {
        if (IsWindowVisible(top) && IsWindowEnabled(top) && GetActiveWindow() != top) SetActiveWindow(top);
      });
  }

  void FocusLeft(const XFocusChangeEvent& f) {
    if (FocusNoise(f)) return;
    HWND top = ToHwnd(f.window);
    if (!top) return;
    {
      // The keyboard went to another program (not to another window of ours): the window is no longer active.
      std::unique_lock<std::mutex> l(xm_);
      ::Window now = 0;
      int revert;
      XGetInputFocus(dpy_, &now, &revert);
      Done();
      if (byX_.count(now)) return;
    }
    PostTask(top, [top] {
      if (GetActiveWindow() == top) SetActiveWindow(nullptr);
    });
  }

  void Exposed(const XExposeEvent& x) {
    std::unique_lock<std::mutex> l(xm_);
    XWin* w = WinOf(x.window);
    if (!w || !w->pix) return;
    XCopyArea(dpy_, w->pix, w->xid, gc_, x.x, x.y, static_cast<unsigned>(x.width), static_cast<unsigned>(x.height), x.x,
              x.y);
    Done();
  }

  void ManagerMessage(const XClientMessageEvent& c) {
    if (c.message_type != atoms_[kProtocols] || static_cast<Atom>(c.data.l[0]) != atoms_[kDelete]) return;
    // The window manager's close is the system menu's Close of the window.
    // A window that its modal question has disabled does not take it (the question is above it).
    if (HWND top = ToHwnd(c.window))
      PostTask(top, [top] {
        if (IsWindowEnabled(top)) PostMessage(top, WM_SYSCOMMAND, SC_CLOSE, 0);
      });
  }

  // The window manager moved the window: the window system follows.
  void Configured(const XConfigureEvent& c) {
    if (!c.send_event) return;
    HWND top = ToHwnd(c.window);
    if (!top) return;
    int x = c.x, y = c.y;
    {
      std::unique_lock<std::mutex> l(xm_);
      auto it = wins_.find(top);
      if (it == wins_.end() || (it->second.rect.left == x && it->second.rect.top == y)) return;
      OffsetRect(&it->second.rect, x - it->second.rect.left, y - it->second.rect.top);
    }
    PostTask(top, [top, x, y] { SetWindowPos(top, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); });
  }

  void Mapped(const XMapEvent& m) {
    std::unique_lock<std::mutex> l(xm_);
    HWND hwnd = nullptr;
    XWin* w = WinOf(m.window, &hwnd);
    if (!w || wantFocus_ != hwnd || w->overrideRedirect) return;
    FocusTo(*w);
    Done();
  }

  void MappingChanged(XMappingEvent& m) {
    if (m.request == MappingPointer) return;
    std::unique_lock<std::mutex> l(xm_);
    XRefreshKeyboardMapping(&m);
  }

  void SelectionCleared(const XSelectionClearEvent& c) {
    std::unique_lock<std::mutex> l(xm_);
    if (c.selection == atoms_[kClipboard]) ownClip_ = false;
  }

  void SelectionArrived(const XSelectionEvent& x) {
    std::unique_lock<std::mutex> l(xm_);
    // An answer to an earlier paste (its own property) is dropped; a refusal (no property) ends the current one.
    if (x.property && x.property != pasteProps_[pasteTicket_ % kPasteProps]) {
      XDeleteProperty(dpy_, helper_, x.property);
      return;
    }
    std::string text;
    if (x.property) {
      Atom type;
      int format;
      unsigned long n, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy_, helper_, x.property, 0, 1 << 24, True, AnyPropertyType, &type, &format, &n, &after,
                             &data) == Success && data) {
        if (format == 8) text.assign(reinterpret_cast<char*>(data), n);
        XFree(data);
      }
    }
    pasted_ = text;
    pasteDone_ = pasteTicket_;
    pasteCv_.notify_all();
  }

  void AnswerSelection(const XSelectionRequestEvent& r) {
    std::unique_lock<std::mutex> l(xm_);
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = dpy_;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    reply.property = 0;
    Atom prop = r.property ? r.property : r.target;
    if (r.selection == atoms_[kClipboard] && ownClip_) {
      if (r.target == atoms_[kTargets]) {
        Atom targets[] = {atoms_[kTargets], atoms_[kUtf8], atoms_[kText], XA_STRING};
        XChangeProperty(dpy_, r.requestor, prop, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(targets), 4);
        reply.property = prop;
      } else if (r.target == atoms_[kUtf8] || r.target == atoms_[kText]) {
        XChangeProperty(dpy_, r.requestor, prop, atoms_[kUtf8], 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(clip_.data()), static_cast<int>(clip_.size()));
        reply.property = prop;
      } else if (r.target == XA_STRING) {
        // STRING is Latin-1: text with other characters is refused rather than sent garbled.
        std::string latin;
        bool fits = true;
        for (uint32_t c : Decode(clip_)) {
          if (c > 0xFF) fits = false;
          latin.push_back(static_cast<char>(c));
        }
        if (fits) {
          XChangeProperty(dpy_, r.requestor, prop, XA_STRING, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(latin.data()), static_cast<int>(latin.size()));
          reply.property = prop;
        }
      }
    }
    XSendEvent(dpy_, r.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
    Done();
  }

  // The virtual key of an X key, from its symbol on the base level of the current group.
  static UINT VirtualKey(KeySym ks) {
    if (ks >= XK_a && ks <= XK_z) return static_cast<UINT>(ks - XK_a + 'A');
    if (ks >= XK_A && ks <= XK_Z) return static_cast<UINT>(ks);
    if (ks >= XK_0 && ks <= XK_9) return static_cast<UINT>(ks);
    if (ks >= XK_F1 && ks <= XK_F24) return static_cast<UINT>(VK_F1 + (ks - XK_F1));
    if (ks >= XK_KP_0 && ks <= XK_KP_9) return static_cast<UINT>(VK_NUMPAD0 + (ks - XK_KP_0));
    switch (ks) {
      case XK_Return: case XK_KP_Enter: return VK_RETURN;
      case XK_Tab: case XK_ISO_Left_Tab: return VK_TAB;
      case XK_Escape: return VK_ESCAPE;
      case XK_BackSpace: return VK_BACK;
      case XK_Delete: case XK_KP_Delete: return VK_DELETE;
      case XK_Insert: case XK_KP_Insert: return VK_INSERT;
      case XK_Home: case XK_KP_Home: return VK_HOME;
      case XK_End: case XK_KP_End: return VK_END;
      case XK_Prior: case XK_KP_Prior: return VK_PRIOR;
      case XK_Next: case XK_KP_Next: return VK_NEXT;
      case XK_Left: case XK_KP_Left: return VK_LEFT;
      case XK_Right: case XK_KP_Right: return VK_RIGHT;
      case XK_Up: case XK_KP_Up: return VK_UP;
      case XK_Down: case XK_KP_Down: return VK_DOWN;
      case XK_space: return VK_SPACE;
      case XK_Shift_L: case XK_Shift_R: return VK_SHIFT;
      case XK_Control_L: case XK_Control_R: return VK_CONTROL;
      case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: case XK_ISO_Level3_Shift: return VK_MENU;
      case XK_Caps_Lock: return VK_CAPITAL;
      case XK_Menu: return VK_APPS;
      case XK_KP_Multiply: return VK_MULTIPLY;
      case XK_KP_Add: return VK_ADD;
      case XK_KP_Subtract: return VK_SUBTRACT;
      case XK_KP_Decimal: return VK_DECIMAL;
      case XK_KP_Divide: return VK_DIVIDE;
      default: break;
    }
    UINT vk;
    bool shift;
    if (ks < 0x80 && CharToKey(static_cast<uint32_t>(ks), &vk, &shift)) return vk;
    return 0;
  }

  void Key(XKeyEvent& k) {
    HWND top = ToHwnd(k.window);
    if (!top) return;
    bool down = k.type == KeyPress;
    KeySym base, typed = NoSymbol;
    std::string text;  // what an input method committed, UTF-8
    {
      std::unique_lock<std::mutex> l(xm_);
      XWin* w = WinOf(k.window);
      XIC ic = w ? w->ic : nullptr;
      if (down && ic) {
        char buf[64];
        Status st = 0;
        int n = Xutf8LookupString(ic, &k, buf, sizeof buf, &typed, &st);
        if (st == XBufferOverflow) {
          text.assign(static_cast<size_t>(n), '\0');
          n = Xutf8LookupString(ic, &k, text.data(), n, &typed, &st);
          text.resize(static_cast<size_t>(std::max(n, 0)));
        } else if (st == XLookupChars || st == XLookupBoth) {
          text.assign(buf, static_cast<size_t>(n));
        }
        if (st != XLookupKeySym && st != XLookupBoth) typed = NoSymbol;
      } else {
        char buf[32];
        XLookupString(&k, buf, sizeof buf, &typed, nullptr);
      }
      int group = (k.state >> 13) & 3;
      base = XkbKeycodeToKeysym(dpy_, static_cast<KeyCode>(k.keycode), group, 0);
      if (base == NoSymbol) base = XkbKeycodeToKeysym(dpy_, static_cast<KeyCode>(k.keycode), 0, 0);
    }
    bool control = (k.state & ControlMask) != 0, alt = (k.state & Mod1Mask) != 0;
    std::vector<uint32_t> chars = Decode(text);
    if (chars.empty() && typed != NoSymbol) chars.push_back(xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(typed)));
    // Control characters come from the window system's own rules; a layout's character rides with the key.
    chars.erase(std::remove_if(chars.begin(), chars.end(), [&](uint32_t c) { return control || c < 0x20 || c == 0x7F; }),
                chars.end());
    // The keypad's digits (NumLock) are the keypad's own keys, not the navigation keys of its base level.
    UINT vk = typed >= XK_KP_Space && typed <= XK_KP_9 ? VirtualKey(typed) : 0;
    if (!vk) vk = VirtualKey(base);
    if (!vk) vk = VirtualKey(typed);
    if (!vk && chars.empty()) return;
    std::vector<MSG> keys;
    uint64_t lp = 1 | ((static_cast<uint64_t>(k.keycode) - 8) & 0xFF) << 16;
    if (alt) lp |= 1u << 29;
    if (!down) lp |= 0xC0000000u;
    bool sys = vk == VK_MENU || vk == VK_F10 || (alt && !control);
    UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys && vk != VK_MENU ? WM_SYSKEYUP : WM_KEYUP);
    if (vk) {
      uint64_t withChar = lp | (down && chars.size() == 1 ? static_cast<uint64_t>(chars[0]) << 32 : 0);
      keys.push_back(MSG{nullptr, msg, vk, static_cast<LPARAM>(withChar), 0, POINT{0, 0}});
    }
    // Characters without a key of their own (or several an input method committed at once) come as packets.
    if (down && (!vk || chars.size() > 1))
      for (uint32_t c : chars) {
        uint64_t packet = 1 | static_cast<uint64_t>(c) << 32;
        keys.push_back(MSG{nullptr, WM_KEYDOWN, VK_PACKET, static_cast<LPARAM>(packet), 0, POINT{0, 0}});
        keys.push_back(MSG{nullptr, WM_KEYUP, VK_PACKET, static_cast<LPARAM>(packet | 0xC0000000u), 0, POINT{0, 0}});
      }
    if (!keys.empty()) InjectKeys(top, keys);
  }

  // Text ends at its first byte that is not well-formed UTF-8.
  static std::vector<uint32_t> Decode(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
      char32_t cp = 0;
      const int n = kx::DecodeUtf8(s.data() + i, s.size() - i, &cp);
      if (n == 0) break;
      out.push_back(cp);
      i += static_cast<size_t>(n);
    }
    return out;
  }

 public:
  void Lost() {
    // Called by Xlib when the connection is gone: no Xlib call may follow.
    dead_ = true;
    pasteCv_.notify_all();
  }

 private:
  ::Display* dpy_;
  int screen_;
  ::Window root_;
  Visual* visual_;
  int depth_;
  int dpi_ = 96;
  GC gc_;
  bool fastPixels_ = false;
  XIM im_ = nullptr;
  Atom atoms_[kAtoms];
  ::Window helper_ = 0;
  std::mutex xm_;
  std::map<HWND, XWin> wins_;
  std::map<::Window, HWND> byX_;
  std::vector<::Window> lastOrder_;
  std::vector<HWND> grabbing_;
  std::map<PointerShape, Cursor> cursors_;
  PointerShape shape_ = PointerShape::Arrow;
  HWND wantFocus_ = nullptr;
  unsigned long focusSerial_ = 0;
  int wake_[2] = {-1, -1};
  std::atomic<bool> dead_{false};
  std::string clip_;
  bool ownClip_ = false;
  std::string pasted_;
  uint64_t pasteTicket_ = 0, pasteDone_ = 0;
  static constexpr int kPasteProps = 8;
  uint64_t goneSerial_ = 0;
  std::map<HWND, uint64_t> goneAt_;
  int changing_ = 0;
  Atom pasteProps_[kPasteProps]{};
  std::condition_variable pasteCv_;
};

int IgnoreErrors(::Display*, XErrorEvent*) {
  // Requests on windows the window manager or a closing window made unusable (focus on an unmapped window,
  // restacking of reparented windows) fail harmlessly.
  return 0;
}

void EndAllWindows() {
  // Nobody can answer the windows any more: each is closed as its system menu's Close would (sheets cancel, their
  // workers stop and remove what they had begun), and a question without Cancel takes its default answer. A host
  // that still does not end is ended after a minute.
  std::thread([] {
    for (int round = 0; round < 240; ++round) {
      std::vector<HWND> tops;
      {
        Guard g(Lock());
        tops = TopLevels();
      }
      for (HWND t : tops) {
        if (!IsWindowVisible(t) || !IsWindowEnabled(t)) continue;
        HWND cancel = GetDlgItem(t, IDCANCEL);
        DWORD_PTR def = 0;
        if (!SendMessageTimeout(t, DM_GETDEFID, 0, 0, SMTO_NORMAL, 1000, &def)) def = 0;
        if (!cancel && HIWORD(def) == DC_HASDEFID)
          PostMessage(t, WM_COMMAND, MAKEWPARAM(LOWORD(def), BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(t, LOWORD(def))));
        else
          PostMessage(t, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    _exit(1);
  }).detach();
}

int OnIoError(::Display*) {
  fprintf(stderr, "brinmoor: the connection to the X display was lost; the windows are closed and the host ends\n");
  fflush(stderr);
  return 0;
}

void OnIoExit(::Display*, void*) {
  static std::atomic<bool> once{false};
  if (once.exchange(true)) return;
  if (g_self) g_self->Lost();
  EndAllWindows();
}

std::unique_ptr<Display> MakeX11(const char* name) {
  ::Display* dpy = XOpenDisplay(name);
  if (!dpy) return nullptr;
  XSetErrorHandler(IgnoreErrors);
  XSetIOErrorHandler(OnIoError);
  XSetIOErrorExitHandler(dpy, OnIoExit, nullptr);
  return std::make_unique<X11Display>(dpy);
}

const bool g_registered = RegisterDisplayMaker(&MakeX11);

}  // namespace

}  // namespace kx::ui

uint64_t kx::X11BytesSent() { return kx::ui::g_bytesSent; }
uint64_t kx::X11FramesSent() { return kx::ui::g_framesSent; }
bool kx::X11Sync() { return kx::ui::g_self && kx::ui::g_self->SyncServer(); }
