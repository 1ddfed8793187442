// Dialogs from templates run modally and driven from the test thread, keyboard navigation, message boxes.
#include <atomic>
#include <cstdio>
#include <string>

#include "support/testroot.h"
#include "ui/ui_test_util.h"

using namespace uitest;

namespace {

constexpr int kName = 100;
constexpr int kRemember = 101;
constexpr int kNote = 102;

// What the sample dialog saw when it closed.
struct Outcome {
  std::string name;
  bool remember = false;
  std::vector<int> commands;
  // Whether the owner was enabled when the dialog hid, so that it could take the activation.
  bool ownerEnabledAtHide = false;
};
Outcome g_outcome;

INT_PTR SampleProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      SetDlgItemText(dlg, kName, "initial");
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) != BN_CLICKED) return FALSE;
      g_outcome.commands.push_back(LOWORD(wp));
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        char buf[256];
        GetDlgItemText(dlg, kName, buf, sizeof buf);
        g_outcome.name = buf;
        g_outcome.remember = IsDlgButtonChecked(dlg, kRemember) == BST_CHECKED;
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
      }
      return FALSE;
    case WM_SHOWWINDOW:
      if (!wp) g_outcome.ownerEnabledAtHide = IsWindowEnabled(GetWindow(dlg, GW_OWNER));
      return FALSE;
    default:
      return FALSE;
  }
}

kx::DialogTemplate SampleTemplate() {
  return Dialog("Sample", 200, 92,
                {Item("Static", "&Name:", IDC_STATIC, 7, 9, 40, 8),
                 Item("Edit", "", kName, 50, 7, 143, 14, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL),
                 Item("Button", "&Remember me", kRemember, 50, 26, 100, 10, BS_AUTOCHECKBOX | WS_TABSTOP),
                 Item("Static", "The name is kept for the next time.", kNote, 7, 42, 186, 20),
                 Item("Button", "OK", IDOK, 89, 71, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP),
                 Item("Button", "Cancel", IDCANCEL, 143, 71, 50, 14, WS_TABSTOP)});
}

INT_PTR RunSample() {
  kx::DialogTemplate t = SampleTemplate();
  return DialogBoxIndirectParam(nullptr, &t, nullptr, SampleProc, 0);
}

class DialogTest : public UiTest {
 protected:
  void SetUp() override { g_outcome = Outcome(); }
};

TEST_F(DialogTest, ModalDialogTypedClickedAndRendered) {
  std::string png = kxtest::MakeTempDir("png") + "/sample.png";
  INT_PTR r = kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    HWND edit = d.Control(dlg, kName);
    EXPECT_EQ(d.Text(edit), "initial");
    // The first tab stop has the focus, its text selected.
    EXPECT_EQ(d.FocusedWindow(dlg), edit);
    d.SetText(edit, "Alice Example");
    d.SetCheck(d.Control(dlg, kRemember), true);
    d.SavePng(dlg, png);
    d.Click(d.Control(dlg, IDOK));
    d.WaitForGone(dlg);
  });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(g_outcome.name, "Alice Example");
  EXPECT_TRUE(g_outcome.remember);
  EXPECT_EQ(kxtest::ReadFile(png).substr(1, 3), "PNG");
}

TEST_F(DialogTest, TabOrderFollowsTheTemplateAndSkipsDisabledControls) {
  kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    HWND edit = d.Control(dlg, kName), box = d.Control(dlg, kRemember), ok = d.Control(dlg, IDOK),
         cancel = d.Control(dlg, IDCANCEL);
    EXPECT_EQ(d.FocusedWindow(dlg), edit);
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), box);
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), ok);
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), cancel);
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), edit);
    d.PressKey(VK_TAB, true);
    EXPECT_EQ(d.FocusedWindow(dlg), cancel);
    d.Invoke(dlg, [&] { EnableWindow(box, FALSE); });
    d.PressKey(VK_TAB);  // cancel -> edit
    d.PressKey(VK_TAB);  // the disabled box is passed over
    EXPECT_EQ(d.FocusedWindow(dlg), ok);
    // Space on a focused check box ticks it.
    d.Invoke(dlg, [&] { EnableWindow(box, TRUE); });
    d.PressKey(VK_TAB, true);
    EXPECT_EQ(d.FocusedWindow(dlg), box);
    d.PressKey(VK_SPACE);
    EXPECT_TRUE(d.IsChecked(box));
    d.PressKey(VK_ESCAPE);
  });
}

