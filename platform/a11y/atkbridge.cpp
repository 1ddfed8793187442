// The windows on the accessibility bus (AT-SPI), through ATK and its bridge. Every window and control is an ATK
// object (rows, cells, column headings, tabs and items too), read when a screen reader asks. The bridge talks
// D-Bus from a GLib main loop on a thread of its own: the window system's threads only queue what changed (they
// never wait for it), and this thread reads windows under the window system's lock or, for what a control keeps
// to itself, through a task run on the control's thread with a time-out, so a busy UI thread never blocks the bus
// for long and the bus never blocks a UI thread. Without a bus (or on the headless desktop) nothing starts.
#include <atk-bridge.h>
#include <atk/atk.h>
#include <glib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/ui/access.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/commonctrl.h"
#include "platform/ui/display.h"
#include "platform/ui/internal.h"

namespace kx::a11y {

namespace {

using kx::ui::Access;

// ---------------------------------------------------------------- reading windows from the bus thread

constexpr int kReadTimeoutMs = 2000;

std::string ClassOf(HWND h) {
  char buf[128] = {};
  GetClassName(h, buf, sizeof buf);
  return buf;
}
DWORD StyleOf(HWND h) { return static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE)); }
bool Is(HWND h, const char* cls) { return strcasecmp(ClassOf(h).c_str(), cls) == 0; }

// The text the window system keeps for the window (an edit keeps its shown text there, a password as dots).
std::string KeptText(HWND h) {
  std::vector<char> buf(65536);
  InternalGetWindowText(h, buf.data(), static_cast<int>(buf.size()));
  return buf.data();
}

std::string NoMnemonic(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += s[i] == '\t' ? ' ' : s[i];
  }
  return out;
}

// Runs `fn` on the window's thread and waits for its answer at most the time-out; the fallback after that (the
// task keeps what it uses, so a late run harms nothing).
template <class T, class F>
T Read(HWND h, F fn, T fallback) {
  struct Box {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    T value{};
  };
  auto box = std::make_shared<Box>();
  if (!kx::ui::PostTask(h, [box, fn] {
        T v = fn();
        std::lock_guard<std::mutex> g(box->m);
        box->value = std::move(v);
        box->done = true;
        box->cv.notify_all();
      }))
    return fallback;
  std::unique_lock<std::mutex> g(box->m);
  if (!box->cv.wait_for(g, std::chrono::milliseconds(kReadTimeoutMs), [&] { return box->done; })) return fallback;
  return box->value;
}

LRESULT Ask(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
  return Read<LRESULT>(h, [=] { return SendMessage(h, msg, wp, lp); }, 0);
}

// Acts on the window's thread without waiting (an action may start a modal loop there).
void Act(HWND h, std::function<void()> fn) { kx::ui::PostTask(h, std::move(fn)); }

std::string ButtonKind(DWORD style) {
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
      return "check";
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return "radio";
    case BS_GROUPBOX:
      return "group";
    default:
      return "push";
  }
}

bool IsTop(HWND h) { return GetParent(h) == nullptr || !(StyleOf(h) & WS_CHILD); }

// Visible children in z-order, without the heading of a list view (the list shows its headings as its table's).
std::vector<HWND> ChildWindows(HWND h) {
  std::vector<HWND> out;
  bool list = Is(h, WC_LISTVIEWA);
  for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!(StyleOf(c) & WS_VISIBLE)) continue;
    if (list && Is(c, WC_HEADERA)) continue;
    out.push_back(c);
  }
  return out;
}

BOOL CALLBACK CollectTop(HWND h, LPARAM lp) {
  if (StyleOf(h) & WS_VISIBLE) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}
std::vector<HWND> TopWindows() {
  std::vector<HWND> out;
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&out));
  std::reverse(out.begin(), out.end());  // oldest first, as they were opened
  return out;
}

// The label of a control without its own text: the nearest static text before it in the tab order.
std::string LabelOf(HWND h) {
  for (HWND p = GetWindow(h, GW_HWNDPREV); p; p = GetWindow(p, GW_HWNDPREV)) {
    if (!Is(p, "Static")) {
      if (Is(p, "Button") && ButtonKind(StyleOf(p)) == "group") continue;
      return {};
    }
    DWORD t = StyleOf(p) & SS_TYPEMASK;
    if (t == SS_ICON || t == SS_BITMAP || t == SS_ETCHEDHORZ || t == SS_ETCHEDVERT || t == SS_ETCHEDFRAME) continue;
    std::string s = NoMnemonic(KeptText(p));
    if (!s.empty()) return s;
  }
  return {};
}

