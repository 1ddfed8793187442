// SAFEARRAY: a descriptor with its element type kept in front of it, and zero-filled data where dimension 1
// varies fastest.
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/com/oleauto.h"

namespace {

struct alignas(16) Header {
  VARTYPE vt;
};

Header* HeaderOf(SAFEARRAY* psa) { return reinterpret_cast<Header*>(reinterpret_cast<char*>(psa) - sizeof(Header)); }

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_R8: case VT_DATE: case VT_CY: case VT_I8: case VT_UI8: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_DISPATCH: case VT_UNKNOWN: return sizeof(IUnknown*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  USHORT f = FADF_HAVEVARTYPE;
  if (vt == VT_BSTR) f |= FADF_BSTR;
  if (vt == VT_UNKNOWN) f |= FADF_UNKNOWN;
  if (vt == VT_DISPATCH) f |= FADF_DISPATCH;
  if (vt == VT_VARIANT) f |= FADF_VARIANT;
  return f;
}

bool TotalElements(const SAFEARRAY* psa, size_t& total) {
  total = 1;
  for (USHORT i = 0; i < psa->cDims; ++i) {
    size_t n = psa->rgsabound[i].cElements;
    if (n != 0 && total > SIZE_MAX / n) return false;
    total *= n;
  }
  return !(psa->cbElements && total > SIZE_MAX / psa->cbElements);
}

// Releases what the elements own: strings, interface references, variants.
void ClearElements(VARTYPE vt, void* data, size_t from, size_t to, ULONG cb) {
  char* p = static_cast<char*>(data);
  for (size_t i = from; i < to; ++i) {
    void* e = p + i * cb;
    switch (vt) {
      case VT_BSTR: SysFreeString(*static_cast<BSTR*>(e)); *static_cast<BSTR*>(e) = nullptr; break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (auto* u = *static_cast<IUnknown**>(e)) u->Release();
        *static_cast<IUnknown**>(e) = nullptr;
        break;
      case VT_VARIANT: VariantClear(static_cast<VARIANT*>(e)); break;
      default: return;
    }
  }
}

// Copies one element into raw (zeroed) storage.
HRESULT CopyElement(VARTYPE vt, void* to, const void* from, ULONG cb) {
  switch (vt) {
    case VT_BSTR: {
      BSTR s = *static_cast<const BSTR*>(from);
      BSTR c = nullptr;
      if (s) {
        c = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
        if (!c) return E_OUTOFMEMORY;
      }
      *static_cast<BSTR*>(to) = c;
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* u = *static_cast<IUnknown* const*>(from);
      if (u) u->AddRef();
      *static_cast<IUnknown**>(to) = u;
      return S_OK;
    }
    case VT_VARIANT:
      VariantInit(static_cast<VARIANT*>(to));
      return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
    default:
      std::memcpy(to, from, cb);
      return S_OK;
  }
}

SAFEARRAY* Allocate(VARTYPE vt, UINT cDims) {
  size_t size = sizeof(Header) + offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
  void* block = std::calloc(1, size);
  if (!block) return nullptr;
  static_cast<Header*>(block)->vt = vt;
  return reinterpret_cast<SAFEARRAY*>(static_cast<char*>(block) + sizeof(Header));
}

void FreeDescriptor(SAFEARRAY* psa) { std::free(HeaderOf(psa)); }

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds) {
  ULONG cb = ElementSize(vt);
  if (cb == 0 || cDims == 0 || cDims > 0xFFFF || !bounds) return nullptr;
  SAFEARRAY* psa = Allocate(vt, cDims);
  if (!psa) return nullptr;
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = FeaturesOf(vt);
  psa->cbElements = cb;
  for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = bounds[i];
  size_t total;
  if (!TotalElements(psa, total)) {
    FreeDescriptor(psa);
    return nullptr;
  }
  psa->pvData = std::calloc(total ? total : 1, cb);
  if (!psa->pvData) {
    FreeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND b{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  size_t total;
  if (TotalElements(psa, total)) ClearElements(HeaderOf(psa)->vt, psa->pvData, 0, total, psa->cbElements);
  std::free(psa->pvData);
  FreeDescriptor(psa);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  ++psa->cLocks;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  *pvt = HeaderOf(psa)->vt;
  return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
  if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
  size_t offset = 0, stride = 1;
  for (UINT k = 1; k <= psa->cDims; ++k) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - k];
    int64_t rel = static_cast<int64_t>(rgIndices[k - 1]) - b.lLbound;
    if (rel < 0 || rel >= static_cast<int64_t>(b.cElements)) return DISP_E_BADINDEX;
    offset += static_cast<size_t>(rel) * stride;
    stride *= b.cElements;
  }
  *ppvData = static_cast<char*>(psa->pvData) + offset * psa->cbElements;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!pv) return E_INVALIDARG;
  void* e;
  HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &e);
  if (FAILED(hr)) return hr;
  VARTYPE vt = HeaderOf(psa)->vt;
  if (vt == VT_VARIANT) VariantInit(static_cast<VARIANT*>(pv));
  return CopyElement(vt, pv, e, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* e;
  HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &e);
  if (FAILED(hr)) return hr;
  VARTYPE vt = HeaderOf(psa)->vt;
  // Strings and interfaces are passed as the value itself, everything else by address.
  void* source = pv;
  if (vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN) source = &pv;
  else if (!pv) return E_INVALIDARG;
  alignas(16) unsigned char fresh[sizeof(VARIANT)] = {};
  hr = CopyElement(vt, fresh, source, psa->cbElements);
  if (FAILED(hr)) return hr;
  ClearElements(vt, e, 0, 1, psa->cbElements);
  std::memcpy(e, fresh, psa->cbElements);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  VARTYPE vt = HeaderOf(psa)->vt;
  SAFEARRAY* copy = Allocate(vt, psa->cDims);
  if (!copy) return E_OUTOFMEMORY;
  copy->cDims = psa->cDims;
  copy->fFeatures = psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE);
  copy->cbElements = psa->cbElements;
  std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
  size_t total;
  if (!TotalElements(psa, total) || !(copy->pvData = std::calloc(total ? total : 1, psa->cbElements))) {
    FreeDescriptor(copy);
    return E_OUTOFMEMORY;
  }
  for (size_t i = 0; i < total; ++i) {
    HRESULT hr = CopyElement(vt, static_cast<char*>(copy->pvData) + i * psa->cbElements,
                             static_cast<char*>(psa->pvData) + i * psa->cbElements, psa->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
  if (!psa || !psaboundNew) return E_INVALIDARG;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  size_t oldTotal, newTotal;
  if (!TotalElements(psa, oldTotal)) return E_UNEXPECTED;
  SAFEARRAYBOUND saved = psa->rgsabound[0];
  psa->rgsabound[0] = *psaboundNew;  // the last dimension: the slowest varying
  if (!TotalElements(psa, newTotal)) {
    psa->rgsabound[0] = saved;
    return E_OUTOFMEMORY;
  }
  VARTYPE vt = HeaderOf(psa)->vt;
  if (newTotal < oldTotal) ClearElements(vt, psa->pvData, newTotal, oldTotal, psa->cbElements);
  void* data = std::realloc(psa->pvData, (newTotal ? newTotal : 1) * psa->cbElements);
  if (!data) {
    psa->rgsabound[0] = saved;
    return E_OUTOFMEMORY;
  }
  if (newTotal > oldTotal)
    std::memset(static_cast<char*>(data) + oldTotal * psa->cbElements, 0, (newTotal - oldTotal) * psa->cbElements);
  psa->pvData = data;
  return S_OK;
}

}  // extern "C"
