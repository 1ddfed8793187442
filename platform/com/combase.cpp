#include "platform/com/combase.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/oleauto.h"
#include "platform/win32/errors.h"
#include "platform/win32/modules.h"
#include "platform/win32/textconv.h"

namespace kx {
struct InstalledClass {
  GUID clsid;
  const char* module;
};
// The classes installed with the platform (installed.cpp).
extern const InstalledClass kInstalledClasses[];
extern const size_t kInstalledClassCount;
void DropThreadErrorInfo();  // errorinfo.cpp
}  // namespace kx

namespace {

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct ClassEntry {
  IClassFactory* factory = nullptr;  // one reference held by the registry
  std::string module;
};

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

struct Registry {
  std::mutex lock;
  std::map<GUID, ClassEntry, GuidLess> classes;
  std::map<std::string, CLSID> progIds;       // lower case
  std::map<std::string, HMODULE> modules;     // lower-case module name -> loaded module
};

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;  // never destroyed: objects may be released during exit
    for (size_t i = 0; i < kx::kInstalledClassCount; ++i)
      r->classes[kx::kInstalledClasses[i].clsid].module = kx::kInstalledClasses[i].module;
    return r;
  }();
  return *registry;
}

struct ThreadInit {
  int count = 0;
  DWORD mode = 0;
};
thread_local ThreadInit t_init;

std::string ProgIdKey(LPCOLESTR s) {
  size_t n = 0;
  while (s[n]) ++n;
  return Lower(kx::Utf16ToUtf8(s, n));
}

// The class factory for a class: the registered one or the module's.
HRESULT FindFactory(REFCLSID clsid, IClassFactory** out) {
  *out = nullptr;
  Registry& r = TheRegistry();
  std::string module;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.classes.find(clsid);
    if (it == r.classes.end()) return REGDB_E_CLASSNOTREG;
    if (it->second.factory) {
      *out = it->second.factory;
      (*out)->AddRef();
      return S_OK;
    }
    module = it->second.module;
  }

  std::string key = Lower(module);
  HMODULE handle = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.modules.find(key);
    if (it != r.modules.end()) handle = it->second;
  }
  if (!handle) {
    // Loaded outside the lock: the module's start-up may register classes of its own.
    handle = LoadLibrary(module.c_str());
    if (!handle) {
      DWORD err = GetLastError();
      return err ? HRESULT_FROM_WIN32(err) : CO_E_DLLNOTFOUND;
    }
    std::lock_guard<std::mutex> guard(r.lock);
    auto [it, added] = r.modules.emplace(key, handle);
    if (!added) {
      FreeLibrary(handle);  // another thread got there first
      handle = it->second;
    }
  }
  auto entry = reinterpret_cast<LPFNGETCLASSOBJECT>(reinterpret_cast<void*>(GetProcAddress(handle, "DllGetClassObject")));
  if (!entry) return CO_E_ERRORINDLL;
  HRESULT hr = entry(clsid, IID_IClassFactory, reinterpret_cast<void**>(out));
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

}  // namespace

extern "C" {

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
  DWORD mode = coInit & COINIT_APARTMENTTHREADED;
  if (t_init.count > 0 && t_init.mode != mode) return RPC_E_CHANGED_MODE;
  t_init.mode = mode;
  return ++t_init.count == 1 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (t_init.count == 0) return;
  if (--t_init.count == 0) kx::DropThreadErrorInfo();
}

HRESULT OleInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }
void OleUninitialize() { CoUninitialize(); }

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return std::realloc(pv, cb ? cb : 1); }
void CoTaskMemFree(LPVOID pv) { std::free(pv); }

