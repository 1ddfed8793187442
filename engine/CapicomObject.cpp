#include "engine/CapicomObject.h"

namespace kx::engine {

void Raise(HRESULT hr) { _com_issue_error(hr); }

BSTR ToBinaryBstr(const CByteBuffer& buffer) {
  if (buffer.GetLength() == 0) return nullptr;
  BSTR b = SysAllocStringByteLen(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetLength());
  if (!b) Raise(E_OUTOFMEMORY);
  return b;
}

CByteBuffer FromBinaryBstr(BSTR bstr) {
  CByteBuffer out;
  if (bstr) out.SetBstrAt(bstr, 0, false);
  return out;
}

_bstr_t ToBstr(const char* text) { return _bstr_t(text ? text : ""); }

}  // namespace kx::engine
