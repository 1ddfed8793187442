// The code-signing wizard as a host opens it: DisplayCodeSignWizard of the loaded library, driven through its
// pages. Signed copies are checked with osslsigncode; verification of good, changed and unsigned programs.
#include <cstdio>

#include "codesign/codesign_fixture.h"
#include "engine/CertPolicy.h"
#include "library/library.h"
#include "platform/services/mapi.h"
#include "platform/ui/prsht.h"
#include "support/testroot.h"

namespace codesign {
namespace {

using DisplayFn = int(int);
using namespace steps;

class CodeSignExport : public CodeSignTest {
 protected:
  void SetUp() override {
    CodeSignTest::SetUp();
    m_library = LoadLibrary("Brinmoor.DLL");
    ASSERT_NE(m_library, nullptr) << "the library did not load";
    m_display = reinterpret_cast<DisplayFn*>(GetProcAddress(m_library, "DisplayCodeSignWizard"));
    ASSERT_NE(m_display, nullptr);
    kx::ClearMailRequests();
  }
  void TearDown() override {
    if (m_library) FreeLibrary(m_library);
    CodeSignTest::TearDown();
  }
  INT_PTR Show(const std::function<void(kx::UiDriver&, HWND)>& script) {
    return kx::RunWithUiHere([&] { return INT_PTR(m_display(0)); },
                             [&](kx::UiDriver& d) { script(d, d.WaitForTitle("Code Signer Wizard")); });
  }
  HMODULE m_library = nullptr;
  DisplayFn* m_display = nullptr;
};

std::string TrustText(HRESULT code) {
  CString text;
  EXPECT_TRUE(CCertPolicy().GetTrustErrorText(code, text));
  return text.GetString();
}

TEST_F(CodeSignExport, SignsNumberedCopiesWithATimeStampAndMailsOnlyWhatWasMade) {
  StartTimeStamping();
  const std::string in = kxtest::MakeTempDir("in"), out = kxtest::MakeTempDir("out");
  Program("hello32.exe", in);
  Program("hello64.dll", in);
  kxtest::WriteFile(in + "/empty.exe", "");
  kxtest::WriteFile(in + "/readme.txt", std::string(4096, 'r'));
  // The output folder already holds a program of that name and its first numbered copy.
  Program("hello64.exe", out, "hello32.exe");
  Program("hello64.exe", out, "hello32(1).exe");
  const std::string before32 = kxtest::ReadFile(in + "/hello32.exe");

  std::vector<std::string> messages, states, rows;
  INT_PTR result = Show([&](kx::UiDriver& d, HWND sheet) {
    Shot(d, sheet, "welcome");
    Choose(d, sheet, false);
    HWND files = d.WaitForDialog(kFiles);
    d.SetCheck(d.Control(files, kSeveral), true);
    AddFiles(d, files, in, {"hello32.exe", "hello64.dll", "empty.exe", "readme.txt"});
    d.SetText(d.Control(files, kOutputFolder), out);
    d.SetCheck(d.Control(files, kMail), true);
    Shot(d, sheet, "files");
    Next(d, sheet);

    HWND signer = d.WaitForDialog(kSigner);
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZNEXT))) << "Next without a signer";
    ChooseSigners(d, signer, {"Test Code Signer"});
    d.SetText(d.Control(signer, kServerUrl), m_tsa.Url("/legacy"));
    EXPECT_EQ(Column(d, d.Control(signer, kSignerList), 0), std::vector<std::string>{"Test Code Signer"});
    Shot(d, sheet, "signer");
    Next(d, sheet);

    HWND results = d.WaitForDialog(kResults);
    messages = WaitForRunEnd(d, sheet);
    HWND list = d.Control(results, kResultList);
    states = Column(d, list, 2);
    rows = Column(d, list, 0);
    Shot(d, sheet, "results-signed");
    Next(d, sheet);
    d.WaitForDialog(kFinish);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  // The empty file says why; the text file fails quietly like any file the engine refuses.
  EXPECT_EQ(messages, std::vector<std::string>{kReadFailed});
  // The file dialog hands the files over in the order of its list, by name.
  EXPECT_EQ(rows, (std::vector<std::string>{in + "/empty.exe", in + "/hello32.exe", in + "/hello64.dll",
                                               in + "/readme.txt"}));
  EXPECT_EQ(states, (std::vector<std::string>{"Failed", "Done", "Done", "Failed"}));

