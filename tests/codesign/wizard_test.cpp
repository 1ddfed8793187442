// The code-signing wizard's pages and its results page driven as a person does, with the wizard made by its
// class name in this process so that its operation data can be looked at afterwards.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "app/frame_fixture.h"
#include "app/pages.h"
#include "archives/CodeSignWizard.h"
#include "codesign/codesign_fixture.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SystemProfile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/signedcode.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxstate.h"
#include "platform/services/mapi.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/prsht.h"
#include "platform/win32/modules.h"
#include "engine/CapicomStore.h"
#include "engine/CertPolicy.h"
#include "support/pki.h"
#include "support/testroot.h"
#include "support/wizard.h"

namespace codesign {
namespace {

using namespace steps;
using kxtest::AnswerPage;

std::string Res(UINT id) { return LoadResString(id).GetString(); }

std::string TrustText(HRESULT code) {
  CString text;
  EXPECT_TRUE(CCertPolicy().GetTrustErrorText(code, text));
  return text.GetString();
}

class CodeSignWizardTest : public CodeSignTest {
 protected:
  static void SetUpTestSuite() {
    CBrinmoorApp& app = frametest::App();
    if (app.m_hResourceModule) return;
    app.m_hResourceModule = LoadLibrary((kxtest::BuildDir() + "/lib/KXRes.DLL").c_str());
    ASSERT_NE(app.m_hResourceModule, nullptr);
    SetResourceModule(app.m_hResourceModule);
    app.m_strModuleFolder = (kxtest::BuildDir() + "/lib/").c_str();
  }
  void SetUp() override {
    CodeSignTest::SetUp();
    m_main = std::make_unique<frametest::MainWindow>();
    ASSERT_TRUE(m_main->Created());
    kx::codesign::PauseAfterRun() = 0;
    kx::ClearMailRequests();
    m_in = kxtest::MakeTempDir("in");
    m_out = kxtest::MakeTempDir("out");
  }
  void TearDown() override {
    m_main.reset();
    kx::DestroyThreadWindows();
    CodeSignTest::TearDown();
  }

  // Runs a new wizard on this thread while the script drives it; the wizard stays for a look at its data.
  INT_PTR Run(const std::function<void(kx::UiDriver&, HWND)>& script) {
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName("CCodeSignWizard", nullptr, &made);
    m_wizard.reset(dynamic_cast<CCodeSignWizard*>(made));
    if (!m_wizard) {
      delete made;
      ADD_FAILURE() << "no code-signing wizard";
      return -1;
    }
    m_wizard->m_bHosted = 0;
    return kx::RunWithUiHere([&] { return m_wizard->DoModal(); },
                             [&](kx::UiDriver& d) { script(d, d.WaitForTitle("Code Signer Wizard")); });
  }

  // Welcome (sign), one file, the system profile's output folder; leaves the wizard on the signer page.
  void ToSignerPage(kx::UiDriver& d, HWND sheet, const std::string& file) {
    Choose(d, sheet, false);
    HWND files = d.WaitForDialog(kFiles);
    d.SetText(d.Control(files, kFilePath), file);
    HWND own = d.Control(files, kOutputFolder);
    EXPECT_TRUE(d.IsEnabled(own));
    d.SetCheck(d.Control(files, kProfileFolder), true);
    EXPECT_FALSE(d.IsEnabled(own));
    Next(d, sheet);
    d.WaitForDialog(kSigner);
  }

  static void SetServer(kx::UiDriver& d, HWND signer, const std::string& url) {
    d.SetText(d.Control(signer, kServerUrl), url);
  }

