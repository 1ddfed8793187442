// Module states, thread state, threads and the application object.
#include "platform/mfc/winapp.h"

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/mfc/afxstate.h"
#include "platform/mfc/exceptions.h"
#include "platform/mfc/resource.h"
#include "platform/win32/errors.h"
#include "platform/win32/registry.h"

namespace kx::afx {

namespace {
thread_local ThreadState t_state;

// The state of programs (and code) that never made one of their own.
AFX_MODULE_STATE& ProcessState() {
  static auto* s = new AFX_MODULE_STATE();
  return *s;
}
// The program's own state, once its application object exists.
std::atomic<AFX_MODULE_STATE*> g_programState{nullptr};

bool InMainProgram(const void* address) {
  Dl_info info{};
  struct link_map* lm = nullptr;
  if (!dladdr1(address, &info, reinterpret_cast<void**>(&lm), RTLD_DL_LINKMAP) || !lm) return false;
  struct link_map* main = nullptr;
  void* self = dlopen(nullptr, RTLD_LAZY);
  if (self) {
    dlinfo(self, RTLD_DI_LINKMAP, &main);
    dlclose(self);
  }
  return lm == main;
}

char* Dup(const std::string& s) { return strdup(s.c_str()); }

// "/lib/dir/libbrinmoor.so" -> "brinmoor"
std::string ModuleTitle(HINSTANCE h) {
  char path[4096];
  DWORD n = GetModuleFileName(h, path, sizeof path);
  std::string s(path, n);
  size_t slash = s.rfind('/');
  if (slash != std::string::npos) s = s.substr(slash + 1);
  size_t dot = s.find('.');
  if (dot != std::string::npos) s = s.substr(0, dot);
  if (s.rfind("lib", 0) == 0 && s.size() > 3) s = s.substr(3);
  return s.empty() ? std::string("app") : s;
}

void FillNames(CWinApp* app, HINSTANCE h) {
  std::string title = ModuleTitle(h);
  if (!app->m_pszAppName) app->m_pszAppName = Dup(title);
  if (!app->m_pszExeName) app->m_pszExeName = Dup(title);
  if (!app->m_pszProfileName) app->m_pszProfileName = Dup(app->m_pszAppName);
  if (AFX_MODULE_STATE* st = app->ModuleState()) st->m_lpszCurrentAppName = app->m_pszAppName;
}
}  // namespace

ThreadState& Thread() { return t_state; }

ThreadState::~ThreadState() {
  auto all = std::move(temps);
  for (auto& [owner, objs] : all)
    for (auto& [h, obj] : objs) owner->Drop(obj);
}

void DeleteTempObjects() {
  ThreadState& t = Thread();
  if (t.dispatchDepth > 0) return;
  auto all = std::move(t.temps);
  t.temps.clear();
  for (auto& [owner, objs] : all)
    for (auto& [h, obj] : objs) owner->Drop(obj);
}

HINSTANCE InstanceOf(AFX_MODULE_STATE* state) {
  if (!state) return nullptr;
  if (state->m_hCurrentInstanceHandle) return state->m_hCurrentInstanceHandle;
  HINSTANCE h = state == &ProcessState() ? GetModuleHandle(nullptr)
                                         : kx::ModuleFromAddress(state->m_pAnchor ? state->m_pAnchor : state);
  state->m_hCurrentInstanceHandle = h;
  return h;
}

}  // namespace kx::afx

using kx::afx::Thread;

// ---------------------------------------------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------------------------------------------
AFX_MODULE_STATE* AfxGetAppModuleState() {
  AFX_MODULE_STATE* p = kx::afx::g_programState.load();
  return p ? p : &kx::afx::ProcessState();
}

