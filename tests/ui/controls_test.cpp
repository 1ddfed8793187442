// The basic controls as a person uses them: buttons, check boxes, radio groups, edits, labels.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ui/ui_test_util.h"

using namespace uitest;

namespace {

constexpr int kEdit = 200, kPassword = 201, kNumber = 202, kMulti = 203, kLink = 204, kCheck = 205, kTri = 206,
              kRadio1 = 207, kRadio2 = 208, kRadio3 = 209, kOther = 210, kOwner = 211;

std::mutex g_mutex;
std::vector<std::pair<int, int>> g_notes;  // (id, code)
std::atomic<int> g_drawItems{0};  // counted on the dialog's thread, read by the script's

INT_PTR CALLBACK ControlsProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      CheckRadioButton(dlg, kRadio1, kRadio3, kRadio1);
      return TRUE;
    case WM_COMMAND: {
      {
        std::lock_guard<std::mutex> l(g_mutex);
        g_notes.push_back({LOWORD(wp), HIWORD(wp)});
      }
      if (LOWORD(wp) == IDCANCEL) EndDialog(dlg, IDCANCEL);
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      if (dis->CtlType == ODT_BUTTON && dis->CtlID == kOwner) {
        ++g_drawItems;
        FillRect(dis->hDC, &dis->rcItem, static_cast<HBRUSH>(GetStockObject((dis->itemState & ODS_SELECTED) ? BLACK_BRUSH : GRAY_BRUSH)));
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

kx::DialogTemplate ControlsTemplate() {
  return Dialog("Controls", 240, 190,
                {Item("Edit", "", kEdit, 7, 7, 120, 14, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL),
                 Item("Edit", "", kPassword, 7, 25, 120, 14, WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL),
                 Item("Edit", "", kNumber, 7, 43, 120, 14, WS_BORDER | WS_TABSTOP | ES_NUMBER),
                 Item("Edit", "", kMulti, 7, 61, 120, 40, WS_BORDER | WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN),
                 Item("Static", "Open the page", kLink, 140, 7, 80, 10, SS_NOTIFY),
                 Item("Button", "&Check", kCheck, 140, 25, 80, 10, BS_AUTOCHECKBOX | WS_TABSTOP),
                 Item("Button", "Three &state", kTri, 140, 40, 80, 10, BS_AUTO3STATE | WS_TABSTOP),
                 Item("Button", "One", kRadio1, 140, 60, 80, 10, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP),
                 Item("Button", "Two", kRadio2, 140, 72, 80, 10, BS_AUTORADIOBUTTON),
                 Item("Button", "Three", kRadio3, 140, 84, 80, 10, BS_AUTORADIOBUTTON),
                 Item("Button", "Other", kOther, 140, 100, 80, 14, WS_GROUP | WS_TABSTOP),
                 Item("Button", "", kOwner, 140, 120, 80, 14, BS_OWNERDRAW | WS_TABSTOP),
                 Item("Button", "Cancel", IDCANCEL, 183, 169, 50, 14, WS_TABSTOP)});
}

INT_PTR RunControls() {
  kx::DialogTemplate t = ControlsTemplate();
  return DialogBoxIndirectParam(nullptr, &t, nullptr, ControlsProc, 0);
}

std::vector<std::pair<int, int>> TakeNotes() {
  std::lock_guard<std::mutex> l(g_mutex);
  auto out = g_notes;
  g_notes.clear();
  return out;
}

bool HasNote(const std::vector<std::pair<int, int>>& notes, int id, int code) {
  for (auto& n : notes)
    if (n.first == id && n.second == code) return true;
  return false;
}

class ControlsTest : public UiTest {
 protected:
  void SetUp() override {
    TakeNotes();
    g_drawItems = 0;
  }
};

TEST_F(ControlsTest, CheckBoxesAndRadioGroupsAsClicked) {
  kx::RunWithUi(RunControls, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Controls");
    HWND check = d.Control(dlg, kCheck), tri = d.Control(dlg, kTri);
    d.Click(check);
    EXPECT_TRUE(d.IsChecked(check));
    EXPECT_TRUE(HasNote(TakeNotes(), kCheck, BN_CLICKED));
    d.Click(check);
    EXPECT_FALSE(d.IsChecked(check));
    d.Click(tri);
    d.Click(tri);
    EXPECT_EQ(d.Send(tri, BM_GETCHECK), BST_INDETERMINATE);
    d.Click(tri);
    EXPECT_EQ(d.Send(tri, BM_GETCHECK), BST_UNCHECKED);
    // Radio buttons: one of the group at a time; the button of the next group is not touched.
    HWND r1 = d.Control(dlg, kRadio1), r2 = d.Control(dlg, kRadio2), r3 = d.Control(dlg, kRadio3);
    EXPECT_TRUE(d.IsChecked(r1));
    d.Click(r3);
    EXPECT_FALSE(d.IsChecked(r1));
    EXPECT_FALSE(d.IsChecked(r2));
    EXPECT_TRUE(d.IsChecked(r3));
    // Arrow keys move within the group and check as they go.
    d.PressKey(VK_UP);
    EXPECT_TRUE(d.IsChecked(r2));
    EXPECT_FALSE(d.IsChecked(r3));
    EXPECT_EQ(d.FocusedWindow(dlg), r2);
    // Tab leaves the group at its checked button's successor group.
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), d.Control(dlg, kOther));
    // A click released outside the button does not click.
    HWND other = d.Control(dlg, kOther);
    TakeNotes();
    d.Invoke(dlg, [&] {
      SendMessage(other, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
      SendMessage(other, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(500, 3));
      SendMessage(other, WM_LBUTTONUP, 0, MAKELPARAM(500, 3));
    });
    EXPECT_FALSE(HasNote(TakeNotes(), kOther, BN_CLICKED));
    d.Click(other);
    EXPECT_TRUE(HasNote(TakeNotes(), kOther, BN_CLICKED));
    // Disabled buttons cannot be clicked by a person; BM_CLICK does nothing either.
    d.Invoke(dlg, [&] { EnableWindow(other, FALSE); });
    EXPECT_THROW(d.Click(other), kx::UiDriverError);
    d.Send(other, BM_CLICK);
    EXPECT_FALSE(HasNote(TakeNotes(), kOther, BN_CLICKED));
    d.PressKey(VK_ESCAPE);
  });
}

TEST_F(ControlsTest, OwnerDrawnButtonAsksItsParentToDraw) {
  kx::RunWithUi(RunControls, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Controls");
    HWND owner = d.Control(dlg, kOwner);
    d.WaitUntil([] { return g_drawItems > 0; }, "the owner-drawn button to be drawn");
    int before = g_drawItems;
    d.Click(owner);
    EXPECT_GT(g_drawItems, before);
    EXPECT_TRUE(HasNote(TakeNotes(), kOwner, BN_CLICKED));
    d.PressKey(VK_ESCAPE);
  });
}