TEST_F(DialogTest, EnterPressesTheDefaultButtonAndEscapeCancels) {
  INT_PTR r = kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    d.Type("Bob");
    d.PressKey(VK_RETURN);
    d.WaitForGone(dlg);
  });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(g_outcome.name, "Bob");  // the typed text replaced the selected initial text

  g_outcome = Outcome();
  r = kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    d.Type("Carol");
    d.PressKey(VK_ESCAPE);
    d.WaitForGone(dlg);
  });
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(g_outcome.commands, std::vector<int>{IDCANCEL});
}

TEST_F(DialogTest, AltF4ClosesTheDialogAsCancelWhateverControlHasTheFocus) {
  INT_PTR r = kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    EXPECT_EQ(d.FocusedWindow(dlg), d.Control(dlg, kName));
    d.PressKey(VK_F4, false, false, true);
    d.WaitForGone(dlg);
  });
  // The system menu's Close reached the dialog, which answers it as Cancel; the edit was not closed on its own.
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(g_outcome.commands, std::vector<int>{IDCANCEL});
  EXPECT_EQ(g_outcome.name, "initial");
}

TEST_F(DialogTest, FocusedPushButtonBecomesTheDefault) {
  INT_PTR r = kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    HWND ok = d.Control(dlg, IDOK), cancel = d.Control(dlg, IDCANCEL);
    EXPECT_EQ(GetWindowLongPtr(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    d.PressKey(VK_TAB);
    d.PressKey(VK_TAB);
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), cancel);
    EXPECT_EQ(GetWindowLongPtr(cancel, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongPtr(ok, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    d.PressKey(VK_RETURN);
  });
  EXPECT_EQ(r, IDCANCEL);
}

TEST_F(DialogTest, MnemonicOfALabelMovesToTheNextControl) {
  kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    d.PressKey(VK_TAB);
    EXPECT_EQ(d.FocusedWindow(dlg), d.Control(dlg, kRemember));
    d.PressKey('N', false, false, true);  // Alt+N: the "&Name:" label
    EXPECT_EQ(d.FocusedWindow(dlg), d.Control(dlg, kName));
    d.PressKey('R', false, false, true);  // Alt+R: ticks "&Remember me"
    EXPECT_TRUE(d.IsChecked(d.Control(dlg, kRemember)));
    d.PressKey(VK_ESCAPE);
  });
}

