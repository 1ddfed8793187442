// The Signer Wizard as a person and a host use it: opened through its exports, its pages filled and its
// buttons pressed through the window system, the files it writes read back.
#include <sys/stat.h>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "core/SystemProfile.h"
#include "core/TvxFormatSettings.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/com/combase.h"
#include "platform/services/mapi.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "signing/signing_test.h"
#include "support/wizard.h"

extern "C" int SignerWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder, CString* resultPath,
                                     CString* resultText);
extern "C" int DisplaySignerWizard(HWND parent);

using namespace signtest;
using kxtest::AnswerPage;
using kxtest::FinishRun;
using kxtest::Page;
using certsel::Pick;

namespace {

constexpr int kFilePath = 1031, kOutputFolder = 1032, kSeveralFiles = 1036, kProfileFolder = 1035;
constexpr int kCipher = 1038, kKeyLength = 1039, kProfileCipher = 1040, kSaveCipher = 1041;
constexpr int kList = 1033, kRunAgain = 1085, kOpen = 1082, kSaveAs = 1083, kDetails = 1080, kMail = 1090;

std::string Text(UINT id) { return std::string(LoadResString(id)); }

bool ReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributes(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

class Wizard : public SigningTest {
 protected:
  void SetUp() override {
    SigningTest::SetUp();
    AddCert("AddressBook", "encrypt");
  }
  static void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }
  static void CancelWizard(kx::UiDriver& d, HWND sheet) {
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  }
  // A wizard made by its class name with its pages, opening on the page at start.
  static std::unique_ptr<CSignSheet> Made(int start, int mode, const std::vector<std::string>& files,
                                         const std::string& folder) {
    CFormsObjectProvider provider;
    CBaseSheet* sheet = nullptr;
    provider.CreateSheetByName("CSignSheet", nullptr, &sheet);
    auto wizard = std::unique_ptr<CSignSheet>(dynamic_cast<CSignSheet*>(sheet));
    EXPECT_NE(wizard, nullptr);
    wizard->m_bHosted = 0;
    wizard->m_nStartPage = start;
    wizard->m_WizardData.m_nMode = mode;
    for (const std::string& f : files) wizard->m_WizardData.m_arrInputFiles.Add(f.c_str());
    wizard->m_WizardData.m_strOutputFolder = folder.c_str();
    return wizard;
  }
};

TEST_F(Wizard, TheWelcomePageOffersTheDefaultOperation) {
  for (DWORD operation : {0u, 1u}) {
    SetSetting("Config", "TargetFileDefaultOperation", operation);
    INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplaySignerWizard(nullptr)); }, [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Signer Wizard");
      HWND page = Page(d, sheet, 104);
      // Decrypt and verify, or sign.
      EXPECT_TRUE(d.IsChecked(d.Control(page, operation == 0 ? 1026 : 1023)));
      EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZBACK)));
      if (operation == 0) d.SavePng(sheet, frametest::Shot("welcome"));
      CancelWizard(d, sheet);
    });
    EXPECT_EQ(result, 1);
  }
}

