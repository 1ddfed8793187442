// The encryption wizard as a host and a person use it: opened through its export, its pages filled and its
// buttons pressed through the window system; the encrypted files are checked against openssl's own key
// derivation and ciphers, and decrypted again by the wizard.
#include <cstring>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "core/SystemProfile.h"
#include "core/TvxFormatSettings.h"
#include "encryption/EncryptionWizard.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "oneclick/oneclick_test.h"
#include "support/wizard.h"

extern "C" int EncryptWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder);

using namespace oneclicktest;
using kxtest::AnswerPage;
using kxtest::FinishRun;
using kxtest::Page;
using kxtest::StringOf;

namespace {

constexpr int kFilePath = 1031, kOutputFolder = 1032, kCipher = 1038, kKeyLength = 1039, kPassword = 1218,
              kConfirm = 1071, kDerivationMd5 = 1224, kList = 1033;

std::string Text(UINT id) { return std::string(LoadResString(id)); }
std::string Q(const std::string& s) { return "'" + s + "'"; }


// What an encrypted file keeps: its object, its blocks, and the salt and check block of its key record.
struct EncryptedFile {
  std::unique_ptr<CEncryptedTolvexBinaryFile> object;
  std::vector<std::string> blocks;
  std::string salt, check;
  int pad = -1;
};

EncryptedFile ReadEncrypted(const std::string& path) {
  EncryptedFile f;
  CFileManager files;
  std::unique_ptr<CFileStream> stream(files.OpenStream(path.c_str()));
  if (!stream || !stream->IsOpen()) return f;
  f.object.reset(dynamic_cast<CEncryptedTolvexBinaryFile*>(stream->ReadFileObject()));
  if (!f.object) return f;
  CByteBuffer block;
  while (stream->ReadUInt32Block(block)) f.blocks.push_back(StringOf(block));
  const std::string record = StringOf(f.object->m_encrypted);
  if (record.size() < 26) return f;
  f.pad = static_cast<unsigned char>(record[1]);
  f.salt = record.substr(2, 20);
  const unsigned char* l = reinterpret_cast<const unsigned char*>(record.data()) + 22;
  const size_t n = (size_t(l[0]) << 24) | (size_t(l[1]) << 16) | (size_t(l[2]) << 8) | l[3];
  f.check = record.substr(26, n);
  return f;
}

class EncryptionWizard : public OneClickTest {
 protected:
  void SetUp() override {
    OneClickTest::SetUp();
    kx::encryption::PauseAfterRun() = 0;
  }
  static void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }
  static void TypePassword(kx::UiDriver& d, HWND page, const std::string& password, const std::string& confirm) {
    d.SetText(d.Control(page, kPassword), password);
    d.SetText(d.Control(page, kConfirm), confirm);
  }
  // openssl's PBKDF2-HMAC-SHA1 of the password and salt (1000 iterations), as bytes.
  static std::string OpensslKey(const std::string& password, const std::string& salt, int length) {
    std::string out;
    EXPECT_EQ(Openssl("kdf -keylen " + std::to_string(length) + " -kdfopt digest:SHA1 -kdfopt pass:" + Q(password) +
                          " -kdfopt hexsalt:" + Hex(salt) + " -kdfopt iter:1000 PBKDF2",
                      &out),
              0)
        << out;
    std::string hex;
    for (char c : out)
      if (isxdigit(static_cast<unsigned char>(c))) hex += static_cast<char>(tolower(c));
    return hex;
  }
  // The wizard made by its class name, as the export makes it, opening on page start.
  static std::unique_ptr<CEncryptionWizard> Made(int start, int mode, const std::vector<std::string>& files,
                                                 const std::string& folder) {
    CFormsObjectProvider provider;
    CBaseSheet* sheet = nullptr;
    provider.CreateSheetByName("CEncryptionWizard", nullptr, &sheet);
    auto wizard = std::unique_ptr<CEncryptionWizard>(dynamic_cast<CEncryptionWizard*>(sheet));
    EXPECT_NE(wizard, nullptr);
    wizard->m_bHosted = 0;
    wizard->m_nStartPage = start;
    wizard->m_WizardData.m_nMode = mode;
    wizard->m_WizardData.m_bLaunchedByOperation = 1;
    for (const std::string& f : files) wizard->m_WizardData.m_arrInputFiles.Add(f.c_str());
    wizard->m_WizardData.m_strOutputFolder = folder.c_str();
    wizard->SetTitle("Encryption Wizard");
    return wizard;
  }
};

