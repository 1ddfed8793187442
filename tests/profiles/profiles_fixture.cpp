#include "profiles/profiles_fixture.h"

#include <memory>

#include "app/ResString.h"
#include "app/regdump.h"
#include "core/SecurityPolicy.h"
#include "core/SettingsStore.h"
#include "encryption/OneClickPresets.h"
#include "formats/FileManager.h"
#include "platform/win32/registry.h"
#include "signing/ProtectWizardData.h"

namespace profiletest {

void ProfileTest::SetUp() {
  SigningTest::SetUp();
  m_documents = kxtest::MakeTempDir("documents");
  m_profilesFolder = m_documents + "/My MailTolvex Profiles";
  CHiveSettings explorer("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  explorer.UseCurrentUser();
  ASSERT_TRUE(explorer.SetString("Shell Folders", "Personal", m_documents.c_str()));
}

CMailProfileSettings ProfileTest::StoreProfile(const std::string& desc, const std::string& email, bool withPresets) {
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  CMailProfileSettings profile;
  profile.InitDefaults(FALSE);
  profile.m_strDesc = desc.c_str();
  profile.m_strEmailName = email.c_str();
  profile.m_strFullName = ("Full " + desc).c_str();
  list.AddProfile(profile);
  EXPECT_TRUE(list.SaveList());
  CMailProfileSettings saved = list.GetAt(list.GetCount() - 1);
  if (!withPresets) return saved;
  const CString* paths[] = {&saved.m_strEncOneClick, &saved.m_strSignOneClick, &saved.m_strSignEncOneClick};
  for (int kind = 0; kind < 3; ++kind) {
    CProtectWizardData data;
    data.m_nMode = kind;
    data.m_strPresetName = desc.c_str();
    data.m_nCipher = 3;
    data.m_nKeyLength = 4;
    data.AddSignerCertificate(Cert("signer"));
    data.AddRecipientCertificate(Cert("signer"));
    CFileManager files;
    std::unique_ptr<CBaseKesmoraFile> object(files.CreateFileObject("KCLK"));
    auto* preset = dynamic_cast<COneClickFile*>(object.get());
    EXPECT_TRUE(preset && kx::oneclick::FillPreset(*preset, data) && preset->Save(*paths[kind])) << *paths[kind];
  }
  return saved;
}

CMailProfileList ProfileTest::Stored() {
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  return list;
}

std::map<std::string, std::string> ProfileTest::ProfileValues() {
  return kxtest::DumpRegistry(HKEY_CURRENT_USER, kMailProfilesKey);
}

void ProfileTest::SetPolicy(int switchIndex, bool on) {
  CSecurityPolicy policy;
  for (int i = 0; i < CSecurityPolicy::kCount; ++i) policy.Switch(i) = i == switchIndex && !on ? 0 : 1;
  ASSERT_TRUE(policy.CreateKey());
}

std::string ProfileTest::Text(UINT id) { return std::string(LoadResString(id)); }

}  // namespace profiletest
