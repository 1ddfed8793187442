// The Package Wizard as a person uses it: files protected (or not) one by one, then one self-extracting
// package of the results built, zipped and mailed; the package's own extractor gives the files back.
#include <sys/stat.h>

#include "app/ResString.h"
#include "archives/ArchiveOperations.h"
#include "archives/ProtectedArchive.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SystemProfile.h"
#include "archwiz/archwiz_fixture.h"
#include "platform/services/mapi.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/stateroot.h"
#include "support/pki.h"

using namespace archwiz;

namespace {

enum {
  kWelcome = 30025, kPackagePage = 30027, kFilesPage = 30026, kProcessing = 4210, kBuilder = 1135, kFinish = 4250,
  kAsTheyAre = 1216, kCountersign = 1215, kProtect = 1214, kPackagePath = 1203, kMakeZip = 1205, kPresetText = 1031,
  kFile = 1031, kChooseFiles = 1008, kSeveral = 1036, kMail = 1029, kResults = 1033, kCount = 1088,
  kSaveCopy = 1083,
};

std::string Text(UINT id) { return std::string(LoadResString(id)); }

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// The archive operations' view of a run page, for making signed protected files.
class QuietRunPage : public CArchiveRunBase {
 public:
  int StepProgress() override { return 0; }
  int OffsetProgress(int) override { return 0; }
  int GetProgressPosition() override { return 0; }
  void SetReportText(const CString&) override {}
};

class PackageWizard : public ArchWizTest {
 protected:
  // The welcome page's choice, then the package page.
  static HWND ToPackagePage(kx::UiDriver& d, HWND sheet, int choice) {
    HWND welcome = Page(d, sheet, kWelcome);
    d.Click(Item(d, welcome, choice));
    Next(d, sheet);
    return Page(d, sheet, kPackagePage);
  }
  // Several files through the file list, added folder by folder through its file dialog.
  static void ChooseFiles(kx::UiDriver& d, HWND files,
                          const std::vector<std::pair<std::string, std::vector<std::string>>>& batches) {
    d.SetCheck(Item(d, files, kSeveral), true);
    EXPECT_EQ(d.Text(Item(d, files, kFile)), Text(417));
    d.Click(Item(d, files, kChooseFiles));
    HWND list = d.WaitForDialog(172);
    for (const auto& [folder, names] : batches) {
      d.Click(d.Control(list, 1050));
      kx::ControlDriver(d).FillFileDialog(folder, names);
    }
    d.Click(d.Control(list, IDOK));
    d.WaitForGone(list);
  }
  static void ChooseFiles(kx::UiDriver& d, HWND files, const std::string& folder, const std::vector<std::string>& names) {
    ChooseFiles(d, files, {{folder, names}});
  }
  // The processing page's run has ended when Next is offered.
  static HWND AwaitRun(kx::UiDriver& d, HWND sheet, int rows) {
    HWND processing = Page(d, sheet, kProcessing);
    WaitForButton(d, sheet, ID_WIZNEXT);
    const std::string count = std::to_string(rows);
    EXPECT_EQ(d.Text(Item(d, processing, kCount)), count + " of " + count + " files processed");
    return processing;
  }
  // The package's own extractor, run into a folder.
  static Files Unpack(const std::string& package, const std::string& folder) {
    std::string said;
    EXPECT_EQ(Sh(Quote(package) + " " + Quote(folder), &said), 0) << said;
    return ReadTree(folder);
  }
  static std::string EngineLibrary() { return kxtest::ReadFile(kxtest::BuildDir() + "/lib/libcapicom.so"); }
};

// Files packed as they are: the builder packs the engine library first (not listed) and the files after it;
// the package's extractor gives back every one of them byte for byte. Mailed without a zip file of its own, the
// package stays as the user asked for it and a passing zipped copy goes into the mail.
TEST_F(PackageWizard, PacksTheFilesAsTheyAreForTheExtractor) {
  const std::string src = kxtest::MakeTempDir("src"), unpacked = kxtest::MakeTempDir("unpacked");
  const Files files = {{"report.doc", std::string(40000, 'x') + "tail"}, {"photo.raw", std::string(1, '\0') + "raw"}};
  WriteTree(src, files);
  const std::string package = m_work + "/files.exe";
  const std::string copies = kxtest::MakeTempDir("copies");

  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayPackageWizard(0, 0)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Package Wizard");
    Page(d, sheet, kWelcome);
    d.SavePng(sheet, Shot("package-welcome"));
    HWND info = ToPackagePage(d, sheet, kAsTheyAre);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(563));
    d.SetText(Item(d, info, kPackagePath), package);
    d.SetCheck(Item(d, info, kMakeZip), false);
    d.SavePng(sheet, Shot("package-info"));
    Next(d, sheet);