TEST_F(ControlsTest, EditTypingSelectionUndoAndNotifications) {
  kx::RunWithUi(RunControls, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Controls");
    HWND edit = d.Control(dlg, kEdit);
    d.Click(edit);
    TakeNotes();
    d.Type("héllo wörld");
    EXPECT_EQ(d.Text(edit), "héllo wörld");
    auto notes = TakeNotes();
    EXPECT_TRUE(HasNote(notes, kEdit, EN_CHANGE));
    EXPECT_TRUE(HasNote(notes, kEdit, EN_UPDATE));
    d.PressKey(VK_HOME);
    d.PressKey(VK_RIGHT, true);  // select "h"
    d.Type("J");
    EXPECT_EQ(d.Text(edit), "Jéllo wörld");
    d.PressKey(VK_END);
    d.PressKey(VK_BACK);
    EXPECT_EQ(d.Text(edit), "Jéllo wörl");
    d.PressKey('Z', false, true);  // undo
    EXPECT_EQ(d.Text(edit), "Jéllo wörld");
    EXPECT_TRUE(d.Send(edit, EM_GETMODIFY));
    // Limit: typing stops at the limit and the parent hears EN_MAXTEXT.
    d.Send(edit, EM_SETLIMITTEXT, 12);
    d.PressKey(VK_END);
    d.Type("!?");
    EXPECT_EQ(d.Text(edit), "Jéllo wörld!");
    EXPECT_TRUE(HasNote(TakeNotes(), kEdit, EN_MAXTEXT));
    DWORD s = 0, e = 0;
    d.Send(edit, EM_SETSEL, 0, 3);  // "Jé": positions count bytes of the UTF-8 text
    d.Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    EXPECT_EQ(s, 0u);
    EXPECT_EQ(e, 3u);
    d.Send(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("X"));
    EXPECT_EQ(d.Text(edit), "Xllo wörld!");
    // Read-only: the person's typing changes nothing.
    d.Send(edit, EM_SETREADONLY, TRUE);
    EXPECT_THROW(d.SetText(edit, "nope"), kx::UiDriverError);
    d.Type("z");
    EXPECT_EQ(d.Text(edit), "Xllo wörld!");
    d.PressKey(VK_ESCAPE);
  });
}

