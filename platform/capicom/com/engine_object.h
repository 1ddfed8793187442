// What every COM class of the engine module shares: the IDispatch half, the guard that turns C++ exceptions
// into result codes, BSTR and VARIANT conversions, and the class table DllGetClassObject serves.
//
// A further class (signed data, signed code, ...) is one more source file of the module:
//   class SignedData : public kx::ComObject<SignedData, ISignedData> {
//     KX_ENGINE_DISPATCH(SignedData, ISignedData)
//     ...
//   };
//   KX_ENGINE_CLASS(CLSID_SignedData, SignedData);
#pragma once

#include <functional>
#include <mutex>
#include <utility>
#include <vector>
#include <string>

#include "platform/capicom/capicom.h"
#include "platform/capicom/core/ossl.h"
#include "platform/com/comobject.h"

namespace kx::capi {

// IDispatch of an engine object: no type information, no late binding. QueryInterface also answers IDispatch
// and the listed base interfaces.
#define KX_ENGINE_DISPATCH(Class, ...)                                                                      \
 public:                                                                                                  \
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {                                                       \
    if (n) *n = 0;                                                                                        \
    return S_OK;                                                                                          \
  }                                                                                                       \
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }                        \
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }       \
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {    \
    return E_NOTIMPL;                                                                                     \
  }                                                                                                       \
  bool QueryBase(REFIID riid, void** ppv) {                                                               \
    return ::kx::capi::QueryBases<Class, __VA_ARGS__>(this, riid, ppv);                                   \
  }

// Answers IDispatch (through the first interface) and the further interfaces named, which the class derives
// from through its main interfaces.
template <class Class, class First, class... More>
bool QueryBases(Class* self, REFIID riid, void** ppv) {
  if (riid == IID_IDispatch) {
    *ppv = static_cast<IDispatch*>(static_cast<First*>(self));
    return true;
  }
  if (riid == KX_IIDOF(First)) {
    *ppv = static_cast<First*>(self);
    return true;
  }
  if constexpr (sizeof...(More) > 0) return QueryBases<Class, More...>(self, riid, ppv);
  return false;
}

// Runs the body of a method; a C++ exception becomes a result code instead of crossing the interface.
HRESULT Guard(const std::function<HRESULT()>& body);
// Sets the thread's error description for a failed call and returns the code.
HRESULT Fail(HRESULT hr, const std::string& detail = std::string());

// Conversions at the interface.
std::string Utf8(BSTR s);                       // text
Bytes BstrBytes(BSTR s);                        // the bytes of a binary BSTR (its byte length)
BSTR TextBstr(const std::string& utf8);
BSTR BytesBstr(const uint8_t* p, size_t n);
inline BSTR BytesBstr(const Bytes& b) { return BytesBstr(b.data(), b.size()); }
// Encoded output: encoding 0 base64 text, 1 binary; CAPICOM_E_ENCODE_INVALID_TYPE otherwise.
HRESULT EncodeOut(const Bytes& data, LONG encoding, BSTR* out);
inline VARIANT_BOOL VBool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }
// A 1-based index from a VARIANT holding a number; -1 when it holds none.
long VariantIndex(const VARIANT& v);

// One reference to an interface, movable and copyable, for the module's lists and members.
template <class I>
class Ref {
 public:
  Ref() = default;
  // Takes over a reference the caller owns.
  static Ref Adopt(I* p) {
    Ref r;
    r.m_p = p;
    return r;
  }
  Ref(const Ref& o) : m_p(o.m_p) {
    if (m_p) m_p->AddRef();
  }
  Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
  Ref& operator=(Ref o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }
  ~Ref() {
    if (m_p) m_p->Release();
  }
  I* get() const { return m_p; }
  I* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  I* m_p = nullptr;
};

// A VARIANT holding the object's IDispatch (with one reference).
void DispatchVariant(IDispatch* p, VARIANT* out);

// The objects of a collection class, counted from 1 at the interface.
template <class Derived, class I, class Item>
class Collection : public kx::ComObject<Derived, I> {
 public:
  void Append(Item* item) {
    item->AddRef();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.push_back(Ref<Item>::Adopt(item));
  }
  std::vector<Ref<Item>> Items() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_items;
  }

 protected:
  HRESULT ItemAt(LONG index, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 1 || static_cast<size_t>(index) > m_items.size()) return Fail(E_INVALIDARG, "index out of range");
    DispatchVariant(m_items[static_cast<size_t>(index) - 1].get(), out);
    return S_OK;
  }
  HRESULT CountOut(LONG* out) {
    if (!out) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    *out = static_cast<LONG>(m_items.size());
    return S_OK;
  }
  HRESULT RemoveAt(LONG index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 1 || static_cast<size_t>(index) > m_items.size()) return Fail(E_INVALIDARG, "index out of range");
    m_items.erase(m_items.begin() + (index - 1));
    return S_OK;
  }
  HRESULT ClearAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.clear();
    return S_OK;
  }

  mutable std::mutex m_mutex;
  std::vector<Ref<Item>> m_items;
};

template <class T>
HRESULT PutOut(T* out, T value) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}
// Hands an interface out with a reference of its own.
template <class I>
HRESULT PutInterface(I** out, I* value) {
  if (!out) return E_POINTER;
  if (value) value->AddRef();
  *out = value;
  return S_OK;
}

using ClassCreator = HRESULT (*)(REFIID riid, void** ppv);
// Registers a class of the module; done by KX_ENGINE_CLASS at load time.
bool RegisterEngineClass(const CLSID& clsid, ClassCreator create);

template <class T>
HRESULT CreateEngineObject(REFIID riid, void** ppv) {
  T* obj = new (std::nothrow) T();
  if (!obj) return E_OUTOFMEMORY;
  HRESULT hr = obj->QueryInterface(riid, ppv);
  obj->Release();
  return hr;
}

#define KX_ENGINE_CLASS_CAT2(a, b) a##b
#define KX_ENGINE_CLASS_CAT(a, b) KX_ENGINE_CLASS_CAT2(a, b)
#define KX_ENGINE_CLASS(clsid, Class)                                        \
  static const bool KX_ENGINE_CLASS_CAT(kRegistered_, __LINE__) =            \
      ::kx::capi::RegisterEngineClass(clsid, &::kx::capi::CreateEngineObject<Class>)

}  // namespace kx::capi
