// Compiler-style COM support: the COM error exception, the shared BSTR string, the VARIANT wrapper and the
// reference-counted interface pointer.
#pragma once

#include <memory>
#include <atomic>
#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/com/combase.h"
#include "platform/com/oleauto.h"

class _bstr_t;
class _variant_t;

// Raises _com_error(hr). _com_issue_errorex also takes the thread's error information.
[[noreturn]] KXAPI void _com_issue_error(HRESULT hr);
[[noreturn]] KXAPI void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid);

// A string shared by reference: copies share one record holding the BSTR and, made on first request, its
// ANSI (UTF-8) form. A null record is the empty string.
class KXAPI _bstr_t {
 public:
  _bstr_t() noexcept : m_Data(nullptr) {}
  _bstr_t(const _bstr_t& s) noexcept : m_Data(s.m_Data) { if (m_Data) m_Data->AddRef(); }
  _bstr_t(_bstr_t&& s) noexcept : m_Data(std::exchange(s.m_Data, nullptr)) {}
  _bstr_t(const char* s);      // NOLINT: through UTF-8; a null text gives a record with a null BSTR
  _bstr_t(const OLECHAR* s);   // NOLINT: copies
  _bstr_t(const _variant_t& var);  // NOLINT: VariantChangeType to VT_BSTR; raises its failure
  // fCopy false takes the BSTR over (freed with the last reference).
  _bstr_t(BSTR bstr, bool fCopy);
  ~_bstr_t() { _Free(); }

  _bstr_t& operator=(const _bstr_t& s) noexcept;
  _bstr_t& operator=(_bstr_t&& s) noexcept;
  _bstr_t& operator=(const char* s);
  _bstr_t& operator=(const OLECHAR* s);
  _bstr_t& operator=(const _variant_t& var);

  // A new record with this text followed by the other's; copies that shared the old record keep it.
  _bstr_t& operator+=(const _bstr_t& s);
  _bstr_t operator+(const _bstr_t& s) const;
  friend _bstr_t operator+(const char* a, const _bstr_t& b) { return _bstr_t(a) + b; }
  friend _bstr_t operator+(const OLECHAR* a, const _bstr_t& b) { return _bstr_t(a) + b; }

  operator const OLECHAR*() const noexcept { return m_Data ? m_Data->m_wstr : nullptr; }  // NOLINT
  operator OLECHAR*() const noexcept { return m_Data ? m_Data->m_wstr : nullptr; }        // NOLINT
  operator const char*() const;                                                             // NOLINT
  operator char*() const;                                                                   // NOLINT

  bool operator!() const noexcept { return !m_Data || !m_Data->m_wstr; }
  bool operator==(const _bstr_t& s) const noexcept { return _Compare(s) == 0; }
  bool operator!=(const _bstr_t& s) const noexcept { return _Compare(s) != 0; }
  bool operator<(const _bstr_t& s) const noexcept { return _Compare(s) < 0; }
  bool operator>(const _bstr_t& s) const noexcept { return _Compare(s) > 0; }
  bool operator<=(const _bstr_t& s) const noexcept { return _Compare(s) <= 0; }
  bool operator>=(const _bstr_t& s) const noexcept { return _Compare(s) >= 0; }

  // A BSTR copy for the caller (fCopy) or the shared one itself.
  BSTR copy(bool fCopy = true) const;
  unsigned int length() const noexcept { return m_Data && m_Data->m_wstr ? SysStringLen(m_Data->m_wstr) : 0; }
  void Assign(BSTR s);
  BSTR& GetBSTR();
  BSTR* GetAddress();
  void Attach(BSTR s);
  BSTR Detach();
  // How many _bstr_t share this record (0 for the null record); for tests.
  unsigned long RefCount() const noexcept { return m_Data ? m_Data->m_RefCount.load() : 0; }

 private:
  struct Data_t {
    explicit Data_t(BSTR w) : m_wstr(w), m_str(nullptr), m_RefCount(1) {}
    void AddRef() noexcept { m_RefCount.fetch_add(1, std::memory_order_relaxed); }
    unsigned long Release() noexcept { return m_RefCount.fetch_sub(1, std::memory_order_acq_rel) - 1; }
    BSTR m_wstr;
    mutable std::atomic<char*> m_str;
    std::atomic<unsigned long> m_RefCount;
  };
  void _Free() noexcept;
  int _Compare(const _bstr_t& s) const noexcept;
  static Data_t* _NewData(BSTR w);

