// Base of the engine wrappers and what they share: creation by class identifier, the one error path
// (engine failures leave as a COM error carrying only the result code), and the conversions of results.
//
// A wrapper holds one reference-counted engine interface. Copies share the engine object. A wrapper whose
// pointer is null is empty: its reads give 0, false, an empty string, date or wrapper, its result-code methods
// E_FAIL, and it calls nothing.
#pragma once

#include "core/BstrString.h"
#include "core/ByteBuffer.h"
#include "core/DateTime.h"
#include "platform/capicom/capicom.h"

class CCapicomObject {
 public:
  CCapicomObject() = default;
  virtual ~CCapicomObject() = default;
  // Extension points nothing overrides or calls.
  virtual bool Hook1(DWORD) { return false; }
  virtual bool Hook2(DWORD, DWORD, DWORD) { return false; }
  // Makes the engine object by class identifier; the base makes nothing.
  virtual HRESULT Create() { return S_OK; }
  virtual void Hook3(DWORD) {}
};

namespace kx::engine {

// In-process, local and remote server, as the wrappers ask for the engine's objects.
inline constexpr DWORD kCreationContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The error path: a new COM error carrying only the code (the engine's description stays behind).
[[noreturn]] void Raise(HRESULT hr);
inline void Check(HRESULT hr) {
  if (FAILED(hr)) Raise(hr);
}
// Runs an engine call; a COM error raised in it leaves as a new one with the same code only.
template <class F>
auto Rethrow(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const _com_error& e) {
    Raise(e.Error());
  }
}

// Creates the object through the creation interface C and holds it as H (the version-2 form where the two
// differ). E_NOINTERFACE on that query leaves the wrapper empty; other failures raise. Returns the creation's
// result code.
template <class H, class C = H>
HRESULT CreateHeld(REFCLSID clsid, _com_ptr_t<H>& held) {
  _com_ptr_t<C> local;
  HRESULT hr = local.CreateInstance(clsid, nullptr, kCreationContext);
  if (FAILED(hr)) Raise(hr);
  held = nullptr;
  if constexpr (std::is_same_v<H, C>) {
    held = local;
  } else {
    H* p = nullptr;
    HRESULT q = local->QueryInterface(KX_IIDOF(H), reinterpret_cast<void**>(&p));
    if (q != E_NOINTERFACE) {
      Check(q);
      held.Attach(p);
    }
  }
  return hr;
}

// ---- result shapes ----

template <class I, class M>
LONG ReadLong(I* p, M method) {
  if (!p) return 0;
  return Rethrow([&] {
    LONG v = 0;
    Check((p->*method)(&v));
    return v;
  });
}

// VARIANT_TRUE only, or (anyNonZero) any value other than 0.
template <class I, class M>
bool ReadBool(I* p, M method, bool anyNonZero = false) {
  if (!p) return false;
  return Rethrow([&] {
    VARIANT_BOOL v = VARIANT_FALSE;
    Check((p->*method)(&v));
    return anyNonZero ? v != 0 : v == VARIANT_TRUE;
  });
}

// The engine's BSTR, taken over.
template <class I, class M>
CBstrString ReadString(I* p, M method) {
  if (!p) return CBstrString();
  return Rethrow([&] {
    BSTR v = nullptr;
    HRESULT hr = (p->*method)(&v);
    if (FAILED(hr)) {
      SysFreeString(v);
      Raise(hr);
    }
    return CBstrString(v, false);
  });
}

template <class I, class M>
CDateTime ReadDate(I* p, M method) {
  if (!p) return CDateTime();
  return Rethrow([&] {
    DATE v = 0;
    Check((p->*method)(&v));
    return CDateTime(v);
  });
}

// A sub-object: its interface put into the wrapper w in place of what w held (queried for w's interface when
// the engine hands out another form). On an empty source w stays as the caller made it.
template <class W, class P, class I, class Q>
W& ReadInto(W& w, P* p, HRESULT (STDMETHODCALLTYPE I::*method)(Q**)) {
  if (!p) return w;
  Rethrow([&] {
    Q* q = nullptr;
    Check((p->*method)(&q));
    _com_ptr_t<Q> owned(q, false);
    w.SetInterface(owned.GetInterfacePtr());
  });
  return w;
}

// Call of a method that returns a result code: E_FAIL on an empty wrapper, else the engine's code (a failure
// raised on the error path).
template <class I, class F>
HRESULT CallResult(I* p, F call) {
  if (!p) return E_FAIL;
  return Rethrow([&] {
    HRESULT hr = call(p);
    Check(hr);
    return hr;
  });
}

// A wrapper made empty, whatever its default constructor does.
struct EmptyTag {};
inline constexpr EmptyTag kEmpty{};

// A collection item: the engine's VARIANT turned into the element interface E.
template <class E>
_com_ptr_t<E> ItemInterface(VARIANT& v) {
  _com_ptr_t<E> out;
  IUnknown* unk = nullptr;
  if (v.vt == VT_DISPATCH) unk = v.pdispVal;
  else if (v.vt == VT_UNKNOWN) unk = v.punkVal;
  VARIANT changed;
  VariantInit(&changed);
  if (!unk) {
    HRESULT hr = VariantChangeType(&changed, &v, 0, VT_DISPATCH);
    if (hr == E_NOINTERFACE) hr = VariantChangeType(&changed, &v, 0, VT_UNKNOWN);
    Check(hr);
    unk = changed.vt == VT_DISPATCH ? changed.pdispVal : changed.punkVal;
  }
  E* e = nullptr;
  HRESULT hr = unk ? unk->QueryInterface(KX_IIDOF(E), reinterpret_cast<void**>(&e)) : E_NOINTERFACE;
  VariantClear(&changed);
  if (hr != E_NOINTERFACE) Check(hr);
  out.Attach(e);
  return out;
}

// The interface I of an engine object (one more reference), null when p is null or lacks it.
template <class I>
_com_ptr_t<I> QueryFrom(IUnknown* p) {
  _com_ptr_t<I> out;
  I* q = nullptr;
  if (p && SUCCEEDED(p->QueryInterface(KX_IIDOF(I), reinterpret_cast<void**>(&q)))) out.Attach(q);
  return out;
}

// Binary data to and from the engine: a BSTR whose byte length is the data's length.
BSTR ToBinaryBstr(const CByteBuffer& buffer);
CByteBuffer FromBinaryBstr(BSTR bstr);
// A text argument for the engine (freed after the call by its owner).
_bstr_t ToBstr(const char* text);

}  // namespace kx::engine

