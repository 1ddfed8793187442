// The profile list dialog through its exports (list and selection mode) and the system profile sheet's page
// that opens it: rows and marks, choosing, deleting, the default profile, and the machine policy's locks.
#include <sys/stat.h>

#include "app/pages.h"
#include "core/SecurityPolicy.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "profiles/profiles_fixture.h"

extern "C" int DisplayProfileList(int);
extern "C" int SelectProfile(int, int* profileIndex);
extern "C" int DisplaySystemProfile(HWND parent);
extern "C" int DisplaySystemProfileForCAC(HWND parent);

using namespace profiletest;
using kxtest::AnswerPage;
using kxtest::Page;

namespace {

bool Exists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

class ProfileList : public ProfileTest {
 protected:
  // The dialog of the list export, the script beside it.
  static void ShowList(const std::function<void(kx::UiDriver&, HWND dialog)>& script) {
    INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayProfileList(0)); }, [&](kx::UiDriver& d) {
      HWND dialog = d.WaitForDialog(30041);
      script(d, dialog);
      if (IsWindow(dialog)) {
        d.Click(d.Control(dialog, IDCANCEL));
        d.WaitForGone(dialog);
      }
    });
    EXPECT_EQ(result, 1);
  }
  // SelectProfile's result and the index it gave.
  static std::pair<INT_PTR, int> Select(const std::function<void(kx::UiDriver&, HWND dialog)>& script) {
    int index = 42;
    INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(SelectProfile(0, &index)); }, [&](kx::UiDriver& d) {
      script(d, d.WaitForDialog(30041));
    });
    return {result, index};
  }
  static std::vector<std::string> Row(kx::UiDriver& d, HWND list, int row) {
    kx::ControlDriver c(d);
    std::vector<std::string> texts;
    for (int col = 0; col < 4; ++col) texts.push_back(c.ListText(list, row, col));
    return texts;
  }
  static bool Marked(kx::UiDriver& d, HWND list, int row) {
    LRESULT state = 0;
    d.Invoke(list, [&] { state = SendMessage(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK); });
    return (state >> 12) == 2;
  }
};

