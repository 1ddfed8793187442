// Trusted roots and trust points: exporting and importing root certificates (files read by openssl), the
// strict trust policy swapping the trusted roots with the trust lists of the one-click folder, choosing trust
// points in the trust points sheet, and the restricted trust page that keeps the trust-point list.
#include "settings/ApplicationSettingsPage.h"
#include "certificates/SelTrustPointsSheet.h"
#include "certificates/TrustLists.h"
#include "core/SettingsStore.h"
#include "platform/win32/stateroot.h"
#include "certmgr/certmgr_fixture.h"
#include "support/pki.h"
#include "platform/capicom/core/store.h"

namespace certmgr_test {
namespace {

using certsel::Column;

constexpr int kList = 1033;

class Trust : public CertMgrTest {
 protected:
  // The user's roots read from the store model itself (no engine object on the driving thread).
  static std::vector<std::string> RootSubjects() {
    std::vector<std::string> names;
    std::shared_ptr<kx::capi::CertStore> store;
    if (kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_ONLY, store) != S_OK)
      return names;
    for (const kx::capi::StoreEntry& e : store->Entries()) names.push_back(e.cert->nameInfo(0));
    return names;
  }
  // Runs the application settings page in a sheet of its own while the script drives it.
  INT_PTR RunSettingsPage(const std::function<void(kx::UiDriver&, HWND, HWND)>& script) {
    return kx::RunWithUiHere(
        [&] {
          CPropertySheet sheet("Settings", nullptr, 0);
          CApplicationSettingsPage page;
          sheet.AddPage(&page);
          return sheet.DoModal();
        },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Settings");
          script(d, sheet, d.WaitForDialog(133));
        });
  }
  // Switches the strict policy on the settings page and answers its question with Yes.
  void SwitchStrictPolicy(bool on) {
    RunSettingsPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
      d.SetCheck(d.Control(page, 1261), on);
      d.Click(d.Control(sheet, IDOK));
      d.AnswerMessageBox(IDYES);
      d.WaitForGone(sheet);
    });
  }
};

TEST_F(Trust, RootCertificatesExportAndImport) {
  AddCert("Root", "root");
  const std::string extra = MakeSelfSignedRoot("extra", "Extra Root");
  std::vector<std::string> before, after, declined;
  std::string exportText, question;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    HWND page = OpenTab(d, sheet, 6, 30056);
    HWND list = d.Control(page, kList);
    before = Column(d, list);
    kx::ControlDriver c(d);
    c.ListPickRow(list, "Test Root CA");
    d.Click(d.Control(page, 1011));
    c.FillFileDialog(m_dir, {"exported.cer"});
    exportText = d.AnswerMessageBox(IDOK);
    // Trusting a root is asked, No the default: Enter keeps the store as it was.
    d.Click(d.Control(page, 1009));
    c.FillFileDialog(m_dir, {"extra.cer"});
    HWND box = d.WaitForMessageBox();
    question = d.MessageBoxText(box);
    d.PressKey(VK_RETURN);
    d.WaitForGone(box);
    declined = RootSubjects();
    d.Click(d.Control(page, 1009));
    c.FillFileDialog(m_dir, {"extra.cer"});
    d.AnswerMessageBox(IDYES);
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "the imported root listed");
    after = Column(d, list);
    Screenshot(d, sheet, "trusted-roots");
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(before, (std::vector<std::string>{"Test Root CA"}));
  EXPECT_EQ(exportText, "The certificate has been saved.");
  // The file holds the certificate's DER encoding and nothing else.
  EXPECT_EQ(kxtest::ReadFile(m_dir + "/exported.cer"), kxtest::pki::DerBytes("root"));
  std::string subject;
  EXPECT_EQ(kxtest::Run("openssl x509 -inform DER -in " + m_dir + "/exported.cer -noout -subject", &subject), 0);
  EXPECT_NE(subject.find("Test Root CA"), std::string::npos) << subject;
  EXPECT_EQ(question, "Everything issued under \"Extra Root\" will be trusted: signatures, encrypted mail and "
                      "servers that show it. Do you want to add this root certificate?");
  EXPECT_EQ(declined, std::vector<std::string>{"Test Root CA"});
  EXPECT_EQ(after, (std::vector<std::string>{"Extra Root", "Test Root CA"}));
  (void)extra;
}

TEST_F(Trust, TrustPointsButtonOnlyUnderTheStrictPolicy) {
  for (bool strict : {false, true}) {
    SetStrictPolicy(strict);
    bool enabled = !strict;
    RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
      d.WaitForDialog(102);
      enabled = d.IsEnabled(d.Control(OpenTab(d, sheet, 6, 30056), 1050));
      d.Click(d.Control(sheet, IDCANCEL));
      d.WaitForGone(sheet);
    });
    EXPECT_EQ(enabled, strict);  // the tests run as an administrator
  }
}

