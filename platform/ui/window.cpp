// Window classes, atoms, windows: creation and destruction, longs, properties, hierarchy, geometry, showing.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <strings.h>

#include "platform/ui/display.h"
#include "platform/ui/access.h"
#include "platform/ui/internal.h"
#include "platform/win32/errors.h"
#include "platform/win32/sync.h"

namespace kx::ui {

namespace {

struct State {
  std::unordered_map<uintptr_t, WindowPtr> windows;
  std::vector<HWND> topLevels;
  std::vector<ClassPtr> classes;
  uintptr_t nextHandle = 0x20010;
  HWND desktop = nullptr;
  WindowPtr desktopWin;
  // Atoms.
  struct AtomEntry {
    std::string name;
    int refs = 0;
  };
  std::map<ATOM, AtomEntry> atoms;
  ATOM nextAtom = 0xC000;
  int cascade = 0;
};

State& S() {
  static State* s = new State();
  return *s;
}


std::vector<kx::SystemClassRegistrar>& Registrars() {
  static auto* r = new std::vector<kx::SystemClassRegistrar>();
  return *r;
}

LRESULT DesktopProc(HWND, UINT msg, WPARAM, LPARAM) {
  switch (msg) {
    case WM_NCCREATE: return TRUE;
    default: return 0;
  }
}

ATOM AddAtomLocked(const std::string& name) {
  if (name.size() > 1 && name[0] == '#') {
    char* end = nullptr;
    long v = strtol(name.c_str() + 1, &end, 10);
    if (*end == 0 && v > 0 && v < 0xC000) return static_cast<ATOM>(v);
  }
  State& s = S();
  for (auto& [atom, e] : s.atoms)
    if (EqualNoCase(e.name, name)) {
      ++e.refs;
      return atom;
    }
  if (s.nextAtom == 0xFFFF) return 0;
  ATOM a = s.nextAtom++;
  s.atoms[a] = State::AtomEntry{name, 1};
  return a;
}

std::string AtomNameLocked(ATOM a) {
  auto it = S().atoms.find(a);
  if (it != S().atoms.end()) return it->second.name;
  return "#" + std::to_string(a);
}

}  // namespace

std::mutex& Lock() {
  // Never destroyed, so that threads left running at exit (and static registrars) can always use it.
  static auto* m = new std::mutex();
  return *m;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string AtomKey(LPCSTR name) {
  if (!name) return std::string();
  if (IS_INTRESOURCE(name)) {
    ATOM a = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
    // Property names given as atoms of the global table match the same names given as text.
    char buf[256];
    if (a >= 0xC000 && ::GlobalGetAtomName(a, buf, sizeof buf)) return buf;
    return AtomNameLocked(a);
  }
  return std::string(name);
}

WindowPtr Find(HWND h) {
  if (!h) return nullptr;
  auto& w = S().windows;
  auto it = w.find(reinterpret_cast<uintptr_t>(h));
  return it == w.end() ? nullptr : it->second;
}

WindowPtr FindLocked(HWND h) {
  Guard g(Lock());
  return Find(h);
}

std::vector<HWND>& TopLevels() { return S().topLevels; }

HWND DesktopHandle() {
  Guard g(Lock());
  State& s = S();
  if (!s.desktop) {
    auto w = std::make_shared<Window>();
    w->handle = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += 4;
    auto cls = std::make_shared<WindowClass>();
    cls->name = "#32769";
    cls->atom = 32769;
    cls->proc = DesktopProc;
    cls->system = true;
    w->cls = cls;
    w->proc = DesktopProc;
    w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    w->rect = RECT{0, 0, kx::ui::ScreenWidth(), kx::ui::ScreenHeight()};
    w->client = RECT{0, 0, kx::ui::ScreenWidth(), kx::ui::ScreenHeight()};
    s.desktop = w->handle;
    s.desktopWin = w;
    s.windows[reinterpret_cast<uintptr_t>(w->handle)] = w;
  }
  return s.desktop;
}

bool IsDesktop(HWND h) { return h && h == S().desktop; }

RECT ScreenRect(const Window& w) {
  RECT r = w.rect;
  for (WindowPtr p = Find(w.parent); p; p = Find(p->parent)) {
    OffsetRect(&r, p->rect.left + p->client.left, p->rect.top + p->client.top);
  }
  return r;
}

RECT ScreenClient(const Window& w) {
  RECT r = ScreenRect(w);
  return RECT{r.left + w.client.left, r.top + w.client.top, r.left + w.client.right, r.top + w.client.bottom};
}

Window* TopOf(Window* w) {
  while (w && w->parent) {
    WindowPtr p = Find(w->parent);
    if (!p) break;
    w = p.get();
  }
  return w;
}

POINT OffsetInTop(const Window& w) {
  POINT p{0, 0};
  const Window* cur = &w;
  while (cur->parent) {
    WindowPtr par = Find(cur->parent);
    if (!par) break;
    p.x += cur->rect.left + par->client.left;
    p.y += cur->rect.top + par->client.top;
    cur = par.get();
  }
  return p;
}

bool VisibleChain(const Window& w) {
  const Window* cur = &w;
  while (cur) {
    if (!(cur->style & WS_VISIBLE)) return false;
    if (!cur->parent) return !cur->messageOnly;
    WindowPtr p = Find(cur->parent);
    cur = p.get();
  }
  return false;
}

bool IsChildOf(const Window& parent, const Window& w) {
  HWND p = w.parent;
  while (p) {
    if (p == parent.handle) return true;
    WindowPtr pw = Find(p);
    if (!pw) return false;
    p = pw->parent;
  }
  return false;
}

ClassPtr FindClass(LPCSTR name, HINSTANCE instance) {
  std::string key = AtomKey(name);
  ClassPtr global;
  for (const ClassPtr& c : S().classes) {
    bool match = IS_INTRESOURCE(name) ? c->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))
                                      : EqualNoCase(c->name, key);
    if (!match) continue;
    if (c->instance == instance || !instance) return c;
    if ((c->style & CS_GLOBALCLASS) || c->system) global = c;
    else if (!global) global = c;
  }
  return global;
}

void EnsureSystemClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDialogClass();
    RegisterButtonClass();
    RegisterStaticClass();
    RegisterEditClass();
    std::vector<kx::SystemClassRegistrar> regs;
    {
      Guard g(Lock());
      regs = Registrars();
    }
    for (auto r : regs) r();
  });
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WNDPROC proc;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w || w->destroyed) return 0;
    proc = w->proc;
  }
  return proc ? proc(hwnd, msg, wp, lp) : DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace kx::ui

using namespace kx::ui;

bool kx::AddSystemClass(kx::SystemClassRegistrar registrar) {
  Guard g(kx::ui::Lock());
  Registrars().push_back(registrar);
  return true;
}

UINT RegisterWindowMessage(LPCSTR name) {
  if (!name || !*name) return 0;
  Guard g(Lock());
  return AddAtomLocked(std::string("msg:") + name);
}

// ----- classes -----
ATOM RegisterClassEx(const WNDCLASSEXA* wc) {
  if (!wc || !wc->lpszClassName || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) return 0;
  Guard g(Lock());
  std::string name = AtomKey(wc->lpszClassName);
  for (const ClassPtr& c : S().classes)
    if (EqualNoCase(c->name, name) && c->instance == wc->hInstance && !c->system) {
      ::SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  auto c = std::make_shared<WindowClass>();
  c->name = name;
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->clsExtra = wc->cbClsExtra;
  c->wndExtra = wc->cbWndExtra;
  c->instance = wc->hInstance;
  c->icon = wc->hIcon;
  c->iconSm = wc->hIconSm;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  if (wc->lpszMenuName && !IS_INTRESOURCE(wc->lpszMenuName)) c->menuName = wc->lpszMenuName;
  c->extra.assign(static_cast<size_t>(wc->cbClsExtra), 0);
  c->atom = AddAtomLocked(name);
  S().classes.push_back(c);
  return c->atom;
}

ATOM kx::RegisterControlClass(const char* name, WNDPROC proc, UINT style, LPCSTR cursor, int extraBytes) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = extraBytes;
  wc.hCursor = LoadCursor(nullptr, cursor);
  wc.lpszClassName = name;
  return RegisterSystemClass(wc);
}

ATOM kx::RegisterSystemClass(const WNDCLASSEXA& wc) {
  ATOM a = RegisterClassEx(&wc);
  Guard g(Lock());
  for (const ClassPtr& c : S().classes)
    if (c->atom == a && c->instance == wc.hInstance) {
      c->system = true;
      c->style |= CS_GLOBALCLASS;
    }
  return a;
}

ATOM RegisterClass(const WNDCLASSA* wc) {
  if (!wc) return 0;
  WNDCLASSEXA ex{};
  ex.cbSize = sizeof ex;
  ex.style = wc->style;
  ex.lpfnWndProc = wc->lpfnWndProc;
  ex.cbClsExtra = wc->cbClsExtra;
  ex.cbWndExtra = wc->cbWndExtra;
  ex.hInstance = wc->hInstance;
  ex.hIcon = wc->hIcon;
  ex.hCursor = wc->hCursor;
  ex.hbrBackground = wc->hbrBackground;
  ex.lpszMenuName = wc->lpszMenuName;
  ex.lpszClassName = wc->lpszClassName;
  return RegisterClassEx(&ex);
}

BOOL UnregisterClass(LPCSTR name, HINSTANCE instance) {
  Guard g(Lock());
  auto& cs = S().classes;
  for (auto it = cs.begin(); it != cs.end(); ++it) {
    ClassPtr c = *it;
    bool match = IS_INTRESOURCE(name) ? c->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))
                                      : EqualNoCase(c->name, AtomKey(name));
    if (!match || c->instance != instance || c->system) continue;
    if (c->windows > 0) return FALSE;
    cs.erase(it);
    return TRUE;
  }
  return FALSE;
}

BOOL GetClassInfoEx(HINSTANCE instance, LPCSTR name, LPWNDCLASSEX out) {
  EnsureSystemClasses();
  Guard g(Lock());
  ClassPtr c = FindClass(name, instance);
  if (!c || !out) return FALSE;
  out->style = c->style;
  out->lpfnWndProc = c->proc;
  out->cbClsExtra = c->clsExtra;
  out->cbWndExtra = c->wndExtra;
  out->hInstance = c->instance;
  out->hIcon = c->icon;
  out->hIconSm = c->iconSm;
  out->hCursor = c->cursor;
  out->hbrBackground = c->background;
  out->lpszMenuName = nullptr;
  out->lpszClassName = name;
  return TRUE;
}

BOOL GetClassInfo(HINSTANCE instance, LPCSTR name, LPWNDCLASS out) {
  WNDCLASSEXA ex{};
  if (!out || !GetClassInfoEx(instance, name, &ex)) return FALSE;
  out->style = ex.style;
  out->lpfnWndProc = ex.lpfnWndProc;
  out->cbClsExtra = ex.cbClsExtra;
  out->cbWndExtra = ex.cbWndExtra;
  out->hInstance = ex.hInstance;
  out->hIcon = ex.hIcon;
  out->hCursor = ex.hCursor;
  out->hbrBackground = ex.hbrBackground;
  out->lpszMenuName = nullptr;
  out->lpszClassName = name;
  return TRUE;
}

int GetClassName(HWND hwnd, LPSTR buffer, int size) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return kx::gdi::CopyText(w ? w->cls->name : std::string(), buffer, size);
}

