// The tree view, the combo boxes and the list box driven as a person drives them.
#include <cstring>
#include <string>
#include <vector>

#include "controls/ctltest.h"
#include "platform/win32/sync.h"

using namespace ctltest;
using Strings = std::vector<std::string>;

namespace {

constexpr int kTree = 100;

HTREEITEM Insert(HWND tree, HTREEITEM parent, const char* text, LPARAM data) {
  TVINSERTSTRUCTA ins{};
  ins.hParent = parent;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM;
  ins.item.pszText = const_cast<char*>(text);
  ins.item.lParam = data;
  return reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
}

LPARAM DataOf(HWND tree, HTREEITEM item) {
  TVITEMA it{};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  if (!item || !SendMessage(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return 0;
  return it.lParam;
}

INT_PTR CALLBACK TreeProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      HWND tree = GetDlgItem(dlg, kTree);
      HTREEITEM chain = Insert(tree, TVI_ROOT, "Chain for Alice", 0xFFFF);
      HTREEITEM a = Insert(tree, chain, "Alice", 1);
      HTREEITEM ca = Insert(tree, a, "Issuing CA", 2);
      Insert(tree, ca, "Root CA", 3);
      Insert(tree, chain, "Bob", 4);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->idFrom != kTree) return FALSE;
      auto* nm = reinterpret_cast<NMTREEVIEWA*>(lp);
      if (hdr->code == TVN_SELCHANGEDA)
        Events().Add("selected " + std::to_string(nm->itemNew.lParam) + " by " + std::to_string(nm->action));
      else if (hdr->code == TVN_ITEMEXPANDINGA)
        Events().Add(std::string(nm->action == TVE_EXPAND ? "expanding " : "collapsing ") + std::to_string(nm->itemNew.lParam));
      else if (hdr->code == TVN_ITEMEXPANDEDA)
        Events().Add(std::string(nm->action == TVE_EXPAND ? "expanded " : "collapsed ") + std::to_string(nm->itemNew.lParam));
      else if (hdr->code == NM_DBLCLK)
        Events().Add("dblclk " + std::to_string(DataOf(hdr->hwndFrom, reinterpret_cast<HTREEITEM>(
                                      SendMessage(hdr->hwndFrom, TVM_GETNEXTITEM, TVGN_CARET, 0)))));
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dlg, LOWORD(wp));
      return TRUE;
    default:
      return FALSE;
  }
}

kx::DialogTemplate TreeDialog() {
  kx::DialogTemplate t = Dialog("Chain", 200, 150);
  t.items.push_back(Item(WC_TREEVIEWA, "", kTree, 7, 7, 186, 110,
                         WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 143, 129, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  return t;
}

}  // namespace

class TreeTest : public ControlsTest {};

TEST_F(TreeTest, PickingAnItemOpensItsParentsAndSelectsIt) {
  RunDialog(TreeDialog(), TreeProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Chain");
    HWND tree = d.Control(dlg, kTree);
    // Collapsed at first: only the title shows.
    EXPECT_EQ(d.Send(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, d.Send(tree, TVM_GETNEXTITEM, TVGN_ROOT)), 0);
    c.TreePick(tree, {"Chain for Alice", "Alice", "Issuing CA", "Root CA"});
    HTREEITEM sel = c.TreeSelection(tree);
    EXPECT_EQ(c.TreeText(tree, sel), "Root CA");
    EXPECT_EQ(c.TreeFind(tree, {"Chain for Alice", "Bob"}) != nullptr, true);
    // Collapsing a branch that holds the selection moves the selection to the collapsed item.
    HTREEITEM alice = c.TreeFind(tree, {"Chain for Alice", "Alice"});
    d.Send(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(alice));
    EXPECT_EQ(c.TreeText(tree, c.TreeSelection(tree)), "Alice");
    // The keyboard walks the visible items; a double click on a parent toggles it.
    d.PressKey(VK_DOWN);
    EXPECT_EQ(c.TreeText(tree, c.TreeSelection(tree)), "Bob");
    d.PressKey(VK_UP);
    d.PressKey(VK_RIGHT);
    EXPECT_NE(d.Send(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(alice), TVIS_EXPANDED), 0);
    d.Click(d.Control(dlg, IDOK));
  });
  Strings ev = Events().All();
  // Each level was opened with its two notifications before the next was selected; the pick came by mouse.
  Strings opening(ev.begin(), ev.begin() + std::min<size_t>(ev.size(), 9));
  EXPECT_EQ(opening, (Strings{"selected 65535 by 1", "expanding 65535", "expanded 65535", "selected 1 by 1",
                              "expanding 1", "expanded 1", "selected 2 by 1", "expanding 2", "expanded 2"}));
  EXPECT_NE(std::find(ev.begin(), ev.end(), "selected 3 by 1"), ev.end());
  EXPECT_EQ(std::find(ev.begin(), ev.end(), "collapsing 1"), ev.end());
  EXPECT_NE(std::find(ev.begin(), ev.end(), "selected 1 by 0"), ev.end());
  EXPECT_NE(std::find(ev.begin(), ev.end(), "selected 4 by 2"), ev.end());
}

