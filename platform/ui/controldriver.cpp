// The UI driver's actions on the common controls and menus: positions come from the controls' own messages,
// input goes through the driver's mouse and keyboard.
#include "platform/ui/controldriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/ui/commdlg.h"
#include "platform/ui/ctlcommon.h"
#include "platform/ui/internal.h"
#include "platform/ui/menu.h"
#include "platform/ui/shlobj.h"

namespace kx {

namespace {

std::string Hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

// A click with Ctrl and/or Shift held down, as real keyboard and mouse input.
void ModifiedClick(UiDriver& d, HWND hwnd, int x, int y, bool ctrl, bool shift) {
  if (!IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) d.Fail("cannot click " + Hex(hwnd) + ": not usable");
  POINT pt{x, y};
  ClientToScreen(hwnd, &pt);
  WPARAM mods = (ctrl ? MK_CONTROL : 0) | (shift ? MK_SHIFT : 0);
  auto keys = [&](UINT msg) {
    std::vector<MSG> k;
    LPARAM lp = msg == WM_KEYDOWN ? 1 : static_cast<LPARAM>(0xC0000001u);
    if (ctrl) k.push_back(MSG{nullptr, msg, VK_CONTROL, lp, 0, POINT{0, 0}});
    if (shift) k.push_back(MSG{nullptr, msg, VK_SHIFT, lp, 0, POINT{0, 0}});
    if (!kx::ui::InjectKeys(hwnd, k)) d.Fail("the thread of " + Hex(hwnd) + " has ended");
  };
  keys(WM_KEYDOWN);
  if (!kx::ui::InjectMouse(pt, {{WM_MOUSEMOVE, mods}, {WM_LBUTTONDOWN, MK_LBUTTON | mods}, {WM_LBUTTONUP, mods}}))
    d.Fail("the click on " + Hex(hwnd) + " went nowhere");
  keys(WM_KEYUP);
  d.Sync(hwnd);
}

}  // namespace

// ----- list view -----
int ControlDriver::ListRowCount(HWND list) { return static_cast<int>(d_.Send(list, LVM_GETITEMCOUNT)); }

std::string ControlDriver::ListText(HWND list, int row, int column) {
  char buf[1024] = {0};
  LVITEMA it{};
  it.iSubItem = column;
  it.pszText = buf;
  it.cchTextMax = sizeof buf;
  d_.Send(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&it));
  return buf;
}

int ControlDriver::ListFind(HWND list, const std::string& text, int column) {
  int n = ListRowCount(list);
  for (int i = 0; i < n; ++i)
    if (ListText(list, i, column) == text) return i;
  return -1;
}

std::vector<int> ControlDriver::ListSelection(HWND list) {
  std::vector<int> out;
  int i = -1;
  while ((i = static_cast<int>(d_.Send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0)
    out.push_back(i);
  return out;
}

void ControlDriver::ListClickRow(HWND list, int row, bool ctrl, bool shift) {
  if (row < 0 || row >= ListRowCount(list)) d_.Fail("list " + Hex(list) + " has no row " + std::to_string(row));
  d_.Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  RECT r{LVIR_LABEL, 0, 0, 0};
  if (!d_.Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)))
    d_.Fail("row " + std::to_string(row) + " of list " + Hex(list) + " has no rectangle");
  int x = std::min(r.left + 4, r.right - 1), y = (r.top + r.bottom) / 2;
  if (!ctrl && !shift) d_.ClickAt(list, x, y);
  else ModifiedClick(d_, list, x, y, ctrl, shift);
}

void ControlDriver::ListDoubleClickRow(HWND list, int row) {
  if (row < 0 || row >= ListRowCount(list)) d_.Fail("list " + Hex(list) + " has no row " + std::to_string(row));
  d_.Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  RECT r{LVIR_LABEL, 0, 0, 0};
  d_.Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
  d_.DoubleClickAt(list, std::min(r.left + 4, r.right - 1), (r.top + r.bottom) / 2);
}

int ControlDriver::WaitForListRow(HWND list, const std::string& text, int column) {
  int row = -1;
  d_.WaitUntil([&] { return (row = ListFind(list, text, column)) >= 0; },
               "a row \"" + text + "\" in list " + Hex(list));
  return row;
}

void ControlDriver::ListPickRow(HWND list, const std::string& text, int column) {
  ListClickRow(list, WaitForListRow(list, text, column));
}