TEST_F(DialogTest, ModalDialogDisablesItsOwnerUntilItEnds) {
  HWND owner = nullptr;
  INT_PTR r = kx::RunWithUi(
      [&] {
        owner = MakeRecorder(nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        kx::DialogTemplate t = SampleTemplate();
        INT_PTR res = DialogBoxIndirectParam(nullptr, &t, owner, SampleProc, 0);
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_EQ(GetActiveWindow(), owner);
        return res;
      },
      [&](kx::UiDriver& d) {
        HWND dlg = d.WaitForTitle("Sample");
        EXPECT_FALSE(IsWindowEnabled(owner));
        EXPECT_EQ(GetWindow(dlg, GW_OWNER), owner);
        // A person cannot click the disabled owner.
        EXPECT_THROW(d.Click(owner), kx::UiDriverError);
        d.Click(d.Control(dlg, IDCANCEL));
      });
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_TRUE(g_outcome.ownerEnabledAtHide);
}

TEST_F(DialogTest, WaitForAWindowThatNeverComesFailsWithTheWindowList) {
  try {
    kx::RunWithUi(RunSample, [&](kx::UiDriver& d) {
      d.WaitForTitle("Sample", kx::UiDriver().Timeout());  // listed below whatever the machine's speed
      d.WaitForTitle("Nothing like this");
    }, 300);
    FAIL() << "the wait should have failed";
  } catch (const kx::UiDriverError& e) {
    std::string what = e.what();
    EXPECT_NE(what.find("Nothing like this"), std::string::npos);
    EXPECT_NE(what.find("text=\"Sample\""), std::string::npos);  // the dialog that did exist is listed
  }
}

TEST_F(DialogTest, ModalCallThatNeverReturnsIsUnwound) {
  // The script ends without closing the dialog: the helper closes it and reports the failure.
  EXPECT_THROW(kx::RunWithUi(RunSample, [&](kx::UiDriver& d) { d.WaitForTitle("Sample"); }, 300),
               kx::UiDriverError);
}

TEST_F(DialogTest, TemplateByIdIsReportedToTheDriver) {
  HINSTANCE module = reinterpret_cast<HINSTANCE>(0x1234);
  kx::RegisterDialogTemplate(module, MAKEINTRESOURCE(4209), SampleTemplate());
  INT_PTR r = kx::RunWithUi(
      [&] { return DialogBoxParam(module, MAKEINTRESOURCE(4209), nullptr, SampleProc, 0); },
      [&](kx::UiDriver& d) {
        HWND dlg = d.WaitForDialog(4209);
        EXPECT_EQ(kx::GetDialogTemplateId(dlg), 4209u);
        d.Click(d.Control(dlg, IDOK));
      });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(DialogBoxParam(module, MAKEINTRESOURCE(9999), nullptr, SampleProc, 0), -1);
  kx::UnregisterDialogTemplate(module, MAKEINTRESOURCE(4209));
}

INT_PTR CALLBACK PageProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

TEST_F(DialogTest, InMemoryTemplatesReportTheIdTheyCarry) {
  HINSTANCE module = reinterpret_cast<HINSTANCE>(0x1236);
  kx::RegisterDialogTemplate(module, MAKEINTRESOURCE(4401), SampleTemplate());
  const kx::DialogTemplate* found = kx::FindDialogTemplate(module, MAKEINTRESOURCE(4401));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->templateId, 4401u);
  kx::DialogTemplate plain = SampleTemplate(), marked = SampleTemplate();
  marked.templateId = 4402;
  struct Case {
    const kx::DialogTemplate* t;
    ULONG_PTR id;
  } cases[] = {{found, 4401}, {&plain, 0}, {&marked, 4402}};
  for (const Case& c : cases) {
    HWND dlg = CreateDialogIndirect(nullptr, c.t, nullptr, PageProc);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(kx::GetDialogTemplateId(dlg), c.id);
    DestroyWindow(dlg);
  }
  // The modal form too.
  INT_PTR r = kx::RunWithUi([&] { return DialogBoxIndirectParam(nullptr, &marked, nullptr, SampleProc, 0); },
                            [&](kx::UiDriver& d) { d.Click(d.Control(d.WaitForDialog(4402), IDCANCEL)); });
  EXPECT_EQ(r, IDCANCEL);
  kx::UnregisterDialogTemplate(module, MAKEINTRESOURCE(4401));
}

HINSTANCE PagesModule() { return reinterpret_cast<HINSTANCE>(0x1235); }