TEST_F(Trust, StrictPolicySwapsTheTrustedRootsAndBack) {
  AddCert("Root", "root");
  const std::string folder = SetOneClickFolder();
  MakeSelfSignedRoot("strict", "Strict Root");
  MakeBundle({m_dir + "/strict.pem"}, folder + "/JITC.p7b");

  SwitchStrictPolicy(true);
  EXPECT_EQ(StrictPolicy(), 1u);
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), (std::vector<std::string>{"Strict Root"}));
  // The roots that were trusted are kept, readable by openssl.
  EXPECT_EQ(BundleSubjects(folder + "/TrustBackup.p7b"), (std::vector<std::string>{"Test Root CA"}));

  SwitchStrictPolicy(false);
  EXPECT_EQ(StrictPolicy(), 0u);
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), (std::vector<std::string>{"Test Root CA"}));
  EXPECT_EQ(BundleSubjects(folder + "/JITC.p7b"), (std::vector<std::string>{"Strict Root"}));
}

TEST_F(Trust, SwapWithoutItsTrustListChangesNothing) {
  AddCert("Root", "root");
  SetOneClickFolder();  // no JITC.p7b in it
  std::string text;
  RunSettingsPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    d.SetCheck(d.Control(page, 1261), true);
    d.Click(d.Control(sheet, IDOK));
    d.AnswerMessageBox(IDYES);
    text = d.AnswerMessageBox(IDOK);
    // The page stays, with the switch put back.
    EXPECT_FALSE(d.IsChecked(d.Control(page, 1261)));
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(text, "The trusted root certificates could not be replaced.");
  EXPECT_EQ(StrictPolicy(), 0u);
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), (std::vector<std::string>{"Test Root CA"}));
}

TEST_F(Trust, RootsAreNotTouchedWhenTheMachineStoreCannotBeWritten) {
  AddCert("Root", "root");
  // The machine's stores cannot be made: its store folder is taken by a file.
  const std::string machine = kx::MachineStateDir();
  ASSERT_EQ(::system(("mkdir -p '" + machine + "' && : > '" + machine + "/certstores'").c_str()), 0);
  CCapicomCertificate replacement;
  ASSERT_EQ(replacement.Load(kxtest::pki::Der("inter").c_str(), "", CAPICOM_KEY_STORAGE_DEFAULT,
                             CAPICOM_CURRENT_USER_KEY),
            S_OK);
  EXPECT_EQ(certmgr::ReplaceTrustedRoots({replacement}), certmgr::RootSwap::AccessDenied);
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), (std::vector<std::string>{"Test Root CA"}));
}

