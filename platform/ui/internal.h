// Internal state of the window system. One lock (Lock()) guards every window and queue; window procedures,
// hooks and drawing never run while it is held.
//
// Lock rule: a function whose name ends in Locked needs its caller to hold Lock() and asserts so
// (KX_ASSERT_LOCKED, in debug builds and in the KX_TSAN build); every other function takes the lock itself where
// it needs it, and must not be called with it held (the lock is not recursive).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi/internal.h"
#include "platform/ui/control.h"
#include "platform/ui/ui.h"
#include "platform/win32/textconv.h"

namespace kx::ui {

using kx::gdi::Region;
using kx::gdi::SurfacePtr;

std::mutex& Lock();

// Whether this thread holds Lock() through a Guard.
bool& HoldsLock();

// The holder of Lock(): a std::unique_lock that notes for the assertions that this thread holds it. A condition
// variable's wait lets go of the lock without the note; the thread is blocked meanwhile and holds it again
// before it runs on.
class Guard : public std::unique_lock<std::mutex> {
 public:
  explicit Guard(std::mutex& m) : std::unique_lock<std::mutex>(m) { HoldsLock() = true; }
  ~Guard() {
    if (owns_lock()) HoldsLock() = false;
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  void lock() {
    std::unique_lock<std::mutex>::lock();
    HoldsLock() = true;
  }
  void unlock() {
    HoldsLock() = false;
    std::unique_lock<std::mutex>::unlock();
  }
};

#if !defined(NDEBUG) || defined(KX_CHECK_LOCKS)
#define KX_ASSERT_LOCKED() ::kx::ui::LockMissing(__func__)
// Ends the program with the name of the function that was called without the lock.
void LockMissing(const char* function);
#else
#define KX_ASSERT_LOCKED() ((void)0)
#endif

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON iconSm = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  std::string menuName;
  std::vector<BYTE> extra;
  bool system = false;
  int windows = 0;
};
using ClassPtr = std::shared_ptr<WindowClass>;

struct DialogInfo;
struct Queue;

struct Window {
  HWND handle = nullptr;
  ClassPtr cls;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  LONG_PTR userData = 0;
  std::string text;
  HWND parent = nullptr;  // nullptr for top-level windows
  HWND owner = nullptr;
  std::vector<HWND> children;  // z-order, first is the top
  RECT rect{0, 0, 0, 0};       // window rectangle in the parent's client coordinates (screen for top-level)
  RECT client{0, 0, 0, 0};     // client rectangle relative to the window's top-left corner
  std::vector<BYTE> extra;
  std::vector<std::pair<std::string, HANDLE>> props;
  DWORD threadId = 0;
  std::shared_ptr<Queue> queue;
  bool messageOnly = false;
  // Painting.
  Region update;  // client coordinates
  bool erasePending = false;
  bool ncPending = false;
  bool internalPaint = false;
  bool ncActive = false;
  bool closeTracking = false;
  SurfacePtr surface;  // backing store of a top-level window
  // Lifetime.
  bool destroying = false;
  bool destroyed = false;
  // Other state kept for DefWindowProc.
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  RECT normalRect{0, 0, 0, 0};
  std::unique_ptr<DialogInfo> dlg;
  struct ScrollBar {
    int min = 0, max = 100, page = 0, pos = 0;
    bool shown = false;
    UINT disabled = 0;
  } vscroll, hscroll;
};
using WindowPtr = std::shared_ptr<Window>;

struct DialogInfo {
  HFONT font = nullptr;
  bool ownFont = false;
  int baseX = 6 * 96;  // base units in 96ths of a pixel
  int baseY = 13 * 96;
  HWND focus = nullptr;  // control that had the focus
  int defId = 0;
  bool ended = false;
  // The owner a modal loop disabled: enabled again as the dialog ends, before it hides, so that the owner can
  // take the activation.
  HWND disabledOwner = nullptr;
  INT_PTR result = 0;
  ULONG_PTR templateId = 0;
  bool modal = false;
};

// A message sent to another thread, or a function to run there.
struct Sent {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::function<LRESULT()> task;
  LRESULT result = 0;
  bool done = false;
  bool replied = false;
  bool notify = false;  // the sender does not wait
  bool abandoned = false;
  std::shared_ptr<Queue> sender;
};
using SentPtr = std::shared_ptr<Sent>;

enum class QKind { Posted, Mouse, Key, Marker };

struct QMsg {
  MSG msg{};
  QKind kind = QKind::Posted;
  uint64_t marker = 0;
  uint64_t seq = 0;      // unique per queued input
  bool hitTest = false;  // a mouse message whose window is found when its thread takes it
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  uint64_t due = 0;
  TIMERPROC proc = nullptr;
};

struct Hook {
  HHOOK handle = nullptr;
  int type = 0;
  HOOKPROC proc = nullptr;
  DWORD threadId = 0;  // 0: every thread
};

struct Queue {
  DWORD threadId = 0;
  bool alive = true;
  std::deque<QMsg> posted;
  std::deque<QMsg> input;
  std::deque<SentPtr> incoming;
  std::vector<SentPtr> inProgress;  // sent messages being processed (innermost last)
  bool quit = false;
  int quitCode = 0;
  std::condition_variable cv;
  std::vector<Timer> timers;
  HWND focus = nullptr;
  HWND active = nullptr;
  DWORD lastTime = 0;
  POINT lastPos{0, 0};
  // For the UI driver: markers taken, and a count of the times the queue was found empty.
  uint64_t markerDone = 0;
  uint64_t idleCount = 0;
  bool waiting = false;
};
using QueuePtr = std::shared_ptr<Queue>;

// --- windows (window.cpp) ---
WindowPtr FindLocked(HWND h);
WindowPtr Lookup(HWND h);  // FindLocked, taking the lock
std::vector<HWND>& TopLevels();  // z-order, first is the top
HWND DesktopHandle();
bool IsDesktop(HWND h);
// Window rectangle / client rectangle in screen coordinates.
RECT ScreenRectLocked(const Window& w);
RECT ScreenClientLocked(const Window& w);
// The top-level window that holds a window (itself for top-level windows).
Window* TopOf(Window* w);
// Position of a window's top-left corner in its top-level window's coordinates.
POINT OffsetInTop(const Window& w);
bool VisibleChain(const Window& w);  // the window and all its ancestors are visible
bool IsChildOf(const Window& parent, const Window& w);
ClassPtr FindClass(LPCSTR name, HINSTANCE instance);
void EnsureSystemClasses();
LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);  // the window's procedure (no hooks)
// Removes every window of an ended thread without messages (their procedures may be gone).
void DropThreadWindowsLocked(DWORD tid);