TEST_F(DialogTest, ChildDialogsAreFoundByTemplateIdWhenShown) {
  // Two pages made from templates by id inside a top-level dialog; only the shown one is found.
  HINSTANCE module = PagesModule();
  const DWORD pageStyle = WS_CHILD | DS_CONTROL | DS_SETFONT;
  kx::RegisterDialogTemplate(module, MAKEINTRESOURCE(4301),
                             Dialog("", 100, 40, {Item("Edit", "", 301, 5, 5, 80, 14, WS_BORDER)}, pageStyle | WS_VISIBLE));
  kx::RegisterDialogTemplate(module, MAKEINTRESOURCE(4302), Dialog("", 100, 40, {}, pageStyle));
  HWND second = nullptr;
  INT_PTR r = kx::RunWithUi(
      [&] {
        kx::DialogTemplate t = SampleTemplate();
        return DialogBoxIndirectParam(
            nullptr, &t, nullptr,
            [](HWND dlg, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
              if (msg == WM_INITDIALOG) {
                CreateDialogParam(PagesModule(), MAKEINTRESOURCE(4301), dlg, PageProc, 0);
                CreateDialogParam(PagesModule(), MAKEINTRESOURCE(4302), dlg, PageProc, 0);
                return TRUE;
              }
              if (msg == WM_COMMAND && LOWORD(wp) == IDOK) EndDialog(dlg, IDOK);
              return FALSE;
            },
            0);
      },
      [&](kx::UiDriver& d) {
        HWND top = d.WaitForTitle("Sample");
        HWND first = d.WaitForDialog(4301);
        EXPECT_EQ(GetParent(first), top);
        EXPECT_EQ(d.FindDialog(4301), first);
        EXPECT_EQ(d.Text(d.Control(first, 301)), "");
        kx::WindowQuery q;
        q.templateId = 4302;
        q.visibleOnly = false;
        second = d.Find(q);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(d.FindDialog(4302), nullptr);
        EXPECT_THROW(d.WaitForDialog(4302, 100), kx::UiDriverError);
        d.Invoke(second, [&] { ShowWindow(second, SW_SHOW); });
        EXPECT_EQ(d.WaitForDialog(4302), second);
        d.Click(d.Control(top, IDOK));
      });
  EXPECT_EQ(r, IDOK);
  kx::UnregisterDialogTemplate(module, MAKEINTRESOURCE(4301));
  kx::UnregisterDialogTemplate(module, MAKEINTRESOURCE(4302));
}


INT_PTR CALLBACK SheetProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) {
    // A page: a child dialog whose controls join the sheet's tab order.
    kx::DialogTemplate page = Dialog("", 150, 40, {Item("Edit", "", 300, 5, 5, 100, 14, WS_BORDER | WS_TABSTOP)},
                                     WS_CHILD | WS_VISIBLE | DS_CONTROL | DS_SETFONT);
    HWND p = CreateDialogIndirectParam(nullptr, &page, dlg, PageProc, 0);
    SetWindowPos(p, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return TRUE;
  }
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wp));
    return TRUE;
  }
  return FALSE;
}

TEST_F(DialogTest, TabMovesIntoTheControlsOfAChildDialog) {
  INT_PTR r = kx::RunWithUi(
      [] {
        kx::DialogTemplate t = Dialog("Sheet", 170, 80,
                                      {Item("Button", "OK", IDOK, 60, 60, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP),
                                       Item("Button", "Cancel", IDCANCEL, 115, 60, 50, 14, WS_TABSTOP)});
        return DialogBoxIndirectParam(nullptr, &t, nullptr, SheetProc, 0);
      },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Sheet");
        kx::WindowQuery q;
        q.parent = sheet;
        q.controlId = 300;
        HWND edit = d.WaitForWindow(q);
        d.Focus(d.Control(sheet, IDCANCEL));
        d.PressKey(VK_TAB);
        EXPECT_EQ(d.FocusedWindow(sheet), edit);
        d.Type("page text");
        EXPECT_EQ(d.Text(edit), "page text");
        d.PressKey(VK_TAB);
        EXPECT_EQ(d.FocusedWindow(sheet), d.Control(sheet, IDOK));
        // Enter in the page's edit presses the sheet's default button.
        d.PressKey(VK_TAB, true);
        d.PressKey(VK_RETURN);
      });
  EXPECT_EQ(r, IDOK);
}