    HWND files = Page(d, sheet, kFilesPage);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(418));
    ChooseFiles(d, files, src, {"report.doc", "photo.raw"});
    d.SavePng(sheet, Shot("package-files"));
    Next(d, sheet);

    HWND processing = AwaitRun(d, sheet, 2);
    HWND list = Item(d, processing, kResults);
    EXPECT_EQ(c.ListText(list, 0, 2), Text(557));
    EXPECT_EQ(c.ListText(list, 1, 2), Text(557));
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, IDCANCEL)));
    d.SavePng(sheet, Shot("package-processing"));
    // A copy of a result: saved elsewhere it is made; saved onto the result itself it is refused, and the file
    // (here the user's own) stays whole.
    const int row = c.ListFind(list, src + "/report.doc");
    ASSERT_GE(row, 0);
    c.ListClickRow(list, row);
    d.Click(Item(d, processing, kSaveCopy));
    c.FillFileDialog(copies, {"report.doc"});
    EXPECT_EQ(AnswerPage(d, "OK"), Text(329));
    d.Click(Item(d, processing, kSaveCopy));
    c.FillFileDialog(src, {"report.doc"});
    HWND overwrite = d.WaitForMessageBox();  // the file dialog asks before replacing
    d.Click(d.ControlByText(overwrite, "Yes", "Button"));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(330));
    Next(d, sheet);

    HWND builder = d.WaitForDialog(kBuilder);
    HWND entries = d.Control(builder, kResults);
    EXPECT_EQ(c.ListRowCount(entries), 2);
    const int report = c.ListFind(entries, "report.doc");
    ASSERT_GE(report, 0);
    EXPECT_EQ(c.ListText(entries, report, 1), "40004");
    EXPECT_EQ(d.Text(d.Control(builder, 1011)), Text(450));
    d.SavePng(builder, Shot("package-builder"));
    d.Click(d.Control(builder, IDOK));
    d.WaitForGone(builder);
    Page(d, sheet, kFinish);
    WaitForButton(d, sheet, ID_WIZFINISH);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(kxtest::ReadFile(copies + "/report.doc"), files.at("report.doc"));
  EXPECT_TRUE(ReadTree(src) == files);
  ASSERT_TRUE(Exists(package));
  EXPECT_FALSE(Exists(package + ".Zip"));
  const std::vector<kx::MailRequest> mails = kx::MailRequests();
  ASSERT_EQ(mails.size(), 1u);
  ASSERT_EQ(mails[0].attachments.size(), 1u);
  EXPECT_EQ(mails[0].attachments[0].path, kx::TempDir() + "files.exe.Zip");
  EXPECT_FALSE(Exists(mails[0].attachments[0].path));
  Files expected = files;
  expected["libcapicom.so"] = EngineLibrary();
  EXPECT_TRUE(Unpack(package, unpacked) == expected);
  // Options are never taken for the folder to extract into: help prints the use, an unknown one is refused.
  const std::string cwd = m_work + "/cwd";
  ASSERT_EQ(Sh("mkdir -p " + Quote(cwd)), 0);
  for (const char* help : {"--help", "-h"}) {
    std::string said;
    EXPECT_EQ(Sh("cd " + Quote(cwd) + " && " + Quote(package) + " " + help, &said), 0) << said;
    EXPECT_NE(said.find("Use: "), std::string::npos) << said;
  }
  std::string said;
  EXPECT_EQ(Sh("cd " + Quote(cwd) + " && " + Quote(package) + " -x", &said), 2) << said;
  EXPECT_NE(said.find("unknown option: -x"), std::string::npos) << said;
  EXPECT_TRUE(ReadTree(cwd).empty()) << "nothing extracted";
  // "--" lets a folder start with "-".
  ASSERT_EQ(Sh("mkdir " + Quote(cwd + "/-out")), 0);
  EXPECT_EQ(Sh("cd " + Quote(cwd) + " && " + Quote(package) + " -- -out", &said), 0) << said;
  EXPECT_TRUE(ReadTree(cwd + "/-out") == expected);
}

