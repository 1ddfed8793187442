// Property sheets driven as a person would: a three-page Wizard97 wizard (Next, Back, Finish, a page that
// refuses Next, Cancel with a confirmation) and a tabbed sheet with Apply.
#include <atomic>
#include <string>

#include "framework/fwtest.h"
#include "support/testroot.h"
#include "support/wizard.h"

using fwtest::FrameworkTest;

namespace {

struct WizardLog {
  std::atomic<int> finishes{0};
  std::string name;
  int remember = 0;
  std::string activations;  // one letter per page activation: W, D, F
};

class WelcomePage : public CPropertyPage {
 public:
  explicit WelcomePage(WizardLog* log) : CPropertyPage(9001), log_(log) { m_psp.dwFlags |= PSP_HIDEHEADER; }
  BOOL OnSetActive() override {
    log_->activations += 'W';
    static_cast<CPropertySheet*>(GetParent())->SetWizardButtons(PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
  }

 private:
  WizardLog* log_;
};

class DetailsPage : public CPropertyPage {
 public:
  explicit DetailsPage(WizardLog* log) : CPropertyPage(9002, 0, 101, 102), log_(log) {}
  void DoDataExchange(CDataExchange* pDX) override {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Text(pDX, 1001, m_name);
    DDX_Check(pDX, 1002, m_remember);
  }
  BOOL OnSetActive() override {
    log_->activations += 'D';
    GetParentSheet()->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
  }
  LRESULT OnWizardNext() override {
    if (!UpdateData(TRUE)) return -1;
    if (m_name.IsEmpty()) {
      AfxMessageBox("Please enter a name.", MB_OK | MB_ICONEXCLAMATION);
      return -1;
    }
    return CPropertyPage::OnWizardNext();
  }
  BOOL OnQueryCancel() override { return AfxMessageBox("Cancel the wizard?", MB_YESNO) == IDYES; }

  CString m_name;
  int m_remember = 0;

 private:
  WizardLog* log_;
};

class DonePage : public CPropertyPage {
 public:
  explicit DonePage(WizardLog* log) : CPropertyPage(9003), log_(log) { m_psp.dwFlags |= PSP_HIDEHEADER; }
  BOOL OnSetActive() override {
    log_->activations += 'F';
    GetParentSheet()->SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    return CPropertyPage::OnSetActive();
  }
  BOOL OnWizardFinish() override {
    ++log_->finishes;
    return CPropertyPage::OnWizardFinish();
  }

