// The label and the hyperlink of the pages: blinking, fonts, colours, and what a click opens.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/frame_fixture.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "platform/mfc/afxstate.h"
#include "platform/mfc/dialog.h"
#include "platform/win32/registry.h"

namespace {

using frametest::AnswerPage;
using frametest::FrameTest;

constexpr UINT kDialog = 9100;
constexpr int kDone = 100, kFolder = 101, kPlain = 102, kLink = 103;

class CLabelsDialog : public CDialog {
 public:
  CLabelsDialog() : CDialog(kDialog) {}
  CLabelCtrl m_done, m_folder, m_plain;
  CHyperlinkCtrl m_link;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kDone, m_done);
    DDX_Control(pDX, kFolder, m_folder);
    DDX_Control(pDX, kPlain, m_plain);
    DDX_Control(pDX, kLink, m_link);
  }
};

// Programs the desktop opener runs record their arguments, one a line.
class LabelsTest : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    kx::DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    t.title = "Labels";
    t.cx = 260;
    t.cy = 120;
    auto item = [](int id, const std::string& text, short y, DWORD style) {
      kx::DialogItemTemplate i;
      i.className = "Static";
      i.id = id;
      i.text = text;
      i.x = 10;
      i.y = y;
      i.cx = 230;
      i.cy = 12;
      i.style |= style;
      return i;
    };
    folder_ = kxtest::MakeTempDir("documents");
    program_ = folder_ + "/tool";
    kxtest::WriteFile(program_, "#!/bin/sh\n");
    chmod(program_.c_str(), 0755);
    kx::DialogItemTemplate close;
    close.className = "Button";
    close.text = "Close";
    close.id = IDCANCEL;
    close.x = 200;
    close.y = 100;
    close.cx = 50;
    close.cy = 14;
    t.items = {item(kDone, "Done", 10, 0), item(kFolder, folder_, 30, SS_NOTIFY), item(kPlain, folder_, 50, 0),
               item(kLink, "Visit us", 70, 0), close};
    kx::RegisterDialogTemplate(Resources(), MAKEINTRESOURCE(kDialog), t);

    record_ = kxtest::Root() + "/opened.txt";
    recorder_ = kxtest::Root() + "/recorder.sh";
    kxtest::WriteFile(recorder_, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record_ +
                                     ".part'\nmv '" + record_ + ".part' '" + record_ + "'\n");
    chmod(recorder_.c_str(), 0755);
    setenv("KX_DESKTOP_OPENER", recorder_.c_str(), 1);
    setenv("DISPLAY", ":kxtest", 1);
  }
  void TearDown() override {
    unsetenv("KX_DESKTOP_OPENER");
    unsetenv("DISPLAY");
    FrameTest::TearDown();
  }
  // What the opener was given, once it ran (empty when it did not run in time).
  std::string Opened(int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
      struct stat st{};
      if (stat(record_.c_str(), &st) == 0) {
        std::string s = kxtest::ReadFile(record_);
        unlink(record_.c_str());
        return s;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "";
  }
  INT_PTR Run(CLabelsDialog& dialog, const std::function<void(kx::UiDriver&, HWND)>& script) {
    return kx::RunWithUiHere([&] { return dialog.DoModal(); }, [&](kx::UiDriver& d) {
      HWND box = d.WaitForDialog(kDialog);
      script(d, box);
      d.Click(d.Control(box, IDCANCEL));
    });
  }

  std::string folder_, program_, record_, recorder_;
};

TEST_F(LabelsTest, BlinkingShowsAndHidesTheTextAndStoppingKeepsTheLatestText) {
  CLabelsDialog dialog;
  Run(dialog, [&](kx::UiDriver& d, HWND box) {
    HWND done = d.Control(box, kDone);
    d.Invoke(done, [&] { dialog.m_done.FlashText(TRUE); });
    d.WaitForText(done, "");
    d.WaitForText(done, "Done");
    d.WaitForText(done, "");
    d.Invoke(done, [&] { dialog.m_done.FlashText(FALSE); });
    EXPECT_EQ(d.Text(done), "Done");
    EXPECT_FALSE(dialog.m_done.IsBlinking());
    // A text set after stopping survives the next start and stop.
    d.Invoke(done, [&] {
      dialog.m_done.SetWindowText("Saved");
      dialog.m_done.FlashText(TRUE);
      dialog.m_done.FlashText(TRUE);
    });
    d.WaitForText(done, "");
    d.Invoke(done, [&] { dialog.m_done.FlashText(FALSE); });
    EXPECT_EQ(d.Text(done), "Saved");
  });
}

TEST_F(LabelsTest, FontSettersChangeTheDescription) {
  CLabelCtrl label;
  label.SetFontSize(12);
  EXPECT_EQ(label.GetFontDescription().lfHeight, -12);
  label.SetFontBold(TRUE);
  EXPECT_EQ(label.GetFontDescription().lfWeight, 700);
  label.SetFontBold(FALSE);
  EXPECT_EQ(label.GetFontDescription().lfWeight, 400);
  label.SetFontName("A face name that is far longer than thirty-one characters");
  EXPECT_EQ(std::string(label.GetFontDescription().lfFaceName), "A face name that is far longer ");
}

