// The library's 38 exported functions: the only way a host enters. Each one switches to the library's module
// state, opens one modal sheet, dialog or page over the caller's window, deletes what it made and returns 1
// or 0 (BRINMOOR_NOT_STARTED when the library cannot start). An exception never leaves an export: the host gets
// the export's result instead.
#include <functional>
#include <memory>
#include <string>

#include "app/BaseSheet.h"
#include "app/BrinmoorApp.h"
#include "app/HtmlDialogBox.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/AddressBook.h"
#include "certificates/CertSheet.h"
#include "certificates/CryptUILibrary.h"
#include "certificates/SelCertSheet.h"
#include "core/SecurityPolicy.h"
#include "encryption/EncryptionWizard.h"
#include "encryption/OneClickSelectDialog.h"
#include "encryption/OneClickViewSheet.h"
#include "engine/CapicomCertificates.h"
#include "platform/mfc/afxstate.h"
#include "platform/win32/registry.h"
#include "settings/EmbeddedConfigMgr.h"
#include "settings/MailOptionDialogs.h"
#include "settings/MailProfile.h"
#include "settings/ProfileListDlg.h"
#include "settings/SysProfileSheet.h"
#include "settings/UserProfileSetupWizard.h"
#include "settings/XQProfileWizard.h"
#include "app/OfficeTolvexDoc.h"
#include "signing/SignSheet.h"
#include "signing/SummarySheet.h"

// The public header, on the platform's own types: its declarations must agree with the definitions below.
#define BRINMOOR_PLATFORM_TYPES
#include "library/include/brinmoor/brinmoor.h"

#include "library/startup.h"

#define KXEXPORT extern "C" __attribute__((visibility("default")))

// Every export starts the library when no loader has, and fails without it; then it works in the library's
// module state.
#define KX_ENTER()                                                 \
  if (!LibraryStartedFor(__func__)) return BRINMOOR_NOT_STARTED; \
  AFX_MANAGE_STATE(AfxGetStaticModuleState())

namespace {

using SheetPtr = std::unique_ptr<CBaseSheet>;

CWnd* Wnd(HWND hwnd) { return CWnd::FromHandle(hwnd); }

SheetPtr MakeSheet(LPCSTR className, CWnd* parent) {
  CFormsObjectProvider provider;
  CBaseSheet* sheet = nullptr;
  provider.CreateSheetByName(className, parent, &sheet);
  return SheetPtr(sheet);
}

template <class T>
T* As(const SheetPtr& sheet) {
  return dynamic_cast<T*>(sheet.get());
}

// How the sheet family prepares a registered sheet before it runs.
enum class Pages { kByExport, kByRegistry, kByConstructor };

// The sheet family: make the sheet by name, unhosted, set its fields, add its pages when the record did not,
// title it from a resource string and run it. 1 in every case.
template <class Fields>
int ShowFamilySheet(LPCSTR className, CWnd* parent, UINT titleId, Pages pages, Fields fields) {
  SheetPtr sheet = MakeSheet(className, parent);
  if (!sheet) return 1;
  sheet->m_bHosted = 0;
  fields(sheet.get());
  if (pages == Pages::kByExport) {
    sheet->AddPages();
    sheet->OnPagesAdded();
  }
  sheet->SetTitle(LoadResString(titleId), 0);
  if (pages == Pages::kByConstructor) sheet->OnPagesAdded();
  sheet->DoModal();
  return 1;
}

int ShowFamilySheet(LPCSTR className, CWnd* parent, UINT titleId, Pages pages) {
  return ShowFamilySheet(className, parent, titleId, pages, [](CBaseSheet*) {});
}

// The work of an export; an exception that leaves it gives `failed` instead, so that none reaches the host.
template <class Work>
int Guarded(int failed, Work work) {
  try {
    return work();
  } catch (...) {
    return failed;
  }
}

// The exports that run a registered sheet under the library's hidden main window.
int ShowThroughApp(LPCSTR className, BYTE pagesAdded, BYTE systemMenu) {
  auto* app = dynamic_cast<CBrinmoorApp*>(AfxGetApp());
  if (!app) return 0;
  app->ShowSheet(className, pagesAdded, 1, systemMenu, nullptr, 0);
  return 1;
}

CString HelpPage(const char* name) {
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  CString folder = app ? app->m_strModuleFolder : CString();
  return folder + "HELP/" + name;
}

CString FolderOf(const CString& path) {
  std::string s(path);
  return CString(s.substr(0, s.rfind('/') + 1).c_str());
}

// A certificate wrapper that holds a certificate, not just an empty engine object.
bool HoldsCertificate(const CCapicomCertificate& certificate) {
  return !certificate.IsEmpty() && !certificate.GetThumbprint().IsEmpty();
}

const char kProfilesKey[] = "Software\\Kesmora\\MailTolvex\\Profiles";

}  // namespace

