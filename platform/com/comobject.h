// Reference counting and QueryInterface for objects of the platform that implement interfaces:
//     class CFoo : public kx::ComObject<CFoo, IFoo, IBar> { ... IFoo and IBar methods ... };
//     IFoo* p = new CFoo;   // one reference, released with p->Release()
// QueryInterface answers IUnknown and each listed interface; an object that also answers for the base
// interfaces of one of them (IDispatch under IFoo) lists them in QueryBase.
#pragma once

#include <atomic>

#include "platform/com/unknwn.h"

namespace kx {

template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    } else if (!Find<First, Rest...>(riid, ppv) && !static_cast<Derived*>(this)->QueryBase(riid, ppv)) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  // Further identifiers the object answers: set *ppv (without AddRef) and return true.
  bool QueryBase(REFIID, void**) { return false; }

  virtual ~ComObject() = default;

 protected:
  ComObject() = default;
  ULONG RefCount() const { return m_refs.load(); }

 private:
  template <class I, class... More>
  bool Find(REFIID riid, void** ppv) {
    if (riid == KX_IIDOF(I)) {
      *ppv = static_cast<I*>(this);
      return true;
    }
    if constexpr (sizeof...(More) > 0) return Find<More...>(riid, ppv);
    return false;
  }

  std::atomic<ULONG> m_refs{1};
};

}  // namespace kx