TEST_F(LabelsTest, AClickOpensTheLabelsFolderOnlyWithNotifyAndNeverRunsAProgram) {
  CLabelsDialog dialog;
  Run(dialog, [&](kx::UiDriver& d, HWND box) {
    // Without SS_NOTIFY a click goes through the label to the dialog.
    RECT plain;
    GetWindowRect(d.Control(box, kPlain), &plain);
    POINT at{plain.left + 5, plain.top + 5};
    ScreenToClient(box, &at);
    d.ClickAt(box, at.x, at.y);
    d.Click(d.Control(box, kFolder));
    EXPECT_EQ(Opened(), folder_ + "\n");
    EXPECT_EQ(Opened(300), "");
    // A label showing a program opens the program's folder instead.
    d.Invoke(box, [&] { dialog.m_folder.SetWindowText(program_.c_str()); });
    // Far enough from the first click not to make a double click.
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    d.Click(d.Control(box, kFolder));
    EXPECT_EQ(Opened(), folder_ + "\n");
  });
}

TEST_F(LabelsTest, HyperlinkSizesToItsTextHoversAndIsVisitedAfterAnOpen) {
  CLabelsDialog dialog;
  Run(dialog, [&](kx::UiDriver& d, HWND box) {
    HWND link = d.Control(box, kLink);
    EXPECT_STREQ(dialog.m_link.GetUrl(), "Visit us");
    // The window is as wide as its text in the underlined font.
    CSize extent;
    d.Invoke(link, [&] {
      CClientDC dc(&dialog.m_link);
      CFont* font = dialog.m_link.GetFont();
      CFont* old = font ? dc.SelectObject(font) : nullptr;
      extent = dc.GetTextExtent("Visit us");
      if (old) dc.SelectObject(old);
    });
    RECT rc;
    GetWindowRect(link, &rc);
    EXPECT_EQ(rc.right - rc.left, extent.cx);
    EXPECT_EQ(dialog.m_link.CurrentColour(), RGB(0, 0, 238));

    d.MouseMoveTo(link, 2, 2);
    d.WaitUntil([&] { return dialog.m_link.IsOver() == TRUE; }, "hovering");
    EXPECT_EQ(dialog.m_link.CurrentColour(), RGB(255, 0, 0));
    d.MouseMoveTo(box, 5, 5);
    d.WaitUntil([&] { return dialog.m_link.IsOver() == FALSE; }, "left");

    d.Invoke(link, [&] { dialog.m_link.SetUrl("https://kesmora.example/a b;c"); });
    d.Click(link);
    EXPECT_EQ(Opened(), "https://kesmora.example/a b;c\n");
    d.WaitUntil([&] { return dialog.m_link.IsVisited() == TRUE; }, "visited");
    EXPECT_EQ(dialog.m_link.CurrentColour(), RGB(85, 26, 139));
  });
}

TEST_F(LabelsTest, AnOpenThatFailsIsReportedAndTheFallbackGetsTheAddressAsOneArgument) {
  unsetenv("DISPLAY");
  CLabelsDialog dialog;
  Run(dialog, [&](kx::UiDriver& d, HWND box) {
    d.Invoke(box, [&] { dialog.m_link.SetUrl("https://kesmora.example/"); });
    d.Click(d.Control(box, kLink));
    EXPECT_EQ(AnswerPage(d, "OK"), "The link could not be opened:\n\nNo program is set up to open this kind of file.");
    EXPECT_FALSE(dialog.m_link.IsVisited());
  });

  // The program registered for ".htm" files gets the address as its one argument, whatever it holds.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, ".htm", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  RegSetValue(key, nullptr, REG_SZ, "kxpage", 6);
  RegCloseKey(key);
  for (const std::string& command : {"\"" + recorder_ + "\" --new \"%1\"", recorder_ + " --new %1", recorder_ + " --new"}) {
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, "kxpage\\shell\\open\\command", 0, nullptr, 0, KEY_WRITE, nullptr,
                             &key, nullptr),
              0);
    RegSetValue(key, nullptr, REG_SZ, command.c_str(), static_cast<DWORD>(command.size()));
    RegCloseKey(key);
    EXPECT_GT(CHyperlinkCtrl::OpenUrl("https://x.example/a b\"; rm -rf ~", SW_SHOW), 32) << command;
    EXPECT_EQ(Opened(), "--new\nhttps://x.example/a b\"; rm -rf ~\n") << command;
  }
}

TEST(Hyperlink, ErrorTexts) {
  EXPECT_STREQ(CHyperlinkCtrl::ErrorText(7), "Unknown Error (7) occurred.");
}

TEST_F(FrameTest, HyperlinkErrorTextsComeFromTheResourceLibrary) {
  EXPECT_STREQ(CHyperlinkCtrl::ErrorText(2), "The file was not found.");
  EXPECT_STREQ(CHyperlinkCtrl::ErrorText(31), "No program is set up to open this kind of file.");
  EXPECT_STREQ(CHyperlinkCtrl::ErrorText(0), "The system is out of memory or resources.");
}

}  // namespace