// ---- the sheet family ----

KXEXPORT int DisplayConfigManager(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CEmbeddedConfigMgr", Wnd(parent), 285, Pages::kByExport); });
}

KXEXPORT int DisplayConfigManagerForCAC(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CEmbeddedConfigMgr", Wnd(parent), 285, Pages::kByExport, [](CBaseSheet* s) {
      if (auto* sheet = dynamic_cast<CEmbeddedConfigMgr*>(s)) sheet->m_bSmartCard = 1;
    }); });
}

KXEXPORT int DisplaySignerWizard(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CSignSheet", Wnd(parent), 286, Pages::kByRegistry); });
}

KXEXPORT int DisplaySystemProfile(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CSysProfileSheet", Wnd(parent), 290, Pages::kByExport); });
}

KXEXPORT int DisplaySystemProfileForCAC(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CSysProfileSheet", Wnd(parent), 291, Pages::kByExport, [](CBaseSheet* s) {
      if (auto* sheet = dynamic_cast<CSysProfileSheet*>(s)) sheet->m_bSmartCard = 1;
    }); });
}

static int ShowCertificateManager(CWnd* parent) {
  return ShowFamilySheet("CCertSheet", parent, 178, Pages::kByConstructor,
                         [](CBaseSheet* sheet) { sheet->m_bSystemMenu = 1; });
}

KXEXPORT int DisplayCertificateManager(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowCertificateManager(Wnd(parent)); });
}

KXEXPORT int ShowCertificateManagerPage(HWND) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowCertificateManager(CWnd::GetActiveWindow()); });
}

KXEXPORT int DisplayAuditEventLog(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CAuditSheet", Wnd(parent), 292, Pages::kByExport); });
}

KXEXPORT int DisplayOneClickWizard(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("COneClickSheet", Wnd(parent), 293, Pages::kByRegistry); });
}

KXEXPORT int DisplaySignatureManager(HWND parent) {
  KX_ENTER();
  std::unique_ptr<COfficeTolvexDoc> document;
  return Guarded(1, [&] { return ShowFamilySheet("CSignManagerSheet", Wnd(parent), 294, Pages::kByRegistry, [&](CBaseSheet* sheet) {
      if (sheet->m_pDocument) return;
      // A document of its own, prepared as a new drawing (pens and size).
      document.reset(new COfficeTolvexDoc);
      document->OnNewDocument();
      sheet->m_pDocument = document.get();
    }); });
}

KXEXPORT int DisplayArchiveWizard(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowFamilySheet("CArchiveSheet", Wnd(parent), 295, Pages::kByRegistry); });
}

KXEXPORT int DisplayCertCreationWizard(HWND parent) {
  KX_ENTER();
  return Guarded(1, [&] {
    CSecurityPolicy policy;
    BOOL allowed = TRUE;
    if (policy.Load()) allowed = policy.m_bCertificateCreationWizard;
    if (!allowed) {
      AfxMessageBox(LoadResString(296), MB_OK);
      return 1;
    }
    return ShowFamilySheet("CCWizard", Wnd(parent), 297, Pages::kByRegistry);
  });
}

// ---- the ShowSheet family ----

