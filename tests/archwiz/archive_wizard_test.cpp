// The Archive Wizard as a person uses it: the zip archive of a folder made and protected, archives of other
// tools and protected archives opened, looked into, tested, extracted from and changed, and a spanned archive
// read across its disks.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "app/ResString.h"
#include "archives/ArchiveSheet.h"
#include "archives/ArchiveZipOptions.h"
#include "app/WizardWorker.h"
#include "archwiz/archwiz_fixture.h"
#include "core/SystemProfile.h"
#include "engine/CapicomEncryptedData.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/registry.h"
#include "platform/win32/stateroot.h"
#include "support/pki.h"
#include "support/wizard.h"
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

// A damaged value is refused at every load without keeping the framework's exception: the bytes in use do not
// grow over many loads.
TEST(ArchiveZipOptions, DamagedValueIsRefusedWithoutLeaking) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, CArchiveZipSettings::kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                           nullptr),
            ERROR_SUCCESS);
  const BYTE damaged[] = {0x06, 's', 'e', 'c', 'r', 'e', 't', 0x02, 0};  // a password, then a value cut short
  ASSERT_EQ(RegSetValueEx(key, CArchiveZipSettings::kValueName, 0, REG_BINARY, damaged, sizeof damaged),
            ERROR_SUCCESS);
  RegCloseKey(key);
  auto load = [] {
    CArchiveZipSettings options;
    EXPECT_FALSE(options.Load());
    EXPECT_EQ(options.m_nLevel, -1);
  };
  load();
  const size_t before = mallinfo2().uordblks;
  for (int i = 0; i < 2000; ++i) load();
  EXPECT_LT(mallinfo2().uordblks, before + 16384);
}

