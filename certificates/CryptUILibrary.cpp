#include "certificates/CryptUILibrary.h"

#include "platform/win32/modules.h"

CCryptUILibrary::~CCryptUILibrary() {
  if (m_hModule) FreeLibrary(m_hModule);
}

bool CCryptUILibrary::Load() {
  if (!m_hModule) m_hModule = LoadLibraryA("cryptui");
  return m_hModule != nullptr;
}

BOOL CCryptUILibrary::StartCertMgr() {
  if (!m_hModule) return FALSE;
  using StartCertMgrFn = BOOL (*)(void* parameters);
  auto start = reinterpret_cast<StartCertMgrFn>(GetProcAddress(m_hModule, "CryptUIStartCertMgr"));
  if (!start) return FALSE;
  return start(nullptr);
}
