#include "app/BrinmoorApp.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/BaseSheet.h"
#include "app/HtmlDialogBox.h"
#include "app/RegisterDefault.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "app/UserFolders.h"
#include "controls/LineEffect.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxstate.h"
#include "platform/win32/files.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"
#include "signing/OfficeTolvexDoc.h"

namespace {

CBrinmoorApp* g_app = nullptr;

// Keeps the HTML engine loaded while the library is loaded.
class CMshtmlHolder {
 public:
  CMshtmlHolder() : m_hModule(LoadLibrary("MSHTML.DLL")) {}
  virtual ~CMshtmlHolder() {
    if (m_hModule) FreeLibrary(m_hModule);
  }
  CMshtmlHolder(const CMshtmlHolder&) = delete;
  CMshtmlHolder& operator=(const CMshtmlHolder&) = delete;

 private:
  HMODULE m_hModule;
};

CString WithSeparator(const CString& folder) { return folder.Right(1) == "/" ? folder : folder + "/"; }

}  // namespace

CBrinmoorApp::CBrinmoorApp() : CWinApp(nullptr) {
  g_app = this;
  EnableHtmlHelp();
}

CBrinmoorApp::~CBrinmoorApp() {
  if (g_app == this) g_app = nullptr;
}

CBrinmoorApp* CBrinmoorApp::GetInstance() { return g_app; }

void SetResourceModule(HMODULE module) { AfxGetStaticModuleState()->m_hCurrentResourceHandle = module; }

BOOL CBrinmoorApp::InitInstance() {
  static CMshtmlHolder mshtml;
  // The defaults a first start writes go to each database in one transaction.
  kx::RegistryBatch batch;
  m_strStartError.Empty();
  // The library's own file: its folder holds the resource library, the HELP pages and the help file.
  char path[4096] = "";
  HMODULE self = GetModuleHandle("Brinmoor.DLL");
  DWORD n = GetModuleFileName(self, path, sizeof path);
  if (n == 0 || n >= sizeof path) {
    m_strStartError = "the library's own file cannot be found";
    return FALSE;
  }
  std::string file(path, n);
  m_strModuleFolder = file.substr(0, file.rfind('/') + 1).c_str();

  CString resources = WithSeparator(m_strModuleFolder) + "KXRes.DLL";
  if (!m_hResourceModule) m_hResourceModule = LoadLibrary(resources);
  if (!m_hResourceModule) {
    m_strStartError = "Application has failed to load Resources from " + resources;
    MessageBoxA(nullptr, m_strStartError, "Office Tolvex", MB_OK);
    return FALSE;
  }
  SetResourceModule(m_hResourceModule);
  // Boxes shown without a caption of their own carry the suite's title, as the message pages do.
  free(const_cast<char*>(m_pszAppName));
  m_pszAppName = strdup(LoadResString(283));
  if (AFX_MODULE_STATE* state = ModuleState()) state->m_lpszCurrentAppName = m_pszAppName;
  CoInitialize(nullptr);

  char temp[4096];
  memset(temp, 0, sizeof temp);
  GetTempPath(sizeof temp, temp);
  CString tempFolder = WithSeparator(temp) + "KXCESRA23592/";
  if (GetFileAttributes(tempFolder) == INVALID_FILE_ATTRIBUTES) CreateDirectory(tempFolder, nullptr);

  RegisterDefault();

  if (!CreateDocument()) {
    m_strStartError = "RecreateDocument failed";
    MessageBoxA(nullptr, m_strStartError, "Office Tolvex", MB_OK);
    return FALSE;
  }

  // The hidden main window: the parent of the sheets ShowSheet runs and the receiver of finish notices.
  m_pMainWnd = new CWnd;
  m_pMainWnd->CreateEx(0, "STATIC", "KX", 0xEFFFFFFF, 0, 0, 0, 0, nullptr, nullptr, nullptr);

  RecordOneClickFolder(GetDocumentsFolder());

  CSettingsStore machine(HKEY_LOCAL_MACHINE, "Software\\Kesmora\\OfficeTolvex");
  machine.WriteString("Help", "KXExe", std::string(WithSeparator(m_strModuleFolder) + "OfficeTolvex.EXE"));

  free(const_cast<char*>(m_pszHelpFilePath));
  m_pszHelpFilePath = strdup(WithSeparator(m_strModuleFolder) + "Zelvane.chm");
  return CWinApp::InitInstance();
}

int CBrinmoorApp::Run() { return CWinApp::Run(); }