  Data_t* m_Data;
};

// A VARIANT that owns its value.
class KXAPI _variant_t : public tagVARIANT {
 public:
  _variant_t() noexcept { VariantInit(this); }
  _variant_t(const VARIANT& v);           // NOLINT
  _variant_t(const VARIANT* v);           // NOLINT
  _variant_t(const _variant_t& v);
  _variant_t(_variant_t&& v) noexcept;
  // fCopy false takes the variant's value over and leaves it VT_EMPTY.
  _variant_t(VARIANT& v, bool fCopy);
  _variant_t(SHORT s, VARTYPE vtSrc = VT_I2);    // NOLINT: VT_I2 or VT_BOOL
  _variant_t(LONG l, VARTYPE vtSrc = VT_I4);     // NOLINT: VT_I4, VT_ERROR, VT_BOOL or VT_INT
  _variant_t(FLOAT f) noexcept { VariantInit(this); vt = VT_R4; fltVal = f; }  // NOLINT
  _variant_t(double d, VARTYPE vtSrc = VT_R8);  // NOLINT: VT_R8 or VT_DATE
  _variant_t(const _bstr_t& s);                 // NOLINT
  _variant_t(const char* s);                    // NOLINT
  _variant_t(const OLECHAR* s);                 // NOLINT
  _variant_t(IDispatch* p, bool fAddRef = true) noexcept;  // NOLINT
  _variant_t(IUnknown* p, bool fAddRef = true) noexcept;   // NOLINT
  _variant_t(bool b) noexcept { VariantInit(this); vt = VT_BOOL; boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; }  // NOLINT
  _variant_t(BYTE b) noexcept { VariantInit(this); vt = VT_UI1; bVal = b; }  // NOLINT
  _variant_t(CHAR c) noexcept { VariantInit(this); vt = VT_I1; cVal = c; }   // NOLINT
  _variant_t(USHORT u) noexcept { VariantInit(this); vt = VT_UI2; uiVal = u; }  // NOLINT
  _variant_t(ULONG u, VARTYPE vtSrc = VT_UI4);    // NOLINT: VT_UI4 or VT_UINT
  _variant_t(LONGLONG l) noexcept { VariantInit(this); vt = VT_I8; llVal = l; }   // NOLINT
  _variant_t(ULONGLONG u) noexcept { VariantInit(this); vt = VT_UI8; ullVal = u; }  // NOLINT
  ~_variant_t() { VariantClear(this); }

  _variant_t& operator=(const VARIANT& v);
  _variant_t& operator=(const _variant_t& v) { return operator=(static_cast<const VARIANT&>(v)); }
  _variant_t& operator=(_variant_t&& v) noexcept;
  _variant_t& operator=(LONG l);
  _variant_t& operator=(double d);
  _variant_t& operator=(const _bstr_t& s);
  _variant_t& operator=(const char* s);
  _variant_t& operator=(const OLECHAR* s);
  _variant_t& operator=(bool b);
  _variant_t& operator=(IDispatch* p);
  _variant_t& operator=(IUnknown* p);

  // Extraction through VariantChangeType; a failed change raises _com_error.
  operator SHORT() const;    // NOLINT
  operator LONG() const;     // NOLINT
  operator double() const;   // NOLINT
  operator bool() const;     // NOLINT
  operator BYTE() const;     // NOLINT
  operator _bstr_t() const;  // NOLINT
  operator IDispatch*() const;  // NOLINT: with a new reference
  operator IUnknown*() const;   // NOLINT: with a new reference

  // Exact comparison of type and value (strings by content, objects by pointer).
  bool operator==(const VARIANT& v) const;
  bool operator!=(const VARIANT& v) const { return !(*this == v); }

  void Clear();
  // Converts in place (or from src); raises _com_error on failure.
  void ChangeType(VARTYPE vartype, const _variant_t* src = nullptr);
  void Attach(VARIANT& v);
  VARIANT Detach();
  VARIANT& GetVARIANT() noexcept { return *this; }
  VARIANT* GetAddress();
  void SetString(const char* s);
};

