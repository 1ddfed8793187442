// The one-click preset wizard as a person uses it through its export: the Signer Wizard's pages walked in preset
// mode, and the numbered presets it saves read back by the file family.
#include <memory>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "core/SettingsStore.h"
#include "encryption/OneClickSheet.h"
#include "engine/CapicomCertificates.h"
#include "formats/FileManager.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "oneclick/oneclick_test.h"
#include "support/wizard.h"

extern "C" int DisplayOneClickWizard(HWND parent);

using namespace oneclicktest;
using kxtest::AnswerPage;
using kxtest::Page;

namespace {

std::string Text(UINT id) { return std::string(LoadResString(id)); }

class OneClickWizard : public OneClickTest {
 protected:
  static void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }
  static void Back(kx::UiDriver& d, HWND sheet) { d.Click(d.Control(sheet, ID_WIZBACK)); }
  // The welcome page: the description and the operation (radio 1022 + kind).
  static void Welcome(kx::UiDriver& d, HWND sheet, const std::string& description, int kind) {
    HWND welcome = Page(d, sheet, 4229);
    d.Click(d.Control(welcome, 1022 + kind));
    d.SetText(d.Control(welcome, 1060), description);
    Next(d, sheet);
  }
  // The preset finish page: no certificate, then save; the saved message, then the generic finish page.
  static void Save(kx::UiDriver& d, HWND sheet, const char* shot = nullptr) {
    HWND save = Page(d, sheet, 4232);
    // A certificate is to be picked first, or none chosen.
    EXPECT_FALSE(d.IsEnabled(d.Control(sheet, ID_WIZFINISH)));
    d.Click(d.Control(save, 1015));
    d.WaitForEnabled(d.Control(sheet, ID_WIZNEXT));
    if (shot) d.SavePng(sheet, frametest::Shot(shot));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(550) + " " + Text(551));
    Page(d, sheet, 4250);
    d.Click(d.Control(sheet, ID_WIZFINISH));
    d.WaitForGone(sheet);
  }
  static std::unique_ptr<COneClickFile> ReadPreset(const std::string& path) {
    CFileManager files;
    std::unique_ptr<CBaseKesmoraFile> object(files.OpenFile(path.c_str()));
    auto* preset = dynamic_cast<COneClickFile*>(object.get());
    if (preset) object.release();
    return std::unique_ptr<COneClickFile>(preset);
  }
  static DWORD Counter() {
    CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
    DWORD value = 0;
    s.ReadInt("OneClickManager", "OneClickID", &value, 0);
    return value;
  }
};