ULONG_PTR GetClassLongPtr(HWND hwnd, int index) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return 0;
  WindowClass& c = *w->cls;
  switch (index) {
    case GCL_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(c.background);
    case GCL_HCURSOR: return reinterpret_cast<ULONG_PTR>(c.cursor);
    case GCL_HICON: return reinterpret_cast<ULONG_PTR>(c.icon);
    case GCL_HICONSM: return reinterpret_cast<ULONG_PTR>(c.iconSm);
    case GCL_HMODULE: return reinterpret_cast<ULONG_PTR>(c.instance);
    case GCL_CBWNDEXTRA: return static_cast<ULONG_PTR>(c.wndExtra);
    case GCL_CBCLSEXTRA: return static_cast<ULONG_PTR>(c.clsExtra);
    case GCL_WNDPROC: return reinterpret_cast<ULONG_PTR>(c.proc);
    case GCL_STYLE: return c.style;
    case GCW_ATOM: return c.atom;
    default:
      if (index >= 0 && static_cast<size_t>(index) + sizeof(ULONG_PTR) <= c.extra.size()) {
        ULONG_PTR v;
        std::memcpy(&v, c.extra.data() + index, sizeof v);
        return v;
      }
      return 0;
  }
}

ULONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return 0;
  WindowClass& c = *w->cls;
  ULONG_PTR old = 0;
  switch (index) {
    case GCL_HBRBACKGROUND: old = reinterpret_cast<ULONG_PTR>(c.background); c.background = reinterpret_cast<HBRUSH>(value); break;
    case GCL_HCURSOR: old = reinterpret_cast<ULONG_PTR>(c.cursor); c.cursor = reinterpret_cast<HCURSOR>(value); break;
    case GCL_HICON: old = reinterpret_cast<ULONG_PTR>(c.icon); c.icon = reinterpret_cast<HICON>(value); break;
    case GCL_HICONSM: old = reinterpret_cast<ULONG_PTR>(c.iconSm); c.iconSm = reinterpret_cast<HICON>(value); break;
    case GCL_WNDPROC: old = reinterpret_cast<ULONG_PTR>(c.proc); c.proc = reinterpret_cast<WNDPROC>(value); break;
    case GCL_STYLE: old = c.style; c.style = static_cast<UINT>(value); break;
    default:
      if (index >= 0 && static_cast<size_t>(index) + sizeof(ULONG_PTR) <= c.extra.size()) {
        std::memcpy(&old, c.extra.data() + index, sizeof old);
        std::memcpy(c.extra.data() + index, &value, sizeof value);
      }
      break;
  }
  return old;
}

// ----- creation -----
namespace {

void LinkWindow(Window& w, HWND insertAfter) {
  std::vector<HWND>* list;
  if (w.parent) {
    WindowPtr p = Find(w.parent);
    list = &p->children;
  } else {
    list = &S().topLevels;
  }
  list->erase(std::remove(list->begin(), list->end(), w.handle), list->end());
  if (!w.parent && insertAfter == HWND_TOP) {
    // Top-most windows stay above the others.
    size_t pos = 0;
    if (!(w.exStyle & WS_EX_TOPMOST))
      while (pos < list->size()) {
        WindowPtr o = Find((*list)[pos]);
        if (!o || !(o->exStyle & WS_EX_TOPMOST)) break;
        ++pos;
      }
    list->insert(list->begin() + static_cast<ptrdiff_t>(pos), w.handle);
    return;
  }
  if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST) {
    list->insert(list->begin(), w.handle);
  } else if (insertAfter == HWND_BOTTOM || insertAfter == HWND_NOTOPMOST) {
    list->push_back(w.handle);
  } else {
    auto it = std::find(list->begin(), list->end(), insertAfter);
    if (it == list->end()) list->push_back(w.handle);
    else list->insert(it + 1, w.handle);
  }
}

void UnlinkWindow(Window& w) {
  std::vector<HWND>* list = nullptr;
  if (w.parent) {
    if (WindowPtr p = Find(w.parent)) list = &p->children;
  } else {
    list = &S().topLevels;
  }
  if (list) list->erase(std::remove(list->begin(), list->end(), w.handle), list->end());
}

// Sends WM_NCCALCSIZE to get the client rectangle for a window rectangle.
void RecalcClient(HWND hwnd) {
  RECT wr;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return;
    wr = w->rect;
  }
  NCCALCSIZE_PARAMS p{};
  p.rgrc[0] = wr;
  SendMessage(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&p.rgrc[0]));
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return;
  RECT c = p.rgrc[0];
  if (c.right < c.left) c.right = c.left;
  if (c.bottom < c.top) c.bottom = c.top;
  w->client = RECT{c.left - wr.left, c.top - wr.top, c.right - wr.left, c.bottom - wr.top};
}

void FreeWindow(HWND hwnd);

void SendDestroy(HWND hwnd) {
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return;
    kids = w->children;
  }
  for (HWND c : kids)
    if (IsWindow(c)) SendDestroy(c);
}

void FreeWindow(HWND hwnd) {
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return;
    kids = w->children;
  }
  for (HWND c : kids) FreeWindow(c);
  SendMessage(hwnd, WM_NCDESTROY, 0, 0);
  ReleaseCaptureOf(hwnd);
  CurrentDisplay().WindowGone(hwnd);
  Announce(hwnd, Access::Destroyed);
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return;
  w->destroyed = true;
  if (w->queue) {
    RemoveWindowTimers(*w->queue, hwnd);
    if (w->queue->focus == hwnd) w->queue->focus = nullptr;
    if (w->queue->active == hwnd) w->queue->active = nullptr;
    // Messages posted to the window are dropped with it.
    auto drop = [&](std::deque<QMsg>& d) {
      // (Mouse input not yet hit-tested finds another window when it is taken.)
      d.erase(std::remove_if(d.begin(), d.end(), [&](const QMsg& m) { return m.msg.hwnd == hwnd && !m.hitTest; }),
              d.end());
    };
    drop(w->queue->posted);
    drop(w->queue->input);
  }
  UnlinkWindow(*w);
  w->cls->windows--;
  S().windows.erase(reinterpret_cast<uintptr_t>(hwnd));
}

}  // namespace

