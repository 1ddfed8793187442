#include "controls/ControlsHost.h"

#include <atomic>

namespace {

// Atomic: set by the thread that makes the application object, read by any thread that draws.
std::atomic<CString (*)(UINT)> g_text{nullptr};
std::atomic<bool (*)()> g_opaqueLabels{nullptr};

}  // namespace

void SetControlsHost(const ControlsHost& host) {
  g_text.store(host.text);
  g_opaqueLabels.store(host.opaqueLabels);
}

CString ControlText(UINT id) {
  CString (*text)(UINT) = g_text.load();
  return text ? text(id) : CString();
}

bool OpaqueLabels() {
  bool (*opaque)() = g_opaqueLabels.load();
  return opaque && opaque();
}
