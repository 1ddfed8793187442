// The sheet registry, the base sheet, the finish page and the application object's sheet and message boxes.
#include <memory>
#include <string>
#include <vector>

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "app/frame_fixture.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxstate.h"
#include "platform/ui/prsht.h"
#include "signing/SignSheet.h"
#include "support/wizard.h"

namespace {

using frametest::AnswerPage;
using frametest::App;
using frametest::FrameTest;
using frametest::Page;
using frametest::Shot;

constexpr UINT kFirstPage = 9001;
constexpr UINT kSecondPage = 9002;
constexpr UINT kThirdPage = 9003;

std::unique_ptr<CBaseSheet> MakeSheet(const char* name, BYTE* made = nullptr) {
  CFormsObjectProvider provider;
  CBaseSheet* sheet = reinterpret_cast<CBaseSheet*>(1);
  BYTE result = provider.CreateSheetByName(name, nullptr, &sheet);
  if (made) *made = result;
  return std::unique_ptr<CBaseSheet>(sheet);
}

TEST_F(FrameTest, TheRegistryHoldsTheTwentyOneSheetsInTheirOrder) {
  const std::vector<std::string> order = {
      "CSignSheet", "CCertSheet", "CEmbeddedConfigMgr", "CSignManagerSheet", "COneClickSheet", "CAuditSheet",
      "CSysProfileSheet", "COneClickViewSheet", "CSummarySheet", "CArchiveSheet", "CCWizard",
      "CUniversalSignSheet", "CEncryptionWizard", "CPackageSheet", "CPfxWizard", "CCodeSignWizard",
      "CXQProfileWizard", "CMailSummarySheet", "CEmbeddedSecurityPolicySheet", "CUserProfileSetupWizard",
      "CSelTrustPointsSheet"};
  for (int round = 0; round < 3; ++round) {
    if (round == 2) ResetSheetRegistry();
    std::vector<std::string> names;
    for (const SheetClassRecord* r : GetSheetRegistry().m_records) names.emplace_back(r->m_pszClassName);
    EXPECT_EQ(names, order) << "round " << round;
  }
  // After a reset a sheet is still made by name.
  ResetSheetRegistry();
  EXPECT_NE(MakeSheet("CSignSheet"), nullptr);
  EXPECT_EQ(GetSheetRegistry().m_records.size(), 21u);
}

TEST_F(FrameTest, EveryRecordCarriesItsTitleBitmapsAndParent) {
  struct Row {
    const char* name;
    const char* title;
    BYTE wizard;
    UINT watermark, header;
    const char* parent;
  };
  const Row rows[] = {
      {"CArchiveSheet", "Archive Wizard", 1, 8258, 8255, "CBaseSheet"},
      {"CAuditSheet", "Auditing And Event Log", 0, 0, 0, "CBaseSheet"},
      {"CCertSheet", "Certificate Manager", 0, 0, 0, "CBaseSheet"},
      {"CCWizard", "Certificate Generator", 1, 8259, 8260, "CBaseSheet"},
      {"CEmbeddedConfigMgr", "Configuration Manager", 0, 0, 0, "CBaseSheet"},
      {"COneClickSheet", "One Click Forms", 1, 1010, 8255, "CSignSheet"},
      {"COneClickViewSheet", "One Click Information", 0, 0, 0, "CBaseSheet"},
      {"CSelTrustPointsSheet", "Trust Points", 0, 0, 0, "CBaseSheet"},
      {"CSignManagerSheet", "Sign Man Forms", 1, 166, 8256, "CBaseSheet"},
      {"CSignSheet", "Signer Wizard", 1, 129, 8255, "CBaseSheet"},
      {"CUniversalSignSheet", "Universal Signer Wizard", 1, 129, 8255, "CSignSheet"},
      {"CSummarySheet", "Tolvex File Information", 0, 0, 0, "CBaseSheet"},
      {"CMailSummarySheet", "MailTolvex Information", 0, 0, 0, "CSummarySheet"},
      {"CSysProfileSheet", "System Profile", 0, 0, 0, "CBaseSheet"},
      {"CCodeSignWizard", "Code Signer Wizard", 1, 1133, 1132, "CBaseSheet"},
      {"CEncryptionWizard", "Certificate Importer", 1, 1127, 8260, "CBaseSheet"},
      {"CPackageSheet", "Package Wizard", 1, 1129, 1128, "CBaseSheet"},
      {"CPfxWizard", "Certificate Importer", 1, 1131, 1130, "CBaseSheet"},
      {"CXQProfileWizard", "MailTolvex Profile", 1, 1140, 1141, "CSignSheet"},
      {"CUserProfileSetupWizard", "User Setup", 1, 1150, 1141, "CBaseSheet"},
      {"CEmbeddedSecurityPolicySheet", "Vorlind Intelligence Policy Manager", 0, 0, 0, "CBaseSheet"},
  };
  ASSERT_EQ(std::size(rows), GetSheetRegistry().m_records.size());
  // Some sheets hold engine objects from construction, as they do once the library has started.
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  struct Uninit {
    ~Uninit() { CoUninitialize(); }
  } uninit;
  for (const Row& row : rows) {
    const SheetClassRecord* record = nullptr;
    for (const SheetClassRecord* r : GetSheetRegistry().m_records)
      if (std::string(r->m_pszClassName) == row.name) record = r;
    ASSERT_NE(record, nullptr) << row.name;
    EXPECT_STREQ(record->m_szTitle, row.title) << row.name;
    EXPECT_EQ(record->m_bWizard, row.wizard) << row.name;
    EXPECT_EQ(record->m_nWatermarkId, row.watermark) << row.name;
    EXPECT_EQ(record->m_nHeaderId, row.header) << row.name;
    ASSERT_NE(record->m_pParent, nullptr) << row.name;
    EXPECT_STREQ(record->m_pParent->m_pszClassName, row.parent) << row.name;
    // Every sheet the record makes answers with that record.
    std::unique_ptr<CBaseSheet> sheet(record->CreateSheet(nullptr));
    ASSERT_NE(sheet, nullptr) << row.name;
    EXPECT_EQ(sheet->GetSheetClass(), record) << row.name;
  }
  EXPECT_EQ(CBaseSheet::sheetClassCBaseSheet.m_pParent, nullptr);
  EXPECT_STREQ(CBaseSheet::sheetClassCBaseSheet.m_szTitle, "Office Tolvex");
}

TEST_F(FrameTest, SheetsAreMadeByNameInAnyLetterCaseButNeverTheBaseSheet) {
  for (const char* name : {"csignsheet", "CSIGNSHEET", "CSignSheet"}) {
    BYTE made = 0;
    auto sheet = MakeSheet(name, &made);
    EXPECT_EQ(made, 1) << name;
    ASSERT_NE(dynamic_cast<CSignSheet*>(sheet.get()), nullptr) << name;
    // A wizard: Wizard97 frame with help, its pictures and caption from the resource library, its pages added.
    EXPECT_EQ(sheet->m_psh.dwFlags & (PSH_WIZARD | PSH_WIZARD97 | PSH_HASHELP),
              static_cast<DWORD>(PSH_WIZARD | PSH_WIZARD97 | PSH_HASHELP));
    EXPECT_EQ(sheet->m_psh.hInstance, AfxGetResourceHandle());
    EXPECT_STREQ(sheet->m_psh.pszCaption, "Signer Wizard");
    EXPECT_NE(sheet->m_bmpWatermark.GetSafeHandle(), nullptr);
    EXPECT_NE(sheet->m_bmpHeader.GetSafeHandle(), nullptr);
    EXPECT_GT(sheet->GetPageCount(), 0);
    EXPECT_EQ(sheet->m_bHosted, 1);
  }
  for (const char* name : {"CBaseSheet", "cbasesheet", "CNoSuchSheet", ""}) {
    BYTE made = 1;
    auto sheet = MakeSheet(name, &made);
    EXPECT_EQ(made, 0) << name;
    EXPECT_EQ(sheet, nullptr) << name;
  }
  // Any other sheet: the Help button only; its creator adds the pages.
  auto audit = MakeSheet("CAuditSheet");
  ASSERT_NE(audit, nullptr);
  EXPECT_EQ(audit->m_psh.dwFlags & (PSH_WIZARD | PSH_WIZARD97 | PSH_HASHELP), static_cast<DWORD>(PSH_HASHELP));
  EXPECT_EQ(audit->GetPageCount(), 0);
}

TEST_F(FrameTest, AWizardWhosePicturesAreMissingIsNotMade) {
  // Resources served by the test program itself, which has no pictures.
  HINSTANCE resources = AfxGetResourceHandle();
  AfxSetResourceHandle(GetModuleHandle(nullptr));
  BYTE made = 1;
  auto wizard = MakeSheet("CPackageSheet", &made);
  AfxSetResourceHandle(resources);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(wizard, nullptr);
}

// A wizard with one page of its own before the finish page, made the way the registry makes wizards.
class CTestWizard : public CBaseSheet {
 public:
  CTestWizard(LPCSTR caption, CWnd* parent, UINT page) : CBaseSheet(caption, parent, page), m_First(kFirstPage) {
    m_Finish.m_nFinishCode = 101;
  }
  static CBaseSheet* Create(CWnd* parent) { return new CTestWizard(record.m_szTitle, parent, 0); }
  BOOL AddPages() override {
    m_First.m_psp.dwFlags |= PSP_USEHEADERTITLE;
    m_First.m_strHeaderTitle = "Files";
    m_First.m_strHeaderSubTitle = "Choose the files to protect.";
    AddTabPage(&m_First);
    AddTabPage(&m_Finish);
    return TRUE;
  }
  static const SheetClassRecord record;
  CPropertyPage m_First;
  CFinishPage m_Finish;
};
const SheetClassRecord CTestWizard::record("CTestWizard", &CTestWizard::Create, SHEET_CLASS(CBaseSheet),
                                           "Test Wizard", 1, 129, 8255);

// Runs the test wizard hosted or not; the finish notice the main window got, or -1.
INT_PTR RunTestWizard(BYTE hosted, const std::function<void(kx::UiDriver&, HWND)>& script, WPARAM* notice) {
  std::unique_ptr<CBaseSheet> sheet(CTestWizard::record.CreateSheet(AfxGetMainWnd()));
  EXPECT_NE(sheet, nullptr);
  if (!sheet) return -1;
  sheet->m_bHosted = hosted;
  INT_PTR result = kx::RunWithUiHere([&] { return sheet->DoModal(); },
                                     [&](kx::UiDriver& d) { script(d, d.WaitForTitle("Test Wizard")); });
  MSG msg;
  *notice = static_cast<WPARAM>(-1);
  if (PeekMessage(&msg, AfxGetMainWnd()->GetSafeHwnd(), WM_WIZARD_FINISHED, WM_WIZARD_FINISHED, PM_REMOVE))
    *notice = msg.wParam;
  return result;
}

TEST_F(FrameTest, TheFinishPageOffersFinishAndOnlyAHostedWizardNotifiesTheHost) {
  FrameTest::RegisterPageTemplate(kFirstPage, "Files", "The files to protect.");
  for (BYTE hosted : {0, 1}) {
    WPARAM notice = 0;
    INT_PTR result = RunTestWizard(
        hosted,
        [&](kx::UiDriver& d, HWND sheet) {
          Page(d, sheet, kFirstPage);
          // A hosted wizard leaves Cancel to its host.
          EXPECT_EQ(d.IsVisible(d.Control(sheet, IDCANCEL)), !hosted);
          if (!hosted) d.SavePng(sheet, Shot("wizard-interior-page"));
          kxtest::PressNext(d, sheet);
          HWND finish = Page(d, sheet, CFinishPage::IDD);
          HWND button = d.Control(sheet, ID_WIZFINISH);
          d.WaitForEnabled(button);
          EXPECT_TRUE(d.IsVisible(button));
          EXPECT_FALSE(d.IsVisible(d.Control(sheet, ID_WIZNEXT)));
          EXPECT_EQ(d.Text(d.Control(finish, 1058)),
                    "The signer wizard has finished its work on your files. Click Finish to close the wizard.");
          EXPECT_EQ(d.Text(d.Control(finish, 1059)), "https://kesmora.example/");
          if (!hosted) d.SavePng(sheet, Shot("wizard-finish-page"));
          d.Click(button);
          d.WaitForGone(sheet);
        },
        &notice);
    EXPECT_EQ(result, ID_WIZFINISH);
    if (hosted) EXPECT_EQ(notice, 101u);
    else EXPECT_EQ(notice, static_cast<WPARAM>(-1));
  }
}

TEST_F(FrameTest, FinishTextsByCode) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {101, "The signer wizard has finished its work on your files. Click Finish to close the wizard."},
      {104, "Your signature has been saved. Click Finish to close the wizard."},
      {105, "Your one-click settings have been saved. Click Finish to close the wizard."},
      {106, "The operation has been completed. Click Finish to close the wizard."},
      {108, "The encryption wizard has finished its work on your files. Click Finish to close the wizard."},
      {107, ""}, {109, ""}, {110, ""}, {111, ""}, {0, ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(CFinishPage::MessageFor(c.code), c.text) << c.code;
}

TEST_F(FrameTest, ANonHostedWizardsCancelIsConfirmedAndAHostedOnesIsNot) {
  FrameTest::RegisterPageTemplate(kFirstPage, "Files", "The files to protect.");
  WPARAM notice = 0;
  INT_PTR result = RunTestWizard(
      0,
      [&](kx::UiDriver& d, HWND sheet) {
        Page(d, sheet, kFirstPage);
        d.Click(d.Control(sheet, IDCANCEL));
        EXPECT_EQ(AnswerPage(d, "No"), LoadResString(282).GetString());
        EXPECT_TRUE(d.IsVisible(sheet));
        d.Click(d.Control(sheet, IDCANCEL));
        AnswerPage(d, "Yes");
        d.WaitForGone(sheet);
      },
      &notice);
  EXPECT_EQ(result, IDCANCEL);
}

// A tabbed sheet with a header banner and three pages.
class CTestSheet : public CBaseSheet {
 public:
  CTestSheet() : CBaseSheet("Test Sheet", nullptr, 0), m_a(kFirstPage), m_b(kSecondPage), m_c(kThirdPage) {}
  BOOL AddPages() override {
    AddPageWithIcon(&m_a, 0, "General", "Settings that apply everywhere.");
    AddPageWithIcon(&m_b, 0, "Files", "Where the protected files go.");
    AddPageWithIcon(&m_c, 0, "Audit", "What the audit log keeps.");
    return TRUE;
  }
  CPropertyPage m_a, m_b, m_c;
};

TEST_F(FrameTest, TheHeaderBannerFollowsTheActivePageAndPageKeysCycle) {
  FrameTest::RegisterPageTemplate(kFirstPage, "General", "The first page.");
  FrameTest::RegisterPageTemplate(kSecondPage, "Files", "The second page.");
  FrameTest::RegisterPageTemplate(kThirdPage, "Audit", "The third page.");
  for (BOOL pageKeys : {TRUE, FALSE}) {
    CTestSheet sheet;
    sheet.m_bHosted = 0;
    sheet.m_bPageKeys = pageKeys;
    sheet.EnableHeader(TRUE);
    sheet.AddPages();
    kx::RunWithUiHere([&] { return sheet.DoModal(); }, [&](kx::UiDriver& d) {
      HWND hwnd = d.WaitForTitle("Test Sheet");
      Page(d, hwnd, kFirstPage);
      HWND banner = sheet.m_Banner.GetSafeHwnd();
      ASSERT_NE(banner, nullptr);
      RECT rb, rt;
      GetWindowRect(banner, &rb);
      GetWindowRect(sheet.GetTabControl()->GetSafeHwnd(), &rt);
      EXPECT_EQ(rb.bottom - rb.top, 60);
      EXPECT_GE(rt.top, rb.bottom);
      if (pageKeys) d.SavePng(hwnd, Shot("sheet-with-banner"));
      // PageDown goes back (from the first page to the last), PageUp forward; only PageDown obeys the switch.
      d.Focus(d.Control(Page(d, hwnd, kFirstPage), 1001));
      d.PressKey(VK_NEXT);
      if (pageKeys) {
        Page(d, hwnd, kThirdPage);
        d.WaitUntil([&] { return sheet.GetActiveIndex() == 2; }, "the last page");
        d.PressKey(VK_PRIOR);
        d.WaitUntil([&] { return sheet.GetActiveIndex() == 0; }, "the first page again");
      } else {
        d.PressKey(VK_PRIOR);
        d.WaitUntil([&] { return sheet.GetActiveIndex() == 1; }, "the next page");
      }
      // A tab clicked: the banner names its page, which lies below the banner with the tab control.
      HWND tab = sheet.GetTabControl()->GetSafeHwnd();
      RECT item{};
      SendMessage(tab, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
      d.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
      HWND audit = Page(d, hwnd, kThirdPage);
      d.WaitUntil([&] { return sheet.GetActiveIndex() == 2; }, "the clicked tab's page");
      EXPECT_EQ(sheet.m_Banner.GetTitle().str(), "Audit");
      RECT rp;
      GetWindowRect(audit, &rp);
      EXPECT_GT(rp.top, rb.bottom);
      d.Click(d.Control(hwnd, IDOK));
      d.WaitForGone(hwnd);
    });
  }
}

TEST_F(FrameTest, TheSheetsOwnMessageBoxKnowsOkAndYesNoOnly) {
  CTestSheet sheet;
  EXPECT_EQ(sheet.ShowMessage("Ignored", MB_OKCANCEL), 0);
  EXPECT_EQ(sheet.ShowMessage("Ignored", MB_RETRYCANCEL), 0);
}

TEST_F(FrameTest, ShowSheetFindsTheSheetInAnyCaseAndRunsItUnderTheMainWindow) {
  INT_PTR result = kx::RunWithUiHere(
      [&] {
        App().ShowSheet("cpfxwizard", 1, 1, 0, "Import a Certificate", 0);
        return INT_PTR(1);
      },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Import a Certificate");
        Page(d, sheet, 30018);  // the importer's file page
        d.Click(d.Control(sheet, IDCANCEL));
        AnswerPage(d, "Yes");
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, 1);
  // A name that no record has shows nothing.
  App().ShowSheet("CNoSuchSheet", 1, 1, 0, nullptr, 0);
}

}  // namespace