// An interface pointer that holds one reference. The interface's IID comes from KX_DEFINE_IID.
template <class I>
class _com_ptr_t {
 public:
  using Interface = I;

  _com_ptr_t() noexcept : m_p(nullptr) {}
  _com_ptr_t(std::nullptr_t) noexcept : m_p(nullptr) {}  // NOLINT
  _com_ptr_t(I* p) noexcept : m_p(p) { _AddRef(); }      // NOLINT
  _com_ptr_t(I* p, bool fAddRef) noexcept : m_p(p) { if (fAddRef) _AddRef(); }
  _com_ptr_t(const _com_ptr_t& o) noexcept : m_p(o.m_p) { _AddRef(); }
  _com_ptr_t(_com_ptr_t&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
  // Another interface: queried for I (null when it does not have it).
  template <class Q, class = std::enable_if_t<!std::is_convertible_v<Q*, I*> && std::is_base_of_v<IUnknown, Q>>>
  _com_ptr_t(Q* p) : m_p(nullptr) { _QueryFrom(p); }  // NOLINT
  template <class Q, class = std::enable_if_t<!std::is_same_v<Q, I>>>
  _com_ptr_t(const _com_ptr_t<Q>& p) : m_p(nullptr) { _QueryFrom(p.GetInterfacePtr()); }  // NOLINT
  // An object of the class; raises _com_error when it cannot be made.
  explicit _com_ptr_t(REFCLSID clsid, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) : m_p(nullptr) {
    HRESULT hr = CreateInstance(clsid, pOuter, dwClsContext);
    if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
  }
  // From a VT_UNKNOWN or VT_DISPATCH variant (queried); raises _com_error for other types.
  explicit _com_ptr_t(const _variant_t& v) : m_p(nullptr) {
    _variant_t u(v);
    if (u.vt != VT_UNKNOWN && u.vt != VT_DISPATCH) u.ChangeType(VT_UNKNOWN);
    _QueryFrom(u.punkVal);
  }
  ~_com_ptr_t() { _Release(); }

  _com_ptr_t& operator=(const _com_ptr_t& o) noexcept { return operator=(o.m_p); }
  _com_ptr_t& operator=(_com_ptr_t&& o) noexcept {
    if (this != std::addressof(o)) {
      _Release();
      m_p = std::exchange(o.m_p, nullptr);
    }
    return *this;
  }
  _com_ptr_t& operator=(I* p) noexcept {
    if (p != m_p) {
      I* old = m_p;
      m_p = p;
      _AddRef();
      if (old) old->Release();
    }
    return *this;
  }
  _com_ptr_t& operator=(std::nullptr_t) noexcept { _Release(); return *this; }
  template <class Q, class = std::enable_if_t<!std::is_convertible_v<Q*, I*> && std::is_base_of_v<IUnknown, Q>>>
  _com_ptr_t& operator=(Q* p) {
    _com_ptr_t t(p);
    return *this = std::move(t);
  }

  // With a local or remote server in the context, the object is created as IUnknown, run (OleRun) and then
  // queried, as the platform's compiler support does.
  HRESULT CreateInstance(REFCLSID clsid, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) {
    _Release();
    HRESULT hr;
    if (dwClsContext & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) {
      IUnknown* unk = nullptr;
      hr = CoCreateInstance(clsid, pOuter, dwClsContext, IID_IUnknown, reinterpret_cast<void**>(&unk));
      if (SUCCEEDED(hr)) {
        hr = OleRun(unk);
        if (SUCCEEDED(hr)) hr = unk->QueryInterface(KX_IIDOF(I), reinterpret_cast<void**>(&m_p));
        unk->Release();
      }
    } else {
      hr = CoCreateInstance(clsid, pOuter, dwClsContext, KX_IIDOF(I), reinterpret_cast<void**>(&m_p));
    }
    if (FAILED(hr)) m_p = nullptr;
    return hr;
  }
  // By CLSID text ("{...}") or ProgID.
  HRESULT CreateInstance(LPCOLESTR clsidText, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) {
    CLSID clsid;
    HRESULT hr = CLSIDFromString(clsidText, &clsid);
    if (FAILED(hr)) return hr;
    return CreateInstance(clsid, pOuter, dwClsContext);
  }

  template <class Q>
  HRESULT QueryInterface(REFIID iid, Q** pp) const {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(iid, reinterpret_cast<void**>(pp));
  }
  template <class Q>
  HRESULT QueryInterface(REFIID iid, Q*& p) const { return QueryInterface(iid, &p); }

  void Attach(I* p) noexcept { _Release(); m_p = p; }
  void Attach(I* p, bool fAddRef) noexcept { _Release(); m_p = p; if (fAddRef) _AddRef(); }
  I* Detach() noexcept { return std::exchange(m_p, nullptr); }
  // Drops the reference; raises E_POINTER when there is none.
  void Release() {
    if (!m_p) _com_issue_error(E_POINTER);
    _Release();
  }
  void AddRef() {
    if (!m_p) _com_issue_error(E_POINTER);
    m_p->AddRef();
  }

  I* GetInterfacePtr() const noexcept { return m_p; }
  I*& GetInterfacePtr() noexcept { return m_p; }
  // For out parameters: drops the present reference and hands out the slot.
  I** operator&() noexcept { _Release(); return &m_p; }
  // Raises E_POINTER on a null pointer rather than calling through it.
  I* operator->() const {
    if (!m_p) _com_issue_error(E_POINTER);
    return m_p;
  }
  I& operator*() const {
    if (!m_p) _com_issue_error(E_POINTER);
    return *m_p;
  }
  operator I*() const noexcept { return m_p; }  // NOLINT
  explicit operator bool() const noexcept { return m_p != nullptr; }
  bool operator!() const noexcept { return m_p == nullptr; }
  bool operator==(const _com_ptr_t& o) const noexcept { return m_p == o.m_p; }
  bool operator!=(const _com_ptr_t& o) const noexcept { return m_p != o.m_p; }
  bool operator==(std::nullptr_t) const noexcept { return m_p == nullptr; }
  bool operator!=(std::nullptr_t) const noexcept { return m_p != nullptr; }

 private:
  void _AddRef() noexcept { if (m_p) m_p->AddRef(); }
  void _Release() noexcept {
    if (I* p = std::exchange(m_p, nullptr)) p->Release();
  }
  template <class Q>
  void _QueryFrom(Q* p) {
    if (p && FAILED(p->QueryInterface(KX_IIDOF(I), reinterpret_cast<void**>(&m_p)))) m_p = nullptr;
  }

  I* m_p;
};

#define _COM_SMARTPTR_TYPEDEF(Interface, iid) using Interface##Ptr = _com_ptr_t<Interface>

// The COM error exception: a result code and, when the failing object gave one, its error information.
class KXAPI _com_error {
 public:
  // fAddRef false takes the error information over.
  explicit _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept;
  _com_error(const _com_error& that) noexcept;
  _com_error& operator=(const _com_error& that) noexcept;
  virtual ~_com_error();

  HRESULT Error() const noexcept { return m_hresult; }
  WORD WCode() const noexcept { return HRESULTToWCode(m_hresult); }
  // With a new reference, or null.
  IErrorInfo* ErrorInfo() const noexcept;
  // From the error information; empty when there is none.
  _bstr_t Description() const;
  _bstr_t Source() const;
  DWORD HelpContext() const;
  // The platform's text for the result code ("Unknown error 0x80001234" when it has none).
  const char* ErrorMessage() const;

  static HRESULT WCodeToHRESULT(WORD wCode) noexcept {
    return wCode >= 0xFE00 ? KX_HR(0x8004FFFF) : KX_HR(0x80040200u + wCode);
  }
  static WORD HRESULTToWCode(HRESULT hr) noexcept {
    return (hr >= KX_HR(0x80040200) && hr <= KX_HR(0x8004FFFF)) ? static_cast<WORD>(static_cast<uint32_t>(hr) - 0x80040200u) : 0;
  }

 private:
  HRESULT m_hresult;
  IErrorInfo* m_perrinfo;
  mutable std::string m_message;
};

namespace kx {
// The platform's text for a result code, or "" when it has none.
KXAPI std::string ResultCodeText(HRESULT hr);
}  // namespace kx
