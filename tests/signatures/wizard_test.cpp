// The Signer Wizard's signing pages as a person uses them: the signing time, the signature picture (none, a
// stored signature file, or one drawn on the pad), and the legal statement; and what a signed file carries of
// them, read back through the file family.
#include <sys/stat.h>

#include "app/SheetRegistry.h"
#include "engine/CapicomEnvelopedData.h"
#include "formats/FileManager.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/ui/prsht.h"
#include "signatures/signatures_test.h"
#include "signing/SignaturePages.h"
#include "signing/SignatureImage.h"
#include "support/wizard.h"

extern "C" int SignerWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder, CString* resultPath,
                                     CString* resultText);

using namespace sigtest;
using kxtest::AnswerPage;
using kxtest::FinishRun;
using kxtest::BufferOf;
using kxtest::Page;
using kxtest::StringOf;

namespace {

constexpr int kTimeText = 1033, kPicturePath = 1009, kStatement = 1043;

bool Exists(const CString& path) {
  struct stat st{};
  return !path.IsEmpty() && stat(path, &st) == 0;
}

class Signing : public signtest::SigningTest {
 protected:
  static void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }
  static void Back(kx::UiDriver& d, HWND sheet) { d.Click(d.Control(sheet, ID_WIZBACK)); }
  static void CancelWizard(kx::UiDriver& d, HWND sheet) {
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  }
  // A wizard made by its class name (the Signer Wizard unless said), opening on the page at start, for the
  // operation.
  static std::unique_ptr<CSignSheet> Made(int start, int mode, const char* className = "CSignSheet") {
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName(className, nullptr, &made);
    std::unique_ptr<CSignSheet> wizard(dynamic_cast<CSignSheet*>(made));
    EXPECT_NE(wizard, nullptr);
    wizard->m_bHosted = 0;
    wizard->m_nStartPage = start;
    wizard->m_WizardData.m_nMode = mode;
    return wizard;
  }
  // The operation data as the interface thread holds it.
  template <class Read>
  static void OnUi(kx::UiDriver& d, HWND sheet, Read read) {
    d.Invoke(sheet, read);
  }
  // A signature file with a picture, encrypted for the recipient's certificate when one is named.
  std::string SignatureFile(const std::string& name, const std::string& picture, const char* recipient = nullptr) {
    CFileManager files;
    std::unique_ptr<CSignatureFile> file(kx::signing::NewSignatureFile(files, "Stored signature"));
    EXPECT_TRUE(file);
    file->m_image = BufferOf(picture);
    if (recipient) {
      CCapicomEnvelopedData envelope;
      CCapicomRecipients recipients = envelope.GetRecipients();
      EXPECT_EQ(recipients.Add(Cert(recipient)), S_OK);
      envelope.PutContentFromBuffer(file->m_image);
      CByteBuffer message;
      EXPECT_TRUE(envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, message, false));
      file->m_image = message;
      file->m_bFlag = 1;
      file->SetTextC(recipient);
    }
    const std::string path = m_dir + "/" + name;
    EXPECT_TRUE(file->Save(path.c_str()));
    return path;
  }
};