AFX_MODULE_STATE* AfxGetModuleState() {
  AFX_MODULE_STATE* cur = Thread().current;
  return cur ? cur : AfxGetAppModuleState();
}

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* pNewState) {
  AFX_MODULE_STATE* old = AfxGetModuleState();
  Thread().current = pNewState;
  return old;
}

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* pModuleState) : m_pPrevModuleState(Thread().current) {
  Thread().current = pModuleState;
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { Thread().current = m_pPrevModuleState; }

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

CWinThread* AfxGetThread() {
  CWinThread* t = Thread().thread;
  if (t && t->m_pModuleState == AfxGetModuleState()) return t;
  return AfxGetApp();
}

CWnd* AfxGetMainWnd() {
  CWinThread* t = AfxGetThread();
  return t ? t->GetMainWnd() : nullptr;
}

HINSTANCE AfxGetInstanceHandle() { return kx::afx::InstanceOf(AfxGetModuleState()); }

HINSTANCE AfxGetResourceHandle() {
  AFX_MODULE_STATE* st = AfxGetModuleState();
  return st->m_hCurrentResourceHandle ? st->m_hCurrentResourceHandle : kx::afx::InstanceOf(st);
}

void AfxSetResourceHandle(HINSTANCE hInstResource) { AfxGetModuleState()->m_hCurrentResourceHandle = hInstResource; }

HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType) {
  HINSTANCE res = AfxGetResourceHandle();
  if (!lpszName || FindResource(res, lpszName, lpszType)) return res;
  HINSTANCE inst = AfxGetInstanceHandle();
  if (inst != res && FindResource(inst, lpszName, lpszType)) return inst;
  return res;
}

LPCSTR AfxGetAppName() {
  CWinApp* app = AfxGetApp();
  return app && app->m_pszAppName ? app->m_pszAppName : "";
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp* app = AfxGetApp()) return app->DoMessageBox(lpszText, nType, nIDHelp);
  HWND owner = CWnd::GetSafeOwner_(nullptr, nullptr);
  return ::MessageBox(owner, lpszText, "Error", nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  text.LoadString(nIDPrompt);
  if (nIDHelp == static_cast<UINT>(-1)) nIDHelp = nIDPrompt;
  if (CWinApp* app = AfxGetApp()) return app->DoMessageBox(text, nType, nIDHelp);
  return AfxMessageBox(text, nType, nIDHelp);
}

void AfxPostQuitMessage(int nExitCode) { ::PostQuitMessage(nExitCode); }

namespace {
// CString::LoadString reads the module that serves resources; exceptions report through AfxMessageBox.
const bool g_installed = [] {
  kx::SetStringLoader([](UINT id, std::string& out) {
    const char* text = nullptr;
    int n = LoadString(AfxGetResourceHandle(), id, reinterpret_cast<LPSTR>(&text), 0);
    if (n <= 0 || !text) return false;
    out.assign(text, static_cast<size_t>(n));
    return true;
  });
  kx::SetExceptionReporter([](const char* text, UINT type) { return AfxMessageBox(text, type); });
  return true;
}();
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}

CWinThread::~CWinThread() {
  if (m_hThread) CloseHandle(m_hThread);
  if (Thread().thread == this) Thread().thread = nullptr;
}

namespace {
DWORD ThreadEntry(LPVOID param) {
  auto* t = static_cast<CWinThread*>(param);
  kx::afx::ThreadState& ts = Thread();
  ts.current = t->m_pModuleState;
  ts.thread = t;
  DWORD code = 0;
  try {
    if (t->m_pfnThreadProc) {
      code = t->m_pfnThreadProc(t->m_pThreadParams);
    } else if (t->InitInstance()) {
      code = static_cast<DWORD>(t->Run());
    } else {
      code = static_cast<DWORD>(t->ExitInstance());
    }
  } catch (CException* e) {
    e->Delete();
    code = static_cast<DWORD>(-1);
  }
  ts.thread = nullptr;
  kx::afx::DeleteTempObjects();
  t->Delete();
  ts.current = nullptr;
  return code;
}
}  // namespace

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (m_hThread) return FALSE;
  m_pModuleState = AfxGetModuleState();
  DWORD id = 0;
  m_hThread = ::CreateThread(lpSecurityAttrs, nStackSize, ThreadEntry, this, dwCreateFlags | CREATE_SUSPENDED, &id);
  if (!m_hThread) return FALSE;
  m_nThreadID = id;
  if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(m_hThread);
  return TRUE;
}

DWORD CWinThread::ResumeThread() { return m_hThread ? ::ResumeThread(m_hThread) : static_cast<DWORD>(-1); }

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostThreadMessage(m_nThreadID, message, wParam, lParam);
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::ExitInstance() {
  kx::afx::DeleteTempObjects();
  return static_cast<int>(m_msgCur.wParam);
}

