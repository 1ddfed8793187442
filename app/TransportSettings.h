// Transport settings of the enrolment service client: HKEY_CURRENT_USER
// "Software\Kesmora\OfficeTolvex\2.0\VorlindTransport".
#pragma once

#include "core/RegValueMap.h"

class CTransportSettings : public CRegValueMap {
 public:
  CTransportSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_bProxy;
  DWORD m_bSmartProxy;
  DWORD m_Port;
  DWORD m_TxIndex;
  DWORD m_TxAddressIndex;
  CString m_strURL;
  CString m_strIP;
};
