#include "app/DiskTolvexSettings.h"

REGVALUEMAP_CONSTRUCTOR(CDiskTolvexSettings)

LONG CDiskTolvexSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bMountStartup", m_bMountStartup, 1u)
  REGVALUEMAP_ENTRY("m_bQuickFormat", m_bQuickFormat, 1u)
  REGVALUEMAP_ENTRY("m_bShredCache", m_bShredCache, 1u)
  REGVALUEMAP_ENTRY("m_bShowAtStartup", m_bShowAtStartup, 1u)
  REGVALUEMAP_ENTRY("m_bAutoDetectSmartCard", m_bAutoDetectSmartCard, 0u)
  EndExchange(save, defaults);
  return result;
}
