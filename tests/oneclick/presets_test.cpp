// The presets a person lists, picks, views and deletes: the chooser through SelectOneClickSettings, the viewer
// through DisplayOneClickSetting, and the manager page of the system profile in a sheet of its own.
#include <memory>

#include "app/ResString.h"
#include "core/SecurityPolicy.h"
#include "encryption/OneClickManagerPage.h"
#include "encryption/OneClickViewSheet.h"
#include "formats/FileManager.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/com/bstr.h"
#include "platform/win32/files.h"
#include "platform/win32/textconv.h"
#include "oneclick/oneclick_test.h"

extern "C" int SelectOneClickSettings(HWND parent, BYTE operation, BOOL listAll, BSTR* presetPath);
extern "C" int DisplayOneClickSetting(HWND parent, LPCSTR presetName);

using namespace oneclicktest;
using kxtest::AnswerPage;
using kxtest::Page;

namespace {

constexpr int kList = 1033, kView = 1012, kDelete = 1051, kReport = 213;

std::string Text(UINT id) { return std::string(LoadResString(id)); }

bool Exists(const std::string& path) { return GetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Presets : public OneClickTest {
 protected:
  void SetUp() override {
    OneClickTest::SetUp();
    WithKey("signer");
    PresetSpec encrypt;
    encrypt.description = "Reports for Bob";
    encrypt.recipients = {"encrypt"};
    m_encrypt = SavePreset(encrypt, "KX_ONECLICK_1.clk");
    PresetSpec sign;
    sign.kind = 1;
    sign.description = "Signed by Alice";
    sign.signers = {"signer"};
    m_sign = SavePreset(sign, "KX_ONECLICK_2.clk");
    // Signed by a digital ID whose key the user does not hold: not usable, not listed.
    sign.description = "Signed by Dave";
    sign.signers = {"revoked"};
    m_foreign = SavePreset(sign, "KX_ONECLICK_3.clk");
    // A signer whose bytes are no certificate is none of the user's either: not listed.
    sign.description = "Signed by no certificate";
    sign.signers = {};
    const std::string garbage = SavePreset(sign, "KX_ONECLICK_4.clk");
    CFileManager files;
    std::unique_ptr<CBaseKesmoraFile> object(files.OpenFile(garbage.c_str()));
    auto* preset = dynamic_cast<COneClickFile*>(object.get());
    ASSERT_NE(preset, nullptr);
    const std::string bytes = "not a certificate";
    preset->m_oneClickRecord.Signers().Add(CByteBuffer(static_cast<DWORD>(bytes.size()),
                                                       bytes.data(), false));
    ASSERT_TRUE(preset->Save(garbage.c_str()));
  }
  // Runs the chooser export with a person's steps; its result and the path it handed back.
  std::pair<int, std::string> Choose(BYTE operation, BOOL all, const std::function<void(kx::UiDriver&, HWND)>& steps) {
    BSTR chosen = nullptr;
    INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(SelectOneClickSettings(nullptr, operation, all, &chosen)); },
                                       [&](kx::UiDriver& d) { steps(d, d.WaitForDialog(1020)); });
    std::string path = chosen ? kx::Utf16ToUtf8(chosen, SysStringLen(chosen)) : "";
    SysFreeString(chosen);
    return {static_cast<int>(result), path};
  }
  std::string m_encrypt, m_sign, m_foreign;
};