  std::unique_ptr<CCodeSignWizard> m_wizard;
  std::unique_ptr<frametest::MainWindow> m_main;
  std::string m_in, m_out;
};

TEST_F(CodeSignWizardTest, FileAndSignerPagesCheckWhatTheyAreGiven) {
  // A second code-signing digital ID (openssl, under the fixture's intermediate): Alice's e-mail ID may not sign
  // code, so the picker would not take her.
  const std::string cody = m_dir + "/cody";
  kxtest::WriteFile(cody + ".ext", "keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n");
  std::string made;
  ASSERT_EQ(kxtest::Run("(openssl req -new -newkey rsa:2048 -nodes -subj '/CN=Cody Second' -keyout '" + cody +
                            ".key' -out '" + cody + ".csr' && openssl x509 -req -in '" + cody + ".csr' -CA '" +
                            kxtest::pki::Pem("inter") + "' -CAkey '" + kxtest::pki::Key("inter") +
                            "' -set_serial 0x72 -days 30 -extfile '" + cody + ".ext' -out '" + cody +
                            ".pem' && openssl pkcs12 -export -in '" + cody + ".pem' -inkey '" + cody + ".key' -out '" +
                            cody + ".pfx' -passout pass:pw) 2>&1",
                        &made),
            0)
      << made;
  {
    CCapicomStore my;
    ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(my.Load((cody + ".pfx").c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE), S_OK);
  }
  CSystemProfile profile;
  profile.Load();
  profile.EnableDirOperation = 0;
  profile.Save();
  const std::string program = Program("hello64.exe", m_in);
  CString chosenServer, blankServer;
  std::string viewed;
  INT_PTR result = Run([&](kx::UiDriver& d, HWND sheet) {
    Choose(d, sheet, false);
    HWND files = d.WaitForDialog(kFiles);
    // The profile forbids lists of files.
    EXPECT_FALSE(d.IsEnabled(d.Control(files, kSeveral)));
    EXPECT_FALSE(d.IsChecked(d.Control(files, kSeveral)));
    kxtest::PressNext(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Res(418));
    d.SetText(d.Control(files, kFilePath), program);
    kxtest::PressNext(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Res(419));
    d.SetText(d.Control(files, kOutputFolder), m_out + "/missing");
    kxtest::PressNext(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Res(419));
    d.SetText(d.Control(files, kOutputFolder), m_out);
    Next(d, sheet);

    HWND signer = d.WaitForDialog(kSigner);
    HWND next = d.Control(sheet, ID_WIZNEXT), list = d.Control(signer, kSignerList);
    EXPECT_FALSE(d.IsEnabled(next));
    // No to the question leaves the box clear.
    d.Click(d.Control(signer, kCountersign));
    EXPECT_EQ(AnswerPage(d, "No"), Res(566) + " " + Res(553));
    EXPECT_FALSE(d.IsChecked(d.Control(signer, kCountersign)));
    ChooseSigners(d, signer, {"Test Code Signer", "Cody Second"});
    EXPECT_EQ(Column(d, list, 0), (std::vector<std::string>{"Test Code Signer", "Cody Second"}));
    EXPECT_EQ(Column(d, list, 1), (std::vector<std::string>{"Test Intermediate CA", "Test Intermediate CA"}));
    EXPECT_EQ(Column(d, list, 2), (std::vector<std::string>{"Signer ID", "Countersign ID"}));
    EXPECT_TRUE(d.IsEnabled(next));
    Shot(d, sheet, "signer-several");
    // Clearing the box with several signers empties the list.
    d.Click(d.Control(signer, kCountersign));
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(list), 0);
    EXPECT_FALSE(d.IsEnabled(next));
    ChooseSigners(d, signer, {"Test Code Signer"});
    d.Click(d.Control(signer, kCountersign));
    EXPECT_EQ(Column(d, list, 0), std::vector<std::string>{"Test Code Signer"});
    // One signer at a time without the box.
    d.Click(d.Control(signer, kChoose));
    EXPECT_EQ(AnswerPage(d, "OK"), Res(431));
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(list), 1);
    d.Click(d.Control(signer, kClear));
    EXPECT_EQ(AnswerPage(d, "No"), Res(436));
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(list), 1);
    d.Click(d.Control(signer, kClear));
    EXPECT_EQ(AnswerPage(d, "Yes"), Res(436));
    EXPECT_EQ(kx::ControlDriver(d).ListRowCount(list), 0);
    EXPECT_FALSE(d.IsEnabled(next));
    // One signer comes from the certificate manager in its selection role.
    d.Click(d.Control(signer, kChoose));
    HWND manager = d.WaitForTitle(Res(298));
    HWND personal = d.Control(d.WaitForDialog(102), kSignerList);
    kx::ControlDriver(d).ListDoubleClickRow(personal, kx::ControlDriver(d).WaitForListRow(personal, "Test Code Signer"));
    d.WaitForGone(manager);
    EXPECT_EQ(Column(d, list, 2), std::vector<std::string>{"Signer ID"});
    EXPECT_TRUE(d.IsEnabled(next));
    // View shows the engine's dialog of the listed certificate.
    d.Click(d.Control(signer, kView));
    HWND details = d.WaitForDialog(30055);
    HWND chain = d.Control(details, 1266);
    viewed = kx::ControlDriver(d).TreeText(chain, reinterpret_cast<HTREEITEM>(d.Send(chain, TVM_GETNEXTITEM, TVGN_ROOT, 0)));
    d.Click(d.Control(details, IDOK));
    d.WaitForGone(details);