// The whole road: a signer, a picked signing time, a signature drawn with a thick pen, the legal statement
// confirmed; the signed file carries all of it in its signer's entry, and still verifies.
TEST_F(Signing, ASignedFileCarriesTheDrawnSignatureTheStatementAndThePickedTime) {
  WithKey("signer");
  SetSetting("Config", "SigningPreferencesDialog", 1);
  const std::string in = File("contract.txt", Content(5000));
  SYSTEMTIME picked{};
  picked.wYear = 2024;
  picked.wMonth = 3;
  picked.wDay = 14;
  picked.wHour = 9;
  picked.wMinute = 26;
  picked.wSecond = 53;
  const std::string pickedText = CPWTimeStampPage::TimeText(CDateTime(picked)).str();
  CString path, text;
  INT_PTR result = kx::RunWithUiHere(
      [&] { return INT_PTR(SignerWizardOperation(nullptr, 1, in.c_str(), m_dir.c_str(), &path, &text)); },
      [&](kx::UiDriver& d) {
        kx::ControlDriver c(d);
        HWND sheet = d.WaitForTitle("Signer Wizard");
        Page(d, sheet, 105);
        Next(d, sheet);
        HWND signers = Page(d, sheet, 4225);
        d.Click(d.Control(signers, 1043));
        HWND chooser = d.WaitForTitle(Text(298));
        HWND personal = d.Control(d.WaitForDialog(102), 1033);
        c.ListDoubleClickRow(personal, c.WaitForListRow(personal, "Alice Signer"));
        d.WaitForGone(chooser);
        Next(d, sheet);

        HWND time = Page(d, sheet, 4224);
        // A new operation stamps its signing time: the page opens on the current time.
        EXPECT_TRUE(d.IsChecked(d.Control(time, 1028)));
        EXPECT_NE(d.Text(d.Control(time, kTimeText)), "");
        d.Click(d.Control(time, 1029));
        HWND pick = d.WaitForDialog(1009);
        c.SetDateTime(d.Control(pick, 1050), picked);
        c.SetDateTime(d.Control(pick, 1051), picked);
        d.Click(d.Control(pick, IDOK));
        d.WaitForGone(pick);
        EXPECT_EQ(d.Text(d.Control(time, kTimeText)), pickedText);
        EXPECT_TRUE(d.IsChecked(d.Control(time, 1029)));
        d.SavePng(sheet, frametest::Shot("signing-time"));
        Next(d, sheet);

        HWND picture = Page(d, sheet, 4226);
        EXPECT_TRUE(d.IsChecked(d.Control(picture, 1036)));
        EXPECT_FALSE(d.IsEnabled(d.Control(picture, kPicturePath)));
        d.Click(d.Control(picture, 1038));
        d.SavePng(sheet, frametest::Shot("signing-picture"));
        Next(d, sheet);

        HWND draw = Page(d, sheet, 4228);
        d.Click(d.Control(draw, 1078));
        Scribble(d, PadOf(d, draw));
        d.SavePng(sheet, frametest::Shot("signing-draw"));
        Next(d, sheet);

        HWND legal = Page(d, sheet, 4227);
        EXPECT_EQ(d.Text(d.Control(legal, kStatement)), Text(426));
        d.SetText(d.Control(legal, 1044), "Alice Example");
        d.SetText(d.Control(legal, 1049), "Director");
        d.SetText(d.Control(legal, 1046), "Approval of the contract");
        d.SavePng(sheet, frametest::Shot("signing-legal"));
        Next(d, sheet);
        EXPECT_EQ(AnswerPage(d, "Yes"), Text(425));
        Page(d, sheet, 4210);
        FinishRun(d, sheet);
      });
  ASSERT_EQ(result, 1);
  EXPECT_EQ(path.str(), m_dir + "/contract.txt.Tvx");

  signtest::ProtectedFile file = Read(path.str());
  ASSERT_TRUE(file.object);
  ASSERT_EQ(file.object->m_info.m_body.GetEntryCount(), 1u);
  PayloadEntry entry;
  ASSERT_TRUE(file.object->m_info.m_body.GetEntry(0, entry));
  EXPECT_EQ(entry.m_head.m_bFlag, 1);
  EXPECT_EQ(entry.m_head.m_strDate.str(), pickedText);
  EXPECT_EQ(entry.m_head.m_strText2.str(), "");
  EXPECT_EQ(entry.m_strText2.str(), Text(426));
  EXPECT_EQ(entry.m_strText3.str(), "Alice Example");
  EXPECT_EQ(entry.m_strText4.str(), "Director");
  EXPECT_EQ(entry.m_strText5.str(), "Approval of the contract");
  EXPECT_EQ(entry.m_bFlag, 1);
  EXPECT_NE(entry.m_strText1.Find(kx::signing::kDrawnSignature), -1) << entry.m_strText1.str();
  auto signature = SignatureFromBytes(StringOf(entry.m_buffer1));
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->GetTextB().str(), Text(326));
  EXPECT_EQ(signature->m_bFlag, 0);
  BitmapFacts bmp = InspectBitmap(StringOf(signature->m_image));
  ASSERT_TRUE(bmp.ok);
  EXPECT_EQ(bmp.mode, "P");
  EXPECT_EQ(bmp.bitCount, 8);
  EXPECT_GT(bmp.dark, 300) << "a thick pen";
  // The drawing's temporary files went with the wizard.
  for (const char* name : {kx::signing::kDrawnPicture, kx::signing::kDrawnSignature})
    EXPECT_FALSE(Exists(kx::signing::DrawingTempPath(name))) << name;

  auto check = NewSheet(4, {path.str()}, kxtest::MakeTempDir("plain"));
  Run(*check, DecryptVerifyThreadProc);
  EXPECT_EQ(Results(*check), std::vector<std::string>{"Success"});
}

