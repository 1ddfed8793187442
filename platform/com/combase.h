// COM start-up, task memory and object creation over the platform's class registry.
//
// The registry maps a CLSID either to a class factory registered in-process (RegisterClassFactory) or to a
// module name (RegisterClassModule): CoCreateInstance then loads the module with LoadLibrary and asks its
// exported DllGetClassObject for the factory. An unknown CLSID gives REGDB_E_CLASSNOTREG. Creation needs
// CoInitialize(Ex) on the calling thread (CO_E_NOTINITIALIZED otherwise), as on the platform.
#pragma once

#include "platform/com/unknwn.h"

enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
  CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
  CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
};

enum COINIT : DWORD {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
};

struct IBindCtx;

// OleRun puts an object that offers IRunnableObject into its running state; other objects already run.
struct IRunnableObject : IUnknown {
  STDMETHOD(GetRunningClass)(LPCLSID lpClsid) = 0;
  STDMETHOD(Run)(IBindCtx* pbc) = 0;
  STDMETHOD_(BOOL, IsRunning)() = 0;
  STDMETHOD(LockRunning)(BOOL fLock, BOOL fLastUnlockCloses) = 0;
  STDMETHOD(SetContainedObject)(BOOL fContained) = 0;
};
KX_DEFINE_IID(IRunnableObject, "00000126-0000-0000-C000-000000000046");

// The task allocator (CoTaskMemAlloc and friends) as an interface, for the shell's item lists.
struct IMalloc : IUnknown {
  STDMETHOD_(void*, Alloc)(SIZE_T cb) = 0;
  STDMETHOD_(void*, Realloc)(void* pv, SIZE_T cb) = 0;
  STDMETHOD_(void, Free)(void* pv) = 0;
  STDMETHOD_(SIZE_T, GetSize)(void* pv) = 0;
  STDMETHOD_(int, DidAlloc)(void* pv) = 0;
  STDMETHOD_(void, HeapMinimize)() = 0;
};
using LPMALLOC = IMalloc*;
KX_DEFINE_IID(IMalloc, "00000002-0000-0000-C000-000000000046");
constexpr DWORD MEMCTX_TASK = 1;

// The entry a module exports for the registry.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

extern "C" {
// S_OK on the first call of a thread, S_FALSE on later ones; RPC_E_CHANGED_MODE when the thread asks for
// another concurrency model than before. Each successful call needs its CoUninitialize.
KXAPI HRESULT CoInitialize(LPVOID pvReserved);
KXAPI HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
KXAPI void CoUninitialize();
KXAPI HRESULT OleInitialize(LPVOID pvReserved);
KXAPI void OleUninitialize();

KXAPI LPVOID CoTaskMemAlloc(SIZE_T cb);
KXAPI LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
KXAPI void CoTaskMemFree(LPVOID pv);
// The task allocator; dwMemContext must be MEMCTX_TASK (E_INVALIDARG otherwise).
KXAPI HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc);

KXAPI HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);
KXAPI HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
KXAPI HRESULT OleRun(LPUNKNOWN pUnknown);

// ProgIDs compare without regard to case; an unknown one gives CO_E_CLASSSTRING.
KXAPI HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
KXAPI HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
}

namespace kx {

// Registers an in-process factory for a class (the registry keeps a reference). moduleName, when given,
// names the module the class belongs to (see UnregisterModuleClasses).
KXAPI void RegisterClassFactory(REFCLSID clsid, IClassFactory* factory, const char* moduleName = nullptr);
// Registers a class served by a module ("CAPICOM.DLL"): created through the module's DllGetClassObject.
KXAPI void RegisterClassModule(REFCLSID clsid, const char* moduleName);
// Removes a class; true when it was registered. Creating it then gives REGDB_E_CLASSNOTREG.
KXAPI bool UnregisterClass(REFCLSID clsid);
// Removes every class registered for the module.
KXAPI void UnregisterModuleClasses(const char* moduleName);
// The module a class is registered for ("" for a factory without one); false when not registered.
KXAPI bool GetClassModule(REFCLSID clsid, std::string* moduleName);

KXAPI void RegisterProgID(const char* progId, REFCLSID clsid);
KXAPI bool UnregisterProgID(const char* progId);

}  // namespace kx