// The percentage labels of the run pages: whole percents of the range, a position past the end starting again
// from 0.
TEST(ArchiveRunPage, PercentLabels) {
  const struct {
    int position;
    const char* text;
  } cases[] = {{0, "0%"}, {25000, "50%"}, {49999, "99%"}, {50000, "100%"}, {50500, "1%"}, {100000, "0%"}};
  for (const auto& c : cases) EXPECT_EQ(std::string(kx::archives::PercentText(c.position, 0, 50000)), c.text) << c.position;
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
    // The archive being made has no name in the folder until it is whole.
    EXPECT_FALSE(Exists(archive + "__KX__.zip"));

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
  EXPECT_TRUE(ReadTree(extracted) == files);

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

// Every row of the list selected, as a person does with a click and a shift-click.
void SelectAll(kx::ControlDriver& c, HWND list) {
  const int rows = c.ListRowCount(list);
  c.ListClickRow(list, 0);
  if (rows > 1) c.ListClickRow(list, rows - 1, false, true);
}

// Extracts the selected rows into the folder through the extract button and the folder chooser.
void Extract(kx::UiDriver& d, HWND contents, const std::string& folder) {
  d.Click(Item(d, contents, kExtract));
  kx::ControlDriver(d).ChooseFolder(folder);
}

// The test report of the selected rows: its text, then the dialog closed.
std::string TestReport(kx::UiDriver& d, HWND contents) {
  d.Click(Item(d, contents, kTest));
  HWND report = d.WaitForDialog(1025);
  const std::string text = d.Text(d.Control(report, 1070));
  d.Click(d.Control(report, IDOK));
  d.WaitForGone(report);
  return text;
}

// The archive encrypted for the preset's recipient: openssl opens the content key with the recipient's key, and
// the wizard opens the protected archive again (verified and decrypted by the system's own reader), lists it
// and extracts the files as they were, but offers no change to it; the plain copy it worked on does not stay.
TEST_F(ArchiveWizard, EncryptsTheArchiveAndOpensItAgain) {
  const CCapicomCertificate recipient = AddWithKey("encrypt");
  const std::string preset = WritePreset("Encrypt for Bob", 0, {}, {recipient});
  const std::string src = kxtest::MakeTempDir("src"), out = kxtest::MakeTempDir("out");
  const Files files = {{"one.txt", "first file\n"}, {"two.bin", Noise(70000, 2)}};
  WriteTree(src, files);
  const std::string archive = out + "/files.tvx";

  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, false);
    EXPECT_EQ(c.ComboText(Item(d, task, kOperation)), "Encrypt the archive");
    TakeArchivePreset(d, task, preset);
    d.SetText(Item(d, task, kSecondPath), archive);
    Next(d, sheet);
    HWND contents = Page(d, sheet, kContents);
    // The strip of the add button opens its menu; its first item adds files.
    HWND add = Item(d, contents, kAdd);
    RECT r{};
    GetClientRect(add, &r);
    d.ClickAt(add, r.right - 5, r.bottom / 2);
    HWND menu = c.WaitForMenu();
    EXPECT_EQ(c.MenuItems(menu), (std::vector<std::string>{"Add Files...", "Add Folder..."}));
    c.ChooseMenuItem("Add Files...");
    c.FillFileDialog(src, {"one.txt", "two.bin"});
    HWND list = Item(d, contents, kEntries);
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "two entries");
    Next(d, sheet);
    HWND run = Page(d, sheet, kRun);
    WaitForButton(d, sheet, ID_WIZFINISH);
    EXPECT_EQ(d.Text(Item(d, run, kStatus)), "Operation Successful. File (" + archive + ") saved.");
    // Encrypted only: no signature is reported, whatever the preset's flag bytes hold.
    const std::string report = d.Text(Item(d, run, kReport));
    EXPECT_NE(report.find(Text(458) + " " + Text(460) + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find(Text(463) + " = " + Text(235) + "\r\n"), std::string::npos) << report;
    EXPECT_EQ(report.find(Text(466)), std::string::npos) << report;
    d.SavePng(sheet, Shot("archive-encrypted-report"));
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);

  ProtectedFile encrypted = ReadProtected(archive);
  ASSERT_TRUE(encrypted.object);
  // Decrypted, it is named after the archive, not after the wizard's temporary zip file.
  EXPECT_EQ(std::string(encrypted.object->m_info.m_strText1), "files.zip");
  const CByteBuffer& envelope = encrypted.object->m_info.m_encryption.m_buffer;
  kxtest::WriteFile(m_work + "/key.der", std::string(reinterpret_cast<const char*>(envelope.GetData()), envelope.GetLength()));
  std::string said;
  EXPECT_EQ(Sh("openssl cms -decrypt -binary -inform DER -in " + Quote(m_work + "/key.der") + " -recip " +
                   Quote(kxtest::pki::Pem("encrypt")) + " -inkey " + Quote(kxtest::pki::Key("encrypt")) + " -out " +
                   Quote(m_work + "/key.bin"),
               &said),
            0)
      << said;
  EXPECT_EQ(kxtest::ReadFile(m_work + "/key.bin").size(), 32u);

  const std::string dest = kxtest::MakeTempDir("dest");
  const std::string temp = kx::TempDir();
  result = kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, true);
    d.SetText(Item(d, task, kFirstPath), archive);
    d.SetText(Item(d, task, kSecondPath), dest);
    Next(d, sheet);
    HWND contents = Page(d, sheet, kContents);
    HWND list = Item(d, contents, kEntries);
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "the archive's entries");
    WaitForButton(d, sheet, ID_WIZNEXT);
    // What is shown is a passing plain copy: it is looked into, tested and extracted from, never changed.
    for (int id : {kAdd, kDelete, kComment}) EXPECT_FALSE(d.IsEnabled(Item(d, contents, id))) << id;
    for (int id : {kTest, kExtract}) EXPECT_TRUE(d.IsEnabled(Item(d, contents, id))) << id;
    SelectAll(c, list);
    // Added files keep their full paths (without the root).
    std::string folder = src.substr(1);
    for (char& ch : folder) if (ch == '/') ch = '\\';
    EXPECT_EQ(TestReport(d, contents), folder + "\\one.txt  -  passed\r\n" + folder + "\\two.bin  -  passed\r\n");
    // With rows, every heading keeps room for its text ("Folder" and "Attributes" were cut to "...").
    d.Invoke(list, [&] {
      for (int column = 0; column < 8; ++column) {
        char heading[64] = {};
        LVCOLUMNA item{};
        item.mask = LVCF_TEXT;
        item.pszText = heading;
        item.cchTextMax = sizeof heading;
        SendMessage(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
        const int needed = static_cast<int>(SendMessage(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(heading)));
        EXPECT_GE(static_cast<int>(SendMessage(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)), needed + 12)
            << heading;
      }
    });
    Extract(d, contents, dest);
    d.SavePng(sheet, Shot("archive-opened"));
    Next(d, sheet);
    HWND run = Page(d, sheet, kRun);
    WaitForButton(d, sheet, ID_WIZFINISH);
    EXPECT_EQ(d.Text(Item(d, run, 1098)), Text(649));
    d.SavePng(sheet, Shot("archive-opened-run"));
    EXPECT_FALSE(d.IsEnabled(Item(d, run, kDetails)));
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  Files expected;
  for (const auto& [name, bytes] : files) expected[src.substr(1) + "/" + name] = bytes;
  EXPECT_TRUE(ReadTree(dest) == expected);
  // The plain copy and its folder are gone.
  EXPECT_EQ(Sh("ls -d " + Quote(temp) + "kxarchive-* 2>/dev/null", &said), 2) << said;
}