// The main road: a host has a file encrypted for a recipient, then has it decrypted and verified; the single
// decrypted file is shown read-only while the wizard is hidden, and the wizard then finishes by itself.
TEST_F(Wizard, AHostEncryptsAFileAndHasItDecryptedWithAutomaticFinish) {
  WithKey("encrypt");
  const std::string input = Content(70000);
  std::string in = File("report.doc", input), out = kxtest::MakeTempDir("out");
  CString path("old"), text("old");
  INT_PTR result = kx::RunWithUiHere(
      [&] { return INT_PTR(SignerWizardOperation(nullptr, 0, in.c_str(), out.c_str(), &path, &text)); },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Signer Wizard");
        HWND files = Page(d, sheet, 105);
        // The host's file and folder, and Next alone.
        EXPECT_EQ(d.Text(d.Control(files, kFilePath)), in);
        EXPECT_EQ(d.Text(d.Control(files, kOutputFolder)), out);
        EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZBACK)));
        d.SavePng(sheet, frametest::Shot("files"));
        Next(d, sheet);

        HWND cipher = Page(d, sheet, 4208);
        kx::ControlDriver c(d);
        EXPECT_EQ(c.ComboItems(d.Control(cipher, kCipher)),
                  (std::vector<std::string>{"DES", "Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)"}));
        EXPECT_EQ(c.ComboText(d.Control(cipher, kCipher)), "Triple DES (2-Key)");
        EXPECT_EQ(c.ComboText(d.Control(cipher, kKeyLength)), "128 bits");
        c.ComboPick(d.Control(cipher, kCipher), "Triple DES (3-Key)");
        EXPECT_EQ(c.ComboText(d.Control(cipher, kKeyLength)), "192 bits");
        d.SavePng(sheet, frametest::Shot("cipher"));
        Next(d, sheet);

        HWND recipients = Page(d, sheet, 4209);
        d.Click(d.Control(recipients, 1043));
        Pick(d, "Select Recipients' Digital IDs", 2, 4216, {"Bob Encryption"});
        // Not in one step: the processing page does the work.
        d.SetCheck(d.Control(recipients, 1097), false);
        d.SavePng(sheet, frametest::Shot("recipients"));
        Next(d, sheet);

        HWND processing = Page(d, sheet, 4210);
        HWND list = d.Control(processing, kList);
        d.WaitForText(d.Control(processing, 1088), "1 of 1 files processed");
        d.WaitUntil([&] { return c.ListText(list, 0, 2) == Text(359); }, "the row done");
        d.WaitForText(d.Control(processing, 1089), "100%");
        // Only decrypted files are opened from here.
        EXPECT_FALSE(d.IsEnabled(d.Control(processing, kOpen)));
        FinishRun(d, sheet, frametest::Shot("processing"));
      });
  EXPECT_EQ(result, 1);
  const std::string protectedPath = out + "/report.doc.Tvx";
  EXPECT_EQ(path.str(), protectedPath);
  EXPECT_EQ(text.str(), "");
  ProtectedFile file = Read(protectedPath);
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->m_info.m_body.m_nested.m_bCipherIndex, CAPICOM_ENCRYPTION_ALGORITHM_3DES);
  EXPECT_EQ(file.object->m_info.m_body.m_nested.m_bKeyLengthIndex, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS);

  kx::signing::Pauses().autoFinish = 1500;
  // Where a desktop is there, the decrypted file is handed to a program that shows nothing.
  setenv("KX_DESKTOP_OPENER", "true", 1);
  std::string plain = kxtest::MakeTempDir("plain");
  const std::string decrypted = plain + "/report.doc";
  bool readOnlyWhileShown = false;
  result = kx::RunWithUiHere(
      [&] { return INT_PTR(SignerWizardOperation(nullptr, 4, protectedPath.c_str(), plain.c_str(), &path, &text)); },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Signer Wizard");
        Page(d, sheet, 4210);
        d.WaitForGone(sheet, true);
        readOnlyWhileShown = ReadOnly(decrypted);
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(readOnlyWhileShown);
  EXPECT_FALSE(ReadOnly(decrypted));
  EXPECT_EQ(path.str(), decrypted);
  EXPECT_TRUE(kxtest::ReadFile(decrypted) == input);
}

