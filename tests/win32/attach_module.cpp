// A module for the loader tests: its start-up fails when KXTEST_ATTACH_FAIL is 1, and it appends every entry
// call to the file named by KXTEST_ATTACH_LOG.
#include <cstdio>
#include <cstdlib>

#include "platform/win32/modules.h"

namespace {

void Log(const char* what) {
  const char* path = getenv("KXTEST_ATTACH_LOG");
  if (!path) return;
  if (FILE* f = fopen(path, "a")) {
    fprintf(f, "%s\n", what);
    fclose(f);
  }
}

BOOL Entry(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    Log("attach");
    const char* fail = getenv("KXTEST_ATTACH_FAIL");
    return fail && fail[0] == '1' ? FALSE : TRUE;
  }
  if (reason == DLL_PROCESS_DETACH) Log("detach");
  return TRUE;
}

const bool registered = kx::RegisterModuleEntry(Entry);

}  // namespace

extern "C" __attribute__((visibility("default"))) int kxtest_value() { return registered ? 42 : 0; }