// The main road: a host has a file encrypted under a password, which openssl reads with its own key
// derivation and cipher; the host then has it decrypted again, and a wrong password opens nothing.
TEST_F(EncryptionWizard, AHostEncryptsWithAPasswordAndDecryptsAgain) {
  const std::string input = Content(70000);
  std::string in = File("report.doc", input), out = kxtest::MakeTempDir("out");
  INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(EncryptWizardOperation(nullptr, 0, in.c_str(), out.c_str())); },
                                     [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(307));
    Page(d, sheet, 30032);
    d.SavePng(sheet, frametest::Shot("encryption-welcome"));
    Next(d, sheet);
    HWND files = Page(d, sheet, 30034);
    EXPECT_EQ(d.Text(d.Control(files, kFilePath)), in);
    EXPECT_EQ(d.Text(d.Control(files, kOutputFolder)), out);
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZBACK)));
    d.SavePng(sheet, frametest::Shot("encryption-files"));
    Next(d, sheet);
    HWND cipher = Page(d, sheet, 30035);
    kx::ControlDriver c(d);
    EXPECT_EQ(c.ComboItems(d.Control(cipher, kCipher)),
              (std::vector<std::string>{"DES", "Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)", "AES",
                                        "Blowfish", "Twofish"}));
    EXPECT_EQ(c.ComboText(d.Control(cipher, kCipher)), "AES");
    EXPECT_EQ(c.ComboItems(d.Control(cipher, kKeyLength)), (std::vector<std::string>{"128 bits", "192 bits", "256 bits"}));
    EXPECT_EQ(c.ComboText(d.Control(cipher, kKeyLength)), "256 bits");
    // Nothing typed, then a confirmation that differs only in letter case: both refused.
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(582));
    TypePassword(d, cipher, "Secret Words", "secret words");
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(583) + " " + Text(582));
    TypePassword(d, cipher, "Secret Words", "Secret Words");
    d.SavePng(sheet, frametest::Shot("encryption-cipher"));
    Next(d, sheet);
    HWND final = Page(d, sheet, 30037);
    d.WaitForText(d.Control(final, 1088), "1 of 1 files processed");
    d.WaitUntil([&] { return c.ListText(d.Control(final, kList), 0, 2) == Text(557); }, "the row done");
    FinishRun(d, sheet, frametest::Shot("encryption-final"));
  });
  EXPECT_EQ(result, 1);

  const std::string encrypted = out + "/report.doc.Etv";
  EncryptedFile file = ReadEncrypted(encrypted);
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->m_info.m_strText1.str(), "report.doc");
  EXPECT_EQ(file.object->m_nCipherIndex, 5u);
  EXPECT_EQ(file.object->m_nKeySizeIndex, 5u);
  ASSERT_EQ(file.blocks.size(), 1u);
  EXPECT_EQ(file.pad, static_cast<int>(file.blocks[0].size() - input.size()));
  // openssl's key and AES-256 give the content back (with the zero fill of the last block) and the salt from
  // the check block.
  const std::string key = OpensslKey("Secret Words", file.salt, 32);
  const std::string plain = OpensslEcbDecrypt("aes-256-ecb", key, file.blocks[0]);
  EXPECT_TRUE(plain.substr(0, input.size()) == input);
  EXPECT_EQ(plain.substr(input.size()), std::string(file.pad, '\0'));
  EXPECT_EQ(OpensslEcbDecrypt("aes-256-ecb", key, file.check).substr(0, 20), file.salt);

  // Decrypting: the host's file opens on the cipher page, whose cipher controls are the file's.
  std::string plainDir = kxtest::MakeTempDir("plain");
  kxtest::WriteFile(plainDir + "/report.doc", "already here");
  for (const char* password : {"secret words", "Secret Words"}) {
    const bool right = std::string(password) == "Secret Words";
    result = kx::RunWithUiHere(
        [&] { return INT_PTR(EncryptWizardOperation(nullptr, 4, encrypted.c_str(), plainDir.c_str())); },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle(Text(307));
          HWND cipher = Page(d, sheet, 30035);
          for (int id : {kCipher, kKeyLength, kDerivationMd5}) EXPECT_FALSE(d.IsEnabled(d.Control(cipher, id))) << id;
          if (right) d.SavePng(sheet, frametest::Shot("encryption-decrypt-cipher"));
          TypePassword(d, cipher, password, password);
          Next(d, sheet);
          HWND final = Page(d, sheet, 30037);
          if (!right) { EXPECT_EQ(AnswerPage(d, "OK"), "Please enter the right password for this file."); }
          d.WaitForText(d.Control(final, 1088), "1 of 1 files processed");
          kx::ControlDriver c(d);
          d.WaitUntil([&] { return c.ListText(d.Control(final, kList), 0, 2) == Text(right ? 557 : 362); }, "the row");
          // A failed file has nothing to open, save or mail.
          d.WaitForEnabled(d.Control(final, 1085));
          EXPECT_EQ(d.IsEnabled(d.Control(final, 1082)), right);
          EXPECT_EQ(d.IsEnabled(d.Control(final, 1090)), right);
          FinishRun(d, sheet);
        });
    EXPECT_EQ(result, 1);
    // A wrong password leaves nothing behind; the right one writes beside the file already there.
    EXPECT_EQ(GetFileAttributes((plainDir + "/report(1).doc").c_str()) != INVALID_FILE_ATTRIBUTES, right) << password;
  }
  EXPECT_TRUE(kxtest::ReadFile(plainDir + "/report(1).doc") == input);
  EXPECT_EQ(kxtest::ReadFile(plainDir + "/report.doc"), "already here");
}

