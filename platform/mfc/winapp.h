// Module state, threads and the application object.
//
// Every library or program that uses the framework has its own module state: its application object, its
// instance handle and the module that serves its resources. AfxGetModuleState() is the state current on the
// calling thread (the program's own until something switches); AFX_MANAGE_STATE(AfxGetStaticModuleState())
// makes the calling module's state current until the end of the enclosing block, on every way out.
//
// A library's application object (one static CWinApp-derived object) ties the library to the platform's
// loader: when the library is loaded through LoadLibrary, InitInstance runs under the library's state, and a
// FALSE result refuses the load; FreeLibrary of the last reference runs ExitInstance.
#pragma once

#include "platform/mfc/cmdtarget.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/modules.h"
#include "platform/win32/sync.h"

class CWinApp;
class CWinThread;
class CWnd;

struct KXAPI AFX_MODULE_STATE {
  CWinApp* m_pCurrentWinApp = nullptr;
  HINSTANCE m_hCurrentInstanceHandle = nullptr;
  HINSTANCE m_hCurrentResourceHandle = nullptr;
  LPCSTR m_lpszCurrentAppName = nullptr;
  BOOL m_bDLL = FALSE;
  // Where the state lives, to find its module when no loader told it (programs, libraries linked directly).
  const void* m_pAnchor = nullptr;
};

KXAPI AFX_MODULE_STATE* AfxGetModuleState();
KXAPI AFX_MODULE_STATE* AfxGetAppModuleState();
// Makes the state current on this thread (NULL: back to the program's); returns the previous one.
KXAPI AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* pNewState);

// The calling module's own state: one per library or program (the function has hidden visibility).
__attribute__((visibility("hidden"))) inline AFX_MODULE_STATE* AfxGetStaticModuleState() {
  static AFX_MODULE_STATE state;
  state.m_pAnchor = &state;
  return &state;
}

class KXAPI AFX_MAINTAIN_STATE2 {
 public:
  explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* pModuleState);
  ~AFX_MAINTAIN_STATE2();
  AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
  AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

 private:
  AFX_MODULE_STATE* m_pPrevModuleState;
};
using AFX_MAINTAIN_STATE = AFX_MAINTAIN_STATE2;
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p);

KXAPI CWinApp* AfxGetApp();
KXAPI CWinThread* AfxGetThread();
KXAPI CWnd* AfxGetMainWnd();
KXAPI HINSTANCE AfxGetInstanceHandle();
KXAPI HINSTANCE AfxGetResourceHandle();
KXAPI void AfxSetResourceHandle(HINSTANCE hInstResource);
KXAPI HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);
KXAPI LPCSTR AfxGetAppName();
// Every message box of the framework lands in the application's DoMessageBox (a plain box without one).
KXAPI int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
KXAPI int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
KXAPI void AfxPostQuitMessage(int nExitCode);

// ---- threads ----
using AFX_THREADPROC = UINT (*)(LPVOID);
#ifndef THREAD_PRIORITY_NORMAL
#define THREAD_PRIORITY_NORMAL 0
#endif

class KXAPI CWinThread : public CCmdTarget {
  DECLARE_DYNAMIC(CWinThread)
 public:
  CWinThread();
  CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
  ~CWinThread() override;

  // Starts the thread (suspended with CREATE_SUSPENDED); it runs under the module state of its creator.
  BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
  operator HANDLE() const { return m_hThread; }  // NOLINT
  DWORD ResumeThread();
  BOOL SetThreadPriority(int) { return TRUE; }
  BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // The message loop: idles, pumps and pre-translates until WM_QUIT.
  virtual int Run();
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL PumpMessage();
  virtual BOOL OnIdle(LONG lCount);
  virtual BOOL IsIdleMessage(MSG* pMsg);
  virtual CWnd* GetMainWnd();
  virtual void Delete();

  CWnd* m_pMainWnd = nullptr;
  CWnd* m_pActiveWnd = nullptr;
  BOOL m_bAutoDelete = TRUE;
  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  MSG m_msgCur{};
  AFX_THREADPROC m_pfnThreadProc = nullptr;
  LPVOID m_pThreadParams = nullptr;
  AFX_MODULE_STATE* m_pModuleState = nullptr;
};