HRESULT CoGetMalloc(DWORD context, IMalloc** out) {
  // One allocator for the process; its references are not counted.
  struct TaskAllocator : IMalloc {
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
      if (!ppv) return E_POINTER;
      *ppv = (riid == IID_IUnknown || riid == IID_IMalloc) ? this : nullptr;
      return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(void*) Alloc(SIZE_T cb) override { return CoTaskMemAlloc(cb); }
    STDMETHODIMP_(void*) Realloc(void* pv, SIZE_T cb) override { return CoTaskMemRealloc(pv, cb); }
    STDMETHODIMP_(void) Free(void* pv) override { CoTaskMemFree(pv); }
    STDMETHODIMP_(SIZE_T) GetSize(void* pv) override { return pv ? malloc_usable_size(pv) : static_cast<SIZE_T>(-1); }
    STDMETHODIMP_(int) DidAlloc(void*) override { return -1; }  // cannot tell
    STDMETHODIMP_(void) HeapMinimize() override {}
  };
  static TaskAllocator allocator;
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (context != MEMCTX_TASK) return E_INVALIDARG;
  *out = &allocator;
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (t_init.count == 0) return CO_E_NOTINITIALIZED;
  // Every class of this platform is an in-process server.
  if (!(context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
  IClassFactory* factory = nullptr;
  HRESULT hr = FindFactory(clsid, &factory);
  if (FAILED(hr)) return hr;
  hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

HRESULT OleRun(LPUNKNOWN unknown) {
  if (!unknown) return E_INVALIDARG;
  IRunnableObject* runnable = nullptr;
  if (FAILED(unknown->QueryInterface(IID_IRunnableObject, reinterpret_cast<void**>(&runnable))) || !runnable)
    return S_OK;
  HRESULT hr = runnable->Run(nullptr);
  runnable->Release();
  return hr;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (!clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!progId || !*progId) return CO_E_CLASSSTRING;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.progIds.find(ProgIdKey(progId));
  if (it == r.progIds.end()) return CO_E_CLASSSTRING;
  *clsid = it->second;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& [name, id] : r.progIds) {
    if (id != clsid) continue;
    std::u16string w = kx::Utf8ToUtf16(name);
    *progId = static_cast<LPOLESTR>(CoTaskMemAlloc((w.size() + 1) * sizeof(OLECHAR)));
    if (!*progId) return E_OUTOFMEMORY;
    std::memcpy(*progId, w.c_str(), (w.size() + 1) * sizeof(OLECHAR));
    return S_OK;
  }
  return REGDB_E_CLASSNOTREG;
}

}  // extern "C"

namespace kx {

namespace {
void SetEntry(REFCLSID clsid, IClassFactory* factory, const char* module) {
  if (factory) factory->AddRef();
  IClassFactory* old = nullptr;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    ClassEntry& e = r.classes[clsid];
    old = e.factory;
    e.factory = factory;
    e.module = module ? module : "";
  }
  if (old) old->Release();
}
}  // namespace

void RegisterClassFactory(REFCLSID clsid, IClassFactory* factory, const char* moduleName) {
  if (factory) SetEntry(clsid, factory, moduleName);
}

void RegisterClassModule(REFCLSID clsid, const char* moduleName) {
  if (moduleName && *moduleName) SetEntry(clsid, nullptr, moduleName);
}

bool UnregisterClass(REFCLSID clsid) {
  IClassFactory* old = nullptr;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.classes.find(clsid);
    if (it == r.classes.end()) return false;
    old = it->second.factory;
    r.classes.erase(it);
  }
  if (old) old->Release();
  return true;
}

void UnregisterModuleClasses(const char* moduleName) {
  if (!moduleName) return;
  std::string key = Lower(moduleName);
  std::vector<IClassFactory*> released;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.classes.begin(); it != r.classes.end();) {
      if (Lower(it->second.module) == key) {
        if (it->second.factory) released.push_back(it->second.factory);
        it = r.classes.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (IClassFactory* f : released) f->Release();
}

bool GetClassModule(REFCLSID clsid, std::string* moduleName) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.classes.find(clsid);
  if (it == r.classes.end()) return false;
  if (moduleName) *moduleName = it->second.module;
  return true;
}

void RegisterProgID(const char* progId, REFCLSID clsid) {
  if (!progId || !*progId) return;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.progIds[Lower(progId)] = clsid;
}

bool UnregisterProgID(const char* progId) {
  if (!progId) return false;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.progIds.erase(Lower(progId)) > 0;
}

}  // namespace kx