TEST_F(Presets, TheChooserListsTheUsablePresetsOfTheOperation) {
  // Every usable preset, and a double click chooses one.
  auto all = Choose(0, TRUE, [&](kx::UiDriver& d, HWND dialog) {
    HWND list = d.Control(dialog, kList);
    EXPECT_EQ(certsel::Column(d, list, 0), (std::vector<std::string>{"Reports for Bob", "Signed by Alice"}));
    EXPECT_EQ(certsel::Column(d, list, 1), (std::vector<std::string>{Text(502), Text(505)}));
    EXPECT_TRUE(d.IsEnabled(d.Control(dialog, kView)));
    d.SavePng(dialog, frametest::Shot("oneclick-chooser"));
    kx::ControlDriver(d).ListDoubleClickRow(list, 1);
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(all.first, 1);
  EXPECT_EQ(all.second, m_sign);

  // Only the sign presets; OK hands back the selected one.
  auto sign = Choose(1, FALSE, [&](kx::UiDriver& d, HWND dialog) {
    HWND list = d.Control(dialog, kList);
    EXPECT_EQ(certsel::Column(d, list, 0), (std::vector<std::string>{"Signed by Alice"}));
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(sign.first, 1);
  EXPECT_EQ(sign.second, m_sign);

  // No countersign preset: an empty list, and Cancel hands back nothing.
  auto none = Choose(3, FALSE, [&](kx::UiDriver& d, HWND dialog) {
    EXPECT_TRUE(certsel::Column(d, d.Control(dialog, kList), 0).empty());
    EXPECT_FALSE(d.IsEnabled(d.Control(dialog, kView))) << "nothing to view";
    d.SavePng(dialog, frametest::Shot("oneclick-chooser-empty"));
    d.Click(d.Control(dialog, IDCANCEL));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(none.first, 0);
  EXPECT_EQ(none.second, "");
}

// A preset shown by its name (whatever its letter case), with its report; the viewer deletes it.
TEST_F(Presets, TheViewerShowsAPresetAndDeletesIt) {
  // An encrypting preset: one page, with the report of its cipher and recipient.
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(DisplayOneClickSetting(nullptr, "REPORTS FOR BOB")); },
                                     [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("One Click Settings");
    HWND page = Page(d, sheet, 4243);
    EXPECT_EQ(certsel::TabTexts(d, sheet).size(), 1u);
    EXPECT_EQ(d.Text(d.Control(page, 209)), "Reports for Bob");
    const std::string report = d.Text(d.Control(page, kReport));
    EXPECT_NE(report.find(Text(461) + ": Triple DES\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find(Text(462) + ": 192 " + Text(429) + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find(Text(541) + ":\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find(Text(469) + ": Bob Encryption\r\n"), std::string::npos) << report;
    EXPECT_EQ(report.find(Text(540)), std::string::npos) << report;
    d.SavePng(sheet, frametest::Shot("oneclick-viewer"));
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);

  // A signing preset: its signers on the two list pages; deleting it asks first.
  result = kx::RunWithUiHere([&] { return INT_PTR(DisplayOneClickSetting(nullptr, "signed by alice")); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("One Click Settings");
    HWND page = Page(d, sheet, 4243);
    EXPECT_EQ(certsel::TabTexts(d, sheet).size(), 3u);
    certsel::ClickTab(d, sheet, 1);
    HWND signatures = Page(d, sheet, 4242);
    EXPECT_EQ(certsel::Column(d, d.Control(signatures, kList), 0), (std::vector<std::string>{"Alice Signer"}));
    // The signing time the preset records, and the hash line.
    EXPECT_NE(d.Text(d.Control(signatures, 1121)), "");
    EXPECT_NE(d.Text(d.Control(signatures, 1123)).find(Text(516) + ": SHA-1"), std::string::npos);
    d.SavePng(sheet, frametest::Shot("oneclick-viewer-signatures"));
    certsel::ClickTab(d, sheet, 2);
    HWND signers = Page(d, sheet, 4241);
    EXPECT_EQ(certsel::Column(d, d.Control(signers, kList), 0), (std::vector<std::string>{"Alice Signer"}));
    certsel::ClickTab(d, sheet, 0);
    d.Click(d.Control(page, kDelete));
    EXPECT_EQ(AnswerPage(d, "No"), Text(545));
    EXPECT_TRUE(Exists(m_sign));
    d.Click(d.Control(page, kDelete));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(Exists(m_sign));

  // Under a machine policy that locks the presets, deletion is refused.
  CSecurityPolicy policy;
  policy.m_bOneClickSettings = 0;
  ASSERT_TRUE(policy.CreateKey());
  kx::RunWithUiHere([&] { return INT_PTR(DisplayOneClickSetting(nullptr, "Reports for Bob")); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("One Click Settings");
    d.Click(d.Control(Page(d, sheet, 4243), kDelete));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(544) + " " + Text(475));
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_TRUE(Exists(m_encrypt));
}

// The manager page in a sheet of its own: its list, deletion from the page and from the viewer (the list
// follows both), and a new preset through the one-click wizard.
TEST_F(Presets, TheManagerPageKeepsItsListCurrent) {
  CPropertySheet sheet("Presets");
  COneClickManagerPage page;
  sheet.AddPage(&page);
  kx::RunWithUiHere([&] { return sheet.DoModal(); }, [&](kx::UiDriver& d) {
    HWND window = d.WaitForTitle("Presets");
    HWND manager = Page(d, window, 30066);
    HWND list = d.Control(manager, kList);
    kx::ControlDriver c(d);
    EXPECT_EQ(certsel::Column(d, list, 0), (std::vector<std::string>{"Reports for Bob", "Signed by Alice"}));
    d.SavePng(window, frametest::Shot("oneclick-manager"));

    // From the page: No keeps the file, Yes deletes it and the row goes.
    c.ListClickRow(list, 0);
    d.Click(d.Control(manager, kDelete));
    AnswerPage(d, "No");
    EXPECT_TRUE(Exists(m_encrypt));
    d.Click(d.Control(manager, kDelete));
    AnswerPage(d, "Yes");
    d.WaitUntil([&] { return certsel::Column(d, list, 0) == std::vector<std::string>{"Signed by Alice"}; }, "the refill");
    EXPECT_FALSE(Exists(m_encrypt));

    // From the viewer: the page is told and refills.
    c.ListDoubleClickRow(list, 0);
    HWND viewer = d.WaitForTitle(Text(548));
    d.Click(d.Control(Page(d, viewer, 4243), kDelete));
    AnswerPage(d, "Yes");
    d.WaitForGone(viewer);
    d.WaitUntil([&] { return certsel::Column(d, list, 0).empty(); }, "the refill after the viewer");
    EXPECT_FALSE(Exists(m_sign));

    // A new preset: the wizard opens; cancelled, the list is refilled all the same.
    d.Click(d.Control(manager, 1050));
    HWND wizard = d.WaitForTitle("OneClick Policy Wizard");
    Page(d, wizard, 4229);
    d.Click(d.Control(wizard, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(wizard);
    d.Click(d.Control(window, IDCANCEL));
    d.WaitForGone(window);
  });
}

}  // namespace