// A host's file that fails: nothing is opened, the wizard stays and offers Finish.
TEST_F(Wizard, AFailedFileIsNotFinishedAutomatically) {
  std::string in = File("notes.Tvx", "not protected"), plain = kxtest::MakeTempDir("plain");
  CString path, text;
  INT_PTR result = kx::RunWithUiHere(
      [&] { return INT_PTR(SignerWizardOperation(nullptr, 4, in.c_str(), plain.c_str(), &path, &text)); },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Signer Wizard");
        HWND processing = Page(d, sheet, 4210);
        HWND finish = d.Control(sheet, ID_WIZFINISH);
        d.WaitForEnabled(finish);
        EXPECT_TRUE(d.IsVisible(sheet));
        EXPECT_EQ(kx::ControlDriver(d).ListText(d.Control(processing, kList), 0, 2), Text(362));
        d.Click(finish);
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(path.str(), "");
}

// Two inputs of one name and two extensions: before the run both rows plan "a.tvx"; once written, each row
// names its own output.
TEST_F(Wizard, TheOutputColumnNamesTheFileWritten) {
  WithKey("encrypt");
  const std::string a = File("a.bin", Content(100)), b = File("a.txt", Content(200));
  const std::string out = kxtest::MakeTempDir("named");
  auto wizard = Made(CSignSheet::kProcessingPage, 0, {a, b}, out);
  wizard->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
  wizard->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  wizard->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
  std::vector<std::string> written;
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 4210);
    HWND list = d.Control(page, kList);
    kx::ControlDriver c(d);
    d.WaitForText(d.Control(page, 1088), "2 of 2 files processed");
    d.WaitForEnabled(d.Control(page, kRunAgain));
    written = {c.ListText(list, 0, 1), c.ListText(list, 1, 1)};
    FinishRun(d, sheet, frametest::Shot("processing-named"));
  });
  EXPECT_EQ(written, (std::vector<std::string>{"a.bin.Tvx", "a.txt.Tvx"}));
  for (const char* name : {"/a.bin.Tvx", "/a.txt.Tvx"})
    EXPECT_NE(GetFileAttributes((out + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
}

// Without the security engine nothing can run: the user is told why, the file fails and the wizard can be
// finished (it used to stay at "0 of 1" with Cancel and Finish disabled).
TEST_F(Wizard, WithoutTheEngineTheRunFailsAndTheWizardCanBeLeft) {
  const std::string in = File("plain.txt", "a plain file"), plain = kxtest::MakeTempDir("plain");
  ASSERT_TRUE(kx::UnregisterClass(CLSID_Settings));
  struct Registered {
    ~Registered() { kx::RegisterClassModule(CLSID_Settings, CAPICOM_MODULE_NAME); }
  } again;
  CString path, text;
  std::string told;
  INT_PTR result = kx::RunWithUiHere(
      [&] { return INT_PTR(SignerWizardOperation(nullptr, 4, in.c_str(), plain.c_str(), &path, &text)); },
      [&](kx::UiDriver& d) {
        // The page starts its run as the wizard opens: the box comes first.
        told = AnswerPage(d, "OK");
        HWND sheet = d.WaitForTitle("Signer Wizard");
        HWND processing = Page(d, sheet, 4210);
        HWND finish = d.Control(sheet, ID_WIZFINISH);
        d.WaitForEnabled(finish);
        EXPECT_EQ(d.Text(d.Control(processing, 1088)), "1 of 1 files processed");
        EXPECT_EQ(kx::ControlDriver(d).ListText(d.Control(processing, kList), 0, 2), Text(362));
        d.SavePng(sheet, frametest::Shot("processing-no-engine"));
        d.Click(finish);
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(told.find("internal error"), std::string::npos) << told;
  EXPECT_NE(told.find("security engine could not be started"), std::string::npos) << told;
}

// The file page asks for the files and the folder; the system profile's folder and its several-files switch
// rule the page.
TEST_F(Wizard, TheFilePageAsksForWhatIsMissing) {
  CSystemProfile profile;
  profile.Load();
  profile.OutputOption = 1;
  profile.OutputFolder = "/profile/output";
  profile.EnableDirOperation = 0;
  ASSERT_TRUE(profile.Save());
  std::string in = File("report.doc", "text");
  auto wizard = Made(CSignSheet::kMainPage, -1, {}, "");
  INT_PTR result = kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND welcome = Page(d, sheet, 104);
    d.Click(d.Control(welcome, 1022));
    Next(d, sheet);
    HWND files = Page(d, sheet, 105);
    EXPECT_FALSE(d.IsEnabled(d.Control(files, kSeveralFiles)));
    EXPECT_FALSE(d.IsChecked(d.Control(files, kSeveralFiles)));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(418));
    d.SetText(d.Control(files, kFilePath), in);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(419));
    // The profile's folder: the page's own folder controls go.
    d.SetCheck(d.Control(files, kProfileFolder), true);
    EXPECT_FALSE(d.IsEnabled(d.Control(files, kOutputFolder)));
    EXPECT_FALSE(d.IsEnabled(d.Control(files, 1009)));
    Next(d, sheet);
    Page(d, sheet, 4208);
    CancelWizard(d, sheet);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(wizard->m_WizardData.m_nMode, 0);
  EXPECT_EQ(wizard->m_WizardData.m_strOutputFolder.str(), "/profile/output");
  ASSERT_EQ(wizard->m_WizardData.m_arrInputFiles.GetSize(), 1);
  EXPECT_EQ(wizard->m_WizardData.m_arrInputFiles[0].str(), in);
}

// Back to the welcome page and Next again keep the path typed on the file page; only the several-files
// placeholder is taken away when that mode is left.
TEST_F(Wizard, BackThenNextKeepsTheTypedPath) {
  CSystemProfile profile;
  profile.Load();
  profile.EnableDirOperation = 1;
  ASSERT_TRUE(profile.Save());
  std::string in = File("report.doc", "text");
  auto wizard = Made(CSignSheet::kMainPage, -1, {}, "");
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    d.Click(d.Control(Page(d, sheet, 104), 1022));
    Next(d, sheet);
    HWND files = Page(d, sheet, 105);
    d.SetText(d.Control(files, kFilePath), in);
    d.Click(d.Control(sheet, ID_WIZBACK));
    Page(d, sheet, 104);
    Next(d, sheet);
    files = Page(d, sheet, 105);
    EXPECT_EQ(d.Text(d.Control(files, kFilePath)), in);
    d.SetCheck(d.Control(files, kSeveralFiles), true);
    EXPECT_EQ(d.Text(d.Control(files, kFilePath)), Text(417));
    d.SetCheck(d.Control(files, kSeveralFiles), false);
    EXPECT_EQ(d.Text(d.Control(files, kFilePath)), "");
    CancelWizard(d, sheet);
  });
}

