// The Archive Wizard as a person uses it: the zip archive of a folder made and protected, archives of other
// tools and protected archives opened, looked into, tested, extracted from and changed, and a spanned archive
// read across its disks.
#include <sys/stat.h>
#include <unistd.h>

#include "app/ResString.h"
#include "archives/ArchiveZipOptions.h"
#include "archwiz/archwiz_fixture.h"
#include "core/SystemProfile.h"
#include "engine/CapicomEncryptedData.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/registry.h"
#include "support/pki.h"
#include "zip/ZipArchive.h"

using namespace archwiz;

namespace {

enum {
  kWelcome = 4244, kTask = 4246, kContents = 4245, kOptions = 4247, kRun = 4248,
  kCreate = 1132, kOpen = 1133, kFirstPath = 1031, kSecondPath = 1032, kOperation = 1067, kProfileFolder = 1035,
  kEntries = 1000, kAdd = 1050, kDelete = 1051, kExtract = 1031, kComment = 1135, kOptionsButton = 1032, kTest = 1129,
  kLevel = 1018, kSubfolders = 1014, kReport = 1145, kStatus = 1088, kPercent = 1089, kDetails = 1080,
};

std::string Text(UINT id) { return std::string(LoadResString(id)); }

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// Bytes that do not compress to nothing, in a pattern of their own per seed.
std::string Noise(size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 23);
  }
  return s;
}

class ArchiveWizard : public ArchWizTest {
 protected:
  Files SampleTree() {
    return {{"readme.txt", std::string(3000, 'r') + "\nend\n"},
            {"data.bin", Noise(150000, 1)},
            {"docs/guide.txt", "A guide.\n"},
            {"docs/deep/empty.txt", ""}};
  }
  // The zip options of the registry: what the contents page starts from.
  static void StoreZipOptions(const char* password, int spanMode = 0, int openSpanned = 0) {
    CArchiveZipSettings options;
    options.m_strPassword = password;
    options.m_nSpanMode = spanMode;
    options.m_bOpenSpanned = openSpanned;
    ASSERT_TRUE(options.Save());
  }
  // The welcome page's choice, then on to the task page.
  static HWND ToTaskPage(kx::UiDriver& d, HWND sheet, bool open) {
    HWND welcome = Page(d, sheet, kWelcome);
    d.Click(Item(d, welcome, open ? kOpen : kCreate));
    Next(d, sheet);
    return Page(d, sheet, kTask);
  }
};

// The zip options keep their serialised form in one registry value: the password as a framework string, then
// span mode, open spanned, volume size, sub-folders and level as 32-bit values.
TEST_F(ArchiveWizard, ZipOptionsAreKeptInTheirSerialisedForm) {
  CArchiveZipSettings options;
  EXPECT_FALSE(options.Load());
  EXPECT_EQ(options.m_nLevel, -1);
  EXPECT_EQ(options.m_nVolumeSize, 1457500);
  options.m_strPassword = "secret";
  options.m_nSpanMode = 2;
  options.m_nLevel = 9;
  ASSERT_TRUE(options.Save());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, CArchiveZipSettings::kKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  BYTE bytes[64] = {};
  DWORD type = 0, size = sizeof bytes;
  ASSERT_EQ(RegQueryValueEx(key, CArchiveZipSettings::kValueName, nullptr, &type, bytes, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  const std::string expected = std::string("\x06secret", 7) + std::string("\x02\0\0\0", 4) + std::string(4, '\0') +
                               std::string("\x5c\x3d\x16\0", 4) + std::string("\x01\0\0\0", 4) +
                               std::string("\x09\0\0\0", 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), size), expected);
  CArchiveZipSettings loaded;
  ASSERT_TRUE(loaded.Load());
  EXPECT_EQ(std::string(loaded.m_strPassword), "secret");
  EXPECT_EQ(loaded.m_nSpanMode, 2);
  EXPECT_EQ(loaded.m_nLevel, 9);

  // A value that is cut short leaves the defaults.
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, CArchiveZipSettings::kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                           nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key, CArchiveZipSettings::kValueName, 0, REG_BINARY, bytes, 10), ERROR_SUCCESS);
  RegCloseKey(key);
  CArchiveZipSettings cut;
  EXPECT_FALSE(cut.Load());
  EXPECT_EQ(std::string(cut.m_strPassword), "");
  EXPECT_EQ(cut.m_nLevel, -1);
}

