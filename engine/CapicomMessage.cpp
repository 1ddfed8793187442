#include "engine/CapicomMessage.h"

namespace kx::engine {

bool TakeBinary(BSTR message, CByteBuffer& out) {
  const DWORD n = message ? SysStringByteLen(message) : 0;
  // out's block is written over when it has the length already (the next chunk of a file).
  bool copied = n > 0 && out.CopyFrom(message, n);
  if (!copied) out.Free(out.IsWiped());
  SysFreeString(message);  // freed also when empty, so nothing leaks
  return copied;
}

}  // namespace kx::engine
