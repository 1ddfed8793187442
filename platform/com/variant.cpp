// VARIANT ownership and conversions.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com/oleauto.h"
#include "platform/win32/textconv.h"

namespace {

bool IsKnownBase(VARTYPE t) {
  switch (t) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_UNKNOWN:
    case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

// A type word a VARIANT may carry.
bool IsValidType(VARTYPE vt) {
  if (vt & (VT_VECTOR | VT_RESERVED)) return false;
  VARTYPE base = vt & VT_TYPEMASK;
  if (!IsKnownBase(base)) return false;
  if (base == VT_VARIANT && !(vt & (VT_BYREF | VT_ARRAY))) return false;
  if ((base == VT_EMPTY || base == VT_NULL) && (vt & (VT_BYREF | VT_ARRAY))) return false;
  return true;
}

BSTR CopyBstr(BSTR s, HRESULT& hr) {
  hr = S_OK;
  if (!s) return nullptr;
  BSTR c = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
  if (!c) hr = E_OUTOFMEMORY;
  return c;
}

// ---- Numbers ----

// A number taken from a variant: exact integers, or a double.
struct Num {
  bool isInt = true;
  __int128 i = 0;
  double d = 0;
  bool fromBool = false;
  double AsDouble() const { return isInt ? static_cast<double>(i) : d; }
};

bool NumFromValue(const VARIANT& v, Num& n) {
  switch (v.vt) {
    case VT_EMPTY: n.i = 0; return true;
    case VT_I1: n.i = v.cVal; return true;
    case VT_UI1: n.i = v.bVal; return true;
    case VT_I2: n.i = v.iVal; return true;
    case VT_UI2: n.i = v.uiVal; return true;
    case VT_I4: case VT_INT: n.i = v.lVal; return true;
    case VT_UI4: case VT_UINT: n.i = v.ulVal; return true;
    case VT_I8: n.i = v.llVal; return true;
    case VT_UI8: n.i = v.ullVal; return true;
    case VT_BOOL: n.i = v.boolVal ? -1 : 0; n.fromBool = true; return true;
    case VT_R4: n.isInt = false; n.d = v.fltVal; return true;
    case VT_R8: case VT_DATE: n.isInt = false; n.d = v.dblVal; return true;
    default: return false;
  }
}

// Parses a number as the en-US locale writes it: blanks around, sign, digits with "," group separators,
// a "." fraction and an exponent.
HRESULT NumFromText(const std::string& text, Num& n) {
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) return DISP_E_TYPEMISMATCH;
  std::string s = text.substr(b, e - b + 1);
  std::string clean;
  bool fraction = false, exponent = false, digits = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      clean += c;
    } else if (c == ',' && !fraction && !exponent && digits) {
      continue;
    } else if (c == '.' && !fraction && !exponent) {
      fraction = true;
      clean += c;
    } else if ((c == 'e' || c == 'E') && digits && !exponent) {
      exponent = true;
      clean += 'e';
      if (i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) clean += s[++i];
    } else if ((c == '+' || c == '-') && i == 0) {
      if (c == '-') clean += c;
    } else {
      return DISP_E_TYPEMISMATCH;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  const char* first = clean.data();
  const char* last = first + clean.size();
  if (!fraction && !exponent) {
    long long v;
    auto r = std::from_chars(first, last, v);
    if (r.ec == std::errc() && r.ptr == last) {
      n.isInt = true;
      n.i = v;
      return S_OK;
    }
    unsigned long long u;
    auto ru = std::from_chars(first, last, u);
    if (ru.ec == std::errc() && ru.ptr == last) {
      n.isInt = true;
      n.i = u;
      return S_OK;
    }
  }
  double d;
  auto r = std::from_chars(first, last, d);
  if (r.ptr != last) return DISP_E_TYPEMISMATCH;
  if (r.ec == std::errc::result_out_of_range || std::isinf(d)) return DISP_E_OVERFLOW;
  n.isInt = false;
  n.d = d;
  return S_OK;
}

// An integer in [lo, hi]; fractions round half to even as the platform does.
HRESULT ToInteger(const Num& n, __int128 lo, __int128 hi, __int128& out) {
  __int128 v;
  if (n.isInt) {
    v = n.i;
  } else {
    double r = std::nearbyint(n.d);
    if (std::isnan(r) || std::fabs(r) > 1.7e38) return DISP_E_OVERFLOW;
    v = static_cast<__int128>(r);
  }
  if (v < lo || v > hi) return DISP_E_OVERFLOW;
  out = v;
  return S_OK;
}

std::string NumberText(const VARIANT& v) {
  char buf[64];
  switch (v.vt) {
    case VT_R4: std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(v.fltVal)); break;
    case VT_R8: std::snprintf(buf, sizeof buf, "%.15G", v.dblVal); break;
    case VT_UI8: std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v.ullVal)); break;
    default: {
      Num n;
      NumFromValue(v, n);
      std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n.i));
    }
  }
  return buf;
}

HRESULT TextOf(const VARIANT& v, std::string& out) {
  UINT len = SysStringLen(v.bstrVal);
  out = kx::Utf16ToUtf8(v.bstrVal ? v.bstrVal : u"", len);
  return S_OK;
}

