#include "engine/TvxFormatSettings.h"

CTvxFormatSettings::CTvxFormatSettings(HKEY root, const char* keyPath) {
  InitKey(root, "%s", keyPath);
  Exchange(nullptr, FALSE, TRUE);
}

LONG CTvxFormatSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  if (!ExchangeEntry(key, save, defaults, "TVX_FormatVersion", TVX_FormatVersion, 1, result)) return result;
  if (!ExchangeEntry(key, save, defaults, "TVX_DefParameters", TVX_DefParameters, "AES256", result)) return result;
  EndExchange(save, defaults);
  return result;
}
