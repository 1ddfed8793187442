// Error information of each thread (SetErrorInfo/GetErrorInfo) and the platform's error object.
#include <string>

#include "platform/com/comobject.h"
#include "platform/com/oleauto.h"

namespace {

class ErrorObject : public kx::ComObject<ErrorObject, IErrorInfo, ICreateErrorInfo> {
 public:
  STDMETHODIMP GetGUID(GUID* g) override {
    if (!g) return E_INVALIDARG;
    *g = m_guid;
    return S_OK;
  }
  STDMETHODIMP GetSource(BSTR* s) override { return Copy(m_source, s); }
  STDMETHODIMP GetDescription(BSTR* s) override { return Copy(m_description, s); }
  STDMETHODIMP GetHelpFile(BSTR* s) override { return Copy(m_helpFile, s); }
  STDMETHODIMP GetHelpContext(DWORD* c) override {
    if (!c) return E_INVALIDARG;
    *c = m_helpContext;
    return S_OK;
  }
  STDMETHODIMP SetGUID(REFGUID g) override {
    m_guid = g;
    return S_OK;
  }
  STDMETHODIMP SetSource(LPOLESTR s) override { return Set(m_source, s); }
  STDMETHODIMP SetDescription(LPOLESTR s) override { return Set(m_description, s); }
  STDMETHODIMP SetHelpFile(LPOLESTR s) override { return Set(m_helpFile, s); }
  STDMETHODIMP SetHelpContext(DWORD c) override {
    m_helpContext = c;
    return S_OK;
  }

 private:
  static HRESULT Copy(const std::u16string& from, BSTR* to) {
    if (!to) return E_INVALIDARG;
    *to = SysAllocStringLen(from.data(), static_cast<UINT>(from.size()));
    return *to ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Set(std::u16string& to, LPCOLESTR from) {
    to = from ? from : u"";
    return S_OK;
  }

  GUID m_guid = GUID_NULL;
  std::u16string m_source, m_description, m_helpFile;
  DWORD m_helpContext = 0;
};

// Releases the thread's error object when the thread ends.
struct ThreadError {
  IErrorInfo* info = nullptr;
  ~ThreadError() {
    if (info) info->Release();
  }
};
thread_local ThreadError t_error;

}  // namespace

namespace kx {
void DropThreadErrorInfo() {
  if (IErrorInfo* old = t_error.info) {
    t_error.info = nullptr;
    old->Release();
  }
}

void SetErrorDescription(const char16_t* description, const char16_t* source) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  create->SetDescription(const_cast<LPOLESTR>(description));
  if (source) create->SetSource(const_cast<LPOLESTR>(source));
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
}
}  // namespace kx

extern "C" {

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo* old = t_error.info;
  t_error.info = perrinfo;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = t_error.info;  // the caller takes the thread's reference
  t_error.info = nullptr;
  return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = new ErrorObject;
  return S_OK;
}

}  // extern "C"