// Signed protected files countersigned by the preset's signer (the countersign choice takes countersign
// presets only): each block then carries both signatures, which openssl verifies; an empty input fails on its
// own row with its message. The package goes into a zip file,
// which is mailed, and only the zip file stays.
TEST_F(PackageWizard, CountersignsZipsAndMailsThePackage) {
  const CCapicomCertificate signer = AddWithKey("signer");
  const CCapicomCertificate countersigner = AddWithKey("codesign");
  const std::string src = kxtest::MakeTempDir("src"), unpacked = kxtest::MakeTempDir("unpacked");
  // A signed protected file, as the archive wizard writes it.
  CArchiveWizardData data;
  data.m_strPresetPath = WritePreset("Sign", 1, {signer}, {}).c_str();
  data.m_strDestinationPath = (src + "/signed.tvx").c_str();
  data.m_strZipPath = (m_work + "/content.zip").c_str();
  const std::string content = std::string(5000, 'c') + "the signed content";
  kxtest::WriteFile(std::string(data.m_strZipPath), content);
  QuietRunPage run;
  ASSERT_EQ(SignArchive(&run, &data), S_OK) << std::string(run.m_strLastResult);
  kxtest::WriteFile(src + "/empty.tvx", "");
  const std::string preset = WritePreset("Countersign", 3, {countersigner}, {});
  const std::string signPreset = WritePreset("Sign for Alice", 1, {countersigner}, {});
  const std::string package = m_work + "/signed.exe";

  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayPackageWizard(0, 0)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Package Wizard");
    HWND info = ToPackagePage(d, sheet, kCountersign);
    d.SetText(Item(d, info, kPackagePath), package);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(564));
    // Chosen to countersign, a preset of another operation does not do.
    TakePackagePreset(d, info, signPreset);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(564));
    TakePackagePreset(d, info, preset);
    EXPECT_EQ(d.Text(Item(d, info, kPresetText)), "Countersign");
    EXPECT_TRUE(d.IsChecked(Item(d, info, kMakeZip)));
    Next(d, sheet);
    HWND files = Page(d, sheet, kFilesPage);
    ChooseFiles(d, files, src, {"signed.tvx", "empty.tvx"});
    EXPECT_TRUE(d.IsChecked(Item(d, files, kMail)));
    Next(d, sheet);

    EXPECT_EQ(AnswerPage(d, "OK"), "Failed to read the file (check if Fle size is not 0)");
    HWND processing = AwaitRun(d, sheet, 2);
    HWND list = Item(d, processing, kResults);
    const int good = c.ListFind(list, src + "/signed.tvx"), bad = c.ListFind(list, src + "/empty.tvx");
    EXPECT_EQ(c.ListText(list, good, 2), Text(557));
    EXPECT_EQ(c.ListText(list, bad, 2), Text(362));
    Next(d, sheet);
    HWND builder = d.WaitForDialog(kBuilder);
    EXPECT_EQ(c.ListRowCount(d.Control(builder, kResults)), 1);
    d.Click(d.Control(builder, IDOK));
    d.WaitForGone(builder);
    Page(d, sheet, kFinish);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(Exists(package));
  const std::string zip = package + ".Zip";
  ASSERT_TRUE(Exists(zip));
  const std::vector<kx::MailRequest> mails = kx::MailRequests();
  ASSERT_EQ(mails.size(), 1u);
  ASSERT_EQ(mails[0].attachments.size(), 1u);
  EXPECT_EQ(mails[0].attachments[0].path, zip);

  std::string said;
  ASSERT_EQ(Sh("unzip -q -o " + Quote(zip) + " -d " + Quote(m_work + "/zipped"), &said), 0) << said;
  // The zip's entries come from a DOS host and carry no Unix mode: unzip writes the package without its execute
  // bits, as it would any file of such an archive.
  ASSERT_EQ(Sh("chmod +x " + Quote(m_work + "/zipped/signed.exe")), 0);
  const Files got = Unpack(m_work + "/zipped/signed.exe", unpacked);
  ASSERT_EQ(got.size(), 2u);
  ASSERT_EQ(got.count("signed.tvx.Tvx"), 1u);
  EXPECT_TRUE(got.at("libcapicom.so") == EngineLibrary());

  ProtectedFile countersigned = ReadProtected(unpacked + "/signed.tvx.Tvx");
  ASSERT_TRUE(countersigned.object);
  std::string blocks;
  for (const std::string& b : countersigned.blocks) blocks += b;
  EXPECT_EQ(blocks, content);
  const PayloadBody& body = countersigned.object->m_info.m_body;
  ASSERT_EQ(body.GetEntryCount(), 2u);
  for (DWORD e = 0; e < 2; ++e) {
    PayloadEntry entry;
    ASSERT_TRUE(body.GetEntry(e, entry));
    ASSERT_EQ(entry.m_buffers.GetCount(), countersigned.blocks.size());
    for (DWORD i = 0; i < entry.m_buffers.GetCount(); ++i) {
      const CByteBuffer& signature = entry.m_buffers.GetAt(i);
      kxtest::WriteFile(m_work + "/sig.der",
                        std::string(reinterpret_cast<const char*>(signature.GetData()), signature.GetLength()));
      kxtest::WriteFile(m_work + "/block.bin", countersigned.blocks[i]);
      std::string signerOut;
      EXPECT_EQ(Sh("openssl cms -verify -binary -inform DER -in " + Quote(m_work + "/sig.der") + " -content " +
                       Quote(m_work + "/block.bin") + " -noverify -out /dev/null -signer " + Quote(m_work + "/who.pem"),
                   &said),
                0)
          << said;
      Sh("openssl x509 -noout -subject -in " + Quote(m_work + "/who.pem"), &signerOut);
      EXPECT_NE(signerOut.find(e == 0 ? "Alice" : "Code"), std::string::npos) << signerOut;
    }
  }
}

