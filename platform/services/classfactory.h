// The class factory of a component class T of the platform's services: each instance is made with new and
// answers the interface asked for; no aggregation.
#pragma once

#include <new>

#include "platform/com/comobject.h"

namespace kx {

template <class T>
class ClassFactoryOf : public ComObject<ClassFactoryOf<T>, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace kx