KXEXPORT int DisplayPackageWizard(int, int) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowThroughApp("CPackageSheet", 1, 0); });
}

KXEXPORT int DisplayVorlindPolicyManager(int, int) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowThroughApp("CEmbeddedSecurityPolicySheet", 0, 1); });
}

KXEXPORT int DisplayUserSetupWizard(int, int) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowThroughApp("CUserProfileSetupWizard", 1, 0); });
}

KXEXPORT int DisplayCodeSignWizard(int) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowThroughApp("CCodeSignWizard", 1, 0); });
}

KXEXPORT int DisplayCertificateImporter(int) {
  KX_ENTER();
  return Guarded(1, [&] { return ShowThroughApp("CPfxWizard", 1, 0); });
}

// ---- operations ----

// The operation exports: one file of the host through a protect wizard (sign or encrypt) of its own, its output
// folder the file's own when none is given. prepare sets the start page and title; done reads the run's
// results. 0 when the wizard cannot be made or was cancelled.
template <class Wizard>
int RunOperationWizard(HWND parent, const char* className, BYTE operation, LPCSTR path, LPCSTR outputFolder,
                       const std::function<void(Wizard&)>& prepare,
                       const std::function<void(CProtectWizardData&)>& done = nullptr) {
  int result = 1;
  try {
    SheetPtr sheet = MakeSheet(className, Wnd(parent));
    auto* wizard = As<Wizard>(sheet);
    if (!wizard) return 0;
    wizard->m_bHosted = 0;
    CProtectWizardData& data = wizard->m_WizardData;
    data.m_arrInputFiles.Add(path);
    data.m_strOutputFolder = outputFolder ? CString(outputFolder) : FolderOf(path);
    data.m_nMode = operation;
    data.m_bLaunchedByOperation = 1;
    prepare(*wizard);
    if (wizard->DoModal() == IDCANCEL) result = 0;
    else if (done) done(data);
  } catch (...) {
    // The host gets 0 (nothing done); the sheet reported what it could before it went.
  }
  return result;
}

KXEXPORT int SignerWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder,
                                   CString* resultPath, CString* resultText) {
  KX_ENTER();
  // Unknown operations and a missing file do nothing; 0 tells the host that nothing was done.
  if (operation > 4 || !path) return 0;
  return RunOperationWizard<CSignSheet>(
      parent, "CSignSheet", operation, path, outputFolder,
      [&](CSignSheet& wizard) {
        if (operation == 4) {
          wizard.m_nStartPage = CSignSheet::kProcessingPage;
          wizard.m_WizardData.m_bAutoFinish = 1;
        } else {
          wizard.m_nStartPage = CSignSheet::kFilePage;
        }
        wizard.SetTitle("Signer Wizard", 0);
      },
      [&](CProtectWizardData& data) {
        if (resultPath) *resultPath = data.m_strLastOutputFile;
        if (resultText) *resultText = data.m_strResultMessage;
      });
}

KXEXPORT int EncryptWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder) {
  KX_ENTER();
  // The encryption wizard runs encryption (0) and decryption (4) only: any other code shows nothing.
  if ((operation != 0 && operation != 4) || !path) return 0;
  return RunOperationWizard<CEncryptionWizard>(parent, "CEncryptionWizard", operation, path, outputFolder,
                                               [&](CEncryptionWizard& wizard) {
                                                 wizard.m_nStartPage = operation == 4 ? CEncryptionWizard::kInformationPage
                                                                                      : CEncryptionWizard::kMainPage;
                                                 wizard.SetTitle(LoadResString(307), 0);
                                               });
}

KXEXPORT int DisplayProfileWizard(int, int index) {
  KX_ENTER();
  return Guarded(0, [&] { return RunProfileWizard(CWnd::GetForegroundWindow(), index); });
}

