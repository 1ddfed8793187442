#include "platform/com/comutil.h"

#include <cstdio>
#include <cstring>

#include "platform/win32/errors.h"
#include "platform/win32/textconv.h"

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void _com_issue_errorex(HRESULT hr, IUnknown*, REFIID) {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK) info = nullptr;
  throw _com_error(hr, info, false);
}

// ---- _bstr_t ----

_bstr_t::Data_t* _bstr_t::_NewData(BSTR w) {
  Data_t* d = new (std::nothrow) Data_t(w);
  if (!d) {
    SysFreeString(w);
    _com_issue_error(E_OUTOFMEMORY);
  }
  return d;
}

_bstr_t::_bstr_t(const char* s) : m_Data(nullptr) {
  BSTR w = nullptr;
  if (s) {
    std::u16string u = kx::Utf8ToUtf16(s, std::strlen(s));
    w = SysAllocStringLen(u.data(), static_cast<UINT>(u.size()));
    if (!w) _com_issue_error(E_OUTOFMEMORY);
  }
  m_Data = _NewData(w);
}

_bstr_t::_bstr_t(const OLECHAR* s) : m_Data(nullptr) {
  BSTR w = nullptr;
  if (s) {
    w = SysAllocString(s);
    if (!w) _com_issue_error(E_OUTOFMEMORY);
  }
  m_Data = _NewData(w);
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) : m_Data(nullptr) {
  BSTR w = bstr;
  if (fCopy && bstr) {
    w = SysAllocStringByteLen(reinterpret_cast<const char*>(bstr), SysStringByteLen(bstr));
    if (!w) _com_issue_error(E_OUTOFMEMORY);
  }
  m_Data = _NewData(w);
}

_bstr_t::_bstr_t(const _variant_t& var) : m_Data(nullptr) {
  if (var.vt == VT_BSTR) {
    *this = _bstr_t(var.bstrVal, true);
    return;
  }
  _variant_t t;
  HRESULT hr = VariantChangeType(&t, &var, 0, VT_BSTR);
  if (FAILED(hr)) _com_issue_error(hr);
  m_Data = _NewData(t.bstrVal);
  t.vt = VT_EMPTY;  // the record owns the string now
}

void _bstr_t::_Free() noexcept {
  if (m_Data && m_Data->Release() == 0) {
    SysFreeString(m_Data->m_wstr);
    delete[] m_Data->m_str.load();
    delete m_Data;
  }
  m_Data = nullptr;
}

_bstr_t& _bstr_t::operator=(const _bstr_t& s) noexcept {
  if (m_Data != s.m_Data) {
    if (s.m_Data) s.m_Data->AddRef();
    _Free();
    m_Data = s.m_Data;
  }
  return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& s) noexcept {
  if (this != &s) {
    _Free();
    m_Data = std::exchange(s.m_Data, nullptr);
  }
  return *this;
}

_bstr_t& _bstr_t::operator=(const char* s) { return *this = _bstr_t(s); }
_bstr_t& _bstr_t::operator=(const OLECHAR* s) { return *this = _bstr_t(s); }
_bstr_t& _bstr_t::operator=(const _variant_t& var) { return *this = _bstr_t(var); }

_bstr_t& _bstr_t::operator+=(const _bstr_t& s) {
  UINT a = length(), b = s.length();
  BSTR w = SysAllocStringLen(nullptr, a + b);
  if (!w) _com_issue_error(E_OUTOFMEMORY);
  if (a) std::memcpy(w, m_Data->m_wstr, a * sizeof(OLECHAR));
  if (b) std::memcpy(w + a, s.m_Data->m_wstr, b * sizeof(OLECHAR));
  Data_t* d = _NewData(w);
  _Free();
  m_Data = d;
  return *this;
}

_bstr_t _bstr_t::operator+(const _bstr_t& s) const {
  _bstr_t r(*this);
  r += s;
  return r;
}

_bstr_t::operator const char*() const {
  if (!m_Data || !m_Data->m_wstr) return nullptr;
  char* a = m_Data->m_str.load(std::memory_order_acquire);
  if (!a) {
    std::string s = kx::Utf16ToUtf8(m_Data->m_wstr, SysStringLen(m_Data->m_wstr));
    char* made = new char[s.size() + 1];
    std::memcpy(made, s.c_str(), s.size() + 1);
    char* expected = nullptr;
    if (m_Data->m_str.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
      a = made;
    } else {
      delete[] made;  // another thread made it first
      a = expected;
    }
  }
  return a;
}

