#include "app/BrastelSettings.h"

REGVALUEMAP_CONSTRUCTOR(CBrastelSettings)

LONG CBrastelSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bBrastel", m_bBrastel, 1u)
  REGVALUEMAP_ENTRY("m_AlgoIndex", m_AlgoIndex, 1u)
  REGVALUEMAP_ENTRY("m_strFolder", m_strFolder, "")
  REGVALUEMAP_ENTRY("m_FolderOption", m_FolderOption, 0u)
  REGVALUEMAP_ENTRY("m_PoolSize", m_PoolSize, 0u)
  EndExchange(save, defaults);
  return result;
}