// The cipher page stores the engine's codes of the entries chosen, offers only what the protected-file format
// can write, takes the profile's cipher when asked and stores the choice as the profile's default.
TEST_F(Wizard, TheCipherPageStoresTheEngineCodes) {
  struct Case {
    int version;
    const char* cipher;  // null: the page's own choice
    const char* keyLength;
    int code, keyCode;
    std::vector<std::string> offered;
  } cases[] = {
      {1, nullptr, nullptr, 3, 3, {"DES", "Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)"}},
      {1, "RC2", nullptr, 0, 3, {}},
      {1, "Triple DES (3-Key)", "168 bits", 3, 0, {}},
      {1, "DES", nullptr, 2, 2, {}},
      {2, "AES", nullptr, 4, 5, {"Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)", "AES"}},
      {2, "Triple DES (3-Key)", nullptr, 3, 4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cipher ? c.cipher : "default") + " version " + std::to_string(c.version));
    CTvxFormatSettings format;
    format.m_nFormatVersion = c.version;
    ASSERT_EQ(format.Save(), ERROR_SUCCESS);
    auto wizard = Made(CSignSheet::kCipherPage, 0, {m_dir + "/report.doc"}, m_dir);
    kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Signer Wizard");
      HWND page = Page(d, sheet, 4208);
      kx::ControlDriver controls(d);
      if (!c.offered.empty()) {
        EXPECT_EQ(controls.ComboItems(d.Control(page, kCipher)), c.offered);
      }
      if (c.cipher) controls.ComboPick(d.Control(page, kCipher), c.cipher);
      if (c.keyLength) controls.ComboPick(d.Control(page, kKeyLength), c.keyLength);
      Next(d, sheet);
      Page(d, sheet, 4209);
      CancelWizard(d, sheet);
    });
    EXPECT_EQ(wizard->m_WizardData.m_nCipher, c.code);
    EXPECT_EQ(wizard->m_WizardData.m_nKeyLength, c.keyCode);
    EXPECT_EQ(wizard->m_WizardData.m_bUseProfileCipher, 0);
  }

  // The profile's cipher, and a choice saved as its default.
  CTvxFormatSettings format;
  format.m_nFormatVersion = 1;
  ASSERT_EQ(format.Save(), ERROR_SUCCESS);
  CSystemProfile profile;
  profile.Load();
  profile.Algorithm = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  profile.KeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
  ASSERT_TRUE(profile.Save());
  for (int box : {kProfileCipher, kSaveCipher}) {
    auto wizard = Made(CSignSheet::kCipherPage, 0, {m_dir + "/report.doc"}, m_dir);
    kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Signer Wizard");
      HWND page = Page(d, sheet, 4208);
      if (box == kSaveCipher) kx::ControlDriver(d).ComboPick(d.Control(page, kCipher), "RC4");
      d.SetCheck(d.Control(page, box), true);
      EXPECT_EQ(d.IsEnabled(d.Control(page, kCipher)), box != kProfileCipher);
      EXPECT_EQ(d.IsEnabled(d.Control(page, kKeyLength)), box != kProfileCipher);
      Next(d, sheet);
      Page(d, sheet, 4209);
      CancelWizard(d, sheet);
    });
    if (box == kProfileCipher) {
      EXPECT_EQ(wizard->m_WizardData.m_nCipher, CAPICOM_ENCRYPTION_ALGORITHM_AES);
      EXPECT_EQ(wizard->m_WizardData.m_nKeyLength, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
      EXPECT_EQ(wizard->m_WizardData.m_bUseProfileCipher, 1);
    } else {
      profile.Load();
      EXPECT_EQ(profile.Algorithm, CAPICOM_ENCRYPTION_ALGORITHM_RC4);
      EXPECT_EQ(profile.KeyLength, CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS);
    }
  }
}

