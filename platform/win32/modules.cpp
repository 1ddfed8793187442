#include "platform/win32/modules.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/errors.h"

namespace {

struct Module {
  std::string builtinKey;  // set for built-in modules
  std::string path;        // file path (built-in: a path of the same name beside the platform library)
  void* dl = nullptr;
  int refs = 0;
  bool attached = false;
  bool missing = false;
  bool loadedAtStart = false;
  // Found loaded by someone else (linked, or dlopen'ed by the program): no reference of ours, as GetModuleHandle
  // adds none, so the object leaves the process when its loader lets go. No handle is kept (the object may go
  // and come again); `link` is the name it was loaded under.
  bool borrowed = false;
  std::string link;
  std::vector<kx::BuiltinExport> exports;
};

struct Loader {
  std::recursive_mutex mutex;
  std::list<std::unique_ptr<Module>> modules;
  std::map<std::string, Module*> builtins;           // by key
  std::map<std::string, kx::ModuleEntry> entries;    // by the loaded object's name (link map)
  Module* program = nullptr;
};

Loader& L() {
  static auto* l = new Loader();
  return *l;
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string BaseName(const std::string& name) {
  size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string BuiltinKey(const std::string& name) {
  std::string base = Upper(BaseName(name));
  if (base.find('.') == std::string::npos) base += ".DLL";
  return base;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether an object loaded under this name is in the process (asked without taking a reference, so that it may
// be asked while that object is being unloaded).
bool Loaded(const std::string& link) {
  struct Ctx { const std::string* link; bool found; } ctx{&link, false};
  dl_iterate_phdr(
      [](struct dl_phdr_info* info, size_t, void* data) {
        auto* c = static_cast<Ctx*>(data);
        c->found = info->dlpi_name && *c->link == info->dlpi_name;
        return c->found ? 1 : 0;
      },
      &ctx);
  return ctx.found;
}

// Forgets the borrowed modules whose objects have left the process.
void DropGone() {
  L().modules.remove_if([](const std::unique_ptr<Module>& p) { return p->borrowed && !Loaded(p->link); });
}

Module* Find(HMODULE h) {
  DropGone();
  auto* m = reinterpret_cast<Module*>(h);
  for (auto& p : L().modules)
    if (p.get() == m) return m;
  return nullptr;
}

Module* FindByPath(const std::string& path) {
  DropGone();
  for (auto& p : L().modules)
    if (p->builtinKey.empty() && p->path == path) return p.get();
  return nullptr;
}

// A borrowed module for an object loaded under `link`, or null when it is not loaded.
Module* Borrow(const std::string& link) {
  if (!Loaded(link)) return nullptr;
  auto m = std::make_unique<Module>();
  char real[4096];
  m->path = realpath(link.c_str(), real) ? std::string(real) : link;
  m->loadedAtStart = true;
  m->borrowed = true;
  m->link = link;
  Module* raw = m.get();
  L().modules.push_back(std::move(m));
  return raw;
}

std::string LinkName(void* dl) {
  struct link_map* lm = nullptr;
  if (!dl || dlinfo(dl, RTLD_DI_LINKMAP, &lm) != 0 || !lm || !lm->l_name) return {};
  return lm->l_name;
}

// The name under which an object loaded in the process was loaded: the object whose file is the file at path
// (also when it was found by a link of another name, as a library linked by its versioned name is), else one of
// the same file name; "" when there is none.
std::string LoadedObjectAt(const std::string& path) {
  struct Ctx { std::string base, real, same, named; } ctx{BaseName(path), path, {}, {}};
  char real[4096];
  if (realpath(path.c_str(), real)) ctx.real = real;
  dl_iterate_phdr(
      [](struct dl_phdr_info* info, size_t, void* data) {
        auto* c = static_cast<Ctx*>(data);
        if (!info->dlpi_name || !*info->dlpi_name) return 0;
        char buffer[4096];
        if (const char* resolved = realpath(info->dlpi_name, buffer); resolved && c->real == resolved) {
          c->same = info->dlpi_name;
          return 1;
        }
        if (c->named.empty() && BaseName(info->dlpi_name) == c->base) c->named = info->dlpi_name;
        return 0;
      },
      &ctx);
  return ctx.same.empty() ? ctx.named : ctx.same;
}

Module* Program() {
  Loader& l = L();
  if (!l.program) {
    auto m = std::make_unique<Module>();
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    m->path = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    m->dl = dlopen(nullptr, RTLD_LAZY);
    m->loadedAtStart = true;
    l.program = m.get();
    l.modules.push_back(std::move(m));
  }
  return l.program;
}

// The module's dlopen handle: its own, or for a borrowed module the object's handle now (valid while it stays).
void* NativeOf(Module* m) {
  if (!m->borrowed) return m->dl;
  void* dl = dlopen(m->link.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (dl) dlclose(dl);
  return dl;
}

kx::ModuleEntry EntryFor(void* dl) {
  auto it = L().entries.find(LinkName(dl));
  return it == L().entries.end() ? nullptr : it->second;
}

// Unloads a file module whose last reference went away.
void Unload(Module* m) {
  Loader& l = L();
  std::string link = LinkName(m->dl);
  if (m->dl && !m->borrowed) dlclose(m->dl);
  // When the file really left the process, its registered entry routine went with it.
  if (!link.empty()) {
    void* still = dlopen(link.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (still) dlclose(still);
    else l.entries.erase(link);
  }
  l.modules.remove_if([m](const std::unique_ptr<Module>& p) { return p.get() == m; });
}

}  // namespace

namespace kx {

std::string PlatformLibraryDir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PlatformLibraryDir), &info) && info.dli_fname) {
    char real[4096];
    std::string file = realpath(info.dli_fname, real) ? std::string(real) : std::string(info.dli_fname);
    size_t slash = file.rfind('/');
    if (slash != std::string::npos) return slash == 0 ? std::string("/") : file.substr(0, slash);
  }
  return ".";
}

std::string ModuleFileForName(const std::string& name) {
  size_t slash = name.rfind('/');
  std::string dir = slash == std::string::npos ? PlatformLibraryDir() : name.substr(0, slash);
  if (dir.empty()) dir = "/";
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  std::string file;
  if (EndsWith(base, ".so") || base.find(".so.") != std::string::npos) {
    file = base;
  } else {
    size_t dot = base.rfind('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string(".dll") : Lower(base.substr(dot));
    file = ext == ".dll" ? "lib" + Lower(stem) + ".so" : base;
  }
  return dir == "/" ? "/" + file : dir + "/" + file;
}

void RegisterBuiltinModule(const char* name, const BuiltinExport* exports, size_t count, bool loadedAtStart) {
  if (!name) return;
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  std::string key = BuiltinKey(name);
  Module* m;
  auto it = l.builtins.find(key);
  if (it != l.builtins.end()) {
    m = it->second;
  } else {
    auto p = std::make_unique<Module>();
    m = p.get();
    l.modules.push_back(std::move(p));
    l.builtins[key] = m;
  }
  m->builtinKey = key;
  m->path = PlatformLibraryDir() + "/" + BaseName(name);
  m->exports.assign(exports, exports + count);
  m->loadedAtStart = loadedAtStart;
}

void SetBuiltinModuleMissing(const char* name, bool missing) {
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  auto it = l.builtins.find(BuiltinKey(name ? name : ""));
  if (it != l.builtins.end()) it->second->missing = missing;
}

bool RegisterModuleEntry(ModuleEntry entry) {
  Dl_info info{};
  if (!entry || !dladdr(reinterpret_cast<void*>(entry), &info) || !info.dli_fname) return false;
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  l.entries[info.dli_fname] = entry;
  return true;
}

void* ModuleNativeHandle(HMODULE module) {
  std::lock_guard<std::recursive_mutex> lock(L().mutex);
  if (!module) return Program()->dl;
  Module* m = Find(module);
  return m ? NativeOf(m) : nullptr;
}

HMODULE ModuleFromAddress(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info) || !info.dli_fname) return nullptr;
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  std::string link = info.dli_fname;
  DropGone();
  for (auto& p : l.modules)
    if (p->builtinKey.empty() && (p->borrowed ? p->link : LinkName(p->dl)) == link)
      return reinterpret_cast<HMODULE>(p.get());
  // The program's own objects are the program's module.
  void* self = dlopen(nullptr, RTLD_LAZY);
  void* dl = dlopen(link.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  bool program = !dl || LinkName(dl) == LinkName(self);
  if (dl) dlclose(dl);
  if (self) dlclose(self);
  Module* m = program ? nullptr : Borrow(link);
  return reinterpret_cast<HMODULE>(m ? m : Program());
}

}  // namespace kx

HMODULE LoadLibrary(LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  auto bit = l.builtins.find(BuiltinKey(name));
  if (bit != l.builtins.end()) {
    if (bit->second->missing) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    ++bit->second->refs;
    return reinterpret_cast<HMODULE>(bit->second);
  }
  std::string path = kx::ModuleFileForName(name);
  char real[4096];
  if (realpath(path.c_str(), real)) path = real;
  Module* m = FindByPath(path);
  if (m && m->borrowed) {
    // Loaded by the program already: LoadLibrary takes a reference of its own, which FreeLibrary gives back.
    void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl) {
      m->dl = dl;
      m->borrowed = false;
    }
  }
  if (!m) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
      const char* err = dlerror();
      bool badFormat = err && (strstr(err, "invalid ELF header") || strstr(err, "file too short") ||
                               strstr(err, "wrong ELF class"));
      SetLastError(badFormat ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    auto p = std::make_unique<Module>();
    p->path = path;
    p->dl = dl;
    m = p.get();
    l.modules.push_back(std::move(p));
  }
  ++m->refs;
  if (!m->attached) {
    if (kx::ModuleEntry entry = EntryFor(m->dl)) {
      HINSTANCE self = reinterpret_cast<HINSTANCE>(m);
      if (!entry(self, DLL_PROCESS_ATTACH, nullptr)) {
        entry(self, DLL_PROCESS_DETACH, nullptr);
        Unload(m);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
      }
      m->attached = true;
    }
  }
  return reinterpret_cast<HMODULE>(m);
}

BOOL FreeLibrary(HMODULE module) {
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  Module* m = Find(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (m == l.program || (m->borrowed && m->refs == 0)) return TRUE;
  if (m->refs > 0) --m->refs;
  if (!m->builtinKey.empty() || m->refs > 0) return TRUE;
  if (m->attached) {
    if (kx::ModuleEntry entry = EntryFor(m->dl)) entry(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_DETACH, nullptr);
    m->attached = false;
  }
  Unload(m);
  return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  Module* m = module ? Find(module) : Program();
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!name) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  bool byOrdinal = IS_INTRESOURCE(name);
  WORD ordinal = byOrdinal ? static_cast<WORD>(reinterpret_cast<uintptr_t>(name)) : 0;
  if (!m->builtinKey.empty()) {
    for (const auto& e : m->exports) {
      if (byOrdinal ? (e.ordinal != 0 && e.ordinal == ordinal) : (e.name && strcmp(e.name, name) == 0))
        return reinterpret_cast<FARPROC>(e.proc);
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* dl = byOrdinal ? nullptr : NativeOf(m);
  void* p = dl ? dlsym(dl, name) : nullptr;
  if (!p) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(p);
}

HMODULE GetModuleHandle(LPCSTR name) {
  Loader& l = L();
  std::lock_guard<std::recursive_mutex> lock(l.mutex);
  if (!name) return reinterpret_cast<HMODULE>(Program());
  auto bit = l.builtins.find(BuiltinKey(name));
  if (bit != l.builtins.end()) {
    Module* m = bit->second;
    if (!m->missing && (m->refs > 0 || m->loadedAtStart)) return reinterpret_cast<HMODULE>(m);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string wanted = kx::ModuleFileForName(name), path = wanted;
  char real[4096];
  if (realpath(path.c_str(), real)) path = real;
  if (Module* m = FindByPath(path)) return reinterpret_cast<HMODULE>(m);
  // Loaded by the program's own linking or dlopen rather than through LoadLibrary.
  std::string loaded = LoadedObjectAt(wanted);
  if (Module* m = loaded.empty() ? nullptr : Borrow(loaded)) return reinterpret_cast<HMODULE>(m);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size) {
  std::string path;
  {
    Loader& l = L();
    std::lock_guard<std::recursive_mutex> lock(l.mutex);
    Module* m = module ? Find(module) : Program();
    if (!m) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = m->path;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() + 1 > size) {
    memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  memcpy(buffer, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}
