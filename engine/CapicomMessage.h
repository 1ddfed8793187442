// What the message wrappers share: binary content in and out through the engine's Content property.
#pragma once

#include "engine/CapicomObject.h"

namespace kx::engine {

// Moves a binary BSTR of the engine into out (left empty when it has no bytes) and frees it; true when bytes
// were copied.
bool TakeBinary(BSTR message, CByteBuffer& out);

// Runs an engine call that hands out a BSTR; a failure frees whatever it handed out and is raised.
template <class F>
BSTR ProducedBstr(F call) {
  BSTR out = nullptr;
  HRESULT hr = call(&out);
  if (FAILED(hr)) {
    SysFreeString(out);
    Raise(hr);
  }
  return out;
}

// The engine's Content from a buffer (an empty buffer, or an empty wrapper, changes nothing).
template <class I>
void PutBinaryContent(I* p, const CByteBuffer& content) {
  if (!p || content.GetLength() == 0) return;
  Rethrow([&] {
    BSTR bytes = ToBinaryBstr(content);
    HRESULT hr = p->put_Content(bytes);
    SysFreeString(bytes);
    Check(hr);
  });
}

// The engine's Content into a buffer; true when the engine gave one.
template <class I>
bool GetBinaryContent(I* p, CByteBuffer& out) {
  BSTR content = nullptr;
  try {
    if (p) content = Rethrow([&] { return ProducedBstr([&](BSTR* m) { return p->get_Content(m); }); });
  } catch (...) {
    out.Free(out.IsWiped());
    throw;
  }
  return TakeBinary(content, out);
}

}  // namespace kx::engine