HWND CreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  EnsureSystemClasses();
  DesktopHandle();
  QueuePtr q = CurrentQueue();
  CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style), windowName,
                   className, exStyle};
  HWND hwnd;
  {
    Guard g(Lock());
    ClassPtr cls = FindClass(className, instance);
    if (!cls) {
      ::SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    bool messageOnly = parent == HWND_MESSAGE;
    if (messageOnly) parent = nullptr;
    if (IsDesktop(parent)) parent = nullptr;
    WindowPtr pw = parent ? Find(parent) : nullptr;
    if (parent && !pw) return nullptr;
    // A window is a child when it says WS_CHILD without WS_POPUP; a child needs its parent.
    bool child = (style & (WS_CHILD | WS_POPUP)) == WS_CHILD;
    if (child && !pw && !messageOnly) {
      ::SetLastError(ERROR_TLW_WITH_WSCHILD);
      return nullptr;
    }
    auto w = std::make_shared<Window>();
    w->handle = reinterpret_cast<HWND>(S().nextHandle);
    S().nextHandle += 4;  // handles are never reused
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->instance = instance;
    w->messageOnly = messageOnly;
    w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
    w->threadId = q->threadId;
    w->queue = q;
    if (child && pw) {
      w->parent = parent;
      w->id = reinterpret_cast<LONG_PTR>(menu);
    } else if (pw) {
      Window* top = TopOf(pw.get());
      w->owner = top ? top->handle : nullptr;
    }
    if (w->exStyle & WS_EX_DLGMODALFRAME) w->exStyle |= WS_EX_WINDOWEDGE;
    if ((w->style & WS_CAPTION) == WS_CAPTION || (w->style & WS_THICKFRAME)) w->exStyle |= WS_EX_WINDOWEDGE;
    // Default position and size of overlapped windows.
    if (!child) {
      if (x == CW_USEDEFAULT) {
        int n = S().cascade++ % 10;
        x = 40 + 26 * n;
        y = 40 + 26 * n;
      }
      if (width == CW_USEDEFAULT) {
        width = 640;
        height = 480;
      }
    } else {
      if (x == CW_USEDEFAULT) x = y = 0;
      if (width == CW_USEDEFAULT) width = height = 0;
    }
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    cls->windows++;
    S().windows[reinterpret_cast<uintptr_t>(w->handle)] = w;
    LinkWindow(*w, w->parent ? HWND_BOTTOM : HWND_TOP);
    if (!w->parent) EnsureSurface(*w);
    hwnd = w->handle;
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
  }
  // Creation hook: may change the creation data or refuse the window.
  if (HasHooks(WH_CBT)) {
    CBT_CREATEWNDA cbt{&cs, HWND_TOP};
    bool any = false;
    if (CallHookChain(WH_CBT, HCBT_CREATEWND, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cbt), &any)) {
      FreeWindow(hwnd);
      return nullptr;
    }
  }
  if (!SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    if (IsWindow(hwnd)) FreeWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  RecalcClient(hwnd);
  if (SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  RECT client;
  RECT wr;
  HWND par;
  DWORD ex;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    client = w->client;
    wr = w->rect;
    par = w->parent;
    ex = w->exStyle;
  }
  SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right - client.left, client.bottom - client.top));
  SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(wr.left + client.left, wr.top + client.top));
  if (par && !(ex & WS_EX_NOPARENTNOTIFY)) {
    // Every ancestor hears of the new child, nearest first, until one refuses notifications.
    HWND p = par;
    while (p && IsWindow(p)) {
      SendMessage(p, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(menu))),
                  reinterpret_cast<LPARAM>(hwnd));
      WindowPtr pw = FindLocked(p);
      if (!pw || (pw->exStyle & WS_EX_NOPARENTNOTIFY) || !(pw->style & WS_CHILD)) break;
      p = pw->parent;
    }
  }
  Announce(hwnd, Access::Created);
  if (style & WS_VISIBLE) {
    if (!IsWindow(hwnd)) return nullptr;
    ShowWindow(hwnd, (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW);
  }
  return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  if (!IsWindow(hwnd) || IsDesktop(hwnd)) return FALSE;
  if (!OnThreadOf(hwnd)) return static_cast<BOOL>(RunOn(hwnd, [hwnd] { return static_cast<LRESULT>(DestroyWindow(hwnd)); }));
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w || w->destroying) return FALSE;
  }
  if (HasHooks(WH_CBT)) {
    bool any = false;
    if (CallHookChain(WH_CBT, HCBT_DESTROYWND, reinterpret_cast<WPARAM>(hwnd), 0, &any)) return FALSE;
  }
  HWND parent;
  DWORD ex;
  LONG_PTR id;
  std::vector<HWND> owned;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    parent = w->parent;
    ex = w->exStyle;
    id = w->id;
    for (HWND t : TopLevels())
      if (WindowPtr o = Find(t); o && o->owner == hwnd) owned.push_back(t);
  }
  if (IsWindowVisible(hwnd))
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  else
    FocusLost(hwnd);
  for (HWND o : owned)
    if (IsWindow(o)) DestroyWindow(o);
  if (parent && !(ex & WS_EX_NOPARENTNOTIFY) && IsWindow(parent))
    SendMessage(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, static_cast<WORD>(id)), reinterpret_cast<LPARAM>(hwnd));
  if (IsWindow(hwnd)) SendDestroy(hwnd);
  if (IsWindow(hwnd)) FreeWindow(hwnd);
  return TRUE;
}

void kx::DestroyThreadWindows() {
  DWORD tid = kx::ui::ThreadId();
  std::vector<HWND> mine;
  {
    Guard g(Lock());
    for (HWND t : TopLevels())
      if (WindowPtr w = Find(t); w && w->threadId == tid) mine.push_back(t);
    for (auto& [h, w] : S().windows)
      if (w->messageOnly && w->threadId == tid) mine.push_back(w->handle);
  }
  for (HWND h : mine)
    if (IsWindow(h)) DestroyWindow(h);
  QueuePtr q = CurrentQueue();
  Guard g(Lock());
  q->posted.clear();
  q->input.clear();
  q->quit = false;
  q->timers.clear();
}