// --- list view
struct Table {
  int rows = 0, cols = 1;
  bool report = false;
};
Table TableOf(HWND h) {
  return Read<Table>(h, [h] {
    Table t;
    t.rows = static_cast<int>(SendMessage(h, LVM_GETITEMCOUNT, 0, 0));
    t.report = (GetWindowLongPtr(h, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    if (t.report) {
      HWND header = reinterpret_cast<HWND>(SendMessage(h, LVM_GETHEADER, 0, 0));
      int n = header ? static_cast<int>(SendMessage(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
      t.cols = std::max(n, 1);
    }
    return t;
  }, Table{});
}
std::string CellText(HWND h, int row, int col) {
  return Read<std::string>(h, [=] {
    std::vector<char> buf(4096);
    LVITEMA it{};
    it.iSubItem = col;
    it.pszText = buf.data();
    it.cchTextMax = static_cast<int>(buf.size());
    SendMessage(h, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&it));
    return std::string(buf.data());
  }, std::string());
}
std::string ColumnText(HWND h, int col) {
  return Read<std::string>(h, [=] {
    std::vector<char> buf(1024);
    LVCOLUMNA c{};
    c.mask = LVCF_TEXT;
    c.pszText = buf.data();
    c.cchTextMax = static_cast<int>(buf.size());
    SendMessage(h, LVM_GETCOLUMNA, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&c));
    return std::string(buf.data());
  }, std::string());
}
bool RowSelected(HWND h, int row) { return Ask(h, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0; }
void SelectRow(HWND h, int row, bool only) {
  Act(h, [=] {
    LVITEMA it{};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (only) SendMessage(h, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&it));
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessage(h, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&it));
    SendMessage(h, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  });
}

// --- tab control, list box
std::string TabText(HWND h, int i) {
  return Read<std::string>(h, [=] {
    std::vector<char> buf(1024);
    TCITEMA it{};
    it.mask = TCIF_TEXT;
    it.pszText = buf.data();
    it.cchTextMax = static_cast<int>(buf.size());
    SendMessage(h, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it));
    return NoMnemonic(buf.data());
  }, std::string());
}
std::string ListBoxText(HWND h, int i) {
  return Read<std::string>(h, [=] {
    LRESULT n = SendMessage(h, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (n < 0) return std::string();
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    SendMessage(h, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
    return std::string(buf.data());
  }, std::string());
}

// --- tree view
std::vector<HTREEITEM> TreeChildren(HWND h, HTREEITEM parent) {
  return Read<std::vector<HTREEITEM>>(h, [=] {
    std::vector<HTREEITEM> out;
    HTREEITEM c = reinterpret_cast<HTREEITEM>(
        SendMessage(h, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, reinterpret_cast<LPARAM>(parent)));
    while (c) {
      out.push_back(c);
      c = reinterpret_cast<HTREEITEM>(SendMessage(h, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(c)));
    }
    return out;
  }, std::vector<HTREEITEM>());
}
struct TreeInfo {
  std::string text;
  UINT state = 0;
  int children = 0;
  bool ok = false;
};
TreeInfo TreeItemInfo(HWND h, HTREEITEM item) {
  return Read<TreeInfo>(h, [=] {
    TreeInfo t;
    std::vector<char> buf(1024);
    TVITEMA it{};
    it.mask = TVIF_TEXT | TVIF_STATE | TVIF_CHILDREN | TVIF_HANDLE;
    it.hItem = item;
    it.pszText = buf.data();
    it.cchTextMax = static_cast<int>(buf.size());
    it.stateMask = TVIS_SELECTED | TVIS_EXPANDED;
    t.ok = SendMessage(h, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it)) != 0;
    t.text = buf.data();
    t.state = it.state;
    t.children = it.cChildren;
    return t;
  }, TreeInfo{});
}

// ---------------------------------------------------------------- the ATK objects

enum Kind { kRoot, kWindow, kCell, kHeading, kTab, kItem, kTreeItem };

enum Iface : unsigned {
  kComponent = 1,
  kAction = 2,
  kText = 4,
  kEditable = 8,
  kValue = 16,
  kTable = 32,
  kSelection = 64,
  kWindowIface = 128,
};

struct KxAcc {
  AtkObject parent;
  int kind;
  HWND hwnd;
  int row;  // cell, heading, tab, item: the index
  int col;
  HTREEITEM tree;
  bool gone;
  guint64 states;  // last announced states, for the changes
  glong textLength;
};
struct KxAccClass {
  AtkObjectClass parent;
};

KxAcc* K(gpointer p) { return static_cast<KxAcc*>(p); }

using Key = std::tuple<int, HWND, int, int, HTREEITEM>;
std::map<Key, KxAcc*>& Objects() {
  static auto* m = new std::map<Key, KxAcc*>();
  return *m;
}
AtkObject* g_root = nullptr;
HWND g_focus = nullptr;
HWND g_active = nullptr;

GType TypeFor(unsigned ifaces);

AtkRole RoleOfWindow(HWND h) {
  std::string c = ClassOf(h);
  DWORD s = StyleOf(h);
  auto is = [&](const char* n) { return strcasecmp(c.c_str(), n) == 0; };
  if (is("#32770")) return IsTop(h) ? (GetWindow(h, GW_OWNER) ? ATK_ROLE_DIALOG : ATK_ROLE_FRAME) : ATK_ROLE_PANEL;
  if (is("Button")) {
    std::string k = ButtonKind(s);
    return k == "check" ? ATK_ROLE_CHECK_BOX : k == "radio" ? ATK_ROLE_RADIO_BUTTON
           : k == "group" ? ATK_ROLE_PANEL : ATK_ROLE_PUSH_BUTTON;
  }
  if (is("Static")) {
    DWORD t = s & SS_TYPEMASK;
    if (t == SS_ICON || t == SS_BITMAP) return ATK_ROLE_ICON;
    if (t == SS_ETCHEDHORZ || t == SS_ETCHEDVERT || t == SS_ETCHEDFRAME) return ATK_ROLE_SEPARATOR;
    return ATK_ROLE_LABEL;
  }
  if (is("Edit")) return (s & ES_PASSWORD) ? ATK_ROLE_PASSWORD_TEXT : ATK_ROLE_TEXT;
  if (is(WC_COMBOBOXA)) return ATK_ROLE_COMBO_BOX;
  if (is(WC_LISTBOXA) || is("ComboLBox")) return ATK_ROLE_LIST;
  if (is(WC_LISTVIEWA)) return (s & LVS_TYPEMASK) == LVS_REPORT ? ATK_ROLE_TABLE : ATK_ROLE_LIST;
  if (is(WC_TREEVIEWA)) return ATK_ROLE_TREE;
  if (is(WC_TABCONTROLA)) return ATK_ROLE_PAGE_TAB_LIST;
  if (is(WC_HEADERA)) return ATK_ROLE_TABLE_COLUMN_HEADER;
  if (is(PROGRESS_CLASSA)) return ATK_ROLE_PROGRESS_BAR;
  if (is(UPDOWN_CLASSA)) return ATK_ROLE_SPIN_BUTTON;
  if (is(STATUSCLASSNAMEA)) return ATK_ROLE_STATUSBAR;
  if (is(TOOLTIPS_CLASSA)) return ATK_ROLE_TOOL_TIP;
  if (is(DATETIMEPICK_CLASSA)) return ATK_ROLE_DATE_EDITOR;
  if (is("#32768")) return ATK_ROLE_MENU;
  if (is(WC_IPADDRESSA)) return ATK_ROLE_TEXT;
  return IsTop(h) ? ATK_ROLE_FRAME : ATK_ROLE_PANEL;
}

unsigned IfacesOfWindow(HWND h, AtkRole role) {
  unsigned i = kComponent;
  if (IsTop(h)) i |= kWindowIface;
  switch (role) {
    case ATK_ROLE_PUSH_BUTTON:
    case ATK_ROLE_CHECK_BOX:
    case ATK_ROLE_RADIO_BUTTON:
      i |= kAction;
      break;
    case ATK_ROLE_LABEL:
    case ATK_ROLE_STATUSBAR:
    case ATK_ROLE_DATE_EDITOR:
      i |= kText;
      break;
    case ATK_ROLE_TEXT:
    case ATK_ROLE_PASSWORD_TEXT:
      i |= kText | kEditable;
      break;
    case ATK_ROLE_TABLE:
      i |= kTable | kSelection;
      break;
    case ATK_ROLE_LIST:
      i |= kSelection | (Is(h, WC_LISTVIEWA) ? unsigned{kTable} : 0u);
      break;
    case ATK_ROLE_PAGE_TAB_LIST:
      i |= kSelection;
      break;
    case ATK_ROLE_PROGRESS_BAR:
    case ATK_ROLE_SPIN_BUTTON:
      i |= kValue;
      break;
    default:
      break;
  }
  return i;
}

// The object of a window or a part of one, made at the first ask.
AtkObject* Obj(int kind, HWND h, int row = 0, int col = 0, HTREEITEM tree = nullptr) {
  if (kind == kRoot) return g_root;
  Key key{kind, h, row, col, tree};
  auto it = Objects().find(key);
  if (it != Objects().end()) return ATK_OBJECT(it->second);
  AtkRole role = ATK_ROLE_UNKNOWN;
  unsigned ifaces = kComponent;
  switch (kind) {
    case kWindow:
      if (!IsWindow(h)) return nullptr;
      role = RoleOfWindow(h);
      ifaces = IfacesOfWindow(h, role);
      break;
    case kCell:
      role = (StyleOf(h) & LVS_TYPEMASK) == LVS_REPORT ? ATK_ROLE_TABLE_CELL : ATK_ROLE_LIST_ITEM;
      ifaces |= kAction;
      break;
    case kHeading:
      role = ATK_ROLE_TABLE_COLUMN_HEADER;
      break;
    case kTab:
      role = ATK_ROLE_PAGE_TAB;
      ifaces |= kAction;
      break;
    case kItem:
      role = ATK_ROLE_LIST_ITEM;
      ifaces |= kAction;
      break;
    case kTreeItem:
      role = ATK_ROLE_TREE_ITEM;
      ifaces |= kAction;
      break;
  }
  auto* o = K(g_object_new(TypeFor(ifaces), nullptr));
  o->kind = kind;
  o->hwnd = h;
  o->row = row;
  o->col = col;
  o->tree = tree;
  ATK_OBJECT(o)->role = role;
  ATK_OBJECT(o)->layer = ATK_LAYER_WIDGET;
  Objects()[key] = o;
  return ATK_OBJECT(o);
}
AtkObject* Win(HWND h) { return Obj(kWindow, h); }
AtkObject* Existing(HWND h) {
  auto it = Objects().find(Key{kWindow, h, 0, 0, nullptr});
  return it == Objects().end() ? nullptr : ATK_OBJECT(it->second);
}

// --- children: what each kind of object holds
struct Child {
  int kind;
  HWND hwnd;
  int row;
  int col;
  HTREEITEM tree;
};
std::vector<Child> ChildrenOf(KxAcc* o) {
  std::vector<Child> out;
  switch (o->kind) {
    case kRoot:
      for (HWND t : TopWindows()) out.push_back({kWindow, t, 0, 0, nullptr});
      break;
    case kWindow: {
      HWND h = o->hwnd;
      if (Is(h, WC_LISTVIEWA)) {
        Table t = TableOf(h);
        for (int r = 0; r < t.rows; ++r)
          for (int c = 0; c < t.cols; ++c) out.push_back({kCell, h, r, c, nullptr});
      } else if (Is(h, WC_TABCONTROLA)) {
        int n = static_cast<int>(Ask(h, TCM_GETITEMCOUNT));
        for (int i = 0; i < n; ++i) out.push_back({kTab, h, i, 0, nullptr});
      } else if (Is(h, WC_LISTBOXA) || Is(h, "ComboLBox")) {
        int n = static_cast<int>(Ask(h, LB_GETCOUNT));
        for (int i = 0; i < n; ++i) out.push_back({kItem, h, i, 0, nullptr});
      } else if (Is(h, WC_TREEVIEWA)) {
        for (HTREEITEM i : TreeChildren(h, nullptr)) out.push_back({kTreeItem, h, 0, 0, i});
      }
      for (HWND c : ChildWindows(h)) out.push_back({kWindow, c, 0, 0, nullptr});
      break;
    }
    case kTreeItem:
      for (HTREEITEM i : TreeChildren(o->hwnd, o->tree)) out.push_back({kTreeItem, o->hwnd, 0, 0, i});
      break;
    default:
      break;
  }
  return out;
}

// ---------------------------------------------------------------- AtkObject

const gchar* GetName(AtkObject* a) {
  KxAcc* o = K(a);
  std::string name;
  switch (o->kind) {
    case kRoot:
      name = g_get_prgname() ? g_get_prgname() : "brinmoor";
      break;
    case kWindow: {
      HWND h = o->hwnd;
      AtkRole role = a->role;
      if (role == ATK_ROLE_TEXT || role == ATK_ROLE_PASSWORD_TEXT || role == ATK_ROLE_COMBO_BOX ||
          role == ATK_ROLE_LIST || role == ATK_ROLE_TABLE || role == ATK_ROLE_TREE || role == ATK_ROLE_PROGRESS_BAR ||
          role == ATK_ROLE_SPIN_BUTTON || role == ATK_ROLE_DATE_EDITOR || role == ATK_ROLE_PAGE_TAB_LIST)
        name = LabelOf(h);
      else if (role != ATK_ROLE_SEPARATOR)
        name = NoMnemonic(KeptText(h));
      break;
    }
    case kCell:
      name = CellText(o->hwnd, o->row, o->col);
      break;
    case kHeading:
      name = ColumnText(o->hwnd, o->col);
      break;
    case kTab:
      name = TabText(o->hwnd, o->row);
      break;
    case kItem:
      name = ListBoxText(o->hwnd, o->row);
      break;
    case kTreeItem:
      name = TreeItemInfo(o->hwnd, o->tree).text;
      break;
  }
  // ATK keeps the returned text only until the next ask: the object's name field holds it.
  g_free(a->name);
  a->name = g_strdup(name.c_str());
  return a->name;
}

const gchar* GetDescription(AtkObject* a) {
  KxAcc* o = K(a);
  std::string d;
  // A control named by its own text has its label (a line of text before it) as its description.
  if (o->kind == kWindow && (a->role == ATK_ROLE_PUSH_BUTTON || a->role == ATK_ROLE_CHECK_BOX ||
                             a->role == ATK_ROLE_RADIO_BUTTON))
    d = LabelOf(o->hwnd);
  g_free(a->description);
  a->description = g_strdup(d.c_str());
  return a->description;
}

AtkObject* AccParent(AtkObject* a) {
  KxAcc* o = K(a);
  switch (o->kind) {
    case kRoot:
      return nullptr;
    case kWindow: {
      if (IsTop(o->hwnd)) return g_root;
      HWND p = GetParent(o->hwnd);
      return p ? Win(p) : g_root;
    }
    case kTreeItem: {
      HTREEITEM p = reinterpret_cast<HTREEITEM>(
          Ask(o->hwnd, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(o->tree)));
      return p ? Obj(kTreeItem, o->hwnd, 0, 0, p) : Win(o->hwnd);
    }
    default:
      return Win(o->hwnd);
  }
}

gint GetNChildren(AtkObject* a) {
  if (K(a)->gone) return 0;
  return static_cast<gint>(ChildrenOf(K(a)).size());
}

AtkObject* RefChild(AtkObject* a, gint i) {
  if (K(a)->gone || i < 0) return nullptr;
  std::vector<Child> kids = ChildrenOf(K(a));
  if (static_cast<size_t>(i) >= kids.size()) return nullptr;
  const Child& c = kids[static_cast<size_t>(i)];
  AtkObject* child = Obj(c.kind, c.hwnd, c.row, c.col, c.tree);
  return child ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint IndexInParent(AtkObject* a) {
  KxAcc* o = K(a);
  if (o->kind == kRoot) return -1;
  AtkObject* p = AccParent(a);
  if (!p) return -1;
  std::vector<Child> kids = ChildrenOf(K(p));
  for (size_t i = 0; i < kids.size(); ++i)
    if (kids[i].kind == o->kind && kids[i].hwnd == o->hwnd && kids[i].row == o->row && kids[i].col == o->col &&
        kids[i].tree == o->tree)
      return static_cast<gint>(i);
  return -1;
}

bool VisibleChain(HWND h) { return IsWindowVisible(h) != FALSE; }
bool EnabledChain(HWND h) {
  for (HWND w = h; w; w = IsTop(w) ? nullptr : GetParent(w))
    if (!IsWindowEnabled(w)) return false;
  return true;
}

AtkStateSet* RefStateSet(AtkObject* a) {
  KxAcc* o = K(a);
  AtkStateSet* set = atk_state_set_new();
  auto add = [&](AtkStateType t) { atk_state_set_add_state(set, t); };
  if (o->gone || (o->kind != kRoot && !IsWindow(o->hwnd))) {
    add(ATK_STATE_DEFUNCT);
    return set;
  }
  if (o->kind == kRoot) return set;
  HWND h = o->hwnd;
  bool visible = VisibleChain(h);
  bool enabled = EnabledChain(h);
  if (enabled) {
    add(ATK_STATE_ENABLED);
    add(ATK_STATE_SENSITIVE);
  }
  if (visible) {
    add(ATK_STATE_VISIBLE);
    add(ATK_STATE_SHOWING);
  }
  DWORD s = StyleOf(h);
  switch (o->kind) {
    case kWindow: {
      AtkRole role = a->role;
      if (IsTop(h)) {
        if (h == g_active) add(ATK_STATE_ACTIVE);
        if (s & WS_THICKFRAME) add(ATK_STATE_RESIZABLE);
        if (role == ATK_ROLE_DIALOG) add(ATK_STATE_MODAL);
      }
      if (h == g_focus) add(ATK_STATE_FOCUSED);
      if ((s & WS_TABSTOP) || role == ATK_ROLE_TEXT || role == ATK_ROLE_PASSWORD_TEXT ||
          role == ATK_ROLE_PUSH_BUTTON || role == ATK_ROLE_TABLE || role == ATK_ROLE_LIST || role == ATK_ROLE_TREE)
        add(ATK_STATE_FOCUSABLE);
      if (role == ATK_ROLE_CHECK_BOX || role == ATK_ROLE_RADIO_BUTTON) {
        LRESULT check = Ask(h, BM_GETCHECK);
        if (check == BST_CHECKED) add(ATK_STATE_CHECKED);
        if (check == BST_INDETERMINATE) add(ATK_STATE_INDETERMINATE);
        add(ATK_STATE_CHECKABLE);
      }
      if (role == ATK_ROLE_PUSH_BUTTON && (s & BS_TYPEMASK) == BS_DEFPUSHBUTTON) add(ATK_STATE_DEFAULT);
      if (role == ATK_ROLE_TEXT || role == ATK_ROLE_PASSWORD_TEXT) {
        if (!(s & ES_READONLY)) add(ATK_STATE_EDITABLE);
        add((s & ES_MULTILINE) ? ATK_STATE_MULTI_LINE : ATK_STATE_SINGLE_LINE);
      }
      if (role == ATK_ROLE_TABLE || role == ATK_ROLE_LIST) {
        bool multi = Is(h, WC_LISTVIEWA) ? !(s & LVS_SINGLESEL) : (s & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
        if (multi) add(ATK_STATE_MULTISELECTABLE);
        add(ATK_STATE_MANAGES_DESCENDANTS);
      }
      if (role == ATK_ROLE_PROGRESS_BAR && (s & PBS_VERTICAL)) add(ATK_STATE_VERTICAL);
      break;
    }
    case kCell:
      add(ATK_STATE_SELECTABLE);
      add(ATK_STATE_TRANSIENT);
      if (RowSelected(h, o->row)) add(ATK_STATE_SELECTED);
      break;
    case kTab:
      add(ATK_STATE_SELECTABLE);
      if (Ask(h, TCM_GETCURSEL) == o->row) add(ATK_STATE_SELECTED);
      break;
    case kItem:
      add(ATK_STATE_SELECTABLE);
      if (Ask(h, LB_GETSEL, static_cast<WPARAM>(o->row)) > 0) add(ATK_STATE_SELECTED);
      break;
    case kTreeItem: {
      TreeInfo t = TreeItemInfo(h, o->tree);
      add(ATK_STATE_SELECTABLE);
      if (t.state & TVIS_SELECTED) add(ATK_STATE_SELECTED);
      if (t.children) add(ATK_STATE_EXPANDABLE);
      if (t.state & TVIS_EXPANDED) add(ATK_STATE_EXPANDED);
      break;
    }
    default:
      break;
  }
  return set;
}

guint64 StateBits(AtkObject* a) {
  AtkStateSet* set = RefStateSet(a);
  guint64 bits = 0;
  for (int t = 0; t < 64 && t < ATK_STATE_LAST_DEFINED; ++t)
    if (atk_state_set_contains_state(set, static_cast<AtkStateType>(t))) bits |= guint64{1} << t;
  g_object_unref(set);
  return bits;
}

// ---------------------------------------------------------------- AtkComponent

RECT ExtentsOf(KxAcc* o) {
  RECT r{0, 0, 0, 0};
  if (o->kind == kRoot) return r;
  GetWindowRect(o->hwnd, &r);
  HWND h = o->hwnd;
  if (o->kind == kCell || o->kind == kHeading) {
    RECT cell = Read<RECT>(h, [h, row = o->row, col = o->col, heading = o->kind == kHeading] {
      RECT c{0, 0, 0, 0};
      if (heading) {
        HWND hd = reinterpret_cast<HWND>(SendMessage(h, LVM_GETHEADER, 0, 0));
        if (hd) {
          SendMessage(hd, HDM_GETITEMRECT, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&c));
          MapWindowPoints(hd, nullptr, reinterpret_cast<POINT*>(&c), 2);
        }
        return c;
      }
      c.top = col;
      c.left = LVIR_BOUNDS;
      if (col == 0) SendMessage(h, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&c));
      else SendMessage(h, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&c));
      MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&c), 2);
      return c;
    }, RECT{0, 0, 0, 0});
    return cell;
  }
  if (o->kind == kTab) {
    RECT c = Read<RECT>(h, [h, i = o->row] {
      RECT t{0, 0, 0, 0};
      SendMessage(h, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&t));
      MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&t), 2);
      return t;
    }, RECT{0, 0, 0, 0});
    return c;
  }
  return r;
}