_bstr_t::operator char*() const { return const_cast<char*>(static_cast<const char*>(*this)); }

int _bstr_t::_Compare(const _bstr_t& s) const noexcept {
  UINT a = length(), b = s.length();
  const OLECHAR* pa = a ? m_Data->m_wstr : nullptr;
  const OLECHAR* pb = b ? s.m_Data->m_wstr : nullptr;
  for (UINT i = 0; i < a && i < b; ++i)
    if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
  return a == b ? 0 : (a < b ? -1 : 1);
}

BSTR _bstr_t::copy(bool fCopy) const {
  BSTR w = m_Data ? m_Data->m_wstr : nullptr;
  if (!fCopy || !w) return w;
  BSTR c = SysAllocStringByteLen(reinterpret_cast<const char*>(w), SysStringByteLen(w));
  if (!c) _com_issue_error(E_OUTOFMEMORY);
  return c;
}

void _bstr_t::Assign(BSTR s) { *this = _bstr_t(s, true); }

BSTR& _bstr_t::GetBSTR() {
  if (!m_Data) m_Data = _NewData(nullptr);
  return m_Data->m_wstr;
}

BSTR* _bstr_t::GetAddress() {
  Attach(nullptr);
  return &m_Data->m_wstr;
}

void _bstr_t::Attach(BSTR s) {
  _Free();
  m_Data = _NewData(s);
}

BSTR _bstr_t::Detach() {
  if (!m_Data) return nullptr;
  if (m_Data->m_RefCount.load() != 1) _com_issue_error(E_POINTER);
  BSTR w = std::exchange(m_Data->m_wstr, nullptr);
  _Free();
  return w;
}

// ---- _variant_t ----

namespace {
void Check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}
}  // namespace

_variant_t::_variant_t(const VARIANT& v) {
  VariantInit(this);
  Check(VariantCopy(this, &v));
}

_variant_t::_variant_t(const VARIANT* v) {
  VariantInit(this);
  if (!v) _com_issue_error(E_POINTER);
  Check(VariantCopy(this, v));
}

_variant_t::_variant_t(const _variant_t& v) {
  VariantInit(this);
  Check(VariantCopy(this, &v));
}

_variant_t::_variant_t(_variant_t&& v) noexcept {
  *static_cast<VARIANT*>(this) = v;
  VariantInit(&v);
}

_variant_t::_variant_t(VARIANT& v, bool fCopy) {
  VariantInit(this);
  if (fCopy) {
    Check(VariantCopy(this, &v));
  } else {
    *static_cast<VARIANT*>(this) = v;
    VariantInit(&v);
  }
}