// The processing page: one row per file with its outcome, the progress, the result buttons by the selected
// row's outcome, mailing of the good outputs at the end, and a second run over the same files.
TEST_F(Wizard, TheProcessingPageShowsEveryFileAndOffersTheResults) {
  WithKey("encrypt");
  std::string first = File("first.doc", Content(3000)), second = File("second.doc", Content(5000));
  std::string sealed = kxtest::MakeTempDir("sealed");
  auto encrypt = NewSheet(0, {first, second}, sealed);
  encrypt->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
  encrypt->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  encrypt->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
  Run(*encrypt, EncryptThreadProc);
  std::string bad = File("bad.Tvx", "not protected"), plain = kxtest::MakeTempDir("plain");
  auto wizard = Made(CSignSheet::kProcessingPage, 4, {sealed + "/first.doc.Tvx", bad, sealed + "/second.doc.Tvx"}, plain);
  wizard->m_WizardData.m_bMailResults = 1;
  wizard->m_WizardData.m_bAutoFinish = 1;
  kx::ClearMailRequests();
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 4210);
    HWND list = d.Control(page, kList);
    kx::ControlDriver c(d);
    d.WaitForText(d.Control(page, 1088), "3 of 3 files processed");
    d.WaitForEnabled(d.Control(page, kRunAgain));
    EXPECT_EQ(c.ListText(list, 0, 2), Text(359));
    EXPECT_EQ(c.ListText(list, 1, 2), Text(362));
    EXPECT_EQ(c.ListText(list, 2, 2), Text(359));
    EXPECT_EQ(c.ProgressPos(d.Control(page, 1087)), CPWDecryptPage::kProgressRange);
    // Several files: nothing is opened and the wizard stays, offering Finish.
    EXPECT_TRUE(d.IsVisible(sheet));
    EXPECT_TRUE(d.IsEnabled(d.Control(sheet, ID_WIZFINISH)));
    EXPECT_FALSE(ReadOnly(plain + "/first.doc"));
    d.SavePng(sheet, frametest::Shot("processing-three"));

    c.ListClickRow(list, 1);
    for (int button : {kOpen, kSaveAs, kMail}) EXPECT_FALSE(d.IsEnabled(d.Control(page, button))) << button;
    EXPECT_TRUE(d.IsEnabled(d.Control(page, kDetails)));
    c.ListClickRow(list, 2);
    for (int button : {kOpen, kSaveAs, kMail, kDetails}) EXPECT_TRUE(d.IsEnabled(d.Control(page, button))) << button;
    // Open with no program there to open the file: the person is told so.
    setenv("KX_DESKTOP_OPENER", "/nonexistent/kx-opener", 1);
    d.Click(d.Control(page, kOpen));
    std::string told = AnswerPage(d, "OK");
    unsetenv("KX_DESKTOP_OPENER");
    EXPECT_NE(told.find("cannot be opened"), std::string::npos) << told;
    EXPECT_NE(told.find("xdg-open"), std::string::npos) << told;

    // Each report moves the bar by its share, the last one by nothing.
    CPWDecryptPage* processing = &wizard->m_DecryptPage;
    std::vector<int> positions;
    d.Invoke(page, [&] {
      processing->SetProgressPos(0);
      for (int i = 0; i < 3; ++i) {
        processing->ReportFileResult(i, 1, nullptr, 3, FALSE);
        positions.push_back(processing->m_ctlProgress.GetPos());
      }
    });
    EXPECT_EQ(positions, (std::vector<int>{16666, 33332, 33332}));
    // The count moves with every report, the last one too.
    EXPECT_EQ(d.Text(d.Control(page, 1088)), "3 of 3 files processed");

    // Once more, on the same files.
    d.Click(d.Control(page, kRunAgain));
    AnswerPage(d, "Yes");
    d.WaitForText(d.Control(page, 1088), "3 of 3 files processed");
    d.WaitForEnabled(d.Control(page, kRunAgain));
    EXPECT_EQ(c.ListText(list, 2, 2), Text(359));
    FinishRun(d, sheet);
  });
  EXPECT_TRUE(kxtest::ReadFile(plain + "/first(1).doc") == Content(3000));
  EXPECT_TRUE(kxtest::ReadFile(plain + "/second(1).doc") == Content(5000));
  // The mail of each run carries the two good outputs.
  std::vector<kx::MailRequest> mails = kx::MailRequests();
  ASSERT_EQ(mails.size(), 2u);
  ASSERT_EQ(mails[0].attachments.size(), 2u);
  EXPECT_EQ(mails[0].attachments[0].path, plain + "/first.doc");
  EXPECT_EQ(mails[0].attachments[1].path, plain + "/second.doc");
}

