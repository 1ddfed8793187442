// The module's export, over its own string table.
#include "platform/mfc/resource.h"
#include "platform/services/addres/addres.h"
#include "platform/win32/modules.h"

extern "C" KXAPI int LoadStringAddResID(UINT id, LPSTR buffer, int size) {
  if (!buffer || size <= 0) return 0;
  HMODULE self = kx::ModuleFromAddress(reinterpret_cast<const void*>(&LoadStringAddResID));
  return LoadString(reinterpret_cast<HINSTANCE>(self), id, buffer, size);
}
