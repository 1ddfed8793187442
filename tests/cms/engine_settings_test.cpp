// The certificate manager's settings record (defaults without a key, stored values over them, a save that
// writes all thirteen values) and the engine object set (seven objects made together, or none).
#include <gtest/gtest.h>

#include "core/SettingsStore.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/win32/registry.h"

namespace {

constexpr char kBase[] = "Software\\Kesmora\\OfficeTolvex";

TEST(CertificateManagerSettings, DefaultsStoredValuesAndSave) {
  CCertificateManagerSettings s;
  s.ONLINE_CRL_VERIFY = 7;  // whatever a field held before, Load starts from the defaults
  ASSERT_TRUE(s.Load());
  const DWORD numbers[] = {s.ENABLE_LDAP_SEARCH, s.SEARCH_GLOBAL_CATALOG, s.NEGOTIATE_AUTHORISE_LDAP_SERVER,
                           s.OFFLINE_CRL_VERIFY, s.ONLINE_CRL_VERIFY,     s.SIGNATURE_VERIFY,
                           s.TIME_VERIFY,        s.TRUSTED_ROOT_VERIFY,   s.ONLINE_VERIFY_OPTION,
                           s.ENABLE_ACTIVE_DIRECTORY};
  const DWORD defaults[] = {0, 1, 1, 1, 0, 1, 1, 1, 2, 1};
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(numbers[i], defaults[i]) << i;
  EXPECT_STREQ(s.CERT_VERIFY_ONLINE_OPTION, "Best Possible");
  EXPECT_STREQ(s.LAST_LDAP_URL, "");
  EXPECT_STREQ(s.CRLDP, "");

  // Save after Load on an empty registry creates every value with its default.
  s.Save();
  CSettingsStore store(HKEY_CURRENT_USER, kBase);
  std::string text;
  EXPECT_TRUE(store.ReadString("CertificateManager", "CERT_VERIFY_ONLINE_OPTION", text, ""));
  EXPECT_EQ(text, "Best Possible");
  for (const char* name : {"ENABLE_LDAP_SEARCH", "SEARCH_GLOBAL_CATALOG", "NEGOTIATE_AUTHORISE_LDAP_SERVER",
                           "OFFLINE_CRL_VERIFY", "ONLINE_CRL_VERIFY", "SIGNATURE_VERIFY", "TIME_VERIFY",
                           "TRUSTED_ROOT_VERIFY", "ONLINE_VERIFY_OPTION", "ENABLE_ACTIVE_DIRECTORY"}) {
    DWORD v = 99;
    EXPECT_TRUE(store.ReadInt("CertificateManager", name, &v, 99)) << name;
    EXPECT_NE(v, 99u) << name;
  }

  // Stored values replace the defaults.
  store.WriteString("CertificateManager", "CERT_VERIFY_ONLINE_OPTION", "Cache Only");
  store.WriteString("CertificateManager", "CRLDP", "http://127.0.0.1/inter.crl");
  store.WriteInt("CertificateManager", "ONLINE_CRL_VERIFY", 1);
  store.WriteInt("CertificateManager", "SEARCH_GLOBAL_CATALOG", 0);
  CCertificateManagerSettings again;
  ASSERT_TRUE(again.Load());
  EXPECT_STREQ(again.CERT_VERIFY_ONLINE_OPTION, "Cache Only");
  EXPECT_STREQ(again.CRLDP, "http://127.0.0.1/inter.crl");
  EXPECT_EQ(again.ONLINE_CRL_VERIFY, 1u);
  EXPECT_EQ(again.SEARCH_GLOBAL_CATALOG, 0u);
  EXPECT_EQ(again.TIME_VERIFY, 1u);
}

}  // namespace

#include <memory>

#include "engine/CapicomObjectSet.h"

namespace {

TEST(CapicomObjectSet, MakesSevenObjectsOrNoneWhenOneCannotBeMade) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  auto set = std::make_unique<CCapicomObjectSet>();
  EXPECT_FALSE(set->m_Settings.IsEmpty());
  EXPECT_FALSE(set->m_Certificate.GetInterfacePtr() == nullptr);
  EXPECT_FALSE(set->m_Store.IsEmpty());
  EXPECT_FALSE(set->m_EncryptedData.IsEmpty());
  EXPECT_FALSE(set->m_EnvelopedData.IsEmpty());
  EXPECT_FALSE(set->m_SignedData.IsEmpty());
  EXPECT_FALSE(set->m_SignedCode.IsEmpty());
  // Each member holds the only reference to its object, so deleting the set releases all seven.
  IUnknown* held[] = {set->m_Settings.GetInterfacePtr(),      set->m_Certificate.GetInterfacePtr(),
                      set->m_Store.GetInterfacePtr(),         set->m_EncryptedData.GetInterfacePtr(),
                      set->m_EnvelopedData.GetInterfacePtr(), set->m_SignedData.GetInterfacePtr(),
                      set->m_SignedCode.GetInterfacePtr()};
  for (IUnknown* p : held) {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->AddRef(), 2u);
    p->Release();
  }
  set.reset();

  // The last member's class is not registered: its creation error reaches the caller and nothing is left.
  kx::UnregisterClass(CLSID_SignedCode);
  HRESULT raised = S_OK;
  try {
    set = std::make_unique<CCapicomObjectSet>();
  } catch (const _com_error& e) {
    raised = e.Error();
  }
  kx::RegisterClassModule(CLSID_SignedCode, CAPICOM_MODULE_NAME);
  EXPECT_EQ(raised, REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(set);
  CoUninitialize();
}

}  // namespace