// An archive made by zip -r (and one entry added by Python): listed with its folders, the ratio of an empty
// entry and a long comment cut, tested, an entry extracted and another deleted; the archive stays whole for
// unzip. Going back from the task page to change the task starts it afresh, and the
// output folder of the system profile may stand for the destination.
TEST_F(ArchiveWizard, WorksOnAnArchiveMadeByZip) {
  const std::string src = kxtest::MakeTempDir("src"), dest = kxtest::MakeTempDir("dest");
  CSystemProfile profile;
  profile.Load();
  profile.OutputOption = 1;
  profile.OutputFolder = dest.c_str();
  ASSERT_TRUE(profile.Save());
  const Files files = SampleTree();
  WriteTree(src, files);
  const std::string archive = m_work + "/tree.zip";
  std::string said;
  ASSERT_EQ(Sh("cd " + Quote(src) + " && zip -q -r " + Quote(archive) + " .", &said), 0) << said;
  // One more entry, by Python's zipfile, with a comment one character longer than the list shows.
  ASSERT_EQ(Sh("python3 -c \"import sys, zipfile\n"
               "with zipfile.ZipFile(sys.argv[1], 'a') as z:\n"
               "  i = zipfile.ZipInfo('notes.txt'); i.comment = b'n' * 1025; z.writestr(i, 'noted')\" " +
                   Quote(archive),
               &said),
            0)
      << said;

  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, false);
    d.SetText(Item(d, task, kSecondPath), m_work + "/unused.tvx");
    Back(d, sheet);
    task = ToTaskPage(d, sheet, true);
    EXPECT_EQ(d.Text(Item(d, task, kSecondPath)), "");
    EXPECT_TRUE(d.IsVisible(Item(d, task, 1140)));
    EXPECT_FALSE(d.IsVisible(Item(d, task, 1141)));
    EXPECT_FALSE(d.IsEnabled(Item(d, task, kOperation)));
    d.SetText(Item(d, task, kFirstPath), archive);
    HWND useProfile = Item(d, task, kProfileFolder);
    EXPECT_TRUE(d.IsVisible(useProfile) && d.IsEnabled(useProfile));
    d.SetCheck(useProfile, true);
    EXPECT_FALSE(d.IsEnabled(Item(d, task, kSecondPath)));
    d.SavePng(sheet, Shot("archive-task-open"));
    Next(d, sheet);

    HWND contents = Page(d, sheet, kContents);
    HWND list = Item(d, contents, kEntries);
    d.WaitUntil([&] { return c.ListRowCount(list) == 7; }, "the archive's entries");
    WaitForButton(d, sheet, ID_WIZNEXT);
    EXPECT_EQ(c.ListText(list, c.ListFind(list, "docs\\"), 1), "YES");
    EXPECT_EQ(c.ListText(list, c.ListFind(list, "docs\\deep\\empty.txt"), 5), "0%");
    // Longer than the driver reads from a list: taken from the page's own list.
    std::string comment;
    const int notes = c.ListFind(list, "notes.txt");
    d.Invoke(contents, [&] {
      auto* page = dynamic_cast<CArchiveZipPage*>(CWnd::FromHandlePermanent(contents));
      ASSERT_NE(page, nullptr);
      comment = static_cast<const char*>(page->m_lstEntries.GetItemText(notes, 7));
    });
    EXPECT_EQ(comment, std::string(1024, 'n') + "...");
    SelectAll(c, list);
    const std::string report = TestReport(d, contents);
    EXPECT_NE(report.find("data.bin  -  passed"), std::string::npos) << report;
    EXPECT_EQ(report.find(Text(362)), std::string::npos) << report;

    c.ListPickRow(list, "docs\\guide.txt");
    Extract(d, contents, dest);
    c.ListPickRow(list, "data.bin");
    d.Click(Item(d, contents, kDelete));
    d.WaitUntil([&] { return c.ListRowCount(list) == 6; }, "one entry fewer");
    EXPECT_EQ(c.ListFind(list, "data.bin"), -1);
    Next(d, sheet);
    WaitForButton(d, sheet, ID_WIZFINISH);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadTree(dest), (Files{{"docs/guide.txt", "A guide.\n"}}));
  EXPECT_EQ(Sh("unzip -tq " + Quote(archive), &said), 0) << said;
  EXPECT_EQ(Sh("unzip -Z1 " + Quote(archive), &said), 0);
  EXPECT_EQ(said.find("data.bin"), std::string::npos) << said;
  EXPECT_NE(said.find("readme.txt"), std::string::npos) << said;
}