TEST_F(Trust, TrustPointsChosenFromTheBackupReplaceTheRoots) {
  const std::string folder = SetOneClickFolder();
  MakeSelfSignedRoot("strict", "Strict Root");
  MakeSelfSignedRoot("old", "Old Root");
  MakeBundle({kxtest::pki::Pem("root"), m_dir + "/old.pem"}, folder + "/TrustBackup.p7b");
  {
    CCapicomStore machine;
    ASSERT_EQ(machine.Open(CAPICOM_LOCAL_MACHINE_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(machine.ImportFromBuffer(kxtest::BufferOf(kxtest::ReadFile(m_dir + "/strict.cer"))), S_OK);
  }
  SetStrictPolicy(true);
  std::vector<std::string> available, points;
  std::string duplicate;
  INT_PTR result = RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    HWND roots = OpenTab(d, sheet, 6, 30056);
    d.Click(d.Control(roots, 1050));
    HWND pointsSheet = d.WaitForTitle("Trust Points");
    HWND page = d.WaitForDialog(30058);
    kx::ControlDriver c(d);
    available = Column(d, d.Control(page, 1033));
    points = Column(d, d.Control(page, 1034));
    Screenshot(d, pointsSheet, "trust-points");
    // Out with the strict root, in with the old test root.
    c.ListClickRow(d.Control(page, 1034), 0);
    d.Click(d.Control(page, 1052));
    d.AnswerMessageBox(IDYES);
    c.ListPickRow(d.Control(page, 1033), "Test Root CA");
    d.Click(d.Control(page, 1050));
    c.ListPickRow(d.Control(page, 1033), "Test Root CA");
    d.Click(d.Control(page, 1050));
    duplicate = d.AnswerMessageBox(IDOK);
    d.Click(d.Control(pointsSheet, IDOK));
    d.WaitForGone(pointsSheet);
    d.WaitUntil([&] { return Column(d, d.Control(roots, kList)) == std::vector<std::string>{"Test Root CA"}; },
                "the new roots listed");
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(available, (std::vector<std::string>{"Old Root", "Test Root CA"}));
  EXPECT_EQ(points, (std::vector<std::string>{"Strict Root"}));
  EXPECT_EQ(duplicate, "The digital ID of Test Root CA is already in the list of selected certificates.");
  EXPECT_EQ(StoreSubjects(CAPICOM_LOCAL_MACHINE_STORE, "Root"), (std::vector<std::string>{"Test Root CA"}));
  EXPECT_EQ(StoreSubjects(CAPICOM_CURRENT_USER_STORE, "Root"), (std::vector<std::string>{"Test Root CA"}));
}

TEST_F(Trust, RestrictedTrustPageKeepsTheTrustPointList) {
  const std::string folder = SetOneClickFolder();
  MakeSelfSignedRoot("extra", "Extra Root");
  const std::string file = folder + "/JITC_TrustPoints.p7b";
  MakeBundle({kxtest::pki::Pem("root"), kxtest::pki::Pem("inter"), m_dir + "/extra.pem"}, file);
  std::vector<std::string> rows, afterRemove;
  bool removeEnabled = false;
  RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
    d.WaitForDialog(102);
    HWND page = OpenTab(d, sheet, 7, 30057);
    HWND list = d.Control(page, kList);
    rows = Column(d, list);
    removeEnabled = d.IsEnabled(d.Control(page, 1011));
    Screenshot(d, sheet, "restricted-trust");
    kx::ControlDriver c(d);
    c.ListPickRow(list, "Test Intermediate CA");
    d.Click(d.Control(page, 1011));
    d.AnswerMessageBox(IDYES);
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "the trust point removed");
    afterRemove = Column(d, list);
    // The trust points sheet cancelled: nothing is written.
    d.Click(d.Control(page, 1009));
    HWND points = d.WaitForTitle("Trust Points");
    d.WaitForDialog(30058);
    d.Click(d.Control(points, IDCANCEL));
    d.WaitForGone(points);
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(rows, (std::vector<std::string>{"Extra Root", "Test Intermediate CA", "Test Root CA"}));
  EXPECT_TRUE(removeEnabled);
  EXPECT_EQ(afterRemove, (std::vector<std::string>{"Extra Root", "Test Root CA"}));
  // The file is a bundle of the two that are left, in store order.
  EXPECT_EQ(BundleSubjects(file), (std::vector<std::string>{"Test Root CA", "Extra Root"}));
}

// On a fresh state the one-click folder is only a name: the first trust points chosen make it. Where it cannot be
// made, the user is told.
TEST_F(Trust, TrustPointsMakeTheOneClickFolderOrSayTheyCouldNotBeSaved) {
  MakeSelfSignedRoot("fresh", "Fresh Root");
  {
    CCapicomStore user;
    ASSERT_EQ(user.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(user.ImportFromBuffer(kxtest::BufferOf(kxtest::ReadFile(m_dir + "/fresh.cer"))), S_OK);
  }
  kxtest::WriteFile(m_dir + "/plain-file", "x");
  struct Case {
    std::string folder;
    bool saved;
  } cases[] = {{m_dir + "/Documents/My OneClick Settings", true}, {m_dir + "/plain-file/My OneClick Settings", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    CHiveSettings settings;
    settings.UseCurrentUser();
    ASSERT_TRUE(settings.SetString("OneClickManager", "OneClickFolder", c.folder.c_str()));
    std::vector<std::string> rows;
    std::string told;
    RunSheet(nullptr, [&](kx::UiDriver& d, HWND sheet) {
      d.WaitForDialog(102);
      HWND page = OpenTab(d, sheet, 7, 30057);
      d.Click(d.Control(page, 1009));
      HWND points = d.WaitForTitle("Trust Points");
      HWND chooser = d.WaitForDialog(30058);
      kx::ControlDriver(d).ListPickRow(d.Control(chooser, 1033), "Fresh Root");
      d.Click(d.Control(chooser, 1050));
      d.Click(d.Control(points, IDOK));
      d.WaitForGone(points);
      if (c.saved) {
        d.WaitUntil([&] { return !Column(d, d.Control(page, kList)).empty(); }, "the trust point listed");
      } else {
        Screenshot(d, d.WaitForMessageBox(), "trust-points-not-saved");
        told = d.AnswerMessageBox(IDOK);
      }
      rows = Column(d, d.Control(page, kList));
      d.Click(d.Control(sheet, IDCANCEL));
      d.WaitForGone(sheet);
    });
    if (c.saved) {
      EXPECT_EQ(rows, std::vector<std::string>{"Fresh Root"});
      EXPECT_EQ(BundleSubjects(c.folder + "/JITC_TrustPoints.p7b"), std::vector<std::string>{"Fresh Root"});
    } else {
      EXPECT_TRUE(rows.empty());
      EXPECT_NE(told.find("The trust points could not be saved."), std::string::npos) << told;
    }
  }
}

}  // namespace
}  // namespace certmgr_test