// A stored signature file: a plain one is used as it is; an encrypted one is opened with the user's key and used
// as a plain copy; one whose key the user lacks, a file of another kind, or no file at all keep the page.
TEST_F(Signing, AStoredSignatureFileIsTakenPlainOrOpenedWithTheUsersKey) {
  WithKey("encrypt");
  SetSetting("Config", "SigningPreferencesDialog", 1);
  const std::string picture = "BM a picture of a signature";
  const std::string plain = SignatureFile("plain.sgr", picture);
  const std::string mine = SignatureFile("mine.sgr", picture, "encrypt");
  const std::string theirs = SignatureFile("theirs.sgr", picture, "expired");
  const std::string other = File("notes.sgr", "not a signature file");
  auto wizard = Made(7, 1);
  std::string path, bytes, opened;
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 4226);
    HWND edit = d.Control(page, kPicturePath);
    auto read = [&] {
      OnUi(d, sheet, [&] {
        path = wizard->m_WizardData.m_strSignatureFile.str();
        bytes = StringOf(wizard->m_WizardData.m_signatureFileImage);
      });
    };
    d.Click(d.Control(page, 1037));
    EXPECT_TRUE(d.IsEnabled(edit));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(438));

    // Browsing for a file of another kind: refused, the edit keeps its text.
    d.Click(d.Control(page, 1008));
    kx::ControlDriver(d).FillFileDialog(m_dir, {"notes.sgr"});
    EXPECT_EQ(AnswerPage(d, "OK"), Text(441));
    EXPECT_EQ(d.Text(edit), "");
    // Typed in, it is refused on Next.
    d.SetText(edit, other);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(441));

    d.Click(d.Control(page, 1008));
    kx::ControlDriver(d).FillFileDialog(m_dir, {"plain.sgr"});
    d.WaitForText(edit, plain);
    d.SavePng(sheet, frametest::Shot("stored-signature"));
    Next(d, sheet);
    Page(d, sheet, 4227);
    read();
    EXPECT_EQ(path, plain);
    EXPECT_EQ(bytes, kxtest::ReadFile(plain));

    Back(d, sheet);
    Page(d, sheet, 4226);
    d.SetText(edit, theirs);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(439));

    d.SetText(edit, mine);
    Next(d, sheet);
    Page(d, sheet, 4227);
    read();
    opened = path;

    Back(d, sheet);
    Page(d, sheet, 4226);
    d.Click(d.Control(page, 1036));
    EXPECT_FALSE(d.IsEnabled(edit));
    Next(d, sheet);
    Page(d, sheet, 4227);
    std::string none, noBytes = "x";
    OnUi(d, sheet, [&] {
      none = wizard->m_WizardData.m_strSignatureFile.str();
      noBytes = StringOf(wizard->m_WizardData.m_signatureFileImage);
    });
    EXPECT_EQ(none, "");
    EXPECT_EQ(noBytes, "");
    CancelWizard(d, sheet);
  });
  // The encrypted signature was used as a plain copy of itself.
  EXPECT_NE(opened.find(kx::signing::kOpenedSignature), std::string::npos) << opened;
  auto copy = SignatureFromBytes(bytes);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->m_bFlag, 0);
  EXPECT_EQ(StringOf(copy->m_image), picture);
  EXPECT_EQ(copy->GetTextB().str(), "Stored signature");
  // ... which is not left behind in the temporary folder.
  EXPECT_FALSE(Exists(opened.c_str()));
}