// An archive that cannot take one entry more: the files left out are named to the user, and those added are
// all there (the limit lowered for the test; the zip library's own test reaches the real one).
TEST_F(ArchiveWizard, FilesTheFullArchiveCannotTakeAreNamed) {
  struct Limit {
    Limit() { CZipArchive::SetEntryLimitForTests(2); }
    ~Limit() { CZipArchive::SetEntryLimitForTests(0); }
  } limit;
  const std::string preset = WritePreset("Sign", 1, {AddWithKey("signer")}, {});
  const std::string src = kxtest::MakeTempDir("src"), archive = m_work + "/full.tvx";
  WriteTree(src, {{"a.txt", "a\n"}, {"b.txt", "b\n"}, {"c.txt", "c\n"}, {"d.txt", "d\n"}});
  kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, false);
    TakeArchivePreset(d, task, preset);
    d.SetText(Item(d, task, kSecondPath), archive);
    Next(d, sheet);
    HWND contents = Page(d, sheet, kContents);
    d.Click(Item(d, contents, kAdd));
    c.ChooseFolder(src);
    const std::string said = AnswerPage(d, "OK");
    HWND list = Item(d, contents, kEntries);
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "the two entries");
    WaitForButton(d, sheet, ID_WIZNEXT);
    const std::string head = "2 of the files chosen were not added to the archive:";
    const std::string tail = "A zip archive holds at most 65535 entries.";
    ASSERT_EQ(said.substr(0, head.size()), head) << said;
    EXPECT_NE(said.find(tail), std::string::npos) << said;
    // Every file is either in the list or named.
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
      const bool listed = c.ListFind(list, name) >= 0 || c.ListFind(list, std::string("(*) ") + name) >= 0;
      const bool named = said.find(src + "/" + name) != std::string::npos;
      EXPECT_NE(listed, named) << name;
    }
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
}