// The held interface of a wrapper and its accessors.
#define KX_CAPICOM_POINTER(Interface)                                                       \
 public:                                                                                    \
  using HeldInterface = Interface;                                                          \
  /* The held interface, for callers that use the engine directly. */                      \
  Interface* GetInterfacePtr() const { return m_p.GetInterfacePtr(); }                      \
  bool IsEmpty() const { return !m_p; }                                                     \
  /* Takes an interface of the engine (one more reference); null makes the wrapper empty. */ \
  void SetInterface(IUnknown* p) {                                                          \
    _com_ptr_t<Interface> q = kx::engine::QueryFrom<Interface>(p);                          \
    m_p = q;                                                                                \
  }                                                                                         \
                                                                                            \
 private:                                                                                   \
  void ReleaseHeld() noexcept {                                                             \
    try {                                                                                   \
      m_p = nullptr;                                                                        \
    } catch (...) {                                                                         \
    }                                                                                       \
  }                                                                                         \
  _com_ptr_t<Interface> m_p;                                                                \
                                                                                            \
 public:

// The shared part of every wrapper class: the held interface and its copy, assignment and release (copies
// share the engine object; assigning an empty wrapper empties).
#define KX_CAPICOM_HELD(Class, Interface)                                                   \
  KX_CAPICOM_POINTER(Interface)                                                             \
  Class(const Class& other) : CCapicomObject() { m_p = other.m_p; }                         \
  Class& operator=(const Class& other) {                                                    \
    m_p = other.m_p;                                                                        \
    return *this;                                                                           \
  }                                                                                         \
  ~Class() override { ReleaseHeld(); }
