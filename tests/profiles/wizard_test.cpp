// The mail profile wizard as a person uses it through its export: a new profile walked from its name to the
// finish page and the three presets read back by the file family; an edited default profile; profiles the
// wizard refuses; and a save whose presets cannot be written.
#include <sys/stat.h>

#include <memory>

#include "app/pages.h"
#include "engine/CapicomCertificates.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/controldriver.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "profiles/profiles_fixture.h"
#include "support/wizard.h"

extern "C" int DisplayProfileWizard(int, int index);

using namespace profiletest;
using kxtest::AnswerPage;
using kxtest::Page;

namespace {

const char kInvalid[] = "This Profile is invalid and cannot be edited.";
constexpr int kFinishWaitMs = 30000;

class ProfileWizard : public ProfileTest {
 protected:
  void SetUp() override {
    ProfileTest::SetUp();
    // Alice's signing certificate carries alice@example.com and its key is in her "My" store.
    WithKey("signer");
  }

  static void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }
  // Types the text over the edit's own; an empty text deletes it.
  static void Enter(kx::UiDriver& d, HWND edit, const std::string& text) {
    d.SetText(edit, text);
    if (text.empty()) d.PressKey(VK_DELETE);
  }

  static INT_PTR Run(int index, const std::function<void(kx::UiDriver&)>& script) {
    return kx::RunWithUiHere([&] { return INT_PTR(DisplayProfileWizard(0, index)); }, script);
  }

  // The checklist's rows that carry the done mark.
  static std::vector<bool> Marks(kx::UiDriver& d, HWND list) {
    std::vector<bool> marks;
    d.Invoke(list, [&] {
      int rows = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
      for (int r = 0; r < rows; ++r)
        marks.push_back((SendMessage(list, LVM_GETITEMSTATE, static_cast<WPARAM>(r), LVIS_STATEIMAGEMASK) >> 12) == 2);
    });
    return marks;
  }

  // From the footer page on: the signer page (Alice found by the profile's address), the signing pages, the
  // cipher page (3-key triple DES) and the finish page, until Finish is offered; the checklist's marks then.
  std::vector<bool> SignersToFinish(kx::UiDriver& d, HWND sheet, bool pressFinish = true) {
    HWND signers = Page(d, sheet, 4225);
    kx::ControlDriver c(d);
    HWND list = d.Control(signers, 1033);
    d.WaitUntil([&] { return c.ListRowCount(list) == 1; }, "the profile's certificate");
    EXPECT_EQ(c.ListText(list, 0), "Alice Signer");
    Next(d, sheet);
    Page(d, sheet, 4224);
    Next(d, sheet);
    Page(d, sheet, 4226);
    Next(d, sheet);
    HWND cipher = Page(d, sheet, 4208);
    c.ComboPick(d.Control(cipher, 1038), "Triple DES (3-Key)");
    Next(d, sheet);
    HWND finish = Page(d, sheet, 30045);
    d.SavePng(sheet, frametest::Shot("profile-saving"));
    d.WaitForEnabled(d.Control(sheet, ID_WIZFINISH), true, kFinishWaitMs);
    std::vector<bool> marks = Marks(d, d.Control(finish, 1033));
    if (pressFinish) {
      d.Click(d.Control(sheet, ID_WIZFINISH));
      d.WaitForGone(sheet);
    }
    return marks;
  }

  static std::unique_ptr<COneClickFile> ReadPreset(const CString& path) {
    CFileManager files;
    std::unique_ptr<CBaseKesmoraFile> object(files.OpenFile(path));
    auto* preset = dynamic_cast<COneClickFile*>(object.get());
    if (preset) object.release();
    return std::unique_ptr<COneClickFile>(preset);
  }

  // A new profile from its name to its footer; the sheet.
  HWND NewProfileToFooter(kx::UiDriver& d, const std::string& name) {
    HWND sheet = d.WaitForTitle(Text(300));
    HWND main = Page(d, sheet, 30042);
    d.SetText(d.Control(main, 1060), name);
    Next(d, sheet);
    HWND user = Page(d, sheet, 30043);
    d.SetText(d.Control(user, 1241), "alice@example.com");
    d.SetText(d.Control(user, 1024), "Alice Example");
    Next(d, sheet);
    Page(d, sheet, 30044);
    Next(d, sheet);
    Page(d, sheet, 30047);
    Next(d, sheet);
    return sheet;
  }
};

