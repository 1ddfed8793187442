// The library's application object. It prepares the library when a host loads it (resource library, COM,
// temporary folder, first-start defaults, drawing document, hidden main window, default folders) and tidies
// up when the host unloads it. Every AfxMessageBox of the library is shown as an HTML page, help opens the
// help file, and ShowSheet runs any registered sheet by its class name.
#pragma once

#include "platform/mfc/winapp.h"
#include "platform/mfc/wnd.h"

class COfficeTolvexDoc;

class CBrinmoorApp : public CWinApp {
 public:
  CBrinmoorApp();
  ~CBrinmoorApp() override;

  // The library's one application object (null before it is built and after it is gone).
  static CBrinmoorApp* GetInstance();

  BOOL InitInstance() override;
  int Run() override;
  int ExitInstance() override;
  // MB_OK, MB_OKCANCEL and types 6 and above: the one-button or OK/Cancel page; MB_YESNO and MB_YESNOCANCEL:
  // the yes/no (cancel) page; MB_ABORTRETRYIGNORE and MB_RETRYCANCEL: the standard box. When a page cannot be
  // shown, the standard box with the same buttons stands in for it.
  int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt) override;
  void HtmlHelp(DWORD_PTR dwData, UINT nCmd) override;
  // Opens the help file at its default topic; both arguments are ignored.
  void ShowHelp(DWORD_PTR dwData, UINT nCmd);

  // Runs one registered sheet modally under the hidden main window and deletes it. Nothing is shown for a
  // class name that no record has.
  void ShowSheet(LPCSTR className, BYTE pagesAdded, BYTE reserved, BYTE systemMenu, LPCSTR title, BYTE hosted);
  // The About page, with the line effect over the parent's rectangle (the desktop's without a parent).
  void ShowAboutBox(CWnd* parent);

  BOOL CreateDocument();
  void ReleaseDocument();

  // The message page's argument: resource string 283, ";", the text.
  static CString MessageArgument(LPCSTR text);
  // Shows a message page of the library's HELP folder; the pressed button, -1 when the page cannot be shown.
  int ShowMessagePage(LPCSTR text, UINT type, CWnd* owner);

  HMODULE m_hResourceModule = nullptr;
  // Folder of the library's own file, always ending with a separator.
  CString m_strModuleFolder;
  COfficeTolvexDoc* m_pDocument = nullptr;
  // Why the last InitInstance answered FALSE, for the host's error output (empty after a good start).
  CString m_strStartError;
};

// Makes the module the resource source of the library's module state.
void SetResourceModule(HMODULE module);
// Pumps the waiting messages for long operations on the user-interface thread; FALSE when WM_QUIT was taken
// (it is posted again, so the quit request is not lost).
BOOL DispatchPendingMessages();
