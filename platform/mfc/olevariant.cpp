#include "platform/mfc/olevariant.h"

#include <cstring>

#include "platform/mfc/collections.h"
#include "platform/mfc/exceptions.h"

namespace {
void Check(HRESULT hr) {
  if (FAILED(hr)) AfxThrowOleException(hr);
}
}  // namespace

COleVariant::COleVariant(const VARIANT& v) {
  VariantInit(this);
  Check(VariantCopy(this, &v));
}

COleVariant::COleVariant(const VARIANT* v) {
  VariantInit(this);
  if (v) Check(VariantCopy(this, v));
}

COleVariant::COleVariant(const COleVariant& v) {
  VariantInit(this);
  Check(VariantCopy(this, &v));
}

COleVariant::COleVariant(COleVariant&& v) noexcept {
  *static_cast<VARIANT*>(this) = v;
  VariantInit(&v);
}

COleVariant::COleVariant(LPCTSTR s) {
  VariantInit(this);
  SetString(s);
}

COleVariant::COleVariant(const CString& s) {
  VariantInit(this);
  SetString(s);
}

COleVariant::COleVariant(SHORT s, VARTYPE vtSrc) {
  VariantInit(this);
  if (vtSrc == VT_BOOL) {
    vt = VT_BOOL;
    boolVal = s ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    vt = VT_I2;
    iVal = s;
  }
}

COleVariant::COleVariant(LONG l, VARTYPE vtSrc) {
  VariantInit(this);
  if (vtSrc == VT_BOOL) {
    vt = VT_BOOL;
    boolVal = l ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vtSrc == VT_ERROR) {
    vt = VT_ERROR;
    scode = l;
  } else {
    vt = VT_I4;
    lVal = l;
  }
}

COleVariant::COleVariant(double d, VARTYPE vtSrc) {
  VariantInit(this);
  vt = vtSrc == VT_DATE ? VT_DATE : VT_R8;
  dblVal = d;
}

COleVariant::COleVariant(const COleDateTime& d) {
  VariantInit(this);
  vt = VT_DATE;
  date = d.m_dt;
}

COleVariant::COleVariant(const CByteArray& bytes) {
  VariantInit(this);
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.GetSize()));
  if (!psa) AfxThrowMemoryException();
  if (bytes.GetSize()) std::memcpy(psa->pvData, bytes.GetData(), static_cast<size_t>(bytes.GetSize()));
  vt = VT_ARRAY | VT_UI1;
  parray = psa;
}

COleVariant& COleVariant::operator=(const VARIANT& v) {
  Check(VariantCopy(this, &v));
  return *this;
}

COleVariant& COleVariant::operator=(COleVariant&& v) noexcept {
  if (this != &v) {
    VariantClear(this);
    *static_cast<VARIANT*>(this) = v;
    VariantInit(&v);
  }
  return *this;
}

bool COleVariant::operator==(const VARIANT& v) const { return kx::VariantsEqual(*this, v); }

void COleVariant::ChangeType(VARTYPE vartype, LPVARIANT pSrc) {
  Check(VariantChangeType(this, pSrc ? pSrc : this, 0, vartype));
}

void COleVariant::Attach(VARIANT& v) {
  Check(VariantClear(this));
  *static_cast<VARIANT*>(this) = v;
  VariantInit(&v);
}

VARIANT COleVariant::Detach() {
  VARIANT v = *this;
  VariantInit(this);
  return v;
}

void COleVariant::SetString(LPCTSTR s, VARTYPE) {
  Check(VariantClear(this));
  std::u16string w = CString(s).ToUtf16();
  bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  if (!bstrVal) AfxThrowMemoryException();
  vt = VT_BSTR;
}

void COleVariant::GetByteArrayFromVariantArray(CByteArray& bytes) {
  if (vt != (VT_ARRAY | VT_UI1) || !parray || SafeArrayGetDim(parray) != 1)
    AfxThrowOleException(DISP_E_TYPEMISMATCH);
  LONG lo, hi;
  Check(SafeArrayGetLBound(parray, 1, &lo));
  Check(SafeArrayGetUBound(parray, 1, &hi));
  INT_PTR n = hi >= lo ? static_cast<INT_PTR>(hi) - lo + 1 : 0;
  bytes.SetSize(n);
  void* data = nullptr;
  Check(SafeArrayAccessData(parray, &data));
  if (n) std::memcpy(bytes.GetData(), data, static_cast<size_t>(n));
  SafeArrayUnaccessData(parray);
}