// The file page as a person fills it: a path and an output folder are required, the several-files box follows
// the system profile's EnableDirOperation, and what is accepted goes into the operation data.
TEST_F(EncryptionWizard, TheFilePageAsksForFilesAndAFolder) {
  const std::string in = File("letter.txt", "text"), out = kxtest::MakeTempDir("out");
  auto wizard = Made(CEncryptionWizard::kFilePage, 0, {}, "");
  wizard->m_WizardData.m_bLaunchedByOperation = 0;
  kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle("Encryption Wizard");
    HWND page = Page(d, sheet, 30034);
    HWND several = d.Control(page, 1036), browse = d.Control(page, 1008);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(418));
    // Several files: the list is empty until files are added.
    d.Click(several);
    EXPECT_EQ(d.Text(d.Control(page, kFilePath)), Text(417));
    EXPECT_EQ(d.Text(browse), Text(423));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(418));
    d.Click(several);
    EXPECT_EQ(d.Text(d.Control(page, kFilePath)), "");
    EXPECT_EQ(d.Text(browse), Text(424));
    d.SetText(d.Control(page, kFilePath), in);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(419));
    // Without EnableDirOperation the box cannot be ticked.
    SetSetting("System_Profile", "EnableDirOperation", 0);
    d.Click(several);
    EXPECT_FALSE(d.IsChecked(several));
    EXPECT_FALSE(d.IsEnabled(several));
    d.SetText(d.Control(page, kOutputFolder), out);
    Next(d, sheet);
    Page(d, sheet, 30035);
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
  const CProtectWizardData& data = wizard->m_WizardData;
  ASSERT_EQ(data.m_arrInputFiles.GetSize(), 1);
  EXPECT_EQ(data.m_arrInputFiles[0].str(), in);
  EXPECT_EQ(data.m_strOutputFolder.str(), out);
  EXPECT_EQ(data.m_bMultipleFiles, 0);
}

