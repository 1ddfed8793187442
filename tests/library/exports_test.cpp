// The exports as a host calls them, driven through the window system as a person would.
#include <sys/stat.h>

#include <string>

#include "app/pages.h"
#include "library/library.h"
#include "platform/ui/prsht.h"
#include "platform/win32/registry.h"

namespace {

using kxtest::AnswerPage;
using kxtest::Page;
using libtest::LibraryTest;
using HwndFn = int(HWND);
using MessageYesNoFn = int(HWND, LPCSTR, int*);
using OperationFn = int(HWND, BYTE, LPCSTR, LPCSTR, CString*, CString*);
using EncryptFn = int(HWND, BYTE, LPCSTR, LPCSTR);

std::string Shot(const char* name) { return kxtest::MakeTempDir("shots") + "/" + name + ".png"; }

class Exports : public LibraryTest {};

// Cancels a wizard as a person does: Cancel, then Yes to the question.
void CancelWizard(kx::UiDriver& d, HWND sheet) {
  d.Click(d.Control(sheet, IDCANCEL));
  AnswerPage(d, "Yes");
  d.WaitForGone(sheet);
}

TEST_F(Exports, SignerWizardAsksBeforeItIsCancelled) {
  auto* display = Export<HwndFn>("DisplaySignerWizard");
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(display(nullptr)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    // The welcome page, on which the user picks the operation.
    HWND page = Page(d, sheet, 104);
    EXPECT_EQ(d.Text(d.Control(page, 1037)), "Welcome to the Signer Wizard");
    d.SavePng(sheet, Shot("signer-wizard"));

    d.Click(d.Control(sheet, IDCANCEL));
    EXPECT_EQ(AnswerPage(d, "No"), "Do you want to cancel the wizard? Nothing more will be done.");
    EXPECT_TRUE(d.IsVisible(sheet));
    CancelWizard(d, sheet);
  });
  EXPECT_EQ(result, 1);
}

TEST_F(Exports, SignerWizardOperationRefusesUnknownOperationsAndReportsCancel) {
  auto* operation = Export<OperationFn>("SignerWizardOperation");
  CString path("old path"), text("old text");
  // An unknown operation or no file: nothing is shown and nothing was done.
  EXPECT_EQ(operation(nullptr, 7, "/in/report.txt", nullptr, &path, &text), 0);
  EXPECT_EQ(operation(nullptr, 0, nullptr, nullptr, &path, &text), 0);

  // Operations 0 to 3 open on the file page, where the wizard can be cancelled.
  for (BYTE code : {0, 3}) {
    INT_PTR cancelled = kx::RunWithUiHere(
        [&] { return INT_PTR(operation(nullptr, code, "/in/report.txt", nullptr, &path, &text)); },
        [&](kx::UiDriver& d) { CancelWizard(d, d.WaitForTitle("Signer Wizard")); });
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(path, "old path");
    EXPECT_EQ(text, "old text");
  }
  // Without places for the result strings the wizard runs all the same.
  INT_PTR cancelled =
      kx::RunWithUiHere([&] { return INT_PTR(operation(nullptr, 1, "/in/a.txt", "/out/", nullptr, nullptr)); },
                        [&](kx::UiDriver& d) { CancelWizard(d, d.WaitForTitle("Signer Wizard")); });
  EXPECT_EQ(cancelled, 0);
}

TEST_F(Exports, EncryptWizardOperationTakesEncryptionAndDecryptionOnly) {
  auto* operation = Export<EncryptFn>("EncryptWizardOperation");
  for (BYTE code : {1, 2, 3, 5}) EXPECT_EQ(operation(nullptr, code, "/in/a.txt", nullptr), 0) << int(code);
  // Decryption opens on the cipher page; cancelled, the wizard reports nothing done.
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(operation(nullptr, 4, "/in/a.etv", "/out/")); },
                                     [&](kx::UiDriver& d) {
                                       HWND sheet = d.WaitForTitle("Encryption Wizard");
                                       Page(d, sheet, 30035);
                                       CancelWizard(d, sheet);
                                     });
  EXPECT_EQ(result, 0);
}

TEST_F(Exports, ShowMessageYesNoGivesTheAnswer) {
  auto* ask = Export<MessageYesNoFn>("ShowMessageYesNo");
  for (const char* button : {"Yes", "No"}) {
    int answer = -1;
    std::string shown;
    INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(ask(nullptr, "Replace the old file?", &answer)); },
                                       [&](kx::UiDriver& d) { shown = AnswerPage(d, button); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(answer, std::string(button) == "Yes" ? IDYES : IDNO);
    EXPECT_EQ(shown, "Replace the old file?");
  }
  // No place for the answer: the question is still asked.
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(ask(nullptr, "Go on?", nullptr)); },
                                     [&](kx::UiDriver& d) { AnswerPage(d, "Yes"); });
  EXPECT_EQ(result, 1);
}

TEST_F(Exports, ShowMessageShowsTheOneButtonPage) {
  auto* show = Export<int(HWND, LPCSTR)>("ShowMessage");
  std::string shown;
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(show(nullptr, "The file was saved.")); },
                                     [&](kx::UiDriver& d) { shown = AnswerPage(d, "OK"); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(shown, "The file was saved.");
}

TEST_F(Exports, CertificateCreationForbiddenByTheMachinePolicyShowsWhy) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\OfficeTolvex\\SecurityPolicy", 0, nullptr, 0,
                           KEY_WRITE, nullptr, &key, nullptr),
            0);
  RegDeleteValue(key, "CertificateCreationWizard");
  RegCloseKey(key);
  auto* display = Export<HwndFn>("DisplayCertCreationWizard");
  std::string shown;
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(display(nullptr)); },
                                     [&](kx::UiDriver& d) { shown = AnswerPage(d, "OK"); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(shown, "Your administrator has turned off the creation of certificates on this computer.");
}

TEST_F(Exports, CertificateImporterOpensOnItsFirstPage) {
  auto* display = Export<int(int)>("DisplayCertificateImporter");
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(display(0)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Certificate Importer");
    Page(d, sheet, 30018);
    CancelWizard(d, sheet);
  });
  EXPECT_EQ(result, 1);
}

TEST_F(Exports, AboutBoxAndTestimonyArePages) {
  for (const char* name : {"DisplayAboutBox", "DisplayTestimony"}) {
    auto* display = Export<HwndFn>(name);
    INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(display(reinterpret_cast<HWND>(1))); },
                                       [&](kx::UiDriver& d) {
                                         HWND page = d.WaitForTitle(std::string(name) == "DisplayAboutBox"
                                                                        ? "About Office Tolvex"
                                                                        : "Legal Notice");
                                         d.PressKey(VK_ESCAPE);
                                         d.WaitForGone(page);
                                       });
    EXPECT_EQ(result, 1) << name;
  }
}

TEST_F(Exports, WithoutTheAddressBookAndTheCertificateManagerNothingIsShown) {
  kx::SetBuiltinModuleMissing("WAB32.DLL", true);
  kx::SetBuiltinModuleMissing("cryptui", true);
  for (const char* name : {"DisplayAddressBook", "FindSubject", "NewEntry", "DisplayCertStores"}) {
    auto* display = Export<HwndFn>(name);
    EXPECT_EQ(display(nullptr), 1) << name;
  }
  kx::SetBuiltinModuleMissing("WAB32.DLL", false);
  kx::SetBuiltinModuleMissing("cryptui", false);
}

}  // namespace