// Files protected by the preset's own operation through the one-click runner: encrypted for the preset's
// recipient, packed, and read back by the system's own reader from the unpacked package. Two inputs of the same
// name from different folders keep apart ("(1)" before ".Tvx"). A configuration that removes protected inputs
// is left as it is, and the user's files stay.
TEST_F(PackageWizard, ProtectsWithThePresetAndKeepsTheInputs) {
  const std::string src = kxtest::MakeTempDir("src"), other = kxtest::MakeTempDir("other"),
                    unpacked = kxtest::MakeTempDir("unpacked");
  const Files files = {{"notes.txt", "some notes\n"}, {"table.csv", std::string(3000, ';') + "\n"}};
  const Files others = {{"notes.txt", "other notes of the same name\n"}};
  WriteTree(src, files);
  WriteTree(other, others);
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadGeneralOptions();
  config.ShredTemporaryFiles = 1;
  ASSERT_TRUE(config.SaveGeneralOptions());
  // The runner encrypts only for a recipient the validity verdict takes: the chain trusted, its lists stored.
  TrustFixture();
  AddFixtureCrls();
  const std::string preset = WritePreset("Encrypt for Bob", 0, {}, {AddWithKey("encrypt")});
  const std::string package = m_work + "/protected.exe";
  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayPackageWizard(0, 0)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Package Wizard");
    HWND info = ToPackagePage(d, sheet, kProtect);
    d.SetText(Item(d, info, kPackagePath), package);
    d.SetCheck(Item(d, info, kMakeZip), false);
    TakePackagePreset(d, info, preset);
    Next(d, sheet);
    HWND filesPage = Page(d, sheet, kFilesPage);
    ChooseFiles(d, filesPage, {{src, {"notes.txt", "table.csv"}}, {other, {"notes.txt"}}});
    d.SetCheck(Item(d, filesPage, kMail), false);
    Next(d, sheet);
    HWND processing = AwaitRun(d, sheet, 3);
    HWND list = Item(d, processing, kResults);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(c.ListText(list, row, 2), Text(557));
    Next(d, sheet);
    HWND builder = d.WaitForDialog(kBuilder);
    d.Click(d.Control(builder, IDOK));
    d.WaitForGone(builder);
    Page(d, sheet, kFinish);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(ReadTree(src) == files);
  EXPECT_TRUE(ReadTree(other) == others);
  COfficeTolvexConfig after("Software\\Kesmora\\OfficeTolvex");
  after.LoadGeneralOptions();
  EXPECT_EQ(after.ShredTemporaryFiles, 1u);

  const Files got = Unpack(package, unpacked);
  ASSERT_EQ(got.size(), 4u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"notes.txt.Tvx", files.at("notes.txt")},
      {"table.csv.Tvx", files.at("table.csv")},
      {"notes.txt(1).Tvx", others.at("notes.txt")}};
  for (const auto& [name, bytes] : expected) {
    const std::string protectedPath = unpacked + "/" + name;
    ASSERT_TRUE(Exists(protectedPath)) << name;
    CString copy, reason;
    ASSERT_EQ(kx::archives::OpenProtectedArchive(protectedPath.c_str(), copy, reason), 1) << std::string(reason);
    EXPECT_EQ(kxtest::ReadFile(std::string(copy)), bytes) << name;
    kx::archives::RemoveProtectedCopy(copy);
  }
  // The content key of a protected file opens with the recipient's key in openssl.
  ProtectedFile notes = ReadProtected(unpacked + "/notes.txt.Tvx");
  ASSERT_TRUE(notes.object);
  const CByteBuffer& envelope = notes.object->m_info.m_encryption.m_buffer;
  const CByteBuffer& extra = notes.object->m_extraBlock;
  const CByteBuffer& key = envelope.GetLength() ? envelope : extra;
  kxtest::WriteFile(m_work + "/key.der", std::string(reinterpret_cast<const char*>(key.GetData()), key.GetLength()));
  std::string said;
  EXPECT_EQ(Sh("openssl cms -decrypt -binary -inform DER -in " + Quote(m_work + "/key.der") + " -recip " +
                   Quote(kxtest::pki::Pem("encrypt")) + " -inkey " + Quote(kxtest::pki::Key("encrypt")) + " -out /dev/null",
               &said),
            0)
      << said;
}