void GetExtents(AtkComponent* c, gint* x, gint* y, gint* w, gint* h, AtkCoordType type) {
  RECT r = ExtentsOf(K(c));
  *x = r.left;
  *y = r.top;
  *w = r.right - r.left;
  *h = r.bottom - r.top;
  if (type == ATK_XY_WINDOW && K(c)->kind != kRoot) {
    HWND top = GetAncestor(K(c)->hwnd, GA_ROOT);
    RECT t{0, 0, 0, 0};
    if (top) GetWindowRect(top, &t);
    *x -= t.left;
    *y -= t.top;
  }
}

gboolean GrabFocus(AtkComponent* c) {
  KxAcc* o = K(c);
  if (o->kind != kWindow || !IsWindow(o->hwnd)) return FALSE;
  HWND h = o->hwnd;
  Act(h, [h] {
    HWND top = GetAncestor(h, GA_ROOT);
    if (top) SetActiveWindow(top);
    SetFocus(h);
  });
  return TRUE;
}

AtkLayer GetLayer(AtkComponent* c) { return K(c)->kind == kWindow && IsTop(K(c)->hwnd) ? ATK_LAYER_WINDOW : ATK_LAYER_WIDGET; }

void ComponentInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkComponentIface*>(g);
  i->get_extents = GetExtents;
  i->grab_focus = GrabFocus;
  i->get_layer = GetLayer;
}

