// Settings of the one-step encryption feature: HKEY_CURRENT_USER "Software\Kesmora\DiskTolvex\1.0\Options".
#pragma once

#include "core/RegValueMap.h"

class CBrastelSettings : public CRegValueMap {
 public:
  CBrastelSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_bBrastel;
  DWORD m_AlgoIndex;
  CString m_strFolder;
  DWORD m_FolderOption;
  DWORD m_PoolSize;
};
