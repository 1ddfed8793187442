// Modules: shared libraries and the platform's built-in modules, found by their Windows names.
//
// The name rule (kx::ModuleFileForName owns it): "NAME.DLL" (or a name without extension) becomes
// "libname.so" in lower case; a name without a folder is looked for in the folder of libkxplatform.so, a name
// with a folder in that folder. Names ending in ".so" are taken as they are; other extensions (".exe") are kept.
// Built-in modules ("MSHTML.DLL", "WAB32.DLL", "cryptui", ...) are tables of entries registered by platform
// services; they are matched by file name (without folder, case ignored, ".DLL" implied) before any file.
//
// Attach protocol: a shared library that needs start-up and clean-up registers its entry routine from a
// static constructor:
//     static BOOL MyEntry(HINSTANCE, DWORD reason, void*);
//     static const bool registered = kx::RegisterModuleEntry(MyEntry);
// LoadLibrary loads the file, and on the first load calls the routine registered by that file with
// DLL_PROCESS_ATTACH. When it answers FALSE the routine is called with DLL_PROCESS_DETACH, the library is
// unloaded and LoadLibrary answers NULL with last error ERROR_DLL_INIT_FAILED. FreeLibrary of the last
// reference calls it with DLL_PROCESS_DETACH before unloading. The routine runs under the module lock (the
// platform's loader lock): it may load other modules but must not wait for threads that load modules.
#pragma once

#include <string>

#include "platform/win32/types.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

KXAPI HMODULE LoadLibrary(LPCSTR name);
inline constexpr auto& LoadLibraryA = LoadLibrary;
KXAPI BOOL FreeLibrary(HMODULE module);
// name may be an ordinal (MAKEINTRESOURCE); ordinals exist for built-in modules only.
KXAPI FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// A module already loaded in the process (NULL = the program itself); no reference is added.
KXAPI HMODULE GetModuleHandle(LPCSTR name);
inline constexpr auto& GetModuleHandleA = GetModuleHandle;
// Full path of the module's file; on a short buffer the text is cut (terminated), the result is size and the
// last error ERROR_INSUFFICIENT_BUFFER.
KXAPI DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size);
inline constexpr auto& GetModuleFileNameA = GetModuleFileName;

namespace kx {

struct BuiltinExport {
  const char* name;  // may be null for an entry reached by ordinal only
  WORD ordinal;      // 0 = none
  void* proc;
};
using ModuleEntry = BOOL (*)(HINSTANCE instance, DWORD reason, void* reserved);

// The file a module name stands for (the name rule above).
KXAPI std::string ModuleFileForName(const std::string& name);
// Folder of libkxplatform.so (without trailing separator).
KXAPI std::string PlatformLibraryDir();
// Registers (or replaces) a built-in module. loadedAtStart: GetModuleHandle finds it before any LoadLibrary.
KXAPI void RegisterBuiltinModule(const char* name, const BuiltinExport* exports, size_t count,
                                 bool loadedAtStart = false);
// Tests: a missing built-in module is not found by LoadLibrary and GetModuleHandle (ERROR_MOD_NOT_FOUND).
KXAPI void SetBuiltinModuleMissing(const char* name, bool missing);
// Called from a static constructor of a shared library; the library is recognised from the routine's address.
KXAPI bool RegisterModuleEntry(ModuleEntry entry);
// The dlopen handle of a file module (null for built-in modules), for resource loaders.
KXAPI void* ModuleNativeHandle(HMODULE module);
// The module that holds an address (a function or a static object of a library), or null.
KXAPI HMODULE ModuleFromAddress(const void* address);

}  // namespace kx
