#include "enrolment/ProxyAuthSettings.h"

REGVALUEMAP_CONSTRUCTOR(CProxyAuthSettings)

LONG CProxyAuthSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_strPassword", m_strPassword, "")
  REGVALUEMAP_ENTRY("m_strUser", m_strUser, "")
  EndExchange(save, defaults);
  return result;
}
