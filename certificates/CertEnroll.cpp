#include "certificates/CertEnroll.h"

CCertEnroll::CCertEnroll() { kx::engine::CreateHeld<ICEnroll3>(CLSID_CEnroll, m_p); }
