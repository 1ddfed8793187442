#include "certificates/CertCreationInfo.h"

CCertCreationInfo::CCertCreationInfo() : m_Enroll(kx::engine::kEmpty) {
  try {
    m_Enroll = CCertEnroll();
  } catch (const _com_error&) {
    // No enrolment control on this system: the pages show their "no provider" message.
  }
}
