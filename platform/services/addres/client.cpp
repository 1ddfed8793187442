// Callers' side of the resource-string module: the module found by name, its export called.
#include <mutex>
#include <vector>

#include "platform/services/addres/addres.h"
#include "platform/win32/modules.h"

namespace kx {

CString LoadAddResString(UINT id) {
  static std::mutex mutex;
  static LoadStringAddResIDFn load = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    // A module that failed to load is looked for again next time; a loaded one stays.
    if (!load) {
      if (HMODULE m = LoadLibrary(kAddResModuleName)) {
        load = reinterpret_cast<LoadStringAddResIDFn>(GetProcAddress(m, kAddResExportName));
        if (!load) FreeLibrary(m);
      }
    }
  }
  if (!load) return CString();
  // The module's texts are sentences; a longer one is cut.
  std::vector<char> buffer(4096);
  load(id, buffer.data(), static_cast<int>(buffer.size()));
  return CString(buffer.data());
}

}  // namespace kx