// --- queues (message.cpp) ---
QueuePtr CurrentQueue();
QueuePtr QueueOfLocked(DWORD threadId);
DWORD ThreadId();
uint64_t Now();
void WakeAllLocked();
void WakeLocked(Queue& q);  // the queue has something new
// Runs a function on a thread (by a window of it) and waits, answering sends meanwhile.
LRESULT RunOn(HWND hwnd, const std::function<LRESULT()>& fn);
// Runs a function on the thread of a window when it next answers sent messages; does not wait.
bool PostTask(HWND hwnd, const std::function<void()>& fn);
bool OnThreadOf(HWND hwnd);
// Queues an input message. Keys go to the focus window when taken; mouse messages with `hitTest`
// to the window the hit test finds then.
void PostInputLocked(const QueuePtr& q, const MSG& msg, QKind kind, bool hitTest = false);
uint64_t PostMarker(const QueuePtr& q);
std::condition_variable& DriverCv();
void CallHooks(int type, int code, WPARAM wp, LPARAM lp);
bool HasHooks(int type);
LRESULT CallHookChain(int type, int code, WPARAM wp, LPARAM lp, bool* any);
void RemoveWindowTimers(Queue& q, HWND hwnd);

// --- painting (paint.cpp) ---
void InvalidateLocked(Window& w, const Region& clientRgn, bool erase, bool children);
void InvalidateWindowArea(Window& w);  // frame and client, erase
void InvalidateParentArea(Window& w, const RECT& rectInParent);  // what becomes visible when a child moves
void ScreenDirty(const RECT& screenRect);
void EnsureSurface(Window& w);
HWND NextPaintWindowLocked(Queue& q, HWND filter);
void DrawFrame(HWND hwnd, HDC hdc);  // non-client area, window coordinates
RECT FrameInsets(DWORD style, DWORD exStyle, bool hasVScroll, bool hasHScroll);
bool CaptionCloseRect(const Window& w, RECT* rc);  // window coordinates
void ComposeScreen();

// --- input, focus, activation (input.cpp) ---
void ActivateOther(HWND leaving);
void FocusLost(HWND hwnd);  // the window is hidden or destroyed: move focus and activation away
void PreprocessInput(MSG& msg);  // on retrieval: activation, cursor, key state
void UpdateKeyState(const MSG& msg);
HWND CaptureWindow();
void ReleaseCaptureOf(HWND hwnd);
void TrackLeave(HWND under);
// Input of the UI driver: mouse messages at a screen point (to the thread of the window under it or of the capture),
// and key messages to the focus window of a thread.
// A sequence of mouse messages at one point goes in as one piece (the window may react to any of them).
bool InjectMouse(POINT screenPt, const std::vector<std::pair<UINT, WPARAM>>& messages);
bool InjectKeys(HWND anyWindowOfThread, const std::vector<MSG>& keys);
// Hit testing (not under the lock, on the thread that takes the input): each visible window under the point, the
// deepest first, is asked with WM_NCHITTEST; one that answers HTTRANSPARENT passes the point on to the next window
// below it. Windows of other threads cannot be asked: with `othersTake` such a window takes the point as it is,
// otherwise it is passed over. nullptr when no window takes the point; `hit` gets the answer.
HWND HitTestAt(POINT screenPt, bool othersTake, LRESULT* hit);
// The window a mouse message at a screen point goes to on the calling thread: the capture, or the hit test's.
HWND MouseTargetAt(POINT screenPt);
// On retrieval of a driver's mouse message (raw client message at msg.pt): picks the window, turns it into a
// non-client message when the point is not in the client area, detects double clicks. False: nothing takes it.
bool ResolveMouse(MSG& msg);
// The key (and shift state) that types a character on the US layout; false when none does.
bool CharToKey(uint32_t ch, UINT* vk, bool* shift);

// --- dialogs (dialog.cpp) ---
void DialogFocusChanged(HWND newFocus);
DialogInfo* DialogOf(Window& w);

// --- controls ---
void RegisterButtonClass();
void RegisterStaticClass();
void RegisterEditClass();
void RegisterDialogClass();

// Default dialog font and its base units.
HFONT DefaultDialogFont();

// Strings.
using ::kx::EqualNoCase;
std::string AtomKey(LPCSTR name);  // "#123" for integer atoms, the text otherwise

}  // namespace kx::ui