TEST_F(ProfileList, AnEmptyListOffersOnlyNewAndSelectsNothing) {
  ShowList([&](kx::UiDriver& d, HWND dialog) {
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(d.Control(dialog, 1033)), 0);
    EXPECT_FALSE(d.IsEnabled(d.Control(dialog, 1237)));
    EXPECT_FALSE(d.IsEnabled(d.Control(dialog, 1012)));
    EXPECT_TRUE(d.IsEnabled(d.Control(dialog, 1050)));
    EXPECT_FALSE(d.IsVisible(d.Control(dialog, IDOK)));
  });
  auto [result, index] = Select([&](kx::UiDriver& d, HWND dialog) {
    EXPECT_EQ(d.Text(dialog), Text(636));
    for (int id : {1050, 1237, 1012, 1051}) EXPECT_FALSE(d.IsVisible(d.Control(dialog, id))) << id;
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(index, -1);
}

TEST_F(ProfileList, RowsShowEachProfileAndOnlyACompleteOneCanBeChosen) {
  StoreProfile("Drafts", "draft@example.com", false);
  StoreProfile("Office", "alice@example.com");
  CMailProfileList list = Stored();
  list.GetAt(1).m_bBlockForward = 1;
  ASSERT_TRUE(list.SaveList());
  auto [result, index] = Select([&](kx::UiDriver& d, HWND dialog) {
    HWND rows = d.Control(dialog, 1033);
    d.SavePng(dialog, frametest::Shot("profile-list"));
    EXPECT_EQ(Row(d, rows, 0), (std::vector<std::string>{"Drafts", "Full Drafts", "draft@example.com", Text(235)}));
    EXPECT_EQ(Row(d, rows, 1), (std::vector<std::string>{"Office", "Full Office", "alice@example.com", Text(234)}));
    EXPECT_FALSE(Marked(d, rows, 0));
    EXPECT_TRUE(Marked(d, rows, 1));
    // The first row is chosen at the start: it has no presets.
    d.Click(d.Control(dialog, IDOK));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(641) + " " + Text(642));
    EXPECT_TRUE(IsWindow(dialog));
    kx::ControlDriver(d).ListClickRow(rows, 1);
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(index, 1);
  // Cancel gives 0 and no index.
  auto cancelled = Select([&](kx::UiDriver& d, HWND dialog) {
    d.Click(d.Control(dialog, IDCANCEL));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(cancelled.first, 0);
  EXPECT_EQ(cancelled.second, -1);
}

TEST_F(ProfileList, DeletingTheDefaultLeavesNoDefaultAndOnlyTheProfilesOwnFolderGoes) {
  StoreProfile("First", "first@example.com");
  CMailProfileSettings second = StoreProfile("Second", "second@example.com");
  StoreProfile("Third", "third@example.com");
  // The third profile's folder is stored as one outside the profiles folder: it is not deleted.
  const std::string outside = kxtest::MakeTempDir("outside");
  kxtest::WriteFile(outside + "/keep.txt", "mine");
  CMailProfileList list = Stored();
  list.GetAt(2).m_strDir = outside.c_str();
  list.m_Default = 1;
  ASSERT_TRUE(list.SaveList());

  ShowList([&](kx::UiDriver& d, HWND dialog) {
    HWND rows = d.Control(dialog, 1033);
    kx::ControlDriver c(d);
    c.ListClickRow(rows, 1);
    d.Click(d.Control(dialog, 1237));
    EXPECT_EQ(AnswerPage(d, "No"), Text(634) + " " + Text(635));
    EXPECT_EQ(c.ListRowCount(rows), 3);
    d.Click(d.Control(dialog, 1237));
    AnswerPage(d, "Yes");
    d.WaitUntil([&] { return c.ListRowCount(rows) == 2; }, "the row gone");
    // Another profile: the plain question.
    c.ListClickRow(rows, 1);
    d.Click(d.Control(dialog, 1237));
    EXPECT_EQ(AnswerPage(d, "Yes"), Text(635));
    d.WaitUntil([&] { return c.ListRowCount(rows) == 1; }, "the row gone");
  });
  list = Stored();
  ASSERT_EQ(list.GetCount(), 1);
  EXPECT_EQ(std::string(list.GetAt(0).m_strDesc), "First");
  EXPECT_EQ(list.m_Default, CMailProfileList::kNoDefault);
  EXPECT_FALSE(Exists(std::string(second.m_strDir)));
  EXPECT_EQ(kxtest::ReadFile(outside + "/keep.txt"), "mine");
}

TEST_F(ProfileList, SetDefaultStoresTheChosenRowAndThePolicyStopsEditAndDelete) {
  StoreProfile("First", "first@example.com");
  StoreProfile("Second", "second@example.com");
  ShowList([&](kx::UiDriver& d, HWND dialog) {
    kx::ControlDriver(d).ListClickRow(d.Control(dialog, 1033), 1);
    d.Click(d.Control(dialog, 1051));
    EXPECT_EQ(AnswerPage(d, "Yes"), Text(643) + " " + Text(644));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(645));
  });
  EXPECT_EQ(Stored().m_Default, 1u);

  SetPolicy(CSecurityPolicy::MailTolvexProfile, false);
  auto before = ProfileValues();
  ShowList([&](kx::UiDriver& d, HWND dialog) {
    kx::ControlDriver(d).ListClickRow(d.Control(dialog, 1033), 0);
    d.Click(d.Control(dialog, 1012));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(640) + " " + Text(475));
    d.Click(d.Control(dialog, 1237));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(632) + " " + Text(475));
    // New still opens the wizard.
    d.Click(d.Control(dialog, 1050));
    HWND wizard = d.WaitForTitle(Text(300));
    d.Click(d.Control(wizard, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(wizard);
  });
  EXPECT_EQ(ProfileValues(), before);
}

TEST_F(ProfileList, TheSystemProfileShowsItsPagesAndItsProfilesPageOpensTheList) {
  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplaySystemProfile(nullptr)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(290));
    HWND tab = d.ControlByClass(sheet, "SysTabControl32");
    int count = 0;
    d.Invoke(tab, [&] { count = static_cast<int>(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0)); });
    EXPECT_EQ(count, 6);
    // The enrolment service page third, the profiles page last.
    const ULONG_PTR templates[] = {4230, 4231, 4253, 4233, 30038, 30039};
    for (int i = 0; i < 6; ++i) {
      d.Invoke(tab, [&] { PropSheet_SetCurSel(sheet, nullptr, i); });
      Page(d, sheet, templates[i]);
    }
    HWND page = Page(d, sheet, 30039);
    d.SavePng(sheet, frametest::Shot("profile-myprofiles"));
    EXPECT_FALSE(d.IsEnabled(d.Control(page, 1228)));
    EXPECT_FALSE(d.IsEnabled(d.Control(page, 1226)));
    EXPECT_TRUE(d.IsEnabled(d.Control(page, 1227)));
    d.Click(d.Control(page, 1227));
    HWND dialog = d.WaitForDialog(30041);
    EXPECT_FALSE(d.IsVisible(d.Control(dialog, IDOK)));
    d.Click(d.Control(dialog, IDCANCEL));
    d.WaitForGone(dialog);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);

  result = kx::RunWithUiHere([] { return INT_PTR(DisplaySystemProfileForCAC(nullptr)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(291));
    HWND tab = d.ControlByClass(sheet, "SysTabControl32");
    int count = 0;
    d.Invoke(tab, [&] { count = static_cast<int>(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0)); });
    EXPECT_EQ(count, 2);
    Page(d, sheet, 30066);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);

  // With the policy's switch off every button of the page is locked; on, only the page's own two stay so.
  for (bool on : {false, true}) {
    SetPolicy(CSecurityPolicy::SystemProfile, on);
    kx::RunWithUiHere([] { return INT_PTR(DisplaySystemProfile(nullptr)); }, [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle(Text(290));
      HWND tab = d.ControlByClass(sheet, "SysTabControl32");
      d.Invoke(tab, [&] { PropSheet_SetCurSel(sheet, nullptr, 5); });
      HWND page = Page(d, sheet, 30039);
      EXPECT_EQ(d.IsEnabled(d.Control(page, 1227)), on);
      EXPECT_FALSE(d.IsEnabled(d.Control(page, 1228)));
      EXPECT_FALSE(d.IsEnabled(d.Control(page, 1226)));
      d.Click(d.Control(sheet, IDCANCEL));
      d.WaitForGone(sheet);
    });
  }
}

}  // namespace