    // An address instead of a URL: the service is reached over HTTP at that address.
    kx::ControlDriver(d).ComboPick(d.Control(signer, kServerKind), "IP address");
    // The time-stamp server's labels name no proxy: the proxy page shares them.
    EXPECT_EQ(d.Text(d.Control(signer, kServerCaption)), "Server &IP address:");
    EXPECT_FALSE(d.IsVisible(d.Control(signer, kServerUrl)));
    HWND address = d.Control(signer, kServerAddress);
    EXPECT_TRUE(d.IsVisible(address));
    d.Invoke(address, [&] { blankServer = m_wizard->m_SignPage.ServerText(); });
    RECT box{};
    GetClientRect(address, &box);
    d.ClickAt(address, 4, box.bottom / 2);  // into the first field
    d.Type("10.20.30.40");
    d.Invoke(address, [&] { chosenServer = m_wizard->m_SignPage.ServerText(); });
    Shot(d, sheet, "signer-address");
    kx::ControlDriver(d).ComboPick(d.Control(signer, kServerKind), "URL");
    EXPECT_EQ(d.Text(d.Control(signer, kServerCaption)), "Server &URL:");

    // Back leads to the file page, and the page keeps its signer.
    d.Click(d.Control(sheet, ID_WIZBACK));
    d.WaitForDialog(kFiles);
    Next(d, sheet);
    d.WaitForDialog(kSigner);
    EXPECT_EQ(Column(d, list, 0), std::vector<std::string>{"Test Code Signer"});
    Next(d, sheet);
    d.WaitForDialog(kResults);
    EXPECT_TRUE(WaitForRunEnd(d, sheet).empty());
    Next(d, sheet);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_EQ(viewed, "Chain for Test Code Signer");
  EXPECT_EQ(blankServer, "");
  EXPECT_EQ(chosenServer, "http://10.20.30.40/");
  const CProtectWizardData& data = m_wizard->m_WizardData;
  EXPECT_EQ(data.m_nMode, 1);
  ASSERT_EQ(data.m_arrSignerCerts.size(), 1u);
  EXPECT_STREQ(data.m_arrSignerCerts[0].GetInfo(0).GetAnsi(), "Test Code Signer");
  // Without a server text no time stamp is asked for.
  EXPECT_TRUE(data.m_strCodeSignSetting.IsEmpty());
  std::string report;
  EXPECT_TRUE(OsslVerify(m_out + "/hello64.exe", false, &report)) << report;
  EXPECT_EQ(report.find("Timestamp verified"), std::string::npos) << report;
}

TEST_F(CodeSignWizardTest, ResultsOfferSaveMailDetailsAndRunAgain) {
  StartTimeStamping();
  Program("hello32.exe", m_in);
  kxtest::WriteFile(m_in + "/notes.txt", std::string(2048, 'n'));
  std::vector<std::string> firstStates, secondStates;
  std::string detailStatus, programDetails;
  std::string percent, count, saveText, selfText, mailQuestion;
  bool failedRowButtons = true, goodRowButtons = false;
  INT_PTR result = Run([&](kx::UiDriver& d, HWND sheet) {
    Choose(d, sheet, false);
    HWND files = d.WaitForDialog(kFiles);
    d.SetCheck(d.Control(files, kSeveral), true);
    AddFiles(d, files, m_in, {"hello32.exe", "notes.txt"});
    d.SetText(d.Control(files, kOutputFolder), m_out);
    Next(d, sheet);
    HWND signer = d.WaitForDialog(kSigner);
    ChooseSigners(d, signer, {"Test Code Signer"});
    SetServer(d, signer, m_tsa.Url("/legacy"));
    Next(d, sheet);
    HWND results = d.WaitForDialog(kResults);
    EXPECT_TRUE(WaitForRunEnd(d, sheet).empty());
    HWND list = d.Control(results, kResultList);
    firstStates = Column(d, list, 2);
    percent = d.Text(d.Control(results, kPercent));
    count = d.Text(d.Control(results, kCount));
    kx::ControlDriver c(d);

    // The failed file: nothing to save, open or mail, but its details say why.
    c.ListClickRow(list, 1);
    failedRowButtons = d.IsEnabled(d.Control(results, kSaveAs)) || d.IsEnabled(d.Control(results, kOpen)) ||
                       d.IsEnabled(d.Control(results, kMailOne));
    EXPECT_TRUE(d.IsEnabled(d.Control(results, kDetails)));
    d.Click(d.Control(results, kDetails));
    HWND summary = d.WaitForTitle(Res(556));
    HWND status = d.Control(summary, kSummaryStatus);
    detailStatus = d.Text(status);
    Shot(d, summary, "details");
    d.Click(d.Control(summary, IDOK));
    d.WaitForGone(summary);

    c.ListClickRow(list, 0);
    goodRowButtons = d.IsEnabled(d.Control(results, kSaveAs)) && d.IsEnabled(d.Control(results, kOpen)) &&
                     d.IsEnabled(d.Control(results, kMailOne));
    // A signed program's details are its signature, not an empty summary of a protected file.
    d.Click(d.Control(results, kDetails));
    programDetails = AnswerPage(d, "OK");
    d.Click(d.Control(results, kSaveAs));
    c.FillFileDialog(m_in, {"copy.exe"});
    saveText = AnswerPage(d, "OK");
    d.Click(d.Control(results, kSaveAs));
    c.FillFileDialog(m_out, {"hello32.exe"});
    HWND overwrite = d.WaitForMessageBox();  // the file dialog asks before replacing
    d.Click(d.ControlByText(overwrite, "Yes", "Button"));
    selfText = AnswerPage(d, "OK");
    d.Click(d.Control(results, kMailOne));
    mailQuestion = AnswerPage(d, "Yes");
    Shot(d, sheet, "results-buttons");

    d.Click(d.Control(results, kRunAgain));
    EXPECT_EQ(AnswerPage(d, "Yes"), Res(555) + "\n" + Res(328));
    EXPECT_TRUE(WaitForRunEnd(d, sheet).empty());
    secondStates = Column(d, list, 2);
    Next(d, sheet);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, ID_WIZFINISH);
  const std::vector<std::string> expected = {Res(557), Res(362)};
  EXPECT_EQ(firstStates, expected);
  EXPECT_EQ(secondStates, expected);
  EXPECT_EQ(percent, "100%");
  EXPECT_EQ(count, "2 of 2 files processed");
  EXPECT_FALSE(failedRowButtons);
  EXPECT_TRUE(goodRowButtons);
  // The failed file's details say why, in the engine's words too.
  EXPECT_EQ(detailStatus, "Failed to Sign the file. Please check if you have a Authenticode certificate (" +
                              TrustText(static_cast<HRESULT>(0x800B0003)) + ")");
  EXPECT_EQ(programDetails.rfind(m_out + "/hello32.exe\n\n", 0), 0u) << programDetails;
  EXPECT_NE(programDetails.find("Signed by: Test Code Signer\n"), std::string::npos) << programDetails;
  EXPECT_NE(programDetails.find("Time stamp by: "), std::string::npos) << programDetails;
  EXPECT_EQ(programDetails.find("Time stamp by: none"), std::string::npos) << programDetails;
  EXPECT_NE(programDetails.find(Res(31515)), std::string::npos) << programDetails;
  EXPECT_EQ(saveText, Res(329));
  EXPECT_EQ(kxtest::ReadFile(m_in + "/copy.exe"), kxtest::ReadFile(m_out + "/hello32.exe"));
  // Saving a result onto itself is refused and leaves it whole.
  EXPECT_EQ(selfText, Res(330));
  std::string report;
  EXPECT_TRUE(OsslVerify(m_out + "/hello32.exe", true, &report)) << report;
  EXPECT_EQ(mailQuestion, Res(372));
  const auto mails = kx::MailRequests();
  ASSERT_EQ(mails.size(), 1u);
  ASSERT_EQ(mails[0].attachments.size(), 1u);
  EXPECT_EQ(mails[0].attachments[0].path, m_out + "/hello32.exe");
  // The second run made a second numbered copy; the text file never got one.
  EXPECT_EQ(Names(m_out), (std::vector<std::string>{"hello32(1).exe", "hello32.exe"}));
  EXPECT_TRUE(OsslVerify(m_out + "/hello32(1).exe", true, &report)) << report;
  const CCodeFinalPage& page = m_wizard->m_FinalPage;
  ASSERT_EQ(page.m_arrOutputFiles.GetSize(), 2);
  EXPECT_EQ(page.m_arrOutputFiles[0], CString((m_out + "/hello32(1).exe").c_str()));
  EXPECT_EQ(page.m_arrOutputFiles[1], "Error");
  EXPECT_EQ(page.m_arrResults[0], "Success");
}

TEST_F(CodeSignWizardTest, ProfileFolderFailedStampAndShreddingOnlySignedInputs) {
  StartTimeStamping();
  COfficeTolvexConfig config;
  config.LoadGeneralOptions();
  config.ShredTemporaryFiles = 1;
  ASSERT_TRUE(config.SaveGeneralOptions());
  config.LoadOperationOptions();
  config.ShowFinishPage = 0;
  ASSERT_TRUE(config.SaveOperationOptions());
  CSystemProfile profile;
  profile.Load();
  profile.OutputOption = 1;
  profile.OutputFolder = m_out.c_str();
  profile.Save();
  const std::string program = Program("hello32.dll", m_in);
  const std::string bytes = kxtest::ReadFile(program);

  auto sign = [&](const std::string& url, bool* finishOffered) {
    return Run([&](kx::UiDriver& d, HWND sheet) {
      ToSignerPage(d, sheet, program);
      HWND signer = d.WaitForDialog(kSigner);
      ChooseSigners(d, signer, {"Test Code Signer"});
      SetServer(d, signer, url);
      Next(d, sheet);
      d.WaitForDialog(kResults);
      EXPECT_TRUE(WaitForRunEnd(d, sheet).empty());
      *finishOffered = d.IsEnabled(d.Control(sheet, ID_WIZFINISH)) && !d.IsEnabled(d.Control(sheet, ID_WIZNEXT));
      d.Click(d.Control(sheet, ID_WIZFINISH));
      d.WaitForGone(sheet);
    });
  };
  bool finish = false;
  sign(m_tsa.Url("/status500"), &finish);
  EXPECT_TRUE(finish);
  EXPECT_TRUE(Names(m_out).empty()) << "the signed copy of a failed stamp stayed";
  EXPECT_EQ(kxtest::ReadFile(program), bytes) << "the input of a failed file was touched";
  ASSERT_EQ(m_wizard->m_FinalPage.m_arrResults.GetSize(), 1);
  EXPECT_EQ(m_wizard->m_FinalPage.m_arrResults[0],
            "Failed to Timestamp the file. Please check if you have a access to TSP server "
            "(The time-stamping server answered with the HTTP status 500.)");

  sign(m_tsa.Url("/legacy"), &finish);
  EXPECT_EQ(Names(m_out), std::vector<std::string>{"hello32.dll"});
  EXPECT_NE(access(program.c_str(), F_OK), 0) << "the signed input was not shredded";
  std::string report;
  EXPECT_TRUE(OsslVerify(m_out + "/hello32.dll", true, &report)) << report;

  // Verification never deletes, whatever the setting; a file without a signature is marked as not signed.
  Program("hello64.exe", m_out, "plain.exe");
  std::vector<std::string> messages;
  INT_PTR result = Run([&](kx::UiDriver& d, HWND sheet) {
    Choose(d, sheet, true);
    HWND files = d.WaitForDialog(kFiles);
    d.SetCheck(d.Control(files, kSeveral), true);
    AddFiles(d, files, m_out, {"hello32.dll", "plain.exe"});
    Next(d, sheet);
    d.WaitForDialog(kResults);
    messages = WaitForRunEnd(d, sheet);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(Names(m_out), (std::vector<std::string>{"hello32.dll", "plain.exe"}));
  const CCodeFinalPage& page = m_wizard->m_FinalPage;
  ASSERT_EQ(page.m_arrResults.GetSize(), 2);
  EXPECT_EQ(page.m_arrResults[0], "Success");
  EXPECT_EQ(page.m_arrOutputFiles[1], "Error");
  EXPECT_EQ(std::string(page.m_arrResults[1]), messages.at(0));
  EXPECT_EQ(m_wizard->m_WizardData.m_bEngineError, 1);
}

TEST_F(CodeSignWizardTest, WithoutTheEngineTheRunSaysWhyAndTheWizardCanBeLeft) {
  const std::string program = Program("hello64.exe", m_in);
  ASSERT_TRUE(kx::UnregisterClass(CLSID_SignedCode));
  std::vector<std::string> messages;
  bool finish = false;
  INT_PTR result = Run([&](kx::UiDriver& d, HWND sheet) {
    Choose(d, sheet, true);
    d.SetText(d.Control(d.WaitForDialog(kFiles), kFilePath), program);
    Next(d, sheet);
    messages = WaitForRunEnd(d, sheet);
    finish = d.IsEnabled(d.Control(sheet, ID_WIZNEXT)) || d.IsEnabled(d.Control(sheet, ID_WIZFINISH));
    Next(d, sheet);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  kx::RegisterClassModule(CLSID_SignedCode, CAPICOM_MODULE_NAME);
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_TRUE(finish);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(messages[0].empty());
  EXPECT_EQ(m_wizard->m_WizardData.m_pEngineObjects, nullptr);
}

}  // namespace
}  // namespace codesign