// Every cipher of the page: its key lengths and default, the codes it stores, and a round trip through the
// two runs; Blowfish is also read by openssl.
TEST_F(EncryptionWizard, EveryCipherOfThePageEncryptsAndDecrypts) {
  struct Case {
    const char* cipher;
    std::vector<std::string> lengths;
    const char* preselected;
    const char* chosen;
    int ownCipher, ownKey, engineCipher, engineKey;
  } cases[] = {
      {"DES", {"56 bits", "40 bits"}, "56 bits", nullptr, 0, 0, 2, 2},
      {"Triple DES (2-Key)", {"128 bits"}, "128 bits", nullptr, 1, 1, 3, 3},
      {"RC2", {"40 bits", "128 bits"}, "128 bits", nullptr, 2, 1, 0, 3},
      {"RC4", {"40 bits", "128 bits"}, "40 bits", "128 bits", 3, 1, 1, 3},
      {"Triple DES (3-Key)", {"128 bits", "192 bits"}, "192 bits", nullptr, 4, 4, 3, 4},
      {"AES", {"128 bits", "192 bits", "256 bits"}, "256 bits", "128 bits", 5, 1, 3, 3},
      {"Blowfish", {"128 bits", "192 bits", "256 bits", "448 bits"}, "256 bits", "128 bits", 6, 1, -1, 3},
      {"Twofish", {"128 bits", "192 bits", "256 bits"}, "192 bits", nullptr, 7, 4, -1, 4},
  };
  const std::string input = Content(3000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cipher);
    std::string in = File(std::string("file-") + std::to_string(c.ownCipher) + ".bin", input);
    std::string out = kxtest::MakeTempDir("sealed");
    auto wizard = Made(CEncryptionWizard::kInformationPage, 0, {in}, out);
    kx::RunWithUiHere([&] { return wizard->DoModal(); }, [&](kx::UiDriver& d) {
      HWND sheet = d.WaitForTitle("Encryption Wizard");
      HWND page = Page(d, sheet, 30035);
      kx::ControlDriver controls(d);
      controls.ComboPick(d.Control(page, kCipher), c.cipher);
      EXPECT_EQ(controls.ComboItems(d.Control(page, kKeyLength)), c.lengths);
      EXPECT_EQ(controls.ComboText(d.Control(page, kKeyLength)), c.preselected);
      if (c.chosen) controls.ComboPick(d.Control(page, kKeyLength), c.chosen);
      TypePassword(d, page, "pw", "pw");
      Next(d, sheet);
      Page(d, sheet, 30037);
      FinishRun(d, sheet);
    });
    const CProtectWizardData& data = wizard->m_WizardData;
    EXPECT_EQ(data.m_nSymmetricCipher, c.ownCipher);
    EXPECT_EQ(data.m_nSymmetricKeySize, c.ownKey);
    EXPECT_EQ(data.m_nCipher, c.engineCipher);
    EXPECT_EQ(data.m_nKeyLength, c.engineKey);
    const std::string encrypted = in.substr(in.rfind('/')) + ".Etv";
    EncryptedFile file = ReadEncrypted(out + encrypted);
    ASSERT_TRUE(file.object);
    if (c.ownCipher == 6) {
      const std::string plain = OpensslEcbDecrypt("bf-ecb", OpensslKey("pw", file.salt, 16), file.blocks[0]);
      EXPECT_TRUE(plain.substr(0, input.size()) == input);
    }
    // The decrypt run of the same wizard class, with the password.
    std::string plainDir = kxtest::MakeTempDir("opened");
    auto reader = Made(CEncryptionWizard::kFinalPage, 4, {out + encrypted}, plainDir);
    reader->m_WizardData.m_strPassword = "pw";
    reader->m_WizardData.m_pEngineObjects = new CCapicomObjectSet;
    EXPECT_EQ(EncFinalDecryptVerifyThreadProc(static_cast<CObject*>(reader.get())), 0u);
    ASSERT_EQ(reader->m_FinalPage.m_arrResults.GetSize(), 1);
    EXPECT_EQ(reader->m_FinalPage.m_arrResults[0].str(), "Success");
    EXPECT_TRUE(kxtest::ReadFile(plainDir + in.substr(in.rfind('/'))) == input);
  }
}

}  // namespace

