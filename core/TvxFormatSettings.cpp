#include "core/TvxFormatSettings.h"

#include <cstdarg>

#include "platform/win32/registry.h"

CTvxFormatSettings::CTvxFormatSettings() {
  InitKey(HKEY_CURRENT_USER, "%s", "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence");
  Exchange(nullptr, FALSE, TRUE);
}

CTvxFormatSettings::CTvxFormatSettings(HKEY root, const char* format, ...) {
  if (format) {
    va_list args;
    va_start(args, format);
    m_strKey.FormatV(format, args);
    va_end(args);
  }
  m_hRoot = root;
  Exchange(nullptr, FALSE, TRUE);
}

LONG CTvxFormatSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  if (!ExchangeEntry(key, save, defaults, "TVX_FormatVersion", m_nFormatVersion, 1, result)) return result;
  if (!ExchangeEntry(key, save, defaults, "TVX_DefParameters", m_strDefParameters, "AES256", result)) return result;
  EndExchange(save, defaults);
  return result;
}