TEST_F(ControlsTest, PasswordNumberAndMultiLineEdits) {
  kx::RunWithUi(RunControls, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Controls");
    HWND pw = d.Control(dlg, kPassword), num = d.Control(dlg, kNumber), multi = d.Control(dlg, kMulti);
    d.SetText(pw, "s3cret");
    EXPECT_EQ(d.Text(pw), "s3cret");
    EXPECT_EQ(d.Send(pw, EM_GETPASSWORDCHAR), '*');
    d.SetText(num, "4a2");
    EXPECT_EQ(d.Text(num), "42");
    d.SetText(multi, "first\rsecond");  // Enter stays in a multi-line edit that wants it
    EXPECT_EQ(d.Text(multi), "first\r\nsecond");
    EXPECT_EQ(d.Send(multi, EM_GETLINECOUNT), 2);
    EXPECT_EQ(d.Send(multi, EM_LINEINDEX, 1), 7);
    EXPECT_EQ(d.Send(multi, EM_LINEFROMCHAR, 8), 1);
    EXPECT_EQ(d.Send(multi, EM_LINELENGTH, 7), 6);
    // Text set by the program is not reported by a multi-line edit, but is by a single-line one.
    TakeNotes();
    d.Invoke(dlg, [&] { SetWindowText(multi, "x"); });
    d.Invoke(dlg, [&] { SetWindowText(num, "7"); });
    auto notes = TakeNotes();
    EXPECT_FALSE(HasNote(notes, kMulti, EN_CHANGE));
    EXPECT_TRUE(HasNote(notes, kNumber, EN_CHANGE));
    d.PressKey(VK_ESCAPE);
  });
}

// The headless desktop keeps a focused edit's caret steady: no blink timer runs, so what a test or a screenshot
// sees does not depend on the moment it looks.
TEST_F(ControlsTest, EditCaretIsSteadyOnTheHeadlessDesktop) {
  struct ManualClock {
    ManualClock() { kx::UseManualClock(true); }
    ~ManualClock() { kx::UseManualClock(false); }
  } clock;
  HWND edit = CreateWindowEx(0, "Edit", "caret", WS_POPUP | WS_VISIBLE | WS_BORDER, 10, 10, 160, 24, nullptr, nullptr,
                             nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);
  SendMessage(edit, EM_SETSEL, 2, 2);
  PumpPending();
  LRESULT pos = SendMessage(edit, EM_POSFROMCHAR, 2, 0);
  HDC dc = GetDC(edit);
  EXPECT_EQ(GetPixel(dc, GET_X_LPARAM(pos), GET_Y_LPARAM(pos) + 3), GetSysColor(COLOR_WINDOWTEXT));
  for (int i = 0; i < 3; ++i) {
    kx::AdvanceManualClock(GetCaretBlinkTime());
    MSG m;
    EXPECT_FALSE(PeekMessage(&m, edit, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    PumpPending();
    EXPECT_EQ(GetPixel(dc, GET_X_LPARAM(pos), GET_Y_LPARAM(pos) + 3), GetSysColor(COLOR_WINDOWTEXT));
  }
  ReleaseDC(edit, dc);
}

TEST_F(ControlsTest, LabelWithNotifyReportsClicks) {
  kx::RunWithUi(RunControls, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Controls");
    d.Click(d.Control(dlg, kLink));
    EXPECT_TRUE(HasNote(TakeNotes(), kLink, STN_CLICKED));
    d.PressKey(VK_ESCAPE);
  });
}

}  // namespace
