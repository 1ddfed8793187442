#include <gtest/gtest.h>

#include <thread>

#include "platform/com/com.h"
#include "platform/com/comobject.h"
#include "tests/com/testmodule.h"

struct IWidget : IUnknown {
  STDMETHOD(GetRuns)(LONG* runs) = 0;
};
KX_DEFINE_IID(IWidget, "A0B1C2D3-0000-4000-8000-000000000001");
KX_DEFINE_GUID(CLSID_Widget, "A0B1C2D3-0000-4000-8000-0000000000FF");

namespace {

class Widget : public kx::ComObject<Widget, IWidget, IRunnableObject> {
 public:
  STDMETHODIMP GetRuns(LONG* runs) override {
    *runs = m_runs;
    return S_OK;
  }
  STDMETHODIMP GetRunningClass(LPCLSID c) override {
    *c = CLSID_Widget;
    return S_OK;
  }
  STDMETHODIMP Run(IBindCtx*) override {
    ++m_runs;
    return S_OK;
  }
  STDMETHODIMP_(BOOL) IsRunning() override { return m_runs > 0; }
  STDMETHODIMP LockRunning(BOOL, BOOL) override { return S_OK; }
  STDMETHODIMP SetContainedObject(BOOL) override { return S_OK; }

 private:
  LONG m_runs = 0;
};

class WidgetFactory : public kx::ComObject<WidgetFactory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ++created;
    Widget* w = new Widget;
    HRESULT hr = w->QueryInterface(riid, ppv);
    w->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
  int created = 0;
};

class ClassRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    factory = new WidgetFactory;
    kx::RegisterClassFactory(CLSID_Widget, factory, "WIDGETS.DLL");
  }
  void TearDown() override {
    kx::UnregisterClass(CLSID_Widget);
    factory->Release();
    CoUninitialize();
  }
  WidgetFactory* factory = nullptr;
};

TEST_F(ClassRegistry, CreatesRegisteredClassAndRefusesUnknownOnes) {
  IWidget* w = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IWidget, reinterpret_cast<void**>(&w)),
            S_OK);
  ASSERT_NE(w, nullptr);
  w->Release();

  void* p = reinterpret_cast<void*>(1);
  constexpr GUID unknownClass = kx::MakeGuid("{11111111-2222-3333-4444-555555555555}");
  EXPECT_EQ(CoCreateInstance(unknownClass, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  // Every class is in-process: a request for out-of-process servers only finds nothing.
  EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  // An interface the object lacks.
  EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
}

TEST_F(ClassRegistry, UnregisterAndRegisterAgain) {
  std::string module;
  ASSERT_TRUE(kx::GetClassModule(CLSID_Widget, &module));
  EXPECT_EQ(module, "WIDGETS.DLL");
  EXPECT_TRUE(kx::UnregisterClass(CLSID_Widget));
  EXPECT_FALSE(kx::UnregisterClass(CLSID_Widget));
  IUnknown* u = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u)),
            REGDB_E_CLASSNOTREG);

  kx::RegisterClassFactory(CLSID_Widget, factory, "WIDGETS.DLL");
  ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u)), S_OK);
  u->Release();

  kx::UnregisterModuleClasses("widgets.dll");  // names compare without case
  EXPECT_FALSE(kx::GetClassModule(CLSID_Widget, nullptr));
}

TEST_F(ClassRegistry, CreationNeedsCoInitializeOnTheThread) {
  HRESULT fromWorker = S_OK, afterInit = E_FAIL;
  std::thread([&] {
    IUnknown* u = nullptr;
    fromWorker = CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u));
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    afterInit = CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u));
    if (u) u->Release();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u)),
              CO_E_NOTINITIALIZED);
  }).join();
  EXPECT_EQ(fromWorker, CO_E_NOTINITIALIZED);
  EXPECT_EQ(afterInit, S_OK);
}

TEST_F(ClassRegistry, SmartPointerCreationRunsServersAndQueries) {
  // With server contexts the object is made as IUnknown, run, then queried.
  _com_ptr_t<IWidget> w;
  ASSERT_EQ(w.CreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL), S_OK);
  LONG runs = 0;
  w->GetRuns(&runs);
  EXPECT_EQ(runs, 1);
  _com_ptr_t<IWidget> inproc;
  ASSERT_EQ(inproc.CreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER), S_OK);
  inproc->GetRuns(&runs);
  EXPECT_EQ(runs, 0);

  // Another interface of the same object through the converting constructor; a missing one gives null.
  _com_ptr_t<IRunnableObject> runnable(w);
  ASSERT_TRUE(runnable);
  EXPECT_TRUE(runnable->IsRunning());
  _com_ptr_t<IDispatch> none(w);
  EXPECT_FALSE(none);

  // The creating constructor raises the creation failure.
  kx::UnregisterClass(CLSID_Widget);
  try {
    _com_ptr_t<IWidget> failed(CLSID_Widget);
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), REGDB_E_CLASSNOTREG);
    EXPECT_STREQ(e.ErrorMessage(), "Class not registered");
  }
  // Calling through a null pointer raises E_POINTER instead of crashing.
  _com_ptr_t<IWidget> empty;
  try {
    empty->GetRuns(&runs);
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
  }
}