TEST_F(ProfileWizard, ANewProfileIsCheckedPageByPageAndSavedWithItsThreePresets) {
  // Someone else's profile already uses the address (in other letters).
  StoreProfile("Old", "Alice@Example.com", false);
  INT_PTR result = Run(-1, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(300));
    HWND main = Page(d, sheet, 30042);
    d.SavePng(sheet, frametest::Shot("profile-main"));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(646));
    d.SetText(d.Control(main, 1060), "Office");
    Next(d, sheet);

    HWND user = Page(d, sheet, 30043);
    EXPECT_TRUE(d.IsChecked(d.Control(user, 1243)));
    EXPECT_FALSE(d.IsChecked(d.Control(user, 1238)));
    struct Case {
      const char* email;
      const char* name;
      UINT message;
    } refused[] = {{"", "Alice Example", 608},
                   {"alice@example.com", "", 609},
                   {"a@b.", "Alice Example", 610},
                   {"alice@example", "Alice Example", 610},
                   {"alice.example.com", "Alice Example", 610}};
    for (const Case& c : refused) {
      Enter(d, d.Control(user, 1241), c.email);
      Enter(d, d.Control(user, 1024), c.name);
      Next(d, sheet);
      EXPECT_EQ(AnswerPage(d, "OK"), Text(c.message)) << c.email;
    }
    // Five characters with both marks pass; Back returns to the address.
    d.SetText(d.Control(user, 1241), "a@b.c");
    Next(d, sheet);
    Page(d, sheet, 30044);
    d.Click(d.Control(sheet, ID_WIZBACK));
    Page(d, sheet, 30043);
    // The address of another profile: No stays, Yes goes on.
    d.SetText(d.Control(user, 1241), "alice@example.com");
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "No"), Text(611) + " " + Text(553));
    EXPECT_TRUE(d.IsVisible(user));
    Next(d, sheet);
    AnswerPage(d, "Yes");

    HWND options = Page(d, sheet, 30044);
    const std::pair<int, bool> defaults[] = {{1068, false}, {1244, false}, {1243, true},
                                             {1067, true},  {1069, true},  {1070, true}};
    for (auto [id, on] : defaults) EXPECT_EQ(d.IsChecked(d.Control(options, id)), on) << id;
    d.SetCheck(d.Control(options, 1068), true);
    d.SetCheck(d.Control(options, 1069), false);
    Next(d, sheet);

    HWND footer = Page(d, sheet, 30047);
    EXPECT_EQ(d.Text(d.Control(footer, 1248)), Text(647));
    EXPECT_FALSE(d.IsChecked(d.Control(footer, 1024)));
    d.SetCheck(d.Control(footer, 1024), true);
    d.SetText(d.Control(footer, 1248), "Sent from the office");
    Next(d, sheet);
    EXPECT_EQ(SignersToFinish(d, sheet), std::vector<bool>(5, true));
  });
  EXPECT_EQ(result, 1);

  CMailProfileList list = Stored();
  ASSERT_EQ(list.GetCount(), 2);
  const CMailProfileSettings& p = list.GetAt(1);
  EXPECT_EQ(std::string(p.m_strDesc), "Office");
  EXPECT_EQ(std::string(p.m_strEmailName), "alice@example.com");
  EXPECT_EQ(std::string(p.m_strFullName), "Alice Example");
  EXPECT_EQ(std::string(p.m_strFooter), "Sent from the office");
  EXPECT_EQ(p.m_bAttachment, 1);
  EXPECT_EQ(p.m_bBlockForward, 1);
  EXPECT_EQ(p.m_bShredTempFiles, 0);
  EXPECT_EQ(p.m_bVerifyAll, 1);
  EXPECT_EQ(list.m_Default, 0u);
  EXPECT_TRUE(IsProfileComplete(p));

  const CString* paths[] = {&p.m_strEncOneClick, &p.m_strSignOneClick, &p.m_strSignEncOneClick};
  for (int kind = 0; kind < 3; ++kind) {
    std::unique_ptr<COneClickFile> preset = ReadPreset(*paths[kind]);
    ASSERT_TRUE(preset) << kind;
    const BYTE expected[8] = {static_cast<BYTE>(kind), 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(preset->GetOptions()), 8),
              std::string(reinterpret_cast<const char*>(expected), 8))
        << kind;
    EXPECT_EQ(preset->m_info.m_strText3.str(), "Office");
    EXPECT_EQ(preset->m_info.m_encryption.m_bPresent, kind != 1) << kind;
    EXPECT_EQ(preset->m_info.m_signing.m_bPresent, kind != 0) << kind;
    if (kind != 1) {
      EXPECT_EQ(preset->m_info.m_body.m_nested.m_bCipherIndex, CAPICOM_ENCRYPTION_ALGORITHM_3DES);
      EXPECT_EQ(preset->m_info.m_body.m_nested.m_bKeyLengthIndex, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS);
    }
    // The profile's own certificate signs, and is the recipient too.
    CCertificateList recipients, signers;
    ASSERT_TRUE(preset->m_oneClickRecord.GetRecipientCertificates(recipients));
    ASSERT_TRUE(preset->m_oneClickRecord.GetSignerCertificates(signers));
    ASSERT_EQ(recipients.GetCount(), 1) << kind;
    ASSERT_EQ(signers.GetCount(), 1) << kind;
    EXPECT_TRUE(recipients.GetAt(0).IsEqual(Cert("signer")));
    EXPECT_TRUE(signers.GetAt(0).IsEqual(Cert("signer")));
  }
}