// Details of a file that failed to be protected: its failure text (there is no output to summarise).
TEST_F(Wizard, DetailsOfAFailedFileTellItsFailure) {
  WithKey("encrypt");
  std::string empty = File("empty.doc", ""), out = kxtest::MakeTempDir("sealed");
  auto wizard = Made(CSignSheet::kProcessingPage, 0, {empty}, out);
  wizard->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
  wizard->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  wizard->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 4210);
    AnswerPage(d, "OK");  // the run's report of the failure
    d.WaitForEnabled(d.Control(page, kRunAgain));
    kx::ControlDriver(d).ListClickRow(d.Control(page, kList), 0);
    d.Click(d.Control(page, kDetails));
    const std::string told = AnswerPage(d, "OK");
    EXPECT_NE(told.find(empty), std::string::npos) << told;
    EXPECT_NE(told.find(Text(370)), std::string::npos) << told;
    FinishRun(d, sheet);
  });
}

// Signing and countersigning through the wizard: the signers are chosen in the selection sheet, and the
// countersigned file carries both signers' signatures, which verify.
TEST_F(Wizard, SigningAndCountersigningThroughTheWizard) {
  WithKey("signer");
  WithKey("revoked");
  const std::string input = Content(9000);
  std::string in = File("report.doc", input);
  auto sign = [&](BYTE operation, const std::string& file, const char* signer) {
    CString path, text;
    INT_PTR result = kx::RunWithUiHere(
        [&] { return INT_PTR(SignerWizardOperation(nullptr, operation, file.c_str(), m_dir.c_str(), &path, &text)); },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Signer Wizard");
          Page(d, sheet, 105);
          Next(d, sheet);
          HWND signers = Page(d, sheet, 4225);
          // Without a signer there is no way on.
          EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZNEXT)));
          d.Click(d.Control(signers, 1034));
          AnswerPage(d, "Yes");
          Pick(d, Text(299).c_str(), 0, 4205, {signer});
          EXPECT_EQ(kx::ControlDriver(d).ListText(d.Control(signers, kList), 0, 0), signer);
          if (operation == 1) d.SavePng(sheet, frametest::Shot("signers"));
          Next(d, sheet);
          // The signing-time and picture pages as they come.
          Page(d, sheet, 4224);
          Next(d, sheet);
          Page(d, sheet, 4226);
          Next(d, sheet);
          Page(d, sheet, 4210);
          FinishRun(d, sheet);
        });
    EXPECT_EQ(result, 1);
    return path.str();
  };
  const std::string signedPath = sign(1, in, "Alice Signer");
  EXPECT_EQ(signedPath, m_dir + "/report.doc.Tvx");
  const std::string countersigned = sign(3, signedPath, "Dave Revoked");
  EXPECT_EQ(countersigned, m_dir + "/report.doc(1).Tvx");
  ProtectedFile file = Read(countersigned);
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->m_info.m_body.GetEntryCount(), 2u);

  auto back = NewSheet(4, {countersigned}, kxtest::MakeTempDir("plain"));
  Run(*back, DecryptVerifyThreadProc);
  // Only signatures are checked: the revoked countersigner is named on the row, not passed as a plain success.
  EXPECT_EQ(Results(*back), std::vector<std::string>{"The signature of Dave Revoked is intact, but its digital ID is "
                                                     "not valid: The certificate or a certificate above it in the "
                                                     "chain has been revoked."});
}

