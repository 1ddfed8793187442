// The protected-file format settings: which format version new files are written in, and the default cipher
// choice, under HKEY_CURRENT_USER "Software\Kesmora\OfficeTolvex\Vorlind Intelligence".
#pragma once

#include "app/RegValueMap.h"
#include "platform/win32/registry.h"

inline constexpr char kTvxFormatKey[] = "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence";

class CTvxFormatSettings : public CRegValueMap {
 public:
  // Both values start at their defaults (version 1, "AES256").
  explicit CTvxFormatSettings(HKEY root = HKEY_CURRENT_USER, const char* keyPath = kTvxFormatKey);
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD TVX_FormatVersion = 1;
  CString TVX_DefParameters;
};
