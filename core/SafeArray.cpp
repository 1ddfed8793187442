#include "core/SafeArray.h"

#include <cstring>

#include "platform/com/comutil.h"

namespace {

// Locks an array for reading and unlocks it when leaving the scope.
struct Lock {
  SAFEARRAY* psa;
  HRESULT hr;
  explicit Lock(SAFEARRAY* p) : psa(p), hr(SafeArrayLock(p)) {}
  ~Lock() {
    if (SUCCEEDED(hr)) SafeArrayUnlock(psa);
  }
};

}  // namespace

CSafeArray::CSafeArray() { VariantInit(&m_var); }

CSafeArray::CSafeArray(SAFEARRAY* psa, VARTYPE type) {
  VariantInit(&m_var);
  SAFEARRAY* copy = nullptr;
  HRESULT hr = SafeArrayCopy(psa, &copy);
  if (FAILED(hr)) _com_issue_error(hr);
  m_var.vt = static_cast<VARTYPE>(type | VT_ARRAY);
  m_var.parray = copy;
  CacheCounts();
}

CSafeArray::CSafeArray(const CByteBuffer& buffer) {
  VariantInit(&m_var);
  if (buffer.GetLength()) SetByteBuffer(buffer);
}

CSafeArray::CSafeArray(const VARIANT& v) {
  VariantInit(&m_var);
  *this = v;
}

CSafeArray::CSafeArray(const CSafeArray& other) {
  VariantInit(&m_var);
  *this = other;
}

CSafeArray::~CSafeArray() { Clear(); }

void CSafeArray::CopyFrom(const VARIANT& v) {
  Clear();
  HRESULT hr = VariantCopy(&m_var, &v);
  if (FAILED(hr)) _com_issue_error(hr);
}

CSafeArray& CSafeArray::operator=(const VARIANT& v) {
  if (&v == &m_var || !(v.vt & VT_ARRAY)) return *this;
  CopyFrom(v);
  CacheCounts();
  return *this;
}

CSafeArray& CSafeArray::operator=(const CSafeArray& other) {
  if (&other == this || !(other.m_var.vt & VT_ARRAY)) return *this;
  CopyFrom(other.m_var);
  CacheCounts();
  return *this;
}

void CSafeArray::CacheCounts() {
  m_nElemSize = HasArray() ? SafeArrayGetElemsize(m_var.parray) : 0;
  m_nDims = HasArray() ? SafeArrayGetDim(m_var.parray) : 0;
}

void CSafeArray::Clear() {
  VariantClear(&m_var);
  m_var.vt = VT_EMPTY;
}

void CSafeArray::Attach(VARIANT& source) {
  if (!(source.vt & VT_ARRAY)) return;
  Clear();
  m_var = source;
  VariantInit(&source);
  CacheCounts();
}

void CSafeArray::Detach(VARIANT* out) {
  if (!out) return;
  *out = m_var;
  VariantInit(&m_var);
  m_nElemSize = m_nDims = 0;
}

UINT CSafeArray::GetDim() const { return HasArray() ? SafeArrayGetDim(m_var.parray) : 0; }

UINT CSafeArray::GetElemSize() const { return HasArray() ? SafeArrayGetElemsize(m_var.parray) : 0; }

ULONG CSafeArray::GetOneDimSize() const {
  if (GetDim() != 1) return 1;
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(m_var.parray, 1, &lower);
  SafeArrayGetUBound(m_var.parray, 1, &upper);
  return static_cast<ULONG>(upper + 1 - lower);
}

void CSafeArray::ResizeOneDim(ULONG count) {
  if (GetDim() != 1) return;
  SAFEARRAYBOUND bound = {count, 0};
  SafeArrayRedim(m_var.parray, &bound);
}

void CSafeArray::CreateOneDim(VARTYPE type, ULONG count, const void* data, LONG lowerBound) {
  if (count == 0 || (type & (VT_ARRAY | VT_BYREF | VT_VECTOR)) || type == VT_EMPTY || type == VT_NULL) return;
  Clear();
  SAFEARRAYBOUND bound = {count, lowerBound};
  SAFEARRAY* psa = SafeArrayCreate(type, 1, &bound);
  if (!psa) return;
  m_var.vt = static_cast<VARTYPE>(type | VT_ARRAY);
  m_var.parray = psa;
  m_nDims = 1;
  m_nElemSize = SafeArrayGetElemsize(psa);
  if (data) {
    void* p = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(psa, &p))) {
      std::memcpy(p, data, static_cast<size_t>(count) * m_nElemSize);
      SafeArrayUnaccessData(psa);
    }
  }
}

void CSafeArray::SetByteBuffer(const CByteBuffer& buffer) {
  if (buffer.GetLength()) CreateOneDim(VT_UI1, buffer.GetLength(), buffer.GetData(), 0);
}

CByteBuffer CSafeArray::GetByteBuffer() const {
  CByteBuffer out;
  if (!HasArray()) return out;
  uint64_t n = static_cast<uint64_t>(GetElemSize()) * GetOneDimSize();
  if (n == 0 || n > 0xFFFFFFFFu) return out;
  void* p = nullptr;
  if (FAILED(SafeArrayAccessData(m_var.parray, &p))) return out;
  out.SetAt(static_cast<DWORD>(n), p, 0);
  SafeArrayUnaccessData(m_var.parray);
  return out;
}

bool CSafeArray::ArraysEqual(SAFEARRAY* a, SAFEARRAY* b) {
  if (!a || !b) return a == b;
  if (a == b) return true;
  UINT dims = SafeArrayGetDim(a);
  if (dims != SafeArrayGetDim(b)) return false;
  if (dims == 0) return true;
  ULONG size = SafeArrayGetElemsize(a);
  if (size != SafeArrayGetElemsize(b)) return false;
  uint64_t total = size;
  for (UINT d = 1; d <= dims; ++d) {
    LONG la, ua, lb, ub;
    if (FAILED(SafeArrayGetLBound(a, d, &la)) || FAILED(SafeArrayGetUBound(a, d, &ua)) ||
        FAILED(SafeArrayGetLBound(b, d, &lb)) || FAILED(SafeArrayGetUBound(b, d, &ub)))
      return false;
    if (ua - la != ub - lb) return false;
    total *= static_cast<uint64_t>(static_cast<int64_t>(ua) - la + 1);
  }
  HRESULT failure = S_OK;
  bool equal = false;
  {
    Lock la(a), lb(b);
    if (FAILED(la.hr))
      failure = la.hr;
    else if (FAILED(lb.hr))
      failure = lb.hr;
    else
      equal = total == 0 || std::memcmp(a->pvData, b->pvData, static_cast<size_t>(total)) == 0;
  }
  if (FAILED(failure)) _com_issue_error(failure);  // raised after both arrays are unlocked
  return equal;
}

bool CSafeArray::operator==(const CSafeArray& other) const { return *this == other.m_var; }

bool CSafeArray::operator==(const VARIANT& other) const {
  if (m_var.vt != other.vt) return false;
  return ArraysEqual(HasArray() ? m_var.parray : nullptr, (other.vt & VT_ARRAY) ? other.parray : nullptr);
}

bool CSafeArray::operator==(SAFEARRAY* other) const {
  return ArraysEqual(HasArray() ? m_var.parray : nullptr, other);
}