// The main road: a folder zipped with a password, a level chosen in the options and a comment on one entry,
// the archive signed with the preset's signer; the signed archive's content is the zip archive itself, which
// unzip and Python's zipfile accept, and each block's signature verifies with openssl.
TEST_F(ArchiveWizard, SignsTheZipArchiveOfAFolder) {
  const CCapicomCertificate signer = AddWithKey("signer");
  const std::string preset = WritePreset("Sign for the team", 1, {signer}, {});
  const std::string src = kxtest::MakeTempDir("src"), out = kxtest::MakeTempDir("out");
  const Files files = SampleTree();
  WriteTree(src, files);
  StoreZipOptions("secret");
  const std::string archive = out + "/backup.tvx";

  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    Page(d, sheet, kWelcome);
    d.SavePng(sheet, Shot("archive-welcome"));
    HWND task = ToTaskPage(d, sheet, false);
    // Nothing chosen yet: first the preset is asked for, then the archive to make.
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(358));
    c.ComboPick(Item(d, task, kOperation), "Sign the archive");
    TakeArchivePreset(d, task, preset);
    EXPECT_EQ(d.Text(Item(d, task, kFirstPath)), "Sign for the team");
    EXPECT_FALSE(d.IsVisible(Item(d, task, kProfileFolder)));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(419));
    d.SetText(Item(d, task, kSecondPath), archive);
    d.SavePng(sheet, Shot("archive-task"));
    Next(d, sheet);

    HWND contents = Page(d, sheet, kContents);
    HWND list = Item(d, contents, kEntries);
    EXPECT_EQ(c.ListRowCount(list), 0);
    // An empty archive cannot be acted on yet, but it can take files.
    EXPECT_FALSE(d.IsEnabled(Item(d, contents, kDelete)));
    EXPECT_TRUE(d.IsEnabled(Item(d, contents, kAdd)));
    EXPECT_TRUE(Exists(archive + "__KX__.zip"));

    // Options: a level out of range is refused, level 9 taken.
    d.Click(Item(d, contents, kOptionsButton));
    HWND options = d.WaitForDialog(kOptions);
    EXPECT_TRUE(d.IsChecked(Item(d, options, kSubfolders)));
    d.SetText(Item(d, options, kLevel), "10");
    d.Click(d.Control(options, IDOK));
    EXPECT_EQ(AnswerPage(d, "OK"), "Please enter an integer between -1 and 9.");
    d.SetText(Item(d, options, kLevel), "9");
    d.SavePng(options, Shot("archive-options"));
    d.Click(d.Control(options, IDOK));
    d.WaitForGone(options);

    d.Click(Item(d, contents, kAdd));
    c.ChooseFolder(src);
    d.WaitUntil([&] { return c.ListRowCount(list) == 6; }, "the folder's entries");
    WaitForButton(d, sheet, ID_WIZNEXT);
    // Once it holds entries, the wizard goes only on.
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZBACK)));
    const int row = c.ListFind(list, "(*) readme.txt");
    ASSERT_GE(row, 0);
    EXPECT_EQ(c.ListText(list, row, 1), "NO");
    EXPECT_EQ(c.ListText(list, row, 2), "3005");
    EXPECT_EQ(c.ListText(list, c.ListFind(list, "docs\\"), 1), "YES");
    c.ListDoubleClickRow(list, row);
    HWND text = d.WaitForDialog(135);
    d.SetText(Item(d, text, 1070), "The read-me of the team");
    d.Click(d.Control(text, IDOK));
    d.WaitForGone(text);
    d.WaitUntil([&] { return c.ListText(list, c.ListFind(list, "(*) readme.txt"), 7) == "The read-me of the team"; },
                "the comment in the list");
    d.SavePng(sheet, Shot("archive-contents"));
    Next(d, sheet);

    HWND run = Page(d, sheet, kRun);
    WaitForButton(d, sheet, ID_WIZFINISH);
    EXPECT_NE(d.Text(Item(d, run, kReport)).find(Text(664)), std::string::npos);
    EXPECT_EQ(d.Text(Item(d, run, kStatus)).rfind("Archive Sign Operation Successful. File (" + archive + ")", 0), 0u);
    EXPECT_EQ(d.Text(Item(d, run, kPercent)), "100%");
    EXPECT_TRUE(d.IsEnabled(Item(d, run, kDetails)));
    d.SavePng(sheet, Shot("archive-run"));
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(Exists(archive + "__KX__.zip"));

  ProtectedFile signedArchive = ReadProtected(archive);
  ASSERT_TRUE(signedArchive.object);
  ASSERT_FALSE(signedArchive.blocks.empty());
  std::string zip;
  for (const std::string& block : signedArchive.blocks) zip += block;
  const std::string zipPath = m_work + "/content.zip";
  kxtest::WriteFile(zipPath, zip);
  std::string said;
  EXPECT_EQ(Sh("unzip -P secret -tq " + Quote(zipPath), &said), 0) << said;
  EXPECT_EQ(Sh("unzip -z " + Quote(zipPath) + " | cat; zipinfo -v " + Quote(zipPath) + " readme.txt", &said), 0);
  EXPECT_NE(said.find("The read-me of the team"), std::string::npos) << said;
  // Level 9: the deflate sub-type "maximum"; the password: an encrypted entry.
  for (const char* fact : {"maximum", "file security status:", "encrypted"})
    EXPECT_NE(said.find(fact), std::string::npos) << fact << "\n" << said;
  const std::string python =
      "import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1]); z.setpassword(b'secret')\n"
      "assert z.testzip() is None\n"
      "print(sorted(i.filename for i in z.infolist()))\n"
      "z.extractall(sys.argv[2])\n";
  kxtest::WriteFile(m_work + "/check.py", python);
  const std::string extracted = kxtest::MakeTempDir("extracted");
  EXPECT_EQ(Sh("python3 " + Quote(m_work + "/check.py") + " " + Quote(zipPath) + " " + Quote(extracted), &said), 0)
      << said;
  EXPECT_EQ(ReadTree(extracted), files);

  // Every block carries the signer's detached signature.
  PayloadEntry entry;
  ASSERT_TRUE(signedArchive.object->m_info.m_body.GetEntry(0, entry));
  ASSERT_EQ(entry.m_buffers.GetCount(), signedArchive.blocks.size());
  for (DWORD i = 0; i < entry.m_buffers.GetCount(); ++i) {
    const CByteBuffer& signature = entry.m_buffers.GetAt(i);
    kxtest::WriteFile(m_work + "/sig.der", std::string(reinterpret_cast<const char*>(signature.GetData()),
                                                       signature.GetLength()));
    kxtest::WriteFile(m_work + "/block.bin", signedArchive.blocks[i]);
    EXPECT_EQ(Sh("openssl cms -verify -binary -inform DER -in " + Quote(m_work + "/sig.der") + " -content " +
                     Quote(m_work + "/block.bin") + " -CAfile " + Quote(kxtest::pki::ChainPem()) +
                     " -purpose any -out /dev/null",
                 &said),
              0)
        << said;
  }
}

}  // namespace