HRESULT MakeBstr(const std::string& text, VARIANT& out) {
  std::u16string w = kx::Utf8ToUtf16(text);
  out.vt = VT_BSTR;
  out.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  return out.bstrVal ? S_OK : E_OUTOFMEMORY;
}

bool IsNumericTarget(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_DATE: case VT_BOOL:
      return true;
    default:
      return false;
  }
}

// Stores a number as the target type.
HRESULT NumToTarget(const Num& n, VARTYPE vt, VARIANT& out) {
  __int128 v = 0;
  HRESULT hr = S_OK;
  // A boolean goes to the unsigned types as its bit pattern (VARIANT_TRUE -> all ones).
  if (n.fromBool && n.i == -1) {
    switch (vt) {
      case VT_UI1: out.vt = vt; out.bVal = 0xFF; return S_OK;
      case VT_UI2: out.vt = vt; out.uiVal = 0xFFFF; return S_OK;
      case VT_UI4: case VT_UINT: out.vt = vt; out.ulVal = 0xFFFFFFFFu; return S_OK;
      case VT_UI8: out.vt = vt; out.ullVal = ~0ULL; return S_OK;
      default: break;
    }
  }
  switch (vt) {
    case VT_I1: hr = ToInteger(n, -128, 127, v); if (SUCCEEDED(hr)) out.cVal = static_cast<CHAR>(v); break;
    case VT_UI1: hr = ToInteger(n, 0, 255, v); if (SUCCEEDED(hr)) out.bVal = static_cast<BYTE>(v); break;
    case VT_I2: hr = ToInteger(n, INT16_MIN, INT16_MAX, v); if (SUCCEEDED(hr)) out.iVal = static_cast<SHORT>(v); break;
    case VT_UI2: hr = ToInteger(n, 0, UINT16_MAX, v); if (SUCCEEDED(hr)) out.uiVal = static_cast<USHORT>(v); break;
    case VT_I4: case VT_INT:
      hr = ToInteger(n, INT32_MIN, INT32_MAX, v); if (SUCCEEDED(hr)) out.lVal = static_cast<LONG>(v); break;
    case VT_UI4: case VT_UINT:
      hr = ToInteger(n, 0, UINT32_MAX, v); if (SUCCEEDED(hr)) out.ulVal = static_cast<ULONG>(v); break;
    case VT_I8: hr = ToInteger(n, INT64_MIN, INT64_MAX, v); if (SUCCEEDED(hr)) out.llVal = static_cast<LONGLONG>(v); break;
    case VT_UI8: hr = ToInteger(n, 0, UINT64_MAX, v); if (SUCCEEDED(hr)) out.ullVal = static_cast<ULONGLONG>(v); break;
    case VT_R4: {
      double d = n.AsDouble();
      if (std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      out.fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8: out.dblVal = n.AsDouble(); break;
    case VT_DATE: {
      double d = n.AsDouble();
      if (!(d > -657435.0 && d < 2958466.0)) return DISP_E_OVERFLOW;
      out.date = d;
      break;
    }
    case VT_BOOL: out.boolVal = (n.isInt ? n.i != 0 : n.d != 0) ? VARIANT_TRUE : VARIANT_FALSE; break;
    default: return DISP_E_TYPEMISMATCH;
  }
  if (FAILED(hr)) return hr;
  out.vt = vt;
  return S_OK;
}

HRESULT Convert(const VARIANT& src, VARIANT& out, USHORT flags, VARTYPE vt, int depth);

// The object's default value (DISPID_VALUE), as the platform converts objects.
HRESULT ValueOfObject(IDispatch* d, VARIANT& value) {
  if (!d) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantInit(&value);
  HRESULT hr = d->Invoke(DISPID_VALUE, IID_NULL, 0x0400, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT Convert(const VARIANT& src, VARIANT& out, USHORT flags, VARTYPE vt, int depth) {
  VariantInit(&out);
  VARTYPE from = src.vt;
  if (vt == VT_EMPTY) return S_OK;
  if (from == vt && vt != VT_DISPATCH && vt != VT_UNKNOWN) return VariantCopy(&out, &src);
  if ((from & VT_ARRAY) || (vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;

  switch (vt) {
    case VT_NULL:
      return from == VT_NULL ? (out.vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      if (from != VT_DISPATCH && from != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
      IUnknown* p = src.punkVal;
      if (!p) {
        out.vt = vt;
        out.punkVal = nullptr;
        return S_OK;
      }
      void* q = nullptr;
      HRESULT hr = p->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &q);
      if (FAILED(hr)) return hr;
      out.vt = vt;
      out.punkVal = static_cast<IUnknown*>(q);
      return S_OK;
    }
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    default:
      break;
  }
  if (vt != VT_BSTR && !IsNumericTarget(vt)) return DISP_E_BADVARTYPE;

  switch (from) {
    case VT_NULL:
    case VT_ERROR:
    case VT_UNKNOWN:
      return DISP_E_TYPEMISMATCH;
    case VT_DISPATCH: {
      if ((flags & VARIANT_NOVALUEPROP) || depth > 4) return DISP_E_TYPEMISMATCH;
      VARIANT value;
      HRESULT hr = ValueOfObject(src.pdispVal, value);
      if (FAILED(hr)) return hr;
      hr = Convert(value, out, flags, vt, depth + 1);
      VariantClear(&value);
      return hr;
    }
    case VT_BSTR: {
      std::string text;
      TextOf(src, text);
      if (vt == VT_BSTR) return MakeBstr(text, out);
      if (vt == VT_DATE) {
        HRESULT hr = VarDateFromStr(src.bstrVal ? src.bstrVal : u"", 0x0400, 0, &out.date);
        if (FAILED(hr)) return hr;
        out.vt = VT_DATE;
        return S_OK;
      }
      if (vt == VT_BOOL) {
        std::string t;
        for (char c : text)
          if (c != ' ' && c != '\t') t += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        if (t == "TRUE" || t == "FALSE") {
          out.vt = VT_BOOL;
          out.boolVal = t == "TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
          return S_OK;
        }
      }
      Num n;
      HRESULT hr = NumFromText(text, n);
      if (FAILED(hr)) return hr;
      return NumToTarget(n, vt, out);
    }
    default:
      break;
  }
  if (!IsKnownBase(from) || from == VT_CY || from == VT_DECIMAL) return DISP_E_BADVARTYPE;

  if (vt == VT_BSTR) {
    if (from == VT_EMPTY) return MakeBstr("", out);
    if (from == VT_DATE) {
      out.vt = VT_BSTR;
      return VarBstrFromDate(src.date, 0x0400, 0, &out.bstrVal);
    }
    if (from == VT_BOOL) {
      bool alpha = flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL);
      return MakeBstr(src.boolVal ? (alpha ? "True" : "-1") : (alpha ? "False" : "0"), out);
    }
    return MakeBstr(NumberText(src), out);
  }
  Num n;
  if (!NumFromValue(src, n)) return DISP_E_TYPEMISMATCH;
  return NumToTarget(n, vt, out);
}

}  // namespace

namespace kx {

bool VariantsEqual(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  if (a.vt & (VT_BYREF | VT_ARRAY)) return a.byref == b.byref;
  switch (a.vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR: {
      UINT n = SysStringByteLen(a.bstrVal);
      return n == SysStringByteLen(b.bstrVal) && (n == 0 || std::memcmp(a.bstrVal, b.bstrVal, n) == 0);
    }
    case VT_R4: return a.fltVal == b.fltVal;
    case VT_R8: case VT_DATE: return a.dblVal == b.dblVal;
    case VT_I1: case VT_UI1: return a.bVal == b.bVal;
    case VT_I2: case VT_UI2: case VT_BOOL: return a.iVal == b.iVal;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: return a.lVal == b.lVal;
    case VT_DISPATCH: case VT_UNKNOWN: return a.punkVal == b.punkVal;
    default: return a.llVal == b.llVal;
  }
}

}  // namespace kx

extern "C" {

void VariantInit(VARIANTARG* v) {
  if (!v) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  if (!(v->vt & VT_BYREF)) {
    if (!IsValidType(v->vt)) return DISP_E_BADVARTYPE;
    if (v->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(v->parray);
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal) {
      v->punkVal->Release();
    }
  }
  v->vt = VT_EMPTY;
  v->llVal = 0;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!(src->vt & VT_BYREF) && !IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  VARIANT copy = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      hr = SafeArrayCopy(src->parray, &copy.parray);
    } else if (src->vt == VT_BSTR) {
      copy.bstrVal = CopyBstr(src->bstrVal, hr);
    } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal) {
      src->punkVal->AddRef();
    }
    if (FAILED(hr)) return hr;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  VARTYPE base = src->vt & ~VT_BYREF;
  if (!IsValidType(base == VT_VARIANT ? VT_VARIANT | VT_BYREF : base) || !src->byref) return DISP_E_BADVARTYPE;
  VARIANT value;
  VariantInit(&value);
  if (base == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if (inner->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    value = *inner;  // shallow, copied deeply below
  } else {
    value.vt = base;
    if (base & VT_ARRAY) value.parray = *src->pparray;
    else {
      size_t size = 0;
      switch (base) {
        case VT_I1: case VT_UI1: size = 1; break;
        case VT_I2: case VT_UI2: case VT_BOOL: size = 2; break;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: size = 4; break;
        case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: size = sizeof(void*); break;
        default: size = 8; break;
      }
      std::memcpy(&value.llVal, src->byref, size);
    }
  }
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = VariantCopy(&result, &value);
  if (FAILED(hr)) return hr;
  if (dest == src) {
    *dest = result;  // the source only referred to the value
    return S_OK;
  }
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if ((vt & VT_BYREF) || !IsValidType(vt)) return DISP_E_BADVARTYPE;
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = VariantCopyInd(&value, src);
  if (FAILED(hr)) return hr;
  VARIANT result;
  hr = Convert(value, result, flags, vt, 0);
  VariantClear(&value);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, src, 0x0400, flags, vt);
}

}  // extern "C"
