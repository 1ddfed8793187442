// The proxy's user name and password for the enrolment service client: HKEY_CURRENT_USER
// "Software\Kesmora\OfficeTolvex\ProxyAuth". The password is never stored as typed: it is sealed as the
// directory's bind password is (REG_BINARY "m_strPassword"), or, when the user did not ask for it to be
// remembered, kept by this process only and not stored at all.
#pragma once

#include "core/RegValueMap.h"

class CProxyAuthSettings : public CRegValueMap {
 public:
  CProxyAuthSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  CString m_strPassword;
  CString m_strUser;
  // Saving with this clear removes any stored password and keeps the typed one for this process only.
  BOOL m_bRemember = TRUE;
};
