// A library for kxhost's tests, started like the suite's library: its application loads the resource library
// from its own folder, its message boxes are HTML pages, and one export shows a Wizard97 wizard built the way the
// sheet registry builds one (bitmaps from the resource library, Construct, wizard mode, Wizard97 and Help flags).
#include <cstring>
#include <string>

#include "platform/com/bstr.h"
#include "platform/mfc/afxwin.h"
#include "platform/services/htmldialog.h"
#include "platform/win32/win32.h"

namespace {

std::string Folder() {
  char path[MAX_PATH] = {};
  GetModuleFileName(AfxGetInstanceHandle(), path, sizeof path);
  std::string s = path;
  return s.substr(0, s.rfind('/') + 1);
}

class CHostApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    m_resources = LoadLibrary((Folder() + "KXRes.DLL").c_str());
    m_pages = LoadLibrary("kxtestpages");
    if (!m_resources || !m_pages) return FALSE;
    AfxSetResourceHandle(m_resources);
    return TRUE;
  }
  int ExitInstance() override {
    FreeLibrary(m_pages);
    FreeLibrary(m_resources);
    return CWinApp::ExitInstance();
  }
  // Yes/no questions are the HELP page; its answer is "Yes" for yes.
  int DoMessageBox(LPCSTR prompt, UINT type, UINT) override {
    bool yesNo = (type & 0xF) == MB_YESNO;
    std::string page = Folder() + (yesNo ? "HELP/mboxyesno.htm" : "HELP/mbox.htm");
    std::string arg = std::string("Host;") + prompt;
    std::u16string url = kx::Utf8ToUtf16(page.data(), page.size());
    std::u16string warg = kx::Utf8ToUtf16(arg.data(), arg.size());
    HMODULE engine = LoadLibrary("MSHTML.DLL");
    auto show = reinterpret_cast<SHOWHTMLDIALOGFN>(GetProcAddress(engine, "ShowHTMLDialog"));
    IMoniker* moniker = nullptr;
    int answer = yesNo ? IDNO : IDOK;
    if (show && SUCCEEDED(CreateURLMoniker(nullptr, url.c_str(), &moniker))) {
      VARIANT in, out;
      VariantInit(&in);
      VariantInit(&out);
      in.vt = VT_BSTR;
      in.bstrVal = SysAllocString(warg.c_str());
      show(GetActiveWindow(), moniker, &in, nullptr, &out);
      if (yesNo && out.vt == VT_BSTR && kx::Utf16ToUtf8(out.bstrVal, SysStringLen(out.bstrVal)) == "Yes")
        answer = IDYES;
      VariantClear(&in);
      VariantClear(&out);
      moniker->Release();
    }
    FreeLibrary(engine);
    return answer;
  }
  HMODULE m_resources = nullptr, m_pages = nullptr;
};

CHostApp theApp;

class NamePage : public CPropertyPage {
 public:
  NamePage() : CPropertyPage(9002) {
    // The header texts are strings of the pages' library, not of the resource library.
    HINSTANCE resources = AfxGetResourceHandle();
    AfxSetResourceHandle(theApp.m_pages);
    Construct(9002, 0, 101, 102);
    AfxSetResourceHandle(resources);
    m_psp.hInstance = theApp.m_pages;
  }
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 1001, m_name); }
  BOOL OnSetActive() override {
    GetParentSheet()->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
  }
  CString m_name;
};

class WelcomePage : public CPropertyPage {
 public:
  WelcomePage() : CPropertyPage(9001) {
    m_psp.hInstance = theApp.m_pages;
    m_psp.dwFlags |= PSP_HIDEHEADER;
  }
  BOOL OnSetActive() override {
    GetParentSheet()->SetWizardButtons(PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
  }
};

// The resource library's finish page (template 4250).
class FinishPage : public CPropertyPage {
 public:
  FinishPage() : CPropertyPage(4250) { m_psp.dwFlags |= PSP_HIDEHEADER; }
  BOOL OnSetActive() override {
    GetParentSheet()->SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    return CPropertyPage::OnSetActive();
  }
};

class CHostWizard : public CPropertySheet {
 public:
  CBitmap m_bmpWatermark, m_bmpHeader;
  WelcomePage m_welcome;
  NamePage m_name;
  FinishPage m_finish;
};

}  // namespace

#define KXHOST_EXPORT extern "C" __attribute__((visibility("default")))

KXHOST_EXPORT int ShowTestWizard(HWND parent, LPCSTR name, CString* result) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  CHostWizard sheet;
  if (!sheet.m_bmpWatermark.LoadBitmap(8258u) || !sheet.m_bmpHeader.LoadBitmap(8255u)) return 0;
  sheet.Construct("Host Wizard", CWnd::FromHandle(parent), 0, sheet.m_bmpWatermark, nullptr, sheet.m_bmpHeader);
  sheet.SetWizardMode();
  sheet.m_psh.dwFlags |= PSH_WIZARD97 | PSH_HASHELP;
  sheet.m_psh.hInstance = AfxGetResourceHandle();
  sheet.AddPage(&sheet.m_welcome);
  sheet.AddPage(&sheet.m_name);
  sheet.AddPage(&sheet.m_finish);
  if (name) sheet.m_name.m_name = name;
  INT_PTR r = sheet.DoModal();
  if (r == IDCANCEL) return 0;
  if (result) *result = sheet.m_name.m_name;
  return 1;
}

KXHOST_EXPORT int AskYesNo(HWND, LPCSTR text, int* answer) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  int a = AfxMessageBox(text, MB_YESNO);
  if (answer) *answer = a;
  return 1;
}

// A popup menu with a submenu over a small owner window; the chosen command is written out.
KXHOST_EXPORT int ChooseCommand(HWND, int* chosen) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  CWnd owner;
  if (!owner.CreateEx(0, AfxRegisterWndClass(0), "Commands", WS_POPUP | WS_VISIBLE, 20, 20, 200, 100, nullptr,
                      nullptr))
    return 0;
  CMenu menu, more;
  menu.CreatePopupMenu();
  more.CreatePopupMenu();
  more.AppendMenu(MF_STRING, 201, "Export");
  more.AppendMenu(MF_STRING, 202, "Import");
  menu.AppendMenu(MF_STRING, 101, "Open");
  menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(more.Detach()), "More");
  int id = static_cast<int>(menu.TrackPopupMenu(TPM_RETURNCMD, 40, 40, &owner));
  owner.DestroyWindow();
  if (chosen) *chosen = id;
  return 1;
}
