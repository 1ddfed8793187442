// Message boxes as HTML pages, their plain fall-back, the HTML dialog box and the small frame helpers.
#include <string>

#include "app/BaseSheet.h"
#include "app/HtmlDialogBox.h"
#include "app/ResString.h"
#include "app/frame_fixture.h"
#include "platform/mfc/afxstate.h"
#include "platform/services/htmlhelp.h"
#include "platform/win32/modules.h"

#include <cstdlib>
#include <cstring>

namespace {

using frametest::AnswerPage;
using frametest::App;
using frametest::FrameTest;

int AskThroughPage(UINT type, const char* button, std::string* shown = nullptr) {
  return static_cast<int>(kx::RunWithUiHere([&] { return INT_PTR(AfxMessageBox("Go on with the next file?", type)); },
                                            [&](kx::UiDriver& d) {
                                              std::string text = AnswerPage(d, button);
                                              if (shown) *shown = text;
                                            }));
}

TEST_F(FrameTest, MessageBoxesArePagesThatGiveTheButtonPressed) {
  struct Case {
    UINT type;
    const char* button;
    int answer;
  } cases[] = {
      {MB_OK, "OK", IDOK},
      {MB_OK | MB_ICONEXCLAMATION, "OK", IDOK},
      {MB_OKCANCEL, "OK", IDOK},
      {MB_OKCANCEL, "Cancel", IDCANCEL},
      {MB_YESNO, "Yes", IDYES},
      {MB_YESNO, "No", IDNO},
      {MB_YESNOCANCEL, "Yes", IDYES},
      {MB_YESNOCANCEL, "No", IDNO},
      {MB_YESNOCANCEL, "Cancel", IDCANCEL},
  };
  for (const Case& c : cases) {
    std::string shown;
    EXPECT_EQ(AskThroughPage(c.type, c.button, &shown), c.answer) << c.type << " " << c.button;
    EXPECT_EQ(shown, "Go on with the next file?");
  }
}

TEST_F(FrameTest, RetryBoxesAreTheStandardBox) {
  INT_PTR answer = kx::RunWithUiHere([] { return INT_PTR(AfxMessageBox("The disk is full.", MB_RETRYCANCEL)); },
                                     [](kx::UiDriver& d) { d.AnswerMessageBox(IDRETRY); });
  EXPECT_EQ(answer, IDRETRY);
}

TEST_F(FrameTest, WithoutTheHtmlEngineThePlainBoxAsksTheSameQuestion) {
  kx::SetBuiltinModuleMissing("MSHTML.DLL", true);
  std::string text;
  INT_PTR answer = kx::RunWithUiHere([] { return INT_PTR(AfxMessageBox("Replace the file?", MB_YESNO)); },
                                     [&](kx::UiDriver& d) { text = d.AnswerMessageBox(IDYES); });
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(text, "Replace the file?");
  // The sheet's own question too, so that a wizard can still be cancelled.
  CBaseSheet sheet("Sheet", nullptr, 0);
  answer = kx::RunWithUiHere([&] { return INT_PTR(sheet.ShowMessage(LoadResString(282), MB_YESNO)); },
                             [&](kx::UiDriver& d) { d.AnswerMessageBox(IDYES); });
  EXPECT_EQ(answer, IDYES);
  kx::SetBuiltinModuleMissing("MSHTML.DLL", false);
}

TEST_F(FrameTest, HtmlDialogBoxAddressesAndResults) {
  CHtmlDialogBox resource("x.htm", TRUE, nullptr);
  char module[4096];
  DWORD n = GetModuleFileName(AfxGetResourceHandle(), module, sizeof module);
  EXPECT_EQ(std::string(resource.GetUrl()), "res://" + std::string(module, n) + "/x.htm");
  // Pages are files: a resource page cannot be shown.
  EXPECT_EQ(resource.DoModal(), -1);

  CHtmlDialogBox missing((kxtest::Root() + "/none.htm").c_str(), FALSE, nullptr);
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_EQ(missing.GetResult(), "");

  // Closed without a button: no result.
  CHtmlDialogBox page(App().m_strModuleFolder + "HELP/mboxyesno.htm", FALSE, nullptr);
  page.SetArgument("");
  INT_PTR shown = kx::RunWithUiHere([&] { return page.DoModal(); }, [](kx::UiDriver& d) {
    kx::WindowQuery query;
    query.className = "#32770";
    HWND box = d.WaitForWindow(query);
    d.PressKey(VK_ESCAPE);
    d.WaitForGone(box);
  });
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(page.GetResult(), "");

  kx::SetBuiltinModuleMissing("MSHTML.DLL", true);
  CHtmlDialogBox noEngine(App().m_strModuleFolder + "HELP/mbox.htm", FALSE, nullptr);
  EXPECT_EQ(noEngine.DoModal(), -1);
  kx::SetBuiltinModuleMissing("MSHTML.DLL", false);
}

TEST_F(FrameTest, TextReportDialogWritesBackOnOkOnly) {
  for (int button : {IDOK, IDCANCEL}) {
    CString text("first line\r\nsecond line");
    CTextReportDlg dialog;
    dialog.m_pText = &text;
    INT_PTR result = kx::RunWithUiHere([&] { return dialog.DoModal(); }, [&](kx::UiDriver& d) {
      HWND box = d.WaitForDialog(CTextReportDlg::IDD);
      HWND edit = d.Control(box, 1070);
      EXPECT_EQ(d.Text(edit), "first line\r\nsecond line");
      d.Send(edit, EM_SETREADONLY, FALSE);
      d.SetText(edit, "changed");
      d.Click(d.Control(box, button));
      d.WaitForGone(box);
    });
    EXPECT_EQ(result, button);
    EXPECT_STREQ(text, button == IDOK ? "changed" : "first line\r\nsecond line");
  }
}

TEST_F(FrameTest, ResourceStringsComeFromTheResourceLibraryOnly) {
  EXPECT_STREQ(LoadResString(238), "Completing the Wizard");
  CString out("old");
  EXPECT_STREQ(LoadResString(out, 64999), "");
  EXPECT_STREQ(out, "");
  HMODULE resources = App().m_hResourceModule;
  App().m_hResourceModule = nullptr;
  EXPECT_STREQ(LoadResString(238), "");
  App().m_hResourceModule = resources;
}

TEST_F(FrameTest, DispatchPendingMessagesKeepsAQuitRequest) {
  EXPECT_TRUE(DispatchPendingMessages());
  PostMessage(AfxGetMainWnd()->GetSafeHwnd(), WM_NULL, 0, 0);
  EXPECT_TRUE(DispatchPendingMessages());
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  PostQuitMessage(0);
  EXPECT_FALSE(DispatchPendingMessages());
  EXPECT_TRUE(PeekMessage(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(FrameTest, EnableChildControlsLocksAllButStaticTexts) {
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "Settings", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                              nullptr));
  HWND label = CreateWindowEx(0, "Static", "Name", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, parent, nullptr, nullptr, nullptr);
  HWND edit = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE, 60, 0, 90, 20, parent, nullptr, nullptr, nullptr);
  HWND button = CreateWindowEx(0, "Button", "Apply", WS_CHILD | WS_VISIBLE, 0, 30, 60, 20, parent, nullptr, nullptr, nullptr);
  EnableWindow(label, FALSE);
  EXPECT_EQ(EnableChildControls(nullptr, TRUE), 0);

  EXPECT_TRUE(EnableChildControls(&parent, TRUE));
  EXPECT_TRUE(IsWindowEnabled(label));
  EXPECT_FALSE(IsWindowEnabled(edit));
  EXPECT_FALSE(IsWindowEnabled(button));
  EXPECT_TRUE(GetWindowLongPtr(edit, GWL_STYLE) & ES_READONLY);

  EXPECT_TRUE(EnableChildControls(&parent, FALSE));
  EXPECT_TRUE(IsWindowEnabled(edit));
  EXPECT_TRUE(IsWindowEnabled(button));
  EXPECT_FALSE(GetWindowLongPtr(edit, GWL_STYLE) & ES_READONLY);
  parent.DestroyWindow();
}

}  // namespace

namespace {

TEST_F(FrameTest, HelpOpensTheHelpFileBesideTheLibrary) {
  free(const_cast<char*>(App().m_pszHelpFilePath));
  App().m_pszHelpFilePath = strdup(App().m_strModuleFolder + "Zelvane.chm");
  kx::ClearHelpRequests();
  App().ShowHelp(0, 15);
  std::vector<kx::HelpRequest> requests = kx::HelpRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].file, kxtest::BuildDir() + "/lib/Zelvane.chm");
  EXPECT_EQ(requests[0].command, 0u);
}

}  // namespace
