// The zip component is installed with the platform: its class is served by its own module.
#include "platform/services/zipcomponent.h"

namespace {
const bool kRegistered = [] {
  kx::RegisterClassModule(CLSID_ZipComponent, kZipComponentModule);
  return true;
}();
}  // namespace