// ----- simple queries -----
BOOL IsWindow(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return w && !w->destroyed ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return FALSE;
  if (IsDesktop(hwnd)) return TRUE;
  return VisibleChain(*w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  Guard g(Lock());
  WindowPtr p = Find(parent), w = Find(hwnd);
  if (!p || !w) return FALSE;
  // Only a chain of child windows counts.
  Window* cur = w.get();
  while (cur && (cur->style & WS_CHILD) && cur->parent) {
    if (cur->parent == parent) return TRUE;
    WindowPtr n = Find(cur->parent);
    cur = n.get();
  }
  return FALSE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return 0;
  if (processId) *processId = ::GetCurrentProcessId();
  return w->threadId ? w->threadId : 0;
}

// ----- longs -----
LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_USERDATA: return w->userData;
    default:
      if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
      }
      if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG) <= w->extra.size()) {
        LONG v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
      }
      return 0;
  }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
  if (index == GWL_STYLE || index == GWL_EXSTYLE) {
    STYLESTRUCT ss{};
    {
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return 0;
      ss.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
    }
    ss.styleNew = static_cast<DWORD>(value);
    SendMessage(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
    {
      Guard g(Lock());
      WindowPtr w = Find(hwnd);
      if (!w) return 0;
      if (index == GWL_STYLE) w->style = ss.styleNew;
      else w->exStyle = ss.styleNew;
    }
    SendMessage(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
    return static_cast<LONG_PTR>(static_cast<LONG>(ss.styleOld));
  }
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  switch (index) {
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
    case GWLP_HWNDPARENT:
      if (w->parent) return 0;
      old = reinterpret_cast<LONG_PTR>(w->owner);
      w->owner = reinterpret_cast<HWND>(value);
      g.unlock();
      CurrentDisplay().WindowChanged(hwnd);
      return old;
    case GWLP_ID:
      old = w->id;
      w->id = value;
      return old;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      return old;
    default:
      if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(&old, w->extra.data() + index, sizeof old);
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return old;
      }
      if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG) <= w->extra.size()) {
        LONG o, v = static_cast<LONG>(value);
        std::memcpy(&o, w->extra.data() + index, sizeof o);
        std::memcpy(w->extra.data() + index, &v, sizeof v);
        return o;
      }
      return 0;
  }
}

WORD GetWindowWord(HWND hwnd, int index) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w || index < 0 || static_cast<size_t>(index) + 2 > w->extra.size()) return 0;
  WORD v;
  std::memcpy(&v, w->extra.data() + index, 2);
  return v;
}

WORD SetWindowWord(HWND hwnd, int index, WORD value) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w || index < 0 || static_cast<size_t>(index) + 2 > w->extra.size()) return 0;
  WORD old;
  std::memcpy(&old, w->extra.data() + index, 2);
  std::memcpy(w->extra.data() + index, &value, 2);
  return old;
}

int GetDlgCtrlID(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return w && w->parent ? static_cast<int>(w->id) : 0;
}

int SetDlgCtrlID(HWND hwnd, int id) { return static_cast<int>(SetWindowLongPtr(hwnd, GWLP_ID, id)); }

// ----- properties -----
namespace {

// A window's property by name (names compare without regard to case; atoms stand for their names).
std::vector<std::pair<std::string, HANDLE>>::iterator FindProp(Window& w, LPCSTR name) {
  std::string key = AtomKey(name);
  return std::find_if(w.props.begin(), w.props.end(), [&](const auto& p) { return EqualNoCase(p.first, key); });
}

}  // namespace

BOOL SetProp(HWND hwnd, LPCSTR name, HANDLE data) {
  if (!name) return FALSE;
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto it = FindProp(*w, name);
  if (it != w->props.end()) it->second = data;
  else w->props.push_back({AtomKey(name), data});
  return TRUE;
}

HANDLE GetProp(HWND hwnd, LPCSTR name) {
  if (!name) return nullptr;
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return nullptr;
  auto it = FindProp(*w, name);
  return it == w->props.end() ? nullptr : it->second;
}

HANDLE RemoveProp(HWND hwnd, LPCSTR name) {
  if (!name) return nullptr;
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return nullptr;
  auto it = FindProp(*w, name);
  if (it == w->props.end()) return nullptr;
  HANDLE v = it->second;
  w->props.erase(it);
  return v;
}

int EnumProps(HWND hwnd, PROPENUMPROCA proc) {
  std::vector<std::pair<std::string, HANDLE>> props;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w || !proc) return -1;
    props = w->props;
  }
  int last = -1;
  for (auto& [k, v] : props) {
    last = proc(hwnd, k.c_str(), v);
    if (!last) break;
  }
  return last;
}