KXEXPORT int UserSetup(LPCSTR fullName, LPCSTR emailName) {
  KX_ENTER();
  int result = 0;
  try {
    SheetPtr sheet = MakeSheet("CUserProfileSetupWizard", AfxGetMainWnd());
    auto* wizard = As<CUserProfileSetupWizard>(sheet);
    if (!wizard) return 0;
    wizard->m_bHosted = 0;
    wizard->m_bSystemMenu = 0;
    if (fullName && emailName) {
      CMailProfileList list(HKEY_CURRENT_USER, kProfilesKey);
      list.Load();
      if (list.FindByName(emailName)) return 0;
      wizard->m_Profile.InitDefaults(FALSE);
      wizard->m_Profile.m_strEmailName = emailName;
      wizard->m_Profile.m_strFullName = fullName;
      wizard->m_nStartPage = 1;
    }
    wizard->DoModal();
    result = 1;
  } catch (...) {
    // The host gets 0 (nothing done); the sheet reported what it could before it went.
  }
  return result;
}

KXEXPORT int DisplayOneClickSetting(HWND parent, LPCSTR presetName) {
  KX_ENTER();
  return Guarded(1, [&] {
    COneClickSelectDialog presets(nullptr);
    presets.m_bShowAll = 1;
    if (presets.ScanPresetFolder() == 0) return 1;
    presets.LoadPresetList();
    CString path;
    if (!presets.FindPresetPath(presetName, path)) return 1;
    COneClickViewSheet sheet("One Click Settings", Wnd(parent), 0);
    sheet.m_bOwnAnimation = 0;
    sheet.m_strPresetPath = path;
    sheet.DoModal();
    return 1;
  });
}

KXEXPORT int DisplayTolvexFileSummary(HWND parent, LPCSTR path) {
  KX_ENTER();
  return Guarded(1, [&] {
    CSummarySheet sheet("Tolvex (.tvx) Details", Wnd(parent), 0);
    sheet.m_bOwnAnimation = 0;
    sheet.m_strFilePath = path;
    sheet.DoModal();
    return 1;
  });
}

KXEXPORT int DisplayMailTolvexProperties(int, LPCSTR path, LPCSTR statusText) {
  KX_ENTER();
  return Guarded(0, [&] {
    SheetPtr sheet = MakeSheet("CSummarySheet", CWnd::GetForegroundWindow());
    auto* summary = As<CSummarySheet>(sheet);
    if (!summary) return 0;
    summary->m_bHosted = 0;
    summary->SetTitle(LoadResString(301), 0);
    summary->m_bSystemMenu = 0;
    summary->m_strFilePath = path;
    summary->m_strStatusText = statusText;
    summary->m_bMailMode = 1;
    summary->DoModal();
    return 1;
  });
}

// ---- selections, messages and small dialogs ----

KXEXPORT int SelectCertificate(HWND parent, BOOL useSelectionSheet, ICertificates2** chosen) {
  KX_ENTER();
  if (chosen) *chosen = nullptr;
  return Guarded(1, [&] {
    CCapicomCertificates collection;
    if (!useSelectionSheet) {
      SheetPtr sheet = MakeSheet("CCertSheet", Wnd(parent));
      if (auto* manager = As<CCertSheet>(sheet)) {
        manager->SetTitle(LoadResString(298), 0);
        manager->m_bHosted = 0;
        manager->m_bSelectionMode = 1;
        manager->m_bOwnAnimation = 0;
        manager->RemovePage(1);
        manager->RemovePage(1);
        // Only a certificate the user picked goes back; an empty result is no choice.
        if (manager->DoModal() == IDOK && HoldsCertificate(manager->m_ResultCertificate))
          collection.Add(manager->m_ResultCertificate);
      }
      sheet.reset();
      ResetSheetRegistry();
    } else {
      CSelCertSheet sheet(LoadResString(299), Wnd(parent), 0);
      sheet.m_bOwnAnimation = 0;
      if (sheet.DoModal() == IDOK) {
        for (INT_PTR i = 0; i < sheet.m_Selected.GetSize(); ++i)
          if (HoldsCertificate(sheet.m_Selected[i])) collection.Add(sheet.m_Selected[i]);
      }
    }
    if (collection.GetCount() > 0 && chosen) {
      ICertificates2* certificates = collection.GetInterfacePtr();
      certificates->AddRef();
      *chosen = certificates;
    }
    return 1;
  });
}