// A worker running pfnThreadProc(pParam). With m_bAutoDelete (the default) the object deletes itself when the
// thread ends; a creator that waits for the thread clears it (start suspended, clear, resume).
KXAPI CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                                 UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                                 LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

// ---- the application ----
enum AFX_HELP_TYPE { afxWinHelp = 0, afxHTMLHelp = 1 };

namespace kx {
// The loader's entry of a library with an application object: InitInstance on attach, ExitInstance on detach.
KXAPI BOOL AfxModuleEntry(AFX_MODULE_STATE* state, HINSTANCE instance, DWORD reason);
// Each library's own entry routine (hidden, so the loader can tell the libraries apart).
__attribute__((visibility("hidden"))) inline BOOL AfxLibraryEntry(HINSTANCE instance, DWORD reason, void*) {
  return AfxModuleEntry(AfxGetStaticModuleState(), instance, reason);
}
}  // namespace kx

class KXAPI CWinApp : public CWinThread {
  DECLARE_DYNAMIC(CWinApp)
 public:
  // Registers the application with the calling module's state and the module's entry with the loader.
  __attribute__((visibility("hidden"))) explicit CWinApp(LPCSTR lpszAppName = nullptr)
      : CWinApp(lpszAppName, AfxGetStaticModuleState(), &kx::AfxLibraryEntry) {}
  ~CWinApp() override;

  // Heap strings (malloc), freed by the destructor; an application may replace them with its own copies.
  LPCSTR m_pszAppName = nullptr;
  LPCSTR m_pszExeName = nullptr;
  LPCSTR m_pszHelpFilePath = nullptr;
  LPCSTR m_pszProfileName = nullptr;
  LPCSTR m_pszRegistryKey = nullptr;
  HINSTANCE m_hInstance = nullptr;
  LPSTR m_lpCmdLine = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;
  AFX_HELP_TYPE m_eHelpType = afxWinHelp;

  void EnableHtmlHelp() { m_eHelpType = afxHTMLHelp; }
  // The profile then lives under HKEY_CURRENT_USER "Software\<key>\<profile name>".
  void SetRegistryKey(LPCSTR lpszRegistryKey);

  HICON LoadIcon(LPCSTR lpszResourceName) const;
  HICON LoadIcon(UINT nIDResource) const { return LoadIcon(MAKEINTRESOURCE(nIDResource)); }
  HICON LoadStandardIcon(LPCSTR lpszIconName) const;
  HCURSOR LoadCursor(LPCSTR lpszResourceName) const;
  HCURSOR LoadCursor(UINT nIDResource) const { return LoadCursor(MAKEINTRESOURCE(nIDResource)); }
  HCURSOR LoadStandardCursor(LPCSTR lpszCursorName) const;

  // The application's profile: values in the registry under HKEY_CURRENT_USER, "Software\<registry key>\<profile
  // name>\<section>" (without a registry key: "Software\<profile name>\<section>").
  UINT GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault);
  BOOL WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue);
  CString GetProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault = nullptr);
  BOOL WriteProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszValue);

  virtual BOOL InitApplication();
  BOOL InitInstance() override;
  int ExitInstance() override;
  int Run() override;
  BOOL OnIdle(LONG lCount) override;
  // Shows a message box for AfxMessageBox: the prompt, the type, and the prompt's string id (0 for none).
  virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);
  virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = 0x0001);
  virtual void HtmlHelp(DWORD_PTR dwData, UINT nCmd = 0x000F);
  virtual void WinHelpInternal(DWORD_PTR dwData, UINT nCmd = 0x0001);

  AFX_MODULE_STATE* ModuleState() const { return m_pAppModuleState; }

 protected:
  CWinApp(LPCSTR lpszAppName, AFX_MODULE_STATE* state, kx::ModuleEntry entry);
  AFX_MODULE_STATE* m_pAppModuleState = nullptr;
};