  // Nothing was replaced or left half-made; the inputs are as they were.
  EXPECT_EQ(Names(out), (std::vector<std::string>{"hello32(1).exe", "hello32(2).exe", "hello32.exe", "hello64.dll"}));
  EXPECT_EQ(kxtest::ReadFile(in + "/hello32.exe"), before32);
  for (const char* name : {"hello32(2).exe", "hello64.dll"}) {
    std::string report;
    EXPECT_TRUE(OsslVerify(out + "/" + name, true, &report)) << name << "\n" << report;
    EXPECT_NE(report.find("Timestamp verified"), std::string::npos) << report;
    EXPECT_NE(report.find("Test Code Signer"), std::string::npos) << report;
  }
  std::string report;
  EXPECT_FALSE(OsslVerify(out + "/hello32.exe", false, &report)) << "a file already there was signed";

  // The end-of-run mail carries the two signed copies and nothing else.
  const auto mails = kx::MailRequests();
  ASSERT_EQ(mails.size(), 1u);
  std::vector<std::string> attached;
  for (const auto& a : mails[0].attachments) attached.push_back(a.path);
  EXPECT_EQ(attached, (std::vector<std::string>{out + "/hello32(2).exe", out + "/hello64.dll"}));
}

TEST_F(CodeSignExport, VerificationListsGoodChangedAndUnsignedProgramsAndChangesNothing) {
  // A program signed by the wizard itself, one changed after signing, and one never signed.
  const std::string work = kxtest::MakeTempDir("work"), out = kxtest::MakeTempDir("signed");
  Program("hello64.exe", work, "good.exe");
  Program("hello32.exe", work, "changed.exe");
  Show([&](kx::UiDriver& d, HWND sheet) {
    Choose(d, sheet, false);
    HWND files = d.WaitForDialog(kFiles);
    d.SetCheck(d.Control(files, kSeveral), true);
    AddFiles(d, files, work, {"good.exe", "changed.exe"});
    d.SetText(d.Control(files, kOutputFolder), out);
    Next(d, sheet);
    ChooseSigners(d, d.WaitForDialog(kSigner), {"Test Code Signer"});
    Next(d, sheet);
    d.WaitForDialog(kResults);
    WaitForRunEnd(d, sheet);
    Next(d, sheet);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  std::string changed = kxtest::ReadFile(out + "/changed.exe");
  ASSERT_GT(changed.size(), 0x400u);
  changed[0x400] ^= 0x01;  // inside the first section
  kxtest::WriteFile(out + "/changed.exe", changed);
  Program("hello32.dll", out, "unsigned.dll");
  std::string report;
  EXPECT_TRUE(OsslVerify(out + "/good.exe", false, &report)) << report;
  EXPECT_FALSE(OsslVerify(out + "/changed.exe", false, &report)) << report;

  const std::vector<std::string> names = {"good.exe", "changed.exe", "unsigned.dll"};
  std::vector<std::string> before;
  for (const auto& n : names) before.push_back(kxtest::ReadFile(out + "/" + n));
  std::vector<std::string> messages, states;
  bool outputDisabled = false, signerSeen = false;
  INT_PTR result = Show([&](kx::UiDriver& d, HWND sheet) {
    Choose(d, sheet, true);
    HWND files = d.WaitForDialog(kFiles);
    outputDisabled = !d.IsEnabled(d.Control(files, kOutputFolder)) && !d.IsEnabled(d.Control(files, kBrowseOutput)) &&
                     !d.IsEnabled(d.Control(files, kMail));
    d.SetCheck(d.Control(files, kSeveral), true);
    AddFiles(d, files, out, names);
    Next(d, sheet);
    signerSeen = d.FindDialog(kSigner) != nullptr;
    d.WaitForDialog(kResults);
    messages = WaitForRunEnd(d, sheet);
    states = Column(d, d.Control(d.WaitForDialog(kResults), kResultList), 2);
    Shot(d, sheet, "results-verified");
    Next(d, sheet);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(outputDisabled) << "the output-folder controls are usable in verify mode";
  EXPECT_FALSE(signerSeen) << "verify mode showed the signer page";
  EXPECT_EQ(states, (std::vector<std::string>{"Failed", "Done", "Failed"}));  // changed, good, unsigned
  // Each failure says why, in the engine's trust words.
  EXPECT_EQ(messages,
            (std::vector<std::string>{"The file was changed after it was signed: its content no longer matches its "
                                      "signature.",
                                      TrustText(static_cast<HRESULT>(0x800B0100))}));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(kxtest::ReadFile(out + "/" + names[i]), before[i]) << names[i] << " changed by verification";
  EXPECT_EQ(Names(out), (std::vector<std::string>{"changed.exe", "good.exe", "unsigned.dll"}));
}

}  // namespace
}  // namespace codesign