int CBrinmoorApp::ExitInstance() {
  try {
    delete m_pMainWnd;
    ReleaseDocument();
    CoUninitialize();
    if (m_hResourceModule) FreeLibrary(m_hResourceModule);
    m_hResourceModule = nullptr;
    m_pMainWnd = nullptr;
  } catch (...) {
  }
  return CWinApp::ExitInstance();
}

BOOL CBrinmoorApp::CreateDocument() {
  ReleaseDocument();
  m_pDocument = new (std::nothrow) COfficeTolvexDoc;
  if (m_pDocument) m_pDocument->OnNewDocument();
  return m_pDocument != nullptr;
}

void CBrinmoorApp::ReleaseDocument() {
  if (!m_pDocument) return;
  m_pDocument->DeleteContents();
  delete m_pDocument;
  m_pDocument = nullptr;
}

CString CBrinmoorApp::MessageArgument(LPCSTR text) { return LoadResString(283) + ";" + (text ? text : ""); }

int CBrinmoorApp::ShowMessagePage(LPCSTR text, UINT type, CWnd* owner) {
  UINT kind = type & MB_TYPEMASK;
  const char* page = "HELP/mbox.htm";
  if (kind == MB_OKCANCEL) page = "HELP/mboxokcancel.htm";
  if (kind == MB_YESNO) page = "HELP/mboxyesno.htm";
  if (kind == MB_YESNOCANCEL) page = "HELP/mboxyesnocancel.htm";
  CHtmlDialogBox box(WithSeparator(m_strModuleFolder) + page, FALSE, owner);
  box.SetArgument(MessageArgument(text));
  if (box.DoModal() == -1) return -1;
  CString result = box.GetResult();
  switch (kind) {
    case MB_OKCANCEL: return result.CompareNoCase("OK") == 0 ? IDOK : IDCANCEL;
    case MB_YESNO: return result.CompareNoCase(LoadResString(234)) == 0 ? IDYES : IDNO;
    case MB_YESNOCANCEL:
      if (result.CompareNoCase(LoadResString(234)) == 0) return IDYES;
      return result.CompareNoCase("No") == 0 ? IDNO : IDCANCEL;
    default: return IDOK;
  }
}

int CBrinmoorApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt) {
  UINT kind = nType & MB_TYPEMASK;
  if (kind == MB_ABORTRETRYIGNORE || kind == MB_RETRYCANCEL) return CWinApp::DoMessageBox(lpszPrompt, nType, nIDPrompt);
  MessageBeep(0xFFFFFFFF);
  int answer = ShowMessagePage(lpszPrompt, nType, CWnd::GetActiveWindow());
  // Without the page the standard box asks the same question, so the answer is never lost.
  if (answer == -1) answer = CWinApp::DoMessageBox(lpszPrompt, nType, nIDPrompt);
  return answer;
}

void CBrinmoorApp::HtmlHelp(DWORD_PTR dwData, UINT nCmd) { ShowHelp(dwData, nCmd); }

void CBrinmoorApp::ShowHelp(DWORD_PTR, UINT) { HtmlHelpLoader(nullptr, m_pszHelpFilePath, 0, 0); }

void CBrinmoorApp::ShowSheet(LPCSTR className, BYTE pagesAdded, BYTE, BYTE systemMenu, LPCSTR title, BYTE hosted) {
  CFormsObjectProvider provider;
  CBaseSheet* sheet = nullptr;
  provider.CreateSheetByName(className, AfxGetMainWnd(), &sheet);
  if (!sheet) return;
  sheet->m_bHosted = hosted;
  if (title) sheet->SetTitle(title, 0);
  sheet->m_bSystemMenu = systemMenu;
  if (!pagesAdded) {
    sheet->AddPages();
    sheet->OnPagesAdded();
  }
  sheet->DoModal();
  delete sheet;
}

void CBrinmoorApp::ShowAboutBox(CWnd* parent) {
  CHtmlDialogBox box(WithSeparator(m_strModuleFolder) + "HELP/aboutkx.htm", FALSE, CWnd::GetActiveWindow());
  CLineEffect effect;
  CRect rect;
  if (parent) parent->GetWindowRect(&rect);
  else CWnd::GetDesktopWindow()->GetWindowRect(&rect);
  effect.SetMode(0);
  effect.AnimateIn(rect);
  box.DoModal();
  effect.AnimateOut(rect);
}

BOOL DispatchPendingMessages() {
  static MSG msg;
  for (;;) {
    if (!PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) return TRUE;
    CWinThread* thread = AfxGetThread();
    BOOL pumped = thread ? thread->PumpMessage() : AfxPumpMessage();
    if (!pumped) {
      PostQuitMessage(0);
      return FALSE;
    }
  }
}