TEST_F(ProfileWizard, EditingTheDefaultProfileKeepsItTheDefaultWhereItNowStands) {
  StoreProfile("First", "first@example.com");
  CMailProfileSettings mine = StoreProfile("Mine", "alice@example.com");
  StoreProfile("Last", "last@example.com");
  CMailProfileList list = Stored();
  list.m_Default = 1;
  list.GetAt(1).m_strFooter = "My footer";
  list.GetAt(1).m_bAttachment = 1;
  ASSERT_TRUE(list.SaveList());

  INT_PTR result = Run(1, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(300));
    HWND main = Page(d, sheet, 30042);
    EXPECT_EQ(d.Text(d.Control(main, 1060)), "Mine");
    d.SetText(d.Control(main, 1060), "Mine, renamed");
    Next(d, sheet);
    HWND user = Page(d, sheet, 30043);
    EXPECT_EQ(d.Text(d.Control(user, 1241)), "alice@example.com");
    // Its own address asks nothing.
    Next(d, sheet);
    Page(d, sheet, 30044);
    Next(d, sheet);
    HWND footer = Page(d, sheet, 30047);
    EXPECT_EQ(d.Text(d.Control(footer, 1248)), "My footer");
    EXPECT_TRUE(d.IsChecked(d.Control(footer, 1024)));
    Next(d, sheet);
    SignersToFinish(d, sheet);
  });
  EXPECT_EQ(result, 1);
  list = Stored();
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(std::string(list.GetAt(0).m_strDesc), "First");
  EXPECT_EQ(std::string(list.GetAt(1).m_strDesc), "Last");
  EXPECT_EQ(std::string(list.GetAt(2).m_strDesc), "Mine, renamed");
  EXPECT_EQ(list.GetAt(2).m_strDir, mine.m_strDir) << "the profile keeps its folder";
  EXPECT_EQ(list.m_Default, 2u);
}

TEST_F(ProfileWizard, AProfileThatCannotBeEditedIsRefusedBeforeTheWizardOpens) {
  CMailProfileSettings gone = StoreProfile("Gone", "alice@example.com");
  DeleteFile(gone.m_strSignOneClick);
  // The sign-and-encrypt preset's place holds a signing preset.
  CMailProfileSettings swapped = StoreProfile("Swapped", "alice@example.com");
  ASSERT_TRUE(CopyFile(swapped.m_strSignOneClick, swapped.m_strSignEncOneClick, FALSE));
  DeleteFile(swapped.m_strSignOneClick);
  ASSERT_TRUE(CopyFile(swapped.m_strEncOneClick, swapped.m_strSignOneClick, FALSE));
  for (int index : {0, 1}) {
    INT_PTR result = Run(index, [&](kx::UiDriver& d) { EXPECT_EQ(AnswerPage(d, "OK"), kInvalid) << index; });
    EXPECT_EQ(result, 0) << index;
  }
  EXPECT_EQ(Stored().GetCount(), 2);
}

TEST_F(ProfileWizard, PresetsThatCannotBeWrittenLeaveTheListAsItWas) {
  // A new profile whose folder cannot be made: the encryption preset fails and the profile is not kept.
  kxtest::WriteFile(m_profilesFolder, "not a folder");
  INT_PTR result = Run(-1, [&](kx::UiDriver& d) {
    HWND sheet = NewProfileToFooter(d, "Nowhere");
    EXPECT_EQ(SignersToFinish(d, sheet), (std::vector<bool>{true, true, false, false, false}));
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Stored().GetCount(), 0);
  DeleteFile(m_profilesFolder.c_str());

  // An edited profile whose encryption preset cannot be replaced comes back as it was, still the default.
  StoreProfile("First", "first@example.com");
  CMailProfileSettings mine = StoreProfile("Mine", "alice@example.com");
  StoreProfile("Last", "last@example.com");
  CMailProfileList list = Stored();
  list.m_Default = 1;
  ASSERT_TRUE(list.SaveList());
  result = Run(1, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(300));
    Page(d, sheet, 30042);
    // The preset's place is taken by a folder while the wizard runs.
    DeleteFile(mine.m_strEncOneClick);
    ASSERT_TRUE(CreateDirectory(mine.m_strEncOneClick, nullptr));
    Next(d, sheet);
    Page(d, sheet, 30043);
    Next(d, sheet);
    Page(d, sheet, 30044);
    Next(d, sheet);
    Page(d, sheet, 30047);
    Next(d, sheet);
    EXPECT_EQ(SignersToFinish(d, sheet), (std::vector<bool>{true, true, false, false, false}));
  });
  EXPECT_EQ(result, 1);
  list = Stored();
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(std::string(list.GetAt(1).m_strDesc), "Mine");
  EXPECT_EQ(list.GetAt(1).m_strSignEncOneClick, mine.m_strSignEncOneClick);
  EXPECT_EQ(list.m_Default, 1u);
}

}  // namespace
