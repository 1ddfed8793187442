// Disk protection settings: HKEY_CURRENT_USER "Software\Kesmora\DiskTolvex\1.0\General".
#pragma once

#include "core/RegValueMap.h"

class CDiskTolvexSettings : public CRegValueMap {
 public:
  CDiskTolvexSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_bMountStartup;
  DWORD m_bQuickFormat;
  DWORD m_bShredCache;
  DWORD m_bShowAtStartup;
  DWORD m_bAutoDetectSmartCard;
};