// The signing time: no time, the current time, a picked time; a cancelled pick and the time server fall back to
// the current time; no time afterwards clears only the flag; a current-time choice never stores an empty time.
TEST_F(Signing, TheSigningTimeFallsBackToTheCurrentTime) {
  auto wizard = Made(6, 1);
  std::string storedText;
  BYTE storedFlag = 0;
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND page = Page(d, sheet, 4224);
    HWND current = d.Control(page, 1028), edit = d.Control(page, kTimeText);
    const std::string now = d.Text(edit);
    EXPECT_NE(now, "");
    auto cancelPick = [&] {
      d.Click(d.Control(page, 1029));
      HWND pick = d.WaitForDialog(1009);
      d.Click(d.Control(pick, IDCANCEL));
      d.WaitForGone(pick);
      EXPECT_TRUE(d.IsChecked(current));
    };
    // On to the next page, reading what the page stored; then back.
    auto leave = [&](bool back) {
      Next(d, sheet);
      Page(d, sheet, 4226);
      OnUi(d, sheet, [&] {
        storedText = wizard->m_WizardData.m_strTimeStamp.str();
        storedFlag = wizard->m_WizardData.m_bTimeStamp;
      });
      if (!back) return;
      Back(d, sheet);
      Page(d, sheet, 4224);
    };

    cancelPick();
    EXPECT_EQ(d.Text(edit), now);
    d.Click(d.Control(page, 1030));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(443));
    EXPECT_TRUE(d.IsChecked(current));
    d.Click(d.Control(page, 1031));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(442));
    EXPECT_TRUE(d.IsChecked(current));
    leave(true);
    EXPECT_EQ(storedFlag, 1);
    EXPECT_EQ(storedText, now);

    d.Click(d.Control(page, 1027));
    EXPECT_EQ(d.Text(edit), "");
    leave(true);
    EXPECT_EQ(storedFlag, 0);
    EXPECT_EQ(storedText, now) << "the old text stays";

    // A cancelled pick after "no time" shows the current-time choice over an empty edit; what is stored is a
    // time all the same.
    cancelPick();
    EXPECT_EQ(d.Text(edit), "");
    leave(false);
    CancelWizard(d, sheet);
  });
  EXPECT_EQ(storedFlag, 1);
  EXPECT_NE(storedText, "");
}

// The legal page when signing and encrypting: its statement is the library's at every visit, No keeps nothing,
// Back returns to the drawing, and Yes leads on to the cipher page.
TEST_F(Signing, TheLegalStatementIsConfirmedBeforeTheCipherPage) {
  SetSetting("Config", "SigningPreferencesDialog", 1);
  auto wizard = Made(7, 2);
  std::string statement, entryA = "unset";
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Signer Wizard");
    HWND picture = Page(d, sheet, 4226);
    d.Click(d.Control(picture, 1038));
    Next(d, sheet);
    HWND draw = Page(d, sheet, 4228);
    // An empty pad is no signature.
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(327));
    Draw(d, PadOf(d, draw), {{15, 15}, {80, 60}});
    Next(d, sheet);
    HWND legal = Page(d, sheet, 4227);
    HWND text = d.Control(legal, kStatement);
    d.SetText(text, "I sign nothing");
    d.SetText(d.Control(legal, 1044), "Alice");
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "No"), Text(425));
    OnUi(d, sheet, [&] { entryA = wizard->m_WizardData.m_strLegalEntryA.str(); });
    EXPECT_EQ(entryA, "");

    Back(d, sheet);
    Page(d, sheet, 4228);
    Next(d, sheet);
    Page(d, sheet, 4227);
    EXPECT_EQ(d.Text(text), Text(426));
    EXPECT_EQ(d.Text(d.Control(legal, 1044)), "Alice");
    Next(d, sheet);
    AnswerPage(d, "Yes");
    Page(d, sheet, 4208);
    OnUi(d, sheet, [&] {
      statement = wizard->m_WizardData.m_strLegalStatement.str();
      entryA = wizard->m_WizardData.m_strLegalEntryA.str();
    });
    CancelWizard(d, sheet);
  });
  EXPECT_EQ(statement, Text(426));
  EXPECT_EQ(entryA, "Alice");
}

// The preset and mail profile wizards have no files of their own to list and no time server settings: the
// signing-time page disables its settings button and the legal page hides its file list button there.
TEST_F(Signing, PresetAndProfileWizardsHoldBackFilesAndTimeServerSettings) {
  SetSetting("Config", "SigningPreferencesDialog", 1);
  for (const char* className : {"CSignSheet", "COneClickSheet", "CXQProfileWizard"}) {
    SCOPED_TRACE(className);
    const bool own = std::string(className) == "CSignSheet";
    auto wizard = Made(6, 1, className);
    ASSERT_TRUE(wizard);
    kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
      HWND time = d.WaitForDialog(4224);
      HWND sheet = GetParent(time);
      EXPECT_EQ(d.IsEnabled(d.Control(time, 1031)), own);
      Next(d, sheet);
      Page(d, sheet, 4226);
      Next(d, sheet);
      HWND legal = Page(d, sheet, 4227);
      EXPECT_EQ(d.IsVisible(d.Control(legal, 1055)), own);
      CancelWizard(d, sheet);
    });
  }
}

}  // namespace
