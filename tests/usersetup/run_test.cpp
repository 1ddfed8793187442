// The set-up's preset helpers and its failure path, in-process and without windows.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "engine/CapicomCertificate.h"
#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"
#include "platform/com/combase.h"
#include "settings/UserProfileSetupWizard.h"
#include "settings/UsrSetupPresets.h"
#include "settings/UsrSetupRun.h"
#include "signing/ProtectWizardData.h"
#include "support/pki.h"
#include "services/local_server.h"
#include "support/testroot.h"
#include "usersetup/usertest.h"

using namespace kx::usersetup;

namespace {

class InProcess : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

bool Exists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST_F(InProcess, PresetsAreFoundByTheirKind) {
  CProtectWizardData data;
  data.PrepareForProfileSetup();
  CCapicomCertificate certificate;
  std::string der = kxtest::pki::DerBytes("signer");
  ASSERT_EQ(certificate.ImportFromBuffer(CByteBuffer(static_cast<DWORD>(der.size()), der.data(), false)), S_OK);
  data.AddSignerCertificate(certificate);
  data.AddRecipientCertificate(certificate);
  data.m_nMode = -1;
  data.m_strPresetName = "kept";

  std::string folder = kxtest::MakeTempDir("presets");
  CFileManager files;
  EXPECT_FALSE(ScanPresets(files, folder.c_str()));
  ASSERT_TRUE(WritePreset(data, kSignEncryptPreset, "m@x.org", (folder + "/Both.clk").c_str()));
  ASSERT_TRUE(WritePreset(data, kEncryptPreset, "m@x.org", (folder + "/Enc.clk").c_str()));
  // The operation data is as it was.
  EXPECT_EQ(data.m_nMode, -1);
  EXPECT_EQ(std::string(data.m_strPresetName), "kept");
  // A path that cannot be written leaves nothing.
  EXPECT_FALSE(WritePreset(data, kSignPreset, "m@x.org", (folder + "/missing/Sign.clk").c_str()));
  EXPECT_FALSE(Exists(folder + "/missing/Sign.clk"));

  ASSERT_TRUE(ScanPresets(files, folder.c_str()));
  for (BYTE kind : {kEncryptPreset, kSignEncryptPreset}) {
    CBaseKesmoraFile* found = FindPresetByKind(files, kind);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetOptions()[0], kind);
  }
  // No preset of the kind: nothing, not the last one looked at.
  EXPECT_EQ(FindPresetByKind(files, kSignPreset), nullptr);
  usertest::Preset both = usertest::ReadPreset(folder + "/Both.clk");
  EXPECT_EQ(both.name, "m@x.org(SignEncrypt)");
  EXPECT_EQ(both.signer, der);
}

TEST_F(InProcess, AFailedPresetTakesTheNewProfileAndItsFilesAway) {
  usertest::PointServiceAt(kxtest::UnusedPort());
  CUserProfileSetupWizard sheet("User Setup", nullptr, 0);
  CMailProfileSettings& profile = sheet.m_Profile;
  profile.InitDefaults(FALSE);
  profile.m_strFullName = "Cy Doe";
  profile.m_strEmailName = "cy@example.net";
  // The signing preset's place cannot be written; the encryption preset is written before it.
  profile.m_strSignOneClick = (kxtest::MakeTempDir("nowhere") + "/gone/Sign.Clk").c_str();
  RunUserSetup(&sheet.m_FinishPage, &sheet);

  // The certificate was made and stays; the profile, its folder and its preset went.
  EXPECT_FALSE(usertest::PersonalCertificate("cy@example.net").empty());
  EXPECT_EQ(usertest::Profiles()["m_List\\Count"], "dword:0");
  ASSERT_FALSE(profile.m_strDir.IsEmpty());
  EXPECT_FALSE(Exists(profile.m_strEncOneClick.GetString()));
  EXPECT_FALSE(Exists(profile.m_strDir.GetString()));
}

TEST(UserSetupNames, SubjectsQuoteTheNameAndCopiesGetPlainFileNames) {
  EXPECT_EQ(std::string(ServiceSubject("Ann \"A\", B", "a@b.c")), "E=a@b.c,CN=\"Ann \"\"A\"\", B\"");
  EXPECT_EQ(std::string(LocalSubject("x=CN", "a@b.c")), "CN=\"x=CN\",OU=Demo,O=Demo,L=Demo,S=Demo,E=a@b.c");
  EXPECT_EQ(std::string(PresetCopyPath("/f", "J.R. ../x", "j.r@ex.co.uk", "/p/XQ1A/SignAndEnc.Clk")),
            "/f/J_R_ ___x_j_r@ex_co_ukSignAndEnc.CLK");
}