TEST_F(ClassRegistry, SmartPointerCountsReferences) {
  Widget* raw = new Widget;  // one reference, ours
  {
    _com_ptr_t<IWidget> a(raw);
    _com_ptr_t<IWidget> b = a;
    _com_ptr_t<IWidget> c;
    c = b;
    EXPECT_EQ(raw->AddRef(), 5u);
    raw->Release();
    IWidget** slot = &c;  // an out slot drops the held reference first
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(raw->AddRef(), 4u);
    raw->Release();
    IWidget* detached = b.Detach();
    EXPECT_EQ(detached, static_cast<IWidget*>(raw));
    detached->Release();
  }
  EXPECT_EQ(raw->Release(), 0u);
}

TEST_F(ClassRegistry, ModuleClassesLoadThroughDllGetClassObject) {
  kx::RegisterClassModule(CLSID_ModuleCounter, "KXCOMTEST.DLL");
  _com_ptr_t<ICounter> a, b;
  ASSERT_EQ(a.CreateInstance(CLSID_ModuleCounter), S_OK);
  ASSERT_EQ(b.CreateInstance(CLSID_ModuleCounter), S_OK);
  LONG v = 0;
  a->Next(&v);
  EXPECT_EQ(v, 101);
  a->Next(&v);
  EXPECT_EQ(v, 102);
  b->Next(&v);
  EXPECT_EQ(v, 101);  // a second object of its own
  kx::UnregisterClass(CLSID_ModuleCounter);

  // A module that does not exist reports the loader's error.
  kx::RegisterClassModule(CLSID_ModuleCounter, "KXNOSUCHMODULE.DLL");
  EXPECT_EQ(a.CreateInstance(CLSID_ModuleCounter), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(a);
  kx::UnregisterClass(CLSID_ModuleCounter);
}

TEST_F(ClassRegistry, EngineClassesAreInstalledForItsModule) {
  constexpr GUID certificate = kx::MakeGuid("E38FD381-6404-4041-B5E9-B2739258941F");
  std::string module;
  ASSERT_TRUE(kx::GetClassModule(certificate, &module));
  EXPECT_EQ(module, "CAPICOM.DLL");
}

TEST_F(ClassRegistry, ProgIdsAndClassTexts) {
  kx::RegisterProgID("Kesmora.Widget.1", CLSID_Widget);
  CLSID c;
  EXPECT_EQ(CLSIDFromProgID(u"kesmora.WIDGET.1", &c), S_OK);
  EXPECT_EQ(c, CLSID_Widget);
  EXPECT_EQ(CLSIDFromProgID(u"Kesmora.Nothing", &c), CO_E_CLASSSTRING);
  // CLSIDFromString takes the braced text or a ProgID; the smart pointer creates by either.
  EXPECT_EQ(CLSIDFromString(u"{A0B1C2D3-0000-4000-8000-0000000000ff}", &c), S_OK);
  EXPECT_EQ(c, CLSID_Widget);
  EXPECT_EQ(CLSIDFromString(u"Kesmora.Widget.1", &c), S_OK);
  EXPECT_EQ(c, CLSID_Widget);
  _com_ptr_t<IWidget> w;
  EXPECT_EQ(w.CreateInstance(u"Kesmora.Widget.1"), S_OK);
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_Widget, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"kesmora.widget.1");
  CoTaskMemFree(progId);
  EXPECT_TRUE(kx::UnregisterProgID("KESMORA.WIDGET.1"));
}

TEST(TaskMemory, AllocatorInterface) {
  IMalloc* m = nullptr;
  EXPECT_EQ(CoGetMalloc(0, &m), E_INVALIDARG);
  ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, &m), S_OK);
  void* p = m->Alloc(10);
  ASSERT_NE(p, nullptr);
  EXPECT_GE(m->GetSize(p), 10u);
  p = m->Realloc(p, 100);
  CoTaskMemFree(p);  // one allocator behind both
  m->Release();
}

TEST(Guid, TextForms) {
  constexpr GUID g = kx::MakeGuid("{6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5C}");
  EXPECT_EQ(g.Data1, 0x6C5D8A10u);
  EXPECT_EQ(g.Data2, 0x2E41);
  EXPECT_EQ(g.Data3, 0x4B7A);
  EXPECT_EQ(g.Data4[0], 0x9C);
  EXPECT_EQ(g.Data4[7], 0x5C);
  EXPECT_EQ(kx::GuidToString(g), "{6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5C}");

  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(g, buf, 39), 39);
  EXPECT_EQ(std::u16string(buf), u"{6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5C}");
  EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);  // no room for the terminator

  IID iid;
  EXPECT_EQ(IIDFromString(u"{6c5d8a10-2e41-4b7a-9c3f-0d1e2f3a4b5c}", &iid), S_OK);
  EXPECT_EQ(iid, g);
  const char16_t* bad[] = {u"6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5C", u"{6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5}",
                           u"{6C5D8A10+2E41-4B7A-9C3F-0D1E2F3A4B5C}", u"{6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5G}",
                           u"{6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5C}x"};
  for (const char16_t* s : bad) {
    EXPECT_EQ(IIDFromString(s, &iid), E_INVALIDARG);
    CLSID c;
    EXPECT_EQ(CLSIDFromString(s, &c), CO_E_CLASSSTRING);
  }

  GUID a, b;
  ASSERT_EQ(CoCreateGuid(&a), S_OK);
  ASSERT_EQ(CoCreateGuid(&b), S_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.Data3 >> 12, 4);        // version 4
  EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);  // variant bits
}

}  // namespace