BOOL CWinThread::IsIdleMessage(MSG* pMsg) {
  // Mouse moves and timer ticks do not count as activity, so idle work is not repeated for them.
  return pMsg->message != WM_MOUSEMOVE && pMsg->message != WM_NCMOUSEMOVE && pMsg->message != WM_TIMER &&
         pMsg->message != WM_PAINT;
}

BOOL CWinThread::OnIdle(LONG) {
  kx::afx::DeleteTempObjects();
  return FALSE;
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg) { return AfxPreTranslateMessage(pMsg); }

BOOL CWinThread::PumpMessage() {
  if (!::GetMessage(&m_msgCur, nullptr, 0, 0)) return FALSE;
  if (!PreTranslateMessage(&m_msgCur)) {
    ::TranslateMessage(&m_msgCur);
    ::DispatchMessage(&m_msgCur);
  }
  return TRUE;
}

int CWinThread::Run() {
  BOOL idle = TRUE;
  LONG idleCount = 0;
  for (;;) {
    while (idle && !::PeekMessage(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idleCount++)) idle = FALSE;
    }
    do {
      if (!PumpMessage()) return ExitInstance();
      if (IsIdleMessage(&m_msgCur)) {
        idle = TRUE;
        idleCount = 0;
      }
    } while (::PeekMessage(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE));
  }
}

CWnd* CWinThread::GetMainWnd() { return m_pActiveWnd ? m_pActiveWnd : m_pMainWnd; }

void CWinThread::Delete() {
  if (m_bAutoDelete) delete this;
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int, UINT nStackSize, DWORD dwCreateFlags,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (!pfnThreadProc) return nullptr;
  auto* t = new CWinThread(pfnThreadProc, pParam);
  if (!t->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
    delete t;
    return nullptr;
  }
  if (!(dwCreateFlags & CREATE_SUSPENDED)) t->ResumeThread();
  return t;
}

// ---------------------------------------------------------------------------------------------------------------
// The application
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

CWinApp::CWinApp(LPCSTR lpszAppName, AFX_MODULE_STATE* state, kx::ModuleEntry entry) : m_pAppModuleState(state) {
  state->m_pCurrentWinApp = this;
  m_pModuleState = state;
  m_bAutoDelete = FALSE;
  if (lpszAppName) m_pszAppName = strdup(lpszAppName);
  // A program's application makes the program's state the one every thread starts with; a library's waits for
  // the loader to attach it.
  if (kx::afx::InMainProgram(state)) {
    kx::afx::g_programState.store(state);
  } else {
    state->m_bDLL = TRUE;
    kx::RegisterModuleEntry(entry);
  }
}

CWinApp::~CWinApp() {
  if (m_pAppModuleState && m_pAppModuleState->m_pCurrentWinApp == this) {
    m_pAppModuleState->m_pCurrentWinApp = nullptr;
    m_pAppModuleState->m_lpszCurrentAppName = nullptr;
  }
  for (LPCSTR* p : {&m_pszAppName, &m_pszExeName, &m_pszHelpFilePath, &m_pszProfileName, &m_pszRegistryKey}) {
    free(const_cast<char*>(*p));
    *p = nullptr;
  }
}

BOOL kx::AfxModuleEntry(AFX_MODULE_STATE* state, HINSTANCE instance, DWORD reason) {
  CWinApp* app = state->m_pCurrentWinApp;
  if (reason == DLL_PROCESS_ATTACH) {
    state->m_hCurrentInstanceHandle = instance;
    state->m_bDLL = TRUE;
    if (!state->m_hCurrentResourceHandle) state->m_hCurrentResourceHandle = instance;
    if (!app) return TRUE;
    AFX_MANAGE_STATE(state);
    app->m_hInstance = instance;
    kx::afx::FillNames(app, instance);
    try {
      return app->InitApplication() && app->InitInstance();
    } catch (CException* e) {
      e->Delete();
    } catch (...) {
    }
    return FALSE;
  }
  if (reason == DLL_PROCESS_DETACH) {
    if (app) {
      AFX_MANAGE_STATE(state);
      try {
        app->ExitInstance();
      } catch (CException* e) {
        e->Delete();
      } catch (...) {
      }
    }
    kx::afx::DeleteTempObjects();
    state->m_hCurrentInstanceHandle = nullptr;
    state->m_hCurrentResourceHandle = nullptr;
  }
  return TRUE;
}

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey) {
  free(const_cast<char*>(m_pszRegistryKey));
  m_pszRegistryKey = lpszRegistryKey ? strdup(lpszRegistryKey) : nullptr;
}