namespace {

// The two runs on the sheet's worker procedures, on this thread, as the final page starts them.
class EncryptionRuns : public EncryptionWizard {
 protected:
  // A wizard sheet (not shown) whose operation data is what the pages collect.
  static std::unique_ptr<CEncryptionWizard> Sheet(int mode, const std::vector<std::string>& files, const std::string& folder,
                                                  int ownCipher, int ownKey, int engineCipher, int engineKey) {
    auto wizard = Made(CEncryptionWizard::kFinalPage, mode, files, folder);
    CProtectWizardData& data = wizard->m_WizardData;
    data.m_strPassword = "Batch pass";
    data.m_nSymmetricCipher = ownCipher;
    data.m_nSymmetricKeySize = ownKey;
    data.m_nCipher = engineCipher;
    data.m_nKeyLength = engineKey;
    data.m_pEngineObjects = new CCapicomObjectSet;
    return wizard;
  }
  static std::vector<std::string> List(const CStringArray& list) {
    std::vector<std::string> out;
    for (INT_PTR i = 0; i < list.GetSize(); ++i) out.push_back(list[i].str());
    return out;
  }
};

// A batch: each file fails alone, an earlier file's output stays, each list keeps one entry per file, and only
// inputs whose encrypted file was written whole are shredded. The outputs span several chunks (the last one
// cut back to the input's length when decrypted); a changed file and a foreign one are told apart.
TEST_F(EncryptionRuns, ABatchGoesFileByFileAndDecryptsWhole) {
  SetMemoryCache(1);
  SetSetting("Config", "ShredTemporaryFiles", 1);
  const std::string big = Content((2u << 20) + 1234), small = Content(100);
  struct Case {
    const char* what;
    int version, ownCipher, ownKey, engineCipher, engineKey, derivation;
  } cases[] = {
      {"AES-256, own cipher", 1, 5, 5, 3, 5, 0},
      // Made with the HMAC-MD5 derivation: the reader, set to the other one, tries both.
      {"three-key triple DES, engine", 2, 4, 4, 3, 4, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CTvxFormatSettings format;
    format.m_nFormatVersion = c.version;
    ASSERT_EQ(format.Save(), ERROR_SUCCESS);
    const std::string n = std::to_string(c.version);
    const std::string in = kxtest::MakeTempDir("batch" + n), out = kxtest::MakeTempDir("sealed" + n);
    kxtest::WriteFile(out + "/a.txt.Etv", "taken");
    kxtest::WriteFile(out + "/a.txt(1).Etv", "taken too");
    kxtest::WriteFile(in + "/a.txt", small);
    kxtest::WriteFile(in + "/empty.txt", "");
    kxtest::WriteFile(in + "/big.bin", big);
    auto sealer = Sheet(0, {in + "/a.txt", in + "/empty.txt", in + "/missing.txt", in + "/big.bin"}, out, c.ownCipher,
                        c.ownKey, c.engineCipher, c.engineKey);
    sealer->m_WizardData.m_nSymmetricOption = c.derivation;
    EXPECT_EQ(EncFinalEncryptThreadProc(static_cast<CObject*>(sealer.get())), 0u);
    EXPECT_EQ(List(sealer->m_FinalPage.m_arrOutputFiles),
              (std::vector<std::string>{out + "/a.txt(2).Etv", "Error", "Error", out + "/big.bin.Etv"}));
    const std::vector<std::string> results = List(sealer->m_FinalPage.m_arrResults);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0], "Success");
    EXPECT_EQ(results[1], "Failed to read the encrypted data of the file. Check if the file is not empty. ");
    EXPECT_NE(results[2], "Success");
    EXPECT_EQ(results[3], "Success");
    EXPECT_TRUE(sealer->m_WizardData.m_bOperationDone.load());
    EXPECT_EQ(kxtest::ReadFile(out + "/a.txt.Etv"), "taken");
    EXPECT_EQ(GetFileAttributes((out + "/empty.txt.Etv").c_str()), INVALID_FILE_ATTRIBUTES);
    // Shredded: the two inputs encrypted; the empty one stays.
    EXPECT_EQ(GetFileAttributes((in + "/a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributes((in + "/big.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributes((in + "/empty.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadEncrypted(out + "/big.bin.Etv").blocks.size(), 3u);

    // One changed byte in the first file's object, and a file that is none of the family.
    std::string changed = kxtest::ReadFile(out + "/a.txt(2).Etv");
    changed[changed.size() - 64 - 5] ^= 0x01;
    kxtest::WriteFile(out + "/a.txt(2).Etv", changed);
    kxtest::WriteFile(out + "/foreign.Etv", "plain words");
    const std::string plain = kxtest::MakeTempDir("opened" + n);
    auto opener = Sheet(4, {out + "/a.txt(2).Etv", out + "/big.bin.Etv", out + "/foreign.Etv"}, plain, -1, -1, -1, -1);
    EXPECT_EQ(EncFinalDecryptVerifyThreadProc(static_cast<CObject*>(opener.get())), 0u);
    EXPECT_EQ(List(opener->m_FinalPage.m_arrOutputFiles), (std::vector<std::string>{"Error", plain + "/big.bin", "Error"}));
    EXPECT_EQ(List(opener->m_FinalPage.m_arrResults),
              (std::vector<std::string>{
                  "The Office Tolvex has detected that this file has been modified. (SHA-1 Hash of the file doesnt match "
                  "with generated one)",
                  "Success",
                  "The document has the same extension as Office Tolvex file, but it is not a valid office tolvex "
                  "document"}));
    EXPECT_TRUE(kxtest::ReadFile(plain + "/big.bin") == big);
    EXPECT_EQ(GetFileAttributes((plain + "/a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // Nothing in such a file checks its content: the log says decrypted, never verified.
    bool decrypted = false;
    const std::vector<std::string> entries = AuditEntries();
    for (const std::string& entry : entries) {
      EXPECT_EQ(entry.find("verified"), std::string::npos) << entry;
      decrypted = decrypted || (entry.find("|Successfully decrypted the file") != std::string::npos &&
                                entry.find(out + "/big.bin.Etv") != std::string::npos);
    }
    EXPECT_TRUE(decrypted) << ::testing::PrintToString(entries);
  }
}

// Files of the earlier writer carry the extra-block flag without a block: made with DES (whose own bytes then
// read as a block length of 256) and with AES, they decrypt all the same.
TEST_F(EncryptionRuns, FilesWithTheFlagAndNoBlockDecrypt) {
  const std::string input = Content(5000);
  const struct {
    const char* what;
    int ownCipher, ownKey, engineCipher, engineKey;
  } cases[] = {{"DES", 0, 0, 2, 2}, {"AES", 5, 5, 3, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = kxtest::MakeTempDir(std::string("flagged-") + c.what);
    const std::string plain = kxtest::MakeTempDir(std::string("unflagged-") + c.what);
    auto sealer = Sheet(0, {File("old.txt", input)}, out, c.ownCipher, c.ownKey, c.engineCipher, c.engineKey);
    EncFinalEncryptThreadProc(static_cast<CObject*>(sealer.get()));
    const std::string sealed = out + "/old.txt.Etv";
    std::string bytes = kxtest::ReadFile(sealed);
    const size_t marker = bytes.rfind("KETV");
    ASSERT_NE(marker, std::string::npos);
    ASSERT_EQ(bytes[marker + 6 + 3], 0);
    bytes[marker + 6 + 3] = 1;
    kxtest::WriteFile(sealed, bytes);
    auto opener = Sheet(4, {sealed}, plain, -1, -1, -1, -1);
    EncFinalDecryptVerifyThreadProc(static_cast<CObject*>(opener.get()));
    EXPECT_EQ(List(opener->m_FinalPage.m_arrResults), (std::vector<std::string>{"Success"}));
    EXPECT_TRUE(kxtest::ReadFile(plain + "/old.txt") == input);
  }
}

// The name a file records is a name, never a path: a changed one cannot put the output outside the folder.
TEST_F(EncryptionRuns, TheRecordedNameStaysInTheOutputFolder) {
  const std::string input = Content(500);
  const std::string out = kxtest::MakeTempDir("sealed"), plain = kxtest::MakeTempDir("deep") + "/opened";
  ASSERT_TRUE(CreateDirectory(plain.c_str(), nullptr));
  auto sealer = Sheet(0, {File("note.txt", input)}, out, 5, 1, 3, 3);
  EncFinalEncryptThreadProc(static_cast<CObject*>(sealer.get()));
  const std::string sealed = out + "/note.txt.Etv";
  EncryptedFile file = ReadEncrypted(sealed);
  ASSERT_TRUE(file.object);
  file.object->m_info.m_strText1 = "../escaped.txt";
  {
    CFileManager files;
    std::unique_ptr<CFileStream> stream(files.CreateStream(sealed.c_str()));
    ASSERT_TRUE(stream && stream->IsOpen());
    for (const std::string& block : file.blocks) ASSERT_TRUE(stream->WriteUInt32Block(kxtest::BufferOf(block)));
    ASSERT_TRUE(stream->WriteFileObject(file.object.get()));
  }
  auto opener = Sheet(4, {sealed}, plain, -1, -1, -1, -1);
  EncFinalDecryptVerifyThreadProc(static_cast<CObject*>(opener.get()));
  EXPECT_EQ(List(opener->m_FinalPage.m_arrOutputFiles), (std::vector<std::string>{plain + "/escaped.txt"}));
  EXPECT_EQ(List(opener->m_FinalPage.m_arrResults), (std::vector<std::string>{"Success"}));
  EXPECT_TRUE(kxtest::ReadFile(plain + "/escaped.txt") == input);
  EXPECT_EQ(GetFileAttributes((plain + "/../escaped.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
