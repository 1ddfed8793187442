// Windows and messages: creation order, sending across threads, posting, timers, hooks, subclassing,
// properties, stale handles, painting.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/win32/sync.h"
#include "ui/ui_test_util.h"

using namespace uitest;

namespace {

class MessagesTest : public UiTest {};

TEST_F(MessagesTest, CreationAndDestructionSendMessagesInThePlatformOrder) {
  HWND parent = MakeRecorder();
  HWND child = MakeRecorder(parent, WS_CHILD | WS_VISIBLE, 7);
  const std::vector<UINT> interesting = {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE,     WM_MOVE,
                                         WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED,
                                         WM_PARENTNOTIFY, WM_DESTROY, WM_NCDESTROY};
  EXPECT_EQ(Recorder::Get().Of(child, interesting),
            (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW,
                               WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
  EXPECT_EQ(Recorder::Get().Of(parent, {WM_PARENTNOTIFY}), std::vector<UINT>{WM_PARENTNOTIFY});
  Recorder::Get().Clear();
  DestroyWindow(parent);
  // Parents hear WM_DESTROY first; children are freed first.
  std::vector<std::pair<HWND, UINT>> order;
  for (const Msg& m : Recorder::Get().All())
    if (m.msg == WM_DESTROY || m.msg == WM_NCDESTROY) order.push_back({m.hwnd, m.msg});
  EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{
                       {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(MessagesTest, CreateParametersReachTheWindowAndNcCreateCanRefuse) {
  int cookie = 42;
  LPVOID seen = nullptr;
  Recorder::Get().handler = [&](HWND, UINT msg, WPARAM, LPARAM lp, LRESULT* r) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    if (msg == WM_CREATE) seen = cs->lpCreateParams;
    if (msg == WM_NCCREATE && cs->lpszName && std::strcmp(cs->lpszName, "refuse") == 0) {
      *r = FALSE;
      return true;
    }
    return false;
  };
  HWND ok = CreateWindowEx(0, RecorderClass(), "fine", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, &cookie);
  EXPECT_TRUE(ok);
  EXPECT_EQ(seen, &cookie);
  char text[32];
  EXPECT_EQ(GetWindowText(ok, text, sizeof text), 4);
  EXPECT_STREQ(text, "fine");
  EXPECT_EQ(CreateWindowEx(0, RecorderClass(), "refuse", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  // A child window needs a parent.
  EXPECT_EQ(CreateWindowEx(0, RecorderClass(), "x", WS_CHILD, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(MessagesTest, HandlesOfDestroyedWindowsAreNeverReused) {
  HWND first = MakeRecorder();
  DestroyWindow(first);
  for (int i = 0; i < 50; ++i) {
    HWND h = MakeRecorder();
    EXPECT_NE(h, first);
    DestroyWindow(h);
  }
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(SendMessage(first, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessage(first, WM_USER, 0, 0));
  EXPECT_FALSE(SetWindowText(first, "x"));
}

TEST_F(MessagesTest, PostedMessagesArriveInOrderAndQuitComesLast) {
  HWND w = MakeRecorder();
  PostMessage(w, WM_USER + 1, 1, 0);
  PostQuitMessage(3);
  PostMessage(w, WM_USER + 2, 2, 0);
  PostThreadMessage(kx::UiThreadId(), WM_USER + 3, 3, 0);
  MSG msg;
  std::vector<UINT> got;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    if (msg.message >= WM_USER) got.push_back(msg.message);
    DispatchMessage(&msg);
  }
  EXPECT_EQ(got, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  // Filters take only the asked range; the rest stays.
  PostMessage(w, WM_USER + 5, 0, 0);
  PostMessage(w, WM_USER + 6, 0, 0);
  EXPECT_TRUE(PeekMessage(&msg, nullptr, WM_USER + 6, WM_USER + 6, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 6));
  EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 5));
  EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_USER, WM_USER + 100, PM_REMOVE));
}

TEST_F(MessagesTest, SendFromAnotherThreadRunsOnTheOwnerThread) {
  HWND w = MakeRecorder();
  DWORD owner = kx::UiThreadId();
  std::atomic<DWORD> ranOn{0};
  Recorder::Get().handler = [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT* r) {
    if (msg != WM_USER + 10) return false;
    ranOn = kx::UiThreadId();
    *r = 99;
    return true;
  };
  std::atomic<LRESULT> result{0};
  std::atomic<bool> done{false};
  std::thread t([&] {
    result = SendMessage(w, WM_USER + 10, 0, 0);
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  t.join();
  EXPECT_EQ(result, 99);
  EXPECT_EQ(ranOn, owner);
}

TEST_F(MessagesTest, WorkerSetsTextWhileTheUiThreadIsInAModalLoop) {
  // The worker's SetWindowText is carried out by the UI thread from inside the message box's modal loop.
  HWND label = nullptr;
  std::atomic<bool> workerDone{false};
  kx::RunWithUi(
      [&] {
        HWND owner = MakeRecorder(nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        label = CreateWindowEx(0, "Static", "before", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, owner, nullptr, nullptr, nullptr);
        return static_cast<INT_PTR>(MessageBox(owner, "Waiting", "Modal", MB_OK));
      },
      [&](kx::UiDriver& d) {
        HWND box = d.WaitForMessageBox();
        std::thread worker([&] {
          SetWindowText(label, "after");
          workerDone = true;
        });
        worker.join();
        EXPECT_TRUE(workerDone);
        char buf[32];
        InternalGetWindowText(label, buf, sizeof buf);
        EXPECT_STREQ(buf, "after");
        d.Click(d.Control(box, IDOK));
      });
}

TEST_F(MessagesTest, ThreadWaitingInASendAnswersSendsMadeToIt) {
  // Thread B sends to A's window; A, while handling it, sends back to B's window: no deadlock.
  HWND a = MakeRecorder();
  std::atomic<HWND> b{nullptr};
  std::atomic<int> nested{0};
  std::atomic<bool> quitB{false};
  Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* r) {
    if (msg == WM_USER + 20 && hwnd == a) {
      *r = SendMessage(b, WM_USER + 21, 0, 0) + 1;
      return true;
    }
    if (msg == WM_USER + 21) {
      ++nested;
      *r = 10;
      return true;
    }
    return false;
  };
  std::atomic<LRESULT> result{0};
  std::thread tb([&] {
    b = MakeRecorder();
    result = SendMessage(a, WM_USER + 20, 0, 0);
    quitB = true;
    DestroyWindow(b);
  });
  ASSERT_TRUE(PumpUntil([&] { return quitB.load(); }));
  tb.join();
  EXPECT_EQ(result, 11);
  EXPECT_EQ(nested, 1);
}

TEST_F(MessagesTest, SendToAWindowOfAThreadThatEndedReturnsAtOnce) {
  HWND orphan = nullptr;
  std::thread t([&] { orphan = MakeRecorder(); });
  t.join();
  EXPECT_FALSE(IsWindow(orphan));
  EXPECT_EQ(SendMessage(orphan, WM_USER, 0, 0), 0);
  DWORD_PTR r = 5;
  EXPECT_EQ(SendMessageTimeout(orphan, WM_USER, 0, 0, SMTO_NORMAL, 100, &r), 0);
}

TEST_F(MessagesTest, SendMessageTimeoutGivesUpOnABusyThread) {
  HWND w = MakeRecorder();
  std::atomic<bool> stop{false};
  std::atomic<LRESULT> ok{1};
  std::thread t([&] {
    DWORD_PTR r = 0;
    ok = SendMessageTimeout(w, WM_USER, 0, 0, SMTO_NORMAL, 50, &r);
    stop = true;
  });
  // This thread does not pump until the sender gave up.
  while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  t.join();
  EXPECT_EQ(ok, 0);
  PumpPending();  // the abandoned message is not delivered any more
  EXPECT_TRUE(Recorder::Get().Of(w, {WM_USER}).empty());
}

TEST_F(MessagesTest, TimersFireOnTheManualClockWithTheirIds) {
  kx::UseManualClock(true);
  HWND w = MakeRecorder();
  std::vector<WPARAM> fired;
  Recorder::Get().handler = [&](HWND, UINT msg, WPARAM wp, LPARAM, LRESULT*) {
    if (msg == WM_TIMER) fired.push_back(wp);
    return false;
  };
  EXPECT_EQ(SetTimer(w, 1, 500, nullptr), 1u);
  EXPECT_EQ(SetTimer(w, 11, 100, nullptr), 11u);
  PumpPending();
  EXPECT_TRUE(fired.empty());
  kx::AdvanceManualClock(100);
  PumpPending();
  EXPECT_EQ(fired, std::vector<WPARAM>{11});
  kx::AdvanceManualClock(400);
  PumpPending();
  EXPECT_EQ(fired, (std::vector<WPARAM>{11, 1, 11}));
  EXPECT_TRUE(KillTimer(w, 11));
  EXPECT_FALSE(KillTimer(w, 11));
  kx::AdvanceManualClock(500);
  PumpPending();
  EXPECT_EQ(fired, (std::vector<WPARAM>{11, 1, 11, 1}));
  // A timer of the thread calls its procedure from DispatchMessage.
  static int calls = 0;
  calls = 0;
  UINT_PTR id = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++calls; });
  EXPECT_NE(id, 0u);
  kx::AdvanceManualClock(50);
  PumpPending();
  EXPECT_EQ(calls, 1);
  KillTimer(nullptr, id);
  kx::UseManualClock(false);
}

TEST_F(MessagesTest, TimerWakesABlockingGetMessage) {
  HWND w = MakeRecorder();
  SetTimer(w, 5, 20, nullptr);
  auto start = std::chrono::steady_clock::now();
  MSG msg;
  ASSERT_TRUE(GetMessage(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
  KillTimer(w, 5);
}

// ----- hooks -----
std::vector<std::string> g_hookClasses;
HHOOK g_hook = nullptr;

LRESULT CALLBACK CallWndHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION) {
    auto* cwp = reinterpret_cast<CWPSTRUCT*>(lp);
    if (cwp->message == WM_CREATE || cwp->message == 0x01E2) {
      char cls[20];
      if (GetClassName(cwp->hwnd, cls, sizeof cls) == 6 && std::memcmp(cls, "#32768", 6) == 0)
        g_hookClasses.push_back(std::string(cls) + (cwp->message == WM_CREATE ? ":create" : ":1e2"));
    }
  }
  return CallNextHookEx(g_hook, code, wp, lp);
}

TEST_F(MessagesTest, CallWndProcHookSeesPopupMenuWindowsOfItsThread) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProc;
  wc.lpszClassName = "#32768";
  RegisterClass(&wc);
  wc.lpszClassName = "#32768x";
  RegisterClass(&wc);
  g_hookClasses.clear();
  g_hook = SetWindowsHookEx(WH_CALLWNDPROC, CallWndHook, nullptr, kx::UiThreadId());
  ASSERT_TRUE(g_hook);
  HWND menu = CreateWindowEx(0, "#32768", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  CreateWindowEx(0, "#32768x", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  SendMessage(menu, 0x01E2, 0, 0);
  // Another thread's windows are not this thread's hook's business.
  std::thread([] {
    HWND other = CreateWindowEx(0, "#32768", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(other);
  }).join();
  EXPECT_EQ(g_hookClasses, (std::vector<std::string>{"#32768:create", "#32768:1e2"}));
  EXPECT_TRUE(UnhookWindowsHookEx(g_hook));
  EXPECT_FALSE(UnhookWindowsHookEx(g_hook));
  SendMessage(menu, 0x01E2, 0, 0);
  EXPECT_EQ(g_hookClasses.size(), 2u);
  UnregisterClass("#32768x", nullptr);
}

// ----- subclassing, properties, longs -----
std::vector<UINT> g_subclassed;

LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 30) {
    g_subclassed.push_back(msg);
    return 7;
  }
  return CallWindowProc(reinterpret_cast<WNDPROC>(GetProp(hwnd, "OldProc")), hwnd, msg, wp, lp);
}

TEST_F(MessagesTest, SubclassingThroughWindowLongsAndProperties) {
  HWND w = MakeRecorder();
  g_subclassed.clear();
  LONG_PTR old = GetWindowLongPtr(w, GWL_WNDPROC);
  ASSERT_NE(old, 0);
  EXPECT_TRUE(SetProp(w, "OldProc", reinterpret_cast<HANDLE>(old)));
  EXPECT_EQ(SetWindowLongPtr(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass)), old);
  EXPECT_EQ(SendMessage(w, WM_USER + 30, 0, 0), 7);
  SendMessage(w, WM_USER + 31, 0, 0);
  EXPECT_EQ(g_subclassed, std::vector<UINT>{WM_USER + 30});
  EXPECT_EQ(Recorder::Get().Of(w, {WM_USER + 30, WM_USER + 31}), std::vector<UINT>{WM_USER + 31});
  // Property names compare without regard to case, and an atom of the name finds the same property.
  EXPECT_EQ(GetProp(w, "oldproc"), reinterpret_cast<HANDLE>(old));
  ATOM atom = GlobalAddAtom("OldProc");
  EXPECT_EQ(GetProp(w, MAKEINTATOM(atom)), reinterpret_cast<HANDLE>(old));
  GlobalDeleteAtom(atom);
  SetWindowLongPtr(w, GWL_WNDPROC, old);
  EXPECT_EQ(RemoveProp(w, "OldProc"), reinterpret_cast<HANDLE>(old));
  EXPECT_EQ(GetProp(w, "OldProc"), nullptr);
  // Styles change through the style messages.
  Recorder::Get().Clear();
  LONG_PTR style = GetWindowLongPtr(w, GWL_STYLE);
  SetWindowLongPtr(w, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_BORDER));
  EXPECT_EQ(Recorder::Get().Of(w, {WM_STYLECHANGING, WM_STYLECHANGED}),
            (std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}));
  EXPECT_EQ(GetWindowLongPtr(w, GWL_STYLE), style & ~static_cast<LONG_PTR>(WS_BORDER));
  SetWindowLongPtr(w, GWLP_USERDATA, 12345);
  EXPECT_EQ(GetWindowLongPtr(w, GWLP_USERDATA), 12345);
}

TEST_F(MessagesTest, HierarchyGeometryAndLookups) {
  HWND top = CreateWindowEx(0, RecorderClass(), "Top", WS_POPUP | WS_BORDER, 100, 50, 300, 200, nullptr, nullptr,
                            nullptr, nullptr);
  HWND a = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 1);
  HWND b = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 2);
  MoveWindow(a, 10, 20, 50, 30, FALSE);
  EXPECT_EQ(GetWindow(top, GW_CHILD), a);  // the first child is on top
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetDlgItem(top, 2), b);
  EXPECT_EQ(GetDlgCtrlID(b), 2);
  EXPECT_TRUE(IsChild(top, a));
  EXPECT_FALSE(IsChild(a, top));
  EXPECT_EQ(GetParent(a), top);
  RECT wr;
  GetWindowRect(a, &wr);
  EXPECT_EQ(wr.left, 100 + 1 + 10);  // one pixel of border
  EXPECT_EQ(wr.top, 50 + 1 + 20);
  POINT p{0, 0};
  ClientToScreen(a, &p);
  EXPECT_EQ(p.x, wr.left);
  ScreenToClient(top, &p);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
  RECT cr;
  GetClientRect(top, &cr);
  EXPECT_EQ(cr.right, 298);
  EXPECT_EQ(cr.bottom, 198);
  std::vector<HWND> kids;
  EnumChildWindows(top, [](HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&kids));
  EXPECT_EQ(kids, (std::vector<HWND>{a, b}));
  char cls[64];
  GetClassName(a, cls, sizeof cls);
  EXPECT_STREQ(cls, "KxTestRecorder");
  ShowWindow(top, SW_SHOW);
  EXPECT_EQ(WindowFromPoint(POINT{wr.left + 5, wr.top + 5}), a);
}

TEST_F(MessagesTest, FocusAndActivationMessages) {
  HWND top = MakeRecorder(nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND a = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 1);
  HWND b = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 2);
  EXPECT_EQ(GetActiveWindow(), top);
  EXPECT_EQ(GetFocus(), top);
  Recorder::Get().Clear();
  SetFocus(a);
  SetFocus(b);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(Recorder::Get().Of(a, {WM_SETFOCUS, WM_KILLFOCUS}), (std::vector<UINT>{WM_SETFOCUS, WM_KILLFOCUS}));
  // Hiding the focus window gives the focus to its parent; disabling it takes the focus away.
  ShowWindow(b, SW_HIDE);
  EXPECT_EQ(GetFocus(), top);
  SetFocus(a);
  EnableWindow(a, FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
  HWND other = MakeRecorder(nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  EXPECT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(GetForegroundWindow(), other);
  DestroyWindow(other);
  EXPECT_EQ(GetActiveWindow(), top);
}

TEST_F(MessagesTest, PaintingValidatesAndErasesThroughTheClassBrush) {
  HWND w = MakeRecorder(nullptr, WS_POPUP | WS_VISIBLE);
  PumpPending();
  EXPECT_EQ(Recorder::Get().Of(w, {WM_PAINT}).size(), 1u);
  Recorder::Get().Clear();
  PumpPending();
  EXPECT_TRUE(Recorder::Get().Of(w, {WM_PAINT}).empty());  // nothing invalid any more
  RECT r{10, 10, 20, 20};
  InvalidateRect(w, &r, TRUE);
  RECT u;
  EXPECT_TRUE(GetUpdateRect(w, &u, FALSE));
  EXPECT_TRUE(EqualRect(&u, &r));
  UpdateWindow(w);
  EXPECT_EQ(Recorder::Get().Of(w, {WM_PAINT, WM_ERASEBKGND}), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  EXPECT_FALSE(GetUpdateRect(w, &u, FALSE));
  HDC hdc = GetDC(w);
  EXPECT_EQ(GetPixel(hdc, 15, 15), GetSysColor(COLOR_BTNFACE));
  ReleaseDC(w, hdc);
}

TEST_F(MessagesTest, MsgWaitEndsForKernelObjectsOrForInput) {
  HANDLE ev = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  std::thread t([ev] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetEvent(ev);
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 5000, QS_ALLINPUT), WAIT_OBJECT_0);
  t.join();
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 30, QS_ALLINPUT), WAIT_TIMEOUT);
  HWND w = MakeRecorder();
  std::thread poster([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PostMessage(w, WM_USER + 40, 0, 0);
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 5000, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
  poster.join();
  MSG msg;
  EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 40));
  // A message sent by another thread also ends the wait, so that the loop can answer it.
  std::atomic<bool> answered{false};
  std::thread sender([&] {
    SendMessage(w, WM_USER + 41, 0, 0);
    answered = true;
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 5000, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
  ASSERT_TRUE(PumpUntil([&] { return answered.load(); }));
  sender.join();
  CloseHandle(ev);
}

// The framework attaches its window objects from a creation hook, before WM_NCCREATE.
WNDPROC g_hookedOld = nullptr;
std::vector<UINT> g_hookedSeen;
HHOOK g_cbt = nullptr;

LRESULT CALLBACK Hooked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  g_hookedSeen.push_back(msg);
  return CallWindowProc(g_hookedOld, hwnd, msg, wp, lp);
}

LRESULT CALLBACK CbtHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && !g_hookedOld) {
    auto* cbt = reinterpret_cast<CBT_CREATEWNDA*>(lp);
    EXPECT_STREQ(cbt->lpcs->lpszName, "hooked");
    g_hookedOld = reinterpret_cast<WNDPROC>(SetWindowLongPtr(reinterpret_cast<HWND>(wp), GWLP_WNDPROC,
                                                             reinterpret_cast<LONG_PTR>(Hooked)));
  }
  return CallNextHookEx(g_cbt, code, wp, lp);
}