void ControlDriver::ClickColumnHeader(HWND list, int column) {
  HWND header = reinterpret_cast<HWND>(d_.Send(list, LVM_GETHEADER));
  if (!header || !IsWindowVisible(header)) d_.Fail("list " + Hex(list) + " shows no column headings");
  RECT r{};
  if (!d_.Send(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&r)))
    d_.Fail("list " + Hex(list) + " has no column " + std::to_string(column));
  d_.ClickAt(header, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// ----- tree view -----
std::string ControlDriver::TreeText(HWND tree, HTREEITEM item) {
  char buf[1024] = {0};
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = sizeof buf;
  d_.Send(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  return buf;
}

HTREEITEM ControlDriver::TreeFind(HWND tree, const std::vector<std::string>& path) {
  HTREEITEM parent = nullptr;
  for (const std::string& name : path) {
    HTREEITEM it = parent ? reinterpret_cast<HTREEITEM>(d_.Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)))
                          : reinterpret_cast<HTREEITEM>(d_.Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    while (it && TreeText(tree, it) != name)
      it = reinterpret_cast<HTREEITEM>(d_.Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(it)));
    if (!it) return nullptr;
    parent = it;
  }
  return parent;
}

HTREEITEM ControlDriver::TreeSelection(HWND tree) {
  return reinterpret_cast<HTREEITEM>(d_.Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

namespace {

void ClickTreeItem(UiDriver& d, HWND tree, HTREEITEM item) {
  d.Send(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  RECT r{};
  std::memcpy(&r, &item, sizeof item);
  if (!d.Send(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)))
    d.Fail("tree item " + Hex(item) + " of " + Hex(tree) + " is not shown");
  d.ClickAt(tree, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

}  // namespace

void ControlDriver::TreeExpand(HWND tree, HTREEITEM item) {
  if (TreeSelection(tree) != item) ClickTreeItem(d_, tree, item);
  if (!(d_.Send(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) & TVIS_EXPANDED)) {
    d_.Focus(tree);
    d_.PressKey(VK_RIGHT);
  }
}

void ControlDriver::TreePick(HWND tree, const std::vector<std::string>& path) {
  HTREEITEM parent = nullptr;
  for (size_t k = 0; k < path.size(); ++k) {
    HTREEITEM it = TreeFind(tree, std::vector<std::string>(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(k) + 1));
    if (!it) {
      std::string shown = parent ? TreeText(tree, parent) : std::string("the root");
      d_.Fail("tree " + Hex(tree) + " has no item \"" + path[k] + "\" under " + shown);
    }
    if (k + 1 < path.size()) TreeExpand(tree, it);
    else ClickTreeItem(d_, tree, it);
    parent = it;
  }
}

// ----- combo box and list box -----
std::string ControlDriver::ComboText(HWND combo) { return d_.Text(combo); }

std::vector<std::string> ControlDriver::ComboItems(HWND combo) {
  std::vector<std::string> out;
  int n = static_cast<int>(d_.Send(combo, CB_GETCOUNT));
  for (int i = 0; i < n; ++i) {
    LRESULT len = d_.Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i));
    std::string s(static_cast<size_t>(std::max<LRESULT>(len, 0)) + 1, '\0');
    d_.Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(std::max<LRESULT>(len, 0)));
    out.push_back(s);
  }
  return out;
}

void ControlDriver::ComboPick(HWND combo, const std::string& text) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!d_.Send(combo, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info))) d_.Fail(Hex(combo) + " is no combo box");
  int index = static_cast<int>(d_.Send(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())));
  if (index < 0) d_.Fail("combo box " + Hex(combo) + " has no item \"" + text + "\"");
  if ((GetWindowLongPtr(combo, GWL_STYLE) & 3) == CBS_SIMPLE) {
    ListBoxPick(info.hwndList, text);
    return;
  }
  if (!d_.Send(combo, CB_GETDROPPEDSTATE))
    d_.ClickAt(combo, (info.rcButton.left + info.rcButton.right) / 2, (info.rcButton.top + info.rcButton.bottom) / 2);
  d_.WaitUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; }, "the drop-down list of " + Hex(combo));
  // A person scrolls the list to the item first.
  int top = static_cast<int>(d_.Send(info.hwndList, LB_GETTOPINDEX));
  RECT client;
  GetClientRect(info.hwndList, &client);
  RECT r{};
  d_.Send(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  if (index < top || r.bottom > client.bottom) {
    d_.Send(info.hwndList, LB_SETTOPINDEX, static_cast<WPARAM>(index));
    d_.Send(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  }
  d_.ClickAt(info.hwndList, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  d_.WaitUntil([&] { return !IsWindowVisible(info.hwndList); }, "the drop-down list of " + Hex(combo) + " to close");
}

void ControlDriver::ComboType(HWND combo, const std::string& text) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!d_.Send(combo, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info)) || info.hwndItem == combo)
    d_.Fail("combo box " + Hex(combo) + " has no edit to type into");
  d_.SetText(info.hwndItem, text);
}