// A person at the drive of a spanned archive: opening it with the first disk in place asks for the last one and
// tries again on Yes; extracting an entry that lies on the first two disks asks for each, and answered with OK
// the extraction goes on to the end.
TEST_F(ArchiveWizard, ASpannedArchiveGoesOnAfterTheDiskPrompt) {
  const std::string base = kxtest::MakeTempDir("disks"), drive = base + "/drive", dest = kxtest::MakeTempDir("dest");
  auto disk = [&](int n) { return base + "/disk" + std::to_string(n); };
  auto makeDisk = [](const std::string& folder) {
    mkdir(folder.c_str(), 0755);
    kxtest::WriteFile(folder + "/.kxdisk", "blank\n64000\n");
  };
  const Files files = {{"first.bin", Noise(90000, 3)}, {"second.bin", Noise(60000, 4)}};
  const std::string src = kxtest::MakeTempDir("src");
  WriteTree(src, files);
  struct Drive {
    std::function<void(int)> mount;
    int mounted = 1;
  } state;
  state.mount = [&](int n) {
    if (n == state.mounted) return;
    rename(drive.c_str(), disk(state.mounted).c_str());
    if (Exists(disk(n))) rename(disk(n).c_str(), drive.c_str());
    else makeDisk(drive);
    state.mounted = n;
  };
  makeDisk(drive);
  {
    CZipArchive zip;
    zip.SetSpanCallback(
        [](DWORD volume, int, void* data) {
          static_cast<Drive*>(data)->mount(static_cast<int>(volume));
          return true;
        },
        &state);
    zip.Open((drive + "/span.zip").c_str(), CZipArchive::zipCreateSpan, 0);
    for (const auto& [name, bytes] : files) ASSERT_TRUE(zip.AddNewFile((src + "/" + name).c_str(), 6, false));
    zip.Close();
  }
  const int last = state.mounted;
  ASSERT_GE(last, 2);
  state.mount(1);

  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, true);
    d.SetText(Item(d, task, kFirstPath), drive + "/span.zip");
    d.SetText(Item(d, task, kSecondPath), dest);
    Next(d, sheet);
    // The first disk holds no directory: asked again while it stays, then the last one goes in.
    const std::string question = AnswerPage(d, "Yes");
    EXPECT_NE(question.find(Text(625)), std::string::npos) << question;
    d.WaitForTitle("Office Tolvex");
    state.mount(last);
    EXPECT_EQ(AnswerPage(d, "Yes"), question);
    HWND contents = Page(d, sheet, kContents);
    HWND list = Item(d, contents, kEntries);
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "the spanned archive's entries");
    WaitForButton(d, sheet, ID_WIZNEXT);

    // The entry begins on the first disk and runs on to the second.
    c.ListPickRow(list, "first.bin");
    Extract(d, contents, dest);
    for (int n : {1, 2}) {
      d.WaitForTitle("Office Tolvex");
      state.mount(n);
      EXPECT_EQ(AnswerPage(d, "OK"), "Insert the disk number " + std::to_string(n) + ".");
    }
    WaitForButton(d, sheet, ID_WIZNEXT);
    Next(d, sheet);
    WaitForButton(d, sheet, ID_WIZFINISH);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(kxtest::ReadFile(dest + "/first.bin") == files.at("first.bin"));
}

// Made across removable disks, the archive asks for each new disk: answered with OK it goes on; cancelled, the
// folder is not added, and the archive is made again empty rather than left without its directory.
TEST_F(ArchiveWizard, ANewSpannedArchiveAsksForEachDisk) {
  const std::string preset = WritePreset("Sign", 1, {AddWithKey("signer")}, {});
  const std::string base = kxtest::MakeTempDir("disks"), drive = base + "/drive", src = kxtest::MakeTempDir("src");
  auto fresh = [&] {
    mkdir(drive.c_str(), 0755);
    kxtest::WriteFile(drive + "/.kxdisk", "blank\n64000\n");
  };
  int disks = 1;
  auto swap = [&] {
    rename(drive.c_str(), (base + "/disk" + std::to_string(disks++)).c_str());
    fresh();
  };
  fresh();
  WriteTree(src, {{"a.bin", Noise(50000, 5)}, {"b.bin", Noise(50000, 6)}, {"c.bin", Noise(50000, 7)}});
  StoreZipOptions("", 1);
  kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, false);
    TakeArchivePreset(d, task, preset);
    d.SetText(Item(d, task, kSecondPath), drive + "/spanned.tvx");
    Next(d, sheet);
    // The blank disk in the drive is the first.
    EXPECT_EQ(AnswerPage(d, "OK"), "Insert the disk number 1.");
    HWND contents = Page(d, sheet, kContents);
    d.Click(Item(d, contents, kAdd));
    c.ChooseFolder(src);
    d.WaitForTitle("Office Tolvex");
    swap();
    EXPECT_EQ(AnswerPage(d, "OK"), "Insert the disk number 2.");
    EXPECT_EQ(AnswerPage(d, "Cancel"), "Insert the disk number 3.");
    EXPECT_EQ(AnswerPage(d, "OK"), Text(617) + " " + Text(615));
    // Made again from its first disk.
    d.WaitForTitle("Office Tolvex");
    swap();
    EXPECT_EQ(AnswerPage(d, "OK"), "Insert the disk number 1.");
    HWND list = Item(d, contents, kEntries);
    WaitForButton(d, sheet, ID_WIZBACK);
    EXPECT_EQ(c.ListRowCount(list), 0);
    EXPECT_TRUE(d.IsEnabled(Item(d, contents, kAdd)));
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
  // The first disk holds the beginning of the first attempt.
  EXPECT_TRUE(Exists(base + "/disk1/spanned.tvx__KX__.zip"));
}