// Countersigning takes only signed protected files without encryption: the browsed file is checked at once.
TEST_F(Wizard, CountersigningRefusesFilesItCannotSign) {
  CCapicomCertificate alice = WithKey("signer");
  WithKey("encrypt");
  std::string in = File("report.doc", Content(3000)), files = kxtest::MakeTempDir("files");
  auto sign = NewSheet(1, {in}, files);
  sign->m_WizardData.m_arrSignerCerts = {alice};
  Run(*sign, SignThreadProc);
  auto both = NewSheet(2, {in}, kxtest::MakeTempDir("both"));
  both->m_WizardData.m_arrSignerCerts = {alice};
  both->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
  both->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  both->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
  Run(*both, SignAndEncryptThreadProc);
  kxtest::WriteFile(files + "/both.Tvx", kxtest::ReadFile(kxtest::Root() + "/both/report.doc.Tvx"));
  kxtest::WriteFile(files + "/plain.tvx", "plain text");

  auto wizard = Made(CSignSheet::kFilePage, 3, {}, files);
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 105);
    kx::ControlDriver c(d);
    struct Case {
      const char* name;
      UINT refusal;
    } cases[] = {{"plain.tvx", 420}, {"both.Tvx", 421}, {"report.doc.Tvx", 0}};
    for (const Case& k : cases) {
      d.Click(d.Control(page, 1008));
      c.FillFileDialog(files, {k.name});
      if (k.refusal) {
        EXPECT_EQ(AnswerPage(d, "OK"), Text(k.refusal)) << k.name;
        EXPECT_EQ(d.Text(d.Control(page, kFilePath)), "") << k.name;
      } else {
        d.WaitForText(d.Control(page, kFilePath), files + "/" + k.name);
      }
    }
    CancelWizard(d, sheet);
  });
}

// One signer at a time without the multiple-signers box: chosen in the certificate manager's selection form; a
// second choice waits until the list is cleared.
TEST_F(Wizard, TheSignerPageTakesOneSignerUnlessSeveralAreAsked) {
  WithKey("signer");
  auto wizard = Made(CSignSheet::kSignersPage, 1, {m_dir + "/report.doc"}, m_dir);
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 4225);
    HWND list = d.Control(page, kList);
    kx::ControlDriver c(d);
    d.Click(d.Control(page, 1043));
    HWND chooser = d.WaitForTitle(Text(298));
    HWND personal = d.Control(d.WaitForDialog(102), kList);
    c.ListDoubleClickRow(personal, c.WaitForListRow(personal, "Alice Signer"));
    d.WaitForGone(chooser);
    EXPECT_EQ(c.ListRowCount(list), 1);
    EXPECT_EQ(c.ListText(list, 0, 2), Text(433));
    EXPECT_TRUE(d.IsEnabled(d.Control(sheet, ID_WIZNEXT)));
    d.Click(d.Control(page, 1043));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(431));
    d.Click(d.Control(page, 1053));
    EXPECT_EQ(AnswerPage(d, "Yes"), Text(436));
    EXPECT_EQ(c.ListRowCount(list), 0);
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZNEXT)));
    // Back leads to the file page.
    d.Click(d.Control(sheet, ID_WIZBACK));
    Page(d, sheet, 105);
    CancelWizard(d, sheet);
  });
  EXPECT_TRUE(wizard->m_WizardData.m_arrSignerCerts.empty());
}