// ----- text -----
BOOL SetWindowText(HWND hwnd, LPCSTR text) {
  return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowText(HWND hwnd, LPSTR buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = 0;
  return static_cast<int>(SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd) { return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

int InternalGetWindowText(HWND hwnd, LPSTR buffer, int size) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  return kx::gdi::CopyText(w ? w->text : std::string(), buffer, size);
}

// ----- hierarchy -----
HWND GetParent(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return nullptr;
  if (w->parent) return w->parent;
  if (w->style & WS_POPUP) return w->owner;
  return nullptr;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w || IsDesktop(hwnd)) return nullptr;
  switch (flags) {
    case GA_PARENT: return w->parent ? w->parent : S().desktop;
    case GA_ROOT: return TopOf(w.get())->handle;
    case GA_ROOTOWNER: {
      Window* top = TopOf(w.get());
      while (top->owner) {
        WindowPtr o = Find(top->owner);
        if (!o) break;
        top = TopOf(o.get());
      }
      return top->handle;
    }
    default: return nullptr;
  }
}

HWND SetParent(HWND child, HWND newParent) {
  HWND old;
  {
    Guard g(Lock());
    WindowPtr w = Find(child);
    if (!w) return nullptr;
    if (IsDesktop(newParent)) newParent = nullptr;
    WindowPtr np = newParent ? Find(newParent) : nullptr;
    if (newParent && !np) return nullptr;
    if (np && (np.get() == w.get() || IsChildOf(*w, *np))) return nullptr;
    old = w->parent ? w->parent : S().desktop;
    RECT sr = ScreenRect(*w);
    UnlinkWindow(*w);
    w->parent = newParent;
    if (np) {
      RECT pc = ScreenClient(*np);
      w->rect = RECT{sr.left - pc.left, sr.top - pc.top, sr.right - pc.left, sr.bottom - pc.top};
      w->surface.reset();
    } else {
      w->rect = sr;
      EnsureSurface(*w);
    }
    LinkWindow(*w, HWND_TOP);
    InvalidateWindowArea(*w);
  }
  if (newParent) CurrentDisplay().WindowGone(child);
  else CurrentDisplay().WindowChanged(child);
  return old;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return nullptr;
  const std::vector<HWND>* list;
  if (IsDesktop(hwnd) && cmd == GW_CHILD) return TopLevels().empty() ? nullptr : TopLevels().front();
  if (w->parent) list = &Find(w->parent)->children;
  else list = &TopLevels();
  auto it = std::find(list->begin(), list->end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST: return list->empty() ? nullptr : list->front();
    case GW_HWNDLAST: return list->empty() ? nullptr : list->back();
    case GW_HWNDNEXT:
      if (it == list->end() || it + 1 == list->end()) return nullptr;
      return *(it + 1);
    case GW_HWNDPREV:
      if (it == list->end() || it == list->begin()) return nullptr;
      return *(it - 1);
    case GW_OWNER: return w->owner;
    case GW_CHILD: return w->children.empty() ? nullptr : w->children.front();
    case GW_ENABLEDPOPUP: {
      for (HWND t : TopLevels())
        if (WindowPtr o = Find(t); o && o->owner == hwnd && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED))
          return t;
      return nullptr;
    }
    default: return nullptr;
  }
}

HWND GetTopWindow(HWND hwnd) {
  if (!hwnd) hwnd = DesktopHandle();
  return GetWindow(hwnd, GW_CHILD);
}

HWND GetNextWindow(HWND hwnd, UINT cmd) { return GetWindow(hwnd, cmd); }

HWND GetDesktopWindow() { return DesktopHandle(); }

HWND GetLastActivePopup(HWND hwnd) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w) return nullptr;
  for (HWND t : TopLevels())
    if (WindowPtr o = Find(t); o && o->owner == hwnd && (o->style & WS_VISIBLE)) return t;
  return hwnd;
}

namespace {

void CollectChildren(HWND parent, std::vector<HWND>& out) {
  WindowPtr w = Find(parent);
  if (!w) return;
  for (HWND c : w->children) {
    out.push_back(c);
    CollectChildren(c, out);
  }
}

}  // namespace

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    Guard g(Lock());
    if (!parent) parent = S().desktop;
    if (IsDesktop(parent)) {
      for (HWND t : TopLevels()) {
        list.push_back(t);
        CollectChildren(t, list);
      }
    } else {
      CollectChildren(parent, list);
    }
  }
  for (HWND h : list)
    if (IsWindow(h) && !proc(h, param)) return FALSE;
  return TRUE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    Guard g(Lock());
    list = TopLevels();
  }
  for (HWND h : list)
    if (IsWindow(h) && !proc(h, param)) return FALSE;
  return TRUE;
}

BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC proc, LPARAM param) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    Guard g(Lock());
    for (HWND t : TopLevels())
      if (WindowPtr w = Find(t); w && w->threadId == threadId) list.push_back(t);
  }
  for (HWND h : list)
    if (IsWindow(h) && !proc(h, param)) return FALSE;
  return TRUE;
}

HWND FindWindowEx(HWND parent, HWND after, LPCSTR className, LPCSTR windowName) {
  Guard g(Lock());
  const std::vector<HWND>* list;
  if (!parent || IsDesktop(parent)) {
    list = &TopLevels();
  } else {
    WindowPtr p = Find(parent);
    if (!p) return nullptr;
    list = &p->children;
  }
  bool started = after == nullptr;
  std::string cls = className ? AtomKey(className) : std::string();
  for (HWND h : *list) {
    if (!started) {
      started = h == after;
      continue;
    }
    WindowPtr w = Find(h);
    if (!w) continue;
    if (className && !EqualNoCase(w->cls->name, cls) &&
        !(IS_INTRESOURCE(className) && w->cls->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(className))))
      continue;
    if (windowName && w->text != windowName) continue;
    return h;
  }
  return nullptr;
}

HWND FindWindow(LPCSTR className, LPCSTR windowName) { return FindWindowEx(nullptr, nullptr, className, windowName); }

HWND GetDlgItem(HWND dialog, int id) {
  Guard g(Lock());
  WindowPtr d = Find(dialog);
  if (!d) return nullptr;
  for (HWND c : d->children)
    if (WindowPtr w = Find(c); w && static_cast<int>(w->id) == id) return c;
  return nullptr;
}

