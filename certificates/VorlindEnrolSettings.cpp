#include "certificates/VorlindEnrolSettings.h"

REGVALUEMAP_CONSTRUCTOR(CVorlindEnrolSettings)

LONG CVorlindEnrolSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_Version", m_Version, "2.0")
  REGVALUEMAP_ENTRY("m_CAServer", m_CAServer, "CA eTrust PKI")
  REGVALUEMAP_ENTRY("m_bETRUST", m_bETRUST, 1u)
  EndExchange(save, defaults);
  return result;
}
