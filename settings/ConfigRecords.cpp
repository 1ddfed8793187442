#include "settings/ConfigRecords.h"

REGVALUEMAP_CONSTRUCTOR(CHummingbirdSettings)
REGVALUEMAP_CONSTRUCTOR(CPageFileSettings)

LONG CHummingbirdSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bHM_OfficeIntegration", m_bHM_OfficeIntegration, 1u)
  REGVALUEMAP_ENTRY("m_bHM_ExplorerIntegration", m_bHM_ExplorerIntegration, 1u)
  REGVALUEMAP_ENTRY("m_bHM_AutoDetect", m_bHM_AutoDetect, 1u)
  REGVALUEMAP_ENTRY("m_bHM_Register", m_bHM_Register, 0u)
  EndExchange(save, defaults);
  return result;
}

LONG CPageFileSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("ClearPageFileAtShutdown", ClearPageFileAtShutdown, 1u)
  EndExchange(save, defaults);
  return result;
}