TEST_F(DialogTest, ModalCallOnThisThreadWithTheScriptAside) {
  INT_PTR r = kx::RunWithUiHere(RunSample, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Sample");
    d.SetText(d.Control(dlg, kName), "here");
    d.PressKey(VK_RETURN);
  });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(g_outcome.name, "here");
  // A failing script ends the dialog and reports its error.
  EXPECT_THROW(kx::RunWithUiHere(RunSample, [&](kx::UiDriver& d) { d.Control(d.WaitForTitle("Sample"), 4242); }),
               kx::UiDriverError);
}

// ----- message boxes -----
struct BoxCase {
  UINT type;
  int press;      // button clicked, or 0 for Escape
  int expected;   // what MessageBox returns
};

TEST_F(DialogTest, MessageBoxReturnsThePlatformIds) {
  const BoxCase cases[] = {
      {MB_OK, IDOK, IDOK},
      {MB_OK, 0, IDOK},  // Escape in a box with only OK answers OK
      {MB_OKCANCEL, IDCANCEL, IDCANCEL},
      {MB_OKCANCEL, 0, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, IDYES, IDYES},
      {MB_YESNO, IDNO, IDNO},
      {MB_YESNOCANCEL, 0, IDCANCEL},
      {MB_YESNOCANCEL | MB_ICONEXCLAMATION, IDNO, IDNO},
      {MB_RETRYCANCEL | MB_ICONHAND, IDRETRY, IDRETRY},
      {MB_ABORTRETRYIGNORE, IDIGNORE, IDIGNORE},
      {MB_ABORTRETRYIGNORE, IDABORT, IDABORT},
      {MB_CANCELTRYCONTINUE, IDCONTINUE, IDCONTINUE},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " press " + std::to_string(c.press));
    INT_PTR r = kx::RunWithUi([&] { return static_cast<INT_PTR>(MessageBox(nullptr, "Proceed?", "Question", c.type)); },
                              [&](kx::UiDriver& d) {
                                HWND box = d.WaitForMessageBox();
                                EXPECT_EQ(d.MessageBoxText(box), "Proceed?");
                                if (c.press) d.Click(d.Control(box, c.press));
                                else d.PressKey(VK_ESCAPE);
                              });
    EXPECT_EQ(r, c.expected);
  }
}

TEST_F(DialogTest, MessageBoxWithoutCancelIgnoresEscapeAndHonoursTheDefaultButton) {
  INT_PTR r = kx::RunWithUi(
      [&] { return static_cast<INT_PTR>(MessageBox(nullptr, "Delete?", nullptr, MB_YESNO | MB_DEFBUTTON2)); },
      [&](kx::UiDriver& d) {
        HWND box = d.WaitForMessageBox();
        EXPECT_EQ(d.Text(box), "Error");  // no caption given
        d.PressKey(VK_ESCAPE);
        EXPECT_TRUE(IsWindow(box));
        EXPECT_EQ(d.FocusedWindow(box), d.Control(box, IDNO));
        d.PressKey(VK_RETURN);
      });
  EXPECT_EQ(r, IDNO);
}

TEST_F(DialogTest, MessageBoxFromAWorkerAppearsOnTheOwnersThread) {
  std::atomic<int> answer{-1};
  HWND owner = nullptr;
  DWORD boxThread = 0;
  kx::RunWithUi(
      [&] {
        owner = MakeRecorder(nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        std::thread worker([&] { answer = MessageBox(owner, "From the worker", "Worker", MB_OKCANCEL); });
        // The owner's thread keeps pumping; the box runs here.
        MSG msg;
        while (answer < 0) {
          MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
          while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
          }
        }
        worker.join();
        return INT_PTR{0};
      },
      [&](kx::UiDriver& d) {
        HWND box = d.WaitForMessageBox();
        boxThread = GetWindowThreadProcessId(box, nullptr);
        EXPECT_EQ(boxThread, GetWindowThreadProcessId(owner, nullptr));
        EXPECT_EQ(d.AnswerMessageBox(IDOK), "From the worker");
      });
  EXPECT_EQ(answer, IDOK);
}

}  // namespace