KXEXPORT int SelectOneClickSettings(HWND parent, BYTE operation, BOOL listAll, BSTR* presetPath) {
  KX_ENTER();
  return Guarded(0, [&] {
    COneClickSelectDialog dialog(Wnd(parent));
    dialog.m_bShowAll = listAll != 0;
    dialog.m_nOperation = operation;
    if (dialog.DoModal() != IDOK) return 0;
    CString path;
    dialog.GetSelectedPresetPath(path);
    if (path.IsEmpty()) return 0;
    if (presetPath) *presetPath = path.AllocSysString();
    return 1;
  });
}

KXEXPORT int SelectProfile(int, int* profileIndex) {
  KX_ENTER();
  return Guarded(0, [&] {
    CProfileListDlg dialog(CWnd::GetForegroundWindow());
    dialog.m_bSelectionMode = 1;
    if (profileIndex) *profileIndex = -1;
    if (dialog.DoModal() != IDOK) return 0;
    if (profileIndex) *profileIndex = dialog.m_nSelectedIndex;
    return 1;
  });
}

KXEXPORT int DisplayProfileList(int) {
  KX_ENTER();
  return Guarded(1, [&] {
    CProfileListDlg dialog(CWnd::GetForegroundWindow());
    dialog.DoModal();
    return 1;
  });
}

KXEXPORT int ShowMessage(HWND, LPCSTR text) {
  KX_ENTER();
  return Guarded(1, [&] {
    AfxMessageBox(text ? text : "", MB_OK, 0);
    return 1;
  });
}

KXEXPORT int ShowMessageYesNo(HWND, LPCSTR text, int* answer) {
  KX_ENTER();
  if (answer) *answer = 0;
  return Guarded(1, [&] {
    int pressed = AfxMessageBox(text ? text : "", MB_YESNO, 0);
    if (answer) *answer = pressed;
    return 1;
  });
}

KXEXPORT int DisplayESign(int, int) {
  KX_ENTER();
  return Guarded(1, [&] {
    CESignDlg dialog(CWnd::GetForegroundWindow());
    dialog.DoModal();
    return 1;
  });
}

KXEXPORT int DisplayArchiveConfig(int, int) {
  KX_ENTER();
  return Guarded(1, [&] {
    CCompressionDlg dialog(CWnd::GetForegroundWindow());
    dialog.DoModal();
    return 1;
  });
}

// ---- the address book and the platform's pages ----

template <class Show>
static int WithAddressBook(Show show) {
  return Guarded(1, [&] {
    CAddressBook book;
    if (book.LoadAddressBook(nullptr)) show(book);
    return 1;
  });
}

KXEXPORT int DisplayAddressBook(HWND parent) {
  KX_ENTER();
  return WithAddressBook([parent](CAddressBook& book) { book.ShowAddressBook(parent, 1); });
}

KXEXPORT int FindSubject(HWND parent) {
  KX_ENTER();
  return WithAddressBook([parent](CAddressBook& book) { book.FindEntry(parent); });
}

KXEXPORT int NewEntry(HWND parent) {
  KX_ENTER();
  return WithAddressBook([parent](CAddressBook& book) { book.CreateEntry(parent); });
}

KXEXPORT int DisplayCertStores(HWND) {
  KX_ENTER();
  return Guarded(1, [&] {
    CCryptUILibrary library;
    library.Load();
    library.StartCertMgr();
    return 1;
  });
}

KXEXPORT int DisplayAboutBox(HWND) {
  KX_ENTER();
  return Guarded(1, [&] {
    if (CBrinmoorApp* app = CBrinmoorApp::GetInstance()) app->ShowAboutBox(nullptr);
    return 1;
  });
}

KXEXPORT int DisplayTestimony(HWND) {
  KX_ENTER();
  return Guarded(1, [&] {
    CHtmlDialogBox page(HelpPage("testimony.htm"), FALSE, AfxGetMainWnd());
    page.DoModal();
    return 1;
  });
}