// ---------------------------------------------------------------- AtkAction

const char* ActionName(KxAcc* o) {
  if (o->kind != kWindow) return "select";
  switch (ATK_OBJECT(o)->role) {
    case ATK_ROLE_CHECK_BOX:
      return "toggle";
    case ATK_ROLE_RADIO_BUTTON:
      return "select";
    default:
      return "press";
  }
}

gboolean DoAction(AtkAction* a, gint i) {
  KxAcc* o = K(a);
  if (i != 0 || o->gone || !IsWindow(o->hwnd)) return FALSE;
  HWND h = o->hwnd;
  if (!EnabledChain(h)) return FALSE;
  switch (o->kind) {
    case kWindow:
      Act(h, [h] { SendMessage(h, BM_CLICK, 0, 0); });
      return TRUE;
    case kCell:
      SelectRow(h, o->row, true);
      return TRUE;
    case kTab:
      // As a click on the tab: the owner may refuse to leave its page.
      Act(h, [h, t = o->row] { SendMessage(h, TCM_SETCURFOCUS, static_cast<WPARAM>(t), 0); });
      return TRUE;
    case kItem:
      Act(h, [h, t = o->row] {
        if (GetWindowLongPtr(h, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) SendMessage(h, LB_SETSEL, TRUE, t);
        else SendMessage(h, LB_SETCURSEL, static_cast<WPARAM>(t), 0);
        HWND parent = GetParent(h);
        if (parent)
          SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), LBN_SELCHANGE), reinterpret_cast<LPARAM>(h));
      });
      return TRUE;
    case kTreeItem:
      Act(h, [h, t = o->tree] { SendMessage(h, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(t)); });
      return TRUE;
    default:
      return FALSE;
  }
}
gint GetNActions(AtkAction*) { return 1; }
const gchar* GetActionName(AtkAction* a, gint i) { return i == 0 ? ActionName(K(a)) : nullptr; }
const gchar* GetKeybinding(AtkAction* a, gint i) {
  KxAcc* o = K(a);
  if (i != 0 || o->kind != kWindow) return nullptr;
  // The mnemonic of its label: "Alt+n" for "&Next >".
  std::string t = KeptText(o->hwnd);
  for (size_t k = 0; k + 1 < t.size(); ++k) {
    if (t[k] != '&') continue;
    if (t[k + 1] == '&') {
      ++k;
      continue;
    }
    static thread_local std::string key;
    key = std::string("<Alt>") + static_cast<char>(g_ascii_tolower(t[k + 1]));
    return key.c_str();
  }
  return nullptr;
}

void ActionInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkActionIface*>(g);
  i->do_action = DoAction;
  i->get_n_actions = GetNActions;
  i->get_name = GetActionName;
  i->get_keybinding = GetKeybinding;
}

// ---------------------------------------------------------------- AtkText, AtkEditableText

std::string TextOf(KxAcc* o) {
  if (o->kind != kWindow) return {};
  AtkRole role = ATK_OBJECT(o)->role;
  std::string t = KeptText(o->hwnd);
  if (role == ATK_ROLE_LABEL || role == ATK_ROLE_STATUSBAR) t = NoMnemonic(t);
  if (!g_utf8_validate(t.c_str(), static_cast<gssize>(t.size()), nullptr)) {
    gchar* fixed = g_utf8_make_valid(t.c_str(), static_cast<gssize>(t.size()));
    t = fixed;
    g_free(fixed);
  }
  return t;
}

gchar* Slice(const std::string& t, gint start, gint end) {
  glong n = g_utf8_strlen(t.c_str(), -1);
  if (end < 0 || end > n) end = static_cast<gint>(n);
  start = std::clamp<gint>(start, 0, end);
  const char* a = g_utf8_offset_to_pointer(t.c_str(), start);
  const char* b = g_utf8_offset_to_pointer(t.c_str(), end);
  return g_strndup(a, static_cast<gsize>(b - a));
}

gchar* GetText(AtkText* x, gint start, gint end) { return Slice(TextOf(K(x)), start, end); }
gint GetCharacterCount(AtkText* x) { return static_cast<gint>(g_utf8_strlen(TextOf(K(x)).c_str(), -1)); }
gunichar GetCharacterAt(AtkText* x, gint offset) {
  std::string t = TextOf(K(x));
  if (offset < 0 || offset >= g_utf8_strlen(t.c_str(), -1)) return 0;
  return g_utf8_get_char(g_utf8_offset_to_pointer(t.c_str(), offset));
}

std::pair<gint, gint> Selection(KxAcc* o) {
  if (ATK_OBJECT(o)->role != ATK_ROLE_TEXT && ATK_OBJECT(o)->role != ATK_ROLE_PASSWORD_TEXT) return {0, 0};
  std::pair<DWORD, DWORD> bytes = Read<std::pair<DWORD, DWORD>>(o->hwnd, [h = o->hwnd] {
    DWORD a = 0, b = 0;
    SendMessage(h, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return std::make_pair(a, b);
  }, std::make_pair(DWORD{0}, DWORD{0}));
  std::string t = TextOf(o);
  auto chars = [&](DWORD b) {
    return static_cast<gint>(g_utf8_pointer_to_offset(t.c_str(), t.c_str() + std::min<size_t>(b, t.size())));
  };
  return {chars(bytes.first), chars(bytes.second)};
}
DWORD ByteOffset(const std::string& t, gint chars) {
  glong n = g_utf8_strlen(t.c_str(), -1);
  chars = static_cast<gint>(std::clamp<glong>(chars, 0, n));
  return static_cast<DWORD>(g_utf8_offset_to_pointer(t.c_str(), chars) - t.c_str());
}

gint GetCaretOffset(AtkText* x) { return Selection(K(x)).second; }
gboolean SetSelectionBytes(KxAcc* o, gint start, gint end) {
  if (ATK_OBJECT(o)->role != ATK_ROLE_TEXT && ATK_OBJECT(o)->role != ATK_ROLE_PASSWORD_TEXT) return FALSE;
  std::string t = TextOf(o);
  DWORD a = ByteOffset(t, start), b = ByteOffset(t, end < 0 ? static_cast<gint>(t.size()) : end);
  Act(o->hwnd, [h = o->hwnd, a, b] { SendMessage(h, EM_SETSEL, a, b); });
  return TRUE;
}
gboolean SetCaretOffset(AtkText* x, gint offset) { return SetSelectionBytes(K(x), offset, offset); }
gint GetNSelections(AtkText* x) {
  auto s = Selection(K(x));
  return s.first != s.second ? 1 : 0;
}
gchar* GetSelection(AtkText* x, gint n, gint* start, gint* end) {
  auto s = Selection(K(x));
  *start = s.first;
  *end = s.second;
  if (n != 0 || s.first == s.second) return nullptr;
  return Slice(TextOf(K(x)), s.first, s.second);
}
gboolean SetSelection(AtkText* x, gint n, gint start, gint end) { return n == 0 && SetSelectionBytes(K(x), start, end); }
gboolean AddSelection(AtkText* x, gint start, gint end) { return SetSelectionBytes(K(x), start, end); }
gboolean RemoveSelection(AtkText* x, gint n) {
  gint caret = GetCaretOffset(x);
  return n == 0 && SetSelectionBytes(K(x), caret, caret);
}

// Characters, words and lines around an offset (a line ends at a line break).
gchar* TextAround(AtkText* x, gint offset, AtkTextGranularity g, gint* start, gint* end) {
  std::string t = TextOf(K(x));
  std::vector<gunichar> cs;
  for (const char* p = t.c_str(); *p; p = g_utf8_next_char(p)) cs.push_back(g_utf8_get_char(p));
  gint n = static_cast<gint>(cs.size());
  offset = std::clamp(offset, 0, n);
  gint a = offset, b = offset;
  switch (g) {
    case ATK_TEXT_GRANULARITY_CHAR:
      b = std::min(offset + 1, n);
      break;
    case ATK_TEXT_GRANULARITY_WORD:
      while (a > 0 && !g_unichar_isspace(cs[static_cast<size_t>(a - 1)])) --a;
      while (b < n && !g_unichar_isspace(cs[static_cast<size_t>(b)])) ++b;
      break;
    case ATK_TEXT_GRANULARITY_LINE:
    case ATK_TEXT_GRANULARITY_PARAGRAPH:
      while (a > 0 && cs[static_cast<size_t>(a - 1)] != '\n') --a;
      while (b < n && cs[static_cast<size_t>(b)] != '\n') ++b;
      if (b < n) ++b;
      break;
    default:
      a = 0;
      b = n;
      break;
  }
  *start = a;
  *end = b;
  return Slice(t, a, b);
}
gchar* GetTextAtOffset(AtkText* x, gint offset, AtkTextBoundary boundary, gint* start, gint* end) {
  AtkTextGranularity g = boundary == ATK_TEXT_BOUNDARY_CHAR ? ATK_TEXT_GRANULARITY_CHAR
                         : (boundary == ATK_TEXT_BOUNDARY_WORD_START || boundary == ATK_TEXT_BOUNDARY_WORD_END)
                             ? ATK_TEXT_GRANULARITY_WORD
                             : ATK_TEXT_GRANULARITY_LINE;
  return TextAround(x, offset, g, start, end);
}
gchar* GetStringAtOffset(AtkText* x, gint offset, AtkTextGranularity g, gint* start, gint* end) {
  return TextAround(x, offset, g, start, end);
}

void TextInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkTextIface*>(g);
  i->get_text = GetText;
  i->get_character_count = GetCharacterCount;
  i->get_character_at_offset = GetCharacterAt;
  i->get_caret_offset = GetCaretOffset;
  i->set_caret_offset = SetCaretOffset;
  i->get_n_selections = GetNSelections;
  i->get_selection = GetSelection;
  i->set_selection = SetSelection;
  i->add_selection = AddSelection;
  i->remove_selection = RemoveSelection;
  i->get_text_at_offset = GetTextAtOffset;
  i->get_string_at_offset = GetStringAtOffset;
}