// The operation data of a new wizard, and the one-call set-up of the user set-up run.
TEST_F(Wizard, NewOperationDataHoldsNothingChosen) {
  CSignSheet sheet("Signer Wizard", nullptr, 0);
  CProtectWizardData& data = sheet.m_WizardData;
  EXPECT_EQ(data.m_nMode, -1);
  EXPECT_EQ(data.m_nCipher, -1);
  EXPECT_EQ(data.m_nKeyLength, -1);
  EXPECT_EQ(data.m_nSymmetricCipher, -1);
  EXPECT_EQ(data.m_nSymmetricKeySize, -1);
  EXPECT_EQ(data.m_nPackageType, 0);
  EXPECT_EQ(data.m_pEngineObjects, nullptr);
  EXPECT_EQ(data.m_arrInputFiles.GetSize(), 0);
  EXPECT_EQ(data.m_bOperationDone.load() + data.m_bOperationSucceeded + data.m_bAutoFinish + data.m_bLaunchedByOperation,
            0);
  EXPECT_EQ(sheet.m_FinishPage.m_nFinishCode, 101);
  EXPECT_EQ(CUniversalSignSheet("Universal Signer Wizard", nullptr, 0).m_FinishPage.m_nFinishCode, 107);

  data.m_strOutputFolder = "/out";
  data.PrepareForProfileSetup();
  EXPECT_EQ(data.m_nCipher, CAPICOM_ENCRYPTION_ALGORITHM_3DES);
  EXPECT_EQ(data.m_nKeyLength, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  EXPECT_EQ(data.m_SigningTime.m_bFlag, 1);
  EXPECT_EQ(data.m_nMode, -1);
  EXPECT_EQ(data.m_strOutputFolder.str(), "/out");
  EXPECT_EQ(data.AddSignerCertificate(Cert("signer")), 0);
  EXPECT_EQ(data.AddSignerCertificate(Cert("revoked")), 1);
  EXPECT_EQ(data.AddRecipientCertificate(Cert("encrypt")), 0);
}

// Every page of the wizard carries the help flag, the page icon and the wizard's tab title.
TEST_F(Wizard, ThePagesAreAddedInTheirOrder) {
  for (const char* name : {"CSignSheet", "CUniversalSignSheet"}) {
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName(name, nullptr, &made);
    std::unique_ptr<CBaseSheet> sheet(made);
    auto* wizard = dynamic_cast<CSignSheet*>(made);
    ASSERT_NE(wizard, nullptr) << name;
    const UINT templates[] = {104, 105, 4208, 4209, 4210, 4225, 4224, 4226, 4227, 4228, 4250};
    ASSERT_EQ(wizard->GetPageCount(), 11);
    for (int i = 0; i < 11; ++i) {
      CPropertyPage* page = wizard->GetPage(i);
      EXPECT_EQ(reinterpret_cast<ULONG_PTR>(page->m_psp.pszTemplate), templates[i]) << i;
      EXPECT_TRUE(page->m_psp.dwFlags & PSP_HASHELP) << i;
      EXPECT_EQ(wizard->m_astrTabTitles[i].str(), std::string(name) == "CSignSheet" ? Text(177) : "Universal Signer Wizard");
    }
    EXPECT_EQ(wizard->m_imlTabs.GetImageCount(), 11);
    EXPECT_EQ(wizard->GetWizardPage(CSignSheet::kFinishPage), &wizard->m_FinishPage);
    EXPECT_EQ(wizard->GetWizardPage(CSignSheet::kTimeStampPage), &wizard->m_TimeStampPage);
  }
}

TEST_F(Wizard, TrustCodesMapToTheirTexts) {
  struct Case {
    uint32_t code;
    UINT id;
  } cases[] = {{0x800B0001, 5000}, {0x800B0002, 386}, {0x800B000B, 395}, {0x800B0100, 396},
               {0x800B0101, 397}, {0x800B0114, 416}, {0x800B000C, 0},   {0x800B0115, 0}, {0x80004005, 0}};
  for (const Case& c : cases) {
    CString text("stale");
    EXPECT_EQ(GetTrustErrorText(static_cast<HRESULT>(c.code), text), c.id != 0) << std::hex << c.code;
    EXPECT_EQ(text.str(), c.id ? Text(c.id) : "") << std::hex << c.code;
    if (c.id) {
      EXPECT_FALSE(text.IsEmpty());
    }
  }
}

}  // namespace
