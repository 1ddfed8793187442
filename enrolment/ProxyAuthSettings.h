// The proxy's user name and password for the enrolment service client: HKEY_CURRENT_USER
// "Software\Kesmora\OfficeTolvex\ProxyAuth". The password is stored as the user typed it.
#pragma once

#include "core/RegValueMap.h"

class CProxyAuthSettings : public CRegValueMap {
 public:
  CProxyAuthSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  CString m_strPassword;
  CString m_strUser;
};
