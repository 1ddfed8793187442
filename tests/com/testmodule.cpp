// A module that serves one class through DllGetClassObject.
#include "platform/com/comobject.h"
#include "tests/com/testmodule.h"

namespace {

class Counter : public kx::ComObject<Counter, ICounter> {
 public:
  STDMETHODIMP Next(LONG* value) override {
    if (!value) return E_POINTER;
    *value = 100 + ++m_n;
    return S_OK;
  }

 private:
  LONG m_n = 0;
};

class Factory : public kx::ComObject<Factory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Counter* c = new Counter;
    HRESULT hr = c->QueryInterface(riid, ppv);
    c->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" KXAPI HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_ModuleCounter) return CLASS_E_CLASSNOTAVAILABLE;
  Factory* f = new Factory;
  HRESULT hr = f->QueryInterface(riid, ppv);
  f->Release();
  return hr;
}