bool Writable(KxAcc* o) {
  return o->kind == kWindow && IsWindow(o->hwnd) && !(StyleOf(o->hwnd) & ES_READONLY) && EnabledChain(o->hwnd);
}
// Edits go through the edit's own replace, as typing does: its owner hears EN_CHANGE.
void ReplaceChars(KxAcc* o, gint start, gint end, const std::string& with) {
  std::string t = TextOf(o);
  DWORD a = ByteOffset(t, start), b = end < 0 ? static_cast<DWORD>(t.size()) : ByteOffset(t, end);
  Act(o->hwnd, [h = o->hwnd, a, b, with] {
    SendMessage(h, EM_SETSEL, a, b);
    SendMessage(h, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(with.c_str()));
  });
}
void SetTextContents(AtkEditableText* x, const gchar* s) {
  if (Writable(K(x))) ReplaceChars(K(x), 0, -1, s ? s : "");
}
void InsertText(AtkEditableText* x, const gchar* s, gint length, gint* position) {
  if (!Writable(K(x)) || !s || !position) return;
  std::string add = length < 0 ? std::string(s) : std::string(s, static_cast<size_t>(length));
  ReplaceChars(K(x), *position, *position, add);
  *position += static_cast<gint>(g_utf8_strlen(add.c_str(), -1));
}
void DeleteText(AtkEditableText* x, gint start, gint end) {
  if (Writable(K(x))) ReplaceChars(K(x), start, end, "");
}

void EditableInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkEditableTextIface*>(g);
  i->set_text_contents = SetTextContents;
  i->insert_text = InsertText;
  i->delete_text = DeleteText;
}

// ---------------------------------------------------------------- AtkValue

struct Range {
  int low = 0, high = 0, pos = 0;
};
Range RangeOf(KxAcc* o) {
  HWND h = o->hwnd;
  bool progress = ATK_OBJECT(o)->role == ATK_ROLE_PROGRESS_BAR;
  return Read<Range>(h, [h, progress] {
    Range r;
    if (progress) {
      r.low = static_cast<int>(SendMessage(h, PBM_GETRANGE, TRUE, 0));
      r.high = static_cast<int>(SendMessage(h, PBM_GETRANGE, FALSE, 0));
      r.pos = static_cast<int>(SendMessage(h, PBM_GETPOS, 0, 0));
    } else {
      SendMessage(h, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&r.low), reinterpret_cast<LPARAM>(&r.high));
      r.pos = static_cast<int>(SendMessage(h, UDM_GETPOS32, 0, 0));
    }
    return r;
  }, Range{});
}
void SetInt(GValue* v, int n) {
  memset(v, 0, sizeof *v);
  g_value_init(v, G_TYPE_DOUBLE);
  g_value_set_double(v, n);
}
void GetCurrentValue(AtkValue* v, GValue* out) { SetInt(out, RangeOf(K(v)).pos); }
void GetMinimumValue(AtkValue* v, GValue* out) {
  Range r = RangeOf(K(v));
  SetInt(out, std::min(r.low, r.high));
}
void GetMaximumValue(AtkValue* v, GValue* out) {
  Range r = RangeOf(K(v));
  SetInt(out, std::max(r.low, r.high));
}
void GetMinimumIncrement(AtkValue*, GValue* out) { SetInt(out, 1); }
gboolean SetCurrentValue(AtkValue* v, const GValue* value) {
  KxAcc* o = K(v);
  if (ATK_OBJECT(o)->role != ATK_ROLE_SPIN_BUTTON || !EnabledChain(o->hwnd)) return FALSE;
  int n = static_cast<int>(G_VALUE_HOLDS_DOUBLE(value) ? g_value_get_double(value)
                           : G_VALUE_HOLDS_INT(value) ? g_value_get_int(value) : 0);
  Act(o->hwnd, [h = o->hwnd, n] { SendMessage(h, UDM_SETPOS32, 0, n); });
  return TRUE;
}
void GetValueAndText(AtkValue* v, gdouble* value, gchar** text) {
  Range r = RangeOf(K(v));
  if (value) *value = r.pos;
  if (text) *text = nullptr;
}
AtkRange* GetRange(AtkValue* v) {
  Range r = RangeOf(K(v));
  return atk_range_new(std::min(r.low, r.high), std::max(r.low, r.high), nullptr);
}
gdouble GetIncrement(AtkValue*) { return 1; }
void SetValue(AtkValue* v, gdouble n) {
  GValue g = G_VALUE_INIT;
  g_value_init(&g, G_TYPE_DOUBLE);
  g_value_set_double(&g, n);
  SetCurrentValue(v, &g);
}

void ValueInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkValueIface*>(g);
  i->get_current_value = GetCurrentValue;
  i->get_maximum_value = GetMaximumValue;
  i->get_minimum_value = GetMinimumValue;
  i->set_current_value = SetCurrentValue;
  i->get_minimum_increment = GetMinimumIncrement;
  i->get_value_and_text = GetValueAndText;
  i->get_range = GetRange;
  i->get_increment = GetIncrement;
  i->set_value = SetValue;
}

// ---------------------------------------------------------------- AtkTable (list views), AtkSelection

AtkObject* RefAt(AtkTable* t, gint row, gint col) {
  Table tb = TableOf(K(t)->hwnd);
  if (row < 0 || col < 0 || row >= tb.rows || col >= tb.cols) return nullptr;
  return ATK_OBJECT(g_object_ref(Obj(kCell, K(t)->hwnd, row, col)));
}
gint IndexAt(AtkTable* t, gint row, gint col) { return row * TableOf(K(t)->hwnd).cols + col; }
gint ColumnAtIndex(AtkTable* t, gint i) { return i % TableOf(K(t)->hwnd).cols; }
gint RowAtIndex(AtkTable* t, gint i) { return i / TableOf(K(t)->hwnd).cols; }
gint NColumns(AtkTable* t) { return TableOf(K(t)->hwnd).cols; }
gint NRows(AtkTable* t) { return TableOf(K(t)->hwnd).rows; }
AtkObject* ColumnHeader(AtkTable* t, gint col) {
  Table tb = TableOf(K(t)->hwnd);
  if (!tb.report || col < 0 || col >= tb.cols) return nullptr;
  return Obj(kHeading, K(t)->hwnd, 0, col);
}
const gchar* ColumnDescription(AtkTable* t, gint col) {
  AtkObject* h = ColumnHeader(t, col);
  return h ? GetName(h) : nullptr;
}
gboolean IsRowSelected(AtkTable* t, gint row) { return RowSelected(K(t)->hwnd, row); }
gboolean IsCellSelected(AtkTable* t, gint row, gint) { return RowSelected(K(t)->hwnd, row); }
std::vector<int> SelectedRows(HWND h) {
  return Read<std::vector<int>>(h, [h] {
    std::vector<int> out;
    for (int i = static_cast<int>(SendMessage(h, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)); i >= 0;
         i = static_cast<int>(SendMessage(h, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)))
      out.push_back(i);
    return out;
  }, std::vector<int>());
}
gint GetSelectedRows(AtkTable* t, gint** out) {
  std::vector<int> rows = SelectedRows(K(t)->hwnd);
  if (out) {
    *out = g_new(gint, rows.size() + 1);
    std::copy(rows.begin(), rows.end(), *out);
  }
  return static_cast<gint>(rows.size());
}
gboolean AddRowSelection(AtkTable* t, gint row) {
  SelectRow(K(t)->hwnd, row, false);
  return TRUE;
}

void TableInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkTableIface*>(g);
  i->ref_at = RefAt;
  i->get_index_at = IndexAt;
  i->get_column_at_index = ColumnAtIndex;
  i->get_row_at_index = RowAtIndex;
  i->get_n_columns = NColumns;
  i->get_n_rows = NRows;
  i->get_column_header = ColumnHeader;
  i->get_column_description = ColumnDescription;
  i->is_row_selected = IsRowSelected;
  i->is_selected = IsCellSelected;
  i->get_selected_rows = GetSelectedRows;
  i->add_row_selection = AddRowSelection;
}

// The selected children, as indexes among the object's children.
std::vector<int> SelectedChildren(KxAcc* o) {
  HWND h = o->hwnd;
  std::vector<int> out;
  if (Is(h, WC_LISTVIEWA)) {
    int cols = TableOf(h).cols;
    for (int r : SelectedRows(h))
      for (int c = 0; c < cols; ++c) out.push_back(r * cols + c);
  } else if (Is(h, WC_TABCONTROLA)) {
    int cur = static_cast<int>(Ask(h, TCM_GETCURSEL, 0, 0));
    if (cur >= 0) out.push_back(cur);
  } else {
    int n = static_cast<int>(Ask(h, LB_GETCOUNT));
    for (int i = 0; i < n; ++i)
      if (Ask(h, LB_GETSEL, static_cast<WPARAM>(i)) > 0) out.push_back(i);
  }
  return out;
}
gboolean SelAdd(AtkSelection* s, gint i) {
  AtkObject* c = RefChild(ATK_OBJECT(s), i);
  if (!c) return FALSE;
  gboolean ok = atk_action_do_action(ATK_ACTION(c), 0);
  g_object_unref(c);
  return ok;
}
AtkObject* SelRef(AtkSelection* s, gint i) {
  std::vector<int> sel = SelectedChildren(K(s));
  if (i < 0 || static_cast<size_t>(i) >= sel.size()) return nullptr;
  return RefChild(ATK_OBJECT(s), sel[static_cast<size_t>(i)]);
}
gint SelCount(AtkSelection* s) { return static_cast<gint>(SelectedChildren(K(s)).size()); }
gboolean SelIs(AtkSelection* s, gint i) {
  std::vector<int> sel = SelectedChildren(K(s));
  return std::find(sel.begin(), sel.end(), i) != sel.end();
}

void SelectionInit(gpointer g, gpointer) {
  auto* i = static_cast<AtkSelectionIface*>(g);
  i->add_selection = SelAdd;
  i->ref_selection = SelRef;
  i->get_selection_count = SelCount;
  i->is_child_selected = SelIs;
}

void WindowIfaceInit(gpointer, gpointer) {}

// ---------------------------------------------------------------- types

gpointer g_parentClass = nullptr;

void Finalize(GObject* obj) { G_OBJECT_CLASS(g_parentClass)->finalize(obj); }

void ClassInit(gpointer klass, gpointer) {
  g_parentClass = g_type_class_peek_parent(klass);
  auto* a = static_cast<AtkObjectClass*>(klass);
  a->get_name = GetName;
  a->get_description = GetDescription;
  a->get_parent = AccParent;
  a->get_n_children = GetNChildren;
  a->ref_child = RefChild;
  a->get_index_in_parent = IndexInParent;
  a->ref_state_set = RefStateSet;
  G_OBJECT_CLASS(klass)->finalize = Finalize;
}

GType TypeFor(unsigned ifaces) {
  static std::map<unsigned, GType> types;
  auto it = types.find(ifaces);
  if (it != types.end()) return it->second;
  GTypeInfo info{};
  info.class_size = sizeof(KxAccClass);
  info.class_init = ClassInit;
  info.instance_size = sizeof(KxAcc);
  std::string name = "KxAccessible" + std::to_string(ifaces);
  GType t = g_type_register_static(ATK_TYPE_OBJECT, name.c_str(), &info, GTypeFlags(0));
  auto add = [&](unsigned bit, GType iface, GInterfaceInitFunc init) {
    if (!(ifaces & bit)) return;
    GInterfaceInfo ii{init, nullptr, nullptr};
    g_type_add_interface_static(t, iface, &ii);
  };
  add(kComponent, ATK_TYPE_COMPONENT, ComponentInit);
  add(kAction, ATK_TYPE_ACTION, ActionInit);
  add(kText, ATK_TYPE_TEXT, TextInit);
  add(kEditable, ATK_TYPE_EDITABLE_TEXT, EditableInit);
  add(kValue, ATK_TYPE_VALUE, ValueInit);
  add(kTable, ATK_TYPE_TABLE, TableInit);
  add(kSelection, ATK_TYPE_SELECTION, SelectionInit);
  add(kWindowIface, ATK_TYPE_WINDOW, WindowIfaceInit);
  types[ifaces] = t;
  return t;
}

// ---------------------------------------------------------------- changes heard from the window system

void Forget(HWND h) {
  for (auto it = Objects().begin(); it != Objects().end();) {
    if (std::get<1>(it->first) == h) {
      KxAcc* o = it->second;
      o->gone = true;
      atk_object_notify_state_change(ATK_OBJECT(o), ATK_STATE_DEFUNCT, TRUE);
      g_object_unref(o);
      it = Objects().erase(it);
    } else {
      ++it;
    }
  }
}

AtkObject* ParentObj(HWND h) {
  if (IsTop(h)) return g_root;
  HWND p = GetParent(h);
  return p ? Existing(p) : nullptr;
}

void Restate(AtkObject* a) {
  KxAcc* o = K(a);
  guint64 now = StateBits(a);
  guint64 changed = now ^ o->states;
  o->states = now;
  for (int t = 0; t < 64; ++t)
    if (changed & (guint64{1} << t))
      atk_object_notify_state_change(a, static_cast<AtkStateType>(t), (now >> t) & 1 ? TRUE : FALSE);
}

