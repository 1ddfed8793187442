#include "app/MailTolvexSettings.h"

REGVALUEMAP_CONSTRUCTOR(CMailGeneralSettings)
REGVALUEMAP_CONSTRUCTOR(CESignSettings)
REGVALUEMAP_CONSTRUCTOR(CCompressionSettings)
REGVALUEMAP_CONSTRUCTOR(CShredderSettings)

LONG CMailGeneralSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bVerifyProfile", m_bVerifyProfile, 1u)
  REGVALUEMAP_ENTRY("m_bShredTemp", m_bShredTemp, 1u)
  REGVALUEMAP_ENTRY("m_bEnableAddin", m_bEnableAddin, 0u)
  REGVALUEMAP_ENTRY("m_bCleanShutAtExit", m_bCleanShutAtExit, 1u)
  EndExchange(save, defaults);
  return result;
}

LONG CESignSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bComply1", m_bComply1, 1u)
  REGVALUEMAP_ENTRY("m_bComply4", m_bComply4, 1u)
  REGVALUEMAP_ENTRY("m_bComply2", m_bComply2, 1u)
  REGVALUEMAP_ENTRY("m_bTimeStamp", m_bTimeStamp, 1u)
  REGVALUEMAP_ENTRY("m_bESign", m_bESign, 1u)
  REGVALUEMAP_ENTRY("m_bESignTrack", m_bESignTrack, 0u)
  EndExchange(save, defaults);
  return result;
}

LONG CCompressionSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_Level", m_Level, 9u)
  REGVALUEMAP_ENTRY("m_bCompress", m_bCompress, 0u)
  EndExchange(save, defaults);
  return result;
}

LONG CShredderSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("ShredderDesktopAddinEnabled", ShredderDesktopAddinEnabled, 1u)
  REGVALUEMAP_ENTRY("ShredderSlowPollEnabled", ShredderSlowPollEnabled, 0u)
  REGVALUEMAP_ENTRY("ShredResultsForUnusedSpace", ShredResultsForUnusedSpace, 1u)
  REGVALUEMAP_ENTRY("ShredResultsOnlyWhenFailed", ShredResultsOnlyWhenFailed, 0u)
  REGVALUEMAP_ENTRY("ShredResultsForFiles", ShredResultsForFiles, 1u)
  REGVALUEMAP_ENTRY("ResultsShredderDesktopAddin", ResultsShredderDesktopAddin, 1u)
  REGVALUEMAP_ENTRY("ClearSwap", ClearSwap, 1u)
  EndExchange(save, defaults);
  return result;
}