 private:
  WizardLog* log_;
};

// Built the way the library's sheet registry builds a wizard: Construct with the bitmaps, wizard mode, then the
// Wizard97 and Help flags.
INT_PTR RunWizard(WizardLog* log, HMODULE kxres) {
  CBitmap watermark, header;
  watermark.Attach(LoadBitmap(kxres, MAKEINTRESOURCE(129)));
  header.Attach(LoadBitmap(kxres, MAKEINTRESOURCE(8255)));
  WelcomePage welcome(log);
  DetailsPage details(log);
  DonePage done(log);
  CPropertySheet sheet;
  CString title;
  title.LoadString(103);
  sheet.Construct(title, nullptr, 0, watermark, nullptr, header);
  sheet.SetWizardMode();
  sheet.m_psh.dwFlags |= PSH_WIZARD97 | PSH_HASHELP;
  sheet.AddPage(&welcome);
  sheet.AddPage(&details);
  sheet.AddPage(&done);
  INT_PTR r = sheet.DoModal();
  log->name = details.m_name.str();
  log->remember = details.m_remember;
  return r;
}

class Sheets : public FrameworkTest {};

TEST_F(Sheets, Wizard97NextBackFinishAndARefusedNext) {
  WizardLog log;
  INT_PTR result = kx::RunWithUi([&] { return RunWizard(&log, KxRes()); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Test Wizard");
    d.WaitForDialog(9001);
    HWND back = d.Control(sheet, ID_WIZBACK), next = d.Control(sheet, ID_WIZNEXT);
    HWND finish = d.Control(sheet, ID_WIZFINISH);
    EXPECT_FALSE(d.IsEnabled(back));
    EXPECT_TRUE(d.IsEnabled(next));
    EXPECT_FALSE(d.IsVisible(finish));
    std::string welcomeShot = fwtest::ShotPath("wizard97-welcome");
    d.SavePng(sheet, welcomeShot);

    d.Click(next);
    HWND details = d.WaitForDialog(9002);
    EXPECT_TRUE(d.IsEnabled(back));
    // Next with an empty name is refused with a message; the page stays.
    d.Click(next);
    EXPECT_EQ(d.AnswerMessageBox(IDOK), "Please enter a name.");
    EXPECT_EQ(d.FindDialog(9002), details);
    d.SetText(d.Control(details, 1001), "Alice");
    d.SetCheck(d.Control(details, 1002), true);
    std::string detailsShot = fwtest::ShotPath("wizard97-details");
    d.SavePng(sheet, detailsShot);

    // Back and forth keeps what was typed.
    d.Click(back);
    d.WaitForDialog(9001);
    d.Click(next);
    d.WaitForDialog(9002);
    EXPECT_EQ(d.Text(d.Control(details, 1001)), "Alice");
    d.Click(next);
    d.WaitForDialog(9003);
    d.WaitUntil([&] { return d.IsVisible(finish) && !d.IsVisible(next); }, "Finish in place of Next");
    EXPECT_TRUE(d.IsEnabled(finish));
    d.SavePng(sheet, fwtest::ShotPath("wizard97-done"));
    d.Click(finish);
    d.WaitForGone(sheet);

    // The exterior page shows the watermark on its left, the interior one a white header above the page.
    int w = 0, h = 0;
    ASSERT_TRUE(fwtest::PngSize(welcomeShot, &w, &h));
    EXPECT_GT(w, 400);
    COLORREF wm = fwtest::PngPixel(welcomeShot, 20, 200);
    EXPECT_GT(GetBValue(wm), GetRValue(wm) + 40) << std::hex << wm;
    COLORREF head = fwtest::PngPixel(detailsShot, w / 2, 30);
    EXPECT_EQ(head, RGB(255, 255, 255)) << std::hex << head;
  });
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_EQ(log.finishes.load(), 1);
  EXPECT_EQ(log.name, "Alice");
  EXPECT_EQ(log.remember, 1);
  EXPECT_EQ(log.activations, "WDWDF");
}

TEST_F(Sheets, WizardCancelAsksFirst) {
  WizardLog log;
  INT_PTR result = kx::RunWithUi([&] { return RunWizard(&log, KxRes()); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Test Wizard");
    kxtest::PressNext(d, sheet);
    d.WaitForDialog(9002);
    HWND cancel = d.Control(sheet, IDCANCEL);
    d.Click(cancel);
    EXPECT_EQ(d.AnswerMessageBox(IDNO), "Cancel the wizard?");
    EXPECT_NE(d.FindDialog(9002), nullptr);
    // Escape is Cancel too.
    d.PressKey(VK_ESCAPE);
    EXPECT_EQ(d.AnswerMessageBox(IDYES), "Cancel the wizard?");
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(log.finishes.load(), 0);
}

struct TabLog {
  std::atomic<int> applies{0};
  std::atomic<int> resets{0};
  std::string title;
  int keep = 0;
};

class GeneralPage : public CPropertyPage {
 public:
  explicit GeneralPage(TabLog* log) : CPropertyPage(9101, 104), log_(log) {}
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 1101, m_title); }
  BOOL OnApply() override {
    ++log_->applies;
    log_->title = m_title.str();
    return CPropertyPage::OnApply();
  }
  void OnReset() override { ++log_->resets; }
  afx_msg void OnTitleChange() { SetModified(TRUE); }
  CString m_title = "first";

 private:
  TabLog* log_;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(GeneralPage, CPropertyPage)
  ON_EN_CHANGE(1101, OnTitleChange)
END_MESSAGE_MAP()

class OptionsPage : public CPropertyPage {
 public:
  explicit OptionsPage(TabLog* log) : CPropertyPage(9102, 105), log_(log) {}
  void DoDataExchange(CDataExchange* pDX) override { DDX_Check(pDX, 1201, m_keep); }
  BOOL OnApply() override {
    log_->keep = m_keep;
    return CPropertyPage::OnApply();
  }
  afx_msg void OnKeep() { SetModified(TRUE); }
  int m_keep = 0;

 private:
  TabLog* log_;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OptionsPage, CPropertyPage)
  ON_BN_CLICKED(1201, OnKeep)
END_MESSAGE_MAP()

INT_PTR RunTabbed(TabLog* log) {
  GeneralPage general(log);
  OptionsPage options(log);
  CPropertySheet sheet(106u);
  sheet.AddPage(&general);
  sheet.AddPage(&options);
  return sheet.DoModal();
}

TEST_F(Sheets, TabbedSheetWithApply) {
  TabLog log;
  INT_PTR result = kx::RunWithUi([&] { return RunTabbed(&log); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Tabbed Sheet");
    HWND general = d.WaitForDialog(9101);
    HWND apply = d.Control(sheet, ID_APPLY_NOW);
    EXPECT_FALSE(d.IsEnabled(apply));
    EXPECT_EQ(d.Text(d.Control(general, 1101)), "first");
    d.SetText(d.Control(general, 1101), "second");
    d.WaitForEnabled(apply);
    d.Click(apply);
    d.WaitForEnabled(apply, false);
    EXPECT_EQ(log.applies.load(), 1);
    EXPECT_EQ(log.title, "second");

    // The second tab.
    HWND tab = d.Control(sheet, KX_ID_TABCONTROL);
    RECT item{};
    d.Invoke(tab, [&] { SendMessage(tab, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)); });
    d.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
    HWND options = d.WaitForDialog(9102);
    EXPECT_EQ(d.FindDialog(9101), nullptr);
    d.SetCheck(d.Control(options, 1201), true);
    d.WaitForEnabled(apply);
    d.SavePng(sheet, fwtest::ShotPath("tabbed-options"));
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(log.applies.load(), 2);
  EXPECT_EQ(log.keep, 1);
  EXPECT_EQ(log.resets.load(), 0);
}

TEST_F(Sheets, TabbedSheetCancelResetsThePages) {
  TabLog log;
  INT_PTR result = kx::RunWithUi([&] { return RunTabbed(&log); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Tabbed Sheet");
    d.WaitForDialog(9101);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(log.applies.load(), 0);
  EXPECT_EQ(log.resets.load(), 1);
}

INT_PTR CALLBACK PlainPageProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

TEST_F(Sheets, PageFromAnInMemoryTemplateIsAChildDialogWithItsTemplateId) {
  // A copy of a numbered template carries its id; the copy, styled as a dialog box and given an id of its own,
  // becomes a child page of the sheet that reports that id.
  const kx::DialogTemplate* stored = kx::FindDialogTemplate(Pages(), MAKEINTRESOURCE(9101));
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->templateId, 9101u);
  kx::DialogTemplate t = *stored;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_VISIBLE;
  t.templateId = 9555;
  PROPSHEETPAGE psp{};
  psp.dwSize = sizeof psp;
  psp.dwFlags = PSP_DLGINDIRECT;
  psp.hInstance = Pages();
  psp.pResource = &t;
  psp.pfnDlgProc = &PlainPageProc;
  PROPSHEETHEADER header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.pszCaption = "Indirect";
  header.nPages = 1;
  header.ppsp = &psp;
  INT_PTR result = kx::RunWithUi([&] { return PropertySheet(&header); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Indirect");
    HWND page = d.WaitForDialog(9555);
    EXPECT_EQ(GetParent(page), sheet);
    DWORD style = static_cast<DWORD>(GetWindowLongPtr(page, GWL_STYLE));
    EXPECT_EQ(style & (WS_CHILD | WS_POPUP | WS_CAPTION | DS_MODALFRAME), static_cast<DWORD>(WS_CHILD));
    EXPECT_EQ(d.Send(sheet, PSM_IDTOINDEX, 0, 9555), 0);
    d.SetText(d.Control(page, 1101), "typed");
    EXPECT_EQ(d.Text(d.Control(page, 1101)), "typed");
    d.Click(d.Control(sheet, IDOK));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
}

TEST_F(Sheets, NoPagesNoSheet) {
  CPropertySheet sheet("Empty");
  EXPECT_EQ(sheet.DoModal(), -1);
  EXPECT_EQ(sheet.GetPageCount(), 0);
}

}  // namespace
