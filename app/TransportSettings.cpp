#include "app/TransportSettings.h"

REGVALUEMAP_CONSTRUCTOR(CTransportSettings)

LONG CTransportSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bProxy", m_bProxy, 0u)
  REGVALUEMAP_ENTRY("m_bSmartProxy", m_bSmartProxy, 0u)
  REGVALUEMAP_ENTRY("m_Port", m_Port, 8081u)
  REGVALUEMAP_ENTRY("m_TxIndex", m_TxIndex, 0u)
  REGVALUEMAP_ENTRY("m_TxAddressIndex", m_TxAddressIndex, 0u)
  REGVALUEMAP_ENTRY("m_strURL", m_strURL, "")
  REGVALUEMAP_ENTRY("m_strIP", m_strIP, "")
  EndExchange(save, defaults);
  return result;
}
