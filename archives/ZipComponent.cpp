#include "archives/ZipComponent.h"

#include "platform/com/comutil.h"
#include "platform/services/zipcomponent.h"

namespace {

void Check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}

}  // namespace

CZipComponent::~CZipComponent() { Release(); }

void CZipComponent::Release() {
  IUnknown* held[] = {m_pInfo, m_pAdd, m_pArchive};
  for (IUnknown* p : held) {
    try {
      if (p) p->Release();
    } catch (...) {
      // A component that fails while going away leaves nothing to recover.
    }
  }
  m_pInfo = nullptr;
  m_pAdd = nullptr;
  m_pArchive = nullptr;
}

BOOL CZipComponent::Create(LPCSTR zipPath) {
  Release();
  try {
    Check(CoCreateInstance(CLSID_ZipComponent, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                           KX_IIDOF(IZipComponentArchive), reinterpret_cast<void**>(&m_pArchive)));
    if (!m_pArchive) _com_issue_error(E_NOINTERFACE);
    _bstr_t path(zipPath ? zipPath : "");
    Check(m_pArchive->put_ArchivePath(path));
    Check(m_pArchive->CreateArchive(path));
    return TRUE;
  } catch (const _com_error&) {
    return FALSE;
  }
}

int CZipComponent::AddPath(LPCSTR path, SHORT option) {
  if (!m_pArchive) return E_POINTER;
  if (!m_pAdd) {
    HRESULT hr = m_pArchive->QueryInterface(KX_IIDOF(IZipComponentAdd), reinterpret_cast<void**>(&m_pAdd));
    if (FAILED(hr) || !m_pAdd) return FAILED(hr) ? hr : E_NOINTERFACE;
  }
  _bstr_t text(path ? path : "");
  return m_pAdd->AddPath(text, option);
}
