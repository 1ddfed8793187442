// The records the certificate choice reads (smart-card options, enrolment settings), the certificate manager
// launcher, and the certificate array's stored form.
#include <atomic>

#include "certificates/CertificateArray.h"
#include "certificates/CryptUILibrary.h"
#include "certificates/SmartcardSettings.h"
#include "certificates/VorlindEnrolSettings.h"
#include "certsel/certsel_fixture.h"
#include "platform/mfc/cfile.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"

namespace certsel {
namespace {

using kxtest::BufferOf;
using kxtest::Cert;
using kxtest::StringOf;

HKEY CreateKey(HKEY root, const char* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  return key;
}

void SetDword(HKEY key, const char* name, DWORD v) {
  RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
}

using ChoiceRecords = CertSelTest;

TEST_F(ChoiceRecords, SmartCardSettingsDefaultsPartialKeyAndRoundTrip) {
  CSmartcardSettings none(HKEY_CURRENT_USER, "%s", CSmartcardSettings::kKeyPath);
  EXPECT_NE(none.Load(), ERROR_SUCCESS);
  EXPECT_STREQ(none.SmartCardStore, "eToken");
  EXPECT_EQ(none.m_bEnableSmartcard, 1u);
  EXPECT_EQ(none.m_bValidateCert, 0u);
  EXPECT_EQ(none.m_PassphraseQuality, 1u);
  EXPECT_EQ(none.m_SelectedSmartcardCert.GetLength(), 0u);

  // The four simple values without the certificate: they load, the certificate's absence is reported.
  HKEY key = CreateKey(HKEY_CURRENT_USER, CSmartcardSettings::kKeyPath);
  RegSetValueEx(key, "SmartCardStore", 0, REG_SZ, reinterpret_cast<const BYTE*>("Reader"), 7);
  SetDword(key, "m_bEnableSmartcard", 0);
  SetDword(key, "m_bValidateCert", 1);
  SetDword(key, "m_PassphraseQuality", 3);
  RegCloseKey(key);
  CSmartcardSettings partial(HKEY_CURRENT_USER, "%s", CSmartcardSettings::kKeyPath);
  EXPECT_EQ(partial.Load(), ERROR_FILE_NOT_FOUND);
  EXPECT_STREQ(partial.SmartCardStore, "Reader");
  EXPECT_EQ(partial.m_bEnableSmartcard, 0u);
  EXPECT_EQ(partial.m_bValidateCert, 1u);
  EXPECT_EQ(partial.m_PassphraseQuality, 3u);
  EXPECT_EQ(partial.m_SelectedSmartcardCert.GetLength(), 0u);

  // Every value type written and read back, the certificate bytes as they are (zeros included).
  std::string der = kxtest::pki::DerBytes("signer") + std::string(3, '\0');
  partial.m_SelectedSmartcardCert = BufferOf(der);
  partial.m_PassphraseQuality = 2;
  ASSERT_EQ(partial.Save(), ERROR_SUCCESS);
  CSmartcardSettings back(HKEY_CURRENT_USER, "%s", CSmartcardSettings::kKeyPath);
  EXPECT_EQ(back.Load(), ERROR_SUCCESS);
  EXPECT_STREQ(back.SmartCardStore, "Reader");
  EXPECT_EQ(back.m_PassphraseQuality, 2u);
  EXPECT_EQ(StringOf(back.m_SelectedSmartcardCert), der);
}

TEST_F(ChoiceRecords, EnrolmentSettingsDefaultsAndWrittenBack) {
  CVorlindEnrolSettings settings(HKEY_LOCAL_MACHINE, "%s", CVorlindEnrolSettings::kKeyPath);
  settings.Load();
  EXPECT_STREQ(settings.m_Version, "2.0");
  EXPECT_STREQ(settings.m_CAServer, "CA eTrust PKI");
  EXPECT_EQ(settings.m_bETRUST, 1u);
  // Load and save at once, as the creation wizard does: the defaults land in the hive.
  ASSERT_EQ(settings.Save(), ERROR_SUCCESS);
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, CVorlindEnrolSettings::kKeyPath);
  SetDword(key, "m_bETRUST", 0);
  RegCloseKey(key);
  CVorlindEnrolSettings changed(HKEY_LOCAL_MACHINE, "%s", CVorlindEnrolSettings::kKeyPath);
  EXPECT_EQ(changed.Load(), ERROR_SUCCESS);
  EXPECT_EQ(changed.m_bETRUST, 0u);
  EXPECT_STREQ(changed.m_CAServer, "CA eTrust PKI");
}

std::atomic<int> g_started{0};
BOOL StartCertMgrForTest(void* parameters) {
  EXPECT_EQ(parameters, nullptr);
  ++g_started;
  return TRUE;
}

TEST_F(ChoiceRecords, CertificateManagerLauncherLoadsOnceAndStartsOnlyWhatExists) {
  // Without the platform's library nothing starts.
  kx::SetBuiltinModuleMissing("cryptui", true);
  {
    CCryptUILibrary library;
    EXPECT_FALSE(library.Load());
    EXPECT_FALSE(library.StartCertMgr());
  }
  kx::SetBuiltinModuleMissing("cryptui", false);

  const kx::BuiltinExport noEntry[] = {{"SomethingElse", 0, reinterpret_cast<void*>(&StartCertMgrForTest)}};
  kx::RegisterBuiltinModule("cryptui", noEntry, 1);
  {
    CCryptUILibrary library;
    EXPECT_TRUE(library.Load());
    EXPECT_FALSE(library.StartCertMgr());
  }
  const kx::BuiltinExport entry[] = {{"CryptUIStartCertMgr", 0, reinterpret_cast<void*>(&StartCertMgrForTest)}};
  kx::RegisterBuiltinModule("cryptui", entry, 1);
  {
    CCryptUILibrary library;
    ASSERT_TRUE(library.Load());
    HMODULE first = GetModuleHandle("cryptui");
    EXPECT_TRUE(library.Load());
    EXPECT_EQ(GetModuleHandle("cryptui"), first);
    EXPECT_TRUE(library.StartCertMgr());
    EXPECT_EQ(g_started.load(), 1);
  }
  kx::SetBuiltinModuleMissing("cryptui", true);
}

TEST_F(ChoiceRecords, CertificateArrayStoresEncodedCertificates) {
  CCertificateArray array;
  array.Add(Cert("signer"));
  array.Add(CCapicomCertificate(kx::engine::kEmpty));
  array.Add(Cert("encrypt"));
  EXPECT_EQ(array.Find(Cert("encrypt")), 2);
  EXPECT_EQ(array.Find(Cert("root")), -1);

  CMemFile file;
  {
    CArchive out(&file, CArchive::store);
    array.Serialize(out);
  }
  file.SeekToBegin();
  CCertificateArray back;
  {
    CArchive in(&file, CArchive::load);
    back.Serialize(in);
  }
  ASSERT_EQ(back.GetSize(), 3);
  EXPECT_TRUE(back[0].IsEqual(Cert("signer")));
  EXPECT_TRUE(back[1].IsEmpty());
  EXPECT_TRUE(back[2].IsEqual(Cert("encrypt")));

  // A copy shares the engine certificates.
  CCertificateArray copy(array);
  EXPECT_EQ(copy[0].GetInterfacePtr(), array[0].GetInterfacePtr());
}

}  // namespace
}  // namespace certsel