// A preset run that fails (its signer holds no private key here) fails the file's row and leaves nothing: no
// output in the temporary folder, no package, and the wizard still reaches its end. A system profile without
// lists of files keeps the files page to one file.
TEST_F(PackageWizard, AFailedPresetRunLeavesNothing) {
  const std::string src = kxtest::MakeTempDir("src");
  WriteTree(src, {{"plain.txt", "some text\n"}});
  const std::string preset = WritePreset("Sign", 1, {kxtest::Cert("signer")}, {});
  const std::string package = m_work + "/never.exe";
  CSystemProfile profile;
  profile.Load();
  profile.EnableDirOperation = 0;
  profile.Save();
  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayPackageWizard(0, 0)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Package Wizard");
    HWND info = ToPackagePage(d, sheet, kProtect);
    d.SetText(Item(d, info, kPackagePath), package);
    TakePackagePreset(d, info, preset);
    Next(d, sheet);
    HWND files = Page(d, sheet, kFilesPage);
    // The profile forbids lists of files: the box clears and closes itself.
    d.Click(Item(d, files, kSeveral));
    d.WaitUntil([&] { return !d.IsEnabled(Item(d, files, kSeveral)); }, "several-files box disabled");
    EXPECT_FALSE(d.IsChecked(Item(d, files, kSeveral)));
    d.SetText(Item(d, files, kFile), src + "/plain.txt");
    Next(d, sheet);
    HWND processing = Page(d, sheet, kProcessing);
    WaitForButton(d, sheet, ID_WIZNEXT);
    EXPECT_EQ(c.ListText(Item(d, processing, kResults), 0, 2), Text(362));
    Next(d, sheet);
    Page(d, sheet, kFinish);
    EXPECT_EQ(d.FindDialog(kBuilder), nullptr);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(Exists(package));
  std::string said;
  EXPECT_NE(Sh("ls -d " + Quote(kx::TempDir()) + "plain.txt* " + Quote(kx::TempDir()) + "kxpackage-*", &said), 0) << said;
}

}  // namespace