TEST_F(OneClickWizard, SavesNumberedPresetsOfTheOperationsSetUp) {
  WithKey("signer");
  AddCert("AddressBook", "encrypt");
  // A file under the counter's next number stays: the number is passed over.
  kxtest::WriteFile(m_presets + "/KX_ONECLICK_1.clk", "someone's preset");
  // An encrypting preset: the file page is passed over, the cipher and recipients pages lead to the save.
  INT_PTR result = kx::RunWithUiHere([] { return INT_PTR(DisplayOneClickWizard(nullptr)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(293));
    HWND welcome = Page(d, sheet, 4229);
    d.SavePng(sheet, frametest::Shot("oneclick-welcome"));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(549));
    d.SetText(d.Control(welcome, 1060), "Reports for Bob");
    Next(d, sheet);
    HWND cipher = Page(d, sheet, 4208);
    kx::ControlDriver(d).ComboPick(d.Control(cipher, 1038), "Triple DES (3-Key)");
    // Back passes over the file page to the welcome page, and on again.
    Back(d, sheet);
    Page(d, sheet, 4229);
    Next(d, sheet);
    Page(d, sheet, 4208);
    Next(d, sheet);
    HWND recipients = Page(d, sheet, 4209);
    certsel::PickRecipients(d, recipients, {"Bob Encryption"});
    d.SetCheck(d.Control(recipients, 1097), false);
    Next(d, sheet);
    Save(d, sheet, "oneclick-save");
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Counter(), 2u);

  // A signing preset: the signer, the signing time and the picture pages lead to the save.
  result = kx::RunWithUiHere([] { return INT_PTR(DisplayOneClickWizard(nullptr)); }, [&](kx::UiDriver& d) {
    HWND sheet = d.WaitForTitle(Text(293));
    Welcome(d, sheet, "Signed by Alice", 1);
    HWND signers = Page(d, sheet, 4225);
    d.Click(d.Control(signers, 1043));
    HWND chooser = d.WaitForTitle(Text(298));
    kx::ControlDriver c(d);
    HWND personal = d.Control(d.WaitForDialog(102), 1033);
    c.ListDoubleClickRow(personal, c.WaitForListRow(personal, "Alice Signer"));
    d.WaitForGone(chooser);
    Next(d, sheet);
    Page(d, sheet, 4224);
    Next(d, sheet);
    Page(d, sheet, 4226);
    Next(d, sheet);
    Page(d, sheet, 4232);
    // Back returns to the page that led here.
    Back(d, sheet);
    Page(d, sheet, 4226);
    Next(d, sheet);
    Save(d, sheet);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Counter(), 3u);
  EXPECT_EQ(kxtest::ReadFile(m_presets + "/KX_ONECLICK_1.clk"), "someone's preset");

  std::unique_ptr<COneClickFile> encrypt = ReadPreset(m_presets + "/KX_ONECLICK_2.clk");
  ASSERT_TRUE(encrypt);
  EXPECT_EQ(encrypt->GetOptions()[0], 0);
  EXPECT_EQ(encrypt->m_info.m_strText3.str(), "Reports for Bob");
  EXPECT_EQ(encrypt->m_info.m_encryption.m_bPresent, 1);
  EXPECT_EQ(encrypt->m_info.m_signing.m_bPresent, 0);
  EXPECT_EQ(encrypt->m_info.m_body.m_nested.m_bCipherIndex, CAPICOM_ENCRYPTION_ALGORITHM_3DES);
  EXPECT_EQ(encrypt->m_info.m_body.m_nested.m_bKeyLengthIndex, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS);
  ASSERT_EQ(encrypt->m_info.m_encryption.m_list.GetCount(), 1u);
  CCertificateList recipients;
  ASSERT_TRUE(encrypt->m_oneClickRecord.GetRecipientCertificates(recipients));
  ASSERT_EQ(recipients.GetCount(), 1);
  EXPECT_TRUE(recipients.GetAt(0).IsEqual(Cert("encrypt")));

  std::unique_ptr<COneClickFile> sign = ReadPreset(m_presets + "/KX_ONECLICK_3.clk");
  ASSERT_TRUE(sign);
  EXPECT_EQ(sign->GetOptions()[0], 1);
  EXPECT_EQ(sign->m_info.m_signing.m_bPresent, 1);
  EXPECT_EQ(sign->m_info.m_encryption.m_bPresent, 0);
  EXPECT_EQ(sign->m_info.m_body.GetEntryCount(), 1u);
  CCertificateList signers;
  ASSERT_TRUE(sign->m_oneClickRecord.GetSignerCertificates(signers));
  ASSERT_EQ(signers.GetCount(), 1);
  EXPECT_TRUE(signers.GetAt(0).IsEqual(Cert("signer")));
  ASSERT_TRUE(sign->m_oneClickRecord.GetRecipientCertificates(recipients));
  EXPECT_EQ(recipients.GetCount(), 0);
}


// The preset finish page on its own (the wizard opened on it with an encrypting set-up): the options dialog's
// count range, a preset folder that is not set or cannot be made (message 317, nothing saved, the page stays),
// a missing folder made, and Finish offered at once when the generic finish page is switched off.
TEST_F(OneClickWizard, TheFinishPageSavesOnlyWhereItCan) {
  SetSetting("Config", "ShowFinishPage", 0);
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", ""));
  const std::string made = m_dir + "/made";
  CFormsObjectProvider provider;
  CBaseSheet* created = nullptr;
  provider.CreateSheetByName("COneClickSheet", nullptr, &created);
  std::unique_ptr<COneClickSheet> sheet(dynamic_cast<COneClickSheet*>(created));
  ASSERT_TRUE(sheet);
  sheet->m_bHosted = 0;
  sheet->m_psh.nStartPage = COneClickSheet::kPresetFinishPage;
  sheet->SetTitle("Preset");
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_nMode = 0;
  data.m_strPresetName = "Made late";
  data.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  data.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
  data.AddRecipientCertificate(Cert("encrypt"));
  kx::RunWithUiHere([&] { return sheet->DoModal(); }, [&](kx::UiDriver& d) {
    HWND window = d.WaitForTitle("Preset");
    HWND page = Page(d, window, 4232);
    // The options dialog keeps a count of 1 to 1000.
    d.Click(d.Control(page, 1064));
    HWND options = d.WaitForDialog(1011);
    EXPECT_FALSE(d.IsEnabled(d.Control(options, 1070)));
    d.Click(d.Control(options, 1065));
    d.WaitForEnabled(d.Control(options, 1070));
    for (const char* refused : {"0", "1001"}) {
      d.SetText(d.Control(options, 1070), refused);
      d.Click(d.Control(options, IDOK));
      EXPECT_EQ(AnswerPage(d, "OK"), "Please enter an integer between 1 and 1000.") << refused;
      EXPECT_TRUE(IsWindow(options)) << refused;
    }
    d.SetText(d.Control(options, 1070), "1000");
    d.Click(d.Control(options, IDOK));
    d.WaitForGone(options);

    // No certificate: Finish at once, the generic finish page being off.
    d.Click(d.Control(page, 1015));
    HWND finish = d.Control(window, ID_WIZFINISH);
    d.WaitForEnabled(finish);
    // No folder set, then one whose parent is missing: nothing saved, the page stays.
    d.Click(finish);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(317));
    ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", (m_dir + "/no/such").c_str()));
    d.Click(finish);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(317));
    EXPECT_EQ(Counter(), 0u);
    // A missing folder is made, and the preset saved in it.
    ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", made.c_str()));
    d.Click(finish);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(550) + " " + Text(551));
    d.WaitForGone(window);
  });
  EXPECT_EQ(Counter(), 1u);
  std::unique_ptr<COneClickFile> preset = ReadPreset(made + "/KX_ONECLICK_1.clk");
  ASSERT_TRUE(preset);
  EXPECT_EQ(preset->m_info.m_strText3.str(), "Made late");
  EXPECT_EQ(preset->m_info.m_body.m_nested.m_bCipherIndex, CAPICOM_ENCRYPTION_ALGORITHM_AES);
}

}  // namespace
