// The machine-wide enrolment settings (HKEY_LOCAL_MACHINE "Software\Kesmora\OfficeTolvex\VorlindEnrol"): which
// enrolment back end is in use. m_bETRUST set skips the purpose page of the certificate creation wizard.
#pragma once

#include "core/RegValueMap.h"

class CVorlindEnrolSettings : public CRegValueMap {
 public:
  CVorlindEnrolSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  CString m_Version;
  CString m_CAServer;
  DWORD m_bETRUST = 1;

  static constexpr const char* kKeyPath = "Software\\Kesmora\\OfficeTolvex\\VorlindEnrol";
};
