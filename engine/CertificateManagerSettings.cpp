#include "engine/CertificateManagerSettings.h"

#include "core/SettingsStore.h"

namespace {

constexpr char kSection[] = "CertificateManager";

// The ten numbers in the order they are read (after the strings) and written.
struct Number {
  const char* name;
  DWORD CCertificateManagerSettings::*field;
  DWORD def;
};
const Number kNumbers[] = {
    {"NEGOTIATE_AUTHORISE_LDAP_SERVER", &CCertificateManagerSettings::NEGOTIATE_AUTHORISE_LDAP_SERVER, 1},
    {"OFFLINE_CRL_VERIFY", &CCertificateManagerSettings::OFFLINE_CRL_VERIFY, 1},
    {"ONLINE_CRL_VERIFY", &CCertificateManagerSettings::ONLINE_CRL_VERIFY, 0},
    {"SIGNATURE_VERIFY", &CCertificateManagerSettings::SIGNATURE_VERIFY, 1},
    {"TIME_VERIFY", &CCertificateManagerSettings::TIME_VERIFY, 1},
    {"TRUSTED_ROOT_VERIFY", &CCertificateManagerSettings::TRUSTED_ROOT_VERIFY, 1},
    {"ONLINE_VERIFY_OPTION", &CCertificateManagerSettings::ONLINE_VERIFY_OPTION, 2},
    {"ENABLE_LDAP_SEARCH", &CCertificateManagerSettings::ENABLE_LDAP_SEARCH, 0},
    {"ENABLE_ACTIVE_DIRECTORY", &CCertificateManagerSettings::ENABLE_ACTIVE_DIRECTORY, 1},
    {"SEARCH_GLOBAL_CATALOG", &CCertificateManagerSettings::SEARCH_GLOBAL_CATALOG, 1},
};

CHiveSettings UserHive() {
  CHiveSettings hive;
  hive.UseCurrentUser();
  return hive;
}

}  // namespace

BOOL CCertificateManagerSettings::Load() {
  LAST_LDAP_URL = "";
  CRLDP = "";
  CERT_VERIFY_ONLINE_OPTION = "Best Possible";
  for (const Number& n : kNumbers) this->*n.field = n.def;

  CHiveSettings hive = UserHive();
  hive.GetString(kSection, "LAST_LDAP_URL", LAST_LDAP_URL, "");
  hive.GetString(kSection, "CRLDP", CRLDP, "");
  hive.GetString(kSection, "CERT_VERIFY_ONLINE_OPTION", CERT_VERIFY_ONLINE_OPTION, CERT_VERIFY_ONLINE_OPTION);
  for (const Number& n : kNumbers) hive.GetDword(kSection, n.name, &(this->*n.field), n.def);
  return TRUE;
}

void CCertificateManagerSettings::Save() {
  CHiveSettings hive = UserHive();
  hive.SetString(kSection, "LAST_LDAP_URL", LAST_LDAP_URL);
  hive.SetString(kSection, "CRLDP", CRLDP);
  hive.SetString(kSection, "CERT_VERIFY_ONLINE_OPTION", CERT_VERIFY_ONLINE_OPTION);
  for (const Number& n : kNumbers) hive.SetDword(kSection, n.name, this->*n.field);
}
