// Settings of the protected-file format under "Software\Kesmora\OfficeTolvex\Vorlind Intelligence": the format
// version protected files are written in, and the default cipher. The file family and the encrypted data
// wrapper both read it.
#pragma once

#include "core/RegValueMap.h"

class CTvxFormatSettings : public CRegValueMap {
 public:
  // The current user's key.
  CTvxFormatSettings();
  CTvxFormatSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));

  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  // "TVX_FormatVersion": above 1, protected files carry version 2 in their format field.
  LONG m_nFormatVersion = 1;
  // "TVX_DefParameters".
  CString m_strDefParameters = "AES256";
};