TEST_F(TreeTest, MessagesBuildWalkExpandAndClearTheTree) {
  RunDialog(TreeDialog(), TreeProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Chain");
    HWND tree = d.Control(dlg, kTree);
    d.Invoke(tree, [&] {
      HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
      HTREEITEM first = reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
      EXPECT_EQ(DataOf(tree, first), 1);
      EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(first)), reinterpret_cast<LRESULT>(root));
      EXPECT_EQ(SendMessage(tree, TVM_GETCOUNT, 0, 0), 5);
      // The first message expansion is announced; later ones are not.
      Events().Clear();
      SendMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(first));
      SendMessage(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(first));
      SendMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(first));
      // An item without children cannot be expanded.
      HTREEITEM bob = reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(first)));
      EXPECT_EQ(SendMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(bob)), FALSE);
      // Selecting by message names no cause; the text rectangle of a hidden item is not given.
      SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(bob));
      RECT r{};
      HTREEITEM deep = c.TreeFind(tree, {"Chain for Alice", "Alice", "Issuing CA", "Root CA"});
      std::memcpy(&r, &deep, sizeof deep);
      EXPECT_EQ(SendMessage(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)), FALSE);
      // Deleting everything leaves no selection and stale handles are refused.
      SendMessage(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
      EXPECT_EQ(SendMessage(tree, TVM_GETCOUNT, 0, 0), 0);
      EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), 0);
      EXPECT_EQ(SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(bob)), FALSE);
    });
    d.Click(d.Control(dlg, IDOK));
  });
  Strings ev = Events().All();
  // Selecting Bob opens his collapsed parent first, for the first time, so that is announced too.
  EXPECT_EQ(Strings(ev.begin(), ev.begin() + std::min<size_t>(ev.size(), 5)),
            (Strings{"expanding 1", "expanded 1", "expanding 65535", "expanded 65535", "selected 4 by 0"}));
}

