// A library with an application object of its own, for the module-state tests. It logs to $KXTEST_APP_LOG and
// refuses to start when $KXTEST_APP_FAIL is set.
#include <cstdio>
#include <cstdlib>

#include "platform/mfc/afxwin.h"

namespace {

void Log(const char* what) {
  const char* path = getenv("KXTEST_APP_LOG");
  if (!path) return;
  if (FILE* f = fopen(path, "a")) {
    fprintf(f, "%s\n", what);
    fclose(f);
  }
}

class CTestApp : public CWinApp {
 public:
  CTestApp() : CWinApp("TestApp") {}
  BOOL InitInstance() override {
    if (getenv("KXTEST_APP_FAIL")) {
      Log("init refused");
      return FALSE;
    }
    // Resources come from the tests' pages while the library's state is current.
    m_pages = LoadLibrary("kxtestpages");
    AfxSetResourceHandle(m_pages);
    Log(AfxGetApp() == this ? "init in own state" : "init in a foreign state");
    return CWinApp::InitInstance();
  }
  int ExitInstance() override {
    Log(AfxGetApp() == this ? "exit in own state" : "exit in a foreign state");
    if (m_pages) FreeLibrary(m_pages);
    return CWinApp::ExitInstance();
  }
  HMODULE m_pages = nullptr;
};

CTestApp theApp;

UINT Worker(LPVOID result) {
  *static_cast<int*>(result) = AfxGetApp() == &theApp ? 1 : 0;
  return 0;
}

}  // namespace

#define KXTEST_EXPORT extern "C" __attribute__((visibility("default")))

// The application seen with and without switching to the library's state.
KXTEST_EXPORT int kxtestapp_app(int manage) {
  if (manage) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetApp() == &theApp;
  }
  return AfxGetApp() == &theApp;
}

KXTEST_EXPORT int kxtestapp_name(CString* out) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  *out = AfxGetAppName();
  return 1;
}

// A string of the module that serves the library's resources.
KXTEST_EXPORT int kxtestapp_string(UINT id, CString* out) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return out->LoadString(id);
}

// A worker started under the library's state runs under it.
KXTEST_EXPORT int kxtestapp_worker() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  int result = -1;
  CWinThread* t = AfxBeginThread(&Worker, &result, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!t) return -1;
  t->m_bAutoDelete = FALSE;
  t->ResumeThread();
  WaitForSingleObject(t->m_hThread, INFINITE);
  delete t;
  return result;
}

// The state is given back when the call ends with an exception.
KXTEST_EXPORT void kxtestapp_throw() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  throw 42;
}

KXTEST_EXPORT HINSTANCE kxtestapp_instance() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return AfxGetInstanceHandle();
}