// A wizard cancelled after files were added leaves no plain copy of them behind.
TEST_F(ArchiveWizard, CancelLeavesNoTemporaryArchive) {
  const std::string preset = WritePreset("Sign", 1, {AddWithKey("signer")}, {});
  const std::string src = kxtest::MakeTempDir("src"), archive = m_work + "/kept.tvx";
  WriteTree(src, {{"secret.txt", "not for anyone\n"}});
  kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, false);
    TakeArchivePreset(d, task, preset);
    d.SetText(Item(d, task, kSecondPath), archive);
    Next(d, sheet);
    HWND contents = Page(d, sheet, kContents);
    d.Click(Item(d, contents, kAdd));
    c.ChooseFolder(src);
    d.WaitUntil([&] { return c.ListRowCount(Item(d, contents, kEntries)) == 1; }, "the entry");
    WaitForButton(d, sheet, ID_WIZNEXT);
    // Its plain entries are in no file anyone can open by a name while it is being made.
    EXPECT_FALSE(Exists(archive + "__KX__.zip"));
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
  EXPECT_FALSE(Exists(archive + "__KX__.zip"));
  EXPECT_FALSE(Exists(archive));
}

// The disk fills while a folder is added: the user is told, and the archive made again without the files is not
// protected as though it were the user's (it used to end in "Operation Successful" with an empty archive, and
// each retry in another numbered one).
TEST_F(ArchiveWizard, AFolderThatCouldNotBeAddedIsNotProtectedAsAnEmptyArchive) {
  const std::string preset = WritePreset("Sign", 1, {AddWithKey("signer")}, {});
  const std::string small = m_work + "/small";
  ASSERT_EQ(Sh("mkdir -p " + Quote(small)), 0);
  std::string said;
  if (Sh("mount -t tmpfs -o size=1m tmpfs " + Quote(small), &said) != 0) GTEST_SKIP() << "no tmpfs: " << said;
  struct Unmount {
    std::string path;
    ~Unmount() { kxtest::Run("umount '" + path + "'"); }
  } unmount{small};
  const std::string src = kxtest::MakeTempDir("src"), archive = small + "/full.tvx";
  WriteTree(src, {{"big.bin", Noise(3 << 20, 7)}});
  std::string told, refused;
  kx::RunWithUiHere([] { return INT_PTR(DisplayArchiveWizard(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND sheet = d.WaitForTitle("Archive Wizard");
    HWND task = ToTaskPage(d, sheet, false);
    TakeArchivePreset(d, task, preset);
    d.SetText(Item(d, task, kSecondPath), archive);
    Next(d, sheet);
    HWND contents = Page(d, sheet, kContents);
    d.Click(Item(d, contents, kAdd));
    c.ChooseFolder(src);
    told = AnswerPage(d, "OK");
    // The page is the user's again as soon as the box is answered: nothing waits for the archive made anew.
    for (int id : {IDCANCEL, ID_WIZBACK, ID_WIZNEXT}) EXPECT_TRUE(d.IsEnabled(d.Control(sheet, id))) << id;
    d.WaitForEnabled(Item(d, contents, kAdd));
    kxtest::PressNext(d, sheet);
    refused = AnswerPage(d, "OK");
    d.SavePng(sheet, Shot("archive-add-failed"));
    EXPECT_TRUE(d.IsVisible(contents)) << "the wizard stays on its contents";
    d.Click(d.Control(sheet, IDCANCEL));
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
  EXPECT_EQ(told, Text(617) + " " + Text(615));
  EXPECT_NE(refused.find("Add the files again"), std::string::npos) << refused;
  EXPECT_FALSE(Exists(archive));
  EXPECT_FALSE(Exists(small + "/full(1).tvx"));
}

}  // namespace