namespace {

constexpr int kCombo = 200, kDropList = 201, kListBox = 202;
const char* kNames[] = {"Alpha", "Beta", "Betamax", "Charlie", "Delta", "Echo"};

// The auto-completing combo box: each edit update selects the first item that begins with the typed text and
// selects the completed tail, unless the last key was Delete or Backspace.
bool g_complete = true;

INT_PTR CALLBACK ComboProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      g_complete = true;
      for (const char* n : kNames) {
        SendDlgItemMessage(dlg, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
        SendDlgItemMessage(dlg, kDropList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
        SendDlgItemMessage(dlg, kListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
      }
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wp), code = HIWORD(wp);
      HWND ctl = reinterpret_cast<HWND>(lp);
      if (id == kCombo && code == CBN_EDITUPDATE && g_complete) {
        char text[256] = {0};
        GetWindowText(ctl, text, sizeof text);
        int n = static_cast<int>(strlen(text));
        DWORD sel = static_cast<DWORD>(SendMessage(ctl, CB_GETEDITSEL, 0, 0));
        WORD start = LOWORD(sel), end = HIWORD(sel);
        if (SendMessage(ctl, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text)) == CB_ERR) {
          SetWindowText(ctl, text);
          if (sel != static_cast<DWORD>(CB_ERR)) SendMessage(ctl, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
        }
        if (end >= n || sel == static_cast<DWORD>(CB_ERR)) SendMessage(ctl, CB_SETEDITSEL, 0, MAKELPARAM(n, -1));
        else SendMessage(ctl, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
        return TRUE;
      }
      if (id == kDropList || id == kCombo || id == kListBox) {
        static const char* names[] = {"", "selchange", "dblclk", "setfocus", "killfocus", "editchange", "editupdate",
                                      "dropdown", "closeup", "selendok", "selendcancel"};
        if (code >= 1 && code <= 10 && code != 3 && code != 4 && code != 5 && code != 6)
          Events().Add(std::to_string(id) + " " + names[code]);
        return TRUE;
      }
      if (id == IDOK || id == IDCANCEL) EndDialog(dlg, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// The key before an edit update decides whether it completes (Delete and Backspace do not).
LRESULT CALLBACK KeyHook(int code, WPARAM wp, LPARAM lp) {
  auto* m = reinterpret_cast<MSG*>(lp);
  if (code == HC_ACTION && m->message == WM_KEYDOWN) g_complete = m->wParam != VK_DELETE && m->wParam != VK_BACK;
  return CallNextHookEx(nullptr, code, wp, lp);
}

kx::DialogTemplate ComboDialog() {
  kx::DialogTemplate t = Dialog("Hosts", 200, 150);
  t.items.push_back(Item(WC_COMBOBOXA, "", kCombo, 7, 7, 120, 80, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL));
  t.items.push_back(Item(WC_COMBOBOXA, "", kDropList, 7, 27, 120, 80, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST));
  t.items.push_back(Item(WC_LISTBOXA, "", kListBox, 7, 47, 120, 60, WS_BORDER | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 143, 129, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  return t;
}

std::pair<int, int> EditSel(kx::UiDriver& d, HWND combo) {
  DWORD s = static_cast<DWORD>(d.Send(combo, CB_GETEDITSEL));
  return {LOWORD(s), HIWORD(s)};
}

}  // namespace

class ComboTest : public ControlsTest {};

TEST_F(ComboTest, TypedTextSelectsTheFirstMatchingItemWithTheTailSelected) {
  RunDialog(
      ComboDialog(),
      [](HWND dlg, UINT msg, WPARAM wp, LPARAM lp) -> INT_PTR {
        static HHOOK hook = nullptr;
        if (msg == WM_INITDIALOG) hook = SetWindowsHookEx(WH_GETMESSAGE, KeyHook, nullptr, GetCurrentThreadId());
        if (msg == WM_DESTROY) UnhookWindowsHookEx(hook);
        return ComboProc(dlg, msg, wp, lp);
      },
      [&](kx::UiDriver& d, kx::ControlDriver& c) {
        HWND dlg = d.WaitForTitle("Hosts");
        HWND combo = d.Control(dlg, kCombo);
        c.ComboType(combo, "b");
        EXPECT_EQ(c.ComboText(combo), "Beta");
        EXPECT_EQ(EditSel(d, combo), (std::pair<int, int>{1, 4}));
        EXPECT_EQ(d.Send(combo, CB_GETCURSEL), 1);
        d.Type("etam");  // typing on replaces the tail and completes again
        EXPECT_EQ(c.ComboText(combo), "Betamax");
        EXPECT_EQ(EditSel(d, combo), (std::pair<int, int>{5, 7}));
        d.PressKey(VK_BACK);  // removes the tail and does not complete
        EXPECT_EQ(c.ComboText(combo), "Betam");
        EXPECT_EQ(EditSel(d, combo), (std::pair<int, int>{5, 5}));
        c.ComboType(combo, "zu");  // no match: the text stays as typed with the caret after it
        EXPECT_EQ(c.ComboText(combo), "zu");
        EXPECT_EQ(EditSel(d, combo), (std::pair<int, int>{2, 2}));
        d.Click(d.Control(dlg, IDOK));
      });
}

TEST_F(ComboTest, PickingFromTheDropDownListAndTypingAFirstLetter) {
  RunDialog(ComboDialog(), ComboProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Hosts");
    HWND drop = d.Control(dlg, kDropList);
    Events().Clear();
    c.ComboPick(drop, "Delta");
    EXPECT_EQ(c.ComboText(drop), "Delta");
    EXPECT_EQ(d.Send(drop, CB_GETCURSEL), 4);
    // The first letter picks the first item that starts with it.
    d.Type("c");
    EXPECT_EQ(c.ComboText(drop), "Charlie");
    // A drop-down closed by a click elsewhere keeps the old choice.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    d.Send(drop, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info));
    d.ClickAt(drop, (info.rcButton.left + info.rcButton.right) / 2, (info.rcButton.top + info.rcButton.bottom) / 2);
    EXPECT_TRUE(d.IsVisible(info.hwndList));
    d.PressKey(VK_ESCAPE);
    EXPECT_FALSE(d.IsVisible(info.hwndList));
    EXPECT_EQ(c.ComboText(drop), "Charlie");
    // The list box.
    HWND lb = d.Control(dlg, kListBox);
    c.ListBoxPick(lb, "Echo");
    EXPECT_EQ(d.Send(lb, LB_GETCURSEL), 5);
    EXPECT_EQ(c.ComboItems(drop).size(), 6u);
    d.Click(d.Control(dlg, IDOK));
  });
  Strings ev = Events().All();
  EXPECT_EQ(ev, (Strings{"201 dropdown", "201 selchange", "201 selendok", "201 closeup", "201 selchange", "201 selendok",
                         "201 dropdown", "201 selendcancel", "201 closeup", "202 selchange"}));
}
