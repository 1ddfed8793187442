// The certificate manager's settings in HKEY_CURRENT_USER "Software\Kesmora\OfficeTolvex\CertificateManager":
// directory search switches, the CRL distribution point, and the verification switches of the policy.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CCertificateManagerSettings {
 public:
  CCertificateManagerSettings() = default;
  virtual ~CCertificateManagerSettings() = default;

  // Every field to its default, then the stored values over them (a missing value or key keeps the default).
  BOOL Load();
  // Every value is written, whatever the earlier writes gave; failures are silent.
  void Save();

  DWORD ENABLE_LDAP_SEARCH = 0;
  DWORD SEARCH_GLOBAL_CATALOG = 1;
  DWORD NEGOTIATE_AUTHORISE_LDAP_SERVER = 1;
  CString LAST_LDAP_URL;
  DWORD OFFLINE_CRL_VERIFY = 1;
  DWORD ONLINE_CRL_VERIFY = 0;
  DWORD SIGNATURE_VERIFY = 1;
  DWORD TIME_VERIFY = 1;
  DWORD TRUSTED_ROOT_VERIFY = 1;
  CString CRLDP;
  DWORD ONLINE_VERIFY_OPTION = 2;
  CString CERT_VERIFY_ONLINE_OPTION;
  DWORD ENABLE_ACTIVE_DIRECTORY = 1;
};