_variant_t::_variant_t(SHORT s, VARTYPE vtSrc) {
  VariantInit(this);
  if (vtSrc == VT_BOOL) {
    vt = VT_BOOL;
    boolVal = s ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vtSrc == VT_I2) {
    vt = VT_I2;
    iVal = s;
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(LONG l, VARTYPE vtSrc) {
  VariantInit(this);
  switch (vtSrc) {
    case VT_I4: vt = VT_I4; lVal = l; break;
    case VT_INT: vt = VT_INT; intVal = l; break;
    case VT_ERROR: vt = VT_ERROR; scode = l; break;
    case VT_BOOL: vt = VT_BOOL; boolVal = l ? VARIANT_TRUE : VARIANT_FALSE; break;
    default: _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(double d, VARTYPE vtSrc) {
  VariantInit(this);
  if (vtSrc != VT_R8 && vtSrc != VT_DATE) _com_issue_error(E_INVALIDARG);
  vt = vtSrc;
  dblVal = d;
}

_variant_t::_variant_t(ULONG u, VARTYPE vtSrc) {
  VariantInit(this);
  if (vtSrc != VT_UI4 && vtSrc != VT_UINT) _com_issue_error(E_INVALIDARG);
  vt = vtSrc;
  ulVal = u;
}

_variant_t::_variant_t(const _bstr_t& s) {
  VariantInit(this);
  vt = VT_BSTR;
  bstrVal = s.copy();
}

_variant_t::_variant_t(const char* s) {
  VariantInit(this);
  if (!s) _com_issue_error(E_POINTER);
  vt = VT_BSTR;
  bstrVal = _bstr_t(s).copy();
}

_variant_t::_variant_t(const OLECHAR* s) {
  VariantInit(this);
  vt = VT_BSTR;
  bstrVal = SysAllocString(s ? s : u"");
  if (!bstrVal) {
    vt = VT_EMPTY;
    _com_issue_error(E_OUTOFMEMORY);
  }
}

_variant_t::_variant_t(IDispatch* p, bool fAddRef) noexcept {
  VariantInit(this);
  vt = VT_DISPATCH;
  pdispVal = p;
  if (p && fAddRef) p->AddRef();
}

_variant_t::_variant_t(IUnknown* p, bool fAddRef) noexcept {
  VariantInit(this);
  vt = VT_UNKNOWN;
  punkVal = p;
  if (p && fAddRef) p->AddRef();
}

_variant_t& _variant_t::operator=(const VARIANT& v) {
  Check(VariantCopy(this, &v));
  return *this;
}

_variant_t& _variant_t::operator=(_variant_t&& v) noexcept {
  if (this != &v) {
    VariantClear(this);
    *static_cast<VARIANT*>(this) = v;
    VariantInit(&v);
  }
  return *this;
}

_variant_t& _variant_t::operator=(LONG l) { return *this = _variant_t(l); }
_variant_t& _variant_t::operator=(double d) { return *this = _variant_t(d); }
_variant_t& _variant_t::operator=(const _bstr_t& s) { return *this = _variant_t(s); }
_variant_t& _variant_t::operator=(const char* s) { return *this = _variant_t(s); }
_variant_t& _variant_t::operator=(const OLECHAR* s) { return *this = _variant_t(s); }
_variant_t& _variant_t::operator=(bool b) { return *this = _variant_t(b); }
_variant_t& _variant_t::operator=(IDispatch* p) { return *this = _variant_t(p); }
_variant_t& _variant_t::operator=(IUnknown* p) { return *this = _variant_t(p); }

namespace {
_variant_t Converted(const _variant_t& v, VARTYPE t) {
  _variant_t r;
  Check(VariantChangeType(&r, &v, 0, t));
  return r;
}
}  // namespace

_variant_t::operator SHORT() const { return vt == VT_I2 ? iVal : Converted(*this, VT_I2).iVal; }
_variant_t::operator LONG() const { return vt == VT_I4 ? lVal : Converted(*this, VT_I4).lVal; }
_variant_t::operator double() const { return vt == VT_R8 ? dblVal : Converted(*this, VT_R8).dblVal; }
_variant_t::operator bool() const { return (vt == VT_BOOL ? boolVal : Converted(*this, VT_BOOL).boolVal) != 0; }
_variant_t::operator BYTE() const { return vt == VT_UI1 ? bVal : Converted(*this, VT_UI1).bVal; }
_variant_t::operator _bstr_t() const { return _bstr_t(*this); }

_variant_t::operator IDispatch*() const {
  _variant_t r = Converted(*this, VT_DISPATCH);
  IDispatch* p = r.pdispVal;
  r.vt = VT_EMPTY;  // the reference goes to the caller
  return p;
}

_variant_t::operator IUnknown*() const {
  _variant_t r = Converted(*this, VT_UNKNOWN);
  IUnknown* p = r.punkVal;
  r.vt = VT_EMPTY;
  return p;
}

bool _variant_t::operator==(const VARIANT& v) const { return kx::VariantsEqual(*this, v); }

void _variant_t::Clear() { Check(VariantClear(this)); }

void _variant_t::ChangeType(VARTYPE vartype, const _variant_t* src) {
  Check(VariantChangeType(this, src ? src : this, 0, vartype));
}

void _variant_t::Attach(VARIANT& v) {
  Clear();
  *static_cast<VARIANT*>(this) = v;
  VariantInit(&v);
}

VARIANT _variant_t::Detach() {
  VARIANT v = *this;
  VariantInit(this);
  return v;
}

VARIANT* _variant_t::GetAddress() {
  Clear();
  return this;
}

void _variant_t::SetString(const char* s) { *this = _variant_t(s); }

// ---- _com_error ----

_com_error::_com_error(HRESULT hr, IErrorInfo* perrinfo, bool fAddRef) noexcept
    : m_hresult(hr), m_perrinfo(perrinfo) {
  if (m_perrinfo && fAddRef) m_perrinfo->AddRef();
}

_com_error::_com_error(const _com_error& that) noexcept : m_hresult(that.m_hresult), m_perrinfo(that.m_perrinfo) {
  if (m_perrinfo) m_perrinfo->AddRef();
}

_com_error& _com_error::operator=(const _com_error& that) noexcept {
  if (this != &that) {
    if (that.m_perrinfo) that.m_perrinfo->AddRef();
    if (m_perrinfo) m_perrinfo->Release();
    m_hresult = that.m_hresult;
    m_perrinfo = that.m_perrinfo;
    m_message.clear();
  }
  return *this;
}

_com_error::~_com_error() {
  if (m_perrinfo) m_perrinfo->Release();
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
  if (m_perrinfo) m_perrinfo->AddRef();
  return m_perrinfo;
}

_bstr_t _com_error::Description() const {
  BSTR s = nullptr;
  if (m_perrinfo && SUCCEEDED(m_perrinfo->GetDescription(&s))) return _bstr_t(s, false);
  return _bstr_t();
}

_bstr_t _com_error::Source() const {
  BSTR s = nullptr;
  if (m_perrinfo && SUCCEEDED(m_perrinfo->GetSource(&s))) return _bstr_t(s, false);
  return _bstr_t();
}

DWORD _com_error::HelpContext() const {
  DWORD c = 0;
  if (m_perrinfo) m_perrinfo->GetHelpContext(&c);
  return c;
}

const char* _com_error::ErrorMessage() const {
  if (m_message.empty()) {
    m_message = kx::ResultCodeText(m_hresult);
    if (m_message.empty()) {
      char buf[48];
      WORD w = WCode();
      if (w) std::snprintf(buf, sizeof buf, "IDispatch error #%u", w);
      else std::snprintf(buf, sizeof buf, "Unknown error 0x%0X", static_cast<unsigned>(m_hresult));
      m_message = buf;
    }
  }
  return m_message.c_str();
}

namespace kx {

std::string ResultCodeText(HRESULT hr) {
  struct Entry {
    uint32_t code;
    const char* text;
  };
  static const Entry kTexts[] = {
      {0x00000000, "The operation completed successfully."},
      {0x00000001, "The operation completed, with a negative result."},
      {0x80004001, "Not implemented"},
      {0x80004002, "No such interface supported"},
      {0x80004003, "Invalid pointer"},
      {0x80004004, "Operation aborted"},
      {0x80004005, "Unspecified error"},
      {0x8000FFFF, "Catastrophic failure"},
      {0x8000000B, "The operation attempted to access data outside the valid range"},
      {0x80040110, "Class does not support aggregation (or class object is remote)"},
      {0x80040111, "ClassFactory cannot supply requested class"},
      {0x80040154, "Class not registered"},
      {0x800401F0, "CoInitialize has not been called."},
      {0x800401F3, "Invalid class string"},
      {0x800401F8, "DLL for class not found"},
      {0x800401F9, "Error in the DLL"},
      {0x80010106, "Cannot change thread mode after it is set."},
      {0x80020001, "Unknown interface."},
      {0x80020003, "Member not found."},
      {0x80020004, "Parameter not found."},
      {0x80020005, "Type mismatch."},
      {0x80020006, "Unknown name."},
      {0x80020007, "No named arguments."},
      {0x80020008, "Bad variable type."},
      {0x80020009, "Exception occurred."},
      {0x8002000A, "Out of present range."},
      {0x8002000B, "Invalid index."},
      {0x8002000D, "Memory is locked."},
      {0x8002000E, "Invalid number of parameters."},
      {0x8002000F, "Parameter not optional."},
      {0x80020012, "Division by zero."},
  };
  for (const Entry& e : kTexts)
    if (e.code == static_cast<uint32_t>(hr)) return e.text;
  // Codes of facility WIN32 carry a system error.
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32 && FAILED(hr)) return SystemMessageText(HRESULT_CODE(hr));
  return "";
}

}  // namespace kx
