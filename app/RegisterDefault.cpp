#include "app/RegisterDefault.h"

#include "app/BrastelSettings.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SecurityPolicy.h"
#include "core/SettingsStore.h"
#include "core/SystemProfile.h"
#include "engine/CertificateManagerSettings.h"
#include "app/TransportSettings.h"
#include "formats/AuditLog.h"
#include "platform/win32/registry.h"
#include "app/DiskTolvexSettings.h"
#include "app/MailTolvexSettings.h"

namespace {

// Load then save; whether the save wrote every value.
template <class Record>
bool Rewrite(Record&& record) {
  record.Load();
  return record.Save() == ERROR_SUCCESS;
}

}  // namespace

void RegisterDefault() {
  CSettingsStore store(HKEY_CURRENT_USER, "Software\\Kesmora");
  DWORD marker = 0;
  if (!store.ReadInt("OfficeTolvex", "RegisterDefault", &marker, 0)) marker = 1;
  if (marker != 1) return;

  bool written = true;
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  config.LoadGeneralOptions();
  config.LoadOfficeOptions();
  written &= config.SaveOperationOptions() != FALSE;
  written &= config.SaveGeneralOptions() != FALSE;
  written &= config.SaveOfficeOptions() != FALSE;

  written &= Rewrite(CDiskTolvexSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\DiskTolvex\\1.0\\General"));
  written &= Rewrite(CShredderSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\Shredder\\1.0"));
  written &= Rewrite(CCompressionSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\Compression"));
  written &= Rewrite(CMailGeneralSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\General"));
  written &= Rewrite(CESignSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\ESign"));
  CAuditLog audit;
  audit.Load();
  written &= audit.Save();
  CSystemProfile profile;
  profile.Load();
  written &= profile.Save() != FALSE;
  CCertificateManagerSettings certificates;
  certificates.Load();
  certificates.Save();
  written &= Rewrite(CTransportSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport"));
  written &= Rewrite(CBrastelSettings(HKEY_CURRENT_USER, "Software\\Kesmora\\DiskTolvex\\1.0\\Options"));

  // The machine-wide policy key is made by whoever may. A policy already there is read first, so that an
  // administrator's first start keeps it instead of writing the defaults over it. It does not hold back the
  // marker, so a user without rights on the machine hive is not tried again at every start.
  CSecurityPolicy policy;
  policy.Load();
  if (policy.CreateKey()) policy.Save();

  // A user record that could not be written is tried again at the next start.
  if (written) store.WriteInt("OfficeTolvex", "RegisterDefault", 0);
}