void Heard(HWND h, Access what) {
  switch (what) {
    case Access::Created:
      return;
    case Access::Shown:
    case Access::Hidden: {
      if (!IsWindow(h)) return;
      bool shown = what == Access::Shown;
      AtkObject* parent = ParentObj(h);
      AtkObject* obj = Win(h);
      if (!obj) return;
      K(obj)->states = StateBits(obj);
      atk_object_notify_state_change(obj, ATK_STATE_SHOWING, shown);
      atk_object_notify_state_change(obj, ATK_STATE_VISIBLE, shown);
      if (parent) {
        gint index = shown ? IndexInParent(obj) : -1;
        g_signal_emit_by_name(parent, shown ? "children-changed::add" : "children-changed::remove", index, obj);
      }
      if (IsTop(h) && ATK_IS_WINDOW(obj)) g_signal_emit_by_name(obj, shown ? "create" : "destroy");
      return;
    }
    case Access::Destroyed: {
      AtkObject* obj = Existing(h);
      if (obj) {
        if (AtkObject* parent = ParentObj(h))
          g_signal_emit_by_name(parent, "children-changed::remove", -1, obj);
      }
      if (g_focus == h) g_focus = nullptr;
      if (g_active == h) g_active = nullptr;
      Forget(h);
      return;
    }
    case Access::Focus: {
      if (!IsWindow(h)) return;
      HWND old = g_focus;
      g_focus = h;
      if (old && old != h)
        if (AtkObject* o = Existing(old)) atk_object_notify_state_change(o, ATK_STATE_FOCUSED, FALSE);
      HWND top = GetAncestor(h, GA_ROOT);
      if (top && top != g_active) {
        HWND was = g_active;
        g_active = top;
        if (was)
          if (AtkObject* w = Existing(was)) {
            atk_object_notify_state_change(w, ATK_STATE_ACTIVE, FALSE);
            if (ATK_IS_WINDOW(w)) g_signal_emit_by_name(w, "deactivate");
          }
        if (AtkObject* w = Win(top)) {
          atk_object_notify_state_change(w, ATK_STATE_ACTIVE, TRUE);
          if (ATK_IS_WINDOW(w)) g_signal_emit_by_name(w, "activate");
        }
      }
      if (AtkObject* o = Win(h)) {
        atk_object_notify_state_change(o, ATK_STATE_FOCUSED, TRUE);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        atk_focus_tracker_notify(o);
        G_GNUC_END_IGNORE_DEPRECATIONS
      }
      return;
    }
    case Access::State:
      if (AtkObject* o = Existing(h)) Restate(o);
      return;
    case Access::Name:
      if (AtkObject* o = Existing(h)) {
        g_object_notify(G_OBJECT(o), "accessible-name");
        if (ATK_IS_TEXT(o)) {
          glong old = K(o)->textLength;
          glong now = g_utf8_strlen(TextOf(K(o)).c_str(), -1);
          K(o)->textLength = now;
          if (old) g_signal_emit_by_name(o, "text-changed::delete", 0, static_cast<gint>(old));
          if (now) g_signal_emit_by_name(o, "text-changed::insert", 0, static_cast<gint>(now));
        }
      }
      return;
    case Access::Text:
      if (AtkObject* o = Existing(h)) {
        glong old = K(o)->textLength;
        glong now = g_utf8_strlen(TextOf(K(o)).c_str(), -1);
        K(o)->textLength = now;
        if (old) g_signal_emit_by_name(o, "text-changed::delete", 0, static_cast<gint>(old));
        if (now) g_signal_emit_by_name(o, "text-changed::insert", 0, static_cast<gint>(now));
      }
      return;
    case Access::Value:
      if (AtkObject* o = Existing(h)) g_object_notify(G_OBJECT(o), "accessible-value");
      return;
    case Access::Selection:
      if (AtkObject* o = Existing(h)) {
        if (ATK_IS_SELECTION(o)) g_signal_emit_by_name(o, "selection-changed");
        for (auto& [key, acc] : Objects())
          if (std::get<1>(key) == h && acc->kind != kWindow) Restate(ATK_OBJECT(acc));
      }
      return;
    case Access::Page:
      if (AtkObject* o = Existing(h)) g_signal_emit_by_name(o, "visible-data-changed");
      return;
  }
}

// ---------------------------------------------------------------- the bus thread

std::mutex g_queueLock;
std::deque<std::pair<HWND, Access>> g_queue;
GMainContext* g_context = nullptr;
GMainLoop* g_loop = nullptr;
std::thread* g_thread = nullptr;
enum Stage { kUntried, kStarting, kOff, kStopped, kRunning };
std::atomic<int> g_stage{kUntried};

gboolean Drain(gpointer) {
  for (;;) {
    std::pair<HWND, Access> e;
    {
      std::lock_guard<std::mutex> g(g_queueLock);
      if (g_queue.empty()) break;
      e = g_queue.front();
      g_queue.pop_front();
    }
    Heard(e.first, e.second);
  }
  return G_SOURCE_REMOVE;
}

const gchar* ToolkitName() { return "Brinmoor"; }
const gchar* ToolkitVersion() { return "1.0"; }
AtkObject* Root() { return g_root; }

void Run(std::promise<bool>* started) {
  auto* util = static_cast<AtkUtilClass*>(g_type_class_ref(ATK_TYPE_UTIL));
  util->get_root = Root;
  util->get_toolkit_name = ToolkitName;
  util->get_toolkit_version = ToolkitVersion;
  g_root = ATK_OBJECT(g_object_new(TypeFor(kComponent), nullptr));
  K(g_root)->kind = kRoot;
  g_root->role = ATK_ROLE_APPLICATION;
  if (!g_get_prgname()) g_set_prgname(program_invocation_short_name);
  bool ok = atk_bridge_adaptor_init(nullptr, nullptr) == 0;
  started->set_value(ok);
  if (!ok) return;
  g_main_loop_run(g_loop);
  atk_bridge_adaptor_cleanup();
}

void Stop() {
  if (g_stage.exchange(kStopped) != kRunning || !g_thread) return;
  g_main_context_invoke(g_context, [](gpointer) {
    g_main_loop_quit(g_loop);
    return G_SOURCE_REMOVE;
  }, nullptr);
  g_thread->join();
}

bool BusExpected() {
  const char* off = getenv("NO_AT_BRIDGE");
  if (off && strcmp(off, "1") == 0) return false;
  const char* a11y = getenv("AT_SPI_BUS_ADDRESS");
  const char* session = getenv("DBUS_SESSION_BUS_ADDRESS");
  return (a11y && *a11y) || (session && *session);
}

void Start() {
  if (!BusExpected() || !kx::ui::CurrentDisplay().Live()) {
    g_stage = kOff;
    return;
  }
  // The bridge attaches its D-Bus connection to GLib's default context, which this thread alone iterates.
  g_context = g_main_context_default();
  g_loop = g_main_loop_new(g_context, FALSE);
  std::promise<bool> started;
  std::future<bool> ok = started.get_future();
  g_thread = new std::thread(Run, &started);
  if (!ok.get()) {
    // No accessibility bus after all: the library goes on as without one.
    g_thread->join();
    g_stage = kOff;
    return;
  }
  g_stage = kRunning;
  atexit(Stop);
}

void Listen(HWND h, Access what) {
  int stage = g_stage.load(std::memory_order_acquire);
  if (stage == kUntried) {
    // The first top-level window shown starts the bridge, once; what happens meanwhile nobody has asked about yet.
    if (what != Access::Shown || !IsTop(h)) return;
    int expected = kUntried;
    if (!g_stage.compare_exchange_strong(expected, kStarting)) return;
    Start();
    stage = g_stage.load();
  }
  if (stage != kRunning) return;
  bool wake;
  {
    std::lock_guard<std::mutex> g(g_queueLock);
    wake = g_queue.empty();
    g_queue.emplace_back(h, what);
  }
  if (wake) g_main_context_invoke(g_context, Drain, nullptr);
}

const bool g_registered = kx::ui::RegisterAccessListener(&Listen);

}  // namespace

}  // namespace kx::a11y