TEST_F(MessagesTest, CreationHookSubclassesBeforeTheFirstMessage) {
  g_hookedOld = nullptr;
  g_hookedSeen.clear();
  g_cbt = SetWindowsHookEx(WH_CBT, CbtHook, nullptr, kx::UiThreadId());
  HWND w = CreateWindowEx(0, RecorderClass(), "hooked", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  UnhookWindowsHookEx(g_cbt);
  ASSERT_TRUE(w);
  ASSERT_FALSE(g_hookedSeen.empty());
  EXPECT_EQ(g_hookedSeen.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(Recorder::Get().Of(w).front(), static_cast<UINT>(WM_NCCREATE));  // passed on to the class procedure
}

TEST_F(MessagesTest, PrintWindowDrawsFrameClientAndChildren) {
  HWND top = CreateWindowEx(0, RecorderClass(), "", WS_POPUP | WS_BORDER, 0, 0, 40, 30, nullptr, nullptr, nullptr, nullptr);
  CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 10, 10, 5, 5, top, nullptr, nullptr, nullptr);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 40, 30);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT all{0, 0, 40, 30};
  FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  // The window is hidden: printing still draws it.
  ASSERT_TRUE(PrintWindow(top, mem, 0));
  EXPECT_EQ(GetPixel(mem, 0, 0), GetSysColor(COLOR_WINDOWFRAME));
  EXPECT_EQ(GetPixel(mem, 5, 5), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(GetPixel(mem, 1 + 12, 1 + 12), GetSysColor(COLOR_WINDOWFRAME));  // the child, shifted by the border
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

TEST_F(MessagesTest, ScrollBarClicksBecomeScrollMessages) {
  HWND w = nullptr;
  std::vector<WPARAM> scrolls;
  std::mutex m;
  kx::RunWithUi(
      [&] {
        Recorder::Get().handler = [&](HWND, UINT msg, WPARAM wp, LPARAM, LRESULT*) {
          if (msg == WM_VSCROLL) {
            std::lock_guard<std::mutex> l(m);
            scrolls.push_back(LOWORD(wp));
          }
          if (msg == WM_CLOSE) PostQuitMessage(0);
          return false;
        };
        w = CreateWindowEx(0, RecorderClass(), "Scroll", WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_VISIBLE, 50, 50, 200,
                           150, nullptr, nullptr, nullptr, nullptr);
        SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
        SetScrollInfo(w, SB_VERT, &si, TRUE);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
        return INT_PTR{0};
      },
      [&](kx::UiDriver& d) {
        HWND win = d.WaitForTitle("Scroll");
        RECT wr, cr;
        GetWindowRect(win, &wr);
        GetClientRect(win, &cr);
        POINT p{cr.right + 8, cr.bottom - 4};  // on the down arrow, right of the client area
        d.ClickAt(win, p.x, p.y);
        {
          std::lock_guard<std::mutex> l(m);
          EXPECT_EQ(scrolls, (std::vector<WPARAM>{SB_LINEDOWN, SB_ENDSCROLL}));
        }
        EXPECT_EQ(GetScrollPos(win, SB_VERT), 0);  // the window moves its own bar
        SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 500, 0};
        d.Invoke(win, [&] { SetScrollInfo(win, SB_VERT, &si, TRUE); });
        EXPECT_EQ(GetScrollPos(win, SB_VERT), 90);  // clamped to max - page + 1
        d.Post(win, WM_CLOSE);
      });
}

TEST_F(MessagesTest, DestroyFromAnotherThreadIsCarriedOutByTheOwner) {
  HWND w = MakeRecorder();
  std::atomic<bool> done{false};
  std::thread t([&] {
    EXPECT_TRUE(DestroyWindow(w));
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  t.join();
  EXPECT_FALSE(IsWindow(w));
  bool sawDestroy = false;
  for (const Msg& m : Recorder::Get().All()) sawDestroy |= m.hwnd == w && m.msg == WM_DESTROY;
  EXPECT_TRUE(sawDestroy);
}

TEST_F(MessagesTest, LeavingATrackedWindowPostsMouseLeave) {
  HWND a = nullptr, b = nullptr;
  std::atomic<int> leaves{0};
  kx::RunWithUi(
      [&] {
        Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT*) {
          if (msg == WM_MOUSEMOVE && hwnd == a) {
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, a, 0};
            TrackMouseEvent(&tme);
          }
          if (msg == WM_MOUSELEAVE && hwnd == a) ++leaves;
          if (msg == WM_CLOSE) PostQuitMessage(0);
          return false;
        };
        HWND top = CreateWindowEx(0, RecorderClass(), "Track", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        a = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 1);
        b = MakeRecorder(top, WS_CHILD | WS_VISIBLE, 2);
        MoveWindow(a, 0, 0, 100, 100, FALSE);
        MoveWindow(b, 150, 0, 100, 100, FALSE);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
        return INT_PTR{0};
      },
      [&](kx::UiDriver& d) {
        HWND top = d.WaitForTitle("Track");
        kx::WindowQuery qa, qb;
        qa.parent = qb.parent = top;
        qa.controlId = 1;
        qb.controlId = 2;
        HWND ca = d.WaitForWindow(qa), cb = d.WaitForWindow(qb);
        d.Sync(top);  // the children are placed
        d.MouseMoveTo(ca, 10, 10);
        EXPECT_EQ(leaves, 0);
        d.MouseMoveTo(cb, 10, 10);
        EXPECT_EQ(leaves, 1);
        d.MouseMoveTo(cb, 20, 10);
        EXPECT_EQ(leaves, 1);
        d.Post(top, WM_CLOSE);
      });
}

TEST_F(MessagesTest, HiddenMainWindowWithEveryStyleBitTakesPostedMessages) {
  // Every style bit but WS_VISIBLE: WS_CHILD together with WS_POPUP makes a top-level window, no parent needed.
  HWND hidden = CreateWindowEx(0, "STATIC", "KX", 0xEFFFFFFF, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(hidden);
  EXPECT_FALSE(IsWindowVisible(hidden));
  EXPECT_EQ(GetParent(hidden), nullptr);
  EXPECT_TRUE(PostMessage(hidden, WM_USER + 1000, 101, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, hidden, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1000));
  EXPECT_EQ(msg.wParam, 101u);
  DestroyWindow(hidden);
}

}  // namespace
