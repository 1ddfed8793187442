#include "engine/CapicomMessage.h"

namespace kx::engine {

bool TakeBinary(BSTR message, CByteBuffer& out) {
  out.Free(out.IsWiped());
  bool copied = message && SysStringByteLen(message) > 0 && out.SetBstrAt(message, 0, false);
  SysFreeString(message);  // freed also when empty, so nothing leaks
  return copied;
}

}  // namespace kx::engine