// ----- geometry -----
BOOL GetWindowRect(HWND hwnd, LPRECT rc) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w || !rc) return FALSE;
  *rc = ScreenRect(*w);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rc) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w || !rc) return FALSE;
  *rc = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT pt) {
  if (!IsWindow(hwnd) || !pt) return FALSE;
  MapWindowPoints(hwnd, nullptr, pt, 1);
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT pt) {
  if (!IsWindow(hwnd) || !pt) return FALSE;
  MapWindowPoints(nullptr, hwnd, pt, 1);
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT pts, UINT count) {
  Guard g(Lock());
  POINT a{0, 0}, b{0, 0};
  if (from && !IsDesktop(from)) {
    WindowPtr w = Find(from);
    if (!w) return 0;
    RECT c = ScreenClient(*w);
    a = POINT{c.left, c.top};
  }
  if (to && !IsDesktop(to)) {
    WindowPtr w = Find(to);
    if (!w) return 0;
    RECT c = ScreenClient(*w);
    b = POINT{c.left, c.top};
  }
  int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; pts && i < count; ++i) {
    pts[i].x += dx;
    pts[i].y += dy;
  }
  return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

// Windows of the calling thread are asked with WM_NCHITTEST and may pass the point on; others take it as they are.
HWND WindowFromPoint(POINT pt) { return HitTestAt(pt, true, nullptr); }

HWND ChildWindowFromPointEx(HWND parent, POINT pt, UINT flags) {
  Guard g(Lock());
  WindowPtr p = Find(parent);
  if (!p) return nullptr;
  RECT c = RECT{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
  if (!PtInRect(&c, pt)) return nullptr;
  RECT sc = ScreenClient(*p);
  POINT spt{pt.x + sc.left, pt.y + sc.top};
  for (HWND h : p->children) {
    WindowPtr w = Find(h);
    if (!w) continue;
    if ((flags & CWP_SKIPINVISIBLE) && !(w->style & WS_VISIBLE)) continue;
    if ((flags & CWP_SKIPDISABLED) && (w->style & WS_DISABLED)) continue;
    if ((flags & CWP_SKIPTRANSPARENT) && (w->exStyle & WS_EX_TRANSPARENT)) continue;
    RECT r = ScreenRect(*w);
    if (PtInRect(&r, spt)) return h;
  }
  return parent;
}

HWND ChildWindowFromPoint(HWND parent, POINT pt) { return ChildWindowFromPointEx(parent, pt, CWP_ALL); }

HWND RealChildWindowFromPoint(HWND parent, POINT pt) {
  return ChildWindowFromPointEx(parent, pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
}

BOOL AdjustWindowRectEx(LPRECT rc, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rc) return FALSE;
  if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_THICKFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
    exStyle |= WS_EX_WINDOWEDGE;
  RECT in = FrameInsets(style, exStyle, false, false);
  rc->left -= in.left;
  rc->top -= in.top;
  rc->right += in.right;
  rc->bottom += in.bottom;
  if (menu) rc->top -= GetSystemMetrics(SM_CYMENU);
  return TRUE;
}

BOOL AdjustWindowRect(LPRECT rc, DWORD style, BOOL menu) { return AdjustWindowRectEx(rc, style, menu, 0); }

BOOL DrawAnimatedRects(HWND, int, const RECT* from, const RECT* to) { return from && to; }

// ----- position, size, z-order, showing -----
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!IsWindow(hwnd) || IsDesktop(hwnd)) return FALSE;
  if (!OnThreadOf(hwnd))
    return static_cast<BOOL>(RunOn(hwnd, [=] { return static_cast<LRESULT>(SetWindowPos(hwnd, insertAfter, x, y, cx, cy, flags)); }));
  WINDOWPOS wp{hwnd, insertAfter, x, y, cx, cy, flags};
  RECT oldRect;
  bool wasVisible;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    oldRect = w->rect;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    if (flags & SWP_NOMOVE) { wp.x = oldRect.left; wp.y = oldRect.top; }
    if (flags & SWP_NOSIZE) { wp.cx = oldRect.right - oldRect.left; wp.cy = oldRect.bottom - oldRect.top; }
  }
  if (!(flags & SWP_NOSENDCHANGING)) SendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  if (!IsWindow(hwnd)) return FALSE;
  wp.cx = std::max(wp.cx, 0);
  wp.cy = std::max(wp.cy, 0);
  bool moved = wp.x != oldRect.left || wp.y != oldRect.top;
  bool sized = wp.cx != oldRect.right - oldRect.left || wp.cy != oldRect.bottom - oldRect.top;
  bool show = (wp.flags & SWP_SHOWWINDOW) && !wasVisible;
  bool hide = (wp.flags & SWP_HIDEWINDOW) && wasVisible;
  bool frame = (wp.flags & SWP_FRAMECHANGED) != 0;
  if (hide) FocusLost(hwnd);
  bool top = false;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return FALSE;
    top = w->parent == nullptr;
    if (w->parent && wasVisible && (moved || sized || hide) && VisibleChain(*Find(w->parent)))
      InvalidateParentArea(*w, oldRect);
    if (top && wasVisible && (moved || sized || hide)) ScreenDirty(oldRect);
    w->rect = RECT{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    if (!(wp.flags & SWP_NOZORDER) && !IsDesktop(w->parent)) {
      HWND after = wp.hwndInsertAfter;
      if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
      if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
      LinkWindow(*w, after == HWND_TOPMOST || after == HWND_NOTOPMOST ? HWND_TOP : after);
    }
    if (show) w->style |= WS_VISIBLE;
    if (hide) w->style &= ~WS_VISIBLE;
    if (top && sized) EnsureSurface(*w);
  }
  if (sized || frame) RecalcClient(hwnd);
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return FALSE;
    bool visible = (w->style & WS_VISIBLE) != 0;
    // A top-level window keeps its pixels when it only moves or changes places; a child is drawn again.
    bool restacked = !(wp.flags & SWP_NOZORDER) && w->parent;
    if (visible && (show || sized || frame || (moved && w->parent) || restacked)) {
      if (!(wp.flags & SWP_NOREDRAW) || show) InvalidateWindowArea(*w);
    }
    if (top && visible) ScreenDirty(w->rect);
  }
  WINDOWPOS done = wp;
  if (!moved) done.flags |= SWP_NOMOVE;
  if (!sized) done.flags |= SWP_NOSIZE;
  SendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
  if (top) CurrentDisplay().WindowChanged(hwnd);
  if (show || hide) Announce(hwnd, show ? Access::Shown : Access::Hidden);
  if (show && top && !(wp.flags & SWP_NOACTIVATE)) {
    DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    if (!(style & WS_CHILD)) SetActiveWindow(hwnd);
  }
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