HICON CWinApp::LoadIcon(LPCSTR lpszResourceName) const {
  return ::LoadIcon(AfxFindResourceHandle(lpszResourceName, RT_GROUP_ICON), lpszResourceName);
}

HICON CWinApp::LoadStandardIcon(LPCSTR lpszIconName) const { return ::LoadIcon(nullptr, lpszIconName); }

HCURSOR CWinApp::LoadCursor(LPCSTR lpszResourceName) const {
  return ::LoadCursor(AfxFindResourceHandle(lpszResourceName, RT_GROUP_CURSOR), lpszResourceName);
}

HCURSOR CWinApp::LoadStandardCursor(LPCSTR lpszCursorName) const { return ::LoadCursor(nullptr, lpszCursorName); }

namespace {
std::string ProfileKey(const CWinApp* app, LPCSTR section) {
  std::string key = "Software\\";
  if (app->m_pszRegistryKey && *app->m_pszRegistryKey) key += std::string(app->m_pszRegistryKey) + "\\";
  LPCSTR profile = app->m_pszProfileName ? app->m_pszProfileName : app->m_pszAppName;
  key += profile && *profile ? profile : "app";
  if (section && *section) key += std::string("\\") + section;
  return key;
}
}  // namespace

UINT CWinApp::GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault) {
  return kx::RegDword(HKEY_CURRENT_USER, ProfileKey(this, lpszSection), lpszEntry, static_cast<DWORD>(nDefault));
}

BOOL CWinApp::WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, ProfileKey(this, lpszSection).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                     &key, nullptr) != ERROR_SUCCESS)
    return FALSE;
  DWORD value = static_cast<DWORD>(nValue);
  LSTATUS rc = RegSetValueEx(key, lpszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

CString CWinApp::GetProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault) {
  std::string text;
  if (!kx::RegReadString(HKEY_CURRENT_USER, ProfileKey(this, lpszSection), lpszEntry, &text))
    return CString(lpszDefault);
  return CString(text.c_str());
}

BOOL CWinApp::WriteProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszValue) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, ProfileKey(this, lpszSection).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                     &key, nullptr) != ERROR_SUCCESS)
    return FALSE;
  LSTATUS rc;
  if (!lpszEntry) rc = ERROR_SUCCESS;  // nothing to write without a value name
  else if (!lpszValue) rc = RegDeleteValue(key, lpszEntry);
  else rc = RegSetValueEx(key, lpszEntry, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpszValue),
                          static_cast<DWORD>(strlen(lpszValue) + 1));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS || (!lpszValue && rc == ERROR_FILE_NOT_FOUND);
}

BOOL CWinApp::InitApplication() { return TRUE; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() {
  kx::afx::DeleteTempObjects();
  return 0;
}

int CWinApp::Run() { return CWinThread::Run(); }

BOOL CWinApp::OnIdle(LONG lCount) { return CWinThread::OnIdle(lCount); }

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT) {
  HWND owner = CWnd::GetSafeOwner_(nullptr, nullptr);
  if ((nType & MB_ICONMASK) == 0) {
    switch (nType & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL: nType |= MB_ICONEXCLAMATION; break;
      case MB_YESNO:
      case MB_YESNOCANCEL: nType |= MB_ICONQUESTION; break;
      default: nType |= MB_ICONEXCLAMATION; break;
    }
  }
  return ::MessageBox(owner, lpszPrompt, m_pszAppName ? m_pszAppName : "", nType);
}

void CWinApp::WinHelp(DWORD_PTR dwData, UINT nCmd) { WinHelpInternal(dwData, nCmd); }

void CWinApp::HtmlHelp(DWORD_PTR dwData, UINT nCmd) { WinHelpInternal(dwData, nCmd); }

void CWinApp::WinHelpInternal(DWORD_PTR, UINT) {}