void ControlDriver::ListBoxPick(HWND listBox, const std::string& text, bool ctrl) {
  int index = static_cast<int>(d_.Send(listBox, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())));
  if (index < 0) d_.Fail("list box " + Hex(listBox) + " has no item \"" + text + "\"");
  RECT client;
  GetClientRect(listBox, &client);
  RECT r{};
  d_.Send(listBox, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  if (r.top < 0 || r.bottom > client.bottom) {
    d_.Send(listBox, LB_SETTOPINDEX, static_cast<WPARAM>(index));
    d_.Send(listBox, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  }
  if (!ctrl) d_.ClickAt(listBox, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  else ModifiedClick(d_, listBox, (r.left + r.right) / 2, (r.top + r.bottom) / 2, true, false);
}

// ----- other controls -----
void ControlDriver::SetDateTime(HWND picker, const SYSTEMTIME& st) {
  char kinds[32] = {0};
  d_.Send(picker, kx::ctl::kDtpGetFields, sizeof kinds, reinterpret_cast<LPARAM>(kinds));
  d_.Click(picker);
  // Larger units first, so that a day is typed into the right month.
  const std::string order = "yMdHhmst";
  std::string fields = kinds;
  for (char want : order) {
    size_t pos = fields.find(want);
    if (pos == std::string::npos) continue;
    d_.PressKey(VK_HOME);
    for (size_t k = 0; k < pos; ++k) d_.PressKey(VK_RIGHT);
    char buf[16];
    switch (want) {
      case 'y': std::snprintf(buf, sizeof buf, "%04u", st.wYear); break;
      case 'M': std::snprintf(buf, sizeof buf, "%02u", st.wMonth); break;
      case 'd': std::snprintf(buf, sizeof buf, "%02u", st.wDay); break;
      case 'H': std::snprintf(buf, sizeof buf, "%02u", st.wHour); break;
      case 'h': std::snprintf(buf, sizeof buf, "%02u", st.wHour % 12 == 0 ? 12u : st.wHour % 12u); break;
      case 'm': std::snprintf(buf, sizeof buf, "%02u", st.wMinute); break;
      case 's': std::snprintf(buf, sizeof buf, "%02u", st.wSecond); break;
      case 't': std::snprintf(buf, sizeof buf, "%s", st.wHour < 12 ? "a" : "p"); break;
    }
    d_.Type(buf);
  }
}

SYSTEMTIME ControlDriver::GetDateTime(HWND picker) {
  SYSTEMTIME st{};
  d_.Send(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
  return st;
}

int ControlDriver::ProgressPos(HWND progress) { return static_cast<int>(d_.Send(progress, PBM_GETPOS)); }

std::string ControlDriver::StatusText(HWND statusBar, int part) {
  LRESULT len = d_.Send(statusBar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(part));
  std::string s(static_cast<size_t>(LOWORD(len)) + 1, '\0');
  d_.Send(statusBar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(s.data()));
  s.resize(LOWORD(len));
  return s;
}

// ----- popup menus -----
HWND ControlDriver::WaitForMenu(int timeoutMs) {
  WindowQuery q;
  q.className = "#32768";
  d_.WaitForWindow(q, timeoutMs);
  // The innermost open menu is the last one shown: the top of the z-order.
  HWND found = nullptr;
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        char cls[16] = {0};
        GetClassName(h, cls, sizeof cls);
        if (std::string(cls) == "#32768" && IsWindowVisible(h)) {
          *reinterpret_cast<HWND*>(p) = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  if (!found) d_.Fail("no popup menu is shown");
  return found;
}

std::vector<std::string> ControlDriver::MenuItems(HWND menuWindow) {
  HMENU menu = reinterpret_cast<HMENU>(d_.Send(menuWindow, MN_GETHMENU));
  std::vector<std::string> out;
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    char buf[512] = {0};
    GetMenuString(menu, static_cast<UINT>(i), buf, sizeof buf, MF_BYPOSITION);
    out.push_back(kx::ctl::StripMnemonics(buf));
  }
  return out;
}

void ControlDriver::ChooseMenuPath(const std::vector<std::string>& path) {
  for (size_t k = 0; k < path.size(); ++k) {
    HWND wnd = WaitForMenu();
    HMENU menu = reinterpret_cast<HMENU>(d_.Send(wnd, MN_GETHMENU));
    std::vector<std::string> items = MenuItems(wnd);
    auto pos = std::find(items.begin(), items.end(), path[k]);
    if (pos == items.end()) d_.Fail("the shown menu has no item \"" + path[k] + "\"");
    UINT index = static_cast<UINT>(pos - items.begin());
    RECT r{};
    if (!GetMenuItemRect(nullptr, menu, index, &r)) d_.Fail("menu item \"" + path[k] + "\" is not shown");
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(wnd, &p);
    d_.MouseMoveTo(wnd, p.x, p.y);
    if (k + 1 < path.size()) {
      HMENU sub = GetSubMenu(menu, static_cast<int>(index));
      if (!sub) d_.Fail("menu item \"" + path[k] + "\" opens no submenu");
      d_.WaitUntil([&] {
        RECT sr;
        return GetMenuItemRect(nullptr, sub, 0, &sr) != FALSE || GetMenuItemCount(sub) == 0;
      }, "the submenu of \"" + path[k] + "\"");
      continue;
    }
    d_.ClickAt(wnd, p.x, p.y);
  }
}

// ----- common dialogs -----
HWND ControlDriver::WaitCommonDialog(const char* kind, int timeoutMs) {
  HWND found = nullptr;
  auto look = [&] {
    struct Search {
      const char* kind;
      HWND found;
    } search{kind, nullptr};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          bool match = s->kind ? GetProp(h, s->kind) != nullptr
                               : (GetProp(h, KX_FILEDIALOG_PROP) || GetProp(h, KX_COLORDIALOG_PROP) ||
                                  GetProp(h, KX_FOLDERDIALOG_PROP));
          if (match && IsWindowVisible(h)) {
            s->found = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    found = search.found;
    return found != nullptr;
  };
  d_.WaitUntil(look, std::string("a ") + (kind ? kind : "common dialog"), timeoutMs);
  return found;
}

namespace {

std::string Canonical(const std::string& path) {
  std::error_code ec;
  std::string s = std::filesystem::weakly_canonical(std::filesystem::path(path), ec).string();
  if (ec) s = path;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

void ControlDriver::FillFileDialog(const std::string& folder, const std::vector<std::string>& names, int timeoutMs) {
  HWND dlg = WaitCommonDialog(KX_FILEDIALOG_PROP, timeoutMs);
  HWND name = d_.Control(dlg, KX_FD_NAME), lookIn = d_.Control(dlg, KX_FD_LOOKIN);
  std::string target = Canonical(folder);
  if (d_.Text(lookIn) != target) {
    // A folder typed into the name box and confirmed is where the dialog goes.
    d_.SetText(name, target);
    d_.PressKey(VK_RETURN);
    d_.WaitUntil([&] { return d_.Text(lookIn) == target; }, "the file dialog to show " + target);
  }
  if (names.size() == 1) {
    d_.SetText(name, names[0]);
  } else if (!names.empty()) {
    HWND list = d_.Control(dlg, KX_FD_LIST);
    for (size_t k = 0; k < names.size(); ++k) {
      int row = ListFind(list, names[k]);
      if (row < 0) d_.Fail("the file dialog lists no \"" + names[k] + "\" in " + target);
      ListClickRow(list, row, k > 0);
    }
  }
  d_.Click(d_.Control(dlg, IDOK));
}

void ControlDriver::CancelCommonDialog(int timeoutMs) {
  HWND dlg = WaitCommonDialog(nullptr, timeoutMs);
  d_.Click(d_.Control(dlg, IDCANCEL));
  d_.WaitForGone(dlg);
}

void ControlDriver::ChooseFolder(const std::string& folder, int timeoutMs) {
  HWND dlg = WaitCommonDialog(KX_FOLDERDIALOG_PROP, timeoutMs);
  HWND tree = d_.Control(dlg, KX_BF_TREE);
  std::string target = Canonical(folder);
  std::vector<std::string> parts;
  for (size_t start = 1; start < target.size();) {
    size_t slash = target.find('/', start);
    parts.push_back(target.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  HTREEITEM top = reinterpret_cast<HTREEITEM>(d_.Send(tree, TVM_GETNEXTITEM, TVGN_ROOT));
  std::string topText = top ? TreeText(tree, top) : std::string();
  std::vector<std::string> path;
  if (topText == "Desktop") {
    path = {"Desktop", "File System"};
    path.insert(path.end(), parts.begin(), parts.end());
  } else {
    // A dialog with a root folder: the path goes on from the root's own name.
    auto at = std::find(parts.begin(), parts.end(), topText);
    if (at == parts.end()) d_.Fail("the folder dialog's root \"" + topText + "\" does not hold " + target);
    path.assign(at, parts.end());
  }
  TreePick(tree, path);
  d_.Click(d_.Control(dlg, IDOK));
}

void ControlDriver::ChooseColorValue(COLORREF color, int timeoutMs) {
  HWND dlg = WaitCommonDialog(KX_COLORDIALOG_PROP, timeoutMs);
  HWND red = d_.Control(dlg, KX_CC_RED);
  if (!d_.IsVisible(red)) d_.Click(d_.Control(dlg, KX_CC_DEFINE));
  d_.SetText(red, std::to_string(GetRValue(color)));
  d_.SetText(d_.Control(dlg, KX_CC_GREEN), std::to_string(GetGValue(color)));
  d_.SetText(d_.Control(dlg, KX_CC_BLUE), std::to_string(GetBValue(color)));
  d_.Click(d_.Control(dlg, IDOK));
}

}  // namespace kx