struct HDWP__ {
  std::vector<WINDOWPOS> items;
};

HDWP BeginDeferWindowPos(int count) {
  auto* d = new HDWP__();
  d->items.reserve(static_cast<size_t>(std::max(count, 0)));
  return d;
}

HDWP DeferWindowPos(HDWP info, HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!info) return nullptr;
  info->items.push_back(WINDOWPOS{hwnd, insertAfter, x, y, cx, cy, flags});
  return info;
}

BOOL EndDeferWindowPos(HDWP info) {
  if (!info) return FALSE;
  for (const WINDOWPOS& p : info->items) SetWindowPos(p.hwnd, p.hwndInsertAfter, p.x, p.y, p.cx, p.cy, p.flags);
  delete info;
  return TRUE;
}

BOOL BringWindowToTop(HWND hwnd) { return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

BOOL ShowWindow(HWND hwnd, int cmd) {
  if (!IsWindow(hwnd)) return FALSE;
  if (!OnThreadOf(hwnd)) return static_cast<BOOL>(RunOn(hwnd, [=] { return static_cast<LRESULT>(ShowWindow(hwnd, cmd)); }));
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  bool wasVisible = (style & WS_VISIBLE) != 0;
  bool child = (style & WS_CHILD) != 0;
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
  bool showing = cmd != SW_HIDE;
  switch (cmd) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      flags |= SWP_HIDEWINDOW | SWP_NOACTIVATE;
      break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
    case SW_SHOWMINNOACTIVE:
      flags |= SWP_SHOWWINDOW | SWP_NOACTIVATE;
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_FORCEMINIMIZE: {
      Guard g(Lock());
      if (WindowPtr w = Find(hwnd)) w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
      flags |= SWP_SHOWWINDOW | (cmd == SW_MINIMIZE ? SWP_NOACTIVATE : 0);
      break;
    }
    case SW_MAXIMIZE: {
      Guard g(Lock());
      if (WindowPtr w = Find(hwnd)) {
        if (!(w->style & WS_MAXIMIZE)) w->normalRect = w->rect;
        w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
      }
      flags |= SWP_SHOWWINDOW;
      break;
    }
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT: {
      Guard g(Lock());
      if (WindowPtr w = Find(hwnd)) w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
      flags |= SWP_SHOWWINDOW;
      break;
    }
    default:
      flags |= SWP_SHOWWINDOW;
      break;
  }
  if (showing && child) flags |= SWP_NOACTIVATE;
  if (showing != wasVisible) {
    SendMessage(hwnd, WM_SHOWWINDOW, showing, 0);
    if (!IsWindow(hwnd)) return wasVisible;
  }
  if (cmd == SW_MAXIMIZE && !child) {
    RECT work{0, 0, kx::ui::ScreenWidth(), kx::ui::ScreenHeight()};
    SetWindowPos(hwnd, nullptr, work.left, work.top, work.right, work.bottom, (flags & ~(SWP_NOMOVE | SWP_NOSIZE)));
  } else if (showing != wasVisible || (flags & SWP_SHOWWINDOW && !(flags & SWP_NOACTIVATE) && !child)) {
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, flags);
    if (showing && wasVisible && !child && !(flags & SWP_NOACTIVATE)) SetActiveWindow(hwnd);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL CloseWindow(HWND hwnd) { return ShowWindow(hwnd, SW_MINIMIZE) || IsWindow(hwnd); }
BOOL OpenIcon(HWND hwnd) { return ShowWindow(hwnd, SW_RESTORE) || IsWindow(hwnd); }

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* out) {
  Guard g(Lock());
  WindowPtr w = Find(hwnd);
  if (!w || !out) return FALSE;
  out->flags = 0;
  out->showCmd = !(w->style & WS_VISIBLE) ? SW_HIDE : (w->style & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                 : (w->style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  out->ptMinPosition = POINT{-1, -1};
  out->ptMaxPosition = POINT{-1, -1};
  out->rcNormalPosition = (w->style & WS_MAXIMIZE) ? w->normalRect : w->rect;
  return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* wp) {
  if (!wp) return FALSE;
  const RECT& r = wp->rcNormalPosition;
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd, static_cast<int>(wp->showCmd));
  return TRUE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  bool wasDisabled;
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return FALSE;
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
  }
  if (!OnThreadOf(hwnd))
    return static_cast<BOOL>(RunOn(hwnd, [=] { return static_cast<LRESULT>(EnableWindow(hwnd, enable)); }));
  if (!enable) {
    HWND focus = GetFocus();
    if (focus && (focus == hwnd || IsChild(hwnd, focus))) SetFocus(nullptr);
    ReleaseCaptureOf(hwnd);
  }
  {
    Guard g(Lock());
    WindowPtr w = Find(hwnd);
    if (!w) return FALSE;
    if (enable) w->style &= ~WS_DISABLED;
    else w->style |= WS_DISABLED;
  }
  SendMessage(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  Announce(hwnd, Access::State);
  return wasDisabled ? TRUE : FALSE;
}

void kx::ui::DropThreadWindows(DWORD tid) {
  State& st = S();
  std::vector<HWND> gone;
  for (auto& [h, w] : st.windows)
    if (w->threadId == tid && !IsDesktop(w->handle)) gone.push_back(w->handle);
  for (HWND h : gone) {
    WindowPtr w = Find(h);
    if (!w) continue;
    w->destroyed = true;
    if (!w->parent) ScreenDirty(w->rect);
    CurrentDisplay().WindowGone(h);
    UnlinkWindow(*w);
    w->cls->windows--;
    st.windows.erase(reinterpret_cast<uintptr_t>(h));
  }
}
